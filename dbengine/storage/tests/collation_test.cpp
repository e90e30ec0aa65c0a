#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dbengine/storage/collation.h"
#include "dbengine/storage/engine_errors.h"
#include "platform/core/cp1250.h"

namespace {

// Polish words in their expected order (written as UTF-8 here, compared as CP1250): symbols, then
// digits, then letters with ą ć ę ł ń ó ś ź ż as letters of their own, lower case before upper case
// of the same word, a prefix before its extensions.
const char* const kPolishWords[] = {
    " a",     "!",      "#1",     "(a)",    "-",      "0",      "007",    "1",      "10",
    "2",      "9z",     "a",      "A",      "a b",    "a-b",    "aa",     "ab",     "Ab",
    "abc",    "ala",    "Ala",    "ALA",    "ala ma kota", "alarm", "ąb",   "ącki",   "b",
    "bak",    "bąk",    "bąka",   "cal",    "cała",   "ćma",    "Ćma",    "dom",    "ela",
    "ęsi",    "kot",    "kota",   "kotek",  "lody",   "lód",    "łan",    "łódź",   "Łódź",
    "mama",   "nos",    "noż",    "nu",     "ńa",     "osa",    "ósemka", "pies",   "rak",
    "sad",    "ser",    "śmiech", "Śmiech", "tak",    "zorza",  "źle",    "żaba",   "Żaba",
    "ŻABA",   "żagiel", "żółw",
};

std::vector<std::string> PolishWords() {
  std::vector<std::string> W;
  for (const char* S : kPolishWords) W.push_back(Utf8ToCp1250(S));
  return W;
}

int Compare(uint16_t Lang, uint16_t Sort, std::string A, std::string B, bool CaseInsensitive) {
  return CompareLocaleStrings(Lang, Sort, A.data(), CaseInsensitive, 0, B.data());
}

TEST(Collation, PolishWordsSortTheSameThroughCompareCharMapAndUpperCase) {
  const std::vector<std::string> W = PolishWords();
  ASSERT_GE(W.size(), 60u);
  // 1. Case-sensitive comparison: a strict order equal to the list, whatever order it starts in.
  std::vector<std::string> Shuffled = W;
  std::shuffle(Shuffled.begin(), Shuffled.end(), std::mt19937(3));
  std::sort(Shuffled.begin(), Shuffled.end(),
            [](const std::string& A, const std::string& B) { return Compare(kLanguagePolish, 0, A, B, false) < 0; });
  EXPECT_EQ(Shuffled, W);
  for (size_t I = 0; I + 1 < W.size(); ++I) EXPECT_LT(Compare(kLanguagePolish, 0, W[I], W[I + 1], false), 0) << I;

  // 2. Case-insensitive comparison and 3. the character map over the upper-cased words: never out
  // of order (words that differ only in case tie).
  uint8_t Map[256];
  GetCharMap(kLanguagePolish, 0, Map);
  int Rank[256];
  for (int I = 0; I < 256; ++I) Rank[Map[I]] = I;
  auto ByMap = [&](const std::string& A, const std::string& B) {
    std::string UA = LocaleUpperCase(kLanguagePolish, 0, A), UB = LocaleUpperCase(kLanguagePolish, 0, B);
    return std::lexicographical_compare(UA.begin(), UA.end(), UB.begin(), UB.end(), [&](char X, char Y) {
      return Rank[static_cast<uint8_t>(X)] < Rank[static_cast<uint8_t>(Y)];
    });
  };
  for (size_t I = 0; I < W.size(); ++I) {
    for (size_t J = I + 1; J < W.size(); ++J) {
      EXPECT_LE(Compare(kLanguagePolish, 0, W[I], W[J], true), 0) << I << " " << J;
      EXPECT_FALSE(ByMap(W[J], W[I])) << I << " " << J;
    }
  }
  EXPECT_EQ(Compare(kLanguagePolish, 0, W[19], W[21], true), 0);  // ala / ALA
}

TEST(Collation, PolishLettersAndDiacritics) {
  auto P = [](const char* U8) { return Utf8ToCp1250(U8); };
  // Polish letters are primary differences; foreign diacritics vanish when non-spacing marks are ignored.
  EXPECT_GT(Compare(kLanguagePolish, 0, P("ż"), P("ź"), false), 0);
  EXPECT_GT(Compare(kLanguagePolish, 0, P("ż"), P("źz"), false), 0);
  EXPECT_EQ(Compare(kLanguagePolish, 0, P("café"), P("cafe"), false), 0);
  EXPECT_EQ(Compare(kLanguagePolish, 0, P("Müller"), P("Muller"), false), 0);
  EXPECT_NE(Compare(kLanguagePolish, 0, P("ą"), P("a"), true), 0);
  EXPECT_EQ(CompareLocaleChar(kLanguagePolish, 0, static_cast<uint8_t>(P("é")[0]), 'e'), 0);
  EXPECT_GT(CompareLocaleChar(kLanguagePolish, 0, 'A', 'a'), 0);
  EXPECT_LT(CompareLocaleChar(kLanguagePolish, 0, static_cast<uint8_t>(P("ł")[0]), 'm'), 0);
  EXPECT_GT(CompareLocaleChar(kLanguagePolish, 0, static_cast<uint8_t>(P("ł")[0]), 'l'), 0);

  // The character map: a permutation; control bytes, symbols, digits, then letters in the Polish
  // alphabet with lower case before upper case.
  uint8_t Map[256];
  GetCharMap(kLanguagePolish, 0, Map);
  std::vector<bool> Seen(256);
  int Pos[256];
  for (int I = 0; I < 256; ++I) {
    EXPECT_FALSE(Seen[Map[I]]);
    Seen[Map[I]] = true;
    Pos[Map[I]] = I;
  }
  EXPECT_EQ(Map[0], 0);
  EXPECT_LT(Pos[' '], Pos['0']);
  EXPECT_LT(Pos['~'], Pos['0']);
  for (char D = '0'; D < '9'; ++D) EXPECT_EQ(Pos[static_cast<uint8_t>(D)] + 1, Pos[static_cast<uint8_t>(D + 1)]);
  std::string Alphabet = P("aAąĄbBcCćĆdDeEęĘfFgGhHiIjJkKlLłŁmMnNńŃoOóÓpPqQrRsSśŚtTuUvVwWxXyYzZźŹżŻ");
  for (size_t I = 0; I + 1 < Alphabet.size(); ++I)
    EXPECT_LT(Pos[static_cast<uint8_t>(Alphabet[I])], Pos[static_cast<uint8_t>(Alphabet[I + 1])]) << I;
  EXPECT_LT(Pos['9'], Pos['a']);
  // A foreign letter sits between its base letter and the next letter.
  EXPECT_GT(Pos[static_cast<uint8_t>(P("é")[0])], Pos['E']);
  EXPECT_LT(Pos[static_cast<uint8_t>(P("é")[0])], Pos[static_cast<uint8_t>(P("ę")[0])]);
  uint8_t Again[256];
  GetCharMap(kLanguagePolish, 0, Again);
  EXPECT_EQ(memcmp(Map, Again, 256), 0);
}

// The Polish character map decides the order of range bounds over string keys, so it is pinned:
// control and unassigned bytes, symbols, digits, then the letters, lower case first, foreign letters
// after their base letter, ą ć ę ł ń ó ś ź ż as letters of their own.
const uint8_t kPolishCharMap[256] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x7F, 0x81, 0x83, 0x88, 0x90, 0x98, 0xAD, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28,
    0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x5B, 0x5C,
    0x5D, 0x5E, 0x5F, 0x60, 0x7B, 0x7C, 0x7D, 0x7E, 0xA0, 0xA4, 0xA6, 0xA7, 0xA8, 0xA9, 0xAB, 0xAC,
    0xAE, 0xB0, 0xB1, 0xB4, 0xB6, 0xB7, 0xB8, 0xBB, 0xD7, 0xF7, 0xA1, 0xA2, 0xFF, 0xB2, 0xBD, 0x96,
    0x97, 0x91, 0x92, 0x82, 0x93, 0x94, 0x84, 0x86, 0x87, 0x95, 0x85, 0x89, 0x8B, 0x9B, 0x80, 0x99,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x61, 0x41, 0xE1, 0xC1, 0xE2, 0xC2,
    0xE3, 0xC3, 0xE4, 0xC4, 0xB9, 0xA5, 0x62, 0x42, 0x63, 0x43, 0xE8, 0xC8, 0xE7, 0xC7, 0xE6, 0xC6,
    0x64, 0x44, 0xEF, 0xCF, 0xF0, 0xD0, 0x65, 0x45, 0xE9, 0xC9, 0xEB, 0xCB, 0xEC, 0xCC, 0xEA, 0xCA,
    0x66, 0x46, 0x67, 0x47, 0x68, 0x48, 0x69, 0x49, 0xED, 0xCD, 0xEE, 0xCE, 0x6A, 0x4A, 0x6B, 0x4B,
    0x6C, 0x4C, 0xE5, 0xC5, 0xBE, 0xBC, 0xB3, 0xA3, 0x6D, 0x4D, 0x6E, 0x4E, 0xF2, 0xD2, 0xF1, 0xD1,
    0x6F, 0x4F, 0xF4, 0xD4, 0xF6, 0xD6, 0xF5, 0xD5, 0xF3, 0xD3, 0x70, 0x50, 0x71, 0x51, 0x72, 0x52,
    0xE0, 0xC0, 0xF8, 0xD8, 0x73, 0x53, 0x9A, 0x8A, 0xBA, 0xAA, 0xDF, 0x9C, 0x8C, 0x74, 0x54, 0x9D,
    0x8D, 0xFE, 0xDE, 0x75, 0x55, 0xFA, 0xDA, 0xFC, 0xDC, 0xF9, 0xD9, 0xFB, 0xDB, 0x76, 0x56, 0x77,
    0x57, 0x78, 0x58, 0x79, 0x59, 0xFD, 0xDD, 0x7A, 0x5A, 0x9E, 0x8E, 0x9F, 0x8F, 0xBF, 0xAF, 0xB5
};

