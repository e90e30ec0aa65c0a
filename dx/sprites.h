// The sprite tree drawn onto a display's back surface: every game object is a sprite under one
// engine. Each frame the game moves the tree, frees the sprites that died and draws it in Z order.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dx/dximagelist.h"

VX_DECLARE_EXCEPTION(ESpriteError, EDirectXError)

// True when A and B overlap; touching edges do not count.
bool OverlapRect(const TRect& A, const TRect& B);

class TSpriteEngine;

class TSprite : public TObject {
 public:
  explicit TSprite(TSprite* AParent);
  ~TSprite() override;
  std::string ClassName() const override { return "TSprite"; }

  TSpriteEngine* Engine() const { return FEngine; }
  TSprite* Parent() const { return FParent; }
  int Count() const { return static_cast<int>(FList.size()); }
  // Raises ESpriteError without children, EListError when out of range.
  TSprite* Items(int Index) const;
  // Frees the children, last first.
  void Clear();
  // Marks the sprite for the engine's FreeDead (once).
  void MarkDead();
  void Move(int MoveCount);
  void Draw();
  int CheckCollisions();

  bool Dead() const { return FDead; }
  bool Collidable() const { return FCollidable; }
  void SetCollidable(bool V) { FCollidable = V; }
  bool Movable() const { return FMovable; }
  void SetMovable(bool V) { FMovable = V; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool V) { FVisible = V; }
  double X = 0, Y = 0;  // relative to the parent
  int Z() const { return FZ; }
  void SetZ(int Value);
  int Width = 0, Height = 0;
  double WorldX() const;
  double WorldY() const;
  TRect BoundsRect() { return GetBoundsRect(); }

 protected:
  virtual void DoCollision(TSprite* Sprite, bool& Done);
  virtual void DoDraw() {}
  virtual void DoMove(int MoveCount);
  virtual TRect GetBoundsRect();
  virtual bool TestCollision(TSprite* Sprite);

 private:
  friend class TSpriteEngine;
  void AddToDrawList(TSprite* Sprite);
  void Remove(TSprite* Sprite);
  void CollisionVisit(TSprite* Node);
  TSpriteEngine* FEngine = nullptr;
  TSprite* FParent = nullptr;
  std::vector<TSprite*> FList, FDrawList;
  bool FDead = false, FCollidable = true, FMovable = true, FVisible = true;
  int FZ = 0;
};

class TImageSprite : public TSprite {
 public:
  explicit TImageSprite(TSprite* AParent) : TSprite(AParent) {}
  std::string ClassName() const override { return "TImageSprite"; }
  TPictureCollectionItem* Image() const { return FImage; }
  // Takes the image's cell size as the sprite's size.
  void SetImage(TPictureCollectionItem* Value);
  int FrameCount = 0;
  bool FrameLooped = false;
  double FramePos = 0, FrameSpeed = 0;
  int FirstPattern = 0;
  bool PatternCollision = false;
  bool Wrap = false;
  // The pattern drawn now and the rectangle it is drawn at.
  int DrawnPattern() const;
  TRect DrawRect();

 protected:
  void DoDraw() override;
  void DoMove(int MoveCount) override;
  TRect GetBoundsRect() override;
  bool TestCollision(TSprite* Sprite) override;

 private:
  TRect PatternBox();
  TPictureCollectionItem* FImage = nullptr;
};

class TBackgroundSprite : public TSprite {
 public:
  explicit TBackgroundSprite(TSprite* AParent);
  std::string ClassName() const override { return "TBackgroundSprite"; }
  TPictureCollectionItem* Image = nullptr;
  bool Tile = false;
  int MapWidth() const { return FMapWidth; }
  int MapHeight() const { return FMapHeight; }
  void SetMapSize(int AWidth, int AHeight);
  // Pattern index of a cell; -1 outside the map. Writing outside the map does nothing.
  int Chips(int X, int Y) const;
  void SetChips(int X, int Y, int Value);
  bool CollisionMap(int X, int Y) const;
  void SetCollisionMap(int X, int Y, bool Value);

 protected:
  void DoDraw() override;
  TRect GetBoundsRect() override;
  bool TestCollision(TSprite* Sprite) override;

 private:
  int CellWidth() const;
  int CellHeight() const;
  int FMapWidth = 0, FMapHeight = 0;
  std::vector<int32_t> FMap;
  std::vector<uint8_t> FCollisionMap;
};

class TSpriteEngine : public TSprite {
 public:
  explicit TSpriteEngine(TSprite* AParent);
  ~TSpriteEngine() override;
  std::string ClassName() const override { return "TSpriteEngine"; }
  int AllCount() const { return FAllCount; }
  int CollisionCount() const { return FCollisionCount; }
  int DrawCount() const { return FDrawCount; }
  TDirectDrawSurface* Surface() const { return FSurface; }
  const TRect& SurfaceRect() const { return FSurfaceRect; }
  void SetSurface(TDirectDrawSurface* Value);
  // Frees the sprites marked dead, last marked first.
  void FreeDead();
  void Draw();

 private:
  friend class TSprite;
  int FAllCount = 0, FCollisionCount = 0, FDrawCount = 0;
  bool FCollisionDone = false;
  TRect FCollisionRect;
  TSprite* FCollisionSprite = nullptr;
  std::vector<TSprite*> FDeadList;
  TDirectDrawSurface* FSurface = nullptr;
  TRect FSurfaceRect;
};

class TCustomDXSpriteEngine : public TComponent {
 public:
  explicit TCustomDXSpriteEngine(TComponent* AOwner);
  ~TCustomDXSpriteEngine() override;
  std::string ClassName() const override { return "TCustomDXSpriteEngine"; }
  TCustomDXDraw* DXDraw() const { return FDXDraw; }
  void SetDXDraw(TCustomDXDraw* Value);
  TSpriteEngine* Engine() const { return FEngine.get(); }
  void Move(int MoveCount) { FEngine->Move(MoveCount); }
  void FreeDead() { FEngine->FreeDead(); }
  // Draws only onto an initialised display.
  void Draw();

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void DXDrawNotify(TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType);
  TCustomDXDraw* FDXDraw = nullptr;
  std::unique_ptr<TSpriteEngine> FEngine;
};

class TDXSpriteEngine : public TCustomDXSpriteEngine {
 public:
  using TCustomDXSpriteEngine::TCustomDXSpriteEngine;
  std::string ClassName() const override { return "TDXSpriteEngine"; }
};
