#include "dbengine/storage/index_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <unordered_set>

#include "dbengine/storage/collation.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/engine_keys.h"
#include "platform/core/sysutils.h"

namespace {

constexpr uint32_t kMaxEndOffset = 2000000000u;
// A slot's cache grows past its capacity outside a transaction only while every cached page is
// held by the walk in progress; this bound catches references that are never released.
constexpr int kMaxPinnedPages = 4096;

// Pages that leave the kept ones the pool keeps for the next reads; the others go back to the heap.
constexpr int kPooledKeptPages = 16;

// What a page takes in memory.
size_t PageMemory(const TPage* P) { return sizeof(TPage) + static_cast<size_t>(P->EntriesCapacity); }

// Serials of page contents, unique in the process (a page object that went back to the heap may
// come again at the same address).
std::atomic<uint64_t> GPageSerial{0};
uint64_t NewPageSerial() { return GPageSerial.fetch_add(1, std::memory_order_relaxed) + 1; }

bool ValidIndexName(const std::string& Name) {
  std::string T = Trim(Name);
  return !T.empty() && IsIdentStartChar(T[0]) && T.size() <= 30;
}

}  // namespace

TIndexFile::~TIndexFile() {
  if (Opened) {
    try {
      ClearCache(true);
    } catch (...) {
    }
  }
  for (auto& C : FCaches)
    for (TPage* P : C.Sorted) delete P;
  for (const TKeptPages::TEntry& E : FKept.Ring) delete E.Page;
}

void TIndexFile::Raise(uint16_t Code, const std::string& IndexName, const std::string& FieldName) {
  RaiseEngineError(Code, AboutTheFile(Code) ? OwnName() : ErrorName(), FieldName, IndexName);
}

void TIndexFile::PageCorrupt() { Raise(ecIndexCorrupt); }

void TIndexFile::PageModified(TPage& Page) {
  if (Owner) Owner->MarkChanged();
  Page.Serial = NewPageSerial();
  // A kept page is what the file holds: one that changes goes back to its slot's cache, which
  // writes it.
  if (Page.KeptAt >= 0) Adopt(&Page);
}

// ---- Open, create, header ------------------------------------------------------------------------

void TIndexFile::Open() {
  if (Opened) return;
  TFileHandler::Open();
  try {
    ReadHeader();
    if (IndexCount() > kIndexSlotCount) Raise(ecHeaderCorrupt);
  } catch (...) {
    TFileHandler::Close();
    throw;
  }
  CacheHits = PageReads = PageAllocations = PageWrites = 0;
}

void TIndexFile::Close() {
  ClearCache(true);
  std::vector<TPage*>().swap(FByPage);
  TFileHandler::Close();
}

void TIndexFile::CreateFile() {
  ClearCache(true);
  TFileHandler::CreateFile();
  memset(Header, 0, sizeof(Header));
  Header[kIdxVersion] = kIndexFileVersion;
  SetEndOffset(kIndexHeaderSize);
  TIndexDescriptor* D = Descriptor(kSysDeletedSlot);
  D->SetName("Sys Deleted");
  D->SetKeyLength(5);
  SetDirty();
}

void TIndexFile::ReadHeader() {
  uint8_t Buf[kIndexHeaderSize];
  ReadAt(0, Buf, kIndexHeaderSize);
  if (Encrypted) CipherDecode(Buf, kIndexHeaderSize, kTableCipherKeyLow, kTableCipherKeyHigh);
  memcpy(Header, Buf, kIndexHeaderSize);
  Header[kIdxDirty] = 0;
}