TEST(Collation, PolishCharacterMapIsPinned) {
  uint8_t Map[256];
  GetCharMap(kLanguagePolish, 0, Map);
  EXPECT_EQ(std::vector<uint8_t>(Map, Map + 256), std::vector<uint8_t>(kPolishCharMap, kPolishCharMap + 256));
}

TEST(Collation, LanguageZeroIsByteOrder) {
  uint8_t Map[256];
  GetCharMap(0, 0, Map);
  for (int I = 0; I < 256; ++I) EXPECT_EQ(Map[I], I);
  std::mt19937 Rng(9);
  for (int I = 0; I < 2000; ++I) {
    std::string A, B;
    for (int K = static_cast<int>(Rng() % 6); K > 0; --K) A += static_cast<char>(1 + Rng() % 255);
    for (int K = static_cast<int>(Rng() % 6); K > 0; --K) B += static_cast<char>(1 + Rng() % 255);
    int Expected = A < B ? -1 : (A > B ? 1 : 0);  // std::string compares bytes as unsigned char
    EXPECT_EQ(Compare(0, 0, A, B, false), Expected);
  }
  // A case-insensitive comparison upper-cases both buffers (English (USA) rules: code page 1252).
  char A[] = "abc\xFF", B[] = "ABC\x9F";
  EXPECT_EQ(CompareLocaleStrings(0, 0, A, true, 0, B), 0);
  EXPECT_STREQ(A, "ABC\x9F");
  EXPECT_EQ(CompareBuffers(nullptr, "a", 1, false), 1);
  EXPECT_EQ(CompareBuffers("b", "a", 1, true), -1);
  EXPECT_EQ(CompareBuffers("ab", "ab", 2, false), 0);
}

