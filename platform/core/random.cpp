#include "platform/core/random.h"

#include <ctime>

uint32_t RandSeed = 0;

namespace {
uint32_t Next() {
  RandSeed = RandSeed * 134775813u + 1u;
  return RandSeed;
}
}  // namespace

void Randomize() {
  timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  RandSeed = static_cast<uint32_t>(ts.tv_sec) * 1000003u ^ static_cast<uint32_t>(ts.tv_nsec);
}

int32_t Random(int32_t Range) {
  const uint32_t r = Next();
  if (Range <= 0) return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(r) * static_cast<uint32_t>(Range)) >> 32);
}

double RandomFloat() { return Next() * (1.0 / 4294967296.0); }
