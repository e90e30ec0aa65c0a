#include "controls/image32.h"

#include <cmath>

#include "platform/core/sysutils.h"

namespace {
int RoundEven(double V) { return static_cast<int>(std::nearbyint(V)); }

// Holds a bitmap's lock for the life of the scope.
class TLockScope {
 public:
  explicit TLockScope(TThreadPersistent& Object) : FObject(Object) { FObject.Lock(); }
  ~TLockScope() { FObject.Unlock(); }
  TLockScope(const TLockScope&) = delete;
  TLockScope& operator=(const TLockScope&) = delete;

 private:
  TThreadPersistent& FObject;
};
}  // namespace

TRect CalcBitmapRect(int BW, int BH, int CW, int CH, double Scale, TScaleMode ScaleMode, TBitmapAlign BitmapAlign) {
  if (BW == 0 || BH == 0 || CW == 0 || CH == 0) return TRect();
  int W = BW, H = BH;
  switch (ScaleMode) {
    case smNormal: break;
    case smStretch:
      W = CW;
      H = CH;
      break;
    case smScale:
      W = RoundEven(BW * Scale);
      H = RoundEven(BH * Scale);
      break;
    case smResize:
      if (static_cast<double>(CH) / BH <= static_cast<double>(CW) / BW) {
        H = CH;
        W = RoundEven(static_cast<double>(BW) * CH / BH);
      } else {
        W = CW;
        H = RoundEven(static_cast<double>(BH) * CW / BW);
      }
      break;
  }
  TRect R(0, 0, W, H);
  if (BitmapAlign == baCenter) R = OffsetRect(R, (CW - W) / 2, (CH - H) / 2);
  return R;
}

// ---- TPaintBoxPresenter -----------------------------------------------------------------------------

// The bottom window-less child of a paint box. The layer paints the box's children after the
// box's own Paint, so this child is where the finished buffer (with the layers painted into it)
// is put on the screen; it takes no mouse input.
class TPaintBoxPresenter : public TGraphicControl {
 public:
  explicit TPaintBoxPresenter(TCustomPaintBox32* Box) : TGraphicControl(Box), FBox(Box) {
    SetControlStyle(0);
  }
  std::string ClassName() const override { return "TPaintBoxPresenter"; }
  bool HitTest(int, int) override { return false; }
  void Paint() override { FBox->Present(Canvas()); }

 private:
  TCustomPaintBox32* FBox;
};

// ---- TCustomPaintBox32 ------------------------------------------------------------------------------

TCustomPaintBox32::TCustomPaintBox32(TComponent* AOwner) : TCustomControl(AOwner), FBuffer(std::make_unique<TBitmap32>()) {
  SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csOpaque | csDoubleClicks);
  // The buffer covers the whole client area, so the layer need not fill it first.
  SetEraseBackground(false);
  FBuffer->SetSize(192, 192);
  FBuffer->OnChanging = [this](TObject*) { Changing(); };
  FBuffer->OnChange = [this](TObject*) { Changed(); };
  FPresenter = new TPaintBoxPresenter(this);
  FPresenter->SetParent(this);
  SetBounds(Left(), Top(), 192, 192);
  FPresenter->SetBounds(0, 0, Width(), Height());
}

TCustomPaintBox32::~TCustomPaintBox32() {
  FBuffer->OnChanging = nullptr;
  FBuffer->OnChange = nullptr;
}

void TCustomPaintBox32::EndUpdate() {
  if (FUpdateCount < 1) throw EAssertionFailed("Unpaired TCustomPaintBox32.EndUpdate");
  --FUpdateCount;
}

void TCustomPaintBox32::Changing() {
  if (FUpdateCount == 0 && OnChanging) OnChanging(this);
}

void TCustomPaintBox32::Changed() {
  if (FUpdateCount != 0) return;
  Invalidate();
  if (OnChange) OnChange(this);
}

void TCustomPaintBox32::Paint() {
  if (FUpdateCount != 0 || !OnPaint) return;
  // Drawing into the buffer from the handler must not ask for yet another paint.
  WithinUpdate(*FBuffer, [&] { OnPaint(this, FBuffer.get()); });
}

void TCustomPaintBox32::Resize() {
  ResizeBuffer();
  if (FPresenter) FPresenter->SetBounds(0, 0, Width(), Height());
  TCustomControl::Resize();
}

void TCustomPaintBox32::ResizeBuffer() {
  const int W = Width(), H = Height();
  const int BW = FBuffer->Width(), BH = FBuffer->Height();
  if (BW == W && BH == H) return;
  if (!FBufferOversize) {
    FBuffer->SetSize(W, H);
  } else {
    int NW = BW, NH = BH;
    if (BW < W) NW = W + 40;
    else if (W < BW - 40) NW = W;
    if (BH < H) NH = H + 40;
    else if (H < BH - 40) NH = H;
    if (NW == BW && NH == BH) return;
    FBuffer->SetSize(NW, NH);
  }
  PaintBuffer();
}

