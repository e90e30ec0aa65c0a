// Canvas drawing checked on pixels: text with Polish letters, text measuring, raster
// operations, clipping, mapping, colours and fonts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/graphics.h"

namespace {

int CountNot(TBitmap& b, TColor bg, const TRect& r) {
  int n = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if (b.PixelColor(x, y) != bg) ++n;
  return n;
}

void Fill(TBitmap& b, int w, int h, TColor c) {
  b.SetSize(w, h);
  b.Canvas()->Brush()->SetColor(c);
  b.Canvas()->FillRect(TRect(0, 0, w, h));
}

TEST(Colors, NamesSystemColoursAndFlags) {
  struct Case { TColor c; const char* name; };
  for (Case k : {Case{clBlack, "clBlack"}, Case{clRed, "clRed"}, Case{clNavy, "clNavy"}, Case{clWhite, "clWhite"},
                 Case{clBtnFace, "clBtnFace"}, Case{clNone, "clNone"}}) {
    EXPECT_EQ(ColorToString(k.c), k.name);
    EXPECT_EQ(StringToColor(k.name), k.c);
  }
  EXPECT_EQ(StringToColor("CLRED"), clRed);
  EXPECT_EQ(ColorToString(0x7D3200), "$007D3200");
  EXPECT_EQ(StringToColor("$007D3200"), 0x7D3200);
  EXPECT_EQ(StringToColor("8204800"), 8204800);
  EXPECT_THROW(StringToColor("notacolour"), EConvertError);
  EXPECT_EQ(ColorToRGB(clBtnFace), 0xC0C0C0);
  EXPECT_EQ(ColorToRGB(clHighlight), 0x800000);
  EXPECT_EQ(ColorToRGB(0x0200FF00), 0x0200FF00);  // the palette flag survives; drawing ignores it
  int n = 0;
  GetColorValues([&](const std::string&) { ++n; });
  EXPECT_GE(n, 16);
}

TEST(Fonts, PointsToPixelsAndSubstitution) {
  TFont f;
  struct Case { int size; int height; };
  for (Case c : {Case{8, -11}, Case{10, -13}, Case{12, -16}, Case{24, -32}, Case{36, -48}}) {
    f.SetSize(c.size);
    EXPECT_EQ(f.Height(), c.height) << c.size;
    EXPECT_EQ(f.Size(), c.size);
  }
  EXPECT_EQ(SubstituteFontFamily("MS Sans Serif"), "DejaVu Sans");
  // The metric-compatible families for the three fonts documents are laid out with.
  EXPECT_EQ(SubstituteFontFamily("arial"), "Liberation Sans");
  EXPECT_EQ(SubstituteFontFamily("Courier New"), "Liberation Mono");
  EXPECT_EQ(SubstituteFontFamily("Times New Roman"), "Liberation Serif");
  f.SetName("Courier New");
  EXPECT_EQ(f.ResolvedFamily(), "Liberation Mono");  // installed with the dependencies
  f.SetName("No Such Family At All");
  EXPECT_EQ(f.ResolvedFamily(), "DejaVu Sans");
  auto fams = EnumFontFamilies();
  bool monoFixed = false, sansFixed = true;
  for (auto& i : fams) {
    if (i.Name == "DejaVu Sans Mono") monoFixed = i.FixedPitch;
    if (i.Name == "DejaVu Sans") sansFixed = i.FixedPitch;
  }
  EXPECT_TRUE(monoFixed);
  EXPECT_FALSE(sansFixed);
}

TEST(CanvasText, PolishLettersShowGlyphsInEverySubstitutedFamily) {
  // ą ć ę ł ń ó ś ź ż Ą Ć Ę Ł Ń Ó Ś Ź Ż in CP1250.
  const unsigned char letters[] = {0xB9, 0xE6, 0xEA, 0xB3, 0xF1, 0xF3, 0x9C, 0x9F, 0xBF,
                                   0xA5, 0xC6, 0xCA, 0xA3, 0xD1, 0xD3, 0x8C, 0x8F, 0xAF};
  for (const char* fam : {"MS Sans Serif", "Courier New", "Times New Roman", "Arial"}) {
    SCOPED_TRACE(fam);
    TBitmap b;
    Fill(b, 40, 40, clWhite);
    TCanvas* c = b.Canvas();
    c->Font()->SetName(fam);
    c->Font()->SetSize(12);
    c->Font()->SetColor(clBlack);
    for (unsigned char ch : letters) {
      c->Brush()->SetColor(clWhite);
      c->FillRect(TRect(0, 0, 40, 40));
      c->TextOut(4, 4, char(ch));
      EXPECT_GT(CountNot(b, clWhite, TRect(0, 0, 40, 40)), 3) << int(ch);
    }
  }
}

TEST(CanvasText, OpaqueAndClearBackground) {
  TBitmap b;
  Fill(b, 60, 30, clWhite);
  TCanvas* c = b.Canvas();
  c->Font()->SetColor(clBlack);
  c->Brush()->SetColor(clRed);
  c->TextOut(2, 2, std::string("i"));
  // The cell behind the glyph is red where the glyph is not.
  bool sawRed = false;
  for (int y = 2; y < 2 + c->TextHeight("i"); ++y)
    for (int x = 2; x < 2 + c->TextWidth("i"); ++x) sawRed |= b.PixelColor(x, y) == clRed;
  EXPECT_TRUE(sawRed);
  Fill(b, 60, 30, clWhite);
  c->Brush()->SetStyle(bsClear);
  c->TextOut(2, 2, std::string("i"));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 60; ++x) ASSERT_NE(b.PixelColor(x, y), clRed);
  EXPECT_EQ(c->PenPos(), TPoint(2 + c->TextWidth("i"), 2));
}

