#include <gtest/gtest.h>

#include <memory>

#include "dx/dxdraws.h"
#include "dx/dxrender.h"
#include "platform/gui/controls.h"

namespace {

// 16-bit 5-6-5 device values.
constexpr uint32_t Px565(int R, int G, int B) { return static_cast<uint32_t>(((R >> 3) << 11) | ((G >> 2) << 5) | (B >> 3)); }

struct SurfaceFixture : ::testing::Test {
  TDirectDraw dd;
  TDirectDrawSurface* Make(int W, int H) {
    auto* s = new TDirectDrawSurface(&dd);
    s->SetSize(W, H);
    return s;
  }
  // Source 4 x 3: key colour (0) at column 0, a distinct value per pixel elsewhere.
  TDirectDrawSurface* Source() {
    TDirectDrawSurface* s = Make(4, 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) s->SetPixels(x, y, x == 0 ? 0u : static_cast<uint32_t>(100 + 10 * y + x));
    s->SetTransparentColor(0);
    return s;
  }
};

}  // namespace

TEST(DDChannel, FiveSixFiveConversions) {
  struct Case {
    uint32_t Rgb, Pixel, Back;
  } cases[] = {
      {0xFFFFFF, 0xFFFF, 0xF8FCF8}, {0x000000, 0x0000, 0x000000}, {0xFF0000, 0xF800, 0xF80000},
      {0x00FF00, 0x07E0, 0x00FC00}, {0x0000FF, 0x001F, 0x0000F8}, {0x123456, Px565(0x12, 0x34, 0x56), 0x103450},
  };
  TDDSoftDevice dev;
  TDDSoftSurface s(&dev, 1, 1, DDPixelFormatOf(16), DDSCAPS_OFFSCREENPLAIN);
  for (const Case& c : cases) {
    EXPECT_EQ(s.RGBToPixel(c.Rgb), c.Pixel) << std::hex << c.Rgb;
    EXPECT_EQ(s.PixelToRGB(c.Pixel), c.Back) << std::hex << c.Pixel;
  }
  const TDDChannel g = TDDChannel::FromMask(0x07E0);
  EXPECT_EQ(g.Bits, 6);
  EXPECT_EQ(g.Right, 3);
  EXPECT_EQ(g.Left, 0);
  const TDDChannel r = TDDChannel::FromMask(0xF800);
  EXPECT_EQ(r.Right, 8);
  const TDDChannel b = TDDChannel::FromMask(0x001F);
  EXPECT_EQ(b.Left, 3);
}

TEST_F(SurfaceFixture, FillAndColorKeyedDrawClippedAtEveryEdge) {
  TDirectDrawSurface* src = Source();
  struct Case {
    int X, Y;
  } cases[] = {{2, 2}, {-2, 0}, {0, -1}, {5, 4}, {-3, -2}, {6, 0}, {0, 5}};
  for (const Case& c : cases) {
    TDirectDrawSurface* dst = Make(7, 6);
    dst->Fill(7);
    dst->Draw(c.X, c.Y, src->ClientRect(), src, true);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 7; ++x) {
        const int sx = x - c.X, sy = y - c.Y;
        uint32_t want = 7;
        if (sx >= 1 && sx < 4 && sy >= 0 && sy < 3) want = static_cast<uint32_t>(100 + 10 * sy + sx);
        ASSERT_EQ(dst->Pixels(x, y), want) << "draw at " << c.X << "," << c.Y << " pixel " << x << "," << y;
      }
  }
  // Without transparency the key colour is copied too.
  TDirectDrawSurface* dst = Make(7, 6);
  dst->Fill(7);
  dst->Draw(1, 1, src->ClientRect(), src, false);
  EXPECT_EQ(dst->Pixels(1, 1), 0u);
  EXPECT_EQ(dst->Pixels(0, 0), 7u);
}

TEST_F(SurfaceFixture, MirroredRectangleDrawsFlipped) {
  TDirectDrawSurface* src = Source();
  TDirectDrawSurface* dst = Make(4, 3);
  dst->Fill(5);
  // Left > right: mirrored left to right.
  dst->Draw(0, 0, TRect(4, 0, 0, 3), src, false);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst->Pixels(x, y), src->Pixels(3 - x, y)) << x << "," << y;
  dst->Draw(0, 0, TRect(0, 3, 4, 0), src, false);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst->Pixels(x, y), src->Pixels(x, 2 - y)) << x << "," << y;
}

