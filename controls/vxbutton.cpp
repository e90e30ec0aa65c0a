#include "controls/vxbutton.h"

// ---- TCustomSkinButton ----------------------------------------------------------------------------

TCustomSkinButton::TCustomSkinButton(TComponent* AOwner)
    : TGraphicControl(AOwner),
      FPictureUp(std::make_unique<TBitmap>()),
      FPictureDown(std::make_unique<TBitmap>()),
      FPictureOver(std::make_unique<TBitmap>()),
      FPictureDisabled(std::make_unique<TBitmap>()) {
  SetControlStyle(csCaptureMouse | csOpaque);
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
  if (DisablesInput()) TGraphicControl::SetEnabled(Value);
}

void TCustomSkinButton::TakeMaskFrom(const TBitmap* Picture) {
  FTransparentColor = Picture->TransparentColor();
  FHitMask = BuildSkinMask(Picture, FTransparentColor);
}

void TCustomSkinButton::NormalPictureChanged() {
  SetBounds(Left(), Top(), Width(), Height());
  TakeMaskFrom(FPictureUp.get());
  Invalidate();
}

void TCustomSkinButton::OverPictureChanged() {
  if (FPictureUp->Empty()) {
    SetBounds(Left(), Top(), FPictureOver->Width(), FPictureOver->Height());
    TakeMaskFrom(FPictureOver.get());
  }
  Invalidate();
}

void TCustomSkinButton::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (!HasState(csLoading) && FAutoSizeToPicture && FPictureUp && !FPictureUp->Empty()) {
    AWidth = FPictureUp->Width();
    AHeight = FPictureUp->Height();
  }
  TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TCustomSkinButton::Invalidate() {
  if (!Visible() && !HasState(csDesigning)) return;
  TGraphicControl::Invalidate();
}

void TCustomSkinButton::Paint() {
  TCanvas* C = Canvas();
  if (HasState(csDesigning)) {
    C->Pen()->SetStyle(psSolid);
    C->Brush()->SetStyle(bsClear);
    C->Rectangle(0, 0, Width(), Height());
  }
  TBitmap* Picture = FPictureUp.get();
  if (FState == bsDisabled) Picture = FPictureDisabled.get();
  else if (FState == bsPressed) Picture = FPictureDown.get();
  else if (FMouseInside) Picture = FPictureOver.get();
  if (Picture->Empty()) Picture = FPictureUp.get();
  PaintSkinPicture(C, Picture, Width(), Height());
  PaintSkinCaption(C, this, FState == bsPressed);
}

// While there is no normal picture an enabled button draws nothing of its own, so a later paint
// pass is enough; otherwise the new picture shows at once.
void TCustomSkinButton::RefreshHover() {
  if (FPictureUp->Empty() && FEnabledFlag) Invalidate();
  else Repaint();
}

void TCustomSkinButton::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  const bool Was = FMouseInside;
  FMouseInside = IsOpaqueAt(X, Y);
  if (FMouseInside != Was && FState != bsPressed) {
    RefreshHover();
    if (FMouseInside && OnMouseEnter) OnMouseEnter(this);
  }
}

void TCustomSkinButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && FEnabledFlag && IsOpaqueAt(X, Y)) {
    FState = bsPressed;
    Repaint();
  }
}

void TCustomSkinButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
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

void TCustomSkinButton::WndProc(TMessage& Message) {
  if (Message.Msg == CM_DIALOGCHAR) {
    if (IsAccel(static_cast<char>(Message.WParam), Caption()) && FEnabledFlag) {
      Click();
      Message.Result = 1;
      return;
    }
  }
  TGraphicControl::WndProc(Message);
}

void TCustomSkinButton::Loaded() {
  TGraphicControl::Loaded();
  LoadAll();
  if (FPictureUp->Width() > 0 && FPictureUp->Height() > 0)
    NormalPictureChanged();
  else if (FPictureOver->Width() > 0 && FPictureOver->Height() > 0)
    OverPictureChanged();
}

// ---- TVxButton ------------------------------------------------------------------------------------

TVxButton::TVxButton(TComponent* AOwner) : TCustomSkinButton(AOwner), FLink(this) {}

TVxButton::~TVxButton() { FLink.Set(nullptr); }

void TVxButton::SetArchive(TZLBArchive* Value) {
  if (!FLink.Set(Value)) return;
  LoadAll();
}

void TVxButton::SetName(std::string& Field, const std::string& V, TBitmap* Picture) {
  if (V == Field) return;
  Field = V;
  LoadSkinPicture(Archive(), Picture, Field);
}

void TVxButton::SetFNameUp(const std::string& V) { SetName(FNameUpS, V, PictureUp()); }
void TVxButton::SetFNameDown(const std::string& V) { SetName(FNameDownS, V, PictureDown()); }
void TVxButton::SetFNameOver(const std::string& V) { SetName(FNameOverS, V, PictureOver()); }
void TVxButton::SetFNameDisabled(const std::string& V) { SetName(FNameDisabledS, V, PictureDisabled()); }

void TVxButton::LoadAll() {
  LoadSkinPicture(Archive(), PictureDown(), FNameDownS);
  LoadSkinPicture(Archive(), PictureUp(), FNameUpS);
  LoadSkinPicture(Archive(), PictureOver(), FNameOverS);
  LoadSkinPicture(Archive(), PictureDisabled(), FNameDisabledS);
}

void TVxButton::WndProc(TMessage& Message) {
  if (Message.Msg == CM_ARCHIVECHANGED) {
    if (!HasState(csLoading)) {
      LoadAll();
      Invalidate();
    }
    return;
  }
  TCustomSkinButton::WndProc(Message);
}

void TVxButton::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomSkinButton::Notification(AComponent, Operation);
  if (Operation == opRemove) FLink.Removed(AComponent);
}
