// The data module's classroom calls on a database whose SESSIONS table holds the sessions of 30
// other PCs (30 live probe processes, each logged on as its own student): a Logon (which first
// logs the previous session out, then sweeps both tables under the logon slot) and one Ping of
// the session timer.
//
//   QT_QPA_PLATFORM=offscreen bench_startup_sessions
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/core/fileutils.h"
#include "platform/core/inifiles.h"
#include "tutor/OptionsReg.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/tests/install_fixture.h"
#include "tutor/core/tests/probe_process.h"

namespace {

constexpr int kOtherPcs = 30;

struct TClassroom {
  TClassroom() {
    for (int I = 0; I < kOtherPcs; ++I) Students.push_back(Folder.AddStudent("Uczen " + std::to_string(I)));
    Own = Folder.AddStudent("Ala");
    for (int S : Students) Pcs.push_back(std::make_unique<TProbeProcess>(VX_SESSION_PROBE, Folder.Path(), -1, S));
    SetProgramFolder(Folder.Path());
    PrgReg = new TPrgReg(Folder.IniPath());
    Module = std::make_unique<TDM>(nullptr);
    Module->DataModuleCreate(Module.get());
    Module->Open();
  }
  ~TClassroom() {
    Module.reset();
    Pcs.clear();
    FreePrgReg();
    SetProgramFolder("");
  }
  TInstallFolder Folder;
  std::vector<int> Students;
  int Own = 0;
  std::vector<std::unique_ptr<TProbeProcess>> Pcs;
  std::unique_ptr<TDM> Module;
};

TClassroom& Room() {
  static TClassroom R;
  return R;
}

void BM_LogonWith30Sessions(benchmark::State& State) {
  TClassroom& R = Room();
  for (auto _ : State) {
    if (R.Module->Logon(-1, R.Own) != 0) State.SkipWithError("logon failed");
  }
  State.counters["sessions"] = static_cast<double>(R.Folder.Rows("SESSIONS", "ID_SESSION").size());
}
BENCHMARK(BM_LogonWith30Sessions)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PingWith30Sessions(benchmark::State& State) {
  TClassroom& R = Room();
  if (R.Module->SessionId == -1 && R.Module->Logon(-1, R.Own) != 0) State.SkipWithError("logon failed");
  for (auto _ : State) R.Module->Ping(false, "", "", "");
  if (R.Module->SessionId == -1) State.SkipWithError("the session was lost");
}
BENCHMARK(BM_PingWith30Sessions)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
