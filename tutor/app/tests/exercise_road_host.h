// A host window for the exercise pages in tests: it shows one page at a time over its client
// area, keeps the return page, records every activity report and passes it to the data module.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/gui/controls.h"
#include "tutor/core/PageHost.h"

class TTestHost : public TForm, public TPageHost {
 public:
  explicit TTestHost(TComponent* AOwner);
  ~TTestHost() override;

  void ShowPage(TPageId Page) override;
  TForm* FindPage(TPageId Page) const override;
  void SetReturnPage(TForm* Page) override;
  void ShowReturnPage() override;
  TForm* ReturnPage() const override { return FReturn; }
  TForm* HostForm() override { return this; }
  TDXDraw* Display() override { return nullptr; }
  TDXSpriteEngine* SpriteEngine() override { return nullptr; }
  TDXSound* Sound() override { return FSound; }
  TDXWaveList* WaveList() override { return nullptr; }
  void Ping(const std::string& Info1, const std::string& Info2 = "", const std::string& Info3 = "") override;
  int CurrentStudent() const override;
  int CurrentGroup() const override;
  bool InFullScreen() const override { return false; }
  void EnterFullScreenIfNot() override {}
  void LeaveFullScreenIfSet() override {}

  // The page on view, or nullptr.
  TForm* Shown() const { return FShown; }
  void SetSound(TDXSound* Sound) { FSound = Sound; }
  // Info1|Info2 of every report, in order.
  std::vector<std::string> Pings;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void Present(TForm* Page);
  std::map<TPageId, TForm*> FPages;
  TForm* FReturn = nullptr;
  TForm* FShown = nullptr;
  TDXSound* FSound = nullptr;
};
