#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "dbengine/storage/data_session.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/table_files.h"
#include "dbengine/storage/tests/table_files_test_util.h"

using namespace tablefiletest;

namespace {

// The student table: six fields, the primary index on ID and a secondary one on NAME.
TTableDefinition StudentDefinition(bool Encrypted = false) {
  TTableDefinition Def;
  for (const TFieldDescriptor& F : StudentFields()) {
    std::array<uint8_t, 768> A;
    std::memcpy(A.data(), F.Bytes, 768);
    Def.Fields.push_back(A);
  }
  std::array<uint8_t, 120> Primary{}, ByName{};
  SetU16(Primary.data() + kIndexDescFieldNumbersOffset, 1);
  SetShortString(ByName.data() + kIndexDescNameOffset, 30, "BYNAME");
  SetU16(ByName.data() + kIndexDescFieldNumbersOffset, 2);
  Def.Indexes = {Primary, ByName};
  CheckIndexDefinitions("student", Def.Indexes, Def.Fields, false);
  Def.Encrypted = Encrypted;
  Def.Password = Encrypted ? "tajne" : "";
  Def.Description = "Students";
  return Def;
}

class TableFilesTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  std::string Base = Dir.File("STUDENT");

  std::unique_ptr<TTableFileSet> NewSet(bool Exclusive = false) {
    auto S = std::make_unique<TTableFileSet>();
    S->NameFiles(Base, false, Exclusive, false, false, false, "student");
    return S;
  }
  void Create(bool Encrypted = false) {
    auto S = NewSet(true);
    S->CreateFiles(StudentDefinition(Encrypted));
    S->CloseAll();
  }
  std::unique_ptr<TTableFileSet> OpenAll() {
    auto S = NewSet();
    S->OpenData();
    S->OpenIndex();
    if (S->DefinitionHasBlobs()) S->OpenBlob();
    return S;
  }
  // Appends a record with a BLOB value through the files, as a cursor's insert would.
  static void Insert(TTableFileSet& S, const std::string& Name, const std::string& Note) {
    TRecord* R = nullptr;
    S.Data.AllocateRecord(nullptr, true, R);
    R->SetRowNumber(S.Data.NextAutoInc());
    PutFieldValue(S.Data.Field(2)->Data(), R->Buffer, Name.c_str(), false, 0, 0);
    TBlobBuffer B;
    B.Data.assign(Note.begin(), Note.end());
    B.Revision = S.Data.NextBlobRevision();
    S.Blob.WriteBlob(B);
    uint8_t* Slot = R->Buffer + S.Data.Field(6)->Offset();
    Slot[0] = 1;
    StoreU32(Slot + 1, B.FirstBlock);
    StoreU32(Slot + 5, B.Revision);
    S.Data.ReleaseRecord(R);
  }
};

TEST_F(TableFilesTest, CreateMakesTheThreeFilesWithTheirHeaders) {
  Create();
  std::string Dat = ReadAll(Base + ".DAT"), Idx = ReadAll(Base + ".IDX"), Blb = ReadAll(Base + ".BLB");
  ASSERT_EQ(Dat.size(), 127u + 6 * 768);
  EXPECT_EQ(U32At(Dat, 0), 1u);
  EXPECT_EQ(U16At(Dat, 21), 79);
  EXPECT_EQ(U16At(Dat, 25), 1);
  ASSERT_EQ(Idx.size(), 4096u);
  EXPECT_EQ(U32At(Idx, 0), 1u);
  EXPECT_EQ(Idx[8], 4);
  EXPECT_EQ(U32At(Idx, 9), 4096u);                                // end offset
  EXPECT_EQ(Idx.substr(14 + 120 + 1, 6), "BYNAME");                 // slot 1
  EXPECT_EQ(Idx.substr(14 + 31 * 120, 12), "\x0bSys Deleted");       // slot 31
  EXPECT_EQ(U16At(Idx, 14 + 31 * 120 + 31), 5);                   // status byte and row number
  ASSERT_EQ(Blb.size(), 512u);
  EXPECT_EQ(U32At(Blb, 0), 1u);
  EXPECT_EQ(U32At(Blb, 13), 512u);
  auto S = OpenAll();
  EXPECT_TRUE(S->DefinitionHasBlobs());
  EXPECT_NE(S->BlobFile(), nullptr);
  for (TTableFileKind K : {TTableFileKind::Data, TTableFileKind::Index, TTableFileKind::Blob}) {
    EXPECT_EQ(S->Version(K), 4);
    EXPECT_EQ(S->ChangeCount(K), 1u);
  }
  EXPECT_EQ(S->RecordCount(), 0);
  EXPECT_EQ(S->FieldDescriptor(2), S->Data.Field(2)->Bytes);
  EXPECT_EQ(S->FieldDescriptor(7), nullptr);
}

