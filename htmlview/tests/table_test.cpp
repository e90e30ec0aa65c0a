#include <gtest/gtest.h>

#include "htmlview/htmlbuilder.h"
#include "htmlview/htmltable.h"
#include "platform/gui/graphics.h"

namespace {

class TableLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    Bmp.SetSize(10, 10);
    Font.SetName("Courier New");
    Font.SetSize(10);
  }
  ThtmlTable* Build(const std::string& Html) {
    ParseHtmlDocument(Html, &Doc, Font);
    return Doc.Count() > 0 ? dynamic_cast<ThtmlTable*>(Doc[0]) : nullptr;
  }
  int W(const std::string& S) {
    Bmp.Canvas()->SetFont(Font);
    return Bmp.Canvas()->TextWidth(S);
  }
  TBitmap Bmp;
  TMyFont Font;
  TSectionList Doc;
};

TEST_F(TableLayout, TwoColumnsWithAColspan) {
  ThtmlTable* T = Build(
      "<table cellspacing=2 cellpadding=1><tr><td colspan=2>head</td></tr>"
      "<tr><td>a</td><td>bbbb</td></tr></table>");
  ASSERT_NE(T, nullptr);
  ASSERT_EQ(T->Rows.Count(), 2);
  EXPECT_EQ(T->NumCols(), 2);
  int Curs = 0, Max = 0;
  const int Height = Doc.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, 500);
  ASSERT_EQ(T->Widths.size(), 2u);
  // Narrow content: every column gets what it wants (its text plus padding).
  EXPECT_EQ(T->Widths[0], W("a") + 2);
  EXPECT_EQ(T->Widths[1], std::max(W("bbbb") + 2, W("head") + 2 - T->Widths[0] - 2));
  TCellObj* Head = T->Rows[0]->Items(0);
  TCellObj* A = T->Rows[1]->Items(0);
  TCellObj* B = T->Rows[1]->Items(1);
  EXPECT_EQ(Head->X, 2);
  EXPECT_EQ(Head->Wd, T->Widths[0] + 2 + T->Widths[1]);
  EXPECT_EQ(A->X, 2);
  EXPECT_EQ(B->X, 2 + T->Widths[0] + 2);
  EXPECT_EQ(A->Y, B->Y);
  EXPECT_EQ(A->Y, Head->Y + Head->Ht + 2);
  EXPECT_EQ(Height, 3 * 2 + T->Heights[0] + T->Heights[1]);
  EXPECT_EQ(T->TableWidth, 3 * 2 + T->Widths[0] + T->Widths[1]);
  // The text of the second cell starts inside its box.
  auto* Text = dynamic_cast<TSection*>(B->Cell[0]);
  ASSERT_NE(Text, nullptr);
  EXPECT_EQ(Text->TopY, B->Y + 1);
}

TEST_F(TableLayout, NarrowTablesShareTheRoomAndWrap) {
  ThtmlTable* T = Build("<table cellspacing=0 cellpadding=0><tr><td>aaa bbb ccc ddd</td><td>x</td></tr></table>");
  ASSERT_NE(T, nullptr);
  int Curs = 0, Max = 0;
  const int Room = W("aaa bbb") + W("x") + 1;
  Doc.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, Room);
  EXPECT_EQ(T->Widths[0] + T->Widths[1], Room);
  EXPECT_GE(T->Widths[0], W("aaa"));
  EXPECT_GE(T->Widths[1], W("x"));
  auto* Text = dynamic_cast<TSection*>(T->Rows[0]->Items(0)->Cell[0]);
  ASSERT_NE(Text, nullptr);
  EXPECT_GE(Text->Lines.size(), 2u);
  EXPECT_EQ(T->Heights[0], static_cast<int>(Text->Lines.size()) * Text->Lines[0].LineHeight);
}

