#include <gtest/gtest.h>

#include "dbengine/sql/vxdb_query.h"
#include "dx/dxdraws.h"
#include "games/MessageSprite.h"
#include "games/TopTen.h"
#include "games/tests/scene_fixture.h"
#include "platform/gui/testing.h"

namespace {

class MessageSpriteTest : public GameSceneTest {
 protected:
  TSpriteEngine* Engine() { return Host.Sprites->Engine(); }
  void Move() {
    Tick += 40;
    Host.Sprites->Move(40);
    Host.Sprites->FreeDead();
  }
};

class TopTenTest : public GameSceneTest {
 protected:
  // "name|score" of the first ten rows of the join and order the page lists.
  std::vector<std::string> OrderedJoin(const std::string& Game) {
    TVXDBQuery Q(nullptr);
    Q.SetDatabaseName("db");
    Q.SetSessionName(DM->VXSession->SessionName());
    Q.SQL()->SetText("select name, score from student, " + Game + " where student.id_student = " + Game +
                     ".id_student order by score desc");
    Q.Open();
    std::vector<std::string> Rows;
    for (Q.First(); !Q.Eof() && Rows.size() < 10; Q.Next())
      Rows.push_back(Q.FieldByName("name")->AsString() + "|" + std::to_string(Q.FieldByName("score")->AsInteger()));
    return Rows;
  }
  static std::vector<std::string> Shown(const TTopTenForm& P) {
    std::vector<std::string> Rows;
    for (size_t I = 0; I < 10 && P.Names[I]->Caption() != ".."; ++I)
      Rows.push_back(P.Names[I]->Caption() + "|" + P.Scores[I]->Caption());
    return Rows;
  }
};

}  // namespace

TEST_F(MessageSpriteTest, ATimedMessageDiesAfterItsMovesAndTellsItsOwnerOnce) {
  struct Case {
    int Lifetime;
    int Moves;
    bool Alive;
  } Cases[] = {{100, 99, true}, {100, 100, false}, {-1, 500, true}, {0, 500, true}};
  for (const Case& K : Cases) {
    int Gone = 0;
    auto* M = new TMessageSprite(Host.DX, Host.Sprites, "LEVEL 2", 36, "Arial", fsBold, K.Lifetime,
                                 [&](TMessageSprite*) { ++Gone; });
    for (int I = 0; I < K.Moves; ++I) Move();
    EXPECT_EQ(Engine()->AllCount() == 1, K.Alive) << K.Lifetime << " after " << K.Moves;
    EXPECT_EQ(Gone, K.Alive ? 0 : 1);
    if (K.Alive) {
      EXPECT_EQ(Engine()->Items(0), M);
      Engine()->Clear();  // the owner or the engine frees it: told all the same
      EXPECT_EQ(Gone, 1);
    }
  }
}

TEST_F(MessageSpriteTest, TheWobbleCalmsDownAndTheTextIsCentredOnTheDisplay) {
  auto* M = new TMessageSprite(Host.DX, Host.Sprites, "GAME OVER", 36, "Arial", fsBold, -1);
  EXPECT_GT(M->Width, 100);
  EXPECT_GT(M->Height, 20);
  const std::pair<uint32_t, int> Amplitudes[] = {{0, 2501}, {1000, 5}, {5000, 1}, {60000, 1}};
  uint32_t At = 0;
  for (const auto& [Ms, Amp] : Amplitudes) {
    Tick += Ms - At;
    At = Ms;
    Host.Sprites->Move(40);
    EXPECT_EQ(M->Elapsed(), Ms);
    EXPECT_EQ(M->Amplitude(), Amp) << Ms;
  }
  TDirectDrawSurface* S = Host.DX->Surface();
  S->Fill(0);
  Host.Sprites->Draw();
  const TPoint O = M->Origin(800, 600);
  EXPECT_EQ(O.X, (800 - M->Width) / 2);
  EXPECT_EQ(O.Y, (600 - M->Height) / 2);
  int Inside = 0, Outside = 0;
  for (int Y = 0; Y < 600; ++Y)
    for (int X = 0; X < 800; ++X) {
      if (!S->Pixels(X, Y)) continue;
      const bool In = X >= O.X - 1 && X <= O.X + M->Width + 2 && Y >= O.Y && Y <= O.Y + M->Height;
      ++(In ? Inside : Outside);
    }
  EXPECT_GT(Inside, 100) << "the text is drawn";
  EXPECT_EQ(Outside, 0) << "and nothing beside it";
}

