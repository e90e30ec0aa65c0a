#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dbengine/storage/data_file.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/table_file_cache.h"
#include "dbengine/storage/tests/table_files_test_util.h"

using namespace tablefiletest;

namespace {

constexpr double kClock = 46000.5;

class DataFileTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  TOwnerStub Owner;
  std::string Name = Dir.File("STUDENT.DAT");

  std::unique_ptr<TDataFile> NewFile() {
    auto F = std::make_unique<TDataFile>(&Owner);
    F->FileName = Name;
    F->TableName = "student";
    F->Clock = [] { return kClock; };
    return F;
  }
  // Creates the table, writes header and descriptors and closes it.
  void Create(const std::vector<TFieldDescriptor>& Fields, bool Encrypted = false, uint16_t Language = 0,
              const std::string& Password = "", const std::string& Description = "") {
    auto F = NewFile();
    F->CreateTable(Fields, 1024, Language, 0, Encrypted, Password, Description, 2, 3);
    F->WriteHeader(false);
    F->WriteFieldDescriptors();
    F->Close();
  }
  std::unique_ptr<TDataFile> Open() {
    auto F = NewFile();
    F->Open();
    return F;
  }
  // Appends a record whose NAME (field 2) is the text; returns its number.
  static uint32_t Append(TDataFile& F, const std::string& Text, bool Primary = true) {
    TRecord* R = nullptr;
    uint32_t N = F.AllocateRecord(nullptr, Primary, R);
    R->SetRowNumber(F.NextAutoInc());
    if (F.FieldCount() >= 2) PutFieldValue(F.Field(2)->Data(), R->Buffer, Text.c_str(), false, 0, 0);
    F.ReleaseRecord(R);
    return N;
  }
  static std::string NameOf(TDataFile& F, uint32_t N) {
    TRecord* R = nullptr;
    EXPECT_TRUE(F.GetRecord(nullptr, N, R));
    std::string S(reinterpret_cast<const char*>(R->Buffer + F.Field(2)->Offset() + 1));
    F.ReleaseRecord(R);
    return S;
  }
  // Writes everything and the header, as the end of a write does.
  static void Commit(TDataFile& F) {
    F.FlushRecords();
    F.WriteHeader(false);
  }
};

TEST_F(DataFileTest, CreateWritesHeaderAndDescriptorsByteForByte) {
  Create(StudentFields(), false, 0x0415, "ignored", "Students");
  std::string B = ReadAll(Name);
  ASSERT_EQ(B.size(), 127u + 6 * 768u);
  EXPECT_EQ(U32At(B, 0), 1u);     // change count: 0 at create, +1 by the header write
  EXPECT_EQ(U32At(B, 4), 1024u);  // BLOB block size
  EXPECT_EQ(B[8], 4);             // version
  EXPECT_EQ(U32At(B, 9), 0u);     // free record
  EXPECT_EQ(U32At(B, 13), 1u);    // next record
  EXPECT_EQ(U32At(B, 17), 0u);    // last auto-increment
  EXPECT_EQ(U16At(B, 21), 79);    // record size
  EXPECT_EQ(U16At(B, 23), 6);     // field count
  EXPECT_EQ(U16At(B, 25), 1);     // BLOB field count
  double Stamp;
  std::memcpy(&Stamp, B.data() + 27, 8);
  EXPECT_DOUBLE_EQ(Stamp, kClock - 693594.0);
  EXPECT_EQ(B.substr(35, 9), std::string("\x08Students"));
  EXPECT_EQ(B.substr(44, 42), std::string(42, '\0'));
  EXPECT_EQ(B[86], 0);                                // not encrypted
  EXPECT_EQ(B.substr(87, 16), std::string(16, '\0'));  // no password on a plain table
  EXPECT_EQ(U16At(B, 103), 0x0415);
  EXPECT_EQ(U16At(B, 105), 0);
  EXPECT_EQ(U16At(B, 107), 2);
  EXPECT_EQ(U16At(B, 109), 3);
  EXPECT_EQ(B[111], 1);  // dirty as it was when written
  EXPECT_EQ(U32At(B, 112), 0u);
  int64_t Writer;
  std::memcpy(&Writer, B.data() + 116, 8);
  EXPECT_EQ(Writer, 20800);
  EXPECT_EQ(B.substr(124, 3), std::string(3, '\0'));
  // Descriptors: number, name, type, subtype, declared size, physical size, record offset.
  struct {
    int Number;
    const char* Name;
    int Type, SubType, Size, DataSize, Offset;
  } const Expected[] = {{1, "ID", 6, 29, 0, 4, 5},  {2, "NAME", 1, 0, 40, 41, 9}, {3, "AGE", 6, 0, 0, 4, 51},
                        {4, "SCORE", 7, 0, 0, 8, 56}, {5, "BORN", 2, 0, 0, 4, 65}, {6, "NOTE", 3, 0, 0, 8, 70}};
  for (const auto& E : Expected) {
    size_t D = 127 + static_cast<size_t>(E.Number - 1) * 768;
    SCOPED_TRACE(E.Name);
    EXPECT_EQ(U16At(B, D), E.Number);
    EXPECT_EQ(B.substr(D + 2, 1 + strlen(E.Name)), std::string(1, static_cast<char>(strlen(E.Name))) + E.Name);
    EXPECT_EQ(static_cast<uint8_t>(B[D + 84]), E.Type);
    EXPECT_EQ(static_cast<uint8_t>(B[D + 85]), E.SubType);
    EXPECT_EQ(static_cast<uint8_t>(B[D + 86]), E.Size);
    EXPECT_EQ(static_cast<uint8_t>(B[D + 88]), E.DataSize);
    EXPECT_EQ(U16At(B, D + 90), E.Offset);
    EXPECT_EQ(B.substr(D + 355, 413), std::string(413, '\0'));
  }
  auto F = Open();
  EXPECT_EQ(F->Description(), "Students");
  EXPECT_EQ(F->Password(), "");
  EXPECT_EQ(F->BlobBlockSize(), 1024);
  EXPECT_EQ(F->RecordCount(), 0u);
  EXPECT_EQ(F->FieldByName(" name ")->Number(), 2);
  EXPECT_EQ(F->FieldByNumber(6)->Type(), ftBlob);
  EXPECT_EQ(F->FieldByName("missing"), nullptr);
}

