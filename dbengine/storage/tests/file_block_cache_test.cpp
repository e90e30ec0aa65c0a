#include "dbengine/storage/file_block_cache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

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

}  // namespace
