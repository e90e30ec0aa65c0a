#include <gtest/gtest.h>

#include "controls/tests/skinned_fixture.h"
#include "controls/vxcheckbox.h"
#include "controls/vximage.h"

namespace {

// Check-box pictures 20 x 12 with a 4-column key-coloured edge: unchecked red, checked blue,
// over-unchecked yellow, over-checked aqua, disabled grey.
std::vector<TTestMember> BoxMembers(bool WithOverChecked = true) {
  std::vector<TTestMember> M = {{"u.bmp", BmpBytes(MakePicture(20, 12, clRed, clLime, 4))},
                                {"c.bmp", BmpBytes(MakePicture(20, 12, clBlue, clLime, 4))},
                                {"ou.bmp", BmpBytes(MakePicture(20, 12, clYellow, clLime, 4))},
                                {"d.bmp", BmpBytes(MakePicture(20, 12, clGray, clLime, 4))}};
  if (WithOverChecked) M.emplace_back("oc.bmp", BmpBytes(MakePicture(20, 12, clAqua, clLime, 4)));
  return M;
}

class SkinnedCheckboxTest : public SkinnedTest {
 protected:
  TVxCheckbox* Box(TForm* F, TZLBArchive* A) {
    auto* B = new TVxCheckbox(F);
    B->SetParent(F);
    B->SetBounds(40, 20, 60, 60);
    B->SetArchive(A);
    B->SetFNameUnchecked("u.bmp");
    B->SetFNameChecked("c.bmp");
    B->SetFNameOverUnchecked("ou.bmp");
    B->SetFNameOverChecked("oc.bmp");
    B->SetFNameDisabled("d.bmp");
    return B;
  }
  // The colour in the middle of the box's opaque part, and on one of its key-coloured pixels.
  TColor Middle(TForm* F) { return Shot(F, 40 + 12, 26); }
  TColor Edge(TForm* F) { return Shot(F, 40 + 1, 26); }
};

TEST_F(SkinnedCheckboxTest, ClickTogglesWhatIsShownNotChecked) {
  TForm* F = Form();
  TZLBArchive* A = Archive(F, BoxMembers(), "ui.zlb");
  A->SetActive(true);
  TVxCheckbox* B = Box(F, A);
  int Clicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  EXPECT_EQ(B->Width(), 20);
  EXPECT_EQ(B->Height(), 12);
  EXPECT_EQ(Middle(F), clRed);
  EXPECT_EQ(Edge(F), Background);

  vxtest::MouseMove(F, 40 + 12, 26);
  EXPECT_EQ(Middle(F), clYellow);
  vxtest::Click(B, 12, 6);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(B->State(), TVxCheckbox::csChecked);
  EXPECT_FALSE(B->Checked());  // the program decides
  EXPECT_EQ(Middle(F), clAqua);
  vxtest::MouseMove(F, 190, 110);
  EXPECT_EQ(Middle(F), clBlue);

  // A click on a key-coloured pixel does nothing.
  vxtest::Click(B, 1, 6);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(Middle(F), clBlue);
  vxtest::Click(B, 12, 6);
  EXPECT_EQ(Clicks, 2);
  EXPECT_EQ(B->State(), TVxCheckbox::csUnchecked);
}

TEST_F(SkinnedCheckboxTest, CheckedRepaintsWithoutClickAlsoWhenDisabled) {
  TForm* F = Form();
  TZLBArchive* A = Archive(F, BoxMembers(false), "ui.zlb");
  A->SetActive(true);
  TVxCheckbox* B = Box(F, A);
  int Clicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  B->SetChecked(true);
  EXPECT_TRUE(B->Checked());
  EXPECT_EQ(Middle(F), clBlue);
  // No over-checked picture: the checked one stays under the mouse.
  vxtest::MouseMove(F, 40 + 12, 26);
  EXPECT_TRUE(B->MouseInside());
  EXPECT_EQ(Middle(F), clBlue);
  B->SetChecked(false);
  EXPECT_EQ(Middle(F), clYellow);
  EXPECT_EQ(Clicks, 0);

  B->SetEnabled(false);
  EXPECT_EQ(Middle(F), clGray);
  // Disabled, it still takes the mouse: a click fires OnClick and keeps the disabled picture.
  vxtest::Click(B, 12, 6);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(B->State(), TVxCheckbox::csDisabledState);
  EXPECT_EQ(Middle(F), clGray);
  // Checked := True on a disabled box shows the checked picture.
  B->SetChecked(true);
  EXPECT_EQ(B->State(), TVxCheckbox::csChecked);
  EXPECT_FALSE(B->Enabled());
  vxtest::MouseMove(F, 190, 110);
  EXPECT_EQ(Middle(F), clBlue);
  // Enabling shows the unchecked picture whatever Checked holds.
  B->SetEnabled(true);
  EXPECT_TRUE(B->Checked());
  EXPECT_EQ(Middle(F), clRed);
}

TEST_F(SkinnedCheckboxTest, ArchiveActivationLoadsThePictures) {
  TForm* F = Form();
  TZLBArchive* A = Archive(F, BoxMembers(), "ui.zlb");
  TVxCheckbox* B = Box(F, A);
  EXPECT_EQ(B->Width(), 60);
  EXPECT_EQ(Middle(F), Background);
  A->SetActive(true);
  EXPECT_EQ(B->Width(), 20);
  EXPECT_EQ(B->TransparentColor(), 0x0200FF00);
  EXPECT_EQ(Middle(F), clRed);
  for (int I = 0; I < TVxCheckbox::piCount; ++I) EXPECT_FALSE(B->Picture(TVxCheckbox::TPictureIndex(I))->Empty());
}

class SkinnedImageTest : public SkinnedTest {};

// A 40 x 20 picture: left half red, right half blue.
std::string HalvesPicture() {
  auto P = MakePicture(40, 20, clBlue, clRed, 20);
  return BmpBytes(P);
}

TEST_F(SkinnedImageTest, AutoSizeCentreStretchAndArchiveReload) {
  TForm* F = Form(200, 120);
  TZLBArchive* A = Archive(F, {{"bg.bmp", HalvesPicture()}}, "ui.zlb");
  auto* Img = new TVxImage(F);
  Img->SetParent(F);
  EXPECT_EQ(Img->Width(), 80);
  Img->SetBounds(10, 10, 60, 40);
  Img->SetArchive(A);
  Img->SetBitmapName("bg.bmp");
  EXPECT_TRUE(Img->Picture()->Empty());  // the archive is not active yet
  EXPECT_EQ(Shot(F, 15, 15), Background);

  A->SetActive(true);
  ASSERT_EQ(Img->Picture()->Width(), 40);
  EXPECT_EQ(Img->Width(), 60);  // no AutoSize: the control keeps its size
  EXPECT_EQ(Shot(F, 10, 10), clRed);
  EXPECT_EQ(Shot(F, 49, 29), clBlue);
  EXPECT_EQ(Shot(F, 50, 15), Background);
  EXPECT_EQ(Shot(F, 15, 30), Background);

  Img->SetCenter(true);  // (60 - 40) / 2, (40 - 20) / 2
  EXPECT_EQ(Img->DestRect(), TRect(10, 10, 50, 30));
  EXPECT_EQ(Shot(F, 19, 19), Background);
  EXPECT_EQ(Shot(F, 20, 20), clRed);
  EXPECT_EQ(Shot(F, 59, 39), clBlue);

  Img->SetStretch(true);
  EXPECT_EQ(Shot(F, 10, 10), clRed);
  EXPECT_EQ(Shot(F, 39, 49), clRed);
  EXPECT_EQ(Shot(F, 40, 10), clBlue);
  EXPECT_EQ(Shot(F, 69, 49), clBlue);

  Img->SetStretch(false);
  Img->SetAutoSize(true);
  EXPECT_EQ(Img->Width(), 40);
  EXPECT_EQ(Img->Height(), 20);
}

TEST_F(SkinnedImageTest, CentredLargerPictureIsClippedAndMissingEntryDrawsNothing) {
  TForm* F = Form(200, 120);
  TZLBArchive* A = Archive(F, {{"bg.bmp", HalvesPicture()}}, "ui.zlb");
  A->SetActive(true);
  auto* Img = new TVxImage(F);
  Img->SetParent(F);
  Img->SetBounds(100, 50, 20, 10);
  Img->SetCenter(true);
  Img->SetArchive(A);
  Img->SetBitmapName("bg.bmp");
  EXPECT_EQ(Img->DestRect(), TRect(-10, -5, 30, 15));
  EXPECT_EQ(Shot(F, 100, 50), clRed);
  EXPECT_EQ(Shot(F, 109, 59), clRed);
  EXPECT_EQ(Shot(F, 110, 50), clBlue);
  EXPECT_EQ(Shot(F, 120, 50), Background);  // clipped to the control
  EXPECT_EQ(Shot(F, 99, 50), Background);

  auto* Missing = new TVxImage(F);
  Missing->SetParent(F);
  Missing->SetBounds(10, 10, 30, 30);
  Missing->SetAutoSize(true);
  Missing->SetArchive(A);
  Missing->SetBitmapName("nothing.bmp");
  EXPECT_EQ(Missing->Width(), 30);
  EXPECT_EQ(Shot(F, 20, 20), Background);
  // Naming a member that exists loads it, and AutoSize takes its size.
  Missing->SetBitmapName("bg.bmp");
  EXPECT_EQ(Missing->Width(), 40);
  EXPECT_EQ(Shot(F, 20, 20), clRed);
}

}  // namespace
