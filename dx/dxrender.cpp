#include "dx/dxrender.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <numbers>

#include "dx/dxdraws.h"
#include "platform/gui/pixelrow.h"

uint32_t TDXR_Surface::Fetch(int X, int Y) const {
  return LoadRawPixel(Bits + static_cast<ptrdiff_t>(Y) * Pitch, X, BitCount);
}

void TDXR_Surface::Store(int X, int Y, uint32_t V) const {
  StoreRawPixel(Bits + static_cast<ptrdiff_t>(Y) * Pitch, X, BitCount, V);
}

bool DXRDescribeSurface(TDirectDrawSurface* Surface, TDXR_Surface& Out) {
  TDDSurfaceDesc d;
  if (!Surface || !Surface->Lock(nullptr, d)) return false;
  Out = TDXR_Surface();
  Out.Indexed = d.PixelFormat.Indexed;
  Out.Width = d.Width;
  Out.Height = d.Height;
  Out.BitCount = d.PixelFormat.BitCount;
  Out.Pitch = d.Pitch;
  Out.Bits = d.Surface;
  if (Out.Indexed) {
    Out.Index = TDDChannel{(1u << Out.BitCount) - 1, Out.BitCount, 0, 0};
  } else {
    Out.R = TDDChannel::FromMask(d.PixelFormat.RBitMask);
    Out.G = TDDChannel::FromMask(d.PixelFormat.GBitMask);
    Out.B = TDDChannel::FromMask(d.PixelFormat.BBitMask);
    Out.A = TDDChannel::FromMask(0);  // the alpha channel of a surface is never used
  }
  return true;
}

void DXRReleaseSurface(TDirectDrawSurface* Surface, TDXR_Surface& S) {
  if (Surface) Surface->Unlock();
  S.Bits = nullptr;
}

int DXRBlendChannel(int Op, int C1, int A1, int C2, int A2, bool AlphaLane) {
  auto sat = [](int v) { return std::clamp(v, 0, 255); };
  switch (Op) {
    case rbZero: return 0;
    case rbCopy: return C1;
    case rbSecond: return C2;
    case rbAdd: return sat(C1 + C2);
    case rbSubFirst: return sat(C1 - C2);
    case rbSubSecond: return sat(C2 - C1);
    case rbMul: return (C1 * C2) >> 8;
    case rbAlpha: return (C1 * A1) >> 8;
    case rbAddAlpha: return sat(((C1 * A1) >> 8) + C2);
    case rbSubAlpha: return sat(C2 - ((C1 * A1) >> 8));
    case rbBlend: return sat(C2 + (((C1 - C2) * A1) >> 8));
    case rbBlendInverse: return sat(C2 + (((C1 - C2) * (255 - A1)) >> 8));
    case rbColorAlphaFromSecond: return AlphaLane ? A2 : C1;
    case rbMulKeepAlpha: return AlphaLane ? A1 : (C1 * C2) >> 8;
    case rbAddAll: return sat(C1 + C2);
  }
  return 0;
}

TDXRMachine& TDXRMachine::Instance() {
  static TDXRMachine machine;
  return machine;
}

TDXRMachine::TDXRMachine() {
  for (int i = 0; i < 256; ++i) FCos[static_cast<size_t>(i)] = std::cos(2 * std::numbers::pi * i / 256);
}

void TDXRMachine::DrawWave(const TDXR_Surface& Dest, const TDXR_Surface& Src, int X, uint32_t ColorKey,
                           bool Transparent, int Alpha, int Blend, int Phase, int WaveLength, int Amplitude,
                           const TRect& SrcRect, int Height, int Width, int Y) {
  if (Width <= 0 || Height <= 0 || !Dest.Bits || !Src.Bits) return;
  if (SrcRect.IsEmpty() || SrcRect.Left < 0 || SrcRect.Top < 0 || SrcRect.Right > Src.Width ||
      SrcRect.Bottom > Src.Height)
    return;
  // Vertical clipping.
  int y0 = Y, y1 = Y + Height, k0 = 0;
  if (y0 < 0) {
    k0 = -y0;
    y0 = 0;
  }
  y1 = std::min(y1, Dest.Height);
  if (y0 >= y1) return;
  const int rows = y1 - y0;
  const int64_t du = static_cast<int64_t>(SrcRect.Width()) * 65536 / Width;
  const int64_t dv = static_cast<int64_t>(SrcRect.Height()) * 65536 / Height;
  const int64_t dp = WaveLength != 0 ? int64_t{256} * 65536 / WaveLength : 0;
  int64_t p = static_cast<int64_t>(Phase) * 65536 + k0 * dp;
  int64_t sv = k0 * dv + static_cast<int64_t>(SrcRect.Top) * 65536;
  if (((rows * dv + sv) >> 16) > Src.Height) return;
  const uint32_t keyMask = ~Src.A.Mask;
  const int alphaLane = Alpha;  // the source has no alpha channel: its alpha is the constant
  const bool raw = Blend == rbCopy && Dest.Indexed;
  const int oldRound = std::fegetround();
  std::fesetround(FE_TONEAREST);
  for (int y = y0; y < y1; ++y, p += dp, sv += dv) {
    const int i = static_cast<int>(static_cast<int32_t>(p / 65536) & 255);
    const int offset = static_cast<int>(std::nearbyint(Sine(i) * Amplitude));
    int64_t x0 = static_cast<int64_t>(X) + offset, x1 = x0 + Width, k = 0;
    if (x0 < 0) {
      k = -x0;
      x0 = 0;
    }
    x1 = std::min<int64_t>(x1, Dest.Width);
    if (x1 - x0 < 1) continue;
    const int64_t su = k * du + static_cast<int64_t>(SrcRect.Left) * 65536;
    const int64_t count = x1 - x0;
    if (su < 0 || sv < 0 || ((su + (count - 1) * du) >> 16) >= Src.Width || (sv >> 16) >= Src.Height) break;
    const int srow = static_cast<int>(sv >> 16);
    for (int64_t j = 0; j < count; ++j) {
      const int sx = static_cast<int>((su + j * du) >> 16);
      const uint32_t t = Src.Fetch(sx, srow);
      if (Transparent && (t & keyMask) == (ColorKey & keyMask)) continue;
      const int dx = static_cast<int>(x0 + j);
      if (raw) {
        Dest.Store(dx, y, t & Dest.Index.Mask);
        continue;
      }
      const uint32_t d = Dest.Fetch(dx, y);
      auto chan = [&](const TDDChannel& dc, const TDDChannel& sc) {
        const int c1 = sc.Mask ? static_cast<int>(sc.Expand(t)) : alphaLane;
        const int c2 = static_cast<int>(dc.Expand(d));
        return dc.Pack(static_cast<uint32_t>(DXRBlendChannel(Blend, c1, alphaLane, c2, 255, false)));
      };
      const uint32_t out = chan(Dest.R, Src.R) | chan(Dest.G, Src.G) | chan(Dest.B, Src.B);
      Dest.Store(dx, y, out);
    }
  }
  std::fesetround(oldRound);
}
