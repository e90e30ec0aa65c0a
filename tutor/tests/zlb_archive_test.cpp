#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tutor/ZLIBArchive.h"
#include "tutor/tests/test_archive.h"

namespace {

std::string AllBytes() {
  std::string S;
  for (int i = 0; i < 256; ++i) S += static_cast<char>(i);
  return S + S;
}

std::string Extracted(TZLBArchive& A, const std::string& Path) {
  TMemoryStream S;
  A.ExtractToStream(&S, Path);
  return std::string(reinterpret_cast<const char*>(S.Memory()), static_cast<std::size_t>(S.Size()));
}

// Runs F and returns the message of the Exception it raised ("" when it raised none).
std::string ErrorOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const Exception& E) {
    return E.Message().empty() ? "(empty message)" : E.Message();
  }
  return "";
}

class ZLBArchiveTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  TZLBArchive Archive;
};

TEST_F(ZLBArchiveTest, EmptyNameOpensNothingAndExtractionReportsNoArchive) {
  EXPECT_FALSE(Archive.OpenArchive(""));
  EXPECT_FALSE(Archive.Active());
  TMemoryStream S;
  EXPECT_EQ(ErrorOf([&] { Archive.ExtractToStream(&S, "messages.txt"); }), "No archive is currently open");
  EXPECT_EQ(ErrorOf([&] { Archive.Count(); }), "No archive is currently open");
  EXPECT_EQ(ErrorOf([&] { Archive.IndexOf("x"); }), "No archive is currently open");
  EXPECT_EQ(ErrorOf([&] { Archive.OpenArchive(Dir.Path() + "/missing.zlb"); }), "Archive file not found");
  EXPECT_FALSE(Archive.Active());
}

TEST_F(ZLBArchiveTest, ReadsMembersFromStoredAndCompressedDirectories) {
  const std::string Text = "MSG001=Ekran jest za ma\xB3y\r\nHQSite=http://example.org\r\n";
  const std::string Binary = AllBytes();
  for (bool CompressDir : {false, true}) {
    SCOPED_TRACE(CompressDir ? "compressed directory" : "stored directory");
    const std::string File =
        Dir.Write("a.zlb", MakeArchive({{"messages.txt", Text},
                                        {"empty.bin", ""},
                                        {"raw.bin", Binary, true},
                                        {"empty-stored.bin", "", true},
                                        {"key.bmp", std::string(10000, 'k'), false, "pics\\"}},
                                       CompressDir));
    ASSERT_TRUE(Archive.OpenArchive(File));
    EXPECT_TRUE(Archive.Active());
    EXPECT_EQ(Archive.FileName(), File);
    ASSERT_EQ(Archive.Count(), 5);
    EXPECT_EQ(Archive.IndexOf("Messages.TXT"), 0);
    EXPECT_EQ(Extracted(Archive, "Messages.TXT"), Text);
    EXPECT_EQ(Extracted(Archive, "empty.bin"), "");
    EXPECT_EQ(Extracted(Archive, "RAW.BIN"), Binary);
    EXPECT_EQ(Extracted(Archive, "empty-stored.bin"), "");
    // The path is the folder followed directly by the name.
    EXPECT_EQ(Archive.IndexOf("key.bmp"), -1);
    EXPECT_EQ(Extracted(Archive, "PICS\\Key.bmp"), std::string(10000, 'k'));

    TZLBEntry E;
    Archive.GetEntry(2, E);
    EXPECT_EQ(E.Name(), "raw.bin");
    EXPECT_EQ(E.Size(), Binary.size());
    EXPECT_TRUE(E.Stored());
    EXPECT_EQ(E.CRC(), Crc32Of(Binary));
    EXPECT_EQ(ErrorOf([&] { Archive.GetEntry(5, E); }), "Index out of bounds");
    EXPECT_EQ(ErrorOf([&] { Archive.GetEntry(-1, E); }), "Index out of bounds");
    EXPECT_EQ(ErrorOf([&] { Extracted(Archive, "nothing.txt"); }), "File not found in archive");
    Archive.CloseArchive();
    EXPECT_FALSE(Archive.Active());
    EXPECT_EQ(Archive.FileName(), "");
  }
}

TEST_F(ZLBArchiveTest, OnlyAToZFoldCaseInPaths) {
  // \xB3 is the Polish l with stroke, \xA3 its capital: different members to the reader.
  ASSERT_TRUE(Archive.OpenArchive(Dir.Write("a.zlb", MakeArchive({{"\xB3\xF3"
                                                                   "d\xBC.txt",
                                                                   "boat"}},
                                                                 true))));
  EXPECT_EQ(Archive.IndexOf("\xB3\xF3"
                            "D\xBC.TXT"),
            0);
  EXPECT_EQ(Archive.IndexOf("\xA3\xF3"
                            "d\xBC.txt"),
            -1);
}

