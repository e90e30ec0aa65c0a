#include "htmlview/htmlforms.h"

#include <algorithm>

#include "htmlview/htmldraw.h"
#include "htmlview/htmlfonts.h"
#include "htmlview/htmlobjects.h"
#include "htmlview/readhtml.h"
#include "platform/core/classes.h"
#include "platform/gui/graphics.h"
#include "platform/gui/stdctrls.h"

namespace {

std::string AttrText(const TAttributeList& Attributes, Symb Sy) {
  TAttribute* A = nullptr;
  return Attributes.Find(Sy, A) ? A->Text : std::string();
}
bool HasAttr(const TAttributeList& Attributes, Symb Sy) {
  TAttribute* A = nullptr;
  return Attributes.Find(Sy, A);
}

// A canvas for measuring text in a font (a control's font before the control is shown).
TSize MeasureText(TCanvas* Canvas, const TFont* Font, const std::string& S) {
  if (Font) Canvas->SetFont(*Font);
  return Canvas->TextExtent(S);
}

constexpr int ScrollBarWidth = 16;

}  // namespace

// ---- ThtmlForm ----

ThtmlForm::ThtmlForm(TSectionList* ADocument, const TAttributeList& Attributes) : Document(ADocument) {
  for (int I = 0; I < Attributes.Count(); ++I) {
    const TAttribute* A = Attributes[I];
    switch (A->Symbol) {
      case MethodSy: Method = A->Text.substr(0, 4); break;
      case ActionSy: Action = A->Text; break;
      case TargetSy: Target = A->Text; break;
      case EncTypeSy: EncType = A->Text; break;
      default: break;
    }
  }
  if (Document) Document->Forms.Add(this);
}

void ThtmlForm::AddControl(TFormControlObj* Control) {
  Controls.Add(Control);
  Control->Form = this;
  if (!dynamic_cast<THiddenFormControlObj*>(Control)) ++VisibleCount;
}

void ThtmlForm::UncheckRadioGroup(TFormControlObj* Radio) {
  if (Radio->Name.empty()) return;
  for (int I = 0; I < Controls.Count(); ++I) {
    auto* R = dynamic_cast<TRadioButtonFormControlObj*>(Controls[I]);
    if (R && R != Radio && SameText(R->Name, Radio->Name)) R->SetChecked(false);
  }
}

void ThtmlForm::ResetAll() {
  for (int I = 0; I < Controls.Count(); ++I) Controls[I]->ResetToValue();
}

void ThtmlForm::KeyPressed(TObject* Sender, char& Key) {
  if (Key != '\r') return;
  for (int I = 0; I < Controls.Count(); ++I)
    if (dynamic_cast<TEditFormControlObj*>(Controls[I]) && Controls[I]->Control == Sender) {
      Submit("");
      Key = 0;
      return;
    }
}

std::vector<std::string> ThtmlForm::CollectSubmission() {
  std::vector<std::string> R;
  for (int I = 0; I < Controls.Count(); ++I) {
    std::string S;
    // A list answers once per item; the count is bounded by what the control holds.
    for (int N = 0; N < 100000 && Controls[I]->GetSubmission(N, S); ++N) {
      if (!S.empty()) R.push_back(S);
      S.clear();
    }
  }
  return R;
}

void ThtmlForm::Submit(const std::string& ButtonText) {
  if (!Document || !Document->OnFormSubmit) return;
  std::vector<std::string> Results = CollectSubmission();
  if (!ButtonText.empty()) Results.push_back(ButtonText);
  Document->OnFormSubmit(Document->OwnerControl, Action, Target, EncType, Method, Results);
}

void ThtmlForm::RestoreData(const std::vector<std::string>& Lines) {
  for (int I = 0; I < Controls.Count(); ++I) {
    TFormControlObj* C = Controls[I];
    C->SetDataInit();
    int N = 0;
    for (const std::string& L : Lines) {
      const size_t Eq = L.find('=');
      if (Eq == std::string::npos) continue;
      if (SameText(L.substr(0, Eq), C->Name)) C->SetData(N++, L.substr(Eq + 1));
    }
  }
}

void ThtmlForm::SizeControls(TCanvas* Canvas) {
  for (int I = 0; I < Controls.Count(); ++I) Controls[I]->SizeControl(Canvas);
}

