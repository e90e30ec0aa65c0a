#include "htmlview/htmlsection.h"

#include <algorithm>

#include "htmlview/htmlforms.h"
#include "platform/gui/graphics.h"

namespace {
// A canvas for measuring outside layout and painting (hit tests).
TCanvas* MeasureCanvas() {
  static TBitmap* B = [] {
    auto* Bmp = new TBitmap();
    Bmp->SetSize(4, 4);
    return Bmp;
  }();
  return B->Canvas();
}
}  // namespace

void TFontObj::SetVisited(bool Value) {
  if (Visited == Value) return;
  Visited = Value;
  SetHover(Hover);
}

void TFontObj::SetHover(bool Value) {
  Hover = Value;
  if (!LinkFonts) return;
  const ThtFontInfo& I = LinkFonts->Ar[Visited ? (Hover ? HVFont : VFont) : (Hover ? HLFont : LFont)];
  std::unique_ptr<TMyFont> F(FontFromInfo(I));
  TheFont.Assign(*F);
  Measured = false;
}

void TFontObj::Measure(TCanvas* Canvas) {
  // The metrics stay what they were until the font changes.
  if (Measured) return;
  Measured = true;
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
    Copy->LinkID = F->LinkID;
    if (F->LinkFonts) Copy->LinkFonts = std::make_unique<TFontInfoArray>(*F->LinkFonts);
    Fonts.Add(Copy);
  }
  for (int I = 0; I < Source.Images.Count(); ++I) Images.Add(Source.Images[I]->Clone(ADocument));
  FormControls = Source.FormControls;
}

TSection::~TSection() {
  DropLinks();
  if (HasAnchor && ParentSectionList) ParentSectionList->IDNameList.RemoveObject(this);
}

void TSection::DropLinks() {
  if (!ParentSectionList || ParentSectionList->Links.empty()) return;
  TSectionList* D = ParentSectionList;
  auto Mine = [this](TFontObj* F) {
    for (int I = 0; I < Fonts.Count(); ++I)
      if (Fonts[I] == F) return true;
    return false;
  };
  D->Links.erase(std::remove_if(D->Links.begin(), D->Links.end(), Mine), D->Links.end());
  if (D->ActiveLink && Mine(D->ActiveLink)) D->ActiveLink = nullptr;
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
    Last->Measured = false;
    return;
  }
  auto* F = new TFontObj(Len(), AFont);
  if (Last) {
    F->Url = Last->Url;
    F->Target = Last->Target;
    F->LinkID = Last->LinkID;
    if (Last->LinkFonts) F->LinkFonts = std::make_unique<TFontInfoArray>(*Last->LinkFonts);
  }
  Fonts.Add(F);
}

void TSection::StartLinkRun(const TMyFont& AFont, const std::string& Url, const std::string& Target, int LinkID,
                            const TFontInfoArray* LinkFonts) {
  StartFontRun(AFont);
  TFontObj* F = Fonts.Last();
  F->Url = Url;
  F->Target = Target;
  F->LinkID = Url.empty() ? 0 : LinkID;
  if (LinkFonts && !Url.empty())
    F->LinkFonts = std::make_unique<TFontInfoArray>(*LinkFonts);
  else
    F->LinkFonts.reset();
  if (!Url.empty() && ParentSectionList) {
    auto& L = ParentSectionList->Links;
    if (L.empty() || L.back() != F) L.push_back(F);
  }
}

void TSection::AppendImage(TFloatingObj* Obj, int SourceOffset) {
  Obj->Pos = Len();
  Images.Add(Obj);
  AddMarker(ImgMark, SourceOffset);
}

void TSection::AppendFormControl(TFormControlObj* Control, int SourceOffset) {
  Control->Pos = Len();
  FormControls.push_back(Control);
  AddMarker(FmCtlMark, SourceOffset);
}

