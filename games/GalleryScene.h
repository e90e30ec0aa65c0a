// The gallery game: a picture hidden under a grid of cells. One covered cell at a time shows a
// word; typing it without a wrong key in time uncovers the cell, a wrong key loses it, and a
// time-out moves the word to another cell. When every cell is uncovered or lost the share of
// uncovered cells is shown, the score is saved and the picture's title slides in. The scene
// drives the host window's display and sprite engine, steps a frame per tick of its frame timer,
// counts time and the lock after a wrong key on a 100 ms clock, and takes keys through the
// application's message hook.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dx/dxtimer.h"
#include "games/GameScene.h"
#include "games/GalleryConfig.h"
#include "platform/core/classes.h"
#include "platform/gui/controls.h"
#include "tutor/ZLIBArchive.h"

class TCustomDXDraw;
class TCustomDXSound;
class TCustomDXSpriteEngine;
class TDXImageList;
class TEzRgnBtn;
class TMessageSprite;
class TPictureCollectionItem;

class TGalleryScene : public TGameScene {
 public:
  static constexpr int kAreaLeft = 36, kAreaTop = 38, kAreaWidth = 728, kAreaHeight = 486;
  static constexpr int kMaxCells = 29;

  // TimerHost: where the frame timer gets its idle steps (the application when nullptr).
  // RealClock false: the 100 ms clock never runs by itself and ClockTick is called by the caller.
  TGalleryScene(TCustomDXDraw* DXDraw, TCustomDXSound* DXSound, TCustomDXSpriteEngine* SpriteEngine,
                TDXTimerHost* TimerHost = nullptr, bool RealClock = true);
  ~TGalleryScene() override;
  std::string ClassName() const override { return "TGalleryScene"; }

  // Words, interface, theme and the first picture. False (after the message) when fewer than 30
  // words come; a missing or broken archive, member or picture raises.
  bool PrepareGame();
  // A new game on the current picture, paused until the first key.
  void NewGame();
  void ChoosePicture();
  void NewWord();
  // The 100 ms clock's step (nothing unless the clock runs and the game is being played).
  void ClockTick();
  // One frame (the frame timer's event).
  void FrameStep(int LagCount);
  void KeyDownMessage(uint16_t Key) override;
  void CharMessage(uint8_t Code) override;
  void TogglePause();
  // Leaves once: clears the display, stops both timers, puts the key hook back, shows the top-ten
  // page after a finished game (else the page that started it), lets a course go on and frees the
  // scene later.
  void ExitGallery();
  void SaveGalleryScore();
  void Notification(TComponent* AComponent, TOperation Operation) override;

  bool ClockEnabled() const { return FClockOn; }
  void SetClockEnabled(bool On);
  // The pattern of the picture under cell I: its column and row in the picture's own grid
  // (the picture may hold more columns than the game's grid); -1 when the picture does not reach.
  int CellPattern(int I) const;
  TPoint CellOrigin(int I) const;
  int Percent() const;
  bool Exited() const { return FExited; }

  TCustomDXDraw* DXDraw;
  TCustomDXSound* DXSound;
  TCustomDXSpriteEngine* SpriteEngine;
  TZLBArchive ThemeArchive;
  TDXImageList* ImageList = nullptr;
  TDXTimer* Timer = nullptr;
  TTimer* Clock = nullptr;
  TEzRgnBtn *PauseButton = nullptr, *EndButton = nullptr, *NewButton = nullptr, *RepeatButton = nullptr;
  TStringList Words;
  std::vector<TGalleryPicture> Titles;

  std::string PreferredLetters, AllowedLetters, ThemeFile;
  int32_t MaxTimePerChar = 1000, ColCnt = 4, RowCnt = 3, GameTime = 0, WordsCnt = 60;

  uint8_t State = 3;  // 1 playing, 3 paused (also before the first key), 4 finished
  bool Paused = true;
  int32_t Rows = 1, Cols = 1, CellWidth = kAreaWidth, CellHeight = kAreaHeight;
  uint8_t CellState[kMaxCells * kMaxCells] = {};  // 0 covered, 1 uncovered, 2 lost
  int32_t CurrentCell = -1;
  std::string Word;
  int32_t WordLength = 0, Position = 1;
  uint32_t WordStart = 0;
  int32_t TimeLeft = 0, Lock = 0;
  int32_t CellsDone = 0, CellsLost = 0, CorrectKeys = 0, PlayTime = 0;
  double Score = 0;
  std::string SpeedText;
  std::string PictureFile, PictureTitle;
  double TitleY = 0;
  TMessageSprite* Message = nullptr;
  int32_t PatternColumns = 0, PatternRows = 0;  // the picture's own grid of cells

 private:
  void LoadInterface();
  void DrawScene();
  void DrawTitleBar(const std::string& Title, int CenterX, int Y);
  void ShowMessage(const std::string& Text);
  void RemoveMessage();
  void Finish();
  void CheckFinished();
  void FreeSprites();
  TPictureCollectionItem* FindItem(const std::string& Name) const;
  bool FRealClock, FClockOn = false, FExited = false, FClearing = false;
};

// The scene of the running gallery game, or nullptr.
extern TGalleryScene* GalleryScene;

// Where the scene's words come from: GenerateWords over the program's word list unless replaced
// (tests and benchmarks give their own list). Appends to List, returns its count.
extern std::function<int(TStrings* List, const std::string& Allowed, const std::string& Preferred, int Count)>
    GalleryWordSource;
// How the scene shows "too few words" (an information box unless replaced).
extern std::function<void(const std::string& Text)> ShowGalleryMessage;

// Starting a game, for the games page and a course step.
struct TGalleryStart {
  int LevelIndex = 0;  // into the configuration's levels
  std::string ThemeFile;  // a theme archive
  std::string AllowedLetters, PreferredLetters;
  TDXTimerHost* TimerHost = nullptr;
  bool RealClock = true;
};
// Creates the scene on the host window's display and starts a game. False when no game starts:
// too few words (the scene's message), or an error (shown through ReportGameError); no scene and
// no key hook are left behind.
bool StartGalleryGame(const TGalleryStart& Start);
