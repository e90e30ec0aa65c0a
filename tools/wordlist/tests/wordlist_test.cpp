#include "tools/wordlist/wordlist.h"

#include <gtest/gtest.h>

#include "platform/core/cp1250.h"

namespace {

using wordlist::Builder;
using wordlist::Verdict;

TEST(WordList, TypableWords) {
  struct Case {
    const char* Utf8;
    bool Typable;
  } Cases[] = {
      {"las", true},           {"źdźbło", true},        {"żółć", true},
      {"a", false},            {"abcdefghijklm", false}, {"Kraków", false},
      {"bez-cukru", false},    {"dwa słowa", false},    {"naïve", false},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(wordlist::IsTypableWord(Utf8ToCp1250(C.Utf8)), C.Typable) << C.Utf8;
}

// Common words come first, in their order; dictionary words follow them, filtered and thinned.
TEST(WordList, CommonWordsFirstThenTheDictionarySelection) {
  Builder B(wordlist::Options{4, 5, 2, 8});
  B.SetExcluded({"brz"});
  ASSERT_TRUE(B.AddCommon("kura"));
  EXPECT_FALSE(B.AddCommon("Pies"));
  struct Case {
    const char* Utf8;
    Verdict V;
  } Cases[] = {
      {"kura", Verdict::Duplicate},     {"ula", Verdict::TooShort},      {"flash", Verdict::Foreign},       {"krwi", Verdict::Taken},
      {"pstr", Verdict::NoVowel},      {"aaron", Verdict::Repeated},    {"bzzzyk", Verdict::Repeated},
      {"brzoza", Verdict::Excluded},   {"video", Verdict::Foreign},     {"ala-ma", Verdict::NotTypable},  {"dziewczynki", Verdict::TooLong},
      {"kamyki", Verdict::Taken},      {"kamyków", Verdict::Skipped},   {"kamykami", Verdict::Taken},
  };
  for (const Case& C : Cases) EXPECT_EQ(B.AddDictionary(Utf8ToCp1250(C.Utf8)), C.V) << C.Utf8;
  ASSERT_EQ(B.Words().size(), 4u);
  EXPECT_EQ(B.Words()[0], "kura");
  EXPECT_EQ(B.CommonCount(), 1u);
  EXPECT_EQ(wordlist::Render({"kot", Utf8ToCp1250("żuk")}), "kot\r\n" + Utf8ToCp1250("żuk") + "\r\n");
}

}  // namespace
