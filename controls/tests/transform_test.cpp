#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "controls/transform32.h"

namespace {

// Deterministic pseudo-random pixels.
void Fill(TBitmap32& B, uint32_t Seed) {
  for (int Y = 0; Y < B.Height(); ++Y)
    for (int X = 0; X < B.Width(); ++X) {
      Seed = Seed * 1664525u + 1013904223u;
      B.SetPixel(X, Y, Seed);
    }
}

std::vector<TColor32> Pixels(const TBitmap32& B) { return std::vector<TColor32>(B.Bits(), B.Bits() + B.Width() * B.Height()); }

std::string TransformError(const std::function<void()>& F) {
  try {
    F();
  } catch (const ETransformError& E) {
    return E.Message();
  }
  return "(none)";
}

TEST(TransformTest, BitmapAndSourceRectChecks) {
  TBitmap32 Empty, Src, Dst;
  Src.SetSize(10, 10);
  Dst.SetSize(10, 10);
  EXPECT_EQ(TransformError([&] { CopyBlock(&Empty, 0, 0, &Src, TRect(0, 0, 1, 1), dmOpaque); }),
            "Destination bitmap is nil or empty");
  EXPECT_EQ(TransformError([&] { CopyBlock(nullptr, 0, 0, &Src, TRect(0, 0, 1, 1), dmOpaque); }),
            "Destination bitmap is nil or empty");
  EXPECT_EQ(TransformError([&] { ResampleNearest(&Dst, TRect(0, 0, 5, 5), &Empty, TRect(0, 0, 1, 1), dmOpaque); }),
            "Source bitmap is nil or empty");
  // One pixel past the right edge is invalid, for every filter.
  for (TStretchFilter F : {sfNearest, sfLinear, sfSpline})
    EXPECT_EQ(TransformError([&] { ResampleDraw(&Dst, TRect(0, 0, 5, 5), &Src, TRect(0, 0, 11, 10), dmOpaque, F); }),
              "Source rectangle is invalid");
  // An empty source rectangle draws nothing and raises nothing.
  Dst.Clear(0x11111111);
  for (TStretchFilter F : {sfNearest, sfLinear, sfSpline})
    EXPECT_EQ(TransformError([&] { ResampleDraw(&Dst, TRect(0, 0, 5, 5), &Src, TRect(3, 3, 3, 8), dmOpaque, F); }),
              "(none)");
  EXPECT_EQ(Pixels(Dst), std::vector<TColor32>(100, 0x11111111));
}

TEST(TransformTest, SameSizeBlendEqualsBlendingRowByRow) {
  TBitmap32 Src, Dst, Want;
  Src.SetSize(100, 100);
  Dst.SetSize(100, 100);
  Fill(Src, 1);
  for (Byte Master : {Byte(255), Byte(100)}) {
    Fill(Dst, 2);
    Want.Assign(&Dst);
    Src.SetMasterAlpha(Master);
    for (int Y = 0; Y < 100; ++Y) {
      if (Master == 255)
        BlendRow(Src.ScanLine(Y), Want.ScanLine(Y), 100);
      else
        BlendRowMaster(Src.ScanLine(Y), Want.ScanLine(Y), 100, Master);
    }
    for (TStretchFilter F : {sfNearest, sfLinear, sfSpline}) {
      TBitmap32 Got;
      Got.Assign(&Dst);
      ResampleDraw(&Got, TRect(0, 0, 100, 100), &Src, TRect(0, 0, 100, 100), dmBlend, F);
      EXPECT_EQ(Pixels(Got), Pixels(Want)) << "master " << int(Master) << " filter " << F;
    }
  }
}

TEST(TransformTest, CopyBlockClipsToBothBitmapsAndMasterZeroBlendsNothing) {
  TBitmap32 Src, Dst;
  Src.SetSize(3, 3);
  Fill(Src, 7);
  Dst.SetSize(4, 4);
  Dst.Clear(0);
  CopyBlock(&Dst, 2, -1, &Src, TRect(0, 0, 3, 3), dmOpaque);
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 4; ++X) {
      const bool Inside = X >= 2 && Y <= 1;
      EXPECT_EQ(Dst.Pixel(X, Y), Inside ? Src.Pixel(X - 2, Y + 1) : 0u) << X << "," << Y;
    }
  Src.SetMasterAlpha(0);
  Dst.Clear(0x12345678);
  CopyBlock(&Dst, 0, 0, &Src, TRect(0, 0, 3, 3), dmBlend);
  EXPECT_EQ(Pixels(Dst), std::vector<TColor32>(16, 0x12345678));
  CopyBlock(&Dst, 0, 0, &Src, TRect(0, 0, 3, 3), dmOpaque);  // opaque copies whatever the master alpha
  EXPECT_EQ(Dst.Pixel(1, 1), Src.Pixel(1, 1));
}

