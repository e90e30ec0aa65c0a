// The course choice: the courses of scenario.zlb by title, each with its description page, and the
// choice written to the student (with the start of the course when the student never began it).
#pragma once

#include <string>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxImage;
class TVxButton;
class TVxLanguage;
class TFrameViewer;

struct TCourseItem {
  std::string Member;  // "INDEX_nn.SCN"
  std::string Note;    // the description page, relative to the program folder
  std::string Title;
  int Course = -1;     // nn
};

class TScenarioForm : public TForm {
 public:
  explicit TScenarioForm(TComponent* AOwner);
  std::string ClassName() const override { return "TScenarioForm"; }

  TVxImage* VxImage1 = nullptr;
  TLabel* LabelChoose = nullptr;
  TListBox* ListBox = nullptr;
  TFrameViewer* FrameViewer = nullptr;
  TVxButton *BtnOK = nullptr, *BtnCancel = nullptr, *BtnHelp = nullptr;
  TButton* EnterBtn = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;
  std::vector<TCourseItem> Items;

  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void ListBoxClick(TObject* Sender);
  void BtnOKClick(TObject* Sender);
  void BtnCancelClick(TObject* Sender);
  void BtnHelpClick(TObject* Sender);
};

void RegisterScenarioPage();