bool TIndexFile::HeaderChanged() {
  // The change counter leads the header (and its cipher): it alone tells whether the header is to
  // be read.
  static_assert(kIdxChangeCount == 0);
  uint8_t Count[4];
  ReadAt(0, Count, 4);
  if (Encrypted) CipherDecode(Count, 4, kTableCipherKeyLow, kTableCipherKeyHigh);
  if (LoadU32(Count) == ChangeCount()) return false;
  uint8_t Buf[kIndexHeaderSize];
  ReadAt(0, Buf, kIndexHeaderSize);
  if (Encrypted) CipherDecode(Buf, kIndexHeaderSize, kTableCipherKeyLow, kTableCipherKeyHigh);
  if (LoadU32(Buf + kIdxChangeCount) == ChangeCount()) return false;
  memcpy(Header, Buf, kIndexHeaderSize);
  Header[kIdxDirty] = 0;
  return true;
}

void TIndexFile::WriteHeader(bool Force) {
  if (!Force && !Dirty()) return;
  StoreU32(Header + kIdxChangeCount, ChangeCount() + 1);
  uint8_t Buf[kIndexHeaderSize];
  memcpy(Buf, Header, kIndexHeaderSize);
  if (Encrypted) CipherEncode(Buf, kIndexHeaderSize, kTableCipherKeyLow, kTableCipherKeyHigh);
  WriteAt(0, Buf, kIndexHeaderSize);
  Header[kIdxDirty] = 0;
}

void TIndexFile::TouchHeader() {
  StoreU32(Header + kIdxChangeCount, ChangeCount() + 1);
  if (Owner) Owner->MarkChanged();
}

void TIndexFile::EmptyIndexFile() {
  ClearCache(true);
  Seek(kIndexHeaderSize, 0);
  Truncate();
  Header[kIdxVersion] = kIndexFileVersion;
  SetEndOffset(kIndexHeaderSize);
  SetRecordCount(0);
  const int N = std::min(IndexCount(), kMaxSecondaryIndexes);
  for (int S = 0; S <= N; ++S) {
    StoreU32(Descriptor(S)->Bytes + kIndexDescRootPageOffset, 0);
    StoreU32(Descriptor(S)->Bytes + kIndexDescFreePageOffset, 0);
  }
  StoreU32(Descriptor(kSysDeletedSlot)->Bytes + kIndexDescRootPageOffset, 0);
  StoreU32(Descriptor(kSysDeletedSlot)->Bytes + kIndexDescFreePageOffset, 0);
  SetDirty();
}

void TIndexFile::SetIndexCount(int N) {
  Header[kIdxIndexCount] = static_cast<uint8_t>(N);
  SetDirty();
}

void TIndexFile::SetNoPrimaryIndex(bool V) {
  Header[kIdxNoPrimaryIndex] = V ? 1 : 0;
  SetDirty();
}

void TIndexFile::SetRecordCount(uint32_t N) {
  StoreU32(Header + kIdxRecordCount, N);
  SetDirty();
}

// ---- Index definitions ---------------------------------------------------------------------------

void TIndexFile::CheckDefinitionFields(const TIndexDescriptor& D, const std::string& IndexName) {
  if (!Fields) return;
  for (int I = 0; I < std::min<int>(D.FieldCount(), kMaxIndexFields); ++I) {
    uint16_t N = D.FieldNumber(I);
    if (N == 0) break;
    const uint8_t* F = Fields->FieldDescriptor(N);
    if (F && F[kFieldDescTypeOffset] == ftBlob) Raise(ecIndexFieldType, IndexName);
  }
}

void TIndexFile::SetPrimaryIndex(const TIndexDescriptor& D) {
  if (Descriptor(0)->KeyLength() != 0) Raise(ecPrimaryExists, "Primary");
  if (D.FieldCount() > kMaxIndexFields) Raise(ecIndexLimit, "Primary");
  TIndexDescriptor* S = Descriptor(0);
  if (D.FieldCount() > 0) {
    CheckDefinitionFields(D, "Primary");
    Header[kIdxNoPrimaryIndex] = 0;
    uint32_t Free = S->FreePage();
    memcpy(S->Bytes, D.Bytes, kIndexDescRootPageOffset);
    S->SetName("");
    S->Bytes[kIndexDescUniqueOffset] = 1;
    StoreU32(S->Bytes + kIndexDescRootPageOffset, 0);
    StoreU32(S->Bytes + kIndexDescFreePageOffset, Free);
    memset(S->Bytes + 94, 0, kIndexDescriptorSize - 94);
  } else {
    ClearDescriptor(0);
    Header[kIdxNoPrimaryIndex] = 1;
  }
  SetDirty();
}

