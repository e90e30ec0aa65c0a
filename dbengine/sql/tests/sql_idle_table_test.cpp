// A table closed by its last statement stays open in its directory for the next one, holding no
// lock: another process's committed changes, a replaced or restructured table, an exclusive open
// and a journal left by a crashed commit are all met by the next statement as by a fresh open.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dbengine/sql/tests/sql_exec_test_util.h"
#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/file_layer.h"
#include "dbengine/storage/table_files.h"

namespace sqltest {
namespace {

// A second process with its own session on the same directory. Commands: an SQL statement;
// "!excl NAME" opens the table exclusively and closes it again; "!crash SQL" runs the statement
// and dies at its first write in place (its journal complete on disk).
void ServeIdlePeer(TCommandPeer& Peer, const std::string& Dir, const std::string& Private) {
  TDataSession S;
  S.LanguageID = 0;
  S.SortID = 0;
  S.LockRetryCount = 2;
  S.LockWaitTime = 10;
  S.SetPrivateDir(Private);
  TDataDirectory* D = S.OpenDirectory("db", Dir);
  TSQLExecutor X(D);
  Peer.Serve([&](const std::string& Command) {
    if (Command.rfind("!excl ", 0) == 0) {
      TDataCursor C(D);
      C.SetTableName(Command.substr(6));
      C.SetExclusive(true);
      C.Open();
      C.Close();
    } else if (Command.rfind("!crash ", 0) == 0) {
      SetDiskFaultHook([](TDiskOp Op, const char* Path) {
        const size_t L = std::strlen(Path);
        if (Op == TDiskOp::Write && (L < 4 || std::strcmp(Path + L - 4, ".JNL") != 0)) _exit(3);
        return 0;
      });
      X.ExecSQL(Command.substr(7));
    } else {
      X.ExecSQL(Command);
    }
  });
}

class IdleTableTest : public SQLTest {
 protected:
  // The peer is started before this process opens any table, so that it inherits no descriptor.
  void SetUp() override {
    SQLTest::SetUp();
    Peer = std::make_unique<TCommandPeer>(
        [Where = Path, Priv = Private](TCommandPeer& P) { ServeIdlePeer(P, Where, Priv); });
    ASSERT_GT(Peer->Pid, 0);
  }
  void TearDown() override {
    Peer.reset();
    SQLTest::TearDown();
  }
  bool Idle(const std::string& Name) {
    TDataTable* T = Dir->FindTable(Name, false);
    return T != nullptr && T->Parked && T->RefCount == 0;
  }
  std::unique_ptr<TCommandPeer> Peer;
};

TEST_F(IdleTableTest, EveryChangeAnotherProcessCommitsIsSeenByTheNextStatement) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("CREATE INDEX SV ON s (V)");
  for (int I = 1; I <= 3; ++I) Exec("INSERT INTO s VALUES (" + std::to_string(I) + ", " + std::to_string(I * 10) + ")");
  EXPECT_EQ(Query("SELECT ID, V FROM s"), (TRows{{"1", "10"}, {"2", "20"}, {"3", "30"}}));
  Executor->ExecSQL("SELECT ID FROM s WHERE ID = 1");
  Executor = std::make_unique<TSQLExecutor>(Dir);
  ASSERT_TRUE(Idle("s"));
  struct TStep {
    const char* Peer;
    const char* Query;
    TRows Expected;
  };
  const TStep Steps[] = {
      {"INSERT INTO s VALUES (4, 40)", "SELECT ID, V FROM s WHERE ID >= 3", {{"3", "30"}, {"4", "40"}}},
      {"UPDATE s SET V = 41 WHERE ID = 4", "SELECT ID FROM s WHERE V = 41", {{"4"}}},
      {"DELETE FROM s WHERE ID = 3", "SELECT COUNT(*), SUM(V) FROM s", {{"3", "71"}}},
      {"INSERT INTO s VALUES (0, 5)", "SELECT MIN(ID), MAX(V) FROM s", {{"0", "41"}}},
  };
  for (const TStep& S : Steps) {
    ASSERT_EQ(Peer->Do(S.Peer), 'y') << S.Peer;
    EXPECT_EQ(Query(S.Query), S.Expected) << S.Peer;
    Executor = std::make_unique<TSQLExecutor>(Dir);
    EXPECT_TRUE(Idle("s")) << S.Peer;
  }
  // A change of this process while the other one reads it afresh.
  Exec("UPDATE s SET V = 1 WHERE ID = 0");
  Executor = std::make_unique<TSQLExecutor>(Dir);
  ASSERT_EQ(Peer->Do("INSERT INTO s SELECT ID + 100, V FROM s WHERE V = 1"), 'y');
  EXPECT_EQ(Query("SELECT ID FROM s WHERE V = 1 ORDER BY ID"), (TRows{{"0"}, {"100"}}));
}

// What a statement cached of a table (index pages, records) serves the next statements while
// nobody changes the table, and none of it survives a change by another process: a row changed in
// place, a row deleted and inserted again, the table made anew with as many rows, or restructured.
TEST_F(IdleTableTest, CachedPagesAndRowsServeTheNextStatementsUntilAnotherProcessChangesTheTable) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("CREATE INDEX SV ON s (V)");
  // 600 rows take several index pages.
  const auto Fill = [](int Offset) {
    std::vector<std::string> Rows;
    for (int I = 1; I <= 600; ++I)
      Rows.push_back("INSERT INTO s VALUES (" + std::to_string(I) + ", " + std::to_string(I + Offset) + ")");
    return Rows;
  };
  for (const std::string& Row : Fill(0)) Exec(Row);
  const char* const Lookup = "SELECT ID, V FROM s WHERE ID = 300";
  EXPECT_EQ(Query(Lookup), (TRows{{"300", "300"}}));
  Executor = std::make_unique<TSQLExecutor>(Dir);
  ASSERT_TRUE(Idle("s"));
  auto* Files = static_cast<TTableFileSet*>(Dir->FindTable("s", false)->Files);
  const int64_t PagesRead = Files->Index.PageReads, RecordsRead = Files->Data.RecordReads;
  EXPECT_EQ(Query(Lookup), (TRows{{"300", "300"}}));
  EXPECT_EQ(Files->Index.PageReads, PagesRead);
  EXPECT_EQ(Files->Data.RecordReads, RecordsRead);
  struct TStep {
    const char* What;
    std::vector<std::string> Peer;
    const char* Query;
    TRows Expected;
  };
  std::vector<std::string> Remade = {"DROP TABLE s", "CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))",
                                     "CREATE INDEX SV ON s (V)"};
  for (const std::string& Row : Fill(5000)) Remade.push_back(Row);
  std::vector<std::string> Grown;
  for (int I = 601; I <= 3000; ++I) Grown.push_back("INSERT INTO s VALUES (" + std::to_string(I) + ", 1)");
  Grown.push_back("DELETE FROM s WHERE ID > 600");
  const TStep Steps[] = {
      {"the tree grown by levels and emptied again", Grown, "SELECT ID, V FROM s WHERE ID = 300", {{"300", "300"}}},
      {"a row changed in place", {"UPDATE s SET V = 7000 WHERE ID = 300"}, "SELECT ID, V FROM s WHERE ID = 300",
       {{"300", "7000"}}},
      {"the same row changed again", {"UPDATE s SET V = 7001 WHERE ID = 300"}, "SELECT ID FROM s WHERE V = 7001",
       {{"300"}}},
      {"a row deleted and inserted again",
       {"DELETE FROM s WHERE ID = 300", "INSERT INTO s VALUES (300, 9)"},
       "SELECT ID, V FROM s WHERE ID = 300",
       {{"300", "9"}}},
      {"the table made anew with as many rows", Remade, "SELECT ID, V FROM s WHERE ID = 300",
       {{"300", "5300"}}},
      {"restructured", {"ALTER TABLE s ADD W INTEGER", "UPDATE s SET W = ID + V"}, "SELECT V, W FROM s WHERE ID = 300",
       {{"5300", "5600"}}},
  };
  for (const TStep& S : Steps) {
    SCOPED_TRACE(S.What);
    // The lookups before the change have the pages and the row in this process's caches.
    Query(Lookup);
    Query("SELECT MAX(V) FROM s");
    Executor = std::make_unique<TSQLExecutor>(Dir);
    ASSERT_TRUE(Idle("s"));
    for (const std::string& P : S.Peer) ASSERT_EQ(Peer->Do(P), 'y') << P;
    EXPECT_EQ(Query(S.Query), S.Expected);
    EXPECT_EQ(Query("SELECT COUNT(*) FROM s"), (TRows{{"600"}}));
  }
  // A table without an index opens in natural order: its open reads the whole record status index
  // at once, which the other process has grown by levels meanwhile.
  Exec("CREATE TABLE n (ID INTEGER, V INTEGER)");
  Exec("INSERT INTO n VALUES (1, 1)");
  EXPECT_EQ(Query("SELECT ID FROM n"), (TRows{{"1"}}));
  Executor = std::make_unique<TSQLExecutor>(Dir);
  ASSERT_TRUE(Idle("n"));
  for (int I = 2; I <= 3000; ++I) ASSERT_EQ(Peer->Do("INSERT INTO n VALUES (" + std::to_string(I) + ", 2)"), 'y');
  EXPECT_EQ(Query("SELECT COUNT(*), SUM(V) FROM n"), (TRows{{"3000", "5999"}}));
}

