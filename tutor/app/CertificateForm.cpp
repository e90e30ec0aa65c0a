#include "tutor/app/CertificateForm.h"

#include <fstream>
#include <iterator>

#include "controls/vxbutton.h"
#include "controls/vximage.h"
#include "dbengine/sql/vxdb_query.h"
#include "htmlview/htmlview.h"
#include "platform/core/cp1250.h"
#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "platform/gui/dialogs.h"
#include "tutor/VxLang.h"
#include "tutor/app/SkinParts.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/core/Scenario.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

std::function<bool(TPrintDialog& Dialog)> TCertificateForm::ExecutePrintDialog;
std::function<void()> TCertificateForm::StepDone;

namespace {

int StudentId() {
  if (PageHost()) return PageHost()->CurrentStudent();
  return DM ? DM->CurrentStudent : -1;
}

char LowerAscii(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; }

}  // namespace

std::string EscapeHtml(const std::string& Text) {
  std::string R;
  R.reserve(Text.size());
  for (char C : Text) {
    switch (C) {
      case '&': R += "&amp;"; break;
      case '<': R += "&lt;"; break;
      case '>': R += "&gt;"; break;
      case '"': R += "&quot;"; break;
      default: R += C;
    }
  }
  return R;
}

std::string FillCertificate(const std::string& Template, const TCertificateValues& Values) {
  std::string R;
  R.reserve(Template.size() + 256);
  size_t I = 0;
  while (I < Template.size()) {
    if (Template[I] == '#') {
      // The longest marker that matches here wins ("#sex1" before a shorter one).
      const std::pair<const std::string, std::string>* Best = nullptr;
      for (const auto& M : Values) {
        const std::string& K = M.first;
        if (I + K.size() > Template.size() || (Best && Best->first.size() >= K.size())) continue;
        bool Same = true;
        for (size_t J = 0; J < K.size() && Same; ++J) Same = LowerAscii(Template[I + J]) == K[J];
        if (Same) Best = &M;
      }
      if (Best) {
        R += EscapeHtml(Best->second);
        I += Best->first.size();
        continue;
      }
    }
    R += Template[I++];
  }
  return R;
}

TCertificateForm::TCertificateForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("CertificateForm");
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
  VxImage1->SetBitmapName("certificate_bcg.bmp");
  HTMLViewer = new THTMLViewer(this);
  HTMLViewer->SetName("HTMLViewer");
  HTMLViewer->SetParent(this);
  HTMLViewer->SetBounds(40, 30, 720, 480);
  BtnPrint = MakeSkinButton(this, this, "BtnPrint", "BtnPrint", 410, 532, "Drukuj");
  BtnPrint->OnClick = [this](TObject* S) { BtnPrintClick(S); };
  BtnOK = MakeSkinButton(this, this, "BtnOK", "BtnOK", 600, 532, "OK");
  BtnOK->OnClick = [this](TObject* S) { BtnOKClick(S); };
  EnterBtn = MakeEnterButton(this, this, "EnterBtn");
  EnterBtn->OnClick = [this](TObject* S) { BtnOKClick(S); };
  PrintDialog = new TPrintDialog(this);
  PrintDialog->SetName("PrintDialog");
  // Without a page limit the dialog offers no page range at all.
  PrintDialog->MinPage = 1;
  PrintDialog->MaxPage = 9999;

  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("CertificateForm");
  for (const char* P : {"CertificateForm.Caption", "BtnPrint.Caption", "BtnOK.Caption"})
    VxLanguage1->Properties()->Add(P);
  VxLanguage1->Translate();
  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
}

