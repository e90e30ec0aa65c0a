#include "tutor/app/TypingTable.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "platform/core/cp1250.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/testing.h"
#include "tutor/tests/test_archive.h"
#include "platform/core/fileutils.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/TempStat.h"
#include "tutor/core/tests/install_fixture.h"

namespace {

using TTrace = std::vector<std::pair<int, int>>;  // (Expected, Typed) as unsigned bytes

// A table on a form with a default and a cancel button, so that a stolen Enter or Esc shows.
class TypingTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = new TForm(Application);
    Form->SetBounds(0, 0, 800, 320);
    Ok = new TButton(Form);
    Ok->SetParent(Form);
    Ok->SetBounds(700, 280, 80, 24);
    Ok->SetDefault(true);
    Ok->OnClick = [this](TObject*) { ++ButtonClicks; };
    Cancel = new TButton(Form);
    Cancel->SetParent(Form);
    Cancel->SetBounds(600, 280, 80, 24);
    Cancel->SetCancel(true);
    Cancel->OnClick = [this](TObject*) { ++ButtonClicks; };
    Table = new TTypingTable(Form);
    Table->SetParent(Form);
    Table->SetBounds(8, 8, 784, 260);
    Table->Font()->SetName("Courier New");
    Table->Font()->SetSize(10);
    Table->OnKey = [this](char E, char T) {
      Trace.emplace_back(static_cast<unsigned char>(E), static_cast<unsigned char>(T));
    };
    Form->Show();
    vxtest::Pump();
  }
  void TearDown() override { delete Form; }

  // Starts an exercise on the lines (UTF-8 in the test, CP1250 in the table).
  void Start(const std::vector<std::string>& Lines, int Mode = 1, bool Wait = false) {
    Table->Clear();
    Table->EndLineMode = Mode;
    Table->WaitForCorrect = Wait;
    Table->UpdateMetrics();
    for (const std::string& L : Lines) Table->SourceLines->Add(Utf8ToCp1250(L));
    Trace.clear();
    Table->Prepare();
    Table->Errors = 0;
    Table->Keystrokes = 0;
    Table->SetFocus();
    vxtest::Pump();
  }
  // Types UTF-8 text; '\n' is Enter and '\b' backspace.
  void Type(const std::string& Keys) {
    std::string Run;
    auto Flush = [&] {
      if (!Run.empty()) vxtest::TypeText(Table, Run);
      Run.clear();
    };
    for (char C : Keys) {
      if (C == '\n' || C == '\b' || C == ';') {
        Flush();
        if (C == '\n') vxtest::KeyStroke(Table, VK_RETURN, "\r");
        if (C == '\b') vxtest::KeyStroke(Table, VK_BACK, "\b");
        if (C == ';') vxtest::KeyStroke(Table, VK_OEM_1, ";");
      } else {
        Run += C;
      }
    }
    Flush();
  }
  std::string Typed(int Line) const { return Cp1250ToUtf8(Table->TypedLines->Strings(Line)); }

  TForm* Form = nullptr;
  TButton* Ok = nullptr;
  TButton* Cancel = nullptr;
  TTypingTable* Table = nullptr;
  TTrace Trace;
  int ButtonClicks = 0;
};