// A statement that opens the tables of the statement before it takes them over without giving up
// their locks in between, and still finds a table another process made anew meanwhile; a table the
// next statement does not use is idle again once that statement is prepared.
TEST_F(IdleTableTest, TheNextStatementTakesOverItsTablesOnlyWhileTheyAreTheSameFiles) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("CREATE TABLE u (ID INTEGER, PRIMARY KEY (ID))");
  Exec("INSERT INTO s VALUES (1, 10)");
  Exec("INSERT INTO u VALUES (1)");
  EXPECT_EQ(Query("SELECT ID, V FROM s"), (TRows{{"1", "10"}}));
  // The statement's plan holds s open until the next statement is prepared.
  EXPECT_EQ(Peer->Do("!excl s"), 'n');
  // Meanwhile the other process grows the one-page tree to several levels: the next statement
  // reads none of it through the root it knew.
  for (int I = 2; I <= 600; ++I)
    ASSERT_EQ(Peer->Do("INSERT INTO s VALUES (" + std::to_string(I) + ", " + std::to_string(I * 10) + ")"), 'y');
  EXPECT_EQ(Query("SELECT V FROM s WHERE ID = 600"), (TRows{{"6000"}}));
  EXPECT_EQ(Query("SELECT COUNT(*), MAX(V) FROM s WHERE ID IN (SELECT ID FROM s WHERE V > 10)"),
            (TRows{{"599", "6000"}}));
  // A statement that reads a table to write it keeps no lock of its reading in the way of its write.
  EXPECT_EQ(Executor->ExecSQL("INSERT INTO s SELECT ID + 1000, V FROM s WHERE ID < 3"), 2u);
  ASSERT_EQ(Peer->Do("DELETE FROM s WHERE ID > 1"), 'y');
  // The peer's last statement leaves s alone, so that only this process could stand in the way.
  for (const char* P : {"DROP TABLE s", "CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))",
                        "INSERT INTO s VALUES (1, 11)", "SELECT ID FROM u"})
    ASSERT_EQ(Peer->Do(P), 'y') << P;
  EXPECT_EQ(Query("SELECT ID, V FROM s"), (TRows{{"1", "11"}}));
  EXPECT_EQ(Query("SELECT ID FROM u"), (TRows{{"1"}}));
  EXPECT_TRUE(Idle("s"));
  EXPECT_EQ(Peer->Do("!excl s"), 'y');
  EXPECT_EQ(Query("SELECT ID, V FROM s WHERE ID = 1"), (TRows{{"1", "11"}}));
}

