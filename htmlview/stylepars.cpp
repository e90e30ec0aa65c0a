#include "htmlview/stylepars.h"

#include "htmlview/readhtml.h"
#include "htmlview/urlsubs.h"

namespace {

const char* const ShorthandNames[] = {"margin", "padding", "border-width", "border", "border-top", "border-right",
                                      "border-bottom", "border-left", "font", "background", "list-style"};
const char* const FontKeywords[] = {"italic",  "oblique", "normal",   "bolder",  "lighter", "bold",
                                    "small-caps", "larger", "smaller", "xx-small", "x-small", "small",
                                    "medium",  "large",   "x-large",  "xx-large"};
const char* const BorderStyles[] = {"none", "solid", "dashed", "dotted", "double", "groove", "inset", "outset", "ridge"};

bool IsLetter(char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z');
}
bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}
bool IsSelectorChar(char C) {
  return C == ' ' || C == '#' || C == '-' || C == '.' || IsDigit(C) || C == ':' || IsLetter(C) || C == '_';
}
bool IsNameChar(char C) {
  return C == '-' || IsDigit(C) || IsLetter(C);
}

int IndexIn(const std::string& W, const char* const* List, int N) {
  for (int I = 0; I < N; ++I)
    if (W == List[I]) return I;
  return -1;
}

std::string StripQuotes(const std::string& S) {
  if (S.size() >= 2 && (S[0] == '"' || S[0] == '\'') && S.back() == S[0]) return S.substr(1, S.size() - 2);
  return S;
}

// Characters of a sheet: CR becomes a blank, comments are dropped.
class TStyleReader {
 public:
  explicit TStyleReader(const TGetCharFunc& Get) : FGet(Get) {}
  char Ch = EofChar;
  // Set when the last comment ended at a "<" (or the end) instead of its "*/".
  bool CommentCut = false;

  void Next() {
    CommentCut = false;
    Ch = Raw();
    while (Ch == '/') {
      char N = Raw();
      if (N != '*') {
        FPushed = true;
        FPushedCh = N;
        return;
      }
      // A comment ends at "*/", at "<" or at the end of input.
      char Prev = 0;
      for (;;) {
        char C = Raw();
        if (C == '<' || C == EofChar) {
          Ch = C;
          CommentCut = true;
          return;
        }
        if (Prev == '*' && C == '/') break;
        Prev = C;
      }
      Ch = Raw();
    }
  }
  // Starts at a character the caller has already taken: it may open a comment as well.
  void Start(char First) {
    FPushed = true;
    FPushedCh = First;
    Next();
  }
  void SkipBlanks() {
    while (Ch == ' ') Next();
  }

 private:
  char Raw() {
    char C;
    if (FPushed) {
      FPushed = false;
      C = FPushedCh;
    } else {
      C = FGet();
    }
    if (C == '\r' || C == '\n' || C == '\t') C = ' ';
    return C;
  }
  const TGetCharFunc& FGet;
  bool FPushed = false;
  char FPushedCh = 0;
};

// Cuts "url(...)" and "rgb(...)" groups out of a value.
void CutGroups(std::string& Value, const char* Prefix, std::vector<std::string>& Groups) {
  for (;;) {
    size_t P = Value.find(Prefix);
    if (P == std::string::npos || Groups.size() >= 7) return;
    size_t E = Value.find(')', P);
    size_t End = E == std::string::npos ? Value.size() : E + 1;
    Groups.push_back(Value.substr(P, End - P));
    Value.erase(P, End - P);
  }
}

void ExpandSides(const std::string& Name, const std::vector<std::string>& W, const TPropSetter& Set) {
  if (W.empty()) return;
  static const char* const Sides[] = {"top", "right", "bottom", "left"};
  auto PropName = [&](int Side) {
    if (Name == "border-width") return std::string("border-") + Sides[Side] + "-width";
    return Name + "-" + Sides[Side];
  };
  std::string V[4];
  switch (W.size()) {
    case 1: V[0] = V[1] = V[2] = V[3] = W[0]; break;
    case 2: V[0] = V[2] = W[0]; V[1] = V[3] = W[1]; break;
    case 3: V[0] = W[0]; V[1] = V[3] = W[1]; V[2] = W[2]; break;
    default: V[0] = W[0]; V[1] = W[1]; V[2] = W[2]; V[3] = W[3]; break;
  }
  for (int S = 0; S < 4; ++S) Set(PropName(S), V[S]);
}

void ExpandBorder(const std::string& Name, const std::string& Value, const TPropSetter& Set) {
  std::string Rest = Value;
  std::vector<std::string> Rgb;
  CutGroups(Rest, "rgb(", Rgb);
  for (const std::string& G : Rgb) Set("border-color", G);
  for (const std::string& W : SplitValueWords(Rest)) {
    int32_t C;
    if (ColorFromString(W, true, C)) {
      Set("border-color", W);
    } else if (IndexIn(W, BorderStyles, 9) >= 0) {
      Set(Name + "-style", W);
    } else if (Name == "border") {
      for (const char* S : {"border-top-width", "border-right-width", "border-bottom-width", "border-left-width"})
        Set(S, W);
    } else {
      Set(Name + "-width", W);
    }
  }
}

