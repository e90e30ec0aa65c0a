// The BLOB file (.BLB): a 512-byte header followed by fixed-size blocks. Every BLOB value is a
// doubly linked chain of blocks stamped with the value's revision (the number that the owning
// record's BLOB slot holds, so a record naming an older revision no longer matches its blocks);
// freed blocks form a free chain that is reused before the file grows. Blocks are cached like the
// records of the data file and written back in runs of consecutive offsets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbengine/storage/file_layer.h"
#include "dbengine/storage/table_file_cache.h"
#include "dbengine/storage/table_file_owner.h"

class TBlobFile;
class TDataCursor;

constexpr int kBlobHeaderSize = 512;
constexpr int kBlockHeaderSize = 18;
constexpr int kDefaultBlobBlockSize = 512;
constexpr int kBlockCacheBytes = 131070;
constexpr int kMaxCachedBlocks = 32767;
// The file may not grow past this offset.
constexpr int64_t kMaxBlobFileOffset = 2000000000;

// Header offsets.
constexpr int kBlbChangeCount = 0;
constexpr int kBlbVersion = 8;
constexpr int kBlbFreeBlock = 9;
constexpr int kBlbEndOffset = 13;
constexpr int kBlbDirty = 17;

// Block header offsets.
constexpr int kBlkPrevious = 0;
constexpr int kBlkNext = 4;
constexpr int kBlkUsed = 8;       // u16
constexpr int kBlkRevision = 10;
constexpr int kBlkTotalLength = 14;

// One cached block: its header fields, the values they had when read, and the data part.
class TBlobBlock : public TEngineObject {
 public:
  TBlobBlock() = default;
  TBlobBlock(const TBlobBlock&) = delete;
  TBlobBlock& operator=(const TBlobBlock&) = delete;
  ~TBlobBlock();

  TBlobFile* Owner = nullptr;
  bool Modified = false;
  uint16_t PinCount = 0;
  bool Cached = false;
  uint32_t Offset = 0;
  uint32_t Previous = 0;
  uint32_t Next = 0;
  uint16_t Used = 0;
  uint32_t Revision = 0;
  uint32_t TotalLength = 0;
  // The header values as read from the file.
  uint32_t SavedPrevious = 0, SavedNext = 0, SavedRevision = 0, SavedTotalLength = 0;
  uint16_t SavedUsed = 0;
  uint8_t* Data = nullptr;  // block size - 18 bytes
  intptr_t DataCapacity = 0;
  uint32_t DirtyMark = 0;  // the cache's mark of the run of modified blocks at its old end
  // Header and data all zero: what a zeroed page of the file reads as.
  bool Blank() const;
  TBlobBlock* MruPrev = nullptr;
  TBlobBlock* MruNext = nullptr;

  // Header fields and data zeroed.
  void Reset();
  // Copies Count bytes into the data part at Position (0x272D beyond it); marks the block modified.
  void PutData(int Position, const void* Source, int Count);
  // Copies Count bytes out of the data part (0x272D beyond it).
  void GetData(int Position, void* Dest, int Count) const;
  int Capacity() const;
};

// Pool of free block objects (at most 4,095 kept).
using TBlobBlockStack = TItemPool<TBlobBlock, 4095>;

// One open BLOB value of a cursor: the cursor reads it into Data with ReadBlob and writes it back
// with WriteBlob.
struct TBlobBuffer {
  TDataCursor* Cursor = nullptr;
  bool Modified = false;
  uint32_t Revision = 0;
  uint32_t RecordNumber = 0;
  int FieldNumber = 0;
  uint32_t FirstBlock = 0;  // the BLOB link of the record slot, 0 = no data
  std::vector<uint8_t> Data;
  int OpenMode = 0;
};

class TBlobFile : public TFileHandler {
 public:
  explicit TBlobFile(TTableFileOwner* Owner = nullptr) : Owner(Owner) {}
  ~TBlobFile() override;

  TTableFileOwner* Owner;
  // Header and blocks pass through the table cipher.
  bool Encrypted = false;
  uint8_t Header[kBlobHeaderSize] = {};
  int ReadAheadCount = 1;
  int CacheCapacity = kMaxCachedBlocks;
  int64_t CacheHits = 0, BlockReads = 0, BlockAllocations = 0, BlockWrites = 0;

