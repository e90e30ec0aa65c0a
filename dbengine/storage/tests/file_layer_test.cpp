#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/file_layer.h"

namespace {

namespace fs = std::filesystem;

// Byte of record n in a data file and the "release every record byte" range.
int64_t RecordByte(int64_t N) { return 0x7FFFFFFE - N; }
constexpr int64_t kReleaseAllFirst = 0x7A0A1EFD;
constexpr int64_t kReleaseAllLength = 100000001;

class FileLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    char Tmpl[] = "/tmp/vxfl.XXXXXX";
    ASSERT_NE(mkdtemp(Tmpl), nullptr);
    Dir = Tmpl;
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::string Path(const std::string& Name) const { return Dir + "/" + Name; }
  void WriteFile(const std::string& Name, const std::string& Text) const {
    std::ofstream(Path(Name), std::ios::binary) << Text;
  }
  std::string ReadWhole(const std::string& Name) const {
    std::ifstream In(Path(Name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
  }

  std::string Dir;
};

// True when another open file description cannot write-lock the range (someone holds it).
bool HeldByAnyone(const std::string& Path, int64_t First, int64_t Length) {
  int Fd = open(Path.c_str(), O_RDWR);
  if (Fd < 0) return false;
  struct flock L;
  memset(&L, 0, sizeof(L));
  L.l_type = F_WRLCK;
  L.l_whence = SEEK_SET;
  L.l_start = First;
  L.l_len = Length;
  fcntl(Fd, F_OFD_GETLK, &L);
  close(Fd);
  return L.l_type != F_UNLCK;
}

// Runs Body in a child process; the child reports one byte over a pipe (Body's result) and then
// waits to be killed. Returns the child's pid and the reported byte.
struct TChild {
  pid_t Pid = -1;
  char Report = 0;
};

TChild StartChild(const std::function<char()>& Body) {
  int P[2];
  if (pipe(P) != 0) return {};
  pid_t Pid = fork();
  if (Pid == 0) {
    close(P[0]);
    char C = Body();
    if (write(P[1], &C, 1) != 1) _exit(3);
    for (;;) pause();
  }
  close(P[1]);
  TChild Child;
  Child.Pid = Pid;
  if (read(P[0], &Child.Report, 1) != 1) Child.Report = 0;
  close(P[0]);
  return Child;
}

void KillChild(TChild& C) {
  kill(C.Pid, SIGKILL);
  int Status = 0;
  waitpid(C.Pid, &Status, 0);
}

TEST_F(FileLayer, SharedOpensShareOneObjectAndDescriptor) {
  WriteFile("t.dat", "0123456789");
  TFileList& L = EngineFileList();
  TAbstractFile *A = nullptr, *B = nullptr;
  bool RO = true;
  int HA = L.FileOpen(Path("t.dat"), false, false, false, false, false, RO, A);
  int HB = L.FileOpen(Path("t.dat"), false, false, false, false, false, RO, B);
  ASSERT_GT(HA, 0);
  ASSERT_GT(HB, 0);
  EXPECT_NE(HA, HB);
  EXPECT_EQ(A, B);
  EXPECT_FALSE(RO);
  int Fd = static_cast<TPhysicalFile*>(A)->Descriptor;
  // Each handle has its own position.
  char Buf[4] = {};
  EXPECT_EQ(A->Seek(HA, 5, 0), 5);
  EXPECT_EQ(A->Read(HA, Buf, 3), 3);
  EXPECT_EQ(std::string(Buf, 3), "567");
  EXPECT_EQ(A->Read(HB, Buf, 3), 3);
  EXPECT_EQ(std::string(Buf, 3), "012");
  // Exclusive requests, creates, renames and deletes are refused while handles are open.
  TAbstractFile* C = nullptr;
  EXPECT_EQ(L.FileOpen(Path("t.dat"), false, false, false, false, true, RO, C), -ecAccessDenied);
  EXPECT_EQ(L.FileCreate(Path("t.dat"), false, false, C), -ecAccessDenied);
  EXPECT_EQ(L.FileRename(Path("t.dat"), false, Path("u.dat")), -ecAccessDenied);
  EXPECT_EQ(L.FileDelete(Path("t.dat"), false), -ecAccessDenied);
  // Closing one handle keeps the other usable on the same descriptor.
  EXPECT_EQ(L.FileClose(A, false, HA), 0);
  EXPECT_EQ(static_cast<TPhysicalFile*>(B)->Descriptor, Fd);
  EXPECT_EQ(B->Read(HB, Buf, 2), 2);
  EXPECT_EQ(std::string(Buf, 2), "34");
  EXPECT_EQ(L.FileClose(B, false, HB), 0);
  EXPECT_EQ(static_cast<TPhysicalFile*>(B)->Descriptor, -1);
  EXPECT_EQ(L.FileClose(B, false, HB), -ecInvalidPath);  // no open handles left
  // Now exclusive use is possible.
  int HC = L.FileOpen(Path("t.dat"), false, false, false, false, true, RO, C);
  ASSERT_GT(HC, 0);
  EXPECT_EQ(L.FileOpen(Path("t.dat"), false, false, false, false, false, RO, A), -ecAccessDenied);
  EXPECT_EQ(L.FileClose(C, false, HC), 0);
  EXPECT_EQ(L.FileDelete(Path("t.dat"), false), 0);
  EXPECT_FALSE(fs::exists(Path("t.dat")));
}

TEST_F(FileLayer, TwoSpellingsOfOneFileShareOneObject) {
  fs::create_directory(Path("sub"));
  WriteFile("sub/x.dat", "abc");
  TFileHandler A(Path("sub/x.dat")), B(Dir + "/sub/../sub//X.DAT");
  A.Open();
  B.Open();
  EXPECT_EQ(A.FileObject, B.FileObject);
}

TEST_F(FileLayer, MemoryFilesKeepContentsUntilDeleted) {
  TFileList& L = EngineFileList();
  std::string Name = "MEMORY/" + Dir + "/mem.dat";
  TAbstractFile* F = nullptr;
  bool RO = false;
  EXPECT_EQ(L.FileOpen(Name, true, false, false, false, false, RO, F), -ecInvalidPath);
  int H = L.FileCreate(Name, true, false, F);
  ASSERT_GT(H, 0);
  EXPECT_EQ(F->Write(H, "hello", 5), 5);
  EXPECT_EQ(F->Seek(H, 100, 0), 100);
  EXPECT_EQ(F->Write(H, "!", 1), 1);
  EXPECT_EQ(F->GetSize(), 101);
  EXPECT_EQ(L.FileClose(F, true, H), 0);
  EXPECT_TRUE(L.FileExists(Name, true));
  EXPECT_FALSE(L.FileExists(Name, false));
  H = L.FileOpen(Name, true, false, false, false, false, RO, F);
  ASSERT_GT(H, 0);
  char Buf[200];
  EXPECT_EQ(F->Read(H, Buf, sizeof(Buf)), 101);
  EXPECT_EQ(std::string(Buf, 5), "hello");
  EXPECT_EQ(Buf[50], 0);  // the gap reads as zero
  EXPECT_EQ(Buf[100], '!');
  EXPECT_EQ(F->Read(H, Buf, 10), 0);  // at the end
  EXPECT_EQ(F->Seek(H, 500, 0), 500);
  EXPECT_EQ(F->Read(H, Buf, 10), 0);  // beyond the end
  EXPECT_EQ(F->Seek(H, 1, 2), 100);   // back from the end
  EXPECT_EQ(F->Seek(H, 3, 0), 3);
  EXPECT_EQ(F->Truncate(H), 0);
  EXPECT_EQ(F->GetSize(), 3);
  EXPECT_EQ(L.FileClose(F, true, H), 0);
  EXPECT_EQ(L.FileRename(Name, true, Name + "2"), 0);
  EXPECT_FALSE(L.FileExists(Name, true));
  EXPECT_EQ(L.FileDelete(Name + "2", true), 0);
  EXPECT_FALSE(L.FileExists(Name + "2", true));
  EXPECT_EQ(L.FileDelete(Name + "2", true), -ecInvalidPath);
  TFileHandler Gone(Name + "2", true);
  try {
    Gone.Open();
    FAIL();
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), ecInvalidPath);
  }
}

