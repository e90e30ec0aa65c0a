// Cursor records: navigation in both orders, positions, key search and ranges, inserts, modifies and
// deletes with their checks, record locks within a process and between processes.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <tuple>

#include "dbengine/storage/table_check.h"
#include "dbengine/storage/tests/data_cursor_test_util.h"
#include "platform/core/datetime.h"

using namespace cursortest;

namespace {

std::vector<uint8_t> FileBytes(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

class RecordsTest : public CursorTest {
 protected:
  TDataCursor* Filled() {
    CreatePeople();
    TDataCursor* C = OpenPeople();
    for (auto [N, A] : std::vector<std::pair<const char*, int>>{
             {"Ola", 31}, {"Ala", 25}, {"Ela", 40}, {"Iza", 25}, {"Ula", 19}, {"Ada", 33}})
      Insert(C, N, A);
    return C;
  }
};

TEST_F(RecordsTest, NavigationFollowsTheChosenOrderAndPositionsAgree) {
  TDataCursor* C = Filled();
  EXPECT_EQ(C->GetRecordCount(), 6);
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Ola", "Ala", "Ela", "Iza", "Ula", "Ada"}));
  C->SetIndexName("BYNAME");
  const std::vector<std::string> Sorted = {"Ada", "Ala", "Ela", "Iza", "Ola", "Ula"};
  EXPECT_EQ(Scan(C), Sorted);
  // Backwards from the end.
  TBuffer B(C->RecordBufferSize);
  C->MoveToEnd();
  std::vector<std::string> Back;
  while (C->GetPriorRecord(B.data()) == 0) Back.push_back(NameOf(C, B.data()));
  EXPECT_EQ(Back, std::vector<std::string>(Sorted.rbegin(), Sorted.rend()));
  EXPECT_EQ(C->GetPriorRecord(B.data()), ecBeginOfFile);
  C->MoveToEnd();
  EXPECT_EQ(C->GetNextRecord(B.data()), ecEndOfFile);
  // GotoSequence and GetSequenceNumber agree with a scan, in both orders.
  for (uint8_t Order : {uint8_t{1}, kNaturalOrderIndex}) {
    C->SwitchIndex(Order);
    std::vector<std::string> Expected = Scan(C);
    for (int N = 1; N <= 6; ++N) {
      C->GotoSequence(N);
      EXPECT_EQ(C->GetSequenceNumber(), N);
      ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
      EXPECT_EQ(NameOf(C, B.data()), Expected[static_cast<size_t>(N - 1)]);
    }
    C->GotoSequence(7);
    EXPECT_TRUE(C->AtEOF);
    C->GotoSequence(0);
    EXPECT_TRUE(C->AtBOF);
  }
}

TEST_F(RecordsTest, SwitchingIndexStaysOnTheRecord) {
  TDataCursor* C = Filled();
  TBuffer B(C->RecordBufferSize);
  C->MoveToBegin();
  C->GetNextRecord(B.data());
  C->GetNextRecord(B.data());  // Ala, second in natural order
  C->SetIndexName("BYNAME");
  ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
  EXPECT_EQ(NameOf(C, B.data()), "Ala");
  EXPECT_EQ(C->GetSequenceNumber(), 2);
  ASSERT_EQ(C->GetNextRecord(B.data()), 0);
  EXPECT_EQ(NameOf(C, B.data()), "Ela");
}

TEST_F(RecordsTest, DuplicatePrimaryKeyIsRefusedNamingTheIndexAndNothingIsWritten) {
  TDataCursor* C = Filled();
  TDataCursor* Other = OpenPeople();
  TBuffer B(C->RecordBufferSize);
  C->MoveToBegin();
  C->GetNextRecord(B.data());
  const std::vector<uint8_t> Dat = FileBytes(Path + "people.DAT"), Idx = FileBytes(Path + "people.IDX");
  // Insert with NoAutoInc and an ID that exists.
  C->Close();
  C->Open();
  C->SetNoAutoInc(true);
  TBuffer Dup = Row(C, "Dup", 1);
  StoreU32(Dup.data() + 5, LoadU32(B.data() + 5));
  try {
    C->InsertRecord(Dup.data(), false);
    ADD_FAILURE() << "duplicate accepted";
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), ecKeyViolation);
    EXPECT_NE(E.Message().find("Duplicate key found in index 'Primary' of table 'people.DAT'"),
              std::string::npos)
        << E.Message();
  }
  EXPECT_EQ(FileBytes(Path + "people.DAT"), Dat);
  EXPECT_EQ(FileBytes(Path + "people.IDX"), Idx);
  EXPECT_EQ(C->GetRecordCount(), 6);
  EXPECT_EQ(Other->GetRecordCount(), 6);
  // The record lock of the refused insert is gone: the next insert works.
  C->SetNoAutoInc(false);
  Insert(C, "Next", 50);
  EXPECT_EQ(C->GetRecordCount(), 7);
}

