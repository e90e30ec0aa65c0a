#include "tutor/app/StdLesson.h"

#include <algorithm>
#include <iostream>

#include "controls/slider.h"
#include "controls/vxbutton.h"
#include "controls/vxcheckbox.h"
#include "controls/vximage.h"
#include "dx/dxsound.h"
#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "tutor/MsgDialog.h"
#include "tutor/OptionsReg.h"
#include "tutor/VxLang.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/app/HTMLInstruction.h"
#include "tutor/app/Keyboard.h"
#include "tutor/app/ResultsForm.h"
#include "tutor/app/TypingTable.h"
#include "tutor/app/panel.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/KeybList.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

std::function<void(int)> TStdLessonForm::OnPlayWave;
std::function<void(const std::string&)> TStdLessonForm::ShowLessonMessage;
std::function<void()> TStdLessonForm::NextExercise;

namespace {

constexpr TColor kNavy = static_cast<TColor>(0x800000);
// A key sound may overlap itself this often; more would only add noise (and buffers).
constexpr int kMaxVoices = 4;

// The message of Id, or Fallback while the message table has no such line.

void LogError(const std::exception& E) {
  std::cerr << "vx: " << E.what() << "\n";
  try {
    if (ELogger) ELogger->LogException(E, nullptr, Now());
  } catch (...) {
  }
}

TLabel* MakeLabel(TForm* Owner, const char* Name, int X, int Y, const std::string& Caption, bool Bold = false) {
  auto* L = new TLabel(Owner);
  L->SetName(Name);
  L->SetParent(Owner);
  L->SetTransparent(true);
  L->SetLeft(X);
  L->SetTop(Y);
  L->Font()->SetName("MS Sans Serif");
  L->Font()->SetSize(10);
  L->Font()->SetColor(kNavy);
  if (Bold) L->Font()->SetStyle(fsBold);
  L->SetCaption(Caption);
  return L;
}

TVxButton* MakeButton(TForm* Owner, TZLBArchive* Archive, const char* Name, const std::string& Picture, int X,
                      int Y) {
  auto* B = new TVxButton(Owner);
  B->SetName(Name);
  B->SetTransparentColor(static_cast<TColor>(0x0200FF00));
  B->SetParent(Owner);
  B->SetArchive(Archive);
  B->SetFNameUp(Picture + "_up.bmp");
  B->SetFNameDown(Picture + "_down.bmp");
  B->SetFNameOver(Picture + "_over.bmp");
  B->SetFNameDisabled(Picture + "_disabled.bmp");
  B->SetLeft(X);
  B->SetTop(Y);
  return B;
}

// The value of the first header line "Name=value" of Lines, the name matched without regard to case.
std::string HeaderValue(const TStrings* Lines, const std::string& Name) {
  if (!Lines) return "";
  for (int I = 0; I < Lines->Count(); ++I) {
    const std::string& L = Lines->Strings(I);
    const auto Eq = L.find('=');
    if (Eq == std::string::npos) continue;
    if (SameText(Trim(L.substr(0, Eq)), Name)) return Trim(L.substr(Eq + 1));
  }
  return "";
}

}  // namespace

