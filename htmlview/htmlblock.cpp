#include "htmlview/htmlblock.h"

#include <algorithm>

#include "platform/core/sysutils.h"

static int CollapseMargins(int T, int B) {
  if (T >= 0 && B >= 0) return std::max(T, B);
  if (T < 0 && B < 0) return std::min(T, B);
  return T + B;
}

TBlock::TBlock(TSectionList* ADocument, const TBoxValues& ABox, TCellBasic* OwnerCell, const std::string& ATag,
               uint8_t AClearMode)
    : TSectionBase(ADocument), BoxValues(ABox), Content(ADocument), ClearMode(AClearMode) {
  Content.OwnerTag = ATag;
  if (!OwnerCell) return;
  TBlock* Prev = nullptr;
  for (int I = OwnerCell->Count() - 1; I >= 0 && !Prev; --I) Prev = dynamic_cast<TBlock*>(OwnerCell->Items(I));
  if (Prev) {
    const int B = Val(Prev->BoxValues.MarginBottom);
    Prev->BoxValues.MarginBottom = 0;
    BoxValues.MarginTop = CollapseMargins(Val(BoxValues.MarginTop), B);
  } else if (BoxValues.MarginTop == DefaultParagraphMargin && OwnerCell->OwnerTag != "default" &&
             OwnerCell->OwnerTag != "body") {
    BoxValues.MarginTop = 0;
  }
}

TBlock::TBlock(TSectionList* ADocument, const TBlock& Source)
    : TSectionBase(ADocument, Source),
      BoxValues(Source.BoxValues),
      Content(ADocument, Source.Content),
      ClearMode(Source.ClearMode),
      ListIndent(Source.ListIndent) {}

void TBlock::WidthRange(TCanvas* Canvas, int& Min, int& Max) {
  Content.WidthRange(Canvas, Min, Max);
  if (ListIndent) {
    Min += ListIndentWidth;
    Max += ListIndentWidth;
  }
  const int Sides = Val(BoxValues.MarginLeft) + Val(BoxValues.MarginRight) + SidesLeft() + SidesRight();
  const int W = Val(BoxValues.Width);
  const int MinW = std::max(Min, W) + Sides;
  Max = BoxValues.Width == AutoValue ? std::max(Max, W) + Sides : MinW;
  Min = MinW;
}

int TBlock::ResolveWidth(TCanvas* Canvas, int AWidth) {
  int CMin = 0, CMax = 0;
  Content.WidthRange(Canvas, CMin, CMax);
  const int Sides = SidesLeft() + SidesRight();
  TBoxValues& B = BoxValues;
  const bool AutoL = B.MarginLeft == AutoValue, AutoR = B.MarginRight == AutoValue, AutoW = B.Width == AutoValue;
  if (AutoW) {
    if (AutoL) B.MarginLeft = 0;
    if (AutoR) B.MarginRight = 0;
    return std::max(CMin, AWidth - Sides - B.MarginLeft - B.MarginRight);
  }
  const int W = (AutoL || AutoR) ? std::max(B.Width, CMin) : std::max(CMin, std::min(B.Width, AWidth - Sides));
  const int Rest = AWidth - Sides - W;
  if (AutoL && AutoR) {
    B.MarginLeft = B.MarginRight = std::max(0, Rest / 2);
  } else if (AutoL) {
    B.MarginLeft = std::max(0, Rest - B.MarginRight);
  } else if (AutoR) {
    B.MarginRight = std::max(0, Rest - B.MarginLeft);
  }
  return W;
}

