#include <gtest/gtest.h>

#include "htmlview/htmlsection.h"
#include "platform/gui/graphics.h"

namespace {

class SectionLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    Bmp.SetSize(10, 10);
    Font.SetName("Courier New");
    Font.SetSize(10);
    Canvas()->SetFont(Font);
  }
  TCanvas* Canvas() { return Bmp.Canvas(); }
  int W(const std::string& S) {
    Canvas()->SetFont(Font);
    return Canvas()->TextWidth(S);
  }
  TSection* Make(const std::string& S, uint8_t Align = 1) {
    auto* Sec = new TSection(&Doc, Font, Align);
    TokenObj T;
    for (size_t I = 0; I < S.size(); ++I) T.AppendChar(S[I], 100 + static_cast<int>(I));
    Sec->AddToken(T);
    Sec->Complete();
    return Sec;
  }
  // Lines of text as laid out (markers shown as '|').
  std::vector<std::string> LinesOf(const TSection& S) {
    std::vector<std::string> R;
    for (const LineRec& L : S.Lines) {
      std::string T = S.Text.substr(static_cast<size_t>(L.Start), static_cast<size_t>(L.CharCount));
      for (char& C : T)
        if (C == BrkMark) C = '|';
      R.push_back(T);
    }
    return R;
  }
  int Arrange(TSection& S, int Width, int Y = 0) {
    IndentManager IMgr;
    IMgr.Reset(0, Width);
    int Max = 0, Curs = 0;
    return S.Arrange(Canvas(), 0, Y, Width, 0, &IMgr, Max, Curs);
  }
  TBitmap Bmp;
  TMyFont Font;
  TSectionList Doc;
};

TEST_F(SectionLayout, CompleteNormalisesBlanksBreaksAndHyphens) {
  struct Case {
    std::string In, Out;
  } Cases[] = {
      {"   ", ""},
      {"  two  words ", "two words "},
      {"a\x05" "b", "a b"},
      {"co\xADop", "coop"},
      {"end \x08 next", "end\x08next"},
  };
  for (const Case& C : Cases) {
    std::unique_ptr<TSection> S(Make(C.In));
    EXPECT_EQ(S->Text, C.Out) << C.In;
    EXPECT_EQ(S->BreakFlags.size(), S->Text.size() + 1);
  }
  std::unique_ptr<TSection> Nb(Make("a\x05" "b"));
  EXPECT_EQ(Nb->BreakFlags[1], 'n');
  // Source offsets survive removals: "two" began at source offset 102.
  std::unique_ptr<TSection> S(Make("  two  words"));
  S->FirstPosition = 0;
  EXPECT_EQ(S->DocToSource(0), 102);
  EXPECT_EQ(S->DocToSource(4), 107);
  EXPECT_EQ(S->SourceToDoc(107, false), 4);
  EXPECT_EQ(S->SourceToDoc(105, false), 3);  // the first blank of a pair stays
  EXPECT_EQ(S->SourceToDoc(106, false), -1);
  EXPECT_EQ(S->DocToSource(99), -1);
}

TEST_F(SectionLayout, FontRunsMoveWithRemovedBlanks) {
  TSection S(&Doc, Font);
  TMyFont Bold;
  Bold.Assign(Font);
  Bold.SetStyle(fsBold);
  TokenObj T;
  auto Add = [&](const std::string& Txt) {
    T.Clear();
    for (char C : Txt) T.AppendChar(C, 0);
    S.AddToken(T);
  };
  Add("  ab  ");
  S.StartFontRun(Bold);  // starts at the second of two blanks
  Add("  cd");
  S.StartFontRun(Font);
  Add("e");
  S.Complete();
  EXPECT_EQ(S.Text, "ab cde");
  EXPECT_EQ(S.Fonts.GetFontObjAt(1)->TheFont.Style(), 0);
  EXPECT_EQ(S.Fonts.GetFontObjAt(3)->TheFont.Style(), fsBold);
  EXPECT_EQ(S.Fonts.GetFontObjAt(4)->TheFont.Style(), fsBold);
  EXPECT_EQ(S.Fonts.GetFontObjAt(5)->TheFont.Style(), 0);
}

TEST_F(SectionLayout, ParagraphBreaksAtTheWidth) {
  std::unique_ptr<TSection> S(Make("aaa bbb ccc ddd eee"));
  const int Width = W("aaa bbb c");  // room for two words, not three
  const int Height = Arrange(*S, Width);
  EXPECT_EQ(LinesOf(*S), (std::vector<std::string>{"aaa bbb ", "ccc ddd ", "eee"}));
  ASSERT_EQ(S->Lines.size(), 3u);
  EXPECT_EQ(Height, 3 * S->Lines[0].LineHeight);
  EXPECT_GT(S->Lines[0].LineHeight, 0);
  // Wide enough for everything: one line.
  Arrange(*S, W("aaa bbb ccc ddd eee") + 1);
  EXPECT_EQ(S->Lines.size(), 1u);
}

