// A fresh application object per test for the extended controls, and a visible form to put them on.
#pragma once

#include <gtest/gtest.h>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/testing.h"

class ExtControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Saved = Application;
    Application = new TApplication(nullptr);
    Application->Initialize();
  }
  void TearDown() override {
    vxtest::Pump();
    delete Application;
    Application = Saved;
    vxtest::Pump();
  }
  TForm* NewForm(int W = 320, int H = 200) {
    TForm* F = new TForm(Application);
    F->SetBounds(10, 10, W, H);
    F->Show();
    vxtest::Pump();
    return F;
  }
  // The form's default button, counting its clicks in Clicks.
  TButton* AddDefaultButton(TForm* F, int& Clicks) {
    auto* Ok = new TButton(F);
    Ok->SetParent(F);
    Ok->SetBounds(10, 100, 75, 25);
    Ok->SetDefault(true);
    Ok->OnClick = [&Clicks](TObject*) { ++Clicks; };
    return Ok;
  }

 private:
  TApplication* Saved = nullptr;
};
