// The index file (.IDX): a 4,096-byte header describing 32 index slots (0 primary, 1..30
// secondary, 31 "Sys Deleted"), followed by the 4,096-byte B+-tree pages of every index. Each slot
// keeps its own page cache (a most-recently-used chain and a list sorted by offset) and its own
// free chain; modified pages are written in runs. Clean pages that leave a slot's cache (but the
// status index's) are kept, decoded, within the budget the file draws on (lookup_budget.h; a clock
// picks the pages that go): descents to keys in no particular order use them where they are instead of reading and
// decoding them again. A kept page that is about to change goes back into its slot's cache first,
// so that a kept page is always what the file holds. Every page in memory, cached or kept, is
// found by its page number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dbengine/storage/file_layer.h"
#include "dbengine/storage/index_descriptor.h"
#include "dbengine/storage/index_page.h"
#include "dbengine/storage/lookup_budget.h"
#include "dbengine/storage/table_file_owner.h"

// What the index file needs of the table's fields: their 768-byte descriptors by field number, for
// the definition checks and the open checks. The data file (or a test) supplies it.
class TIndexFieldSource {
 public:
  virtual ~TIndexFieldSource() = default;
  // The descriptor of field Number (1-based), nullptr when the table has no such field.
  virtual const uint8_t* FieldDescriptor(uint16_t Number) = 0;
};

constexpr uint8_t kIndexFileVersion = 4;
constexpr int kIndexHeaderSize = 4096;
constexpr int kIndexDescriptorSize = 120;
constexpr int kIndexSlotCount = 32;       // slots 0..31 in the header
constexpr int kSysDeletedSlot = 31;
constexpr int kMaxSecondaryIndexes = 30;
constexpr int kMaxIndexFields = 16;
constexpr int kMaxKeyFieldBytes = 524;
constexpr int kIndexCacheInitial = 15;
// Bytes of the clean pages an index file keeps besides its slots' caches (their entries in memory)
// when it draws on a budget of its own.
constexpr size_t kCleanPageBytes = size_t{4} << 20;

// Header offsets.
constexpr int kIdxChangeCount = 0;
constexpr int kIdxVersion = 8;
constexpr int kIdxEndOffset = 9;
constexpr int kIdxIndexCount = 13;
constexpr int kIdxDescriptors = 14;
constexpr int kIdxRecordCount = 3974;
constexpr int kIdxNoPrimaryIndex = 3978;
constexpr int kIdxDirty = 3979;

// A 120-byte index descriptor.
struct TIndexDescriptor {
  uint8_t Bytes[kIndexDescriptorSize] = {};

  std::string Name() const { return LoadShortString(Bytes + kIndexDescNameOffset, 30); }
  void SetName(const std::string& S) { StoreShortString(Bytes + kIndexDescNameOffset, 30, S); }
  uint16_t KeyLength() const { return LoadU16(Bytes + kIndexDescKeyLengthOffset); }
  void SetKeyLength(uint16_t V) { StoreU16(Bytes + kIndexDescKeyLengthOffset, V); }
  bool Descending() const { return Bytes[kIndexDescDescendingOffset] != 0; }
  bool CaseInsensitive() const { return Bytes[kIndexDescCaseInsensitiveOffset] != 0; }
  bool Unique() const { return Bytes[kIndexDescUniqueOffset] != 0; }
  uint8_t Compression() const { return Bytes[kIndexDescCompressionOffset]; }
  uint8_t FieldCount() const { return Bytes[kIndexDescFieldCountOffset]; }
  uint16_t FieldNumber(int I) const { return LoadU16(Bytes + kIndexDescFieldNumbersOffset + 2 * I); }
  void SetFieldNumber(int I, uint16_t V) { StoreU16(Bytes + kIndexDescFieldNumbersOffset + 2 * I, V); }
  bool FieldDescending(int I) const { return Bytes[kIndexDescFieldDescendingOffset + I] != 0; }
  uint32_t RootPage() const { return LoadU32(Bytes + kIndexDescRootPageOffset); }
  uint32_t FreePage() const { return LoadU32(Bytes + kIndexDescFreePageOffset); }
};

class TIndexFile : public TFileHandler, public TPageStore {
 public:
  explicit TIndexFile(TTableFileOwner* Owner = nullptr) : Owner(Owner) { FKept.DrawOn(&FOwnBudget); }
  ~TIndexFile() override;

