#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "tutor/fmELog.h"
#include "tutor/tests/test_archive.h"

namespace {

std::string ReadFile(const std::string& Path) {
  std::ifstream F(Path, std::ios::binary);
  std::stringstream S;
  S << F.rdbuf();
  return S.str();
}

const std::string Rule(79, '=');

TEST(ErrorLogTest, ReportLinesWithAFixedClock) {
  TfmELogger L;
  L.SetSection("TPanelForm.FormCreate:03");
  struct TCase {
    const char* What;
    TDateTime When;
    std::vector<std::string> Notes;
    std::vector<std::string> Expected;
  };
  const std::vector<TCase> Cases = {
      {"afternoon, no notes",
       EncodeDate(2026, 3, 7) + EncodeTime(15, 5, 9, 0),
       {},
       {"Application Error at 03:05 pm on 03/07/26", "Section: TPanelForm.FormCreate:03",
        "Exception Class: EConvertError", "Exception Message: 'x' is not a valid integer value", Rule}},
      {"morning, blank notes count as none",
       EncodeDate(2031, 12, 24) + EncodeTime(0, 30, 0, 0),
       {"", "  "},
       {"Application Error at 12:30 am on 12/24/31", "Section: TPanelForm.FormCreate:03",
        "Exception Class: EConvertError", "Exception Message: 'x' is not a valid integer value", Rule}},
      {"notes typed",
       EncodeDate(2026, 1, 2) + EncodeTime(12, 0, 0, 0),
       {"Klikn\xB9\xB3"
        "em OK",
        "", "i tyle"},
       {"Application Error at 12:00 pm on 01/02/26", "Section: TPanelForm.FormCreate:03",
        "Exception Class: EConvertError", "Exception Message: 'x' is not a valid integer value", "",
        "User Notes:",
        "Klikn\xB9\xB3"
        "em OK",
        "", "i tyle", Rule}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    TStringList Notes, Report;
    for (const auto& N : C.Notes) Notes.Add(N);
    L.BuildReport(&Report, C.When, "EConvertError", "'x' is not a valid integer value", &Notes);
    std::vector<std::string> Got;
    for (int i = 0; i < Report.Count(); ++i) Got.push_back(Report.Strings(i));
    EXPECT_EQ(Got, C.Expected);
  }
}

TEST(ErrorLogTest, ReportsAreAppendedToTheLogFile) {
  TTempDir Dir;
  TfmELogger L;
  L.SetLogFolder(Dir.Path());
  L.SetFileName("vx.log");
  L.SetSection("TDM.Logon");
  const TDateTime When = EncodeDate(2026, 5, 1) + EncodeTime(9, 41, 0, 0);
  EXPECT_EQ(L.LogException(EConvertError("bad number"), nullptr, When), Dir.Path() + "/vx.log");
  L.SetSection("TMainForm.FormShow");
  EXPECT_EQ(L.LogException(std::runtime_error("plain"), nullptr, When), Dir.Path() + "/vx.log");
  const std::string Expected =
      "Application Error at 09:41 am on 05/01/26\r\nSection: TDM.Logon\r\nException Class: EConvertError\r\n"
      "Exception Message: bad number\r\n" +
      Rule +
      "\r\n"
      "Application Error at 09:41 am on 05/01/26\r\nSection: TMainForm.FormShow\r\n"
      "Exception Class: std::runtime_error\r\nException Message: plain\r\n" +
      Rule + "\r\n";
  EXPECT_EQ(ReadFile(Dir.Path() + "/vx.log"), Expected);
}

TEST(ErrorLogTest, UnwritableLogFolderFallsBackToTheStateFolder) {
  TTempDir Dir;
  // A plain file where the log folder should be: nothing can be written below it, not even by root.
  const std::string Locked = Dir.Write("program", "not a folder");
  const std::string State = Dir.Path() + "/state";
  const char* Old = std::getenv("XDG_STATE_HOME");
  const std::string Saved = Old ? Old : "";
  setenv("XDG_STATE_HOME", State.c_str(), 1);
  TfmELogger L;
  L.SetLogFolder(Locked);
  L.SetFileName("vx.log");
  const std::string Predicted = L.ReportPath();
  const std::string Written = L.LogException(Exception("boom"), nullptr, EncodeDate(2026, 5, 1));
  if (Old)
    setenv("XDG_STATE_HOME", Saved.c_str(), 1);
  else
    unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(Written, State + "/vx/vx.log");
  EXPECT_EQ(Predicted, Written);
  EXPECT_NE(ReadFile(Written).find("Exception Message: boom\r\n"), std::string::npos);
}

TEST(ErrorLogTest, HandlerShowsTheWindowLogsTheNotesAndTerminates) {
  TTempDir Dir;
  for (bool Terminate : {true, false}) {
    SCOPED_TRACE(Terminate ? "terminate after logging" : "keep running");
    TfmELogger L;
    L.SetLogFolder(Dir.Path());
    L.SetFileName("h.log");
    L.SetTerminateAfterLogging(Terminate);
    L.SetSection("TStdLessonForm.StartBtnClick");
    L.Clock = [] { return EncodeDate(2026, 11, 30) + EncodeTime(23, 59, 0, 0); };
    std::vector<std::string> Shown;
    L.ShowErrorWindow = [&](const std::string& ClassText, const std::string& Message,
                            const std::string& LogFile, TStrings* Notes) {
      Shown = {ClassText, Message, LogFile};
      // A handler that runs while the window is open (a timer) sets its own section and the
      // clock moves on; the report keeps the failing step and its time.
      L.SetSection("TMainForm.Timer1Timer");
      L.Clock = [] { return EncodeDate(2026, 12, 1); };
      Notes->Add(
          "Pisa\xB3"
          "em lekcj\xEA");
    };
    int Terminated = 0;
    L.OnTerminate = [&] { ++Terminated; };
    std::remove((Dir.Path() + "/h.log").c_str());
    EXPECT_EQ(L.HandleException(nullptr, EInOutError("disk full")), Dir.Path() + "/h.log");
    EXPECT_EQ(Shown,
              (std::vector<std::string>{"Exception Class: EInOutError", "disk full", Dir.Path() + "/h.log"}));
    EXPECT_EQ(Terminated, Terminate ? 1 : 0);
    EXPECT_EQ(ReadFile(Dir.Path() + "/h.log"),
              "Application Error at 11:59 pm on 11/30/26\r\nSection: TStdLessonForm.StartBtnClick\r\n"
              "Exception Class: EInOutError\r\nException Message: disk full\r\n\r\nUser Notes:\r\n"
              "Pisa\xB3"
              "em lekcj\xEA\r\n" +
                  Rule + "\r\n");
  }
}

TEST(ErrorLogTest, GlobalLoggerIsNamedAfterTheProgram) {
  ASSERT_NE(ELogger, nullptr);
  EXPECT_EQ(ELogger->LogPath(), ChangeFileExt(ProgramFileName(), ".log"));
  EXPECT_TRUE(ELogger->TerminateAfterLogging());
  SetErrorSection("TResultsForm.FormShow");
  EXPECT_EQ(ELogger->Section(), "TResultsForm.FormShow");
}

}  // namespace