TEST_F(FileLayer, RangeTableRefusesOverlapAndNeedsExactUnlock) {
  WriteFile("r.dat", "x");
  TFileHandler Disk(Path("r.dat"));
  Disk.Open();
  TFileHandler Mem("MEMORY/" + Dir + "/r.dat", true);
  Mem.CreateFile();
  for (TFileHandler* H : {&Disk, &Mem}) {
    SCOPED_TRACE(H->InMemory ? "memory" : "disk");
    struct Step { int64_t First, Length; bool Lock, Expected; };
    const Step Steps[] = {
        {100, 10, true, true},   // 100..109
        {105, 1, true, false},   // inside
        {95, 6, true, false},    // a held range starts inside the new one
        {109, 5, true, false},   // last byte shared
        {110, 5, true, true},    // adjacent is fine
        {90, 10, true, true},    // 90..99, adjacent below
        {100, 5, false, false},  // not the exact range
        {100, 11, false, false},
        {100, 10, false, true},
        {100, 10, false, false},  // already released
        {100, 1, true, true},
        {5, 0, true, false},      // empty range
    };
    for (const Step& S : Steps)
      EXPECT_EQ(H->LockBytes(S.First, S.Length, S.Lock), S.Expected) << S.First << "," << S.Length << "," << S.Lock;
  }
  // The byte that arbitrates exclusive opens is not available to range locks.
  EXPECT_FALSE(Disk.LockBytes(kOpenModeLockByte - 1, 2, true));
  EXPECT_TRUE(Disk.LockBytes(kOpenModeLockByte + 1, 1, true));
  // The disk ranges are real system locks, visible to any other open file description.
  EXPECT_TRUE(HeldByAnyone(Path("r.dat"), 112, 1));
  EXPECT_FALSE(HeldByAnyone(Path("r.dat"), 101, 1));
  Disk.Close();
  EXPECT_FALSE(HeldByAnyone(Path("r.dat"), 112, 1));  // closing the last handle drops them
}

