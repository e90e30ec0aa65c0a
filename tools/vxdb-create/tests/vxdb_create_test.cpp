// The database creator run as a program in a temporary folder; the tables it made are opened with
// cursors and checked column by column and index by index, and read back through SQL.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>

#include "dbengine/sql/sql_exec.h"
#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/table_files.h"
#include "tools/vxdb-create/vxdb_schema.h"

namespace {

class CreatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GetTableFilesFactory()) SetTableFilesFactory(MakeTableFiles);
    char Tmpl[] = "/tmp/vxdbc.XXXXXX";
    ASSERT_NE(mkdtemp(Tmpl), nullptr);
    Root = Tmpl;
    Data = Root + "/data/";
  }
  void TearDown() override {
    std::error_code E;
    std::filesystem::remove_all(Root, E);
  }
  int Run(const std::string& Args) {
    const std::string Cmd = std::string(VXDB_CREATE_EXE) + " " + Args + " 2>" + Root + "/err.txt";
    const int R = std::system(Cmd.c_str());
    return WIFEXITED(R) ? WEXITSTATUS(R) : -1;
  }
  std::string Root, Data;
};

struct TTableShape {
  std::vector<std::string> Columns;
  std::vector<std::string> Indexes;  // secondary index names
  int PrimaryFields;                 // 0: no primary key
};

TEST_F(CreatorTest, BuildsEveryTableWithItsColumnsAndIndexes) {
  ASSERT_EQ(Run(Data), 0);
  const std::map<std::string, TTableShape> Expected = {
      {"group", {{"ID_GROUP", "NAME", "DATE"}, {}, 1}},
      {"student", {{"ID_STUDENT", "ID_GROUP", "NAME", "COURSE", "SEX"}, {"ID_GROUP"}, 2}},
      {"practice",
       {{"ID_PRACTICE", "CPM", "DATE", "ID_GROUP", "ID_STUDENT", "PARAMETERS", "TYPE", "ID_LESSON", "COUNT",
         "ACCURACY", "VARIANCE", "ERRORS", "STDEV", "FILENAME", "COMPLETED", "DURATION", "AVERR", "AVIDX", "DESC"},
        {"ID_STUDENT", "ID_LESSON"},
        1}},
      {"statistics", {{"KEY", "ID_PRACTICE", "MISSED_KEY", "DELAY", "ID_STATISTICS"}, {"ID_PRACTICE"}, 1}},
      {"lesson", {{"ID_STUDENT", "ID_LESSON", "NAME", "DATE", "TIME", "STATE", "COURSE"}, {"ID_STUDENT"}, 3}},
      {"exercise",
       {{"ID_STUDENT", "ID_LESSON", "ID_EXERCISE", "NAME", "NUMBER", "PARAMETERS", "TYPE", "DATE", "TIME", "STATE",
         "COURSE"},
        {"SK1"},
        4}},
      {"statcalc",
       {{"ID_PRACTICE", "KEY", "CPM", "ACCURACY", "ERRORS", "COUNT", "STDEV", "VARIANCE", "ID_STUDENT"},
        {"ID_PRACTICE"},
        0}},
      {"netstat", {{"ID_STUDENT", "ID_PRACTICE", "KEY", "KEY_NAME", "CNT", "CPM", "ACC"}, {"netstat"}, 0}},
      {"course", {{"ID_STUDENT", "ID_COURSE", "ID_LESSON", "ID_EXERCISE"}, {}, 2}},
      {"config", {{"PARAM", "VALUE"}, {}, 0}},
      {"results",
       {{"ID_GROUP", "ID_STUDENT", "ID_PRACTICE", "CPM", "DATE", "ACCURACY", "ERRORS", "DURATION"}, {}, 2}},
      {"SESSIONS",
       {{"ID_SESSION", "ID_GROUP", "ID_STUDENT", "LOGON_TIME", "PING_TIME", "COMPUTER", "LOGIN", "INFO1", "INFO2",
         "INFO3"},
        {"ID_GROUP"},
        1}},
      {"locks", {{"ID_SESSION", "ID_STUDENT"}, {}, 1}},
      {"gallery", {{"ID_STUDENT", "SCORE"}, {}, 0}},
      {"bomber", {{"ID_STUDENT", "SCORE"}, {}, 0}},
  };
  ASSERT_EQ(Expected.size(), VXSchemaTables().size());
  TDataSession Session;
  TDataDirectory* Dir = Session.OpenDirectory("db", Data);
  for (const auto& [Name, Shape] : Expected) {
    SCOPED_TRACE(Name);
    TDataCursor C(Dir);
    C.SetTableName(Name);
    ASSERT_NO_THROW(C.Open());
    EXPECT_EQ(C.GetLanguageID(), 1045);
    std::vector<std::string> Columns;
    for (const TFieldDescriptor& D : C.FieldDescs) Columns.push_back(D.Name());
    EXPECT_EQ(Columns, Shape.Columns);
    std::vector<std::string> Indexes;
    for (int I = 1; I <= C.GetIndexCount(); ++I) {
      uint8_t Desc[120] = {};
      C.GetIndexDesc(static_cast<uint8_t>(I), Desc);
      Indexes.push_back(GetShortString(Desc, 30));
    }
    EXPECT_EQ(Indexes, Shape.Indexes);
    uint8_t Primary[120] = {};
    C.GetIndexDesc(0, Primary);
    EXPECT_EQ(Primary[kIndexDescFieldCountOffset], Shape.PrimaryFields);
    for (const std::string& I : Shape.Indexes) EXPECT_NO_THROW(C.SetIndexName(I));
    C.Close();
  }
  Session.CloseDirectory(Dir);
}