TEST_F(SectionLayout, BreakOpportunities) {
  // A hyphen is a break opportunity; an over-long word stays whole and widens the max width.
  std::unique_ptr<TSection> Hy(Make("well-known"));
  Arrange(*Hy, W("well-kn"));
  EXPECT_EQ(LinesOf(*Hy), (std::vector<std::string>{"well-", "known"}));

  std::unique_ptr<TSection> Long(Make("a verylongword b"));
  IndentManager IMgr;
  IMgr.Reset(0, W("a ver"));
  int Max = 0, Curs = 0;
  Long->Arrange(Canvas(), 0, 0, W("a ver"), 0, &IMgr, Max, Curs);
  EXPECT_EQ(LinesOf(*Long), (std::vector<std::string>{"a ", "verylongword ", "b"}));
  EXPECT_GE(Max, W("verylongword"));
  EXPECT_EQ(Curs, Long->Len());

  // A non-breaking blank never starts a new line.
  std::unique_ptr<TSection> Nb(Make("aa bb\x05" "cc"));
  Arrange(*Nb, W("aa bb c"));
  EXPECT_EQ(LinesOf(*Nb), (std::vector<std::string>{"aa ", "bb cc"}));

  // Forced breaks; a break at the start of what remains still has its font's height.
  std::unique_ptr<TSection> Br(Make("one\x08\x08two"));
  Arrange(*Br, 1000);
  EXPECT_EQ(LinesOf(*Br), (std::vector<std::string>{"one|", "|", "two"}));
  EXPECT_EQ(Br->Lines[1].LineHeight, Br->Lines[0].LineHeight);
}

TEST_F(SectionLayout, AlignmentAndJustification) {
  const int Width = W("aaa bbb c");
  std::unique_ptr<TSection> R(Make("aaa bbb ccc", 3));
  Arrange(*R, Width);
  ASSERT_EQ(R->Lines.size(), 2u);
  EXPECT_EQ(R->Lines[0].Indent, Width - W("aaa bbb"));
  EXPECT_EQ(R->Lines[1].Indent, Width - W("ccc"));
  std::unique_ptr<TSection> C(Make("aaa", 2));
  Arrange(*C, 100);
  EXPECT_EQ(C->Lines[0].Indent, (100 - W("aaa")) / 2);
  std::unique_ptr<TSection> J(Make("aaa bbb ccc", 4));
  Arrange(*J, Width);
  EXPECT_EQ(J->Lines[0].SpaceCount, 1);
  EXPECT_EQ(J->Lines[0].Extra, Width - W("aaa bbb"));
  EXPECT_EQ(J->Lines[1].Extra, 0);  // never the last line
}

TEST_F(SectionLayout, WidthRangeAndLineHeightSetting) {
  std::unique_ptr<TSection> S(Make("ab abcdef\x08" "abc"));
  int Min = 0, Max = 0;
  S->WidthRange(Canvas(), Min, Max);
  EXPECT_EQ(Min, W("abcdef"));
  EXPECT_EQ(Max, W("ab abcdef"));
  auto* Tall = new TSection(&Doc, Font, 1, 0, 40);
  std::unique_ptr<TSection> Own(Tall);
  TokenObj T;
  T.AppendChar('x', 0);
  Tall->AddToken(T);
  EXPECT_EQ(Arrange(*Tall, 100), 40);
}

TEST_F(SectionLayout, EmptySectionsInCells) {
  TBlockCell Cell(&Doc);
  Cell.Add(Make("   "));
  EXPECT_EQ(Cell.Count(), 0);
  auto* Clear = new TSection(&Doc, Font, 1, 3);
  Cell.Add(Clear);
  EXPECT_EQ(Cell.Count(), 1);
  // It clears the floats in its way.
  IndentManager IMgr;
  IMgr.Reset(0, 200);
  int Indent = 0;
  IMgr.AddImageFloat(0, true, false, 40, 50, 0, 0, 0, 0, Indent);
  int Max = 0, Curs = 0;
  EXPECT_GT(Clear->Arrange(Canvas(), 0, 10, 200, 0, &IMgr, Max, Curs), 0);
}

TEST_F(SectionLayout, PaintsItsText) {
  TBitmap Page;
  Page.SetSize(200, 60);
  Page.Canvas()->Brush()->SetColor(clWhite);
  Page.Canvas()->FillRect(TRect(0, 0, 200, 60));
  std::unique_ptr<TSection> S(Make("HHHH HHHH"));
  IndentManager IMgr;
  IMgr.Reset(0, W("HHHH H"));
  int Max = 0, Curs = 0;
  S->Arrange(Page.Canvas(), 0, 0, W("HHHH H"), 0, &IMgr, Max, Curs);
  ASSERT_EQ(S->Lines.size(), 2u);
  S->Paint(Page.Canvas(), TRect(0, 0, 200, 60), &IMgr, 0, 0, 0);
  auto Inked = [&](int Top, int Bottom) {
    for (int Y = Top; Y < Bottom; ++Y)
      for (int X = 0; X < 200; ++X)
        if (Page.PixelColor(X, Y) != clWhite) return true;
    return false;
  };
  const int LH = S->Lines[0].LineHeight;
  EXPECT_TRUE(Inked(0, LH));
  EXPECT_TRUE(Inked(LH, 2 * LH));
  EXPECT_FALSE(Inked(2 * LH + 1, 60));
}

}  // namespace
