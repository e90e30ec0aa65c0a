#include "tutor/app/tests/scenario.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "controls/skincontrol.h"
#include "platform/core/fileutils.h"
#include "platform/core/inifiles.h"
#include "platform/gui/testing.h"
#include "tutor/app/Program.h"

namespace scenario {

namespace {

std::vector<std::string>* gFailures = nullptr;

constexpr int kTickMs = 20;
constexpr int kMaxTicks = 30000 / kTickMs;  // a step that never comes ends the run after 30 s

class TStepRunner {
 public:
  explicit TStepRunner(std::vector<TStep> Steps) : FSteps(std::move(Steps)) {
    FTimer = new TTimer(nullptr);
    FTimer->SetInterval(kTickMs);
    FTimer->OnTimer = [this](TObject*) { Tick(); };
    FTimer->SetEnabled(true);
  }
  ~TStepRunner() { delete FTimer; }
  bool Done() const { return FNext >= FSteps.size(); }
  std::string Pending() const { return Done() ? "" : FSteps[FNext].What; }

 private:
  void Tick() {
    if (Done()) return;
    // The previous action must have started, and must have finished unless it waits in a dialog
    // of its own (a loop deeper than the one it runs in): a step that pumps events itself must
    // not see the next step run inside it.
    if (FStartedCount < FNext) return;
    if (!FRunning.empty() && Application->LoopLevel() <= FRunning.back()) return;
    if (++FTicks > kMaxTicks) {
      std::string Shown;
      for (int I = 0; I < Screen->FormCount(); ++I)
        if (TForm* F = Screen->Forms(I); F && F->Visible())
          Shown += " " + F->ClassName() + (F->FindComponent("Message") ? " '" + MessageText(F) + "'" : "") +
                   (dynamic_cast<TLabel*>(F->FindComponent("ErrMsgLabel"))
                        ? " '" + dynamic_cast<TLabel*>(F->FindComponent("ErrMsgLabel"))->Caption() + "'"
                        : "");
      Fail("the step never came: " + FSteps[FNext].What + " (windows shown:" + Shown + ")");
      FNext = FSteps.size();
      Application->Terminate();
      return;
    }
    TStep& S = FSteps[FNext];
    bool Ready = true;
    try {
      Ready = !S.Ready || S.Ready();
    } catch (const std::exception&) {
      Ready = false;
    }
    if (!Ready) return;
    const std::size_t I = FNext++;
    FTicks = 0;
    Application->QueueCall([this, I] {
      if (FStartedCount < I + 1) FStartedCount = I + 1;
      FRunning.push_back(Application->LoopLevel());
      try {
        if (FSteps[I].Act) FSteps[I].Act();
      } catch (const std::exception& E) {
        Fail("step '" + FSteps[I].What + "' raised: " + E.what());
      }
      FRunning.pop_back();
    });
  }

