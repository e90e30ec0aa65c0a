#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dx/sprites.h"
#include "platform/gui/controls.h"

namespace {

std::vector<std::string> g_log;

// A sprite that moves at a constant speed (pixels per millisecond), logs its drawing and freeing,
// and, when Killer, kills what it touches.
class TTestSprite : public TSprite {
 public:
  TTestSprite(TSprite* AParent, std::string AName, double Vx = 0, double Vy = 0)
      : TSprite(AParent), Name(std::move(AName)), VX(Vx), VY(Vy) {
    Width = Height = 10;
  }
  ~TTestSprite() override { g_log.push_back("free " + Name); }
  std::string Name;
  double VX, VY;
  bool Killer = false, DiesOnHit = false;
  std::vector<std::string> Hits;

 protected:
  void DoMove(int MoveCount) override {
    X += VX * MoveCount;
    Y += VY * MoveCount;
  }
  void DoDraw() override { g_log.push_back(Name); }
  void DoCollision(TSprite* Sprite, bool& Done) override {
    auto* t = dynamic_cast<TTestSprite*>(Sprite);
    Hits.push_back(t ? t->Name : "?");
    if (Killer && t) t->MarkDead();
    if (DiesOnHit) MarkDead();
    (void)Done;
  }
};

struct EngineFixture : ::testing::Test {
  TDirectDraw dd;
  std::unique_ptr<TDirectDrawSurface> surface;
  std::unique_ptr<TSpriteEngine> engine;
  void SetUp() override {
    g_log.clear();
    surface = std::make_unique<TDirectDrawSurface>(&dd);
    surface->SetSize(100, 80);
    engine = std::make_unique<TSpriteEngine>(nullptr);
    engine->SetSurface(surface.get());
  }
  void TearDown() override { engine.reset(); }
};

}  // namespace

TEST(OverlapRectTest, TouchingEdgesDoNotOverlap) {
  const TRect a(0, 0, 10, 10);
  EXPECT_TRUE(OverlapRect(a, TRect(9, 9, 20, 20)));
  EXPECT_FALSE(OverlapRect(a, TRect(10, 0, 20, 10)));
  EXPECT_FALSE(OverlapRect(a, TRect(0, 10, 10, 20)));
  EXPECT_TRUE(OverlapRect(a, TRect(2, 2, 3, 3)));
}

TEST_F(EngineFixture, DrawsInZOrderNewestFirstAmongEqualZAndSkipsWhatIsOffTheSurface) {
  auto* a = new TTestSprite(engine.get(), "a");
  a->SetZ(2);
  auto* b = new TTestSprite(engine.get(), "b");
  b->SetZ(2);
  auto* c = new TTestSprite(engine.get(), "c");
  c->SetZ(1);
  auto* child = new TTestSprite(a, "a.child");
  child->SetZ(-5);  // Z only orders among siblings
  auto* off = new TTestSprite(engine.get(), "off");
  off->X = 100;  // touches the right edge only: not drawn
  auto* offChild = new TTestSprite(off, "off.child");
  offChild->X = -50;  // its child is on the surface and still drawn
  engine->Draw();
  // "off" itself is skipped; Z 0 comes first, then 1, then the two of Z 2 newest first.
  EXPECT_EQ(g_log, (std::vector<std::string>{"off.child", "c", "b", "a", "a.child"}));
  EXPECT_EQ(engine->DrawCount(), 5);
  g_log.clear();
  b->SetZ(3);
  a->SetVisible(false);  // hides its child too
  engine->Draw();
  EXPECT_EQ(g_log, (std::vector<std::string>{"off.child", "c", "b"}));
  EXPECT_EQ(engine->DrawCount(), 3);
  EXPECT_EQ(engine->AllCount(), 6);
}

