// Ranges set again and again on one open cursor, and scans that read runs of records: what a cursor
// shows must be what a cursor opened afresh shows, also after changes by other cursors and other
// processes between the calls.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <random>

#include "dbengine/storage/tests/data_cursor_test_util.h"

namespace cursortest {
namespace {

// Everything a cursor shows of its set: count, every record forward with its sequence number,
// every record backward, a record reached by sequence number and the end codes.
struct TView {
  int32_t Count = 0;
  std::vector<std::pair<int32_t, int32_t>> Forward;  // (sequence number, ID)
  std::vector<int32_t> Backward;
  int32_t Middle = -1;
  uint16_t AfterLast = 0, BeforeFirst = 0;
  bool operator==(const TView& O) const {
    return Count == O.Count && Forward == O.Forward && Backward == O.Backward && Middle == O.Middle &&
           AfterLast == O.AfterLast && BeforeFirst == O.BeforeFirst;
  }
};

std::string Describe(const TView& V) {
  std::string S = "count " + std::to_string(V.Count) + ":";
  for (auto& [Seq, Id] : V.Forward) S += " " + std::to_string(Seq) + "/" + std::to_string(Id);
  return S;
}

class RangeScanTest : public CursorTest {
 protected:
  std::string Password;  // of the table, for a child's session
  static int32_t IdOf(TDataCursor* C, const uint8_t* B) { return IntOf(C, 1, B); }
  static std::string NameFor(int I) {
    char S[8];
    std::snprintf(S, sizeof S, "N%03d", I % 500);
    return S;
  }
  // Rows ID 1..N named N000..N499 over and over (six of each name for N = 3000), AGE = ID.
  void Fill(TDataCursor* C, int N) {
    Dir->StartTransaction();
    for (int I = 1; I <= N; ++I) Insert(C, NameFor(I), I);
    Dir->Commit();
  }
  TView Observe(TDataCursor* C) {
    TView V;
    TBuffer B(C->RecordBufferSize);
    V.Count = C->GetRecordCount();
    C->MoveToBegin();
    while (C->GetNextRecord(B.data()) == 0) V.Forward.push_back({C->GetSequenceNumber(), IdOf(C, B.data())});
    V.AfterLast = C->GetCurrentRecord(B.data(), false);
    C->MoveToEnd();
    while (C->GetPriorRecord(B.data()) == 0) V.Backward.push_back(IdOf(C, B.data()));
    V.BeforeFirst = C->GetCurrentRecord(B.data(), false);
    if (V.Count > 0) {
      C->GotoSequence((V.Count + 1) / 2);
      if (C->GetCurrentRecord(B.data(), false) == 0) V.Middle = IdOf(C, B.data()) * 100000 + C->GetSequenceNumber();
    }
    return V;
  }
  // A range by names on BYNAME; an empty text leaves that end open.
  void SetNameRange(TDataCursor* C, const std::string& Low, const std::string& High) {
    TBuffer L = Row(C, Low, 0), H = Row(C, High, 0);
    C->SetRange(false, Low.empty() ? nullptr : L.data(), 1, High.empty() ? nullptr : H.data(), 1);
  }
  TDataCursor* Fresh(const std::string& Low, const std::string& High) {
    TDataCursor* C = OpenPeople();
    C->SetIndexName("BYNAME");
    SetNameRange(C, Low, High);
    return C;
  }
  void ExpectSameAsFresh(TDataCursor* C, const std::string& Low, const std::string& High, const std::string& Why) {
    TDataCursor* F = Fresh(Low, High);
    const TView Got = Observe(C), Want = Observe(F);
    EXPECT_TRUE(Got == Want) << Why << " [" << Low << ", " << High << "]\n got  " << Describe(Got) << "\n want "
                             << Describe(Want);
    F->Close();
  }
  // Runs Body in a child process with a session of its own on the table; the parent waits for it.
  void InChild(const std::function<void(TDataCursor*)>& Body) {
    const pid_t Pid = fork();
    ASSERT_GE(Pid, 0);
    if (Pid == 0) {
      int Status = 1;
      try {
        for (TDataCursor*& X : Cursors) X = nullptr;
        TDataSession* S = new TDataSession();
        if (!Password.empty()) S->AddPassword(Password);
        TDataDirectory* D = S->OpenDirectory("db", Path);
        TDataCursor* K = new TDataCursor(D);
        K->SetTableName("people");
        K->Open();
        Body(K);
        delete K;
        delete S;
        Status = 0;
      } catch (...) {
        Status = 5;
      }
      _exit(Status);
    }
    int Status = 0;
    ASSERT_EQ(waitpid(Pid, &Status, 0), Pid);
    ASSERT_TRUE(WIFEXITED(Status));
    ASSERT_EQ(WEXITSTATUS(Status), 0);
  }
  // Deletes the record with this ID through cursor C (primary index).
  static void DeleteId(TDataCursor* C, int32_t Id) {
    C->SetIndexNo(0);
    TBuffer K(C->RecordBufferSize);
    C->InitRecord(K.data());
    C->PutField(1, K.data(), false, &Id);
    ASSERT_TRUE(C->FindKey(false, K.data(), K.data(), 0, false, 0));
    C->DeleteRecord(K.data(), false);
  }
  static void SetAge(TDataCursor* C, int32_t Id, int32_t Age) {
    C->SetIndexNo(0);
    TBuffer K(C->RecordBufferSize);
    C->InitRecord(K.data());
    C->PutField(1, K.data(), false, &Id);
    ASSERT_TRUE(C->FindKey(false, K.data(), K.data(), 0, false, 0));
    C->PutField(3, K.data(), false, &Age);
    C->ModifyRecord(K.data(), true, false);
  }
};

// The join's inner table: one cursor whose range is set again for every outer row, left at any
// position by the previous range, shows what a cursor opened for that range shows.
TEST_F(RangeScanTest, RangeSetAgainAndAgainShowsWhatAFreshCursorShows) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  Fill(C, 3000);
  C->SetIndexName("BYNAME");
  const std::vector<std::pair<std::string, std::string>> Ranges = {
      {"N000", "N000"},  // the lowest name
      {"N010", "N020"},
      {"N100", "N400"},  // over many leaves
      {"N250", "N249"},  // end below start: empty
      {"M", "N005"},     // starts below every key
      {"N499", "Z"},     // ends above every key
      {"N0505", "N0506"},  // between two names: empty
      {"", "N003"},      // open start
      {"N497", ""},      // open end
      {"N333", "N333"},
  };
  std::mt19937 G(17);
  for (int Round = 0; Round < 40; ++Round) {
    const auto& [Low, High] = Ranges[G() % Ranges.size()];
    SetNameRange(C, Low, High);
    // The rows of the range by name and row number, from the rows as filled.
    std::vector<std::pair<std::string, int32_t>> Model;
    for (int32_t Id = 1; Id <= 3000; ++Id) {
      const std::string Name = NameFor(Id);
      if ((Low.empty() || Name >= Low) && (High.empty() || Name <= High)) Model.push_back({Name, Id});
    }
    std::sort(Model.begin(), Model.end());
    std::vector<std::pair<int32_t, int32_t>> Want;
    for (size_t I = 0; I < Model.size(); ++I) Want.push_back({static_cast<int32_t>(I + 1), Model[I].second});
    EXPECT_EQ(C->GetRecordCount(), static_cast<int32_t>(Want.size())) << Low << " " << High;
    EXPECT_EQ(Observe(C).Forward, Want) << Low << " " << High;
    ExpectSameAsFresh(C, Low, High, "round " + std::to_string(Round));
    // Leave the cursor somewhere inside, at the end or before the start for the next range.
    TBuffer B(C->RecordBufferSize);
    C->MoveToBegin();
    for (int Steps = static_cast<int>(G() % 9); Steps > 0 && C->GetNextRecord(B.data()) == 0; --Steps) {
    }
  }
}

// Keys at and next to the edges of a range change between two settings of it: by another cursor
// of this process, then by another process (seen at the next call even without setting it again).
TEST_F(RangeScanTest, RangeEdgesChangedBetweenSettingsAreSeen) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  TDataCursor* W = OpenPeople();
  Fill(C, 3000);
  C->SetIndexName("BYNAME");
  SetNameRange(C, "N010", "N012");
  ExpectSameAsFresh(C, "N010", "N012", "before changes");
  ASSERT_EQ(C->GetRecordCount(), 18);

