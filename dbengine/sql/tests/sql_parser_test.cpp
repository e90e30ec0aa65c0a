// The SQL statement parser: statements checked against their clause records, and malformed
// statements against their exact messages.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "dbengine/sql/sql_statement.h"
#include "dbengine/storage/engine_errors.h"

namespace {

// Parses Text; returns "" on success or the engine message (with "#code") of the failure.
std::string ParseError(const std::string& Text) {
  TQueryStatement S("db");
  uint32_t Consumed = 0;
  try {
    S.Parse(Text, Consumed);
    return "";
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), kSQLErrorCode) << Text;
    return EngineErrorContext().MessageText;
  }
}

std::unique_ptr<TQueryStatement> Parsed(const std::string& Text) {
  auto S = std::make_unique<TQueryStatement>("db");
  uint32_t Consumed = 0;
  S->Parse(Text, Consumed);
  return S;
}

TEST(SqlParser, SelectClausesFillTheRecords) {
  auto S = Parsed(
      "SELECT DISTINCT x.a, SUM(y.b) AS total, COUNT(*), a + 1 AS inc FROM t x INNER JOIN u y ON x.id = y.id "
      "WHERE x.a > 1 GROUP BY x.a, 2 HAVING SUM(y.b) > 10 ORDER BY total DESC, 1 NOCASE");
  TDataQuery* Q = S->MainQuery();
  EXPECT_EQ(Q->Kind, skSelect);
  EXPECT_TRUE(Q->Distinct);
  ASSERT_EQ(Q->ResultFields.size(), 4u);
  EXPECT_EQ(Q->ResultFields[0]->SourceName, "a");
  EXPECT_EQ(Q->ResultFields[0]->CorrelationName, "x");
  EXPECT_EQ(Q->ResultFields[0]->ResultName, "a");
  EXPECT_TRUE(Q->ResultFields[0]->NameGenerated);
  EXPECT_EQ(Q->ResultFields[1]->Aggregate, 1);
  EXPECT_EQ(Q->ResultFields[1]->SourceName, "b");
  EXPECT_EQ(Q->ResultFields[1]->ResultName, "total");
  EXPECT_FALSE(Q->ResultFields[1]->NameGenerated);
  EXPECT_EQ(Q->ResultFields[2]->Aggregate, 5);
  EXPECT_TRUE(Q->ResultFields[2]->CountAll);
  EXPECT_TRUE(Q->ResultFields[3]->IsExpression);
  EXPECT_TRUE(Q->HasExpressionColumns);
  ASSERT_EQ(Q->Sources.size(), 2u);
  EXPECT_EQ(Q->Sources[0]->TableName, "t");
  EXPECT_EQ(Q->Sources[0]->CorrelationName, "x");
  EXPECT_EQ(Q->Sources[0]->DatabaseName, "db");
  ASSERT_EQ(Q->Sources[0]->Joins.size(), 1u);
  EXPECT_EQ(Q->Sources[0]->Joins[0]->JoinType, 1);
  EXPECT_EQ(Q->Sources[0]->Joins[0]->Target, Q->Sources[1].get());
  EXPECT_TRUE(Q->MultipleSources);
  ASSERT_NE(Q->Where.Get(), nullptr);
  // ON condition and WHERE are joined with AND, in the order written.
  EXPECT_EQ(Q->Where->Kind, nkBinary);
  EXPECT_EQ(Q->Where->Code, opAnd);
  EXPECT_TRUE(Q->GroupBy);
  ASSERT_EQ(Q->GroupByFields.size(), 2u);
  EXPECT_EQ(Q->GroupByFields[0]->CorrelationName, "x");
  EXPECT_EQ(Q->GroupByFields[1]->ColumnNo, 2);
  EXPECT_TRUE(Q->HasHaving);
  ASSERT_EQ(Q->OrderBy.size(), 2u);
  EXPECT_EQ(Q->OrderBy[0]->ColumnName, "total");
  EXPECT_EQ(Q->OrderBy[0]->Descending, 1);
  EXPECT_EQ(Q->OrderBy[1]->ColumnNo, 1);
  EXPECT_EQ(Q->OrderBy[1]->Descending, 0);
  EXPECT_TRUE(Q->NoCase);
}

TEST(SqlParser, RightJoinPutsTheJoinedTableFirstAndSubSelectsBecomeQueries) {
  auto S = Parsed("SELECT * FROM a RIGHT OUTER JOIN b ON a.k = b.k");
  ASSERT_EQ(S->MainQuery()->Sources.size(), 2u);
  EXPECT_EQ(S->MainQuery()->Sources[0]->TableName, "b");
  EXPECT_EQ(S->MainQuery()->Sources[0]->Position, 1);
  auto S2 = Parsed("SELECT a FROM t WHERE a IN (SELECT b FROM u WHERE c = ?) AND d = ?");
  ASSERT_EQ(S2->Queries.size(), 2u);
  EXPECT_TRUE(S2->Queries[1]->SubQuery);
  EXPECT_EQ(S2->Queries[1]->Sources[0]->TableName, "u");
  EXPECT_EQ(S2->Params.size(), 2u);
}

