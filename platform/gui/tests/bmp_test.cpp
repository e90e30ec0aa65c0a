// BMP reading and writing: every depth round-trips, every header kind and row order reads,
// run-length files decode, and damaged files raise EInvalidGraphic.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/core/classes.h"
#include "platform/gui/graphics.h"

namespace {

// A little file builder independent of the layer's writer, for the header variants.
struct BmpBuilder {
  std::vector<uint8_t> d;
  void u8(uint32_t v) { d.push_back(uint8_t(v)); }
  void u16(uint32_t v) { u8(v); u8(v >> 8); }
  void u32(uint32_t v) { u16(v); u16(v >> 16); }
  void fix32(size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) d[at + i] = uint8_t(v >> (8 * i)); }
};

// 4x3 picture, each pixel a distinct colour from a small palette.
const uint32_t kPal[4] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
int IndexAt(int x, int y) { return (x + y) % 4; }

// 8-bit indexed picture of 4x3 with the given header size (12 or 40 or 124) and row order.
std::vector<uint8_t> Make8(int headerSize, bool topDown) {
  BmpBuilder b;
  const int w = 4, h = 3, stride = 4;
  const int palEntry = headerSize == 12 ? 3 : 4;
  const uint32_t off = 14 + headerSize + 4 * palEntry;
  b.u8('B'); b.u8('M'); b.u32(off + stride * h); b.u32(0); b.u32(off);
  b.u32(headerSize);
  if (headerSize == 12) {
    b.u16(w); b.u16(topDown ? uint16_t(-h) : h); b.u16(1); b.u16(8);
  } else {
    b.u32(w); b.u32(uint32_t(topDown ? -h : h)); b.u16(1); b.u16(8); b.u32(0); b.u32(stride * h);
    b.u32(0); b.u32(0); b.u32(4); b.u32(0);
    for (int i = 40; i < headerSize; ++i) b.u8(0);
  }
  for (uint32_t c : kPal) {
    b.u8(c & 255); b.u8((c >> 8) & 255); b.u8((c >> 16) & 255);
    if (palEntry == 4) b.u8(0);
  }
  for (int r = 0; r < h; ++r) {
    int y = topDown ? r : h - 1 - r;
    for (int x = 0; x < w; ++x) b.u8(IndexAt(x, y));
  }
  return b.d;
}

void ExpectPattern(const TBitmap& bmp) {
  ASSERT_EQ(bmp.Width(), 4);
  ASSERT_EQ(bmp.Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      uint32_t rgb = kPal[IndexAt(x, y)];
      // TColor is BGR: palette entry 0xRRGGBB has TColor RGB(r,g,b).
      EXPECT_EQ(bmp.PixelColor(x, y), RGB((rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255)) << x << "," << y;
    }
}

TEST(BmpReader, HeaderKindsAndRowOrders) {
  struct Case { int header; bool topDown; };
  for (Case c : {Case{12, false}, Case{40, false}, Case{40, true}, Case{108, false}, Case{124, true}}) {
    SCOPED_TRACE(testing::Message() << "header " << c.header << " topDown " << c.topDown);
    auto bytes = Make8(c.header, c.topDown);
    TBitmap bmp;
    bmp.LoadFromBytes(bytes.data(), bytes.size());
    ExpectPattern(bmp);
    EXPECT_EQ(bmp.PixelFormat(), pf8bit);
  }
}

TEST(BmpReader, RunLengthEncoded8And4) {
  // RLE8: row 0 (bottom): run of 3 of index 1, absolute 1 pixel index 2 (padded), end of line;
  // row 1: delta skips one pixel, run 3 of index 3, end of bitmap.
  for (int bits : {8, 4}) {
    SCOPED_TRACE(bits);
    BmpBuilder b;
    const int w = 4, h = 2;
    const uint32_t ncol = bits == 8 ? 4 : 4;
    b.u8('B'); b.u8('M'); b.u32(0); b.u32(0); b.u32(0);
    b.u32(40); b.u32(w); b.u32(h); b.u16(1); b.u16(bits); b.u32(bits == 8 ? 1 : 2); b.u32(0);
    b.u32(0); b.u32(0); b.u32(ncol); b.u32(0);
    for (uint32_t c : kPal) { b.u32(c); }
    size_t off = b.d.size();
    if (bits == 8) {
      b.u8(3); b.u8(1);                    // run
      b.u8(0); b.u8(3); b.u8(2); b.u8(2); b.u8(2); b.u8(0);  // absolute 3 pixels, padded
      b.u8(0); b.u8(0);                    // end of line
      b.u8(0); b.u8(2); b.u8(1); b.u8(0);  // delta +1,0
      b.u8(3); b.u8(3);
      b.u8(0); b.u8(1);
    } else {
      b.u8(3); b.u8(0x12);                 // alternating 1,2,1
      b.u8(0); b.u8(3); b.u8(0x33); b.u8(0x30); // absolute 3 nibbles 3,3,3 padded
      b.u8(0); b.u8(0);
      b.u8(0); b.u8(2); b.u8(1); b.u8(0);
      b.u8(3); b.u8(0x22);
      b.u8(0); b.u8(1);
    }
    b.fix32(10, uint32_t(off));
    b.fix32(2, uint32_t(b.d.size()));
    TBitmap bmp;
    bmp.LoadFromBytes(b.d.data(), b.d.size());
    ASSERT_EQ(bmp.Width(), 4);
    auto col = [](int i) { uint32_t c = kPal[i]; return RGB((c >> 16) & 255, (c >> 8) & 255, c & 255); };
    // Bottom row is y = 1.
    if (bits == 8) {
      EXPECT_EQ(bmp.PixelColor(0, 1), col(1));
      EXPECT_EQ(bmp.PixelColor(2, 1), col(1));
      EXPECT_EQ(bmp.PixelColor(3, 1), col(2));
      EXPECT_EQ(bmp.PixelColor(0, 0), col(0));  // skipped by the delta
      EXPECT_EQ(bmp.PixelColor(1, 0), col(3));
      EXPECT_EQ(bmp.PixelColor(3, 0), col(3));
    } else {
      EXPECT_EQ(bmp.PixelColor(0, 1), col(1));
      EXPECT_EQ(bmp.PixelColor(1, 1), col(2));
      EXPECT_EQ(bmp.PixelColor(2, 1), col(1));
      EXPECT_EQ(bmp.PixelColor(3, 1), col(3));
      EXPECT_EQ(bmp.PixelColor(0, 0), col(0));
      EXPECT_EQ(bmp.PixelColor(1, 0), col(2));
    }
  }
}

TEST(BmpWriter, EveryDepthRoundTrips) {
  struct Case { TPixelFormat pf; bool exact; int colours; };
  // Colours chosen so that 5-bit channels keep them exactly.
  const TColor cols[4] = {RGB(0, 0, 0), RGB(255, 0, 0), RGB(0, 255, 0), RGB(255, 255, 255)};
  for (Case c : {Case{pf1bit, true, 2}, Case{pf4bit, true, 4}, Case{pf8bit, true, 4}, Case{pf15bit, true, 4},
                 Case{pf16bit, true, 4}, Case{pf24bit, true, 4}, Case{pf32bit, true, 4}}) {
    SCOPED_TRACE(int(c.pf));
    TBitmap src;
    src.SetSize(13, 7);  // odd width exercises row padding
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 13; ++x) {
        TColor col = c.colours == 2 ? ((x + y) % 2 ? clWhite : clBlack) : cols[(x * 3 + y) % 4];
        src.Canvas()->SetPixel(x, y, col);
      }
    src.SetPixelFormat(c.pf);
    TMemoryStream ms;
    src.SaveToStream(&ms);
    ms.SetPosition(0);
    TBitmap back;
    back.LoadFromStream(&ms);
    ASSERT_EQ(back.Width(), 13);
    ASSERT_EQ(back.Height(), 7);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(back.PixelColor(x, y), src.PixelColor(x, y)) << x << "," << y;
  }
}

