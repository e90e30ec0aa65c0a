// Statements that indexes answer (key ranges, MAX and MIN read from one end of a range) give the
// rows that the same statements give over a table without indexes.
#include <random>

#include "dbengine/sql/sql_plan.h"
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

// Bounds on the key field after an index's equalities (or on its first field): both ends, one end,
// ends past the table's first and last keys, empty ranges, fractional and out-of-range values
// (against an INTEGER and a SMALLINT field), values the range cannot state (a timestamp against a
// date), several bounds on one field, the column on the right, IN lists (repeated, fractional and
// out-of-range values); on the driving table, on the inner table of joins (values from the outer
// row, NULL among them; an IN list after a joined field) and the outer table of a left join, and
// under UPDATE and DELETE.
TEST_F(IndexAnswerTest, BoundsOnKeyFieldsGiveTheRowsOfAScan) {
  const char* const Conditions[] = {
      "ID > -200 AND ID < -190", "ID >= -197 AND ID <= -197", "ID <= -197", "ID >= 697", "ID > 697", "ID < -197",
      "ID > 2.5 AND ID <= 17.5", "ID >= 15.5 AND ID <= 18.5", "ID >= 2.5", "ID < -150.5", "ID BETWEEN 1.5 AND 10",
      "ID > 1e12", "ID < -1e12", "ID > -1e12 AND ID < -180", "ID > 10 AND 40 > ID", "100 <= ID AND 110 >= ID",
      "ID > 5 AND ID >= 20 AND ID < 60 AND ID <= 200",
      "ID > CAST(10.5 AS DECIMAL(6,2)) AND ID <= CAST(31 AS DECIMAL)", "ID <= CAST(-149.5 AS DECIMAL(6,2))",
      "ID > CAST(-149.5 AS DECIMAL(6,2)) AND ID < 0",
      "ID >= CAST(-149.5 AS DECIMAL(6,2)) AND ID < CAST(-139.5 AS DECIMAL(6,2))",
      "ID > 0 AND ID < CAST(16.5 AS DECIMAL(6,2))", "ID > A", "A = 1 AND B > 2.5", "A = 1 AND B <= -3.5",
      "A = 2 AND B <= 4.5", "A = 0 AND B < 40000", "A = 0 AND B >= -40000.5",
      "A = 2 AND B > 5 AND B > 7 AND B <= 30 AND B < 100", "A = 1 AND B BETWEEN 0 AND 0", "A = 1.5 AND B > 0",
      "A = 1 AND B > -1 AND F < 400", "A > 1.5", "A >= -2 AND A < 1", "A < 0 AND B IS NULL",
      "D >= '2024-03-01' AND D <= '2024-03-15'", "D > CAST('2024-03-10 12:00:00' AS TIMESTAMP)",
      "D <= CAST('2024-05-12 00:00:00' AS TIMESTAMP) AND ID > 0", "ID IN (19, 1, 19, -197, 697, 700, 4)",
      "ID IN (1.5, 2.5, 4.0)", "ID IN (1e12, -1e12)", "ID IN (4, 7) AND F > 100",
      "A = 1 AND B IN (3, 5, 5, -2, 40000)", "A = 0 AND B IN (-2.5, 7)", "A IN (1, -2) AND B > 0",
      "D IN ('2024-03-11', '2024-01-19')", "A = 1 AND B IN (3, NULL)", "A IN (NULL, 2)",
  };
  for (const char* W : Conditions) {
    ExpectSame(std::string("SELECT ID, A, B, S, D, F FROM $T WHERE ") + W + " ORDER BY ID");
    ExpectSame(std::string("SELECT COUNT(*) FROM $T WHERE ") + W);
  }
  const char* const Statements[] = {
      "SELECT x.ID, y.ID FROM $T x JOIN $T y ON y.ID > x.ID AND y.ID <= x.ID + 9 WHERE x.ID BETWEEN 0 AND 60 "
      "ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM $T x LEFT JOIN $T y ON y.ID >= x.ID + 600 WHERE x.ID < -100 ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM $T x JOIN $T y ON y.A = x.A AND y.B < x.B WHERE x.ID < -150 ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM $T x JOIN $T y ON y.ID >= x.ID - 30 AND y.ID <= x.B + 650 WHERE x.ID > 650 "
      "ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM $T x JOIN $T y ON y.ID < x.A * 100 - 150 WHERE x.ID < -170 ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM $T x LEFT JOIN $T y ON y.ID > x.B * 30 AND y.ID < x.B * 30 + 7 WHERE x.ID < -150 "
      "ORDER BY x.ID, y.ID",
      "SELECT MAX(ID) FROM $T WHERE ID < 100", "SELECT MIN(ID) FROM $T WHERE ID > 100.5",
      "SELECT MAX(B) FROM $T WHERE A = 1 AND B < 20", "SELECT MIN(B) FROM $T WHERE A = 1 AND B > 20",
      "SELECT MAX(A) FROM $T WHERE A < 2", "SELECT MIN(A) FROM $T WHERE A BETWEEN 0 AND 9",
      "SELECT MAX(ID) FROM $T WHERE ID > 100000", "SELECT MAX(ID) FROM $T WHERE A > 1",
      "SELECT A, COUNT(*), MIN(ID) FROM $T WHERE ID BETWEEN 0 AND 400 GROUP BY A",
      "SELECT x.ID, y.ID FROM $T x JOIN $T y ON y.A = x.A AND y.B IN (3, 5, 3) WHERE x.ID < -100 ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM $T x LEFT JOIN $T y ON y.A = x.A AND y.B IN (1, 1000) WHERE x.ID > 600 "
      "ORDER BY x.ID, y.ID",
      "SELECT MAX(B) FROM $T WHERE A = 1 AND B IN (3, 5, -2, 30)", "SELECT MIN(ID) FROM $T WHERE ID IN (700, 4)",
      "SELECT MAX(ID) FROM $T WHERE ID IN (703)",
  };
  for (const char* S : Statements) ExpectSame(S);
  const char* const Changes[] = {
      "UPDATE $T SET F = F + 1 WHERE ID > 100 AND ID <= 130",
      "UPDATE $T SET B = B + 1 WHERE A = 1 AND B < 10",
      "DELETE FROM $T WHERE A = 2 AND B BETWEEN 0 AND 10",
      "DELETE FROM $T WHERE ID < -150.5",
      "DELETE FROM $T WHERE ID IN (400, 403, 406, 400)",
  };
  for (const char* C : Changes) {
    for (const char* T : {"ix", "sc"}) {
      std::string SQL = C;
      SQL.replace(SQL.find("$T"), 2, T);
      Exec(SQL);
    }
    ExpectSame("SELECT ID, A, B, S, D, F FROM $T ORDER BY ID");
  }
}

