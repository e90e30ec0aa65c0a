// A fresh application object per test: the layer consults the global Application, and a test
// that terminates it must not end the loops of the tests after it.
#pragma once

#include <gtest/gtest.h>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/testing.h"

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Application;
    Application = new TApplication(nullptr);
    Application->Initialize();
  }
  void TearDown() override {
    vxtest::Pump();
    delete Application;
    Application = saved_;
    vxtest::Pump();
  }
  // A visible top-level form owned by the test's application.
  TForm* NewForm(int w = 300, int h = 200) {
    TForm* f = new TForm(Application);
    f->SetBounds(10, 10, w, h);
    f->Show();
    vxtest::Pump();
    return f;
  }

 private:
  TApplication* saved_ = nullptr;
};
