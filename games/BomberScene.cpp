#include "games/BomberScene.h"

#include <cmath>
#include <memory>

#include "controls/ezrgnbtn.h"
#include "dx/dib.h"
#include "dx/dxdraws.h"
#include "dx/dximagelist.h"
#include "dx/dxsound.h"
#include "games/GameServices.h"
#include "games/MessageSprite.h"
#include "games/TopTen.h"
#include "platform/core/fileutils.h"
#include "platform/core/random.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/ZLibPictures.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/translations.h"
#include "dbengine/storage/components/vxdb_table.h"

TBomberScene* BomberScene = nullptr;

namespace {

constexpr int kFrameInterval = 40;

int32_t RoundEven(double V) { return static_cast<int32_t>(std::nearbyint(V)); }

struct TOpenArchive {
  TZLBArchive Archive;
  explicit TOpenArchive(const std::string& FileName) { Archive.OpenArchive(FileName); }
  ~TOpenArchive() { Archive.CloseArchive(); }
};

void LoadCollection(TZLBArchive& Archive, const char* Member, TDXImageList* List) {
  try {
    Archive.ExtractAndLoad(Member, [List](TStream* S) { List->Items()->LoadFromStream(S); });
  } catch (const Exception& E) {
    throw ETownError(std::string(Member) + ": " + E.Message());
  }
  if (List->Items()->Count() == 0) throw ETownError(std::string("The picture collection ") + Member + " is empty");
}

}  // namespace

// --- bombs -----------------------------------------------------------------------------------

TBombeSprite::TBombeSprite(TBomberScene* AScene, int AColumn, int PictureIndex)
    : TImageSprite(AScene->SpriteEngine->Engine()), Scene(AScene), Column(AColumn) {
  TPictureCollectionItem* Item = Scene->Bombs->Items()->Items(PictureIndex);
  SetImage(Item);
  Letter = Item->Name().empty() ? 0 : static_cast<uint8_t>(Item->Name()[0]);
  const TTownColumn& C = Scene->Town.Columns[static_cast<size_t>(Column)];
  X = C.Left + C.Width / 2 - Width / 2;
  ExactY = -Height;
  Y = RoundEven(ExactY);
  SetZ(3);
  FrameCount = Item->PatternCount();
  FrameLooped = true;
  FrameSpeed = 0.015;
  FramePos = 0;
  PatternCollision = true;
  ++Scene->LiveBombs;
}

TBombeSprite::~TBombeSprite() { --Scene->LiveBombs; }

void TBombeSprite::Explode() {
  SetCollidable(false);
  PhaseTime = 0;
  Phase = 1;
  const int OldW = Width, OldH = Height;
  SetImage(Scene->BombExplosions->Items()->ItemByName("Explosion"));
  X += (OldW - Width) / 2;
  Y += (OldH - Height) / 2;
  FrameCount = Image() ? Image()->PatternCount() : 1;
  FrameLooped = false;
  FrameSpeed = 0.015;
  FramePos = 0;
}

void TBombeSprite::DoCollision(TSprite*, bool& Done) {
  if (Phase != 0) return;
  Explode();
  Done = true;
}

void TBombeSprite::DoMove(int MoveCount) {
  TImageSprite::DoMove(MoveCount);
  if (Phase == 0 && Scene->State == 1) {
    ExactY += MoveCount * Scene->Speed / 1000;
    Y = RoundEven(ExactY);
    TTownColumn& C = Scene->Town.Columns[static_cast<size_t>(Column)];
    const int HitLine = C.HitLine();
    const int H = Height;
    if (Y > HitLine - H) {
      Scene->Score -= Scene->ErrorPenalty;
      if (Scene->Score < Scene->ScoreFloor) Scene->Score = Scene->ScoreFloor;
      TExplodeSprite* E;
      if (C.RemainingCount != C.BuildingCount) {
        E = new TExplodeSprite(Scene, Scene->BigExplosions);
        E->Y = Scene->Town.Ground - E->Height;
        Scene->PlaySound(2);
      } else {
        E = new TExplodeSprite(Scene, Scene->MidExplosions);
        E->Y = HitLine - H;
        Scene->PlaySound(1);
      }
      if (C.RemainingCount > 0) {
        --C.RemainingCount;
        const size_t R = static_cast<size_t>(C.RemainingCount);
        // The ruin stays in the town picture for the rest of the game.
        TPictureCollectionItem* Town = Scene->TownSprite ? Scene->TownSprite->Image : nullptr;
        if (Town && C.BuildingPicture[R] && Town->PatternSurface(0))
          C.BuildingPicture[R]->Draw(Town->PatternSurface(0), C.Left, C.BuildingTop[R], 0);
        ++Scene->Town.DestroyedBuildings;
      }
      E->X = X + (Width - E->Width) / 2;
      Explode();
      ++Scene->Landed;
    }
  } else if (Phase == 0) {
    CheckCollisions();
  } else if (Phase == 1) {
    Y += MoveCount / 1000.0 * Scene->Speed;
    if (PhaseTime > 200) {
      PhaseTime = 0;
      Phase = 2;
      SetVisible(false);
      MarkDead();
    }
  }
  PhaseTime += MoveCount;
}

