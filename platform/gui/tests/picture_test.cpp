// JPEG pictures decoded through libjpeg, and pictures loaded from files by their extension.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "platform/gui/pixelrow.h"

#include "platform/core/classes.h"
#include "platform/gui/graphics.h"

namespace {

// A 16 x 8 JPEG: left half red, right half blue.
std::vector<uint8_t> MakeJpeg() {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = 16;
  c.image_height = 8;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(16 * 3);
  for (int x = 0; x < 16; ++x) {
    row[3 * x] = x < 8 ? 255 : 0;
    row[3 * x + 1] = 0;
    row[3 * x + 2] = x < 8 ? 0 : 255;
  }
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> bytes(out, out + size);
  jpeg_destroy_compress(&c);
  std::free(out);
  return bytes;
}

bool Near(TColor c, int r, int g, int b) {
  return std::abs(GetRValue(c) - r) < 40 && std::abs(GetGValue(c) - g) < 40 && std::abs(GetBValue(c) - b) < 40;
}

TEST(Pictures, JpegDecodesAndTruncatedJpegRaises) {
  auto bytes = MakeJpeg();
  TJPEGImage j;
  j.LoadFromBytes(bytes.data(), bytes.size());
  ASSERT_EQ(j.Width(), 16);
  ASSERT_EQ(j.Height(), 8);
  EXPECT_TRUE(Near(j.Bitmap()->PixelColor(2, 4), 255, 0, 0));
  EXPECT_TRUE(Near(j.Bitmap()->PixelColor(13, 4), 0, 0, 255));
  for (size_t cut : {size_t(10), bytes.size() / 2, bytes.size() - 3}) {
    TJPEGImage t;
    EXPECT_THROW(t.LoadFromBytes(bytes.data(), cut), EInvalidGraphic) << cut;
  }
}

TEST(Pictures, LoadByExtensionDrawAndUnknownExtension) {
  QTemporaryDir dir;
  const std::string jpg = dir.filePath("Obraz.JPG").toStdString();
  const std::string bmpName = dir.filePath("obraz.bmp").toStdString();
  auto bytes = MakeJpeg();
  {
    TFileStream f(jpg, fmCreate);
    f.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  }
  TPicture pic;
  int changes = 0;
  pic.OnChange = [&](TObject*) { ++changes; };
  pic.LoadFromFile(jpg);
  EXPECT_GE(changes, 1);
  ASSERT_NE(pic.Graphic(), nullptr);
  EXPECT_EQ(pic.Width(), 16);
  TBitmap canvasBmp;
  canvasBmp.SetSize(32, 16);
  canvasBmp.Canvas()->StretchDraw(TRect(0, 0, 32, 16), pic.Graphic());
  EXPECT_TRUE(Near(canvasBmp.PixelColor(4, 8), 255, 0, 0));
  EXPECT_TRUE(Near(canvasBmp.PixelColor(28, 8), 0, 0, 255));
  // The picture as a bitmap, saved and read back through the file.
  TBitmap b;
  b.Assign(pic.Graphic());
  b.SaveToFile(bmpName);
  TPicture back;
  back.LoadFromFile(bmpName);
  EXPECT_EQ(back.Width(), 16);
  EXPECT_EQ(static_cast<TBitmap*>(back.Graphic())->PixelColor(2, 4), b.PixelColor(2, 4));
  try {
    back.LoadFromFile(dir.filePath("x.gif").toStdString());
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), "unknown extension");
  }
  EXPECT_THROW(back.LoadFromFile(dir.filePath("missing.bmp").toStdString()), Exception);
}

}  // namespace

// Packed pixel rows: known byte layouts, and every pixel written then read back without touching
// its neighbours, at every depth.
TEST(PixelRow, LayoutsAndRoundTripsAtEveryDepth) {
  uint8_t Row[8] = {};
  StoreRawPixel(Row, 1, 1, 1);
  StoreRawPixel(Row, 1, 2, 2);  // pixel 1 of a 2-bit row: bits 5-4 of byte 0
  EXPECT_EQ(Row[0], 0x40 | 0x20);
  std::memset(Row, 0, sizeof Row);
  StoreRawPixel(Row, 1, 4, 0xA);
  EXPECT_EQ(Row[0], 0x0A);
  StoreRawPixel(Row, 1, 24, 0x123456);
  EXPECT_EQ(Row[0], 0x0A);  // pixel 1 of a 24-bit row owns bytes 3..5 only
  EXPECT_EQ(Row[3], 0x56);
  EXPECT_EQ(Row[4], 0x34);
  EXPECT_EQ(Row[5], 0x12);
  for (int Bits : {1, 2, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(Bits);
    const uint32_t Max = Bits == 32 ? 0xFFFFFFFFu : (1u << Bits) - 1;
    uint8_t Buf[64] = {};
    const int N = 64 * 8 / Bits;
    for (int X = 0; X < N; ++X) StoreRawPixel(Buf, X, Bits, (0x9E3779B9u * (X + 1)) & Max);
    for (int X = 0; X < N; ++X) EXPECT_EQ(LoadRawPixel(Buf, X, Bits), (0x9E3779B9u * (X + 1)) & Max) << X;
    StoreRawPixel(Buf, 3, Bits, 0);
    EXPECT_EQ(LoadRawPixel(Buf, 3, Bits), 0u);
    EXPECT_EQ(LoadRawPixel(Buf, 2, Bits), (0x9E3779B9u * 3) & Max);
    EXPECT_EQ(LoadRawPixel(Buf, 4, Bits), (0x9E3779B9u * 5) & Max);
  }
}
