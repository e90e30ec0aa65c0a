#include <gtest/gtest.h>

#include <vector>

#include "dx/dxtimer.h"

namespace {

// A host that can wait: it records every wait the timer asks for.
struct WaitingHost : TDXTimerHost {
  TIdleHandler Idle;
  std::vector<uint32_t> Waits;
  bool Active() const override { return true; }
  void SetIdleHandler(TIdleHandler H) override { Idle = std::move(H); }
  void AddActivationHandler(void*, std::function<void(bool)>) override {}
  void RemoveActivationHandler(void*) override {}
  bool WaitFor(uint32_t Ms) override {
    Waits.push_back(Ms);
    return true;
  }
  // Returns whether the handler asked for another step at once.
  bool Step() {
    bool Done = true;
    if (Idle) Idle(Done);
    return !Done;
  }
};

}  // namespace

TEST(DXTimerWait, BetweenTicksTheTimerWaitsExactlyUntilTheNextIsDue) {
  WaitingHost Host;
  uint32_t Now = 1000;
  int Fired = 0;
  TDXTimer T(nullptr, &Host, [&] { return Now; });
  T.SetInterval(40);
  T.OnTimer = [&](TObject*, int) {
    ++Fired;
    Now += 5;  // the frame's own work
  };
  struct Step {
    uint32_t Advance;
    int Fired;
    uint32_t Wait;
  } Steps[] = {
      {10, 0, 30},  // 10 ms after the start: 30 to go
      {29, 0, 1},
      {1, 1, 35},   // due: fired, and the next is due 40 ms after this tick, less the 5 ms of work
      {35, 2, 35},
      {100, 3, 35}, // late: one tick (with its lag), then the next due time again
  };
  for (const Step& S : Steps) {
    Now += S.Advance;
    EXPECT_FALSE(Host.Step()) << "the timer waits instead of asking for steps at once";
    EXPECT_EQ(Fired, S.Fired) << "after +" << S.Advance;
    ASSERT_FALSE(Host.Waits.empty());
    EXPECT_EQ(Host.Waits.back(), S.Wait) << "after +" << S.Advance;
  }
}

TEST(DXTimerWait, ATimerStoppedByItsOwnTickOrWithTheNextTickDueAsksForNoWait) {
  WaitingHost Host;
  uint32_t Now = 0;
  TDXTimer T(nullptr, &Host, [&] { return Now; });
  T.SetInterval(40);
  // A frame that took longer than the interval: the next step comes at once.
  T.OnTimer = [&](TObject*, int) { Now += 45; };
  Now += 40;
  EXPECT_TRUE(Host.Step());
  EXPECT_TRUE(Host.Waits.empty());
  // A frame that switches the timer off.
  T.OnTimer = [&](TObject*, int) { T.SetEnabled(false); };
  Now += 40;
  Host.Step();
  EXPECT_TRUE(Host.Waits.empty());
  EXPECT_FALSE(T.Running());
}
