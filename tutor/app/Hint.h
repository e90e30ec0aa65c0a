// The tip of the day: a dialog over the menu that shows one HTML tip of hints.zlb, with Prev and
// Next, and remembers which tip comes next time.
#pragma once

#include <memory>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxImage;
class TVxButton;
class THTMLViewer;
class TVxLanguage;
class TZLBArchive;

class THintForm : public TForm {
 public:
  explicit THintForm(TComponent* AOwner);
  ~THintForm() override;
  std::string ClassName() const override { return "THintForm"; }

  TVxImage* VxImage1 = nullptr;
  TVxButton *BtnOK = nullptr, *PrevButton = nullptr, *NextButton = nullptr;
  TButton* EnterButton = nullptr;
  TCheckBox* ShowAtStartupCheckBox = nullptr;
  THTMLViewer* HTMLViewer = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;

  int HintNumber = 0;
  std::unique_ptr<TStringList> HintNames;  // sorted member names, or none
  std::unique_ptr<TZLBArchive> HintArchive;

  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void BtnOKClick(TObject* Sender);
  void NextButtonClick(TObject* Sender);
  bool LoadHintList();
  bool ShowHint();
};

// The tips global: the dialog while it is shown.
extern THintForm* HintForm;

// Creates the dialog owned by Owner and shows it modally when a tip can be shown; otherwise it
// is freed unseen.
void RunHintDialog(TComponent* Owner);
