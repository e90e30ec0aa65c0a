#include "controls/slider.h"

#include <utility>

#include "controls/ctlutils.h"

namespace {

const int Indent = 6;              // from the client rectangle to the ruler and the thumb
const int MinPointsInterval = 4;   // pixels between two ticks at least
const int PointsHeight = 3, ExtremePointsHeight = 5;
const int TrackTimerId = 1;
const unsigned TrackInterval = 400;
const char* const ImageNames[4] = {"W95_HTB", "W95_HRL", "W95_VTB", "W95_VRL"};

}  // namespace

TVxCustomSlider::TVxCustomSlider(TComponent* AOwner) : TCustomControl(AOwner), FRuler(std::make_unique<TBitmap>()) {
  RegisterControlCursors();
  for (int I = 0; I < 4; ++I) FImages[size_t(I)].reset(MakeModuleBitmap(ImageNames[I]));
  SetTabStop(true);
  SetBounds(Left(), Top(), 150, 40);
  AdjustElements();
}

TVxCustomSlider::~TVxCustomSlider() = default;

// --- properties -------------------------------------------------------------------------------

void TVxCustomSlider::Change() {
  if (OnChange) OnChange(this);
}

void TVxCustomSlider::Changed() {
  if (OnChanged) OnChanged(this);
}

void TVxCustomSlider::SetValue(int V) {
  if (V > FMaxValue) V = FMaxValue;
  if (V < FMinValue) V = FMinValue;
  const bool ValueChanged = V != FValue;
  FValue = V;
  PlaceThumb(OffsetByValue(V));
  if (ValueChanged) Change();
}

void TVxCustomSlider::SetMinMax(int NewMin, int NewMax) {
  if (NewMin == FMinValue && NewMax == FMaxValue) return;
  const bool Loading = HasState(csLoading);
  if (NewMax <= NewMin && !Loading) return;
  FMinValue = NewMin;
  FMaxValue = NewMax;
  if (!Loading && FIncrement > FMaxValue - FMinValue) FIncrement = FMaxValue - FMinValue;
  if (FOptions & soShowPoints) Invalidate();
  SetValue(FValue);
}

void TVxCustomSlider::SetIncrement(int V) {
  if (!HasState(csLoading) && (V < 1 || V > FMaxValue - FMinValue))
    throw Exception(Format("Value must be between %d and %d", {1, FMaxValue - FMinValue}));
  if (V == FIncrement) return;
  FIncrement = V;
  SetValue(FValue);
  Invalidate();
}

void TVxCustomSlider::SetOrientation(TSliderOrientation V) {
  if (V == FOrientation) return;
  FOrientation = V;
  if (!HasState(csLoading)) SetBounds(Left(), Top(), Height(), Width());
  AdjustElements();
  Invalidate();
}

void TVxCustomSlider::SetEdgeSize(int V) {
  const int Length = Horizontal() ? FImages[siHRuler]->Width() : FImages[siVRuler]->Height();
  if (V == FEdgeSize || 2 * V >= Length) return;
  FEdgeSize = V;
  AdjustElements();
  Invalidate();
}

void TVxCustomSlider::SetNumThumbStates(TNumThumbStates V) {
  if (V == FNumThumbStates || V < 1 || V > 2) return;
  FNumThumbStates = V;
  AdjustElements();
  Invalidate();
}

void TVxCustomSlider::SetBevelStyle(TBevelCut V) {
  if (V == FBevelStyle) return;
  FBevelStyle = V;
  AdjustElements();
  Realign();
  Invalidate();
}

void TVxCustomSlider::SetOptions(TSliderOptions V) {
  if (V == FOptions) return;
  FOptions = V;
  Invalidate();
}

