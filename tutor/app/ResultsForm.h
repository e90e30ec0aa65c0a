// The results screen: the figures of the exercise just typed (duration, speed, accuracy, errors),
// the speed and accuracy level texts and the comment of the comment library. When the exercise
// could not be stored, the figures are still those of the exercise and the comment says so.
#pragma once

#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "tutor/app/CommentBuilder.h"

class TVxImage;
class TVxButton;
class TVxLanguage;

// The texts of the four figures, in the program's one number format (decimal comma).
std::string AccuracyText(double Accuracy);   // "97,50 %"
std::string SpeedText(double Cpm);           // "180,25" + the "cpm" message
std::string DurationText(double Seconds);    // "02 min, 05 sec" of the rounded seconds
// The level's Text1, or "" when no level matches.
std::string SpeedLevelText(double Cpm);
std::string AccuracyLevelText(double Accuracy);

class TResultsForm : public TForm {
 public:
  explicit TResultsForm(TComponent* AOwner);
  std::string ClassName() const override { return "TResultsForm"; }

  TVxImage* VxImage1 = nullptr;
  TLabel *LabelDurationCaption = nullptr, *LabelSpeedCaption = nullptr, *LabelAccuracyCaption = nullptr,
         *LabelErrorsCaption = nullptr, *LabelCommentCaption = nullptr;
  TLabel *LabelDuration = nullptr, *LabelSpeed = nullptr, *LabelAccuracy = nullptr, *LabelErrors = nullptr;
  TLabel *LabelSpeedLevel = nullptr, *LabelAccuracyLevel = nullptr;
  TMemo* Memo1 = nullptr;
  TVxButton* BtnClose = nullptr;
  TButton* EnterBtn = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;

  // Fills the screen with the exercise's figures; NotSavedNote (when not empty) heads the comment.
  void ShowExercise(const TExerciseFigures& Figures, const std::string& NotSavedNote = "");
  const TExerciseFigures& Figures() const { return FFigures; }

  void FormClose(TObject* Sender, TCloseAction& Action);
  void BtnCloseClick(TObject* Sender);

 private:
  TExerciseFigures FFigures;
};

// Registers the results page with the host.
void RegisterResultsPage();
