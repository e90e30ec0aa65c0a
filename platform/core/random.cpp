#include "platform/core/random.h"

#include <ctime>

uint32_t RandSeed = 0;

namespace {
uint32_t Next() {
  RandSeed = RandSeed * 134775813u + 1u;
  return RandSeed;
}
TRandomSource gRandomSource = nullptr;
}  // namespace

TRandomSource SetRandomSource(TRandomSource Source) {
  const TRandomSource Old = gRandomSource;
  gRandomSource = Source;
  return Old;
}

void Randomize() {
  timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  RandSeed = static_cast<uint32_t>(ts.tv_sec) * 1000003u ^ static_cast<uint32_t>(ts.tv_nsec);
}

int32_t Random(int32_t Range) {
  if (gRandomSource) {
    if (Range <= 0) return 0;
    const int32_t v = gRandomSource(Range);
    return v < 0 ? 0 : (v >= Range ? Range - 1 : v);
  }
  const uint32_t r = Next();
  if (Range <= 0) return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(r) * static_cast<uint32_t>(Range)) >> 32);
}

double RandomFloat() {
  if (gRandomSource) {
    const int32_t v = gRandomSource(0x10000);
    return (v < 0 ? 0 : (v > 0xFFFF ? 0xFFFF : v)) / 65536.0;
  }
  return Next() * (1.0 / 4294967296.0);
}
