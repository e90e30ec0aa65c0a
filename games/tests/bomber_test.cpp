#include <gtest/gtest.h>

#include "controls/ezrgnbtn.h"
#include "dx/dximagelist.h"
#include "games/BomberScene.h"
#include "games/BomberStart.h"
#include "games/MessageSprite.h"
#include "games/TopTen.h"
#include "games/tests/scene_fixture.h"
#include "platform/gui/testing.h"

namespace {

class BomberTest : public GameSceneTest {
 protected:
  TBomberScene* Start(const std::string& Allowed = "a", const std::string& Preferred = "") {
    TBomberStart S;
    S.AllowedLetters = Allowed;
    S.PreferredLetters = Preferred;
    S.TimerHost = &TimerHost;
    EXPECT_TRUE(StartBomberGame(S)) << (Errors.empty() ? "" : Errors.back());
    return BomberScene;
  }
  TBombeSprite* FallingBomb() const {
    TSprite* Root = Host.Sprites->Engine();
    for (int I = 0; I < Root->Count(); ++I)
      if (auto* B = dynamic_cast<TBombeSprite*>(Root->Items(I)); B && B->Phase == 0) return B;
    return nullptr;
  }
  template <class T>
  int CountOf() const {
    int N = 0;
    TSprite* Root = Host.Sprites->Engine();
    for (int I = 0; I < Root->Count(); ++I)
      if (dynamic_cast<T*>(Root->Items(I))) ++N;
    return N;
  }
  void Type(const std::string& Text) { vxtest::TypeText(Host.DX, Text); }
  void Press(uint16_t Vk) { vxtest::KeyStroke(Host.DX, Vk); }
};

}  // namespace

