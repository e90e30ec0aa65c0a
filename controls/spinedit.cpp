#include "controls/spinedit.h"

#include <cmath>

#include "controls/ctlutils.h"

namespace {

const unsigned InitRepeatPause = 400;  // ms before the first repeated step
const unsigned RepeatPause = 100;      // ms between repeated steps
const int ScrollBarWidth = 15;         // the standard button's width (the scroll bar's, at most 15)

std::unique_ptr<TBitmap> BuiltinGlyph(const char* Name) { return std::unique_ptr<TBitmap>(MakeModuleBitmap(Name)); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TVxSpinButton

TVxSpinButton::TVxSpinButton(TComponent* AOwner)
    : TGraphicControl(AOwner), FUpBitmap(BuiltinGlyph("RXSPINUP")), FDownBitmap(BuiltinGlyph("RXSPINDOWN")) {
  SetBounds(0, 0, 20, 20);
}

TVxSpinButton::~TVxSpinButton() {
  if (FFocusControl) FFocusControl->RemoveFreeNotification(this);
}

void TVxSpinButton::SetUpGlyph(TBitmap* Value) {
  if (Value) FUpBitmap->Assign(Value);
  else FUpBitmap = BuiltinGlyph("RXSPINUP");
  GlyphChanged();
}

void TVxSpinButton::SetDownGlyph(TBitmap* Value) {
  if (Value) FDownBitmap->Assign(Value);
  else FDownBitmap = BuiltinGlyph("RXSPINDOWN");
  GlyphChanged();
}

void TVxSpinButton::GlyphChanged() {
  FInvalidate = true;
  Invalidate();
}

void TVxSpinButton::SetDown(TSpinButtonState Value) {
  if (FDown == Value) return;
  FDown = Value;
  Repaint();
}

void TVxSpinButton::SetFocusControl(TWinControl* Value) {
  if (FFocusControl == Value) return;
  if (FFocusControl) FFocusControl->RemoveFreeNotification(this);
  FFocusControl = Value;
  if (FFocusControl) FFocusControl->FreeNotification(this);
}

void TVxSpinButton::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

// Above the diagonal from the bottom-left to the top-right corner.
bool TVxSpinButton::InTopHalf(int X, int Y) const {
  return Width() > 0 && Y <= Height() - double(Height()) / Width() * X;
}

void TVxSpinButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  FLeftDown = true;
  SetMouseCapture(true);
  if (FFocusControl && FFocusControl->TabStop() && FFocusControl->CanFocus() && !FFocusControl->Focused())
    FFocusControl->SetFocus();
  if (FDown == NotDown) {
    FLastDown = FDown;
    if (InTopHalf(X, Y)) {
      FDown = TopDown;
      TopClick();
    } else {
      FDown = BottomDown;
      BottomClick();
    }
    if (FLastDown != FDown) {
      FLastDown = FDown;
      Repaint();
    }
    if (!FRepeatTimer) {
      FRepeatTimer = new TTimer(this);
      FRepeatTimer->SetEnabled(false);
      FRepeatTimer->OnTimer = [this](TObject*) { TimerExpired(); };
    }
    FRepeatTimer->SetInterval(InitRepeatPause);
    FRepeatTimer->SetEnabled(true);
  }
  FDragging = true;
}

void TVxSpinButton::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!FDragging) return;
  const TSpinButtonState Old = FDown;
  if (X >= 0 && X <= Width() && Y >= 0 && Y <= Height()) {
    if (InTopHalf(X, Y)) {
      if (FDown != TopDown) FDown = FLastDown == TopDown ? TopDown : NotDown;
    } else if (FDown != BottomDown) {
      FDown = FLastDown == BottomDown ? BottomDown : NotDown;
    }
  } else {
    FDown = NotDown;
  }
  if (FDown != Old) Repaint();
}

void TVxSpinButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (Button == mbLeft) FLeftDown = false;
  if (!FDragging) return;
  FDragging = false;
  // Nothing is left to repeat once the button is up.
  if (FRepeatTimer) FRepeatTimer->SetEnabled(false);
  if (X >= 0 && X <= Width() && Y >= 0 && Y <= Height()) {
    FDown = NotDown;
    FLastDown = NotDown;
    Repaint();
  }
}

void TVxSpinButton::TopClick() {
  if (OnTopClick) OnTopClick(this);
  if (!FLeftDown) SetDown(NotDown);
}

void TVxSpinButton::BottomClick() {
  if (OnBottomClick) OnBottomClick(this);
  if (!FLeftDown) SetDown(NotDown);
}

