// Index pages: one 4,096-byte page of a counted B+-tree, its on-disk format (13-byte header and
// packed entries, leaves optionally compressed) and the page-level operations: search, insert with
// split, delete with merge or redistribution, and ordinal counting through subtree counts.
//
// A page does not know where pages live. It reaches its neighbours, parents and new pages through
// a TPageStore (the index file implements it; tests may fake it). The tree walks that keep the
// subtree counts on the path up to date are the Index* functions at the end.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "dbengine/storage/engine_heap.h"

class TDataCursor;
class TPage;
class TRecordsBitmap;

constexpr int kIndexPageSize = 4096;
constexpr int kIndexPageHeaderSize = 13;
constexpr int kIndexPageDataSize = kIndexPageSize - kIndexPageHeaderSize;  // 4083
constexpr int kMaxIndexKeyLength = 528;  // 524 bytes of fields plus the row-number suffix

// Page kinds (header byte 0).
constexpr uint8_t pkRootNode = 0;
constexpr uint8_t pkNode = 1;
constexpr uint8_t pkLeaf = 2;
constexpr uint8_t pkRootLeaf = 3;

// Leaf compression (index descriptor byte 36).
constexpr uint8_t icNone = 0;
constexpr uint8_t icDupByte = 1;
constexpr uint8_t icTrailByte = 2;
constexpr uint8_t icFull = 3;

// Raised by the tree walks when the change check before a page read found that another holder
// changed the index. A search starts again from the root; a change that was under way is abandoned
// with the table's other unwritten changes (writers hold the write lock, so this is a reader's case).
class EIndexChanged : public std::exception {
 public:
  const char* what() const noexcept override { return "index changed by another holder"; }
};

// Where a page finds the other pages of its index.
class TPageStore {
 public:
  virtual ~TPageStore() = default;
  // A referenced page of the slot (read when not cached). NewPage: a page from the free chain whose
  // entries are discarded. False when the cursor's change check found another holder's change.
  virtual bool GetPage(TDataCursor* Cursor, int Slot, uint32_t Offset, TPage*& Page, bool NewPage = false) = 0;
  virtual void ReleasePage(TPage*& Page) = 0;
  // A referenced, reset page of the slot from its free chain or the end of the file.
  virtual TPage* AllocatePage(TDataCursor* Cursor, int Slot) = 0;
  // Puts a page on the slot's free chain.
  virtual void PushFreePage(int Slot, TPage* Page) = 0;
  virtual uint32_t RootPage(int Slot) = 0;
  virtual void SetRootPage(int Slot, uint32_t Offset) = 0;
  // Three-way comparison of the search key against an entry key over Length bytes: negative when
  // the entry key is below the search key in index order.
  virtual int CompareKeys(TDataCursor* Cursor, const TPage& Page, const uint8_t* EntryKey, const uint8_t* SearchKey,
                          int Length) = 0;
  // How a walk may compare the slot's keys for the cursor without CompareKeys: 1 when they order
  // as their bytes, -1 when as their bytes reversed; 0 when only CompareKeys can tell.
  virtual int ByteOrder(TDataCursor* /*Cursor*/, int /*Slot*/) { return 0; }
  // True when Offset can name an existing page of the file.
  virtual bool ValidPageOffset(uint32_t Offset) = 0;
  // Raises "index page buffers corrupt" for the store's table.
  [[noreturn]] virtual void PageCorrupt() = 0;
  // Called when a page is changed (the store marks its table changed).
  virtual void PageModified(TPage&) {}
};

class TPage : public TEngineObject {
 public:
  TPage() = default;
  TPage(const TPage&) = delete;
  TPage& operator=(const TPage&) = delete;
  ~TPage();

  TPageStore* Owner = nullptr;
  bool Modified = false;
  uint16_t RefCount = 0;
  uint32_t Offset = 0;
  // Kept by the index file besides its slots' caches: the page's place among the kept pages (-1
  // when not kept), and whether it was found since the kept pages' clock hand last passed.
  int KeptAt = -1;
  bool Used = false;
  // New whenever the page takes other contents (read, made or changed): a reference to the page's
  // contents that outlives the walk that found it stands while the serial is the same.
  uint64_t Serial = 0;
  uint32_t Parent = 0;  // known only while the page is reached from above
  int CompressedSize = 0;  // bytes of the entries of a compressed leaf, 0 otherwise
  int Count = 0;
  int WritePos = 1;
  int ReadPos = 1;
  int KeyLength = 0;
  int Slot = 0;
  bool Descending = false;
  bool Unique = false;
  uint8_t Compression = icNone;
  uint8_t Header[kIndexPageHeaderSize] = {};
  uint8_t* Entries = nullptr;  // Count entries of EntrySize() bytes
  intptr_t EntriesCapacity = 0;
  uint32_t Left = 0;
  uint32_t Right = 0;  // in a free page: the next free page of the slot
  uint8_t Kind = pkRootLeaf;
  bool Free = false;
  TPage* MruPrev = nullptr;
  TPage* MruNext = nullptr;

