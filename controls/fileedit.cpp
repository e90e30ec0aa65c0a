#include "controls/fileedit.h"

#include "controls/ctlutils.h"
#include "platform/core/fileutils.h"

namespace {

const int DefaultButtonWidth = 21;
const int DropDownButtonWidth = 16;  // as wide as a scroll bar

// A file name with a blank is shown in double quotes, unless it already starts with one.
std::string QuotedFileName(const std::string& Name) {
  if (Name.find(' ') != std::string::npos && (Name.empty() || Name[0] != '"')) return "\"" + Name + "\"";
  return Name;
}

// The text cut to one file name.
std::string ClipFileName(const std::string& Text) {
  if (FileExists(Text)) return Text;
  std::string Name, Params;
  SplitCommandLine(Text, Name, Params);
  return Name;
}

// The folder picture of the file button, made once and shared by every file edit.
TBitmap* SharedFolderPicture() {
  static std::unique_ptr<TBitmap> Picture(MakeModuleBitmap("FEDITBMP"));
  return Picture.get();
}

// A small arrow pointing down: the picture of a drop-down button.
std::unique_ptr<TBitmap> DropDownArrow() {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(7, 4);
  B->Canvas()->Brush()->SetColor(clWhite);
  B->Canvas()->FillRect(TRect(0, 0, 7, 4));
  for (int Y = 0; Y < 4; ++Y)
    for (int X = Y; X < 7 - Y; ++X) B->Canvas()->SetPixel(X, Y, clBlack);
  B->SetMonochrome(true);
  return B;
}

// Three 2 x 2 dots on a picture 4 pixels high and Width wide, centred.
std::unique_ptr<TBitmap> Ellipsis(int Width) {
  Width = Max(Width, 1);
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(Width, 4);
  B->Canvas()->Brush()->SetColor(clWhite);
  B->Canvas()->FillRect(TRect(0, 0, Width, 4));
  const int Gap = Min(Max((Width - 6) / 2, 1), 3);
  const int Start = (Width - (6 + 2 * Gap)) / 2;
  for (int Dot = 0; Dot < 3; ++Dot) {
    const int X = Start + Dot * (2 + Gap);
    B->Canvas()->Brush()->SetColor(clBlack);
    B->Canvas()->FillRect(TRect(X, 1, X + 2, 3));
  }
  B->SetMonochrome(true);
  return B;
}

}  // namespace

TShortCut ShortCut(uint16_t Key, TShiftState Shift) {
  TShortCut S = TShortCut(Key & 0xFF);
  if (Shift & ssShift) S |= scShift;
  if (Shift & ssCtrl) S |= scCtrl;
  if (Shift & ssAlt) S |= scAlt;
  return S;
}

// ---------------------------------------------------------------------------------------------
// TEditButton

TEditButton::TEditButton(TComponent* AOwner) : TVxSpeedButton(AOwner) {}

void TEditButton::Paint() {
  TVxSpeedButton::Paint();
  if (State() == rbsDown || State() == rbsExclusive) return;
  TCanvas* C = Canvas();
  C->Pen()->SetColor(clBtnFace);
  C->MoveTo(0, 0);
  C->LineTo(0, Height());
  C->Pen()->SetColor(clBtnHighlight);
  C->MoveTo(1, 1);
  C->LineTo(1, Height() - 1);
}

void TEditButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (auto* Edit = dynamic_cast<TCustomComboEdit*>(Owner()); Edit && Edit->CanFocus() && !Edit->Focused())
      Edit->SetFocus();
  }
  TVxSpeedButton::MouseDown(Button, Shift, X, Y);
}

// ---------------------------------------------------------------------------------------------
// TCustomComboEdit

TCustomComboEdit::TCustomComboEdit(TComponent* AOwner) : TEdit(AOwner) {
  FBtnControl = new TCustomControl(this);
  FBtnControl->SetTabStop(false);
  FBtnControl->SetBounds(0, 0, DefaultButtonWidth, 17);
  FBtnControl->SetParent(this);
  FButton = new TEditButton(this);
  FButton->SetParent(FBtnControl);
  FButton->SetBounds(0, 0, DefaultButtonWidth, 17);
  FButton->OnClick = [this](TObject*) { ButtonClick(); };
  SetBounds(Left(), Top(), Width(), 21);
}