  // The first key of the range goes; keys arrive at the end, just above and just below it.
  DeleteId(W, 10);
  Insert(W, "N012", 9001);
  Insert(W, "N013", 9002);
  Insert(W, "N009", 9003);
  SetNameRange(C, "N010", "N012");
  ExpectSameAsFresh(C, "N010", "N012", "after this process's changes");
  EXPECT_EQ(C->GetRecordCount(), 18);

  // Another process deletes the last key of the range and adds one at its start.
  InChild([](TDataCursor* K) {
    TBuffer B(K->RecordBufferSize);
    K->SetIndexNo(0);
    int32_t Id = 3001;  // the N012 row added above
    K->InitRecord(B.data());
    K->PutField(1, B.data(), false, &Id);
    if (!K->FindKey(false, B.data(), B.data(), 0, false, 0)) throw 1;
    K->DeleteRecord(B.data(), false);
    K->InitRecord(B.data());
    char Name[21] = "N010";
    K->PutField(2, B.data(), false, Name);
    int32_t Age = 7;
    K->PutField(3, B.data(), false, &Age);
    K->InsertRecord(B.data(), false);
  });
  ExpectSameAsFresh(C, "N010", "N012", "after another process's changes, range not set again");
  EXPECT_EQ(C->GetRecordCount(), 18);
  SetNameRange(C, "N010", "N012");
  ExpectSameAsFresh(C, "N010", "N012", "after another process's changes, range set again");
}

