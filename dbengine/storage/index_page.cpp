#include "dbengine/storage/index_page.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "dbengine/storage/collation.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/records_bitmap.h"
#include "dbengine/storage/table_file_owner.h"

namespace {

// Releases a page reference when it goes out of scope.
struct TPageHold {
  TPageStore* Store;
  TPage* Page = nullptr;
  explicit TPageHold(TPageStore* S, TPage* P = nullptr) : Store(S), Page(P) {}
  TPageHold(const TPageHold&) = delete;
  TPageHold& operator=(const TPageHold&) = delete;
  ~TPageHold() {
    if (Page) Store->ReleasePage(Page);
  }
  TPage* operator->() const { return Page; }
};

// A referenced live page of the slot; a page on the free chain cannot be part of a tree.
TPage* FetchPage(TPageStore& Store, TDataCursor* Cursor, int Slot, uint32_t Offset) {
  if (!Store.ValidPageOffset(Offset)) Store.PageCorrupt();
  TPage* P = nullptr;
  if (!Store.GetPage(Cursor, Slot, Offset, P)) throw EIndexChanged();
  if (P->Free) {
    Store.ReleasePage(P);
    Store.PageCorrupt();
  }
  return P;
}

// The decoded entries of a page grow in whole kilobytes, whatever their key length: the buffers of
// pages freed after a big transaction then come in a few sizes that the heap hands out again at
// once, not in dozens of sizes whose free lists every larger allocation would walk.
constexpr intptr_t kEntriesStep = 1024;

// Moves N entries of From starting at FromPos into To before ToPos.
void MoveEntries(TPage& From, int FromPos, int N, TPage& To, int ToPos) {
  if (N <= 0) return;
  const int ES = From.EntrySize();
  uint8_t* Src = From.KeyAt(FromPos);
  // Room in To.
  intptr_t Need = static_cast<intptr_t>(To.Count + N) * ES;
  if (Need > To.EntriesCapacity) ReserveBuffer(Need, kEntriesStep, To.Entries, To.EntriesCapacity);
  uint8_t* Dst = To.KeyAt(ToPos);
  memmove(Dst + static_cast<intptr_t>(N) * ES, Dst, static_cast<size_t>(To.Count - ToPos + 1) * ES);
  memcpy(Dst, Src, static_cast<size_t>(N) * ES);
  To.Count += N;
  memmove(Src, Src + static_cast<intptr_t>(N) * ES, static_cast<size_t>(From.Count - FromPos + 1 - N) * ES);
  From.Count -= N;
}

constexpr int kMaxTreeDepth = 64;

// The key comparison of one walk over a slot (or one search of a page): the store tells once
// whether its keys order as their bytes, which spares every comparison the way through the store.
class TWalkCompare {
 public:
  TWalkCompare(TPageStore& Store, TDataCursor* Cursor, int Slot)
      : FStore(Store), FCursor(Cursor), FByteOrder(Store.ByteOrder(Cursor, Slot)) {}
  int operator()(const TPage& Page, const uint8_t* EntryKey, const uint8_t* Key, int Length) const {
    if (FByteOrder == 0) return FStore.CompareKeys(FCursor, Page, EntryKey, Key, Length);
    return CompareBuffers(EntryKey, Key, Length, FByteOrder < 0);
  }

 private:
  TPageStore& FStore;
  TDataCursor* FCursor;
  int FByteOrder;
};

// The non-empty leaf beside From on its level.
TPage* FetchNeighbourLeaf(TPageStore& Store, TDataCursor* Cursor, int Slot, uint32_t Offset, const TPage* From) {
  TPage* N = FetchPage(Store, Cursor, Slot, Offset);
  if (!N->IsLeaf() || N->IsRoot() || N->Count == 0 || N == From) {
    Store.ReleasePage(N);
    Store.PageCorrupt();
  }
  return N;
}

}  // namespace

// ---- TPage ---------------------------------------------------------------------------------------

TPage::~TPage() { EngineFree(Entries); }

void TPage::Reset() {
  Modified = false;
  Offset = 0;
  Parent = 0;
  CompressedSize = 0;
  Count = 0;
  WritePos = 1;
  ReadPos = 1;
  memset(Header, 0, sizeof(Header));
  Left = 0;
  Right = 0;
  Kind = pkLeaf;
  Free = false;
}

void TPage::Configure(int KL, int S, bool Desc, bool Uniq, uint8_t Comp) {
  KeyLength = KL;
  Slot = S;
  Descending = Desc;
  Unique = Uniq;
  Compression = Comp;
}

bool TPage::ShapeValid() const {
  return KeyLength >= 1 && KeyLength <= kMaxIndexKeyLength && Compression <= icFull && (Unique || KeyLength > 4);
}

int TPage::Capacity() const {
  if (!IsLeaf()) return NodeCapacity(KeyLength);
  if (Compression != icNone) return 1 << 30;
  return LeafCapacity(KeyLength);
}

void TPage::Reserve(int N) {
  intptr_t Need = static_cast<intptr_t>(N) * EntrySize();
  if (Need > EntriesCapacity) ReserveBuffer(Need, kEntriesStep, Entries, EntriesCapacity);
}

uint32_t TPage::ChildAt(int Pos) const { return LoadU32(KeyAt(Pos) + KeyLength); }
uint32_t TPage::CountAt(int Pos) const { return LoadU32(KeyAt(Pos) + KeyLength + 4); }
uint16_t TPage::LeadAt(int Pos) const { return LoadU16(KeyAt(Pos) + KeyLength + 8); }
uint16_t TPage::TrailAt(int Pos) const { return LoadU16(KeyAt(Pos) + KeyLength + 10); }
void TPage::SetChildAt(int Pos, uint32_t V) {
  StoreU32(KeyAt(Pos) + KeyLength, V);
  MarkModified();
}
void TPage::SetCountAt(int Pos, uint32_t V) {
  StoreU32(KeyAt(Pos) + KeyLength + 4, V);
  MarkModified();
}
void TPage::SetKeyAt(int Pos, const uint8_t* K) {
  uint8_t* D = KeyAt(Pos);
  if (D != K) memmove(D, K, static_cast<size_t>(KeyLength));
  Recompress();
  MarkModified();
}

