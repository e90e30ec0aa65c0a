#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/core/cp1250.h"
#include "platform/core/sysutils.h"

namespace {

TEST(Strings, PosCopyDeleteInsertAreOneBased) {
  EXPECT_EQ(Pos("lo", "hello lo"), 4);
  EXPECT_EQ(Pos("x", "hello"), 0);
  EXPECT_EQ(Pos("", "hello"), 0);
  EXPECT_EQ(PosEx("lo", "hello lo", 5), 7);
  EXPECT_EQ(PosEx("lo", "hello", 9), 0);
  EXPECT_EQ(Copy("abcdef", 2, 3), "bcd");
  EXPECT_EQ(Copy("abcdef", 0, 2), "ab");
  EXPECT_EQ(Copy("abcdef", 5, 100), "ef");
  EXPECT_EQ(Copy("abcdef", 7, 1), "");
  EXPECT_EQ(Copy("abcdef", 2, -1), "");
  std::string s = "abcdef";
  Delete(s, 2, 2);
  EXPECT_EQ(s, "adef");
  Delete(s, 10, 2);
  EXPECT_EQ(s, "adef");
  Insert("XY", s, 2);
  EXPECT_EQ(s, "aXYdef");
  Insert("!", s, 100);
  EXPECT_EQ(s, "aXYdef!");
}

TEST(Strings, TrimRemovesControlCharactersAndBlanks) {
  EXPECT_EQ(Trim(" \t\r\n ab c \x01"), "ab c");
  EXPECT_EQ(TrimLeft("  ab  "), "ab  ");
  EXPECT_EQ(TrimRight("  ab  "), "  ab");
  EXPECT_EQ(Trim("   "), "");
  // The no-break space of the code page is a character, not a blank.
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");
}

TEST(Strings, StringReplaceFlags) {
  struct Case {
    const char* S;
    const char* Old;
    const char* New;
    int Flags;
    std::string Expected;
  };
  const Case cases[] = {
      {"a-b-c", "-", "+", 0, "a+b-c"},
      {"a-b-c", "-", "+", rfReplaceAll, "a+b+c"},
      {"Abc aBC abc", "abc", "x", rfReplaceAll, "Abc aBC x"},
      {"Abc aBC abc", "abc", "x", rfReplaceAll | rfIgnoreCase, "x x x"},
      {"aaa", "aa", "b", rfReplaceAll, "ba"},
      {"abc", "", "x", rfReplaceAll, "abc"},
      {"ab", "b", "bb", rfReplaceAll, "abb"},
  };
  for (const Case& c : cases) EXPECT_EQ(StringReplace(c.S, c.Old, c.New, c.Flags), c.Expected) << c.S << " " << c.Old;
  // Ignore-case knows Polish letters.
  EXPECT_EQ(StringReplace(Utf8ToCp1250("ŻÓŁW żółw"), Utf8ToCp1250("żółw"), "x", rfReplaceAll | rfIgnoreCase), "x x");
  EXPECT_EQ(StringOfChar('=', 3), "===");
  EXPECT_EQ(StringOfChar('=', -1), "");
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
}

TEST(Strings, CompareTextFoldsOnlyAsciiAnsiCompareTextFoldsPolish) {
  EXPECT_EQ(CompareText("ABC", "abc"), 0);
  EXPECT_TRUE(SameText("Hello", "hELLO"));
  EXPECT_FALSE(SameText(Utf8ToCp1250("Ż"), Utf8ToCp1250("ż")));
  EXPECT_TRUE(AnsiSameText(Utf8ToCp1250("ŻÓŁW"), Utf8ToCp1250("żółw")));
  // Texts the same without regard to case hash the same (the engine's file list relies on it).
  for (const auto& [A, B] : std::vector<std::pair<const char*, const char*>>{
           {"ŻÓŁW", "żółw"}, {"/Tmp/Ćma.DAT", "/tmp/ćMA.dat"}, {"", ""}, {"Ąą Ęę", "ąĄ ęĘ"}}) {
    ASSERT_TRUE(AnsiSameText(Utf8ToCp1250(A), Utf8ToCp1250(B))) << A;
    EXPECT_EQ(AnsiTextHash(Utf8ToCp1250(A)), AnsiTextHash(Utf8ToCp1250(B))) << A;
  }
  EXPECT_NE(AnsiTextHash("t.DAT"), AnsiTextHash("u.DAT"));
  EXPECT_LT(CompareText("abc", "abd"), 0);
  EXPECT_LT(CompareText("ab", "abc"), 0);
  EXPECT_GT(CompareStr("b", "a"), 0);
  EXPECT_LT(CompareStr("B", "a"), 0);
}

TEST(Strings, AlphabeticalOrderFollowsPolishAlphabet) {
  // Sorted with AnsiCompareText, these come out in Polish dictionary order.
  const std::vector<std::string> ordered = {"", "!", "1", "9", "a", "A", "ala", "ąb", "b", "c", "cz", "ć", "e", "ę",
                                            "l", "ł", "n", "ń", "o", "ó", "s", "ś", "z", "ź", "ż"};
  std::vector<std::string> cp;
  for (const auto& s : ordered) cp.push_back(Utf8ToCp1250(s));
  for (std::size_t i = 0; i + 1 < cp.size(); ++i) {
    EXPECT_LE(AnsiCompareText(cp[i], cp[i + 1]), 0) << ordered[i] << " vs " << ordered[i + 1];
    EXPECT_GE(AnsiCompareText(cp[i + 1], cp[i]), 0);
  }
  EXPECT_EQ(AnsiCompareText("a", "A"), 0);
  EXPECT_LT(AnsiCompareText(Utf8ToCp1250("ąz"), "b"), 0);
  EXPECT_GT(AnsiCompareText(Utf8ToCp1250("ąa"), "az"), 0);
  // The case-sensitive variant puts lower case first but keeps the alphabet.
  EXPECT_LT(AnsiCompareStr("a", "A"), 0);
  EXPECT_LT(AnsiCompareStr("A", "b"), 0);
  EXPECT_EQ(AnsiCompareStr("Ab", "Ab"), 0);
}

TEST(Strings, StrToIntAcceptsDelphiSyntaxAndRejectsTheRest) {
  struct Good {
    const char* S;
    int32_t V;
  };
  const Good good[] = {{"0", 0},         {"42", 42},      {"-17", -17},          {"+5", 5},
                       {"  12", 12},     {"$FF", 255},    {"0x10", 16},          {"-$10", -16},
                       {"2147483647", 2147483647},        {"-2147483648", INT32_MIN},
                       {"$FFFFFFFF", -1}, {"007", 7}};
  for (const Good& g : good) EXPECT_EQ(StrToInt(g.S), g.V) << g.S;
  const char* bad[] = {"", " ", "12 ", "1.5", "abc", "2147483648", "-2147483649", "$", "--1", "1e3", "$1FFFFFFFF"};
  for (const char* b : bad) {
    try {
      StrToInt(b);
      ADD_FAILURE() << "accepted " << b;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + b + "' is not a valid integer value");
      EXPECT_EQ(e.ClassName(), "EConvertError");
    }
    EXPECT_EQ(StrToIntDef(b, -99), -99) << b;
  }
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
}

