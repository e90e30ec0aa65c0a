#include "dbengine/storage/blob_file.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "platform/core/sysutils.h"

// ---- TBlobBlock ---------------------------------------------------------------------------------------

TBlobBlock::~TBlobBlock() { EngineFree(Data); }

int TBlobBlock::Capacity() const { return Owner != nullptr ? Owner->DataPerBlock() : 0; }

void TBlobBlock::Reset() {
  Previous = Next = Revision = TotalLength = 0;
  Used = 0;
  if (Data != nullptr) std::memset(Data, 0, static_cast<size_t>(Capacity()));
}

bool TBlobBlock::Blank() const {
  if (Previous != 0 || Next != 0 || Revision != 0 || TotalLength != 0 || Used != 0) return false;
  for (intptr_t I = 0; Data != nullptr && I < Capacity(); ++I)
    if (Data[I] != 0) return false;
  return true;
}

void TBlobBlock::PutData(int Position, const void* Source, int Count) {
  if (Position < 0 || Count < 0 || Position + Count > Capacity()) RaiseEngineError(ecInvalidBlobLength);
  if (Count > 0) std::memcpy(Data + Position, Source, static_cast<size_t>(Count));
  Modified = true;
}

void TBlobBlock::GetData(int Position, void* Dest, int Count) const {
  if (Position < 0 || Count < 0 || Position + Count > Capacity()) RaiseEngineError(ecInvalidBlobLength);
  if (Count > 0) std::memcpy(Dest, Data + Position, static_cast<size_t>(Count));
}

// ---- Opening and the header ---------------------------------------------------------------------------

TBlobFile::~TBlobFile() {
  try {
    Close();
  } catch (...) {
  }
  FCache.Clear();
  FCache.FreeOrphans();
}

void TBlobFile::Raise(uint16_t Code) const { RaiseEngineError(Code, AboutTheFile(Code) ? OwnName() : ErrorName()); }

void TBlobFile::SetBlockSize(int Size) {
  if (Size != FBlockSize) {
    ClearCache();
    // Pooled blocks carry data parts of the old size.
    FCache.Pool.Clear();
  }
  FBlockSize = (Size & 0xFFFF) == 0 ? kDefaultBlobBlockSize : (Size & 0xFFFF);
}

void TBlobFile::ResetCacheCapacity() {
  CacheCapacity = std::min(kBlockCacheBytes / FBlockSize, kMaxCachedBlocks);
  if (CacheCapacity < 1) CacheCapacity = 1;
  ReadAheadCount = std::max(1, kReadAheadBytes / FBlockSize);
}

void TBlobFile::Open() {
  if (Opened) return;
  TFileHandler::Open();
  try {
    // A block must hold its header and at least one data byte.
    if (FBlockSize <= kBlockHeaderSize) Raise(ecHeaderCorrupt);
    ReadHeader();
    VerifyHeader();
    ResetCacheCapacity();
    CacheHits = BlockReads = BlockAllocations = BlockWrites = 0;
  } catch (...) {
    TFileHandler::Close();
    throw;
  }
}

void TBlobFile::Close() {
  ClearCache();
  FCache.FreeOrphans();
  TFileHandler::Close();
}

void TBlobFile::CreateFile() {
  if (FBlockSize <= kBlockHeaderSize) Raise(ecBlobLimit);
  ClearCache();
  TFileHandler::CreateFile();
  std::memset(Header, 0, kBlobHeaderSize);
  Header[kBlbVersion] = 4;
  StoreU32(Header + kBlbEndOffset, kBlobHeaderSize);
  SetDirty();
  FDiskChangeCount = 0;
  ResetCacheCapacity();
}

void TBlobFile::ReadHeader() {
  ReadAt(0, Header, kBlobHeaderSize);
  if (Encrypted) CipherDecode(Header, kBlobHeaderSize, kTableCipherKeyLow, kTableCipherKeyHigh);
  Header[kBlbDirty] = 0;
  FDiskChangeCount = ChangeCount();
}

