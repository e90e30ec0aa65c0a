#include <gtest/gtest.h>

#include "tutor/ZLibTools.h"
#include "tutor/tests/test_archive.h"

namespace {

class ZLibToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    File = Dir.Write(
        "tools.zlb",
        MakeArchive({{"lines.txt", "pierwsza\r\ndruga\nostatnia"}, {"broken.txt", "abc", true}}, true));
    // Make the stored member claim more bytes than the archive holds.
    std::string Bytes =
        MakeArchive({{"lines.txt", "pierwsza\r\ndruga\nostatnia"}, {"broken.txt", "abc", true}}, false);
    PutU32(Bytes, EntryAt(Bytes, 1) + 512, 100000);
    Reseal(Bytes);
    BrokenFile = Dir.Write("broken.zlb", Bytes);
  }
  TTempDir Dir;
  std::string File, BrokenFile;
};

TEST_F(ZLibToolsTest, ReadArchiveMemberTurnsEveryFailureIntoFalse) {
  TZLBArchive Archive;
  ASSERT_TRUE(Archive.OpenArchive(BrokenFile));
  std::string Got;
  EXPECT_TRUE(ReadArchiveMember("LINES.TXT", &Archive, [&](TStream* S) { Got = S->ReadString(S->Size()); }));
  EXPECT_EQ(Got, "pierwsza\r\ndruga\nostatnia");

  struct TCase {
    const char* What;
    const char* Member;
    bool LoaderThrows;
  };
  for (const TCase& C :
       {TCase{"missing member", "none.txt", false}, TCase{"corrupt member", "broken.txt", false},
        TCase{"loader throws", "lines.txt", true}}) {
    SCOPED_TRACE(C.What);
    bool Called = false;
    EXPECT_FALSE(ReadArchiveMember(C.Member, &Archive, [&](TStream*) {
      Called = true;
      if (C.LoaderThrows) throw EReadError("loader failed");
    }));
    EXPECT_EQ(Called, C.LoaderThrows);
  }
  TZLBArchive Closed;
  EXPECT_FALSE(ReadArchiveMember("lines.txt", &Closed, [](TStream*) {}));
}

TEST_F(ZLibToolsTest, OpenArchiveAndReadPassesOpeningErrorsOn) {
  TStringList L;
  auto Loader = [&](TStream* S) { L.LoadFromStream(S); };
  EXPECT_TRUE(OpenArchiveAndRead(File, "lines.txt", Loader));
  EXPECT_EQ(L.Count(), 3);
  EXPECT_FALSE(OpenArchiveAndRead(File, "missing.txt", Loader));
  EXPECT_FALSE(OpenArchiveAndRead("", "lines.txt", Loader));
  EXPECT_THROW(OpenArchiveAndRead(Dir.Path() + "/nope.zlb", "lines.txt", Loader), Exception);
}

TEST_F(ZLibToolsTest, TextMemberReplacesTheListOnlyOnSuccess) {
  TZLBArchive Archive;
  ASSERT_TRUE(Archive.OpenArchive(BrokenFile));
  TStringList L;
  L.Add("old");
  EXPECT_FALSE(LoadStringsFromArchive(&L, "broken.txt", &Archive));
  ASSERT_EQ(L.Count(), 1);
  EXPECT_EQ(L.Strings(0), "old");
  EXPECT_TRUE(LoadStringsFromArchive(&L, "lines.txt", &Archive));
  ASSERT_EQ(L.Count(), 3);
  EXPECT_EQ(L.Strings(0), "pierwsza");
  EXPECT_EQ(L.Strings(2), "ostatnia");
}

TEST_F(ZLibToolsTest, IniMemberBecomesTheIniContent) {
  const std::string Ini = "[TLogonForm]\r\nEnterBtn.Caption = Wejd\x9F\r\n\r\n[Other]\r\nX=1\r\n";
  TZLBArchive Archive;
  ASSERT_TRUE(Archive.OpenArchive(Dir.Write("ini.zlb", MakeArchive({{"translation.txt", Ini}}, true))));
  TMemIniFile F;
  F.WriteString("Old", "Key", "gone");
  EXPECT_FALSE(LoadIniFromArchive(&F, "missing.txt", &Archive));
  EXPECT_EQ(F.ReadString("Old", "Key", ""), "gone");
  ASSERT_TRUE(LoadIniFromArchive(&F, "TRANSLATION.TXT", &Archive));
  EXPECT_EQ(F.ReadString("tlogonform", "EnterBtn.Caption", "-"), "Wejd\x9F");
  EXPECT_EQ(F.ReadInteger("Other", "X", 0), 1);
  EXPECT_EQ(F.ReadString("Old", "Key", "none"), "none");
}

}  // namespace