TEST_F(DataFileTest, RecordsAreStoredAtTheirOffsetsAndSurviveReopen) {
  Create(StudentFields());
  {
    auto F = Open();
    for (int I = 1; I <= 30; ++I) EXPECT_EQ(Append(*F, "Student " + std::to_string(I)), static_cast<uint32_t>(I));
    Commit(*F);
  }
  std::string B = ReadAll(Name);
  ASSERT_EQ(B.size(), 127u + 6 * 768 + 30 * 79);
  size_t R7 = 127 + 6 * 768 + 6 * 79;
  EXPECT_EQ(B[R7], 0);               // active
  EXPECT_EQ(U32At(B, R7 + 1), 7u);   // its own number
  EXPECT_EQ(U32At(B, R7 + 5), 7u);   // row number
  EXPECT_EQ(B[R7 + 9], 1);           // NAME has a value
  EXPECT_EQ(B.substr(R7 + 10, 9), "Student 7");
  EXPECT_EQ(B[R7 + 19], 0);
  auto F = Open();
  EXPECT_EQ(F->RecordCount(), 30u);
  EXPECT_EQ(F->LastAutoInc(), 30u);
  EXPECT_EQ(NameOf(*F, 30), "Student 30");
  EXPECT_EQ(NameOf(*F, 1), "Student 1");
}

TEST_F(DataFileTest, FreeChainIsReusedOnlyWithAPrimaryIndex) {
  for (bool Primary : {true, false}) {
    SCOPED_TRACE(Primary ? "primary index" : "no primary index");
    Create(StudentFields());
    auto F = Open();
    for (int I = 1; I <= 10; ++I) Append(*F, "R" + std::to_string(I), Primary);
    for (uint32_t N : {5u, 9u}) {
      TRecord* R = nullptr;
      ASSERT_TRUE(F->GetRecord(nullptr, N, R));
      F->PushFreeRecord(R, Primary);
      F->ReleaseRecord(R);
    }
    Commit(*F);
    EXPECT_EQ(F->FreeRecord(), 9u);
    std::string B = ReadAll(Name);
    size_t R9 = 127 + 6 * 768 + 8 * 79, R5 = 127 + 6 * 768 + 4 * 79;
    EXPECT_EQ(B[R9], 1);
    EXPECT_EQ(U32At(B, R9 + 1), Primary ? 5u : 0u);
    EXPECT_EQ(B[R5], 1);
    EXPECT_EQ(U32At(B, R5 + 1), 0u);
    EXPECT_EQ(U32At(B, 9), 9u);
    uint32_t First = Append(*F, "new 1", Primary);
    uint32_t Second = Append(*F, "new 2", Primary);
    EXPECT_EQ(First, Primary ? 9u : 11u);
    EXPECT_EQ(Second, Primary ? 5u : 12u);
    Commit(*F);
    EXPECT_EQ(NameOf(*F, First), "new 1");
    EXPECT_EQ(F->FreeRecord(), Primary ? 0u : 9u);
  }
}

TEST_F(DataFileTest, CorruptFreeChainIsRefusedInsteadOfOverwritingRecords) {
  Create(StudentFields());
  auto F = Open();
  for (int I = 1; I <= 5; ++I) Append(*F, "R");
  TRecord* R = nullptr;
  ASSERT_TRUE(F->GetRecord(nullptr, 4, R));
  F->PushFreeRecord(R, true);
  F->ReleaseRecord(R);
  Commit(*F);
  struct Case {
    const char* What;
    std::function<void()> Damage;
  } const Cases[] = {
      {"head names a live record", [&] { StoreU32(F->Header + kDatFreeRecord, 3); }},
      {"link names itself",
       [&] {
         StoreU32(F->Header + kDatFreeRecord, 4);
         TRecord* D = nullptr;
         F->GetRecord(nullptr, 4, D);
         StoreU32(D->Buffer + 1, 4);
         F->ReleaseRecord(D);
       }},
      {"link beyond the last record",
       [&] {
         TRecord* D = nullptr;
         F->GetRecord(nullptr, 4, D);
         StoreU32(D->Buffer + 1, 77);
         F->ReleaseRecord(D);
       }},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    C.Damage();
    TRecord* Got = nullptr;
    EXPECT_EQ(CodeOf([&] { F->AllocateRecord(nullptr, true, Got); }), ecRecordsCorrupt);
  }
  EXPECT_EQ(CodeOf([&] { F->GetRecord(nullptr, 0, R); }), ecRecordsCorrupt);
  EXPECT_EQ(CodeOf([&] { F->GetRecord(nullptr, F->NextRecord() + 1, R); }), ecRecordsCorrupt);
}

