#include "htmlview/htmlbuilder.h"

#include <algorithm>
#include <map>
#include <vector>

#include "htmlview/htmlforms.h"
#include "htmlview/htmlobjects.h"
#include "htmlview/htmlpre.h"
#include "htmlview/htmltable.h"
#include "htmlview/readhtml.h"
#include "htmlview/stylepars.h"
#include "platform/core/classes.h"
#include "platform/core/fileutils.h"

namespace {

// ESC ( B and ESC ( J switch to single bytes, ESC $ @ and ESC $ B to pairs; the high bit of every
// byte is cleared; a pair (c1, c2) becomes its Shift-JIS lead and trail bytes.
std::string Iso2022JpToShiftJis(const std::string& S) {
  std::string R;
  R.reserve(S.size());
  bool Double = false;
  for (size_t I = 0; I < S.size(); ++I) {
    if (S[I] == '\x1b' && I + 2 < S.size()) {
      const char A = S[I + 1], B = S[I + 2];
      if (A == '(' && (B == 'B' || B == 'J')) {
        Double = false;
        I += 2;
        continue;
      }
      if (A == '$' && (B == '@' || B == 'B')) {
        Double = true;
        I += 2;
        continue;
      }
    }
    const int C1 = static_cast<unsigned char>(S[I]) & 0x7F;
    if (!Double || C1 < 33 || I + 1 >= S.size()) {
      R += static_cast<char>(C1);
      continue;
    }
    const int C2 = static_cast<unsigned char>(S[++I]) & 0x7F;
    const int Lead = C1 <= 96 ? (C1 + 1) / 2 + 112 : (C1 + 1) / 2 + 176;
    const int Trail = (C1 % 2 == 1) ? C2 + 31 + (C2 > 95 ? 1 : 0) : C2 + 126;
    R += static_cast<char>(Lead);
    R += static_cast<char>(Trail);
  }
  return R;
}

uint8_t AlignmentOf(const std::string& TextAlign) {
  const std::string A = LowerCase(TextAlign);
  if (A == "center") return 2;
  if (A == "right") return 3;
  if (A == "justify") return 4;
  return 1;
}

// The raw text of a SCRIPT element up to "</script>" (compared without case), line ends as CR LF;
// the tokenizer goes on after the end tag.
std::string ReadScriptText(THtmlTokenizer& Tok) {
  const bool Comments = Tok.CommentsEnabled;
  Tok.CommentsEnabled = false;
  std::string Text;
  static const std::string End = "</script";
  while (Tok.Ch != EofChar) {
    if (Tok.Ch == '\r')
      Text += "\r\n";
    else
      Text += Tok.Ch;
    Tok.ReadChar();
    if (Text.size() >= End.size() && LowerCase(Text.substr(Text.size() - End.size())) == End) {
      Text.resize(Text.size() - End.size());
      while (Tok.Ch != '>' && Tok.Ch != EofChar) Tok.ReadChar();
      break;
    }
  }
  Tok.CommentsEnabled = Comments;
  if (Tok.Ch == '>') Tok.GetCh();
  return Text;
}

class TBuilder {
 public:
  TBuilder(TSectionList* AList, const TMyFont& ABase, const TParseHandlers& AHandlers)
      : List(AList), Handlers(AHandlers) {
    TStyleList& Styles = List->Styles;
    if (!Styles.DefProp) {
      const double Points = ABase.Size() > 0 ? ABase.Size() : 12;
      Styles.Initialize(ABase.Name(), "Courier New", 10, 5, 1, true, 0x0000FF, 0x800080, 0xFF0000,
                        ColorToRGB(ABase.Color()) & 0xFFFFFF, Points);
    }
    auto* Base = new TProperties();
    Base->Copy(*Styles.DefProp);
    // The base font itself: its name, size and style stay what the caller gave.
    Base->Props[FontFamily] = ABase.Name();
    Base->Props[FontSize] = static_cast<double>(ABase.Size() > 0 ? ABase.Size() : 12);
    if (ABase.Style() & fsBold) Base->Props[FontWeight] = std::string("bold");
    if (ABase.Style() & fsItalic) Base->Props[FontStyle] = std::string("italic");
    Props.Add(Base);
    Tok.IDNameList = &List->IDNameList;
    Tok.OnInclude = Handlers.OnInclude;
  }

  // Plain text: every line a preformatted line, nothing recognised.
  void RunPlain(const std::string& Source) {
    PushProps("pre");
    InPre = true;
    TokenObj T;
    for (size_t I = 0; I <= Source.size(); ++I) {
      const char C = I < Source.size() ? Source[I] : '\n';
      if (C == '\n' || C == '\r') {
        if (C == '\r' && I + 1 < Source.size() && Source[I + 1] == '\n') ++I;
        Section()->AddToken(T);
        T.Clear();
        EndSection();
        continue;
      }
      T.AppendChar(C == '\t' ? ' ' : C, static_cast<int>(I));
      // Long lines go in pieces, so the buffer stays small.
      if (T.Length() >= 200) {
        Section()->AddToken(T);
        T.Clear();
      }
    }
    EndSection();
  }

  TBuilder(const TBuilder&) = delete;
  TBuilder& operator=(const TBuilder&) = delete;
  // A parse that ends with an error leaves the section it was filling.
  ~TBuilder() { delete Current; }

  void Run(const std::string& Source) {
    if (Source.find("\x1b$@") != std::string::npos || Source.find("\x1b$B") != std::string::npos) {
      // ISO-2022-JP text is shown as Shift-JIS.
      Tok.Start(Iso2022JpToShiftJis(Source));
      Top().AssignCharSet(128);
      FFont.reset();
    } else {
      // Pages in UTF-8, ISO-8859-2 and other declared sets are read as the program's own text.
      Tok.Start(DocumentInCp1250(Source));
    }
    Tok.GetToken();
    while (Tok.Sy != EofSy) {
      Symbol();
      Tok.GetToken();
    }
    EndSection();
    if (PendingMap) PendingMap.reset();
  }

