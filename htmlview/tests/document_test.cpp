// Whole documents built from HTML, laid out and painted offscreen: line breaking with images,
// floats, lists with markers, rules, page breaks, hit tests, scrolling and animation.
#include <gtest/gtest.h>

#include <chrono>
#include <typeinfo>

#include "gif_builder.h"
#include "htmlview/htmlbuilder.h"
#include "htmlview/htmlpre.h"
#include "htmlview/htmltable.h"
#include "htmlview/imagecache.h"
#include "platform/core/classes.h"
#include "platform/gui/graphics.h"

namespace {

class Document : public ::testing::Test {
 protected:
  void SetUp() override {
    Font.SetName("Courier New");
    Font.SetSize(10);
    Bmp.SetSize(400, 600);
    // Pictures come from memory: "red.bmp" is 30 x 20 red, "tall.bmp" 10 x 60 blue.
    Doc.OnBitmapRequest = [](TObject*, const std::string& Name, int32_t&, TPixelBuffer*& B) {
      if (Name == "red.bmp") {
        B = new TPixelBuffer();
        B->SetSize(30, 20, 0xFFFF0000);
      } else if (Name == "tall.bmp") {
        B = new TPixelBuffer();
        B->SetSize(10, 60, 0xFF0000FF);
      }
    };
    Doc.ImageCache = &Cache;
  }
  int Build(const std::string& Html, int Width = 400) {
    ParseHtmlDocument(Html, &Doc, Font);
    return Arrange(Width);
  }
  int Arrange(int Width) {
    int Curs = 0, Max = 0;
    return Doc.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, Width);
  }
  void Paint() {
    Bmp.Canvas()->Brush()->SetColor(clWhite);
    Doc.PaintDocument(Bmp.Canvas(), TRect(0, 0, 400, 600));
  }
  TColor Pixel(int X, int Y) { return Bmp.PixelColor(X, Y) & 0xFFFFFF; }
  int TextWidth(const std::string& S) {
    Bmp.Canvas()->SetFont(Font);
    return Bmp.Canvas()->TextWidth(S);
  }
  // The first paragraph section of the document, looking into blocks.
  static TSection* FirstSection(TCellBasic& Cell) {
    for (int I = 0; I < Cell.Count(); ++I) {
      if (auto* S = dynamic_cast<TSection*>(Cell[I])) return S;
      if (auto* B = dynamic_cast<TBlock*>(Cell[I]))
        if (TSection* S = FirstSection(B->Content)) return S;
    }
    return nullptr;
  }
  static std::vector<std::string> LinesOf(const TSection& S) {
    std::vector<std::string> R;
    for (const LineRec& L : S.Lines)
      if (L.CharCount > 0) R.push_back(S.Text.substr(static_cast<size_t>(L.Start), static_cast<size_t>(L.CharCount)));
    return R;
  }
  TMyFont Font;
  TBitmap Bmp;
  TStringBitmapList Cache;
  TSectionList Doc;
};

TEST_F(Document, ParagraphWrapsAtTheLastWordThatFits) {
  // Room for "alpha beta " but not for "gamma" after it.
  const int Width = TextWidth("alpha beta gam");
  Build("<p>alpha beta gamma delta</p>", Width);
  TSection* S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(LinesOf(*S), (std::vector<std::string>{"alpha beta ", "gamma delta"}));
}

TEST_F(Document, JustifiedLinesReachTheRightSideExceptTheLast) {
  Build("<p align=justify>aa bb cc dd ee ff gg hh ii jj kk ll mm nn oo pp</p>", 200);
  TSection* S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  std::vector<const LineRec*> Text;
  for (const LineRec& L : S->Lines)
    if (L.CharCount > 0) Text.push_back(&L);
  ASSERT_GE(Text.size(), 2u);
  EXPECT_GT(Text.front()->Extra, 0);
  EXPECT_EQ(Text.back()->Extra, 0);
  Paint();
  // The first line's last letter is drawn near the right side (10 pixels at most from it).
  const int Top = Text.front()->PaintY, Bottom = Top + Text.front()->LineHeight;
  bool Ink = false;
  for (int X = 190; X < 200 && !Ink; ++X)
    for (int Y = Top; Y < Bottom; ++Y)
      if (Pixel(X, Y) != 0xFFFFFF) Ink = true;
  EXPECT_TRUE(Ink);
}

