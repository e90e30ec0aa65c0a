// The item cache that the data and BLOB files share: cached items (records or blocks) in a list
// sorted by their key (record number or block offset) and in a most-recently-used chain whose
// first four entries are probed before the binary search. A pinned item is held by a cursor; a
// modified one waits for the write-back. While a read is placing its items, the window of keys it
// read is kept: a write-back it triggers skips them, and they are not reused for each other.
// Free item objects are pooled. Inside a transaction nothing is written back, so the modified items
// pile up at the old end of the chain; the search for a reusable item remembers how far from that
// end every item is known to be modified and starts behind them, until one of them is cleaned,
// moved or dropped.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

// Bytes one read-ahead reads at the most.
constexpr int kReadAheadBytes = 65535;
// Entries added to a full cache inside a transaction, where nothing may be written.
constexpr int kCacheGrowth = 255;

// Pool of free item objects; at most Limit are kept, the rest are freed.
template <class TItem, int Limit>
class TItemPool {
 public:
  TItemPool() = default;
  TItemPool(const TItemPool&) = delete;
  TItemPool& operator=(const TItemPool&) = delete;
  ~TItemPool() { Clear(); }
  TItem* Pop() {
    if (FFree.empty()) return new TItem();
    TItem* I = FFree.back();
    FFree.pop_back();
    return I;
  }
  void Push(TItem* I) {
    if (static_cast<int>(FFree.size()) >= Limit) {
      delete I;
      return;
    }
    FFree.push_back(I);
  }
  void Clear() {
    for (TItem* I : FFree) delete I;
    FFree.clear();
  }
  int Size() const { return static_cast<int>(FFree.size()); }

 private:
  std::vector<TItem*> FFree;
};

// TItem has the fields Cached, Modified, PinCount, DirtyMark, MruPrev and MruNext; Key names its
// key field.
template <class TItem, uint32_t TItem::*Key, int PoolLimit>
class TItemCache {
 public:
  TItemCache() = default;
  TItemCache(const TItemCache&) = delete;
  TItemCache& operator=(const TItemCache&) = delete;
  ~TItemCache() {
    Clear();
    FreeOrphans();
  }

  // By key. A double-ended queue: a scan reads records in key order and so drops its oldest ones
  // from the front, which a vector would pay for by moving all the others.
  std::deque<TItem*> Sorted;
  TItemPool<TItem, PoolLimit> Pool;
  // Keys of the read that is placing its items; 0 when none.
  uint32_t WindowFirst = 0, WindowLast = 0;

  int Count() const { return static_cast<int>(Sorted.size()); }
  bool InWindow(uint32_t K) const { return WindowFirst != 0 && K >= WindowFirst && K <= WindowLast; }
  // Modified, unpinned and outside the running read: ready to be written.
  bool Writable(const TItem* I) const { return I->Modified && I->PinCount == 0 && !InWindow(I->*Key); }