// Bounds on a descending primary key, on WORD, SMALLINT and TIME fields of descending and
// ascending indexes, and conditions on strings with Polish letters in both cases in a table with
// the Polish collation, against the same table without indexes.
TEST_F(SQLTest, BoundsOnDescendingIndexesAndOtherKeyTypesGiveTheRowsOfAScan) {
  for (const char* T : {"ix", "sc"}) {
    const bool Indexed = std::string(T) == "ix";
    Exec(std::string("CREATE TABLE ") + T + " (ID INTEGER, W WORD, S SMALLINT, TM TIME, N CHAR(12)" +
         (Indexed ? ", DESC PRIMARY KEY (ID)" : "") + ", LANGUAGE 'Polish')");
  }
  Exec("CREATE DESC INDEX IW ON ix (W)");
  Exec("CREATE INDEX IST ON ix (S, TM)");
  Exec("CREATE INDEX IN ON ix (N)");
  const char* const Names[] = {"\xA3\xF3" "d\x9F", "\xB3\xF3" "d\x9F", "Lodz", "lodz", "Za\xBF\xF3\xB3\xE6",
                               "za\xBF\xF3\xB3\xE6", "\xA5" "b", "ab", "AB", "\x8C" "wit", "swit", "Zebra"};
  std::mt19937 G(3);
  Dir->StartTransaction();
  for (int I = 1; I <= 400; ++I) {
    auto Maybe = [&](const std::string& V) { return G() % 11 == 0 ? std::string("NULL") : V; };
    const std::string Row = "(" + std::to_string(I * 2) + ", " + Maybe(std::to_string(G() % 70000 % 65536)) + ", " +
                            Maybe(std::to_string(static_cast<int>(G() % 9) - 4)) + ", " +
                            Maybe("'" + std::to_string(G() % 24) + ":" + std::to_string(10 + G() % 50) + ":00'") +
                            ", " + Maybe(std::string("'") + Names[G() % 12] + "'") + ")";
    Exec("INSERT INTO ix VALUES " + Row);
    Exec("INSERT INTO sc VALUES " + Row);
  }
  Dir->Commit();
  auto Same = [&](const std::string& Where) {
    const std::string Head = "SELECT ID, W, S, TM, N FROM ";
    const TRows Scanned = Query(Head + "sc WHERE " + Where + " ORDER BY ID");
    EXPECT_EQ(Query(Head + "ix WHERE " + Where + " ORDER BY ID"), Scanned) << Where;
  };
  const char* const Conditions[] = {
      "ID > 100 AND ID <= 160", "ID < 7", "ID >= 799", "ID > 800", "ID BETWEEN 33 AND 41", "ID BETWEEN 41 AND 33",
      "ID >= 2 AND ID <= 2", "ID > 10.5 AND ID < 20.5", "W > 60000", "W <= 100", "W < -5", "W > 70000",
      "W >= -5 AND W < 3000", "W BETWEEN 20000 AND 20100.5", "S = 2 AND TM >= '10:00:00' AND TM < '14:30:00'",
      "S = -4 AND TM > '23:00:00'", "S = 0 AND TM <= '00:59:00'", "S > 2", "S BETWEEN -1 AND 1 AND TM IS NULL",
      "S = 3 AND TM BETWEEN '05:00:00' AND '04:00:00'", "ID IN (6, 2, 800, 6, 9)", "W IN (100, 65535, 0)",
      "S = 1 AND TM IN ('10:15:00', '08:30:00')", "N >= 'L' AND N < 'M'", "N > '\xA3\xF3" "d\x9F'",
      "N LIKE '\xA3%'", "N BETWEEN 'a' AND 'z'", "N < 'ab'", "N = 'za\xBF\xF3\xB3\xE6'",
  };
  for (const char* W : Conditions) Same(W);
  // MAX and MIN read from one end of a descending range (NULLs at its end) and of an ascending one.
  const char* const Aggregates[] = {
      "MAX(ID) FROM $T", "MIN(ID) FROM $T WHERE ID > 35", "MAX(ID) FROM $T WHERE ID < 300 AND W > 1000",
      "MAX(W) FROM $T WHERE W < 30000", "MIN(W) FROM $T", "MIN(W) FROM $T WHERE W > 65530", "MAX(W), MIN(W) FROM $T",
      "MAX(TM) FROM $T WHERE S = 1 AND TM < '12:00:00'", "MIN(TM) FROM $T WHERE S = -2",
  };
  for (std::string A : Aggregates) {
    const size_t At = A.find("$T");
    std::string Indexed = "SELECT " + A, Scanned = "SELECT " + A;
    Indexed.replace(At + 7, 2, "ix");
    Scanned.replace(At + 7, 2, "sc");
    const TRows Expected = Query(Scanned);
    EXPECT_EQ(Query(Indexed), Expected) << A;
  }
}

