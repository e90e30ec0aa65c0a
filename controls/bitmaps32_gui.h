// What the 32-bit bitmap offers together with the GUI layer (bitmaps32_gui.cpp); the members that
// exchange pictures with TBitmap and TCanvas are declared in bitmaps32.h.
#pragma once

#include "controls/blend32.h"
#include "platform/gui/graphics.h"

// A colour 0x00BBGGRR (system colours resolved first) as an opaque TColor32 0xFFRRGGBB.
TColor32 ColorToColor32(TColor Color);

// Runs Work inside an update of Target (BeginUpdate before, EndUpdate after, also when Work
// throws), so that Target announces nothing while Work changes it.
template <class T, class F>
void WithinUpdate(T& Target, F&& Work) {
  Target.BeginUpdate();
  try {
    Work();
  } catch (...) {
    Target.EndUpdate();
    throw;
  }
  Target.EndUpdate();
}

// The same, announced once around the whole change: Changing before, Changed after.
template <class T, class F>
void ChangeWithinUpdate(T& Target, F&& Work) {
  Target.Changing();
  WithinUpdate(Target, Work);
  Target.Changed();
}