TStdLessonForm::TStdLessonForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("StdLessonForm");
  SetBorderStyle(bsNone);
  SetClientWidth(800);
  SetClientHeight(600);
  Font()->SetName("MS Sans Serif");
  Font()->SetSize(10);
  TZLBArchive* Archive = PanelForm ? PanelForm->MainArchive : nullptr;
  VxImage1 = new TVxImage(this);
  VxImage1->SetName("VxImage1");
  VxImage1->SetParent(this);
  VxImage1->SetBounds(0, 0, 800, 600);
  VxImage1->SetArchive(Archive);
  VxImage1->SetBitmapName("stdlesson_bcg.bmp");

  LabelErrorsCaption = MakeLabel(this, "LabelErrorsCaption", 20, 290, "ilo\x9C\xE6 b\xB3\xEA\x64\xF3w :");
  ErrorsLabel = MakeLabel(this, "ErrorsLabel", 130, 290, "0", true);
  LabelSpeedCaption = MakeLabel(this, "LabelSpeedCaption", 180, 290, "szybko\x9C\xE6 zn./min.: ");
  SpeedLabel = MakeLabel(this, "SpeedLabel", 320, 290, "0,00", true);
  LabelAccuracyCaption = MakeLabel(this, "LabelAccuracyCaption", 390, 290, "bezb\xB3\xEA\x64no\x9C\xE6 % : ");
  AccuracyLabel = MakeLabel(this, "AccuracyLabel", 510, 290, "100,00", true);
  LabelTimeCaption = MakeLabel(this, "LabelTimeCaption", 20, 314, "czas :");
  TimeLabel = MakeLabel(this, "TimeLabel", 130, 314, "00:00:00", true);
  LabelProgressCaption = MakeLabel(this, "LabelProgressCaption", 20, 336, "post\xEAp lekcji");
  ProgressBar = new TProgressBar(this);
  ProgressBar->SetName("ProgressBar");
  ProgressBar->SetParent(this);
  ProgressBar->SetBounds(130, 336, 500, 14);

  CheckBoxFingers = new TCheckBox(this);
  CheckBoxFingers->SetName("CheckBoxFingers");
  CheckBoxFingers->SetParent(this);
  CheckBoxFingers->SetBounds(652, 280, 130, 18);
  CheckBoxFingers->SetCaption("palcowanie");
  MetronomCheckBox = new TCheckBox(this);
  MetronomCheckBox->SetName("MetronomCheckBox");
  MetronomCheckBox->SetParent(this);
  MetronomCheckBox->SetBounds(652, 300, 100, 18);
  MetronomCheckBox->SetCaption("metronom");
  Shape1 = new TShape(this);
  Shape1->SetName("Shape1");
  Shape1->SetParent(this);
  Shape1->SetBounds(760, 301, 16, 16);
  Shape1->Brush()->SetColor(clWhite);
  MetronomLabel = MakeLabel(this, "MetronomLabel", 652, 320, "");
  MetronomLabel->Font()->SetColor(clWhite);  // beside the panel, on the dark background
  MetronomSlider = new TVxSlider(this);
  MetronomSlider->SetName("MetronomSlider");
  MetronomSlider->SetParent(this);
  MetronomSlider->SetBounds(652, 338, 136, 24);
  MetronomSlider->SetMinValue(60);
  MetronomSlider->SetMaxValue(300);
  MetronomSlider->SetValue(120);
  MetronomSlider->SetEnabled(false);

  BtsPauseCheckBox = new TVxCheckbox(this);
  static_cast<TComponent*>(BtsPauseCheckBox)->SetName("BtsPauseCheckBox");
  BtsPauseCheckBox->SetTransparentColor(static_cast<TColor>(0x0200FF00));
  BtsPauseCheckBox->SetParent(this);
  BtsPauseCheckBox->SetArchive(Archive);
  BtsPauseCheckBox->SetFNameUnchecked("BtsPause_out.bmp");
  BtsPauseCheckBox->SetFNameChecked("BtsPause_check.bmp");
  BtsPauseCheckBox->SetFNameOverUnchecked("BtsPause_over.bmp");
  BtsPauseCheckBox->SetFNameOverChecked("BtsPause_overcheck.bmp");
  BtsPauseCheckBox->SetLeft(652);
  BtsPauseCheckBox->SetTop(372);
  BtsPauseCheckBox->SetCaption("pauza");
  BtsTips = MakeButton(this, Archive, "BtsTips", "BtsTips", 652, 420);
  BtsHelp = MakeButton(this, Archive, "BtsHelp", "BtsHelp", 652, 468);
  BtsExit = MakeButton(this, Archive, "BtsExit", "BtsExit", 652, 516);
  // The pictures carry only an icon: the word beside it is the button's caption.
  BtsTips->SetCaption("porady");
  BtsHelp->SetCaption("pomoc");
  BtsExit->SetCaption("koniec");

  Timer1 = new TTimer(this);
  Timer1->SetEnabled(false);
  Timer1->SetInterval(1000);
  Timer2 = new TTimer(this);
  Timer2->SetEnabled(false);
  Timer2->SetInterval(500);

  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("StdLessonForm");
  for (const char* P : {"StdLessonForm.Caption", "LabelErrorsCaption.Caption", "LabelSpeedCaption.Caption",
                        "LabelAccuracyCaption.Caption", "LabelTimeCaption.Caption", "LabelProgressCaption.Caption",
                        "CheckBoxFingers.Caption", "MetronomCheckBox.Caption", "BtsPauseCheckBox.Caption",
                        "BtsTips.Caption", "BtsHelp.Caption", "BtsExit.Caption", "BtsTips.Hint", "BtsHelp.Hint",
                        "BtsExit.Hint"})
    VxLanguage1->Properties()->Add(P);
  VxLanguage1->Translate();

  // FormCreate: sounds, table and keyboard.
  SetErrorSection("TStdLessonForm.FormCreate");
  WaveList = new TDXWaveList(this);
  if (PageHost() && PageHost()->Sound()) WaveList->SetDXSound(PageHost()->Sound());
  SoundOn = PrgReg ? PrgReg->ReadBool("Options", "SoundOn", true) : true;
  SoundKeyOn = PrgReg ? PrgReg->ReadBool("Options", "SoundKeyOn", true) : true;
  SoundErrorOn = PrgReg ? PrgReg->ReadBool("Options", "SoundErrorOn", true) : true;
  SoundMetronomOn = PrgReg ? PrgReg->ReadBool("Options", "SoundMetronomOn", true) : true;
  SoundMachineType = PrgReg ? PrgReg->ReadInteger("Options", "SoundMachineType", 1) : 1;
  LoadSounds();
  Table = new TTypingTable(this);
  Table->SetName("Table");
  Table->SetParent(this);
  Table->SetBounds(TableShape.Left, TableShape.Top, TableShape.Width(), TableShape.Height());
  Table->OnKey = [this](char E, char T) { OnLessonKey(E, T); };
  SetActiveControl(Table);
  Keyboard = new TKeyboard(this);
  Keyboard->SetName("Keyboard");
  Keyboard->SetParent(this);
  Keyboard->SetBounds(KeybShape.Left, KeybShape.Top, KeybShape.Width(), KeybShape.Height());

  Timer1->OnTimer = [this](TObject* S) { Timer1Timer(S); };
  Timer2->OnTimer = [this](TObject* S) { Timer2Timer(S); };
  MetronomSlider->OnChange = [this](TObject* S) { MetronomSliderChange(S); };
  MetronomCheckBox->OnClick = [this](TObject* S) { MetronomCheckBoxClick(S); };
  CheckBoxFingers->OnClick = [this](TObject* S) { CheckBoxFingersClick(S); };
  BtsPauseCheckBox->OnClick = [this](TObject* S) { BtsPauseCheckBoxClick(S); };
  BtsHelp->OnClick = [this](TObject* S) { BtsHelpClick(S); };
  BtsTips->OnClick = [this](TObject* S) { BtsTipsClick(S); };
  BtsExit->OnClick = [this](TObject* S) { BtsExitClick(S); };
  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
}

