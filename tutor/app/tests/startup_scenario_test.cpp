// The program started for real on an installation folder: the window modes by screen width, the
// start without a database, the first start on an empty database through the logon dialog, the
// automatic logon and its fall-back, and what the program leaves behind when it closes.
#include <fstream>
#include <sstream>

#include "controls/vxbutton.h"
#include "platform/core/fileutils.h"
#include "platform/core/inifiles.h"
#include "platform/gui/testing.h"
#include "tutor/EFrm.h"
#include "tutor/app/MainForm.h"
#include "tutor/app/logon.h"
#include "tutor/app/panel.h"
#include "tutor/app/tests/scenario.h"
#include "tutor/core/DataModule.h"

using namespace scenario;

namespace {

std::string ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

TPrgReg Settings() { return TPrgReg(TPrgReg::DefaultFileName()); }

// Auto logon of a student without any dialog: the start goes straight to the menu.
std::vector<std::tuple<std::string, std::string, std::string>> QuietStart(int Student) {
  return {{"Options", "ShowLogonAtStartup", "0"},
          {"Options", "ShowHintAtStartup", "0"},
          {"Options", "LastID_STUDENT", std::to_string(Student)},
          {"Options", "LastID_GROUP", "-1"}};
}

TStep CloseWithTheMenuButton() {
  return {"close", nullptr, [] {
            auto* M = dynamic_cast<TMainForm*>(VisibleForm("TMainForm"));
            SCN_CHECK(M != nullptr);
            if (M) ClickSkin(M->CloseBtn);
          }};
}

TEST(StartupScenario, WindowModeFollowsTheScreenWidth) {
  const struct {
    int Width, Height;
    bool Borderless;
  } Cases[] = {{0, 0, true}, {800, 600, true}, {1024, 768, false}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Width);
    TInstallFolder Folder;
    const int S = Folder.AddStudent("Ala");
    TRunOptions O;
    O.ScreenWidth = C.Width;
    O.ScreenHeight = C.Height;
    O.Settings = QuietStart(S);
    const bool Borderless = C.Borderless;
    O.Steps = {WaitForMenu(),
               {"geometry", nullptr,
                [Borderless] {
                  SCN_CHECK_EQ(PanelForm->ClientWidth(), 800);
                  SCN_CHECK_EQ(PanelForm->ClientHeight(), 600);
                  SCN_CHECK_EQ(PanelForm->FullScreenCapable, Borderless);
                  SCN_CHECK_EQ(PanelForm->BorderStyle() == bsNone, Borderless);
                  if (Borderless) {
                    SCN_CHECK_EQ(PanelForm->Left(), 0);
                    SCN_CHECK_EQ(PanelForm->Top(), 0);
                  } else {
                    SCN_CHECK_EQ(PanelForm->Left(), (Screen->Width() - PanelForm->Width()) / 2);
                    SCN_CHECK_EQ(PanelForm->Top(), (Screen->Height() - PanelForm->Height()) / 2);
                  }
                  SCN_CHECK_EQ(PanelForm->Caption(), TInstallFolder::Message("AppCaptionDemo"));
                  SCN_CHECK_EQ(Application->Title(), TInstallFolder::Message("AppCaptionDemo"));
                  SCN_CHECK_EQ(DM->CurrentStudent, 1);
                }},
               CloseWithTheMenuButton()};
    const TRun Run = RunProgram(Folder, O);
    ExpectClean(Run);
    EXPECT_EQ(Run.Status, 0);
    EXPECT_TRUE(Folder.Rows("SESSIONS", "ID_SESSION").empty());
  }
}

TEST(StartupScenario, NarrowScreenSaysSoAndEnds) {
  TInstallFolder Folder;
  const int S = Folder.AddStudent("Ala");
  TRunOptions O;
  O.ScreenWidth = 640;
  O.ScreenHeight = 480;
  O.Settings = QuietStart(S);
  O.Steps = {{"MSG001", [] { return MessageDialog() != nullptr; },
              [] {
                TForm* D = MessageDialog();
                SCN_CHECK_EQ(MessageText(D), TInstallFolder::Message("MSG001"));
                PressKey(D, VK_RETURN);
              }}};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 1);
  EXPECT_TRUE(Folder.Rows("SESSIONS", "ID_SESSION").empty());
}

