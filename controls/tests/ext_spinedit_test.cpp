// The spin edit: value conversion and clamping, typed-key filtering, arrow keys, Enter handed to
// the form, and the diagonal spin button's press, auto-repeat and faces.
#include <string>

#include "controls/spinedit.h"
#include "ext_fixture.h"

namespace {

// The text with '#' replaced by the locale's decimal separator.
std::string Local(std::string S) {
  for (char& Ch : S)
    if (Ch == '#') Ch = FormatSettings.DecimalSeparator;
  return S;
}

// Counts the beeps instead of sounding them.
class TCountingSpinEdit : public TVxSpinEdit {
 public:
  using TVxSpinEdit::TVxSpinEdit;
  int Beeps = 0;

 protected:
  void Beep() override { ++Beeps; }
};

class SpinEditTest : public ExtControlTest {
 protected:
  TCountingSpinEdit* NewSpin(TForm* F) {
    auto* S = new TCountingSpinEdit(F);
    S->SetParent(F);
    S->SetBounds(10, 10, 100, 21);
    vxtest::Pump();
    return S;
  }
};

TEST_F(SpinEditTest, WritingClampsRoundsAndFormatsByValueType) {
  TForm* F = NewForm();
  struct Case {
    double Min, Max;
    TValueType Type;
    double Written;
    const char* Shown;
  } Cases[] = {
      {8, 24, vtInteger, 30, "24"},   {8, 24, vtInteger, 3, "8"},      {8, 24, vtInteger, 10, "10"},
      {0, 0, vtInteger, 5000, "5000"}, {0, 0, vtInteger, -7, "-7"},
      // Bounds that cross limit nothing.
      {10, 5, vtInteger, 7, "7"},     {10, 5, vtInteger, 100, "100"},
      // Halves go to the even neighbour.
      {0, 0, vtInteger, 2.5, "2"},    {0, 0, vtInteger, 3.5, "4"},     {0, 0, vtInteger, -2.5, "-2"},
      {0, 0, vtHex, 255, "FF"},       {0, 0, vtHex, 10, "A"},          {0, 300, vtHex, 4000, "12C"},
      {0, 0, vtFloat, 3.14159, "3#14"}, {1, 2, vtFloat, 7, "2#00"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Shown);
    auto* S = NewSpin(F);
    S->SetValueType(C.Type);
    S->SetMinValue(C.Min);
    S->SetMaxValue(C.Max);
    S->SetValue(C.Written);
    EXPECT_EQ(S->Text(), Local(C.Shown));
    delete S;
  }
}

TEST_F(SpinEditTest, ReadingConvertsWithoutClampingAndFallsBackToMinValue) {
  TForm* F = NewForm();
  auto* S = NewSpin(F);
  S->SetMinValue(8.7);
  S->SetMaxValue(24);
  S->SetText("99");
  EXPECT_EQ(S->Value(), 99);
  S->SetText("");
  EXPECT_EQ(S->Value(), 8);  // truncated for integers
  S->SetText("1x");
  EXPECT_EQ(S->Value(), 8);
  S->SetValueType(vtFloat);
  S->SetText("");
  EXPECT_DOUBLE_EQ(S->Value(), 8.7);
  S->SetText(std::string("2") + FormatSettings.DecimalSeparator + "25");
  EXPECT_DOUBLE_EQ(S->Value(), 2.25);
  S->SetValueType(vtHex);  // rewritten through the new type: "2,25" is no hexadecimal number
  EXPECT_EQ(S->Text(), "9");
  S->SetText("ff");
  EXPECT_EQ(S->Value(), 255);
}

TEST_F(SpinEditTest, IntegerTypesRoundTheIncrement) {
  TForm* F = NewForm();
  auto* S = NewSpin(F);
  S->SetValueType(vtFloat);
  S->SetIncrement(2.6);
  S->SetValueType(vtInteger);
  EXPECT_EQ(S->Increment(), 3);
  S->SetValueType(vtFloat);
  S->SetIncrement(0.4);
  S->SetValueType(vtHex);
  EXPECT_EQ(S->Increment(), 1);
}

TEST_F(SpinEditTest, LeavingTheFieldShowsTheClampedValue) {
  TForm* F = NewForm();
  auto* S = NewSpin(F);
  auto* Other = new TEdit(F);
  Other->SetParent(F);
  Other->SetBounds(10, 50, 100, 21);
  S->SetMinValue(8);
  S->SetMaxValue(24);
  S->SetValue(10);
  S->SetFocus();
  vxtest::Pump();
  S->SelectAll();
  vxtest::TypeText(S, "99");
  EXPECT_EQ(S->Text(), "99");
  EXPECT_EQ(S->Value(), 99);
  Other->SetFocus();
  vxtest::Pump();
  EXPECT_EQ(S->Text(), "24");
}

TEST_F(SpinEditTest, TypedCharactersAreFilteredWithABeep) {
  TForm* F = NewForm();
  struct Case {
    TValueType Type;
    const char* Typed;
    const char* Shown;
    int Beeps;
  } Cases[] = {
      {vtInteger, "a1b2.", "12", 3},
      {vtInteger, "-5+", "-5+", 0},
      {vtFloat, "1#5#2e3E", "1#52e3", 2},
      {vtHex, "fFg9", "fF9", 1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Typed);
    auto* S = NewSpin(F);
    S->SetValueType(C.Type);
    S->SetText("");
    vxtest::TypeText(S, Local(C.Typed));
    EXPECT_EQ(S->Text(), Local(C.Shown));
    EXPECT_EQ(S->Beeps, C.Beeps);
    delete S;
  }
}

TEST_F(SpinEditTest, EditorDisabledRefusesTypingButStillSteps) {
  TForm* F = NewForm();
  auto* S = NewSpin(F);
  S->SetValue(5);
  S->SetEditorEnabled(false);
  vxtest::TypeText(S, "7");
  vxtest::KeyStroke(S, VK_BACK);
  EXPECT_EQ(S->Text(), "5");
  EXPECT_EQ(S->Beeps, 2);
  vxtest::KeyStroke(S, VK_UP);
  EXPECT_EQ(S->Text(), "6");
  vxtest::MouseDown(S->Button(), 2, 2);
  vxtest::MouseUp(S->Button(), 2, 2);
  EXPECT_EQ(S->Text(), "7");
}

TEST_F(SpinEditTest, ArrowKeysStepAndNotifyOnce) {
  TForm* F = NewForm();
  auto* S = NewSpin(F);
  S->SetMinValue(8);
  S->SetMaxValue(24);
  S->SetIncrement(5);
  S->SetValue(20);
  int Changes = 0, Tops = 0, Bottoms = 0;
  S->OnChange = [&](TObject*) { ++Changes; };
  S->OnTopClick = [&](TObject*) { ++Tops; };
  S->OnBottomClick = [&](TObject*) { ++Bottoms; };
  vxtest::KeyStroke(S, VK_UP);
  EXPECT_EQ(S->Text(), "24");
  EXPECT_EQ(Changes, 1);
  vxtest::KeyStroke(S, VK_UP);  // already at the top: no change, but the click event fires
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(Tops, 2);
  vxtest::KeyStroke(S, VK_DOWN);
  EXPECT_EQ(S->Text(), "19");
  EXPECT_EQ(Bottoms, 1);
  EXPECT_EQ(Changes, 2);
  EXPECT_TRUE(S->Modified());
  S->SetArrowKeys(false);
  vxtest::KeyStroke(S, VK_UP);
  EXPECT_EQ(S->Text(), "19");
  S->SetArrowKeys(true);
  S->SetReadOnly(true);
  vxtest::KeyStroke(S, VK_UP);
  EXPECT_EQ(S->Text(), "19");
  EXPECT_EQ(S->Beeps, 1);
  // A change typed by the user is reported.
  S->SetReadOnly(false);
  vxtest::TypeText(S, "1");
  EXPECT_EQ(Changes, 3);
}

TEST_F(SpinEditTest, FloatStepsKeepTheDecimals) {
  TForm* F = NewForm();
  auto* S = NewSpin(F);
  S->SetValueType(vtFloat);
  S->SetDecimal(1);
  S->SetIncrement(0.5);
  S->SetMinValue(0);
  S->SetMaxValue(2);
  S->SetValue(1);
  EXPECT_EQ(S->Text(), Local("1#0"));
  vxtest::KeyStroke(S, VK_UP);
  EXPECT_EQ(S->Text(), Local("1#5"));
  vxtest::KeyStroke(S, VK_UP);
  vxtest::KeyStroke(S, VK_UP);
  EXPECT_EQ(S->Text(), Local("2#0"));
  S->SetDecimal(3);
  EXPECT_EQ(S->Text(), Local("2#000"));
}

TEST_F(SpinEditTest, EnterGoesToTheFormAndNotIntoTheText) {
  TForm* F = NewForm();
  auto* S = NewSpin(F);
  int Clicks = 0;
  AddDefaultButton(F, Clicks);
  S->SetValue(12);
  vxtest::KeyStroke(S, VK_RETURN, "\r");
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(S->Text(), "12");
  EXPECT_EQ(S->Beeps, 0);
}

TEST_F(SpinEditTest, HeldSpinButtonRepeatsWhileThePointerStaysInItsHalf) {
  TForm* F = NewForm();
  auto* S = NewSpin(F);
  S->SetValue(10);
  TVxSpinButton* B = S->Button();
  ASSERT_NE(B, nullptr);
  const int W = B->Width(), H = B->Height();
  EXPECT_EQ(B->RepeatTimer(), nullptr);
  vxtest::MouseDown(B, 2, 2);  // top half: one step at once
  EXPECT_EQ(S->Text(), "11");
  EXPECT_EQ(B->Down(), TopDown);
  TTimer* T = B->RepeatTimer();
  ASSERT_NE(T, nullptr);
  EXPECT_TRUE(T->Enabled());
  EXPECT_EQ(T->Interval(), 400u);
  T->OnTimer(T);
  EXPECT_EQ(T->Interval(), 100u);
  EXPECT_EQ(S->Text(), "12");
  T->OnTimer(T);
  EXPECT_EQ(S->Text(), "13");
  vxtest::MouseMove(B, W - 2, H - 2, ssLeft);  // into the bottom half: the steps stop
  EXPECT_EQ(B->Down(), NotDown);
  T->OnTimer(T);
  EXPECT_EQ(S->Text(), "13");
  vxtest::MouseMove(B, 3, 3, ssLeft);  // back: they go on
  EXPECT_EQ(B->Down(), TopDown);
  T->OnTimer(T);
  EXPECT_EQ(S->Text(), "14");
  vxtest::MouseUp(B, 3, 3);
  EXPECT_EQ(B->Down(), NotDown);
  EXPECT_FALSE(T->Enabled());
  // The bottom half steps down.
  vxtest::MouseDown(B, W - 2, H - 2);
  EXPECT_EQ(S->Text(), "13");
  EXPECT_EQ(B->Down(), BottomDown);
  vxtest::MouseUp(B, W - 2, H - 2);
}

TEST_F(SpinEditTest, SpinButtonFacesShowWhichHalfIsPressed) {
  TForm* F = NewForm();
  auto* Host = new TPanel(F);
  Host->SetParent(F);
  Host->SetBevelOuter(bvNone);
  Host->SetBounds(0, 0, 40, 40);
  auto* B = new TVxSpinButton(F);
  B->SetParent(Host);
  B->SetBounds(0, 0, 20, 20);
  auto Face = [&](TSpinButtonState S) {
    B->SetDown(S);
    TBitmap Shot;
    vxtest::Grab(Host, &Shot);
    return std::vector<TColor>{Shot.PixelColor(0, 0), Shot.PixelColor(1, 2), Shot.PixelColor(18, 10),
                               Shot.PixelColor(5, 18)};
  };
  const TColor Frame = ColorToRGB(clWindowFrame), Light = ColorToRGB(clBtnHighlight),
               Shadow = ColorToRGB(clBtnShadow);
  EXPECT_EQ(Face(NotDown), (std::vector<TColor>{Frame, Light, Shadow, Shadow}));
  EXPECT_EQ(Face(TopDown), (std::vector<TColor>{Frame, Shadow, Shadow, Shadow}));
  EXPECT_EQ(Face(BottomDown), (std::vector<TColor>{Frame, Light, Light, Light}));
  // The up arrow's black pixels sit in the upper left quarter.
  B->SetDown(NotDown);
  TBitmap Shot;
  vxtest::Grab(Host, &Shot);
  int Black = 0;
  for (int Y = 2; Y < 10; ++Y)
    for (int X = 2; X < 10; ++X) Black += Shot.PixelColor(X, Y) == clBlack;
  EXPECT_EQ(Black, 12);
}

TEST_F(SpinEditTest, StandardButtonKindSteps) {
  TForm* F = NewForm();
  auto* S = NewSpin(F);
  S->SetButtonKind(bkStandard);
  EXPECT_EQ(S->Button(), nullptr);
  ASSERT_NE(S->UpDown(), nullptr);
  S->SetValue(3);
  vxtest::Click(S->UpDown(), 5, 2);
  EXPECT_EQ(S->Text(), "4");
  vxtest::Click(S->UpDown(), 5, S->UpDown()->Height() - 2);
  vxtest::Click(S->UpDown(), 5, S->UpDown()->Height() - 2);
  EXPECT_EQ(S->Text(), "2");
  S->SetButtonKind(bkDiagonal);
  EXPECT_EQ(S->UpDown(), nullptr);
  EXPECT_NE(S->Button(), nullptr);
}

}  // namespace
