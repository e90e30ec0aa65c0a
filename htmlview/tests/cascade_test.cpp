// The style cascade as the document builder applies it: sheets, STYLE attributes, presentational
// attributes and inheritance reach the fonts, alignments and boxes of the built document.
#include <gtest/gtest.h>

#include "htmlview/htmlbuilder.h"
#include "htmlview/pixbuf.h"
#include "platform/gui/graphics.h"

namespace {

class BuiltCascade : public ::testing::Test {
 protected:
  void SetUp() override {
    Font.SetName("Courier New");
    Font.SetSize(10);
    Bmp.SetSize(400, 300);
  }
  void Build(const std::string& Html) {
    ParseHtmlDocument(Html, &Doc, Font);
    int Curs = 0, Max = 0;
    Doc.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, 400);
  }
  // The paragraph section inside the I-th top-level block.
  TSection* Para(int I) {
    auto* B = dynamic_cast<TBlock*>(Doc[I]);
    return B && B->Content.Count() ? dynamic_cast<TSection*>(B->Content[0]) : nullptr;
  }
  static TColor Colour(TSection* S, int Pos) { return S->Fonts.GetFontObjAt(Pos)->TheFont.Color() & 0xFFFFFF; }
  TMyFont Font;
  TBitmap Bmp;
  TSectionList Doc;
};

TEST_F(BuiltCascade, PrecedenceOfRulesIdsAndStyleAttributes) {
  Build("<style>p { color: #000080 } p.x { color: #ff0000 } #y { color: #00ff00 }</style>"
        "<p>plain<p class=x>class<p class=x id=y>id<p class=x id=y style=\"color: #0000ff\">attribute");
  ASSERT_EQ(Doc.Count(), 4);
  const TColor Expected[] = {0x800000, 0x0000FF, 0x00FF00, 0xFF0000};
  for (int I = 0; I < 4; ++I) {
    ASSERT_NE(Para(I), nullptr) << I;
    EXPECT_EQ(Colour(Para(I), 0), Expected[I]) << I;
  }
}

TEST_F(BuiltCascade, RulesBeatPresentationalAttributesWhichBeatDefaults) {
  Build("<style>div.r { text-align: right }</style><div class=r align=center>a</div><div align=center>b</div>"
        "<div>c</div><center>d</center>");
  const uint8_t Expected[] = {3, 2, 1, 2};
  for (int I = 0; I < 4; ++I) {
    ASSERT_NE(Para(I), nullptr) << I;
    EXPECT_EQ(Para(I)->Alignment, Expected[I]) << I;
  }
}

TEST_F(BuiltCascade, InheritanceAndBadlyNestedEndTags) {
  Build("<div style=\"font-size: 20pt; font-family: 'Courier New'\">a<b>b<i>c</b>d</i>e</div>");
  TSection* S = Para(0);
  ASSERT_NE(S, nullptr);
  ASSERT_EQ(S->Text, "abcde");
  for (int I = 0; I < 5; ++I) EXPECT_EQ(S->Fonts.GetFontObjAt(I)->TheFont.Size(), 20) << I;
  // "</B>" ends the bold run while the italic one stays open.
  const TFontStyles Styles[] = {0, fsBold, fsBold | fsItalic, fsItalic, 0};
  for (int I = 0; I < 5; ++I) EXPECT_EQ(S->Fonts.GetFontObjAt(I)->TheFont.Style(), Styles[I]) << I;
}

TEST_F(BuiltCascade, BoxValuesFloatsAndBackgrounds) {
  Build("<div style=\"margin-left: 30px; padding: 5px; border: 2px solid #ff0000; background-color: #00ff00;"
        " width: 100px\">boxed</div>"
        "<div style=\"float: right; width: 50px; background-color: #0000ff\">f</div><p>beside the float</p>");
  auto* Box = dynamic_cast<TBlock*>(Doc[0]);
  ASSERT_NE(Box, nullptr);
  EXPECT_EQ(Box->BoxRect.Left, 30);
  EXPECT_EQ(Box->BoxRect.Width(), 100 + 2 * 5 + 2 * 2);
  auto* Float = dynamic_cast<TBlock*>(Doc[1]);
  ASSERT_NE(Float, nullptr);
  EXPECT_EQ(Float->FloatSide, 6);
  EXPECT_EQ(Float->FlowHeight, 0);  // a float takes no room in the flow
  EXPECT_EQ(Float->BoxRect.Right, 400);
  // The paragraph's lines stop at the float's left side.
  TSection* P = Para(2);
  ASSERT_NE(P, nullptr);
  ASSERT_FALSE(P->Lines.empty());
  EXPECT_LE(P->Lines[0].LineWidth, 350);
  Doc.PaintDocument(Bmp.Canvas(), TRect(0, 0, 400, 300));
  const TRect& R = Box->BoxRect;
  EXPECT_EQ(Bmp.PixelColor(R.Left, R.Top + 10) & 0xFFFFFF, 0x0000FFu);       // border
  EXPECT_EQ(Bmp.PixelColor(R.Right - 4, R.Top + 10) & 0xFFFFFF, 0x00FF00u);  // background
  EXPECT_EQ(Bmp.PixelColor(398, Float->BoxRect.Top + 2) & 0xFFFFFF, 0xFF0000u);
}

