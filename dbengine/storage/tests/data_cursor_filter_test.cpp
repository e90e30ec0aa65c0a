// Cursor filters with record callbacks (no expression library): the visible set in natural and
// index order, counts, positions and navigation over it, writes under a filter, the filter list's
// limits, ranges with filters, key arithmetic and clones.
#include <algorithm>
#include <set>

#include "dbengine/storage/index_file.h"
#include "dbengine/storage/tests/data_cursor_test_util.h"

using namespace cursortest;

namespace {

class FilterTest : public CursorTest {
 protected:
  // people: "P000".."P(n-1)" in reverse name order of insertion, AGE = i % 10 (NULL for every 7th).
  TDataCursor* Filled(int N) {
    CreatePeople();
    TDataCursor* C = OpenPeople();
    for (int I = 0; I < N; ++I) {
      char Name[8];
      std::snprintf(Name, sizeof Name, "P%03d", N - 1 - I);
      TBuffer B = Row(C, Name, I % 10, I % 7 == 3);
      C->InsertRecord(B.data(), false);
    }
    return C;
  }
  static TFilterCallback AgeBelow(int Limit) {
    return [Limit](void*, const uint8_t* Rec, uint32_t) {
      // AGE: null byte then 4 bytes at the offset Locate found.
      return Rec != nullptr && Rec[IntOffset] != 0 && LoadU32(Rec + IntOffset + 1) < static_cast<uint32_t>(Limit);
    };
  }
  static inline int IntOffset = 0;
  void Locate(TDataCursor* C) {
    uint8_t D[kFieldDescriptorSize];
    C->GetFieldDesc(3, D);
    IntOffset = FieldDescOffset(D);
  }
  std::vector<std::string> Expected(int N, int Limit, bool ByName) {
    std::vector<std::string> R;
    for (int I = 0; I < N; ++I) {
      if (I % 7 == 3 || I % 10 >= Limit) continue;
      char Name[8];
      std::snprintf(Name, sizeof Name, "P%03d", N - 1 - I);
      R.push_back(Name);
    }
    if (ByName) std::sort(R.begin(), R.end());
    return R;
  }
};

TEST(KeyArithmetic, IncrementAndDecrementCarryAndStopAtTheEnds) {
  struct TCase {
    std::vector<uint8_t> Key;
    bool Up;
    std::vector<uint8_t> Expect;
  };
  const TCase Cases[] = {{{0x00, 0xFF}, true, {0x01, 0x00}},  {{0xFF, 0xFF}, true, {0xFF, 0xFF}},
                         {{0x00, 0x00}, false, {0x00, 0x00}}, {{0x01, 0x00}, false, {0x00, 0xFF}},
                         {{0x12, 0x34}, true, {0x12, 0x35}},  {{0x7F, 0xFF, 0xFF}, true, {0x80, 0x00, 0x00}}};
  for (const TCase& T : Cases) {
    std::vector<uint8_t> K = T.Key;
    if (T.Up)
      TDataCursor::IncrementKey(K.data(), static_cast<int>(K.size()));
    else
      TDataCursor::DecrementKey(K.data(), static_cast<int>(K.size()));
    EXPECT_EQ(K, T.Expect);
  }
}

TEST_F(FilterTest, CallbackFilterNarrowsNaturalAndIndexOrder) {
  TDataCursor* C = Filled(200);
  Locate(C);
  TFilterHandle H = C->AddFilter(nullptr, "", false, false, true, true, AgeBelow(4), false);
  EXPECT_EQ(H->Optimization, 0);
  EXPECT_EQ(C->GetRecordCount(), 200);  // added, not active
  C->ActivateFilter(H);
  std::vector<std::string> Natural = Expected(200, 4, false);
  EXPECT_EQ(C->GetRecordCount(), static_cast<int32_t>(Natural.size()));
  // Primary index (ID = insertion order) gives the same order as the record numbers here.
  EXPECT_EQ(Scan(C), Natural);
  C->SetIndexName("BYNAME");
  std::vector<std::string> ByName = Expected(200, 4, true);
  EXPECT_EQ(C->GetRecordCount(), static_cast<int32_t>(ByName.size()));
  EXPECT_EQ(Scan(C), ByName);
  // Positions: GotoSequence and GetSequenceNumber agree, backwards navigation too.
  TBuffer B(C->RecordBufferSize);
  for (int32_t N : {1, 7, 33, static_cast<int32_t>(ByName.size())}) {
    C->GotoSequence(N);
    ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
    EXPECT_EQ(NameOf(C, B.data()), ByName[static_cast<size_t>(N - 1)]);
    EXPECT_EQ(C->GetSequenceNumber(), N);
  }
  C->MoveToEnd();
  std::vector<std::string> Back;
  while (C->GetPriorRecord(B.data()) == 0) Back.push_back(NameOf(C, B.data()));
  std::reverse(Back.begin(), Back.end());
  EXPECT_EQ(Back, ByName);
  C->GotoSequence(static_cast<int32_t>(ByName.size()) + 1);
  EXPECT_EQ(C->GetCurrentRecord(B.data(), false), ecEndOfFile);
  // Natural order again.
  C->SwitchIndex(kNaturalOrderIndex);
  EXPECT_EQ(Scan(C), Natural);
  C->DeactivateFilter(H);
  EXPECT_EQ(C->GetRecordCount(), 200);
  C->SetIndexName("BYNAME");
  EXPECT_EQ(C->GetRecordCount(), 200);
  C->ActivateFilter(nullptr);
  EXPECT_EQ(C->GetRecordCount(), static_cast<int32_t>(ByName.size()));
  C->DropFilter(nullptr);
  EXPECT_TRUE(C->Filters.empty());
  EXPECT_EQ(C->GetRecordCount(), 200);
}

TEST_F(FilterTest, FilterLimitsAndUnknownHandles) {
  TDataCursor* C = Filled(3);
  auto Pass = [](void*, const uint8_t*, uint32_t) { return true; };
  for (int I = 0; I < kMaxCursorFilters; ++I) C->AddFilter(nullptr, "", false, false, true, false, Pass, false);
  EXPECT_EQ(RaisedCode([&] { C->AddFilter(nullptr, "", false, false, true, false, Pass, false); }),
            ecTooManyFilters);
  int Other = 0;
  TFilterHandle Bogus = reinterpret_cast<TFilterHandle>(&Other);
  EXPECT_EQ(RaisedCode([&] { C->DropFilter(Bogus); }), ecInvalidFilterHandle);
  EXPECT_EQ(RaisedCode([&] { C->ActivateFilter(Bogus); }), ecInvalidFilterHandle);
  EXPECT_EQ(RaisedCode([&] { C->DeactivateFilter(Bogus); }), ecInvalidFilterHandle);
  TFilterHandle First = C->Filters.front();
  C->DropFilter(First);
  EXPECT_EQ(C->Filters.size(), static_cast<size_t>(kMaxCursorFilters - 1));
  EXPECT_EQ(RaisedCode([&] { C->DropFilter(First); }), ecInvalidFilterHandle);
  // Without the expression library a text filter is a filter error.
  if (CursorExpressionCompiler() == nullptr) {
    EXPECT_EQ(RaisedCode([&] { C->AddFilter(nullptr, "AGE > 1", false, false, true, false, nullptr, true); }),
              ecFilterError);
  }
}

TEST_F(FilterTest, CallbackEvaluatedLastSeesOnlyWhatTheOthersPassed) {
  TDataCursor* C = Filled(100);
  Locate(C);
  std::set<uint32_t> SeenByLast;
  TFilterHandle Last = C->AddFilter(
      nullptr, "", false, false, true, true,
      [&](void*, const uint8_t*, uint32_t N) {
        SeenByLast.insert(N);
        return N % 2 == 0;
      },
      false);
  TFilterHandle Young = C->AddFilter(nullptr, "", false, false, true, false, AgeBelow(3), false);
  ASSERT_EQ(C->Filters.size(), 2u);
  EXPECT_EQ(C->Filters.front(), Young);  // placed before the one evaluated last
  C->ActivateFilter(nullptr);
  std::set<uint32_t> Young3;
  for (uint32_t R = 1; R <= 100; ++R) {
    int I = static_cast<int>(R) - 1;
    if (I % 7 != 3 && I % 10 < 3) Young3.insert(R);
  }
  EXPECT_EQ(SeenByLast, Young3);
  int Even = 0;
  for (uint32_t R : Young3) Even += R % 2 == 0;
  EXPECT_EQ(C->GetRecordCount(), Even);
  (void)Last;
}

TEST_F(FilterTest, WritesUnderAFilterKeepTheVisibleSetRight) {
  for (bool ByName : {false, true}) {
    SCOPED_TRACE(ByName ? "index order" : "natural order");
    if (ByName) {
      TearDown();
      SetUp();
    }
    TDataCursor* C = Filled(20);
    Locate(C);
    if (ByName) C->SetIndexName("BYNAME");
    C->ActivateFilter(C->AddFilter(nullptr, "", false, false, true, true, AgeBelow(5), false));
    const int32_t Before = C->GetRecordCount();
    // A passing insert shows, a failing one does not.
    TBuffer In = Row(C, "AAA", 1);
    C->InsertRecord(In.data(), true);
    EXPECT_EQ(C->GetRecordCount(), Before + 1);
    TBuffer B(C->RecordBufferSize);
    ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
    EXPECT_EQ(NameOf(C, B.data()), "AAA");
    TBuffer Out = Row(C, "ZZZ", 9);
    C->InsertRecord(Out.data(), false);
    EXPECT_EQ(C->GetRecordCount(), Before + 1);
    // Modified to fail: it leaves the set and the cursor stands on a visible record.
    C->MoveToBegin();
    ASSERT_EQ(C->GetNextRecord(B.data()), 0);
    const std::string Name = NameOf(C, B.data());
    ASSERT_EQ(C->GetCurrentRecord(B.data(), true), 0);
    int32_t Nine = 9;
    C->PutField(3, B.data(), false, &Nine);
    C->ModifyRecord(B.data(), true, true);
    EXPECT_EQ(C->GetRecordCount(), Before);
    std::vector<std::string> Names = Scan(C);
    EXPECT_EQ(std::count(Names.begin(), Names.end(), Name), 0);
    EXPECT_EQ(static_cast<int32_t>(Names.size()), Before);
    // A deleted record is never visible.
    C->MoveToBegin();
    ASSERT_EQ(C->GetNextRecord(B.data()), 0);
    C->DeleteRecord(B.data(), true);
    EXPECT_EQ(C->GetRecordCount(), Before - 1);
    EXPECT_EQ(static_cast<int32_t>(Scan(C).size()), Before - 1);
    // Another cursor's change is seen at the next read.
    TDataCursor* D = OpenPeople();
    TBuffer New = Row(D, "BBB", 2);
    D->InsertRecord(New.data(), false);
    C->MoveToBegin();
    EXPECT_EQ(C->GetRecordCount(), Before);
  }
}

TEST_F(FilterTest, RangeAndFilterInIndexOrder) {
  TDataCursor* C = Filled(1000);
  Locate(C);
  C->SetIndexName("BYNAME");
  // A range over 900 of the 1000 names: the range set built from the records outside it must give
  // the same records as the range itself.
  TBuffer Lo = Row(C, "P050", 0), Hi = Row(C, "P949", 0);
  C->SetRange(false, Lo.data(), 1, Hi.data(), 1);
  EXPECT_EQ(C->GetRecordCount(), 900);
  C->ActivateFilter(C->AddFilter(nullptr, "", false, false, true, false,
                                 [](void*, const uint8_t*, uint32_t) { return true; }, false));
  EXPECT_EQ(C->GetRecordCount(), 900);
  std::vector<std::string> Names = Scan(C);
  ASSERT_EQ(Names.size(), 900u);
  EXPECT_EQ(Names.front(), "P050");
  EXPECT_EQ(Names.back(), "P949");
  // A small range is marked directly.
  TBuffer Lo2 = Row(C, "P100", 0), Hi2 = Row(C, "P109", 0);
  C->SetRange(false, Lo2.data(), 1, Hi2.data(), 1);
  EXPECT_EQ(Scan(C).size(), 10u);
  // Key ranges counted and marked through the index agree with the range.
  bool Aborted = false;
  uint8_t Low[kCursorKeyBufferSize], High[kCursorKeyBufferSize];
  std::memcpy(Low, C->RangeStartKey, sizeof Low);
  std::memcpy(High, C->RangeEndKey, sizeof High);
  EXPECT_EQ(C->CountKeyRange(Low, High, Aborted), 10);
  EXPECT_FALSE(Aborted);
  TRecordsBitmap* B = GetRecordsBitmap();
  C->MarkKeyRange(Low, High, Aborted, *B);
  EXPECT_EQ(B->CountSet(), 10);
  EXPECT_EQ(C->CountKeyRange(High, Low, Aborted), 0);
  PutRecordsBitmap(B);
}

TEST_F(FilterTest, CloneStandsOnTheSameRecordWithTheSameFiltersAndMovesAlone) {
  TDataCursor* C = Filled(50);
  Locate(C);
  C->SetIndexName("BYNAME");
  TFilterHandle H = C->AddFilter(nullptr, "", false, false, true, true, AgeBelow(5), false);
  C->ActivateFilter(H);
  C->AddFilter(nullptr, "", false, false, true, false, [](void*, const uint8_t*, uint32_t) { return false; }, false);
  C->GotoSequence(4);
  TBuffer B(C->RecordBufferSize), K(C->RecordBufferSize);
  ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
  TDataCursor* Clone = C->CloneCursor();
  Cursors.push_back(Clone);
  EXPECT_EQ(Clone->Table, C->Table);
  EXPECT_EQ(Clone->IndexName, "BYNAME");
  // The filter evaluated last stays behind the other one, and keeps its state.
  ASSERT_EQ(Clone->Filters.size(), 2u);
  EXPECT_FALSE(Clone->Filters[0]->Active);
  EXPECT_TRUE(Clone->Filters[1]->Active);
  EXPECT_TRUE(Clone->Filters[1]->EvaluateLast);
  EXPECT_EQ(Clone->GetRecordCount(), C->GetRecordCount());
  ASSERT_EQ(Clone->GetCurrentRecord(K.data(), false), 0);
  EXPECT_EQ(NameOf(Clone, K.data()), NameOf(C, B.data()));
  EXPECT_EQ(Clone->GetSequenceNumber(), 4);
  Clone->GetNextRecord(K.data());
  EXPECT_EQ(C->GetSequenceNumber(), 4);
  EXPECT_EQ(Clone->GetSequenceNumber(), 5);
}

TEST_F(FilterTest, CloneOfAnExclusiveCursorOpensOnTheSameTable) {
  CreatePeople();
  TDataCursor* C = OpenPeople(true);
  Insert(C, "A", 1);
  Insert(C, "B", 2);
  C->ActivateFilter(C->AddFilter(nullptr, "", false, false, true, false,
                                 [](void*, const uint8_t*, uint32_t N) { return N == 2; }, false));
  C->MoveToBegin();
  TBuffer B(C->RecordBufferSize);
  ASSERT_EQ(C->GetNextRecord(B.data()), 0);
  TDataCursor* Clone = C->CloneCursor();
  Cursors.push_back(Clone);
  EXPECT_TRUE(Clone->Cloned);
  EXPECT_EQ(Clone->GetRecordCount(), 1);
  ASSERT_EQ(Clone->GetCurrentRecord(B.data(), false), 0);
  EXPECT_EQ(NameOf(Clone, B.data()), "B");
}

TEST_F(FilterTest, CloneOfAnEncryptedTableOpensWithoutTheSessionKnowingThePassword) {
  TCreateTableParams P;
  P.Fields = {Field("A", ftInteger)};
  P.Indexes = {Index("", {1}, true)};
  P.Encrypted = true;
  P.Password = "Tajne1";
  Create("secret", P);
  TDataCursor* C = NewCursor("secret");
  // The handler is asked with the session it was given and adds the password.
  int Asked = 0;
  C->SetPasswordHandler(Session, [&](void* S) {
    ++Asked;
    static_cast<TDataSession*>(S)->AddPassword("Tajne1");
    return true;
  });
  C->Open();
  EXPECT_EQ(Asked, 1);
  int32_t V = 5;
  TBuffer B(C->RecordBufferSize);
  C->InitRecord(B.data());
  C->PutField(1, B.data(), false, &V);
  C->InsertRecord(B.data(), true);
  Session->RemovePassword("Tajne1");
  TDataCursor* Clone = C->CloneCursor();
  Cursors.push_back(Clone);
  EXPECT_EQ(Clone->GetRecordCount(), 1);
  EXPECT_FALSE(Session->HasPassword("Tajne1"));
  TDataCursor* D = NewCursor("secret");
  EXPECT_EQ(RaisedCode([&] { D->Open(); }), ecNoRights);
}

}  // namespace