TEST_F(Document, ImagesInLinesAndFloats) {
  Build("<p>ab<img src=\"red.bmp\">cd</p>");
  TSection* S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  ASSERT_EQ(S->Images.Count(), 1);
  EXPECT_EQ(S->Lines.size(), 1u);
  // The line grows to hold the picture standing on the baseline.
  EXPECT_GE(S->FlowHeight, 20);
  Paint();
  const int X = TextWidth("ab");
  EXPECT_EQ(Pixel(X + 15, S->TopY + 10), 0x0000FF);  // TColor of red
  EXPECT_NE(Pixel(X + TextWidth("cd") + 35, S->TopY + 10), 0x0000FF);

  // A left float takes the left side; the text runs beside it.
  TSectionList& D = Doc;
  D.Clear();
  Build("<p><img src=\"tall.bmp\" align=left hspace=2>text beside the picture</p>");
  S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  ASSERT_FALSE(S->Lines.empty());
  EXPECT_EQ(S->Lines[0].PaintX, 14);  // 2 + 10 + 2
  Paint();
  EXPECT_EQ(Pixel(2 + 5, S->TopY + 30), 0xFF0000);  // TColor of blue

  // A right float sits against the right side.
  D.Clear();
  Build("<p><img src=\"tall.bmp\" align=right hspace=0>x</p>", 300);
  Paint();
  S = FirstSection(Doc);
  EXPECT_EQ(Pixel(295, S->TopY + 30), 0xFF0000);
  EXPECT_NE(Pixel(285, S->TopY + 30), 0xFF0000);
}

TEST_F(Document, RightFloatsInsideTableCells) {
  // A cell's left edge is not the page's: the float must still end at the cell's right side.
  Build("<table cellspacing=0 cellpadding=0 width=300><tr><td width=100>x<td>"
        "<img src=\"tall.bmp\" align=right hspace=0>words beside the picture</table>");
  auto* T = dynamic_cast<ThtmlTable*>(Doc[0]);
  ASSERT_NE(T, nullptr);
  TCellObj* C = T->Rows[0]->Items(1);
  auto* S = dynamic_cast<TSection*>(C->Cell[0]);
  ASSERT_NE(S, nullptr);
  ASSERT_FALSE(S->Lines.empty());
  EXPECT_EQ(S->Lines[0].PaintX, 100);
  EXPECT_EQ(S->Lines[0].LineWidth, 200 - 10);
  Paint();
  EXPECT_EQ(Pixel(295, S->TopY + 30), 0xFF0000);
  EXPECT_NE(Pixel(285, S->TopY + 50), 0xFF0000);
}

TEST_F(Document, ImageSizesAndPlaceholders) {
  Build("<p><img src=\"red.bmp\" width=99999999 height=7><img src=\"missing.gif\" alt=\"no picture\">"
        "<img src=\"red.bmp\" width=\"50%\"></p>",
        400);
  TSection* S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  ASSERT_EQ(S->Images.Count(), 3);
  auto* Huge = dynamic_cast<TImageObj*>(S->Images[0]);
  auto* Missing = dynamic_cast<TImageObj*>(S->Images[1]);
  auto* Half = dynamic_cast<TImageObj*>(S->Images[2]);
  EXPECT_EQ(Huge->ShownWidth, MaxShownImageSide);
  EXPECT_EQ(Huge->ShownHeight, 7);
  EXPECT_TRUE(Missing->IsError);
  EXPECT_GE(Missing->ShownWidth, 24 + 2 + 10);
  EXPECT_GE(Missing->ShownHeight, 24);
  EXPECT_EQ(Half->ShownWidth, 200);
  EXPECT_EQ(Half->ShownHeight, 133);
  // The cache answers the second request for the same picture.
  EXPECT_EQ(Cache.Count(), 1);
  Paint();  // a 10,000 pixel wide picture is drawn without trouble
}

