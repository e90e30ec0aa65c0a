#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "dbengine/storage/data_session.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/tests/cursor_test_files.h"

namespace {

namespace fs = std::filesystem;

std::string MakeTempDir(const char* Base = "/tmp") {
  std::string T = std::string(Base) + "/vxses.XXXXXX";
  std::vector<char> Buf(T.begin(), T.end());
  Buf.push_back(0);
  if (mkdtemp(Buf.data()) == nullptr) return std::string();
  return std::string(Buf.data()) + "/";
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTableFilesFactory(MakeTestTableFiles);
    Dir = MakeTempDir();
    ASSERT_FALSE(Dir.empty());
    Session = new TDataSession();
  }
  void TearDown() override {
    delete Session;
    fs::remove_all(Dir);
  }
  TTableDefinition Definition(bool Blobs = false) {
    TTableDefinition D;
    D.Fields.resize(1);
    D.Fields[0].fill(0);
    D.Fields[0][84] = Blobs ? 3 : 6;
    return D;
  }
  // Creates a table and closes it again.
  void Create(TDataDirectory* D, const std::string& Name, bool InMemory = false, bool Blobs = false) {
    TDataTable* T = nullptr;
    ASSERT_EQ(D->CreateTable(Name, T, false, InMemory, Definition(Blobs)), 0);
    ASSERT_EQ(D->CloseTable(T, false), 0);
  }
  std::string Dir;
  TDataSession* Session = nullptr;
};

TEST(EngineState, CurrentSessionNeedsTheEngineAndFollowsStartAndStop) {
  StopEngine();
  try {
    CurrentSession();
    FAIL() << "no error before the start";
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), ecNotInitialized);
    EXPECT_EQ(E.Message(), "VXDB Engine Error # 10758 Engine not initialized");
  }
  StartEngine();
  TDataSession* Global = CurrentSession();
  ASSERT_NE(Global, nullptr);
  StartEngine();  // a second start changes nothing
  EXPECT_EQ(CurrentSession(), Global);
  TDataSession* Own = nullptr;
  NewSession(Own);
  SetCurrentSession(Own);
  EXPECT_EQ(CurrentSession(), Own);
  EXPECT_EQ(Own->LockRetryCount, 15);
  EXPECT_EQ(Own->LockWaitTime, 100);
  EXPECT_FALSE(Own->StrictChangeDetection);
  EXPECT_FALSE(Own->ForceBufferFlush);
  FreeSession(Own);
  EXPECT_EQ(Own, nullptr);
  EXPECT_EQ(CurrentSession(), Global);
  TDataSession* None = nullptr;
  FreeSession(None);  // ignored
  StopEngine();
  EXPECT_THROW(CurrentSession(), EVXDBEngineError);
}

TEST_F(SessionTest, PasswordsPrivateDirectoryAndStartDirectory) {
  EXPECT_EQ(Session->StartDirectory.back(), '/');
  EXPECT_EQ(Session->GetPrivateDir(), Session->StartDirectory);
  Session->SetPrivateDir("  " + Dir.substr(0, Dir.size() - 1) + " ");
  EXPECT_EQ(Session->GetPrivateDir(), Dir);
  Session->SetPrivateDir("");
  EXPECT_EQ(Session->GetPrivateDir(), Dir);

  Session->AddPassword("Secret");
  Session->AddPassword("secret");
  Session->AddPassword("Secret");
  Session->AddPassword("");
  EXPECT_EQ(Session->Passwords.size(), 2u);
  EXPECT_TRUE(Session->HasPassword("secret"));
  EXPECT_FALSE(Session->HasPassword("SECRET"));
  Session->RemovePassword("SECRET");
  EXPECT_EQ(Session->Passwords.size(), 2u);
  Session->RemovePassword("Secret");
  EXPECT_FALSE(Session->HasPassword("Secret"));
  EXPECT_TRUE(Session->HasPassword("secret"));
  Session->RemoveAllPasswords();
  EXPECT_TRUE(Session->Passwords.empty());
}

