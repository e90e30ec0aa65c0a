// The viewer control: loading from files, lists and buffers, missing files, anchors, painting
// and scrolling against a full render, links, selection, history and META refresh.
#include <unistd.h>

#include <cstring>

#include "platform/core/fileutils.h"
#include "htmlview/htmlforms.h"
#include "htmlview/htmlsection.h"
#include "viewer_fixture.h"

namespace {

std::string Lines(int N, const std::string& Prefix = "line") {
  std::string S;
  for (int I = 1; I <= N; ++I) S += "<p>" + Prefix + " " + std::to_string(I) + "</p>";
  return S;
}

uint32_t Px(const TBitmap& B, int X, int Y) { return static_cast<uint32_t>(B.PixelColor(X, Y)) & 0xFFFFFF; }

// True when rows [Y0, Y0 + H) of A equal rows [Y1, Y1 + H) of B over columns [X0, X0 + W).
bool SameRows(const TBitmap& A, int Y0, const TBitmap& B, int Y1, int X0, int W, int H) {
  for (int Y = 0; Y < H; ++Y)
    for (int X = X0; X < X0 + W; ++X)
      if (Px(A, X, Y0 + Y) != Px(B, X, Y1 + Y)) return false;
  return true;
}

TEST_F(ViewerTest, MissingFileRaisesAndKeepsTheDocument) {
  THTMLViewer* V = NewViewer();
  const std::string Good = Write("good.htm", "<title>Good</title><p>kept");
  V->LoadFromFile(Good);
  const std::string Missing = (Dir / "nothing.htm").string();
  try {
    V->LoadFromFile(Missing + "#part");
    FAIL() << "no exception";
  } catch (const EfvLoadError& E) {
    EXPECT_EQ(E.Message(), "Can't locate file: " + Missing);
  }
  EXPECT_FALSE(V->Processing());
  EXPECT_EQ(V->DocumentTitle(), "Good");
  EXPECT_EQ(V->CurrentFile(), ExpandFileName(Good));
  // The error is an input/output error as well.
  EXPECT_THROW(V->LoadTextFile(Missing), EInOutError);
}

TEST_F(ViewerTest, BufferStringsAndStreamGiveTheSameDocument) {
  THTMLViewer* V = NewViewer();
  const std::string Html = "<title>T</title><p>alpha beta</p><p>gamma</p>";
  // The buffer is read for exactly its length: what follows is not part of the document.
  const std::string WithTail = Html + "<p>TAIL";
  V->LoadFromBuffer(WithTail.data(), static_cast<int>(Html.size()));
  EXPECT_EQ(V->DocumentSource(), Html);
  EXPECT_EQ(V->DocumentTitle(), "T");
  EXPECT_TRUE(V->CurrentFile().empty());
  V->SelectAll();
  const std::string FromBuffer = V->SelText();
  EXPECT_NE(FromBuffer.find("alpha beta"), std::string::npos);
  EXPECT_EQ(FromBuffer.find("TAIL"), std::string::npos);

  TStringList L;
  L.Add("<title>T</title><p>alpha beta</p>");
  L.Add("<p>gamma</p>");
  V->LoadFromStrings(&L);
  EXPECT_EQ(V->DocumentSource(), "<title>T</title><p>alpha beta</p>\r\n<p>gamma</p>\r\n");
  V->SelectAll();
  EXPECT_EQ(V->SelText(), FromBuffer);

  TMemoryStream M;
  M.Write(Html.data(), static_cast<int64_t>(Html.size()));
  V->LoadFromStream(&M);
  EXPECT_EQ(V->DocumentSource(), Html);
  V->SelectAll();
  EXPECT_EQ(V->SelText(), FromBuffer);
}

TEST_F(ViewerTest, FileWithRelativeImageAndAnchor) {
  // A 20 x 10 red BMP beside the page.
  TBitmap Red;
  Red.SetSize(20, 10);
  Red.Canvas()->Brush()->SetColor(clRed);
  Red.Canvas()->FillRect(TRect(0, 0, 20, 10));
  std::filesystem::create_directories(Dir / "pics");
  Red.SaveToFile((Dir / "pics" / "red.bmp").string());
  const std::string Page = Write("page.htm", "<p><img src=\"pics/red.bmp\"></p>" + Lines(60) + "<a name=\"part\"></a><p>here");
  THTMLViewer* V = NewViewer();
  V->LoadFromFile(Page + "#part");
  EXPECT_EQ(V->CurrentFile(), ExpandFileName(Page));
  EXPECT_GT(V->VScrollBarPosition(), 0);
  const int AtAnchor = V->VScrollBarPosition();
  // The same file again keeps its place; an anchor the page lacks does not move it.
  V->LoadFromFile(Page + "#nothing");
  EXPECT_EQ(V->VScrollBarPosition(), AtAnchor);
  EXPECT_TRUE(V->PositionTo("#PART"));
  EXPECT_FALSE(V->PositionTo("absent"));
  V->SetVScrollBarPosition(0);
  TBitmap Shot;
  vxtest::Grab(V, &Shot);
  // The picture sits at the top left inside the margins (border 1, margin 10 by 5).
  bool SawRed = false;
  for (int Y = 0; Y < 30 && !SawRed; ++Y)
    for (int X = 0; X < 40; ++X)
      if (Px(Shot, X, Y) == 0x0000FF) SawRed = true;
  EXPECT_TRUE(SawRed);
}

TEST_F(ViewerTest, ImageDocumentShowsOnePicture) {
  TBitmap Blue;
  Blue.SetSize(8, 8);
  Blue.Canvas()->Brush()->SetColor(clBlue);
  Blue.Canvas()->FillRect(TRect(0, 0, 8, 8));
  const std::string Name = (Dir / "a&b.bmp").string();
  Blue.SaveToFile(Name);
  THTMLViewer* V = NewViewer();
  V->LoadImageDocument(Name);
  EXPECT_EQ(V->CurrentFile(), ExpandFileName(Name));
  TBitmap Shot;
  vxtest::Grab(V, &Shot);
  bool SawBlue = false;
  for (int Y = 0; Y < 30; ++Y)
    for (int X = 0; X < 40; ++X)
      if (Px(Shot, X, Y) == 0xFF0000) SawBlue = true;
  EXPECT_TRUE(SawBlue) << "the name with an ampersand reaches the picture loader intact";
}

TEST_F(ViewerTest, ScrollingRepaintsWhatAFullRenderShows) {
  const std::string Html = Lines(80);
  THTMLViewer* Small = NewViewer(300, 150);
  Small->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
  const int Doc = Small->DocumentHeight();
  ASSERT_GT(Doc, 1000);
  // The full render: the same width, tall enough for the whole document.
  auto* Form2 = new TForm(Application);
  Form2->SetBounds(0, 0, 320, Doc + 40);
  Form2->Show();
  auto* Tall = new THTMLViewer(Form2);
  Tall->SetParent(Form2);
  Tall->DefFontName = "Courier New";
  Tall->SetDefFontSize(10);
  Tall->SetDefBackground(clWhite);
  Tall->DefFontColor = clBlack;
  Tall->SetBounds(0, 0, 300, Doc + 10);
  Tall->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
  ASSERT_EQ(Tall->DocumentHeight(), Doc);
  EXPECT_FALSE(Tall->VScrollBar()->Visible());
  TBitmap Full;
  vxtest::Grab(Tall, &Full);

  TPaintPanel* P = Small->PaintPanel();
  EXPECT_TRUE(Small->VScrollBar()->Visible());
  EXPECT_EQ(Small->VScrollBar()->Max(), Doc);
  const int MaxPos = Doc - P->Height();
  auto Check = [&](const char* What) {
    TBitmap Shot;
    vxtest::Grab(Small, &Shot);
    const int Y = Small->VScrollBarPosition();
    EXPECT_TRUE(SameRows(Shot, P->Top(), Full, 1 + Y, 1, P->Width() - 2, P->Height())) << What << " at " << Y;
  };
  struct Step {
    const char* What;
    std::function<void()> Do;
    int Expected;
  };
  auto Scroll = [&](TScrollCode Code, int Pos = 0) {
    Small->VScrollBar()->OnScroll(Small->VScrollBar(), Code, Pos);
  };
  uint16_t Down = VK_DOWN, Next = VK_NEXT, End = VK_END, Home = VK_HOME;
  const std::vector<Step> Steps = {
      {"line down", [&] { Scroll(scLineDown); }, 16},
      {"page down", [&] { Scroll(scPageDown); }, 16 + P->Height() - 16},
      {"thumb", [&] { Scroll(scTrack, 700); }, 700},
      {"key down", [&] { Small->KeyDown(Down, 0); }, 716},
      {"key page down", [&] { Small->KeyDown(Next, 0); }, 716 + P->Height() - 16},
      {"wheel", [&] { Small->PanelWheel(-120); }, 716 + P->Height() - 16 + 60},
      {"end", [&] { Small->KeyDown(End, 0); }, MaxPos},
      {"line down at the end", [&] { Scroll(scLineDown); }, MaxPos},
      {"home", [&] { Small->KeyDown(Home, 0); }, 0},
      {"line up at the top", [&] { Scroll(scLineUp); }, 0},
  };
  for (const Step& S : Steps) {
    S.Do();
    EXPECT_EQ(Small->VScrollBarPosition(), S.Expected) << S.What;
    Check(S.What);
  }
}

TEST_F(ViewerTest, VeryTallDocumentScrollsToItsEndByTheThumb) {
  THTMLViewer* V = NewViewer(300, 150);
  std::string Html;
  for (int I = 0; I < 3000; ++I) Html += "x<br>";
  V->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
  ASSERT_GT(V->DocumentHeight(), 40000);
  const int End = V->DocumentHeight() - V->PaintPanel()->Height();
  int Pos = End;
  V->VScrollBar()->OnScroll(V->VScrollBar(), scTrack, Pos);
  EXPECT_EQ(V->VScrollBarPosition(), End);
  EXPECT_EQ(V->VScrollBar()->Position(), End);
  EXPECT_EQ(Pos, End);
}

TEST_F(ViewerTest, VerticalBarAppearsAtTheClientHeight) {
  THTMLViewer* V = NewViewer(300, 200);
  V->SetScrollBars(ssVertical);
  const std::string One = "<p>x";
  V->LoadFromBuffer(One.data(), static_cast<int>(One.size()));
  EXPECT_FALSE(V->VScrollBar()->Visible());
  const std::string Long = Lines(40);
  V->LoadFromBuffer(Long.data(), static_cast<int>(Long.size()));
  EXPECT_TRUE(V->VScrollBar()->Visible());
  EXPECT_EQ(V->PaintPanel()->Width(), 300 - V->VScrollBar()->Width() - 2);
}

TEST_F(ViewerTest, LinkClickRaisesTheEventAndFollowsAnAnchor) {
  THTMLViewer* V = NewViewer(300, 150);
  const std::string Html = "<p><a href=\"#down\">go</a> <a href=\"other.htm\">other</a></p>" + Lines(60) +
                           "<p><a name=\"down\">target</a>";
  V->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
  std::vector<std::string> Clicked, Covered;
  bool Stop = true;
  V->OnHotSpotClick = [&](TObject*, const std::string& Src, bool& Handled) {
    Clicked.push_back(Src);
    Handled = Stop;
  };
  V->OnHotSpotCovered = [&](TObject*, const std::string& Src) { Covered.push_back(Src); };
  int X = 0, Y = 0;
  ASSERT_TRUE(FindLink(V, "#down", X, Y));
  vxtest::MouseMove(V->PaintPanel(), X, Y);
  ASSERT_FALSE(Covered.empty());
  EXPECT_EQ(Covered.back(), "#down");
  EXPECT_EQ(V->PaintPanel()->Cursor(), HandCursor);
  // A handled click stays put.
  vxtest::Click(V->PaintPanel(), X, Y);
  ASSERT_EQ(Clicked, std::vector<std::string>{"#down"});
  EXPECT_EQ(V->VScrollBarPosition(), 0);
  // Unhandled, the viewer goes to the anchor.
  Stop = false;
  vxtest::Click(V->PaintPanel(), X, Y);
  const int I = V->SectionList()->IDNameList.IndexOf("DOWN");
  ASSERT_GE(I, 0);
  const int Expected =
      std::min(V->SectionList()->IDNameList.Objects(I)->YPosition(), V->DocumentHeight() - V->PaintPanel()->Height());
  EXPECT_EQ(V->VScrollBarPosition(), Expected);
  EXPECT_GT(Expected, 0);
}

TEST_F(ViewerTest, DragSelectsAndCopiesTheText) {
  THTMLViewer* V = NewViewer(300, 150);
  const std::string Html = "<p>alpha beta gamma</p><p>delta epsilon</p>";
  V->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
  // From the "b" of beta to just after "delta" (the second paragraph follows the first directly).
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  const std::string Text = "alpha beta gamma";
  ASSERT_TRUE(FindPosition(V, 6, X0, Y0));
  ASSERT_TRUE(FindPosition(V, static_cast<int>(Text.size()) + 5, X1, Y1));
  vxtest::MouseDown(V->PaintPanel(), X0, Y0);
  vxtest::MouseMove(V->PaintPanel(), X1, Y1, ssLeft);
  vxtest::MouseUp(V->PaintPanel(), X1, Y1);
  EXPECT_EQ(V->SelStart(), 6);
  EXPECT_EQ(V->SelText(), "beta gamma\r\ndelta");
  // With NoSelect the same drag selects nothing.
  V->SetNoSelect(true);
  vxtest::MouseDown(V->PaintPanel(), X0, Y0);
  vxtest::MouseMove(V->PaintPanel(), X1, Y1, ssLeft);
  vxtest::MouseUp(V->PaintPanel(), X1, Y1);
  EXPECT_EQ(V->SelLength(), 0);
}

TEST_F(ViewerTest, DraggingBelowThePanelScrollsAndSelects) {
  THTMLViewer* V = NewViewer(300, 150);
  const std::string Html = Lines(80);
  V->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
  int X = 0, Y = 0;
  ASSERT_TRUE(FindPosition(V, 0, X, Y));
  vxtest::MouseDown(V->PaintPanel(), X, Y);
  // Far below the panel: eight small changes a step, until the button comes up.
  TTimer Release(nullptr);
  Release.SetInterval(350);
  Release.OnTimer = [&](TObject*) {
    Release.SetEnabled(false);
    vxtest::MouseUp(V->PaintPanel(), X, V->PaintPanel()->Height() + 40);
  };
  Release.SetEnabled(true);
  vxtest::MouseMove(V->PaintPanel(), X, V->PaintPanel()->Height() + 40, ssLeft);
  vxtest::Pump();
  EXPECT_GT(V->VScrollBarPosition(), 0);
  EXPECT_EQ(V->VScrollBarPosition() % (8 * 16), 0);
  EXPECT_GT(V->SelLength(), 0);
  EXPECT_EQ(V->SelStart(), 0);
}

TEST_F(ViewerTest, RightClickReportsTheWordAndTheLink) {
  THTMLViewer* V = NewViewer(300, 150);
  const std::string Html = "<p>plain words <a href=\"next.htm\" target=\"main\">linked</a></p>";
  V->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
  std::vector<TRightClickParameters> Got;
  V->OnRightClick = [&](TObject*, const TRightClickParameters& P) { Got.push_back(P); };
  int X = 0, Y = 0;
  ASSERT_TRUE(FindPosition(V, 7, X, Y));  // inside "words"
  vxtest::MouseDown(V->PaintPanel(), X, Y, mbRight);
  vxtest::MouseUp(V->PaintPanel(), X, Y, mbRight);
  ASSERT_TRUE(FindLink(V, "next.htm", X, Y));
  vxtest::MouseDown(V->PaintPanel(), X, Y, mbRight);
  vxtest::MouseUp(V->PaintPanel(), X, Y, mbRight);
  ASSERT_EQ(Got.size(), 2u);
  EXPECT_EQ(Got[0].ClickWord, "words");
  EXPECT_TRUE(Got[0].URL.empty());
  EXPECT_EQ(Got[1].URL, "next.htm");
  EXPECT_EQ(Got[1].Target, "main");
  EXPECT_EQ(Got[1].ClickWord, "linked");
  // A right click follows no link.
  EXPECT_TRUE(V->CurrentFile().empty());
}

TEST_F(ViewerTest, DoubleClickSelectsTheWord) {
  THTMLViewer* V = NewViewer(300, 150);
  const std::string Html = "<p>alpha beta gamma</p>";
  V->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
  int X = 0, Y = 0;
  ASSERT_TRUE(FindPosition(V, 7, X, Y));
  vxtest::DoubleClick(V->PaintPanel(), X, Y);
  EXPECT_EQ(V->SelText(), "beta");
}

TEST_F(ViewerTest, LinksToFilesRecordHistoryAndVisitedLinks) {
  const std::string A = Write("a.htm", "<title>A</title><p><a href=\"b.htm\">to b</a>");
  const std::string B = Write("b.htm", "<title>B</title><p><a href=\"a.htm\">to a</a>");
  THTMLViewer* V = NewViewer();
  int Changes = 0;
  V->OnHistoryChange = [&](TObject*) { ++Changes; };
  // With the application's setting nothing is ever recorded.
  V->LoadFromFile(A);
  int X = 0, Y = 0;
  ASSERT_TRUE(FindLink(V, "b.htm", X, Y));
  vxtest::Click(V->PaintPanel(), X, Y);
  EXPECT_EQ(V->CurrentFile(), ExpandFileName(B));
  EXPECT_EQ(V->History()->Count(), 0);
  EXPECT_EQ(Changes, 0);

  // The first recorded load enters only the document now shown.
  V->SetHistoryMaxCount(2);
  ASSERT_TRUE(FindLink(V, "a.htm", X, Y));
  vxtest::Click(V->PaintPanel(), X, Y);
  EXPECT_EQ(V->DocumentTitle(), "A");
  ASSERT_EQ(V->History()->Count(), 1);
  EXPECT_EQ(V->History()->Strings(0), ExpandFileName(A));
  EXPECT_EQ(Changes, 1);
  // The link to b was visited before, so the new page marks it.
  ASSERT_FALSE(V->SectionList()->Links.empty());
  EXPECT_TRUE(V->SectionList()->Links.front()->Visited);
  ASSERT_TRUE(FindLink(V, "b.htm", X, Y));
  vxtest::Click(V->PaintPanel(), X, Y);
  // The list keeps HistoryMaxCount entries, newest first.
  ASSERT_EQ(V->History()->Count(), 2);
  EXPECT_EQ(V->History()->Strings(0), ExpandFileName(B));
  EXPECT_EQ(V->History()->Strings(1), ExpandFileName(A));
  EXPECT_EQ(V->TitleHistory()->Strings(1), "A");
  EXPECT_EQ(Changes, 2);
  EXPECT_EQ(V->VisitedList()->Strings(0), ExpandFileName(B));
}

TEST_F(ViewerTest, MetaRefreshAndSettingLimits) {
  THTMLViewer* V = NewViewer();
  struct Case {
    std::string Content;
    int Delay;
    std::string Url;
  };
  const std::vector<Case> Cases = {{"5; url=next.htm", 5, "next.htm"}, {"0", 1, ""}, {"soon", -1, ""}};
  for (const Case& C : Cases) {
    int Delay = -1;
    std::string Url = "unset";
    V->OnMetaRefresh = [&](TObject*, int D, const std::string& U) {
      Delay = D;
      Url = U;
    };
    const std::string Html = "<meta http-equiv=\"Refresh\" content=\"" + C.Content + "\"><p>x";
    V->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
    EXPECT_EQ(Delay, C.Delay) << C.Content;
    if (C.Delay > 0) {
      EXPECT_EQ(Url, C.Url) << C.Content;
    }
  }
  V->SetDefFontSize(4);
  EXPECT_EQ(V->DefFontSize(), 6);
  V->SetImageCacheCount(50);
  EXPECT_EQ(V->ImageCacheCount(), 20);
  V->SetImageCacheCount(-1);
  EXPECT_EQ(V->ImageCacheCount(), 0);
}

TEST_F(ViewerTest, NoLinkUnderlineOptionReachesTheDocument) {
  THTMLViewer* V = NewViewer();
  const std::string Html = "<p><a href=\"x.htm\">link</a> text";
  struct Case {
    ThtmlViewerOptions Options;
    bool Underlined;
  };
  for (const Case& C : {Case{htPrintTableBackground, true}, Case{htPrintTableBackground | htNoLinkUnderline, false}}) {
    V->SetHtOptions(C.Options);
    V->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
    ASSERT_FALSE(V->SectionList()->Links.empty());
    const bool Underlined = (V->SectionList()->Links.front()->TheFont.Style() & fsUnderline) != 0;
    EXPECT_EQ(Underlined, C.Underlined) << C.Options;
  }
}

TEST_F(ViewerTest, ImageButtonSubmitsTheFormWithTheClickPoint) {
  WriteBitmap("btn.bmp", 40, 20, clRed);
  const std::string Page = Write("form.htm",
                                 "<form action=\"go.cgi\" method=\"post\"><input type=hidden name=h value=1>"
                                 "Send <input type=image name=pt src=\"btn.bmp\"> now</form><p>after");
  THTMLViewer* V = NewViewer();
  V->LoadFromFile(Page);
  vxtest::Pump();  // painted: the picture has its place
  std::vector<std::string> Results;
  std::string Action, Method;
  int Submits = 0;
  V->OnFormSubmit = [&](TObject*, const std::string& A, const std::string&, const std::string&, const std::string& M,
                        const std::vector<std::string>& R) {
    ++Submits;
    Action = A;
    Method = M;
    Results = R;
  };
  TImageFormControlObj* Button = nullptr;
  for (TFormControlObj* C : V->SectionList()->FormControlList)
    if (auto* B = dynamic_cast<TImageFormControlObj*>(C)) Button = B;
  ASSERT_NE(Button, nullptr);
  const int X = Button->MyImage->DrawX + 7, Y = Button->MyImage->DrawYY - V->VScrollBarPosition() + 4;
  vxtest::MouseMove(V->PaintPanel(), X, Y);
  EXPECT_EQ(V->PaintPanel()->Cursor(), HandCursor);
  vxtest::Click(V->PaintPanel(), X, Y);
  EXPECT_EQ(Submits, 0) << "the submit event runs after the click has finished";
  vxtest::Pump();
  ASSERT_EQ(Submits, 1);
  EXPECT_EQ(Action, "go.cgi");
  EXPECT_EQ(LowerCase(Method), "post");
  EXPECT_EQ(Results, (std::vector<std::string>{"h=1", "pt.x=7", "pt.y=4"}));
  // A click beside the button is no click on it.
  vxtest::Click(V->PaintPanel(), Button->MyImage->DrawX + 60, Y);
  vxtest::Pump();
  EXPECT_EQ(Submits, 1);
}

}  // namespace