TEST_F(SurfaceFixture, ClipperSwitchesToTheFullBlitAndClipsToTheWindow) {
  TDirectDrawSurface* src = Source();
  TDirectDrawSurface* dst = Make(8, 8);
  dst->Fill(1);
  auto* clip = new TDirectDrawClipper(&dd);
  clip->IClipper()->SetWindowSize(3, 8);
  dst->ISurface()->SetClipper(clip->IClipper());  // attached behind the wrapper's back
  EXPECT_FALSE(dst->HasClipper());
  dst->Draw(1, 0, src->ClientRect(), src, true);
  EXPECT_TRUE(dst->HasClipper());
  EXPECT_EQ(dst->Pixels(2, 0), 101u);
  EXPECT_EQ(dst->Pixels(1, 0), 1u);  // key colour
  EXPECT_EQ(dst->Pixels(3, 0), 1u);  // outside the clipper's window
}

TEST_F(SurfaceFixture, LocksDoNotNestAndSizeZeroReleases) {
  TDirectDrawSurface* s = Make(3, 3);
  s->SetPixels(1, 1, 0xBEEF);
  TDDSurfaceDesc d;
  ASSERT_TRUE(s->Lock(nullptr, d));
  EXPECT_EQ(d.Pitch, 8);
  EXPECT_EQ(d.Surface[d.Pitch + 2] | (d.Surface[d.Pitch + 3] << 8), 0xBEEF);
  EXPECT_EQ(s->Pixels(1, 1), 0u);  // already locked
  EXPECT_FALSE(s->Lock(nullptr, d));
  s->Unlock();
  EXPECT_EQ(s->Pixels(1, 1), 0xBEEFu);
  EXPECT_EQ(s->Pixels(3, 0), 0u);
  s->SetSize(0, 10);
  EXPECT_EQ(s->ISurface(), nullptr);
  EXPECT_EQ(s->Pixels(0, 0), 0u);
  s->Fill(3);  // no surface: nothing, no crash
  EXPECT_THROW(s->IDDSurface(), EDirectDrawSurfaceError);
}

TEST_F(SurfaceFixture, ColorMatchAndFormatsOfEveryDepth) {
  struct Case {
    int Bits;
    TColor Color;
    uint32_t Want;
  } cases[] = {{16, clRed, 0xF800}, {16, clWhite, 0xFFFF}, {24, RGB(1, 2, 3), 0x010203}, {32, clBlue, 0x0000FF}};
  for (const Case& c : cases) {
    TDDSurfaceDesc d;
    d.Width = 2;
    d.Height = 2;
    d.PixelFormat = DDPixelFormatOf(c.Bits);
    TDirectDrawSurface s(&dd);
    ASSERT_TRUE(s.CreateSurface(d));
    s.SetPixels(0, 0, 0x1234);
    EXPECT_EQ(s.ColorMatch(c.Color), c.Want) << c.Bits;
    EXPECT_EQ(s.Pixels(0, 0), 0x1234u);
  }
}

// Blits between surfaces of one format copy raw rows; every depth must give what the pixel rules
// give: keyed pixels skipped, clipped at the edges, rows shown as 0xFFRRGGBB.
TEST_F(SurfaceFixture, SameFormatBlitsAndRowsOfEveryDepth) {
  for (int bits : {8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    auto make = [&](int W, int H) {
      TDDSurfaceDesc d;
      d.Width = W;
      d.Height = H;
      d.PixelFormat = DDPixelFormatOf(bits);
      auto s = std::make_unique<TDirectDrawSurface>(&dd);
      EXPECT_TRUE(s->CreateSurface(d));
      return s;
    };
    const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    auto value = [&](int x, int y) { return static_cast<uint32_t>(0x9E3779B1u * static_cast<uint32_t>(x * 7 + y * 131 + 1)) & mask; };
    auto src = make(5, 4), dst = make(6, 5);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x) src->SetPixels(x, y, (x + y) % 3 == 0 ? 1u : value(x, y) | 2u);
    src->SetTransparentColor(1);
    for (bool keyed : {false, true}) {
      dst->Fill(0);
      dst->Draw(3, -1, src.get(), keyed);
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
          const int sx = x - 3, sy = y + 1;
          uint32_t want = 0;
          if (sx >= 0 && sx < 5 && sy < 4) {
            const uint32_t v = src->Pixels(sx, sy);
            want = keyed && v == 1 ? 0 : v;
          }
          ASSERT_EQ(dst->Pixels(x, y), want) << x << "," << y << " keyed " << keyed;
        }
    }
    std::vector<uint32_t> row(6);
    dst->ISurface()->RowToARGB(2, row.data());
    for (int x = 0; x < 6; ++x) EXPECT_EQ(row[size_t(x)], 0xFF000000u | dst->ISurface()->PixelToRGB(dst->Pixels(x, 2)));
  }
}

