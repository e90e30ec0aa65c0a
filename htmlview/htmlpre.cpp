#include "htmlview/htmlpre.h"

#include <algorithm>

#include "platform/gui/graphics.h"

void TPreFormated::Complete() {
  for (int I = 0; I < Len(); ++I)
    if (Text[I] == NbspMark) {
      Text[I] = ' ';
      BreakFlags[I] = 'n';
    }
  SourceIndex.clear();
  for (int I = 0; I < static_cast<int>(SourcePositions.size()); ++I)
    if (I == 0 || SourcePositions[I] != SourcePositions[I - 1] + 1) SourceIndex.push_back({I, SourcePositions[I]});
  SourcePositions.clear();
  BreakFlags.push_back('y');
  Completed = true;
  CachedMinWidth = CachedMaxWidth = -1;
}

void TPreFormated::WidthRange(TCanvas* Canvas, int& Min, int& Max) {
  if (CachedMaxWidth < 0) {
    if (!Completed) Complete();
    int Widest = 0;
    for (int I = 0; I < Len();) {
      int J = I;
      while (J < Len() && Text[J] != BrkMark) ++J;
      Widest = std::max(Widest, MeasureRun(Canvas, I, J - I));
      I = J + 1;
    }
    CachedMaxWidth = Widest;
    CachedMinWidth = std::min(Widest, 2000);
  }
  Min = CachedMinWidth;
  Max = CachedMaxWidth;
}

int TPreFormated::Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr,
                          int& MaxWidth, int& Curs) {
  if (!Completed) Complete();
  if (Len() == 0) {
    FirstPosition = Curs;
    TopY = ContentTopY = PaintTopY = Y;
    Lines.clear();
    FlowHeight = PaintHeight = Fonts.Count() > 0 ? Fonts[0]->TheFont.Size() : 0;
    ContentBottomY = PaintBottomY = Y + FlowHeight;
    MaxWidth = 0;
    return FlowHeight;
  }
  // Lines end only at forced breaks: the room is made wider than any line for the pass.
  IndentManager Local;
  if (!IMgr) {
    Local.Reset(X, X + AWidth);
    IMgr = &Local;
  }
  const int SavedWidth = IMgr->Width;
  IMgr->Width = 32000;
  int Ignored = 0;
  const int Height = TSection::Arrange(Canvas, X, Y, AWidth, AHeight, IMgr, Ignored, Curs);
  IMgr->Width = SavedWidth;
  int Min = 0;
  WidthRange(Canvas, Min, MaxWidth);
  return Height;
}

THorzLine::THorzLine(TSectionList* ADocument, int ASize, const std::string& AAlign, bool ANoShade, int32_t AColor)
    : TSectionBase(ADocument), Color(AColor), NoShade(ANoShade) {
  if (ASize >= 1 && ASize <= 20) RuleHeight = ASize;
  const std::string A = LowerCase(AAlign.substr(0, 10));
  Align = A == "left" ? 1 : A == "right" ? 3 : 2;
}

TSectionBase* THorzLine::CloneFor(TSectionList* ADocument) const {
  auto* H = new THorzLine(ADocument, RuleHeight, "", NoShade, Color);
  H->Align = Align;
  H->FlowHeight = FlowHeight;
  H->StackOrder = StackOrder;
  return H;
}

int THorzLine::Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
                       int& Curs) {
  (void)Canvas, (void)AHeight;
  FirstPosition = Curs;
  const int Left = IMgr ? IMgr->LeftEdgeAt(Y) : X;
  const int Right = IMgr ? IMgr->RightEdgeAt(Y) : X + AWidth;
  RuleX = std::max(X, Left);
  Width = std::max(0, std::min(X + AWidth - RuleX, Right - RuleX));
  MaxWidth = Width;
  FlowHeight = PaintHeight = RuleHeight;
  TopY = ContentTopY = PaintTopY = Y;
  ContentBottomY = PaintBottomY = Y + RuleHeight;
  return RuleHeight;
}

int THorzLine::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) {
  (void)ARect, (void)IMgr, (void)X, (void)XRef;
  const int Top = TopY - YRef;
  if (Width > 0) {
    if (Color != NoColor) {
      Canvas->Brush()->SetStyle(bsSolid);
      Canvas->Brush()->SetColor(Color);
      Canvas->FillRect(TRect(RuleX, Top, RuleX + Width, Top + RuleHeight));
    } else {
      const TColor Dark = NoShade ? clBlack : clGray;
      const TColor Light = NoShade ? clBlack : clSilver;
      Canvas->Pen()->SetColor(Dark);
      Canvas->MoveTo(RuleX, Top + RuleHeight - 1);
      Canvas->LineTo(RuleX, Top);
      Canvas->LineTo(RuleX + Width - 1, Top);
      Canvas->Pen()->SetColor(Light);
      Canvas->LineTo(RuleX + Width - 1, Top + RuleHeight - 1);
      Canvas->LineTo(RuleX - 1, Top + RuleHeight - 1);
    }
  }
  return Top + RuleHeight;
}

int TPageBreak::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) {
  TSectionList* D = ParentSectionList;
  if (D && D->Printing && TopY - YRef > 5 && TopY < D->PrintPageBottom) D->PrintPageBottom = TopY;
  return TSectionBase::Paint(Canvas, ARect, IMgr, X, XRef, YRef);
}
