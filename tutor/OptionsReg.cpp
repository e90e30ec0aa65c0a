#include "tutor/OptionsReg.h"

#include "tutor/fmELog.h"

TPrgReg* PrgReg = nullptr;

TPrgReg* CreatePrgReg() {
  SetErrorSection("TPrgReg.Create");
  FreePrgReg();
  PrgReg = new TPrgReg();
  return PrgReg;
}

void FreePrgReg() {
  delete PrgReg;
  PrgReg = nullptr;
}