TEST(CanvasText, PrefixExtentsAgreeWithTextWidth) {
  TBitmap b;
  Fill(b, 10, 10, clWhite);
  TCanvas* c = b.Canvas();
  for (const char* fam : {"Courier New", "MS Sans Serif"}) {
    c->Font()->SetName(fam);
    c->Font()->SetSize(12);
    std::string s = "Za\xBF\xF3\xB3\xE6 g\xEAśl\xB9 ja\x9F\xF1! W";
    std::vector<int> dx;
    int fit = -1;
    TSize sz = c->GetTextExtentExPoint(s, -1, &fit, &dx);
    ASSERT_EQ(dx.size(), s.size());
    EXPECT_EQ(fit, int(s.size()));
    EXPECT_EQ(dx.back(), c->TextWidth(s));
    EXPECT_EQ(sz.cx, c->TextWidth(s));
    EXPECT_EQ(sz.cy, c->TextHeight(s));
    for (size_t i = 1; i < dx.size(); ++i) {
      EXPECT_GE(dx[i], dx[i - 1]);
      EXPECT_EQ(dx[i], c->TextWidth(s.substr(0, i + 1)));
    }
    // With a limit, fit is the count of prefixes within it.
    int limit = dx[5];
    c->GetTextExtentExPoint(s, limit, &fit, nullptr);
    EXPECT_EQ(fit, 6);
    TTextMetric tm = c->GetTextMetrics();
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(tm.tmHeight, c->TextHeight("X"));
    EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
  }
  c->Font()->SetName("Courier New");
  EXPECT_TRUE(c->GetTextMetrics().FixedPitch);
  EXPECT_EQ(c->TextWidth("iiii"), c->TextWidth("WWWW"));
}