 private:
  struct Open {
    Symb Sym;
    TCellBasic* Cell;
    int PropDepth;
    int ListCount;
  };
  TSectionList* List;
  const TParseHandlers& Handlers;
  THtmlTokenizer Tok;
  TPropStack Props;
  std::map<std::string, int> SkippedProps;  // pushes refused at the depth limit, by tag
  std::map<int, int> SkippedBlocks;         // blocks refused at the depth limit, by symbol
  std::unique_ptr<TMyFont> FFont;           // the font of the top properties, made on demand
  std::vector<Open> Stack;                  // open block elements
  TSection* Current = nullptr;
  int ListLevel = 0;
  bool InPre = false;
  bool InTitle = false;
  bool NoBreak = false;
  bool InLink = false;
  std::string LinkUrl, LinkTarget;
  int LinkID = 0;
  int BaseFontSize = 3;
  std::unique_ptr<TMapItem> PendingMap;
  struct TableState {
    ThtmlTable* Table;
    size_t Depth;                  // size of Stack when the table opened
    int PropDepth;
    std::vector<int> SpanLeft;     // per column: rows still covered by a cell above
    std::unique_ptr<TFreeList<TCellObj>> Dropped;  // cells past the last column: read, then freed
    bool NoBreak = false;                          // the no-break state outside the table
  };
  std::vector<TableState> Tables;
  int SkippedTables = 0;

  // ---- properties ----

  TProperties& Top() { return *Props.Last(); }
  void PushProps(const std::string& Tag, const std::string& Pseudo = "") {
    if (Props.Count() >= MaxPropertyDepth) {
      ++SkippedProps[Tag];
      return;
    }
    auto* P = new TProperties();
    P->Inherit(Top());
    Props.Add(P);
    TProperties* StyleAttr = Tok.Attributes.StyleProperties();
    P->Combine(List->Styles, Tag, Tok.Attributes.ClassValue(), Tok.Attributes.IdValue(), Pseudo, StyleAttr, Props,
               Props.Count() - 1);
    FFont.reset();
  }
  // Removes the topmost entry of Tag above Floor; the entries above it follow their new parent.
  void PopProps(const std::string& Tag, int Floor) {
    auto Skipped = SkippedProps.find(Tag);
    if (Skipped != SkippedProps.end() && Skipped->second > 0) {
      --Skipped->second;
      return;
    }
    for (int I = Props.Count() - 1; I >= std::max(1, Floor); --I)
      if (Props[I]->PropTag == Tag) {
        Props.Delete(I);
        for (int J = I; J < Props.Count(); ++J) Props[J]->Update(*Props[J - 1], List->Styles, Props, J);
        FFont.reset();
        return;
      }
  }
  void PopTo(int Depth) {
    if (Props.Count() > Depth && Depth >= 1) {
      while (Props.Count() > Depth) Props.Delete(Props.Count() - 1);
      FFont.reset();
    }
  }
  int BlockFloor() const { return Stack.empty() ? 1 : Stack.back().PropDepth; }
  const TMyFont& Font() {
    if (!FFont) FFont.reset(Top().GetFont());
    return *FFont;
  }
  void AlignAttribute() {
    TAttribute* A = nullptr;
    if (!Tok.Attributes.Find(AlignSy, A)) return;
    std::string V = LowerCase(Trim(A->Text));
    if (V == "middle") V = "center";
    if (V == "left" || V == "center" || V == "right" || V == "justify") Top().AssignProp(V, TextAlign);
  }
  std::string AttrText(Symb Sy) {
    TAttribute* A = nullptr;
    return Tok.Attributes.Find(Sy, A) ? A->Text : std::string();
  }
  bool HasAttr(Symb Sy) {
    TAttribute* A = nullptr;
    return Tok.Attributes.Find(Sy, A);
  }
  // WIDTH as pixels, or as tenths of a percent (1..100 %).
  void WidthAttribute(int& Width, bool& Percent) {
    TAttribute* A = nullptr;
    if (!Tok.Attributes.Find(WidthSy, A)) return;
    if (A->Text.find('%') != std::string::npos) {
      if (A->Value >= 1 && A->Value <= 100) {
        Width = A->Value * 10;
        Percent = true;
      }
    } else if (A->Value > 0) {
      Width = std::min(A->Value, 32000);
      Percent = false;
    }
  }
  int32_t ColourAttribute(Symb Sy, int32_t Default) {
    TAttribute* A = nullptr;
    int32_t C;
    if (Tok.Attributes.Find(Sy, A) && ColorFromString(A->Text, false, C)) return C;
    return Default;
  }
  int AttrValue(Symb Sy, int Default) {
    TAttribute* A = nullptr;
    return Tok.Attributes.Find(Sy, A) ? A->Value : Default;
  }

  // ---- sections ----

  TCellBasic* Cell() { return Stack.empty() ? static_cast<TCellBasic*>(List) : Stack.back().Cell; }

  TSection* Section() {
    if (!Current) {
      TProperties& P = Top();
      const uint8_t Align = AlignmentOf(PropString(P.Props[TextAlign]));
      const int LineHeight = P.GetLineHeight(0);
      if (InPre)
        Current = new TPreFormated(List, Font(), Align, 0, LineHeight);
      else
        Current = new TSection(List, Font(), Align, 0, LineHeight);
      Current->NoBreak = NoBreak;
      if (InLink) Current->StartLinkRun(Font(), LinkUrl, LinkTarget, LinkID, Top().LinkFonts());
    }
    return Current;
  }
  std::vector<std::string> PendingAnchors;
  void EndSection() {
    if (!Current) return;
    Current->CompleteForCell();
    if (!PendingAnchors.empty() && !Current->EmptyForCell()) {
      for (const std::string& Name : PendingAnchors) List->IDNameList.AddObject(Name, Current);
      Current->HasAnchor = true;
      PendingAnchors.clear();
    }
    Cell()->Add(Current);
    Current = nullptr;
  }
  void FontChanged() {
    FFont.reset();
    if (!Current) return;
    if (InLink)
      Current->StartLinkRun(Font(), LinkUrl, LinkTarget, LinkID, Top().LinkFonts());
    else
      Current->StartLinkRun(Font(), "", "", 0, nullptr);
    // The innermost SUB or SUP decides the vertical shift of the run.
    int Shift = 0;
    for (int I = Props.Count() - 1; I >= 1 && Shift == 0; --I)
      Shift = Props[I]->PropTag == "sub" ? 1 : Props[I]->PropTag == "sup" ? 2 : 0;
    Current->Fonts.Last()->SScript = Shift;
  }

