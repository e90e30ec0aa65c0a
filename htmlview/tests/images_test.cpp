#include <gtest/gtest.h>
#include <jpeglib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "htmlview/htmlimages.h"
#include "htmlview/tests/gif_builder.h"
#include "platform/gui/controls.h"

namespace {

class HtmlImages : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() / ("vx_htmlimages_" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  std::string Write(const std::string& Name, const std::vector<uint8_t>& Data) {
    std::string Path = (Dir / Name).string();
    std::ofstream Out(Path, std::ios::binary);
    Out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
    return Path;
  }
  static std::vector<uint8_t> Bmp(const TPixelBuffer& P) {
    auto B = BitmapFromPixels(P);
    return B->SaveToBytes();
  }
  static TPixelBuffer Picture() {
    TPixelBuffer P;
    P.SetSize(3, 2);
    P.Pixels = {RGBPixel(255, 0, 0), RGBPixel(0, 255, 0), RGBPixel(0, 0, 255),
                RGBPixel(9, 9, 9),   RGBPixel(255, 255, 255), RGBPixel(9, 9, 9)};
    return P;
  }
  static std::vector<uint8_t> Jpeg(int W, int H, uint8_t R, uint8_t G, uint8_t B) {
    jpeg_compress_struct C;
    jpeg_error_mgr E;
    C.err = jpeg_std_error(&E);
    jpeg_create_compress(&C);
    unsigned char* Out = nullptr;
    unsigned long Size = 0;
    jpeg_mem_dest(&C, &Out, &Size);
    C.image_width = static_cast<JDIMENSION>(W);
    C.image_height = static_cast<JDIMENSION>(H);
    C.input_components = 3;
    C.in_color_space = JCS_RGB;
    jpeg_set_defaults(&C);
    jpeg_set_quality(&C, 95, TRUE);
    jpeg_start_compress(&C, TRUE);
    std::vector<uint8_t> Row;
    for (int X = 0; X < W; ++X) Row.insert(Row.end(), {R, G, B});
    while (C.next_scanline < C.image_height) {
      JSAMPROW P = Row.data();
      jpeg_write_scanlines(&C, &P, 1);
    }
    jpeg_finish_compress(&C);
    std::vector<uint8_t> Data(Out, Out + Size);
    jpeg_destroy_compress(&C);
    free(Out);
    return Data;
  }
  std::filesystem::path Dir;
};

TEST_F(HtmlImages, FilesOfEveryFormat) {
  const TPixelBuffer P = Picture();
  auto Bmp1 = LoadImageFile(Write("a.bmp", Bmp(P)), true);
  ASSERT_TRUE(Bmp1);
  EXPECT_EQ(Bmp1->Pixels, P.Pixels);

  gifbuild::Frame F;
  F.Width = 2;
  F.Height = 1;
  F.Pixels = {1, 3};
  auto Gif = LoadImageFile(Write("b.gif", gifbuild::Build(2, 1, gifbuild::Palette4(), {F})), true);
  ASSERT_TRUE(Gif);
  EXPECT_EQ(Gif->Pixels, (std::vector<uint32_t>{RGBPixel(255, 0, 0), RGBPixel(0, 0, 255)}));

  auto Jpg = LoadImageFile(Write("c.jpg", Jpeg(16, 8, 200, 40, 40)), true);
  ASSERT_TRUE(Jpg);
  EXPECT_EQ(Jpg->Width, 16);
  EXPECT_EQ(Jpg->Height, 8);
  uint32_t Mid = Jpg->At(8, 4);
  EXPECT_NEAR(int((Mid >> 16) & 0xFF), 200, 6);
  EXPECT_NEAR(int((Mid >> 8) & 0xFF), 40, 6);

  const std::vector<uint8_t> PngBytes = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 0};
  EXPECT_FALSE(LoadImageFile(Write("d.png", PngBytes), true));
  EXPECT_FALSE(LoadImageFile(Write("e.bmp", {'B', 'M', 1, 2, 3}), true));
  EXPECT_FALSE(LoadImageFile((Dir / "missing.bmp").string(), true));
}

TEST_F(HtmlImages, TransparencyKindsGiveMasks) {
  const TPixelBuffer P = Picture();
  const std::string BmpPath = Write("t.bmp", Bmp(P));
  std::unique_ptr<TMaskBuffer> Mask;
  uint8_t Kind = NotTransp;
  ASSERT_TRUE(LoadImageAndMask(BmpPath, Kind, Mask));
  EXPECT_FALSE(Mask);
  Kind = LLCorner;
  ASSERT_TRUE(LoadImageAndMask(BmpPath, Kind, Mask));
  ASSERT_TRUE(Mask);
  EXPECT_EQ(Mask->Bits, (std::vector<uint8_t>{0, 0, 0, 1, 0, 1}));

  gifbuild::Frame F;
  F.Width = 3;
  F.Height = 1;
  F.Pixels = {2, 1, 2};
  F.TransparentIndex = 2;
  const std::string GifPath = Write("t.gif", gifbuild::Build(3, 1, gifbuild::Palette4(), {F}));
  Kind = NotTransp;
  auto G = LoadImageAndMask(GifPath, Kind, Mask);
  ASSERT_TRUE(G);
  EXPECT_EQ(Kind, TrGif);
  ASSERT_TRUE(Mask);
  EXPECT_EQ(Mask->Bits, (std::vector<uint8_t>{1, 0, 1}));
  Kind = NotTransp;
  EXPECT_FALSE(LoadImageAndMask((Dir / "none.gif").string(), Kind, Mask));
}

