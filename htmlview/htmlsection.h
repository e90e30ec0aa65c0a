#pragma once
// One paragraph of inline content: its characters with break flags and source offsets, the font
// runs that apply to its pieces, and the lines it breaks into for a width.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/htmlfonts.h"
#include "htmlview/htmlobjects.h"
#include "htmlview/htmlsubs.h"

// Marker characters inside a section's text.
constexpr char FmCtlMark = '\x02';   // a form control
constexpr char ImgMark = '\x04';     // an image or panel
constexpr char NbspMark = '\x05';    // a non-breaking space until Complete
constexpr char BrkMark = '\x08';     // a forced line break
constexpr char SoftHyphen = '\xAD';  // removed by Complete

// A font run: the font that applies from character position Pos on.
class TFontObj {
 public:
  TFontObj(int APos, const TMyFont& AFont) : Pos(APos) { TheFont.Assign(AFont); }
  int Pos;
  TMyFont TheFont;
  std::string Url;
  std::string Target;
  int LinkID = 0;  // the pieces of one link share it
  bool Visited = false, Hover = false;
  // The looks of a link: plain, visited, hovered, hovered and visited.
  std::unique_ptr<TFontInfoArray> LinkFonts;
  int SScript = 0;  // 0 normal, 1 lowered, 2 raised
  void SetVisited(bool Value);
  void SetHover(bool Value);
  // Metrics, filled by Measure on the canvas.
  int FontHeight = 0;
  int Descent = 0;
  int Overhang = 0;
  int MaxCharWidth = 0;
  bool Measured = false;
  void Measure(TCanvas* Canvas);
};

class TFontList : public TFreeList<TFontObj> {
 public:
  // The run that covers position Pos (the first run when Pos precedes them all).
  TFontObj* GetFontObjAt(int Pos) const;
};

struct LineRec {
  int Start = 0;  // index of the line's first character in Text
  int SpaceBefore = 0;
  int SpaceAfter = 0;
  int LineHeight = 0;
  int PaintHeight = 0;
  int CharCount = 0;
  int Descent = 0;
  int Indent = 0;
  int PaintX = 0;
  int LineWidth = 0;
  int PaintY = 0;
  int SpaceCount = 0;
  int Extra = 0;
};

struct IndexObj {
  int Pos;
  int Index;
};

class TSection : public TSectionBase {
 public:
  // AAlignment: 1 left, 2 centre, 3 right, 4 justified; AClearMode: 0 none, 1 left, 2 right, 3 both.
  TSection(TSectionList* ADocument, const TMyFont& AFont, uint8_t AAlignment = 1, uint8_t AClearMode = 0,
           int ALineHeightSetting = 0);
  TSection(TSectionList* ADocument, const TSection& Source);
  ~TSection() override;
  // Set when an anchor or ID names the section: it leaves the document's ID list when freed.
  bool HasAnchor = false;
  // Takes the section's link runs out of the document's link list.
  void DropLinks();

  std::string Text;
  std::string BreakFlags;
  std::vector<int> SourcePositions;  // while building, one per character
  TFontList Fonts;
  std::vector<IndexObj> SourceIndex;
  std::vector<LineRec> Lines;
  uint8_t Alignment = 1;
  uint8_t ClearMode = 0;
  int32_t LineHeightSetting = 0;
  int32_t PaintLeft = 0;
  int32_t LineRoom = 0;
  int32_t CachedMinWidth = -1;
  int32_t CachedMaxWidth = -1;
  bool Completed = false;
  // Set by the builder while it is inside a no-break region (NOBR, white-space: nowrap).
  bool NoBreak = false;
  TImageObjList Images;
  std::vector<TFormControlObj*> FormControls;  // owned by the forms

  int Len() const { return static_cast<int>(Text.size()); }
  void AddMarker(char Ch, int SourceOffset);
  virtual void AddToken(const TokenObj& T);
  // Starts a new font run at the current length (or changes the run that already starts there).
  void StartFontRun(const TMyFont& AFont);
  // The same for a run of a link (Url empty: the run belongs to no link).
  void StartLinkRun(const TMyFont& AFont, const std::string& Url, const std::string& Target, int LinkID,
                    const TFontInfoArray* LinkFonts);
  // An image, panel or form control at the current position; the section owns the image.
  void AppendImage(TFloatingObj* Obj, int SourceOffset);
  void AppendFormControl(TFormControlObj* Control, int SourceOffset);
  virtual void Complete();

  TSectionBase* CloneFor(TSectionList* ADocument) const override { return new TSection(ADocument, *this); }
  int Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
              int& Curs) override;
  int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) override;
  void WidthRange(TCanvas* Canvas, int& Min, int& Max) override;
  bool MinWidthAtMost(TCanvas* Canvas, int Width) override;
  int DocToSource(int Pos) override;
  int SourceToDoc(int Pos, bool Previous) override;
  // The document position of the first character that comes from source offset Src or later
  // (-1 when every character comes from before it).
  int SourceAtOrAfter(int Src) const;
  bool CharAt(int Pos, char& Ch, int& Font) override;
  int CursorAt(int X, int Y) override;
  bool LinkAt(int X, int Y, TUrlTarget*& UrlTarget, int& FormControl) override;
  bool ObjectAt(int X, int Y, void*& Obj) override;
  bool CaretPoint(int Pos, int& X, int& Y) override;
  int SearchText(const std::string& Text, bool MatchCase, int Start) override;
  void Register() override;
  void CopySelection() override;
  void ShiftY(int DY) override;
  bool EmptyForCell() override { return Len() == 0 && ClearMode == 0 && !Preformatted(); }
  void CompleteForCell() override {
    if (!Completed) Complete();
  }
  virtual bool Preformatted() const { return false; }

 protected:
  // Width of Text[Start, Start+N) with font changes; markers take no room.
  int MeasureRun(TCanvas* Canvas, int Start, int N);
  // The number of characters from Start (of Remaining) that fit in Room.
  int FitChars(TCanvas* Canvas, int Start, int Remaining, int Room);
  void FinishLine(TCanvas* Canvas, int Start, int Count, bool LastLine, int X, int& Y, IndentManager* IMgr);
  void RemoveChar(int I);
  int ClearanceHeight(IndentManager* IMgr, int Y) const;
  // Sets the run's font on the canvas only when it changes (reset at the start of every pass).
  void UseFont(TCanvas* Canvas, const TFontObj* F);
  const TFontObj* FCanvasFont = nullptr;
  // Room a marker takes in a line (images that float take none).
  int MarkerWidth(int I) const;
  TFormControlObj* ControlAt(int I) const;
  // Where the font run that holds character I ends.
  int FontRunEnd(int I) const;
  // The character under document point X in line L (-1 when left of the text).
  int CharInLine(TCanvas* Canvas, const LineRec& L, int X, bool& InText);
  // Places the floating image at character I at height Y.
  void PlaceFloat(int I, int Y, IndentManager* IMgr);
  int FloatBottom = 0;
  int ArrangeX = 0;
  int FNextBreak = -1;  // the next #8 at or after the line being fitted
};