TEST_F(TypingTableTest, WholeLinesInEachEndOfLineMode) {
  struct Case {
    const char* What;
    int Mode;
    std::vector<std::string> Lines;
    const char* Keys;
    bool Finished;
    int Errors, Keystrokes;
    std::vector<std::string> TypedLines;
    TTrace Tail;  // the last reports
  } Cases[] = {
      {"Enter ends a line in mode 1", 1, {"ala ma"}, "ala ma\n", true, 0, 7, {"ala ma"}, {{13, 13}, {0, 0}}},
      {"the blank ends it in mode 2", 2, {"ala", "ma"}, "ala ma ", true, 0, 7, {"ala", "ma"}, {{32, 32}, {0, 0}}},
      {"either in mode 3", 3, {"ala", "ma"}, "ala\nma ", true, 0, 7, {"ala", "ma"}, {{32, 32}, {0, 0}}},
      {"a wrong key at the end in mode 3 expected Enter", 3, {"ala", "ma"}, "alax", false, 1, 4, {"alax", ""},
       {{13, 'x'}}},
      {"a blank at the end in mode 1 is a typed error", 1, {"ala", "x"}, "ala ", false, 1, 4, {"ala ", ""},
       {{13, 32}}},
      {"the keystroke that ends the exercise is reported, wrong or right", 1, {"ab"}, "abx", true, 1, 3, {"abx"},
       {{'b', 'b'}, {13, 'x'}, {0, 0}}},
      {"a key on a finished exercise is ignored", 1, {"a"}, "a\nzz", true, 0, 2, {"a"}, {{13, 13}, {0, 0}}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Start(C.Lines, C.Mode);
    ASSERT_FALSE(Trace.empty());
    EXPECT_EQ(Trace.front(), std::make_pair(static_cast<int>(static_cast<unsigned char>(C.Lines[0][0])), 0));
    Type(C.Keys);
    EXPECT_EQ(Table->Finished, C.Finished);
    EXPECT_EQ(Table->Errors, C.Errors);
    EXPECT_EQ(Table->Keystrokes, C.Keystrokes);
    for (std::size_t i = 0; i < C.TypedLines.size(); ++i) EXPECT_EQ(Typed(static_cast<int>(i)), C.TypedLines[i]);
    ASSERT_GE(Trace.size(), C.Tail.size());
    EXPECT_EQ(TTrace(Trace.end() - static_cast<long>(C.Tail.size()), Trace.end()), C.Tail);
    // Every checked key was reported, the announcement and the end aside.
    const long Reported = static_cast<long>(Trace.size()) - 1 - (C.Finished ? 1 : 0);
    EXPECT_EQ(Reported, C.Keystrokes);
  }
  EXPECT_EQ(ButtonClicks, 0);  // Enter never reached the default button
}

TEST_F(TypingTableTest, WaitForCorrectKeepsTheCursorOnAWrongKey) {
  Start({"ala"}, 1, true);
  Type("axla");
  EXPECT_EQ(Typed(0), "ala");
  EXPECT_EQ(Table->Errors, 1);
  EXPECT_EQ(Table->Keystrokes, 4);
  EXPECT_EQ(Table->Column, 3);
  EXPECT_EQ(static_cast<unsigned char>(Table->NextChar), 182);
  Type(" \n");  // a wrong end key does not end the line
  EXPECT_EQ(Table->Errors, 2);
  EXPECT_TRUE(Table->Finished);
}

TEST_F(TypingTableTest, BackspaceTakesBackOneCharacterAndNothingAtTheStart) {
  Start({"ala"});
  Type("\b");
  EXPECT_EQ(Table->Keystrokes, 0);  // nothing to take back: nothing changes, nothing reported
  EXPECT_EQ(Trace.size(), 1u);
  Type("alx\ba");
  EXPECT_EQ(Typed(0), "ala");
  EXPECT_EQ(Table->Errors, 1);
  EXPECT_EQ(Table->Keystrokes, 3);
  EXPECT_NE(std::find(Trace.begin(), Trace.end(), std::make_pair(0, 8)), Trace.end());

  Table->UseBackspace = false;
  Start({"ala"});
  Table->UseBackspace = false;
  Type("alx\b");
  EXPECT_EQ(Typed(0), "alx");
  EXPECT_EQ(Table->Column, 3);
  EXPECT_EQ(Table->Keystrokes, 3);
  EXPECT_EQ(std::find(Trace.begin(), Trace.end(), std::make_pair(0, 8)), Trace.end());
  Table->UseBackspace = true;
}

TEST_F(TypingTableTest, BackingIntoALineTypedPastItsEndReadsNothingBeyondIt) {
  Start({"ab", "c"});
  Type("abx");  // a wrong end key is typed into the line and ends it
  EXPECT_EQ(Table->CurLine, 1);
  Type("\b");  // back onto line 0, one past its source
  EXPECT_EQ(Table->CurLine, 0);
  EXPECT_EQ(Table->Column, 3);
  EXPECT_EQ(Table->Keystrokes, 2);
  EXPECT_EQ(static_cast<unsigned char>(Table->NextChar), 182);
  Type("\n");  // the end key again: the line ends, the error stays counted
  EXPECT_EQ(Table->CurLine, 1);
  EXPECT_EQ(Table->Errors, 1);
  EXPECT_EQ(Trace.back(), std::make_pair(13, 13));
  Type("c\n");
  EXPECT_TRUE(Table->Finished);
}

TEST_F(TypingTableTest, PolishLettersThroughAltGrAreRight) {
  const std::string Text = "zażółć gęślą jaźń ĄĆĘŁŃÓŚŹŻ ąćęłńóśźż";
  Start({Text});
  Type(Text + "\n");
  EXPECT_TRUE(Table->Finished);
  EXPECT_EQ(Table->Errors, 0);
  EXPECT_EQ(Typed(0), Text);
}

TEST_F(TypingTableTest, ControlKeysAreNoTypedKeysAndTheTableKeepsTheFocus) {
  Start({"ala"});
  vxtest::KeyStroke(Table, 'A', "\x01", ssCtrl);
  vxtest::KeyStroke(Table, VK_ESCAPE, "\x1b");
  vxtest::KeyStroke(Table, VK_TAB, "\t");
  vxtest::KeyStroke(Table, VK_LEFT);
  EXPECT_EQ(Table->Keystrokes, 0);
  EXPECT_EQ(Table->Errors, 0);
  EXPECT_EQ(Typed(0), "");
  EXPECT_EQ(Trace.size(), 1u);
  EXPECT_TRUE(vxtest::HasFocus(Table));
  EXPECT_EQ(ButtonClicks, 0);
  Type("\n");  // Enter in the middle of a line is a typed (wrong) key, not the default button's
  EXPECT_EQ(Table->Errors, 1);
  EXPECT_EQ(ButtonClicks, 0);
}

TEST_F(TypingTableTest, ScrollingKeepsTheLineBeingTypedInView) {
  Start({"a"});
  const int Pitch = Table->RowPitch;
  struct Case {
    int Style, Rows, LinesTyped, TopLine;
  } Cases[] = {
      {1, 3, 3, 1}, {2, 3, 3, 3}, {3, 3, 3, 2}, {3, 1, 1, 1}, {3, 1, 4, 4}, {2, 1, 2, 2},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << "style " << C.Style << " rows " << C.Rows << " typed " << C.LinesTyped);
    Table->SetHeight(Pitch * C.Rows + Pitch / 2);
    Table->ScrollStyle = C.Style;
    Start({"a", "b", "c", "d", "e", "f", "g"});
    ASSERT_EQ(Table->VisibleRows, C.Rows);
    for (int i = 0; i < C.LinesTyped; ++i) Type(std::string(1, static_cast<char>('a' + i)) + "\n");
    EXPECT_EQ(Table->CurLine, C.LinesTyped);
    EXPECT_EQ(Table->TopLine, C.TopLine);
    EXPECT_GE(Table->CurLine, Table->TopLine);
    EXPECT_LT(Table->CurLine, Table->TopLine + Table->VisibleRows);
  }
}

