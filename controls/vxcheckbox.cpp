#include "controls/vxcheckbox.h"

TVxCheckbox::TVxCheckbox(TComponent* AOwner) : TGraphicControl(AOwner), FLink(this) {
  for (auto& P : FPictures) P = std::make_unique<TBitmap>();
  SetControlStyle(csCaptureMouse | csOpaque);
  SetBounds(0, 0, 50, 50);
  FPictures[piUnchecked]->OnChange = [this](TObject*) { UncheckedChanged(); };
  FPictures[piOverUnchecked]->OnChange = [this](TObject*) { OverUncheckedChanged(); };
  for (TPictureIndex I : {piChecked, piOverChecked, piDisabled}) FPictures[I]->OnChange = [this](TObject*) { Invalidate(); };
}

TVxCheckbox::~TVxCheckbox() {
  FLink.Set(nullptr);
  for (auto& P : FPictures) P->OnChange = nullptr;
}

void TVxCheckbox::SetArchive(TZLBArchive* Value) {
  if (!FLink.Set(Value)) return;
  LoadAll();
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

void TVxCheckbox::SetPictureName(TPictureIndex I, const std::string& V) {
  if (V == FNames[I]) return;
  FNames[I] = V;
  LoadSkinPicture(Archive(), FPictures[I].get(), V);
}

void TVxCheckbox::LoadAll() {
  for (int I = 0; I < piCount; ++I) LoadSkinPicture(Archive(), FPictures[I].get(), FNames[I]);
}

void TVxCheckbox::TakeMaskFrom(const TBitmap* Picture) {
  FTransparentColor = Picture->TransparentColor();
  FHitMask = BuildSkinMask(Picture, FTransparentColor);
}

void TVxCheckbox::UncheckedChanged() {
  SetBounds(Left(), Top(), Width(), Height());
  TakeMaskFrom(FPictures[piUnchecked].get());
  Invalidate();
}

void TVxCheckbox::OverUncheckedChanged() {
  const TBitmap* Over = FPictures[piOverUnchecked].get();
  if (FPictures[piUnchecked]->Empty()) {
    SetBounds(Left(), Top(), Over->Width(), Over->Height());
    TakeMaskFrom(Over);
  }
  Invalidate();
}

void TVxCheckbox::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const TBitmap* Unchecked = FPictures[piUnchecked].get();
  if (!HasState(csLoading) && FAutoSizeToPicture && Unchecked && !Unchecked->Empty()) {
    AWidth = Unchecked->Width();
    AHeight = Unchecked->Height();
  }
  TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TVxCheckbox::Invalidate() {
  if (!Visible() && !HasState(csDesigning)) return;
  TGraphicControl::Invalidate();
}

void TVxCheckbox::Paint() {
  TCanvas* C = Canvas();
  if (HasState(csDesigning)) {
    C->Pen()->SetStyle(psSolid);
    C->Brush()->SetStyle(bsClear);
    C->Rectangle(0, 0, Width(), Height());
  }
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
  PaintSkinPicture(C, P, Width(), Height());
  PaintSkinCaption(C, this, FState == csChecked);
}

void TVxCheckbox::RefreshHover() {
  if (FPictures[piUnchecked]->Empty() && FEnabledFlag) Invalidate();
  else Repaint();
}

void TVxCheckbox::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  const bool Was = FMouseInside;
  FMouseInside = IsOpaqueAt(X, Y);
  if (FMouseInside != Was) RefreshHover();
}

void TVxCheckbox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && FEnabledFlag && IsOpaqueAt(X, Y)) {
    FMouseInside = true;
    Repaint();
  }
}

void TVxCheckbox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
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

void TVxCheckbox::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<char>(Message.WParam), Caption()) && FEnabledFlag) {
        Click();
        Message.Result = 1;
        return;
      }
      break;
    case CM_ARCHIVECHANGED:
      if (!HasState(csLoading)) {
        LoadAll();
        Invalidate();
      }
      return;
    default:
      break;
  }
  TGraphicControl::WndProc(Message);
}

void TVxCheckbox::Loaded() {
  TGraphicControl::Loaded();
  LoadAll();
  const TBitmap* Unchecked = FPictures[piUnchecked].get();
  const TBitmap* Over = FPictures[piOverUnchecked].get();
  if (Unchecked->Width() > 0 && Unchecked->Height() > 0)
    UncheckedChanged();
  else if (Over->Width() > 0 && Over->Height() > 0)
    OverUncheckedChanged();
}

void TVxCheckbox::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove) FLink.Removed(AComponent);
}