// --- explosions ------------------------------------------------------------------------------

TExplodeSprite::TExplodeSprite(TBomberScene* AScene, TDXImageList* AFrames)
    : TImageSprite(AScene->SpriteEngine->Engine()), Scene(AScene), Frames(AFrames) {
  SetImage(Frames->Items()->Items(0));
  SetZ(2);
  FrameCount = 1;
  FrameLooped = false;
  FrameSpeed = 0.015;
  PatternCollision = true;
}

void TExplodeSprite::DoMove(int MoveCount) {
  TImageSprite::DoMove(MoveCount);
  // Every picture of the set is shown for one frame: the sprite dies on the move after its last.
  if (FrameIndex >= Frames->Items()->Count()) {
    MarkDead();
    return;
  }
  // The frames are placed in the box of the first; the image setter would resize the sprite.
  const int W = Width, H = Height;
  SetImage(Frames->Items()->Items(FrameIndex));
  Width = W;
  Height = H;
  ++FrameIndex;
}

// --- the scene -------------------------------------------------------------------------------

TBomberScene::TBomberScene(TCustomDXDraw* ADXDraw, TCustomDXSound* ADXSound, TCustomDXSpriteEngine* ASpriteEngine,
                           TDXTimerHost* TimerHost)
    : TGameScene(ADXDraw->Owner()), DXDraw(ADXDraw), DXSound(ADXSound), SpriteEngine(ASpriteEngine) {
  DXDraw->FreeNotification(this);
  SpriteEngine->FreeNotification(this);
  if (DXSound) DXSound->FreeNotification(this);
  for (TDXImageList** L : {&TownImages, &BigExplosions, &MidExplosions, &BombExplosions, &Bombs, &InterfaceImages}) {
    *L = new TDXImageList(this);
    (*L)->SetDXDraw(DXDraw);
  }
  Timer = new TDXTimer(this, TimerHost);
  Timer->SetEnabled(false);
  Timer->OnTimer = [this](TObject*, int LagCount) { FrameStep(LagCount); };
  PauseButton = new TEzRgnBtn(this);
  EndButton = new TEzRgnBtn(this);
  for (TEzRgnBtn* B : {PauseButton, EndButton}) {
    B->SetVisible(false);
    // A space typed in the game must never click a button.
    B->SetTabStop(false);
    // Shaped like its picture: the key colour around it is neither drawn nor clickable.
    B->SetPaintMode(pmCrop);
  }
  PauseButton->OnClick = [this](TObject*) { PauseClick(); };
  EndButton->OnClick = [this](TObject*) { EndBomberGame(); };
  WaveList = new TDXWaveList(this);
  LoadSounds();
  TownSprite = new TBackgroundSprite(SpriteEngine->Engine());
  PanelSprite = new TBackgroundSprite(SpriteEngine->Engine());
  HookKeys();
}

TBomberScene::~TBomberScene() {
  // Sprites first: bombs count themselves out of the scene and point at its pictures.
  FreeSprites();
  if (Timer) Timer->OnTimer = nullptr;
  RestoreHook();
  if (BomberScene == this) BomberScene = nullptr;
}

void TBomberScene::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == SpriteEngine) {
    // The engine frees its sprites itself.
    SpriteEngine = nullptr;
    TownSprite = PanelSprite = nullptr;
    Message = nullptr;
  }
  if (AComponent == DXDraw) {
    // The message sprites' surfaces belong to the display: they go before it does.
    FreeSprites();
    DXDraw = nullptr;
  }
  if (AComponent == DXSound) DXSound = nullptr;
}

void TBomberScene::FreeSprites() {
  if (!SpriteEngine) return;
  FClearing = true;
  SpriteEngine->Engine()->Clear();
  FClearing = false;
  Message = nullptr;
  TownSprite = PanelSprite = nullptr;
}

