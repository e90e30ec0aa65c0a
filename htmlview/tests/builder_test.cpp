#include <gtest/gtest.h>

#include "htmlview/htmlbuilder.h"
#include "htmlview/htmlpre.h"
#include "htmlview/htmltable.h"
#include "htmlview/readhtml.h"
#include "platform/gui/graphics.h"

namespace {

// The section tree as text: blocks as tag(children), paragraphs as "text" (breaks as |).
std::string Tree(TCellBasic& Cell) {
  std::string R;
  for (int I = 0; I < Cell.Count(); ++I) {
    if (!R.empty()) R += " ";
    TSectionBase* S = Cell[I];
    if (auto* Li = dynamic_cast<TBlockLI*>(S)) {
      R += "li" + Li->MarkerText() + "(" + Tree(Li->Content) + ")";
    } else if (auto* B = dynamic_cast<TBlock*>(S)) {
      R += B->Content.OwnerTag + "(" + Tree(B->Content) + ")";
    } else if (dynamic_cast<THorzLine*>(S)) {
      R += "rule";
    } else if (auto* T = dynamic_cast<TSection*>(S)) {
      if (T->Preformatted()) R += "pre";
      std::string Text = T->Text;
      for (char& C : Text)
        if (C == BrkMark) C = '|';
      R += "\"" + Text + "\"";
    }
  }
  return R;
}

const TMyFont& BaseFont() {
  static TMyFont* F = [] {
    auto* Font = new TMyFont();
    Font->SetName("Courier New");
    Font->SetSize(10);
    return Font;
  }();
  return *F;
}

TEST(HtmlBuilder, SectionTrees) {
  struct Case {
    const char *Html, *Tree;
  } Cases[] = {
      {"plain  text", "\"plain text\""},
      {"", ""},
      {"<p>one<p>two", "p(\"one\") p(\"two\")"},
      {"a<br>b", "\"a|b\""},
      {"<h1>Title</h1>body", "h1(\"Title\") \"body\""},
      {"<ul><li>x<li>y</ul>", "ul(li(\"x\") li(\"y\"))"},
      {"<ol type=i><li>x<li>y</ol>", "ol(li1.(\"x\") li2.(\"y\"))"},
      {"<div>a<div>b</div>c</div>", "div(\"a\" div(\"b\") \"c\")"},
      {"x<hr>y", "\"x\" hr(rule) \"y\""},
      {"<pre>a  b\n  c</pre>d", "pre(pre\"a  b|  c\") \"d\""},
      {"<pre></pre>", "pre(pre\"\")"},
      {"<ul><li>a<ul><li>b</ul></ul>", "ul(li(\"a\" ul(li(\"b\"))))"},
      {"</div></p></ul>text", "\"text\""},
      {"<b>bold</b> <i>it</i>", "\"bold it\""},
  };
  for (const Case& C : Cases) {
    TSectionList Doc;
    ParseHtmlDocument(C.Html, &Doc, BaseFont());
    EXPECT_EQ(Tree(Doc), C.Tree) << C.Html;
  }
}

TEST(HtmlBuilder, FontRunsFollowTheMarkup) {
  TSectionList Doc;
  ParseHtmlDocument("a<b>b<i>c</i></b>d", &Doc, BaseFont());
  ASSERT_EQ(Doc.Count(), 1);
  auto* S = dynamic_cast<TSection*>(Doc[0]);
  ASSERT_NE(S, nullptr);
  const TFontStyles Expected[] = {0, fsBold, fsBold | fsItalic, 0};
  for (int I = 0; I < 4; ++I) EXPECT_EQ(S->Fonts.GetFontObjAt(I)->TheFont.Style(), Expected[I]) << I;
}

TEST(HtmlBuilder, SimplePageLaysOut) {
  TSectionList Doc;
  ParseHtmlDocument("<h2>Help</h2><p>Press the keys shown on the screen.<ul><li>one<li>two</ul><hr>", &Doc,
                    BaseFont());
  TBitmap Bmp;
  Bmp.SetSize(10, 10);
  int Curs = 0, Max = 0;
  const int Height = Doc.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, 200);
  EXPECT_GT(Height, 0);
  int Last = -1;
  for (int I = 0; I < Doc.Count(); ++I) {
    EXPECT_GE(Doc[I]->TopY, Last) << I;  // blocks stack downwards
    Last = Doc[I]->TopY;
  }
  auto* P = dynamic_cast<TBlock*>(Doc[1]);
  ASSERT_NE(P, nullptr);
  auto* Text = dynamic_cast<TSection*>(P->Content[0]);
  ASSERT_NE(Text, nullptr);
  EXPECT_GE(Text->Lines.size(), 2u);  // the sentence wraps at 200 pixels
}

