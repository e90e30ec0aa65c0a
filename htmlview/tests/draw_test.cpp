#include <gtest/gtest.h>

#include "htmlview/htmldraw.h"

namespace {

TBitmap* Page(int W, int H) {
  auto* B = new TBitmap();
  B->SetSize(W, H);
  B->Canvas()->Brush()->SetColor(clYellow);
  B->Canvas()->FillRect(TRect(0, 0, W, H));
  return B;
}

TEST(HtmlDraw, RaisedAndSunkenRectangles) {
  std::unique_ptr<TBitmap> B(Page(40, 40));
  DrawRaisedRectColors(B->Canvas(), 5, 5, 30, 30, true, clWhite, clNavy);
  EXPECT_EQ(B->PixelColor(5, 15), clWhite);   // left edge
  EXPECT_EQ(B->PixelColor(15, 5), clWhite);   // top edge
  EXPECT_EQ(B->PixelColor(30, 15), clNavy);   // right edge
  EXPECT_EQ(B->PixelColor(15, 30), clNavy);   // bottom edge
  EXPECT_EQ(B->PixelColor(15, 15), clYellow);
  DrawRaisedRectColors(B->Canvas(), 5, 5, 30, 30, false, clWhite, clNavy);
  EXPECT_EQ(B->PixelColor(5, 15), clNavy);
  EXPECT_EQ(B->PixelColor(30, 15), clWhite);
  // Printing on a black-and-white device draws black; on a white page the light lines are silver.
  DrawRaisedRect(B->Canvas(), 5, 5, 30, 30, true, true, true, clWhite);
  EXPECT_EQ(B->PixelColor(5, 15), clBlack);
  DrawRaisedRect(B->Canvas(), 5, 5, 30, 30, true, false, false, clWhite);
  EXPECT_EQ(B->PixelColor(5, 15), clSilver);
  DrawRaisedRect(B->Canvas(), 5, 5, 30, 30, true, false, false, clYellow);
  EXPECT_EQ(B->PixelColor(5, 15), ColorToRGB(clBtnHighlight) & 0xFFFFFF);
  // Huge rectangles are cut to the window's neighbourhood: nothing is drawn far away, no crash.
  DrawRaisedRectColors(B->Canvas(), 1, -100000, 38, 100000, true, clRed, clRed);
  EXPECT_EQ(B->PixelColor(1, 20), clRed);
}

TEST(HtmlDraw, ControlFrameAndWrappedText) {
  std::unique_ptr<TBitmap> B(Page(200, 60));
  DrawControlFrame(B->Canvas(), 10, 10, 50, 30, true, true);
  EXPECT_EQ(B->PixelColor(10, 20), clBlack);
  EXPECT_EQ(B->PixelColor(30, 20), clWhite);
  TCanvas* C = B->Canvas();
  C->Font()->SetColor(clBlack);
  const int H = C->TextHeight("A");
  ASSERT_GT(H, 0);
  // Three words that fit two per line on two lines; the third line would pass the bottom.
  const std::string Word = "MMMM";
  const int Width = C->TextWidth(Word + " " + Word) + 2;
  std::unique_ptr<TBitmap> T(Page(200, 60));
  WrapTextInRect(T->Canvas(), 0, 0, Width, 2 * H, Word + " " + Word + " " + Word + " " + Word + " " + Word);
  auto InkInRows = [&](int Y0, int Y1) {
    int N = 0;
    for (int Y = Y0; Y < Y1; ++Y)
      for (int X = 0; X < 200; ++X)
        if (T->PixelColor(X, Y) != clYellow) ++N;
    return N;
  };
  EXPECT_GT(InkInRows(0, H), 0);
  EXPECT_GT(InkInRows(H, 2 * H), 0);
  EXPECT_EQ(InkInRows(2 * H, 60), 0);
  EXPECT_EQ(TextExtentX(C, "MMMMxx", 4), C->TextWidth(Word));
  EXPECT_EQ(TextExtentX(C, "ab", 10), C->TextWidth("ab"));
}

}  // namespace
