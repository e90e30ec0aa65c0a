#pragma once
// Tables: rows of cells with column and row spans, column widths from the cells' width ranges,
// cell spacing and padding.

#include <memory>
#include <vector>

#include "htmlview/htmlsubs.h"

class TCellObj {
 public:
  TCellObj(TSectionList* ADocument, int AColSpan = 1, int ARowSpan = 1)
      : Cell(ADocument), ColSpan(std::max(1, AColSpan)), RowSpan(std::max(1, ARowSpan)) {}
  // The copy for printing; colours only when the document prints table backgrounds.
  TCellObj(TSectionList* ADocument, const TCellObj& Source);
  TCell Cell;
  int ColSpan;
  int RowSpan;
  // WIDTH: pixels, or tenths of a percent of the table width when WantedWidthPercent.
  int WantedWidth = 0;
  bool WantedWidthPercent = false;
  int WantedHeight = 0;
  int32_t BgColor = 0x1FFFFFFF;  // none
  uint8_t VertAlign = 2;         // 1 top, 2 middle, 3 bottom
  // Set by layout: position relative to the table and size of the cell box.
  int X = 0, Y = 0, Wd = 0, Ht = 0;
};

// A table row; a null entry stands where a cell of an earlier row spans down.
class TCellList : public TFreeList<TCellObj> {};

class ThtmlTable : public TSectionBase {
 public:
  ThtmlTable(TSectionList* ADocument, int ACellSpacing = 2, int ACellPadding = 1)
      : TSectionBase(ADocument), CellSpacing(std::max(0, ACellSpacing)), CellPadding(std::max(0, ACellPadding)) {}
  ThtmlTable(TSectionList* ADocument, const ThtmlTable& Source);
  TSectionBase* CloneFor(TSectionList* ADocument) const override { return new ThtmlTable(ADocument, *this); }
  TFreeList<TCellList> Rows;
  // CAPTION: a cell as wide as the table, above it or (CaptionOnTop false) below it.
  std::unique_ptr<TCellObj> Caption;
  bool CaptionOnTop = true;
  int GridOffset = 0;  // the grid's X inside a wider caption
  int CellSpacing;
  int CellPadding;
  std::vector<int> Widths;   // column widths of the last layout
  std::vector<int> Heights;  // row heights of the last layout
  int TableWidth = 0;
  // WIDTH of the table: pixels, or tenths of a percent of the room when WantedTableWidthPercent.
  int WantedTableWidth = 0;
  bool WantedTableWidthPercent = false;
  bool HasBorder = false;
  int32_t BgColor = 0x1FFFFFFF;
  // Column percentages (tenths) of the last layout.
  std::vector<int> Percents;
  // BORDER: a raised frame round the table and sunken ones round the cells; the spacing grows
  // to hold them.
  void SetBorder(int Width);
  int NumCols() const;
  int PaintLeftX() const { return LeftX; }
  void WidthRange(TCanvas* Canvas, int& Min, int& Max) override;
  int Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
              int& Curs) override;
  int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) override;
  void ShiftY(int DY) override {
    TSectionBase::ShiftY(DY);
    for (int R = 0; R < Rows.Count(); ++R)
      for (int I = 0; I < Rows[R]->Count(); ++I)
        if (TCellObj* C = Rows[R]->Items(I)) C->Cell.ShiftY(DY);
    if (Caption) Caption->Cell.ShiftY(DY);
  }
  void CopySelection() override {
    if (Caption && CaptionOnTop) Caption->Cell.CopySelection();
    for (int R = 0; R < Rows.Count(); ++R)
      for (int I = 0; I < Rows[R]->Count(); ++I)
        if (TCellObj* C = Rows[R]->Items(I)) C->Cell.CopySelection();
    if (Caption && !CaptionOnTop) Caption->Cell.CopySelection();
  }

 private:
  void ColumnRanges(TCanvas* Canvas, std::vector<int>& Mins, std::vector<int>& Maxs);
  // The widths for the room, honouring pixel and percentage widths of the table and its cells.
  void ColumnWidths(int Room, const std::vector<int>& Mins, const std::vector<int>& Maxs);
  int LeftX = 0;
  // The cells' width ranges do not change after the document is built: found once.
  bool FRangesKnown = false;
  std::vector<int> FMins, FMaxs, FPercents;
};
