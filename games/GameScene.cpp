#include "games/GameScene.h"

namespace {
constexpr unsigned kEraseBackgroundMessage = 0x0014;
}  // namespace

void TGameScene::HookKeys() {
  if (FHooked || !Application) return;
  SavedOnMessage = Application->OnMessage;
  Application->OnMessage = [this](TMsg& Msg, bool& Handled) { HookMessage(Msg, Handled); };
  FHooked = true;
}

void TGameScene::RestoreHook() {
  if (!FHooked) return;
  FHooked = false;
  if (Application) Application->OnMessage = SavedOnMessage;
}

void TGameScene::HookMessage(TMsg& Msg, bool& Handled) {
  if (Msg.message == WM_KEYDOWN) {
    KeyDownMessage(static_cast<uint16_t>(Msg.wParam));
  } else if (Msg.message == WM_CHAR) {
    CharMessage(static_cast<uint8_t>(Msg.wParam));
  } else if (SavedOnMessage) {
    SavedOnMessage(Msg, Handled);
  }
}

void TGameScene::WndProc(TMessage& M) {
  if (M.Msg == kEraseBackgroundMessage) {
    M.Result = 1;
    return;
  }
  TWinControl::WndProc(M);
}
