// INSERT, UPDATE and DELETE end to end: values and their conversions, duplicate keys, WHERE,
// INSERT … SELECT from the target table itself, the transaction and commit interval of the row
// loops, and the table statements.
#include "dbengine/sql/tests/sql_exec_test_util.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "dbengine/sql/expr_values.h"
#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/file_layer.h"

using namespace sqltest;

namespace {

class DMLTest : public SQLTest {
 protected:
  void SetUp() override {
    SQLTest::SetUp();
    Script({"CREATE TABLE t (ID INTEGER, NAME CHAR(12), D DATE, PRIMARY KEY (ID))",
            "INSERT INTO t VALUES (1, 'one', '2024-01-31')", "INSERT INTO t (ID, NAME) VALUES (2, 'two')",
            "INSERT INTO t (NAME, ID) VALUES ('three', 3)"});
  }
};

TEST_F(DMLTest, InsertStoresConvertedValuesAndRefusesDuplicateKeys) {
  EXPECT_EQ(Query("SELECT ID, NAME, D FROM t ORDER BY ID"),
            (TRows{{"1", "one", "2024-01-31"}, {"2", "two", ""}, {"3", "three", ""}}));
  // A float constant goes into an integer column, a number into a string column.
  EXPECT_EQ(Exec("INSERT INTO t VALUES (4.0, 44, NULL)"), 1u);
  EXPECT_EQ(Query("SELECT NAME FROM t WHERE ID = 4"), (TRows{{"44"}}));
  TRaised E = Raised([&] { Exec("INSERT INTO t VALUES (2, 'again', NULL)"); });
  EXPECT_EQ(E.Code, ecKeyViolation);
  EXPECT_EQ(Query("SELECT COUNT(*) FROM t"), (TRows{{"4"}}));
  E = Raised([&] { Exec("INSERT INTO t (ID, NAME) VALUES (5)"); });
  EXPECT_EQ(E.Message.find("The number of values must match the number of table columns") != std::string::npos, true);
  E = Raised([&] { Exec("INSERT INTO t (ID, NOPE) VALUES (5, 1)"); });
  EXPECT_NE(E.Message.find("Invalid column name 'NOPE'"), std::string::npos);
  E = Raised([&] { Exec("INSERT INTO t (ID, NAME) VALUES ('five', 'x')"); });
  EXPECT_NE(E.Message.find("Type mismatch between column 'ID' and constant ''five'' in update values"),
            std::string::npos)
      << E.Message;
  E = Raised([&] { Exec("INSERT INTO t (ID, D) VALUES (5, 'no date')"); });
  EXPECT_NE(E.Message.find("Date, time, or timestamp expression expected, instead found ''no date''"),
            std::string::npos)
      << E.Message;
}

TEST_F(DMLTest, UpdateAndDeleteChangeOnlyTheRowsOfTheirWhere) {
  EXPECT_EQ(Exec("UPDATE t SET NAME = NAME || '!', D = '2025-02-01' WHERE ID >= 2"), 2u);
  EXPECT_EQ(Query("SELECT ID, NAME, D FROM t ORDER BY ID"),
            (TRows{{"1", "one", "2024-01-31"}, {"2", "two!", "2025-02-01"}, {"3", "three!", "2025-02-01"}}));
  // Changing the key moves rows in the index; every row is still changed once.
  EXPECT_EQ(Exec("UPDATE t SET ID = ID + 10"), 3u);
  EXPECT_EQ(Query("SELECT ID FROM t ORDER BY ID"), (TRows{{"11"}, {"12"}, {"13"}}));
  TRaised E = Raised([&] { Exec("UPDATE t SET ID = 11 WHERE ID = 12"); });
  EXPECT_EQ(E.Code, ecKeyViolation);
  EXPECT_EQ(Exec("DELETE FROM t WHERE NAME LIKE 't%'"), 2u);
  EXPECT_EQ(Query("SELECT ID, NAME FROM t"), (TRows{{"11", "one"}}));
  EXPECT_EQ(Exec("DELETE FROM t"), 1u);
  EXPECT_EQ(Query("SELECT COUNT(*) FROM t"), (TRows{{"0"}}));
}

TEST_F(DMLTest, InsertSelectFromTheTargetDoublesTheRowsOnce) {
  Script({"CREATE TABLE s (V INTEGER)", "INSERT INTO s VALUES (1)", "INSERT INTO s VALUES (2)",
          "INSERT INTO s VALUES (3)"});
  EXPECT_EQ(Exec("INSERT INTO s SELECT * FROM s"), 3u);
  EXPECT_EQ(Query("SELECT V, COUNT(*) FROM s GROUP BY V"), (TRows{{"1", "2"}, {"2", "2"}, {"3", "2"}}));
  EXPECT_EQ(Exec("INSERT INTO s (V) SELECT V * 10 FROM s WHERE V > 1"), 4u);
  EXPECT_EQ(Query("SELECT COUNT(*), SUM(V) FROM s"), (TRows{{"10", "112"}}));
}

TEST_F(DMLTest, CommitIntervalInsideACallersTransactionCommitsAndKeepsItOpen) {
  Exec("CREATE TABLE n (V INTEGER)");
  for (int I = 1; I <= 20; ++I) Exec("INSERT INTO n VALUES (" + std::to_string(I) + ")");
  // Outside a transaction the statement runs in its own and ends it.
  EXPECT_EQ(Exec("DELETE FROM n WHERE V > 18"), 2u);
  EXPECT_FALSE(Dir->InTransaction);
  // Inside the caller's transaction: rows committed at the interval stay after a rollback.
  Dir->StartTransaction();
  EXPECT_EQ(Exec("DELETE FROM n WHERE V <= 7 COMMIT INTERVAL 5"), 7u);
  EXPECT_TRUE(Dir->InTransaction);
  Dir->Rollback();
  EXPECT_EQ(Query("SELECT COUNT(*), MIN(V) FROM n"), (TRows{{"13", "6"}}));
  // Without an interval nothing is committed by the statement.
  Dir->StartTransaction();
  EXPECT_EQ(Exec("UPDATE n SET V = 0"), 13u);
  Dir->Rollback();
  EXPECT_EQ(Query("SELECT MIN(V), MAX(V) FROM n"), (TRows{{"6", "18"}}));
}

TEST_F(DMLTest, FailedUpdateInItsOwnTransactionLeavesNothingChanged) {
  Script({"CREATE TABLE u (ID INTEGER, V INTEGER, PRIMARY KEY (ID))", "INSERT INTO u VALUES (1, 1)",
          "INSERT INTO u VALUES (2, 2)", "INSERT INTO u VALUES (3, 3)"});
  // The third row collides with a key the first two rows took.
  TRaised E = Raised([&] { Exec("UPDATE u SET ID = 4 - ID + 1, V = V * 10"); });
  EXPECT_EQ(E.Code, ecKeyViolation);
  EXPECT_FALSE(Dir->InTransaction);
  EXPECT_EQ(Query("SELECT ID, V FROM u ORDER BY ID"), (TRows{{"1", "1"}, {"2", "2"}, {"3", "3"}}));
  // With a commit interval the rows committed before the error stay changed.
  E = Raised([&] { Exec("UPDATE u SET ID = 4 - ID + 1, V = V * 10 COMMIT INTERVAL 1"); });
  EXPECT_EQ(E.Code, ecKeyViolation);
  EXPECT_FALSE(Dir->InTransaction);
  EXPECT_EQ(Query("SELECT ID, V FROM u ORDER BY ID"), (TRows{{"2", "2"}, {"3", "3"}, {"4", "10"}}));
}

TEST_F(DMLTest, TableStatementsCreateAndDropTablesAndIndexes) {
  Exec("CREATE TABLE [group] ([ID_GROUP] AUTOINC, NAME CHAR(40), [DATE] CHAR(10), PRIMARY KEY (ID_GROUP))");
  Exec("CREATE INDEX BYNAME ON [group] (NAME)");
  TDataCursor C(Dir);
  C.SetTableName("group");
  C.Open();
  EXPECT_EQ(C.FieldCount, 3);
  EXPECT_EQ(C.GetIndexCount(), 1);
  EXPECT_NO_THROW(C.SetIndexName("BYNAME"));
  C.Close();
  TRaised E = Raised([&] { Exec("CREATE TABLE [group] (X INTEGER)"); });
  EXPECT_EQ(E.Code, 0x3304);
  Exec("DROP INDEX [group].BYNAME");
  C.Open();
  EXPECT_EQ(C.GetIndexCount(), 0);
  C.Close();
  Exec("DROP TABLE [group]");
  EXPECT_FALSE(Dir->TableExists("group", false));
}

}  // namespace