// A record refused by a later unique index leaves no key in the indexes before it and takes no
// row number, also inside a transaction, where nothing is dropped after a failed change.
TEST_F(RecordsTest, ARecordRefusedByItsLastUniqueIndexLeavesNoKeyInTheOthers) {
  TCreateTableParams P;
  P.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("NAME", ftString, 20), Field("AGE", ftInteger)};
  P.Indexes = {Index("", {1}, true), Index("BYNAME", {2}, true), Index("BYAGE", {3}, true)};
  for (bool Transaction : {false, true}) {
    SCOPED_TRACE(Transaction ? "in a transaction" : "alone");
    const std::string Name = Transaction ? "inside" : "alone";
    Create(Name, P);
    TDataCursor* C = NewCursor(Name);
    C->Open();
    if (Transaction) Dir->StartTransaction();
    Insert(C, "Ala", 30);
    TBuffer B = Row(C, "Ola", 30);
    EXPECT_EQ(RaisedCode([&] { C->InsertRecord(B.data(), false); }), ecKeyViolation);
    // The refused record's name and row number are free for the next one.
    Insert(C, "Ola", 31);
    for (const char* Order : {"", "BYNAME", "BYAGE"}) {
      if (*Order)
        C->SetIndexName(Order);
      else
        C->SwitchIndex(0);
      EXPECT_EQ(Scan(C), (std::vector<std::string>{"Ala", "Ola"})) << Order;
    }
    TBuffer R(C->RecordBufferSize);
    C->MoveToEnd();
    ASSERT_EQ(C->GetPriorRecord(R.data()), 0);
    EXPECT_EQ(IntOf(C, 1, R.data()), 2);
    if (Transaction) Dir->Commit();
  }
}

TEST_F(RecordsTest, RequiredAndMinimumChecksApplyToValuesOnly) {
  TCreateTableParams P;
  auto Name = Field("NAME", ftString, 20);
  Name[kFieldDescRequiredOffset] = 1;
  auto Age = Field("AGE", ftInteger);
  StoreShortString(Age.data() + kFieldDescMinimumOffset, 50, "18");
  StoreShortString(Age.data() + kFieldDescMaximumOffset, 50, "99");
  P.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Name, Age};
  P.Indexes = {Index("", {1}, true)};
  Create("people", P);
  TDataCursor* C = OpenPeople();
  struct TCase {
    const char* Name;
    std::string Value;
    int32_t Age;
    bool AgeNull;
    uint16_t Code;
  };
  const std::vector<TCase> Cases = {
      {"required left null", "", 20, false, ecRequiredField},
      {"below the minimum", "Ala", 17, false, ecBelowMinimum},
      {"above the maximum", "Ala", 100, false, ecAboveMaximum},
      {"null is not below the minimum", "Ala", 0, true, 0},
      {"at the minimum", "Ola", 18, false, 0},
  };
  for (const TCase& K : Cases) {
    SCOPED_TRACE(K.Name);
    TBuffer B = Row(C, K.Value, K.Age, K.AgeNull);
    EXPECT_EQ(RaisedCode([&] { C->InsertRecord(B.data(), false); }), K.Code);
  }
  EXPECT_EQ(C->GetRecordCount(), 2);
}