void TPage::MarkModified() {
  Modified = true;
  if (Owner) Owner->PageModified(*this);
}

bool TPage::Next() {
  if (WritePos >= Count) return false;
  ++WritePos;
  return true;
}

bool TPage::Prior() {
  if (WritePos <= 1) return false;
  --WritePos;
  return true;
}

void TPage::Recompress() {
  if (!IsCompressedLeaf() || Count == 0) {
    CompressedSize = 0;
    return;
  }
  const int KL = KeyLength;
  int Size = 0;
  for (int I = 1; I <= Count; ++I) {
    uint8_t* K = KeyAt(I);
    int L = 0, T = 0;
    switch (Compression) {
      case icDupByte:
        L = I == 1 ? 0 : CountEqualBytes(KeyAt(I - 1), K, KL);
        Size += KL - L + 6;
        break;
      case icTrailByte: {
        int Span = Unique ? KL : KL - 4;
        T = Span > 0 ? CountTrailingZeroBytes(K + Span - 1, Span) : 0;
        Size += KL - T + 6;
        break;
      }
      default: {  // icFull
        L = I == 1 ? 0 : std::min(CountEqualBytes(KeyAt(I - 1), K, KL), 255);
        if (Unique) {
          int Span = KL - L;
          T = Span > 0 ? std::min(CountTrailingZeroBytes(K + KL - 1, Span), 255) : 0;
        } else if (KL - L > 4) {
          int Span = KL - L - 4;
          T = std::min(CountTrailingZeroBytes(K + KL - 5, Span), 255);
        }
        Size += KL - L - T + 6;
        break;
      }
    }
    StoreU16(K + KL + 8, static_cast<uint16_t>(L));
    StoreU16(K + KL + 10, static_cast<uint16_t>(T));
  }
  CompressedSize = Size;
}

int TPage::StoredSize() const {
  if (Free) return 0;
  if (!IsLeaf()) return Count * (KeyLength + 8);
  if (Compression == icNone) return Count * (KeyLength + 4);
  return CompressedSize;
}

bool TPage::Overflows() const {
  if (IsCompressedLeaf()) return CompressedSize > kIndexPageDataSize;
  return Count > Capacity();
}

void TPage::Encode(uint8_t* Buffer) const {
  memset(Buffer, 0, kIndexPageSize);
  const int N = Free ? 0 : Count;
  Buffer[0] = Kind;
  StoreU16(Buffer + 1, static_cast<uint16_t>(N));
  StoreU32(Buffer + 3, Left);
  StoreU32(Buffer + 7, Right);
  StoreU16(Buffer + 11, static_cast<uint16_t>(Free || !IsCompressedLeaf() ? 0 : CompressedSize));
  if (N == 0) return;
  if (!ShapeValid() || StoredSize() > kIndexPageDataSize) Owner->PageCorrupt();
  const int KL = KeyLength;
  uint8_t* P = Buffer + kIndexPageHeaderSize;
  for (int I = 1; I <= N; ++I) {
    const uint8_t* K = KeyAt(I);
    const uint32_t C = ChildAt(I);
    if (!IsLeaf()) {
      memcpy(P, K, KL);
      StoreU32(P + KL, C);
      StoreU32(P + KL + 4, CountAt(I));
      P += KL + 8;
      continue;
    }
    const int L = LeadAt(I), T = TrailAt(I);
    switch (Compression) {
      case icNone:
        memcpy(P, K, KL);
        P += KL;
        break;
      case icDupByte:
        StoreU16(P, static_cast<uint16_t>(L));
        P += 2;
        memcpy(P, K + L, KL - L);
        P += KL - L;
        break;
      case icTrailByte:
        StoreU16(P, static_cast<uint16_t>(T));
        P += 2;
        if (Unique) {
          memcpy(P, K, KL - T);
          P += KL - T;
        } else {
          memcpy(P, K, KL - T - 4);
          P += KL - T - 4;
          memcpy(P, K + KL - 4, 4);
          P += 4;
        }
        break;
      default:
        P[0] = static_cast<uint8_t>(L);
        P[1] = static_cast<uint8_t>(T);
        P += 2;
        if (Unique) {
          memcpy(P, K + L, KL - L - T);
          P += KL - L - T;
        } else if (KL - L > 4) {
          memcpy(P, K + L, KL - L - T - 4);
          P += KL - L - T - 4;
          memcpy(P, K + KL - 4, 4);
          P += 4;
        } else {
          memcpy(P, K + L, KL - L);
          P += KL - L;
        }
        break;
    }
    StoreU32(P, C);
    P += 4;
  }
}

