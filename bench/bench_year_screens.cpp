// The screens that read the history, on one database of a classroom's school year: 30 students
// of one group with 300 exercises each (9,000 practice rows; per exercise the statcalc rows of the
// keys it typed and the netstat snapshot of every key the student has typed so far), the results
// row of each student, and 20,000 scores in each of the bomber's and the gallery's tables. The
// rows have the fields the exercise save and the games write; the measured student's latest
// exercise is saved by the program's own save.
//
// Each screen is opened the way the main panel opens it, for the logged-on student, and timed up
// to its painted page; the page is closed (and freed) between runs:
//   - Selection: the exercise selection page (its weakest-keys look-up runs while it is made);
//   - Statistics: the statistics page;
//   - BomberTopTen / GalleryTopTen: the score page after a game, its result set.
// Each reports the median and the worst wall time of the runs, the median CPU time of the thread,
// and the median of the screen's database part alone (the look-up or the page's FormShow).
//
//   QT_QPA_PLATFORM=offscreen bench_year_screens [--runs=15]
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbengine/sql/vxdb_query.h"
#include "dbengine/storage/components/vxdb_session.h"
#include "dbengine/storage/components/vxdb_table.h"
#include "games/GameServices.h"
#include "games/TopTen.h"
#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "platform/gui/testing.h"
#include "tutor/OptionsReg.h"
#include "tutor/app/SelectForm.h"
#include "tutor/app/StatForm.h"
#include "tutor/app/tests/exercise_road_host.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/TempStat.h"
#include "tutor/core/tests/install_fixture.h"
#include "bench/bench_measure.h"

