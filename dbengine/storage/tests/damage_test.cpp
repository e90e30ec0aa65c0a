// Damage found on reading: each error names the file it was found in and what was found there; a
// zeroed page is damage, never blank rows or another user's change.
#include <fstream>

#include "dbengine/storage/journal.h"
#include "dbengine/storage/table_check.h"
#include "dbengine/storage/tests/data_cursor_test_util.h"

using namespace cursortest;

namespace {

struct TRaised {
  uint16_t Code = 0;
  std::string Name;  // the name the message gives
};

// The error a call raises or returns, with the name of its message.
template <class F>
TRaised Raised(F&& Body) {
  TRaised R;
  ClearEngineErrorContext();
  try {
    R.Code = Body();
  } catch (const EVXDBEngineError& E) {
    R.Code = E.ErrorCode();
  }
  if (R.Code != 0) R.Name = EngineErrorContext().TableName;
  return R;
}

class DamageTest : public CursorTest {
 public:
  using CursorTest::NewCursor;
  using CursorTest::OpenPeople;
  void Zero(const std::string& File, int64_t Offset, int64_t Count) {
    std::fstream F(Path + File, std::ios::in | std::ios::out | std::ios::binary);
    F.seekp(Offset);
    std::string Z(static_cast<size_t>(Count), '\0');
    F.write(Z.data(), Count);
  }
  // people with 400 rows (several index pages) and notes with one BLOB value of a few blocks.
  void Fill() {
    CreatePeople();
    TDataCursor* C = OpenPeople();
    Dir->StartTransaction();
    for (int I = 0; I < 400; ++I) Insert(C, "name" + std::to_string(I * 7919 % 400), I);
    Dir->Commit();
    C->Close();
    TCreateTableParams P;
    P.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("NAME", ftString, 20), Field("NOTE", ftBlob)};
    P.Indexes = {Index("", {1}, true)};
    P.BlobBlockSize = 64;
    Create("notes", P);
    TDataCursor* N = NewCursor("notes");
    N->Open();
    TBuffer B = Row(N, "a", 0, true);
    const std::string Text(300, 'x');
    EXPECT_EQ(N->OpenBlob(3, B.data(), false, false), 0);
    EXPECT_EQ(N->WriteBlob(3, B.data(), false, static_cast<int64_t>(Text.size()), Text.data(), 0), 0);
    N->InsertRecord(B.data(), false);
    N->Close();
  }
};

TEST_F(DamageTest, ZeroedPagesAreDamageNamedAfterTheirFile) {
  Fill();
  struct TCase {
    const char* What;
    const char* File;
    int64_t Offset, Count;
    std::function<uint16_t(DamageTest*)> Read;
    uint16_t Code;
    const char* Name;
  };
  auto ScanPeople = [](DamageTest* T) -> uint16_t {
    TDataCursor* C = T->OpenPeople();
    C->SetIndexName("BYNAME");
    TBuffer B(C->RecordBufferSize);
    C->MoveToBegin();
    uint16_t R;
    while ((R = C->GetNextRecord(B.data())) == 0) {
    }
    return R == ecEndOfFile ? 0 : R;
  };
  const TCase Cases[] = {
      // Records 10..12 of people (the record size is read from the file below).
      {"zeroed records", "people.DAT", -1, 3, ScanPeople, ecRecordsCorrupt, "people.DAT"},
      {"zeroed index page", "people.IDX", 4096 + 4096, 4096, ScanPeople, ecIndexCorrupt, "people.IDX"},
      {"zeroed BLOB block", "notes.BLB", 512, 64,
       [](DamageTest* T) -> uint16_t {
         TDataCursor* C = T->NewCursor("notes");
         C->Open();
         TBuffer B(C->RecordBufferSize);
         C->MoveToBegin();
         if (uint16_t R = C->GetNextRecord(B.data())) return R;
         return C->OpenBlob(3, B.data(), false, false);
       },
       ecBlobsCorrupt, "notes.BLB"},
  };
  const auto Saved = [&](const std::string& F) {
    std::ifstream In(Path + F, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
  };
  const std::string Dat = Saved("people.DAT"), Idx = Saved("people.IDX"), Blb = Saved("notes.BLB");
  for (const TCase& K : Cases) {
    SCOPED_TRACE(K.What);
    for (const auto& [F, Bytes] : {std::pair<std::string, std::string>{"people.DAT", Dat}, {"people.IDX", Idx},
                                   {"notes.BLB", Blb}})
      std::ofstream(Path + F, std::ios::binary | std::ios::trunc) << Bytes;
    int64_t Offset = K.Offset, Count = K.Count;
    if (Offset < 0) {
      const int RecordSize = static_cast<uint8_t>(Dat[21]) | static_cast<uint8_t>(Dat[22]) << 8;
      const int Header = static_cast<int>(Dat.size()) - 400 * RecordSize;
      Offset = Header + 9 * RecordSize;
      Count *= RecordSize;
    }
    Zero(K.File, Offset, Count);
    TRaised R = Raised([&] { return K.Read(this); });
    EXPECT_EQ(R.Code, K.Code);
    EXPECT_EQ(R.Name, K.Name);
    for (TDataCursor* C : Cursors) C->Close();
    // The check finds the damage as well.
    TTableCheckResult Check = CheckTable(Dir, K.File == std::string("notes.BLB") ? "notes" : "people");
    if (K.File != std::string("notes.BLB")) {
      EXPECT_FALSE(Check.Sound());
    }
  }
}

TEST_F(DamageTest, AChangeTooBigForTheCachesReadsBackWhatItGatheredBeforeItIsCommitted) {
  // Making the record status index of 20,000 records anew is one change outside a transaction: the
  // pages it pushes out of the index cache are gathered, not written, and read back from there.
  CreatePeople();
  TDataCursor* C = OpenPeople();
  Dir->StartTransaction();
  for (int I = 0; I < 20000; ++I) Insert(C, "n" + std::to_string(I * 7919 % 20000), I);
  Dir->Commit();
  C->Close();
  std::filesystem::remove(Path + "people.IDX");
  C->Open();
  C->SwitchIndex(kStatusIndex);
  EXPECT_EQ(C->GetRecordCount(), 20000);
  C->Close();
  TTableCheckResult R = CheckTable(Dir, "people");
  EXPECT_TRUE(R.Sound()) << R.Opened << (R.Problems.empty() ? std::string() : R.Problems.front());
  EXPECT_EQ(R.Records, 20000);
  EXPECT_FALSE(InspectJournal(Path).Pending);
}

}  // namespace