void ExpandFont(const std::string& Value, const TPropSetter& Set) {
  for (const std::string& W : SplitValueWords(Value)) {
    if (!W.empty() && W[0] == '/') {
      Set("line-height", W.substr(1));
      continue;
    }
    int K = IndexIn(W, FontKeywords, 16);
    if (K == 0 || K == 1)
      Set("font-style", W);
    else if (K >= 2 && K <= 5)
      Set("font-weight", W);
    else if (K == 6)
      Set("font-variant", W);
    else if (K >= 7)
      Set("font-size", W);
    else if (!W.empty() && IsDigit(W[0]))
      Set("font-size", W);
    else
      Set("font-family", W);
  }
}

void ExpandBackground(const std::string& Value, const std::string& Base, const TPropSetter& Set) {
  std::string Rest = Value;
  std::vector<std::string> Rgb, Urls;
  CutGroups(Rest, "rgb(", Rgb);
  CutGroups(Rest, "url(", Urls);
  for (const std::string& G : Rgb) Set("background-color", G);
  for (const std::string& U : Urls) Set("background-image", Base.empty() ? U : MakeAbsoluteUrl(U, Base));
  std::vector<std::string> Words = SplitValueWords(Rest);
  for (const std::string& W : Words) {
    int32_t C;
    if (ColorFromString(W, true, C))
      Set("background-color", W);
    else if (W == "none")
      Set("background-image", W);
    if (W.find("repeat") != std::string::npos) Set("background-repeat", W);
  }
  if (Words.size() == 1)
    Set("background-position", Words[0]);
  else if (Words.size() >= 2)
    Set("background-position", Words[Words.size() - 2] + " " + Words.back());
}

void ExpandListStyle(const std::string& Value, const std::string& Base, const TPropSetter& Set) {
  for (const std::string& W : SplitValueWords(Value)) {
    if (W.find("url(") != std::string::npos)
      Set("list-style-image", Base.empty() ? W : MakeAbsoluteUrl(W, Base));
    else
      Set("list-style-type", W);
  }
}

}  // namespace

bool IsShorthand(const std::string& Name) {
  return IndexIn(Name, ShorthandNames, 11) >= 0;
}

void ExpandShorthand(const std::string& Name, const std::string& Value, const std::string& BasePath,
                     const TPropSetter& Set) {
  if (Name == "margin" || Name == "padding" || Name == "border-width")
    ExpandSides(Name, SplitValueWords(Value), Set);
  else if (Name == "border" || Name == "border-top" || Name == "border-right" || Name == "border-bottom" ||
           Name == "border-left")
    ExpandBorder(Name, Value, Set);
  else if (Name == "font")
    ExpandFont(Value, Set);
  else if (Name == "background")
    ExpandBackground(Value, BasePath, Set);
  else if (Name == "list-style")
    ExpandListStyle(Value, BasePath, Set);
}

std::vector<std::string> SplitValueWords(const std::string& Value) {
  std::string S = Trim(Value);
  std::vector<std::string> Words;
  std::string Cur;
  char Quote = 0;
  auto Flush = [&]() {
    if (!Cur.empty() && Words.size() < 7) Words.push_back(Cur);
    Cur.clear();
  };
  for (size_t I = 0; I < S.size(); ++I) {
    char C = S[I];
    if (Quote) {
      Cur += C;
      if (C == Quote) Quote = 0;
    } else if (C == '"' || C == '\'') {
      Quote = C;
      Cur += C;
    } else if (C == ' ') {
      // Blanks after a comma do not separate words ("arial, serif" is one word).
      if (!Cur.empty() && Cur.back() == ',') continue;
      Flush();
    } else if (C == '/' && !Cur.empty()) {
      Flush();
      Cur = "/";
    } else if (C == ',') {
      // Blanks before a comma belong to the word before it.
      if (Cur.empty() && !Words.empty()) {
        Cur = Words.back();
        Words.pop_back();
      }
      Cur += C;
    } else {
      Cur += C;
    }
  }
  Flush();
  return Words;
}

std::string MakeAbsoluteUrl(const std::string& Value, const std::string& Base) {
  size_t P = Value.find("url(");
  if (P == std::string::npos || Base.empty()) return Value;
  size_t E = Value.find(')', P);
  std::string Inner = Trim(Value.substr(P + 4, E == std::string::npos ? std::string::npos : E - P - 4));
  Inner = StripQuotes(Inner);
  if (Base.find("://") != std::string::npos) {
    if (!IsCompleteUrl(Inner)) Inner = CombineUrl(Base, Inner);
  } else if (!((Inner.size() >= 2 && Inner[1] == ':') || Inner.rfind("\\\\", 0) == 0)) {
    Inner = Base + Inner;
  }
  return "url(" + Inner + ")";
}

