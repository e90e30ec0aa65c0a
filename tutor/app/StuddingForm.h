// The course screen: one lesson of the student's course with its steps and which of them are
// done; it starts a step (an HTML page, a text, word or letter exercise, one of the two games, the
// certificate) and, when a step ends, records it and moves the student's position on.
#pragma once

#include <functional>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "tutor/core/Scenario.h"

class TVxImage;
class TVxButton;
class TVxLanguage;

class TStuddingForm : public TForm {
 public:
  explicit TStuddingForm(TComponent* AOwner);
  ~TStuddingForm() override;
  std::string ClassName() const override { return "TStuddingForm"; }

  TVxImage* VxImage1 = nullptr;
  TLabel *ScenarioLabel = nullptr, *LessonLabel = nullptr, *LabelSteps = nullptr;
  TVxButton *JetButton1 = nullptr, *JetButton2 = nullptr;
  TListBox* ExerciseListBox = nullptr;
  TVxButton *BtnStart = nullptr, *BtnCourses = nullptr, *BtnMenu = nullptr, *BtnHelp = nullptr;
  TButton* EnterBtn = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;

  TCourseScript Script;
  int LoadedCourse = -1;
  int CurLesson = 1;    // 1-based
  int CurExercise = 1;  // 1-based

  // Reads the script of the student's course and shows the student's position in it.
  void LoadScenario();
  void ShowLesson(int Index);
  // Records the step just done and advances the position, when that step is the stored position.
  void NextExercise();
  void BtnStartClick(TObject* Sender);

  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void ExerciseListBoxDrawItem(TWinControl* Control, int Index, TRect Rect, TOwnerDrawState State);
  void JetButton1Click(TObject* Sender);
  void JetButton2Click(TObject* Sender);
  void BtnCoursesClick(TObject* Sender);
  void BtnMenuClick(TObject* Sender);
  void BtnHelpClick(TObject* Sender);

  const TCourseLesson* Lesson() const;

  // The game steps (allowed letters, emphasised letters, level); true when the game started.
  // Empty: the games library's entry points, or a "not available" message without it.
  static std::function<bool(const std::string&, const std::string&, int)> StartBomberStep;
  static std::function<bool(const std::string&, const std::string&, int)> StartGalleryStep;

 private:
  bool ReadPosition(int& Lesson, int& Exercise);
  void RecordStep();
  bool StartGame(bool Bomber, const std::vector<std::string>& P);
  bool FStartingGame = false;
  bool FEndedWhileStarting = false;
};

void RegisterCoursePages();
