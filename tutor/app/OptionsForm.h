// The options screen: the per-user lesson settings (scrolling, line end, sounds, errors, keyboard
// layout and its finger colours, lesson font and colours, the tip at start-up) and, for this run
// only, full screen or window. Settings are read on the screen's first show and written only by OK.
#pragma once

#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxImage;
class TVxButton;
class TVxCheckbox;
class TVxLanguage;
class TVxSpinEdit;
class TColorComboBox;
class TFontComboBox;
class TKeyboard;

class TOptionsForm : public TForm {
 public:
  explicit TOptionsForm(TComponent* AOwner);
  ~TOptionsForm() override;
  std::string ClassName() const override { return "TOptionsForm"; }

  TVxImage* VxImage1 = nullptr;
  TVxCheckbox *VxCheckbox1 = nullptr, *VxCheckbox2 = nullptr, *VxCheckbox3 = nullptr;
  TVxButton *OKButton = nullptr, *HelpButton = nullptr, *CancelButton = nullptr;
  TButton* EnterButton = nullptr;
  TNotebook* Notebook = nullptr;
  // Page '0'.
  TGroupBox *GroupTextScroll = nullptr, *GroupLineEnd = nullptr, *GroupSound = nullptr, *GroupErrors = nullptr;
  TRadioButton *RadioScrollLine = nullptr, *RadioScrollPage = nullptr, *RadioScrollFine = nullptr;
  TRadioButton *RadioEndEnter = nullptr, *RadioEndSpace = nullptr, *RadioEndBoth = nullptr;
  TCheckBox *SoundCheckBox = nullptr, *SoundKeyCheckBox = nullptr, *SoundErrorCheckBox = nullptr,
            *SoundMetronomCheckBox = nullptr;
  TRadioButton *SoundEMachineRadioButton = nullptr, *SoundOldMachineRadioButton = nullptr;
  TCheckBox *BackspaceCheckBox = nullptr, *WaitCheckBox = nullptr;
  // Page '1'.
  TLabel* LabelKeybChoice = nullptr;
  TComboBox* ComboBox1 = nullptr;
  TCheckBox* CheckBoxColorKeyb = nullptr;
  TShape* KeybShape = nullptr;
  TKeyboard* Keyboard = nullptr;
  // Page '2'.
  TGroupBox *GroupScreenMode = nullptr, *GroupFont = nullptr, *GroupColours = nullptr;
  TRadioButton *RadioDirectX = nullptr, *RadioWindow = nullptr;
  TLabel* LabelFontFace = nullptr;
  TFontComboBox* FontComboBox2 = nullptr;
  TVxSpinEdit* VxSpinEdit1 = nullptr;
  TCheckBox* CheckBoxBold = nullptr;
  TColorComboBox *CBBcgColor = nullptr, *CBTmpColor = nullptr, *CBCorColor = nullptr, *CBErrColor = nullptr;
  TLabel *LabelBcgColor = nullptr, *LabelTmpColor = nullptr, *LabelCorColor = nullptr, *LabelErrColor = nullptr;
  TCheckBox* ShowHintAtStartupCheckBox = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;

  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void OKButtonClick(TObject* Sender);
  void Button2Click(TObject* Sender);
  void HelpButtonClick(TObject* Sender);
  void JetCheckbox1Click(TObject* Sender);
  void ComboBox1Change(TObject* Sender);
  void RadioDirectXClick(TObject* Sender);
  void RadioWindowClick(TObject* Sender);
  void SoundCheckBoxClick(TObject* Sender);
  std::string PageShown() const { return Notebook->ActivePage(); }
  // The picture the layout preview shows ("" for none).
  const std::string& PreviewPicture() const { return FPreview; }

 private:
  void LoadSettings();
  // Checks the display radio button of the host's current mode.
  void ShowDisplayMode();
  bool FLoaded = false;
  std::string FLoadedFont;
  std::string FPreview;
};

void RegisterOptionsPage();
