#pragma once
// The laid-out document: sections (paragraphs, blocks, tables, rules) held in cells. Every
// element is built once, arranged for a width (again on every resize), then painted and asked
// hit-test questions. This file holds the roots of that tree and the cells that drive them.

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "htmlview/htmlun2.h"
#include "platform/core/sysutils.h"
#include "platform/gui/geometry.h"

class TCanvas;
class TSectionList;
class TUrlTarget;

// Raised by the layout when the document tree cannot be processed.
class EProcessError : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EProcessError"; }
};

class TSectionBase : public TIDObject {
 public:
  explicit TSectionBase(TSectionList* AOwner) : ParentSectionList(AOwner) {}
  // The copy made for printing: keeps the flow height and stacking order, bound to ADocument.
  TSectionBase(TSectionList* ADocument, const TSectionBase& Source)
      : ParentSectionList(ADocument), FlowHeight(Source.FlowHeight), StackOrder(Source.StackOrder) {}
  TSectionBase(const TSectionBase&) = delete;
  TSectionBase& operator=(const TSectionBase&) = delete;
  ~TSectionBase() override = default;

  TSectionList* ParentSectionList;
  int32_t FlowHeight = 0;
  int32_t PaintHeight = 0;
  int32_t FirstPosition = 0;
  int32_t PositionCount = 0;
  int32_t StackOrder = 0;
  int32_t TopY = 0;
  int32_t ContentBottomY = 0;
  int32_t ContentTopY = 0;
  int32_t PaintBottomY = 0;
  int32_t PaintTopY = 0;

  int YPosition() override { return TopY; }
  virtual TSectionBase* CloneFor(TSectionList* ADocument) const { return new TSectionBase(ADocument, *this); }
  virtual void CopySelection() {}
  virtual int Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
                      int& Curs);
  virtual int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef);
  virtual bool LinkAt(int X, int Y, TUrlTarget*& UrlTarget, int& FormControl) {
    (void)X, (void)Y, (void)UrlTarget, (void)FormControl;
    return false;
  }
  virtual bool ObjectAt(int X, int Y, void*& Obj) {
    (void)X, (void)Y, (void)Obj;
    return false;
  }
  virtual int CursorAt(int X, int Y) {
    (void)X, (void)Y;
    return -1;
  }
  virtual int SearchText(const std::string& Text, bool MatchCase, int Start) {
    (void)Text, (void)MatchCase, (void)Start;
    return -1;
  }
  virtual int DocToSource(int Pos) {
    (void)Pos;
    return -1;
  }
  virtual int SourceToDoc(int Pos, bool Previous) {
    (void)Pos, (void)Previous;
    return -1;
  }
  virtual bool CaretPoint(int Pos, int& X, int& Y) {
    (void)Pos, (void)X, (void)Y;
    return false;
  }
  virtual bool CharAt(int Pos, char& Ch, int& Font) {
    (void)Pos, (void)Ch, (void)Font;
    return false;
  }
  virtual void WidthRange(TCanvas* Canvas, int& Min, int& Max) {
    (void)Canvas;
    Min = 0;
    Max = 0;
  }
  // Enters the element into the document's list of positioned elements.
  virtual void Register();
  // True for a section that holds nothing worth keeping in a cell (an empty paragraph that
  // clears no floats); such sections are freed instead of being added.
  virtual bool EmptyForCell() { return false; }
  // Completes a section that still holds what the builder collected (paragraphs do).
  virtual void CompleteForCell() {}
};

class TCellBasic : public TFreeList<TSectionBase> {
 public:
  explicit TCellBasic(TSectionList* AMasterList) : MasterList(AMasterList) {}
  // The print copy: each section copied by its own copy operation for the new document.
  TCellBasic(TSectionList* ADocument, const TCellBasic& Source);

  TSectionList* MasterList;
  int32_t YValue = 0;
  int32_t FirstPosition = 0;
  int32_t PositionCount = 0;
  std::string OwnerTag = "default";

  // Completes, discards or appends the section (the cell owns it afterwards).
  void Add(TSectionBase* Item);
  virtual int Arrange(TCanvas* Canvas, int Y, int& Curs, int& MaxWidth, int X, int AWidth);
  virtual void WidthRange(TCanvas* Canvas, int& Min, int& Max);
  virtual int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef);
  virtual bool LinkAt(int X, int Y, TUrlTarget*& UrlTarget, int& FormControl);
  bool ObjectAt(int X, int Y, void*& Obj);
  int CursorAt(int X, int Y);
  int SearchText(const std::string& Text, bool MatchCase, int Start);
  int DocToSource(int Pos);
  int SourceToDoc(int Pos, bool Previous);
  bool CaretPoint(int Pos, int& X, int& Y);
  bool CharAt(int Pos, char& Ch, int& Font);
  void Register();
  // Binds the manager that the cell's sections arrange against (cells that own one keep theirs).
  void SetIndentManager(IndentManager* IMgr) { FCellIMgr = IMgr; }

 protected:
  IndentManager* FCellIMgr = nullptr;  // set by cells that own a manager
};

class TCell : public TCellBasic {
 public:
  explicit TCell(TSectionList* AMasterList) : TCellBasic(AMasterList) { FCellIMgr = &IMgr; }
  TCell(TSectionList* ADocument, const TCell& Source) : TCellBasic(ADocument, Source) { FCellIMgr = &IMgr; }
  IndentManager IMgr;
  int Arrange(TCanvas* Canvas, int Y, int& Curs, int& MaxWidth, int X, int AWidth) override;
  int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* AIMgr, int X, int XRef, int YRef) override;
};

class TBlockCell : public TCellBasic {
 public:
  using TCellBasic::TCellBasic;
  int32_t ContentBottomY = 0;
  int32_t PaintTopY = 990000;
  int32_t PaintBottomY = 0;
  int32_t TotalHeight = 0;
  int Arrange(TCanvas* Canvas, int Y, int& Curs, int& MaxWidth, int X, int AWidth) override;
};

// The document itself: the outermost cell plus what every element registers with it.
class TSectionList : public TCell {
 public:
  TSectionList() : TCell(this) {}
  // Elements in document order by position, for finding the element at a position.
  std::vector<TSectionBase*> PositionList;
  void ClearLayoutLists() { PositionList.clear(); }
};
