// Processes saving into the same tables are killed at random moments, alone or beside a second
// one: after every kill a fresh process finds whole saves only (no practice without its statistics
// rows, no statistics row adopted by another practice), sound trees, no pending commit and no lock left,
// and saves again. VX_CRASH_TRIALS sets the number of trials (1,000 by default).
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "dbengine/storage/tests/crash_fixture.h"

namespace {

using namespace crashtest;

int Trials() {
  const char* E = getenv("VX_CRASH_TRIALS");
  int N = E != nullptr ? atoi(E) : 0;
  return N > 0 ? N : 1000;
}

class KillLoopTest : public CrashTest {
 protected:
  // A process that saves for Student until it is killed; it tells Ready once its tables are open.
  pid_t Saver(int32_t Student, int Ready) {
    pid_t Pid = fork();
    if (Pid == 0) {
      try {
        auto* S = new TDataSession();
        S->LockRetryCount = 200;
        S->LockWaitTime = 5;
        TDataDirectory* D = S->OpenDirectory("db", Path);
        TSave Save(D);
        char Go = 'R';
        if (write(Ready, &Go, 1) != 1) _exit(2);
        // Once every saver has told or ended, the parent's read of the pipe returns.
        close(Ready);
        for (;;) Save.Run(Student);
      } catch (const std::exception& E) {
        std::fprintf(stderr, "saver of student %d: %s\n", static_cast<int>(Student), E.what());
      } catch (...) {
      }
      _exit(1);
    }
    return Pid;
  }
};

TEST_F(KillLoopTest, KilledSaversLeaveWholeSavesOnly) {
  std::mt19937 Rng(20261210);
  const int N = Trials();
  int Failures = 0, Replayed = 0, Unexpected = 0;
  for (int T = 0; T < N && Failures < 5; ++T) {
    Restore();
    const bool Two = T % 2 == 1;
    int Pipe[2];
    ASSERT_EQ(pipe(Pipe), 0);
    pid_t A = Saver(1, Pipe[1]);
    pid_t B = Two ? Saver(2, Pipe[1]) : -1;
    close(Pipe[1]);
    char Got;
    int Told = 0;
    while (Told < (Two ? 2 : 1) && read(Pipe[0], &Got, 1) == 1) ++Told;
    close(Pipe[0]);
    if (Told < (Two ? 2 : 1)) {
      for (pid_t P : {A, B})
        if (P > 0) {
          kill(P, SIGKILL);
          waitpid(P, nullptr, 0);
        }
      FAIL() << "trial " << T << ": a saver ended before its tables were open";
    }
    std::this_thread::sleep_for(std::chrono::microseconds(Rng() % 15000));
    kill(A, SIGKILL);
    if (Two) {
      std::this_thread::sleep_for(std::chrono::microseconds(Rng() % 3000));
      kill(B, SIGKILL);
    }
    for (pid_t P : {A, B}) {
      if (P < 0) continue;
      int Status = 0;
      waitpid(P, &Status, 0);
      // A saver ends only by the kill: anything else is an error it met (a lock left held, damage).
      if (!(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGKILL)) ++Unexpected;
    }
    if (InspectJournal(Path).Pending) ++Replayed;
    std::string Problem;
    if (Verify(Problem) < 0) {
      ++Failures;
      ADD_FAILURE() << "trial " << T << (Two ? " (two savers)" : "") << ": " << Problem;
    }
  }
  EXPECT_EQ(Unexpected, 0);
  // The kills must have hit commits in flight now and then, or the loop proves nothing.
  EXPECT_GT(Replayed, 0);
  std::printf("%d trials (%d with two savers), %d kills left a commit pending, %d partial or damaged\n", N, N / 2,
              Replayed, Failures);
}

}  // namespace