int TBlock::Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
                    int& Curs) {
  (void)AHeight;
  IndentManager Local;
  if (!IMgr) {
    Local.Reset(X, X + AWidth);
    IMgr = &Local;
  }
  FirstPosition = Curs;
  ClearanceHeight = 0;
  if (ClearMode != 0) {
    int Level = 0;
    for (const TFreeList<IndentRec>* L : {&IMgr->LeftList, &IMgr->RightList}) {
      if ((L == &IMgr->LeftList && ClearMode == 2) || (L == &IMgr->RightList && ClearMode == 1)) continue;
      for (int I = 0; I < L->Count(); ++I) Level = std::max(Level, (*L)[I]->Bottom);
    }
    ClearanceHeight = std::max(0, Level - Y - 1);
  }
  ContentWidth = ResolveWidth(Canvas, AWidth);
  const TBoxValues& B = BoxValues;
  int ContentX = X + B.MarginLeft + SidesLeft();
  if (ListIndent) {
    const int Left = IMgr->LeftEdgeAt(Y);
    if (ContentX < Left + ListIndentWidth) {
      const int Shift = Left + ListIndentWidth - ContentX;
      ContentX += Shift;
      ContentWidth = std::max(0, ContentWidth - Shift);
    }
  }
  ContentLeft = ContentX - X;
  ContentTopY = Y + ClearanceHeight + std::min(0, B.MarginTop);
  PaintTopY = ContentTopY;
  TopY = Y + ClearanceHeight + B.MarginTop + B.PaddingTop + B.BorderTop;
  // The content sees its own left and right sides while it is arranged.
  const int SavedEdge = IMgr->LeftEdge, SavedWidth = IMgr->Width;
  Content.SetIndentManager(IMgr);
  IMgr->LeftEdge = ContentX;
  IMgr->Width = ContentX + ContentWidth;
  int CellMax = 0;
  const int CellHeight = Content.Arrange(Canvas, TopY, Curs, CellMax, ContentX, ContentWidth);
  IMgr->LeftEdge = SavedEdge;
  IMgr->Width = SavedWidth;
  ContentBottom = std::max(TopY + CellHeight, TopY + B.Height);
  ContentBottom = std::max(ContentBottom, TopY);
  ContentBottomY = ContentBottom + B.PaddingBottom + B.BorderBottom + B.MarginBottom;
  PaintBottomY = std::max(ContentBottom, Content.PaintBottomY) + B.PaddingBottom + B.BorderBottom;
  FlowHeight = ContentBottomY - Y;
  MaxWidth = CellMax + B.MarginLeft + B.MarginRight + SidesLeft() + SidesRight();
  PositionCount = Curs - FirstPosition;
  PaintHeight = std::max(FlowHeight, IMgr->FloatBottom() - Y);
  return FlowHeight;
}

int TBlock::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) {
  Content.Paint(Canvas, ARect, IMgr, X + ContentLeft, XRef, YRef);
  return ContentBottomY - YRef;
}

std::string RomanNumeral(int N, bool Upper) {
  static const struct {
    int V;
    const char* S;
  } Table[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
               {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
  std::string R;
  if (N < 1 || N > 3999) return N < 1 ? R : IntToStr(N);
  for (const auto& E : Table)
    while (N >= E.V) {
      R += E.S;
      N -= E.V;
    }
  if (Upper) R = UpperCase(R);
  return R;
}

TBlockLI::TBlockLI(TSectionList* ADocument, const TBoxValues& ABox, TCellBasic* OwnerCell, const std::string& ListTag,
                   const std::string& AType, int AListNumber, int Level, bool PlainList)
    : TBlock(ADocument, ABox, OwnerCell, "li"), ListNumber(AListNumber) {
  if (ListTag == "ol") {
    if (AType == "A")
      Marker = TListMarker::UpperAlpha;
    else if (AType == "a")
      Marker = TListMarker::LowerAlpha;
    else if (AType == "I")
      Marker = TListMarker::UpperRoman;
    else if (AType == "i")
      Marker = TListMarker::LowerRoman;
    else
      Marker = TListMarker::Decimal;
  } else if (ListTag == "ul" || ListTag == "dir" || ListTag == "menu") {
    if (PlainList)
      Marker = TListMarker::None;
    else
      Marker = (Level - 1) % 3 == 0 ? TListMarker::Disc
               : (Level - 1) % 3 == 1 ? TListMarker::Circle
                                       : TListMarker::Square;
  }
}

std::string TBlockLI::MarkerText() const {
  auto Alpha = [](int N, char Base) {
    // 1 -> a, 26 -> z, 27 -> aa (bijective base 26).
    std::string R;
    while (N > 0) {
      --N;
      R.insert(R.begin(), static_cast<char>(Base + N % 26));
      N /= 26;
    }
    return R;
  };
  switch (Marker) {
    case TListMarker::Decimal: return IntToStr(ListNumber) + ".";
    case TListMarker::UpperAlpha: return Alpha(ListNumber, 'A') + ".";
    case TListMarker::LowerAlpha: return Alpha(ListNumber, 'a') + ".";
    case TListMarker::UpperRoman: return RomanNumeral(ListNumber, true) + ".";
    case TListMarker::LowerRoman: return RomanNumeral(ListNumber, false) + ".";
    default: return "";
  }
}