TEST_F(BuiltCascade, BackgroundImagesTileTheBox) {
  Doc.OnBitmapRequest = [](TObject*, const std::string& Name, int32_t&, TPixelBuffer*& B) {
    if (Name != "tile.bmp") return;
    B = new TPixelBuffer();
    B->SetSize(4, 4, 0xFF00FF00);
    B->At(0, 0) = 0xFFFF0000;  // one red pixel in each tile
  };
  Build("<div style=\"background-image: url(tile.bmp); width: 40px; height: 20px\">x</div>"
        "<div style=\"background-image: url(none.bmp); width: 40px\">y</div>");
  auto* B = dynamic_cast<TBlock*>(Doc[0]);
  ASSERT_NE(B, nullptr);
  ASSERT_NE(B->BackgroundImage, nullptr);
  EXPECT_EQ(dynamic_cast<TBlock*>(Doc[1])->BackgroundImage, nullptr);  // did not load: dropped
  Doc.PaintDocument(Bmp.Canvas(), TRect(0, 0, 400, 300));
  const TRect& R = B->BoxRect;
  EXPECT_EQ(Bmp.PixelColor(R.Left + 36, R.Top + 16) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(Bmp.PixelColor(R.Left + 37, R.Top + 17) & 0xFFFFFF, 0x00FF00u);
  EXPECT_NE(Bmp.PixelColor(R.Right + 1, R.Top + 1) & 0xFFFFFF, 0x00FF00u);  // nothing outside the box
}

TEST_F(BuiltCascade, PositionedBlocksAndStackingOrder) {
  Build("<div style=\"position: absolute; left: 50px; top: 60px; width: 40px; height: 30px; background-color: #ff0000;"
        " z-index: 2\">a</div>"
        "<div style=\"position: absolute; left: 70px; top: 70px; width: 40px; height: 30px; background-color: #0000ff\">"
        "b</div><div style=\"position: relative; top: 10px; background-color: #00ff00; height: 20px\">c</div>");
  auto* A = dynamic_cast<TBlock*>(Doc[0]);
  auto* B = dynamic_cast<TBlock*>(Doc[1]);
  auto* C = dynamic_cast<TBlock*>(Doc[2]);
  ASSERT_TRUE(A && B && C);
  EXPECT_EQ(A->FlowHeight, 0);  // out of the flow
  EXPECT_EQ(A->BoxRect.Left, 50);
  EXPECT_EQ(A->BoxRect.Top, 60);
  EXPECT_EQ(C->TopY, 0);  // the flow starts at the top, as if the absolute boxes were not there
  Doc.PaintDocument(Bmp.Canvas(), TRect(0, 0, 400, 300));
  // Where the two overlap the higher z-index wins, though it comes first in the document.
  EXPECT_EQ(Bmp.PixelColor(80, 80) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(Bmp.PixelColor(100, 95) & 0xFFFFFF, 0xFF0000u);
  // The relative box paints 10 pixels below its place in the flow.
  EXPECT_EQ(Bmp.PixelColor(300, C->BoxRect.Top + 5) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(Bmp.PixelColor(300, C->BoxRect.Top + 15) & 0xFFFFFF, 0x00FF00u);
}

TEST_F(BuiltCascade, ParagraphSpaceCollapsesAtTheEdgesOfABox) {
  Build("<div style=\"border: 1px solid #000000\"><p>a</p><p>b</p></div>");
  auto* Box = dynamic_cast<TBlock*>(Doc[0]);
  ASSERT_NE(Box, nullptr);
  ASSERT_EQ(Box->Content.Count(), 2);
  const int Line = Box->Content[0]->FlowHeight;
  // No space above the first paragraph or below the last; 14 pixels between them.
  EXPECT_EQ(Box->BoxRect.Height(), 1 + Line + 14 + Line + 1);
}

TEST_F(BuiltCascade, AutoMarginsFollowTheWidthOnEveryLayout) {
  Build("<div style=\"width: 100px; margin-left: auto; margin-right: auto\">c</div>");
  auto* B = dynamic_cast<TBlock*>(Doc[0]);
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->BoxRect.Left, 150);
  int Curs = 0, Max = 0;
  Doc.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, 300);
  EXPECT_EQ(B->BoxRect.Left, 100);
}

TEST_F(BuiltCascade, FontTagsAndTitle) {
  Build("<title>Help</title><p><font size=+2 color=red face=\"Nowhere, Courier New\">big</font>small");
  EXPECT_EQ(Doc.Title, "Help");
  TSection* S = Para(0);
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(S->Fonts.GetFontObjAt(0)->TheFont.Size(), 15);  // index 5: 18 of 12 points at 10
  EXPECT_EQ(Colour(S, 0), 0x0000FF);
  EXPECT_EQ(S->Fonts.GetFontObjAt(3)->TheFont.Size(), 10);
}

}  // namespace
