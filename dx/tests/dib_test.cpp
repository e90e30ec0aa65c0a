#include <gtest/gtest.h>

#include <string>

#include "dx/dib.h"

namespace {

std::string Le(uint32_t V, int N) {
  std::string s;
  for (int i = 0; i < N; ++i) s += static_cast<char>((V >> (8 * i)) & 255);
  return s;
}

// A BMP file: header of 12 or 40 bytes, optional masks, colour table bytes and pixel bytes.
std::string Bmp(int HeaderSize, int W, int H, int Bits, uint32_t Compression, const std::string& Masks,
                const std::string& Table, const std::string& Pixels, uint32_t SizeImage = 0) {
  std::string info;
  if (HeaderSize == 12) {
    info = Le(12, 4) + Le(static_cast<uint32_t>(W), 2) + Le(static_cast<uint32_t>(H), 2) + Le(1, 2) + Le(static_cast<uint32_t>(Bits), 2);
  } else {
    info = Le(static_cast<uint32_t>(HeaderSize), 4) + Le(static_cast<uint32_t>(W), 4) + Le(static_cast<uint32_t>(H), 4) + Le(1, 2) +
           Le(static_cast<uint32_t>(Bits), 2) + Le(Compression, 4) + Le(SizeImage, 4) + std::string(16, '\0');
  }
  const std::string body = info + Masks + Table + Pixels;
  return "BM" + Le(static_cast<uint32_t>(14 + body.size()), 4) + Le(0, 4) +
         Le(static_cast<uint32_t>(14 + info.size() + Masks.size() + Table.size()), 4) + body;
}

void Load(TDIB& D, const std::string& Bytes) {
  TMemoryStream m;
  m.WriteString(Bytes);
  m.SetPosition(0);
  D.LoadFromStream(&m);
}

std::string Save(TDIB& D) {
  TMemoryStream m;
  D.SaveToStream(&m);
  m.SetPosition(0);
  return m.ReadString(m.Size());
}

}  // namespace

TEST(DIB, EveryDepthRoundTripsThroughAFile) {
  struct Case {
    int Bits;
    TDIBPixelFormat Pf;
    uint32_t Values[3];
  } cases[] = {
      {1, MakeDIBPixelFormat(8, 8, 8), {1, 0, 1}},
      {4, MakeDIBPixelFormat(8, 8, 8), {15, 3, 9}},
      {8, MakeDIBPixelFormat(8, 8, 8), {255, 7, 128}},
      {16, MakeDIBPixelFormat(5, 5, 5), {0x7FFF, 0x1234, 0x0001}},
      {16, MakeDIBPixelFormat(5, 6, 5), {0xFFFF, 0xF800, 0x07E0}},
      {24, MakeDIBPixelFormat(8, 8, 8), {0xABCDEF, 0x010203, 0xFF0000}},
      {32, MakeDIBPixelFormat(8, 8, 8), {0x00ABCDEF, 0x00FFFFFF, 0x00000001}},
  };
  for (const Case& c : cases) {
    TDIB a;
    a.SetPixelFormat(c.Pf);
    a.SetSize(5, 3, c.Bits);
    TRGBQuads table{};
    table[1] = TRGBQuad{10, 20, 30, 0};
    a.SetColorTable(table);
    for (int y = 0; y < 3; ++y) a.SetPixels(y + 1, y, c.Values[y]);
    TDIB b;
    Load(b, Save(a));
    ASSERT_EQ(b.Width(), 5) << c.Bits;
    ASSERT_EQ(b.Height(), 3);
    ASSERT_EQ(b.BitCount(), c.Bits);
    EXPECT_EQ(b.PixelFormat().RBitMask, c.Pf.RBitMask) << c.Bits;
    for (int y = 0; y < 3; ++y) {
      EXPECT_EQ(b.Pixels(y + 1, y), c.Values[y]) << c.Bits << " row " << y;
      EXPECT_EQ(b.Pixels(0, y), 0u);
    }
    if (c.Bits <= 8) {
      EXPECT_EQ(b.ColorTable()[1], table[1]);
    }
  }
}