namespace {

class AlterTest : public SQLTest {
 protected:
  void SetUp() override {
    SQLTest::SetUp();
    Script({"CREATE TABLE a (ID AUTOINC, NAME CHAR(12), N CHAR(5), PRIMARY KEY (ID))",
            "CREATE INDEX BYN ON a (N)", "INSERT INTO a (NAME, N) VALUES ('one', '12')",
            "INSERT INTO a (NAME, N) VALUES ('two', 'x')", "INSERT INTO a (NAME, N) VALUES ('three', '7')",
            "DELETE FROM a WHERE ID = 3"});
  }
};

TEST_F(AlterTest, AddRedefineDropAndAtKeepRowNumbersAndValues) {
  Exec("ALTER TABLE a ADD FIRSTCOL INTEGER AT 1, REDEFINE NAME TITLE CHAR(3), ADD LAST_ DATE");
  EXPECT_EQ(Query("SELECT * FROM a"), (TRows{{"", "1", "one", "12", ""}, {"", "2", "two", "x", ""}}));
  EXPECT_EQ(Columns(), (std::vector<std::string>{"FIRSTCOL", "ID", "TITLE", "N", "LAST_"}));
  // The next auto-increment value follows the old table's last one (3 was deleted).
  Exec("INSERT INTO a (TITLE) VALUES ('new')");
  EXPECT_EQ(Query("SELECT ID FROM a WHERE TITLE = 'new'"), (TRows{{"4"}}));
  // Dropping the indexed column drops its index; the primary key stays.
  Exec("ALTER TABLE a DROP N, DROP FIRSTCOL");
  TDataCursor C(Dir);
  C.SetTableName("a");
  C.Open();
  EXPECT_EQ(C.GetIndexCount(), 0);
  EXPECT_FALSE(C.HasNoPrimaryKey());
  C.Close();
  EXPECT_EQ(Query("SELECT * FROM a ORDER BY ID"), (TRows{{"1", "one", ""}, {"2", "two", ""}, {"4", "new", ""}}));
}

TEST_F(AlterTest, AValueThatDoesNotConvertLeavesTheOldTable) {
  TRaised E = Raised([&] { Exec("ALTER TABLE a REDEFINE N N INTEGER"); });
  EXPECT_EQ(E.Code, kSQLErrorCode);
  EXPECT_NE(E.Message.find("column N"), std::string::npos) << E.Message;
  EXPECT_EQ(Query("SELECT ID, NAME, N FROM a"), (TRows{{"1", "one", "12"}, {"2", "two", "x"}}));
  EXPECT_FALSE(Dir->TableExists("__new_a", false));
  // Once the value converts, the column changes type and keeps its values.
  Exec("UPDATE a SET N = '5' WHERE N = 'x'");
  Exec("ALTER TABLE a REDEFINE N N INTEGER");
  EXPECT_EQ(Query("SELECT N + 1 FROM a ORDER BY 1"), (TRows{{"6"}, {"13"}}));
}

TEST_F(AlterTest, ActionErrors) {
  struct TCase {
    const char* SQL;
    const char* Message;
  } Cases[] = {
      {"ALTER TABLE a DROP NOPE", "Column NOPE not found"},
      {"ALTER TABLE a ADD X INTEGER AT 9", "AT column position must be between 1 and 4"},
      {"ALTER TABLE a ADD PRIMARY KEY (NAME)", "Cannot REDEFINE the primary key using the ADD keyword"},
  };
  for (const TCase& C : Cases) {
    TRaised E = Raised([&] { Exec(C.SQL); });
    EXPECT_NE(E.Message.find(C.Message), std::string::npos) << C.SQL << " -> " << E.Message;
  }
  // REDEFINE of the primary key and LAST AUTOINC.
  Exec("ALTER TABLE a REDEFINE PRIMARY KEY (NAME) LAST AUTOINC 100");
  Exec("INSERT INTO a (NAME) VALUES ('z')");
  EXPECT_EQ(Query("SELECT ID, NAME FROM a"), (TRows{{"1", "one"}, {"2", "two"}, {"101", "z"}}));
  EXPECT_EQ(Raised([&] { Exec("INSERT INTO a (NAME) VALUES ('one')"); }).Code, ecKeyViolation);
}

}  // namespace

