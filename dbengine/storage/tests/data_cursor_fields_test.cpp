// Cursor field values, bookmarks and BLOB access.
#include <fstream>
#include <iterator>

#include "dbengine/storage/tests/data_cursor_test_util.h"

using namespace cursortest;

namespace {

class FieldsTest : public CursorTest {
 protected:
  // ID autoinc, NAME string 20, NOTE BLOB; primary key ID.
  TDataCursor* OpenNotes(bool Exclusive = false, const std::string& Name = "notes") {
    TCreateTableParams P;
    P.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("NAME", ftString, 20),
                Field("NOTE", ftBlob)};
    P.Indexes = {Index("", {1}, true)};
    P.BlobBlockSize = 64;  // 46 data bytes a block: values of a few hundred bytes take chains
    Create(Name, P);
    TDataCursor* C = NewCursor(Name, Exclusive);
    C->Open();
    return C;
  }
  std::string BlobText(TDataCursor* C, uint8_t* B) {
    EXPECT_EQ(C->OpenBlob(3, B, false, false), 0);
    int64_t Size = 0;
    C->GetBlobSize(3, B, false, Size);
    std::string S(static_cast<size_t>(Size), '\0');
    int64_t Count = 0;
    EXPECT_EQ(C->ReadBlob(3, B, false, Count, Size, S.data(), 0), 0);
    EXPECT_EQ(C->CloseBlob(3, B, false), 0);
    return S;
  }
  void InsertNote(TDataCursor* C, const std::string& Name, const std::string& Text) {
    TBuffer B = Row(C, Name, 0, true);
    ASSERT_EQ(C->OpenBlob(3, B.data(), false, false), 0);
    ASSERT_EQ(C->WriteBlob(3, B.data(), false, static_cast<int64_t>(Text.size()), Text.data(), 0), 0);
    C->InsertRecord(B.data(), false);
  }
};

TEST_F(FieldsTest, StringsLoseTrailingBlanksAndEmptyIsNull) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  TBuffer B(C->RecordBufferSize);
  C->InitRecord(B.data());
  char S[21] = "Ala   ";
  C->PutField(2, B.data(), false, S);
  EXPECT_EQ(NameOf(C, B.data()), "Ala");
  char E[21] = "";
  C->PutField(2, B.data(), false, E);
  bool Blank = false;
  C->GetField(2, B.data(), Blank, nullptr);
  EXPECT_TRUE(Blank);
  // The auto-increment field is never null and lives in the row number.
  C->GetField(1, B.data(), Blank, nullptr);
  EXPECT_FALSE(Blank);
  Insert(C, "Ola", 1);
  C->MoveToBegin();
  C->GetNextRecord(B.data());
  EXPECT_EQ(IntOf(C, 1, B.data()), 1);
  uint8_t D[768];
  EXPECT_EQ(RaisedCode([&] { C->GetFieldDesc(0, D); }), ecInvalidField);
  EXPECT_EQ(RaisedCode([&] { C->GetFieldDesc(4, D); }), ecInvalidField);
  C->GetFieldDesc(2, D);
  EXPECT_EQ(FieldDescName(D), "NAME");
  EXPECT_EQ(C->GetFieldDescByName("age"), 3);
  EXPECT_EQ(C->GetFieldDescByName("nope"), 0);
}

TEST_F(FieldsTest, BookmarksReturnToRecordsInBothOrders) {
  CreatePeople();
  TDataCursor* C = OpenPeople();
  for (const char* N : {"Ola", "Ala", "Ela"}) Insert(C, N, 1);
  TBuffer B(C->RecordBufferSize);
  for (uint8_t Order : {uint8_t{1}, kNaturalOrderIndex}) {
    SCOPED_TRACE(Order);
    C->SwitchIndex(Order);
    C->GotoSequence(2);
    C->GetCurrentRecord(B.data(), false);
    const std::string Name = NameOf(C, B.data());
    std::vector<uint8_t> Mark(static_cast<size_t>(C->GetBookmarkSize()));
    C->GetBookmark(Mark.data());
    C->MoveToEnd();
    EXPECT_TRUE(C->SetToBookmark(Mark.data(), false, false));
    C->GetCurrentRecord(B.data(), false);
    EXPECT_EQ(NameOf(C, B.data()), Name);
    EXPECT_EQ(C->CompareBookmarks(Mark.data(), Mark.data()), 0);
  }
  // A deleted record's bookmark is not reached exactly.
  C->SwitchIndex(1);
  C->GotoSequence(1);
  C->GetCurrentRecord(B.data(), false);
  std::vector<uint8_t> Mark(static_cast<size_t>(C->GetBookmarkSize()));
  C->GetBookmark(Mark.data());
  C->DeleteRecord(B.data(), true);
  EXPECT_FALSE(C->SetToBookmark(Mark.data(), false, false));
  C->GetCurrentRecord(B.data(), false);
  EXPECT_EQ(NameOf(C, B.data()), "Ela");
}

