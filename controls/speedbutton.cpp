#include "controls/speedbutton.h"

#include <algorithm>

#include "controls/ctlutils.h"

// ---------------------------------------------------------------------------------------------
// TGlyphList and TGlyphCache

int TGlyphList::AddMasked(TBitmap* Image, TColor MaskColor) {
  auto Copy = std::make_unique<TBitmap>();
  Copy->SetPixelFormat(pf24bit);
  Copy->SetSize(FWidth, FHeight);
  Copy->Canvas()->CopyRect(TRect(0, 0, FWidth, FHeight), Image->Canvas(), TRect(0, 0, FWidth, FHeight));
  Copy->SetTransparentColor(ColorToRGB(MaskColor) & 0xFFFFFF);
  Copy->SetTransparent(true);
  size_t Slot = 0;
  while (Slot < FSlots.size() && FSlots[Slot]) ++Slot;
  if (Slot == FSlots.size()) FSlots.emplace_back();
  FSlots[Slot] = std::move(Copy);
  ++FCount;
  return int(Slot);
}

void TGlyphList::Delete(int Index) {
  if (Index < 0 || size_t(Index) >= FSlots.size() || !FSlots[size_t(Index)]) return;
  FSlots[size_t(Index)].reset();
  --FCount;
}

TBitmap* TGlyphList::Image(int Index) const {
  return Index >= 0 && size_t(Index) < FSlots.size() ? FSlots[size_t(Index)].get() : nullptr;
}

void TGlyphList::Draw(TCanvas* Canvas, int X, int Y, int Index) const {
  if (TBitmap* B = Image(Index)) Canvas->Draw(X, Y, B);
}

void ImageListDrawDisabled(TGlyphList* Images, TCanvas* Canvas, int X, int Y, int Index, TColor HighlightColor,
                           TColor ShadowColor, bool DrawHighlight) {
  TBitmap* Image = Images ? Images->Image(Index) : nullptr;
  if (!Image || !Canvas) return;
  const TColor Key = Image->TransparentColor() & 0xFFFFFF;
  std::unique_ptr<TBitmap> Embossed(
      CreateDisabledBitmapEx(Image, Key, Key, HighlightColor, ShadowColor, DrawHighlight));
  DrawBitmapTransparent(Canvas, X, Y, Embossed.get(), Key);
}

TGlyphCache::~TGlyphCache() {
  for (TGlyphList* L : FLists) delete L;
}

TGlyphList* TGlyphCache::GetList(int Width, int Height) {
  for (auto It = FLists.rbegin(); It != FLists.rend(); ++It)
    if ((*It)->Width() == Width && (*It)->Height() == Height) return *It;
  FLists.push_back(new TGlyphList(Width, Height));
  return FLists.back();
}

void TGlyphCache::ReturnList(TGlyphList* List) {
  if (!List || List->Count() > 0) return;
  auto It = std::find(FLists.begin(), FLists.end(), List);
  if (It != FLists.end()) FLists.erase(It);
  delete List;
}

namespace {
TGlyphCache* Cache = nullptr;
int GlyphCount = 0;
int SpeedButtonCount = 0;

// An 8 x 8 checker of button face and highlight: the face of a button held down in its group.
void FillDither(TCanvas* Canvas, const TRect& R) {
  const TColor Face = ColorToRGB(clBtnFace), Light = ColorToRGB(clBtnHighlight);
  for (int Y = R.Top; Y < R.Bottom; ++Y)
    for (int X = R.Left; X < R.Right; ++X) Canvas->SetPixel(X, Y, ((X + Y) & 1) ? Face : Light);
}
}  // namespace

TGlyphCache* GlyphCache() { return Cache; }

// ---------------------------------------------------------------------------------------------
// TVxButtonGlyph

TVxButtonGlyph::TVxButtonGlyph() : FOriginal(std::make_unique<TBitmap>()) {
  FIndexes.fill(-1);
  if (!Cache) Cache = new TGlyphCache();
  ++GlyphCount;
}

TVxButtonGlyph::~TVxButtonGlyph() {
  Invalidate();
  if (--GlyphCount == 0 && Cache && Cache->Empty()) {
    delete Cache;
    Cache = nullptr;
  }
}

