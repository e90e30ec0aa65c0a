#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "controls/ezrgnbtn.h"
#include "dx/dxdraws.h"
#include "dx/dximagelist.h"
#include "games/GalleryPage.h"
#include "games/GalleryScene.h"
#include "games/GameSelect.h"
#include "games/GameServices.h"
#include "games/MessageSprite.h"
#include "games/TopTen.h"
#include "games/tests/gallery_fixture.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/testing.h"
#include "tutor/translations.h"

namespace {

bool AnyCellOutsideTheGrid(const TGalleryScene* S) {
  const int N = S->Rows * S->Cols;
  return std::any_of(std::begin(S->CellState) + N, std::end(S->CellState), [](uint8_t C) { return C != 0; });
}

}  // namespace

// The worked 2 x 2 game, every random draw 0: words come on cells 1, 2, 3 and then 0, each word
// "as", two seconds to type it.
TEST_F(GallerySceneTest, TheWorkedTwoByTwoGameFromFirstWordToTheTopTenPage) {
  TGalleryScene* S = Start(2, 2);
  ASSERT_NE(S, nullptr) << (Errors.empty() ? "" : Errors.back());
  EXPECT_EQ(Host.Pings.back(), "galeria|asdfjkl;|asdfjkl;");
  EXPECT_EQ(S->State, 3);
  ASSERT_NE(S->Message, nullptr);
  EXPECT_EQ(S->Message->Text(), Translate("press space"));

  Type(" ");
  EXPECT_EQ(S->State, 1);
  EXPECT_EQ(S->Message, nullptr);
  EXPECT_TRUE(S->ClockEnabled());
  ClockTicks(1);
  EXPECT_EQ(S->CurrentCell, -1) << "no word at the first tick";
  ClockTicks(1);
  ASSERT_EQ(S->CurrentCell, 1) << "the first word comes at the second tick, never on cell 0";
  EXPECT_EQ(S->Word, "as");
  EXPECT_EQ(S->TimeLeft, 1900);

  // Typed in half a second: 2 letters x 60000 / 500 ms.
  Tick += 500;
  Type("a");
  EXPECT_EQ(S->Position, 2);
  Type("s");
  EXPECT_DOUBLE_EQ(S->Score, 240);
  EXPECT_EQ(S->CellState[1], 1);
  EXPECT_EQ(S->SpeedText, "300,00");  // one correct key before it in 200 ms of play
  ASSERT_EQ(S->CurrentCell, 2);

  // A wrong key locks for five ticks; the right key meanwhile is ignored; then the cell is lost.
  Type("x");
  EXPECT_EQ(S->Lock, 5);
  Type("a");
  EXPECT_EQ(S->Position, 1);
  ClockTicks(4);
  EXPECT_EQ(S->CellState[2], 0);
  ClockTicks(1);
  EXPECT_EQ(S->CellState[2], 2);
  EXPECT_EQ(S->CellsLost, 1);
  EXPECT_EQ(S->CellsDone, 2);
  ASSERT_EQ(S->CurrentCell, 3);

  // A time-out moves the word on and keeps the cell covered (it may come again: it does here).
  const uint32_t Started = S->WordStart;
  ClockTicks(20);
  EXPECT_EQ(S->WordStart, Started);
  ClockTicks(1);
  EXPECT_NE(S->WordStart, Started);
  EXPECT_EQ(S->CellState[3], 0);
  EXPECT_EQ(S->CellsDone, 2);
  EXPECT_EQ(S->CurrentCell, 3);

  Tick += 1000;
  Type("as");
  ASSERT_EQ(S->CurrentCell, 0);
  Tick += 600;
  Type("as");
  EXPECT_EQ(S->State, 4);
  EXPECT_DOUBLE_EQ(S->Score, 240 + 120 + 200);
  EXPECT_EQ(S->Percent(), 75);
  EXPECT_FALSE(S->ClockEnabled());
  EXPECT_EQ(GalleryRows(), std::vector<std::string>{std::to_string(Student) + "|560"});

  // The title bar slides in to y 24 and stays.
  Frames(70);
  EXPECT_GE(S->TitleY, 24);
  EXPECT_LT(S->TitleY, 24.8);

  Press(VK_RETURN);
  ASSERT_FALSE(Host.Shown.empty());
  EXPECT_EQ(Host.Shown.back(), TPageId::GalleryTopTen);
  auto* Page = dynamic_cast<TGalleryTopTenForm*>(Host.FindPage(TPageId::GalleryTopTen));
  ASSERT_NE(Page, nullptr);
  EXPECT_EQ(Page->ScoreLabel->Caption(), "560");
  EXPECT_EQ(NextExerciseCalls, 1);
  EXPECT_EQ(Host.ReturnShown, 0);
  vxtest::Pump();
  EXPECT_EQ(GalleryScene, nullptr) << "the scene frees itself after leaving";
  EXPECT_EQ(GalleryRows().size(), 1u);
}