TEST_F(RecordsTest, DefaultsFillANewRecord) {
  TCreateTableParams P;
  auto D = Field("D", ftDate);
  StoreShortString(D.data() + kFieldDescDefaultOffset, 50, "DATE");
  auto T = Field("T", ftTimeStamp);
  StoreShortString(T.data() + kFieldDescDefaultOffset, 50, "now");
  auto N = Field("N", ftInteger);
  StoreShortString(N.data() + kFieldDescDefaultOffset, 50, "42");
  P.Fields = {D, T, N, Field("E", ftInteger)};
  Create("defs", P);
  TDataCursor* C = NewCursor("defs");
  C->Open();
  const TDateTime Before = Now();
  TBuffer B(C->RecordBufferSize);
  C->InitRecord(B.data());
  const TDateTime After = Now();
  bool Blank;
  int32_t Day = 0;
  C->GetField(1, B.data(), Blank, &Day);
  EXPECT_FALSE(Blank);
  EXPECT_TRUE(Day == DateToRecordDate(Before) || Day == DateToRecordDate(After));
  double Stamp = 0;
  C->GetField(2, B.data(), Blank, &Stamp);
  EXPECT_FALSE(Blank);
  EXPECT_GE(Stamp, DateTimeToRecordTimeStamp(Before) - 1);
  EXPECT_LE(Stamp, DateTimeToRecordTimeStamp(After) + 1);
  EXPECT_EQ(IntOf(C, 3, B.data()), 42);
  C->GetField(4, B.data(), Blank, nullptr);
  EXPECT_TRUE(Blank);
}

TEST_F(RecordsTest, DeletedSlotIsReusedWithANewRowNumber) {
  TDataCursor* C = Filled();
  TBuffer B(C->RecordBufferSize);
  C->SwitchIndex(kNaturalOrderIndex);
  C->MoveToBegin();
  C->GetNextRecord(B.data());
  C->GetNextRecord(B.data());  // Ala: record 2, row 2
  ASSERT_EQ(C->CurrentRecordNumber, 2u);
  const uint32_t OldRow = LoadU32(B.data() + 5);
  C->DeleteRecord(B.data(), true);
  EXPECT_EQ(C->GetRecordCount(), 5);
  ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
  EXPECT_EQ(NameOf(C, B.data()), "Ela");  // the next record after the deleted one
  Insert(C, "New", 1);
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Ola", "New", "Ela", "Iza", "Ula", "Ada"}));
  C->GotoSequence(2);
  C->GetCurrentRecord(B.data(), false);
  EXPECT_EQ(C->CurrentRecordNumber, 2u);
  EXPECT_EQ(LoadU32(B.data() + 5), 7u);
  EXPECT_NE(LoadU32(B.data() + 5), OldRow);
  // Primary-key order has the new row last.
  C->SwitchIndex(0);
  EXPECT_EQ(Scan(C).back(), "New");
}

TEST_F(RecordsTest, ModifyReplacesChangedKeysOnly) {
  TDataCursor* C = Filled();
  C->SetIndexName("BYNAME");
  TBuffer B(C->RecordBufferSize);
  ASSERT_TRUE(C->FindKey(false, Row(C, "Ela", 0).data(), B.data(), 0, false, 1));
  ASSERT_EQ(C->GetCurrentRecord(B.data(), true), 0);
  char S[21] = "Zenon";
  C->PutField(2, B.data(), false, S);
  C->ModifyRecord(B.data(), true, true);
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Ada", "Ala", "Iza", "Ola", "Ula", "Zenon"}));
  EXPECT_FALSE(C->IsRecordLocked());
  C->SwitchIndex(0);
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Ola", "Ala", "Zenon", "Iza", "Ula", "Ada"}));
}

