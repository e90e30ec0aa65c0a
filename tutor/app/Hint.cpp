#include "tutor/app/Hint.h"

#include "controls/vxbutton.h"
#include "controls/vximage.h"
#include "htmlview/htmlview.h"
#include "platform/core/fileutils.h"
#include "tutor/OptionsReg.h"
#include "tutor/VxLang.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/ZLibTools.h"
#include "tutor/app/panel.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"

THintForm* HintForm = nullptr;

namespace {
constexpr TColor kHintColor = static_cast<TColor>(8204800);
constexpr TColor kTransparent = static_cast<TColor>(0x0200FF00);

TVxButton* MakeOkButton(THintForm* F, const std::string& Name, int Tag, int Left, int Top, TZLBArchive* Archive) {
  auto* B = new TVxButton(F);
  B->SetName(Name);
  B->SetTag(Tag);
  B->SetTransparentColor(kTransparent);
  B->SetParent(F);
  B->SetArchive(Archive);
  B->SetFNameUp("BtnOK_up.bmp");
  B->SetFNameDown("BtnOK_down.bmp");
  B->SetFNameOver("BtnOK_over.bmp");
  B->SetLeft(Left);
  B->SetTop(Top);
  B->SetParentFont(false);
  B->Font()->SetName("MS Sans Serif");
  B->Font()->SetStyle(fsBold);
  B->Font()->SetSize(10);
  B->Font()->SetColor(kHintColor);
  return B;
}
}  // namespace

THintForm::THintForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("HintForm");
  SetBorderStyle(bsSingle);
  SetBorderIcons(0);
  SetCaption("Hint");
  SetColor(kHintColor);
  Font()->SetName("MS Sans Serif");
  Font()->SetSize(12);
  Font()->SetStyle(fsBold);
  SetPosition(poOwnerFormCenter);
  SetClientWidth(540);
  SetClientHeight(400);
  TZLBArchive* Archive = PanelForm ? PanelForm->MainArchive : nullptr;

  VxImage1 = new TVxImage(this);
  VxImage1->SetName("VxImage1");
  VxImage1->SetParent(this);
  VxImage1->SetArchive(Archive);
  VxImage1->SetAutoSize(true);
  VxImage1->SetBitmapName("instruction_bcg.bmp");

  HTMLViewer = new THTMLViewer(this);
  HTMLViewer->SetName("HTMLViewer");
  HTMLViewer->SetParent(this);
  HTMLViewer->SetBounds(20, 20, 500, 270);
  HTMLViewer->SetDefBackground(kHintColor);
  HTMLViewer->SetBorderStyle(htNone);
  HTMLViewer->SetHistoryMaxCount(0);
  HTMLViewer->DefFontName = "Times New Roman";
  HTMLViewer->SetDefPreFontName("Courier New");
  HTMLViewer->DefFontColor = clBlack;
  HTMLViewer->CharSet = EASTEUROPE_CHARSET;

  PrevButton = MakeOkButton(this, "PrevButton", -1, 20, 350, Archive);
  BtnOK = MakeOkButton(this, "BtnOK", 0, 190, 350, Archive);
  NextButton = MakeOkButton(this, "NextButton", 1, 360, 350, Archive);
  PrevButton->SetCaption("Prev");
  NextButton->SetCaption("Next");
  BtnOK->SetCaption("OK");
  PrevButton->OnClick = [this](TObject* S) { NextButtonClick(S); };
  NextButton->OnClick = [this](TObject* S) { NextButtonClick(S); };
  BtnOK->OnClick = [this](TObject* S) { BtnOKClick(S); };

  EnterButton = new TButton(this);
  EnterButton->SetName("EnterButton");
  EnterButton->SetParent(this);
  EnterButton->SetDefault(true);
  EnterButton->SetVisible(false);
  EnterButton->OnClick = [this](TObject* S) { BtnOKClick(S); };

  ShowAtStartupCheckBox = new TCheckBox(this);
  ShowAtStartupCheckBox->SetName("ShowAtStartupCheckBox");
  ShowAtStartupCheckBox->SetParent(this);
  ShowAtStartupCheckBox->SetCaption("Show at startup");
  // On the background's own strip under the text panel (the strip is 22 high at y 304); a box
  // placed higher straddles the panel's edge and loses the descenders of its caption.
  ShowAtStartupCheckBox->SetBounds(28, 304, 484, 22);
  ShowAtStartupCheckBox->Font()->SetColor(kHintColor);  // dark on the panel's light foot

  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("HintForm");
  for (const char* P : {"PrevButton.Caption", "NextButton.Caption", "EnterButton.Caption", "BtnOK.Caption",
                        "ShowAtStartupCheckBox.Caption", "HintForm.Caption"})
    VxLanguage1->Properties()->Add(P);

  OnCreate = [this](TObject* S) { FormCreate(S); };
  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
}

