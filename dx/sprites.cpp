#include "dx/sprites.h"

#include <algorithm>
#include <cmath>

bool OverlapRect(const TRect& A, const TRect& B) {
  return A.Left < B.Right && A.Right > B.Left && A.Top < B.Bottom && A.Bottom > B.Top;
}

// ---------------------------------------------------------------------------------------------
TSprite::TSprite(TSprite* AParent) : FParent(AParent) {
  if (!FParent) return;
  FParent->FList.push_back(this);
  FParent->AddToDrawList(this);
  FEngine = dynamic_cast<TSpriteEngine*>(FParent);
  if (!FEngine) FEngine = FParent->FEngine;
  if (FEngine) ++FEngine->FAllCount;
}

TSprite::~TSprite() {
  Clear();
  if (FParent) {
    if (FEngine) {
      --FEngine->FAllCount;
      auto& dead = FEngine->FDeadList;
      dead.erase(std::remove(dead.begin(), dead.end(), this), dead.end());
    }
    FParent->Remove(this);
  }
}

// Among equal Z the newest goes first, so it is drawn under the older ones.
void TSprite::AddToDrawList(TSprite* Sprite) {
  auto at = std::lower_bound(FDrawList.begin(), FDrawList.end(), Sprite->FZ,
                             [](const TSprite* S, int Z) { return S->FZ < Z; });
  FDrawList.insert(at, Sprite);
}

void TSprite::Remove(TSprite* Sprite) {
  FList.erase(std::remove(FList.begin(), FList.end(), Sprite), FList.end());
  FDrawList.erase(std::remove(FDrawList.begin(), FDrawList.end(), Sprite), FDrawList.end());
  if (FList.empty()) {
    FList.shrink_to_fit();
    FDrawList.shrink_to_fit();
  }
}

TSprite* TSprite::Items(int Index) const {
  if (FList.empty()) throw ESpriteError(Format(SDXListIndex, {Index}));
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", {Index}));
  return FList[static_cast<size_t>(Index)];
}

void TSprite::Clear() {
  while (!FList.empty()) delete FList.back();
}

void TSprite::MarkDead() {
  if (!FEngine || FDead) return;
  FDead = true;
  FEngine->FDeadList.push_back(this);
}

void TSprite::SetZ(int Value) {
  if (Value == FZ) return;
  FZ = Value;
  if (!FParent) return;
  auto& dl = FParent->FDrawList;
  dl.erase(std::remove(dl.begin(), dl.end(), this), dl.end());
  FParent->AddToDrawList(this);
}

double TSprite::WorldX() const { return FParent ? FParent->WorldX() + X : X; }
double TSprite::WorldY() const { return FParent ? FParent->WorldY() + Y : Y; }

void TSprite::DoCollision(TSprite*, bool&) {}
void TSprite::DoMove(int) {}

TRect TSprite::GetBoundsRect() {
  const int x = static_cast<int>(std::trunc(WorldX())), y = static_cast<int>(std::trunc(WorldY()));
  return TRect(x, y, x + Width, y + Height);
}

bool TSprite::TestCollision(TSprite*) { return true; }

void TSprite::Move(int MoveCount) {
  if (!FMovable) return;
  DoMove(MoveCount);
  // By index: a sprite may create children while it moves.
  for (size_t i = 0; i < FList.size(); ++i) FList[i]->Move(MoveCount);
}

void TSprite::Draw() {
  if (!FVisible) return;
  if (FEngine && OverlapRect(GetBoundsRect(), FEngine->FSurfaceRect)) {
    DoDraw();
    ++FEngine->FDrawCount;
  }
  for (size_t i = 0; i < FDrawList.size(); ++i) FDrawList[i]->Draw();
}

int TSprite::CheckCollisions() {
  if (!FEngine || FDead || !FCollidable) return 0;
  TSpriteEngine* e = FEngine;
  e->FCollisionCount = 0;
  e->FCollisionDone = false;
  e->FCollisionRect = GetBoundsRect();
  e->FCollisionSprite = this;
  CollisionVisit(e);
  e->FCollisionSprite = nullptr;
  return e->FCollisionCount;
}

// Depth first over Node's children; the tested sprite is the engine's collision sprite.
void TSprite::CollisionVisit(TSprite* Node) {
  TSpriteEngine* e = FEngine;
  for (size_t i = 0; i < Node->FList.size() && !e->FCollisionDone; ++i) {
    TSprite* s = Node->FList[i];
    if (s != this && s->FCollidable && OverlapRect(s->GetBoundsRect(), e->FCollisionRect) && TestCollision(s) &&
        s->TestCollision(this)) {
      ++e->FCollisionCount;
      DoCollision(s, e->FCollisionDone);
      if (!FCollidable || FDead) e->FCollisionDone = true;
    }
    if (e->FCollisionDone) return;
    if (i < Node->FList.size() && Node->FList[i] == s && s->FCollidable) CollisionVisit(s);
  }
}

// ---------------------------------------------------------------------------------------------
void TImageSprite::SetImage(TPictureCollectionItem* Value) {
  FImage = Value;
  if (FImage) {
    Width = FImage->Width();
    Height = FImage->Height();
  } else {
    Width = Height = 0;
  }
}

