#include <gtest/gtest.h>

#include "htmlview/htmlblock.h"
#include "htmlview/htmlsection.h"
#include "platform/gui/graphics.h"

namespace {

class BlockLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    Bmp.SetSize(10, 10);
    Font.SetName("Courier New");
    Font.SetSize(10);
  }
  TSection* Para(const std::string& S) {
    auto* Sec = new TSection(&Doc, Font);
    TokenObj T;
    for (size_t I = 0; I < S.size(); ++I) T.AppendChar(S[I], static_cast<int>(I));
    Sec->AddToken(T);
    return Sec;
  }
  static TBoxValues Margins(int Top, int Bottom, int Left = 0, int Right = 0) {
    TBoxValues B;
    B.MarginTop = Top;
    B.MarginBottom = Bottom;
    B.MarginLeft = Left;
    B.MarginRight = Right;
    return B;
  }
  int ArrangeCell(TCell& Cell, int Width) {
    int Curs = 0, Max = 0;
    return Cell.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, Width);
  }
  TBitmap Bmp;
  TMyFont Font;
  TSectionList Doc;
};

TEST_F(BlockLayout, AdjacentMarginsCollapse) {
  struct Case {
    int Bottom, Top, Gap;
  } Cases[] = {{10, 20, 20}, {-5, 20, 15}, {-5, -10, -10}, {0, 0, 0}};
  for (const Case& C : Cases) {
    TCell Cell(&Doc);
    Cell.OwnerTag = "body";
    auto* A = new TBlock(&Doc, Margins(0, C.Bottom), &Cell, "p");
    A->Content.Add(Para("first"));
    Cell.Add(A);
    auto* B = new TBlock(&Doc, Margins(C.Top, 0), &Cell, "p");
    B->Content.Add(Para("second"));
    Cell.Add(B);
    ArrangeCell(Cell, 300);
    const int LineHeight = A->Content.Items(0)->FlowHeight;
    EXPECT_EQ(B->TopY - (A->TopY + LineHeight), C.Gap) << C.Bottom << "/" << C.Top;
  }
}

TEST_F(BlockLayout, FirstDefaultMarginDropsInsideABlockButNotInTheBody) {
  TCell Body(&Doc);
  Body.OwnerTag = "body";
  auto* Outer = new TBlock(&Doc, Margins(DefaultParagraphMargin, 0), &Body, "div");
  EXPECT_EQ(Outer->BoxValues.MarginTop, DefaultParagraphMargin);
  auto* Inner = new TBlock(&Doc, Margins(DefaultParagraphMargin, 0), &Outer->Content, "p");
  EXPECT_EQ(Inner->BoxValues.MarginTop, 0);
  delete Inner;
  delete Outer;
}

TEST_F(BlockLayout, NestedBlocksWithMarginsAndPadding) {
  TCell Cell(&Doc);
  TBoxValues OB = Margins(8, 6, 10, 20);
  OB.PaddingLeft = 5;
  OB.PaddingTop = 4;
  OB.BorderLeft = 1;
  auto* Outer = new TBlock(&Doc, OB, &Cell, "div");
  auto* Inner = new TBlock(&Doc, Margins(3, 7, 12, 0), &Outer->Content, "div");
  auto* P = Para("text");
  Inner->Content.Add(P);
  Outer->Content.Add(Inner);
  Cell.Add(Outer);
  const int Height = ArrangeCell(Cell, 400);
  EXPECT_EQ(Outer->TopY, 8 + 4);
  EXPECT_EQ(Inner->TopY, 8 + 4 + 3);
  EXPECT_EQ(Outer->ContentLeft, 10 + 1 + 5);
  EXPECT_EQ(Outer->ContentWidth, 400 - 10 - 20 - 1 - 5);
  EXPECT_EQ(Inner->ContentWidth, Outer->ContentWidth - 12);
  ASSERT_EQ(P->Lines.size(), 1u);
  EXPECT_EQ(P->Lines[0].Indent, 0);  // relative to the inner block's content
  EXPECT_EQ(Height, 8 + 4 + 3 + P->FlowHeight + 7 + 6);
}

TEST_F(BlockLayout, WidthWithAutoMarginsIsCentred) {
  TCell Cell(&Doc);
  TBoxValues B = Margins(0, 0, AutoValue, AutoValue);
  B.Width = 100;
  auto* Blk = new TBlock(&Doc, B, &Cell, "div");
  Blk->Content.Add(Para("x"));
  Cell.Add(Blk);
  ArrangeCell(Cell, 300);
  EXPECT_EQ(Blk->ContentWidth, 100);
  EXPECT_EQ(Blk->ContentLeft, 100);
  int Min = 0, Max = 0;
  Blk->WidthRange(Bmp.Canvas(), Min, Max);
  EXPECT_EQ(Min, Max);
}

TEST_F(BlockLayout, ListItems) {
  TCell Cell(&Doc);
  auto* List = new TBlock(&Doc, Margins(0, 0), &Cell, "ul");
  List->ListIndent = true;
  for (const char* T : {"one", "two", "three"}) {
    auto* Li = new TBlockLI(&Doc, TBoxValues(), &List->Content, "ul", "", 1, 1);
    Li->Content.Add(Para(T));
    List->Content.Add(Li);
  }
  Cell.Add(List);
  ArrangeCell(Cell, 300);
  ASSERT_EQ(List->Content.Count(), 3);
  EXPECT_EQ(List->ContentLeft, ListIndentWidth);
  const int LH = List->Content.Items(0)->FlowHeight;
  EXPECT_GT(LH, 0);
  EXPECT_EQ(List->Content.Items(2)->TopY, List->TopY + 2 * LH);
  EXPECT_EQ(List->FlowHeight, 3 * LH);

  struct Case {
    const char *Tag, *Type;
    int Number, Level;
    TListMarker Marker;
    const char* Text;
  } Cases[] = {
      {"ul", "", 1, 1, TListMarker::Disc, ""},       {"ul", "", 1, 2, TListMarker::Circle, ""},
      {"ul", "", 1, 3, TListMarker::Square, ""},     {"menu", "", 1, 4, TListMarker::Disc, ""},
      {"ol", "", 12, 1, TListMarker::Decimal, "12."}, {"ol", "A", 28, 1, TListMarker::UpperAlpha, "AB."},
      {"ol", "a", 3, 1, TListMarker::LowerAlpha, "c."}, {"ol", "I", 1994, 1, TListMarker::UpperRoman, "MCMXCIV."},
      {"ol", "i", 4, 1, TListMarker::LowerRoman, "iv."}, {"dl", "", 1, 1, TListMarker::None, ""},
  };
  for (const Case& C : Cases) {
    TBlockLI Li(&Doc, TBoxValues(), nullptr, C.Tag, C.Type, C.Number, C.Level);
    EXPECT_EQ(Li.Marker, C.Marker) << C.Tag << C.Type << C.Level;
    EXPECT_EQ(Li.MarkerText(), C.Text);
  }
}

}  // namespace
