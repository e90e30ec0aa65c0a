#include "htmlview/htmltable.h"

#include <algorithm>
#include <numeric>

#include "htmlview/htmldraw.h"
#include "platform/gui/graphics.h"

TCellObj::TCellObj(TSectionList* ADocument, const TCellObj& Source)
    : Cell(ADocument, Source.Cell),
      ColSpan(Source.ColSpan),
      RowSpan(Source.RowSpan),
      WantedWidth(Source.WantedWidth),
      WantedWidthPercent(Source.WantedWidthPercent),
      WantedHeight(Source.WantedHeight),
      BgColor(ADocument && ADocument->PrintTableBackground ? Source.BgColor : 0x1FFFFFFF),
      VertAlign(Source.VertAlign) {
  Cell.OwnerTag = Source.Cell.OwnerTag;
}

ThtmlTable::ThtmlTable(TSectionList* ADocument, const ThtmlTable& Source)
    : TSectionBase(ADocument, Source),
      CaptionOnTop(Source.CaptionOnTop),
      CellSpacing(Source.CellSpacing),
      CellPadding(Source.CellPadding),
      WantedTableWidth(Source.WantedTableWidth),
      WantedTableWidthPercent(Source.WantedTableWidthPercent),
      HasBorder(Source.HasBorder),
      BgColor(ADocument && ADocument->PrintTableBackground ? Source.BgColor : 0x1FFFFFFF) {
  for (int R = 0; R < Source.Rows.Count(); ++R) {
    auto* Row = new TCellList();
    for (int I = 0; I < Source.Rows[R]->Count(); ++I) {
      const TCellObj* C = Source.Rows[R]->Items(I);
      Row->Add(C ? new TCellObj(ADocument, *C) : nullptr);
    }
    Rows.Add(Row);
  }
  if (Source.Caption) Caption = std::make_unique<TCellObj>(ADocument, *Source.Caption);
}

void ThtmlTable::SetBorder(int Width) {
  if (Width <= 0) return;
  HasBorder = true;
  CellSpacing = std::max(1, CellSpacing + 2);
}

int ThtmlTable::NumCols() const {
  int N = 0;
  for (int R = 0; R < Rows.Count(); ++R) {
    int C = 0;
    for (int I = 0; I < Rows[R]->Count(); ++I) C += Rows[R]->Items(I) ? Rows[R]->Items(I)->ColSpan : 1;
    N = std::max(N, C);
  }
  return N;
}

void ThtmlTable::ColumnRanges(TCanvas* Canvas, std::vector<int>& Mins, std::vector<int>& Maxs) {
  if (FRangesKnown) {
    Mins = FMins;
    Maxs = FMaxs;
    Percents = FPercents;
    return;
  }
  const int N = NumCols();
  Mins.assign(static_cast<size_t>(N), 0);
  Maxs.assign(static_cast<size_t>(N), 0);
  Percents.assign(static_cast<size_t>(N), 0);
  const int Pad = 2 * CellPadding;
  // Single-column cells first, then spanning cells spread what their columns lack evenly.
  for (int Pass = 0; Pass < 2; ++Pass)
    for (int R = 0; R < Rows.Count(); ++R) {
      int Col = 0;
      for (int I = 0; I < Rows[R]->Count(); ++I) {
        TCellObj* C = Rows[R]->Items(I);
        if (!C) {
          ++Col;
          continue;
        }
        const int Span = std::min(C->ColSpan, N - Col);
        if ((Span == 1) == (Pass == 0) && Span > 0) {
          int Mn = 0, Mx = 0;
          C->Cell.WidthRange(Canvas, Mn, Mx);
          Mn += Pad;
          Mx += Pad;
          if (C->WantedWidth > 0 && !C->WantedWidthPercent) Mx = std::max(Mn, C->WantedWidth);
          if (C->WantedWidth > 0 && C->WantedWidthPercent) {
            // A spanning cell's percentage is shared among its columns that have none.
            int Have = 0, Without = 0;
            for (int K = Col; K < Col + Span; ++K) {
              Have += Percents[K];
              if (Percents[K] == 0) ++Without;
            }
            if (Span == 1)
              Percents[Col] = std::max(Percents[Col], C->WantedWidth);
            else if (Without > 0 && C->WantedWidth > Have)
              for (int K = Col; K < Col + Span; ++K)
                if (Percents[K] == 0) Percents[K] = (C->WantedWidth - Have) / Without;
          }
          const int Inner = (Span - 1) * CellSpacing;
          int HaveMin = Inner, HaveMax = Inner;
          for (int K = Col; K < Col + Span; ++K) {
            HaveMin += Mins[K];
            HaveMax += Maxs[K];
          }
          for (int K = Col; K < Col + Span; ++K) {
            if (Mn > HaveMin) Mins[K] += (Mn - HaveMin) / Span + (K - Col < (Mn - HaveMin) % Span ? 1 : 0);
            if (Mx > HaveMax) Maxs[K] += (Mx - HaveMax) / Span + (K - Col < (Mx - HaveMax) % Span ? 1 : 0);
          }
        }
        Col += C->ColSpan;
      }
    }
  for (int K = 0; K < N; ++K) Maxs[K] = std::max(Maxs[K], Mins[K]);
  FMins = Mins;
  FMaxs = Maxs;
  FPercents = Percents;
  FRangesKnown = true;
}

