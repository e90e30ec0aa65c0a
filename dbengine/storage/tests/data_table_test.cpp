#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <functional>
#include <string>

#include "dbengine/storage/data_session.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/tests/cursor_test_files.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
}

// A second process that works on the same table through its own session and answers commands
// one at a time. It must be started before the test process opens the table, so that the two do
// not share an open file description (whose byte-range locks never conflict with each other).
class TPeer {
 public:
  explicit TPeer(const std::string& Dir) {
    if (pipe(FToParent) != 0 || pipe(FToChild) != 0) return;
    Pid = fork();
    if (Pid == 0) {
      close(FToParent[0]);
      close(FToChild[1]);
      Serve(Dir);
      _exit(0);
    }
    close(FToParent[1]);
    close(FToChild[0]);
  }
  ~TPeer() {
    if (Pid > 0) {
      Do('Q');
      Wait();
    }
    close(FToChild[1]);
    close(FToParent[0]);
  }
  // Sends one command and returns the answer: 'y' done, 'n' refused or failed, 0 when gone.
  char Do(char Command, int32_t N = 0) {
    char Msg[5] = {Command};
    std::memcpy(Msg + 1, &N, 4);
    if (write(FToChild[1], Msg, 5) != 5) return 0;
    char C = 0;
    if (read(FToParent[0], &C, 1) != 1) return 0;
    return C;
  }
  int Wait() {
    int Status = 0;
    if (Pid > 0 && waitpid(Pid, &Status, 0) == Pid) Pid = -1;
    return Status;
  }
  void Kill() {
    kill(Pid, SIGKILL);
    Wait();
  }
  pid_t Pid = -1;

 private:
  void Serve(const std::string& Dir) {
    TDataSession S;
    S.LockRetryCount = 0;
    S.LockWaitTime = 1;
    TDataDirectory* D = S.OpenDirectory("db", Dir);
    TDataTable* T = nullptr;
    D->OpenTable("shared", T, false, false, false, false, false);
    T->FileLockRetries = 0;
    for (;;) {
      char Msg[5];
      if (read(FToChild[0], Msg, 5) != 5) break;
      int32_t N;
      std::memcpy(&N, Msg + 1, 4);
      char Answer = 'y';
      try {
        switch (Msg[0]) {
          case 'L': T->LockRecord(N); break;
          case 'U': T->UnlockRecord(N); break;
          case 'T': Answer = T->LockSlot(N) ? 'y' : 'n'; break;
          case 't': Answer = T->UnlockSlot(N) ? 'y' : 'n'; break;
          case 'S': T->StartTransaction(); break;
          case 'C': T->Commit(true); break;
          case 'R': T->Rollback(); break;
          case 'A': TestFiles(T)->AddRecords(N); break;
          case 'W': T->WriteLock(); break;
          case 'w': T->WriteUnlock(); break;
          case 'P':
            T->WriteLock();
            T->Files->WriteAll();
            T->WriteUnlock();
            break;
          case 'Q':
            D->CloseTable(T, false);
            (void)!write(FToParent[1], &Answer, 1);
            return;
        }
      } catch (const EVXDBEngineError&) {
        Answer = 'n';
      }
      (void)!write(FToParent[1], &Answer, 1);
    }
  }
  int FToParent[2] = {-1, -1};
  int FToChild[2] = {-1, -1};
};

class DataTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTableFilesFactory(MakeTestTableFiles);
    char Tmpl[] = "/tmp/vxtbl.XXXXXX";
    ASSERT_NE(mkdtemp(Tmpl), nullptr);
    Dir = std::string(Tmpl) + "/";
    Session = new TDataSession();
    Session->LockRetryCount = 3;
    Session->LockWaitTime = 10;
    Directory = Session->OpenDirectory("db", Dir);
    TTableDefinition Def;
    Def.Fields.resize(2);
    Def.Fields[0].fill(0);
    Def.Fields[1].fill(0);
    Def.Fields[1][84] = 3;  // with a BLOB file
    TDataTable* T = nullptr;
    ASSERT_EQ(Directory->CreateTable("shared", T, false, false, Def), 0);
    ASSERT_EQ(Directory->CloseTable(T, false), 0);
  }
  void TearDown() override {
    delete Session;
    fs::remove_all(Dir);
  }
  TDataTable* Open() {
    TDataTable* T = nullptr;
    EXPECT_EQ(Directory->OpenTable("shared", T, false, false, false, false, false), 0);
    return T;
  }
  static uint16_t CodeOf(const std::function<void()>& F) {
    try {
      F();
    } catch (const EVXDBEngineError& E) {
      return E.ErrorCode();
    }
    return 0;
  }
  std::string Dir;
  TDataSession* Session = nullptr;
  TDataDirectory* Directory = nullptr;
};