void TIndexFile::AddIndex(const TIndexDescriptor& D) {
  if (IndexCount() >= kMaxSecondaryIndexes) Raise(ecIndexLimit, D.Name());
  if (D.FieldCount() > kMaxIndexFields) Raise(ecIndexLimit, D.Name());
  std::string Name = Trim(D.Name());
  if (Name.empty()) Raise(ecIndexNameMissing);
  if (!ValidIndexName(Name)) Raise(ecInvalidIndexName, Name);
  for (int S = 1; S <= IndexCount(); ++S)
    if (AnsiSameText(Trim(Descriptor(S)->Name()), Name)) Raise(ecIndexExists, Name);
  CheckDefinitionFields(D, Name);
  // The slot's free chain stays: it may hold the pages of an index removed from this slot.
  const int Slot = IndexCount() + 1;
  SetIndexDescriptor(Slot, D);
  SetIndexCount(Slot);
}

void TIndexFile::ClearDescriptor(int Slot) {
  TIndexDescriptor* S = Descriptor(Slot);
  uint32_t Free = S->FreePage();
  memset(S->Bytes, 0, kIndexDescriptorSize);
  StoreU32(S->Bytes + kIndexDescFreePageOffset, Free);
  SetDirty();
}

void TIndexFile::RemoveIndex(int Slot, bool Physically) {
  if (Slot == 0) {
    ClearDescriptor(0);
    SetNoPrimaryIndex(true);
    return;
  }
  if (Physically && Slot >= 1 && Slot <= IndexCount()) {
    TIndexDescriptor Removed = *Descriptor(Slot);
    for (int S = Slot; S < IndexCount(); ++S) {
      *Descriptor(S) = *Descriptor(S + 1);
      // The caches move with their descriptors.
      std::swap(FCaches[S], FCaches[S + 1]);
    }
    *Descriptor(IndexCount()) = Removed;
    for (TPage* P : FCaches[IndexCount()].Sorted) P->Slot = IndexCount();
    for (int S = Slot; S < IndexCount(); ++S)
      for (TPage* P : FCaches[S].Sorted) P->Slot = S;
    SetIndexCount(IndexCount() - 1);
  }
  SetDirty();
}

void TIndexFile::SetIndexDescriptor(int Slot, const TIndexDescriptor& D) {
  TIndexDescriptor* S = Descriptor(Slot);
  uint32_t Free = S->FreePage();
  memcpy(S->Bytes, D.Bytes, kIndexDescRootPageOffset);
  S->SetName(Trim(D.Name()));
  StoreU32(S->Bytes + kIndexDescRootPageOffset, 0);
  StoreU32(S->Bytes + kIndexDescFreePageOffset, Free);
  S->Bytes[94] = 0;
  memset(S->Bytes + 96, 0, kIndexDescriptorSize - 96);
  SetDirty();
}

void TIndexFile::RenameIndex(int Slot, const std::string& Name, const uint16_t* FieldNumbers) {
  TIndexDescriptor* S = Descriptor(Slot);
  S->SetName(Name);
  if (FieldNumbers)
    for (int I = 0; I < kMaxIndexFields; ++I) S->SetFieldNumber(I, FieldNumbers[I]);
  SetDirty();
}

// ---- Page cache ----------------------------------------------------------------------------------

void TIndexFile::MruUnlink(TSlotCache& C, TPage* P) {
  if (P->MruPrev)
    P->MruPrev->MruNext = P->MruNext;
  else if (C.MruHead == P)
    C.MruHead = P->MruNext;
  if (P->MruNext)
    P->MruNext->MruPrev = P->MruPrev;
  else if (C.MruTail == P)
    C.MruTail = P->MruPrev;
  P->MruPrev = P->MruNext = nullptr;
}