void TPage::Decode(const uint8_t* Buffer, bool NewPage) {
  memcpy(Header, Buffer, kIndexPageHeaderSize);
  if (Buffer[0] > pkRootLeaf) Owner->PageCorrupt();
  Kind = Buffer[0];
  Left = LoadU32(Buffer + 3);
  Right = LoadU32(Buffer + 7);
  Free = false;
  WritePos = ReadPos = 1;
  Count = 0;
  CompressedSize = 0;
  if (NewPage) {
    // A page of the free chain: its links are all that counts.
    Free = true;
    return;
  }
  const int N = LoadU16(Buffer + 1);
  const int KL = KeyLength;
  if (!ShapeValid()) Owner->PageCorrupt();
  const uint8_t* P = Buffer + kIndexPageHeaderSize;
  const uint8_t* End = Buffer + kIndexPageSize;
  if (!IsLeaf() || Compression == icNone) {
    const int ES = IsLeaf() ? KL + 4 : KL + 8;
    if (static_cast<int64_t>(N) * ES > kIndexPageDataSize) Owner->PageCorrupt();
    Reserve(N);
    for (int I = 1; I <= N; ++I) {
      uint8_t* K = KeyAt(I);
      memcpy(K, P, KL);
      StoreU32(K + KL, LoadU32(P + KL));
      StoreU32(K + KL + 4, IsLeaf() ? 1u : LoadU32(P + KL + 4));
      StoreU32(K + KL + 8, 0);
      P += ES;
    }
    Count = N;
    return;
  }
  // Compressed leaf: every entry takes at least 6 bytes.
  if (N > kIndexPageDataSize / 6) Owner->PageCorrupt();
  Reserve(N);
  for (int I = 1; I <= N; ++I) {
    uint8_t* K = KeyAt(I);
    const uint8_t* Prev = I > 1 ? KeyAt(I - 1) : nullptr;
    memset(K, 0, static_cast<size_t>(EntrySize()));
    auto Need = [&](int Bytes) {
      if (Bytes < 0 || End - P < Bytes) Owner->PageCorrupt();
    };
    int L = 0, T = 0;
    switch (Compression) {
      case icDupByte: {
        Need(2);
        L = LoadU16(P);
        P += 2;
        if (L > KL || (I == 1 && L != 0)) Owner->PageCorrupt();
        Need(KL - L);
        if (L > 0) memcpy(K, Prev, L);
        memcpy(K + L, P, KL - L);
        P += KL - L;
        break;
      }
      case icTrailByte: {
        Need(2);
        T = LoadU16(P);
        P += 2;
        int Span = Unique ? KL : KL - 4;
        if (T > Span || Span < 0) Owner->PageCorrupt();
        Need(KL - T);
        if (Unique) {
          memcpy(K, P, KL - T);
        } else {
          memcpy(K, P, KL - T - 4);
          memcpy(K + KL - 4, P + KL - T - 4, 4);
        }
        P += KL - T;
        break;
      }
      case icFull: {
        Need(2);
        L = P[0];
        T = P[1];
        P += 2;
        if (L > KL || (I == 1 && L != 0)) Owner->PageCorrupt();
        if (L > 0) memcpy(K, Prev, L);
        if (Unique) {
          if (T > KL - L) Owner->PageCorrupt();
          Need(KL - L - T);
          memcpy(K + L, P, KL - L - T);
          P += KL - L - T;
        } else if (KL - L > 4) {
          if (T > KL - L - 4) Owner->PageCorrupt();
          Need(KL - L - T);
          memcpy(K + L, P, KL - L - T - 4);
          memcpy(K + KL - 4, P + KL - L - T - 4, 4);
          P += KL - L - T;
        } else {
          if (T != 0) Owner->PageCorrupt();
          Need(KL - L);
          memcpy(K + L, P, KL - L);
          P += KL - L;
        }
        break;
      }
      default:
        Owner->PageCorrupt();
    }
    Need(4);
    StoreU32(K + KL, LoadU32(P));
    StoreU32(K + KL + 4, 1);
    P += 4;
  }
  Count = N;
  Recompress();
  if (CompressedSize > kIndexPageDataSize) Owner->PageCorrupt();
}

int TPage::Search(TDataCursor* Cursor, const uint8_t* Key, int Length, int Lowest, bool& Found) {
  Found = false;
  const TWalkCompare Compare(*Owner, Cursor, Slot);
  int Lo = 1, Hi = Count, Pos = Lowest;
  while (Lo <= Hi) {
    int Mid = (Lo + Hi) / 2;
    int C = Compare(*this, KeyAt(Mid), Key, Length);
    if (C < 0) {
      Lo = Mid + 1;
      Pos = Mid;
    } else if (C > 0) {
      Hi = Mid - 1;
    } else {
      Found = true;
      Pos = Mid;
      break;
    }
  }
  return Pos;
}

bool TPage::FindKey(TDataCursor* Cursor, const uint8_t* Key, int Length) {
  ReadPos = 1;
  if (Count == 0) Owner->PageCorrupt();
  bool Found;
  ReadPos = Search(Cursor, Key, Length, 1, Found);
  return Found && IsLeaf();
}

int TPage::FindInsertPosition(TDataCursor* Cursor, const uint8_t* Key, int Length) {
  bool Found;
  ReadPos = Search(Cursor, Key, Length, 0, Found);
  return ReadPos;
}

int TPage::FindChild(uint32_t ChildOffset) const {
  for (int I = 1; I <= Count; ++I)
    if (ChildAt(I) == ChildOffset) return I;
  return 0;
}

TPage* TPage::FetchParent(TDataCursor* Cursor) {
  if (Parent == 0 || Parent == Offset) Owner->PageCorrupt();
  return FetchPage(*Owner, Cursor, Slot, Parent);
}

void TPage::CheckDistinct(const TPage* Other) const {
  if (Other == this) Owner->PageCorrupt();
}

void TPage::PropagateFirstKey(TDataCursor* Cursor) {
  TPage* Child = this;
  TPageHold Held(Owner);
  for (int Depth = 0; Depth < kMaxTreeDepth; ++Depth) {
    if (Child->IsRoot() || Child->Parent == 0 || Child->Count == 0) return;
    TPage* P = FetchPage(*Owner, Cursor, Slot, Child->Parent);
    int Pos = P->FindChild(Child->Offset);
    if (Pos == 0 || P == Child || P == this) {
      Owner->ReleasePage(P);
      Owner->PageCorrupt();
    }
    P->SetKeyAt(Pos, Child->KeyAt(1));
    if (Held.Page) Owner->ReleasePage(Held.Page);
    Held.Page = P;
    if (Pos != 1) return;
    Child = P;
  }
  Owner->PageCorrupt();
}

int64_t TPage::KeysBefore(int Pos) const {
  if (IsLeaf()) return Pos - 1;
  // Every descent counts the keys before its path. An empty page (read from a damaged file) has no
  // entry buffer at all, so no entry address is formed for it.
  const int Last = std::min(Pos - 1, Count);
  if (Last < 1) return 0;
  int64_t N = 0;
  for (int I = 1; I <= Last; ++I) N += CountAt(I);
  return N;
}

int64_t TPage::TotalKeys() const { return IsLeaf() ? Count : KeysBefore(Count + 1); }

