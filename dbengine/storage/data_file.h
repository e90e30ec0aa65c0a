// The data file (.DAT): a 127-byte table header, one 768-byte descriptor per field, then the
// fixed-length records. Records are cached (a most-recently-used chain probed four times before a
// binary search of the list sorted by record number), read with read-ahead and written back in runs
// of consecutive records. Records read one at a time come from blocks of about 4 KB of records kept
// as clean copies of the file (see file_block_cache.h). A held block is never older than the record
// cache: it is read with the cached records of its range laid over it, and a record changed in the
// cache drops its block when its writer lets go of it. So a read asks the blocks first and the
// record cache only when no block holds the record. Deleted records form a free chain through
// their bytes 1..4.
//
// Field descriptors are TFieldDescriptor of data_fields.h: one layout for the files, the definition
// checks and the field values.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/file_block_cache.h"
#include "dbengine/storage/file_layer.h"
#include "dbengine/storage/table_file_cache.h"
#include "dbengine/storage/table_file_owner.h"

class TDataFile;
class TDataCursor;

constexpr int kDataHeaderSize = 127;
constexpr int kMaxBlobFields = 64;
constexpr int kRecordPrefixSize = 9;
constexpr int64_t kWriterVersion = 20800;
constexpr double kLastUpdatedBias = 693594.0;
constexpr uint8_t kTableFileVersion = 4;
// An append of record n needs n + 1 <= kMaxRecordNumber and R * n <= kMaxTableBytes.
constexpr int64_t kMaxRecordNumber = 100000000;
constexpr int64_t kMaxTableBytes = 2000000000;
// Record caches hold min(kRecordCacheBytes div R, kMaxCachedRecords) records outside transactions.
constexpr int kRecordCacheBytes = 131070;
constexpr int kMaxCachedRecords = 8191;
// The clean blocks of records hold as many whole records as fit these bytes (one at least).
constexpr int kRecordBlockBytes = 4096;

// Key of the table texts (description and password); descriptors and records use the data key.
constexpr uint8_t kTableTextKeyLow = 0x3C;
constexpr uint8_t kTableTextKeyHigh = 0x96;

// Header offsets.
constexpr int kDatChangeCount = 0;
constexpr int kDatBlobBlockSize = 4;
constexpr int kDatVersion = 8;
constexpr int kDatFreeRecord = 9;
constexpr int kDatNextRecord = 13;
constexpr int kDatLastAutoInc = 17;
constexpr int kDatRecordSize = 21;
constexpr int kDatFieldCount = 23;
constexpr int kDatBlobFieldCount = 25;
constexpr int kDatLastUpdated = 27;
constexpr int kDatDescription = 35;  // string[50]
constexpr int kDatEncrypted = 86;
constexpr int kDatPassword = 87;     // string[15]
constexpr int kDatLanguageId = 103;
constexpr int kDatSortId = 105;
constexpr int kDatUserMajor = 107;
constexpr int kDatUserMinor = 109;
constexpr int kDatDirty = 111;
constexpr int kDatLastBlobRevision = 112;
constexpr int kDatWriterVersion = 116;  // i64

// One cached record: the record image of the file (status, own number or free link, row number,
// field slots). Setting anything marks it modified; clearing, loading and storing do not.
class TRecord : public TEngineObject {
 public:
  TRecord() = default;
  TRecord(const TRecord&) = delete;
  TRecord& operator=(const TRecord&) = delete;
  ~TRecord();

  TDataFile* Owner = nullptr;
  bool Modified = false;
  uint16_t PinCount = 0;
  uint32_t RecordNumber = 0;
  uint8_t* Buffer = nullptr;
  intptr_t BufferCapacity = 0;
  uint16_t RecordSize = 0;
  // In its file's cache (a record dropped from the cache while pinned goes to the pool on release).
  bool Cached = false;
  uint32_t DirtyMark = 0;  // the cache's mark of the run of modified records at its old end
  TRecord* MruPrev = nullptr;
  TRecord* MruNext = nullptr;