TEST_F(IdleTableTest, ATableReplacedOrRestructuredElsewhereIsOpenedAsTheNewTable) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("INSERT INTO s VALUES (1, 10)");
  struct TStep {
    const char* What;
    std::vector<std::string> Peer;
    const char* Query;
    TRows Expected;
  };
  const TStep Steps[] = {
      {"dropped and created anew",
       {"DROP TABLE s", "CREATE TABLE s (K CHAR(5), ID INTEGER, PRIMARY KEY (K))", "INSERT INTO s VALUES ('a', 7)"},
       "SELECT * FROM s",
       {{"a", "7"}}},
      {"restructured", {"ALTER TABLE s ADD W INTEGER", "UPDATE s SET W = 3"}, "SELECT K, ID, W FROM s", {{"a", "7", "3"}}},
      {"every row replaced", {"DELETE FROM s", "INSERT INTO s VALUES ('b', 8, 9)"}, "SELECT * FROM s", {{"b", "8", "9"}}},
  };
  EXPECT_EQ(Query("SELECT * FROM s"), (TRows{{"1", "10"}}));
  for (const TStep& S : Steps) {
    SCOPED_TRACE(S.What);
    Executor = std::make_unique<TSQLExecutor>(Dir);
    ASSERT_TRUE(Idle("s"));
    for (const std::string& P : S.Peer) ASSERT_EQ(Peer->Do(P), 'y') << P;
    EXPECT_EQ(Query(S.Query), S.Expected);
  }
  // A table deleted elsewhere is gone here too: a clear error, not the rows it had.
  Executor = std::make_unique<TSQLExecutor>(Dir);
  ASSERT_EQ(Peer->Do("DROP TABLE s"), 'y');
  EXPECT_NE(Raised([&] { Query("SELECT * FROM s"); }).Code, 0);
}