TEST_F(FieldsTest, BlobValuesAreStoredReplacedAndFreed) {
  TDataCursor* C = OpenNotes();
  const std::string Long(500, 'x');
  InsertNote(C, "a", Long);
  InsertNote(C, "b", "short");
  TBuffer B(C->RecordBufferSize);
  C->Close();
  C->Open();
  C->MoveToBegin();
  ASSERT_EQ(C->GetNextRecord(B.data()), 0);
  EXPECT_EQ(BlobText(C, B.data()), Long);
  // Replace the value of the first record.
  ASSERT_EQ(C->GetCurrentRecord(B.data(), true), 0);
  ASSERT_EQ(C->OpenBlob(3, B.data(), false, false), 0);
  ASSERT_EQ(C->TruncateBlob(3, B.data(), false, 0), 0);
  ASSERT_EQ(C->WriteBlob(3, B.data(), false, 3, "new", 0), 0);
  C->ModifyRecord(B.data(), true, false);
  ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
  EXPECT_EQ(BlobText(C, B.data()), "new");
  ASSERT_EQ(C->GetNextRecord(B.data()), 0);
  EXPECT_EQ(BlobText(C, B.data()), "short");
  // A value emptied reads as null.
  ASSERT_EQ(C->GetCurrentRecord(B.data(), true), 0);
  ASSERT_EQ(C->OpenBlob(3, B.data(), false, false), 0);
  ASSERT_EQ(C->TruncateBlob(3, B.data(), false, 0), 0);
  bool Blank = false;
  C->GetField(3, B.data(), Blank, nullptr);
  EXPECT_TRUE(Blank);
  C->ModifyRecord(B.data(), true, false);
  ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
  C->GetField(3, B.data(), Blank, nullptr);
  EXPECT_TRUE(Blank);
  EXPECT_EQ(C->OpenBlobCount(), 0);
  // Deleting frees the chain: the blocks of the long value come back for a new one.
  const auto Size = std::filesystem::file_size(Path + "notes.BLB");
  C->MoveToBegin();
  C->GetNextRecord(B.data());
  C->DeleteRecord(B.data(), true);
  InsertNote(C, "c", std::string(40, 'y'));
  EXPECT_EQ(std::filesystem::file_size(Path + "notes.BLB"), Size);
}

TEST_F(FieldsTest, BlobAccessCodes) {
  TDataCursor* C = OpenNotes();
  TBuffer B = Row(C, "a", 0, true);
  // Not a BLOB field; not an open handle.
  EXPECT_EQ(C->OpenBlob(2, B.data(), false, false), ecInvalidBlobField);
  const TBuffer Before = B;
  EXPECT_EQ(C->CloseBlob(3, B.data(), false), ecInvalidBlobHandle);
  EXPECT_EQ(B, Before);
  ASSERT_EQ(C->OpenBlob(3, B.data(), false, false), 0);
  const TBuffer Opened = B;
  EXPECT_EQ(C->OpenBlob(3, B.data(), true, false), 0);  // the same handle again
  EXPECT_EQ(B, Opened);
  EXPECT_EQ(C->OpenBlobCount(), 1);
  ASSERT_EQ(C->WriteBlob(3, B.data(), false, 5, "hello", 0), 0);
  char Out[8] = {};
  int64_t Count = -1;
  EXPECT_EQ(C->ReadBlob(3, B.data(), false, Count, 4, Out, 3), ecEndOfBlob);
  EXPECT_EQ(Count, 2);
  EXPECT_EQ(std::string(Out, 2), "lo");
  EXPECT_EQ(C->ReadBlob(3, B.data(), false, Count, 2, Out, 4), ecEndOfBlob);
  EXPECT_EQ(Count, 1);  // the last single byte is returned too
  EXPECT_EQ(C->ReadBlob(3, B.data(), false, Count, 1, Out, 5), ecEndOfBlob);
  EXPECT_EQ(Count, 0);
  // A negative link that is no open BLOB of this cursor.
  TBuffer Stray = Row(C, "b", 0, true);
  uint8_t D[768];
  C->GetFieldDesc(3, D);
  StoreU32(Stray.data() + FieldDescOffset(D) + 1, static_cast<uint32_t>(-77));
  EXPECT_EQ(C->OpenBlob(3, Stray.data(), false, false), ecInvalidBlobOffset);
  // At most 64 open BLOBs.
  std::vector<TBuffer> Many;
  for (int I = 0; I < 63; ++I) {
    Many.push_back(Row(C, "m", 0, true));
    ASSERT_EQ(C->OpenBlob(3, Many.back().data(), false, false), 0);
  }
  TBuffer Last = Row(C, "z", 0, true);
  EXPECT_EQ(C->OpenBlob(3, Last.data(), false, false), ecTooManyBlobs);
  C->FreeBlobs(false);
  EXPECT_EQ(C->OpenBlobCount(), 1);  // the one kept on release
  C->FreeBlobs(true);
  EXPECT_EQ(C->OpenBlobCount(), 0);
}

}  // namespace

