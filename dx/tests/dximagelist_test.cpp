#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dx/dximagelist.h"
#include "platform/gui/controls.h"

namespace {

// A 24-bit picture whose every pixel is distinct: 0x00RRGGBB = (x << 8) | y | 0x400000.
std::unique_ptr<TDIB> Picture(int W, int H) {
  auto d = std::make_unique<TDIB>();
  d->SetSize(W, H, 24);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) d->SetPixels(x, y, 0x400000u | (static_cast<uint32_t>(x) << 8) | static_cast<uint32_t>(y));
  return d;
}

struct ItemCase {
  const char* Name;
  int PicW, PicH, PatW, PatH, SkipW, SkipH;
  bool SystemMemory, Transparent;
  TColor Key;
  int Patterns;
};

const ItemCase kItems[] = {
    {"background", 40, 30, 0, 0, 0, 0, false, true, 0, 1},
    {"Bombs", 100, 20, 30, 20, 5, 0, false, true, clFuchsia, 3},  // remainder 30 = pattern width: 3 columns
    {"explosion", 64, 64, 16, 16, 0, 0, true, false, 0x123456, 16},
    {"panel", 700, 30, 100, 10, 0, 0, false, true, 0x00FF00, 21},  // wider than one 512-pixel block
};

std::string SaveImage(TPictureCollection& C) {
  TMemoryStream m;
  C.SaveToStream(&m);
  m.SetPosition(0);
  return m.ReadString(m.Size());
}

void Load(TPictureCollection& C, const std::string& Image) {
  TStringStream s(Image);
  C.LoadFromStream(&s);
}

void Fill(TPictureCollection& C) {
  for (const ItemCase& s : kItems) {
    TPictureCollectionItem* it = C.Add();
    it->SetName(s.Name);
    it->Picture()->SetGraphic(Picture(s.PicW, s.PicH));
    it->SetPatternWidth(s.PatW);
    it->SetPatternHeight(s.PatH);
    it->SetSkipWidth(s.SkipW);
    it->SetSkipHeight(s.SkipH);
    it->SetSystemMemory(s.SystemMemory);
    it->SetTransparent(s.Transparent);
    it->SetTransparentColor(s.Key);
  }
}

}  // namespace

TEST(PictureCollectionTest, DxgRoundTripKeepsItemsPatternsAndPixels) {
  TPictureCollection out(nullptr);
  Fill(out);
  out.ColorTable[7] = TRGBQuad{1, 2, 3, 0};
  const std::string image = SaveImage(out);
  ASSERT_EQ(static_cast<uint8_t>(image[0]), 0xFF);

  TPictureCollection in(nullptr);
  Load(in, image);
  ASSERT_EQ(in.Count(), 4);
  EXPECT_EQ(in.ColorTable[7], (TRGBQuad{1, 2, 3, 0}));
  for (const ItemCase& s : kItems) {
    SCOPED_TRACE(s.Name);
    TPictureCollectionItem* it = in.ItemByName(s.Name);
    EXPECT_EQ(it->Name(), s.Name);
    EXPECT_EQ(it->PatternWidth(), s.PatW);
    EXPECT_EQ(it->PatternHeight(), s.PatH);
    EXPECT_EQ(it->SkipWidth(), s.SkipW);
    EXPECT_EQ(it->SkipHeight(), s.SkipH);
    EXPECT_EQ(it->SystemMemory(), s.SystemMemory);
    EXPECT_EQ(it->Transparent(), s.Transparent);
    EXPECT_EQ(it->TransparentColor(), s.Key);
    EXPECT_EQ(it->PatternCount(), s.Patterns);
    auto* dib = dynamic_cast<TDIB*>(it->Picture()->Graphic());
    ASSERT_NE(dib, nullptr);
    ASSERT_EQ(dib->Width(), s.PicW);
    ASSERT_EQ(dib->Height(), s.PicH);
    EXPECT_EQ(dib->Pixels(s.PicW - 1, s.PicH - 1), 0x400000u | ((s.PicW - 1u) << 8) | (s.PicH - 1u));
    EXPECT_EQ(dib->Pixels(3, 2), 0x400302u);
    EXPECT_FALSE(it->Initialized());  // no display: nothing to draw on
  }
  // Writing what was read gives the same bytes.
  EXPECT_EQ(SaveImage(in), image);
}