int64_t TPage::SeekOrdinal(int64_t Ordinal) {
  if (Count == 0) Owner->PageCorrupt();
  if (IsLeaf()) {
    ReadPos = static_cast<int>(std::clamp<int64_t>(Ordinal, 1, Count));
    return 1;
  }
  for (int I = 1; I <= Count; ++I) {
    int64_t C = CountAt(I);
    if (Ordinal <= C || I == Count) {
      ReadPos = I;
      return Ordinal;
    }
    Ordinal -= C;
  }
  return Ordinal;
}

int TPage::CountConsecutiveRecords(bool Forward, int Max) const {
  if (Count == 0) Owner->PageCorrupt();
  int N = 1;
  int Pos = WritePos;
  while (N < Max) {
    int NextPos = Forward ? Pos + 1 : Pos - 1;
    if (NextPos < 1 || NextPos > Count) break;
    uint32_t Expected = Forward ? ChildAt(Pos) + 1 : ChildAt(Pos) - 1;
    if (ChildAt(NextPos) != Expected) break;
    Pos = NextPos;
    ++N;
  }
  return N;
}

bool TPage::NextInBitmap(const TRecordsBitmap& Bitmap) {
  for (int I = ReadPos + 1; I <= Count; ++I) {
    uint32_t R = ChildAt(I);
    if (R >= 1 && static_cast<int64_t>(R) <= Bitmap.RecordCount && Bitmap.GetBit(static_cast<int32_t>(R))) {
      ReadPos = I;
      return true;
    }
  }
  return false;
}

bool TPage::PriorInBitmap(const TRecordsBitmap& Bitmap) {
  for (int I = ReadPos - 1; I >= 1; --I) {
    uint32_t R = ChildAt(I);
    if (R >= 1 && static_cast<int64_t>(R) <= Bitmap.RecordCount && Bitmap.GetBit(static_cast<int32_t>(R))) {
      ReadPos = I;
      return true;
    }
  }
  return false;
}

bool TPage::CollectUpTo(TDataCursor* Cursor, const uint8_t* Key, TRecordsBitmap& Bitmap) {
  const TWalkCompare Compare(*Owner, Cursor, Slot);
  for (int I = std::max(ReadPos, 1); I <= Count; ++I) {
    if (Compare(*this, KeyAt(I), Key, KeyLength) > 0) {
      ReadPos = I;
      return false;
    }
    uint32_t R = ChildAt(I);
    if (R >= 1 && static_cast<int64_t>(R) <= Bitmap.RecordCount) Bitmap.SetBit(static_cast<int32_t>(R));
  }
  ReadPos = Count;
  return true;
}

void TPage::InsertEntry(TDataCursor* Cursor, const uint8_t* Key, uint32_t RecordOrChild, uint32_t SubtreeCount) {
  if (!ShapeValid()) Owner->PageCorrupt();
  Reserve(Count + 1);
  WritePos = std::clamp(WritePos, 1, Count + 1);
  const int ES = EntrySize();
  uint8_t* D = KeyAt(WritePos);
  memmove(D + ES, D, static_cast<size_t>(Count - WritePos + 1) * ES);
  memset(D, 0, static_cast<size_t>(ES));
  memcpy(D, Key, static_cast<size_t>(KeyLength));
  StoreU32(D + KeyLength, RecordOrChild);
  StoreU32(D + KeyLength + 4, IsLeaf() ? 1u : SubtreeCount);
  ++Count;
  Recompress();
  MarkModified();
  if (WritePos == 1 && Parent != 0 && !IsRoot()) PropagateFirstKey(Cursor);
  if (Overflows()) Split(Cursor);
}

void TPage::Split(TDataCursor* Cursor) {
  const bool WasRoot = IsRoot();
  const bool Leaf = IsLeaf();
  const int N = Count;
  const int Keep = N - N / 2;
  TPageHold Q(Owner, Owner->AllocatePage(Cursor, Slot));
  CheckDistinct(Q.Page);
  Q->Kind = Leaf ? pkLeaf : pkNode;
  Kind = Q->Kind;
  MoveEntries(*this, Keep + 1, N - Keep, *Q.Page, 1);
  // Link Q between this page and its right neighbour.
  Q->Left = Offset;
  Q->Right = Right;
  if (Right != 0) {
    TPageHold R(Owner, FetchPage(*Owner, Cursor, Slot, Right));
    CheckDistinct(R.Page);
    if (R.Page == Q.Page) Owner->PageCorrupt();
    R->Left = Q->Offset;
    R->MarkModified();
  }
  Right = Q->Offset;
  Q->Parent = Parent;
  Recompress();
  Q->Recompress();
  if (IsCompressedLeaf()) {
    while (CompressedSize > kIndexPageDataSize && Count > 1) {
      MoveEntries(*this, Count, 1, *Q.Page, 1);
      Recompress();
      Q->Recompress();
    }
    while (Q->CompressedSize > kIndexPageDataSize && Q->Count > 1) {
      MoveEntries(*Q.Page, 1, 1, *this, Count + 1);
      Recompress();
      Q->Recompress();
    }
    if (CompressedSize > kIndexPageDataSize || Q->CompressedSize > kIndexPageDataSize) Owner->PageCorrupt();
  }
  MarkModified();
  Q->MarkModified();
  if (WasRoot) {
    TPageHold R(Owner, Owner->AllocatePage(Cursor, Slot));
    R->Kind = pkRootNode;
    R->Parent = 0;
    R->WritePos = 1;
    R->InsertEntry(Cursor, KeyAt(1), Offset, static_cast<uint32_t>(TotalKeys()));
    R->WritePos = 2;
    R->InsertEntry(Cursor, Q->KeyAt(1), Q->Offset, static_cast<uint32_t>(Q->TotalKeys()));
    Owner->SetRootPage(Slot, R->Offset);
    Parent = R->Offset;
    Q->Parent = R->Offset;
    return;
  }
  TPageHold P(Owner, FetchParent(Cursor));
  CheckDistinct(P.Page);
  if (P.Page == Q.Page) Owner->PageCorrupt();
  int Pos = P->FindChild(Offset);
  if (Pos == 0) Owner->PageCorrupt();
  P->SetCountAt(Pos, static_cast<uint32_t>(TotalKeys()));
  P->WritePos = Pos + 1;
  P->InsertEntry(Cursor, Q->KeyAt(1), Q->Offset, static_cast<uint32_t>(Q->TotalKeys()));
}