void TSection::RemoveChar(int I) {
  Text.erase(static_cast<size_t>(I), 1);
  BreakFlags.erase(static_cast<size_t>(I), 1);
  if (I < static_cast<int>(SourcePositions.size())) SourcePositions.erase(SourcePositions.begin() + I);
  for (int F = 0; F < Fonts.Count(); ++F)
    if (Fonts[F]->Pos > I) --Fonts[F]->Pos;
  Images.RemovePosition(I);
  for (TFormControlObj* C : FormControls)
    if (C->Pos > I) --C->Pos;
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
    for (int F = 0; F < Images.Count(); ++F)
      Images[F]->Pos = NewIndex[static_cast<size_t>(std::clamp(Images[F]->Pos, 0, Len()))];
    for (TFormControlObj* C : FormControls) C->Pos = NewIndex[static_cast<size_t>(std::clamp(C->Pos, 0, Len()))];
    // Runs that now start at the same place: the later one applies.
    for (int F = Fonts.Count() - 2; F >= 0; --F)
      if (Fonts[F]->Pos == Fonts[F + 1]->Pos && F + 1 < Fonts.Count()) {
        if (ParentSectionList) {
          auto& L = ParentSectionList->Links;
          L.erase(std::remove(L.begin(), L.end(), Fonts[F]), L.end());
          if (ParentSectionList->ActiveLink == Fonts[F]) ParentSectionList->ActiveLink = nullptr;
        }
        Fonts.Delete(F);
      }
    Text.swap(NewText);
    BreakFlags.swap(NewFlags);
    if (HaveSource) SourcePositions.swap(NewSource);
  }
  if (!Preformatted() && Images.Count() > 0)
    for (int I = Len() - 2; I >= 0; --I)
      if (Text[I] == ImgMark && Text[I + 1] == ' ') {
        TFloatingObj* Obj = Images.FindAt(I);
        if (Obj && Obj->Floating()) RemoveChar(I + 1);
      }
  for (int I = 0; I < Len(); ++I)
    if (Text[I] == NbspMark) {
      Text[I] = ' ';
      BreakFlags[I] = 'n';
    }
  {
    // Soft hyphens go in one pass (a text of many of them stays linear).
    bool Any = false;
    for (char C : Text) Any = Any || C == SoftHyphen;
    for (int I = Len() - 1; Any && I >= 0; --I)
      if (Text[I] == SoftHyphen) RemoveChar(I);
  }
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