// Measuring after any change of the canvas font gives that font's figures, exactly what a canvas
// that only ever had the new font gives (fonts and metrics are kept between calls).
TEST(CanvasText, MetricsFollowEveryFontChange) {
  struct Face {
    const char* name;
    int size;
    TFontStyles style;
    TFontPitch pitch;
  };
  const Face base{"Arial", 10, 0, fpDefault};
  const Face changed[] = {{"Courier New", 10, 0, fpDefault},  {"Arial", 16, 0, fpDefault},
                          {"Arial", 10, fsBold, fpDefault},   {"NoSuchFamily", 10, 0, fpFixed},
                          {"NoSuchFamily", 14, 0, fpVariable}};
  auto apply = [](TCanvas* c, const Face& f) {
    c->Font()->SetName(f.name);
    c->Font()->SetSize(f.size);
    c->Font()->SetStyle(f.style);
    c->Font()->SetPitch(f.pitch);
  };
  const std::string s = "Wiiilll mmm \xB3\xF3\x64\x9F WWW";
  TBitmap a, fresh;
  Fill(a, 10, 10, clWhite);
  for (const Face& f : changed) {
    Fill(fresh, 10, 10, clWhite);
    apply(fresh.Canvas(), f);
    const TSize want = fresh.Canvas()->TextExtent(s);
    const TTextMetric wantTm = fresh.Canvas()->GetTextMetrics();
    TCanvas* c = a.Canvas();
    apply(c, base);
    const TSize before = c->TextExtent(s);
    apply(c, f);
    EXPECT_NE(c->TextExtent(s), before) << f.name << " " << f.size;  // a change that shows
    EXPECT_EQ(c->TextExtent(s), want) << f.name << " " << f.size;
    EXPECT_EQ(c->GetTextMetrics().tmHeight, wantTm.tmHeight);
    EXPECT_EQ(c->GetTextMetrics().tmAveCharWidth, wantTm.tmAveCharWidth);
    EXPECT_EQ(c->GetTextMetrics().FixedPitch, wantTm.FixedPitch);
    int fit = 0;
    EXPECT_EQ(c->GetTextExtentExPoint(s, -1, &fit, nullptr), want);
    c->TextOut(0, 0, s);
    EXPECT_EQ(c->PenPos().X, want.cx);
    // Back to the first font through Assign.
    TFont old;
    old.SetName(base.name);
    old.SetSize(base.size);
    c->Font()->Assign(old);
    EXPECT_EQ(c->TextExtent(s), before);
  }
  // Justified text measures wider; switching justification off measures as before.
  TCanvas* c = a.Canvas();
  const int plain = c->TextWidth(s);
  c->SetTextJustification(30, 3);
  EXPECT_EQ(c->TextWidth(s), plain + 30);
  c->SetTextJustification(0, 0);
  EXPECT_EQ(c->TextWidth(s), plain);
  apply(c, changed[0]);
  EXPECT_TRUE(c->GetTextMetrics().FixedPitch);
  apply(c, base);
  EXPECT_FALSE(c->GetTextMetrics().FixedPitch);
  // The pitch chooses the stand-in for a missing family.
  apply(c, changed[3]);
  EXPECT_TRUE(c->GetTextMetrics().FixedPitch);
  c->Font()->SetPitch(fpVariable);
  EXPECT_FALSE(c->GetTextMetrics().FixedPitch);
}