TEST(DIB, RowSizesAndPixelAddressing) {
  TDIB d;
  d.SetSize(3, 2, 24);
  EXPECT_EQ(d.WidthBytes(), 12);
  EXPECT_EQ(d.Size(), 24);
  d.SetPixels(0, 0, 0x112233);
  // 24-bit values are stored high byte first: bytes 0x11, 0x22, 0x33 at the row start.
  EXPECT_EQ(d.ScanLineReadOnly(0)[0], 0x11);
  EXPECT_EQ(d.ScanLineReadOnly(0)[2], 0x33);
  EXPECT_EQ(d.PixelRGB(0, 0), 0x332211u);
  d.SetSize(9, 1, 1);
  d.SetPixels(0, 0, 1);
  d.SetPixels(8, 0, 1);
  EXPECT_EQ(d.ScanLineReadOnly(0)[0], 0x80);
  EXPECT_EQ(d.ScanLineReadOnly(0)[1], 0x80);
  d.SetPixels(9, 0, 1);  // outside: nothing
  EXPECT_EQ(d.Pixels(9, 0), 0u);
}

TEST(DIB, TopDownAndBottomUpFilesGiveTheSamePixelsAndCoreHeadersLoad) {
  const std::string table = Le(0x000000, 4) + Le(0xFF0000, 4) + Le(0x00FF00, 4) + Le(0x0000FF, 4);
  // 2 x 2 at 8 bits: top row (1, 2), bottom row (3, 0); rows padded to 4 bytes.
  const std::string bottomUp = std::string("\x03\x00\x00\x00\x01\x02\x00\x00", 8);
  const std::string topDown = std::string("\x01\x02\x00\x00\x03\x00\x00\x00", 8);
  TDIB a, b, c;
  Load(a, Bmp(40, 2, 2, 8, 0, "", table + std::string(252 * 4, '\0'), bottomUp));
  Load(b, Bmp(40, 2, -2, 8, 0, "", table + std::string(252 * 4, '\0'), topDown));
  std::string core;
  for (int i = 0; i < 256; ++i) core += std::string("\x00\x00\x00", 3);
  core.replace(3, 3, std::string("\x00\x00\xFF", 3));
  Load(c, Bmp(12, 2, 2, 8, 0, "", core, bottomUp));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      EXPECT_EQ(a.Pixels(x, y), b.Pixels(x, y));
      EXPECT_EQ(a.Pixels(x, y), c.Pixels(x, y));
    }
  EXPECT_EQ(a.Pixels(0, 0), 1u);
  EXPECT_EQ(a.Pixels(0, 1), 3u);
  EXPECT_EQ(a.PixelRGB(0, 0), 0xFF0000u);
  EXPECT_EQ(c.PixelRGB(0, 0), 0xFF0000u);
}