TEST(SqlParser, JoinConditionsTowardsOneTableAreJoinedWithAnd) {
  TSourceTable A, B;
  A.AddJoin(&B, 2, GetExpToken());
  A.AddJoin(&B, 2, GetExpToken());
  A.AddJoin(&B, 1, GetExpToken());
  ASSERT_EQ(A.Joins.size(), 2u);
  EXPECT_EQ(A.Joins[0]->Condition->Code, opAnd);
  EXPECT_EQ(A.Joins[0]->JoinType, 2);
  EXPECT_EQ(A.Joins[1]->JoinType, 1);
}

TEST(SqlParser, DmlStatements) {
  auto I = Parsed("INSERT INTO t (a, b) VALUES (1, ?) NOAUTOINC COMMIT INTERVAL 5;");
  TDataQuery* Q = I->MainQuery();
  EXPECT_EQ(Q->Kind, skInsert);
  EXPECT_TRUE(Q->RequestLive);
  ASSERT_EQ(Q->UpdateFields.size(), 2u);
  EXPECT_EQ(Q->UpdateFields[1]->ColumnName, "b");
  ASSERT_EQ(Q->UpdateValues.size(), 2u);
  EXPECT_EQ(Q->UpdateValues[0]->Text, "1");
  EXPECT_TRUE(Q->NoAutoInc);
  EXPECT_TRUE(Q->CommitIntervalGiven);
  EXPECT_EQ(Q->CommitInterval, 5u);
  EXPECT_EQ(I->Params.size(), 1u);

  auto IS = Parsed("INSERT INTO t SELECT * FROM t");
  EXPECT_TRUE(IS->MainQuery()->InsertFromSelect);
  ASSERT_EQ(IS->Queries.size(), 2u);
  EXPECT_TRUE(IS->Queries[1]->RequestLive);
  ASSERT_EQ(IS->MainQuery()->UpdateFields.size(), 1u);
  EXPECT_EQ(IS->MainQuery()->UpdateFields[0]->ColumnName, "*");

  auto U = Parsed("UPDATE t AS z SET a = a + 1, b = 'x' WHERE c IS NULL");
  EXPECT_EQ(U->MainQuery()->Kind, skUpdate);
  EXPECT_EQ(U->MainQuery()->Sources[0]->CorrelationName, "z");
  EXPECT_EQ(U->MainQuery()->UpdateValues.size(), 2u);
  EXPECT_TRUE(U->MainQuery()->HasCondition);

  auto D = Parsed("DELETE FROM \"c:\\data\\t.dat\" WHERE a = 1");
  EXPECT_EQ(D->MainQuery()->Kind, skDelete);
  EXPECT_EQ(D->MainQuery()->Sources[0]->TableName, "t.dat");
  EXPECT_EQ(D->MainQuery()->Sources[0]->DatabaseName, "c:\\data\\");
  EXPECT_EQ(D->MainQuery()->Sources[0]->CorrelationName, "t");
}