TEST(CanvasText, DrawTextWrapsMeasuresAndAligns) {
  TBitmap b;
  Fill(b, 200, 100, clWhite);
  TCanvas* c = b.Canvas();
  c->Font()->SetColor(clBlack);
  c->Brush()->SetStyle(bsClear);
  const std::string text = "alpha beta gamma delta epsilon";
  int lineH = c->TextHeight("X");
  const int w = std::max(c->TextWidth("alpha beta"), c->TextWidth("gamma delta")) + 1;
  ASSERT_GT(c->TextWidth("alpha beta gamma"), w);
  ASSERT_GT(c->TextWidth("gamma delta epsilon"), w);
  TRect r(0, 0, w, 0);
  int h = c->DrawText(text, r, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_EQ(h, 3 * lineH);  // "alpha beta" / "gamma delta" / "epsilon"
  EXPECT_EQ(r.Height(), h);
  EXPECT_LE(r.Width(), w);
  // '&' marks an accelerator: it is not drawn and does not count.
  TRect r2(0, 0, 0, 0);
  c->DrawText("&OK", r2, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(r2.Width(), c->TextWidth("OK"));
  TRect r3(0, 0, 0, 0);
  c->DrawText("&OK", r3, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(r3.Width(), c->TextWidth("&OK"));
  // Centred in both directions: ink lies around the centre of the box.
  TRect box(0, 0, 200, 100);
  c->DrawText("MMM", box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  int minX = 200, maxX = -1, minY = 100, maxY = -1;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x)
      if (b.PixelColor(x, y) != clWhite) {
        minX = std::min(minX, x); maxX = std::max(maxX, x);
        minY = std::min(minY, y); maxY = std::max(maxY, y);
      }
  EXPECT_NEAR((minX + maxX) / 2.0, 100, 3);
  EXPECT_NEAR((minY + maxY) / 2.0, 50, lineH / 2 + 1);
}

TEST(CanvasRop, BitBltOperationsOnPixels) {
  const TColor s = 0x00F0CC33, d = 0x0055AA0F;
  struct Case { uint32_t rop; TColor expect; };
  const Case cases[] = {
      {SRCCOPY, s},
      {SRCAND, s & d},
      {SRCPAINT, s | d},
      {SRCINVERT, (s ^ d) & 0xFFFFFF},
      {DSna, d & ~s & 0xFFFFFF},
      {NOTSRCCOPY, ~s & 0xFFFFFF},
      {DSTINVERT, ~d & 0xFFFFFF},
      {BLACKNESS, 0},
      {WHITENESS, 0xFFFFFF},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << k.rop);
    TBitmap src, dst;
    Fill(src, 4, 4, s);
    Fill(dst, 6, 6, d);
    BitBlt(dst.Canvas(), 1, 1, 4, 4, src.Canvas(), 0, 0, k.rop);
    EXPECT_EQ(dst.PixelColor(1, 1), k.expect);
    EXPECT_EQ(dst.PixelColor(4, 4), k.expect);
    EXPECT_EQ(dst.PixelColor(0, 0), d);  // outside the target rectangle
    EXPECT_EQ(dst.PixelColor(5, 5), d);
  }
}

TEST(CanvasRop, PlainCopyAgreesWithTheGeneralPath) {
  // An unscaled copy takes a fast path; SRCPAINT onto black goes through the general one and must
  // give the same pixels, also where the clip cuts the target, the source rectangle runs off the
  // source picture, and source and destination are one picture.
  TBitmap src;
  Fill(src, 9, 7, clWhite);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) src.Canvas()->SetPixel(x, y, static_cast<TColor>((x * 37 + y * 91) * 0x010305 & 0xFFFFFF));
  struct Case { int x, y, w, h, sx, sy; bool clip; };
  const Case cases[] = {
      {0, 0, 9, 7, 0, 0, false}, {2, 3, 9, 7, 0, 0, true}, {1, 1, 8, 6, -3, -2, false},
      {0, 0, 10, 8, 4, 5, true}, {3, 0, 5, 5, 6, 1, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.x << "," << k.y << " from " << k.sx << "," << k.sy);
    TBitmap fast, general;
    Fill(fast, 12, 10, clYellow);
    Fill(general, 12, 10, clBlack);
    for (TBitmap* b : {&fast, &general})
      if (k.clip) b->Canvas()->IntersectClipRect(TRect(1, 2, 8, 7));
    BitBlt(fast.Canvas(), k.x, k.y, k.w, k.h, src.Canvas(), k.sx, k.sy, SRCCOPY);
    BitBlt(general.Canvas(), k.x, k.y, k.w, k.h, src.Canvas(), k.sx, k.sy, SRCPAINT);
    const TRect target = TRect(k.x, k.y, k.x + k.w, k.y + k.h);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 12; ++x) {
        const bool inside = x >= target.Left && x < target.Right && y >= target.Top && y < target.Bottom &&
                            (!k.clip || (x >= 1 && x < 8 && y >= 2 && y < 7));
        if (inside)
          ASSERT_EQ(fast.PixelColor(x, y), general.PixelColor(x, y)) << x << "," << y;
        else
          ASSERT_EQ(fast.PixelColor(x, y), clYellow) << x << "," << y;
      }
  }
  // Overlapping copy within one picture: a scroll by one pixel to the right.
  TBitmap one;
  Fill(one, 5, 1, clWhite);
  for (int x = 0; x < 5; ++x) one.Canvas()->SetPixel(x, 0, static_cast<TColor>(x + 1));
  BitBlt(one.Canvas(), 1, 0, 4, 1, one.Canvas(), 0, 0, SRCCOPY);
  for (int x = 1; x < 5; ++x) EXPECT_EQ(one.PixelColor(x, 0), static_cast<TColor>(x));
}

TEST(CanvasRop, MonochromeMaskByBackgroundColour) {
  // A colour picture with a key colour; blitting it into a monochrome bitmap makes the key
  // white and everything else black; the mask then cuts a hole with SRCAND.
  const TColor key = 0x00FF00;
  TBitmap pic;
  Fill(pic, 3, 1, key);
  pic.Canvas()->SetPixel(1, 0, clRed);
  TBitmap mask;
  Fill(mask, 3, 1, clWhite);
  mask.SetMonochrome(true);
  pic.Canvas()->Brush()->SetColor(key);
  BitBlt(mask.Canvas(), 0, 0, 3, 1, pic.Canvas(), 0, 0, SRCCOPY);
  EXPECT_EQ(mask.PixelColor(0, 0), clWhite);
  EXPECT_EQ(mask.PixelColor(1, 0), clBlack);
  TBitmap dst;
  Fill(dst, 3, 1, clBlue);
  dst.Canvas()->Brush()->SetColor(clWhite);
  dst.Canvas()->Font()->SetColor(clBlack);
  BitBlt(dst.Canvas(), 0, 0, 3, 1, mask.Canvas(), 0, 0, SRCAND);
  EXPECT_EQ(dst.PixelColor(0, 0), clBlue);
  EXPECT_EQ(dst.PixelColor(1, 0), clBlack);
}