  TTableFileOwner* Owner;
  // The table's field descriptors for the definition and open checks; without it the field checks
  // are skipped.
  TIndexFieldSource* Fields = nullptr;
  // Pages and header pass through the table cipher.
  bool Encrypted = false;
  // The cursor's key comparison; the default compares bytes and reverses descending indexes.
  std::function<int(TDataCursor* Cursor, const TPage& Page, const uint8_t* EntryKey, const uint8_t* SearchKey,
                    int Length)>
      KeyCompare;
  // Whether the cursor's comparison of a slot's keys is that of their bytes (in the index's
  // direction); without it a file that has KeyCompare leaves every comparison to it.
  std::function<bool(TDataCursor* Cursor, int Slot)> KeyBytewise;
  uint8_t Header[kIndexHeaderSize] = {};
  // Statistics.
  int64_t CacheHits = 0, PageReads = 0, PageAllocations = 0, PageWrites = 0;

  void Open() override;
  void Close() override;
  // Creates the file with an empty header (the caller writes it).
  void CreateFile() override;

  void ReadHeader();
  bool HeaderChanged();
  void WriteHeader(bool Force);
  void TouchHeader();
  void EmptyIndexFile();

  // Header fields.
  uint32_t ChangeCount() const { return LoadU32(Header + kIdxChangeCount); }
  uint8_t Version() const { return Header[kIdxVersion]; }
  uint32_t EndOffset() const { return LoadU32(Header + kIdxEndOffset); }
  int IndexCount() const { return Header[kIdxIndexCount]; }
  void SetIndexCount(int N);
  bool NoPrimaryIndex() const { return Header[kIdxNoPrimaryIndex] != 0; }
  void SetNoPrimaryIndex(bool V);
  bool Dirty() const { return Header[kIdxDirty] != 0; }
  void SetDirty() { Header[kIdxDirty] = 1; }
  uint32_t GetRecordCount() const { return LoadU32(Header + kIdxRecordCount); }
  void SetRecordCount(uint32_t N);
  void IncRecordCount() { SetRecordCount(GetRecordCount() + 1); }
  // Never below 0: a count out of step with the table must not turn into four billion records.
  void DecRecordCount() { SetRecordCount(GetRecordCount() > 0 ? GetRecordCount() - 1 : 0); }

  // Descriptors.
  TIndexDescriptor* Descriptor(int Slot) { return reinterpret_cast<TIndexDescriptor*>(Header + kIdxDescriptors + kIndexDescriptorSize * Slot); }
  const TIndexDescriptor* Descriptor(int Slot) const {
    return reinterpret_cast<const TIndexDescriptor*>(Header + kIdxDescriptors + kIndexDescriptorSize * Slot);
  }
  uint16_t FieldNumber(int Slot, int I) const { return Descriptor(Slot)->FieldNumber(I); }
  void SetPrimaryIndex(const TIndexDescriptor& D);
  void AddIndex(const TIndexDescriptor& D);
  void RemoveIndex(int Slot, bool Physically);
  void ClearDescriptor(int Slot);
  void SetIndexDescriptor(int Slot, const TIndexDescriptor& D);
  void RenameIndex(int Slot, const std::string& Name, const uint16_t* FieldNumbers);

  // Pages.
  bool GetPage(TDataCursor* Cursor, int Slot, uint32_t Offset, TPage*& Page, bool NewPage = false) override;
  void ReleasePage(TPage*& Page) override;
  TPage* AllocatePage(TDataCursor* Cursor, int Slot) override;
  void PushFreePage(int Slot, TPage* Page) override;
  uint32_t RootPage(int Slot) override {
    CheckSlot(Slot);
    return Descriptor(Slot)->RootPage();
  }
  void SetRootPage(int Slot, uint32_t Offset) override;
  // The slot's root page positioned at its first entry; false for an empty index.
  bool GetRootPage(TDataCursor* Cursor, int Slot, TPage*& Page);
  int CompareKeys(TDataCursor* Cursor, const TPage& Page, const uint8_t* EntryKey, const uint8_t* SearchKey,
                  int Length) override;
  int ByteOrder(TDataCursor* Cursor, int Slot) override;
  bool ValidPageOffset(uint32_t Offset) override;
  [[noreturn]] void PageCorrupt() override;
  void PageModified(TPage& Page) override;

