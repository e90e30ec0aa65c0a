#include "dx/directx.h"

namespace {
TDXFormTest GFormTest = nullptr;
}

void SetDXFormTest(TDXFormTest Test) { GFormTest = Test; }

TComponent* DXFindOwnerForm(const TComponent* Component) {
  if (Component == nullptr) return nullptr;
  if (GFormTest == nullptr) return Component->Owner();
  for (TComponent* c = Component->Owner(); c != nullptr; c = c->Owner())
    if (GFormTest(c)) return c;
  return nullptr;
}