void TVxCustomSlider::SetImage(TSliderImage Index, TBitmap* Value) {
  if (Value) {
    FImages[Index]->Assign(Value);
    FUserImages |= 1u << Index;
  } else {
    FImages[Index].reset(MakeModuleBitmap(ImageNames[Index]));
    FUserImages &= ~(1u << Index);
    if (!HasState(csLoading)) {
      FOptions &= (Index == siHThumb || Index == siVThumb) ? ~soThumbOpaque : ~soRulerOpaque;
      Invalidate();
    }
  }
  AdjustElements();
  Invalidate();
}

void TVxCustomSlider::Loaded() {
  TCustomControl::Loaded();
  AdjustElements();
}

// --- geometry ---------------------------------------------------------------------------------

TRect TVxCustomSlider::SliderClientRect() const {
  TRect R = ClientRect();
  if (FBevelStyle != bvNone) R = InflateRect(R, -FBevelWidth, -FBevelWidth);
  return R;
}

int TVxCustomSlider::ThumbWidth() const {
  return ThumbImage()->Width() / FNumThumbStates;
}

int TVxCustomSlider::ThumbHeight() const { return ThumbImage()->Height(); }

int TVxCustomSlider::RulerLength() const {
  return Horizontal() ? FRuler->Width() - ThumbWidth() : FRuler->Height() - ThumbHeight();
}

int TVxCustomSlider::MinIndent() const {
  const TRect R = SliderClientRect();
  return (Horizontal() ? R.Left : R.Top) + Indent;
}

int TVxCustomSlider::OffsetByValue(int V) const {
  const TRect R = SliderClientRect();
  const int Range = FMaxValue - FMinValue;
  int Offset = (Range > 0 ? int(Round(double(V - FMinValue) / Range * RulerLength())) : 0) + MinIndent();
  if (!Horizontal()) Offset = R.Top + R.Bottom - Offset - ThumbHeight();
  return Max(Offset, MinIndent());
}

int TVxCustomSlider::ValueByOffset(int Offset) const {
  const TRect R = SliderClientRect();
  if (!Horizontal()) Offset = ClientHeight() - Offset - ThumbHeight();
  const int L = RulerLength();
  int V = L > 0 ? int(Round(double(Offset - R.Left - Indent) * (FMaxValue - FMinValue) / L)) : 0;
  if (!(FOptions & soSmooth) && FIncrement > 0) V = int(Round(double(V) / FIncrement)) * FIncrement;
  return Min(FMinValue + Max(V, 0), FMaxValue);
}

// The ruler picture tiled to the target length: the image's leading part, its middle part as
// often as needed, and a last piece that ends with the image's trailing edge.
void TVxCustomSlider::BuildRuler(const TRect& R) {
  TBitmap* Img = RulerImage();
  const bool H = Horizontal();
  const int Target = Max(H ? R.Width() - 2 * Indent : R.Height() - 2 * Indent, 0);
  const int Length = H ? Img->Width() : Img->Height();
  FRuler->SetPixelFormat(pf24bit);
  if (H) FRuler->SetSize(Target, Img->Height());
  else FRuler->SetSize(Img->Width(), Target);
  FRuler->SetTransparentColor(Img->TransparentColor());
  if (Target == 0 || Length == 0) return;
  const int E = FEdgeSize, M = Length - 2 * E, T = Target - 2 * E;
  auto Piece = [&](int SrcPos, int Len, int DstPos) {
    if (Len <= 0) return;
    const TRect Src = H ? Bounds(SrcPos, 0, Len, Img->Height()) : Bounds(0, SrcPos, Img->Width(), Len);
    const TRect Dst = H ? Bounds(DstPos, 0, Len, Img->Height()) : Bounds(0, DstPos, Img->Width(), Len);
    FRuler->Canvas()->CopyRect(Dst, Img->Canvas(), Src);
  };
  Piece(0, Length - E, 0);
  if (M <= 0 || T < 0) return;
  const int Count = T / M + 1;
  for (int I = 1; I < Count - 1; ++I) Piece(E, M, E + I * M);
  const int Rest = T % M;
  Piece(E + M - Rest, E + Rest, E + (Count - 1) * M);
}

