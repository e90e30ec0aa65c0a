// The engine's cursor: one client's view of one table. Cursors of a session share one open table
// (TDataTable) per table of a directory, which owns the files and the locks; a cursor owns only
// its own state: the chosen index, the position, the range, its field map and its current record.
//
// Two orders: by an index (IndexNo 0..n), where the position is a key of the index counted from
// the start of the index (SequenceNumber), or natural order (IndexNo 255, or the primary slot of a
// table without a primary key), where the visible records are the bits of the visible bitmap and
// the position is a physical record number.
//
// Navigation reports its end conditions as result codes (0x2201, 0x2202, 0x2205); everything else
// raises EVXDBEngineError naming the table.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dbengine/storage/cursor_filters.h"
#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/data_file.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/data_table.h"
#include "dbengine/storage/engine_heap.h"
#include "dbengine/storage/index_file.h"
#include "dbengine/storage/records_bitmap.h"

class TBlobFile;

constexpr uint8_t kNaturalOrderIndex = 255;
constexpr uint8_t kStatusIndex = 31;
constexpr int kCursorKeyBufferSize = 528;  // 524 bytes of key fields plus the row-number suffix
constexpr int kMaxOpenBlobs = 64;

// Everything CreateTable needs besides the table name and the cursor's flags.
struct TCreateTableParams {
  std::vector<std::array<uint8_t, 768>> Fields;
  std::vector<std::array<uint8_t, 120>> Indexes;  // index 0 the primary one (no fields: none)
  std::string Description;
  bool Encrypted = false;
  std::string Password;
  uint16_t BlobBlockSize = 512;
  uint16_t LanguageID = 0;
  uint16_t SortID = 0;
  uint16_t UserMajorVersion = 0;
  uint16_t UserMinorVersion = 0;
  bool Overwrite = false;
};

// The new definition of a table for RestructureTable. Field descriptors keep the field number of
// the old field they come from (new fields carry numbers the table does not use); index key field
// numbers are those field numbers. Index 0 is the primary index (no key fields: none).
struct TRestructureParams {
  std::vector<std::array<uint8_t, 768>> Fields;
  std::vector<std::array<uint8_t, 120>> Indexes;
  bool Encrypted = false;
  std::string Password;
  std::string Description;
  uint16_t LanguageID = 0;
  uint16_t SortID = 0;
  int32_t BlobBlockSize = -1;  // -1 keeps the table's
  uint16_t UserMajorVersion = 0;
  uint16_t UserMinorVersion = 0;
  int64_t LastAutoInc = -1;  // -1 keeps the table's
  // Converts a non-null value of an old field (its storage bytes) into Dest (the new field's
  // storage size, zero-filled); false when it does not convert, which stops the restructure. It may
  // raise an error of its own instead. Without one only values of the same type carry over (a
  // string or byte value that does not fit its new size does not convert).
  std::function<bool(const TFieldDescriptor& From, const void* Value, const TFieldDescriptor& To, void* Dest)>
      Convert;
};

// Called by a restructure that rewrote a disk or in-memory table after each step of putting the
// new files in the old ones' place ("backup": the old files carry their backup names; "move": one
// new file is in place). An exception thrown from it is handled as a failure of that step (the
// new files go and the backups get their names back). Tests set it; nothing else does.
extern std::function<void(const std::string& Step)> RestructureStepHook;

class TDataCursor : public TEngineObject {
 public:
  explicit TDataCursor(TDataDirectory* Directory);
  TDataCursor(const TDataCursor&) = delete;
  TDataCursor& operator=(const TDataCursor&) = delete;
  virtual ~TDataCursor();

