#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/table_file_owner.h"
#include "dbengine/storage/tests/index_test_support.h"

namespace {

using namespace idxtest;

// The table of the golden test: auto-increment, string 40, integer, float, date, BLOB.
class IndexFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Tmp.Dir.empty());
    Fields.Add(ftInteger);         // 1 (auto-increment: an integer of 4 bytes)
    Fields.Add(ftString, 40);      // 2
    Fields.Add(ftInteger);         // 3
    Fields.Add(ftFloat);           // 4
    Fields.Add(ftDate);            // 5
    Fields.Add(ftBlob);            // 6
    Fields.F[0][85] = 29;
  }
  std::unique_ptr<TIndexFile> NewFile() {
    auto F = std::make_unique<TIndexFile>();
    F->FileName = Tmp.Path("T.IDX");
    F->Fields = &Fields;
    return F;
  }
  // Creates the file with the primary index on field 1 and "ByName" on field 2, header written.
  std::unique_ptr<TIndexFile> CreateTable() {
    auto F = NewFile();
    F->CreateFile();
    F->SetPrimaryIndex(MakeIndex("", {1}, 5, true));
    F->AddIndex(MakeIndex("ByName", {2}, 46, false, icDupByte, false, true));
    F->WriteHeader(true);
    return F;
  }

  TTempDir Tmp;
  TTestFields Fields;
};

TEST_F(IndexFile, FreshHeaderAndDescriptorsOnDisk) {
  auto F = CreateTable();
  F->Close();
  TBytes Disk = Tmp.ReadWhole("T.IDX");
  ASSERT_EQ(Disk.size(), 4096u);
  TBytes Want(4096, 0);
  Want[0] = 1;                       // change count after the first header write
  Want[8] = 4;                       // version
  Want[10] = 0x10;                   // end offset 4096
  Want[13] = 1;                      // one secondary index
  // Slot 0 at 14: no name, key length 5, unique, one field: 1.
  Want[45] = 5;
  Want[49] = 1;
  Want[51] = 1;
  Want[68] = 1;
  // Slot 1 at 134: "ByName", key length 46, case-insensitive, DUPBYTE, one field: 2.
  const char* Name = "ByName";
  Want[134] = 6;
  memcpy(&Want[135], Name, 6);
  Want[165] = 46;
  Want[168] = 1;
  Want[170] = 1;
  Want[171] = 1;
  Want[188] = 2;
  // Slot 31 at 3734: "Sys Deleted", key length 5.
  Want[3734] = 11;
  memcpy(&Want[3735], "Sys Deleted", 11);
  Want[3765] = 5;
  Want[3979] = 1;  // the dirty flag is stored as it was when written
  for (size_t I = 0; I < Want.size(); ++I) ASSERT_EQ(Disk[I], Want[I]) << "header byte " << I;

  auto G = NewFile();
  G->Open();
  G->VerifyIndexFile();
  EXPECT_EQ(G->ChangeCount(), 1u);
  EXPECT_FALSE(G->Dirty());
  EXPECT_EQ(G->IndexCount(), 1);
  EXPECT_EQ(G->Descriptor(1)->Name(), "ByName");
  EXPECT_EQ(G->Descriptor(kSysDeletedSlot)->Name(), "Sys Deleted");
  // Counters and the dirty flag.
  G->DecRecordCount();  // stays 0
  EXPECT_EQ(G->GetRecordCount(), 0u);
  G->IncRecordCount();
  G->IncRecordCount();
  G->DecRecordCount();
  EXPECT_TRUE(G->Dirty());
  G->WriteHeader(false);
  G->WriteHeader(false);  // nothing changed: not written again
  G->Close();
  Disk = Tmp.ReadWhole("T.IDX");
  EXPECT_EQ(Disk[0], 2);
  EXPECT_EQ(Disk[3974], 1);
}