void TIndexFile::MruPushFront(TSlotCache& C, TPage* P) {
  P->MruPrev = nullptr;
  P->MruNext = C.MruHead;
  if (C.MruHead) C.MruHead->MruPrev = P;
  C.MruHead = P;
  if (!C.MruTail) C.MruTail = P;
}

void TIndexFile::InsertCached(int Slot, TPage* Page) {
  TSlotCache& C = FCaches[Slot];
  auto It = std::lower_bound(C.Sorted.begin(), C.Sorted.end(), Page->Offset,
                             [](const TPage* P, uint32_t O) { return P->Offset < O; });
  C.Sorted.insert(It, Page);
  MruPushFront(C, Page);
}

void TIndexFile::RemoveCached(int Slot, TPage* Page) {
  TSlotCache& C = FCaches[Slot];
  auto It = std::find(C.Sorted.begin(), C.Sorted.end(), Page);
  if (It != C.Sorted.end()) C.Sorted.erase(It);
  MruUnlink(C, Page);
}

TPage* TIndexFile::ObtainBuffer(int Slot) {
  TSlotCache& C = FCaches[Slot];
  for (int Round = 0; Round < 2; ++Round) {
    if (static_cast<int>(C.Sorted.size()) < C.Capacity) return FPool.Pop();
    for (TPage* P = C.MruTail; P; P = P->MruPrev) {
      if (!P->Modified && P->RefCount == 0) {
        RemoveCached(Slot, P);
        KeepClean(P);
        return FPool.Pop();
      }
    }
    if (Round == 0 && !(Owner && Owner->InTransaction())) {
      FlushPages();
      continue;
    }
    break;
  }
  if (!(Owner && Owner->InTransaction()) && C.Capacity >= kMaxPinnedPages) PageCorrupt();
  C.Capacity += 64;
  return FPool.Pop();
}

void TIndexFile::Track(TPage* Page) {
  const size_t N = Page->Offset / kIndexPageSize;
  if (N >= FByPage.size()) FByPage.resize(N + 1, nullptr);
  FByPage[N] = Page;
  Page->Serial = NewPageSerial();
}

void TIndexFile::Untrack(TPage* Page) {
  const size_t N = Page->Offset / kIndexPageSize;
  if (N < FByPage.size() && FByPage[N] == Page) FByPage[N] = nullptr;
}

void TIndexFile::Dispose(TPage* Page) {
  // Pages the budget gave up are memory for others: the pool keeps only what the next reads take.
  // A page a walk still holds (caches dropped under it by a change check) is never freed here.
  if (FPool.Size() < kPooledKeptPages || Page->RefCount > 0)
    FPool.Push(Page);
  else
    delete Page;
}

void TIndexFile::KeepClean(TPage* Page) {
  // The pages of a file in memory are read at the cost of a copy. The status index is read whole
  // (the visible set of a natural order, a record count), never by key in no particular order: its
  // pages would take the room of pages that serve lookups.
  if (InMemory || Page->Slot == kSysDeletedSlot) {
    Untrack(Page);
    FPool.Push(Page);
    return;
  }
  const size_t Bytes = PageMemory(Page);
  while (!FKept.Take(Bytes)) {
    if (EvictKept(1) == 0) {
      Untrack(Page);
      Dispose(Page);
      return;
    }
  }
  Page->KeptAt = static_cast<int>(FKept.Ring.size());
  Page->Used = false;
  FKept.Ring.push_back({Page, Bytes});
}

void TIndexFile::Unkeep(TPage* Page) {
  auto& Ring = FKept.Ring;
  const size_t At = static_cast<size_t>(Page->KeptAt);
  FKept.Return(Ring[At].Bytes);
  Ring[At] = Ring.back();
  Ring[At].Page->KeptAt = static_cast<int>(At);
  Ring.pop_back();
  Page->KeptAt = -1;
  Page->Used = false;
}

