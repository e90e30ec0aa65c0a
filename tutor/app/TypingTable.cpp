#include "tutor/app/TypingTable.h"

#include <algorithm>
#include <cmath>

#include "platform/core/inifiles.h"
#include "platform/core/sysutils.h"
#include "tutor/OptionsReg.h"
#include "tutor/core/Dictionary.h"

namespace {

constexpr unsigned char kPilcrow = 182;

std::string StripTrailingBlanks(const std::string& S) {
  std::size_t N = S.size();
  while (N > 0 && (S[N - 1] == ' ' || S[N - 1] == '\t')) --N;
  return S.substr(0, N);
}

}  // namespace

TTypingTable::TTypingTable(TComponent* AOwner)
    : TCustomControl(AOwner), SourceLines(std::make_unique<TStringList>()), TypedLines(std::make_unique<TStringList>()) {
  SetTabStop(true);
  if (PrgReg) {
    UseBackspace = PrgReg->ReadBool("Options", "UseBackspace", true);
    WaitForCorrect = PrgReg->ReadBool("Options", "WaitForCorrect", false);
    ScrollStyle = PrgReg->ReadInteger("Options", "ScrollStyle", 2);
    EndLineMode = PrgReg->ReadInteger("Options", "EndLineMode", 1);
  }
}

TTypingTable::~TTypingTable() {
  if (FCaretMade) DestroyCaret();
}

void TTypingTable::Clear() {
  Finished = false;
  TopLine = 0;
  FontMetricsValid = false;
  SourceLines->Clear();
  TypedLines->Clear();
  Column = 0;
  CurLine = 0;
  Keystrokes = 0;
  TextLength = 0;
  LineCount = 0;
  NextChar = 0;
}

void TTypingTable::UpdateMetrics() {
  TCanvas* C = Canvas();
  C->SetFont(*Font());
  TextMetrics = C->GetTextMetrics();
  LineHeight = std::max(1, TextMetrics.tmHeight);
  RowPitch = std::max(1, static_cast<int>(std::lround(LineHeight * 2.2)));
  RecreateCaret();
  // A tiny control or a font without an average width must still give a usable geometry.
  const int Ave = std::max(1, TextMetrics.tmAveCharWidth);
  CharsPerLine = std::max(1, ClientWidth() / Ave - 2);
  VisibleRows = std::max(1, ClientHeight() / RowPitch);
  FontMetricsValid = true;
  PlaceCaret();
}

void TTypingTable::Resize() {
  TCustomControl::Resize();
  FontMetricsValid = false;
}

int TTypingTable::LoadLessonText(const std::string& FileName) {
  UpdateMetrics();
  int Result = 0;
  FileLines = std::make_unique<TStringList>();
  try {
    FileLines->LoadFromFile(FileName);
  } catch (const std::exception&) {
    Result = -1;
  }
  std::string Text;
  for (int i = 0; i < FileLines->Count(); ++i) {
    std::string Line = FileLines->Strings(i);
    if (Line.size() <= 1 || Line[0] == '#') continue;
    // A tab cannot be typed as itself: it stands for a blank.
    std::replace(Line.begin(), Line.end(), '\t', ' ');
    Text += WrapText(Line, CharsPerLine);
    Text += "\r\n";
  }
  SourceLines->SetText(Text);
  for (int i = 0; i < SourceLines->Count(); ++i) SourceLines->SetStrings(i, StripTrailingBlanks(SourceLines->Strings(i)));
  Prepare();
  return Result;
}

int TTypingTable::SetWords(const std::string& Allowed, const std::string& Emphasis, int Count) {
  UpdateMetrics();
  const int R = GenerateWords(SourceLines.get(), Allowed, Emphasis, Count, CharsPerLine);
  Prepare();
  return R;
}

int TTypingTable::SetLetters(const std::string& Allowed, const std::string& Emphasis, int Count) {
  UpdateMetrics();
  const int R = GenerateLetters(SourceLines.get(), Allowed, Emphasis, Count, CharsPerLine);
  Prepare();
  return R;
}