TEST_F(TableLayout, RowSpansAndBuilderRows) {
  struct Case {
    const char* Html;
    int Rows, Cols;
    std::vector<int> CellsPerRow;  // entries, including the places of spanning cells
  } Cases[] = {
      {"<table><tr><td rowspan=2>a<td>b<tr><td>c</table>", 2, 2, {2, 2}},
      {"<table><td>a<td>b<tr><td>c</table>", 2, 2, {2, 1}},
      {"<table><tr><td colspan=3>a</table>", 1, 3, {1}},
      {"<table><tr><td>a<table><tr><td>in</table><td>b</table>", 1, 2, {2}},
      {"<table></table>", 0, 0, {}},
  };
  for (const Case& C : Cases) {
    TSectionList D;
    ParseHtmlDocument(C.Html, &D, Font);
    ASSERT_GE(D.Count(), 1) << C.Html;
    auto* T = dynamic_cast<ThtmlTable*>(D[0]);
    ASSERT_NE(T, nullptr) << C.Html;
    EXPECT_EQ(T->Rows.Count(), C.Rows) << C.Html;
    EXPECT_EQ(T->NumCols(), C.Cols) << C.Html;
    for (int R = 0; R < T->Rows.Count() && R < static_cast<int>(C.CellsPerRow.size()); ++R)
      EXPECT_EQ(T->Rows[R]->Count(), C.CellsPerRow[R]) << C.Html << " row " << R;
    int Curs = 0, Max = 0;
    EXPECT_GE(D.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, 300), 0);
  }
  // A cell spanning two rows is at least as high as both rows together.
  TSectionList D;
  ParseHtmlDocument("<table cellspacing=0 cellpadding=0><tr><td rowspan=2>a<br>b<br>c<br>d<td>x<tr><td>y</table>",
                    &D, Font);
  auto* T = dynamic_cast<ThtmlTable*>(D[0]);
  ASSERT_NE(T, nullptr);
  int Curs = 0, Max = 0;
  D.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, 300);
  TCellObj* Tall = T->Rows[0]->Items(0);
  EXPECT_EQ(Tall->Ht, T->Heights[0] + T->Heights[1]);
  EXPECT_EQ(T->Rows[1]->Items(1)->X, T->Rows[0]->Items(1)->X);  // y sits under x
}

}  // namespace

namespace {

class TableWidths : public ::testing::Test {
 protected:
  void SetUp() override {
    Bmp.SetSize(400, 300);
    Font.SetName("Courier New");
    Font.SetSize(10);
  }
  ThtmlTable* Build(const std::string& Html, int Width = 400) {
    ParseHtmlDocument(Html, &Doc, Font);
    int Curs = 0, Max = 0;
    Doc.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, Width);
    return Doc.Count() > 0 ? dynamic_cast<ThtmlTable*>(Doc[0]) : nullptr;
  }
  TBitmap Bmp;
  TMyFont Font;
  TSectionList Doc;
};

TEST_F(TableWidths, PixelAndPercentageWidths) {
  struct Case {
    const char* Html;
    std::vector<int> Widths;
  } Cases[] = {
      // A 300-pixel table with spacing 0: the 25 % column takes 75, the other the rest.
      {"<table width=300 cellspacing=0 cellpadding=0><tr><td width=\"25%\">a<td>b</table>", {75, 225}},
      // Half of the 400-pixel room: 200 shared by two plain columns.
      {"<table width=\"50%\" cellspacing=0 cellpadding=0><tr><td>a<td>b</table>", {100, 100}},
      // A fixed 120-pixel cell keeps its width in a table without one.
      {"<table cellspacing=0 cellpadding=0><tr><td width=120>a<td>b</table>", {120, -1}},
      // Percentages that ask for more than the room give way down to the content.
      {"<table width=100 cellspacing=0 cellpadding=0><tr><td width=\"90%\">a<td width=\"90%\">b</table>", {50, 50}},
  };
  for (const Case& C : Cases) {
    Doc.Clear();
    ThtmlTable* T = Build(C.Html);
    ASSERT_NE(T, nullptr) << C.Html;
    ASSERT_EQ(T->Widths.size(), C.Widths.size()) << C.Html;
    for (size_t K = 0; K < C.Widths.size(); ++K) {
      if (C.Widths[K] < 0) continue;
      EXPECT_EQ(T->Widths[K], C.Widths[K]) << C.Html << " column " << K;
    }
  }
}