THintForm::~THintForm() {
  if (HintForm == this) HintForm = nullptr;
}

void THintForm::FormCreate(TObject*) {
  SetErrorSection("THintForm.FormCreate");
  HintNumber = PrgReg ? PrgReg->ReadInteger("Options", "HintNumber", 0) : 0;
  ShowAtStartupCheckBox->SetChecked(PrgReg ? PrgReg->ReadBool("Options", "ShowHintAtStartup", true) : true);
  VxLanguage1->Translate();
  LoadHintList();
}

void THintForm::FormShow(TObject*) {
  SetErrorSection("THintForm.FormShow");
  if (VxImage1->Width() > 0 && VxImage1->Height() > 0) {
    SetClientWidth(VxImage1->Width());
    SetClientHeight(VxImage1->Height());
  }
}

bool THintForm::LoadHintList() {
  try {
    HintArchive = std::make_unique<TZLBArchive>(nullptr);
    if (!HintArchive->OpenArchive(ProgramPath(vx::res::kHintsArchive))) throw Exception("no tips");
    auto Names = std::make_unique<TStringList>();
    TZLBEntry E;
    for (int I = 0; I < HintArchive->Count(); ++I) {
      HintArchive->GetEntry(I, E);
      Names->Add(E.Name());
    }
    Names->Sort();
    HintNames = std::move(Names);
    return true;
  } catch (...) {
    HintNames.reset();
    return false;
  }
}

bool THintForm::ShowHint() {
  if (!HintNames || HintNames->Count() == 0) return false;
  try {
    if (HintNumber >= HintNames->Count()) HintNumber = 0;
    if (HintNumber < 0) HintNumber = HintNames->Count() - 1;
    TStringList Tip;
    if (!ReadArchiveMember(HintNames->Strings(HintNumber), HintArchive.get(),
                           [&Tip](TStream* S) { Tip.LoadFromStream(S); }))
      return false;
    HTMLViewer->LoadFromStrings(&Tip);
    return true;
  } catch (...) {
    return false;
  }
}

void THintForm::NextButtonClick(TObject* Sender) {
  if (auto* C = dynamic_cast<TComponent*>(Sender)) HintNumber += static_cast<int>(C->Tag());
  ShowHint();
}

void THintForm::BtnOKClick(TObject*) { Close(); }

void THintForm::FormClose(TObject*, TCloseAction& Action) {
  SetErrorSection("THintForm.FormClose");
  HintNames.reset();
  HintArchive.reset();
  ++HintNumber;
  if (PrgReg) {
    PrgReg->WriteInteger("Options", "HintNumber", HintNumber);
    PrgReg->WriteBool("Options", "ShowHintAtStartup", ShowAtStartupCheckBox->Checked());
  }
  Action = caFree;
  if (PanelForm && PanelForm->ClearPanel->ClientForm()) PanelForm->ClearPanel->ClientForm()->Repaint();
}

void RunHintDialog(TComponent* Owner) {
  auto* F = new THintForm(Owner);
  HintForm = F;
  F->AfterConstruction();
  if (!F->ShowHint()) {
    delete F;
    return;
  }
  F->ShowModal();
  // Closing released it for later; it goes now (a release of a freed form is left alone).
  delete F;
}