// The inner table of a join is read by its key in no particular order: its records and index
// pages are kept for the lookups that follow. What another process changes is read anew, whether
// this process holds the table open meanwhile (a record changed, deleted, its place taken by a new
// row; the table emptied and filled again) or leaves it idle (restructured).
TEST_F(IdleTableTest, RecordsAndPagesKeptForLookupsGiveWayToChangesMadeElsewhere) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("CREATE TABLE u (ID INTEGER, SID INTEGER, W INTEGER, PRIMARY KEY (ID))");
  constexpr int kRows = 20000, kLookups = 2000;
  std::map<int, int> S;  // s as this test made it: ID to V
  std::vector<std::pair<int, int>> U;  // the rows of u with W = 0: ID and SID
  Dir->StartTransaction();
  for (int I = 1; I <= kRows; ++I) {
    Exec("INSERT INTO s VALUES (" + std::to_string(I) + ", " + std::to_string(I) + ")");
    S[I] = I;
  }
  for (int I = 1; I <= kLookups; ++I) {
    // Every second row of u joins; the keys it looks up jump about s, one of them beyond it.
    const int Sid = I == kLookups ? kRows + 1 : 1 + (I * 7919) % kRows;
    Exec("INSERT INTO u VALUES (" + std::to_string(I) + ", " + std::to_string(Sid) + ", " + std::to_string(I % 2) + ")");
    if (I % 2 == 0) U.push_back({I, Sid});
  }
  Dir->Commit();
  auto Expected = [&]() {
    TRows R;
    for (auto [Id, Sid] : U)
      if (S.count(Sid)) R.push_back({std::to_string(Id), std::to_string(S[Sid])});
    return R;
  };
  const char* Join = "SELECT u.ID, s.V FROM u JOIN s ON s.ID = u.SID WHERE u.W < 1 ORDER BY u.ID";
  // This process holds s open: the changes are found by the next statement's read bracket.
  auto* Keep = new TDataCursor(Dir);
  Keep->SetTableName("s");
  Keep->Open();
  EXPECT_EQ(Query(Join), Expected());
  // u drives the join; s is read by its key.
  auto* Files = static_cast<TTableFileSet*>(Keep->Table->Files);
  EXPECT_GT(Files->Data.CleanBlocks(), 0);
  EXPECT_GT(Files->Index.CleanPages(), 0);
  const int Changed = U[10].second, Deleted = U[20].second, Added = kRows + 1;
  struct TStep {
    std::string Peer;
    std::function<void()> Model;
  };
  const TStep Steps[] = {
      {"UPDATE s SET V = -V WHERE ID = " + std::to_string(Changed), [&] { S[Changed] = -Changed; }},
      {"DELETE FROM s WHERE ID = " + std::to_string(Deleted), [&] { S.erase(Deleted); }},
      // The new row takes the place of the deleted one in the data file.
      {"INSERT INTO s VALUES (" + std::to_string(Added) + ", 77)", [&] { S[Added] = 77; }},
      {"DELETE FROM s", [&] { S.clear(); }},
      {"INSERT INTO s SELECT SID, ID FROM u", [&] {
         for (int I = 1; I <= kLookups; ++I) S[I == kLookups ? kRows + 1 : 1 + (I * 7919) % kRows] = I;
       }},
  };
  for (const TStep& Step : Steps) {
    ASSERT_EQ(Peer->Do(Step.Peer), 'y') << Step.Peer;
    Step.Model();
    EXPECT_EQ(Query(Join), Expected()) << Step.Peer;
  }
  // Left idle, restructured elsewhere. An idle table keeps the copies kept for lookups while no
  // table in use needs their room.
  const int Blocks = Files->Data.CleanBlocks(), Pages = Files->Index.CleanPages();
  EXPECT_GT(Blocks, 0);
  Keep->Close();
  delete Keep;
  Executor = std::make_unique<TSQLExecutor>(Dir);
  ASSERT_TRUE(Idle("s"));
  EXPECT_EQ(Files->Data.CleanBlocks(), Blocks);
  EXPECT_GE(Files->Index.CleanPages(), Pages);
  ASSERT_EQ(Peer->Do("ALTER TABLE s ADD X INTEGER"), 'y');
  ASSERT_EQ(Peer->Do("UPDATE s SET V = V + 1000"), 'y');
  for (auto& [Id, V] : S) V += 1000;
  EXPECT_EQ(Query(Join), Expected());
}