TEST(BmpWriter, TooManyColoursForPaletteRaises) {
  TBitmap b;
  b.SetSize(5, 5);
  for (int i = 0; i < 25; ++i) b.Canvas()->SetPixel(i % 5, i / 5, RGB(i * 10, 0, 0));
  b.SetPixelFormat(pf4bit);
  EXPECT_THROW(b.SaveToBytes(), EInvalidGraphic);
}

TEST(BmpReader, DamagedFilesRaise) {
  auto good = Make8(40, false);
  struct Case { const char* what; std::vector<uint8_t> bytes; };
  std::vector<Case> cases;
  for (size_t n : {size_t(0), size_t(2), size_t(13), size_t(20), size_t(40), size_t(60), good.size() - 5})
    cases.push_back({"truncated", std::vector<uint8_t>(good.begin(), good.begin() + n)});
  auto patch = [&](size_t at, std::vector<uint8_t> v) {
    auto b = good;
    for (size_t i = 0; i < v.size(); ++i) b[at + i] = v[i];
    return b;
  };
  cases.push_back({"signature", patch(0, {'X', 'M'})});
  cases.push_back({"header size", patch(14, {99, 0, 0, 0})});
  cases.push_back({"zero width", patch(18, {0, 0, 0, 0})});
  cases.push_back({"zero height", patch(22, {0, 0, 0, 0})});
  cases.push_back({"huge size", patch(18, {0xFF, 0xFF, 0xFF, 0x7F})});
  cases.push_back({"bit depth", patch(28, {7, 0})});
  cases.push_back({"compression", patch(30, {9, 0, 0, 0})});
  cases.push_back({"rle4 with 8 bits", patch(30, {2, 0, 0, 0})});
  cases.push_back({"offset past end", patch(10, {0xFF, 0xFF, 0, 0})});
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    TBitmap b;
    EXPECT_THROW(b.LoadFromBytes(c.bytes.data(), c.bytes.size()), EInvalidGraphic);
  }
}

TEST(BmpReader, TransparentColourIsBottomLeftWithFlag) {
  auto bytes = Make8(40, false);
  TBitmap b;
  b.LoadFromBytes(bytes.data(), bytes.size());
  // Bottom-left pixel (0, 2) has index (0+2)%4 = 2: green.
  EXPECT_EQ(b.TransparentColor(), TColor(0x0200FF00));
  b.SetTransparentColor(clRed);
  EXPECT_EQ(b.TransparentColor(), clRed);
}

TEST(JpegReader, CorruptAndTruncatedRaise) {
  TJPEGImage j;
  const uint8_t junk[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  EXPECT_THROW(j.LoadFromBytes(junk, sizeof junk), EInvalidGraphic);
  const uint8_t notJpeg[] = {'B', 'M', 0, 0};
  EXPECT_THROW(j.LoadFromBytes(notJpeg, sizeof notJpeg), EInvalidGraphic);
}

}  // namespace