  // ---- blocks ----

  bool BlockRefused(Symb Sym) {
    if (static_cast<int>(Stack.size()) < MaxBlockDepth) return false;
    ++SkippedBlocks[Sym];
    return true;
  }
  void OpenBlock(Symb Sym, TBlock* B, int PropDepth) {
    EndSection();
    Cell()->Add(B);
    Stack.push_back({Sym, &B->Content, PropDepth, 0});
  }
  // Opens a block styled by the cascade for Tag.
  TBlock* StyledBlock(Symb Sym, const std::string& Tag, bool Align = true) {
    EndSection();
    const int Depth = Props.Count();
    PushProps(Tag);
    if (Align) AlignAttribute();
    auto* B = new TBlock(List, Top(), Cell(), Tag);
    OpenBlock(Sym, B, Depth);
    return B;
  }
  // Closes the innermost open block of symbol Sym (with everything opened inside it).
  void CloseBlock(Symb Sym) {
    auto Skipped = SkippedBlocks.find(Sym);
    if (Skipped != SkippedBlocks.end() && Skipped->second > 0) {
      --Skipped->second;
      return;
    }
    const size_t Floor = Tables.empty() ? 0 : Tables.back().Depth;
    for (size_t I = Stack.size(); I-- > Floor;)
      if (Stack[I].Sym == Sym) {
        EndSection();
        PopTo(Stack[I].PropDepth);
        while (Stack.size() > I) PopStack();
        return;
      }
  }
  // Leaves the innermost open element; its cell is complete.
  void PopStack() {
    if (Stack.back().Sym == OLSy || Stack.back().Sym == ULSy) --ListLevel;
    DropLastBottomMargin(*Stack.back().Cell);
    Stack.pop_back();
  }
  void CloseParagraph() {
    if (!Stack.empty() && Stack.back().Sym == PSy) CloseBlock(PSy);
  }

  // ---- tables ----

  // Closes open elements down to the table's own level.
  void CloseToTable() {
    EndSection();
    const TableState& T = Tables.back();
    NoBreak = T.NoBreak;
    while (Stack.size() > T.Depth) PopStack();
    PopTo(T.PropDepth);
  }
  std::vector<int32_t> RowColour;  // BGCOLOR of the open row of each open table
  std::vector<uint8_t> RowVAlign;  // VALIGN of the open row of each open table
  uint8_t VAlignAttribute(uint8_t Default) {
    const std::string V = LowerCase(Trim(AttrText(VAlignSy)));
    if (V == "top" || V == "baseline") return 1;
    if (V == "middle") return 2;
    if (V == "bottom") return 3;
    return Default;
  }
  void StartRow() {
    TableState& T = Tables.back();
    if (RowColour.size() < Tables.size()) RowColour.resize(Tables.size(), Transparent);
    RowColour[Tables.size() - 1] = Tok.Sy == TRSy ? ColourAttribute(BGColorSy, Transparent) : Transparent;
    if (RowVAlign.size() < Tables.size()) RowVAlign.resize(Tables.size(), 2);
    RowVAlign[Tables.size() - 1] = Tok.Sy == TRSy ? VAlignAttribute(2) : 2;
    T.Table->Rows.Add(new TCellList());
    for (int& S : T.SpanLeft)
      if (S > 0) --S;
  }
  int RowColumns(TCellList* Row) {
    int Col = 0;
    for (int I = 0; I < Row->Count(); ++I) Col += Row->Items(I) ? Row->Items(I)->ColSpan : 1;
    return Col;
  }
  // Spanned places of the current row are filled with empty entries up to the next free column.
  void SkipSpannedColumns() {
    TableState& T = Tables.back();
    TCellList* Row = T.Table->Rows.Last();
    int Col = RowColumns(Row);
    while (Col < static_cast<int>(T.SpanLeft.size()) && T.SpanLeft[Col] > 0) {
      Row->Add(nullptr);
      ++Col;
    }
  }
  void StartCell(bool Header) {
    CloseToTable();
    TableState& T = Tables.back();
    if (T.Table->Rows.Count() == 0) StartRow();
    SkipSpannedColumns();
    TCellList* Row = T.Table->Rows.Last();
    const int Col = RowColumns(Row);
    // A span never reaches past the column limit, so a huge COLSPAN costs nothing.
    const int ColSpan = std::clamp(AttrValue(ColSpanSy, 1), 1, std::max(1, MaxTableColumns - Col));
    const int RowSpan = std::clamp(AttrValue(RowSpanSy, 1), 1, 10000);
    auto* C = new TCellObj(List, ColSpan, RowSpan);
    C->Cell.OwnerTag = Header ? "th" : "td";
    WidthAttribute(C->WantedWidth, C->WantedWidthPercent);
    C->WantedHeight = std::clamp(AttrValue(HeightSy, 0), 0, 10000);
    C->VertAlign = VAlignAttribute(RowVAlign.size() >= Tables.size() ? RowVAlign[Tables.size() - 1] : 2);
    C->BgColor = ColourAttribute(
        BGColorSy, RowColour.size() >= Tables.size() ? RowColour[Tables.size() - 1] : static_cast<int32_t>(Transparent));
    if (Col >= MaxTableColumns) {
      if (!T.Dropped) T.Dropped = std::make_unique<TFreeList<TCellObj>>();
      T.Dropped->Add(C);
    } else {
      Row->Add(C);
      if (static_cast<int>(T.SpanLeft.size()) < Col + ColSpan) T.SpanLeft.resize(static_cast<size_t>(Col + ColSpan), 0);
      for (int K = Col; K < Col + ColSpan; ++K) T.SpanLeft[K] = std::max(T.SpanLeft[K], RowSpan);
    }
    const int Depth = Props.Count();
    PushProps(Header ? "th" : "td");
    if (PropString(Top().Props[TextAlign]) == "none") Top().Props[TextAlign] = std::string(Header ? "center" : "left");
    // NOWRAP keeps the cell's lines whole, unless the cell has a width in pixels.
    if (HasAttr(NoWrapSy) && !(C->WantedWidth > 0 && !C->WantedWidthPercent)) NoBreak = true;
    AlignAttribute();
    Stack.push_back({Header ? THSy : TDSy, &C->Cell, Depth, 0});
  }

