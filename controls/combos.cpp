#include "controls/combos.h"

#include <algorithm>

#include "controls/ctlutils.h"

namespace {

const TColor BasicColors[16] = {clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple, clTeal,    clGray,
                                clSilver, clRed,   clLime,  clYellow, clBlue, clFuchsia, clAqua, clWhite};

// The colour's name without its "cl" (a hexadecimal form for colours without a name).
std::string ShortColorName(TColor C) {
  std::string S = ColorToString(C);
  if (S.compare(0, 2, "cl") == 0) S.erase(0, 2);
  return S;
}

const unsigned ItemTextFlags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TOwnerDrawComboBox

TOwnerDrawComboBox::TOwnerDrawComboBox(TComponent* AOwner) : TComboBox(AOwner) {
  TComboBox::SetStyle(csOwnerDrawFixed);
  OnDrawItem = [this](TWinControl*, int Index, TRect Rect, TOwnerDrawState State) {
    DrawItem(TComboBox::Canvas(), Index, Rect, State);
  };
}

void TOwnerDrawComboBox::SetStyle(TComboBoxStyle V) {
  if (V != csDropDown && V != csSimple) V = csDropDownList;
  if (V == FStyle) return;
  FStyle = V;
  // The drop-down list is drawn by the program; the editable styles keep an edit field.
  TComboBox::SetStyle(V == csDropDownList ? csOwnerDrawFixed : V);
  RecreateList();
}

int TOwnerDrawComboBox::FontItemHeight() const { return Max(FontTextHeight(*Font()) + 1, 9); }

int TOwnerDrawComboBox::GetItemHeight() { return FontItemHeight(); }

void TOwnerDrawComboBox::RecreateList() {
  FChanging = true;
  SetItemHeight(GetItemHeight());
  FChanging = false;
  PopulateList();
}

void TOwnerDrawComboBox::FontChanged() {
  TComboBox::FontChanged();
  if (!FChanging) RecreateList();
}

// ---------------------------------------------------------------------------------------------
// TColorComboBox

TColorComboBox::TColorComboBox(TComponent* AOwner)
    : TOwnerDrawComboBox(AOwner), FColorNames(std::make_unique<TStringList>()) {
  FColorNames->OnChange = [this](TObject*) {
    FColorValue = ColorValue();
    RecreateList();
  };
  RecreateList();
}

TColorComboBox::~TColorComboBox() { FColorNames->OnChange = nullptr; }

TColor TColorComboBox::Colors(int Index) const {
  return Index >= 0 && size_t(Index) < FColors.size() ? FColors[size_t(Index)] : clNone;
}

void TColorComboBox::PopulateList() {
  Clear();
  FColors.clear();
  Items()->BeginUpdate();
  for (int I = 0; I < 16; ++I) {
    std::string Name = I < FColorNames->Count() ? FColorNames->Strings(I) : std::string();
    if (Name.empty()) Name = ShortColorName(BasicColors[I]);
    Items()->Add(Name);
    FColors.push_back(BasicColors[I]);
  }
  Items()->EndUpdate();
  SetColorValue(FColorValue);
}

int TColorComboBox::SelectedIndex() const {
  const int I = ItemIndex();
  // In an editable picker a typed text that differs from the item's name means no choice.
  if (I >= 0 && Style() != csDropDownList && Items()->Strings(I) != Text()) return -1;
  return I;
}

TColor TColorComboBox::ColorValue() const {
  if (Style() != csDropDownList && SelectedIndex() < 0) {
    const std::string& T = Text();
    for (int I = 0; I < Items()->Count(); ++I)
      if (AnsiSameText(Items()->Strings(I), T)) return Colors(I);
    int32_t V;
    if (TryStrToInt(T, V)) return V;
  }
  return FColorValue;
}

void TColorComboBox::SetColorValue(TColor V) {
  if (SelectedIndex() >= 0 && V == FColorValue) return;
  FColorValue = V;
  auto It = std::find(FColors.begin(), FColors.end(), V);
  if (It != FColors.end()) {
    const int I = int(It - FColors.begin());
    if (SelectedIndex() != I) SetItemIndex(I);
  } else {
    SetItemIndex(-1);
    if (Style() != csDropDownList) SetText(ShortColorName(V));
  }
  Change();
}

void TColorComboBox::SetDisplayNames(bool V) {
  if (V == FDisplayNames) return;
  FDisplayNames = V;
  Invalidate();
}

void TColorComboBox::SetColorNames(TStrings* V) { FColorNames->Assign(V); }

void TColorComboBox::Change() {
  if (!HasState(csLoading | csReading) && OnChange) OnChange(this);
}

void TColorComboBox::Click() {
  if (ItemIndex() >= 0) SetColorValue(Colors(ItemIndex()));
  TOwnerDrawComboBox::Click();
}

void TColorComboBox::DrawItem(TCanvas* Canvas, int Index, const TRect& Rect, TOwnerDrawState) {
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->FillRect(Rect);
  const TColor Back = Canvas->Brush()->Color();
  TRect Swatch(Rect.Left + 2, Rect.Top + 2, FDisplayNames ? Rect.Left + 2 + 22 : Rect.Right - 3, Rect.Bottom - 2);
  Canvas->Brush()->SetColor(clWindowText);
  Canvas->FillRect(Swatch);
  Canvas->Brush()->SetColor(Colors(Index));
  Canvas->FillRect(InflateRect(Swatch, -1, -1));
  Canvas->Brush()->SetColor(Back);
  if (FDisplayNames && Index >= 0 && Index < Items()->Count()) {
    TRect TextRect(Rect.Left + 28, Rect.Top, Rect.Right, Rect.Bottom);
    Canvas->Brush()->SetStyle(bsClear);
    Canvas->DrawText(Items()->Strings(Index), TextRect, ItemTextFlags);
  }
}

// ---------------------------------------------------------------------------------------------
// TFontComboBox

TFontComboBox::TFontComboBox(TComponent* AOwner)
    : TOwnerDrawComboBox(AOwner),
      FTrueTypeBmp(MakeModuleBitmap("TRUETYPE_FNT")),
      FDeviceBmp(MakeModuleBitmap("DEVICE_FNT")) {
  RecreateList();
}

TFontComboBox::~TFontComboBox() = default;

std::vector<TFontFamilyInfo> TFontComboBox::GetFontFamilies() { return EnumFontFamilies(); }

int TFontComboBox::GetItemHeight() { return Max(FontItemHeight(), FTrueTypeBmp->Height() - 1); }

int TFontComboBox::FontType(int Index) const {
  return Index >= 0 && size_t(Index) < FFontTypes.size() ? FFontTypes[size_t(Index)] : 0;
}

void TFontComboBox::PopulateList() {
  const std::string Kept = FontName();
  FUpdate = true;
  try {
    Clear();
    FFontTypes.clear();
    // Printing goes through the same installed fonts as the screen, so the printer adds no
    // families of its own.
    std::vector<TFontFamilyInfo> Families = GetFontFamilies();
    std::stable_sort(Families.begin(), Families.end(), [](const TFontFamilyInfo& A, const TFontFamilyInfo& B) {
      return AnsiCompareText(A.Name, B.Name) < 0;
    });
    std::vector<std::string> Added;
    Items()->BeginUpdate();
    for (const TFontFamilyInfo& F : Families) {
      // Every family here is usable for text in the program's code page: the character-set
      // options (ANSI only, no OEM, no symbol) pass them all, and there are no OEM fonts.
      if ((FOptions & foTrueTypeOnly) && !F.TrueType) continue;
      if ((FOptions & foFixedPitchOnly) && !F.FixedPitch) continue;
      if (FOptions & foOEMFontsOnly) continue;
      if ((FOptions & foScalableOnly) && !F.TrueType) continue;
      if (std::find(Added.begin(), Added.end(), F.Name) != Added.end()) continue;
      Added.push_back(F.Name);
      Items()->Add(F.Name);
      FFontTypes.push_back((F.TrueType ? TRUETYPE_FONTTYPE : RASTER_FONTTYPE) | TEXT_FONTTYPE);
    }
    Items()->EndUpdate();
    SetFontName(Kept);
  } catch (...) {
    FUpdate = false;
    throw;
  }
  FUpdate = false;
  if (FontName() != Kept) Change();
}

void TFontComboBox::FontsChanged() { PopulateList(); }

void TFontComboBox::SetFontName(const std::string& V) {
  if (V == Text()) return;
  if (HasState(csLoading)) {
    SetText(V);
    return;
  }
  for (int I = 0; I < Items()->Count(); ++I) {
    if (AnsiSameText(Items()->Strings(I), V)) {
      SetItemIndex(I);
      Change();
      return;
    }
  }
  if (Style() == csDropDownList) SetItemIndex(-1);
  else SetText(V);
  Change();
}

void TFontComboBox::SetOptions(TFontListOptions V) {
  if (V == FOptions) return;
  FOptions = V;
  PopulateList();
}

void TFontComboBox::SetTrueTypeOnly(bool V) { SetOptions(V ? FOptions | foTrueTypeOnly : FOptions & ~foTrueTypeOnly); }

void TFontComboBox::SetDevice(TFontDevice V) {
  if (V == FDevice) return;
  FDevice = V;
  PopulateList();
}

void TFontComboBox::SetUseFonts(bool V) {
  if (V == FUseFonts) return;
  FUseFonts = V;
  Invalidate();
}

void TFontComboBox::Change() {
  if (!FUpdate && !HasState(csLoading | csReading) && OnChange) OnChange(this);
}

void TFontComboBox::Click() {
  TOwnerDrawComboBox::Click();
  Change();
}

void TFontComboBox::DrawItem(TCanvas* Canvas, int Index, const TRect& Rect, TOwnerDrawState) {
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->FillRect(Rect);
  const int Type = FontType(Index);
  TBitmap* Mark = (Type & TRUETYPE_FONTTYPE) ? FTrueTypeBmp.get() : (Type & DEVICE_FONTTYPE) ? FDeviceBmp.get() : nullptr;
  if (Mark)
    DrawBitmapTransparent(Canvas, Rect.Left + 2, (Rect.Top + Rect.Bottom - Mark->Height()) / 2, Mark,
                          Mark->TransparentColor());
  const int GlyphWidth = Mark ? Mark->Width() : 20;
  if (Index < 0 || Index >= Items()->Count()) return;
  const std::string& Name = Items()->Strings(Index);
  if (FUseFonts && (Type & TEXT_FONTTYPE)) Canvas->Font()->SetName(Name);
  TRect TextRect(Rect.Left + 2 + GlyphWidth + 6, Rect.Top, Rect.Right, Rect.Bottom);
  Canvas->Brush()->SetStyle(bsClear);
  Canvas->DrawText(Name, TextRect, ItemTextFlags);
}
