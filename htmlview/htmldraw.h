#pragma once
// Drawing helpers of the viewer: frames of printed form controls, raised and sunken rectangles,
// word-wrapped text in a rectangle.

#include <string>

#include "platform/gui/graphics.h"

// Monochrome: a black one-pixel frame (printing on a black-and-white device).
void DrawControlFrame(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, bool Raised, bool Monochrome);
// Printing and Monochrome describe the device; Background is the document's background colour.
void DrawRaisedRect(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, bool Raised, bool Printing, bool Monochrome,
                    TColor Background);
void DrawRaisedRectColors(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, bool Raised, TColor Light, TColor Dark);
void WrapTextInRect(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, const std::string& Text);
int TextExtentX(TCanvas* Canvas, const std::string& Text, int Count);
