// What the 32-bit bitmap offers together with the GUI layer (bitmaps32_gui.cpp); the members that
// exchange pictures with TBitmap and TCanvas are declared in bitmaps32.h.
#pragma once

#include "controls/blend32.h"
#include "platform/gui/graphics.h"

// A colour 0x00BBGGRR (system colours resolved first) as an opaque TColor32 0xFFRRGGBB.
TColor32 ColorToColor32(TColor Color);
