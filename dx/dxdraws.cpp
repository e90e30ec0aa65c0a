#include "dx/dxdraws.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "dx/dxrender.h"

// ---------------------------------------------------------------------------------------------
TDirectDraw::TDirectDraw(const void* GUID, bool DirectX7Mode) {
  (void)GUID;
  (void)DirectX7Mode;
  FDevice = std::make_unique<TDDSoftDevice>();
}

TDirectDraw::~TDirectDraw() {
  while (!FSurfaces.empty()) delete FSurfaces.back();
  while (!FPalettes.empty()) delete FPalettes.back();
  while (!FClippers.empty()) delete FClippers.back();
}

TDDSoftDevice* TDirectDraw::IDDraw() const {
  if (!FDevice) throw EDirectDrawError(Format(SDXNotMade, {"IDirectDraw"}));
  return FDevice.get();
}

// ---------------------------------------------------------------------------------------------
TDirectDrawPalette::TDirectDrawPalette(TDirectDraw* DDraw) : FDDraw(DDraw) { FDDraw->FPalettes.push_back(this); }

TDirectDrawPalette::~TDirectDrawPalette() {
  auto& l = FDDraw->FPalettes;
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
}

bool TDirectDrawPalette::CreatePalette(uint32_t Caps, const TDDPaletteEntry* Entries) {
  auto p = std::make_shared<TDDSoftPalette>(Caps);
  if (Entries) p->SetEntries(0, 256, Entries);
  FPalette = p;
  SetDXResult(dxOK);
  return true;
}

bool TDirectDrawPalette::SetEntries(int Start, int Count, const TDDPaletteEntry* Entries) {
  if (!FPalette) return false;
  SetDXResult(FPalette->SetEntries(Start, Count, Entries));
  return DXResult() == dxOK;
}

std::shared_ptr<TDDSoftPalette> TDirectDrawPalette::IDDPalette() const {
  if (!FPalette) throw EDirectDrawPaletteError(Format(SDXNotMade, {"IDirectDrawPalette"}));
  return FPalette;
}

TDirectDrawClipper::TDirectDrawClipper(TDirectDraw* DDraw) : FDDraw(DDraw) {
  FDDraw->FClippers.push_back(this);
  FClipper = std::make_shared<TDDSoftClipper>();
}

TDirectDrawClipper::~TDirectDrawClipper() {
  auto& l = FDDraw->FClippers;
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
}

void TDirectDrawClipper::SetHandle(TControl* Control) {
  FClipper->SetBound(Control != nullptr);
  if (Control)
    FClipper->SetWindowSize(Control->ClientWidth(), Control->ClientHeight());
  else
    FClipper->SetWindowSize(0, 0);
}

std::shared_ptr<TDDSoftClipper> TDirectDrawClipper::IDDClipper() const {
  if (!FClipper) throw EDirectDrawClipperError(Format(SDXNotMade, {"IDirectDrawClipper"}));
  return FClipper;
}

// ---------------------------------------------------------------------------------------------
TCanvas* TDirectDrawSurfaceCanvas::Canvas() {
  if (!FHeld) {
    TDDSoftSurface* s = FSurface->ISurface();
    const int w = s ? s->Width() : 1, h = s ? s->Height() : 1;
    FBitmap.SetSize(w, h);
    FTaken.clear();
    if (s) {
      FTaken.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
      for (int y = 0; y < h; ++y) {
        uint32_t* taken = FTaken.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        s->RowToARGB(y, taken);
        std::memcpy(FBitmap.ScanLine(y), taken, static_cast<size_t>(w) * 4);
      }
    }
    FHeld = true;
  }
  return FBitmap.Canvas();
}

void TDirectDrawSurfaceCanvas::Release() {
  if (!FHeld) return;
  FHeld = false;
  TDDSoftSurface* s = FSurface->ISurface();
  const int w = FBitmap.Width(), h = FBitmap.Height();
  if (!s || s->Width() != w || s->Height() != h || FTaken.size() != static_cast<size_t>(w) * static_cast<size_t>(h))
    return;
  // Only pixels the canvas changed are stored back; the others keep their exact device value.
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = FBitmap.ScanLine(y);
    const uint32_t* taken = FTaken.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
    if (std::memcmp(row, taken, static_cast<size_t>(w) * 4) == 0) continue;
    for (int x = 0; x < w; ++x)
      if ((row[x] & 0xFFFFFF) != (taken[x] & 0xFFFFFF)) s->SetPixel(x, y, s->RGBToPixel(row[x] & 0xFFFFFF));
  }
  FTaken.clear();
}

TDirectDrawSurface::TDirectDrawSurface(TDirectDraw* DDraw) : FDDraw(DDraw) { FDDraw->FSurfaces.push_back(this); }