// The worked game: one bomb at a time on the two-column town, every random draw 0, so bombs
// alternate between the columns and carry the one allowed letter.
TEST_F(BomberTest, TheWorkedGameFromFirstBombToTheSavedScoreAndTheTopTenPage) {
  Content();
  TBomberScene* S = Start();
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(S->State, 2);
  ASSERT_NE(S->Message, nullptr);
  EXPECT_EQ(Host.Pings.back(), "bomber|a|a");
  Type(" ");
  EXPECT_EQ(S->State, 1);
  EXPECT_EQ(S->Message, nullptr);
  EXPECT_TRUE(S->KeyQueue.empty()) << "the space that started the game is not typed";

  // The first bomb comes a second after the start, in column 0, and falls 4 px per frame.
  Frames(24);
  EXPECT_EQ(FallingBomb(), nullptr);
  Frames(1);
  TBombeSprite* B = FallingBomb();
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->Column, 0);
  EXPECT_EQ(B->X, 190);
  EXPECT_EQ(B->Y, -16);
  EXPECT_EQ(B->Letter, 'a');
  Frames(5);
  EXPECT_LT(B->Y, 65);
  Type("a");
  Frames(1);
  EXPECT_DOUBLE_EQ(S->Score, 1.0);  // above half way to its hit line: the high score
  EXPECT_EQ(S->Hits, 1);
  EXPECT_EQ(B->Phase, 1);

  // The second bomb, in column 1, lands on the intact building at y 132 after 38 moves.
  TPictureCollectionItem* Town = S->TownImages->Items()->ItemByName("background");
  TDirectDrawSurface* TownSurface = Town->PatternSurface(0);
  const uint32_t Sky = TownSurface->Pixels(450, 150);
  ASSERT_TRUE(FramesUntil([&] { return FallingBomb() != nullptr; }));
  B = FallingBomb();
  EXPECT_EQ(B->Column, 1);
  EXPECT_EQ(B->X, 590);
  int Moves = 0;
  while (S->Landed == 0 && Moves < 100) {
    Frames(1);
    ++Moves;
  }
  EXPECT_EQ(Moves + 1, 38) << "moves counting the one of the frame it came in";
  EXPECT_EQ(B->Phase, 1);
  EXPECT_DOUBLE_EQ(S->Score, 0.8);
  EXPECT_EQ(S->Town.DestroyedBuildings, 1);
  EXPECT_EQ(S->Town.Columns[1].RemainingCount, 0);
  ASSERT_EQ(CountOf<TExplodeSprite>(), 1);
  for (int I = 0; I < Host.Sprites->Engine()->Count(); ++I)
    if (auto* E = dynamic_cast<TExplodeSprite*>(Host.Sprites->Engine()->Items(I))) {
      EXPECT_EQ(E->Frames, S->MidExplosions);
      EXPECT_EQ(E->Y, 130) << "its top where the bomb's top struck";
      EXPECT_EQ(E->X, 590 + (20 - 60) / 2);
    }
  // The ruin is drawn into the town picture: the overlay's colour over the building's place.
  const TPictureCollectionItem* Ruin = S->Town.Columns[1].BuildingPicture[0];
  EXPECT_NE(TownSurface->Pixels(450, 150), Sky);
  EXPECT_EQ(TownSurface->Pixels(450, 150), Ruin->PatternSurface(0)->Pixels(50, 50));
  EXPECT_EQ(TownSurface->Pixels(50, 150), Sky) << "column 0 still stands";
  vxtest::SaveGrabPng(Host.Form, std::string(VX_TEST_OUTPUT_DIR) + "/bomber_frame.png");

  Type("b");
  Frames(1);
  EXPECT_EQ(S->Errors, 1);
  EXPECT_DOUBLE_EQ(S->Score, 0.6);

  // The third bomb (column 0) hit low: +0.5 and the second hit of level 1 raises the level.
  ASSERT_TRUE(FramesUntil([&] { return FallingBomb() != nullptr; }));
  B = FallingBomb();
  EXPECT_EQ(B->Column, 0);
  ASSERT_TRUE(FramesUntil([&] { return B->Y >= 65; }));
  Type("a");
  Frames(1);
  EXPECT_EQ(S->Level, 2);
  EXPECT_NEAR(S->Score, 11.1, 1e-9);
  EXPECT_NEAR(S->ScoreFloor, 11.1, 1e-9);
  EXPECT_EQ(S->BombsLeft, 2);
  ASSERT_NE(S->Message, nullptr);
  EXPECT_EQ(S->Message->Text(), "LEVEL 2");

  // The fourth lands on the ruined column 1: a big explosion on the ground, the score floored.
  ASSERT_TRUE(FramesUntil([&] { return S->Landed == 2; }));
  EXPECT_NEAR(S->Score, 11.1, 1e-9);
  EXPECT_EQ(S->Town.DestroyedBuildings, 1);
  // The fifth destroys column 0: the game is over and its score stored at once.
  ASSERT_TRUE(FramesUntil([&] { return S->State == 0; }));
  EXPECT_EQ(S->Landed, 3);
  EXPECT_EQ(S->Hits, 2);
  EXPECT_EQ(S->Errors, 1);
  ASSERT_NE(S->Message, nullptr);
  EXPECT_EQ(S->Message->Text(), "GAME OVER");
  EXPECT_EQ(BomberRows(), (std::vector<std::string>{std::to_string(Student) + "|11"}));

  Press(VK_RETURN);
  EXPECT_TRUE(S->Ended());
  EXPECT_EQ(Host.Sprites->Engine()->AllCount(), 0);
  auto* Page = dynamic_cast<TBomberTopTenForm*>(Host.FindPage(TPageId::BomberTopTen));
  ASSERT_NE(Page, nullptr);
  EXPECT_EQ(Page->LevelLabel->Caption(), "2");
  EXPECT_EQ(Page->ScoreLabel->Caption(), "11");
  EXPECT_EQ(Page->Names[0]->Caption(), "Ala");
  EXPECT_EQ(Page->Scores[0]->Caption(), "11");
  EXPECT_EQ(NextExerciseCalls, 1);
  vxtest::Pump();
  EXPECT_EQ(BomberScene, nullptr) << "the scene frees itself after its end";
  EXPECT_EQ(BomberRows().size(), 1u);
}

