#include <gtest/gtest.h>

#include <vector>

#include "platform/core/random.h"

namespace {

TEST(Random, SeedRepeatsTheSequenceAndStaysInRange) {
  RandSeed = 12345;
  std::vector<int> first;
  for (int i = 0; i < 50; ++i) first.push_back(Random(100));
  RandSeed = 12345;
  for (int i = 0; i < 50; ++i) EXPECT_EQ(Random(100), first[static_cast<std::size_t>(i)]);
  // The generator's recurrence: seed * 134775813 + 1, result = high part of seed * range.
  RandSeed = 0;
  EXPECT_EQ(Random(1000), 0);  // seed becomes 1: 1 * 1000 >> 32 = 0
  EXPECT_EQ(RandSeed, 1u);
  EXPECT_EQ(Random(1 << 16), static_cast<int>((uint64_t{134775814} << 16) >> 32));
  int counts[3] = {};
  for (int i = 0; i < 3000; ++i) {
    const int r = Random(3);
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 3);
    ++counts[r];
  }
  for (int c : counts) EXPECT_GT(c, 800);
  EXPECT_EQ(Random(0), 0);
  for (int i = 0; i < 100; ++i) {
    const double f = RandomFloat();
    ASSERT_GE(f, 0.0);
    ASSERT_LT(f, 1.0);
  }
}

TEST(Random, RandomizeChangesTheSeed) {
  RandSeed = 7;
  Randomize();
  const uint32_t a = RandSeed;
  EXPECT_NE(a, 7u);
}

TEST(Random, AnInstalledSourceIsClampedAndRemovable) {
  static int32_t next = 0;
  const TRandomSource old = SetRandomSource([](int32_t) { return next; });
  EXPECT_EQ(old, nullptr);
  const struct { int32_t Drawn, Range, Expect; } cases[] = {{3, 10, 3}, {10, 10, 9}, {-4, 10, 0}, {7, 0, 0}};
  for (const auto& c : cases) {
    next = c.Drawn;
    EXPECT_EQ(Random(c.Range), c.Expect) << c.Drawn << " of " << c.Range;
  }
  next = 0x8000;
  EXPECT_DOUBLE_EQ(RandomFloat(), 0.5);
  SetRandomSource(nullptr);
  RandSeed = 0;
  EXPECT_EQ(Random(1000), 0);  // the generator again
}

}  // namespace