// ---- TFormControlObj ----

TFormControlObj::TFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes)
    : Pos(APosition), Document(ADocument) {
  Value = AttrText(Attributes, ValueSy);
  Name = AttrText(Attributes, NameSy);
  OnClickText = AttrText(Attributes, OnClickSy);
  const std::string Id = AttrText(Attributes, IDSy);
  if (Document && !Id.empty()) {
    Document->IDNameList.AddObject(Id, this);
    HasID = true;
  }
}

TFormControlObj::~TFormControlObj() {
  if (Document) {
    if (HasID) Document->IDNameList.RemoveObject(this);
    auto& L = Document->FormControlList;
    L.erase(std::remove(L.begin(), L.end(), this), L.end());
  }
  delete Control;
}

void TFormControlObj::Setup(TWinControl* AControl) {
  Control = AControl;
  if (Document && Document->PaintPanel) Control->SetParent(Document->PaintPanel);
  Control->SetVisible(false);
  Control->SetTop(-400);
  if (ControlFont) Control->Font()->Assign(*ControlFont);
  Control->OnEnter = [this](TObject*) {
    if (Document && Document->Printing) return;
    Active = true;
    if (Document && Document->PaintPanel) Document->PaintPanel->Invalidate();
    if (Document && Document->OnControlEnter) Document->OnControlEnter(this);
    // Controls out of view stay reachable by the keyboard, parked left of the panel.
    if (Document)
      for (TFormControlObj* C : Document->FormControlList)
        if (!C->Placed && C->Control) {
          C->Control->SetLeft(-4000);
          C->Control->SetVisible(true);
        }
  };
  Control->OnExit = [this](TObject*) {
    Active = false;
    if (Document && Document->PaintPanel) Document->PaintPanel->Invalidate();
  };
}

void TFormControlObj::ControlClicked() {
  if (Document && Document->OnObjectClick) Document->OnObjectClick(Document->OwnerControl, this, OnClickText);
}

void TFormControlObj::ApplyStyle(TProperties& Props) {
  const TStyleSizes Z = StyleSizes(Props);
  if (Z.HasLeft) HSpaceL = Z.Left;
  if (Z.HasRight) HSpaceR = Z.Right;
  if (Z.Width >= 10) StyleWidth = std::min(Z.Width, 10000);
  if (Z.Height >= 10) StyleHeight = std::min(Z.Height, 10000);
  const int V = Props.GetVertAlign();
  if (V == ATop || V == AMiddle || V == ABaseline || V == ABottom) FormAlign = static_cast<uint8_t>(V);
}

int TFormControlObj::Width() const { return Control ? Control->Width() : 0; }
int TFormControlObj::Height() const { return Control ? Control->Height() : 0; }

void TFormControlObj::ShowAt(int X, int Y, int DocY) {
  PlacedY = DocY;
  Placed = true;
  if (!Control) return;
  Control->SetBounds(X, Y, Control->Width(), Control->Height());
  Control->SetVisible(true);
}

void TFormControlObj::PrintFrame(TCanvas* Canvas, int X, int Y, bool Raised) {
  DrawControlFrame(Canvas, X, Y, X + Width(), Y + Height(), Raised, false);
}

// ---- kinds ----

bool THiddenFormControlObj::GetSubmission(int Index, std::string& S) {
  if (Index != 0) return false;
  S = Name + "=" + Value;
  return true;
}

void THiddenFormControlObj::SetData(int Index, const std::string& V) {
  (void)Index;
  Value = V;
}

TEditFormControlObj::TEditFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes,
                                         bool Password)
    : TFormControlObj(ADocument, APosition, Attributes) {
  TAttribute* A = nullptr;
  if (Attributes.Find(SizeSy, A)) {
    if (A->Value >= 1) {
      Columns = std::min(A->Value, 1000);
    } else {
      // "20, 1": the number before the first blank or comma.
      const std::string& T = A->Text;
      const size_t Sp = T.find(' '), Cm = T.find(',');
      if (Sp != std::string::npos && Cm != std::string::npos && std::min(Sp, Cm) >= 1) {
        const int N = AttributeNumber(T.substr(0, std::min(Sp, Cm)));
        Columns = N >= 1 ? std::min(N, 1000) : 20;
      }
    }
  }
  auto* E = new TEdit(nullptr);
  E->SetWidth(120);
  E->SetHeight(20);
  if (Password) E->SetPasswordChar('*');
  if (Attributes.Find(MaxLengthSy, A) && A->Value > 0) E->SetMaxLength(A->Value);
  Setup(E);
  E->OnKeyPress = [this](TObject* Sender, char& Key) {
    if (Form) Form->KeyPressed(Sender, Key);
  };
  E->OnClick = [this](TObject*) { ControlClicked(); };
}

