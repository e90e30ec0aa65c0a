#include "tutor/app/LessonHtml.h"

#include "controls/vxbutton.h"
#include "controls/vximage.h"
#include "htmlview/htmlview.h"
#include "tutor/VxLang.h"
#include "tutor/app/SelectForm.h"
#include "tutor/app/panel.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"

std::function<void()> TLessonHtmlForm::NextStep;

TLessonHtmlForm::TLessonHtmlForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("LessonHtmlForm");
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
  VxImage1->SetBitmapName("lessonhtml_bcg.bmp");
  TitleLabel = new TLabel(this);
  TitleLabel->SetName("TitleLabel");
  TitleLabel->SetParent(this);
  TitleLabel->SetTransparent(true);
  TitleLabel->SetBounds(24, 540, 560, 24);
  TitleLabel->Font()->SetStyle(fsBold);
  TitleLabel->Font()->SetColor(clWhite);  // under the panel, on the dark background
  HTMLViewer = new THTMLViewer(this);
  HTMLViewer->SetName("HTMLViewer");
  HTMLViewer->SetParent(this);
  HTMLViewer->SetBounds(20, 20, 760, 490);
  HTMLViewer->SetBorderStyle(htNone);
  HTMLViewer->SetHistoryMaxCount(0);
  HTMLViewer->CharSet = EASTEUROPE_CHARSET;
  BtnOK = new TVxButton(this);
  BtnOK->SetName("BtnOK");
  BtnOK->SetTransparentColor(static_cast<TColor>(0x0200FF00));
  BtnOK->SetParent(this);
  BtnOK->SetArchive(Archive);
  BtnOK->SetFNameUp("BtnOK_up.bmp");
  BtnOK->SetFNameDown("BtnOK_down.bmp");
  BtnOK->SetFNameOver("BtnOK_over.bmp");
  BtnOK->SetFNameDisabled("BtnOK_up.bmp");
  BtnOK->SetLeft(610);
  BtnOK->SetTop(532);
  BtnOK->SetCaption("Dalej");
  BtnOK->OnClick = [this](TObject* S) { BtnOKClick(S); };
  EnterBtn = new TButton(this);
  EnterBtn->SetName("EnterBtn");
  EnterBtn->SetParent(this);
  EnterBtn->SetDefault(true);
  EnterBtn->SetVisible(false);
  EnterBtn->OnClick = [this](TObject* S) { BtnOKClick(S); };
  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("LessonHtmlForm");
  VxLanguage1->Properties()->Add("LessonHtmlForm.Caption");
  VxLanguage1->Properties()->Add("BtnOK.Caption");
  VxLanguage1->Translate();
}

void TLessonHtmlForm::ShowHtmlLesson(const std::string& FileName, const std::string& Text1, const std::string& Text2) {
  SetErrorSection("TLessonHtmlForm.ShowHtmlLesson");
  TitleLabel->SetCaption(Text1 + " " + Text2);
  if (PageHost()) PageHost()->Ping(Text1, Text2);
  LoadViewerDocument(HTMLViewer, FileName);
}

void TLessonHtmlForm::BtnOKClick(TObject*) {
  SetErrorSection("TLessonHtmlForm.BtnOKClick");
  if (PageHost()) PageHost()->ShowReturnPage();
  if (NextStep) NextStep();
}

void RegisterLessonHtmlPage() {
  RegisterPageFactory(TPageId::LessonHtml, [] { return static_cast<TForm*>(new TLessonHtmlForm(nullptr)); });
}