void ThtmlTable::ColumnWidths(int Room, const std::vector<int>& Mins, const std::vector<int>& Maxs) {
  const int N = static_cast<int>(Mins.size());
  const int Spacing = (N + 1) * CellSpacing;
  const int SumMin = std::accumulate(Mins.begin(), Mins.end(), 0);
  const int SumMax = std::accumulate(Maxs.begin(), Maxs.end(), 0);
  int Given = 0;
  if (WantedTableWidth > 0)
    Given = WantedTableWidthPercent ? static_cast<int>(static_cast<int64_t>(Room) * WantedTableWidth / 1000)
                                    : WantedTableWidth;
  const bool AnyPercent = std::any_of(Percents.begin(), Percents.end(), [](int P) { return P > 0; });
  const int Avail = std::max(20, (Given > 0 ? Given : Room) - Spacing);
  Widths = Maxs;
  if (SumMin >= Avail) {
    Widths = Mins;  // the table keeps its minimum and overflows
    return;
  }
  if (Given <= 0 && !AnyPercent) {
    if (SumMax > Avail) {
      // Columns share the room beyond their minimum in proportion to how much more they want.
      Widths = Mins;
      const int64_t Extra = Avail - SumMin;
      int Handed = 0;
      for (int K = 0; K < N; ++K) {
        const int Add = static_cast<int>(Extra * (Maxs[K] - Mins[K]) / std::max(1, SumMax - SumMin));
        Widths[K] += Add;
        Handed += Add;
      }
      for (int K = 0; Handed < Extra && N > 0; K = (K + 1) % N, ++Handed) ++Widths[K];
    }
    return;
  }
  // Percentage columns take their share of the width; the others start at their minimum.
  int Used = 0, OtherMin = 0, OtherMax = 0, Others = 0, PercentTotal = 0;
  for (int K = 0; K < N; ++K) {
    if (Percents[K] > 0) {
      Widths[K] = std::max(Mins[K], static_cast<int>(static_cast<int64_t>(Avail) * Percents[K] / 1000));
      Used += Widths[K];
      PercentTotal += Percents[K];
    } else {
      Widths[K] = Mins[K];
      OtherMin += Mins[K];
      OtherMax += Maxs[K];
      ++Others;
    }
  }
  const int Left = Avail - Used - OtherMin;
  if (Left < 0) {
    // The percentages ask for more than there is: they give way down to their minimum.
    int Slack = 0;
    for (int K = 0; K < N; ++K)
      if (Percents[K] > 0) Slack += Widths[K] - Mins[K];
    const int64_t Cut = std::min(-Left, Slack);
    int Taken = 0;
    for (int K = 0; K < N && Slack > 0; ++K)
      if (Percents[K] > 0) {
        const int C = static_cast<int>(Cut * (Widths[K] - Mins[K]) / Slack);
        Widths[K] -= C;
        Taken += C;
      }
    for (int K = 0; K < N && Taken < Cut; ++K)
      if (Percents[K] > 0 && Widths[K] > Mins[K]) {
        --Widths[K];
        ++Taken;
      }
    return;
  }
  if (Others > 0) {
    if (OtherMax - OtherMin >= Left || Given <= 0) {
      // Up to what they want, in proportion to it (a table without a width stops there).
      const int Share = std::min(Left, OtherMax - OtherMin);
      int Handed = 0;
      for (int K = 0; K < N; ++K)
        if (Percents[K] == 0 && OtherMax > OtherMin) {
          const int Add = static_cast<int>(static_cast<int64_t>(Share) * (Maxs[K] - Mins[K]) / (OtherMax - OtherMin));
          Widths[K] += Add;
          Handed += Add;
        }
      for (int K = 0; K < N && Handed < Share; ++K)
        if (Percents[K] == 0 && Widths[K] < Maxs[K]) {
          ++Widths[K];
          ++Handed;
        }
    } else {
      // A table wider than its columns want: what is left is shared equally.
      for (int K = 0; K < N; ++K)
        if (Percents[K] == 0) Widths[K] = Maxs[K];
      const int Rest = Left - (OtherMax - OtherMin);
      int Handed = 0;
      for (int K = 0; K < N; ++K)
        if (Percents[K] == 0) {
          Widths[K] += Rest / Others;
          Handed += Rest / Others;
        }
      for (int K = 0; K < N && Handed < Rest; ++K)
        if (Percents[K] == 0) {
          ++Widths[K];
          ++Handed;
        }
    }
  } else if (Given > 0 && PercentTotal > 0) {
    // Only percentage columns: they share the rest in proportion to their percentages.
    int Handed = 0;
    for (int K = 0; K < N; ++K) {
      const int Add = static_cast<int>(static_cast<int64_t>(Left) * Percents[K] / PercentTotal);
      Widths[K] += Add;
      Handed += Add;
    }
    if (N > 0) Widths[0] += Left - Handed;
  }
}


