// Saving one exercise of 300 keystrokes for a student on a database whose netstat already holds
// 200,000 rows (2,000 earlier exercises of 100 keys; 60 of them the student's). Reports the median
// and the 95th percentile of the wall time of a save, and the files of the database directory that
// one save changes. The number of syncs comes from running it under strace:
//
//   QT_QPA_PLATFORM=offscreen bench_stat_save
//   strace -f -c -e trace=fsync,fdatasync,pwrite64,write QT_QPA_PLATFORM=offscreen bench_stat_save --saves=1
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/core/fileutils.h"
#include "tools/vxdb-create/vxdb_schema.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/TempStat.h"
#include "bench/bench_measure.h"

namespace {

using vxbench::Percentile;

int Saves = 30;

struct TFileState {
  long long Size;
  long long MTimeNs;
  bool operator!=(const TFileState& O) const { return Size != O.Size || MTimeNs != O.MTimeNs; }
};

std::map<std::string, TFileState> DirState(const std::string& Dir) {
  std::map<std::string, TFileState> M;
  DIR* D = opendir(Dir.c_str());
  while (dirent* E = D ? readdir(D) : nullptr) {
    if (E->d_name[0] == '.') continue;
    struct stat St;
    if (stat((Dir + "/" + E->d_name).c_str(), &St) == 0)
      M[E->d_name] = {St.st_size, St.st_mtim.tv_sec * 1000000000LL + St.st_mtim.tv_nsec};
  }
  if (D) closedir(D);
  return M;
}

// The database with its history, written by a session of its own.
void Fill(const std::string& Path, int& Student) {
  TVXDatabaseOptions O;
  O.SharedGroup = "1";
  CreateVXDatabase(Path, O);
  TComponent Owner(nullptr);
  auto* Session = new TVXDBSession(&Owner);
  Session->SetSessionName("fill");
  Session->SetLanguageID(1045);
  auto* Db = new TVXDBDatabase(&Owner);
  Db->SetSessionName("fill");
  Db->SetDatabaseName("db");
  Db->SetDirectory(Path);
  auto Table = [&](const char* Name) {
    auto* T = new TVXDBTable(&Owner);
    T->SetSessionName("fill");
    T->SetDatabaseName("db");
    T->SetTableName(Name);
    T->Open();
    return T;
  };
  TVXDBTable* G = Table("group");
  if (!G->Locate("ID_GROUP", 1, 0)) G->AppendRecord({1, "1a", ""});
  TVXDBTable* S = Table("student");
  std::vector<int> Students;
  for (int i = 0; i < 34; ++i) {
    S->AppendRecord({Variant(), 1, "Student " + std::to_string(i), Variant(), "W"});
    Students.push_back(S->FieldByName("ID_STUDENT")->AsInteger());
  }
  Student = Students[0];
  TVXDBTable* P = Table("practice");
  TVXDBTable* N = Table("netstat");
  Db->StartTransaction();
  for (int Ex = 0; Ex < 2000; ++Ex) {
    // The bench student's exercises are one in 33; the others share the rest.
    const int Who = Ex % 33 == 0 ? Students[0] : Students[1 + Ex % 33];
    P->Append();
    P->FieldByName("ID_STUDENT")->SetAsInteger(Who);
    P->FieldByName("ID_GROUP")->SetAsInteger(1);
    P->FieldByName("COUNT")->SetAsInteger(300);
    P->Post();
    const int Id = P->FieldByName("ID_PRACTICE")->AsInteger();
    for (int K = 0; K < 100; ++K)
      N->AppendRecord({Who, Id, 28 + K, std::string(1, static_cast<char>(28 + K)), 40 + K, 150.0 + K, 95.0});
  }
  Db->Commit();
  Db->Close();
}

void SaveOneExercise(benchmark::State& State) {
  const std::string Root = GetTempDir() + "bench_stat_save_" + std::to_string(getpid());
  const std::string Path = Root + "/data";
  int Student = -1;
  const auto F0 = std::chrono::steady_clock::now();
  Fill(Path, Student);
  const double FillSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - F0).count();

  auto* Dm = new TDM(nullptr);
  Dm->DBLocal = false;
  Dm->DBPath = Path;
  Dm->Open();
  if (Dm->Logon(1, Student) != 0) {
    State.SkipWithError("logon failed");
    return;
  }
  TStatList L(1, 1, "", "lesson.txt", "bench");
  const std::string Text = "ala ma kota a kot ma ale sad las dal fajka kasa deska ";
  for (int i = 0; i < 300; ++i) L.AddKeystroke(Text[i % Text.size()], i % 29 == 28 ? 'q' : Text[i % Text.size()], 120 + (i * 37) % 90);

  // Wall time of each step of the save, from the step hooks (the rest of "commit" is the commit).
  std::map<std::string, std::vector<double>> StepMs;
  auto StepStart = std::chrono::steady_clock::now();
  std::string Step = "start";
  L.OnSaveStep = [&](const std::string& Next) {
    const auto Now = std::chrono::steady_clock::now();
    StepMs[Step].push_back(std::chrono::duration<double, std::milli>(Now - StepStart).count());
    Step = Next;
    StepStart = Now;
  };
  std::vector<double> Ms;
  int Changed = 0;
  std::string ChangedNames;
  bool AllSaved = true;
  for (auto _ : State) {
    for (int i = 0; i < Saves; ++i) {
      const auto Before = DirState(Path);
      const auto T0 = std::chrono::steady_clock::now();
      Step = "start";
      StepStart = T0;
      const TSaveOutcome O = L.SaveStatistics(Dm);
      const auto T1 = std::chrono::steady_clock::now();
      StepMs[Step].push_back(std::chrono::duration<double, std::milli>(T1 - StepStart).count());
      AllSaved &= O.Saved;
      Ms.push_back(std::chrono::duration<double, std::milli>(T1 - T0).count());
      if (i == 0) {
        for (const auto& [Name, St] : DirState(Path)) {
          auto It = Before.find(Name);
          if (It == Before.end() || It->second != St) {
            ++Changed;
            ChangedNames += Name + " ";
          }
        }
      }
    }
  }
  if (!AllSaved) State.SkipWithError("a save failed");
  State.counters["saves"] = static_cast<double>(Ms.size());
  State.counters["median_ms"] = Percentile(Ms, 0.5);
  State.counters["p95_ms"] = Percentile(Ms, 0.95);
  State.counters["files_changed"] = Changed;
  State.counters["fill_s"] = FillSeconds;
  // Median per step, named after the step that follows it ("start" = transaction start,
  // "practice" = the practice row, ..., "commit" = the commit).
  for (const auto& [Name, V] : StepMs) State.counters["ms_" + Name] = Percentile(V, 0.5);
  State.SetLabel(ChangedNames);
  Dm->Close();
  delete Dm;
  std::string Cmd = "rm -rf '" + Root + "'";
  if (std::system(Cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", Root.c_str());
}
BENCHMARK(SaveOneExercise)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--saves=", 8) == 0) Saves = std::max(1, std::atoi(argv[i] + 8));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
