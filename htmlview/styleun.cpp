#include "htmlview/styleun.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "htmlview/colornames.h"

const char* const PropNames[PropCount] = {
    "font-family",        "font-size",          "font-style",          "font-weight",
    "text-align",         "text-decoration",    "border-style",        "color",
    "background-color",   "border-color",       "margin-top",          "margin-right",
    "margin-bottom",      "margin-left",        "padding-top",         "padding-right",
    "padding-bottom",     "padding-left",       "border-top-width",    "border-right-width",
    "border-bottom-width", "border-left-width", "border-top-style",    "border-right-style",
    "border-bottom-style", "border-left-style", "width",               "height",
    "top",                "left",               "visibility",          "line-height",
    "background-image",   "background-position", "background-repeat",  "vertical-align",
    "position",           "z-index",            "list-style-type",     "list-style-image",
    "float",              "clear",
};

int PropIndexOf(const std::string& Name) {
  for (int I = 0; I < PropCount; ++I)
    if (Name == PropNames[I]) return I;
  return -1;
}

namespace {

bool IsBoxIndex(int I) {
  return I >= MarginTop && I <= LeftPos;
}

int RoundInt(double V) {
  if (!(V == V)) return 0;
  if (V >= 2147483647.0) return 2147483647;
  if (V <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(std::nearbyint(V));
}

// The leading number of a style value and the unit after it ("2em" reads 2 and "em").
bool SplitNumber(const std::string& Text, double& N, std::string& Unit) {
  std::string T = LowerCase(Trim(Text));
  size_t I = 0;
  while (I < T.size() && ((T[I] >= '0' && T[I] <= '9') || T[I] == '.' || T[I] == '-' || T[I] == '+')) ++I;
  Unit = Trim(T.substr(I));
  std::string Num = T.substr(0, I);
  if (Num.empty()) return false;
  char* End = nullptr;
  N = std::strtod(Num.c_str(), &End);
  return End == Num.c_str() + Num.size() && std::isfinite(N);
}

bool IsInherited(int I) {
  switch (I) {
    case FontFamily: case FontSize: case FontStyle: case FontWeight: case TextAlign: case TextDecoration:
    case Color: case Visibility: case LineHeight: case ZIndex: case ListStyleType: case ListStyleImage:
      return true;
    default:
      return false;
  }
}

TPropValue InitialValue(int I) {
  if (IsBoxIndex(I)) return NotSet;
  if (I == ZIndex) return 0;
  return std::monostate();
}

int32_t ColorRef(int32_t C) {
  return (C >= 0 && C <= 0xFFFFFF) ? (C | PaletteRelative) : C;
}

std::string UrlInside(const std::string& V) {
  std::string S = Trim(V);
  if (S.empty() || LowerCase(S) == "none") return std::string();
  size_t P = LowerCase(S).find("url(");
  if (P != std::string::npos) {
    S = S.substr(P + 4);
    size_t E = S.rfind(')');
    if (E != std::string::npos) S.erase(E);
    S = Trim(S);
  }
  if (S.size() >= 2 && (S[0] == '"' || S[0] == '\'') && S.back() == S[0]) S = S.substr(1, S.size() - 2);
  return S;
}

}  // namespace

std::string PropString(const TPropValue& V) {
  if (const std::string* S = std::get_if<std::string>(&V)) return *S;
  if (const int* I = std::get_if<int>(&V)) return std::to_string(*I);
  if (const double* D = std::get_if<double>(&V)) {
    std::string S = std::to_string(*D);
    while (!S.empty() && S.back() == '0') S.pop_back();
    if (!S.empty() && S.back() == '.') S.pop_back();
    return S;
  }
  return std::string();
}

bool PropNumber(const TPropValue& V, double& N) {
  if (const int* I = std::get_if<int>(&V)) {
    N = *I;
    return true;
  }
  if (const double* D = std::get_if<double>(&V)) {
    N = *D;
    return true;
  }
  return false;
}

bool CodePageOfCharSet(uint8_t CharSet, int& CodePage) {
  static const struct {
    uint8_t Set;
    int Page;
  } Table[] = {{0, 1252},   {1, 0},     {2, 0},     {77, 2},    {128, 932}, {129, 949}, {130, 1361},
               {134, 936},  {136, 950}, {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256},
               {186, 1257}, {204, 1251}, {222, 874}, {238, 1250}, {255, 1}};
  for (const auto& E : Table)
    if (E.Set == CharSet) {
      CodePage = E.Page;
      return true;
    }
  return false;
}

// ---- value conversions ----

double FontSizeToPoints(const std::string& Text, double Parent, double Default) {
  double N;
  std::string Unit;
  if (SplitNumber(Text, N, Unit)) {
    if (Unit.empty() || Unit == "px") return N * 72.0 / ScreenPixelsPerInch;
    if (Unit == "in") return N * 72.0;
    if (Unit == "cm") return N * 72.0 / 2.54;
    if (Unit == "mm") return N * 72.0 / 25.4;
    if (Unit == "pt") return N;
    if (Unit == "pc") return N * 12.0;
    if (Unit == "em") return N * Parent;
    if (Unit == "ex") return N * Parent / 2.0;
    if (Unit == "%") return N * Parent / 100.0;
    return Default;
  }
  std::string W = LowerCase(Trim(Text));
  if (W == "smaller") return 0.75 * Parent;
  if (W == "larger") return 1.25 * Parent;
  if (W == "xx-small") return Default / 1.5;
  if (W == "x-small") return Default / 1.2;
  if (W == "small") return Default;
  if (W == "medium") return 1.2 * Default;
  if (W == "large") return 1.5 * Default;
  if (W == "x-large") return 2.0 * Default;
  if (W == "xx-large") return 3.0 * Default;
  return Default;
}

int LengthToPixels(const std::string& Text, bool BareIsFactor, int Base, int Default, int ExPixels, int EmPixels) {
  double N;
  std::string Unit;
  if (!SplitNumber(Text, N, Unit)) return Default;
  double R;
  if (Unit.empty())
    R = BareIsFactor ? N * Base : N;
  else if (Unit == "px")
    R = N;
  else if (Unit == "in")
    R = N * ScreenPixelsPerInch;
  else if (Unit == "cm")
    R = N * ScreenPixelsPerInch / 2.54;
  else if (Unit == "mm")
    R = N * ScreenPixelsPerInch / 25.4;
  else if (Unit == "pt")
    R = N * ScreenPixelsPerInch / 72.0;
  else if (Unit == "pc")
    R = N * ScreenPixelsPerInch / 6.0;
  else if (Unit == "em")
    R = N * EmPixels;
  else if (Unit == "ex")
    R = N * ExPixels;
  else if (Unit == "%")
    R = N * Base / 100.0;
  else
    return Default;
  return RoundInt(R);
}

namespace {

bool ParseRgb(const std::string& S, int32_t& Color) {
  size_t Open = S.find('(');
  size_t Close = S.find(')', Open == std::string::npos ? 0 : Open);
  if (Open == std::string::npos || Close == std::string::npos) return false;
  std::string Inner = S.substr(Open + 1, Close - Open - 1);
  int C[3];
  size_t Start = 0;
  for (int K = 0; K < 3; ++K) {
    size_t Comma = Inner.find(',', Start);
    if ((K < 2) != (Comma != std::string::npos)) return false;
    std::string Part = Trim(Inner.substr(Start, Comma == std::string::npos ? std::string::npos : Comma - Start));
    bool Percent = !Part.empty() && Part.back() == '%';
    if (Percent) Part.pop_back();
    Part = Trim(Part);
    if (Part.empty()) return false;
    char* End = nullptr;
    double V = std::strtod(Part.c_str(), &End);
    if (End != Part.c_str() + Part.size() || !std::isfinite(V)) return false;
    if (!Percent && V != std::floor(V)) return false;
    if (Percent) V = std::nearbyint(V * 2.55);
    C[K] = static_cast<int>(std::clamp(V, 0.0, 255.0));
    Start = Comma == std::string::npos ? Inner.size() : Comma + 1;
  }
  Color = C[0] | (C[1] << 8) | (C[2] << 16) | PaletteRelative;
  return true;
}

}  // namespace

bool ColorFromString(const std::string& Text, bool NeedHash, int32_t& Color) {
  // One-entry cache; the "#" flag is part of the key, since it decides the result.
  static std::string LastText;
  static bool LastNeedHash = false;
  static int32_t LastColor = 0;
  static bool HaveLast = false;
  std::string S = LowerCase(Trim(Text));
  if (HaveLast && S == LastText && NeedHash == LastNeedHash) {
    Color = LastColor;
    return true;
  }
  bool Ok = false;
  int32_t C = 0;
  if (!S.empty() && S[0] != '#' && S.find("rgb(") == std::string::npos) {
    for (const TColorName& N : ColorNames)
      if (S == N.Name) {
        C = N.RGB < 0 ? Transparent
                      : (((N.RGB >> 16) & 0xFF) | (N.RGB & 0xFF00) | ((N.RGB & 0xFF) << 16) | PaletteRelative);
        Ok = true;
        break;
      }
  }
  if (!Ok && S.rfind("rgb", 0) == 0) {
    Ok = ParseRgb(S, C);
    if (!Ok) return false;
  }
  if (!Ok) {
    size_t Hash = S.rfind('#');
    std::string H;
    if (Hash != std::string::npos)
      H = S.substr(Hash + 1);
    else if (NeedHash)
      return false;
    else
      H = S;
    if (H.empty() || H.size() > 6) return false;
    if (H.size() < 4) {
      std::string D;
      for (char Ch : H) D += std::string(2, Ch);
      H = D;
    }
    uint32_t V = 0;
    for (char Ch : H) {
      int Digit = (Ch >= '0' && Ch <= '9') ? Ch - '0' : (Ch >= 'a' && Ch <= 'f') ? Ch - 'a' + 10 : -1;
      if (Digit < 0) return false;
      V = V * 16 + static_cast<uint32_t>(Digit);
    }
    C = static_cast<int32_t>(((V >> 16) & 0xFF) | (V & 0xFF00) | ((V & 0xFF) << 16)) | PaletteRelative;
    Ok = true;
  }
  LastText = S;
  LastNeedHash = NeedHash;
  LastColor = C;
  HaveLast = true;
  Color = C;
  return true;
}

// ---- fonts ----

std::function<bool(const std::string& Family)> FontAvailable;

std::string FirstAvailableFont(const std::string& Families) {
  std::string Rest = Families;
  while (!Rest.empty()) {
    size_t Comma = Rest.find(',');
    std::string Name = Trim(Rest.substr(0, Comma));
    Rest = Comma == std::string::npos ? std::string() : Rest.substr(Comma + 1);
    std::string L = LowerCase(Name);
    if (L == "serif")
      Name = "Times New Roman";
    else if (L == "monospace")
      Name = "Courier New";
    else if (L == "sans-serif")
      Name = "Arial";
    else if (L == "cursive")
      Name = "Lucida Handwriting";
    if (!Name.empty() && (Name.front() == '"' || Name.front() == '\'')) Name.erase(0, 1);
    if (!Name.empty() && (Name.back() == '"' || Name.back() == '\'')) Name.pop_back();
    if (Name.empty()) continue;
    if (!FontAvailable || FontAvailable(Name)) return Name;
  }
  return std::string();
}

// ---- TProperties ----

TProperties::TProperties() {
  for (int I = 0; I < PropCount; ++I) Props[I] = InitialValue(I);
}

TProperties::~TProperties() = default;

void TProperties::Inherit(const TProperties& Parent) {
  for (int I = 0; I < PropCount; ++I) {
    Props[I] = IsInherited(I) ? Parent.Props[I] : InitialValue(I);
    Assigned[I] = false;
  }
  BackgroundColorField = Parent.BackgroundColorField;
  CharSet = Parent.CharSet;
  CodePage = Parent.CodePage;
  IsLink = Parent.IsLink;
  if (Parent.FFontInfo) {
    FFontInfo = std::make_unique<TFontInfoArray>();
    FFontInfo->Assign(*Parent.FFontInfo);
  } else {
    FFontInfo.reset();
  }
  FFont.reset();
  // The em of a font is its height without internal leading: the point size at the screen's PPI.
  double Size;
  if (PropNumber(Parent.Props[FontSize], Size) && Size > 0) {
    EmSize = RoundInt(Size * ScreenPixelsPerInch / 72.0);
    ExSize = EmSize / 2;
  } else {
    EmSize = Parent.EmSize;
    ExSize = Parent.ExSize;
  }
}

void TProperties::Copy(const TProperties& Source) {
  Props = Source.Props;
  Assigned = Source.Assigned;
  AssignCharSet(Source.CharSet);
  PropTag = "default";
  FFont.reset();
}

void TProperties::CopyValues(const TProperties& Source) {
  Props = Source.Props;
  Assigned = Source.Assigned;
}

void TProperties::Update(const TProperties& Parent, TStyleList& Styles, TPropStack& Stack, int StackIndex) {
  // Values this element did not set itself follow the parent again; values that do not inherit
  // go back to their initial state.
  for (int I = 0; I < PropCount; ++I)
    if (!Assigned[I]) Props[I] = IsInherited(I) ? Parent.Props[I] : InitialValue(I);
  FFont.reset();
  if (Parent.FFontInfo) {
    FFontInfo = std::make_unique<TFontInfoArray>();
    FFontInfo->Assign(*Parent.FFontInfo);
  } else {
    FFontInfo.reset();
    if (PropPseudo == "link") SetLinkFontInfos(Styles, Stack, StackIndex);
  }
}

void TProperties::WriteFontRecords(int Index, const TPropValue& Value) {
  if (!FFontInfo) return;
  for (ThtFontInfo& F : FFontInfo->Ar) {
    std::string S = LowerCase(PropString(Value));
    double N;
    switch (Index) {
      case FontFamily: {
        std::string Face = FirstAvailableFont(PropString(Value));
        if (!Face.empty()) F.iName = Face;
        break;
      }
      case FontSize:
        if (PropNumber(Value, N))
          F.iSize = RoundInt(N);
        else if (!S.empty())
          F.iSize = RoundInt(FontSizeToPoints(S, F.iSize, F.iSize));
        break;
      case FontStyle:
        F.iStyle = (S == "italic" || S == "oblique") ? (F.iStyle | ThtFontInfo::fsItalic)
                                                     : (F.iStyle & ~ThtFontInfo::fsItalic);
        break;
      case FontWeight: {
        bool Bold = S.find("bold") != std::string::npos || (PropNumber(Value, N) && N >= 600) ||
                    std::atoi(S.c_str()) >= 600;
        F.iStyle = Bold ? (F.iStyle | ThtFontInfo::fsBold) : (F.iStyle & ~ThtFontInfo::fsBold);
        break;
      }
      case TextDecoration:
        F.iStyle &= ~(ThtFontInfo::fsUnderline | ThtFontInfo::fsStrikeOut);
        if (S == "underline") F.iStyle |= ThtFontInfo::fsUnderline;
        if (S == "line-through") F.iStyle |= ThtFontInfo::fsStrikeOut;
        break;
      case Color:
        if (IsInt(Value)) F.iColor = std::get<int>(Value);
        break;
      case BackgroundColor:
        if (IsInt(Value)) F.ibgColor = std::get<int>(Value);
        break;
      default:
        return;
    }
  }
}

void TProperties::AssignProp(const TPropValue& Value, int Index) {
  if (Index < 0 || Index >= PropCount) return;
  if (!Assigned[Index]) {
    Props[Index] = Value;
    FFont.reset();
    if (Index == FontFamily || Index == FontSize || Index == Color) WriteFontRecords(Index, Value);
  }
  Assigned[Index] = true;
}

void TProperties::AssignByName(const std::string& Name, const std::string& Value) {
  int I = PropIndexOf(Name);
  if (I < 0) return;
  int32_t C;
  switch (I) {
    case BorderStyle:
      for (int K = BorderTopStyle; K <= BorderLeftStyle; ++K) {
        Props[K] = Value;
        Assigned[K] = true;
      }
      Props[I] = Value;
      break;
    case Color:
      Props[I] = ColorFromString(Value, false, C) ? C : 0;
      break;
    case BackgroundColor:
    case BorderColor:
      Props[I] = ColorFromString(Value, false, C) ? C : Transparent;
      break;
    case BorderTopStyle:
    case BorderRightStyle:
    case BorderBottomStyle:
    case BorderLeftStyle:
      Props[I] = Value;
      Props[BorderStyle] = Value;
      Assigned[BorderStyle] = true;
      break;
    case Visibility: {
      std::string V = LowerCase(Trim(Value));
      if (V == "visible")
        Props[I] = 2;
      else if (V == "hidden")
        Props[I] = 1;
      else
        return;
      break;
    }
    default:
      Props[I] = Value;
  }
  Assigned[I] = true;
  FFont.reset();
}

void TProperties::AssignCharSet(uint8_t Set) {
  CharSet = Set;
  int Page;
  if (CodePageOfCharSet(Set, Page)) CodePage = Page;
  FFont.reset();
}

void TProperties::Merge(const TProperties& Rule) {
  for (int I = 0; I < PropCount; ++I) {
    if (!Rule.Assigned[I]) continue;
    const TPropValue& V = Rule.Props[I];
    if (IsBoxIndex(I) && IsInt(V) && std::get<int>(V) == NotSet) continue;
    Props[I] = V;
    Assigned[I] = true;
    WriteFontRecords(I, V);
  }
  FFont.reset();
}

namespace {

struct TSelectorPart {
  std::string Tag, Class, ID, Pseudo;
};

TSelectorPart SplitSelector(const std::string& S) {
  TSelectorPart R;
  std::string* Cur = &R.Tag;
  for (char C : S) {
    if (C == '.')
      Cur = &R.Class;
    else if (C == '#')
      Cur = &R.ID;
    else if (C == ':')
      Cur = &R.Pseudo;
    else
      *Cur += C;
  }
  return R;
}

bool PartMatches(const TSelectorPart& P, const std::string& Tag, const std::string& Class, const std::string& ID,
                 const std::string& Pseudo) {
  return (P.Tag.empty() || P.Tag == Tag) && (P.Class.empty() || P.Class == Class) &&
         (P.ID.empty() || P.ID == ID) && (P.Pseudo.empty() || P.Pseudo == Pseudo);
}

}  // namespace

void TProperties::Combine(TStyleList& Styles, const std::string& Tag, const std::string& AClass,
                          const std::string& ID, const std::string& Pseudo, TProperties* StyleAttr,
                          TPropStack& Stack, int StackIndex) {
  double BaseSize;
  if (!PropNumber(Props[FontSize], BaseSize) || BaseSize <= 0) BaseSize = Styles.DefPointSize;

  auto MergeKey = [&](const std::string& Key) {
    for (int I = Styles.IndexOf(Key); I >= 0 && I < Styles.Count() && SameText(Styles.Strings(I), Key); ++I)
      Merge(*Styles.Objects(I));
  };
  const bool P = Pseudo.empty() || (Pseudo != "hover" && Pseudo != "visited");
  const bool HasTag = !Tag.empty(), HasClass = !AClass.empty(), HasPseudo = !Pseudo.empty(), HasID = !ID.empty();

  if (HasPseudo && Tag == "a") MergeKey("::" + Pseudo);
  if (HasTag && P) MergeKey(Tag);
  if (HasPseudo) MergeKey(":" + Pseudo);
  if (HasClass && P) MergeKey("." + AClass);
  if (HasTag && HasClass && P) MergeKey(Tag + "." + AClass);
  if (HasTag && HasPseudo) MergeKey(Tag + ":" + Pseudo);
  if (HasClass && HasPseudo) MergeKey("." + AClass + ":" + Pseudo);
  if (HasTag && HasClass && HasPseudo) MergeKey(Tag + "." + AClass + ":" + Pseudo);
  if (HasID) {
    MergeKey("#" + ID);
    if (HasTag) MergeKey(Tag + "#" + ID);
    if (HasClass) MergeKey("." + AClass + "#" + ID);
    if (HasPseudo) MergeKey("#" + ID + ":" + Pseudo);
    if (HasTag && HasPseudo) MergeKey(Tag + "#" + ID + ":" + Pseudo);
    if (HasTag && HasClass) MergeKey(Tag + "." + AClass + "#" + ID);
    if (HasClass && HasPseudo) MergeKey("." + AClass + "#" + ID + ":" + Pseudo);
    if (HasTag && HasClass && HasPseudo) MergeKey(Tag + "." + AClass + "#" + ID + ":" + Pseudo);
  }

  // Descendant rules: keys "element <count><seq>parent ... ".
  auto Scan = [&](const std::string& Prefix) {
    for (int I = Styles.LowerBound(Prefix); I < Styles.Count(); ++I) {
      const std::string& Key = Styles.Strings(I);
      if (Key.size() < Prefix.size() || !SameText(Key.substr(0, Prefix.size()), Prefix)) break;
      std::vector<std::string> Parts;
      size_t Start = 0;
      while (Start < Key.size() && Parts.size() < 10) {
        size_t Blank = Key.find(' ', Start);
        std::string Part = Key.substr(Start, Blank == std::string::npos ? std::string::npos : Blank - Start);
        if (!Part.empty()) Parts.push_back(Part);
        if (Blank == std::string::npos) break;
        Start = Blank + 1;
      }
      if (Parts.empty()) continue;
      if (Parts.size() > 1) {
        size_t D = 0;
        while (D < Parts[1].size() && Parts[1][D] >= '0' && Parts[1][D] <= '9') ++D;
        Parts[1].erase(0, D);
      }
      TSelectorPart E = SplitSelector(Parts[0]);
      if (E.Tag != Tag && E.Class != AClass && E.Pseudo != Pseudo) break;
      if (Parts.size() < 2 || !PartMatches(E, Tag, AClass, ID, Pseudo)) continue;
      int Level = StackIndex - 1;
      bool All = true;
      for (size_t K = 1; K < Parts.size() && All; ++K) {
        TSelectorPart A = SplitSelector(Parts[K]);
        bool Found = false;
        for (; Level >= 0 && !Found; --Level) {
          const TProperties* Q = Stack[Level];
          if (PartMatches(A, Q->PropTag, Q->PropClass, Q->PropID, Q->PropPseudo) &&
              (!A.Tag.empty() || !A.Class.empty() || !A.ID.empty() || !A.Pseudo.empty()))
            Found = true;
        }
        All = Found;
      }
      if (All) Merge(*Styles.Objects(I));
    }
  };
  if (StackIndex > Stack.Count()) StackIndex = Stack.Count();
  if (HasTag) Scan(Tag);
  if (HasClass) Scan("." + AClass);
  if (HasPseudo) Scan(":" + Pseudo);

  if (StyleAttr) Merge(*StyleAttr);

  if (const std::string* S = std::get_if<std::string>(&Props[FontSize]))
    Props[FontSize] = FontSizeToPoints(*S, BaseSize, Styles.DefPointSize);

  PropTag = Tag;
  PropClass = AClass;
  PropID = ID;
  PropPseudo = Pseudo;
  PropStyle = StyleAttr;
  FFont.reset();
  if (Pseudo == "link") {
    IsLink = true;
    SetLinkFontInfos(Styles, Stack, StackIndex);
  }
}

void TProperties::GetFontInfo(ThtFontInfo& Info) const {
  Info.ibgColor = BackgroundColorField;
  Info.iColor = IsInt(Props[Color]) ? std::get<int>(Props[Color]) : 0;
  std::string Weight = LowerCase(PropString(Props[FontWeight]));
  double N;
  bool Bold = Weight.find("bold") != std::string::npos ||
              (PropNumber(Props[FontWeight], N) ? N >= 600 : std::atoi(Weight.c_str()) >= 600);
  std::string Style = LowerCase(PropString(Props[FontStyle]));
  std::string Decoration = LowerCase(PropString(Props[TextDecoration]));
  Info.iStyle = (Bold ? ThtFontInfo::fsBold : 0) | ((Style == "italic" || Style == "oblique") ? ThtFontInfo::fsItalic : 0) |
                (Decoration == "underline" ? ThtFontInfo::fsUnderline : 0) |
                (Decoration == "line-through" ? ThtFontInfo::fsStrikeOut : 0);
  Info.iSize = PropNumber(Props[FontSize], N) ? RoundInt(N) : 12;
  Info.iCharSet = CharSet;
  Info.iName = FirstAvailableFont(PropString(Props[FontFamily]));
  if (LowerCase(Info.iName).find("dings") != std::string::npos) Info.iCharSet = 1;
}

void TProperties::SetLinkFontInfos(TStyleList& Styles, TPropStack& Stack, int StackIndex) {
  auto Records = std::make_unique<TFontInfoArray>();
  FFontInfo.reset();
  GetBackgroundColor();
  GetFontInfo(Records->Ar[LFont]);
  if (StackIndex >= 0 && StackIndex < Stack.Count() && Stack[StackIndex] == this) {
    auto Derive = [&](const TProperties& From, int At, const char* PseudoName, ThtFontInfo& Into) {
      auto* V = new TProperties();
      Stack.Insert(At, V);
      V->Inherit(From);
      V->Combine(Styles, PropTag, PropClass, PropID, PseudoName, nullptr, Stack, At);
      V->GetBackgroundColor();
      V->GetFontInfo(Into);
      return V;
    };
    TProperties* Visited = Derive(*this, StackIndex + 1, "visited", Records->Ar[VFont]);
    Derive(*Visited, StackIndex + 2, "hover", Records->Ar[HVFont]);
    Stack.Delete(StackIndex + 2);
    Stack.Delete(StackIndex + 1);
    Derive(*this, StackIndex + 1, "hover", Records->Ar[HLFont]);
    Stack.Delete(StackIndex + 1);
  } else {
    Records->Ar[VFont] = Records->Ar[HLFont] = Records->Ar[HVFont] = Records->Ar[LFont];
  }
  FFontInfo = std::move(Records);
}

// ---- conversions of the layout ----

void TProperties::GetMarginArray(TMarginArray& M) const {
  for (int I = FirstMargin; I <= LastMargin; ++I) {
    const TPropValue& V = Props[I];
    if (I >= BorderTopStyle && I <= BorderLeftStyle) {
      std::string S = LowerCase(Trim(PropString(V)));
      M[MI(I)] = (IsString(V) && !S.empty() && S != "none") ? 1 : 0;
    } else {
      M[MI(I)] = V;
    }
  }
}

void ConvertMargins(const TMarginArray& VM, int Width, int Height, int EmSize, int ExSize, ThtMarginArray& M,
                    int& AutoCount) {
  AutoCount = 0;
  auto IntOf = [](const TPropValue& V, int& Out) {
    if (IsInt(V) && std::get<int>(V) != NotSet) {
      Out = std::get<int>(V);
      return true;
    }
    if (const double* D = std::get_if<double>(&V)) {
      Out = RoundInt(*D);
      return true;
    }
    return false;
  };
  for (int I = FirstMargin; I <= LastMargin; ++I) {
    const TPropValue& V = VM[MI(I)];
    int& R = M[MI(I)];
    int N;
    switch (I) {
      case BackgroundColor:
      case BorderColor:
        R = IsInt(V) ? std::get<int>(V) : Transparent;
        break;
      case MarginRight:
      case MarginLeft:
        if (IsString(V) && LowerCase(Trim(std::get<std::string>(V))) == "auto") {
          R = Auto;
          ++AutoCount;
        } else if (IsString(V)) {
          R = LengthToPixels(std::get<std::string>(V), false, Width, 0, ExSize, EmSize);
        } else {
          R = IntOf(V, N) ? N : 0;
        }
        break;
      case MarginTop:
      case MarginBottom:
        R = 0;  // converted by ConvertVertMargins
        break;
      case PaddingTop:
      case PaddingRight:
      case PaddingBottom:
      case PaddingLeft:
      case HeightProp:
        if (IsString(V))
          R = LengthToPixels(std::get<std::string>(V), false, I == HeightProp ? Height : Width, 0, ExSize, EmSize);
        else
          R = IntOf(V, N) ? N : 0;
        break;
      case BorderTopWidth:
      case BorderRightWidth:
      case BorderBottomWidth:
      case BorderLeftWidth: {
        const TPropValue& Style = VM[MI(I - BorderTopWidth + BorderTopStyle)];
        if (!IsInt(Style) || std::get<int>(Style) == 0) {
          R = 0;
        } else if (IsString(V)) {
          std::string S = LowerCase(Trim(std::get<std::string>(V)));
          R = S == "thin" ? 2 : S == "medium" ? 4 : S == "thick" ? 6 : LengthToPixels(S, false, Width, 4, ExSize, EmSize);
        } else {
          R = IntOf(V, N) ? N : 4;
        }
        break;
      }
      case WidthProp:
        if (IsString(V))
          R = LengthToPixels(std::get<std::string>(V), false, Width, Auto, ExSize, EmSize);
        else
          R = IntOf(V, N) ? N : Auto;
        if (R == Auto) ++AutoCount;
        break;
      case TopPos:
      case LeftPos:
        if (IsString(V))
          R = LengthToPixels(std::get<std::string>(V), false, I == TopPos ? Height : Width, Auto, ExSize, EmSize);
        else
          R = IntOf(V, N) ? N : Auto;
        break;
      default:  // border side styles
        R = IsInt(V) ? std::get<int>(V) : 0;
    }
  }
}

void ConvertVertMargins(const TMarginArray& VM, int Height, int EmSize, int ExSize, ThtMarginArray& M,
                        bool& TopParaSpace, bool& BottomParaSpace) {
  for (int I : {MarginTop, MarginBottom}) {
    const TPropValue& V = VM[MI(I)];
    bool& Para = I == MarginTop ? TopParaSpace : BottomParaSpace;
    Para = false;
    int& R = M[MI(I)];
    if (IsString(V)) {
      R = LengthToPixels(std::get<std::string>(V), false, Height, 0, ExSize, EmSize);
    } else if (IsInt(V)) {
      int N = std::get<int>(V);
      if (N == NotSet) {
        R = 0;
      } else if (N == ParagraphSpace) {
        R = ParagraphSpacePixels;
        Para = true;
      } else {
        R = N;
      }
    } else if (const double* D = std::get_if<double>(&V)) {
      R = RoundInt(*D);
    } else {
      R = 0;
    }
  }
}

void ConvertPaddings(const TMarginArray& VM, int EmSize, int ExSize, ThtMarginArray& M) {
  for (int I = PaddingTop; I <= PaddingLeft; ++I) {
    const TPropValue& V = VM[MI(I)];
    if (IsString(V))
      M[MI(I)] = LengthToPixels(std::get<std::string>(V), false, -100, 0, ExSize, EmSize);
    else if (IsInt(V) && std::get<int>(V) != NotSet)
      M[MI(I)] = std::get<int>(V);
    else
      M[MI(I)] = -1;
  }
}

void ConvertImageMargins(const TMarginArray& VM, int Width, int Height, int EmSize, int ExSize,
                         ThtMarginArray& M) {
  for (int I = MarginTop; I <= MarginLeft; ++I) {
    const TPropValue& V = VM[MI(I)];
    int Base = (I == MarginTop || I == MarginBottom) ? Height : Width;
    M[MI(I)] = IsString(V) ? LengthToPixels(std::get<std::string>(V), false, Base, 0, ExSize, EmSize) : NotSet;
  }
  for (int I : {WidthProp, HeightProp}) {
    const TPropValue& V = VM[MI(I)];
    M[MI(I)] = IsString(V) ? LengthToPixels(std::get<std::string>(V), false, I == WidthProp ? Width : Height, Auto,
                                            ExSize, EmSize)
                           : NotSet;
  }
}

int TProperties::GetVertAlign() const {
  std::string S = LowerCase(Trim(PropString(Props[VerticalAlign])));
  if (S == "top" || S == "text-top") return ATop;
  if (S == "middle") return AMiddle;
  if (S == "baseline") return ABaseline;
  if (S == "bottom") return ABottom;
  return ANone;
}

int TProperties::GetFloat() const {
  std::string S = LowerCase(Trim(PropString(Props[FloatProp])));
  if (S == "left") return ALeft;
  if (S == "right") return ARight;
  return ANone;
}

int TProperties::GetClear() const {
  std::string S = LowerCase(Trim(PropString(Props[ClearProp])));
  if (S == "left") return clLeft;
  if (S == "right") return clRight;
  if (S == "both") return clAll;
  return clrNone;
}

int TProperties::GetListStyleType() const {
  static const char* const Names[] = {"blank", "circle", "decimal", "disc", "lower-alpha",
                                      "lower-roman", "none", "square", "upper-alpha", "upper-roman"};
  std::string S = LowerCase(Trim(PropString(Props[ListStyleType])));
  for (int I = 0; I < 10; ++I)
    if (S == Names[I]) return I;
  return lbBlank;
}

std::string TProperties::GetListStyleImage() const {
  return UrlInside(PropString(Props[ListStyleImage]));
}

std::string TProperties::GetBackgroundImage() const {
  return UrlInside(PropString(Props[BackgroundImage]));
}

int TProperties::GetPosition() const {
  std::string S = LowerCase(Trim(PropString(Props[PositionProp])));
  if (S == "absolute") return posAbsolute;
  if (S == "relative") return posRelative;
  return posStatic;
}

int TProperties::GetVisibility() const {
  return IsInt(Props[Visibility]) && std::get<int>(Props[Visibility]) == 1 ? 1 : 0;
}

int TProperties::GetZIndex() const {
  double N;
  if (PropNumber(Props[ZIndex], N)) return RoundInt(N);
  return std::atoi(PropString(Props[ZIndex]).c_str());
}

int TProperties::GetLineHeight(int NormalHeight) const {
  const TPropValue& V = Props[LineHeight];
  double N;
  if (PropNumber(V, N)) return RoundInt(N * NormalHeight);
  if (!IsString(V)) return 0;
  std::string Unit;
  if (!SplitNumber(std::get<std::string>(V), N, Unit)) return 0;
  if (Unit.empty()) return RoundInt(N * NormalHeight);
  // A percentage is taken of the em size.
  return LengthToPixels(std::get<std::string>(V), false, EmSize, 0, ExSize, EmSize);
}

int32_t TProperties::GetBackgroundColor() {
  const TPropValue& V = Props[BackgroundColor];
  BackgroundColorField = (Assigned[BackgroundColor] && IsInt(V)) ? std::get<int>(V) : Transparent;
  return BackgroundColorField;
}

int32_t TProperties::GetFontColor() const {
  const TPropValue& V = Props[Color];
  return (Assigned[Color] && IsInt(V)) ? std::get<int>(V) : Transparent;
}

bool TProperties::HasBorderStyle() const {
  std::string S = LowerCase(Trim(PropString(Props[BorderStyle])));
  return !S.empty() && S != "none";
}

void TProperties::GetBackgroundPos(int Em, int Ex, int& XPos, int& YPos, bool& XPercent, bool& YPercent,
                                   bool& XRepeat, bool& YRepeat) const {
  // Positions come back in percent (XPercent/YPercent set) or in pixels.
  XPos = YPos = 0;
  XPercent = YPercent = true;
  std::vector<std::string> Words;
  std::string S = LowerCase(Trim(PropString(Props[BackgroundPosition])));
  size_t Start = 0;
  while (Start < S.size() && Words.size() < 2) {
    size_t Blank = S.find(' ', Start);
    std::string W = S.substr(Start, Blank == std::string::npos ? std::string::npos : Blank - Start);
    if (!W.empty()) Words.push_back(W);
    if (Blank == std::string::npos) break;
    Start = Blank + 1;
  }
  bool HaveX = false, HaveY = false;
  auto SetOne = [&](const std::string& W, bool PreferX) {
    if (W == "left" || W == "right") {
      XPos = W == "left" ? 0 : 100;
      XPercent = true;
      HaveX = true;
    } else if (W == "top" || W == "bottom") {
      YPos = W == "top" ? 0 : 100;
      YPercent = true;
      HaveY = true;
    } else {
      int V;
      bool Pct;
      if (W == "center") {
        V = 50;
        Pct = true;
      } else {
        Pct = !W.empty() && W.back() == '%';
        V = LengthToPixels(W, false, 100, 0, Ex, Em);
      }
      if (PreferX && !HaveX) {
        XPos = V;
        XPercent = Pct;
        HaveX = true;
      } else {
        YPos = V;
        YPercent = Pct;
        HaveY = true;
      }
    }
  };
  for (size_t I = 0; I < Words.size(); ++I) SetOne(Words[I], I == 0 || !HaveX);
  if (HaveX && !HaveY) YPos = 50, YPercent = true;
  if (HaveY && !HaveX) XPos = 50, XPercent = true;
  std::string Repeat = LowerCase(Trim(PropString(Props[BackgroundRepeat])));
  XRepeat = YRepeat = true;
  if (Repeat == "no-repeat")
    XRepeat = YRepeat = false;
  else if (Repeat == "repeat-x")
    YRepeat = false;
  else if (Repeat == "repeat-y")
    XRepeat = false;
}

// ---- TStyleList ----

TStyleList::TStyleList() = default;
TStyleList::~TStyleList() = default;

int TStyleList::LowerBound(const std::string& Key) const {
  auto It = std::lower_bound(FItems.begin(), FItems.end(), Key,
                             [](const Item& A, const std::string& K) { return CompareText(A.Key, K) < 0; });
  return static_cast<int>(It - FItems.begin());
}

int TStyleList::IndexOf(const std::string& Key) const {
  int I = LowerBound(Key);
  if (I < Count() && SameText(FItems[static_cast<size_t>(I)].Key, Key)) return I;
  return -1;
}

int TStyleList::AddObject(const std::string& Key, TProperties* Props) {
  auto It = std::upper_bound(FItems.begin(), FItems.end(), Key,
                             [](const std::string& K, const Item& A) { return CompareText(K, A.Key) < 0; });
  Props->PropTag = Key;
  It = FItems.insert(It, Item{Key, std::unique_ptr<TProperties>(Props)});
  return static_cast<int>(It - FItems.begin());
}

void TStyleList::Clear() {
  FItems.clear();
  FSeq = 10;
  DefProp = nullptr;
  HasHoverRules = false;
}

std::string TStyleList::GetSeq() {
  return std::to_string(FSeq++);
}

TProperties* TStyleList::FindOrAdd(const std::string& Key) {
  int I = IndexOf(Key);
  if (I >= 0) return Objects(I);
  auto* P = new TProperties();
  AddObject(Key, P);
  return P;
}

void TStyleList::SetProp(const std::string& Key, const std::string& Prop, const std::string& Value) {
  int I = PropIndexOf(Prop);
  if (I < 0) return;
  TProperties* P = FindOrAdd(Key);
  int32_t C;
  switch (I) {
    case Color:
      if (ColorFromString(Value, false, C)) {
        P->Props[I] = C;
        P->Assigned[I] = true;
        auto Also = [&](const char* Other) {
          TProperties* Q = FindOrAdd(Other);
          Q->Props[Color] = C;
          Q->Assigned[Color] = true;
        };
        if (Key == ":link") {
          Also("::hover");
          Also("::visited");
        } else if (Key == ":visited") {
          Also("::hover");
        }
      }
      break;
    case BackgroundColor:
    case BorderColor:
      P->Props[I] = ColorFromString(Value, false, C) ? C : Transparent;
      P->Assigned[I] = true;
      break;
    default:
      P->AssignByName(Prop, Value);
  }
}

void TStyleList::AddModifyProp(const std::string& Selector, const std::string& Prop, const std::string& Value) {
  if (Selector.find(":hover") != std::string::npos) HasHoverRules = true;
  SetProp(Selector, Prop, Value);
  if (Selector == "a") SetProp("::link", Prop, Value);
}

void TStyleList::Initialize(const std::string& FontName, const std::string& PreFontName, int MarginWidth,
                            int MarginHeight, uint8_t CharSet, bool UnderlineLinks, int32_t HoverColor,
                            int32_t VisitedColor, int32_t LinkColor, int32_t TextColor, double PointSize) {
  Clear();
  DefPointSize = PointSize;
  const double S = PointSize;
  auto Set = [this](const std::string& Key, int Index, TPropValue Value) {
    TProperties* P = FindOrAdd(Key);
    P->Props[Index] = std::move(Value);
    P->Assigned[Index] = true;
  };
  auto SetFontBasics = [&](const std::string& Key, const std::string& Family, TPropValue Size) {
    Set(Key, FontFamily, Family);
    Set(Key, FontSize, std::move(Size));
    Set(Key, FontStyle, std::string("none"));
    Set(Key, FontWeight, std::string("normal"));
    Set(Key, TextAlign, std::string("left"));
    Set(Key, TextDecoration, std::string("none"));
  };

  SetFontBasics("default", FontName, S);
  Set("default", Color, ColorRef(TextColor));
  Set("default", MarginTop, MarginHeight);
  Set("default", MarginBottom, MarginHeight);
  Set("default", MarginLeft, MarginWidth);
  Set("default", MarginRight, MarginWidth);
  Set("default", Visibility, 2);
  DefProp = FindOrAdd("default");
  DefProp->AssignCharSet(CharSet);

  Set("::link", Color, ColorRef(LinkColor));
  Set("::link", TextDecoration, std::string(UnderlineLinks ? "underline" : "none"));
  Set("::visited", Color, ColorRef(VisitedColor));
  Set("::hover", Color, ColorRef(HoverColor));
  FindOrAdd("null");

  SetFontBasics("pre", PreFontName, S * 10 / 12);
  Set("p", MarginTop, ParagraphSpace);
  Set("p", MarginBottom, ParagraphSpace);
  Set("p 11pre", MarginTop, 0);
  for (const char* K : {"ul", "ol", "menu", "dir"}) {
    Set(K, MarginLeft, 35);
    Set(K, MarginTop, 0);
    Set(K, MarginBottom, 0);
    Set(K, ListStyleType, std::string("blank"));
  }
  Set("dl", MarginLeft, 0);
  Set("dl", MarginTop, 0);
  Set("dl", MarginBottom, 0);
  Set("dl", ListStyleType, std::string("none"));
  Set("dd", MarginLeft, 40);
  Set("dd", MarginTop, 0);
  Set("dd", MarginBottom, 0);
  Set("blockquote", MarginLeft, 35);
  Set("blockquote", MarginTop, ParagraphSpace);
  Set("blockquote", MarginBottom, 14);
  for (const char* K : {"code", "tt", "kbd", "samp"}) {
    Set(K, FontFamily, PreFontName);
    Set(K, FontSize, std::string("0.833em"));
  }
  for (const char* K : {"b", "strong", "th"}) Set(K, FontWeight, std::string("bold"));
  for (const char* K : {"sup", "sub"}) Set(K, FontSize, std::string("75%"));
  Set("big", FontSize, std::string("1.25em"));
  Set("small", FontSize, std::string("0.75em"));
  Set("table", TextAlign, std::string("none"));
  for (const char* K : {"i", "em", "cite", "var", "address"}) Set(K, FontStyle, std::string("italic"));
  Set("u", TextDecoration, std::string("underline"));
  for (const char* K : {"s", "strike"}) Set(K, TextDecoration, std::string("line-through"));
  for (const char* K : {"center", "caption"}) Set(K, TextAlign, std::string("center"));
  for (const char* K : {"input", "select", "textarea"}) {
    SetFontBasics(K, std::string(K) == "textarea" ? PreFontName : std::string("MS sans serif, sans-serif"),
                  std::string("10pt"));
    Set(K, Color, ColorRef(TextColor));
  }
  Set("hr", MarginLeft, 0);
  Set("hr", MarginRight, 0);
  Set("hr", MarginTop, 10);
  Set("hr", MarginBottom, 10);
  const int HSizes[6] = {24, 18, 14, 12, 10, 8};
  for (int H = 1; H <= 6; ++H) {
    std::string K = "h" + std::to_string(H);
    Set(K, FontSize, S / 12 * HSizes[H - 1]);
    Set(K, MarginTop, 19);
    Set(K, MarginBottom, 19);
    Set(K, FontWeight, std::string("bold"));
  }
}
