#include <gtest/gtest.h>

#include <algorithm>

#include "platform/core/cp1250.h"
#include "platform/core/sysutils.h"

namespace {

struct KnownPoint {
  unsigned char Byte;
  char32_t Code;
};

// Code points taken from the published code page chart.
const KnownPoint Known[] = {
    // The 18 Polish letters.
    {0xA5, 0x0104}, {0xC6, 0x0106}, {0xCA, 0x0118}, {0xA3, 0x0141}, {0xD1, 0x0143}, {0xD3, 0x00D3},
    {0x8C, 0x015A}, {0x8F, 0x0179}, {0xAF, 0x017B}, {0xB9, 0x0105}, {0xE6, 0x0107}, {0xEA, 0x0119},
    {0xB3, 0x0142}, {0xF1, 0x0144}, {0xF3, 0x00F3}, {0x9C, 0x015B}, {0x9F, 0x017A}, {0xBF, 0x017C},
    // Punctuation and symbols of the upper half.
    {0x80, 0x20AC}, {0x82, 0x201A}, {0x84, 0x201E}, {0x85, 0x2026}, {0x86, 0x2020}, {0x89, 0x2030},
    {0x8B, 0x2039}, {0x91, 0x2018}, {0x92, 0x2019}, {0x93, 0x201C}, {0x94, 0x201D}, {0x95, 0x2022},
    {0x96, 0x2013}, {0x97, 0x2014}, {0x99, 0x2122}, {0x9B, 0x203A}, {0xA0, 0x00A0}, {0xA1, 0x02C7},
    {0xA2, 0x02D8}, {0xB2, 0x02DB}, {0xB6, 0x00B6}, {0xBD, 0x02DD}, {0xFF, 0x02D9}, {0xD7, 0x00D7},
    {0xF7, 0x00F7}, {0xDF, 0x00DF},
    // Other Central European letters.
    {0x8A, 0x0160}, {0x8D, 0x0164}, {0x8E, 0x017D}, {0x9A, 0x0161}, {0xAA, 0x015E}, {0xBC, 0x013D},
    {0xBE, 0x013E}, {0xC0, 0x0154}, {0xC3, 0x0102}, {0xC8, 0x010C}, {0xCC, 0x011A}, {0xCF, 0x010E},
    {0xD0, 0x0110}, {0xD5, 0x0150}, {0xD8, 0x0158}, {0xD9, 0x016E}, {0xDB, 0x0170}, {0xDE, 0x0162},
    {0xE0, 0x0155}, {0xE3, 0x0103}, {0xE8, 0x010D}, {0xEC, 0x011B}, {0xEF, 0x010F}, {0xF0, 0x0111},
    {0xF5, 0x0151}, {0xF8, 0x0159}, {0xF9, 0x016F}, {0xFB, 0x0171}, {0xFE, 0x0163},
    // ASCII stays itself.
    {0x41, 0x41}, {0x7A, 0x7A}, {0x20, 0x20}, {0x00, 0x00}, {0x7F, 0x7F},
};

TEST(Cp1250, TableMatchesKnownCodePoints) {
  for (const KnownPoint& k : Known) {
    SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << int(k.Byte));
    EXPECT_EQ(Cp1250ToUnicode(k.Byte), k.Code);
    unsigned char back = 0;
    ASSERT_TRUE(UnicodeToCp1250(k.Code, back));
    EXPECT_EQ(back, k.Byte);
  }
}

TEST(Cp1250, UnmappedBytesAreFlaggedAndStillRoundTrip) {
  const unsigned char Unmapped[] = {0x81, 0x83, 0x88, 0x90, 0x98};
  int unmappedCount = 0;
  for (int b = 0; b < 256; ++b) {
    const bool expectedUnmapped = std::find(std::begin(Unmapped), std::end(Unmapped), b) != std::end(Unmapped);
    EXPECT_EQ(Cp1250IsMapped(static_cast<unsigned char>(b)), !expectedUnmapped) << b;
    unmappedCount += !Cp1250IsMapped(static_cast<unsigned char>(b));
    // Every byte survives both directions and both encodings.
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(one)), one) << b;
    EXPECT_EQ(Utf16ToCp1250(Cp1250ToUtf16(one)), one) << b;
  }
  EXPECT_EQ(unmappedCount, 5);
  // No two bytes share a code point.
  for (int a = 0; a < 256; ++a)
    for (int b = a + 1; b < 256; ++b)
      ASSERT_NE(Cp1250ToUnicode(static_cast<unsigned char>(a)), Cp1250ToUnicode(static_cast<unsigned char>(b)));
}

TEST(Cp1250, Utf8TextConversion) {
  const std::string utf8 = "Zażółć gęślą jaźń ¶ €";
  const std::string cp = Utf8ToCp1250(utf8);
  EXPECT_EQ(cp, "Za\xBF\xF3\xB3\xE6 g\xEA\x9C\x6C\xB9 ja\x9F\xF1 \xB6 \x80");
  EXPECT_EQ(Cp1250ToUtf8(cp), utf8);
  EXPECT_EQ(Cp1250ToUtf16(cp), u"Zażółć gęślą jaźń ¶ €");
  EXPECT_EQ(Utf16ToCp1250(u"Zażółć gęślą jaźń ¶ €"), cp);
}

