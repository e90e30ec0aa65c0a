// Restructuring tables on disk and in memory: values, row numbers and the last auto-increment value
// survive every way of restructuring, a value that does not convert leaves the old files as they
// were, and a failure while the new files take the old ones' place restores the old files.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>

#include "dbengine/storage/journal.h"
#include "dbengine/storage/tests/data_cursor_test_util.h"

namespace {

using namespace cursortest;

std::string ReadFileBytes(const std::string& Name) {
  std::ifstream F(Name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(F), std::istreambuf_iterator<char>());
}

class RestructureTest : public CursorTest {
 protected:
  void SetUp() override {
    CursorTest::SetUp();
    Private = Path + "priv/";
    std::filesystem::create_directories(Private);
    Session->SetPrivateDir(Private);
  }
  void TearDown() override {
    RestructureStepHook = nullptr;
    CursorTest::TearDown();
  }
  // people: ID autoinc, NAME string 20, AGE integer; 5 rows, row 2 and 4 deleted, so the row
  // numbers left are 1, 3, 5 and the last auto-increment value is 5.
  void Fill() {
    CreatePeople();
    TDataCursor* C = OpenPeople(true);
    for (auto [Name, Age] : std::vector<std::pair<std::string, int>>{
             {"ala", 30}, {"bob", 40}, {"cyryl", 50}, {"dan", 60}, {"ewa", 70}})
      Insert(C, Name, Age);
    TBuffer B(C->RecordBufferSize);
    C->SetIndexNo(0);
    for (int Id : {2, 4}) {
      C->MoveToBegin();
      while (C->GetNextRecord(B.data()) == 0)
        if (IntOf(C, 1, B.data()) == Id) {
          C->DeleteRecord(B.data(), false);
          break;
        }
    }
    C->Close();
  }
  // The present definition of a table as the restructure takes it.
  TRestructureParams Current(const std::string& Table = "people") {
    TDataCursor* C = NewCursor(Table, true);
    C->Open();
    TRestructureParams P;
    for (int I = 1; I <= C->FieldCount; ++I) {
      std::array<uint8_t, 768> D{};
      C->GetPhysicalFieldDesc(I, D.data());
      P.Fields.push_back(D);
    }
    for (int I = 0; I <= C->GetIndexCount(); ++I) {
      std::array<uint8_t, 120> D{};
      C->GetIndexDesc(static_cast<uint8_t>(I), D.data());
      P.Indexes.push_back(D);
    }
    P.Description = C->GetDescription();
    P.Encrypted = C->IsEncrypted();
    P.Password = C->GetPassword();
    P.LanguageID = C->GetLanguageID();
    P.SortID = C->GetSortID();
    C->Close();
    return P;
  }
  void Restructure(TRestructureParams P, const std::string& Table = "people") {
    TDataCursor* C = NewCursor(Table, true);
    C->RestructureTable(std::move(P));
    EXPECT_FALSE(C->Active);
  }
  // Row number -> every field value as text, in natural order.
  std::map<uint32_t, std::vector<std::string>> Rows(const std::string& Table = "people") {
    TDataCursor* C = NewCursor(Table);
    C->Open();
    C->SetIndexNo(kNaturalOrderIndex);
    std::map<uint32_t, std::vector<std::string>> R;
    TBuffer B(C->RecordBufferSize);
    C->MoveToBegin();
    while (C->GetNextRecord(B.data()) == 0) {
      std::vector<std::string>& Row = R[LoadU32(B.data() + 5)];
      for (int F = 1; F <= C->FieldCount; ++F) {
        uint8_t Desc[768];
        C->GetFieldDesc(F, Desc);
        bool Blank = true;
        uint8_t V[512] = {};
        C->GetField(F, B.data(), Blank, V);
        if (Blank) {
          Row.push_back("<null>");
        } else if (Desc[kFieldDescTypeOffset] == ftString) {
          Row.push_back(reinterpret_cast<char*>(V));
        } else if (Desc[kFieldDescTypeOffset] == ftBlob) {
          int64_t Size = 0, Count = 0;
          EXPECT_EQ(C->OpenBlob(F, B.data(), false, false), 0);
          C->GetBlobSize(F, B.data(), false, Size);
          std::string S(static_cast<size_t>(Size), '\0');
          if (Size > 0) C->ReadBlob(F, B.data(), false, Count, Size, S.data(), 0);
          C->CloseBlob(F, B.data(), false);
          Row.push_back(S);
        } else {
          int32_t I;
          std::memcpy(&I, V, 4);
          Row.push_back(std::to_string(I));
        }
      }
    }
    C->Close();
    return R;
  }
  uint32_t LastAutoInc(const std::string& Table = "people") {
    TDataCursor* C = NewCursor(Table, true);
    C->Open();
    const uint32_t V = TableFileAccess(C->Table)->DataFile()->LastAutoInc();
    C->Close();
    return V;
  }
  // The table files of the directory (the directory's journal, kept while it is in use, is not one).
  std::map<std::string, std::string> Files() {
    std::map<std::string, std::string> M;
    for (const auto& E : std::filesystem::directory_iterator(Path))
      if (E.is_regular_file() && E.path().filename() != kJournalName)
        M[E.path().filename().string()] = ReadFileBytes(E.path().string());
    return M;
  }
  std::string Private;
};

using TRows = std::map<uint32_t, std::vector<std::string>>;

TEST_F(RestructureTest, AddDropRedefineAndReorderKeepValuesRowNumbersAndAutoInc) {
  Fill();
  TRestructureParams P = Current();
  // New field CITY (number 9) first, NAME widened to 30 and renamed, AGE dropped, a new index on
  // CITY and the name index kept.
  auto City = Field("CITY", ftString, 10);
  SetU16(City.data(), 9);
  P.Fields[1][kFieldDescDeclaredSizeOffset] = 30;
  SetShortString(P.Fields[1].data() + kFieldDescNameOffset, 30, "FULLNAME");
  P.Fields = {City, P.Fields[0], P.Fields[1]};
  P.Indexes.push_back(Index("BYCITY", {9}, false));
  Restructure(P);
  EXPECT_EQ(Rows(), (TRows{{1, {"<null>", "1", "ala"}}, {3, {"<null>", "3", "cyryl"}}, {5, {"<null>", "5", "ewa"}}}));
  EXPECT_EQ(LastAutoInc(), 5u);
  // The indexes follow their fields to their new positions.
  TDataCursor* C = OpenPeople(true);
  EXPECT_EQ(C->GetIndexCount(), 2);
  C->SetIndexName("BYNAME");
  EXPECT_EQ(Scan(C).size(), 3u);
  uint8_t X[120];
  C->GetIndexDesc(1, X);
  EXPECT_EQ(GetU16(X + kIndexDescFieldNumbersOffset), 3);
  C->GetIndexDesc(0, X);
  EXPECT_EQ(GetU16(X + kIndexDescFieldNumbersOffset), 2);
  // A new row continues after the old last auto-increment value.
  TBuffer B(C->RecordBufferSize);
  C->InitRecord(B.data());
  C->InsertRecord(B.data(), false);
  C->Close();
  EXPECT_EQ(Rows().rbegin()->first, 6u);
  // No work files are left in the private directory or the table's.
  EXPECT_EQ(Files().size(), 2u);
  EXPECT_TRUE(std::filesystem::is_empty(Private));
}

TEST_F(RestructureTest, APrivateDirectoryThatIsTheTablesOwnWorksToo) {
  Fill();
  Session->SetPrivateDir(Path);
  const uint32_t Refs = Dir->RefCount;
  TRestructureParams P = Current();
  P.Fields[1][kFieldDescDeclaredSizeOffset] = 25;
  Restructure(P);
  EXPECT_EQ(Dir->RefCount, Refs);
  EXPECT_EQ(Files().size(), 2u);
  EXPECT_EQ(Rows(), (TRows{{1, {"1", "ala", "30"}}, {3, {"3", "cyryl", "50"}}, {5, {"5", "ewa", "70"}}}));
}

TEST_F(RestructureTest, IndexOnlyAndDescriptorOnlyChangesLeaveTheRecordsAlone) {
  Fill();
  const std::string DataBefore = ReadFileBytes(Path + "people.DAT");
  const std::size_t RecordsAt = 127 + 3 * 768;
  TRestructureParams P = Current();
  P.Indexes.push_back(Index("BYAGE", {3}, false));
  P.Indexes[1] = Index("BYNAME2", {2}, false);  // the same key under another name
  SetShortString(P.Fields[2].data() + kFieldDescDescriptionOffset, 50, "years");
  P.Description = "people we know";
  P.UserMajorVersion = 3;
  Restructure(P);
  const std::string DataAfter = ReadFileBytes(Path + "people.DAT");
  ASSERT_EQ(DataAfter.size(), DataBefore.size());
  EXPECT_EQ(DataAfter.substr(RecordsAt), DataBefore.substr(RecordsAt));
  TDataCursor* C = OpenPeople(true);
  EXPECT_EQ(C->GetDescription(), "people we know");
  EXPECT_EQ(C->GetUserMajorVersion(), 3);
  EXPECT_EQ(C->FieldDescs[2].Description(), "years");
  C->SetIndexName("BYAGE");
  TBuffer B(C->RecordBufferSize);
  std::vector<int> Ages;
  C->MoveToBegin();
  while (C->GetNextRecord(B.data()) == 0) Ages.push_back(IntOf(C, 3, B.data()));
  EXPECT_EQ(Ages, (std::vector<int>{30, 50, 70}));
  C->SetIndexName("BYNAME2");
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"ala", "cyryl", "ewa"}));
  C->Close();
  EXPECT_EQ(LastAutoInc(), 5u);
}

