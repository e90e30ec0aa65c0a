// The expression scanner and parser: tree shapes and exact messages.
#include <gtest/gtest.h>

#include "expr_test_util.h"

namespace {

struct TParseCase {
  const char* Text;
  uint8_t Flags;
  const char* Expected;  // tree form, or "!" + message, or "!!" + exception class
};

constexpr uint8_t F = pfPredicates;  // a filter's flags

const TParseCase kParseCases[] = {
    // Comparisons arrive as one or two symbols, with or without blanks between them.
    {"a<>b", F, "(ne c:a c:b)"},
    {"a < > b", F, "(ne c:a c:b)"},
    {"a<> b", F, "(ne c:a c:b)"},
    {"a <= 1", F, "(le c:a i:1)"},
    {"a< =1", F, "(le c:a i:1)"},
    {"a >= 1", F, "(ge c:a i:1)"},
    {"a > 1", F, "(gt c:a i:1)"},
    {"a < 1", F, "(lt c:a i:1)"},
    // Literals.
    {"x = 'O''Brien'", F, "(eq c:x s:O'Brien)"},
    {"x = \"say \"\"hi\"\"\"", F, "(eq c:x s:say \"hi\")"},
    {"x = ''", F, "(eq c:x null:1)"},
    {"x = TRUE", F, "(eq c:x true)"},
    {"x = false", F, "(eq c:x false)"},
    {"x = NULL", F, "(eq c:x null:0)"},
    {"#65", F, "s:A"},
    {"#256", F, "!Character constants (#) must be within the range of 0 to 255 in filter expression"},
    {"#", F, "!!EConvertError"},
    {"1e5", F, "f:100000"},
    {"1E-3", F, "f:0.001"},
    {"1-e5", F, "(sub i:1 c:e5)"},
    {"12", F, "i:12"},
    {"1.2.3", F, "!!EConvertError"},
    {"1E", F, "!!EConvertError"},
    {"99999999999", F, "!!EConvertError"},
    {".5", F, "f:0.5"},
    // Names.
    {"[Last Name] = 1", F, "(eq c:Last Name i:1)"},
    {"[SUM]", F, "c:SUM"},
    {"t.name", F, "c:t.name"},
    {"\"t\".name", F, "c:t.name"},
    {"[t].[name]", F, "c:t.name"},
    {"[c:\\data\\t.dat].name", F, "c:t.name"},
    {"t.(", F,
     "!Symbol or string expression expected after table correlation name separator '.', instead found '(' in filter "
     "expression"},
    {"t.5", F, "c:t"},  // ".5" is a float under a '.' decimal separator
    {"t.*", F, "!* (all columns) symbol is not allowed in filter expression"},
    {"t.*", F | pfAllColumns, "c:t.*"},
    // Precedence and stopping.
    {"a + b * c - d / e", F, "(sub (add c:a (mul c:b c:c)) (div c:d c:e))"},
    {"a OR b AND c", F, "(or c:a (and c:b c:c))"},
    {"NOT a = 1 AND b = 2", F, "(and (not (eq c:a i:1)) (eq c:b i:2))"},
    {"-a * +2", F, "(mul (neg c:a) (pos i:2))"},
    {"a || b", F, "(add c:a c:b)"},
    {"a | | b", F, "(add c:a c:b)"},
    {"a | b", F,
     "!Second concatenation symbol '|' expected after first concatentation symbol, instead found 'b' in filter "
     "expression"},
    {"(a = 1", F, "!Right parentheses expected, instead found '' in filter expression"},
    {"-", F, "!Unknown or unexpected symbol '' found in filter expression"},
    // Comments.
    {"/* a * b */ x", F, "!Missing ending comment slash and asterisk in filter expression"},
    {"/* open", F, "!Missing ending comment slash and asterisk in filter expression"},
    {"/* note */ x = 1", F, "(eq c:x i:1)"},
    // Unterminated delimiters.
    {"x = 'abc", F, "!Missing single quote after 'abc' in filter expression"},
    {"x = \"abc", F, "!Missing double quote after 'abc' in filter expression"},
    {"[abc", F, "!Missing right bracket after 'abc' in filter expression"},
    // Extended predicates.
    {"x LIKE 'a%'", F, "(like c:x s:a%)"},
    {"x NOT LIKE 'a%'", F, "(notlike c:x s:a%)"},
    {"x LIKE 'a%'", 0, "!Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in filter expression"},
    {"x BETWEEN 1 AND 5", F, "(between c:x [i:1 i:5])"},
    {"x NOT BETWEEN -1 AND 5", F, "(notbetween c:x [(neg i:1) i:5])"},
    {"x BETWEEN 1 OR 5", F, "!Expected AND operator in BETWEEN operator, instead found 'OR' in filter expression"},
    {"x IN (1, 2, 3)", F, "(in c:x [i:1 i:2 i:3])"},
    {"x NOT IN ('a')", F, "(notin c:x [s:a])"},
    {"x IN ()", F, "!Unknown or unexpected symbol ')' found in filter expression"},
    {"x IN 1", F, "!Expected left parentheses after IN operator, instead found '1' in filter expression"},
    {"x NOT IN 1", F, "!Expected left parentheses for IN operator, instead found '1' in filter expression"},
    {"x IN (1, 2", F, "!Expected right parentheses after IN operator, instead found '' in filter expression"},
    {"x IN (SELECT a FROM t)", F, "!Sub-select queries are not allowed in filter expression"},
    {"x NOT FOO", F, "!Unknown or unexpected symbol 'FOO' in filter expression"},
    {"x IS NULL", F, "(eq c:x null:0)"},
    {"x IS NOT NULL", F, "(ne c:x null:0)"},
    {"x IS FOO", F, "!Unknown or unexpected symbol 'FOO' found in filter expression"},
    {"x IS NOT 1", F, "!Unknown or unexpected symbol '1' found in filter expression"},
    // Flags.
    {"*", F, "!* (all columns) symbol is not allowed in filter expression"},
    {"?", F, "!Parameters are not allowed in filter expression"},
    {"x = ?", F | pfParameters, "(eq c:x ?)"},
    {"SUM(x)", F, "!Aggregate functions are not allowed in filter expression"},
    {"SUM(x)", F | pfAggregates, "(sum c:x)"},
    {"COUNT(*)", pfAggregates, "(count c:*)"},
    {"COUNT x", pfAggregates,
     "!Left parentheses expectedafter aggregate function 'COUNT', instead found 'x' in filter expression"},
    {"Sum(x", pfAggregates,
     "!Right parentheses expected after aggregate Sum function argument, instead found '' in filter expression"},
    {"FOO(1)", F, "!Unknown or unexpected function 'FOO' found in filter expression"},
    // Functions.
    {"UPPER)", F, "!Left parentheses expectedafter UPPER keyword, instead found ')' in filter expression"},
    {"UPPER(x", F, "!Right parentheses expected after UPPER function argument, instead found '' in filter expression"},
    {"lower x", F, "!Left parentheses expectedafter LOWER keyword, instead found 'x' in filter expression"},
    {"UPPER(a || b)", F, "(upper (add c:a c:b))"},
    {"SUBSTRING(s FROM 2 FOR 3)", F, "(substring c:s [i:2 i:3])"},
    {"SUBSTRING(s FROM 1+1)", F,
     "!Right parentheses expected after SUBSTRING function arguments, instead found '+' in filter expression"},
    {"SUBSTRING s", F, "!Left parentheses expected after SUBSTRING keyword, instead found 's' in filter expression"},
    {"SUBSTRING(s 2)", F,
     "!FROM keyword expected after first SUBSTRING function argument, instead found '2' in filter expression"},
    {"REPLACE('a' WITH 'b' IN s)", F, "(replace c:s [s:a s:b])"},
    {"REPLACE('a' 'b')", F,
     "!WITH keyword expected after first REPLACE function argument, instead found 'b' in filter expression"},
    {"REPLACE('a' WITH 'b' s)", F,
     "!IN keyword expected after second REPLACE function argument, instead found 's' in filter expression"},
    {"POS('a' IN s)", F, "(pos c:s s:a)"},
    {"OCCURS('a' s)", F,
     "!IN keyword expected after first OCCURS function argument, instead found 's' in filter expression"},
    {"POS('a' IN s", F, "!Right parentheses expected after POS function arguments, instead found '' in filter expression"},
    {"TRIM(LEADING 'x' FROM s)", F, "(trimleading c:s s:x)"},
    {"TRIM(trailing 'x' FROM s)", F, "(trimtrailing c:s s:x)"},
    {"TRIM(MIDDLE 'x' FROM s)", F,
     "!LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found 'MIDDLE' in filter expression"},
    {"TRIM(BOTH 'x' s)", F,
     "!FROM keyword expected after second TRIM function argument, instead found 's' in filter expression"},
    {"CAST(x AS INTEGER)", F, "(cast:6 c:x)"},
    {"CAST(x AS CHAR(10))", F, "(cast:1 c:x [i:10])"},
    {"CAST(x AS DECIMAL(10, 2))", F, "(cast:8 c:x [i:10 i:2])"},
    {"CAST(x AS BLOB(1, 1))", F, "(cast:3 c:x [i:1 i:1])"},
    {"CAST(x INTEGER)", F, "!AS keyword expected after first CAST function argument, instead found 'INTEGER' in filter expression"},
    {"CAST(x AS FOO)", F, "!SQL data type keyword expected, instead found 'FOO' in filter expression"},
    {"CAST(x AS CHAR 10)", F,
     "!Left parentheses expected after CHARACTER or CHAR data type, instead found '10' in filter expression"},
    {"CAST(x AS VARCHAR(10 x", F,
     "!Right parentheses expected after VARCHAR data type arguments, instead found 'x' in filter expression"},
    {"CAST(x AS VARCHAR(10)", F,
     "!Right parentheses expected after CAST function arguments, instead found '' in filter expression"},
    {"CAST(x AS DECIMAL(10 2))", F, "!Comma expected after first DECIMAL argument, instead found '2' in filter expression"},
    {"CAST(x AS DECIMAL(10))", F, "!Unknown or unexpected symbol ')' found in filter expression"},
    {"CAST(x AS BLOB(1 2))", F, "!Comma expected after first BLOB argument, instead found '2' in filter expression"},
    {"CAST(x AS BYTES(4 x", F, "!Right parentheses expected after BYTES data type arguments, instead found 'x' in filter expression"},
    {"EXTRACT(DAYOFWEEK FROM d)", F, "(dayofweek c:d)"},
    {"EXTRACT(WEEK FROM d)", F,
     "!YEAR, MONTH, DAY, DAYOFWEEK, HOUR, MINUTE, or SECOND keyword expected after EXTRACT keyword, instead found "
     "'WEEK' in filter expression"},
    {"EXTRACT(YEAR d)", F,
     "!FROM keyword expected after second EXTRACT function argument, instead found 'd' in filter expression"},
    {"ABS(-1)", F, "(abs (neg i:1))"},
    {"ABS 1", F, "!Left parentheses expectedafter ABS keyword, instead found '1' in filter expression"},
    {"ROUND(f TO 2)", F, "(round c:f i:2)"},
    {"ROUND(f, 2)", F, "!Right parentheses expected after ROUND function arguments, instead found ',' in filter expression"},
    {"IF(a THEN 1 ELSE b + 2)", F, "(if c:a i:1 (add c:b i:2))"},
    {"IF(a 1)", F, "!THEN keyword expected after first IF function argument, instead found '1' in filter expression"},
    {"IF(a THEN 1 2)", F, "!ELSE keyword expected after second IF function argument, instead found '2' in filter expression"},
    {"IF a", F, "!Left parentheses expectedafter IF keyword, instead found 'a' in filter expression"},
};

class ParseTable : public ::testing::TestWithParam<TParseCase> {};

TEST_P(ParseTable, GivesTreeOrMessage) {
  const TParseCase& C = GetParam();
  EXPECT_EQ(ParseToText(C.Text, C.Flags), C.Expected) << C.Text;
}

INSTANTIATE_TEST_SUITE_P(Expressions, ParseTable, ::testing::ValuesIn(kParseCases));

TEST(ExprParser, StopsAtTheFirstTokenThatCannotContinue) {
  std::string Rest;
  EXPECT_EQ(ParseToText("a = b = c", F, 0, &Rest), "(eq c:a c:b)");
  EXPECT_EQ(Rest, "=");
  // Only one comment is skipped: the second one's slash is the next token.
  TExpressionParser P;
  P.SetText("/* a */ /* b */ x");
  EXPECT_EQ(P.NextToken(), '/');
}

// An operand is a whole expression when a delimiter or a name other than an operator's word comes
// after it (a value of a list, a result column before its alias or FROM); the words and symbols of
// the operators go on with the expression, and NOT before an operand is an operator.
TEST(ExprParser, AnOperandEndsTheExpressionOnlyBeforeWhatNoOperatorTakes) {
  struct TCase {
    const char* Text;
    const char* Tree;
    const char* Rest;
  };
  const TCase Cases[] = {
      {"x, y", "c:x", ","},
      {"12)", "i:12", ")"},
      {"'a';", "s:a", ";"},
      {"[a b] FROM t", "c:a b", "FROM"},
      {"t.x alias", "c:t.x", "alias"},
      {"#65 x", "s:A", "x"},
      {"1.5 AS y", "f:1.5", "AS"},
      {"x AND y", "(and c:x c:y)", ""},
      {"x or y", "(or c:x c:y)", ""},
      {"x NOT IN (1)", "(notin c:x [i:1])", ""},
      {"x LIKE 'a%'", "(like c:x s:a%)", ""},
      {"1 BETWEEN 0 AND 2", "(between i:1 [i:0 i:2])", ""},
      {"'a' in ('a')", "(in s:a [s:a])", ""},
      {"x IS NULL", "(eq c:x null:0)", ""},
      {"x = 1", "(eq c:x i:1)", ""},
      {"x * 2, y", "(mul c:x i:2)", ","},
      {"NOT x, y", "(not c:x)", ","},
      {"NOT, y", "!Unknown or unexpected symbol ',' found in filter expression", ""},
      {"x.(, y", "!Symbol or string expression expected after table correlation name separator '.', instead found '(' in "
                 "filter expression", ""},
      {"'abc, x", "!Missing single quote after 'abc, x' in filter expression", ""},
  };
  for (const TCase& C : Cases) {
    std::string Rest;
    EXPECT_EQ(ParseToText(C.Text, F, 0, &Rest), C.Tree) << C.Text;
    if (C.Tree[0] != '!') {
      EXPECT_EQ(Rest, C.Rest) << C.Text;
    }
  }
}

TEST(ExprParser, DecimalSeparatorOfTheLocaleMakesOneFloatOfAList) {
  // Under the Polish locale "13,32" is one float, as the application relies on.
  EXPECT_EQ(ParseToText("key not in (13,32)", F, 0x0415), "(notin c:key [f:13.32])");
  EXPECT_EQ(ParseToText("key not in (13,32)", F, 0), "(notin c:key [i:13 i:32])");
  EXPECT_EQ(ParseToText("x = 2,5", F, 0x0415), "(eq c:x f:2.5)");
  EXPECT_EQ(ParseToText("x = ,5", F, 0x0415), "(eq c:x f:0.5)");
}

TEST(ExprParser, NodeTextsAreTheOperatorsAsWritten) {
  TExpressionParser P;
  P.Context = "filter expression";
  P.SetText("a<  >b AND x is  NOT   null");
  P.NextToken();
  TExpTree T(P.ParseExpression(F));
  EXPECT_EQ(T->Operand1->Text, "< >");
  EXPECT_EQ(T->Operand2->Text, "is NOT null");
  EXPECT_EQ(T->Operand2->Operand2->Text, "NULL");
  EXPECT_EQ(T->Text, "AND");
}

TEST(ExprParser, ErrorCarriesTheParsersCodeAndTable) {
  TExpressionParser P;
  P.ErrorCode = kFilterErrorCode;
  P.TableName = "student";
  P.Context = "filter expression";
  P.SetText("x = 'abc");
  try {
    P.NextToken();
    P.NextToken();
    P.NextToken();
    FAIL() << "no error";
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), kFilterErrorCode);
    EXPECT_NE(E.Message().find("student"), std::string::npos);
    EXPECT_NE(E.Message().find("Missing single quote after 'abc' in filter expression"), std::string::npos);
  }
}

