#include "dbengine/storage/engine_common.h"

#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <random>

#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/file_layer.h"
#include "dbengine/storage/os_names.h"
#include "platform/core/sysutils.h"

namespace {

constexpr size_t kMaxShort = 255;

std::string Cut(std::string S) {
  if (S.size() > kMaxShort) S.resize(kMaxShort);
  return S;
}

size_t LastSeparator(const std::string& S) {
  size_t P = S.find_last_of("/\\");
  return P;
}

std::recursive_mutex gFormatSettingsLock;

}  // namespace

// ---- Cipher ----

void CipherEncode(void* Buffer, int Length, uint8_t KeyLow, uint8_t KeyHigh) {
  uint8_t* B = static_cast<uint8_t*>(Buffer);
  uint8_t Lo = KeyLow, Hi = KeyHigh;
  for (int I = 0; I < Length; ++I) {
    B[I] = static_cast<uint8_t>(B[I] ^ Lo ^ Hi);
    ++Lo;
    --Hi;
  }
}

void CipherDecode(void* Buffer, int Length, uint8_t KeyLow, uint8_t KeyHigh) {
  CipherEncode(Buffer, Length, KeyLow, KeyHigh);
}

// ---- Threads and time ----

int64_t EngineThreadId() { return static_cast<int64_t>(syscall(SYS_gettid)); }

void EngineSleep(int Milliseconds) {
  if (Milliseconds <= 0) return;
  struct timespec T;
  T.tv_sec = Milliseconds / 1000;
  T.tv_nsec = static_cast<long>(Milliseconds % 1000) * 1000000L;
  while (nanosleep(&T, &T) != 0 && errno == EINTR) {
  }
}

uint64_t EngineTickCount() {
  struct timespec T;
  clock_gettime(CLOCK_MONOTONIC, &T);
  return static_cast<uint64_t>(T.tv_sec) * 1000u + static_cast<uint64_t>(T.tv_nsec) / 1000000u;
}

int EngineRandom(int Range) {
  if (Range < 1) return 0;
  thread_local std::mt19937 Generator(static_cast<uint32_t>(std::random_device()() ^ static_cast<uint32_t>(EngineThreadId())));
  return static_cast<int>(Generator() % static_cast<uint32_t>(Range));
}

// ---- Temporary names ----

std::string TempNamePrefix() {
  int64_t Tid = EngineThreadId();
  if (Tid < 0) Tid = -Tid;
  // Always five digits: a short thread id is zero-padded, so that the start-up sweep, which
  // recognises temporary tables by their five-digit prefix, also finds those of such threads.
  std::string Digits = std::to_string(Tid);
  if (Digits.size() < 5) Digits.insert(0, 5 - Digits.size(), '0');
  return Digits.substr(0, 5);
}

