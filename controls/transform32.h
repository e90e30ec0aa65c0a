// Copying, blending and resampling a rectangle of one TBitmap32 into another.
#pragma once

#include <vector>

#include "controls/bitmaps32.h"

VX_DECLARE_EXCEPTION(ETransformError, Exception)

// Raises ETransformError "Destination bitmap is nil or empty" / "Source bitmap is nil or empty".
void CheckBitmaps(const TBitmap32* Dst, const TBitmap32* Src);
// False for an empty R; raises ETransformError "Source rectangle is invalid" when R reaches outside
// the source.
bool CheckSourceRect(const TBitmap32* Src, const TRect& R);

// SrcRect of Src onto Dst with its top-left corner at (DstX, DstY): dmOpaque copies, dmBlend
// blends with the source's master alpha. Clipped to both bitmaps.
void CopyBlock(TBitmap32* Dst, int DstX, int DstY, const TBitmap32* Src, const TRect& SrcRect, TDrawMode DrawMode);
// Nearest-neighbour stretch of SrcRect into DstRect.
void ResampleNearest(TBitmap32* Dst, const TRect& DstRect, const TBitmap32* Src, const TRect& SrcRect,
                     TDrawMode DrawMode);
// Stretch with the filter; the master alpha is the source's.
void ResampleDraw(TBitmap32* Dst, const TRect& DstRect, const TBitmap32* Src, const TRect& SrcRect,
                  TDrawMode DrawMode, TStretchFilter Filter);

// The filters, over a distance in source pixels: linear (width 1) and cubic spline (width 2).
double LinearFilter(double X);
double SplineFilter(double X);

// For one destination index, the source pixels that make it and their weights (255 = all).
struct TContribution {
  int Pixel;
  int Weight;
};
using TContributionList = std::vector<TContribution>;
// The tables of destination indices First..First+Count-1 of a DstSize-pixel line made from the
// SrcSize source pixels starting at SrcLo.
std::vector<TContributionList> BuildContributions(int DstSize, int SrcLo, int SrcSize, TStretchFilter Filter,
                                                  int First, int Count);
