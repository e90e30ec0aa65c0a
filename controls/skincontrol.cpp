#include "controls/skincontrol.h"

TSkinControl::TSkinControl(TComponent* AOwner) : TGraphicControl(AOwner), FLink(this) {
  SetControlStyle(csCaptureMouse | csOpaque);
}

TSkinControl::~TSkinControl() { FLink.Set(nullptr); }

void TSkinControl::SetArchive(TZLBArchive* Value) {
  if (FLink.Set(Value)) LoadAll();
}

void TSkinControl::SetPictureName(std::string& Field, const std::string& Value, TBitmap* Picture) {
  if (Value == Field) return;
  Field = Value;
  LoadSkinPicture(Archive(), Picture, Field);
}

void TSkinControl::TakeMaskFrom(const TBitmap* Picture) {
  FTransparentColor = Picture->TransparentColor();
  FHitMask = BuildSkinMask(Picture, FTransparentColor);
}

void TSkinControl::NormalPictureChanged() {
  SetBounds(Left(), Top(), Width(), Height());
  TakeMaskFrom(NormalPicture());
  Invalidate();
}

void TSkinControl::OverPictureChanged() {
  const TBitmap* Over = OverPicture();
  if (NormalPicture()->Empty()) {
    SetBounds(Left(), Top(), Over->Width(), Over->Height());
    TakeMaskFrom(Over);
  }
  Invalidate();
}

void TSkinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const TBitmap* Normal = NormalPicture();
  if (!HasState(csLoading) && FAutoSizeToPicture && Normal && !Normal->Empty()) {
    AWidth = Normal->Width();
    AHeight = Normal->Height();
  }
  TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TSkinControl::Invalidate() {
  if (!Visible() && !HasState(csDesigning)) return;
  TGraphicControl::Invalidate();
}

void TSkinControl::RefreshHover() {
  if (NormalPicture()->Empty() && FEnabledFlag) Invalidate();
  else Repaint();
}

void TSkinControl::PaintSkin(const TBitmap* Picture, bool CaptionShifted) {
  TCanvas* C = Canvas();
  if (HasState(csDesigning)) {
    C->Pen()->SetStyle(psSolid);
    C->Brush()->SetStyle(bsClear);
    C->Rectangle(0, 0, Width(), Height());
  }
  PaintSkinPicture(C, Picture, Width(), Height());
  PaintSkinCaption(C, this, CaptionShifted);
}

void TSkinControl::WndProc(TMessage& Message) {
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

void TSkinControl::Loaded() {
  TGraphicControl::Loaded();
  LoadAll();
  const TBitmap* Normal = NormalPicture();
  const TBitmap* Over = OverPicture();
  if (Normal->Width() > 0 && Normal->Height() > 0)
    NormalPictureChanged();
  else if (Over->Width() > 0 && Over->Height() > 0)
    OverPictureChanged();
}

void TSkinControl::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove) FLink.Removed(AComponent);
}