TEST_F(DataTableTest, RecordLockHeldByAnotherProcessFailsAfterTheRetries) {
  TPeer Peer(Dir);
  ASSERT_EQ(Peer.Do('L', 5), 'y');
  ASSERT_EQ(Peer.Do('T', 1), 'y');
  TDataTable* T = Open();
  for (int Retries : {0, 1, 3}) {
    Session->LockRetryCount = static_cast<uint8_t>(Retries);
    EXPECT_EQ(CodeOf([&] { T->LockRecord(5); }), ecRecordLocked) << Retries;
    EXPECT_EQ(T->LastLockAttempts, Retries + 1);
    EXPECT_FALSE(T->IsRecordLocked(5));
    EXPECT_FALSE(T->LockSlot(1));
    EXPECT_EQ(T->LastLockAttempts, Retries + 1);
  }
  EXPECT_TRUE(T->TestRecordLock(5));
  EXPECT_FALSE(T->TestRecordLock(6));
  // Another record is free, and the test of record 6 did not keep it.
  EXPECT_NO_THROW(T->LockRecord(6));
  EXPECT_TRUE(T->IsRecordLocked(6));
  EXPECT_EQ(Peer.Do('L', 6), 'n');
  ASSERT_EQ(Peer.Do('U', 5), 'y');
  ASSERT_EQ(Peer.Do('t', 1), 'y');
  EXPECT_NO_THROW(T->LockRecord(5));
  EXPECT_EQ(T->LastLockAttempts, 1);
  EXPECT_TRUE(T->LockSlot(1));
  EXPECT_EQ(Peer.Do('T', 1), 'n');
  EXPECT_TRUE(T->UnlockSlot(1));
  T->UnlockRecord(5);
  T->UnlockRecord(6);
  EXPECT_EQ(Peer.Do('L', 6), 'y');
  Directory->CloseTable(T, false);
}

TEST_F(DataTableTest, RecordLocksDieWithTheirProcess) {
  TPeer Peer(Dir);
  ASSERT_EQ(Peer.Do('L', 9), 'y');
  TDataTable* T = Open();
  EXPECT_EQ(CodeOf([&] { T->LockRecord(9); }), ecRecordLocked);
  Peer.Kill();
  EXPECT_NO_THROW(T->LockRecord(9));
  T->UnlockRecord(9);
  Directory->CloseTable(T, false);
}

TEST_F(DataTableTest, InvalidNumbersAndUnlockWithoutLock) {
  TDataTable* T = Open();
  EXPECT_EQ(CodeOf([&] { T->LockRecord(0); }), ecRecordLocked);
  EXPECT_EQ(CodeOf([&] { T->UnlockRecord(0); }), ecCannotUnlock);
  EXPECT_EQ(CodeOf([&] { T->UnlockRecord(4); }), ecCannotUnlock);
  EXPECT_FALSE(T->LockSlot(0));
  EXPECT_FALSE(T->LockSlot(1025));
  EXPECT_FALSE(T->UnlockSlot(0));
  EXPECT_FALSE(T->UnlockSlot(1025));
  EXPECT_FALSE(T->TestRecordLock(0));
  EXPECT_TRUE(T->LockSlot(1024));
  EXPECT_TRUE(T->UnlockSlot(1024));
  EXPECT_FALSE(T->UnlockSlot(1024));  // not held any more
  Directory->CloseTable(T, false);
}

TEST_F(DataTableTest, TwoSessionsOfOneProcessExcludeEachOther) {
  TDataTable* T = Open();
  TDataSession Other;
  Other.LockRetryCount = 1;
  Other.LockWaitTime = 5;
  TDataDirectory* D2 = Other.OpenDirectory("db2", Dir);
  TDataTable* T2 = nullptr;
  ASSERT_EQ(D2->OpenTable("shared", T2, false, false, false, false, false), 0);
  ASSERT_NE(T, T2);
  T->LockRecord(7);
  EXPECT_EQ(CodeOf([&] { T2->LockRecord(7); }), ecRecordLocked);
  EXPECT_TRUE(T2->TestRecordLock(7));
  // The lock test of the other session never releases this session's lock.
  EXPECT_EQ(CodeOf([&] { T2->LockRecord(7); }), ecRecordLocked);
  T->UnlockRecord(7);
  EXPECT_NO_THROW(T2->LockRecord(7));
  T2->UnlockRecord(7);
  D2->CloseTable(T2, false);
  Directory->CloseTable(T, false);
}

