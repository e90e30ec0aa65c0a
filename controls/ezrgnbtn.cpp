#include "controls/ezrgnbtn.h"

namespace {
// The picture's pixels: its bitmap, or the decoded bitmap of a JPEG picture.
const TBitmap* BitmapOf(const TPicture* P) {
  if (!P || !P->Graphic()) return nullptr;
  if (auto* B = dynamic_cast<const TBitmap*>(P->Graphic())) return B;
  if (auto* J = dynamic_cast<const TJPEGImage*>(P->Graphic())) return J->Bitmap();
  return nullptr;
}
}  // namespace

TEzRgnBtn::TEzRgnBtn(TComponent* AOwner)
    : TCustomControl(AOwner),
      FPicIdle(std::make_unique<TPicture>()),
      FPicDown(std::make_unique<TPicture>()),
      FPicDsbld(std::make_unique<TPicture>()),
      FPicUp(std::make_unique<TPicture>()) {
  SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks);
  FRepeatTimer = new TTimer(this);
  FRepeatTimer->SetInterval(300);
  FRepeatTimer->SetEnabled(false);
  FRepeatTimer->OnTimer = [this](TObject*) { Click(); };
  for (TPicture* P : {FPicIdle.get(), FPicDown.get(), FPicDsbld.get(), FPicUp.get()})
    P->OnChange = [this](TObject*) { RepaintNow(); };
  SetBounds(Left(), Top(), 15, 15);
}

TEzRgnBtn::~TEzRgnBtn() {
  for (TPicture* P : {FPicIdle.get(), FPicDown.get(), FPicDsbld.get(), FPicUp.get()}) P->OnChange = nullptr;
  FRepeatTimer->OnTimer = nullptr;
}

void TEzRgnBtn::SetAutoRepeat(bool Value) {
  FAutoRepeat = Value;
  UpdateRepeatTimer();
}

void TEzRgnBtn::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  RepaintNow();
}

void TEzRgnBtn::SetPicIdle(const TPicture* Value) {
  FPicIdle->Assign(Value);
  // A cropped button takes the shape of its new idle picture.
  if (FRegionApplied) RemoveRegion();
  if (FPaintMode == pmCrop) ApplyRegion();
  RepaintNow();
}

void TEzRgnBtn::SetPaintMode(TPaintMode Value) {
  if (Value == FPaintMode) return;
  if (FPaintMode == pmCrop) RemoveRegion();
  FPaintMode = Value;
  if (FPaintMode == pmCrop) ApplyRegion();
  RepaintNow();
}

TPicture* TEzRgnBtn::CurrentPicture() const {
  if (FMouseDown && FMouseInside && FEnabled && FPicDown->Graphic()) return FPicDown.get();
  if (FMouseInside && !FMouseDown && FEnabled && FPicUp->Graphic()) return FPicUp.get();
  if (!FEnabled && FPicDsbld->Graphic()) return FPicDsbld.get();
  return FPicIdle.get();
}

// The size follows the picture about to be shown, then the button paints at once.
void TEzRgnBtn::RepaintNow() {
  const TPicture* P = CurrentPicture();
  if (P->Graphic() && (P->Width() != Width() || P->Height() != Height()))
    SetBounds(Left(), Top(), P->Width(), P->Height());
  Repaint();
}

void TEzRgnBtn::Paint() {
  TCustomControl::Paint();
  const TBitmap* B = BitmapOf(CurrentPicture());
  if (!B || B->Empty()) return;
  TCanvas* C = Canvas();
  if (FPaintMode == pmTransparent) {
    // The key colour (the top-left pixel's) is left out: the control's background shows there.
    TBitmap Keyed;
    Keyed.Assign(B);
    Keyed.SetTransparentColor(B->PixelColor(0, 0));
    Keyed.SetTransparent(true);
    C->Draw(0, 0, &Keyed);
  } else {
    C->Draw(0, 0, const_cast<TBitmap*>(B));
  }
}

void TEzRgnBtn::ApplyRegion() {
  if (FPaintMode != pmCrop || FRegionApplied) return;
  const TBitmap* B = BitmapOf(FPicIdle.get());
  if (!B) return;
  const TRegion Shape = TRegion::FromMask(*B, B->PixelColor(0, 0));
  SetWindowRegion(&Shape);
  FRegionApplied = true;
}

void TEzRgnBtn::RemoveRegion() {
  const TRegion Whole(TRect(0, 0, FPicIdle->Width(), FPicIdle->Height()));
  SetWindowRegion(&Whole);
  FRegionApplied = false;
}

void TEzRgnBtn::UpdateRepeatTimer() { FRepeatTimer->SetEnabled(FAutoRepeat && FMouseInside && FMouseDown); }

void TEzRgnBtn::Fire(const TOnMouseEvent& Event, unsigned Msg, TShiftState Keys, int X, int Y) {
  if (!Event) return;
  TWMMouse M;
  M.Msg = Msg;
  M.Keys = Keys;
  M.XPos = X;
  M.YPos = Y;
  Event(M);
}

void TEzRgnBtn::Click() {
  if (FEnabled) TCustomControl::Click();
}

void TEzRgnBtn::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || (Shift & ssDouble)) return;
  FMouseDown = true;
  RepaintNow();
  Fire(OnMouseDown, WM_LBUTTONDOWN, Shift, X, Y);
  UpdateRepeatTimer();
}

void TEzRgnBtn::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  FMouseDown = false;
  RepaintNow();
  Fire(OnMouseUp, WM_LBUTTONUP, Shift, X, Y);
  UpdateRepeatTimer();
}

void TEzRgnBtn::MouseEnter() {
  if (FMouseInside) return;
  FMouseInside = true;
  RepaintNow();
  Fire(OnMouseEnter, CM_MOUSEENTER, 0, 0, 0);
  UpdateRepeatTimer();
}

void TEzRgnBtn::MouseLeave() {
  FMouseInside = false;
  RepaintNow();
  Fire(OnMouseLeave, CM_MOUSELEAVE, 0, 0, 0);
  UpdateRepeatTimer();
}
