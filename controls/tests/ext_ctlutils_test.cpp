// The shared control routines: built-in pictures, transparent and disabled drawing, text
// shortening, command-line splitting and file-name checks.
#include <memory>
#include <string>

#include "controls/chckfree.h"
#include "controls/ctlutils.h"
#include "controls/glyphs.h"
#include "ext_fixture.h"
#include "controls/vectors.h"
#include "platform/core/fileutils.h"

namespace {

class CtlUtilsTest : public ExtControlTest {};

TEST_F(CtlUtilsTest, BuiltinPicturesHaveTheirSizesAndAKeyedBackground) {
  struct Case {
    const char* Name;
    int W, H;
    bool Mono;
  } Cases[] = {
      {"RXSPINUP", 6, 6, true},       {"RXSPINDOWN", 6, 6, true}, {"W95_HTB", 18, 17, false},
      {"W95_HRL", 10, 8, false},      {"W95_VTB", 38, 9, false},  {"W95_VRL", 8, 10, false},
      {"TRUETYPE_FNT", 20, 12, false}, {"DEVICE_FNT", 20, 12, false}, {"FEDITBMP", 14, 12, false},
  };
  EXPECT_EQ(BuiltinBitmapNames().size(), std::size(Cases));
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::unique_ptr<TBitmap> B(MakeModuleBitmap(C.Name));
    EXPECT_EQ(B->Width(), C.W);
    EXPECT_EQ(B->Height(), C.H);
    EXPECT_EQ(B->Monochrome(), C.Mono);
    int Keyed = 0, Drawn = 0;
    for (int Y = 0; Y < C.H; ++Y)
      for (int X = 0; X < C.W; ++X) (B->PixelColor(X, Y) == (C.Mono ? clWhite : clFuchsia) ? Keyed : Drawn)++;
    EXPECT_GT(Keyed, 0);
    EXPECT_GT(Drawn, 0);
    EXPECT_EQ(B->TransparentColor() & 0xFFFFFF, C.Mono ? clWhite : clFuchsia);
  }
  std::unique_ptr<TBitmap> Lower(MakeModuleBitmap("feditbmp"));
  EXPECT_EQ(Lower->Width(), 14);
  try {
    delete MakeModuleBitmap("NOPE");
    FAIL() << "no error";
  } catch (const EResNotFound& E) {
    EXPECT_EQ(E.Message(), "Resource NOPE not found");
  }
}

TEST_F(CtlUtilsTest, ThumbStripHoldsANormalAndAPressedFrame) {
  std::unique_ptr<TBitmap> H(MakeModuleBitmap("W95_HTB"));
  // Same outline in both frames, a plain face left and a checkered one right.
  for (int Y = 0; Y < 17; ++Y)
    for (int X = 0; X < 9; ++X)
      EXPECT_EQ(H->PixelColor(X, Y) == clFuchsia, H->PixelColor(X + 9, Y) == clFuchsia) << X << "," << Y;
  EXPECT_EQ(H->PixelColor(4, 5), clSilver);
  EXPECT_NE(H->PixelColor(13, 5), H->PixelColor(14, 5));
  EXPECT_EQ(H->PixelColor(4, 16), clBlack);  // the point at the bottom
  std::unique_ptr<TBitmap> V(MakeModuleBitmap("W95_VTB"));
  EXPECT_EQ(V->PixelColor(18, 4), clBlack);  // the point on the right
  EXPECT_EQ(V->PixelColor(18, 0), clFuchsia);
}

TEST_F(CtlUtilsTest, HandCursorsAreRegisteredOnce) {
  RegisterControlCursors();
  RegisterControlCursors();
  EXPECT_TRUE(Screen->HasCursor(crHand));
  EXPECT_TRUE(Screen->HasCursor(crDragHand));
}