TEST_F(ZLBArchiveTest, ExtractionAppendsAtTheDestinationsPosition) {
  ASSERT_TRUE(Archive.OpenArchive(Dir.Write("a.zlb", MakeArchive({{"a.txt", "hello"}}, true))));
  Archive.SetCheckCRC(true);
  TMemoryStream S;
  S.WriteString("xyz");
  Archive.ExtractToStream(&S, "a.txt");
  EXPECT_EQ(S.Position(), 8);
  S.SetPosition(0);
  EXPECT_EQ(S.ReadString(8), "xyzhello");
}

TEST_F(ZLBArchiveTest, ArchiveFileGoneAfterOpeningCannotBeExtracted) {
  const std::string File = Dir.Write("gone.zlb", MakeArchive({{"a.txt", "hello"}}, true));
  ASSERT_TRUE(Archive.OpenArchive(File));
  ASSERT_EQ(std::remove(File.c_str()), 0);
  EXPECT_EQ(ErrorOf([&] { Extracted(Archive, "a.txt"); }), "Unable to open file (" + File + ")");
  EXPECT_TRUE(Archive.Active());
}

TEST_F(ZLBArchiveTest, DuplicatePathsTheFirstWins) {
  ASSERT_TRUE(Archive.OpenArchive(Dir.Write(
      "a.zlb", MakeArchive({{"b.txt", "other"}, {"Same.txt", "first"}, {"same.TXT", "second"}}, false))));
  EXPECT_EQ(Archive.IndexOf("SAME.txt"), 1);
  EXPECT_EQ(Extracted(Archive, "same.txt"), "first");
}

TEST_F(ZLBArchiveTest, SavePathsDropsTheDrivePart) {
  ASSERT_TRUE(Archive.OpenArchive(Dir.Write("a.zlb", MakeArchive({{"messages.txt", "x"}}, true))));
  EXPECT_EQ(Archive.IndexOf("C:messages.txt"), -1);
  Archive.SetSavePaths(true);
  EXPECT_EQ(Archive.IndexOf("C:messages.txt"), 0);
}

TEST_F(ZLBArchiveTest, WrongMemberCrcIsCaughtOnlyWithCheckCRC) {
  for (bool Stored : {true, false}) {
    SCOPED_TRACE(Stored ? "stored member" : "compressed member");
    std::string Bytes = MakeArchive({{"ok.txt", "fine"}, {"bad.txt", "payload", Stored}}, false);
    PutU32(Bytes, EntryAt(Bytes, 1) + 524, Crc32Of("payload") ^ 1);
    Reseal(Bytes);
    ASSERT_TRUE(Archive.OpenArchive(Dir.Write("a.zlb", Bytes)));
    Archive.SetCheckCRC(false);
    EXPECT_EQ(Extracted(Archive, "bad.txt"), "payload");
    Archive.SetCheckCRC(true);
    EXPECT_EQ(Extracted(Archive, "ok.txt"), "fine");
    EXPECT_EQ(ErrorOf([&] { Extracted(Archive, "bad.txt"); }), "File (1) failed CRC check");
  }
}

TEST_F(ZLBArchiveTest, AnyChangedByteBeforeTheTrailerIsCorruption) {
  const std::string Good = MakeArchive({{"a.txt", "alpha"}, {"b.bin", AllBytes(), true}}, true);
  const std::size_t DataEnd = Good.size() - 36;
  for (std::size_t At : {std::size_t{0}, std::size_t{7}, std::size_t{300},
                         std::size_t{DirectoryOffset(Good) + 1}, DataEnd - 1}) {
    SCOPED_TRACE("byte " + std::to_string(At));
    std::string Bad = Good;
    Bad[At] = static_cast<char>(Bad[At] ^ 0x20);
    EXPECT_EQ(ErrorOf([&] { Archive.OpenArchive(Dir.Write("bad.zlb", Bad)); }),
              "The archive file appears to be corrupted");
    EXPECT_FALSE(Archive.Active());
    EXPECT_EQ(Archive.FileName(), "");
  }
  EXPECT_EQ(ErrorOf([&] { Archive.OpenArchive(Dir.Write("short.zlb", Good.substr(Good.size() - 20))); }),
            "The archive file appears to be corrupted");
  EXPECT_EQ(ErrorOf([&] { Archive.OpenArchive(Dir.Write("empty.zlb", "")); }),
            "The archive file appears to be corrupted");
}

