#include "platform/gui/ddraw_soft.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/gui/pixelrow.h"

TDDPixelFormat DDPixelFormatOf(int BitCount) {
  TDDPixelFormat f;
  f.BitCount = BitCount;
  switch (BitCount) {
    case 16:
      f.RBitMask = 0xF800;
      f.GBitMask = 0x07E0;
      f.BBitMask = 0x001F;
      break;
    case 24:
    case 32:
      f.RBitMask = 0xFF0000;
      f.GBitMask = 0x00FF00;
      f.BBitMask = 0x0000FF;
      break;
    default:
      f.Indexed = true;
      break;
  }
  return f;
}

TDDChannel TDDChannel::FromMask(uint32_t Mask) {
  TDDChannel c;
  c.Mask = Mask;
  if (Mask == 0) return c;
  const int low = std::countr_zero(Mask);
  c.Bits = std::popcount(Mask >> low);
  const int d = low - (8 - c.Bits);
  if (d >= 0)
    c.Right = d;
  else
    c.Left = -d;
  return c;
}

int32_t TDDSoftPalette::SetEntries(int Start, int Count, const TDDPaletteEntry* Entries) {
  if (Start < 0 || Count < 0 || Start + Count > 256 || (Count > 0 && !Entries)) return ddErrInvalidParams;
  std::copy(Entries, Entries + Count, FEntries.begin() + Start);
  return ddOK;
}

int32_t TDDSoftPalette::GetEntries(int Start, int Count, TDDPaletteEntry* Entries) const {
  if (Start < 0 || Count < 0 || Start + Count > 256 || (Count > 0 && !Entries)) return ddErrInvalidParams;
  std::copy(FEntries.begin() + Start, FEntries.begin() + Start + Count, Entries);
  return ddOK;
}

// ---------------------------------------------------------------------------------------------
TDDSoftSurface::TDDSoftSurface(TDDSoftDevice* Device, int Width, int Height, const TDDPixelFormat& Format,
                               uint32_t Caps)
    : FDevice(Device),
      FWidth(Width),
      FHeight(Height),
      FFormat(Format),
      FR(TDDChannel::FromMask(Format.RBitMask)),
      FG(TDDChannel::FromMask(Format.GBitMask)),
      FB(TDDChannel::FromMask(Format.BBitMask)),
      FCaps(Caps) {
  if (!Format.Indexed && Format.BitCount == 16) {
    FExpandLo.resize(256);
    FExpandHi.resize(256);
    for (uint32_t v = 0; v < 256; ++v) {
      FExpandLo[v] = (FR.Expand(v) << 16) | (FG.Expand(v) << 8) | FB.Expand(v);
      FExpandHi[v] = (FR.Expand(v << 8) << 16) | (FG.Expand(v << 8) << 8) | FB.Expand(v << 8);
    }
  }
  FPitch = ((Width * Format.BitCount + 31) / 32) * 4;
  FBits.assign(static_cast<size_t>(FPitch) * static_cast<size_t>(Height), 0);
}

TDDSurfaceDesc TDDSoftSurface::Desc() const {
  TDDSurfaceDesc d;
  d.Caps = FCaps;
  d.Width = FWidth;
  d.Height = FHeight;
  d.Pitch = FPitch;
  d.PixelFormat = FFormat;
  d.HasSrcColorKey = FHasKey;
  d.ColorKeyLow = FKeyLow;
  d.ColorKeyHigh = FKeyHigh;
  d.BackBufferCount = FBackBuffer ? 1 : 0;
  return d;
}

int32_t TDDSoftSurface::Lock(const TRect* R, TDDSurfaceDesc& D) {
  if (FLost) return ddErrSurfaceLost;
  if (FLocked) return ddErrSurfaceBusy;
  TRect r = R ? *R : TRect(0, 0, FWidth, FHeight);
  if (r.Left < 0 || r.Top < 0 || r.Right > FWidth || r.Bottom > FHeight || r.IsEmpty()) return ddErrInvalidRect;
  D = Desc();
  D.Surface = Row(r.Top) + static_cast<size_t>(r.Left) * static_cast<size_t>(FFormat.BitCount) / 8;
  FLocked = true;
  return ddOK;
}

