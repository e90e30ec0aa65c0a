#include "dbengine/sql/expr_parser.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "dbengine/sql/expr_values.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "platform/core/datetime.h"

namespace {

bool IsBlank(char C) {
  uint8_t B = static_cast<uint8_t>(C);
  return B >= 1 && B <= 32;
}
bool IsIdentStart(char C) {
  uint8_t B = static_cast<uint8_t>(C);
  return (B >= 'A' && B <= 'Z') || (B >= 'a' && B <= 'z') || B == '_' || (B >= 129 && B <= 254);
}
bool IsIdentPart(char C) { return IsIdentStart(C) || (C >= '0' && C <= '9'); }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }

std::string Cut255(const std::string& S) { return S.size() > 255 ? S.substr(0, 255) : S; }

// Every level of nesting costs stack here and in each later pass over the tree; a limit far beyond
// any written query turns runaway nesting into an error instead of a stack overflow.
constexpr int kMaxNesting = 256;

struct TNestingLevel {
  int& Depth;
  TNestingLevel(const TExpressionParser& P, int& D) : Depth(D) {
    if (Depth >= kMaxNesting) P.Fail("Expression nesting is too deep in " + P.Context);
    ++Depth;
  }
  ~TNestingLevel() { --Depth; }
  TNestingLevel(const TNestingLevel&) = delete;
  TNestingLevel& operator=(const TNestingLevel&) = delete;
};

// Every pass over a finished tree (type checking, evaluation, planning, copying) walks it
// recursively, one call per level, so a tree may not be deeper than this: a chain of "+", "-", "*",
// "/", "||" or comparisons adds one level per term. Chains of AND and OR are built balanced and stay
// shallow at any length.
constexpr int kMaxTreeDepth = 1000;
// The values of an IN list (and the bounds of BETWEEN) hang one after the other through operand 2: a pass that walks every operand goes one call deeper per value, though
// with a small frame. A list may hold this many values; lists inside the values of a list share the
// allowance.
constexpr int kMaxListValues = 2000;
// AND and OR chains of more terms than this are built as balanced trees. Shorter ones keep the
// plain left-to-right shape.
constexpr size_t kBalancedChain = 64;

// Whether a tree keeps within both limits, found without recursion.
bool WithinDepthLimits(const TExpToken* Root) {
  if (!Root || (!Root->Operand1 && !Root->Operand2 && !Root->Operand3)) return true;
  struct TVisit {
    const TExpToken* Node;
    int Depth;    // levels, the node's own included
    int Chained;  // chained values passed on the way
    bool Item;    // a chained value: its operand 2 is the link to the next one
  };
  std::vector<TVisit> Pending;
  if (Root) Pending.push_back({Root, 1, 0, false});
  while (!Pending.empty()) {
    const TVisit V = Pending.back();
    Pending.pop_back();
    if (V.Depth > kMaxTreeDepth || V.Depth + V.Chained > kMaxTreeDepth + kMaxListValues) return false;
    const TExpToken* N = V.Node;
    if (N->Operand1) Pending.push_back({N->Operand1, V.Depth + 1, V.Chained, false});
    if (N->Operand3) Pending.push_back({N->Operand3, V.Depth + 1, V.Chained, false});
    if (!N->Operand2 || V.Item) continue;
    if (HasValueChain(*N)) {
      int K = 0;
      for (const TExpToken* Item = N->Operand2; Item; Item = Item->Operand2, ++K) {
        if (V.Depth + 1 + V.Chained + K > kMaxTreeDepth + kMaxListValues) return false;
        Pending.push_back({Item, V.Depth + 1, V.Chained + K, true});
      }
    } else {
      Pending.push_back({N->Operand2, V.Depth + 1, V.Chained, false});
    }
  }
  return true;
}

// Operands and operator nodes of a chain being read; what is still held here when the parse fails
// goes back to the pool.
struct TChainParts {
  std::vector<TExpToken*> Terms, Operators;
  ~TChainParts() {
    for (TExpToken*& N : Terms) FreeExpression(N);
    for (TExpToken*& N : Operators) FreeExpression(N);
  }
};

// Terms[Lo, Hi) joined by the operators between them (Operators[I] stands between Terms[I] and
// Terms[I + 1]), halving the range at every level.
TExpToken* JoinBalanced(const TChainParts& P, size_t Lo, size_t Hi) {
  if (Hi - Lo == 1) return P.Terms[Lo];
  const size_t Mid = Lo + (Hi - Lo) / 2;
  TExpToken* N = P.Operators[Mid - 1];
  N->Operand1 = JoinBalanced(P, Lo, Mid);
  N->Operand2 = JoinBalanced(P, Mid, Hi);
  return N;
}

TExpToken* NewNode(uint8_t Kind, uint8_t Code, const std::string& Text) {
  TExpToken* N = GetExpToken();
  N->Kind = Kind;
  N->Code = Code;
  N->Text = Text;
  return N;
}

}  // namespace