void TCustomPaintBox32::PaintBuffer() {
  WithinUpdate(*FBuffer, [&] {
    if (FBuffer->Width() < Width() || FBuffer->Height() < Height()) FBuffer->SetSize(Width(), Height());
    if (OnPaintBuffer)
      OnPaintBuffer(this);
    else
      FBuffer->Clear(ColorToColor32(Color()));
  });
}

bool TCustomPaintBox32::CoveredByLayers() const {
  TRegion Left(ClientRect());
  for (int I = 0; I < ControlCount(); ++I) {
    auto* L = dynamic_cast<TCustomLayer32*>(Controls(I));
    if (!L || !L->Visible() || !(L->ControlStyle() & csOpaque)) continue;
    Left = Left.Subtracted(TRegion(L->BoundsRect()));
    if (Left.IsEmpty()) return true;
  }
  return false;
}

void TCustomPaintBox32::Present(TCanvas* Canvas) {
  {
    TLockScope Locked(*FBuffer);
    for (int I = 0; I < ControlCount(); ++I) {
      auto* L = dynamic_cast<TCustomLayer32*>(Controls(I));
      if (!L || !L->Visible()) continue;
      // The buffer does not announce what the layers draw into it.
      WithinUpdate(*FBuffer, [&] { L->Paint(FBuffer.get()); });
    }
  }
  FBuffer->DrawToCanvas(Canvas, 0, 0);
}

// ---- TCustomImage32 ---------------------------------------------------------------------------------

TCustomImage32::TCustomImage32(TComponent* AOwner) : TCustomPaintBox32(AOwner), FBitmap(std::make_unique<TBitmap32>()) {
  SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csOpaque | csDoubleClicks);
  FBitmap->OnChanging = [this](TObject*) { Changing(); };
  FBitmap->OnChange = [this](TObject*) { Changed(); };
  // The image repaints its buffer from the bitmap; the buffer itself never asks for a paint.
  Buffer()->BeginUpdate();
  FBufferOversize = true;
  SetColor(clWindow);
  SetParentColor(true);
}

TCustomImage32::~TCustomImage32() {
  FBitmap->OnChanging = nullptr;
  FBitmap->OnChange = nullptr;
}

void TCustomImage32::SetBitmap(const TBitmap32* Value) {
  ChangeWithinUpdate(*this, [&] { FBitmap->Assign(Value); });
}

void TCustomImage32::SetBitmapAlign(TBitmapAlign Value) {
  if (Value == FBitmapAlign) return;
  Changing();
  FBitmapAlign = Value;
  Changed();
}

void TCustomImage32::SetScale(double Value) {
  if (Value < 0.001) Value = 0.001;
  if (Value == FScale) return;
  Changing();
  FScale = Value;
  Changed();
}

void TCustomImage32::SetScaleMode(TScaleMode Value) {
  if (Value == FScaleMode) return;
  Changing();
  FScaleMode = Value;
  Changed();
}

void TCustomImage32::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  Changed();
}

TRect TCustomImage32::GetBitmapRect() const {
  return CalcBitmapRect(FBitmap->Width(), FBitmap->Height(), Width(), Height(), FScale, FScaleMode, FBitmapAlign);
}

void TCustomImage32::ScaledSize(int& W, int& H) const {
  W = FBitmap->Width();
  H = FBitmap->Height();
  if (FScaleMode == smScale) {
    W = RoundEven(W * FScale);
    H = RoundEven(H * FScale);
  }
}

bool TCustomImage32::CanAutoSize(int& NewWidth, int& NewHeight) const {
  int W, H;
  ScaledSize(W, H);
  if (HasState(csDesigning) && (W < 1 || H < 1)) return true;
  const TAlign A = Align();
  if (A == alNone || A == alLeft || A == alRight) NewWidth = W;
  if (A == alNone || A == alTop || A == alBottom) NewHeight = H;
  return true;
}

void TCustomImage32::Changed() {
  if (UpdateCount() != 0) return;
  int W, H;
  ScaledSize(W, H);
  if (FAutoSize && W >= 1 && H >= 1) {
    int NW = Width(), NH = Height();
    CanAutoSize(NW, NH);
    SetBounds(Left(), Top(), NW, NH);
  }
  Invalidate();
  if (OnChange) OnChange(this);
}

