#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "controls/chckfree.h"
#include "controls/logfile.h"
#include "controls/vectors.h"

namespace {

namespace fs = std::filesystem;

class TTestVector : public TBase32Vector {
 public:
  std::string ClassName() const override { return "TTestVector"; }
  int Compare(int, const void*) const override { return 0; }
  void Exchange(int, int) override {}
};

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char Tmpl[] = "/tmp/vxlogXXXXXX";
    Dir = mkdtemp(Tmpl);
    Log = Dir + "/test.log";
  }
  void TearDown() override { fs::remove_all(Dir); }

  static std::string Read(const std::string& F) {
    std::ifstream In(F, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  }
  static void Write(const std::string& F, const std::string& S) {
    std::ofstream Out(F, std::ios::binary);
    Out << S;
  }

  std::string Dir;
  std::string Log;
};

// 400 numbered lines of 100 bytes each.
std::string FortyThousandBytes() {
  std::string S;
  for (int I = 0; I < 400; ++I) {
    std::string Line = "line " + std::to_string(I) + " ";
    Line.resize(98, '.');
    S += Line + "\r\n";
  }
  return S;
}

TEST_F(LogFileTest, OverfullLogLosesItsHeadUpToALineStart) {
  const std::string Old = FortyThousandBytes();
  ASSERT_EQ(Old.size(), 40000u);
  Write(Log, Old);
  const std::string Entry(28, 'E');  // 28 + CR LF = 30 bytes
  AddToLog(Log, {Entry}, false, 32768);
  // 40,000 + 30 - 32,768 + 512 = 7,774 falls in the line 7,700..7,799: the file restarts at 7,800.
  EXPECT_EQ(Read(Log), Old.substr(7800) + Entry + "\r\n");
}

TEST_F(LogFileTest, WithoutALineEndNearTheCutTheCutIsExact) {
  const std::string Old(40000, 'x');
  Write(Log, Old);
  AddToLog(Log, {std::string(28, 'E')}, false, 32768);
  EXPECT_EQ(Read(Log), Old.substr(7774) + std::string(28, 'E') + "\r\n");
}

TEST_F(LogFileTest, LinesBeyondTheLimitAreLeftOut) {
  struct {
    std::vector<std::string> Lines;
    int MaxSize;
    const char* Written;  // nullptr: the file is not created
  } Cases[] = {
      {{"12345678", "123456789012", "x"}, 20, "12345678\r\n"},
      {{"12345678", "12345678"}, 20, "12345678\r\n12345678\r\n"},
      {{"123456789012345678901"}, 20, nullptr},
      {{}, 20, nullptr},
      {{std::string(50000, 'a'), "b"}, 0, nullptr},  // replaced below: no limit
  };
  for (auto& C : Cases) {
    fs::remove(Log);
    if (C.MaxSize == 0) {
      AddToLog(Log, C.Lines, false, 0);
      EXPECT_EQ(Read(Log), C.Lines[0] + "\r\nb\r\n");
      continue;
    }
    AddToLog(Log, C.Lines, false, C.MaxSize);
    if (C.Written)
      EXPECT_EQ(Read(Log), C.Written);
    else
      EXPECT_FALSE(fs::exists(Log));
  }
  // No limit: an existing file only grows.
  AddToLog(Log, {"c"}, false, -1);
  EXPECT_EQ(Read(Log).size(), 50000u + 2 + 3 + 3);
}

TEST_F(LogFileTest, TimeLineEmptyNameAndFailures) {
  AddToLog(Log, {"one", "two"}, true, 32768);
  const std::string Got = Read(Log);
  EXPECT_TRUE(std::regex_match(Got, std::regex("\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\r\none\r\ntwo\r\n"))) << Got;
  EXPECT_NO_THROW(AddToLog("", {"x"}, true, 0));
  EXPECT_THROW(AddToLog(Dir + "/missing/folder/x.log", {"x"}, false, 0), EInOutError);
}

// ---- The exit report --------------------------------------------------------------------------

class CheckFreeTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    Saved = CheckFreeConfirm;
    CheckFreeConfirm = [this](const std::string& Text, const std::string& Caption) {
      Asked.push_back(Caption + "|" + Text);
      return Answer;
    };
  }
  void TearDown() override {
    CheckFreeConfirm = Saved;
    LogFileTest::TearDown();
  }
  std::function<bool(const std::string&, const std::string&)> Saved;
  std::vector<std::string> Asked;
  bool Answer = true;
};

TEST_F(CheckFreeTest, NothingAliveAsksNothing) {
  ASSERT_TRUE(RegisteredObjects().empty());
  {
    TPointerVector V;
    V.Add(nullptr);
  }
  EXPECT_FALSE(CheckFreeReport(Dir));
  EXPECT_TRUE(Asked.empty());
  EXPECT_FALSE(fs::exists(Dir + "/free_err.log"));
}

TEST_F(CheckFreeTest, AnswerDecidesWhetherTheReportIsWritten) {
  TPointerVector A;
  TTestVector B;
  const std::string File = Dir + "/free_err.log";

  Answer = false;
  EXPECT_FALSE(CheckFreeReport(Dir));
  ASSERT_EQ(Asked.size(), 1u);
  EXPECT_EQ(Asked[0], "Warning|CheckFree has found some objects were not freed.\rAdd report to log file '" + File + "'?");
  EXPECT_FALSE(fs::exists(File));

  Answer = true;
  EXPECT_TRUE(CheckFreeReport(Dir));
  EXPECT_TRUE(std::regex_match(
      Read(File), std::regex("\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\r\n\\*\\*\\* CheckFree \\*\\*\\*\r\n"
                             "TPointerVector\r\nTTestVector\r\n\\*\\*\\* end \\*\\*\\*\r\n")))
      << Read(File);
}

TEST_F(CheckFreeTest, UnwritableProgramFolderFallsBackToTheStateFolder) {
  const char* Old = std::getenv("XDG_STATE_HOME");
  const std::string SavedState = Old ? Old : "";
  setenv("XDG_STATE_HOME", (Dir + "/state").c_str(), 1);
  TPointerVector A;
  const std::string Missing = Dir + "/no/such/program/folder";
  EXPECT_EQ(CheckFreeLogFileName(Missing), Dir + "/state/vx/free_err.log");
  EXPECT_EQ(CheckFreeLogFileName(Dir), Dir + "/free_err.log");
  EXPECT_TRUE(CheckFreeReport(Missing));
  EXPECT_NE(Read(Dir + "/state/vx/free_err.log").find("TPointerVector\r\n"), std::string::npos);
  if (Old)
    setenv("XDG_STATE_HOME", SavedState.c_str(), 1);
  else
    unsetenv("XDG_STATE_HOME");
}

TEST_F(CheckFreeTest, WithoutAConfirmationHookNothingIsWritten) {
  TPointerVector A;
  CheckFreeConfirm = nullptr;
  EXPECT_FALSE(CheckFreeReport(Dir));
  EXPECT_FALSE(fs::exists(Dir + "/free_err.log"));
}

}  // namespace