void ThtmlTable::WidthRange(TCanvas* Canvas, int& Min, int& Max) {
  std::vector<int> Mins, Maxs;
  ColumnRanges(Canvas, Mins, Maxs);
  const int Spacing = (static_cast<int>(Mins.size()) + 1) * CellSpacing;
  Min = std::accumulate(Mins.begin(), Mins.end(), 0) + Spacing;
  Max = std::accumulate(Maxs.begin(), Maxs.end(), 0) + Spacing;
  if (WantedTableWidth > 0 && !WantedTableWidthPercent) {
    Min = std::max(Min, WantedTableWidth);
    Max = std::max(Max, WantedTableWidth);
  }
  if (Caption) {
    int CMin = 0, CMax = 0;
    Caption->Cell.WidthRange(Canvas, CMin, CMax);
    Min = std::max(Min, CMin);
    Max = std::max(Max, CMin);
  }
}

int ThtmlTable::Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
                        int& Curs) {
  (void)AHeight;
  FirstPosition = Curs;
  TopY = ContentTopY = PaintTopY = Y;
  LeftX = IMgr ? std::max(X, IMgr->LeftEdgeAt(Y)) : X;
  std::vector<int> Mins, Maxs;
  ColumnRanges(Canvas, Mins, Maxs);
  const int N = static_cast<int>(Mins.size());
  const int Spacing = (N + 1) * CellSpacing;
  const int Room = IMgr ? IMgr->RightEdgeAt(Y) - LeftX : AWidth;
  ColumnWidths(std::max(0, std::min(AWidth, Room)), Mins, Maxs);
  TableWidth = std::accumulate(Widths.begin(), Widths.end(), 0) + Spacing;
  int CaptionHeight = 0;
  if (Caption) {
    // The caption is as wide as the grid (or its own minimum); the grid is centred under a wider one.
    int CMin = 0, CMax = 0;
    Caption->Cell.WidthRange(Canvas, CMin, CMax);
    TableWidth = std::max(TableWidth, CMin);
    Caption->X = 0;
    Caption->Wd = TableWidth;
    if (CaptionOnTop) {
      int CaptionMax = 0;
      CaptionHeight = Caption->Cell.Arrange(Canvas, Y, Curs, CaptionMax, LeftX, TableWidth);
      Caption->Y = 0;
      Caption->Ht = CaptionHeight;
    }
  }
  const int GridWidth = std::accumulate(Widths.begin(), Widths.end(), 0) + Spacing;
  GridOffset = (TableWidth - GridWidth) / 2;
  std::vector<int> ColX(static_cast<size_t>(N) + 1, CellSpacing);
  for (int K = 0; K < N; ++K) ColX[K + 1] = ColX[K] + Widths[K] + CellSpacing;

  // Rows: each cell is arranged in its columns; a row is as high as its highest single-row cell.
  Heights.assign(static_cast<size_t>(Rows.Count()), 0);
  std::vector<int> RowY(static_cast<size_t>(Rows.Count()) + 1, CellSpacing + CaptionHeight);
  for (int& CX : ColX) CX += GridOffset;
  struct Pending {
    TCellObj* C;
    int Row;
    int Height;
    int ContentHeight;
  };
  std::vector<Pending> Cells;
  std::vector<std::vector<Pending>> EndsAt(static_cast<size_t>(Rows.Count()));  // row-spanning cells by last row
  // One pass, row by row: a row's top is known before its cells are arranged, and a cell that
  // spans rows only makes its last row taller. (Arranging cells twice would double the work at
  // every level of nested tables.)
  for (int R = 0; R < Rows.Count(); ++R) {
    int Col = 0;
    for (int I = 0; I < Rows[R]->Count() && Col < N; ++I) {
      TCellObj* C = Rows[R]->Items(I);
      if (!C) {
        ++Col;
        continue;
      }
      const int Span = std::min(C->ColSpan, N - Col);
      C->X = ColX[Col];
      C->Y = RowY[R];
      C->Wd = ColX[Col + Span] - CellSpacing - ColX[Col];
      int CellMax = 0;
      const int Content = C->Cell.Arrange(Canvas, Y + C->Y + CellPadding, Curs, CellMax, LeftX + C->X + CellPadding,
                                          C->Wd - 2 * CellPadding) +
                          2 * CellPadding;
      const int H = std::max(C->WantedHeight, Content);
      Cells.push_back({C, R, H, Content});
      if (C->RowSpan == 1)
        Heights[R] = std::max(Heights[R], H);
      else
        EndsAt[static_cast<size_t>(std::min(Rows.Count() - 1, R + C->RowSpan - 1))].push_back({C, R, H, Content});
      Col += C->ColSpan;
    }
    // Cells that span down to this row (or past the last row) make it taller when they need more.
    for (const Pending& P : EndsAt[static_cast<size_t>(R)]) {
      {
        const int Have = RowY[R] + Heights[R] - RowY[P.Row];
        if (P.Height > Have) Heights[R] += P.Height - Have;
      }
    }
    RowY[R + 1] = RowY[R] + Heights[R] + CellSpacing;
  }
  for (const Pending& P : Cells) {
    const int Last = std::min(Rows.Count() - 1, P.Row + P.C->RowSpan - 1);
    P.C->Ht = RowY[Last + 1] - CellSpacing - RowY[P.Row];
    // The content stands at the top, middle or bottom of the cell.
    const int Free = P.C->Ht - P.ContentHeight;
    if (Free > 0 && P.C->VertAlign >= 2) P.C->Cell.ShiftY(P.C->VertAlign == 2 ? Free / 2 : Free);
  }
  FlowHeight = PaintHeight = RowY[static_cast<size_t>(Rows.Count())];
  if (Caption && !CaptionOnTop) {
    int CaptionMax = 0;
    Caption->Y = FlowHeight;
    Caption->Ht = Caption->Cell.Arrange(Canvas, Y + FlowHeight, Curs, CaptionMax, LeftX, TableWidth);
    FlowHeight = PaintHeight = FlowHeight + Caption->Ht;
  }
  ContentBottomY = PaintBottomY = Y + FlowHeight;
  PositionCount = Curs - FirstPosition;
  MaxWidth = TableWidth;
  return FlowHeight;
}