int32_t TDDSoftSurface::Unlock() {
  if (!FLocked) return ddErrNotLocked;
  FLocked = false;
  if (FCaps & DDSCAPS_PRIMARYSURFACE) FDevice->Present(this);
  return ddOK;
}

int32_t TDDSoftSurface::SetColorKey(uint32_t Flags, uint32_t Low, uint32_t High) {
  if (!(Flags & DDCKEY_SRCBLT)) return ddErrInvalidParams;
  FHasKey = true;
  FKeyLow = Low;
  FKeyHigh = High;
  return ddOK;
}

int32_t TDDSoftSurface::GetColorKey(uint32_t& Low, uint32_t& High) const {
  if (!FHasKey) return ddErrGeneric;
  Low = FKeyLow;
  High = FKeyHigh;
  return ddOK;
}

int32_t TDDSoftSurface::SetClipper(std::shared_ptr<TDDSoftClipper> Clipper) {
  FClipper = std::move(Clipper);
  return ddOK;
}

int32_t TDDSoftSurface::SetPalette(std::shared_ptr<TDDSoftPalette> Palette) {
  FPalette = std::move(Palette);
  if (FBackBuffer) FBackBuffer->FPalette = FPalette;
  return ddOK;
}

int32_t TDDSoftSurface::Restore() {
  FLost = false;
  if (FBackBuffer) FBackBuffer->FLost = false;
  return ddOK;
}

uint32_t TDDSoftSurface::GetPixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return 0;
  return LoadRawPixel(Row(Y), X, FFormat.BitCount);
}

void TDDSoftSurface::SetPixel(int X, int Y, uint32_t V) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return;
  StoreRawPixel(Row(Y), X, FFormat.BitCount, V);
}

uint32_t TDDSoftSurface::PixelToRGB(uint32_t Pixel) const {
  if (FFormat.Indexed) {
    if (!FPalette) return (Pixel & 0xFF) * 0x010101u;
    const TDDPaletteEntry& e = FPalette->Entries()[Pixel & 0xFF];
    return (static_cast<uint32_t>(e.peRed) << 16) | (static_cast<uint32_t>(e.peGreen) << 8) | e.peBlue;
  }
  return (FR.Expand(Pixel) << 16) | (FG.Expand(Pixel) << 8) | FB.Expand(Pixel);
}

void TDDSoftSurface::RowToARGB(int Y, uint32_t* Out) const {
  if (Y < 0 || Y >= FHeight) return;
  const uint8_t* row = Row(Y);
  if (!FExpandLo.empty()) {
    for (int x = 0; x < FWidth; ++x)
      Out[x] = 0xFF000000u | FExpandLo[row[2 * x]] | FExpandHi[row[2 * x + 1]];
    return;
  }
  if (!FFormat.Indexed && FFormat.BitCount == 32) {
    const bool plain = FFormat.RBitMask == 0xFF0000 && FFormat.GBitMask == 0xFF00 && FFormat.BBitMask == 0xFF;
    std::memcpy(Out, row, 4 * static_cast<size_t>(FWidth));
    if (plain)
      for (int x = 0; x < FWidth; ++x) Out[x] |= 0xFF000000u;
    else
      for (int x = 0; x < FWidth; ++x)
        Out[x] = 0xFF000000u | (FR.Expand(Out[x]) << 16) | (FG.Expand(Out[x]) << 8) | FB.Expand(Out[x]);
    return;
  }
  for (int x = 0; x < FWidth; ++x) Out[x] = 0xFF000000u | PixelToRGB(GetPixel(x, Y));
}

uint32_t TDDSoftSurface::RGBToPixel(uint32_t RGB) const {
  const int rr = (RGB >> 16) & 255, gg = (RGB >> 8) & 255, bb = RGB & 255;
  if (FFormat.Indexed) {
    if (!FPalette) return static_cast<uint32_t>((rr + gg + bb) / 3);
    int best = 0, bestDist = 1 << 30;
    const int n = std::min(256, 1 << FFormat.BitCount);
    for (int i = 0; i < n; ++i) {
      const TDDPaletteEntry& e = FPalette->Entries()[static_cast<size_t>(i)];
      const int d = (e.peRed - rr) * (e.peRed - rr) + (e.peGreen - gg) * (e.peGreen - gg) + (e.peBlue - bb) * (e.peBlue - bb);
      if (d < bestDist) {
        bestDist = d;
        best = i;
      }
    }
    return static_cast<uint32_t>(best);
  }
  return FR.Pack(static_cast<uint32_t>(rr)) | FG.Pack(static_cast<uint32_t>(gg)) | FB.Pack(static_cast<uint32_t>(bb));
}

