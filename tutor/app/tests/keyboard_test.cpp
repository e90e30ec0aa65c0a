#include "tutor/app/Keyboard.h"

#include <gtest/gtest.h>

#include "controls/blend32.h"
#include "platform/gui/testing.h"
#include "tutor/tests/test_archive.h"

namespace {

// A 24-bit BMP whose pixel (x, y) is Color(x, y) (0xRRGGBB).
template <class F>
std::string Bmp(int W, int H, F Color) {
  const int Row = (W * 3 + 3) / 4 * 4;
  std::string B(54 + static_cast<std::size_t>(Row * H), '\0');
  auto Put = [&](std::size_t At, uint32_t V, int N) {
    for (int i = 0; i < N; ++i) B[At + static_cast<std::size_t>(i)] = static_cast<char>((V >> (8 * i)) & 0xFF);
  };
  B[0] = 'B', B[1] = 'M';
  Put(2, static_cast<uint32_t>(B.size()), 4);
  Put(10, 54, 4);
  Put(14, 40, 4);
  Put(18, static_cast<uint32_t>(W), 4);
  Put(22, static_cast<uint32_t>(H), 4);
  Put(26, 1, 2);
  Put(28, 24, 2);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) Put(54 + static_cast<std::size_t>((H - 1 - Y) * Row + X * 3), Color(X, Y), 3);
  return B;
}

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = new TForm(Application);
    Form->SetBounds(0, 0, 200, 100);
    Kb = new TKeyboard(Form);
    Kb->SetParent(Form);
    Kb->SetBounds(0, 0, 100, 50);  // larger than the picture: the rest is background
    Form->Show();
    vxtest::Pump();
    const std::string File = Dir.Write(
        "keyboards.zlb",
        MakeArchive({TTestMember("plain.bmp", Bmp(64, 32, [](int X, int Y) { return uint32_t(X * 4) << 16 | uint32_t(Y * 8) << 8 | 0x40; })),
                     TTestMember("keys.txt",
                                 "1A;4;4;8;8\r\nRA;20;4;8;8;40;4;4;4\r\nXX;56;24;30;30\r\nNG;10;10;-5;4\r\n"
                                 "FA;-10;-10;14;14\r\n"),
                     TTestMember("chars.txt", "a 1A\r\n\xA5 1A RA\r\nz XX\r\nn NG\r\nf FA\r\n")},
                    false));
    ASSERT_TRUE(Archive.OpenArchive(File));
    ASSERT_TRUE(Kb->LoadKeyboard(&Archive, "plain.bmp", "keys.txt", "chars.txt"));
    Kb->Paint();
    Plain = Snapshot();
  }
  void TearDown() override { delete Form; }

  std::vector<TColor32> Snapshot() {
    Kb->Paint();
    const TBitmap32* B = Kb->Buffer();
    return std::vector<TColor32>(B->Bits(), B->Bits() + B->Width() * B->Height());
  }
  // The pixels that differ from the plain picture must be exactly those inside Rects, each the
  // plain pixel blended with the highlight colour.
  void ExpectTinted(const std::vector<TKeyRect>& Rects) {
    const auto Now = Snapshot();
    const int W = Kb->Buffer()->Width(), H = Kb->Buffer()->Height();
    int Tinted = 0;
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) {
        bool In = false;
        for (const TKeyRect& R : Rects) In |= X >= R.Left && X < R.Right && Y >= R.Top && Y < R.Bottom;
        TColor32 Want = Plain[static_cast<std::size_t>(Y * W + X)];
        if (In) {
          MixColorInto(Kb->HighlightColor, Want, Kb->HighlightColor >> 24);
          ++Tinted;
        }
        ASSERT_EQ(Now[static_cast<std::size_t>(Y * W + X)], Want) << X << "," << Y;
      }
    EXPECT_GT(Tinted, 0);
  }

  TTempDir Dir;
  TZLBArchive Archive;
  TForm* Form = nullptr;
  TKeyboard* Kb = nullptr;
  std::vector<TColor32> Plain;
};

TEST_F(KeyboardTest, HighlightBlendsNavyOverTheKeysOfTheCharacter) {
  ASSERT_EQ(Kb->Keys.size(), 5u);
  ASSERT_EQ(Kb->Chars.size(), 5u);
  Kb->HighlightChar('a');
  ExpectTinted({{4, 4, 12, 12}});
  // A capital Polish letter: its letter key and AltGr (both rectangles of it).
  Kb->HighlightChar('\xA5');
  ExpectTinted({{4, 4, 12, 12}, {20, 4, 28, 12}, {40, 4, 44, 8}});
  // A character the layout does not have keeps the highlight.
  Kb->HighlightChar('Q');
  ExpectTinted({{4, 4, 12, 12}, {20, 4, 28, 12}, {40, 4, 44, 8}});
}

TEST_F(KeyboardTest, RectanglesAreClippedToThePicture) {
  Kb->HighlightChar('z');  // reaches past the picture's right and bottom edges
  ExpectTinted({{56, 24, 64, 32}});
  Kb->HighlightChar('f');  // starts above and left of it
  ExpectTinted({{0, 0, 4, 4}});
  Kb->HighlightChar('n');  // a negative width tints nothing
  EXPECT_EQ(Snapshot(), Plain);
}

TEST_F(KeyboardTest, MissingMembersLeaveAnEmptyPictureAndNoHighlight) {
  EXPECT_FALSE(Kb->LoadKeyboard(&Archive, "none.bmp", "nokeys.txt", "nochars.txt"));
  EXPECT_TRUE(Kb->Keys.empty());
  EXPECT_TRUE(Kb->Chars.empty());
  Kb->HighlightChar('a');
  EXPECT_EQ(Kb->Current, -1);
  EXPECT_NO_THROW(Kb->Paint());
  EXPECT_FALSE(Kb->LoadKeyboard(nullptr, "plain.bmp", "keys.txt", "chars.txt"));
}

}  // namespace
