// The slider: value and thumb position on the lesson's 60..300 slider, bounds and increment rules,
// keys, dragging, tracking by the ruler, and the painted ruler, thumb and ticks.
#include <string>
#include <vector>

#include "controls/slider.h"
#include "ext_fixture.h"

namespace {

class SliderTest : public ExtControlTest {
 protected:
  // The metronome slider of the lesson screen.
  TVxSlider* NewLessonSlider(TForm* F) {
    auto* S = new TVxSlider(F);
    S->SetParent(F);
    S->SetBounds(10, 10, 181, 33);
    S->SetMinValue(60);
    S->SetMaxValue(300);
    S->SetValue(60);
    S->SetOptions(soShowPoints);
    S->SetColor(clWhite);
    S->SetTabStop(false);
    S->OnChange = [this](TObject*) { ++Changes; };
    S->OnChanged = [this](TObject*) { ++Finished; };
    vxtest::Pump();
    return S;
  }
  int Changes = 0, Finished = 0;
};

TEST_F(SliderTest, ThumbPositionFollowsTheValue) {
  TForm* F = NewForm();
  TVxSlider* S = NewLessonSlider(F);
  // Ruler 181 - 12 = 169 pixels, thumb 9 wide: 160 pixels of travel from x = 6.
  EXPECT_EQ(S->Ruler()->Width(), 169);
  EXPECT_EQ(S->RulerOrigin(), TPoint(6, 10));
  struct Case {
    int Value, Left;
  } Cases[] = {{60, 6}, {300, 166}, {180, 86}, {65, 9}, {299, 165}};
  for (const Case& C : Cases) {
    S->SetValue(C.Value);
    EXPECT_EQ(S->ThumbRect(), Bounds(C.Left, 6, 9, 17)) << C.Value;
    EXPECT_EQ(S->OffsetByValue(C.Value), C.Left);
  }
  // Offsets back to values: without soSmooth they snap to the increment.
  EXPECT_EQ(S->ValueByOffset(6), 60);
  EXPECT_EQ(S->ValueByOffset(166), 300);
  EXPECT_EQ(S->ValueByOffset(88), 180);
  EXPECT_EQ(S->ValueByOffset(0), 60);
  EXPECT_EQ(S->ValueByOffset(500), 300);
  S->SetOptions(soShowPoints | soSmooth);
  EXPECT_EQ(S->ValueByOffset(88), 183);
}

TEST_F(SliderTest, ValuesAreClampedAndBadBoundsIgnored) {
  TForm* F = NewForm();
  TVxSlider* S = NewLessonSlider(F);
  Changes = 0;
  S->SetValue(1000);
  EXPECT_EQ(S->Value(), 300);
  EXPECT_EQ(Changes, 1);
  S->SetValue(1000);
  EXPECT_EQ(Changes, 1);
  S->SetValue(-5);
  EXPECT_EQ(S->Value(), 60);
  S->SetMaxValue(50);  // below MinValue: ignored
  EXPECT_EQ(S->MaxValue(), 300);
  S->SetMinValue(300);
  EXPECT_EQ(S->MinValue(), 60);
  // A narrower range clamps the value and the increment.
  S->SetValue(250);
  S->SetMaxValue(65);
  EXPECT_EQ(S->Value(), 65);
  EXPECT_EQ(S->Increment(), 5);
  try {
    S->SetIncrement(6);
    FAIL() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Value must be between 1 and 5");
  }
  EXPECT_THROW(S->SetIncrement(0), Exception);
  EXPECT_EQ(S->Increment(), 5);
  // Too narrow for its ruler: values, keys, the mouse and painting still work.
  S->SetBounds(10, 10, 8, 33);
  EXPECT_EQ(S->Ruler()->Width(), 0);
  S->SetValue(62);
  EXPECT_EQ(S->Value(), 62);
  vxtest::KeyStroke(S, VK_RIGHT);
  EXPECT_EQ(S->Value(), 65);
  vxtest::MouseDown(S, 3, 12);
  vxtest::MouseMove(S, 6, 12, ssLeft);
  vxtest::MouseUp(S, 6, 12);
  TBitmap Shot;
  vxtest::Grab(S, &Shot);
  EXPECT_EQ(Shot.Width(), 8);
}

TEST_F(SliderTest, KeysStepByTheIncrement) {
  TForm* F = NewForm();
  TVxSlider* S = NewLessonSlider(F);
  struct Case {
    int From;
    uint16_t Key;
    TShiftState Shift;
    int To;
  } Cases[] = {
      {60, VK_RIGHT, 0, 70},  {65, VK_RIGHT, 0, 70},  {75, VK_RIGHT, 0, 90},  {300, VK_RIGHT, 0, 300},
      {70, VK_LEFT, 0, 60},   {60, VK_LEFT, 0, 60},   {150, VK_END, 0, 300},  {150, VK_HOME, 0, 60},
      {150, VK_UP, 0, 150},   {150, VK_RIGHT, ssCtrl, 150},
  };
  for (const Case& C : Cases) {
    S->SetValue(C.From);
    Finished = 0;
    vxtest::KeyStroke(S, C.Key, "", C.Shift);
    EXPECT_EQ(S->Value(), C.To) << C.From << " key " << C.Key;
    EXPECT_EQ(Finished, C.Key == VK_UP || C.Shift ? 0 : 1) << C.Key;
  }
  S->SetOrientation(soVertical);
  EXPECT_EQ(S->Width(), 33);
  EXPECT_EQ(S->Height(), 181);
  S->SetValue(100);
  vxtest::KeyStroke(S, VK_UP);
  EXPECT_EQ(S->Value(), 110);
  vxtest::KeyStroke(S, VK_DOWN);
  vxtest::KeyStroke(S, VK_DOWN);
  EXPECT_EQ(S->Value(), 90);
  S->SetReadOnly(true);
  vxtest::KeyStroke(S, VK_DOWN);
  EXPECT_EQ(S->Value(), 90);
}

TEST_F(SliderTest, DraggingTheThumbSnapsUnlessSmooth) {
  TForm* F = NewForm();
  TVxSlider* S = NewLessonSlider(F);
  Changes = Finished = 0;
  vxtest::MouseDown(S, 10, 12);  // inside the thumb at 6..15, 4 pixels from its left edge
  vxtest::MouseMove(S, 92, 12, ssLeft);
  EXPECT_EQ(S->Value(), 180);  // offset 88 -> 183 -> snapped to 180
  EXPECT_EQ(S->ThumbRect().Left, 86);
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(Finished, 0);
  vxtest::MouseMove(S, 400, 12, ssLeft);
  EXPECT_EQ(S->Value(), 300);
  vxtest::MouseUp(S, 400, 12);
  EXPECT_EQ(Finished, 1);
  vxtest::MouseMove(S, 10, 12);  // released: the thumb stays
  EXPECT_EQ(S->Value(), 300);
  S->SetOptions(soShowPoints | soSmooth);
  vxtest::MouseDown(S, 170, 12);
  vxtest::MouseMove(S, 92, 12, ssLeft);
  EXPECT_EQ(S->Value(), 183);
  vxtest::MouseUp(S, 92, 12);
}

TEST_F(SliderTest, PressOnTheRulerStepsUntilTheThumbPassesThePointer) {
  TForm* F = NewForm();
  TVxSlider* S = NewLessonSlider(F);
  Finished = 0;
  vxtest::MouseDown(S, 40, 13);  // on the ruler, right of the thumb
  EXPECT_EQ(S->Value(), 70);
  std::vector<int> Seen;
  for (int I = 0; I < 8; ++I) {
    S->Perform(WM_TIMER, 1);
    Seen.push_back(S->Value());
  }
  // x = 40 lies inside the thumb once it reaches 100 (left edge 33..41).
  EXPECT_EQ(Seen, (std::vector<int>{80, 90, 100, 100, 100, 100, 100, 100}));
  EXPECT_EQ(Finished, 0);
  vxtest::MouseUp(S, 40, 13);
  EXPECT_EQ(Finished, 1);
  S->Perform(WM_TIMER, 1);
  EXPECT_EQ(S->Value(), 100);
  vxtest::MouseDown(S, 7, 13);  // left of the thumb
  EXPECT_EQ(S->Value(), 90);
  vxtest::MouseUp(S, 7, 13);
  vxtest::MouseDown(S, 100, 30);  // below the ruler: no tracking
  EXPECT_EQ(S->Value(), 90);
  vxtest::MouseUp(S, 100, 30);
}

TEST_F(SliderTest, PaintsRulerThumbAndTicks) {
  TForm* F = NewForm();
  TVxSlider* S = NewLessonSlider(F);
  S->SetValue(180);
  TBitmap Shot;
  vxtest::Grab(S, &Shot);
  // The groove: its grey top edge from the left end to the right end (where the light edge is).
  EXPECT_EQ(Shot.PixelColor(6, 12), clGray);
  EXPECT_EQ(Shot.PixelColor(60, 12), clGray);
  EXPECT_EQ(Shot.PixelColor(173, 12), clGray);
  EXPECT_EQ(Shot.PixelColor(174, 12), clWhite);
  EXPECT_EQ(Shot.PixelColor(60, 13), clBlack);
  EXPECT_EQ(Shot.PixelColor(60, 9), clWhite);  // transparent rows show the control's colour
  // The thumb at 86..94: light left edge, silver face, dark right edge, point at the bottom.
  EXPECT_EQ(Shot.PixelColor(86, 8), clWhite);
  EXPECT_EQ(Shot.PixelColor(90, 8), clSilver);
  EXPECT_EQ(Shot.PixelColor(94, 8), clBlack);
  EXPECT_EQ(Shot.PixelColor(90, 22), clBlack);
  EXPECT_EQ(Shot.PixelColor(86, 22), clWhite);  // beside the point the colour shows through
  // Ticks from y = 24: long ones at both ends, short ones between, every 10 (about 6.7 pixels).
  const TColor Tick = ColorToRGB(clWindowText);
  auto TickLength = [&](int X) {
    int N = 0;
    while (Shot.PixelColor(X, 24 + N) == Tick) ++N;
    return N;
  };
  EXPECT_EQ(TickLength(6 + 4), 5);
  EXPECT_EQ(TickLength(166 + 4), 5);
  EXPECT_EQ(TickLength(S->OffsetByValue(70) + 4), 3);
  EXPECT_EQ(TickLength(S->OffsetByValue(290) + 4), 3);
  EXPECT_EQ(TickLength(S->OffsetByValue(70) + 2), 0);
  // Pressed, the thumb shows its second frame (checkered face).
  vxtest::MouseDown(S, 90, 8);
  vxtest::Grab(S, &Shot);
  EXPECT_NE(Shot.PixelColor(90, 8), Shot.PixelColor(91, 8));
  vxtest::MouseUp(S, 90, 8);
  // Without ticks nothing is drawn below the thumb.
  S->SetOptions(0);
  vxtest::Grab(S, &Shot);
  EXPECT_EQ(TickLength(10), 0);
}

TEST_F(SliderTest, VerticalSliderGrowsUpwards) {
  TForm* F = NewForm(320, 260);
  TVxSlider* S = NewLessonSlider(F);
  S->SetOrientation(soVertical);
  ASSERT_EQ(S->Height(), 181);
  // Ruler 169 high, thumb 19 x 9 with the narrower ruler centred on it.
  EXPECT_EQ(S->Ruler()->Height(), 169);
  EXPECT_EQ(S->RulerOrigin(), TPoint(11, 6));
  S->SetValue(60);
  EXPECT_EQ(S->ThumbRect(), Bounds(6, 166, 19, 9));
  S->SetValue(300);
  EXPECT_EQ(S->ThumbRect(), Bounds(6, 6, 19, 9));
  EXPECT_EQ(S->ValueByOffset(166), 60);
  EXPECT_EQ(S->ValueByOffset(6), 300);
  EXPECT_EQ(S->ValueByOffset(86), 180);
  // Pressing below the thumb on the ruler steps down.
  vxtest::MouseDown(S, 14, 100);
  EXPECT_EQ(S->Value(), 290);
  vxtest::MouseUp(S, 14, 100);
  // Dragging the thumb down.
  vxtest::MouseDown(S, 14, S->ThumbRect().Top + 2);
  vxtest::MouseMove(S, 14, 86 + 2, ssLeft);
  EXPECT_EQ(S->Value(), 180);
  vxtest::MouseUp(S, 14, 88);
  TBitmap Shot;
  vxtest::Grab(S, &Shot);
  EXPECT_EQ(Shot.PixelColor(6 + 18, 86 + 4), clBlack);  // the point on the right
  EXPECT_EQ(Shot.PixelColor(6 + 2, 86 + 4), clSilver);
  // Ticks from x = 26, at the thumb's middle height.
  EXPECT_EQ(Shot.PixelColor(26, 166 + 4), ColorToRGB(clWindowText));
  EXPECT_EQ(Shot.PixelColor(30, 166 + 4), ColorToRGB(clWindowText));
  EXPECT_EQ(Shot.PixelColor(31, 166 + 4), clWhite);
}

TEST_F(SliderTest, RulerIsTiledWithBothEdges) {
  TForm* F = NewForm();
  auto* S = new TVxSlider(F);
  S->SetParent(F);
  TBitmap Img;
  Img.SetPixelFormat(pf24bit);
  Img.SetSize(10, 2);
  const TColor Cols[10] = {clRed, clLime, clBlue, clYellow, clAqua, clNavy, clTeal, clOlive, clMaroon, clPurple};
  for (int X = 0; X < 10; ++X) {
    Img.Canvas()->SetPixel(X, 0, Cols[X]);
    Img.Canvas()->SetPixel(X, 1, clFuchsia);
  }
  S->SetImageHRuler(&Img);
  EXPECT_TRUE(S->UserImage(siHRuler));
  for (int W : {12 + 10, 12 + 23, 12 + 7}) {
    S->SetBounds(0, 0, W, 40);
    TBitmap* R = S->Ruler();
    const int T = W - 12;
    ASSERT_EQ(R->Width(), T);
    std::vector<TColor> Got, Want;
    for (int X = 0; X < T; ++X) Got.push_back(R->PixelColor(X, 0));
    // Leading edge, middle repeated, trailing edge.
    for (int X = 0; X < T; ++X) {
      if (X < 2) Want.push_back(Cols[X]);
      else if (X >= T - 2) Want.push_back(Cols[10 - (T - X)]);
      else Want.push_back(Got[size_t(X)]);
    }
    EXPECT_EQ(Got, Want) << W;
    for (int X = 2; X < T - 2; ++X) {
      bool Middle = false;
      for (int K = 2; K < 8; ++K) Middle |= Got[size_t(X)] == Cols[K];
      EXPECT_TRUE(Middle) << X;
    }
  }
  S->SetImageHRuler(nullptr);
  EXPECT_FALSE(S->UserImage(siHRuler));
  EXPECT_EQ(S->ImageHRuler()->Width(), 10);
  EXPECT_EQ(S->ImageHRuler()->Height(), 8);
}

}  // namespace