// The copies kept for lookups of all the tables of a session stay within the session's budget. A
// table gone idle keeps its copies for the next statement until a table in use needs the room, the
// table idle longest giving way first. What another process changes in a table whose copies this
// session keeps is read anew, whether the table is idle or held open meanwhile.
TEST_F(IdleTableTest, TheTablesOfASessionShareOneBudgetForLookupsAndIdleOnesGiveWayFirst) {
  constexpr int kRows = 12000;
  const std::vector<std::string> Tables = {"a", "b", "c"};
  for (const std::string& T : Tables) Exec("CREATE TABLE " + T + " (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Dir->StartTransaction();
  for (const std::string& T : Tables)
    for (int I = 1; I <= kRows; ++I)
      Exec("INSERT INTO " + T + " VALUES (" + std::to_string(I) + ", " + std::to_string(I) + ")");
  Dir->Commit();
  // Less than the records of one table.
  TLookupBudget& Budget = Session->LookupBudget;
  Budget.SetLimit(size_t{192} << 10);
  std::map<std::string, std::map<int, int>> Values;  // what a row's V is
  auto Kept = [&](const std::string& T) {
    auto* F = static_cast<TTableFileSet*>(Dir->FindTable(T, false)->Files);
    return F->Data.CleanBlockBytes() + F->Index.CleanBytes();
  };
  // A statement per row, at rows all over the table.
  auto LookUp = [&](const std::string& T, int Count, int From = 1) {
    for (int K = From; K < From + Count; ++K) {
      const int Id = 1 + (K * 7919) % kRows;
      const int V = Values[T].count(Id) ? Values[T][Id] : Id;
      ASSERT_EQ(Query("SELECT V FROM " + T + " WHERE ID = " + std::to_string(Id)), (TRows{{std::to_string(V)}}))
          << T << " " << Id;
      ASSERT_LE(Budget.HeldBytes(), Budget.Limit());
    }
  };
  LookUp("a", 600);
  const size_t A = Kept("a");
  EXPECT_GT(A, Budget.Limit() / 2);
  // a is idle from the first statement on b: its copies make room for b's.
  LookUp("b", 15);
  // b goes idle too (its statement's cursors closed): what it keeps then is what it keeps idle.
  Executor = std::make_unique<TSQLExecutor>(Dir);
  ASSERT_TRUE(Idle("b"));
  const size_t B = Kept("b");
  EXPECT_GT(B, 0u);
  EXPECT_LT(Kept("a"), A);
  EXPECT_GT(Kept("a"), 0u);
  // Both idle, a the longer: it gives up everything before b gives up anything.
  const size_t AWas = Kept("a");
  for (int K = 1; K <= 600; ++K) {
    LookUp("c", 1, K);
    if (Kept("b") != B) {
      EXPECT_EQ(Kept("a"), 0u) << "b gave way while a kept copies, lookup " << K;
    }
    if (K == 1) {
      EXPECT_LT(Kept("a"), AWas);
    }
  }
  EXPECT_EQ(Kept("a"), 0u);
  EXPECT_LT(Kept("b"), B);
  EXPECT_GT(Kept("c"), Budget.Limit() / 2);

  // Another process changes rows of b, idle and keeping copies, then of c, held open here.
  for (int Id : {1 + 7919 % kRows, 1 + (2 * 7919) % kRows}) {
    ASSERT_EQ(Peer->Do("UPDATE b SET V = -V WHERE ID = " + std::to_string(Id)), 'y');
    Values["b"][Id] = -Id;
  }
  LookUp("b", 10);
  TDataCursor Holder(Dir);
  Holder.SetTableName("c");
  Holder.Open();
  LookUp("c", 10);
  ASSERT_EQ(Peer->Do("UPDATE c SET V = V + 1 WHERE ID <= 600"), 'y');
  for (int Id = 1; Id <= 600; ++Id) Values["c"][Id] = Id + 1;
  LookUp("c", 600);
  Holder.Close();
}

TEST_F(IdleTableTest, DamageDoneToAnIdleTableIsFoundAsByAFreshOpen) {
  Exec("CREATE TABLE s (ID INTEGER, PRIMARY KEY (ID))");
  Exec("INSERT INTO s VALUES (1)");
  EXPECT_EQ(Query("SELECT ID FROM s"), (TRows{{"1"}}));
  Executor = std::make_unique<TSQLExecutor>(Dir);
  ASSERT_TRUE(Idle("s"));
  {
    // The index header zeroed in place: same file, no other process involved.
    std::FILE* F = std::fopen((Path + "s.IDX").c_str(), "r+b");
    ASSERT_NE(F, nullptr);
    const std::string Zeros(64, '\0');
    std::fwrite(Zeros.data(), 1, Zeros.size(), F);
    std::fclose(F);
  }
  for (int Try = 0; Try < 2; ++Try) {
    Executor = std::make_unique<TSQLExecutor>(Dir);
    EXPECT_NE(Raised([&] { Query("SELECT ID FROM s"); }).Code, 0) << Try;
  }
}

TEST_F(IdleTableTest, AnIdleTableLetsOthersOpenItExclusively) {
  Exec("CREATE TABLE s (ID INTEGER, PRIMARY KEY (ID))");
  Exec("INSERT INTO s VALUES (1)");
  EXPECT_EQ(Query("SELECT ID FROM s"), (TRows{{"1"}}));
  Executor = std::make_unique<TSQLExecutor>(Dir);
  ASSERT_TRUE(Idle("s"));
  // Another process, and another session of this one.
  EXPECT_EQ(Peer->Do("!excl s"), 'y');
  TDataSession Other;
  TDataDirectory* OtherDir = Other.OpenDirectory("db", Path);
  {
    TDataCursor C(OtherDir);
    C.SetTableName("s");
    C.SetExclusive(true);
    EXPECT_EQ(Raised([&] { C.Open(); }).Code, 0);
    // While it is held exclusively, this session cannot take its idle table back.
    EXPECT_NE(Raised([&] { Query("SELECT ID FROM s"); }).Code, 0);
    C.Close();
  }
  Executor = std::make_unique<TSQLExecutor>(Dir);
  EXPECT_EQ(Query("SELECT ID FROM s"), (TRows{{"1"}}));
  // An open table does stand in the way, as before.
  Executor->Prepare("SELECT ID FROM s");
  Executor->Execute();
  EXPECT_EQ(Peer->Do("!excl s"), 'n');
}

TEST_F(IdleTableTest, ACommitThatDiedHalfWayIsCompletedBeforeTheIdleTableIsRead) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("INSERT INTO s VALUES (1, 10)");
  EXPECT_EQ(Query("SELECT ID, V FROM s"), (TRows{{"1", "10"}}));
  Executor = std::make_unique<TSQLExecutor>(Dir);
  ASSERT_TRUE(Idle("s"));
  EXPECT_EQ(Peer->Do("!crash INSERT INTO s VALUES (2, 20)"), 0);
  int Status = 0;
  waitpid(Peer->Pid, &Status, 0);
  Peer->Pid = -1;
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 3);
  EXPECT_EQ(Query("SELECT ID, V FROM s"), (TRows{{"1", "10"}, {"2", "20"}}));
}