int TImageSprite::DrawnPattern() const { return static_cast<int>(std::trunc(FramePos)) + FirstPattern; }

TRect TImageSprite::DrawRect() {
  TRect r = GetBoundsRect();
  if (!FImage) return r;
  const int dx = (Width - FImage->Width()) / 2, dy = (Height - FImage->Height()) / 2;
  return TRect(r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy);
}

void TImageSprite::DoDraw() {
  if (!FImage || !Engine()) return;
  const TRect r = DrawRect();
  FImage->Draw(Engine()->Surface(), r.Left, r.Top, DrawnPattern());
}

void TImageSprite::DoMove(int MoveCount) {
  FramePos += MoveCount * FrameSpeed;
  if (FrameLooped) {
    if (FrameCount < 1) {
      FramePos = 0;
    } else {
      FramePos = std::fmod(FramePos, FrameCount);
      if (FramePos < 0) FramePos += FrameCount;
    }
  } else {
    if (FramePos >= FrameCount) {
      FramePos = FrameCount - 1;
      FrameSpeed = 0;
    }
    if (FramePos < 0) {
      FramePos = 0;
      FrameSpeed = 0;
    }
  }
}

TRect TImageSprite::GetBoundsRect() {
  int x = static_cast<int>(std::trunc(WorldX())), y = static_cast<int>(std::trunc(WorldY()));
  if (Wrap && Engine()) {
    const TRect& s = Engine()->SurfaceRect();
    auto wrap = [](int V, int Edge, int Size) {
      const int m = Edge + Size;
      if (m <= 0) return V;
      V %= m;
      if (V < 0) V += m;
      if (V > Edge) V -= m;
      return V;
    };
    x = wrap(x, s.Right, Width);
    y = wrap(y, s.Bottom, Height);
  }
  return TRect(x, y, x + Width, y + Height);
}

// The draw rectangle cut to the size of the pattern drawn now.
TRect TImageSprite::PatternBox() {
  TRect r = DrawRect();
  if (!FImage) return r;
  const TRect p = FImage->PatternRect(DrawnPattern());
  const int w = FImage->Initialized() ? p.Right - p.Left : FImage->Width();
  const int h = FImage->Initialized() ? p.Bottom - p.Top : FImage->Height();
  return TRect(r.Left, r.Top, std::min(r.Right, r.Left + w), std::min(r.Bottom, r.Top + h));
}

bool TImageSprite::TestCollision(TSprite* Sprite) {
  auto* other = dynamic_cast<TImageSprite*>(Sprite);
  if (other && PatternCollision) return OverlapRect(PatternBox(), other->PatternBox());
  return true;
}

// ---------------------------------------------------------------------------------------------
TBackgroundSprite::TBackgroundSprite(TSprite* AParent) : TSprite(AParent) { SetCollidable(false); }

void TBackgroundSprite::SetMapSize(int AWidth, int AHeight) {
  if (AWidth == FMapWidth && AHeight == FMapHeight) return;
  if (AWidth < 1 || AHeight < 1) AWidth = AHeight = 0;
  FMapWidth = AWidth;
  FMapHeight = AHeight;
  const size_t n = static_cast<size_t>(AWidth) * static_cast<size_t>(AHeight);
  FMap.assign(n, 0);
  FCollisionMap.assign(n, 1);
}

int TBackgroundSprite::Chips(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FMapWidth || Y >= FMapHeight) return -1;
  return FMap[static_cast<size_t>(Y) * static_cast<size_t>(FMapWidth) + static_cast<size_t>(X)];
}
void TBackgroundSprite::SetChips(int X, int Y, int Value) {
  if (X < 0 || Y < 0 || X >= FMapWidth || Y >= FMapHeight) return;
  FMap[static_cast<size_t>(Y) * static_cast<size_t>(FMapWidth) + static_cast<size_t>(X)] = Value;
}
bool TBackgroundSprite::CollisionMap(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FMapWidth || Y >= FMapHeight) return false;
  return FCollisionMap[static_cast<size_t>(Y) * static_cast<size_t>(FMapWidth) + static_cast<size_t>(X)] != 0;
}
void TBackgroundSprite::SetCollisionMap(int X, int Y, bool Value) {
  if (X < 0 || Y < 0 || X >= FMapWidth || Y >= FMapHeight) return;
  FCollisionMap[static_cast<size_t>(Y) * static_cast<size_t>(FMapWidth) + static_cast<size_t>(X)] = Value ? 1 : 0;
}

int TBackgroundSprite::CellWidth() const { return Image ? Image->Width() : 0; }
int TBackgroundSprite::CellHeight() const { return Image ? Image->Height() : 0; }