void ChainExpToken(TExpToken* Item, TExpToken* Next) {
  if (Item->Operand2) FreeExpression(Item->Operand2);
  Item->Operand2 = Next;
}

TExpressionParser::TExpressionParser(void* AOwner) : Owner(AOwner) {}

TExpressionParser::~TExpressionParser() { Reset(); }

void TExpressionParser::Reset() {
  Text_.clear();
  HasText_ = false;
  Position_ = TokenStart_ = TokenEnd_ = Mark_ = PreviousEnd_ = 0;
  TokenKind_ = tkEnd;
}

void TExpressionParser::SetText(const std::string& Text) {
  Reset();
  // Scanning ends at the first zero byte, as it would at the end of a zero-terminated copy.
  size_t Z = Text.find('\0');
  Text_ = Z == std::string::npos ? Text : Text.substr(0, Z);
  HasText_ = true;
}

void TExpressionParser::Fail(const std::string& Message) const {
  RaiseEngineError(ErrorCode, TableName, std::string(), std::string(), Cut255(Message));
}

void TExpressionParser::FailAt(const std::string& Head) const {
  Fail(Head + TokenText() + "'" + " in " + Context);
}

uint8_t TExpressionParser::NextToken() {
  PreviousEnd_ = Position_;
  while (IsBlank(Ch(Position_))) ++Position_;
  if (Ch(Position_) == '/' && Ch(Position_ + 1) == '*') {
    size_t P = Position_ + 2;
    while (Ch(P) != '\0' && Ch(P) != '*') ++P;
    if (Ch(P) != '*' || Ch(P + 1) != '/') Fail("Missing ending comment slash and asterisk in " + Context);
    Position_ = P + 2;
    while (IsBlank(Ch(Position_))) ++Position_;
  }
  TokenStart_ = Position_;
  TokenEnd_ = Position_;
  const char Sep = Settings->DecimalSeparator;
  char C = Ch(Position_);
  if (C == '\0') {
    TokenKind_ = tkEnd;
  } else if (IsIdentStart(C)) {
    ++Position_;
    while (IsIdentPart(Ch(Position_))) ++Position_;
    TokenKind_ = tkIdentifier;
  } else if (C == '#') {
    ++Position_;
    while (IsDigit(Ch(Position_))) ++Position_;
    TokenKind_ = tkCharConstant;
  } else if (C == '\'' || C == '"') {
    size_t P = Position_ + 1;
    for (;;) {
      if (Ch(P) == '\0') {
        std::string Rest = Text_.substr(Position_ + 1);
        Fail(std::string(C == '\'' ? "Missing single quote after '" : "Missing double quote after '") + Rest + "'" +
             " in " + Context);
      }
      if (Ch(P) == C) {
        if (Ch(P + 1) == C) {
          P += 2;
          continue;
        }
        break;
      }
      ++P;
    }
    Position_ = P + 1;
    TokenEnd_ = Position_;
    TokenKind_ = tkString;
  } else if (C == '[') {
    size_t P = Position_ + 1;
    while (Ch(P) != '\0' && Ch(P) != ']') ++P;
    if (Ch(P) == '\0') Fail("Missing right bracket after '" + Text_.substr(Position_ + 1) + "'" + " in " + Context);
    Position_ = P + 1;
    TokenEnd_ = Position_;
    TokenKind_ = tkBracketed;
  } else if (IsDigit(C) || (C == Sep && IsDigit(Ch(Position_ + 1)))) {
    bool LeadingSeparator = !IsDigit(C);
    ++Position_;
    TokenKind_ = LeadingSeparator ? tkFloat : tkInteger;
    if (!LeadingSeparator)
      while (IsDigit(Ch(Position_))) ++Position_;
    for (;;) {
      char D = Ch(Position_);
      bool Take = false;
      if (IsDigit(D) || D == 'E' || D == 'e')
        Take = true;
      else if (D == '+' || D == '-')
        Take = Ch(Position_ - 1) == 'E' || Ch(Position_ - 1) == 'e';
      else if (D == Sep && !LeadingSeparator)
        Take = true;
      if (!Take) break;
      ++Position_;
      TokenKind_ = tkFloat;
    }
  } else {
    ++Position_;
    TokenKind_ = static_cast<uint8_t>(C);
  }
  return TokenKind_;
}

