#include "tools/cp1250-text/textconv.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(StoredText, ConvertsPolishLettersAndLineEnds) {
  struct Case {
    const char* Source;
    const char* Stored;
  } cases[] = {
      {"za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\n", "za\xBF\xF3\xB3\xE6\r\n"},          // żółć, LF
      {"\xC4\x84\xC5\x9A\r\nb", "\xA5\x8C\r\nb"},                                   // CR LF kept, no final end
      {"\xEF\xBB\xBF" "a\n\n", "a\r\n\r\n"},                                         // mark dropped, empty line kept
      {"\xC2\xB6  SP\n", "\xB6  SP\r\n"},                                            // pilcrow, trailing blanks
  };
  for (const Case& c : cases) EXPECT_EQ(textconv::Utf8ToStoredText(c.Source, "t"), c.Stored) << c.Source;
}

TEST(StoredText, RefusesWhatTheCodePageCannotHoldNamingTheLine) {
  for (const char* bad : {"ok\n\xE2\x82\xAC\xE2\x98\x83\n", "ok\n\xC3\x28\n", "ok\na\rb\n"}) {
    try {
      textconv::Utf8ToStoredText(bad, "f.txt");
      ADD_FAILURE() << "accepted " << bad;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("f.txt, line 2"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
