// Statements that indexes answer (key ranges, MAX and MIN read from one end of a range) give the
// rows that the same statements give over a table without indexes.
#include <random>

#include "dbengine/sql/tests/sql_exec_test_util.h"

namespace sqltest {
namespace {

class IndexAnswerTest : public SQLTest {
 protected:
  // The same rows in "ix" (primary key, a two-field index, indexes on a string and a date) and in
  // "sc" (no index at all); NULLs, negative numbers, duplicates and gaps included.
  void SetUp() override {
    SQLTest::SetUp();
    for (const char* T : {"ix", "sc"})
      Exec(std::string("CREATE TABLE ") + T +
           " (ID INTEGER, A INTEGER, B SMALLINT, S CHAR(12), D DATE, F FLOAT" +
           (std::string(T) == "ix" ? ", PRIMARY KEY (ID))" : ")"));
    Exec("CREATE INDEX IAB ON ix (A, B)");
    Exec("CREATE INDEX IS ON ix (S)");
    Exec("CREATE INDEX ID ON ix (D)");
    std::mt19937 G(17);
    Dir->StartTransaction();
    for (int I = 1; I <= 300; ++I) {
      const int Id = I * 3 - 200;  // negative ones too, with gaps
      auto Maybe = [&](const std::string& V) { return G() % 9 == 0 ? std::string("NULL") : V; };
      const std::string Row = "(" + std::to_string(Id) + ", " + Maybe(std::to_string(static_cast<int>(G() % 7) - 2)) +
                              ", " + Maybe(std::to_string(static_cast<int>(G() % 50) - 10)) + ", " +
                              Maybe("'k" + std::to_string(G() % 40) + "'") + ", " +
                              Maybe("'2024-0" + std::to_string(1 + G() % 9) + "-1" + std::to_string(G() % 10) + "'") +
                              ", " + std::to_string(static_cast<int>(G() % 1000)) + ".5)";
      Exec("INSERT INTO ix VALUES " + Row);
      Exec("INSERT INTO sc VALUES " + Row);
    }
    Dir->Commit();
  }
  // The rows of a statement over "ix" and the same statement over "sc".
  void ExpectSame(const std::string& Template) {
    auto On = [&](const std::string& Table) {
      std::string SQL = Template;
      for (size_t P; (P = SQL.find("$T")) != std::string::npos;) SQL.replace(P, 2, Table);
      return Query(SQL);
    };
    const TRows Scanned = On("sc");
    EXPECT_EQ(On("ix"), Scanned) << Template;
  }
};

TEST_F(IndexAnswerTest, RangesOfComparisonsBetweenInAndPrefixesGiveTheRowsOfAScan) {
  const char* const Conditions[] = {
      "ID >= 100 AND ID < 160", "ID > 100 AND ID <= 160", "ID < -150", "ID > 690", "ID BETWEEN -20 AND 20",
      "ID BETWEEN 20 AND -20", "ID >= 100000", "ID <= -100000", "ID IN (1, 4, 7, 700, -197, 5000)",
      "ID = 100 OR ID = 103 OR ID > 690", "(ID > 0 AND ID < 30) OR (ID > 600 AND F < 500)",
      "A = 1 AND B > 5", "A = 1 AND B >= 5 AND B < 20", "A = 2 AND B BETWEEN -5 AND 5", "A = -2 AND B < 0",
      "A = 3 AND B IS NULL", "A IS NULL", "A > 1", "A < 0 AND B > 30", "B > 10", "A = 1 AND B > 40000",
      "A = 1 AND B < -40000", "S LIKE 'k1%'", "S >= 'k2' AND S < 'k3'", "S IN ('k5', 'k7', 'zz')", "S > 'k39'",
      "S = 'k3' OR S LIKE 'k2%'", "D >= '2024-03-01' AND D < '2024-05-01'", "D BETWEEN '2024-01-01' AND '2024-02-28'",
      "D IS NULL", "NOT (ID > 0)", "NOT (A = 1 AND B > 0)", "ID > 100 AND ID < 200 AND S LIKE 'k1%'",
      "ID > 10 AND ID < 300 AND ID <> 100", "(ID >= 0 AND ID <= 50) AND (ID >= 40 AND ID <= 90)",
      "ID >= 50 AND ID <= 40", "ID BETWEEN 0 AND 90 AND ID > 60", "A >= 0 AND A <= 1 AND A <> 1",
      "S > 'k1' AND S <= 'k2' AND S LIKE 'k1%'", "(ID < 0 OR ID > 650) AND ID > -100 AND ID < 660",
  };
  for (const char* W : Conditions) {
    ExpectSame(std::string("SELECT ID, A, B, S, D, F FROM $T WHERE ") + W + " ORDER BY ID");
    ExpectSame(std::string("SELECT COUNT(*) FROM $T WHERE ") + W);
  }
  // The same conditions on the inner table of a join and on the outer table of one.
  ExpectSame("SELECT x.ID, y.ID FROM $T x JOIN $T y ON y.ID = x.ID + 3 WHERE x.ID BETWEEN 10 AND 80 ORDER BY x.ID");
  ExpectSame("SELECT x.ID, y.ID FROM $T x LEFT JOIN $T y ON y.ID = x.ID + 1 AND y.A > 0 WHERE x.ID < -150 ORDER BY x.ID");
}

TEST_F(IndexAnswerTest, MaxAndMinReadFromOneEndGiveTheAggregatesOfAScan) {
  const char* const Statements[] = {
      "SELECT MAX(ID) FROM $T", "SELECT MIN(ID) FROM $T", "SELECT MAX(A) FROM $T", "SELECT MIN(A) FROM $T",
      "SELECT MAX(B) FROM $T WHERE A = 1", "SELECT MIN(B) FROM $T WHERE A = 1", "SELECT MIN(B) FROM $T WHERE A = -2",
      "SELECT MAX(B) FROM $T WHERE A = 99", "SELECT MIN(B) FROM $T WHERE A = 99",
      "SELECT MAX(B) FROM $T WHERE A = 1 AND F < 300", "SELECT MIN(B) FROM $T WHERE A = 2 AND ID > 100",
      "SELECT MAX(ID) FROM $T WHERE F > 990", "SELECT MIN(ID) FROM $T WHERE F > 10000",
      "SELECT MAX(D) FROM $T", "SELECT MIN(D) FROM $T WHERE A = 0", "SELECT MAX(B) FROM $T WHERE A IS NULL",
      "SELECT MIN(B) FROM $T WHERE B IS NULL", "SELECT MAX(B) AS M FROM $T WHERE A = 1",
  };
  for (const char* S : Statements) {
    ExpectSame(S);
    EXPECT_EQ(Columns().size(), 1u) << S;
  }
  // Names and types of the result follow the column, as with a scan.
  Query("SELECT MAX(ID) FROM ix");
  const std::vector<std::string> Indexed = Columns();
  Query("SELECT MAX(ID) FROM sc");
  EXPECT_EQ(Indexed, Columns());
}

}  // namespace
}  // namespace sqltest
