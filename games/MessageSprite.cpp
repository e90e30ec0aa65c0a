#include "games/MessageSprite.h"

#include "dx/dxdraws.h"
#include "platform/core/fileutils.h"

namespace {
constexpr TColor kTextColour = 0xFFFFFF;
constexpr int kCentralEuropeanCharset = 238;
}  // namespace

TMessageSprite::TMessageSprite(TCustomDXDraw* DXDraw, TCustomDXSpriteEngine* SpriteEngine, const std::string& Text,
                               int FontSize, const std::string& FontName, TFontStyles FontStyle, int Lifetime,
                               std::function<void(TMessageSprite* Sender)> AOnGone)
    : TSprite(SpriteEngine->Engine()),
      OnGone(std::move(AOnGone)),
      FDXDraw(DXDraw),
      FText(Text),
      FLifetime(Lifetime),
      FTextSurface(std::make_unique<TDirectDrawSurface>(DXDraw->DDraw())) {
  FTextSurface->SetSize(1, 1);
  auto SetFont = [&](TCanvas* C) {
    C->Font()->SetSize(FontSize);
    C->Font()->SetStyle(FontStyle);
    C->Font()->SetName(FontName);
    C->Font()->SetCharset(kCentralEuropeanCharset);
  };
  TCanvas* C = FTextSurface->Canvas();
  SetFont(C);
  C->Brush()->SetColor(0x00FF00);
  const TSize Extent = C->TextExtent(Text);
  FTextSurface->ReleaseCanvas();
  Width = Extent.cx;
  Height = Extent.cy;
  FTextSurface->SetSize(std::max(Width, 1), std::max(Height, 1));
  FTextSurface->Fill(0);
  C = FTextSurface->Canvas();
  SetFont(C);
  C->Brush()->SetColor(0);
  C->Font()->SetColor(kTextColour);
  // Shifted by two pixels, as the message has always looked: its last two columns and rows fall off.
  C->TextOut(2, 2, Text);
  FTextSurface->ReleaseCanvas();
  FLastTick = GetTickCount();
}

TMessageSprite::~TMessageSprite() {
  // Told before the sprite leaves the engine's list: the owner only forgets it here.
  if (OnGone) {
    auto Notify = std::move(OnGone);
    OnGone = nullptr;
    Notify(this);
  }
}

int TMessageSprite::Amplitude() const { return static_cast<int>(2500.0 / (FElapsed / 2.0 + 1)) + 1; }

TPoint TMessageSprite::Origin(int SurfaceWidth, int SurfaceHeight) const {
  return TPoint((SurfaceWidth - Width) / 2, (SurfaceHeight - Height) / 2);
}

void TMessageSprite::DoMove(int MoveCount) {
  TSprite::DoMove(MoveCount);
  const uint32_t Now = GetTickCount();
  if (Now != FLastTick) {
    FElapsed += Now - FLastTick;
    FLastTick = Now;
  }
  if (FLifetime > 0) {
    --FLifetime;
    if (FLifetime == 0) MarkDead();
  }
}

void TMessageSprite::DoDraw() {
  TDirectDrawSurface* Dest = Engine() ? Engine()->Surface() : nullptr;
  if (!Dest || Width <= 0 || Height <= 0) return;
  FTextSurface->SetTransparentColor(FTextSurface->Pixels(0, 0));
  const TPoint O = Origin(Dest->Width(), Dest->Height());
  const int Amp = Amplitude();
  const int Phase = static_cast<int>(FElapsed >> 2);
  const TRect Src = FTextSurface->ClientRect();
  Dest->DrawWaveBlended(O.X + 1, O.Y + 1, Width, Height, Src, FTextSurface.get(), true, Amp, Height, Phase, 60);
  Dest->DrawWaveBlended(O.X, O.Y, Width, Height, Src, FTextSurface.get(), true, Amp, Height, Phase, 75);
}
