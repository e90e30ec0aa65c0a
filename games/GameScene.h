#pragma once
// What both game scenes share: they take the keys from the application's message hook, ahead of
// any control (so a space never clicks a button), and leave the erasing of their window to the
// frame they draw.

#include <cstdint>

#include "platform/gui/controls.h"

class TGameScene : public TWinControl {
 public:
  explicit TGameScene(TComponent* AOwner) : TWinControl(AOwner) {}
  ~TGameScene() override { RestoreHook(); }

  // The key handlers the hook calls: a key going down, and the character it typed.
  virtual void KeyDownMessage(uint16_t Key) = 0;
  virtual void CharMessage(uint8_t Code) = 0;

 protected:
  // Puts the scene in front of the application's message hook; RestoreHook gives the hook back.
  // Both may be called more than once.
  void HookKeys();
  void RestoreHook();
  void WndProc(TMessage& Message) override;

 private:
  void HookMessage(TMsg& Msg, bool& Handled);
  TMessageEvent SavedOnMessage;
  bool FHooked = false;
};