TEST(Collation, GermanPhoneBookOrder) {
  const uint16_t German = 0x0407;
  // Code page 1252 bytes for ü, ä, ß.
  std::string Mueller = "M\xFCller", Muller = "Muller", MuEller = "Mueller";
  EXPECT_EQ(Compare(German, 1, Mueller, MuEller, false), 0);  // ü = ue (marks ignored)
  EXPECT_LT(Compare(German, 1, MuEller, Muller, false), 0);
  EXPECT_EQ(Compare(German, 0, Mueller, Muller, false), 0);   // default order: ü is a u with a mark
  EXPECT_LT(Compare(German, 0, MuEller, Muller, false), 0);   // e < l
  EXPECT_EQ(Compare(German, 0, "Stra\xDF" "e", "Strasse", false), 0);
  EXPECT_EQ(SortIdFromName(German, "German Phone Book Order"), 1);
  EXPECT_EQ(SortIdFromName(German, "default order"), 0);
  EXPECT_EQ(SortIdFromName(kLanguagePolish, "German Phone Book Order"), 0);
  EXPECT_TRUE(IsValidSortName(0x0807, "German Phone Book Order"));
  EXPECT_FALSE(IsValidSortName(kLanguagePolish, "German Phone Book Order"));
  std::vector<std::string> Names;
  FillSortNames(48, Names);
  EXPECT_EQ(Names, (std::vector<std::string>{"Default Order", "German Phone Book Order"}));
  FillSortNames(47, Names);
  EXPECT_EQ(Names, (std::vector<std::string>{"Default Order"}));
}

