#include "tutor/core/TempStat.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::vector<TStatItem> Typed(const std::string& Keys, const std::vector<int>& Intervals, const std::string& Wrong = "") {
  std::vector<TStatItem> V;
  for (std::size_t i = 0; i < Keys.size(); ++i)
    V.push_back(TStatItem{Keys[i], i < Wrong.size() && Wrong[i] != '.' ? Wrong[i] : '\0', Intervals[i]});
  return V;
}

TEST(ComputeKeyStats, WorkedByHandForFourKeys) {
  // The first keystroke only starts the clock; the other three are counted.
  TKeyStatsArray S;
  ComputeKeyStats(Typed("aaaa", {100, 200, 300, 400}, "..x."), S);
  const double V1 = 300, V2 = 200, V3 = 150;  // 60000 / interval
  for (int C : {0, static_cast<int>('a')}) {
    const TKeyStats& E = S[static_cast<std::size_t>(C)];
    EXPECT_EQ(E.Count, 3) << C;
    EXPECT_EQ(E.Errors, 1);
    EXPECT_DOUBLE_EQ(E.Seconds, 0.9);
    EXPECT_DOUBLE_EQ(E.SumSpeed, V1 + V2 + V3);
    EXPECT_DOUBLE_EQ(E.SumSpeedSq, V1 * V1 + V2 * V2 + V3 * V3);
    EXPECT_DOUBLE_EQ(E.SumRhythm, std::fabs(1 - V2 / V1) + std::fabs(1 - V3 / V2));
    EXPECT_DOUBLE_EQ(E.AvIdx, E.SumRhythm / 3);
    EXPECT_DOUBLE_EQ(E.Cpm, 3 * 60 / 0.9);
    EXPECT_DOUBLE_EQ(E.Accuracy, 200.0 / 3);
    const double Mean = (V1 + V2 + V3) / 3;
    EXPECT_DOUBLE_EQ(E.AvErr, (std::fabs(Mean - V1) + std::fabs(Mean - V2) + std::fabs(Mean - V3)) / 3);
    const double Var = ((V1 - Mean) * (V1 - Mean) + (V2 - Mean) * (V2 - Mean) + (V3 - Mean) * (V3 - Mean)) / 2;
    EXPECT_NEAR(E.Variance, Var, 1e-9);
    EXPECT_NEAR(E.StdDev, std::sqrt(Var), 1e-9);
  }
  EXPECT_EQ(S['b'].Count, 0);
}

TEST(ComputeKeyStats, RhythmComparesConsecutiveKeysOfAnyCharacterAndSkipsPauses) {
  TKeyStatsArray S;
  // 'x' first (not counted), then a 100 ms, a pause (0: not counted), b 200 ms, a 400 ms.
  ComputeKeyStats(Typed("xaxba", {0, 100, 0, 200, 400}, "..q.."), S);
  EXPECT_EQ(S[0].Count, 3);
  EXPECT_EQ(S['x'].Count, 0);
  EXPECT_EQ(S[0].Errors, 0);  // the wrong 'x' came after a pause: it has no speed
  // 600 -> 300 -> 150: both steps halve.
  EXPECT_DOUBLE_EQ(S[0].SumRhythm, 1.0);
  EXPECT_DOUBLE_EQ(S['b'].SumRhythm, 0.5);  // b's step from the 'a' before it
  EXPECT_DOUBLE_EQ(S['a'].SumRhythm, 0.5);
}

TEST(ComputeKeyStats, AKeyTypedOnceHasItsAccuracy) {
  TKeyStatsArray S;
  ComputeKeyStats(Typed("axy", {0, 100, 100}, "..z"), S);
  EXPECT_EQ(S['x'].Count, 1);
  EXPECT_DOUBLE_EQ(S['x'].Accuracy, 100);  // right once: 100 %, not the weakest key
  EXPECT_DOUBLE_EQ(S['y'].Accuracy, 0);    // wrong once
  EXPECT_DOUBLE_EQ(S['x'].Variance, 0);
  EXPECT_DOUBLE_EQ(S['x'].StdDev, 0);
  EXPECT_DOUBLE_EQ(S[0].Accuracy, 50);
  // An exercise of two keystrokes: one counted, right.
  ComputeKeyStats(Typed("ab", {0, 250}), S);
  EXPECT_DOUBLE_EQ(S[0].Accuracy, 100);
  EXPECT_DOUBLE_EQ(S[0].Cpm, 240);
}