void TPage::DeleteEntry(TDataCursor* Cursor) {
  if (Count == 0) Owner->PageCorrupt();
  WritePos = std::clamp(WritePos, 1, Count);
  const bool WasFirst = WritePos == 1;
  const int ES = EntrySize();
  uint8_t* D = KeyAt(WritePos);
  memmove(D, D + ES, static_cast<size_t>(Count - WritePos) * ES);
  --Count;
  if (WritePos > Count) WritePos = std::max(Count, 1);
  Recompress();
  MarkModified();
  if (Count > 0 && WasFirst) PropagateFirstKey(Cursor);

  if (IsRoot()) {
    if (Kind == pkRootNode && Count == 1) {
      // The single child becomes the root.
      TPageHold C(Owner, FetchPage(*Owner, Cursor, Slot, ChildAt(1)));
      CheckDistinct(C.Page);
      if (C->IsRoot()) Owner->PageCorrupt();
      C->Kind = C->IsLeaf() ? pkRootLeaf : pkRootNode;
      C->Parent = 0;
      C->Left = 0;
      C->Right = 0;
      C->Recompress();
      C->MarkModified();
      Owner->SetRootPage(Slot, C->Offset);
      Count = 0;
      Owner->PushFreePage(Slot, this);
    } else if (Count == 0) {
      Owner->PushFreePage(Slot, this);
      Owner->SetRootPage(Slot, 0);
    }
    return;
  }
  if (IsCompressedLeaf()) {
    if (Count > 0) return;
    // An empty compressed leaf leaves the tree.
    TPageHold P(Owner, FetchParent(Cursor));
    CheckDistinct(P.Page);
    int Pos = P->FindChild(Offset);
    if (Pos == 0) Owner->PageCorrupt();
    if (Left != 0) {
      TPageHold L(Owner, FetchPage(*Owner, Cursor, Slot, Left));
      L->Right = Right;
      L->MarkModified();
    }
    if (Right != 0) {
      TPageHold R(Owner, FetchPage(*Owner, Cursor, Slot, Right));
      R->Left = Left;
      R->MarkModified();
    }
    Parent = Left = Right = 0;
    Owner->PushFreePage(Slot, this);
    P->WritePos = Pos;
    P->DeleteEntry(Cursor);
    return;
  }
  if (Count >= MinimumFill()) return;
  HandleUnderflow(Cursor);
}

void TPage::HandleUnderflow(TDataCursor* Cursor) {
  TPageHold P(Owner, FetchParent(Cursor));
  CheckDistinct(P.Page);
  const int Pos = P->FindChild(Offset);
  if (Pos == 0) Owner->PageCorrupt();
  // The left sibling, unless this page is its parent's first child: then the right one.
  const bool UseLeft = Pos > 1;
  if (!UseLeft && P->Count < 2) Owner->PageCorrupt();
  const uint32_t SOff = P->ChildAt(UseLeft ? Pos - 1 : Pos + 1);
  if (SOff == 0 || SOff != (UseLeft ? Left : Right)) Owner->PageCorrupt();
  TPageHold S(Owner, FetchPage(*Owner, Cursor, Slot, SOff));
  CheckDistinct(S.Page);
  if (S.Page == P.Page || S->IsLeaf() != IsLeaf() || S->IsRoot()) Owner->PageCorrupt();
  S->Parent = Parent;
  if (Capacity() > Count + S->Count) {
    // This page goes: its entries join the sibling, which takes its place in the sibling chain.
    TPage& Survivor = *S.Page;
    MoveEntries(*this, 1, Count, Survivor, UseLeft ? Survivor.Count + 1 : 1);
    const uint32_t Beyond = UseLeft ? Right : Left;
    (UseLeft ? Survivor.Right : Survivor.Left) = Beyond;
    if (Beyond != 0) {
      TPageHold N(Owner, FetchPage(*Owner, Cursor, Slot, Beyond));
      (UseLeft ? N->Left : N->Right) = Survivor.Offset;
      N->MarkModified();
    }
    Survivor.Recompress();
    Survivor.MarkModified();
    const int SPos = UseLeft ? Pos - 1 : Pos + 1;
    if (!UseLeft) P->SetKeyAt(SPos, Survivor.KeyAt(1));
    P->SetCountAt(SPos, static_cast<uint32_t>(Survivor.TotalKeys()));
    Parent = Left = Right = 0;
    Owner->PushFreePage(Slot, this);
    P->WritePos = Pos;
    P->DeleteEntry(Cursor);
    return;
  }
  // Redistribution in key order: a left sibling keeps the larger half, a right sibling takes it.
  TPage& Lower = UseLeft ? *S.Page : *this;
  TPage& Upper = UseLeft ? *this : *S.Page;
  const int PosLo = UseLeft ? Pos - 1 : Pos;
  const int T = Lower.Count + Upper.Count;
  const int Keep = UseLeft ? (T + 1) / 2 : T / 2;
  if (Lower.Count > Keep)
    MoveEntries(Lower, Keep + 1, Lower.Count - Keep, Upper, 1);
  else if (Lower.Count < Keep)
    MoveEntries(Upper, 1, Keep - Lower.Count, Lower, Lower.Count + 1);
  Lower.Recompress();
  Upper.Recompress();
  Lower.MarkModified();
  Upper.MarkModified();
  P->SetKeyAt(PosLo + 1, Upper.KeyAt(1));
  P->SetCountAt(PosLo, static_cast<uint32_t>(Lower.TotalKeys()));
  P->SetCountAt(PosLo + 1, static_cast<uint32_t>(Upper.TotalKeys()));
}

// ---- TPageStack ----------------------------------------------------------------------------------

TPageStack::~TPageStack() {
  for (TPage* P : FFree) delete P;
}

