#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "htmlview/readhtml.h"

namespace {

std::string AttrName(uint8_t S) {
  if (S == UnknownAttrSy) return "?";
  for (const TSymbolName& A : AttributeTable)
    if (A.Symbol == S) {
      std::string N = A.Name;
      for (char& C : N) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
      return N;
    }
  return "!";
}

std::string Describe(THtmlTokenizer& T) {
  std::string D;
  if (T.Sy == TextSy) return T.Buff.AsString();
  if (T.Sy == OtherChar) return "#" + std::to_string(static_cast<unsigned char>(T.Buff.AsString()[0]));
  if (T.Sy == UnknownTagSy)
    D = "<?";
  else if (!EndTagName(T.Sy).empty())
    return "</" + EndTagName(T.Sy) + ">";
  else
    D = "<" + TagName(T.Sy);
  if (T.Sy == HeadingSy) D += std::to_string(T.HeadingLevel);
  for (int I = 0; I < T.Attributes.Count(); ++I) {
    const TAttribute* A = T.Attributes[I];
    D += " " + AttrName(A->Symbol) + "=" + A->Text + "(" + std::to_string(A->Value) + ")";
  }
  return D + ">";
}

std::string Tokenize(const std::string& Html, bool Keep = false) {
  THtmlTokenizer T;
  T.KeepWhiteSpace = Keep;
  T.Start(Html);
  std::string R;
  for (int Guard = 0; Guard < 1000; ++Guard) {
    T.GetToken();
    if (T.Sy == EofSy) return R;
    if (!R.empty()) R += "|";
    R += Describe(T);
  }
  return R + "|(no end)";
}

struct Case {
  const char* Html;
  const char* Expected;
};

TEST(Tokenizer, TagsAttributesAndText) {
  const Case Cases[] = {
      {"<A HREF=\"x.htm\" target=_top>link</A>", "<a href=x.htm(0) target=_top(0)>|link|</a>"},
      {"<img width=50% border>", "<img width=50%(50) border=(1)>"},
      {"<td width=\"50%\" colspan=2 bgcolor=#ff0000>", "<td width=50%(50) colspan=2(2) bgcolor=#ff0000(0)>"},
      {"<p align='center' foo=bar>", "<p align=center(0) ?=bar(0)>"},
      {"<TABLE Border = 3 cellpadding=\" 4 \">", "<table border=3(3) cellpadding= 4 (4)>"},
      {"<font size=+1 color=\"red\">x</font>", "<font size=+1(1) color=red(0)>|x|</font>"},
      {"<input type=text value=\"a\r\nb\">", "<input type=text(0) value=ab(0)>"},
      {"<a title=\"x &amp; y\" name=n1>", "<a ?=x & y(0) name=n1(0)>"},
      {"<img width=\"1e30\" height=-1e30 hspace=2.5 vspace=3.5>",
       "<img width=1e30(2147483647) height=-1e30(-2147483648) hspace=2.5(2) vspace=3.5(4)>"},
      {"<b>bold</b> <i>it</i>", "<b>|bold|</b>| |<i>|it|</i>"},
      {"<h2 align=center>T</h2>", "<h2 align=center(0)>|T|</h>"},
      {"<H7>x", "<h0>|x"},
      {"</br><br/>", "<?>|<br>"},
      {"<foo bar=1>", "<? ?=1(1)>"},
      {"<link rel=stylesheet href=a.css>", "<link rel=stylesheet(0) href=a.css(0)>"},
      {"<td nowrap wrap=soft>", "<td nowrap=(0) wrap=soft(0)>"},
  };
  for (const Case& C : Cases) EXPECT_EQ(Tokenize(C.Html), C.Expected) << C.Html;
}

TEST(Tokenizer, WhiteSpaceAndLineEnds) {
  const Case Cases[] = {
      {"a\r\nb", "a b"},
      {"a  \t\r\n  b", "a b"},
      {"  x", " x"},
  };
  for (const Case& C : Cases) EXPECT_EQ(Tokenize(C.Html), C.Expected) << C.Html;
  const Case Kept[] = {
      {"a\r\nb", "a\rb"}, {"a\n\rb", "a\rb"}, {"a\rb", "a\rb"}, {"a\nb", "a\rb"},
      {"a\r\n\r\nb", "a\r\rb"}, {"a\n\nb", "a\r\rb"}, {"a\tb", "a b"},
  };
  for (const Case& C : Kept) EXPECT_EQ(Tokenize(C.Html, true), C.Expected) << C.Html;
}

TEST(Tokenizer, Entities) {
  const Case Cases[] = {
      {"&amp &lt;", "&| |<"},
      {"&Amp;", "&Amp;"},
      {"&hellip;", "..."},
      {"&eacute;", "\xE9"},
      {"&#8364;", "\x80"},
      {"&euro;", "\x80"},
      {"&#;", "&#|;"},
      {"&#123456;", "&#12345|6;"},
      {"&#70000;", "&#70000;"},
      {"&#65;&#9;&#10;", "A| |\n"},
      {"&nbsp;", "\x05"},
      {"&rsquo;&ndash;", "'|-"},
      {"&Scaron;&trade;", "\x8A|\x99"},
      {"&OElig;&#945;", "?|?"},
      {"&copy;&yuml;", "\xA9|\xFF"},
      {"&#x41;", "&#|x41;"},
      {"&foo;", "&foo;"},
      {"&abcdefg;", "&abcdef|g;"},
      {"& x", "&| x"},
  };
  for (const Case& C : Cases) EXPECT_EQ(Tokenize(C.Html), C.Expected) << C.Html;
}

TEST(Tokenizer, CommentsDeclarationsAndMalformedMarkup) {
  const Case Cases[] = {
      {"a<!-- x -->b", "ab"},
      {"a<!-- a -- >b", "ab"},
      {"a<!-- a -- b -->c", "ac"},
      {"a<!--- x --->b", "ab"},
      {"<!DOCTYPE html PUBLIC \"x\">t", "t"},
      {"a<!-x>b", "ab"},
      {"<!-- 1 --><!-- 2 --><b>", "<b>"},
      {"a < b", "a |<| b"},
      {"a </ b", "a |</| b"},
      {"x\x01y", "x|#1|y"},
      {"<a href=\"x>y", "<a href=x>y(0)>"},
      {"<p", "<p>"},
  };
  for (const Case& C : Cases) EXPECT_EQ(Tokenize(C.Html), C.Expected) << C.Html;
}

TEST(Tokenizer, OpenCommentAtEndRaises) {
  for (const char* Html : {"text <!-- never closed", "<!DOCTYPE", "<!-- a -- b"}) {
    THtmlTokenizer T;
    try {
      T.Start(Html);
      for (int I = 0; I < 100; ++I) {
        T.GetToken();
        if (T.Sy == EofSy) break;
      }
      ADD_FAILURE() << "no error for " << Html;
    } catch (const EParseError& E) {
      EXPECT_EQ(E.Message(), "Open Comment at End of HTML File");
    }
  }
}

TEST(Tokenizer, EntitiesInOtherCodePages) {
  THtmlTokenizer T;
  T.CodePage = 1251;
  T.Start("&#1073;&euro;<p title=\"&#1073;\">");
  T.GetToken();
  EXPECT_EQ(T.Buff.AsString(), "\xE1");  // Cyrillic be in code page 1251
  T.GetToken();
  EXPECT_EQ(T.Buff.AsString(), "\x88");
  T.GetToken();
  ASSERT_EQ(T.Attributes.Count(), 1);
  EXPECT_EQ(T.Attributes[0]->Text, "?");  // attribute values use the system code page, 1250
  EXPECT_EQ(UnicodeToCodePage(0x20AC, 1252), "\x80");
  EXPECT_EQ(UnicodeToCodePage(0x4E00, 932), "\x88\xEA");
}

TEST(Tokenizer, PositionsOfCharacters) {
  THtmlTokenizer T;
  T.Start("ab<b>&amp;&eacute;");
  T.GetToken();
  ASSERT_EQ(T.Buff.AsString(), "ab");
  EXPECT_EQ(T.Buff.Positions(0), 0);
  EXPECT_EQ(T.Buff.Positions(1), 1);
  T.GetToken();
  T.GetToken();
  ASSERT_EQ(T.Buff.AsString(), "&");
  EXPECT_EQ(T.Buff.Positions(0), 5);
  T.GetToken();
  ASSERT_EQ(T.Buff.AsString(), "\xE9");
  EXPECT_EQ(T.Buff.Positions(0), 10);
}

TEST(Tokenizer, StyleTagLeavesTheGreaterSign) {
  THtmlTokenizer T;
  T.Start("<style type=text/css>p{}");
  T.GetToken();
  EXPECT_EQ(T.Sy, StyleSy);
  EXPECT_EQ(T.Ch, '>');
}

TEST(Tokenizer, TextAreaTokens) {
  THtmlTokenizer T;
  T.Start("line <b>1\r\n&lt;2</TextArea>after");
  std::vector<std::string> Got;
  for (int I = 0; I < 20; ++I) {
    T.GetTextAreaToken();
    if (T.Sy == TextAreaEndTagSy) {
      Got.push_back("END");
      break;
    }
    if (T.Sy == EolSy)
      Got.push_back("EOL");
    else if (T.Sy == UnknownTagSy)
      Got.push_back("?" + T.Buff.AsString());
    else
      Got.push_back(T.Buff.AsString());
  }
  EXPECT_EQ(Got, (std::vector<std::string>{"line ", "?<b", ">1", "EOL", "<", "2", "END"}));
  T.GetToken();
  EXPECT_EQ(T.Buff.AsString(), "after");
}

TEST(Tokenizer, IncludeDirectiveReadsTheHandlersText) {
  THtmlTokenizer T;
  std::string Command;
  std::vector<std::string> Params;
  T.OnInclude = [&](const std::string& C, const std::vector<std::string>& P, std::string& Buffer) {
    Command = C;
    Params = P;
    Buffer = "<b>IN</b>";
  };
  T.Start("a<!--#insert file=\"x &amp; y.htm\" count=3 -->b");
  std::string R;
  for (int I = 0; I < 20; ++I) {
    T.GetToken();
    if (T.Sy == EofSy) break;
    R += (R.empty() ? "" : "|") + Describe(T);
  }
  EXPECT_EQ(Command, "insert");
  EXPECT_EQ(Params, (std::vector<std::string>{"file=x & y.htm", "count=3"}));
  EXPECT_EQ(R, "a|<b>|IN|</b>|b");
}

TEST(Tokenizer, IdAttributesEnterTheIdList) {
  TIDNameList Ids;
  THtmlTokenizer T;
  T.IDNameList = &Ids;
  T.Start("<p id=First>x<div ID=\"second\">");
  for (int I = 0; I < 10 && T.Sy != EofSy; ++I) T.GetToken();
  EXPECT_GE(Ids.IndexOf("first"), 0);
  EXPECT_GE(Ids.IndexOf("SECOND"), 0);
  EXPECT_EQ(Ids.Count(), 2);
}

TEST(Tokenizer, SymbolTables) {
  EXPECT_EQ(LookupTag("TEXTAREA"), TextAreaSy);
  EXPECT_EQ(EndSymbolOf(SpanSy), SpanEndSy);
  EXPECT_EQ(EndSymbolOf(LISy), NoSy);
  EXPECT_EQ(TagName(BlockQuoteSy), "blockquote");
  EXPECT_EQ(EndTagName(TDEndSy), "td");
  EXPECT_EQ(LookupAttribute("TEXT"), TextSy);
  EXPECT_EQ(LookupAttribute("STYLE"), StyleSy);
  EXPECT_EQ(LookupAttribute("HTTP-EQUIV"), HttpEqSy);
  uint8_t Set = 0;
  ASSERT_TRUE(CharsetFromText("text/html; charset=iso-8859-15", Set));
  EXPECT_EQ(Set, 0);
  ASSERT_TRUE(CharsetFromText("windows-1250", Set));
  EXPECT_EQ(Set, 238);
  EXPECT_FALSE(CharsetFromText("utf-8", Set));
}

}  // namespace

namespace {

TEST(Tokenizer, CommentInsideAnIncludeValueStillEndsAtTheEnd) {
  THtmlTokenizer T;
  T.OnInclude = [](const std::string&, const std::vector<std::string>&, std::string& Buffer) { Buffer = "x"; };
  bool Raised = false;
  try {
    T.Start("<!--#cmd a=\"&<!-- -->\" never closed");
    for (int I = 0; I < 50 && T.Sy != EofSy; ++I) T.GetToken();
  } catch (const EParseError&) {
    Raised = true;
  }
  EXPECT_TRUE(Raised);
}

}  // namespace