void TVxButtonGlyph::Invalidate() {
  for (int& I : FIndexes) {
    if (I != -1 && FGlyphList) FGlyphList->Delete(I);
    I = -1;
  }
  if (FGlyphList && Cache) Cache->ReturnList(FGlyphList);
  FGlyphList = nullptr;
}

void TVxButtonGlyph::GlyphChanged() {
  Invalidate();
  if (OnChange) OnChange(this);
}

void TVxButtonGlyph::SetGlyph(TBitmap* Value) {
  if (Value) FOriginal->Assign(Value);
  else FOriginal = std::make_unique<TBitmap>();
  if (Value && Value->Height() > 0 && Value->Width() % Value->Height() == 0) {
    const int N = Value->Width() / Value->Height();
    FNumGlyphs = N > 5 ? 1 : Max(N, 1);
  }
  GlyphChanged();
}

void TVxButtonGlyph::SetNumGlyphs(TVxNumGlyphs Value) {
  Value = Min(Max(Value, 1), 5);
  if (Value == FNumGlyphs) return;
  FNumGlyphs = Value;
  GlyphChanged();
}

void TVxButtonGlyph::SetTransparentColor(TColor Value) {
  if (Value == FTransparentColor) return;
  FTransparentColor = Value;
  GlyphChanged();
}

int TVxButtonGlyph::CreateButtonGlyph(TVxButtonState State) {
  if (State == rbsDown && FNumGlyphs < 3) State = rbsUp;
  int& Index = FIndexes[size_t(State)];
  if (Index != -1) return Index;
  if (FOriginal->Empty()) return -1;
  const int IW = FOriginal->Width() / FNumGlyphs, IH = FOriginal->Height();
  if (IW <= 0 || IH <= 0) return -1;
  if (!FGlyphList) FGlyphList = Cache->GetList(IW, IH);
  auto Part = [&](int Image) {
    auto B = std::make_unique<TBitmap>();
    B->SetPixelFormat(pf24bit);
    B->SetSize(IW, IH);
    B->Canvas()->CopyRect(TRect(0, 0, IW, IH), FOriginal->Canvas(), Bounds(Image * IW, 0, IW, IH));
    return B;
  };
  const TColor Key = ColorToRGB(FTransparentColor) & 0xFFFFFF;
  std::unique_ptr<TBitmap> Img;
  switch (State) {
    case rbsUp:
    case rbsDown:
    case rbsExclusive: Img = Part(int(State) < FNumGlyphs ? int(State) : 0); break;
    case rbsDisabled:
      if (FNumGlyphs > 1) {
        Img = Part(1);
      } else {
        std::unique_ptr<TBitmap> Up = Part(0);
        Img.reset(CreateDisabledBitmapEx(Up.get(), Key, Key, clBtnHighlight, clBtnShadow, true));
      }
      break;
    case rbsInactive:
      if (FNumGlyphs > 4) {
        Img = Part(4);
      } else {
        Img = Part(0);
        const uint32_t Face = uint32_t(ColorToRGB(clBtnFace));
        for (int Y = 0; Y < IH; ++Y) {
          uint32_t* Row = Img->ScanLine(Y);
          for (int X = 0; X < IW; ++X) {
            const uint32_t P = Row[X] & 0xFFFFFF;
            const uint32_t R = (P >> 16) & 255, G = (P >> 8) & 255, B = P & 255;
            const TColor C = TColor(R | (G << 8) | (B << 16));
            if (C == Key || uint32_t(C) == Face) continue;
            const uint32_t Grey = (R * 77 + G * 150 + B * 29) / 256;
            Row[X] = 0xFF000000u | (Grey << 16) | (Grey << 8) | Grey;
          }
        }
      }
      break;
  }
  Index = FGlyphList->AddMasked(Img.get(), Key);
  return Index;
}

unsigned TVxButtonGlyph::TextFlags() const {
  unsigned Flags = FWordWrap ? DT_WORDBREAK : DT_SINGLELINE;
  if (FAlignment == taCenter) Flags |= DT_CENTER;
  else if (FAlignment == taRightJustify) Flags |= DT_RIGHT;
  if (Application && Application->UseRightToLeftReading()) Flags |= DT_RTLREADING;
  return Flags;
}

