// The physical sort of result-like tables (no primary key, no indexes): order, DISTINCT, groups
// with their callbacks, and a table that stays usable (navigation, writes, filters) afterwards.
#include <algorithm>
#include <filesystem>

#include "dbengine/storage/tests/data_cursor_test_util.h"

using namespace cursortest;

namespace {

class SortTest : public CursorTest {
 protected:
  // NAME string 10, QTY integer; no primary key.
  TDataCursor* Result(bool Exclusive = true) {
    TCreateTableParams P;
    P.Fields = {Field("NAME", ftString, 10), Field("QTY", ftInteger)};
    P.Indexes = {Index("", {}, true)};
    Create("result", P);
    TDataCursor* C = NewCursor("result", Exclusive);
    C->Open();
    return C;
  }
  void Add(TDataCursor* C, const char* Name, int32_t Qty) {
    TBuffer B(C->RecordBufferSize);
    C->InitRecord(B.data());
    char S[11] = {};
    std::strncpy(S, Name, 10);
    C->PutField(1, B.data(), false, S);
    C->PutField(2, B.data(), false, &Qty);
    C->InsertRecord(B.data(), false);
  }
  static std::vector<std::string> Rows(TDataCursor* C) {
    std::vector<std::string> R;
    TBuffer B(C->RecordBufferSize);
    C->MoveToBegin();
    while (C->GetNextRecord(B.data()) == 0) {
      char S[16] = {};
      bool Blank;
      int32_t Q = 0;
      C->GetField(1, B.data(), Blank, S);
      C->GetField(2, B.data(), Blank, &Q);
      R.push_back(std::string(S) + ":" + std::to_string(Q));
    }
    return R;
  }
  void FillSample(TDataCursor* C) {
    const std::pair<const char*, int32_t> Data[] = {{"b", 2}, {"a", 5}, {"c", 1}, {"a", 1}, {"b", 2},
                                                    {"x", 9}, {"a", 3}, {"c", 7}};
    for (const auto& [N, Q] : Data) Add(C, N, Q);
    // One record deleted: it must not come back.
    C->MoveToBegin();
    TBuffer B(C->RecordBufferSize);
    for (int I = 0; I < 6; ++I) C->GetNextRecord(B.data());
    C->DeleteRecord(B.data(), true);  // x:9
  }
};

TEST_F(SortTest, SortsByKeysWithTheirDirectionsKeepingCreationOrderForEqualKeys) {
  TDataCursor* C = Result();
  FillSample(C);
  C->SortTable({1, 2}, {false, true}, false, false, false);
  EXPECT_EQ(Rows(C), (std::vector<std::string>{"a:5", "a:3", "a:1", "b:2", "b:2", "c:7", "c:1"}));
  EXPECT_EQ(C->GetRecordCount(), 7);
  // Equal keys in creation order: c:1 was made before a:1.
  C->SortTable({2}, {}, false, false, false);
  EXPECT_EQ(Rows(C), (std::vector<std::string>{"c:1", "a:1", "b:2", "b:2", "a:3", "a:5", "c:7"}));
  // The table stays sound: a new row, a delete and a filter after the sort. The deleted record
  // went to the end (record 8), the new one is record 9.
  Add(C, "z", 0);
  EXPECT_EQ(C->GetRecordCount(), 8);
  C->ActivateFilter(C->AddFilter(nullptr, "", false, false, true, false,
                                 [](void*, const uint8_t*, uint32_t N) { return N % 2 == 1; }, false));
  EXPECT_EQ(C->GetRecordCount(), 5);
  C->DropFilter(nullptr);
  TBuffer B(C->RecordBufferSize);
  C->MoveToBegin();
  C->GetNextRecord(B.data());
  C->DeleteRecord(B.data(), true);
  EXPECT_EQ(Rows(C), (std::vector<std::string>{"a:1", "b:2", "b:2", "a:3", "a:5", "c:7", "z:0"}));
  C->Close();
  C->Open();
  EXPECT_EQ(C->GetRecordCount(), 7);
}

TEST_F(SortTest, DistinctAndGroupsMakeOneRowPerKey) {
  TDataCursor* C = Result();
  FillSample(C);
  C->SortTable({1, 2}, {}, false, true, false);
  EXPECT_EQ(Rows(C), (std::vector<std::string>{"a:1", "a:3", "a:5", "b:2", "c:1", "c:7"}));
  EXPECT_EQ(C->GetRecordCount(), 6);
  // Groups by NAME summing QTY; a group whose sum is below 5 is dropped.
  TSortGroupCallbacks G;
  uint8_t D[kFieldDescriptorSize];
  C->GetFieldDesc(2, D);
  const uint16_t Q = FieldDescOffset(D) + 1;
  bool Fresh = true;
  G.Accumulate = [&](uint8_t* Row, const uint8_t* Record) {
    StoreU32(Row + Q, (Fresh ? 0 : LoadU32(Row + Q)) + LoadU32(Record + Q));
    Fresh = false;
  };
  G.Finish = [&](uint8_t*) { Fresh = true; };
  G.Keep = [&](const uint8_t* Row) { return LoadU32(Row + Q) >= 5; };
  C->SortTable({1}, {}, false, false, true, G);
  // a: 1+3+5, b: 2+2 dropped, c: 1+7.
  EXPECT_EQ(Rows(C), (std::vector<std::string>{"a:9", "c:8"}));
  EXPECT_EQ(C->GetRecordCount(), 2);
}

TEST_F(SortTest, OnlyExclusiveNaturalOrderTablesAreSorted) {
  TDataCursor* C = Result(false);
  Add(C, "b", 1);
  EXPECT_EQ(RaisedCode([&] { C->SortTable({1}, {}, false, false, false); }), ecNeedExclusive);
  CreatePeople();
  TDataCursor* P = OpenPeople(true);
  Insert(P, "Zed", 1);
  Insert(P, "Abe", 2);
  P->SwitchIndex(kNaturalOrderIndex);
  P->SortTable({2}, {}, false, false, false);
  EXPECT_EQ(Scan(P), (std::vector<std::string>{"Zed", "Abe"}));
}

}  // namespace