  // Makes room for Size bytes (grown in 510-byte steps).
  void SetSize(int Size);
  // Zeroes the image and puts the record number into bytes 1..4; with NewRowNumber a new row
  // number from the data file goes into bytes 5..8.
  void Clear(bool NewRowNumber);
  // From a file image (deciphered when Encrypted); an active record gets its number in bytes 1..4.
  void Load(const uint8_t* Image, bool Encrypted);
  // To a file image (enciphered when Encrypted).
  void Store(uint8_t* Image, bool Encrypted) const;
  uint8_t Status() const { return Buffer[0]; }
  void SetStatus(uint8_t S);
  // The free-chain link of a deleted record, 0 for an active one.
  uint32_t FreeLink() const { return Buffer[0] == 0 ? 0 : LoadU32(Buffer + 1); }
  void SetFreeLink(uint32_t N);
  uint32_t RowNumber() const { return LoadU32(Buffer + 5); }
  void SetRowNumber(uint32_t N);
  void SetRecordNumber(uint32_t N);
  // Byte comparison of the image with another one of the record size.
  int Compare(const uint8_t* Image) const;
  // Copies the field data (from byte 9) of another record.
  void CopyFields(const TRecord& Other);
  // Copies a whole image (a cursor's buffer) into the record, keeping its own number in bytes 1..4
  // while it is active.
  void CopyImage(const uint8_t* Image);
  void Pin() { ++PinCount; }
  void Unpin() {
    if (PinCount > 0) --PinCount;
  }
  void ResetPins() { PinCount = 0; }
};

// Pool of free record objects (at most 16,383 kept).
using TRecordStack = TItemPool<TRecord, 16383>;

// What SortRecords does with the records of one key (GROUP BY).
struct TSortGroupCallbacks {
  // Every record of a group, the first included; Row starts as a copy of the group's first record.
  std::function<void(uint8_t* Row, const uint8_t* Record)> Accumulate;
  std::function<void(uint8_t* Row)> Finish;
  // False drops the finished row (HAVING).
  std::function<bool(const uint8_t* Row)> Keep;
};

class TDataFile : public TFileHandler {
 public:
  explicit TDataFile(TTableFileOwner* Owner = nullptr) : Owner(Owner) { FBlocks.DrawOn(&FOwnBudget); }
  ~TDataFile() override;

  TTableFileOwner* Owner;
  uint8_t Header[kDataHeaderSize] = {};
  // Descriptors of fields 1..FieldCount (element 0 is field 1).
  std::vector<TFieldDescriptor> Fields;
  bool DescriptorsChanged = false;
  int ReadAheadCount = 1;
  int CacheCapacity = kMaxCachedRecords;
  // Local date and time written as LastUpdated; tests may fix it.
  std::function<double()> Clock;
  // Statistics.
  int64_t CacheHits = 0, RecordReads = 0, RecordAllocations = 0, RecordWrites = 0;

  // Opens the file, reads header and descriptors and checks the structure (a corrupt file raises
  // its engine error and is closed again).
  void Open() override;
  void Close() override;

  void ReadHeader();
  // Reads the header again; true (and the new copy taken) when another writer changed it.
  bool HeaderChanged();
  void WriteHeader(bool Force);
  void TouchHeader();
  void ReadFieldDescriptors();
  // Writes the descriptor block when the descriptors changed.
  void WriteFieldDescriptors();