void TVxSpinButton::TimerExpired() {
  FRepeatTimer->SetInterval(RepeatPause);
  if (FDown == NotDown || !MouseCapture()) return;
  try {
    if (FDown == BottomDown) BottomClick();
    else TopClick();
  } catch (...) {
    FRepeatTimer->SetEnabled(false);
    throw;
  }
}

void TVxSpinButton::DrawBitmap(TBitmap* Bitmap, TSpinButtonState State) {
  const int W = Width(), H = Height();
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(W, H);
  TCanvas* C = Bitmap->Canvas();
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(clBtnFace);
  C->Pen()->SetColor(clWindowFrame);
  C->Rectangle(0, 0, W, H);
  C->MoveTo(-1, H);
  C->LineTo(W, -1);
  // The upper half's bevel.
  C->Pen()->SetColor(State == TopDown ? clBtnShadow : clBtnHighlight);
  C->MoveTo(1, H - 4);
  C->LineTo(1, 1);
  C->LineTo(W - 3, 1);
  C->Pen()->SetColor(State == TopDown ? clBtnHighlight : clBtnShadow);
  if (State != TopDown) {
    C->MoveTo(1, H - 3);
    C->LineTo(W - 2, 0);
  }
  // The lower half's bevel.
  C->Pen()->SetColor(State == BottomDown ? clBtnHighlight : clBtnShadow);
  C->MoveTo(2, H - 2);
  C->LineTo(W - 2, H - 2);
  C->LineTo(W - 2, 1);
  C->Pen()->SetColor(State == BottomDown ? clBtnShadow : clBtnHighlight);
  C->MoveTo(2, H - 2);
  C->LineTo(W - 1, 1);
  const int D = State == TopDown ? 2 : 1;
  DrawBitmapTransparent(C, int(Round(W / 4.0 - FUpBitmap->Width() / 2.0)) + D,
                        int(Round(H / 4.0 - FUpBitmap->Height() / 2.0)) + D, FUpBitmap.get(), clDefault);
  DrawBitmapTransparent(C, int(Round(3 * W / 4.0 - FDownBitmap->Width() / 2.0)) - 1,
                        int(Round(3 * H / 4.0 - FDownBitmap->Height() / 2.0)) - 1, FDownBitmap.get(), clDefault);
  if (State == BottomDown) {
    C->Pen()->SetColor(clBtnShadow);
    C->MoveTo(3, H - 2);
    C->LineTo(W - 1, 2);
  }
}

void TVxSpinButton::DrawAllBitmaps() {
  if (!FTopDownBitmap) {
    FTopDownBitmap = std::make_unique<TBitmap>();
    FBottomDownBitmap = std::make_unique<TBitmap>();
    FNotDownBitmap = std::make_unique<TBitmap>();
  }
  DrawBitmap(FTopDownBitmap.get(), TopDown);
  DrawBitmap(FBottomDownBitmap.get(), BottomDown);
  DrawBitmap(FNotDownBitmap.get(), NotDown);
}

void TVxSpinButton::Paint() {
  if (!Enabled()) FDragging = false;
  if (Width() <= 0 || Height() <= 0) return;
  if (FInvalidate || !FNotDownBitmap || FNotDownBitmap->Width() != Width() || FNotDownBitmap->Height() != Height()) {
    FInvalidate = false;
    DrawAllBitmaps();
  }
  TBitmap* Face = FDown == TopDown ? FTopDownBitmap.get() : FDown == BottomDown ? FBottomDownBitmap.get()
                                                                                : FNotDownBitmap.get();
  Canvas()->Draw(0, 0, Face);
}

// ---------------------------------------------------------------------------------------------
// TVxUpDown

TVxUpDown::TVxUpDown(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(false);
  SetBounds(0, 0, ScrollBarWidth, 21);
}

void TVxUpDown::Paint() {
  TCanvas* C = Canvas();
  const int W = Width(), H = Height(), Mid = H / 2;
  for (int Half = 0; Half < 2; ++Half) {
    TRect R = Half == 0 ? TRect(0, 0, W, Mid) : TRect(0, Mid, W, H);
    const bool Pressed = (Half == 0 && FPressed == 1) || (Half == 1 && FPressed == -1);
    C->Brush()->SetColor(clBtnFace);
    C->FillRect(R);
    Frame3D(C, R, Pressed ? clBtnShadow : clBtnHighlight, Pressed ? clBtnHighlight : clBtnShadow, 1);
    // A small arrow in the middle of the half.
    const int Cx = W / 2, Cy = (Half == 0 ? Mid : Mid + H) / 2 - (Half == 0 ? 0 : 1);
    C->Pen()->SetColor(Enabled() ? clBtnText : clGrayText);
    for (int I = 0; I < 3; ++I) {
      const int Y = Half == 0 ? Cy - 1 + I : Cy + 1 - I;
      C->MoveTo(Cx - I, Y);
      C->LineTo(Cx + I + 1, Y);
    }
  }
}