void TBomberScene::LoadSounds() {
  if (!DXSound || !DXSound->Initialized()) return;
  TOpenArchive A(ProgramPath(vx::res::kBomberSoundArchive));
  for (const char* Name : {"exp0.wav", "exp1.wav", "exp2.wav", "error0.wav"}) {
    TWaveCollectionItem* Item = WaveList->Items()->Add();
    Item->SetName(Name);
    A.Archive.ExtractAndLoad(Name, [Item](TStream* S) { Item->Wave().LoadFromStream(S); });
  }
  // Joining an initialised sound component gives the new items their buffers; the sound device
  // itself (shared with the lessons) stays open.
  WaveList->SetDXSound(DXSound);
  SoundOn = SoundAvailable = true;
}

void TBomberScene::PlaySound(int I) {
  if (!SoundOn || !DXSound || !DXSound->Initialized() || I >= WaveList->Items()->Count()) return;
  WaveList->Items()->Items(I)->Play(false);
}

void TBomberScene::StartBomberScene() {
  if (PageHost()) PageHost()->Ping(Translations ? Translations->Lookup("bomber") : "bomber", LevelRec.AllowedLetters,
                                   LevelRec.AllowedLetters);
  Timer->SetInterval(kFrameInterval);
  Randomize();
  LoadTown(Town, TownImages->Items(), LevelRec.TownIndex);
  {
    TOpenArchive A(ProgramPath(vx::res::kBomberInterfaceArchive));
    struct {
      TEzRgnBtn* Button;
      int X, Y;
      const char* Name;
    } Buttons[] = {{PauseButton, 655, 528, "pauza"}, {EndButton, 655, 558, "koniec"}};
    TWinControl* Host = DXDraw->Parent();
    for (const auto& B : Buttons) {
      B.Button->SetParent(Host);
      B.Button->SetLeft(B.X);
      B.Button->SetTop(B.Y);
      TPicture Pic;
      const std::string Base = std::string("button-") + B.Name + "-";
      LoadPictureFromArchive(&Pic, Base + "zga.bmp", &A.Archive);
      B.Button->SetPicIdle(&Pic);
      LoadPictureFromArchive(&Pic, Base + "zap.bmp", &A.Archive);
      B.Button->SetPicUp(&Pic);
      LoadPictureFromArchive(&Pic, Base + "zap-in.bmp", &A.Archive);
      B.Button->SetPicDown(&Pic);
    }
    auto Panel = std::make_unique<TDIB>();
    A.Archive.ExtractAndLoad("panel.bmp", [&](TStream* S) { Panel->LoadFromStream(S); });
    TPictureCollectionItem* Item = InterfaceImages->Items()->Add();
    Item->SetName("panel");
    Item->Picture()->SetGraphic(std::move(Panel));
    Item->SetTransparent(false);
    InterfaceImages->Items()->Restore();
    InterfaceImages->Items()->BuildColorTable();
  }
  {
    TOpenArchive A(ProgramPath(vx::res::kBomberArchive));
    LoadCollection(A.Archive, "BIGEXPLOSION.DXG", BigExplosions);
    LoadCollection(A.Archive, "MIDEXPLOSION.DXG", MidExplosions);
    LoadCollection(A.Archive, "BOMBEXPLOSION.DXG", BombExplosions);
    LoadCollection(A.Archive, "BOMBS.DXG", Bombs);
    if (!BombExplosions->Items()->ItemByName("Explosion"))
      throw ETownError("The picture collection BOMBEXPLOSION.DXG has no item Explosion");
  }
  TPictureCollectionItem* Background = TownImages->Items()->ItemByName("background");
  TownSprite->SetMapSize(1, 1);
  TownSprite->Image = Background;
  TownSprite->SetZ(-2);
  PanelSprite->Y = Background ? Background->Height() : 0;
  PanelSprite->SetMapSize(1, 1);
  PanelSprite->Image = InterfaceImages->Items()->ItemByName("panel");
  PanelSprite->SetZ(-2);

  Speed = LevelRec.Speed;
  Level = 1;
  ShowDebug = false;
  SpawnInterval = LevelRec.Interval;
  BombsLeft = LevelRec.LevelCount;
  Landed = Errors = Hits = 0;
  Now = LastSpawn = GetTickCount();
  NextColumn = Random(Town.ColumnCount);
  Score = ScoreFloor = 0;
  LetterWeight = LevelRec.AllowedLetters.empty() ? Bombs->Items()->Count()
                                                 : static_cast<int32_t>(LevelRec.AllowedLetters.size());
  auto Factor = [this](int32_t V) {
    const double F = LetterWeight * V / 100.0;
    return F == 0 ? 1.0 : F;
  };
  HitScoreHigh = Factor(LevelRec.BombScore1);
  HitScoreLow = Factor(LevelRec.BombScore2);
  ErrorPenalty = Factor(LevelRec.ErrorScore);

  PauseButton->SetVisible(true);
  EndButton->SetVisible(true);
  State = 2;
  DXDraw->SetVisible(true);
  // Keys go to the display, which does nothing with them, so no control of a hidden page (or
  // a game button) reacts to the typing.
  if (DXDraw->CanFocus()) DXDraw->SetFocus();
  Timer->SetEnabled(true);
  ShowMessage(Translate("press space"), 24, -1);
}

