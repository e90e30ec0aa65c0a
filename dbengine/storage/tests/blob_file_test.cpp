#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dbengine/storage/blob_file.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/tests/table_files_test_util.h"

using namespace tablefiletest;

namespace {

std::vector<uint8_t> RandomBytes(size_t N, unsigned Seed) {
  std::mt19937 G(Seed);
  std::vector<uint8_t> V(N);
  for (auto& B : V) B = static_cast<uint8_t>(G());
  return V;
}

class BlobFileTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  TOwnerStub Owner;
  std::string Name = Dir.File("STUDENT.BLB");
  bool Encrypted = false;
  int BlockSize = 512;

  std::unique_ptr<TBlobFile> NewFile() {
    auto F = std::make_unique<TBlobFile>(&Owner);
    F->FileName = Name;
    F->TableName = "student";
    F->Encrypted = Encrypted;
    F->SetBlockSize(BlockSize);
    return F;
  }
  void Create() {
    auto F = NewFile();
    F->CreateFile();
    F->WriteHeader(false);
    F->Close();
  }
  std::unique_ptr<TBlobFile> Open() {
    auto F = NewFile();
    F->Open();
    return F;
  }
  static uint32_t Write(TBlobFile& F, const std::vector<uint8_t>& Value, uint32_t Revision, uint32_t First = 0) {
    TBlobBuffer B;
    B.Data = Value;
    B.Revision = Revision;
    B.FirstBlock = First;
    F.WriteBlob(B);
    return B.FirstBlock;
  }
  static std::vector<uint8_t> Read(TBlobFile& F, uint32_t First, uint32_t Revision) {
    TBlobBuffer B;
    B.FirstBlock = First;
    B.Revision = Revision;
    F.ReadBlob(B);
    return B.Data;
  }
  static void Commit(TBlobFile& F) {
    F.FlushBlocks();
    F.WriteHeader(false);
  }
  // Header field of the block at Offset, as stored.
  uint32_t DiskU32(int64_t Offset) const { return U32At(ReadAll(Name), static_cast<size_t>(Offset)); }
};

TEST_F(BlobFileTest, CreateWritesTheHeaderByteForByte) {
  Create();
  std::string B = ReadAll(Name);
  ASSERT_EQ(B.size(), 512u);
  EXPECT_EQ(U32At(B, 0), 1u);  // change count, raised by the write
  EXPECT_EQ(U32At(B, 4), 0u);
  EXPECT_EQ(B[8], 4);
  EXPECT_EQ(U32At(B, 9), 0u);     // free block
  EXPECT_EQ(U32At(B, 13), 512u);  // end offset
  EXPECT_EQ(B[17], 1);            // dirty as written
  EXPECT_EQ(B.substr(18), std::string(494, '\0'));
  auto F = Open();
  EXPECT_EQ(F->EndOffset(), 512u);
  EXPECT_FALSE(F->Dirty());
  // A zero block size in the data file header means 512.
  F->Close();
  F->SetBlockSize(0);
  EXPECT_EQ(F->BlockSize(), 512);
  EXPECT_EQ(F->DataPerBlock(), 494);
}

TEST_F(BlobFileTest, ValuesFillBlocksOfBlockSizeMinus18Bytes) {
  struct Case {
    size_t Length;
    uint32_t Blocks;
  } const Cases[] = {{1, 1}, {494, 1}, {495, 2}, {988, 2}, {989, 3}, {100000, 203}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Length);
    Create();
    auto Value = RandomBytes(C.Length, static_cast<unsigned>(C.Length));
    uint32_t First;
    {
      auto F = Open();
      First = Write(*F, Value, 7);
      Commit(*F);
      EXPECT_EQ(F->EndOffset(), 512 + C.Blocks * 512);
    }
    EXPECT_EQ(First, 512u);
    std::string B = ReadAll(Name);
    ASSERT_EQ(B.size(), 512u + C.Blocks * 512);
    EXPECT_EQ(U32At(B, 512), 0u);                                 // previous
    EXPECT_EQ(U32At(B, 516), C.Blocks == 1 ? 0u : 1024u);         // next
    EXPECT_EQ(U16At(B, 520), std::min<size_t>(C.Length, 494));    // used
    EXPECT_EQ(U32At(B, 522), 7u);                                 // revision
    EXPECT_EQ(U32At(B, 526), C.Length);                           // total, first block only
    EXPECT_EQ(B.substr(530, std::min<size_t>(C.Length, 494)),
              std::string(Value.begin(), Value.begin() + static_cast<long>(std::min<size_t>(C.Length, 494))));
    if (C.Blocks > 1) {
      size_t Last = 512 + (C.Blocks - 1) * 512;
      EXPECT_EQ(U32At(B, Last), Last - 512);  // previous
      EXPECT_EQ(U32At(B, Last + 4), 0u);
      EXPECT_EQ(U16At(B, Last + 8), C.Length - (C.Blocks - 1) * 494);
      EXPECT_EQ(U32At(B, Last + 10), 7u);
      EXPECT_EQ(U32At(B, Last + 14), 0u);
    }
    // Read back after reopening: every byte, the last one too.
    auto F = Open();
    EXPECT_EQ(Read(*F, First, 7), Value);
  }
}

