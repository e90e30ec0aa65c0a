// The packer and the checker against the tutor's reader: random round trips through the writer,
// and the two command-line tools run as a content build runs them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tools/zlb/zlbwriter.h"
#include "tutor/ZLIBArchive.h"

namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    const char* Base = std::getenv("TMPDIR");
    std::string T = std::string(Base && *Base ? Base : "/tmp") + "/zlbtools-XXXXXX";
    if (!mkdtemp(T.data())) throw std::runtime_error("mkdtemp");
    Path = T;
  }
  ~TempDir() {
    std::error_code Ec;
    fs::remove_all(Path, Ec);
  }
  std::string Path;
};

std::string ReadFile(const std::string& P) {
  std::ifstream F(P, std::ios::binary);
  std::stringstream S;
  S << F.rdbuf();
  return S.str();
}

void WriteFile(const std::string& P, const std::string& Bytes) {
  std::ofstream F(P, std::ios::binary);
  F << Bytes;
}

std::string Extracted(TZLBArchive& A, int I) {
  TMemoryStream S;
  A.Extract(I, &S);
  return std::string(reinterpret_cast<const char*>(S.Memory()), static_cast<std::size_t>(S.Size()));
}

TEST(ZlbRoundTrip, RandomMembersComeBackByteForByte) {
  std::mt19937 Rng(20261210);
  // CP1250 letters of Polish, lower and upper case.
  const std::string Polish = "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF";
  std::vector<TZLBWriterMember> Members;
  for (int i = 0; i < 300; ++i) {
    TZLBWriterMember M;
    M.Name = "m" + std::to_string(i) + "_";
    for (int k = 0; k < 3; ++k) M.Name += Polish[Rng() % Polish.size()];
    M.Name += ".bin";
    const int Kind = static_cast<int>(Rng() % 20);
    std::size_t Size = Kind < 8    ? Rng() % 100
                       : Kind < 16 ? Rng() % 10000
                       : Kind < 19 ? Rng() % 100000
                                   : Rng() % (1 << 20);
    if (i == 0) Size = 0;
    if (i == 1) Size = 1 << 20;
    M.Data.resize(Size);
    const bool Noise = Rng() % 2;
    for (std::size_t b = 0; b < Size; ++b) M.Data[b] = static_cast<char>(Noise ? Rng() : (b % 7) * 31);
    M.Stored = Rng() % 3 == 0;
    Members.push_back(std::move(M));
  }
  TempDir Dir;
  for (bool StoreDir : {false, true}) {
    SCOPED_TRACE(StoreDir ? "stored directory" : "compressed directory");
    const std::string File = Dir.Path + "/random.zlb";
    WriteFile(File, BuildZLBArchive(Members, StoreDir));
    TZLBArchive A;
    A.SetCheckCRC(true);
    ASSERT_TRUE(A.OpenArchive(File));
    ASSERT_EQ(A.Count(), static_cast<int>(Members.size()));
    for (int i = 0; i < A.Count(); ++i) {
      TZLBEntry E;
      A.GetEntry(i, E);
      ASSERT_EQ(E.Name(), Members[i].Name);
      EXPECT_EQ(E.Folder(), "");
      EXPECT_EQ(E.Stored(), Members[i].Stored);
      EXPECT_EQ(A.IndexOf(UpperCase(Members[i].Name)), i);
      EXPECT_TRUE(Extracted(A, i) == Members[i].Data) << "member " << i;
    }
  }
}

TEST(ZlbRoundTrip, WriterRefusesNamesTooLongForTheDirectory) {
  TZLBWriterMember M;
  M.Name = std::string(256, 'a');
  EXPECT_THROW(BuildZLBArchive({M}, false), std::invalid_argument);
  M.Name = std::string(255, 'a');
  EXPECT_NO_THROW(BuildZLBArchive({M}, false));
}

struct TRun {
  int Code;
  std::string Out, Err;
};

TRun RunTool(const std::string& Dir, const std::string& Cmd) {
  const std::string OutF = Dir + "/stdout.txt", ErrF = Dir + "/stderr.txt";
  const int Rc = std::system((Cmd + " >'" + OutF + "' 2>'" + ErrF + "'").c_str());
  return {WIFEXITED(Rc) ? WEXITSTATUS(Rc) : -1, ReadFile(OutF), ReadFile(ErrF)};
}

class ZlbTools : public ::testing::Test {
 protected:
  void SetUp() override {
    In = Dir.Path + "/in";
    fs::create_directories(In);
    WriteFile(In + "/źdźbło.txt", "Zażółć gęślą jaźń\n");
    Raw.clear();
    for (int i = 0; i < 256; ++i) Raw += static_cast<char>(i);
    WriteFile(In + "/raw.bin", Raw);
    WriteFile(In + "/empty.dat", "");
    WriteFile(In + "/messages.txt", std::string(3000, 'x'));
  }
  TempDir Dir;
  std::string In, Raw;
  const std::string Pack = ZLB_PACK_EXE, List = ZLB_LIST_EXE;
};