TEST(ComputeKeyStats, EqualSpeedsGiveZeroVarianceNeverNaN) {
  // 999 equal speeds of 60000/11: the sum-of-squares formula gives -0.5 / (998 * 999) here.
  TKeyStatsArray S;
  std::vector<TStatItem> Items(1000, TStatItem{'a', 0, 11});
  ComputeKeyStats(Items, S);
  EXPECT_GE(S[0].Variance, 0);
  EXPECT_FALSE(std::isnan(S[0].StdDev));
  EXPECT_NEAR(S[0].Variance, 0, 1e-6);
}

TEST(MergeKeyHistory, MovingAverageOverAWindowOfFifty) {
  TKeyStatsArray S{};
  TKeyHistoryArray Old{}, New{};
  S['a'].Count = 30, S['a'].Cpm = 100, S['a'].Accuracy = 80;
  Old['a'] = TKeyHistory{40, 200, 90};
  S['b'].Count = 80, S['b'].Cpm = 300, S['b'].Accuracy = 70;  // more than the window
  Old['b'] = TKeyHistory{10, 100, 100};
  Old['c'] = TKeyHistory{12, 150, 95};                          // not typed now
  S['d'].Count = 3, S['d'].Cpm = 120, S['d'].Accuracy = 100;    // new key
  MergeKeyHistory(S, Old, New);
  EXPECT_EQ(New['a'].Cnt, 70);
  EXPECT_DOUBLE_EQ(New['a'].Cpm, 0.6 * 100 + 0.4 * 200);
  EXPECT_DOUBLE_EQ(New['a'].Acc, 0.6 * 80 + 0.4 * 90);
  EXPECT_EQ(New['b'].Cnt, 90);
  EXPECT_DOUBLE_EQ(New['b'].Cpm, 300);
  EXPECT_EQ(New['c'].Cnt, 12);
  EXPECT_DOUBLE_EQ(New['c'].Cpm, 150);
  EXPECT_DOUBLE_EQ(New['c'].Acc, 95);
  EXPECT_EQ(New['d'].Cnt, 3);
  EXPECT_DOUBLE_EQ(New['d'].Acc, 100);
  EXPECT_EQ(New['e'].Cnt, 0);
}

}  // namespace

// ---- Saving ------------------------------------------------------------------------------------

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <map>
#include <sstream>

#include "dbengine/sql/vxdb_query.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "tools/vxdb-create/vxdb_schema.h"
#include "tutor/core/DataModule.h"
#include "tutor/tests/test_archive.h"

