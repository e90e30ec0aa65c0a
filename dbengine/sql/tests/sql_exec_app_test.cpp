// The application's own statements on small fixtures (texts in code page 1250) under the Polish session language (1045),
// with the rows and column names the application reads, and the joins that use an index of the
// inner table.
#include "dbengine/sql/tests/sql_exec_test_util.h"

#include <cstring>

#include "dbengine/storage/data_fields.h"

using namespace sqltest;

namespace {

class AppQueriesTest : public SQLTest {
 protected:
  void SetUp() override {
    SQLTest::SetUp();
    Session->LanguageID = 1045;
    Script({"CREATE TABLE student (ID_STUDENT AUTOINC NOT NULL, ID_GROUP INTEGER NOT NULL, NAME CHAR(45) NOT NULL, "
            "COURSE INTEGER, SEX CHAR(1) NOT NULL, PRIMARY KEY (ID_STUDENT, ID_GROUP))",
            "CREATE TABLE netstat (ID_STUDENT INTEGER, ID_PRACTICE INTEGER, [KEY] SMALLINT, KEY_NAME CHAR(2), "
            "CNT INTEGER, CPM FLOAT, ACC FLOAT)",
            "CREATE INDEX netstat ON netstat (ID_STUDENT, ID_PRACTICE)",
            "CREATE TABLE practice (ID_PRACTICE AUTOINC, CPM FLOAT, [DATE] DATE, ID_GROUP INTEGER, "
            "ID_STUDENT INTEGER, DURATION FLOAT, ACCURACY FLOAT, PRIMARY KEY (ID_PRACTICE))",
            "CREATE INDEX ID_STUDENT ON practice (ID_STUDENT, ID_GROUP)",
            "CREATE TABLE bomber (ID_STUDENT INTEGER, SCORE INTEGER)",
            "INSERT INTO student (ID_GROUP, NAME, SEX) VALUES (1, '\xA3ucja', 'W')",
            "INSERT INTO student (ID_GROUP, NAME, SEX) VALUES (1, '\xAF""aneta', 'W')",
            "INSERT INTO student (ID_GROUP, NAME, SEX) VALUES (1, 'Adam', 'M')"});
    // Student 1 practised twice (practices 1 and 2), student 2 once (practice 3).
    const char* Rows[][6] = {{"1", "1", "97", "a", "10", "0.5"},  {"1", "1", "98", "b", "4", "0.75"},
                             {"1", "2", "97", "a", "12", "0.5"},  {"1", "2", "32", " ", "30", "0.25"},
                             {"1", "2", "13", "", "3", "0.1"},    {"1", "2", "101", "e", "8", "0.5"},
                             {"1", "2", "105", "i", "9", "0.9"},  {"1", "2", "111", "o", "7", "0.6"},
                             {"1", "2", "117", "u", "6", "0.7"},  {"2", "3", "122", "z", "5", "0.2"}};
    for (auto& R : Rows)
      Exec(std::string("INSERT INTO netstat VALUES (") + R[0] + ", " + R[1] + ", " + R[2] + ", '" + R[3] + "', " +
           R[4] + ", " + R[4] + "0.5, " + R[5] + ")");
    Script({"INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES (120.5, 1, 1, 61.4, 97)",
            "INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES (140, 1, 1, 3600.2, 98.5)",
            "INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES (90, 1, 2, 30, 91)",
            "INSERT INTO bomber VALUES (1, 300)", "INSERT INTO bomber VALUES (2, 900)",
            "INSERT INTO bomber VALUES (1, 500)", "INSERT INTO bomber VALUES (7, 1000)"});
  }
};

TEST_F(AppQueriesTest, WeakestKeysOfTheLastPractice) {
  EXPECT_EQ(Query("select max(id_practice) x from netstat where id_student = 1"), (TRows{{"2"}}));
  EXPECT_EQ(Columns(), (std::vector<std::string>{"x"}));
  EXPECT_EQ(Query("select max(id_practice) x from netstat where id_student = 3"), (TRows{{""}}));
  EXPECT_EQ(Query("select key, cpm, acc from netstat where id_student = 1 and id_practice = 2 and key not in (13,32) "
                  "order by acc, cpm"),
            (TRows{{"101", "80.5", "0.5"}, {"97", "120.5", "0.5"}, {"111", "70.5", "0.6"}, {"117", "60.5", "0.7"},
                   {"105", "90.5", "0.9"}}));
  // Result columns keep the names as the statement writes them.
  EXPECT_EQ(Columns(), (std::vector<std::string>{"key", "cpm", "acc"}));
  EXPECT_EQ(Query("select * from netstat where id_student = 2 and id_practice = 3"),
            (TRows{{"2", "3", "122", "z", "5", "50.5", "0.2"}}));
}

TEST_F(AppQueriesTest, PracticeFiguresAndTheParameterQuery) {
  EXPECT_EQ(Query("select max(id_practice) as id_practice from practice where id_student = 1"), (TRows{{"2"}}));
  EXPECT_EQ(Query("select * from practice where id_student = 1 and id_practice =2"),
            (TRows{{"2", "140", "", "1", "1", "3600.2", "98.5"}}));
  EXPECT_EQ(Query("select count(*) cnt, sum(duration) dur from practice where id_student = 1"),
            (TRows{{"2", "3661.6"}}));
  EXPECT_EQ(Columns(), (std::vector<std::string>{"cnt", "dur"}));
  // The query component hands named parameters to the engine as "?".
  Executor->Prepare("SELECT key, cpm, acc \nFROM netstat\nWHERE id_practice = ?\nORDER BY key");
  ASSERT_EQ(Executor->Statement()->Params.size(), 1u);
  for (int Practice : {1, 3}) {
    TExpToken* P = Executor->Statement()->Params[0];
    P->DataType = ftInteger;
    P->Size = 4;
    P->Put<int32_t>(Practice);
    P->Null = false;
    Executor->Execute();
    EXPECT_EQ(CursorRows(Executor->ResultCursor()),
              Practice == 1 ? (TRows{{"97", "100.5", "0.5"}, {"98", "40.5", "0.75"}}) : (TRows{{"122", "50.5", "0.2"}}));
  }
}

TEST_F(AppQueriesTest, TopTenJoinAndPolishOrder) {
  EXPECT_EQ(Query("select name, score from student, bomber where student.id_student = bomber.id_student "
                  "order by score desc"),
            (TRows{{"\xAF""aneta", "900"}, {"\xA3ucja", "500"}, {"\xA3ucja", "300"}}));
  EXPECT_EQ(Columns(), (std::vector<std::string>{"name", "score"}));
  // Under the Polish collation L-stroke sorts between L and M, Z-dot after Z.
  Exec("INSERT INTO student (ID_GROUP, NAME, SEX) VALUES (1, 'Zenon', 'M')");
  Exec("INSERT INTO student (ID_GROUP, NAME, SEX) VALUES (1, 'Marek', 'M')");
  EXPECT_EQ(Query("SELECT NAME FROM student ORDER BY NAME"),
            (TRows{{"Adam"}, {"\xA3ucja"}, {"Marek"}, {"Zenon"}, {"\xAF""aneta"}}));
}

TEST_F(AppQueriesTest, IndexedInnerTablesGiveTheSameRowsAsAScan) {
  // The join's inner table is reached through its index (netstat on ID_STUDENT); a left join keeps
  // the students without rows; a value outside the smallint range matches nothing.
  const char* Join = "SELECT s.NAME, COUNT(*) AS N FROM student s JOIN netstat n ON n.ID_STUDENT = s.ID_STUDENT "
                     "GROUP BY s.NAME ORDER BY N DESC";
  EXPECT_EQ(Query(Join), (TRows{{"\xA3ucja", "9"}, {"\xAF""aneta", "1"}}));
  EXPECT_EQ(Query("SELECT s.ID_STUDENT, n.KEY_NAME FROM student s LEFT JOIN netstat n ON n.ID_STUDENT = s.ID_STUDENT "
                  "AND n.ID_PRACTICE = 3 ORDER BY 1"),
            (TRows{{"1", ""}, {"2", "z"}, {"3", ""}}));
  Exec("CREATE INDEX BYKEY ON netstat ([KEY])");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM netstat WHERE [KEY] = 100000"), (TRows{{"0"}}));
  EXPECT_EQ(Query("SELECT COUNT(*) FROM netstat WHERE [KEY] = 97"), (TRows{{"2"}}));
  Exec("INSERT INTO netstat (ID_STUDENT, KEY_NAME) VALUES (NULL, 'n')");
  EXPECT_EQ(Query("SELECT KEY_NAME FROM netstat WHERE ID_STUDENT = NULL"), (TRows{{"n"}}));
  EXPECT_EQ(Exec("DELETE FROM netstat WHERE ID_STUDENT = 1"), 9u);
  EXPECT_EQ(Query("SELECT COUNT(*) FROM netstat"), (TRows{{"2"}}));
}

}  // namespace

