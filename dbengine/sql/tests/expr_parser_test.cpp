#include <gtest/gtest.h>
#include "dbengine/sql/expr_parser.h"
TEST(ExprParser, Smoke) {
  TExpressionParser P;
  P.Context = "filter expression";
  P.SetText("a = 1");
  P.NextToken();
  TExpTree T(P.ParseExpression(pfPredicates));
  EXPECT_EQ(T->Code, opEqual);
}