bool TBlobFile::HeaderChanged() {
  uint8_t Disk[kBlobHeaderSize];
  ReadAt(0, Disk, kBlobHeaderSize);
  if (Encrypted) CipherDecode(Disk, kBlobHeaderSize, kTableCipherKeyLow, kTableCipherKeyHigh);
  if (LoadU32(Disk + kBlbChangeCount) == FDiskChangeCount) return false;
  std::memcpy(Header, Disk, kBlobHeaderSize);
  Header[kBlbDirty] = 0;
  FDiskChangeCount = ChangeCount();
  return true;
}

void TBlobFile::WriteHeader(bool Force) {
  if (!Force && !Dirty()) return;
  StoreU32(Header + kBlbChangeCount, ChangeCount() + 1);
  uint8_t Copy[kBlobHeaderSize];
  std::memcpy(Copy, Header, kBlobHeaderSize);
  if (Encrypted) CipherEncode(Copy, kBlobHeaderSize, kTableCipherKeyLow, kTableCipherKeyHigh);
  WriteAt(0, Copy, kBlobHeaderSize);
  Header[kBlbDirty] = 0;
  FDiskChangeCount = ChangeCount();
}

void TBlobFile::TouchHeader() {
  StoreU32(Header + kBlbChangeCount, ChangeCount() + 1);
  MarkChanged();
}

void TBlobFile::EmptyBlobFile() {
  ClearCache();
  Seek(kBlobHeaderSize, 0);
  Truncate();
  Header[kBlbVersion] = 4;
  StoreU32(Header + kBlbEndOffset, kBlobHeaderSize);
  StoreU32(Header + kBlbFreeBlock, 0);
  SetDirty();
}

void TBlobFile::VerifyHeader() {
  if (Version() != 4) Raise(ecWrongVersion);
  uint32_t End = EndOffset();
  uint32_t Free = FreeBlock();
  // The end must be a block boundary; every link is checked against it.
  if (End < kBlobHeaderSize || (End - kBlobHeaderSize) % static_cast<uint32_t>(FBlockSize) != 0)
    Raise(ecHeaderCorrupt);
  // Blocks are written before the header that counts them, so the file holds them all.
  if (static_cast<int64_t>(End) > GetSize()) Raise(ecHeaderCorrupt);
  if (Free == 0) return;
  if (End == kBlobHeaderSize) Raise(ecHeaderCorrupt);
  if (Free < kBlobHeaderSize || static_cast<int64_t>(Free) > static_cast<int64_t>(End) - FBlockSize ||
      (Free - kBlobHeaderSize) % static_cast<uint32_t>(FBlockSize) != 0)
    Raise(ecHeaderCorrupt);
}

bool TBlobFile::ValidLink(uint32_t Offset) const {
  return Offset >= kBlobHeaderSize && Offset < EndOffset() &&
         (Offset - kBlobHeaderSize) % static_cast<uint32_t>(FBlockSize) == 0;
}

int TBlobFile::BlocksFor(int64_t Length) const {
  int64_t N = (Length + DataPerBlock() - 1) / DataPerBlock();
  return static_cast<int>(std::clamp<int64_t>(N, 1, ReadAheadCount));
}

// ---- The block cache ----------------------------------------------------------------------------------

TBlobBlock* TBlobFile::ObtainEntry() {
  TBlobBlock* B = FCache.Obtain(CacheCapacity, InTransaction(), kCacheGrowth, [this] { FlushBlocks(); });
  if (B == nullptr) Raise(ecBlobsCorrupt);
  B->Owner = this;
  B->Modified = false;
  B->PinCount = 0;
  ReserveBuffer(DataPerBlock(), DataPerBlock(), B->Data, B->DataCapacity);
  ++BlockAllocations;
  return B;
}

