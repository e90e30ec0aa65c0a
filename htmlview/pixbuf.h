#pragma once
// A plain picture in memory: rows top-down, pixels 0xAARRGGBB (alpha 0xFF = opaque), the layout
// of the platform bitmap's scan lines, so that pictures cross to the GUI by copying rows.

#include <cstdint>
#include <vector>

struct TPixelBuffer {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;

  void SetSize(int W, int H, uint32_t Fill = 0xFF000000) {
    Width = W;
    Height = H;
    Pixels.assign(static_cast<size_t>(W) * static_cast<size_t>(H), Fill);
  }
  bool Empty() const { return Width <= 0 || Height <= 0; }
  uint32_t& At(int X, int Y) { return Pixels[static_cast<size_t>(Y) * static_cast<size_t>(Width) + static_cast<size_t>(X)]; }
  uint32_t At(int X, int Y) const {
    return Pixels[static_cast<size_t>(Y) * static_cast<size_t>(Width) + static_cast<size_t>(X)];
  }
};

// A one-bit picture kept as one byte per pixel: 1 = transparent (white), 0 = opaque (black).
struct TMaskBuffer {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Bits;

  void SetSize(int W, int H, uint8_t Fill) {
    Width = W;
    Height = H;
    Bits.assign(static_cast<size_t>(W) * static_cast<size_t>(H), Fill);
  }
  bool Empty() const { return Width <= 0 || Height <= 0; }
  uint8_t& At(int X, int Y) { return Bits[static_cast<size_t>(Y) * static_cast<size_t>(Width) + static_cast<size_t>(X)]; }
  uint8_t At(int X, int Y) const {
    return Bits[static_cast<size_t>(Y) * static_cast<size_t>(Width) + static_cast<size_t>(X)];
  }
};

inline uint32_t RGBPixel(uint8_t R, uint8_t G, uint8_t B) {
  return 0xFF000000u | (uint32_t(R) << 16) | (uint32_t(G) << 8) | B;
}