TCustomComboEdit::~TCustomComboEdit() {
  delete FButton;
  FButton = nullptr;
  delete FBtnControl;
  FBtnControl = nullptr;
}

int TCustomComboEdit::ButtonWidth() const { return FButton->Width(); }

void TCustomComboEdit::SetButtonWidth(int V) {
  if (V == ButtonWidth()) return;
  FBtnControl->SetVisible(V >= 2);
  if (V < ClientWidth()) {
    FButton->SetWidth(V);
    PlaceButton();
    RecreateGlyph();
  }
}

void TCustomComboEdit::SetGlyph(TBitmap* V) {
  FButton->SetGlyph(V);
  FGlyphKind = gkCustom;
}

void TCustomComboEdit::SetNumGlyphs(TVxNumGlyphs V) { FButton->SetNumGlyphs(V == 2 || V == 3 ? 1 : V); }

void TCustomComboEdit::SetGlyphKind(TGlyphKind V) {
  if (V == FGlyphKind) return;
  FGlyphKind = V;
  RecreateGlyph();
}

void TCustomComboEdit::RecreateGlyph() {
  switch (FGlyphKind) {
    case gkDefault:
      if (TBitmap* B = GetDefaultBitmap()) {
        FButton->SetGlyph(B);
        if (ButtonWidth() < B->Width() + 6) {
          FButton->SetWidth(B->Width() + 6);
          PlaceButton();
        }
      }
      break;
    case gkDropDown:
      FMadeGlyph = DropDownArrow();
      FButton->SetGlyph(FMadeGlyph.get());
      if (ButtonWidth() != DropDownButtonWidth) {
        FButton->SetWidth(DropDownButtonWidth);
        PlaceButton();
      }
      break;
    case gkEllipsis:
      FMadeGlyph = Ellipsis(ButtonWidth() - 6);
      FButton->SetGlyph(FMadeGlyph.get());
      break;
    case gkCustom: break;
  }
}

void TCustomComboEdit::ApplyReadOnly() { TEdit::SetReadOnly(FReadOnly || !FDirectInput); }

void TCustomComboEdit::SetReadOnly(bool V) {
  FReadOnly = V;
  ApplyReadOnly();
}

void TCustomComboEdit::SetDirectInput(bool V) {
  FDirectInput = V;
  ApplyReadOnly();
}

void TCustomComboEdit::PlaceButton() {
  if (!FBtnControl || !FButton) return;
  // Inside the edit's two-pixel frame, at its right edge.
  const int W = ButtonWidth();
  FBtnControl->SetBounds(Width() - W - 2, 2, W, Max(Height() - 4, 1));
  FButton->SetBounds(0, 0, W, FBtnControl->Height());
}

int TCustomComboEdit::GetMinHeight() const {
  const TFont SystemFont;
  return Min(FontTextHeight(SystemFont), FontTextHeight(*Font())) + 4 * 1 + 1;
}

void TCustomComboEdit::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TEdit::SetBounds(ALeft, ATop, AWidth, Max(AHeight, GetMinHeight()));
  PlaceButton();
}

void TCustomComboEdit::FontChanged() {
  TEdit::FontChanged();
  if (Height() < GetMinHeight()) SetHeight(GetMinHeight());
  PlaceButton();
}

void TCustomComboEdit::ButtonClick() {
  if (FReadOnly) return;
  if (OnButtonClick) OnButtonClick(this);
  DoButtonWork();
}

void TCustomComboEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  TEdit::KeyDown(Key, Shift);
  if (Key != 0 && FClickKey != 0 && ShortCut(Key, Shift) == FClickKey && ButtonWidth() > 0) {
    Key = 0;
    ButtonClick();
  }
}

void TCustomComboEdit::DoEnter() {
  TEdit::DoEnter();
  if (FAutoSelect && !(GetKeyState(VK_LBUTTON) & 0x8000)) SelectAll();
}

// ---------------------------------------------------------------------------------------------
// TFileDirEdit

