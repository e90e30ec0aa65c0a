// The components' window on the engine. The engine's headers and the dataset framework's header
// both name things alike at global scope (field type codes, message constants), so no source
// file may include both: the components include this header, which uses only plain types, and
// engine_bridge.cpp is the one place that talks to sessions, directories and cursors.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TDataSession;
class TDataDirectory;
class TDataCursor;

// Engine result codes the components look at.
constexpr uint16_t kEngBeginOfFile = 0x2201;
constexpr uint16_t kEngEndOfFile = 0x2202;
constexpr uint16_t kEngEndOfBlob = 0x2207;
constexpr uint16_t kEngInvalidBlobOffset = 0x270E;

// Field and index descriptor bytes the components read.
constexpr int kEngFieldDescSize = 768;
constexpr int kEngIndexDescSize = 120;
constexpr int kFDNumber = 0;        // u16
constexpr int kFDName = 2;          // short string, 30
constexpr int kFDDescription = 33;  // short string, 50
constexpr int kFDType = 84;
constexpr int kFDSubType = 85;
constexpr int kFDSize = 86;
constexpr int kFDScale = 87;
constexpr int kFDRequired = 92;
constexpr int kFDHidden = 252;
constexpr int kIDName = 0;  // short string, 30
constexpr int kIDKeyLength = 31;
constexpr int kIDDescending = 33;
constexpr int kIDCaseInsensitive = 34;
constexpr int kIDUnique = 35;
constexpr int kIDFieldCount = 37;
constexpr int kIDFieldNumbers = 54;  // 16 x u16
constexpr uint8_t kEngNaturalOrder = 255;

std::string EngShortString(const uint8_t* P, int MaxLength);
uint16_t EngU16(const uint8_t* P);

// Raises the engine's exception (EVXDBEngineError) for a code, naming a table when given.
[[noreturn]] void EngRaise(uint16_t Code, const std::string& TableName = std::string());

// ---- Engine and sessions ----
// Starts the engine (registering the table file set the cursors work with when none is).
void EngStartEngine();
void EngStopEngine();
TDataSession* EngGlobalSession();
void EngSetCurrentSession(TDataSession* Session);
TDataSession* EngNewSession();
void EngFreeSession(TDataSession*& Session);
struct TEngSessionSettings {
  std::string PrivateDir;
  bool StrictChangeDetection = false;
  bool ForceBufferFlush = false;
  uint8_t LockRetryCount = 15;
  uint16_t LockWaitTime = 100;
  uint16_t LanguageID = 0;
  uint16_t SortID = 0;
};
void EngApplySessionSettings(TDataSession* Session, const TEngSessionSettings& Settings);
TEngSessionSettings EngSessionSettings(TDataSession* Session);
void EngAddPassword(TDataSession* Session, const std::string& Password);
void EngRemovePassword(TDataSession* Session, const std::string& Password);
void EngRemoveAllPasswords(TDataSession* Session);

// ---- Directories ----
TDataDirectory* EngOpenDirectory(TDataSession* Session, const std::string& DatabaseName, const std::string& Path);
void EngCloseDirectory(TDataDirectory* Directory);
void EngStartTransaction(TDataDirectory* Directory);
void EngCommit(TDataDirectory* Directory);
void EngRollback(TDataDirectory* Directory);
bool EngInTransaction(TDataDirectory* Directory);
std::string EngDirectoryPath(TDataDirectory* Directory);

// ---- Cursors ----
TDataCursor* EngNewCursor(TDataDirectory* Directory);
// Closes (when open) and frees the cursor; never raises.
void EngFreeCursor(TDataCursor*& Cursor);
struct TEngCursorOptions {
  std::string TableName;
  bool Exclusive = false;
  bool ReadOnly = false;
  bool InMemory = false;
  bool SequentialScan = false;
  std::function<bool()> OnPassword;
};
void EngOpenCursor(TDataCursor* C, const TEngCursorOptions& Options);
bool EngCursorReadOnly(TDataCursor* C);
// True for the live result of an SQL query (the source table's cursor, owned by its statement).
bool EngIsLiveResult(TDataCursor* C);
std::string EngCursorTableName(TDataCursor* C);
int EngRecordBufferSize(TDataCursor* C);
int EngBookmarkSize(TDataCursor* C);
int EngFieldCount(TDataCursor* C);
void EngFieldDesc(TDataCursor* C, int FieldNo, uint8_t* Desc);
int EngIndexCount(TDataCursor* C);
bool EngHasNoPrimaryKey(TDataCursor* C);
void EngIndexDesc(TDataCursor* C, int IndexNo, uint8_t* Desc);
// Descriptor of the index in use; false (Desc zeroed) in natural order.
bool EngCurrentIndexDesc(TDataCursor* C, uint8_t* Desc);
void EngSetIndexName(TDataCursor* C, const std::string& Name);