void TCustomImage32::Paint() {
  TBitmap32* B = Buffer();
  const TColor32 Background = ColorToColor32(Color());
  const int W = Width(), H = Height();
  if (CoveredByLayers()) return;
  if (FBitmap->Empty()) {
    B->Clear(Background);
    return;
  }
  const TRect R = GetBitmapRect();
  if (FBitmap->DrawMode() == dmBlend) {
    B->Clear(Background);
  } else if (FBitmapAlign != baTile && !(R.Left <= 0 && R.Top <= 0 && R.Right >= W && R.Bottom >= H)) {
    if (R.Top > 0) B->FillRectClipped(0, 0, W - 1, R.Top - 1, Background);
    if (R.Bottom < H) B->FillRectClipped(0, R.Bottom, W - 1, H - 1, Background);
    if (R.Bottom > R.Top) {
      if (R.Left > 0) B->FillRectClipped(0, R.Top, R.Left - 1, R.Bottom - 1, Background);
      if (R.Right < W) B->FillRectClipped(R.Right, R.Top, W - 1, R.Bottom - 1, Background);
    }
  }
  TLockScope Locked(*FBitmap);
  if (FBitmapAlign == baTile) {
    const int TW = R.Right, TH = R.Bottom;
    if (TW >= 1 && TH >= 1)
      for (int Col = 0; Col <= W / TW; ++Col)
        for (int Row = 0; Row <= H / TH; ++Row) FBitmap->DrawTo(B, OffsetRect(R, Col * TW, Row * TH));
  } else {
    FBitmap->DrawTo(B, R);
  }
}

// ---- Layers -------------------------------------------------------------------------------------------

TCustomLayer32::TCustomLayer32(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetControlStyle(csCaptureMouse | csClickEvents | csDoubleClicks);
  SetBounds(Left(), Top(), 64, 64);
}

TCustomLayer32::~TCustomLayer32() {
  if (MouseCapture()) SetMouseCapture(false);
}

void TCustomLayer32::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCustomLayer32::Changed() {
  Perform(CM_CHANGED);
  if (OnChange) OnChange(this);
}

void TCustomLayer32::Paint(TBitmap32* Buffer) {
  if (HasState(csDesigning)) {
    Buffer->SetStipplePattern({clWhite32, clWhite32, clBlack32, clBlack32});
    const TRect R = BoundsRect();
    Buffer->StippleFrameRect(R.Left, R.Top, R.Right - 1, R.Bottom - 1);
  }
  if (OnPaint) OnPaint(this, Buffer);
}

TBitmapLayer32::TBitmapLayer32(TComponent* AOwner) : TLayer32(AOwner), FBitmap(std::make_unique<TBitmap32>()) {
  FBitmap->OnChanging = [this](TObject*) { Changing(); };
  FBitmap->OnChange = [this](TObject*) { BitmapChanged(); };
}

TBitmapLayer32::~TBitmapLayer32() {
  FBitmap->OnChanging = nullptr;
  FBitmap->OnChange = nullptr;
}

void TBitmapLayer32::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  int W = Width(), H = Height();
  if (FAutoSize && CanAutoSize(W, H)) SetBounds(Left(), Top(), W, H);
}

bool TBitmapLayer32::CanAutoSize(int& NewWidth, int& NewHeight) const {
  if (FBitmap->Empty()) return false;
  const TAlign A = Align();
  if (A == alNone || A == alLeft || A == alRight) NewWidth = FBitmap->Width();
  if (A == alNone || A == alTop || A == alBottom) NewHeight = FBitmap->Height();
  return true;
}

void TBitmapLayer32::BitmapChanged() {
  if (FAutoSize && !FBitmap->Empty()) SetBounds(Left(), Top(), FBitmap->Width(), FBitmap->Height());
  if (!FBitmap->Empty() && FBitmap->DrawMode() == dmOpaque)
    SetControlStyle(ControlStyle() | csOpaque);
  else
    SetControlStyle(ControlStyle() & ~csOpaque);
  Invalidate();
  Changed();
}

void TBitmapLayer32::Paint(TBitmap32* Buffer) {
  FBitmap->DrawTo(Buffer, BoundsRect());
  TLayer32::Paint(Buffer);
}

// ---- Bitmap list --------------------------------------------------------------------------------------

TBitmapItem::TBitmapItem(TCollection* ACollection) : TCollectionItem(ACollection), FBitmap(std::make_unique<TBitmap32>()) {
  FBitmap->OnChange = [this](TObject*) { Changed(); };
}

TBitmapItem::~TBitmapItem() { FBitmap->OnChange = nullptr; }

void TBitmapItem::SetBitmap(const TBitmap32* Value) {
  ChangeWithinUpdate(*this, [&] { FBitmap->Assign(Value); });
}

void TBitmapItem::Assign(TPersistent* Source) {
  if (auto* Item = dynamic_cast<TBitmapItem*>(Source)) {
    SetBitmap(Item->Bitmap());
    return;
  }
  TCollectionItem::Assign(Source);
}

void TBitmapItem::EndUpdate() {
  if (FUpdateCount < 1) throw EAssertionFailed("Unpaired TBitmapItem.EndUpdate");
  --FUpdateCount;
}

void TBitmapItem::Changing() {
  if (FUpdateCount == 0 && OnChanging) OnChanging(this);
}

void TBitmapItem::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

TBitmapCollection::TBitmapCollection(TPersistent* AOwner)
    : TCollection([](TCollection* C) { return new TBitmapItem(C); }), FOwner(AOwner) {}

TBitmapList32::TBitmapList32(TComponent* AOwner) : TComponent(AOwner), FBitmaps(std::make_unique<TBitmapCollection>(this)) {}

TBitmapList32::~TBitmapList32() = default;