TEST_F(RestructureTest, FailuresLeaveTheOldFilesByteIdentical) {
  Fill();
  const auto Before = Files();
  struct TCase {
    const char* What;
    std::function<void(TRestructureParams&)> Change;
    uint16_t Code;
  } Cases[] = {
      {"name too long for its new size",
       [](TRestructureParams& P) { P.Fields[1][kFieldDescDeclaredSizeOffset] = 3; }, ecInvalidFieldDef},
      {"integer to string without a converter",
       [](TRestructureParams& P) { P.Fields[2] = Field("AGE", ftString, 5), SetU16(P.Fields[2].data(), 3); },
       ecInvalidFieldDef},
      {"a unique index over equal values",
       [](TRestructureParams& P) {
         P.Fields[2][kFieldDescDeclaredScaleOffset] = 0;
         P.Indexes[0] = Index("", {1}, true);
         P.Indexes[1] = Index("BYNAME", {2}, false);
         P.Indexes.push_back(Index("ONE", {3}, true));
         P.Convert = [](const TFieldDescriptor&, const void*, const TFieldDescriptor&, void* Dest) {
           std::memset(Dest, 0, 4);
           return true;
         };
         P.Fields[2][kFieldDescRequiredOffset] = 1;  // forces the rewrite
       },
       ecKeyViolation},
      {"an unknown key field", [](TRestructureParams& P) { P.Indexes.push_back(Index("BAD", {7}, false)); },
       ecInvalidIndexField},
  };
  for (const TCase& K : Cases) {
    TRestructureParams P = Current();
    K.Change(P);
    EXPECT_EQ(RaisedCode([&] { Restructure(P); }), K.Code) << K.What;
    EXPECT_EQ(Files(), Before) << K.What;
  }
  EXPECT_EQ(Rows(), (TRows{{1, {"1", "ala", "30"}}, {3, {"3", "cyryl", "50"}}, {5, {"5", "ewa", "70"}}}));
}