namespace {

template <class T>
void FillRow(uint8_t* Row, int Left, int Right, uint32_t Value) {
  const T v = static_cast<T>(Value);
  for (int x = Left; x < Right; ++x) std::memcpy(Row + sizeof(T) * static_cast<size_t>(x), &v, sizeof(T));
}

// Copies Count pixels except those whose value lies within the colour key.
template <class T>
void KeyedRow(uint8_t* Dst, const uint8_t* Src, size_t Count, uint32_t Low, uint32_t High) {
  for (size_t i = 0; i < Count; ++i) {
    T p;
    std::memcpy(&p, Src + sizeof(T) * i, sizeof(T));
    if (p >= Low && p <= High) continue;
    std::memcpy(Dst + sizeof(T) * i, &p, sizeof(T));
  }
}

// Converts pixels between two formats (raw copy when they are the same).
struct TConverter {
  const TDDSoftSurface* Src;
  const TDDSoftSurface* Dst;
  bool Same;
  uint32_t operator()(uint32_t P) const { return Same ? P : Dst->RGBToPixel(Src->PixelToRGB(P)); }
};

}  // namespace

int32_t TDDSoftSurface::Blt(const TRect* Dest, TDDSoftSurface* Src, const TRect* SrcRect, uint32_t Flags,
                            const TDDBltFx* Fx) {
  if (FLost) return ddErrSurfaceLost;
  if (FLocked) return ddErrSurfaceBusy;
  TRect d = Dest ? *Dest : TRect(0, 0, FWidth, FHeight);
  TRect clip(0, 0, FWidth, FHeight);
  if (FClipper && !FClipper->Window().IsEmpty()) clip = IntersectRect(clip, FClipper->Window());
  if (Flags & DDBLT_COLORFILL) {
    if (!Fx) return ddErrInvalidParams;
    const TRect r = IntersectRect(d, clip);
    for (int y = r.Top; y < r.Bottom; ++y) {
      if (FFormat.BitCount == 16)
        FillRow<uint16_t>(Row(y), r.Left, r.Right, Fx->FillColor);
      else if (FFormat.BitCount == 32)
        FillRow<uint32_t>(Row(y), r.Left, r.Right, Fx->FillColor);
      else
        for (int x = r.Left; x < r.Right; ++x) SetPixel(x, y, Fx->FillColor);
    }
    if (FCaps & DDSCAPS_PRIMARYSURFACE) FDevice->Present(this);
    return ddOK;
  }
  if (!Src) return ddErrInvalidParams;
  if (Src->FLost) return ddErrSurfaceLost;
  if (Src->FLocked && Src != this) return ddErrSurfaceBusy;
  const TRect s = SrcRect ? *SrcRect : TRect(0, 0, Src->FWidth, Src->FHeight);
  if (s.IsEmpty() || d.IsEmpty()) return ddOK;
  if (s.Left < 0 || s.Top < 0 || s.Right > Src->FWidth || s.Bottom > Src->FHeight) return ddErrInvalidRect;
  const bool mirrorX = Fx && (Flags & DDBLT_DDFX) && (Fx->DDFX & DDBLTFX_MIRRORLEFTRIGHT);
  const bool mirrorY = Fx && (Flags & DDBLT_DDFX) && (Fx->DDFX & DDBLTFX_MIRRORUPDOWN);
  const bool keyed = (Flags & DDBLT_KEYSRC) && Src->FHasKey;
  const TRect r = IntersectRect(d, clip);
  if (r.IsEmpty()) return ddOK;
  // A copy of the source when it is this surface, so that overlapping rectangles read old pixels.
  std::unique_ptr<TDDSoftSurface> copy;
  const TDDSoftSurface* from = Src;
  if (Src == this) {
    copy = std::make_unique<TDDSoftSurface>(FDevice, FWidth, FHeight, FFormat, FCaps & ~DDSCAPS_PRIMARYSURFACE);
    copy->FBits = FBits;
    copy->FPalette = FPalette;
    from = copy.get();
  }
  const TConverter conv{from, this, from->FFormat == FFormat};
  const int64_t dw = d.Width(), dh = d.Height(), sw = s.Width(), sh = s.Height();
  if (dw == sw && dh == sh && !mirrorX && !mirrorY && conv.Same && FFormat.BitCount >= 8) {
    // Same format, no stretching: rows are copied as they are, keyed pixels skipped.
    const size_t bpp = static_cast<size_t>(FFormat.BitCount / 8), n = static_cast<size_t>(r.Width());
    const int sx = s.Left + (r.Left - d.Left);
    for (int y = r.Top; y < r.Bottom; ++y) {
      const uint8_t* sp = from->Row(s.Top + (y - d.Top)) + static_cast<size_t>(sx) * bpp;
      uint8_t* dp = Row(y) + static_cast<size_t>(r.Left) * bpp;
      if (!keyed)
        std::memmove(dp, sp, n * bpp);
      else if (bpp == 2)
        KeyedRow<uint16_t>(dp, sp, n, Src->FKeyLow, Src->FKeyHigh);
      else if (bpp == 4)
        KeyedRow<uint32_t>(dp, sp, n, Src->FKeyLow, Src->FKeyHigh);
      else
        for (int x = 0; x < r.Width(); ++x) {
          const uint32_t p = from->GetPixel(sx + x, s.Top + (y - d.Top));
          if (p < Src->FKeyLow || p > Src->FKeyHigh) SetPixel(r.Left + x, y, p);
        }
    }
    if (FCaps & DDSCAPS_PRIMARYSURFACE) FDevice->Present(this);
    return ddOK;
  }
  for (int y = r.Top; y < r.Bottom; ++y) {
    int64_t oy = (static_cast<int64_t>(y - d.Top) * sh) / dh;
    if (mirrorY) oy = sh - 1 - oy;
    const int sy = s.Top + static_cast<int>(oy);
    for (int x = r.Left; x < r.Right; ++x) {
      int64_t ox = (static_cast<int64_t>(x - d.Left) * sw) / dw;
      if (mirrorX) ox = sw - 1 - ox;
      const uint32_t p = from->GetPixel(s.Left + static_cast<int>(ox), sy);
      if (keyed && p >= Src->FKeyLow && p <= Src->FKeyHigh) continue;
      SetPixel(x, y, conv(p));
    }
  }
  if (FCaps & DDSCAPS_PRIMARYSURFACE) FDevice->Present(this);
  return ddOK;
}