TEST_F(BlobFileTest, ShorterRewriteFreesTheTailAndAllocationReusesIt) {
  Create();
  auto F = Open();
  uint32_t First = Write(*F, RandomBytes(1200, 1), 1);  // blocks 512, 1024, 1536
  Commit(*F);
  EXPECT_EQ(Write(*F, RandomBytes(100, 2), 2, First), First);
  Commit(*F);
  EXPECT_EQ(F->FreeBlock(), 1536u);
  EXPECT_EQ(DiskU32(9), 1536u);
  EXPECT_EQ(DiskU32(516), 0u);          // the kept block ends the chain
  EXPECT_EQ(DiskU32(1536 + 4), 1024u);  // the third names the second
  EXPECT_EQ(DiskU32(1024 + 4), 0u);
  EXPECT_EQ(Read(*F, First, 2), RandomBytes(100, 2));
  TBlobBlock* A = nullptr;
  TBlobBlock* B = nullptr;
  F->AllocateBlock(nullptr, A);
  F->AllocateBlock(nullptr, B);
  EXPECT_EQ(A->Offset, 1536u);
  EXPECT_EQ(B->Offset, 1024u);
  EXPECT_EQ(A->Next, 0u);
  EXPECT_EQ(A->Used, 0);
  EXPECT_EQ(F->FreeBlock(), 0u);
  F->ReleaseBlock(A);
  F->ReleaseBlock(B);
  TBlobBlock* C = nullptr;
  F->AllocateBlock(nullptr, C);
  EXPECT_EQ(C->Offset, 2048u);  // the free chain is used up: the file grows
  F->ReleaseBlock(C);
}

TEST_F(BlobFileTest, LongerRewriteReusesTheChainAndThenGrows) {
  Create();
  auto F = Open();
  uint32_t First = Write(*F, RandomBytes(600, 1), 1);
  uint32_t Other = Write(*F, RandomBytes(10, 2), 1);
  Commit(*F);
  auto Long = RandomBytes(2000, 3);
  EXPECT_EQ(Write(*F, Long, 4, First), First);
  Commit(*F);
  EXPECT_EQ(DiskU32(516), 1024u);  // the old second block stays second
  EXPECT_EQ(DiskU32(1024 + 4), 2048u);
  auto G = Open();
  EXPECT_EQ(Read(*G, First, 4), Long);
  EXPECT_EQ(Read(*G, Other, 1), RandomBytes(10, 2));
}

TEST_F(BlobFileTest, CorruptChainsRaiseTheirCodes) {
  struct Case {
    const char* What;
    std::function<void(const std::string&)> Damage;
    uint32_t Revision;
    uint16_t Code;
  };
  // A three-block value at 512, 1024, 1536 with revision 5.
  const Case Cases[] = {
      {"loop back to the first block", [](const std::string& P) { PatchU32(P, 1024 + 4, 512); }, 5, ecBlobsCorrupt},
      {"next beyond the end", [](const std::string& P) { PatchU32(P, 1024 + 4, 99999999); }, 5, ecBlobsCorrupt},
      {"next between blocks", [](const std::string& P) { PatchU32(P, 512 + 4, 600); }, 5, ecBlobsCorrupt},
      {"second block of another value", [](const std::string& P) { PatchU32(P, 1024 + 10, 6); }, 5,
       ecRecordChanged},
      {"record names an older revision", [](const std::string&) {}, 4, ecRecordChanged},
      {"chain shorter than its length", [](const std::string& P) { PatchU32(P, 1024 + 4, 0); }, 5, ecEndOfBlob},
      {"length beyond the file", [](const std::string& P) { PatchU32(P, 512 + 14, 4000000000u); }, 5,
       ecBlobsCorrupt},
      {"used count beyond the block",
       [](const std::string& P) {
         uint8_t U[2];
         StoreU16(U, 600);
         Patch(P, 512 + 8, U, 2);
       },
       5, ecInvalidBlobLength},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    Create();
    uint32_t First;
    {
      auto F = Open();
      First = Write(*F, RandomBytes(1200, 9), 5);
      Commit(*F);
    }
    C.Damage(Name);
    auto F = Open();
    EXPECT_EQ(CodeOf([&] { Read(*F, First, C.Revision); }), C.Code);
  }
  auto F = Open();
  EXPECT_EQ(CodeOf([&] { Read(*F, 513, 5); }), ecBlobsCorrupt);
  EXPECT_EQ(CodeOf([&] { Read(*F, 1536 + 512, 5); }), ecBlobsCorrupt);
  TBlobBlock* B = nullptr;
  EXPECT_EQ(CodeOf([&] { F->GetBlock(nullptr, 0, B); }), ecBlobsCorrupt);
}