TEST_F(SessionTest, DirectoriesAreSharedByTheirUniversalPath) {
  TDataDirectory* M1 = Session->OpenDirectory("memory", "/anything");
  TDataDirectory* M2 = Session->OpenDirectory("MEMORY", "");
  EXPECT_EQ(M1, M2);
  EXPECT_EQ(M1->RefCount, 2u);
  EXPECT_TRUE(M1->Path.empty());
  EXPECT_TRUE(M1->UniversalPath.empty());

  fs::create_directory(Dir + "sub");
  fs::create_symlink(Dir + "sub", Dir + "link");
  TDataDirectory* A = Session->OpenDirectory("db", Dir + "sub");
  TDataDirectory* B = Session->OpenDirectory("other", Dir + "link/");
  TDataDirectory* C = Session->OpenDirectory("third", Dir + "sub/../sub//");
  EXPECT_EQ(A, B);
  EXPECT_EQ(A, C);
  EXPECT_EQ(A->RefCount, 3u);
  EXPECT_EQ(A->Path, Dir + "sub/");
  EXPECT_NE(A, M1);

  TDataDirectory* Cwd = Session->OpenDirectory("db", "");
  EXPECT_EQ(Cwd->Path, Session->StartDirectory);

  EXPECT_EQ(Session->CloseDirectory(A), 0);
  EXPECT_EQ(Session->CloseDirectory(A), 0);
  EXPECT_EQ(Session->CloseDirectory(A), 0);  // freed now
  TDataDirectory Stranger;
  EXPECT_EQ(Session->CloseDirectory(&Stranger), -ecAccessDenied);
  EXPECT_EQ(Session->Directories.size(), 2u);
}

TEST_F(SessionTest, OpenTableSharesOneTableAndRefusesExclusiveConflicts) {
  TDataDirectory* D = Session->OpenDirectory("db", Dir);
  Create(D, "student");
  TDataTable* T1 = nullptr;
  TDataTable* T2 = nullptr;
  ASSERT_EQ(D->OpenTable("STUDENT.dat", T1, false, false, false, false, false), 0);
  ASSERT_EQ(D->OpenTable(" student ", T2, false, false, false, false, false), 0);
  EXPECT_EQ(T1, T2);
  EXPECT_EQ(T1->RefCount, 2);
  TDataTable* T3 = nullptr;
  EXPECT_EQ(D->OpenTable("student", T3, false, false, false, false, true), -ecAccessDenied);
  EXPECT_EQ(D->OpenTable("student", T3, false, false, false, true, true), 0);  // forced (a clone)
  EXPECT_EQ(T1->RefCount, 3);
  // Renaming or deleting an open table is refused.
  EXPECT_EQ(D->RenameTable("student", "pupil", false, false), -ecAccessDenied);
  EXPECT_EQ(D->DeleteTable("student", false), -ecAccessDenied);
  for (int I = 0; I < 3; ++I) EXPECT_EQ(D->CloseTable(T1, false), 0);
  EXPECT_TRUE(D->Tables.empty());
  EXPECT_EQ(D->CloseTable(T1, false), -ecInvalidPath);  // no longer listed
  // A table opened exclusively refuses a shared open.
  ASSERT_EQ(D->OpenTable("student", T1, false, false, false, false, true), 0);
  EXPECT_EQ(D->OpenTable("student", T2, false, false, false, false, false), -ecAccessDenied);
  EXPECT_EQ(D->CloseTable(T1, false), 0);
}

TEST_F(SessionTest, MissingIndexFileIsRecreatedAndAMissingTableFails) {
  TDataDirectory* D = Session->OpenDirectory("db", Dir);
  Create(D, "lesson");
  ASSERT_TRUE(fs::remove(Dir + "lesson.IDX"));
  TDataTable* T = nullptr;
  ASSERT_EQ(D->OpenTable("lesson", T, false, false, false, false, false), 0);
  EXPECT_TRUE(T->IndexRecreated);
  EXPECT_TRUE(fs::exists(Dir + "lesson.IDX"));
  T->CheckVersion();
  EXPECT_EQ(D->CloseTable(T, false), 0);

  try {
    D->OpenTable("nothere", T, false, false, false, false, false);
    FAIL() << "opened a missing table";
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), ecInvalidPath);
  }
  // The failed table stays listed for the caller's CloseTable, which removes it.
  ASSERT_EQ(D->Tables.size(), 1u);
  EXPECT_EQ(D->CloseTable(D->Tables[0], false), 0);
  EXPECT_TRUE(D->Tables.empty());
}

