#include "htmlview/htmldraw.h"

#include <algorithm>

namespace {

void RectLines(TCanvas* C, int X1, int Y1, int X2, int Y2, TColor UpperLeft, TColor LowerRight) {
  C->Pen()->SetColor(UpperLeft);
  C->MoveTo(X1, Y2);
  C->LineTo(X1, Y1);
  C->LineTo(X2, Y1);
  C->Pen()->SetColor(LowerRight);
  C->LineTo(X2, Y2);
  C->LineTo(X1, Y2);
}

}  // namespace

void DrawControlFrame(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, bool Raised, bool Monochrome) {
  if (!Canvas) return;
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(clWhite);
  Canvas->FillRect(TRect(X1, Y1, X2 - 1, Y2 - 1));
  Canvas->Pen()->SetStyle(psInsideFrame);
  if (Monochrome) {
    Canvas->Pen()->SetWidth(1);
    RectLines(Canvas, X1, Y1, X2 - 1, Y2 - 1, clBlack, clBlack);
  } else {
    Canvas->Pen()->SetWidth(2);
    const TColor Upper = Raised ? clSilver : clBtnShadow, Lower = Raised ? clBtnShadow : clSilver;
    RectLines(Canvas, X1, Y1, X2 - 1, Y2 - 1, Upper, Lower);
  }
  Canvas->Pen()->SetWidth(1);
  Canvas->Pen()->SetStyle(psSolid);
}

void DrawRaisedRectColors(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, bool Raised, TColor Light, TColor Dark) {
  if (!Canvas) return;
  // Rectangles far outside the window are cut so that huge coordinates never reach the device.
  Y1 = std::max(Y1, -200);
  Y2 = std::min(Y2, 3000);
  RectLines(Canvas, X1, Y1, X2, Y2, Raised ? Light : Dark, Raised ? Dark : Light);
}

void DrawRaisedRect(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, bool Raised, bool Printing, bool Monochrome,
                    TColor Background) {
  if (Printing && Monochrome) {
    DrawRaisedRectColors(Canvas, X1, Y1, X2, Y2, Raised, clBlack, clBlack);
    return;
  }
  const TColor Bg = ColorToRGB(Background) & 0xFFFFFF;
  const bool WhiteBack = Printing || Bg == 0xFFFFFF || (Background == clWindow && (ColorToRGB(clWindow) & 0xFFFFFF) == 0xFFFFFF);
  const TColor Light = WhiteBack ? clSilver : clBtnHighlight;
  DrawRaisedRectColors(Canvas, X1, Y1, X2, Y2, Raised, Light, clBtnShadow);
}

void WrapTextInRect(TCanvas* Canvas, int X1, int Y1, int X2, int Y2, const std::string& Text) {
  if (!Canvas) return;
  const TBrushStyle Saved = Canvas->Brush()->Style();
  Canvas->Brush()->SetStyle(bsClear);
  Canvas->SetTextAlign(TA_LEFT | TA_TOP);
  const int LineHeight = Canvas->TextHeight("A");
  const int Width = X2 - X1;
  int Y = Y1;
  std::string Line;
  auto Flush = [&]() {
    if (Y + LineHeight > Y2) return false;
    Canvas->TextRect(TRect(X1, Y, X2, Y + LineHeight), X1, Y, Line);
    Y += LineHeight;
    return true;
  };
  size_t P = 0;
  bool Room = true;
  while (P < Text.size() && Room) {
    size_t E = Text.find(' ', P);
    std::string Word = Trim(Text.substr(P, E == std::string::npos ? std::string::npos : E - P));
    P = E == std::string::npos ? Text.size() : E + 1;
    if (Word.empty()) continue;
    std::string Candidate = Line.empty() ? Word : Line + " " + Word;
    if (Line.empty() || Canvas->TextWidth(Candidate) <= Width) {
      Line = Candidate;
    } else {
      Room = Flush();
      Line = Word;
    }
  }
  if (Room && !Line.empty()) Flush();
  Canvas->Brush()->SetStyle(Saved);
}

int TextExtentX(TCanvas* Canvas, const std::string& Text, int Count) {
  if (!Canvas || Count <= 0) return 0;
  return Canvas->TextWidth(Text.substr(0, static_cast<size_t>(std::min<int>(Count, static_cast<int>(Text.size())))));
}
