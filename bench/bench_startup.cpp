// Start-up of the program to its painted main menu, and its resident memory once idle there.
// The program is started afresh for every run (this executable is the program with a stopwatch:
// it runs the same start-up as vx, on an installation folder with the build's own archives when
// they are there). A run starts the clock at the process's own start (so loading and linking
// count), stops it when the menu's first paint has happened with the student logged on, lets the
// program idle for a moment, reads VmRSS, and closes the program.
//
//   QT_QPA_PLATFORM=offscreen bench_startup [--runs=N]
//   xvfb-run -a bench_startup [--runs=N]
#include <spawn.h>
#include <sys/wait.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/fileutils.h"
#include "platform/core/inifiles.h"
#include "platform/gui/testing.h"
#include "tutor/app/MainForm.h"
#include "tutor/app/Program.h"
#include "tutor/app/panel.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/tests/install_fixture.h"

extern char** environ;

namespace {

// Milliseconds since this process started (its start time in /proc, in clock ticks since boot).
double MsSinceProcessStart() {
  std::ifstream In("/proc/self/stat");
  std::string Stat((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  std::istringstream Rest(Stat.substr(Stat.rfind(')') + 2));
  std::string Field;
  for (int I = 3; I <= 22; ++I) {
    Rest >> Field;
    if (I == 22) break;
  }
  const double StartSec = std::stod(Field) / static_cast<double>(sysconf(_SC_CLK_TCK));
  timespec Now;
  clock_gettime(CLOCK_BOOTTIME, &Now);
  return (Now.tv_sec + Now.tv_nsec / 1e9 - StartSec) * 1000.0;
}

// Processor time of this process so far (user and system), in milliseconds: on a busy machine the
// wall time mostly measures the wait for a processor.
double CpuMs() {
  rusage U;
  getrusage(RUSAGE_SELF, &U);
  return (U.ru_utime.tv_sec + U.ru_stime.tv_sec) * 1000.0 + (U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1000.0;
}

long HeapKb() {
  const struct mallinfo2 M = mallinfo2();
  return static_cast<long>((M.uordblks + M.hblkhd) / 1024);
}

long RssKb() {
  std::ifstream In("/proc/self/status");
  for (std::string L; std::getline(In, L);)
    if (L.rfind("VmRSS:", 0) == 0) return std::stol(L.substr(6));
  return -1;
}

int Child(const std::string& Folder) {
  if (getenv("VX_BENCH_PHASES")) std::fprintf(stderr, "phase main: %.1f ms, %ld kB, heap %ld kB\n", MsSinceProcessStart(), RssKb(), HeapKb());
  SetProgramFolder(Folder);
  double PaintedMs = -1, PaintedCpuMs = -1;
  long Rss = -1;
  TProgramHooks Hooks;
  TTimer* Watch = nullptr;
  Hooks.Started = [&] {
    if (getenv("VX_BENCH_PHASES")) std::fprintf(stderr, "phase started: %.1f ms, %ld kB, heap %ld kB\n", MsSinceProcessStart(), RssKb(), HeapKb());
    Watch = new TTimer(nullptr);
    Watch->SetInterval(1);
    int IdleTicks = 0;
    Watch->OnTimer = [&, IdleTicks](TObject*) mutable {
      if (PaintedMs < 0) {
        if (TMainForm::FirstPaintDone() && DM && DM->SessionId != -1) {
          PaintedMs = MsSinceProcessStart();
          PaintedCpuMs = CpuMs();
          if (getenv("VX_BENCH_PHASES")) std::fprintf(stderr, "phase painted: %.1f ms, %ld kB, heap %ld kB\n", PaintedMs, RssKb(), HeapKb());
          Watch->SetInterval(50);
        }
        return;
      }
      if (++IdleTicks < 10) return;  // half a second at the menu
      Watch->SetEnabled(false);
      Rss = RssKb();
      if (PanelForm) PanelForm->Close();
    };
  };
  Hooks.BeforeLoop = [&] {
    if (getenv("VX_BENCH_PHASES")) std::fprintf(stderr, "phase forms created: %.1f ms, %ld kB, heap %ld kB\n", MsSinceProcessStart(), RssKb(), HeapKb());
  };
  Hooks.AfterLoop = [&] {
    delete Watch;
    Watch = nullptr;
  };
  const int Status = VxProgramMain(Hooks);
  std::printf("%.1f %ld %d %.1f\n", PaintedMs, Rss, Status, PaintedCpuMs);
  return Status;
}

}  // namespace

int main(int argc, char** argv) {
  int Runs = 10;
  for (int I = 1; I < argc; ++I) {
    if (std::strcmp(argv[I], "--child") == 0 && I + 1 < argc) return Child(argv[I + 1]);
    if (std::strncmp(argv[I], "--runs=", 7) == 0) Runs = std::max(1, std::atoi(argv[I] + 7));
  }
  TInstallFolder Folder;
  // The build's own archives and help pages, when the build has made them.
  int Copied = 0;
  for (const char* Name : {"interface.zlb", "vx.zlb", "keyboards.zlb", "hints.zlb", "sounds.zlb", "scenario.zlb"}) {
    const std::string From = std::string(VX_DIST_DIR) + "/" + Name;
    if (std::filesystem::exists(From)) {
      std::filesystem::copy_file(From, Folder.Path() + Name, std::filesystem::copy_options::overwrite_existing);
      ++Copied;
    }
  }
  const int S = Folder.AddStudent("Ala");
  const std::string Config = Folder.Path() + "config";
  setenv("XDG_CONFIG_HOME", Config.c_str(), 1);
  {
    TPrgReg R(TPrgReg::DefaultFileName());
    R.WriteString("Options", "ShowLogonAtStartup", "0");
    R.WriteString("Options", "ShowHintAtStartup", "0");
    R.WriteInteger("Options", "LastID_STUDENT", S);
    R.WriteInteger("Options", "LastID_GROUP", -1);
  }
  std::printf("installation: %s archives\n", Copied ? "the build's" : "the test fixture's");
  std::vector<double> Ms, Cpu;
  std::vector<long> Rss;
  const std::string Self = ProgramFileName();
  for (int Run = 0; Run < Runs; ++Run) {
    int Pipe[2];
    if (pipe(Pipe) != 0) return 1;
    posix_spawn_file_actions_t A;
    posix_spawn_file_actions_init(&A);
    posix_spawn_file_actions_adddup2(&A, Pipe[1], 1);
    posix_spawn_file_actions_addclose(&A, Pipe[0]);
    std::string F = Folder.Path();
    // VX_BENCH_WRAP runs the program under a tool (heaptrack -o FILE, perf record, ...).
    const char* Wrap = getenv("VX_BENCH_WRAP");
    std::string Line = std::string(Wrap ? Wrap : "") + " '" + Self + "' --child '" + F + "'";
    char* Args[] = {const_cast<char*>(Self.c_str()), const_cast<char*>("--child"), F.data(), nullptr};
    char* ShArgs[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), Line.data(), nullptr};
    pid_t Pid;
    if (posix_spawn(&Pid, Wrap ? "/bin/sh" : Self.c_str(), &A, nullptr, Wrap ? ShArgs : Args, environ) != 0) return 1;
    close(Pipe[1]);
    std::string Out;
    char Buf[256];
    for (ssize_t N; (N = read(Pipe[0], Buf, sizeof Buf)) > 0;) Out.append(Buf, static_cast<std::size_t>(N));
    close(Pipe[0]);
    int St = 0;
    waitpid(Pid, &St, 0);
    posix_spawn_file_actions_destroy(&A);
    double T = -1, C = -1;
    long R = -1;
    int Status = -1;
    if (std::sscanf(Out.c_str(), "%lf %ld %d %lf", &T, &R, &Status, &C) != 4 || T < 0 || Status != 0) {
      std::printf("run %d failed: %s\n", Run, Out.c_str());
      continue;
    }
    Ms.push_back(T);
    Cpu.push_back(C);
    Rss.push_back(R);
  }
  if (Ms.empty()) return 1;
  std::sort(Ms.begin(), Ms.end());
  std::sort(Rss.begin(), Rss.end());
  std::sort(Cpu.begin(), Cpu.end());
  std::printf("start-up to the painted menu: median %.1f ms, min %.1f ms, max %.1f ms (%zu runs)\n",
              Ms[Ms.size() / 2], Ms.front(), Ms.back(), Ms.size());
  std::printf("processor time to the painted menu: median %.1f ms, min %.1f ms\n", Cpu[Cpu.size() / 2], Cpu.front());
  std::printf("resident memory idle at the menu: median %.1f MB, max %.1f MB\n", Rss[Rss.size() / 2] / 1024.0,
              Rss.back() / 1024.0);
  return 0;
}