TPage* TPageStack::Pop() {
  TPage* P;
  if (FFree.empty()) {
    P = new TPage();
  } else {
    P = FFree.back();
    FFree.pop_back();
  }
  P->Reset();
  P->RefCount = 0;
  P->MruPrev = P->MruNext = nullptr;
  P->KeptAt = -1;
  P->Used = false;
  P->Serial = 0;
  return P;
}

void TPageStack::Push(TPage* Page) {
  if (!Page) return;
  if (FFree.size() >= 4095) {
    delete Page;
    return;
  }
  FFree.push_back(Page);
}

// ---- Tree walks ----------------------------------------------------------------------------------

namespace {

// The pages from the root to a leaf, each referenced until the walk ends.
struct TTreePath {
  TPageStore& Store;
  std::vector<TPage*> Pages;
  std::vector<int> Positions;  // entry taken in each node
  explicit TTreePath(TPageStore& S) : Store(S) {
    // Room for the depth of any usual tree at once.
    Pages.reserve(8);
    Positions.reserve(8);
  }
  TTreePath(const TTreePath&) = delete;
  TTreePath& operator=(const TTreePath&) = delete;
  ~TTreePath() {
    for (TPage*& P : Pages) Store.ReleasePage(P);
  }
  TPage* Leaf() const { return Pages.back(); }
};

// Descends from the root to the leaf that holds (or would hold) Key, or with no key to the last
// leaf. False for an empty tree.
bool Descend(TPageStore& Store, TDataCursor* Cursor, int Slot, const uint8_t* Key, TTreePath& Path) {
  uint32_t Root = Store.RootPage(Slot);
  if (Root == 0) return false;
  TPage* P = FetchPage(Store, Cursor, Slot, Root);
  Path.Pages.push_back(P);
  if (!P->IsRoot()) Store.PageCorrupt();
  P->Parent = 0;
  while (!P->IsLeaf()) {
    if (static_cast<int>(Path.Pages.size()) > kMaxTreeDepth || P->Count == 0) Store.PageCorrupt();
    if (Key)
      P->FindKey(Cursor, Key, P->KeyLength);
    else
      P->ReadPos = P->Count;
    const int Pos = P->ReadPos;
    Path.Positions.push_back(Pos);
    TPage* C = FetchPage(Store, Cursor, Slot, P->ChildAt(Pos));
    Path.Pages.push_back(C);
    // A page met twice on one path means a cycle.
    for (size_t I = 0; I + 1 < Path.Pages.size(); ++I)
      if (Path.Pages[I] == C) Store.PageCorrupt();
    if (C->IsRoot()) Store.PageCorrupt();
    C->Parent = P->Offset;
    P = C;
  }
  return true;
}

}  // namespace

bool IndexInsertKey(TPageStore& Store, TDataCursor* Cursor, int Slot, const uint8_t* Key, uint32_t RecordNumber) {
  TTreePath Path(Store);
  if (!Descend(Store, Cursor, Slot, Key, Path)) {
    TPageHold P(&Store, Store.AllocatePage(Cursor, Slot));
    P->Kind = pkRootLeaf;
    P->Parent = P->Left = P->Right = 0;
    Store.SetRootPage(Slot, P->Offset);
    P->WritePos = 1;
    P->InsertEntry(Cursor, Key, RecordNumber, 1);
    return true;
  }
  TPage* L = Path.Leaf();
  int Pos = 0;
  if (L->Count > 0) {
    if (L->FindKey(Cursor, Key, L->KeyLength)) return false;
    Pos = L->FindInsertPosition(Cursor, Key, L->KeyLength);
  }
  for (size_t I = 0; I < Path.Positions.size(); ++I) {
    TPage* N = Path.Pages[I];
    N->SetCountAt(Path.Positions[I], N->CountAt(Path.Positions[I]) + 1);
  }
  L->WritePos = Pos + 1;
  L->InsertEntry(Cursor, Key, RecordNumber, 1);
  return true;
}

size_t IndexAppendKeys(TPageStore& Store, TDataCursor* Cursor, int Slot, const uint8_t* Keys,
                       const uint32_t* RecordNumbers, size_t Count) {
  size_t I = 0;
  while (I < Count) {
    TTreePath Path(Store);
    if (!Descend(Store, Cursor, Slot, nullptr, Path)) {
      // An empty tree gets its root leaf from the ordinary insert.
      if (!IndexInsertKey(Store, Cursor, Slot, Keys, RecordNumbers[I])) return I;
      ++I;
      continue;
    }
    TPage* L = Path.Leaf();
    const size_t KL = static_cast<size_t>(L->KeyLength);
    // The keys after the last one go onto the end of the last leaf, without a search, until the
    // leaf splits and the right edge of the tree moves.
    while (I < Count && L->Right == 0) {
      const uint8_t* K = Keys + I * KL;
      if (L->Count > 0 && Store.CompareKeys(Cursor, *L, L->KeyAt(L->Count), K, L->KeyLength) >= 0) {
        if (!IndexInsertKey(Store, Cursor, Slot, K, RecordNumbers[I])) return I;
        ++I;
        break;
      }
      for (size_t N = 0; N < Path.Positions.size(); ++N) {
        TPage* P = Path.Pages[N];
        P->SetCountAt(Path.Positions[N], P->CountAt(Path.Positions[N]) + 1);
      }
      L->WritePos = L->Count + 1;
      L->InsertEntry(Cursor, K, RecordNumbers[I], 1);
      ++I;
    }
  }
  return Count;
}

bool IndexDeleteKey(TPageStore& Store, TDataCursor* Cursor, int Slot, const uint8_t* Key) {
  TTreePath Path(Store);
  if (!Descend(Store, Cursor, Slot, Key, Path)) return false;
  TPage* L = Path.Leaf();
  if (L->Count == 0 || !L->FindKey(Cursor, Key, L->KeyLength)) return false;
  for (size_t I = 0; I < Path.Positions.size(); ++I) {
    TPage* N = Path.Pages[I];
    uint32_t C = N->CountAt(Path.Positions[I]);
    if (C == 0) Store.PageCorrupt();
    N->SetCountAt(Path.Positions[I], C - 1);
  }
  L->WritePos = L->ReadPos;
  L->DeleteEntry(Cursor);
  return true;
}

