#include "tutor/app/logon.h"

#include "controls/vxbutton.h"
#include "controls/vximage.h"
#include "tutor/MsgDialog.h"
#include "tutor/OptionsReg.h"
#include "tutor/VxLang.h"
#include "tutor/app/HTMLInstruction.h"
#include "tutor/app/panel.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

TLogonForm* LogonForm = nullptr;

namespace {

constexpr TColor kTransparent = static_cast<TColor>(0x0200FF00);
constexpr int kNameLength = 45;  // the width of student.NAME

TVxButton* MakeButton(TLogonForm* F, TWinControl* Parent, const std::string& Name, const std::string& Picture,
                      int Left, int Top, const std::string& Caption, TZLBArchive* Archive) {
  auto* B = new TVxButton(F);
  B->SetName(Name);
  B->SetTransparentColor(kTransparent);
  B->SetParent(Parent);
  B->SetArchive(Archive);
  B->SetFNameUp(Picture + "_up.bmp");
  B->SetFNameDown(Picture + "_down.bmp");
  B->SetFNameOver(Picture + "_over.bmp");
  B->SetLeft(Left);
  B->SetTop(Top);
  B->SetCaption(Caption);
  B->SetParentFont(false);
  B->Font()->SetName("MS Sans Serif");
  B->Font()->SetStyle(fsBold);
  B->Font()->SetSize(10);
  B->Font()->SetColor(static_cast<TColor>(8204800));
  return B;
}

TVxImage* MakeBackground(TLogonForm* F, TWinControl* Parent, const std::string& Name, TZLBArchive* Archive) {
  auto* I = new TVxImage(F);
  I->SetName(Name);
  I->SetParent(Parent);
  I->SetArchive(Archive);
  I->SetAutoSize(true);
  I->SetBitmapName("students_bcg.bmp");
  return I;
}

int Ask(const std::string& Id, TMsgDlgType Type, TMsgDlgButtons Buttons) {
  return TranslatedMessageDlg(Translate(Id), Type, Buttons, 0);
}

}  // namespace

