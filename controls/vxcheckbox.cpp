#include "controls/vxcheckbox.h"

TVxCheckbox::TVxCheckbox(TComponent* AOwner) : TSkinControl(AOwner) {
  for (auto& P : FPictures) P = std::make_unique<TBitmap>();
  SetBounds(0, 0, 50, 50);
  FPictures[piUnchecked]->OnChange = [this](TObject*) { NormalPictureChanged(); };
  FPictures[piOverUnchecked]->OnChange = [this](TObject*) { OverPictureChanged(); };
  for (TPictureIndex I : {piChecked, piOverChecked, piDisabled}) FPictures[I]->OnChange = [this](TObject*) { Invalidate(); };
}

TVxCheckbox::~TVxCheckbox() {
  for (auto& P : FPictures) P->OnChange = nullptr;
}

void TVxCheckbox::SetChecked(bool Value) {
  if (Value == FChecked) return;
  FChecked = Value;
  FState = Value ? csChecked : csUnchecked;
  Invalidate();
}

void TVxCheckbox::SetEnabled(bool Value) {
  if (Value == FEnabledFlag) return;
  FEnabledFlag = Value;
  FState = Value ? csUnchecked : csDisabledState;
  Invalidate();
}

void TVxCheckbox::LoadAll() {
  for (int I = 0; I < piCount; ++I) LoadSkinPicture(Archive(), FPictures[I].get(), FNames[I]);
}

void TVxCheckbox::Paint() {
  TPictureIndex Shown = piUnchecked, Fallback = piUnchecked;
  if (FState == csDisabledState) {
    Shown = piDisabled;
  } else if (FState == csUnchecked) {
    Shown = FMouseInside ? piOverUnchecked : piUnchecked;
  } else {
    Shown = FMouseInside ? piOverChecked : piChecked;
    Fallback = piChecked;
  }
  const TBitmap* P = FPictures[Shown].get();
  if (P->Empty()) P = FPictures[Fallback].get();
  PaintSkin(P, FState == csChecked);
}

void TVxCheckbox::MouseMove(TShiftState Shift, int X, int Y) {
  TSkinControl::MouseMove(Shift, X, Y);
  const bool Was = FMouseInside;
  FMouseInside = IsOpaqueAt(X, Y);
  if (FMouseInside != Was) RefreshHover();
}

void TVxCheckbox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TSkinControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && FEnabledFlag && IsOpaqueAt(X, Y)) {
    FMouseInside = true;
    Repaint();
  }
}

void TVxCheckbox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TSkinControl::MouseUp(Button, Shift, X, Y);
  if (!IsOpaqueAt(X, Y)) return;
  FMouseInside = true;
  if (FState == csUnchecked) FState = csChecked;
  else if (FState == csChecked) FState = csUnchecked;
  Click();
  Repaint();
}

void TVxCheckbox::MouseLeave() {
  const bool Was = FMouseInside;
  FMouseInside = false;
  if (Was) RefreshHover();
}
