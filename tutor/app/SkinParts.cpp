#include "tutor/app/SkinParts.h"

#include <iostream>

#include "controls/vxbutton.h"
#include "controls/vxcheckbox.h"
#include "platform/core/datetime.h"
#include "tutor/MsgDialog.h"
#include "tutor/app/panel.h"
#include "tutor/fmELog.h"

namespace {
TZLBArchive* gScreenArchive = nullptr;
TZLBArchive* MainArchive() { return ScreenArchive(); }
constexpr TColor kSkinTransparent = static_cast<TColor>(0x0200FF00);
}  // namespace

TZLBArchive* ScreenArchive() {
  if (gScreenArchive) return gScreenArchive;
  return PanelForm ? PanelForm->MainArchive : nullptr;
}
void SetScreenArchive(TZLBArchive* Archive) { gScreenArchive = Archive; }

TLabel* MakePageLabel(TComponent* Owner, TWinControl* Parent, const char* Name, int X, int Y,
                      const std::string& Caption, bool Bold) {
  auto* L = new TLabel(Owner);
  L->SetName(Name);
  L->SetParent(Parent);
  L->SetTransparent(true);
  L->SetLeft(X);
  L->SetTop(Y);
  L->Font()->SetName("MS Sans Serif");
  L->Font()->SetSize(12);
  L->Font()->SetColor(kPageNavy);
  if (Bold) L->Font()->SetStyle(fsBold);
  L->SetCaption(Caption);
  return L;
}

TVxButton* MakeSkinButton(TComponent* Owner, TWinControl* Parent, const char* Name, const std::string& Picture, int X,
                          int Y, const std::string& Caption) {
  auto* B = new TVxButton(Owner);
  B->SetName(Name);
  B->SetTransparentColor(kSkinTransparent);
  B->SetParent(Parent);
  B->SetArchive(MainArchive());
  B->SetFNameUp(Picture + "_up.bmp");
  B->SetFNameDown(Picture + "_down.bmp");
  B->SetFNameOver(Picture + "_over.bmp");
  B->SetFNameDisabled(Picture + "_disabled.bmp");
  B->SetLeft(X);
  B->SetTop(Y);
  B->SetCaption(Caption);
  return B;
}

TVxCheckbox* MakeSkinTab(TComponent* Owner, TWinControl* Parent, const char* Name, const std::string& Picture, int X,
                         int Y, int Tag) {
  auto* T = new TVxCheckbox(Owner);
  static_cast<TComponent*>(T)->SetName(Name);
  T->SetTransparentColor(kSkinTransparent);
  T->SetParent(Parent);
  T->SetArchive(MainArchive());
  T->SetFNameUnchecked(Picture + "_out.bmp");
  T->SetFNameChecked(Picture + "_check.bmp");
  T->SetFNameOverUnchecked(Picture + "_over.bmp");
  T->SetFNameOverChecked(Picture + "_overcheck.bmp");
  T->SetLeft(X);
  T->SetTop(Y);
  T->SetTag(Tag);
  return T;
}

TButton* MakeEnterButton(TComponent* Owner, TWinControl* Parent, const char* Name) {
  auto* B = new TButton(Owner);
  B->SetName(Name);
  B->SetParent(Parent);
  B->SetDefault(true);
  B->SetVisible(false);
  return B;
}

void LogScreenError(const std::exception& E) {
  std::cerr << "vx: " << E.what() << "\n";
  try {
    if (ELogger) ELogger->LogException(E, nullptr, Now());
  } catch (...) {
  }
}

std::function<void(const std::string&)> ScreenMessageHook;
std::function<bool(const std::string&)> ScreenQuestionHook;

void ScreenMessage(const std::string& Text) {
  if (ScreenMessageHook) return ScreenMessageHook(Text);
  TranslatedMessageDlg(Text, mtInformation, MsgDlgButton(mbOK), 0);
}

bool ScreenQuestion(const std::string& Text) {
  if (ScreenQuestionHook) return ScreenQuestionHook(Text);
  return TranslatedMessageDlg(Text, mtWarning, mbOKCancel, 0) == mrOk;
}