void TVxCustomSlider::AdjustElements() {
  const TRect R = SliderClientRect();
  BuildRuler(R);
  const int TW = ThumbWidth(), TH = ThumbHeight();
  int ThumbTop, ThumbLeft;
  if (Horizontal()) {
    const int RH = FRuler->Height();
    if (TH > RH) {
      ThumbTop = R.Top + Indent;
      FRulerOrigin = TPoint(R.Left + Indent, ThumbTop + (TH - RH) / 2);
    } else {
      FRulerOrigin = TPoint(R.Left + Indent, R.Top + Indent);
      ThumbTop = FRulerOrigin.Y + (RH - TH) / 2;
    }
    FThumbRect = Bounds(FThumbRect.Left, ThumbTop, TW, TH);
    const int PointsTop = Max(ThumbTop + TH, FRulerOrigin.Y + RH) + 1;
    FPointsRect = TRect(FRulerOrigin.X, PointsTop, FRulerOrigin.X + FRuler->Width(), R.Bottom - R.Top - 1);
  } else {
    const int RW = FRuler->Width();
    if (TW > RW) {
      ThumbLeft = R.Left + Indent;
      FRulerOrigin = TPoint(ThumbLeft + (TW - RW) / 2, R.Top + Indent);
    } else {
      FRulerOrigin = TPoint(R.Left + Indent, R.Top + Indent);
      ThumbLeft = FRulerOrigin.X + (RW - TW) / 2;
    }
    FThumbRect = Bounds(ThumbLeft, FThumbRect.Top, TW, TH);
    const int PointsLeft = Max(ThumbLeft + TW, FRulerOrigin.X + RW) + 1;
    FPointsRect = TRect(PointsLeft, FRulerOrigin.Y, R.Right - R.Left - 1, FRulerOrigin.Y + FRuler->Height());
  }
  SetValue(FValue);
  Invalidate();
}

void TVxCustomSlider::PlaceThumb(int Offset) {
  const TRect Old = FThumbRect;
  if (Horizontal()) FThumbRect = Bounds(Offset, FThumbRect.Top, ThumbWidth(), ThumbHeight());
  else FThumbRect = Bounds(FThumbRect.Left, Offset, ThumbWidth(), ThumbHeight());
  if (Old != FThumbRect) {
    InvalidateRect(Old);
    InvalidateRect(FThumbRect);
  }
}

void TVxCustomSlider::SetThumbOffset(int Offset) {
  const int Lo = MinIndent(), Hi = MinIndent() + RulerLength();
  Offset = Min(Max(Offset, Lo), Hi);
  const int V = ValueByOffset(Offset);
  PlaceThumb(OffsetByValue(V));
  if (FSliding && V != FValue) {
    FValue = V;
    Change();
  }
}

// --- painting ---------------------------------------------------------------------------------

void TVxCustomSlider::DefaultDrawPoints(int PointsStep, int PointsHeight, int ExtremePointsHeight) {
  const int L = RulerLength();
  if (PointsStep <= 0 || FMaxValue <= FMinValue) return;
  int Scale = 0, Count, Interval;
  do {
    ++Scale;
    Count = int(Round(double(FMaxValue - FMinValue) / (Scale * PointsStep))) + 1;
    Interval = Count > 1 ? L / (Count - 1) : L;
  } while (Interval < MinPointsInterval && Interval < L);
  TCanvas* C = Canvas();
  C->Pen()->SetColor(clWindowText);
  C->Pen()->SetStyle(psSolid);
  int V = FMinValue;
  for (int I = 1; I <= Count; ++I) {
    if (I == Count) V = FMaxValue;
    const int Len = (V == FMinValue || V == FMaxValue) ? ExtremePointsHeight : PointsHeight;
    if (Horizontal()) {
      const int X = OffsetByValue(V) + ThumbWidth() / 2;
      C->MoveTo(X, FPointsRect.Top);
      C->LineTo(X, FPointsRect.Top + Len);
    } else {
      const int Y = OffsetByValue(V) + ThumbHeight() / 2;
      C->MoveTo(FPointsRect.Left, Y);
      C->LineTo(FPointsRect.Left + Len, Y);
    }
    V += PointsStep * Scale;
  }
}

