// Statements of two processes on one table: a statement reads the table in one state (a writer of
// another process waits until the statement's rows are read), every change another process
// commits is seen by the next statement, also by a prepared statement executed again over the
// cursors it keeps open, and the rows a transaction inserts hold the record locks another process
// can meet.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "dbengine/sql/tests/sql_exec_test_util.h"
#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/data_table.h"

namespace sqltest {
namespace {

// A second process with its own session on the same directory, running one statement per command.
void ServeStatements(TCommandPeer& Peer, const std::string& Dir, const std::string& Private) {
  TDataSession S;
  S.LanguageID = 0;
  S.SortID = 0;
  S.SetPrivateDir(Private);
  TDataDirectory* D = S.OpenDirectory("db", Dir);
  // A cursor kept open holds the shared table, whose writer gives up at once instead of waiting
  // for the readers.
  TDataCursor Holder(D);
  Holder.SetTableName("s");
  Holder.Open();
  Holder.Table->FileLockRetries = 0;
  TSQLExecutor X(D);
  Peer.Serve([&](const std::string& SQL) { X.ExecSQL(SQL); });
  Holder.Close();
}

// A second process that locks ("lock N") and unlocks ("unlock N") record numbers of table s, giving
// up at once when a number is locked.
void ServeRecordLocks(TCommandPeer& Peer, const std::string& Dir, const std::string& Private) {
  TDataSession S;
  S.LockRetryCount = 0;
  S.SetPrivateDir(Private);
  TDataDirectory* D = S.OpenDirectory("db", Dir);
  TDataCursor C(D);
  C.SetTableName("s");
  C.Open();
  Peer.Serve([&](const std::string& Command) {
    const size_t Space = Command.find(' ');
    const uint32_t N = static_cast<uint32_t>(std::stoul(Command.substr(Space + 1)));
    if (Command.compare(0, Space, "lock") == 0)
      C.LockRecord(N);
    else
      C.UnlockRecord(N);
  });
  C.Close();
}

class ProcessTest : public SQLTest {
 protected:
  // Starts the peer once no statement of this process holds the table open.
  std::unique_ptr<TCommandPeer> StartPeer() {
    Executor = std::make_unique<TSQLExecutor>(Dir);
    return std::make_unique<TCommandPeer>(
        [Where = Path, Priv = Private](TCommandPeer& P) { ServeStatements(P, Where, Priv); });
  }
};

TEST_F(ProcessTest, EveryChangeCommittedElsewhereIsSeenByTheNextStatement) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("CREATE INDEX SV ON s (V)");
  for (int I = 1; I <= 3; ++I) Exec("INSERT INTO s VALUES (" + std::to_string(I) + ", " + std::to_string(I * 10) + ")");
  std::unique_ptr<TCommandPeer> P = StartPeer();
  TCommandPeer& Peer = *P;
  ASSERT_GT(Peer.Pid, 0);

