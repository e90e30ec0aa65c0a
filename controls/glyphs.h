// The small pictures the extended controls draw with, made in code: the spin button's arrows, the
// slider's thumbs and rulers, the font picker's type marks, the file-name edit's button picture and
// the two hand cursors. Names are looked up without regard to case.
#pragma once

#include <string>
#include <vector>

#include "platform/gui/graphics.h"

// A new bitmap holding the named picture, or nullptr when there is no picture of that name:
//   "RXSPINUP", "RXSPINDOWN"      6 x 6, monochrome (white is the background)
//   "W95_HTB" 18 x 17, "W95_HRL" 10 x 8, "W95_VTB" 38 x 9, "W95_VRL" 8 x 10 (slider; the thumbs hold
//                                 a normal and a pressed frame side by side)
//   "TRUETYPE_FNT", "DEVICE_FNT"  20 x 12
//   "FEDITBMP"                    14 x 12
// The background of the colour pictures is fuchsia, which is also their transparent colour.
TBitmap* CreateBuiltinBitmap(const std::string& Name);

// The picture of a named cursor ("RX_HANDCUR", "RX_DRAGCUR"): black and white pixels on a fuchsia
// background (the bottom-left pixel), with its hot spot; nullptr for an unknown name.
TBitmap* CreateBuiltinCursor(const std::string& Name, int& HotX, int& HotY);

// Every picture name CreateBuiltinBitmap knows.
std::vector<std::string> BuiltinBitmapNames();
