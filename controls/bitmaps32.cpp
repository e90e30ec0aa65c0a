#include "controls/bitmaps32.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "platform/core/sysutils.h"
#include "controls/transform32.h"

namespace {
// Guards every bitmap's lock count.
std::mutex& GlobalLock() {
  static std::mutex M;
  return M;
}

// Larger bitmaps are refused like a failed allocation (1 GiB of pixels).
const int64_t MaxPixels = int64_t(1) << 28;
}  // namespace

// ---- TThreadPersistent ----------------------------------------------------------------------------

void TThreadPersistent::Changing() {
  if (FUpdateCount == 0 && OnChanging) OnChanging(this);
}

void TThreadPersistent::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TThreadPersistent::EndUpdate() {
  if (FUpdateCount < 1) throw EAssertionFailed("Unpaired TThreadPersistent.EndUpdate");
  --FUpdateCount;
}

void TThreadPersistent::Lock() {
  {
    std::lock_guard<std::mutex> G(GlobalLock());
    ++FLockCount;
  }
  FLock.lock();
}

void TThreadPersistent::Unlock() {
  FLock.unlock();
  std::lock_guard<std::mutex> G(GlobalLock());
  --FLockCount;
}

int TThreadPersistent::LockCount() const {
  std::lock_guard<std::mutex> G(GlobalLock());
  return FLockCount;
}

// ---- TCustomMap -----------------------------------------------------------------------------------

void TCustomMap::SetSize(int NewWidth, int NewHeight) {
  FWidth = NewWidth;
  FHeight = NewHeight;
}

// ---- TBitmap32 ------------------------------------------------------------------------------------

void TBitmap32::SetSize(int NewWidth, int NewHeight) {
  if (NewWidth < 0) NewWidth = 0;
  if (NewHeight < 0) NewHeight = 0;
  if (NewWidth == FWidth && NewHeight == FHeight) return;
  Changing();
  std::vector<TColor32>().swap(FBits);
  FWidth = FHeight = 0;
  if (NewWidth >= 1 && NewHeight >= 1) {
    const int64_t N = int64_t(NewWidth) * NewHeight;
    if (N > MaxPixels) throw Exception("Can't allocate the DIB handle");
    try {
      FBits.assign(static_cast<size_t>(N), 0);
    } catch (const std::bad_alloc&) {
      throw Exception("Can't allocate the DIB handle");
    }
    FWidth = NewWidth;
    FHeight = NewHeight;
  }
  Changed();
}

void TBitmap32::Delete() {
  Changing();
  SetSize(0, 0);
  Changed();
}

void TBitmap32::SetDrawMode(TDrawMode V) {
  if (V == FDrawMode) return;
  Changing();
  FDrawMode = V;
  Changed();
}

void TBitmap32::SetMasterAlpha(Byte V) {
  if (V == FMasterAlpha) return;
  Changing();
  FMasterAlpha = V;
  Changed();
}

void TBitmap32::SetStretchFilter(TStretchFilter V) {
  if (V == FStretchFilter) return;
  Changing();
  FStretchFilter = V;
  Changed();
}

