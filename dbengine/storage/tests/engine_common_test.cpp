#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/file_layer.h"
#include "platform/core/sysutils.h"

namespace {

namespace fs = std::filesystem;

TEST(EngineCipher, RollingKeyVectorAndInvolution) {
  uint8_t B[4] = {0, 0, 0, 0xFF};
  CipherEncode(B, 4, 0x10, 0x01);
  // state (lo, hi): (10,01) (11,00) (12,FF) (13,FE)
  EXPECT_EQ(std::vector<uint8_t>(B, B + 4), (std::vector<uint8_t>{0x11, 0x11, 0xED, 0xFF ^ 0x13 ^ 0xFE}));
  CipherDecode(B, 4, 0x10, 0x01);
  EXPECT_EQ(std::vector<uint8_t>(B, B + 4), (std::vector<uint8_t>{0, 0, 0, 0xFF}));

  std::vector<uint8_t> Data(65535);
  for (size_t I = 0; I < Data.size(); ++I) Data[I] = static_cast<uint8_t>(I * 7 + 3);
  std::vector<uint8_t> Copy = Data;
  CipherEncode(Copy.data(), static_cast<int>(Copy.size()), kTableCipherKeyLow, kTableCipherKeyHigh);
  EXPECT_NE(Copy, Data);
  CipherDecode(Copy.data(), static_cast<int>(Copy.size()), kTableCipherKeyLow, kTableCipherKeyHigh);
  EXPECT_EQ(Copy, Data);
  // Each call starts afresh: enciphering a buffer in two halves differs from one call only
  // because the second half restarts the state.
  std::vector<uint8_t> Whole(Data.begin(), Data.begin() + 512), Half = Whole;
  CipherEncode(Whole.data(), 512, 1, 2);
  CipherEncode(Half.data() + 256, 256, 1, 2);
  std::vector<uint8_t> Second(Data.begin() + 256, Data.begin() + 512);
  CipherEncode(Second.data(), 256, 1, 2);
  EXPECT_TRUE(std::equal(Second.begin(), Second.end(), Half.begin() + 256));
  CipherEncode(B, 0, 1, 2);  // length 0 does nothing
  EXPECT_EQ(B[0], 0);
}

TEST(EngineThreads, IdsTicksAndRandomNumbers) {
  EXPECT_EQ(EngineThreadId(), syscall(SYS_gettid));
  uint64_t T0 = EngineTickCount();
  EngineSleep(2);
  EXPECT_GE(EngineTickCount(), T0);  // monotonic, never backwards
  std::set<int> Seen;
  for (int I = 0; I < 2000; ++I) {
    int R = EngineRandom(7);
    ASSERT_GE(R, 0);
    ASSERT_LT(R, 7);
    Seen.insert(R);
  }
  EXPECT_EQ(Seen.size(), 7u);
  EXPECT_EQ(EngineRandom(0), 0);
}

TEST(EngineTempNames, ExclusiveCreationTakesTheNextNumber) {
  char Tmpl[] = "/tmp/vxtn.XXXXXX";
  ASSERT_NE(mkdtemp(Tmpl), nullptr);
  std::string Dir = Tmpl;
  std::string Prefix = TempNamePrefix();
  std::string Tid = std::to_string(syscall(SYS_gettid));
  EXPECT_EQ(Prefix, (Tid.size() < 5 ? std::string(5 - Tid.size(), '0') + Tid : Tid).substr(0, 5));
  std::string First = UniqueTempFileName(Dir, ".DAT", false);
  EXPECT_EQ(First, Dir + "/" + Prefix + "0.DAT");
  EXPECT_TRUE(fs::exists(First));  // reserved on disk
  EXPECT_EQ(UniqueTempFileName(Dir + "/", ".DAT", false), Dir + "/" + Prefix + "1.DAT");
  fs::remove(First);
  EXPECT_EQ(UniqueTempFileName(Dir, ".DAT", false), First);
  // All numbers taken: access denied instead of an endless search.
  try {
    UniqueTempFileName(Dir, ".DAT", false, 1);  // 0 and 1 are taken
    FAIL();
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), ecAccessDenied);
  }
  // In-memory names are checked against the file list only.
  std::string Mem = "MEMORY" + Dir;
  std::string M0 = UniqueTempFileName(Mem, ".DAT", true);
  EXPECT_EQ(M0, Mem + "/" + Prefix + "0.DAT");
  TFileHandler H(M0, true);
  H.CreateFile();
  EXPECT_EQ(UniqueTempFileName(Mem, ".DAT", true), Mem + "/" + Prefix + "1.DAT");
  H.Close();
  H.Delete();
  fs::remove_all(Dir);
}