bool TExpressionParser::LoneOperand() {
  // NOT before an operand is an operator of its own.
  const bool Operand = TokenKind_ == tkInteger || TokenKind_ == tkFloat || TokenKind_ == tkString ||
                       TokenKind_ == tkCharConstant || TokenKind_ == tkBracketed ||
                       (TokenKind_ == tkIdentifier && !IsKeyword("NOT"));
  if (!Operand) return false;
  const size_t Position = Position_, Start = TokenStart_, End = TokenEnd_, Previous = PreviousEnd_;
  const uint8_t Kind = TokenKind_;
  // A token that cannot be scanned is left to the parse, which raises what it finds there.
  bool Ends = false;
  try {
    switch (NextToken()) {
      case ',':
      case ')':
      case ';':
      case tkEnd:
        Ends = true;
        break;
      case tkIdentifier:
        // A name that follows (FROM, an alias) ends it; the words of the operators do not.
        Ends = !(IsKeyword("AND") || IsKeyword("OR") || IsKeyword("NOT") || IsKeyword("LIKE") ||
                 IsKeyword("BETWEEN") || IsKeyword("IN") || IsKeyword("IS"));
        break;
      default:
        break;
    }
  } catch (const EVXDBEngineError&) {
  }
  Position_ = Position;
  TokenStart_ = Start;
  TokenEnd_ = End;
  PreviousEnd_ = Previous;
  TokenKind_ = Kind;
  return Ends;
}

uint8_t TExpressionParser::ScanFrom(size_t Position) {
  Position_ = std::min(Position, Text_.size());
  return NextToken();
}

std::string TExpressionParser::TokenText() const {
  size_t From = TokenStart_, Length = 0;
  if (TokenKind_ == tkString || TokenKind_ == tkBracketed) {
    if (TokenEnd_ >= TokenStart_ + 2) {
      From = TokenStart_ + 1;
      Length = TokenEnd_ - TokenStart_ - 2;
    }
  } else if (Position_ > TokenStart_) {
    Length = Position_ - TokenStart_;
  }
  std::string S = Text_.substr(From, std::min<size_t>(Length, 255));
  return S.find_first_of("\"'") == std::string::npos ? S : UndoubleQuotes(S);
}

bool TExpressionParser::IsKeyword(std::string_view Word) const {
  if (TokenKind_ != tkIdentifier || Position_ - TokenStart_ != Word.size()) return false;
  for (size_t I = 0; I < Word.size(); ++I)
    if (UpCase(Text_[TokenStart_ + I]) != UpCase(Word[I])) return false;
  return true;
}

std::string TExpressionParser::MarkedText() const {
  if (PreviousEnd_ <= Mark_) return std::string();
  return RemoveLineBreaks(Text_.substr(Mark_, std::min<size_t>(PreviousEnd_ - Mark_, 255)));
}

void TExpressionParser::Expect(char Symbol, const char* Head) {
  if (!IsSymbol(static_cast<uint8_t>(Symbol))) FailAt(Head);
  NextToken();
}

void TExpressionParser::ExpectKeyword(const char* Word, const char* Head) {
  if (!IsKeyword(Word)) FailAt(Head);
  NextToken();
}

TExpToken* TExpressionParser::ParseExpression(uint8_t Flags) {
  if (!HasText_) SetText(std::string());
  // A value of a list or a result column, mostly: no operator level would take anything after it.
  if (LoneOperand()) return ParsePrimary(Flags);
  TExpTree Root(ParseOr(Flags));
  CheckDepth(Root.Get());
  return Root.Release();
}

void TExpressionParser::CheckDepth(const TExpToken* Root) const {
  if (!WithinDepthLimits(Root)) Fail("Expression is too long in " + Context);
}

TExpToken* TExpressionParser::ParseOr(uint8_t Flags) { return ParseLogicalChain(Flags, opOr); }

TExpToken* TExpressionParser::ParseAnd(uint8_t Flags) { return ParseLogicalChain(Flags, opAnd); }

TExpToken* TExpressionParser::ParseLogicalChain(uint8_t Flags, uint8_t Code) {
  const char* Word = Code == opOr ? "OR" : "AND";
  auto Operand = [&] { return Code == opOr ? ParseAnd(Flags) : ParseNot(Flags); };
  TExpTree First(Operand());
  if (!IsKeyword(Word)) return First.Release();  // most expressions are no chain
  TChainParts P;
  P.Terms.push_back(nullptr);
  P.Terms.back() = First.Release();
  while (IsKeyword(Word)) {
    P.Operators.push_back(nullptr);
    P.Operators.back() = NewNode(nkBinary, Code, TokenText());
    P.Operators.back()->DataType = ftBoolean;
    NextToken();
    P.Terms.push_back(nullptr);
    P.Terms.back() = Operand();
  }
  TExpToken* Root;
  if (P.Terms.size() > kBalancedChain) {
    // AND and OR are associative, and the evaluator meets the terms in the same order in either
    // shape: a long chain need not be as deep as it is long.
    Root = JoinBalanced(P, 0, P.Terms.size());
  } else {
    Root = P.Terms[0];
    for (size_t I = 0; I < P.Operators.size(); ++I) {
      P.Operators[I]->Operand1 = Root;
      P.Operators[I]->Operand2 = P.Terms[I + 1];
      Root = P.Operators[I];
    }
  }
  P.Terms.clear();
  P.Operators.clear();
  return Root;
}