TEST_F(IndexFile, DefinitionErrorsCarryTheirCodes) {
  auto F = CreateTable();
  struct TCase {
    const char* What;
    std::function<void(TIndexFile&)> Body;
    uint16_t Code;
    const char* Message;
  } Cases[] = {
      {"second primary index", [](TIndexFile& X) { X.SetPrimaryIndex(MakeIndex("", {3}, 5, true)); },
       ecPrimaryExists, "A primary index is already defined for table '%s' and cannot be added again"},
      {"17 fields", [](TIndexFile& X) {
         X.AddIndex(MakeIndex("Wide", {3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3}, 85, true));
       },
       ecIndexLimit, nullptr},
      {"missing name", [](TIndexFile& X) { X.AddIndex(MakeIndex("  ", {3}, 5, true)); }, ecIndexNameMissing,
       nullptr},
      {"invalid name", [](TIndexFile& X) { X.AddIndex(MakeIndex("1st", {3}, 5, true)); }, ecInvalidIndexName,
       "Invalid secondary index name '1st' specified for table '%s'"},
      {"same name in other case and blanks", [](TIndexFile& X) { X.AddIndex(MakeIndex(" byname ", {3}, 5, true)); },
       ecIndexExists, "The secondary index 'byname' already exists for table '%s'"},
      {"BLOB key field", [](TIndexFile& X) { X.AddIndex(MakeIndex("ByBlob", {6}, 9, true)); }, ecIndexFieldType,
       "Invalid field type specified for index 'ByBlob' in table '%s'"},
  };
  for (const TCase& C : Cases) {
    try {
      C.Body(*F);
      ADD_FAILURE() << C.What << ": no error";
    } catch (const EVXDBEngineError& E) {
      EXPECT_EQ(E.ErrorCode(), C.Code) << C.What;
      if (C.Message) {
        std::string Text = C.Message;
        Text.replace(Text.find("%s"), 2, F->FileName);
        EXPECT_EQ(E.Message(), "VXDB Engine Error # " + std::to_string(C.Code) + " " + Text) << C.What;
      }
    }
  }
  EXPECT_EQ(F->IndexCount(), 1);
  // Up to 30 secondary indexes; the 31st is refused.
  for (int I = 2; I <= 30; ++I) F->AddIndex(MakeIndex("Ix" + std::to_string(I), {3}, 5, true));
  EXPECT_EQ(F->IndexCount(), 30);
  EXPECT_EQ(RaisedCode([&] { F->AddIndex(MakeIndex("Ix31", {3}, 5, true)); }), ecIndexLimit);
  EXPECT_EQ(F->Descriptor(kSysDeletedSlot)->Name(), "Sys Deleted");
}

