#include <gtest/gtest.h>

#include "dx/dxsound.h"
#include "dx/tests/dx_test_util.h"
#include "platform/gui/controls.h"

// The sound component attaches to the first real form among its owners.
TEST(DXSoundForm, FindsTheOwningForm) {
  TAudioDriverScope driver("dummy");
  SetDXFormTest(nullptr);
  TForm* form = new TForm(nullptr);
  TComponent* holder = new TComponent(form);
  TDXSound* sound = new TDXSound(holder);
  sound->Initialize();
  EXPECT_TRUE(sound->Initialized());
  EXPECT_EQ(sound->Form(), form);

  TComponent* loose = new TComponent(nullptr);
  TDXSound* homeless = new TDXSound(loose);
  try {
    homeless->Initialize();
    ADD_FAILURE() << "initialized without a form";
  } catch (const EDXSoundError& e) {
    EXPECT_EQ(e.Message(), "Form not found");
  }
  delete loose;
  delete form;
}
