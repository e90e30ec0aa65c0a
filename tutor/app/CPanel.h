// The page panel of the host window: it shows one page (a borderless form) over its whole client
// area and paints nothing itself, so the page under it is never erased first.
#pragma once

#include "platform/gui/controls.h"

class TClearPanel : public TCustomControl {
 public:
  explicit TClearPanel(TComponent* AOwner);
  ~TClearPanel() override;
  std::string ClassName() const override { return "TClearPanel"; }

  TForm* ClientForm() const { return FClientForm; }
  // Hides the page shown now (it is not freed) and shows F in the panel. nullptr only hides the
  // current page and keeps the property as it was.
  void SetClientForm(TForm* F);

  void Paint() override {}

 protected:
  // A page freed by its own close must not stay the panel's client form.
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TForm* FClientForm = nullptr;
};