// Many held ranges (as a transaction's record locks are): every answer matches a plain list of
// ranges checked one by one, whichever neighbours a request falls between.
TEST_F(FileLayer, ManyHeldRangesAnswerAsAPlainListWould) {
  TFileHandler Mem("MEMORY/" + Dir + "/many.dat", true);
  Mem.CreateFile();
  struct TRange { int64_t First, Length; };
  std::vector<TRange> Held;
  auto Overlaps = [&](int64_t First, int64_t Length) {
    for (const TRange& R : Held)
      if ((First >= R.First && First <= R.First + R.Length - 1) || (R.First >= First && R.First <= First + Length - 1))
        return true;
    return false;
  };
  std::mt19937 G(99);
  int Granted = 0, Released = 0;
  for (int Step = 0; Step < 6000; ++Step) {
    const int64_t First = static_cast<int64_t>(G() % 3000);
    const int64_t Length = 1 + static_cast<int64_t>(G() % (Step % 7 == 0 ? 40 : 3));
    if (G() % 3 != 0) {
      const bool Expected = !Overlaps(First, Length);
      ASSERT_EQ(Mem.LockBytes(First, Length, true), Expected) << First << "," << Length;
      if (Expected) Held.push_back({First, Length}), ++Granted;
    } else {
      auto It = std::find_if(Held.begin(), Held.end(), [&](const TRange& R) { return R.First == First && R.Length == Length; });
      ASSERT_EQ(Mem.LockBytes(First, Length, false), It != Held.end()) << First << "," << Length;
      if (It != Held.end()) Held.erase(It), ++Released;
    }
  }
  EXPECT_GT(Granted, 500);
  EXPECT_GT(Released, 100);
  EXPECT_EQ(Mem.FileObject->LockRanges.size(), Held.size());
}

