#include "dx/dxtimer.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "platform/core/fileutils.h"
#ifdef VXDX_HAVE_GUI
#include "platform/gui/controls.h"
#endif

#ifdef VXDX_HAVE_GUI
namespace {

// The application's single OnIdle slot, and its activation events shared by every timer (the
// handlers that were there before are still called).
class TApplicationTimerHost : public TDXTimerHost {
 public:
  ~TApplicationTimerHost() override { delete FWake; }
  bool Active() const override { return Application && Application->Active(); }
  void SetIdleHandler(TIdleHandler Handler) override {
    FWaiting = false;
    if (FWake) FWake->SetEnabled(false);
    FHandler = std::move(Handler);
    if (!Application) return;
    if (FHandler)
      Application->OnIdle = [H = FHandler](TObject*, bool& Done) { H(Done); };
    else
      Application->OnIdle = nullptr;
  }
  // The idle slot is emptied while waiting (an idle handler never asks for idle turns to stop)
  // and filled again by a one-shot wake-up at the due time.
  bool WaitFor(uint32_t Ms) override {
    if (!Application || !FHandler) return false;
    if (!FWake) {
      FWake = new TTimer(nullptr);
      FWake->SetEnabled(false);
      FWake->OnTimer = [this](TObject*) { Wake(); };
    }
    FWake->SetEnabled(false);
    FWake->SetInterval(std::max<uint32_t>(Ms, 1));
    FWake->SetEnabled(true);
    FWaiting = true;
    // Not from inside the idle handler that is running now: after it.
    Application->QueueCall([this] {
      if (FWaiting && Application) Application->OnIdle = nullptr;
    });
    return true;
  }
  void AddActivationHandler(void* Key, std::function<void(bool)> Handler) override {
    Hook();
    FHandlers[Key] = std::move(Handler);
  }
  void RemoveActivationHandler(void* Key) override { FHandlers.erase(Key); }

 private:
  void Hook() {
    if (!Application || FHooked == Application) return;
    FHooked = Application;
    TNotifyEvent oldA = Application->OnActivate, oldD = Application->OnDeactivate;
    Application->OnActivate = [this, oldA](TObject* S) {
      if (oldA) oldA(S);
      Notify(true);
    };
    Application->OnDeactivate = [this, oldD](TObject* S) {
      if (oldD) oldD(S);
      Notify(false);
    };
  }
  void Notify(bool Active) {
    const auto handlers = FHandlers;  // a handler may remove itself
    for (const auto& [key, h] : handlers)
      if (FHandlers.count(key)) h(Active);
  }
  void Wake() {
    FWake->SetEnabled(false);
    if (!FWaiting) return;
    FWaiting = false;
    if (FHandler && Application) Application->OnIdle = [H = FHandler](TObject*, bool& Done) { H(Done); };
  }
  TApplication* FHooked = nullptr;
  std::map<void*, std::function<void(bool)>> FHandlers;
  TIdleHandler FHandler;
  TTimer* FWake = nullptr;
  bool FWaiting = false;
};

}  // namespace

TDXTimerHost* ApplicationTimerHost() {
  static TApplicationTimerHost host;
  return &host;
}
#else
TDXTimerHost* ApplicationTimerHost() { return nullptr; }
#endif

TCustomDXTimer::TCustomDXTimer(TComponent* AOwner, TDXTimerHost* Host, std::function<uint32_t()> Clock)
    : TComponent(AOwner), FHost(Host ? Host : ApplicationTimerHost()), FClock(std::move(Clock)) {
  if (!FClock) FClock = [] { return GetTickCount(); };
  if (FHost) FHost->AddActivationHandler(this, [this](bool A) { ActivationChanged(A); });
  // Enabled from creation: a timer made at run time starts at once (one read from a stream waits
  // for Loaded).
  if (!HasState(csLoading | csReading)) Install();
}

TCustomDXTimer::~TCustomDXTimer() {
  Remove();
  if (FHost) FHost->RemoveActivationHandler(this);
}

void TCustomDXTimer::SetInterval(int Value) {
  if (Value == FInterval) return;
  FInterval = Value;
  FThreshold = std::max(Value, 0);
  FDivisor = std::max(Value, 1);
}

void TCustomDXTimer::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  if (HasState(csLoading | csReading)) return;
  if (Value)
    Install();
  else
    Remove();
}

void TCustomDXTimer::SetActiveOnly(bool Value) {
  if (Value == FActiveOnly) return;
  FActiveOnly = Value;
  if (FHost && !FHost->Active() && FInstalled && FActiveOnly) Stop();
}

void TCustomDXTimer::Loaded() {
  TComponent::Loaded();
  if (!HasState(csDesigning) && FEnabled) Install();
}

void TCustomDXTimer::Install() {
  Remove();
  if (!FActiveOnly || (FHost && FHost->Active())) Start();
  FInstalled = true;
}

void TCustomDXTimer::Remove() {
  if (!FInstalled) return;
  Stop();
  FInstalled = false;
}

void TCustomDXTimer::Start() {
  FLastTime = FRateStart = FClock();  // a restart never fires a burst of lag
  FRunning = true;
  if (FHost) FHost->SetIdleHandler([this](bool& Done) { IdleStep(Done); });
}

void TCustomDXTimer::Stop() {
  if (!FRunning) return;
  FRunning = false;
  if (FHost) FHost->SetIdleHandler(nullptr);
}

void TCustomDXTimer::ActivationChanged(bool Active) {
  if (Active) {
    DoActivate();
    if (FInstalled && FActiveOnly) Start();
  } else {
    DoDeactivate();
    if (FInstalled && FActiveOnly) Stop();
  }
}

void TCustomDXTimer::IdleStep(bool& Done) {
  Done = false;
  const uint32_t now = FClock();
  const uint32_t elapsed = now - FLastTime;
  if (elapsed < static_cast<uint32_t>(FThreshold)) {
    WaitForNextTick(now);
    Done = FWaiting;
    return;
  }
  FLastTime = now;
  const int lag = static_cast<int>(std::max<uint32_t>(elapsed / static_cast<uint32_t>(FDivisor), 1u));
  ++FFrameCounter;
  const uint32_t span = std::max<uint32_t>(now - FRateStart, 1u);
  if (span >= 1000) {
    FFrameRate = static_cast<int>(std::nearbyint(FFrameCounter * 1000.0 / span));
    FFrameCounter = 0;
    FRateStart = now;
  }
  DoTimer(lag);
  if (FRunning) {
    WaitForNextTick(FClock());
    Done = FWaiting;
  }
}

void TCustomDXTimer::WaitForNextTick(uint32_t Now) {
  FWaiting = false;
  const uint32_t elapsed = Now - FLastTime;
  if (!FHost || elapsed >= static_cast<uint32_t>(FThreshold)) return;
  FWaiting = FHost->WaitFor(static_cast<uint32_t>(FThreshold) - elapsed);
}

void TCustomDXTimer::DoActivate() {
  if (OnActivate) OnActivate(this);
}
void TCustomDXTimer::DoDeactivate() {
  if (OnDeactivate) OnDeactivate(this);
}
void TCustomDXTimer::DoTimer(int LagCount) {
  if (OnTimer) OnTimer(this, LagCount);
}
