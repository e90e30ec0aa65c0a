#include "htmlview/htmlsection.h"

#include <algorithm>

#include "platform/gui/graphics.h"

void TFontObj::Measure(TCanvas* Canvas) {
  Canvas->SetFont(TheFont);
  TTextMetric Tm = Canvas->GetTextMetrics();
  FontHeight = Tm.tmHeight + Tm.tmExternalLeading;
  Descent = Tm.tmDescent;
  Overhang = Tm.tmOverhang;
  MaxCharWidth = Tm.tmMaxCharWidth;
}

TFontObj* TFontList::GetFontObjAt(int Pos) const {
  // Runs are in position order: the last run starting at or before Pos, by bisection.
  if (Count() == 0) return nullptr;
  int Lo = 0, Hi = Count() - 1;
  while (Lo < Hi) {
    const int Mid = (Lo + Hi + 1) / 2;
    if (Items(Mid)->Pos <= Pos)
      Lo = Mid;
    else
      Hi = Mid - 1;
  }
  return Items(Lo);
}

TSection::TSection(TSectionList* ADocument, const TMyFont& AFont, uint8_t AAlignment, uint8_t AClearMode,
                   int ALineHeightSetting)
    : TSectionBase(ADocument),
      Alignment(AAlignment >= 1 && AAlignment <= 4 ? AAlignment : 1),
      ClearMode(AClearMode <= 3 ? AClearMode : 3),
      LineHeightSetting(ALineHeightSetting) {
  Fonts.Add(new TFontObj(0, AFont));
}

TSection::TSection(TSectionList* ADocument, const TSection& Source)
    : TSectionBase(ADocument, Source),
      Text(Source.Text),
      BreakFlags(Source.BreakFlags),
      SourcePositions(Source.SourcePositions),
      SourceIndex(Source.SourceIndex),
      Alignment(Source.Alignment),
      ClearMode(Source.ClearMode),
      LineHeightSetting(Source.LineHeightSetting),
      Completed(Source.Completed) {
  for (int I = 0; I < Source.Fonts.Count(); ++I) {
    const TFontObj* F = Source.Fonts[I];
    auto* Copy = new TFontObj(F->Pos, F->TheFont);
    Copy->Url = F->Url;
    Copy->Target = F->Target;
    Copy->SScript = F->SScript;
    Fonts.Add(Copy);
  }
}

void TSection::AddMarker(char Ch, int SourceOffset) {
  TokenObj T;
  T.AppendChar(Ch, SourceOffset);
  AddToken(T);
}

void TSection::AddToken(const TokenObj& T) {
  const char Flag = (NoBreak || Preformatted()) ? 'n' : 'y';
  for (int I = 0; I < T.Length(); ++I) {
    Text.push_back(T.Chars(I));
    BreakFlags.push_back(Flag);
    SourcePositions.push_back(T.Positions(I));
  }
  CachedMinWidth = CachedMaxWidth = -1;
}

void TSection::StartFontRun(const TMyFont& AFont) {
  TFontObj* Last = Fonts.Last();
  if (Last && Last->Pos == Len()) {
    Last->TheFont.Assign(AFont);
    return;
  }
  auto* F = new TFontObj(Len(), AFont);
  if (Last) {
    F->Url = Last->Url;
    F->Target = Last->Target;
  }
  Fonts.Add(F);
}

void TSection::RemoveChar(int I) {
  Text.erase(static_cast<size_t>(I), 1);
  BreakFlags.erase(static_cast<size_t>(I), 1);
  if (I < static_cast<int>(SourcePositions.size())) SourcePositions.erase(SourcePositions.begin() + I);
  for (int F = 0; F < Fonts.Count(); ++F)
    if (Fonts[F]->Pos > I) --Fonts[F]->Pos;
}