TEST_F(DataFileTest, ReadAheadFillsTheCacheWithOneRead) {
  Create(StudentFields());
  {
    auto F = Open();
    for (int I = 1; I <= 1000; ++I) Append(*F, "R" + std::to_string(I));
    Commit(*F);
  }
  auto F = Open();
  ASSERT_EQ(F->ReadAheadCount, 65535 / 79);
  ASSERT_EQ(F->CacheCapacity, 131070 / 79);
  TRecord* R = nullptr;
  ASSERT_TRUE(F->GetRecord(nullptr, 1, R, true, 0, true));
  F->ReleaseRecord(R);
  EXPECT_EQ(F->RecordReads, 1);
  EXPECT_EQ(F->CachedRecords(), 829);
  for (uint32_t N = 2; N <= 829; ++N) EXPECT_EQ(NameOf(*F, N), "R" + std::to_string(N));
  EXPECT_EQ(F->RecordReads, 1);
  EXPECT_EQ(F->CacheHits, 828);
  // Backwards: the records that end at the one asked for; the cursor's estimate limits the count.
  F->ClearCache();
  ASSERT_TRUE(F->GetRecord(nullptr, 1000, R, false, 0, true));
  F->ReleaseRecord(R);
  EXPECT_EQ(F->RecordReads, 2);
  EXPECT_EQ(F->CachedRecords(), 829);
  EXPECT_NE(F->CachedRecord(1000 - 828), nullptr);
  EXPECT_EQ(F->CachedRecord(1000 - 829), nullptr);
  ASSERT_TRUE(F->GetRecord(nullptr, 900, R, true, 10, true));
  F->ReleaseRecord(R);
  EXPECT_EQ(F->RecordReads, 2);  // already cached
  EXPECT_EQ(Owner.ChangeChecks, 2);
  F->ClearCache();
  ASSERT_TRUE(F->GetRecord(nullptr, 900, R, true, 10, true));
  F->ReleaseRecord(R);
  EXPECT_EQ(F->CachedRecords(), 10);
  // The owner's change check runs before every read and can abandon it.
  Owner.ReportChange = true;
  EXPECT_FALSE(F->GetRecord(nullptr, 500, R));
  EXPECT_EQ(R, nullptr);
}

// Records read one at a time come from clean blocks of about 4 KB of records: one file read per
// block, none the next time. What the file holds changes only through the record cache (which is
// asked first) and its write-back (which drops the blocks it writes); the owner's change check runs
// before every block read and can abandon it.
TEST_F(DataFileTest, RecordsReadOneAtATimeComeFromCleanBlocks) {
  for (bool Encrypted : {false, true}) {
    SCOPED_TRACE(Encrypted ? "encrypted" : "plain");
    Name = Dir.File(Encrypted ? "SECRET.DAT" : "STUDENT.DAT");
    Create(StudentFields(), Encrypted, 0, Encrypted ? "secret" : "");
    {
      auto F = Open();
      for (int I = 1; I <= 1000; ++I) Append(*F, "R" + std::to_string(I));
      Commit(*F);
    }
    auto F = Open();
    const uint32_t PerBlock = 4096 / 79;
    auto Text = [&](uint32_t N) {
      const uint8_t* Image = F->RecordImage(nullptr, N);
      return Image ? std::string(reinterpret_cast<const char*>(Image + F->Field(2)->Offset() + 1)) : "?";
    };
    std::vector<uint32_t> Order(1000);
    for (uint32_t N = 1; N <= 1000; ++N) Order[N - 1] = N;
    std::shuffle(Order.begin(), Order.end(), std::mt19937(3));
    for (uint32_t N : Order) ASSERT_EQ(Text(N), "R" + std::to_string(N));
    EXPECT_EQ(F->RecordReads, (1000 + PerBlock - 1) / PerBlock);
    EXPECT_EQ(F->CachedRecords(), 0);  // the record cache is left to the records written
    for (uint32_t N : Order) ASSERT_EQ(Text(N), "R" + std::to_string(N));
    EXPECT_EQ(F->RecordReads, (1000 + PerBlock - 1) / PerBlock);

    // A record changed in the record cache is read from there, written back or not; once it has
    // left the cache the file is read again for it.
    TRecord* R = nullptr;
    ASSERT_TRUE(F->GetRecord(nullptr, 500, R));
    PutFieldValue(F->Field(2)->Data(), R->Buffer, "changed", false, 0, 0);
    R->Modified = true;
    F->ReleaseRecord(R);
    EXPECT_EQ(Text(500), "changed");
    Commit(*F);
    EXPECT_EQ(Text(500), "changed");
    F->CacheCapacity = 1;
    EXPECT_EQ(NameOf(*F, 1), "R1");  // takes the place of record 500 in the cache
    ASSERT_EQ(F->CachedRecord(500), nullptr);
    const int64_t Reads = F->RecordReads;
    EXPECT_EQ(Text(500), "changed");
    EXPECT_EQ(F->RecordReads, Reads + 1);
    EXPECT_EQ(Text(501), "R501");
    EXPECT_EQ(F->RecordReads, Reads + 1);

    // The owner's check before a block read, and the blocks forgotten with the cache.
    Owner.ChangeChecks = 0;
    F->ClearCache();
    Owner.ReportChange = true;
    EXPECT_EQ(F->RecordImage(nullptr, 7), nullptr);
    Owner.ReportChange = false;
    EXPECT_EQ(Text(7), "R7");
    EXPECT_EQ(Owner.ChangeChecks, 2);
    EXPECT_EQ(Text(8), "R8");
    EXPECT_EQ(Owner.ChangeChecks, 2);
    F->Close();
  }
}