namespace {

TEST_F(AppQueriesTest, JoinOrderChosenByTheOptimiserGivesTheSameRows) {
  for (int I = 0; I < 40; ++I)
    Exec("INSERT INTO bomber VALUES (" + std::to_string(I % 4) + ", " + std::to_string(I * 7 % 23) + ")");
  const char* Queries[] = {
      "SELECT s.NAME, b.SCORE, n.KEY_NAME FROM bomber b, student s, netstat n WHERE s.ID_STUDENT = b.ID_STUDENT "
      "AND n.ID_STUDENT = s.ID_STUDENT AND n.ID_PRACTICE = 3 ORDER BY 2, 1",
      "SELECT s.NAME, COUNT(*), SUM(b.SCORE) FROM student s JOIN bomber b ON b.ID_STUDENT = s.ID_STUDENT "
      "WHERE b.SCORE > 5 GROUP BY s.NAME",
      "SELECT n.KEY_NAME, p.CPM FROM netstat n, practice p WHERE p.ID_PRACTICE = n.ID_PRACTICE AND p.CPM < 130 "
      "ORDER BY 1, 2",
  };
  for (const char* Q : Queries) {
    TRows Optimised = Query(Q);
    EXPECT_FALSE(Optimised.empty()) << Q;
    EXPECT_EQ(Query(std::string(Q) + " NOJOINOPTIMIZE"), Optimised) << Q;
  }
}

}  // namespace

