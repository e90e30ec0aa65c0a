#include "tutor/core/KeybList.h"

#include <gtest/gtest.h>

#include "tutor/core/ResourceNames.h"
#include "tutor/tests/test_archive.h"

namespace {

std::unique_ptr<TStringList> LinesOf(const std::string& Text) {
  auto L = std::make_unique<TStringList>();
  L->SetText(Text);
  return L;
}

TEST(KeysFile, ReadsRectanglesUpToTheFirstLineOfAWrongShape) {
  struct Case {
    const char* Text;
    std::size_t Keys;  // keys read
  } Cases[] = {
      {"1A;10;20;30;40\nEN;100;0;20;10;90;10;30;10\n", 2},
      {"1A;10;20;30;40\nABC;0;0;1;1\n2A;0;0;1;1\n", 1},   // a three-character code ends the file
      {"1A;10;20;30;40\n;0;0;1;1\n2A;0;0;1;1\n", 1},      // so does an empty code
      {"1A;10;20;30;40\n2A;1;x;3;4\n3A;0;0;1;1\n", 1},    // and a number that is not one
      {"1A;10;20;30\n2A;0;0;1;1\n", 0},                  // a missing height is a bad number
      {"1A;1;2;3;4;5;6;7;z\n", 0},                       // in the second rectangle too
      {"1A\n2A;0;0;1;1\n", 2},                           // a key without a rectangle is a key
  };
  for (const Case& C : Cases) EXPECT_EQ(ReadKeysFile(*LinesOf(C.Text)).size(), C.Keys) << C.Text;

  const auto Keys = ReadKeysFile(*LinesOf("1A;10;20;30;40\nEN;100;0;20;10;90;10;30;10\n"));
  ASSERT_EQ(Keys.size(), 2u);
  EXPECT_EQ(Keys[0].Name, "1A");
  EXPECT_EQ((std::vector<int>{Keys[0].Rects[0].Left, Keys[0].Rects[0].Top, Keys[0].Rects[0].Right,
                              Keys[0].Rects[0].Bottom}),
            (std::vector<int>{10, 20, 40, 60}));
  EXPECT_TRUE(Keys[0].Rects[1].Empty());
  EXPECT_EQ(Keys[1].Rects[1].Left, 90);
  EXPECT_EQ(Keys[1].Rects[1].Bottom, 20);
}

TEST(CharsFile, MapsCharactersToOneOrTwoKeysUpToALineOfAWrongLength) {
  const auto Keys = ReadKeysFile(*LinesOf("1A;0;0;10;10\nSP;0;20;100;10\nRA;50;20;10;10\nLS;0;10;10;10\n"));
  // The blank's line is blank, blank, code; a capital Polish letter names its letter and AltGr.
  const auto Chars = ReadCharsFile(
      *LinesOf("a 1A\nA 1A LS\n  SP\n\xA5 1A RA\nq ZZ\nb 1A ZZ\nc 1A\xA0\nd 1A\n"), Keys);
  struct Case {
    char Char;
    int Key1, Key2;
  } Expected[] = {{'a', 0, -1}, {'A', 0, 3}, {' ', 1, -1}, {'\xA5', 0, 2}, {'q', -1, -1}, {'b', 0, -1}};
  // "c 1A" followed by a non-breaking space is five characters long: the file ends there.
  ASSERT_EQ(Chars.size(), std::size(Expected));
  for (std::size_t i = 0; i < Chars.size(); ++i) {
    EXPECT_EQ(Chars[i].Char, Expected[i].Char) << i;
    EXPECT_EQ(Chars[i].Key1, Expected[i].Key1) << i;
    EXPECT_EQ(Chars[i].Key2, Expected[i].Key2) << i;
  }
}

TEST(KeybList, ListsTheLayoutsOfTheArchiveInFileOrder) {
  TTempDir Dir;
  const std::string Zlb = Dir.Write(
      "keyboards.zlb",
      MakeArchive({TTestMember(vx::res::kKeyboardsMember,
                               "Programisty;prog.bmp;prog_f.bmp;prog_keys.txt;prog_chars.txt\r\n"
                               "Maszynistki;typ.bmp;typ_f.bmp;typ_keys.txt;typ_chars.txt\r\n"),
                   TTestMember("prog_keys.txt", "1A;0;0;1;1\r\n")},
                  false));
  TKeybList List(Zlb);
  EXPECT_EQ(List.LoadError(), "");
  ASSERT_EQ(List.Count(), 2);
  EXPECT_EQ(List.Items()->Strings(1), "Maszynistki");
  const TKeybDefItem* P = List.Item(0);
  ASSERT_NE(P, nullptr);
  EXPECT_EQ((std::vector<std::string>{P->Name, P->Image, P->FingersImage, P->KeysFile, P->CharsFile}),
            (std::vector<std::string>{"Programisty", "prog.bmp", "prog_f.bmp", "prog_keys.txt", "prog_chars.txt"}));
  EXPECT_EQ(List.Item(2), nullptr);
  EXPECT_EQ(List.Item(-1), nullptr);
  // The archive stays open for the keyboard picture.
  EXPECT_TRUE(List.Archive()->Active());
  EXPECT_GE(List.Archive()->IndexOf("prog_keys.txt"), 0);
}

TEST(KeybList, AMissingOrBrokenArchiveGivesAnEmptyListWithItsReason) {
  TTempDir Dir;
  for (const std::string& File : {Dir.Path() + "/none.zlb", Dir.Write("bad.zlb", "garbage"),
                                  Dir.Write("empty.zlb", MakeArchive({TTestMember("x.txt", "y")}, false))}) {
    std::unique_ptr<TKeybList> List;
    ASSERT_NO_THROW(List = std::make_unique<TKeybList>(File));
    EXPECT_EQ(List->Count(), 0) << File;
    EXPECT_NE(List->LoadError(), "") << File;
    EXPECT_EQ(List->Item(0), nullptr);
  }
}

}  // namespace