  // ---- lists ----

  void ListItem(const std::string& Tag) {
    const bool SameItem = !Stack.empty() && (Stack.back().Sym == LISy);
    if (SameItem) CloseBlock(LISy);
    CloseParagraph();
    if (!Stack.empty() && Stack.back().Sym == LISy) CloseBlock(LISy);
    if (BlockRefused(LISy)) return;
    const bool InList =
        !Stack.empty() && (Stack.back().Sym == OLSy || Stack.back().Sym == ULSy || Stack.back().Sym == DLSy);
    const Symb ListSym = InList ? Stack.back().Sym : (Tag == "li" ? ULSy : DLSy);
    const int Number = InList ? ++Stack.back().ListCount : 1;
    const std::string TypeText = AttrText(TypeSy);
    EndSection();
    const int Depth = Props.Count();
    PushProps(Tag);
    TMarginArray VM;
    Top().GetMarginArray(VM);
    const std::string ListTag = ListSym == OLSy ? "ol" : ListSym == DLSy ? "dl" : "ul";
    auto* Li = new TBlockLI(List, BoxFromStyle(VM, 400, Top().EmSize, Top().ExSize), Cell(), ListTag, TypeText,
                            Number, std::max(ListLevel, 1), InList && PlainList.count(Stack.size()) > 0);
    Li->MarkerColor = Font().Color() & 0xFFFFFF;
    // list-style-type from the style replaces what TYPE and the nesting gave.
    switch (Top().GetListStyleType()) {
      case lbCircle: Li->Marker = TListMarker::Circle; break;
      case lbDecimal: Li->Marker = TListMarker::Decimal; break;
      case lbDisc: Li->Marker = TListMarker::Disc; break;
      case lbLowerAlpha: Li->Marker = TListMarker::LowerAlpha; break;
      case lbLowerRoman: Li->Marker = TListMarker::LowerRoman; break;
      case lbNone: Li->Marker = TListMarker::None; break;
      case lbSquare: Li->Marker = TListMarker::Square; break;
      case lbUpperAlpha: Li->Marker = TListMarker::UpperAlpha; break;
      case lbUpperRoman: Li->Marker = TListMarker::UpperRoman; break;
      default: break;
    }
    OpenBlock(LISy, Li, Depth);
  }
  std::map<size_t, bool> PlainList;  // open lists (by stack size at their level) shown without markers

  void OpenList(Symb Sym, const std::string& Tag) {
    CloseParagraph();
    if (BlockRefused(Sym)) return;
    TBlock* B = StyledBlock(Sym, Tag, false);
    if (Sym != DLSy) B->ListIndent = true;
    if (Sym == OLSy) Stack.back().ListCount = std::max(0, AttrValue(StartSy, 1)) - 1;
    if (Sym == ULSy && HasAttr(PlainSy)) PlainList[Stack.size()] = true;
    if (Sym == OLSy || Sym == ULSy) ++ListLevel;
  }
  void CloseList(Symb Sym) {
    PlainList.erase(Stack.size());
    CloseBlock(Sym);
  }

  // ---- inline ----

  void InlineTag(const std::string& Tag) {
    PushProps(Tag);
    FontChanged();
  }
  void InlineEnd(const std::string& Tag) {
    PopProps(Tag, BlockFloor());
    FontChanged();
  }
  void FontTag(bool Base) {
    PushProps("font");
    TAttribute* A = nullptr;
    if (Tok.Attributes.Find(SizeSy, A)) {
      const std::string T = Trim(A->Text);
      int N = AttrValue(SizeSy, 3);
      if (!T.empty() && (T[0] == '+' || T[0] == '-')) N = BaseFontSize + N;
      N = std::clamp(N, 1, 7);
      if (Base) BaseFontSize = N;
      static const int Text[7] = {8, 10, 12, 14, 18, 24, 36};
      static const int Pre[7] = {7, 8, 10, 12, 15, 20, 30};
      const double Def = List->Styles.DefPointSize;
      Top().AssignProp(Def * (InPre ? Pre : Text)[N - 1] / 12.0, FontSize);
    }
    if (Tok.Attributes.Find(ColorSy, A)) {
      int32_t C;
      if (ColorFromString(A->Text, false, C)) Top().AssignProp(static_cast<int>(C | PaletteRelative), Color);
    }
    if (!Base && Tok.Attributes.Find(FaceSy, A)) {
      const std::string F = FirstAvailableFont(A->Text);
      if (!F.empty()) Top().AssignProp(F, FontFamily);
    }
    FFont.reset();
    FontChanged();
  }
  void Anchor() {
    TAttribute* A = nullptr;
    const bool Href = Tok.Attributes.Find(HrefSy, A);
    if (Href) {
      if (InLink) EndLink();
      LinkUrl = A->Text;
      LinkTarget = AttrText(TargetSy);
      LinkID = ++LinkIDs;
      InLink = true;
    }
    PushProps("a", Href ? "link" : "");
    if (Tok.Attributes.Find(NameSy, A)) {
      std::string Name = UpperCase(Trim(A->Text));
      if (!Name.empty() && Name[0] == '#') Name.erase(0, 1);
      // The anchor names the section that holds the next character (entered when the section is
      // kept; an empty one passes its anchors on to the next).
      if (!Name.empty()) PendingAnchors.push_back(Name);
    }
    FontChanged();
  }
  int LinkIDs = 0;
  void EndLink() {
    InLink = false;
    LinkUrl.clear();
    LinkTarget.clear();
    PopProps("a", BlockFloor());
    FontChanged();
  }

  void Image() {
    TSection* S = Section();
    PushProps("img");
    auto* Img = new TImageObj(List, S->Len(), Tok.Attributes);
    Img->ApplyStyle(Top());
    S->AppendImage(Img, Tok.ChPos);
    PopProps("img", BlockFloor());
  }