  // ---- State (read freely; change through the operations) ----
  TDataDirectory* Directory = nullptr;
  TDataTable* Table = nullptr;
  std::string TableName;  // trimmed, ends in ".DAT"
  uint32_t DataChangeCount = 0, IndexChangeCount = 0, BlobChangeCount = 0;
  bool Active = false;
  bool Exclusive = false;
  bool Cloned = false;
  bool ReadOnly = false;
  bool FilesReadOnly = false;
  bool InMemory = false;
  bool LiveResult = false;
  bool Temporary = false;
  bool SequentialScan = false;
  bool Restructuring = false;
  bool NoAutoInc = false;
  bool QuerySource = false;
  // The index Open selects; -1: the primary index, or for a query source the first index order
  // (FirstKeyedOrder).
  int OpenIndexNo = -1;
  // Open keeps the read lock it checks the table under (until ReleaseReadLock or Close), for a
  // cursor that is read at once: its reads then need no change check of their own.
  bool HoldOpenLock = false;
  // Image of the current record (RecordBufferSize bytes while open).
  std::vector<uint8_t> CurrentRecord;
  int32_t SequenceNumber = 0;
  uint32_t CurrentRecordNumber = 0;
  // Key of the current record in index order.
  uint8_t CurrentKey[kCursorKeyBufferSize] = {};
  std::string IndexName;
  uint8_t IndexNo = 0;
  uint16_t KeySize = 0;
  uint8_t KeyFieldCount = 0;
  uint8_t IndexOptions = 0;
  bool Descending = false;
  bool Unique = false;
  bool CaseInsensitive = false;
  bool AtEOF = false, AtBOF = false;
  int32_t RangeFirst = 0, RangeLast = 0;
  int32_t VisibleCount = 0;
  uint8_t* RangeStartKey = nullptr;
  uint8_t* RangeEndKey = nullptr;
  bool RangeActive = false;
  bool BitmapOrder = false;
  TRecordsBitmap* Bitmaps[3] = {nullptr, nullptr, nullptr};
  // Field map: entry i (1-based) is FieldDescs[i - 1].
  std::vector<TFieldDescriptor> FieldDescs;
  uint16_t LanguageID = 0, SortID = 0;
  uint8_t CollationMap[256] = {};
  uint16_t FieldCount = 0;
  uint16_t RecordBufferSize = 0;
  bool HasValidityChecks = false;
  bool HasDefaults = false;
  bool HasComputedFields = false;
  bool HasAutoInc = false;
  bool InCallback = false;
  // Asked for a password while an encrypted table is opened; expected to add one to the session.
  std::function<bool(TDataCursor* Cursor)> OnPasswordRequest;

  // ---- Options (closed cursor only, else 0x272F) ----
  void SetTableName(const std::string& Name);
  void SetExclusive(bool B);
  void SetCloned(bool B);
  void SetReadOnly(bool B);
  void SetInMemory(bool B);
  void SetQuerySource(bool B);
  void SetTemporary(bool B);
  void SetSequentialScan(bool B);
  void SetLiveResult(bool B) { LiveResult = B; }
  void SetNoAutoInc(bool B);
  void CheckClosed();
  void CheckExclusive();
  void CheckWritable();

  // ---- Open and close ----
  void Open();
  void Close();

  // ---- Table-level operations ----
  void DeleteTable();
  void EmptyTable();
  void RenameTable(const std::string& NewName);
  void CreateTable(TCreateTableParams Params);
  void AddIndex(const std::array<uint8_t, 120>& Descriptor);
  void DeleteIndex(const std::string& Name);
  // Changes the definition of the closed, exclusive, writable table this cursor names: every
  // record is rewritten into a new table when fields or file-shaping options change, otherwise
  // only the changed indexes are rebuilt, otherwise only descriptors and header values are
  // written. A rewrite keeps every live record's row number and every value (a value that does not
  // convert stops it) and the last auto-increment value; the old files stay as they were until the
  // new table is complete and are restored when putting the new files in place fails.
  void RestructureTable(TRestructureParams Params);
  // Definition comparisons of the restructure: fields by name, type, subtype, sizes, scale,
  // required flag and limit/default texts (texts without case); indexes by key size, options and
  // key fields (same numbers, same field definitions in Old and New; a key field number missing
  // from New raises 0x2701).
  static bool SameFieldDefinition(const uint8_t* A, const uint8_t* B);
  bool SameIndexDefinition(const uint8_t* OldIndex, const uint8_t* NewIndex,
                           const std::vector<std::array<uint8_t, 768>>& OldFields,
                           const std::vector<std::array<uint8_t, 768>>& NewFields);
  // Index key field numbers become the positions of the fields carrying those numbers (0 when
  // none does), then the fields are numbered 1..n in order.
  static void RenumberFields(std::vector<std::array<uint8_t, 768>>& Fields,
                             std::vector<std::array<uint8_t, 120>>& Indexes);

