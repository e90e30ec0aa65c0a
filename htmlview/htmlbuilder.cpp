#include "htmlview/htmlbuilder.h"

#include <vector>

#include "htmlview/htmlpre.h"
#include "htmlview/htmltable.h"
#include "htmlview/readhtml.h"

namespace {

class TBuilder {
 public:
  TBuilder(TSectionList* AList, const TMyFont& ABase) : List(AList) {
    TMyFont* F = new TMyFont();
    F->Assign(ABase);
    FontStack.emplace_back(F);
  }

  void Run(const std::string& Source) {
    Tok.Start(Source);
    Tok.GetToken();
    while (Tok.Sy != EofSy) {
      Symbol();
      Tok.GetToken();
    }
    EndSection();
  }

 private:
  struct Open {
    Symb Sym;
    TCellBasic* Cell;
    size_t Fonts;
    int ListCount;
  };
  TSectionList* List;
  THtmlTokenizer Tok;
  std::vector<std::unique_ptr<TMyFont>> FontStack;
  std::vector<Open> Stack;  // open block elements
  TSection* Current = nullptr;
  int ListLevel = 0;
  bool InPre = false;
  struct TableState {
    ThtmlTable* Table;
    size_t Depth;                 // size of Stack when the table opened
    std::vector<int> SpanLeft;    // per column: rows still covered by a cell above
  };
  std::vector<TableState> Tables;

  int AttrValue(Symb Sy, int Default) {
    TAttribute* A = nullptr;
    return Tok.Attributes.Find(Sy, A) ? A->Value : Default;
  }
  // Closes open elements down to the table's own level.
  void CloseToTable() {
    EndSection();
    const TableState& T = Tables.back();
    while (Stack.size() > T.Depth) {
      PopFont(Stack.back().Fonts);
      if (Stack.back().Sym == OLSy || Stack.back().Sym == ULSy) --ListLevel;
      Stack.pop_back();
    }
  }
  void StartRow() {
    TableState& T = Tables.back();
    T.Table->Rows.Add(new TCellList());
    for (int& S : T.SpanLeft)
      if (S > 0) --S;
  }
  // Spanned places of the current row are filled with empty entries up to the next free column.
  void SkipSpannedColumns() {
    TableState& T = Tables.back();
    TCellList* Row = T.Table->Rows.Last();
    int Col = 0;
    for (int I = 0; I < Row->Count(); ++I) Col += Row->Items(I) ? Row->Items(I)->ColSpan : 1;
    while (Col < static_cast<int>(T.SpanLeft.size()) && T.SpanLeft[Col] > 0) {
      Row->Add(nullptr);
      ++Col;
    }
  }

  TCellBasic* Cell() { return Stack.empty() ? static_cast<TCellBasic*>(List) : Stack.back().Cell; }
  const TMyFont& Font() const { return *FontStack.back(); }

  TSection* Section() {
    if (!Current) Current = InPre ? new TPreFormated(List, Font()) : new TSection(List, Font());
    return Current;
  }
  void EndSection() {
    if (Current) Cell()->Add(Current);
    Current = nullptr;
  }
  void PushFont(TFontStyles Add, int SizeDelta = 0) {
    auto* F = new TMyFont();
    F->Assign(Font());
    F->SetStyle(F->Style() | Add);
    if (SizeDelta) F->SetSize(std::max(1, F->Size() + SizeDelta));
    FontStack.emplace_back(F);
    if (Current) Current->StartFontRun(Font());
  }
  void PopFont(size_t Depth) {
    if (FontStack.size() <= Depth || Depth == 0) return;
    FontStack.resize(Depth);
    if (Current) Current->StartFontRun(Font());
  }
  void OpenBlock(Symb Sym, TBlock* B) {
    EndSection();
    Cell()->Add(B);
    Stack.push_back({Sym, &B->Content, FontStack.size(), 0});
  }
  // Closes the innermost open block of symbol Sym (with everything opened inside it).
  void CloseBlock(Symb Sym) {
    for (size_t I = Stack.size(); I-- > 0;)
      if (Stack[I].Sym == Sym) {
        EndSection();
        PopFont(Stack[I].Fonts);
        while (Stack.size() > I) {
          if (Stack.back().Sym == OLSy || Stack.back().Sym == ULSy) --ListLevel;
          Stack.pop_back();
        }
        return;
      }
  }
  void CloseParagraph() {
    if (!Stack.empty() && Stack.back().Sym == PSy) CloseBlock(PSy);
  }
  TBoxValues ParagraphBox() {
    TBoxValues B;
    B.MarginTop = B.MarginBottom = DefaultParagraphMargin;
    return B;
  }

