#include "htmlview/htmlblock.h"

#include <algorithm>

#include "htmlview/htmlimages.h"
#include "htmlview/htmlsection.h"
#include "platform/core/sysutils.h"
#include "platform/gui/graphics.h"

static int CollapseMargins(int T, int B) {
  if (T >= 0 && B >= 0) return std::max(T, B);
  if (T < 0 && B < 0) return std::min(T, B);
  return T + B;
}

TBoxValues BoxFromStyle(const TMarginArray& VM, int ContainingWidth, int EmPixels, int ExPixels) {
  ThtMarginArray M{};
  int AutoCount = 0;
  ConvertMargins(VM, ContainingWidth, 400, EmPixels, ExPixels, M, AutoCount);
  bool TopPara = false, BottomPara = false;
  ConvertVertMargins(VM, 400, EmPixels, ExPixels, M, TopPara, BottomPara);
  auto A = [](int V) { return V == Auto ? AutoValue : V; };
  TBoxValues B;
  B.MarginTop = M[MI(MarginTop)];
  B.MarginBottom = M[MI(MarginBottom)];
  B.MarginLeft = A(M[MI(MarginLeft)]);
  B.MarginRight = A(M[MI(MarginRight)]);
  B.PaddingTop = std::max(0, M[MI(PaddingTop)]);
  B.PaddingRight = std::max(0, M[MI(PaddingRight)]);
  B.PaddingBottom = std::max(0, M[MI(PaddingBottom)]);
  B.PaddingLeft = std::max(0, M[MI(PaddingLeft)]);
  B.BorderTop = std::max(0, M[MI(BorderTopWidth)]);
  B.BorderRight = std::max(0, M[MI(BorderRightWidth)]);
  B.BorderBottom = std::max(0, M[MI(BorderBottomWidth)]);
  B.BorderLeft = std::max(0, M[MI(BorderLeftWidth)]);
  B.Width = M[MI(WidthProp)] == Auto ? AutoValue : std::max(0, M[MI(WidthProp)]);
  B.Height = M[MI(HeightProp)] == Auto ? 0 : std::max(0, M[MI(HeightProp)]);
  return B;
}

TBlock::TBlock(TSectionList* ADocument, const TBoxValues& ABox, TCellBasic* OwnerCell, const std::string& ATag,
               uint8_t AClearMode)
    : TSectionBase(ADocument), BoxValues(ABox), Content(ADocument), ClearMode(AClearMode) {
  Content.OwnerTag = ATag;
  CollapseWithPrevious(OwnerCell);
}

TBlock::TBlock(TSectionList* ADocument, TProperties& Props, TCellBasic* OwnerCell, const std::string& ATag)
    : TSectionBase(ADocument), Content(ADocument) {
  Content.OwnerTag = ATag;
  StyleBoxValues = std::make_unique<TMarginArray>();
  Props.GetMarginArray(*StyleBoxValues);
  EmPixels = Props.EmSize;
  ExPixels = Props.ExSize;
  BoxValues = BoxFromStyle(*StyleBoxValues, 400, EmPixels, ExPixels);
  const TMarginArray& VM = *StyleBoxValues;
  if (IsInt(VM[MI(BackgroundColor)])) BgColor = std::get<int>(VM[MI(BackgroundColor)]);
  if (IsInt(VM[MI(::BorderColor)])) BorderColor = std::get<int>(VM[MI(::BorderColor)]);
  TextColor = std::unique_ptr<TMyFont>(Props.GetFont())->Color();
  HasBorderStyle = Props.HasBorderStyle();
  switch (Props.GetFloat()) {
    case ALeft: FloatSide = 5; break;
    case ARight: FloatSide = 6; break;
    default: break;
  }
  switch (Props.GetClear()) {
    case clLeft: ClearMode = 1; break;
    case clRight: ClearMode = 2; break;
    case clAll: ClearMode = 3; break;
    default: break;
  }
  switch (Props.GetPosition()) {
    case posAbsolute: Positioning = 1; break;
    case posRelative: Positioning = 2; break;
    default: break;
  }
  Visibility = Props.GetVisibility() == 1 ? 1 : 0;
  const int Z = Props.GetZIndex();
  StackOrder = Z != 0 ? Z * 10 : (Positioning != 0 || FloatSide != 0) ? 1 : 0;
  TagAndClass = ATag + "." + Props.PropClass;
  const std::string Background = Props.GetBackgroundImage();
  if (!Background.empty() && ATag != "body") BackgroundImage = std::make_unique<TImageObj>(ADocument, Background);
  if (Positioning == 1 && BoxValues.MarginTop == DefaultParagraphMargin) BoxValues.MarginTop = 0;
  if (FloatSide == 0 && Positioning != 1) CollapseWithPrevious(OwnerCell);
}