TEST_F(TableWidths, BordersSpacingPaddingAndBackgrounds) {
  ThtmlTable* T = Build(
      "<table border=1 cellspacing=0 cellpadding=4 bgcolor=#ff0000><tr bgcolor=#00ff00><td>a<td bgcolor=#0000ff>b"
      "<tr><td colspan=2 height=40>c</table>");
  ASSERT_NE(T, nullptr);
  EXPECT_TRUE(T->HasBorder);
  EXPECT_EQ(T->CellSpacing, 2);  // a border needs room between the cells
  EXPECT_EQ(T->CellPadding, 4);
  ASSERT_EQ(T->Heights.size(), 2u);
  EXPECT_EQ(T->Heights[1], 40);
  Doc.PaintDocument(Bmp.Canvas(), TRect(0, 0, 400, 300));
  TCellObj* A = T->Rows[0]->Items(0);
  TCellObj* B = T->Rows[0]->Items(1);
  TCellObj* C = T->Rows[1]->Items(0);
  auto Px = [&](const TCellObj* Cell) {
    return Bmp.PixelColor(T->PaintLeftX() + Cell->X + Cell->Wd - 3, T->TopY + Cell->Y + Cell->Ht / 2) & 0xFFFFFF;
  };
  EXPECT_EQ(Px(A), 0x00FF00u);  // the row's colour
  EXPECT_EQ(Px(B), 0xFF0000u);  // the cell's own colour (blue)
  EXPECT_EQ(Px(C), 0x0000FFu);  // the table's colour shows through (red)
  // Content stays inside the padding.
  EXPECT_EQ(dynamic_cast<TSection*>(A->Cell[0])->Lines[0].PaintX, T->PaintLeftX() + A->X + 4);
}

TEST_F(TableWidths, CellsAlignTheirContentVertically) {
  ThtmlTable* T = Build(
      "<table cellspacing=0 cellpadding=0><tr><td height=60>m<td valign=top>t<td valign=bottom>b"
      "<tr valign=top><td height=40>r<td valign=middle>x</table>");
  ASSERT_NE(T, nullptr);
  auto Top = [&](int R, int I) { return dynamic_cast<TSection*>(T->Rows[R]->Items(I)->Cell[0])->Lines[0].PaintY; };
  const int LineH = T->Rows[0]->Items(1)->Cell[0]->FlowHeight;
  EXPECT_EQ(Top(0, 1), T->TopY);                        // top
  EXPECT_EQ(Top(0, 0), T->TopY + (60 - LineH) / 2);     // middle, the default
  EXPECT_EQ(Top(0, 2), T->TopY + 60 - LineH);           // bottom
  EXPECT_EQ(Top(1, 0), T->TopY + 60);                   // the row's VALIGN
  EXPECT_EQ(Top(1, 1), T->TopY + 60 + (40 - LineH) / 2);  // the cell's own wins
}

TEST_F(TableWidths, CaptionsAboveAndBelow) {
  ThtmlTable* T = Build("<table cellspacing=0 cellpadding=0><caption>A caption much wider than the grid</caption>"
                        "<tr><td>x</table>");
  ASSERT_NE(T, nullptr);
  ASSERT_NE(T->Caption, nullptr);
  EXPECT_TRUE(T->CaptionOnTop);
  TCellObj* X = T->Rows[0]->Items(0);
  const int CaptionH = T->Caption->Ht;
  EXPECT_GT(CaptionH, 0);
  EXPECT_EQ(X->Y, CaptionH);  // the grid starts below the caption
  EXPECT_GT(T->GridOffset, 0);  // and is centred under it
  EXPECT_EQ(T->FlowHeight, CaptionH + X->Ht);
  Doc.Clear();
  T = Build("<table cellspacing=0><caption align=bottom>under</caption><tr><td>x</table>");
  ASSERT_NE(T, nullptr);
  EXPECT_FALSE(T->CaptionOnTop);
  EXPECT_EQ(T->Rows[0]->Items(0)->Y, 0);
  EXPECT_EQ(T->Caption->Y, T->Rows[0]->Items(0)->Ht);
  Doc.SelStart = 0;
  Doc.SelEnd = 100;
  EXPECT_EQ(Doc.SelectedText(), "x\r\nunder\r\n");
}

}  // namespace