TEST(DIB, BadFilesRaiseTheirMessages) {
  const std::string px(4, '\0');
  struct Case {
    std::string Bytes;
    std::string Message;
  } cases[] = {
      {"BX" + std::string(60, '\0'), "DIB is invalid"},
      {"BM\x01", "DIB is invalid"},
      {Bmp(64, 1, 1, 24, 0, "", "", px), "DIB is invalid"},
      {Bmp(40, 1, 1, 16, 3, Le(0x7C00, 4) + Le(0x7E0, 4) + Le(0x1F, 4), "", px), "PixelFormat in invalid"},
      {Bmp(40, 1, 1, 7, 0, "", "", px), "Bitcount in invalid (7)"},
      {Bmp(40, 1, 1, 24, 9, "", "", px), "DIB is invalid"},
      {Bmp(40, 100000, 100000, 32, 0, "", "", px), "DIB is invalid"},
      {Bmp(40, 0x7FFFFFFF, 2, 32, 0, "", "", px), "DIB is invalid"},
      {Bmp(40, 4, 4, 24, 0, "", "", px), "Stream read error"},
      // Bit-field masks as wide as the whole pixel, or whose channels together pass 32 bits.
      {Bmp(40, 1, 1, 32, 3, Le(0xFFFFFFFF, 4) + Le(0xFFFFFFFF, 4) + Le(0xFFFFFFFF, 4), "", px), "PixelFormat in invalid"},
      {Bmp(40, 1, 1, 32, 3, Le(0xFF000000, 4) + Le(0xFFFF, 4) + Le(0xFFFF, 4), "", px), "PixelFormat in invalid"},
  };
  for (const Case& c : cases) {
    TDIB d;
    try {
      Load(d, c.Bytes);
      ADD_FAILURE() << "loaded: " << c.Message;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
  TDIB ok;
  Load(ok, Bmp(40, 1, 1, 16, 3, Le(0xF800, 4) + Le(0x7E0, 4) + Le(0x1F, 4), "", Le(0xF800, 4)));
  EXPECT_EQ(ok.PixelRGB(0, 0), 0xF80000u);
  const TDIBPixelFormat wide = MakeDIBPixelFormatMask(0xFFFFFFFF, 0xFFFF, 0xFFFF);
  EXPECT_EQ(wide.RBitCount, 32);
  EXPECT_EQ(wide.RBitMask, 0xFFFFFFFFu);
  EXPECT_EQ(MakeDIBPixelFormat(32, 16, 16).RBitMask, 0u);  // shifted out entirely
  EXPECT_EQ(MakeDIBPixelFormat(8, 8, 8).RBitMask, 0xFF0000u);
  TDIB empty;
  Load(empty, "");
  EXPECT_TRUE(empty.Empty());
}

TEST(DIB, RunLengthDataStaysInsideTheImage) {
  const std::string table(256 * 4, '\0');
  // RLE8, 4 x 2: a run of 200 pixels, a delta far away, a literal longer than the data, end.
  const std::string rle = std::string("\xC8\x05\x00\x00\x02\x07", 6) + std::string("\x00\x02\x50\x50", 4) +
                          std::string("\x00\x09\x01\x02", 4);
  TDIB d;
  Load(d, Bmp(40, 4, 2, 8, 1, "", table, rle, static_cast<uint32_t>(rle.size())));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(d.Pixels(x, 1), 5u) << x;   // bottom row: the clipped run
  EXPECT_EQ(d.Pixels(0, 0), 7u);
  EXPECT_EQ(d.Pixels(1, 0), 7u);
  // RLE4: nibbles alternate, high first; a literal of 3 pixels is padded.
  const std::string rle4 = std::string("\x05\xAB", 2) + std::string("\x00\x00", 2) + std::string("\x00\x03\x12\x30", 4) +
                           std::string("\x00\x01", 2);
  TDIB f;
  Load(f, Bmp(40, 4, 2, 4, 2, "", std::string(16 * 4, '\0'), rle4, static_cast<uint32_t>(rle4.size())));
  const uint32_t bottom[4] = {0xA, 0xB, 0xA, 0xB}, top[4] = {1, 2, 3, 0};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(f.Pixels(x, 1), bottom[x]) << x;
    EXPECT_EQ(f.Pixels(x, 0), top[x]) << x;
  }
  // A compressed size larger than the file is refused.
  TDIB g;
  EXPECT_THROW(Load(g, Bmp(40, 4, 2, 8, 1, "", table, rle, 100000)), EInvalidGraphic);
}

TEST(DIB, CopiesShareUntilWritten) {
  TDIB a;
  a.SetSize(2, 2, 8);
  a.SetPixels(0, 0, 9);
  TDIB b;
  b.Assign(&a);
  EXPECT_EQ(a.ShareCount(), b.ShareCount());
  EXPECT_GE(a.ShareCount(), 2);
  b.SetPixels(0, 0, 4);
  EXPECT_EQ(a.Pixels(0, 0), 9u);
  EXPECT_EQ(b.Pixels(0, 0), 4u);
  EXPECT_EQ(a.ShareCount(), 1);
  TRGBQuads t{};
  t[0].rgbRed = 77;
  TDIB c;
  c.Assign(&a);
  c.SetColorTable(t);
  EXPECT_EQ(a.ColorTable()[0].rgbRed, 0);
  EXPECT_EQ(c.ColorTable()[0].rgbRed, 77);
}

TEST(DIB, AssignsPlatformBitmaps) {
  TBitmap bmp;
  bmp.SetSize(3, 2);
  bmp.ScanLine(1)[2] = 0xFF123456;
  TDIB d;
  d.Assign(static_cast<const TGraphic*>(&bmp));
  EXPECT_EQ(d.BitCount(), 24);
  EXPECT_EQ(d.PixelRGB(2, 1), 0x123456u);
  TBitmap back;
  d.ToBitmap(back);
  EXPECT_EQ(back.ScanLine(1)[2] & 0xFFFFFF, 0x123456u);
}