bool IndexFindKey(TPageStore& Store, TDataCursor* Cursor, int Slot, const uint8_t* Key, uint32_t& RecordNumber,
                  int64_t& Ordinal) {
  Ordinal = 0;
  RecordNumber = 0;
  TTreePath Path(Store);
  if (!Descend(Store, Cursor, Slot, Key, Path)) return false;
  for (size_t I = 0; I < Path.Positions.size(); ++I) Ordinal += Path.Pages[I]->KeysBefore(Path.Positions[I]);
  TPage* L = Path.Leaf();
  if (L->Count == 0) return false;
  if (L->FindKey(Cursor, Key, L->KeyLength)) {
    RecordNumber = L->ReadChild();
    Ordinal += L->ReadPos;
    return true;
  }
  Ordinal += L->FindInsertPosition(Cursor, Key, L->KeyLength);
  return false;
}

const uint8_t* TIndexPosition::Key() const { return Leaf->ReadKey(); }
uint32_t TIndexPosition::RecordNumber() const { return Leaf->ReadChild(); }

void IndexRelease(TPageStore& Store, TIndexPosition& Pos) {
  if (Pos.Leaf) Store.ReleasePage(Pos.Leaf);
  Pos.Leaf = nullptr;
}

bool IndexSeekKey(TPageStore& Store, TDataCursor* Cursor, int Slot, const uint8_t* Key, int Length,
                  TIndexPosition& Pos) {
  IndexRelease(Store, Pos);
  Pos.Ordinal = 1;
  const uint32_t Root = Store.RootPage(Slot);
  if (Root == 0) return false;
  TPageHold P(&Store, FetchPage(Store, Cursor, Slot, Root));
  if (!P->IsRoot()) Store.PageCorrupt();
  const TWalkCompare Compare(Store, Cursor, Slot);
  int64_t Before = 0;
  for (int Depth = 0; !P->IsLeaf(); ++Depth) {
    if (Depth > kMaxTreeDepth || P->Count == 0) Store.PageCorrupt();
    // The last entry below the key: equal keys may begin in the child before an equal entry.
    int Lo = 1, Hi = P->Count, At = 1;
    while (Lo <= Hi) {
      const int Mid = (Lo + Hi) / 2;
      if (Compare(*P.Page, P->KeyAt(Mid), Key, Length) < 0) {
        At = Mid;
        Lo = Mid + 1;
      } else {
        Hi = Mid - 1;
      }
    }
    Before += P->KeysBefore(At);
    TPage* C = FetchPage(Store, Cursor, Slot, P->ChildAt(At));
    Store.ReleasePage(P.Page);
    P.Page = C;
    if (P->IsRoot()) Store.PageCorrupt();
  }
  // The first leaf entry not below the key.
  int Lo = 1, Hi = P->Count, At = P->Count + 1;
  while (Lo <= Hi) {
    const int Mid = (Lo + Hi) / 2;
    if (Compare(*P.Page, P->KeyAt(Mid), Key, Length) >= 0) {
      At = Mid;
      Hi = Mid - 1;
    } else {
      Lo = Mid + 1;
    }
  }
  Pos.Ordinal = Before + At;
  if (At <= P->Count) {
    P->ReadPos = At;
    Pos.Leaf = P.Page;
    P.Page = nullptr;
    return true;
  }
  // Beyond this leaf: the first entry of the next one, if any. Beyond every key, the keys are
  // counted (only then).
  if (P->Right == 0 || P->Count == 0) {
    Pos.Ordinal = IndexKeyCount(Store, Cursor, Slot) + 1;
    return false;
  }
  TPage* R = FetchNeighbourLeaf(Store, Cursor, Slot, P->Right, P.Page);
  R->ReadPos = 1;
  Pos.Leaf = R;
  return true;
}

bool IndexSeekOrdinal(TPageStore& Store, TDataCursor* Cursor, int Slot, int64_t Ordinal, TIndexPosition& Pos) {
  IndexRelease(Store, Pos);
  const uint32_t Root = Store.RootPage(Slot);
  if (Root == 0 || Ordinal < 1) return false;
  TPageHold P(&Store, FetchPage(Store, Cursor, Slot, Root));
  if (!P->IsRoot()) Store.PageCorrupt();
  if (Ordinal > P->TotalKeys()) return false;
  Pos.Ordinal = Ordinal;
  for (int Depth = 0; !P->IsLeaf(); ++Depth) {
    if (Depth > kMaxTreeDepth) Store.PageCorrupt();
    Ordinal = P->SeekOrdinal(Ordinal);
    TPage* C = FetchPage(Store, Cursor, Slot, P->ReadChild());
    Store.ReleasePage(P.Page);
    P.Page = C;
    if (P->IsRoot()) Store.PageCorrupt();
  }
  if (Ordinal > P->Count) Store.PageCorrupt();
  P->SeekOrdinal(Ordinal);
  Pos.Leaf = P.Page;
  P.Page = nullptr;
  return true;
}

bool IndexStep(TPageStore& Store, TDataCursor* Cursor, int Slot, TIndexPosition& Pos, bool Forward) {
  TPage* L = Pos.Leaf;
  if (!L) return false;
  if (Forward ? L->ReadPos < L->Count : L->ReadPos > 1) {
    L->ReadPos += Forward ? 1 : -1;
    Pos.Ordinal += Forward ? 1 : -1;
    return true;
  }
  const uint32_t Next = Forward ? L->Right : L->Left;
  if (Next == 0) return false;
  TPage* N = FetchNeighbourLeaf(Store, Cursor, Slot, Next, L);
  N->ReadPos = Forward ? 1 : N->Count;
  Store.ReleasePage(Pos.Leaf);
  Pos.Leaf = N;
  Pos.Ordinal += Forward ? 1 : -1;
  return true;
}