TLogonForm::TLogonForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("LogonForm");
  SetBorderStyle(bsNone);
  SetCaption("Uczniowie");
  SetColor(clGreen);
  Font()->SetName("MS Sans Serif");
  Font()->SetSize(12);
  Font()->SetStyle(fsBold);
  Font()->SetCharset(EASTEUROPE_CHARSET);
  SetPosition(poMainFormCenter);
  SetClientWidth(520);
  SetClientHeight(360);
  TZLBArchive* Archive = PanelForm ? PanelForm->MainArchive : nullptr;

  Notebook = new TNotebook(this);
  Notebook->SetName("Notebook");
  Notebook->SetParent(this);
  Notebook->SetAlign(alClient);
  Notebook->SetPageNames({"0", "1"});
  TPage* P0 = Notebook->PageByName("0");
  TPage* P1 = Notebook->PageByName("1");

  VxImage1 = MakeBackground(this, P0, "VxImage1", Archive);
  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(P0);
  Label1->SetCaption("wybierz ucznia: ");
  Label1->SetTransparent(true);
  Label1->SetBounds(30, 30, 460, 22);
  StudentsBox1 = new TComboBox(this);
  StudentsBox1->SetName("StudentsBox1");
  StudentsBox1->SetParent(P0);
  StudentsBox1->SetStyle(csDropDownList);
  StudentsBox1->SetBounds(30, 60, 460, 28);
  ShowAtStartupCheckBox = new TCheckBox(this);
  ShowAtStartupCheckBox->SetName("ShowAtStartupCheckBox");
  ShowAtStartupCheckBox->SetParent(P0);
  ShowAtStartupCheckBox->SetCaption("pokazuj przy starcie");
  ShowAtStartupCheckBox->SetBounds(30, 176, 460, 24);
  AddButton = MakeButton(this, P0, "AddButton", "NewStudentBtn", 20, 232, "Nowy", Archive);
  DelButton = MakeButton(this, P0, "DelButton", "DeleteStudentBtn", 185, 232, "Usu\xF1", Archive);
  HelpButton = MakeButton(this, P0, "HelpButton", "HelpStudentBtn", 350, 232, "Pomoc", Archive);
  OkButton = MakeButton(this, P0, "OkButton", "OKStudentBtn", 185, 292, "OK", Archive);
  EnterBtn1 = new TButton(this);
  EnterBtn1->SetName("EnterBtn1");
  EnterBtn1->SetParent(P0);
  EnterBtn1->SetDefault(true);
  EnterBtn1->SetVisible(false);

  VxImage2 = MakeBackground(this, P1, "VxImage2", Archive);
  Label3 = new TLabel(this);
  Label3->SetName("Label3");
  Label3->SetParent(P1);
  Label3->SetCaption("Wpisz swoje imi\xEA:");
  Label3->SetTransparent(true);
  Label3->SetBounds(30, 30, 460, 22);
  Edit1 = new TEdit(this);
  Edit1->SetName("Edit1");
  Edit1->SetParent(P1);
  Edit1->SetMaxLength(kNameLength);
  Edit1->SetBounds(30, 60, 460, 28);
  RadioButton1 = new TRadioButton(this);
  RadioButton1->SetName("RadioButton1");
  RadioButton1->SetParent(P1);
  RadioButton1->SetCaption("ucze\xF1");
  RadioButton1->SetBounds(30, 110, 200, 24);
  RadioButton1->SetChecked(true);
  RadioButton2 = new TRadioButton(this);
  RadioButton2->SetName("RadioButton2");
  RadioButton2->SetParent(P1);
  RadioButton2->SetCaption("uczennica");
  RadioButton2->SetBounds(250, 110, 200, 24);
  OkButton2 = MakeButton(this, P1, "OkButton2", "OKStudentBtn", 185, 292, "OK", Archive);
  CancelButton = MakeButton(this, P1, "CancelButton", "CancelStudentBtn", 350, 292, "Anuluj", Archive);
  EnterBtn2 = new TButton(this);
  EnterBtn2->SetName("EnterBtn2");
  EnterBtn2->SetParent(P1);
  EnterBtn2->SetDefault(true);
  EnterBtn2->SetVisible(false);

  OkButton->OnClick = [this](TObject* S) { OKButton1Click(S); };
  EnterBtn1->OnClick = [this](TObject* S) { OKButton1Click(S); };
  AddButton->OnClick = [this](TObject* S) { AddButtonClick(S); };
  DelButton->OnClick = [this](TObject* S) { DelButtonClick(S); };
  HelpButton->OnClick = [this](TObject* S) { JetButton2Click(S); };
  OkButton2->OnClick = [this](TObject* S) { FlatButton3Click(S); };
  EnterBtn2->OnClick = [this](TObject* S) { FlatButton3Click(S); };
  CancelButton->OnClick = [this](TObject* S) { FlatButton4Click(S); };

  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("LogonForm");
  for (const char* P : {"Label1.Caption", "ShowAtStartupCheckBox.Caption", "EnterBtn1.Caption", "Label3.Caption",
                        "RadioButton1.Caption", "RadioButton2.Caption", "EnterBtn2.Caption"})
    VxLanguage1->Properties()->Add(P);

  OnCreate = [this](TObject* S) { FormCreate(S); };
  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
}

TLogonForm::~TLogonForm() {
  if (LogonForm == this) LogonForm = nullptr;
}

void TLogonForm::SetPage(const std::string& Name) {
  Notebook->SetActivePage(Name);
  EnterBtn1->SetEnabled(Name == "0");
  EnterBtn2->SetEnabled(Name == "1");
  if (Name == "1") Edit1->SetFocus();
  else if (StudentsBox1->CanFocus()) StudentsBox1->SetFocus();
}

void TLogonForm::FormCreate(TObject*) {
  SetErrorSection("TLogonForm.FormCreate");
  LoggedOn = false;
  VxLanguage1->Translate();
  SetPage("0");
}

