#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/engine_heap.h"
#include "dbengine/storage/system_list.h"

namespace {

bool AllZero(const void* P, size_t From, size_t To) {
  const unsigned char* B = static_cast<const unsigned char*>(P);
  for (size_t I = From; I < To; ++I)
    if (B[I] != 0) return false;
  return true;
}

TEST(EngineHeap, BlocksStartZeroAndGrowZero) {
  unsigned char* P = static_cast<unsigned char*>(EngineAlloc(64));
  ASSERT_NE(P, nullptr);
  EXPECT_TRUE(AllZero(P, 0, 64));
  memset(P, 0xFF, 64);
  // Shrinking then growing in place would show the old bytes again if the tail were not zeroed.
  P = static_cast<unsigned char*>(EngineRealloc(P, 8));
  P = static_cast<unsigned char*>(EngineRealloc(P, 64));
  EXPECT_EQ(P[7], 0xFF);
  EXPECT_TRUE(AllZero(P, 8, 64));
  P = static_cast<unsigned char*>(EngineRealloc(P, 100000));
  EXPECT_EQ(P[0], 0xFF);
  EXPECT_TRUE(AllZero(P, 8, 100000));
  EXPECT_EQ(EngineBlockSize(P), 100000u);
  EngineFree(P);
  EXPECT_EQ(P, nullptr);
  EngineFree(P);  // nil is ignored
  EXPECT_EQ(EngineAlloc(0), nullptr);
  EXPECT_EQ(EngineAlloc(-5), nullptr);
}

TEST(EngineHeap, ExhaustionRaisesNoMemoryAndKeepsTheOldBlock) {
  try {
    EngineAlloc(INTPTR_MAX / 2);
    FAIL();
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), ecNoMemory);
    EXPECT_EQ(E.Message(),
              "VXDB Engine Error # 11016 There is insufficient operating system memory available for the current operation");
  }
  char* P = static_cast<char*>(EngineAlloc(10));
  strcpy(P, "kept");
  EXPECT_THROW(EngineRealloc(P, INTPTR_MAX / 2), EVXDBEngineError);
  EXPECT_STREQ(P, "kept");
  EngineFree(P);
}

TEST(EngineHeap, ReserveBufferRoundsUpNeverShrinksAndFrees) {
  void* Buf = nullptr;
  intptr_t Cap = 0;
  struct Step { intptr_t Needed; intptr_t Expected; };
  const Step Steps[] = {{1, 1024}, {1024, 1024}, {1025, 2048}, {10, 2048}, {4096, 4096}};
  for (const Step& S : Steps) {
    ReserveBuffer(S.Needed, 1024, Buf, Cap);
    EXPECT_EQ(Cap, S.Expected) << S.Needed;
    EXPECT_GE(EngineBlockSize(Buf), static_cast<size_t>(S.Expected));
  }
  ReserveBuffer(0, 1024, Buf, Cap);
  EXPECT_EQ(Buf, nullptr);
  EXPECT_EQ(Cap, 0);
}

TEST(EngineHeap, TheHeapIsTrimmedOnlyWhenTheReleasedMemoryOutweighsWhatIsInUse) {
  auto Cycle = [] {
    for (int I = 0; I < 1020; ++I) {
      void* P = EngineAlloc(16);
      EngineFree(P);
    }
  };
  // A big release and a full cycle: the heap is trimmed and the released bytes start from zero.
  std::vector<void*> Big;
  for (int I = 0; I < 8; ++I) Big.push_back(EngineAlloc(1 << 20));
  for (void*& P : Big) EngineFree(P);
  Cycle();
  // With 64 MB in use, releasing about 1 MB in small blocks over ten cycles trims nothing.
  std::vector<void*> Kept;
  for (int I = 0; I < 64; ++I) Kept.push_back(EngineAlloc(1 << 20));
  const uint32_t Before = EngineHeapTrims();
  for (int I = 0; I < 10 * 1020; ++I) {
    void* P = EngineAlloc(100);
    EngineFree(P);
  }
  EXPECT_EQ(EngineHeapTrims(), Before);
  // Releasing what was in use trims once, at the end of the cycle.
  for (void*& P : Kept) EngineFree(P);
  Cycle();
  EXPECT_EQ(EngineHeapTrims(), Before + 1);
  // Freeing a cache of 200,000 blocks one by one trims a few times, not once per cycle (196).
  std::vector<void*> Cache;
  for (int I = 0; I < 200000; ++I) Cache.push_back(EngineAlloc(1000));
  const uint32_t Start = EngineHeapTrims();
  for (void*& P : Cache) EngineFree(P);
  Cycle();
  EXPECT_GE(EngineHeapTrims(), Start + 1);
  EXPECT_LE(EngineHeapTrims(), Start + 30);
}