TDirectDrawSurface::~TDirectDrawSurface() {
  FCanvas.reset();
  FSurface.reset();
  auto& l = FDDraw->FSurfaces;
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
}

TDDSoftSurface* TDirectDrawSurface::IDDSurface() const {
  if (!FSurface) throw EDirectDrawSurfaceError(Format(SDXNotMade, {"IDirectDrawSurface"}));
  return FSurface.get();
}

void TDirectDrawSurface::SetISurface(std::shared_ptr<TDDSoftSurface> Value) {
  if (FCanvas) FCanvas->Release();
  FSurface.reset();
  FHasClipper = false;
  FLockCount = 0;
  FDesc = TDDSurfaceDesc();
  if (Value) {
    FSurface = std::move(Value);
    FHasClipper = FSurface->Clipper() != nullptr;
    FDesc = FSurface->Desc();
  }
}

bool TDirectDrawSurface::CreateSurface(const TDDSurfaceDesc& Desc) {
  SetISurface(nullptr);
  std::unique_ptr<TDDSoftSurface> s;
  SetDXResult(FDDraw->IDDraw()->CreateSurface(Desc, s));
  if (DXResult() != dxOK) return false;
  SetISurface(std::shared_ptr<TDDSoftSurface>(std::move(s)));
  SetTransparentColor(0);
  return true;
}

void TDirectDrawSurface::SetSize(int AWidth, int AHeight) {
  if (AWidth < 1 || AHeight < 1) {
    SetISurface(nullptr);
    return;
  }
  TDDSurfaceDesc d;
  d.Width = AWidth;
  d.Height = AHeight;
  d.Caps = DDSCAPS_OFFSCREENPLAIN | (FSystemMemory ? DDSCAPS_SYSTEMMEMORY : 0);
  if (!CreateSurface(d)) {
    if (!FSystemMemory) {
      d.Caps = (d.Caps & ~DDSCAPS_VIDEOMEMORY) | DDSCAPS_SYSTEMMEMORY;
      if (CreateSurface(d)) {
        FSystemMemory = true;
        return;
      }
    }
    throw EDirectDrawSurfaceError(Format(SDXCannotMake, {SDXNameSurface}));
  }
}

void TDirectDrawSurface::FlushCanvas() {
  if (FCanvas) FCanvas->Release();
}

void TDirectDrawSurface::SetTransparentColor(uint32_t Value) { SetColorKey(DDCKEY_SRCBLT, Value, Value); }

bool TDirectDrawSurface::SetColorKey(uint32_t Flags, uint32_t Low, uint32_t High) {
  if (!FSurface) return false;
  SetDXResult(FSurface->SetColorKey(Flags, Low, High));
  FDesc = FSurface->Desc();
  return DXResult() == dxOK;
}

bool TDirectDrawSurface::SetPalette(TDirectDrawPalette* Palette) {
  if (!FSurface) return false;
  SetDXResult(FSurface->SetPalette(Palette ? Palette->IPalette() : nullptr));
  return DXResult() == dxOK;
}

bool TDirectDrawSurface::SetClipper(TDirectDrawClipper* Clipper) {
  if (!FSurface) return false;
  SetDXResult(FSurface->SetClipper(Clipper ? Clipper->IClipper() : nullptr));
  FHasClipper = Clipper && DXResult() == dxOK;
  return DXResult() == dxOK;
}

bool TDirectDrawSurface::Restore() {
  if (!FSurface) return false;
  SetDXResult(FSurface->Restore());
  return DXResult() == dxOK;
}

bool TDirectDrawSurface::Lock(const TRect* R, TDDSurfaceDesc& Desc) {
  if (!FSurface || FLockCount >= 1) return false;
  FlushCanvas();
  const TRect whole = ClientRect();
  SetDXResult(FSurface->Lock(R && !(*R == whole) ? R : nullptr, Desc));
  if (DXResult() != dxOK) return false;
  ++FLockCount;
  return true;
}

void TDirectDrawSurface::Unlock() {
  if (FLockCount < 1) return;
  if (--FLockCount == 0 && FSurface) SetDXResult(FSurface->Unlock());
}

uint32_t TDirectDrawSurface::Pixels(int X, int Y) {
  if (!FSurface || X < 0 || Y < 0 || X >= Width() || Y >= Height()) return 0;
  TDDSurfaceDesc d;
  if (!Lock(nullptr, d)) return 0;
  const uint32_t v = FSurface->GetPixel(X, Y);
  Unlock();
  return v;
}

void TDirectDrawSurface::SetPixels(int X, int Y, uint32_t Value) {
  if (!FSurface || X < 0 || Y < 0 || X >= Width() || Y >= Height()) return;
  TDDSurfaceDesc d;
  if (!Lock(nullptr, d)) return;
  FSurface->SetPixel(X, Y, Value);
  Unlock();
}

