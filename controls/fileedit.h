// An edit box with a small button at its right edge (TCustomComboEdit) and the file-name edit whose
// button opens the file dialog (TFilenameEdit).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "controls/speedbutton.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/stdctrls.h"

VX_DECLARE_EXCEPTION(EComboEditError, Exception)

// A key with its shift keys in one number, as menus and ClickKey hold them.
using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
TShortCut ShortCut(uint16_t Key, TShiftState Shift);

enum TGlyphKind { gkCustom, gkDefault, gkDropDown, gkEllipsis };
enum TFileDialogKind { dkOpen, dkSave, dkOpenPicture, dkSavePicture };
enum TFileEditStyle { fsEdit, fsComboBox };
using TExecOpenDialogEvent = std::function<void(TObject* Sender, std::string& Name, bool& Action)>;

class TCustomComboEdit;

// The button of a combo edit: a speed button with a separating edge towards the text.
class TEditButton : public TVxSpeedButton {
 public:
  explicit TEditButton(TComponent* AOwner);
  std::string ClassName() const override { return "TEditButton"; }
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
};

class TCustomComboEdit : public TEdit {
 public:
  explicit TCustomComboEdit(TComponent* AOwner);
  ~TCustomComboEdit() override;
  std::string ClassName() const override { return "TCustomComboEdit"; }

  TEditButton* Button() const { return FButton; }
  int ButtonWidth() const;
  void SetButtonWidth(int V);
  const std::string& ButtonHint() const { return FButton->Hint(); }
  void SetButtonHint(const std::string& V) { FButton->SetHint(V); }
  TBitmap* Glyph() const { return FButton->Glyph(); }
  void SetGlyph(TBitmap* V);
  TVxNumGlyphs NumGlyphs() const { return FButton->NumGlyphs(); }
  void SetNumGlyphs(TVxNumGlyphs V);
  TGlyphKind GlyphKind() const { return FGlyphKind; }
  void SetGlyphKind(TGlyphKind V);
  TShortCut ClickKey() const { return FClickKey; }
  void SetClickKey(TShortCut V) { FClickKey = V; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool V);
  // With DirectInput cleared the text cannot be typed, cut or pasted; the button still works.
  bool DirectInput() const { return FDirectInput; }
  void SetDirectInput(bool V);
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool V) { FAutoSelect = V; }

  TNotifyEvent OnButtonClick;

  // Clicks the button (ignored while ReadOnly is set).
  virtual void ButtonClick();
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void DoEnter() override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

 protected:
  // The button's picture for gkDefault (none here).
  virtual TBitmap* GetDefaultBitmap() { return nullptr; }
  // The work of the button after OnButtonClick.
  virtual void DoButtonWork() {}
  void FontChanged() override;
  void RecreateGlyph();
  void PlaceButton();

 private:
  TEditButton* FButton = nullptr;
  TCustomControl* FBtnControl = nullptr;
  TShortCut FClickKey = scAlt | VK_DOWN;
  bool FReadOnly = false;
  bool FDirectInput = true;
  bool FAutoSelect = true;
  TGlyphKind FGlyphKind = gkCustom;
  std::unique_ptr<TBitmap> FMadeGlyph;  // the drop-down arrow or the ellipsis
  int GetMinHeight() const;
  void ApplyReadOnly();
};

// An edit for a file or folder name: the shared folder picture on its button, the events around
// the dialog, and the multiple-selection switch.
class TFileDirEdit : public TCustomComboEdit {
 public:
  explicit TFileDirEdit(TComponent* AOwner);
  std::string ClassName() const override { return "TFileDirEdit"; }
  bool AcceptFiles() const { return FAcceptFiles; }
  void SetAcceptFiles(bool V) { FAcceptFiles = V; }
  bool MultipleDirs() const { return FMultipleDirs; }
  void SetMultipleDirs(bool V) { FMultipleDirs = V; }
  // Names dropped on the edit: with MultipleDirs every one is kept and the first is shown,
  // otherwise only the first is taken. Then OnDropFiles fires.
  void DropFiles(const std::vector<std::string>& Names);

  TExecOpenDialogEvent OnBeforeDialog, OnAfterDialog;
  TNotifyEvent OnDropFiles;

 protected:
  TBitmap* GetDefaultBitmap() override;
  virtual std::string GetLongName() = 0;
  virtual std::string GetShortName() = 0;
  virtual void ReceptFileDir(const std::string& AFileName) = 0;
  virtual void ClearFileList() {}

 private:
  bool FAcceptFiles = false;
  bool FMultipleDirs = false;
};

class TFilenameEdit : public TFileDirEdit {
 public:
  explicit TFilenameEdit(TComponent* AOwner);
  ~TFilenameEdit() override;
  std::string ClassName() const override { return "TFilenameEdit"; }

  // The text cut to one file name: the text itself when such a file exists, else its first
  // command-line item (surrounding quotes removed).
  std::string FileName() const;
  // Raises EComboEditError "Invalid file name - %s" for a name that is no valid file name;
  // a name with a blank is shown in double quotes.
  void SetFileName(const std::string& V);
  TFileDialogKind DialogKind() const { return FDialogKind; }
  void SetDialogKind(TFileDialogKind V);
  TOpenDialog* Dialog() const { return FDialog; }
  const std::string& DefaultExt() const { return FDialog->DefaultExt; }
  void SetDefaultExt(const std::string& V) { FDialog->DefaultExt = V; }
  TFileEditStyle FileEditStyle() const { return FFileEditStyle; }
  void SetFileEditStyle(TFileEditStyle V) { FFileEditStyle = V; }
  const std::string& Filter() const { return FDialog->Filter; }
  void SetFilter(const std::string& V) { FDialog->Filter = V; }
  int FilterIndex() const { return FDialog->FilterIndex; }
  void SetFilterIndex(int V) { FDialog->FilterIndex = V; }
  const std::string& InitialDir() const { return FDialog->InitialDir; }
  void SetInitialDir(const std::string& V) { FDialog->InitialDir = V; }
  TStrings* HistoryList() const { return FHistoryList.get(); }
  unsigned DialogOptions() const { return FDialog->Options; }
  void SetDialogOptions(unsigned V);
  const std::string& DialogTitle() const { return FDialog->Title; }
  void SetDialogTitle(const std::string& V) { FDialog->Title = V; }
  // The names taken from the last multiple choice or drop.
  TStrings* Files() const { return FFiles.get(); }

 protected:
  void DoButtonWork() override;
  // Shows the dialog; true when a file was chosen (its name is then in Dialog()->FileName).
  virtual bool ExecuteDialog();
  std::string GetLongName() override;
  std::string GetShortName() override;
  void ReceptFileDir(const std::string& AFileName) override;
  void ClearFileList() override;

 private:
  TOpenDialog* FDialog = nullptr;
  TFileDialogKind FDialogKind = dkOpen;
  TFileEditStyle FFileEditStyle = fsEdit;
  std::unique_ptr<TStringList> FHistoryList, FFiles;
};
