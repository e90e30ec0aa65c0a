#include "controls/transform32.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

void CheckBitmaps(const TBitmap32* Dst, const TBitmap32* Src) {
  if (!Dst || Dst->Empty()) throw ETransformError("Destination bitmap is nil or empty");
  if (!Src || Src->Empty()) throw ETransformError("Source bitmap is nil or empty");
}

bool CheckSourceRect(const TBitmap32* Src, const TRect& R) {
  if (R.IsEmpty()) return false;
  if (R.Left < 0 || R.Top < 0 || R.Right > Src->Width() || R.Bottom > Src->Height())
    throw ETransformError("Source rectangle is invalid");
  return true;
}

void CopyBlock(TBitmap32* Dst, int DstX, int DstY, const TBitmap32* Src, const TRect& SrcRect, TDrawMode DrawMode) {
  CheckBitmaps(Dst, Src);
  if (DrawMode == dmBlend && Src->MasterAlpha() == 0) return;
  const TRect S = IntersectRect(SrcRect, TRect(0, 0, Src->Width(), Src->Height()));
  const int DX = DstX - SrcRect.Left, DY = DstY - SrcRect.Top;
  const TRect R = IntersectRect(OffsetRect(S, DX, DY), TRect(0, 0, Dst->Width(), Dst->Height()));
  if (R.IsEmpty()) return;
  const int N = R.Width();
  for (int Y = R.Top; Y < R.Bottom; ++Y) {
    const TColor32* From = Src->ScanLine(Y - DY) + (R.Left - DX);
    TColor32* To = Dst->ScanLine(Y) + R.Left;
    if (DrawMode == dmOpaque)
      std::copy(From, From + N, To);
    else if (Src->MasterAlpha() == 255)
      BlendRow(From, To, N);
    else
      BlendRowMaster(From, To, N, Src->MasterAlpha());
  }
  EndMixing();
}

void ResampleNearest(TBitmap32* Dst, const TRect& DstRect, const TBitmap32* Src, const TRect& SrcRect,
                     TDrawMode DrawMode) {
  CheckBitmaps(Dst, Src);
  if (!CheckSourceRect(Src, SrcRect)) return;
  const TRect D = IntersectRect(DstRect, TRect(0, 0, Dst->Width(), Dst->Height()));
  const Byte Master = Src->MasterAlpha();
  if (D.IsEmpty() || (DrawMode == dmBlend && Master == 0)) return;
  if (DstRect.Width() == SrcRect.Width() && DstRect.Height() == SrcRect.Height()) {
    CopyBlock(Dst, DstRect.Left, DstRect.Top, Src, SrcRect, DrawMode);
    return;
  }
  const int64_t SrcW = SrcRect.Width(), SrcH = SrcRect.Height();
  const int64_t DstW = DstRect.Width(), DstH = DstRect.Height();
  // The map is built for the visible columns only; a huge destination rectangle costs nothing.
  std::vector<int> MapX(static_cast<size_t>(D.Width()));
  for (int X = D.Left; X < D.Right; ++X)
    MapX[static_cast<size_t>(X - D.Left)] = static_cast<int>((X - DstRect.Left) * SrcW / DstW) + SrcRect.Left;
  for (int Y = D.Top; Y < D.Bottom; ++Y) {
    const int SY = static_cast<int>((Y - DstRect.Top) * SrcH / DstH) + SrcRect.Top;
    const TColor32* From = Src->ScanLine(SY);
    TColor32* To = Dst->ScanLine(Y) + D.Left;
    const int N = D.Width();
    if (DrawMode == dmOpaque) {
      for (int I = 0; I < N; ++I) To[I] = From[MapX[static_cast<size_t>(I)]];
    } else if (Master == 255) {
      for (int I = 0; I < N; ++I) BlendColorInto(From[MapX[static_cast<size_t>(I)]], To[I]);
    } else {
      for (int I = 0; I < N; ++I) BlendColorIntoMaster(From[MapX[static_cast<size_t>(I)]], To[I], Master);
    }
  }
  EndMixing();
}

double LinearFilter(double X) {
  if (X >= -1.0 && X < 0.0) return 1.0 + X;
  if (X >= 0.0 && X < 1.0) return 1.0 - X;
  return 0.0;
}

double SplineFilter(double X) {
  const double T = std::fabs(X);
  if (T < 1.0) return 0.5 * T * T * T - T * T + 2.0 / 3.0;
  if (T < 2.0) {
    const double U = 2.0 - T;
    return U * U * U / 6.0;
  }
  return 0.0;
}

namespace {
// Nearest integer, halves to even (the default rounding mode).
int RoundEven(long double V) { return static_cast<int>(std::nearbyint(V)); }
}  // namespace