TEST_F(Document, ImagesOffOrDelayed) {
  int Requests = 0;
  Doc.OnBitmapRequest = [&](TObject*, const std::string&, int32_t&, TPixelBuffer*&) { ++Requests; };
  Doc.ImagesShown = false;
  Build("<body background=back.bmp><p><img src=red.bmp alt=x>");
  Paint();
  EXPECT_EQ(Requests, 0);  // not even the background
  Doc.Clear();
  // A picture whose data comes later shows a placeholder and waits in the pending list.
  Doc.ImagesShown = true;
  Doc.OnBitmapRequest = nullptr;
  Doc.OnImageRequest = [&](TObject*, const std::string&, TStream*& S) {
    ++Requests;
    S = WaitStream();
  };
  Build("<p><img src=later.gif><img src=later.gif>");
  TSection* S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  auto* Img = dynamic_cast<TImageObj*>(S->Images[0]);
  EXPECT_TRUE(Img->IsPlaceholder);
  EXPECT_EQ(Doc.PendingImages.size(), 2u);
  EXPECT_EQ(Requests, 1);  // the second image waits for the same data
}

TEST_F(Document, NestedListsShowDiscCircleSquare) {
  Build("<ul><li>a<ul><li>b<ul><li>c</ul></ul></ul>");
  std::vector<TBlockLI*> Items;
  std::function<void(TCellBasic&)> Walk = [&](TCellBasic& C) {
    for (int I = 0; I < C.Count(); ++I)
      if (auto* B = dynamic_cast<TBlock*>(C[I])) {
        if (auto* Li = dynamic_cast<TBlockLI*>(B)) Items.push_back(Li);
        Walk(B->Content);
      }
  };
  Walk(Doc);
  ASSERT_EQ(Items.size(), 3u);
  EXPECT_EQ(Items[0]->Marker, TListMarker::Disc);
  EXPECT_EQ(Items[1]->Marker, TListMarker::Circle);
  EXPECT_EQ(Items[2]->Marker, TListMarker::Square);
  // Each level is indented further.
  EXPECT_LT(Items[0]->ContentLeft + 0, Items[1]->Content[0]->TopY + 1000);
  Paint();
  for (TBlockLI* Li : Items) {
    const int B = Li->FirstBaseline();
    const int X = dynamic_cast<TSection*>(Li->Content[0])->Lines[0].PaintX;
    ASSERT_GT(B, 0);
    // Disc and square are filled at their centre; the circle is hollow.
    const TColor Centre = Pixel(X - 13, B - 4);
    if (Li->Marker == TListMarker::Circle)
      EXPECT_EQ(Centre, 0xFFFFFF);
    else
      EXPECT_EQ(Centre, 0x000000);
  }
}

TEST_F(Document, RulesAndPageBreaks) {
  Build("a<hr size=4 color=red>b<page>c");
  THorzLine* Rule = nullptr;
  bool Page = false;
  for (int I = 0; I < Doc.Count(); ++I) {
    if (auto* B = dynamic_cast<TBlock*>(Doc[I]))
      if (B->Content.Count() > 0) Rule = dynamic_cast<THorzLine*>(B->Content[0]);
    if (dynamic_cast<TPageBreak*>(Doc[I])) Page = true;
  }
  ASSERT_NE(Rule, nullptr);
  EXPECT_TRUE(Page);
  EXPECT_EQ(Rule->RuleHeight, 4);
  EXPECT_EQ(Rule->Width, 400);
  Paint();
  EXPECT_EQ(Pixel(200, Rule->TopY + 1), 0x0000FF);
}

TEST_F(Document, RuleWidthsAndListStyles) {
  Build("<hr width=100><hr width=\"50%\" align=right><hr width=80 align=left>"
        "<style>ol.r li { list-style-type: upper-roman }</style><ol class=r><li>a<li>b</ol>");
  std::vector<THorzLine*> Rules;
  TBlockLI* Item = nullptr;
  std::function<void(TCellBasic&)> Walk = [&](TCellBasic& C) {
    for (int I = 0; I < C.Count(); ++I) {
      if (auto* H = dynamic_cast<THorzLine*>(C[I])) Rules.push_back(H);
      if (auto* B = dynamic_cast<TBlock*>(C[I])) {
        if (auto* Li = dynamic_cast<TBlockLI*>(B)) Item = Li;
        Walk(B->Content);
      }
    }
  };
  Walk(Doc);
  ASSERT_EQ(Rules.size(), 3u);
  EXPECT_EQ(Rules[0]->Width, 100);
  EXPECT_EQ(Rules[0]->RuleX, 150);  // centred
  EXPECT_EQ(Rules[1]->Width, 200);
  EXPECT_EQ(Rules[1]->RuleX, 200);  // at the right side
  EXPECT_EQ(Rules[2]->RuleX, 0);
  ASSERT_NE(Item, nullptr);
  EXPECT_EQ(Item->MarkerText(), "II.");
}

