// SELECT end to end on real tables: filters, ordering (DESC, NOCASE), result names, aggregates with
// and without GROUP BY (AVG and SUM over their edge cases), HAVING, DISTINCT, joins and IN.
#include "dbengine/sql/sql_plan.h"
#include "dbengine/sql/tests/sql_exec_test_util.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/data_file.h"
#include "dbengine/storage/table_files.h"

using namespace sqltest;

namespace {

class SelectTest : public SQLTest {
 protected:
  void SetUp() override {
    SQLTest::SetUp();
    Script({"CREATE TABLE people (ID AUTOINC, NAME CHAR(20), AGE INTEGER, CITY CHAR(10), PRIMARY KEY (ID))",
            "INSERT INTO people (NAME, AGE, CITY) VALUES ('Ola', 31, 'Krakow')",
            "INSERT INTO people (NAME, AGE, CITY) VALUES ('ala', 25, 'Gdansk')",
            "INSERT INTO people (NAME, AGE, CITY) VALUES ('Ela', 40, 'Krakow')",
            "INSERT INTO people (NAME, AGE, CITY) VALUES ('Iza', 25, NULL)",
            "INSERT INTO people (NAME, AGE, CITY) VALUES ('Ula', NULL, 'Gdansk')"});
  }
};

TEST_F(SelectTest, WhereAndOrderByPickAndSortRows) {
  EXPECT_EQ(Query("SELECT NAME, AGE FROM people WHERE AGE > 25 ORDER BY AGE"),
            (TRows{{"Ola", "31"}, {"Ela", "40"}}));
  EXPECT_EQ(Columns(), (std::vector<std::string>{"NAME", "AGE"}));
  // DESC on the first key, the second key ascending; NULL sorts first ascending, so last here.
  EXPECT_EQ(Query("SELECT NAME, AGE FROM people ORDER BY AGE DESC, NAME"),
            (TRows{{"Ela", "40"}, {"Ola", "31"}, {"Iza", "25"}, {"ala", "25"}, {"Ula", ""}}));
  // Byte order puts lower case after upper case; NOCASE does not.
  EXPECT_EQ(Query("SELECT NAME FROM people ORDER BY NAME"), (TRows{{"Ela"}, {"Iza"}, {"Ola"}, {"Ula"}, {"ala"}}));
  EXPECT_EQ(Query("SELECT NAME FROM people ORDER BY NAME NOCASE"),
            (TRows{{"ala"}, {"Ela"}, {"Iza"}, {"Ola"}, {"Ula"}}));
  EXPECT_EQ(Query("SELECT NAME FROM people WHERE CITY IS NULL OR NAME LIKE 'O%' ORDER BY 1"),
            (TRows{{"Iza"}, {"Ola"}}));
  EXPECT_EQ(Query("SELECT ID, NAME FROM people WHERE AGE BETWEEN 25 AND 31 AND CITY IN ('Krakow', 'Gdansk') ORDER BY ID"),
            (TRows{{"1", "Ola"}, {"2", "ala"}}));
}

TEST_F(SelectTest, StarExpressionsAndGeneratedNames) {
  TRows R = Query("SELECT * FROM people WHERE ID = 3");
  EXPECT_EQ(R, (TRows{{"3", "Ela", "40", "Krakow"}}));
  EXPECT_EQ(Columns(), (std::vector<std::string>{"ID", "NAME", "AGE", "CITY"}));
  EXPECT_EQ(Query("SELECT AGE + 1, UPPER(NAME) AS BIG, AGE FROM people WHERE ID = 1"),
            (TRows{{"32", "OLA", "31"}}));
  EXPECT_EQ(Columns(), (std::vector<std::string>{"Expression", "BIG", "AGE"}));
  Query("SELECT SUM(AGE), SUM(AGE + 1), COUNT(*), AGE AS NAME_1, NAME, NAME FROM people GROUP BY NAME");
  EXPECT_EQ(Columns(), (std::vector<std::string>{"AGE", "Sum Of Expr", "Count Of *", "NAME_1", "NAME_2", "NAME"}));
}

TEST_F(SelectTest, WholeTableAggregates) {
  EXPECT_EQ(Query("SELECT COUNT(*), COUNT(AGE), SUM(AGE), MIN(AGE), MAX(AGE), AVG(AGE) FROM people"),
            (TRows{{"5", "4", "121", "25", "40", "30.25"}}));
  EXPECT_EQ(Query("SELECT COUNT(*) FROM people"), (TRows{{"5"}}));
  EXPECT_EQ(Columns(), (std::vector<std::string>{"Count Of *"}));
  EXPECT_EQ(Query("SELECT COUNT(*) FROM people WITH LOCKS"), (TRows{{"5"}}));
  EXPECT_EQ(Query("SELECT NAME FROM people WHERE ID = 2 WITH LOCKS"), (TRows{{"ala"}}));
  Exec("DELETE FROM people");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM people"), (TRows{{"0"}}));
  // No rows: COUNT 0, every other aggregate NULL.
  EXPECT_EQ(Query("SELECT COUNT(*), SUM(AGE), AVG(AGE), MIN(AGE) FROM people WHERE AGE > 100"),
            (TRows{{"0", "", "", ""}}));
}

TEST_F(SelectTest, AverageCountsEveryNonNullValue) {
  struct TCase {
    const char* Where;
    const char* Average;
  } Cases[] = {
      {"ID = 1", "31"},           // one row: that value, not 0
      {"ID <= 3", "32"},          // (31 + 25 + 40) / 3, not / 2
      {"ID = 5", ""},             // only NULL: NULL
      {"ID >= 4", "25"},          // NULL is not counted
  };
  for (const TCase& C : Cases) {
    EXPECT_EQ(Query(std::string("SELECT AVG(AGE) FROM people WHERE ") + C.Where), (TRows{{C.Average}})) << C.Where;
  }
  EXPECT_EQ(Query("SELECT CITY, AVG(AGE), COUNT(*) FROM people GROUP BY CITY"),
            (TRows{{"", "25", "1"}, {"Gdansk", "25", "2"}, {"Krakow", "35.5", "2"}}));
}

TEST_F(SelectTest, SumAccumulatesIn64BitsAndRefusesResultsOutOfRange) {
  Script({"CREATE TABLE big (K INTEGER, V INTEGER, S SMALLINT)",
          "INSERT INTO big VALUES (1, 2000000000, 30000)", "INSERT INTO big VALUES (1, 2000000000, 30000)",
          "INSERT INTO big VALUES (1, -2000000000, 30000)", "INSERT INTO big VALUES (2, 2147483647, -5)"});
  // The running sum passes 2^31 and comes back: the result fits.
  EXPECT_EQ(Query("SELECT SUM(V) FROM big WHERE K = 1"), (TRows{{"2000000000"}}));
  // A smallint sum widens to integer.
  EXPECT_EQ(Query("SELECT SUM(S) FROM big"), (TRows{{"89995"}}));
  // A result beyond the integer range raises instead of wrapping.
  TRaised E = Raised([&] { Query("SELECT SUM(V) FROM big WHERE V > 0"); });
  EXPECT_EQ(E.Code, kSQLErrorCode) << E.Message;
  EXPECT_NE(E.Message.find("SUM"), std::string::npos);
  E = Raised([&] { Query("SELECT K, SUM(V) FROM big WHERE V > 0 GROUP BY K"); });
  EXPECT_EQ(E.Code, kSQLErrorCode);
}

TEST_F(SelectTest, GroupByHavingDistinct) {
  EXPECT_EQ(Query("SELECT CITY, COUNT(*) FROM people GROUP BY CITY HAVING COUNT(*) > 1 ORDER BY CITY DESC"),
            (TRows{{"Krakow", "2"}, {"Gdansk", "2"}}));
  EXPECT_EQ(Query("SELECT DISTINCT CITY FROM people ORDER BY CITY"), (TRows{{""}, {"Gdansk"}, {"Krakow"}}));
  EXPECT_EQ(Query("SELECT DISTINCT AGE FROM people WHERE AGE IS NOT NULL ORDER BY 1 DESC"),
            (TRows{{"40"}, {"31"}, {"25"}}));
}

TEST_F(SelectTest, JoinsInnerLeftAndInSubSelect) {
  Script({"CREATE TABLE pets (OWNER INTEGER, PET CHAR(10))", "INSERT INTO pets VALUES (1, 'cat')",
          "INSERT INTO pets VALUES (1, 'dog')", "INSERT INTO pets VALUES (3, 'fish')",
          "INSERT INTO pets VALUES (9, 'bird')"});
  EXPECT_EQ(Query("SELECT p.NAME, q.PET FROM people p, pets q WHERE p.ID = q.OWNER ORDER BY 1, 2"),
            (TRows{{"Ela", "fish"}, {"Ola", "cat"}, {"Ola", "dog"}}));
  EXPECT_EQ(Query("SELECT p.NAME, q.PET FROM people p JOIN pets q ON q.OWNER = p.ID WHERE q.PET <> 'dog' ORDER BY 2"),
            (TRows{{"Ola", "cat"}, {"Ela", "fish"}}));
  EXPECT_EQ(Query("SELECT p.ID, p.NAME, q.PET FROM people p LEFT OUTER JOIN pets q ON p.ID = q.OWNER ORDER BY p.ID, 3"),
            (TRows{{"1", "Ola", "cat"}, {"1", "Ola", "dog"}, {"2", "ala", ""}, {"3", "Ela", "fish"}, {"4", "Iza", ""}, {"5", "Ula", ""}}));
  EXPECT_EQ(Query("SELECT q.PET, p.NAME FROM people p RIGHT JOIN pets q ON p.ID = q.OWNER ORDER BY 1"),
            (TRows{{"bird", ""}, {"cat", "Ola"}, {"dog", "Ola"}, {"fish", "Ela"}}));
  EXPECT_EQ(Query("SELECT NAME FROM people WHERE ID IN (SELECT OWNER FROM pets) ORDER BY NAME"),
            (TRows{{"Ela"}, {"Ola"}}));
  EXPECT_EQ(Query("SELECT NAME FROM people WHERE ID NOT IN (SELECT OWNER FROM pets) ORDER BY NAME"),
            (TRows{{"Iza"}, {"Ula"}, {"ala"}}));
  EXPECT_EQ(Query("SELECT p.NAME, COUNT(*) AS N FROM people p, pets q WHERE p.ID = q.OWNER GROUP BY p.NAME"),
            (TRows{{"Ela", "1"}, {"Ola", "2"}}));
}

// Long flat expressions, as programs generate them. Chains of AND and OR work at any length;
// chains of other operators work up to the documented 1000 levels and IN lists up to 2000 values,
// and longer ones are refused with a clear error, never by running out of stack.
TEST_F(SelectTest, LongFlatExpressionsWorkOrAreRefused) {
  const auto Chain = [](const std::string& First, const std::string& Join, int Count, const auto& Term) {
    std::string S = First;
    for (int I = 1; I < Count; ++I) S += Join + Term(I);
    return S;
  };
  const auto Same = [](const std::string& T) { return [T](int) { return T; }; };
  const auto Ages = [](int I) { return std::to_string(I == 1500 ? 40 : 1000 + I); };
  const std::string And = Chain("AGE > 20", " AND ", 20000, [](int I) { return "AGE > " + std::to_string(20 - I % 3); });
  EXPECT_EQ(Query("SELECT NAME FROM people WHERE " + And + " ORDER BY NAME"), (TRows{{"Ela"}, {"Iza"}, {"Ola"}, {"ala"}}));
  const std::string Or = Chain("AGE = 1", " OR ", 20000, [](int I) { return "AGE = " + std::to_string(I == 12345 ? 31 : -I); });
  EXPECT_EQ(Query("SELECT NAME FROM people WHERE " + Or), (TRows{{"Ola"}}));
  EXPECT_EQ(Query("SELECT " + Chain("AGE", " + ", 990, Same("1")) + " FROM people WHERE ID = 2"), (TRows{{"1014"}}));
  EXPECT_EQ(Query("SELECT NAME FROM people WHERE AGE IN (" + Chain("1", ", ", 2000, Ages) + ")"), (TRows{{"Ela"}}));
  EXPECT_EQ(Query("SELECT NAME FROM people WHERE AGE > 0 AND AGE NOT IN (" + Chain("1", ", ", 2000, Ages) + ") ORDER BY NAME"),
            (TRows{{"Iza"}, {"Ola"}, {"ala"}}));
  struct {
    std::string SQL, Message;
  } const Refused[] = {
      {"SELECT " + Chain("AGE", " + ", 20000, Same("1")) + " FROM people", "Expression is too long in source column expression"},
      {"SELECT NAME FROM people WHERE AGE IN (" + Chain("1", ", ", 60000, Ages) + ")",
       "Expression is too long in WHERE or JOIN clause"},
      {"UPDATE people SET AGE = " + Chain("1", " * ", 20000, Same("1")), "Expression is too long in"},
  };
  for (const auto& R : Refused) {
    const TRaised E = Raised([&] { Exec(R.SQL); });
    EXPECT_NE(E.Code, 0) << R.SQL.substr(0, 60);
    EXPECT_NE(E.Message.find(R.Message), std::string::npos) << E.Message;
  }
  EXPECT_EQ(Query("SELECT AGE FROM people WHERE ID = 1"), (TRows{{"31"}}));
}

TEST_F(SelectTest, PlanningErrorsCarryTheirMessages) {
  struct TCase {
    const char* SQL;
    const char* Message;
  } Cases[] = {
      {"SELECT NOPE FROM people", "Invalid column name 'NOPE' or table correlation name '' specified in source columns"},
      {"SELECT NAME, COUNT(*) FROM people", "Invalid use of aggregate function(s), the necessary GROUP BY clause is missing"},
      {"SELECT NAME FROM people HAVING COUNT(*) > 1", "A GROUP BY clause must exist in order to use the HAVING clause"},
      {"SELECT NAME, SUM(AGE) FROM people GROUP BY NAME HAVING MAX(AGE) > 1",
       "Expression in HAVING clause not found in source columns"},
      {"SELECT NAME, SUM(AGE) FROM people GROUP BY NAME HAVING SUM(ID) > 1",
       "Expression in HAVING clause not found in source columns"},
      {"SELECT NAME FROM people ORDER BY 3", "Invalid column number '3' specified in ORDER BY clause"},
      {"SELECT NAME FROM people ORDER BY AGE", "Invalid column name 'AGE' or table correlation name '' specified in ORDER BY clause"},
      {"SELECT * AS X FROM people", "Invalid use of column correlation name 'X' for '*'"},
  };
  for (const TCase& C : Cases) {
    TRaised E = Raised([&] { Exec(C.SQL); });
    EXPECT_EQ(E.Code, kSQLErrorCode) << C.SQL;
    EXPECT_NE(E.Message.find(C.Message), std::string::npos) << C.SQL << " -> " << E.Message;
  }
}

TEST_F(SelectTest, BadStatementsRaiseEngineErrors) {
  const char* Cases[] = {
      "SELECT * FROM nothere",
      "SELECT x.NAME FROM people",
      "UPDATE people SET * = 1",
      "UPDATE people SET NOPE = 1",
      "INSERT INTO people SELECT NAME FROM people",
      "INSERT INTO people (NAME) VALUES ('a', 'b')",
      "SELECT SUM(NAME) FROM people",
      "DELETE FROM people WHERE NAME",
      "SELECT NAME FROM people GROUP BY 5",
      "SELECT NAME FROM people WHERE ID IN (SELECT ID, NAME FROM people)",
      "SELECT NAME FROM people WHERE AGE = 'abc'",
      "SELECT NAME, COUNT(*) FROM people GROUP BY NAME HAVING NAME",
      "SELECT NAME FROM people p, people p",
      "CREATE TABLE t2 (A CHAR(300))",
      "CREATE INDEX I ON people (NOPE)",
      "DROP INDEX people.NOPE",
      "DROP TABLE nothere2",
      "ALTER TABLE nothere ADD X INTEGER",
  };
  for (const char* C : Cases) {
    TRaised E = Raised([&] { Exec(C); });
    EXPECT_NE(E.Code, 0) << C;
  }
  // The table is untouched by all of it.
  EXPECT_EQ(Query("SELECT COUNT(*) FROM people"), (TRows{{"5"}}));
}

TEST_F(SelectTest, MaximumRowCountAndReExecution) {
  Executor->Prepare("SELECT NAME FROM people");
  Executor->SetMaxRowCount(0);
  Executor->Execute();
  EXPECT_TRUE(CursorRows(Executor->ResultCursor()).empty());
  Executor->SetMaxRowCount(2);
  Executor->Execute();
  EXPECT_EQ(CursorRows(Executor->ResultCursor()), (TRows{{"Ola"}, {"ala"}}));
  EXPECT_EQ(Executor->RowsAffected(), 2u);
  Executor->SetMaxRowCount(-1);
  Executor->Execute();
  EXPECT_EQ(CursorRows(Executor->ResultCursor()).size(), 5u);
}

// Equality conditions on the leading fields of an index narrow the rows read to their key range:
// a second key field cuts a student's rows down to the practice's, a field the index does not
// lead with does not, and the rows are those the conditions select.
TEST_F(SelectTest, EqualitiesOnLeadingKeyFieldsReadOnlyTheirRange) {
  Script({"CREATE TABLE stats (S INTEGER, P INTEGER, K SMALLINT, V INTEGER)",
          "CREATE INDEX SP ON stats (S, P, K)", "CREATE TABLE pick (S INTEGER, P INTEGER)",
          "INSERT INTO pick VALUES (2, 23)", "INSERT INTO pick VALUES (3, 31)"});
  for (int Student = 1; Student <= 4; ++Student)
    for (int Practice = 1; Practice <= 10; ++Practice)
      for (int Key = 1; Key <= 5; ++Key)
        Exec("INSERT INTO stats VALUES (" + std::to_string(Student) + ", " + std::to_string(Student * 10 + Practice) +
             ", " + std::to_string(Key) + ", " + std::to_string(Student * 1000 + Practice * 10 + Key) + ")");
  TDataCursor* Stats = new TDataCursor(Dir);
  Stats->SetTableName("stats");
  Stats->Open();
  TDataFile* D = TableFileAccess(Stats->Table)->DataFile();
  struct TCase {
    const char* SQL;
    std::vector<std::string> V;
    int64_t MaxRead;  // records read by the query, at most
  } Cases[] = {
      {"SELECT V FROM stats WHERE S = 2 AND P = 23", {"2031", "2032", "2033", "2034", "2035"}, 5},
      {"SELECT V FROM stats WHERE P = 23 AND V > 2032 AND S = 2", {"2033", "2034", "2035"}, 5},
      {"SELECT V FROM stats WHERE S = 2 AND P = 23 AND K = 4", {"2034"}, 1},
      {"SELECT V FROM stats WHERE S = 2 AND P = 23 AND K = 99999", {}, 5},  // beyond SMALLINT
      {"SELECT V FROM stats WHERE S = 2 AND P = NULL", {}, 50},
      {"SELECT V FROM stats WHERE S = 4 AND K = 5 AND V < 4040",  // the index does not lead to K
       {"4015", "4025", "4035"}, 50},
      {"SELECT V FROM stats WHERE S = 2 AND P = 33", {}, 0},
      {"SELECT stats.V FROM pick JOIN stats ON stats.S = pick.S AND stats.P = pick.P",
       {"2031", "2032", "2033", "2034", "2035", "3011", "3012", "3013", "3014", "3015"}, 10},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.SQL);
    const int64_t Before = D->CacheHits + D->RecordReads;
    const TRows Rows = Query(C.SQL);
    const int64_t Read = D->CacheHits + D->RecordReads - Before;
    std::vector<std::string> V;
    for (const auto& R : Rows) V.push_back(R.at(0));
    EXPECT_EQ(V, C.V);
    EXPECT_LE(Read, C.MaxRead);
  }
  Stats->Close();
  delete Stats;
}