// A block of records read one at a time is asked before the record cache, so it is never older
// than what the cache holds: read while a changed record waits in the cache, it shows that record,
// and a record changed after the block was read drops it. Each block's records are checked once
// when it is read: a block with a damaged record is not kept, and only a read of that record fails.
TEST_F(DataFileTest, CleanBlocksAreNeverOlderThanTheRecordCacheAndADamagedOneIsNotKept) {
  Create(StudentFields());
  const uint32_t PerBlock = 4096 / 79;
  const std::string Path = Name;
  {
    auto F = Open();
    for (int I = 1; I <= 1000; ++I) Append(*F, "R" + std::to_string(I));
    Commit(*F);
  }
  auto F = Open();
  auto Text = [&](uint32_t N) {
    const uint8_t* Image = F->RecordImage(nullptr, N);
    return Image ? std::string(reinterpret_cast<const char*>(Image + F->Field(2)->Offset() + 1)) : "?";
  };
  auto Change = [&](uint32_t N, const char* To) {
    TRecord* R = nullptr;
    ASSERT_TRUE(F->GetRecord(nullptr, N, R));
    PutFieldValue(F->Field(2)->Data(), R->Buffer, To, false, 0, 0);
    R->Modified = true;
    F->ReleaseRecord(R);
  };
  // Record 500 changed in the cache, not written; its block is read for record 501.
  Change(500, "changed");
  EXPECT_EQ(Text(501), "R501");
  const int64_t Reads = F->RecordReads;
  EXPECT_EQ(Text(500), "changed");
  // The block holds record 502 too: a change of it after the block was read.
  Change(502, "changed too");
  EXPECT_EQ(Text(502), "changed too");
  EXPECT_EQ(Text(501), "R501");
  EXPECT_EQ(F->RecordReads, Reads + 1);  // the block read again
  F->ClearCache();

  // Record 700 damaged on disk: a live record that does not carry its own number.
  {
    std::FILE* Out = std::fopen(Path.c_str(), "r+b");
    ASSERT_NE(Out, nullptr);
    const uint8_t Damage[5] = {0, 1, 0, 0, 0};
    ASSERT_EQ(std::fseek(Out, static_cast<long>(F->RecordOffset(700)), SEEK_SET), 0);
    ASSERT_EQ(std::fwrite(Damage, 1, sizeof Damage, Out), sizeof Damage);
    std::fclose(Out);
  }
  const uint32_t Neighbour = 700 % PerBlock == 0 ? 699 : 701;  // in the same block
  ASSERT_EQ((Neighbour - 1) / PerBlock, 699 / PerBlock);
  const int64_t Before = F->RecordReads;
  EXPECT_EQ(Text(Neighbour), "R" + std::to_string(Neighbour));
  EXPECT_EQ(Text(Neighbour), "R" + std::to_string(Neighbour));
  EXPECT_EQ(F->RecordReads, Before + 2);
  EXPECT_EQ(F->CleanBlocks(), 0);
  try {
    Text(700);
    ADD_FAILURE() << "the damaged record was read";
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), ecRecordsCorrupt);
  }
  EXPECT_EQ(Text(1), "R1");
  EXPECT_EQ(F->CleanBlocks(), 1);
  F->Close();
}

TEST_F(DataFileTest, ModifiedRecordsAreWrittenInRunsAndPinnedOnesWait) {
  Create(StudentFields());
  auto F = Open();
  for (int I = 1; I <= 20; ++I) Append(*F, "R");
  Commit(*F);
  int64_t WritesBefore = F->RecordWrites;
  EXPECT_FALSE(F->FlushRecords());
  TRecord* Pinned = nullptr;
  for (uint32_t N : {3u, 4u, 5u, 10u}) {
    TRecord* R = nullptr;
    ASSERT_TRUE(F->GetRecord(nullptr, N, R));
    int32_t Age = static_cast<int32_t>(N) * 10;
    PutFieldValue(F->Field(3)->Data(), R->Buffer, &Age, false, 0, 0);
    R->Modified = true;
    if (N == 4)
      Pinned = R;
    else
      F->ReleaseRecord(R);
  }
  Owner.Changes = 0;
  EXPECT_TRUE(F->FlushRecords());
  EXPECT_EQ(F->RecordWrites - WritesBefore, 3);
  EXPECT_EQ(Owner.Changes, 1);
  auto AgeOnDisk = [&](uint32_t N) {
    std::string B = ReadAll(Name);
    return static_cast<int32_t>(U32At(B, 127 + 6 * 768 + (N - 1) * 79 + 52));
  };
  EXPECT_EQ(AgeOnDisk(3), 30);
  EXPECT_EQ(AgeOnDisk(4), 0);
  EXPECT_EQ(AgeOnDisk(5), 50);
  EXPECT_EQ(AgeOnDisk(10), 100);
  F->ReleaseRecord(Pinned);
  EXPECT_TRUE(F->FlushRecords());
  EXPECT_EQ(AgeOnDisk(4), 40);
}

TEST_F(DataFileTest, CacheFlushesWhenFullAndGrowsInsideATransaction) {
  Create(StudentFields());
  auto F = Open();
  int Capacity = F->CacheCapacity;
  // Outside a transaction a full cache writes its modified records to make room.
  for (int I = 1; I <= 3000; ++I) Append(*F, "R");
  EXPECT_LE(F->CachedRecords(), Capacity);
  EXPECT_GT(F->RecordWrites, 0);
  Commit(*F);
  // Inside one nothing may be written: the cache grows by 255 entries at a time.
  Owner.Transaction = true;
  int64_t Writes = F->RecordWrites;
  F->ClearCache();
  for (int I = 1; I <= 3000; ++I) Append(*F, "T");
  EXPECT_EQ(F->RecordWrites, Writes);
  EXPECT_EQ(F->CachedRecords(), 3000);
  EXPECT_EQ((F->CacheCapacity - Capacity) % 255, 0);
  EXPECT_GE(F->CacheCapacity, 3000);
  Owner.Transaction = false;
  Commit(*F);
  F->TrimCache();
  EXPECT_EQ(F->CacheCapacity, Capacity);
  EXPECT_LE(F->CachedRecords(), Capacity);
  EXPECT_EQ(ReadAll(Name).size(), 127u + 6 * 768 + 6000 * 79);
  // Every entry held by a cursor: nothing can be reused or flushed.
  F->ClearCache();
  std::vector<TRecord*> Held;
  for (int I = 1; I <= Capacity; ++I) {
    TRecord* R = nullptr;
    F->GetRecord(nullptr, static_cast<uint32_t>(I), R);
    Held.push_back(R);
  }
  TRecord* R = nullptr;
  EXPECT_EQ(CodeOf([&] { F->GetRecord(nullptr, 5000, R); }), ecRecordsCorrupt);
  for (TRecord*& H : Held) F->ReleaseRecord(H);
}