// After a finished game nothing of it may reach the next: a repeat followed by a wrong first
// letter (which starts the game) must neither lock a stale word nor write a cell outside the grid.
TEST_F(GallerySceneTest, ARepeatAfterAFinishedGameStartsCleanAndWritesOnlyInsideTheGrid) {
  TGalleryScene* S = Start(2, 1);
  ASSERT_NE(S, nullptr);
  Type(" ");
  ClockTicks(2);
  Type("as");
  Type("as");
  ASSERT_EQ(S->State, 4);
  ASSERT_EQ(S->CurrentCell, -1);

  S->RepeatButton->OnClick(S->RepeatButton);
  EXPECT_EQ(S->State, 3);
  Type("x");
  EXPECT_EQ(S->State, 1) << "any letter starts the game";
  EXPECT_EQ(S->Lock, 0) << "there is no word yet to be wrong about";
  ClockTicks(5);
  EXPECT_EQ(S->CellsDone, 0);
  EXPECT_EQ(S->CellsLost, 0);
  EXPECT_FALSE(AnyCellOutsideTheGrid(S));
  // The new game's first word came at its second tick, on cell 1.
  ASSERT_EQ(S->CurrentCell, 1);
  Type("as");
  EXPECT_EQ(S->CellState[1], 1);
  EXPECT_FALSE(AnyCellOutsideTheGrid(S));
  EXPECT_EQ(GalleryRows().size(), 1u) << "only the first game was saved";
}

// With 27 columns the cells are 26 wide and the 728-wide picture holds 28 of them per row: each
// cell must still show the part of the picture under it, on both rows.
TEST_F(GallerySceneTest, EveryCellOfATwentySevenColumnGridShowsThePictureUnderIt) {
  TGalleryScene* S = Start(27, 2);
  ASSERT_NE(S, nullptr);
  ASSERT_EQ(S->CellWidth, 26);
  for (int I = 0; I < 27; ++I) S->CellState[I] = 1;  // the first row uncovered
  Frames(1);
  TDirectDrawSurface* Screen = Host.DX->Surface();
  ASSERT_NE(Screen, nullptr);
  auto Shows = [&](int X, int Y) {  // picture coordinates
    return Screen->Pixels(36 + X, 38 + Y) == Screen->ColorMatch(GalleryPixel(X, Y));
  };
  for (int C = 0; C < 27; ++C)
    for (int Y : {0, 121, 242}) {
      EXPECT_TRUE(Shows(C * 26, Y)) << "cell " << C << " y " << Y;
      EXPECT_TRUE(Shows(C * 26 + 25, Y)) << "cell " << C << " y " << Y;
      EXPECT_EQ(Screen->Pixels(36 + C * 26 + 5, 38 + 243 + Y), 0u) << "the second row is still covered";
    }
  for (int I = 27; I < 54; ++I) S->CellState[I] = 1;
  Frames(1);
  for (int C = 0; C < 27; ++C)
    for (int Y : {243, 400, 485}) {
      EXPECT_TRUE(Shows(C * 26, Y)) << "cell " << 27 + C << " y " << Y;
      EXPECT_TRUE(Shows(C * 26 + 25, Y)) << "cell " << 27 + C << " y " << Y;
    }
  // Past the grid's 702 pixels the window stays black.
  EXPECT_EQ(Screen->Pixels(36 + 710, 38 + 10), 0u);
}

