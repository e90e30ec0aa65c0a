#include "tutor/app/StuddingForm.h"

#include <algorithm>

#include "controls/vxbutton.h"
#include "controls/vximage.h"
#include "games/BomberStart.h"
#include "games/GalleryConfig.h"
#include "games/GalleryScene.h"
#include "games/GameServices.h"
#include "platform/core/cp1250.h"
#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/core/random.h"
#include "platform/core/sysutils.h"
#include "tutor/VxLang.h"
#include "tutor/app/CertificateForm.h"
#include "tutor/app/HTMLInstruction.h"
#include "tutor/app/LessonHtml.h"
#include "tutor/app/ScenarioForm.h"
#include "tutor/app/OptionsForm.h"
#include "tutor/app/SkinParts.h"
#include "tutor/app/StatForm.h"
#include "tutor/app/StdLesson.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

// The games library is linked whole when the build has it; without it these are null and a game
// step says that the game is not available.
bool StartBomberCourseStep(const std::string& Allowed, const std::string& Preferred, int Difficulty)
    __attribute__((weak));
bool StartGalleryGame(const TGalleryStart& Start) __attribute__((weak));
void LoadGalleryConfig() __attribute__((weak));
void LoadGalleryThemes() __attribute__((weak));
std::vector<const TXMLNode*> GalleryLevelNodes() __attribute__((weak));
extern TXMLNode* GalleryConfig __attribute__((weak));
extern std::vector<TThemeItem> GalleryThemes __attribute__((weak));
extern std::function<void()> GameNextExercise __attribute__((weak));

std::function<bool(const std::string&, const std::string&, int)> TStuddingForm::StartBomberStep;
std::function<bool(const std::string&, const std::string&, int)> TStuddingForm::StartGalleryStep;

namespace {

constexpr TColor kDoneColour = static_cast<TColor>(0x00208020);
constexpr TColor kSelectedText = static_cast<TColor>(255);

std::string Pl(const char* Utf8) { return Utf8ToCp1250(Utf8); }

bool GameNotAvailable() {
  ScreenMessage(Pl("Ta gra nie jest dostępna."));
  return false;
}

bool DefaultBomberStep(const std::string& Allowed, const std::string& Preferred, int Level) {
  if (!&StartBomberCourseStep) return GameNotAvailable();
  return StartBomberCourseStep(Allowed, Preferred, Level);
}

bool DefaultGalleryStep(const std::string& Allowed, const std::string& Preferred, int Level) {
  if (!&StartGalleryGame || !&LoadGalleryConfig || !&LoadGalleryThemes || !&GalleryLevelNodes || !&GalleryConfig ||
      !&GalleryThemes)
    return GameNotAvailable();
  try {
    if (!GalleryConfig) LoadGalleryConfig();
    if (GalleryThemes.empty()) LoadGalleryThemes();
  } catch (const std::exception& E) {
    LogScreenError(E);
    ScreenMessage(E.what());
    return false;
  }
  // No picture themes, or a level the configuration does not have: no game.
  if (GalleryThemes.empty()) {
    ScreenMessage(Pl("Brak obrazków do gry."));
    return false;
  }
  const int Levels = static_cast<int>(GalleryLevelNodes().size());
  if (Level < 1 || Level > Levels) {
    ScreenMessage(Pl("Nie ma takiego poziomu gry: ") + IntToStr(Level));
    return false;
  }
  TGalleryStart S;
  S.LevelIndex = Level - 1;
  S.ThemeFile = GalleryThemes[static_cast<size_t>(Random(static_cast<int>(GalleryThemes.size())))].FileName;
  S.AllowedLetters = Allowed;
  S.PreferredLetters = Preferred;
  return StartGalleryGame(S);
}

int StudentId() {
  if (PageHost()) return PageHost()->CurrentStudent();
  return DM ? DM->CurrentStudent : -1;
}

int StudentCourse() {
  if (!DM || !DM->TbStudent || !DM->TbStudent->Active() || DM->TbStudent->IsEmpty()) return -1;
  TField* F = DM->TbStudent->FieldByName("COURSE");
  return F->IsNull() ? -1 : F->AsInteger();
}

bool ParseInt(const std::string& S, int& V) { return TryStrToInt(Trim(S), V); }

}  // namespace