TExpToken* TExpressionParser::ParseNot(uint8_t Flags) {
  if (IsKeyword("NOT")) {
    TExpTree N(NewNode(nkUnary, opNot, TokenText()));
    N->DataType = ftBoolean;
    NextToken();
    N->Operand1 = ParsePredicate(Flags);
    return N.Release();
  }
  return ParsePredicate(Flags);
}

TExpToken* TExpressionParser::ParsePredicate(uint8_t Flags) {
  TExpTree Left(ParseAdditive(Flags));
  uint8_t Code = 0;
  std::string Text;
  if (IsSymbol('=')) {
    Code = opEqual;
    Text = "=";
    NextToken();
  } else if (IsSymbol('<')) {
    NextToken();
    if (IsSymbol('>')) {
      Code = opNotEqual;
      Text = "< >";
      NextToken();
    } else if (IsSymbol('=')) {
      Code = opLessEqual;
      Text = "< =";
      NextToken();
    } else {
      Code = opLess;
      Text = "<";
    }
  } else if (IsSymbol('>')) {
    NextToken();
    if (IsSymbol('=')) {
      Code = opGreaterEqual;
      Text = "> =";
      NextToken();
    } else {
      Code = opGreater;
      Text = ">";
    }
  }
  if (Code) {
    TExpTree N(NewNode(nkBinary, Code, Text));
    N->DataType = ftBoolean;
    N->Operand1 = Left.Release();
    N->Operand2 = ParseAdditive(Flags);
    return N.Release();
  }
  if (IsKeyword("NOT") || IsKeyword("LIKE") || IsKeyword("BETWEEN") || IsKeyword("IN") || IsKeyword("IS")) {
    if (!(Flags & pfPredicates))
      Fail("Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in " + Context);
    return ParseExtended(Flags, Left.Release());
  }
  return Left.Release();
}

TExpToken* TExpressionParser::ParseExtended(uint8_t Flags, TExpToken* LeftNode) {
  TExpTree Left(LeftNode);
  if (IsKeyword("IS")) {
    std::string Text = TokenText();
    NextToken();
    uint8_t Code = opEqual;
    if (IsKeyword("NOT")) {
      Text += " " + TokenText();
      Code = opNotEqual;
      NextToken();
    }
    if (!IsKeyword("NULL"))
      Fail("Unknown or unexpected symbol '" + TokenText() + "'" + " found in " + Context);
    Text += " " + TokenText();
    TExpTree Null(NewNode(nkConstant, 0, "NULL"));
    Null->Null = true;
    NextToken();
    TExpTree N(NewNode(nkBinary, Code, Text));
    N->DataType = ftBoolean;
    N->Operand1 = Left.Release();
    N->Operand2 = Null.Release();
    return N.Release();
  }
  bool Negated = false;
  if (IsKeyword("NOT")) {
    Negated = true;
    NextToken();
    if (!IsKeyword("LIKE") && !IsKeyword("BETWEEN") && !IsKeyword("IN"))
      Fail("Unknown or unexpected symbol '" + TokenText() + "'" + " in " + Context);
  }
  TExpTree N(GetExpToken());
  N->Kind = nkPredicate;
  N->DataType = ftBoolean;
  if (IsKeyword("LIKE")) {
    N->Code = Negated ? prNotLike : prLike;
    N->Text = "LIKE";
    NextToken();
    N->Operand1 = Left.Release();
    N->Operand2 = ParseAdditive(Flags);
  } else if (IsKeyword("BETWEEN")) {
    N->Code = Negated ? prNotBetween : prBetween;
    N->Text = Negated ? "NOT BETWEEN" : "BETWEEN";
    NextToken();
    N->Operand1 = Left.Release();
    N->Operand2 = ParseAdditive(Flags);
    ExpectKeyword("AND", "Expected AND operator in BETWEEN operator, instead found '");
    ChainExpToken(N->Operand2, ParseAdditive(Flags));
  } else {  // IN
    N->Text = "IN";
    NextToken();
    N->Operand1 = Left.Release();
    Expect('(', Negated ? "Expected left parentheses for IN operator, instead found '"
                        : "Expected left parentheses after IN operator, instead found '");
    if (IsKeyword("SELECT")) {
      if (!(Flags & pfSubSelects) || !OnParseSubSelect) Fail("Sub-select queries are not allowed in " + Context);
      N->Code = Negated ? prNotInSelect : prInSelect;
      TExpToken* S = NewNode(nkSubSelect, 0, "SELECT");
      N->Operand2 = S;
      TNestingLevel Level(*this, Nesting_);
      S->SubSelect = OnParseSubSelect(*this);
    } else {
      N->Code = Negated ? prNotIn : prIn;
      N->Operand2 = ParseAdditive(Flags);
      TExpToken* Last = N->Operand2;
      int Values = 1;
      while (IsSymbol(',')) {
        if (++Values > kMaxListValues) Fail("Expression is too long in " + Context);
        NextToken();
        ChainExpToken(Last, ParseAdditive(Flags));
        Last = Last->Operand2;
      }
    }
    Expect(')', "Expected right parentheses after IN operator, instead found '");
  }
  return N.Release();
}