TEST_F(DataTableTest, ChangeCheckLockIsReleasedBeforeTheRecordLockReturns) {
  TPeer Peer(Dir);
  ASSERT_EQ(Peer.Do('L', 4), 'y');
  TDataTable* T = Open();
  T->FileLockRetries = 0;  // a writer lock that collided with our own reader byte would fail at once
  T->LockRecord(3);
  EXPECT_FALSE(T->ChangeCheckLocked);
  EXPECT_NO_THROW(T->WriteLock());
  T->WriteUnlock();
  // Also when the record lock fails.
  EXPECT_EQ(CodeOf([&] { T->LockRecord(4); }), ecRecordLocked);
  EXPECT_FALSE(T->ChangeCheckLocked);
  EXPECT_NO_THROW(T->WriteLock());
  // Our writer range keeps the other process's writer out.
  EXPECT_EQ(Peer.Do('W'), 'n');
  T->WriteUnlock();
  EXPECT_EQ(Peer.Do('W'), 'y');
  EXPECT_EQ(Peer.Do('w'), 'y');
  T->UnlockRecord(3);
  Directory->CloseTable(T, false);
}

TEST_F(DataTableTest, ChangesOfAnotherProcessAreSeenAtTheNextLock) {
  TPeer Peer(Dir);
  TDataTable* T = Open();
  // Both kinds of change detection see the other process's insert at their next lock.
  for (bool Strict : {false, true}) {
    Session->StrictChangeDetection = Strict;
    int32_t Before = T->Files->RecordCount();
    ASSERT_EQ(Peer.Do('A', 1), 'y');
    ASSERT_EQ(Peer.Do('P'), 'y');
    EXPECT_EQ(T->Files->RecordCount(), Before);  // nothing is read without a lock
    bool Changed = Strict ? T->ReadLock() : T->LockRecord(1);
    EXPECT_TRUE(Changed) << Strict;
    EXPECT_EQ(T->Files->RecordCount(), Before + 1);
    if (Strict)
      T->ReadUnlock();
    else
      T->UnlockRecord(1);
    EXPECT_FALSE(T->ReadLock());  // nothing new since
    T->ReadUnlock();
  }
  Directory->CloseTable(T, false);
}

TEST_F(DataTableTest, CommitPublishesAndRollbackLeavesNothing) {
  TPeer Peer(Dir);
  TDataTable* T = Open();
  T->FileLockRetries = 2;
  ASSERT_EQ(Peer.Do('S'), 'y');
  ASSERT_EQ(Peer.Do('A', 10), 'y');
  ASSERT_EQ(Peer.Do('L', 1), 'y');
  ASSERT_EQ(Peer.Do('U', 1), 'y');  // pending until the end of the transaction
  EXPECT_FALSE(T->ReadLock());
  EXPECT_EQ(T->Files->RecordCount(), 0);
  T->ReadUnlock();
  // The transaction's header byte keeps writers out, and its record locks stay.
  EXPECT_EQ(CodeOf([&] { T->WriteLock(); }), ecLockFailure);
  EXPECT_FALSE(T->WriteLocked);
  EXPECT_TRUE(T->TestRecordLock(1));
  ASSERT_EQ(Peer.Do('C'), 'y');
  EXPECT_FALSE(T->TestRecordLock(1));
  EXPECT_TRUE(T->ReadLock());
  EXPECT_EQ(T->Files->RecordCount(), 10);
  T->ReadUnlock();
  ASSERT_EQ(Peer.Do('S'), 'y');
  ASSERT_EQ(Peer.Do('A', 100), 'y');
  ASSERT_EQ(Peer.Do('R'), 'y');
  EXPECT_FALSE(T->ReadLock());
  EXPECT_EQ(T->Files->RecordCount(), 10);
  T->ReadUnlock();
  EXPECT_NO_THROW(T->WriteLock());
  T->WriteUnlock();
  Directory->CloseTable(T, false);
}