  // Writes every modified, unreferenced page in runs of consecutive offsets; false when none.
  bool FlushPages();
  // Drops every cached page (slot 31 only with AllSlots).
  void ClearCache(bool AllSlots);
  // Cuts each slot's cache back to its first 15 pages by offset.
  void TrimCache(bool AllSlots);
  // The budget the kept pages draw on (nullptr: one of the file's own, of kCleanPageBytes), and
  // whether they give way as those of an idle table.
  void DrawKeptPagesOn(TLookupBudget* Budget) { FKept.DrawOn(Budget != nullptr ? Budget : &FOwnBudget); }
  void SetKeptPagesIdle(bool Idle) { FKept.SetIdle(Idle); }
  int CachedPages(int Slot) const { return static_cast<int>(FCaches[Slot].Sorted.size()); }
  // Clean pages kept outside the slots' caches, and the bytes they take.
  int CleanPages() const { return static_cast<int>(FKept.Ring.size()); }
  size_t CleanBytes() const { return FKept.CopyBytes(); }
  // The page at Offset while it is in memory (in a slot's cache or kept), nullptr otherwise.
  const TPage* PageInMemory(uint32_t Offset) const { return InMemoryAt(Offset); }
  // Cached pages that somebody still holds (a walk in progress or a cursor's position).
  int ReferencedPages() const;

  // Open checks against the table's field descriptors.
  void VerifyIndexFile();
  // Pages the file can hold below EndOffset.
  int64_t PageCapacity() const { return (static_cast<int64_t>(EndOffset()) - kIndexHeaderSize) / kIndexPageSize; }
  // Number of pages on the slot's free chain; raises 0x2305 for a link out of range, a loop, or a
  // page on the chain that is in use.
  int64_t CheckFreeChain(int Slot);

  // Reader and writer locks between processes.
  bool ReadLock(uint16_t& Reader) { return LockReaderByte(*this, Reader); }
  bool ReadUnlock(uint16_t Reader) { return UnlockReaderByte(*this, Reader); }
  bool WriteLock() { return LockWriterRange(*this); }
  bool WriteUnlock() { return UnlockWriterRange(*this); }

 private:
  struct TSlotCache {
    std::vector<TPage*> Sorted;  // by offset
    int Capacity = kIndexCacheInitial;
    TPage* MruHead = nullptr;
    TPage* MruTail = nullptr;
  };
  TSlotCache FCaches[kIndexSlotCount];
  TPageStack FPool;
  // Every page in memory (in a slot's cache or kept) by page number (offset / 4,096).
  std::vector<TPage*> FByPage;
  // The clean pages that left the slots' caches, in the order of a clock's round.
  class TKeptPages : public TLookupCopies {
   public:
    explicit TKeptPages(TIndexFile& File) : FFile(File) {}
    struct TEntry {
      TPage* Page;
      size_t Bytes;  // charged to the budget
    };
    std::vector<TEntry> Ring;
    size_t Hand = 0;
    bool Take(size_t Bytes) { return Charge(Bytes); }
    void Return(size_t Bytes) { Credit(Bytes); }
    size_t GiveUp(size_t Bytes) override { return FFile.EvictKept(Bytes); }

   private:
    TIndexFile& FFile;
  };
  TLookupBudget FOwnBudget{kCleanPageBytes};
  TKeptPages FKept{*this};
  TPage* InMemoryAt(uint32_t Offset) const {
    const size_t N = Offset / kIndexPageSize;
    return N < FByPage.size() ? FByPage[N] : nullptr;
  }
  // A page takes its place at its offset with new contents.
  void Track(TPage* Page);
  void Untrack(TPage* Page);
  // Keeps a clean, unreferenced page that left its slot's cache (within the budget; the file's own
  // kept pages make room when nobody else gives way, and the page goes when none of them can).
  void KeepClean(TPage* Page);
  // Takes a page out of the kept ones (it stays in memory).
  void Unkeep(TPage* Page);
  // Kept pages of at least Bytes that go, by the clock (referenced ones stay); returns their bytes.
  size_t EvictKept(size_t Bytes);
  void DropClean();
  // A page that leaves memory: into the pool while it holds few, else back to the heap.
  void Dispose(TPage* Page);
  // Drops a page from memory wherever it is; a referenced or modified one cannot go.
  void Forget(TPage* Page);
  // Whether a page in memory is one of the slot's (a kept one: of the slot's current definition).
  bool Fits(int Slot, const TPage* Page) const;
  // A kept page taken back into its slot's cache (room made there first).
  void Adopt(TPage* Page);

  void SetEndOffset(uint32_t V) { StoreU32(Header + kIdxEndOffset, V); }
  TPage* ObtainBuffer(int Slot);
  void InsertCached(int Slot, TPage* Page);
  void RemoveCached(int Slot, TPage* Page);
  void MruUnlink(TSlotCache& C, TPage* P);
  void MruPushFront(TSlotCache& C, TPage* P);
  void ConfigurePage(int Slot, TPage* Page);
  void CheckDefinitionFields(const TIndexDescriptor& D, const std::string& IndexName);
  void CheckSlot(int Slot);
  [[noreturn]] void Raise(uint16_t Code, const std::string& IndexName = std::string(),
                          const std::string& FieldName = std::string());
};