namespace {

// A database made by the creator, opened by a data module logged on as one student.
class SaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Path = Dir.Path() + "/data";
    TVXDatabaseOptions O;
    O.SharedGroup = "1";
    CreateVXDatabase(Path, O);
    {
      // The group and the student, written by another session before the program opens.
      TComponent Owner(nullptr);
      auto* Session = new TVXDBSession(&Owner);
      Session->SetSessionName("setup");
      auto* Db = new TVXDBDatabase(&Owner);
      Db->SetSessionName("setup");
      Db->SetDatabaseName("db");
      Db->SetDirectory(Path);
      auto Table = [&](const char* Name) {
        auto* T = new TVXDBTable(&Owner);
        T->SetSessionName("setup");
        T->SetDatabaseName("db");
        T->SetTableName(Name);
        T->Open();
        return T;
      };
      TVXDBTable* G = Table("group");
      // The shared installation works with group 1 (the creator may have made its row).
      if (!G->Locate("ID_GROUP", 1, 0)) G->AppendRecord({1, "1a", ""});
      Group = 1;
      TVXDBTable* S = Table("student");
      S->AppendRecord({Variant(), Group, "Ala", Variant(), "W"});
      Student = S->FieldByName("ID_STUDENT")->AsInteger();
    }
    Dm = new TDM(nullptr);
    Dm->DBLocal = false;
    Dm->DBPath = Path;
    Dm->Open();
    ASSERT_EQ(Dm->Logon(Group, Student), 0);
    ASSERT_TRUE(Dm->TbStudent->Locate("ID_STUDENT", Student, 0));
  }
  void TearDown() override {
    Dm->Close();
    delete Dm;
  }

  // Rows of a query, each field as text ('.' decimals so the expectations read plainly).
  std::vector<std::string> Rows(const std::string& Sql) {
    TVXDBQuery* Q = Dm->InteractiveQuery;
    Q->Close();
    Q->SQL()->SetText(Sql);
    Q->Open();
    std::vector<std::string> R;
    while (!Q->Eof()) {
      std::string Row;
      for (int i = 0; i < Q->Fields()->Count(); ++i) {
        TField* F = Q->Fields()->Fields(i);
        if (i) Row += "|";
        Row += F->IsNull() ? "null" : StringReplace(F->AsString(), ",", ".", rfReplaceAll);
      }
      R.push_back(Row);
      Q->Next();
    }
    Q->Close();
    return R;
  }

  // A digest of the bytes of each file of the four tables a save writes.
  std::map<std::string, std::string> Files() {
    std::map<std::string, std::string> M;
    DIR* D = opendir(Path.c_str());
    while (dirent* E = D ? readdir(D) : nullptr) {
      const std::string Name = E->d_name;
      const std::string Base = LowerCase(Name.substr(0, Name.find('.')));
      if (Base != "practice" && Base != "results" && Base != "statcalc" && Base != "netstat") continue;
      std::ifstream In(Path + "/" + Name, std::ios::binary);
      std::stringstream S;
      S << In.rdbuf();
      M[Name] = std::to_string(std::hash<std::string>()(S.str())) + "/" + std::to_string(S.str().size());
    }
    if (D) closedir(D);
    return M;
  }

  // An exercise of the given keys, 200 ms apart, the first one only starting the clock.
  static std::unique_ptr<TStatList> Exercise(const std::string& Keys, const std::string& Wrong = "") {
    auto L = std::make_unique<TStatList>(1, 1, "", "lesson.txt", "Alfa");
    for (std::size_t i = 0; i < Keys.size(); ++i)
      L->AddKeystroke(Keys[i], i < Wrong.size() && Wrong[i] != '.' ? Wrong[i] : Keys[i], i == 0 ? 0 : 200);
    L->RetryWait = 50;
    return L;
  }

  TTempDir Dir;
  std::string Path;
  TDM* Dm = nullptr;
  int Group = -1, Student = -1;
};

TEST_F(SaveTest, AFirstExerciseStoresItsFourTables) {
  auto L = Exercise("xaab", "...q");
  const TSaveOutcome O = L->SaveStatistics(Dm);
  ASSERT_TRUE(O.Saved) << O.Error;
  EXPECT_EQ(O.Attempts, 1);
  const std::string N = IntToStr(O.PracticeId);
  EXPECT_EQ(Rows("select id_student, id_group, [type], id_lesson, filename, [desc], [count], errors, duration, "
                 "accuracy from practice"),
            (std::vector<std::string>{Format("%d|%d|1|1|lesson.txt|Alfa|3|1|0.6|", {Student, Group}) +
                                      StringReplace(FloatToStr(200.0 / 3), ",", ".", rfReplaceAll)}));
  EXPECT_EQ(Rows("select id_student, id_group, id_practice, errors from results"),
            (std::vector<std::string>{Format("%d|%d|%s|1", {Student, Group, N})}));
  // 'a' twice right, 'b' once wrong; the first key 'x' has no interval and is not counted.
  EXPECT_EQ(Rows("select id_practice, [key], [count], accuracy, errors, id_student from statcalc order by [key]"),
            (std::vector<std::string>{Format("%s|97|2|100|0|%d", {N, Student}),
                                      Format("%s|98|1|0|1|%d", {N, Student})}));
  // No history: the snapshot holds the exercise's own figures.
  EXPECT_EQ(Rows("select id_practice, [key], key_name, cnt, cpm, acc from netstat order by [key]"),
            (std::vector<std::string>{N + "|97|a|2|300|100", N + "|98|b|1|300|0"}));
}