TEST_F(Document, PrintCopyKeepsEveryKindOfElement) {
  Doc.PrintTableBackground = false;
  const int Height = Build("<h1>Title</h1><ol><li>one<li>two</ol><table bgcolor=red border=1><caption>c</caption>"
                           "<tr><td>a<td rowspan=2>b<tr><td>c</table><hr><pre>x  y</pre><p><img src=red.bmp>z");
  TSectionList Copy(Doc, true);
  int Curs = 0, Max = 0;
  EXPECT_EQ(Copy.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, 400), Height);
  ASSERT_EQ(Copy.Count(), Doc.Count());
  for (int I = 0; I < Doc.Count(); ++I) {
    EXPECT_EQ(typeid(*Copy[I]).name(), typeid(*Doc[I]).name()) << I;
    EXPECT_EQ(Copy[I]->TopY, Doc[I]->TopY) << I;
  }
  ThtmlTable* T = nullptr;
  for (int I = 0; I < Copy.Count() && !T; ++I) T = dynamic_cast<ThtmlTable*>(Copy[I]);
  ASSERT_NE(T, nullptr);
  ASSERT_NE(T->Caption, nullptr);
  EXPECT_EQ(T->BgColor, 0x1FFFFFFF);  // backgrounds are not printed unless asked for
  auto* List = dynamic_cast<TBlock*>(Copy[1]);
  ASSERT_NE(List, nullptr);
  auto* Item = dynamic_cast<TBlockLI*>(List->Content[1]);
  ASSERT_NE(Item, nullptr);
  EXPECT_EQ(Item->MarkerText(), "2.");
}

TEST_F(Document, PrintingEndsPagesAtBreaksAndWholeLines) {
  Build("<p>first<page><p>second");
  TSectionList Print(Doc, true);
  int Curs = 0, Max = 0;
  Print.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, 400);
  TSectionBase* Break = nullptr;
  for (int I = 0; I < Print.Count(); ++I)
    if (dynamic_cast<TPageBreak*>(Print[I])) Break = Print[I];
  ASSERT_NE(Break, nullptr);
  Print.PaintDocument(Bmp.Canvas(), TRect(0, 0, 400, 600));
  EXPECT_EQ(Print.PrintPageBottom, Break->TopY);
  // A page that starts at the break does not end there again.
  Print.SetScroll(Break->TopY - 2);
  Print.PaintDocument(Bmp.Canvas(), TRect(0, 0, 400, 600));
  EXPECT_EQ(Print.PrintPageBottom, Break->TopY - 2 + 600);
  // A page bottom inside a line moves up to the line's top.
  Print.SetScroll(0);
  TSection* S = FirstSection(Print);
  ASSERT_NE(S, nullptr);
  Print.PaintDocument(Bmp.Canvas(), TRect(0, 0, 400, S->Lines[0].PaintY + 3));
  EXPECT_EQ(Print.PrintPageBottom, S->Lines[0].PaintY);
}

TEST_F(Document, PreKeepsBlanksAndLineEnds) {
  Build("<pre>a\tb  c\n  d</pre>", 20);
  TSection* S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  EXPECT_TRUE(S->Preformatted());
  // Never wrapped, however narrow the room; tabs read as blanks.
  EXPECT_EQ(LinesOf(*S), (std::vector<std::string>{"a b  c\x08", "  d"}));
}