// Ranges of one name after another, upwards and downwards: each new range lies inside the leaf the
// cursor copied for the one before or begins in the leaf beside it. Then the rows of some names
// multiply and go again, so that the leaves the cursor holds are split and merged between two
// settings: by another cursor of this process and by another process.
TEST_F(RangeScanTest, RangesSetInsideAndBesideTheHeldLeafFollowItsSplitsAndMerges) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  TDataCursor* W = OpenPeople();
  Fill(C, 3000);
  C->SetIndexName("BYNAME");
  // The rows of the table by ID and name, as this test made them.
  std::map<int32_t, std::string> Names;
  for (int32_t Id = 1; Id <= 3000; ++Id) Names[Id] = NameFor(Id);
  auto Expect = [&](const std::string& Low, const std::string& High, const std::string& Why) {
    std::vector<std::pair<std::string, int32_t>> Model;
    for (auto& [Id, Name] : Names)
      if (Name >= Low && Name <= High) Model.push_back({Name, Id});
    std::sort(Model.begin(), Model.end());
    std::vector<std::pair<int32_t, int32_t>> Want;
    for (size_t I = 0; I < Model.size(); ++I) Want.push_back({static_cast<int32_t>(I + 1), Model[I].second});
    SetNameRange(C, Low, High);
    EXPECT_EQ(C->GetRecordCount(), static_cast<int32_t>(Want.size())) << Why << " " << Low << " " << High;
    EXPECT_EQ(Observe(C).Forward, Want) << Why << " " << Low << " " << High;
    // Observe ends inside the range (its leaf copied); past the end, nothing but the next range
    // reads that copy again.
    C->MoveToEnd();
  };
  auto Sweep = [&](int From, int To, const std::string& Why) {
    const int Step = From <= To ? 1 : -1;
    for (int I = From;; I += Step) {
      Expect(NameFor(I), NameFor(I), Why);
      // Two names at once, reaching into the next leaf more often.
      Expect(NameFor(I), NameFor(std::min(I + 1, 499)), Why);
      if (I == To) break;
    }
  };
  Sweep(0, 499, "upwards");
  Sweep(499, 0, "downwards");

  // Rows of two neighbouring names by the hundred split the leaves around them; their deletion
  // merges them again. Each time the cursor holds a leaf of those names, its range starting inside
  // it, while another cursor or another process changes the tree.
  int32_t NextId = 3001;
  for (int K : {50, 150, 250, 350, 450}) {
    const std::string A = NameFor(K), B = NameFor(K + 1);
    for (bool Child : {false, true}) {
      const std::string Why = (Child ? "another process, " : "this process, ") + A;
      auto Change = [&](const std::function<void(TDataCursor*)>& Body) {
        if (Child)
          InChild(Body);
        else
          Body(W);
      };
      Expect(A, B, Why + ", before");
      Change([&](TDataCursor* X) {
        for (int I = 0; I < 300; ++I) Insert(X, I % 2 ? B : A, 0);
      });
      for (int32_t Id = NextId; Id < NextId + 300; ++Id) Names[Id] = (Id - NextId) % 2 ? B : A;
      Expect(B, B, Why + ", split");
      Expect(A, A, Why + ", split");
      Expect(A, B, Why + ", split");
      Change([&](TDataCursor* X) {
        for (int32_t Id = NextId; Id < NextId + 300; ++Id) DeleteId(X, Id);
      });
      for (int32_t Id = NextId; Id < NextId + 300; ++Id) Names.erase(Id);
      NextId += 300;
      Expect(B, B, Why + ", merged");
      Expect(A, B, Why + ", merged");
    }
  }
}

