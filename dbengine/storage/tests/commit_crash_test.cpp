// A save interrupted at every write and sync it makes (the process ends there, or the operation
// fails), a power cut that loses what was not synced, and a full disk: a fresh process finds the
// save whole or not at all, sound tables, no commit left pending, and saves again.
#include <errno.h>
#include <sys/resource.h>

#include <algorithm>

#include "dbengine/storage/tests/crash_fixture.h"

namespace {

using namespace crashtest;

class CommitCrashTest : public CrashTest {
 protected:
  // The disk operations of one change made by Body (a save or a single post) in a child.
  int CountOps(const std::function<void(TSave&)>& Body) {
    return InChild([&](TDataDirectory* D) {
      TSave Save(D);
      Arm(TFault::Count, 0);
      Body(Save);
      SetDiskFaultHook(nullptr);
      return GOps.load() < 98 ? GOps.load() : 97;
    });
  }
  // Every fault point of Body: the tables hold Before or Before + 1 practices (exactly Before when
  // the change reported an error), sound and saving again.
  void EveryPoint(TFault F, const std::function<void(TSave&)>& Body, int Before) {
    const int Total = CountOps(Body);
    ASSERT_GT(Total, 3);
    for (int N = 1; N <= Total + 1; ++N) {
      Restore();
      int Rc = InChild([&](TDataDirectory* D) {
        TSave Save(D);
        Arm(F, N);
        try {
          Body(Save);
        } catch (const EVXDBEngineError&) {
          return 3;
        }
        return 0;
      });
      std::string Problem;
      int Found = Verify(Problem);
      ASSERT_TRUE(Problem.empty()) << "fault at operation " << N << " of " << Total << ": " << Problem;
      if (Rc == 3) {
        EXPECT_EQ(Found, Before) << "a failed change left its rows (operation " << N << ")";
      } else if (Rc == 0) {
        EXPECT_EQ(Found, Before + 1) << "a change that returned is not there (operation " << N << ")";
      } else {
        EXPECT_TRUE(Found == Before || Found == Before + 1) << N;
      }
      if (F == TFault::Error && N <= Total) {
        EXPECT_EQ(Rc, 3) << "operation " << N << " failed unnoticed";
      }
    }
  }
};

// A practice row, 50 statistics rows and the results row in one transaction; a single post is a
// practice row alone (the checker counts practices, and a lone practice without statistics rows is
// a fault only for a save, so it runs through the results row's count instead).
void SaveOne(TSave& S) { S.Run(1); }

TEST_F(CommitCrashTest, EveryWriteAndSyncOfASaveLeavesItWholeOrAbsent) {
  for (TFault F : {TFault::Exit, TFault::Error, TFault::PowerCut}) {
    SCOPED_TRACE(F == TFault::Exit ? "process ends" : F == TFault::Error ? "operation fails" : "power cut");
    EveryPoint(F, SaveOne, 2);
  }
}

TEST_F(CommitCrashTest, EveryWriteAndSyncOfASinglePostLeavesItWholeOrAbsent) {
  // A plain post of a results row for a new student (its counts are zero, so it is a whole state
  // alone): present or absent, never a torn tree.
  auto Post = [](TSave& S) {
    TBuffer B(S.Results()->RecordBufferSize);
    S.Results()->InitRecord(B.data());
    TSave::PutInt(S.Results(), 1, B.data(), 7);
    S.Results()->InsertRecord(B.data(), false);
  };
  const int Total = CountOps(Post);
  for (TFault F : {TFault::Exit, TFault::Error, TFault::PowerCut}) {
    for (int N = 1; N <= Total; ++N) {
      Restore();
      int Rc = InChild([&](TDataDirectory* D) {
        TSave Save(D);
        Arm(F, N);
        try {
          Post(Save);
        } catch (const EVXDBEngineError&) {
          return 3;
        }
        return 0;
      });
      std::string Problem;
      ASSERT_GE(Verify(Problem), 0) << "fault at operation " << N << ": " << Problem;
      int Rows = InChild([](TDataDirectory* D) {
        TSave Save(D);
        return Save.Results()->GetRecordCount();
      });
      if (Rc == 3) {
        EXPECT_EQ(Rows, 2) << N;
      }
      if (Rc == 0) {
        EXPECT_EQ(Rows, 3) << N;
      }
      EXPECT_TRUE(Rows == 2 || Rows == 3) << N;
    }
  }
}

TEST_F(CommitCrashTest, AFullDiskFailsTheSaveWithAClearErrorAndKeepsTheTables) {
  // No file may reach beyond the limit: from the journal's header (no byte of a save fits), through
  // a journal frame that fits while writes in place do not, to more than every file needs.
  int Failed = 0, Done = 0;
  for (rlim_t Limit : {rlim_t(512), rlim_t(2048), rlim_t(4096), rlim_t(8192), rlim_t(1) << 20}) {
    Restore();
    std::string Text;
    int Rc = InChild(
        [&](TDataDirectory* D) {
          TSave Save(D);
          signal(SIGXFSZ, SIG_IGN);
          struct rlimit L = {Limit, Limit};
          setrlimit(RLIMIT_FSIZE, &L);
          Save.Run(1);
          return 0;
        },
        &Text);
    std::string Problem;
    int Found = Verify(Problem);
    ASSERT_TRUE(Problem.empty()) << Limit << ": " << Problem;
    if (Rc == 0) {
      ++Done;
      EXPECT_EQ(Found, 3) << Limit;
    } else {
      ++Failed;
      EXPECT_EQ(Found, 2) << Limit << Text;
      // The error names the file that could not grow.
      EXPECT_NE(Text.find("Error writing to table '"), std::string::npos) << Text;
      EXPECT_TRUE(Text.find(".DAT") != std::string::npos || Text.find(".IDX") != std::string::npos ||
                  Text.find(".JNL") != std::string::npos)
          << Text;
    }
  }
  EXPECT_GT(Failed, 1);
  EXPECT_GT(Done, 0);
}

TEST_F(CommitCrashTest, ACommitSyncsTheJournalOnceAndACheckpointOnlyTheFilesItNamed) {
  // A save changes the data and index files of three tables: it syncs the journal alone. The
  // checkpoint syncs those six files (no other), then the emptied journal.
  std::string Text;
  int Rc = InChild(
      [&](TDataDirectory* D) -> int {
        TSave Save(D);
        std::vector<std::string>& Synced = RecordSyncs();
        Save.Run(1);
        Synced.push_back("|");
        D->Journal()->Checkpoint();
        SetDiskFaultHook(nullptr);
        std::sort(Synced.begin() + 2, Synced.end() - 1);
        std::string S;
        for (const std::string& N : Synced) S += (N.empty() ? std::string("<dir>") : N) + " ";
        throw std::runtime_error(S);
      },
      &Text);
  EXPECT_EQ(Rc, 99);
  EXPECT_EQ(Text, "VXDB.JNL | practice.DAT practice.IDX results.DAT results.IDX stats.DAT stats.IDX VXDB.JNL ");
}

}  // namespace