TEST_F(BomberTest, PauseFreezesTheBombsAndKeysTypedWhileNotPlayingAreNotQueued) {
  Content();
  TBomberScene* S = Start();
  Type("a");  // waiting for the start
  EXPECT_TRUE(S->KeyQueue.empty());
  Type(" ");
  ASSERT_TRUE(FramesUntil([&] { return FallingBomb() && FallingBomb()->Y > 60; }));
  TBombeSprite* B = FallingBomb();
  const double Y = B->Y;
  Type(" ");
  EXPECT_EQ(S->State, 3);
  Frames(1);
  ASSERT_NE(S->Message, nullptr);
  EXPECT_EQ(S->Message->Text(), "PAUSE");
  Type("a");
  EXPECT_TRUE(S->KeyQueue.empty());
  Frames(10);
  EXPECT_EQ(B->Y, Y);
  EXPECT_EQ(B->Phase, 0);
  Press(VK_F10);
  EXPECT_EQ(S->State, 1);
  EXPECT_EQ(S->Message, nullptr);
  Frames(1);
  EXPECT_EQ(B->Y, Y + 4);
  // The pause button does the same.
  S->PauseButton->Click();
  EXPECT_EQ(S->State, 3);
  S->PauseButton->Click();
  EXPECT_EQ(S->State, 1);
  EXPECT_EQ(S->Score, 0);
}

TEST_F(BomberTest, TwoKeysInOneFrameAreMatchedOnePerFrame) {
  Content();
  TBomberScene* S = Start();
  Type(" ");
  ASSERT_TRUE(FramesUntil([&] { return FallingBomb() != nullptr; }));
  Type("ab");
  EXPECT_EQ(S->KeyQueue.size(), 2u);
  Frames(1);
  EXPECT_EQ(S->Hits, 1);
  EXPECT_EQ(S->Errors, 0);
  Frames(1);
  EXPECT_EQ(S->Errors, 1);
  EXPECT_DOUBLE_EQ(S->Score, 0.8);
}

TEST_F(BomberTest, AClockJumpMovesTheBombsByEveryIntervalThatPassed) {
  Content();
  TBomberScene* S = Start();
  Type(" ");
  ASSERT_TRUE(FramesUntil([&] { return FallingBomb() != nullptr; }));
  TBombeSprite* B = FallingBomb();
  const double Y = B->Y;
  Frames(1, 400);  // ten intervals in one step
  EXPECT_EQ(B->Y, Y + 40);
  EXPECT_EQ(S->State, 1);
}

TEST_F(BomberTest, EscapeLeavesEarlyWithoutAScoreAndTheEndRunsOnce) {
  Content();
  TBomberScene* S = Start();
  Type(" ");
  ASSERT_TRUE(FramesUntil([&] { return FallingBomb() != nullptr; }));
  Press(VK_ESCAPE);
  EXPECT_TRUE(S->Ended());
  EXPECT_TRUE(BomberRows().empty());
  EXPECT_EQ(NextExerciseCalls, 1);
  EXPECT_EQ(Host.Shown, (std::vector<TPageId>{TPageId::BomberTopTen}));
  EXPECT_EQ(Host.Sprites->Engine()->AllCount(), 0);
  // Further keys and frames end nothing again.
  Press(VK_ESCAPE);
  Frames(5);
  EXPECT_EQ(NextExerciseCalls, 1);
  vxtest::Pump();
  EXPECT_EQ(BomberScene, nullptr);
  Press(VK_RETURN);
  EXPECT_EQ(NextExerciseCalls, 1);
}

TEST_F(BomberTest, TheGameOverMessageEndsTheGameOnceWhenItExpires) {
  // A one-building town: the first bomb that lands ends the game.
  TBomberContent C;
  C.Towns = {{"w.zlb", TownArchive("W", "500", "#,1\r\n@,c,100,50\r\nb.bmp,100,50\r\n", {{"b.bmp", 800, 100}})}};
  Content(C);
  TBomberScene* S = Start();
  Type(" ");
  ASSERT_TRUE(FramesUntil([&] { return S->State == 0; }));
  EXPECT_EQ(BomberRows().size(), 1u);
  Frames(99);
  EXPECT_FALSE(S->Ended());
  Frames(1);
  EXPECT_TRUE(S->Ended());
  EXPECT_EQ(NextExerciseCalls, 1);
  EXPECT_EQ(S->Message, nullptr);
  Frames(5);
  Press(VK_SPACE);
  vxtest::Pump();
  EXPECT_EQ(NextExerciseCalls, 1);
  EXPECT_EQ(BomberScene, nullptr);
  EXPECT_EQ(BomberRows().size(), 1u);
}

