// The engine's growable pointer list. It never owns what its items point to.
#pragma once

#include <cstdint>
#include <functional>

#include "dbengine/storage/engine_heap.h"

// Signed comparison of two items: negative, 0 or positive.
using TPointerCompare = std::function<int(void* A, void* B)>;

// Sorts Items[Low..High] in place. Not stable: equal items come out in the order this exact
// partitioning scheme gives, and callers (the character maps) depend on that order.
void QuickSortPointers(void** Items, int Low, int High, const TPointerCompare& Compare);

class TSystemList : public TEngineObject {
 public:
  TSystemList() = default;
  TSystemList(const TSystemList&) = delete;
  TSystemList& operator=(const TSystemList&) = delete;
  virtual ~TSystemList();

  void** Items = nullptr;  // engine-heap array, nullptr while Capacity is 0
  int Count = 0;
  int Capacity = 0;

  int Add(void* Item);                 // index of the new last item
  void Insert(int Index, void* Item);  // moves Index.. up by one
  void Delete(int Index);              // moves the following items down; the item is not freed
  void Exchange(int I, int J);
  void* Get(int Index) const { return Items[Index]; }  // no bounds check
  void Put(int Index, void* Item) { Items[Index] = Item; }
  void* First() const { return Get(0); }
  void* Last() const { return Get(Count - 1); }
  int IndexOf(const void* Item) const;  // -1 when absent
  // Capacity raised to Other's when smaller, Other's whole array copied, Count := Other.Count.
  void Assign(const TSystemList& Other);
  void SetCapacity(int N);  // 0 frees the array; new slots are zero
  void SetCount(int N);     // grows the capacity when needed, zero-fills new slots
  void Clear();             // Count 0, array freed
  void Sort(const TPointerCompare& Compare);

 protected:
  // Called by Add and Insert when the list is full: +4 up to 8, +16 up to 64, then +25 %.
  virtual void Grow();
};
