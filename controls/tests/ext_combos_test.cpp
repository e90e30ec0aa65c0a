// The colour and font pickers: ColorValue and FontName in both directions, the font list's
// filtering, and the owner-drawn items.
#include <string>
#include <vector>

#include "controls/combos.h"
#include "ext_fixture.h"

namespace {

class CombosTest : public ExtControlTest {};

// Draws item Index of a picker into a fresh white picture of W x H.
void DrawInto(TOwnerDrawComboBox* C, int Index, int W, int H, TBitmap& Out) {
  Out.SetPixelFormat(pf24bit);
  Out.SetSize(W, H);
  Out.Canvas()->Brush()->SetColor(clWhite);
  Out.Canvas()->FillRect(TRect(0, 0, W, H));
  C->DrawItem(Out.Canvas(), Index, TRect(0, 0, W, H), 0);
}

TEST_F(CombosTest, ColorValueSelectsItsItem) {
  TForm* F = NewForm();
  auto* C = new TColorComboBox(F);
  C->SetParent(F);
  int Changes = 0;
  C->OnChange = [&](TObject*) { ++Changes; };
  ASSERT_EQ(C->Items()->Count(), 16);
  EXPECT_EQ(C->Items()->Strings(0), "Black");
  EXPECT_EQ(C->Items()->Strings(4), "Navy");
  EXPECT_EQ(C->Items()->Strings(15), "White");
  EXPECT_EQ(C->ItemIndex(), 0);  // clBlack by default
  C->SetColorValue(clNavy);
  EXPECT_EQ(C->ItemIndex(), 4);
  EXPECT_EQ(C->ColorValue(), clNavy);
  EXPECT_EQ(Changes, 1);
  C->SetColorValue(clNavy);  // unchanged: nothing happens
  EXPECT_EQ(Changes, 1);
  // Not among the sixteen: nothing selected, the written colour reads back.
  C->SetColorValue(0x123456);
  EXPECT_EQ(C->ItemIndex(), -1);
  EXPECT_EQ(C->ColorValue(), 0x123456);
  EXPECT_EQ(Changes, 2);
  C->SetColorValue(clSilver);
  EXPECT_EQ(C->ItemIndex(), 8);
  // A choice in the list writes the value.
  C->SetItemIndex(9);
  C->Click();
  EXPECT_EQ(C->ColorValue(), clRed);
  EXPECT_EQ(Changes, 4);
}

TEST_F(CombosTest, EditableColorPickerReadsItsText) {
  TForm* F = NewForm();
  auto* C = new TColorComboBox(F);
  C->SetParent(F);
  C->SetStyle(csDropDown);
  C->SetColorValue(0x123456);
  EXPECT_EQ(C->Text(), "$00123456");
  EXPECT_EQ(C->ColorValue(), 0x123456);
  C->SetColorValue(clBtnFace);
  EXPECT_EQ(C->Text(), "BtnFace");
  EXPECT_EQ(C->ColorValue(), clBtnFace);  // no item of that name, no number: the stored value
  C->SetText("teal");
  EXPECT_EQ(C->ColorValue(), clTeal);
  C->SetText("255");
  EXPECT_EQ(C->ColorValue(), clRed);
}

TEST_F(CombosTest, ColorNamesReplaceTheBuiltInOnes) {
  TForm* F = NewForm();
  auto* C = new TColorComboBox(F);
  C->SetParent(F);
  C->SetColorValue(clGreen);
  TStringList Names;
  Names.Add("Czarny");
  Names.Add("");
  Names.Add("Zielony");
  C->SetColorNames(&Names);
  EXPECT_EQ(C->Items()->Strings(0), "Czarny");
  EXPECT_EQ(C->Items()->Strings(1), "Maroon");
  EXPECT_EQ(C->Items()->Strings(2), "Zielony");
  EXPECT_EQ(C->ItemIndex(), 2);  // the value survives the rebuilt list
  EXPECT_EQ(C->ColorValue(), clGreen);
}

TEST_F(CombosTest, ColorItemsAreSwatches) {
  TForm* F = NewForm();
  auto* C = new TColorComboBox(F);
  C->SetParent(F);
  TBitmap B;
  const TColor Frame = ColorToRGB(clWindowText);
  // Without names the swatch fills the item but 2 pixels left, top and bottom and 3 right.
  C->SetDisplayNames(false);
  DrawInto(C, 4, 60, 16, B);
  EXPECT_EQ(B.PixelColor(1, 8), clWhite);
  EXPECT_EQ(B.PixelColor(2, 8), Frame);
  EXPECT_EQ(B.PixelColor(3, 8), clNavy);
  EXPECT_EQ(B.PixelColor(55, 8), clNavy);
  EXPECT_EQ(B.PixelColor(56, 8), Frame);
  EXPECT_EQ(B.PixelColor(57, 8), clWhite);
  EXPECT_EQ(B.PixelColor(30, 1), clWhite);
  EXPECT_EQ(B.PixelColor(30, 2), Frame);
  EXPECT_EQ(B.PixelColor(30, 13), Frame);
  EXPECT_EQ(B.PixelColor(30, 14), clWhite);
  // With names: a 22-pixel swatch, then the name from 28 pixels on.
  C->SetDisplayNames(true);
  DrawInto(C, 9, 100, 16, B);
  EXPECT_EQ(B.PixelColor(10, 8), clRed);
  EXPECT_EQ(B.PixelColor(23, 8), Frame);
  EXPECT_EQ(B.PixelColor(24, 8), clWhite);
  int Ink = 0;
  for (int Y = 0; Y < 16; ++Y)
    for (int X = 28; X < 100; ++X) Ink += B.PixelColor(X, Y) != clWhite;
  EXPECT_GT(Ink, 10);
  for (int Y = 0; Y < 16; ++Y)
    for (int X = 24; X < 28; ++X) EXPECT_EQ(B.PixelColor(X, Y), clWhite);
  // The closed picker shows the chosen swatch.
  C->SetDisplayNames(false);
  C->SetColorValue(clNavy);
  TBitmap Shot;
  vxtest::Grab(C, &Shot);
  int Navy = 0;
  for (int Y = 0; Y < Shot.Height(); ++Y)
    for (int X = 0; X < Shot.Width(); ++X) Navy += Shot.PixelColor(X, Y) == clNavy;
  EXPECT_GT(Navy, 50);
}

// A picker over a fixed set of families.
class TFixedFontCombo : public TFontComboBox {
 public:
  using TFontComboBox::TFontComboBox;
  std::vector<TFontFamilyInfo> Families;

