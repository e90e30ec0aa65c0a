#include "tutor/core/Dictionary.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <set>

#include "platform/core/fileutils.h"
#include "platform/core/random.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/tests/test_archive.h"

namespace {

std::unique_ptr<TStringList> Words(std::initializer_list<const char*> W) {
  auto L = std::make_unique<TStringList>();
  for (const char* S : W) L->Add(S);
  return L;
}

std::vector<std::string> Lines(const TStrings& L) {
  std::vector<std::string> V;
  for (int i = 0; i < L.Count(); ++i) V.push_back(L.Strings(i));
  return V;
}

TEST(GenerateWords, ScoresByEmphasisAndDropsWordsOutsideTheAllowedLetters) {
  RandSeed = 1234;
  // sad: 2 of 3 letters emphasised; fad: 1 of 3; sok and las use letters outside "asdf".
  const auto W = Words({"fad", "sok", "sad", "las"});
  TStringList Out;
  EXPECT_EQ(GenerateWordsFrom(*W, &Out, "asdf", "as", 0, 0), 2);
  EXPECT_EQ(Lines(Out), (std::vector<std::string>{"sad", "fad"}));
}

TEST(GenerateWords, PlainListHoldsCountPlusOneBestWords) {
  RandSeed = 77;
  // Twenty words whose share of 'a' falls from 20/20 to 1/20: the order is fixed by the shares.
  auto W = std::make_unique<TStringList>();
  for (int i = 20; i >= 1; --i) W->Add(std::string(static_cast<std::size_t>(i), 'a') + std::string(20 - i, 'b'));
  TStringList Out;
  GenerateWordsFrom(*W, &Out, "", "a", 5, 0);
  ASSERT_EQ(Out.Count(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Out.Strings(i), W->Strings(i));
  TStringList All;
  GenerateWordsFrom(*W, &All, "", "a", 0, 0);
  EXPECT_EQ(All.Count(), 20);
}

TEST(GenerateWords, LinesReuseTheCandidatesFromTheBest) {
  RandSeed = 5;
  const auto W = Words({"aaaa", "bbbb"});
  TStringList Out;
  // Emphasis "a" puts aaaa first; bbbb qualifies through the random term only.
  GenerateWordsFrom(*W, &Out, "", "a", 2, 10);
  EXPECT_EQ(Lines(Out), (std::vector<std::string>{"aaaa bbbb", "aaaa bbbb"}));
}

TEST(GenerateWords, NoCandidateAddsNothingAndReturns) {
  const auto W = Words({"xyz", "qqq"});
  TStringList Out;
  Out.Add("kept");
  for (int Width : {0, 40, -3}) {
    EXPECT_EQ(GenerateWordsFrom(*W, &Out, "asdf", "as", 50, Width), 1) << Width;
  }
  TStringList Empty;
  EXPECT_EQ(GenerateWordsFrom(Empty, &Out, "", "", 50, 40), 1);
  EXPECT_EQ(Lines(Out), (std::vector<std::string>{"kept"}));
}

TEST(GenerateWords, LongWordsEndAndMakeNoEmptyLines) {
  RandSeed = 9;
  // No two of these fit on a line of 5, and one is longer than the line.
  const auto W = Words({"kasa", "laska", "sala"});
  for (int Width : {1, 5, 6, -1}) {
    TStringList Out;
    GenerateWordsFrom(*W, &Out, "", "", 10, Width);
    ASSERT_GT(Out.Count(), 0) << Width;
    EXPECT_LE(Out.Count(), 11) << Width;
    for (const std::string& L : Lines(Out)) EXPECT_FALSE(L.empty()) << Width;
  }
}

TEST(GenerateWords, ReadsTheWordListOfTheArchive) {
  TTempDir Dir;
  const std::string Zlb =
      Dir.Write("vx.zlb", MakeArchive({TTestMember(vx::res::kWordsMember, "sad\r\nfad\r\nsok\r\n")}, false));
  TStringList W;
  ASSERT_TRUE(LoadWordList(Zlb, &W));
  EXPECT_EQ(Lines(W), (std::vector<std::string>{"sad", "fad", "sok"}));
  TStringList Missing;
  EXPECT_FALSE(LoadWordList(Dir.Path() + "/none.zlb", &Missing));
  EXPECT_EQ(Missing.Count(), 0);
}

TEST(GenerateWords, ReadsWordsTxtOfTheArchiveBesideTheProgramEveryCall) {
  const std::string Zlb = ProgramPath(vx::res::kVxArchive);
  if (FileExists(Zlb)) GTEST_SKIP() << Zlb << " belongs to an installation";
  struct TRemove {
    std::string F;
    ~TRemove() { DeleteFile(F); }
  } Remove{Zlb};
  auto Write = [&](const std::string& Words) {
    const std::string A = MakeArchive({TTestMember(vx::res::kWordsMember, Words)}, false);
    std::ofstream(ToOsPath(Zlb), std::ios::binary).write(A.data(), static_cast<std::streamsize>(A.size()));
  };
  // Every line end the text files use; the last line without one.
  Write("sad\r\nfad\nlad\rdal");
  RandSeed = 8;
  TStringList Out;
  EXPECT_EQ(GenerateWords(&Out, "asdfl", "as", 0, 0), 4);
  EXPECT_EQ(Out.Strings(0), "sad");  // 2 of 3 emphasised; the other three 1 of 3
  EXPECT_EQ(std::set<std::string>({Out.Strings(1), Out.Strings(2), Out.Strings(3)}),
            (std::set<std::string>{"fad", "lad", "dal"}));
  // Read again on the next call.
  Write("kasa\r\n");
  TStringList Again;
  EXPECT_EQ(GenerateWords(&Again, "", "", 3, 20), 1);
  EXPECT_EQ(Again.Strings(0), "kasa kasa kasa kasa");
  DeleteFile(Zlb);
  TStringList None;
  EXPECT_EQ(GenerateWords(&None, "", "", 3, 20), 0);  // no archive: no words, no lines
}

TEST(GenerateLetters, CountPlusOneLettersFromTheSetsInLinesOfTheWidth) {
  struct Case {
    const char* Allowed;
    const char* Emphasis;
    int Count, Width;
    const char* Expect;  // every letter must come from this set
  } Cases[] = {
      {"asdf", "jk", 200, 30, "asdfjk"},
      {"", "jk", 50, 10, "jk"},          // empty Allowed: every letter emphasised
      {"asdf", "", 50, 10, "asdf"},      // empty Emphasis falls back to Allowed
      {"", "", 20, 10, "asdfjkl;"},      // both empty: the home row
      {"asdf", "jk", 0, 30, "asdfjk"},   // Count 0: one letter
      {"asdf", "jk", 30, 0, "asdfjk"},   // Width below 1 counts as 1
      {"asdf", "jk", 30, -5, "asdfjk"},
  };
  for (const Case& C : Cases) {
    RandSeed = 42;
    TStringList Out;
    EXPECT_EQ(GenerateLetters(&Out, C.Allowed, C.Emphasis, C.Count, C.Width), 0);
    int Letters = 0;
    const std::size_t Width = static_cast<std::size_t>(std::max(1, C.Width));
    for (const std::string& L : Lines(Out)) {
      EXPECT_FALSE(L.empty());
      EXPECT_LE(L.size(), Width + 1) << L;
      EXPECT_NE(L.front(), ' ');
      EXPECT_NE(L.back(), ' ');
      EXPECT_EQ(L.find("  "), std::string::npos);
      for (char Ch : L) {
        if (Ch == ' ') continue;
        ++Letters;
        EXPECT_NE(std::string(C.Expect).find(Ch), std::string::npos) << Ch;
      }
    }
    EXPECT_EQ(Letters, C.Count + 1) << C.Allowed << "/" << C.Emphasis << " " << C.Width;
  }
}

TEST(GenerateLetters, MostLettersComeFromTheEmphasis) {
  RandSeed = 3;
  TStringList Out;
  GenerateLetters(&Out, "a", "j", 3999, 60);
  int J = 0, A = 0;
  for (const std::string& L : Lines(Out))
    for (char Ch : L) {
      if (Ch == 'a') ++A;
      if (Ch == 'j') ++J;
    }
  EXPECT_EQ(J + A, 4000);
  EXPECT_GT(A, 800);   // about 1000
  EXPECT_LT(A, 1200);
}

}  // namespace