  std::vector<TStep> FSteps;
  TTimer* FTimer = nullptr;
  std::size_t FNext = 0;
  std::size_t FStartedCount = 0;
  std::vector<int> FRunning;  // loop level of each action running now, innermost last
  int FTicks = 0;
};

void WriteScreenConfig(const std::string& File, int W, int H) {
  std::ofstream(File) << "{\"screens\":[{\"name\":\"s\",\"x\":0,\"y\":0,\"width\":" << W << ",\"height\":" << H
                      << ",\"logicalDpi\":96,\"logicalBaseDpi\":96,\"dpr\":1}]}";
}

}  // namespace

void Fail(const std::string& Message) {
  if (gFailures) gFailures->push_back(Message);
}

TRun RunProgram(const TInstallFolder& Folder, const TRunOptions& Options) {
  ::setenv("XDG_CONFIG_HOME", (Folder.Path() + "config").c_str(), 1);
  {
    TPrgReg Settings(TPrgReg::DefaultFileName());
    for (const auto& [Section, Name, Value] : Options.Settings) Settings.WriteString(Section, Name, Value);
  }
  int Pipe[2];
  TRun Run;
  if (::pipe(Pipe) != 0) {
    Run.Failures.push_back("no pipe");
    return Run;
  }
  std::fflush(nullptr);
  const pid_t Pid = ::fork();
  if (Pid == 0) {
    ::close(Pipe[0]);
    if (Options.ScreenWidth > 0) {
      const std::string Config = Folder.Path() + "screen.json";
      WriteScreenConfig(Config, Options.ScreenWidth, Options.ScreenHeight);
      ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + Config).c_str(), 1);
    }
    std::vector<std::string> Failures;
    gFailures = &Failures;
    SetProgramFolder(Folder.Path());
    std::unique_ptr<TStepRunner> Runner;
    TProgramHooks Hooks;
    if (Options.Before) Options.Before();
    Hooks.Started = [&] { Runner = std::make_unique<TStepRunner>(Options.Steps); };
    Hooks.AfterLoop = [&] {
      if (Runner && !Runner->Done()) Fail("the program ended before the step: " + Runner->Pending());
      try {
        if (Options.AtEnd) Options.AtEnd();
      } catch (const std::exception& E) {
        Fail(std::string("the final checks raised: ") + E.what());
      }
      Runner.reset();
    };
    int Status = 1;
    try {
      Status = VxProgramMain(Hooks);
    } catch (const std::exception& E) {
      Fail(std::string("the program raised: ") + E.what());
    }
    if (Runner && !Runner->Done()) Fail("the program ended before the step: " + Runner->Pending());
    Runner.reset();
    std::string Out;
    for (const std::string& F : Failures) Out += F + "\n";
    std::size_t At = 0;
    while (At < Out.size()) {
      const ssize_t N = ::write(Pipe[1], Out.data() + At, Out.size() - At);
      if (N <= 0) break;
      At += static_cast<std::size_t>(N);
    }
    ::close(Pipe[1]);
    std::fflush(nullptr);
    ::_exit(Status);
  }
  ::close(Pipe[1]);
  std::string In;
  char Buf[4096];
  for (ssize_t N; (N = ::read(Pipe[0], Buf, sizeof Buf)) > 0;) In.append(Buf, static_cast<std::size_t>(N));
  ::close(Pipe[0]);
  int WStatus = 0;
  ::waitpid(Pid, &WStatus, 0);
  Run.Status = WIFEXITED(WStatus) ? WEXITSTATUS(WStatus) : -WTERMSIG(WStatus);
  std::size_t Start = 0;
  for (std::size_t End; (End = In.find('\n', Start)) != std::string::npos; Start = End + 1)
    Run.Failures.push_back(In.substr(Start, End - Start));
  return Run;
}

void ExpectClean(const TRun& Run) {
  for (const std::string& F : Run.Failures) ADD_FAILURE() << F;
}

TForm* VisibleForm(const std::string& ClassName) {
  for (int I = 0; I < Screen->FormCount(); ++I) {
    TForm* F = Screen->Forms(I);
    if (F && F->Visible() && F->ClassName() == ClassName) return F;
  }
  return nullptr;
}

TForm* MessageDialog() {
  for (int I = 0; I < Screen->FormCount(); ++I) {
    TForm* F = Screen->Forms(I);
    if (F && F->Visible() && F->FindComponent("Message") && !F->Parent()) return F;
  }
  return nullptr;
}

std::string MessageText(TForm* Dialog) {
  auto* L = Dialog ? dynamic_cast<TLabel*>(Dialog->FindComponent("Message")) : nullptr;
  return L ? L->Caption() : std::string();
}

void ClickCenter(TControl* C) {
  if (!C) {
    Fail("no control to click");
    return;
  }
  vxtest::Click(C, C->Width() / 2, C->Height() / 2);
  vxtest::Pump();
}

void ClickSkin(TControl* Button) {
  auto* S = dynamic_cast<TSkinControl*>(Button);
  if (!S) {
    Fail("not a skinned control");
    return;
  }
  for (int Y = S->Height() / 2; Y < S->Height(); ++Y)
    for (int X = S->Width() / 2; X < S->Width(); ++X)
      if (S->IsOpaqueAt(X, Y)) {
        vxtest::MouseMove(S, X, Y);
        vxtest::Click(S, X, Y);
        vxtest::Pump();
        return;
      }
  Fail("no opaque pixel on " + S->Name());
}

void Press(TForm* Dialog, const std::string& Button) {
  auto* B = Dialog ? dynamic_cast<TButton*>(Dialog->FindComponent(Button)) : nullptr;
  if (!B) {
    Fail("no button " + Button + " on the dialog");
    return;
  }
  ClickCenter(B);
}

void PressKey(TWinControl* Target, uint16_t Key) {
  vxtest::KeyStroke(Target, Key);
  vxtest::Pump();
}

TStep WaitForMessage(const std::string& Id, const std::string& Button) {
  return {"message " + Id, [] { return MessageDialog() != nullptr; },
          [Id, Button] {
            TForm* D = MessageDialog();
            SCN_CHECK_EQ(MessageText(D), TInstallFolder::Message(Id));
            Press(D, Button);
          }};
}

TStep WaitForMenu() {
  return {"the main menu", [] {
            TForm* M = VisibleForm("TMainForm");
            return M && M->Showing() && !MessageDialog() && !VisibleForm("TLogonForm") && !VisibleForm("THintForm");
          },
          nullptr};
}

}  // namespace scenario
