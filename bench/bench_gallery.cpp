// The gallery game on the 800 x 600 x 16 display, headless, with the installed content. Run by
// hand:
//
//   bench_gallery INSTALLATION-FOLDER [--frames N] [--png FILE]
//
// Reports the time to prepare and start a game of the hardest grid (29 x 29: the words from the
// word list, the theme's picture, the surfaces), and the work of each frame with every one of
// the 841 cells uncovered, the current word and the title bar drawn (median, p99, worst).
// --png keeps a picture of a 12 x 8 game half uncovered, a word on its cell with a letter typed,
// and one of the same game finished with its title bar (FILE-finished.png).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dx/dxdraws.h"
#include "dx/dxtimer.h"
#include "dx/sprites.h"
#include "games/GalleryConfig.h"
#include "games/GalleryScene.h"
#include "platform/core/fileutils.h"
#include "platform/core/random.h"
#include "platform/gui/controls.h"
#include "platform/gui/testing.h"
#include "bench/bench_measure.h"

namespace {

using vxbench::Ms;
using vxbench::Percentile;

using Clock = std::chrono::steady_clock;

// Frames only when the program asks for them.
struct ManualTimerHost : TDXTimerHost {
  bool Active() const override { return true; }
  void SetIdleHandler(TIdleHandler) override {}
  void AddActivationHandler(void*, std::function<void(bool)>) override {}
  void RemoveActivationHandler(void*) override {}
};

TGalleryScene* NewScene(TDXDraw* DX, TDXSpriteEngine* Sprites, ManualTimerHost* Timers, int Cols, int Rows) {
  auto* S = new TGalleryScene(DX, nullptr, Sprites, Timers, false);
  S->AllowedLetters = "";
  S->PreferredLetters = "asdfjkl;e";
  S->ThemeFile = GalleryThemes[static_cast<size_t>(GalleryDefaultTheme())].FileName;
  S->MaxTimePerChar = 800;
  S->ColCnt = Cols;
  S->RowCnt = Rows;
  S->WordsCnt = 300;
  S->SetParent(DX->Parent());
  if (!S->PrepareGame()) throw Exception("too few words");
  S->NewGame();
  return S;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_gallery INSTALLATION-FOLDER [--frames N] [--png FILE]\n");
    return 2;
  }
  int Frames = 1500;
  std::string Png;
  for (int I = 2; I + 1 < argc; I += 2) {
    const std::string A = argv[I];
    if (A == "--frames") Frames = std::atoi(argv[I + 1]);
    if (A == "--png") Png = argv[I + 1];
  }
  try {
    Application->Initialize();
    SetProgramFolder(std::string(argv[1]) + "/");
    auto* Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(0, 0, 800, 600);
    auto* DX = new TDXDraw(Form);
    DX->SetParent(Form);
    DX->SetBounds(0, 0, 800, 600);
    DX->SetOptions(Opts(doNoWindowChange, doCenter, doRetainedMode, doHardware, doFullScreen));
    DX->Display()->SetBitCount(16);
    DX->Display()->SetWidth(800);
    DX->Display()->SetHeight(600);
    auto* Sprites = new TDXSpriteEngine(Form);
    Sprites->SetDXDraw(DX);
    Form->Show();
    DX->Initialize();
    ManualTimerHost Timers;
    ShowGalleryMessage = [](const std::string& T) { std::fprintf(stderr, "%s\n", T.c_str()); };
    LoadGalleryConfig();
    LoadGalleryThemes();
    if (GalleryThemes.empty()) throw Exception("no picture themes");

    // Preparing and starting the 29 x 29 game, ten times.
    std::vector<double> StartMs;
    TGalleryScene* Scene = nullptr;
    for (int I = 0; I < 10; ++I) {
      delete Scene;
      const auto T0 = Clock::now();
      Scene = NewScene(DX, Sprites, &Timers, 40, 30);
      StartMs.push_back(Ms(Clock::now() - T0));
    }
    std::printf("prepare + start 29x29 (%d words): median %.1f ms, worst %.1f ms\n", Scene->Words.Count(),
                Percentile(StartMs, 0.5), Percentile(StartMs, 1.0));

    // Every cell uncovered, a word on screen, the title bar in: the most a frame draws.
    Scene->KeyDownMessage(VK_SPACE);
    Scene->ClockTick();
    Scene->ClockTick();
    for (int I = 0; I < Scene->Rows * Scene->Cols; ++I) Scene->CellState[I] = 1;
    Scene->CurrentCell = 420;
    std::vector<double> Work;
    for (int F = 0; F < Frames; ++F) {
      if (F == Frames / 2) Scene->State = 4;  // the second half with the title bar
      const auto T0 = Clock::now();
      Scene->FrameStep(1);
      Work.push_back(Ms(Clock::now() - T0));
    }
    std::printf("frame work, 841 cells uncovered (%d frames): median %.2f ms, p99 %.2f ms, worst %.2f ms\n", Frames,
                Percentile(Work, 0.5), Percentile(Work, 0.99), Percentile(Work, 1.0));
    delete Scene;

    if (!Png.empty()) {
      Scene = NewScene(DX, Sprites, &Timers, 12, 8);
      RandSeed = 7;
      Scene->KeyDownMessage(VK_SPACE);
      Scene->ClockTick();
      Scene->ClockTick();
      for (int I = 0; I < 96; ++I)
        if (I != Scene->CurrentCell && Random(2) == 0) Scene->CellState[I] = Random(5) == 0 ? 2 : 1;
      for (int I = 0; I < 96; ++I) {
        Scene->CellsDone += Scene->CellState[I] != 0;
        Scene->CellsLost += Scene->CellState[I] == 2;
      }
      Scene->Score = 1234.4;
      Scene->SpeedText = "187,50";
      Scene->CharMessage(static_cast<uint8_t>(Scene->Word[0]));
      Scene->FrameStep(1);
      vxtest::SaveGrabPng(Form, Png);
      std::printf("picture of a half-uncovered game: %s (%s, word \"%s\")\n", Png.c_str(), Scene->PictureTitle.c_str(),
                  Scene->Word.c_str());
      // The same game finished, its title bar slid in.
      for (int I = 0; I < 96; ++I)
        if (Scene->CellState[I] == 0) Scene->CellState[I] = 1;
      Scene->State = 4;
      Scene->CurrentCell = -1;
      Scene->TitleY = 24;
      Scene->FrameStep(1);
      const std::string Done = Png.substr(0, Png.rfind('.')) + "-finished.png";
      vxtest::SaveGrabPng(Form, Done);
      std::printf("picture of the finished game: %s\n", Done.c_str());
      delete Scene;
    }
    Sprites->Engine()->Clear();
    delete Form;
    FreeGalleryConfig();
  } catch (const std::exception& E) {
    std::fprintf(stderr, "bench_gallery: %s\n", E.what());
    return 1;
  }
  return 0;
}
