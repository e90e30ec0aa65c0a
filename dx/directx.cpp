#include "dx/directx.h"

#ifdef VXDX_HAVE_GUI
#include "platform/gui/controls.h"
#endif

namespace {
TDXFormTest GFormTest = nullptr;
}

void SetDXFormTest(TDXFormTest Test) { GFormTest = Test; }

TComponent* DXFindOwnerForm(const TComponent* Component) {
  if (Component == nullptr) return nullptr;
  TDXFormTest test = GFormTest;
#ifdef VXDX_HAVE_GUI
  if (test == nullptr) test = [](const TComponent* C) { return dynamic_cast<const TForm*>(C) != nullptr; };
#endif
  if (test == nullptr) return Component->Owner();
  for (TComponent* c = Component->Owner(); c != nullptr; c = c->Owner())
    if (test(c)) return c;
  return nullptr;
}