TEST_F(IndexFile, PrimaryIndexWithoutFieldsAndRemovedIndexes) {
  auto F = NewFile();
  F->CreateFile();
  F->SetPrimaryIndex(MakeIndex("", {}, 0, true));
  EXPECT_TRUE(F->NoPrimaryIndex());
  EXPECT_EQ(F->Descriptor(0)->KeyLength(), 0);
  F->AddIndex(MakeIndex("A", {2}, 46, false));
  F->AddIndex(MakeIndex("B", {3}, 9, false));
  F->AddIndex(MakeIndex("C", {5}, 5, true));
  StoreU32(F->Descriptor(1)->Bytes + kIndexDescRootPageOffset, 0);
  const TIndexDescriptor RemovedA = *F->Descriptor(1);
  F->RemoveIndex(1, true);
  EXPECT_EQ(F->IndexCount(), 2);
  EXPECT_EQ(F->Descriptor(1)->Name(), "B");
  EXPECT_EQ(F->Descriptor(2)->Name(), "C");
  // The removed descriptor waits just past the last index, so its pages can be reclaimed.
  EXPECT_EQ(0, memcmp(F->Descriptor(3)->Bytes, RemovedA.Bytes, kIndexDescriptorSize));
  EXPECT_EQ(F->Descriptor(kSysDeletedSlot)->Name(), "Sys Deleted");
  F->WriteHeader(true);
  F->Close();
  auto G = NewFile();
  G->Open();
  G->VerifyIndexFile();  // a table without a primary index opens
  EXPECT_TRUE(G->NoPrimaryIndex());

  // Redefining a slot replaces the definition, keeps the free chain and byte 95, clears the rest.
  TIndexDescriptor* D = G->Descriptor(2);
  StoreU32(D->Bytes + kIndexDescRootPageOffset, 0x2000);
  StoreU32(D->Bytes + kIndexDescFreePageOffset, 0x3000);
  D->Bytes[94] = 7;
  D->Bytes[95] = 8;
  D->Bytes[100] = 9;
  G->SetIndexDescriptor(2, MakeIndex("D", {3, 5}, 10, true, icFull, true));
  EXPECT_EQ(D->Name(), "D");
  EXPECT_EQ(D->KeyLength(), 10);
  EXPECT_EQ(D->FieldNumber(1), 5);
  EXPECT_EQ(D->Compression(), icFull);
  EXPECT_TRUE(D->Descending());
  EXPECT_EQ(D->RootPage(), 0u);
  EXPECT_EQ(D->FreePage(), 0x3000u);
  EXPECT_EQ(D->Bytes[94], 0);
  EXPECT_EQ(D->Bytes[95], 8);
  EXPECT_EQ(D->Bytes[100], 0);
  const uint16_t Numbers[16] = {5, 3};
  G->RenameIndex(2, "E", Numbers);
  EXPECT_EQ(D->Name(), "E");
  EXPECT_EQ(D->FieldNumber(0), 5);
  EXPECT_EQ(D->FieldNumber(1), 3);
}

// Headers that the open checks refuse: 0x2F03 for the version, 0x2301 for everything else.
TEST_F(IndexFile, OpenChecksRefuseCorruptHeaders) {
  CreateTable()->Close();
  const TBytes Good = Tmp.ReadWhole("T.IDX");
  struct TCase {
    const char* What;
    std::function<void(TBytes&)> Spoil;
    uint16_t Code;
  } Cases[] = {
      {"version 3", [](TBytes& B) { B[8] = 3; }, ecWrongVersion},
      {"31 secondary indexes", [](TBytes& B) { B[13] = 31; }, ecHeaderCorrupt},
      {"33 indexes at open", [](TBytes& B) { B[13] = 33; }, ecHeaderCorrupt},
      {"root page with no pages", [](TBytes& B) { B[14 + 86 + 1] = 0x10; }, ecHeaderCorrupt},
      {"root page at the end offset",
       [](TBytes& B) {
         B[10] = 0x20;             // end offset 8192
         B[14 + 120 + 86 + 1] = 0x20;  // slot 1 root 8192
       },
       ecHeaderCorrupt},
      {"free page off the page grid",
       [](TBytes& B) {
         B[10] = 0x30;
         B[14 + 90] = 0x01;
         B[14 + 90 + 1] = 0x10;
       },
       ecHeaderCorrupt},
      {"primary not unique", [](TBytes& B) { B[14 + 35] = 0; }, ecHeaderCorrupt},
      {"secondary name not an identifier", [](TBytes& B) { B[135] = '9'; }, ecHeaderCorrupt},
      {"two indexes of one name",
       [](TBytes& B) {
         B[13] = 2;
         std::copy(B.begin() + 134, B.begin() + 254, B.begin() + 254);
       },
       ecHeaderCorrupt},
      {"key field that does not exist", [](TBytes& B) { B[188] = 9; }, ecHeaderCorrupt},
      {"BLOB key field", [](TBytes& B) { B[188] = 6; }, ecHeaderCorrupt},
      {"key length not the fields'", [](TBytes& B) { B[165] = 45; }, ecHeaderCorrupt},
      {"17 key fields", [](TBytes& B) { B[171] = 17; }, ecHeaderCorrupt},
      {"unknown compression", [](TBytes& B) { B[170] = 4; }, ecHeaderCorrupt},
      {"deleted-records index of another key length", [](TBytes& B) { B[3765] = 6; }, ecHeaderCorrupt},
  };
  for (const TCase& C : Cases) {
    TBytes B = Good;
    C.Spoil(B);
    Tmp.WriteWhole("T.IDX", B);
    auto F = NewFile();
    EXPECT_EQ(RaisedCode([&] {
                F->Open();
                F->VerifyIndexFile();
              }),
              C.Code)
        << C.What;
  }
  // A file cut short of its header cannot be read.
  Tmp.WriteWhole("T.IDX", TBytes(Good.begin(), Good.begin() + 100));
  auto F = NewFile();
  EXPECT_EQ(RaisedCode([&] { F->Open(); }), ecReadError);
}