  // Clears entries, positions, counts and links (the index settings stay).
  void Reset();
  void Configure(int KeyLength, int Slot, bool Descending, bool Unique, uint8_t Compression);

  // In memory an entry is the key, u32 child or record number, u32 subtree count, u16 lead, u16 trail.
  int EntrySize() const { return KeyLength + 12; }
  bool IsLeaf() const { return Kind == pkLeaf || Kind == pkRootLeaf; }
  bool IsRoot() const { return Kind == pkRootNode || Kind == pkRootLeaf; }
  bool IsCompressedLeaf() const { return IsLeaf() && Compression != icNone; }
  // True when the index settings can describe real keys: 1..528 bytes, a known compression, and
  // room for the row number (and a field) in a key that is not unique.
  bool ShapeValid() const;
  // Entries per page (compressed leaves: no entry limit) and the minimum fill.
  int Capacity() const;
  int MinimumFill() const { return Capacity() / 2; }
  static int NodeCapacity(int KeyLength) { return kIndexPageDataSize / (KeyLength + 10); }
  static int LeafCapacity(int KeyLength) { return kIndexPageDataSize / (KeyLength + 6); }

  // Page format. Decode raises 0x2305 (through the owner) on a page that cannot be valid; with
  // NewPage only the header is taken. Encode writes 4,096 bytes (a free page with no entries).
  void Decode(const uint8_t* Buffer, bool NewPage);
  void Encode(uint8_t* Buffer) const;

  // Entry access by 1-based position.
  uint8_t* KeyAt(int Pos) const { return Entries + static_cast<intptr_t>(Pos - 1) * EntrySize(); }
  uint32_t ChildAt(int Pos) const;   // child offset (node) or record number (leaf)
  uint32_t CountAt(int Pos) const;   // subtree count (1 in a leaf)
  uint16_t LeadAt(int Pos) const;
  uint16_t TrailAt(int Pos) const;
  void SetChildAt(int Pos, uint32_t V);
  void SetCountAt(int Pos, uint32_t V);
  void SetKeyAt(int Pos, const uint8_t* Key);

  // Write- and read-position accessors and moves.
  uint8_t* Key() const { return KeyAt(WritePos); }
  uint32_t Child() const { return ChildAt(WritePos); }
  uint32_t SubCount() const { return CountAt(WritePos); }
  void SetChild(uint32_t V) { SetChildAt(WritePos, V); }
  void SetSubCount(uint32_t V) { SetCountAt(WritePos, V); }
  void ReplaceKey(const uint8_t* K) { SetKeyAt(WritePos, K); }
  uint8_t* ReadKey() const { return KeyAt(ReadPos); }
  uint32_t ReadChild() const { return ChildAt(ReadPos); }
  uint32_t ReadSubCount() const { return CountAt(ReadPos); }
  void First() { WritePos = 1; }
  void Last() { WritePos = Count; }
  bool Next();   // false at the last entry
  bool Prior();  // false at the first entry
  void ReadToWrite() { WritePos = ReadPos; }

  // Binary search for an exact entry; the read position ends on the match or on the last entry
  // below the key (1 when every entry is greater). True only for a match in a leaf.
  bool FindKey(TDataCursor* Cursor, const uint8_t* Key, int Length);
  // The same search with position 0 allowed (before the first entry); returns the position.
  int FindInsertPosition(TDataCursor* Cursor, const uint8_t* Key, int Length);
  // Position of the entry whose child is Offset, 0 when none.
  int FindChild(uint32_t ChildOffset) const;

  // Inserts before the write position (the new entry takes it), splitting upward on overflow.
  void InsertEntry(TDataCursor* Cursor, const uint8_t* Key, uint32_t RecordOrChild, uint32_t SubtreeCount);
  // Deletes the entry at the write position, merging or redistributing on underflow.
  void DeleteEntry(TDataCursor* Cursor);

  // Entries (at most Max) from the write position whose record numbers follow one another.
  int CountConsecutiveRecords(bool Forward, int Max) const;
  // Sum of subtree counts before Pos (node) or Pos - 1 (leaf).
  int64_t KeysBefore(int Pos) const;
  int64_t TotalKeys() const;
  // Moves the read position to the entry that holds the Ordinal-th key (1-based) of this page's
  // subtree; returns the ordinal left for the child (1 in a leaf). Ordinal beyond the page: last entry.
  int64_t SeekOrdinal(int64_t Ordinal);
  // Moves the read position to the next (prior) entry whose record number is set in Bitmap; true
  // when one was found.
  bool NextInBitmap(const TRecordsBitmap& Bitmap);
  bool PriorInBitmap(const TRecordsBitmap& Bitmap);
  // Sets in Bitmap the record numbers of the entries from the read position whose key is not
  // greater than Key; true when the page's last entry was reached.
  bool CollectUpTo(TDataCursor* Cursor, const uint8_t* Key, TRecordsBitmap& Bitmap);

  // Recomputes the compression bookkeeping (lead and trail counts, compressed size).
  void Recompress();
  // Bytes the page's entries take on disk.
  int StoredSize() const;
  void MarkModified();