void TVxCustomSlider::DrawPoints() {
  if (OnDrawPoints) OnDrawPoints(this);
  else DefaultDrawPoints(FIncrement, PointsHeight, ExtremePointsHeight);
}

void TVxCustomSlider::Paint() {
  TCanvas* C = Canvas();
  const TRect R = SliderClientRect();
  if (FBevelStyle != bvNone) {
    TRect B = ClientRect();
    TColor Top = clBtnHighlight, Bottom = clBtnShadow;
    if (FBevelStyle == bvLowered) std::swap(Top, Bottom);
    if (FBevelStyle == bvSpace) Top = Bottom = clBtnFace;
    C->Frame3D(B, Top, Bottom, FBevelWidth);
  }
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(Color());
  C->FillRect(R);
  DrawBitmapTransparent(C, FRulerOrigin.X, FRulerOrigin.Y, FRuler.get(),
                        (FOptions & soRulerOpaque) ? clNone : FRuler->TransparentColor());
  if ((FOptions & soShowFocus) && FFocused && !HasState(csDesigning)) C->DrawFocusRect(InflateRect(R, -2, -2));
  if (FOptions & soShowPoints) DrawPoints();
  TBitmap* Thumb = ThumbImage();
  const int TW = ThumbWidth(), TH = ThumbHeight();
  const int Frame = (FNumThumbStates == 2 && (FThumbDown || !Enabled())) ? 1 : 0;
  DrawTransparentBitmapRect(C, FThumbRect.Left, FThumbRect.Top, TW, TH, Bounds(Frame * TW, 0, TW, TH), Thumb,
                            (FOptions & soThumbOpaque) ? clNone : Thumb->TransparentColor());
}

// --- mouse ------------------------------------------------------------------------------------

TVxCustomSlider::TRegionCode TVxCustomSlider::RegionAt(TPoint P) const {
  if (Horizontal()) {
    if (P.X < FThumbRect.Left) return rcDecrease;
    if (P.X >= FThumbRect.Right) return rcIncrease;
  } else {
    if (P.Y < FThumbRect.Top) return rcIncrease;
    if (P.Y >= FThumbRect.Bottom) return rcDecrease;
  }
  return rcNone;
}

void TVxCustomSlider::Step(TRegionCode Code) {
  int V = FValue;
  const int Inc = Max(FIncrement, 1);  // only a half-loaded slider can hold less
  switch (Code) {
    case rcHome: V = FMinValue; break;
    case rcEnd: V = FMaxValue; break;
    case rcIncrease: V = int(Round(double(FValue) / Inc)) * Inc + Inc; break;
    case rcDecrease: V = int(Round(double(FValue) / Inc)) * Inc - Inc; break;
    case rcNone: return;
  }
  V = Min(Max(V, FMinValue), FMaxValue);
  if (V != FValue) SetValue(V);
}

void TVxCustomSlider::TimerTrack() {
  if (RegionAt(FMousePos) == FStartRegion) Step(FStartRegion);
  if (!FTimerActive) {
    SetTimer(TrackTimerId, TrackInterval);
    FTimerActive = true;
  }
}

void TVxCustomSlider::StopTracking() {
  if (!FTracking) return;
  if (FTimerActive) {
    KillTimer(TrackTimerId);
    FTimerActive = false;
  }
  FTracking = false;
  SetMouseCapture(false);
  Changed();
}