int TSection::SourceAtOrAfter(int Src) const {
  for (size_t K = 0; K < SourceIndex.size(); ++K) {
    const int RunEnd = K + 1 < SourceIndex.size() ? SourceIndex[K + 1].Pos : Len();
    const int RunLen = RunEnd - SourceIndex[K].Pos;
    if (RunLen <= 0) continue;
    const int LastSrc = SourceIndex[K].Index + RunLen - 1;
    if (LastSrc < Src) continue;
    return FirstPosition + SourceIndex[K].Pos + std::max(0, Src - SourceIndex[K].Index);
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

int TSection::FontRunEnd(int I) const {
  // The first run that starts after I (runs are in position order).
  int Lo = 0, Hi = Fonts.Count();
  while (Lo < Hi) {
    const int Mid = (Lo + Hi) / 2;
    if (Fonts[Mid]->Pos <= I)
      Lo = Mid + 1;
    else
      Hi = Mid;
  }
  return Lo < Fonts.Count() ? Fonts[Lo]->Pos : Len();
}

TFormControlObj* TSection::ControlAt(int I) const {
  for (TFormControlObj* C : FormControls)
    if (C->Pos == I) return C;
  return nullptr;
}

int TSection::MarkerWidth(int I) const {
  if (Text[I] == ImgMark) {
    TFloatingObj* Obj = Images.FindAt(I);
    if (!Obj || Obj->Floating()) return 0;
    return Obj->ImageWidth + Obj->HSpaceL + Obj->HSpaceR;
  }
  if (Text[I] == FmCtlMark) {
    TFormControlObj* C = ControlAt(I);
    return C ? C->Width() + C->HSpaceL + C->HSpaceR : 0;
  }
  return 0;
}

int TSection::MeasureRun(TCanvas* Canvas, int Start, int N) {
  int W = 0;
  int I = Start;
  const int End = Start + N;
  while (I < End) {
    if (IsMarker(Text[I])) {
      W += MarkerWidth(I);
      ++I;
      continue;
    }
    TFontObj* F = Fonts.GetFontObjAt(I);
    int J = I;
    const int Stop = std::min(End, FontRunEnd(I));
    while (J < Stop && !IsMarker(Text[J])) ++J;
    UseFont(Canvas, F);
    W += Canvas->TextWidth(Text.substr(static_cast<size_t>(I), static_cast<size_t>(J - I))) - (F ? F->Overhang : 0);
    I = J;
  }
  return W;
}

int TSection::FitChars(TCanvas* Canvas, int Start, int Remaining, int Room) {
  int N = Remaining;
  int Extra = 0;
  // The next forced break, found once and kept while the lines move towards it (a scan of the
  // rest of the paragraph for every line would make long paragraphs quadratic).
  if (FNextBreak < Start) {
    const size_t P = Text.find(BrkMark, static_cast<size_t>(Start));
    FNextBreak = P == std::string::npos ? Len() : static_cast<int>(P);
  }
  if (FNextBreak < Start + Remaining) {
    if (FNextBreak == Start) return 1;
    N = FNextBreak - Start;
    Extra = 1;
  }
  // Fast path: nothing to measure when even the widest characters fit.
  TFontObj* First = Fonts.GetFontObjAt(Start);
  if (Start == 0 && Fonts.Count() == 1 && Images.Count() == 0 && FormControls.empty() && First &&
      First->MaxCharWidth > 0 && static_cast<int64_t>(First->MaxCharWidth) * N <= Room)
    return N + Extra;
  int Used = 0;
  int I = Start;
  const int End = Start + N;
  while (I < End) {
    if (IsMarker(Text[I])) {
      // An image or control that does not fit ends the line (the caller takes at least one).
      const int W = MarkerWidth(I);
      if (Used + W > Room) return I - Start;
      Used += W;
      ++I;
      continue;
    }
    int J = I;
    const int Stop = std::min(End, FontRunEnd(I));
    while (J < Stop && !IsMarker(Text[J])) ++J;
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
    for (int I = 0; I < L.Count(); ++I)
      if (L[I]->Bottom < IndentManagerBasic::OpenBottom) B = std::max(B, L[I]->Bottom);
    return B;
  };
  int Level = 0;
  if (ClearMode == 1 || ClearMode == 3) Level = std::max(Level, Bottom(IMgr->LeftList));
  if (ClearMode == 2 || ClearMode == 3) Level = std::max(Level, Bottom(IMgr->RightList));
  return std::max(0, Level - Y - 1);
}

void TSection::PlaceFloat(int I, int Y, IndentManager* IMgr) {
  TFloatingObj* Obj = Images.FindAt(I);
  if (!Obj || !Obj->Floating()) return;
  int Indent = 0;
  IMgr->AddImageFloat(Y, Obj->ObjAlign == ALeft, Obj->ObjAlign == ARight, Obj->ImageWidth, Obj->ImageHeight,
                      Obj->HSpaceL, Obj->HSpaceR, Obj->VSpaceT, Obj->VSpaceB, Indent);
  Obj->Indent = Indent;
  Obj->FloatX = IMgr->LeftEdge + Indent - Obj->HSpaceL;
  Obj->FloatY = Y;
  FloatBottom = std::max(FloatBottom, Y + Obj->ImageHeight + Obj->VSpaceT + Obj->VSpaceB);
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
  // Images and controls of the line make it taller by their alignment.
  bool HasObjects = false;
  for (int I = Start; I < Start + Count; ++I) {
    if (Text[I] != ImgMark && Text[I] != FmCtlMark) continue;
    int H = 0;
    uint8_t Align = ABaseline;
    if (Text[I] == ImgMark) {
      TFloatingObj* Obj = Images.FindAt(I);
      if (!Obj || Obj->Floating()) continue;
      H = Obj->ImageHeight + Obj->VSpaceT + Obj->VSpaceB;
      Align = Obj->ObjAlign;
    } else {
      TFormControlObj* C = ControlAt(I);
      if (!C) continue;
      H = C->Height();
      Align = C->FormAlign;
    }
    HasObjects = true;
    int TH = TextHeight, TD = Descent;
    if (MarkersOnly && Align == AMiddle) {
      // Only a middle alignment centres on the font at the line start; on a line without text
      // the others measure from a text height of 0, so that the line holds the whole object.
      TFontObj* F = Fonts.GetFontObjAt(Start);
      TH = F ? F->FontHeight : 0;
      TD = F ? F->Descent : 0;
    }
    switch (Align) {
      case ATop: Below = std::max(Below, H - TH); break;
      case AMiddle: {
        const int Excess = std::max(0, H - TH);
        Below = std::max(Below, Excess / 2);
        Above = std::max(Above, Excess - Excess / 2);
        break;
      }
      default: Above = std::max(Above, H - (TH - TD)); break;
    }
  }
  if (MarkersOnly && HasObjects && TextHeight == 0) Descent = 0;
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
        if (L.SpaceCount == 0) L.Extra = 0;
      }
      break;
    default: L.Indent = LeftSide - X;
  }
  L.LineHeight = TextHeight;
  L.Descent = Descent;
  L.SpaceBefore += Above;
  L.SpaceAfter = Below;
  L.PaintHeight = TextHeight + Below + Above;
  L.PaintX = X + L.Indent;
  L.PaintY = Y;  // the document Y of the line's top
  Lines.push_back(L);
  FlowHeight += TextHeight + Below + L.SpaceBefore;
  Y += TextHeight + Below + Above;
  // Floats met inside the line go below it.
  for (int I = Start; I < Start + Count; ++I)
    if (Text[I] == ImgMark) {
      TFloatingObj* Obj = Images.FindAt(I);
      if (Obj && Obj->Floating() && Obj->FloatY == INT_MIN) PlaceFloat(I, Y, IMgr);
    }
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
  ArrangeX = X;
  FNextBreak = -1;
  TopY = ContentTopY = PaintTopY = Y;
  Lines.clear();
  FCanvasFont = nullptr;
  FlowHeight = 0;
  FloatBottom = 0;
  if (Len() == 0) {
    FlowHeight = ClearanceHeight(IMgr, Y);
    MaxWidth = 0;
  } else {
    for (int I = 0; I < Fonts.Count(); ++I) Fonts[I]->Measure(Canvas);
    FCanvasFont = nullptr;
    MaxWidth = std::min(IMgr->RightEdgeAt(Y) - IMgr->LeftEdgeAt(Y), AWidth);
    LineRoom = IMgr->RightEdgeAt(Y) - IMgr->LeftEdgeAt(Y);
    for (int I = 0; I < Images.Count(); ++I) {
      TFloatingObj* Obj = Images[I];
      Obj->Measure(Canvas, Fonts.GetFontObjAt(Obj->Pos), LineRoom);
      Obj->FloatY = INT_MIN;
      MaxWidth = std::max(MaxWidth, Obj->ImageWidth + Obj->HSpaceL + Obj->HSpaceR);
    }
    for (TFormControlObj* C : FormControls) MaxWidth = std::max(MaxWidth, C->Width() + C->HSpaceL + C->HSpaceR);
    FCanvasFont = nullptr;
    int Clear = ClearanceHeight(IMgr, Y);
    if (Clear > 0) {
      LineRec Step;
      Step.LineHeight = Clear;
      Step.PaintY = Y;
      Lines.push_back(Step);
      FlowHeight += Clear;
      Y += Clear;
    }
    int Start = 0;
    bool Last = false;
    while (!Last) {
      // A float at the start of a line is placed before the line is fitted beside it.
      if (Start < Len() && Text[Start] == ImgMark) {
        TFloatingObj* Obj = Images.FindAt(Start);
        if (Obj && Obj->Floating() && Obj->FloatY == INT_MIN) PlaceFloat(Start, Y, IMgr);
      }
      const int Remaining = Len() - Start;
      const int Room = IMgr->RightEdgeAt(Y) - IMgr->LeftEdgeAt(Y);
      int N;
      if (Preformatted()) {
        // Preformatted lines end only at their line breaks.
        N = 0;
        while (N < Remaining && Text[Start + N] != BrkMark) ++N;
        if (N < Remaining) ++N;
      } else {
        N = FitChars(Canvas, Start, Remaining, Room);
      }
      if (N == 0) {
        const int NextY = IMgr->NextWiderY(Y);
        if (NextY > Y) {
          LineRec Step;
          Step.LineHeight = NextY - Y;
          Step.PaintY = Y;
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
      } else if (!Preformatted()) {
        const int P = Start + N - 1;
        const char C = Text[P];
        auto SkipBlanks = [&](int End) {
          while (End < Len() && Text[End] == ' ') ++End;
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
              Step.PaintY = Y;
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
      if (Start >= Len()) Last = true;
    }
    if (Preformatted()) {
      int Widest = 0;
      for (const LineRec& L : Lines) Widest = std::max(Widest, MeasureRun(Canvas, L.Start, L.CharCount));
      MaxWidth = std::max(MaxWidth, Widest);
    }
  }
  Curs += Len();
  PositionCount = Len();
  if (ParentSectionList && ParentSectionList->FirstLineBaseline && *ParentSectionList->FirstLineBaseline == 0)
    for (const LineRec& L : Lines)
      if (L.CharCount > 0) {
        *ParentSectionList->FirstLineBaseline = L.PaintY + L.SpaceBefore + L.LineHeight - L.Descent;
        break;
      }
  PaintHeight = std::max(FlowHeight, FloatBottom - TopY);
  ContentBottomY = TopY + FlowHeight;
  PaintBottomY = TopY + PaintHeight;
  return FlowHeight;
}

int TSection::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) {
  (void)IMgr, (void)XRef;
  const int Top = TopY - YRef;
  if (Len() == 0 || Top > ARect.Bottom || Top + PaintHeight < ARect.Top) return Top + FlowHeight;
  PaintLeft = X;
  const int DX = X - ArrangeX;  // a block painted away from where it was arranged (relative positions)
  FCanvasFont = nullptr;
  TSectionList* Doc = ParentSectionList;
  const bool Printing = Doc && Doc->Printing;
  for (LineRec& L : Lines) {
    const int LineTop = L.PaintY - YRef + L.SpaceBefore;
    if (L.CharCount == 0 || LineTop + L.LineHeight + L.SpaceAfter < ARect.Top - 2 || LineTop - L.SpaceBefore > ARect.Bottom)
      continue;
    if (Printing) {
      // A line that would cross the page's bottom starts the next page, unless it is taller
      // than a page (then it is cut).
      const int DocTop = L.PaintY, DocBottom = L.PaintY + L.SpaceBefore + L.LineHeight + L.SpaceAfter;
      if (DocTop > YRef && DocBottom > Doc->PrintPageBottom && DocTop < Doc->PrintPageBottom &&
          DocBottom - DocTop < ARect.Bottom - ARect.Top) {
        Doc->PrintPageBottom = DocTop;
        break;
      }
      if (DocTop >= Doc->PrintPageBottom) break;
    }
    const int Baseline = LineTop + L.LineHeight - L.Descent;
    int CX = L.PaintX + DX;
    int I = L.Start;
    const int End = L.Start + L.CharCount;
    // Justification shares the extra room among the blanks of the line.
    int SpacesLeft = L.SpaceCount, ExtraLeft = L.Extra;
    auto SpaceExtra = [&]() {
      if (SpacesLeft <= 0) return 0;
      const int E = ExtraLeft / SpacesLeft;
      ExtraLeft -= E;
      --SpacesLeft;
      return E;
    };
    while (I < End) {
      if (Text[I] == ImgMark) {
        TFloatingObj* Obj = Images.FindAt(I);
        if (Obj) {
          TFontObj* F = Fonts.GetFontObjAt(I);
          if (Obj->Floating()) {
            Obj->Draw(Canvas, Obj->FloatX + DX + Obj->HSpaceL, Obj->FloatY - YRef, Baseline, F);
          } else {
            Obj->Draw(Canvas, CX + Obj->HSpaceL, LineTop - L.SpaceBefore, Baseline, F);
            CX += Obj->ImageWidth + Obj->HSpaceL + Obj->HSpaceR;
          }
          FCanvasFont = nullptr;
        }
        ++I;
        continue;
      }
      if (Text[I] == FmCtlMark) {
        if (TFormControlObj* C = ControlAt(I)) {
          const int H = C->Height();
          int CY;
          switch (C->FormAlign) {
            case ATop: CY = LineTop; break;
            case AMiddle: CY = LineTop + (L.LineHeight - H) / 2; break;
            default: CY = Baseline - H; break;
          }
          if (Printing)
            C->PrintLook(Canvas, CX + C->HSpaceL, CY);
          else
            C->ShowAt(CX + C->HSpaceL, CY, CY + YRef);
          if (C->Active && !Printing && (dynamic_cast<TCheckBoxFormControlObj*>(C) ||
                                          dynamic_cast<TRadioButtonFormControlObj*>(C))) {
            Canvas->Brush()->SetColor(clWhite);
            Canvas->DrawFocusRect(TRect(CX + C->HSpaceL - 2, CY - 2, CX + C->HSpaceL + 15, CY + 15));
          }
          CX += C->Width() + C->HSpaceL + C->HSpaceR;
          FCanvasFont = nullptr;
        }
        ++I;
        continue;
      }
      if (Text[I] == BrkMark) {
        ++I;
        continue;
      }
      TFontObj* F = Fonts.GetFontObjAt(I);
      int J = I;
      if (L.Extra > 0) {
        // Justified: one word (with its blank) at a time.
        while (J < End && !IsMarker(Text[J]) && Fonts.GetFontObjAt(J) == F && Text[J] != ' ') ++J;
        if (J < End && Text[J] == ' ' && Fonts.GetFontObjAt(J) == F) ++J;
      } else {
        const int Stop = std::min(End, FontRunEnd(I));
        while (J < Stop && !IsMarker(Text[J])) ++J;
      }
      if (Doc && Doc->SelEnd > Doc->SelStart) {
        // A run is drawn in two looks where the selection starts or ends inside it.
        const int SelS = Doc->SelStart - FirstPosition, SelE = Doc->SelEnd - FirstPosition;
        if (I < SelS && J > SelS) J = SelS;
        if (I < SelE && J > SelE) J = SelE;
      }
      const std::string S = Text.substr(static_cast<size_t>(I), static_cast<size_t>(J - I));
      UseFont(Canvas, F);
      const bool Selected = Doc && Doc->SelEnd > Doc->SelStart && FirstPosition + I >= Doc->SelStart &&
                            FirstPosition + I < Doc->SelEnd;
      if (Selected) {
        Canvas->Brush()->SetStyle(bsSolid);
        Canvas->Brush()->SetColor(static_cast<TColor>(F->TheFont.Color() & 0xFFFFFF));
        Canvas->Font()->SetColor(F->TheFont.bgColor == Transparent ? static_cast<TColor>(~F->TheFont.Color() & 0xFFFFFF)
                                                                    : static_cast<TColor>(F->TheFont.bgColor & 0xFFFFFF));
        FCanvasFont = nullptr;
      } else if (F->TheFont.bgColor != Transparent) {
        Canvas->Brush()->SetStyle(bsSolid);
        Canvas->Brush()->SetColor(static_cast<TColor>(F->TheFont.bgColor & 0xFFFFFF));
      } else {
        Canvas->Brush()->SetStyle(bsClear);
      }
      int Shift = 0;
      if (F->SScript == 2) Shift = -(F->FontHeight / 3);
      if (F->SScript == 1) Shift = F->Descent / 2 + 1;
      // Text is placed by its top; the line's baseline lies one font ascent below.
      Canvas->TextOut(CX, Baseline - (F->FontHeight - F->Descent) + Shift, S);
      CX += Canvas->TextWidth(S) - F->Overhang;
      if (L.Extra > 0 && S.back() == ' ' && J < End) CX += SpaceExtra();
      I = J;
    }
  }
  return Top + FlowHeight;
}

int TSection::CharInLine(TCanvas* Canvas, const LineRec& L, int X, bool& InText) {
  FCanvasFont = nullptr;
  int CX = L.PaintX;
  InText = X >= CX;
  if (X < CX) return L.Start;
  int SpacesLeft = L.SpaceCount, ExtraLeft = L.Extra;
  const int End = L.Start + L.CharCount;
  for (int I = L.Start; I < End; ++I) {
    int W = IsMarker(Text[I]) ? MarkerWidth(I) : MeasureRun(Canvas, I, 1);
    if (L.Extra > 0 && Text[I] == ' ' && SpacesLeft > 0) {
      const int E = ExtraLeft / SpacesLeft;
      ExtraLeft -= E;
      --SpacesLeft;
      W += E;
    }
    if (X < CX + W) return X >= CX + W / 2 ? I + 1 : I;
    CX += W;
  }
  InText = false;
  return End;
}

int TSection::CursorAt(int X, int Y) {
  for (const LineRec& L : Lines) {
    if (L.CharCount == 0) continue;
    if (Y >= L.PaintY && Y < L.PaintY + L.SpaceBefore + L.LineHeight + L.SpaceAfter) {
      bool InText = false;
      int I = CharInLine(MeasureCanvas(), L, X, InText);
      // A position after the line's last character stays on the line.
      int LastChar = L.Start + L.CharCount;
      while (LastChar > L.Start && (Text[LastChar - 1] == BrkMark)) --LastChar;
      I = std::min(I, LastChar);
      return FirstPosition + I;
    }
  }
  return -1;
}

bool TSection::LinkAt(int X, int Y, TUrlTarget*& UrlTarget, int& FormControl) {
  int IX = 0, IY = 0;
  TImageObj* Img = nullptr;
  if (Images.HitImage(X, Y, IX, IY, Img)) {
    // A form's image button acts as a link: a click on it submits the form with the point.
    if (TImageFormControlObj* Button = ParentSectionList ? ParentSectionList->ImageButtonOf(Img) : nullptr) {
      Button->PendingX = IX;
      Button->PendingY = IY;
      ParentSectionList->ActiveImageButton = Button;
      FormControl = 1;
      return true;
    }
    TFontObj* F = Fonts.GetFontObjAt(Img->Pos);
    if (Img->HasUseMap && ParentSectionList) {
      for (int I = 0; I < ParentSectionList->MapList.Count(); ++I) {
        TMapItem* M = ParentSectionList->MapList[I];
        if (M->Name == Img->MapName) return M->UrlAt(IX, IY, UrlTarget);
      }
    }
    if (F && !F->Url.empty()) {
      UrlTarget = new TUrlTarget();
      UrlTarget->Assign(Img->IsMap ? F->Url + "?" + IntToStr(IX) + "," + IntToStr(IY) : F->Url, F->Target);
      UrlTarget->ID = F->LinkID;
      if (ParentSectionList) ParentSectionList->ActiveLink = F;
      return true;
    }
    return false;
  }
  for (const LineRec& L : Lines) {
    if (L.CharCount == 0) continue;
    if (Y >= L.PaintY && Y < L.PaintY + L.SpaceBefore + L.LineHeight + L.SpaceAfter) {
      bool InText = false;
      // The character whose box holds X (not the nearest caret position).
      int CX = L.PaintX;
      if (X < CX) return false;
      FCanvasFont = nullptr;
      const int End = L.Start + L.CharCount;
      for (int I = L.Start; I < End; ++I) {
        const int W = IsMarker(Text[I]) ? MarkerWidth(I) : MeasureRun(MeasureCanvas(), I, 1);
        if (X < CX + W) {
          if (Text[I] == ImgMark || Text[I] == FmCtlMark) return false;
          TFontObj* F = Fonts.GetFontObjAt(I);
          if (!F || F->Url.empty()) return false;
          UrlTarget = new TUrlTarget();
          UrlTarget->Assign(F->Url, F->Target);
          UrlTarget->ID = F->LinkID;
          if (ParentSectionList) ParentSectionList->ActiveLink = F;
          return true;
        }
        CX += W + (L.Extra > 0 && Text[I] == ' ' && L.SpaceCount > 0 ? L.Extra / L.SpaceCount : 0);
      }
      (void)InText;
      return false;
    }
  }
  return false;
}

bool TSection::ObjectAt(int X, int Y, void*& Obj) {
  int IX = 0, IY = 0;
  TImageObj* Img = nullptr;
  if (!Images.HitImage(X, Y, IX, IY, Img)) return false;
  Obj = Img;
  return true;
}

bool TSection::CaretPoint(int Pos, int& X, int& Y) {
  const int I = Pos - FirstPosition;
  if (I < 0 || I > Len()) return false;
  for (const LineRec& L : Lines) {
    if (L.CharCount == 0) continue;
    if (I >= L.Start && I <= L.Start + L.CharCount) {
      FCanvasFont = nullptr;
      X = L.PaintX + MeasureRun(MeasureCanvas(), L.Start, I - L.Start);
      Y = L.PaintY + L.SpaceBefore;
      return true;
    }
  }
  return false;
}

int TSection::SearchText(const std::string& S, bool MatchCase, int Start) {
  if (S.empty()) return -1;
  const int From = std::max(0, Start - FirstPosition);
  if (From >= Len()) return -1;
  size_t P;
  if (MatchCase) {
    P = Text.find(S, static_cast<size_t>(From));
  } else {
    P = LowerCase(Text).find(LowerCase(S.substr(0, 255)), static_cast<size_t>(From));
  }
  return P == std::string::npos ? -1 : FirstPosition + static_cast<int>(P);
}

void TSection::ShiftY(int DY) {
  TSectionBase::ShiftY(DY);
  for (LineRec& L : Lines) L.PaintY += DY;
  for (int I = 0; I < Images.Count(); ++I)
    if (Images[I]->Floating() && Images[I]->FloatY != INT_MIN) Images[I]->FloatY += DY;
}

void TSection::CopySelection() {
  TSectionList* D = ParentSectionList;
  if (!D) return;
  for (const LineRec& L : Lines) {
    if (L.CharCount == 0) continue;
    const int LineStart = FirstPosition + L.Start, LineEnd = LineStart + L.CharCount;
    const int From = std::max(LineStart, D->SelStart), To = std::min(LineEnd, D->SelEnd);
    if (From >= To) continue;
    // A line copied from its start keeps its indent as groups of three blanks.
    if (From == LineStart)
      for (int I = 0; I < (L.PaintX - ArrangeX) / 35; ++I) D->CopyBuffer += "   ";
    for (int I = From; I < To; ++I) {
      const char C = Text[I - FirstPosition];
      if (C != BrkMark && C != ImgMark && C != FmCtlMark) D->CopyBuffer += C;
    }
    if (To == LineEnd) D->CopyBuffer += "\r\n";
  }
}

void TSection::Register() {
  TSectionBase::Register();
}

bool TSection::MinWidthAtMost(TCanvas* Canvas, int Width) {
  if (CachedMinWidth >= 0 && Images.Count() == 0) return CachedMinWidth <= Width;
  if (Images.Count() > 0 || !FormControls.empty() || Preformatted()) return TSectionBase::MinWidthAtMost(Canvas, Width);
  if (!Completed) Complete();
  // The longest word in characters times the widest character of any run is an upper bound.
  int Longest = 0, Run = 0;
  for (int I = 0; I < Len(); ++I) {
    const char C = Text[I];
    if ((C == ' ' || C == '-' || C == '?' || C == BrkMark) && BreakFlags[I] != 'n') {
      Run = 0;
    } else {
      Longest = std::max(Longest, ++Run);
    }
  }
  int Widest = 0;
  for (int F = 0; F < Fonts.Count(); ++F) {
    Fonts[F]->Measure(Canvas);
    Widest = std::max(Widest, Fonts[F]->MaxCharWidth);
  }
  if (Widest > 0 && static_cast<int64_t>(Longest) * Widest <= Width) return true;
  return TSectionBase::MinWidthAtMost(Canvas, Width);
}

void TSection::WidthRange(TCanvas* Canvas, int& Min, int& Max) {
  if (CachedMinWidth >= 0 && Images.Count() == 0) {
    Min = CachedMinWidth;
    Max = CachedMaxWidth;
    return;
  }
  if (!Completed) Complete();
  FCanvasFont = nullptr;
  int FloatTotal = 0, ImageMin = 0;
  for (int I = 0; I < Images.Count(); ++I) {
    TFloatingObj* Obj = Images[I];
    Obj->Measure(Canvas, Fonts.GetFontObjAt(Obj->Pos), 0);
    auto* Img = dynamic_cast<TImageObj*>(Obj);
    if (Obj->Floating())
      FloatTotal += Obj->ImageWidth + Obj->HSpaceL + Obj->HSpaceR;
    else if (!(Img && Img->WidthIsPercent))
      ImageMin = std::max(ImageMin, Obj->ImageWidth + Obj->HSpaceL + Obj->HSpaceR);
  }
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
  Max += FloatTotal;
  Min = ImageMin;
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
  Min = std::max(Min, FloatTotal);
  Max = std::max(Max, Min);
  CachedMinWidth = Min;
  CachedMaxWidth = Max;
}