TEST_F(IndexFile, FileFullBeyondTwoBillionBytes) {
  CreateTable()->Close();
  TBytes B = Tmp.ReadWhole("T.IDX");
  // The next page would start at 488,282 x 4,096 = 2,000,003,072, beyond the limit.
  StoreU32(&B[9], 488282u * 4096u);
  Tmp.WriteWhole("T.IDX", B);
  auto F = NewFile();
  F->Open();
  const uint8_t Key[5] = {1, 0x80, 0, 0, 1};
  try {
    IndexInsertKey(*F, nullptr, 0, Key, 1);
    ADD_FAILURE() << "no error";
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), ecTableFull);
    EXPECT_EQ(E.Message(), "VXDB Engine Error # 9479 The table '" + F->FileName +
                               "' is full and cannot contain any more data");
  }
  // One page below the limit is still given out.
  StoreU32(&B[9], 488281u * 4096u);
  Tmp.WriteWhole("T.IDX", B);
  F = NewFile();
  F->Open();
  EXPECT_TRUE(IndexInsertKey(*F, nullptr, 0, Key, 1));
  EXPECT_EQ(F->RootPage(0), 488281u * 4096u);
}

TEST_F(IndexFile, EncryptedHeaderIsEncipheredOnDisk) {
  auto F = NewFile();
  F->Encrypted = true;
  F->CreateFile();
  F->SetPrimaryIndex(MakeIndex("", {1}, 5, true));
  F->WriteHeader(true);
  F->Close();
  TBytes Disk = Tmp.ReadWhole("T.IDX");
  TBytes Plain = Disk;
  CipherDecode(Plain.data(), 4096, kTableCipherKeyLow, kTableCipherKeyHigh);
  EXPECT_NE(Disk[8], 4);
  EXPECT_EQ(Plain[8], 4);
  EXPECT_EQ(Plain[3734], 11);
  auto G = NewFile();
  G->Encrypted = true;
  G->Open();
  G->VerifyIndexFile();
  EXPECT_EQ(G->Descriptor(kSysDeletedSlot)->Name(), "Sys Deleted");
}

TEST_F(IndexFile, HeaderChangesMadeByAnotherHandleAreNoticed) {
  CreateTable()->Close();  // a file just created is held exclusively
  auto A = NewFile();
  A->Open();
  auto B = NewFile();
  B->Open();
  EXPECT_FALSE(B->HeaderChanged());
  A->SetRecordCount(12);
  A->WriteHeader(false);
  EXPECT_TRUE(B->HeaderChanged());
  EXPECT_EQ(B->GetRecordCount(), 12u);
  EXPECT_FALSE(B->HeaderChanged());
  // Touching counts the change without writing it.
  A->TouchHeader();
  EXPECT_FALSE(B->HeaderChanged());
}

// ---- Reader and writer locks between processes --------------------------------------------------