  // The shared table stores description, password, last auto-increment value and user versions.
  void SetTableInfo(const std::string& Description, const std::string& Password, uint32_t LastAutoInc,
                    uint16_t UserMajor, uint16_t UserMinor);
  void SetIndexDescriptor(uint8_t N, const uint8_t* Desc);
  void RenameIndex(uint8_t N, const std::string& Name, const uint16_t* FieldNumbers);
  // Renames the closed table's files to the backup extensions.
  void BackupTable();
  // Copies the index file to its backup (".IBK") and back; exclusive (the backup also writable).
  // After a restore the cursor stands before the first record of its index.
  void BackupIndexFile();
  void RestoreIndexFile(bool Skip, bool DeleteBackup);

  // ---- Header values (from the shared table while open, from the data file header while closed) ----
  uint16_t GetBlobBlockSize();
  uint16_t GetLanguageID();
  uint16_t GetSortID();
  uint16_t GetUserMajorVersion();
  uint16_t GetUserMinorVersion();
  std::string GetDescription();
  bool IsEncrypted();
  // The table's password (empty when it is not encrypted).
  std::string GetPassword();

  // ---- Indexes ----
  int GetIndexCount();
  bool HasNoPrimaryKey() { return IndexFile()->NoPrimaryIndex() || IndexFile()->Descriptor(0)->FieldCount() == 0; }
  bool IsNaturalOrder() { return IndexNo == kNaturalOrderIndex || (IndexNo == 0 && HasNoPrimaryKey()); }
  // The first order served by an index: the primary index, else the first secondary one; natural
  // order when the table has no index.
  uint8_t FirstKeyedOrder();
  void SetIndexNo(uint8_t N);
  void SwitchIndex(uint8_t N);
  void SetIndexName(const std::string& Name);
  void GetIndexDesc(uint8_t N, uint8_t* Desc);

  // ---- Counts and positions ----
  int32_t GetRecordCount();
  int32_t GetSequenceNumber();

  // ---- Navigation (codes: 0, 0x2201, 0x2202, 0x2205) ----
  void MoveToBegin();
  void MoveToEnd();
  uint16_t GetNextRecord(uint8_t* Buffer);
  uint16_t GetPriorRecord(uint8_t* Buffer);
  uint16_t GetCurrentRecord(uint8_t* Buffer, bool Lock);
  void GotoSequence(int32_t N);
  // Zeroes Buffer and copies the current record's non-null fields into it for a new record (its
  // BLOB values are copied when it is inserted); with NoAutoInc the row number too.
  uint16_t CopyCurrentRecord(uint8_t* Buffer);
  // Moves onto the record another cursor of the same table stands on; 0x2206 when not reached.
  uint16_t SetToCursor(TDataCursor* Other);

  // ---- Keys and ranges ----
  // Key of a record buffer for the current index (KeySize bytes).
  void BuildKey(const uint8_t* Record, uint8_t* Key);
  // -1, 0, 1 in the order of the current index over Length bytes.
  int CompareKeys(const uint8_t* A, const uint8_t* B, int Length);
  bool FindKey(bool IsKey, const uint8_t* Source, uint8_t* Out, int PartialLength, bool Nearest,
               int FieldCount);
  bool SearchKey(const uint8_t* Key, bool Nearest);
  void SetRange(bool IsKey, const uint8_t* Start, int StartFieldCount, const uint8_t* End, int EndFieldCount);
  void CancelRange();

