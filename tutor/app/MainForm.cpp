#include "tutor/app/MainForm.h"

#include <iostream>

#include "controls/image32.h"
#include "controls/vxbutton.h"
#include "controls/vximage.h"
#include "tutor/OptionsReg.h"
#include "tutor/VxLang.h"
#include "tutor/ZLibTools.h"
#include "tutor/app/HTMLInstruction.h"
#include "tutor/app/Hint.h"
#include "tutor/app/help.h"
#include "tutor/app/logon.h"
#include "tutor/app/panel.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

namespace {

bool gFirstPaint = false;

constexpr TColor kMenuColor = static_cast<TColor>(8204800);
constexpr TColor kTransparent = static_cast<TColor>(0x0200FF00);

struct TButtonDef {
  const char* Name;
  const char* Picture;
  const char* Switch;  // config parameter that enables it, or nullptr
  int Left, Top;
  const char* Caption;  // drawn on the picture; the form texts may replace it
};
// Positions of the menu's buttons on its background picture.
constexpr TButtonDef kButtons[10] = {
    {"CourseBtn", "BtlCourse", "course_enabled", 40, 150, "Kurs"},
    {"ExercisesBtn", "BtlExercises", "exercises_enabled", 40, 225, "\xC6wiczenia"},
    {"GamesBtn", "BtlGames", "games_enabled", 40, 300, "Gry"},
    {"ResultsBtn", "BtlResults", "results_enabled", 40, 375, "Wyniki"},
    {"OptionsBtn", "BtlOptions", "options_enabled", 40, 450, "Opcje"},
    {"StudentsBtn", "BtnStudents", "students_enabled", 320, 472, "Uczniowie"},
    {"HelpBtn", "BtnHelp", "help_enabled", 500, 472, "Pomoc"},
    {"AboutBtn", "BtnAbout", nullptr, 320, 528, "O programie"},
    {"SiteBtn", "BtnSite", "site_enabled", 500, 528, "Strona"},
    {"CloseBtn", "BtnExit", nullptr, 610, 24, "Koniec"},
};
constexpr int kHintLeft = 320, kHintTop = 150, kHintWidth = 380, kHintHeight = 300;

// The logon dialog, modal; afterwards the menu reports itself again.
void RunLogonDialog() {
  ShowLogonDialog();
  if (DM) DM->Ping(true, Translate("menu"), "", "");
}

}  // namespace

bool TMainForm::FirstPaintDone() { return gFirstPaint; }
void TMainForm::ResetFirstPaint() { gFirstPaint = false; }

