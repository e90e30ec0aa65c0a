// The three tables of an exercise save and the checks that a crash left them whole: a practice row,
// its 50 statistics rows and the student's results row, written in one transaction. Work runs in
// forked children (a fresh process opens the tables as the next program start would); the parent
// keeps no table open, so that no child shares its descriptors or locks.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/file_layer.h"
#include "dbengine/storage/journal.h"
#include "dbengine/storage/table_check.h"
#include "dbengine/storage/tests/data_cursor_test_util.h"

namespace crashtest {

using cursortest::Field;
using cursortest::Index;
using TBuffer = std::vector<uint8_t>;

constexpr int kStatsPerPractice = 50;

// What a fresh process finds in the three tables.
struct TState {
  int Practices = 0;
  int Stats = 0;
  std::string Problem;  // empty when whole
};

class TSave {
 public:
  explicit TSave(TDataDirectory* D) : Dir(D) {
    for (const char* N : {"practice", "stats", "results"}) {
      auto* C = new TDataCursor(Dir);
      C->SetTableName(N);
      C->Open();
      Cursors.push_back(C);
    }
  }
  ~TSave() {
    for (TDataCursor* C : Cursors) delete C;
  }
  TDataCursor* Practice() { return Cursors[0]; }
  TDataCursor* Stats() { return Cursors[1]; }
  TDataCursor* Results() { return Cursors[2]; }

  static int32_t Int(TDataCursor* C, int F, const uint8_t* B) {
    int32_t V = 0;
    bool Blank = true;
    C->GetField(F, B, Blank, &V);
    return Blank ? 0 : V;
  }
  static void PutInt(TDataCursor* C, int F, uint8_t* B, int32_t V) { C->PutField(F, B, false, &V); }

  // One save of a student: the practice row, its statistics rows, the results row raised by one.
  void Run(int32_t Student) {
    Dir->StartTransaction();
    try {
      TBuffer P(Practice()->RecordBufferSize);
      Practice()->InitRecord(P.data());
      PutInt(Practice(), 2, P.data(), Student);
      Practice()->InsertRecord(P.data(), false);
      const int32_t Id = Int(Practice(), 1, P.data());
      for (int K = 0; K < kStatsPerPractice; ++K) {
        TBuffer S(Stats()->RecordBufferSize);
        Stats()->InitRecord(S.data());
        PutInt(Stats(), 2, S.data(), Id);
        int16_t Key = static_cast<int16_t>(K);
        Stats()->PutField(3, S.data(), false, &Key);
        PutInt(Stats(), 4, S.data(), Student * 1000 + K);
        Stats()->InsertRecord(S.data(), false);
      }
      TBuffer R(Results()->RecordBufferSize);
      Results()->MoveToBegin();
      bool Found = false;
      while (Results()->GetNextRecord(R.data()) == 0)
        if (Int(Results(), 1, R.data()) == Student) {
          Found = true;
          break;
        }
      if (!Found) throw std::runtime_error("no results row");
      if (Results()->GetCurrentRecord(R.data(), true) != 0) throw std::runtime_error("results row not read");
      PutInt(Results(), 2, R.data(), Int(Results(), 2, R.data()) + 1);
      PutInt(Results(), 3, R.data(), Id);
      Results()->ModifyRecord(R.data(), true, false);
      Dir->Commit();
    } catch (...) {
      if (Dir->InTransaction) Dir->Rollback();
      throw;
    }
  }

