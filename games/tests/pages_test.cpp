#include <gtest/gtest.h>

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

class TopTenTest : public GameSceneTest {};

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