// A cursor reads the positions of its range in the index leaf its last descent met, where the index
// file keeps it. With no budget for kept pages, another cursor reading the index from end to end
// between two calls pushes that leaf out of memory and other leaves take its page objects: the
// cursor reads its leaf again rather than what took its place.
TEST_F(RangeScanTest, RangeReadsItsLeafAgainWhenTheLeafLeftMemoryBetweenCalls) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  TDataCursor* W = OpenPeople();
  Fill(C, 3000);
  Session->LookupBudget.SetLimit(0);
  C->SetIndexName("BYNAME");
  W->SetIndexName("BYNAME");
  TBuffer B(C->RecordBufferSize);
  for (int I : {3, 120, 260, 499}) {
    const std::string Name = NameFor(I);
    SetNameRange(C, Name, Name);
    C->MoveToBegin();
    ASSERT_EQ(C->GetNextRecord(B.data()), 0);
    std::vector<int32_t> Ids = {IdOf(C, B.data())};
    W->MoveToBegin();
    int Rows = 0;
    while (W->GetNextRecord(B.data()) == 0) ++Rows;
    ASSERT_EQ(Rows, 3000);
    while (C->GetNextRecord(B.data()) == 0) Ids.push_back(IdOf(C, B.data()));
    std::vector<int32_t> Want;
    for (int32_t Id = I; Id <= 3000; Id += 500) Want.push_back(Id);
    EXPECT_EQ(Ids, Want) << Name;
    W->MoveToBegin();
    while (W->GetNextRecord(B.data()) == 0) {
    }
    ExpectSameAsFresh(C, Name, Name, "after the leaf left memory");
  }
}