TEST_F(GallerySceneTest, FewerThanThirtyWordsRefuseTheGameWithTheMessage) {
  WordList.assign(29, "as");
  EXPECT_EQ(Start(2, 2), nullptr);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], Translate("ERR003"));
  EXPECT_EQ(GalleryScene, nullptr);
  // No hook is left: keys typed now reach nobody's game.
  Type(" x");
  vxtest::Pump();
  EXPECT_TRUE(GalleryRows().empty());
}

// Leaving during the lock after a wrong key: the clock stops with the game, so the pending loss
// cannot finish the last cell and save a score after the player left.
TEST_F(GallerySceneTest, LeavingStopsTheClockSoNothingCountsOrSavesAfterwards) {
  TGalleryScene* S = Start(1, 1);
  ASSERT_NE(S, nullptr);
  Type(" ");
  ClockTicks(2);
  ASSERT_EQ(S->CurrentCell, 0);
  Type("x");
  ASSERT_EQ(S->Lock, 5);
  Press(VK_ESCAPE);
  EXPECT_TRUE(S->Exited());
  EXPECT_FALSE(S->ClockEnabled());
  EXPECT_FALSE(S->Clock->Enabled());
  EXPECT_EQ(Host.ReturnShown, 1);
  EXPECT_EQ(NextExerciseCalls, 1);
  ClockTicks(6);
  EXPECT_EQ(S->CellsDone, 0);
  EXPECT_NE(S->State, 4);
  EXPECT_TRUE(GalleryRows().empty());
  vxtest::Pump();
  EXPECT_EQ(GalleryScene, nullptr);
}

// Grid sizes from the settings are kept to 1..29 cells a side.
TEST_F(GallerySceneTest, TheGridIsKeptToOneToTwentyNineCellsASide) {
  struct Case {
    int ColCnt, RowCnt, Cols, Rows, CellWidth, CellHeight;
  } Cases[] = {{40, 30, 29, 29, 25, 16}, {0, -3, 1, 1, 728, 486}, {27, 2, 27, 2, 26, 243}, {4, 3, 4, 3, 182, 162}};
  for (const Case& C : Cases) {
    TGalleryScene* S = Start(C.ColCnt, C.RowCnt);
    ASSERT_NE(S, nullptr) << C.ColCnt;
    EXPECT_EQ(S->Cols, C.Cols) << C.ColCnt;
    EXPECT_EQ(S->Rows, C.Rows) << C.RowCnt;
    EXPECT_EQ(S->CellWidth, C.CellWidth) << C.ColCnt;
    EXPECT_EQ(S->CellHeight, C.CellHeight) << C.RowCnt;
  }
}

// A word typed within the clock's resolution still scores a finite number.
TEST_F(GallerySceneTest, AWordTypedInNoMeasurableTimeScoresAsOneMillisecond) {
  TGalleryScene* S = Start(1, 1);
  ASSERT_NE(S, nullptr);
  Type(" ");
  ClockTicks(2);
  ASSERT_EQ(S->CurrentCell, 0);
  Type("as");
  EXPECT_EQ(S->State, 4);
  EXPECT_DOUBLE_EQ(S->Score, 2 * 60000.0);
  EXPECT_EQ(GalleryRows(), std::vector<std::string>{std::to_string(Student) + "|120000"});
}