std::string TVxButtonGlyph::CalcButtonLayout(TCanvas* Canvas, const TRect& Client, TPoint Offset,
                                             const std::string& Caption, TButtonLayout Layout, int Margin,
                                             int Spacing, TPoint& GlyphPos, TRect& TextBounds) {
  const TSize ClientSize(Client.Width(), Client.Height());
  TSize GlyphSize;
  if (!FOriginal->Empty()) GlyphSize = TSize(FOriginal->Width() / FNumGlyphs, FOriginal->Height());
  const bool Horizontal = Layout == blGlyphLeft || Layout == blGlyphRight;
  int Room = Horizontal ? ClientSize.cx - GlyphSize.cx - (Margin == -1 ? 0 : Margin) - (Spacing == -1 ? 0 : Spacing)
                        : ClientSize.cx;
  std::string Text = Caption;
  if (!FWordWrap && !Text.empty()) {
    // Every line is shortened on its own.
    std::string Out, Line;
    for (size_t I = 0; I <= Text.size(); ++I) {
      if (I == Text.size() || Text[I] == '\n' || Text[I] == '\r') {
        if (!Line.empty()) Out += MinimizeText(Line, Canvas, Max(Room, 0));
        if (I < Text.size()) Out += Text[I];
        Line.clear();
      } else {
        Line += Text[I];
      }
    }
    Text = Out;
  }
  TSize TextSize;
  if (!Text.empty()) {
    TRect Calc(0, 0, Max(Room, 1), 0);
    Canvas->DrawText(Text, Calc, TextFlags() | DT_CALCRECT);
    TextSize = TSize(Calc.Width(), Calc.Height());
  }
  TPoint TextPos;
  if (Horizontal) {
    GlyphPos.Y = (ClientSize.cy - GlyphSize.cy + 1) / 2;
    TextPos.Y = (ClientSize.cy - TextSize.cy + 1) / 2;
  } else {
    GlyphPos.X = (ClientSize.cx - GlyphSize.cx + 1) / 2;
    TextPos.X = (ClientSize.cx - TextSize.cx + 1) / 2;
  }
  if (TextSize.cx == 0 || GlyphSize.cx == 0) Spacing = 0;
  const int ClientAxis = Horizontal ? ClientSize.cx : ClientSize.cy;
  const int GlyphAxis = Horizontal ? GlyphSize.cx : GlyphSize.cy;
  const int TextAxis = Horizontal ? TextSize.cx : TextSize.cy;
  if (Margin == -1) {
    if (Spacing == -1) {
      Margin = (ClientAxis - (GlyphAxis + TextAxis)) / 3;
      Spacing = Margin;
    } else {
      Margin = (ClientAxis - (GlyphAxis + Spacing + TextAxis) + 1) / 2;
    }
  } else if (Spacing == -1) {
    Spacing = (ClientAxis - (Margin + GlyphAxis) - TextAxis) / 2;
  }
  switch (Layout) {
    case blGlyphLeft:
      GlyphPos.X = Margin;
      TextPos.X = GlyphPos.X + GlyphSize.cx + Spacing;
      break;
    case blGlyphRight:
      GlyphPos.X = ClientSize.cx - Margin - GlyphSize.cx;
      TextPos.X = GlyphPos.X - Spacing - TextSize.cx;
      break;
    case blGlyphTop:
      GlyphPos.Y = Margin;
      TextPos.Y = GlyphPos.Y + GlyphSize.cy + Spacing;
      break;
    case blGlyphBottom:
      GlyphPos.Y = ClientSize.cy - Margin - GlyphSize.cy;
      TextPos.Y = GlyphPos.Y - Spacing - TextSize.cy;
      break;
  }
  GlyphPos = TPoint(GlyphPos.X + Client.Left + Offset.X, GlyphPos.Y + Client.Top + Offset.Y);
  TextBounds = Bounds(TextPos.X + Client.Left + Offset.X, TextPos.Y + Client.Top + Offset.Y, TextSize.cx, TextSize.cy);
  return Text;
}

