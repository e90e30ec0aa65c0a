#include "dbengine/storage/system_list.h"

#include <cstring>
#include <utility>

void QuickSortPointers(void** Items, int Low, int High, const TPointerCompare& Compare) {
  int L = Low;
  const int R = High;
  int I, J;
  do {
    I = L;
    J = R;
    void* P = Items[L + (R - L) / 2];
    do {
      while (Compare(Items[I], P) < 0) ++I;
      while (Compare(Items[J], P) > 0) --J;
      if (I <= J) {
        std::swap(Items[I], Items[J]);
        ++I;
        --J;
      }
    } while (I <= J);
    if (L < J) QuickSortPointers(Items, L, J, Compare);
    L = I;
  } while (I < R);
}

TSystemList::~TSystemList() { Clear(); }

void TSystemList::Grow() {
  int Delta = Capacity > 64 ? Capacity / 4 : (Capacity > 8 ? 16 : 4);
  SetCapacity(Capacity + Delta);
}

int TSystemList::Add(void* Item) {
  if (Count == Capacity) Grow();
  Items[Count] = Item;
  return Count++;
}

void TSystemList::Insert(int Index, void* Item) {
  if (Count == Capacity) Grow();
  if (Index < Count) memmove(Items + Index + 1, Items + Index, sizeof(void*) * static_cast<size_t>(Count - Index));
  Items[Index] = Item;
  ++Count;
}

void TSystemList::Delete(int Index) {
  --Count;
  if (Index < Count) memmove(Items + Index, Items + Index + 1, sizeof(void*) * static_cast<size_t>(Count - Index));
  Items[Count] = nullptr;
}

void TSystemList::Exchange(int I, int J) { std::swap(Items[I], Items[J]); }

int TSystemList::IndexOf(const void* Item) const {
  for (int I = 0; I < Count; ++I)
    if (Items[I] == Item) return I;
  return -1;
}

void TSystemList::Assign(const TSystemList& Other) {
  if (Capacity < Other.Capacity) SetCapacity(Other.Capacity);
  if (Other.Capacity > 0) memcpy(Items, Other.Items, sizeof(void*) * static_cast<size_t>(Other.Capacity));
  Count = Other.Count;
}

void TSystemList::SetCapacity(int N) {
  if (N <= 0) {
    EngineFree(Items);
    Capacity = 0;
    return;
  }
  intptr_t Bytes = static_cast<intptr_t>(sizeof(void*)) * N;
  Items = static_cast<void**>(Items ? EngineRealloc(Items, Bytes) : EngineAlloc(Bytes));
  Capacity = N;
}

void TSystemList::SetCount(int N) {
  if (N > Capacity) SetCapacity(N);
  if (N > Count) memset(Items + Count, 0, sizeof(void*) * static_cast<size_t>(N - Count));
  Count = N;
}

void TSystemList::Clear() {
  Count = 0;
  SetCapacity(0);
}

void TSystemList::Sort(const TPointerCompare& Compare) {
  if (Items && Count > 0) QuickSortPointers(Items, 0, Count - 1, Compare);
}