  // ---- Records ----
  void InitRecord(uint8_t* Buffer);
  void ValidateRecord(const uint8_t* Buffer);
  void InsertRecord(uint8_t* Buffer, bool Reposition);
  // Adds Count records (buffers of RecordBufferSize bytes, one after the other; each gets its
  // row number) to an exclusive table without primary key, secondary index or BLOB field, such as
  // a query's result table: no other cursor can meet a record half-written, so one write bracket
  // serves them all, with no record locks; the records reach the data file in one piece and their
  // status keys go onto the end of the status index. 0x280D unless Exclusive, 0x272B for a table
  // with an index, 0x2A01 for one with a BLOB field. The cursor ends before the first record.
  void AppendRecords(uint8_t* Buffers, uint32_t Count);
  void ModifyRecord(uint8_t* Buffer, bool Unlock, bool Reposition);
  void DeleteRecord(const uint8_t* Buffer, bool Reposition);

  // ---- Record and slot locks ----
  void LockRecord(uint32_t RecordNo);
  void UnlockRecord(uint32_t RecordNo);
  bool IsRecordLocked();
  bool LockSlot(int N);
  void UnlockSlot(int N);

  // ---- Field values ----
  int GetRecordSize();
  int GetFieldCount() { return FieldCount; }
  void GetFieldDesc(int FieldNo, uint8_t* Desc);
  void GetField(int FieldNo, const uint8_t* Buffer, bool& IsBlank, void* Dest);
  void PutField(int FieldNo, uint8_t* Buffer, bool Internal, const void* Source);

  void GetPhysicalFieldDesc(int FieldNo, uint8_t* Desc);
  void GetPhysicalField(int FieldNo, const uint8_t* Buffer, bool& IsBlank, void* Dest);
  void PutPhysicalField(int FieldNo, uint8_t* Buffer, bool Internal, const void* Source);
  // The physical field number of a name, 0 when the table has no such field.
  int GetFieldDescByName(const std::string& Name);
  // Replaces the field map with copies of the given descriptors (checked as for table creation).
  void SetFieldMap(const std::vector<std::array<uint8_t, 768>>& Descs);

  // ---- BLOB access (codes: 0 or an engine code; nothing changes on failure) ----
  uint16_t OpenBlob(int FieldNo, uint8_t* Buffer, bool KeepOnRelease, bool Physical, uint8_t Option2 = 0);
  uint16_t CloseBlob(int FieldNo, uint8_t* Buffer, bool Physical);
  uint16_t ReadBlob(int FieldNo, const uint8_t* Buffer, bool Physical, int64_t& Count, int64_t Length,
                    void* Dest, int64_t Offset);
  uint16_t WriteBlob(int FieldNo, const uint8_t* Buffer, bool Physical, int64_t Length, const void* Source,
                     int64_t Offset);
  uint16_t TruncateBlob(int FieldNo, const uint8_t* Buffer, bool Physical, int64_t NewSize);
  uint16_t GetBlobSize(int FieldNo, const uint8_t* Buffer, bool Physical, int64_t& Size);
  // Frees open BLOBs last to first: all of them, or only those not kept on release.
  void FreeBlobs(bool All);
  int OpenBlobCount() const { return static_cast<int>(FOpenBlobs.size()); }

  // ---- Bookmarks ----
  int GetBookmarkSize();
  void GetBookmark(uint8_t* Bookmark);
  bool SetToBookmark(const uint8_t* Bookmark, bool Exact, bool NoBracket);
  int CompareBookmarks(const uint8_t* B1, const uint8_t* B2);

  uint32_t GetBlobRevision(int FieldNo, const uint8_t* Buffer, bool Physical);
  void SetBlobRevision(int FieldNo, uint8_t* Buffer, bool Physical, uint32_t Revision);

  // ---- Brackets of every read and write ----
  // The table read lock held over a whole statement.
  void HoldReadLock();
  void ReleaseReadLock();
  void BeginRead();
  void EndRead();
  void BeginWrite();
  void EndWrite();
  // Rebuilds the visible set and the position in any case.
  void Refresh();