TStdLessonForm::~TStdLessonForm() {
  Timer1->SetEnabled(false);
  Timer2->SetEnabled(false);
  if (Table) Table->OnKey = nullptr;
}

void TStdLessonForm::LoadSounds() {
  SetErrorSection("TStdLessonForm.LoadSounds");
  TDXSound* Sound = PageHost() ? PageHost()->Sound() : nullptr;
  if (!Sound || !Sound->Initialized()) return;
  try {
    TZLBArchive A;
    if (!A.OpenArchive(ProgramPath(vx::res::kSoundsArchive))) return;
    const std::string Names[4] = {vx::res::kMetronomeSound, Format(vx::res::kErrorSoundFormat, {SoundMachineType}),
                                  Format(vx::res::kEnterSoundFormat, {SoundMachineType}),
                                  Format(vx::res::kKeySoundFormat, {SoundMachineType})};
    for (const std::string& N : Names) {
      TWaveCollectionItem* Item = WaveList->Items()->Add();
      Item->SetMaxPlayingCount(kMaxVoices);
      A.ExtractAndLoad(N, [Item](TStream* S) { Item->Wave().LoadFromStream(S); });
    }
    WaveList->Items()->Initialize(Sound);
  } catch (const std::exception& E) {
    // The lesson runs silently.
    std::cerr << "vx: lesson sounds: " << E.what() << "\n";
  }
}