void TVxButtonGlyph::DrawButtonGlyph(TCanvas* Canvas, TPoint GlyphPos, TVxButtonState State) {
  const int Index = CreateButtonGlyph(State);
  if (Index != -1 && FGlyphList) FGlyphList->Draw(Canvas, GlyphPos.X, GlyphPos.Y, Index);
}

void TVxButtonGlyph::DrawButtonText(TCanvas* Canvas, const std::string& Caption, TRect TextBounds,
                                    TVxButtonState State) {
  if (Caption.empty()) return;
  Canvas->Brush()->SetStyle(bsClear);
  const unsigned Flags = TextFlags() | DT_VCENTER;
  if (State == rbsDisabled) {
    TRect Shifted = OffsetRect(TextBounds, 1, 1);
    Canvas->Font()->SetColor(clBtnHighlight);
    Canvas->DrawText(Caption, Shifted, Flags);
    Canvas->Font()->SetColor(clBtnShadow);
  }
  Canvas->DrawText(Caption, TextBounds, Flags);
}

TRect TVxButtonGlyph::Draw(TCanvas* Canvas, const TRect& Client, TPoint Offset, const std::string& Caption,
                           TButtonLayout Layout, int Margin, int Spacing, TVxButtonState State) {
  TPoint GlyphPos;
  TRect TextBounds;
  const std::string Text = CalcButtonLayout(Canvas, Client, Offset, Caption, Layout, Margin, Spacing, GlyphPos, TextBounds);
  DrawButtonGlyph(Canvas, GlyphPos, State);
  DrawButtonText(Canvas, Text, TextBounds, State == rbsInactive ? rbsUp : State);
  return TextBounds;
}

// ---------------------------------------------------------------------------------------------
// TVxSpeedButton

TVxSpeedButton::TVxSpeedButton(TComponent* AOwner)
    : TGraphicControl(AOwner), FGlyph(std::make_unique<TVxButtonGlyph>()), FDrawImage(std::make_unique<TBitmap>()) {
  ++SpeedButtonCount;
  FGlyph->OnChange = [this](TObject*) { Invalidate(); };
  // The button fires its click itself on release, so that a group button toggles first.
  SetControlStyle(csCaptureMouse | csDoubleClicks);
  SetBounds(Left(), Top(), 25, 25);
  SetParentFont(true);
  SetShowHint(true);
  SetParentShowHint(false);
}

TVxSpeedButton::~TVxSpeedButton() { --SpeedButtonCount; }

int TVxSpeedButton::ButtonCount() { return SpeedButtonCount; }

void TVxSpeedButton::SetGlyph(TBitmap* V) {
  FGlyph->SetGlyph(V);
  if (V) FGlyph->SetTransparentColor(V->TransparentColor() & 0xFFFFFF);
  Invalidate();
}

void TVxSpeedButton::SetNumGlyphs(TVxNumGlyphs V) {
  FGlyph->SetNumGlyphs(V > 5 ? 5 : V);
  Invalidate();
}

void TVxSpeedButton::SetLayout(TButtonLayout V) {
  if (V == FLayout) return;
  FLayout = V;
  Invalidate();
}

void TVxSpeedButton::SetMargin(int V) {
  if (V == FMargin || V < -1) return;
  FMargin = V;
  Invalidate();
}

void TVxSpeedButton::SetSpacing(int V) {
  if (V == FSpacing) return;
  FSpacing = V;
  Invalidate();
}

void TVxSpeedButton::SetFlat(bool V) {
  if (V == FFlat) return;
  FFlat = V;
  Invalidate();
}

void TVxSpeedButton::SetStyle(TButtonStyle V) {
  if (V == FStyle) return;
  FStyle = V;
  Invalidate();
}

void TVxSpeedButton::SetTransparent(bool V) {
  if (V == FTransparent) return;
  FTransparent = V;
  Invalidate();
}

void TVxSpeedButton::SetGrayedInactive(bool V) {
  if (V == FGrayedInactive) return;
  FGrayedInactive = V;
  Invalidate();
}

void TVxSpeedButton::SetWordWrap(bool V) {
  if (V == FGlyph->WordWrap()) return;
  FGlyph->SetWordWrap(V);
  Invalidate();
}

void TVxSpeedButton::SetAlignment(TAlignment V) {
  if (V == FGlyph->Alignment()) return;
  FGlyph->SetAlignment(V);
  Invalidate();
}

