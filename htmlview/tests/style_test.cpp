#include <gtest/gtest.h>

#include <map>
#include <string>

#include "htmlview/readhtml.h"
#include "htmlview/stylepars.h"
#include "htmlview/styleun.h"

namespace {

constexpr int32_t RedRef = 0x020000FF;
constexpr int32_t GreenRef = 0x0200FF00;
constexpr int32_t BlueRef = 0x02FF0000;

std::string ValueText(const TPropValue& V) {
  if (IsInt(V) && std::get<int>(V) == Transparent) return "transparent";
  if (IsInt(V)) {
    char B[16];
    snprintf(B, sizeof B, "%d", std::get<int>(V));
    if (std::get<int>(V) & PaletteRelative) snprintf(B, sizeof B, "#%06X", std::get<int>(V) & 0xFFFFFF);
    return B;
  }
  return PropString(V);
}

// "key{name=value;...}" for every rule of a list, in list order.
std::string Dump(const TStyleList& L) {
  std::string R;
  for (int I = 0; I < L.Count(); ++I) {
    R += L.Strings(I) + "{";
    const TProperties* P = L.Objects(I);
    bool First = true;
    for (int K = 0; K < PropCount; ++K)
      if (P->Assigned[K]) {
        R += (First ? "" : ";") + std::string(PropNames[K]) + "=" + ValueText(P->Props[K]);
        First = false;
      }
    R += "}";
  }
  return R;
}

std::string ReadSheet(const std::string& Css, TStyleList& L, const std::string& Base = "", char* Last = nullptr) {
  size_t I = 0;
  TGetCharFunc Get = [&]() -> char { return I < Css.size() ? Css[I++] : EofChar; };
  char Ch = Get();
  ReadStyleSheet(L, Ch, Get, Base);
  if (Last) *Last = Ch;
  return Dump(L);
}

TEST(StyleSheets, RulesFromSheets) {
  struct {
    const char* Css;
    const char* Base;
    const char* Rules;
  } const Cases[] = {
      {"P, H1 { color: red }", "", "h1{color=#0000FF}p{color=#0000FF}"},
      {"pre p { margin-top: 0 }", "", "p 110pre {margin-top=0}"},
      {"div ul li { color: #00ff00 } b i {color:blue}", "",
       "i 111b {color=#FF0000}li 210ul div {color=#00FF00}"},
      {"p { margin: 1px 2px 3px }", "", "p{margin-top=1px;margin-right=2px;margin-bottom=3px;margin-left=2px}"},
      {"p { padding: 1px 2px }", "", "p{padding-top=1px;padding-right=2px;padding-bottom=1px;padding-left=2px}"},
      {"h1 { font: italic bold 12pt/14pt Arial }", "",
       "h1{font-family=arial;font-size=12pt;font-style=italic;font-weight=bold;line-height=14pt}"},
      {"h2 { font: 10pt \"Times New Roman\", serif; font-variant: small-caps }", "",
       "h2{font-family=\"times new roman\",serif;font-size=10pt}"},
      {"td { border: 2px dotted #00ff00 }", "",
       "td{border-style=dotted;border-color=#00FF00;border-top-width=2px;border-right-width=2px;"
       "border-bottom-width=2px;border-left-width=2px;border-top-style=dotted;border-right-style=dotted;"
       "border-bottom-style=dotted;border-left-style=dotted}"},
      {"td { border-left: thin solid rgb(255,0,0) }", "",
       "td{border-style=solid;border-color=#0000FF;border-left-width=thin;border-left-style=solid}"},
      {"/* a < b */ p {color: red}", "", ""},
      {"/* site */ /* colours */body { color: red }\r\np { color: blue }", "", "body{color=#0000FF}p{color=#FF0000}"},
      {"@import url(x.css); p {color: red} @page { margin: 1in } b {color: blue}", "",
       "b{color=#FF0000}p{color=#0000FF}"},
      {"<!-- p { color:red } -->", "", "p{color=#0000FF}"},
      {"p { color: #zz0000; background-color: nonsense; text-align: CENTER }", "",
       "p{text-align=center;background-color=transparent}"},
      {"p { color: 'blue'; foo: bar; width: 50% }", "", "p{color=#FF0000;width=50%}"},
      {"div.note, #top { background: #ff0 url(bg.gif) no-repeat }", "ab://srv/dir/",
       "#top{background-color=#00FFFF;background-image=url(ab://srv/dir/bg.gif);background-position=#ff0 no-repeat;"
       "background-repeat=no-repeat}div.note{background-color=#00FFFF;background-image=url(ab://srv/dir/bg.gif);"
       "background-position=#ff0 no-repeat;background-repeat=no-repeat}"},
      {"ul { list-style: square url('b.gif') } p { background-image: url(\"c:\\x.gif\") }", "/docs/",
       "p{background-image=url(c:\\x.gif)}ul{list-style-type=square;list-style-image=url(/docs/b.gif)}"},
      {"* { color: red } p > b { color: red }", "", "p{color=#0000FF}"},
  };
  for (const auto& C : Cases) {
    TStyleList L;
    EXPECT_EQ(ReadSheet(C.Css, L, C.Base), C.Rules) << C.Css;
  }
}

TEST(StyleSheets, SheetEndsAtTheEndTag) {
  TStyleList L;
  char Last = 0;
  const std::string Css = ">\r\n p {color: red}\r\n</style>";
  size_t I = 0;
  TGetCharFunc Get = [&]() -> char { return I < Css.size() ? Css[I++] : EofChar; };
  char Ch = Get();
  ReadStyleSheet(L, Ch, Get, "");
  Last = Ch;
  EXPECT_EQ(Last, '<');
  EXPECT_EQ(Css.substr(I), "/style>");
  // An empty sheet keeps the "<" of its end tag when the caller can peek.
  const std::string Empty = "></style>";
  I = 0;
  TGetCharFunc Get2 = [&]() -> char { return I < Empty.size() ? Empty[I++] : EofChar; };
  TGetCharFunc Peek = [&]() -> char { return I < Empty.size() ? Empty[I] : EofChar; };
  Ch = Get2();
  ReadStyleSheet(L, Ch, Get2, "", Peek);
  EXPECT_EQ(Ch, '<');
  EXPECT_EQ(Empty.substr(I), "/style>");
}

TEST(StyleSheets, LinkColoursAndHoverFlag) {
  TStyleList L;
  ReadSheet(":link { color: blue } :visited {color: lime} a { font-weight: bold }", L);
  EXPECT_EQ(std::get<int>(L.Objects(L.IndexOf("::hover"))->Props[Color]), GreenRef);
  EXPECT_EQ(std::get<int>(L.Objects(L.IndexOf("::visited"))->Props[Color]), BlueRef);
  EXPECT_EQ(PropString(L.Objects(L.IndexOf("::link"))->Props[FontWeight]), "bold");
  EXPECT_FALSE(L.HasHoverRules);
  ReadSheet("a:hover { color: red }", L);
  EXPECT_TRUE(L.HasHoverRules);
}

TEST(StyleSheets, StyleAttribute) {
  TProperties P;
  ParseStyleAttribute(P, "COLOR: Blue; margin: 0; border-style: solid; visibility: hidden; font: bold 9pt Arial");
  EXPECT_EQ(std::get<int>(P.Props[Color]), BlueRef);
  for (int I = MarginTop; I <= MarginLeft; ++I) EXPECT_EQ(PropString(P.Props[I]), "0");
  for (int I = BorderTopStyle; I <= BorderLeftStyle; ++I) EXPECT_EQ(PropString(P.Props[I]), "solid");
  EXPECT_EQ(std::get<int>(P.Props[Visibility]), 1);
  EXPECT_EQ(PropString(P.Props[FontSize]), "9pt");
  EXPECT_EQ(PropString(P.Props[FontWeight]), "bold");
  EXPECT_EQ(PropString(P.Props[FontFamily]), "arial");
  TProperties Q;
  ParseStyleAttribute(Q, "color: nothing; background-color: nothing");
  EXPECT_EQ(std::get<int>(Q.Props[Color]), 0);
  EXPECT_EQ(std::get<int>(Q.Props[BackgroundColor]), Transparent);
}

TEST(StyleSheets, ValueWords) {
  EXPECT_EQ(SplitValueWords("  Arial,  serif   12pt/14pt "), (std::vector<std::string>{"Arial,serif", "12pt", "/14pt"}));
  EXPECT_EQ(SplitValueWords("'Times New Roman' , x"), (std::vector<std::string>{"'Times New Roman',x"}));
  EXPECT_EQ(SplitValueWords("a b c d e f g h i").size(), 7u);
}

// ---- conversions ----

TEST(StyleValues, FontSizes) {
  struct {
    const char* Text;
    double Parent;
    double Points;
  } const Cases[] = {
      {"12pt", 10, 12},   {"1in", 10, 72},      {"2.54cm", 10, 72},   {"25.4mm", 10, 72}, {"16px", 10, 12},
      {"16", 10, 12},     {"150%", 12, 18},     {"2em", 9, 18},       {"2ex", 9, 9},      {"1pc", 10, 12},
      {"xx-large", 5, 36}, {"xx-small", 5, 8},  {"medium", 5, 14.4},  {"larger", 12, 15}, {"smaller", 12, 9},
      {"bogus", 5, 12},   {"3furlongs", 5, 12},
  };
  for (const auto& C : Cases) EXPECT_DOUBLE_EQ(FontSizeToPoints(C.Text, C.Parent, 12), C.Points) << C.Text;
}

TEST(StyleValues, Lengths) {
  struct {
    const char* Text;
    bool Factor;
    int Base;
    int Pixels;
  } const Cases[] = {
      {"0.5in", false, 0, 48}, {"10%", false, 300, 30}, {"3", true, 20, 60},   {"3", false, 20, 3},
      {"12pt", false, 0, 16},  {"2.54cm", false, 0, 96}, {"1pc", false, 0, 16}, {"2em", false, 0, 20},
      {"2ex", false, 0, 10},   {"7px", false, 0, 7},     {"5qq", false, 0, -1}, {"auto", false, 0, -1},
      {"2.5px", false, 0, 2},  {"3.5px", false, 0, 4},
  };
  for (const auto& C : Cases) EXPECT_EQ(LengthToPixels(C.Text, C.Factor, C.Base, -1, 5, 10), C.Pixels) << C.Text;
}

TEST(StyleValues, Colours) {
  struct {
    const char* Text;
    bool NeedHash;
    bool Ok;
    int32_t Colour;
  } const Cases[] = {
      {"#F00", false, true, RedRef},        {"f00", false, true, RedRef},         {"f00", true, false, 0},
      {"rgb(100%,0,0)", false, true, RedRef}, {"red", true, true, RedRef},       {" RED ", false, true, RedRef},
      {"#zz0000", false, false, 0},         {"transparent", false, true, Transparent},
      {"rgb(300, -5, 50%)", false, true, 0x027F00FF}, {"lightgrey", false, true, 0x02D3D3D3},
      {"yellowgreen", false, true, 0x0232CD9A}, {"x#00ff00", true, true, GreenRef}, {"", false, false, 0},
      {"#1234567", false, false, 0},
  };
  for (const auto& C : Cases) {
    int32_t Got = 0;
    EXPECT_EQ(ColorFromString(C.Text, C.NeedHash, Got), C.Ok) << C.Text;
    if (C.Ok) {
      EXPECT_EQ(Got, C.Colour) << C.Text;
    }
  }
}

TEST(StyleValues, MarginsBordersAndSizes) {
  TProperties P;
  P.AssignByName("border-left-style", "none");
  P.AssignByName("border-left-width", "5px");
  P.AssignByName("border-top-style", "solid");  // top width unset: medium
  P.AssignByName("border-right-style", "solid");
  P.AssignByName("border-right-width", "thick");
  P.AssignByName("margin-left", "auto");
  P.AssignByName("margin-right", "10%");
  P.AssignByName("padding-top", "1em");
  P.AssignByName("width", "50%");
  P.AssignByName("height", "25%");
  P.AssignByName("background-color", "#ff0000");
  P.Props[MarginTop] = ParagraphSpace;
  P.Props[MarginBottom] = std::string("2ex");
  TMarginArray VM;
  P.GetMarginArray(VM);
  ThtMarginArray M{};
  int AutoCount = -1;
  ConvertMargins(VM, 400, 200, 16, 8, M, AutoCount);
  EXPECT_EQ(M[MI(BorderLeftWidth)], 0);
  EXPECT_EQ(M[MI(BorderTopWidth)], 4);
  EXPECT_EQ(M[MI(BorderRightWidth)], 6);
  EXPECT_EQ(M[MI(BorderBottomWidth)], 0);
  EXPECT_EQ(M[MI(MarginLeft)], Auto);
  EXPECT_EQ(AutoCount, 1);
  EXPECT_EQ(M[MI(MarginRight)], 40);
  EXPECT_EQ(M[MI(PaddingTop)], 16);
  EXPECT_EQ(M[MI(PaddingLeft)], 0);
  EXPECT_EQ(M[MI(WidthProp)], 200);
  EXPECT_EQ(M[MI(HeightProp)], 50);
  EXPECT_EQ(M[MI(TopPos)], Auto);
  EXPECT_EQ(M[MI(BackgroundColor)], RedRef);
  EXPECT_EQ(M[MI(BorderColor)], Transparent);
  bool TopPara = false, BottomPara = true;
  ConvertVertMargins(VM, 200, 16, 8, M, TopPara, BottomPara);
  EXPECT_EQ(M[MI(MarginTop)], 14);
  EXPECT_TRUE(TopPara);
  EXPECT_EQ(M[MI(MarginBottom)], 16);
  EXPECT_FALSE(BottomPara);
  P.AssignByName("padding-left", "10%");
  P.GetMarginArray(VM);
  ConvertPaddings(VM, 16, 8, M);
  EXPECT_EQ(M[MI(PaddingLeft)], -10);
  EXPECT_EQ(M[MI(PaddingRight)], -1);
  TProperties Unset;
  Unset.GetMarginArray(VM);
  ConvertMargins(VM, 400, 200, 16, 8, M, AutoCount);
  EXPECT_EQ(M[MI(WidthProp)], Auto);
  EXPECT_EQ(AutoCount, 1);
}

TEST(StyleValues, LayoutCodes) {
  TProperties P;
  P.AssignByName("vertical-align", "text-top");
  P.AssignByName("float", "right");
  P.AssignByName("clear", "both");
  P.AssignByName("list-style-type", "upper-roman");
  P.AssignByName("position", "absolute");
  P.AssignByName("background-image", "url('pics/bg.gif')");
  P.AssignByName("line-height", "150%");
  P.AssignByName("background-position", "right 20px");
  P.AssignByName("background-repeat", "repeat-x");
  P.EmSize = 20;
  EXPECT_EQ(P.GetVertAlign(), ATop);
  EXPECT_EQ(P.GetFloat(), ARight);
  EXPECT_EQ(P.GetClear(), clAll);
  EXPECT_EQ(P.GetListStyleType(), lbUpperRoman);
  EXPECT_EQ(P.GetPosition(), posAbsolute);
  EXPECT_EQ(P.GetBackgroundImage(), "pics/bg.gif");
  EXPECT_EQ(P.GetLineHeight(18), 30);
  int X, Y;
  bool XP, YP, XR, YR;
  P.GetBackgroundPos(20, 10, X, Y, XP, YP, XR, YR);
  EXPECT_EQ(X, 100);
  EXPECT_TRUE(XP);
  EXPECT_EQ(Y, 20);
  EXPECT_FALSE(YP);
  EXPECT_TRUE(XR);
  EXPECT_FALSE(YR);
  P.AssignByName("line-height", "1.5");
  EXPECT_EQ(P.GetLineHeight(18), 27);
  P.AssignByName("background-position", "bottom");
  P.GetBackgroundPos(20, 10, X, Y, XP, YP, XR, YR);
  EXPECT_EQ(X, 50);
  EXPECT_EQ(Y, 100);
  TProperties Q;
  EXPECT_EQ(Q.GetLineHeight(18), 0);
  EXPECT_EQ(Q.GetBackgroundColor(), Transparent);
  EXPECT_FALSE(Q.HasBorderStyle());
}

// ---- cascade ----

class Cascade : public ::testing::Test {
 protected:
  void SetUp() override {
    Styles.Initialize("Arial", "Courier New", 10, 5, 238, true, 0x00FF00, 0x800080, 0xFF0000, 0x000000, 12);
    auto* Base = new TProperties();
    Base->Copy(*Styles.DefProp);
    Stack.Add(Base);
  }
  TProperties* Push(const std::string& Tag, const std::string& Class = "", const std::string& Id = "",
                    const std::string& Pseudo = "", TProperties* StyleAttr = nullptr) {
    auto* P = new TProperties();
    P->Inherit(*Stack.Last());
    Stack.Add(P);
    P->Combine(Styles, Tag, Class, Id, Pseudo, StyleAttr, Stack, Stack.Count() - 1);
    return P;
  }
  void Sheet(const std::string& Css) { ReadSheet(Css, Styles); }
  TStyleList Styles;
  TPropStack Stack;
};

TEST_F(Cascade, ParagraphSpacing) {
  TProperties* P = Push("p");
  EXPECT_EQ(std::get<int>(P->Props[MarginTop]), ParagraphSpace);
  EXPECT_EQ(std::get<int>(P->Props[MarginBottom]), ParagraphSpace);
  Stack.Delete(Stack.Count() - 1);
  Push("pre");
  TProperties* Q = Push("p");
  EXPECT_EQ(std::get<int>(Q->Props[MarginTop]), 0);
  EXPECT_EQ(std::get<int>(Q->Props[MarginBottom]), ParagraphSpace);
  EXPECT_EQ(PropString(Q->Props[FontFamily]), "Courier New");
  EXPECT_DOUBLE_EQ(std::get<double>(Q->Props[FontSize]), 10);
}

TEST_F(Cascade, RuleValueBeatsPresentationalAttribute) {
  Sheet("td { text-align: center }");
  TProperties* Td = Push("td");
  Td->AssignProp(std::string("right"), TextAlign);
  EXPECT_EQ(PropString(Td->Props[TextAlign]), "center");
  TProperties* Div = Push("div");
  Div->AssignProp(std::string("right"), TextAlign);
  EXPECT_EQ(PropString(Div->Props[TextAlign]), "right");
}

TEST_F(Cascade, SelectorsClassesIdsAndDescendants) {
  Sheet(".note { color: red } p.note { font-style: italic } #top { font-weight: bold }"
        " div p { text-decoration: underline } ul li b { color: #00ff00 }");
  TProperties* P = Push("p", "note", "top");
  EXPECT_EQ(std::get<int>(P->Props[Color]), RedRef);
  EXPECT_EQ(PropString(P->Props[FontStyle]), "italic");
  EXPECT_EQ(PropString(P->Props[FontWeight]), "bold");
  EXPECT_EQ(PropString(P->Props[TextDecoration]), "none");
  Stack.Delete(Stack.Count() - 1);
  Push("div");
  Push("span");
  TProperties* Inner = Push("p");
  EXPECT_EQ(PropString(Inner->Props[TextDecoration]), "underline");
  Push("ul");
  Push("li");
  TProperties* B = Push("b");
  EXPECT_EQ(std::get<int>(B->Props[Color]), GreenRef);
  EXPECT_EQ(PropString(B->Props[FontWeight]), "bold");
  Stack.Delete(Stack.Count() - 1);
  Stack.Delete(Stack.Count() - 1);
  TProperties* Loose = Push("b");  // inside UL but not inside LI
  EXPECT_EQ(std::get<int>(Loose->Props[Color]), 0x02000000);
}

TEST_F(Cascade, FontSizesAndStyleAttributeLast) {
  TProperties* H = Push("h1");
  EXPECT_DOUBLE_EQ(std::get<double>(H->Props[FontSize]), 24);
  TProperties* Big = Push("big");
  EXPECT_DOUBLE_EQ(std::get<double>(Big->Props[FontSize]), 30);
  TProperties Attr;
  ParseStyleAttribute(Attr, "font-size: 50%; color: red");
  TProperties* Span = Push("span", "", "", "", &Attr);
  EXPECT_DOUBLE_EQ(std::get<double>(Span->Props[FontSize]), 15);
  EXPECT_EQ(std::get<int>(Span->Props[Color]), RedRef);
  EXPECT_EQ(Span->EmSize, 40);  // measured from the parent's 30 points
}

TEST_F(Cascade, LinkStateFonts) {
  Sheet("a:hover { color: #ff0000; text-decoration: none } a:visited { font-weight: bold }");
  TProperties* A = Push("a", "", "", "link");
  ASSERT_TRUE(A->HasLinkFonts());
  const TFontInfoArray& F = *A->LinkFonts();
  EXPECT_EQ(F.Ar[LFont].iColor, BlueRef);
  EXPECT_EQ(F.Ar[LFont].iStyle, ThtFontInfo::fsUnderline);
  EXPECT_EQ(F.Ar[HLFont].iColor, RedRef);
  EXPECT_EQ(F.Ar[HLFont].iStyle, 0);
  EXPECT_EQ(F.Ar[VFont].iColor, 0x02800080);
  EXPECT_EQ(F.Ar[VFont].iStyle, ThtFontInfo::fsUnderline | ThtFontInfo::fsBold);
  EXPECT_EQ(F.Ar[HVFont].iColor, RedRef);
  EXPECT_EQ(F.Ar[HVFont].iStyle, ThtFontInfo::fsBold);
  EXPECT_EQ(Stack.Count(), 2);  // the helper entries are gone
  // Later font changes of the element (a FONT FACE inside the link) reach all four records.
  A->AssignProp(std::string("Courier New"), FontFamily);
  for (const ThtFontInfo& R : A->LinkFonts()->Ar) EXPECT_EQ(R.iName, "Courier New");
  TProperties* Child = Push("b");
  ASSERT_TRUE(Child->HasLinkFonts());
  EXPECT_EQ(Child->LinkFonts()->Ar[HVFont].iStyle, ThtFontInfo::fsBold);
}

TEST(Fonts, FamiliesWeightsAndCharsets) {
  FontAvailable = [](const std::string& F) { return F == "Courier New" || F == "Wingdings" || F == "Arial"; };
  EXPECT_EQ(FirstAvailableFont("'Nowhere Sans', monospace"), "Courier New");
  EXPECT_EQ(FirstAvailableFont("\"Arial\""), "Arial");
  EXPECT_EQ(FirstAvailableFont("Nowhere, Elsewhere"), "");
  TProperties P;
  P.Props[FontFamily] = std::string("Wingdings");
  P.Props[FontWeight] = std::string("600");
  P.Props[FontSize] = 10.6;
  P.AssignCharSet(238);
  ThtFontInfo I;
  P.GetFontInfo(I);
  EXPECT_EQ(I.iCharSet, 1);
  EXPECT_EQ(I.iStyle, ThtFontInfo::fsBold);
  EXPECT_EQ(I.iSize, 11);
  EXPECT_EQ(P.CodePage, 1250);
  P.Props[FontWeight] = std::string("500");
  P.Props[FontFamily] = std::string("sans-serif");
  P.Props[FontStyle] = std::string("oblique");
  P.GetFontInfo(I);
  EXPECT_EQ(I.iStyle, ThtFontInfo::fsItalic);
  EXPECT_EQ(I.iName, "Arial");
  EXPECT_EQ(I.iCharSet, 238);
  FontAvailable = nullptr;
}

}  // namespace
