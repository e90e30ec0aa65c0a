#include "htmlview/htmltable.h"

#include <algorithm>
#include <numeric>

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
  const int N = NumCols();
  Mins.assign(static_cast<size_t>(N), 0);
  Maxs.assign(static_cast<size_t>(N), 0);
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
}

void ThtmlTable::WidthRange(TCanvas* Canvas, int& Min, int& Max) {
  std::vector<int> Mins, Maxs;
  ColumnRanges(Canvas, Mins, Maxs);
  const int Spacing = (static_cast<int>(Mins.size()) + 1) * CellSpacing;
  Min = std::accumulate(Mins.begin(), Mins.end(), 0) + Spacing;
  Max = std::accumulate(Maxs.begin(), Maxs.end(), 0) + Spacing;
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
  const int SumMin = std::accumulate(Mins.begin(), Mins.end(), 0);
  const int SumMax = std::accumulate(Maxs.begin(), Maxs.end(), 0);
  const int Avail = std::max(0, AWidth - Spacing);
  Widths = Maxs;
  if (SumMax > Avail) {
    Widths = Mins;
    if (Avail > SumMin && SumMax > SumMin) {
      // Columns share the room beyond their minimum in proportion to how much more they want.
      const int64_t Extra = Avail - SumMin;
      int Given = 0;
      for (int K = 0; K < N; ++K) {
        const int Add = static_cast<int>(Extra * (Maxs[K] - Mins[K]) / (SumMax - SumMin));
        Widths[K] += Add;
        Given += Add;
      }
      for (int K = 0; Given < Extra && N > 0; K = (K + 1) % N, ++Given) ++Widths[K];
    }
  }
  TableWidth = std::accumulate(Widths.begin(), Widths.end(), 0) + Spacing;
  std::vector<int> ColX(static_cast<size_t>(N) + 1, CellSpacing);
  for (int K = 0; K < N; ++K) ColX[K + 1] = ColX[K] + Widths[K] + CellSpacing;

  // Rows: each cell is arranged in its columns; a row is as high as its highest single-row cell.
  Heights.assign(static_cast<size_t>(Rows.Count()), 0);
  std::vector<int> RowY(static_cast<size_t>(Rows.Count()) + 1, CellSpacing);
  struct Pending {
    TCellObj* C;
    int Row;
    int Height;
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
      const int H = C->Cell.Arrange(Canvas, Y + C->Y + CellPadding, Curs, CellMax, LeftX + C->X + CellPadding,
                                    C->Wd - 2 * CellPadding) +
                    2 * CellPadding;
      Cells.push_back({C, R, H});
      if (C->RowSpan == 1)
        Heights[R] = std::max(Heights[R], H);
      else
        EndsAt[static_cast<size_t>(std::min(Rows.Count() - 1, R + C->RowSpan - 1))].push_back({C, R, H});
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
  }
  FlowHeight = PaintHeight = RowY[static_cast<size_t>(Rows.Count())];
  ContentBottomY = PaintBottomY = Y + FlowHeight;
  PositionCount = Curs - FirstPosition;
  MaxWidth = TableWidth;
  return FlowHeight;
}

int ThtmlTable::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) {
  (void)X;
  for (int R = 0; R < Rows.Count(); ++R)
    for (int I = 0; I < Rows[R]->Count(); ++I)
      if (TCellObj* C = Rows[R]->Items(I)) C->Cell.Paint(Canvas, ARect, IMgr, LeftX + C->X + CellPadding, XRef, YRef);
  return TopY - YRef + FlowHeight;
}
