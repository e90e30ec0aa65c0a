#include <gtest/gtest.h>

#include "dx/dximagelist.h"
#include "games/BomberTowns.h"
#include "games/tests/game_fixture.h"
#include "platform/core/fileutils.h"
#include "tutor/core/tests/install_fixture.h"
#include "tutor/tests/test_archive.h"

namespace {

struct TownsTest : ::testing::Test {
  TTempDir Dir;
  std::string Folder = Dir.Path() + "/";
  void SetUp() override {
    FreeTowns();
    SetProgramFolder(Folder);
  }
  void TearDown() override {
    FreeTowns();
    SetProgramFolder("");
  }
};

}  // namespace

TEST_F(TownsTest, LevelsGiveEachDifficultyItsColumnAndDeltasAsExponents) {
  WriteBomberContent(Folder, {});
  LoadBomberLevels();
  const double SpeedDelta[] = {1.00, 1.10, 1.25};
  const double IntervalDelta[] = {1.00, -0.30, -0.40};
  const int Interval[] = {1000, 1600, 1300};
  for (int D = 1; D <= 3; ++D) {
    const TBomberLevel& L = BomberLevels[static_cast<size_t>(D)];
    EXPECT_DOUBLE_EQ(L.SpeedDelta, SpeedDelta[D - 1]) << D;
    EXPECT_DOUBLE_EQ(L.IntervalDelta, IntervalDelta[D - 1]) << D;
    EXPECT_EQ(L.Interval, Interval[D - 1]) << D;
  }
  EXPECT_DOUBLE_EQ(BomberLevels[1].Speed, 100);
  EXPECT_EQ(BomberLevels[1].LevelCount, 2);
  EXPECT_EQ(BomberLevels[3].BombsMax, 6);
  EXPECT_EQ(BomberLevels[2].MaxTime, 300);
}

TEST_F(TownsTest, ALevelsFileWithAMissingValueIsRefusedAndTheTableKept) {
  WriteBomberContent(Folder, {});
  LoadBomberLevels();
  TBomberContent Broken;
  Broken.Levels = StringReplace(WorkedLevels(), "BombsMax=1,4,6", "BombsMax=1,4", rfReplaceAll);
  WriteBomberContent(Folder, Broken);
  try {
    LoadBomberLevels();
    FAIL() << "no error";
  } catch (const ETownError& E) {
    EXPECT_NE(E.Message().find("BombsMax"), std::string::npos) << E.Message();
  }
  EXPECT_EQ(BomberLevels[3].BombsMax, 6);
}

TEST_F(TownsTest, TownsAreListedInNameOrderWithTheirGroundAndTheDefaultFoundWithoutCase) {
  TBomberContent C;
  C.Config = "TownLibMask=bomber\\towns\\*.zlb\r\nTownInfoFile=info.txt\r\nDefTown=a.ZLB\r\n";
  C.Towns = {{"b.zlb", WorkedTown("Miasto")}, {"A.zlb", WorkedTown("Port")}};
  WriteBomberContent(Folder, C);
  WriteFileBytes(Folder + "bomber/towns/notes.txt", "not a town");
  LoadTowns();
  ASSERT_NE(TownList(), nullptr);
  ASSERT_EQ(TownList()->Count(), 2);
  EXPECT_EQ(TownList()->Strings(0), "Port");
  EXPECT_EQ(TownList()->Strings(1), "Miasto");
  const auto* A = static_cast<const TTownItem*>(TownList()->Objects(0));
  const auto* B = static_cast<const TTownItem*>(TownList()->Objects(1));
  EXPECT_TRUE(A->IsDefault);
  EXPECT_FALSE(B->IsDefault);
  EXPECT_EQ(A->Ground, 500);
  EXPECT_EQ(A->FileName, Folder + "bomber/towns/A.zlb");
  // A second call keeps the list it has.
  C.Towns.clear();
  WriteBomberContent(Folder, C);
  LoadTowns();
  EXPECT_EQ(TownList()->Count(), 2);
}

TEST_F(TownsTest, ATownLaysItsColumnsSideBySideAsWideAsTheirFirstBuilding) {
  TBomberContent C;
  C.Towns = {{"t.zlb", TownArchive("T", "480",
                                   "#,2\r\n\r\n@,c0,100,50\r\nb0.bmp,100,50\r\nb0x.bmp,60,30\r\n"
                                   "@,c1,90,40\r\nb1.bmp,120,20\r\n",
                                   {{"b0.bmp", 400, 100}, {"b0x.bmp", 500, 60}, {"b1.bmp", 400, 100}})}};
  WriteBomberContent(Folder, C);
  LoadTowns();
  TBomberTown Town;
  TPictureCollection Pictures(nullptr);
  LoadTown(Town, &Pictures, 0);
  ASSERT_EQ(Town.ColumnCount, 2);
  EXPECT_EQ(Town.Ground, 480);
  EXPECT_EQ(Town.TotalBuildings, 3);
  EXPECT_EQ(Town.DestroyedBuildings, 0);
  const TTownColumn& C0 = Town.Columns[0];
  const TTownColumn& C1 = Town.Columns[1];
  EXPECT_EQ(C0.Left, 0);
  EXPECT_EQ(C0.Width, 400);  // the wider second building does not change it
  EXPECT_EQ(C1.Left, 400);
  EXPECT_EQ(C0.BuildingCount, 2);
  EXPECT_EQ(C0.RemainingCount, 2);
  EXPECT_EQ(C0.IntactHitLine, 150);
  EXPECT_EQ(C0.HitLine(), 150);
  EXPECT_EQ(C0.BuildingTop[1], 60);
  EXPECT_EQ(C0.BuildingHitLine[1], 90);
  EXPECT_EQ(C1.IntactHitLine, 130);
  EXPECT_EQ(C1.BuildingHitLine[0], 140);
  EXPECT_EQ(C0.BuildingPicture[1]->Name(), "b0x");
  ASSERT_NE(Pictures.ItemByName("background"), nullptr);
  EXPECT_EQ(Pictures.ItemByName("background")->Picture()->Width(), 800);
}