// Equalities on string columns served by indexes (a two-field one, one that ignores case and runs
// descending) in a table with the Polish collation: joins through them look the inner rows up by
// their key instead of scanning the inner table for every outer row, and every statement gives the
// rows of the same statement over the table without indexes. The outer names hold both cases,
// Polish letters, NULLs and a name the columns would cut; values with blanks at their end, longer
// than the field, empty, of another type or compared under another collation are tested row by row.
TEST_F(SQLTest, StringEqualitiesThroughIndexesGiveTheRowsOfAScan) {
  for (const char* T : {"ix", "sc"})
    Exec(std::string("CREATE TABLE ") + T +
         " (ID INTEGER, N CHAR(8), M CHAR(8), U CHAR(8) CHARCASE UPPER, K INTEGER, LANGUAGE 'Polish')");
  Exec("CREATE INDEX INK ON ix (N, K)");
  Exec("CREATE DESC NOCASE INDEX IM ON ix (M)");
  Exec("CREATE INDEX IU ON ix (U)");
  Exec("CREATE TABLE o (ID INTEGER, N CHAR(12), K INTEGER, LANGUAGE 'Polish')");
  const char* const Names[] = {"\xA3\xF3" "d\x9F", "\xB3\xF3" "d\x9F", "Lodz", "lodz", "za\xBF\xF3\xB3\xE6",
                               "ab", "AB", "\x8C" "wit", "swit", "Zebra"};
  auto Name = [&](std::mt19937& G) {
    return G() % 9 == 0 ? std::string("NULL") : std::string("'") + Names[G() % 10] + "'";
  };
  std::mt19937 G(5);
  Dir->StartTransaction();
  for (int I = 1; I <= 300; ++I) {
    const std::string Row = "(" + std::to_string(I) + ", " + Name(G) + ", " + Name(G) + ", " + Name(G) + ", " +
                            std::to_string(G() % 6) + ")";
    Exec("INSERT INTO ix VALUES " + Row);
    Exec("INSERT INTO sc VALUES " + Row);
  }
  for (int I = 1; I <= 24; ++I)
    Exec("INSERT INTO o VALUES (" + std::to_string(I) + ", " + (I == 23 ? std::string("'Zebra-long-1'") : Name(G)) +
         ", " + std::to_string(G() % 6) + ")");
  Dir->Commit();
  auto Same = [&](const std::string& Template) {
    auto On = [&](const char* Table) {
      std::string SQL = Template;
      for (size_t P; (P = SQL.find("$T")) != std::string::npos;) SQL.replace(P, 2, Table);
      return Query(SQL);
    };
    const TRows Scanned = On("sc");
    EXPECT_EQ(On("ix"), Scanned) << Template;
  };
  const char* const Joins[] = {
      "SELECT x.ID, y.ID FROM o x JOIN $T y ON y.N = x.N ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM o x JOIN $T y ON y.M = x.N ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM o x JOIN $T y ON y.U = x.N ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM o x JOIN $T y ON y.N = x.N AND y.K = x.K ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM o x JOIN $T y ON y.N = x.N AND y.K > x.K ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM o x LEFT JOIN $T y ON y.N = x.N AND y.K < 2 ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM o x JOIN $T y ON y.N = x.N || ' ' ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM o x JOIN $T y ON y.N = UPPER(x.N) ORDER BY x.ID, y.ID",
      "SELECT x.ID, y.ID FROM o x JOIN $T y ON y.N = x.N ORDER BY x.ID, y.ID LANGUAGE 'Czech'",
  };
  for (const char* J : Joins) {
    Same(J);
    Same(std::string(J) + " NOJOINOPTIMIZE");
  }
  const char* const Conditions[] = {
      "N = '\xA3\xF3" "d\x9F'", "N = 'lodz'", "M = 'LODZ'", "U = 'AB'", "U = 'ab'", "N = 'ab' AND K = 3",
      "N = 'ab' AND K >= 2 AND K < 5", "N = 'Zebra '", "N = 'Zebra-long-1'", "N = ''", "N = '\x8C" "wit' OR K = 1",
  };
  for (const char* W : Conditions) Same(std::string("SELECT ID, N, M, U, K FROM $T WHERE ") + W + " ORDER BY ID");
  // The inner table of the join is read through its string index.
  Query("SELECT x.ID, y.ID FROM o x JOIN ix y ON y.N = x.N NOJOINOPTIMIZE");
  const TQueryPlan* Plan = Executor->PlanOf(Executor->Statement()->MainQuery());
  ASSERT_EQ(Plan->Runs.size(), 2u);
  EXPECT_EQ(Plan->Runs[1]->KeyValues.size(), 1u);
  for (const char* C : {"UPDATE $T SET K = K + 10 WHERE N = 'Lodz'", "DELETE FROM $T WHERE M = 'AB'"}) {
    for (const char* T : {"ix", "sc"}) {
      std::string SQL = C;
      SQL.replace(SQL.find("$T"), 2, T);
      Exec(SQL);
    }
    Same("SELECT ID, N, M, U, K FROM $T ORDER BY ID");
  }
}