void TSection::Complete() {
  if (!Preformatted()) {
    // Leading blanks go; of blanks standing together one stays (a non-breaking one gives way).
    // One pass keeps this linear in the length of the text.
    std::string NewText, NewFlags;
    std::vector<int> NewSource;
    std::vector<int> NewIndex(Text.size() + 1, 0);  // old position -> new position
    const bool HaveSource = SourcePositions.size() == Text.size();
    for (size_t I = 0; I < Text.size(); ++I) {
      NewIndex[I] = static_cast<int>(NewText.size());
      if (Text[I] == ' ') {
        if (NewText.empty()) continue;
        if (NewText.back() == ' ') {
          if (NewFlags.back() != 'n') continue;
          NewText.pop_back();
          NewFlags.pop_back();
          if (HaveSource) NewSource.pop_back();
        }
      }
      NewText.push_back(Text[I]);
      NewFlags.push_back(BreakFlags[I]);
      if (HaveSource) NewSource.push_back(SourcePositions[I]);
    }
    NewIndex[Text.size()] = static_cast<int>(NewText.size());
    for (int F = 0; F < Fonts.Count(); ++F)
      Fonts[F]->Pos = NewIndex[static_cast<size_t>(std::clamp(Fonts[F]->Pos, 0, Len()))];
    // Runs that now start at the same place: the later one applies.
    for (int F = Fonts.Count() - 2; F >= 0; --F)
      if (Fonts[F]->Pos == Fonts[F + 1]->Pos && F + 1 < Fonts.Count()) Fonts.Delete(F);
    Text.swap(NewText);
    BreakFlags.swap(NewFlags);
    if (HaveSource) SourcePositions.swap(NewSource);
  }
  for (int I = 0; I < Len(); ++I)
    if (Text[I] == NbspMark) {
      Text[I] = ' ';
      BreakFlags[I] = 'n';
    }
  for (int I = Len() - 1; I >= 0; --I)
    if (Text[I] == SoftHyphen) RemoveChar(I);
  for (int I = Len() - 1; I >= 1; --I)
    if (Text[I] == BrkMark && Text[I - 1] == ' ') RemoveChar(I - 1);
  for (int I = Len() - 2; I >= 0; --I)
    if (Text[I] == BrkMark && Text[I + 1] == ' ') RemoveChar(I + 1);
  SourceIndex.clear();
  for (int I = 0; I < static_cast<int>(SourcePositions.size()); ++I)
    if (I == 0 || SourcePositions[I] != SourcePositions[I - 1] + 1) SourceIndex.push_back({I, SourcePositions[I]});
  SourcePositions.clear();
  BreakFlags.push_back('y');
  Completed = true;
  CachedMinWidth = CachedMaxWidth = -1;
}

int TSection::DocToSource(int Pos) {
  int I = Pos - FirstPosition;
  if (I < 0 || I >= Len() || SourceIndex.empty()) return -1;
  const IndexObj* Best = &SourceIndex[0];
  for (const IndexObj& O : SourceIndex) {
    if (O.Pos > I) break;
    Best = &O;
  }
  return Best->Index + (I - Best->Pos);
}

int TSection::SourceToDoc(int Pos, bool Previous) {
  (void)Previous;
  for (size_t K = 0; K < SourceIndex.size(); ++K) {
    int RunEnd = K + 1 < SourceIndex.size() ? SourceIndex[K + 1].Pos : Len();
    int Offset = Pos - SourceIndex[K].Index;
    if (Offset >= 0 && SourceIndex[K].Pos + Offset < RunEnd) return FirstPosition + SourceIndex[K].Pos + Offset;
  }
  return -1;
}

bool TSection::CharAt(int Pos, char& Ch, int& Font) {
  int I = Pos - FirstPosition;
  if (I < 0 || I >= Len()) return false;
  Ch = Text[I];
  TFontObj* F = Fonts.GetFontObjAt(I);
  Font = F ? Fonts.IndexOf(F) : -1;
  return true;
}

void TSection::UseFont(TCanvas* Canvas, const TFontObj* F) {
  if (!F || F == FCanvasFont) return;
  Canvas->SetFont(F->TheFont);
  FCanvasFont = F;
}

static bool IsMarker(char C) { return C == FmCtlMark || C == ImgMark || C == BrkMark; }

int TSection::MeasureRun(TCanvas* Canvas, int Start, int N) {
  int W = 0;
  int I = Start;
  const int End = Start + N;
  while (I < End) {
    if (IsMarker(Text[I])) {
      ++I;
      continue;
    }
    TFontObj* F = Fonts.GetFontObjAt(I);
    int J = I;
    while (J < End && !IsMarker(Text[J]) && (Fonts.GetFontObjAt(J) == F)) ++J;
    UseFont(Canvas, F);
    W += Canvas->TextWidth(Text.substr(static_cast<size_t>(I), static_cast<size_t>(J - I))) - (F ? F->Overhang : 0);
    I = J;
  }
  return W;
}