TEST_F(TownsTest, TownsOutsideTheFormatAreRefusedWithAClearErrorAndNothingLoaded) {
  const std::vector<TTestBuilding> B = {{"b.bmp", 400, 100}};
  struct Case {
    const char* Layout;
    const char* Why;
  } Cases[] = {
      {"b.bmp,100,50\r\n#,1\r\n@,c,100,50\r\n", "building before the first column"},
      {"#,1\r\nb.bmp,100,50\r\n@,c,100,50\r\n", "building before the first column"},
      {"#,1\r\n@,c,100,50\r\nb.bmp,1,1\r\nb.bmp,1,1\r\nb.bmp,1,1\r\nb.bmp,1,1\r\nb.bmp,1,1\r\nb.bmp,1,1\r\n"
       "b.bmp,1,1\r\nb.bmp,1,1\r\nb.bmp,1,1\r\nb.bmp,1,1\r\nb.bmp,1,1\r\nb.bmp,1,1\r\n",
       "more than 11 buildings"},
      {"#,0\r\n", "column count must be"},
      {"#,1\r\n@,c,100,50\r\nb.bmp,100,50\r\n@,d,100,50\r\nb.bmp,100,50\r\n", "more columns than"},
      {"#,2\r\n@,c,100,50\r\nb.bmp,100,50\r\n", "2 columns declared, 1 given"},
      {"#,2\r\n@,c,100,50\r\n@,d,100,50\r\nb.bmp,100,50\r\n", "has no building"},
      {"#,1\r\n@,c,100,50\r\n", "has no building"},
      {"@,c,100,50\r\nb.bmp,100,50\r\n", "column before the column count"},
      {"#,1\r\n@,c,1OO,50\r\nb.bmp,100,50\r\n", "not a number"},
      {"#,1\r\n#,1\r\n@,c,100,50\r\nb.bmp,100,50\r\n", "given twice"},
  };
  for (const Case& K : Cases) {
    FreeTowns();
    TBomberContent C;
    C.Towns = {{"t.zlb", TownArchive("Z\xB3" "a", "480", K.Layout, B)}};
    WriteBomberContent(Folder, C);
    LoadTowns();
    TBomberTown Town;
    Town.ColumnCount = 7;
    TPictureCollection Pictures(nullptr);
    try {
      LoadTown(Town, &Pictures, 0);
      ADD_FAILURE() << K.Layout << ": no error";
    } catch (const ETownError& E) {
      EXPECT_NE(E.Message().find(K.Why), std::string::npos) << K.Layout << " -> " << E.Message();
      EXPECT_NE(E.Message().find("Z\xB3" "a"), std::string::npos) << E.Message();
    }
    EXPECT_EQ(Town.ColumnCount, 7) << K.Layout;
  }
}

TEST_F(TownsTest, NoTownsAndBrokenTownArchivesAreErrorsNotEmptyGames) {
  TBomberContent C;
  C.Towns.clear();
  WriteBomberContent(Folder, C);
  LoadTowns();
  ASSERT_NE(TownList(), nullptr);
  EXPECT_EQ(TownList()->Count(), 0);
  TBomberTown Town;
  TPictureCollection Pictures(nullptr);
  EXPECT_THROW(LoadTown(Town, &Pictures, 0), ETownError);
  EXPECT_THROW(LoadTown(Town, &Pictures, -1), ETownError);

  // A town without its layout member: the archive's own error, not a town of no buildings.
  FreeTowns();
  C.Towns = {{"t.zlb", MakeArchive({{"info.txt", "name=T\r\nGround=400\r\n"}}, false)}};
  WriteBomberContent(Folder, C);
  LoadTowns();
  EXPECT_ANY_THROW(LoadTown(Town, &Pictures, 0));
  EXPECT_EQ(Town.TotalBuildings, 0);

  // A non-numeric ground stops the list from being made.
  FreeTowns();
  C.Towns = {{"t.zlb", TownArchive("T", "low", "#,1\r\n@,c,1,1\r\nb.bmp,1,1\r\n", {{"b.bmp"}})}};
  WriteBomberContent(Folder, C);
  EXPECT_THROW(LoadTowns(), ETownError);
  EXPECT_EQ(TownList(), nullptr);
}