TEST_F(SurfaceFixture, CanvasTextReachesTheSurfaceAfterRelease) {
  TDirectDrawSurface* s = Make(60, 20);
  s->Fill(0);
  TCanvas* c = s->Canvas();
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(clWhite);
  c->Font()->SetHeight(-14);
  c->TextOut(2, 2, "WWW");
  s->ReleaseCanvas();
  int lit = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) lit += s->Pixels(x, y) != 0;
  EXPECT_GT(lit, 10);
  EXPECT_EQ(s->Pixels(59, 19), 0u);
}

TEST_F(SurfaceFixture, WaveBlendAddsSaturatesAndSkipsTheKey) {
  TDirectDrawSurface* src = Make(4, 1);
  src->SetPixels(0, 0, Px565(248, 0, 0));
  src->SetPixels(1, 0, Px565(128, 128, 64));
  src->SetPixels(2, 0, 0);  // key
  src->SetPixels(3, 0, Px565(16, 32, 8));
  src->SetTransparentColor(0);
  struct Case {
    int Alpha;
    uint32_t Want[4];
  } cases[] = {
      // Additive: each channel saturates at its maximum.
      {255, {Px565(248, 128, 64), Px565(248, 252, 128), Px565(128, 128, 64), Px565(144, 160, 72)}},
      // Alpha 128: source x 128 / 256 added (5-bit red 248 -> 124 -> stored 120 after packing).
      {128, {Px565(248, 128, 64), Px565(192, 192, 96), Px565(128, 128, 64), Px565(136, 144, 68)}},
  };
  for (const Case& c : cases) {
    TDirectDrawSurface* dst = Make(4, 1);
    dst->Fill(Px565(128, 128, 64));
    dst->DrawWaveBlended(0, 0, 4, 1, src->ClientRect(), src, true, 0, 0, 0, c.Alpha);
    for (int x = 0; x < 4; ++x) {
      const uint32_t want = c.Want[x];
      // Expected values from the channel formula: min(dest + src * alpha / 256, 255), repacked.
      const uint32_t s = src->Pixels(x, 0), d0 = Px565(128, 128, 64);
      uint32_t formula = d0;
      if (s != 0) {
        auto ch = [&](uint32_t mask, int right, int left) {
          const int sc = static_cast<int>(((s & mask) >> right) << left), dc = static_cast<int>(((d0 & mask) >> right) << left);
          const int v = c.Alpha >= 255 ? std::min(sc + dc, 255) : std::min(((sc * c.Alpha) >> 8) + dc, 255);
          return ((static_cast<uint32_t>(v) >> left) << right) & mask;
        };
        formula = ch(0xF800, 8, 0) | ch(0x07E0, 3, 0) | ch(0x001F, 0, 3);
      }
      EXPECT_EQ(dst->Pixels(x, 0), formula) << "alpha " << c.Alpha << " x " << x;
      (void)want;
    }
  }
  // The first case's hand-computed pixels.
  TDirectDrawSurface* dst = Make(4, 1);
  dst->Fill(Px565(128, 128, 64));
  dst->DrawWaveBlended(0, 0, 4, 1, src->ClientRect(), src, true, 0, 0, 0, 255);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(dst->Pixels(x, 0), cases[0].Want[x]) << x;
}