TEST_F(IdleTableTest, OthersReadDuringATransactionAndFindItsRowLocksGoneWithItsCommit) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("INSERT INTO s VALUES (1, 10)");
  Dir->StartTransaction();
  for (int I = 2; I <= 50; ++I) Exec("INSERT INTO s VALUES (" + std::to_string(I) + ", 1)");
  Exec("UPDATE s SET V = 11 WHERE ID = 1");
  // Meanwhile the other process reads the table (its committed rows) without waiting.
  ASSERT_EQ(Peer->Do("SELECT ID, V FROM s WHERE ID >= 1"), 'y');
  Dir->Commit();
  // Every row the transaction locked is free again.
  EXPECT_EQ(Peer->Do("UPDATE s SET V = 2"), 'y');
  EXPECT_EQ(Query("SELECT COUNT(*), SUM(V) FROM s"), (TRows{{"50", "100"}}));
}

TEST_F(IdleTableTest, ABigTransactionLeavesItsTableWithCachesOfTheUsualSize) {
  Exec("CREATE TABLE s (ID INTEGER, T CHAR(100), PRIMARY KEY (ID))");
  Dir->StartTransaction();
  for (int I = 1; I <= 6000; ++I) Exec("INSERT INTO s VALUES (" + std::to_string(I) + ", 'x')");
  TDataTable* T = Dir->FindTable("s", false);
  ASSERT_NE(T, nullptr);
  auto* Files = static_cast<TTableFileSet*>(T->Files);
  // Nothing is written back inside a transaction: the caches hold all of it.
  const int Usual = std::min(kRecordCacheBytes / Files->Data.RecordSize(), kMaxCachedRecords);
  EXPECT_GT(Files->Data.CachedRecords(), Usual);
  Dir->Commit();
  EXPECT_LE(Files->Data.CachedRecords(), Usual);
  EXPECT_EQ(Files->Data.CacheCapacity, Usual);
  for (int S = 0; S < kIndexSlotCount; ++S) EXPECT_LE(Files->Index.CachedPages(S), kIndexCacheInitial) << S;
  EXPECT_EQ(Query("SELECT COUNT(*) FROM s"), (TRows{{"6000"}}));
}

}  // namespace
}  // namespace sqltest