 private:
  void Reserve(int Entries);
  void PropagateFirstKey(TDataCursor* Cursor);
  bool Overflows() const;
  void Split(TDataCursor* Cursor);
  void HandleUnderflow(TDataCursor* Cursor);
  TPage* FetchParent(TDataCursor* Cursor);
  // Raises "index page buffers corrupt" when a page the tree shape needs apart is this one.
  void CheckDistinct(const TPage* Other) const;
  void UpdateParentEntry(TDataCursor* Cursor, TPage& ParentPage, const TPage& Child, bool WithKey);
  int Search(TDataCursor* Cursor, const uint8_t* Key, int Length, int Lowest, bool& Found);
};

// Pool of free pages of one index file (list capacity 4,095).
class TPageStack : public TEngineObject {
 public:
  ~TPageStack();
  TPage* Pop();              // a reset page, new when the pool is empty
  void Push(TPage* Page);    // freed when the pool is full
  int Size() const { return static_cast<int>(FFree.size()); }

 private:
  std::vector<TPage*> FFree;
};

// ---- Tree walks over one slot ------------------------------------------------------------------
// Every walk compares keys through the store (the cursor's comparison), keeps the subtree counts
// on its path, and releases every page it took, also when it raises. A page read refused by the
// change check raises EIndexChanged; a tree that is not sound raises 0x2305.
// Inserts a key (KeyLength bytes of the slot) with its record number. False when an equal key is
// already present (nothing changed).
bool IndexInsertKey(TPageStore& Store, TDataCursor* Cursor, int Slot, const uint8_t* Key, uint32_t RecordNumber);
// Inserts Count keys (laid out one after the other, KeyLength bytes each) with their record
// numbers, in their order. Keys that sort after every key of the tree, as the status keys of
// records appended to a table do, go onto the end of its last leaf without a search; any other
// key takes the way of IndexInsertKey. Returns the keys inserted: fewer than Count when a key
// was already present (the keys before it are in, none after it).
size_t IndexAppendKeys(TPageStore& Store, TDataCursor* Cursor, int Slot, const uint8_t* Keys,
                       const uint32_t* RecordNumbers, size_t Count);
// Deletes the entry with exactly this key. False when absent.
bool IndexDeleteKey(TPageStore& Store, TDataCursor* Cursor, int Slot, const uint8_t* Key);
// Looks a key up: its record number and 1-based ordinal. False when absent (Ordinal then counts
// the keys below it).
bool IndexFindKey(TPageStore& Store, TDataCursor* Cursor, int Slot, const uint8_t* Key, uint32_t& RecordNumber,
                  int64_t& Ordinal);
// The key and record number at a 1-based ordinal. False when out of range.
bool IndexKeyAtOrdinal(TPageStore& Store, TDataCursor* Cursor, int Slot, int64_t Ordinal, uint8_t* Key,
                       uint32_t& RecordNumber);
// A position in an index: a referenced leaf page whose read position is on the key, and that key's
// 1-based ordinal in the index. The holder releases Leaf (IndexRelease) when done with it.
struct TIndexPosition {
  TPage* Leaf = nullptr;
  int64_t Ordinal = 0;
  const uint8_t* Key() const;
  uint32_t RecordNumber() const;
};
void IndexRelease(TPageStore& Store, TIndexPosition& Pos);
// The first key that is not below Key when compared over Length bytes (the store's key comparison).
// False when the tree is empty or every key is below Key: then nothing is held and Ordinal is the
// number of keys + 1. Any position held before is released first.
bool IndexSeekKey(TPageStore& Store, TDataCursor* Cursor, int Slot, const uint8_t* Key, int Length,
                  TIndexPosition& Pos);
// The key at a 1-based ordinal; false (nothing held) when out of range.
bool IndexSeekOrdinal(TPageStore& Store, TDataCursor* Cursor, int Slot, int64_t Ordinal, TIndexPosition& Pos);
// One key forward or back, crossing to the neighbour leaf at a page end; false (position kept)
// at the end of the index.
bool IndexStep(TPageStore& Store, TDataCursor* Cursor, int Slot, TIndexPosition& Pos, bool Forward);

// Number of keys in the slot's tree.
int64_t IndexKeyCount(TPageStore& Store, TDataCursor* Cursor, int Slot);
// Frees every page of the slot's tree (children first) and sets its root to 0.
void IndexFreeTree(TPageStore& Store, TDataCursor* Cursor, int Slot);

// What a full check of one tree found.
struct TIndexTreeStats {
  int64_t Keys = 0;
  int Depth = 0;   // levels, 0 for an empty tree
  int Pages = 0;
  int Leaves = 0;
};
// Walks the whole tree of a slot and raises 0x2305 (through the store) when it is not a sound
// counted B+-tree: page kinds per level, keys ascending within and across leaves, node keys equal to
// their child's first key, subtree counts equal to the child's key count, sibling links per level,
// minimum fill of nodes and uncompressed leaves, compressed sizes within a page, no page reached
// twice. MaxPages bounds the walk (the number of pages the file can hold).
TIndexTreeStats IndexCheckTree(TPageStore& Store, TDataCursor* Cursor, int Slot, int64_t MaxPages);