TEST_F(FileLayer, SessionsOfOneProcessExcludeEachOther) {
  WriteFile("s.dat", "x");
  TFileHandler A(Path("s.dat")), B(Path("s.dat"));
  A.Open();
  B.Open();
  ASSERT_EQ(A.FileObject, B.FileObject);
  const int64_t R7 = RecordByte(7), R8 = RecordByte(8);
  ASSERT_TRUE(A.LockBytes(R7, 1, true));
  EXPECT_FALSE(B.LockBytes(R7, 1, true));   // refused although the descriptor is shared
  EXPECT_FALSE(B.LockBytes(R7, 1, false));  // B cannot release what A holds
  ASSERT_TRUE(B.LockBytes(R8, 1, true));
  EXPECT_TRUE(B.LockBytes(R8, 1, false));   // releasing B's byte...
  EXPECT_FALSE(B.LockBytes(R7, 1, true));   // ...leaves A's held
  EXPECT_TRUE(HeldByAnyone(Path("s.dat"), R7, 1));
  EXPECT_FALSE(HeldByAnyone(Path("s.dat"), R8, 1));
  // Closing B (another user of the same descriptor) keeps A's lock.
  B.Close();
  EXPECT_TRUE(HeldByAnyone(Path("s.dat"), R7, 1));
  EXPECT_TRUE(A.LockBytes(R7, 1, false));
  EXPECT_FALSE(HeldByAnyone(Path("s.dat"), R7, 1));
}

TEST_F(FileLayer, ReleaseOfAllRecordBytesDoesNotReleaseAnotherSessionsRecord) {
  WriteFile("c.dat", "x");
  TFileHandler A(Path("c.dat")), B(Path("c.dat"));
  A.Open();
  B.Open();
  ASSERT_TRUE(A.LockBytes(RecordByte(7), 1, true));
  EXPECT_FALSE(B.LockBytes(kReleaseAllFirst, kReleaseAllLength, false));
  EXPECT_FALSE(A.LockBytes(kReleaseAllFirst, kReleaseAllLength, false));
  EXPECT_TRUE(HeldByAnyone(Path("c.dat"), RecordByte(7), 1));
  EXPECT_FALSE(B.LockBytes(RecordByte(7), 1, true));
}

TEST_F(FileLayer, RecordLockHeldByAKilledProcessIsReleased) {
  WriteFile("k.dat", "x");
  const std::string P = Path("k.dat");
  TChild Child = StartChild([&]() -> char {
    auto* H = new TFileHandler(P);  // kept open until the process dies
    H->Open();
    return H->LockBytes(RecordByte(7), 1, true) ? '1' : '0';
  });
  ASSERT_EQ(Child.Report, '1');
  TFileHandler Mine(P);
  Mine.Open();
  EXPECT_FALSE(Mine.LockBytes(RecordByte(7), 1, true));  // refused at once
  EXPECT_TRUE(Mine.LockBytes(RecordByte(8), 1, true));   // other records are free
  KillChild(Child);
  EXPECT_TRUE(Mine.LockBytes(RecordByte(7), 1, true));
}

