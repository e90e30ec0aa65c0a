// Cursor life cycle: creation of tables with their definition checks, open and close on the shared
// table, options while open, exclusive use and clones, header values of a closed table, index choice.
#include <fstream>

#include "dbengine/storage/tests/data_cursor_test_util.h"

using namespace cursortest;

namespace {

TEST_F(CursorTest, EmptyTableReportsCrackCodesAndZeroesTheBuffer) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  EXPECT_EQ(C->GetRecordCount(), 0);
  TBuffer B(C->RecordBufferSize, 0xAA);
  EXPECT_EQ(C->GetNextRecord(B.data()), ecEndOfFile);
  EXPECT_EQ(B, TBuffer(C->RecordBufferSize, 0));
  EXPECT_EQ(C->GetCurrentRecord(B.data(), false), ecNoCurrentRecord);
  C->MoveToEnd();
  EXPECT_EQ(C->GetPriorRecord(B.data()), ecBeginOfFile);
  // The same in natural order.
  C->SwitchIndex(kNaturalOrderIndex);
  EXPECT_EQ(C->GetNextRecord(B.data()), ecEndOfFile);
  EXPECT_EQ(C->GetCurrentRecord(B.data(), false), ecNoCurrentRecord);
}

TEST_F(CursorTest, OptionsWhileOpenAreRefusedAndLeaveTheCursorUnchanged) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  EXPECT_EQ(RaisedCode([&] { C->SetTableName("other"); }), ecTableInUse);
  EXPECT_EQ(RaisedCode([&] { C->SetExclusive(true); }), ecTableInUse);
  EXPECT_EQ(RaisedCode([&] { C->SetReadOnly(true); }), ecTableInUse);
  EXPECT_EQ(C->TableName, "people.DAT");
  EXPECT_FALSE(C->Exclusive);
  EXPECT_FALSE(C->ReadOnly);
  C->Close();
  C->SetTableName(" People.dat ");
  EXPECT_EQ(C->TableName, "People.dat");
  C->SetExclusive(true);
  C->Open();
  EXPECT_TRUE(C->Active);
}

TEST_F(CursorTest, ExclusiveOpenConflictsButACloneMayJoin) {
  CreatePeople();
  TDataCursor* A = OpenPeople();
  TDataCursor* B = NewCursor("people", true);
  EXPECT_EQ(RaisedCode([&] { B->Open(); }), ecAccessDenied);
  EXPECT_FALSE(B->Active);
  TDataCursor* Clone = NewCursor("people", true);
  Clone->SetCloned(true);
  Clone->Open();
  EXPECT_EQ(Clone->Table, A->Table);
  // Two plain cursors share one open table.
  TDataCursor* D = OpenPeople();
  EXPECT_EQ(D->Table, A->Table);
  A->Close();
  Clone->Close();
  D->Close();
  // Once nobody holds it, an exclusive open succeeds and then excludes a shared one.
  B->Open();
  TDataCursor* E = NewCursor("people");
  EXPECT_EQ(RaisedCode([&] { E->Open(); }), ecAccessDenied);
}

TEST_F(CursorTest, HeaderValuesAreReadWhileClosed) {
  TCreateTableParams P;
  P.Fields = {Field("A", ftInteger)};
  P.Description = "lessons";
  P.UserMajorVersion = 3;
  P.UserMinorVersion = 7;
  P.BlobBlockSize = 1024;
  Create("hdr", P);
  TDataCursor* C = NewCursor("hdr");
  EXPECT_EQ(C->GetUserMajorVersion(), 3);
  EXPECT_EQ(C->GetUserMinorVersion(), 7);
  EXPECT_EQ(C->GetBlobBlockSize(), 1024);
  EXPECT_EQ(C->GetLanguageID(), 0);
  EXPECT_EQ(C->GetDescription(), "lessons");
  EXPECT_FALSE(C->IsEncrypted());
  EXPECT_FALSE(C->Active);
  C->Open();
  EXPECT_EQ(C->GetUserMajorVersion(), 3);
  EXPECT_EQ(C->GetDescription(), "lessons");
  // A table without a primary key moves in natural order.
  EXPECT_TRUE(C->IsNaturalOrder());
}