TEST_F(RecordsTest, RangesAndFindKey) {
  TDataCursor* C = Filled();
  C->SetIndexName("BYNAME");
  TBuffer Start = Row(C, "Ala", 0), End = Row(C, "Iza", 0);
  C->SetRange(false, Start.data(), 1, End.data(), 1);
  EXPECT_EQ(C->GetRecordCount(), 3);
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Ala", "Ela", "Iza"}));
  // Start above end: empty.
  C->SetRange(false, End.data(), 1, Start.data(), 1);
  EXPECT_EQ(C->GetRecordCount(), 0);
  EXPECT_TRUE(Scan(C).empty());
  // No end: everything from the start on; no start: everything up to the end.
  C->SetRange(false, End.data(), 1, nullptr, 0);
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Iza", "Ola", "Ula"}));
  C->SetRange(false, nullptr, 0, Start.data(), 1);
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Ada", "Ala"}));
  C->CancelRange();
  EXPECT_EQ(C->GetRecordCount(), 6);
  TBuffer Out(C->RecordBufferSize);
  // Nearest: the next greater key when nothing matches.
  EXPECT_FALSE(C->FindKey(false, Row(C, "Eva", 0).data(), Out.data(), 0, true, 1));
  EXPECT_EQ(NameOf(C, Out.data()), "Iza");
  // Partial: the first two characters.
  EXPECT_TRUE(C->FindKey(false, Row(C, "Ol", 0).data(), Out.data(), 2, true, 0));
  EXPECT_EQ(NameOf(C, Out.data()), "Ola");
  // Whole field on a non-unique index (the row number is not part of the search).
  EXPECT_TRUE(C->FindKey(false, Row(C, "Ula", 0).data(), Out.data(), 0, false, 1));
  EXPECT_EQ(NameOf(C, Out.data()), "Ula");
  EXPECT_FALSE(C->FindKey(false, Row(C, "Zyta", 0).data(), Out.data(), 0, true, 1));
  EXPECT_TRUE(C->AtEOF);
}

TEST_F(RecordsTest, FindKeyOnAPartOfATwoFieldIndex) {
  TCreateTableParams P;
  P.Fields = {Field("STUDENT", ftInteger), Field("PRACTICE", ftInteger), Field("CNT", ftInteger)};
  P.Indexes = {Index("", {1, 2}, true)};
  Create("net", P);
  TDataCursor* C = NewCursor("net");
  C->Open();
  for (int32_t S : {1, 3, 5})
    for (int32_t Pr : {10, 20}) {
      TBuffer B(C->RecordBufferSize);
      C->InitRecord(B.data());
      C->PutField(1, B.data(), false, &S);
      C->PutField(2, B.data(), false, &Pr);
      C->InsertRecord(B.data(), false);
    }
  TBuffer K(C->RecordBufferSize), Out(C->RecordBufferSize);
  C->InitRecord(K.data());
  int32_t S = 3;
  C->PutField(1, K.data(), false, &S);
  EXPECT_TRUE(C->FindKey(false, K.data(), Out.data(), 0, false, 1));
  EXPECT_EQ(IntOf(C, 1, Out.data()), 3);
  EXPECT_EQ(IntOf(C, 2, Out.data()), 10);
  S = 4;
  C->PutField(1, K.data(), false, &S);
  EXPECT_FALSE(C->FindKey(false, K.data(), Out.data(), 0, true, 1));
  EXPECT_EQ(IntOf(C, 1, Out.data()), 5);
  C->SetRange(false, K.data(), 1, K.data(), 1);
  EXPECT_EQ(C->GetRecordCount(), 0);
  S = 3;
  C->PutField(1, K.data(), false, &S);
  C->SetRange(false, K.data(), 1, K.data(), 1);
  EXPECT_EQ(C->GetRecordCount(), 2);
}

TEST_F(RecordsTest, RecordLocksBetweenCursorsOfOneProcess) {
  TDataCursor* A = Filled();
  TDataCursor* B = OpenPeople();
  TBuffer RA(A->RecordBufferSize), RB(B->RecordBufferSize);
  A->MoveToBegin();
  A->GetNextRecord(RA.data());
  B->MoveToBegin();
  B->GetNextRecord(RB.data());
  ASSERT_EQ(A->GetCurrentRecord(RA.data(), true), 0);
  // The same cursor may lock its record again, another cursor is refused at once.
  ASSERT_EQ(A->GetCurrentRecord(RA.data(), true), 0);
  EXPECT_EQ(RaisedCode([&] { B->GetCurrentRecord(RB.data(), true); }), ecRecordLocked);
  char S[21] = "Olga";
  A->PutField(2, RA.data(), false, S);
  A->ModifyRecord(RA.data(), true, false);
  // B read the record before the change: its edit is refused as changed, and leaves no lock.
  EXPECT_EQ(RaisedCode([&] { B->GetCurrentRecord(RB.data(), true); }), ecRecordChanged);
  ASSERT_EQ(B->GetCurrentRecord(RB.data(), false), 0);
  EXPECT_EQ(NameOf(B, RB.data()), "Olga");
  ASSERT_EQ(B->GetCurrentRecord(RB.data(), true), 0);
  B->UnlockRecord(0);
}