TExpToken* TExpressionParser::ParseAdditive(uint8_t Flags) {
  TExpTree Left(ParseTerm(Flags));
  for (;;) {
    uint8_t Code;
    std::string Text;
    if (IsSymbol('+')) {
      Code = opAdd;
      Text = "+";
    } else if (IsSymbol('-')) {
      Code = opSubtract;
      Text = "-";
    } else if (IsSymbol('|')) {
      NextToken();
      if (!IsSymbol('|'))
        FailAt("Second concatenation symbol '|' expected after first concatentation symbol, instead found '");
      Code = opAdd;
      Text = "||";
    } else {
      break;
    }
    NextToken();
    TExpTree N(NewNode(nkBinary, Code, Text));
    N->DataType = Left->DataType;
    N->Operand1 = Left.Release();
    N->Operand2 = ParseTerm(Flags);
    Left.Reset(N.Release());
  }
  return Left.Release();
}

TExpToken* TExpressionParser::ParseTerm(uint8_t Flags) {
  TExpTree Left(ParseUnary(Flags));
  while (IsSymbol('*') || IsSymbol('/')) {
    TExpTree N(NewNode(nkBinary, IsSymbol('*') ? opMultiply : opDivide, TokenText()));
    NextToken();
    N->DataType = Left->DataType;
    N->Operand1 = Left.Release();
    N->Operand2 = ParseUnary(Flags);
    Left.Reset(N.Release());
  }
  return Left.Release();
}

TExpToken* TExpressionParser::ParseUnary(uint8_t Flags) {
  if (IsSymbol('+') || IsSymbol('-')) {
    TExpTree N(NewNode(nkUnary, IsSymbol('+') ? opPlus : opNegate, TokenText()));
    NextToken();
    N->Operand1 = ParsePrimary(Flags);
    N->DataType = N->Operand1->DataType;
    return N.Release();
  }
  return ParsePrimary(Flags);
}

TExpToken* TExpressionParser::ParseQualified(uint8_t Flags, const std::string& First) {
  // The current token is the '.'.
  NextToken();
  bool Star = IsSymbol('*');
  if (!IsSymbol(tkString) && !IsSymbol(tkIdentifier) && !IsSymbol(tkBracketed) && !Star)
    FailAt("Symbol or string expression expected after table correlation name separator '.', instead found '");
  if (Star && !(Flags & pfAllColumns)) Fail("* (all columns) symbol is not allowed in " + Context);
  std::string Second = TokenText();
  TExpTree N(NewNode(nkColumn, 0, Cut255(First + "." + Second)));
  N->ColumnName = Cut255(Second);
  N->CorrelationName = Cut255(ExtractFileBaseName(First));
  NextToken();
  return N.Release();
}

TExpToken* TExpressionParser::ParsePrimary(uint8_t Flags) {
  // A primary that the statement parser asks for directly is a whole tree of its own.
  const bool Outermost = Nesting_ == 0;
  TExpTree N(ParsePrimaryNode(Flags));
  if (Outermost) CheckDepth(N.Get());
  return N.Release();
}