TEST(PictureCollectionTest, LookupAndPatternCountEdges) {
  TPictureCollection c(nullptr);
  Fill(c);
  EXPECT_EQ(c.ItemByName("BACKGROUND"), c.Items(0));
  try {
    c.ItemByName("nothing");
    ADD_FAILURE();
  } catch (const EPictureCollectionError& e) {
    EXPECT_EQ(e.Message(), "Image 'nothing' not found");
  }
  // A zero pitch in one direction counts as one column (the whole picture), never a division by zero.
  TPictureCollectionItem* it = c.Items(1);
  it->SetPatternWidth(0);
  it->SetSkipWidth(0);
  EXPECT_EQ(it->PatternCount(), 1);
  EXPECT_EQ(it->PatternRect(-1), TRect());
  EXPECT_EQ(it->PatternSurface(0), nullptr);
}

TEST(PictureCollectionTest, CorruptImagesRaiseClearErrors) {
  TPictureCollection good(nullptr);
  Fill(good);
  const std::string image = SaveImage(good);
  // Every truncation raises.
  for (size_t n = 0; n < image.size(); n += (n < 200 ? 1 : 97)) {
    TPictureCollection c(nullptr);
    EXPECT_THROW(Load(c, image.substr(0, n)), Exception) << n;
  }
  struct Case {
    const char* What;
    std::string Image;
  } cases[] = {
      {"first byte", std::string("\xFE", 1) + image.substr(1)},
      {"type", image.substr(0, 1) + std::string("\x0B", 1) + image.substr(2)},
      {"signature", [&] {
         std::string s = image;
         s[s.find("TPF0")] = 'X';
         return s;
       }()},
  };
  for (const Case& k : cases) {
    TPictureCollection c(nullptr);
    try {
      Load(c, k.Image);
      ADD_FAILURE() << k.What;
    } catch (const EInvalidImage& e) {
      EXPECT_EQ(e.Message(), "Invalid stream format") << k.What;
    }
  }
}

TEST(PictureCollectionTest, PictureDataIsBoundedByItsPropertyLengthAndSizesMustNotBeNegative) {
  TPictureCollection one(nullptr);
  TPictureCollectionItem* it = one.Add();
  it->SetName("a");
  it->Picture()->SetGraphic(Picture(4, 4));
  it->SetPatternWidth(2);
  std::string image = SaveImage(one);
  {
    // Shrink the picture's property length by one byte: the DIB no longer fits inside it.
    std::string s = image;
    const size_t p = s.find("Picture.Data") + 12 + 1;
    uint32_t len = static_cast<uint8_t>(s[p]) | (static_cast<uint8_t>(s[p + 1]) << 8);
    len -= 1;
    s[p] = static_cast<char>(len & 255);
    s[p + 1] = static_cast<char>(len >> 8);
    TPictureCollection c(nullptr);
    EXPECT_THROW(Load(c, s), Exception);
  }
  {
    std::string s = image;
    const size_t p = s.find("PatternWidth") + 12;
    ASSERT_EQ(s[p], 2);  // 8-bit integer
    s[p + 1] = static_cast<char>(-2);
    TPictureCollection c(nullptr);
    EXPECT_THROW(Load(c, s), EInvalidImage);
  }
}

