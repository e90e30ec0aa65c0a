#include "dbengine/storage/file_block_cache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

// Block B holds the byte B in each of its first Size bytes.
size_t FillWith(uint32_t Block, uint8_t* Buffer, size_t Size) {
  std::memset(Buffer, static_cast<int>(Block), Size);
  return Size;
}

TEST(FileBlockCache, HoldsItsBudgetAtMostKeepsWhatIsUsedAndForgetsOnRequest) {
  TFileBlockCache C;
  C.Configure(100, 1000);  // ten blocks
  auto Load = [&](uint32_t B) { return C.Load(B, [B](uint8_t* P) { return FillWith(B, P, 100); }); };
  auto Held = [&](uint32_t B) {
    size_t Size = 0;
    const uint8_t* P = C.Find(B, Size);
    return P != nullptr && Size == 100 && P[99] == B;
  };
  for (uint32_t B = 0; B < 10; ++B) Load(B);
  EXPECT_EQ(C.HeldBlocks(), 10);
  // Blocks found again since the last new one stay; the others make room, one per new block.
  for (uint32_t B : {2u, 5u, 7u}) EXPECT_TRUE(Held(B));
  for (uint32_t B = 10; B < 17; ++B) Load(B);
  EXPECT_EQ(C.HeldBlocks(), 10);
  EXPECT_EQ(C.HeldBytes(), 1000u);
  for (uint32_t B : {2u, 5u, 7u}) EXPECT_TRUE(Held(B)) << B;
  for (uint32_t B = 10; B < 17; ++B) EXPECT_TRUE(Held(B)) << B;
  // A short block (the end of the file) keeps its size; a block read again replaces its copy.
  C.Load(20, [](uint8_t* P) { return FillWith(20, P, 30); });
  size_t Size = 0;
  ASSERT_NE(C.Find(20, Size), nullptr);
  EXPECT_EQ(Size, 30u);
  Load(20);
  EXPECT_TRUE(Held(20));
  // A read that fails keeps nothing.
  EXPECT_THROW(C.Load(30, [](uint8_t*) -> size_t { throw std::runtime_error("read"); }), std::runtime_error);
  EXPECT_FALSE(C.Find(30, Size) != nullptr);
  const int Before = C.HeldBlocks();
  int Dropped = 0;
  for (uint32_t B = 10; B < 17; ++B) Dropped += Held(B) ? 1 : 0;
  C.Drop(10, 16);
  for (uint32_t B = 10; B < 17; ++B) EXPECT_FALSE(Held(B)) << B;
  EXPECT_EQ(C.HeldBlocks(), Before - Dropped);
  C.Clear();
  EXPECT_EQ(C.HeldBlocks(), 0);
  EXPECT_EQ(C.HeldBytes(), 0u);
  EXPECT_FALSE(Held(20));
}

// Caches drawing on one budget: together they never hold more than it allows. A cache that needs
// room takes it from idle caches first (the one idle longest first), else from a cache in use that
// holds more than itself, else from its own blocks; what a cache gives up is freed.
TEST(FileBlockCache, CachesOfOneBudgetShareItAndIdleOnesGiveWayFirst) {
  TLookupBudget Budget(1000);  // ten blocks of 100 bytes
  TFileBlockCache A, B, C;
  for (TFileBlockCache* X : {&A, &B, &C}) {
    X->Configure(100, SIZE_MAX);
    X->DrawOn(&Budget);
  }
  auto Load = [](TFileBlockCache& X, uint32_t First, uint32_t Count) {
    for (uint32_t Block = First; Block < First + Count; ++Block)
      X.Load(Block, [Block](uint8_t* P) { return FillWith(Block, P, 100); });
  };
  auto Blocks = [&]() {
    EXPECT_LE(Budget.HeldBytes(), Budget.Limit());
    EXPECT_EQ(Budget.HeldBytes(), A.HeldBytes() + B.HeldBytes() + C.HeldBytes());
    return std::vector<int>{A.HeldBlocks(), B.HeldBlocks(), C.HeldBlocks()};
  };
  Load(A, 0, 12);
  EXPECT_EQ(Blocks(), (std::vector<int>{10, 0, 0}));
  // Caches in use end up with even shares.
  Load(B, 0, 8);
  EXPECT_EQ(Blocks(), (std::vector<int>{5, 5, 0}));
  Load(B, 8, 3);
  EXPECT_EQ(Blocks(), (std::vector<int>{5, 5, 0}));
  // Idle caches give way first, the one idle longest first, down to nothing.
  A.SetIdle(true);
  B.SetIdle(true);
  Load(C, 0, 7);
  EXPECT_EQ(Blocks(), (std::vector<int>{0, 3, 7}));
  // A cache taken back into use keeps what it holds and shares again.
  B.SetIdle(false);
  Load(B, 20, 3);
  EXPECT_EQ(Blocks(), (std::vector<int>{0, 5, 5}));
  // A lower limit takes effect at once; blocks given up and dropped are freed.
  Budget.SetLimit(400);
  EXPECT_EQ(Blocks(), (std::vector<int>{0, 2, 2}));
  Load(C, 10, 1);
  EXPECT_EQ(Blocks(), (std::vector<int>{0, 2, 2}));
  C.Clear();
  EXPECT_EQ(Blocks(), (std::vector<int>{0, 2, 0}));
  // Out of the budget, a cache keeps its own limit only.
  B.DrawOn(nullptr);
  EXPECT_EQ(Budget.HeldBytes(), 0u);
  Load(B, 0, 30);
  EXPECT_EQ(B.HeldBlocks(), 30);
}

}  // namespace