std::vector<TContributionList> BuildContributions(int DstSize, int SrcLo, int SrcSize, TStretchFilter Filter,
                                                  int First, int Count) {
  std::vector<TContributionList> Table(static_cast<size_t>(std::max(Count, 0)));
  if (SrcSize <= 0 || DstSize <= 0 || Count <= 0) return Table;
  double (*F)(double) = Filter == sfSpline ? SplineFilter : LinearFilter;
  const long double Width = Filter == sfSpline ? 2.0L : 1.0L;
  // The scale maps the first and last pixels onto each other. A line of one pixel on either side
  // has no such pair; its scale is the plain size ratio.
  long double Scale;
  if (DstSize > 1 && SrcSize > 1)
    Scale = static_cast<long double>(DstSize - 1) / (SrcSize - 1);
  else
    Scale = static_cast<long double>(DstSize) / SrcSize;
  // Source indices stay inside the source line.
  auto Clamp = [&](long long J) {
    return static_cast<int>(std::clamp<long long>(J + SrcLo, SrcLo, static_cast<long long>(SrcLo) + SrcSize - 1));
  };
  for (int K = 0; K < Count; ++K) {
    const int I = First + K;
    TContributionList& List = Table[static_cast<size_t>(K)];
    const long double Center = I / Scale;
    if (Scale >= 1.0L) {
      const long double Half = 1.0L / Width;
      const long long Lo = static_cast<long long>(std::floor(Center - Half));
      const long long Hi = static_cast<long long>(std::ceil(Center + Half));
      for (long long J = Lo; J <= Hi; ++J) {
        const int W = RoundEven(F(static_cast<double>(Center - J)) * 255.0L);
        if (W != 0) List.push_back({Clamp(J), W});
      }
    } else {
      const long double Half = Width / Scale;
      const long long Lo = static_cast<long long>(std::floor(Center - Half));
      const long long Hi = static_cast<long long>(std::ceil(Center + Half));
      long double Sum = 0;
      for (long long J = Lo; J <= Hi; ++J) {
        const int W = RoundEven(F(static_cast<double>((Center - J) * Scale)) * 255.0L * Scale);
        if (W != 0) {
          List.push_back({Clamp(J), W});
          Sum += W / 255.0L;
        }
      }
      if (Sum > 0 && Sum != 1.0L)
        for (TContribution& C : List) C.Weight = RoundEven(C.Weight / Sum);
    }
  }
  return Table;
}

void ResampleDraw(TBitmap32* Dst, const TRect& DstRect, const TBitmap32* Src, const TRect& SrcRect,
                  TDrawMode DrawMode, TStretchFilter Filter) {
  if (Filter == sfNearest) {
    ResampleNearest(Dst, DstRect, Src, SrcRect, DrawMode);
    return;
  }
  CheckBitmaps(Dst, Src);
  if (!CheckSourceRect(Src, SrcRect) || DstRect.IsEmpty()) return;
  const TRect D = IntersectRect(DstRect, TRect(0, 0, Dst->Width(), Dst->Height()));
  const Byte Master = Src->MasterAlpha();
  if (D.IsEmpty() || (DrawMode == dmBlend && Master == 0)) return;
  if (DstRect.Width() == SrcRect.Width() && DstRect.Height() == SrcRect.Height()) {
    CopyBlock(Dst, DstRect.Left, DstRect.Top, Src, SrcRect, DrawMode);
    return;
  }
  // Tables for the visible part of the destination only.
  const auto XTable = BuildContributions(DstRect.Width(), SrcRect.Left, SrcRect.Width(), Filter,
                                         D.Left - DstRect.Left, D.Width());
  const auto YTable = BuildContributions(DstRect.Height(), SrcRect.Top, SrcRect.Height(), Filter,
                                         D.Top - DstRect.Top, D.Height());
  // A channel's sum carries the colour in bits 16..23; sums are kept to 24 bits so that weights
  // rounded up a little cannot wrap a bright channel round to dark.
  auto Bits16to23 = [](int64_t Sum) { return static_cast<uint32_t>(std::clamp<int64_t>(Sum, 0, 0xFFFFFF)) & 0xFF0000u; };
  for (int Y = D.Top; Y < D.Bottom; ++Y) {
    const TContributionList& CY = YTable[static_cast<size_t>(Y - D.Top)];
    TColor32* To = Dst->ScanLine(Y);
    for (int X = D.Left; X < D.Right; ++X) {
      const TContributionList& CX = XTable[static_cast<size_t>(X - D.Left)];
      int64_t SA = 0, SR = 0, SG = 0, SB = 0;
      for (const TContribution& WY : CY) {
        const TColor32* Row = Src->ScanLine(WY.Pixel);
        for (const TContribution& WX : CX) {
          const TColor32 C = Row[WX.Pixel];
          const int64_t W = static_cast<int64_t>(WX.Weight) * WY.Weight;
          SA += (C >> 24) * W;
          SR += ((C >> 16) & 0xFF) * W;
          SG += ((C >> 8) & 0xFF) * W;
          SB += (C & 0xFF) * W;
        }
      }
      const TColor32 Result = (Bits16to23(SA) << 8) | Bits16to23(SR) | (Bits16to23(SG) >> 8) | (Bits16to23(SB) >> 16);
      if (DrawMode == dmOpaque)
        To[X] = Result;
      else
        BlendColorIntoMaster(Result, To[X], Master);
    }
  }
  EndMixing();
}