TEST_F(BlobFileTest, FreeingAChainChecksAndRepairsIt) {
  struct Case {
    const char* What;
    bool Repair, ReportOnly, KeepOwner;
    uint32_t Revision;
    bool Loop;
    uint16_t Code;
    const char* Log;
    bool Freed;
  } const Cases[] = {
      {"sound chain", false, false, false, 5, false, 0, nullptr, true},
      {"loop, not repairing", false, false, false, 5, true, ecBlobsCorrupt, nullptr, false},
      {"loop, repaired", true, false, false, 5, true, 0,
       "Recursive intra-block pointer in BLOB file for physical record # 7, error fixed", true},
      {"loop, reported", true, true, false, 5, true, 0,
       "Recursive intra-block pointer in BLOB file for physical record # 7, error not fixed", false},
      {"other revision, not repairing", false, false, false, 4, false, ecBlobsCorrupt, nullptr, false},
      {"other revision, repaired", true, false, false, 4, false, 0,
       "Invalid BLOB offset in BLOB file for physical record # 7, error fixed", false},
      {"other revision, reported", true, true, false, 4, false, 0,
       "Invalid BLOB offset in BLOB file for physical record # 7, error not fixed", false},
      {"other revision, owner kept", false, false, true, 4, false, 0, nullptr, true},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    Create();
    uint32_t First;
    {
      auto F = Open();
      First = Write(*F, RandomBytes(1200, 3), 5);
      Commit(*F);
    }
    if (C.Loop) PatchU32(Name, 1536 + 4, 1024);
    Owner.Repair = C.Repair;
    Owner.Log.clear();
    auto F = Open();
    uint32_t Link = First;
    EXPECT_EQ(CodeOf([&] { F->FreeBlobChain(nullptr, C.ReportOnly, C.KeepOwner, 7, C.Revision, Link); }), C.Code);
    if (C.Log != nullptr) {
      ASSERT_EQ(Owner.Log.size(), 1u);
      EXPECT_EQ(Owner.Log[0], C.Log);
    } else {
      EXPECT_TRUE(Owner.Log.empty());
    }
    if (C.Freed) {
      EXPECT_EQ(Link, 0u);
      // Freed in chain order: the last block heads the free chain.
      EXPECT_EQ(F->FreeBlock(), 1536u);
      TBlobBlock* B = nullptr;
      ASSERT_TRUE(F->GetBlock(nullptr, 1536, B));
      EXPECT_EQ(B->Next, 1024u);
      F->ReleaseBlock(B);
    } else {
      EXPECT_EQ(F->FreeBlock(), 0u);
    }
    if (C.Code == 0 && C.Repair && !C.ReportOnly && !C.Loop) {
      EXPECT_EQ(Link, 0u);
    }
    if (C.ReportOnly) {
      EXPECT_EQ(Link, First);
    }
  }
}

