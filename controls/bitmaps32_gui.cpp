// The 32-bit bitmap's exchange with the platform's pictures and canvases.
#include "controls/bitmaps32.h"
#include "controls/bitmaps32_gui.h"
#include "platform/gui/graphics.h"

TColor32 ColorToColor32(TColor Color) { return RGBToColor32(static_cast<uint32_t>(ColorToRGB(Color)) & 0xFFFFFF); }

void TBitmap32::LoadFromStream(TStream* Stream) {
  Changing();
  TBitmap Temp;
  Temp.LoadFromStream(Stream);
  Assign(&Temp);
  Changed();
}

void TBitmap32::Assign(const TBitmap* Source) {
  ChangeWithinUpdate(*this, [&] {
    if (!Source) {
      SetSize(0, 0);
      return;
    }
    SetSize(Source->Width(), Source->Height());
    for (int Y = 0; Y < FHeight; ++Y) {
      const uint32_t* From = Source->ScanLine(Y);
      TColor32* To = ScanLine(Y);
      for (int X = 0; X < FWidth; ++X) To[X] = From[X] | 0xFF000000u;
    }
  });
}

void TBitmap32::AssignTo(TBitmap* Dest) const {
  Dest->SetPixelFormat(pf32bit);
  Dest->SetSize(FWidth, FHeight);
  for (int Y = 0; Y < FHeight; ++Y) {
    const TColor32* From = ScanLine(Y);
    uint32_t* To = Dest->ScanLine(Y);
    for (int X = 0; X < FWidth; ++X) To[X] = From[X];
  }
}

void TBitmap32::DrawToCanvas(TCanvas* Canvas, int X, int Y) const {
  if (Empty() || !Canvas) return;
  TBitmap Temp;
  AssignTo(&Temp);
  BitBlt(Canvas, X, Y, FWidth, FHeight, Temp.Canvas(), 0, 0, SRCCOPY);
}