void TLogonForm::FormShow(TObject*) {
  SetErrorSection("TLogonForm.FormShow");
  const bool Local = !DM || DM->DBLocal;
  const bool AtStartup = PrgReg ? PrgReg->ReadBool("Options", "ShowLogonAtStartup", true) : true;
  ShowAtStartupCheckBox->SetChecked(AtStartup || !Local);
  ShowAtStartupCheckBox->SetEnabled(Local);
  FillStudents();
  if (VxImage1->Width() > 0 && VxImage1->Height() > 0) {
    SetClientWidth(VxImage1->Width());
    SetClientHeight(VxImage1->Height());
  }
  SetPage(Notebook->ActivePage());
}

void TLogonForm::FillStudents() {
  Bookmarks.clear();
  StudentsBox1->Clear();
  if (!DM || !DM->TbStudent->Active()) return;
  TVXDBTable* T = DM->TbStudent;
  T->Refresh();
  const TBookmark Current = T->IsEmpty() ? TBookmark() : T->GetBookmark();
  int Selected = -1;
  T->DisableControls();
  try {
    for (T->First(); !T->Eof(); T->Next()) {
      const TBookmark B = T->GetBookmark();
      if (!Current.empty() && T->CompareBookmarks(B, Current) == 0) Selected = static_cast<int>(Bookmarks.size());
      StudentsBox1->Items()->Add(T->FieldByName("NAME")->AsString());
      Bookmarks.push_back(B);
    }
    if (!Current.empty() && T->BookmarkValid(Current)) T->GotoBookmark(Current);
  } catch (...) {
    T->EnableControls();
    throw;
  }
  T->EnableControls();
  if (Selected < 0 && !Bookmarks.empty()) Selected = 0;
  StudentsBox1->SetItemIndex(Selected);
}

bool TLogonForm::LogonStudent(int GroupId, int StudentId) {
  SetErrorSection("TLogonForm.LogonStudent");
  if (DM && DM->Logon(GroupId, StudentId) == 0) return true;
  if (Ask("MSG008", mtInformation, MsgDlgButton(mbOK) | MsgDlgButton(mbAbort)) == mrAbort) Application->Terminate();
  return false;
}

void TLogonForm::OKButton1Click(TObject*) {
  SetErrorSection("TLogonForm.OKButton1Click");
  const int Item = StudentsBox1->ItemIndex();
  if (StudentsBox1->Items()->Count() == 0 || Item < 0 || Item >= static_cast<int>(Bookmarks.size())) {
    if (Ask("MSG011", mtInformation, MsgDlgButton(mbOK) | MsgDlgButton(mbAbort)) == mrAbort)
      Application->Terminate();
    return;
  }
  TVXDBTable* T = DM->TbStudent;
  try {
    // The row the item names, found by its bookmark; another PC may have removed it meanwhile.
    if (!T->BookmarkValid(Bookmarks[static_cast<std::size_t>(Item)])) throw Exception("student gone");
    T->GotoBookmark(Bookmarks[static_cast<std::size_t>(Item)]);
    if (T->FieldByName("NAME")->AsString() != StudentsBox1->Items()->Strings(Item)) throw Exception("student moved");
  } catch (...) {
    FillStudents();
    if (Ask("MSG008", mtInformation, MsgDlgButton(mbOK) | MsgDlgButton(mbAbort)) == mrAbort)
      Application->Terminate();
    return;
  }
  if (PrgReg) PrgReg->WriteBool("Options", "ShowLogonAtStartup", ShowAtStartupCheckBox->Checked());
  if (LogonStudent(T->FieldByName("ID_GROUP")->AsInteger(), T->FieldByName("ID_STUDENT")->AsInteger())) {
    LoggedOn = true;
    SetModalResult(mrOk);
  }
}

bool TLogonForm::EditingAllowed() {
  if (!DM || DM->DBLocal) return true;
  return DM->GetParam("allow_edit", "1") == "1";
}

void TLogonForm::AddButtonClick(TObject*) {
  SetErrorSection("TLogonForm.AddButtonClick");
  if (!EditingAllowed()) {
    Ask("MSG007", mtInformation, MsgDlgButton(mbOK));
    return;
  }
  Edit1->Clear();
  SetPage("1");
}

void TLogonForm::FlatButton4Click(TObject*) {
  SetErrorSection("TLogonForm.FlatButton4Click");
  SetPage("0");
}

