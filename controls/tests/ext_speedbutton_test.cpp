// The speed button: picture strips and state images, groups with Down and AllowAllUp,
// auto-repeat, the caption's layout and accelerator, and the shared glyph cache.
#include <memory>
#include <string>

#include "controls/speedbutton.h"
#include "ext_fixture.h"

namespace {

// A strip of N images W x H, image I filled with Colors[I] on a fuchsia border.
std::unique_ptr<TBitmap> Strip(int N, int W, int H, std::initializer_list<TColor> Colors) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(N * W, H);
  B->Canvas()->Brush()->SetColor(clFuchsia);
  B->Canvas()->FillRect(TRect(0, 0, N * W, H));
  int I = 0;
  for (TColor C : Colors) {
    B->Canvas()->Brush()->SetColor(C);
    B->Canvas()->FillRect(TRect(I * W + 2, 2, I * W + W - 2, H - 2));
    ++I;
  }
  return B;
}

class SpeedButtonTest : public ExtControlTest {
 protected:
  TPanel* NewHost(TForm* F) {
    auto* P = new TPanel(F);
    P->SetParent(F);
    P->SetBevelOuter(bvNone);
    P->SetBounds(0, 0, 200, 100);
    return P;
  }
  TVxSpeedButton* NewButton(TForm* F, TWinControl* Parent, int X) {
    auto* B = new TVxSpeedButton(F);
    B->SetParent(Parent);
    B->SetBounds(X, 10, 25, 25);
    return B;
  }
};

TEST_F(SpeedButtonTest, StripSizeSetsTheNumberOfImages) {
  TForm* F = NewForm();
  TVxSpeedButton* B = NewButton(F, NewHost(F), 10);
  struct Case {
    int W, H, Num;
  } Cases[] = {{64, 16, 4}, {96, 16, 1}, {16, 16, 1}, {80, 16, 5}, {32, 16, 2}, {50, 16, 2}};
  for (const Case& C : Cases) {
    auto S = Strip(1, C.W, C.H, {});
    B->SetGlyph(S.get());
    EXPECT_EQ(B->NumGlyphs(), C.Num) << C.W;  // 50 x 16 is no multiple: the count stays
  }
  B->SetNumGlyphs(9);
  EXPECT_EQ(B->NumGlyphs(), 5);
  EXPECT_EQ(B->ButtonGlyph()->TransparentColor(), clFuchsia);
}

TEST_F(SpeedButtonTest, GroupKeepsOneButtonDown) {
  TForm* F = NewForm();
  TPanel* P = NewHost(F);
  TVxSpeedButton* A = NewButton(F, P, 10);
  TVxSpeedButton* B = NewButton(F, P, 40);
  TVxSpeedButton* Other = NewButton(F, P, 70);
  A->SetDown(true);
  EXPECT_FALSE(A->Down());  // no group: never down
  A->SetGroupIndex(1);
  B->SetGroupIndex(1);
  Other->SetGroupIndex(2);
  Other->SetDown(true);
  int Clicks = 0;
  A->OnClick = B->OnClick = [&](TObject*) { ++Clicks; };
  vxtest::Click(A, 5, 5);
  EXPECT_TRUE(A->Down());
  EXPECT_EQ(A->State(), rbsExclusive);
  vxtest::Click(B, 5, 5);
  EXPECT_TRUE(B->Down());
  EXPECT_FALSE(A->Down());
  EXPECT_EQ(A->State(), rbsUp);
  EXPECT_TRUE(Other->Down());  // another group is left alone
  EXPECT_EQ(Clicks, 2);
  // Pressing the down button again keeps it down without AllowAllUp.
  vxtest::Click(B, 5, 5);
  EXPECT_TRUE(B->Down());
  EXPECT_EQ(Clicks, 3);
  B->SetDown(false);
  EXPECT_TRUE(B->Down());
  // AllowAllUp is shared by the group.
  A->SetAllowAllUp(true);
  EXPECT_TRUE(B->AllowAllUp());
  vxtest::Click(B, 5, 5);
  EXPECT_FALSE(B->Down());
  EXPECT_FALSE(A->Down());
  // A release outside the button changes nothing.
  vxtest::MouseDown(A, 5, 5);
  vxtest::MouseMove(A, 100, 5, ssLeft);
  EXPECT_EQ(A->State(), rbsUp);
  vxtest::MouseUp(A, 100, 5);
  EXPECT_FALSE(A->Down());
  EXPECT_EQ(Clicks, 4);
}

