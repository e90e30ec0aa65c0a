// Base of the framework's wrappers of its device objects (sound here; display objects alike): the
// last result code of an operation, and a check that runs whenever a failure code is stored.
#pragma once

#include <cstdint>

#include "platform/core/classes.h"

// Result codes the stand-in devices report.
constexpr int32_t dxOK = 0;
constexpr int32_t dxErrGeneric = static_cast<int32_t>(0x80004005u);
constexpr int32_t dxErrBufferLost = static_cast<int32_t>(0x88780096u);

class TDirectX : public TPersistent {
 public:
  std::string ClassName() const override { return "TDirectX"; }
  int32_t DXResult() const { return FDXResult; }
  // Stores the code; a non-zero code runs Check.
  void SetDXResult(int32_t Value) {
    FDXResult = Value;
    if (Value != dxOK) Check();
  }

 protected:
  virtual void Check() {}

 private:
  int32_t FDXResult = dxOK;
};

// How the framework recognises a form among a component's owners (the devices are attached to the
// form's window). Built with the GUI layer, a form is a TForm; without it the nearest owner counts as
// the form. A test may install its own rule (nullptr puts the built-in one back).
using TDXFormTest = bool (*)(const TComponent* Component);
void SetDXFormTest(TDXFormTest Test);
// The first owner of Component (walking up the owner chain) that is a form; nullptr when none.
TComponent* DXFindOwnerForm(const TComponent* Component);