TEST(HtmlBuilder, MalformedMarkupRaisesOrBuilds) {
  TSectionList Doc;
  EXPECT_THROW(ParseHtmlDocument("text <!-- never closed", &Doc, BaseFont()), EParseError);
}

TEST(HtmlBuilderEvents, MetaSoundScriptAndLinkedSheets) {
  TSectionList Doc;
  std::vector<std::string> Log;
  TParseHandlers H;
  H.OnMeta = [&](const std::string& E, const std::string& N, const std::string& C) { Log.push_back("meta " + E + N + " " + C); };
  H.OnSoundRequest = [&](const std::string& Src, int Loop) { Log.push_back("sound " + Src + " " + std::to_string(Loop)); };
  H.OnScript = [&](const std::string& N, const std::string& L, const std::string& S) {
    Log.push_back("script " + N + " " + L + " [" + S + "]");
  };
  H.OnStyleSheet = [&](const std::string& Href, std::string& Sheet, std::string& Base) {
    Log.push_back("sheet " + Href);
    Sheet = "p {\r\n color: #ff0000 }";
    Base = "dir/";
    return true;
  };
  ParseHtmlDocument("<meta http-equiv=refresh content=5><bgsound src=a.wav loop=3><bgsound src=b.wav>"
                    "<link rel=StyleSheet href=s.css><script language=js>if (a<b) x();\n</b></SCRIPT>"
                    "<p>text",
                    &Doc, BaseFont(), H);
  EXPECT_EQ(Log, (std::vector<std::string>{"meta refresh 5", "sound a.wav 3", "sound b.wav 1", "sheet s.css",
                                          "script  js [if (a<b) x();\r\n</b>]"}));
  // The linked sheet styles the paragraph; the script's markup did not reach the page.
  EXPECT_EQ(Tree(Doc), "p(\"text\")");
  auto* P = dynamic_cast<TBlock*>(Doc[0]);
  auto* S = dynamic_cast<TSection*>(P->Content[0]);
  EXPECT_EQ(S->Fonts.GetFontObjAt(0)->TheFont.Color() & 0xFFFFFF, 0x0000FF);
}

// A linked sheet as written by hand: a leading comment, rules and values broken over lines.
TEST(HtmlBuilderEvents, LinkedSheetKeepsEveryRule) {
  TSectionList Doc;
  TParseHandlers H;
  H.OnStyleSheet = [&](const std::string&, std::string& Sheet, std::string&) {
    Sheet = "/* Site colours */\nbody { color: #ff0000 }\r\np\n{ margin: 1px\n2px }\n";
    return true;
  };
  ParseHtmlDocument("<link rel=stylesheet href=site.css><body><p>text", &Doc, BaseFont(), H);
  auto* P = dynamic_cast<TBlock*>(Doc[0]);
  ASSERT_NE(P, nullptr);
  auto* S = dynamic_cast<TSection*>(P->Content[0]);
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(S->Fonts.GetFontObjAt(0)->TheFont.Color() & 0xFFFFFF, 0x0000FF);
  const int Rule = Doc.Styles.IndexOf("p");
  ASSERT_GE(Rule, 0);
  const TProperties* Props = Doc.Styles.Objects(Rule);
  EXPECT_EQ(PropString(Props->Props[PropIndexOf("margin-top")]), "1px");
  EXPECT_EQ(PropString(Props->Props[PropIndexOf("margin-right")]), "2px");
}

