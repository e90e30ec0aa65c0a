#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "controls/xmlreader.h"

namespace {

// One line per tree: a kind letter, ":name" and "=value" when not empty, children in braces.
std::string Dump(const TXMLNode* Node) {
  static const char Letters[] = "DEAPX";
  std::string S(1, Letters[Node->Kind]);
  if (!Node->Name.empty()) S += ":" + Node->Name;
  if (!Node->Value.empty()) S += "=" + Node->Value;
  if (Node->ChildCount() > 0) {
    S += "{";
    for (int I = 0; I < Node->ChildCount(); ++I) {
      if (I > 0) S += ",";
      S += Dump(Node->GetChild(I));
    }
    S += "}";
  }
  return S;
}

std::unique_ptr<TXMLNode> Parse(const std::string& Text) {
  TXMLStringReader Reader(Text);
  return std::unique_ptr<TXMLNode>(Reader.ReadDocument());
}

struct TreeCase {
  const char* Doc;
  const char* Tree;
};

void PrintTo(const TreeCase& C, std::ostream* Os) { *Os << C.Doc; }

class XmlTreeTest : public ::testing::TestWithParam<TreeCase> {};

TEST_P(XmlTreeTest, DocumentGivesTree) {
  const TreeCase& C = GetParam();
  std::unique_ptr<TXMLNode> Doc;
  ASSERT_NO_THROW(Doc = Parse(C.Doc)) << C.Doc;
  EXPECT_EQ(Dump(Doc.get()), C.Tree) << C.Doc;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, XmlTreeTest,
    ::testing::Values(
        // An empty root element as the very last bytes, with no prolog.
        TreeCase{"<a/>", "D{E:a}"},
        TreeCase{"<a/>\n", "D{E:a}"},
        TreeCase{"<a></a>", "D{E:a}"},
        TreeCase{"<?xml version=\"1.0\"?>\n<root/>", "D{X{A:version=1.0},E:root}"},
        TreeCase{"<?xml version='1.0' encoding='windows-1250' ?><r/>",
                 "D{X{A:version=1.0,A:encoding=windows-1250},E:r}"},
        // Character data around a child joins, trimmed only at the two ends.
        TreeCase{"<a>  x  y <b/>  z \n</a>", "D{E:a=x  y   z{E:b}}"},
        // Attributes come first, then content children.
        TreeCase{"<a p='1' q=\"2\">t<b/></a>", "D{E:a=t{A:p=1,A:q=2,E:b}}"},
        TreeCase{"<a x = 'v' />", "D{E:a{A:x=v}}"},
        // References in content and in attribute values.
        TreeCase{"<a>&#65;&#x42;&amp;</a>", "D{E:a=AB&}"},
        TreeCase{"<a v=\"&#65;&#x42;&amp;\"/>", "D{E:a{A:v=AB&}}"},
        TreeCase{"<a v='&lt;x'>&gt;y</a>", "D{E:a=>y{A:v=<x}}"},
        TreeCase{"<a>&quot;&apos;</a>", "D{E:a=\"'}"},
        // A numeric reference keeps the low 8 bits of its number.
        TreeCase{"<a>&#321;&#x1F4A9;&#185;</a>", "D{E:a=A\xA9\xB9}"},
        // CDATA is taken unchanged; only the element's final trim applies.
        TreeCase{"<a> <![CDATA[ <b>&amp; ]]> </a>", "D{E:a=<b>&amp;}"},
        TreeCase{"<a><?pi  some data ?><!-- note --></a>", "D{E:a{P:pi=some data }}"},
        TreeCase{"<a/>\n<!-- end -->\n<?post x?>", "D{E:a,P:post=x}"},
        TreeCase{"<?style a?><!-- c --><a/>", "D{P:style=a,E:a}"},
        TreeCase{"<x:y-z.1_w\xB7/>", "D{E:x:y-z.1_w\xB7}"},
        // 8-bit text passes through as bytes.
        TreeCase{"<a>za\xBF\xF3\xB3\xE6</a>", "D{E:a=za\xBF\xF3\xB3\xE6}"},
        TreeCase{"<a>1</a  >", "D{E:a=1}"},
        // Whatever follows the root element and its trailing comments is ignored.
        TreeCase{"<a/>junk<b>", "D{E:a}"},
        TreeCase{"<a/><!-- open", "D{E:a}"},
        TreeCase{"<G><P><C V='5'/><R V='3'>3</R></P></G>", "D{E:G{E:P{E:C{A:V=5},E:R=3{A:V=3}}}}"}));

struct ErrorCase {
  const char* Doc;
  const char* Message;
};

void PrintTo(const ErrorCase& C, std::ostream* Os) { *Os << C.Doc; }

class XmlErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(XmlErrorTest, DocumentRaisesExactMessage) {
  const ErrorCase& C = GetParam();
  try {
    Parse(C.Doc);
    FAIL() << "no error for " << C.Doc;
  } catch (const Exception& E) {
    EXPECT_EQ(E.ClassName(), "Exception");
    EXPECT_EQ(E.Message(), C.Message) << C.Doc;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, XmlErrorTest,
    ::testing::Values(
        ErrorCase{"", "Unexpected end of data"},
        ErrorCase{"<a>", "Unexpected end of data"},
        ErrorCase{"<a", "Unexpected end of data"},
        ErrorCase{"<a>&#65</a>", "Unexpected end of data"},
        ErrorCase{"   ", "Missing element"},
        ErrorCase{"<?xml version='1.0'?>text", "Missing element"},
        ErrorCase{"<!DOCTYPE a><a/>", "DocTypeDecl parsing not yet implemented"},
        ErrorCase{"<?xml version='1.0'?>\n<!DOCTYPE a [ ]>\n<a/>", "DocTypeDecl parsing not yet implemented"},
        ErrorCase{"<?xml version='1.0'><a/>", "XML declaration not terminated with \"?>\""},
        ErrorCase{"<a x='1' <b/>", "Tag not terminated properly"},
        ErrorCase{"<a/ >", "Tag not terminated properly"},
        ErrorCase{"<a>text", "No ending tag for a"},
        ErrorCase{"<a><b>x</b>", "No ending tag for a"},
        ErrorCase{"<a x/>", "Equals sign missing in attribute"},
        ErrorCase{"<a x=1/>", "Attribute \"x\" missing value"},
        ErrorCase{"<a x='<'/>", "Invalid character \"<\" in attribute value"},
        ErrorCase{"<a>x]]>y</a>", "Character data cannot contain \"]]>\""},
        ErrorCase{"<a><!-- x ---></a>", "Comments cannot end in \"--->\""},
        ErrorCase{"<a><? x?></a>", "Processing instruction does not contain valid name"},
        ErrorCase{"<?xml version='1'?><?xml version='1'?><a/>",
                  "Processing instruction cannot have the reserved name \"xml\""},
        ErrorCase{"<!--c--><?xml version='1'?><a/>", "Processing instruction cannot have the reserved name \"xml\""},
        ErrorCase{"<a><?pi data</a>", "Unterminated processing instruction"},
        ErrorCase{"<a></b>", "End tag name \"b\" does not match start tag name \"a\""},
        ErrorCase{"<a><b></a>", "End tag name \"a\" does not match start tag name \"b\""},
        ErrorCase{"<a></a x>", "End tag missing \">\""},
        ErrorCase{"<a>&foo;</a>", "Unrecognized reference"},
        ErrorCase{"<a v='&nbsp;'/>", "Unrecognized reference"},
        ErrorCase{"<a>&#xZZ;</a>", "Invalid integer in reference &#xZZ;"},
        ErrorCase{"<a>&#;</a>", "Invalid integer in reference &#;"},
        ErrorCase{"<a>&#99999999999;</a>", "Invalid integer in reference &#99999999999;"}));

TEST(XmlReaderTest, HostileNestingIsRefusedNotOverflowingTheStack) {
  std::string Doc;
  for (int I = 0; I < 100000; ++I) Doc += "<a>";
  try {
    Parse(Doc);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Elements nested too deeply");
  }
  // Moderate nesting still parses.
  std::string Ok;
  for (int I = 0; I < 100; ++I) Ok += "<a>";
  for (int I = 0; I < 100; ++I) Ok += "</a>";
  auto Tree = Parse(Ok);
  const TXMLNode* N = Tree.get();
  int Depth = 0;
  while (N->ChildCount() == 1) {
    N = N->GetChild(0);
    ++Depth;
  }
  EXPECT_EQ(Depth, 100);
}

TEST(XmlNodeTest, WalkByChildNameAndReadIntegers) {
  auto Doc = Parse(
      "<Gallery>\n <Params>\n  <ColCnt><Value>5</Value></ColCnt>\n  <Row>1</Row><Row>2</Row><Row> x </Row>\n"
      " </Params>\n</Gallery>");
  TXMLNode* Params = Doc->FindChild("Gallery")->FindChild("Params");
  ASSERT_NE(Params, nullptr);
  EXPECT_EQ(Params->FindChild("ColCnt")->FindChild("Value")->IntValue(), 5);
  EXPECT_EQ(Params->FindNthChild("Row", 0)->IntValue(), 1);
  EXPECT_EQ(Params->FindNthChild("Row", 1)->IntValue(), 2);
  EXPECT_EQ(Params->FindNthChild("Row", 3), nullptr);
  EXPECT_EQ(Params->FindChild("row"), nullptr);  // names are case-sensitive
  try {
    Params->FindNthChild("Row", 2)->IntValue();
    FAIL();
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Node \"Row\" does not contain a valid integer");
  }
  EXPECT_EQ(Params->GetChild(1)->Name, "Row");
  EXPECT_THROW(Params->GetChild(4), EListError);
  EXPECT_THROW(Params->GetChild(-1), EListError);
}

TEST(XmlNodeTest, RemoveChildHandsBackOwnership) {
  auto Root = std::make_unique<TXMLNode>();
  auto* A = new TXMLNode();
  A->Name = "a";
  auto* B = new TXMLNode();
  B->Name = "b";
  Root->AddChild(A);
  Root->AddChild(B);
  Root->RemoveChild(A);
  std::unique_ptr<TXMLNode> Owned(A);
  ASSERT_EQ(Root->ChildCount(), 1);
  EXPECT_EQ(Root->GetChild(0), B);
  EXPECT_STREQ(XMLNodeKindNames[nkProcessingInstruction], "ProcessingInstruction");
}

TEST(XmlStrlibTest, LeftRightAndTrimSet) {
  struct {
    const char* S;
    int N;
    const char* Left;
    const char* Right;
  } Cases[] = {{"abcdef", 2, "ab", "ef"}, {"abc", 5, "abc", "abc"}, {"abc", 0, "", ""}, {"", 3, "", ""}};
  for (const auto& C : Cases) {
    EXPECT_EQ(LeftStr(C.S, C.N), C.Left);
    EXPECT_EQ(RightStr(C.S, C.N), C.Right);
  }
  EXPECT_EQ(TrimSet("\t x y \r\n", "\t\n\r "), "x y");
  EXPECT_EQ(TrimSet("  \t", "\t "), "");
  EXPECT_EQ(TrimSet("xx", ""), "xx");
}

}  // namespace