// A prepared join executed again after its tables changed size takes the other table first: the
// condition that was the inner table's key is then tested on every row of the other table.
TEST_F(SQLTest, AJoinWhoseOrderChangesTestsWhatItsNewKeysDoNotAnswer) {
  Exec("CREATE TABLE a (ID INTEGER, K INTEGER, PRIMARY KEY (ID))");
  Exec("CREATE TABLE b (ID INTEGER, AK INTEGER, PRIMARY KEY (ID))");
  Exec("CREATE INDEX BAK ON b (AK)");
  Exec("INSERT INTO a VALUES (1, 5)");
  Dir->StartTransaction();
  for (int I = 1; I <= 50; ++I)
    Exec("INSERT INTO b VALUES (" + std::to_string(I) + ", " + std::to_string(I % 10) + ")");
  Dir->Commit();
  TSQLExecutor Join(Dir);
  Join.Prepare("SELECT a.ID, b.ID FROM a, b WHERE b.AK = a.K ORDER BY a.ID, b.ID");
  Join.Execute();
  EXPECT_EQ(CursorRows(Join.ResultCursor()), (TRows{{"1", "5"}, {"1", "15"}, {"1", "25"}, {"1", "35"}, {"1", "45"}}));
  // Now b is the small table and leads; a has no index on K.
  Dir->StartTransaction();
  for (int I = 2; I <= 60; ++I)
    Exec("INSERT INTO a VALUES (" + std::to_string(I) + ", " + std::to_string(I + 20) + ")");
  Exec("DELETE FROM b WHERE ID <> 5");
  Dir->Commit();
  Join.Execute();
  EXPECT_EQ(CursorRows(Join.ResultCursor()), (TRows{{"1", "5"}}));
}

