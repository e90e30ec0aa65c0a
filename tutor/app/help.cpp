#include "tutor/app/help.h"

#include <iostream>

#include "controls/vxbutton.h"
#include "controls/vximage.h"
#include "htmlview/framview.h"
#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "tutor/VxLang.h"
#include "tutor/app/panel.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

namespace {
constexpr TColor kHelpColor = static_cast<TColor>(8204800);
}

THelpForm::THelpForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("HelpForm");
  SetBorderStyle(bsNone);
  SetCaption("Pomoc");
  SetColor(kHelpColor);
  SetEraseBackground(false);
  SetBounds(0, 0, 800, 600);
  TZLBArchive* Archive = PanelForm ? PanelForm->MainArchive : nullptr;

  VxImage1 = new TVxImage(this);
  VxImage1->SetName("VxImage1");
  VxImage1->SetParent(this);
  VxImage1->SetBounds(0, 0, 800, 600);
  VxImage1->SetArchive(Archive);
  VxImage1->SetBitmapName("help_bcg.bmp");

  FrameViewer = new TFrameViewer(this);
  FrameViewer->SetName("FrameViewer");
  FrameViewer->SetParent(this);
  FrameViewer->SetBounds(20, 20, 760, 490);
  FrameViewer->SetFvOptions(fvNoBorder);
  FrameViewer->SetHistoryMaxCount(0);
  FrameViewer->SetDefFontName("Times New Roman");
  FrameViewer->SetDefPreFontName("Courier New");
  FrameViewer->SetDefHotSpotColor(clNavy);
  FrameViewer->SetDefOverLinkColor(clNavy);
  FrameViewer->SetDefVisitedLinkColor(clNavy);
  FrameViewer->SetCharSet(EASTEUROPE_CHARSET);

  BtnOK = new TVxButton(this);
  BtnOK->SetName("BtnOK");
  BtnOK->SetTransparentColor(static_cast<TColor>(0x0200FF00));
  BtnOK->SetParent(this);
  BtnOK->SetArchive(Archive);
  BtnOK->SetFNameUp("BtnOK_up.bmp");
  BtnOK->SetFNameDown("BtnOK_down.bmp");
  BtnOK->SetFNameOver("BtnOK_over.bmp");
  BtnOK->SetLeft(610);
  BtnOK->SetTop(532);
  BtnOK->SetCaption("OK");
  BtnOK->SetParentFont(false);
  BtnOK->Font()->SetName("MS Sans Serif");
  BtnOK->Font()->SetStyle(fsBold);
  BtnOK->Font()->SetSize(10);
  BtnOK->Font()->SetColor(kHelpColor);
  BtnOK->OnClick = [this](TObject* S) { EnterButtonClick(S); };

  EnterButton = new TButton(this);
  EnterButton->SetName("EnterButton");
  EnterButton->SetParent(this);
  EnterButton->SetDefault(true);
  EnterButton->SetVisible(false);
  EnterButton->OnClick = [this](TObject* S) { EnterButtonClick(S); };

  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("HelpForm");
  for (const char* P : {"HelpForm.Caption", "BtnOK.Caption"}) VxLanguage1->Properties()->Add(P);
  VxLanguage1->Translate();

  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
}

void THelpForm::FormShow(TObject*) {
  SetErrorSection("THelpForm.FormShow");
  if (DM) DM->Ping(true, Translate("help"), "", "");
  try {
    FrameViewer->LoadFromFile(ProgramPath("help/index.htm"));
  } catch (const std::exception& E) {
    // A missing help document leaves the page empty; it must not end the program.
    std::cerr << "vx: " << E.what() << "\n";
    try {
      if (ELogger) ELogger->LogException(E, nullptr, Now());
    } catch (...) {
    }
  }
}

void THelpForm::FormClose(TObject*, TCloseAction& Action) {
  SetErrorSection("THelpForm.FormClose");
  Action = caFree;
}

void THelpForm::EnterButtonClick(TObject*) {
  SetErrorSection("THelpForm.EnterButtonClick");
  Close();
  if (PanelForm) PanelForm->ShowMainPage();
}