TEST(EngineHeap, ReleasesAreCountedAndTheHeapTrimmedEvery1020) {
  // Frees and reallocations count; allocations do not. The counter restarts after each trim.
  void* P = EngineAlloc(8);
  uint32_t Start = EngineReleaseCount();
  EngineFree(P);
  EXPECT_EQ(EngineReleaseCount(), (Start + 1) % 1020);
  for (int I = 0; I < 1020; ++I) {
    void* Q = EngineAlloc(16);
    EngineFree(Q);
  }
  EXPECT_EQ(EngineReleaseCount(), (Start + 1) % 1020);  // a full cycle later: same place
  void* R = EngineAlloc(8);
  uint32_t Before = EngineReleaseCount();
  R = EngineRealloc(R, 64);
  EXPECT_EQ(EngineReleaseCount(), (Before + 1) % 1020);
  EngineFree(R);
}

struct TProbe : TEngineObject {
  int A;
  char B[40];
};

TEST(EngineHeap, EngineObjectsAreZeroFilled) {
  TProbe* P = new TProbe;  // no initialiser: the engine heap zero-fills
  EXPECT_EQ(P->A, 0);
  EXPECT_TRUE(AllZero(P->B, 0, sizeof(P->B)));
  delete P;
}

TEST(SystemList, GrowthSequence) {
  TSystemList L;
  std::vector<int> Caps;
  for (int I = 0; I < 100; ++I) {
    int Before = L.Capacity;
    L.Add(reinterpret_cast<void*>(intptr_t(I + 1)));
    if (L.Capacity != Before) Caps.push_back(L.Capacity);
  }
  EXPECT_EQ(Caps, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
  TSystemList F;
  for (int I = 0; I < 5; ++I) F.Add(&I);
  EXPECT_EQ(F.Capacity, 8);
}

TEST(SystemList, InsertDeleteIndexOfAssign) {
  int V[6];
  TSystemList L;
  for (int I = 0; I < 4; ++I) L.Add(&V[I]);
  L.Insert(1, &V[4]);
  L.Insert(5, &V[5]);  // at the end
  std::vector<void*> Got(L.Items, L.Items + L.Count);
  EXPECT_EQ(Got, (std::vector<void*>{&V[0], &V[4], &V[1], &V[2], &V[3], &V[5]}));
  EXPECT_EQ(L.IndexOf(&V[2]), 3);
  int Absent;
  EXPECT_EQ(L.IndexOf(&Absent), -1);
  L.Delete(0);
  EXPECT_EQ(L.First(), &V[4]);
  int Cap = L.Capacity;
  L.Delete(L.Count - 1);  // deleting the last only lowers Count
  EXPECT_EQ(L.Count, 4);
  EXPECT_EQ(L.Capacity, Cap);
  EXPECT_EQ(L.Last(), &V[3]);
  L.Exchange(0, 3);
  EXPECT_EQ(L.First(), &V[3]);

  TSystemList C;
  C.Add(&Absent);
  C.Assign(L);
  EXPECT_EQ(C.Count, L.Count);
  EXPECT_EQ(C.Capacity, L.Capacity);
  for (int I = 0; I < L.Count; ++I) EXPECT_EQ(C.Get(I), L.Get(I));

  L.SetCount(10);
  EXPECT_EQ(L.Count, 10);
  for (int I = 4; I < 10; ++I) EXPECT_EQ(L.Get(I), nullptr);
  L.Clear();
  EXPECT_EQ(L.Count, 0);
  EXPECT_EQ(L.Capacity, 0);
  EXPECT_EQ(L.Items, nullptr);
}

TEST(SystemList, SortOrdersLikeAReferenceSort) {
  std::mt19937 Rng(7);
  for (int N : {1, 2, 3, 17, 500}) {
    std::vector<intptr_t> Values(N);
    for (auto& X : Values) X = static_cast<intptr_t>(Rng() % 50);  // many duplicates
    TSystemList L;
    for (auto X : Values) L.Add(reinterpret_cast<void*>(X));
    L.Sort([](void* A, void* B) {
      intptr_t X = reinterpret_cast<intptr_t>(A), Y = reinterpret_cast<intptr_t>(B);
      return X < Y ? -1 : (X > Y ? 1 : 0);
    });
    std::sort(Values.begin(), Values.end());
    for (int I = 0; I < N; ++I) EXPECT_EQ(reinterpret_cast<intptr_t>(L.Get(I)), Values[I]);
  }
}

}  // namespace