void TBackgroundSprite::DoDraw() {
  if (!Image || FMapWidth == 0 || !Engine() || !Engine()->Surface()) return;
  const int cw = CellWidth(), ch = CellHeight();
  if (cw <= 0 || ch <= 0) return;
  const TRect s = Engine()->SurfaceRect();
  const int ox = static_cast<int>(std::trunc(WorldX())), oy = static_cast<int>(std::trunc(WorldY()));
  auto floorDiv = [](int A, int B) { return A >= 0 ? A / B : -((-A + B - 1) / B); };
  if (!Tile) {
    // Only the cells that fall on the surface.
    const int x0 = std::max(0, floorDiv(s.Left - ox, cw)), y0 = std::max(0, floorDiv(s.Top - oy, ch));
    const int x1 = std::min(FMapWidth - 1, floorDiv(s.Right - ox, cw));
    const int y1 = std::min(FMapHeight - 1, floorDiv(s.Bottom - oy, ch));
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        const int v = Chips(x, y);
        if (v >= 0) Image->Draw(Engine()->Surface(), ox + x * cw, oy + y * ch, v);
      }
    return;
  }
  // The map repeats over the whole surface, with one extra row and column on each side.
  const int startX = floorDiv(s.Left - ox, cw) - 1, startY = floorDiv(s.Top - oy, ch) - 1;
  const int endX = floorDiv(s.Right - ox, cw) + 1, endY = floorDiv(s.Bottom - oy, ch) + 1;
  for (int y = startY; y <= endY; ++y)
    for (int x = startX; x <= endX; ++x) {
      const int mx = ((x % FMapWidth) + FMapWidth) % FMapWidth, my = ((y % FMapHeight) + FMapHeight) % FMapHeight;
      const int v = Chips(mx, my);
      if (v >= 0) Image->Draw(Engine()->Surface(), ox + x * cw, oy + y * ch, v);
    }
}

TRect TBackgroundSprite::GetBoundsRect() {
  if (Tile && Engine()) return Engine()->SurfaceRect();
  if (!Image) return TRect();
  const int x = static_cast<int>(std::trunc(WorldX())), y = static_cast<int>(std::trunc(WorldY()));
  return TRect(x, y, x + FMapWidth * CellWidth(), y + FMapHeight * CellHeight());
}

bool TBackgroundSprite::TestCollision(TSprite* Sprite) {
  const int cw = CellWidth(), ch = CellHeight();
  if (cw <= 0 || ch <= 0 || FMapWidth == 0) return false;
  const TRect o = Sprite->BoundsRect();
  const int ox = static_cast<int>(std::trunc(WorldX())), oy = static_cast<int>(std::trunc(WorldY()));
  for (int y = 0; y < FMapHeight; ++y)
    for (int x = 0; x < FMapWidth; ++x)
      if (CollisionMap(x, y) &&
          OverlapRect(TRect(ox + x * cw, oy + y * ch, ox + (x + 1) * cw, oy + (y + 1) * ch), o))
        return true;
  return false;
}

// ---------------------------------------------------------------------------------------------
TSpriteEngine::TSpriteEngine(TSprite* AParent) : TSprite(AParent) {}

TSpriteEngine::~TSpriteEngine() {
  // The children leave while the engine is still whole.
  Clear();
}

void TSpriteEngine::SetSurface(TDirectDrawSurface* Value) {
  FSurface = Value;
  if (FSurface) {
    FSurfaceRect = FSurface->ClientRect();
    Width = FSurfaceRect.Right - FSurfaceRect.Left;
    Height = FSurfaceRect.Bottom - FSurfaceRect.Top;
  } else {
    FSurfaceRect = TRect();
    Width = Height = 0;
  }
}

void TSpriteEngine::FreeDead() {
  while (!FDeadList.empty()) delete FDeadList.back();  // the sprite takes itself off the list
}

void TSpriteEngine::Draw() {
  FDrawCount = 0;
  TSprite::Draw();
}

// ---------------------------------------------------------------------------------------------
TCustomDXSpriteEngine::TCustomDXSpriteEngine(TComponent* AOwner)
    : TComponent(AOwner), FEngine(std::make_unique<TSpriteEngine>(nullptr)) {}

TCustomDXSpriteEngine::~TCustomDXSpriteEngine() {
  SetDXDraw(nullptr);
  FEngine.reset();
}

void TCustomDXSpriteEngine::SetDXDraw(TCustomDXDraw* Value) {
  TCustomDXDraw::Rebind(this, FDXDraw, Value,
                        [this](TCustomDXDraw* S, TDXDrawNotifyType N) { DXDrawNotify(S, N); });
}

void TCustomDXSpriteEngine::Draw() {
  if (FDXDraw && FDXDraw->Initialized()) FEngine->Draw();
}

void TCustomDXSpriteEngine::DXDrawNotify(TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType) {
  switch (NotifyType) {
    case dnDestroying:
      FDXDraw = nullptr;
      FEngine->SetSurface(nullptr);
      break;
    case dnInitialize: FEngine->SetSurface(Sender->Surface()); break;
    case dnFinalize: FEngine->SetSurface(nullptr); break;
    default: break;
  }
}

void TCustomDXSpriteEngine::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDXDraw) {
    FDXDraw->UnregisterListener(this);
    FDXDraw = nullptr;
    FEngine->SetSurface(nullptr);
  }
}
