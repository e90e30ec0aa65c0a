#include <gtest/gtest.h>

#include "controls/ezrgnbtn.h"
#include "controls/tests/skinned_fixture.h"

namespace {

// A picture of Fill whose first KeyColumns columns have the key colour green (so its top-left
// pixel is green).
std::unique_ptr<TPicture> Pic(int W, int H, TColor Fill, int KeyColumns = 0) {
  auto B = MakePicture(W, H, Fill, clLime, KeyColumns);
  auto P = std::make_unique<TPicture>();
  P->SetGraphic(B.get());
  return P;
}

class RgnButtonTest : public SkinnedTest {
 protected:
  TEzRgnBtn* Button(TForm* F) {
    auto* B = new TEzRgnBtn(F);
    B->SetParent(F);
    B->SetLeft(20);
    B->SetTop(20);
    B->SetPicIdle(Pic(30, 10, clRed, 10).get());
    B->SetPicUp(Pic(30, 12, clYellow, 10).get());
    B->SetPicDown(Pic(30, 10, clBlue, 10).get());
    return B;
  }
};

TEST_F(RgnButtonTest, PicturesByStateAndSizeFollowsThePicture) {
  TForm* F = Form();
  TEzRgnBtn* B = Button(F);
  int Clicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  std::vector<std::string> Log;
  B->OnMouseEnter = [&](TWMMouse& M) { Log.push_back(M.Msg == CM_MOUSEENTER ? "enter" : "?"); };
  B->OnMouseDown = [&](TWMMouse& M) { Log.push_back("down " + std::to_string(M.XPos) + "," + std::to_string(M.YPos)); };
  B->OnMouseUp = [&](TWMMouse&) { Log.push_back("up"); };
  B->OnMouseLeave = [&](TWMMouse&) { Log.push_back("leave"); };
  EXPECT_EQ(B->Width(), 30);
  EXPECT_EQ(B->Height(), 10);
  EXPECT_EQ(Shot(F, 20 + 15, 25), clRed);
  EXPECT_EQ(Shot(F, 20 + 2, 25), clLime);  // pmNormal draws the key colour too

  B->Perform(CM_MOUSEENTER);
  EXPECT_EQ(B->Height(), 12);  // the hover picture is taller
  EXPECT_EQ(Shot(F, 20 + 15, 31), clYellow);
  vxtest::MouseDown(B, 15, 5);
  EXPECT_EQ(B->Height(), 10);
  EXPECT_EQ(Shot(F, 20 + 15, 25), clBlue);
  vxtest::MouseUp(B, 15, 5);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(Shot(F, 20 + 15, 25), clYellow);
  B->Perform(CM_MOUSELEAVE);
  EXPECT_EQ(Shot(F, 20 + 15, 25), clRed);
  EXPECT_EQ(Log, (std::vector<std::string>{"enter", "down 15,5", "up", "leave"}));

  // Disabled without a disabled picture: the idle picture, and no clicks.
  B->SetEnabled(false);
  EXPECT_TRUE(B->Disabled());
  B->Perform(CM_MOUSEENTER);
  EXPECT_EQ(Shot(F, 20 + 15, 25), clRed);
  vxtest::Click(B, 15, 5);
  EXPECT_EQ(Clicks, 1);
  B->SetPicDsbld(Pic(30, 10, clGray, 10).get());
  EXPECT_EQ(Shot(F, 20 + 15, 25), clGray);
  B->SetEnabled(true);
  // A double click does not click twice.
  vxtest::DoubleClick(B, 15, 5);
  EXPECT_EQ(Clicks, 2);
}

TEST_F(RgnButtonTest, CroppedWindowLetsClicksOnKeyPixelsFallThrough) {
  TForm* F = Form();
  TEzRgnBtn* B = Button(F);
  int Clicks = 0, FormClicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  F->OnClick = [&](TObject*) { ++FormClicks; };
  B->SetPaintMode(pmCrop);
  EXPECT_TRUE(B->RegionApplied());
  EXPECT_EQ(Shot(F, 20 + 2, 25), Background);  // not part of the window
  EXPECT_EQ(Shot(F, 20 + 15, 25), clRed);
  vxtest::Click(F, 20 + 2, 25);
  EXPECT_EQ(Clicks, 0);
  EXPECT_EQ(FormClicks, 1);
  vxtest::Click(F, 20 + 12, 25);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(FormClicks, 1);

  // A new idle picture reshapes the window.
  B->SetPicIdle(Pic(30, 10, clRed, 20).get());
  vxtest::Click(F, 20 + 12, 25);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(FormClicks, 2);
  // Leaving the crop mode makes the whole rectangle the window again.
  B->SetPaintMode(pmNormal);
  EXPECT_FALSE(B->RegionApplied());
  vxtest::Click(F, 20 + 2, 25);
  EXPECT_EQ(Clicks, 2);
}

TEST_F(RgnButtonTest, TransparentModeLeavesTheKeyColourOut) {
  TForm* F = Form();
  TEzRgnBtn* B = Button(F);
  B->SetColor(clNavy);
  B->SetPaintMode(pmTransparent);
  EXPECT_FALSE(B->RegionApplied());
  EXPECT_EQ(Shot(F, 20 + 2, 25), clNavy);  // the button's own background
  EXPECT_EQ(Shot(F, 20 + 15, 25), clRed);
}

TEST_F(RgnButtonTest, RepeatRunsOnlyWhileHeldOverTheButton) {
  TForm* F = Form();
  TEzRgnBtn* B = Button(F);
  int Clicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  B->SetAutoRepeat(true);
  EXPECT_EQ(B->RepeatTimer()->Interval(), 300u);
  EXPECT_FALSE(B->RepeatTimer()->Enabled());
  B->Perform(CM_MOUSEENTER);
  vxtest::MouseDown(B, 15, 5);
  EXPECT_TRUE(B->RepeatTimer()->Enabled());
  B->RepeatTimer()->OnTimer(B->RepeatTimer());  // one tick clicks once
  EXPECT_EQ(Clicks, 1);
  B->Perform(CM_MOUSELEAVE);
  EXPECT_FALSE(B->RepeatTimer()->Enabled());
  B->Perform(CM_MOUSEENTER);
  EXPECT_TRUE(B->RepeatTimer()->Enabled());
  vxtest::MouseUp(B, 15, 5);
  EXPECT_FALSE(B->RepeatTimer()->Enabled());
  EXPECT_EQ(Clicks, 2);  // the release clicks too
  B->SetEnabled(false);
  B->RepeatTimer()->OnTimer(B->RepeatTimer());
  EXPECT_EQ(Clicks, 2);
}

}  // namespace
