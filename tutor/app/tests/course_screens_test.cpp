// The statistics, options, certificate and course screens on an installation folder: what they
// show from known rows, what they store, and how their buttons and lists behave under real clicks.
// The screens run in the small test host; pictures come from a test archive whose button states
// have colours of their own, so a state can be read from the pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "controls/vxbutton.h"
#include "controls/vxcheckbox.h"
#include "platform/core/cp1250.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "platform/gui/graphics.h"
#include "platform/gui/testing.h"
#include "tutor/OptionsReg.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/app/SkinParts.h"
#include "tutor/app/StatForm.h"
#include "tutor/app/tests/course_screens_fixture.h"
#include "tutor/core/DataModule.h"
#include "tutor/translations.h"

namespace {

class StatScreenTest : public CourseScreensTest {
 protected:
  TStatForm* Open() {
    RegisterStatPage();
    Host->ShowPage(TPageId::Stat);
    vxtest::Pump();
    return dynamic_cast<TStatForm*>(Host->FindPage(TPageId::Stat));
  }
  // Two practices, the latest one's results row and a snapshot of Keys keys (13, 32, then letters
  // from 'a').
  void AddPractices(int Keys) {
    Folder->Exec({Format("INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES "
                         "(120, 1, %d, 3725.5, 95)",
                         {Student}),
                  Format("INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES "
                         "(160.5, 1, %d, 100.4, 98.126)",
                         {Student}),
                  // Another student's practice counts for nobody here.
                  "INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES (10, 1, 999, 5000, 10)",
                  Format("INSERT INTO results (ID_GROUP, ID_STUDENT, ID_PRACTICE, CPM, ACCURACY) VALUES "
                         "(1, %d, 2, 160.5, 98.126)",
                         {Student})});
    std::vector<std::string> Rows;
    for (int I = 0; I < Keys; ++I) {
      const int Key = I == 0 ? 13 : I == 1 ? 32 : 'a' + I - 2;
      Rows.push_back(Format("INSERT INTO netstat (ID_STUDENT, ID_PRACTICE, [KEY], CNT, CPM, ACC) VALUES "
                            "(%d, 2, %d, 5, %d, %d)",
                            {Student, Key, 100 + 10 * I, 99 - I}));
      // The earlier snapshot is not shown.
      Rows.push_back(Format("INSERT INTO netstat (ID_STUDENT, ID_PRACTICE, [KEY], CNT, CPM, ACC) VALUES "
                            "(%d, 1, %d, 5, 1, 1)",
                            {Student, Key}));
    }
    Folder->Exec(Rows);
  }
  // Bars drawn by chart C after a grab (the paint fills the bar rectangles).
  int BarsDrawn(TStatForm* F, int C) {
    TBitmap B;
    vxtest::Grab(F->Charts[C], &B);
    int N = 0;
    for (int I = 0; I < 15; ++I) {
      const TRect R = F->Charts[C]->BarRect(0, I);
      if (R.Right <= R.Left || R.Bottom <= R.Top) continue;
      if (B.Canvas()->Pixel((R.Left + R.Right) / 2, R.Bottom - 2) == F->Series[C]->SeriesColor) ++N;
    }
    return N;
  }
  // The colour in the middle of a page button, read from the grabbed notebook page.
  TColor ButtonColour(TStatForm*, TVxButton* Btn) {
    TBitmap B;
    vxtest::Grab(static_cast<TWinControl*>(Btn->Parent()), &B);
    return B.Canvas()->Pixel(Btn->Left() + Btn->Width() / 2, Btn->Top() + 5);
  }
};

TEST_F(StatScreenTest, SummaryComesFromTheStudentsPracticesAndLatestResults) {
  AddPractices(3);
  OpenDataModule();
  TStatForm* F = Open();
  ASSERT_NE(F, nullptr);
  EXPECT_EQ(Text(F->LabelStudent), "Ala");
  EXPECT_EQ(Text(F->LabelCount), "2");
  EXPECT_EQ(Text(F->LabelTime), "01:03:46");  // 3825.9 s rounded
  EXPECT_EQ(Text(F->LabelSpeed), "160,50 zn./min");
  EXPECT_EQ(Text(F->LabelAccuracy), "98,13 %");
  EXPECT_EQ(Text(F->LabelCourse), "Kurs pierwszy");
  EXPECT_EQ(F->ShownPractice(), 2);
  EXPECT_NE(std::find(Host->Pings.begin(), Host->Pings.end(), "wyniki|"), Host->Pings.end());
  vxtest::SaveGrabPng(Host, OutputPath("stat_summary.png"));
}

TEST_F(StatScreenTest, ChartsShowTheLatestSnapshotFifteenKeysAPageWithKeyNames) {
  AddPractices(20);
  OpenDataModule();
  TStatForm* F = Open();
  ASSERT_NE(F, nullptr);
  vxtest::Click(F->Tabs[1], 10, 10);
  EXPECT_EQ(F->PageShown(), "1");
  EXPECT_TRUE(F->Tabs[1]->Checked());
  EXPECT_FALSE(F->Tabs[0]->Checked());
  ASSERT_EQ(F->Series[0]->Count(), 20);
  EXPECT_DOUBLE_EQ(F->Series[0]->Point(2).Value, 120);  // 'a', not the earlier snapshot's 1
  EXPECT_DOUBLE_EQ(F->Series[1]->Point(2).Value, 97);
  std::vector<std::string> Labels;
  for (int I = 0; I < 4; ++I) {
    std::string L = F->Series[0]->Point(I).Label;
    F->Charts[0]->OnGetAxisLabel(F->Charts[0], F->Series[0], I, L);
    Labels.push_back(L);
  }
  EXPECT_EQ(Labels, (std::vector<std::string>{"Enter", "Spacja", "a", "b"}));

  EXPECT_EQ(BarsDrawn(F, 0), 15);
  EXPECT_EQ(ButtonColour(F, F->BtnLeft[0]), kDisabledColour);
  EXPECT_EQ(ButtonColour(F, F->BtnRight[0]), kUpColour);
  vxtest::SaveGrabPng(Host, OutputPath("stat_speed.png"));

  vxtest::Click(F->BtnRight[0], 10, 10);
  EXPECT_EQ(F->Charts[0]->Page(), 2);
  EXPECT_EQ(BarsDrawn(F, 0), 5);
  EXPECT_EQ(ButtonColour(F, F->BtnLeft[0]), kUpColour);
  EXPECT_EQ(ButtonColour(F, F->BtnRight[0]), kDisabledColour);
  vxtest::Click(F->BtnRight[0], 10, 10);  // disabled: stays
  EXPECT_EQ(F->Charts[0]->Page(), 2);

  // The accuracy chart pages on its own.
  vxtest::Click(F->Tabs[2], 10, 10);
  EXPECT_EQ(F->PageShown(), "2");
  EXPECT_EQ(F->Charts[1]->Page(), 1);
  EXPECT_EQ(BarsDrawn(F, 1), 15);
  vxtest::SaveGrabPng(Host, OutputPath("stat_accuracy.png"));
}

TEST_F(StatScreenTest, AStudentWithoutResultsGetsEmptyLabelsAndNoBars) {
  // Rows of the other student only.
  Folder->Exec({"INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION) VALUES (10, 1, 999, 50)",
                "INSERT INTO results (ID_GROUP, ID_STUDENT, ID_PRACTICE, CPM, ACCURACY) VALUES (1, 999, 1, 10, 10)",
                "INSERT INTO netstat (ID_STUDENT, ID_PRACTICE, [KEY], CNT, CPM, ACC) VALUES (999, 1, 97, 1, 1, 1)"});
  OpenDataModule();
  TStatForm* F = Open();
  ASSERT_NE(F, nullptr);
  for (TLabel* L : {F->LabelCount, F->LabelTime, F->LabelSpeed, F->LabelAccuracy}) EXPECT_EQ(Text(L), "");
  EXPECT_EQ(F->Series[0]->Count(), 0);
  vxtest::Click(F->Tabs[1], 10, 10);
  EXPECT_EQ(BarsDrawn(F, 0), 0);
  EXPECT_EQ(ButtonColour(F, F->BtnLeft[0]), kDisabledColour);
  EXPECT_EQ(ButtonColour(F, F->BtnRight[0]), kDisabledColour);
}

}  // namespace