int ThtmlTable::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) {
  (void)X;
  const int Top = TopY - YRef;
  if (Top > ARect.Bottom || Top + FlowHeight < ARect.Top) return Top + FlowHeight;
  auto Fill = [Canvas](const TRect& R, int32_t Colour) {
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Brush()->SetColor(static_cast<TColor>(Colour & 0xFFFFFF));
    Canvas->FillRect(R);
  };
  if (Caption) Caption->Cell.Paint(Canvas, ARect, IMgr, LeftX, XRef, YRef);
  const int CaptionTop = Caption && CaptionOnTop ? Caption->Ht : 0;
  const int CaptionBottom = Caption && !CaptionOnTop ? Caption->Ht : 0;
  const TRect Box(LeftX + GridOffset, Top + CaptionTop, LeftX + GridOffset + TableWidth - 2 * GridOffset,
                  Top + FlowHeight - CaptionBottom);
  if (BgColor != 0x1FFFFFFF) Fill(Box, BgColor);
  if (HasBorder) DrawRaisedRectColors(Canvas, Box.Left, Box.Top, Box.Right - 1, Box.Bottom - 1, true, clBtnHighlight, clBtnShadow);
  for (int R = 0; R < Rows.Count(); ++R)
    for (int I = 0; I < Rows[R]->Count(); ++I)
      if (TCellObj* C = Rows[R]->Items(I)) {
        const TRect CellBox(LeftX + C->X, Top + C->Y, LeftX + C->X + C->Wd, Top + C->Y + C->Ht);
        if (CellBox.Top > ARect.Bottom || CellBox.Bottom < ARect.Top) continue;
        if (C->BgColor != 0x1FFFFFFF) Fill(CellBox, C->BgColor);
        if (HasBorder)
          DrawRaisedRectColors(Canvas, CellBox.Left, CellBox.Top, CellBox.Right - 1, CellBox.Bottom - 1, false,
                               clBtnHighlight, clBtnShadow);
        C->Cell.Paint(Canvas, ARect, IMgr, LeftX + C->X + CellPadding, XRef, YRef);
      }
  return Top + FlowHeight;
}