// Two tables of the same size joined through a key of each: the one whose own condition thins out
// its rows drives the join, and only the rows it lets through are looked up in the other. Either
// order gives the same rows.
TEST_F(SelectTest, AJoinIsDrivenByTheTableWhoseOwnConditionThinsOutItsRows) {
  Script({"CREATE TABLE a (ID INTEGER, V INTEGER, PRIMARY KEY (ID))",
          "CREATE TABLE b (ID INTEGER, AID INTEGER, W INTEGER, PRIMARY KEY (ID))", "CREATE INDEX BA ON b (AID)"});
  constexpr int kRows = 400;
  TRows Want;
  for (int I = 1; I <= kRows; ++I) {
    const int Aid = 1 + I * 37 % kRows;
    Exec("INSERT INTO a VALUES (" + std::to_string(I) + ", " + std::to_string(I * 3) + ")");
    Exec("INSERT INTO b VALUES (" + std::to_string(I) + ", " + std::to_string(Aid) + ", " + std::to_string(I % 10) + ")");
    if (I % 10 == 3) Want.push_back({std::to_string(I), std::to_string(Aid * 3)});
  }
  // The table the nested loops start from.
  auto Driving = [&]() {
    return Executor->PlanOf(Executor->Statement()->MainQuery())->Runs.front()->Source->TableName;
  };
  for (const char* Join : {"SELECT b.ID, a.V FROM a JOIN b ON b.AID = a.ID WHERE b.W = 3 ORDER BY b.ID",
                           "SELECT b.ID, a.V FROM b JOIN a ON a.ID = b.AID WHERE b.W = 3 ORDER BY b.ID"}) {
    SCOPED_TRACE(Join);
    EXPECT_EQ(Query(Join), Want);
    // b is scanned, and a looked up by its key for the tenth of b's rows that pass; not b looked
    // up once per row of a.
    EXPECT_TRUE(SameText(Driving(), "b")) << Driving();
    EXPECT_EQ(Query(std::string(Join) + " NOJOINOPTIMIZE"), Want);
  }
}

}  // namespace