std::string UniqueTempFileName(const std::string& Directory, const std::string& Extension, bool InMemory,
                               int MaxNumber) {
  std::string Prefix = AddTrailingBackslash(Directory) + TempNamePrefix();
  for (int N = 0; N <= MaxNumber; ++N) {
    std::string Name = Prefix + std::to_string(N) + Extension;
    if (InMemory) {
      if (!EngineFileList().FileExists(Name, true)) return Name;
      continue;
    }
    if (EngineFileList().FileExists(Name, false)) continue;
    // Reserve the name by creating it exclusively: a name that another process creates between a
    // test and a create can never be handed out twice.
    int Fd = open(ResolveDiskFileName(Name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd >= 0) {
      close(Fd);
      return Name;
    }
    if (errno != EEXIST) RaiseEngineError(EngineCodeFromErrno(errno), Name);
  }
  RaiseEngineError(ecAccessDenied, Prefix + Extension);
}

// ---- Paths ----

std::string GetUniversalPath(const std::string& Path) {
  std::string P = Trim(Path);
  std::replace(P.begin(), P.end(), '\\', '/');
  if (P.empty()) return std::string();
  char Buf[PATH_MAX];
  if (!realpath(OsFileName(P).c_str(), Buf)) return std::string();
  return EngineFileName(Buf);
}

bool IsPathSeparator(char C) { return C == '/' || C == '\\'; }

std::string AddTrailingBackslash(const std::string& S) {
  std::string T = Trim(S);
  if (!T.empty() && !IsPathSeparator(T.back())) T += '/';
  return T;
}

bool ContainsPath(const std::string& S) {
  return S.empty() || S.find_first_of(":\\/") != std::string::npos;
}

std::string RemoveFileExt(const std::string& S) {
  size_t Dot = S.rfind('.');
  size_t Sep = LastSeparator(S);
  if (Dot == std::string::npos || (Sep != std::string::npos && Dot < Sep)) return S;
  return S.substr(0, Dot);
}

std::string ExtractFileBaseName(const std::string& Path) {
  size_t Sep = LastSeparator(Path);
  std::string Name = Sep == std::string::npos ? Path : Path.substr(Sep + 1);
  return RemoveFileExt(Name);
}

std::string ForceFileExt(const std::string& Name, const std::string& Ext) {
  std::string N = Trim(Name);
  std::string Base = RemoveFileExt(N);
  std::string Cur = N.substr(Base.size());
  if (AnsiSameText(Cur.c_str(), Ext)) return Cut(N);
  return Cut(Base + Ext);
}

// ---- Text ----

std::string PadLeft(const std::string& S, int Length, char Ch) {
  if (static_cast<int>(S.size()) >= Length) return S;
  return Cut(std::string(static_cast<size_t>(Length) - S.size(), Ch) + S);
}

std::string PadRight(const std::string& S, int Length, char Ch) {
  if (static_cast<int>(S.size()) >= Length) return S;
  return Cut(S + std::string(static_cast<size_t>(Length) - S.size(), Ch));
}

std::string ReplicateString(const std::string& S, int Count) {
  std::string R;
  for (int I = 0; I < Count && R.size() < kMaxShort; ++I) R += S;
  return Cut(R);
}

std::string LeftString(const std::string& S, int N) {
  if (N <= 0) return std::string();
  return S.substr(0, static_cast<size_t>(N));
}

std::string RightString(const std::string& S, int N) {
  if (N <= 0) return std::string();
  if (static_cast<size_t>(N) >= S.size()) return S;
  return S.substr(S.size() - static_cast<size_t>(N));
}

int LastPosOf(const std::string& Sub, const std::string& S) {
  if (Sub.empty() || Sub.size() > S.size()) return 0;
  size_t P = S.rfind(Sub);
  return P == std::string::npos ? 0 : static_cast<int>(P) + 1;
}

void StrTrimLeftChar(char* S, char Ch) {
  size_t N = strlen(S), I = 0;
  while (I < N && S[I] == Ch) ++I;
  if (I) memmove(S, S + I, N - I + 1);
}

void StrTrimRightChar(char* S, char Ch) {
  size_t N = strlen(S);
  while (N > 0 && S[N - 1] == Ch) S[--N] = 0;
}

void StrTrimChar(char* S, char Ch) {
  StrTrimRightChar(S, Ch);
  StrTrimLeftChar(S, Ch);
}

std::string TrimLeftChar(const std::string& S, char Ch) {
  size_t I = S.find_first_not_of(Ch);
  return I == std::string::npos ? std::string() : S.substr(I);
}

std::string TrimRightChar(const std::string& S, char Ch) {
  size_t I = S.find_last_not_of(Ch);
  return I == std::string::npos ? std::string() : S.substr(0, I + 1);
}

std::string TrimChar(const std::string& S, char Ch) { return TrimLeftChar(TrimRightChar(S, Ch), Ch); }

int StrPosIndex(const std::string& Sub, const std::string& S) {
  if (Sub.empty()) return 0;
  size_t P = S.find(Sub);
  return P == std::string::npos ? 0 : static_cast<int>(P) + 1;
}

int StrCountOccurrences(const std::string& Sub, const std::string& S) {
  if (Sub.empty()) return 0;
  int N = 0;
  for (size_t P = S.find(Sub); P != std::string::npos; P = S.find(Sub, P + Sub.size())) ++N;
  return N;
}

int StrReplacedLength(const std::string& Old, const std::string& New, const std::string& S) {
  return static_cast<int>(S.size()) +
         (static_cast<int>(New.size()) - static_cast<int>(Old.size())) * StrCountOccurrences(Old, S);
}

std::string StrReplaceAll(const std::string& Old, const std::string& New, const std::string& S) {
  if (Old.empty() || Old == New) return S;
  std::string R;
  size_t From = 0;
  for (size_t P = S.find(Old); P != std::string::npos; P = S.find(Old, From)) {
    R.append(S, From, P - From);
    R += New;
    From = P + Old.size();
  }
  R.append(S, From, std::string::npos);
  return R;
}

std::string RemoveLineBreaks(const std::string& S) {
  if (S.find_first_of("\r\n") == std::string::npos) return S;
  std::string R;
  R.reserve(S.size());
  for (char C : S)
    if (C != '\r' && C != '\n') R += C;
  return R;
}

std::string UndoubleQuotes(const std::string& S) {
  auto Undouble = [](const std::string& T, char Q) {
    if (T.find(Q) == std::string::npos) return T;
    std::string R;
    R.reserve(T.size());
    for (size_t I = 0; I < T.size(); ++I)
      if (!(T[I] == Q && I > 0 && T[I - 1] == Q)) R += T[I];
    return R;
  };
  return Undouble(Undouble(S, '"'), '\'');
}

bool IsIdentStartChar(char C) {
  unsigned char U = static_cast<unsigned char>(C);
  return (U >= 'A' && U <= 'Z') || (U >= 'a' && U <= 'z') || U == '_' || (U >= 129 && U <= 254);
}

bool IsIdentChar(char C) { return IsIdentStartChar(C) || IsDigitChar(C); }

bool IsDigitChar(char C) { return C >= '0' && C <= '9'; }

int CountEqualBytes(const void* A, const void* B, int Max) {
  const uint8_t* X = static_cast<const uint8_t*>(A);
  const uint8_t* Y = static_cast<const uint8_t*>(B);
  int N = 0;
  while (N < Max && X[N] == Y[N]) ++N;
  return N;
}

int CountTrailingZeroBytes(const void* P, int Max) {
  const uint8_t* X = static_cast<const uint8_t*>(P);
  int N = 0;
  while (N < Max && X[-N] == 0) ++N;
  return N;
}

void ZeroFill(void* Buffer, int Count) {
  if (Count > 0) memset(Buffer, 0, static_cast<size_t>(std::min(Count, 255)));
}

std::string BoolToText(bool B) { return B ? "True" : "False"; }

void LockFormatSettings() { gFormatSettingsLock.lock(); }
void UnlockFormatSettings() { gFormatSettingsLock.unlock(); }

int CompareIntegerKey(int32_t SearchedKey, const void* Item) {
  int32_t K;
  memcpy(&K, Item, sizeof(K));
  if (SearchedKey > K) return -1;
  if (SearchedKey < K) return 1;
  return 0;
}

// ---- Boolean text and validators ----

bool TextToBool(const std::string& S) {
  if (AnsiSameText(S, "TRUE")) return true;
  if (AnsiSameText(S, "FALSE")) return false;
  throw EConvertError("'" + S + "' is not a valid boolean value");
}

bool IsValidWordText(const std::string& S) {
  int32_t V;
  return TryStrToInt(S, V) && V >= 0 && V <= 65535;
}

bool IsValidSmallIntText(const std::string& S) {
  int32_t V;
  return TryStrToInt(S, V) && V >= -32768 && V <= 32767;
}

bool IsValidIntegerText(const std::string& S) {
  int32_t V;
  return TryStrToInt(S, V);
}

bool IsValidBooleanText(const std::string& S) { return AnsiSameText(S, "TRUE") || AnsiSameText(S, "FALSE"); }

bool IsValidFloatText(const std::string& S) {
  double V;
  return TryStrToFloat(S, V);
}

bool IsValidCurrencyText(const std::string& S) {
  double V;
  // The currency type holds +-922,337,203,685,477.5807.
  return TryStrToFloat(S, V) && V > -922337203685477.5808 && V < 922337203685477.5808;
}