int TSection::FitChars(TCanvas* Canvas, int Start, int Remaining, int Room) {
  int N = Remaining;
  int Extra = 0;
  for (int I = 0; I < Remaining; ++I)
    if (Text[Start + I] == BrkMark) {
      if (I == 0) return 1;
      N = I;
      Extra = 1;
      break;
    }
  // Fast path: nothing to measure when even the widest characters fit.
  TFontObj* First = Fonts.GetFontObjAt(Start);
  if (Start == 0 && Fonts.Count() == 1 && First && First->MaxCharWidth > 0 &&
      static_cast<int64_t>(First->MaxCharWidth) * N <= Room)
    return N + Extra;
  int Used = 0;
  int I = Start;
  const int End = Start + N;
  while (I < End) {
    if (IsMarker(Text[I])) {
      ++I;
      continue;
    }
    TFontObj* F = Fonts.GetFontObjAt(I);
    int J = I;
    while (J < End && !IsMarker(Text[J]) && Fonts.GetFontObjAt(J) == F) ++J;
    // Largest prefix of the run within the room that is left: the bound doubles until the
    // prefix overflows, then bisection, so a line costs about its own length, not the run's.
    const int RunLen = J - I;
    int Lo = 0, Hi = std::min(RunLen, 32);
    while (Hi < RunLen && Used + MeasureRun(Canvas, I, Hi) <= Room) {
      Lo = Hi;
      Hi = std::min(RunLen, Hi * 2);
    }
    while (Lo < Hi) {
      int Mid = (Lo + Hi + 1) / 2;
      if (Used + MeasureRun(Canvas, I, Mid) <= Room)
        Lo = Mid;
      else
        Hi = Mid - 1;
    }
    if (Lo < J - I) return I + Lo - Start;
    Used += MeasureRun(Canvas, I, J - I);
    I = J;
  }
  return N + Extra;
}

int TSection::ClearanceHeight(IndentManager* IMgr, int Y) const {
  if (!IMgr || ClearMode == 0) return 0;
  auto Bottom = [](const TFreeList<IndentRec>& L) {
    int B = 0;
    for (int I = 0; I < L.Count(); ++I) B = std::max(B, L[I]->Bottom);
    return B;
  };
  int Level = 0;
  if (ClearMode == 1 || ClearMode == 3) Level = std::max(Level, Bottom(IMgr->LeftList));
  if (ClearMode == 2 || ClearMode == 3) Level = std::max(Level, Bottom(IMgr->RightList));
  return std::max(0, Level - Y - 1);
}

void TSection::FinishLine(TCanvas* Canvas, int Start, int Count, bool LastLine, int X, int& Y,
                          IndentManager* IMgr) {
  LineRec L;
  L.Start = Start;
  L.CharCount = Count;
  bool MarkersOnly = true;
  for (int I = Start; I < Start + Count; ++I)
    if (!IsMarker(Text[I])) MarkersOnly = false;
  int TextHeight = 0, Descent = 0;
  for (int I = Start; I < Start + Count; ++I) {
    if (MarkersOnly && !(Count == 1 && Text[I] == BrkMark)) break;
    TFontObj* F = Fonts.GetFontObjAt(I);
    if (!F) continue;
    TextHeight = std::max(TextHeight, F->FontHeight);
    Descent = std::max(Descent, F->Descent);
  }
  int Above = 0, Below = 0;
  if (TextHeight < LineHeightSetting) {
    int Diff = LineHeightSetting - TextHeight;
    Above = Diff / 2;
    Below = Diff - Above;
  }
  // Trailing breaks and blanks do not count for the placement of the line.
  int Visible = Count;
  while (Visible > 0 && (Text[Start + Visible - 1] == BrkMark || Text[Start + Visible - 1] == ' ')) --Visible;
  const int Measured = MeasureRun(Canvas, Start, Visible);
  const int LeftSide = IMgr->LeftEdgeAt(Y);
  const int RightSide = IMgr->RightEdgeAt(Y);
  L.LineWidth = RightSide - LeftSide;
  switch (Alignment) {
    case 2: L.Indent = ((LeftSide + RightSide) - Measured) / 2 - X; break;
    case 3: L.Indent = RightSide - X - Measured; break;
    case 4:
      L.Indent = LeftSide - X;
      if (!LastLine) {
        L.Extra = std::max(0, L.LineWidth - Measured);
        for (int I = Start; I < Start + Count - 1; ++I)
          if (Text[I] == ' ') ++L.SpaceCount;
      }
      break;
    default: L.Indent = LeftSide - X;
  }
  L.LineHeight = TextHeight;
  L.Descent = Descent;
  L.SpaceBefore += Above;
  L.SpaceAfter = Below;
  L.PaintHeight = TextHeight + Below + Above;
  Lines.push_back(L);
  FlowHeight += TextHeight + Below + L.SpaceBefore;
  Y += TextHeight + Below + Above;
}