TEdit* TEditFormControlObj::Edit() const { return static_cast<TEdit*>(Control); }
void TEditFormControlObj::ResetToValue() { Edit()->SetCaption(Value); }
bool TEditFormControlObj::GetSubmission(int Index, std::string& S) {
  if (Index != 0) return false;
  S = Name + "=" + Edit()->Text();
  return true;
}
void TEditFormControlObj::SetData(int Index, const std::string& V) {
  (void)Index;
  Edit()->SetCaption(V);
}
void TEditFormControlObj::SizeControl(TCanvas* Canvas) {
  if (StyleWidth >= 10)
    Control->SetWidth(StyleWidth);
  else
    Control->SetWidth(MeasureText(Canvas, Control->Font(), "0").cx * Columns + 5);
  Control->SetHeight(std::max(Control->Height(), StyleHeight));
}
void TEditFormControlObj::PrintLook(TCanvas* Canvas, int X, int Y) {
  PrintFrame(Canvas, X, Y, false);
  Canvas->SetFont(*Control->Font());
  Canvas->Brush()->SetStyle(bsClear);
  const int H = Canvas->TextHeight("A");
  const std::string T = Edit()->PasswordChar() ? std::string(Edit()->Text().size(), '*') : Edit()->Text();
  Canvas->TextRect(TRect(X + 4, Y, X + Width() - 8, Y + Height()), X + 4, Y + (Height() - H) / 2, T);
}

TButtonFormControlObj::TButtonFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes,
                                             int AKind)
    : TFormControlObj(ADocument, APosition, Attributes), Kind(AKind) {
  if (Value.empty()) Value = Kind == 0 ? "Submit" : Kind == 1 ? "Reset" : "Button";
  auto* B = new TButton(nullptr);
  B->SetCaption(Value);
  Setup(B);
  B->OnClick = [this](TObject*) { ButtonClicked(); };
}
void TButtonFormControlObj::ButtonClicked() {
  ControlClicked();
  if (!Form) return;
  if (Kind == 1)
    Form->ResetAll();
  else if (Kind == 0)
    Form->Submit(Name.empty() ? std::string() : Name + "=" + Value);
}
void TButtonFormControlObj::SizeControl(TCanvas* Canvas) {
  const int H = MeasureText(Canvas, Control->Font(), "A").cy + 8;
  Control->SetHeight(H > StyleHeight ? H : StyleHeight);
  Control->SetWidth(StyleWidth >= 10 ? StyleWidth : MeasureText(Canvas, Control->Font(), Value).cx + 20);
}
void TButtonFormControlObj::PrintLook(TCanvas* Canvas, int X, int Y) {
  PrintFrame(Canvas, X, Y, true);
  Canvas->SetFont(*Control->Font());
  Canvas->Brush()->SetStyle(bsClear);
  const unsigned Old = Canvas->TextAlign();
  Canvas->SetTextAlign(TA_CENTER);
  Canvas->TextRect(TRect(X, Y, X + Width(), Y + Height()), X + Width() / 2, Y + (Height() - Canvas->TextHeight("A")) / 2,
                   Value);
  Canvas->SetTextAlign(Old);
}