TEST_F(RestructureTest, AFailedIndexBuildRestoresTheIndexFile) {
  Fill();
  TDataCursor* C = OpenPeople(true);
  Insert(C, "ala", 30);
  C->Close();
  const std::string IndexBefore = ReadFileBytes(Path + "people.IDX");
  const auto RowsBefore = Rows();
  TRestructureParams P = Current();
  P.Indexes.push_back(Index("BYAGE", {3}, true));
  EXPECT_EQ(RaisedCode([&] { Restructure(P); }), ecKeyViolation);
  EXPECT_EQ(ReadFileBytes(Path + "people.IDX"), IndexBefore);
  EXPECT_FALSE(std::filesystem::exists(Path + "people.IBK"));
  EXPECT_EQ(Rows(), RowsBefore);
  TDataCursor* D = OpenPeople(true);
  EXPECT_EQ(D->GetIndexCount(), 1);
  D->SetIndexName("BYNAME");
  EXPECT_EQ(Scan(D), (std::vector<std::string>{"ala", "ala", "cyryl", "ewa"}));
}

TEST_F(RestructureTest, AFieldBecomesTheAutoIncrementFieldOnlyWhenItsValuesAreTheRowNumbers) {
  TCreateTableParams T;
  T.Fields = {Field("K", ftInteger), Field("NAME", ftString, 8)};
  T.Indexes = {Index("", {1}, true)};
  Create("keys", T);
  TDataCursor* C = NewCursor("keys", true);
  C->Open();
  TBuffer B(C->RecordBufferSize);
  for (int32_t K : {1, 2}) {
    C->InitRecord(B.data());
    C->PutField(1, B.data(), false, &K);
    C->PutField(2, B.data(), false, "x");
    C->InsertRecord(B.data(), false);
  }
  C->Close();
  TRestructureParams P = Current("keys");
  P.Fields[0][kFieldDescSubTypeOffset] = kSubTypeAutoInc;
  Restructure(P, "keys");
  EXPECT_EQ(Rows("keys"), (TRows{{1, {"1", "x"}}, {2, {"2", "x"}}}));
  // Here K differs from the row numbers: its values cannot be kept.
  TCreateTableParams U = T;
  Create("other", U);
  C = NewCursor("other", true);
  C->Open();
  for (int32_t K : {10, 20}) {
    C->InitRecord(B.data());
    C->PutField(1, B.data(), false, &K);
    C->InsertRecord(B.data(), false);
  }
  C->Close();
  const auto Before = Files();
  P = Current("other");
  P.Fields[0][kFieldDescSubTypeOffset] = kSubTypeAutoInc;
  EXPECT_EQ(RaisedCode([&] { Restructure(P, "other"); }), ecInvalidFieldDef);
  EXPECT_EQ(Files(), Before);
}