TEST_F(RecordsTest, EditingARowTwiceInOneTransaction) {
  TDataCursor* A = Filled();
  TDataCursor* B = OpenPeople();
  ASSERT_EQ(Dir->StartTransaction(), nullptr);
  TBuffer R(A->RecordBufferSize);
  A->MoveToBegin();
  A->GetNextRecord(R.data());
  for (const char* Name : {"First", "Second"}) {
    ASSERT_EQ(A->GetCurrentRecord(R.data(), true), 0);
    char S[21] = {};
    std::strcpy(S, Name);
    A->PutField(2, R.data(), false, S);
    A->ModifyRecord(R.data(), true, false);
  }
  TBuffer RB(B->RecordBufferSize);
  B->MoveToBegin();
  B->GetNextRecord(RB.data());
  EXPECT_EQ(NameOf(B, RB.data()), "Second");
  EXPECT_EQ(RaisedCode([&] { B->GetCurrentRecord(RB.data(), true); }), ecRecordLocked);
  Dir->Commit();
  ASSERT_EQ(B->GetCurrentRecord(RB.data(), true), 0);
  B->UnlockRecord(0);
}

TEST_F(RecordsTest, AnIntervalCommitKeepsTheTransactionOpenForTheRollback) {
  TDataCursor* C = Filled();
  const int32_t Before = C->GetRecordCount();
  ASSERT_EQ(Dir->StartTransaction(), nullptr);
  Insert(C, "Kept", 30);
  Dir->Commit(false);  // an interval: what came before stays, the transaction goes on
  EXPECT_TRUE(Dir->InTransaction);
  Insert(C, "Undone", 31);
  Dir->Rollback();
  EXPECT_FALSE(Dir->InTransaction);
  C->Refresh();  // as the database component does for its datasets after a rollback
  C->MoveToBegin();
  EXPECT_EQ(C->GetRecordCount(), Before + 1);
  std::vector<std::string> Names;
  TBuffer R(C->RecordBufferSize);
  while (C->GetNextRecord(R.data()) == 0) Names.push_back(NameOf(C, R.data()));
  EXPECT_NE(std::find(Names.begin(), Names.end(), "Kept"), Names.end());
  EXPECT_EQ(std::find(Names.begin(), Names.end(), "Undone"), Names.end());
}

class TwoProcessTest : public RecordsTest, public ::testing::WithParamInterface<bool> {};