TCheckBoxFormControlObj::TCheckBoxFormControlObj(TSectionList* ADocument, int APosition,
                                                 const TAttributeList& Attributes)
    : TFormControlObj(ADocument, APosition, Attributes) {
  if (Value.empty()) Value = "on";
  FormAlign = ABottom;
  InitiallyChecked = HasAttr(Attributes, CheckedSy);
  auto* B = new TCheckBox(nullptr);
  B->SetWidth(13);
  B->SetHeight(13);
  Setup(B);
  B->OnClick = [this](TObject*) { ControlClicked(); };
}
TCheckBox* TCheckBoxFormControlObj::Box() const { return static_cast<TCheckBox*>(Control); }
void TCheckBoxFormControlObj::ResetToValue() { Box()->SetChecked(InitiallyChecked); }
bool TCheckBoxFormControlObj::GetSubmission(int Index, std::string& S) {
  if (Index != 0) return false;
  if (Box()->Checked()) S = Name + "=" + Value;
  return true;
}
void TCheckBoxFormControlObj::SetDataInit() { Box()->SetChecked(false); }
void TCheckBoxFormControlObj::SetData(int Index, const std::string& V) {
  (void)Index;
  if (SameText(V, Value)) Box()->SetChecked(true);
}
void TCheckBoxFormControlObj::PrintLook(TCanvas* Canvas, int X, int Y) {
  PrintFrame(Canvas, X, Y, false);
  if (!Box()->Checked()) return;
  const int M = Y + Height() / 2;
  Canvas->Pen()->SetColor(clBlack);
  Canvas->Polyline({TPoint(X + 3, M), TPoint(X + 5, M + 2), TPoint(X + 9, M - 2)});
}

TRadioButtonFormControlObj::TRadioButtonFormControlObj(TSectionList* ADocument, int APosition,
                                                       const TAttributeList& Attributes)
    : TFormControlObj(ADocument, APosition, Attributes) {
  FormAlign = ABottom;
  InitiallyChecked = HasAttr(Attributes, CheckedSy);
  // Each radio button sits on its own panel: the platform groups the buttons of one parent,
  // while a form groups them by name.
  auto* P = new TPanel(nullptr);
  P->SetWidth(13);
  P->SetHeight(14);
  P->SetBevelOuter(bvNone);
  P->SetBevelInner(bvNone);
  P->SetParentColor(false);
  Setup(P);
  Radio = new TRadioButton(P);
  Radio->SetParent(P);
  Radio->SetBounds(0, 0, 13, 14);
  Radio->OnEnter = P->OnEnter;
  Radio->OnExit = P->OnExit;
  Radio->OnClick = [this](TObject*) { RadioClicked(); };
}
TWinControl* TRadioButtonFormControlObj::WindowedControl() { return Radio; }
bool TRadioButtonFormControlObj::Checked() const { return Radio->Checked(); }
void TRadioButtonFormControlObj::SetChecked(bool V) { Radio->SetChecked(V); }
void TRadioButtonFormControlObj::ResetToValue() { SetChecked(InitiallyChecked); }
bool TRadioButtonFormControlObj::GetSubmission(int Index, std::string& S) {
  if (Index != 0) return false;
  if (Checked()) S = Name + "=" + Value;
  return true;
}
void TRadioButtonFormControlObj::SetData(int Index, const std::string& V) {
  (void)Index;
  if (SameText(V, Value)) SetChecked(true);
}
void TRadioButtonFormControlObj::RadioClicked() {
  if (Form) Form->UncheckRadioGroup(this);
  ControlClicked();
}
void TRadioButtonFormControlObj::PrintLook(TCanvas* Canvas, int X, int Y) {
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(clWhite);
  Canvas->Pen()->SetColor(clWhite);
  Canvas->Ellipse(X, Y, X + 14, Y + 14);
  Canvas->Pen()->SetWidth(2);
  Canvas->Pen()->SetColor(clBtnShadow);
  Canvas->Arc(X, Y, X + 14, Y + 14, X + 14, Y, X, Y + 14);
  Canvas->Pen()->SetColor(clSilver);
  Canvas->Arc(X, Y, X + 14, Y + 14, X, Y + 14, X + 14, Y);
  Canvas->Pen()->SetWidth(1);
  if (Checked()) {
    Canvas->Pen()->SetColor(clBlack);
    Canvas->Brush()->SetColor(clBlack);
    Canvas->Ellipse(X + 5, Y + 5, X + 9, Y + 9);
  }
}

TImageFormControlObj::TImageFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes)
    : TFormControlObj(ADocument, APosition, Attributes) {
  MyImage = new TImageObj(ADocument, APosition, Attributes);
  MyImage->NoBorder = true;
}
void TImageFormControlObj::ApplyStyle(TProperties& Props) {
  TFormControlObj::ApplyStyle(Props);
  MyImage->ApplyStyle(Props);
}
bool TImageFormControlObj::GetSubmission(int Index, std::string& S) {
  if (ClickX < 0 || Index > 1) return false;
  const std::string Prefix = Name.empty() ? std::string() : Name + ".";
  if (Index == 0) {
    S = Prefix + "x=" + IntToStr(ClickX);
  } else {
    S = Prefix + "y=" + IntToStr(ClickY);
    ClickX = -1;
  }
  return true;
}
void TImageFormControlObj::ImageClicked() {
  ControlClicked();
  ClickX = PendingX;
  ClickY = PendingY;
  if (Form) Form->Submit("");
}