int32_t TDDSoftSurface::BltFast(int X, int Y, TDDSoftSurface* Src, const TRect* SrcRect, uint32_t Flags) {
  if (FClipper) return ddErrBltFastCantClip;
  if (!Src) return ddErrInvalidParams;
  const TRect s = SrcRect ? *SrcRect : TRect(0, 0, Src->FWidth, Src->FHeight);
  if (s.Left < 0 || s.Top < 0 || s.Right > Src->FWidth || s.Bottom > Src->FHeight) return ddErrInvalidRect;
  const TRect d(X, Y, X + s.Width(), Y + s.Height());
  if (d.Left < 0 || d.Top < 0 || d.Right > FWidth || d.Bottom > FHeight) return ddErrInvalidRect;
  return Blt(&d, Src, &s, (Flags & DDBLTFAST_SRCCOLORKEY) ? DDBLT_KEYSRC : 0, nullptr);
}

int32_t TDDSoftSurface::Flip() {
  if (!FBackBuffer) return ddErrGeneric;
  if (FLost || FBackBuffer->FLost) return ddErrSurfaceLost;
  std::swap(FBits, FBackBuffer->FBits);
  FDevice->Present(this);
  return ddOK;
}

// ---------------------------------------------------------------------------------------------
namespace {
std::vector<TDDDisplayMode>& PlatformModeStore() {
  static std::vector<TDDDisplayMode> modes;
  return modes;
}
// A surface larger than this many pixels is refused (no display needs more).
constexpr int64_t kMaxSurfacePixels = 64ll * 1024 * 1024;
}  // namespace