  // The comparison the index pages call for this cursor's keys.
  int ComparePageKeys(const TPage& Page, const uint8_t* EntryKey, const uint8_t* SearchKey, int Length);
  // True when that comparison of index Slot's keys is the comparison of their bytes.
  bool BytewiseKeyOrder(uint8_t Slot);

  // ---- Filters and the visible record set ----
  // The active filters' records, in index or natural order, make the visible set (BitmapOrder).
  // Filters are owned by the cursor; a handle stays valid until the filter is dropped or the cursor
  // closes. With Text a condition is compiled from it; else Tree is taken; else Callback makes a
  // callback filter. 0x250A when 64 filters exist; 0x2743 for a bad text.
  std::vector<TFilter*> Filters;
  TFilterHandle AddFilter(void* Data, const std::string& Text, bool NoPartialCompare, bool CaseInsensitive,
                          bool Flag, bool EvaluateLast, TFilterCallback Callback, bool Optimise,
                          std::unique_ptr<TCursorCondition> Tree = nullptr);
  // Handle nullptr: every filter. 0x2742 for a handle that is not listed.
  void DropFilter(TFilterHandle Handle);
  void ActivateFilter(TFilterHandle Handle);
  void DeactivateFilter(TFilterHandle Handle);
  // Gives an active filter a new condition; nothing for nullptr; 0x2742 unless Handle is active.
  void SetFilterExpression(std::unique_ptr<TCursorCondition> Tree, TFilterHandle Handle);
  // The password request of Open calls Handler(Session); without a handler the request fails.
  void SetPasswordHandler(void* Session, std::function<bool(void* Session)> Handler);
  // A new open cursor on the same table with this cursor's field map, index, range and filters,
  // standing on this cursor's record. The caller frees it.
  TDataCursor* CloneCursor();

  // Records 1..N of the table's data file (the next record number - 1).
  int32_t PhysicalRecordCount();
  // Key length of an index slot (5 for the status index).
  int SlotKeyLength(uint8_t Slot);
  // -1, 0, 1 in the order of index Slot over its key length.
  int CompareSlotKeys(uint8_t Slot, const uint8_t* A, const uint8_t* B) {
    return CompareKeysFor(Slot, A, B, SlotKeyLength(Slot));
  }
  // Records of index Slot whose key lies in [Low, High]; Aborted when a page changed under the walk.
  int32_t CountKeyRangeOn(uint8_t Slot, const uint8_t* Low, const uint8_t* High, bool& Aborted);
  // Clears Bitmap (sized to the table) and sets the bits of those records.
  void MarkKeyRangeOn(uint8_t Slot, const uint8_t* Low, const uint8_t* High, bool& Aborted, TRecordsBitmap& Bitmap);
  int32_t CountKeyRange(const uint8_t* Low, const uint8_t* High, bool& Aborted);
  void MarkKeyRange(const uint8_t* Low, const uint8_t* High, bool& Aborted, TRecordsBitmap& Bitmap);
  // Mode 10: only the records whose bits are set are read; other modes set every bit first. Each
  // live record read is given to Test (record image, record number); a false answer clears its bit.
  void FilterBitmap(TRecordsBitmap& Bitmap,
                    const std::function<bool(const uint8_t* Record, uint32_t RecordNo)>& Test, bool& Aborted,
                    int Mode);
  // The first index (0 only with a primary key, then 1..n) whose first key field is the physical
  // field FieldNo, ascending, and whose case option is CaseInsensitive (any with AnyCase or for a
  // field that is not a string); -1 when none.
  int FindIndexOnField(int FieldNo, bool CaseInsensitive, bool AnyCase);
  // Key filling for index Slot: from byte position From (1-based) onward every segment takes its
  // lowest (null byte 0, value 0x00) or highest (null byte 1, value 0xFF) bytes; string segments of
  // a table with a locale take the first or last entry of the collation map.
  void FillKeyLow(uint8_t Slot, uint8_t* Key, int From);
  void FillKeyHigh(uint8_t Slot, uint8_t* Key, int From);
  void LowestKey(uint8_t Slot, uint8_t* Key) { FillKeyLow(Slot, Key, 1); }
  void HighestKey(uint8_t Slot, uint8_t* Key) { FillKeyHigh(Slot, Key, 1); }
  // Key byte strings as unsigned big-endian numbers; all 0xFF stays on increment, all 0 on decrement.
  static void IncrementKey(uint8_t* Key, int Length);
  static void DecrementKey(uint8_t* Key, int Length);

