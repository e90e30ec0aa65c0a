#include "htmlview/readhtml.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/core/cp1250.h"

namespace {

bool IsLetter(char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z');
}
bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}
bool IsAlnum(char C) {
  return IsLetter(C) || IsDigit(C);
}
char AsciiUp(char C) {
  return (C >= 'a' && C <= 'z') ? static_cast<char>(C - ('a' - 'A')) : C;
}
bool IsControl(char C) {
  return static_cast<unsigned char>(C) < 32;
}

}  // namespace

int32_t AttributeNumber(const std::string& Text) {
  if (Text.empty()) return 0;
  // Plain decimal numbers only: an optional sign, digits, a point, an exponent.
  size_t I = 0;
  if (Text[I] == '+' || Text[I] == '-') ++I;
  bool Digits = false;
  while (I < Text.size() && IsDigit(Text[I])) ++I, Digits = true;
  if (I < Text.size() && Text[I] == '.') {
    ++I;
    while (I < Text.size() && IsDigit(Text[I])) ++I, Digits = true;
  }
  if (!Digits) return 0;
  if (I < Text.size() && (Text[I] == 'e' || Text[I] == 'E')) {
    size_t J = I + 1;
    if (J < Text.size() && (Text[J] == '+' || Text[J] == '-')) ++J;
    if (J >= Text.size() || !IsDigit(Text[J])) return 0;
    while (J < Text.size() && IsDigit(Text[J])) ++J;
    I = J;
  }
  if (I != Text.size()) return 0;
  double V = std::strtod(Text.c_str(), nullptr);
  if (!(V == V)) return 0;
  if (V >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (V <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(std::nearbyint(V));  // halves to even
}

void THtmlTokenizer::Start(std::string Source) {
  FSource = std::move(Source);
  FPtr = 0;
  FInclude.clear();
  FIncPtr = 0;
  FInIncludeMode = false;
  FLineEnd = leNone;
  FCommentDepth = 0;
  Sy = NoSy;
  HeadingLevel = 0;
  Attributes.Clear();
  Buff.Clear();
  GetCh();
}

char THtmlTokenizer::ReadRaw(int& Position) {
  for (;;) {
    if (FInIncludeMode) {
      if (FIncPtr < FInclude.size()) {
        Position = static_cast<int>(FPtr);
        return FInclude[FIncPtr++];
      }
      FInIncludeMode = false;
      continue;
    }
    Position = static_cast<int>(FPtr);
    if (FPtr < FSource.size()) return FSource[FPtr++];
    return EofChar;
  }
}

void THtmlTokenizer::ReadChar() {
  for (;;) {
    int P;
    char C = ReadRaw(P);
    if (C == '\n') {
      if (FLineEnd == leAfterCR) {
        FLineEnd = leNone;
        continue;
      }
      FLineEnd = leAfterLF;
      C = '\r';
    } else if (C == '\r') {
      if (FLineEnd == leAfterLF) {
        FLineEnd = leNone;
        continue;
      }
      FLineEnd = leAfterCR;
    } else {
      FLineEnd = leNone;
      if (C == '\t') C = ' ';
    }
    Ch = C;
    LCh = AsciiUp(C);
    ChPos = P;
    if (C == EofChar && FCommentDepth > 0) {
      FCommentDepth = 0;
      throw EParseError("Open Comment at End of HTML File");
    }
    return;
  }
}

char THtmlTokenizer::PeekChar() const {
  char C = EofChar;
  if (FInIncludeMode && FIncPtr < FInclude.size())
    C = FInclude[FIncPtr];
  else if (FPtr < FSource.size())
    C = FSource[FPtr];
  if (C == '\t') C = ' ';
  if (C == '\n') C = '\r';
  return C;
}

void THtmlTokenizer::SkipToGreater() {
  while (Ch != '>') ReadChar();  // end of input raises while in a comment
}

void THtmlTokenizer::SkipComment() {
  ReadChar();
  SkipCommentFromHere();
}

// The comment ends at "--", any further "-", then blanks and line ends, then ">"; "--" followed by
// anything else continues it. The current character is part of the comment.
void THtmlTokenizer::SkipCommentFromHere() {
  for (;;) {
    if (Ch == '-' && PeekChar() == '-') {
      ReadChar();
      while (PeekChar() == '-') ReadChar();
      while (PeekChar() == ' ' || PeekChar() == '\r') ReadChar();
      if (PeekChar() == '>') {
        ReadChar();
        return;
      }
    }
    ReadChar();
  }
}

void THtmlTokenizer::GetCh() {
  ReadChar();
  while (Ch == '<' && CommentsEnabled && PeekChar() == '!') {
    ReadChar();  // "!"
    ++FCommentDepth;
    if (PeekChar() != '-') {
      SkipToGreater();
    } else {
      ReadChar();  // first "-"
      if (PeekChar() != '-') {
        SkipToGreater();
      } else {
        ReadChar();  // second "-"
        if (OnInclude && PeekChar() == '#' && !FInIncludeMode)
          ReadInclude();
        else
          SkipComment();
      }
    }
    --FCommentDepth;
    ReadChar();
  }
}

void THtmlTokenizer::SkipWhiteSpace() {
  while (Ch == ' ' || Ch == '\r') GetCh();
}

std::string THtmlTokenizer::ReadIncludeValue() {
  std::string Value;
  if (Ch == '"' || Ch == '\'') {
    char Q = Ch;
    ReadChar();
    while (Ch != Q && Ch != EofChar) {
      if (Ch == '&') {
        ReadEntity(Value, nullptr, SystemCodePage);
        continue;
      }
      Value += Ch == '\r' ? ' ' : Ch;
      ReadChar();
    }
    if (Ch == Q) ReadChar();
  } else {
    while (Ch != ' ' && Ch != '\r' && Ch != '-' && Ch != '>' && Ch != EofChar) {
      Value += Ch;
      ReadChar();
    }
  }
  return Value;
}

void THtmlTokenizer::ReadInclude() {
  ReadChar();  // "#"
  ReadChar();
  std::string Command;
  while (IsAlnum(Ch) || Ch == '_') {
    Command += Ch;
    ReadChar();
  }
  std::vector<std::string> Params;
  for (;;) {
    while (Ch == ' ' || Ch == '\r') ReadChar();
    if (!IsLetter(Ch)) break;
    std::string Name;
    while (IsAlnum(Ch) || Ch == '_') {
      Name += Ch;
      ReadChar();
    }
    while (Ch == ' ' || Ch == '\r') ReadChar();
    std::string Value;
    if (Ch == '=') {
      ReadChar();
      while (Ch == ' ' || Ch == '\r') ReadChar();
      Value = ReadIncludeValue();
    }
    Params.push_back(Name + "=" + Value);
  }
  SkipCommentFromHere();
  std::string Buffer;
  OnInclude(Command, Params, Buffer);
  if (!Buffer.empty()) {
    FInclude = std::move(Buffer);
    FIncPtr = 0;
    FInIncludeMode = true;
  }
}

void THtmlTokenizer::ReadEntity(std::string& Out, std::vector<int>* Positions, int Page) {
  const int AmpPos = ChPos;
  std::string Raw = "&";
  std::vector<int> RawPos{ChPos};
  auto Take = [&]() {
    Raw += Ch;
    RawPos.push_back(ChPos);
    GetCh();
  };
  auto EmitRaw = [&]() {
    Out += Raw;
    if (Positions) Positions->insert(Positions->end(), RawPos.begin(), RawPos.end());
  };
  auto Emit = [&](const std::string& S) {
    Out += S;
    if (Positions)
      for (size_t I = 0; I < S.size(); ++I) Positions->push_back(AmpPos + static_cast<int>(I));
  };
  auto EmitCode = [&](uint32_t Code) {
    if (Code == 9)
      Emit(" ");
    else if (Code == 10 || (Code >= 32 && Code <= 255))
      Emit(std::string(1, static_cast<char>(Code)));
    else
      Emit(UnicodeToCodePage(Code, Page));
  };

  GetCh();
  if (Ch == '#') {
    Take();
    std::string Digits;
    while (IsDigit(Ch) && Digits.size() < 5) {
      Digits += Ch;
      Take();
    }
    if (Digits.empty() || IsDigit(Ch)) return EmitRaw();
    if (Ch == ';') Take();
    uint32_t Code = static_cast<uint32_t>(std::atoi(Digits.c_str()));
    // Five digits reach beyond the 16-bit range; such codes stay as written.
    if (Code > 0xFFFF) return EmitRaw();
    return EmitCode(Code);
  }
  if (!IsAlnum(Ch)) return EmitRaw();
  std::string Name;
  while (IsAlnum(Ch) && Name.size() < 6) {
    Name += Ch;
    Take();
  }
  if (IsAlnum(Ch)) return EmitRaw();
  if (Ch == ';') Take();
  if (Name == "hellip") return Emit("...");
  for (const TNamedEntity& E : EntityTable)
    if (Name == E.Name) return EmitCode(E.Code);
  for (int I = 0; I < Latin1EntityCount; ++I)
    if (Name == Latin1EntityTable[I]) return EmitCode(static_cast<uint32_t>(161 + I));
  EmitRaw();
}

bool THtmlTokenizer::ReadAttribute() {
  SkipWhiteSpace();
  if (!IsLetter(Ch)) return false;
  std::string Name;
  while (IsLetter(Ch) || Ch == '-') {
    Name += LCh;
    GetCh();
  }
  Symb S = LookupAttribute(Name);
  int32_t Value = S == BorderSy ? 1 : 0;  // a bare BORDER means a border of 1
  std::string Text;
  SkipWhiteSpace();
  if (Ch == '=') {
    GetCh();
    SkipWhiteSpace();
    if (Ch == '"' || Ch == '\'') {
      char Q = Ch;
      GetCh();
      while (Ch != Q && Ch != EofChar) {
        if (Ch == '\r') {
          GetCh();
        } else if (Ch == '&') {
          ReadEntity(Text, nullptr, SystemCodePage);
        } else {
          Text += Ch;
          GetCh();
        }
      }
      if (Ch == Q) GetCh();
      std::string N = Trim(Text);
      if (!N.empty() && N.back() == '%') N.pop_back();
      Value = AttributeNumber(N);
    } else if (Ch == '+' || Ch == '-' || IsDigit(Ch)) {
      while (Ch != ' ' && Ch != '\r' && Ch != '>' && Ch != '%' && Ch != EofChar) {
        Text += Ch;
        GetCh();
      }
      Value = AttributeNumber(Text);
      if (Ch == '%') {
        Text += '%';
        GetCh();
      }
    } else {
      while (Ch != ' ' && Ch != '\r' && Ch != '>' && Ch != EofChar) {
        Text += Ch;
        GetCh();
      }
    }
  }
  if (S == IDSy && !Text.empty() && IDNameList) IDNameList->AddPosition(Text, ChPos);
  Attributes.Add(new TAttribute(S, Value, Text));
  return true;
}

void THtmlTokenizer::ReadTag() {
  const int LtPos = ChPos;
  GetCh();
  bool EndTag = false;
  int SlashPos = ChPos;
  if (Ch == '/') {
    EndTag = true;
    GetCh();
  }
  if (!IsLetter(Ch)) {
    Buff.AppendChar('<', LtPos);
    if (EndTag) Buff.AppendChar('/', SlashPos);
    Sy = TextSy;
    return;
  }
  std::string Name;
  while (IsLetter(Ch)) {
    if (Name.size() < 255) Name += LCh;
    GetCh();
  }
  Symb S = LookupTag(Name);
  if (EndTag)
    Sy = S != NoSy && S < FirstTagWithoutEnd ? EndSymbolOf(S) : UnknownTagSy;
  else
    Sy = S != NoSy ? S : UnknownTagSy;
  HeadingLevel = 0;
  SkipWhiteSpace();
  if (S == HeadingSy && Ch >= '1' && Ch <= '6') {
    HeadingLevel = Ch - '0';
    GetCh();
  }
  Attributes.Clear();
  while (ReadAttribute()) {
  }
  while (Ch != '>' && Ch != EofChar) GetCh();
  // After <STYLE> the style-sheet reader starts at the ">".
  if (Ch == '>' && Sy != StyleSy) GetCh();
}

void THtmlTokenizer::ReadText() {
  int N = 0;
  while (N < 100 && (!IsControl(Ch) || Ch == '\r') && Ch != '&' && Ch != '<') {
    if (!KeepWhiteSpace && (Ch == ' ' || Ch == '\r')) {
      Buff.AppendChar(' ', ChPos);
      GetCh();
      while (Ch == ' ' || Ch == '\r') GetCh();
    } else {
      Buff.AppendChar(Ch, ChPos);
      GetCh();
    }
    ++N;
  }
}

void THtmlTokenizer::GetToken() {
  Buff.Clear();
  if (Ch == EofChar) {
    Sy = EofSy;
    return;
  }
  if (Ch == '<') {
    ReadTag();
    return;
  }
  if (Ch == '&') {
    std::string Out;
    std::vector<int> Pos;
    ReadEntity(Out, &Pos, CodePage);
    for (size_t I = 0; I < Out.size(); ++I) Buff.AppendChar(Out[I], Pos[I]);
    Sy = TextSy;
    return;
  }
  ReadText();
  if (Buff.Length() > 0) {
    Sy = TextSy;
    return;
  }
  Buff.AppendChar(Ch, ChPos);
  GetCh();
  Sy = OtherChar;
}

void THtmlTokenizer::GetTextAreaToken() {
  Buff.Clear();
  if (Ch == EofChar) {
    Sy = EofSy;
    return;
  }
  if (Ch == '\r') {
    Sy = EolSy;
    GetCh();
    return;
  }
  if (Ch == '<') {
    while (Ch != ' ' && Ch != '>' && Ch != '\r' && Ch != EofChar) {
      Buff.AppendChar(Ch, ChPos);
      GetCh();
    }
    if (LowerCase(Buff.AsString()) == "</textarea") {
      Sy = TextAreaEndTagSy;
      while (Ch != '>' && Ch != EofChar) GetCh();
      if (Ch == '>') GetCh();
    } else {
      Sy = UnknownTagSy;
    }
    return;
  }
  if (Ch == '&') {
    std::string Out;
    std::vector<int> Pos;
    ReadEntity(Out, &Pos, CodePage);
    for (size_t I = 0; I < Out.size(); ++I) Buff.AppendChar(Out[I], Pos[I]);
    Sy = TextSy;
    return;
  }
  int N = 0;
  while (N < 100 && Ch != '\r' && Ch != '&' && Ch != '<' && Ch != EofChar) {
    Buff.AppendChar(Ch, ChPos);
    GetCh();
    ++N;
  }
  Sy = TextSy;
}

namespace {

const char Utf8Bom[] = "\xEF\xBB\xBF";

bool StartsWithBom(const std::string& S) { return S.compare(0, 3, Utf8Bom) == 0; }

std::string LowerAscii(std::string S) {
  for (char& C : S)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return S;
}

// The value of "Key=..." in S (lower-cased), quoted or bare; empty when absent.
std::string ValueAfter(const std::string& S, const std::string& Key) {
  size_t P = S.find(Key);
  if (P == std::string::npos) return std::string();
  P += Key.size();
  while (P < S.size() && (S[P] == ' ' || S[P] == '\t')) ++P;
  if (P < S.size() && S[P] == '=') ++P;
  while (P < S.size() && (S[P] == ' ' || S[P] == '\t')) ++P;
  const char Quote = P < S.size() && (S[P] == '"' || S[P] == '\'') ? S[P++] : 0;
  size_t E = P;
  while (E < S.size() && S[E] != Quote && (Quote || (S[E] != ';' && S[E] != ' ' && S[E] != '\t' && S[E] != '"' &&
                                                     S[E] != '\'' && S[E] != '?' && S[E] != '>')))
    ++E;
  return Trim(S.substr(P, E - P));
}

// The head of a document is searched this far at most for a META element.
constexpr int MetaSearchLimit = 65536;

}  // namespace

std::string DeclaredCharset(const std::string& Source) {
  if (StartsWithBom(Source)) return "utf-8";
  // <?xml version="1.0" encoding="..."?>, possibly after leading white space.
  size_t P = Source.find_first_not_of(" \t\r\n");
  if (P != std::string::npos && LowerAscii(Source.substr(P, 5)) == "<?xml") {
    const size_t E = Source.find("?>", P);
    if (E != std::string::npos) {
      const std::string Enc = ValueAfter(LowerAscii(Source.substr(P, E + 2 - P)), "encoding");
      if (!Enc.empty()) return Enc;
    }
  }
  THtmlTokenizer Tok;
  Tok.Start(Source);
  try {
    for (Tok.GetToken(); Tok.Sy != EofSy && Tok.ChPos < MetaSearchLimit; Tok.GetToken()) {
      if (Tok.Sy == BodySy || Tok.Sy == FrameSetSy) break;
      if (Tok.Sy != MetaSy) continue;
      TAttribute* A = nullptr;
      if (Tok.Attributes.Find(CharSetSy, A) && !Trim(A->Text).empty()) return LowerAscii(Trim(A->Text));
      if (Tok.Attributes.Find(HttpEqSy, A) && SameText(Trim(A->Text), "content-type") &&
          Tok.Attributes.Find(ContentSy, A)) {
        const std::string Set = ValueAfter(LowerAscii(A->Text), "charset");
        if (!Set.empty()) return Set;
      }
    }
  } catch (const EParseError&) {
    // An unterminated comment: the builder reports it; no declaration was found before it.
  }
  return std::string();
}

std::string DocumentInCp1250(const std::string& Source) {
  std::string Set = DeclaredCharset(Source);
  const std::string Text = StartsWithBom(Source) ? Source.substr(3) : Source;
  // A page that can declare its set in ASCII is not in UTF-16 or UTF-32, whatever it says; and
  // pages labelled Latin-1 or ASCII are written in its Windows superset.
  if (Set.rfind("utf-16", 0) == 0 || Set.rfind("utf-32", 0) == 0 || Set == "unicode") Set = "utf-8";
  if (Set == "iso-8859-1" || Set == "iso8859-1" || Set == "iso_8859-1" || Set == "latin1" || Set == "l1" ||
      Set == "us-ascii" || Set == "ascii")
    Set = "windows-1252";
  std::string Out;
  if (Set.empty() || !CharsetToCp1250(Text, Set, Out)) return Text;
  return Out;
}