  void FormControl(Symb Sy) {
    TSection* S = Section();
    const std::string Tag = Sy == InputSy ? "input" : Sy == SelectSy ? "select" : "textarea";
    PushProps(Tag);
    TFormControlObj* C = CreateFormControl(List, Sy, S->Len(), Tok.Attributes, Top());
    if (C) {
      if (auto* Image = dynamic_cast<TImageFormControlObj*>(C)) {
        S->AppendImage(Image->MyImage, Tok.ChPos);
      } else if (!dynamic_cast<THiddenFormControlObj*>(C)) {
        S->AppendFormControl(C, Tok.ChPos);
      }
    }
    if (Sy == SelectSy) ReadSelect(dynamic_cast<TSelectFormControlObj*>(C));
    if (Sy == TextAreaSy) ReadTextArea(dynamic_cast<TTextAreaFormControlObj*>(C));
    if (C) C->ResetToValue();
    PopProps(Tag, BlockFloor());
  }
  void ReadSelect(TSelectFormControlObj* Sel) {
    bool InOpt = false;
    std::string Text, Value;
    bool Selected = false, HasValue = false;
    auto Finish = [&] {
      if (InOpt && Sel) Sel->AddOption(Trim(Text), HasValue ? Value : Trim(Text), Selected);
      InOpt = false;
    };
    for (;;) {
      Tok.GetToken();
      if (Tok.Sy == OptionSy) {
        Finish();
        InOpt = true;
        Text.clear();
        TAttribute* A = nullptr;
        HasValue = Tok.Attributes.Find(ValueSy, A);
        Value = HasValue ? A->Text : "";
        Selected = Tok.Attributes.Find(SelectedSy, A);
      } else if (Tok.Sy == TextSy) {
        if (InOpt) Text += Tok.Buff.AsString();
      } else if (Tok.Sy == OptionEndSy) {
        Finish();
      } else if (Tok.Sy == SelectEndSy) {
        Finish();
        return;
      } else if (Tok.Sy == EofSy || Tok.Sy == PSy || Tok.Sy == InputSy || Tok.Sy == TableSy ||
                 Tok.Sy == TableEndSy || Tok.Sy == TDSy || Tok.Sy == TRSy || Tok.Sy == TDEndSy) {
        Finish();
        // The structural symbol is handled as if it came after the list.
        Symbol();
        return;
      }
    }
  }
  void ReadTextArea(TTextAreaFormControlObj* Area) {
    std::string Line;
    for (;;) {
      Tok.GetTextAreaToken();
      if (Tok.Sy == TextAreaEndTagSy || Tok.Sy == EofSy) break;
      if (Tok.Sy == EolSy) {
        if (Area) Area->AddText(Line + "\r\n");
        Line.clear();
      } else {
        Line += Tok.Buff.AsString();
      }
    }
    if (Area && !Line.empty()) Area->AddText(Line);
  }

  void Map() {
    PendingMap = std::make_unique<TMapItem>();
    PendingMap->Name = UpperCase(AttrText(NameSy));
  }

  void StyleSheet() {
    char Ch = Tok.Ch;
    ReadStyleSheet(
        List->Styles, Ch, [this]() { Tok.ReadChar(); return Tok.Ch; }, "", [this]() { return Tok.PeekChar(); });
    // The tokenizer goes on at the "<" of the end tag.
  }

  // SCRIPT: the raw text, handed to the viewer.
  void Script() {
    const std::string Name = AttrText(NameSy), Language = AttrText(LanguageSy);
    const std::string Text = ReadScriptText(Tok);
    if (Handlers.OnScript) Handlers.OnScript(Name, Language, Text);
  }

  void Meta() {
    const std::string HttpEq = AttrText(HttpEqSy), Name = AttrText(NameSy), Content = AttrText(ContentSy);
    uint8_t CharSet = 0;
    if (SameText(HttpEq, "content-type") && CharsetFromText(LowerCase(Content), CharSet)) {
      Top().AssignCharSet(CharSet);
      FFont.reset();
    }
    if (Handlers.OnMeta) Handlers.OnMeta(HttpEq, Name, Content);
  }

  void LinkedStyleSheet() {
    const std::string Rel = LowerCase(Trim(HasAttr(RelSy) ? AttrText(RelSy) : AttrText(RevSy)));
    const std::string Href = AttrText(HrefSy);
    if (Rel != "stylesheet" || Href.empty() || !Handlers.OnStyleSheet) return;
    std::string Sheet, Base;
    if (!Handlers.OnStyleSheet(Href, Sheet, Base) || Sheet.empty()) return;
    size_t I = 0;
    auto Next = [&]() -> char {
      // A line end (CR, LF or the pair) and a tab read as one blank: a value or selector that goes
      // on in the next line keeps its words apart.
      if (I >= Sheet.size()) return EofChar;
      const char C = Sheet[I++];
      if (C == '\r' && I < Sheet.size() && Sheet[I] == '\n') ++I;
      return C == '\t' || C == '\r' || C == '\n' ? ' ' : C;
    };
    char Ch = Next();
    // A sheet that stops at a stray "<" goes on after it.
    while (Ch != EofChar) {
      ReadStyleSheet(List->Styles, Ch, Next, Base);
      if (Ch != EofChar) Ch = Next();
    }
  }

  void Body() {
    PushProps("body");
    TAttribute* A = nullptr;
    if (Tok.Attributes.Find(MarginWidthSy, A)) List->MarginWidth = std::clamp(A->Value, 0, 200);
    if (Tok.Attributes.Find(MarginHeightSy, A)) List->MarginHeight = std::clamp(A->Value, 0, 200);
    int32_t C;
    if (Tok.Attributes.Find(TextSy, A) && ColorFromString(A->Text, false, C))
      Top().AssignProp(static_cast<int>(C | PaletteRelative), Color);
    if (Tok.Attributes.Find(BGColorSy, A) && ColorFromString(A->Text, false, C)) List->SetBackgroundColour(C & 0xFFFFFF);
    const int32_t StyleBg = Top().GetBackgroundColor();
    if (StyleBg != Transparent) List->SetBackgroundColour(StyleBg & 0xFFFFFF);
    if (Tok.Attributes.Find(BackgroundSy, A)) List->SetBackgroundName(A->Text);
    FFont.reset();
    FontChanged();
  }