size_t TIndexFile::EvictKept(size_t Bytes) {
  auto& Ring = FKept.Ring;
  size_t Freed = 0;
  // Two rounds at most: the first may only take the marks of pages found since.
  for (size_t Steps = 2 * Ring.size() + 1; Freed < Bytes && !Ring.empty() && Steps > 0; --Steps) {
    if (FKept.Hand >= Ring.size()) FKept.Hand = 0;
    TPage* P = Ring[FKept.Hand].Page;
    if (P->RefCount > 0 || P->Used) {
      P->Used = false;
      ++FKept.Hand;
      continue;
    }
    // The last kept page takes the place the hand is on.
    Freed += Ring[FKept.Hand].Bytes;
    Unkeep(P);
    Untrack(P);
    Dispose(P);
  }
  return Freed;
}

void TIndexFile::DropClean() {
  while (!FKept.Ring.empty()) {
    TPage* P = FKept.Ring.back().Page;
    Unkeep(P);
    Untrack(P);
    Dispose(P);
  }
  FKept.Hand = 0;
}

void TIndexFile::Forget(TPage* Page) {
  if (Page->RefCount > 0 || Page->Modified) PageCorrupt();
  if (Page->KeptAt >= 0) {
    Unkeep(Page);
    Untrack(Page);
    Dispose(Page);
    return;
  }
  RemoveCached(Page->Slot, Page);
  Untrack(Page);
  FPool.Push(Page);
}

bool TIndexFile::Fits(int Slot, const TPage* Page) const {
  if (Page->Slot != Slot) return false;
  // The pages of a slot's cache move along with its definition; one of an index the slot held
  // before is met only on its free chain, and AllocatePage configures it anew. A kept page stays
  // as it was.
  if (Page->KeptAt < 0) return true;
  const TIndexDescriptor* D = Descriptor(Slot);
  return Page->KeyLength == D->KeyLength() && Page->Descending == D->Descending() && Page->Unique == D->Unique() &&
         Page->Compression == D->Compression();
}

void TIndexFile::Adopt(TPage* Page) {
  Unkeep(Page);
  // The room it takes in the slot's cache is made once it is out of the kept pages.
  try {
    FPool.Push(ObtainBuffer(Page->Slot));
  } catch (...) {
    InsertCached(Page->Slot, Page);
    throw;
  }
  InsertCached(Page->Slot, Page);
}

void TIndexFile::CheckSlot(int Slot) {
  if (Slot < 0 || Slot >= kIndexSlotCount) PageCorrupt();
}

void TIndexFile::ConfigurePage(int Slot, TPage* Page) {
  const TIndexDescriptor* D = Descriptor(Slot);
  Page->Owner = this;
  Page->Configure(D->KeyLength(), Slot, D->Descending(), D->Unique(), D->Compression());
}

bool TIndexFile::GetPage(TDataCursor* Cursor, int Slot, uint32_t Offset, TPage*& Page, bool NewPage) {
  Page = nullptr;
  CheckSlot(Slot);
  if (Offset == 0) PageCorrupt();
  TPage* P = InMemoryAt(Offset);
  if (P != nullptr && (Offset == EndOffset() || !Fits(Slot, P))) {
    // A copy of a page the file no longer holds (past its end), or of one that belonged to an index
    // whose slot has a new definition since.
    Forget(P);
    P = nullptr;
  }
  if (Offset == EndOffset()) {
    if (EndOffset() > kMaxEndOffset) Raise(ecTableFull);
    P = ObtainBuffer(Slot);
    ConfigurePage(Slot, P);
    P->Offset = Offset;
    P->Modified = true;
    Track(P);
    InsertCached(Slot, P);
    SetEndOffset(EndOffset() + kIndexPageSize);
    SetDirty();
    ++PageAllocations;
  } else if (P != nullptr) {
    // A page taken from the free chain must be free and unused.
    if (NewPage && (!P->Free || P->RefCount > 0)) PageCorrupt();
    ++CacheHits;
    if (P->KeptAt < 0) {
      MruUnlink(FCaches[Slot], P);
      MruPushFront(FCaches[Slot], P);
    } else if (NewPage) {
      // It is about to change.
      Adopt(P);
    } else {
      P->Used = true;
    }
  } else {
    if (Offset % kIndexPageSize != 0 || Offset > EndOffset()) PageCorrupt();
    if (Owner && Cursor && Owner->ChangedBeforeRead(Cursor)) return false;
    uint8_t Buf[kIndexPageSize];
    ReadAt(Offset, Buf, kIndexPageSize);
    ++PageReads;
    if (Encrypted) CipherDecode(Buf, kIndexPageSize, kTableCipherKeyLow, kTableCipherKeyHigh);
    P = ObtainBuffer(Slot);
    ConfigurePage(Slot, P);
    P->Offset = Offset;
    try {
      P->Decode(Buf, NewPage);
    } catch (...) {
      FPool.Push(P);
      throw;
    }
    Track(P);
    InsertCached(Slot, P);
  }
  if (P->Offset != Offset) PageCorrupt();
  ++P->RefCount;
  Page = P;
  return true;
}