namespace {

TEST_F(SelectTest, LiveResultsAreTheTablesOwnFilteredCursor) {
  Exec("CREATE INDEX BYAGE ON people (AGE)");
  Executor->SetRequestLive(true);
  struct TCase {
    const char* SQL;
    bool Live;
    TRows Rows;
  } Cases[] = {
      {"SELECT NAME, AGE FROM people WHERE AGE >= 31", true, {{"Ola", "31"}, {"Ela", "40"}}},
      {"SELECT AGE, ID FROM people WHERE AGE = 25 ORDER BY AGE", true, {{"25", "2"}, {"25", "4"}}},
      {"SELECT NAME FROM people ORDER BY NAME", false, {{"Ela"}, {"Iza"}, {"Ola"}, {"Ula"}, {"ala"}}},
      {"SELECT UPPER(NAME) FROM people WHERE ID = 1", false, {{"OLA"}}},
      {"SELECT COUNT(*) FROM people", false, {{"5"}}},
  };
  for (const TCase& C : Cases) {
    EXPECT_EQ(Query(C.SQL), C.Rows) << C.SQL;
    EXPECT_EQ(Executor->ResultIsLive(), C.Live) << C.SQL;
    EXPECT_EQ(Executor->RowsAffected(), C.Rows.size()) << C.SQL;
  }
  // The live cursor edits the table itself.
  Executor->Prepare("SELECT NAME, AGE FROM people WHERE AGE > 35");
  Executor->Execute();
  TDataCursor* R = Executor->ResultCursor();
  ASSERT_TRUE(Executor->ResultIsLive());
  EXPECT_EQ((std::vector<std::string>{R->FieldDescs[0].Name(), R->FieldDescs[1].Name()}),
            (std::vector<std::string>{"NAME", "AGE"}));
  std::vector<uint8_t> B(R->RecordBufferSize);
  R->MoveToBegin();
  ASSERT_EQ(R->GetNextRecord(B.data()), 0);
  const int32_t Age = 41;
  R->PutField(2, B.data(), false, &Age);
  R->ModifyRecord(B.data(), true, false);
  Executor->SetRequestLive(false);
  EXPECT_EQ(Query("SELECT NAME, AGE FROM people WHERE ID = 3"), (TRows{{"Ela", "41"}}));
}

}  // namespace