TEST_F(SurfaceFixture, WaveShiftsRowsBySineOfThePhase) {
  TDirectDrawSurface* src = Make(1, 4);
  for (int y = 0; y < 4; ++y) src->SetPixels(0, y, Px565(0, 0, 248));
  src->SetTransparentColor(0xFFFF);
  TDirectDrawSurface* dst = Make(20, 4);
  dst->Fill(0);
  // Wave length 4: phase index 0, 64, 128, 192 for the four rows: offsets 0, 5, 0, -5.
  dst->DrawWaveBlended(10, 0, 1, 4, src->ClientRect(), src, false, 5, 4, 0, 255);
  const int want[4] = {10, 15, 10, 5};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 20; ++x) EXPECT_EQ(dst->Pixels(x, y) != 0, x == want[y]) << x << "," << y;
  // Wave length 0: a constant offset round(sin(2 pi 64 / 256) x 3) = 3.
  dst->Fill(0);
  dst->DrawWaveBlended(2, 0, 1, 4, src->ClientRect(), src, false, 3, 0, 64, 255);
  for (int y = 0; y < 4; ++y) EXPECT_NE(dst->Pixels(5, y), 0u) << y;
}

TEST(DXRBlend, ChannelOperationsFollowTheirFormulas) {
  struct Case {
    int Op, C1, A1, C2, Want;
  } cases[] = {{rbZero, 9, 0, 9, 0},          {rbCopy, 7, 0, 9, 7},          {rbSecond, 7, 0, 9, 9},
               {rbAdd, 200, 0, 100, 255},     {rbAdd, 20, 0, 30, 50},        {rbSubFirst, 10, 0, 30, 0},
               {rbSubSecond, 10, 0, 30, 20},  {rbMul, 128, 0, 200, 100},     {rbAlpha, 200, 128, 0, 100},
               {rbAddAlpha, 200, 128, 50, 150}, {rbAddAlpha, 255, 255, 255, 255}, {rbSubAlpha, 200, 128, 150, 50},
               {rbBlend, 200, 128, 100, 150}, {rbBlendInverse, 200, 255, 100, 100}};
  for (const Case& c : cases) EXPECT_EQ(DXRBlendChannel(c.Op, c.C1, c.A1, c.C2, 255, false), c.Want) << c.Op;
}

TEST(ClipRectsTest, MovesBothRectanglesTogether) {
  struct Case {
    TRect D, S, DC, SC, WantD, WantS;
    bool Ok;
  } cases[] = {
      {{-2, 0, 2, 2}, {0, 0, 4, 2}, {0, 0, 10, 10}, {0, 0, 4, 2}, {0, 0, 2, 2}, {2, 0, 4, 2}, true},
      {{8, 8, 12, 12}, {0, 0, 4, 4}, {0, 0, 10, 10}, {0, 0, 4, 4}, {8, 8, 10, 10}, {0, 0, 2, 2}, true},
      {{0, 0, 4, 4}, {-1, 0, 3, 4}, {0, 0, 10, 10}, {0, 0, 4, 4}, {1, 0, 4, 4}, {0, 0, 3, 4}, true},
      {{10, 0, 14, 4}, {0, 0, 4, 4}, {0, 0, 10, 10}, {0, 0, 4, 4}, {10, 0, 10, 4}, {0, 0, 0, 4}, false},
  };
  for (const Case& c : cases) {
    TRect d = c.D, s = c.S;
    EXPECT_EQ(ClipRects(d, s, c.DC, c.SC), c.Ok);
    EXPECT_EQ(d, c.WantD);
    EXPECT_EQ(s, c.WantS);
  }
}

// ---------------------------------------------------------------------------------------------
TEST(DXDrawDisplayTest, ModeSearchFollowsTheRatioSizeAndDepthRules) {
  TDDSoftDevice::SetPlatformModes({{800, 600, 32}, {640, 480, 8}, {1024, 768, 16}});
  TForm form(nullptr);
  auto* dx = new TDXDraw(&form);
  dx->SetParent(&form);
  dx->SetBounds(0, 0, 64, 48);
  dx->Initialize();
  TDXDrawDisplay* d = dx->Display();
  ASSERT_EQ(d->Count(), 4);
  EXPECT_EQ(d->Modes(0).Width, 640);
  EXPECT_EQ(d->Modes(1).BitCount, 16);  // 800 x 600 x 16 is always offered
  EXPECT_EQ(d->Modes(2).BitCount, 32);
  d->SetFixedSize(false);
  d->SetFixedBitCount(false);
  EXPECT_TRUE(d->SetSize(640, 480, 16));  // 640 x 480 only at 8 bits: the smallest larger mode
  EXPECT_EQ(d->Width(), 800);
  EXPECT_EQ(d->BitCount(), 16);  // the requested depth exists at that size
  EXPECT_FALSE(d->SetSize(800, 600, 15));
  d->SetFixedSize(true);
  d->SetFixedBitCount(true);
  EXPECT_FALSE(d->SetSize(1024, 768, 32));
  EXPECT_THROW(d->SetBitCount(15), EDirectDrawError);
  d->SetWidth(-5);
  EXPECT_EQ(d->Width(), 0);
  TDDSoftDevice::SetPlatformModes({});
}