// A scan in index order without a range stands inside a leaf when keys next to its position
// change: by another cursor of this process, then by another process.
TEST_F(RangeScanTest, IndexScanSeesKeysChangedNextToItsPosition) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  TDataCursor* W = OpenPeople();
  Fill(C, 3000);
  C->SetIndexName("BYNAME");
  TBuffer B(C->RecordBufferSize);
  auto Check = [&](const std::function<void(int32_t Next)>& Change, const std::string& Why) {
    C->MoveToBegin();
    for (int I = 0; I < 100; ++I) ASSERT_EQ(C->GetNextRecord(B.data()), 0);
    const int32_t Here = IdOf(C, B.data());
    ASSERT_EQ(C->GetNextRecord(B.data()), 0);
    const int32_t Next = IdOf(C, B.data());
    ASSERT_EQ(C->GetPriorRecord(B.data()), 0);
    ASSERT_EQ(IdOf(C, B.data()), Here);
    Change(Next);
    std::vector<std::pair<int32_t, int32_t>> Rest;
    while (C->GetNextRecord(B.data()) == 0) Rest.push_back({C->GetSequenceNumber(), IdOf(C, B.data())});
    TDataCursor* F = Fresh("", "");
    const TView All = Observe(F);
    F->Close();
    auto It = std::find_if(All.Forward.begin(), All.Forward.end(), [&](auto& E) { return E.second == Here; });
    ASSERT_NE(It, All.Forward.end()) << Why;
    const std::vector<std::pair<int32_t, int32_t>> Want(It + 1, All.Forward.end());
    EXPECT_EQ(Rest, Want) << Why;
  };
  Check(
      [&](int32_t Next) {
        DeleteId(W, Next);
        Insert(W, "N016", 1);  // next to the position: six N016 rows lie within the first 100 keys
      },
      "this process");
  Check(
      [&](int32_t Next) {
        InChild([Next](TDataCursor* K) {
          TBuffer Row(K->RecordBufferSize);
          int32_t Id = Next;
          K->InitRecord(Row.data());
          K->PutField(1, Row.data(), false, &Id);
          if (!K->FindKey(false, Row.data(), Row.data(), 0, false, 0)) throw 1;
          K->DeleteRecord(Row.data(), false);
          K->InitRecord(Row.data());
          char Name[21] = "N016";
          K->PutField(2, Row.data(), false, Name);
          K->InsertRecord(Row.data(), false);
        });
      },
      "another process");
}

// Scans read runs of consecutive records: the runs end at their size and at deleted records, and a
// record changed while a scan stands inside a run is read as it is now.
struct TScanCase {
  const char* Name;
  bool Encrypted;
  uint8_t Index;  // kNaturalOrderIndex or the primary index
};

class RunScanTest : public RangeScanTest, public ::testing::WithParamInterface<TScanCase> {};

