// The lesson screen: every typing exercise runs here, a lesson file, generated words or generated
// letters. It places a typing table and the keyboard picture, keeps the exercise clock with pauses
// and an automatic pause, shows live errors, speed, accuracy, time and progress, plays the key,
// Enter, error and metronome sounds, feeds every checked key into the keystroke statistics and,
// at the end, saves them and shows the results screen. The exit button leaves without saving.
//
// Clock: one reading of the tick count per key; tick differences are taken modulo 2^32, so they
// survive the wrap of the millisecond counter. The automatic pause counts from the last key, so
// the idle seconds before it are not exercise time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "tutor/core/TempStat.h"

class TVxImage;
class TVxButton;
class TVxCheckbox;
class TVxSlider;
class TVxLanguage;
class TDXWaveList;
class TTypingTable;
class TKeyboard;

// The wave items of the lesson.
enum TLessonWave { lwMetronome = 0, lwError = 1, lwEnter = 2, lwKey = 3 };

class TStdLessonForm : public TForm {
 public:
  explicit TStdLessonForm(TComponent* AOwner);
  ~TStdLessonForm() override;
  std::string ClassName() const override { return "TStdLessonForm"; }

  TVxImage* VxImage1 = nullptr;
  TLabel *LabelErrorsCaption = nullptr, *LabelSpeedCaption = nullptr, *LabelAccuracyCaption = nullptr,
         *LabelTimeCaption = nullptr, *LabelProgressCaption = nullptr;
  TLabel *ErrorsLabel = nullptr, *SpeedLabel = nullptr, *AccuracyLabel = nullptr, *TimeLabel = nullptr;
  TLabel* MetronomLabel = nullptr;
  TShape* Shape1 = nullptr;
  TProgressBar* ProgressBar = nullptr;
  TVxButton *BtsTips = nullptr, *BtsHelp = nullptr, *BtsExit = nullptr;
  TVxCheckbox* BtsPauseCheckBox = nullptr;
  TCheckBox* CheckBoxFingers = nullptr;
  TCheckBox* MetronomCheckBox = nullptr;
  TVxSlider* MetronomSlider = nullptr;
  TTimer* Timer1 = nullptr;
  TTimer* Timer2 = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;
  TRect TableShape{8, 8, 792, 268};
  TRect KeybShape{6, 366, 644, 576};

  TTypingTable* Table = nullptr;
  TKeyboard* Keyboard = nullptr;
  std::unique_ptr<TStatList> StatList;
  TDXWaveList* WaveList = nullptr;

  uint32_t StartTick = 0;
  uint32_t LastKeyTick = 0;
  uint32_t PauseTick = 0;
  int Autopause = 5;
  int State = 0;  // 0 paused, 2 running
  bool SoundOn = true, SoundKeyOn = true, SoundErrorOn = true, SoundMetronomOn = true;
  int SoundMachineType = 1;
  std::string Desc, Info;
  // How the last save went (the results screen says when it failed).
  TSaveOutcome LastSave;

  // Each returns false when there is nothing to type: a message is shown, nothing is stored and
  // the return page comes back.
  bool RunTextExercise(const std::string& FileName, const std::string& Desc, const std::string& Info);
  bool RunCourseTextExercise(const std::string& FileName, const std::string& LessonName, const std::string& StepName);
  bool RunWordExercise(const std::string& Allowed, const std::string& Emphasis, int Count, const std::string& Desc,
                       const std::string& Info);
  bool RunLetterExercise(const std::string& Allowed, const std::string& Emphasis, int Count, const std::string& Desc,
                         const std::string& Info);

  void Setup();
  void Start();
  void ShowInstruction();
  void SetLessonState(int S);
  void OnLessonKey(char Expected, char Typed);
  void FinishLesson();
  void Timer1Timer(TObject* Sender);
  void Timer2Timer(TObject* Sender);
  void UpdateLessonDisplay();
  void MetronomSliderChange(TObject* Sender);
  void MetronomCheckBoxClick(TObject* Sender);
  void BtsPauseCheckBoxClick(TObject* Sender);
  void BtsHelpClick(TObject* Sender);
  void BtsTipsClick(TObject* Sender);
  void BtsExitClick(TObject* Sender);
  void CheckBoxFingersClick(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void LoadKeyboard(bool Fingers);
  void LoadSounds();
  void PlayWave(int Index);

  // Every wave the lesson decides to play, before it reaches the sound object (tests).
  static std::function<void(int Wave)> OnPlayWave;
  // The message boxes of the screen ("nothing to type"); tests replace it.
  static std::function<void(const std::string& Text)> ShowLessonMessage;
  // The course runner's next step after a finished exercise; empty outside a course.
  static std::function<void()> NextExercise;

 private:
  void SetLessonState(int S, uint32_t Now);
  bool Begin(bool HasText);
  bool FFinishing = false;
  bool FHasFileLines = false;
};

// Registers the lesson page with the host.
void RegisterLessonPage();