// P2 (the child) edits the first row and holds its lock; P1 (this process) read the row before.
// P1's locked read is refused after the retries; once P2 posted, P1 sees the new values, its edit
// of the stale buffer is refused as changed, and P2's insert shows through change detection.
TEST_P(TwoProcessTest, LocksAndChangesBetweenProcesses) {
  TDataCursor* C = Filled();
  // Each process opens the files after the fork, through open file descriptions of its own.
  C->Close();
  Session->StrictChangeDetection = GetParam();
  int ToChild[2], ToParent[2];
  ASSERT_EQ(pipe(ToChild), 0);
  ASSERT_EQ(pipe(ToParent), 0);
  pid_t Pid = fork();
  if (Pid == 0) {
    int Status = 1;
    try {
      TDataDirectory* D = nullptr;
      TDataCursor* K = ChildCursor("people", D, GetParam());
      char Go = 0;
      if (read(ToChild[0], &Go, 1) != 1) _exit(3);  // the parent has read the row
      TBuffer R(K->RecordBufferSize);
      K->MoveToBegin();
      K->GetNextRecord(R.data());
      if (K->GetCurrentRecord(R.data(), true) != 0) _exit(6);
      Go = 'L';
      if (write(ToParent[1], &Go, 1) != 1) _exit(2);
      if (read(ToChild[0], &Go, 1) != 1) _exit(3);
      char Name[21] = "Changed";
      K->PutField(2, R.data(), false, Name);
      K->ModifyRecord(R.data(), true, false);
      TBuffer N(K->RecordBufferSize);
      K->InitRecord(N.data());
      char New[21] = "Child";
      K->PutField(2, N.data(), false, New);
      K->InsertRecord(N.data(), false);
      Go = 'P';
      if (write(ToParent[1], &Go, 1) != 1) _exit(4);
      delete K;
      delete D->Session;
      Status = 0;
    } catch (...) {
      Status = 5;
    }
    _exit(Status);
  }
  close(ToChild[0]);
  close(ToParent[1]);
  C->Open();
  TBuffer R(C->RecordBufferSize);
  C->MoveToBegin();
  ASSERT_EQ(C->GetNextRecord(R.data()), 0);
  const TBuffer Stale = R;
  char Go = 'R';
  ASSERT_EQ(write(ToChild[1], &Go, 1), 1);
  char Got = 0;
  ASSERT_EQ(read(ToParent[0], &Got, 1), 1);
  ASSERT_EQ(Got, 'L');
  // One try and LockRetryCount retries, then the record counts as in use.
  TBuffer Mine = R;
  EXPECT_EQ(RaisedCode([&] { C->GetCurrentRecord(Mine.data(), true); }), ecRecordLocked);
  EXPECT_EQ(C->Table->LastLockAttempts, 1 + Session->LockRetryCount);
  ASSERT_EQ(write(ToChild[1], &Go, 1), 1);
  ASSERT_EQ(read(ToParent[0], &Got, 1), 1);
  ASSERT_EQ(Got, 'P');
  int Status = 0;
  waitpid(Pid, &Status, 0);
  ASSERT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), 0);
  Mine = Stale;
  EXPECT_EQ(RaisedCode([&] { C->GetCurrentRecord(Mine.data(), true); }), ecRecordChanged);
  ASSERT_EQ(C->GetCurrentRecord(R.data(), false), 0);
  EXPECT_EQ(NameOf(C, R.data()), "Changed");
  EXPECT_EQ(C->GetRecordCount(), 7);
  EXPECT_EQ(Scan(C).back(), "Child");
  // The lock is free again.
  C->MoveToBegin();
  C->GetNextRecord(R.data());
  EXPECT_EQ(C->GetCurrentRecord(R.data(), true), 0);
  C->UnlockRecord(0);
}

INSTANTIATE_TEST_SUITE_P(ChangeDetection, TwoProcessTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& I) {
                           return I.param ? "Strict" : "Lenient";
                         });

}  // namespace

namespace {

// A Polish table sorts its string keys by the language's collation, not by code page bytes.
TEST_F(RecordsTest, StringKeysFollowTheTableLanguage) {
  TCreateTableParams P;
  P.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("NAME", ftString, 20),
              Field("AGE", ftInteger)};
  P.Indexes = {Index("", {1}, true), Index("BYNAME", {2}, false)};
  P.LanguageID = 0x0415;
  Create("people", P);
  TDataCursor* C = OpenPeople();
  // CP1250: 0xA3 = L with stroke, 0xC6 = C with acute, 0x9C = s with acute.
  for (const char* N : {"\xA3ukasz", "Lena", "Mateusz", "\xC6ma", "Cyryl", "Zenon", "\x9Cwit", "sowa"})
    Insert(C, N, 1);
  C->SetIndexName("BYNAME");
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Cyryl", "\xC6ma", "Lena", "\xA3ukasz", "Mateusz", "sowa",
                                               "\x9Cwit", "Zenon"}));
  TBuffer Out(C->RecordBufferSize);
  EXPECT_TRUE(C->FindKey(false, Row(C, "\xA3ukasz", 0).data(), Out.data(), 0, false, 1));
  EXPECT_EQ(NameOf(C, Out.data()), "\xA3ukasz");
  TBuffer From = Row(C, "D", 0), To = Row(C, "M", 0);
  C->SetRange(false, From.data(), 1, To.data(), 1);
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Lena", "\xA3ukasz"}));
}

}  // namespace

