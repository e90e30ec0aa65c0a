// The 32-bit ARGB bitmap: Width x Height pixels, row 0 at the top, with a master alpha, a draw
// mode and a stretch filter that say how it is drawn onto another TBitmap32, and a change
// protocol (Changing / Changed, suppressed while an update is open) that viewers listen to.
//
// This file and bitmaps32.cpp hold the pixel core, which needs no GUI. Exchanging pictures with
// the platform's bitmaps and canvases (Assign from and to TBitmap, LoadFromStream of BMP data)
// is declared here and defined in bitmaps32_gui.cpp, which builds with the GUI layer.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "controls/blend32.h"
#include "platform/core/classes.h"
#include "platform/gui/geometry.h"

class TBitmap;
class TCanvas;

// Base of objects that may be locked by several threads and announce their changes.
class TThreadPersistent : public TObject {
 public:
  std::string ClassName() const override { return "TThreadPersistent"; }
  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;

  // Fire OnChanging / OnChange with this object as sender while no update is open.
  virtual void Changing();
  virtual void Changed();
  void BeginUpdate() { ++FUpdateCount; }
  // Closes an update without firing Changed; raises EAssertionFailed
  // "Unpaired TThreadPersistent.EndUpdate" when none is open.
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }
  void Lock();
  void Unlock();
  int LockCount() const;

 protected:
  int FUpdateCount = 0;

 private:
  std::recursive_mutex FLock;
  int FLockCount = 0;
};

class TCustomMap : public TThreadPersistent {
 public:
  std::string ClassName() const override { return "TCustomMap"; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  virtual void Delete() { SetSize(0, 0); }
  virtual bool Empty() const { return FWidth == 0 || FHeight == 0; }
  virtual void SetSize(int NewWidth, int NewHeight);
  void SetWidth(int W) { SetSize(W, FHeight); }
  void SetHeight(int H) { SetSize(FWidth, H); }

 protected:
  int FWidth = 0;
  int FHeight = 0;
};

enum TDrawMode { dmOpaque, dmBlend };
enum TStretchFilter { sfNearest, sfLinear, sfSpline };

class TBitmap32 : public TCustomMap {
 public:
  TBitmap32() = default;
  std::string ClassName() const override { return "TBitmap32"; }

  // Negative sizes count as 0; the same size again changes nothing and notifies nothing. Raises
  // Exception "Can't allocate the DIB handle" when the pixels cannot be had (the bitmap is then
  // empty).
  void SetSize(int NewWidth, int NewHeight) override;
  bool Empty() const override { return FBits.empty(); }
  void Delete() override;

  // The pixels, row-major, nullptr when empty.
  TColor32* Bits() { return FBits.empty() ? nullptr : FBits.data(); }
  const TColor32* Bits() const { return FBits.empty() ? nullptr : FBits.data(); }
  // Unchecked pixel access.
  TColor32* ScanLine(int Y) { return FBits.data() + static_cast<size_t>(Y) * FWidth; }
  const TColor32* ScanLine(int Y) const { return FBits.data() + static_cast<size_t>(Y) * FWidth; }
  TColor32* PixelPtr(int X, int Y) { return ScanLine(Y) + X; }
  TColor32 Pixel(int X, int Y) const { return ScanLine(Y)[X]; }
  void SetPixel(int X, int Y, TColor32 C) { ScanLine(Y)[X] = C; }
  // BlendColorInto of Color onto the pixel, unchecked; notifies nothing.
  void BlendPixel(int X, int Y, TColor32 Color) { BlendColorInto(Color, *PixelPtr(X, Y)); }

  TDrawMode DrawMode() const { return FDrawMode; }
  void SetDrawMode(TDrawMode V);
  Byte MasterAlpha() const { return FMasterAlpha; }
  void SetMasterAlpha(Byte V);
  TStretchFilter StretchFilter() const { return FStretchFilter; }
  void SetStretchFilter(TStretchFilter V);
  TColor32 OuterColor() const { return FOuterColor; }
  void SetOuterColor(TColor32 V) { FOuterColor = V; }

  // nullptr empties the bitmap; another bitmap gives the same size and pixels (the draw settings
  // stay).
  void Assign(const TBitmap32* Source);

  void Clear(TColor32 Color);
  // Inclusive rectangles (columns X1..X2, rows Y1..Y2).
  void FillRectUnclipped(int X1, int Y1, int X2, int Y2, TColor32 Color);
  // Orders each pair, clips to the bitmap, fills what is left.
  void FillRectClipped(int X1, int Y1, int X2, int Y2, TColor32 Color);
  // An opaque colour fills; otherwise every pixel is mixed with Color by MixColorInto with the
  // colour's alpha as weight (which leaves the alpha byte 0).
  void BlendFillRect(int X1, int Y1, int X2, int Y2, TColor32 Color);
  void MakeOpaque();
  // Draws the whole bitmap into DstRect of Dst with this bitmap's draw mode, stretch filter and
  // master alpha. Nothing when either bitmap is empty.
  void DrawTo(TBitmap32* Dst, const TRect& DstRect) const;

  // Stippled lines: each pixel is blended with the next colour of the pattern.
  void SetStipplePattern(const std::vector<TColor32>& Pattern);
  const std::vector<TColor32>& StipplePattern() const { return FStipplePattern; }
  float StippleStep() const { return FStippleStep; }
  void SetStippleStep(float V) { FStippleStep = V; }
  float StippleCounter() const { return FStippleCounter; }
  void SetStippleCounter(float V) { FStippleCounter = V; }
  TColor32 NextStippleColor();
  void StippleHorzLine(int X1, int Y, int X2);
  void StippleVertLine(int X, int Y1, int Y2);
  void StippleFrameRect(int X1, int Y1, int X2, int Y2);

  // The "Data" image: Width, Height (32-bit little-endian), then the pixels row by row. WriteData
  // writes nothing for an empty bitmap. ReadData raises EReadError "Stream read error" when the
  // stream holds fewer bytes than the sizes promise.
  void ReadData(TStream* Stream);
  void WriteData(TStream* Stream) const;

  // ---- With the GUI layer (bitmaps32_gui.cpp) ----
  // A BMP picture from the stream's position; every pixel becomes opaque.
  void LoadFromStream(TStream* Stream);
  // The platform bitmap's size and pixels, made opaque; nullptr empties the bitmap.
  void Assign(const TBitmap* Source);
  // Our size and pixels into a 32-bit platform bitmap.
  void AssignTo(TBitmap* Dest) const;
  // Copies the whole bitmap onto the canvas at (X, Y).
  void DrawToCanvas(TCanvas* Canvas, int X, int Y) const;

 private:
  std::vector<TColor32> FBits;
  TDrawMode FDrawMode = dmOpaque;
  Byte FMasterAlpha = 255;
  TColor32 FOuterColor = 0;
  TStretchFilter FStretchFilter = sfNearest;
  float FStippleCounter = 0;
  std::vector<TColor32> FStipplePattern;
  float FStippleStep = 1.0f;
};