void EngMoveToBegin(TDataCursor* C);
void EngMoveToEnd(TDataCursor* C);
uint16_t EngGetNextRecord(TDataCursor* C, uint8_t* Buffer);
uint16_t EngGetPriorRecord(TDataCursor* C, uint8_t* Buffer);
uint16_t EngGetCurrentRecord(TDataCursor* C, uint8_t* Buffer, bool Lock);
int32_t EngSequenceNumber(TDataCursor* C);
int32_t EngRecordCount(TDataCursor* C);
void EngGotoSequence(TDataCursor* C, int32_t N);
void EngRefresh(TDataCursor* C);

void EngInitRecord(TDataCursor* C, uint8_t* Buffer);
void EngInsertRecord(TDataCursor* C, uint8_t* Buffer);
void EngModifyRecord(TDataCursor* C, uint8_t* Buffer);
void EngDeleteRecord(TDataCursor* C, const uint8_t* Buffer);
void EngCopyCurrentRecord(TDataCursor* C, uint8_t* Buffer);
void EngUnlockCurrentRecord(TDataCursor* C);

void EngGetField(TDataCursor* C, int FieldNo, const uint8_t* Buffer, bool& IsBlank, void* Dest);
void EngPutField(TDataCursor* C, int FieldNo, uint8_t* Buffer, const void* Source);
int64_t EngCurrToBCD(int Decimals, int64_t Currency);
int64_t EngBCDToCurr(int64_t Encoded);

bool EngFindKey(TDataCursor* C, const uint8_t* Record, uint8_t* Out, int PartialLength, int FieldCount);
void EngSetRange(TDataCursor* C, const uint8_t* Start, int StartFieldCount, const uint8_t* End, int EndFieldCount);
void EngCancelRange(TDataCursor* C);

void EngGetBookmark(TDataCursor* C, uint8_t* Bookmark);
bool EngSetToBookmark(TDataCursor* C, const uint8_t* Bookmark, bool Exact);
int EngCompareBookmarks(TDataCursor* C, const uint8_t* B1, const uint8_t* B2);

// ---- Filters and clones ----
// Filter handles stay valid until dropped or until the cursor closes (which frees them all).
using TEngFilter = void*;
// A condition text (0x2743 when it does not compile, or when no expression compiler is linked).
TEngFilter EngAddTextFilter(TDataCursor* C, const std::string& Text, bool NoPartialCompare, bool CaseInsensitive);
// A record callback: Record is the cursor's record image of a candidate record.
TEngFilter EngAddCallbackFilter(TDataCursor* C, std::function<bool(const uint8_t* Record)> Accept);
void EngDropFilter(TDataCursor* C, TEngFilter Filter);
void EngActivateFilter(TDataCursor* C, TEngFilter Filter);
void EngDeactivateFilter(TDataCursor* C, TEngFilter Filter);

// One key field of a search: the record given to EngAddSearchFilter holds its value (or null).
// A prefix length above 0 compares only that many leading characters of a string field.
struct TEngSearchField {
  int FieldNo = 0;
  int PrefixLength = 0;
};
// True when this build can make search conditions (the expression library is linked).
bool EngSearchFiltersAvailable();
// A filter passing the records whose fields equal the values in Record (field 1 AND field 2 ...);
// strings compare without case when CaseInsensitive. Requires EngSearchFiltersAvailable().
TEngFilter EngAddSearchFilter(TDataCursor* C, const uint8_t* Record, const std::vector<TEngSearchField>& Fields,
                              bool CaseInsensitive);

// A new open cursor on the same table with C's field map, index, range and filters, on C's record.
TDataCursor* EngCloneCursor(TDataCursor* C);
// Moves C onto the record Other stands on; the engine error when it cannot.
void EngSetToCursor(TDataCursor* C, TDataCursor* Other);

bool EngIsRecordLocked(TDataCursor* C);
bool EngLockSlot(TDataCursor* C, int N);
bool EngUnlockSlot(TDataCursor* C, int N);

uint16_t EngOpenBlob(TDataCursor* C, int FieldNo, uint8_t* Buffer);
uint16_t EngCloseBlob(TDataCursor* C, int FieldNo, uint8_t* Buffer);
uint16_t EngReadBlob(TDataCursor* C, int FieldNo, const uint8_t* Buffer, int64_t Offset, int64_t Length, void* Dest,
                     int64_t& Count);
uint16_t EngWriteBlob(TDataCursor* C, int FieldNo, const uint8_t* Buffer, int64_t Offset, int64_t Length,
                      const void* Source);
uint16_t EngTruncateBlob(TDataCursor* C, int FieldNo, const uint8_t* Buffer, int64_t NewSize);
uint16_t EngGetBlobSize(TDataCursor* C, int FieldNo, const uint8_t* Buffer, int64_t& Size);