TEST(SqlParser, DdlStatements) {
  auto C = Parsed(
      "CREATE TABLE t (ID AUTOINC, NAME VARCHAR(20) DESCRIPTION 'the name' NOT NULL DEFAULT 'x' CHARCASE UPPER, "
      "PRIMARY KEY (ID) COMPRESS FULL BLOB BLOCK SIZE 1024 USER MAJOR VERSION 3)");
  TDataQuery* Q = C->MainQuery();
  EXPECT_EQ(Q->Kind, skCreateTable);
  ASSERT_EQ(Q->CreateFields.size(), 2u);
  EXPECT_EQ(Q->CreateFields[1]->Name, "NAME");
  EXPECT_EQ(Q->CreateFields[1]->Size, 20u);
  EXPECT_EQ(Q->CreateFields[1]->Description, "the name");
  EXPECT_TRUE(Q->CreateFields[1]->NotNull);
  EXPECT_EQ(Q->CreateFields[1]->DefaultText, "x");
  EXPECT_EQ(Q->CreateFields[1]->CharCase, 2);
  ASSERT_EQ(Q->CreateIndexes.size(), 1u);
  EXPECT_EQ(Q->CreateIndexes[0]->Columns, std::vector<std::string>{"ID"});
  EXPECT_EQ(Q->CreateIndexes[0]->Compression, 3);
  EXPECT_EQ(Q->BlobBlockSize, 1024);
  EXPECT_EQ(Q->MajorVersion, 3);
  EXPECT_EQ(Q->MinorVersion, 0);

  auto X = Parsed("CREATE UNIQUE DESC NOCASE INDEX ix ON t (a, 'b c')");
  EXPECT_EQ(X->MainQuery()->Kind, skCreateIndex);
  EXPECT_TRUE(X->MainQuery()->CreateIndexes[0]->Unique);
  EXPECT_TRUE(X->MainQuery()->CreateIndexes[0]->Descending);
  EXPECT_EQ(X->MainQuery()->CreateIndexes[0]->Columns, (std::vector<std::string>{"a", "b c"}));

  auto A = Parsed("ALTER TABLE t ADD COLUMN c INTEGER AT 2, DROP d, REDEFINE e e2 SMALLINT LAST AUTOINC 10 NOBACKUP");
  ASSERT_EQ(A->MainQuery()->CreateFields.size(), 3u);
  EXPECT_TRUE(A->MainQuery()->CreateFields[0]->Add);
  EXPECT_EQ(A->MainQuery()->CreateFields[0]->AtPosition, 2);
  EXPECT_TRUE(A->MainQuery()->CreateFields[1]->Drop);
  EXPECT_EQ(A->MainQuery()->CreateFields[2]->OldName, "e");
  EXPECT_EQ(A->MainQuery()->LastAutoInc, 10);
  EXPECT_TRUE(A->MainQuery()->NoBackup);

  auto DI = Parsed("DROP INDEX t.idx");
  EXPECT_EQ(DI->MainQuery()->Kind, skDropIndex);
  EXPECT_EQ(DI->MainQuery()->Sources[0]->TableName, "t");
  EXPECT_EQ(DI->MainQuery()->DropIndexName, "idx");
  EXPECT_EQ(Parsed("DROP TABLE MEMORY m")->MainQuery()->Sources[0]->DatabaseName, "Memory");
}

TEST(SqlParser, EncryptedWithEmptyPasswordLeavesResultPlain) {
  EXPECT_FALSE(Parsed("SELECT * FROM t ENCRYPTED WITH ''")->MainQuery()->Encrypted);
  EXPECT_TRUE(Parsed("SELECT * FROM t ENCRYPTED WITH 'pw'")->MainQuery()->Encrypted);
}

TEST(SqlParser, MalformedStatementsGiveExactMessages) {
  struct TCase {
    const char* Text;
    const char* Message;
  } Cases[] = {
      {"SELECT * FROM t;", ""},
      {"SELECT * FROM t", ""},
      {"SELECT * FROM t x y", "End of SELECT statement expected, instead found 'y'"},
      {"FOO", "SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found 'FOO'"},
      {"CREATE VIEW v", "TABLE or INDEX keyword expected, instead found 'VIEW'"},
      {"ALTER INDEX", "TABLE keyword expected, instead found 'INDEX'"},
      {"SELECT a t", "FROM keyword expected, instead found ''"},
      {"SELECT a FROM t FULL JOIN u ON a = b",
       "Full outer joins are currently not supported in VXDB SQL SELECT statements"},
      {"SELECT a FROM t INNER u", "JOIN keyword expected after INNER keyword, instead found 'u'"},
      {"SELECT a FROM t LEFT OUTER u", "JOIN keyword expected after LEFT or OUTER keyword, instead found 'u'"},
      {"SELECT a FROM t JOIN u WHERE", "ON keyword expected in JOIN clause, instead found 'WHERE'"},
      {"SELECT a FROM t x, u x", "Duplicate table correlation name 'x' found in source tables"},
      {"SELECT a FROM t GROUP a", "BY keyword expected after GROUP keyword, instead found 'a'"},
      {"SELECT a FROM t ORDER BY (", "Column name or column number expected in ORDER BY clause, instead found '('"},
      {"SELECT a FROM t WITH x", "LOCKS keyword expected after WITH keyword, instead found 'x'"},
      {"SELECT a FROM t WHERE", "WHERE or JOIN clause is empty"},
      {"SELECT SUM(MAX(a)) FROM t", "Aggregate functions cannot be nested"},
      {"SELECT SUM(a) + 1 FROM t", "Aggregate functions cannot be used within expressions"},
      {"SELECT a FROM t x LANGUAGE 'xx'", "Invalid language constant 'xx' specified after LANGUAGE keyword"},
      {"INSERT t", "INTO keyword expected, instead found 't'"},
      {"INSERT INTO t (a VALUES (1)", "Right parentheses expected after list of table columns, instead found 'VALUES'"},
      {"INSERT INTO t VALUES 1", "Left parentheses expected after VALUES keyword, instead found '1'"},
      {"INSERT INTO t (a) ;", "VALUES or SELECT  keyword expected, instead found ';'"},
      {"INSERT INTO t VALUES (1) x", "End of INSERT statement expected, instead found 'x'"},
      {"UPDATE t x a = 1", "SET keyword expected, instead found 'a'"},
      {"UPDATE t SET a 1", "Assignment (=) operator expected after column name, instead found '1'"},
      {"DELETE t", "FROM keyword expected, instead found 't'"},
      {"DELETE FROM t COMMIT INTERVAL 0",
       "COMMIT INTERVAL specified (0) is invalid, it must be greater than 0"},
      {"DELETE FROM t COMMIT 5", "INTERVAL keyword expected after COMMIT keyword, instead found '5'"},
      {"CREATE TABLE t a INTEGER", "Left parentheses expected before list of table columns, instead found 'a'"},
      {"CREATE TABLE t (a INTEGER NOT x)", "NULL keyword expected after NOT keyword, instead found 'x'"},
      {"CREATE TABLE t (a INTEGER, PRIMARY ID)", "KEY keyword expected after PRIMARY keyword, instead found 'ID'"},
      {"CREATE TABLE t (a INTEGER) x", "End of CREATE TABLE statement expected, instead found 'x'"},
      {"CREATE INDEX ix t (a)", "ON keyword expected after index name, instead found 't'"},
      {"CREATE INDEX ix ON t a", "Left parentheses expected after KEY keyword, instead found 'a'"},
      {"CREATE INDEX ix ON t (a) COMPRESS x",
       "FULL, DUPBYTE, TRAILBYTE, or NONE keyword expected after COMPRESS keyword, instead found 'x'"},
      {"ALTER TABLE t MODIFY a", "ADD, DROP, or REDEFINE keyword expected, instead found 'MODIFY'"},
      {"ALTER TABLE t DROP a LAST x", "AUTOINC keyword expected after LAST keyword, instead found 'x'"},
      {"SELECT #256 FROM t", "Character constants (#) must be within the range of 0 to 255 in source column expression"},
      {"DROP TABLE t x", "End of DROP TABLE statement expected, instead found 'x'"},
      {"DROP INDEX t.i x", "End of DROP INDEX statement expected, instead found 'x'"},
  };
  for (const TCase& C : Cases) EXPECT_EQ(ParseError(C.Text), C.Message) << C.Text;
}