TEST_F(CursorTest, CreateTableChecksDefinitionsAndExistence) {
  struct TCase {
    const char* Name;
    std::function<void(TCreateTableParams&)> Change;
    uint16_t Code;
  };
  const std::vector<TCase> Cases = {
      {"string of 251", [](TCreateTableParams& P) { P.Fields[1] = Field("NAME", ftString, 251); },
       ecInvalidFieldDef},
      {"names differing in case", [](TCreateTableParams& P) { P.Fields.push_back(Field("name", ftInteger)); },
       ecDuplicateFieldName},
      {"name starting with a digit",
       [](TCreateTableParams& P) { P.Fields.push_back(Field("1X", ftInteger)); }, ecDuplicateFieldName},
      {"index on a BLOB",
       [](TCreateTableParams& P) {
         P.Fields.push_back(Field("B", ftBlob));
         P.Indexes.push_back(Index("BB", {3}, false));
       },
       ecIndexFieldType},
      {"32 index descriptors",
       [](TCreateTableParams& P) {
         for (int I = 1; I < 32; ++I) P.Indexes.push_back(Index("I" + std::to_string(I), {2}, false));
       },
       ecIndexLimit},
      {"non-unique key of 521 bytes",
       [](TCreateTableParams& P) {
         P.Fields.push_back(Field("S1", ftString, 250));
         P.Fields.push_back(Field("S2", ftString, 250));
         P.Fields.push_back(Field("S3", ftString, 15));
         P.Indexes.push_back(Index("BIG", {3, 4, 5}, false));
       },
       ecInvalidKeySize},
  };
  for (const TCase& K : Cases) {
    SCOPED_TRACE(K.Name);
    TCreateTableParams P;
    P.Fields = {Field("ID", ftInteger), Field("NAME", ftString, 20)};
    P.Indexes = {Index("", {1}, true)};
    K.Change(P);
    EXPECT_EQ(RaisedCode([&] { Create("bad", P); }), K.Code);
    EXPECT_FALSE(std::filesystem::exists(Path + "bad.DAT"));
  }
  // 31 descriptors (the primary and 30 secondary indexes) are accepted.
  TCreateTableParams P;
  P.Fields = {Field("ID", ftInteger), Field("NAME", ftString, 20)};
  P.Indexes = {Index("", {1}, true)};
  for (int I = 1; I < 31; ++I) P.Indexes.push_back(Index("I" + std::to_string(I), {2}, false));
  Create("many", P);
  TDataCursor* C = NewCursor("many");
  C->Open();
  EXPECT_EQ(C->GetIndexCount(), 30);
  C->Close();
  // Existing table: refused without overwrite, replaced with it.
  EXPECT_EQ(RaisedCode([&] { Create("many", P); }), ecTableExists);
  TCreateTableParams Q;
  Q.Fields = {Field("X", ftInteger)};
  Q.Overwrite = true;
  Create("many", Q);
  C->Open();
  EXPECT_EQ(C->GetIndexCount(), 0);
  EXPECT_EQ(C->FieldCount, 1);
}

TEST_F(CursorTest, CreateTableNeedsAnExclusiveWritableCursor) {
  TDataCursor* C = NewCursor("t");
  TCreateTableParams P;
  P.Fields = {Field("X", ftInteger)};
  Number(P.Fields);
  EXPECT_EQ(RaisedCode([&] { C->CreateTable(P); }), ecNeedExclusive);
  C->SetExclusive(true);
  C->SetReadOnly(true);
  EXPECT_EQ(RaisedCode([&] { C->CreateTable(P); }), ecAccessDenied);
}

TEST_F(CursorTest, IndexChoiceByNameAndNumber) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  EXPECT_EQ(C->IndexNo, 0);
  EXPECT_TRUE(C->Unique);
  EXPECT_EQ(C->KeySize, 5);
  C->SetIndexName("byname");
  EXPECT_EQ(C->IndexNo, 1);
  EXPECT_EQ(C->IndexName, "BYNAME");
  EXPECT_FALSE(C->Unique);
  EXPECT_EQ(C->KeySize, 1 + 21 + 4);  // null byte, string of 20 + terminator, row number
  EXPECT_EQ(RaisedCode([&] { C->SetIndexName("nothere"); }), ecInvalidIndexName);
  EXPECT_EQ(C->IndexNo, 1);
  uint8_t D[120];
  C->GetIndexDesc(kNaturalOrderIndex, D);
  EXPECT_EQ(std::vector<uint8_t>(D, D + 120), std::vector<uint8_t>(120, 0));
}