TEST(Collation, LanguageList) {
  const auto& L = LanguageList();
  ASSERT_EQ(L.size(), 99u);
  EXPECT_STREQ(L[0].Name, "ANSI Standard");
  EXPECT_EQ(L[0].LanguageId, 0);
  EXPECT_STREQ(L[48].Name, "German (Standard)");
  EXPECT_STREQ(L[52].Name, "German (Liechtenstein)");
  EXPECT_STREQ(L[98].Name, "Vietnamese");
  EXPECT_EQ(LanguageIdFromName(" polish "), 0x0415);
  EXPECT_EQ(LanguageIdFromName("Klingon"), 0);
  EXPECT_TRUE(IsValidLanguageName("ENGLISH (USA)"));
  EXPECT_EQ(LanguageNameIndex(0x0415), 64);
  EXPECT_EQ(LanguageNameIndex(0x7777), -1);
  EXPECT_EQ(MakeLangId(21, 1), 0x0415);
  EXPECT_EQ(MakeLocaleId(0x0407, 1), 0x10407u);
  // Every listed language has tables; others give the language-driver error.
  for (const TLanguageEntry& E : L) {
    EXPECT_TRUE(IsLanguageAvailable(E.LanguageId)) << E.Name;
    if (E.LanguageId) {
      EXPECT_NE(CodePageUpperMap(E.CodePage), nullptr) << E.Name;
    }
  }
  try {
    CheckLanguageAvailable(0x0477, "student");
    FAIL();
  } catch (const EVXDBEngineError& E) {
    EXPECT_EQ(E.Message(), "VXDB Engine Error # 15878 The language driver for table 'student' is not available or installed");
  }
  // Russian (code page 1251): е and ё differ only by the mark, й is a letter of its own.
  const uint16_t Russian = 0x0419;
  EXPECT_EQ(CollateStrings(Russian, 0, "\xE5", 1, "\xB8", 1, kCompareIgnoreNonSpace), 0);
  EXPECT_GT(CollateStrings(Russian, 0, "\xE9", 1, "\xE8\xFF", 2, kCompareIgnoreNonSpace), 0);
}

TEST(Collation, CaseMaps) {
  // Code page 1250: a-z, the Polish, Czech and Slovak letters; ß, µ, ÷ and ˙ stay.
  uint8_t Expected[256];
  for (int I = 0; I < 256; ++I) Expected[I] = static_cast<uint8_t>(I);
  for (int C = 'a'; C <= 'z'; ++C) Expected[C] = static_cast<uint8_t>(C - 32);
  const int Pairs[][2] = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F},
                          {0xB3, 0xA3}, {0xB9, 0xA5}, {0xBA, 0xAA}, {0xBE, 0xBC}, {0xBF, 0xAF}};
  for (auto& P : Pairs) Expected[P[0]] = static_cast<uint8_t>(P[1]);
  for (int C = 0xE0; C <= 0xFE; ++C)
    if (C != 0xF7) Expected[C] = static_cast<uint8_t>(C - 0x20);
  const uint8_t* Up = CodePageUpperMap(1250);
  const uint8_t* Low = CodePageLowerMap(1250);
  for (int I = 0; I < 256; ++I) {
    EXPECT_EQ(Up[I], Expected[I]) << I;
    if (Expected[I] != I) {
      EXPECT_EQ(Low[Expected[I]], I) << I;
    }
  }
  EXPECT_EQ(LocaleUpperCase(kLanguagePolish, 0, Utf8ToCp1250("zażółć gęślą jaźń")),
            Utf8ToCp1250("ZAŻÓŁĆ GĘŚLĄ JAŹŃ"));
  EXPECT_EQ(LocaleLowerCase(kLanguagePolish, 0, Utf8ToCp1250("ZAŻÓŁĆ")), Utf8ToCp1250("zażółć"));
  char Buf[] = "abc";
  LocaleUpperCase(kLanguagePolish, 0, Buf, Buf);  // in place
  EXPECT_STREQ(Buf, "ABC");
  // Language 0 upper-cases for English (USA), code page 1252: 0xB9 is not a letter there.
  EXPECT_EQ(LocaleUpperCase(0, 0, std::string("a\xB9\xFF")), "A\xB9\x9F");
}