// A node returned to the pool twice would later be handed to two owners.
bool PoolHoldsDistinctNodes() {
  std::vector<TExpToken*> All;
  for (int N = PooledExpTokenCount(); N > 0; --N) All.push_back(GetExpToken());
  std::set<TExpToken*> Distinct(All.begin(), All.end());
  for (TExpToken*& N : All) PutExpToken(N);
  return Distinct.size() == All.size();
}

TEST(SqlParser, ErrorsReturnEveryNodeToThePool) {
  // With enough nodes pooled the parser takes every node from the pool, so after a failed parse
  // (statement freed) the pool must hold exactly as many as before: one node fewer is a leak.
  {
    std::vector<TExpToken*> Warm;
    for (int I = 0; I < 2000; ++I) Warm.push_back(GetExpToken());
    for (TExpToken*& N : Warm) PutExpToken(N);
  }
  const char* Cases[] = {
      "SELECT a + 1, b FROM t WHERE a = 1 AND b IN (SELECT c FROM u) GROUP (",
      "SELECT a FROM t LEFT OUTER JOIN u ON t.a = u.a RIGHT JOIN v ON v.b = (((8( OUT, u.b",
      "SELECT a FROM t INNER JOIN u ON t.a = u.a INNER JOIN v ON v.b = u.b WHERE (",
      "SELECT a FROM t RIGHT JOIN u ON t.a = u.a WHERE a IN (SELECT b FROM v WHERE b = (",
      "SELECT a, SUM(b) FROM t GROUP BY a HAVING SUM(b) > 1 ORDER BY (",
      "UPDATE t SET a = 1, b = (SELECT c FROM u WHERE c = (",
      "INSERT INTO t (a, b) VALUES (1, (",
      "DELETE FROM t WHERE a = 1 AND (",
      "SELECT a FROM t LEFT OUTER JOIN u ON \xFA\xFA\xFAt.a = u.a RIGHT JOIN v ON v.b =((((8( OUT, u.b",
  };
  for (const char* Text : Cases) {
    int Before = PooledExpTokenCount();
    ParseError(Text);
    EXPECT_EQ(PooledExpTokenCount(), Before) << Text;
    EXPECT_TRUE(PoolHoldsDistinctNodes()) << Text;
  }
  int Before = PooledExpTokenCount();
  { Parsed("SELECT a FROM t LEFT OUTER JOIN u ON t.a = u.a RIGHT JOIN v ON v.b = u.b WHERE a > 1"); }
  EXPECT_EQ(PooledExpTokenCount(), Before);
}

}  // namespace