void TStdLessonForm::PlayWave(int Index) {
  if (!SoundOn) return;
  if (OnPlayWave) OnPlayWave(Index);
  try {
    TWaveCollection* Items = WaveList->Items();
    if (Items->Initialized() && Index < Items->Count()) Items->Items(Index)->Play(false);
  } catch (const std::exception& E) {
    std::cerr << "vx: lesson sound: " << E.what() << "\n";
  }
}

void TStdLessonForm::LoadKeyboard(bool Fingers) {
  SetErrorSection("TStdLessonForm.LoadKeyboard");
  const int Index = PrgReg ? PrgReg->ReadInteger("Options", "Keyboard", 0) : 0;
  TKeybDefItem* L = KeybList ? KeybList->Item(Index) : nullptr;
  if (!L) return;  // no picture; the lesson still runs
  Keyboard->LoadKeyboard(KeybList->Archive(), Fingers ? L->FingersImage : L->Image, L->KeysFile, L->CharsFile);
}

void TStdLessonForm::Setup() {
  SetErrorSection("TStdLessonForm.Setup");
  auto RI = [](const char* N, int D) { return PrgReg ? PrgReg->ReadInteger("Options", N, D) : D; };
  auto RB = [](const char* N, bool D) { return PrgReg ? PrgReg->ReadBool("Options", N, D) : D; };
  Autopause = RI("Autopause", 5);
  Table->BcgColor = static_cast<TColor>(RI("BcgColor", 0xFFFFFF));
  Table->TmpColor = static_cast<TColor>(RI("TmpColor", 0));
  Table->ErrColor = static_cast<TColor>(RI("ErrColor", 255));
  Table->CorColor = static_cast<TColor>(RI("CorColor", 0x800000));
  Table->Font()->SetName(PrgReg ? PrgReg->ReadString("Options", "LessonFont", "Courier New") : "Courier New");
  Table->Font()->SetCharset(238);
  Table->Font()->SetStyle(RB("LessonFontBold", false) ? fsBold : 0);
  Table->Font()->SetSize(RI("LessonFontSize", 10));
  Table->Clear();
  LoadKeyboard(RB("KeybHints", false));
  Table->Keystrokes = 0;
  Table->Errors = 0;
  if (Table->CanFocus()) Table->SetFocus();
}

bool TStdLessonForm::RunTextExercise(const std::string& FileName, const std::string& ADesc, const std::string& AInfo) {
  SetErrorSection("TStdLessonForm.RunTextExercise");
  Desc = ADesc;
  Info = AInfo;
  if (PageHost()) PageHost()->Ping(Desc, Info);
  StatList = std::make_unique<TStatList>(1, 1, Info, ExtractFileName(FileName), Desc);
  Setup();
  if (!FileName.empty()) Table->LoadLessonText(FileName);
  FHasFileLines = !FileName.empty();
  return Begin(true);
}

bool TStdLessonForm::RunCourseTextExercise(const std::string& FileName, const std::string& LessonName,
                                           const std::string& StepName) {
  SetErrorSection("TStdLessonForm.RunCourseTextExercise");
  Desc = LessonName;
  Info = StepName;
  if (PageHost()) PageHost()->Ping(Desc, Info);
  StatList = std::make_unique<TStatList>(1, 1, LessonName, ExtractFileName(FileName), StepName);
  Setup();
  if (!FileName.empty()) Table->LoadLessonText(FileName);
  FHasFileLines = !FileName.empty();
  return Begin(true);
}