TEST_F(SaveTest, AKeyTypedOnceRightIsStoredWithFullAccuracy) {
  ASSERT_TRUE(Exercise("ax")->SaveStatistics(Dm).Saved);
  EXPECT_EQ(Rows("select accuracy from statcalc"), (std::vector<std::string>{"100"}));
  EXPECT_EQ(Rows("select acc from netstat"), (std::vector<std::string>{"100"}));
  EXPECT_EQ(Rows("select accuracy from practice"), (std::vector<std::string>{"100"}));
}

TEST_F(SaveTest, TheNextExerciseMergesTheLatestCompleteSnapshot) {
  const TSaveOutcome First = Exercise("xaaab")->SaveStatistics(Dm);  // a: 3 right, b: 1 right
  ASSERT_TRUE(First.Saved);
  // Saves torn by a crash: netstat rows of practice rows that never landed, holding only 'a';
  // one of them has the id the next practice row will be given again, with a statcalc row.
  Dm->TbNetstat->AppendRecord({Student, First.PracticeId + 5, 97, "a", 1000, 1.0, 1.0});
  Dm->TbNetstat->AppendRecord({Student, First.PracticeId + 1, 97, "a", 2000, 1.0, 1.0});
  Dm->TbNetstat->AppendRecord({Student, First.PracticeId + 1, 122, "z", 7, 1.0, 1.0});
  {
    TComponent Owner(nullptr);
    auto* SC = new TVXDBTable(&Owner);
    SC->SetSessionName(Dm->TbStatCalc->SessionName());
    SC->SetDatabaseName("db");
    SC->SetTableName("statcalc");
    SC->Open();
    SC->AppendRecord({First.PracticeId + 1, 122, 1.0, 1.0, 0.0, 1.0, 0.0, 0.0, Student});
  }
  const TSaveOutcome Second = Exercise("xaa", "..q")->SaveStatistics(Dm);  // a: 1 right, 1 wrong
  ASSERT_TRUE(Second.Saved) << Second.Error;
  const std::string N = IntToStr(Second.PracticeId);
  // a: 3 old + 2 new, weighed 3/5 and 2/5; b was not typed and keeps its values.
  EXPECT_EQ(Rows("select [key], cnt, cpm, acc from netstat where id_practice = " + N + " order by [key]"),
            (std::vector<std::string>{"97|5|300|" + StringReplace(FloatToStr(0.4 * 50 + 0.6 * 100), ",", ".", rfReplaceAll),
                                      "98|1|300|100"}));
  ASSERT_EQ(Second.PracticeId, First.PracticeId + 1);
  // What the torn save left under the same id is gone: only this exercise's keys.
  EXPECT_EQ(Rows("select [key] from statcalc where id_practice = " + N + " order by [key]"),
            (std::vector<std::string>{"97"}));
  // One results row per student, pointing at the latest practice.
  EXPECT_EQ(Rows("select id_practice from results"), (std::vector<std::string>{N}));
}

TEST_F(SaveTest, AFailureOnTheLastTableLeavesTheFilesAsTheyWereAndIsReported) {
  ASSERT_TRUE(Exercise("xab")->SaveStatistics(Dm).Saved);
  const auto Before = Files();
  ASSERT_EQ(Before.size(), 8u);  // .DAT and .IDX of each

  struct Case {
    const char* What;
    std::function<void(TStatList&)> Inject;
  } Cases[] = {
      {"a post of netstat fails",
       [this](TStatList&) { Dm->TbNetstat->BeforePost = [](TDataSet*) { throw Exception("disk full"); }; }},
      {"the last step fails",
       [](TStatList& L) {
         L.OnSaveStep = [](const std::string& Step) {
           if (Step == "commit") throw Exception("disk full");
         };
       }},
  };
  for (const Case& C : Cases) {
    auto L = Exercise("xaab");
    C.Inject(*L);
    const TSaveOutcome O = L->SaveStatistics(Dm);
    Dm->TbNetstat->BeforePost = nullptr;
    EXPECT_FALSE(O.Saved) << C.What;
    EXPECT_EQ(O.Attempts, 1) << C.What;  // not a lock conflict: no retry
    EXPECT_EQ(O.PracticeId, -1);
    EXPECT_NE(O.Error.find("disk full"), std::string::npos) << O.Error;
    EXPECT_FALSE(Dm->DB->InTransaction());
    EXPECT_TRUE(Dm->HoldsSessionLock()) << C.What;  // the rollback kept this copy's session alive
    EXPECT_TRUE(Files() == Before) << C.What;
  }
  // Without a current student nothing is stored for nobody.
  const bool WasFiltered = Dm->TbStudent->Filtered();
  Dm->TbStudent->SetFilter("ID_STUDENT = -1");
  Dm->TbStudent->SetFiltered(true);
  const TSaveOutcome Nobody = Exercise("xab")->SaveStatistics(Dm);
  EXPECT_FALSE(Nobody.Saved);
  EXPECT_TRUE(Files() == Before);
  Dm->TbStudent->SetFilter("");
  Dm->TbStudent->SetFiltered(WasFiltered);
  ASSERT_TRUE(Dm->TbStudent->Locate("ID_STUDENT", Student, 0));
  // The module is usable again: the next save stores one more exercise.
  ASSERT_TRUE(Exercise("xab")->SaveStatistics(Dm).Saved);
  EXPECT_EQ(Rows("select count(*) from practice"), (std::vector<std::string>{"2"}));
}