bool TTypingTable::Prepare() {
  TypedLines->Clear();
  for (int i = 0; i < SourceLines->Count(); ++i) TypedLines->Add("");
  TextLength = 0;
  for (int i = 0; i < SourceLines->Count(); ++i) TextLength += static_cast<int>(SourceLines->Strings(i).size()) + 2;
  LineCount = SourceLines->Count();
  CurLine = 0;
  Column = 0;
  TopLine = 0;
  if (LineCount == 0) {
    // Nothing to type: no key is ever checked, so nothing can index a missing line.
    NextChar = 0;
    Finished = true;
    Invalidate();
    return false;
  }
  Finished = false;
  SetNextCharAtCursor();
  if (OnKey) OnKey(NextChar, 0);
  PlaceCaret();
  if (FCaretMade) ShowCaret();
  Invalidate();
  return true;
}

std::string TTypingTable::CurrentSource() const {
  return CurLine >= 0 && CurLine < SourceLines->Count() ? SourceLines->Strings(CurLine) : std::string();
}

void TTypingTable::SetNextCharAtCursor() {
  const std::string Src = CurrentSource();
  NextChar = Column >= 0 && static_cast<std::size_t>(Column) < Src.size() ? Src[static_cast<std::size_t>(Column)]
                                                                         : EndChar();
}

void TTypingTable::KeyPress(char& Key) {
  TypingKeyPress(Key);
  Key = 0;
}

void TTypingTable::KeyDown(uint16_t&, TShiftState) {}
void TTypingTable::KeyUp(uint16_t&, TShiftState) {}

bool TTypingTable::WantsKey(uint16_t Key, TShiftState) {
  return Key == VK_RETURN || Key == VK_TAB || Key == VK_ESCAPE || Key == VK_LEFT;
}

void TTypingTable::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft) {
    SetFocus();
    RecreateCaret();
    PlaceCaret();
    ShowCaret();
  }
}

bool TTypingTable::DoMouseWheel(TShiftState, int, TPoint) { return true; }

void TTypingTable::DoEnter() {
  TCustomControl::DoEnter();
  RecreateCaret();
  PlaceCaret();
  ShowCaret();
}

void TTypingTable::DoExit() {
  TCustomControl::DoExit();
  if (FCaretMade) HideCaret();
}

void TTypingTable::RecreateCaret() {
  if (FCaretMade) DestroyCaret();
  CreateCaret(2, std::max(1, LineHeight));
  FCaretMade = true;
}

void TTypingTable::PlaceCaret() {
  if (!FCaretMade) return;
  int X = 0;
  if (CurLine >= 0 && CurLine < TypedLines->Count() && Column > 0) {
    const std::string Typed = TypedLines->Strings(CurLine);
    const std::size_t N = std::min<std::size_t>(Typed.size(), static_cast<std::size_t>(Column));
    if (FMeasuredLine == CurLine && FMeasuredLength == N) {
      X = FMeasuredWidth;
    } else {
      TCanvas* C = Canvas();
      C->SetFont(*Font());
      X = C->TextWidth(Typed.substr(0, N));
    }
  }
  SetCaretPos(X, (CurLine - TopLine) * RowPitch + LineHeight);
}