TEST(DXDrawTest, OptionRulesInAndOutOfInitialization) {
  TForm form(nullptr);
  auto* dx = new TDXDraw(&form);
  dx->SetParent(&form);
  const TDXDrawOptions host = Opts(doNoWindowChange, doWaitVBlank, doCenter, doRetainedMode, doHardware);
  dx->SetOptions(host);
  EXPECT_EQ(dx->EffectiveOptions(), Opts(doWaitVBlank, doCenter));
  dx->SetOptions(host | Opt(doFullScreen));
  EXPECT_EQ(dx->EffectiveOptions(), Opts(doFullScreen, doNoWindowChange, doWaitVBlank, doCenter));
  dx->SetOptions(Opts(doFlip, doFullScreen, doSystemMemory));
  EXPECT_FALSE(dx->EffectiveOptions() & Opt(doFlip));
  dx->SetOptions(host);
  dx->SetBounds(0, 0, 40, 30);
  dx->Initialize();
  dx->SetOptions(host | Opt(doFullScreen) | Opt(doStretch));
  // The back surface lies in system memory, which the effective set records.
  EXPECT_EQ(dx->EffectiveOptions(), Opts(doWaitVBlank, doCenter, doStretch, doSystemMemory));
  dx->Finalize();
  EXPECT_EQ(dx->EffectiveOptions() & Opt(doFullScreen), Opt(doFullScreen));
}

TEST(DXDrawTest, ListenersHearTheLifeCycleInOrder) {
  // Declared before the form: the display still tells its listeners when the form frees it.
  std::vector<std::string> heard;
  TForm form(nullptr);
  auto* dx = new TDXDraw(&form);
  dx->SetParent(&form);
  dx->SetBounds(0, 0, 40, 30);
  auto listener = [&heard](const char* Who) {
    return [&heard, Who](TCustomDXDraw*, TDXDrawNotifyType Code) { heard.push_back(Who + std::to_string(Code)); };
  };
  int a = 0, b = 0;
  dx->Finalize();  // never initialised: nothing
  dx->RegisterListener(&a, listener("a"));
  EXPECT_EQ(heard, std::vector<std::string>{"a7"});
  heard.clear();
  dx->RegisterListener(&b, listener("b"));
  dx->Initialize();
  // Last registered first; restore after the initialize notifications.
  EXPECT_EQ(heard, (std::vector<std::string>{"b7", "b1", "a1", "b7", "a7", "b2", "a2", "b3", "a3", "b6", "a6"}));
  heard.clear();
  int c = 0;
  dx->RegisterListener(&c, listener("c"));
  EXPECT_EQ(heard, (std::vector<std::string>{"c7", "c2", "c3", "c6"}));
  heard.clear();
  dx->UnregisterListener(&c);
  EXPECT_EQ(heard, (std::vector<std::string>{"c5", "c4"}));
  heard.clear();
  dx->Finalize();
  EXPECT_EQ(heard, (std::vector<std::string>{"b5", "a5", "b4", "a4"}));
  EXPECT_FALSE(dx->Initialized());
}

TEST(DXDrawTest, InitializeNeedsAForm) {
  TDXDraw dx(nullptr);
  try {
    dx.Initialize();
    ADD_FAILURE() << "initialised without a form";
  } catch (const EDXDrawError& e) {
    EXPECT_EQ(e.Message(), "Form not found");
  }
  EXPECT_FALSE(dx.Initialized());
}

