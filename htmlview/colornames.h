#pragma once
// The colour names that style sheets and HTML attributes accept.

#include <cstdint>

struct TColorName {
  const char* Name;
  int32_t RGB;  // 0xRRGGBB; -1 for "transparent"
};
constexpr int ColorNameCount = 141;
extern const TColorName ColorNames[ColorNameCount];