  // The block size of the data file header (0 means 512); set before opening or creating.
  void SetBlockSize(int Size);
  int BlockSize() const { return FBlockSize; }
  int DataPerBlock() const { return FBlockSize - kBlockHeaderSize; }

  // Opens the file, reads and checks the header (a corrupt header raises and closes it again).
  void Open() override;
  void Close() override;
  // Creates the file with an empty header: version 4, no free block, end at 512, dirty.
  void CreateFile() override;

  void ReadHeader();
  bool HeaderChanged();
  void WriteHeader(bool Force);
  void TouchHeader();

  uint32_t ChangeCount() const { return LoadU32(Header + kBlbChangeCount); }
  uint8_t Version() const { return Header[kBlbVersion]; }
  uint32_t FreeBlock() const { return LoadU32(Header + kBlbFreeBlock); }
  uint32_t EndOffset() const { return LoadU32(Header + kBlbEndOffset); }
  bool Dirty() const { return Header[kBlbDirty] != 0; }
  void SetDirty() { Header[kBlbDirty] = 1; }

  // The block at Offset, pinned; Offset = EndOffset appends a new block. Count is the caller's
  // read-ahead wish in blocks. False when the owner's change check found another holder's change.
  bool GetBlock(TDataCursor* Cursor, uint32_t Offset, TBlobBlock*& Block, int Count = 1, bool ReadAhead = false);
  void ReleaseBlock(TBlobBlock*& Block);
  // A reset block from the free chain or the end of the file, pinned.
  void AllocateBlock(TDataCursor* Cursor, TBlobBlock*& Block);
  void PushFreeBlock(TBlobBlock* Block);
  bool FlushBlocks();
  void ClearCache();
  void TrimCache();
  int CachedBlocks() const { return FCache.Count(); }

  void EmptyBlobFile();
  void VerifyHeader();

  // Reads the value that Buffer.FirstBlock names into Buffer.Data.
  void ReadBlob(TBlobBuffer& Buffer);
  // Writes Buffer.Data as the chain of Buffer.FirstBlock (reused in place) or a new chain, whose
  // offset is stored in Buffer.FirstBlock; the surplus of a longer old chain is freed.
  void WriteBlob(TBlobBuffer& Buffer);
  // Frees the chain of a deleted or replaced value. With the cursor repairing, bad links are
  // logged and cut instead of raising; ReportOnly only logs; KeepOwner stamps Revision on blocks of
  // another revision instead of treating them as errors.
  void FreeBlobChain(TDataCursor* Cursor, bool ReportOnly, bool KeepOwner, uint32_t RecordNumber, uint32_t Revision,
                     uint32_t& FirstBlock);

  // Reader byte and writer range of the lock protocol.
  bool ReadLock(uint16_t& Reader) { return LockReaderByte(*this, Reader); }
  bool ReadUnlock(uint16_t Reader) { return UnlockReaderByte(*this, Reader); }
  bool WriteLock() { return LockWriterRange(*this); }
  bool WriteUnlock() { return UnlockWriterRange(*this); }

 private:
  int FBlockSize = kDefaultBlobBlockSize;
  TItemCache<TBlobBlock, &TBlobBlock::Offset, 4095> FCache;
  uint32_t FDiskChangeCount = 0;

  bool InTransaction() const { return Owner != nullptr && Owner->InTransaction(); }
  void MarkChanged() {
    if (Owner != nullptr) Owner->MarkChanged();
  }
  // A link inside the file: a block boundary from 512 up to the end offset.
  bool ValidLink(uint32_t Offset) const;
  void ResetCacheCapacity();
  TBlobBlock* ObtainEntry();
  void ReadBlocks(uint32_t Offset, int Count);
  void LoadBlock(TBlobBlock* B, const uint8_t* Image);
  void StoreBlock(const TBlobBlock* B, uint8_t* Image) const;
  // Blocks of a value of Length bytes from the current position on.
  int BlocksFor(int64_t Length) const;
  [[noreturn]] void Raise(uint16_t Code) const;
};