TEST_F(EngineFixture, HundredFramesOfATreeMoveToTheExpectedPositions) {
  auto* ship = new TTestSprite(engine.get(), "ship", 0.0125, 0);    // 0.5 px a 40 ms frame
  auto* gun = new TTestSprite(ship, "gun", 0, -0.00625);             // relative to the ship
  auto* anchor = new TTestSprite(engine.get(), "anchor", 1, 1);
  anchor->SetMovable(false);
  auto* held = new TTestSprite(anchor, "held", 1, 0);  // under an unmovable parent: never moves
  struct Check {
    int Frame;
    double ShipX, GunWorldX, GunWorldY;
  } checks[] = {{0, 0, 0, 0}, {1, 0.5, 0.5, -0.25}, {50, 25, 25, -12.5}, {99, 49.5, 49.5, -24.75}, {100, 50, 50, -25}};
  int frame = 0;
  for (const Check& c : checks) {
    while (frame < c.Frame) {
      engine->Move(40);
      ++frame;
    }
    SCOPED_TRACE(c.Frame);
    EXPECT_NEAR(ship->X, c.ShipX, 1e-9);
    EXPECT_NEAR(gun->WorldX(), c.GunWorldX, 1e-9);
    EXPECT_NEAR(gun->WorldY(), c.GunWorldY, 1e-9);
  }
  EXPECT_EQ(anchor->X, 0);
  EXPECT_EQ(held->X, 0);
  EXPECT_EQ(gun->BoundsRect(), TRect(50, -25, 60, -15));  // world position truncated toward zero
}