TEST_F(CursorTest, AddAndDeleteIndexNeedExclusiveUse) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  EXPECT_EQ(RaisedCode([&] { C->AddIndex(Index("BYAGE", {3}, false)); }), ecNeedExclusive);
  C->Close();
  C->SetExclusive(true);
  C->Open();
  Insert(C, "Ala", 30);
  Insert(C, "Ola", 20);
  Insert(C, "Ela", 20);
  C->AddIndex(Index("BYAGE", {3}, false));
  EXPECT_EQ(C->GetIndexCount(), 2);
  C->SetIndexName("BYAGE");
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Ola", "Ela", "Ala"}));
  // A unique index over duplicates is refused naming it; no record is lost and no index remains.
  EXPECT_EQ(RaisedCode([&] { C->AddIndex(Index("UAGE", {3}, true)); }), ecKeyViolation);
  EXPECT_EQ(C->GetIndexCount(), 2);
  EXPECT_EQ(C->GetRecordCount(), 3);
  EXPECT_EQ(RaisedCode([&] { C->DeleteIndex("NOPE"); }), ecInvalidIndexName);
  C->DeleteIndex("BYAGE");
  EXPECT_EQ(C->GetIndexCount(), 1);
  EXPECT_EQ(C->IndexNo, 0);
  EXPECT_EQ(Scan(C), (std::vector<std::string>{"Ala", "Ola", "Ela"}));
}

}  // namespace

namespace {

TEST_F(CursorTest, AnEncryptedTableNeedsItsPassword) {
  TCreateTableParams P;
  P.Fields = {Field("A", ftInteger)};
  P.Encrypted = true;
  P.Password = "Sekret";
  Create("locked", P);
  EXPECT_FALSE(Session->HasPassword("Sekret"));  // only for the time of the creation
  TDataCursor* C = NewCursor("locked");
  EXPECT_EQ(RaisedCode([&] { C->Open(); }), ecNoRights);
  EXPECT_FALSE(C->Active);
  int Asked = 0;
  C->OnPasswordRequest = [&](TDataCursor*) {
    ++Asked;
    Session->AddPassword(Asked == 1 ? "sekret" : "Sekret");  // passwords compare with case
    return true;
  };
  C->Open();
  EXPECT_EQ(Asked, 2);
  EXPECT_TRUE(C->IsEncrypted());
  int32_t V = 9;
  TBuffer B(C->RecordBufferSize);
  C->InitRecord(B.data());
  C->PutField(1, B.data(), false, &V);
  C->InsertRecord(B.data(), false);
  C->Close();
  EXPECT_TRUE(C->IsEncrypted());
  C->Open();
  C->MoveToBegin();
  ASSERT_EQ(C->GetNextRecord(B.data()), 0);
  EXPECT_EQ(IntOf(C, 1, B.data()), 9);
  // A password that does not fit the rules is refused before anything is made.
  TCreateTableParams Q;
  Q.Fields = {Field("A", ftInteger)};
  Q.Encrypted = true;
  Q.Password = "sixteen-chars-xx";
  EXPECT_EQ(RaisedCode([&] { Create("badpass", Q); }), ecInvalidPassword);
}

TEST_F(CursorTest, EmptyRenameAndDeleteTable) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  Insert(C, "Ala", 1);
  EXPECT_EQ(RaisedCode([&] { C->EmptyTable(); }), ecNeedExclusive);
  EXPECT_EQ(RaisedCode([&] { C->DeleteTable(); }), ecTableInUse);
  C->Close();
  C->SetExclusive(true);
  C->Open();
  C->EmptyTable();
  EXPECT_EQ(C->GetRecordCount(), 0);
  TBuffer B(C->RecordBufferSize);
  EXPECT_EQ(C->GetNextRecord(B.data()), ecEndOfFile);
  Insert(C, "Ola", 2);
  C->Close();
  C->RenameTable("persons");
  EXPECT_FALSE(std::filesystem::exists(Path + "people.DAT"));
  C->SetTableName("persons");
  C->Open();
  EXPECT_EQ(C->GetRecordCount(), 1);
  C->Close();
  C->DeleteTable();
  EXPECT_FALSE(std::filesystem::exists(Path + "persons.DAT"));
  EXPECT_FALSE(std::filesystem::exists(Path + "persons.IDX"));
  EXPECT_EQ(RaisedCode([&] { C->Open(); }), ecInvalidPath);
}

}  // namespace

namespace {

TEST_F(CursorTest, ATableThatFailsToOpenIsNotLeftHalfOpen) {
  CreatePeople();
  {
    std::fstream F(Path + "people.DAT", std::ios::in | std::ios::out | std::ios::binary);
    F.seekp(kDatVersion);
    F.put(9);
  }
  TDataCursor* C = NewCursor("people");
  EXPECT_EQ(RaisedCode([&] { C->Open(); }), ecWrongVersion);
  EXPECT_EQ(RaisedCode([&] { C->Open(); }), ecWrongVersion);
  EXPECT_FALSE(C->Active);
  EXPECT_EQ(Dir->FindTable("people", false), nullptr);
}

}  // namespace
