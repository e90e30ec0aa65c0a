// The directory journal kept across commits: a power cut that drops every write in place made
// since the last checkpoint, a writer killed while it writes in place beside a process that goes
// on, a checkpoint interrupted at each step, frames that are torn or fail their checksum, and the
// journal's bound reached by eight processes saving at once.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "dbengine/storage/tests/crash_fixture.h"

namespace {

using namespace crashtest;

// Counts the writes in place (every write but the journal's) and ends the process at the N-th.
std::atomic<int> GInPlace{0};
int GDieInPlaceAt = 0;
int DieInPlace(TDiskOp Op, const char* Path) {
  const size_t L = std::strlen(Path);
  if (Op != TDiskOp::Write || (L >= 4 && std::strcmp(Path + L - 4, ".JNL") == 0)) return 0;
  if (++GInPlace == GDieInPlaceAt) _exit(42);
  return 0;
}

class JournalLogTest : public CrashTest {
 protected:
  // A save of Student that ends its process at its N-th write in place (0: never; the child then
  // answers the number of writes in place it made).
  int SaveDyingInPlace(int32_t Student, int N) {
    return InChild([&](TDataDirectory* D) {
      TSave Save(D);
      GInPlace = 0;
      GDieInPlaceAt = N;
      SetDiskFaultHook(DieInPlace);
      Save.Run(Student);
      SetDiskFaultHook(nullptr);
      return GInPlace.load();
    });
  }
  int Practices() {
    std::string Problem;
    int N = Verify(Problem);
    EXPECT_TRUE(Problem.empty()) << Problem;
    return N;
  }
  std::vector<uint8_t> Log() {
    auto M = Files();
    const std::vector<char>& B = M[kJournalName];
    return {B.begin(), B.end()};
  }
};

TEST_F(JournalLogTest, APowerCutAfterTheJournalWasSyncedLosesNoCommit) {
  // Three saves, then a power cut: their writes in place are gone, the journal holds them, and the
  // next process to open the directory replays them before it reads.
  ASSERT_EQ(InChild([](TDataDirectory* D) {
              TSave Save(D);
              KeepUnsyncedWrites(true);
              Save.Run(1);
              Save.Run(2);
              Save.Run(1);
              DropUnsyncedWrites();
              _exit(0);
              return 0;
            }),
            0);
  auto Now = Files();
  for (const auto& [Name, Bytes] : Snapshot)
    if (Name != kJournalName) {
      EXPECT_EQ(Now[Name], Bytes) << Name << " kept a write in place the power cut should have dropped";
    }
  EXPECT_EQ(Practices(), 5);
}

TEST_F(JournalLogTest, AWriterKilledWhileWritingInPlaceIsCompletedByAProcessThatGoesOn) {
  const int Writes = SaveDyingInPlace(1, 0);
  ASSERT_GT(Writes, 2);
  for (int DieAt : {1, Writes / 2, Writes}) {
    SCOPED_TRACE("killed at write in place " + std::to_string(DieAt) + " of " + std::to_string(Writes));
    Restore();
    // The other process has the directory open before the writer dies, and keeps saving after.
    int Go[2], Done[2];
    ASSERT_EQ(pipe(Go), 0);
    ASSERT_EQ(pipe(Done), 0);
    pid_t Other = fork();
    if (Other == 0) {
      std::string Out = "exception";
      try {
        auto* S = new TDataSession();
        S->LockRetryCount = 20;
        S->LockWaitTime = 5;
        TSave Save(S->OpenDirectory("db", Path));
        char C = 'r';
        if (write(Done[1], &C, 1) != 1 || read(Go[0], &C, 1) != 1) _exit(2);
        // What it reads first already holds the dead writer's save, whole.
        TState Before = Save.Read();
        Save.Run(2);
        TState After = Save.Read();
        Out = !Before.Problem.empty() ? Before.Problem
              : !After.Problem.empty() ? After.Problem
                                       : std::to_string(Before.Practices) + " " + std::to_string(After.Practices);
      } catch (const EVXDBEngineError& E) {
        Out = E.Message();
      }
      if (write(Done[1], Out.data(), Out.size()) < 0) _exit(3);
      _exit(0);
    }
    char C;
    ASSERT_EQ(read(Done[0], &C, 1), 1);
    EXPECT_EQ(SaveDyingInPlace(1, DieAt), 42);
    EXPECT_TRUE(InspectJournal(Path).Pending);
    ASSERT_EQ(write(Go[1], "g", 1), 1);
    close(Go[1]);
    close(Done[1]);
    std::string Got;
    char Buf[256];
    for (ssize_t N; (N = read(Done[0], Buf, sizeof(Buf))) > 0;) Got.append(Buf, static_cast<size_t>(N));
    close(Done[0]);
    close(Go[0]);
    waitpid(Other, nullptr, 0);
    // Two saves of the set-up and the dead writer's; then the other process's.
    EXPECT_EQ(Got, "3 4");
    EXPECT_FALSE(InspectJournal(Path).Pending);
    EXPECT_EQ(Practices(), 4);
  }
}

TEST_F(JournalLogTest, ACheckpointInterruptedAtEachStepLosesNoCommit) {
  // A save, then a checkpoint; every write and sync of the checkpoint ends the process, fails, or
  // cuts the power there (the save's writes in place were not synced before the checkpoint).
  auto SaveThenCheckpoint = [&](TFault F, int N) {
    return InChild([&](TDataDirectory* D) {
      TSave Save(D);
      KeepUnsyncedWrites(true);
      Save.Run(1);
      Arm(F, N);
      try {
        D->Journal()->Checkpoint();
      } catch (const EVXDBEngineError&) {
        return 3;
      }
      SetDiskFaultHook(nullptr);
      return F == TFault::Count ? GOps.load() : 0;
    });
  };
  const int Total = SaveThenCheckpoint(TFault::Count, 0);
  // The six files of the save, the journal's header and its sync.
  ASSERT_EQ(Total, 8);
  for (TFault F : {TFault::Exit, TFault::Error, TFault::PowerCut}) {
    for (int N = 1; N <= Total; ++N) {
      SCOPED_TRACE(std::to_string(static_cast<int>(F)) + " at operation " + std::to_string(N));
      Restore();
      int Rc = SaveThenCheckpoint(F, N);
      if (F == TFault::Error) {
        EXPECT_EQ(Rc, 3);
      }
      EXPECT_EQ(Practices(), 3);
    }
  }
}

TEST_F(JournalLogTest, AFrameThatIsTornOrFailsItsChecksumIsNeverReplayed) {
  struct TCase {
    const char* What;
    std::function<void(std::vector<uint8_t>&, size_t Frame, size_t Length)> Damage;
    int Practices;
  };
  const TCase Cases[] = {
      {"intact", [](std::vector<uint8_t>&, size_t, size_t) {}, 3},
      {"a byte changed", [](std::vector<uint8_t>& B, size_t F, size_t L) { B[F + L / 2] ^= 0x20; }, 2},
      {"cut short", [](std::vector<uint8_t>& B, size_t F, size_t L) { B.resize(F + L - 1); }, 2},
      {"its end mark gone", [](std::vector<uint8_t>& B, size_t F, size_t L) { B[F + L - 3] = 'X'; }, 2},
  };
  for (const TCase& K : Cases) {
    SCOPED_TRACE(K.What);
    Restore();
    // The writer dies before its first write in place: the frame is all there is of the save.
    ASSERT_EQ(SaveDyingInPlace(1, 1), 42);
    std::vector<uint8_t> B = Log();
    ASSERT_GE(B.size(), 40u);
    const size_t Frame = LoadU32(B.data() + 16), Length = LoadU32(B.data() + Frame + 16);
    ASSERT_EQ(Frame + Length, B.size());
    K.Damage(B, Frame, Length);
    std::FILE* F = std::fopen((Path + kJournalName).c_str(), "wb");
    std::fwrite(B.data(), 1, B.size(), F);
    std::fclose(F);
    EXPECT_EQ(Practices(), K.Practices);
  }
}

TEST_F(JournalLogTest, EightProcessesSavingAtOnceKeepTheJournalWithinItsBound) {
  constexpr uint64_t kBound = 48 << 10;
  constexpr int kProcesses = 8, kSaves = 25;
  TDirectoryLog::SetBoundForTests(kBound);
  std::vector<pid_t> Savers;
  for (int P = 0; P < kProcesses; ++P) {
    pid_t Pid = fork();
    if (Pid == 0) {
      try {
        auto* S = new TDataSession();
        S->LockRetryCount = 200;
        S->LockWaitTime = 5;
        {
          TSave Save(S->OpenDirectory("db", Path));
          for (int K = 0; K < kSaves; ++K) Save.Run(1 + (P + K) % 2);
        }
        delete S;
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
    Savers.push_back(Pid);
  }
  // The journal never holds much more than its bound (a commit past it checkpoints first).
  int64_t Largest = 0;
  for (size_t Running = Savers.size(); Running > 0;) {
    struct stat St;
    if (stat((Path + kJournalName).c_str(), &St) == 0) Largest = std::max<int64_t>(Largest, St.st_size);
    for (pid_t& Pid : Savers) {
      int Status = 0;
      if (Pid > 0 && waitpid(Pid, &Status, WNOHANG) == Pid) {
        EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
        Pid = 0;
        --Running;
      }
    }
    usleep(500);
  }
  TDirectoryLog::SetBoundForTests(8u << 20);
  EXPECT_LT(Largest, static_cast<int64_t>(kBound + (16 << 10)));
  // Each process checkpoints what is left when its directory closes; the last one removes the log.
  EXPECT_FALSE(std::filesystem::exists(Path + kJournalName));
  EXPECT_EQ(Practices(), 2 + kProcesses * kSaves);
}

TEST_F(JournalLogTest, OnANetworkShareACommitSyncsItsWritesInPlaceToo) {
  // Another client may go on after this one dies, with none of its unsynced writes.
  std::string Text;
  InChild(
      [&](TDataDirectory* D) -> int {
        TDirectoryLog::SetNetworkShareForTests(true);
        TSave Save(D);
        std::vector<std::string>& Synced = RecordSyncs();
        Save.Run(1);
        SetDiskFaultHook(nullptr);
        std::sort(Synced.begin() + 1, Synced.end());
        for (const std::string& N : Synced) ChildOut() += N + " ";
        return 0;
      },
      &Text);
  EXPECT_EQ(Text, "VXDB.JNL practice.DAT practice.IDX results.DAT results.IDX stats.DAT stats.IDX ");
}

}  // namespace