TSelectFormControlObj::TSelectFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes)
    : TFormControlObj(ADocument, APosition, Attributes) {
  TAttribute* A = nullptr;
  if (Attributes.Find(SizeSy, A)) VisibleRows = std::clamp(A->Value, 1, 1000);
  Multiple = HasAttr(Attributes, MultipleSy);
}
void TSelectFormControlObj::AddOption(const std::string& Text, const std::string& AValue, bool Selected) {
  Options.push_back({Text, AValue, Selected});
  if (Control) {
    static TBitmap* Scratch = [] {
      auto* B = new TBitmap();
      B->SetSize(4, 4);
      return B;
    }();
    WidestOption = std::max(WidestOption, MeasureText(Scratch->Canvas(), Control->Font(), Text).cx);
  }
}

TListBoxFormControlObj::TListBoxFormControlObj(TSectionList* ADocument, int APosition,
                                               const TAttributeList& Attributes)
    : TSelectFormControlObj(ADocument, APosition, Attributes) {
  auto* L = new TListBox(nullptr);
  L->SetMultiSelect(Multiple);
  L->SetExtendedSelect(Multiple);
  Setup(L);
  L->OnClick = [this](TObject*) { ControlClicked(); };
}
TListBox* TListBoxFormControlObj::List() const { return static_cast<TListBox*>(Control); }
int TSelectFormControlObj::FillItems(TStrings* Items) const {
  // One batch, so that the windowed control takes the whole list once rather than once per
  // option (which made a long list quadratic).
  Items->BeginUpdate();
  int Index = -1;
  try {
    Items->Clear();
    for (size_t I = 0; I < Options.size(); ++I) {
      Items->Add(Options[I].Text);
      if (Options[I].Selected) Index = static_cast<int>(I);
    }
  } catch (...) {
    Items->EndUpdate();
    throw;
  }
  Items->EndUpdate();
  return Index;
}

void TListBoxFormControlObj::ResetToValue() {
  TListBox* L = List();
  const int Index = FillItems(L->Items());
  if (Multiple) {
    for (size_t I = 0; I < Options.size(); ++I) L->SetSelected(static_cast<int>(I), Options[I].Selected);
  } else if (!Options.empty()) {
    L->SetItemIndex(Index >= 0 ? Index : 0);
  }
  if (!Options.empty()) L->SetTopIndex(0);
}
bool TListBoxFormControlObj::GetSubmission(int Index, std::string& S) {
  TListBox* L = List();
  if (Index >= L->Count() || Index >= static_cast<int>(Options.size())) return false;
  const bool Chosen = Multiple ? L->Selected(Index) : L->ItemIndex() == Index;
  S = Chosen ? Name + "=" + Options[static_cast<size_t>(Index)].Value : std::string();
  return true;
}
void TListBoxFormControlObj::SetData(int Index, const std::string& V) {
  TListBox* L = List();
  if (Index == 0) {
    if (L->Count() > 0) L->SetItemIndex(0);
    for (size_t I = 0; I < Options.size(); ++I) {
      Options[I].Selected = false;
      if (Multiple && static_cast<int>(I) < L->Count()) L->SetSelected(static_cast<int>(I), false);
    }
  }
  for (size_t I = 0; I < Options.size(); ++I)
    if (SameText(Options[I].Value, V)) {
      Options[I].Selected = true;
      if (static_cast<int>(I) >= L->Count()) continue;
      if (Multiple)
        L->SetSelected(static_cast<int>(I), true);
      else
        L->SetItemIndex(static_cast<int>(I));
    }
}
void TListBoxFormControlObj::SizeControl(TCanvas* Canvas) {
  if (VisibleRows == -1) VisibleRows = std::clamp(static_cast<int>(Options.size()), 1, 8);
  if (StyleHeight >= 10)
    Control->SetHeight(StyleHeight);
  else
    Control->SetClientHeight(MeasureText(Canvas, Control->Font(), "A").cy * VisibleRows);
  Control->SetWidth(StyleWidth >= 10 ? StyleWidth : ScrollBarWidth + WidestOption + 10);
}
void TListBoxFormControlObj::PrintLook(TCanvas* Canvas, int X, int Y) {
  PrintFrame(Canvas, X, Y, false);
  Canvas->SetFont(*Control->Font());
  Canvas->Brush()->SetStyle(bsClear);
  const int H = Canvas->TextHeight("A");
  const TRect Clip(X + 4, Y + 4, X + Width() - 8, Y + Height() - 8);
  TListBox* L = List();
  for (int I = L->TopIndex(), Line = 0; I < L->Count() && Line < VisibleRows; ++I, ++Line)
    Canvas->TextRect(Clip, X + 4, Y + 4 + Line * H, L->Items()->Strings(I));
}

