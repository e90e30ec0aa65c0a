#include <gtest/gtest.h>

#include <memory>

#include "htmlview/htmlfonts.h"

namespace {

TEST(HtmlFonts, FontsFromProperties) {
  FontAvailable = nullptr;
  TProperties P;
  P.Props[FontFamily] = std::string("serif");
  P.Props[FontSize] = 13.6;
  P.Props[FontWeight] = std::string("bold");
  P.Props[TextDecoration] = std::string("underline");
  P.Props[Color] = 0x020000FF;
  P.BackgroundColorField = 0x0200FF00;
  P.AssignCharSet(238);
  std::unique_ptr<TMyFont> A(P.GetFont()), B(P.GetFont());
  ASSERT_NE(A.get(), B.get());
  EXPECT_EQ(A->Name(), "Times New Roman");
  EXPECT_EQ(A->Size(), 14);
  EXPECT_EQ(A->Style(), fsBold | fsUnderline);
  EXPECT_EQ(A->Color() & 0xFFFFFF, 0x0000FF);
  EXPECT_EQ(A->Charset(), 238);
  EXPECT_EQ(A->bgColor, 0x0200FF00);
  EXPECT_EQ(B->Name(), A->Name());
  EXPECT_EQ(B->Size(), A->Size());
  EXPECT_EQ(B->Style(), A->Style());
  // A changed property builds a new font.
  P.AssignByName("font-style", "italic");
  std::unique_ptr<TMyFont> C(P.GetFont());
  EXPECT_EQ(C->Style(), fsBold | fsItalic | fsUnderline);
}

TEST(HtmlFonts, FarEastCharacterSetValues) {
  struct {
    int Set;
    std::array<int, 8> Values;
  } const Cases[] = {
      {128, {0, 0, 0, 0, -2, 0, 0, 0}},
      {129, {0, 0, 0, 0, 0, -2, -1, 2147483647}},
      {136, {0, 0, 0, 0, -2, -1, -1, 2147483647}},
      {238, {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& C : Cases) {
    ThtFontInfo I;
    I.iName = "Arial";
    I.iSize = 10;
    I.iCharSet = static_cast<uint8_t>(C.Set);
    std::unique_ptr<TMyFont> F(FontFromInfo(I));
    EXPECT_EQ(F->CharSets, C.Values) << C.Set;
    TMyFont Copy;
    Copy.Assign(*F);
    EXPECT_EQ(Copy.CharSets, C.Values);
  }
}

TEST(HtmlFonts, InstalledFamiliesDecide) {
  UseInstalledFonts();
  EXPECT_EQ(FirstAvailableFont("'No Such Family Here', monospace"), "Courier New");
  EXPECT_EQ(FirstAvailableFont("No Such Family, Another Missing One"), "");
  FontAvailable = nullptr;
}

}  // namespace
