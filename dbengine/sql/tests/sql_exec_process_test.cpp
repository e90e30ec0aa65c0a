// Statements of two processes on one table: a statement reads the table in one state (a writer of
// another process waits until the statement's rows are read), and every change another process
// commits is seen by the next statement, also by a prepared statement executed again over the
// cursors it keeps open.
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
// It is started before the test process opens the table, so that the two share no open file
// description (whose byte-range locks would never conflict).
class TPeer {
 public:
  explicit TPeer(const std::string& Dir, const std::string& Private) {
    if (pipe(FToParent) != 0 || pipe(FToChild) != 0) return;
    Pid = fork();
    if (Pid == 0) {
      close(FToParent[0]);
      close(FToChild[1]);
      Serve(Dir, Private);
      _exit(0);
    }
    close(FToParent[1]);
    close(FToChild[0]);
  }
  ~TPeer() {
    if (Pid > 0) {
      Do("");
      int Status = 0;
      waitpid(Pid, &Status, 0);
    }
    close(FToChild[1]);
    close(FToParent[0]);
  }
  // Runs one statement in the peer: 'y' done, 'n' it failed, 0 when the peer is gone. An empty
  // statement ends the peer.
  char Do(const std::string& SQL) {
    const uint32_t N = static_cast<uint32_t>(SQL.size());
    if (write(FToChild[1], &N, 4) != 4 || (N && write(FToChild[1], SQL.data(), N) != static_cast<ssize_t>(N)))
      return 0;
    char C = 0;
    if (read(FToParent[0], &C, 1) != 1) return 0;
    return C;
  }
  pid_t Pid = -1;

 private:
  void Serve(const std::string& Dir, const std::string& Private) {
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
    for (;;) {
      uint32_t N = 0;
      if (read(FToChild[0], &N, 4) != 4 || N == 0) break;
      std::string SQL(N, '\0');
      if (read(FToChild[0], SQL.data(), N) != static_cast<ssize_t>(N)) break;
      char Answer = 'y';
      try {
        X.ExecSQL(SQL);
      } catch (...) {
        Answer = 'n';
      }
      if (write(FToParent[1], &Answer, 1) != 1) break;
    }
    Holder.Close();
  }
  int FToParent[2] = {-1, -1}, FToChild[2] = {-1, -1};
};

class ProcessTest : public SQLTest {
 protected:
  // Starts the peer once no statement of this process holds the table open.
  std::unique_ptr<TPeer> StartPeer() {
    Executor = std::make_unique<TSQLExecutor>(Dir);
    return std::make_unique<TPeer>(Path, Private);
  }
};

TEST_F(ProcessTest, EveryChangeCommittedElsewhereIsSeenByTheNextStatement) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("CREATE INDEX SV ON s (V)");
  for (int I = 1; I <= 3; ++I) Exec("INSERT INTO s VALUES (" + std::to_string(I) + ", " + std::to_string(I * 10) + ")");
  std::unique_ptr<TPeer> P = StartPeer();
  TPeer& Peer = *P;
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

TEST_F(ProcessTest, AWriterWaitsWhileAReaderIsInsideItsBracket) {
  Exec("CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
  Exec("INSERT INTO s VALUES (1, 10)");
  std::unique_ptr<TPeer> P = StartPeer();
  TPeer& Peer = *P;
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