bool TStdLessonForm::RunWordExercise(const std::string& Allowed, const std::string& Emphasis, int Count,
                                     const std::string& ADesc, const std::string& AInfo) {
  SetErrorSection("TStdLessonForm.RunWordExercise");
  Desc = ADesc;
  Info = AInfo;
  if (PageHost()) PageHost()->Ping(Desc, Info);
  StatList = std::make_unique<TStatList>(0, 2, Allowed + " " + Emphasis, "", Desc);
  Setup();
  Table->SetWords(Allowed, Emphasis, Count);
  FHasFileLines = false;
  return Begin(false);
}

bool TStdLessonForm::RunLetterExercise(const std::string& AAllowed, const std::string& AEmphasis, int Count,
                                       const std::string& ADesc, const std::string& AInfo) {
  SetErrorSection("TStdLessonForm.RunLetterExercise");
  Desc = ADesc;
  Info = AInfo;
  if (PageHost()) PageHost()->Ping(Desc, Info);
  StatList = std::make_unique<TStatList>(0, 3, AAllowed + " " + AEmphasis, "", Desc);
  Setup();
  std::string Allowed = AAllowed;
  if (Allowed.empty())
    for (const TCharDef& C : Keyboard->Chars)
      if (C.Char != ' ' && C.Char != static_cast<char>(182) && Allowed.find(C.Char) == std::string::npos)
        Allowed += C.Char;
  const std::string Emphasis = AEmphasis.empty() ? Allowed : AEmphasis;
  FHasFileLines = false;
  // An empty layout map leaves nothing to draw letters from.
  if (!Allowed.empty()) Table->SetLetters(Allowed, Emphasis, Count);
  else Table->SourceLines->Clear(), Table->Prepare();
  return Begin(false);
}

bool TStdLessonForm::Begin(bool) {
  if (Table->NothingToType()) {
    SetErrorSection("TStdLessonForm.NothingToType");
    StatList.reset();
    const std::string Text = Translate("ERR004");
    if (ShowLessonMessage) ShowLessonMessage(Text);
    else TranslatedMessageDlg(Text, mtInformation, MsgDlgButton(mbOK), 0);
    Close();
    if (PageHost()) PageHost()->ShowReturnPage();
    return false;
  }
  Start();
  if (Table->CanFocus()) Table->SetFocus();
  return true;
}

void TStdLessonForm::Start() {
  SetErrorSection("TStdLessonForm.Start");
  UpdateLessonDisplay();
  BtsTips->SetEnabled(FHasFileLines);
  ShowInstruction();
  MetronomSlider->SetValue(std::clamp(PrgReg ? PrgReg->ReadInteger("Options", "MetronomSpeed", 120) : 120, 60, 300));
  MetronomSliderChange(nullptr);
  MetronomCheckBox->SetChecked(PrgReg ? PrgReg->ReadBool("Options", "Metronom", false) : false);
  MetronomCheckBoxClick(nullptr);
  SetLessonState(1);
}

void TStdLessonForm::ShowInstruction() {
  SetErrorSection("TStdLessonForm.ShowInstruction");
  SetLessonState(0);
  if (FHasFileLines) {
    std::string Doc = HeaderValue(Table->FileLines.get(), "#inst");
    if (Doc.empty()) Doc = HeaderValue(Table->FileLines.get(), "#htmlinst");
    if (!Doc.empty()) {
      // The header names a document of the program folder; a missing one is logged, not shown.
      if (FileExists(ProgramPath(Doc))) ShowInstructionBox(Translate("Instruction"), Doc);
      else LogError(Exception("The instruction " + Doc + " of the lesson does not exist"));
    }
  }
  SetLessonState(2);
}

void TStdLessonForm::SetLessonState(int S) { SetLessonState(S, GetTickCount()); }

