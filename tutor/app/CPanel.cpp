#include "tutor/app/CPanel.h"

TClearPanel::TClearPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csOpaque | csDoubleClicks);
  SetBounds(0, 0, 185, 41);
  SetEraseBackground(false);
}

TClearPanel::~TClearPanel() {
  if (FClientForm) FClientForm->RemoveFreeNotification(this);
}

void TClearPanel::SetClientForm(TForm* F) {
  if (FClientForm) FClientForm->Hide();
  if (!F) return;
  if (FClientForm && FClientForm != F) FClientForm->RemoveFreeNotification(this);
  FClientForm = F;
  F->FreeNotification(this);
  F->SetBorderStyle(bsNone);
  F->SetParent(this);
  F->SetBounds(0, 0, ClientWidth(), ClientHeight());
  F->Show();
  F->BringToFront();
}

void TClearPanel::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FClientForm) FClientForm = nullptr;
}