void TVxSpeedButton::SetAllowTimer(bool V) {
  FAllowTimer = V;
  if (!V) {
    delete FRepeatTimer;
    FRepeatTimer = nullptr;
  }
}

void TVxSpeedButton::SetCaption(const std::string& S) {
  TGraphicControl::SetCaption(S);
  Invalidate();
}

// --- groups -----------------------------------------------------------------------------------

void TVxSpeedButton::SetDown(bool V) {
  if (FGroupIndex == 0) V = false;
  if (V == FDown) return;
  if (FDown && !FAllowAllUp) return;
  FDown = V;
  if (V) {
    FState = rbsExclusive;
    UpdateExclusive();
  } else {
    FState = rbsUp;
  }
  Repaint();
}

void TVxSpeedButton::SetGroupIndex(int V) {
  if (V == FGroupIndex) return;
  FGroupIndex = V;
  UpdateExclusive();
}

void TVxSpeedButton::SetAllowAllUp(bool V) {
  if (V == FAllowAllUp) return;
  FAllowAllUp = V;
  UpdateExclusive();
}

// Tells the other buttons of the group: they share AllowAllUp, and they release when this one is
// down.
void TVxSpeedButton::UpdateExclusive() {
  if (FGroupIndex == 0 || !Parent()) return;
  TWinControl* P = Parent();
  for (int I = 0; I < P->ControlCount(); ++I)
    if (auto* B = dynamic_cast<TVxSpeedButton*>(P->Controls(I)); B && B != this) B->GroupNotify(this);
}

void TVxSpeedButton::GroupNotify(TVxSpeedButton* Sender) {
  if (Sender->FGroupIndex != FGroupIndex) return;
  if (Sender->FDown && FDown) {
    FDown = false;
    FState = rbsUp;
    Invalidate();
  }
  FAllowAllUp = Sender->FAllowAllUp;
}

// --- mouse ------------------------------------------------------------------------------------

void TVxSpeedButton::MouseEnter() {
  TGraphicControl::MouseEnter();
  if (!FMouseInControl && Enabled() && IsForegroundTask()) {
    FMouseInControl = true;
    if (FFlat) Repaint();
  }
}

void TVxSpeedButton::MouseLeave() {
  TGraphicControl::MouseLeave();
  if (FMouseInControl && Enabled() && !FDragging) {
    FMouseInControl = false;
    if (FFlat) Invalidate();
  }
}

void TVxSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (!FMouseInControl) {
    FMouseInControl = true;
    Repaint();
  }
  if (!FDown) {
    FState = rbsDown;
    Repaint();
  }
  FDragging = true;
  SetMouseCapture(true);
  if (FAllowTimer) {
    if (!FRepeatTimer) {
      FRepeatTimer = new TTimer(this);
      FRepeatTimer->SetEnabled(false);
      FRepeatTimer->OnTimer = [this](TObject*) { TimerExpired(); };
    }
    FRepeatTimer->SetInterval(FInitPause);
    FRepeatTimer->SetEnabled(true);
  }
}

void TVxSpeedButton::TimerExpired() {
  FRepeatTimer->SetInterval(FRepeatInterval);
  if (FState != rbsDown || !MouseCapture()) return;
  try {
    Click();
  } catch (...) {
    FRepeatTimer->SetEnabled(false);
    throw;
  }
}

void TVxSpeedButton::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!FDragging) return;
  TVxButtonState NewState;
  if (Inside(X, Y)) NewState = FDown ? rbsExclusive : rbsDown;
  else NewState = FDown ? rbsExclusive : rbsUp;
  if (NewState != FState) {
    FState = NewState;
    Invalidate();
  }
}

void TVxSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (FRepeatTimer) FRepeatTimer->SetEnabled(false);
  if (!FDragging) return;
  FDragging = false;
  const bool In = Inside(X, Y);
  if (FGroupIndex == 0) {
    FState = rbsUp;
    FMouseInControl = In;
  } else if (In) {
    SetDown(!FDown);
    FState = FDown ? rbsExclusive : rbsUp;
  } else if (FDown) {
    FState = rbsExclusive;
  } else {
    FState = rbsUp;
  }
  Repaint();
  if (In) Click();
}

