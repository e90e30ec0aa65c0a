// When the row loops of DELETE and UPDATE commit: a statement in its own transaction commits once
// at its end unless it has a commit interval; inside the caller's transaction a COMMIT INTERVAL
// commits after every so many rows. A failure in the middle (raised through the progress call
// before a row) shows what was committed so far.
#include <stdexcept>

#include "dbengine/sql/tests/sql_exec_test_util.h"

using namespace sqltest;

namespace {

class IntervalTest : public SQLTest {
 protected:
  void SetUp() override {
    SQLTest::SetUp();
    Fill();
  }
  void Fill() {
    Exec("CREATE TABLE n (ID INTEGER, V INTEGER, PRIMARY KEY (ID))");
    for (int I = 1; I <= 20; ++I) Exec("INSERT INTO n VALUES (" + std::to_string(I) + ", " + std::to_string(I) + ")");
  }
  // Runs SQL, failing just before row FailAt is changed (0: never).
  bool RunFailingAt(const std::string& SQL, uint32_t FailAt) {
    Executor->OnProgress = [FailAt](uint32_t Position, uint32_t, bool&) {
      if (Position == FailAt) throw std::runtime_error("stopped");
    };
    bool Failed = false;
    try {
      Exec(SQL);
    } catch (const std::runtime_error&) {
      Failed = true;
    }
    Executor->OnProgress = nullptr;
    return Failed;
  }
  std::string Count(const std::string& Where) { return Query("SELECT COUNT(*) FROM n WHERE " + Where)[0][0]; }
};

TEST_F(IntervalTest, DeleteInItsOwnTransactionCommitsOnceAtTheEnd) {
  // A failure before the last row leaves every row: nothing was committed on the way.
  for (uint32_t FailAt : {2u, 11u, 20u}) {
    SCOPED_TRACE(FailAt);
    EXPECT_TRUE(RunFailingAt("DELETE FROM n", FailAt));
    EXPECT_FALSE(Dir->InTransaction);
    EXPECT_EQ(Count("ID > 0"), "20");
  }
  EXPECT_FALSE(RunFailingAt("DELETE FROM n", 0));
  EXPECT_EQ(Executor->RowsAffected(), 20u);
  EXPECT_FALSE(Dir->InTransaction);
  EXPECT_EQ(Count("ID > 0"), "0");
}

TEST_F(IntervalTest, CommitIntervalInsideATransactionCommitsEveryFiveRows) {
  // Failing before row k and rolling the caller's transaction back keeps the rows of the commits
  // at 5, 10, 15 (and 20 when the statement ends) deleted.
  const struct {
    uint32_t FailAt;
    int Kept;
  } Cases[] = {{1, 20}, {5, 20}, {6, 15}, {10, 15}, {11, 10}, {15, 10}, {16, 5}, {20, 5}, {0, 0}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.FailAt);
    // A new table each time, so that natural order is the order of ID.
    Exec("DROP TABLE n");
    Fill();
    Dir->StartTransaction();
    EXPECT_EQ(RunFailingAt("DELETE FROM n COMMIT INTERVAL 5", C.FailAt), C.FailAt != 0);
    // The statement leaves the caller's transaction open, failed or not.
    EXPECT_TRUE(Dir->InTransaction);
    Dir->Rollback();
    EXPECT_EQ(Count("ID > 0"), std::to_string(C.Kept));
    // The rows deleted are the first ones in natural order.
    EXPECT_EQ(Count("ID > " + std::to_string(20 - C.Kept)), std::to_string(C.Kept));
  }
}

TEST_F(IntervalTest, FailedUpdateInItsOwnTransactionRollsBackToTheLastInterval) {
  const struct {
    uint32_t FailAt;
    int Changed;
  } Cases[] = {{3, 0}, {13, 10}, {16, 15}, {20, 15}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.FailAt);
    Exec("UPDATE n SET V = ID");
    EXPECT_TRUE(RunFailingAt("UPDATE n SET V = V + 100 COMMIT INTERVAL 5", C.FailAt));
    EXPECT_FALSE(Dir->InTransaction);
    EXPECT_EQ(Count("V > 100"), std::to_string(C.Changed));
    EXPECT_EQ(Count("V = ID + 100 AND ID <= " + std::to_string(C.Changed)), std::to_string(C.Changed));
  }
  // Without an interval a failure leaves nothing changed.
  Exec("UPDATE n SET V = ID");
  EXPECT_TRUE(RunFailingAt("UPDATE n SET V = V + 100", 19));
  EXPECT_EQ(Count("V = ID"), "20");
}

}  // namespace