TEST_F(TableFilesTest, WriteAllRaisesEveryChangeCountOnlyWhenSomethingChanged) {
  Create();
  auto S = OpenAll();
  S->WriteAll();
  for (TTableFileKind K : {TTableFileKind::Data, TTableFileKind::Index, TTableFileKind::Blob})
    EXPECT_EQ(S->ChangeCount(K), 1u);
  Insert(*S, "Nowak", "a note");
  S->WriteAll();
  EXPECT_FALSE(S->Changed());
  for (TTableFileKind K : {TTableFileKind::Data, TTableFileKind::Index, TTableFileKind::Blob})
    EXPECT_EQ(S->ChangeCount(K), 2u);
  // A record changed alone still tells the others through every header, the index one included.
  TRecord* R = nullptr;
  ASSERT_TRUE(S->Data.GetRecord(nullptr, 1, R));
  R->Buffer[S->Data.Field(2)->Offset() + 1] = 'M';
  R->Modified = true;
  S->Data.ReleaseRecord(R);
  S->WriteAll();
  auto Other = OpenAll();
  EXPECT_EQ(Other->ChangeCount(TTableFileKind::Index), 3u);
  EXPECT_EQ(Other->RecordCount(), 1);
  TRecord* Q = nullptr;
  ASSERT_TRUE(Other->Data.GetRecord(nullptr, 1, Q));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Q->Buffer + 10)), "Mowak");
  Other->Data.ReleaseRecord(Q);
  TBlobBuffer B;
  B.FirstBlock = 512;
  B.Revision = 1;
  Other->Blob.ReadBlob(B);
  EXPECT_EQ(std::string(B.Data.begin(), B.Data.end()), "a note");
}

TEST_F(TableFilesTest, DroppedCachesAndReloadedHeadersForgetUnwrittenChanges) {
  Create();
  auto S = OpenAll();
  Insert(*S, "Kept", "kept");
  S->WriteAll();
  Insert(*S, "Lost", "lost");
  for (TTableFileKind K : {TTableFileKind::Data, TTableFileKind::Index, TTableFileKind::Blob}) {
    S->DropCache(K);
    S->ReloadHeader(K);
  }
  EXPECT_FALSE(S->Changed());
  EXPECT_EQ(S->RecordCount(), 1);
  EXPECT_EQ(S->Blob.EndOffset(), 1024u);
  S->WriteAll();
  EXPECT_EQ(ReadAll(Base + ".DAT").size(), 127u + 6 * 768 + 79);
}

TEST_F(TableFilesTest, MissingIndexFileIsReportedAndRecreated) {
  Create();
  fs::remove(Base + ".IDX");
  auto S = NewSet();
  S->OpenData();
  EXPECT_EQ(CodeOf([&] { S->OpenIndex(); }), ecInvalidPath);
  S->RecreateIndex();
  EXPECT_TRUE(S->Index.Opened);
  EXPECT_EQ(S->Version(TTableFileKind::Index), 4);
  EXPECT_TRUE(S->Index.NoPrimaryIndex());
  EXPECT_EQ(ReadAll(Base + ".IDX").size(), 4096u);
  // A file made that way opens again like any other.
  S->CloseAll();
  auto T = OpenAll();
  EXPECT_TRUE(T->Index.Opened);
}

TEST_F(TableFilesTest, CorruptIndexHeaderIsRefusedAtOpen) {
  Create();
  uint8_t Field[2];
  StoreU16(Field, 99);  // slot 1 names a field the table does not have
  Patch(Base + ".IDX", 14 + 120 + kIndexDescFieldNumbersOffset, Field, 2);
  auto S = NewSet();
  S->OpenData();
  EXPECT_EQ(CodeOf([&] { S->OpenIndex(); }), ecHeaderCorrupt);
  EXPECT_FALSE(S->Index.Opened);
}

TEST_F(TableFilesTest, EncryptedTablesEncipherAllThreeFiles) {
  Create(true);
  {
    auto S = OpenAll();
    EXPECT_TRUE(S->IsEncrypted());
    EXPECT_TRUE(S->Index.Encrypted);
    EXPECT_TRUE(S->Blob.Encrypted);
    Insert(*S, "Zielinski", "secret note text");
    S->WriteAll();
  }
  for (const char* Ext : {".DAT", ".IDX", ".BLB"}) {
    std::string B = ReadAll(Base + Ext);
    EXPECT_EQ(B.find("Zielinski"), std::string::npos) << Ext;
    EXPECT_EQ(B.find("secret note"), std::string::npos) << Ext;
    EXPECT_EQ(B.find("BYNAME"), std::string::npos) << Ext;
  }
  auto S = OpenAll();
  EXPECT_EQ(S->Data.Password(), "tajne");
  TBlobBuffer B;
  B.FirstBlock = 512;
  B.Revision = 1;
  S->Blob.ReadBlob(B);
  EXPECT_EQ(std::string(B.Data.begin(), B.Data.end()), "secret note text");
}