TStuddingForm::TStuddingForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("StuddingForm");
  SetBorderStyle(bsNone);
  SetClientWidth(800);
  SetClientHeight(600);
  Font()->SetName("MS Sans Serif");
  Font()->SetSize(12);
  Font()->SetCharset(EASTEUROPE_CHARSET);
  TZLBArchive* Archive = ScreenArchive();
  VxImage1 = new TVxImage(this);
  VxImage1->SetName("VxImage1");
  VxImage1->SetParent(this);
  VxImage1->SetBounds(0, 0, 800, 600);
  VxImage1->SetArchive(Archive);
  VxImage1->SetBitmapName("studing_bcg.bmp");
  ScenarioLabel = MakePageLabel(this, this, "ScenarioLabel", 60, 52, "", true);
  ScenarioLabel->Font()->SetSize(14);
  LessonLabel = MakePageLabel(this, this, "LessonLabel", 60, 86, "", true);
  LabelSteps = MakePageLabel(this, this, "LabelSteps", 60, 122, Pl("składniki lekcji:"));
  JetButton1 = MakeSkinButton(this, this, "JetButton1", "BtnLeft", 600, 72, "");
  JetButton2 = MakeSkinButton(this, this, "JetButton2", "BtnRight", 680, 72, "");
  JetButton1->OnClick = [this](TObject* S) { JetButton1Click(S); };
  JetButton2->OnClick = [this](TObject* S) { JetButton2Click(S); };
  ExerciseListBox = new TListBox(this);
  ExerciseListBox->SetName("ExerciseListBox");
  ExerciseListBox->SetParent(this);
  ExerciseListBox->SetBounds(60, 150, 680, 340);
  ExerciseListBox->SetStyle(lbOwnerDrawFixed);
  ExerciseListBox->SetItemHeight(30);
  ExerciseListBox->OnDrawItem = [this](TWinControl* C, int I, TRect R, TOwnerDrawState S) {
    ExerciseListBoxDrawItem(C, I, R, S);
  };
  ExerciseListBox->OnDblClick = [this](TObject* S) { BtnStartClick(S); };
  BtnHelp = MakeSkinButton(this, this, "BtnHelp", "BtnHelp", 40, 532, "Pomoc");
  BtnHelp->OnClick = [this](TObject* S) { BtnHelpClick(S); };
  BtnCourses = MakeSkinButton(this, this, "BtnCourses", "BtnCourses", 230, 532, "Kursy");
  BtnCourses->OnClick = [this](TObject* S) { BtnCoursesClick(S); };
  BtnMenu = MakeSkinButton(this, this, "BtnMenu", "BtnMenu", 410, 532, "Menu");
  BtnMenu->OnClick = [this](TObject* S) { BtnMenuClick(S); };
  BtnStart = MakeSkinButton(this, this, "BtnStart", "BtnStart", 600, 532, "Start");
  BtnStart->OnClick = [this](TObject* S) { BtnStartClick(S); };
  EnterBtn = MakeEnterButton(this, this, "EnterBtn");
  EnterBtn->OnClick = [this](TObject* S) { BtnStartClick(S); };
  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("StuddingForm");
  for (const char* P : {"StuddingForm.Caption", "LabelSteps.Caption", "BtnStart.Caption", "BtnCourses.Caption",
                        "BtnMenu.Caption", "BtnHelp.Caption"})
    VxLanguage1->Properties()->Add(P);
  VxLanguage1->Translate();
  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };

  // While this screen exists, every finished step of the course comes back here.
  auto Next = [this] { NextExercise(); };
  TStdLessonForm::NextExercise = Next;
  TLessonHtmlForm::NextStep = Next;
  TCertificateForm::StepDone = Next;
  if (&GameNextExercise) GameNextExercise = Next;
  LoadScenario();
}