  void Symbol() {
    if (InTitle) {
      if (Tok.Sy == TextSy) {
        List->Title += Tok.Buff.AsString();
        return;
      }
      InTitle = false;
      if (Tok.Sy == TitleEndSy) return;
    }
    if (PendingMap) {
      if (Tok.Sy == AreaSy) {
        PendingMap->AddArea(Tok.Attributes);
        return;
      }
      if (Tok.Sy == MapEndSy) {
        List->MapList.Add(PendingMap.release());
        return;
      }
      if (Tok.Sy == TextSy) return;
      if (++MapStray < 3) return;
      PendingMap.reset();  // a map without its end is dropped
    }
    switch (Tok.Sy) {
      case TextSy:
        if (InPre) {
          // Line ends inside PRE become forced breaks.
          TokenObj T;
          for (int I = 0; I < Tok.Buff.Length(); ++I)
            T.AppendChar(Tok.Buff.Chars(I) == '\r' ? BrkMark : Tok.Buff.Chars(I), Tok.Buff.Positions(I));
          Section()->AddToken(T);
        } else {
          Section()->AddToken(Tok.Buff);
        }
        break;
      case EolSy:
        if (InPre) Section()->AddMarker(BrkMark, Tok.ChPos);
        break;
      case TitleSy: InTitle = true; break;
      case ScriptSy: Script(); break;
      case MetaSy: Meta(); break;
      case LinkSy: LinkedStyleSheet(); break;
      case BgSoundSy:
        if (Handlers.OnSoundRequest && HasAttr(SrcSy)) Handlers.OnSoundRequest(AttrText(SrcSy), AttrValue(LoopSy, 1));
        break;
      case StyleSy: StyleSheet(); break;
      case BodySy: Body(); break;
      case BaseSy:
        if (HasAttr(HrefSy)) List->BaseURL = AttrText(HrefSy);
        if (HasAttr(TargetSy)) List->BaseTarget = AttrText(TargetSy);
        break;
      case MapSy:
        MapStray = 0;
        Map();
        break;
      case PreSy: {
        CloseParagraph();
        EndSection();
        if (BlockRefused(PreSy)) break;
        StyledBlock(PreSy, "pre", false);
        InPre = true;
        Tok.KeepWhiteSpace = true;
        Section();
        break;
      }
      case PreEndSy:
        if (InPre) {
          InPre = false;
          Tok.KeepWhiteSpace = false;
          CloseBlock(PreSy);
        }
        break;
      case BRSy:
        if (HasAttr(ClearSy)) {
          // The next text starts below the floats on that side.
          EndSection();
          const std::string C = LowerCase(AttrText(ClearSy));
          Section()->ClearMode = C == "left" ? 1 : C == "right" ? 2 : 3;
        } else {
          Section()->AddMarker(BrkMark, Tok.ChPos);
        }
        break;
      case BSy: InlineTag("b"); break;
      case StrongSy: InlineTag("strong"); break;
      case ISy: InlineTag("i"); break;
      case EmSy: InlineTag("em"); break;
      case CiteSy: InlineTag("cite"); break;
      case VarSy: InlineTag("var"); break;
      case USy: InlineTag("u"); break;
      case SSy: InlineTag("s"); break;
      case StrikeSy: InlineTag("strike"); break;
      case TTSy: InlineTag("tt"); break;
      case CodeSy: InlineTag("code"); break;
      case KbdSy: InlineTag("kbd"); break;
      case SampSy: InlineTag("samp"); break;
      case SpanSy: InlineTag("span"); break;
      case BigSy: InlineTag("big"); break;
      case SmallSy: InlineTag("small"); break;
      case SubSy: InlineTag("sub"); break;
      case SupSy: InlineTag("sup"); break;
      case BEndSy: InlineEnd("b"); break;
      case StrongEndSy: InlineEnd("strong"); break;
      case IEndSy: InlineEnd("i"); break;
      case EmEndSy: InlineEnd("em"); break;
      case CiteEndSy: InlineEnd("cite"); break;
      case VarEndSy: InlineEnd("var"); break;
      case UEndSy: InlineEnd("u"); break;
      case SEndSy: InlineEnd("s"); break;
      case StrikeEndSy: InlineEnd("strike"); break;
      case TTEndSy: InlineEnd("tt"); break;
      case CodeEndSy: InlineEnd("code"); break;
      case KbdEndSy: InlineEnd("kbd"); break;
      case SampEndSy: InlineEnd("samp"); break;
      case SpanEndSy: InlineEnd("span"); break;
      case BigEndSy: InlineEnd("big"); break;
      case SmallEndSy: InlineEnd("small"); break;
      case SubEndSy: InlineEnd("sub"); break;
      case SupEndSy: InlineEnd("sup"); break;
      case FontSy: FontTag(false); break;
      case BaseFontSy: FontTag(true); break;
      case FontEndSy: InlineEnd("font"); break;
      case ASy: Anchor(); break;
      case AEndSy:
        if (InLink)
          EndLink();
        else
          InlineEnd("a");
        break;
      case NoBrSy:
      case NoBrEndSy:
        NoBreak = Tok.Sy == NoBrSy;
        if (Current) Current->NoBreak = NoBreak;
        break;
      case ImageSy: Image(); break;
      case PanelSy: {
        TSection* S = Section();
        PushProps("panel");
        S->AppendImage(new TPanelObj(List, S->Len(), Tok.Attributes), Tok.ChPos);
        PopProps("panel", BlockFloor());
        break;
      }
      case InputSy:
      case SelectSy:
      case TextAreaSy: FormControl(Tok.Sy); break;
      case FormSy:
        CloseParagraph();
        List->CurrentForm = new ThtmlForm(List, Tok.Attributes);
        if (!BlockRefused(FormSy)) StyledBlock(FormSy, "form");
        break;
      case FormEndSy:
        CloseBlock(FormSy);
        List->CurrentForm = nullptr;
        break;
      case PSy:
        CloseParagraph();
        if (!BlockRefused(PSy)) StyledBlock(PSy, "p");
        break;
      case PEndSy: CloseParagraph(); break;
      case HeadingSy: {
        CloseParagraph();
        if (BlockRefused(HeadingSy)) break;
        const int Level = std::clamp(Tok.HeadingLevel, 1, 6);
        StyledBlock(HeadingSy, "h" + std::to_string(Level));
        break;
      }
      case HeadingEndSy: CloseBlock(HeadingSy); break;
      case DivSy: case CenterSy: case BlockQuoteSy: case AddressSy: {
        CloseParagraph();
        if (BlockRefused(Tok.Sy)) break;
        StyledBlock(Tok.Sy, LowerCase(TagName(Tok.Sy)), Tok.Sy == DivSy);
        break;
      }
      case DivEndSy: CloseBlock(DivSy); break;
      case CenterEndSy: CloseBlock(CenterSy); break;
      case BlockQuoteEndSy: CloseBlock(BlockQuoteSy); break;
      case AddressEndSy: CloseBlock(AddressSy); break;
      case ULSy: case DirSy: case MenuSy: OpenList(ULSy, LowerCase(TagName(Tok.Sy))); break;
      case OLSy: OpenList(OLSy, "ol"); break;
      case DLSy: OpenList(DLSy, "dl"); break;
      case ULEndSy: case DirEndSy: case MenuEndSy: CloseList(ULSy); break;
      case OLEndSy: CloseList(OLSy); break;
      case DLEndSy: CloseList(DLSy); break;
      case LISy: ListItem("li"); break;
      case DDSy: ListItem("dd"); break;
      case DTSy: ListItem("dt"); break;
      case HRSy: {
        CloseParagraph();
        EndSection();
        if (BlockRefused(HRSy)) break;
        const int Depth = Props.Count();
        PushProps("hr");
        auto* Blk = new TBlock(List, Top(), Cell(), "hr");
        TAttribute* A = nullptr;
        const int Size = Tok.Attributes.Find(SizeSy, A) ? A->Value : 0;
        const std::string Align = Tok.Attributes.Find(AlignSy, A) ? A->Text : "";
        const bool NoShade = Tok.Attributes.Find(NoShadeSy, A);
        int32_t Colour = THorzLine::NoColor;
        if (Tok.Attributes.Find(ColorSy, A)) {
          int32_t C;
          if (ColorFromString(A->Text, false, C)) Colour = C;
        }
        if (Tok.Attributes.Find(WidthSy, A) && A->Value >= 1 && Blk->StyleBoxValues) {
          // A narrower rule stands left, right or (the default) centred in the room.
          TMarginArray& VM = *Blk->StyleBoxValues;
          const bool Percent = A->Text.find('%') != std::string::npos;
          if (!Percent || A->Value <= 100) {
            VM[MI(WidthProp)] = Percent ? TPropValue(std::to_string(A->Value) + "%") : TPropValue(A->Value);
            const std::string Al = LowerCase(Trim(Align));
            if (Al != "left") VM[MI(MarginLeft)] = std::string("auto");
            if (Al != "left" && Al != "right") VM[MI(MarginRight)] = std::string("auto");
          }
        }
        Blk->Content.Add(new THorzLine(List, Size, Align, NoShade, Colour));
        Cell()->Add(Blk);
        PopTo(Depth);
        break;
      }
      case PageSy:
        CloseParagraph();
        EndSection();
        Cell()->Add(new TPageBreak(List));
        break;
      case TableSy: {
        if (static_cast<int>(Tables.size()) >= MaxTableDepth) {
          ++SkippedTables;  // its cells flow into the enclosing cell
          break;
        }
        CloseParagraph();
        EndSection();
        const int Depth = Props.Count();
        PushProps("table");
        auto* T = new ThtmlTable(List, std::min(40, AttrValue(CellSpacingSy, 2)),
                                 std::min(50, AttrValue(CellPaddingSy, 1)));
        T->SetBorder(AttrValue(BorderSy, 0));
        WidthAttribute(T->WantedTableWidth, T->WantedTableWidthPercent);
        T->BgColor = ColourAttribute(BGColorSy, Top().GetBackgroundColor());
        Cell()->Add(T);
        Tables.push_back({T, Stack.size(), Props.Count(), {}, nullptr, NoBreak});
        (void)Depth;
        break;
      }
      case TRSy:
        if (!Tables.empty() && SkippedTables == 0) {
          CloseToTable();
          StartRow();
        }
        break;
      case TDSy: case THSy:
        if (!Tables.empty() && SkippedTables == 0) StartCell(Tok.Sy == THSy);
        break;
      case CaptionSy:
        if (!Tables.empty() && SkippedTables == 0) {
          CloseToTable();
          ThtmlTable* T = Tables.back().Table;
          if (!T->Caption) {
            T->Caption = std::make_unique<TCellObj>(List);
            T->Caption->Cell.OwnerTag = "caption";
            T->CaptionOnTop = LowerCase(Trim(AttrText(AlignSy))) != "bottom";
            const int Depth = Props.Count();
            PushProps("caption");
            Stack.push_back({CaptionSy, &T->Caption->Cell, Depth, 0});
          }
        }
        break;
      case CaptionEndSy:
      case TDEndSy: case THEndSy: case TREndSy:
        if (!Tables.empty() && SkippedTables == 0) CloseToTable();
        break;
      case TableEndSy:
        if (SkippedTables > 0) {
          --SkippedTables;
        } else if (!Tables.empty()) {
          CloseToTable();
          PopTo(Tables.back().PropDepth - 1);
          Tables.pop_back();
        }
        break;
      default:
        break;
    }
  }
  int MapStray = 0;
};

}  // namespace