TExpToken* TExpressionParser::ParsePrimaryNode(uint8_t Flags) {
  TNestingLevel Level(*this, Nesting_);
  switch (TokenKind_) {
    case tkInteger: {
      TExpTree N(NewNode(nkConstant, 0, TokenText()));
      N->DataType = ftInteger;
      N->Size = 4;
      N->Put<int32_t>(StrToInt(N->Text));
      NextToken();
      return N.Release();
    }
    case tkFloat: {
      TExpTree N(NewNode(nkConstant, 0, TokenText()));
      N->DataType = ftFloat;
      N->Size = 8;
      N->Put<double>(StrToFloat(N->Text, Settings->DecimalSeparator));
      NextToken();
      return N.Release();
    }
    case tkString: {
      std::string S = TokenText();
      NextToken();
      if (IsSymbol('.')) return ParseQualified(Flags, S);
      TExpTree N(NewNode(nkConstant, 0, S));
      N->DataType = ftString;
      N->SetString(S);
      if (S.empty()) N->Null = true;
      return N.Release();
    }
    case tkCharConstant: {
      std::string Digits = TokenText().substr(1);
      TExpTree N(NewNode(nkConstant, 0, Digits));
      int32_t V = StrToInt(Digits);
      if (V < 0 || V > 255)
        Fail("Character constants (#) must be within the range of " + IntToStr(0) + " to " + IntToStr(255) + " in " +
             Context);
      N->DataType = ftString;
      N->SetString(std::string(1, static_cast<char>(V)));
      N->Size = 2;
      NextToken();
      return N.Release();
    }
    case tkBracketed: {
      std::string S = TokenText();
      NextToken();
      if (IsSymbol('.')) return ParseQualified(Flags, S);
      TExpTree N(NewNode(nkColumn, 0, S));
      N->ColumnName = S;
      return N.Release();
    }
    case '(': {
      NextToken();
      TExpTree N(ParseExpression(Flags));
      Expect(')', "Right parentheses expected, instead found '");
      return N.Release();
    }
    case '*': {
      if (!(Flags & pfAllColumns)) Fail("* (all columns) symbol is not allowed in " + Context);
      TExpTree N(NewNode(nkColumn, 0, "*"));
      N->ColumnName = "*";
      NextToken();
      return N.Release();
    }
    case '?': {
      if (!(Flags & pfParameters)) Fail("Parameters are not allowed in " + Context);
      TExpTree N(NewNode(nkConstant, 0, "?"));
      N->Parameter = true;
      NextToken();
      return N.Release();
    }
    case tkIdentifier:
      return ParseIdentifier(Flags);
    default:
      Fail("Unknown or unexpected symbol '" + TokenText() + "'" + " found in " + Context);
  }
}

namespace {

struct TFunctionWord {
  std::string_view Word;
  uint8_t Code;
};

const TFunctionWord kAggregates[] = {{"SUM", fnSum}, {"AVG", fnAvg}, {"MIN", fnMin}, {"MAX", fnMax}, {"COUNT", fnCount}};
const TFunctionWord kFunctions[] = {{"LOWER", fnLower},     {"UPPER", fnUpper}, {"SUBSTRING", fnSubstring},
                                    {"REPLACE", fnReplace}, {"POS", fnPos},     {"OCCURS", fnOccurs},
                                    {"CAST", fnCast},       {"TRIM", fnTrimBoth}, {"EXTRACT", fnExtractYear},
                                    {"ABS", fnAbs},         {"ROUND", fnRound}, {"IF", fnIf}};

}  // namespace

TExpToken* TExpressionParser::ParseIdentifier(uint8_t Flags) {
  std::string Word = TokenText();
  for (const TFunctionWord& A : kAggregates) {
    if (!IsKeyword(A.Word)) continue;
    if (!(Flags & pfAggregates)) Fail("Aggregate functions are not allowed in " + Context);
    NextToken();
    if (!IsSymbol('('))
      Fail("Left parentheses expectedafter aggregate function '" + Word + "'" + ", instead found " + "'" +
           TokenText() + "'" + " in " + Context);
    NextToken();
    TExpTree N(NewNode(nkFunction, A.Code, Word));
    // COUNT(*) counts rows wherever aggregates are allowed.
    N->Operand1 = ParseAdditive(A.Code == fnCount ? static_cast<uint8_t>(Flags | pfAllColumns) : Flags);
    if (!IsSymbol(')'))
      Fail("Right parentheses expected after aggregate " + Word + " function argument, instead found " + "'" +
           TokenText() + "'" + " in " + Context);
    NextToken();
    return N.Release();
  }
  for (const TFunctionWord& F : kFunctions)
    if (IsKeyword(F.Word)) return ParseFunction(Flags, F.Code, Word);
  if (IsKeyword("TRUE") || IsKeyword("FALSE")) {
    TExpTree N(NewNode(nkConstant, 0, Word));
    N->DataType = ftBoolean;
    N->Size = 2;
    N->Put<uint16_t>(IsKeyword("TRUE") ? 1 : 0);
    NextToken();
    return N.Release();
  }
  if (IsKeyword("NULL")) {
    TExpTree N(NewNode(nkConstant, 0, Word));
    N->Null = true;
    NextToken();
    return N.Release();
  }
  if (IsKeyword("CURRENT_DATE") || IsKeyword("CURRENT_TIME") || IsKeyword("CURRENT_TIMESTAMP")) {
    TExpTree N(NewNode(nkConstant, 0, Word));
    int32_t Day = 0, Ms = 0;
    CurrentDayAndTime(Day, Ms);
    if (IsKeyword("CURRENT_DATE")) {
      N->DataType = ftDate;
      N->Size = 4;
      N->Put<int32_t>(Day);
    } else if (IsKeyword("CURRENT_TIME")) {
      N->DataType = ftTime;
      N->Size = 4;
      N->Put<int32_t>(Ms);
    } else {
      N->DataType = ftTimeStamp;
      N->Size = 8;
      N->Put<double>(MakeTimeStamp(Day, Ms));
    }
    NextToken();
    return N.Release();
  }
  NextToken();
  if (IsSymbol('(')) Fail("Unknown or unexpected function '" + Word + "'" + " found in " + Context);
  if (IsSymbol('.')) return ParseQualified(Flags, Word);
  TExpTree N(NewNode(nkColumn, 0, Word));
  N->ColumnName = Word;
  return N.Release();
}