TEST(EnginePaths, SeparatorsExtensionsAndUniversalPaths) {
  struct Ext { const char* In; const char* NoExt; const char* Base; };
  const Ext Cases[] = {{"C:\\data\\student.dat", "C:\\data\\student", "student"},
                       {"/srv/db/student.dat", "/srv/db/student", "student"},
                       {"/srv/d.b/student", "/srv/d.b/student", "student"},
                       {"a.b.c", "a.b", "a.b"},
                       {"noext", "noext", "noext"}};
  for (const Ext& C : Cases) {
    EXPECT_EQ(RemoveFileExt(C.In), C.NoExt);
    EXPECT_EQ(ExtractFileBaseName(C.In), C.Base);
  }
  EXPECT_EQ(ForceFileExt(" student.dat ", ".DAT"), "student.dat");
  EXPECT_EQ(ForceFileExt("student.txt", ".DAT"), "student.DAT");
  EXPECT_EQ(ForceFileExt("student", ".IDX"), "student.IDX");
  EXPECT_EQ(AddTrailingBackslash(" /tmp "), "/tmp/");
  EXPECT_EQ(AddTrailingBackslash("C:\\x\\"), "C:\\x\\");
  EXPECT_EQ(AddTrailingBackslash(""), "");
  EXPECT_TRUE(ContainsPath(""));
  EXPECT_TRUE(ContainsPath("c:x"));
  EXPECT_TRUE(ContainsPath("a\\b"));
  EXPECT_TRUE(ContainsPath("a/b"));
  EXPECT_FALSE(ContainsPath("student"));
  char Tmpl[] = "/tmp/vxup.XXXXXX";
  ASSERT_NE(mkdtemp(Tmpl), nullptr);
  std::string Dir = Tmpl;
  fs::create_directory(Dir + "/sub");
  fs::create_directory_symlink(Dir + "/sub", Dir + "/link");
  std::string U = GetUniversalPath(Dir + "/sub");
  EXPECT_FALSE(U.empty());
  EXPECT_EQ(GetUniversalPath(Dir + "//link/../sub/"), U);
  EXPECT_EQ(GetUniversalPath(Dir + "/link"), U);
  EXPECT_EQ(GetUniversalPath(Dir + "\\sub"), U);
  EXPECT_EQ(GetUniversalPath(Dir + "/missing"), "");
  fs::remove_all(Dir);
}