TEST(Strings, StrToFloatUsesTheGivenSeparator) {
  EXPECT_DOUBLE_EQ(StrToFloat("1.5", '.'), 1.5);
  EXPECT_DOUBLE_EQ(StrToFloat(" -2,25 ", ','), -2.25);
  EXPECT_DOUBLE_EQ(StrToFloat("1e3", '.'), 1000.0);
  EXPECT_DOUBLE_EQ(StrToFloat("-.5", '.'), -0.5);
  EXPECT_DOUBLE_EQ(StrToFloat("7", '.'), 7.0);
  EXPECT_DOUBLE_EQ(StrToFloat("3,5"), 3.5);  // the program's separator is ','
  const char* bad[] = {"1,5", "", ".", "1e", "1.5x", "1..5", "nan", "1e999"};
  for (const char* b : bad) {
    double v = 0;
    EXPECT_FALSE(TryStrToFloat(b, v, '.')) << b;
  }
  try {
    StrToFloat("x", '.');
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'x' is not a valid floating point value");
  }
}

TEST(Strings, IntToHexAndIntToStr) {
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(IntToHex(int64_t{-1}, 2), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(IntToHex(0x1234ABCDu, 0), "1234ABCD");
  EXPECT_EQ(IntToStr(-123), "-123");
  EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
}

TEST(Utilities, PosOfNthAndExtractField) {
  EXPECT_EQ(PosOfNth("a;b;c", ';', 1), 2);
  EXPECT_EQ(PosOfNth("a;b;c", ';', 2), 4);
  EXPECT_EQ(PosOfNth("a;b;c", ';', 3), 0);
  EXPECT_EQ(PosOfNth("a;b;c", ';', 0), 0);
  struct Case {
    const char* S;
    int N;
    const char* Field;
  };
  const Case cases[] = {{"a;b;c", 1, "a"}, {"a;b;c", 2, "b"}, {"a;b;c", 3, "c"}, {"a;b;c", 4, ""},
                        {"a;;c", 2, ""},   {"a;;c", 3, "c"},  {"", 1, ""},       {";x", 1, ""},
                        {";x", 2, "x"},    {"abc", 1, "abc"}, {"abc", 2, ""},    {"a;b;", 3, ""},
                        {"a;b", 0, "a;b"}};
  for (const Case& c : cases) EXPECT_EQ(ExtractField(c.S, ';', c.N), c.Field) << c.S << " #" << c.N;
}

TEST(Utilities, FormatSeconds) {
  EXPECT_EQ(FormatSeconds(3725), "01:02:05");
  EXPECT_EQ(FormatSeconds(0), "00:00:00");
  EXPECT_EQ(FormatSeconds(59), "00:00:59");
  EXPECT_EQ(FormatSeconds(86399), "23:59:59");
  EXPECT_EQ(FormatSeconds(360000), "100:00:00");
}

}  // namespace