TEST_F(RestructureTest, AConverterChangesTypesAndItsRefusalStopsTheRestructure) {
  Fill();
  const auto Before = Files();
  TRestructureParams P = Current();
  P.Fields[2] = Field("AGE", ftString, 4);
  SetU16(P.Fields[2].data(), 3);
  int Refuse = 50, Converted = 0;
  P.Convert = [&](const TFieldDescriptor& From, const void* Value, const TFieldDescriptor& To, void* Dest) {
    if (From.Type() == To.Type()) {
      std::memcpy(Dest, Value, std::min(From.DataSize(), To.DataSize()));
      return true;
    }
    int32_t V;
    std::memcpy(&V, Value, 4);
    if (V == Refuse) return false;
    ++Converted;
    const std::string S = std::to_string(V);
    std::memcpy(Dest, S.c_str(), S.size() + 1);
    return true;
  };
  EXPECT_EQ(RaisedCode([&] { Restructure(P); }), ecInvalidFieldDef);
  EXPECT_EQ(Files(), Before);
  Refuse = -1;
  Converted = 0;
  Restructure(P);
  EXPECT_EQ(Converted, 3);
  EXPECT_EQ(Rows(), (TRows{{1, {"1", "ala", "30"}}, {3, {"3", "cyryl", "50"}}, {5, {"5", "ewa", "70"}}}));
  TDataCursor* C = OpenPeople();
  EXPECT_EQ(C->FieldDescs[2].Type(), ftString);
}