namespace {

// Whatever the caller asks for the position, the next step after a change goes to the right record.
TEST_F(RecordsTest, StepsAfterChangesWithoutRepositioning) {
  TDataCursor* C = Filled();
  C->SetIndexName("BYNAME");  // Ada Ala Ela Iza Ola Ula
  TBuffer B(C->RecordBufferSize);
  C->GotoSequence(2);
  ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
  C->DeleteRecord(B.data(), false);  // Ala
  ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
  EXPECT_EQ(NameOf(C, B.data()), "Ela");
  ASSERT_EQ(C->GetNextRecord(B.data()), 0);
  EXPECT_EQ(NameOf(C, B.data()), "Iza");
  ASSERT_EQ(C->GetCurrentRecord(B.data(), true), 0);
  char S[21] = "Aaron";
  C->PutField(2, B.data(), false, S);
  C->ModifyRecord(B.data(), true, false);  // Iza moves to the front
  EXPECT_EQ(C->GetSequenceNumber(), 1);
  ASSERT_EQ(C->GetNextRecord(B.data()), 0);
  EXPECT_EQ(NameOf(C, B.data()), "Ada");
}

}  // namespace

namespace {

// Freed slots are taken again last freed first, each with a row number never used before.
TEST_F(RecordsTest, FreedSlotsAreReusedLastFreedFirst) {
  TDataCursor* C = Filled();
  C->SwitchIndex(kNaturalOrderIndex);
  TBuffer B(C->RecordBufferSize);
  for (int32_t N : {2, 4}) {
    C->MoveToBegin();
    while (C->GetNextRecord(B.data()) == 0 && C->CurrentRecordNumber != static_cast<uint32_t>(N)) {
    }
    ASSERT_EQ(C->CurrentRecordNumber, static_cast<uint32_t>(N));
    C->DeleteRecord(B.data(), true);
  }
  std::vector<std::pair<uint32_t, uint32_t>> Taken;  // record number, row number
  for (const char* Name : {"P", "Q", "R"}) {
    TBuffer R = Row(C, Name, 1);
    C->InsertRecord(R.data(), true);
    ASSERT_EQ(C->GetCurrentRecord(R.data(), false), 0);
    Taken.emplace_back(C->CurrentRecordNumber, LoadU32(R.data() + 5));
  }
  EXPECT_EQ(Taken, (std::vector<std::pair<uint32_t, uint32_t>>{{4, 7}, {2, 8}, {7, 9}}));
}

}  // namespace

namespace {

// Row numbers: handed out in order, kept on modify, taken from the record with NoAutoInc (which
// moves the counter past them).
TEST_F(RecordsTest, AutoIncrementNumbers) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  Insert(C, "A", 1);
  Insert(C, "B", 1);
  TBuffer B(C->RecordBufferSize);
  C->MoveToEnd();
  ASSERT_EQ(C->GetPriorRecord(B.data()), 0);
  EXPECT_EQ(IntOf(C, 1, B.data()), 2);
  ASSERT_EQ(C->GetCurrentRecord(B.data(), true), 0);
  StoreU32(B.data() + 5, 77);  // a changed ID is not taken without NoAutoInc
  C->ModifyRecord(B.data(), true, true);
  ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
  EXPECT_EQ(IntOf(C, 1, B.data()), 2);
  C->SetNoAutoInc(true);
  TBuffer N = Row(C, "C", 1);
  StoreU32(N.data() + 5, 50);
  C->InsertRecord(N.data(), false);
  C->SetNoAutoInc(false);
  Insert(C, "D", 1);
  C->MoveToEnd();
  ASSERT_EQ(C->GetPriorRecord(B.data()), 0);
  EXPECT_EQ(NameOf(C, B.data()), "D");
  EXPECT_EQ(IntOf(C, 1, B.data()), 51);
  ASSERT_EQ(C->GetPriorRecord(B.data()), 0);
  EXPECT_EQ(IntOf(C, 1, B.data()), 50);
}

}  // namespace

namespace {

class LogTest : public RecordsTest {
 protected:
  // A table without keys of its own, as a query's result is: ID autoinc, NAME, AGE; its files
  // encrypted when asked.
  TDataCursor* OpenLog(bool Encrypted, bool Exclusive = true) {
    TCreateTableParams P;
    P.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("NAME", ftString, 20), Field("AGE", ftInteger)};
    P.Indexes = {Index("", {}, false)};
    if (Encrypted) {
      P.Encrypted = true;
      P.Password = "Tajne1";
      Session->AddPassword("Tajne1");
    }
    Create("log", P);
    TDataCursor* C = NewCursor("log", Exclusive);
    C->Open();
    return C;
  }
};