void TBomberScene::ShowMessage(const std::string& Text, int Size, int Lifetime, bool EndsGame) {
  RemoveMessage();
  Message = new TMessageSprite(DXDraw, SpriteEngine, Text, Size, "Arial", fsBold, Lifetime,
                               [this, EndsGame](TMessageSprite* Gone) {
                                 if (Message == Gone) Message = nullptr;
                                 // Never end from inside the engine's loops: the frame step does
                                 // it when it is done with the sprites.
                                 if (EndsGame && !FClearing && !FEnded) FEndPending = true;
                               });
}

void TBomberScene::RemoveMessage() {
  TMessageSprite* M = Message;
  Message = nullptr;
  delete M;
}

uint8_t TBomberScene::ChooseLetter() {
  const std::string& P = LevelRec.PreferredLetters;
  const std::string& A = LevelRec.AllowedLetters;
  if (Random(2) != 0 && !P.empty()) return static_cast<uint8_t>(P[static_cast<size_t>(Random(static_cast<int32_t>(P.size())))]);
  if (!A.empty()) return static_cast<uint8_t>(A[static_cast<size_t>(Random(static_cast<int32_t>(A.size())))]);
  TPictureCollectionItem* Item = Bombs->Items()->Items(Random(Bombs->Items()->Count()));
  return Item->Name().empty() ? 0 : static_cast<uint8_t>(Item->Name()[0]);
}

void TBomberScene::SpawnBomb() {
  const uint8_t S = ChooseLetter();
  TPictureCollectionItem* Item = Bombs->Items()->ItemByName(std::string(1, static_cast<char>(S)));
  if (!Item) return;  // no picture for that letter: another try in the next frame
  const int Column = NextColumn;
  NextColumn = (NextColumn + Random(3) + 1) % Town.ColumnCount;
  new TBombeSprite(this, Column, Item->Index());
  LastSpawn = Now;
}

void TBomberScene::MatchTypedChar(uint8_t Code) {
  TSprite* Root = SpriteEngine->Engine();
  for (int I = 0; I < Root->Count(); ++I) {
    auto* B = dynamic_cast<TBombeSprite*>(Root->Items(I));
    if (!B || B->Letter != Code || B->Phase != 0) continue;
    const TTownColumn& C = Town.Columns[static_cast<size_t>(B->Column)];
    const int Limit = (C.HitLine() - B->Height) / 2;
    Score += B->Y < Limit ? HitScoreHigh : HitScoreLow;
    B->Explode();
    PlaySound(0);
    ++Hits;
    --BombsLeft;
    if (BombsLeft < 1) NextBomberLevel();
    return;
  }
  ++Errors;
  Score -= ErrorPenalty;
  if (Score < ScoreFloor) Score = ScoreFloor;
  PlaySound(3);
}

void TBomberScene::NextBomberLevel() {
  const double L = Level;
  BombsLeft = RoundEven(std::pow(L, LevelRec.LevelDelta) * LevelRec.LevelCount);
  Speed = std::pow(L, LevelRec.SpeedDelta) * LevelRec.Speed;
  SpawnInterval = RoundEven(std::pow(L, LevelRec.IntervalDelta) * LevelRec.Interval);
  Score += static_cast<double>(LevelRec.LevelScore) * LetterWeight;
  ScoreFloor = Score;
  ++Level;
  ShowMessage(Translate("LEVEL") + " " + std::to_string(Level), 36, 100);
  TSprite* Root = SpriteEngine->Engine();
  for (int I = 0; I < Root->Count(); ++I)
    if (auto* B = dynamic_cast<TBombeSprite*>(Root->Items(I)); B && B->Phase == 0) B->Explode();
}