TEST_F(EngineFixture, CollisionRules) {
  struct Case {
    const char* What;
    int OtherX, OtherY;
    bool OtherCollidable, SelfCollidable, SelfDead;
    int Count;
  } cases[] = {
      {"overlap", 5, 5, true, true, false, 1},
      {"touching edge", 10, 0, true, true, false, 0},
      {"far", 50, 50, true, true, false, 0},
      {"other not collidable", 5, 5, false, true, false, 0},
      {"self not collidable", 5, 5, true, false, false, 0},
      {"self dead", 5, 5, true, true, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    engine->Clear();
    auto* self = new TTestSprite(engine.get(), "self");
    auto* other = new TTestSprite(engine.get(), "other");
    other->X = c.OtherX;
    other->Y = c.OtherY;
    other->SetCollidable(c.OtherCollidable);
    self->SetCollidable(c.SelfCollidable);
    if (c.SelfDead) self->MarkDead();
    EXPECT_EQ(self->CheckCollisions(), c.Count);
    EXPECT_EQ(self->Hits.size(), static_cast<size_t>(c.Count));
    engine->FreeDead();
  }
}

TEST_F(EngineFixture, CollisionVisitsChildrenOfCollidableSpritesOnly) {
  auto* self = new TTestSprite(engine.get(), "self");
  auto* group = new TTestSprite(engine.get(), "group");
  group->X = 50;  // not itself hit
  auto* inGroup = new TTestSprite(group, "inGroup");
  inGroup->X = -45;  // world 5: hit
  auto* hidden = new TTestSprite(engine.get(), "hidden");
  hidden->X = 60;
  hidden->SetCollidable(false);
  auto* underHidden = new TTestSprite(hidden, "underHidden");
  underHidden->X = -58;  // overlaps but its parent is not collidable: not visited
  EXPECT_EQ(self->CheckCollisions(), 1);
  EXPECT_EQ(self->Hits, std::vector<std::string>{"inGroup"});
  (void)underHidden;
}

TEST_F(EngineFixture, DeadSpritesAreFreedAtFreeDeadOnceAndParentsFreeChildrenLastFirst) {
  auto* killer = new TTestSprite(engine.get(), "killer");
  killer->Killer = true;
  auto* v1 = new TTestSprite(engine.get(), "v1");
  v1->X = 3;
  auto* v2 = new TTestSprite(engine.get(), "v2");
  v2->X = 6;
  new TTestSprite(v2, "v2.a");
  new TTestSprite(v2, "v2.b");
  EXPECT_EQ(killer->CheckCollisions(), 4);  // v1, v2 and v2's two children (all at world 0..6)
  EXPECT_TRUE(v1->Dead());
  v1->MarkDead();  // twice: still freed once
  EXPECT_EQ(engine->AllCount(), 5);
  EXPECT_TRUE(g_log.empty()) << "nothing is freed during the frame";
  engine->FreeDead();
  // Last marked first; v2 frees its children last first, then the children already gone from the list.
  EXPECT_EQ(g_log, (std::vector<std::string>{"free v2.b", "free v2.a", "free v2", "free v1"}));
  EXPECT_EQ(engine->AllCount(), 1);
  EXPECT_EQ(engine->Count(), 1);
  EXPECT_EQ(engine->Items(0), killer);
  try {
    killer->Items(0);
    ADD_FAILURE();
  } catch (const ESpriteError& e) {
    EXPECT_EQ(e.Message(), "Index of the list exceeds the range. (0)");
  }
  EXPECT_THROW(engine->Items(1), EListError);
}

TEST_F(EngineFixture, ImageSpriteAnimatesThroughItsPatterns) {
  struct Case {
    const char* What;
    int FrameCount;
    bool Looped;
    double Speed;
    int Moves, MoveCount;
    double Pos, SpeedAfter;
  } cases[] = {
      {"looped wraps", 4, true, 0.0125, 8, 40, 0.0, 0.0125},  // 4 frames of 4: back at 0
      {"looped partway", 4, true, 0.0125, 5, 40, 2.5, 0.0125},
      {"looped backwards", 4, true, -0.0125, 1, 40, 3.5, -0.0125},
      {"not looped stops at the last", 5, false, 0.025, 10, 40, 4.0, 0.0},
      {"one frame, 100 ms", 1, false, 0.015, 1, 100, 0.0, 0.0},
      {"before the first", 3, false, -0.0125, 1, 40, 0.0, 0.0},
      {"no frames looped", 0, true, 0.5, 1, 40, 0.0, 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    auto* s = new TImageSprite(engine.get());
    s->FrameCount = c.FrameCount;
    s->FrameLooped = c.Looped;
    s->FrameSpeed = c.Speed;
    s->FirstPattern = 2;
    for (int i = 0; i < c.Moves; ++i) engine->Move(c.MoveCount);
    EXPECT_NEAR(s->FramePos, c.Pos, 1e-9);
    EXPECT_NEAR(s->FrameSpeed, c.SpeedAfter, 1e-12);
    EXPECT_EQ(s->DrawnPattern(), static_cast<int>(c.Pos) + 2);
    delete s;
  }
}

TEST_F(EngineFixture, ImageAndBackgroundSpritesDrawTheirPatternsWithTheColourKey) {
  TForm form(nullptr);
  auto* dx = new TDXDraw(&form);
  dx->SetParent(&form);
  dx->SetBounds(0, 0, 64, 48);
  auto* list = new TDXImageList(&form);
  list->SetDXDraw(dx);
  auto* sprites = new TDXSpriteEngine(&form);
  sprites->SetDXDraw(dx);
  // Three 4 x 4 cells: red, blue, green (raw 24-bit values read 0xBBGGRR); black is the key.
  TPictureCollectionItem* cells = list->Items()->Add();
  cells->SetName("cells");
  auto pic = std::make_unique<TDIB>();
  pic->SetSize(12, 4, 24);
  const uint32_t raw[] = {0x0000FF, 0xFF0000, 0x00FF00};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 12; ++x) pic->SetPixels(x, y, raw[x / 4]);
  pic->SetPixels(5, 1, 0);
  cells->Picture()->SetGraphic(std::move(pic));
  cells->SetPatternWidth(4);
  cells->SetPatternHeight(4);
  dx->Initialize();
  ASSERT_EQ(sprites->Engine()->Width, dx->Surface()->Width());
  TDirectDrawSurface* back = dx->Surface();
  const uint32_t red = back->ColorMatch(clRed), blue = back->ColorMatch(clBlue), green = back->ColorMatch(clLime);

  auto* bg = new TBackgroundSprite(sprites->Engine());
  bg->Image = cells;
  bg->SetMapSize(1, 1);
  bg->SetChips(0, 0, 2);  // green
  bg->X = 8;
  bg->Y = 8;
  bg->SetZ(-1);
  auto* s = new TImageSprite(sprites->Engine());
  s->SetImage(cells);
  s->FirstPattern = 1;  // blue
  s->X = 10;
  s->Y = 10;
  auto* wrapped = new TImageSprite(sprites->Engine());
  wrapped->SetImage(cells);
  wrapped->Wrap = true;
  wrapped->X = dx->Surface()->Width() + 4 + 20;  // one surface width plus one sprite width further: at 20
  wrapped->Y = 30;
  back->Fill(0);
  sprites->Draw();
  EXPECT_EQ(back->Pixels(8, 8), green);
  EXPECT_EQ(back->Pixels(10, 10), blue);
  EXPECT_EQ(back->Pixels(11, 11), green) << "the key pixel shows the background sprite";
  EXPECT_EQ(back->Pixels(20, 30), red);
  EXPECT_EQ(sprites->Engine()->DrawCount(), 3);
  // The background collides through its collision map only.
  EXPECT_EQ(s->CheckCollisions(), 0) << "a background is created not collidable";
  bg->SetCollidable(true);
  EXPECT_EQ(s->CheckCollisions(), 1);
  bg->SetCollisionMap(0, 0, false);
  EXPECT_EQ(s->CheckCollisions(), 0);
  dx->Finalize();
  EXPECT_EQ(sprites->Engine()->Surface(), nullptr);
  g_log.clear();
  sprites->Draw();  // no display: nothing, no crash
  delete dx;
  EXPECT_EQ(sprites->DXDraw(), nullptr);
}

// A game-like script: each frame moves the tree, lets the bomb test its collisions, draws, and
// frees the dead after the frame.
TEST_F(EngineFixture, ScriptedHundredFramesOfABombFallingOntoAHouse) {
  auto* house = new TTestSprite(engine.get(), "house");
  house->X = 40;
  house->Y = 40;
  house->SetZ(1);
  auto* bomb = new TTestSprite(engine.get(), "bomb", 0, 0.0125);  // 0.5 px a frame
  bomb->X = 40;
  bomb->SetZ(2);
  bomb->Killer = true;
  bomb->DiesOnHit = true;
  auto* cloud = new TTestSprite(engine.get(), "cloud", 0.025, 0);  // 1 px a frame, wraps nothing
  cloud->SetZ(3);
  int hitFrame = 0;
  for (int frame = 1; frame <= 100; ++frame) {
    engine->Move(40);
    if (!hitFrame && bomb->CheckCollisions() > 0) hitFrame = frame;
    g_log.clear();
    engine->Draw();
    if (frame == 10) {
      EXPECT_EQ(g_log, (std::vector<std::string>{"house", "bomb", "cloud"}));
    }
    if (frame == 61) {
      EXPECT_EQ(bomb->BoundsRect(), TRect(40, 30, 50, 40)) << "touching the roof: no hit yet";
    }
    if (frame == hitFrame) {
      EXPECT_TRUE(bomb->Dead());
      EXPECT_EQ(engine->AllCount(), 3) << "the dead stay until the frame is over";
      EXPECT_EQ(g_log, (std::vector<std::string>{"house", "bomb", "cloud"}));
    }
    engine->FreeDead();
    if (frame == hitFrame) {
      EXPECT_EQ(g_log, (std::vector<std::string>{"house", "bomb", "cloud", "free bomb", "free house"}))
          << "last marked first";
    }
  }
  EXPECT_EQ(hitFrame, 62);
  EXPECT_EQ(engine->AllCount(), 1);
  EXPECT_EQ(engine->Items(0), cloud);
  EXPECT_EQ(cloud->X, 100);
  g_log.clear();
  engine->Draw();
  EXPECT_TRUE(g_log.empty()) << "the cloud has left the surface";
  EXPECT_EQ(engine->DrawCount(), 0);
}
