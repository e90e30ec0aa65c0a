// The frame timer: fires OnTimer from the application's idle processing at most every Interval
// milliseconds, with the number of intervals that passed (LagCount). No thread and no sleeping on
// the GUI thread: between ticks a host that can wait lets the event loop sleep until the next tick
// is due, handling input meanwhile.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/core/classes.h"

// What the timer needs of the program: whether it is active, a place for the one idle handler, and
// a way to hear of activation changes. The application host is the default; tests inject their own.
class TDXTimerHost {
 public:
  // Done := false asks for further idle steps without waiting for events.
  using TIdleHandler = std::function<void(bool& Done)>;
  virtual ~TDXTimerHost() = default;
  virtual bool Active() const = 0;
  // Replaces the program's idle handler; an empty handler clears it.
  virtual void SetIdleHandler(TIdleHandler Handler) = 0;
  // Activation changes (true: activated) go to Handler until it is removed with the same Key.
  virtual void AddActivationHandler(void* Key, std::function<void(bool Active)> Handler) = 0;
  virtual void RemoveActivationHandler(void* Key) = 0;
  // Asks for the next idle step in Ms milliseconds rather than at once, so that the GUI thread
  // sleeps (and still handles input) until the next tick is due. False when the host cannot
  // wait; the timer then keeps asking for steps.
  virtual bool WaitFor(uint32_t Ms) {
    (void)Ms;
    return false;
  }
};

// The running application's idle and activation events (nullptr when no GUI layer is built).
TDXTimerHost* ApplicationTimerHost();

using TDXTimerEvent = std::function<void(TObject* Sender, int LagCount)>;

class TCustomDXTimer : public TComponent {
 public:
  // Host and Clock default to the application and the monotonic millisecond tick counter.
  explicit TCustomDXTimer(TComponent* AOwner, TDXTimerHost* Host = nullptr, std::function<uint32_t()> Clock = {});
  ~TCustomDXTimer() override;
  std::string ClassName() const override { return "TCustomDXTimer"; }

  bool ActiveOnly() const { return FActiveOnly; }
  void SetActiveOnly(bool Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  int Interval() const { return FInterval; }
  void SetInterval(int Value);
  int FrameRate() const { return FFrameRate; }
  bool Installed() const { return FInstalled; }
  // True while the timer is the program's idle handler.
  bool Running() const { return FRunning; }

  TNotifyEvent OnActivate, OnDeactivate;
  TDXTimerEvent OnTimer;

  // One idle step (what the host's idle handler calls).
  void IdleStep(bool& Done);

 protected:
  void Loaded() override;
  virtual void DoActivate();
  virtual void DoDeactivate();
  virtual void DoTimer(int LagCount);

 private:
  void Install();
  void Remove();
  void Start();  // puts the idle handler in place
  void Stop();   // clears it
  void ActivationChanged(bool Active);
  // Asks the host to come back when the next tick is due (nothing when it is due already).
  void WaitForNextTick(uint32_t Now);
  TDXTimerHost* FHost;
  std::function<uint32_t()> FClock;
  bool FActiveOnly = true, FEnabled = true, FInstalled = false, FRunning = false, FWaiting = false;
  int FInterval = 1000, FThreshold = 1000, FDivisor = 1000;
  int FFrameRate = 0, FFrameCounter = 0;
  uint32_t FLastTime = 0, FRateStart = 0;
};

class TDXTimer : public TCustomDXTimer {
 public:
  using TCustomDXTimer::TCustomDXTimer;
  std::string ClassName() const override { return "TDXTimer"; }
};