// From the games page: its gallery lists, its start with the page's letters, a game played to
// the end and the top-ten page with the score.
TEST_F(GallerySceneTest, FromTheGamesPageThroughAGameToTheTopTenPage) {
  Content();
  WriteGalleryContent(Inst->Path(), GalleryXml({{"pierwszy", 1000, 2, 1, 300, 60}, {"drugi", 1000, 1, 1, 300, 60}}, 1));
  InstallGalleryPage();
  GalleryPageTimers = {&TimerHost, false};
  auto Page = std::make_unique<TGameSelectForm>(nullptr);
  Page->SetParent(Host.Form);
  Page->Show();
  ASSERT_EQ(Page->ComboBox4->Items()->Count(), 2);
  EXPECT_EQ(Page->ComboBox4->ItemIndex(), 1);
  EXPECT_EQ(Page->ComboBox1->Items()->Strings(Page->ComboBox1->ItemIndex()), "Pr\xF3" "ba");
  Page->ComboBox4->SetItemIndex(0);
  Page->Button2Click(nullptr);
  TGalleryScene* S = GalleryScene;
  ASSERT_NE(S, nullptr) << (Errors.empty() ? "" : Errors.back());
  EXPECT_EQ(S->Cols, 2);
  EXPECT_EQ(S->AllowedLetters, "easdfjkl;");
  EXPECT_EQ(S->PreferredLetters, "asdfjkle");
  EXPECT_FALSE(Page->Visible());
  EXPECT_EQ(Host.Return, Page.get());

  Type(" ");
  ClockTicks(2);
  Tick += 400;
  Type("as");
  Tick += 400;
  Type("as");
  ASSERT_EQ(S->State, 4);
  Press(VK_RETURN);
  ASSERT_FALSE(Host.Shown.empty());
  EXPECT_EQ(Host.Shown.back(), TPageId::GalleryTopTen);
  auto* Top = dynamic_cast<TGalleryTopTenForm*>(Host.FindPage(TPageId::GalleryTopTen));
  ASSERT_NE(Top, nullptr);
  EXPECT_EQ(Top->ScoreLabel->Caption(), "600");
  EXPECT_EQ(GalleryRows(), std::vector<std::string>{std::to_string(Student) + "|600"});
  GalleryPageTimers = {};
  FillGalleryLists = nullptr;
  StartGalleryFromPage = nullptr;
}

// A course goes on from the end of a game: its next step may start the next game from inside the
// ending one, while that scene waits to be freed; the new game runs on.
TEST_F(GallerySceneTest, TheNextCourseStepCanStartTheNextGameFromTheEndOfTheLast) {
  TGalleryScene* First = Start(1, 1);
  ASSERT_NE(First, nullptr);
  int Steps = 0;
  GameNextExercise = [&] {
    ++Steps;
    if (Steps == 1) {
      EXPECT_TRUE(StartGalleryCourseStep("asdf", "as", 1, &TimerHost, false));
    }
  };
  Press(VK_ESCAPE);
  TGalleryScene* Second = GalleryScene;
  ASSERT_NE(Second, nullptr);
  EXPECT_NE(Second, First);
  vxtest::Pump();
  EXPECT_EQ(GalleryScene, Second) << "the new game runs on";
  Type(" ");
  EXPECT_EQ(Second->State, 1);
  Press(VK_ESCAPE);
  vxtest::Pump();
  EXPECT_EQ(GalleryScene, nullptr);
  EXPECT_EQ(Steps, 2);
}

// A theme without picture lines is refused with a message; a title bar too narrow for its three
// pieces is left out while the game ends as usual.
TEST_F(GallerySceneTest, AThemeWithoutPicturesIsRefusedAndATooNarrowTitleBarIsLeftOut) {
  TGalleryContentOptions NoPictures;
  NoPictures.Titles = "#ThemeName=Pusty\r\n# p1.bmp=no\r\n";
  EXPECT_EQ(Start(2, 2, 1000, NoPictures), nullptr);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find("has no pictures"), std::string::npos) << Errors[0];
  EXPECT_EQ(GalleryScene, nullptr);

  TGalleryContentOptions NarrowBar;
  NarrowBar.BarWidth = 2;
  TGalleryScene* S = Start(1, 1, 1000, NarrowBar);
  ASSERT_NE(S, nullptr);
  Type(" ");
  ClockTicks(2);
  Type("as");
  ASSERT_EQ(S->State, 4);
  Frames(40);
  EXPECT_GT(S->TitleY, 0);
  Press(VK_RETURN);
  EXPECT_EQ(Host.Shown.back(), TPageId::GalleryTopTen);
}