TEST_F(TopTenTest, TheTenBestScoresOfAllStudentsInScoreOrder) {
  const int Bob = Inst->AddStudent("Bob", 1, "M");
  const int Ewa = Inst->AddStudent("Ewa", 1, "W");
  std::vector<std::string> Rows;
  const std::pair<int, int> Scores[] = {{Student, 30}, {Bob, 5},   {Ewa, 44}, {Bob, 12}, {Student, 7}, {Ewa, 1},
                                        {Bob, 90},     {Ewa, 18},  {Student, 60}, {Bob, 3}, {Ewa, 25}, {Student, 2}};
  for (const auto& [Id, Score] : Scores)
    Rows.push_back("insert into bomber values (" + std::to_string(Id) + ", " + std::to_string(Score) + ")");
  Inst->Exec(Rows);
  Host.ShowPage(TPageId::BomberTopTen);
  auto* P = dynamic_cast<TBomberTopTenForm*>(Host.FindPage(TPageId::BomberTopTen));
  ASSERT_NE(P, nullptr);
  const char* Names[] = {"Bob", "Ala", "Ewa", "Ala", "Ewa", "Ewa", "Bob", "Ala", "Bob", "Bob"};
  const char* Points[] = {"90", "60", "44", "30", "25", "18", "12", "7", "5", "3"};
  for (size_t I = 0; I < 10; ++I) {
    EXPECT_EQ(P->Names[I]->Caption(), Names[I]) << I;
    EXPECT_EQ(P->Scores[I]->Caption(), Points[I]) << I;
    EXPECT_EQ(P->Names[I]->Top(), 214 + 28 * static_cast<int>(I));
  }
  ASSERT_FALSE(Host.Pings.empty());
  EXPECT_EQ(Host.Pings.back(), "TOP10||");
  P->SetResult(3, 42);
  EXPECT_EQ(P->LevelLabel->Caption(), "3");
  EXPECT_EQ(P->ScoreLabel->Caption(), "42");
  P->BtnOKClick(nullptr);
  EXPECT_EQ(Host.ReturnShown, 1);
  Host.Pages.erase(TPageId::BomberTopTen);  // freed by its close
  vxtest::Pump();
}

