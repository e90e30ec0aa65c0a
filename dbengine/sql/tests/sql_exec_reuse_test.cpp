// What an executor keeps from one statement for the next (INSERT … VALUES statements for the later
// statements with the same text up to VALUES, its plans' source cursors, result tables): each
// statement gives the rows and errors of the statement prepared anew by an executor of its own,
// and a kept INSERT follows every change of its table's definition and rows, made by this process
// or by another one.
#include <filesystem>
#include <memory>

#include "dbengine/sql/tests/sql_exec_test_util.h"
#include "dbengine/storage/data_session.h"

namespace sqltest {
namespace {

// Runs statements through the fixture's executor, which keeps what it can between them, and each
// one also through an executor of its own on a second database that starts alike.
class ReuseTest : public SQLTest {
 protected:
  void SetUp() override {
    SQLTest::SetUp();
    FreshPath = Path + "fresh/";
    std::filesystem::create_directories(FreshPath);
    FreshDir = Session->OpenDirectory("fresh", FreshPath);
    ASSERT_NE(FreshDir, nullptr);
  }
  // The rows a statement affected and the rows of its result, or what it raised; the databases'
  // paths are left out.
  std::string Outcome(TSQLExecutor& X, const std::string& SQL) {
    std::string M;
    try {
      M = "rows " + std::to_string(X.ExecSQL(SQL));
      for (const std::vector<std::string>& Row : CursorRows(X.ResultCursor())) {
        M += " |";
        for (const std::string& V : Row) M += " " + V;
      }
      return M;
    } catch (const EVXDBEngineError& E) {
      M = "error " + std::to_string(E.ErrorCode()) + " " + E.Message();
    } catch (const Exception& E) {
      M = E.ClassName() + " " + E.Message();
    }
    for (const std::string& P : {FreshPath, Path})
      for (size_t At; (At = M.find(P)) != std::string::npos;) M.replace(At, P.size(), "<db>/");
    return M;
  }
  // Each statement gives the same in both databases, and so do the queries at the end.
  void Compare(const std::vector<std::string>& Statements, const std::vector<std::string>& Queries) {
    for (const std::string& S : Statements) {
      TSQLExecutor Fresh(FreshDir);
      const std::string Expected = Outcome(Fresh, S);
      EXPECT_EQ(Outcome(*Executor, S), Expected) << S;
    }
    for (const std::string& Q : Queries) {
      TSQLExecutor Fresh(FreshDir);
      Fresh.ExecSQL(Q);
      const TRows Expected = CursorRows(Fresh.ResultCursor());
      EXPECT_EQ(Query(Q), Expected) << Q;
      EXPECT_FALSE(Expected.empty()) << Q;
    }
  }
  void InBothTransactions(const std::function<void()>& Body) {
    ASSERT_EQ(Dir->StartTransaction(), nullptr);
    ASSERT_EQ(FreshDir->StartTransaction(), nullptr);
    Body();
    Dir->Commit();
    FreshDir->Commit();
  }