TEST_F(HtmlImages, Streams) {
  uint8_t Kind = LLCorner;
  std::unique_ptr<TMaskBuffer> Mask;
  TMemoryStream Short;
  std::vector<uint8_t> Few(19, 'B');
  Short.Write(Few.data(), 19);
  EXPECT_FALSE(LoadImageFromStream(&Short, Kind, Mask));
  EXPECT_FALSE(LoadImageFromStream(nullptr, Kind, Mask));

  std::vector<uint8_t> Data = Bmp(Picture());
  TMemoryStream S;
  S.Write(Data.data(), static_cast<int64_t>(Data.size()));
  auto P = LoadImageFromStream(&S, Kind, Mask);
  ASSERT_TRUE(P);
  ASSERT_TRUE(Mask);
  EXPECT_EQ(Mask->Bits[3], 1);

  std::vector<uint8_t> J = Jpeg(8, 8, 0, 0, 255);
  TMemoryStream JS;
  JS.Write(J.data(), static_cast<int64_t>(J.size()));
  Kind = LLCorner;
  EXPECT_TRUE(LoadImageFromStream(&JS, Kind, Mask));
  EXPECT_EQ(Kind, NotTransp);
  EXPECT_FALSE(Mask);

  gifbuild::Frame F;
  F.Width = F.Height = 4;
  F.Pixels.assign(16, 1);
  std::vector<uint8_t> Gif = gifbuild::Build(4, 4, gifbuild::Palette4(), {F});
  TMemoryStream GS;
  GS.Write(Gif.data(), static_cast<int64_t>(Gif.size()));
  EXPECT_FALSE(LoadImageFromStream(&GS, Kind, Mask));
}

TEST_F(HtmlImages, TransparentPainting) {
  TBitmap Target;
  Target.SetSize(6, 4);
  Target.Canvas()->Brush()->SetColor(clBlue);
  Target.Canvas()->FillRect(TRect(0, 0, 6, 4));
  TPixelBuffer Img;
  Img.SetSize(2, 2);
  Img.Pixels = {RGBPixel(255, 0, 0), RGBPixel(0, 255, 0), RGBPixel(255, 255, 255), RGBPixel(10, 20, 30)};
  TMaskBuffer M;
  M.SetSize(2, 2, 0);
  M.At(1, 0) = 1;
  DrawTransparentImage(Target.Canvas(), Img, &M, 0, 0, 2, 2);
  EXPECT_EQ(Target.PixelColor(0, 0), clRed);
  EXPECT_EQ(Target.PixelColor(1, 0), clBlue);  // left out
  EXPECT_EQ(Target.PixelColor(0, 1), clWhite);
  EXPECT_EQ(Target.PixelColor(1, 1), RGB(10, 20, 30));
  DrawTransparentImage(Target.Canvas(), Img, &M, 2, 0, 4, 4);  // stretched twice
  EXPECT_EQ(Target.PixelColor(2, 0), clRed);
  EXPECT_EQ(Target.PixelColor(5, 1), clBlue);
  EXPECT_EQ(Target.PixelColor(4, 3), RGB(10, 20, 30));

  gifbuild::Frame F;
  F.Width = 2;
  F.Height = 1;
  F.Pixels = {0, 2};
  F.TransparentIndex = 0;
  std::vector<uint8_t> Data = gifbuild::Build(2, 1, gifbuild::Palette4(), {F});
  bool NonAnimated;
  auto G = CreateGifFromBytes(Data.data(), Data.size(), NonAnimated);
  ASSERT_TRUE(G);
  G->SetVisible(true);
  DrawGif(Target.Canvas(), *G, 0, 3, 2, 1);
  EXPECT_EQ(Target.PixelColor(0, 3), clBlue);
  EXPECT_EQ(Target.PixelColor(1, 3), clLime);
  EXPECT_EQ(G->DrawTop, 3);
}

TEST_F(HtmlImages, PrintingStrips) {
  TBitmap Target;
  Target.SetSize(4, 4);
  Target.Canvas()->Brush()->SetColor(clBlue);
  Target.Canvas()->FillRect(TRect(0, 0, 4, 4));
  TPixelBuffer Img;
  Img.SetSize(1, 3);
  Img.Pixels = {RGBPixel(255, 0, 0), RGBPixel(0, 255, 0), RGBPixel(255, 255, 255)};
  TMaskBuffer M;
  M.SetSize(1, 3, 0);
  M.Bits[2] = 1;
  PrintTransparentImage(Target.Canvas(), 0, 0, 1, 2, Img, M, 1, 2);  // rows 1 and 2 only
  EXPECT_EQ(Target.PixelColor(0, 0), clLime);
  EXPECT_EQ(Target.PixelColor(0, 1), clBlue);
  PrintTransparentImage(Target.Canvas(), 2, 0, 1, 1, Img, M, 2, 5);  // beyond the picture: nothing
  PrintTransparentImage(Target.Canvas(), 2, 0, 1, 1, Img, M, 0, 0);
  EXPECT_EQ(Target.PixelColor(2, 0), clBlue);
  PrintImage(Target.Canvas(), 3, 0, 1, 3, Img);
  EXPECT_EQ(Target.PixelColor(3, 2), clWhite);
}

TEST_F(HtmlImages, CursorsAreRegistered) {
  InstallViewerCursors();
  for (int Id = crLinkHand; Id <= crDownScroll; ++Id) EXPECT_TRUE(Screen->HasCursor(Id)) << Id;
}

}  // namespace