TEST(ExprParser, LongTextsAreCutTo255Characters) {
  const std::string Long(300, 'q');
  EXPECT_EQ(ParseToText("'" + Long + "'", F), "s:" + std::string(255, 'q'));
  EXPECT_EQ(ParseToText("[" + Long + "]", F), "c:" + std::string(255, 'q'));
}

TEST(ExprParser, MarkedTextAndPositionFollowTheTokens) {
  TExpressionParser P;
  P.SetText("  Qty *\r\n 2 , next");
  P.NextToken();
  EXPECT_EQ(P.GetPosition(), 2);
  P.MarkPosition();
  TExpTree T(P.ParseExpression(0));
  EXPECT_TRUE(P.IsSymbol(','));
  EXPECT_EQ(P.MarkedText(), "Qty * 2");
}

TEST(ExprParser, ErrorsReturnThePartialTreeToThePool) {
  // Warm the pool, then a failing parse must not take nodes away for good.
  ParseToText("a + b + c + d", F);
  const int Before = PooledExpTokenCount();
  for (int I = 0; I < 50; ++I) ParseToText("a + b + c + (d", F);
  EXPECT_EQ(PooledExpTokenCount(), Before);
  // A leaf whose following token cannot be scanned (an unterminated string here) is freed with the
  // error, not dropped.
  const char* kLeafThenBadToken[] = {"t.a 'x", "t.* 'x", "* 'x", "? 'x", "TRUE 'x", "NULL 'x", "CURRENT_DATE 'x",
                                     "a + t.b \"x"};
  for (const char* Text : kLeafThenBadToken) {
    SCOPED_TRACE(Text);
    const int Warm = PooledExpTokenCount();
    EXPECT_EQ(ParseToText(Text, F | pfAllColumns | pfParameters).substr(0, 1), "!");
    EXPECT_EQ(PooledExpTokenCount(), Warm);
  }
}

