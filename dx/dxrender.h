// The blending pixel pipeline: draws from one locked surface into another pixel by pixel, combining
// each source texel with the destination pixel by a blend operation, for any two pixel formats
// described by masks, with colour-key transparency. The inner loop is portable C++ that computes the
// blend of every channel on 8-bit values.
#pragma once

#include <array>
#include <cstdint>

#include "platform/gui/ddraw_soft.h"
#include "platform/gui/geometry.h"

class TDirectDrawSurface;

// Blend operations (c1, a1: first operand colour and alpha; c2, a2: second operand).
enum TDXR_BlendOp {
  rbZero = 0, rbCopy = 1, rbSecond = 2, rbAdd = 3, rbSubFirst = 4, rbSubSecond = 5, rbMul = 6, rbAlpha = 7,
  rbAddAlpha = 8, rbSubAlpha = 9, rbBlend = 10, rbBlendInverse = 11, rbColorAlphaFromSecond = 12,
  rbMulKeepAlpha = 13, rbAddAll = 14
};

// A locked surface as the pipeline sees it.
struct TDXR_Surface {
  bool Indexed = false;
  int Width = 0, Height = 0, BitCount = 0, Pitch = 0;
  uint8_t* Bits = nullptr;
  TDDChannel R, G, B, A, Index;
  uint32_t Fetch(int X, int Y) const;
  void Store(int X, int Y, uint32_t V) const;
};

// Locks the whole surface (waiting) and describes it; ReleaseSurface unlocks.
bool DXRDescribeSurface(TDirectDrawSurface* Surface, TDXR_Surface& Out);
void DXRReleaseSurface(TDirectDrawSurface* Surface, TDXR_Surface& S);

// One channel of a blend (8-bit values, result 0..255). Operation 4 is first minus second and
// 5 second minus first.
int DXRBlendChannel(int Op, int C1, int A1, int C2, int A2, bool AlphaLane);

class TDXRMachine {
 public:
  static TDXRMachine& Instance();
  // Sine of 2 pi i / 256 as the pipeline uses it (from its cosine table).
  double Sine(int I) const { return FCos[static_cast<size_t>((I + 192) & 255)]; }
  // Rows of SrcRect scaled into (X, Y, Width, Height), row k shifted by
  // round(Amplitude x sin(2 pi i / 256)) with i the row's phase index, blended with the destination.
  void DrawWave(const TDXR_Surface& Dest, const TDXR_Surface& Src, int X, uint32_t ColorKey, bool Transparent,
                int Alpha, int Blend, int Phase, int WaveLength, int Amplitude, const TRect& SrcRect, int Height,
                int Width, int Y);

 private:
  TDXRMachine();
  std::array<double, 256> FCos{};
};