TEST_F(CreatorTest, WritesTheConfigurationAndRefusesToOverwrite) {
  ASSERT_EQ(Run("--group 7 " + Data), 0);
  TDataSession Session;
  Session.LanguageID = 1045;
  Session.SetPrivateDir(Root);
  TDataDirectory* Dir = Session.OpenDirectory("db", Data);
  {
    TSQLExecutor SQL(Dir);
    // The first field of the first row of a query's result.
    auto First = [&](const std::string& Text) {
      SQL.ExecSQL(Text);
      TDataCursor* R = SQL.ResultCursor();
      std::vector<uint8_t> B(R->RecordBufferSize);
      R->MoveToBegin();
      return R->GetNextRecord(B.data()) == 0 ? SQLFieldText(R, 1, B.data()) : std::string("(no row)");
    };
    // The data module's group parameter query.
    EXPECT_EQ(First("select cast(value as integer) as ID_GROUP from config where param = 'group'"), "7");
    EXPECT_EQ(SQL.ResultCursor()->FieldDescs[0].Name(), "ID_GROUP");
    EXPECT_EQ(First("SELECT COUNT(*) FROM config WHERE [VALUE] = 'true'"), "8");
    EXPECT_EQ(First("SELECT [VALUE] FROM config WHERE PARAM = 'allow_edit'"), "1");
    // The games' tables take scores.
    EXPECT_EQ(SQL.ExecSQL("INSERT INTO gallery VALUES (1, 250)"), 1u);
  }
  Session.CloseDirectory(Dir);
  // A second run refuses; with --force the tables are made again, empty.
  EXPECT_EQ(Run(Data), 1);
  EXPECT_EQ(Run("--force " + Data), 0);
  EXPECT_EQ(Run("--bogus " + Data), 2);
  TDataSession S2;
  TDataDirectory* D2 = S2.OpenDirectory("db", Data);
  TDataCursor C(D2);
  C.SetTableName("gallery");
  C.Open();
  EXPECT_EQ(C.GetRecordCount(), 0);
  C.Close();
  S2.CloseDirectory(D2);
}

// A shared installation can take students only into a group that exists: the creator makes the
// row of its group, under the name given or a default one, and refuses ids and names it cannot store.
TEST_F(CreatorTest, SharedInstallationMakesItsGroupRow) {
  struct TCase {
    std::string Args;
    std::string Rows;  // "ID|NAME" of every group row
  } Cases[] = {
      {"--group 7", "7|Grupa 7"},
      {"--group 12 --group-name 'Klasa 3b – Żółw O'\\''Hara'", "12|Klasa 3b \x96 \xAF\xF3\xB3w O'Hara"},
      {"--force", ""},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Args);
    ASSERT_EQ(Run("--force " + C.Args + " " + Data), 0);
    TDataSession Session;
    Session.LanguageID = 1045;
    Session.SetPrivateDir(Root);
    TDataDirectory* Dir = Session.OpenDirectory("db", Data);
    {
      TSQLExecutor SQL(Dir);
      SQL.ExecSQL("SELECT ID_GROUP, NAME, [DATE] FROM [group]");
      TDataCursor* R = SQL.ResultCursor();
      std::vector<uint8_t> B(R->RecordBufferSize);
      std::string Rows;
      R->MoveToBegin();
      while (R->GetNextRecord(B.data()) == 0) {
        Rows += SQLFieldText(R, 1, B.data()) + "|" + SQLFieldText(R, 2, B.data());
        EXPECT_EQ(SQLFieldText(R, 3, B.data()).size(), 10u);  // the day it was made, YYYY-MM-DD
      }
      EXPECT_EQ(Rows, C.Rows);
    }
    Session.CloseDirectory(Dir);
  }
  const char* Refused[] = {"--group 0", "--group 2147483648", "--group 5 --group-name " "'" "Nazwa grupy dłuższa niż czterdzieści znaków" "'"};
  for (const char* A : Refused) {
    EXPECT_EQ(Run("--force " + std::string(A) + " " + Data), 1) << A;
  }
  EXPECT_EQ(Run("--group-name Sama " + Data), 2);
}

}  // namespace
