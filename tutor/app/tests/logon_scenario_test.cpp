// The logon dialog of the running program: a student at work on another PC (a real process),
// that PC switched off, the editing rules of a shared database, a save without a group, and a
// delete while another PC changes the students list.
#include <memory>

#include "controls/vxbutton.h"
#include "htmlview/htmlview.h"
#include "platform/core/inifiles.h"
#include "platform/gui/testing.h"
#include "tutor/app/MainForm.h"
#include "tutor/app/logon.h"
#include "tutor/app/panel.h"
#include "tutor/app/tests/scenario.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/tests/probe_process.h"

using namespace scenario;

namespace {

std::vector<std::tuple<std::string, std::string, std::string>> NoTips() {
  return {{"Options", "ShowHintAtStartup", "0"}};
}

TStep Close() {
  return {"close", nullptr, [] {
            auto* M = dynamic_cast<TMainForm*>(VisibleForm("TMainForm"));
            SCN_CHECK(M != nullptr);
            if (M) ClickSkin(M->CloseBtn);
          }};
}

TStep Dialog(const std::string& What, std::function<void()> Act) {
  return {What, [] { return VisibleForm("TLogonForm") != nullptr && !MessageDialog(); }, std::move(Act)};
}

// Chooses the student named Name in the list with the keyboard.
void Choose(const std::string& Name) {
  TComboBox* Box = LogonForm->StudentsBox1;
  Box->SetFocus();
  vxtest::KeyStroke(Box, VK_HOME);
  for (int I = 0; I < Box->Items()->Count() && Box->Text() != Name; ++I) vxtest::KeyStroke(Box, VK_DOWN);
  vxtest::Pump();
  SCN_CHECK_EQ(Box->Text(), Name);
}

std::unique_ptr<TProbeProcess> gOtherPc;

TForm* HelpWindow() {
  for (int I = 0; I < Screen->FormCount(); ++I)
    if (TForm* F = Screen->Forms(I); F && F->Visible() && F->Name() == "InstructionForm") return F;
  return nullptr;
}

TEST(LogonScenario, StudentAtWorkElsewhereIsRefusedUntilThatPcDies) {
  TInstallFolder Folder;
  const int S = Folder.AddStudent("Ala"), T = Folder.AddStudent("Ola");
  TRunOptions O;
  O.Settings = NoTips();
  O.Settings.emplace_back("Options", "ShowLogonAtStartup", "0");
  O.Settings.emplace_back("Options", "LastID_STUDENT", std::to_string(S));
  const std::string Path = Folder.Path();
  O.Before = [Path, S] {
    gOtherPc = std::make_unique<TProbeProcess>(VX_SESSION_PROBE, Path, -1, S);
    SCN_CHECK(gOtherPc->LoggedOn());
  };
  O.Steps = {
      // The automatic logon of Ala fails: she is at work on the other PC.
      Dialog("the logon dialog", [] {
        Choose("Ala");
        ClickSkin(LogonForm->OkButton);
      }),
      WaitForMessage("MSG008", "OK"),
      Dialog("still there", [&Folder, T] {
        SCN_CHECK_EQ(Folder.Rows("SESSIONS", "ID_STUDENT"), (std::vector<std::string>{"1"}));
        gOtherPc->Kill();  // the other PC loses power
        Choose("Ala");
        PressKey(LogonForm->StudentsBox1, VK_RETURN);
        (void)T;
      }),
      WaitForMenu(),
      {"own rows only", nullptr,
       [&Folder, S] {
         SCN_CHECK_EQ(Folder.Rows("SESSIONS", "ID_STUDENT"), (std::vector<std::string>{std::to_string(S)}));
         SCN_CHECK_EQ(Folder.Rows("locks", "ID_SESSION"), (std::vector<std::string>{std::to_string(DM->SessionId)}));
         gOtherPc.reset();
       }},
      Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
}

TEST(LogonScenario, AbortAfterARefusedLogonEndsWithoutASession) {
  TInstallFolder Folder;
  const int S = Folder.AddStudent("Ala");
  TRunOptions O;
  O.Settings = NoTips();
  const std::string Path = Folder.Path();
  O.Before = [Path, S] {
    gOtherPc = std::make_unique<TProbeProcess>(VX_SESSION_PROBE, Path, -1, S);
    SCN_CHECK(gOtherPc->LoggedOn());
  };
  O.Steps = {Dialog("the logon dialog", [] { ClickSkin(LogonForm->OkButton); }), WaitForMessage("MSG008", "Abort")};
  O.AtEnd = [&Folder] {
    SCN_CHECK_EQ(Folder.Rows("SESSIONS", "ID_STUDENT"), (std::vector<std::string>{"1"}));  // the other PC's only
    gOtherPc.reset();
  };
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 1);
}

// A shared database of groups 1 and 2; this installation works with group 2.
void MakeShared(TInstallFolder& Folder, std::vector<std::tuple<std::string, std::string, std::string>>& Settings) {
  // The creator adds the configured group; group 1 is another class, and group 7 is one that was
  // removed since the installation was configured.
  Folder.Exec({"INSERT INTO [group] (ID_GROUP, NAME) VALUES (1, '1a')", "DELETE FROM [group] WHERE ID_GROUP = 7"});
  Folder.AddStudent("Adam", 1);
  Folder.AddStudent("Beata", 2, "W");
  Settings.emplace_back("DbOptions", "DBLocal", "0");
  Settings.emplace_back("DbOptions", "DBPath", Folder.DataPath());
}

TEST(LogonScenario, SharedDatabaseWithEditingSwitchedOff) {
  TInstallOptions IO;
  IO.SharedGroup = "2";
  IO.Config = {{"allow_edit", "0"}};
  TInstallFolder Folder(IO);
  TRunOptions O;
  O.Settings = NoTips();
  MakeShared(Folder, O.Settings);
  O.Steps = {Dialog("the logon dialog",
                    [] {
                      SCN_CHECK_EQ(LogonForm->StudentsBox1->Items()->Count(), 1);  // only group 2
                      SCN_CHECK(!LogonForm->ShowAtStartupCheckBox->Enabled());
                      SCN_CHECK(LogonForm->ShowAtStartupCheckBox->Checked());
                      ClickSkin(LogonForm->AddButton);
                    }),
             WaitForMessage("MSG007", "OK"),
             Dialog("delete", [] { ClickSkin(LogonForm->DelButton); }), WaitForMessage("MSG006", "OK"),
             Dialog("logon", [] {
               SCN_CHECK_EQ(LogonForm->Notebook->ActivePage(), std::string("0"));
               ClickSkin(LogonForm->OkButton);
             }),
             WaitForMenu(),
             {"logged on in group 2", nullptr, [] { SCN_CHECK_EQ(DM->CurrentGroup, 2); }}, Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
  EXPECT_EQ(TPrgReg(TPrgReg::DefaultFileName()).ReadString("Options", "LastID_GROUP", ""), "2");
}

TEST(LogonScenario, SharedDatabaseSavesTheNewStudentInItsGroup) {
  TInstallOptions IO;
  IO.SharedGroup = "2";
  IO.Config = {{"allow_edit", ""}};  // absent: editing allowed
  TInstallFolder Folder(IO);
  TRunOptions O;
  O.Settings = NoTips();
  MakeShared(Folder, O.Settings);
  O.Steps = {Dialog("add", [] { ClickSkin(LogonForm->AddButton); }),
             Dialog("name", [] {
               vxtest::TypeText(LogonForm->Edit1, "  Zo\xC5\xBA\x69\x61  ");  // blanks around go
               ClickCenter(LogonForm->RadioButton2);
               PressKey(LogonForm->Edit1, VK_RETURN);
             }),
             WaitForMenu(), Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
  EXPECT_EQ(Folder.Rows("student", "NAME;ID_GROUP;SEX"),
            (std::vector<std::string>{"Adam|1|M", "Beata|2|W", "Zo\x9F\x69\x61|2|W"}));
}

TEST(LogonScenario, NoGroupConfiguredSavesNothingWhetherOkOrAbort) {
  TInstallOptions IO;
  IO.SharedGroup = "7";  // names no group of the database
  TInstallFolder Folder(IO);
  TRunOptions O;
  O.Settings = NoTips();
  MakeShared(Folder, O.Settings);
  O.Steps = {Dialog("the logon dialog",
                    [] {
                      SCN_CHECK_EQ(LogonForm->StudentsBox1->Items()->Count(), 0);  // no other group's students
                      ClickSkin(LogonForm->AddButton);
                    }),
             Dialog("name", [] {
               vxtest::TypeText(LogonForm->Edit1, "Jan");
               PressKey(LogonForm->Edit1, VK_RETURN);
             }),
             WaitForMessage("MSG014", "OK"), Dialog("again", [] { PressKey(LogonForm->Edit1, VK_RETURN); }),
             WaitForMessage("MSG014", "Abort")};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 1);
  EXPECT_EQ(Folder.Rows("student", "NAME"), (std::vector<std::string>{"Adam", "Beata"}));
}

TEST(LogonScenario, DeleteRemovesTheChosenStudentWhileAnotherPcAddsOne) {
  TInstallFolder Folder;
  Folder.AddStudent("A");
  Folder.AddStudent("B");
  Folder.AddStudent("C");
  TRunOptions O;
  O.Settings = NoTips();
  O.Steps = {Dialog("choose B",
                    [] {
                      Choose("B");
                      ClickSkin(LogonForm->DelButton);
                    }),
             {"confirm", [] { return MessageDialog() != nullptr; },
              [&Folder] {
                TForm* D = MessageDialog();
                SCN_CHECK_EQ(MessageText(D), TInstallFolder::Message("MSG005"));
                // Meanwhile another PC adds a student who comes first in the list's order.
                Folder.AddStudent("AA", -5);
                Press(D, "Yes");
              }},
             Dialog("after the delete",
                    [&Folder] {
                      SCN_CHECK_EQ(Folder.Rows("student", "NAME"), (std::vector<std::string>{"A", "C", "AA"}));
                      SCN_CHECK_EQ(LogonForm->StudentsBox1->Items()->Count(), 3);
                      Choose("A");
                      ClickSkin(LogonForm->OkButton);
                    }),
             WaitForMenu(), Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
}

TEST(LogonScenario, TheLastStudentCannotBeDeleted) {
  TInstallFolder Folder;
  Folder.AddStudent("A");
  TRunOptions O;
  O.Settings = NoTips();
  O.Steps = {Dialog("delete", [] { ClickSkin(LogonForm->DelButton); }), WaitForMessage("MSG004", "OK"),
             Dialog("help", [] { ClickSkin(LogonForm->HelpButton); }),
             {"the help window", [] { return HelpWindow() != nullptr; },
              [] {
                auto* View = dynamic_cast<THTMLViewer*>(HelpWindow()->FindComponent("HTMLViewer"));
                SCN_CHECK(View && View->DocumentSource().find("Logowanie") != std::string::npos);
                PressKey(HelpWindow(), VK_RETURN);
              }},
             Dialog("logon", [] {
               SCN_CHECK(HelpWindow() == nullptr);
               ClickSkin(LogonForm->OkButton);
             }),
             WaitForMenu(), Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
  EXPECT_EQ(Folder.Rows("student", "NAME"), (std::vector<std::string>{"A"}));
}

}  // namespace
