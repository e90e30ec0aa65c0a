#include <gtest/gtest.h>

#include "controls/vxcheckbox.h"
#include "games/BomberScene.h"
#include "games/BomberStart.h"
#include "games/GameSelect.h"
#include "games/tests/scene_fixture.h"
#include "platform/gui/testing.h"
#include "tutor/translations.h"

namespace {

class GameSelectTest : public GameSceneTest {
 protected:
  void Practice(int Id, const std::vector<std::tuple<int, double, double>>& Keys) {
    std::vector<std::string> Rows;
    for (const auto& [Key, Cpm, Acc] : Keys)
      Rows.push_back("insert into netstat values (" + std::to_string(Student) + ", " + std::to_string(Id) + ", " +
                     std::to_string(Key) + ", 'k', 10, " + std::to_string(Cpm) + ", " + std::to_string(Acc) + ")");
    Inst->Exec(Rows);
  }
  std::unique_ptr<TGameSelectForm> Page() {
    auto P = std::make_unique<TGameSelectForm>(nullptr);
    P->SetParent(Host.Form);
    P->Show();
    return P;
  }
};

}  // namespace

TEST(LettersToText, EachCharacterFollowedByABlankWithEnterAndSpaceNamed) {
  EXPECT_EQ(LettersToText(std::string("a") + char(32)), "a Sp ");
  EXPECT_EQ(LettersToText(std::string("x") + char(13) + "y"), "x En y ");
  EXPECT_EQ(LettersToText(""), "");
}

TEST_F(GameSelectTest, TheSuggestionIsTheWorstKeysOfTheLastPracticeSlowerFirstOnEqualAccuracy) {
  Practice(1, {{100, 50, 10}});  // an older practice is not looked at
  Practice(2, {{97, 120, 90}, {115, 90, 90}, {13, 10, 1}, {32, 10, 1}, {100, 200, 99}, {102, 150, 95},
               {106, 150, 97}, {107, 150, 98}});
  std::string Weak, All;
  SuggestLetters(Student, Weak, All);
  EXPECT_EQ(Weak, "safj");
  EXPECT_EQ(All, "safjkd");
  Content();
  auto P = Page();
  EXPECT_EQ(P->Label2->Caption(), "s a f j ");
  EXPECT_EQ(P->Label22->Caption(), "s a f j k d ");
  vxtest::SaveGrabPng(P.get(), std::string(VX_TEST_OUTPUT_DIR) + "/games_page.png");
}

TEST_F(GameSelectTest, WithoutPracticeOrWithOnlyEnterAndSpaceBothSetsAreTheHomeRow) {
  Content();
  for (bool OnlyBlanks : {false, true}) {
    if (OnlyBlanks) Practice(3, {{13, 10, 1}, {32, 10, 1}});
    auto P = Page();
    EXPECT_EQ(P->WeakLetters, "asdfjkl;");
    EXPECT_EQ(P->PracticedLetters, "asdfjkl;");
  }
}

TEST_F(GameSelectTest, StartingWithTheControlsAsCreatedPlaysTheHomeRowWithE) {
  Content();
  auto P = Page();
  EXPECT_EQ(P->Notebook->ActivePage(), "1");
  vxtest::Click(P->VxCheckbox1, 5, 5);
  EXPECT_EQ(P->Notebook->ActivePage(), "0");
  EXPECT_TRUE(P->VxCheckbox1->Checked());
  EXPECT_FALSE(P->VxCheckbox2->Checked());
  EXPECT_EQ(P->ComboBox2->Items()->Count(), 1);
  EXPECT_EQ(P->ComboBox3->Items()->Count(), 3);
  std::string A, Pref;
  P->LetterSets(A, Pref);
  EXPECT_EQ(A, "easdfjkl;");
  EXPECT_EQ(Pref, "asdfjkl;e");
  P->ComboBox3->SetItemIndex(2);
  P->Button2Click(nullptr);
  ASSERT_NE(BomberScene, nullptr) << (Errors.empty() ? "" : Errors.back());
  EXPECT_EQ(BomberScene->LevelRec.BombsMax, 6) << "difficulty 3";
  EXPECT_EQ(BomberScene->LevelRec.AllowedLetters, "easdfjkl;");
  EXPECT_FALSE(P->Visible());
  EXPECT_EQ(Host.Return, P.get());
  delete BomberScene;
  // The gallery page's own default preference.
  P->JetCheckboxClick(P->VxCheckbox2);
  P->LetterSets(A, Pref);
  EXPECT_EQ(A, "easdfjkl;");
  EXPECT_EQ(Pref, "asdfjkle");
}

TEST_F(GameSelectTest, TooFewLettersOrNoTownKeepTheStudentOnThePage) {
  Practice(4, {{97, 100, 50}, {115, 100, 60}});
  TBomberContent C;
  Content(C);
  auto P = Page();
  P->JetCheckboxClick(P->VxCheckbox1);
  P->RadioBomDone->SetChecked(true);
  EXPECT_FALSE(P->StartBomber());
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], Translate("MSG002"));
  EXPECT_EQ(BomberScene, nullptr);
  EXPECT_TRUE(P->Visible());

  C.Towns.clear();
  Content(C);
  auto Q = Page();
  EXPECT_EQ(Q->ComboBox2->ItemIndex(), -1);
  Q->JetCheckboxClick(Q->VxCheckbox1);
  EXPECT_FALSE(Q->StartBomber());
  EXPECT_EQ(Errors.size(), 2u);
  EXPECT_EQ(BomberScene, nullptr);
  EXPECT_TRUE(Q->Visible());
}

TEST_F(GameSelectTest, ACourseStepThatCannotStartTellsTheStudentAndReportsNoEnd) {
  TBomberContent C;
  C.Towns.clear();
  Content(C);
  EXPECT_FALSE(StartBomberCourseStep("asdf", "jk", 2));
  EXPECT_EQ(Errors.size(), 1u);
  EXPECT_EQ(BomberScene, nullptr);
  EXPECT_FALSE(StartBomberCourseStep("asdf", "jk", 4)) << "difficulty outside 1..3";
  EXPECT_EQ(Errors.size(), 2u);
  EXPECT_EQ(NextExerciseCalls, 0);

  Content();
  ASSERT_TRUE(StartBomberCourseStep("asdf", "jk", 2));
  ASSERT_NE(BomberScene, nullptr);
  EXPECT_EQ(BomberScene->LevelRec.AllowedLetters, "asdf");
  EXPECT_EQ(BomberScene->LevelRec.PreferredLetters, "jk");
  EXPECT_EQ(BomberScene->LevelRec.BombsMax, 4);
  vxtest::KeyStroke(Host.DX, VK_ESCAPE);
  EXPECT_EQ(NextExerciseCalls, 1) << "a game left early ends the step once";
}