bool IndexKeyAtOrdinal(TPageStore& Store, TDataCursor* Cursor, int Slot, int64_t Ordinal, uint8_t* Key,
                       uint32_t& RecordNumber) {
  TIndexPosition Pos;
  if (!IndexSeekOrdinal(Store, Cursor, Slot, Ordinal, Pos)) return false;
  memcpy(Key, Pos.Key(), static_cast<size_t>(Pos.Leaf->KeyLength));
  RecordNumber = Pos.RecordNumber();
  IndexRelease(Store, Pos);
  return true;
}

int64_t IndexKeyCount(TPageStore& Store, TDataCursor* Cursor, int Slot) {
  uint32_t Root = Store.RootPage(Slot);
  if (Root == 0) return 0;
  TPageHold P(&Store, FetchPage(Store, Cursor, Slot, Root));
  if (!P->IsRoot()) Store.PageCorrupt();
  return P->TotalKeys();
}

namespace {

// Collects the pages of a tree, children before their parent, refusing a page met twice.
void CollectSubtree(TPageStore& Store, TDataCursor* Cursor, int Slot, uint32_t Offset, int Depth,
                    std::vector<uint32_t>& Order, std::unordered_set<uint32_t>& Seen) {
  if (Depth > kMaxTreeDepth || !Seen.insert(Offset).second) Store.PageCorrupt();
  std::vector<uint32_t> Children;
  {
    TPageHold P(&Store, FetchPage(Store, Cursor, Slot, Offset));
    if (!P->IsLeaf())
      for (int I = 1; I <= P->Count; ++I) Children.push_back(P->ChildAt(I));
  }
  for (uint32_t C : Children) CollectSubtree(Store, Cursor, Slot, C, Depth + 1, Order, Seen);
  Order.push_back(Offset);
}

}  // namespace

void IndexFreeTree(TPageStore& Store, TDataCursor* Cursor, int Slot) {
  uint32_t Root = Store.RootPage(Slot);
  if (Root != 0) {
    // The whole tree is walked before anything is freed, so a corrupt tree is left as it was.
    std::vector<uint32_t> Order;
    std::unordered_set<uint32_t> Seen;
    CollectSubtree(Store, Cursor, Slot, Root, 0, Order, Seen);
    for (uint32_t Offset : Order) {
      TPageHold P(&Store, FetchPage(Store, Cursor, Slot, Offset));
      P->Count = 0;
      P->Parent = P->Left = 0;
      Store.PushFreePage(Slot, P.Page);
    }
  }
  Store.SetRootPage(Slot, 0);
}

namespace {

struct TTreeCheck {
  TPageStore& Store;
  TDataCursor* Cursor;
  int Slot;
  int64_t MaxPages;
  TIndexTreeStats Stats;
  std::unordered_set<uint32_t> Seen;
  // Per level: the last page met and its right link.
  std::vector<uint32_t> LastPage, LastRight;
  std::vector<uint8_t> LastLeafKey;
  int LeafDepth = -1;

  [[noreturn]] void Fail() {
    Store.PageCorrupt();
    RaiseEngineError(ecIndexCorrupt);  // a store's PageCorrupt always raises; this only satisfies noreturn
  }

  // Checks the subtree at Offset; returns its key count. FirstKey receives its first key.
  int64_t Visit(uint32_t Offset, int Depth, std::vector<uint8_t>& FirstKey) {
    if (Depth >= kMaxTreeDepth || !Seen.insert(Offset).second || ++Stats.Pages > MaxPages) Fail();
    TPageHold P(&Store, FetchPage(Store, Cursor, Slot, Offset));
    const int KL = P->KeyLength;
    if (P->IsRoot() != (Depth == 0) || P->Count == 0) Fail();
    if (Depth > 0 && P->Count < P->MinimumFill() && !P->IsCompressedLeaf()) Fail();
    if (P->IsCompressedLeaf() ? P->CompressedSize > kIndexPageDataSize : P->Count > P->Capacity()) Fail();
    // Sibling links on this level.
    if (static_cast<int>(LastPage.size()) <= Depth) {
      LastPage.resize(Depth + 1, 0);
      LastRight.resize(Depth + 1, 0);
    }
    if (P->Left != LastPage[Depth] || (LastPage[Depth] != 0 && LastRight[Depth] != Offset)) Fail();
    if (Depth == 0 && P->Right != 0) Fail();
    LastPage[Depth] = Offset;
    LastRight[Depth] = P->Right;
    for (int I = 1; I < P->Count; ++I)
      if (Store.CompareKeys(Cursor, *P.Page, P->KeyAt(I), P->KeyAt(I + 1), KL) >= 0) Fail();
    FirstKey.assign(P->KeyAt(1), P->KeyAt(1) + KL);
    if (P->IsLeaf()) {
      if (LeafDepth < 0) LeafDepth = Depth;
      if (LeafDepth != Depth) Fail();
      if (!LastLeafKey.empty() && Store.CompareKeys(Cursor, *P.Page, LastLeafKey.data(), P->KeyAt(1), KL) >= 0)
        Fail();
      LastLeafKey.assign(P->KeyAt(P->Count), P->KeyAt(P->Count) + KL);
      ++Stats.Leaves;
      return P->Count;
    }
    int64_t Total = 0;
    std::vector<uint8_t> ChildFirst;
    for (int I = 1; I <= P->Count; ++I) {
      const int64_t N = Visit(P->ChildAt(I), Depth + 1, ChildFirst);
      if (N != P->CountAt(I) || memcmp(ChildFirst.data(), P->KeyAt(I), static_cast<size_t>(KL)) != 0) Fail();
      Total += N;
    }
    return Total;
  }
};

}  // namespace

TIndexTreeStats IndexCheckTree(TPageStore& Store, TDataCursor* Cursor, int Slot, int64_t MaxPages) {
  TTreeCheck C{Store, Cursor, Slot, MaxPages, {}, {}, {}, {}, {}};
  const uint32_t Root = Store.RootPage(Slot);
  if (Root == 0) return C.Stats;
  std::vector<uint8_t> First;
  C.Stats.Keys = C.Visit(Root, 0, First);
  for (uint32_t R : C.LastRight)
    if (R != 0) C.Fail();
  C.Stats.Depth = C.LeafDepth + 1;
  return C.Stats;
}