TEST(Collation, LikePatterns) {
  struct Case { const char* Text; const char* Pattern; bool Match; };
  const Case Cases[] = {
      {"abc", "a_c", true},   {"abc", "%c", true},    {"abc", "A%", false},  {"abcbc", "%bc", true},
      {"", "%", true},        {"abc", "a%", true},    {"", "%%", false},     {"a", "a%%", false},
      {"abc", "abc", true},   {"abc", "ab", false},   {"ab", "abc", false},  {"abc", "%", true},
      {"abc", "___", true},   {"abc", "__", false},   {"abc", "____", false}, {"", "", true},
      {"", "_", false},       {"ab", "%x%", false},   {"axb", "%x%", true},  {"abc", "%b%", true},
      {"a%c", "a%c", true},   {"aXbXc", "a%b%c", true}, {"abab", "%ab", true}, {"abac", "%ab", false},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(MatchLikePattern(0, 0, C.Text, C.Pattern), C.Match) << C.Text << " LIKE " << C.Pattern;
    EXPECT_EQ(MatchLikePattern(kLanguagePolish, 0, C.Text, C.Pattern), C.Match) << C.Text << " LIKE " << C.Pattern;
  }
  // Characters compare under the locale: foreign marks are ignored, Polish letters are not.
  std::string Cafe = Utf8ToCp1250("café"), Zolw = Utf8ToCp1250("żółw");
  EXPECT_TRUE(MatchLikePattern(kLanguagePolish, 0, Cafe.c_str(), "cafe"));
  EXPECT_FALSE(MatchLikePattern(0, 0, Cafe.c_str(), "cafe"));
  EXPECT_FALSE(MatchLikePattern(kLanguagePolish, 0, Zolw.c_str(), "zolw"));
}

TEST(Collation, ProcessDefaultLanguageFromEnvironment) {
  struct Case { const char* LcAll; const char* LcCollate; const char* Lang; uint16_t Expected; };
  const Case Cases[] = {
      {"", "", "pl_PL.UTF-8", 0x0415}, {"", "de_AT.UTF-8", "pl_PL", 0x0C07}, {"en_GB", "de_DE", "pl_PL", 0x0809},
      {"", "", "C", 0x0409},           {"", "", "", 0x0409},                 {"", "", "pt_BR", 0x0416},
      {"", "", "sr_RS@latin", 0x081A}, {"", "", "hr_HR", 0x041A},            {"", "", "xx_YY", 0x0409},
  };
  for (const Case& C : Cases) {
    setenv("LC_ALL", C.LcAll, 1);
    setenv("LC_COLLATE", C.LcCollate, 1);
    setenv("LANG", C.Lang, 1);
    EXPECT_EQ(ProcessDefaultLanguage(), C.Expected) << C.LcAll << "|" << C.LcCollate << "|" << C.Lang;
  }
  unsetenv("LC_ALL");
  unsetenv("LC_COLLATE");
  unsetenv("LANG");
}

TEST(Collation, LocaleFormats) {
  const TFormatSettings& Pl = LocaleFormat(kLanguagePolish);
  EXPECT_EQ(Pl.DecimalSeparator, ',');
  EXPECT_EQ(Pl.LongMonthNames[0], Utf8ToCp1250("styczeń"));
  EXPECT_EQ(Pl.LongDayNames[3], Utf8ToCp1250("środa"));
  const TFormatSettings& Us = LocaleFormat(0);
  EXPECT_EQ(Us.DecimalSeparator, '.');
  EXPECT_EQ(Us.ShortDateFormat, "m/d/yyyy");
  EXPECT_EQ(LocaleFormat(0x0407).DateSeparator, '.');
  EXPECT_EQ(LocaleFormat(0x0809).ShortDateFormat, "dd/mm/yyyy");
}

}  // namespace