// The page reads the score table itself instead of sorting the whole join: it must list what the
// ordered join lists, equal scores across the tenth place and scores of gone students included.
TEST_F(TopTenTest, ThePageListsTheFirstTenRowsOfTheOrderedJoin) {
  const int Bob = Inst->AddStudent("Bob", 1, "M");
  const int Ewa = Inst->AddStudent("Ewa", 1, "W");
  const std::string Gone = "9999";
  constexpr int kNoScore = -1000000;  // a row without a score
  struct Case {
    const char* What;
    std::vector<std::pair<std::string, int>> Scores;  // student (A, B, E or G for gone), score
    size_t Listed;
  };
  Case Cases[] = {
      {"equal scores across the tenth place",
       {{"A", 50}, {"B", 40}, {"E", 40}, {"A", 40}, {"B", 70}, {"E", 40}, {"A", 40}, {"B", 40}, {"E", 10},
        {"A", 40}, {"B", 40}, {"E", 40}, {"A", 40}, {"B", 5}, {"E", 40}},
       10},
      {"gone students leave fewer than ten", {{"G", 99}, {"A", 3}, {"G", 50}, {"B", 3}, {"G", 7}, {"E", 0}}, 3},
      {"negative and zero scores, all one student", {{"E", -5}, {"E", 0}, {"E", -1}, {"E", 0}}, 4},
      {"many rows, the best at the end",
       {{"A", 1}, {"B", 2}, {"E", 3}, {"A", 4}, {"B", 5}, {"E", 6}, {"A", 7}, {"B", 8}, {"E", 9}, {"A", 10},
        {"B", 11}, {"E", 12}, {"A", 13}, {"B", 14}, {"E", 15}, {"A", 16}, {"B", 17}, {"E", 18}, {"G", 100}},
       10},
      {"no scores", {}, 0},
      {"300 scores spread evenly", {}, 10},
      {"300 scores, most of them equal at the top", {}, 10},
      {"300 scores, the best of them of gone students", {}, 10},
  };
  // The large tables, past the size from which the page first asks for the best scores only.
  for (int I = 0; I < 300; ++I) {
    const char* Who[] = {"A", "B", "E"};
    Cases[5].Scores.push_back({Who[I % 3], I * 37 % 1000});
    Cases[6].Scores.push_back({Who[I % 3], I % 30 == 7 ? I : 500});
    Cases[7].Scores.push_back(I % 5 == 0    ? std::pair<std::string, int>{"G", 1000 + I}
                              : I % 50 == 1 ? std::pair<std::string, int>{"A", 1000 + I}
                                            : std::pair<std::string, int>{Who[I % 3], I * 7 % 300});
  }
  Cases[5].Scores.push_back({"A", kNoScore});
  for (const char* Game : {"bomber", "gallery"}) {
    for (const Case& C : Cases) {
      std::vector<std::string> Sql = {std::string("delete from ") + Game};
      for (const auto& [Who, Score] : C.Scores) {
        const std::string Id = Who == "A" ? std::to_string(Student)
                               : Who == "B" ? std::to_string(Bob)
                               : Who == "E" ? std::to_string(Ewa)
                                            : Gone;
        Sql.push_back(std::string("insert into ") + Game + " values (" + Id + ", " +
                      (Score == kNoScore ? "NULL" : std::to_string(Score)) + ")");
      }
      Inst->Exec(Sql);
      std::unique_ptr<TTopTenForm> P;
      if (std::string(Game) == "bomber") P = std::make_unique<TBomberTopTenForm>(nullptr);
      else P = std::make_unique<TGalleryTopTenForm>(nullptr);
      const bool Picture = &C == &Cases[5];
      if (Picture) P->SetParent(Host.Form);  // a full page of a large table, as the learner sees it
      P->FormShow(P.get());
      const std::vector<std::string> Expected = OrderedJoin(Game);
      EXPECT_EQ(Shown(*P), Expected) << Game << ": " << C.What;
      EXPECT_EQ(Expected.size(), C.Listed) << C.What;
      if (Picture) {
        P->Show();
        vxtest::Pump();
        vxtest::SaveGrabPng(P.get(), std::string(VX_TEST_OUTPUT_DIR) + "/" + Game + "_topten.png");
      }
    }
  }
}

TEST_F(TopTenTest, FewerThanTenScoresLeaveTheOtherRowsAsTheyWere) {
  Inst->Exec({"insert into gallery values (" + std::to_string(Student) + ", 75)",
              "insert into gallery values (" + std::to_string(Student) + ", 80)",
              "insert into gallery values (9999, 99)"});  // a student who is gone
  Host.ShowPage(TPageId::GalleryTopTen);
  auto* P = dynamic_cast<TGalleryTopTenForm*>(Host.FindPage(TPageId::GalleryTopTen));
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(P->Scores[0]->Caption(), "80");
  EXPECT_EQ(P->Scores[1]->Caption(), "75");
  for (size_t I = 2; I < 10; ++I) {
    EXPECT_EQ(P->Names[I]->Caption(), "..") << I;
    EXPECT_EQ(P->Scores[I]->Caption(), "0") << I;
  }
  EXPECT_EQ(P->Names[0]->Top(), 216);
  EXPECT_EQ(Host.Pings.back(), "TOP 10||");
}