  // The record access path: the record comes back pinned (ReleaseRecord unpins it). Estimate > 0
  // is the cursor's read-ahead estimate, used when ReadAhead is set; otherwise read-ahead goes
  // forward by the read-ahead count. RecordNumber = NextRecord appends a new, zeroed record. False
  // when the owner's change check found another holder's change (no record then).
  bool GetRecord(TDataCursor* Cursor, uint32_t RecordNumber, TRecord*& Record, bool Forward = true,
                 int Estimate = 0, bool ReadAhead = false);
  void ReleaseRecord(TRecord*& Record);
  // The image of record N (RecordSize bytes) for a read of one record: from the clean block of
  // records around it, else from the record cache, else from the block read from the file (and then
  // kept). The image stays valid until the next call on the file. nullptr when the owner's change
  // check found another holder's change.
  const uint8_t* RecordImage(TDataCursor* Cursor, uint32_t N);
  // Record N's image in the clean block that holds it, else in the record cache (a hit counted);
  // nullptr when neither holds it. Valid until the next call on the file.
  const uint8_t* KeptImage(uint32_t N);
  // Copies of up to Count consecutive records from First on (RecordSize bytes each) for a scan that
  // hands them out one by one: read from the file in one piece and not put into the cache; a
  // record the cache holds is copied from there (it may be newer than the file). Returns the
  // records copied (fewer at the end of the file), 0 when the owner's change check found another
  // holder's change.
  int ReadRecordRun(TDataCursor* Cursor, uint32_t First, int Count, std::vector<uint8_t>& Images);
  // A record number from the free chain (only with a primary index) or the end of the file; the
  // record comes back pinned, active and cleared (the caller copies its image in).
  uint32_t AllocateRecord(TDataCursor* Cursor, bool HasPrimaryIndex, TRecord*& Record);
  // Puts Count record images (RecordSize bytes each, status, own number and row number set)
  // after the last record. Outside a transaction they are written in one piece past the cache (a
  // record is written when its change ends anyway); inside one they join its cached records.
  void AppendRecords(TDataCursor* Cursor, const uint8_t* Images, uint32_t Count);
  // Marks the record deleted and makes it the head of the free chain.
  void PushFreeRecord(TRecord* Record, bool HasPrimaryIndex);
  // Writes the modified, unpinned records in runs; false when nothing was written.
  bool FlushRecords();
  // Forgets every cached record and block without writing them.
  void ClearCache();
  void TrimCache();
  // The budget the clean record blocks draw on (nullptr: one of the file's own, of
  // kFileBlockCacheBytes), and whether they give way as those of an idle table.
  void DrawBlocksOn(TLookupBudget* Budget) { FBlocks.DrawOn(Budget != nullptr ? Budget : &FOwnBudget); }
  void SetBlocksIdle(bool Idle) { FBlocks.SetIdle(Idle); }
  int CachedRecords() const { return FCache.Count(); }
  int CleanBlocks() const { return FBlocks.HeldBlocks(); }
  size_t CleanBlockBytes() const { return FBlocks.HeldBytes(); }
  // A cached record lost its modified flag outside the write-back.
  void RecordCleaned() { FCache.DropDirtyTail(); }
  // The cached record of a number, nullptr when not cached (no pin, no read).
  TRecord* CachedRecord(uint32_t N);

  // Row numbers (auto-increment values): 0x2514 when they are exhausted.
  uint32_t NextAutoInc();
  void SetLastAutoInc(uint32_t V);
  uint32_t NextBlobRevision();

  // Fills the header copy and the descriptors and creates the file; the caller writes header and
  // descriptors. Descriptors must be checked and laid out already.
  void CreateTable(const std::vector<TFieldDescriptor>& Descriptors, uint16_t BlobBlockSize, uint16_t LanguageId,
                   uint16_t SortId, bool Encrypted, const std::string& Password, const std::string& Description,
                   uint16_t UserMajor, uint16_t UserMinor);
  void EmptyTable();
  // The open checks of version, language and descriptors.
  void VerifyStructure();
  // Sorts the records in place by the key fields (descending where their descriptor says so; equal
  // keys keep creation order; deleted records go last). Distinct keeps the first record of each
  // key and Group makes one row per key through the callbacks; both drop deleted records and make
  // the rows written the new record count. Returns the rows written (the caller gives the index
  // file that count). When the records do not fit the cache, sorted runs go to temporary files in
  // TempDirectory and are merged.
  uint32_t SortRecords(const std::vector<int>& KeyFields, bool CaseInsensitive, bool Distinct, bool Group,
                       const TSortGroupCallbacks& Callbacks, const std::string& TempDirectory);

