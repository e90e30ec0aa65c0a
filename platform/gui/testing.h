// Helpers for tests and tools: drive forms headless through the same input path as real
// input, and look at what they show.
#pragma once

#include <string>

#include "platform/gui/controls.h"

namespace vxtest {

// Handles pending events (queued calls, paint passes, deferred frees) a few rounds.
void Pump(int rounds = 4);

// Key events go to the control's window (the focused widget when target is nullptr).
// text is UTF-8: what the keyboard layout produced for the key (empty for function keys).
void KeyDown(TWinControl* target, uint16_t vk, const std::string& text = "", TShiftState shift = 0,
             bool altGr = false);
void KeyUp(TWinControl* target, uint16_t vk, TShiftState shift = 0);
// Down and up of one key.
void KeyStroke(TWinControl* target, uint16_t vk, const std::string& text = "", TShiftState shift = 0,
               bool altGr = false);
// Types UTF-8 text character by character (letters, digits, blanks, punctuation; Polish letters
// as AltGr presses).
void TypeText(TWinControl* target, const std::string& utf8);

// Mouse input at client coordinates of the control (a window-less control's parent receives it).
void MouseDown(TControl* c, int x, int y, TMouseButton b = mbLeft, TShiftState shift = 0);
void MouseUp(TControl* c, int x, int y, TMouseButton b = mbLeft, TShiftState shift = 0);
void MouseMove(TControl* c, int x, int y, TShiftState shift = 0);
void Click(TControl* c, int x, int y);
void DoubleClick(TControl* c, int x, int y);
void Wheel(TControl* c, int x, int y, int delta);

// What the control shows on screen (its buffer and its windowed children), painted first.
void Grab(TWinControl* c, TBitmap* out);
bool SaveGrabPng(TWinControl* c, const std::string& fileName);
// True when the window of c holds the keyboard focus.
bool HasFocus(TWinControl* c);

}  // namespace vxtest