TStuddingForm::~TStuddingForm() {
  TStdLessonForm::NextExercise = nullptr;
  TLessonHtmlForm::NextStep = nullptr;
  TCertificateForm::StepDone = nullptr;
  if (&GameNextExercise) GameNextExercise = nullptr;
}

const TCourseLesson* TStuddingForm::Lesson() const {
  if (CurLesson < 1 || CurLesson > static_cast<int>(Script.Lessons.size())) return nullptr;
  return &Script.Lessons[static_cast<size_t>(CurLesson - 1)];
}

bool TStuddingForm::ReadPosition(int& L, int& E) {
  L = E = -1;
  if (!DM || !DM->TbCourse->Active()) return false;
  TVXDBTable* C = DM->TbCourse;
  if (!C->Locate("ID_STUDENT;ID_COURSE", VarArrayOf({Variant(StudentId()), Variant(LoadedCourse)}), 0)) return false;
  L = C->FieldByName("ID_LESSON")->AsInteger();
  E = C->FieldByName("ID_EXERCISE")->AsInteger();
  return true;
}

void TStuddingForm::LoadScenario() {
  SetErrorSection("TStuddingForm.LoadScenario");
  LoadedCourse = StudentCourse();
  Script = TCourseScript();
  std::vector<std::string> Lines;
  if (LoadedCourse < 0 || !ReadCourseScript(LoadedCourse, Lines)) {
    ScenarioLabel->SetCaption("");
    if (LoadedCourse >= 0) ScreenMessage(Pl("Nie można wczytać kursu ") + CourseScriptMember(LoadedCourse));
  } else {
    Script = ParseCourseScript(Lines);
    LogSkippedScriptLines(CourseScriptMember(LoadedCourse), Script);
    ScenarioLabel->SetCaption(Script.Title);
  }
  // The exercise items are numbered by their place in the lesson.
  for (TCourseLesson& L : Script.Lessons)
    for (size_t I = 0; I < L.Exercises.size(); ++I) L.Exercises[I].Id = static_cast<int>(I) + 1;
  int L = 1, E = 1;
  if (LoadedCourse >= 0 && !ReadPosition(L, E) && DM && DM->TbCourse->Active()) {
    // A course chosen another way than on the course choice starts at its beginning.
    try {
      DM->TbCourse->Append();
      DM->TbCourse->FieldByName("ID_STUDENT")->SetAsInteger(StudentId());
      DM->TbCourse->FieldByName("ID_COURSE")->SetAsInteger(LoadedCourse);
      DM->TbCourse->FieldByName("ID_LESSON")->SetAsInteger(1);
      DM->TbCourse->FieldByName("ID_EXERCISE")->SetAsInteger(1);
      DM->TbCourse->Post();
    } catch (const std::exception& Err) {
      if (DM->TbCourse->State() == dsInsert) DM->TbCourse->Cancel();
      LogScreenError(Err);
    }
    L = E = 1;
  }
  CurLesson = std::clamp(L, 1, std::max<int>(1, static_cast<int>(Script.Lessons.size())));
  ShowLesson(CurLesson);
  CurExercise = E;
  if (E >= 1 && E <= ExerciseListBox->Items()->Count()) ExerciseListBox->SetItemIndex(E - 1);
}

