// The logon dialog: pick who is typing from the students list, add a new student or delete one,
// and log the chosen student on. The program cannot be used without a logged-on student, so
// leaving the dialog without a logon ends the program.
#pragma once

#include <vector>

#include "platform/data/db.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxImage;
class TVxButton;
class TVxLanguage;

class TLogonForm : public TForm {
 public:
  explicit TLogonForm(TComponent* AOwner);
  ~TLogonForm() override;
  std::string ClassName() const override { return "TLogonForm"; }

  TNotebook* Notebook = nullptr;
  // Page '0': choose.
  TVxImage* VxImage1 = nullptr;
  TLabel* Label1 = nullptr;
  TVxButton *AddButton = nullptr, *DelButton = nullptr, *HelpButton = nullptr, *OkButton = nullptr;
  TCheckBox* ShowAtStartupCheckBox = nullptr;
  TComboBox* StudentsBox1 = nullptr;
  TButton* EnterBtn1 = nullptr;
  // Page '1': new student.
  TVxImage* VxImage2 = nullptr;
  TLabel* Label3 = nullptr;
  TEdit* Edit1 = nullptr;
  TRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr;
  TVxButton *OkButton2 = nullptr, *CancelButton = nullptr;
  TButton* EnterBtn2 = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;

  bool LoggedOn = false;
  // The bookmark of each item of StudentsBox1, in item order.
  std::vector<TBookmark> Bookmarks;

  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void OKButton1Click(TObject* Sender);
  void AddButtonClick(TObject* Sender);
  void DelButtonClick(TObject* Sender);
  void JetButton2Click(TObject* Sender);
  void FlatButton3Click(TObject* Sender);
  void FlatButton4Click(TObject* Sender);
  void FillStudents();
  bool LogonStudent(int GroupId, int StudentId);
  // Shows a notebook page ("0" or "1"); only that page's hidden default button answers Enter.
  void SetPage(const std::string& Name);

 private:
  bool EditingAllowed();
};

// The dialog while it exists.
extern TLogonForm* LogonForm;

// Creates the dialog when there is none and shows it modally.
void ShowLogonDialog();