TEST_F(BomberTest, AStartThatFailsShowsItsErrorAndLeavesNoSceneNorHook) {
  int SeenByOldHook = 0;
  Application->OnMessage = [&](TMsg& M, bool&) {
    if (M.message == WM_KEYDOWN) ++SeenByOldHook;
  };
  struct TUnhook {
    ~TUnhook() { Application->OnMessage = nullptr; }
  } Unhook;
  struct Case {
    const char* What;
    TBomberContent Content;
    int Difficulty;
  };
  TBomberContent NoBombs;
  NoBombs.Bombs = false;
  TBomberContent BadLevels;
  BadLevels.Levels = "Speed=1,2,3\r\n";
  TBomberContent BadTown;
  BadTown.Towns = {{"x.zlb", TownArchive("X", "500", "#,2\r\n@,c,1,1\r\nb.bmp,1,1\r\n", {{"b.bmp"}})}};
  TBomberContent NoTowns;
  NoTowns.Towns.clear();
  const Case Cases[] = {{"BOMBS.DXG", NoBombs, 1}, {"SpeedDelta", BadLevels, 1}, {"2 columns declared", BadTown, 1},
                        {"no town", NoTowns, 1}, {"difficulty", TBomberContent(), 4}};
  for (const Case& K : Cases) {
    Errors.clear();
    Content(K.Content);
    TBomberStart St;
    St.AllowedLetters = "a";
    St.Difficulty = K.Difficulty;
    St.TimerHost = &TimerHost;
    EXPECT_FALSE(StartBomberGame(St)) << K.What;
    ASSERT_EQ(Errors.size(), 1u) << K.What;
    EXPECT_NE(Errors[0].find(K.What), std::string::npos) << Errors[0];
    EXPECT_EQ(BomberScene, nullptr) << K.What;
    EXPECT_EQ(Host.Sprites->Engine()->AllCount(), 0) << K.What;
    const int Before = SeenByOldHook;
    Press(VK_SPACE);
    EXPECT_EQ(SeenByOldHook, Before + 1) << K.What << ": the hook before the start is back";
  }
  EXPECT_TRUE(Host.Shown.empty());
  EXPECT_EQ(NextExerciseCalls, 0);
}

TEST_F(BomberTest, ASceneFreedMidGameFreesItsSpritesAndPutsTheHookBack) {
  Content();
  TBomberScene* S = Start();
  Type(" ");
  ASSERT_TRUE(FramesUntil([&] { return FallingBomb() != nullptr; }));
  EXPECT_GT(Host.Sprites->Engine()->AllCount(), 2);
  delete S;
  EXPECT_EQ(BomberScene, nullptr);
  EXPECT_EQ(Host.Sprites->Engine()->AllCount(), 0);
  EXPECT_FALSE(static_cast<bool>(Application->OnMessage));
  EXPECT_TRUE(Host.Shown.empty());
}

TEST_F(BomberTest, ScoreFactorsOfZeroCountOneAndTheFloorHolds) {
  TBomberContent C;
  C.Levels = StringReplace(StringReplace(WorkedLevels(), "BombScore1=100", "BombScore1=0", rfReplaceAll),
                           "ErrorScore=20", "ErrorScore=0", rfReplaceAll);
  Content(C);
  TBomberScene* S = Start("asdf", "");
  EXPECT_EQ(S->LetterWeight, 4);
  EXPECT_DOUBLE_EQ(S->HitScoreHigh, 1.0);
  EXPECT_DOUBLE_EQ(S->HitScoreLow, 2.0);
  EXPECT_DOUBLE_EQ(S->ErrorPenalty, 1.0);
  Type(" ");
  Type("x");
  Frames(1);
  EXPECT_EQ(S->Errors, 1);
  EXPECT_DOUBLE_EQ(S->Score, 0) << "never below the floor";
}