  void Symbol() {
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
      case PreSy: {
        CloseParagraph();
        EndSection();
        auto* F = new TMyFont();
        F->Assign(Font());
        F->SetName("Courier New");
        FontStack.emplace_back(F);
        Current = new TPreFormated(List, Font());
        InPre = true;
        Tok.KeepWhiteSpace = true;
        break;
      }
      case PreEndSy:
        if (InPre) {
          EndSection();
          InPre = false;
          Tok.KeepWhiteSpace = false;
          PopFont(FontStack.size() - 1);
        }
        break;
      case BRSy:
        Section()->AddMarker(BrkMark, Tok.ChPos);
        break;
      case BSy: case StrongSy: PushFont(fsBold); break;
      case ISy: case EmSy: case CiteSy: case VarSy: PushFont(fsItalic); break;
      case USy: PushFont(fsUnderline); break;
      case BEndSy: case StrongEndSy: case IEndSy: case EmEndSy: case CiteEndSy: case VarEndSy: case UEndSy:
        if (FontStack.size() > 1 && (Stack.empty() || FontStack.size() > Stack.back().Fonts))
          PopFont(FontStack.size() - 1);
        break;
      case PSy:
        CloseParagraph();
        OpenBlock(PSy, new TBlock(List, ParagraphBox(), Cell(), "p"));
        break;
      case PEndSy: CloseParagraph(); break;
      case HeadingSy: {
        CloseParagraph();
        static const int Delta[7] = {0, 8, 4, 2, 0, -2, -3};
        const int Level = std::min(std::max(Tok.HeadingLevel, 1), 6);
        OpenBlock(HeadingSy, new TBlock(List, ParagraphBox(), Cell(), "h" + std::to_string(Level)));
        PushFont(fsBold, Delta[Level]);
        break;
      }
      case HeadingEndSy: CloseBlock(HeadingSy); break;
      case DivSy: case CenterSy: case BlockQuoteSy: case AddressSy: {
        CloseParagraph();
        TBoxValues B;
        if (Tok.Sy == BlockQuoteSy) {
          B = ParagraphBox();
          B.MarginLeft = B.MarginRight = 40;
        }
        OpenBlock(Tok.Sy, new TBlock(List, B, Cell(), LowerCase(TagName(Tok.Sy))));
        break;
      }
      case DivEndSy: CloseBlock(DivSy); break;
      case CenterEndSy: CloseBlock(CenterSy); break;
      case BlockQuoteEndSy: CloseBlock(BlockQuoteSy); break;
      case AddressEndSy: CloseBlock(AddressSy); break;
      case ULSy: case OLSy: case DirSy: case MenuSy: {
        CloseParagraph();
        const Symb Sym = Tok.Sy == OLSy ? OLSy : ULSy;
        TBoxValues B = ListLevel == 0 ? ParagraphBox() : TBoxValues();
        auto* Blk = new TBlock(List, B, Cell(), Sym == OLSy ? "ol" : "ul");
        Blk->ListIndent = true;
        OpenBlock(Sym, Blk);
        ++ListLevel;
        break;
      }
      case ULEndSy: case DirEndSy: case MenuEndSy: CloseBlock(ULSy); break;
      case OLEndSy: CloseBlock(OLSy); break;
      case LISy: {
        // An item ends the previous item of the same list.
        if (!Stack.empty() && Stack.back().Sym == LISy) CloseBlock(LISy);
        CloseParagraph();
        if (!Stack.empty() && Stack.back().Sym == LISy) CloseBlock(LISy);
        const bool InList = !Stack.empty() && (Stack.back().Sym == OLSy || Stack.back().Sym == ULSy);
        const Symb ListSym = InList ? Stack.back().Sym : ULSy;
        const int Number = InList ? ++Stack.back().ListCount : 1;
        TAttribute* Type = nullptr;
        const std::string TypeText = Tok.Attributes.Find(TypeSy, Type) ? Type->Text : "";
        OpenBlock(LISy, new TBlockLI(List, TBoxValues(), Cell(), ListSym == OLSy ? "ol" : "ul", TypeText, Number,
                                     std::max(ListLevel, 1)));
        break;
      }
      case HRSy: {
        CloseParagraph();
        EndSection();
        TBoxValues B;
        B.MarginTop = B.MarginBottom = 8;
        auto* Blk = new TBlock(List, B, Cell(), "hr");
        TAttribute* A = nullptr;
        const int Size = Tok.Attributes.Find(SizeSy, A) ? A->Value : 0;
        const std::string Align = Tok.Attributes.Find(AlignSy, A) ? A->Text : "";
        const bool NoShade = Tok.Attributes.Find(NoShadeSy, A);
        Blk->Content.Add(new THorzLine(List, Size, Align, NoShade));
        Cell()->Add(Blk);
        break;
      }
      case TableSy: {
        CloseParagraph();
        EndSection();
        auto* T = new ThtmlTable(List, AttrValue(CellSpacingSy, 2), AttrValue(CellPaddingSy, 1));
        Cell()->Add(T);
        Tables.push_back({T, Stack.size(), {}});
        break;
      }
      case TRSy:
        if (!Tables.empty()) {
          CloseToTable();
          StartRow();
        }
        break;
      case TDSy: case THSy: {
        if (Tables.empty()) break;
        CloseToTable();
        TableState& T = Tables.back();
        if (T.Table->Rows.Count() == 0) StartRow();
        SkipSpannedColumns();
        const int ColSpan = std::clamp(AttrValue(ColSpanSy, 1), 1, 1000);
        const int RowSpan = std::clamp(AttrValue(RowSpanSy, 1), 1, 10000);
        auto* C = new TCellObj(List, ColSpan, RowSpan);
        C->Cell.OwnerTag = Tok.Sy == THSy ? "th" : "td";
        TCellList* Row = T.Table->Rows.Last();
        int Col = 0;
        for (int I = 0; I < Row->Count(); ++I) Col += Row->Items(I) ? Row->Items(I)->ColSpan : 1;
        Row->Add(C);
        if (static_cast<int>(T.SpanLeft.size()) < Col + ColSpan) T.SpanLeft.resize(static_cast<size_t>(Col + ColSpan), 0);
        for (int K = Col; K < Col + ColSpan; ++K) T.SpanLeft[K] = std::max(T.SpanLeft[K], RowSpan);
        Stack.push_back({Tok.Sy, &C->Cell, FontStack.size(), 0});
        if (Tok.Sy == THSy) PushFont(fsBold);
        break;
      }
      case TDEndSy: case THEndSy: case TREndSy:
        if (!Tables.empty()) CloseToTable();
        break;
      case TableEndSy:
        if (!Tables.empty()) {
          CloseToTable();
          Tables.pop_back();
        }
        break;
      default:
        break;
    }
  }
};

}  // namespace

void ParseHtmlDocument(const std::string& Source, TSectionList* List, const TMyFont& BaseFont) {
  TBuilder Builder(List, BaseFont);
  Builder.Run(Source);
}