// Another process that opens the index file on its own (its own open file description, as a second
// program would) and takes or releases lock bytes on request, answering 'y' or 'n'.
class TLockPeer {
 public:
  explicit TLockPeer(const std::string& Path) {
    int Down[2], Up[2];
    if (pipe(Down) != 0 || pipe(Up) != 0) return;
    Pid = fork();
    if (Pid == 0) {
      close(Down[1]);
      close(Up[0]);
      Serve(Path, Down[0], Up[1]);
      _exit(0);
    }
    close(Down[0]);
    close(Up[1]);
    ToPeer = Down[1];
    FromPeer = Up[0];
  }
  ~TLockPeer() { Kill(); }
  void Send(char Command) const {
    if (write(ToPeer, &Command, 1) != 1) ADD_FAILURE() << "peer gone";
  }
  char Answer() const {
    char C = 0;
    if (read(FromPeer, &C, 1) != 1) return 0;
    return C;
  }
  char Ask(char Command) const {
    Send(Command);
    return Answer();
  }
  void Kill() {
    if (Pid <= 0) return;
    kill(Pid, SIGKILL);
    int Status = 0;
    waitpid(Pid, &Status, 0);
    close(ToPeer);
    close(FromPeer);
    Pid = -1;
  }

 private:
  pid_t Pid = -1;
  int ToPeer = -1, FromPeer = -1;

  static void Serve(const std::string& Path, int In, int Out) {
    TIndexFile F;
    F.FileName = Path;
    F.Open();
    char Cmd;
    while (read(In, &Cmd, 1) == 1) {
      bool Ok = false;
      switch (Cmd) {
        case 'r': {  // a reader byte (with retries), released again
          uint16_t R = 0;
          Ok = F.ReadLock(R) && F.ReadUnlock(R);
          break;
        }
        case 'R':  // one try on a spread of reader bytes
          for (int R = 1; R < 65535 && !Ok; R += 4099)
            if (F.LockBytes(kReaderLockTop - R, 1, true)) {
              F.LockBytes(kReaderLockTop - R, 1, false);
              Ok = true;
            }
          break;
        case 'w':  // one try on the writer range, kept when granted
          Ok = F.LockBytes(kWriterLockFirst, kWriterLockLength, true);
          break;
        case 'W':  // the writer range with retries
          Ok = F.WriteLock();
          break;
        case 'u':
          Ok = F.WriteUnlock();
          break;
      }
      const char A = Ok ? 'y' : 'n';
      if (write(Out, &A, 1) != 1) return;
    }
  }
};

TEST_F(IndexFile, ReadersShareWritersExcludeAcrossProcesses) {
  CreateTable()->Close();
  TLockPeer Peer(Tmp.Path("T.IDX"));
  auto Mine = NewFile();
  Mine->Open();

  uint16_t Reader = 0;
  ASSERT_TRUE(Mine->ReadLock(Reader));
  EXPECT_GE(Reader, 1);
  EXPECT_EQ(Peer.Ask('r'), 'y');  // readers do not exclude each other
  EXPECT_EQ(Peer.Ask('w'), 'n');  // a reader keeps the writer out
  ASSERT_TRUE(Mine->ReadUnlock(Reader));
  EXPECT_FALSE(Mine->ReadUnlock(Reader));  // released once, by its exact byte

  EXPECT_EQ(Peer.Ask('w'), 'y');
  EXPECT_FALSE(Mine->LockBytes(kReaderLockTop - 77, 1, true));  // the writer keeps readers out
  EXPECT_EQ(Peer.Ask('u'), 'y');

  ASSERT_TRUE(Mine->WriteLock());
  EXPECT_EQ(Peer.Ask('R'), 'n');
  EXPECT_EQ(Peer.Ask('w'), 'n');
  // A writer that waits gets the range once the holder lets go.
  Peer.Send('W');
  ASSERT_TRUE(Mine->WriteUnlock());
  EXPECT_EQ(Peer.Answer(), 'y');
  EXPECT_FALSE(Mine->LockBytes(kWriterLockFirst, kWriterLockLength, true));
  // Locks die with their process.
  Peer.Kill();
  EXPECT_TRUE(Mine->LockBytes(kWriterLockFirst, kWriterLockLength, true));
  EXPECT_TRUE(Mine->WriteUnlock());
}

}  // namespace
