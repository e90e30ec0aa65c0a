#include <gtest/gtest.h>

#include <vector>

#include "controls/bitmaps32.h"
#include "controls/bitmaps32_gui.h"
#include "platform/gui/bmpcodec.h"
#include "platform/gui/graphics.h"

namespace {

bmp::Image Picture(const std::vector<uint32_t>& Colours) {
  bmp::Image Img;
  Img.width = 3;
  Img.height = 2;
  for (int I = 0; I < 6; ++I) Img.pixels.push_back(Colours[static_cast<size_t>(I) % Colours.size()]);
  return Img;
}

TEST(Bitmap32GuiTest, LoadFromStreamReadsEveryBmpDepthOpaque) {
  // Colours every depth can hold exactly (5-bit channels keep the top five bits).
  const std::vector<uint32_t> Two = {0xFF000000, 0xFFFFFFFF};
  const std::vector<uint32_t> Few = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF808080, 0xFFF8F8F8};
  for (int Depth : {1, 4, 8, 15, 16, 24, 32}) {
    const bmp::Image Img = Picture(Depth == 1 ? Two : Few);
    const std::vector<uint8_t> File = bmp::Encode(Img, Depth);
    const bmp::Image Decoded = bmp::Decode(File.data(), File.size());
    TMemoryStream S;
    S.WriteString("junk");  // reading starts at the stream's position
    S.WriteBuffer(File.data(), static_cast<int64_t>(File.size()));
    S.SetPosition(4);
    TBitmap32 B;
    B.SetSize(1, 1);
    B.SetPixel(0, 0, 0x12345678);
    int Changes = 0;
    B.OnChange = [&](TObject*) { ++Changes; };
    B.LoadFromStream(&S);
    EXPECT_GE(Changes, 1);
    ASSERT_EQ(B.Width(), 3) << Depth;
    ASSERT_EQ(B.Height(), 2) << Depth;
    for (int I = 0; I < 6; ++I) {
      EXPECT_EQ(B.Bits()[I], Decoded.pixels[static_cast<size_t>(I)] | 0xFF000000u) << "depth " << Depth << " pixel " << I;
      if (Depth >= 24 || Depth == 8 || Depth == 4) {
        EXPECT_EQ(B.Bits()[I], Img.pixels[static_cast<size_t>(I)]);
      }
    }
  }
  // A damaged picture raises and leaves the bitmap as it was.
  TBitmap32 B;
  B.SetSize(2, 2);
  B.Clear(7);
  TMemoryStream Bad;
  Bad.WriteString("BMxxxx");
  Bad.SetPosition(0);
  EXPECT_ANY_THROW(B.LoadFromStream(&Bad));
  EXPECT_EQ(B.Width(), 2);
  EXPECT_EQ(B.Pixel(1, 1), 7u);
}

TEST(Bitmap32GuiTest, ExchangeWithPlatformBitmapsAndCanvases) {
  TBitmap32 B;
  B.SetSize(2, 2);
  B.SetPixel(0, 0, 0xFFFF0000);
  B.SetPixel(1, 0, 0xFF00FF00);
  B.SetPixel(0, 1, 0xFF0000FF);
  B.SetPixel(1, 1, 0xFFFFFFFF);
  TBitmap Plain;
  B.AssignTo(&Plain);
  EXPECT_EQ(Plain.PixelFormat(), pf32bit);
  EXPECT_EQ(Plain.PixelColor(0, 0), clRed);
  EXPECT_EQ(Plain.PixelColor(0, 1), clBlue);

  TBitmap32 Back;
  Back.Assign(&Plain);
  EXPECT_EQ(Back.Width(), 2);
  for (int I = 0; I < 4; ++I) EXPECT_EQ(Back.Bits()[I], B.Bits()[I]);
  Back.Assign(static_cast<const TBitmap*>(nullptr));
  EXPECT_TRUE(Back.Empty());

  TBitmap Target;
  Target.SetSize(4, 4);
  Target.Canvas()->Brush()->SetColor(clBlack);
  Target.Canvas()->FillRect(TRect(0, 0, 4, 4));
  B.DrawToCanvas(Target.Canvas(), 1, 2);
  EXPECT_EQ(Target.PixelColor(0, 0), clBlack);
  EXPECT_EQ(Target.PixelColor(1, 2), clRed);
  EXPECT_EQ(Target.PixelColor(2, 2), clLime);
  EXPECT_EQ(Target.PixelColor(2, 3), clWhite);
  EXPECT_EQ(Target.PixelColor(3, 3), clBlack);

  EXPECT_EQ(ColorToColor32(clRed), 0xFFFF0000u);
  EXPECT_EQ(ColorToColor32(clBtnFace), RGBToColor32(static_cast<uint32_t>(ColorToRGB(clBtnFace))));
  EXPECT_EQ(ColorToColor32(clBtnFace) >> 24, 0xFFu);
}

}  // namespace