void TBlobFile::LoadBlock(TBlobBlock* B, const uint8_t* Image) {
  uint8_t H[kBlockHeaderSize];
  std::memcpy(H, Image, kBlockHeaderSize);
  std::memcpy(B->Data, Image + kBlockHeaderSize, static_cast<size_t>(DataPerBlock()));
  if (Encrypted) {
    CipherDecode(H, kBlockHeaderSize, kTableCipherKeyLow, kTableCipherKeyHigh);
    CipherDecode(B->Data, DataPerBlock(), kTableCipherKeyLow, kTableCipherKeyHigh);
  }
  B->SavedPrevious = B->Previous = LoadU32(H + kBlkPrevious);
  B->SavedNext = B->Next = LoadU32(H + kBlkNext);
  B->SavedUsed = B->Used = LoadU16(H + kBlkUsed);
  B->SavedRevision = B->Revision = LoadU32(H + kBlkRevision);
  B->SavedTotalLength = B->TotalLength = LoadU32(H + kBlkTotalLength);
  if (B->Modified && B->Cached) FCache.DropDirtyTail();
  B->Modified = false;
}

void TBlobFile::StoreBlock(const TBlobBlock* B, uint8_t* Image) const {
  uint8_t* H = Image;
  StoreU32(H + kBlkPrevious, B->Previous);
  StoreU32(H + kBlkNext, B->Next);
  StoreU16(H + kBlkUsed, B->Used);
  StoreU32(H + kBlkRevision, B->Revision);
  StoreU32(H + kBlkTotalLength, B->TotalLength);
  std::memcpy(Image + kBlockHeaderSize, B->Data, static_cast<size_t>(DataPerBlock()));
  if (Encrypted) {
    CipherEncode(Image, kBlockHeaderSize, kTableCipherKeyLow, kTableCipherKeyHigh);
    CipherEncode(Image + kBlockHeaderSize, DataPerBlock(), kTableCipherKeyLow, kTableCipherKeyHigh);
  }
}

void TBlobFile::ReadBlocks(uint32_t Offset, int Count) {
  std::vector<uint8_t> Images(static_cast<size_t>(Count) * static_cast<size_t>(FBlockSize));
  FCache.WindowFirst = Offset;
  FCache.WindowLast = Offset + static_cast<uint32_t>((Count - 1) * FBlockSize);
  try {
    int64_t Got = ReadAt(Offset, Images.data(), static_cast<int64_t>(Images.size()), true);
    int Complete = static_cast<int>(Got / FBlockSize);
    if (Complete < 1) Raise(ecReadError);
    Count = std::min(Count, Complete);
    ++BlockReads;
    for (int I = Count - 1; I >= 0; --I) {
      uint32_t At = Offset + static_cast<uint32_t>(I * FBlockSize);
      const uint8_t* Image = Images.data() + static_cast<size_t>(I) * static_cast<size_t>(FBlockSize);
      TBlobBlock* B = FCache.FindSorted(At);
      if (B == nullptr) {
        B = ObtainEntry();
        B->Offset = At;
        LoadBlock(B, Image);
        FCache.Insert(B);
      } else if (!B->Modified && B->PinCount == 0) {
        LoadBlock(B, Image);
      }
    }
  } catch (...) {
    FCache.WindowFirst = FCache.WindowLast = 0;
    throw;
  }
  FCache.WindowFirst = FCache.WindowLast = 0;
}