TEST_F(FileLayer, ExclusiveOpenInAnotherProcessDeniesAccess) {
  WriteFile("e.dat", "x");
  const std::string P = Path("e.dat");
  struct Case { bool ChildExclusive, MineExclusive, Denied; };
  const Case Cases[] = {{true, false, true}, {true, true, true}, {false, true, true}, {false, false, false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::to_string(C.ChildExclusive) + std::to_string(C.MineExclusive));
    TChild Child = StartChild([&]() -> char {
      auto* H = new TFileHandler(P);  // kept open until the process dies
      H->Exclusive = C.ChildExclusive;
      H->Open();
      return '1';
    });
    ASSERT_EQ(Child.Report, '1');
    TAbstractFile* F = nullptr;
    bool RO = false;
    int R = EngineFileList().FileOpen(P, false, false, false, false, C.MineExclusive, RO, F);
    if (C.Denied) {
      EXPECT_EQ(R, -ecAccessDenied);
      TFileHandler H(P);
      H.Exclusive = C.MineExclusive;
      try {
        H.Open();
        ADD_FAILURE() << "open succeeded";
      } catch (const EVXDBEngineError& E) {
        EXPECT_EQ(E.ErrorCode(), ecAccessDenied);
        EXPECT_NE(E.Message().find("Access denied to table"), std::string::npos);
      }
    } else {
      ASSERT_GT(R, 0);
      EngineFileList().FileClose(F, false, R);
    }
    // Creating (truncating) a file that another process has open is refused and keeps its data.
    if (C.Denied) {
      TAbstractFile* Created = nullptr;
      EXPECT_EQ(EngineFileList().FileCreate(P, false, false, Created), -ecAccessDenied);
      EXPECT_EQ(fs::file_size(P), 1u);
    }
    KillChild(Child);
    R = EngineFileList().FileOpen(P, false, false, false, false, true, RO, F);
    ASSERT_GT(R, 0);  // free again once the other process is gone
    EngineFileList().FileClose(F, false, R);
  }
}

TEST_F(FileLayer, HandlerReadsWritesTruncatesAndReportsErrors) {
  TFileHandler H(Path("h.dat"));
  H.TableName = "student";
  try {
    H.Open();
    FAIL();
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.Message(), "VXDB Engine Error # 11010 Invalid path or file name for table 'student'");
  }
  H.CreateFile();
  std::string Data(100, 'a');
  H.Write(Data.data(), 100);
  H.Write(nullptr, 0);  // a 0-byte write does not truncate
  EXPECT_EQ(H.GetSize(), 100);
  EXPECT_EQ(H.Seek(40, 0), 40);
  EXPECT_EQ(H.GetSize(), 100);
  EXPECT_EQ(H.Seek(0, 1), 40);  // GetSize kept the position
  H.Truncate();
  EXPECT_EQ(H.GetSize(), 40);
  EXPECT_EQ(fs::file_size(Path("h.dat")), 40u);
  char Buf[64];
  EXPECT_EQ(H.ReadAt(30, Buf, 64, true), 10);
  try {
    H.ReadAt(30, Buf, 64);
    FAIL();
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), ecReadError);
    EXPECT_EQ(E.Errors[0].Text, "Error reading from table 'student'");
  }
  H.WriteAt(1LL << 32, "z", 1);  // 64-bit offsets
  EXPECT_EQ(H.GetSize(), (1LL << 32) + 1);
  EXPECT_EQ(H.ReadAt(1LL << 32, Buf, 1), 1);
  EXPECT_EQ(Buf[0], 'z');
  H.Flush();
  H.Close();
  EXPECT_FALSE(H.Opened);
  TFileHandler Closed(Path("h.dat"));
  EXPECT_THROW(Closed.Read(Buf, 1), EVXDBEngineError);
  EXPECT_THROW(Closed.Write(Buf, 1), EVXDBEngineError);
  EXPECT_FALSE(Closed.LockBytes(1, 1, true));
}

