// Cursor at scale and across failures: positions by subtree counts against a scan on a large table
// with a non-unique secondary index, a process killed in the middle of a transaction, a lost index
// file, tables of the in-memory database.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include "dbengine/storage/tests/data_cursor_test_util.h"

using namespace cursortest;

namespace {

std::vector<uint8_t> FileBytes(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

class ScaleTest : public CursorTest {
 protected:
  // netstat-like: ID_STUDENT, ID_PRACTICE, KEY, CNT; primary CNT, secondary
  // non-unique (ID_STUDENT, ID_PRACTICE).
  void CreateNetstat(const std::string& Name) {
    TCreateTableParams P;
    P.Fields = {Field("ID_STUDENT", ftInteger), Field("ID_PRACTICE", ftInteger), Field("KEY", ftSmallInt),
                Field("CNT", ftInteger)};
    P.Indexes = {Index("", {4}, true), Index("BYPRACTICE", {1, 2}, false)};
    Create(Name, P);
  }
  void Put(TDataCursor* C, int32_t Student, int32_t Practice, int16_t Key, int32_t Count) {
    TBuffer B(C->RecordBufferSize);
    C->InitRecord(B.data());
    C->PutField(1, B.data(), false, &Student);
    C->PutField(2, B.data(), false, &Practice);
    C->PutField(3, B.data(), false, &Key);
    C->PutField(4, B.data(), false, &Count);
    C->InsertRecord(B.data(), false);
  }
};

// A natural-order scan reads the runs of visible records in one file read each, forward and
// backward, and a deleted record ends a run; the rows are those a record-by-record read gives.
TEST_F(ScaleTest, NaturalOrderScansReadRunsOfVisibleRecordsAtOnce) {
  CreateNetstat("ahead");
  const int Rows = 5000;
  {
    TDataCursor* C = NewCursor("ahead", true);
    C->Open();
    for (int I = 1; I <= Rows; ++I) Put(C, I % 13, I % 17, static_cast<int16_t>(I % 100), I);
    // Every 100th record goes: 50 gaps split the visible set into runs.
    TBuffer B(C->RecordBufferSize);
    C->MoveToBegin();
    while (C->GetNextRecord(B.data()) == 0)
      if (IntOf(C, 4, B.data()) % 100 == 0) C->DeleteRecord(B.data(), true);
    C->Close();
  }
  struct TCase {
    bool Backward;
  } Cases[] = {{false}, {true}};
  for (const TCase& T : Cases) {
    SCOPED_TRACE(T.Backward ? "backward" : "forward");
    TDataCursor* C = NewCursor("ahead");
    C->Open();  // the table's files open anew: nothing is cached
    C->SetIndexNo(kNaturalOrderIndex);
    TDataFile* D = TableFileAccess(C->Table)->DataFile();
    const int64_t Reads = D->RecordReads;
    TBuffer B(C->RecordBufferSize);
    std::vector<int32_t> Seen;
    if (T.Backward) {
      C->MoveToEnd();
      while (C->GetPriorRecord(B.data()) == 0) Seen.push_back(IntOf(C, 4, B.data()));
    } else {
      C->MoveToBegin();
      while (C->GetNextRecord(B.data()) == 0) Seen.push_back(IntOf(C, 4, B.data()));
    }
    std::vector<int32_t> Expected;
    for (int I = 1; I <= Rows; ++I)
      if (I % 100 != 0) Expected.push_back(I);
    if (T.Backward) std::reverse(Expected.begin(), Expected.end());
    EXPECT_EQ(Seen, Expected);
    // One read per run between deleted records (a run longer than the read-ahead takes more).
    EXPECT_LE(D->RecordReads - Reads, Rows / 100 + Rows / D->ReadAheadCount + 2);
    C->Close();
  }
}

TEST_F(ScaleTest, PositionsAndRangeCountsAgreeWithAScan) {
  CreateNetstat("netstat");
  TDataCursor* C = NewCursor("netstat", true);
  C->Open();
  std::mt19937 Rng(7);
  const int Rows = 100000;
  // Loaded in one transaction: every change outside one is synced on its own.
  Dir->StartTransaction();
  for (int I = 0; I < Rows; ++I)
    Put(C, static_cast<int32_t>(Rng() % 50), static_cast<int32_t>(Rng() % 40),
        static_cast<int16_t>(I % 30000), I);
  Dir->Commit();
  C->SetIndexName("BYPRACTICE");
  ASSERT_EQ(C->GetRecordCount(), Rows);
  // One scan: the (student, practice) of every position.
  std::vector<std::pair<int32_t, int32_t>> Order;
  Order.reserve(Rows);
  TBuffer B(C->RecordBufferSize);
  C->MoveToBegin();
  while (C->GetNextRecord(B.data()) == 0) {
    Order.emplace_back(IntOf(C, 1, B.data()), IntOf(C, 2, B.data()));
    ASSERT_EQ(C->GetSequenceNumber(), static_cast<int32_t>(Order.size()));
  }
  ASSERT_EQ(Order.size(), static_cast<size_t>(Rows));
  EXPECT_TRUE(std::is_sorted(Order.begin(), Order.end()));
  for (int I = 0; I < 1000; ++I) {
    int32_t N = static_cast<int32_t>(Rng() % Rows) + 1;
    C->GotoSequence(N);
    ASSERT_EQ(C->GetSequenceNumber(), N);
    ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
    ASSERT_EQ(std::make_pair(IntOf(C, 1, B.data()), IntOf(C, 2, B.data())),
              Order[static_cast<size_t>(N - 1)]);
  }
  // Ranges over the first field and over both.
  for (auto [Student, Practice] :
       std::vector<std::pair<int32_t, int32_t>>{{0, -1}, {17, -1}, {49, 3}, {20, 39}}) {
    TBuffer K(C->RecordBufferSize);
    C->InitRecord(K.data());
    C->PutField(1, K.data(), false, &Student);
    int Fields = 1;
    if (Practice >= 0) {
      C->PutField(2, K.data(), false, &Practice);
      Fields = 2;
    }
    C->SetRange(false, K.data(), Fields, K.data(), Fields);
    const auto Expected = std::count_if(Order.begin(), Order.end(), [&](const auto& P) {
      return P.first == Student && (Practice < 0 || P.second == Practice);
    });
    EXPECT_EQ(C->GetRecordCount(), Expected);
    int32_t Seen = 0;
    C->MoveToBegin();
    while (C->GetNextRecord(B.data()) == 0) ++Seen;
    EXPECT_EQ(Seen, Expected);
  }
}

TEST_F(ScaleTest, AProcessKilledInATransactionLeavesTheFilesAsTheyWere) {
  CreateNetstat("crash");
  {
    TDataCursor* C = NewCursor("crash");
    C->Open();
    for (int I = 0; I < 200; ++I) Put(C, I % 7, I, 1, I);
    C->Close();
  }
  const std::vector<uint8_t> Dat = FileBytes(Path + "crash.DAT"), Idx = FileBytes(Path + "crash.IDX");
  int Ready[2];
  ASSERT_EQ(pipe(Ready), 0);
  pid_t Pid = fork();
  if (Pid == 0) {
    close(Ready[0]);
    // Any failure ends the child without the signal, which the parent sees as a short read.
    try {
      TDataDirectory* D = nullptr;
      TDataCursor* K = ChildCursor("crash", D);
      D->StartTransaction();
      TBuffer B(K->RecordBufferSize);
      for (int I = 0; I < 10000; ++I) Put(K, 1000 + I, 1000 + I, 0, 1000 + I);
      K->MoveToBegin();
      for (int I = 0; I < 100 && K->GetNextRecord(B.data()) == 0; ++I) K->DeleteRecord(B.data(), true);
      for (int I = 0; I < 100 && K->GetNextRecord(B.data()) == 0; ++I) {
        if (K->GetCurrentRecord(B.data(), true) != 0) _exit(3);
        int32_t V = 100000 + I;
        K->PutField(4, B.data(), false, &V);
        K->ModifyRecord(B.data(), true, false);
      }
      char Go = 'T';
      if (write(Ready[1], &Go, 1) != 1) _exit(2);
      pause();
    } catch (...) {
    }
    _exit(1);
  }
  close(Ready[1]);
  char Got = 0;
  ASSERT_EQ(read(Ready[0], &Got, 1), 1);
  kill(Pid, SIGKILL);
  int Status = 0;
  waitpid(Pid, &Status, 0);
  EXPECT_EQ(FileBytes(Path + "crash.DAT"), Dat);
  EXPECT_EQ(FileBytes(Path + "crash.IDX"), Idx);
  // Every lock is free: an exclusive open, a write and a record lock all succeed at once.
  TDataCursor* C = NewCursor("crash", true);
  C->Open();
  EXPECT_EQ(C->GetRecordCount(), 200);
  C->Close();
  C->SetExclusive(false);
  C->Open();
  TBuffer B(C->RecordBufferSize);
  C->MoveToBegin();
  ASSERT_EQ(C->GetNextRecord(B.data()), 0);
  ASSERT_EQ(C->GetCurrentRecord(B.data(), true), 0);
  EXPECT_EQ(C->Table->LastLockAttempts, 1);
  C->UnlockRecord(0);
  Put(C, 99, 99, 9, 999999);
  EXPECT_EQ(C->GetRecordCount(), 201);
}

TEST_F(ScaleTest, AnIntervalCommitKeepsItsWorkAndTheHeaderLockUntilTheCrash) {
  CreateNetstat("steps");
  int Ready[2];
  ASSERT_EQ(pipe(Ready), 0);
  pid_t Pid = fork();
  if (Pid == 0) {
    close(Ready[0]);
    try {
      TDataDirectory* D = nullptr;
      TDataCursor* K = ChildCursor("steps", D);
      D->StartTransaction();
      for (int32_t I = 0; I < 50; ++I) Put(K, I, 0, 0, I);
      D->Commit(false);  // an interval: the transaction goes on
      for (int32_t I = 50; I < 120; ++I) Put(K, I, 0, 0, I);
      char Go = 'T';
      if (write(Ready[1], &Go, 1) != 1) _exit(2);
      pause();
    } catch (...) {
    }
    _exit(1);
  }
  close(Ready[1]);
  char Got = 0;
  ASSERT_EQ(read(Ready[0], &Got, 1), 1);
  {
    // The writers' header byte of the data file is still held by the running transaction.
    TFileHandler F(Path + "steps.DAT");
    F.Open();
    EXPECT_FALSE(F.LockBytes(kHeaderLockByte, 1, true));
    F.Close();
  }
  kill(Pid, SIGKILL);
  int Status = 0;
  waitpid(Pid, &Status, 0);
  TDataCursor* C = NewCursor("steps");
  C->Open();
  EXPECT_EQ(C->GetRecordCount(), 50);
  C->SetIndexName("BYPRACTICE");
  EXPECT_EQ(C->GetRecordCount(), 50);
  Put(C, 1, 1, 1, 1000);
  EXPECT_EQ(C->GetRecordCount(), 51);
}

TEST_F(ScaleTest, ALostIndexFileIsMadeAgainFromTheRecords) {
  TCreateTableParams P;
  P.Fields = {Field("A", ftInteger)};
  Create("heap", P);
  TDataCursor* C = NewCursor("heap");
  C->Open();
  for (int32_t I = 0; I < 5; ++I) {
    TBuffer B(C->RecordBufferSize);
    C->InitRecord(B.data());
    C->PutField(1, B.data(), false, &I);
    C->InsertRecord(B.data(), false);
  }
  TBuffer B(C->RecordBufferSize);
  C->MoveToBegin();
  C->GetNextRecord(B.data());
  C->DeleteRecord(B.data(), true);
  C->Close();
  std::filesystem::remove(Path + "heap.IDX");
  C->Open();
  EXPECT_TRUE(std::filesystem::exists(Path + "heap.IDX"));
  EXPECT_EQ(C->GetRecordCount(), 4);
  C->SwitchIndex(kStatusIndex);
  EXPECT_EQ(C->GetRecordCount(), 5);  // every slot, the deleted one too
  C->SwitchIndex(kNaturalOrderIndex);
  C->InitRecord(B.data());
  C->InsertRecord(B.data(), true);
  EXPECT_EQ(C->GetRecordCount(), 5);
}

TEST_F(ScaleTest, InMemoryTablesLiveWithTheirDirectory) {
  TDataDirectory* Memory = Session->OpenDirectory("MEMORY", "");
  ASSERT_NE(Memory, nullptr);
  TDataCursor* C = new TDataCursor(Memory);
  Cursors.push_back(C);
  C->SetTableName("scratch");
  C->SetInMemory(true);
  C->SetExclusive(true);
  TCreateTableParams P;
  P.Fields = {Field("A", ftInteger)};
  Number(P.Fields);
  C->CreateTable(P);
  C->SetExclusive(false);
  C->Open();
  int32_t V = 5;
  TBuffer B(C->RecordBufferSize);
  C->InitRecord(B.data());
  C->PutField(1, B.data(), false, &V);
  C->InsertRecord(B.data(), false);
  C->Close();
  EXPECT_FALSE(std::filesystem::exists(Path + "scratch.DAT"));
  C->Open();
  EXPECT_EQ(C->GetRecordCount(), 1);
  // A disk table of the same name is another table.
  TDataCursor* Disk = NewCursor("scratch");
  EXPECT_EQ(RaisedCode([&] { Disk->Open(); }), ecInvalidPath);
}

}  // namespace
