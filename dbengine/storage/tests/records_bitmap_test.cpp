#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "dbengine/storage/records_bitmap.h"

namespace {

TEST(RecordsBitmap, EdgeCases) {
  TRecordsBitmap B;
  EXPECT_EQ(B.CountSet(), 0);
  B.SetRecordCount(33);
  EXPECT_EQ(B.WordCount, 2);
  EXPECT_EQ(B.BitCount, 64);
  EXPECT_EQ(B.Capacity, 1024);
  B.SetBit(33);
  EXPECT_EQ(B.Words[1], 1u);
  EXPECT_TRUE(B.GetBit(33));
  B.ClearBit(33);
  EXPECT_FALSE(B.GetBit(33));
  B.SetAll();
  EXPECT_EQ(B.CountSet(), 33);  // not 64
  EXPECT_EQ(B.CountSetBefore(1), 0);
  EXPECT_EQ(B.CountSetBefore(33), 32);
  EXPECT_EQ(B.CountSetBefore(1000), 64);  // never past the words that exist
  int32_t N = 33, Pos = 7;
  EXPECT_FALSE(B.FindNext(N, 1, Pos));  // from record N: false at once
  EXPECT_EQ(N, 33);
  EXPECT_EQ(Pos, 7);
  N = 1;
  EXPECT_FALSE(B.FindPrior(N, 1, Pos));
  EXPECT_EQ(N, 1);
  EXPECT_EQ(Pos, 7);
  // Inverting also flips the bits beyond N in the last word; counting ignores them.
  B.ClearAll();
  B.SetBit(33);
  B.Invert();
  EXPECT_EQ(B.Words[1], 0xFFFFFFFEu);
  EXPECT_EQ(B.CountSet(), 32);
  // Growth keeps the capacity steps and zero words; bits above a smaller N survive a shrink.
  B.ClearAll();
  B.SetBit(30);
  B.SetRecordCount(10);
  EXPECT_EQ(B.CountSet(), 0);
  B.SetRecordCount(8193);
  EXPECT_EQ(B.Capacity, 2048);
  EXPECT_TRUE(B.GetBit(30));
  EXPECT_EQ(B.CountSet(), 1);
  B.SetRecordCount(100);
  EXPECT_EQ(B.Capacity, 2048);
}

TEST(RecordsBitmap, MatchesAReferenceSet) {
  std::mt19937 Rng(42);
  for (int Round = 0; Round < 40; ++Round) {
    const int32_t N = 1 + static_cast<int32_t>(Rng() % 700);
    const int Density = 1 + static_cast<int>(Rng() % 4);  // includes sparse sets with zero words
    std::vector<bool> Ref(static_cast<size_t>(N) + 1);
    TRecordsBitmap B;
    B.SetRecordCount(N);
    for (int32_t R = 1; R <= N; ++R) {
      if (Rng() % (Density * Density * 8) == 0) {
        Ref[static_cast<size_t>(R)] = true;
        B.SetBit(R);
      }
    }
    int32_t Total = 0;
    for (int32_t R = 1; R <= N; ++R) Total += Ref[static_cast<size_t>(R)];
    ASSERT_EQ(B.CountSet(), Total);
    for (int32_t R = 1; R <= N; ++R) {
      int32_t Before = 0;
      for (int32_t Q = 1; Q < R; ++Q) Before += Ref[static_cast<size_t>(Q)];
      ASSERT_EQ(B.CountSetBefore(R), Before) << R;
    }
    for (int Probe = 0; Probe < 50; ++Probe) {
      int32_t Start = static_cast<int32_t>(Rng() % (N + 1));
      int32_t K = 1 + static_cast<int32_t>(Rng() % 5);
      // Reference walk forwards.
      int32_t ExpN = Start, ExpPos = 100, Hits = 0;
      bool ExpFound = false;
      for (int32_t R = Start + 1; R <= N && !ExpFound; ++R)
        if (Ref[static_cast<size_t>(R)]) {
          ExpN = R;
          ++ExpPos;
          ExpFound = ++Hits == K;
        }
      int32_t GotN = Start, GotPos = 100;
      EXPECT_EQ(B.FindNext(GotN, K, GotPos), ExpFound);
      EXPECT_EQ(GotN, ExpN);
      EXPECT_EQ(GotPos, ExpPos);
      // And backwards.
      Start = 1 + static_cast<int32_t>(Rng() % N);
      ExpN = Start;
      ExpPos = 100;
      Hits = 0;
      ExpFound = false;
      for (int32_t R = Start - 1; R >= 1 && !ExpFound; --R)
        if (Ref[static_cast<size_t>(R)]) {
          ExpN = R;
          --ExpPos;
          ExpFound = ++Hits == K;
        }
      GotN = Start;
      GotPos = 100;
      EXPECT_EQ(B.FindPrior(GotN, K, GotPos), ExpFound);
      EXPECT_EQ(GotN, ExpN);
      EXPECT_EQ(GotPos, ExpPos);
    }
    // AND / OR / copy against a second set.
    TRecordsBitmap O;
    O.SetRecordCount(N);
    std::vector<bool> Ref2(Ref.size());
    for (int32_t R = 1; R <= N; ++R)
      if (Rng() % 3 == 0) {
        Ref2[static_cast<size_t>(R)] = true;
        O.SetBit(R);
      }
    TRecordsBitmap A, Or;
    A.CopyFrom(B);
    Or.CopyFrom(B);
    EXPECT_EQ(A.RecordCount, N);
    A.AndWith(O);
    Or.OrWith(O);
    for (int32_t R = 1; R <= N; ++R) {
      ASSERT_EQ(A.GetBit(R), Ref[static_cast<size_t>(R)] && Ref2[static_cast<size_t>(R)]);
      ASSERT_EQ(Or.GetBit(R), Ref[static_cast<size_t>(R)] || Ref2[static_cast<size_t>(R)]);
    }
    B.Invert();
    EXPECT_EQ(B.CountSet(), N - Total);
  }
}

TEST(RecordsBitmap, PoolReusesClearedBitmaps) {
  TRecordsBitmap* Nil = nullptr;
  int Before = PooledRecordsBitmaps();
  PutRecordsBitmap(Nil);  // ignored
  EXPECT_EQ(PooledRecordsBitmaps(), Before);
  TRecordsBitmap* B = GetRecordsBitmap();
  B->SetRecordCount(77);
  B->SetAll();
  TRecordsBitmap* Kept = B;
  PutRecordsBitmap(B);
  EXPECT_EQ(B, nullptr);
  EXPECT_EQ(PooledRecordsBitmaps(), Before + 1);
  TRecordsBitmap* C = GetRecordsBitmap();
  EXPECT_EQ(C, Kept);
  EXPECT_EQ(C->RecordCount, 77);  // kept from its previous use
  EXPECT_EQ(C->CountSet(), 0);    // but cleared
  PutRecordsBitmap(C);
}

}  // namespace