TEST_F(CtlUtilsTest, TransparentDrawingLeavesTheKeyColourOut) {
  TBitmap Pic;
  Pic.SetPixelFormat(pf24bit);
  Pic.SetSize(4, 2);
  Pic.Canvas()->Brush()->SetColor(clFuchsia);
  Pic.Canvas()->FillRect(TRect(0, 0, 4, 2));
  Pic.Canvas()->SetPixel(1, 0, clRed);
  Pic.Canvas()->SetPixel(2, 1, clBlue);
  struct Case {
    TColor Transparent;
    bool KeyDrawn;
  } Cases[] = {{clNone, true}, {clDefault, false}, {clFuchsia, false}, {clRed, true}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Transparent);
    TBitmap Dst;
    Dst.SetPixelFormat(pf24bit);
    Dst.SetSize(8, 4);
    Dst.Canvas()->Brush()->SetColor(clWhite);
    Dst.Canvas()->FillRect(TRect(0, 0, 8, 4));
    // Stretched to twice its size; a source rectangle of 0 x 0 means the whole picture.
    DrawTransparentBitmapRect(Dst.Canvas(), 0, 0, 8, 4, TRect(), &Pic, C.Transparent);
    EXPECT_EQ(Dst.PixelColor(2, 0), C.Transparent == clRed ? clWhite : clRed);
    EXPECT_EQ(Dst.PixelColor(3, 1), C.Transparent == clRed ? clWhite : clRed);
    EXPECT_EQ(Dst.PixelColor(5, 3), clBlue);
    EXPECT_EQ(Dst.PixelColor(0, 0), C.KeyDrawn ? clFuchsia : clWhite);
    EXPECT_EQ(Dst.PixelColor(7, 3), C.KeyDrawn ? clFuchsia : clWhite);
  }
  // A monochrome picture keeps its black pixels only.
  std::unique_ptr<TBitmap> Up(MakeModuleBitmap("RXSPINUP"));
  TBitmap Dst;
  Dst.SetPixelFormat(pf24bit);
  Dst.SetSize(6, 6);
  Dst.Canvas()->Brush()->SetColor(clLime);
  Dst.Canvas()->FillRect(TRect(0, 0, 6, 6));
  DrawBitmapTransparent(Dst.Canvas(), 0, 0, Up.get(), clDefault);
  EXPECT_EQ(Dst.PixelColor(0, 0), clLime);
  EXPECT_EQ(Dst.PixelColor(0, 3), clBlack);
  // Part of a picture at its own size.
  DrawBitmapRectTransparent(Dst.Canvas(), 0, 0, TRect(2, 1, 4, 2), Up.get(), clDefault);
  EXPECT_EQ(Dst.PixelColor(0, 0), clBlack);
  EXPECT_EQ(Dst.PixelColor(2, 0), clLime);
}

TEST_F(CtlUtilsTest, DisabledBitmapIsEmbossed) {
  TBitmap Pic;
  Pic.SetPixelFormat(pf24bit);
  Pic.SetSize(4, 4);
  Pic.Canvas()->Brush()->SetColor(clWhite);
  Pic.Canvas()->FillRect(TRect(0, 0, 4, 4));
  Pic.Canvas()->SetPixel(1, 1, clRed);
  std::unique_ptr<TBitmap> D(CreateDisabledBitmap(&Pic, clWhite));
  EXPECT_EQ(D->PixelColor(1, 1), ColorToRGB(clBtnShadow));
  EXPECT_EQ(D->PixelColor(2, 2), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(D->PixelColor(0, 0), ColorToRGB(clBtnFace));
  EXPECT_EQ(D->PixelColor(3, 3), ColorToRGB(clBtnFace));
  std::unique_ptr<TBitmap> NoLight(CreateDisabledBitmapEx(&Pic, clWhite, clFuchsia, clWhite, clGray, false));
  EXPECT_EQ(NoLight->PixelColor(2, 2), clFuchsia);
  EXPECT_EQ(NoLight->PixelColor(1, 1), clGray);
}

TEST_F(CtlUtilsTest, MinimizeTextCutsToTheRoomWithDots) {
  TBitmap B;
  B.SetSize(10, 10);
  TCanvas* C = B.Canvas();
  const std::string Text = "Exercise";
  EXPECT_EQ(MinimizeText(Text, C, C->TextWidth(Text)), Text);
  const int Room = C->TextWidth("Exer");
  const std::string Short = MinimizeText(Text, C, Room);
  ASSERT_GE(Short.size(), 3u);
  EXPECT_EQ(Short.substr(Short.size() - 3), "...");
  EXPECT_LE(C->TextWidth(Short), Room);
  EXPECT_EQ(Text.substr(0, Short.size() - 3), Short.substr(0, Short.size() - 3));
  // One more character would not fit.
  EXPECT_GT(C->TextWidth(Text.substr(0, Short.size() - 2) + "..."), Room);
  EXPECT_EQ(MinimizeText(Text, C, 0), "...");
}

TEST_F(CtlUtilsTest, CommandLineSplitting) {
  struct Case {
    const char* Line;
    const char* Name;
    const char* Params;
  } Cases[] = {
      {"\"C:\\My texts\\a.txt\" second", "C:\\My texts\\a.txt", "second"},
      {"plain", "plain", ""},
      {"   lead  a   b", "lead", "a b"},
      {"\"\" \"\"name x", "name", "x"},
      {"a \"b c\" d", "a", "\"b c\" d"},
      {"pre\"mid dle\"post", "premid dlepost", ""},
      {"\"unterminated quote", "unterminated quote", ""},
      {"", "", ""},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Line);
    std::string Name = "?", Params = "?";
    SplitCommandLine(C.Line, Name, Params);
    EXPECT_EQ(Name, C.Name);
    EXPECT_EQ(Params, C.Params);
  }
}