bool TBlobFile::GetBlock(TDataCursor* Cursor, uint32_t Offset, TBlobBlock*& Block, int Count, bool ReadAhead) {
  Block = nullptr;
  if (Offset == 0) Raise(ecBlobsCorrupt);
  if (Offset == EndOffset()) {
    if (static_cast<int64_t>(EndOffset()) > kMaxBlobFileOffset) Raise(ecTableFull);
    TBlobBlock* Stale = FCache.Find(Offset);
    if (Stale != nullptr) {
      if (Stale->PinCount != 0) Raise(ecBlobsCorrupt);
      FCache.Remove(Stale);
      FCache.Recycle(Stale);
    }
    TBlobBlock* B = ObtainEntry();
    B->Offset = Offset;
    B->Reset();
    B->Modified = true;
    FCache.Insert(B);
    StoreU32(Header + kBlbEndOffset, EndOffset() + static_cast<uint32_t>(FBlockSize));
    SetDirty();
    B->PinCount = 1;
    Block = B;
    return true;
  }
  if (!ValidLink(Offset)) Raise(ecBlobsCorrupt);
  TBlobBlock* B = FCache.Find(Offset);
  if (B != nullptr) {
    ++CacheHits;
  } else {
    if (Owner != nullptr && Owner->ChangedBeforeRead(Cursor)) return false;
    int N = 1;
    if (ReadAhead) {
      int64_t Left = (static_cast<int64_t>(EndOffset()) - Offset) / FBlockSize;
      N = static_cast<int>(std::min<int64_t>({static_cast<int64_t>(ReadAheadCount), Count, Left}));
      N = std::max(1, std::min(N, CacheCapacity / 2));
    }
    ReadBlocks(Offset, N);
    B = FCache.Find(Offset);
    if (B == nullptr) Raise(ecBlobsCorrupt);
  }
  if (B->Offset != Offset) Raise(ecBlobsCorrupt);
  FCache.Touch(B);
  ++B->PinCount;
  Block = B;
  return true;
}

void TBlobFile::ReleaseBlock(TBlobBlock*& Block) {
  if (Block == nullptr) return;
  FCache.Release(Block);
  Block = nullptr;
}

void TBlobFile::AllocateBlock(TDataCursor* Cursor, TBlobBlock*& Block) {
  Block = nullptr;
  uint32_t Free = FreeBlock();
  TBlobBlock* B = nullptr;
  if (Free != 0) {
    if (!ValidLink(Free)) Raise(ecBlobsCorrupt);
    if (!GetBlock(Cursor, Free, B)) Raise(ecRecordChanged);
    uint32_t Successor = B->Next;
    // A free chain through itself or out of the file would hand out one block twice.
    if (Successor == Free || (Successor != 0 && !ValidLink(Successor))) {
      ReleaseBlock(B);
      Raise(ecBlobsCorrupt);
    }
    StoreU32(Header + kBlbFreeBlock, Successor);
    SetDirty();
  } else {
    GetBlock(Cursor, EndOffset(), B);
  }
  B->Reset();
  B->Modified = true;
  Block = B;
}

void TBlobFile::PushFreeBlock(TBlobBlock* Block) {
  Block->Next = FreeBlock();
  StoreU32(Header + kBlbFreeBlock, Block->Offset);
  Block->Modified = true;
  SetDirty();
}

bool TBlobFile::FlushBlocks() {
  const size_t Size = static_cast<size_t>(FBlockSize);
  std::vector<uint8_t> Run;
  int64_t Written = FCache.WriteRuns(static_cast<uint32_t>(FBlockSize), [&](TBlobBlock* const* First, size_t Count) {
    Run.resize(Count * Size);
    for (size_t K = 0; K < Count; ++K) StoreBlock(First[K], Run.data() + K * Size);
    WriteAt(First[0]->Offset, Run.data(), static_cast<int64_t>(Run.size()));
  });
  BlockWrites += Written;
  if (Written > 0) MarkChanged();
  return Written > 0;
}

void TBlobFile::ClearCache() {
  FCache.Clear();
  ResetCacheCapacity();
}

void TBlobFile::TrimCache() {
  ResetCacheCapacity();
  FCache.Trim(CacheCapacity);
}

// ---- BLOB values --------------------------------------------------------------------------------------

