#include "tutor/app/ResultsForm.h"

#include <iostream>

#include "controls/vxbutton.h"
#include "controls/vximage.h"
#include "platform/core/datetime.h"
#include "platform/core/sysutils.h"
#include "tutor/VxLang.h"
#include "tutor/app/panel.h"
#include "tutor/core/Levels.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

namespace {

constexpr TColor kNavy = static_cast<TColor>(0x800000);

TLabel* MakeLabel(TForm* Owner, const char* Name, int X, int Y, const std::string& Caption, bool Bold = false) {
  auto* L = new TLabel(Owner);
  L->SetName(Name);
  L->SetParent(Owner);
  L->SetTransparent(true);
  L->SetLeft(X);
  L->SetTop(Y);
  L->Font()->SetName("MS Sans Serif");
  L->Font()->SetSize(12);
  L->Font()->SetColor(kNavy);
  if (Bold) L->Font()->SetStyle(fsBold);
  L->SetCaption(Caption);
  return L;
}

void LogError(const std::exception& E) {
  std::cerr << "vx: " << E.what() << "\n";
  try {
    if (ELogger) ELogger->LogException(E, nullptr, Now());
  } catch (...) {
  }
}

}  // namespace

std::string AccuracyText(double Accuracy) { return Format("%.2f %%", {Accuracy}); }
std::string SpeedText(double Cpm) { return Format("%.2f", {Cpm}) + Translate("cpm"); }
std::string DurationText(double Seconds) {
  const int64_t D = Round(Seconds);
  return Format("%.2d min, %.2d sec", {static_cast<int>(D / 60), static_cast<int>(D % 60)});
}
std::string SpeedLevelText(double Cpm) {
  const TLevel* L = SpeedLevelOf(SpeedLevel(Cpm));
  return L ? L->Text1 : "";
}
std::string AccuracyLevelText(double Accuracy) {
  const TLevel* L = AccuracyLevelOf(AccuracyLevel(Accuracy));
  return L ? L->Text1 : "";
}

TResultsForm::TResultsForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("ResultsForm");
  SetBorderStyle(bsNone);
  SetClientWidth(800);
  SetClientHeight(600);
  Font()->SetName("MS Sans Serif");
  Font()->SetSize(12);
  TZLBArchive* Archive = PanelForm ? PanelForm->MainArchive : nullptr;
  VxImage1 = new TVxImage(this);
  VxImage1->SetName("VxImage1");
  VxImage1->SetParent(this);
  VxImage1->SetBounds(0, 0, 800, 600);
  VxImage1->SetArchive(Archive);
  VxImage1->SetBitmapName("results_bcg.bmp");

  LabelDurationCaption = MakeLabel(this, "LabelDurationCaption", 90, 112, "czas trwania lekcji");
  LabelSpeedCaption = MakeLabel(this, "LabelSpeedCaption", 90, 150, "szybko\x9C\xE6 pisania");
  LabelAccuracyCaption = MakeLabel(this, "LabelAccuracyCaption", 90, 188, "poprawno\x9C\xE6");
  LabelErrorsCaption = MakeLabel(this, "LabelErrorsCaption", 90, 226, "ilo\x9C\xE6 b\xB3\xEA\x64\xF3w");
  LabelDuration = MakeLabel(this, "LabelDuration", 320, 112, "", true);
  LabelSpeed = MakeLabel(this, "LabelSpeed", 320, 150, "", true);
  LabelAccuracy = MakeLabel(this, "LabelAccuracy", 320, 188, "", true);
  LabelErrors = MakeLabel(this, "LabelErrors", 320, 226, "", true);
  LabelSpeedLevel = MakeLabel(this, "LabelSpeedLevel", 500, 150, "");
  LabelAccuracyLevel = MakeLabel(this, "LabelAccuracyLevel", 500, 188, "");
  LabelCommentCaption = MakeLabel(this, "LabelCommentCaption", 74, 306, "komentarz");
  Memo1 = new TMemo(this);
  Memo1->SetName("Memo1");
  Memo1->SetParent(this);
  Memo1->SetBounds(74, 330, 652, 168);
  Memo1->SetReadOnly(true);
  Memo1->SetWordWrap(true);
  Memo1->SetScrollBars(ssVertical);
  Memo1->Font()->SetColor(kNavy);

  BtnClose = new TVxButton(this);
  BtnClose->SetName("BtnClose");
  BtnClose->SetTransparentColor(static_cast<TColor>(0x0200FF00));
  BtnClose->SetParent(this);
  BtnClose->SetArchive(Archive);
  BtnClose->SetFNameUp("BtnOK_up.bmp");
  BtnClose->SetFNameDown("BtnOK_down.bmp");
  BtnClose->SetFNameOver("BtnOK_over.bmp");
  BtnClose->SetFNameDisabled("BtnOK_up.bmp");
  BtnClose->SetLeft(600);
  BtnClose->SetTop(532);
  BtnClose->SetCaption("OK");
  BtnClose->OnClick = [this](TObject* S) { BtnCloseClick(S); };
  EnterBtn = new TButton(this);
  EnterBtn->SetName("EnterBtn");
  EnterBtn->SetParent(this);
  EnterBtn->SetDefault(true);
  EnterBtn->SetVisible(false);
  EnterBtn->OnClick = [this](TObject* S) { BtnCloseClick(S); };

  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("ResultsForm");
  for (const char* P : {"ResultsForm.Caption", "LabelDurationCaption.Caption", "LabelSpeedCaption.Caption",
                        "LabelAccuracyCaption.Caption", "LabelErrorsCaption.Caption", "LabelCommentCaption.Caption",
                        "BtnClose.Caption"})
    VxLanguage1->Properties()->Add(P);
  VxLanguage1->Translate();
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
}

void TResultsForm::ShowExercise(const TExerciseFigures& F, const std::string& NotSavedNote) {
  SetErrorSection("TResultsForm.FormShow");
  FFigures = F;
  if (PageHost()) PageHost()->Ping(Translate("results"));
  LabelAccuracy->SetCaption(AccuracyText(F.Accuracy));
  LabelSpeed->SetCaption(SpeedText(F.Cpm));
  LabelDuration->SetCaption(DurationText(F.Duration));
  LabelErrors->SetCaption(Format("%d", {F.Errors}));
  LabelAccuracyLevel->SetCaption(AccuracyLevelText(F.Accuracy));
  LabelSpeedLevel->SetCaption(SpeedLevelText(F.Cpm));
  std::string Comment;
  try {
    bool Passed = false;
    Comment = BuildComment("default.cmm", Passed, F);
  } catch (const std::exception& E) {
    // Without the library the figures still show; the missing comment is in the error log.
    LogError(E);
  }
  if (!NotSavedNote.empty()) Comment = NotSavedNote + (Comment.empty() ? "" : "\r\n" + Comment);
  Memo1->SetText(Comment);
}

void TResultsForm::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }

void TResultsForm::BtnCloseClick(TObject*) {
  SetErrorSection("TResultsForm.BtnCloseClick");
  Close();
  if (PageHost()) PageHost()->ShowReturnPage();
}

void RegisterResultsPage() {
  RegisterPageFactory(TPageId::Results, [] { return static_cast<TForm*>(new TResultsForm(nullptr)); });
}