// Inside a transaction the search for a reusable entry skips the modified ones it already passed;
// it still takes exactly the entry a full search takes while entries are cleaned, touched, pinned
// and dropped in between (a model cache that always searches the whole chain is the reference).
TEST(ItemCacheTest, SkippingKnownModifiedEntriesTakesWhatAFullSearchTakes) {
  struct TItem {
    uint32_t Key = 0;
    bool Cached = false, Modified = false;
    uint16_t PinCount = 0;
    uint32_t DirtyMark = 0;
    TItem *MruPrev = nullptr, *MruNext = nullptr;
  };
  using TCache = TItemCache<TItem, &TItem::Key, 64>;
  TCache Fast, Full;
  std::mt19937 G(5);
  uint32_t NextKey = 1;
  int Taken = 0, Grown = 0;
  for (int Step = 0; Step < 20000; ++Step) {
    const unsigned Op = G() % 100;
    const uint32_t K = NextKey > 1 ? 1 + G() % (NextKey - 1) : 1;
    TItem* A = Fast.FindSorted(K);
    TItem* B = Full.FindSorted(K);
    ASSERT_EQ(A == nullptr, B == nullptr);
    if (Op < 60) {  // a new, modified entry (as an appended record)
      TItem* X = Fast.TakeReusable(true);
      TItem* Y = Full.TakeReusable(false);
      ASSERT_EQ(X == nullptr, Y == nullptr) << Step;
      if (X != nullptr) {
        ASSERT_EQ(X->Key, Y->Key) << Step;
        ++Taken;
      } else {
        X = new TItem();
        Y = new TItem();
        ++Grown;
      }
      for (TItem* I : {X, Y}) {
        I->Key = NextKey;
        I->Modified = true;
        I->PinCount = 0;
      }
      ++NextKey;
      Fast.Insert(X);
      Full.Insert(Y);
    } else if (A == nullptr) {
      continue;
    } else if (Op < 70) {  // written back or read again: clean
      if (A->Modified) Fast.DropDirtyTail();
      A->Modified = B->Modified = false;
    } else if (Op < 80) {
      Fast.Touch(A);
      Full.Touch(B);
    } else if (Op < 88) {
      A->PinCount = B->PinCount = A->PinCount == 0 ? 1 : 0;
    } else if (Op < 94) {
      A->Modified = B->Modified = true;
    } else {
      Fast.Remove(A);
      Full.Remove(B);
      delete A;
      delete B;
    }
  }
  EXPECT_GT(Taken, 1000);
  EXPECT_GT(Grown, 1000);
  EXPECT_EQ(Fast.Count(), Full.Count());
  for (TCache* C : {&Fast, &Full})
    while (!C->Sorted.empty()) {
      TItem* I = C->Sorted.back();
      C->Remove(I);
      delete I;
    }
}

TEST_F(DataFileTest, AppendLimitsAreCheckedIn64Bits) {
  struct Case {
    const char* What;
    std::vector<TFieldDescriptor> Fields;
    uint32_t LastAllowed;
  };
  std::vector<TFieldDescriptor> Wide;
  for (int I = 0; I < 260; ++I) Wide.push_back(MakeField("S" + std::to_string(I), ftString, 250));
  const Case Cases[] = {
      {"no fields: the record count limit", {}, 99999999},
      {"79-byte records: 2,000,000,000 bytes", StudentFields(), 2000000000 / 79},
      // 65,529 x 65,550 wraps past 2^32 to a small number in 32 bits.
      {"65,529-byte records", LayOut(Wide), 2000000000 / 65529},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    Create(C.Fields);
    auto F = Open();
    if (C.Fields.empty()) {
      EXPECT_EQ(F->RecordSize(), 9);
      EXPECT_EQ(F->RecordOffset(1), 127);
    }
    StoreU32(F->Header + kDatNextRecord, C.LastAllowed);
    TRecord* R = nullptr;
    EXPECT_EQ(CodeOf([&] { F->GetRecord(nullptr, C.LastAllowed, R); }), 0);
    F->ReleaseRecord(R);
    EXPECT_EQ(F->NextRecord(), C.LastAllowed + 1);
    EXPECT_EQ(CodeOf([&] { F->GetRecord(nullptr, C.LastAllowed + 1, R); }), ecTableFull);
    if (!C.Fields.empty()) {
      StoreU32(F->Header + kDatNextRecord, 65550);
      EXPECT_EQ(CodeOf([&] { F->GetRecord(nullptr, 65550, R); }), F->RecordSize() == 65529 ? ecTableFull : 0);
      F->ReleaseRecord(R);
    }
    // Nothing of these records reaches the disk.
    F->ClearCache();
    F->Close();
  }
}

TEST_F(DataFileTest, CreationRefusesTooManyBlobFieldsAndTooLongRecords) {
  std::vector<TFieldDescriptor> Blobs, Strings;
  for (int I = 0; I < 65; ++I) Blobs.push_back(MakeField("B" + std::to_string(I), ftBlob));
  for (int I = 0; I < 261; ++I) Strings.push_back(MakeField("S" + std::to_string(I), ftString, 250));
  auto F = NewFile();
  EXPECT_EQ(CodeOf([&] { F->CreateTable(LayOut(Blobs), 512, 0, 0, false, "", "", 0, 0); }), ecBlobLimit);
  Blobs.pop_back();
  EXPECT_EQ(CodeOf([&] { F->CreateTable(LayOut(Blobs), 512, 0, 0, false, "", "", 0, 0); }), 0);
  EXPECT_EQ(F->BlobFieldCount(), 64);
  F->Close();
  // 9 + 261 x 252 = 65,781 bytes.
  EXPECT_EQ(CodeOf([&] { F->CreateTable(LayOut(Strings), 512, 0, 0, false, "", "", 0, 0); }), ecRecordTooBig);
}

