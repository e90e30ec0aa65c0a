#pragma once
// Block boxes: margins, borders, padding and a width around a cell of content; list items.

#include <memory>
#include <string>

#include "htmlview/htmlobjects.h"
#include "htmlview/htmlsubs.h"
#include "htmlview/styleun.h"

constexpr int AutoValue = -0x7FFFFFFF;   // an auto width or margin until resolved
constexpr int DefaultParagraphMargin = 14;
constexpr int ListIndentWidth = 35;

struct TBoxValues {
  int MarginTop = 0, MarginRight = 0, MarginBottom = 0, MarginLeft = 0;
  int PaddingTop = 0, PaddingRight = 0, PaddingBottom = 0, PaddingLeft = 0;
  int BorderTop = 0, BorderRight = 0, BorderBottom = 0, BorderLeft = 0;
  int Width = AutoValue;
  int Height = 0;
};

// The box values of an element's style, converted for a containing width (auto stays AutoValue).
TBoxValues BoxFromStyle(const TMarginArray& VM, int ContainingWidth, int EmPixels, int ExPixels);

class TBlock : public TSectionBase {
 public:
  // Creates the content cell (named after the tag) and collapses the top margin with the bottom
  // margin of the block before it in OwnerCell.
  TBlock(TSectionList* ADocument, const TBoxValues& ABox, TCellBasic* OwnerCell, const std::string& ATag,
         uint8_t AClearMode = 0);
  // A block whose box, float, clearance, positioning, visibility and colours come from the style.
  TBlock(TSectionList* ADocument, TProperties& Props, TCellBasic* OwnerCell, const std::string& ATag);
  TBlock(TSectionList* ADocument, const TBlock& Source);

  TBoxValues BoxValues;
  TBlockCell Content;
  uint8_t ClearMode = 0;
  bool ListIndent = false;
  int ClearanceHeight = 0;
  int ContentWidth = 0;
  int ContentLeft = 0;
  int ContentBottom = 0;
  // From the style: the box as given (percentages are converted again for every width).
  std::unique_ptr<TMarginArray> StyleBoxValues;
  int EmPixels = 16, ExPixels = 8;
  int32_t BgColor = Transparent;
  int32_t BorderColor = Transparent;
  int32_t TextColor = 0;
  bool HasBorderStyle = false;
  uint8_t FloatSide = 0;    // 0 none, 5 left, 6 right
  uint8_t Positioning = 0;  // 0 static, 1 absolute, 2 relative
  uint8_t Visibility = 0;   // 1 hidden
  int TopOffset = 0, LeftOffset = 0;
  std::string TagAndClass;
  // The border box of the last layout, in document coordinates.
  TRect BoxRect;
  // background-image: tiled over the padding box from its top left corner.
  std::unique_ptr<TImageObj> BackgroundImage;

  TSectionBase* CloneFor(TSectionList* ADocument) const override { return new TBlock(ADocument, *this); }
  // The content width for the available width.
  virtual int ResolveWidth(TCanvas* Canvas, int AWidth);
  int Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
              int& Curs) override;
  int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) override;
  void WidthRange(TCanvas* Canvas, int& Min, int& Max) override;
  int CursorAt(int X, int Y) override { return Content.CursorAt(X, Y); }
  bool CharAt(int Pos, char& Ch, int& Font) override { return Content.CharAt(Pos, Ch, Font); }
  int DocToSource(int Pos) override { return Content.DocToSource(Pos); }
  int SourceToDoc(int Pos, bool Previous) override { return Content.SourceToDoc(Pos, Previous); }
  void Register() override { Content.Register(); }
  void CopySelection() override { Content.CopySelection(); }
  void ShiftY(int DY) override {
    TSectionBase::ShiftY(DY);
    ContentBottom += DY;
    BoxRect.Top += DY;
    BoxRect.Bottom += DY;
    Content.ShiftY(DY);
    Content.ContentBottomY += DY;
    Content.PaintTopY += DY;
    Content.PaintBottomY += DY;
  }
  bool LinkAt(int X, int Y, TUrlTarget*& UrlTarget, int& FormControl) override {
    return Content.LinkAt(X, Y, UrlTarget, FormControl);
  }
  bool ObjectAt(int X, int Y, void*& Obj) override { return Content.ObjectAt(X, Y, Obj); }
  bool CaretPoint(int Pos, int& X, int& Y) override { return Content.CaretPoint(Pos, X, Y); }
  int SearchText(const std::string& Text, bool MatchCase, int Start) override {
    return Content.SearchText(Text, MatchCase, Start);
  }

 protected:
  void CollapseWithPrevious(TCellBasic* OwnerCell);
  int SidesLeft() const { return BoxValues.BorderLeft + BoxValues.PaddingLeft; }
  int SidesRight() const { return BoxValues.BorderRight + BoxValues.PaddingRight; }
  static int Val(int V) { return V == AutoValue ? 0 : V; }
};

// The marker of a list item.
enum class TListMarker { None, Disc, Circle, Square, Decimal, UpperAlpha, LowerAlpha, UpperRoman, LowerRoman };

class TBlockLI : public TBlock {
 public:
  // ListTag: "ol", "ul", "dir", "menu" or "dl"; Level: the nesting level of bullet lists;
  // PlainList: a bullet list shown without markers.
  TBlockLI(TSectionList* ADocument, const TBoxValues& ABox, TCellBasic* OwnerCell, const std::string& ListTag,
           const std::string& AType, int AListNumber, int Level, bool PlainList = false);
  TBlockLI(TSectionList* ADocument, const TBlockLI& Source)
      : TBlock(ADocument, Source), Marker(Source.Marker), ListNumber(Source.ListNumber), MarkerColor(Source.MarkerColor) {}
  TSectionBase* CloneFor(TSectionList* ADocument) const override { return new TBlockLI(ADocument, *this); }
  TListMarker Marker = TListMarker::None;
  int ListNumber = 1;
  int32_t MarkerColor = 0;
  // The text shown before the item ("" for bullets and for none): "3.", "C.", "iv.".
  std::string MarkerText() const;
  int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) override;
  // The baseline of the item's first line of text (0 when it has none).
  int FirstBaseline() const;
};

// At the end of a cell the last block that stays in the flow gives up its bottom margin (a list
// item's rule is applied inside the item as well).
void DropLastBottomMargin(TCellBasic& Cell);

// Roman numerals for list numbers ("" for numbers below 1).
std::string RomanNumeral(int N, bool Upper);
