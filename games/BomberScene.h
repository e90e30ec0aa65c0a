// The bomber game: bombs marked with letters fall onto a town; typing a bomb's letter blows it up
// in the air, a bomb that reaches the town destroys a building, and the game ends when every
// building is gone. The scene drives the host window's display, sprite engine and sound, steps
// one frame per tick of its frame timer and takes keys through the application's message hook.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "dx/dxtimer.h"
#include "games/GameScene.h"
#include "dx/sprites.h"
#include "games/BomberTowns.h"
#include "platform/gui/controls.h"

class TBomberScene;
class TCustomDXDraw;
class TCustomDXSpriteEngine;
class TCustomDXSound;
class TDXImageList;
class TDXWaveList;
class TEzRgnBtn;
class TMessageSprite;

class TBombeSprite : public TImageSprite {
 public:
  TBombeSprite(TBomberScene* Scene, int Column, int PictureIndex);
  ~TBombeSprite() override;
  std::string ClassName() const override { return "TBombeSprite"; }
  TBomberScene* Scene;
  int Column;
  uint8_t Letter;
  double ExactY;
  int Phase = 0;  // 0 falling, 1 exploding, 2 finished
  int PhaseTime = 0;
  void Explode();

 protected:
  void DoMove(int MoveCount) override;
  void DoCollision(TSprite* Sprite, bool& Done) override;
};

class TExplodeSprite : public TImageSprite {
 public:
  TExplodeSprite(TBomberScene* Scene, TDXImageList* Frames);
  std::string ClassName() const override { return "TExplodeSprite"; }
  TBomberScene* Scene;
  TDXImageList* Frames;
  int FrameIndex = 0;

 protected:
  void DoMove(int MoveCount) override;
};

class TBomberScene : public TGameScene {
 public:
  // TimerHost: where the frame timer gets its idle steps (the application when nullptr).
  TBomberScene(TCustomDXDraw* DXDraw, TCustomDXSound* DXSound, TCustomDXSpriteEngine* SpriteEngine,
               TDXTimerHost* TimerHost = nullptr);
  ~TBomberScene() override;
  std::string ClassName() const override { return "TBomberScene"; }

  // Prepares and starts a game with the level record, letters and town set.
  void StartBomberScene();
  // One frame (the frame timer's event).
  void FrameStep(int LagCount);
  // The key handlers of the message hook.
  void KeyDownMessage(uint16_t Key) override;
  void CharMessage(uint8_t Code) override;
  void PauseClick();
  // Ends the game once: clears the display, frees the sprites, shows the top-ten page, lets a
  // course go on and frees the scene later.
  void EndBomberGame();
  void SaveBomberScore();
  void Notification(TComponent* AComponent, TOperation Operation) override;

  TCustomDXDraw* DXDraw;
  TCustomDXSound* DXSound;
  TCustomDXSpriteEngine* SpriteEngine;
  TDXTimer* Timer = nullptr;
  TDXImageList *TownImages = nullptr, *BigExplosions = nullptr, *MidExplosions = nullptr,
               *BombExplosions = nullptr, *Bombs = nullptr, *InterfaceImages = nullptr;
  TBackgroundSprite *TownSprite = nullptr, *PanelSprite = nullptr;
  std::deque<uint8_t> KeyQueue;
  TEzRgnBtn *PauseButton = nullptr, *EndButton = nullptr;
  TDXWaveList* WaveList = nullptr;
  bool SoundOn = false, SoundAvailable = false, ShowDebug = false, SuppressChar = false;
  TMessageSprite* Message = nullptr;
  uint8_t State = 0;  // 0 over, 1 playing, 2 waiting for the start, 3 paused
  int32_t Level = 1, Hits = 0, Errors = 0, Landed = 0, LiveBombs = 0, BombsLeft = 0;
  double Score = 0, ScoreFloor = 0, Speed = 0;
  int32_t SpawnInterval = 0, LetterWeight = 0;
  double HitScoreHigh = 1, HitScoreLow = 1, ErrorPenalty = 1;
  uint32_t Now = 0, LastSpawn = 0;
  int32_t NextColumn = 0, FrameCount = 0;
  TBomberLevel LevelRec;
  TBomberTown Town;
  // Set when the game has ended (it ends once).
  bool Ended() const { return FEnded; }

  // Plays wave list item I once while the sound is on.
  void PlaySound(int I);
  void SpawnBomb();
  void MatchTypedChar(uint8_t Code);
  void NextBomberLevel();
  // Replaces the current message.
  void ShowMessage(const std::string& Text, int Size, int Lifetime, bool EndsGame = false);
  void RemoveMessage();
  uint8_t ChooseLetter();

 private:
  void LoadSounds();
  void FreeSprites();
  bool FEnded = false, FEndPending = false, FClearing = false;
};

// The scene of the running game, or nullptr.
extern TBomberScene* BomberScene;