void TTypingTable::RedrawCurrentTypedLine(bool ClearRest) {
  if (CurLine < TopLine || CurLine >= TopLine + VisibleRows) {
    FMeasuredLine = -1;
    return;
  }
  TCanvas* C = Canvas();
  C->SetFont(*Font());
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(BcgColor);
  const int Y = (CurLine - TopLine) * RowPitch + LineHeight;
  const std::string Typed = TypedLines->Strings(CurLine);
  // Only what changed is drawn: the character just typed, or after a backspace the cleared rest
  // of the row. A character typed after the last one measured is placed at the width measured
  // before (the lesson font is fixed-pitch), so a key measures one character, not its line.
  const int PrevLine = FMeasuredLine;
  FMeasuredLine = -1;
  if (!ClearRest && PrevLine == CurLine && !Typed.empty() && FMeasuredLength + 1 == Typed.size()) {
    const std::size_t I = Typed.size() - 1;
    const std::string Src = CurrentSource();
    char Ch = Typed[I];
    const bool Right = I < Src.size() && Ch == Src[I];
    if (!Right && Ch == ' ') Ch = '_';
    if (!Right && (Ch == 0 || Ch == 13)) Ch = static_cast<char>(kPilcrow);
    C->Font()->SetColor(Right ? CorColor : ErrColor);
    const int X = FMeasuredWidth;
    C->TextOut(X, Y, Ch);
    FMeasuredLine = CurLine;
    FMeasuredLength = Typed.size();
    FMeasuredWidth = X + C->TextWidth(std::string(1, Typed[I]));
    return;
  }
  int Fit = 0;
  FExtents.clear();
  if (!Typed.empty()) C->GetTextExtentExPoint(Typed, -1, &Fit, &FExtents);
  if (FExtents.size() < Typed.size()) {
    const int W = DrawTypedLine(C, 0, 1, CurrentSource(), Typed, Y);
    if (ClearRest && W >= 0) C->FillRect(TRect(W, Y, ClientWidth(), Y + LineHeight));
    return;
  }
  const int W = Typed.empty() ? 0 : FExtents[Typed.size() - 1];
  if (ClearRest) {
    C->FillRect(TRect(W, Y, ClientWidth(), Y + LineHeight));
  } else if (!Typed.empty()) {
    const std::size_t I = Typed.size() - 1;
    const std::string Src = CurrentSource();
    char Ch = Typed[I];
    const bool Right = I < Src.size() && Ch == Src[I];
    if (!Right && Ch == ' ') Ch = '_';
    if (!Right && (Ch == 0 || Ch == 13)) Ch = static_cast<char>(kPilcrow);
    C->Font()->SetColor(Right ? CorColor : ErrColor);
    C->TextOut(I == 0 ? 0 : FExtents[I - 1], Y, Ch);
  }
  FMeasuredLine = CurLine;
  FMeasuredLength = Typed.size();
  FMeasuredWidth = W;
}

void TTypingTable::TypingKeyPress(char TypedChar) {
  if (Finished || LineCount == 0) return;
  const unsigned char T = static_cast<unsigned char>(TypedChar);
  // Ctrl+letter, Esc, Tab and the like are no typed characters.
  if (T < 32 && T != 8 && T != 13) return;
  if (!FontMetricsValid) UpdateMetrics();

  if (T == 8) {
    if (!UseBackspace) return;
    if (Column >= 1) {
      --Column;
      std::string Typed = TypedLines->Strings(CurLine);
      if (!Typed.empty()) Typed.pop_back();
      TypedLines->SetStrings(CurLine, Typed);
      if (FCaretMade) HideCaret();
      RedrawCurrentTypedLine(true);
      --Keystrokes;
    } else if (CurLine > 0) {
      if (TopLine == CurLine && TopLine > 0) {
        --TopLine;
        Invalidate();
      }
      --CurLine;
      Column = static_cast<int>(TypedLines->Strings(CurLine).size());
      // Undoes the counted key that ended that line.
      --Keystrokes;
    } else {
      // At the very start there is nothing to take back.
      return;
    }
    SetNextCharAtCursor();
    PlaceCaret();
    if (FCaretMade) ShowCaret();
    if (OnKey) OnKey(0, 8);
    return;
  }

  if (FCaretMade) HideCaret();
  const std::string Src = CurrentSource();
  const bool EndOfLine = Column < 0 || static_cast<std::size_t>(Column) >= Src.size();
  unsigned char E = EndOfLine ? 0 : static_cast<unsigned char>(Src[static_cast<std::size_t>(Column)]);
  unsigned char S = T;
  if (EndOfLine) {
    const bool Accepted =
        (EndLineMode == 1 && T == 13) || (EndLineMode == 2 && T == 32) || (EndLineMode != 1 && EndLineMode != 2 && (T == 32 || T == 13));
    if (Accepted) S = 0;
    if (EndLineMode == 1)
      E = 13;
    else if (EndLineMode == 2)
      E = 32;
    else
      E = (T == 32 || T == 13) ? T : 13;  // a wrong key at the end of a line expected Enter
  }
  if (E != T) ++Errors;
  ++Keystrokes;

  bool LineDone = false;
  if (!WaitForCorrect || E == T) {
    ++Column;
    if (S != 0) TypedLines->SetStrings(CurLine, TypedLines->Strings(CurLine) + static_cast<char>(S));
    const int Len = static_cast<int>(Src.size());
    if (Len == Column)
      NextChar = EndChar();
    else if (Len < Column)
      LineDone = true;
    else
      NextChar = Src[static_cast<std::size_t>(Column)];
    RedrawCurrentTypedLine(false);
  }

  if (LineDone && CurLine >= LineCount - 1) {
    // The keystroke that completes the exercise is reported like every other, then the end.
    PlaceCaret();
    if (FCaretMade) ShowCaret();
    Finished = true;
    const auto Report = OnKey;
    if (Report) {
      Report(static_cast<char>(E), static_cast<char>(T));
      Report(0, 0);
    }
    return;
  }
  if (LineDone) NextLine();
  PlaceCaret();
  if (FCaretMade) ShowCaret();
  if (OnKey) OnKey(static_cast<char>(E), static_cast<char>(T));
}