  // The prepared statement keeps its cursors open between executions.
  Executor->Prepare("SELECT ID, V FROM s WHERE ID >= 2 ORDER BY ID");
  Executor->Execute();
  EXPECT_EQ(CursorRows(Executor->ResultCursor()), (TRows{{"2", "20"}, {"3", "30"}}));
  struct TStep {
    const char* Peer;
    TRows Expected;
  };
  const TStep Steps[] = {
      {"INSERT INTO s VALUES (4, 40)", {{"2", "20"}, {"3", "30"}, {"4", "40"}}},
      {"UPDATE s SET V = 41 WHERE ID = 4", {{"2", "20"}, {"3", "30"}, {"4", "41"}}},
      {"DELETE FROM s WHERE ID = 3", {{"2", "20"}, {"4", "41"}}},
      {"INSERT INTO s VALUES (0, 5)", {{"2", "20"}, {"4", "41"}}},
  };
  for (const TStep& S : Steps) {
    ASSERT_EQ(Peer.Do(S.Peer), 'y') << S.Peer;
    Executor->Execute();
    EXPECT_EQ(CursorRows(Executor->ResultCursor()), S.Expected) << S.Peer;
  }
  // New statements, through the primary key, a secondary index and a scan.
  TSQLExecutor Other(Dir);
  auto Rows = [&](const std::string& SQL) {
    Other.ExecSQL(SQL);
    return CursorRows(Other.ResultCursor());
  };
  EXPECT_EQ(Rows("SELECT V FROM s WHERE ID = 4"), (TRows{{"41"}}));
  EXPECT_EQ(Rows("SELECT ID FROM s WHERE V = 41"), (TRows{{"4"}}));
  EXPECT_EQ(Rows("SELECT COUNT(*), SUM(V) FROM s"), (TRows{{"4", "76"}}));
  EXPECT_EQ(Rows("SELECT MAX(V), MIN(ID) FROM s"), (TRows{{"41", "0"}}));
}

// Statements whose key ranges come from bounds, an IN list and one end of a range, executed again
// after each change the other process commits: a row moved into, inside or out of a range.
TEST_F(ProcessTest, KeyRangesExecutedAgainFollowChangesCommittedElsewhere) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("CREATE INDEX SV ON s (V)");
  for (int I = 1; I <= 6; ++I) Exec("INSERT INTO s VALUES (" + std::to_string(I) + ", " + std::to_string(I * 10) + ")");
  std::unique_ptr<TCommandPeer> P = StartPeer();
  TCommandPeer& Peer = *P;
  ASSERT_GT(Peer.Pid, 0);
  std::vector<std::unique_ptr<TSQLExecutor>> Statements;
  const char* const Texts[] = {"SELECT ID, V FROM s WHERE V BETWEEN 20 AND 45 ORDER BY ID",
                               "SELECT ID FROM s WHERE ID IN (2, 5, 7) ORDER BY ID",
                               "SELECT MAX(V) FROM s WHERE V < 50", "SELECT COUNT(*) FROM s WHERE ID > 4"};
  for (const char* T : Texts) {
    Statements.push_back(std::make_unique<TSQLExecutor>(Dir));
    Statements.back()->Prepare(T);
  }
  auto All = [&]() {
    std::vector<TRows> R;
    for (auto& X : Statements) {
      X->Execute();
      R.push_back(CursorRows(X->ResultCursor()));
    }
    return R;
  };
  EXPECT_EQ(All(), (std::vector<TRows>{{{"2", "20"}, {"3", "30"}, {"4", "40"}}, {{"2"}, {"5"}}, {{"40"}}, {{"2"}}}));
  struct TStep {
    const char* Peer;
    std::vector<TRows> Expected;
  };
  const TStep Steps[] = {
      {"INSERT INTO s VALUES (7, 45)",
       {{{"2", "20"}, {"3", "30"}, {"4", "40"}, {"7", "45"}}, {{"2"}, {"5"}, {"7"}}, {{"45"}}, {{"3"}}}},
      {"UPDATE s SET V = 60 WHERE ID = 3",
       {{{"2", "20"}, {"4", "40"}, {"7", "45"}}, {{"2"}, {"5"}, {"7"}}, {{"45"}}, {{"3"}}}},
      {"UPDATE s SET V = 49 WHERE ID = 6",
       {{{"2", "20"}, {"4", "40"}, {"7", "45"}}, {{"2"}, {"5"}, {"7"}}, {{"49"}}, {{"3"}}}},
      {"DELETE FROM s WHERE ID IN (2, 7)", {{{"4", "40"}}, {{"5"}}, {{"49"}}, {{"2"}}}},
  };
  for (const TStep& S : Steps) {
    ASSERT_EQ(Peer.Do(S.Peer), 'y') << S.Peer;
    EXPECT_EQ(All(), S.Expected) << S.Peer;
  }
}

