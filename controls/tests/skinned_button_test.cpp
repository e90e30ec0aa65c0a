#include <gtest/gtest.h>

#include "controls/jetbutton.h"
#include "controls/tests/skinned_fixture.h"
#include "controls/vxbutton.h"

namespace {

// Pictures 30 x 10 whose left 10 columns are green (the key colour): normal red, pressed blue,
// over yellow, disabled grey.
std::vector<TTestMember> ButtonMembers(bool WithOverAndDisabled = true) {
  std::vector<TTestMember> M = {{"b_up.bmp", BmpBytes(MakePicture(30, 10, clRed, clLime, 10))},
                                {"b_down.bmp", BmpBytes(MakePicture(30, 10, clBlue, clLime, 10))},
                                {"broken.bmp", "BM this is no picture"}};
  if (WithOverAndDisabled) {
    M.emplace_back("b_over.bmp", BmpBytes(MakePicture(30, 10, clYellow, clLime, 10)));
    M.emplace_back("b_dis.bmp", BmpBytes(MakePicture(30, 10, clGray, clLime, 10)));
  }
  return M;
}

class SkinnedButtonTest : public SkinnedTest {
 protected:
  TVxButton* Button(TForm* F, TZLBArchive* A, int X = 20, int Y = 30) {
    auto* B = new TVxButton(F);
    B->SetParent(F);
    B->SetBounds(X, Y, 50, 50);
    B->SetFNameUp("b_up.bmp");
    B->SetFNameDown("B_DOWN.BMP");  // members are found without regard to case
    B->SetFNameOver("b_over.bmp");
    B->SetFNameDisabled("b_dis.bmp");
    B->SetArchive(A);
    return B;
  }
  // A button on an archive that is already active.
  TVxButton* ActiveButton(TForm* F) {
    TZLBArchive* A = Archive(F, ButtonMembers(), "ui.zlb");
    A->SetActive(true);
    return Button(F, A);
  }
};

TEST_F(SkinnedButtonTest, PicturesByStateTransparentColourAndClicks) {
  TForm* F = Form();
  TVxButton* B = ActiveButton(F);
  int Clicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  // The size set on the form gives way to the normal picture's; the key colour comes from its
  // bottom-left pixel with the palette flag.
  EXPECT_EQ(B->Width(), 30);
  EXPECT_EQ(B->Height(), 10);
  EXPECT_EQ(B->TransparentColor(), 0x0200FF00);

  EXPECT_EQ(Shot(F, 20 + 5, 35), Background);  // transparent pixel: the form shows through
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);
  EXPECT_EQ(Shot(F, 20 + 29, 39), clRed);
  EXPECT_EQ(Shot(F, 20 + 30, 35), Background);  // beside the button

  vxtest::MouseMove(F, 20 + 15, 35);
  EXPECT_TRUE(B->MouseInside());
  EXPECT_EQ(Shot(F, 20 + 15, 35), clYellow);
  vxtest::MouseMove(F, 20 + 5, 35);  // inside the rectangle, on a transparent pixel
  EXPECT_FALSE(B->MouseInside());
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);

  vxtest::MouseMove(F, 20 + 15, 35);
  vxtest::MouseDown(B, 15, 5);
  EXPECT_EQ(B->State(), TVxButton::bsPressed);
  EXPECT_EQ(Shot(F, 20 + 15, 35), clBlue);
  EXPECT_EQ(Clicks, 0);
  vxtest::MouseUp(B, 15, 5);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(B->State(), TVxButton::bsNormal);
  EXPECT_EQ(Shot(F, 20 + 15, 35), clYellow);  // the mouse is still over it

  B->SetEnabled(false);
  EXPECT_FALSE(B->Enabled());
  EXPECT_EQ(Shot(F, 20 + 15, 35), clGray);
  vxtest::Click(B, 15, 5);
  EXPECT_EQ(Clicks, 1);  // a disabled button takes no mouse input
  EXPECT_EQ(Shot(F, 20 + 15, 35), clGray);
  B->SetEnabled(true);
  EXPECT_EQ(B->State(), TVxButton::bsNormal);
  vxtest::MouseMove(F, 150, 100);
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);
}

TEST_F(SkinnedButtonTest, TransparentPixelsDoNotPressButReleaseOverOpaqueClicks) {
  TForm* F = Form();
  TVxButton* B = ActiveButton(F);
  int Clicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  vxtest::Click(B, 3, 3);  // wholly on a transparent pixel
  EXPECT_EQ(Clicks, 0);
  vxtest::MouseDown(B, 3, 3);
  EXPECT_EQ(B->State(), TVxButton::bsNormal);
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);
  vxtest::MouseUp(B, 20, 3);  // released over an opaque pixel of the same button
  EXPECT_EQ(Clicks, 1);
  // Any mouse button released over an opaque pixel clicks; only the left one presses.
  vxtest::MouseDown(B, 20, 3, mbRight);
  EXPECT_EQ(B->State(), TVxButton::bsNormal);
  vxtest::MouseUp(B, 20, 3, mbRight);
  EXPECT_EQ(Clicks, 2);
  // Pressed, then released over a transparent pixel: no click, the button comes up.
  vxtest::MouseDown(B, 20, 3);
  vxtest::MouseUp(B, 2, 3);
  EXPECT_EQ(Clicks, 2);
  EXPECT_EQ(B->State(), TVxButton::bsNormal);
}