void TStuddingForm::ShowLesson(int Index) {
  SetErrorSection("TStuddingForm.ShowLesson");
  CurLesson = Index;
  ExerciseListBox->Clear();
  const TCourseLesson* L = Lesson();
  LessonLabel->SetCaption(L ? L->Name : "");
  if (!L) return;
  const std::string C = IntToStr(LoadedCourse);
  int FirstOpen = -1;
  for (const TCourseStep& S : L->Exercises) {
    bool Done = false;
    try {
      TVXDBTable* E = DM ? DM->TbExercise : nullptr;
      Done = E && E->Active() &&
             E->Locate("ID_LESSON;ID_STUDENT;ID_EXERCISE;COURSE",
                       VarArrayOf({Variant(CurLesson), Variant(StudentId()), Variant(S.Id), Variant(C)}), 0) &&
             E->FieldByName("STATE")->AsString() == "X";
    } catch (const std::exception& Err) {
      LogScreenError(Err);
    }
    if (!Done && FirstOpen < 0) FirstOpen = S.Id - 1;
    ExerciseListBox->Items()->Add((Done ? "+" : " ") + S.Name);
  }
  ExerciseListBox->SetItemIndex(FirstOpen >= 0 ? FirstOpen : 0);
  JetButton1->SetEnabled(CurLesson > 1);
  JetButton2->SetEnabled(CurLesson < static_cast<int>(Script.Lessons.size()));
}

void TStuddingForm::ExerciseListBoxDrawItem(TWinControl*, int Index, TRect Rect, TOwnerDrawState State) {
  TCanvas* C = ExerciseListBox->Canvas();
  if (!C || Index < 0 || Index >= ExerciseListBox->Items()->Count()) return;
  const std::string Line = ExerciseListBox->Items()->Strings(Index);
  const bool Done = !Line.empty() && Line[0] == '+';
  C->Brush()->SetColor(clWhite);
  C->FillRect(Rect);
  // The mark before the step: a filled box for a done step, an empty one for the others.
  const int Y = (Rect.Top + Rect.Bottom) / 2;
  const TRect Box{Rect.Left + 6, Y - 8, Rect.Left + 22, Y + 8};
  C->Pen()->SetColor(Done ? kDoneColour : kPageNavy);
  C->Brush()->SetColor(Done ? kDoneColour : clWhite);
  C->Rectangle(Box.Left, Box.Top, Box.Right, Box.Bottom);
  C->Brush()->SetStyle(bsClear);
  C->Font()->Assign(*ExerciseListBox->Font());
  C->Font()->SetColor((State & odSelected) ? kSelectedText : kPageNavy);
  C->TextOut(Rect.Left + 30, Y - C->TextHeight("Ag") / 2, Line.empty() ? "" : Line.substr(1));
  C->Brush()->SetStyle(bsSolid);
}

void TStuddingForm::JetButton1Click(TObject*) {
  if (CurLesson > 1) ShowLesson(CurLesson - 1);
}

void TStuddingForm::JetButton2Click(TObject*) {
  if (CurLesson < static_cast<int>(Script.Lessons.size())) ShowLesson(CurLesson + 1);
}

void TStuddingForm::BtnStartClick(TObject*) {
  SetErrorSection("TStuddingForm.BtnStartClick");
  TPageHost* H = PageHost();
  if (H) H->SetReturnPage(this);
  const int Sel = ExerciseListBox->ItemIndex();
  CurExercise = Sel + 1;
  const TCourseLesson* L = Lesson();
  if (!H || !L || Sel < 0 || Sel >= static_cast<int>(L->Exercises.size())) return;
  const TCourseStep Step = L->Exercises[static_cast<size_t>(Sel)];
  const std::vector<std::string> P = SplitStepParams(Step.Params);
  const std::string& Type = P[0];
  if (Type == "HTML") {
    H->ShowPage(TPageId::LessonHtml);
    if (auto* F = dynamic_cast<TLessonHtmlForm*>(H->FindPage(TPageId::LessonHtml)))
      F->ShowHtmlLesson(P[1], L->Name, Step.Name);
  } else if (Type == "ExFix" || Type == "ExWords" || Type == "ExRandom") {
    int Count = 0;
    if (Type != "ExFix" && (!ParseInt(P[1], Count) || Count <= 0)) {
      ScreenMessage(Pl("Błędny krok kursu: ") + Step.Params);
      return;
    }
    H->ShowPage(TPageId::StdLesson);
    auto* F = dynamic_cast<TStdLessonForm*>(H->FindPage(TPageId::StdLesson));
    if (!F) return;
    if (Type == "ExFix") F->RunCourseTextExercise(ProgramPath(P[1]), L->Name, Step.Name);
    else if (Type == "ExWords") F->RunWordExercise(P[2], P[3], Count, L->Name, Step.Name);
    else F->RunLetterExercise(P[2], P[3], Count, L->Name, Step.Name);
  } else if (Type == "Gallery" || Type == "Bomber") {
    StartGame(Type == "Bomber", P);
  } else if (Type == "Certificate") {
    int Ls = -1, Es = -1;
    ReadPosition(Ls, Es);
    // Only a student who has reached the certificate step gets it.
    if (!(Ls > CurLesson || (Ls == CurLesson && CurExercise <= Es))) return;
    H->SetReturnPage(this);
    Hide();
    H->ShowPage(TPageId::Certificate);
    if (auto* F = dynamic_cast<TCertificateForm*>(H->FindPage(TPageId::Certificate))) F->Prepare(P[1]);
  }
}