TComboFormControlObj::TComboFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes)
    : TSelectFormControlObj(ADocument, APosition, Attributes) {
  auto* C = new TComboBox(nullptr);
  C->SetStyle(csDropDownList);
  Setup(C);
  C->OnClick = [this](TObject*) { ControlClicked(); };
  C->OnChange = [this](TObject*) { ControlClicked(); };
}
TComboBox* TComboFormControlObj::Combo() const { return static_cast<TComboBox*>(Control); }
void TComboFormControlObj::ResetToValue() {
  TComboBox* C = Combo();
  const int Index = FillItems(C->Items());
  if (!Options.empty()) C->SetItemIndex(Index >= 0 ? Index : 0);
}
bool TComboFormControlObj::GetSubmission(int Index, std::string& S) {
  if (Index != 0) return false;
  const int I = Combo()->ItemIndex();
  if (I >= 0 && I < static_cast<int>(Options.size())) S = Name + "=" + Options[static_cast<size_t>(I)].Value;
  return true;
}
void TComboFormControlObj::SetData(int Index, const std::string& V) {
  (void)Index;
  for (size_t I = 0; I < Options.size(); ++I)
    if (SameText(Options[I].Value, V)) {
      Options[I].Selected = true;
      if (static_cast<int>(I) < Combo()->Items()->Count()) Combo()->SetItemIndex(static_cast<int>(I));
    }
}
void TComboFormControlObj::SizeControl(TCanvas* Canvas) {
  (void)Canvas;
  if (StyleHeight >= 10) Control->SetHeight(StyleHeight);
  Control->SetWidth(StyleWidth >= 10 ? StyleWidth : ScrollBarWidth + WidestOption + 10);
}
void TComboFormControlObj::PrintLook(TCanvas* Canvas, int X, int Y) {
  PrintFrame(Canvas, X, Y, false);
  Canvas->SetFont(*Control->Font());
  Canvas->Brush()->SetStyle(bsClear);
  const int I = Combo()->ItemIndex();
  if (I >= 0 && I < Combo()->Items()->Count())
    Canvas->TextRect(TRect(X + 4, Y + 4, X + Width() - 8, Y + Height() - 3), X + 4, Y + 4, Combo()->Items()->Strings(I));
}

TTextAreaFormControlObj::TTextAreaFormControlObj(TSectionList* ADocument, int APosition,
                                                 const TAttributeList& Attributes)
    : TFormControlObj(ADocument, APosition, Attributes) {
  TAttribute* A = nullptr;
  if (Attributes.Find(ColsSy, A) && A->Value > 0) Cols = std::min(A->Value, 1000);
  if (Attributes.Find(RowsSy, A) && A->Value > 0) Rows = std::min(A->Value, 1000);
  const std::string W = LowerCase(AttrText(Attributes, WrapSy));
  if (W == "off") Wrap = 0;
  if (W == "hard") Wrap = 2;
  auto* M = new TMemo(nullptr);
  M->SetScrollBars(Wrap == 0 ? ssBoth : ssVertical);
  M->SetWordWrap(Wrap != 0);
  Setup(M);
  M->OnClick = [this](TObject*) { ControlClicked(); };
}
TMemo* TTextAreaFormControlObj::Memo() const { return static_cast<TMemo*>(Control); }
void TTextAreaFormControlObj::ResetToValue() {
  Memo()->SetText(InitialText);
  Memo()->SetSelStart(0);
  Memo()->SetSelLength(0);
}
bool TTextAreaFormControlObj::GetSubmission(int Index, std::string& S) {
  if (Index != 0) return false;
  // The memo's lines joined by CR LF, none after the last: the platform's memo text adds one
  // there, which the typed text does not have. (Lines wrapped on screen stay one line.)
  std::string T;
  TStrings* L = Memo()->Lines();
  for (int I = 0; I < L->Count(); ++I) {
    if (I > 0) T += "\r\n";
    T += L->Strings(I);
  }
  S = Name + "=" + T;
  return true;
}