// A statement that compares under another collation than its table's (a LANGUAGE clause) gets the
// rows of its own comparisons, whatever order the table's string index keeps.
TEST_F(SQLTest, ALanguageClauseOverAnIndexOfAnotherCollationGivesTheRowsOfAScan) {
  for (const char* T : {"ix", "sc"}) {
    Exec(std::string("CREATE TABLE ") + T + " (ID INTEGER, S CHAR(5)" +
         (std::string(T) == "ix" ? ", PRIMARY KEY (ID))" : ")"));
    const char* const Values[] = {"'a'", "'B'", "'b'", "'C'", "'\xB9'", "'z'", "'\xA5'", "NULL"};
    for (int I = 0; I < 8; ++I)
      Exec(std::string("INSERT INTO ") + T + " VALUES (" + std::to_string(I) + ", " + Values[I] + ")");
  }
  Exec("CREATE INDEX IS ON ix (S)");
  for (const char* W : {"S >= 'b'", "S < 'b'", "S BETWEEN 'a' AND 'c'", "S = 'B'", "S LIKE 'b%'", "S IN ('b', 'C')"}) {
    const std::string Tail = std::string(" WHERE ") + W + " ORDER BY ID LANGUAGE 'Polish'";
    const TRows Scanned = Query("SELECT ID FROM sc" + Tail);
    EXPECT_EQ(Query("SELECT ID FROM ix" + Tail), Scanned) << W;
  }
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
