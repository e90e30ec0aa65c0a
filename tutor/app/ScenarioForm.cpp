#include "tutor/app/ScenarioForm.h"

#include "controls/vxbutton.h"
#include "controls/vximage.h"
#include "htmlview/framview.h"
#include "platform/core/cp1250.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "tutor/VxLang.h"
#include "tutor/app/HTMLInstruction.h"
#include "tutor/app/SkinParts.h"
#include "tutor/app/StuddingForm.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/core/Scenario.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

TScenarioForm::TScenarioForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("ScenarioForm");
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
  VxImage1->SetBitmapName("scenario_bcg.bmp");
  LabelChoose = MakePageLabel(this, this, "LabelChoose", 44, 14, Translate("Choose one of the available courses:"), true);
  LabelChoose->Font()->SetColor(clWhite);
  ListBox = new TListBox(this);
  ListBox->SetName("ListBox");
  ListBox->SetParent(this);
  ListBox->SetBounds(40, 40, 340, 470);
  ListBox->Font()->SetColor(kPageNavy);
  ListBox->OnClick = [this](TObject* S) { ListBoxClick(S); };
  FrameViewer = new TFrameViewer(this);
  FrameViewer->SetName("FrameViewer");
  FrameViewer->SetParent(this);
  FrameViewer->SetBounds(400, 40, 360, 470);
  BtnHelp = MakeSkinButton(this, this, "BtnHelp", "BtnHelp", 40, 532, "Pomoc");
  BtnHelp->OnClick = [this](TObject* S) { BtnHelpClick(S); };
  BtnCancel = MakeSkinButton(this, this, "BtnCancel", "BtnCancel", 410, 532, "Anuluj");
  BtnCancel->OnClick = [this](TObject* S) { BtnCancelClick(S); };
  BtnOK = MakeSkinButton(this, this, "BtnOK", "BtnOK", 600, 532, "OK");
  BtnOK->OnClick = [this](TObject* S) { BtnOKClick(S); };
  EnterBtn = MakeEnterButton(this, this, "EnterBtn");
  EnterBtn->OnClick = [this](TObject* S) { BtnOKClick(S); };
  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("ScenarioForm");
  for (const char* P : {"ScenarioForm.Caption", "BtnOK.Caption", "BtnCancel.Caption", "BtnHelp.Caption"})
    VxLanguage1->Properties()->Add(P);
  VxLanguage1->Translate();
  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
}

void TScenarioForm::FormShow(TObject*) {
  SetErrorSection("TScenarioForm.FormShow");
  if (PageHost()) PageHost()->Ping(Translate("scenario"));
  Items.clear();
  ListBox->Clear();
  for (const std::string& Member : CourseScriptMembers()) {
    TCourseItem It;
    It.Member = Member;
    It.Course = CourseNumberOfMember(Member);
    std::vector<std::string> Lines;
    if (!ReadArchiveLines(ProgramPath(vx::res::kScenarioArchive), Member, Lines)) continue;
    const TCourseScript S = ParseCourseScript(Lines);
    It.Title = S.Title.empty() ? Member : S.Title;
    It.Note = S.Note;
    Items.push_back(It);
    ListBox->Items()->Add(It.Title);
  }
  int Course = -1;
  if (DM && DM->TbStudent && DM->TbStudent->Active() && !DM->TbStudent->IsEmpty() &&
      !DM->TbStudent->FieldByName("COURSE")->IsNull())
    Course = DM->TbStudent->FieldByName("COURSE")->AsInteger();
  // The student's course by its number (the members need not be numbered without gaps).
  int Index = Items.empty() ? -1 : 0;
  for (size_t I = 0; I < Items.size(); ++I)
    if (Items[I].Course == Course) Index = static_cast<int>(I);
  ListBox->SetItemIndex(Index);
  ListBoxClick(this);
}

void TScenarioForm::ListBoxClick(TObject*) {
  SetErrorSection("TScenarioForm.ListBoxClick");
  const int I = ListBox->ItemIndex();
  if (I < 0 || I >= static_cast<int>(Items.size())) return;
  const std::string& Note = Items[static_cast<size_t>(I)].Note;
  try {
    if (Note.empty() || !FileExists(ProgramPath(Note))) throw Exception("file not found: " + Note);
    FrameViewer->LoadFromFile(ProgramPath(Note));
  } catch (const std::exception& E) {
    LogScreenError(E);
    ScreenMessage(Utf8ToCp1250("Nie można pokazać opisu kursu: ") + Note);
  }
}

void TScenarioForm::BtnOKClick(TObject*) {
  SetErrorSection("TScenarioForm.BtnOKClick");
  const int I = ListBox->ItemIndex();
  if (I < 0 || I >= static_cast<int>(Items.size()) || !DM || !DM->TbStudent->Active()) return;
  const int Course = Items[static_cast<size_t>(I)].Course;
  if (Course < 0) return;
  const int Student = DM->TbStudent->FieldByName("ID_STUDENT")->AsInteger();
  try {
    DM->TbStudent->Edit();
    DM->TbStudent->FieldByName("COURSE")->SetAsInteger(Course);
    DM->TbStudent->Post();
    TVXDBTable* C = DM->TbCourse;
    if (!C->Locate("ID_STUDENT;ID_COURSE", VarArrayOf({Variant(Student), Variant(Course)}), 0)) {
      C->Append();
      C->FieldByName("ID_STUDENT")->SetAsInteger(Student);
      C->FieldByName("ID_COURSE")->SetAsInteger(Course);
      C->FieldByName("ID_LESSON")->SetAsInteger(1);
      C->FieldByName("ID_EXERCISE")->SetAsInteger(1);
      C->Post();
    }
  } catch (const std::exception& E) {
    for (TVXDBTable* T : {DM->TbStudent, DM->TbCourse})
      if (T->State() == dsEdit || T->State() == dsInsert) T->Cancel();
    LogScreenError(E);
    ScreenMessage(E.what());
    return;
  }
  Close();
  if (PageHost()) PageHost()->ShowPage(TPageId::Studding);
}

void TScenarioForm::BtnCancelClick(TObject*) {
  Close();
  if (PageHost()) PageHost()->ShowReturnPage();
}

void TScenarioForm::BtnHelpClick(TObject*) { ShowPopUpHelp("help/help_scenario.htm"); }

void TScenarioForm::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }

void RegisterScenarioPage() {
  RegisterPageFactory(TPageId::Scenario, [] { return static_cast<TForm*>(new TScenarioForm(nullptr)); });
}
