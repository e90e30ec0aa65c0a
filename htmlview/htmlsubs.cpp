#include "htmlview/htmlsubs.h"

#include <algorithm>

int TSectionBase::Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr,
                          int& MaxWidth, int& Curs) {
  (void)Canvas, (void)X, (void)AWidth, (void)AHeight;
  FirstPosition = Curs;
  PaintHeight = FlowHeight;
  MaxWidth = IMgr ? IMgr->Width : 0;
  TopY = Y;
  ContentTopY = Y;
  PaintTopY = Y;
  ContentBottomY = Y + FlowHeight;
  PaintBottomY = Y + PaintHeight;
  return FlowHeight;
}

int TSectionBase::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) {
  (void)Canvas, (void)ARect, (void)IMgr, (void)X, (void)XRef, (void)YRef;
  return PaintTopY + FlowHeight;
}

void TSectionBase::Register() {
  if (ParentSectionList) ParentSectionList->PositionList.push_back(this);
}

TCellBasic::TCellBasic(TSectionList* ADocument, const TCellBasic& Source)
    : MasterList(ADocument), OwnerTag(Source.OwnerTag) {
  for (int I = 0; I < Source.Count(); ++I) Add(Source[I]->CloneFor(ADocument));
}

void TCellBasic::Add(TSectionBase* Item) {
  if (!Item) return;
  Item->CompleteForCell();
  if (Item->EmptyForCell()) {
    delete Item;
    return;
  }
  Item->ParentSectionList = MasterList;
  TFreeList<TSectionBase>::Add(Item);
}

int TCellBasic::Arrange(TCanvas* Canvas, int Y, int& Curs, int& MaxWidth, int X, int AWidth) {
  YValue = Y;
  FirstPosition = Curs;
  int Height = 0;
  MaxWidth = 0;
  for (int I = 0; I < Count(); ++I) {
    int Max = 0;
    Height += Items(I)->Arrange(Canvas, X, Y + Height, AWidth, 0, FCellIMgr, Max, Curs);
    MaxWidth = std::max(MaxWidth, Max);
  }
  PositionCount = Curs - FirstPosition;
  return Height;
}

void TCellBasic::WidthRange(TCanvas* Canvas, int& Min, int& Max) {
  Min = 0;
  Max = 0;
  for (int I = 0; I < Count(); ++I) {
    int Mn = 0, Mx = 0;
    Items(I)->WidthRange(Canvas, Mn, Mx);
    Min = std::max(Min, Mn);
    Max = std::max(Max, Mx);
  }
}

int TCellBasic::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) {
  int Result = YRef;
  bool Stacked = false;
  for (int I = 0; I < Count() && !Stacked; ++I) Stacked = Items(I)->StackOrder != 0;
  if (!Stacked) {
    for (int I = 0; I < Count(); ++I) Result = Items(I)->Paint(Canvas, ARect, IMgr, X, XRef, YRef);
    return Result;
  }
  // Positioned and floating elements paint in stacking order: lower orders first (negative
  // ones below the flow), equal orders in document order.
  std::vector<TSectionBase*> Order;
  Order.reserve(static_cast<size_t>(Count()));
  for (int I = 0; I < Count(); ++I) Order.push_back(Items(I));
  std::stable_sort(Order.begin(), Order.end(),
                   [](const TSectionBase* A, const TSectionBase* B) { return A->StackOrder < B->StackOrder; });
  for (TSectionBase* S : Order) {
    const int R = S->Paint(Canvas, ARect, IMgr, X, XRef, YRef);
    if (S == Last()) Result = R;
  }
  return Result;
}

static bool InYSpan(const TSectionBase* S, int Y) { return Y >= S->ContentTopY && Y < S->PaintBottomY; }

bool TCellBasic::LinkAt(int X, int Y, TUrlTarget*& UrlTarget, int& FormControl) {
  for (int I = 0; I < Count(); ++I)
    if (InYSpan(Items(I), Y) && Items(I)->LinkAt(X, Y, UrlTarget, FormControl)) return true;
  return false;
}