namespace {

TEST_F(FieldsTest, ACopiedRecordGetsItsOwnBlobValue) {
  TDataCursor* C = OpenNotes();
  InsertNote(C, "orig", std::string(200, 'q'));
  TBuffer B(C->RecordBufferSize);
  EXPECT_EQ(C->CopyCurrentRecord(B.data()), ecBeginOfFile);
  C->MoveToBegin();
  ASSERT_EQ(C->GetNextRecord(B.data()), 0);
  TBuffer Copy(C->RecordBufferSize, 0xEE);
  ASSERT_EQ(C->CopyCurrentRecord(Copy.data()), 0);
  EXPECT_EQ(NameOf(C, Copy.data()), "orig");
  EXPECT_EQ(LoadU32(Copy.data() + 5), 0u);  // a new record gets a new row number
  C->InsertRecord(Copy.data(), true);
  // Deleting the original leaves the copy's value intact.
  C->MoveToBegin();
  ASSERT_EQ(C->GetNextRecord(B.data()), 0);
  C->DeleteRecord(B.data(), true);
  ASSERT_EQ(C->GetCurrentRecord(B.data(), false), 0);
  EXPECT_EQ(IntOf(C, 1, B.data()), 2);
  EXPECT_EQ(BlobText(C, B.data()), std::string(200, 'q'));
  // Another cursor finds the same record.
  TDataCursor* D = NewCursor("notes");
  D->Open();
  D->SwitchIndex(kNaturalOrderIndex);
  EXPECT_EQ(D->SetToCursor(C), 0);
  EXPECT_EQ(D->CurrentRecordNumber, C->CurrentRecordNumber);
  C->MoveToEnd();
  EXPECT_EQ(D->SetToCursor(C), ecRecordNotFound);
}

}  // namespace

namespace {

std::vector<uint8_t> Bytes(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

// An insert that fails after its keys went into the indexes (here: a BLOB handle this cursor does not
// have) leaves neither index entries nor a taken record slot behind.
TEST_F(FieldsTest, AFailedInsertLeavesNoTrace) {
  for (bool Exclusive : {false, true}) {
    SCOPED_TRACE(Exclusive ? "exclusive" : "shared");
    const std::string Name = Exclusive ? "xnotes" : "notes";
    TDataCursor* C = OpenNotes(Exclusive, Name);
    InsertNote(C, "a", "one");
    InsertNote(C, "b", "two");
    TBuffer B(C->RecordBufferSize);
    C->MoveToBegin();
    C->GetNextRecord(B.data());
    C->DeleteRecord(B.data(), true);  // a free slot whose chain head the insert takes first
    const auto Dat = Bytes(Path + Name + ".DAT"), Idx = Bytes(Path + Name + ".IDX"),
               Blb = Bytes(Path + Name + ".BLB");
    TBuffer Bad = Row(C, "bad", 0, true);
    uint8_t D[768];
    C->GetFieldDesc(3, D);
    StoreU32(Bad.data() + FieldDescOffset(D) + 1, static_cast<uint32_t>(-5));
    EXPECT_EQ(RaisedCode([&] { C->InsertRecord(Bad.data(), false); }), ecInvalidBlobOffset);
    EXPECT_EQ(Bytes(Path + Name + ".DAT"), Dat);
    EXPECT_EQ(Bytes(Path + Name + ".IDX"), Idx);
    EXPECT_EQ(Bytes(Path + Name + ".BLB"), Blb);
    EXPECT_EQ(C->GetRecordCount(), 1);
    // The next insert takes the free slot and every index agrees with the records.
    InsertNote(C, "c", "three");
    C->Close();
    TDataCursor* Other = NewCursor(Name);
    Other->Open();
    EXPECT_EQ(Other->GetRecordCount(), 2);
    EXPECT_EQ(Scan(Other), (std::vector<std::string>{"b", "c"}));
    Other->SwitchIndex(kNaturalOrderIndex);
    EXPECT_EQ(Scan(Other), (std::vector<std::string>{"c", "b"}));
  }
}

}  // namespace