void TStdLessonForm::SetLessonState(int S, uint32_t Now) {
  if (S == 1) {
    PauseTick = 0;
  } else if (S != State) {
    Timer1->SetEnabled(S == 2);
    if (MetronomCheckBox->Checked()) Timer2->SetEnabled(S == 2);
    if (S == 2) {
      StartTick += Now - PauseTick;
      LastKeyTick = Now;
    } else {
      PauseTick = Now;
    }
    State = S;
  }
  BtsPauseCheckBox->SetChecked(State != 2);
}

void TStdLessonForm::OnLessonKey(char Expected, char Typed) {
  const uint32_t Now = GetTickCount();
  SetLessonState(2, Now);
  if (Table->Finished && Expected == 0) {
    FinishLesson();
    return;
  }
  if (Expected == 0) return;
  Keyboard->HighlightChar(Table->NextChar);
  if (Typed != 0 && Typed != 8) {
    if (StatList) StatList->AddKeystroke(Expected, Typed, static_cast<int32_t>(Now - LastKeyTick));
    if (Typed != Expected) {
      if (SoundErrorOn) PlayWave(lwError);
    } else if (Typed == 13) {
      if (SoundKeyOn) PlayWave(lwEnter);
    } else if (SoundKeyOn) {
      PlayWave(lwKey);
    }
  }
  LastKeyTick = Now;
}

void TStdLessonForm::FinishLesson() {
  if (FFinishing || !StatList) return;
  FFinishing = true;
  SetErrorSection("TStdLessonForm.FinishLesson");
  SetLessonState(0);
  TKeyStatsArray Stats;
  StatList->ComputeKeyStats(Stats);
  std::string Name, Sex;
  if (DM && DM->TbStudent && DM->TbStudent->Active() && !DM->TbStudent->IsEmpty()) {
    try {
      Name = DM->TbStudent->FieldByName("NAME")->AsString();
      Sex = DM->TbStudent->FieldByName("SEX")->AsString();
    } catch (const std::exception& E) {
      LogError(E);
    }
  }
  if (DM) {
    LastSave = StatList->SaveStatistics(DM);
  } else {
    LastSave = TSaveOutcome();
    LastSave.Error = "no database";
  }
  if (!LastSave.Saved) LogError(Exception("The exercise was not saved: " + LastSave.Error));
  const TExerciseFigures Figures = FiguresOf(Stats[0], Name, Sex);
  // The screen is freed later, after the key handler that got here has returned.
  Close();
  if (TPageHost* Host = PageHost()) {
    Host->ShowPage(TPageId::Results);
    if (auto* R = dynamic_cast<TResultsForm*>(Host->FindPage(TPageId::Results)))
      R->ShowExercise(Figures, LastSave.Saved ? "" : Translate("ERR005"));
  }
  StatList.reset();
  if (NextExercise) NextExercise();
}

void TStdLessonForm::Timer1Timer(TObject*) {
  SetErrorSection("TStdLessonForm.Timer1Timer");
  const uint32_t Now = GetTickCount();
  if (State == 2 && static_cast<uint32_t>(Now - LastKeyTick) > static_cast<uint32_t>(std::max(0, Autopause)) * 1000u) {
    // The pause began with the last key: the idle seconds are no exercise time.
    SetLessonState(0, LastKeyTick);
  }
  UpdateLessonDisplay();
}

void TStdLessonForm::UpdateLessonDisplay() {
  ProgressBar->SetMax(std::max(1, Table->TextLength));
  ProgressBar->SetPosition(std::clamp(Table->Keystrokes, 0, std::max(1, Table->TextLength)));
  ErrorsLabel->SetCaption(IntToStr(Table->Errors));
  // While paused the clock stands at the start of the pause.
  const uint32_t T = (State == 2 ? GetTickCount() : PauseTick) - StartTick;
  TimeLabel->SetCaption(Format("%0.2d:%0.2d:%0.2d", {static_cast<int>(T / 3600000), static_cast<int>((T / 60000) % 60),
                                                      static_cast<int>((T / 1000) % 60)}));
  const double Speed = T > 0 ? Table->Keystrokes / (T / 60000.0) : 0;
  SpeedLabel->SetCaption(Format("%.2f", {Speed}));
  // Over the keys checked so far: a backspace takes a key off the count but never its error, so
  // the count less backspaces would give a share of errors above 100 % (a negative accuracy).
  const int Checked = StatList ? StatList->Count() : Table->Keystrokes;
  const double Accuracy =
      Checked >= 1 ? std::clamp((Checked - Table->Errors) * 100.0 / Checked, 0.0, 100.0) : 100.0;
  AccuracyLabel->SetCaption(Format("%.2f", {Accuracy}));
}