TEST_F(TypingTableTest, AnExerciseWithNothingToTypeIsReportedAndTakesNoKeys) {
  Start({});
  EXPECT_TRUE(Table->NothingToType());
  EXPECT_TRUE(Trace.empty());
  Type("a\n\b");
  EXPECT_EQ(Table->Keystrokes, 0);
  EXPECT_TRUE(Trace.empty());

  TTempDir Dir;
  struct Case {
    std::string File;
    int Result;
    std::vector<std::string> Lines;
  } Cases[] = {
      {Dir.Write("only-meta.txt", "#title=Alfa\r\n#inst=x.htm\r\na\r\n \r\n"), 0, {}},
      {Dir.Path() + "/missing.txt", -1, {}},
      {Dir.Write("lesson.txt", "#title=Beta\r\nala ma kota   \r\n\tkot\r\nx\r\n"), 0, {"ala ma kota", " kot"}},
  };
  for (const Case& C : Cases) {
    Table->Clear();
    Trace.clear();
    EXPECT_EQ(Table->LoadLessonText(C.File), C.Result) << C.File;
    std::vector<std::string> Got;
    for (int i = 0; i < Table->SourceLines->Count(); ++i) Got.push_back(Table->SourceLines->Strings(i));
    EXPECT_EQ(Got, C.Lines) << C.File;
    EXPECT_EQ(Table->NothingToType(), C.Lines.empty());
    EXPECT_EQ(Trace.size(), C.Lines.empty() ? 0u : 1u);
  }
}

// The colour of the typed characters: right ones in CorColor, a wrong blank as '_' in ErrColor.
TEST_F(TypingTableTest, TypedCharactersShowRightAndWrongInTheirColours) {
  Start({"ala", "x"});
  Type("ala ");
  vxtest::Pump();

  TBitmap Shot;
  vxtest::Grab(Table, &Shot);
  const int CharW = Table->Canvas()->TextWidth("a");
  const int Y0 = Table->LineHeight, Y1 = 2 * Table->LineHeight;
  auto Count = [&](int X0, int X1, TColor Want) {
    int N = 0;
    for (int Y = Y0; Y < Y1; ++Y)
      for (int X = X0; X < X1; ++X)
        if (Shot.Canvas()->Pixel(X, Y) == Want) ++N;
    return N;
  };
  EXPECT_GT(Count(0, 3 * CharW, Table->CorColor), 0);
  EXPECT_EQ(Count(0, 3 * CharW, Table->ErrColor), 0);
  EXPECT_GT(Count(3 * CharW, 4 * CharW, Table->ErrColor), 0);  // the '_' of the wrong blank
  EXPECT_EQ(Table->CurLine, 1);
}