namespace {

TEST_F(SortTest, TheIndexFileIsBackedUpAndRestored) {
  CreatePeople();
  TDataCursor* C = OpenPeople(true);
  Insert(C, "Abe", 1);
  Insert(C, "Zed", 2);
  const int Indexes = C->GetIndexCount();
  C->BackupIndexFile();
  EXPECT_TRUE(std::filesystem::exists(Path + "people.IBK"));
  C->AddIndex(Index("BYAGE", {3}, false));
  ASSERT_EQ(C->GetIndexCount(), Indexes + 1);
  C->RestoreIndexFile(false, true);
  EXPECT_EQ(C->GetIndexCount(), Indexes);
  EXPECT_FALSE(std::filesystem::exists(Path + "people.IBK"));
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Abe", "Zed"}));
  C->SetIndexName("BYNAME");
  EXPECT_EQ(C->GetRecordCount(), 2);
  C->Close();
  C->Open();
  EXPECT_EQ(C->GetIndexCount(), Indexes);
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Abe", "Zed"}));
  // Skip leaves the index file alone; without a backup a restore is refused.
  C->BackupIndexFile();
  C->RestoreIndexFile(true, true);
  EXPECT_FALSE(std::filesystem::exists(Path + "people.IBK"));
  EXPECT_NE(RaisedCode([&] { C->RestoreIndexFile(false, false); }), 0);
  C->Close();
  TDataCursor* D = OpenPeople(false);
  EXPECT_EQ(RaisedCode([&] { D->BackupIndexFile(); }), ecNeedExclusive);
}

}  // namespace