TEST_F(Document, LinkAndTextPositionUnderAPoint) {
  Build("<p>go <a href=\"next.htm\" target=main>here</a> now</p><p>second</p>");
  Paint();
  TSection* S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  const int Y = S->Lines[0].PaintY + 2;
  TUrlTarget* Url = nullptr;
  int Fc = 0;
  ASSERT_TRUE(Doc.LinkAt(TextWidth("go h") + 1, Y, Url, Fc));
  EXPECT_EQ(Url->URL, "next.htm");
  EXPECT_EQ(Url->Target, "main");
  delete Url;
  Url = nullptr;
  EXPECT_FALSE(Doc.LinkAt(1, Y, Url, Fc));
  EXPECT_FALSE(Doc.LinkAt(TextWidth("go here n"), Y, Url, Fc));
  EXPECT_EQ(Url, nullptr);
  // Text positions: past the middle of a character counts as after it.
  const int CharW = TextWidth("g");
  EXPECT_EQ(Doc.PositionAt(CharW * 3 + 1, Y), S->FirstPosition + 3);
  EXPECT_EQ(Doc.PositionAt(CharW * 3 + CharW - 1, Y), S->FirstPosition + 4);
  EXPECT_EQ(Doc.PositionAt(5, 590), -1);
  // Scrolled down, the same window point finds the text further down.
  TSection* Second = nullptr;
  for (int I = Doc.Count() - 1; I >= 0 && !Second; --I)
    if (auto* B = dynamic_cast<TBlock*>(Doc[I])) Second = dynamic_cast<TSection*>(B->Content[0]);
  ASSERT_NE(Second, nullptr);
  Doc.SetScroll(Second->TopY);
  EXPECT_EQ(Doc.PositionAt(1, 2), Second->FirstPosition);
  int Top = 0, Index = 0;
  EXPECT_EQ(Doc.SectionAtY(Second->TopY + 1, Top, Index), Second);
  EXPECT_EQ(Doc.SectionAtY(-5, Top, Index), nullptr);
}

TEST_F(Document, SelectedTextAcrossParagraphsAndCells) {
  Build("<p>first line<p>second<table><tr><td>cell one<td>cell two</table>");
  Doc.SelStart = 0;
  Doc.SelEnd = 5;
  EXPECT_EQ(Doc.SelectedText(), "first");
  // From inside the first paragraph into the table.
  Doc.SelStart = 6;
  Doc.SelEnd = 10000;
  EXPECT_EQ(Doc.SelectedText(), "line\r\nsecond\r\ncell one\r\ncell two\r\n");
  Doc.SelEnd = Doc.SelStart;
  EXPECT_EQ(Doc.SelectedText(), "");
}

TEST_F(Document, NamesAndIdsGiveTheirY) {
  Build("<p>top<p>x<br>y<br><a name=\"#mark\"></a><p id=para>para<img id=pic src=red.bmp> <a name=empty></a>");
  auto Y = [&](const std::string& N) {
    const int I = Doc.IDNameList.IndexOf(N);
    return I < 0 ? -1 : Doc.IDNameList.Objects(I)->YPosition();
  };
  auto* Para = dynamic_cast<TBlock*>(Doc[2]);
  ASSERT_NE(Para, nullptr);
  TSection* S = FirstSection(Para->Content);
  ASSERT_NE(S, nullptr);
  // An anchor names the paragraph it stands in; an ID read with its tag names the line of the
  // text that follows the tag.
  auto* XY = dynamic_cast<TBlock*>(Doc[1]);
  ASSERT_NE(XY, nullptr);
  EXPECT_EQ(Y("MARK"), XY->Content[0]->TopY);
  EXPECT_EQ(Y("para"), S->Lines[0].PaintY + S->Lines[0].SpaceBefore);
  Paint();
  ASSERT_EQ(S->Images.Count(), 1);
  EXPECT_GE(dynamic_cast<TImageObj*>(S->Images[0])->DrawYY, S->TopY);
  EXPECT_EQ(Y("pic"), dynamic_cast<TImageObj*>(S->Images[0])->DrawYY);
  EXPECT_EQ(Y("EMPTY"), S->TopY);
  // An anchor in a paragraph that is thrown away empty names the next text; one with no text
  // after it names nothing (and leaves nothing freed behind).
  Doc.Clear();
  Build("<p><a name=moved></a></p><p>text<p><a name=gone>");
  auto* Text = dynamic_cast<TBlock*>(Doc[1]);  // after the empty paragraph's block
  ASSERT_NE(Text, nullptr);
  EXPECT_EQ(Y("MOVED"), Text->Content[0]->TopY);
  EXPECT_EQ(Doc.IDNameList.IndexOf("GONE"), -1);
}