TEST(DXImageListTest, FollowsTheDisplayAndDrawsPatternsWithTheColourKey) {
  TForm form(nullptr);
  auto* dx = new TDXDraw(&form);
  dx->SetParent(&form);
  dx->SetBounds(0, 0, 64, 48);
  auto* list = new TDXImageList(&form);
  TPictureCollection src(nullptr);
  TPictureCollectionItem* it = src.Add();
  it->SetName("cells");
  // Two 4 x 4 cells side by side: left red with a black (key) pixel, right blue.
  auto pic = std::make_unique<TDIB>();
  pic->SetSize(8, 4, 24);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) pic->SetPixels(x, y, x < 4 ? 0x0000FFu : 0xFF0000u  /* raw 24-bit values read 0xBBGGRR */);
  pic->SetPixels(1, 1, 0);
  it->Picture()->SetGraphic(std::move(pic));
  it->SetPatternWidth(4);
  it->SetPatternHeight(4);
  Load(*list->Items(), SaveImage(src));
  list->SetDXDraw(dx);
  TPictureCollectionItem* cells = list->Items()->ItemByName("CELLS");
  EXPECT_FALSE(cells->Initialized());
  dx->Initialize();
  ASSERT_TRUE(cells->Initialized());
  ASSERT_EQ(cells->PatternCount(), 2);
  TDirectDrawSurface* back = dx->Surface();
  const uint32_t green = back->ColorMatch(clLime), red = back->ColorMatch(clRed), blue = back->ColorMatch(clBlue);
  back->Fill(green);
  cells->Draw(back, 10, 10, 0);
  cells->Draw(back, 20, 10, 1);
  cells->Draw(back, 30, 10, 2);  // out of range: nothing
  EXPECT_EQ(back->Pixels(10, 10), red);
  EXPECT_EQ(back->Pixels(11, 11), green);  // the key pixel lets the background through
  EXPECT_EQ(back->Pixels(23, 13), blue);
  EXPECT_EQ(back->Pixels(30, 10), green);
  dx->Finalize();
  EXPECT_FALSE(cells->Initialized());
  EXPECT_EQ(cells->SurfaceCount(), 0);
  delete dx;  // the list lets go of the display
  EXPECT_EQ(list->DXDraw(), nullptr);
}

TEST(DXImageListTest, LargePicturesAreCutIntoBlocksOfWholeCellsAndEveryPatternDrawsItsCell) {
  TForm form(nullptr);
  auto* dx = new TDXDraw(&form);
  dx->SetParent(&form);
  dx->SetBounds(0, 0, 120, 40);
  auto* list = new TDXImageList(&form);
  list->SetDXDraw(dx);
  dx->Initialize();
  struct Case {
    int PicW, PicH, PatW, PatH, SkipW, SkipH;
    bool SystemMemory;
    int Surfaces, Patterns;
  } cases[] = {
      {700, 30, 100, 10, 0, 0, false, 2, 21},  // blocks of 600 and 100 pixels
      {700, 30, 100, 10, 0, 0, true, 1, 21},
      {100, 20, 30, 20, 5, 0, false, 1, 3},    // the last cell needs no gap after it
      {40, 30, 0, 0, 0, 0, false, 1, 1},       // the whole picture
  };
  TDirectDrawSurface* back = dx->Surface();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.PicW) + (c.SystemMemory ? " system" : " blocks"));
    list->Items()->Clear();
    TPictureCollectionItem* it = list->Items()->Add();
    // Each cell is filled with a colour of its own index (raw 24-bit values read 0xBBGGRR: R = column, G = row).
    auto pic = std::make_unique<TDIB>();
    pic->SetSize(c.PicW, c.PicH, 24);
    const int cw = (c.PatW ? c.PatW : c.PicW) + c.SkipW, ch = (c.PatH ? c.PatH : c.PicH) + c.SkipH;
    for (int y = 0; y < c.PicH; ++y)
      for (int x = 0; x < c.PicW; ++x)
        pic->SetPixels(x, y, 0x800000u | (static_cast<uint32_t>(y / ch * 40) << 8) | static_cast<uint32_t>(x / cw * 40));
    it->Picture()->SetGraphic(std::move(pic));
    it->SetPatternWidth(c.PatW);
    it->SetPatternHeight(c.PatH);
    it->SetSkipWidth(c.SkipW);
    it->SetSkipHeight(c.SkipH);
    it->SetSystemMemory(c.SystemMemory);
    it->SetTransparent(false);
    list->Items()->Initialize(dx);
    list->Items()->Restore();
    ASSERT_EQ(it->SurfaceCount(), c.Surfaces);
    ASSERT_EQ(it->PatternCount(), c.Patterns);
    const int cols = (c.PicW + c.SkipW) / cw;
    for (int i = 0; i < it->PatternCount(); ++i) {
      back->Fill(0);
      it->Draw(back, 0, 0, i);
      const TColor want = RGB((i % cols) * 40, (i / cols) * 40, 0x80);
      EXPECT_EQ(back->Pixels(0, 0), back->ColorMatch(want)) << "pattern " << i;
      EXPECT_EQ(back->Pixels(it->Width() - 1, it->Height() - 1), back->ColorMatch(want)) << "pattern " << i;
    }
  }
}
