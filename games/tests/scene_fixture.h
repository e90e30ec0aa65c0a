// A host window for the games' tests: a form with the 800 x 600 display, the sprite engine and
// the sound, a page host that records what the games ask of it, a database with a logged-on
// student, the bomber's content, and an injected clock, random source and frame timer host.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dx/dxdraws.h"
#include "dx/dxsound.h"
#include "dx/dxtimer.h"
#include "dx/sprites.h"
#include "games/tests/game_fixture.h"
#include "platform/gui/controls.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/tests/install_fixture.h"

// Idle steps only when the test asks for them.
struct TStepTimerHost : TDXTimerHost {
  TIdleHandler Idle;
  bool Active() const override { return true; }
  void SetIdleHandler(TIdleHandler H) override { Idle = std::move(H); }
  void AddActivationHandler(void*, std::function<void(bool)>) override {}
  void RemoveActivationHandler(void*) override {}
  void Step() {
    bool Done = true;
    if (Idle) Idle(Done);
  }
};

class TTestPageHost : public TPageHost {
 public:
  TForm* Form = nullptr;
  TDXDraw* DX = nullptr;
  TDXSpriteEngine* Sprites = nullptr;
  TDXSound* SoundComponent = nullptr;
  std::map<TPageId, TForm*> Pages;
  std::vector<std::string> Pings;
  std::vector<TPageId> Shown;
  int ReturnShown = 0;
  TForm* Return = nullptr;
  int Student = -1;

  void ShowPage(TPageId Page) override;
  TForm* FindPage(TPageId Page) const override;
  void SetReturnPage(TForm* Page) override { Return = Page; }
  void ShowReturnPage() override { ++ReturnShown; }
  TForm* ReturnPage() const override { return Return; }
  TForm* HostForm() override { return Form; }
  TDXDraw* Display() override { return DX; }
  TDXSpriteEngine* SpriteEngine() override { return Sprites; }
  TDXSound* Sound() override { return SoundComponent; }
  TDXWaveList* WaveList() override { return nullptr; }
  void Ping(const std::string& Info1, const std::string& Info2, const std::string& Info3) override {
    Pings.push_back(Info1 + "|" + Info2 + "|" + Info3);
  }
  int CurrentStudent() const override { return Student; }
  int CurrentGroup() const override { return 1; }
  bool InFullScreen() const override { return false; }
  void EnterFullScreenIfNot() override {}
  void LeaveFullScreenIfSet() override {}
};

class GameSceneTest : public ::testing::Test {
 protected:
  static uint32_t Tick;
  static uint32_t FakeTick() { return Tick; }
  static int32_t ZeroRandom(int32_t) { return 0; }

  std::unique_ptr<TInstallFolder> Inst;
  TTestPageHost Host;
  TStepTimerHost TimerHost;
  int Student = -1;
  int NextExerciseCalls = 0;
  std::vector<std::string> Errors;

  void SetUp() override;
  void TearDown() override;
  // Writes the bomber's content into the installation.
  void Content(const TBomberContent& C = TBomberContent());
  // Frames on the injected clock: each advances it by Step ms and lets the timer run.
  void Frames(int N, uint32_t Step = 40);
  // Runs frames until Done() holds (at most Max); true when it did.
  template <class F>
  bool FramesUntil(F Done, int Max = 2000) {
    for (int I = 0; I < Max; ++I) {
      if (Done()) return true;
      Frames(1);
    }
    return Done();
  }
  // A key as typed on the keyboard, into the focused window.
  void Key(uint16_t Vk, const std::string& Text = "");
  std::vector<std::string> BomberRows() const;
};