  TItem* Find(uint32_t K) {
    TItem* P = FHead;
    for (int N = 0; N < 4 && P != nullptr; ++N, P = P->MruNext)
      if (P->*Key == K) return P;
    return FindSorted(K);
  }
  TItem* FindSorted(uint32_t K) {
    // A scan asks for the item after the one it found last: that place is tried first.
    if (FNext < Sorted.size() && Sorted[FNext]->*Key == K) return Sorted[FNext++];
    auto It = LowerBound(K);
    if (It == Sorted.end() || (*It)->*Key != K) return nullptr;
    FNext = static_cast<size_t>(It - Sorted.begin()) + 1;
    return *It;
  }
  void Insert(TItem* I) {
    Sorted.insert(LowerBound(I->*Key), I);
    I->Cached = true;
    PushFront(I);
  }
  void Remove(TItem* I) {
    if (!Sorted.empty() && Sorted.back() == I) {
      Sorted.pop_back();  // a trim takes the items from the end
    } else {
      auto It = LowerBound(I->*Key);
      while (It != Sorted.end() && *It != I && (*It)->*Key == I->*Key) ++It;
      if (It != Sorted.end() && *It == I) Sorted.erase(It);
    }
    Unlink(I);
    I->Cached = false;
  }
  // Moves an item to the front of the most-recently-used chain.
  void Touch(TItem* I) {
    Unlink(I);
    PushFront(I);
  }
  // The least recently used item that is neither modified, pinned nor just read, out of the cache.
  // With SkipDirtyTail the items at the old end known to be modified are not looked at again.
  TItem* TakeReusable(bool SkipDirtyTail = false) {
    TItem* P = FTail;
    bool Extend = SkipDirtyTail;
    if (SkipDirtyTail && FDirtyEdge != nullptr) P = FDirtyEdge->MruPrev;
    for (; P != nullptr; P = P->MruPrev) {
      if (P->Modified || P->PinCount != 0 || InWindow(P->*Key)) {
        // The run of modified items from the old end grows while no other item came between.
        if (Extend && P->Modified && P->MruNext == FDirtyEdge) {
          P->DirtyMark = FDirtyMark;
          FDirtyEdge = P;
        } else {
          Extend = false;
        }
        continue;
      }
      Remove(P);
      return P;
    }
    return nullptr;
  }
  // Forgets the run of items known to be modified (one of them may have been cleaned).
  void DropDirtyTail() {
    FDirtyEdge = nullptr;
    ++FDirtyMark;
  }
  void Recycle(TItem* I) {
    I->Modified = false;
    I->PinCount = 0;
    I->Cached = false;
    Pool.Push(I);
  }
  // Unpins an item; one dropped from the cache while pinned is recycled with its last pin.
  void Release(TItem* I) {
    if (I->PinCount > 0) --I->PinCount;
    if (I->Cached || I->PinCount != 0) return;
    auto It = std::find(FOrphans.begin(), FOrphans.end(), I);
    if (It != FOrphans.end()) FOrphans.erase(It);
    Recycle(I);
  }
  // Forgets every item; those still pinned wait for their release.
  void Clear() {
    for (TItem* I : Sorted) {
      I->MruPrev = I->MruNext = nullptr;
      I->Cached = false;
      if (I->PinCount == 0)
        Recycle(I);
      else
        FOrphans.push_back(I);
    }
    Sorted.clear();
    FHead = FTail = nullptr;
    DropDirtyTail();
  }
  // Items still pinned when their file closes can no longer be used.
  void FreeOrphans() {
    for (TItem* I : FOrphans) delete I;
    FOrphans.clear();
  }
  // A free item object for a new entry: from the pool below Capacity, else the least recently used
  // reusable item. When there is none, Flush runs (outside a transaction) and the search repeats;
  // inside a transaction the capacity grows by Growth instead. nullptr when the cache is exhausted.
  template <class F>
  TItem* Obtain(int& Capacity, bool InTransaction, int Growth, F&& Flush) {
    if (Count() < Capacity) return Pool.Pop();
    TItem* I = TakeReusable(InTransaction);
    if (I == nullptr && !InTransaction) {
      Flush();
      I = TakeReusable();
    }
    if (I == nullptr && InTransaction) {
      Capacity += Growth;
      I = Pool.Pop();
    }
    return I;
  }
  // Returns surplus items from the end of the sorted list to the pool.
  void Trim(int Capacity) {
    for (size_t N = Sorted.size(); N > 0 && static_cast<int>(Sorted.size()) > Capacity; --N) {
      TItem* I = Sorted[N - 1];
      if (I->Modified || I->PinCount != 0) continue;
      Remove(I);
      Recycle(I);
    }
  }
  // Calls Write(First, Count) for each run of writable items whose keys follow each other by Step,
  // then clears their modified flags. Returns the number of items written.
  template <class F>
  int64_t WriteRuns(uint32_t Step, F&& Write) {
    int64_t Written = 0;
    size_t I = 0;
    std::vector<TItem*> Run;
    while (I < Sorted.size()) {
      if (!Writable(Sorted[I])) {
        ++I;
        continue;
      }
      size_t J = I;
      while (J + 1 < Sorted.size() && Writable(Sorted[J + 1]) && Sorted[J + 1]->*Key == Sorted[J]->*Key + Step) ++J;
      size_t N = J - I + 1;
      Run.assign(Sorted.begin() + static_cast<std::ptrdiff_t>(I), Sorted.begin() + static_cast<std::ptrdiff_t>(I + N));
      Write(Run.data(), N);
      for (size_t K = 0; K < N; ++K) Sorted[I + K]->Modified = false;
      DropDirtyTail();
      Written += static_cast<int64_t>(N);
      I = J + 1;
    }
    return Written;
  }

 private:
  std::vector<TItem*> FOrphans;
  size_t FNext = 0;  // the place after the last item found (a hint: the list changes)
  TItem* FHead = nullptr;
  TItem* FTail = nullptr;
  // The newest item of the run at the old end of the chain whose items are all modified (nullptr:
  // none known); the run's items carry the current mark, so that a stale mark never counts.
  TItem* FDirtyEdge = nullptr;
  uint32_t FDirtyMark = 1;

  typename std::deque<TItem*>::iterator LowerBound(uint32_t K) {
    // An item appended to its file (a new record) comes after every key held: no search.
    if (Sorted.empty() || Sorted.back()->*Key < K) return Sorted.end();
    return std::lower_bound(Sorted.begin(), Sorted.end(), K, [](const TItem* I, uint32_t V) { return I->*Key < V; });
  }
  void Unlink(TItem* I) {
    if (FDirtyEdge != nullptr && I->DirtyMark == FDirtyMark) DropDirtyTail();
    if (I->MruPrev != nullptr) I->MruPrev->MruNext = I->MruNext;
    if (I->MruNext != nullptr) I->MruNext->MruPrev = I->MruPrev;
    if (FHead == I) FHead = I->MruNext;
    if (FTail == I) FTail = I->MruPrev;
    I->MruPrev = I->MruNext = nullptr;
  }
  void PushFront(TItem* I) {
    I->MruPrev = nullptr;
    I->MruNext = FHead;
    if (FHead != nullptr) FHead->MruPrev = I;
    FHead = I;
    if (FTail == nullptr) FTail = I;
  }
};