class AppendTest : public LogTest, public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

// Records appended in batches after records inserted one by one and one deleted (whose status key
// lies after every live key, so the new keys go inside the index): the visible set, the order, the
// row numbers and the table's files agree with record-by-record inserts, inside a transaction and
// outside one, and the table reads back the same after it was closed.
TEST_P(AppendTest, AppendedRecordsFollowTheTableAsInsertedOnes) {
  const auto [Encrypted, InTransaction] = GetParam();
  TDataCursor* C = OpenLog(Encrypted);
  std::vector<std::string> Expected = {"A", "C"};
  Insert(C, "A", 1);
  Insert(C, "B", 2);
  Insert(C, "C", 3);
  TBuffer B(C->RecordBufferSize);
  C->MoveToBegin();
  C->GetNextRecord(B.data());
  C->GetNextRecord(B.data());
  C->DeleteRecord(B.data(), false);
  if (InTransaction) {
    ASSERT_EQ(Dir->StartTransaction(), nullptr);
  }
  int Age = 10;
  for (uint32_t Count : {700u, 1u, 400u}) {
    TBuffer Batch;
    for (uint32_t I = 0; I < Count; ++I) {
      const std::string Name = "R" + std::to_string(Age);
      const TBuffer R = Row(C, Name, Age++);
      Batch.insert(Batch.end(), R.begin(), R.end());
      Expected.push_back(Name);
    }
    C->AppendRecords(Batch.data(), Count);
    EXPECT_TRUE(C->AtBOF);
    EXPECT_EQ(C->GetRecordCount(), static_cast<int32_t>(Expected.size()));
  }
  if (InTransaction) Dir->Commit();
  EXPECT_EQ(Scan(C), Expected);
  // Row numbers go on from the inserted records'; ages came with the buffers.
  C->MoveToEnd();
  ASSERT_EQ(C->GetPriorRecord(B.data()), 0);
  EXPECT_EQ(IntOf(C, 1, B.data()), 3 + 1101);
  EXPECT_EQ(IntOf(C, 3, B.data()), Age - 1);
  Insert(C, "Last", 0);
  Expected.push_back("Last");
  EXPECT_EQ(Scan(C), Expected);
  C->Close();
  TTableCheckResult Check = CheckTable(Dir, "log");
  EXPECT_TRUE(Check.Sound()) << (Check.Problems.empty() ? std::string() : Check.Problems[0]);
  EXPECT_EQ(Check.Records, static_cast<int32_t>(Expected.size()));
  TDataCursor* Again = NewCursor("log");
  Again->Open();
  EXPECT_EQ(Scan(Again), Expected);
}

INSTANTIATE_TEST_SUITE_P(PlainAndEncrypted, AppendTest, ::testing::Combine(::testing::Bool(), ::testing::Bool()));

TEST_F(LogTest, AppendTakesOnlyAnExclusiveTableWithoutIndexesOrBlobs) {
  CreatePeople();
  TDataCursor* People = OpenPeople(true);
  TBuffer R = Row(People, "A", 1);
  EXPECT_EQ(RaisedCode([&] { People->AppendRecords(R.data(), 1); }), ecIndexExists);
  TCreateTableParams P;
  P.Fields = {Field("NOTE", ftBlob, 0, 22), Field("AGE", ftInteger)};
  P.Indexes = {Index("", {}, false)};
  Create("notes", P);
  TDataCursor* Notes = NewCursor("notes", true);
  Notes->Open();
  TBuffer N(Notes->RecordBufferSize);
  Notes->InitRecord(N.data());
  EXPECT_EQ(RaisedCode([&] { Notes->AppendRecords(N.data(), 1); }), ecInvalidBlobField);
  TDataCursor* Shared = OpenLog(false, false);
  TBuffer L = Row(Shared, "A", 1);
  EXPECT_EQ(RaisedCode([&] { Shared->AppendRecords(L.data(), 1); }), ecNeedExclusive);
  EXPECT_EQ(Shared->GetRecordCount(), 0);
}

}  // namespace
