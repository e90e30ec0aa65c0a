#include "controls/vxbutton.h"

// ---- TCustomSkinButton ----------------------------------------------------------------------------

TCustomSkinButton::TCustomSkinButton(TComponent* AOwner)
    : TSkinControl(AOwner),
      FPictureUp(std::make_unique<TBitmap>()),
      FPictureDown(std::make_unique<TBitmap>()),
      FPictureOver(std::make_unique<TBitmap>()),
      FPictureDisabled(std::make_unique<TBitmap>()) {
  SetBounds(0, 0, 50, 50);
  FPictureUp->OnChange = [this](TObject*) { NormalPictureChanged(); };
  FPictureOver->OnChange = [this](TObject*) { OverPictureChanged(); };
  FPictureDown->OnChange = [this](TObject*) { Invalidate(); };
  FPictureDisabled->OnChange = [this](TObject*) { Invalidate(); };
}

TCustomSkinButton::~TCustomSkinButton() {
  for (TBitmap* B : {FPictureUp.get(), FPictureDown.get(), FPictureOver.get(), FPictureDisabled.get()})
    B->OnChange = nullptr;
}

void TCustomSkinButton::SetEnabled(bool Value) {
  if (Value == FEnabledFlag) return;
  FEnabledFlag = Value;
  FState = Value ? bsNormal : bsDisabled;
  Invalidate();
  if (DisablesInput()) TSkinControl::SetEnabled(Value);
}

void TCustomSkinButton::Paint() {
  TBitmap* Picture = FPictureUp.get();
  if (FState == bsDisabled) Picture = FPictureDisabled.get();
  else if (FState == bsPressed) Picture = FPictureDown.get();
  else if (FMouseInside) Picture = FPictureOver.get();
  if (Picture->Empty()) Picture = FPictureUp.get();
  PaintSkin(Picture, FState == bsPressed);
}

void TCustomSkinButton::MouseMove(TShiftState Shift, int X, int Y) {
  TSkinControl::MouseMove(Shift, X, Y);
  const bool Was = FMouseInside;
  FMouseInside = IsOpaqueAt(X, Y);
  if (FMouseInside != Was && FState != bsPressed) {
    RefreshHover();
    if (FMouseInside && OnMouseEnter) OnMouseEnter(this);
  }
}

void TCustomSkinButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TSkinControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && FEnabledFlag && IsOpaqueAt(X, Y)) {
    FState = bsPressed;
    Repaint();
  }
}

void TCustomSkinButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TSkinControl::MouseUp(Button, Shift, X, Y);
  const bool Hit = IsOpaqueAt(X, Y);
  if (FState == bsPressed) {
    FState = bsNormal;
    Repaint();
    RefreshHover();
  }
  if (Hit) {
    FMouseInside = true;
    Click();
  }
}

void TCustomSkinButton::MouseLeave() {
  FMouseInside = false;
  if (FState != bsPressed) RefreshHover();
  if (OnMouseLeave) OnMouseLeave(this);
}

// ---- TVxButton ------------------------------------------------------------------------------------

void TVxButton::LoadAll() {
  LoadSkinPicture(Archive(), PictureDown(), FNameDownS);
  LoadSkinPicture(Archive(), PictureUp(), FNameUpS);
  LoadSkinPicture(Archive(), PictureOver(), FNameOverS);
  LoadSkinPicture(Archive(), PictureDisabled(), FNameDisabledS);
}