TEST_F(SessionTest, TableExistsRenameAndDeleteOnDiskAndInMemory) {
  TDataDirectory* D = Session->OpenDirectory("db", Dir);
  TDataDirectory* M = Session->OpenDirectory("MEMORY", "");
  Create(D, "course", false, true);
  Create(M, "course", true, true);
  EXPECT_TRUE(fs::exists(Dir + "course.BLB"));
  EXPECT_TRUE(D->TableExists("Course", false));
  EXPECT_TRUE(M->TableExists("course.dat", true));
  EXPECT_FALSE(M->TableExists("other", true));

  EXPECT_EQ(D->RenameTable("course", "lessons", false, false), 0);
  EXPECT_FALSE(D->TableExists("course", false));
  EXPECT_TRUE(fs::exists(Dir + "lessons.DAT"));
  EXPECT_TRUE(fs::exists(Dir + "lessons.IDX"));
  EXPECT_TRUE(fs::exists(Dir + "lessons.BLB"));
  EXPECT_EQ(D->RenameTable("lessons", "lessons", true, false), 0);
  EXPECT_TRUE(fs::exists(Dir + "lessons.DBK"));
  EXPECT_TRUE(fs::exists(Dir + "lessons.IBK"));
  EXPECT_TRUE(fs::exists(Dir + "lessons.BBK"));

  EXPECT_EQ(M->RenameTable("course", "memcopy", false, true), 0);
  EXPECT_TRUE(M->TableExists("memcopy", true));
  EXPECT_FALSE(M->TableExists("course", true));
  EXPECT_EQ(M->DeleteTable("memcopy", true), 0);
  EXPECT_FALSE(M->TableExists("memcopy", true));
}

TEST_F(SessionTest, InMemoryTablesOutliveTheirLastCursor) {
  TDataDirectory* M = Session->OpenDirectory("MEMORY", "");
  Create(M, "scratch", true);
  TDataTable* T = nullptr;
  ASSERT_EQ(M->OpenTable("scratch", T, false, false, true, false, false), 0);
  TestFiles(T)->AddRecords(3);
  T->Files->WriteAll();
  EXPECT_EQ(M->CloseTable(T, false), 0);
  EXPECT_TRUE(M->TableExists("scratch", true));
  ASSERT_EQ(M->OpenTable("scratch", T, false, false, true, false, false), 0);
  EXPECT_EQ(T->Files->RecordCount(), 3);
  EXPECT_EQ(M->CloseTable(T, false), 0);
  EXPECT_EQ(M->DeleteTable("scratch", true), 0);
}

TEST_F(SessionTest, TempTableNamesStartWithThreadDigitsAndSkipTakenNumbers) {
  TDataDirectory* D = Session->OpenDirectory("db", Dir);
  std::string Prefix = TempNamePrefix();
  ASSERT_EQ(Prefix.size(), 5u);  // also for short thread ids
  std::string Name;
  D->GetTempTableName(false, Name);
  EXPECT_EQ(Name, Prefix + "0.DAT");
  EXPECT_TRUE(IsTempTableFileName(Name));
  Create(D, Name);
  D->GetTempTableName(false, Name);
  EXPECT_EQ(Name, Prefix + "1.DAT");
  TDataDirectory* M = Session->OpenDirectory("MEMORY", "");
  M->GetTempTableName(true, Name);
  EXPECT_EQ(Name, Prefix + "0.DAT");
}

TEST_F(SessionTest, TransactionsSpanTheDirectoryAndKeepClosedTablesUntilTheEnd) {
  TDataDirectory* D = Session->OpenDirectory("db", Dir);
  Create(D, "a");
  Create(D, "b");
  TDataTable* A = nullptr;
  TDataTable* B = nullptr;
  ASSERT_EQ(D->OpenTable("a", A, false, false, false, false, false), 0);
  EXPECT_EQ(D->StartTransaction(), nullptr);
  EXPECT_EQ(D->StartTransaction(), D);
  ASSERT_EQ(D->OpenTable("b", B, false, false, false, false, false), 0);
  EXPECT_TRUE(A->InTransaction);
  EXPECT_TRUE(B->InTransaction);  // joined the active transaction
  TestFiles(A)->AddRecords(2);
  TestFiles(B)->AddRecords(5);
  EXPECT_EQ(D->CloseTable(B, false), 0);
  ASSERT_EQ(D->Tables.size(), 2u);  // kept, closed, until the transaction ends
  D->Commit();
  EXPECT_FALSE(D->InTransaction);
  ASSERT_EQ(D->Tables.size(), 1u);
  EXPECT_EQ(D->Tables[0], A);
  EXPECT_FALSE(A->InTransaction);
  ASSERT_EQ(D->OpenTable("b", B, false, false, false, false, false), 0);
  EXPECT_EQ(B->Files->RecordCount(), 5);
  EXPECT_EQ(A->Files->RecordCount(), 2);

  D->StartTransaction();
  TestFiles(A)->AddRecords(7);
  D->Rollback();
  EXPECT_EQ(A->Files->RecordCount(), 2);
  EXPECT_EQ(D->CloseTable(A, false), 0);
  EXPECT_EQ(D->CloseTable(B, false), 0);
}