// A row inserted into a freed slot takes the slot's lock (another process may hold that number)
// and keeps it until the commit. A row appended inside a transaction takes no byte of the file: no
// other process can know its number before the commit gives the lock back, unless its own cursor
// locks it again, which may hold it past the commit.
TEST_F(ProcessTest, RowsInsertedInATransactionHoldTheLocksOtherProcessesCanMeet) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  for (int I = 1; I <= 3; ++I) Exec("INSERT INTO s VALUES (" + std::to_string(I) + ", 0)");
  Exec("DELETE FROM s WHERE ID = 2");  // record 2 is free for the next insert
  Executor = std::make_unique<TSQLExecutor>(Dir);
  TCommandPeer Peer([Where = Path, Priv = Private](TCommandPeer& P) { ServeRecordLocks(P, Where, Priv); });
  ASSERT_GT(Peer.Pid, 0);

  ASSERT_EQ(Peer.Do("lock 2"), 'y');
  ASSERT_EQ(Dir->StartTransaction(), nullptr);
  EXPECT_EQ(Raised([&] { Exec("INSERT INTO s VALUES (4, 0)"); }).Code, ecRecordLocked);
  ASSERT_EQ(Peer.Do("unlock 2"), 'y');
  Exec("INSERT INTO s VALUES (4, 0)");  // record 2
  Exec("INSERT INTO s VALUES (5, 0)");  // record 4, appended
  EXPECT_EQ(Peer.Do("lock 2"), 'n');
  EXPECT_EQ(Peer.Do("lock 4"), 'y');
  EXPECT_EQ(Peer.Do("unlock 4"), 'y');
  // Appended and locked again by its cursor: held with its byte from then on.
  TDataCursor C(Dir);
  C.SetTableName("s");
  C.Open();
  std::vector<uint8_t> R(C.RecordBufferSize);
  C.InitRecord(R.data());
  const int32_t Six = 6;
  C.PutField(1, R.data(), false, &Six);
  C.InsertRecord(R.data(), true);
  const uint32_t Appended = C.CurrentRecordNumber;
  EXPECT_EQ(Appended, 5u);
  C.LockRecord(0);
  Dir->Commit();
  EXPECT_EQ(Peer.Do("lock 5"), 'n');
  for (const char* Released : {"2", "4"}) {
    EXPECT_EQ(Peer.Do(std::string("lock ") + Released), 'y') << Released;
    EXPECT_EQ(Peer.Do(std::string("unlock ") + Released), 'y') << Released;
  }
  C.UnlockRecord(0);
  EXPECT_EQ(Peer.Do("lock 5"), 'y');
  C.Close();
  EXPECT_EQ(Query("SELECT ID FROM s ORDER BY ID"), (TRows{{"1"}, {"3"}, {"4"}, {"5"}, {"6"}}));
}

TEST_F(ProcessTest, AWriterWaitsWhileAReaderIsInsideItsBracket) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("INSERT INTO s VALUES (1, 10)");
  std::unique_ptr<TCommandPeer> P = StartPeer();
  TCommandPeer& Peer = *P;
  ASSERT_GT(Peer.Pid, 0);
  TDataCursor Reader(Dir);
  Reader.SetTableName("s");
  Reader.Open();
  Reader.BeginRead();
  // While the rows of an operation are being read, no commit lands in the middle of them.
  EXPECT_EQ(Peer.Do("INSERT INTO s VALUES (2, 20)"), 'n');
  Reader.EndRead();
  EXPECT_EQ(Peer.Do("INSERT INTO s VALUES (2, 20)"), 'y');
  EXPECT_EQ(CursorRows(&Reader), (TRows{{"1", "10"}, {"2", "20"}}));
  Reader.Close();
  EXPECT_EQ(Query("SELECT ID, V FROM s"), (TRows{{"1", "10"}, {"2", "20"}}));
}

}  // namespace
}  // namespace sqltest
