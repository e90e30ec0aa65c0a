// The statistics screen: a summary of the logged-on student's progress and two bar charts of the
// per-key speed and accuracy of the latest exercise's keystroke snapshot, 15 keys a page.
#pragma once

#include <string>

#include "platform/gui/chart.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxImage;
class TVxButton;
class TVxCheckbox;
class TVxLanguage;

class TStatForm : public TForm {
 public:
  explicit TStatForm(TComponent* AOwner);
  std::string ClassName() const override { return "TStatForm"; }

  TVxImage* VxImage1 = nullptr;
  TVxCheckbox* Tabs[3] = {};
  TNotebook* Notebook = nullptr;
  TLabel *LabelStudentCaption = nullptr, *LabelCountCaption = nullptr, *LabelCourseCaption = nullptr,
         *LabelTimeCaption = nullptr, *LabelSpeedCaption = nullptr, *LabelAccuracyCaption = nullptr;
  TLabel *LabelStudent = nullptr, *LabelCount = nullptr, *LabelCourse = nullptr, *LabelTime = nullptr,
         *LabelSpeed = nullptr, *LabelAccuracy = nullptr;
  // Index 0: speed chart (page "1"), 1: accuracy chart (page "2").
  TChart* Charts[2] = {};
  TChartSeries* Series[2] = {};
  TLabel* UnitLabels[2] = {};
  TVxButton* BtnLeft[2] = {};
  TVxButton* BtnRight[2] = {};
  TVxButton* BtnHelp = nullptr;
  TVxButton* BtnClose = nullptr;
  TButton* EnterBtn = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;

  // The label of a key code on the charts' bottom axis.
  static std::string KeyLabel(int Key);

  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void JetCheckbox1Click(TObject* Sender);
  void ShowTab(int Tag);
  // Moves chart C (0 or 1) by Delta pages and updates its page buttons.
  void ChartPage(int C, int Delta);
  void UpdatePageButtons(int C);
  void HelpButtonClick(TObject* Sender);
  void BtnCloseClick(TObject* Sender);
  std::string PageShown() const { return Notebook->ActivePage(); }
  // The practice whose snapshot the charts show (-1: none).
  int ShownPractice() const { return FPractice; }

 private:
  void FillCharts(int Practice);
  int FPractice = -1;
};

void RegisterStatPage();