void TTextAreaFormControlObj::SetData(int Index, const std::string& V) {
  (void)Index;
  Memo()->SetText(V);
}
void TTextAreaFormControlObj::SizeControl(TCanvas* Canvas) {
  const TSize A = MeasureText(Canvas, Control->Font(), "A");
  const TSize S = MeasureText(Canvas, Control->Font(), "s");
  if (StyleHeight >= 10)
    Control->SetHeight(StyleHeight);
  else
    Control->SetClientHeight(A.cy * Rows + 5);
  if (StyleWidth >= 10)
    Control->SetWidth(StyleWidth);
  else
    Control->SetClientWidth(S.cx * Cols + 5);
}
void TTextAreaFormControlObj::PrintLook(TCanvas* Canvas, int X, int Y) {
  PrintFrame(Canvas, X, Y, false);
  Canvas->SetFont(*Control->Font());
  Canvas->Brush()->SetStyle(bsClear);
  const int H = Canvas->TextHeight("A");
  const TRect Clip(X + 4, Y + 4, X + Width() - 8, Y + Height() - 8);
  TStrings* L = Memo()->Lines();
  for (int I = 0; I < L->Count() && I < Rows; ++I) Canvas->TextRect(Clip, X + 4, Y + 4 + I * H, L->Strings(I));
}

TFormControlObj* CreateFormControl(TSectionList* ADocument, Symb Kind, int Position, const TAttributeList& Attributes,
                                   TProperties& Props) {
  TFormControlObj* C = nullptr;
  if (Kind == InputSy) {
    const std::string Type = LowerCase(AttrText(Attributes, TypeSy)).substr(0, 20);
    if (Type == "password")
      C = new TEditFormControlObj(ADocument, Position, Attributes, true);
    else if (Type == "submit")
      C = new TButtonFormControlObj(ADocument, Position, Attributes, 0);
    else if (Type == "reset")
      C = new TButtonFormControlObj(ADocument, Position, Attributes, 1);
    else if (Type == "button")
      C = new TButtonFormControlObj(ADocument, Position, Attributes, 2);
    else if (Type == "radio")
      C = new TRadioButtonFormControlObj(ADocument, Position, Attributes);
    else if (Type == "checkbox")
      C = new TCheckBoxFormControlObj(ADocument, Position, Attributes);
    else if (Type == "hidden")
      C = new THiddenFormControlObj(ADocument, Position, Attributes);
    else if (Type == "image")
      C = new TImageFormControlObj(ADocument, Position, Attributes);
    else
      C = new TEditFormControlObj(ADocument, Position, Attributes, false);
  } else if (Kind == SelectSy) {
    TAttribute* A = nullptr;
    const bool AsList = HasAttr(Attributes, MultipleSy) || (Attributes.Find(SizeSy, A) && A->Value > 1);
    if (AsList)
      C = new TListBoxFormControlObj(ADocument, Position, Attributes);
    else
      C = new TComboFormControlObj(ADocument, Position, Attributes);
  } else if (Kind == TextAreaSy) {
    C = new TTextAreaFormControlObj(ADocument, Position, Attributes);
  }
  if (!C) return nullptr;
  C->ApplyStyle(Props);
  if (C->Control) {
    std::unique_ptr<TMyFont> F(Props.GetFont());
    C->Control->Font()->Assign(*F);
  }
  if (ADocument) {
    if (!ADocument->CurrentForm) {
      // Controls outside any FORM share an implicit form.
      TAttributeList None;
      ADocument->CurrentForm = new ThtmlForm(ADocument, None);
    }
    ADocument->CurrentForm->AddControl(C);
    ADocument->FormControlList.push_back(C);
  }
  return C;
}