// Hostile archives whose trailer CRC is right: each must fail with its message, closed when the
// directory could not be read, and never read out of bounds.
struct THostileCase {
  const char* What;
  bool CompressDir;
  std::function<void(std::string&)> Damage;
  const char* OpenError;  // "" when opening must succeed
  const char* Member;     // when opening succeeded: this member fails with ExtractError
  const char* ExtractError;
};

TEST_F(ZLBArchiveTest, ArchivesWithoutMembersOpenEmpty) {
  for (bool Compressed : {false, true}) {
    SCOPED_TRACE(Compressed);
    EXPECT_TRUE(Archive.OpenArchive(Dir.Write("empty.zlb", MakeArchive({}, Compressed))));
    EXPECT_EQ(Archive.Count(), 0);
    EXPECT_EQ(Archive.IndexOf("a.txt"), -1);
  }
}

TEST_F(ZLBArchiveTest, HostileArchivesGiveTheArchiveErrors) {
  const std::vector<TTestMember> Members = {{"c.txt", std::string(5000, 'c')},
                                            {"s.bin", "stored bytes", true}};
  const std::size_t TrailerCount = 4, TrailerDirOffset = 16;
  auto Trailer = [](std::string& B, std::size_t Field, std::uint32_t V) {
    PutU32(B, B.size() - 36 + Field, V);
  };
  const std::vector<THostileCase> Cases = {
      {"huge entry count, stored directory", false,
       [&](std::string& B) { Trailer(B, TrailerCount, 0xFFFFFFFF); }, "Unable to read archive file list", "",
       ""},
      {"huge entry count, compressed directory", true,
       [&](std::string& B) { Trailer(B, TrailerCount, 0x7FFFFFFF); }, "Unable to read archive file list", "",
       ""},
      {"one entry more than the compressed directory holds", true,
       [&](std::string& B) { Trailer(B, TrailerCount, 3); }, "Unable to read archive file list", "", ""},
      {"directory offset past the end", false,
       [&](std::string& B) { Trailer(B, TrailerDirOffset, 0xFFFFFF00); }, "Unable to read archive file list",
       "", ""},
      {"directory offset inside the trailer", true,
       [&](std::string& B) { Trailer(B, TrailerDirOffset, static_cast<std::uint32_t>(B.size() - 30)); },
       "Unable to read archive file list", "", ""},
      // The count lies outside the CRC: it must agree with the directory's size.
      {"zeroed entry count, stored directory", false, [&](std::string& B) { Trailer(B, TrailerCount, 0); },
       "Unable to read archive file list", "", ""},
      {"zeroed entry count, compressed directory", true, [&](std::string& B) { Trailer(B, TrailerCount, 0); },
       "Unable to read archive file list", "", ""},
      {"one entry fewer than the stored directory holds", false,
       [&](std::string& B) { Trailer(B, TrailerCount, 1); }, "Unable to read archive file list", "", ""},
      {"one entry fewer than the compressed directory holds", true,
       [&](std::string& B) { Trailer(B, TrailerCount, 1); }, "Unable to read archive file list", "", ""},
      {"stored directory offset four bytes early", false,
       [&](std::string& B) { Trailer(B, TrailerDirOffset, DirectoryOffset(B) - 4); },
       "Unable to read archive file list", "", ""},
      {"bytes between the compressed directory and the trailer", true,
       [&](std::string& B) { B.insert(B.size() - 36, "junk"); }, "Unable to read archive file list", "", ""},
      {"compressed directory that is no zlib stream", true,
       [&](std::string& B) { B[DirectoryOffset(B)] = 0x13; }, "Unable to read archive file list", "", ""},
      {"member offset past the end", false,
       [&](std::string& B) { PutU32(B, EntryAt(B, 0) + 520, 0xFFFFFFF0); }, "", "c.txt",
       "File (0) is corrupt"},
      {"compressed member claims more than it inflates to", false,
       [&](std::string& B) { PutU32(B, EntryAt(B, 0) + 512, 5001); }, "", "c.txt", "File (0) is corrupt"},
      {"compressed member claims 4 GiB", false,
       [&](std::string& B) { PutU32(B, EntryAt(B, 0) + 512, 0xFFFFFFFF); }, "", "c.txt",
       "File (0) is corrupt"},
      {"compressed member that is no zlib stream", false, [&](std::string& B) { B[0] = 0x13; }, "", "c.txt",
       "File (0) is corrupt"},
      {"stored member runs into the trailer", false,
       [&](std::string& B) { PutU32(B, EntryAt(B, 1) + 512, static_cast<std::uint32_t>(B.size())); }, "",
       "s.bin", "File (1) is corrupt"},
  };
  for (const THostileCase& C : Cases) {
    SCOPED_TRACE(C.What);
    std::string Bytes = MakeArchive(Members, C.CompressDir);
    C.Damage(Bytes);
    Reseal(Bytes);
    const std::string File = Dir.Write("hostile.zlb", Bytes);
    EXPECT_EQ(ErrorOf([&] { Archive.OpenArchive(File); }), C.OpenError);
    if (*C.OpenError) {
      EXPECT_FALSE(Archive.Active());
      EXPECT_EQ(ErrorOf([&] { Archive.Count(); }), "No archive is currently open");
      continue;
    }
    Archive.SetCheckCRC(true);
    EXPECT_EQ(ErrorOf([&] { Extracted(Archive, C.Member); }), C.ExtractError);
    // Every other member either extracts or fails with the same kind of error.
    for (int i = 0; i < Archive.Count(); ++i) {
      TMemoryStream S;
      const std::string Err = ErrorOf([&] { Archive.Extract(i, &S); });
      EXPECT_TRUE(Err.empty() || Err == C.ExtractError) << Err;
    }
  }
}