TExpToken* TExpressionParser::ParseFunction(uint8_t Flags, uint8_t Code, const std::string& Name) {
  TExpTree N(NewNode(nkFunction, Code, Name));
  NextToken();
  switch (Code) {
    case fnUpper:
    case fnLower: {
      const bool Up = Code == fnUpper;
      Expect('(', Up ? "Left parentheses expectedafter UPPER keyword, instead found '"
                     : "Left parentheses expectedafter LOWER keyword, instead found '");
      N->DataType = ftString;
      N->Operand1 = ParseAdditive(Flags);
      Expect(')', Up ? "Right parentheses expected after UPPER function argument, instead found '"
                     : "Right parentheses expected after LOWER function argument, instead found '");
      break;
    }
    case fnSubstring:
      Expect('(', "Left parentheses expected after SUBSTRING keyword, instead found '");
      N->DataType = ftString;
      N->Operand1 = ParseAdditive(Flags);
      ExpectKeyword("FROM", "FROM keyword expected after first SUBSTRING function argument, instead found '");
      N->Operand2 = ParsePrimary(Flags);
      if (IsKeyword("FOR")) {
        NextToken();
        ChainExpToken(N->Operand2, ParsePrimary(Flags));
      }
      Expect(')', "Right parentheses expected after SUBSTRING function arguments, instead found '");
      break;
    case fnReplace:
      Expect('(', "Left parentheses expected after REPLACE keyword, instead found '");
      N->DataType = ftString;
      N->Operand2 = ParseAdditive(Flags);
      ExpectKeyword("WITH", "WITH keyword expected after first REPLACE function argument, instead found '");
      ChainExpToken(N->Operand2, ParseAdditive(Flags));
      ExpectKeyword("IN", "IN keyword expected after second REPLACE function argument, instead found '");
      N->Operand1 = ParsePrimary(Flags);
      Expect(')', "Right parentheses expected after REPLACE function arguments, instead found '");
      break;
    case fnPos:
    case fnOccurs: {
      const bool Pos = Code == fnPos;
      Expect('(', Pos ? "Left parentheses expected after POS keyword, instead found '"
                      : "Left parentheses expected after OCCURS keyword, instead found '");
      N->DataType = ftInteger;
      N->Operand2 = ParseAdditive(Flags);
      ExpectKeyword("IN", Pos ? "IN keyword expected after first POS function argument, instead found '"
                              : "IN keyword expected after first OCCURS function argument, instead found '");
      N->Operand1 = ParsePrimary(Flags);
      Expect(')', Pos ? "Right parentheses expected after POS function arguments, instead found '"
                      : "Right parentheses expected after OCCURS function arguments, instead found '");
      break;
    }
    case fnTrimBoth:
      Expect('(', "Left parentheses expected after TRIM keyword, instead found '");
      if (IsKeyword("LEADING"))
        N->Code = fnTrimLeading;
      else if (IsKeyword("TRAILING"))
        N->Code = fnTrimTrailing;
      else if (!IsKeyword("BOTH"))
        FailAt("LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found '");
      NextToken();
      N->DataType = ftString;
      N->Operand2 = ParsePrimary(Flags);
      ExpectKeyword("FROM", "FROM keyword expected after second TRIM function argument, instead found '");
      N->Operand1 = ParseAdditive(Flags);
      Expect(')', "Right parentheses expected after TRIM function arguments, instead found '");
      break;
    case fnCast:
      Expect('(', "Left parentheses expected after CAST keyword, instead found '");
      N->Operand1 = ParseExpression(Flags);
      ExpectKeyword("AS", "AS keyword expected after first CAST function argument, instead found '");
      ParseDataTypeKeyword(N.Get(), Flags, false);
      Expect(')', "Right parentheses expected after CAST function arguments, instead found '");
      break;
    case fnExtractYear: {
      Expect('(', "Left parentheses expected after EXTRACT keyword, instead found '");
      static const TFunctionWord Parts[] = {{"YEAR", fnExtractYear},     {"MONTH", fnExtractMonth},
                                            {"DAY", fnExtractDay},       {"DAYOFWEEK", fnExtractDayOfWeek},
                                            {"HOUR", fnExtractHour},     {"MINUTE", fnExtractMinute},
                                            {"SECOND", fnExtractSecond}};
      uint8_t Part = 0;
      for (const TFunctionWord& P : Parts)
        if (IsKeyword(P.Word)) Part = P.Code;
      if (!Part)
        FailAt("YEAR, MONTH, DAY, DAYOFWEEK, HOUR, MINUTE, or SECOND keyword expected after EXTRACT keyword, "
               "instead found '");
      N->Code = Part;
      NextToken();
      N->DataType = ftInteger;
      ExpectKeyword("FROM", "FROM keyword expected after second EXTRACT function argument, instead found '");
      N->Operand1 = ParsePrimary(Flags);
      Expect(')', "Right parentheses expected after EXTRACT function arguments, instead found '");
      break;
    }
    case fnAbs:
      Expect('(', "Left parentheses expectedafter ABS keyword, instead found '");
      N->DataType = ftInteger;
      N->Operand1 = ParseAdditive(Flags);
      Expect(')', "Right parentheses expected after ABS function argument, instead found '");
      break;
    case fnRound:
      Expect('(', "Left parentheses expectedafter ROUND keyword, instead found '");
      N->DataType = ftFloat;
      N->Operand1 = ParseAdditive(Flags);
      if (IsKeyword("TO")) {
        NextToken();
        N->Operand2 = ParseAdditive(Flags);
      }
      Expect(')', "Right parentheses expected after ROUND function arguments, instead found '");
      break;
    case fnIf:
      Expect('(', "Left parentheses expectedafter IF keyword, instead found '");
      N->Operand1 = ParseExpression(Flags);
      ExpectKeyword("THEN", "THEN keyword expected after first IF function argument, instead found '");
      N->Operand2 = ParseAdditive(Flags);
      ExpectKeyword("ELSE", "ELSE keyword expected after second IF function argument, instead found '");
      N->Operand3 = ParseAdditive(Flags);
      Expect(')', "Right parentheses expected after IF function arguments, instead found '");
      break;
  }
  return N.Release();
}