TEST_F(SessionTest, CreateTableRefusesAnOpenTableAndLeavesNothingOnFailure) {
  TDataDirectory* D = Session->OpenDirectory("db", Dir);
  Create(D, "x");
  TDataTable* T = nullptr;
  ASSERT_EQ(D->OpenTable("x", T, false, false, false, false, false), 0);
  TDataTable* N = nullptr;
  EXPECT_EQ(D->CreateTable("x", N, false, false, Definition()), -ecAccessDenied);
  EXPECT_EQ(D->CloseTable(T, false), 0);

  // A failing file set: the BLOB file cannot be made because a directory has its name.
  fs::create_directory(Dir + "Y.BLB");
  EXPECT_THROW(D->CreateTable("y", N, false, false, Definition(true)), EVXDBEngineError);
  EXPECT_FALSE(fs::exists(Dir + "Y.DAT"));
  EXPECT_FALSE(fs::exists(Dir + "Y.IDX"));
  EXPECT_TRUE(D->Tables.empty());
}

// ---- Stale temporary tables and moves across file systems ----

void Touch(const std::string& Path, time_t Mtime) {
  std::ofstream(Path) << "x";
  struct utimbuf U = {Mtime, Mtime};
  utime(Path.c_str(), &U);
}

TEST_F(SessionTest, SweepRemovesOnlyOldUnusedTemporaryTables) {
  const struct {
    const char* Name;
    bool Old;
    bool Removed;
  } Cases[] = {
      {"123450.DAT", true, true},   {"1234512.IDX", true, true}, {"123459.blb", true, true},
      {"123450.TXT", true, false},  {"12345.DAT", true, false},   {"student.DAT", true, false},
      {"1234a0.DAT", true, false},  {"543210.DAT", false, false},
  };
  time_t Now = time(nullptr);
  for (const auto& C : Cases) Touch(Dir + C.Name, C.Old ? Now - 3600 : Now + 60);
  // A live process holding an old temporary table open keeps it.
  Touch(Dir + "999990.DAT", Now - 3600);
  int Ready[2], Done[2];
  ASSERT_EQ(pipe(Ready), 0);
  ASSERT_EQ(pipe(Done), 0);
  pid_t Child = fork();
  if (Child == 0) {
    TAbstractFile* F = nullptr;
    bool Ro = false;
    int H = EngineFileList().FileOpen(Dir + "999990.DAT", false, false, false, false, false, Ro, F);
    char C = H > 0 ? 'y' : 'n';
    (void)!write(Ready[1], &C, 1);
    (void)!read(Done[0], &C, 1);
    _exit(0);
  }
  char C = 0;
  ASSERT_EQ(read(Ready[0], &C, 1), 1);
  ASSERT_EQ(C, 'y');
  EXPECT_EQ(SweepStaleTempTables(Dir, Now), 3);
  for (const auto& Case : Cases) EXPECT_EQ(fs::exists(Dir + Case.Name), !Case.Removed) << Case.Name;
  EXPECT_TRUE(fs::exists(Dir + "999990.DAT"));
  (void)!write(Done[1], &C, 1);
  int Status = 0;
  waitpid(Child, &Status, 0);
  EXPECT_EQ(SweepStaleTempTables(Dir, Now), 1);  // its holder is gone now
  EXPECT_FALSE(fs::exists(Dir + "999990.DAT"));
}

TEST_F(SessionTest, RenameIntoAnotherFileSystemCopiesTheTable) {
  std::string Other = MakeTempDir("/dev/shm");
  if (Other.empty()) GTEST_SKIP() << "no second file system";
  struct stat A, B;
  ASSERT_EQ(stat(Dir.c_str(), &A), 0);
  ASSERT_EQ(stat(Other.c_str(), &B), 0);
  if (A.st_dev == B.st_dev) {
    fs::remove_all(Other);
    GTEST_SKIP() << "both folders on one file system";
  }
  std::string Payload(200000, '\0');
  for (size_t I = 0; I < Payload.size(); ++I) Payload[I] = static_cast<char>(I * 31 % 251);
  std::ofstream(Other + "RESULT.DAT", std::ios::binary) << Payload;
  EXPECT_EQ(MoveTableFile(Other + "RESULT.DAT", Dir + "KEPT.DAT"), 0);
  EXPECT_FALSE(fs::exists(Other + "RESULT.DAT"));
  std::ifstream In(Dir + "KEPT.DAT", std::ios::binary);
  std::string Got((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  EXPECT_EQ(Got, Payload);
  // Never over an existing file.
  std::ofstream(Other + "AGAIN.DAT") << "new";
  EXPECT_LT(MoveTableFile(Other + "AGAIN.DAT", Dir + "KEPT.DAT"), 0);
  EXPECT_TRUE(fs::exists(Other + "AGAIN.DAT"));
  fs::remove_all(Other);
}

}  // namespace