TEST_F(FileLayer, WriteThroughAndCaseInsensitiveNames) {
  WriteFile("STUDENT.DAT", "upper");
  WriteFile("both.dat", "lower");
  WriteFile("BOTH.DAT", "UPPER");
  TFileHandler H(Path("student.dat"));
  EXPECT_TRUE(H.Exists());
  H.WriteThrough = true;
  H.Open();
  int Fd = static_cast<TPhysicalFile*>(H.FileObject)->Descriptor;
  EXPECT_TRUE(fcntl(Fd, F_GETFL) & O_DSYNC);
  char Buf[5];
  H.Read(Buf, 5);
  EXPECT_EQ(std::string(Buf, 5), "upper");
  EXPECT_EQ(ResolveDiskFileName(Path("both.dat")), Path("both.dat"));  // exact match first
  EXPECT_EQ(ResolveDiskFileName(Path("BOTH.DAT")), Path("BOTH.DAT"));
  EXPECT_EQ(ResolveDiskFileName(Dir + "\\student.dat"), Path("STUDENT.DAT"));
  EXPECT_EQ(ResolveDiskFileName(Path("none.dat")), Path("none.dat"));
  // Engine names are CP1250; on disk they are UTF-8, and Polish letters fold too.
  WriteFile("\xC5\xBB" "ABA.DAT", "frog");  // "ŻABA.DAT"
  TFileHandler Frog(Dir + "/\xBF" "aba.dat");  // "żaba.dat" in CP1250
  ASSERT_TRUE(Frog.Exists());
  Frog.Open();
  char Four[4];
  Frog.Read(Four, 4);
  EXPECT_EQ(std::string(Four, 4), "frog");
  H.Close();
  EXPECT_FALSE(fcntl(Fd, F_GETFD) >= 0 && H.FileObject);
}

TEST_F(FileLayer, ReadOnlyFilesOpenForReadingOnly) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  WriteFile("ro.dat", "data");
  chmod(Path("ro.dat").c_str(), 0444);
  TFileHandler H(Path("ro.dat"));
  H.Open();
  EXPECT_TRUE(H.OpenedReadOnly);
  char Buf[4];
  EXPECT_EQ(H.Read(Buf, 4), 4);
  EXPECT_THROW(H.Write("x", 1), EVXDBEngineError);
  EXPECT_TRUE(H.LockBytes(RecordByte(1), 1, true));  // table entry only
  EXPECT_FALSE(H.LockBytes(RecordByte(1), 1, true));
}

TEST_F(FileLayer, TemporaryFilesAndCopies) {
  TFileList& L = EngineFileList();
  int Before = L.Count();
  {
    TFileHandler T(Path("tmp.dat"));
    T.Temporary = true;
    T.CreateFile();
    T.Write("temporary", 9);
    T.Close();  // a created temporary file leaves the list but stays on disk
  }
  EXPECT_EQ(L.Count(), Before);
  EXPECT_TRUE(fs::exists(Path("tmp.dat")));
  {
    TFileHandler T(Path("tmp.dat"));
    T.Temporary = true;
    T.Open();
    char Buf[9];
    T.Read(Buf, 9);
    EXPECT_EQ(std::string(Buf, 9), "temporary");
  }  // opened as temporary: removed at its last close
  EXPECT_FALSE(fs::exists(Path("tmp.dat")));
  EXPECT_EQ(L.Count(), Before);

  WriteFile("src.dat", "short");
  WriteFile("dst.dat", "a much longer old content");
  TFileHandler D(Path("dst.dat"));
  D.Open();
  D.CopyFrom(Path("src.dat"));
  D.CopyTo(Path("copy.dat"));
  D.Close();
  EXPECT_EQ(ReadWhole("dst.dat"), "short");
  EXPECT_EQ(ReadWhole("copy.dat"), "short");

  // Renames never replace an existing file.
  EXPECT_EQ(L.FileRename(Path("copy.dat"), false, Path("src.dat")), -ecUnknownOSError);
  EXPECT_EQ(L.FileRename(Path("copy.dat"), false, Path("moved.dat")), 0);
  EXPECT_TRUE(fs::exists(Path("moved.dat")));
  EXPECT_EQ(L.FileDelete(Path("missing.dat"), false), -ecInvalidPath);
  TAbstractFile* F = nullptr;
  EXPECT_EQ(L.FileCreate(Dir + "/.dat", false, false, F), -ecInvalidPath);
}