void TLogonForm::DelButtonClick(TObject*) {
  SetErrorSection("TLogonForm.DelButtonClick");
  if (!EditingAllowed()) {
    Ask("MSG006", mtInformation, MsgDlgButton(mbOK));
    return;
  }
  if (StudentsBox1->Items()->Count() <= 1) {
    Ask("MSG004", mtInformation, MsgDlgButton(mbOK));
    return;
  }
  const int Item = StudentsBox1->ItemIndex();
  if (Item < 0 || Item >= static_cast<int>(Bookmarks.size())) return;
  const std::string Name = StudentsBox1->Items()->Strings(Item);
  if (Ask("MSG005", mtConfirmation, mbYesNo) != mrYes) return;
  // The row is found by the item's own bookmark and checked by name: rows that other PCs added
  // or removed meanwhile must not make another student go.
  TVXDBTable* T = DM->TbStudent;
  try {
    const TBookmark& B = Bookmarks[static_cast<std::size_t>(Item)];
    if (T->BookmarkValid(B)) {
      T->GotoBookmark(B);
      if (T->FieldByName("NAME")->AsString() == Name) T->Delete();
    }
  } catch (...) {
    // Locked or gone at another PC: the list is shown again as it is now.
  }
  FillStudents();
}

void TLogonForm::JetButton2Click(TObject*) {
  SetErrorSection("TLogonForm.JetButton2Click");
  ShowPopUpHelp("help/help_logon.htm");
}

void TLogonForm::FlatButton3Click(TObject*) {
  SetErrorSection("TLogonForm.FlatButton3Click");
  const std::string Name = Trim(Edit1->Text()).substr(0, kNameLength);
  if (Name.empty() || !DM) return;
  int Group = -1;
  if (!DM->DBLocal) {
    Group = StrToIntDef(Trim(DM->GetParam("id_group", "-2")), -2);
    if (Group != -2) {
      try {
        if (!DM->TbGroup->Locate("ID_GROUP", Group, 0)) Group = -2;
      } catch (...) {
        Group = -2;
      }
    }
  }
  if (Group == -2) {
    // Without a group nothing is saved, whether the user goes back or ends the program.
    if (Ask("MSG014", mtInformation, MsgDlgButton(mbOK) | MsgDlgButton(mbAbort)) == mrAbort)
      Application->Terminate();
    return;
  }
  TVXDBTable* T = DM->TbStudent;
  try {
    if (!DM->DB->InTransaction()) DM->DB->StartTransaction();
    T->Append();
    T->FieldByName("SEX")->SetAsString(RadioButton1->Checked() ? "M" : "W");
    T->FieldByName("NAME")->SetAsString(Name);
    T->FieldByName("COURSE")->SetAsInteger(-1);
    T->FieldByName("ID_GROUP")->SetAsInteger(Group);
    T->Post();
    DM->DB->Commit();
    if (PrgReg) PrgReg->WriteBool("Options", "ShowLogonAtStartup", ShowAtStartupCheckBox->Checked());
    const int Student = T->FieldByName("ID_STUDENT")->AsInteger();
    const int RowGroup = T->FieldByName("ID_GROUP")->AsInteger();
    if (DM->DB->InTransaction()) DM->DB->Commit();
    if (LogonStudent(RowGroup, Student)) {
      LoggedOn = true;
      SetModalResult(mrOk);
      return;
    }
    SetPage("0");
    FillStudents();
  } catch (...) {
    try {
      if (T->State() == dsInsert || T->State() == dsEdit) T->Cancel();
      if (DM->DB->InTransaction()) DM->Rollback();
    } catch (...) {
    }
  }
}

void TLogonForm::FormClose(TObject*, TCloseAction& Action) {
  SetErrorSection("TLogonForm.FormClose");
  if (!LoggedOn) Application->Terminate();
  Action = caFree;
}

void ShowLogonDialog() {
  if (!LogonForm) LogonForm = new TLogonForm(nullptr);
  TLogonForm* F = LogonForm;
  F->ShowModal();
  // Closing released it for later; it goes now (a release of a freed form is left alone).
  delete F;
}