void ParseHtmlDocument(const std::string& Source, TSectionList* List, const TMyFont& BaseFont,
                       const TParseHandlers& Handlers) {
  TBuilder Builder(List, BaseFont, Handlers);
  try {
    Builder.Run(Source);
  } catch (...) {
    List->CurrentForm = nullptr;
    throw;
  }
  List->CurrentForm = nullptr;
}

void ParsePlainText(const std::string& Source, TSectionList* List, const TMyFont& BaseFont) {
  TParseHandlers None;
  TBuilder Builder(List, BaseFont, None);
  Builder.RunPlain(Source);
}

// ---- frameset documents ----

namespace {

bool LoadFrameSource(const TFrameSource& Source, std::string& Text) {
  switch (Source.Kind) {
    case 0: {
      if (Source.FileName.empty() || !FileExists(Source.FileName)) return false;
      TFileStream S(Source.FileName, fmOpenRead | fmShareDenyWrite);
      Text.resize(static_cast<size_t>(S.Size()));
      if (!Text.empty()) Text.resize(static_cast<size_t>(S.Read(Text.data(), S.Size())));
      return true;
    }
    case 1:
      if (!Source.Buffer) return false;
      Text.assign(Source.Buffer, Source.Length);
      return true;
    case 2:
      if (!Source.Strings) return false;
      Text = Source.Strings->Text();
      return true;
    case 3: {
      if (!Source.Stream) return false;
      Source.Stream->SetPosition(0);
      const int64_t Size = Source.Stream->Size();
      Text.resize(static_cast<size_t>(std::max<int64_t>(0, Size)));
      if (!Text.empty()) Text.resize(static_cast<size_t>(Source.Stream->Read(Text.data(), Size)));
      return true;
    }
    default: return false;
  }
}

// The elements that make a document a page rather than a frameset.
bool IsContentSymbol(Symb Sy) {
  switch (Sy) {
    case BodySy: case PSy: case HeadingSy: case HRSy: case OLSy: case ULSy: case DirSy: case MenuSy: case DLSy:
    case AddressSy: case BlockQuoteSy: case PreSy: case ImageSy: case TableSy: case FormSy:
      return true;
    default:
      return false;
  }
}

void SkipTo(THtmlTokenizer& Tok, Symb End) {
  while (Tok.Sy != End && Tok.Sy != EofSy) Tok.GetToken();
}

class TFrameReader {
 public:
  TFrameReader(TFrameViewerBase* AViewer, const std::string& APath, const TParseHandlers& AHandlers)
      : Viewer(AViewer), Path(APath), Handlers(AHandlers) {}
  THtmlTokenizer Tok;
  TFrameViewerBase* Viewer;
  std::string Path;
  const TParseHandlers& Handlers;
  int Depth = 0;