TEST_P(RunScanTest, ScanAcrossRunsWithDeletedAndChangedRecords) {
  const TScanCase& Case = GetParam();
  TCreateTableParams P;
  P.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("NAME", ftString, 20), Field("AGE", ftInteger)};
  P.Indexes = {Index("", {1}, true), Index("BYNAME", {2}, false)};
  P.Encrypted = Case.Encrypted;
  P.Password = Case.Encrypted ? "secret" : "";
  if (Case.Encrypted) {
    Password = "secret";
    Session->AddPassword(Password);
  }
  Create("people", P);
  TDataCursor* C = OpenPeople();
  TDataCursor* W = OpenPeople();
  const int N = 5000;  // about three runs of 65,535 bytes of 40-byte records
  Fill(C, N);
  std::vector<int32_t> Want;
  Dir->StartTransaction();
  for (int32_t Id = 1; Id <= N; ++Id) {
    // Every seventh record and a block across the end of the first run are deleted.
    if (Id % 7 == 0 || (Id >= 1630 && Id <= 1645))
      DeleteId(W, Id);
    else
      Want.push_back(Id);
  }
  Dir->Commit();
  C->SetIndexNo(Case.Index);

  TBuffer B(C->RecordBufferSize);
  std::vector<int32_t> Got;
  C->MoveToBegin();
  while (C->GetNextRecord(B.data()) == 0) {
    Got.push_back(IdOf(C, B.data()));
    EXPECT_EQ(IntOf(C, 3, B.data()), Got.back());
  }
  EXPECT_EQ(Got, Want);

  // Changes ahead of a scan, in the run it stands in and in later ones. The scanning cursor has a
  // session of its own, whose record cache holds nothing yet: it reads the records in runs.
  TDataSession* S2 = new TDataSession();
  if (!Password.empty()) S2->AddPassword(Password);
  TDataDirectory* D2 = S2->OpenDirectory("db", Path);
  auto* Scanner = new TDataCursor(D2);
  auto* Writer2 = new TDataCursor(D2);
  for (TDataCursor* X : {Scanner, Writer2}) {
    X->SetTableName("people");
    X->Open();
  }
  Scanner->SetIndexNo(Case.Index);
  C = Scanner;
  auto ScanTo = [&](int32_t Id) {
    C->MoveToBegin();
    while (C->GetNextRecord(B.data()) == 0 && IdOf(C, B.data()) < Id) {
    }
    ASSERT_EQ(IdOf(C, B.data()), Id);
  };
  auto Rest = [&]() {
    std::vector<std::pair<int32_t, int32_t>> R;
    while (C->GetNextRecord(B.data()) == 0) R.push_back({IdOf(C, B.data()), IntOf(C, 3, B.data())});
    return R;
  };
  auto Find = [](const std::vector<std::pair<int32_t, int32_t>>& R, int32_t Id) {
    for (auto& [I, Age] : R)
      if (I == Id) return Age;
    return -1;
  };
  // Another cursor of the scanner's own session.
  ScanTo(1000);
  SetAge(Writer2, 1200, -1200);  // same run
  DeleteId(Writer2, 1300);       // same run
  SetAge(Writer2, 2500, -2500);  // a later run
  auto R = Rest();
  EXPECT_EQ(Find(R, 1200), -1200);
  EXPECT_EQ(Find(R, 1300), -1);
  EXPECT_EQ(Find(R, 2500), -2500);
  EXPECT_EQ(Find(R, 1201), 1201);
  // A cursor of another session in this process.
  ScanTo(3000);
  SetAge(W, 3001, -3001);
  SetAge(W, 3501, -3501);
  R = Rest();
  EXPECT_EQ(Find(R, 3001), -3001);
  EXPECT_EQ(Find(R, 3501), -3501);
  EXPECT_EQ(Find(R, 3002), 3002);
  // Another process.
  ScanTo(2000);
  InChild([](TDataCursor* K) {
    TBuffer Row(K->RecordBufferSize);
    for (int32_t Id : {2001, 2400, 4000}) {
      K->InitRecord(Row.data());
      K->PutField(1, Row.data(), false, &Id);
      if (!K->FindKey(false, Row.data(), Row.data(), 0, false, 0)) throw 1;
      int32_t Age = -Id;
      K->PutField(3, Row.data(), false, &Age);
      K->ModifyRecord(Row.data(), true, false);
    }
  });
  R = Rest();
  EXPECT_EQ(Find(R, 2001), -2001);
  EXPECT_EQ(Find(R, 2400), -2400);
  EXPECT_EQ(Find(R, 4000), -4000);
  EXPECT_EQ(Find(R, 2003), 2003);
  delete Scanner;
  delete Writer2;
  delete S2;
}

INSTANTIATE_TEST_SUITE_P(Cases, RunScanTest,
                         ::testing::Values(TScanCase{"NaturalOrder", false, kNaturalOrderIndex},
                                           TScanCase{"PrimaryIndex", false, 0},
                                           TScanCase{"EncryptedNaturalOrder", true, kNaturalOrderIndex},
                                           TScanCase{"EncryptedPrimaryIndex", true, 0}),
                         [](const ::testing::TestParamInfo<TScanCase>& I) { return std::string(I.param.Name); });

}  // namespace
}  // namespace cursortest