TEST_F(DataTableTest, KilledTransactionLeavesTheFilesAsTheyWereAndEveryLockFree) {
  std::string Dat = ReadAll(Dir + "shared.DAT");
  std::string Idx = ReadAll(Dir + "shared.IDX");
  std::string Blb = ReadAll(Dir + "shared.BLB");
  ASSERT_FALSE(Dat.empty());
  TPeer Peer(Dir);
  ASSERT_EQ(Peer.Do('S'), 'y');
  for (int I = 1; I <= 50; ++I) ASSERT_EQ(Peer.Do('L', I), 'y');
  ASSERT_EQ(Peer.Do('A', 10000), 'y');
  ASSERT_EQ(Peer.Do('W'), 'y');
  Peer.Kill();
  EXPECT_EQ(ReadAll(Dir + "shared.DAT"), Dat);
  EXPECT_EQ(ReadAll(Dir + "shared.IDX"), Idx);
  EXPECT_EQ(ReadAll(Dir + "shared.BLB"), Blb);
  TDataTable* T = Open();
  T->FileLockRetries = 0;
  Session->LockRetryCount = 0;
  EXPECT_NO_THROW(T->StartTransaction());
  for (int I = 1; I <= 50; ++I) EXPECT_NO_THROW(T->LockRecord(I)) << I;
  EXPECT_NO_THROW(T->Commit(true));
  EXPECT_EQ(T->Files->RecordCount(), 0);
  Directory->CloseTable(T, false);
}

TEST_F(DataTableTest, UnlocksInsideATransactionWaitForItsEnd) {
  TPeer Peer(Dir);
  TDataTable* T = Open();
  T->StartTransaction();
  T->LockRecord(2);
  T->LockRecord(3);
  T->UnlockRecord(2);
  EXPECT_TRUE(T->IsRecordLocked(2));
  // The same record again inside the transaction: no second lock, and no longer pending.
  T->UnlockRecord(3);
  EXPECT_NO_THROW(T->LockRecord(3));
  EXPECT_EQ(Peer.Do('L', 2), 'n');
  EXPECT_EQ(Peer.Do('L', 3), 'n');
  // An interval commit releases the pending unlock (record 2) and keeps the header lock.
  T->Commit(false);
  EXPECT_TRUE(T->InTransaction);
  EXPECT_TRUE(T->HeaderLocked);
  EXPECT_FALSE(T->IsRecordLocked(2));
  EXPECT_TRUE(T->IsRecordLocked(3));
  EXPECT_EQ(Peer.Do('L', 2), 'y');
  EXPECT_EQ(Peer.Do('U', 2), 'y');
  EXPECT_EQ(Peer.Do('L', 3), 'n');
  EXPECT_EQ(Peer.Do('S'), 'n');  // the header byte is still ours
  T->UnlockRecord(3);
  T->Commit(true);
  EXPECT_FALSE(T->HeaderLocked);
  EXPECT_FALSE(T->IsRecordLocked(3));
  EXPECT_EQ(Peer.Do('L', 3), 'y');
  EXPECT_EQ(Peer.Do('S'), 'y');
  EXPECT_EQ(Peer.Do('R'), 'y');
  Directory->CloseTable(T, false);
}

TEST_F(DataTableTest, AbandonedChangesNeverReachTheFiles) {
  TDataTable* T = Open();
  std::string Dat = ReadAll(Dir + "shared.DAT");
  T->WriteLock();
  TestFiles(T)->AddRecords(4);
  T->AbandonChanges();
  T->WriteUnlock();
  EXPECT_EQ(T->Files->RecordCount(), 0);
  T->Files->WriteAll();
  EXPECT_EQ(ReadAll(Dir + "shared.DAT"), Dat);
  Directory->CloseTable(T, false);
}

TEST_F(DataTableTest, ExclusiveTablesTakeNoFileLocks) {
  TDataTable* T = nullptr;
  ASSERT_EQ(Directory->OpenTable("shared", T, false, false, false, false, true), 0);
  EXPECT_FALSE(T->LockRecord(8));
  EXPECT_FALSE(T->ReadLock());
  EXPECT_FALSE(T->WriteLock());
  EXPECT_TRUE(T->DataHandler()->FileObject->LockRanges.empty());
  EXPECT_TRUE(T->IndexHandler()->FileObject->LockRanges.empty());
  T->UnlockRecord(8);
  Directory->CloseTable(T, false);
}

}  // namespace