namespace {

using vxbench::Ms;
using vxbench::Percentile;
using vxbench::ThreadCpuMs;
using vxbench::TClock;

constexpr int kStudents = 30;
constexpr int kExercisesEach = 300;
constexpr int kScoresEach = 20000;
int Runs = 15;

// The keys of the Polish course in the order the lessons bring them in (CP1250 codes), Enter and
// space among the first.
const std::string& CourseKeys() {
  static const std::string K = std::string("asdfjkl;\r ghwieruoqptyzxcvbnm,.") +
                               "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF";  // the Polish letters
  return K;
}

struct TRowCounts {
  long Practice = 0, Netstat = 0, Statcalc = 0, Results = 0, Bomber = 0, Gallery = 0;
};

// The year's rows, written by a session of its own in one transaction. Exercises of the students
// alternate, as a classroom's do; the I-th exercise of a student types a window of about 30 keys
// of those the course has reached by then, and the netstat snapshot holds every key reached.
TRowCounts Fill(const std::string& Path, const std::vector<int>& Students) {
  TRowCounts C;
  TComponent Owner(nullptr);
  auto* Session = new TVXDBSession(&Owner);
  Session->SetSessionName("fill");
  Session->SetLanguageID(1045);
  auto* Db = new TVXDBDatabase(&Owner);
  Db->SetSessionName("fill");
  Db->SetDatabaseName("fill");
  Db->SetDirectory(Path);
  auto Table = [&](const char* Name) {
    auto* T = new TVXDBTable(&Owner);
    T->SetSessionName("fill");
    T->SetDatabaseName("fill");
    T->SetTableName(Name);
    T->Open();
    return T;
  };
  TVXDBTable* P = Table("practice");
  TVXDBTable* SC = Table("statcalc");
  TVXDBTable* N = Table("netstat");
  TVXDBTable* R = Table("results");
  TVXDBTable* B = Table("bomber");
  TVXDBTable* G = Table("gallery");
  const std::string& Keys = CourseKeys();
  const TDateTime YearAgo = Now() - 365;
  std::vector<int> LastPractice(Students.size(), -1);
  Db->StartTransaction();
  for (int I = 0; I < kExercisesEach; ++I) {
    const std::size_t Reached = std::min(Keys.size(), static_cast<std::size_t>(12 + I / 8));
    for (std::size_t S = 0; S < Students.size(); ++S) {
      const int Who = Students[S];
      const double Cpm = 80 + I * 0.5 + static_cast<double>(S);
      const double Seconds = 90 + (I * 7 + static_cast<int>(S)) % 120;
      P->Append();
      P->FieldByName("ID_STUDENT")->SetAsInteger(Who);
      P->FieldByName("ID_GROUP")->SetAsInteger(1);
      P->FieldByName("DATE")->SetAsDateTime(YearAgo + I * 365.0 / kExercisesEach);
      P->FieldByName("PARAMETERS")->SetAsString("");
      P->FieldByName("TYPE")->SetAsString("1");
      P->FieldByName("FILENAME")->SetAsString("l_" + std::to_string(1000 + I % 100) + ".txt");
      P->FieldByName("DESC")->SetAsString("Lekcja " + std::to_string(I % 100));
      P->FieldByName("ID_LESSON")->SetAsInteger(1);
      P->FieldByName("ACCURACY")->SetAsFloat(92 + (I + static_cast<int>(S)) % 8);
      P->FieldByName("CPM")->SetAsFloat(Cpm);
      P->FieldByName("VARIANCE")->SetAsFloat(400);
      P->FieldByName("STDEV")->SetAsFloat(20);
      P->FieldByName("ERRORS")->SetAsFloat(6);
      P->FieldByName("COUNT")->SetAsInteger(300);
      P->FieldByName("DURATION")->SetAsFloat(Seconds);
      P->FieldByName("AVERR")->SetAsFloat(15);
      P->FieldByName("AVIDX")->SetAsFloat(0.2);
      P->Post();
      ++C.Practice;
      const int Id = P->FieldByName("ID_PRACTICE")->AsInteger();
      LastPractice[S] = Id;
      const std::size_t From = Reached > 30 ? (I % (Reached - 29)) : 0;
      for (std::size_t K = From; K < std::min(Reached, From + 30); ++K) {
        SC->AppendRecord({Id, static_cast<int>(static_cast<unsigned char>(Keys[K])), Cpm + static_cast<double>(K), 95.0 - K % 9, 1.0,
                          10.0, 20.0, 400.0, Who});
        ++C.Statcalc;
      }
      for (std::size_t K = 0; K < Reached; ++K) {
        const int Code = static_cast<unsigned char>(Keys[K]);
        N->AppendRecord({Who, Id, Code, std::string(1, Keys[K]), 10 * (I + 1), Cpm + (K * 13 + S) % 40,
                         90.0 + (K * 7 + S + I) % 10});
        ++C.Netstat;
      }
    }
  }
  for (std::size_t S = 0; S < Students.size(); ++S) {
    R->Append();
    R->FieldByName("ID_GROUP")->SetAsInteger(1);
    R->FieldByName("ID_STUDENT")->SetAsInteger(Students[S]);
    R->FieldByName("ID_PRACTICE")->SetAsInteger(LastPractice[S]);
    R->FieldByName("CPM")->SetAsFloat(230.5);
    R->FieldByName("DATE")->SetAsDateTime(YearAgo + 365);
    R->FieldByName("ACCURACY")->SetAsFloat(96.2);
    R->FieldByName("ERRORS")->SetAsFloat(5);
    R->FieldByName("DURATION")->SetAsFloat(120);
    R->Post();
    ++C.Results;
  }
  // Scores as the scenes store them: one row per game, the games of the students mixed.
  for (int I = 0; I < kScoresEach; ++I) {
    const int Who = Students[static_cast<std::size_t>(I * 7) % Students.size()];
    B->AppendRecord({Who, (I * 7919) % 4000 + I % 13});
    G->AppendRecord({Who, (I * 104729) % 1500 + I % 7});
    ++C.Bomber;
    ++C.Gallery;
  }
  Db->Commit();
  Db->Close();
  return C;
}

struct TYear {
  TYear() {
    TInstallOptions O;
    O.SharedGroup = "1";
    Folder = std::make_unique<TInstallFolder>(O);
    SetProgramFolder(Folder->Path());
    // The selection page's tab pages, short as the installed ones are.
    for (const char* Page : {"text_tab", "exerc_tab", "fingers_tab"})
      std::ofstream(Folder->Path() + "help/" + Page + ".htm", std::ios::binary)
          << "<html><body><h2>" << Page << "</h2><p>Wybierz \xE6wiczenie z listy.</p></body></html>";
    FreePrgReg();
    PrgReg = new TPrgReg(Folder->IniPath());
    for (int S = 0; S < kStudents; ++S)
      Students.push_back(Folder->AddStudent("Ucze\xF1 " + std::to_string(S + 1), 1, S % 2 ? "M" : "W", 1));
    Student = Students[kStudents / 2];
    const auto F0 = TClock::now();
    Rows = Fill(Folder->DataPath(), Students);
    FillSeconds = Ms(F0, TClock::now()) / 1000;
    DM = new TDM(nullptr);
    DM->DBLocal = false;
    DM->DBPath = Folder->DataPath();
    DM->Open();
    DM->Logon(1, Student);
    // The student's latest exercise through the program's save: its practice, statcalc and
    // netstat rows and the results row are the program's own.
    TStatList L(1, 1, "", "l_1000.txt", "Lekcja 0");
    const std::string Text = "ala ma kota a kot ma ale sad las dal fajka kasa deska \xB3\xB9ka \xBF\xF3\xB3w ";
    for (int I = 0; I < 300; ++I)
      L.AddKeystroke(Text[I % Text.size()], I % 29 == 28 ? 'q' : Text[I % Text.size()], 120 + (I * 37) % 90);
    Saved = L.SaveStatistics(DM).Saved;
    ++Rows.Practice;
    RegisterExercisePages();
    RegisterStatPage();
    RegisterGamePages();
    Host = new TTestHost(nullptr);
    Host->Show();
    vxtest::Pump();
  }
  ~TYear() {
    delete Host;
    DM->Close();
    delete DM;
    DM = nullptr;
    FreePrgReg();
  }
  std::unique_ptr<TInstallFolder> Folder;
  std::vector<int> Students;
  int Student = -1;
  bool Saved = false;
  TRowCounts Rows;
  double FillSeconds = 0;
  TTestHost* Host = nullptr;
};

TYear& Year() {
  static TYear* Y = new TYear();
  return *Y;
}

// Opens Page Runs times up to its painted page, with Prepare run on the page after the host made
// it (what the caller of the page sets before it is seen), and times Part on the open page.
template <class TPage>
void MeasurePage(benchmark::State& State, TPageId Id, const std::function<void(TPage*)>& Prepare,
                 const std::function<void(TPage*)>& Part) {
  TYear& Y = Year();
  if (!Y.Saved) {
    State.SkipWithError("the student's exercise was not saved");
    return;
  }
  std::vector<double> Open, Cpu, PartMs;
  bool Shown = true;
  for (auto _ : State) {
    for (int I = 0; I < Runs; ++I) {
      const auto T0 = TClock::now();
      const double C0 = ThreadCpuMs();
      Y.Host->ShowPage(Id);
      auto* Page = dynamic_cast<TPage*>(Y.Host->FindPage(Id));
      if (!Page) {
        Shown = false;
        break;
      }
      if (Prepare) Prepare(Page);
      vxtest::Pump(1);
      Page->Repaint();
      Open.push_back(Ms(T0, TClock::now()));
      Cpu.push_back(ThreadCpuMs() - C0);
      const auto P0 = TClock::now();
      Part(Page);
      PartMs.push_back(Ms(P0, TClock::now()));
      Page->Close();
      vxtest::Pump(2);
    }
  }
  if (!Shown) {
    State.SkipWithError("the page was not made");
    return;
  }
  State.counters["runs"] = static_cast<double>(Open.size());
  State.counters["open_median_ms"] = Percentile(Open, 0.5);
  State.counters["open_worst_ms"] = Percentile(Open, 1.0);
  State.counters["open_cpu_median_ms"] = Percentile(Cpu, 0.5);
  State.counters["db_part_median_ms"] = Percentile(PartMs, 0.5);
}

void Selection(benchmark::State& State) {
  std::string Weak;
  MeasurePage<TSelectForm>(State, TPageId::Select, nullptr, [&](TSelectForm* F) {
    F->FindWeakKeys();
    Weak = F->WeakKeysTop;
  });
  State.SetLabel("weakest: " + std::to_string(Weak.size()) + " keys");
}
BENCHMARK(Selection)->Iterations(1)->Unit(benchmark::kMillisecond);

void Statistics(benchmark::State& State) {
  int Bars = 0;
  MeasurePage<TStatForm>(State, TPageId::Stat, nullptr, [&](TStatForm* F) {
    F->FormShow(F);
    Bars = F->Series[0]->Count();
  });
  State.counters["bars"] = Bars;
}
BENCHMARK(Statistics)->Iterations(1)->Unit(benchmark::kMillisecond);

void BomberTopTen(benchmark::State& State) {
  std::string Best;
  MeasurePage<TBomberTopTenForm>(
      State, TPageId::BomberTopTen, [](TBomberTopTenForm* F) { F->SetResult(3, 1234); },
      [&](TBomberTopTenForm* F) {
        F->FormShow(F);
        Best = F->Scores[0]->Caption();
      });
  State.SetLabel("best " + Best);
}
BENCHMARK(BomberTopTen)->Iterations(1)->Unit(benchmark::kMillisecond);

void GalleryTopTen(benchmark::State& State) {
  std::string Best;
  MeasurePage<TGalleryTopTenForm>(
      State, TPageId::GalleryTopTen, [](TGalleryTopTenForm* F) { F->SetResult(321); },
      [&](TGalleryTopTenForm* F) {
        F->FormShow(F);
        Best = F->Scores[0]->Caption();
      });
  State.SetLabel("best " + Best);
}
BENCHMARK(GalleryTopTen)->Iterations(1)->Unit(benchmark::kMillisecond);

// What the engine costs for the score page's statements over the bomber's table, each opened and
// read for its first ten rows in the data module's session (median): the whole ordered join, the
// scores alone sorted, an aggregate, and the join limited to the scores near the top.
void ScoreStatements(benchmark::State& State) {
  TYear& Y = Year();
  const char* Statements[] = {
      "select name, score from student, bomber where student.id_student = bomber.id_student order by score desc",
      "select id_student, score from bomber order by score desc",
      "select max(score) m from bomber",
      "select count(*) c from bomber where score >= 3990",
      "select name, score from student, bomber where student.id_student = bomber.id_student and score >= 3990 "
      "order by score desc",
  };
  const char* Names[] = {"join_sorted_ms", "scores_sorted_ms", "max_ms", "count_above_ms", "join_above_ms"};
  for (auto _ : State) {
    const char** Name = Names;
    for (const char* Sql : Statements) {
      std::vector<double> T;
      for (int I = 0; I < Runs; ++I) {
        const auto T0 = TClock::now();
        TVXDBQuery Q(nullptr);
        Q.SetSessionName(DM->VXSession->SessionName());
        Q.SetDatabaseName("db");
        Q.SQL()->SetText(Sql);
        Q.Open();
        for (int R = 0; R < 10 && !Q.Eof(); ++R) Q.Next();
        Q.Close();
        T.push_back(Ms(T0, TClock::now()));
      }
      State.counters[*Name++] = Percentile(T, 0.5);
    }
  }
  (void)Y;
}
BENCHMARK(ScoreStatements)->Iterations(1)->Unit(benchmark::kMillisecond);

// The sizes the figures come from.
void Database(benchmark::State& State) {
  TYear& Y = Year();
  for (auto _ : State) benchmark::DoNotOptimize(Y.Rows.Practice);
  State.counters["students"] = kStudents;
  State.counters["practice"] = static_cast<double>(Y.Rows.Practice);
  State.counters["netstat"] = static_cast<double>(Y.Rows.Netstat);
  State.counters["statcalc"] = static_cast<double>(Y.Rows.Statcalc);
  State.counters["bomber"] = static_cast<double>(Y.Rows.Bomber);
  State.counters["gallery"] = static_cast<double>(Y.Rows.Gallery);
  State.counters["fill_s"] = Y.FillSeconds;
}
BENCHMARK(Database)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  for (int I = 1; I < argc; ++I)
    if (std::strncmp(argv[I], "--runs=", 7) == 0) Runs = std::max(1, std::atoi(argv[I] + 7));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