bool TCellBasic::ObjectAt(int X, int Y, void*& Obj) {
  for (int I = 0; I < Count(); ++I)
    if (InYSpan(Items(I), Y) && Items(I)->ObjectAt(X, Y, Obj)) return true;
  return false;
}

int TCellBasic::CursorAt(int X, int Y) {
  for (int I = 0; I < Count(); ++I)
    if (InYSpan(Items(I), Y)) {
      int R = Items(I)->CursorAt(X, Y);
      if (R >= 0) return R;
    }
  return -1;
}

int TCellBasic::SearchText(const std::string& Text, bool MatchCase, int Start) {
  for (int I = 0; I < Count(); ++I) {
    int R = Items(I)->SearchText(Text, MatchCase, Start);
    if (R >= 0) return R;
  }
  return -1;
}

int TCellBasic::DocToSource(int Pos) {
  for (int I = 0; I < Count(); ++I) {
    int R = Items(I)->DocToSource(Pos);
    if (R >= 0) return R;
  }
  return -1;
}

int TCellBasic::SourceToDoc(int Pos, bool Previous) {
  if (Previous) {
    for (int I = Count() - 1; I >= 0; --I) {
      int R = Items(I)->SourceToDoc(Pos, Previous);
      if (R >= 0) return R;
    }
  } else {
    for (int I = 0; I < Count(); ++I) {
      int R = Items(I)->SourceToDoc(Pos, Previous);
      if (R >= 0) return R;
    }
  }
  return -1;
}

bool TCellBasic::CaretPoint(int Pos, int& X, int& Y) {
  for (int I = 0; I < Count(); ++I)
    if (Items(I)->CaretPoint(Pos, X, Y)) return true;
  return false;
}

bool TCellBasic::CharAt(int Pos, char& Ch, int& Font) {
  if (Pos < FirstPosition || Pos >= FirstPosition + PositionCount) return false;
  for (int I = 0; I < Count(); ++I)
    if (Items(I)->CharAt(Pos, Ch, Font)) return true;
  return false;
}

void TCellBasic::CopySelection() {
  if (!MasterList) return;
  const int Start = MasterList->SelStart, End = MasterList->SelEnd;
  for (int I = 0; I < Count(); ++I) {
    TSectionBase* S = Items(I);
    if (S->FirstPosition >= End) break;
    if (S->FirstPosition + S->PositionCount > Start) S->CopySelection();
  }
}

void TCellBasic::Register() {
  for (int I = 0; I < Count(); ++I) Items(I)->Register();
}

int TCell::Arrange(TCanvas* Canvas, int Y, int& Curs, int& MaxWidth, int X, int AWidth) {
  IMgr.Clear();
  IMgr.Reset(X, X + AWidth);  // the manager's Width is the absolute right side
  IMgr.CurrentBlock = 0;
  int Height = TCellBasic::Arrange(Canvas, Y, Curs, MaxWidth, X, AWidth);
  int FloatBottom = IMgr.FloatBottom();
  IMgr.Clear();
  return std::max(Height, FloatBottom - Y);
}

int TCell::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* AIMgr, int X, int XRef, int YRef) {
  (void)AIMgr;
  IMgr.Clear();
  IMgr.Reset(X, IMgr.Width);
  return TCellBasic::Paint(Canvas, ARect, &IMgr, X, XRef, YRef);
}

int TBlockCell::Arrange(TCanvas* Canvas, int Y, int& Curs, int& MaxWidth, int X, int AWidth) {
  int Height = TCellBasic::Arrange(Canvas, Y, Curs, MaxWidth, X, AWidth);
  ContentBottomY = Y;
  PaintTopY = 990000;
  PaintBottomY = Y;
  for (int I = 0; I < Count(); ++I) {
    TSectionBase* S = Items(I);
    ContentBottomY = std::max(ContentBottomY, S->ContentBottomY);
    PaintTopY = std::min(PaintTopY, S->PaintTopY);
    PaintBottomY = std::max(PaintBottomY, S->PaintBottomY);
  }
  TotalHeight = Height;
  return Height;
}