  std::string FreshPath;
  TDataDirectory* FreshDir = nullptr;
};

const char* const kTable =
    "CREATE TABLE k (ID AUTOINC, S SMALLINT, I INTEGER, F FLOAT, M MONEY, D DATE, T TIME, TS TIMESTAMP, C CHAR(6), "
    "B BOOLEAN, X INTEGER DEFAULT 7 MIN 0 MAX 100, PRIMARY KEY (ID))";
const char* const kDump = "SELECT * FROM k ORDER BY ID";

// The values of one head in turn: literals of every kind into columns of every type, conversions
// and the values refused, expressions, NULL, parameters, and what follows the list.
TEST_F(ReuseTest, ValuesOfEveryKindGiveWhatAStatementPreparedAnewGives) {
  const std::string Head = "INSERT INTO k (S, I, F, D, C, B) VALUES ";
  Compare({kTable,
           Head + "(1, 2, 3.5, '2024-02-29', 'abc', TRUE)",
           Head + "(-1, -2, -3, '2024-03-01', 'abcdefgh', FALSE)",
           Head + "(1.9, 2.5, 7, '1999-12-31', 12, NULL)",
           Head + "(NULL, NULL, NULL, NULL, NULL, NULL)",
           Head + "(70000, 1, 1, '2024-01-01', 'x', TRUE)",
           Head + "('a', 1, 1, '2024-01-01', 'x', TRUE)",
           Head + "(1, 2, 3, 'no date', 'x', TRUE)",
           Head + "(1, 2, 3, '2024-01-01', 'x')",
           Head + "(1, 2, 3, '2024-01-01', 'x', TRUE, 4)",
           Head + "(1, 2147483648, 3, '2024-01-01', 'x', TRUE)",
           Head + "(1, 2, 3, '2024-01-01', #65, TRUE)",
           Head + "(1, 2, 3, '2024-01-01', #300, TRUE)",
           Head + "(1 + 1, 2 * 3, 1 / 4, '2024-01-01', 'a' || 'b', 1 = 1)",
           Head + "(-(3), +4, -5.25, '2024-01-01', UPPER('q'), NOT FALSE)",
           Head + "(1, 'x' ||\n 'y', 3, '2024-01-01', 'x', TRUE)",
           Head + "(?, 2, 3, '2024-01-01', 'x', TRUE)",
           Head + "(/* a comment */ 1, 2\n, 3, '2024-01-01', 'x\ny', TRUE);",
           Head + "(1, 'two\nlines', 3, '2024-01-01', 'x', TRUE)",
           Head + "(1, 2, 3, '2024-01-01', 'x', TRUE) garbage",
           Head + "(1, 2, 3, '2024-01-01', 'x', TRUE",
           Head + "(1, 2, 3, '2024-01-01', 'x', 'unterminated)",
           Head + "()",
           Head + "(1, 2, 3, '2024-01-01', 'x', TRUE) COMMIT INTERVAL 0",
           Head + "(1, 2, 3, '2024-01-01', 'x', TRUE) COMMIT INTERVAL 3",
           "INSERT INTO k (S, I, F, D, C, B) SELECT S, I, F, D, C, B FROM k WHERE ID = 1",
           Head + "(5, 6, 7, '2024-01-01', 'y', FALSE)",
           "INSERT INTO k (I, X) VALUES (1, 101)",
           "INSERT INTO k (I, X) VALUES (2, 100)",
           "INSERT INTO k (I) VALUES (3)",
           "INSERT INTO k VALUES (0, 1, 2, 3.5, 4, '2024-01-01', '12:30:00', '2024-01-01 12:30:00', 'c', TRUE, 9)",
           "INSERT INTO k VALUES (0, -1, -2, 1e3, 4.25, '2023-12-31', '23:59:59', '2023-12-31 23:59:59', 'd', FALSE, NULL)",
           "INSERT INTO k VALUES (0, 1, 2, 3.5, 4, '2024-01-01', 'noon', '2024-01-01 12:30:00', 'c', TRUE, 9)"},
          {kDump});
}

// NOAUTOINC follows the list: each statement gives the number its own text asks for.
TEST_F(ReuseTest, AutoIncrementNumbersFollowEachStatementsOwnOptions) {
  Compare({kTable, "INSERT INTO k (ID, I) VALUES (100, 1) NOAUTOINC", "INSERT INTO k (ID, I) VALUES (101, 2)",
           "INSERT INTO k (ID, I) VALUES (50, 3) NOAUTOINC", "INSERT INTO k (ID, I) VALUES (50, 4) NOAUTOINC",
           "INSERT INTO k (ID, I) VALUES (7, 5)", "INSERT INTO k (ID, I) VALUES (300, 6) NOAUTOINC;"},
          {kDump});
}

TEST_F(ReuseTest, DuplicateKeysAndTransactionsGiveWhatAStatementPreparedAnewGives) {
  Compare({"CREATE TABLE p (ID INTEGER, NAME CHAR(8), PRIMARY KEY (ID))", "CREATE INDEX BYNAME ON p (NAME)",
           "INSERT INTO p VALUES (1, 'a')", "INSERT INTO p VALUES (1, 'b')", "INSERT INTO p VALUES (2, 'b')"},
          {});
  InBothTransactions([&] {
    Compare({"INSERT INTO p VALUES (3, 'c')", "INSERT INTO p VALUES (3, 'd')", "DELETE FROM p WHERE ID = 1",
             "INSERT INTO p VALUES (4, 'e')", "INSERT INTO p VALUES (5, 'f')", "INSERT INTO p VALUES (2, 'g')"},
            {});
  });
  Compare({"INSERT INTO p VALUES (6, 'h')"}, {"SELECT ID, NAME FROM p ORDER BY ID", "SELECT NAME FROM p ORDER BY NAME"});
}

// Statements of every kind after one another, through source cursors and result tables that
// served the statements before them: NOAUTOINC of one UPDATE stays with its statement.
TEST_F(ReuseTest, StatementsOfEveryKindAfterOneAnotherGiveWhatStatementsPreparedAnewGive) {
  Compare({kTable, "INSERT INTO k (I, C) VALUES (1, 'a')", "INSERT INTO k (I, C) VALUES (2, 'b')",
           "INSERT INTO k (I, C) VALUES (3, 'c')", "SELECT ID, I FROM k WHERE ID = 2",
           "UPDATE k SET ID = 40, I = 4 WHERE ID = 1 NOAUTOINC", "SELECT ID, C FROM k WHERE I < 3",
           "UPDATE k SET ID = 50, I = 5 WHERE ID = 2", "SELECT COUNT(*), MAX(ID) FROM k",
           "UPDATE k SET ID = 60 WHERE ID = 3", "DELETE FROM k WHERE I = 5", "SELECT ID, I, C FROM k ORDER BY C",
           "SELECT C FROM k WHERE ID = 40", "INSERT INTO k (I, C) VALUES (7, 'g')", "SELECT MIN(I), SUM(I) FROM k"},
          {kDump, "SELECT C, I FROM k WHERE ID >= 40 ORDER BY I"});
}

// The table changes between two statements of one head: columns added, retyped, renamed, the
// table dropped and made again, its language changed.
TEST_F(ReuseTest, AKeptStatementFollowsTheDefinitionsThisProcessGivesItsTable) {
  Compare({"CREATE TABLE r (A INTEGER, B CHAR(4))", "INSERT INTO r VALUES (1, 'x')", "ALTER TABLE r ADD C INTEGER",
           "INSERT INTO r VALUES (2, 'y')", "INSERT INTO r VALUES (3, 'y', 30)", "ALTER TABLE r REDEFINE A A CHAR(3)",
           "INSERT INTO r VALUES ('abcd', 'z', 40)", "ALTER TABLE r DROP B", "INSERT INTO r VALUES ('q', 'z', 40)",
           "INSERT INTO r VALUES ('q', 50)", "DROP TABLE r", "CREATE TABLE r (A DATE, B INTEGER, C CHAR(2))",
           "INSERT INTO r VALUES ('2024-05-06', 1, 'long')", "INSERT INTO r (B) VALUES ('x')",
           "DROP TABLE r", "CREATE TABLE r (B INTEGER)", "INSERT INTO r (B) VALUES ('x')", "INSERT INTO r (B) VALUES (9)",
           "INSERT INTO r VALUES (10)"},
          {"SELECT * FROM r ORDER BY B"});
}

// Another process redefines the table, makes it anew and changes its rows between two statements
// of one head.
TEST_F(ReuseTest, AKeptStatementFollowsWhatAnotherProcessDoesToItsTable) {
  Script({"CREATE TABLE s (ID INTEGER, V INTEGER, PRIMARY KEY (ID))", "CREATE TABLE o (ID INTEGER)"});
  Executor = std::make_unique<TSQLExecutor>(Dir);
  TCommandPeer Peer([Where = Path, Priv = Private](TCommandPeer& P) {
    TDataSession S;
    S.SetPrivateDir(Priv);
    TSQLExecutor X(S.OpenDirectory("db", Where));
    P.Serve([&](const std::string& SQL) { X.ExecSQL(SQL); });
  });
  ASSERT_GT(Peer.Pid, 0);
  // A statement on another table lets this process's last INSERT go, so that the peer may have
  // the table to itself.
  auto LetGo = [&] { Exec("SELECT COUNT(*) FROM o"); };
  Exec("INSERT INTO s VALUES (1, 10)");
  LetGo();
  ASSERT_EQ(Peer.Do("ALTER TABLE s ADD W CHAR(5)"), 'y');
  TRaised E = Raised([&] { Exec("INSERT INTO s VALUES (2, 20)"); });
  EXPECT_NE(E.Message.find("The number of values must match the number of table columns"), std::string::npos)
      << E.Message;
  Exec("INSERT INTO s VALUES (3, 30, 'w')");
  LetGo();
  ASSERT_EQ(Peer.Do("DROP TABLE s"), 'y');
  ASSERT_EQ(Peer.Do("CREATE TABLE s (ID INTEGER, V CHAR(4), PRIMARY KEY (ID))"), 'y');
  Exec("INSERT INTO s VALUES (4, '12')");
  LetGo();
  ASSERT_EQ(Peer.Do("ALTER TABLE s REDEFINE V V INTEGER"), 'y');
  E = Raised([&] { Exec("INSERT INTO s VALUES (5, 'abc')"); });
  EXPECT_NE(E.Message.find("Type mismatch between column 'V' and constant ''abc''"), std::string::npos) << E.Message;
  Exec("INSERT INTO s VALUES (6, 60)");
  EXPECT_EQ(Query("SELECT ID, V FROM s ORDER BY ID"), (TRows{{"4", "12"}, {"6", "60"}}));
  // The rows the peer commits meanwhile are met by the next statement of the kept head.
  ASSERT_EQ(Peer.Do("INSERT INTO s VALUES (7, 70)"), 'y');
  EXPECT_EQ(Raised([&] { Exec("INSERT INTO s VALUES (7, 71)"); }).Code, ecKeyViolation);
  Exec("INSERT INTO s VALUES (8, 80)");
  LetGo();
  ASSERT_EQ(Peer.Do("DELETE FROM s WHERE ID = 8"), 'y');
  Exec("INSERT INTO s VALUES (8, 81)");
  EXPECT_EQ(Query("SELECT ID, V FROM s WHERE ID >= 7 ORDER BY ID"), (TRows{{"7", "70"}, {"8", "81"}}));
}

}  // namespace
}  // namespace sqltest