// The disk fills up while a save commits: a child process (this copy) may not write past the
// present end of practice.DAT, the last table the engine commits. The save must say it was not
// saved and leave the tables as they were, and the next save (after a restart) must merge the
// last complete snapshot, with nothing of the failed one.
TEST_F(SaveTest, ADiskFullDuringTheCommitIsReportedAndTheNextSaveRecovers) {
  ASSERT_TRUE(Exercise("xaab")->SaveStatistics(Dm).Saved);  // a: 2, b: 1, all right
  const auto Before = Files();
  struct stat St;
  ASSERT_EQ(stat((Path + "/practice.DAT").c_str(), &St), 0);
  int Up[2];
  ASSERT_EQ(pipe(Up), 0);
  const pid_t Pid = fork();
  if (Pid == 0) {
    close(Up[0]);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit R{static_cast<rlim_t>(St.st_size), static_cast<rlim_t>(St.st_size)};
    setrlimit(RLIMIT_FSIZE, &R);
    const TSaveOutcome O = Exercise("xaaaazzz")->SaveStatistics(Dm);
    const char C = O.Saved ? 'S' : (O.PracticeId == -1 && !O.Error.empty() ? 'F' : '?');
    (void)!write(Up[1], &C, 1);
    _exit(0);
  }
  close(Up[1]);
  char C = 0;
  EXPECT_EQ(read(Up[0], &C, 1), 1);
  close(Up[0]);
  waitpid(Pid, nullptr, 0);
  EXPECT_EQ(C, 'F');  // reported as not saved
  // The engine's directory journal makes the commit all or nothing: the four tables are as they
  // were.
  EXPECT_TRUE(Files() == Before);

  // The program starts again on the same folder.
  Dm->Close();
  delete Dm;
  Dm = new TDM(nullptr);
  Dm->DBLocal = false;
  Dm->DBPath = Path;
  Dm->Open();
  ASSERT_EQ(Dm->Logon(Group, Student), 0);
  ASSERT_TRUE(Dm->TbStudent->Locate("ID_STUDENT", Student, 0));
  const TSaveOutcome Next = Exercise("xab")->SaveStatistics(Dm);
  ASSERT_TRUE(Next.Saved) << Next.Error;
  const std::string N = IntToStr(Next.PracticeId);
  // a: 2 before + 1 now; b: 1 + 1; z only ever in the torn save.
  EXPECT_EQ(Rows("select [key], cnt from netstat where id_practice = " + N + " order by [key]"),
            (std::vector<std::string>{"97|3", "98|2"}));
  EXPECT_EQ(Rows("select [key] from statcalc where id_practice = " + N + " order by [key]"),
            (std::vector<std::string>{"97", "98"}));
  EXPECT_EQ(Rows("select id_practice from results"), (std::vector<std::string>{N}));
}

