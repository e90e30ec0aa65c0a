#include "controls/vectors.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "controls/chckfree.h"

namespace {
// Largest block a vector may hold.
const int64_t MaxDataSize = 1073741823;  // 2^30 - 1

int64_t RoundUp4(int64_t N) { return (N + 3) & ~int64_t(3); }
}  // namespace

TVector::TVector(Word AElementSize) : FElementSize(AElementSize) { RegisterObject(this); }

TVector::~TVector() {
  UnregisterObject(this);
  std::free(FData);
}

void TVector::Error(const std::string& Msg) const { throw EVectorError("Class " + ClassName() + ": " + Msg); }

void TVector::Error(const std::string& Msg, int64_t Arg) const {
  if (Msg.find('%') == std::string::npos) Error(Msg);
  Error(Format(Msg, {Arg}));
}

void TVector::ChangeCapacity(int N) {
  if (N < 0) Error("range check error (%d)", N);
  const int64_t NewCap = RoundUp4(N);
  if (NewCap != FCapacity) {
    const int64_t Bytes = NewCap * FElementSize;
    if (Bytes > MaxDataSize) Error("data too large (%d)", Bytes);
    if (Bytes == 0) {
      std::free(FData);
      FData = nullptr;
    } else {
      auto* P = static_cast<uint8_t*>(std::realloc(FData, static_cast<size_t>(Bytes)));
      if (!P) throw EOutOfMemory("Out of memory");
      FData = P;
    }
    FCapacity = static_cast<int>(NewCap);
  }
  // The slots past Count read zero, whether or not the block moved.
  if (FCapacity > FCount) ClearRange(FElementSize * FCount, FCapacity - FCount);
}

void TVector::SetCount(int N) {
  ChangeCapacity(N);
  FCount = N;
}

void TVector::ClearRange(int ByteOffset, int N) {
  if (N > 0 && FData) std::memset(FData + ByteOffset, 0, static_cast<size_t>(N));
}

void TVector::SetCapacity(int N) {
  if (N < FCount) Error("wrong vector size (%d)", N);
  ChangeCapacity(N);
}

void TVector::InsertSpace(int Index) {
  if (Index < 0 || Index > FCount) Error("range check error (%d)", Index);
  if (FCapacity <= FCount) {
    int Step;
    if (FCapacity >= 65)
      Step = FCapacity / 4;
    else if (FCapacity >= 9)
      Step = 16;
    else
      Step = 4;
    ChangeCapacity(FCapacity + Step);
  }
  if (Index < FCount)
    std::memmove(ElementPtr(Index + 1), ElementPtr(Index), static_cast<size_t>(FCount - Index) * FElementSize);
  ++FCount;
}

void TVector::Delete(int Index) {
  if (Index < 0 || Index >= FCount) Error("range check error (%d)", Index);
  --FCount;
  if (Index < FCount)
    std::memmove(ElementPtr(Index), ElementPtr(Index + 1), static_cast<size_t>(FCount - Index) * FElementSize);
  ChangeCapacity(FCount);
}

void TVector::DeleteRange(int Index, int N) {
  if (N <= 0) return;
  if (Index < 0 || static_cast<int64_t>(Index) + N > FCount) Error("range check error (%d)", Index);
  FCount -= N;
  if (Index < FCount)
    std::memmove(ElementPtr(Index), ElementPtr(Index + N), static_cast<size_t>(FCount - Index) * FElementSize);
  ChangeCapacity(FCount);
}

void TVector::Assign(const TVector* Source) {
  if (!Source || Source->FElementSize != FElementSize) Error("assign error");
  if (Source == this) return;
  FCount = Source->FCount;
  ChangeCapacity(FCount);
  if (FCount > 0) std::memcpy(FData, Source->FData, static_cast<size_t>(FCount) * FElementSize);
}

bool TVector::Equals(const TVector* Other) const {
  if (!Other || Other->FCount != FCount) return false;
  // Vectors of different element sizes never hold the same elements (and comparing this
  // vector's byte count would read past the other's block).
  if (Other->FElementSize != FElementSize) return false;
  return FCount == 0 || std::memcmp(FData, Other->FData, static_cast<size_t>(FCount) * FElementSize) == 0;
}

void TVector::SaveToStream(TStream* S) {
  const int32_t C = FCount;
  const uint16_t E = FElementSize;
  S->WriteBuffer(&C, 4);
  S->WriteBuffer(&E, 2);
  if (C > 0) S->WriteBuffer(FData, static_cast<int64_t>(C) * E);
}

