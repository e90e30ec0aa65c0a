#include "tutor/core/Levels.h"

#include <gtest/gtest.h>

#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"
#include "tutor/tests/test_archive.h"

namespace {

// The error log of these tests goes to a folder of their own.
class LevelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ELogger) {
      OldFolder = ELogger->LogFolder();
      ELogger->SetLogFolder(Dir.Path() + "/");
    }
  }
  void TearDown() override {
    if (ELogger) ELogger->SetLogFolder(OldFolder);
  }
  TTempDir Dir;
  std::string OldFolder;
};

const char* const kLevels =
    "acc1=-1,90,slabo,a\r\n"
    "acc2=90,98.5,dobrze,b\r\n"
    "acc3=98.5,100,bardzo dobrze,c\r\n"
    "acc4=100,-1,bezb\xB3\xEA" "dnie,d\r\n"
    "cpm1=-1,60,wolno,\r\n"
    "cpm2=60,120.25,srednio,\r\n"
    "cpm3=120.25,-1,szybko,\r\n";

TEST_F(LevelsTest, ValuesFallIntoTheFirstMatchingLevel) {
  const std::string Zlb = Dir.Write("vx.zlb", MakeArchive({TTestMember(vx::res::kLevelsMember, kLevels)}, false));
  ASSERT_EQ(LoadLevelsFrom(Zlb), "");
  struct Case {
    double Value;
    int Accuracy, Speed;
  } Cases[] = {
      {0, 1, 1},       {89.99, 1, 2},  {90, 2, 2},   {98.49, 2, 2},
      {98.5, 3, 2},    {99.99, 3, 2},  {100, 4, 2},  {120.25, 4, 3},
      {5000, 4, 3},    {-7, 1, 1},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(AccuracyLevel(C.Value), C.Accuracy) << C.Value;
    EXPECT_EQ(SpeedLevel(C.Value), C.Speed) << C.Value;
  }
  // Levels 5..10 of accuracy were not in the file: never matched, no entry to read.
  EXPECT_EQ(AccuracyLevelOf(5), nullptr);
  EXPECT_EQ(AccuracyLevelOf(-1), nullptr);
  ASSERT_NE(AccuracyLevelOf(4), nullptr);
  EXPECT_EQ(AccuracyLevelOf(4)->Text1, "bezb\xB3\xEA" "dnie");
  EXPECT_EQ(AccuracyLevelOf(2)->Text2, "b");
  EXPECT_DOUBLE_EQ(SpeedLevelOf(2)->High, 120.25);
}

TEST_F(LevelsTest, ATableStopsAtAMissingKeyOrABadNumber) {
  TStringList Lines;
  Lines.SetText("acc1=0,50,a,a\nacc2=50,x,b,b\nacc3=60,-1,c,c\ncpm1=0,10,a,a\ncpm3=10,-1,c,c\n");
  EXPECT_NE(LoadLevelsFromLines(Lines), "");  // the bad number is reported
  EXPECT_EQ(AccuracyLevel(10), 1);
  EXPECT_EQ(AccuracyLevel(70), -1);  // acc2 stopped the table, acc3 is never read
  EXPECT_EQ(SpeedLevel(5), 1);
  EXPECT_EQ(SpeedLevel(50), -1);  // cpm2 missing ends the table
}

TEST_F(LevelsTest, AMissingArchiveOrMemberLeavesEmptyTablesAndNeverRaises) {
  const std::string Other = Dir.Write("other.zlb", MakeArchive({TTestMember("words.txt", "sad\r\n")}, false));
  for (const std::string& File : {Dir.Path() + "/missing.zlb", Other, Dir.Write("broken.zlb", "not an archive")}) {
    std::string Problem;
    EXPECT_NO_THROW(Problem = LoadLevelsFrom(File));
    EXPECT_NE(Problem, "") << File;
    for (double V : {0.0, 50.0, 100.0}) {
      EXPECT_EQ(AccuracyLevel(V), -1);
      EXPECT_EQ(SpeedLevel(V), -1);
    }
  }
  // Each problem went to the error log.
  if (ELogger) {
    TStringList Log;
    ASSERT_NO_THROW(Log.LoadFromFile(ELogger->LogPath()));
    int Reports = 0;
    for (int i = 0; i < Log.Count(); ++i) Reports += Log.Strings(i).rfind("Exception Message: Levels: ", 0) == 0;
    EXPECT_EQ(Reports, 3);
  }
}

}  // namespace