TEST(Cp1250, UnrepresentableAndMalformedInputBecomesQuestionMark) {
  struct Case {
    std::string In;
    std::string Out;
  };
  const Case cases[] = {
      {"\xE4\xB8\xAD", "?"},          // a CJK character
      {"a\xC3", "a?"},                // truncated sequence
      {"\xC0\xAF", "??"},             // overlong '/'
      {"\xED\xA0\x80x", "???x"},      // encoded surrogate
      {"\xF0\x9F\x98\x80!", "?!"},    // emoji (valid, not in the code page)
      {"\xFF", "?"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToCp1250(c.In), c.Out) << c.In;
  EXPECT_FALSE(IsValidUtf8("a\xC3"));
  EXPECT_TRUE(IsValidUtf8("\xC5\xBC\xF0\x9F\x98\x80"));
  EXPECT_EQ(Utf16ToCp1250(std::u16string(u"x\xD800y")), "x?y");
  EXPECT_EQ(Utf16ToCp1250(u"\U0001F600"), "?");
}

TEST(Cp1250, TextInOtherCharacterSets) {
  struct Case {
    const char* Set;
    std::string In;
    std::string Out;
  };
  const Case cases[] = {
      {"UTF-8", "Zażółć ĄŚŹ", "Za\xBF\xF3\xB3\xE6 \xA5\x8C\x8F"},
      {"utf8", "\xC5\x82\xC3", "\xB3?"},  // the last sequence is cut off
      {"ISO-8859-2", "\xB1\xB6\xBC \xA1\xA6\xAC \xB3\xA3", "\xB9\x9C\x9F \xA5\x8C\x8F \xB3\xA3"},
      {"latin2", "\xB1", "\xB9"},
      {"Windows-1250", "\xB9\x9C\x81", "\xB9\x9C\x81"},
      {"windows-1252", "caf\xE9 \x93q\x94 \xF1", "caf\xE9 \x93q\x94 ?"},
      {"KOI8-R", "a\xC1", "a?"},             // a Cyrillic letter: not in the code page
      {"ISO-8859-3", "x\xA5y", "x?y"},       // a byte the set leaves undefined
      {"Shift_JIS", "a\x82", "a?"},          // a double-byte character cut off
  };
  for (const Case& c : cases) {
    std::string Out = "untouched";
    ASSERT_TRUE(CharsetToCp1250(c.In, c.Set, Out)) << c.Set;
    EXPECT_EQ(Out, c.Out) << c.Set;
  }
  // Longer than one conversion buffer.
  std::string Out;
  ASSERT_TRUE(CharsetToCp1250(std::string(5000, '\xB1'), "iso-8859-2", Out));
  EXPECT_EQ(Out, std::string(5000, '\xB9'));
  for (const char* Bad : {"", "no-such-set", "utf-8//TRANSLIT", "latin 2"}) {
    Out = "untouched";
    EXPECT_FALSE(CharsetToCp1250("abc", Bad, Out)) << Bad;
    EXPECT_EQ(Out, "untouched");
  }
}

TEST(Cp1250, CaseMappingOfPolishLetters) {
  const std::string lower = Utf8ToCp1250("ąćęłńóśźżabcšťžľŕ");
  const std::string upper = Utf8ToCp1250("ĄĆĘŁŃÓŚŹŻABCŠŤŽĽŔ");
  EXPECT_EQ(AnsiUpperCase(lower), upper);
  EXPECT_EQ(AnsiLowerCase(upper), lower);
  // The A-Z variants leave the accented letters alone.
  EXPECT_EQ(UpperCase(lower), Utf8ToCp1250("ąćęłńóśźżABCšťžľŕ"));
  EXPECT_EQ(LowerCase(upper), Utf8ToCp1250("ĄĆĘŁŃÓŚŹŻabcŠŤŽĽŔ"));
  // Signs that look like case pairs are not letters: × and ÷, ß and µ have no partner.
  EXPECT_EQ(Cp1250UpCase('\xF7'), '\xF7');
  EXPECT_EQ(Cp1250LoCase('\xD7'), '\xD7');
  EXPECT_EQ(Cp1250UpCase('\xDF'), '\xDF');
  EXPECT_EQ(Cp1250UpCase('\xB5'), '\xB5');
  EXPECT_TRUE(Cp1250IsLetter('\xB3'));
  EXPECT_FALSE(Cp1250IsLetter('\xB6'));
  // Lower-casing undoes every upper-casing.
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const char u = Cp1250UpCase(c);
    if (u != c) {
      EXPECT_EQ(Cp1250LoCase(u), c) << b;
    }
  }
}

}  // namespace

TEST(Cp1250, UnicodeToOtherCodePages) {
  struct Case {
    uint32_t Code;
    int CodePage;
    std::string Expected;
  } cases[] = {
      {'A', 852, "A"},             // ASCII passes through every code page
      {0x0105, 1250, "\xB9"},      // ą
      {0x0105, 0, "\xB9"},         // the system code page is 1250
      {0x0105, 1, "\xA5"},         // the OEM code page is 852
      {0x0105, 852, "\xA5"},
      {0x20AC, 1250, "\x80"},      // €
      {0x4E2D, 1250, "?"},         // not in the code page
      {0x4E2D, 852, "?"},
      {0x0105, 99999, "?"},        // an unknown code page
  };
  for (const Case& c : cases)
    EXPECT_EQ(UnicodeToCodePage(c.Code, c.CodePage), c.Expected) << std::hex << c.Code << " " << c.CodePage;
}