// Pages declaring their character set are read as CP1250 text: by META CHARSET, by the
// HTTP-EQUIV form, by the XML declaration or by a byte-order mark.
TEST(HtmlBuilder, DeclaredCharacterSetsBecomeTheProgramsText) {
  struct Case {
    const char *Html, *Tree;
  } Cases[] = {
      {"<meta charset=\"utf-8\"><p>Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 \xC4\x84\xC5\x9A\xC5\xB9",
       "p(\"Za\xBF\xF3\xB3\xE6 \xA5\x8C\x8F\")"},
      {"<head><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=ISO-8859-2\"></head>"
       "<p>\xB1\xB6\xBC \xA1\xA6\xAC",
       "p(\"\xB9\x9C\x9F \xA5\x8C\x8F\")"},
      {"<meta http-equiv=content-type content='text/html;charset=windows-1250'><p>\xB9\x9C\x9F",
       "p(\"\xB9\x9C\x9F\")"},
      {"<meta charset=koi8-r><p>a\xC1", "p(\"a?\")"},
      {"\xEF\xBB\xBF<p>\xC5\xBC", "p(\"\xBF\")"},
      // Declarations that do not count: none, an unknown set, one inside a comment, one in the body.
      {"<p>\xB9\xC5\xBC", "p(\"\xB9\xC5\xBC\")"},
      {"<meta charset=x-no-such-set><p>\xC5\xBC", "p(\"\xC5\xBC\")"},
      {"<!-- <meta charset=utf-8> --><p>\xC5\xBC", "p(\"\xC5\xBC\")"},
      {"<body><meta charset=utf-8><p>\xC5\xBC", "p(\"\xC5\xBC\")"},
  };
  for (const auto& C : Cases) {
    TSectionList Doc;
    ParseHtmlDocument(C.Html, &Doc, BaseFont());
    EXPECT_EQ(Tree(Doc), C.Tree) << C.Html;
  }
  // The XML declaration names the set too (the declaration itself is read as text).
  TSectionList Xhtml;
  ParseHtmlDocument("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html><body><p>\xC5\x9B\xC4\x87</p></body></html>",
                    &Xhtml, BaseFont());
  const std::string T = Tree(Xhtml);
  EXPECT_NE(T.find("p(\"\x9C\xE6\")"), std::string::npos) << T;
  EXPECT_EQ(DeclaredCharset("<?xml version='1.0' encoding='ISO-8859-2' ?><p>"), "iso-8859-2");
}

TEST(HtmlBuilderEvents, PlainTextKeepsEveryLine) {
  TSectionList Doc;
  ParsePlainText("a <b>\r\n\tc\n\nlast", &Doc, BaseFont());
  EXPECT_EQ(Tree(Doc), "pre\"a <b>\" pre\" c\" pre\"\" pre\"last\"");
}

TEST(HtmlBuilderEvents, Iso2022JpBecomesShiftJisAndNowrapCells) {
  TSectionList Doc;
  // "\x1b$B" then the pair 0x30 0x21 (a kanji), back to single bytes, then "a".
  ParseHtmlDocument("\x1b$B\x30\x21\x1b(Ba", &Doc, BaseFont());
  auto* S = dynamic_cast<TSection*>(Doc[0]);
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(S->Text, "\x88\x9f" "a");
  EXPECT_EQ(S->Fonts[0]->TheFont.Charset(), 128);
  TSectionList Table;
  ParseHtmlDocument("<table><tr><td nowrap>a b c<td width=50 nowrap>d e</table>after words", &Table, BaseFont());
  auto* T = dynamic_cast<ThtmlTable*>(Table[0]);
  ASSERT_NE(T, nullptr);
  auto* Wrapless = dynamic_cast<TSection*>(T->Rows[0]->Items(0)->Cell[0]);
  auto* Fixed = dynamic_cast<TSection*>(T->Rows[0]->Items(1)->Cell[0]);
  ASSERT_TRUE(Wrapless && Fixed);
  EXPECT_EQ(Wrapless->BreakFlags.substr(0, 5), "nnnnn");
  EXPECT_EQ(Fixed->BreakFlags.substr(0, 3), "yyy");
  auto* After = dynamic_cast<TSection*>(Table[1]);
  ASSERT_NE(After, nullptr);
  EXPECT_EQ(After->BreakFlags.substr(0, 3), "yyy");  // the table's end ends the no-break region
}

}  // namespace