void TBlobFile::ReadBlob(TBlobBuffer& Buffer) {
  Buffer.Data.clear();
  if (Buffer.FirstBlock == 0) return;
  if (!ValidLink(Buffer.FirstBlock)) Raise(ecBlobsCorrupt);
  TBlobBlock* B = nullptr;
  if (!GetBlock(Buffer.Cursor, Buffer.FirstBlock, B, ReadAheadCount, true)) Raise(ecRecordChanged);
  if (B->Revision != Buffer.Revision) {
    // Another user's change leaves a block with a header (a rewritten or a freed value keeps its
    // revision); a block of nothing but zeros is damage of the file.
    const bool Blank = B->Blank();
    ReleaseBlock(B);
    Raise(Blank ? ecBlobsCorrupt : ecRecordChanged);
  }
  int64_t Total = B->TotalLength;
  // No chain in this file can hold more than its blocks do (the header may claim more blocks than
  // the file has).
  int64_t End = std::min<int64_t>(EndOffset(), GetSize());
  int64_t MostPossible = std::max<int64_t>(0, End - kBlobHeaderSize) / FBlockSize * DataPerBlock();
  if (Total > MostPossible) {
    ReleaseBlock(B);
    Raise(ecBlobsCorrupt);
  }
  Buffer.Data.resize(static_cast<size_t>(Total));
  std::unordered_set<uint32_t> Seen{B->Offset};
  int64_t Pos = 0;
  for (;;) {
    if (B->Used > DataPerBlock()) {
      ReleaseBlock(B);
      Raise(ecInvalidBlobLength);
    }
    int N = static_cast<int>(std::min<int64_t>({static_cast<int64_t>(DataPerBlock()), Total - Pos, B->Used}));
    B->GetData(0, Buffer.Data.data() + Pos, N);
    Pos += N;
    uint32_t Next = B->Next;
    ReleaseBlock(B);
    if (Pos >= Total || Next == 0) break;
    if (!ValidLink(Next) || !Seen.insert(Next).second) Raise(ecBlobsCorrupt);
    if (!GetBlock(Buffer.Cursor, Next, B, BlocksFor(Total - Pos), true)) Raise(ecRecordChanged);
    if (B->Revision != Buffer.Revision) {
      const bool Blank = B->Blank();
      ReleaseBlock(B);
      Raise(Blank ? ecBlobsCorrupt : ecRecordChanged);
    }
  }
  if (Pos < Total) Raise(ecEndOfBlob);
}

void TBlobFile::WriteBlob(TBlobBuffer& Buffer) {
  const int64_t L = static_cast<int64_t>(Buffer.Data.size());
  TBlobBlock* B = nullptr;
  if (Buffer.FirstBlock != 0) {
    if (!ValidLink(Buffer.FirstBlock)) Raise(ecBlobsCorrupt);
    if (!GetBlock(Buffer.Cursor, Buffer.FirstBlock, B)) Raise(ecRecordChanged);
  } else {
    AllocateBlock(Buffer.Cursor, B);
    Buffer.FirstBlock = B->Offset;
  }
  B->Revision = Buffer.Revision;
  B->TotalLength = static_cast<uint32_t>(L);
  B->Modified = true;
  std::unordered_set<uint32_t> Used{B->Offset};
  int64_t Pos = 0;
  try {
    for (;;) {
      int N = static_cast<int>(std::min<int64_t>(DataPerBlock(), L - Pos));
      B->PutData(0, Buffer.Data.data() + Pos, N);
      B->Used = static_cast<uint16_t>(N);
      Pos += N;
      if (Pos >= L) break;
      TBlobBlock* Next = nullptr;
      if (B->Next != 0) {
        // Reusing a block twice would overwrite what this very write just placed.
        if (!ValidLink(B->Next) || !Used.insert(B->Next).second) Raise(ecBlobsCorrupt);
        if (!GetBlock(Buffer.Cursor, B->Next, Next)) Raise(ecRecordChanged);
      } else {
        AllocateBlock(Buffer.Cursor, Next);
        if (!Used.insert(Next->Offset).second) {
          ReleaseBlock(Next);
          Raise(ecBlobsCorrupt);
        }
      }
      B->Next = Next->Offset;
      Next->Previous = B->Offset;
      Next->Revision = Buffer.Revision;
      Next->TotalLength = 0;
      Next->Modified = true;
      ReleaseBlock(B);
      B = Next;
    }
    if (Pos != L) Raise(ecEndOfBlob);
    // The old value was longer: its surplus blocks go to the free chain in chain order.
    uint32_t Rest = B->Next;
    B->Next = 0;
    ReleaseBlock(B);
    while (Rest != 0) {
      if (!ValidLink(Rest) || !Used.insert(Rest).second) Raise(ecBlobsCorrupt);
      TBlobBlock* F = nullptr;
      if (!GetBlock(Buffer.Cursor, Rest, F)) Raise(ecRecordChanged);
      Rest = F->Next;
      PushFreeBlock(F);
      ReleaseBlock(F);
    }
  } catch (...) {
    ReleaseBlock(B);
    throw;
  }
}

