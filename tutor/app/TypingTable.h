// The control every exercise is typed in. It shows the exercise text line by line with what the
// learner typed under each source line (right characters in CorColor, wrong ones in ErrColor, a
// wrong blank as '_', a wrong end of line as the pilcrow), checks every typed character against
// the expected one, counts keystrokes and errors, moves on to the next line and scrolls. Every
// checked key is reported through OnKey(Expected, Typed); the end of the exercise as OnKey(0, 0).
//
// Key codes: 8 backspace, 13 Enter, 32 blank; 182 (the pilcrow of code page 1250) is the end of
// a line as NextChar names it.
//
// End-of-line modes (Options\EndLineMode): 1 Enter ends a line, 2 the blank ends it, 3 either.
// A wrong key at the end of a line is an error whose expected key is the mode's end key (Enter in
// mode 3). Scroll styles (Options\ScrollStyle): 1 one line, 2 a page, 3 a page less one line.
//
// Control characters other than backspace and Enter (Ctrl+letter, Esc, Tab) are no typed keys:
// they are neither counted nor reported, and the table keeps the focus and the Enter key, so no
// button of the page takes them. A backspace that removes nothing changes nothing. With
// UseBackspace off the backspace is ignored. An exercise with no line to type is reported by
// NothingToType(); its table takes no keys.
//
// The owner may free the table's form from inside OnKey(0, 0) only through a deferred release:
// the table touches nothing after that call.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/controls.h"

class TTypingTable : public TCustomControl {
 public:
  explicit TTypingTable(TComponent* AOwner);
  ~TTypingTable() override;
  std::string ClassName() const override { return "TTypingTable"; }

  bool FontMetricsValid = false;
  TTextMetric TextMetrics;
  int CharsPerLine = 1;
  int LineHeight = 0;
  int RowPitch = 1;
  int TopLine = 0;
  int LineCount = 0;
  int VisibleRows = 1;
  int CurLine = 0;
  int Column = 0;
  bool UseBackspace = true;
  bool WaitForCorrect = false;
  std::unique_ptr<TStringList> SourceLines;
  std::unique_ptr<TStringList> TypedLines;
  // The raw lines of the last lesson file loaded (nullptr before any), for its #inst lines.
  std::unique_ptr<TStringList> FileLines;
  bool Finished = false;
  int Errors = 0;
  int Keystrokes = 0;
  int TextLength = 0;
  char NextChar = 0;
  int ScrollStyle = 2;
  int EndLineMode = 1;
  TColor BcgColor = clWhite, TmpColor = clBlack, ErrColor = clRed, CorColor = clNavy;
  std::function<void(char Expected, char Typed)> OnKey;

  void Clear();
  virtual void UpdateMetrics();
  // 0, or -1 when the file cannot be read (the table is then prepared with the text it has).
  int LoadLessonText(const std::string& FileName);
  // Fill the lines through the word or letter generator at the table's width; the generator's
  // result.
  int SetWords(const std::string& Allowed, const std::string& Emphasis, int Count);
  int SetLetters(const std::string& Allowed, const std::string& Emphasis, int Count);
  // Starts the exercise on SourceLines: announces the first key as OnKey(NextChar, 0). False when
  // there is nothing to type (no line): nothing is announced and keys are ignored.
  bool Prepare();
  bool NothingToType() const { return LineCount == 0; }

  // The check of one typed character (what a character message runs).
  void TypingKeyPress(char Typed);
  // Draws Typed under Source at (X0, Y); the width drawn, or -1 when it cannot be measured.
  int DrawTypedLine(TCanvas* Canvas, int X0, int FirstColumn, const std::string& Source, const std::string& Typed,
                    int Y);

  void Paint() override;
  void KeyPress(char& Key) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  bool WantsKey(uint16_t Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  void DoEnter() override;
  void DoExit() override;
  void Resize() override;

 private:
  // The end-of-line character NextChar names in the current mode.
  char EndChar() const { return EndLineMode == 2 ? ' ' : static_cast<char>(182); }
  // NextChar for the cursor at Column of the current line, bounds-checked.
  void SetNextCharAtCursor();
  // Moves to the next line (the last one is handled by the caller).
  void NextLine();
  void PlaceCaret();
  void RecreateCaret();
  void RedrawCurrentTypedLine(bool ClearRest);
  std::string CurrentSource() const;
  bool FCaretMade = false;
  // The width of the current typed line as last measured, so the caret needs no second measure.
  int FMeasuredLine = -1;
  std::size_t FMeasuredLength = 0;
  int FMeasuredWidth = 0;
  std::vector<int> FExtents;
};