TEST_F(DataFileTest, ATableOf1024FieldsOpensAndOneOf1025Fails) {
  std::vector<TFieldDescriptor> Fields;
  for (int I = 1; I <= 1024; ++I) Fields.push_back(MakeField("F" + std::to_string(I), ftSmallInt));
  Create(LayOut(Fields));
  {
    auto F = Open();
    EXPECT_EQ(F->FieldCount(), 1024);
    EXPECT_EQ(F->RecordSize(), 9 + 1024 * 3);
    EXPECT_EQ(F->Field(1024)->Name(), "F1024");
  }
  uint8_t Count[2];
  StoreU16(Count, 1025);
  Patch(Name, kDatFieldCount, Count, 2);
  auto F = NewFile();
  EXPECT_EQ(CodeOf([&] { F->Open(); }), ecHeaderCorrupt);
  EXPECT_FALSE(F->Opened);
}

TEST_F(DataFileTest, EncryptedTableHidesDescriptorsRecordsAndTexts) {
  Create(StudentFields(), true, 0, "Sekret", "Hidden text");
  {
    auto F = Open();
    Append(*F, "Kowalski");
    Commit(*F);
  }
  std::string B = ReadAll(Name);
  EXPECT_EQ(B[86], 1);
  EXPECT_EQ(U16At(B, 23), 6);  // the header itself stays plain
  for (const char* Plain : {"Hidden text", "Sekret", "NAME", "SCORE", "Kowalski"})
    EXPECT_EQ(B.find(Plain), std::string::npos) << Plain;
  auto F = Open();
  EXPECT_EQ(F->Description(), "Hidden text");
  EXPECT_EQ(F->Password(), "Sekret");
  EXPECT_EQ(F->Field(2)->Name(), "NAME");
  EXPECT_EQ(NameOf(*F, 1), "Kowalski");
}

TEST_F(DataFileTest, OlderWriterFilesDecipherOnlyTheLow16BitsOfTheDescriptorBlock) {
  std::vector<TFieldDescriptor> Fields;
  for (int I = 1; I <= 86; ++I) Fields.push_back(MakeField("F" + std::to_string(I), ftInteger));
  Create(LayOut(Fields), true, 0, "pw");
  // Rewrite the block as the older writer left it: only the first (86 x 768) mod 65536 = 512 bytes
  // enciphered.
  std::string B = ReadAll(Name);
  std::string Block = B.substr(127, 86 * 768);
  CipherDecode(Block.data(), static_cast<int>(Block.size()), kTableCipherKeyLow, kTableCipherKeyHigh);
  CipherEncode(Block.data(), 512, kTableCipherKeyLow, kTableCipherKeyHigh);
  Patch(Name, 127, Block.data(), Block.size());
  {
    // A current writer deciphers the whole block, so this one does not read.
    auto F = NewFile();
    EXPECT_EQ(CodeOf([&] { F->Open(); }), ecHeaderCorrupt);
  }
  int64_t Zero = 0;
  Patch(Name, kDatWriterVersion, &Zero, 8);
  auto F = Open();
  EXPECT_EQ(F->WriterVersion(), 0);
  EXPECT_EQ(F->Field(1)->Name(), "F1");
  EXPECT_EQ(F->Field(86)->Name(), "F86");
}

TEST_F(DataFileTest, RowNumbersStopAtTheTopInsteadOfWrapping) {
  Create(StudentFields());
  auto F = Open();
  F->SetLastAutoInc(0x7FFFFFFE);
  EXPECT_EQ(F->NextAutoInc(), 0x7FFFFFFFu);
  EXPECT_EQ(CodeOf([&] { F->NextAutoInc(); }), ecFieldLimit);
  EXPECT_EQ(F->LastAutoInc(), 0x7FFFFFFFu);
  // BLOB revisions only need to differ from the previous one: they restart at 1.
  StoreU32(F->Header + kDatLastBlobRevision, 0x7FFFFFFF);
  EXPECT_EQ(F->NextBlobRevision(), 1u);
  EXPECT_EQ(F->NextBlobRevision(), 2u);
  EXPECT_TRUE(F->Dirty());
}

TEST_F(DataFileTest, CorruptFilesRaiseClearErrorsAndStayClosed) {
  struct Case {
    const char* What;
    std::function<void(const std::string&)> Damage;
    uint16_t Code;
  };
  auto Byte = [](int64_t Offset, uint8_t V) {
    return [Offset, V](const std::string& P) { Patch(P, Offset, &V, 1); };
  };
  auto Word = [](int64_t Offset, uint16_t V) {
    return [Offset, V](const std::string& P) {
      uint8_t B[2];
      StoreU16(B, V);
      Patch(P, Offset, B, 2);
    };
  };
  auto Field = [](int N, int Offset) { return 127 + (N - 1) * 768 + Offset; };
  const Case Cases[] = {
      {"version 3", Byte(kDatVersion, 3), ecWrongVersion},
      {"language without tables", Word(kDatLanguageId, 0x7777), ecNoLanguageDriver},
      {"record size", Word(kDatRecordSize, 80), ecHeaderCorrupt},
      {"BLOB field count", Word(kDatBlobFieldCount, 0), ecHeaderCorrupt},
      {"free record beyond the records", [](const std::string& P) { PatchU32(P, kDatFreeRecord, 5); },
       ecHeaderCorrupt},
      {"next record 0", [](const std::string& P) { PatchU32(P, kDatNextRecord, 0); }, ecHeaderCorrupt},
      {"records beyond the file", [](const std::string& P) { PatchU32(P, kDatNextRecord, 3); }, ecHeaderCorrupt},
      {"field offset", Word(Field(2, 90), 10), ecHeaderCorrupt},
      {"auto-increment offset", Word(Field(1, 90), 9), ecHeaderCorrupt},
      {"field number", Word(Field(3, 0), 2), ecHeaderCorrupt},
      {"duplicate name",
       [&](const std::string& P) { Patch(P, Field(3, 2), "\x04NAME", 5); }, ecHeaderCorrupt},
      {"empty name", Byte(Field(4, 2), 0), ecHeaderCorrupt},
      {"type 0", Byte(Field(4, 84), 0), ecHeaderCorrupt},
      {"unknown type", Byte(Field(4, 84), 99), ecHeaderCorrupt},
      {"physical size", Byte(Field(2, 88), 200), ecHeaderCorrupt},
      {"size on an integer", Byte(Field(3, 86), 4), ecHeaderCorrupt},
      {"scale on a float", Byte(Field(4, 87), 2), ecHeaderCorrupt},
      {"default not an integer", [&](const std::string& P) { Patch(P, Field(3, 196), "\x03" "abc", 4); },
       ecHeaderCorrupt},
      {"cut inside the header",
       [](const std::string& P) { fs::resize_file(P, 100); }, ecReadError},
      {"cut inside the descriptors",
       [](const std::string& P) { fs::resize_file(P, 127 + 3 * 768); }, ecReadError},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    Create(StudentFields());
    C.Damage(Name);
    auto F = NewFile();
    EXPECT_EQ(CodeOf([&] { F->Open(); }), C.Code);
    EXPECT_FALSE(F->Opened);
  }
}

