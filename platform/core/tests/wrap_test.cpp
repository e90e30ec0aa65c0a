#include <gtest/gtest.h>

#include "platform/core/sysutils.h"

namespace {

// Lines written with '|' where the routine must put CR LF.
std::string Bars(std::string S) { return StringReplace(S, "|", "\r\n", rfReplaceAll); }

TEST(WrapText, BreaksAfterTheBreakCharacter) {
  struct Case {
    const char* Line;
    int MaxCol;
    const char* Expected;
  };
  const Case cases[] = {
      // Fits: unchanged.
      {"ala ma kota", 11, "ala ma kota"},
      {"", 5, ""},
      // The blank stays at the end of the upper line.
      {"ala ma kota", 10, "ala ma |kota"},
      {"ala ma kota", 6, "ala ma |kota"},
      {"ala ma kota", 5, "ala |ma |kota"},
      // Punctuation is a break character too, and stays on the upper line.
      {"abc,def", 5, "abc,|def"},
      {"tak!nie?dobrze.", 6, "tak!|nie?|dobrze."},
      // Punctuation exactly at the limit, followed by a blank and a word.
      {"abcd, ef", 5, "abcd, |ef"},
      // A blank that would overflow hangs at the end of the line.
      {"aaaa bbbb cc", 9, "aaaa bbbb |cc"},
      {"aaaa    bbbb", 6, "aaaa    |bbbb"},
      // Trailing blanks never cause a break.
      {"abcde     ", 5, "abcde     "},
      // A word longer than the width is not cut; the break comes after it.
      {"abcdefghij kl", 4, "abcdefghij |kl"},
      {"ab abcdefghij kl", 4, "ab |abcdefghij |kl"},
      // Punctuation that overflows after a long word with no earlier break: no cut.
      {"abcde,fg", 5, "abcde,|fg"},
      // Tabs are break characters and blanks.
      {"ab\tcd\tef", 5, "ab\tcd\t|ef"},
      // Existing line breaks restart the count.
      {"abc def\r\nghi jkl", 7, "abc def\r\nghi jkl"},
      {"abc def\nghi jkl mno", 7, "abc def\nghi jkl |mno"},
      // Width below one counts as one: every word on its own line.
      {"a b c", 0, "a |b |c"},
  };
  for (const Case& c : cases) EXPECT_EQ(WrapText(c.Line, c.MaxCol), Bars(c.Expected)) << "[" << c.Line << "] " << c.MaxCol;
}

TEST(WrapText, NoLineExceedsTheWidthUnlessAWordDoes) {
  const std::string text =
      "Litwo! Ojczyzno moja! ty jestes jak zdrowie. Ile cie trzeba cenic, ten tylko sie dowie, kto cie stracil.";
  for (int width = 1; width <= 60; ++width) {
    const std::string wrapped = WrapText(text, width);
    // Only line breaks were added.
    EXPECT_EQ(StringReplace(wrapped, "\r\n", "", rfReplaceAll), text);
    std::size_t start = 0;
    while (start <= wrapped.size()) {
      std::size_t end = wrapped.find("\r\n", start);
      if (end == std::string::npos) end = wrapped.size();
      const std::string line = TrimRight(wrapped.substr(start, end - start));
      if (static_cast<int>(line.size()) > width) {
        // Only a single word may overrun (it may carry its punctuation).
        const std::string core = line.substr(0, line.size() - 1);
        EXPECT_EQ(core.find(' '), std::string::npos) << "width " << width << ": [" << line << "]";
      }
      start = end + 2;
    }
  }
}

TEST(WrapText, CustomBreakStringAndCharacters) {
  EXPECT_EQ(WrapText("a-b-c-d", "<br>", "-", 3), "a-<br>b-<br>c-d");
  EXPECT_EQ(WrapText("a b-c", "\n", "-", 2), "a b-\nc");
}

}  // namespace