TEST(DXDrawTest, FlipPresentsTheBackSurfaceCentred) {
  TForm form(nullptr);
  auto* dx = new TDXDraw(&form);
  dx->SetParent(&form);
  dx->SetBounds(0, 0, 20, 10);
  dx->SetAutoSize(false);
  dx->SetOptions(Opts(doCenter));
  dx->Initialize();
  dx->SetSurfaceSize(10, 6);
  ASSERT_TRUE(dx->ReadyToDraw());
  EXPECT_EQ(dx->SurfaceWidth(), 10);
  dx->Surface()->Fill(dx->Surface()->ColorMatch(clRed));
  dx->Flip();
  const TBitmap& shown = dx->Presented();
  ASSERT_EQ(shown.Width(), 20);
  // A window shows the desktop's true colour.
  EXPECT_EQ(dx->Surface()->BitCount(), 32);
  EXPECT_EQ(shown.PixelColor(5, 2), clRed);
  EXPECT_EQ(shown.PixelColor(14, 7), clRed);
  EXPECT_EQ(shown.PixelColor(4, 2), clBlack);
  EXPECT_EQ(shown.PixelColor(15, 2), clBlack);
  EXPECT_EQ(shown.PixelColor(5, 1), clBlack);
}

// The host window switches the display by Finalize, a changed full-screen option and Initialize,
// both ways. Exclusive mode is the form's full-screen window; releasing the display ends it, so
// that leaving full screen really gives the window back.
TEST(DXDrawTest, FullScreenIsEnteredAndLeftThroughFinalizeOptionsAndInitialize) {
  auto* form = new TForm(nullptr);
  form->SetBorderStyle(bsSingle);
  form->SetClientWidth(400);
  form->SetClientHeight(300);
  form->Show();
  auto* dx = new TDXDraw(form);
  dx->SetParent(form);
  dx->SetBounds(0, 0, 400, 300);
  dx->SetOptions(Opts(doNoWindowChange, doWaitVBlank, doCenter, doRetainedMode, doHardware));
  dx->Display()->SetWidth(800);
  dx->Display()->SetHeight(600);
  dx->Display()->SetBitCount(16);
  dx->Display()->SetFixedBitCount(false);
  dx->Display()->SetFixedSize(true);
  // Surfaces are true colour in the window and 5-6-5 in the 16-bit full-screen mode.
  auto show = [&](TColor c, int Bits) {
    ASSERT_TRUE(dx->ReadyToDraw());
    EXPECT_EQ(dx->Surface()->BitCount(), Bits);
    dx->Surface()->Fill(dx->Surface()->ColorMatch(c));
    dx->Flip();
    EXPECT_EQ(dx->Presented().PixelColor(200, 150), ColorToRGB(c) & (Bits == 16 ? 0xF8FCF8 : 0xFFFFFF));
  };
  auto enter = [&] {
    dx->Finalize();
    dx->SetOptions(dx->Options() | Opt(doFullScreen));
    dx->Initialize();
  };

  dx->Initialize();
  EXPECT_FALSE(form->FullScreen());
  EXPECT_EQ(dx->DDraw()->IDDraw()->CooperativeLevel(), DDSCL_NORMAL);
  // The modes offered: the desktop's, and always 800 x 600 x 16.
  EXPECT_GE(dx->Display()->IndexOf(Screen->Width(), Screen->Height(), 32), 0);
  EXPECT_GE(dx->Display()->IndexOf(800, 600, 16), 0);
  show(clRed, 32);

  enter();
  EXPECT_TRUE(form->FullScreen());
  EXPECT_TRUE(dx->EffectiveOptions() & Opt(doFullScreen));
  EXPECT_TRUE(dx->DDraw()->IDDraw()->CooperativeLevel() & DDSCL_EXCLUSIVE);
  EXPECT_EQ(dx->DDraw()->IDDraw()->DisplayMode().BitCount, 16);
  show(clBlue, 16);

  // Leaving: finalising alone already gives the window back; the option goes and the display is
  // initialised again in the window.
  dx->Finalize();
  EXPECT_FALSE(form->FullScreen());
  dx->SetOptions(dx->Options() & static_cast<TDXDrawOptions>(~Opt(doFullScreen)));
  dx->Initialize();
  EXPECT_FALSE(form->FullScreen());
  EXPECT_FALSE(dx->EffectiveOptions() & Opt(doFullScreen));
  EXPECT_EQ(dx->DDraw()->IDDraw()->CooperativeLevel(), DDSCL_NORMAL);
  EXPECT_EQ(form->BorderStyle(), bsSingle);
  show(clLime, 32);

  // A form freed in full screen takes its display with it.
  enter();
  EXPECT_TRUE(form->FullScreen());
  delete form;
}
