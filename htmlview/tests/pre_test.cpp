#include <gtest/gtest.h>

#include "htmlview/htmlpre.h"
#include "platform/gui/graphics.h"

namespace {

class PreLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    Bmp.SetSize(10, 10);
    Font.SetName("Courier New");
    Font.SetSize(10);
  }
  TPreFormated* Pre(const std::string& S) {
    auto* P = new TPreFormated(&Doc, Font);
    TokenObj T;
    for (size_t I = 0; I < S.size(); ++I) T.AppendChar(S[I], static_cast<int>(I));
    P->AddToken(T);
    return P;
  }
  int W(const std::string& S) {
    Bmp.Canvas()->SetFont(Font);
    return Bmp.Canvas()->TextWidth(S);
  }
  TBitmap Bmp;
  TMyFont Font;
  TSectionList Doc;
};

TEST_F(PreLayout, LinesEndOnlyAtBreaksAndKeepTheirBlanks) {
  std::unique_ptr<TPreFormated> P(Pre("  int a;\x08  int bb;  \x08x"));
  IndentManager IMgr;
  IMgr.Reset(0, 30);  // far narrower than the lines
  int Max = 0, Curs = 0;
  const int Height = P->Arrange(Bmp.Canvas(), 0, 0, 30, 0, &IMgr, Max, Curs);
  ASSERT_EQ(P->Lines.size(), 3u);
  EXPECT_EQ(P->Text.substr(0, static_cast<size_t>(P->Lines[0].CharCount)), "  int a;\x08");
  EXPECT_EQ(P->Text.substr(static_cast<size_t>(P->Lines[1].Start), static_cast<size_t>(P->Lines[1].CharCount)),
            "  int bb;  \x08");
  EXPECT_EQ(Height, 3 * P->Lines[0].LineHeight);
  EXPECT_EQ(Max, W("  int bb;  "));
  EXPECT_EQ(IMgr.Width, 30);  // the manager is given back unchanged
}

TEST_F(PreLayout, WidthRangeAndEmptyPre) {
  std::string Long(400, 'M');
  std::unique_ptr<TPreFormated> P(Pre(Long + "\x08" "short"));
  int Min = 0, Max = 0;
  P->WidthRange(Bmp.Canvas(), Min, Max);
  ASSERT_GT(W(Long), 2000);
  EXPECT_EQ(Max, W(Long));
  EXPECT_EQ(Min, 2000);
  std::unique_ptr<TPreFormated> Empty(new TPreFormated(&Doc, Font));
  EXPECT_FALSE(Empty->EmptyForCell());
  int Curs = 0;
  EXPECT_EQ(Empty->Arrange(Bmp.Canvas(), 0, 0, 100, 0, nullptr, Max, Curs), 10);
}

TEST_F(PreLayout, Rules) {
  struct Case {
    int Size;
    const char* Align;
    int Height;
    uint8_t AlignCode;
  } Cases[] = {{0, "", 2, 2}, {30, "LEFT", 2, 1}, {1, "right", 1, 3}, {20, "center", 20, 2}, {5, "bogus", 5, 2}};
  for (const Case& C : Cases) {
    THorzLine H(&Doc, C.Size, C.Align);
    EXPECT_EQ(H.RuleHeight, C.Height) << C.Size;
    EXPECT_EQ(H.Align, C.AlignCode) << C.Align;
  }
  THorzLine H(&Doc, 4);
  IndentManager IMgr;
  IMgr.Reset(0, 200);
  int Indent = 0;
  IMgr.AddImageFloat(0, true, false, 50, 30, 0, 0, 0, 0, Indent);  // a float narrows the rule
  int Max = 0, Curs = 0;
  EXPECT_EQ(H.Arrange(Bmp.Canvas(), 0, 10, 200, 0, &IMgr, Max, Curs), 4);
  EXPECT_EQ(H.RuleX, IMgr.LeftEdgeAt(10));
  EXPECT_EQ(H.Width, 200 - H.RuleX);
  EXPECT_EQ(Max, H.Width);

  TBitmap Page;
  Page.SetSize(220, 30);
  Page.Canvas()->Brush()->SetColor(clWhite);
  Page.Canvas()->FillRect(TRect(0, 0, 220, 30));
  THorzLine Red(&Doc, 3, "", false, clRed);
  Red.Arrange(Page.Canvas(), 10, 5, 100, 0, nullptr, Max, Curs);
  Red.Paint(Page.Canvas(), TRect(0, 0, 220, 30), nullptr, 0, 0, 0);
  EXPECT_EQ(Page.PixelColor(50, 6), clRed);
  EXPECT_EQ(Page.PixelColor(50, 9), clWhite);
  EXPECT_EQ(Page.PixelColor(115, 6), clWhite);
}

}  // namespace