TEST_F(TableFilesTest, TwoProcessesSeeEachOthersHeaderChangeCounters) {
  Create();
  TForkedPeer Peer([&](TForkedPeer& P) {
    auto S = OpenAll();
    bool Quiet = !S->HeaderChanged(TTableFileKind::Index) && !S->HeaderChanged(TTableFileKind::Data) &&
                 !S->HeaderChanged(TTableFileKind::Blob);
    if (!P.Tell() || !P.Hear()) return 2;
    bool Seen = S->HeaderChanged(TTableFileKind::Index) && S->HeaderChanged(TTableFileKind::Data) &&
                S->HeaderChanged(TTableFileKind::Blob);
    S->ReloadHeader(TTableFileKind::Data);
    bool Ok = Quiet && Seen && S->RecordCount() == 1 && S->ChangeCount(TTableFileKind::Index) == 2;
    // Now the child writes and the parent looks.
    Insert(*S, "Child", "from the child");
    S->WriteAll();
    if (!P.Tell()) return 2;
    return Ok ? 0 : 1;
  });
  ASSERT_TRUE(Peer.Await());
  auto S = OpenAll();
  Insert(*S, "Parent", "from the parent");
  S->WriteAll();
  ASSERT_TRUE(Peer.Signal());
  ASSERT_TRUE(Peer.Await());
  EXPECT_TRUE(S->HeaderChanged(TTableFileKind::Index));
  EXPECT_TRUE(S->HeaderChanged(TTableFileKind::Blob));
  S->ReloadHeader(TTableFileKind::Data);
  S->ReloadHeader(TTableFileKind::Blob);
  EXPECT_EQ(S->RecordCount(), 2);
  EXPECT_EQ(S->ChangeCount(TTableFileKind::Data), 3u);
  TBlobBuffer B;
  TRecord* R = nullptr;
  ASSERT_TRUE(S->Data.GetRecord(nullptr, 2, R));
  B.FirstBlock = LoadU32(R->Buffer + S->Data.Field(6)->Offset() + 1);
  B.Revision = LoadU32(R->Buffer + S->Data.Field(6)->Offset() + 5);
  S->Data.ReleaseRecord(R);
  S->Blob.ReadBlob(B);
  EXPECT_EQ(std::string(B.Data.begin(), B.Data.end()), "from the child");
  EXPECT_EQ(Peer.Finish(), 0);
}

TEST_F(TableFilesTest, AnOpenTableUsesTheRegisteredFileSet) {
  RegisterTableFiles();
  TDataSession Session;
  TDataDirectory* D = Session.OpenDirectory("db", Dir.Path + "/");
  ASSERT_NE(D, nullptr);
  TDataTable* T = nullptr;
  TTableDefinition Def = StudentDefinition();
  ASSERT_EQ(D->CreateTable("student", T, false, false, Def), 0);
  ASSERT_EQ(D->CloseTable(T, false), 0);
  // The table keeps the name as given; the extensions are forced to upper case.
  std::string Named = Dir.File("student");
  ASSERT_TRUE(fs::remove(Named + ".IDX"));
  ASSERT_EQ(D->OpenTable("student", T, false, false, false, false, false), 0);
  auto* Files = dynamic_cast<TTableFileSet*>(T->Files);
  ASSERT_NE(Files, nullptr);
  Files->BindTable(T);
  EXPECT_TRUE(T->IndexRecreated);
  EXPECT_NO_THROW(T->CheckVersion());
  EXPECT_TRUE(T->HasBlobFile());
  // Inside a transaction the files grow their caches instead of writing.
  T->StartTransaction();
  EXPECT_TRUE(Files->InTransaction());
  Insert(*Files, "Tx", "in a transaction");
  T->Rollback();
  EXPECT_EQ(Files->RecordCount(), 0);
  T->StartTransaction();
  Insert(*Files, "Tx", "committed");
  T->Commit(true);
  EXPECT_EQ(ReadAll(Named + ".DAT").size(), 127u + 6 * 768 + 79);
  EXPECT_EQ(D->CloseTable(T, false), 0);
}

}  // namespace