void TTypingTable::NextLine() {
  ++CurLine;
  if (TopLine + VisibleRows <= CurLine) {
    const int Rows = std::max(1, VisibleRows);
    if (ScrollStyle == 1)
      TopLine += 1;
    else if (ScrollStyle == 3)
      TopLine += std::max(1, Rows - 1);  // with one visible row, a page less one line is still one line
    else
      TopLine += Rows;
    if (TopLine > LineCount) TopLine -= Rows;
    if (TopLine < 0) TopLine = 0;
    // Whatever the style, the line being typed stays in view.
    if (CurLine < TopLine || CurLine >= TopLine + Rows) TopLine = CurLine;
    Invalidate();
  }
  Column = 0;
  SetNextCharAtCursor();
}

int TTypingTable::DrawTypedLine(TCanvas* C, int X0, int FirstColumn, const std::string& Source, const std::string& Typed,
                                int Y) {
  (void)FirstColumn;
  if (Typed.empty()) return 0;
  std::vector<int> Dx;
  int Fit = 0;
  // No limit on the extent: a typed line may run past its source line.
  C->GetTextExtentExPoint(Typed, -1, &Fit, &Dx);
  if (Dx.size() < Typed.size()) return -1;
  auto XOf = [&](std::size_t i) { return X0 + (i == 0 ? 0 : Dx[i - 1]); };
  auto Right = [&](std::size_t i) { return i < Source.size() && Typed[i] == Source[i]; };
  // Right characters in runs (one text call per run, placed at the run's first extent), then
  // every wrong one on its own at its extent.
  C->Font()->SetColor(CorColor);
  for (std::size_t i = 0; i < Typed.size();) {
    if (!Right(i)) {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < Typed.size() && Right(j)) ++j;
    C->TextOut(XOf(i), Y, Typed.substr(i, j - i));
    i = j;
  }
  C->Font()->SetColor(ErrColor);
  for (std::size_t i = 0; i < Typed.size(); ++i) {
    if (Right(i)) continue;
    char Ch = Typed[i];
    if (Ch == ' ') Ch = '_';
    if (Ch == 0 || Ch == 13) Ch = static_cast<char>(kPilcrow);
    C->TextOut(XOf(i), Y, Ch);
  }
  return Dx.back();
}

void TTypingTable::Paint() {
  TCanvas* C = Canvas();
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(BcgColor);
  C->FillRect(ClientRect());
  if (!FontMetricsValid) UpdateMetrics();
  C->SetFont(*Font());
  C->Brush()->SetColor(BcgColor);
  for (int R = 0; R < VisibleRows; ++R) {
    const int L = TopLine + R;
    if (L < 0 || L >= SourceLines->Count()) break;
    const int Y = R * RowPitch;
    if (L < TypedLines->Count()) DrawTypedLine(C, 0, 1, SourceLines->Strings(L), TypedLines->Strings(L), Y + LineHeight);
    C->Font()->SetColor(TmpColor);
    C->TextOut(0, Y, SourceLines->Strings(L));
  }
}