void TVxCustomSlider::WndProc(TMessage& Message) {
  if (Message.Msg == WM_TIMER && Message.WParam == TrackTimerId) {
    if (FTracking) TimerTrack();
    return;
  }
  TCustomControl::WndProc(Message);
}

void TVxCustomSlider::ThumbMouseDown(int X, int Y) {
  if (!CanModify() || FReadOnly) return;
  FSliding = true;
  FThumbDown = true;
  FHit = Horizontal() ? X - FThumbRect.Left : Y - FThumbRect.Top;
  InvalidateRect(FThumbRect);
}

void TVxCustomSlider::ThumbMouseMove(int X, int Y) { SetThumbOffset(Horizontal() ? X - FHit : Y - FHit); }

void TVxCustomSlider::ThumbMouseUp() {
  FSliding = false;
  FThumbDown = false;
  InvalidateRect(FThumbRect);
  Changed();
}

void TVxCustomSlider::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || (Shift & ssDouble)) return;
  if (CanFocus() && !Focused()) SetFocus();
  if (FThumbRect.Contains(X, Y)) {
    ThumbMouseDown(X, Y);
    return;
  }
  TRect Track = Horizontal() ? TRect(FRulerOrigin.X, FRulerOrigin.Y - 3, FRulerOrigin.X + FRuler->Width(),
                                     FRulerOrigin.Y + FRuler->Height() + 3)
                             : TRect(FRulerOrigin.X - 3, FRulerOrigin.Y, FRulerOrigin.X + FRuler->Width() + 3,
                                     FRulerOrigin.Y + FRuler->Height());
  if (Track.Contains(X, Y)) {
    SetMouseCapture(true);
    FTracking = true;
    FMousePos = TPoint(X, Y);
    FStartRegion = RegionAt(FMousePos);
    TimerTrack();
  }
}

void TVxCustomSlider::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (FThumbDown && (Shift & ssLeft)) ThumbMouseMove(X, Y);
  else if (FTracking) FMousePos = TPoint(X, Y);
  if (!HasState(csDesigning)) SetCursor(FThumbRect.Contains(X, Y) ? crHand : crDefault);
}

void TVxCustomSlider::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  StopTracking();
  if (FThumbDown) ThumbMouseUp();
}

// --- keys and focus ---------------------------------------------------------------------------

bool TVxCustomSlider::WantsKey(uint16_t Key, TShiftState Shift) {
  return Key == VK_LEFT || Key == VK_RIGHT || Key == VK_UP || Key == VK_DOWN || TCustomControl::WantsKey(Key, Shift);
}

void TVxCustomSlider::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Shift & (ssShift | ssCtrl | ssAlt)) return;
  TRegionCode Code = rcNone;
  switch (Key) {
    case VK_HOME: Code = rcHome; break;
    case VK_END: Code = rcEnd; break;
    case VK_RIGHT: if (Horizontal()) Code = rcIncrease; break;
    case VK_LEFT: if (Horizontal()) Code = rcDecrease; break;
    case VK_UP: if (!Horizontal()) Code = rcIncrease; break;
    case VK_DOWN: if (!Horizontal()) Code = rcDecrease; break;
    default: break;
  }
  if (Code == rcNone || !CanModify() || FReadOnly) return;
  Key = 0;
  Step(Code);
  Changed();
}

void TVxCustomSlider::DoEnter() {
  TCustomControl::DoEnter();
  FFocused = true;
  if (FOptions & soShowFocus) Invalidate();
}

void TVxCustomSlider::DoExit() {
  TCustomControl::DoExit();
  FFocused = false;
  if (FOptions & soShowFocus) Invalidate();
}

void TVxCustomSlider::EnabledChanged() {
  TCustomControl::EnabledChanged();
  InvalidateRect(FThumbRect);
}

void TVxCustomSlider::Resize() {
  TCustomControl::Resize();
  if (!HasState(csLoading)) AdjustElements();
}
