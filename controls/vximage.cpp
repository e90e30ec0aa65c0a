#include "controls/vximage.h"

TVxImage::TVxImage(TComponent* AOwner) : TGraphicControl(AOwner), FLink(this), FPicture(std::make_unique<TBitmap>()) {
  FPicture->OnChange = [this](TObject*) { PictureChanged(); };
  SetBounds(Left(), Top(), 80, 80);
}

TVxImage::~TVxImage() {
  FLink.Set(nullptr);
  FPicture->OnChange = nullptr;
}

void TVxImage::SetArchive(TZLBArchive* Value) {
  if (!FLink.Set(Value)) return;
  if (!HasState(csLoading)) LoadPicture();
}

void TVxImage::SetBitmapName(const std::string& Value) {
  if (Value == FBitmapName) return;
  FBitmapName = Value;
  if (!HasState(csLoading)) LoadPicture();
}

void TVxImage::LoadPicture() { LoadSkinPicture(Archive(), FPicture.get(), FBitmapName); }

void TVxImage::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  // Without a picture yet the control keeps its size; the picture's arrival sizes it.
  int W = Width(), H = Height();
  if (FAutoSize && !FPicture->Empty() && CanAutoSize(W, H)) SetBounds(Left(), Top(), W, H);
}

void TVxImage::SetCenter(bool Value) {
  if (Value == FCenter) return;
  FCenter = Value;
  PictureChanged();
}

void TVxImage::SetStretch(bool Value) {
  if (Value == FStretch) return;
  FStretch = Value;
  PictureChanged();
}

void TVxImage::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  PictureChanged();
}

void TVxImage::PictureChanged() {
  if (FAutoSize && FPicture->Width() > 0 && FPicture->Height() > 0)
    SetBounds(Left(), Top(), FPicture->Width(), FPicture->Height());
  const bool Covers = FStretch || (FPicture->Width() >= Width() && FPicture->Height() >= Height());
  if (!FPicture->Transparent() && Covers)
    SetControlStyle(ControlStyle() | csOpaque);
  else
    SetControlStyle(ControlStyle() & ~csOpaque);
  if (!FDrawing) Invalidate();
}

TRect TVxImage::DestRect() const {
  if (FStretch) return ClientRect();
  const int W = FPicture->Width(), H = FPicture->Height();
  if (FCenter) return Bounds((Width() - W) / 2, (Height() - H) / 2, W, H);
  return TRect(0, 0, W, H);
}

bool TVxImage::CanAutoSize(int& NewWidth, int& NewHeight) const {
  if (HasState(csDesigning) && (FPicture->Width() < 1 || FPicture->Height() < 1)) return true;
  const TAlign A = Align();
  if (A == alNone || A == alLeft || A == alRight) NewWidth = FPicture->Width();
  if (A == alNone || A == alTop || A == alBottom) NewHeight = FPicture->Height();
  return true;
}

void TVxImage::Paint() {
  TCanvas* C = Canvas();
  if (HasState(csDesigning)) {
    C->Pen()->SetStyle(psDash);
    C->Brush()->SetStyle(bsClear);
    C->Rectangle(0, 0, Width(), Height());
  }
  FDrawing = true;
  try {
    C->StretchDraw(DestRect(), FPicture.get());
  } catch (...) {
    FDrawing = false;
    throw;
  }
  FDrawing = false;
}

void TVxImage::WndProc(TMessage& Message) {
  if (Message.Msg == CM_ARCHIVECHANGED) {
    if (!HasState(csLoading)) {
      LoadPicture();
      Invalidate();
    }
    return;
  }
  TGraphicControl::WndProc(Message);
}

void TVxImage::Loaded() {
  TGraphicControl::Loaded();
  LoadPicture();
}

void TVxImage::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove) FLink.Removed(AComponent);
}