bool TStuddingForm::StartGame(bool Bomber, const std::vector<std::string>& P) {
  int Level = 0;
  if (!ParseInt(P[3], Level) || (Bomber && (Level < 1 || Level > 3))) {
    // The bomber has three levels; anything else would read past its level table.
    ScreenMessage(Pl("Nie ma takiego poziomu gry: ") + P[3]);
    return false;
  }
  auto& Start = Bomber ? StartBomberStep : StartGalleryStep;
  Hide();
  bool Started = false;
  // A start that fails must not count the step as done, whatever the game reports meanwhile; an
  // end reported by a game that did start counts once the start is over.
  FStartingGame = true;
  FEndedWhileStarting = false;
  try {
    Started = Start ? Start(P[1], P[2], Level) : (Bomber ? DefaultBomberStep : DefaultGalleryStep)(P[1], P[2], Level);
  } catch (const std::exception& E) {
    LogScreenError(E);
    ScreenMessage(E.what());
    Started = false;
  }
  FStartingGame = false;
  if (!Started && PageHost()) PageHost()->ShowPage(TPageId::Studding);
  if (Started && FEndedWhileStarting) NextExercise();
  return Started;
}

void TStuddingForm::RecordStep() {
  const TCourseLesson* L = Lesson();
  if (!L || CurExercise < 1 || CurExercise > static_cast<int>(L->Exercises.size())) return;
  const TCourseStep& Step = L->Exercises[static_cast<size_t>(CurExercise - 1)];
  const int S = StudentId();
  const std::string C = IntToStr(LoadedCourse);
  TVXDBTable* Les = DM->TbLesson;
  TVXDBTable* Ex = DM->TbExercise;
  try {
    DM->DB->StartTransaction();
    if (!Les->Locate("ID_LESSON;ID_STUDENT;COURSE", VarArrayOf({Variant(CurLesson), Variant(S), Variant(C)}), 0)) {
      Les->Append();
      Les->FieldByName("ID_LESSON")->SetAsInteger(CurLesson);
      Les->FieldByName("ID_STUDENT")->SetAsInteger(S);
      Les->FieldByName("COURSE")->SetAsString(C);
      Les->FieldByName("STATE")->SetAsString("P");
      Les->FieldByName("DATE")->SetAsDateTime(Date());
      Les->FieldByName("TIME")->SetAsDateTime(Time());
      Les->Post();
    }
    if (Ex->Locate("ID_STUDENT;COURSE;ID_LESSON;ID_EXERCISE",
                   VarArrayOf({Variant(S), Variant(C), Variant(CurLesson), Variant(CurExercise)}), 0))
      Ex->Edit();
    else
      Ex->Append();
    Ex->FieldByName("ID_STUDENT")->SetAsInteger(S);
    Ex->FieldByName("ID_LESSON")->SetAsInteger(CurLesson);
    Ex->FieldByName("ID_EXERCISE")->SetAsInteger(CurExercise);
    Ex->FieldByName("COURSE")->SetAsString(C);
    Ex->FieldByName("STATE")->SetAsString("X");
    Ex->FieldByName("DATE")->SetAsDateTime(Date());
    Ex->FieldByName("TIME")->SetAsDateTime(Time());
    Ex->FieldByName("NAME")->SetAsString(Step.Name);
    Ex->FieldByName("PARAMETERS")->SetAsString(Step.Params);
    Ex->FieldByName("TYPE")->SetAsString(Step.Type);
    Ex->Post();
    DM->DB->Commit();
  } catch (...) {
    for (TVXDBTable* T : {Les, Ex})
      if (T->State() == dsEdit || T->State() == dsInsert) T->Cancel();
    if (DM->DB->InTransaction()) DM->Rollback();
    throw;
  }
}

