// A line of text in the middle of the game display ("press space", "PAUSE", the level, "GAME
// OVER"), drawn twice with the wave blend so that it wobbles strongly at first and calms down
// over about five seconds. It can remove itself after a number of moves and tells its owner
// when it is gone.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "dx/sprites.h"
#include "platform/gui/graphics.h"

class TCustomDXDraw;
class TCustomDXSpriteEngine;
class TDirectDrawSurface;

class TMessageSprite : public TSprite {
 public:
  // Lifetime: moves before the sprite dies by itself; 0 or less: until its owner frees it.
  // OnGone is called when the sprite is destroyed, whoever frees it; it must only forget the
  // sprite (and may ask for later work), never free anything.
  TMessageSprite(TCustomDXDraw* DXDraw, TCustomDXSpriteEngine* SpriteEngine, const std::string& Text, int FontSize,
                 const std::string& FontName, TFontStyles FontStyle, int Lifetime,
                 std::function<void(TMessageSprite* Sender)> OnGone = nullptr);
  ~TMessageSprite() override;
  std::string ClassName() const override { return "TMessageSprite"; }

  const std::string& Text() const { return FText; }
  int Lifetime() const { return FLifetime; }
  uint32_t Elapsed() const { return FElapsed; }
  // The wobble now: 2501 at creation, 5 after one second, 1 from five seconds on.
  int Amplitude() const;
  TDirectDrawSurface* TextSurface() const { return FTextSurface.get(); }
  // Where the text is drawn on a surface of that size.
  TPoint Origin(int SurfaceWidth, int SurfaceHeight) const;

  std::function<void(TMessageSprite* Sender)> OnGone;

 protected:
  void DoMove(int MoveCount) override;
  void DoDraw() override;

 private:
  TCustomDXDraw* FDXDraw;
  std::string FText;
  int FLifetime;
  std::unique_ptr<TDirectDrawSurface> FTextSurface;
  uint32_t FElapsed = 0, FLastTick = 0;
};