  // Whether the tables hold whole saves only: every practice has its 50 statistics rows and no
  // statistics row another practice's id; each student's results row counts its practices and names
  // the last one; every table passes its checks.
  TState Read() {
    TState St;
    std::map<int32_t, int32_t> StudentOf;  // practice id -> student
    std::map<int32_t, int> Count;          // student -> practices
    std::map<int32_t, int32_t> Last;       // student -> highest practice id
    TBuffer B(Practice()->RecordBufferSize);
    Practice()->SetIndexNo(0);
    Practice()->MoveToBegin();
    while (Practice()->GetNextRecord(B.data()) == 0) {
      int32_t Id = Int(Practice(), 1, B.data()), S = Int(Practice(), 2, B.data());
      StudentOf[Id] = S;
      ++Count[S];
      Last[S] = std::max(Last[S], Id);
      ++St.Practices;
    }
    std::map<int32_t, std::set<int>> Keys;
    TBuffer S(Stats()->RecordBufferSize);
    Stats()->SetIndexName("BYPRACTICE");
    Stats()->MoveToBegin();
    while (Stats()->GetNextRecord(S.data()) == 0) {
      int32_t P = Int(Stats(), 2, S.data());
      int16_t K = 0;
      bool Blank;
      Stats()->GetField(3, S.data(), Blank, &K);
      auto It = StudentOf.find(P);
      if (It == StudentOf.end()) {
        St.Problem = "statistics row of practice " + std::to_string(P) + " that is not there";
        return St;
      }
      if (Int(Stats(), 4, S.data()) != It->second * 1000 + K) {
        St.Problem = "statistics row of practice " + std::to_string(P) + " holds another student's count";
        return St;
      }
      Keys[P].insert(K);
      ++St.Stats;
    }
    for (auto& [P, Student] : StudentOf)
      if (Keys[P].size() != static_cast<size_t>(kStatsPerPractice)) {
        St.Problem = "practice " + std::to_string(P) + " has " + std::to_string(Keys[P].size()) + " statistics rows";
        return St;
      }
    TBuffer R(Results()->RecordBufferSize);
    Results()->MoveToBegin();
    while (Results()->GetNextRecord(R.data()) == 0) {
      int32_t Student = Int(Results(), 1, R.data());
      if (Int(Results(), 2, R.data()) != Count[Student] || Int(Results(), 3, R.data()) != Last[Student]) {
        St.Problem = "results row of student " + std::to_string(Student) + " counts " +
                     std::to_string(Int(Results(), 2, R.data())) + " practices, the table holds " +
                     std::to_string(Count[Student]);
        return St;
      }
    }
    for (TDataCursor* C : Cursors) {
      TTableCheckResult Check;
      CheckOpenTable(C, Check);
      if (!Check.Problems.empty()) {
        St.Problem = C->TableName + ": " + Check.Problems.front();
        return St;
      }
    }
    return St;
  }