void TBlobFile::FreeBlobChain(TDataCursor* Cursor, bool ReportOnly, bool KeepOwner, uint32_t RecordNumber,
                              uint32_t Revision, uint32_t& FirstBlock) {
  if (FirstBlock == 0) return;
  bool Repairing = Owner != nullptr && Owner->Repairing(Cursor);
  auto Log = [&](const char* Text) {
    std::string S = std::string(Text) + IntToStr(static_cast<int64_t>(RecordNumber)) + ", " +
                    (ReportOnly ? "error not fixed" : "error fixed");
    if (S.size() > 255) S.resize(255);
    if (Owner != nullptr) Owner->RepairLog(Cursor, S);
  };
  TBlobBlock* B = nullptr;
  bool FirstValid = ValidLink(FirstBlock);
  if (FirstValid && !GetBlock(Cursor, FirstBlock, B)) Raise(ecRecordChanged);
  if (!FirstValid || B->Revision != Revision) {
    if (FirstValid && KeepOwner) {
      if (!ReportOnly) {
        B->Revision = Revision;
        B->Modified = true;
      }
    } else if (!Repairing) {
      ReleaseBlock(B);
      Raise(ecBlobsCorrupt);
    } else {
      ReleaseBlock(B);
      Log("Invalid BLOB offset in BLOB file for physical record # ");
      if (!ReportOnly) FirstBlock = 0;
      return;
    }
  }
  int Ahead = BlocksFor(B->TotalLength);
  std::vector<uint32_t> Chain{B->Offset};
  std::unordered_set<uint32_t> Seen{B->Offset};
  try {
    while (B->Next != 0) {
      uint32_t Next = B->Next;
      const char* Problem = nullptr;
      TBlobBlock* N = nullptr;
      if (!ValidLink(Next)) {
        Problem = "Invalid intra-block pointer in BLOB file for physical record # ";
      } else if (Seen.count(Next) != 0) {
        Problem = "Recursive intra-block pointer in BLOB file for physical record # ";
      } else {
        if (!GetBlock(Cursor, Next, N, Ahead, true)) Raise(ecRecordChanged);
        if (N->Revision != Revision) {
          if (KeepOwner) {
            if (!ReportOnly) {
              N->Revision = Revision;
              N->Modified = true;
            }
          } else {
            Problem = "Invalid intra-block pointer in BLOB file for physical record # ";
          }
        }
      }
      if (Problem != nullptr) {
        ReleaseBlock(N);
        if (!Repairing) Raise(ecBlobsCorrupt);
        Log(Problem);
        if (!ReportOnly) {
          B->Next = 0;
          B->Modified = true;
        }
        break;
      }
      ReleaseBlock(B);
      B = N;
      Seen.insert(Next);
      Chain.push_back(Next);
    }
  } catch (...) {
    ReleaseBlock(B);
    throw;
  }
  ReleaseBlock(B);
  if (ReportOnly) return;
  for (uint32_t Offset : Chain) {
    TBlobBlock* F = nullptr;
    if (!GetBlock(Cursor, Offset, F)) Raise(ecRecordChanged);
    PushFreeBlock(F);
    ReleaseBlock(F);
  }
  FirstBlock = 0;
}