void TStuddingForm::NextExercise() {
  SetErrorSection("TStuddingForm.NextExercise");
  if (FStartingGame) {
    FEndedWhileStarting = true;
    return;
  }
  if (!DM) return;
  int Ls = -1, Es = -1;
  if (!ReadPosition(Ls, Es) || Ls != CurLesson || Es != CurExercise) return;
  try {
    RecordStep();
  } catch (const std::exception& E) {
    // Nothing is recorded and the position stays: the step can be done again.
    LogScreenError(E);
    ScreenMessage(E.what());
    return;
  }
  const TCourseLesson* L = Lesson();
  bool Complete = false;
  ++CurExercise;
  if (!L || CurExercise > static_cast<int>(L->Exercises.size())) {
    CurExercise = 1;
    ++CurLesson;
    if (CurLesson > static_cast<int>(Script.Lessons.size())) {
      --CurLesson;
      Complete = true;
    }
  }
  ShowLesson(CurLesson);
  if (Complete) return;
  try {
    if (ReadPosition(Ls, Es)) {
      DM->TbCourse->Edit();
      DM->TbCourse->FieldByName("ID_EXERCISE")->SetAsInteger(CurExercise);
      DM->TbCourse->FieldByName("ID_LESSON")->SetAsInteger(CurLesson);
      DM->TbCourse->Post();
    }
  } catch (const std::exception& E) {
    if (DM->TbCourse->State() == dsEdit) DM->TbCourse->Cancel();
    LogScreenError(E);
  }
  if (CurExercise <= ExerciseListBox->Items()->Count()) ExerciseListBox->SetItemIndex(CurExercise - 1);
}

void TStuddingForm::FormShow(TObject*) {
  SetErrorSection("TStuddingForm.FormShow");
  if (StudentCourse() != LoadedCourse) LoadScenario();
  else {
    const int Sel = ExerciseListBox->ItemIndex();
    ShowLesson(CurLesson);
    if (Sel >= 0 && Sel < ExerciseListBox->Items()->Count()) ExerciseListBox->SetItemIndex(Sel);
  }
}

void TStuddingForm::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }

void TStuddingForm::BtnCoursesClick(TObject*) {
  if (PageHost()) {
    PageHost()->SetReturnPage(this);
    PageHost()->ShowPage(TPageId::Scenario);
  }
}

void TStuddingForm::BtnMenuClick(TObject*) {
  Close();
  if (PageHost()) PageHost()->ShowPage(TPageId::Main);
}

void TStuddingForm::BtnHelpClick(TObject*) { ShowPopUpHelp("help/help_course.htm"); }

void RegisterCoursePages() {
  RegisterScenarioPage();
  RegisterPageFactory(TPageId::Studding, [] { return static_cast<TForm*>(new TStuddingForm(nullptr)); });
  RegisterCertificatePage();
  RegisterStatPage();
  RegisterOptionsPage();
}