TFileDirEdit::TFileDirEdit(TComponent* AOwner) : TCustomComboEdit(AOwner) { SetGlyphKind(gkDefault); }

TBitmap* TFileDirEdit::GetDefaultBitmap() { return SharedFolderPicture(); }

void TFileDirEdit::DropFiles(const std::vector<std::string>& Names) {
  ClearFileList();
  for (size_t I = 0; I < Names.size(); ++I) {
    const std::string Name = Names[I].substr(0, 255);
    if (I == 0 || FMultipleDirs) ReceptFileDir(Name);
    if (!FMultipleDirs) break;
  }
  if (OnDropFiles) OnDropFiles(this);
}

// ---------------------------------------------------------------------------------------------
// TFilenameEdit

TFilenameEdit::TFilenameEdit(TComponent* AOwner)
    : TFileDirEdit(AOwner), FHistoryList(std::make_unique<TStringList>()), FFiles(std::make_unique<TStringList>()) {
  FDialog = new TOpenDialog(this);
  FDialog->Title = "Browse";
  FDialog->Filter = "All files (*.*)|*.*";
  FDialog->Options = ofHideReadOnly;
}

TFilenameEdit::~TFilenameEdit() = default;

std::string TFilenameEdit::FileName() const { return ClipFileName(Text()); }

void TFilenameEdit::SetFileName(const std::string& V) {
  if (!V.empty() && !ValidFileName(ClipFileName(V)))
    throw EComboEditError(Format("Invalid file name - %s", {V}));
  SetText(QuotedFileName(V));
  ClearFileList();
}

void TFilenameEdit::SetDialogKind(TFileDialogKind V) {
  if (V == FDialogKind) return;
  // Every kind is the platform's file dialog; a new one takes over the old one's settings.
  TOpenDialog* Old = FDialog;
  FDialog = new TOpenDialog(this);
  FDialog->Title = Old->Title;
  FDialog->Filter = Old->Filter;
  FDialog->FilterIndex = Old->FilterIndex;
  FDialog->InitialDir = Old->InitialDir;
  FDialog->FileName = Old->FileName;
  FDialog->DefaultExt = Old->DefaultExt;
  FDialog->Options = Old->Options;
  delete Old;
  FDialogKind = V;
}

void TFilenameEdit::SetDialogOptions(unsigned V) {
  if (V == FDialog->Options) return;
  FDialog->Options = V;
  SetMultipleDirs((V & ofAllowMultiSelect) != 0);
  if (!MultipleDirs()) ClearFileList();
}

bool TFilenameEdit::ExecuteDialog() { return FDialog->Execute(); }

void TFilenameEdit::DoButtonWork() {
  std::string Temp = FileName();
  bool Action = true;
  if (OnBeforeDialog) OnBeforeDialog(this, Temp, Action);
  if (!Action) return;
  if (ValidFileName(Temp)) {
    try {
      if (DirExists(ExtractFileDir(Temp))) FDialog->InitialDir = ExtractFileDir(Temp);
      const std::string NamePart = ExtractFileName(Temp);
      if (NamePart.empty() || !ValidFileName(NamePart)) Temp.clear();
      FDialog->FileName = Temp;
    } catch (const Exception&) {
      // A name the dialog cannot start from is simply not offered.
    }
  }
  Action = ExecuteDialog();
  if (Action) Temp = FDialog->FileName;
  if (CanFocus()) SetFocus();
  if (OnAfterDialog) OnAfterDialog(this, Temp, Action);
  if (Action) {
    SetText(QuotedFileName(Temp));
    FDialog->InitialDir = ExtractFileDir(Temp);
  }
}

std::string TFilenameEdit::GetLongName() { return ShortToLongFileName(FileName()); }

std::string TFilenameEdit::GetShortName() { return LongToShortFileName(FileName()); }

void TFilenameEdit::ReceptFileDir(const std::string& AFileName) {
  if (MultipleDirs()) {
    if (FFiles->Count() == 0) SetFileName(AFileName);
    FFiles->Add(AFileName);
  } else {
    SetFileName(AFileName);
  }
}

void TFilenameEdit::ClearFileList() { FFiles->Clear(); }