TEST_F(CtlUtilsTest, FileNameChecks) {
  struct Case {
    const char* Name;
    bool Valid;
  } Cases[] = {{"", false},        {"a|b.txt", false}, {"a<b", false},     {"a>b", false},
               {"a\"b", false},    {"a[1]", false},    {"/tmp/ok.txt", true},
               {"with space", true}};
  for (const Case& C : Cases) EXPECT_EQ(ValidFileName(C.Name), C.Valid) << C.Name;
  EXPECT_TRUE(HasAny("abc", "xc"));
  EXPECT_FALSE(HasAny("abc", "xyz"));
  const std::string Dir = GetTempDir();
  EXPECT_TRUE(DirExists(Dir));
  EXPECT_FALSE(DirExists(JoinPath(Dir, "no-such-folder-xyz")));
  EXPECT_EQ(ShortToLongFileName(Dir), Dir);
  EXPECT_EQ(LongToShortFileName(JoinPath(Dir, "no-such-file-xyz")), "");
}

TEST_F(CtlUtilsTest, SmallHelpers) {
  EXPECT_EQ(Max(-3, 2), 2);
  EXPECT_EQ(Min(-3, 2), -3);
  const TRect R(1, 2, 5, 8);
  EXPECT_EQ(WidthOf(R), 4);
  EXPECT_EQ(HeightOf(R), 6);
  EXPECT_TRUE(PointInRect(TPoint(5, 8), R));
  EXPECT_TRUE(PointInRect(TPoint(1, 2), R));
  EXPECT_FALSE(PointInRect(TPoint(6, 8), R));
  EXPECT_EQ(PaletteColor(clRed), 0x020000FF);
  const std::string Saved = FormatSettings.ShortDateFormat;
  FormatSettings.ShortDateFormat = "dd.mm.yyyy";
  EXPECT_TRUE(FourDigitYear());
  FormatSettings.ShortDateFormat = "dd.mm.yy";
  EXPECT_FALSE(FourDigitYear());
  FormatSettings.ShortDateFormat = Saved;
}

}  // namespace

namespace {

TEST_F(CtlUtilsTest, LeakReportAsksThroughTheMessageBox) {
  const auto Saved = CheckFreeConfirm;
  UseMessageBoxForCheckFree();
  ASSERT_TRUE(CheckFreeConfirm);
  char Tmpl[] = "/tmp/vx-checkfree-XXXXXX";
  const std::string Dir = mkdtemp(Tmpl);
  auto* Alive = new TPointerVector();
  // A box that is not answered with Yes (here: the application is ending) writes nothing.
  Application->Terminate();
  EXPECT_FALSE(CheckFreeReport(Dir));
  EXPECT_FALSE(FileExists(JoinPath(Dir, "free_err.log")));
  delete Alive;
  RemoveDir(Dir);
  CheckFreeConfirm = Saved;
}

}  // namespace