TEST_F(SkinnedButtonTest, MissingOverAndDisabledPicturesFallBackToNormal) {
  TForm* F = Form();
  TZLBArchive* A = Archive(F, ButtonMembers(false), "ui.zlb");
  A->SetActive(true);
  TVxButton* B = Button(F, A);
  vxtest::MouseMove(F, 20 + 15, 35);
  EXPECT_TRUE(B->MouseInside());
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);
  B->SetEnabled(false);
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);
  EXPECT_EQ(Shot(F, 20 + 5, 35), Background);
  // A member that does not decode leaves the picture as it was.
  B->SetFNameUp("broken.bmp");
  EXPECT_EQ(B->PictureUp()->Width(), 30);
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);
  B->SetFNameUp("missing.bmp");
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);
}

TEST_F(SkinnedButtonTest, WithoutPicturesInvisibleButClickableEverywhere) {
  TForm* F = Form();
  auto* B = new TVxButton(F);
  B->SetParent(F);
  B->SetBounds(20, 30, 50, 50);
  B->SetFNameUp("b_up.bmp");  // no archive: nothing loads
  int Clicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  EXPECT_EQ(Shot(F, 20 + 25, 30 + 25), Background);
  vxtest::Click(B, 0, 0);
  vxtest::Click(B, 49, 49);
  EXPECT_EQ(Clicks, 2);
}

TEST_F(SkinnedButtonTest, ArchiveActivationReloadsOnlyItsLinkedControls) {
  TForm* F = Form();
  TZLBArchive* A = Archive(F, ButtonMembers(), "a.zlb");
  TZLBArchive* Other = Archive(F, {{"b_up.bmp", BmpBytes(MakePicture(20, 20, clAqua))}}, "b.zlb");
  // Pictures named before the archive is active show nothing, and the size stays the form's.
  TVxButton* Linked = Button(F, A);
  TVxButton* Elsewhere = Button(F, Other, 100, 30);
  EXPECT_EQ(A->LinkedControlCount(), 1);
  EXPECT_TRUE(Linked->PictureUp()->Empty());
  EXPECT_EQ(Linked->Width(), 50);
  EXPECT_EQ(Shot(F, 20 + 15, 35), Background);

  A->SetActive(true);  // sends the "changed" message to its linked controls
  EXPECT_EQ(Linked->Width(), 30);
  EXPECT_FALSE(Linked->PictureDown()->Empty());
  EXPECT_FALSE(Linked->PictureDisabled()->Empty());
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);
  EXPECT_TRUE(Elsewhere->PictureUp()->Empty());
  EXPECT_EQ(Elsewhere->Width(), 50);

  // The message reloads whatever its origin; re-binding moves the link.
  Elsewhere->SetArchive(A);
  EXPECT_EQ(Elsewhere->Width(), 30);
  EXPECT_EQ(A->LinkedControlCount(), 2);
  EXPECT_EQ(Other->LinkedControlCount(), 0);
  Other->SetActive(true);
  EXPECT_EQ(Elsewhere->Width(), 30);
  Linked->Perform(CM_ARCHIVECHANGED, 0, reinterpret_cast<intptr_t>(A));
  EXPECT_EQ(Linked->Width(), 30);

  // An archive freed before its controls is forgotten by them.
  delete A;
  EXPECT_EQ(Linked->Archive(), nullptr);
  EXPECT_EQ(Elsewhere->Archive(), nullptr);
  delete Linked;
  EXPECT_EQ(Shot(F, 20 + 15, 35), Background);
}

TEST_F(SkinnedButtonTest, ComponentsReadFromAFormLoadTheirPicturesWhenLoaded) {
  TForm* F = Form();
  TZLBArchive* A = Archive(F, ButtonMembers(), "ui.zlb");
  // As a form is read: every component is loading while its properties are set, the archive's
  // activation waits for its own Loaded, and the button's for its own.
  A->SetLoading(true);
  auto* B = new TVxButton(F);
  B->SetLoading(true);
  B->SetParent(F);
  B->SetFNameUp("b_up.bmp");
  B->SetFNameDown("b_down.bmp");
  B->SetArchive(A);
  B->SetBounds(20, 30, 50, 50);
  A->SetActive(true);
  EXPECT_FALSE(A->Active());
  A->SetLoading(false);  // opens and tells its linked controls, which are still loading
  EXPECT_TRUE(A->Active());
  EXPECT_TRUE(B->PictureUp()->Empty());
  EXPECT_EQ(B->Width(), 50);
  B->SetLoading(false);
  EXPECT_EQ(B->Width(), 30);
  EXPECT_EQ(B->TransparentColor(), 0x0200FF00);
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);
  EXPECT_EQ(Shot(F, 20 + 5, 35), Background);
}

