#include "tools/kbdgen/kbdgen.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace {

// A small layout with every kind of key: letters with and without Polish letters on both hands,
// a mark with its shifted sign, and the named keys.
const char* kLayout =
    "picture 200 90\nmargin 5 5\nrowheight 40\ngap 4\n"
    "row\nkey AK 1 L5 a A ą Ą\nkey SK 1 L4 s\nkey LK 1 R4 l L ł Ł\nkey SC 1 R5 ; :\nkey EN 2 R5\nlabel EN Enter\n"
    "row\nkey LS 2 L5\nkey SP 6 TH\nkey RA 1 TH\nkey RS 2 R5\n";

std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < Text.size()) {
    const size_t end = Text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
    out.push_back(Text.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

TEST(KeyboardGenerator, CharsFileFollowsTheModifierConventions) {
  const std::vector<std::string> lines = Lines(kbd::CharsFile(kbd::ReadLayout(kLayout)));
  const std::set<std::string> got(lines.begin(), lines.end());
  for (const char* want : {"  SP", "\xB6 EN", "a AK", "A AK RS", "L LK LS", ": SC LS", "\xB9 AK RA", "\xA5 AK RA",
                           "\xB3 LK RA", "\xA3 LK RA", "S SK RS"})
    EXPECT_TRUE(got.count(want)) << want;
  for (const std::string& l : lines) EXPECT_TRUE(l.size() == 4 || l.size() == 7) << "[" << l << "]";
  EXPECT_EQ(lines[0], "  SP");  // the blank line comes first, before anything could end the file
}

TEST(KeyboardGenerator, KeyRectanglesTileTheRowsInsideThePicture) {
  const kbd::Layout l = kbd::ReadLayout(kLayout);
  const std::vector<std::string> keys = Lines(kbd::KeysFile(l));
  ASSERT_EQ(keys.size(), 9u);
  int lastRight = -1, lastTop = -1;
  for (const std::string& line : keys) {
    std::istringstream in(line);
    std::string code;
    std::getline(in, code, ';');
    EXPECT_EQ(code.size(), 2u);
    int v[4];
    char sep;
    in >> v[0] >> sep >> v[1] >> sep >> v[2] >> sep >> v[3];
    EXPECT_GE(v[0], 0);
    EXPECT_LE(v[0] + v[2], 200) << line;
    EXPECT_LE(v[1] + v[3], 90) << line;
    if (v[1] == lastTop) {
      EXPECT_GT(v[0], lastRight) << "keys of a row overlap: " << line;
    }
    lastTop = v[1];
    lastRight = v[0] + v[2];
  }
  // The picture draws the same rectangles it describes.
  const std::string svg = kbd::Picture(l, kbd::ReadTheme(
      "key_face=#fff\nkey_edge=#000\nkey_text=#000\nkey_polish=#f00\nkey_radius=4\nkeyboard_back=#ccc\n"
      "key_font_family=DejaVu Sans\nkey_font_size=12\nfinger_l5=#f00\nfinger_l4=#0f0\nfinger_r4=#00f\n"
      "finger_r5=#ff0\nfinger_thumb=#999\n"), true);
  EXPECT_NE(svg.find("fill=\"#f00\""), std::string::npos);
  EXPECT_NE(svg.find(">Enter<"), std::string::npos);
}

TEST(KeyboardGenerator, RefusesLayoutsThatWouldMisleadTheLesson) {
  const std::string head = "picture 200 90\nmargin 5 5\nrowheight 40\ngap 4\nrow\n";
  const std::string named = "key EN 1 R5\nkey LS 1 L5\nkey RS 1 R5\nkey RA 1 TH\nkey SP 1 TH\n";
  for (const std::string& bad : {
           head + "key A 1 L5 a\n" + named,                        // code not two characters
           head + "key AK 1 L5 a\nkey AK 1 L5 b\n" + named,         // code twice
           head + "key AK 1 L5 a\nkey BK 1 L5 a\n" + named,         // character on two keys
           head + "key AK 1 L5 \xE2\x82\xAC\xE2\x82\xAC\n" + named, // not one character
           head + "key AK 1 L9 a\n" + named,                        // unknown finger
           head + "key AK 12 L5 a\n" + named,                       // row wider than the picture
           head + "key AK 1 L5 a\nkey EN 1 R5\n",                   // no Shift, AltGr or blank
       })
    EXPECT_THROW(kbd::ReadLayout(bad), std::runtime_error) << bad;
}

}  // namespace
