#include <gtest/gtest.h>

#include "htmlview/dither.h"

namespace {

TPixelBuffer Solid(int W, int H, uint8_t R, uint8_t G, uint8_t B) {
  TPixelBuffer P;
  P.SetSize(W, H, RGBPixel(R, G, B));
  return P;
}

TEST(Dither, CubeLookupLevels) {
  TNetscapeColorLookup L;
  uint8_t R, G, B;
  struct {
    uint8_t V;
    int Level;
  } const Cases[] = {{0, 0}, {47, 0}, {48, 1}, {98, 1}, {99, 2}, {200, 3}, {201, 4}, {252, 5}, {255, 5}};
  for (const auto& C : Cases) {
    EXPECT_EQ(L.NearestIndex(C.V, 0, 0, R, G, B), C.Level * 36) << int(C.V);
    EXPECT_EQ(R, C.Level * 51);
    EXPECT_EQ(L.NearestIndex(0, 0, C.V, R, G, B), C.Level) << int(C.V);
  }
  EXPECT_EQ(L.NearestIndex(255, 255, 255, R, G, B), 215);
  EXPECT_EQ(NetscapePalette()[215], (TPaletteEntry{255, 255, 255, 0}));
}

TEST(Dither, FastLookupNearestAndLowestIndex) {
  TPalette P = {{10, 10, 10, 0}, {200, 0, 0, 0}, {200, 0, 0, 0}, {0, 0, 200, 0}};
  TFastColorLookup L(P);
  uint8_t R, G, B;
  EXPECT_EQ(L.NearestIndex(200, 0, 0, R, G, B), 1);
  EXPECT_EQ(L.NearestIndex(180, 20, 0, R, G, B), 1);
  EXPECT_EQ(R, 200);
  EXPECT_EQ(L.NearestIndex(0, 0, 150, R, G, B), 3);
  EXPECT_EQ(L.NearestIndex(1, 2, 3, R, G, B), 0);
  // Cached per 5-5-5 colour: a neighbour in the same cell gives the same answer.
  EXPECT_EQ(L.NearestIndex(183, 22, 1, R, G, B), 1);
}

TEST(Dither, FloydSteinbergOnASmallImage) {
  // Grey 100 on black and white, worked through the diffusion by hand.
  TPalette BW = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  TFastColorLookup L(BW);
  TFloydSteinbergEngine E(3, L);
  TPixelBuffer Src = Solid(3, 2, 100, 100, 100);
  std::vector<int> Got(6);
  for (int Y = 0; Y < 2; ++Y) {
    for (int N = 0; N < 3; ++N) {
      int X = E.Column;
      uint8_t R, G, B;
      Got[static_cast<size_t>(Y * 3 + X)] = E.MapPixel(100, 100, 100, R, G, B);
    }
    E.NextRow();
  }
  EXPECT_EQ(Got, (std::vector<int>{0, 1, 0, 0, 1, 0}));
  // Without diffusion every pixel is black.
  T8BitImage Out;
  TPixelBuffer Grey = Solid(16, 16, 64, 64, 64);
  ASSERT_TRUE(ReduceBitmap(Grey, rmWindows20, dmNearest, Out));
  EXPECT_EQ(std::count(Out.Indices.begin(), Out.Indices.end(), 0), 256);
}

TEST(Dither, DiffusionKeepsTheAverageAndStaysInsideNarrowImages) {
  for (int W : {1, 2, 16}) {
    TPixelBuffer Grey = Solid(W, 64, 64, 64, 64);
    T8BitImage Out;
    ASSERT_TRUE(ReduceBitmap(Grey, rmNetscape, dmFloydSteinberg, Out));
    ASSERT_EQ(Out.Indices.size(), static_cast<size_t>(W * 64));
    double Sum = 0;
    for (uint8_t I : Out.Indices) {
      ASSERT_LT(I, 216);
      Sum += Out.Palette[I].R;
    }
    // Narrow pictures lose the error that falls off their edges; wide ones keep the mean grey.
    if (W == 16) {
      EXPECT_NEAR(Sum / Out.Indices.size(), 64.0, 3.0);
    }
  }
}

TEST(Dither, OctreePalette) {
  TColorQuantizer Q(2, 8);
  Q.AddColor(255, 0, 0);
  Q.AddColor(255, 0, 0);
  Q.AddColor(0, 0, 255);
  EXPECT_EQ(Q.GetColorTable(), (TPalette{{0, 0, 255, 0}, {255, 0, 0, 0}}));
  Q.AddColor(0, 0, 128);  // a third colour merges the blue branch
  EXPECT_EQ(Q.LeafCount(), 2);
  EXPECT_EQ(Q.GetColorTable(), (TPalette{{0, 0, 191, 0}, {255, 0, 0, 0}}));

  TPixelBuffer Img;
  Img.SetSize(4, 1);
  Img.Pixels = {RGBPixel(100, 50, 30), RGBPixel(200, 100, 50), RGBPixel(100, 50, 30), RGBPixel(0, 255, 0)};
  EXPECT_EQ(QuantisedPalette(Img, 8, 8, false),
            (TPalette{{100, 50, 30, 0}, {0, 255, 0, 0}, {200, 100, 50, 0}}));
  TPalette Kept = QuantisedPalette(Img, 256, 8, true);
  ASSERT_EQ(Kept.size(), 256u);
  EXPECT_EQ(Kept[10], (TPaletteEntry{100, 50, 30, 0}));
  EXPECT_EQ(Kept[255], (TPaletteEntry{255, 255, 255, 0}));
  T8BitImage Out;
  ASSERT_TRUE(ReduceBitmap(Img, rmOptimized, dmNearest, Out));
  EXPECT_EQ(Out.Indices, (std::vector<uint8_t>{10, 12, 10, 11}));
}

TEST(Dither, PalettesAndScreens) {
  TPalette V = ViewerPalette();
  ASSERT_EQ(V.size(), 256u);
  EXPECT_EQ(V[10], (TPaletteEntry{55, 55, 55, 0}));
  EXPECT_EQ(V[224], (TPaletteEntry{255, 255, 235, 0}));
  EXPECT_EQ(V[225], (TPaletteEntry{135, 135, 135, 0}));
  EXPECT_EQ(V[245], (TPaletteEntry{250, 250, 250, 0}));
  EXPECT_EQ(V[255], (TPaletteEntry{255, 255, 255, 0}));
  EXPECT_EQ(RowBytes(5, 24, 32), 16);
  EXPECT_EQ(RowBytes(9, 1, 32), 4);
  T8BitImage Out;
  TPixelBuffer Img = Solid(2, 2, 255, 0, 0);
  EXPECT_FALSE(ReduceForScreen(Img, 24, Out));
  ASSERT_TRUE(ReduceForScreen(Img, 8, Out));
  EXPECT_EQ(Out.Palette[Out.Indices[0]], (TPaletteEntry{255, 0, 0, 0}));
  EXPECT_FALSE(ReduceBitmap(Img, rmNone, dmNearest, Out));
}

}  // namespace