TEST(StartupScenario, MissingDatabaseDirectoryIsReportedAndEndsTheProgram) {
  TInstallOptions IO;
  IO.Data = false;
  TInstallFolder Folder(IO);
  TRunOptions O;
  const std::string Dir = Folder.Path() + "data";
  O.Steps = {{"the error window", [] { return VisibleForm("TErrorForm") != nullptr; },
              [Dir] {
                auto* E = dynamic_cast<TErrorForm*>(VisibleForm("TErrorForm"));
                SCN_CHECK_EQ(E->ErrClassLabel->Caption(), std::string("Exception Class: EDBNotExists"));
                SCN_CHECK_EQ(E->ErrMsgLabel->Caption(), "Nie znaleziono katalogu bazy danych: " + Dir);
                ClickCenter(E->OKBtn);
              }}};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 1);
  // The report lies beside the program and names the step that failed.
  std::string Log;
  TSearchRec F;
  if (FindFirst(Folder.Path() + "*.log", 0, F) == 0) Log = ReadFile(Folder.Path() + F.Name);
  FindClose(F);
  EXPECT_NE(Log.find("Section: TDM.DataModuleCreate"), std::string::npos) << Log;
  EXPECT_NE(Log.find("Exception Class: EDBNotExists"), std::string::npos) << Log;
}

TEST(StartupScenario, FirstStartOnAnEmptyDatabaseAddsTheStudentAndLogsHimOn) {
  TInstallFolder Folder;
  TRunOptions O;
  O.Settings = {{"Options", "ShowHintAtStartup", "0"}};
  O.Steps = {
      {"the logon dialog", [] { return VisibleForm("TLogonForm") != nullptr && !MessageDialog(); },
       [] { PressKey(LogonForm, VK_RETURN); }},
      WaitForMessage("MSG011", "OK"),
      {"back in the dialog", [] { return !MessageDialog() && VisibleForm("TLogonForm"); },
       [] {
         SCN_CHECK_EQ(LogonForm->Notebook->ActivePage(), std::string("0"));
         ClickSkin(LogonForm->AddButton);
       }},
      {"the new student page", [] { return LogonForm && LogonForm->Notebook->ActivePage() == "1"; },
       [] {
         vxtest::TypeText(LogonForm->Edit1, "\xC5\x81ukasz");  // typed with AltGr for the Polish letter
         vxtest::Pump();
         SCN_CHECK_EQ(LogonForm->Edit1->Text(), std::string("\xA3ukasz"));
         PressKey(LogonForm->Edit1, VK_RETURN);
       }},
      WaitForMenu(),
      {"logged on", nullptr,
       [&Folder] {
         SCN_CHECK_EQ(Folder.Rows("student", "ID_STUDENT;ID_GROUP;NAME;COURSE;SEX"),
                      (std::vector<std::string>{"1|-1|\xA3ukasz|-1|M"}));
         SCN_CHECK_EQ(Folder.Rows("SESSIONS", "ID_STUDENT;INFO1"),
                      (std::vector<std::string>{"1|" + TInstallFolder::Message("menu")}));
         SCN_CHECK_EQ(Folder.Rows("locks", "ID_STUDENT"), (std::vector<std::string>{"1"}));
         SCN_CHECK(LogonForm == nullptr);
       }},
      CloseWithTheMenuButton()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
  TPrgReg R = Settings();
  EXPECT_EQ(R.ReadString("Options", "ShowLogonAtStartup", ""), "1");
  EXPECT_EQ(R.ReadString("Options", "LastID_STUDENT", ""), "1");
  EXPECT_EQ(R.ReadString("Options", "LastID_GROUP", ""), "-1");
  EXPECT_TRUE(Folder.Rows("SESSIONS", "ID_SESSION").empty());
  EXPECT_TRUE(Folder.Rows("locks", "ID_SESSION").empty());
}

TEST(StartupScenario, AutoLogonOfADeletedStudentFallsBackToTheDialog) {
  TInstallFolder Folder;
  const int S = Folder.AddStudent("Ala");
  TRunOptions O;
  O.Settings = QuietStart(S + 5);  // a student removed since the last start
  O.Steps = {{"the logon dialog", [] { return VisibleForm("TLogonForm") != nullptr && !MessageDialog(); },
              [] {
                SCN_CHECK_EQ(LogonForm->StudentsBox1->Items()->Count(), 1);
                SCN_CHECK_EQ(LogonForm->StudentsBox1->Text(), std::string("Ala"));
                ClickSkin(LogonForm->OkButton);
              }},
             WaitForMenu(), CloseWithTheMenuButton()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
  EXPECT_EQ(Settings().ReadInteger("Options", "LastID_STUDENT", 0), S);
}

TEST(StartupScenario, LeavingTheLogonDialogWithoutALogonEndsTheProgram) {
  TInstallFolder Folder;
  Folder.AddStudent("Ala");
  TRunOptions O;
  O.Steps = {{"the logon dialog", [] { return VisibleForm("TLogonForm") != nullptr; },
              [] { LogonForm->Close(); }}};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 1);
  TPrgReg R = Settings();
  EXPECT_FALSE(R.ValueExists("Options", "LastID_STUDENT"));
  EXPECT_FALSE(R.ValueExists("Options", "HintNumber"));  // no tip after the end
  EXPECT_TRUE(Folder.Rows("SESSIONS", "ID_SESSION").empty());
}

TEST(StartupScenario, MissingMainArchiveIsReportedAndEndsTheProgram) {
  TInstallFolder Folder;
  Folder.AddStudent("Ala");
  std::remove((Folder.Path() + "interface.zlb").c_str());
  TRunOptions O;
  O.Steps = {{"the error window", [] { return VisibleForm("TErrorForm") != nullptr; },
              [] {
                ClickCenter(dynamic_cast<TErrorForm*>(VisibleForm("TErrorForm"))->OKBtn);
              }}};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 1);
  std::string Log;
  TSearchRec F;
  if (FindFirst(Folder.Path() + "*.log", 0, F) == 0) Log = ReadFile(Folder.Path() + F.Name);
  FindClose(F);
  EXPECT_NE(Log.find("Section: TPanelForm.FormCreate:01"), std::string::npos) << Log;
  EXPECT_TRUE(Folder.Rows("SESSIONS", "ID_SESSION").empty());
}

