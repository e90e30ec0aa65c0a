// The bomber driven by the real frame timer on the 800 x 600 x 16 display (full screen; --window:
// in a window at the desktop's depth), headless, with the installed content. Run by hand:
//
//   bench_bomber INSTALLATION-FOLDER [--frames N] [--window] [--png FILE] [--page-png FILE]
//
// Plays difficulty 3 (up to six bombs at once) in the first town: each bomb's letter is typed
// through the keyboard path once it has fallen 150 px, except every fifth bomb, which is left to
// land (middle and big explosions). Reports the time of the game's start, LoadTowns, the work of
// each frame (median, p99, worst), the frame period, the process's CPU use while it runs, and the
// frames from a key press to its bomb's explosion. --png keeps a picture of a frame mid-game,
// --page-png one of the games page.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "dx/dxdraws.h"
#include "dx/dxsound.h"
#include "dx/sprites.h"
#include "games/BomberScene.h"
#include "games/BomberStart.h"
#include "games/BomberTowns.h"
#include "games/GameSelect.h"
#include "games/GameServices.h"
#include "games/TopTen.h"
#include "controls/vxcheckbox.h"
#include "platform/core/fileutils.h"
#include "platform/gui/controls.h"
#include "platform/gui/testing.h"
#include "tutor/core/PageHost.h"
#include "bench/bench_measure.h"