void TVxUpDown::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled() || FChanging) return;
  FChanging = true;
  FPressed = Y < Height() / 2 ? 1 : -1;
  Invalidate();
  try {
    if (OnClick) OnClick(this, FPressed > 0 ? btNext : btPrev);
  } catch (...) {
    FChanging = false;
    throw;
  }
  FChanging = false;
}

void TVxUpDown::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  FPressed = 0;
  Invalidate();
}

// ---------------------------------------------------------------------------------------------
// TVxSpinEdit

TVxSpinEdit::TVxSpinEdit(TComponent* AOwner) : TEdit(AOwner) {
  TEdit::OnChange = [this](TObject*) { Change(); };
  SetText("0");
  RecreateButton();
}

TVxSpinEdit::~TVxSpinEdit() {
  FChanging = true;
  FreeButton();
}

void TVxSpinEdit::FreeButton() {
  delete FButton;
  FButton = nullptr;
  delete FBtnWindow;
  FBtnWindow = nullptr;
  delete FUpDown;
  FUpDown = nullptr;
}

void TVxSpinEdit::Change() {
  if (!FChanging && OnChange) OnChange(this);
}

void TVxSpinEdit::Beep() { MessageBeep(0); }

double TVxSpinEdit::CheckValue(double NewValue) const {
  if (FMaxValue > FMinValue) {
    if (NewValue < FMinValue) return FMinValue;
    if (NewValue > FMaxValue) return FMaxValue;
  }
  return NewValue;
}

double TVxSpinEdit::Value() const {
  try {
    switch (FValueType) {
      case vtFloat: return StrToFloat(Text());
      case vtHex: return StrToInt("$" + Text());
      default: return StrToInt(Text());
    }
  } catch (const Exception&) {
    return FValueType == vtFloat ? FMinValue : std::trunc(FMinValue);
  }
}

void TVxSpinEdit::SetValue(double NewValue) {
  const double V = CheckValue(NewValue);
  switch (FValueType) {
    case vtFloat: SetText(FloatToStrF(V, ffFixed, 15, FDecimal)); break;
    case vtHex: SetText(IntToHex(int32_t(Round(V)), 1)); break;
    default: SetText(IntToStr(Round(V))); break;
  }
}

void TVxSpinEdit::SetDecimal(int V) {
  if (V == FDecimal) return;
  FDecimal = V;
  SetValue(Value());
}

void TVxSpinEdit::SetValueType(TValueType V) {
  if (V == FValueType) return;
  FValueType = V;
  SetValue(Value());
  if (FValueType != vtFloat) {
    FIncrement = double(Round(FIncrement));
    if (FIncrement == 0) FIncrement = 1;
  }
}

void TVxSpinEdit::ApplyReadOnly() { TEdit::SetReadOnly(FReadOnly || !FEditorEnabled); }

void TVxSpinEdit::SetEditorEnabled(bool V) {
  FEditorEnabled = V;
  ApplyReadOnly();
}

void TVxSpinEdit::SetReadOnly(bool V) {
  FReadOnly = V;
  ApplyReadOnly();
}

void TVxSpinEdit::SetArrowKeys(bool V) {
  FArrowKeys = V;
  ResizeButton();
}

void TVxSpinEdit::SetButtonKind(TSpinButtonKind V) {
  if (V == FButtonKind) return;
  FButtonKind = V;
  RecreateButton();
  ResizeButton();
}

void TVxSpinEdit::RecreateButton() {
  if (HasState(csDestroying)) return;
  FreeButton();
  if (FButtonKind == bkStandard) {
    FUpDown = new TVxUpDown(this);
    FUpDown->SetBounds(0, 0, GetButtonWidth(), Height());
    FUpDown->SetParent(this);
    FUpDown->OnClick = [this](TObject*, TUDBtnType B) {
      if (TabStop() && CanFocus()) SetFocus();
      if (B == btNext) UpClick(FUpDown);
      else DownClick(FUpDown);
    };
  } else {
    FBtnWindow = new TCustomControl(this);
    FBtnWindow->SetTabStop(false);
    FBtnWindow->SetBounds(0, 0, Height(), Height());
    FBtnWindow->SetParent(this);
    FButton = new TVxSpinButton(this);
    FButton->SetFocusControl(this);
    FButton->OnTopClick = [this](TObject* S) { UpClick(S); };
    FButton->OnBottomClick = [this](TObject* S) { DownClick(S); };
    FButton->SetParent(FBtnWindow);
    FButton->SetBounds(0, 0, FBtnWindow->Width(), FBtnWindow->Height());
  }
  ResizeButton();
}

