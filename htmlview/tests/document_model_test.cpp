#include <gtest/gtest.h>

#include "htmlview/htmlsubs.h"

namespace {

// A section of fixed height that answers hit tests inside its own span only.
class TFixedSection : public TSectionBase {
 public:
  TFixedSection(TSectionList* Doc, int Height, int Chars, bool Empty = false, int MinW = 0, int MaxW = 0)
      : TSectionBase(Doc), FChars(Chars), FEmpty(Empty), FMin(MinW), FMax(MaxW) {
    FlowHeight = Height;
  }
  int Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
              int& Curs) override {
    int R = TSectionBase::Arrange(Canvas, X, Y, AWidth, AHeight, IMgr, MaxWidth, Curs);
    PositionCount = FChars;
    Curs += FChars;
    return R;
  }
  int CursorAt(int X, int Y) override {
    (void)X;
    return (Y >= TopY && Y < TopY + FlowHeight) ? FirstPosition : -1;
  }
  bool CharAt(int Pos, char& Ch, int& Font) override {
    if (Pos < FirstPosition || Pos >= FirstPosition + PositionCount) return false;
    Ch = 'a';
    Font = 0;
    return true;
  }
  void WidthRange(TCanvas*, int& Min, int& Max) override {
    Min = FMin;
    Max = FMax;
  }
  bool EmptyForCell() override { return FEmpty; }
  void CompleteForCell() override { ++Completed; }
  int Completed = 0;

 private:
  int FChars;
  bool FEmpty;
  int FMin, FMax;
};

TEST(DocumentModel, DefaultSectionArrangesAndPaintsItsFlowHeight) {
  TSectionList Doc;
  TSectionBase S(&Doc);
  S.FlowHeight = 17;
  IndentManager IMgr;
  IMgr.Reset(0, 333);
  int MaxWidth = -1, Curs = 42;
  EXPECT_EQ(S.Arrange(nullptr, 5, 100, 200, 0, &IMgr, MaxWidth, Curs), 17);
  EXPECT_EQ(S.FirstPosition, 42);
  EXPECT_EQ(MaxWidth, 333);
  EXPECT_EQ(S.TopY, 100);
  EXPECT_EQ(S.ContentBottomY, 117);
  EXPECT_EQ(S.PaintBottomY, 117);
  EXPECT_EQ(S.YPosition(), 100);
  EXPECT_EQ(S.Paint(nullptr, TRect(), &IMgr, 0, 0, 0), 117);
  int Mn = -1, Mx = -1;
  S.WidthRange(nullptr, Mn, Mx);
  EXPECT_EQ(Mn, 0);
  EXPECT_EQ(Mx, 0);
  S.StackOrder = 10;
  std::unique_ptr<TSectionBase> Copy(S.CloneFor(&Doc));
  EXPECT_EQ(Copy->FlowHeight, 17);
  EXPECT_EQ(Copy->StackOrder, 10);
}

TEST(DocumentModel, CellAddsCompletesAndDropsEmptySections) {
  TSectionList Doc;
  TBlockCell Cell(&Doc);
  auto* Kept = new TFixedSection(nullptr, 10, 3);
  Cell.Add(Kept);
  Cell.Add(new TFixedSection(nullptr, 0, 0, /*Empty=*/true));
  ASSERT_EQ(Cell.Count(), 1);
  EXPECT_EQ(Kept->Completed, 1);
  EXPECT_EQ(Kept->ParentSectionList, &Doc);
}

TEST(DocumentModel, CellArrangesSectionsBelowEachOther) {
  TSectionList Doc;
  TBlockCell Cell(&Doc);
  Cell.Add(new TFixedSection(&Doc, 10, 3, false, 20, 50));
  Cell.Add(new TFixedSection(&Doc, 25, 4, false, 30, 40));
  int Curs = 7, MaxWidth = 0;
  EXPECT_EQ(Cell.Arrange(nullptr, 50, Curs, MaxWidth, 0, 300), 35);
  EXPECT_EQ(Curs, 14);
  EXPECT_EQ(Cell.PositionCount, 7);
  EXPECT_EQ(Cell[1]->TopY, 60);
  EXPECT_EQ(Cell.ContentBottomY, 85);
  EXPECT_EQ(Cell.PaintTopY, 50);
  EXPECT_EQ(Cell.PaintBottomY, 85);
  int Mn = 0, Mx = 0;
  Cell.WidthRange(nullptr, Mn, Mx);
  EXPECT_EQ(Mn, 30);
  EXPECT_EQ(Mx, 50);

  // Hit tests inside a section's span reach it; outside every span they answer -1/false.
  EXPECT_EQ(Cell.CursorAt(1, 65), 10);
  EXPECT_EQ(Cell.CursorAt(1, 49), -1);
  EXPECT_EQ(Cell.CursorAt(1, 85), -1);
  TUrlTarget* Url = nullptr;
  int Fc = 0;
  EXPECT_FALSE(Cell.LinkAt(1, 55, Url, Fc));
  char Ch = 0;
  int Font = -1;
  EXPECT_TRUE(Cell.CharAt(12, Ch, Font));
  EXPECT_FALSE(Cell.CharAt(14, Ch, Font));
  EXPECT_FALSE(Cell.CharAt(6, Ch, Font));
}

TEST(DocumentModel, EmptyCellArrangesToZeroOrToItsFloats) {
  TSectionList Doc;
  TCell Cell(&Doc);
  int Curs = 0, MaxWidth = 0;
  EXPECT_EQ(Cell.Arrange(nullptr, 40, Curs, MaxWidth, 0, 200), 0);

  // A section that leaves a float in the cell's manager: the cell reaches the float's bottom.
  class TFloatLeaver : public TSectionBase {
   public:
    using TSectionBase::TSectionBase;
    int Arrange(TCanvas* C, int X, int Y, int W, int H, IndentManager* IMgr, int& MaxWidth, int& Curs) override {
      int Indent = 0;
      IMgr->AddImageFloat(Y, true, false, 50, 80, 0, 0, 0, 0, Indent);
      return TSectionBase::Arrange(C, X, Y, W, H, IMgr, MaxWidth, Curs);
    }
  };
  auto* S = new TFloatLeaver(&Doc);
  S->FlowHeight = 5;
  Cell.Add(S);
  EXPECT_EQ(Cell.Arrange(nullptr, 40, Curs, MaxWidth, 0, 200), 80);
}

TEST(DocumentModel, PrintCopyAndRegistration) {
  TSectionList Doc;
  TBlockCell Cell(&Doc);
  Cell.Add(new TFixedSection(&Doc, 10, 3));
  Cell.Add(new TFixedSection(&Doc, 12, 3));
  TSectionList PrintDoc;
  TBlockCell Copy(&PrintDoc, Cell);
  ASSERT_EQ(Copy.Count(), 2);
  EXPECT_EQ(Copy[1]->FlowHeight, 12);
  EXPECT_EQ(Copy[0]->ParentSectionList, &PrintDoc);
  Cell.Register();
  ASSERT_EQ(Doc.PositionList.size(), 2u);
  EXPECT_EQ(Doc.PositionList[1], Cell[1]);
  EXPECT_TRUE(PrintDoc.PositionList.empty());
}

}  // namespace