// A key draws only what it changed; the table painted afresh must show the very same pixels.
TEST_F(TypingTableTest, WhatTheKeysDrewIsWhatAFullPaintShows) {
  Start({"zażółć gęślą", "jaźń kot"});
  Type("zażólć gęśla\nja\b\bjaź");
  vxtest::Pump();
  TBitmap Typed, Painted;
  vxtest::Grab(Table, &Typed);
  Table->Invalidate();
  vxtest::Pump();
  vxtest::Grab(Table, &Painted);
  ASSERT_EQ(Typed.Width(), Painted.Width());
  int Differ = 0;
  for (int Y = 0; Y < Typed.Height(); ++Y)
    for (int X = 0; X < Typed.Width(); ++X) Differ += Typed.Canvas()->Pixel(X, Y) != Painted.Canvas()->Pixel(X, Y);
  EXPECT_EQ(Differ, 0);
  EXPECT_EQ(Table->Errors, 2);
}

// The whole road of one exercise below the lesson screen: two lines typed into a table with real
// key input, 200 ms apart on an injected clock, every checked key fed into the statistics the way
// the lesson does, then stored for a logged-on student.
uint32_t FakeNow = 0;
uint32_t FakeTick() { return FakeNow; }

TEST_F(TypingTableTest, ATwoLineExerciseTypedWithThreeErrorsIsStored) {
  TInstallOptions Options;
  Options.SharedGroup = "1";
  TInstallFolder Inst(Options);
  const int Student = Inst.AddStudent("Ala", 1, "W");
  auto* Dm = new TDM(nullptr);
  Dm->DBLocal = false;
  Dm->DBPath = Inst.DataPath();
  Dm->Open();
  ASSERT_EQ(Dm->Logon(1, Student), 0);

  const TTickSource OldTick = SetTickSource(FakeTick);
  FakeNow = 1000;
  TStatList Stats(1, 1, "", "lesson.txt", "Lekcja");
  uint32_t Last = 0;
  bool Ended = false;
  Table->OnKey = [&](char E, char T) {
    if (E == 0 && T == 0) {
      Ended = true;
      return;
    }
    if (E == 0 || T == 0 || T == 8) return;  // the announcement and backspaces carry no keystroke
    const uint32_t Now = GetTickCount();
    Stats.AddKeystroke(E, T, static_cast<int32_t>(Now - Last));
    Last = Now;
  };
  Start({"asdf jkl;", "fdsa ;lkj"});
  Last = GetTickCount();
  // Wrong: the 'x' for d, the 'z' for l and the 'q' for j; every key 200 ms after the one before.
  for (char C : std::string("asxf jkz;\nfdsa ;lkq\n")) {
    FakeNow += 200;
    Type(std::string(1, C));
  }
  SetTickSource(OldTick);
  ASSERT_TRUE(Ended);
  EXPECT_EQ(Table->Errors, 3);
  EXPECT_EQ(Table->Keystrokes, 20);
  ASSERT_EQ(Stats.Count(), 20);

  const TSaveOutcome O = Stats.SaveStatistics(Dm);
  ASSERT_TRUE(O.Saved) << O.Error;
  Dm->Close();
  delete Dm;
  const std::string N = IntToStr(O.PracticeId);
  // 19 keystrokes counted (the first only starts the clock), 3 of them wrong, 0.2 s each.
  EXPECT_EQ(Inst.Rows("practice", "ID_PRACTICE;ID_STUDENT;COUNT;ERRORS;DURATION;CPM;DESC"),
            (std::vector<std::string>{N + "|" + IntToStr(Student) + "|19|3|3,8|300|Lekcja"}));
  const double Accuracy = 16.0 * 100 / 19;
  EXPECT_NEAR(StrToFloat(Inst.Rows("practice", "ACCURACY")[0]), Accuracy, 1e-9);
  EXPECT_EQ(Inst.Rows("results", "ID_STUDENT;ID_PRACTICE;ERRORS"),
            (std::vector<std::string>{IntToStr(Student) + "|" + N + "|3"}));
  // One row per expected key counted: a s d f, the blank, j k l ; and Enter.
  const auto Keys = Inst.Rows("statcalc", "KEY");
  EXPECT_EQ(std::set<std::string>(Keys.begin(), Keys.end()),
            (std::set<std::string>{"97", "115", "100", "102", "32", "106", "107", "108", "59", "13"}));
  EXPECT_EQ(Keys.size(), 10u);
  const auto Net = Inst.Rows("netstat", "ID_PRACTICE;KEY;CNT");
  EXPECT_EQ(Net.size(), 10u);
  int Counted = 0;
  for (const std::string& R : Net) {
    EXPECT_EQ(R.substr(0, N.size() + 1), N + "|");
    Counted += StrToInt(R.substr(R.rfind('|') + 1));
  }
  EXPECT_EQ(Counted, 19);
}

}  // namespace