void TBomberScene::FrameStep(int LagCount) {
  if (FEnded || !DXDraw || !SpriteEngine || !DXDraw->ReadyToDraw()) return;
  Now = GetTickCount();
  if (State == 1) {
    if (!KeyQueue.empty()) {
      const uint8_t Code = KeyQueue.front();
      KeyQueue.pop_front();
      MatchTypedChar(Code);
    }
    if (LiveBombs < LevelRec.BombsMax && static_cast<int32_t>(Now - LastSpawn) >= SpawnInterval) SpawnBomb();
  } else if (State == 3 && !Message) {
    ShowMessage(Translate("PAUSE"), 36, -1);
  }
  SpriteEngine->Move(Timer->Interval() * LagCount);
  SpriteEngine->FreeDead();
  SpriteEngine->Draw();
  if (TDirectDrawSurface* Surface = DXDraw->Surface()) {
    TCanvas* C = Surface->Canvas();
    C->Brush()->SetStyle(bsClear);
    C->Font()->SetColor(0xFFFFFF);
    C->Font()->SetSize(12);
    C->Font()->SetStyle(fsBold);
    C->SetTextAlign(TA_CENTER | TA_TOP);
    if (ShowDebug) {
      C->TextOut(100, 0, "FPS: " + std::to_string(Timer->FrameRate()));
      C->TextOut(100, 30, "Memory Blocks: " + std::to_string(SpriteEngine->Engine()->AllCount()));
    }
    C->TextOut(330, 566, std::to_string(RoundEven(Score)));
    C->TextOut(330, 533, std::to_string(Hits));
    C->TextOut(470, 533, std::to_string(Errors));
    C->TextOut(470, 566, std::to_string(Landed));
    C->TextOut(34, 559, std::to_string(Level));
    ++FrameCount;
    Surface->ReleaseCanvas();
  }
  if (Town.DestroyedBuildings == Town.TotalBuildings && State != 0) {
    State = 0;
    ShowMessage(Translate("GAME OVER"), 36, 100, true);
    SaveBomberScore();
  }
  DXDraw->Flip();
  if (FEndPending) EndBomberGame();
}

void TBomberScene::KeyDownMessage(uint16_t Key) {
  SuppressChar = false;
  if (Key == VK_PAUSE || Key == VK_F10 || Key == VK_SPACE) {
    PauseClick();
    SuppressChar = true;
  }
  if (Key == VK_SPACE || Key == VK_RETURN) {
    if (State == 2) {
      State = 1;
      RemoveMessage();
      SuppressChar = true;
    } else if (State == 0) {
      EndBomberGame();
      return;
    }
  }
  if (Key == VK_ESCAPE) {
    EndBomberGame();
    return;
  }
  if (Key == VK_F3) ShowDebug = !ShowDebug;
  if (Key == VK_F2 && SoundAvailable) SoundOn = !SoundOn;
}

void TBomberScene::CharMessage(uint8_t Code) {
  if (State == 1 && !SuppressChar) KeyQueue.push_back(Code);
  SuppressChar = false;
}

void TBomberScene::PauseClick() {
  if (State == 1) {
    State = 3;
  } else if (State == 3) {
    State = 1;
    RemoveMessage();
  }
}

void TBomberScene::EndBomberGame() {
  if (FEnded) return;
  FEnded = true;
  FEndPending = false;
  SetVisible(false);
  Timer->SetEnabled(false);
  if (DXDraw && DXDraw->ReadyToDraw() && DXDraw->Surface()) {
    DXDraw->Surface()->Fill(0);
    DXDraw->Flip();
  }
  FreeSprites();
  PauseButton->SetVisible(false);
  EndButton->SetVisible(false);
  RestoreHook();
  if (Application) Application->ReleaseObject(this);
  if (TPageHost* Host = PageHost()) {
    Host->ShowPage(TPageId::BomberTopTen);
    if (auto* Page = dynamic_cast<TBomberTopTenForm*>(Host->FindPage(TPageId::BomberTopTen)))
      Page->SetResult(Level, RoundEven(Score));
  }
  if (GameNextExercise) GameNextExercise();
}

void TBomberScene::SaveBomberScore() {
  if (!DM) throw Exception("There is no database to store the score in");
  auto Table = std::make_unique<TVXDBTable>(nullptr);
  Table->SetDatabaseName("db");
  Table->SetSessionName(DM->VXSession->SessionName());
  Table->SetTableName("bomber.DAT");
  Table->Open();
  Table->InsertRecord(std::vector<Variant>{Variant(DM->CurrentStudent), Variant(static_cast<int>(RoundEven(Score)))});
  Table->Close();
}
