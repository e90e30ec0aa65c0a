// The help page: the help documents in a frames viewer, and OK back to the menu.
#pragma once

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxImage;
class TVxButton;
class TFrameViewer;
class TVxLanguage;

class THelpForm : public TForm {
 public:
  explicit THelpForm(TComponent* AOwner);
  std::string ClassName() const override { return "THelpForm"; }

  TVxImage* VxImage1 = nullptr;
  TVxButton* BtnOK = nullptr;
  TButton* EnterButton = nullptr;
  TFrameViewer* FrameViewer = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;

  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void EnterButtonClick(TObject* Sender);
};
