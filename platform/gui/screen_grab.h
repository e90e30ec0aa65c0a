// What the screen shows, for tests and tools that check full screen: the desktop as black with
// every visible top-level form painted where it lies, a full-screen form as its full-screen
// window shows it (centred, or enlarged on black).
#pragma once

#include "platform/gui/graphics.h"

namespace vxtest {

// The whole primary screen, at its size.
void GrabScreen(TBitmap* out);

}  // namespace vxtest