  // Header fields.
  uint32_t ChangeCount() const { return LoadU32(Header + kDatChangeCount); }
  uint8_t Version() const { return Header[kDatVersion]; }
  uint32_t FreeRecord() const { return LoadU32(Header + kDatFreeRecord); }
  uint32_t NextRecord() const { return LoadU32(Header + kDatNextRecord); }
  uint32_t LastAutoInc() const { return LoadU32(Header + kDatLastAutoInc); }
  int RecordSize() const { return LoadU16(Header + kDatRecordSize); }
  int FieldCount() const { return LoadU16(Header + kDatFieldCount); }
  int BlobFieldCount() const { return LoadU16(Header + kDatBlobFieldCount); }
  // 512 when the stored size is 0.
  int BlobBlockSize() const;
  uint16_t LanguageId() const { return LoadU16(Header + kDatLanguageId); }
  uint16_t SortId() const { return LoadU16(Header + kDatSortId); }
  uint16_t UserMajorVersion() const { return LoadU16(Header + kDatUserMajor); }
  uint16_t UserMinorVersion() const { return LoadU16(Header + kDatUserMinor); }
  uint32_t LastBlobRevision() const { return LoadU32(Header + kDatLastBlobRevision); }
  int64_t WriterVersion() const;
  double LastUpdated() const;
  bool Encrypted() const { return Header[kDatEncrypted] != 0; }
  bool Dirty() const { return Header[kDatDirty] != 0; }
  void SetDirty() { Header[kDatDirty] = 1; }
  uint32_t RecordCount() const { return NextRecord() - 1; }
  // Deciphered copies.
  std::string Description() const;
  std::string Password() const;
  void SetTableInfo(const std::string& Description, const std::string& Password, uint32_t LastAutoInc,
                    uint16_t UserMajor, uint16_t UserMinor);
  // Offset of record n in the file.
  int64_t RecordOffset(uint32_t N) const;

  TFieldDescriptor* Field(int Position);
  TFieldDescriptor* FieldByNumber(int Number);
  TFieldDescriptor* FieldByName(const std::string& Name);
  // Number, name, subtype, description, required, minimum, maximum and default of one descriptor.
  void SetFieldAttributes(int Position, const TFieldDescriptor& D);

  // Locks between processes (the retries of record and slot locks are the open table's).
  bool LockHeader() { return LockBytesWithRetry(*this, 0x7FFFFFFF, 1); }
  bool UnlockHeader() { return LockBytes(0x7FFFFFFF, 1, false); }
  bool LockRecordByte(uint32_t N) { return LockBytes(0x7FFFFFFELL - N, 1, true); }
  bool UnlockRecordByte(uint32_t N) { return LockBytes(0x7FFFFFFELL - N, 1, false); }
  bool LockSlotByte(int N) { return LockBytes(2047483644LL - N, 1, true); }
  bool UnlockSlotByte(int N) { return LockBytes(2047483644LL - N, 1, false); }
  bool UnlockAllRecordBytes() { return LockBytes(2047483645LL, 100000001LL, false); }

 private:
  TItemCache<TRecord, &TRecord::RecordNumber, 16383> FCache;
  TLookupBudget FOwnBudget{kFileBlockCacheBytes};
  TFileBlockCache FBlocks;
  uint32_t FDiskChangeCount = 0;  // change count last read from or written to the file

  bool InTransaction() const { return Owner != nullptr && Owner->InTransaction(); }
  void MarkChanged() {
    if (Owner != nullptr) Owner->MarkChanged();
  }
  void ResetCacheCapacity();
  uint32_t FPerBlock = 1;  // records in a clean block, set with its size
  uint32_t RecordsPerBlock() const { return FPerBlock; }
  // Record N's image in the clean block that holds it (never older than the record cache: see
  // above), nullptr when no block holds it.
  const uint8_t* HeldImage(uint32_t N) {
    if (N == 0 || N >= NextRecord()) return nullptr;
    const uint32_t PerBlock = RecordsPerBlock();
    const size_t At = static_cast<size_t>((N - 1) % PerBlock) * static_cast<size_t>(RecordSize());
    size_t Size = 0;
    const uint8_t* Block = FBlocks.Find((N - 1) / PerBlock, Size);
    return Block != nullptr && At + static_cast<size_t>(RecordSize()) <= Size ? Block + At : nullptr;
  }
  // Checks the image of record N as read from the file: a live record carries its own number.
  void CheckImage(const uint8_t* Image, uint32_t N) const;
  bool ImageSound(const uint8_t* Image, uint32_t N) const {
    return RecordSize() < kRecordPrefixSize || Image[0] != 0 || LoadU32(Image + 1) == N;
  }
  TRecord* ObtainEntry();
  void ReadRecords(uint32_t RecordNumber, int Count, bool Forward);
  void CipherDescriptors(uint8_t* Block, int64_t Length, bool Reading) const;
  [[noreturn]] void Raise(uint16_t Code, const std::string& FieldName = std::string()) const;
};