namespace {

TEST_F(AppQueriesTest, ParameterValuesFromFieldDescriptors) {
  Executor->Prepare("SELECT KEY_NAME FROM netstat WHERE ID_PRACTICE = ? AND KEY_NAME <> ? ORDER BY 1");
  // Two parameters laid out as fields of a record: an integer at offset 10, a string at 20.
  std::vector<std::array<uint8_t, 768>> D(2);
  D[0][kFieldDescTypeOffset] = ftInteger;
  D[0][kFieldDescDataSizeOffset] = 4;
  SetU16(D[0].data() + kFieldDescRecordOffset, 10);
  D[1][kFieldDescTypeOffset] = ftString;
  D[1][kFieldDescDataSizeOffset] = 3;
  SetU16(D[1].data() + kFieldDescRecordOffset, 20);
  uint8_t Buffer[40] = {};
  Buffer[10] = 1;
  const int32_t Practice = 2;
  std::memcpy(Buffer + 11, &Practice, 4);
  Buffer[20] = 1;
  std::memcpy(Buffer + 21, "a", 2);
  Executor->SetParams(D, Buffer);
  Executor->Execute();
  // The blank key name was stored as NULL, like the empty one.
  EXPECT_EQ(CursorRows(Executor->ResultCursor()), (TRows{{""}, {""}, {"e"}, {"i"}, {"o"}, {"u"}}));
  // A NULL parameter: nothing equals it but NULL.
  Buffer[10] = 0;
  Executor->SetParams(D, Buffer);
  Executor->Execute();
  EXPECT_TRUE(CursorRows(Executor->ResultCursor()).empty());
  D.push_back(D[0]);
  TRaised E = Raised([&] { Executor->SetParams(D, Buffer); });
  EXPECT_EQ(E.Code, kSQLErrorCode);
  EXPECT_NE(E.Message.find("Internal parameter error"), std::string::npos);
}

}  // namespace