int TVxSpinEdit::GetButtonWidth() const {
  if (FUpDown) return FUpDown->Width();
  if (FButton) return FButton->Width();
  return ScrollBarWidth;
}

void TVxSpinEdit::ResizeButton() {
  const int W = Width(), H = Height();
  if (FBtnWindow) {
    // The edit's frame is two pixels wide; the square button sits inside it at the right edge.
    const int Side = Max(H - 3, 1);
    FBtnWindow->SetBounds(W - H + 1, 1, Side, Side);
    if (FButton) FButton->SetBounds(0, 0, Side, Side);
  } else if (FUpDown) {
    FUpDown->SetBounds(W - ScrollBarWidth, 0, ScrollBarWidth, H);
  }
}

int TVxSpinEdit::GetMinHeight() const { return FontTextHeight(*Font()) + 4 * 1 + 1; }

void TVxSpinEdit::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const int MinHeight = GetMinHeight();
  TEdit::SetBounds(ALeft, ATop, AWidth, AHeight < MinHeight ? MinHeight : AHeight);
  ResizeButton();
}

void TVxSpinEdit::FontChanged() {
  TEdit::FontChanged();
  if (Height() < GetMinHeight()) SetHeight(GetMinHeight());
  ResizeButton();
}

void TVxSpinEdit::SetEnabled(bool V) {
  TEdit::SetEnabled(V);
  if (FUpDown) {
    FUpDown->SetEnabled(V);
    ResizeButton();
  }
  if (FButton) FButton->SetEnabled(V);
}

bool TVxSpinEdit::IsValidChar(char Key) const {
  const unsigned char K = static_cast<unsigned char>(Key);
  bool Valid = Key == '+' || Key == '-' || (Key >= '0' && Key <= '9');
  if (FValueType == vtFloat) {
    const char Sep = FormatSettings.DecimalSeparator;
    if (Key == Sep && Text().find(Sep) == std::string::npos) Valid = true;
    if ((Key == 'e' || Key == 'E') && UpperCase(Text()).find('E') == std::string::npos) Valid = true;
  } else if (FValueType == vtHex) {
    if ((Key >= 'A' && Key <= 'F') || (Key >= 'a' && Key <= 'f')) Valid = true;
  }
  if (K < 32) Valid = true;
  if (Valid && !FEditorEnabled && (K >= 32 || K == 8)) Valid = false;
  return Valid;
}

// One step by Delta: the text is rewritten without change notification, which runs once
// afterwards when the text really changed; Done fires either way.
void TVxSpinEdit::StepBy(double Delta, const TNotifyEvent& Done) {
  if (ReadOnly()) {
    Beep();
    return;
  }
  FChanging = true;
  const std::string OldText = Text();
  try {
    SetValue(Value() + Delta);
  } catch (...) {
    FChanging = false;
    throw;
  }
  FChanging = false;
  if (!SameText(Text(), OldText)) {
    SetModified(true);
    Change();
  }
  if (Done) Done(this);
}

void TVxSpinEdit::UpClick(TObject*) { StepBy(FIncrement, OnTopClick); }

void TVxSpinEdit::DownClick(TObject*) { StepBy(-FIncrement, OnBottomClick); }

void TVxSpinEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  TEdit::KeyDown(Key, Shift);
  if (!FArrowKeys) return;
  if (Key == VK_UP) {
    UpClick(this);
    Key = 0;
  } else if (Key == VK_DOWN) {
    DownClick(this);
    Key = 0;
  }
}

void TVxSpinEdit::KeyPress(char& Key) {
  if (!IsValidChar(Key)) {
    Key = 0;
    Beep();
  }
  if (Key != 0) TEdit::KeyPress(Key);
  // Enter reaches the form as its dialog key before it becomes a character; it never goes into
  // the text.
  if (Key == '\r') Key = 0;
}

void TVxSpinEdit::DoEnter() {
  TEdit::DoEnter();
  if (FAutoSelect && !(GetKeyState(VK_LBUTTON) & 0x8000)) SelectAll();
}

void TVxSpinEdit::DoExit() {
  TEdit::DoExit();
  const double V = Value();
  if (CheckValue(V) != V) SetValue(V);
}