TEST(ExprParser, RunawayNestingIsAnErrorNotAStackOverflow) {
  const auto Nested = [](int Depth, const std::string& Open, const std::string& Close) {
    std::string S;
    for (int I = 0; I < Depth; ++I) S += Open;
    S += "a";
    for (int I = 0; I < Depth; ++I) S += Close;
    return S;
  };
  EXPECT_EQ(ParseToText(Nested(100, "(", ")"), F), "c:a");
  EXPECT_EQ(ParseToText(Nested(100, "UPPER(", ")"), F).substr(0, 11), "(upper (upp");
  EXPECT_EQ(ParseToText(Nested(5000, "(", ")"), F), "!Expression nesting is too deep in filter expression");
  EXPECT_EQ(ParseToText(Nested(5000, "UPPER(", ")"), F), "!Expression nesting is too deep in filter expression");
}

// Long flat expressions. Chains of AND and OR of any length parse into shallow trees that check
// and evaluate as written; chains of other operators deeper than the documented 1000 levels and IN
// lists of more than 2000 values are refused with a clear error (not a stack overflow), and a
// refused text gives every node back to the pool.
TEST(ExprParser, LongFlatChainsWorkOrAreRefused) {
  const auto Chain = [](const std::string& Term, const std::string& Join, int Count) {
    std::string S = Term;
    for (int I = 1; I < Count; ++I) S += Join + Term;
    return S;
  };
  std::string Values = "1";
  for (int I = 2; I <= 2000; ++I) Values += ", " + std::to_string(I == 2000 ? 10 : 100 + I);
  const struct {
    std::string Text;
    bool Truth;
  } Works[] = {
      {Chain("Qty > 5", " AND ", 20000), true},
      {Chain("Qty > 5", " AND ", 20000) + " AND Qty < 0", false},
      {"Qty < 0 AND " + Chain("Qty > 5", " AND ", 20000), false},
      {Chain("Qty < 0", " OR ", 20000), false},
      {Chain("Qty < 0", " OR ", 10000) + " OR Name = 'Smith' OR " + Chain("Qty < 0", " OR ", 10000), true},
      {"(" + Chain("Qty > 5", " AND ", 100) + ") OR (" + Chain("Qty < 0", " OR ", 100) + ")", true},
      {"Qty IN (" + Values + ")", true},
      {"Qty NOT IN (" + Values + ")", false},
      {"Qty + " + Chain("1", " + ", 990) + " = 1000", true},
      {"Qty - " + Chain("1", " - ", 990) + " = -980", true},
  };
  TTestTable T;
  const std::vector<uint8_t> R = T.Sample();
  const TEvalContext E = T.EvalContext();
  for (const auto& W : Works) {
    SCOPED_TRACE(W.Text.substr(0, 40));
    TExpTree N(T.Checked(W.Text));
    TExpTree V(EvaluateExpression(N.Get(), R.data(), E));
    EXPECT_FALSE(V->Null);
    EXPECT_EQ(V->Get<uint16_t>() != 0, W.Truth);
  }
  std::string LongList = "1";
  for (int I = 2; I <= 60000; ++I) LongList += ", " + std::to_string(I);
  const std::string Refused[] = {
      Chain("Qty", " + ", 20000) + " > 0",
      "Qty IN (" + LongList + ")",
      "Qty IN (" + Values + ", 0)",
      Chain("Qty", " * ", 1001) + " > 0",
      "UPPER(" + Chain("Name", " || ", 5000) + ") = 'X'",
      "(" + Chain("Qty", " - ", 500) + ") + (" + Chain("Qty", " - ", 500) + ") - " + Chain("Qty", " - ", 600) + " > 0",
  };
  for (const std::string& Text : Refused) {
    SCOPED_TRACE(Text.substr(0, 40));
    EXPECT_EQ(ParseToText(Text, F), "!Expression is too long in filter expression");
    const int Warm = PooledExpTokenCount();
    ParseToText(Text, F);
    EXPECT_EQ(PooledExpTokenCount(), Warm);
  }
}

TEST(ExprParser, SubSelectGoesToTheStatementParser) {
  TExpressionParser P;
  P.Context = "WHERE clause";
  int Calls = 0;
  P.OnParseSubSelect = [&](TExpressionParser& Parser) -> TDataQuery* {
    ++Calls;
    while (!Parser.IsSymbol(')') && !Parser.IsSymbol(tkEnd)) Parser.NextToken();
    return nullptr;
  };
  P.SetText("x NOT IN (SELECT a FROM t) AND y = 1");
  P.NextToken();
  TExpTree T(P.ParseExpression(pfPredicates | pfSubSelects));
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(DumpTree(T.Get()), "(and (notinselect c:x [select]) (eq c:y i:1))");
}

}  // namespace