void TIndexFile::ReleasePage(TPage*& Page) {
  if (Page && Page->RefCount > 0) --Page->RefCount;
  Page = nullptr;
}

TPage* TIndexFile::AllocatePage(TDataCursor* Cursor, int Slot) {
  CheckSlot(Slot);
  TIndexDescriptor* D = Descriptor(Slot);
  const uint32_t Free = D->FreePage();
  TPage* P = nullptr;
  if (Free != 0) {
    if (!ValidPageOffset(Free)) PageCorrupt();
    if (!GetPage(Cursor, Slot, Free, P, true)) throw EIndexChanged();
    const uint32_t NextFree = P->Right;
    if (NextFree != 0 && !ValidPageOffset(NextFree)) {
      ReleasePage(P);
      PageCorrupt();
    }
    StoreU32(D->Bytes + kIndexDescFreePageOffset, NextFree);
  } else {
    if (!GetPage(Cursor, Slot, EndOffset(), P, true)) throw EIndexChanged();
  }
  const uint32_t Offset = P->Offset;
  const uint16_t Refs = P->RefCount;
  TPage* Prev = P->MruPrev;
  TPage* Next = P->MruNext;
  // A page of the free chain may have served an index the slot held before.
  ConfigurePage(Slot, P);
  P->Reset();
  P->Offset = Offset;
  P->RefCount = Refs;
  P->MruPrev = Prev;
  P->MruNext = Next;
  P->Modified = true;
  Track(P);  // other contents
  SetDirty();
  return P;
}

void TIndexFile::PushFreePage(int Slot, TPage* Page) {
  CheckSlot(Slot);
  TIndexDescriptor* D = Descriptor(Slot);
  Page->Right = D->FreePage();
  Page->Left = 0;
  Page->Count = 0;
  Page->Free = true;
  Page->CompressedSize = 0;
  Page->MarkModified();
  StoreU32(D->Bytes + kIndexDescFreePageOffset, Page->Offset);
  SetDirty();
}

void TIndexFile::SetRootPage(int Slot, uint32_t Offset) {
  CheckSlot(Slot);
  StoreU32(Descriptor(Slot)->Bytes + kIndexDescRootPageOffset, Offset);
  SetDirty();
}

bool TIndexFile::GetRootPage(TDataCursor* Cursor, int Slot, TPage*& Page) {
  Page = nullptr;
  uint32_t Root = RootPage(Slot);
  if (Root == 0) return false;
  if (!GetPage(Cursor, Slot, Root, Page)) return false;
  Page->WritePos = Page->ReadPos = 1;
  return true;
}

int TIndexFile::CompareKeys(TDataCursor* Cursor, const TPage& Page, const uint8_t* EntryKey, const uint8_t* SearchKey,
                            int Length) {
  if (KeyCompare) return KeyCompare(Cursor, Page, EntryKey, SearchKey, Length);
  int C = CompareBuffers(EntryKey, SearchKey, Length, false);
  return Page.Descending && Page.Slot != kSysDeletedSlot ? -C : C;
}