TEST(TransformTest, NearestMapsEveryDestinationPixel) {
  TBitmap32 Src, Dst;
  Src.SetSize(2, 2);
  const TColor32 P[2][2] = {{0xFF000001, 0xFF000002}, {0xFF000003, 0xFF000004}};
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 2; ++X) Src.SetPixel(X, Y, P[Y][X]);
  Dst.SetSize(4, 4);
  ResampleNearest(&Dst, TRect(0, 0, 4, 4), &Src, TRect(0, 0, 2, 2), dmOpaque);
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 4; ++X) EXPECT_EQ(Dst.Pixel(X, Y), P[Y / 2][X / 2]);
  // A destination reaching outside the bitmap: only the visible part is drawn, mapped from the
  // rectangle's own origin.
  Dst.Clear(0);
  ResampleNearest(&Dst, TRect(-1, -1, 3, 3), &Src, TRect(0, 0, 2, 2), dmOpaque);
  const int Map[] = {0, 1, 1};  // (x + 1) * 2 div 4 for x = 0..2
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 4; ++X)
      EXPECT_EQ(Dst.Pixel(X, Y), (X < 3 && Y < 3) ? P[Map[Y]][Map[X]] : 0u) << X << "," << Y;
  // Reduction picks i * SrcW div DstW.
  TBitmap32 Row, Half;
  Row.SetSize(4, 1);
  for (int X = 0; X < 4; ++X) Row.SetPixel(X, 0, 0xFF000000u + X);
  Half.SetSize(2, 1);
  ResampleNearest(&Half, TRect(0, 0, 2, 1), &Row, TRect(0, 0, 4, 1), dmOpaque);
  EXPECT_EQ(Half.Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(Half.Pixel(1, 0), 0xFF000002u);
  // A huge destination rectangle costs only its visible part.
  ResampleNearest(&Half, TRect(0, 0, 1000000000, 1000000000), &Row, TRect(0, 0, 4, 1), dmOpaque);
  EXPECT_EQ(Half.Pixel(1, 0), 0xFF000000u);
}

using Table = std::vector<std::vector<std::pair<int, int>>>;
Table AsPairs(const std::vector<TContributionList>& T) {
  Table R;
  for (const auto& L : T) {
    R.emplace_back();
    for (const auto& C : L) R.back().emplace_back(C.Pixel, C.Weight);
  }
  return R;
}

TEST(TransformTest, ContributionTables) {
  // Enlarging 2 -> 3 with the linear filter: scale 2, the middle pixel half of each.
  EXPECT_EQ(AsPairs(BuildContributions(3, 0, 2, sfLinear, 0, 3)), (Table{{{0, 255}}, {{0, 128}, {1, 128}}, {{1, 255}}}));
  // The spline's window is half a pixel either side when enlarging.
  EXPECT_EQ(AsPairs(BuildContributions(3, 0, 2, sfSpline, 1, 1)), (Table{{{0, 122}, {1, 122}}}));
  // Reducing 4 -> 2: scale 1/3, window of three source pixels either side, indices clamped.
  EXPECT_EQ(AsPairs(BuildContributions(2, 0, 4, sfLinear, 0, 2)),
            (Table{{{0, 28}, {0, 57}, {0, 85}, {1, 57}, {2, 28}}, {{1, 28}, {2, 57}, {3, 85}, {3, 57}, {3, 28}}}));
  // A source line that starts later stays inside its own pixels.
  for (const auto& L : BuildContributions(2, 5, 4, sfLinear, 0, 2))
    for (const auto& C : L) {
      EXPECT_GE(C.Pixel, 5);
      EXPECT_LE(C.Pixel, 8);
    }
  EXPECT_TRUE(BuildContributions(3, 0, 0, sfLinear, 0, 3)[0].empty());
}

TEST(TransformTest, LinearStretchTakesBits16To23OfTheSums) {
  TBitmap32 Src, Dst;
  Src.SetSize(2, 1);
  Src.SetPixel(0, 0, 0xFF000000);
  Src.SetPixel(1, 0, 0xFFFFFFFF);
  Dst.SetSize(3, 1);
  ResampleDraw(&Dst, TRect(0, 0, 3, 1), &Src, TRect(0, 0, 2, 1), dmOpaque, sfLinear);
  // 255 * 255 * 255 = 0xFD02FF: a uniform area comes out slightly darker.
  EXPECT_EQ(Dst.Pixel(0, 0), 0xFD000000u);
  EXPECT_EQ(Dst.Pixel(1, 0), 0xFE7F7F7Fu);
  EXPECT_EQ(Dst.Pixel(2, 0), 0xFDFDFDFDu);
}

TEST(TransformTest, OnePixelLinesResampleWithoutFailing) {
  TBitmap32 Dot, Big, Small, Src4;
  Dot.SetSize(1, 1);
  Dot.SetPixel(0, 0, 0xFFFFFFFF);
  Big.SetSize(3, 3);
  for (TStretchFilter F : {sfLinear, sfSpline}) {
    Big.Clear(0);
    ResampleDraw(&Big, TRect(0, 0, 3, 3), &Dot, TRect(0, 0, 1, 1), dmOpaque, F);
    for (int Y = 0; Y < 3; ++Y)
      for (int X = 0; X < 3; ++X) EXPECT_GE(Big.Pixel(X, Y) & 0xFF, 0xF0u) << F;
  }
  Src4.SetSize(4, 4);
  Src4.Clear(0xFFFFFFFF);
  Small.SetSize(1, 1);
  for (TStretchFilter F : {sfLinear, sfSpline}) {
    Small.Clear(0);
    ResampleDraw(&Small, TRect(0, 0, 1, 1), &Src4, TRect(0, 0, 4, 4), dmOpaque, F);
    EXPECT_GE(Small.Pixel(0, 0) & 0xFF, 0xF0u) << F;
  }
}

}  // namespace