namespace {

using vxbench::Ms;
using vxbench::Percentile;

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage U{};
  getrusage(RUSAGE_SELF, &U);
  return U.ru_utime.tv_sec + U.ru_stime.tv_sec + (U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

class BenchHost : public TPageHost {
 public:
  TForm* Form = nullptr;
  TDXDraw* DX = nullptr;
  TDXSpriteEngine* Sprites = nullptr;
  TDXSound* Snd = nullptr;
  void ShowPage(TPageId) override {}
  TForm* FindPage(TPageId) const override { return nullptr; }
  void SetReturnPage(TForm*) override {}
  void ShowReturnPage() override {}
  TForm* ReturnPage() const override { return nullptr; }
  TForm* HostForm() override { return Form; }
  TDXDraw* Display() override { return DX; }
  TDXSpriteEngine* SpriteEngine() override { return Sprites; }
  TDXSound* Sound() override { return Snd; }
  TDXWaveList* WaveList() override { return nullptr; }
  void Ping(const std::string&, const std::string&, const std::string&) override {}
  int CurrentStudent() const override { return -1; }
  int CurrentGroup() const override { return -1; }
  bool InFullScreen() const override { return true; }
  void EnterFullScreenIfNot() override {}
  void LeaveFullScreenIfSet() override {}
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_bomber INSTALLATION-FOLDER [--frames N] [--window] [--png FILE] [--page-png FILE]\n");
    return 2;
  }
  int Frames = 1500;
  std::string Png, PagePng;
  bool Window = false;
  for (int I = 2; I < argc; ++I) {
    const std::string A = argv[I];
    if (A == "--window") {
      Window = true;
      continue;
    }
    if (I + 1 >= argc) break;
    if (A == "--frames") Frames = std::atoi(argv[I + 1]);
    if (A == "--png") Png = argv[I + 1];
    if (A == "--page-png") PagePng = argv[I + 1];
    ++I;
  }
  try {
    Application->Initialize();
    SetProgramFolder(std::string(argv[1]) + "/");
    BenchHost Host;
    Host.Form = new TForm(nullptr);
    Host.Form->SetBorderStyle(bsNone);
    Host.Form->SetBounds(0, 0, 800, 600);
    Host.DX = new TDXDraw(Host.Form);
    Host.DX->SetParent(Host.Form);
    Host.DX->SetBounds(0, 0, 800, 600);
    Host.DX->SetOptions(Opts(doNoWindowChange, doCenter, doRetainedMode, doHardware) | (Window ? 0 : Opt(doFullScreen)));
    Host.DX->Display()->SetBitCount(16);
    Host.DX->Display()->SetWidth(800);
    Host.DX->Display()->SetHeight(600);
    Host.Sprites = new TDXSpriteEngine(Host.Form);
    Host.Sprites->SetDXDraw(Host.DX);
    Host.Snd = new TDXSound(Host.Form);
    Host.Form->Show();
    Host.DX->Initialize();
    try {
      Host.Snd->Initialize();
    } catch (const std::exception& E) {
      std::fprintf(stderr, "no sound: %s\n", E.what());
    }
    SetPageHost(&Host);
    ReportGameError = [](const std::string& T) { std::fprintf(stderr, "start failed: %s\n", T.c_str()); };

    auto T0 = Clock::now();
    LoadTowns();
    const double TownsMs = Ms(Clock::now() - T0);
    if (!PagePng.empty()) {
      // The games page as the student first sees it, with the installation's pictures.
      RegisterGamePages();
      auto* Page = new TGameSelectForm(nullptr);
      Page->SetParent(Host.Form);
      Page->Show();
      Page->JetCheckboxClick(Page->VxCheckbox1);
      vxtest::Pump();
      vxtest::SaveGrabPng(Page, PagePng);
      delete Page;
      // And the bomber's score page (without a database: its rows as the form makes them).
      auto* Scores = new TBomberTopTenForm(nullptr);
      Scores->SetParent(Host.Form);
      Scores->Show();
      Scores->SetResult(3, 128);
      vxtest::Pump();
      vxtest::SaveGrabPng(Scores, PagePng.substr(0, PagePng.size() - 4) + "-topten.png");
      delete Scores;
    }
    TBomberStart S;
    S.Difficulty = 3;
    S.AllowedLetters = "asdfjkl;e";
    S.PreferredLetters = "asdfjkl;e";
    T0 = Clock::now();
    if (!StartBomberGame(S)) return 1;
    const double StartMs = Ms(Clock::now() - T0);
    TBomberScene* Scene = BomberScene;
    vxtest::TypeText(Host.DX, " ");

    std::vector<double> Work, Period;
    std::map<TBombeSprite*, int> Typed;  // bomb -> frame its key went in
    std::vector<int> KeyToBlast;
    int Frame = 0, Seen = 0, Landers = 0;
    auto Last = Clock::now();
    std::map<TBombeSprite*, bool> Known;
    Scene->Timer->OnTimer = [&](TObject*, int Lag) {
      const auto Start = Clock::now();
      if (Frame > 0) Period.push_back(Ms(Start - Last));
      Last = Start;
      Scene->FrameStep(Lag);
      Work.push_back(Ms(Clock::now() - Start));
      ++Frame;
      if (!Png.empty() && Frame == Frames / 2) vxtest::SaveGrabPng(Host.Form, Png);
      TSprite* Root = Host.Sprites->Engine();
      for (auto It = Typed.begin(); It != Typed.end();) {
        bool Alive = false;
        for (int I = 0; I < Root->Count(); ++I) Alive |= Root->Items(I) == It->first;
        if (!Alive || It->first->Phase != 0) {
          KeyToBlast.push_back(Frame - It->second);
          It = Typed.erase(It);
        } else {
          ++It;
        }
      }
      // Bombs are known while they fall (a freed bomb's address may come back for a new one).
      for (auto It = Known.begin(); It != Known.end();) {
        bool Falling = false;
        for (int I = 0; I < Root->Count(); ++I) Falling |= Root->Items(I) == It->first && It->first->Phase == 0;
        It = Falling ? std::next(It) : Known.erase(It);
      }
      for (int I = 0; I < Root->Count(); ++I) {
        auto* B = dynamic_cast<TBombeSprite*>(Root->Items(I));
        if (!B || B->Phase != 0) continue;
        if (!Known.count(B)) {
          Known[B] = (++Seen % 5 == 0);  // every fifth bomb lands
          if (Known[B]) ++Landers;
        }
        if (!Known[B] && B->Y > 150 && !Typed.count(B)) {
          // One key a frame, and only for the oldest bomb of its letter (the one it hits).
          bool Older = false;
          for (int J = 0; J < I; ++J)
            if (auto* O = dynamic_cast<TBombeSprite*>(Root->Items(J)); O && O->Phase == 0 && O->Letter == B->Letter) Older = true;
          if (Older || !Typed.empty()) continue;
          Typed[B] = Frame;
          vxtest::TypeText(Host.DX, std::string(1, static_cast<char>(B->Letter)));
        }
      }
    };
    const double Cpu0 = CpuSeconds();
    const auto Wall0 = Clock::now();
    while (Frame < Frames && BomberScene == Scene && !Scene->Ended()) Application->HandleMessage();
    const double Wall = Ms(Clock::now() - Wall0) / 1000, Cpu = CpuSeconds() - Cpu0;
    std::printf("LoadTowns (%d towns): %.1f ms; start of a game: %.1f ms\n", TownList()->Count(), TownsMs, StartMs);
    std::printf("bombs: %d, %d of them left to land\n", Seen, Landers);
    std::printf("frames: %zu on %dx%dx%d, level %d, hits %d, landed %d, errors %d, at most six bombs\n", Work.size(),
                Host.DX->Surface()->Width(), Host.DX->Surface()->Height(), Host.DX->Surface()->BitCount(), Scene->Level,
                Scene->Hits, Scene->Landed, Scene->Errors);
    std::printf("frame work: median %.2f ms, p99 %.2f ms, worst %.2f ms\n", Percentile(Work, 0.5), Percentile(Work, 0.99),
                *std::max_element(Work.begin(), Work.end()));
    double Sum = 0;
    for (double P : Period) Sum += P;
    std::printf("frame period: mean %.2f ms, median %.2f ms, p1 %.2f ms, p99 %.2f ms\n", Sum / Period.size(),
                Percentile(Period, 0.5), Percentile(Period, 0.01), Percentile(Period, 0.99));
    std::printf("CPU: %.1f %% of one core over %.1f s\n", 100 * Cpu / Wall, Wall);
    if (!KeyToBlast.empty())
      std::printf("key press to explosion: %zu keys, at most %d frame(s), median %d\n", KeyToBlast.size(),
                  *std::max_element(KeyToBlast.begin(), KeyToBlast.end()),
                  static_cast<int>(Percentile(std::vector<double>(KeyToBlast.begin(), KeyToBlast.end()), 0.5)));
    delete BomberScene;
    SetPageHost(nullptr);
    Host.Sprites->Engine()->Clear();
    delete Host.Form;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
  return 0;
}