TCertificateValues TCertificateForm::StudentValues() const {
  TCertificateValues V;
  std::string Name, Sex;
  int Course = -1;
  const int S = StudentId();
  TVXDBTable* T = DM ? DM->TbStudent : nullptr;
  if (T && T->Active() && !T->IsEmpty() && T->FieldByName("ID_STUDENT")->AsInteger() == S) {
    Name = T->FieldByName("NAME")->AsString();
    Sex = T->FieldByName("SEX")->AsString();
    if (!T->FieldByName("COURSE")->IsNull()) Course = T->FieldByName("COURSE")->AsInteger();
  }
  double Cpm = 0, Accuracy = 0;
  if (S >= 0 && DM && DM->VXSession) {
    try {
      TVXDBQuery Q(nullptr);
      Q.SetSessionName(DM->VXSession->SessionName());
      Q.SetDatabaseName("db");
      Q.SQL()->SetText(Format("select max(id_practice) as id_practice from practice where id_student = %d", {S}));
      Q.Open();
      // No practice gives one row holding NULL: both figures stay 0.
      const int Last = Q.Eof() || Q.FieldByName("id_practice")->IsNull() ? -1 : Q.FieldByName("id_practice")->AsInteger();
      Q.Close();
      if (Last >= 0) {
        Q.SQL()->SetText(Format("select * from practice where id_student = %d and id_practice =%d", {S, Last}));
        Q.Open();
        if (!Q.Eof()) {
          Cpm = Q.FieldByName("cpm")->AsFloat();
          Accuracy = Q.FieldByName("accuracy")->AsFloat();
        }
        Q.Close();
      }
    } catch (const std::exception& E) {
      LogScreenError(E);
    }
  }
  const bool Male = Sex == "M";
  V["#name"] = Name;
  V["#date"] = DateToStr(Date());
  V["#course"] = Course >= 0 ? CourseTitle(Course) : "";
  V["#cpm"] = Format("%.2f", {Cpm});
  V["#accuracy"] = Format("%.2f", {Accuracy});
  V["#sex1"] = Translate(Male ? "CERT01a" : "CERT01b");
  V["#sex2"] = Translate(Male ? "CERT02a" : "CERT02b");
  V["#sex3"] = Translate(Male ? "CERT03a" : "CERT03b");
  return V;
}

bool TCertificateForm::Prepare(const std::string& ATemplateName) {
  SetErrorSection("TCertificateForm.Prepare");
  TemplateName = ATemplateName;
  std::ifstream In(ToOsPath(ProgramPath(ATemplateName)), std::ios::binary);
  if (!In || ATemplateName.empty()) {
    ScreenMessage(Utf8ToCp1250("Nie można otworzyć wzoru certyfikatu: ") + ATemplateName);
    Close();
    if (PageHost()) PageHost()->ShowReturnPage();
    return false;
  }
  const std::string Template((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  FDocument = FillCertificate(Template, StudentValues());
  HTMLViewer->LoadFromBuffer(FDocument.data(), static_cast<int>(FDocument.size()));
  return true;
}

void TCertificateForm::FormShow(TObject*) {
  SetErrorSection("TCertificateForm.FormShow");
  if (PageHost()) PageHost()->Ping(Translate("certificate"));
}

void TCertificateForm::BtnPrintClick(TObject*) {
  SetErrorSection("TCertificateForm.BtnPrintClick");
  const bool Ok = ExecutePrintDialog ? ExecutePrintDialog(*PrintDialog) : PrintDialog->Execute();
  if (!Ok) return;
  try {
    if (PrintDialog->PrintRange == prPageNums) HTMLViewer->Print(PrintDialog->FromPage, PrintDialog->ToPage);
    else HTMLViewer->Print(1, 9999);
  } catch (const std::exception& E) {
    LogScreenError(E);
    ScreenMessage(E.what());
  }
}

void TCertificateForm::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }

void TCertificateForm::BtnOKClick(TObject*) {
  SetErrorSection("TCertificateForm.BtnOKClick");
  Close();
  if (PageHost()) PageHost()->ShowReturnPage();
  if (StepDone) StepDone();
}

void RegisterCertificatePage() {
  RegisterPageFactory(TPageId::Certificate, [] { return static_cast<TForm*>(new TCertificateForm(nullptr)); });
}