TEST_F(SpeedButtonTest, HeldButtonRepeatsWithTheTimer) {
  TForm* F = NewForm();
  TVxSpeedButton* B = NewButton(F, NewHost(F), 10);
  int Clicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  B->SetAllowTimer(true);
  vxtest::MouseDown(B, 5, 5);
  TTimer* T = B->RepeatTimer();
  ASSERT_NE(T, nullptr);
  EXPECT_TRUE(T->Enabled());
  EXPECT_EQ(T->Interval(), 500u);
  EXPECT_EQ(Clicks, 0);
  T->OnTimer(T);
  EXPECT_EQ(T->Interval(), 100u);
  EXPECT_EQ(Clicks, 1);
  T->OnTimer(T);
  EXPECT_EQ(Clicks, 2);
  vxtest::MouseMove(B, 100, 5, ssLeft);  // dragged off: no repeat
  T->OnTimer(T);
  EXPECT_EQ(Clicks, 2);
  vxtest::MouseMove(B, 5, 5, ssLeft);
  T->OnTimer(T);
  EXPECT_EQ(Clicks, 3);
  vxtest::MouseUp(B, 5, 5);  // one more on the release inside
  EXPECT_EQ(Clicks, 4);
  EXPECT_FALSE(T->Enabled());
  B->SetAllowTimer(false);
  EXPECT_EQ(B->RepeatTimer(), nullptr);
}

TEST_F(SpeedButtonTest, StateImagesComeFromTheStripOrAreMade) {
  TForm* F = NewForm();
  TPanel* P = NewHost(F);
  TVxSpeedButton* B = NewButton(F, P, 10);
  auto Centre = [&]() {
    TBitmap Shot;
    vxtest::Grab(P, &Shot);
    return Shot.PixelColor(10 + 12, 10 + 12);
  };
  auto One = Strip(1, 16, 16, {clRed});
  B->SetGlyph(One.get());
  EXPECT_EQ(Centre(), clRed);
  // Disabled with one image: embossed in the shadow colour.
  B->SetEnabled(false);
  EXPECT_EQ(Centre(), ColorToRGB(clBtnShadow));
  // Two images: the second one is the disabled picture.
  auto Two = Strip(2, 16, 16, {clRed, clBlue});
  B->SetGlyph(Two.get());
  EXPECT_EQ(B->NumGlyphs(), 2);
  EXPECT_EQ(Centre(), clBlue);
  B->SetEnabled(true);
  EXPECT_EQ(Centre(), clRed);
  // A flat button away from the pointer shows the picture in grey.
  B->SetFlat(true);
  const int Grey = (255 * 77) / 256;
  EXPECT_EQ(Centre(), RGB(Grey, Grey, Grey));
  B->SetGrayedInactive(false);
  EXPECT_EQ(Centre(), clRed);
  // Four images: the down-in-group picture is the fourth.
  auto Four = Strip(4, 16, 16, {clRed, clBlue, clLime, clYellow});
  B->SetFlat(false);
  B->SetGlyph(Four.get());
  B->SetGroupIndex(3);
  B->SetDown(true);
  EXPECT_EQ(Centre(), clYellow);
}