TEST_F(ZlbTools, PackThenListAndExtract) {
  for (bool StoreDir : {false, true}) {
    SCOPED_TRACE(StoreDir ? "--store-dir" : "compressed directory");
    const std::string Out = Dir.Path + "/content.zlb";
    const TRun P =
        RunTool(Dir.Path, Pack + (StoreDir ? " --store-dir" : "") + " --store raw.bin --store empty.dat" +
                              " --cp1250 'źdźbło.txt' '" + Out + "' '" + In + "/źdźbło.txt' '" + In +
                              "/raw.bin' '" + In + "/empty.dat' '" + In + "/messages.txt'");
    ASSERT_EQ(P.Code, 0) << P.Err;
    const std::string Bytes = ReadFile(Out);
    ASSERT_GT(Bytes.size(), 36u);
    EXPECT_EQ(Bytes[Bytes.size() - 36 + 20] != 0, !StoreDir);

    const std::string X = Dir.Path + "/x";
    const TRun L = RunTool(Dir.Path, List + " --extract '" + X + "' '" + Out + "'");
    ASSERT_EQ(L.Code, 0) << L.Err;
    EXPECT_EQ(L.Out,
              "źdźbło.txt\t18\tzlib\nraw.bin\t256\tstored\nempty.dat\t0\tstored\nmessages.txt\t3000\tzlib\n");
    // The text member holds CP1250 bytes; binary members are as they were.
    EXPECT_EQ(ReadFile(X + "/źdźbło.txt"), "Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1\n");
    EXPECT_EQ(ReadFile(X + "/raw.bin"), Raw);
    EXPECT_TRUE(fs::exists(X + "/empty.dat"));
    EXPECT_EQ(ReadFile(X + "/empty.dat"), "");
    EXPECT_EQ(ReadFile(X + "/messages.txt"), std::string(3000, 'x'));
    EXPECT_EQ(RunTool(Dir.Path, List + " '" + Out + "'").Out, L.Out);
  }
}

TEST_F(ZlbTools, ErrorsExitNonZeroWithTheMessage) {
  const std::string Out = Dir.Path + "/a.zlb";
  ASSERT_EQ(RunTool(Dir.Path, Pack + " '" + Out + "' '" + In + "/raw.bin'").Code, 0);
  std::string Bytes = ReadFile(Out);
  // The member count in the trailer lies outside the CRC: a zeroed one is damage, not an empty archive.
  std::string Uncounted = Bytes;
  for (int i = 0; i < 4; ++i) Uncounted[Uncounted.size() - 36 + 4 + i] = 0;
  WriteFile(Dir.Path + "/uncounted.zlb", Uncounted);
  Bytes[3] = static_cast<char>(Bytes[3] ^ 1);
  WriteFile(Dir.Path + "/bad.zlb", Bytes);

  struct TCase {
    const char* What;
    std::string Cmd;
    const char* Message;
  };
  WriteFile(In + "/kanji.txt", "\xE6\x97\xA5\xE6\x9C\xAC");
  WriteFile(Dir.Path + "/RAW.BIN", "other");
  const std::vector<TCase> Cases = {
      {"corrupt archive", List + " '" + Dir.Path + "/bad.zlb'",
       "zlb-list: The archive file appears to be corrupted\n"},
      {"missing archive", List + " '" + Dir.Path + "/none.zlb'", "zlb-list: Archive file not found\n"},
      {"zeroed member count", List + " '" + Dir.Path + "/uncounted.zlb'",
       "zlb-list: Unable to read archive file list\n"},
      {"--store naming no file", Pack + " --store nothing.bin '" + Dir.Path + "/b.zlb' '" + In + "/raw.bin'",
       "zlb-pack: --store nothing.bin names no file\n"},
      {"text outside the code page",
       Pack + " --cp1250 kanji.txt '" + Dir.Path + "/b.zlb' '" + In + "/kanji.txt'", nullptr},
      {"two files with one member name",
       Pack + " '" + Dir.Path + "/b.zlb' '" + In + "/raw.bin' '" + Dir.Path + "/RAW.BIN'", nullptr},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    const TRun R = RunTool(Dir.Path, C.Cmd);
    EXPECT_EQ(R.Code, 1);
    if (C.Message) {
      EXPECT_EQ(R.Err, C.Message);
    } else {
      EXPECT_FALSE(R.Err.empty());
    }
  }
  EXPECT_FALSE(fs::exists(Dir.Path + "/b.zlb"));
}

TEST_F(ZlbTools, ExtractKeepsMembersInsideTheTargetFolder) {
  TZLBWriterMember InSub;
  InSub.Name = "a.txt";
  InSub.Folder = "sub\\deeper\\";
  InSub.Data = "inside";
  WriteFile(Dir.Path + "/folders.zlb", BuildZLBArchive({InSub}, false));
  const TRun Good =
      RunTool(Dir.Path, List + " --extract '" + Dir.Path + "/x' '" + Dir.Path + "/folders.zlb'");
  ASSERT_EQ(Good.Code, 0) << Good.Err;
  EXPECT_EQ(Good.Out, "sub\\deeper\\a.txt\t6\tzlib\n");
  EXPECT_EQ(ReadFile(Dir.Path + "/x/sub/deeper/a.txt"), "inside");

  for (const char* Folder : {"..\\", "sub\\..\\..\\", "\\", "C:"}) {
    SCOPED_TRACE(Folder);
    TZLBWriterMember Escape = InSub;
    Escape.Folder = Folder;
    Escape.Name = "escaped.txt";
    WriteFile(Dir.Path + "/escape.zlb", BuildZLBArchive({Escape}, false));
    const TRun Bad =
        RunTool(Dir.Path, List + " --extract '" + Dir.Path + "/y/z' '" + Dir.Path + "/escape.zlb'");
    EXPECT_EQ(Bad.Code, 1);
    EXPECT_EQ(Bad.Err, "zlb-list: unsafe member path " + std::string(Folder) + "escaped.txt\n");
    EXPECT_FALSE(fs::exists(Dir.Path + "/y/escaped.txt"));
    EXPECT_FALSE(fs::exists(Dir.Path + "/escaped.txt"));
    EXPECT_FALSE(fs::exists("/escaped.txt"));
  }
}

}  // namespace