  std::string Attr(Symb Sy, bool& Found) const {
    TAttribute* A = nullptr;
    Found = Tok.Attributes.Find(Sy, A);
    return Found ? A->Text : std::string();
  }
  void Script() {
    bool Found = false;
    const std::string Name = Attr(NameSy, Found), Language = Attr(LanguageSy, Found);
    const std::string Text = ReadScriptText(Tok);
    if (Handlers.OnScript) Handlers.OnScript(Name, Language, Text);
  }

  // The FRAMESET tag is the current symbol; reads up to its end tag.
  void ReadFrameset(void* Frameset) {
    Viewer->DoAttributes(Frameset, Tok.Attributes);
    Tok.GetToken();
    while (Tok.Sy != FrameSetEndSy && Tok.Sy != EofSy) {
      switch (Tok.Sy) {
        case FrameSetSy:
          if (Depth < MaxBlockDepth) {
            ++Depth;
            ReadFrameset(Viewer->CreateSubFrameset(Frameset));
            --Depth;
          }
          break;
        case FrameSy: Viewer->AddFrame(Frameset, Tok.Attributes, Path); break;
        case NoFramesSy: SkipTo(Tok, NoFramesEndSy); break;
        case ScriptSy: Script(); break;
        default: break;
      }
      if (Tok.Sy != EofSy) Tok.GetToken();
    }
    Viewer->EndFrameset(Frameset);
  }
};

}  // namespace

bool IsFramesetDocument(const TFrameSource& Source) {
  std::string Text;
  if (!LoadFrameSource(Source, Text)) return false;
  THtmlTokenizer Tok;
  Tok.Start(DocumentInCp1250(Text));
  try {
    for (Tok.GetToken(); Tok.Sy != EofSy; Tok.GetToken()) {
      if (Tok.Sy == FrameSetSy) return true;
      if (IsContentSymbol(Tok.Sy)) return false;
      if (Tok.Sy == ScriptSy) SkipTo(Tok, ScriptEndSy);
    }
  } catch (const EParseError&) {
    return false;
  }
  return false;
}

void ParseFrameDocument(TFrameViewerBase* Viewer, void* TopFrameset, const TFrameSource& Source, std::string* Title,
                        std::string* Base, std::string* BaseTarget, const TParseHandlers& Handlers) {
  std::string Text;
  if (!Viewer || !LoadFrameSource(Source, Text)) return;
  TFrameReader R(Viewer, Source.Kind == 0 ? Source.FileName : std::string(), Handlers);
  THtmlTokenizer& Tok = R.Tok;
  Tok.OnInclude = Handlers.OnInclude;
  Tok.Start(DocumentInCp1250(Text));
  Tok.GetToken();
  while (Tok.Sy != EofSy && !IsContentSymbol(Tok.Sy)) {
    bool Found = false;
    switch (Tok.Sy) {
      case TitleSy: {
        std::string T;
        for (Tok.GetToken(); Tok.Sy == TextSy; Tok.GetToken()) T += Tok.Buff.AsString();
        if (Title) *Title = T;
        continue;  // the symbol that ended the title is read as any other
      }
      case BaseSy: {
        const std::string Href = R.Attr(HrefSy, Found);
        if (Base && Found) *Base = Href;
        const std::string Target = R.Attr(TargetSy, Found);
        if (BaseTarget && Found) *BaseTarget = Target;
        break;
      }
      case MetaSy:
        if (Handlers.OnMeta) {
          const std::string HttpEq = R.Attr(HttpEqSy, Found), Name = R.Attr(NameSy, Found);
          Handlers.OnMeta(HttpEq, Name, R.Attr(ContentSy, Found));
        }
        break;
      case BgSoundSy: {
        const std::string Src = R.Attr(SrcSy, Found);
        TAttribute* Loop = nullptr;
        if (Found && Handlers.OnSoundRequest) Handlers.OnSoundRequest(Src, Tok.Attributes.Find(LoopSy, Loop) ? Loop->Value : 1);
        break;
      }
      case NoFramesSy: SkipTo(Tok, NoFramesEndSy); break;
      case ScriptSy: R.Script(); break;
      case FrameSetSy: R.ReadFrameset(TopFrameset); break;
      default: break;
    }
    if (Tok.Sy == EofSy) break;
    Tok.GetToken();
  }
}