TEST_F(SpeedButtonTest, PressedButtonMovesItsGlyphAndDownInGroupIsDithered) {
  TForm* F = NewForm();
  TPanel* P = NewHost(F);
  TVxSpeedButton* B = NewButton(F, P, 10);
  auto Pic = Strip(1, 16, 16, {clRed});
  B->SetGlyph(Pic.get());
  TBitmap Up, Pressed;
  vxtest::Grab(P, &Up);
  vxtest::MouseDown(B, 5, 5);
  vxtest::Grab(P, &Pressed);
  vxtest::MouseUp(B, 5, 5);
  // The red square 12 x 12 starts at the glyph's corner plus 2; pressed it moves by one pixel.
  int UpLeft = -1, DownLeft = -1;
  for (int X = 10; X < 35 && (UpLeft < 0 || DownLeft < 0); ++X) {
    if (UpLeft < 0 && Up.PixelColor(X, 22) == clRed) UpLeft = X;
    if (DownLeft < 0 && Pressed.PixelColor(X, 22) == clRed) DownLeft = X;
  }
  ASSERT_GE(UpLeft, 0);
  EXPECT_EQ(DownLeft, UpLeft + 1);
  // Frame: light top-left when up, dark when pressed.
  EXPECT_EQ(Up.PixelColor(10, 10), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(Pressed.PixelColor(10, 10), ColorToRGB(clWindowFrame));
  B->SetGlyph(nullptr);
  B->SetGroupIndex(1);
  B->SetDown(true);
  TBitmap Down;
  vxtest::Grab(P, &Down);
  EXPECT_NE(Down.PixelColor(20, 20), Down.PixelColor(21, 20));
  EXPECT_EQ(Down.PixelColor(20, 20), Down.PixelColor(21, 21));
}

TEST_F(SpeedButtonTest, TransparentButtonShowsWhatLiesBeneath) {
  TForm* F = NewForm();
  TPanel* P = NewHost(F);
  P->SetColor(clRed);
  TVxSpeedButton* B = NewButton(F, P, 10);
  TBitmap Shot;
  vxtest::Grab(P, &Shot);
  EXPECT_EQ(Shot.PixelColor(22, 22), ColorToRGB(clBtnFace));
  B->SetTransparent(true);
  vxtest::Grab(P, &Shot);
  EXPECT_EQ(Shot.PixelColor(22, 22), clRed);
  EXPECT_EQ(Shot.PixelColor(10, 10), ColorToRGB(clBtnHighlight));  // the frame is still drawn
}

TEST_F(SpeedButtonTest, WideCaptionIsShortenedToTheButton) {
  TForm* F = NewForm();
  TPanel* P = NewHost(F);
  TVxSpeedButton* B = NewButton(F, P, 10);
  TBitmap Probe;
  Probe.SetSize(1, 1);
  TCanvas* C = Probe.Canvas();
  C->SetFont(*B->Font());
  TPoint GlyphPos;
  TRect TextBounds;
  const std::string Drawn = B->ButtonGlyph()->CalcButtonLayout(C, TRect(0, 0, 25, 25), TPoint(), "Wide caption",
                                                               blGlyphTop, -1, 1, GlyphPos, TextBounds);
  ASSERT_GT(Drawn.size(), 3u);
  EXPECT_EQ(Drawn.substr(Drawn.size() - 3), "...");
  EXPECT_LE(C->TextWidth(Drawn), 25);
  EXPECT_EQ(B->ButtonGlyph()->CalcButtonLayout(C, TRect(0, 0, 200, 25), TPoint(), "Wide caption", blGlyphTop, -1, 1,
                                               GlyphPos, TextBounds),
            "Wide caption");
  // Centred horizontally, with the glyph on the left it follows the glyph and the spacing.
  auto Pic = Strip(1, 16, 16, {clRed});
  B->SetGlyph(Pic.get());
  B->ButtonGlyph()->CalcButtonLayout(C, TRect(0, 0, 100, 25), TPoint(), "Go", blGlyphLeft, 4, 3, GlyphPos,
                                     TextBounds);
  EXPECT_EQ(GlyphPos, TPoint(4, 5));
  EXPECT_EQ(TextBounds.Left, 4 + 16 + 3);
}

TEST_F(SpeedButtonTest, AcceleratorClicksAnEnabledButton) {
  TForm* F = NewForm();
  TVxSpeedButton* B = NewButton(F, NewHost(F), 10);
  B->SetCaption("&Dalej");
  int Clicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  EXPECT_EQ(B->Perform(CM_DIALOGCHAR, 'd'), 1);
  EXPECT_EQ(B->Perform(CM_DIALOGCHAR, 'x'), 0);
  B->SetEnabled(false);
  EXPECT_EQ(B->Perform(CM_DIALOGCHAR, 'd'), 0);
  EXPECT_EQ(Clicks, 1);
}

TEST_F(SpeedButtonTest, GlyphCacheSharesListsAndGoesWithTheLastGlyph) {
  ASSERT_EQ(GlyphCache(), nullptr);
  {
    TForm* F = NewForm();
    TPanel* P = NewHost(F);
    TVxSpeedButton* A = NewButton(F, P, 10);
    TVxSpeedButton* B = NewButton(F, P, 40);
    ASSERT_NE(GlyphCache(), nullptr);
    auto Pic = Strip(1, 16, 16, {clRed});
    A->SetGlyph(Pic.get());
    B->SetGlyph(Pic.get());
    TBitmap Shot;
    vxtest::Grab(P, &Shot);  // painting makes the images
    EXPECT_EQ(GlyphCache()->ListCount(), 1);
    EXPECT_EQ(A->ButtonGlyph()->GlyphList(), B->ButtonGlyph()->GlyphList());
    EXPECT_EQ(A->ButtonGlyph()->GlyphList()->Count(), 2);
    // A new picture gives the old images back.
    A->SetGlyph(nullptr);
    EXPECT_EQ(B->ButtonGlyph()->GlyphList()->Count(), 1);
    delete F;
  }
  EXPECT_EQ(GlyphCache(), nullptr);
  EXPECT_EQ(TVxSpeedButton::ButtonCount(), 0);
}

TEST(GlyphListTest, SlotsAreReused) {
  TGlyphList L(4, 4);
  TBitmap B;
  B.SetSize(4, 4);
  EXPECT_EQ(L.AddMasked(&B, clFuchsia), 0);
  EXPECT_EQ(L.AddMasked(&B, clFuchsia), 1);
  EXPECT_EQ(L.AddMasked(&B, clFuchsia), 2);
  L.Delete(1);
  EXPECT_EQ(L.Count(), 2);
  EXPECT_EQ(L.Image(1), nullptr);
  EXPECT_EQ(L.AddMasked(&B, clFuchsia), 1);
  EXPECT_EQ(L.Count(), 3);
  L.Delete(7);
  EXPECT_EQ(L.Count(), 3);
}

TEST(GlyphListTest, DisabledDrawingEmbossesOneImage) {
  TGlyphList L(6, 6);
  auto Pic = Strip(1, 6, 6, {clRed});  // red 2..3 on fuchsia
  const int I = L.AddMasked(Pic.get(), clFuchsia);
  TBitmap Dst;
  Dst.SetPixelFormat(pf24bit);
  Dst.SetSize(10, 10);
  Dst.Canvas()->Brush()->SetColor(clLime);
  Dst.Canvas()->FillRect(TRect(0, 0, 10, 10));
  ImageListDrawDisabled(&L, Dst.Canvas(), 1, 1, I, clWhite, clGray, true);
  EXPECT_EQ(Dst.PixelColor(1 + 2, 1 + 2), clGray);
  EXPECT_EQ(Dst.PixelColor(1 + 3, 1 + 3), clGray);
  EXPECT_EQ(Dst.PixelColor(1 + 4, 1 + 4), clWhite);  // the highlight below and right
  EXPECT_EQ(Dst.PixelColor(1 + 1, 1 + 1), clLime);   // the background left out
  EXPECT_EQ(Dst.Canvas()->Brush()->Color(), clLime);
  ImageListDrawDisabled(&L, Dst.Canvas(), 1, 1, 5, clWhite, clGray, true);  // no such image: nothing
}

}  // namespace