TEST(Canvas, ClipSaveRestoreAndMapping) {
  TBitmap b;
  Fill(b, 20, 20, clWhite);
  TCanvas* c = b.Canvas();
  int saved = c->SaveDC();
  c->ExcludeClipRect(TRect(5, 5, 10, 10));
  c->Brush()->SetColor(clRed);
  c->FillRect(TRect(0, 0, 20, 20));
  EXPECT_EQ(b.PixelColor(7, 7), clWhite);
  EXPECT_EQ(b.PixelColor(2, 2), clRed);
  c->RestoreDC(saved);
  c->IntersectClipRect(TRect(0, 0, 3, 3));
  c->Brush()->SetColor(clBlue);
  c->FillRect(TRect(0, 0, 20, 20));
  EXPECT_EQ(b.PixelColor(2, 2), clBlue);
  EXPECT_EQ(b.PixelColor(7, 7), clWhite);
  c->SelectClipRegion(nullptr);
  // Anisotropic mapping: 96 logical units become 192 device pixels, origin moved.
  c->SetMapMode(MM_ANISOTROPIC);
  c->SetWindowExt(96, 96);
  c->SetViewportExt(192, 192);
  c->SetViewportOrg(2, 2);
  c->Brush()->SetColor(clLime);
  c->FillRect(TRect(0, 0, 4, 4));
  EXPECT_EQ(b.PixelColor(2, 2), clLime);
  EXPECT_EQ(b.PixelColor(9, 9), clLime);
  EXPECT_EQ(b.PixelColor(10, 10), clRed);
  EXPECT_EQ(c->LogicalToDevice(TPoint(4, 4)), TPoint(10, 10));
}

TEST(Canvas, PixelsRegionsBrushCopyAndScroll) {
  TBitmap b;
  Fill(b, 8, 8, clWhite);
  TCanvas* c = b.Canvas();
  c->SetPixel(3, 4, clNavy);
  EXPECT_EQ(c->Pixel(3, 4), clNavy);
  EXPECT_EQ(c->Pixel(30, 4), -1);
  TRegion rgn = TRegion::FromMask(b, clWhite);
  EXPECT_TRUE(rgn.Contains(3, 4));
  EXPECT_FALSE(rgn.Contains(0, 0));
  EXPECT_EQ(rgn.BoundingRect(), TRect(3, 4, 4, 5));
  // BrushCopy replaces the key colour by the brush colour.
  TBitmap dst;
  Fill(dst, 8, 8, clBlack);
  dst.Canvas()->Brush()->SetColor(clYellow);
  dst.Canvas()->BrushCopy(TRect(0, 0, 8, 8), &b, TRect(0, 0, 8, 8), clWhite);
  EXPECT_EQ(dst.PixelColor(0, 0), clYellow);
  EXPECT_EQ(dst.PixelColor(3, 4), clNavy);
  // ScrollRect moves pixels.
  c->ScrollRect(2, 1, TRect(0, 0, 8, 8), TRect(0, 0, 8, 8));
  EXPECT_EQ(c->Pixel(5, 5), clNavy);
}

TEST(Canvas, ShapesAndTransparentDraw) {
  TBitmap b;
  Fill(b, 20, 20, clWhite);
  TCanvas* c = b.Canvas();
  c->Pen()->SetColor(clBlack);
  c->Brush()->SetColor(clRed);
  c->Rectangle(2, 2, 10, 10);
  EXPECT_EQ(b.PixelColor(2, 2), clBlack);  // outline
  EXPECT_EQ(b.PixelColor(9, 9), clBlack);  // right/bottom edge inside the box
  EXPECT_EQ(b.PixelColor(10, 10), clWhite);
  EXPECT_EQ(b.PixelColor(5, 5), clRed);
  c->MoveTo(0, 15);
  c->LineTo(5, 15);
  EXPECT_EQ(b.PixelColor(0, 15), clBlack);
  EXPECT_EQ(b.PixelColor(4, 15), clBlack);
  EXPECT_EQ(b.PixelColor(5, 15), clWhite);  // the end point is not drawn
  // A transparent bitmap leaves its key-coloured pixels out.
  TBitmap sprite;
  Fill(sprite, 3, 3, clLime);
  sprite.Canvas()->SetPixel(1, 1, clBlue);
  sprite.SetTransparent(true);
  TBitmap dst;
  Fill(dst, 3, 3, clWhite);
  dst.Canvas()->Draw(0, 0, &sprite);
  EXPECT_EQ(dst.PixelColor(0, 0), clWhite);
  EXPECT_EQ(dst.PixelColor(1, 1), clBlue);
}

}  // namespace