void TVector::LoadFromStream(TStream* S) {
  Clear();
  auto ReadExactly = [S](void* Buf, int64_t N) {
    if (S->Read(Buf, N) != N) throw EVStream("Class " + S->ClassName() + ": read after end error");
  };
  int32_t C;
  uint16_t E;
  ReadExactly(&C, 4);
  ReadExactly(&E, 2);
  FElementSize = E;
  if (C > 0) {
    SetCapacity(C);
    ReadExactly(FData, static_cast<int64_t>(C) * E);
    FCount = C;
  } else if (C < 0) {
    Error("range check error (%d)", C);
  }
}

// ---- TSortableVector ------------------------------------------------------------------------------

void TSortableVector::SortAscending(int L, int R) { Sort(L, R, true); }
void TSortableVector::SortDescending(int L, int R) { Sort(L, R, false); }

void TSortableVector::Sort(int L, int R, bool Ascending) {
  std::vector<uint8_t> Pivot(FElementSize);
  int I, J;
  do {
    I = L;
    J = R;
    GetItem((L + R) / 2, Pivot.data());
    do {
      if (Ascending) {
        while (Compare(I, Pivot.data()) < 0) ++I;
        while (Compare(J, Pivot.data()) > 0) --J;
      } else {
        while (Compare(I, Pivot.data()) > 0) ++I;
        while (Compare(J, Pivot.data()) < 0) --J;
      }
      if (I <= J) {
        Exchange(I, J);
        ++I;
        --J;
      }
    } while (I <= J);
    if (L < J) Sort(L, J, Ascending);
    L = I;
  } while (I < R);
}

// ---- TBase32Vector --------------------------------------------------------------------------------

void TBase32Vector::GetItem(int Index, void* Item) const { std::memcpy(Item, ElementPtr(Index), 4); }

// ---- TPointerVector -------------------------------------------------------------------------------

void* TPointerVector::Items(int Index) const {
  if (Index < 0 || Index >= FCount) Error("range check error (%d)", Index);
  void* P;
  std::memcpy(&P, ElementPtr(Index), sizeof P);
  return P;
}

int TPointerVector::Add(void* Item) {
  const int Index = FCount;
  Insert(Index, Item);
  return Index;
}

void TPointerVector::Insert(int Index, void* Item) {
  InsertSpace(Index);
  PutItem(Index, Item);
}

void TPointerVector::PutItem(int Index, void* Item) { std::memcpy(ElementPtr(Index), &Item, sizeof Item); }

void TPointerVector::GetItem(int Index, void* Item) const { std::memcpy(Item, ElementPtr(Index), sizeof(void*)); }

void TPointerVector::ClearRange(int ByteOffset, int N) {
  if (N > 0 && FData) std::memset(FData + ByteOffset, 0, static_cast<size_t>(N) * sizeof(void*));
}

void TPointerVector::SaveToStream(TStream*) { Error("method is not applicable"); }
void TPointerVector::LoadFromStream(TStream*) { Error("method is not applicable"); }

void TPointerVector::Assign(const TVector* Source) {
  if (!dynamic_cast<const TPointerVector*>(Source)) Error("assign error");
  TBase32Vector::Assign(Source);
}

int TPointerVector::Compare(int Index, const void* Item) const {
  intptr_t A, B;
  std::memcpy(&A, ElementPtr(Index), sizeof A);
  std::memcpy(&B, Item, sizeof B);
  return A < B ? -1 : (A > B ? 1 : 0);
}

void TPointerVector::Exchange(int I, int J) {
  if (I < 0 || I >= FCount) Error("range check error (%d)", I);
  if (J < 0 || J >= FCount) Error("range check error (%d)", J);
  void* A;
  void* B;
  GetItem(I, &A);
  GetItem(J, &B);
  PutItem(I, B);
  PutItem(J, A);
}

void TPointerVector::AppendVector(const TPointerVector* Source) {
  const int K = Source->Count();
  const int C = FCount;
  // Read the source's elements before growing, so that appending a vector to itself works.
  std::vector<void*> Items(static_cast<size_t>(K));
  for (int I = 0; I < K; ++I) Source->GetItem(I, &Items[static_cast<size_t>(I)]);
  SetCount(C + K);
  for (int I = 0; I < K; ++I) PutItem(C + I, Items[static_cast<size_t>(I)]);
}