TEST_F(BomberTest, WithSoundTheWavesAreLoadedAndF2MutesThem) {
  Host.SoundComponent = new TDXSound(Host.Form);
  Host.SoundComponent->Initialize();
  ASSERT_TRUE(Host.SoundComponent->Initialized());
  Content();
  TBomberScene* S = Start();
  ASSERT_NE(S, nullptr);
  EXPECT_TRUE(S->SoundAvailable);
  EXPECT_TRUE(S->SoundOn);
  ASSERT_EQ(S->WaveList->Items()->Count(), 4);
  EXPECT_EQ(S->WaveList->Items()->Items(3)->Name(), "error0.wav");
  EXPECT_TRUE(S->WaveList->Items()->Items(3)->Initialized());
  EXPECT_GT(S->WaveList->Items()->Items(3)->Wave().Size(), 0);
  Press(VK_F2);
  EXPECT_FALSE(S->SoundOn);
  Press(VK_F2);
  EXPECT_TRUE(S->SoundOn);
  Type(" ");
  Type("x");
  Frames(1);  // the error sound plays
  EXPECT_EQ(S->Errors, 1);
  delete S;

  // With the sound on, a missing sound archive is an error, not a silent game.
  TBomberContent C;
  C.Sounds = false;
  Content(C);
  TBomberStart St;
  St.AllowedLetters = "a";
  St.TimerHost = &TimerHost;
  EXPECT_FALSE(StartBomberGame(St));
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(BomberScene, nullptr);
}

TEST_F(BomberTest, AfterAClickOnThePauseButtonASpaceStillOnlyTogglesThePause) {
  Content();
  TBomberScene* S = Start();
  Type(" ");
  ASSERT_EQ(S->State, 1);
  ASSERT_TRUE(S->PauseButton->Visible());
  EXPECT_FALSE(S->EndButton->TabStop());
  vxtest::Click(S->PauseButton, 20, 12);
  EXPECT_EQ(S->State, 3);
  // Were the buttons to hold the focus, a space typed to them only toggles the pause.
  vxtest::KeyStroke(S->PauseButton, VK_SPACE, " ");
  EXPECT_EQ(S->State, 1);
  vxtest::KeyStroke(S->EndButton, VK_SPACE, " ");
  EXPECT_EQ(S->State, 3);
  EXPECT_FALSE(S->Ended()) << "the end button is not clicked by a space";
  vxtest::KeyStroke(S->EndButton, VK_SPACE, " ");
  vxtest::KeyStroke(S->EndButton, VK_RETURN);
  EXPECT_FALSE(S->Ended()) << "Enter while playing does not end the game";
  EXPECT_EQ(NextExerciseCalls, 0);
}

TEST_F(BomberTest, AnExplosionShowsEveryPictureOfItsSetOnceInTheBoxOfTheFirst) {
  TBomberContent C;
  C.Mid = {{"m0", 60, 40, 0x30A0F0}, {"m1", 30, 20, 0x3070F0}, {"m2", 90, 50, 0x3040F0}};
  Content(C);
  TBomberScene* S = Start();
  Type(" ");
  ASSERT_TRUE(FramesUntil([&] { return S->Landed == 1; }));
  TExplodeSprite* E = nullptr;
  for (int I = 0; I < Host.Sprites->Engine()->Count(); ++I)
    if (auto* X = dynamic_cast<TExplodeSprite*>(Host.Sprites->Engine()->Items(I))) E = X;
  ASSERT_NE(E, nullptr);
  std::vector<std::string> Shown;
  for (int Frame = 0; Frame < 10 && CountOf<TExplodeSprite>() == 1; ++Frame) {
    Shown.push_back(E->Image()->Name());
    EXPECT_EQ(E->Width, 60);
    EXPECT_EQ(E->Height, 40);
    Frames(1);
  }
  EXPECT_EQ(Shown, (std::vector<std::string>{"m0", "m1", "m2"}));
  EXPECT_EQ(CountOf<TExplodeSprite>(), 0);
}