TEST_F(ZLBArchiveTest, ExtractAndLoadHandsARewoundStreamAndPassesLoaderErrorsOn) {
  ASSERT_TRUE(Archive.OpenArchive(Dir.Write("a.zlb", MakeArchive({{"words.txt", "ala\r\nma\nkota"}}, true))));
  std::string Seen;
  EXPECT_TRUE(Archive.ExtractAndLoad("WORDS.txt", [&](TStream* S) {
    EXPECT_EQ(S->Position(), 0);
    Seen = S->ReadString(S->Size());
  }));
  EXPECT_EQ(Seen, "ala\r\nma\nkota");
  EXPECT_EQ(
      ErrorOf([&] { Archive.ExtractAndLoad("words.txt", [](TStream*) { throw EConvertError("bad"); }); }),
      "bad");
  TStringList L;
  Archive.ExtractToStrings(&L, "words.txt");
  ASSERT_EQ(L.Count(), 3);
  EXPECT_EQ(L.Strings(2), "kota");
}

TEST_F(ZLBArchiveTest, ActivationOpensTheNamedArchiveAndNotifiesLinkedControls) {
  const std::string File = Dir.Write("a.zlb", MakeArchive({{"x.bmp", "x"}}, true));
  TObject Button, Image, Translator;
  std::vector<std::string> Calls;
  Archive.AddLinkedControl(&Button,
                           [&](TZLBArchive* A) { Calls.push_back("button " + std::to_string(A->Count())); });
  Archive.AddLinkedControl(&Translator, nullptr);
  Archive.AddLinkedControl(&Image,
                           [&](TZLBArchive* A) { Calls.push_back("image " + std::to_string(A->Count())); });
  EXPECT_EQ(Archive.LinkedControlCount(), 3);

  Archive.SetArchiveName(File);
  EXPECT_FALSE(Archive.Active());
  Archive.SetActive(true);
  EXPECT_TRUE(Archive.Active());
  EXPECT_EQ(Calls, (std::vector<std::string>{"button 1", "image 1"}));

  Archive.RemoveLinkedControl(&Button);
  Archive.SetArchiveName(Dir.Path() + "/other.zlb");  // a new name closes the open archive
  EXPECT_FALSE(Archive.Active());
  Archive.SetArchiveName(File);
  Calls.clear();
  Archive.SetLoading(true);  // while loading from a form, activation waits for the end
  Archive.SetActive(true);
  EXPECT_FALSE(Archive.Active());
  EXPECT_TRUE(Calls.empty());
  Archive.SetLoading(false);
  EXPECT_TRUE(Archive.Active());
  EXPECT_EQ(Calls, (std::vector<std::string>{"image 1"}));
  Archive.SetActive(false);
  EXPECT_FALSE(Archive.Active());
}

TEST_F(ZLBArchiveTest, ReportsProgressAndExtraction) {
  ASSERT_TRUE(
      Archive.OpenArchive(Dir.Write("a.zlb", MakeArchive({{"big.bin", std::string(10000, 'b')}}, true))));
  std::vector<int> Percent;
  std::string Extracted;
  Archive.OnProgress = [&](TObject*, const std::string& Text, int P) {
    if (Text == "Extracting big.bin") Percent.push_back(P);
  };
  Archive.OnStreamExtracted = [&](TObject*, const std::string& Path) { Extracted = Path; };
  TMemoryStream S;
  Archive.ExtractToStream(&S, "BIG.bin");
  EXPECT_EQ(Percent, (std::vector<int>{41, 82, 100}));
  EXPECT_EQ(Extracted, "BIG.bin");
}

}  // namespace