TEST(EngineText, SmallRoutines) {
  EXPECT_EQ(PadLeft("7", 3, '0'), "007");
  EXPECT_EQ(PadRight("ab", 4, '.'), "ab..");
  EXPECT_EQ(PadLeft("abcd", 2, ' '), "abcd");
  EXPECT_EQ(ReplicateString("ab", 3), "ababab");
  EXPECT_EQ(ReplicateString("x", 300).size(), 255u);
  EXPECT_EQ(LeftString("abcdef", 2), "ab");
  EXPECT_EQ(RightString("abcdef", 2), "ef");
  EXPECT_EQ(RightString("ab", 5), "ab");
  EXPECT_EQ(LastPosOf("ab", "abcab"), 4);
  EXPECT_EQ(LastPosOf("x", "abc"), 0);
  EXPECT_EQ(StrPosIndex("ca", "abcab"), 3);
  EXPECT_EQ(StrPosIndex("z", "abc"), 0);
  EXPECT_EQ(StrCountOccurrences("aa", "aaaaa"), 2);  // non-overlapping
  EXPECT_EQ(StrReplacedLength("aa", "b", "aaaaa"), 3);
  EXPECT_EQ(StrReplaceAll("aa", "b", "aaaaa"), "bba");
  EXPECT_EQ(StrReplaceAll("x", "x", "xx"), "xx");
  EXPECT_EQ(RemoveLineBreaks("a\r\nb\nc"), "abc");
  EXPECT_EQ(UndoubleQuotes("say \"\"hi\"\" it''s"), "say \"hi\" it's");
  char T[] = "xxabcxx";
  StrTrimLeftChar(T, 'x');
  EXPECT_STREQ(T, "abcxx");
  StrTrimRightChar(T, 'x');
  EXPECT_STREQ(T, "abc");
  char U[] = "  a b  ";
  StrTrimChar(U, ' ');
  EXPECT_STREQ(U, "a b");
  EXPECT_EQ(TrimChar("--a-b--", '-'), "a-b");
  EXPECT_EQ(TrimChar("----", '-'), "");
  EXPECT_TRUE(IsIdentStartChar('_'));
  EXPECT_TRUE(IsIdentStartChar('\xB9'));  // ą
  EXPECT_FALSE(IsIdentStartChar('1'));
  EXPECT_FALSE(IsIdentStartChar('\xFF'));
  EXPECT_TRUE(IsIdentChar('1'));
  EXPECT_FALSE(IsDigitChar('a'));
  EXPECT_EQ(NegateInteger(5), -5);
  EXPECT_EQ(CountEqualBytes("abcd", "abxd", 4), 2);
  EXPECT_EQ(CountEqualBytes("ab", "ab", 2), 2);
  const uint8_t Z[6] = {1, 0, 0, 2, 0, 0};
  EXPECT_EQ(CountTrailingZeroBytes(Z + 5, 6), 2);
  EXPECT_EQ(CountTrailingZeroBytes(Z + 2, 2), 2);
  uint8_t F[4] = {9, 9, 9, 9};
  ZeroFill(F, 3);
  EXPECT_EQ(F[2], 0);
  EXPECT_EQ(F[3], 9);
  EXPECT_EQ(MaxInteger(-1, 3), 3);
  EXPECT_EQ(MinSmallInt(-1, 3), -1);
  EXPECT_EQ(MaxWord(65535, 3), 65535);
  EXPECT_EQ(MinCurrency(-1, 3), -1);
  EXPECT_EQ(BoolToText(true), "True");
  EXPECT_EQ(BoolToText(false), "False");
  EXPECT_TRUE(TextToBool("tRuE"));
  EXPECT_FALSE(TextToBool("FALSE"));
  try {
    TextToBool("yes");
    FAIL();
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message(), "'yes' is not a valid boolean value");
  }
  struct V { const char* Text; bool Word, Small, Int, Bool, Float; };
  const V Cases[] = {{"0", true, true, true, false, true},         {"65535", true, false, true, false, true},
                     {"65536", false, false, true, false, true},   {"-1", false, true, true, false, true},
                     {"-32769", false, false, true, false, true},  {"2147483648", false, false, false, false, true},
                     {"1,5", false, false, false, false, true},    {"true", false, false, false, true, false},
                     {"abc", false, false, false, false, false},   {"", false, false, false, false, false}};
  // The program's format settings use ',' as the decimal separator.
  ASSERT_EQ(FormatSettings.DecimalSeparator, ',');
  EXPECT_FALSE(IsValidFloatText("1.5"));
  for (const V& C : Cases) {
    EXPECT_EQ(IsValidWordText(C.Text), C.Word) << C.Text;
    EXPECT_EQ(IsValidSmallIntText(C.Text), C.Small) << C.Text;
    EXPECT_EQ(IsValidIntegerText(C.Text), C.Int) << C.Text;
    EXPECT_EQ(IsValidBooleanText(C.Text), C.Bool) << C.Text;
    EXPECT_EQ(IsValidFloatText(C.Text), C.Float) << C.Text;
  }
  EXPECT_TRUE(IsValidDateText("2024-01-31"));  // the program's short date format
  EXPECT_FALSE(IsValidDateText("2024-02-30"));
  EXPECT_FALSE(IsValidDateText("tomorrow"));
  EXPECT_TRUE(IsValidTimeText("12:34:56"));
  EXPECT_FALSE(IsValidTimeText("25:00"));
  EXPECT_TRUE(IsValidDateTimeText("2024-01-31 12:34"));
  EXPECT_TRUE(IsValidCurrencyText("922337203685477"));
  EXPECT_FALSE(IsValidCurrencyText("1e20"));
  int32_t Key = 5;
  EXPECT_EQ(CompareIntegerKey(6, &Key), -1);
  EXPECT_EQ(CompareIntegerKey(4, &Key), 1);
  EXPECT_EQ(CompareIntegerKey(5, &Key), 0);
}

}  // namespace