void TExpressionParser::ParseDataTypeKeyword(TExpToken* Node, uint8_t Flags, bool Optional) {
  struct TTypeWord {
    const char* Word;
    uint8_t Type;
    uint8_t SubType;
  };
  static const TTypeWord Words[] = {
      {"SMALLINT", ftSmallInt, 0}, {"WORD", ftWord, 0},     {"INTEGER", ftInteger, 0},   {"AUTOINC", ftInteger, stAutoInc},
      {"DECIMAL", ftBCD, 0},       {"NUMERIC", ftFloat, 0}, {"FLOAT", ftFloat, 0},       {"MONEY", ftFloat, stMoney},
      {"CHARACTER", ftString, 0},  {"CHAR", ftString, 0},   {"VARCHAR", ftString, 0},    {"DATE", ftDate, 0},
      {"TIME", ftTime, 0},         {"TIMESTAMP", ftTimeStamp, 0}, {"BOOLEAN", ftBoolean, 0}, {"BYTES", ftBytes, 0},
      {"BLOB", ftBlob, 0}};
  const TTypeWord* Found = nullptr;
  for (const TTypeWord& W : Words)
    if (IsKeyword(W.Word)) {
      Found = &W;
      break;
    }
  if (!Found) {
    if (Optional) return;
    FailAt("SQL data type keyword expected, instead found '");
  }
  const std::string Word = Found->Word;
  Node->DataType = Found->Type;
  Node->SubType = Found->SubType;
  NextToken();
  auto Argument = [&](TExpToken* After) -> TExpToken* {
    TExpToken* A = ParsePrimary(Flags);
    if (After)
      ChainExpToken(After, A);
    else
      ChainExpToken(Node, A);
    return A;
  };
  if (Word == "DECIMAL" || Word == "NUMERIC" || Word == "FLOAT") {
    if (!IsSymbol('(')) return;
    NextToken();
    TExpToken* First = Argument(nullptr);
    if (!IsSymbol(')')) {
      if (!IsSymbol(',')) FailAt("Comma expected after first " + Word + " argument, instead found '");
      NextToken();
    }
    Argument(First);
    Expect(')', ("Right parentheses expected after " + Word + " data type arguments, instead found '").c_str());
  } else if (Word == "CHARACTER" || Word == "CHAR" || Word == "VARCHAR") {
    const std::string Name = Word == "VARCHAR" ? "VARCHAR" : "CHARACTER or CHAR";
    Expect('(', ("Left parentheses expected after " + Name + " data type, instead found '").c_str());
    Argument(nullptr);
    Expect(')', ("Right parentheses expected after " + Name + " data type arguments, instead found '").c_str());
  } else if (Word == "BYTES") {
    if (!IsSymbol('(')) return;
    NextToken();
    Argument(nullptr);
    Expect(')', "Right parentheses expected after BYTES data type arguments, instead found '");
  } else if (Word == "BLOB") {
    Expect('(', "Left parentheses expected after BLOB data type, instead found '");
    TExpToken* First = Argument(nullptr);
    Expect(',', "Comma expected after first BLOB argument, instead found '");
    Argument(First);
    Expect(')', "Right parentheses expected after BLOB data type arguments, instead found '");
  }
}