 protected:
  std::vector<TFontFamilyInfo> GetFontFamilies() override { return Families; }
};

TEST_F(CombosTest, FontListFollowsTheOptions) {
  TForm* F = NewForm();
  auto* C = new TFixedFontCombo(F);
  C->SetParent(F);
  C->Families = {{"Zeta Sans", false, true},
                 {"Beta Mono", true, true},
                 {"Courier Raster", true, false},
                 {"alpha mono", true, true},
                 {"Beta Mono", true, true}};
  C->FontsChanged();
  auto Listed = [&] {
    std::vector<std::string> V;
    for (int I = 0; I < C->Items()->Count(); ++I) V.push_back(C->Items()->Strings(I));
    return V;
  };
  EXPECT_EQ(Listed(), (std::vector<std::string>{"alpha mono", "Beta Mono", "Courier Raster", "Zeta Sans"}));
  C->SetOptions(foFixedPitchOnly);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"alpha mono", "Beta Mono", "Courier Raster"}));
  C->SetTrueTypeOnly(true);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"alpha mono", "Beta Mono"}));
  EXPECT_EQ(C->FontType(0), TRUETYPE_FONTTYPE | TEXT_FONTTYPE);
  C->SetOptions(foScalableOnly);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"alpha mono", "Beta Mono", "Zeta Sans"}));
  C->SetOptions(0);
  EXPECT_EQ(C->FontType(2), RASTER_FONTTYPE | TEXT_FONTTYPE);
}