TEST_F(SkinnedButtonTest, EnterAndLeaveFollowOpaquePixels) {
  TForm* F = Form();
  TVxButton* B = ActiveButton(F);
  std::vector<std::string> Log;
  B->OnMouseEnter = [&](TObject*) { Log.push_back("enter"); };
  B->OnMouseLeave = [&](TObject*) { Log.push_back("leave"); };
  vxtest::MouseMove(F, 20 + 2, 35);  // in the rectangle, transparent
  EXPECT_TRUE(Log.empty());
  vxtest::MouseMove(F, 20 + 12, 35);
  vxtest::MouseMove(F, 20 + 14, 36);
  vxtest::MouseMove(F, 150, 100);
  EXPECT_EQ(Log, (std::vector<std::string>{"enter", "leave"}));
  EXPECT_FALSE(B->MouseInside());
}

// The bounding box of the pixels of one colour in a rectangle of a grab.
TRect BoxOf(const TBitmap& S, const TRect& R, TColor C) {
  TRect Box(R.Right, R.Bottom, R.Left, R.Top);
  for (int Y = R.Top; Y < R.Bottom; ++Y)
    for (int X = R.Left; X < R.Right; ++X)
      if (S.PixelColor(X, Y) == C) Box = TRect(std::min(Box.Left, X), std::min(Box.Top, Y), std::max(Box.Right, X + 1),
                                               std::max(Box.Bottom, Y + 1));
  return Box;
}

TEST_F(SkinnedButtonTest, CaptionIsCentredAndMovesWhilePressed) {
  TForm* F = Form();
  TZLBArchive* A = Archive(F, {{"w.bmp", BmpBytes(MakePicture(80, 30, clWhite, clLime, 1))},
                                {"wd.bmp", BmpBytes(MakePicture(80, 30, clWhite, clLime, 1))}},
                           "ui.zlb");
  A->SetActive(true);
  auto* B = new TVxButton(F);
  B->SetParent(F);
  B->SetLeft(10);
  B->SetTop(10);
  B->SetArchive(A);
  B->SetFNameUp("w.bmp");
  B->SetFNameDown("wd.bmp");
  B->Font()->SetColor(clBlack);
  B->SetCaption("&Dalej");
  const TRect Area(10, 10, 90, 40);
  TBitmap S;
  vxtest::Grab(F, &S);
  const TRect Up = BoxOf(S, Area, clBlack);
  ASSERT_FALSE(Up.IsEmpty());
  EXPECT_NEAR((Up.Left + Up.Right) / 2.0, 50, 2.0);
  EXPECT_NEAR((Up.Top + Up.Bottom) / 2.0, 25, 3.0);
  vxtest::MouseDown(B, 5, 5);
  vxtest::Grab(F, &S);
  EXPECT_EQ(BoxOf(S, Area, clBlack), OffsetRect(Up, 1, 1));
  vxtest::MouseUp(B, 5, 5);

  // The caption's accelerator clicks an enabled button.
  int Clicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  EXPECT_EQ(B->Perform(CM_DIALOGCHAR, 'd'), 1);
  EXPECT_EQ(B->Perform(CM_DIALOGCHAR, 'x'), 0);
  B->SetEnabled(false);
  EXPECT_EQ(B->Perform(CM_DIALOGCHAR, 'd'), 0);
  EXPECT_EQ(Clicks, 1);
}

TEST_F(SkinnedButtonTest, JetButtonKeepsItsPicturesAndClicksWhileDisabled) {
  TForm* F = Form();
  auto* J = new TJetButton(F);
  J->SetParent(F);
  J->SetBounds(20, 30, 150, 38);
  const auto Up = MakePicture(30, 10, clRed, clLime, 10), Down = MakePicture(30, 10, clBlue, clLime, 10),
             Dis = MakePicture(30, 10, clGray, clLime, 10);
  J->SetBitmapUp(Up.get());
  J->SetBitmapDown(Down.get());
  EXPECT_EQ(J->Width(), 30);
  EXPECT_EQ(J->TransparentColor(), 0x0200FF00);
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);
  EXPECT_EQ(Shot(F, 20 + 5, 35), Background);
  int Clicks = 0;
  J->OnClick = [&](TObject*) { ++Clicks; };
  vxtest::MouseDown(J, 15, 5);
  EXPECT_EQ(Shot(F, 20 + 15, 35), clBlue);
  vxtest::MouseUp(J, 15, 5);
  EXPECT_EQ(Clicks, 1);

  // Disabled without a disabled picture it shows the normal one; with one, that one.
  J->SetEnabled(false);
  EXPECT_EQ(Shot(F, 20 + 15, 35), clRed);
  J->SetBitmapDisabled(Dis.get());
  EXPECT_EQ(Shot(F, 20 + 15, 35), clGray);
  vxtest::MouseDown(J, 15, 5);
  EXPECT_EQ(J->State(), TJetButton::bsDisabled);  // not pressed
  EXPECT_EQ(Shot(F, 20 + 15, 35), clGray);
  vxtest::MouseUp(J, 15, 5);
  EXPECT_EQ(Clicks, 2);  // but the release over an opaque pixel still clicks
  vxtest::Click(J, 3, 3);
  EXPECT_EQ(Clicks, 2);
}

}  // namespace
