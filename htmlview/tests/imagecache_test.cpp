#include <gtest/gtest.h>

#include "htmlview/imagecache.h"
#include "htmlview/tests/gif_builder.h"
#include "platform/core/classes.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> L) {
  std::vector<uint8_t> V;
  for (int I : L) V.push_back(static_cast<uint8_t>(I));
  return V;
}

TEST(Images, TypeDetection) {
  struct {
    std::vector<uint8_t> Data;
    TImageType Type;
  } const Cases[] = {
      {Bytes({'G', 'I', 'F', '8', '7', 'a'}), itGIF87}, {Bytes({'G', 'I', 'F', '8', '9', 'a'}), itGIF89},
      {Bytes({'G', 'I', 'F', '8', 'x'}), itGIF87},       {Bytes({'B', 'M', 0, 0}), itBMP},
      {Bytes({0x89, 'P', 'N', 'G', 13, 10}), itPNG},     {Bytes({0xFF, 0xD8, 0xFF, 0xE0}), itJPEG},
      {Bytes({'G', 'I'}), itUnknown},                    {Bytes({}), itUnknown},
  };
  for (const auto& C : Cases) EXPECT_EQ(DetectImageType(C.Data.data(), C.Data.size()), C.Type);
}

std::vector<uint8_t> TransparentGif(bool ControlFirst, int Index) {
  gifbuild::Frame F;
  F.Width = F.Height = 1;
  F.Pixels = {0};
  F.TransparentIndex = Index;
  std::vector<uint8_t> G = gifbuild::Build(1, 1, gifbuild::Palette4(), {F});
  if (!ControlFirst) {
    const std::vector<uint8_t> Comment = {0x21, 0xFE, 1, 'c', 0};
    G.insert(G.begin() + 13 + 12, Comment.begin(), Comment.end());
  }
  return G;
}

TEST(Images, GifTransparencyProbe) {
  int32_t C = -1;
  std::vector<uint8_t> G = TransparentGif(true, 2);
  ASSERT_TRUE(GifTransparentColor(G.data(), G.size(), C));
  EXPECT_EQ(C, 0x00FF00);  // green as 0x00BBGGRR
  // The probe looks only directly behind the global colour table.
  G = TransparentGif(false, 2);
  EXPECT_FALSE(GifTransparentColor(G.data(), G.size(), C));
  // An index beyond the table is no transparency.
  G = TransparentGif(true, 9);
  EXPECT_FALSE(GifTransparentColor(G.data(), G.size(), C));
  // Through a stream, whose position is kept.
  G = TransparentGif(true, 3);
  TMemoryStream S;
  S.Write(G.data(), static_cast<int64_t>(G.size()));
  S.SetPosition(5);
  ASSERT_TRUE(GifTransparentColor(S, C));
  EXPECT_EQ(C, 0xFF0000);
  EXPECT_EQ(S.Position(), 5);
  for (size_t N = 0; N < G.size(); ++N) GifTransparentColor(G.data(), N, C);  // short data is simply false
}

std::vector<uint8_t> Png(int ColorType, int PaletteEntries, int TrnsLength, bool IdatFirst = false) {
  std::vector<uint8_t> P = Bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
  auto Chunk = [&](const char* Type, const std::vector<uint8_t>& Data) {
    uint32_t L = static_cast<uint32_t>(Data.size());
    P.insert(P.end(), {uint8_t(L >> 24), uint8_t(L >> 16), uint8_t(L >> 8), uint8_t(L)});
    P.insert(P.end(), Type, Type + 4);
    P.insert(P.end(), Data.begin(), Data.end());
    P.insert(P.end(), {0, 0, 0, 0});
  };
  Chunk("IHDR", Bytes({0, 0, 0, 1, 0, 0, 0, 1, 8, ColorType, 0, 0, 0}));
  std::vector<uint8_t> Pal;
  for (int I = 0; I < PaletteEntries; ++I) Pal.insert(Pal.end(), {uint8_t(I * 10), uint8_t(I * 20), uint8_t(I * 30)});
  if (PaletteEntries) Chunk("PLTE", Pal);
  if (IdatFirst) Chunk("IDAT", Bytes({1, 2}));
  Chunk("tRNS", std::vector<uint8_t>(static_cast<size_t>(TrnsLength), 0));
  Chunk("IEND", {});
  return P;
}

TEST(Images, PngTransparencyProbe) {
  int32_t C = -1;
  std::vector<uint8_t> P = Png(3, 6, 5);
  ASSERT_TRUE(PngTransparentColor(P.data(), P.size(), C));
  EXPECT_EQ(C, 40 | (80 << 8) | (120 << 16));  // palette entry 4
  P = Png(3, 2, 5);  // the tRNS chunk names an entry the palette lacks
  EXPECT_FALSE(PngTransparentColor(P.data(), P.size(), C));
  P = Png(6, 0, 2);
  EXPECT_FALSE(PngTransparentColor(P.data(), P.size(), C));
  P = Png(3, 6, 5, true);
  EXPECT_FALSE(PngTransparentColor(P.data(), P.size(), C));
  P = Png(3, 6, 5);
  for (size_t N = 0; N < P.size(); ++N) PngTransparentColor(P.data(), N, C);
}

TEST(Images, MasksFromColours) {
  TPixelBuffer B;
  B.SetSize(2, 2);
  B.Pixels = {RGBPixel(1, 2, 3), RGBPixel(9, 9, 9), RGBPixel(9, 9, 9), RGBPixel(1, 2, 3)};
  EXPECT_EQ(MakeImageMask(B, false, 0).Bits, (std::vector<uint8_t>{0, 1, 1, 0}));  // lower-left colour
  EXPECT_EQ(MakeImageMask(B, true, 1 | (2 << 8) | (3 << 16)).Bits, (std::vector<uint8_t>{1, 0, 0, 1}));
  EXPECT_EQ(ErrorImage().Width, ErrorImageMask().Width);
  EXPECT_FALSE(PlaceholderImage().Empty());
}

TEST(Images, CacheAgesAndKeepsUsedEntries) {
  TStringBitmapList L;
  L.SetMaxAge(5);
  auto Item = [] { return new TBitmapItem(std::make_unique<TPixelBuffer>(), nullptr, NotTransp); };
  L.AddObject("B.GIF", Item());
  L.AddObject("A.GIF", Item());
  EXPECT_EQ(L.Strings(0), "A.GIF");
  ASSERT_EQ(L.IndexOf("a.gif"), 0);
  EXPECT_EQ(L.Objects(0)->Users, 1);
  L.RemoveUser("a.gif");  // the document that loaded it is gone; B stays in use
  for (int Reset = 1; Reset <= 5; ++Reset) L.AgeAndPrune();
  EXPECT_GE(L.IndexOf("A.GIF"), 0);
  L.AgeAndPrune();  // the sixth reset drops it
  EXPECT_EQ(L.IndexOf("A.GIF"), -1);
  for (int Reset = 0; Reset < 20; ++Reset) L.AgeAndPrune();
  ASSERT_EQ(L.IndexOf("B.GIF"), 0);
  TBitmapItem* B = L.TakeImage(0);
  EXPECT_EQ(B->Age, 0);
  EXPECT_EQ(B->Users, 2);
  L.RemoveUser("B.GIF");
  L.RemoveUser("B.GIF");
  L.AgeAndPrune();
  L.AgeAndPrune();
  L.SetMaxAge(1);  // shrinking the cache drops unused entries older than the new limit
  EXPECT_EQ(L.Count(), 0);
  EXPECT_EQ(L.MaxAge, 1);
}

}  // namespace