int TSection::Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
                      int& Curs) {
  (void)AHeight;
  if (!Completed) Complete();
  IndentManager Local;
  if (!IMgr) {
    Local.Reset(X, X + AWidth);
    IMgr = &Local;
  }
  FirstPosition = Curs;
  TopY = ContentTopY = PaintTopY = Y;
  Lines.clear();
  FCanvasFont = nullptr;
  FlowHeight = 0;
  if (Len() == 0) {
    FlowHeight = ClearanceHeight(IMgr, Y);
    MaxWidth = 0;
  } else {
    for (int I = 0; I < Fonts.Count(); ++I) Fonts[I]->Measure(Canvas);
    FCanvasFont = nullptr;
    MaxWidth = std::min(IMgr->RightEdgeAt(Y) - IMgr->LeftEdgeAt(Y), AWidth);
    LineRoom = IMgr->RightEdgeAt(Y) - IMgr->LeftEdgeAt(Y);
    int Clear = ClearanceHeight(IMgr, Y);
    if (Clear > 0) {
      LineRec Step;
      Step.LineHeight = Clear;
      Lines.push_back(Step);
      FlowHeight += Clear;
      Y += Clear;
    }
    int Start = 0;
    bool Last = false;
    while (!Last) {
      const int Remaining = Len() - Start;
      const int Room = IMgr->RightEdgeAt(Y) - IMgr->LeftEdgeAt(Y);
      int N = FitChars(Canvas, Start, Remaining, Room);
      if (N == 0) {
        const int NextY = IMgr->NextWiderY(Y);
        if (NextY > Y) {
          LineRec Step;
          Step.LineHeight = NextY - Y;
          Lines.push_back(Step);
          FlowHeight += NextY - Y;
          Y = NextY;
          continue;
        }
        N = 1;
      }
      int Count = N;
      if (N >= Remaining) {
        Count = Remaining;
        Last = true;
      } else {
        const int P = Start + N - 1;
        const char C = Text[P];
        auto SkipBlanks = [&](int End) {
          // Preformatted lines keep the blanks that indent the next line.
          while (!Preformatted() && End < Len() && Text[End] == ' ') ++End;
          return End;
        };
        if (C == FmCtlMark || C == ImgMark || C == BrkMark || (C == ' ' && BreakFlags[P] != 'n')) {
          Count = SkipBlanks(P + 1) - Start;
        } else if ((Text[P + 1] == FmCtlMark || Text[P + 1] == ImgMark) && BreakFlags[P + 1] != 'n') {
          Count = N;
        } else {
          int B = P;
          while (B >= Start) {
            const char D = Text[B];
            if ((D == FmCtlMark || D == ImgMark || D == ' ' || D == '-' || D == '?') && BreakFlags[B] != 'n') break;
            --B;
          }
          if (B >= Start) {
            Count = SkipBlanks(B + 1) - Start;
          } else {
            // The word is longer than the room: down past floats when they end lower, else whole.
            const int NextY = IMgr->NextWiderY(Y);
            if (NextY > Y) {
              LineRec Step;
              Step.LineHeight = NextY - Y;
              Lines.push_back(Step);
              FlowHeight += NextY - Y;
              Y = NextY;
              continue;
            }
            int E = P;
            while (E < Len()) {
              const char D = Text[E];
              if (D == '-' || D == '?') break;
              if (E + 1 < Len() && (Text[E + 1] == FmCtlMark || Text[E + 1] == ImgMark ||
                                    Text[E + 1] == BrkMark || Text[E + 1] == ' ') &&
                  BreakFlags[E + 1] != 'n')
                break;
              ++E;
            }
            Count = SkipBlanks(std::min(E + 1, Len())) - Start;
            MaxWidth = std::max(MaxWidth, MeasureRun(Canvas, Start, Count));
          }
        }
        if (Start + Count >= Len()) {
          Count = Len() - Start;
          Last = true;
        }
      }
      FinishLine(Canvas, Start, Count, Last, X, Y, IMgr);
      Start += Count;
    }
  }
  Curs += Len();
  PositionCount = Len();
  PaintHeight = FlowHeight;
  ContentBottomY = TopY + FlowHeight;
  PaintBottomY = TopY + PaintHeight;
  return FlowHeight;
}