void TBitmap32::Assign(const TBitmap32* Source) {
  if (Source == this) return;
  Changing();
  BeginUpdate();
  try {
    if (!Source) {
      SetSize(0, 0);
    } else {
      SetSize(Source->Width(), Source->Height());
      FBits = Source->FBits;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  Changed();
}

void TBitmap32::Clear(TColor32 Color) {
  if (Empty()) return;
  Changing();
  FillLongword(FBits.data(), static_cast<int>(FBits.size()), Color);
  Changed();
}

void TBitmap32::FillRectUnclipped(int X1, int Y1, int X2, int Y2, TColor32 Color) {
  // Coordinates outside the bitmap are cut off rather than written to foreign memory.
  if (X1 < 0) X1 = 0;
  if (Y1 < 0) Y1 = 0;
  if (X2 > FWidth - 1) X2 = FWidth - 1;
  if (Y2 > FHeight - 1) Y2 = FHeight - 1;
  if (X2 < X1 || Y2 < Y1) return;
  Changing();
  for (int Y = Y1; Y <= Y2; ++Y) FillLongword(PixelPtr(X1, Y), X2 - X1 + 1, Color);
  Changed();
}

void TBitmap32::FillRectClipped(int X1, int Y1, int X2, int Y2, TColor32 Color) {
  if (!ClipRange(X1, X2, FWidth) || !ClipRange(Y1, Y2, FHeight)) return;
  FillRectUnclipped(X1, Y1, X2, Y2, Color);
}

void TBitmap32::BlendFillRect(int X1, int Y1, int X2, int Y2, TColor32 Color) {
  const uint32_t A = Color >> 24;
  if (A == 255) {
    FillRectUnclipped(X1, Y1, X2, Y2, Color);
    return;
  }
  if (X1 < 0) X1 = 0;
  if (Y1 < 0) Y1 = 0;
  if (X2 > FWidth - 1) X2 = FWidth - 1;
  if (Y2 > FHeight - 1) Y2 = FHeight - 1;
  if (X2 < X1 || Y2 < Y1) return;
  Changing();
  for (int Y = Y1; Y <= Y2; ++Y) {
    TColor32* P = PixelPtr(X1, Y);
    for (int X = X1; X <= X2; ++X, ++P) MixColorInto(Color, *P, A);
  }
  EndMixing();
  Changed();
}

void TBitmap32::MakeOpaque() {
  Changing();
  for (TColor32& P : FBits) P |= 0xFF000000u;
  Changed();
}

void TBitmap32::DrawTo(TBitmap32* Dst, const TRect& DstRect) const {
  if (Empty() || !Dst || Dst->Empty()) return;
  Dst->Changing();
  ResampleDraw(Dst, DstRect, this, TRect(0, 0, FWidth, FHeight), FDrawMode, FStretchFilter);
  Dst->Changed();
}

// ---- Stipple --------------------------------------------------------------------------------------

void TBitmap32::SetStipplePattern(const std::vector<TColor32>& Pattern) {
  FStipplePattern = Pattern;
  FStippleCounter = 0;
}

TColor32 TBitmap32::NextStippleColor() {
  const int N = static_cast<int>(FStipplePattern.size());
  if (N == 0) return clBlack32;
  if (!std::isfinite(FStippleCounter)) FStippleCounter = 0;
  FStippleCounter = std::fmod(FStippleCounter, static_cast<float>(N));
  if (FStippleCounter < 0) FStippleCounter += N;
  int I = static_cast<int>(std::nearbyint(FStippleCounter - 0.5f));
  if (I < 0) {
    I = N - 1;
    FStippleCounter = static_cast<float>(N - 1);
  }
  if (I >= N) I = N - 1;
  const int W = 255 - static_cast<int>(std::nearbyint((FStippleCounter - I) * 255.0f));
  int Next = I + 1;
  if (Next >= N) Next = 0;
  const TColor32 Result =
      W == 255 ? FStipplePattern[static_cast<size_t>(I)]
               : MixColors(FStipplePattern[static_cast<size_t>(I)], FStipplePattern[static_cast<size_t>(Next)],
                           static_cast<uint32_t>(std::clamp(W, 0, 255)));
  FStippleCounter += FStippleStep;
  return Result;
}

void TBitmap32::StippleHorzLine(int X1, int Y, int X2) {
  if (Y < 0 || Y >= FHeight || FWidth == 0) return;
  const int Step = X1 <= X2 ? 1 : -1;
  const int Lo = std::max(std::min(X1, X2), 0), Hi = std::min(std::max(X1, X2), FWidth - 1);
  if (Hi < Lo) return;
  int From = Step > 0 ? Lo : Hi;
  const int To = Step > 0 ? Hi : Lo;
  for (int X = From;; X += Step) {
    BlendPixel(X, Y, NextStippleColor());
    if (X == To) break;
  }
  EndMixing();
}

void TBitmap32::StippleVertLine(int X, int Y1, int Y2) {
  if (X < 0 || X >= FWidth || FHeight == 0) return;
  const int Step = Y1 <= Y2 ? 1 : -1;
  const int Lo = std::max(std::min(Y1, Y2), 0), Hi = std::min(std::max(Y1, Y2), FHeight - 1);
  if (Hi < Lo) return;
  int From = Step > 0 ? Lo : Hi;
  const int To = Step > 0 ? Hi : Lo;
  for (int Y = From;; Y += Step) {
    BlendPixel(X, Y, NextStippleColor());
    if (Y == To) break;
  }
  EndMixing();
}

void TBitmap32::StippleFrameRect(int X1, int Y1, int X2, int Y2) {
  OrderPair(X1, X2);
  OrderPair(Y1, Y2);
  StippleHorzLine(X1, Y1, X2);
  if (Y2 - Y1 >= 2) StippleVertLine(X2, Y1 + 1, Y2 - 1);
  if (X2 > X1 && Y2 - Y1 >= 2) StippleVertLine(X1, Y1 + 1, Y2 - 1);
  if (Y2 > Y1) StippleHorzLine(X1, Y2, X2);
}

// ---- Data image -----------------------------------------------------------------------------------

void TBitmap32::WriteData(TStream* Stream) const {
  if (Empty()) return;
  const int32_t W = FWidth, H = FHeight;
  Stream->WriteBuffer(&W, 4);
  Stream->WriteBuffer(&H, 4);
  Stream->WriteBuffer(FBits.data(), static_cast<int64_t>(FBits.size()) * 4);
}

void TBitmap32::ReadData(TStream* Stream) {
  Changing();
  int32_t W, H;
  Stream->ReadBuffer(&W, 4);
  Stream->ReadBuffer(&H, 4);
  const int64_t Need = (W > 0 && H > 0) ? int64_t(W) * H * 4 : 0;
  if (Need > Stream->Size() - Stream->Position()) throw EReadError("Stream read error");
  SetSize(W, H);
  if (!Empty()) Stream->ReadBuffer(FBits.data(), Need);
  Changed();
}
