// The frames viewer: ROWS/COLS sizes, framesets loaded from a path, targets between frames,
// nesting limits, the error page, histories, and a help page as it looks on screen.
#include <unistd.h>

#include <cstdlib>

#include "platform/core/fileutils.h"
#include "htmlview/framview.h"
#include "htmlview/htmlsection.h"
#include "htmlview/imagecache.h"
#include "viewer_fixture.h"

namespace {

TEST(FrameSizes, RowsAndColsShareTheExtent) {
  struct Case {
    std::string Spec;
    int Extent;
    std::vector<int> Sizes;
  };
  const std::vector<Case> Cases = {
      {"100,*,2*", 400, {100, 100, 200}},
      {"25%,*", 400, {100, 300}},
      {"50%,50%,100", 400, {150, 150, 100}},
      {"500,500", 400, {200, 200}},
      {"*", 0, {0}},
      {"*,*", -10, {0, 0}},
      {"10%", 400, {40}},
      {"x,3*,,", 300, {50, 150, 50, 50}},
  };
  for (const Case& C : Cases) {
    std::array<int, MaxFrameDims + 1> Dims{};
    const int N = ParseFrameDimensions(C.Spec, Dims);
    std::vector<int> D(Dims.begin() + 1, Dims.begin() + 1 + N);
    EXPECT_EQ(FrameSizes(D, C.Extent), C.Sizes) << C.Spec;
  }
  // More than twenty items: the rest is ignored.
  std::string Many;
  for (int I = 0; I < 30; ++I) Many += "10,";
  std::array<int, MaxFrameDims + 1> Dims{};
  EXPECT_EQ(ParseFrameDimensions(Many, Dims), MaxFrameDims);
  // Star weights and percentages are bounded as written.
  EXPECT_EQ(ParseFrameDimensions("500*,5000%,99999", Dims), 3);
  EXPECT_EQ(Dims[1], -99);
  EXPECT_EQ(Dims[2], -1000);
  EXPECT_EQ(Dims[3], 5000);
}

class FramesTest : public ViewerTest {
 protected:
  TFrameViewer* NewFrames(int W = 400, int H = 300) {
    auto* F = new TFrameViewer(Form);
    F->SetParent(Form);
    F->SetDefFontName("Courier New");
    F->SetDefFontSize(10);
    F->SetDefBackground(clWhite);
    F->SetDefFontColor(clBlack);
    F->SetBounds(0, 0, W, H);
    return F;
  }
  static std::string Text(THTMLViewer* V) {
    V->SelectAll();
    return V->SelText();
  }
  static THTMLViewer* ViewerOf(TFrameViewer* F, const std::string& Name) {
    const int I = F->CurFrameSet()->FrameNames.IndexOf(UpperCase(Name));
    if (I < 0) return nullptr;
    return static_cast<TfvFrame*>(F->CurFrameSet()->FrameNames.Objects(I))->Viewer;
  }
  // Clicks the link with URL Url in viewer V.
  bool ClickLink(THTMLViewer* V, const std::string& Url) {
    int X = 0, Y = 0;
    if (!FindLink(V, Url, X, Y)) return false;
    vxtest::Click(V->PaintPanel(), X, Y);
    vxtest::Pump();
    return true;
  }
};

TEST_F(FramesTest, MissingFileRaisesTheLoadError) {
  TFrameViewer* F = NewFrames();
  const std::string Missing = (Dir / "help" / "none.htm").string();
  try {
    F->LoadFromFile(Missing + "#top");
    FAIL() << "no exception";
  } catch (const EfvLoadError& E) {
    EXPECT_EQ(E.Message(), "Can't locate file: " + Missing);
  }
  EXPECT_EQ(F->ViewerCount(), 0);
  EXPECT_FALSE(F->Processing());
}

TEST_F(FramesTest, TwoFramesLoadAndTargetsLoadIntoTheNamedFrame) {
  Write("index.htm",
        "<title>Help</title><frameset cols=\"100,*\"><frame name=\"menu\" src=\"menu.htm\">"
        "<frame name=\"main\" src=\"sub/first.htm\"></frameset>");
  Write("menu.htm",
        "<p><a href=\"sub/second.htm\" target=\"main\">second</a> <a href=\"other.htm\" target=\"_top\">top</a> "
        "<a href=\"x.htm\" target=\"nowhere\">lost</a>");
  Write("sub/first.htm", "<p>first page");
  Write("sub/second.htm", "<p>second page");
  Write("other.htm", "<title>Other</title><p>a whole page");
  TFrameViewer* F = NewFrames();
  F->LoadFromFile((Dir / "index.htm").string());
  ASSERT_EQ(F->ViewerCount(), 2);
  EXPECT_EQ(F->DocumentTitle(), "Help");
  THTMLViewer* Menu = ViewerOf(F, "menu");
  THTMLViewer* Main = ViewerOf(F, "MAIN");
  ASSERT_NE(Menu, nullptr);
  ASSERT_NE(Main, nullptr);
  EXPECT_NE(Text(Main).find("first page"), std::string::npos);
  // The frames share the width as COLS says: 100 pixels and the rest.
  EXPECT_EQ(Menu->Owner() ? static_cast<TControl*>(Menu->Owner())->Width() : 0, 100);
  EXPECT_FALSE(F->BackButtonEnabled());

  std::vector<std::pair<std::string, std::string>> Clicks;
  F->OnHotSpotTargetClick = [&](TObject*, const std::string& Target, const std::string& Url, bool&) {
    Clicks.emplace_back(Target, Url);
  };
  ASSERT_TRUE(ClickLink(Menu, "sub/second.htm"));
  ASSERT_EQ(Clicks.size(), 1u);
  EXPECT_EQ(Clicks[0].first, "main");
  EXPECT_NE(Text(Main).find("second page"), std::string::npos);
  EXPECT_EQ(Main->CurrentFile(), ExpandFileName((Dir / "sub" / "second.htm").string()));
  // The frame recorded its own history even with the application's HistoryMaxCount 0.
  EXPECT_TRUE(F->BackButtonEnabled());
  EXPECT_FALSE(F->FwdButtonEnabled());
  EXPECT_EQ(F->History()->Count(), 0);

  // The menu lies on the left, top and bottom edges, the main frame on the top, right and bottom.
  TStringList* Edges = F->ViewerEdges();
  ASSERT_EQ(Edges->Count(), 2);
  for (int I = 0; I < 2; ++I)
    EXPECT_EQ(Edges->Strings(I), Edges->Objects(I) == Menu ? "ltb" : "trb");
  // A target that names nothing does nothing, unless the program asks for such windows.
  ASSERT_TRUE(ClickLink(Menu, "x.htm"));
  EXPECT_EQ(F->ViewerCount(), 2);
  std::vector<std::string> Blank;
  F->OnBlankWindowRequest = [&](TObject*, const std::string& Target, const std::string& Url) {
    Blank.push_back(Target + " " + Url);
  };
  ASSERT_TRUE(ClickLink(Menu, "x.htm"));
  EXPECT_EQ(Blank, std::vector<std::string>{"nowhere x.htm"});
  EXPECT_EQ(F->ViewerCount(), 2);

  // Settings reach the viewers already shown.
  F->SetNoSelect(true);
  F->SetDefFontSize(14);
  EXPECT_TRUE(Menu->NoSelect() && Main->NoSelect());
  EXPECT_EQ(Main->DefFontSize(), 14);
  // A reload reads the files again.
  Write("sub/second.htm", "<p>second page, changed");
  F->Reload();
  EXPECT_NE(Text(ViewerOf(F, "main")).find("changed"), std::string::npos);

  // "_top" replaces the whole frameset.
  ASSERT_TRUE(ClickLink(Menu, "other.htm"));
  EXPECT_EQ(F->ViewerCount(), 1);
  EXPECT_EQ(F->DocumentTitle(), "Other");
  EXPECT_EQ(F->CurrentFile(), ExpandFileName((Dir / "other.htm").string()));
}

TEST_F(FramesTest, PlainDocumentLinksReplaceTheTopAndRecordHistory) {
  const std::string A = Write("a.htm", "<title>A</title><p><a href=\"b.htm\">to b</a>");
  Write("b.htm", "<title>B</title><p>page b");
  TFrameViewer* F = NewFrames();
  F->SetHistoryMaxCount(5);
  int Changes = 0;
  F->OnHistoryChange = [&](TObject*) { ++Changes; };
  F->LoadFromFile(A);
  ASSERT_EQ(F->ViewerCount(), 1);
  EXPECT_EQ(F->DocumentTitle(), "A");
  ASSERT_TRUE(ClickLink(F->Viewers(0), "b.htm"));
  EXPECT_EQ(F->DocumentTitle(), "B");
  ASSERT_EQ(F->History()->Count(), 2);
  EXPECT_EQ(F->History()->Strings(0), ExpandFileName((Dir / "b.htm").string()));
  EXPECT_EQ(F->History()->Strings(1), ExpandFileName(A));
  EXPECT_TRUE(F->BackButtonEnabled());
  EXPECT_FALSE(F->FwdButtonEnabled());
  EXPECT_GE(Changes, 2);
  EXPECT_EQ(F->VisitedList()->Strings(0), ExpandFileName((Dir / "b.htm").string()));
}

TEST_F(FramesTest, MissingFrameSourceShowsTheErrorPage) {
  Write("set.htm", "<frameset rows=\"*,*,*\"><frame src=\"gone<&>.htm\"><frame src=\"ok.htm\"></frameset>");
  Write("ok.htm", "<p>fine");
  TFrameViewer* F = NewFrames();
  F->LoadFromFile((Dir / "set.htm").string());
  // Three rows and two frames: a third, empty frame is added.
  EXPECT_EQ(F->CurFrameSet()->List.size(), 3u);
  ASSERT_EQ(F->ViewerCount(), 2);
  const std::string Error = Text(F->Viewers(0));
  EXPECT_NE(Error.find("Can't load"), std::string::npos) << Error;
  EXPECT_NE(Error.find("gone<&>.htm"), std::string::npos) << Error;
  EXPECT_NE(Text(F->Viewers(1)).find("fine"), std::string::npos);
}

TEST_F(FramesTest, NestingStopsAtItsDepthAndExtraFramesAreIgnored) {
  // A frameset that holds itself: loads stop at the nesting limit instead of recursing.
  Write("self.htm", "<frameset rows=\"*,*\"><frame src=\"self.htm\"><frame src=\"leaf.htm\"></frameset>");
  Write("leaf.htm", "<p>leaf");
  TFrameViewer* F = NewFrames(400, 400);
  F->LoadFromFile((Dir / "self.htm").string());
  // One leaf beside each frameset that was still loaded: levels 0 to 3.
  EXPECT_EQ(F->ViewerCount(), MaxFrameNesting);
  for (int I = 0; I < F->ViewerCount(); ++I) EXPECT_NE(Text(F->Viewers(I)).find("leaf"), std::string::npos);

  std::string Many = "<frameset cols=\"*\">";
  for (int I = 0; I < 30; ++I) Many += "<frame src=\"leaf.htm\">";
  Write("many.htm", Many + "<frameset><frame src=\"leaf.htm\"></frameset></frameset>");
  F->LoadFromFile((Dir / "many.htm").string());
  EXPECT_EQ(F->CurFrameSet()->List.size(), static_cast<size_t>(MaxFrameDims));
  EXPECT_EQ(F->ViewerCount(), MaxFrameDims);
}

TEST_F(FramesTest, AnchorInTheNameScrollsItsViewer) {
  std::string Body;
  for (int I = 0; I < 80; ++I) Body += "<p>row " + std::to_string(I);
  Write("help/index.htm", Body + "<p><a name=\"top2\">here</a>" + Body);
  TFrameViewer* F = NewFrames(300, 200);
  F->LoadFromFile((Dir / "help" / "index.htm").string() + "#top2");
  ASSERT_EQ(F->ViewerCount(), 1);
  EXPECT_GT(F->Viewers(0)->VScrollBarPosition(), 0);
}

TEST_F(FramesTest, DraggingALineResizesTheFramesUnlessNoResize) {
  Write("cols.htm", "<frameset cols=\"100,*,*\"><frame src=\"leaf.htm\"><frame src=\"leaf.htm\">"
                    "<frame src=\"leaf.htm\" noresize></frameset>");
  Write("leaf.htm", "<p>leaf");
  TFrameViewer* F = NewFrames(400, 200);
  F->LoadFromFile((Dir / "cols.htm").string());
  TFrameSet* Set = F->CurFrameSet();
  ASSERT_EQ(Set->List.size(), 3u);
  auto* First = static_cast<TfvFrame*>(Set->List[0]);
  const int Line = First->Left() + First->Width();
  EXPECT_EQ(First->Width(), 100);
  // The press lands on the first frame's border, next to the line.
  vxtest::MouseMove(First, First->Width() - 1, 50);
  EXPECT_EQ(Set->Cursor(), crHSplit);
  vxtest::MouseDown(First, First->Width() - 1, 50);
  EXPECT_EQ(Set->DragLine(), 1);
  // A 2-pixel line across the frameset follows the pointer while the border is dragged.
  TPanel* Bar = Set->DragBar();
  ASSERT_NE(Bar, nullptr);
  EXPECT_TRUE(Bar->Visible());
  EXPECT_EQ(Bar->Width(), 2);
  EXPECT_EQ(Bar->Height(), Set->Height());
  EXPECT_EQ(Bar->Left(), First->Left() + First->Width() - 2);
  vxtest::MouseMove(First, First->Width() - 1 + 60, 50, ssLeft);
  EXPECT_EQ(Bar->Left(), First->Left() + First->Width() - 2 + 60);
  TBitmap Shot;
  vxtest::Grab(Set, &Shot);
  EXPECT_EQ(static_cast<uint32_t>(Shot.PixelColor(Bar->Left(), 100)) & 0xFFFFFF,
            static_cast<uint32_t>(ColorToRGB(clGray)));
  vxtest::MouseUp(First, First->Width() - 1 + 60, 50);
  EXPECT_FALSE(Bar->Visible());
  EXPECT_EQ(Set->DragLine(), 0);
  EXPECT_NEAR(First->Width(), 160, 1);
  EXPECT_EQ(Set->List[0]->Width() + Set->List[1]->Width() + Set->List[2]->Width(), Set->DimFTot);
  // The line beside the NORESIZE frame does not move.
  const int Fixed = Set->Lines[2];
  EXPECT_EQ(Set->LineAt(Fixed), 0);
  EXPECT_EQ(Set->LineAt(Line + 60), 1);
}

TEST_F(FramesTest, MetaRefreshOfAFrameLoadsItsTarget) {
  Write("two.htm", "<frameset rows=\"*,*\"><frame name=\"a\" src=\"wait.htm\"><frame src=\"leaf.htm\"></frameset>");
  Write("wait.htm", "<meta http-equiv=\"refresh\" content=\"3; URL=next.htm\"><p>waiting");
  Write("next.htm", "<p>arrived");
  Write("leaf.htm", "<p>leaf");
  for (bool Enabled : {false, true}) {
    TFrameViewer* F = NewFrames();
    if (Enabled) F->SetFvOptions(F->fvOptions() | fvMetaRefresh);
    F->LoadFromFile((Dir / "two.htm").string());
    const int I = F->CurFrameSet()->FrameNames.IndexOf("A");
    ASSERT_GE(I, 0);
    auto* Frame = static_cast<TfvFrame*>(F->CurFrameSet()->FrameNames.Objects(I));
    if (!Enabled) {
      EXPECT_EQ(Frame->RefreshTimer, nullptr);
      continue;
    }
    ASSERT_NE(Frame->RefreshTimer, nullptr);
    EXPECT_TRUE(Frame->RefreshTimer->Enabled());
    EXPECT_EQ(Frame->RefreshTimer->Interval(), 3000u);
    Frame->RefreshTimer->OnTimer(Frame->RefreshTimer);
    EXPECT_FALSE(Frame->RefreshTimer->Enabled());
    EXPECT_NE(Text(Frame->Viewer).find("arrived"), std::string::npos);
  }
}

TEST_F(FramesTest, FramesetBaseTargetIsTheDefaultTargetOfItsFrames) {
  Write("index.htm",
        "<base target=\"main\"><frameset cols=\"100,*\"><frame name=\"menu\" src=\"menu.htm\">"
        "<frame name=\"main\" src=\"first.htm\"></frameset>");
  Write("menu.htm", "<p><a href=\"second.htm\">second</a> <a href=\"menu2.htm\" target=\"_self\">self</a>");
  Write("first.htm", "<p>first page");
  Write("second.htm", "<p>second page");
  Write("menu2.htm", "<p>other menu");
  TFrameViewer* F = NewFrames();
  F->LoadFromFile((Dir / "index.htm").string());
  EXPECT_EQ(F->CurFrameSet()->FBaseTarget, "main");
  THTMLViewer* Menu = ViewerOf(F, "menu");
  THTMLViewer* Main = ViewerOf(F, "main");
  ASSERT_NE(Menu, nullptr);
  ASSERT_NE(Main, nullptr);
  std::vector<std::string> Targets;
  F->OnHotSpotTargetClick = [&](TObject*, const std::string& Target, const std::string&, bool&) {
    Targets.push_back(Target);
  };
  ASSERT_TRUE(ClickLink(Menu, "second.htm"));
  EXPECT_NE(Text(Main).find("second page"), std::string::npos);
  EXPECT_EQ(Menu->CurrentFile(), ExpandFileName((Dir / "menu.htm").string()));
  // A link's own target still wins over the frameset's.
  ASSERT_TRUE(ClickLink(Menu, "menu2.htm"));
  EXPECT_EQ(Menu->CurrentFile(), ExpandFileName((Dir / "menu2.htm").string()));
  EXPECT_NE(Text(Main).find("second page"), std::string::npos);
  EXPECT_EQ(Targets, (std::vector<std::string>{"main", "_self"}));
}

TEST_F(FramesTest, MetaRefreshOfAFramesetReloadsTheWholeFrameset) {
  Write("set.htm",
        "<meta http-equiv=\"refresh\" content=\"2; url=next.htm\"><meta name=\"k\" content=\"v\">"
        "<frameset rows=\"*,*\"><frame src=\"leaf.htm\"><frame src=\"leaf.htm\"></frameset>");
  Write("next.htm", "<title>Next</title><p>arrived");
  Write("leaf.htm", "<p>leaf");
  for (bool Enabled : {false, true}) {
    TFrameViewer* F = NewFrames();
    std::vector<std::string> Metas;
    F->OnMeta = [&](TObject* Sender, const std::string& HttpEq, const std::string& Name, const std::string&) {
      EXPECT_EQ(Sender, F);
      Metas.push_back(HttpEq + Name);
    };
    if (Enabled) F->SetFvOptions(F->fvOptions() | fvMetaRefresh);
    F->LoadFromFile((Dir / "set.htm").string());
    EXPECT_EQ(Metas, (std::vector<std::string>{"refresh", "k"}));
    TFrameSet* Set = F->CurFrameSet();
    ASSERT_EQ(F->ViewerCount(), 2);
    if (!Enabled) {
      EXPECT_EQ(Set->RefreshTimer, nullptr);
      continue;
    }
    ASSERT_NE(Set->RefreshTimer, nullptr);
    EXPECT_TRUE(Set->RefreshTimer->Enabled());
    EXPECT_EQ(Set->RefreshTimer->Interval(), 2000u);
    Set->RefreshTimer->OnTimer(Set->RefreshTimer);
    EXPECT_EQ(F->CurrentFile(), ExpandFileName((Dir / "next.htm").string()));
    EXPECT_EQ(F->DocumentTitle(), "Next");
    ASSERT_EQ(F->ViewerCount(), 1);
    EXPECT_NE(Text(F->Viewers(0)).find("arrived"), std::string::npos);
  }
}

TEST_F(FramesTest, MetaRefreshWithoutUrlReloadsTheSameFrameset) {
  Write("self.htm", "<meta http-equiv=\"refresh\" content=\"0\">"
                    "<frameset rows=\"*,*\"><frame src=\"leaf.htm\"><frame src=\"leaf.htm\"></frameset>");
  Write("leaf.htm", "<p>leaf");
  TFrameViewer* F = NewFrames();
  F->SetFvOptions(F->fvOptions() | fvMetaRefresh);
  F->LoadFromFile((Dir / "self.htm").string());
  TFrameSet* Set = F->CurFrameSet();
  ASSERT_NE(Set->RefreshTimer, nullptr);
  EXPECT_EQ(Set->RefreshTimer->Interval(), 1000u);
  Write("leaf.htm", "<p>changed");
  Set->RefreshTimer->OnTimer(Set->RefreshTimer);
  EXPECT_EQ(F->CurFrameSet(), Set);
  ASSERT_EQ(F->ViewerCount(), 2);
  EXPECT_NE(Text(F->Viewers(1)).find("changed"), std::string::npos);
  EXPECT_TRUE(Set->RefreshTimer->Enabled());
}

TEST_F(FramesTest, MetaRefreshOfANestedFramesetLoadsIntoItsFrame) {
  Write("outer.htm", "<frameset cols=\"*,*\"><frame name=\"holder\" src=\"inner.htm\"><frame src=\"leaf.htm\"></frameset>");
  Write("inner.htm", "<meta http-equiv=\"refresh\" content=\"1\"><meta http-equiv=\"refresh\" content=\"1; url=next.htm\">"
                     "<frameset rows=\"*,*\"><frame src=\"leaf.htm\"><frame src=\"leaf.htm\"></frameset>");
  Write("next.htm", "<p>arrived");
  Write("leaf.htm", "<p>leaf");
  TFrameViewer* F = NewFrames();
  F->SetFvOptions(F->fvOptions() | fvMetaRefresh);
  F->LoadFromFile((Dir / "outer.htm").string());
  const int I = F->CurFrameSet()->FrameNames.IndexOf("HOLDER");
  ASSERT_GE(I, 0);
  auto* Holder = static_cast<TfvFrame*>(F->CurFrameSet()->FrameNames.Objects(I));
  ASSERT_NE(Holder->FrameSet, nullptr);
  ASSERT_NE(Holder->FrameSet->RefreshTimer, nullptr);
  EXPECT_EQ(Holder->FrameSet->RefreshTimer->Interval(), 1000u);
  EXPECT_EQ(F->CurFrameSet()->RefreshTimer, nullptr);
  Holder->FrameSet->RefreshTimer->OnTimer(Holder->FrameSet->RefreshTimer);
  vxtest::Pump();
  ASSERT_NE(Holder->Viewer, nullptr);
  EXPECT_EQ(Holder->FrameSet, nullptr);
  EXPECT_NE(Text(Holder->Viewer).find("arrived"), std::string::npos);
  EXPECT_EQ(F->ViewerCount(), 2);
}

TEST_F(FramesTest, SetFocusGoesToTheActiveFrameViewer) {
  Write("two.htm", "<frameset cols=\"*,*\"><frame name=\"a\" src=\"leaf.htm\"><frame name=\"b\" src=\"leaf.htm\">"
                   "</frameset>");
  Write("leaf.htm", "<p>leaf");
  auto* Other = new TEdit(Form);
  Other->SetParent(Form);
  Other->SetBounds(0, 290, 50, 20);
  TFrameViewer* F = NewFrames(400, 280);
  // A plain document: its one viewer is the active one.
  F->LoadFromFile((Dir / "leaf.htm").string());
  Other->SetFocus();
  vxtest::Pump();
  F->SetFocus();
  vxtest::Pump();
  ASSERT_EQ(F->ViewerCount(), 1);
  EXPECT_TRUE(F->Viewers(0)->Focused());
  // Two frames: the one that last had the focus gets it back.
  F->LoadFromFile((Dir / "two.htm").string());
  THTMLViewer* B = ViewerOf(F, "b");
  ASSERT_NE(B, nullptr);
  B->SetFocus();
  vxtest::Pump();
  EXPECT_EQ(F->ActiveViewer(), B);
  Other->SetFocus();
  vxtest::Pump();
  EXPECT_FALSE(B->Focused());
  F->SetFocus();
  vxtest::Pump();
  EXPECT_TRUE(B->Focused());
  EXPECT_FALSE(ViewerOf(F, "a")->Focused());
}

TEST_F(FramesTest, EventsReachEveryFrameViewer) {
  WriteBitmap("pic.bmp", 20, 10, clRed);
  Write("two.htm", "<frameset cols=\"*,*\"><frame name=\"a\" src=\"pic.htm\"><frame name=\"b\" src=\"pic.htm\">"
                   "</frameset>");
  Write("pic.htm", "<p><img src=\"pic.bmp\"> picture");
  TFrameViewer* F = NewFrames();
  F->LoadFromFile((Dir / "two.htm").string());
  vxtest::Pump();
  THTMLViewer* B = ViewerOf(F, "b");
  ASSERT_NE(B, nullptr);
  // Without a request handler the pictures come from their files.
  auto PicturePoint = [](THTMLViewer* V, int& X, int& Y) {
    void* Obj = nullptr;
    for (Y = 0; Y < 40; ++Y)
      for (X = 0; X < 60; ++X)
        if (V->SectionList()->ObjectAt(X, Y, Obj) && static_cast<TImageObj*>(Obj)->Image) return true;
    return false;
  };
  int X = 0, Y = 0;
  ASSERT_TRUE(PicturePoint(B, X, Y));
  // A handler set after the load reaches the frame viewers already shown.
  std::vector<TObject*> Senders;
  F->SetOnImageClick([&](TObject* Sender, void*, TMouseButton, TShiftState, int, int) { Senders.push_back(Sender); });
  vxtest::Click(B->PaintPanel(), X, Y);
  EXPECT_EQ(Senders, std::vector<TObject*>{B});
  F->SetOnImageClick(nullptr);
  vxtest::Click(B->PaintPanel(), X, Y);
  EXPECT_EQ(Senders.size(), 1u);
  // The program's pictures: asked for by name in every frame, also for frames made later.
  std::vector<std::string> Asked;
  F->SetOnBitmapRequest([&](TObject*, const std::string& Name, int32_t&, TPixelBuffer*& Bitmap) {
    Asked.push_back(ExtractFileName(Name));
    Bitmap = nullptr;
  });
  F->ImageCache()->Clear();
  F->Reload();
  EXPECT_EQ(Asked, (std::vector<std::string>{"pic.bmp", "pic.bmp"}));
}

TEST_F(FramesTest, RequestEventsSupplyTheDocuments) {
  // The top name must exist; its text and every frame's come from the program.
  const std::string Top = Write("top.htm", "<p>never shown");
  TStringList Set, Menu;
  Set.Add("<frameset rows=\"50%,*\"><frame name=\"m\" src=\"menu\"><frame name=\"b\" src=\"body\"></frameset>");
  Menu.Add("<p><a href=\"other\" target=\"b\">other</a>");
  const std::string Body = "<p>body from a buffer", Other = "<p>other from a stream";
  TMemoryStream OtherStream;
  OtherStream.Write(Other.data(), static_cast<int64_t>(Other.size()));
  TFrameViewer* F = NewFrames();
  std::vector<std::string> Asked;
  F->OnStringsRequest = [&](TObject*, const std::string& Src, TStrings*& S) {
    Asked.push_back(Src);
    if (Src == Top) S = &Set;
    if (Src == "menu") S = &Menu;
  };
  F->OnBufferRequest = [&](TObject*, const std::string& Src, const char*& B, int& N) {
    if (Src == "body") {
      B = Body.data();
      N = static_cast<int>(Body.size());
    }
  };
  F->OnStreamRequest = [&](TObject*, const std::string& Src, TStream*& S) {
    if (Src == "other") S = &OtherStream;
  };
  F->LoadFromFile(Top);
  ASSERT_EQ(F->ViewerCount(), 2);
  EXPECT_NE(Text(ViewerOf(F, "b")).find("body from a buffer"), std::string::npos);
  ASSERT_TRUE(ClickLink(ViewerOf(F, "m"), "other"));
  EXPECT_NE(Text(ViewerOf(F, "b")).find("other from a stream"), std::string::npos);
  EXPECT_NE(std::find(Asked.begin(), Asked.end(), "other"), Asked.end());
}

// A help page with headings, a table, a picture and a list, as the frames viewer shows it. The
// picture was looked at and kept in the source tree; a change of the drawing shows up here.
TEST_F(FramesTest, HelpPageLooksAsKept) {
  TBitmap Pic;
  Pic.SetSize(40, 30);
  Pic.Canvas()->Brush()->SetColor(RGB(0, 128, 0));
  Pic.Canvas()->FillRect(TRect(0, 0, 40, 30));
  Pic.Canvas()->Brush()->SetColor(clYellow);
  Pic.Canvas()->FillRect(TRect(10, 8, 30, 22));
  std::filesystem::create_directories(Dir / "help");
  Pic.SaveToFile((Dir / "help" / "key.bmp").string());
  Write("help/page.htm",
        "<title>Pomoc</title><body bgcolor=\"#FFFFF0\"><h1>Pomoc</h1><h3>Klawiatura</h3>"
        "<p><img src=\"key.bmp\" align=\"left\">Trzymaj palce na klawiszach wyj\x9C\x63iowych.</p>"
        "<table border=\"1\" cellpadding=\"3\"><tr><th>Lekcja</th><th>Znaki</th></tr>"
        "<tr><td>1</td><td>a s d f</td></tr><tr><td>2</td><td>j k l</td></tr></table>"
        "<ul><li>pierwszy punkt</li><li>drugi punkt</li></ul></body>");
  TFrameViewer* F = NewFrames(400, 300);
  F->SetFvOptions(fvNoBorder | fvPrintTableBackground);
  F->LoadFromFile((Dir / "help" / "page.htm").string());
  ASSERT_EQ(F->ViewerCount(), 1);
  TBitmap Shot;
  vxtest::Grab(F, &Shot);
  // VX_UPDATE_REFERENCE=1 writes a new reference (look at the PNG written beside it first).
  const std::string Ref = std::string(VX_HTMLVIEW_TEST_DIR) + "/reference/help_page.bmp";
  if (const char* Update = std::getenv("VX_UPDATE_REFERENCE"); Update && std::string(Update) == "1") {
    std::filesystem::create_directories(std::filesystem::path(Ref).parent_path());
    Shot.SaveToFile(Ref);
    vxtest::SaveGrabPng(F, (std::filesystem::temp_directory_path() / "help_page.png").string());
  }
  ASSERT_TRUE(std::filesystem::exists(Ref)) << "no reference picture; run with VX_UPDATE_REFERENCE=1";
  TBitmap Kept;
  Kept.LoadFromFile(Ref);
  ASSERT_EQ(Kept.Width(), Shot.Width());
  ASSERT_EQ(Kept.Height(), Shot.Height());
  int Differ = 0;
  for (int Y = 0; Y < Shot.Height(); ++Y)
    for (int X = 0; X < Shot.Width(); ++X)
      if ((Shot.PixelColor(X, Y) & 0xFFFFFF) != (Kept.PixelColor(X, Y) & 0xFFFFFF)) ++Differ;
  EXPECT_EQ(Differ, 0);
  // What the page must show in any case: the picture's colours and the page background.
  bool Green = false, Yellow = false;
  for (int Y = 0; Y < Shot.Height(); ++Y)
    for (int X = 0; X < Shot.Width(); ++X) {
      const TColor C = Shot.PixelColor(X, Y) & 0xFFFFFF;
      Green = Green || C == RGB(0, 128, 0);
      Yellow = Yellow || C == clYellow;
    }
  EXPECT_TRUE(Green && Yellow);
  EXPECT_EQ(Shot.PixelColor(Shot.Width() - 30, Shot.Height() - 30) & 0xFFFFFF, RGB(0xFF, 0xFF, 0xF0));
}

}  // namespace