int TSection::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) {
  (void)IMgr, (void)XRef;
  const int Top = TopY - YRef;
  if (Len() == 0 || Top > ARect.Bottom || Top + PaintHeight < ARect.Top) return Top + FlowHeight;
  PaintLeft = X;
  FCanvasFont = nullptr;
  int Y = Top;
  for (LineRec& L : Lines) {
    const int LineTop = Y + L.SpaceBefore;
    L.PaintX = X + L.Indent;
    L.PaintY = LineTop;
    if (L.CharCount > 0 && LineTop + L.LineHeight >= ARect.Top && LineTop <= ARect.Bottom) {
      int CX = L.PaintX;
      int I = L.Start;
      const int End = L.Start + L.CharCount;
      while (I < End) {
        if (IsMarker(Text[I])) {
          ++I;
          continue;
        }
        TFontObj* F = Fonts.GetFontObjAt(I);
        int J = I;
        while (J < End && !IsMarker(Text[J]) && Fonts.GetFontObjAt(J) == F) ++J;
        const std::string S = Text.substr(static_cast<size_t>(I), static_cast<size_t>(J - I));
        UseFont(Canvas, F);
        Canvas->Brush()->SetStyle(bsClear);
        // Text is placed by its top; the line's baseline lies one font ascent below.
        Canvas->TextOut(CX, LineTop + (L.LineHeight - L.Descent) - (F->FontHeight - F->Descent), S);
        CX += Canvas->TextWidth(S) - F->Overhang;
        I = J;
      }
    }
    Y += L.SpaceBefore + L.LineHeight + L.SpaceAfter;
  }
  return Top + FlowHeight;
}

int TSection::CursorAt(int X, int Y) {
  for (const LineRec& L : Lines) {
    if (L.CharCount == 0) continue;
    if (Y >= L.PaintY && Y < L.PaintY + L.LineHeight + L.SpaceAfter) {
      if (X < L.PaintX) return FirstPosition + L.Start;
      return FirstPosition + L.Start + L.CharCount - 1;
    }
  }
  return -1;
}

void TSection::WidthRange(TCanvas* Canvas, int& Min, int& Max) {
  if (CachedMinWidth >= 0) {
    Min = CachedMinWidth;
    Max = CachedMaxWidth;
    return;
  }
  if (!Completed) Complete();
  FCanvasFont = nullptr;
  Max = 0;
  for (int I = 0; I < Len();) {
    int J = I;
    while (J < Len() && Text[J] != BrkMark) ++J;
    int E = J;
    while (E > I && Text[E - 1] == ' ') --E;
    Max = std::max(Max, MeasureRun(Canvas, I, E - I));
    I = J + 1;
  }
  Min = 0;
  auto IsCut = [&](int I) {
    const char C = Text[I];
    return (C == ImgMark || C == BrkMark || C == ' ' || C == '-' || C == '?') && BreakFlags[I] != 'n';
  };
  for (int I = 0; I < Len();) {
    int J = I;
    while (J < Len() && !IsCut(J)) ++J;
    Min = std::max(Min, MeasureRun(Canvas, I, J - I));
    I = J;
    while (I < Len() && IsCut(I)) ++I;
  }
  CachedMinWidth = Min;
  CachedMaxWidth = Max;
}