TEST_F(DataFileTest, FieldAttributesTableInfoAndEmptying) {
  Create(StudentFields());
  {
    auto F = Open();
    for (int I = 0; I < 10; ++I) Append(*F, "R");
    F->NextBlobRevision();
    TFieldDescriptor D = *F->Field(3);
    D.SetName("YEARS");
    SetShortString(D.Bytes + kFieldDescMinimumOffset, 50, "18");
    D.Bytes[kFieldDescDataSizeOffset] = 99;  // not an attribute: stays as it is
    F->SetFieldAttributes(3, D);
    F->SetTableInfo("New", "unused", 500, 7, 8);
    Commit(*F);
    F->WriteFieldDescriptors();
  }
  auto F = Open();
  EXPECT_EQ(F->Field(3)->Name(), "YEARS");
  EXPECT_EQ(F->Field(3)->Minimum(), "18");
  EXPECT_EQ(F->Field(3)->DataSize(), 4);
  EXPECT_EQ(F->Description(), "New");
  EXPECT_EQ(F->Password(), "");
  EXPECT_EQ(F->LastAutoInc(), 500u);
  EXPECT_EQ(F->UserMajorVersion(), 7);
  EXPECT_EQ(F->RecordCount(), 10u);
  F->EmptyTable();
  F->WriteHeader(false);
  EXPECT_EQ(ReadAll(Name).size(), 127u + 6 * 768);
  EXPECT_EQ(F->RecordCount(), 0u);
  EXPECT_EQ(F->LastAutoInc(), 0u);
  EXPECT_EQ(F->LastBlobRevision(), 1u);
  EXPECT_EQ(F->ChangeCount(), 1u);
  EXPECT_EQ(Append(*F, "again"), 1u);
}

TEST_F(DataFileTest, AnotherProcessSeesTheHeaderChangeCount) {
  Create(StudentFields());
  TForkedPeer Peer([&](TForkedPeer& P) {
    auto F = NewFile();
    F->Open();
    bool Quiet = !F->HeaderChanged();
    if (!P.Tell() || !P.Hear()) return 2;
    bool Seen = F->HeaderChanged();
    return Quiet && Seen && F->NextRecord() == 2 && F->ChangeCount() == 2 && !F->HeaderChanged() ? 0 : 1;
  });
  ASSERT_TRUE(Peer.Await());
  {
    auto F = Open();
    Append(*F, "from the parent");
    Commit(*F);
  }
  ASSERT_TRUE(Peer.Signal());
  EXPECT_EQ(Peer.Finish(), 0);
}

// NAME string 10, AGE integer, CNT integer: records of 31 bytes.
class SortTest : public DataFileTest {
 protected:
  std::unique_ptr<TDataFile> Make(uint16_t Language = 0, bool AgeDescending = false, bool Encrypted = false) {
    auto Fields = LayOut({MakeField("NAME", ftString, 10), MakeField("AGE", ftInteger), MakeField("CNT", ftInteger)});
    Fields[1].Bytes[kFieldDescKeyDescendingOffset] = AgeDescending ? 1 : 0;
    Create(Fields, Encrypted, Language, "pw");
    return Open();
  }
  static void Add(TDataFile& F, const std::string& Name, int32_t Age) {
    TRecord* R = nullptr;
    F.AllocateRecord(nullptr, false, R);
    R->SetRowNumber(F.NextAutoInc());
    PutFieldValue(F.Field(1)->Data(), R->Buffer, Name.c_str(), false, 0, 0);
    PutFieldValue(F.Field(2)->Data(), R->Buffer, &Age, false, 0, 0);
    int32_t Zero = 0;
    PutFieldValue(F.Field(3)->Data(), R->Buffer, &Zero, false, 0, 0);
    F.ReleaseRecord(R);
  }
  struct TRow {
    std::string Name;
    int32_t Age, Count;
    uint32_t Own, RowNumber;
  };
  static std::vector<TRow> Rows(TDataFile& F) {
    std::vector<TRow> V;
    for (uint32_t N = 1; N < F.NextRecord(); ++N) {
      TRecord* R = nullptr;
      F.GetRecord(nullptr, N, R);
      TRow Row{reinterpret_cast<const char*>(R->Buffer + 10), static_cast<int32_t>(LoadU32(R->Buffer + 22)),
               static_cast<int32_t>(LoadU32(R->Buffer + 27)), LoadU32(R->Buffer + 1), R->RowNumber()};
      if (R->Status() == 0) V.push_back(Row);
      F.ReleaseRecord(R);
    }
    return V;
  }
};

