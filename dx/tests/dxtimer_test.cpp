#include <gtest/gtest.h>

#include <vector>

#include "dx/dxtimer.h"
#include "platform/gui/controls.h"

namespace {

// The program as the timer sees it: an activation flag, the idle slot and the activation handlers.
struct FakeHost : TDXTimerHost {
  bool IsActive = true;
  TIdleHandler Idle;
  std::function<void(bool)> OnActivation;
  bool Active() const override { return IsActive; }
  void SetIdleHandler(TIdleHandler H) override { Idle = std::move(H); }
  void AddActivationHandler(void*, std::function<void(bool)> H) override { OnActivation = std::move(H); }
  void RemoveActivationHandler(void*) override { OnActivation = nullptr; }
  void SetActive(bool A) {
    IsActive = A;
    if (OnActivation) OnActivation(A);
  }
  // One idle turn of the event loop; returns whether the handler asked for more.
  bool Step() {
    bool done = true;
    if (Idle) Idle(done);
    return !done;
  }
};

struct TimerFixture : ::testing::Test {
  FakeHost host;
  uint32_t now = 5000;
  std::vector<int> lags;
  TDXTimer* Make(int Interval) {
    auto* t = new TDXTimer(nullptr, &host, [this] { return now; });
    t->SetInterval(Interval);
    t->OnTimer = [this](TObject*, int Lag) { lags.push_back(Lag); };
    return t;
  }
};

}  // namespace

TEST_F(TimerFixture, FiresFromIdleStepsAtTheIntervalWithTheLag) {
  std::unique_ptr<TDXTimer> t(Make(40));
  ASSERT_TRUE(t->Installed());
  struct Step {
    uint32_t Advance;
    std::vector<int> Lags;  // all lags so far
  } steps[] = {
      {0, {}},           {39, {}},           {1, {1}},           // 40 ms after the start
      {40, {1, 1}},      {20, {1, 1}},       {100, {1, 1, 3}},   // 120 ms late: three intervals
      {0, {1, 1, 3}},    {79, {1, 1, 3, 1}},
  };
  for (const Step& s : steps) {
    now += s.Advance;
    EXPECT_TRUE(host.Step()) << "idle steps keep coming while the timer runs";
    EXPECT_EQ(lags, s.Lags) << "after +" << s.Advance;
  }
}

TEST_F(TimerFixture, FrameRateIsCountedOverEachSecond) {
  std::unique_ptr<TDXTimer> t(Make(40));
  for (int i = 0; i < 25; ++i) {
    now += 40;
    host.Step();
  }
  EXPECT_EQ(t->FrameRate(), 25);
  EXPECT_EQ(lags.size(), 25u);
}

TEST_F(TimerFixture, IntervalZeroFiresEveryStepWithElapsedMilliseconds) {
  std::unique_ptr<TDXTimer> t(Make(0));
  host.Step();
  now += 7;
  host.Step();
  EXPECT_EQ(lags, (std::vector<int>{1, 7}));
}

TEST_F(TimerFixture, DisablingStopsAndDeactivationPausesWithoutABurstOfLag) {
  std::unique_ptr<TDXTimer> t(Make(40));
  int activated = 0, deactivated = 0;
  t->OnActivate = [&](TObject*) { ++activated; };
  t->OnDeactivate = [&](TObject*) { ++deactivated; };
  host.SetActive(false);
  EXPECT_EQ(deactivated, 1);
  EXPECT_FALSE(host.Idle) << "an inactive program runs no frames";
  now += 10000;
  host.SetActive(true);
  EXPECT_EQ(activated, 1);
  ASSERT_TRUE(host.Idle);
  now += 40;
  host.Step();
  EXPECT_EQ(lags, std::vector<int>{1}) << "the lag restarts with the activation";

  t->SetActiveOnly(false);
  host.SetActive(false);
  EXPECT_TRUE(host.Idle) << "not active-only: keeps running";

  t->SetEnabled(false);
  EXPECT_FALSE(t->Installed());
  EXPECT_FALSE(host.Idle);
  now += 400;
  host.Step();
  EXPECT_EQ(lags.size(), 1u);
  t->SetEnabled(true);
  now += 40;
  host.Step();
  EXPECT_EQ(lags, (std::vector<int>{1, 1}));
}

TEST_F(TimerFixture, ActiveOnlyTimerMadeWhileInactiveWaitsForActivation) {
  host.IsActive = false;
  std::unique_ptr<TDXTimer> t(Make(40));
  EXPECT_TRUE(t->Installed());
  EXPECT_FALSE(host.Idle);
  host.SetActive(true);
  EXPECT_TRUE(host.Idle);
  t.reset();
  EXPECT_FALSE(host.Idle) << "a freed timer leaves no handler behind";
}

// The default host: the application's own idle processing runs the timer inside Run().
TEST(DXTimerApplicationTest, RunsFromTheApplicationsIdleProcessing) {
  TApplication* saved = Application;
  Application = new TApplication(nullptr);
  Application->Initialize();
  TForm* main = nullptr;
  Application->CreateForm(main);
  {
    uint32_t now = 0;
    TDXTimer t(nullptr, nullptr, [&now] { return now += 20; });  // each look at the clock: 20 ms later
    t.SetInterval(40);
    t.SetActiveOnly(false);
    t.SetEnabled(false);
    EXPECT_FALSE(Application->OnIdle);
    t.SetEnabled(true);
    ASSERT_TRUE(Application->OnIdle);
    std::vector<int> lags;
    t.OnTimer = [&](TObject*, int Lag) {
      lags.push_back(Lag);
      if (lags.size() == 10) Application->Terminate();
    };
    Application->Run();
    EXPECT_EQ(lags, std::vector<int>(10, 1));
    // Activation reaches the timer through the application's events, after what was there before.
    int deactivations = 0;
    t.OnDeactivate = [&](TObject*) { ++deactivations; };
    t.SetActiveOnly(true);
    Application->OnDeactivate(Application);
    EXPECT_EQ(deactivations, 1);
    EXPECT_FALSE(Application->OnIdle) << "active-only timer pauses while the program is inactive";
  }
  EXPECT_FALSE(Application->OnIdle);
  delete Application;
  Application = saved;
}