TEST_F(Document, LinksLightUpUnderTheMouse) {
  Build("<style>a:hover { color: #ff0000 }</style><p><a href=x>one <b>two</b></a> three");
  TSection* S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  Paint();
  TUrlTarget* Url = nullptr;
  int Fc = 0;
  ASSERT_TRUE(Doc.LinkAt(2, S->Lines[0].PaintY + 2, Url, Fc));
  delete Url;
  // Both pieces of the link take the hover colour; the text after it does not.
  EXPECT_EQ(S->Fonts.GetFontObjAt(0)->TheFont.Color() & 0xFFFFFF, 0x0000FF);
  EXPECT_EQ(S->Fonts.GetFontObjAt(4)->TheFont.Color() & 0xFFFFFF, 0x0000FF);
  EXPECT_NE(S->Fonts.GetFontObjAt(9)->TheFont.Color() & 0xFFFFFF, 0x0000FF);
  Doc.ClearHover();
  EXPECT_NE(S->Fonts.GetFontObjAt(0)->TheFont.Color() & 0xFFFFFF, 0x0000FF);
}

TEST_F(Document, LinkListHoldsOnlyLiveRuns) {
  // Runs that merge when blanks go, and sections thrown away empty, leave the link list.
  Build("<p><a href=x> <b>t</b></a><a href=y></a><p><a href=z> </a><a href=w>u</a>");
  std::vector<TFontObj*> Live;
  std::function<void(TCellBasic&)> Walk = [&](TCellBasic& C) {
    for (int I = 0; I < C.Count(); ++I) {
      if (auto* S = dynamic_cast<TSection*>(C[I]))
        for (int F = 0; F < S->Fonts.Count(); ++F) Live.push_back(S->Fonts[F]);
      if (auto* B = dynamic_cast<TBlock*>(C[I])) Walk(B->Content);
    }
  };
  Walk(Doc);
  ASSERT_FALSE(Doc.Links.empty());
  for (TFontObj* L : Doc.Links) EXPECT_NE(std::find(Live.begin(), Live.end(), L), Live.end());
  Paint();
  for (int Y = 0; Y < 60; Y += 3) {
    TUrlTarget* Url = nullptr;
    int Fc = 0;
    if (Doc.LinkAt(3, Y, Url, Fc)) delete Url;
  }
  Doc.ClearHover();
}

TEST_F(Document, AnimatedGifsStepOnlyWhenShown) {
  using namespace gifbuild;
  Frame A, B;
  A.Width = B.Width = 4;
  A.Height = B.Height = 4;
  A.Control = B.Control = true;
  A.DelayCs = B.DelayCs = 10;
  A.Pixels.assign(16, 1);
  B.Pixels.assign(16, 2);
  const std::vector<uint8_t> Gif = gifbuild::Build(4, 4, Palette4(), {A, B}, 0);
  TMemoryStream Stream;
  Stream.WriteBuffer(Gif.data(), static_cast<int64_t>(Gif.size()));
  Doc.OnBitmapRequest = nullptr;
  Doc.OnImageRequest = [&](TObject*, const std::string& Name, TStream*& S) {
    if (Name == "anim.gif") S = &Stream;
  };
  this->Build("<p>x<img src=anim.gif></p>");
  ASSERT_EQ(Doc.AnimatedImages.size(), 1u);
  TGIFImage* G = Doc.AnimatedImages[0]->Gif;
  ASSERT_NE(G, nullptr);
  EXPECT_EQ(G->CurrentFrame, 1);
  for (int Step = 1; Step <= 3; ++Step) Doc.AnimationStep(G->LastTime + 1000);  // not painted yet: stays
  EXPECT_EQ(G->CurrentFrame, 1);
  Paint();
  EXPECT_TRUE(G->ShownOnScreen);
  for (int Step = 1; Step <= 2; ++Step) Doc.AnimationStep(G->LastTime + 1000);
  EXPECT_EQ(G->CurrentFrame, 2);
}

TEST_F(Document, TextIsPaintedWhereHitTestsFindIt) {
  // With a page margin the text must be drawn at the arranged position, not at the canvas edge.
  Doc.SetDefaults("Courier New", "Courier New", 10, 0x000000, 0x000000, 0x000000, 0x000000, true, 0xFFFFFF, 1);
  Doc.MarginWidth = 10;
  Build("<p><a href=x>MMMM</a>");
  Paint();
  TSection* S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  int FirstInk = -1;
  for (int X = 0; X < 100 && FirstInk < 0; ++X)
    for (int Y = S->Lines[0].PaintY; Y < S->Lines[0].PaintY + S->Lines[0].LineHeight; ++Y)
      if (Pixel(X, Y) != 0xFFFFFF) {
        FirstInk = X;
        break;
      }
  ASSERT_GE(FirstInk, 10);
  EXPECT_LE(FirstInk, 12);
  TUrlTarget* Url = nullptr;
  int Fc = 0;
  EXPECT_TRUE(Doc.LinkAt(FirstInk + 1, S->Lines[0].PaintY + 2, Url, Fc));
  delete Url;
}