TMainForm::TMainForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("MainForm");
  SetBorderStyle(bsNone);
  SetColor(kMenuColor);
  Font()->SetCharset(EASTEUROPE_CHARSET);
  SetEraseBackground(false);
  SetBounds(0, 0, 800, 600);
  TZLBArchive* Archive = PanelForm ? PanelForm->MainArchive : nullptr;

  VxImage1 = new TVxImage(this);
  VxImage1->SetName("VxImage1");
  VxImage1->SetParent(this);
  VxImage1->SetBounds(0, 0, 800, 600);
  VxImage1->SetArchive(Archive);
  VxImage1->SetBitmapName("main_bcg.bmp");

  TVxButton** Fields[10] = {&CourseBtn, &ExercisesBtn, &GamesBtn, &ResultsBtn, &OptionsBtn,
                            &StudentsBtn, &HelpBtn,    &AboutBtn,  &SiteBtn,    &CloseBtn};
  const std::function<void(TObject*)> Clicks[10] = {
      [this](TObject* S) { CourseBtnClick(S); },   [this](TObject* S) { ExercisesBtnClick(S); },
      [this](TObject* S) { GamesBtnClick(S); },    [this](TObject* S) { ResultsBtnClick(S); },
      [this](TObject* S) { OptionsBtnClick(S); },  [this](TObject* S) { StudentsBtnClick(S); },
      [this](TObject* S) { HelpBtnClick(S); },     [this](TObject* S) { AboutBtnClick(S); },
      [this](TObject* S) { SiteBtnClick(S); },     [this](TObject* S) { CloseBtnClick(S); }};
  for (int I = 0; I < 10; ++I) {
    const TButtonDef& D = kButtons[I];
    auto* B = new TVxButton(this);
    B->SetName(D.Name);
    B->SetTag(I);
    B->SetTransparentColor(kTransparent);
    B->SetParent(this);
    B->SetArchive(Archive);
    const std::string P = D.Picture;
    B->SetFNameUp(P + "_up.bmp");
    B->SetFNameDown(P + "_down.bmp");
    B->SetFNameOver(P + "_over.bmp");
    B->SetFNameDisabled(P + "_disabled.bmp");
    B->SetLeft(D.Left);
    B->SetTop(D.Top);
    B->SetCaption(D.Caption);
    B->SetParentFont(false);
    B->Font()->SetName("MS Sans Serif");
    B->Font()->SetStyle(fsBold);
    B->Font()->SetSize(I < 5 ? 12 : 10);
    B->Font()->SetColor(kMenuColor);
    B->OnClick = Clicks[I];
    B->OnMouseEnter = [this](TObject* S) { JetButton1MouseEnter(S); };
    B->OnMouseLeave = [this](TObject* S) { JetButton1MouseLeave(S); };
    *Fields[I] = B;
    Buttons[static_cast<std::size_t>(I)] = B;
  }

  ImageBcg = new TImage32(this);
  ImageBcg->SetName("ImageBcg");
  ImageBcg->SetParent(this);
  ImageBcg->SetBounds(kHintLeft, kHintTop, kHintWidth, kHintHeight);
  ImageBcg->SetColor(clBlack);
  ImageBcg->SetBitmapAlign(baCenter);
  ImageBcg->SetScale(1);
  ImageBcg->SetScaleMode(smNormal);
  Image32 = new TBitmapLayer32(this);
  Image32->SetName("Image32");
  Image32->SetParent(ImageBcg);
  Image32->SetBounds(0, 0, kHintWidth, kHintHeight);
  Image32->Bitmap()->SetDrawMode(dmBlend);
  Image32->Bitmap()->SetMasterAlpha(100);
  Image32->Bitmap()->SetStretchFilter(sfLinear);
  Image32->SetVisible(false);
  BitmapList = new TBitmapList32(this);
  BitmapList->SetName("BitmapList");
  for (int I = 0; I < 10; ++I) BitmapList->Bitmaps()->Add();

  HintTimer = new TTimer(this);
  HintTimer->SetName("HintTimer");
  HintTimer->SetEnabled(false);
  HintTimer->SetInterval(100);
  HintTimer->OnTimer = [this](TObject* S) { HintTimerTimer(S); };

  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("MainForm");
  for (const TButtonDef& D : kButtons) {
    VxLanguage1->Properties()->Add(std::string(D.Name) + ".Hint");
    VxLanguage1->Properties()->Add(std::string(D.Name) + ".Caption");
  }

  OnCreate = [this](TObject* S) { FormCreate(S); };
  OnShow = [this](TObject* S) { FormShow(S); };
  OnPaint = [this](TObject* S) { FormPaint(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
}

TMainForm::~TMainForm() {
  if (HintTimer) HintTimer->SetEnabled(false);
}

void TMainForm::FormCreate(TObject*) {
  SetErrorSection("TMainForm.FormCreate");
  TZLBArchive* Archive = PanelForm ? PanelForm->MainArchive : nullptr;
  if (!Archive) return;
  // The ten hint pictures are read when the mouse first comes onto their button: the menu need
  // not hold all of them to show one.
  ReadArchiveMember("MainHintX.bmp", Archive, [this](TStream* S) {
    TBitmap32 Picture;
    Picture.LoadFromStream(S);
    ImageBcg->SetBitmap(&Picture);
  });
  VxLanguage1->Translate();
}

void TMainForm::FormShow(TObject*) {
  SetErrorSection("TMainForm.FormShow");
  if (DM) DM->Ping(true, Translate("menu"), "", "");
  HintIndex = -1;
  for (int I = 0; I < 10; ++I) {
    const char* Switch = kButtons[I].Switch;
    if (!Switch) continue;
    const std::string V = DM ? DM->GetParam(Switch, "true") : "true";
    Buttons[static_cast<std::size_t>(I)]->SetEnabled(V == "true");
  }
  SetActiveControl(nullptr);
}

void TMainForm::FormPaint(TObject*) {
  if (gFirstPaint) return;
  gFirstPaint = true;
  // The dialogs must not open inside this paint: the buttons are painted after the form, so a
  // modal dialog opened here would cover a menu that shows only its background.
  Application->QueueCall([this] { FirstPaintWork(); });
}

void TMainForm::FirstPaintWork() {
  SetErrorSection("TMainForm.FormPaint");
  const bool ShowLogon = PrgReg ? PrgReg->ReadBool("Options", "ShowLogonAtStartup", true) : true;
  const bool ShowHint = PrgReg ? PrgReg->ReadBool("Options", "ShowHintAtStartup", true) : true;
  bool LoggedOn = false;
  if (!ShowLogon && DM && DM->DBLocal) {
    const int Group = PrgReg->ReadInteger("Options", "LastID_GROUP", -1);
    const int Student = PrgReg->ReadInteger("Options", "LastID_STUDENT", -1);
    LoggedOn = DM->Logon(Group, Student) == 0;
    if (LoggedOn) DM->Ping(true, Translate("menu"), "", "");
  }
  if (!LoggedOn) {
    Repaint();
    RunLogonDialog();
  }
  // A logon dialog that ended the program leaves nothing more to offer.
  if (Application->Terminated()) return;
  if (ShowHint) ShowHints();
}

void TMainForm::FormClose(TObject*, TCloseAction& Action) {
  SetErrorSection("TMainForm.FormClose");
  if (HintTimer) HintTimer->SetEnabled(false);
  Action = caFree;
}

void TMainForm::CourseBtnClick(TObject*) {
  SetErrorSection("TMainForm.CourseBtnClick");
  int Course = -1;
  if (DM && DM->TbStudent->Active() && !DM->TbStudent->IsEmpty()) {
    TField* F = DM->TbStudent->FieldByName("COURSE");
    // A student without a course value has no course under way.
    Course = F->IsNull() ? -1 : F->AsInteger();
  }
  if (!PanelForm) return;
  PanelForm->SetReturnPage(this);
  if (Course >= 0) PanelForm->ShowStuddingPage();
  else PanelForm->ShowScenarioPage();
}

void TMainForm::ExercisesBtnClick(TObject*) {
  SetErrorSection("TMainForm.ExercisesBtnClick");
  if (PanelForm) PanelForm->ShowSelectPage();
}

void TMainForm::GamesBtnClick(TObject*) {
  SetErrorSection("TMainForm.GamesBtnClick");
  if (PanelForm) PanelForm->ShowGameSelectPage();
}

void TMainForm::ResultsBtnClick(TObject*) {
  SetErrorSection("TMainForm.ResultsBtnClick");
  if (PanelForm) PanelForm->ShowStatPage();
}

void TMainForm::OptionsBtnClick(TObject*) {
  SetErrorSection("TMainForm.OptionsBtnClick");
  if (PanelForm) PanelForm->ShowOptionsPage();
}

void TMainForm::StudentsBtnClick(TObject*) {
  SetErrorSection("TMainForm.StudentsBtnClick");
  RunLogonDialog();
}

void TMainForm::HelpBtnClick(TObject*) {
  SetErrorSection("TMainForm.HelpBtnClick");
  if (PanelForm) PanelForm->ShowHelpPage();
}

void TMainForm::AboutBtnClick(TObject*) {
  SetErrorSection("TMainForm.AboutBtnClick");
  ShowInstructionBox(Translate("About"), "help/about.htm");
}

void TMainForm::SiteBtnClick(TObject*) {
  SetErrorSection("TMainForm.SiteBtnClick");
  const std::string Site = Translate("HQSite");
  // A message table without the address gives back the id itself, which is no address to open.
  if (Site.find("://") == std::string::npos && Site.rfind("www.", 0) != 0) {
    std::cerr << "vx: no web address in the message table (HQSite)\n";
    return;
  }
  ShellOpen(Site);
}

void TMainForm::CloseBtnClick(TObject*) {
  SetErrorSection("TMainForm.CloseBtnClick");
  if (Application->MainForm()) Application->MainForm()->Close();
}

void TMainForm::JetButton1MouseEnter(TObject* Sender) {
  auto* B = dynamic_cast<TComponent*>(Sender);
  if (!B || B->Tag() == HintIndex) return;
  const int Tag = static_cast<int>(B->Tag());
  if (Tag < 0 || Tag >= BitmapList->Bitmaps()->Count()) return;
  HintTimer->SetEnabled(false);
  HintIndex = Tag;
  LoadHintPicture(Tag);
  Image32->SetBitmap(BitmapList->Bitmaps()->Items(Tag)->Bitmap());
  Image32->Bitmap()->SetMasterAlpha(255);
  Image32->SetVisible(true);
  Image32->Changed();
  ImageBcg->Invalidate();
}

void TMainForm::LoadHintPicture(int Index) {
  if (Index < 0 || Index >= static_cast<int>(FHintRead.size()) || FHintRead[static_cast<std::size_t>(Index)]) return;
  FHintRead[static_cast<std::size_t>(Index)] = true;  // a missing picture stays empty; it is not looked for again
  TZLBArchive* Archive = PanelForm ? PanelForm->MainArchive : nullptr;
  if (!Archive) return;
  TBitmap32* B = BitmapList->Bitmaps()->Items(Index)->Bitmap();
  ReadArchiveMember(Format("MainHint%d.bmp", {Index}), Archive, [B](TStream* S) { B->LoadFromStream(S); });
}

void TMainForm::JetButton1MouseLeave(TObject*) {
  HintIndex = -1;
  HintTimer->SetEnabled(true);
}

void TMainForm::HintTimerTimer(TObject*) {
  const int Alpha = std::max(0, static_cast<int>(Image32->Bitmap()->MasterAlpha()) - 10);
  Image32->Bitmap()->SetMasterAlpha(static_cast<Byte>(Alpha));
  if (Alpha == 0) {
    HintTimer->SetEnabled(false);
    Image32->SetVisible(false);
  }
  Image32->Changed();
  ImageBcg->Invalidate();
}

void TMainForm::ShowHints() {
  SetErrorSection("TMainForm.ShowHints");
  RunHintDialog(PanelForm);
}

void RegisterMenuPages() {
  RegisterPageFactory(TPageId::Main, [] {
    auto* F = new TMainForm(nullptr);
    return static_cast<TForm*>(F);
  });
  RegisterPageFactory(TPageId::Help, [] {
    auto* F = new THelpForm(nullptr);
    return static_cast<TForm*>(F);
  });
}