std::string SelectorKey(const std::string& Selector, TStyleList& Styles) {
  std::vector<std::string> Parts;
  size_t Start = 0;
  while (Start < Selector.size()) {
    size_t B = Selector.find(' ', Start);
    std::string Part = Selector.substr(Start, B == std::string::npos ? std::string::npos : B - Start);
    if (!Part.empty()) Parts.push_back(Part);
    if (B == std::string::npos) break;
    Start = B + 1;
  }
  if (Parts.size() <= 1) return Parts.empty() ? std::string() : Parts[0];
  std::string Key = Parts.back() + " " + std::to_string(Parts.size() - 1) + Styles.GetSeq();
  for (size_t I = Parts.size() - 1; I-- > 0;) Key += Parts[I] + " ";
  return Key;
}

void ReadStyleSheet(TStyleList& Styles, char& Ch, const TGetCharFunc& GetChar, const std::string& BasePath,
                    const TGetCharFunc& Peek) {
  TStyleReader R(GetChar);
  R.Start(Ch);
  auto AtEnd = [&]() { return R.Ch == EofChar || R.Ch == '<'; };
  // The ">" of the STYLE tag and an enclosing "<!--". With a peek function a "<" is skipped only
  // when "!" follows, so that an empty sheet keeps the "<" of "</STYLE>".
  while (R.Ch == ' ' || R.Ch == '!' || R.Ch == '-' || R.Ch == '>' ||
         (R.Ch == '<' && !R.CommentCut && (!Peek || Peek() == '!')))
    R.Next();
  while (!AtEnd()) {
    if (R.Ch == '@') {
      while (R.Ch != ';' && R.Ch != '{' && R.Ch != EofChar) R.Next();
      if (R.Ch == '{')
        while (R.Ch != '}' && R.Ch != EofChar) R.Next();
      if (R.Ch != EofChar) R.Next();
    } else {
      std::vector<std::string> Selectors;
      for (;;) {
        std::string Sel;
        while (IsSelectorChar(R.Ch)) {
          Sel += R.Ch;
          R.Next();
        }
        Sel = LowerCase(Trim(Sel));
        if (!Sel.empty()) Selectors.push_back(SelectorKey(Sel, Styles));
        if (R.Ch != ',') break;
        R.Next();
      }
      while (R.Ch != '{' && !AtEnd()) R.Next();
      if (R.Ch == '{') {
        R.Next();
        for (;;) {
          R.SkipBlanks();
          if (R.Ch == '}' || AtEnd()) break;
          std::string Name;
          while (IsNameChar(R.Ch)) {
            Name += R.Ch;
            R.Next();
          }
          Name = LowerCase(Trim(Name));
          R.SkipBlanks();
          if (R.Ch == ':') {
            R.Next();
            std::string Value;
            while (R.Ch != ';' && R.Ch != '}' && !AtEnd()) {
              Value += R.Ch;
              R.Next();
            }
            std::string Raw = LowerCase(Trim(Value));
            Value = StripQuotes(Raw);
            if (IsShorthand(Name)) {
              ExpandShorthand(Name, Name == "font" ? Raw : Value, BasePath,
                              [&](const std::string& N, const std::string& V) {
                                for (const std::string& S : Selectors) Styles.AddModifyProp(S, N, V);
                              });
            } else if (!Name.empty()) {
              if (!BasePath.empty() && Value.find("url(") != std::string::npos) Value = MakeAbsoluteUrl(Value, BasePath);
              for (const std::string& S : Selectors) Styles.AddModifyProp(S, Name, Value);
            }
          } else if (Name.empty() && R.Ch != '}' && !AtEnd()) {
            R.Next();  // a stray character: step over it
          }
          while (!IsNameChar(R.Ch) && R.Ch != '}' && !AtEnd()) R.Next();
        }
        if (R.Ch == '}') R.Next();
      }
    }
    while (R.Ch == ' ' || R.Ch == '-' || R.Ch == '>') R.Next();
  }
  Ch = (R.Ch >= 'a' && R.Ch <= 'z') ? static_cast<char>(R.Ch - ('a' - 'A')) : R.Ch;
}

void ParseStyleAttribute(TProperties& Props, const std::string& Text) {
  const std::string S = LowerCase(Text);
  size_t I = 0;
  TGetCharFunc Get = [&]() -> char { return I < S.size() ? S[I++] : EofChar; };
  TStyleReader R(Get);
  R.Next();
  TPropSetter Set = [&](const std::string& N, const std::string& V) { Props.AssignByName(N, V); };
  while (R.Ch != EofChar) {
    R.SkipBlanks();
    std::string Name;
    while (IsNameChar(R.Ch)) {
      Name += R.Ch;
      R.Next();
    }
    Name = Trim(Name);
    R.SkipBlanks();
    if (R.Ch == ':') {
      R.Next();
      std::string Value;
      while (R.Ch != ';' && R.Ch != EofChar) {
        Value += R.Ch;
        R.Next();
      }
      std::string Raw = Trim(Value);
      Value = StripQuotes(Raw);
      if (IsShorthand(Name))
        ExpandShorthand(Name, Name == "font" ? Raw : Value, std::string(), Set);
      else if (!Name.empty())
        Props.AssignByName(Name, Value);
    } else if (Name.empty() && R.Ch != EofChar) {
      R.Next();
    }
    while (!IsNameChar(R.Ch) && R.Ch != EofChar) R.Next();
  }
}