TEST(StartupScenario, AnErrorInTheLoopIsReportedAndEndsWithStatusOne) {
  TInstallFolder Folder;
  const int S = Folder.AddStudent("Ala");
  TRunOptions O;
  O.Settings = QuietStart(S);
  O.Steps = {WaitForMenu(),
             {"a fault in a handler", nullptr,
              [] { Application->QueueCall([] { throw EConvertError("'x' is not a valid integer value"); }); }},
             {"the error window", [] { return VisibleForm("TErrorForm") != nullptr; },
              [] { ClickCenter(dynamic_cast<TErrorForm*>(VisibleForm("TErrorForm"))->OKBtn); }}};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 1);
  // The session is logged out on the way down all the same.
  EXPECT_TRUE(Folder.Rows("SESSIONS", "ID_SESSION").empty());
  EXPECT_TRUE(Folder.Rows("locks", "ID_SESSION").empty());
}

TEST(StartupScenario, MissingLevelsArchiveIsLoggedAndTheProgramRuns) {
  TInstallFolder Folder;
  const int S = Folder.AddStudent("Ala");
  std::remove((Folder.Path() + "vx.zlb").c_str());
  TRunOptions O;
  O.Settings = QuietStart(S);
  O.Steps = {WaitForMenu(), CloseWithTheMenuButton()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
  std::string Log;
  TSearchRec F;
  if (FindFirst(Folder.Path() + "*.log", 0, F) == 0) Log = ReadFile(Folder.Path() + F.Name);
  FindClose(F);
  EXPECT_NE(Log.find("vx.zlb"), std::string::npos) << Log;
}

}  // namespace
