// Small routines shared by the engine and its SQL layer: the table cipher, temporary names,
// universal paths, file-name helpers and text/number helpers. Positions are 1-based; engine strings
// are at most 255 characters and results are cut to 255.
#pragma once

#include <cstdint>
#include <string>

// ---- Table cipher ----
// XOR with a 16-bit rolling state started afresh for each call: every byte is XORed with both state
// bytes, then the low byte is incremented and the high byte decremented. Encoding and decoding are
// the same operation.
void CipherEncode(void* Buffer, int Length, uint8_t KeyLow, uint8_t KeyHigh);
void CipherDecode(void* Buffer, int Length, uint8_t KeyLow, uint8_t KeyHigh);
// The key bytes every engine file uses.
constexpr uint8_t kTableCipherKeyLow = 0x5A;
constexpr uint8_t kTableCipherKeyHigh = 0xC3;

// ---- Threads and time ----
// Id of the calling thread (gettid).
int64_t EngineThreadId();
// Sleeps for the given milliseconds (lock retries).
void EngineSleep(int Milliseconds);
// Milliseconds of a monotonic clock.
uint64_t EngineTickCount();
// A number 0..Range-1 from a per-thread generator (reader lock bytes); 0 when Range < 1.
int EngineRandom(int Range);

// ---- Temporary names ----
// The first five decimal digits of the calling thread's id.
std::string TempNamePrefix();
// Directory + prefix + n + Extension for the first n whose name is free. Disk names are reserved
// by creating the file exclusively (another process cannot take the same number); in-memory names
// are checked against the file list. Numbers run from 0 to MaxNumber; raises 0x2B05 when every
// number is taken.
std::string UniqueTempFileName(const std::string& Directory, const std::string& Extension, bool InMemory,
                               int MaxNumber = 65535);

// ---- Paths ('/' and '\' both separate; ':' also marks a path) ----
// The canonical absolute form of a directory (realpath); "" when it cannot be resolved.
std::string GetUniversalPath(const std::string& Path);
bool IsPathSeparator(char C);
std::string AddTrailingBackslash(const std::string& S);  // appends '/' unless empty or already ending in a separator
bool ContainsPath(const std::string& S);                 // empty, or contains ':', '\' or '/'
std::string RemoveFileExt(const std::string& S);
std::string ExtractFileBaseName(const std::string& Path);
std::string ForceFileExt(const std::string& Name, const std::string& Ext);  // Ext with its '.'

// ---- Text ----
std::string PadLeft(const std::string& S, int Length, char Ch);
std::string PadRight(const std::string& S, int Length, char Ch);
std::string ReplicateString(const std::string& S, int Count);
std::string LeftString(const std::string& S, int N);
std::string RightString(const std::string& S, int N);
int LastPosOf(const std::string& Sub, const std::string& S);
void StrTrimLeftChar(char* S, char Ch);
void StrTrimRightChar(char* S, char Ch);
void StrTrimChar(char* S, char Ch);
std::string TrimLeftChar(const std::string& S, char Ch);
std::string TrimRightChar(const std::string& S, char Ch);
std::string TrimChar(const std::string& S, char Ch);
int StrPosIndex(const std::string& Sub, const std::string& S);
int StrCountOccurrences(const std::string& Sub, const std::string& S);
int StrReplacedLength(const std::string& Old, const std::string& New, const std::string& S);
std::string StrReplaceAll(const std::string& Old, const std::string& New, const std::string& S);
std::string RemoveLineBreaks(const std::string& S);
std::string UndoubleQuotes(const std::string& S);
bool IsIdentStartChar(char C);
bool IsIdentChar(char C);
bool IsDigitChar(char C);
inline int32_t NegateInteger(int32_t N) { return N == INT32_MIN ? N : -N; }
int CountEqualBytes(const void* A, const void* B, int Max);
// Zero bytes going backwards from P (P itself first), at most Max.
int CountTrailingZeroBytes(const void* P, int Max);
void ZeroFill(void* Buffer, int Count);

template <class T>
inline T MaxOf(T A, T B) { return A > B ? A : B; }
template <class T>
inline T MinOf(T A, T B) { return A < B ? A : B; }
inline int32_t MaxInteger(int32_t A, int32_t B) { return MaxOf(A, B); }
inline int32_t MinInteger(int32_t A, int32_t B) { return MinOf(A, B); }
inline int16_t MaxSmallInt(int16_t A, int16_t B) { return MaxOf(A, B); }
inline int16_t MinSmallInt(int16_t A, int16_t B) { return MinOf(A, B); }
inline uint16_t MaxWord(uint16_t A, uint16_t B) { return MaxOf(A, B); }
inline uint16_t MinWord(uint16_t A, uint16_t B) { return MinOf(A, B); }
inline uint8_t MaxByte(uint8_t A, uint8_t B) { return MaxOf(A, B); }
inline double MaxFloat(double A, double B) { return MaxOf(A, B); }
inline double MinFloat(double A, double B) { return MinOf(A, B); }
inline int64_t MaxCurrency(int64_t A, int64_t B) { return MaxOf(A, B); }
inline int64_t MinCurrency(int64_t A, int64_t B) { return MinOf(A, B); }

std::string BoolToText(bool B);
// "TRUE"/"FALSE" in any case; anything else raises EConvertError "'S' is not a valid boolean value".
bool TextToBool(const std::string& S);

// Validators under the current format settings; never raise.
bool IsValidWordText(const std::string& S);
bool IsValidSmallIntText(const std::string& S);
bool IsValidIntegerText(const std::string& S);
bool IsValidBooleanText(const std::string& S);
bool IsValidFloatText(const std::string& S);
bool IsValidCurrencyText(const std::string& S);
bool IsValidDateText(const std::string& S);
bool IsValidTimeText(const std::string& S);
bool IsValidDateTimeText(const std::string& S);

// Held by every engine routine while it swaps the number and date format settings for its own.
void LockFormatSettings();
void UnlockFormatSettings();

// Comparator for lists whose items start with a 32-bit key: -1 when the searched key is greater
// than the item's, 1 when smaller, 0 when equal.
int CompareIntegerKey(int32_t SearchedKey, const void* Item);