TEST_F(SortTest, EqualKeysKeepTheirCreationOrder) {
  auto F = Make();
  for (const char* N : {"b", "a", "c", "a", "b"}) Add(*F, N, 1);
  Commit(*F);
  EXPECT_EQ(F->SortRecords({1}, false, false, false, {}, Dir.Path), 5u);
  std::vector<std::pair<std::string, uint32_t>> Got;
  uint32_t Position = 0;
  for (const TRow& R : Rows(*F)) {
    Got.push_back({R.Name, R.RowNumber});
    EXPECT_EQ(R.Own, ++Position);
  }
  std::vector<std::pair<std::string, uint32_t>> Expected = {{"a", 2}, {"a", 4}, {"b", 1}, {"b", 5}, {"c", 3}};
  EXPECT_EQ(Got, Expected);
  EXPECT_EQ(F->NextRecord(), 6u);
}

TEST_F(SortTest, PolishTextsCollateAndDescendingNumbersReverseInAnyLanguage) {
  auto F = Make(0x0415, true);
  const char* Names[] = {"\xbf" "aba", "zebra", "\xb3\xf3" "d\x9f", "lody", "\xb9s", "as", "b\xb9k"};
  int32_t Age = 0;
  for (const char* N : Names) Add(*F, N, ++Age % 3);
  Commit(*F);
  F->SortRecords({1}, false, false, false, {}, Dir.Path);
  std::vector<std::string> Got;
  for (const TRow& R : Rows(*F)) Got.push_back(R.Name);
  std::vector<std::string> Expected = {"as", "\xb9s", "b\xb9k", "lody", "\xb3\xf3" "d\x9f", "zebra", "\xbf" "aba"};
  EXPECT_EQ(Got, Expected);
  F->SortRecords({2}, false, false, false, {}, Dir.Path);
  std::vector<int32_t> Ages;
  for (const TRow& R : Rows(*F)) Ages.push_back(R.Age);
  EXPECT_EQ(Ages, (std::vector<int32_t>{2, 2, 1, 1, 1, 0, 0}));
}

TEST_F(SortTest, DistinctAndGroupMakeOneRowPerKeyAndDropDeletedRecords) {
  struct Case {
    bool Distinct, Group;
    std::vector<std::pair<std::string, int32_t>> Expected;  // name and CNT
  } const Cases[] = {
      {true, false, {{"a", 0}, {"b", 0}}},
      {false, true, {{"a", 10}}},  // b sums to 7 and is dropped
  };
  for (const auto& C : Cases) {
    auto F = Make();
    for (auto [N, A] : std::vector<std::pair<const char*, int32_t>>{{"a", 1}, {"b", 2}, {"a", 3}, {"c", 4}, {"b", 5},
                                                                       {"a", 6}})
      Add(*F, N, A);
    TRecord* R = nullptr;
    ASSERT_TRUE(F->GetRecord(nullptr, 4, R));
    F->PushFreeRecord(R, false);
    F->ReleaseRecord(R);
    Commit(*F);
    TSortGroupCallbacks G;
    int Finished = 0;
    G.Accumulate = [](uint8_t* Row, const uint8_t* Record) {
      StoreU32(Row + 27, LoadU32(Row + 27) + LoadU32(Record + 22));
    };
    G.Finish = [&](uint8_t*) { ++Finished; };
    G.Keep = [](const uint8_t* Row) { return LoadU32(Row + 27) >= 8; };
    uint32_t N = F->SortRecords({1}, false, C.Distinct, C.Group, G, Dir.Path);
    EXPECT_EQ(N, C.Expected.size());
    EXPECT_EQ(F->NextRecord(), N + 1);
    EXPECT_EQ(F->FreeRecord(), 0u);
    Commit(*F);
    EXPECT_EQ(ReadAll(Name).size(), 127u + 3 * 768 + N * 31);
    std::vector<std::pair<std::string, int32_t>> Got;
    for (const TRow& Row : Rows(*F)) Got.push_back({Row.Name, Row.Count});
    EXPECT_EQ(Got, C.Expected);
    EXPECT_EQ(Finished, C.Group ? 2 : 0);
  }
}

TEST_F(SortTest, TablesLargerThanTheCacheAreMergedFromSortedRuns) {
  auto F = Make(0, false, true);
  const int Total = 10000;  // the cache holds 131070 / 31 = 4228 records: three runs
  ASSERT_EQ(F->CacheCapacity, 4228);
  std::mt19937 G(7);
  std::vector<int> Count(100);
  for (int I = 0; I < Total; ++I) {
    int32_t Age = static_cast<int32_t>(G() % 100);
    ++Count[static_cast<size_t>(Age)];
    Add(*F, "x", Age);
  }
  Commit(*F);
  EXPECT_EQ(F->SortRecords({2}, false, false, false, {}, Dir.Path), static_cast<uint32_t>(Total));
  Commit(*F);
  auto Sorted = Open();
  std::vector<TRow> V = Rows(*Sorted);
  ASSERT_EQ(V.size(), static_cast<size_t>(Total));
  std::vector<int> Seen(100);
  for (size_t I = 0; I < V.size(); ++I) {
    ++Seen[static_cast<size_t>(V[I].Age)];
    EXPECT_EQ(V[I].Own, I + 1);
    if (I > 0) {
      ASSERT_LE(V[I - 1].Age, V[I].Age);
      if (V[I - 1].Age == V[I].Age) {
        ASSERT_LT(V[I - 1].RowNumber, V[I].RowNumber);
      }
    }
  }
  EXPECT_EQ(Seen, Count);
  // The run files are gone.
  int Files = 0;
  for (const auto& E : fs::directory_iterator(Dir.Path)) Files += E.path().filename() != "STUDENT.DAT";
  EXPECT_EQ(Files, 0);
}

}  // namespace