namespace {

TEST_F(AlterTest, DropIndexPrimaryLeavesTheRows) {
  Exec("DROP INDEX a.PRIMARY");
  TDataCursor C(Dir);
  C.SetTableName("a");
  C.Open();
  EXPECT_TRUE(C.HasNoPrimaryKey());
  EXPECT_EQ(C.GetIndexCount(), 1);
  C.Close();
  EXPECT_EQ(Query("SELECT ID, NAME FROM a"), (TRows{{"1", "one"}, {"2", "two"}}));
}

TEST_F(DMLTest, AbortThroughProgressKeepsTheRowsDoneAndResultsIntoATable) {
  Exec("CREATE TABLE n (V INTEGER)");
  for (int I = 1; I <= 6; ++I) Exec("INSERT INTO n VALUES (" + std::to_string(I) + ")");
  std::vector<uint32_t> Positions;
  Executor->OnProgress = [&](uint32_t Position, uint32_t, bool& Abort) {
    Positions.push_back(Position);
    Abort = Position == 2;
  };
  EXPECT_EQ(Exec("DELETE FROM n"), 2u);
  Executor->OnProgress = nullptr;
  EXPECT_EQ(Positions, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(Query("SELECT COUNT(*) FROM n"), (TRows{{"4"}}));
  // SELECT … INTO leaves a table of that name in the private directory; a plain result goes away.
  Exec("SELECT V INTO kept FROM n WHERE V > 4");
  Executor.reset();
  TDataDirectory* P = Session->OpenDirectory("priv", Private);
  TDataCursor C(P);
  C.SetTableName("kept");
  C.Open();
  EXPECT_EQ(CursorRows(&C), (TRows{{"5"}, {"6"}}));
  C.Close();
  Session->CloseDirectory(P);
  auto Others = [&] {
    size_t Files = 0;
    for (auto& E : std::filesystem::directory_iterator(Private)) Files += E.path().filename().string().rfind("kept", 0) != 0;
    return Files;
  };
  EXPECT_EQ(Others(), 0u);
  // A result taken by the caller outlives the executor and goes when the caller closes it (here
  // one written to the private directory; small results stay in memory).
  Executor = std::make_unique<TSQLExecutor>(Dir);
  Executor->MemoryResultLimit = 0;
  Exec("SELECT V FROM n ORDER BY V DESC");
  TDataDirectory* RD = nullptr;
  TDataCursor* R = Executor->TakeResultCursor(RD);
  ASSERT_NE(R, nullptr);
  EXPECT_EQ(Executor->ResultCursor(), nullptr);
  Executor.reset();
  EXPECT_EQ(CursorRows(R), (TRows{{"6"}, {"5"}, {"4"}, {"3"}}));
  EXPECT_GT(Others(), 0u);
  delete R;
  Session->CloseDirectory(RD);
  EXPECT_EQ(Others(), 0u);
}

// One executor's results of the same shape share one emptied in-memory table: each gives only
// its own rows, a result a caller changed (a filter) or took is never handed out again, and
// nothing stays in memory when the executor goes.
TEST_F(DMLTest, ResultTablesServingAgainGiveOnlyTheirOwnRows) {
  Exec("CREATE TABLE r (ID INTEGER, NAME CHAR(10), PRIMARY KEY (ID))");
  for (int I = 1; I <= 6; ++I) Exec("INSERT INTO r VALUES (" + std::to_string(I) + ", 'n" + std::to_string(I) + "')");
  const size_t MemoryFiles = EngineFileList().Count();
  EXPECT_EQ(Query("SELECT ID, NAME FROM r WHERE ID < 3"), (TRows{{"1", "n1"}, {"2", "n2"}}));
  TDataCursor* First = Executor->ResultCursor();
  EXPECT_EQ(Query("SELECT ID, NAME FROM r WHERE ID > 4"), (TRows{{"5", "n5"}, {"6", "n6"}}));
  EXPECT_EQ(Executor->ResultCursor(), First);  // the same table again, emptied
  // Executing the prepared statement again refills its own table.
  Executor->Execute();
  EXPECT_EQ(CursorRows(Executor->ResultCursor()), (TRows{{"5", "n5"}, {"6", "n6"}}));
  // Another shape gets a table of its own.
  EXPECT_EQ(Query("SELECT NAME FROM r WHERE ID = 2"), (TRows{{"n2"}}));
  EXPECT_EQ(Query("SELECT ID, NAME FROM r WHERE ID = 3"), (TRows{{"3", "n3"}}));
  // A caller's filter on a result: the next result of that shape does not inherit it.
  TDataCursor* Filtered = Executor->ResultCursor();
  Filtered->ActivateFilter(Filtered->AddFilter(nullptr, std::string(), true, false, true, false,
                                               [](void*, const uint8_t*, uint32_t) { return false; }, false));
  EXPECT_EQ(CursorRows(Filtered), TRows{});
  EXPECT_EQ(Query("SELECT ID, NAME FROM r WHERE ID BETWEEN 2 AND 3"), (TRows{{"2", "n2"}, {"3", "n3"}}));
  // A result the caller took stays the caller's, with its rows, while the executor goes on.
  TDataDirectory* RD = nullptr;
  TDataCursor* Taken = Executor->TakeResultCursor(RD);
  ASSERT_NE(Taken, nullptr);
  EXPECT_EQ(Query("SELECT ID, NAME FROM r WHERE ID = 6"), (TRows{{"6", "n6"}}));
  EXPECT_NE(Executor->ResultCursor(), Taken);
  EXPECT_EQ(Query("SELECT ID, NAME FROM r WHERE ID = 1"), (TRows{{"1", "n1"}}));
  EXPECT_EQ(CursorRows(Taken), (TRows{{"2", "n2"}, {"3", "n3"}}));
  delete Taken;
  Session->CloseDirectory(RD);
  Executor.reset();
  EXPECT_EQ(EngineFileList().Count(), MemoryFiles);
}

TEST_F(DMLTest, ResultsInMemoryAndOnDiskGiveTheSameRowsAndLeaveNothingBehind) {
  Exec("CREATE TABLE m (ID INTEGER, NAME CHAR(20), BODY BLOB(1, 1), F FLOAT, PRIMARY KEY (ID))");
  for (int I = 1; I <= 40; ++I)
    Exec("INSERT INTO m VALUES (" + std::to_string(I) + ", 'n" + std::to_string(I % 7) + "', " +
         (I % 3 ? "'" + std::string(static_cast<size_t>(I * 5), 'b') + "'" : std::string("NULL")) + ", " +
         std::to_string(I) + ".25)");
  const char* const Statements[] = {
      "SELECT * FROM m WHERE ID > 5 ORDER BY NAME, ID",
      "SELECT NAME, COUNT(*), SUM(F), MAX(ID) FROM m GROUP BY NAME",
      "SELECT DISTINCT NAME FROM m",
      "SELECT ID, BODY FROM m WHERE ID = 4",
      "SELECT ID FROM m WHERE ID > 100",
  };
  const size_t MemoryFiles = EngineFileList().Count();
  auto PrivateFiles = [&] {
    return std::distance(std::filesystem::directory_iterator(Private), std::filesystem::directory_iterator());
  };
  for (const char* SQL : Statements) {
    Executor->MemoryResultLimit = 0;
    const TRows OnDisk = Query(SQL);
    const std::vector<std::string> DiskColumns = Columns();
    EXPECT_FALSE(Executor->ResultCursor()->InMemory) << SQL;
    Executor->MemoryResultLimit = size_t(1) << 20;
    EXPECT_EQ(Query(SQL), OnDisk) << SQL;
    EXPECT_EQ(Columns(), DiskColumns) << SQL;
    EXPECT_TRUE(Executor->ResultCursor()->InMemory) << SQL;
    // Executing again replaces the result; a spilled one leaves no files in the private directory.
    EXPECT_EQ(PrivateFiles(), 0) << SQL;
  }
  // A result in memory taken by the caller outlives the executor and goes when the caller closes it.
  Exec("SELECT ID, BODY FROM m WHERE ID < 4");
  TDataDirectory* RD = nullptr;
  TDataCursor* R = Executor->TakeResultCursor(RD);
  ASSERT_NE(R, nullptr);
  Executor.reset();
  EXPECT_EQ(CursorRows(R), (TRows{{"1", "bbbbb"}, {"2", std::string(10, 'b')}, {"3", ""}}));
  delete R;
  Session->CloseDirectory(RD);
  EXPECT_EQ(EngineFileList().Count(), MemoryFiles);
  EXPECT_EQ(PrivateFiles(), 0);
}

// A result of wide rows goes into its table in several appended pieces: every row arrives once, in
// the result's order, in memory and on disk, and a result of the same shape refills the table.
TEST_F(DMLTest, AResultOfManyPiecesKeepsEveryRowInOrder) {
  Exec("CREATE TABLE w (ID INTEGER, T CHAR(250), PRIMARY KEY (ID))");
  Dir->StartTransaction();
  for (int I = 1; I <= 9000; ++I)
    Exec("INSERT INTO w VALUES (" + std::to_string(I) + ", '" + std::string(static_cast<size_t>(I % 240 + 1), 'x') +
         "')");
  Dir->Commit();
  for (size_t Limit : {size_t(0), size_t(64) << 20}) {
    Executor->MemoryResultLimit = Limit;
    const TRows R = Query("SELECT ID, T FROM w WHERE ID > 500 ORDER BY ID DESC");
    ASSERT_EQ(R.size(), 8500u);
    for (size_t I = 0; I < R.size(); ++I) {
      const int Id = 9000 - static_cast<int>(I);
      ASSERT_EQ(R[I][0], std::to_string(Id));
      ASSERT_EQ(R[I][1].size(), static_cast<size_t>(Id % 240 + 1));
    }
    EXPECT_EQ(Query("SELECT ID, T FROM w WHERE ID BETWEEN 4000 AND 4001"),
              (TRows{{"4000", std::string(161, 'x')}, {"4001", std::string(162, 'x')}}));
  }
}

}  // namespace

namespace {

TEST_F(DMLTest, MemoColumnsAreWrittenReadAndCopiedByValue) {
  Exec("CREATE TABLE notes (ID INTEGER, BODY BLOB(1, 1), PRIMARY KEY (ID))");
  Exec("INSERT INTO notes VALUES (1, 'short')");
  Exec("INSERT INTO notes VALUES (2, NULL)");
  Exec("INSERT INTO notes VALUES (3, '" + std::string(240, 'y') + "')");
  Exec("UPDATE notes SET BODY = 'changed' WHERE ID = 2");
  Exec("CREATE TABLE copy (ID INTEGER, BODY BLOB(1, 1))");
  EXPECT_EQ(Exec("INSERT INTO copy SELECT * FROM notes WHERE ID < 3"), 2u);
  EXPECT_EQ(Query("SELECT ID, BODY FROM copy"), (TRows{{"1", "short"}, {"2", "changed"}}));
  EXPECT_EQ(Query("SELECT BODY FROM notes WHERE ID = 3"), (TRows{{std::string(240, 'y')}}));
  Exec("UPDATE notes SET BODY = NULL WHERE ID = 1");
  EXPECT_EQ(Query("SELECT ID, BODY FROM notes ORDER BY ID"),
            (TRows{{"1", ""}, {"2", "changed"}, {"3", std::string(240, 'y')}}));
}

}  // namespace

namespace {

TEST_F(DMLTest, ParametersTypedAfterPreparingAreCheckedAgainAtExecution) {
  Executor->Prepare("SELECT ID FROM t WHERE D = ?");
  TExpToken* P = Executor->Statement()->Params.at(0);
  P->DataType = ftDate;
  P->Size = 4;
  P->Put<int32_t>(EncodeDayNumber(2024, 1, 31));
  P->Null = false;
  Executor->Execute();
  EXPECT_EQ(CursorRows(Executor->ResultCursor()), (TRows{{"1"}}));
  P->Put<int32_t>(EncodeDayNumber(2024, 2, 1));
  Executor->Execute();
  EXPECT_TRUE(CursorRows(Executor->ResultCursor()).empty());
  // A text is no date: the comparison is refused instead of giving no rows.
  P->DataType = ftString;
  P->SetString("2024-01-31");
  TRaised E = Raised([&] { Executor->Execute(); });
  EXPECT_EQ(E.Code, kSQLErrorCode);
  EXPECT_NE(E.Message.find("Type mismatch"), std::string::npos) << E.Message;
}

}  // namespace

namespace {

std::map<std::string, std::string> FilesIn(const std::string& Path) {
  std::map<std::string, std::string> M;
  for (const auto& E : std::filesystem::directory_iterator(Path)) {
    if (!E.is_regular_file()) continue;
    std::ifstream F(E.path(), std::ios::binary);
    M[E.path().filename().string()] = std::string(std::istreambuf_iterator<char>(F), std::istreambuf_iterator<char>());
  }
  return M;
}

TEST_F(AlterTest, AFailedConversionLeavesTheFilesByteIdenticalAndNoWorkFiles) {
  const auto Before = FilesIn(Path);
  TRaised E = Raised([&] { Exec("ALTER TABLE a ADD X INTEGER, REDEFINE N N SMALLINT"); });
  EXPECT_EQ(E.Code, kSQLErrorCode);
  EXPECT_NE(E.Message.find("column N"), std::string::npos) << E.Message;
  EXPECT_EQ(FilesIn(Path), Before);
  EXPECT_TRUE(FilesIn(Private).empty());
}

TEST_F(SQLTest, AlterKeepsBlobColumnsAndTheirValues) {
  Script({"CREATE TABLE notes (ID AUTOINC, BODY BLOB(1, 1), TAG CHAR(4), PRIMARY KEY (ID))",
          "INSERT INTO notes (BODY, TAG) VALUES ('short', 'a')", "INSERT INTO notes (BODY, TAG) VALUES (NULL, 'b')",
          "INSERT INTO notes (BODY, TAG) VALUES ('" + std::string(240, 'y') + "', 'c')",
          "DELETE FROM notes WHERE TAG = 'a'"});
  Exec("ALTER TABLE notes ADD FIRST INTEGER AT 1, REDEFINE TAG LABEL CHAR(10), ADD MORE BLOB(1, 1)");
  EXPECT_EQ(Query("SELECT * FROM notes ORDER BY ID"),
            (TRows{{"", "2", "", "b", ""}, {"", "3", std::string(240, 'y'), "c", ""}}));
  Exec("UPDATE notes SET MORE = 'added' WHERE ID = 2");
  Exec("ALTER TABLE notes DROP FIRST");
  EXPECT_EQ(Query("SELECT ID, BODY, MORE FROM notes ORDER BY ID"),
            (TRows{{"2", "", "added"}, {"3", std::string(240, 'y'), ""}}));
}

TEST_F(SQLTest, AlterOfAnEncryptedTableKeepsItsPassword) {
  Session->AddPassword("sekret");
  Script({"CREATE TABLE s (ID AUTOINC, NAME CHAR(10), PRIMARY KEY (ID) ENCRYPTED WITH 'sekret')",
          "INSERT INTO s (NAME) VALUES ('ala')", "INSERT INTO s (NAME) VALUES ('ola')"});
  Exec("ALTER TABLE s ADD AGE INTEGER");
  EXPECT_EQ(Query("SELECT * FROM s"), (TRows{{"1", "ala", ""}, {"2", "ola", ""}}));
  TDataCursor C(Dir);
  C.SetTableName("s");
  EXPECT_TRUE(C.IsEncrypted());
  EXPECT_EQ(C.GetPassword(), "sekret");
  // Without the password the table stays closed to the session.
  Session->RemovePassword("sekret");
  EXPECT_EQ(Raised([&] { Exec("SELECT * FROM s"); }).Code, ecNoRights);
}

}  // namespace