// Another copy holding a table for HoldMs milliseconds: this test program
// started again (a fork alone would share the engine's open files, and so its locks, with us).
// What = "netstat": a transaction over netstat; "results": an edit of the first results row.
void HoldTable(const std::string& Path, const std::string& What, int HoldMs, int ReportFd) {
  auto* Owner = new TComponent(nullptr);
  auto* Session = new TVXDBSession(Owner);
  Session->SetSessionName("holder");
  Session->SetLanguageID(1045);
  auto* Db = new TVXDBDatabase(Owner);
  Db->SetSessionName("holder");
  Db->SetDatabaseName("db");
  Db->SetDirectory(Path);
  auto* T = new TVXDBTable(Owner);
  T->SetSessionName("holder");
  T->SetDatabaseName("db");
  T->SetTableName(What);
  T->Open();
  if (What == "results") {
    T->First();
    T->Edit();
  } else {
    Db->StartTransaction();
  }
  (void)!write(ReportFd, "H", 1);
  Sleep(static_cast<uint32_t>(HoldMs));
  if (What == "results")
    T->Cancel();
  else
    Db->Rollback();
}

// Started with VX_TEST_HOLD_DIR set, the program is only the holder (run once main has begun,
// when every part of the engine is initialised).
class THolderMain : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* Dir = getenv("VX_TEST_HOLD_DIR");
    if (!Dir) return;
    int Code = 0;
    try {
      HoldTable(Dir, getenv("VX_TEST_HOLD_WHAT"), atoi(getenv("VX_TEST_HOLD_MS")), atoi(getenv("VX_TEST_HOLD_FD")));
    } catch (const std::exception& E) {
      fprintf(stderr, "holder: %s\n", E.what());
      Code = 2;
    }
    _exit(Code);
  }
};
const auto* const HolderMain = ::testing::AddGlobalTestEnvironment(new THolderMain);

class THolder {
 public:
  THolder(const std::string& Path, const std::string& What, int HoldMs) {
    int Up[2];
    if (pipe(Up) != 0) throw std::runtime_error("pipe");
    Pid = fork();
    if (Pid == 0) {
      close(Up[0]);
      setenv("VX_TEST_HOLD_DIR", Path.c_str(), 1);
      setenv("VX_TEST_HOLD_WHAT", What.c_str(), 1);
      setenv("VX_TEST_HOLD_MS", std::to_string(HoldMs).c_str(), 1);
      setenv("VX_TEST_HOLD_FD", std::to_string(Up[1]).c_str(), 1);
      execl("/proc/self/exe", "holder", static_cast<char*>(nullptr));
      _exit(3);
    }
    close(Up[1]);
    char C = 0;
    Held = read(Up[0], &C, 1) == 1 && C == 'H';
    close(Up[0]);
  }
  ~THolder() {
    if (Pid > 0) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
  }
  bool Held = false;

 private:
  pid_t Pid = -1;
};

TEST_F(SaveTest, ASaveMeetingAnotherCopysLocksRetriesThenSucceedsOrReports) {
  ASSERT_TRUE(Exercise("xab")->SaveStatistics(Dm).Saved);  // the student's results row exists
  {
    // The row is held past the first attempt's record-lock waits and released during the second.
    THolder Holder(Path, "results", 2500);
    ASSERT_TRUE(Holder.Held);
    auto L = Exercise("xab");
    L->RetryWait = 200;
    const TSaveOutcome O = L->SaveStatistics(Dm);
    EXPECT_TRUE(O.Saved) << O.Error;
    EXPECT_EQ(O.Attempts, 2);
  }
  EXPECT_EQ(Rows("select count(*) from practice"), (std::vector<std::string>{"2"}));
  {
    THolder Holder(Path, "results", 60000);
    ASSERT_TRUE(Holder.Held);
    const auto Before = Files();
    auto L = Exercise("xab");
    L->MaxAttempts = 2;
    const TSaveOutcome O = L->SaveStatistics(Dm);
    EXPECT_FALSE(O.Saved);
    EXPECT_EQ(O.Attempts, 2);
    EXPECT_NE(O.Error, "");
    EXPECT_TRUE(Dm->HoldsSessionLock());
    EXPECT_TRUE(Files() == Before);
  }
  {
    // A transaction of another copy over netstat: the start of ours waits for it.
    THolder Holder(Path, "netstat", 1000);
    ASSERT_TRUE(Holder.Held);
    const TSaveOutcome O = Exercise("xab")->SaveStatistics(Dm);
    EXPECT_TRUE(O.Saved) << O.Error;
  }
  EXPECT_EQ(Rows("select count(*) from practice"), (std::vector<std::string>{"3"}));
}

}  // namespace
