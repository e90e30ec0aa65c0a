// Two owner-drawn pickers: TColorComboBox lists the 16 basic colours as swatches, TFontComboBox the
// installed font families (optionally only fixed-pitch ones), each with a mark of its kind.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

// A combo box whose items the program draws. Style is one of csDropDown, csSimple and
// csDropDownList (the default); items are always owner-drawn with a fixed height.
class TOwnerDrawComboBox : public TComboBox {
 public:
  explicit TOwnerDrawComboBox(TComponent* AOwner);
  std::string ClassName() const override { return "TOwnerDrawComboBox"; }
  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle V);
  // Draws one item on Canvas in Rect.
  virtual void DrawItem(TCanvas* Canvas, int Index, const TRect& Rect, TOwnerDrawState State) = 0;

 protected:
  virtual int GetItemHeight();
  virtual void PopulateList() = 0;
  // What re-creating the window does: the item height is set again and the list rebuilt.
  void RecreateList();
  void FontChanged() override;
  // Height of the control's font (text metrics + 1), at least 9.
  int FontItemHeight() const;
  bool FChanging = false;

 private:
  TComboBoxStyle FStyle = csDropDownList;
};

class TColorComboBox : public TOwnerDrawComboBox {
 public:
  explicit TColorComboBox(TComponent* AOwner);
  ~TColorComboBox() override;
  std::string ClassName() const override { return "TColorComboBox"; }

  // The chosen colour; on an editable picker with nothing selected, the colour named by the
  // text or the text's number (else the stored value).
  TColor ColorValue() const;
  void SetColorValue(TColor V);
  bool DisplayNames() const { return FDisplayNames; }
  void SetDisplayNames(bool V);
  // Names shown instead of the built-in ones (an empty entry keeps the built-in name).
  TStrings* ColorNames() const { return FColorNames.get(); }
  void SetColorNames(TStrings* V);
  TColor Colors(int Index) const;

  TNotifyEvent OnChange;

  void DrawItem(TCanvas* Canvas, int Index, const TRect& Rect, TOwnerDrawState State) override;
  void Click() override;

 protected:
  void PopulateList() override;
  void Change();
  // The selected item, -1 when none (or when an editable picker's text was changed from it).
  int SelectedIndex() const;

 private:
  TColor FColorValue = clBlack;
  bool FDisplayNames = true;
  std::unique_ptr<TStringList> FColorNames;
  std::vector<TColor> FColors;
};

using TFontListOptions = unsigned;
constexpr TFontListOptions foAnsiOnly = 1, foTrueTypeOnly = 2, foFixedPitchOnly = 4, foNoOEMFonts = 8,
                           foOEMFontsOnly = 16, foScalableOnly = 32, foNoSymbolFonts = 64;
enum TFontDevice { fdScreen, fdPrinter, fdBoth };
// Font-type bits carried by each item.
constexpr int RASTER_FONTTYPE = 1, DEVICE_FONTTYPE = 2, TRUETYPE_FONTTYPE = 4, TEXT_FONTTYPE = 256;

class TFontComboBox : public TOwnerDrawComboBox {
 public:
  explicit TFontComboBox(TComponent* AOwner);
  ~TFontComboBox() override;
  std::string ClassName() const override { return "TFontComboBox"; }

  // The edit text; writing selects the family of that name without regard to case, else sets the
  // text (editable styles) or clears the selection.
  std::string FontName() const { return Text(); }
  void SetFontName(const std::string& V);
  TFontListOptions Options() const { return FOptions; }
  void SetOptions(TFontListOptions V);
  bool TrueTypeOnly() const { return (FOptions & foTrueTypeOnly) != 0; }
  void SetTrueTypeOnly(bool V);
  TFontDevice Device() const { return FDevice; }
  void SetDevice(TFontDevice V);
  // Each family drawn in its own face.
  bool UseFonts() const { return FUseFonts; }
  void SetUseFonts(bool V);
  int FontType(int Index) const;
  // The installed fonts changed: the list is built again, keeping the name.
  void FontsChanged();

  TNotifyEvent OnChange;

  void DrawItem(TCanvas* Canvas, int Index, const TRect& Rect, TOwnerDrawState State) override;
  void Click() override;

 protected:
  // The families that can be listed (the platform's installed families).
  virtual std::vector<TFontFamilyInfo> GetFontFamilies();
  int GetItemHeight() override;
  void PopulateList() override;
  void Change();

 private:
  std::unique_ptr<TBitmap> FTrueTypeBmp, FDeviceBmp;
  TFontDevice FDevice = fdScreen;
  bool FUpdate = false;
  bool FUseFonts = false;
  TFontListOptions FOptions = 0;
  std::vector<int> FFontTypes;
};