TEST_F(RestructureTest, BlobValuesAreCarriedOver) {
  TCreateTableParams T;
  T.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("NOTE", ftBlob, 0, 22), Field("TAG", ftString, 8)};
  T.Indexes = {Index("", {1}, true)};
  Create("notes", T);
  TDataCursor* C = NewCursor("notes", true);
  C->Open();
  const std::string Long(3000, 'x');
  for (const std::string& Text : {std::string("short"), Long, std::string()}) {
    TBuffer B(C->RecordBufferSize);
    C->InitRecord(B.data());
    if (!Text.empty()) {
      ASSERT_EQ(C->OpenBlob(2, B.data(), false, false), 0);
      ASSERT_EQ(C->WriteBlob(2, B.data(), false, static_cast<int64_t>(Text.size()), Text.data(), 0), 0);
    }
    C->PutField(3, B.data(), false, "t");
    C->InsertRecord(B.data(), false);
  }
  C->Close();
  TRestructureParams P = Current("notes");
  P.Fields[2][kFieldDescDeclaredSizeOffset] = 12;  // forces the rewrite
  auto Memo = Field("MORE", ftBlob, 0, 22);
  SetU16(Memo.data(), 4);
  P.Fields.push_back(Memo);
  P.BlobBlockSize = 1024;
  Restructure(P, "notes");
  EXPECT_EQ(Rows("notes"), (TRows{{1, {"1", "short", "t", "<null>"}}, {2, {"2", Long, "t", "<null>"}},
                                  {3, {"3", "<null>", "t", "<null>"}}}));
  TDataCursor* R = NewCursor("notes");
  EXPECT_EQ(R->GetBlobBlockSize(), 1024);
}

TEST_F(RestructureTest, EncryptedTableKeepsItsPasswordAndValues) {
  TCreateTableParams T;
  T.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("NAME", ftString, 20), Field("AGE", ftInteger)};
  T.Indexes = {Index("", {1}, true), Index("BYNAME", {2}, false)};
  T.Encrypted = true;
  T.Password = "tajne";
  Session->AddPassword("tajne");
  Create("people", T);
  TDataCursor* C = OpenPeople(true);
  Insert(C, "ala", 30);
  Insert(C, "bob", 40);
  C->Close();
  EXPECT_EQ(C->GetPassword(), "tajne");
  TRestructureParams P = Current();
  EXPECT_TRUE(P.Encrypted);
  P.Fields[1][kFieldDescDeclaredSizeOffset] = 25;
  Restructure(P);
  EXPECT_EQ(Rows(), (TRows{{1, {"1", "ala", "30"}}, {2, {"2", "bob", "40"}}}));
  // The files stay enciphered: the names are not readable in them, and the password is asked for.
  EXPECT_EQ(ReadFileBytes(Path + "people.DAT").find("bob"), std::string::npos);
  Session->RemovePassword("tajne");
  TDataCursor* D = NewCursor("people");
  EXPECT_EQ(RaisedCode([&] { D->Open(); }), ecNoRights);
}

TEST_F(RestructureTest, AFailurePuttingTheNewFilesInPlaceRestoresTheOldOnes) {
  Fill();
  const auto Before = Files();
  for (const std::string FailAt : {"backup", "move"}) {
    std::vector<std::string> Seen;
    RestructureStepHook = [&](const std::string& Step) {
      Seen.push_back(Step);
      if (Step == FailAt) {
        // The old files carry their backup names at this point.
        EXPECT_TRUE(std::filesystem::exists(Path + "people.DBK"));
        throw EInOutError("disk full");
      }
    };
    TRestructureParams P = Current();
    P.Fields[1][kFieldDescDeclaredSizeOffset] = 25;
    EXPECT_THROW(Restructure(P), EInOutError) << FailAt;
    EXPECT_EQ(Seen.back(), FailAt);
    EXPECT_EQ(Files(), Before) << FailAt;
    EXPECT_TRUE(std::filesystem::is_empty(Private)) << FailAt;
  }
  RestructureStepHook = nullptr;
  EXPECT_EQ(Rows(), (TRows{{1, {"1", "ala", "30"}}, {3, {"3", "cyryl", "50"}}, {5, {"5", "ewa", "70"}}}));
}