uint32_t TDirectDrawSurface::ColorMatch(TColor Color) {
  if (!FSurface) return 0;
  const TColor c = ColorToRGB(Color);
  const uint32_t rgb = (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) |
                       static_cast<uint32_t>(GetBValue(c));
  return FSurface->RGBToPixel(rgb);
}

void TDirectDrawSurface::Fill(uint32_t DevColor) {
  if (!FSurface) return;
  FlushCanvas();
  TDDBltFx fx;
  fx.FillColor = DevColor;
  SetDXResult(FSurface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
}

bool TDirectDrawSurface::Blt(const TRect& Dest, const TRect& Src, uint32_t Flags, const TDDBltFx* Fx,
                             TDirectDrawSurface* Source) {
  if (!FSurface) return false;
  FlushCanvas();
  if (Source) Source->FlushCanvas();
  SetDXResult(FSurface->Blt(&Dest, Source ? Source->ISurface() : nullptr, &Src, Flags, Fx));
  return DXResult() == dxOK;
}

bool TDirectDrawSurface::BltFast(int X, int Y, TDirectDrawSurface* Source, const TRect& Src, uint32_t Flags) {
  if (!FSurface) return false;
  FlushCanvas();
  if (Source) Source->FlushCanvas();
  SetDXResult(FSurface->BltFast(X, Y, Source ? Source->ISurface() : nullptr, &Src, Flags));
  return DXResult() == dxOK;
}

bool ClipRects(TRect& D, TRect& S, const TRect& DC, const TRect& SC) {
  // Left and top edges.
  if (DC.Left > D.Left) {
    S.Left += DC.Left - D.Left;
    D.Left = DC.Left;
  }
  if (DC.Top > D.Top) {
    S.Top += DC.Top - D.Top;
    D.Top = DC.Top;
  }
  if (SC.Left > S.Left) {
    D.Left += SC.Left - S.Left;
    S.Left = SC.Left;
  }
  if (SC.Top > S.Top) {
    D.Top += SC.Top - S.Top;
    S.Top = SC.Top;
  }
  // Right and bottom edges.
  if (DC.Right < D.Right) {
    S.Right -= D.Right - DC.Right;
    D.Right = DC.Right;
  }
  if (DC.Bottom < D.Bottom) {
    S.Bottom -= D.Bottom - DC.Bottom;
    D.Bottom = DC.Bottom;
  }
  if (SC.Right < S.Right) {
    D.Right -= S.Right - SC.Right;
    S.Right = SC.Right;
  }
  if (SC.Bottom < S.Bottom) {
    D.Bottom -= S.Bottom - SC.Bottom;
    S.Bottom = SC.Bottom;
  }
  return D.Left < D.Right && D.Top < D.Bottom && S.Left < S.Right && S.Top < S.Bottom;
}

void TDirectDrawSurface::Draw(int X, int Y, const TRect& SrcRect, TDirectDrawSurface* Source, bool Transparent) {
  if (!Source || !FSurface || !Source->ISurface()) return;
  if (X > Width() || Y > Height()) return;
  TRect src = SrcRect;
  if (src.Left <= src.Right && src.Top <= src.Bottom) {
    TRect dst(X, Y, X + src.Width(), Y + src.Height());
    if (!ClipRects(dst, src, ClientRect(), Source->ClientRect())) return;
    if (FHasClipper) {
      Blt(dst, src, DDBLT_WAIT | (Transparent ? DDBLT_KEYSRC : 0), nullptr, Source);
      return;
    }
    if (!BltFast(dst.Left, dst.Top, Source, src, DDBLTFAST_WAIT | (Transparent ? DDBLTFAST_SRCCOLORKEY : 0)) &&
        DXResult() == ddErrBltFastCantClip) {
      if (FSurface->Clipper()) FHasClipper = true;
      Blt(dst, src, DDBLT_WAIT | (Transparent ? DDBLT_KEYSRC : 0), nullptr, Source);
    }
    return;
  }
  // Mirrored: a reversed rectangle draws flipped.
  if (std::abs(src.Left - src.Right) + X <= 0 || std::abs(src.Top - src.Bottom) + Y <= 0) return;
  TDDBltFx fx;
  if (src.Left > src.Right) {
    std::swap(src.Left, src.Right);
    fx.DDFX |= DDBLTFX_MIRRORLEFTRIGHT;
  }
  if (src.Top > src.Bottom) {
    std::swap(src.Top, src.Bottom);
    fx.DDFX |= DDBLTFX_MIRRORUPDOWN;
  }
  TRect dst(X, Y, X + src.Width(), Y + src.Height());
  if (!ClipRects(dst, src, ClientRect(), Source->ClientRect())) return;
  const int sw = Source->Width(), sh = Source->Height();
  if (fx.DDFX & DDBLTFX_MIRRORLEFTRIGHT) {
    const int l = sw - src.Right, r = sw - src.Left;
    src.Left = l;
    src.Right = r;
  }
  if (fx.DDFX & DDBLTFX_MIRRORUPDOWN) {
    const int t = sh - src.Bottom, b = sh - src.Top;
    src.Top = t;
    src.Bottom = b;
  }
  Blt(dst, src, DDBLT_WAIT | DDBLT_DDFX | (Transparent ? DDBLT_KEYSRC : 0), &fx, Source);
}

void TDirectDrawSurface::DrawWaveBlended(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                                         TDirectDrawSurface* Source, bool Transparent, int Amplitude, int WaveLength,
                                         int Phase, int Alpha) {
  if (Alpha <= 0 || !Source || !FSurface || !Source->ISurface()) return;
  if (Width() == 0 || Height() == 0 || Source->Width() == 0 || Source->Height() == 0 || AWidth == 0 || AHeight == 0)
    return;
  TDXR_Surface dst, src;
  if (!DXRDescribeSurface(this, dst)) return;
  if (Source == this || !DXRDescribeSurface(Source, src)) {
    DXRReleaseSurface(this, dst);
    return;
  }
  int blend;
  if (dst.Indexed)
    blend = rbCopy;
  else if (Alpha >= 255)
    blend = rbAdd;
  else
    blend = rbAddAlpha;
  uint32_t key = 0, keyHigh = 0;
  Source->ISurface()->GetColorKey(key, keyHigh);
  TDXRMachine::Instance().DrawWave(dst, src, X, key, Transparent, Alpha, blend, Phase, WaveLength, Amplitude, SrcRect,
                                   AHeight, AWidth, Y);
  DXRReleaseSurface(Source, src);
  DXRReleaseSurface(this, dst);
}

TDirectDrawSurfaceCanvas* TDirectDrawSurface::SurfaceCanvas() {
  if (!FCanvas) FCanvas = std::make_unique<TDirectDrawSurfaceCanvas>(this);
  return FCanvas.get();
}

TCanvas* TDirectDrawSurface::Canvas() { return SurfaceCanvas()->Canvas(); }

void TDirectDrawSurface::ReleaseCanvas() { FlushCanvas(); }

void TDirectDrawSurface::LoadFromGraphic(TGraphic* Graphic) {
  if (!Graphic) return;
  LoadFromGraphicRect(Graphic, 0, 0, TRect(0, 0, Graphic->Width(), Graphic->Height()));
}

void TDirectDrawSurface::LoadFromGraphicRect(TGraphic* Graphic, int AWidth, int AHeight, const TRect& Src) {
  if (!Graphic) return;
  const int w = AWidth ? AWidth : Src.Width(), h = AHeight ? AHeight : Src.Height();
  SetSize(w, h);
  if (!FSurface) return;
  FlushCanvas();
  TDIB tmp;
  const TDIB* dib = dynamic_cast<const TDIB*>(Graphic);
  if (!dib) {
    tmp.Assign(static_cast<const TGraphic*>(Graphic));
    dib = &tmp;
  }
  const int64_t sw = Src.Width(), sh = Src.Height();
  if (sw <= 0 || sh <= 0) return;
  for (int y = 0; y < h; ++y) {
    const int sy = Src.Top + static_cast<int>(y * sh / h);
    for (int x = 0; x < w; ++x) {
      const int sx = Src.Left + static_cast<int>(x * sw / w);
      if (sx < 0 || sy < 0 || sx >= dib->Width() || sy >= dib->Height()) continue;
      FSurface->SetPixel(x, y, FSurface->RGBToPixel(dib->PixelRGB(sx, sy)));
    }
  }
}

void TDirectDrawSurface::Assign(TPersistent* Source) {
  if (!Source) {
    SetISurface(nullptr);
    return;
  }
  if (auto* s = dynamic_cast<TDirectDrawSurface*>(Source)) {
    if (!s->ISurface()) {
      SetISurface(nullptr);
      return;
    }
    s->FlushCanvas();
    // A duplicate shares the source's memory.
    SetISurface(s->FSurface);
    return;
  }
  TPersistent::Assign(Source);
}

void TDirectDrawSurface::AssignTo(TDIB* Dest) {
  if (!Dest) return;
  FlushCanvas();
  Dest->SetSize(Width(), Height(), 24);
  for (int y = 0; y < Height(); ++y)
    for (int x = 0; x < Width(); ++x) {
      const uint32_t rgb = FSurface->PixelToRGB(FSurface->GetPixel(x, y));
      Dest->SetPixels(x, y, ((rgb & 255) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 255));
    }
}