int TIndexFile::ByteOrder(TDataCursor* Cursor, int Slot) {
  CheckSlot(Slot);
  if (KeyCompare && !(KeyBytewise && KeyBytewise(Cursor, Slot))) return 0;
  return Descriptor(Slot)->Descending() && Slot != kSysDeletedSlot ? -1 : 1;
}

bool TIndexFile::ValidPageOffset(uint32_t Offset) {
  return Offset >= kIndexHeaderSize && Offset % kIndexPageSize == 0 && Offset < EndOffset();
}

bool TIndexFile::FlushPages() {
  std::vector<TPage*> Dirty;
  for (auto& C : FCaches)
    for (TPage* P : C.Sorted)
      if (P->Modified && P->RefCount == 0) Dirty.push_back(P);
  if (Dirty.empty()) return false;
  std::sort(Dirty.begin(), Dirty.end(), [](const TPage* A, const TPage* B) { return A->Offset < B->Offset; });
  std::vector<uint8_t> Run;
  uint8_t Alone[kIndexPageSize];  // a page written by itself (a small change) needs no buffer of its own
  size_t I = 0;
  while (I < Dirty.size()) {
    size_t J = I + 1;
    while (J < Dirty.size() && Dirty[J]->Offset == Dirty[J - 1]->Offset + kIndexPageSize) ++J;
    const size_t Bytes = (J - I) * kIndexPageSize;
    uint8_t* Out = Alone;
    if (J - I > 1) {
      Run.assign(Bytes, 0);
      Out = Run.data();
    } else {
      std::memset(Alone, 0, sizeof Alone);
    }
    for (size_t K = I; K < J; ++K) {
      uint8_t* B = Out + (K - I) * kIndexPageSize;
      Dirty[K]->Encode(B);
      if (Encrypted) CipherEncode(B, kIndexPageSize, kTableCipherKeyLow, kTableCipherKeyHigh);
    }
    WriteAt(Dirty[I]->Offset, Out, static_cast<int64_t>(Bytes));
    for (size_t K = I; K < J; ++K) Dirty[K]->Modified = false;
    PageWrites += static_cast<int64_t>(J - I);
    I = J;
  }
  if (Owner) Owner->MarkChanged();
  return true;
}

int TIndexFile::ReferencedPages() const {
  int N = 0;
  for (const auto& C : FCaches)
    for (const TPage* P : C.Sorted)
      if (P->RefCount > 0) ++N;
  for (const TKeptPages::TEntry& E : FKept.Ring)
    if (E.Page->RefCount > 0) ++N;
  return N;
}

void TIndexFile::ClearCache(bool AllSlots) {
  DropClean();
  for (int S = 0; S < kIndexSlotCount; ++S) {
    if (S == kSysDeletedSlot && !AllSlots) continue;
    TSlotCache& C = FCaches[S];
    for (TPage* P : C.Sorted) {
      P->MruPrev = P->MruNext = nullptr;
      Untrack(P);
      FPool.Push(P);
    }
    C.Sorted.clear();
    C.MruHead = C.MruTail = nullptr;
    C.Capacity = kIndexCacheInitial;
  }
}

void TIndexFile::TrimCache(bool AllSlots) {
  for (int S = 0; S < kIndexSlotCount; ++S) {
    if (S == kSysDeletedSlot && !AllSlots) continue;
    TSlotCache& C = FCaches[S];
    // A slot that never grew past the usual size has nothing to give back.
    if (C.Capacity <= kIndexCacheInitial && static_cast<int>(C.Sorted.size()) <= kIndexCacheInitial) continue;
    std::vector<TPage*> Keep;
    for (size_t I = 0; I < C.Sorted.size(); ++I) {
      TPage* P = C.Sorted[I];
      if (static_cast<int>(Keep.size()) < kIndexCacheInitial || P->Modified || P->RefCount > 0) {
        Keep.push_back(P);
      } else {
        MruUnlink(C, P);
        KeepClean(P);
      }
    }
    C.Sorted = std::move(Keep);
    C.Capacity = std::max<int>(kIndexCacheInitial, static_cast<int>(C.Sorted.size()));
  }
}