TEST_F(RestructureTest, NewFilesAreCopiedInFromAPrivateDirectoryOnAnotherFileSystem) {
  struct stat A, B;
  const std::string Private = "/dev/shm/vxrestruct." + std::to_string(getpid()) + "/";
  std::filesystem::create_directories(Private);
  if (stat(Private.c_str(), &A) != 0 || stat(Path.c_str(), &B) != 0 || A.st_dev == B.st_dev) {
    std::filesystem::remove_all(Private);
    GTEST_SKIP() << "no second file system for the private directory";
  }
  Session->SetPrivateDir(Private);
  Fill();
  TRestructureParams P = Current();
  P.Fields[1][kFieldDescDeclaredSizeOffset] = 25;
  Restructure(P);
  EXPECT_EQ(Rows(), (TRows{{1, {"1", "ala", "30"}}, {3, {"3", "cyryl", "50"}}, {5, {"5", "ewa", "70"}}}));
  EXPECT_TRUE(std::filesystem::is_empty(Private));
  std::filesystem::remove_all(Private);
}

TEST_F(RestructureTest, InMemoryTable) {
  TCreateTableParams T;
  T.Fields = {Field("NAME", ftString, 10), Field("N", ftInteger)};
  T.Indexes = {std::array<uint8_t, 120>{}};
  Number(T.Fields);
  TDataCursor* C = NewCursor("mem", true);
  C->SetInMemory(true);
  C->CreateTable(T);
  C->Open();
  TBuffer B(C->RecordBufferSize);
  for (int I : {7, 8}) {
    C->InitRecord(B.data());
    C->PutField(1, B.data(), false, "m");
    C->PutField(2, B.data(), false, &I);
    C->InsertRecord(B.data(), false);
  }
  C->Close();
  TRestructureParams P;
  P.Fields = {T.Fields[1], T.Fields[0]};
  P.Fields[1][kFieldDescDeclaredSizeOffset] = 4;
  P.Indexes = {Index("", {2}, true)};
  C->RestructureTable(P);
  C->Open();
  C->SetIndexNo(0);
  C->MoveToBegin();
  std::vector<int> Seen;
  while (C->GetNextRecord(B.data()) == 0) Seen.push_back(IntOf(C, 1, B.data()));
  EXPECT_EQ(Seen, (std::vector<int>{7, 8}));
  C->Close();
}

TEST_F(RestructureTest, Preconditions) {
  Fill();
  TDataCursor* Open = OpenPeople(true);
  EXPECT_EQ(RaisedCode([&] { Open->RestructureTable(TRestructureParams()); }), ecTableInUse);
  Open->Close();
  TDataCursor* Shared = NewCursor("people", false);
  EXPECT_EQ(RaisedCode([&] { Shared->RestructureTable(Current()); }), ecNeedExclusive);
  TDataCursor* ReadOnly = NewCursor("people", true);
  ReadOnly->SetReadOnly(true);
  EXPECT_EQ(RaisedCode([&] { ReadOnly->RestructureTable(Current()); }), ecAccessDenied);
}

TEST_F(RestructureTest, DefinitionComparisons) {
  auto A = Field("NAME", ftString, 20);
  SetShortString(A.data() + kFieldDescDefaultOffset, 50, "abc");
  auto B = A;
  SetShortString(B.data() + kFieldDescDefaultOffset, 50, "ABC");
  SetShortString(B.data() + kFieldDescDescriptionOffset, 50, "other text");
  EXPECT_TRUE(TDataCursor::SameFieldDefinition(A.data(), B.data()));
  B[kFieldDescRequiredOffset] = 1;
  EXPECT_FALSE(TDataCursor::SameFieldDefinition(A.data(), B.data()));
  std::vector<std::array<uint8_t, 768>> Fields = {Field("X", ftInteger), Field("Y", ftString, 5)};
  SetU16(Fields[0].data(), 7);
  SetU16(Fields[1].data(), 3);
  std::vector<std::array<uint8_t, 120>> Indexes = {Index("", {3}, true), Index("I", {7, 3}, false)};
  TDataCursor::RenumberFields(Fields, Indexes);
  EXPECT_EQ(GetU16(Fields[0].data()), 1);
  EXPECT_EQ(GetU16(Fields[1].data()), 2);
  EXPECT_EQ(GetU16(Indexes[0].data() + kIndexDescFieldNumbersOffset), 2);
  EXPECT_EQ(GetU16(Indexes[1].data() + kIndexDescFieldNumbersOffset), 1);
  EXPECT_EQ(GetU16(Indexes[1].data() + kIndexDescFieldNumbersOffset + 2), 2);
}

}  // namespace