TEST_F(Document, PictureAloneOnItsLineFitsInsideTheLine) {
  // A line holding nothing but a picture is as tall as the picture, and the picture is drawn
  // within it (not over what stands above).
  for (const std::string Align : {"", " align=bottom", " align=top", " align=baseline"}) {
    Doc.Clear();
    Build("<p>above</p><p><img src=\"tall.bmp\"" + Align + "></p><p>below");
    Paint();
    TSection* S = nullptr;
    for (int I = 0; I < Doc.Count() && !S; ++I)
      if (auto* B = dynamic_cast<TBlock*>(Doc[I]))
        if (TSection* T = FirstSection(B->Content); T && T->Images.Count() == 1) S = T;
    ASSERT_NE(S, nullptr) << Align;
    ASSERT_FALSE(S->Lines.empty());
    const LineRec& L = S->Lines[0];
    const int Top = L.PaintY, Bottom = L.PaintY + L.SpaceBefore + L.LineHeight + L.SpaceAfter;
    const auto* Img = dynamic_cast<TImageObj*>(S->Images[0]);
    EXPECT_GE(Img->DrawYY, Top) << Align;
    EXPECT_LE(Img->DrawYY + 60, Bottom) << Align;
  }
}

TEST_F(Document, DefaultsMarginsAndBodyAttributes) {
  Doc.SetDefaults("Courier New", "Courier New", 10, 0x000000, 0x00FF00, 0x808080, 0x0000FF, true, 0xFFFFFF, 1);
  Doc.MarginWidth = 10;
  Doc.MarginHeight = 5;
  Build("<p><a href=x>link</a> text");
  TSection* S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(S->Lines[0].PaintX, 10);
  EXPECT_EQ(S->Fonts.GetFontObjAt(0)->TheFont.Color() & 0xFFFFFF, 0x00FF00);  // the viewer's link colour
  Doc.Clear();
  Build("<body marginwidth=30 marginheight=0 bgcolor=#000080><p>x");
  S = FirstSection(Doc);
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(S->Lines[0].PaintX, 30);
  EXPECT_EQ(Doc.Background, 0x800000);
  Paint();
  EXPECT_EQ(Pixel(5, 300), 0x800000);
}

TEST_F(Document, HostileMarkupStaysBounded) {
  // A huge COLSPAN stops at the column limit; deep nesting is cut off; both build fast.
  const auto T0 = std::chrono::steady_clock::now();
  Build("<table><tr><td colspan=1000000000>a<td>b</table>");
  auto* T = dynamic_cast<ThtmlTable*>(Doc[0]);
  ASSERT_NE(T, nullptr);
  EXPECT_LE(T->NumCols(), MaxTableColumns);
  Doc.Clear();
  std::string Deep;
  for (int I = 0; I < 5000; ++I) Deep += "<div><ul><li><blockquote>";
  Deep += "deep";
  Build(Deep);
  int Levels = 0;
  TCellBasic* C = &Doc;
  while (C->Count() > 0) {
    auto* B = dynamic_cast<TBlock*>(C->Items(C->Count() - 1));
    if (!B) break;
    C = &B->Content;
    ++Levels;
  }
  EXPECT_LE(Levels, MaxBlockDepth);
  EXPECT_NE(FirstSection(*C), nullptr);  // the text is still there, at the deepest allowed level
  Doc.Clear();
  std::string Tables;
  for (int I = 0; I < 12; ++I) Tables += "<table><tr><td>";
  Build(Tables + "x");
  int Depth = 0;
  TSectionBase* S = Doc.Count() ? Doc[0] : nullptr;
  while (auto* Tb = dynamic_cast<ThtmlTable*>(S)) {
    ++Depth;
    TCellObj* Cell = Tb->Rows[0]->Items(0);
    S = Cell && Cell->Cell.Count() ? Cell->Cell[0] : nullptr;
  }
  EXPECT_EQ(Depth, MaxTableDepth);
  (void)T0;
}

}  // namespace