void TBlock::CollapseWithPrevious(TCellBasic* OwnerCell) {
  if (!OwnerCell) return;
  TBlock* Prev = nullptr;
  for (int I = OwnerCell->Count() - 1; I >= 0 && !Prev; --I) {
    Prev = dynamic_cast<TBlock*>(OwnerCell->Items(I));
    if (Prev && Prev->Positioning == 1) Prev = nullptr;
  }
  if (Prev && Prev->FloatSide != 0) {
    // A floating block before this one keeps its margins; only a default paragraph space goes.
    if (BoxValues.MarginTop == DefaultParagraphMargin) BoxValues.MarginTop = 0;
  } else if (Prev) {
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
      ListIndent(Source.ListIndent),
      EmPixels(Source.EmPixels),
      ExPixels(Source.ExPixels),
      BgColor(Source.BgColor),
      BorderColor(Source.BorderColor),
      TextColor(Source.TextColor),
      HasBorderStyle(Source.HasBorderStyle),
      FloatSide(Source.FloatSide),
      Positioning(Source.Positioning),
      Visibility(Source.Visibility),
      TagAndClass(Source.TagAndClass) {
  if (Source.BackgroundImage && ADocument && ADocument->PrintTableBackground)
    BackgroundImage = std::make_unique<TImageObj>(ADocument, *Source.BackgroundImage);
  if (Source.StyleBoxValues) StyleBoxValues = std::make_unique<TMarginArray>(*Source.StyleBoxValues);
}

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
  const int Sides = SidesLeft() + SidesRight();
  TBoxValues& B = BoxValues;
  const bool AutoL = B.MarginLeft == AutoValue, AutoR = B.MarginRight == AutoValue, AutoW = B.Width == AutoValue;
  if (AutoW && FloatSide == 0 && Positioning != 1) {
    // The common case: the box fills the room unless a word is wider; a cheap bound on the
    // words spares measuring every word of the document.
    const int Avail = AWidth - Sides - (AutoL ? 0 : B.MarginLeft) - (AutoR ? 0 : B.MarginRight);
    bool Fits = true;
    for (int I = 0; I < Content.Count() && Fits; ++I) Fits = Content[I]->MinWidthAtMost(Canvas, Avail);
    if (Fits) {
      if (AutoL) B.MarginLeft = 0;
      if (AutoR) B.MarginRight = 0;
      return Avail;
    }
  }
  int CMin = 0, CMax = 0;
  Content.WidthRange(Canvas, CMin, CMax);
  if (AutoW) {
    if (AutoL) B.MarginLeft = 0;
    if (AutoR) B.MarginRight = 0;
    const int Avail = AWidth - Sides - B.MarginLeft - B.MarginRight;
    // Floating and absolutely positioned boxes shrink to their content.
    if (FloatSide != 0 || Positioning == 1) return std::max(CMin, std::min(CMax, Avail));
    return std::max(CMin, Avail);
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
  IndentManager Local;
  if (!IMgr) {
    Local.Reset(X, X + AWidth);
    IMgr = &Local;
  }
  FirstPosition = Curs;
  if (StyleBoxValues) {
    // Horizontal values follow the containing width; vertical ones keep what collapsing made.
    const TBoxValues N = BoxFromStyle(*StyleBoxValues, AWidth, EmPixels, ExPixels);
    TBoxValues& B = BoxValues;
    B.MarginLeft = N.MarginLeft;
    B.MarginRight = N.MarginRight;
    B.PaddingLeft = N.PaddingLeft;
    B.PaddingRight = N.PaddingRight;
    B.BorderLeft = N.BorderLeft;
    B.BorderRight = N.BorderRight;
    B.Width = N.Width;
    ThtMarginArray M{};
    int AutoCount = 0;
    ConvertMargins(*StyleBoxValues, AWidth, std::max(AHeight, 0), EmPixels, ExPixels, M, AutoCount);
    TopOffset = M[MI(TopPos)];
    LeftOffset = M[MI(LeftPos)];
  }
  ClearanceHeight = 0;
  if (ClearMode != 0) {
    int Level = 0;
    for (const TFreeList<IndentRec>* L : {&IMgr->LeftList, &IMgr->RightList}) {
      if ((L == &IMgr->LeftList && ClearMode == 2) || (L == &IMgr->RightList && ClearMode == 1)) continue;
      for (int I = 0; I < L->Count(); ++I)
        if ((*L)[I]->Bottom < IndentManagerBasic::OpenBottom) Level = std::max(Level, (*L)[I]->Bottom);
    }
    ClearanceHeight = std::max(0, Level - Y - 1);
  }
  int OriginY = Y;
  if (Positioning == 1) {
    // Absolute: auto offsets keep the place in the flow.
    if (LeftOffset != Auto) X = LeftOffset;
    if (TopOffset != Auto) Y = TopOffset;
  }
  (void)OriginY;
  const int LeftSide = std::max(X, IMgr->LeftEdgeAt(Y));
  const int RightSide = std::min(X + AWidth, IMgr->RightEdgeAt(Y));
  const int Room = FloatSide != 0 ? std::max(0, RightSide - LeftSide) : AWidth;
  ContentWidth = ResolveWidth(Canvas, Room);
  const TBoxValues& B = BoxValues;
  int ContentX;
  if (FloatSide == 5)
    ContentX = LeftSide + B.MarginLeft + SidesLeft();
  else if (FloatSide == 6)
    ContentX = RightSide - B.MarginRight - SidesRight() - ContentWidth;
  else
    ContentX = X + B.MarginLeft + SidesLeft();
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
  // The content sees its own left and right sides while it is arranged: two open-ended indent
  // records that the floats of the enclosing cells still narrow.
  auto* LeftRec = new IndentRec{ContentX - IMgr->LeftEdge, TopY, IndentManagerBasic::OpenBottom, IMgr->CurrentBlock, 0};
  auto* RightRec = new IndentRec{ContentX + ContentWidth - IMgr->LeftEdge, TopY, IndentManagerBasic::OpenBottom,
                                 IMgr->CurrentBlock, 0};
  IMgr->LeftList.Add(LeftRec);
  IMgr->RightList.Add(RightRec);
  Content.SetIndentManager(IMgr);
  int CellMax = 0;
  const int CellHeight = Content.Arrange(Canvas, TopY, Curs, CellMax, ContentX, ContentWidth);
  IMgr->LeftList.Delete(IMgr->LeftList.IndexOf(LeftRec));
  IMgr->RightList.Delete(IMgr->RightList.IndexOf(RightRec));
  ContentBottom = std::max(TopY + CellHeight, TopY + B.Height);
  ContentBottom = std::max(ContentBottom, TopY);
  ContentBottomY = ContentBottom + B.PaddingBottom + B.BorderBottom + B.MarginBottom;
  PaintBottomY = std::max(ContentBottom, Content.PaintBottomY) + B.PaddingBottom + B.BorderBottom;
  FlowHeight = ContentBottomY - Y;
  MaxWidth = CellMax + Val(B.MarginLeft) + Val(B.MarginRight) + SidesLeft() + SidesRight();
  PositionCount = Curs - FirstPosition;
  BoxRect = TRect(ContentX - SidesLeft(), Y + ClearanceHeight + B.MarginTop, ContentX + ContentWidth + SidesRight(),
                  ContentBottom + B.PaddingBottom + B.BorderBottom);
  if (BackgroundImage) {
    BackgroundImage->Measure(Canvas, nullptr, BoxRect.Width());
    // A picture that did not load is dropped.
    if (!BackgroundImage->Image && !BackgroundImage->Gif && !BackgroundImage->IsPlaceholder) BackgroundImage.reset();
  }
  if (FloatSide != 0) {
    // A float takes no room in the flow; the lines beside it are narrowed instead.
    const int Bottom = std::max(ContentBottomY, PaintBottomY);
    if (FloatSide == 5)
      IMgr->LeftList.Add(new IndentRec{BoxRect.Right + B.MarginRight - IMgr->LeftEdge, Y, Bottom, IMgr->CurrentBlock, 1});
    else
      IMgr->RightList.Add(new IndentRec{BoxRect.Left - B.MarginLeft - IMgr->LeftEdge, Y, Bottom, IMgr->CurrentBlock, 1});
    PaintHeight = FlowHeight;
    FlowHeight = 0;
    ContentBottomY = Y;
    return 0;
  }
  if (Positioning == 1) {
    PaintHeight = 0;
    FlowHeight = 0;
    ContentBottomY = OriginY;
    return 0;
  }
  PaintHeight = std::max(FlowHeight, IMgr->FloatBottom() - Y);
  return FlowHeight;
}

static void FillBox(TCanvas* Canvas, const TRect& R, int32_t Color) {
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(static_cast<TColor>(Color & 0xFFFFFF));
  Canvas->FillRect(R);
}

int TBlock::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) {
  if (Visibility == 1) return ContentBottomY - YRef;
  int DX = 0, DY = 0;
  if (Positioning == 2) {
    DX = LeftOffset == Auto ? 0 : LeftOffset;
    DY = TopOffset == Auto ? 0 : TopOffset;
  }
  const TRect Box(BoxRect.Left + DX, BoxRect.Top - YRef + DY, BoxRect.Right + DX, BoxRect.Bottom - YRef + DY);
  if (Box.Bottom >= ARect.Top && Box.Top <= ARect.Bottom) {
    if (BgColor != Transparent) FillBox(Canvas, Box, BgColor);
    if (BackgroundImage && (BackgroundImage->Image || BackgroundImage->Gif)) {
      const TPixelBuffer* Pic = BackgroundImage->Gif ? &BackgroundImage->Gif->Canvas() : BackgroundImage->Image;
      const TMaskBuffer* Mask = BackgroundImage->Gif ? (BackgroundImage->Gif->IsTransparent ? &BackgroundImage->Gif->CanvasMask() : nullptr)
                                                     : BackgroundImage->Mask;
      const int W = Pic->Width, H = Pic->Height;
      if (W > 0 && H > 0) {
        const TRect Clip(std::max(Box.Left, ARect.Left), std::max(Box.Top, ARect.Top), std::min(Box.Right, ARect.Right),
                         std::min(Box.Bottom, ARect.Bottom));
        const int Saved = Canvas->SaveDC();
        Canvas->IntersectClipRect(Clip);
        for (int TY = Box.Top + ((Clip.Top - Box.Top) / H) * H; TY < Clip.Bottom; TY += H)
          for (int TX = Box.Left + ((Clip.Left - Box.Left) / W) * W; TX < Clip.Right; TX += W)
            DrawTransparentImage(Canvas, *Pic, Mask, TX, TY, W, H);
        Canvas->RestoreDC(Saved);
      }
    }
    const TBoxValues& B = BoxValues;
    if (HasBorderStyle && (B.BorderTop || B.BorderRight || B.BorderBottom || B.BorderLeft)) {
      const int32_t C = BorderColor != Transparent ? BorderColor : TextColor;
      FillBox(Canvas, TRect(Box.Left, Box.Top, Box.Right, Box.Top + B.BorderTop), C);
      FillBox(Canvas, TRect(Box.Left, Box.Bottom - B.BorderBottom, Box.Right, Box.Bottom), C);
      FillBox(Canvas, TRect(Box.Left, Box.Top, Box.Left + B.BorderLeft, Box.Bottom), C);
      FillBox(Canvas, TRect(Box.Right - B.BorderRight, Box.Top, Box.Right, Box.Bottom), C);
    }
  }
  Content.Paint(Canvas, ARect, IMgr, X + ContentLeft + DX, XRef, YRef - DY);
  return ContentBottomY - YRef;
}

void DropLastBottomMargin(TCellBasic& Cell) {
  // Absolutely positioned blocks stand outside the flow and are passed over; text or a table
  // at the end keeps the margin before it.
  for (int I = Cell.Count() - 1; I >= 0; --I) {
    auto* B = dynamic_cast<TBlock*>(Cell[I]);
    if (!B) return;
    if (B->Positioning == 1) continue;
    if (B->FloatSide == 0) B->BoxValues.MarginBottom = 0;
    if (dynamic_cast<TBlockLI*>(B)) DropLastBottomMargin(B->Content);
    return;
  }
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

static int FirstBaselineOf(const TCellBasic& Cell) {
  for (int I = 0; I < Cell.Count(); ++I) {
    TSectionBase* S = Cell[I];
    if (auto* Sec = dynamic_cast<TSection*>(S)) {
      int Y = Sec->TopY;
      for (const LineRec& L : Sec->Lines) {
        if (L.CharCount > 0) return Y + L.SpaceBefore + L.LineHeight - L.Descent;
        Y += L.SpaceBefore + L.LineHeight + L.SpaceAfter;
      }
    } else if (auto* B = dynamic_cast<TBlock*>(S)) {
      if (int R = FirstBaselineOf(B->Content)) return R;
    } else if (S->FlowHeight > 0) {
      return S->ContentBottomY;  // a table: its bottom
    }
  }
  return 0;
}

int TBlockLI::FirstBaseline() const { return FirstBaselineOf(Content); }

int TBlockLI::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) {
  const int Result = TBlock::Paint(Canvas, ARect, IMgr, X, XRef, YRef);
  const int Base = FirstBaseline();
  if (Base <= 0 || Visibility == 1 || Marker == TListMarker::None) return Result;
  const int B = Base - YRef;
  if (B < ARect.Top - 40 || B > ARect.Bottom + 40) return Result;
  const int MX = X + ContentLeft;
  const TColor C = static_cast<TColor>(MarkerColor & 0xFFFFFF);
  Canvas->Pen()->SetColor(C);
  Canvas->Brush()->SetColor(C);
  switch (Marker) {
    case TListMarker::Disc:
      Canvas->Brush()->SetStyle(bsSolid);
      Canvas->Ellipse(MX - 15, B - 6, MX - 10, B - 1);
      break;
    case TListMarker::Circle:
      Canvas->Brush()->SetStyle(bsClear);
      Canvas->Ellipse(MX - 16, B - 7, MX - 9, B);
      break;
    case TListMarker::Square:
      Canvas->Brush()->SetStyle(bsSolid);
      Canvas->FillRect(TRect(MX - 15, B - 6, MX - 10, B - 1));
      break;
    default: {
      // Numbers end 10 pixels left of the content, on the first line's baseline.
      const std::string T = MarkerText();
      Canvas->Brush()->SetStyle(bsClear);
      Canvas->Font()->SetColor(C);
      const TTextMetric Tm = Canvas->GetTextMetrics();
      Canvas->TextOut(MX - 10 - Canvas->TextWidth(T), B - Tm.tmAscent, T);
      break;
    }
  }
  return Result;
}