  // ---- Physical sort (result tables) ----
  // Rewrites the records of a table without primary key and secondary indexes in the order of the
  // physical fields KeyFields (Descending per field, ascending where not given); equal keys keep
  // creation order. Distinct keeps one record per key; Group makes one row per key through the
  // callbacks. Other tables are left as they are; 0x280D unless Exclusive. The cursor ends before
  // the first record.
  void SortTable(const std::vector<int>& KeyFields, const std::vector<bool>& Descending, bool CaseInsensitive,
                 bool Distinct, bool Group, const TSortGroupCallbacks& Callbacks = TSortGroupCallbacks());

  // ---- Calculated fields of the field map ----
  // Computes field FieldNo (a calculated entry of the map) after every record read.
  void SetFieldCalculation(int FieldNo, std::unique_ptr<TCursorCalculation> Calculation);
  // Computes every calculated field of Record (a record buffer of this cursor).
  void ComputeCalculatedFields(uint8_t* Record);

 private:
  // The table's file set and files, found once per open table (every key comparison asks for
  // them).
  TDataFile* DataFile() {
    if (!FilesFound()) FindFiles();
    return FDataFile;
  }
  TIndexFile* IndexFile() {
    if (!FilesFound()) FindFiles();
    return FIndexFile;
  }
  class TTableFileSet* FileSet() {
    if (!FilesFound()) FindFiles();
    return FFileSet;
  }
  bool FilesFound() const { return FFileSet != nullptr && Table != nullptr && FFilesSeen == Table->Files; }
  void FindFiles();
  void* FFilesSeen = nullptr;
  class TTableFileSet* FFileSet = nullptr;
  TDataFile* FDataFile = nullptr;
  TIndexFile* FIndexFile = nullptr;
  [[noreturn]] void Fail(uint16_t Code, const std::string& Field = std::string(),
                         const std::string& Index = std::string()) const;
  const uint8_t* FieldByNumber(int Number);
  std::vector<const uint8_t*> PhysicalFields();
  void ReadClosedHeader(uint8_t* Header);
  void CheckPassword(const std::string& Stored);
  void LoadIndexInfo();
  void StoreChangeCounts();
  bool ChangeCountsDiffer();
  void ClearRange();
  void ComputeRange();
  // After a change of the table: the held leaf and the run of records are dropped and the visible
  // set is built again.
  void RebuildVisibleSet();
  // The visible set of the range and the filters, from the held leaf and run as they stand (only
  // the range or the filters changed).
  void BuildVisibleSet();
  void SetEmptyPosition();
  bool VisibleEmpty();
  void MoveFirst();
  void MoveLast();
  void MoveBy(int N);
  void LoadOrdinal(int32_t Ordinal);
  void ReadCurrentRecord();
  void Reposition();
  void RememberPosition(std::vector<uint8_t>& Saved, bool& SavedBOF, bool& SavedEOF);
  void RestorePosition(const std::vector<uint8_t>& Saved, bool SavedBOF, bool SavedEOF);
  void AfterChange(bool Changed);
  int64_t IndexKeyTotal();
  int32_t KeysBelow(const uint8_t* Key, bool OrEqual);
  void BuildKeyFor(uint8_t Slot, const uint8_t* Record, uint8_t* Key);
  int CompareKeysFor(uint8_t Slot, const uint8_t* A, const uint8_t* B, int Length);
  // False (nothing changed) when AllowDuplicate is false and the key is already present.
  bool InsertKeyInto(uint8_t Slot, const uint8_t* Key, uint32_t RecordNo, bool ReportDuplicate = false);
  void DeleteKeyFrom(uint8_t Slot, const uint8_t* Key);
  void ReplaceKeyIn(uint8_t Slot, const uint8_t* OldKey, const uint8_t* NewKey, uint32_t RecordNo);
  bool KeyExistsIn(uint8_t Slot, const uint8_t* Key);
  // The user indexes a record write maintains: the primary one (when the table has it) and the
  // secondary ones.
  std::vector<uint8_t> MaintainedIndexes();
  std::string IndexDisplayName(uint8_t Slot);
  void FlushChanges();
  void RunWrite(const std::function<void()>& Body);
  bool ReadRecordImage(uint32_t RecordNo, std::vector<uint8_t>& Image);
  void RebuildStatusIndex();
  const uint8_t* MapEntry(int FieldNo);
  uint32_t PeekNextAutoInc();
  // The row number of a record being added: the next automatic one, or with NoAutoInc the buffer's.
  uint32_t TakeRowNumber(const uint8_t* Buffer);
  // The parts of RestructureTable.
  void RestructureRewrite(const TRestructureParams& P, const std::vector<std::array<uint8_t, 768>>& NewFields,
                          const std::vector<std::array<uint8_t, 120>>& NewIndexes, uint16_t BlobBlockSize);
  void RestructureIndexes(const std::vector<std::array<uint8_t, 120>>& NewIndexes, size_t FirstChanged);
  void RestructureDescriptors(const std::vector<std::array<uint8_t, 768>>& NewFields,
                              const std::vector<std::array<uint8_t, 120>>& NewIndexes);
  void CopyRecordInto(TDataCursor* Work, const TRestructureParams& P, std::vector<uint8_t>& From,
                      std::vector<uint8_t>& To, const std::vector<int>& OldPositions);
  struct TOpenBlob {
    int32_t Handle = 0;
    int FieldNo = 0;
    int32_t StoredLink = 0;
    uint32_t Revision = 0;
    bool Modified = false;
    bool KeepOnRelease = false;
    uint8_t Option2 = 0;
    std::vector<uint8_t> Data;
  };
  TOpenBlob* FindOpenBlob(int32_t Handle);
  const uint8_t* BlobDesc(int FieldNo, bool Physical);
  // The open BLOB a field of a buffer holds; a code when it is no BLOB field or holds none.
  uint16_t OpenBlobOf(int FieldNo, const uint8_t* Buffer, bool Physical, TOpenBlob*& Blob);
  int64_t OpenBlobSize(int32_t Link);
  // Gives every BLOB field of a record image to be written its stored link: open BLOBs are written
  // to the BLOB file (or freed when empty), values of other records copied; the chains the old
  // image held and no longer uses are freed. The open BLOBs of the image are released.
  void StoreBlobFields(uint8_t* Image, const uint8_t* OldImage, uint32_t RecordNo);
  void FreeRecordBlobs(const uint8_t* Image, uint32_t RecordNo);