TEST_F(FileLayer, ParkedHandlesHoldNoLockAndTakeBackOnlyTheSameFile) {
  WriteFile("t.dat", "old");
  TFileHandler A(Path("t.dat"));
  A.Open();
  ASSERT_TRUE(A.Park());
  // Parked, the file holds no lock: another process could open it exclusively.
  EXPECT_FALSE(HeldByAnyone(Path("t.dat"), kOpenModeLockByte, 1));
  ASSERT_TRUE(A.Unpark());
  EXPECT_TRUE(HeldByAnyone(Path("t.dat"), kOpenModeLockByte, 1));
  char Buf[4] = {};
  EXPECT_EQ(A.ReadAt(0, Buf, 3), 3);
  EXPECT_EQ(std::string(Buf, 3), "old");
  // A lock the handle holds is not parked with it.
  ASSERT_TRUE(A.LockBytes(RecordByte(1), 1, true));
  EXPECT_FALSE(A.Park());
  ASSERT_TRUE(A.LockBytes(RecordByte(1), 1, false));

  struct TCase {
    const char* What;
    std::function<void()> Meanwhile;
  };
  const TCase Cases[] = {
      {"replaced", [&] {
         WriteFile("n.dat", "new");
         fs::rename(Path("n.dat"), Path("t.dat"));
       }},
      {"deleted", [&] { fs::remove(Path("t.dat")); }},
      {"opened exclusively in this process", [&] {
         TFileHandler X(Path("t.dat"));
         X.Exclusive = true;
         X.Open();
       }},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    WriteFile("t.dat", "old");
    A.Open();
    ASSERT_TRUE(A.Park());
    C.Meanwhile();
    EXPECT_FALSE(A.Unpark());
    EXPECT_FALSE(A.Opened);
    EXPECT_EQ(A.FileObject, nullptr);
    if (fs::exists(Path("t.dat"))) {
      A.Open();
      EXPECT_EQ(A.ReadAt(0, Buf, 3), 3);
      EXPECT_EQ(std::string(Buf, 3), ReadWhole("t.dat"));
      A.Close();
    }
    EXPECT_FALSE(HeldByAnyone(Path("t.dat"), kOpenModeLockByte, 1));
  }
}

// A handle taken back learns whether its file was written while it was parked, by anyone: its
// holder keeps what it read before only when nothing was written.
TEST_F(FileLayer, ParkedHandlesLearnWhetherTheirFileWasWrittenMeanwhile) {
  WriteFile("t.dat", "0123456789");
  TFileHandler A(Path("t.dat"));
  A.Open();
  // Another handle of this process, used while A is parked.
  const auto Other = [&](const std::function<void(TFileHandler&)>& Use) {
    TFileHandler B(Path("t.dat"));
    B.Open();
    Use(B);
    B.Close();
  };
  struct TCase {
    const char* What;
    std::function<void()> Meanwhile;
    bool Written;
  };
  const TCase Cases[] = {
      {"nothing", [] {}, false},
      {"read through another handle", [&] { Other([](TFileHandler& B) { char Buf[2]; B.ReadAt(0, Buf, 2); }); }, false},
      {"written through another handle", [&] { Other([](TFileHandler& B) { B.WriteAt(5, "y", 1); }); }, true},
      {"written in place without the engine", [&] {
         std::fstream F(Path("t.dat"), std::ios::in | std::ios::out | std::ios::binary);
         F.seekp(3);
         F.write("x", 1);
       }, true},
      {"made longer without the engine",
       [&] { std::ofstream(Path("t.dat"), std::ios::app | std::ios::binary) << "z"; }, true},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    ASSERT_TRUE(A.Park());
    C.Meanwhile();
    ASSERT_TRUE(A.Unpark());
    EXPECT_EQ(A.WrittenWhileParked, C.Written);
  }
}

