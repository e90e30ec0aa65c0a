// The main menu page: the hub the other pages return to. Its first paint logs the last student
// on or asks who is typing, then offers the tip of the day; its buttons open the other screens;
// a picture describing each button fades in over the hint area while the mouse is on it.
#pragma once

#include <array>

#include "platform/gui/controls.h"

class TVxImage;
class TVxButton;
class TImage32;
class TBitmapLayer32;
class TBitmapList32;
class TVxLanguage;

class TMainForm : public TForm {
 public:
  explicit TMainForm(TComponent* AOwner);
  ~TMainForm() override;
  std::string ClassName() const override { return "TMainForm"; }

  TVxImage* VxImage1 = nullptr;
  TVxButton *CourseBtn = nullptr, *ExercisesBtn = nullptr, *GamesBtn = nullptr, *ResultsBtn = nullptr,
            *OptionsBtn = nullptr, *StudentsBtn = nullptr, *HelpBtn = nullptr, *AboutBtn = nullptr,
            *SiteBtn = nullptr, *CloseBtn = nullptr;
  // The ten buttons by their Tag.
  std::array<TVxButton*, 10> Buttons{};
  TImage32* ImageBcg = nullptr;
  TBitmapLayer32* Image32 = nullptr;
  TBitmapList32* BitmapList = nullptr;
  TTimer* HintTimer = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;
  int HintIndex = -1;

  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormPaint(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void CourseBtnClick(TObject* Sender);
  void ExercisesBtnClick(TObject* Sender);
  void GamesBtnClick(TObject* Sender);
  void ResultsBtnClick(TObject* Sender);
  void OptionsBtnClick(TObject* Sender);
  void StudentsBtnClick(TObject* Sender);
  void HelpBtnClick(TObject* Sender);
  void AboutBtnClick(TObject* Sender);
  void SiteBtnClick(TObject* Sender);
  void CloseBtnClick(TObject* Sender);
  void JetButton1MouseEnter(TObject* Sender);
  void JetButton1MouseLeave(TObject* Sender);
  void HintTimerTimer(TObject* Sender);
  // Shows the tip dialog.
  void ShowHints();
  // Reads hint picture Index into BitmapList the first time it is wanted.
  void LoadHintPicture(int Index);

  // The process-wide first-paint flag: logon and tips are offered once per run.
  static bool FirstPaintDone();
  static void ResetFirstPaint();  // tests only

 private:
  // The work of the first paint, run after the paint that asked for it has finished.
  void FirstPaintWork();
  std::array<bool, 10> FHintRead{};
};

// Registers the pages of this library with the host services.
void RegisterMenuPages();