TDDSoftDevice::TDDSoftDevice() { FMode = FDesktop = {800, 600, 16}; }

void TDDSoftDevice::SetDesktopMode(const TDDDisplayMode& Mode) {
  FDesktop = Mode;
  FHasDesktop = true;
  if (!(FCooperative & DDSCL_EXCLUSIVE)) FMode = Mode;
}

void TDDSoftDevice::SetPlatformModes(std::vector<TDDDisplayMode> Modes) { PlatformModeStore() = std::move(Modes); }

std::vector<TDDDisplayMode> TDDSoftDevice::PlatformModes() { return PlatformModeStore(); }

std::vector<TDDDisplayMode> TDDSoftDevice::EnumDisplayModes() const {
  std::vector<TDDDisplayMode> out = PlatformModeStore();
  if (out.empty() && FHasDesktop) out.push_back(FDesktop);
  const bool has = std::any_of(out.begin(), out.end(),
                               [](const TDDDisplayMode& m) { return m.Width == 800 && m.Height == 600 && m.BitCount == 16; });
  if (!has) out.push_back({800, 600, 16});
  return out;
}

int32_t TDDSoftDevice::SetDisplayMode(int Width, int Height, int BitCount) {
  for (const TDDDisplayMode& m : EnumDisplayModes())
    if (m.Width == Width && m.Height == Height && m.BitCount == BitCount) {
      FMode = m;
      return ddOK;
    }
  return ddErrUnsupportedMode;
}

int32_t TDDSoftDevice::SetCooperativeLevel(uint32_t Flags) {
  const bool full = (Flags & DDSCL_FULLSCREEN) != 0;
  if (full && !(Flags & DDSCL_EXCLUSIVE)) return ddErrInvalidParams;
  // Leaving exclusive mode gives the desktop its own mode back.
  if ((FCooperative & DDSCL_EXCLUSIVE) && !(Flags & DDSCL_EXCLUSIVE)) FMode = FDesktop;
  FCooperative = Flags;
  if (OnCooperativeLevel) OnCooperativeLevel(full);
  return ddOK;
}

void TDDSoftDevice::SetPrimarySize(int Width, int Height) {
  FPrimaryWidth = std::max(Width, 1);
  FPrimaryHeight = std::max(Height, 1);
}

int32_t TDDSoftDevice::CreateSurface(const TDDSurfaceDesc& Desc, std::unique_ptr<TDDSoftSurface>& Out) {
  Out.reset();
  const TDDPixelFormat fmt = Desc.PixelFormat.BitCount ? Desc.PixelFormat : DDPixelFormatOf(FMode.BitCount);
  if (fmt.BitCount != 1 && fmt.BitCount != 4 && fmt.BitCount != 8 && fmt.BitCount != 16 && fmt.BitCount != 24 &&
      fmt.BitCount != 32)
    return ddErrInvalidParams;
  int w = Desc.Width, h = Desc.Height;
  if (Desc.Caps & DDSCAPS_PRIMARYSURFACE) {
    w = FPrimaryWidth;
    h = FPrimaryHeight;
  }
  if (w < 1 || h < 1 || static_cast<int64_t>(w) * h > kMaxSurfacePixels) return ddErrInvalidParams;
  // Everything lives in system memory; the capability says so.
  const uint32_t caps = (Desc.Caps & ~DDSCAPS_VIDEOMEMORY) | DDSCAPS_SYSTEMMEMORY;
  auto s = std::make_unique<TDDSoftSurface>(this, w, h, fmt, caps);
  if ((Desc.Caps & DDSCAPS_PRIMARYSURFACE) && Desc.BackBufferCount > 0)
    s->FBackBuffer = std::make_unique<TDDSoftSurface>(this, w, h, fmt, (caps & ~DDSCAPS_PRIMARYSURFACE) | DDSCAPS_BACKBUFFER);
  Out = std::move(s);
  return ddOK;
}

void TDDSoftDevice::Present(TDDSoftSurface* Primary) {
  if (OnPresent) OnPresent(Primary);
}