// ---- Open checks ---------------------------------------------------------------------------------

void TIndexFile::VerifyIndexFile() {
  if (Version() != kIndexFileVersion) Raise(ecWrongVersion);
  const int N = IndexCount();
  if (N > kMaxSecondaryIndexes) Raise(ecHeaderCorrupt);
  const uint32_t End = EndOffset();
  if (End < kIndexHeaderSize || End % kIndexPageSize != 0) Raise(ecHeaderCorrupt);
  auto CheckOffset = [&](uint32_t O) {
    if (O == 0) return;
    if (End == kIndexHeaderSize || O < kIndexHeaderSize || O > End - kIndexPageSize || O % kIndexPageSize != 0)
      Raise(ecHeaderCorrupt);
  };
  for (int S = 0; S <= N; ++S) {
    const TIndexDescriptor* D = Descriptor(S);
    const bool OpenPrimary = S == 0 && NoPrimaryIndex();
    if (S == 0) {
      if (!D->Name().empty()) Raise(ecHeaderCorrupt);
      if (!NoPrimaryIndex() && !D->Unique()) Raise(ecHeaderCorrupt);
    } else {
      if (!ValidIndexName(D->Name())) Raise(ecHeaderCorrupt);
      for (int T = 1; T < S; ++T)
        if (AnsiSameText(Trim(Descriptor(T)->Name()), Trim(D->Name()))) Raise(ecHeaderCorrupt);
    }
    if (D->FieldCount() > kMaxIndexFields || D->Compression() > icFull) Raise(ecHeaderCorrupt);
    // Pages can only be read with a key length that fits a page.
    if (D->KeyLength() > kMaxIndexKeyLength || (D->KeyLength() == 0 && !OpenPrimary) ||
        (D->KeyLength() != 0 && !D->Unique() && D->KeyLength() <= 4))
      Raise(ecHeaderCorrupt);
    if (Fields) {
      int Sum = 0;
      for (int I = 0; I < kMaxIndexFields; ++I) {
        const uint16_t F = D->FieldNumber(I);
        if (F == 0) break;
        const uint8_t* FD = Fields->FieldDescriptor(F);
        if (!FD) {
          if (OpenPrimary) break;
          Raise(ecHeaderCorrupt);
        }
        if (FD[kFieldDescTypeOffset] == ftBlob) Raise(ecHeaderCorrupt);
        Sum += FD[kFieldDescDataSizeOffset] + 1;
      }
      if (Sum > kMaxKeyFieldBytes || (Sum == 0 && !OpenPrimary)) Raise(ecHeaderCorrupt);
      // The stored key length must be the one the fields give, or every page would be misread.
      if (Sum != 0 && D->KeyLength() != Sum + (D->Unique() ? 0 : 4)) Raise(ecHeaderCorrupt);
    }
    CheckOffset(D->RootPage());
    CheckOffset(D->FreePage());
  }
  const TIndexDescriptor* Del = Descriptor(kSysDeletedSlot);
  if (Del->KeyLength() != 5 || Del->Compression() > icFull) Raise(ecHeaderCorrupt);
  CheckOffset(Del->RootPage());
  CheckOffset(Del->FreePage());
}

int64_t TIndexFile::CheckFreeChain(int Slot) {
  CheckSlot(Slot);
  const int64_t Limit = PageCapacity();
  std::unordered_set<uint32_t> Seen;
  int64_t N = 0;
  for (uint32_t O = Descriptor(Slot)->FreePage(); O != 0; ++N) {
    if (N >= Limit || !ValidPageOffset(O) || !Seen.insert(O).second) PageCorrupt();
    TPage* P = nullptr;
    if (!GetPage(nullptr, Slot, O, P, true)) PageCorrupt();
    O = P->Right;
    ReleasePage(P);
  }
  return N;
}