  // Filters and the visible set: the range and live-record sets are Bitmaps[1] and Bitmaps[2].
  TRecordsBitmap* VisibleSet() { return Bitmaps[0]; }
  TRecordsBitmap* RangeSet() { return Bitmaps[1]; }
  TRecordsBitmap* LiveSet() { return Bitmaps[2]; }
  bool KeyedBitmapOrder();
  bool AnyActiveFilter();
  TFilter* ListedFilter(TFilterHandle Handle);
  void FreeFilters();
  void BuildRangeAndLiveSets(int32_t N);
  void EvaluateFilter(TFilter* F, bool Narrow, bool& Restart);
  void EvaluateAllFilters();
  void CombineVisibleSet();
  void BuildVisibleKeys();
  void LoadVisibleKey(int32_t Position);
  void AfterFilterChange();
  // Brings record RecNo's bits up to date after this cursor wrote it (Image: its new image, or
  // nullptr when it was deleted).
  void UpdateVisibleRecord(uint32_t RecNo, const uint8_t* Image);
  bool RecordKeyInRange(const uint8_t* Image);
  void FillKey(uint8_t Slot, uint8_t* Key, int From, bool High);
  bool FFilterBusy = false;
  // Visible records in index order under BitmapOrder: their index ordinal and record number.
  struct TVisibleKey {
    int32_t Ordinal;
    uint32_t Record;
  };
  std::vector<TVisibleKey> FVisibleKeys;
  // The index leaf the last descent ended on, used where the index file keeps it (keys with their
  // record numbers, and the ordinal of its first key): positions inside it are read without
  // another descent. It stands for the tree while the file still holds the page with the contents
  // the descent met (the same object at its offset with the same serial) and nothing in this
  // process wrote the table since (the table generation: a change elsewhere in the tree moves the
  // ordinals); a change by another holder drops the file's pages and rebuilds the visible set.
  struct THeldLeaf {
    const TDataTable* Table = nullptr;
    uint64_t Generation = 0;
    uint8_t Slot = 0;
    const TPage* Page = nullptr;  // to be used only after LeafHolds
    uint32_t Offset = 0;
    uint64_t Serial = 0;
    int64_t FirstOrdinal = 0;
    int Count = 0;
    int KeyLength = 0;
    int ByteOrder = 0;  // how its keys compare (see TPageStore::ByteOrder)
    const uint8_t* KeyAt(int64_t Ordinal) const;
    uint32_t RecordAt(int64_t Ordinal) const;
  };
  THeldLeaf FLeaf;
  // Holds the leaf whose read position holds the key of ordinal Ordinal.
  void HoldLeaf(const TPage& Leaf, int64_t Ordinal);
  // Whether the held leaf stands and holds Ordinal (one that no longer stands is let go).
  bool LeafHolds(int64_t Ordinal);
  // Two keys of the held leaf's index in its order.
  int CompareInLeaf(const uint8_t* A, const uint8_t* B);
  // The ordinal of the first key not below Key when the held leaf shows it; false when it cannot.
  bool SeekInLeaf(const uint8_t* Key, int64_t& Ordinal);
  // The first ordinal from From on (in the held leaf) whose key lies above Key, the leaf's end when
  // none.
  int64_t FirstAboveInLeaf(int64_t From, const uint8_t* Key);
  void DropLeaf() { FLeaf.Table = nullptr; }
  // Per index slot: whether its keys order as plain bytes (no text field, no field of its own
  // direction), for the descriptor it was found for; forgotten whenever the visible set is rebuilt.
  struct TPlainOrder {
    const void* File = nullptr;
    uint8_t Descriptor[120] = {};
    bool Plain = false;
  };
  TPlainOrder FPlainOrder[32];
  bool PlainKeyOrder(uint8_t Slot, const struct TIndexDescriptor* D);
  uint64_t CopyGeneration();
  // Consecutive records a scan read in one piece and hands out one by one (not through the record
  // cache), valid while nothing in this process wrote the table since (the table generation); a
  // change by another holder rebuilds the visible set, which drops it.
  struct TRecordRun {
    const TDataTable* Table = nullptr;
    uint64_t Generation = 0;
    uint32_t First = 0;
    int Count = 0;
    std::vector<uint8_t> Images;
  };
  TRecordRun FRun;
  void DropRecordRun() { FRun.Table = nullptr; }
  // Records from RecordNo on a scan forward is about to read, by the visible set in natural order
  // and by the held leaf in index order (0 when it cannot tell).
  int ForwardRunEstimate(uint32_t RecordNo);
  std::vector<std::unique_ptr<TCursorCalculation>> FCalculations;

  bool FHoldingReadLock = false;
  int FReadDepth = 0;
  bool FTookReadLock = false;
  int FWriteDepth = 0;
  bool FTookWriteLock = false;
  bool FBeganPost = false;  // the table gathers this write bracket's changes
  bool FInRangeComputation = false;
  uint64_t FGeneration = 0;
  // Records this cursor unlocked inside the running transaction (the table keeps them locked).
  std::set<int32_t> FPendingLocks;
  std::vector<std::unique_ptr<TOpenBlob>> FOpenBlobs;
  int32_t FNextBlobId = 0;
};