// While idle files are held, a file whose last handle is parked keeps its open-mode lock until the
// hold ends; taken back meanwhile it still has to be the file its name leads to.
TEST_F(FileLayer, AHeldIdleFileKeepsItsLockUntilTheHoldEndsAndIsTakenBackOnlyWhenStillNamed) {
  WriteFile("t.dat", "old");
  TFileHandler A(Path("t.dat"));
  A.Open();
  TFileList& L = EngineFileList();
  {
    // Parked and taken back within the hold: the lock never goes.
    TIdleFilesHold Hold;
    ASSERT_TRUE(A.Park());
    EXPECT_TRUE(HeldByAnyone(Path("t.dat"), kOpenModeLockByte, 1));
    ASSERT_TRUE(A.Unpark());
    EXPECT_FALSE(A.WrittenWhileParked);
    // Parked and left: the lock goes with the (nested) hold's end.
    ASSERT_TRUE(A.Park());
    L.HoldIdleFiles();
    L.ReleaseIdleFiles();
    EXPECT_TRUE(HeldByAnyone(Path("t.dat"), kOpenModeLockByte, 1));
  }
  EXPECT_FALSE(HeldByAnyone(Path("t.dat"), kOpenModeLockByte, 1));
  ASSERT_TRUE(A.Unpark());
  struct TCase {
    const char* What;
    std::function<void()> Meanwhile;
  };
  const TCase Cases[] = {
      {"replaced", [&] {
         WriteFile("n.dat", "new");
         fs::rename(Path("n.dat"), Path("t.dat"));
       }},
      {"deleted", [&] { fs::remove(Path("t.dat")); }},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    TIdleFilesHold Hold;
    ASSERT_TRUE(A.Park());
    C.Meanwhile();
    EXPECT_FALSE(A.Unpark());
    EXPECT_FALSE(A.Opened);
    WriteFile("t.dat", "old");
    A.Open();
  }
  // A held file deleted through the list before the hold ends.
  {
    TIdleFilesHold Hold;
    ASSERT_TRUE(A.Park());
    EXPECT_EQ(L.FileDelete(Path("t.dat"), false), 0);
  }
  EXPECT_FALSE(A.Unpark());
  EXPECT_FALSE(fs::exists(Path("t.dat")));
}

TEST_F(FileLayer, RecordBytesReleasedTogetherLeaveAnotherHandlesByteLocked) {
  WriteFile("t.dat", "0123456789");
  TFileHandler A(Path("t.dat")), B(Path("t.dat"));
  A.Open();
  B.Open();
  for (int N : {1, 2, 4, 5}) ASSERT_TRUE(A.LockBytes(RecordByte(N), 1, true));
  ASSERT_TRUE(B.LockBytes(RecordByte(3), 1, true));
  EXPECT_TRUE(A.UnlockByteList({RecordByte(5), RecordByte(1), RecordByte(2), RecordByte(4)}));
  for (int N = 1; N <= 5; ++N) EXPECT_EQ(HeldByAnyone(Path("t.dat"), RecordByte(N), 1), N == 3) << N;
  // Bytes not held are an error; the others still go.
  ASSERT_TRUE(A.LockBytes(RecordByte(6), 1, true));
  EXPECT_FALSE(A.UnlockByteList({RecordByte(6), RecordByte(3)}));
  EXPECT_FALSE(HeldByAnyone(Path("t.dat"), RecordByte(6), 1));
  EXPECT_TRUE(HeldByAnyone(Path("t.dat"), RecordByte(3), 1));
  EXPECT_TRUE(B.LockBytes(RecordByte(3), 1, false));
}

TEST(FileLayerErrors, ErrnoMapsToEngineCodes) {
  struct Case { int Errno; uint16_t Code; };
  const Case Cases[] = {{ENOENT, 0x2B02}, {ENOTDIR, 0x2B02}, {ENAMETOOLONG, 0x2B02}, {EMFILE, 0x2B04},
                        {ENFILE, 0x2B04}, {EACCES, 0x2B05}, {EPERM, 0x2B05}, {EROFS, 0x2B05},
                        {ETXTBSY, 0x2B05}, {EBADF, 0x2B06}, {ENOMEM, 0x2B08}, {EXDEV, 0x2B11},
                        {ENODEV, 0x2B0F}, {EIO, 0x2B27}, {ENOSPC, 0x2B27}};
  for (const Case& C : Cases) EXPECT_EQ(EngineCodeFromErrno(C.Errno), C.Code) << C.Errno;
}

}  // namespace