TEST_F(BlobFileTest, CorruptHeadersRaiseAtOpen) {
  struct Case {
    const char* What;
    std::function<void(const std::string&)> Damage;
    uint16_t Code;
  } const Cases[] = {
      {"version 3", [](const std::string& P) { Patch(P, 8, "\x03", 1); }, ecWrongVersion},
      {"free block in an empty file", [](const std::string& P) { PatchU32(P, 9, 1024); }, ecHeaderCorrupt},
      {"free block at the end",
       [](const std::string& P) {
         fs::resize_file(P, 1536);
         PatchU32(P, 13, 1536);
         PatchU32(P, 9, 1536);
       },
       ecHeaderCorrupt},
      {"free block between blocks",
       [](const std::string& P) {
         fs::resize_file(P, 1536);
         PatchU32(P, 13, 1536);
         PatchU32(P, 9, 700);
       },
       ecHeaderCorrupt},
      {"end between blocks", [](const std::string& P) { PatchU32(P, 13, 1000); }, ecHeaderCorrupt},
      {"end beyond the file", [](const std::string& P) { PatchU32(P, 13, 512 + 512 * 1000); }, ecHeaderCorrupt},
      {"end before the header", [](const std::string& P) { PatchU32(P, 13, 100); }, ecHeaderCorrupt},
      {"cut header", [](const std::string& P) { fs::resize_file(P, 200); }, ecReadError},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    Create();
    C.Damage(Name);
    auto F = NewFile();
    EXPECT_EQ(CodeOf([&] { F->Open(); }), C.Code);
    EXPECT_FALSE(F->Opened);
  }
  // A free chain through itself would hand out one block twice.
  Create();
  {
    auto F = Open();
    Write(*F, RandomBytes(10, 1), 1);
    Commit(*F);
  }
  PatchU32(Name, 9, 512);
  PatchU32(Name, 512 + 4, 512);
  auto F = Open();
  TBlobBlock* B = nullptr;
  EXPECT_EQ(CodeOf([&] { F->AllocateBlock(nullptr, B); }), ecBlobsCorrupt);
}

TEST_F(BlobFileTest, CacheFlushesWhenFullAndGrowsInsideATransaction) {
  Create();
  auto F = Open();
  ASSERT_EQ(F->CacheCapacity, 131070 / 512);
  auto Big = RandomBytes(200000, 4);  // 405 blocks
  uint32_t First = Write(*F, Big, 1);
  EXPECT_GT(F->BlockWrites, 0);
  EXPECT_LE(F->CachedBlocks(), F->CacheCapacity);
  Commit(*F);
  Owner.Transaction = true;
  int64_t Writes = F->BlockWrites;
  auto Second = RandomBytes(200000, 5);
  uint32_t Next = Write(*F, Second, 2);
  EXPECT_EQ(F->BlockWrites, Writes);
  EXPECT_GT(F->CacheCapacity, 255);
  Owner.Transaction = false;
  Commit(*F);
  F->TrimCache();
  EXPECT_LE(F->CachedBlocks(), 255);
  auto G = Open();
  EXPECT_EQ(Read(*G, First, 1), Big);
  EXPECT_EQ(Read(*G, Next, 2), Second);
  EXPECT_EQ(G->BlockReads, (405 * 512 + 65535 - 1) / 65535 * 2);  // read ahead 127 blocks at a time
}

TEST_F(BlobFileTest, EncryptedFileHidesHeaderBlocksAndData) {
  Encrypted = true;
  BlockSize = 1024;
  Create();
  std::vector<uint8_t> Text;
  for (int I = 0; I < 40; ++I)
    for (char C : std::string("Plain text marker "))
      Text.push_back(static_cast<uint8_t>(C));
  uint32_t First;
  {
    auto F = Open();
    First = Write(*F, Text, 3);
    Commit(*F);
  }
  std::string B = ReadAll(Name);
  EXPECT_EQ(B.size(), 512u + 1024);
  EXPECT_NE(B[8], 4);  // even the header is enciphered
  EXPECT_EQ(B.find("Plain text"), std::string::npos);
  auto F = Open();
  EXPECT_EQ(F->Version(), 4);
  EXPECT_EQ(Read(*F, First, 3), Text);
}

TEST_F(BlobFileTest, TheFileStopsGrowingAt2000000000Bytes) {
  Create();
  auto F = Open();
  TBlobBlock* B = nullptr;
  // Only the header copy says so: nothing of this reaches the disk.
  StoreU32(F->Header + kBlbEndOffset, 2000000000u);
  EXPECT_EQ(CodeOf([&] { F->GetBlock(nullptr, 2000000000u, B); }), 0);
  F->ReleaseBlock(B);
  EXPECT_EQ(F->EndOffset(), 2000000512u);
  EXPECT_EQ(CodeOf([&] { F->AllocateBlock(nullptr, B); }), ecTableFull);
  F->ClearCache();
}

TEST_F(BlobFileTest, EmptyingCutsTheFileBackToItsHeader) {
  Create();
  auto F = Open();
  Write(*F, RandomBytes(3000, 1), 1);
  Commit(*F);
  F->EmptyBlobFile();
  F->WriteHeader(false);
  EXPECT_EQ(ReadAll(Name).size(), 512u);
  EXPECT_EQ(F->EndOffset(), 512u);
  EXPECT_EQ(F->FreeBlock(), 0u);
  EXPECT_EQ(F->CachedBlocks(), 0);
  EXPECT_EQ(Write(*F, RandomBytes(10, 2), 2), 512u);
}

}  // namespace