void TStdLessonForm::MetronomSliderChange(TObject*) {
  const int Bpm = MetronomSlider->Value();
  std::string Caption;
  try {
    Caption = Translations ? Translations->LookupFmt("LABEL001", {Bpm}) : Format("metronom: %d/min", {Bpm});
  } catch (const std::exception&) {
    Caption = Format("metronom: %d/min", {Bpm});
  }
  MetronomLabel->SetCaption(Caption);
  if (Bpm <= 0) {
    Timer2->SetEnabled(false);
  } else {
    Timer2->SetInterval(static_cast<unsigned>(Round(60000.0 / Bpm)));
  }
  if (Table->CanFocus()) Table->SetFocus();
}

void TStdLessonForm::MetronomCheckBoxClick(TObject*) {
  const bool On = MetronomCheckBox->Checked();
  MetronomSlider->SetEnabled(On);
  Timer2->SetEnabled(On && State == 2);
  if (Table->CanFocus()) Table->SetFocus();
}

void TStdLessonForm::Timer2Timer(TObject*) {
  Shape1->Brush()->SetColor(Shape1->Brush()->Color() == clWhite ? clBlack : clWhite);
  Shape1->Invalidate();
  if (SoundMetronomOn) PlayWave(lwMetronome);
}

void TStdLessonForm::BtsPauseCheckBoxClick(TObject*) {
  SetErrorSection("TStdLessonForm.BtsPauseCheckBoxClick");
  SetLessonState(State != 0 ? 0 : 2);
  if (Table->CanFocus()) Table->SetFocus();
}

void TStdLessonForm::BtsHelpClick(TObject*) {
  SetErrorSection("TStdLessonForm.BtsHelpClick");
  const int Was = State;
  SetLessonState(0);
  ShowPopUpHelp("help/help_lesson.htm");
  SetLessonState(Was);
  if (Table->CanFocus()) Table->SetFocus();
}

void TStdLessonForm::BtsTipsClick(TObject*) {
  ShowInstruction();
  if (Table->CanFocus()) Table->SetFocus();
}

void TStdLessonForm::CheckBoxFingersClick(TObject*) {
  LoadKeyboard(CheckBoxFingers->Checked());
  Keyboard->HighlightChar(Table->NextChar);
  if (Table->CanFocus()) Table->SetFocus();
}

void TStdLessonForm::BtsExitClick(TObject*) {
  SetErrorSection("TStdLessonForm.BtsExitClick");
  Timer1->SetEnabled(false);
  FFinishing = true;  // nothing of this exercise is stored
  StatList.reset();
  Close();
  if (PageHost()) PageHost()->ShowReturnPage();
}

void TStdLessonForm::FormShow(TObject*) {
  MetronomSliderChange(nullptr);
  CheckBoxFingers->SetChecked(PrgReg ? PrgReg->ReadBool("Options", "KeybHints", false) : false);
}

void TStdLessonForm::FormClose(TObject*, TCloseAction& Action) {
  Timer1->SetEnabled(false);
  Timer2->SetEnabled(false);
  if (PrgReg) {
    PrgReg->WriteInteger("Options", "MetronomSpeed", MetronomSlider->Value());
    PrgReg->WriteBool("Options", "Metronom", MetronomCheckBox->Checked());
  }
  Action = caFree;
}

void RegisterLessonPage() {
  RegisterPageFactory(TPageId::StdLesson, [] { return static_cast<TForm*>(new TStdLessonForm(nullptr)); });
}