void TVxSpeedButton::DblClick() {
  if (FDown) TGraphicControl::DblClick();
}

void TVxSpeedButton::WndProc(TMessage& Message) {
  if (Message.Msg == CM_DIALOGCHAR) {
    if (Enabled() && Showing() && IsAccel(char(Message.WParam), Caption())) {
      Click();
      Message.Result = 1;
      return;
    }
  }
  TGraphicControl::WndProc(Message);
}

void TVxSpeedButton::SetVisible(bool V) {
  TGraphicControl::SetVisible(V);
  if (!V) FMouseInControl = false;
}

void TVxSpeedButton::SetEnabled(bool V) {
  TGraphicControl::SetEnabled(V);
  if (!V) FMouseInControl = false;
  Invalidate();
}

// --- painting ---------------------------------------------------------------------------------

TRect TVxSpeedButton::PaintGlyph(TCanvas* Canvas, const TRect& ARect, TVxButtonState AState) {
  const TPoint Offset = (AState == rbsDown || AState == rbsExclusive) ? TPoint(1, 1) : TPoint(0, 0);
  return FGlyph->Draw(Canvas, ARect, Offset, Caption(), FLayout, FMargin, FSpacing, AState);
}

void TVxSpeedButton::Paint() {
  const int W = Width(), H = Height();
  if (W <= 0 || H <= 0) return;
  if (!Enabled()) {
    FState = rbsDisabled;
    FDragging = false;
  } else if (FState == rbsDisabled) {
    FState = (FDown && FGroupIndex != 0) ? rbsExclusive : rbsUp;
  }
  TVxButtonState PaintState = FState;
  if (FFlat && !FMouseInControl && !HasState(csDesigning) && FGrayedInactive && FState != rbsDisabled)
    PaintState = rbsInactive;
  FDrawImage->SetPixelFormat(pf24bit);
  FDrawImage->SetSize(W, H);
  TCanvas* C = FDrawImage->Canvas();
  C->SetFont(*Font());
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(clBtnFace);
  TRect R(0, 0, W, H);
  C->FillRect(R);
  if (FTransparent) CopyParentImage(this, C);
  const bool Pressed = FState == rbsDown || FState == rbsExclusive;
  if (!FFlat || FMouseInControl || FState == rbsExclusive || HasState(csDesigning)) {
    const bool NewStyle = FStyle == bsNew || FStyle == bsAutoDetect;
    if (NewStyle) {
      if (Pressed) {
        C->Frame3D(R, clWindowFrame, clBtnHighlight, 1);
        if (!FFlat) C->Frame3D(R, clBtnShadow, clBtnFace, 1);
      } else if (FFlat) {
        C->Frame3D(R, clBtnHighlight, clBtnShadow, 1);
      } else {
        C->Frame3D(R, clBtnHighlight, clWindowFrame, 1);
        C->Frame3D(R, clBtnFace, clBtnShadow, 1);
      }
    } else if (Pressed) {
      if (FFlat) {
        C->Frame3D(R, clWindowFrame, clBtnHighlight, 1);
      } else {
        C->Brush()->SetColor(clWindowFrame);
        C->FrameRect(R);
        R = InflateRect(R, -1, -1);
        C->Pen()->SetColor(clBtnShadow);
        C->MoveTo(R.Left, R.Bottom - 1);
        C->LineTo(R.Left, R.Top);
        C->LineTo(R.Right, R.Top);
      }
    } else if (FFlat) {
      C->Frame3D(R, clBtnHighlight, clWindowFrame, 1);
    } else {
      C->Brush()->SetColor(clWindowFrame);
      C->FrameRect(R);
      R = InflateRect(R, -1, -1);
      C->Frame3D(R, clBtnHighlight, clBtnShadow, 1);
    }
  } else {
    R = InflateRect(R, -2, -2);
  }
  if (FState == rbsExclusive && !FTransparent) FillDither(C, R);
  C->Brush()->SetStyle(bsClear);
  C->Font()->SetColor(clBtnText);
  PaintGlyph(C, TRect(0, 0, W, H), PaintState);
  Canvas()->Draw(0, 0, FDrawImage.get());
}