  TDataDirectory* Dir;
  std::vector<TDataCursor*> Cursors;
};

// A directory with the three tables, two students and one save each.
class CrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTableFilesFactory(MakeTableFiles);
    char Tmpl[] = "/tmp/vxcrash.XXXXXX";
    ASSERT_NE(mkdtemp(Tmpl), nullptr);
    Path = std::string(Tmpl) + "/";
    ASSERT_EQ(InChild([&](TDataDirectory* D) {
                auto Make = [&](const char* Name, TCreateTableParams P) {
                  cursortest::Number(P.Fields);
                  TDataCursor C(D);
                  C.SetTableName(Name);
                  C.SetExclusive(true);
                  C.CreateTable(std::move(P));
                };
                TCreateTableParams P;
                P.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("STUDENT", ftInteger)};
                P.Indexes = {Index("", {1}, true)};
                Make("practice", P);
                TCreateTableParams S;
                S.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("PRACTICE", ftInteger),
                            Field("KEY", ftSmallInt), Field("CNT", ftInteger)};
                S.Indexes = {Index("", {1}, true), Index("BYPRACTICE", {2, 3}, false)};
                Make("stats", S);
                TCreateTableParams R;
                R.Fields = {Field("STUDENT", ftInteger), Field("DONE", ftInteger), Field("LAST", ftInteger)};
                R.Indexes = {Index("", {1}, true)};
                Make("results", R);
                TSave Save(D);
                for (int32_t Student : {1, 2}) {
                  TBuffer B(Save.Results()->RecordBufferSize);
                  Save.Results()->InitRecord(B.data());
                  TSave::PutInt(Save.Results(), 1, B.data(), Student);
                  Save.Results()->InsertRecord(B.data(), false);
                }
                Save.Run(1);
                Save.Run(2);
                return 0;
              }),
              0);
    Snapshot = Files();
  }
  void TearDown() override {
    std::error_code E;
    std::filesystem::remove_all(Path, E);
  }

  // What a child's Body hands back through InChild's Text.
  static std::string& ChildOut() {
    static std::string S;
    return S;
  }
  // Runs Body in a forked child with its own session on the directory; returns the child's exit
  // status (Body's result; 100 + signal number when it was killed; 99 for an exception).
  int InChild(const std::function<int(TDataDirectory*)>& Body, std::string* Text = nullptr) {
    int Pipe[2];
    if (pipe(Pipe) != 0) return -1;
    pid_t Pid = fork();
    if (Pid == 0) {
      close(Pipe[0]);
      int Rc = 99;
      std::string Out;
      ChildOut().clear();
      try {
        auto* S = new TDataSession();
        S->LockRetryCount = 20;
        S->LockWaitTime = 5;
        TDataDirectory* D = S->OpenDirectory("db", Path);
        Rc = Body(D);
        Out = ChildOut();
      } catch (const std::exception& E) {
        Out = E.what();
        if (const auto* X = dynamic_cast<const EVXDBEngineError*>(&E)) Out = X->Message();
      }
      if (!Out.empty() && write(Pipe[1], Out.data(), Out.size()) < 0) Rc = 98;
      _exit(Rc);
    }
    close(Pipe[1]);
    std::string Got;
    char Buf[512];
    for (ssize_t N; (N = read(Pipe[0], Buf, sizeof(Buf))) > 0;) Got.append(Buf, static_cast<size_t>(N));
    close(Pipe[0]);
    int Status = 0;
    waitpid(Pid, &Status, 0);
    if (Text != nullptr) *Text = Got;
    if (WIFSIGNALED(Status)) return 100 + WTERMSIG(Status);
    return WEXITSTATUS(Status);
  }

  // Opens the tables in a fresh process: whole saves only, sound tables, and one more save works.
  // Returns the number of practices found first (-1 with Problem set when something is wrong).
  int Verify(std::string& Problem) {
    std::string Text;
    int Rc = InChild(
        [&](TDataDirectory* D) {
          TSave Save(D);
          TState A = Save.Read();
          std::string Out = A.Problem.empty() ? std::string() : "after the crash: " + A.Problem;
          if (Out.empty() && A.Stats != A.Practices * kStatsPerPractice) Out = "statistics rows without practice";
          if (Out.empty()) {
            Save.Run(1);
            TState B = Save.Read();
            if (!B.Problem.empty()) Out = "after the next save: " + B.Problem;
            else if (B.Practices != A.Practices + 1) Out = "the next save did not add its practice";
          }
          if (Out.empty() && InspectJournal(Path).Pending) Out = "a commit stays pending in the journal";
          if (!Out.empty()) throw std::runtime_error(Out);
          ChildOut() = "practices " + std::to_string(A.Practices);
          return 0;
        },
        &Text);
    if (Rc != 0 || Text.compare(0, 10, "practices ") != 0) {
      Problem = Text.empty() ? "checker ended with " + std::to_string(Rc) : Text;
      return -1;
    }
    Problem.clear();
    return std::stoi(Text.substr(10));
  }

  std::map<std::string, std::vector<char>> Files() {
    std::map<std::string, std::vector<char>> M;
    for (const auto& E : std::filesystem::directory_iterator(Path)) {
      std::FILE* F = std::fopen(E.path().c_str(), "rb");
      std::vector<char> B(static_cast<size_t>(std::filesystem::file_size(E.path())));
      if (!B.empty() && std::fread(B.data(), 1, B.size(), F) != B.size()) B.clear();
      std::fclose(F);
      M[E.path().filename().string()] = std::move(B);
    }
    return M;
  }
  void Restore() {
    for (const auto& E : std::filesystem::directory_iterator(Path)) std::filesystem::remove(E.path());
    for (const auto& [Name, Bytes] : Snapshot) {
      std::FILE* F = std::fopen((Path + Name).c_str(), "wb");
      if (!Bytes.empty()) std::fwrite(Bytes.data(), 1, Bytes.size(), F);
      std::fclose(F);
    }
  }

  std::string Path;
  std::map<std::string, std::vector<char>> Snapshot;
};

// Fault injection in the file layer: the At-th write or sync (counted from Arm) ends the process,
// fails, or cuts the power (unsynced writes dropped, then the process ends); Count only counts.
enum class TFault { Count, Exit, Error, PowerCut };
inline std::atomic<int> GOps{0};
inline int GFailAt = 0;
inline TFault GFault = TFault::Count;

inline int Hook(TDiskOp, const char*) {
  const int N = ++GOps;
  if (N != GFailAt) return 0;
  switch (GFault) {
    case TFault::Exit: _exit(42);
    case TFault::PowerCut: DropUnsyncedWrites(); _exit(42);
    case TFault::Error: return -EIO;
    case TFault::Count: break;
  }
  return 0;
}

inline void Arm(TFault F, int At) {
  GOps = 0;
  GFault = F;
  GFailAt = At;
  if (F == TFault::PowerCut) KeepUnsyncedWrites(true);
  SetDiskFaultHook(Hook);
}

// Records the name (within its directory) of every file synced from now on, in order, until the
// hook is taken away (syncs may come from several threads at once).
inline std::vector<std::string>& RecordSyncs() {
  static std::mutex Lock;
  static std::vector<std::string> Synced;
  Synced.clear();
  SetDiskFaultHook([](TDiskOp Op, const char* P) {
    std::lock_guard<std::mutex> G(Lock);
    if (Op == TDiskOp::Sync) Synced.push_back(JournalFileName(P));
    return 0;
  });
  return Synced;
}

}  // namespace crashtest