TEST_F(CombosTest, FontNameSelectsWithoutRegardToCase) {
  TForm* F = NewForm();
  auto* C = new TFixedFontCombo(F);
  C->SetParent(F);
  C->Families = {{"Beta Mono", true, true}, {"Zeta Sans", false, true}};
  C->FontsChanged();
  int Changes = 0;
  C->OnChange = [&](TObject*) { ++Changes; };
  C->SetFontName("BETA MONO");
  EXPECT_EQ(C->ItemIndex(), 0);
  EXPECT_EQ(C->FontName(), "Beta Mono");
  EXPECT_EQ(Changes, 1);
  C->SetFontName("Beta Mono");  // the same text: nothing happens
  EXPECT_EQ(Changes, 1);
  C->SetFontName("Not Installed");
  EXPECT_EQ(C->ItemIndex(), -1);
  EXPECT_EQ(C->FontName(), "");
  EXPECT_EQ(Changes, 2);
  // An editable picker keeps a name it does not list.
  C->SetStyle(csDropDown);
  C->SetFontName("Not Installed");
  EXPECT_EQ(C->FontName(), "Not Installed");
  // A rebuilt list keeps the chosen family.
  C->SetFontName("zeta sans");
  Changes = 0;
  C->SetOptions(foTrueTypeOnly);
  EXPECT_EQ(C->FontName(), "Zeta Sans");
  EXPECT_EQ(Changes, 0);
  // When the family goes away with the options, the change is told.
  C->SetStyle(csDropDownList);
  C->SetFontName("Zeta Sans");
  Changes = 0;
  C->SetOptions(foFixedPitchOnly);
  EXPECT_EQ(C->FontName(), "");
  EXPECT_EQ(Changes, 1);
}

TEST_F(CombosTest, FixedPitchPickerListsOnlyInstalledFixedPitchFamilies) {
  TForm* F = NewForm();
  auto* C = new TFontComboBox(F);
  C->SetParent(F);
  C->SetOptions(foFixedPitchOnly);
  C->SetUseFonts(true);
  std::vector<TFontFamilyInfo> All = EnumFontFamilies();
  auto IsFixed = [&](const std::string& Name) {
    for (const TFontFamilyInfo& I : All)
      if (I.Name == Name) return I.FixedPitch;
    return false;
  };
  ASSERT_GT(C->Items()->Count(), 0);
  for (int I = 0; I < C->Items()->Count(); ++I) EXPECT_TRUE(IsFixed(C->Items()->Strings(I))) << C->Items()->Strings(I);
  EXPECT_EQ(C->Items()->IndexOf("DejaVu Sans"), -1);
  C->SetFontName("dejavu sans mono");
  EXPECT_EQ(C->FontName(), "DejaVu Sans Mono");
}

TEST_F(CombosTest, FontItemsShowTheirKindMark) {
  TForm* F = NewForm();
  auto* C = new TFixedFontCombo(F);
  C->SetParent(F);
  C->Families = {{"Beta Mono", true, true}, {"Old Raster", true, false}};
  C->FontsChanged();
  TBitmap B;
  DrawInto(C, 0, 150, 16, B);
  // The outline-font mark: its black letter T from 2 pixels in, centred (12 high in 16: from y 2).
  EXPECT_EQ(B.PixelColor(2 + 5, 2 + 3), clBlack);
  EXPECT_EQ(B.PixelColor(2 + 1, 2 + 0), clGray);
  EXPECT_EQ(B.PixelColor(2 + 19, 2 + 11), clWhite);  // its background left out
  int Ink = 0;
  for (int Y = 0; Y < 16; ++Y)
    for (int X = 28; X < 150; ++X) Ink += B.PixelColor(X, Y) != clWhite;
  EXPECT_GT(Ink, 10);
  // A raster family has no mark; its name still starts after the mark's room.
  DrawInto(C, 1, 150, 16, B);
  for (int Y = 0; Y < 16; ++Y)
    for (int X = 0; X < 28; ++X) EXPECT_EQ(B.PixelColor(X, Y), clWhite);
}

}  // namespace
