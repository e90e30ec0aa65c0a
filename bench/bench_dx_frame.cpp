// Frame times of the graphics framework on the software display, headless. Run by hand.
//
//   sprites: one frame of 50 colour-keyed 32 x 32 sprites drawn by the sprite engine onto the
//            800 x 600 back surface (clear, draw), in microseconds per frame; the games' budget
//            is 40 ms.
//   game:    1,500 game-like frames (background 800 x 520, panel, 20 animated sprites, a line of
//            HUD text through the surface canvas, two wave-blended messages, present on the
//            control) with the event loop run after each; median, p99 and worst frame.
// Both in full screen (800 x 600 x 16, as the host window's display asks) and in a window (the
// desktop's 32 bits).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dx/dxdraws.h"
#include "dx/dximagelist.h"
#include "dx/sprites.h"
#include "platform/gui/controls.h"
#include "bench/bench_measure.h"

namespace {

using vxbench::Percentile;

using Clock = std::chrono::steady_clock;

// A 24-bit picture filled by Pixel(x, y) (raw DIB values 0xBBGGRR; 0 is the transparent black).
template <class F>
std::unique_ptr<TDIB> Picture(int W, int H, F Pixel) {
  auto d = std::make_unique<TDIB>();
  d->SetSize(W, H, 24);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) d->SetPixels(x, y, Pixel(x, y));
  return d;
}

TPictureCollectionItem* AddItem(TDXImageList* List, const char* Name, std::unique_ptr<TDIB> Pic, int PW, int PH) {
  TPictureCollectionItem* it = List->Items()->Add();
  it->SetName(Name);
  it->Picture()->SetGraphic(std::move(Pic));
  it->SetPatternWidth(PW);
  it->SetPatternHeight(PH);
  return it;
}

// Four 32 x 32 cells, each a disc of its own colour on the key colour.
std::unique_ptr<TDIB> Discs() {
  return Picture(128, 32, [](int x, int y) -> uint32_t {
    const int cx = x % 32 - 16, cy = y - 16;
    if (cx * cx + cy * cy > 15 * 15) return 0;
    const uint32_t colours[] = {0x2060E0, 0xE06020, 0x20E060, 0xE0E040};
    return colours[x / 32];
  });
}

struct Scene {
  TForm* Form = nullptr;
  TDXDraw* DX = nullptr;
  TDXImageList* Images = nullptr;
  TDXSpriteEngine* Sprites = nullptr;
  TPictureCollectionItem *Background = nullptr, *Panel = nullptr, *Disc = nullptr, *Message = nullptr;

  explicit Scene(bool FullScreen) {
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(0, 0, 800, 600);
    DX = new TDXDraw(Form);
    DX->SetParent(Form);
    DX->SetBounds(0, 0, 800, 600);
    DX->SetOptions(Opts(doNoWindowChange, doWaitVBlank, doCenter, doRetainedMode, doHardware) |
                   (FullScreen ? Opt(doFullScreen) : 0));
    DX->Display()->SetBitCount(16);
    DX->Display()->SetWidth(800);
    DX->Display()->SetHeight(600);
    Images = new TDXImageList(Form);
    Images->SetDXDraw(DX);
    Sprites = new TDXSpriteEngine(Form);
    Sprites->SetDXDraw(DX);
    Background = AddItem(Images, "background",
                         Picture(800, 520, [](int x, int y) { return static_cast<uint32_t>(((x / 4) << 16) | ((y / 3) << 8) | 0x40); }),
                         0, 0);
    Background->SetTransparent(false);
    Panel = AddItem(Images, "panel", Picture(800, 80, [](int x, int y) { return (x + y) % 16 < 8 ? 0x606060u : 0x909090u; }),
                    0, 0);
    Panel->SetTransparent(false);
    Disc = AddItem(Images, "disc", Discs(), 32, 32);
    Message = AddItem(Images, "message",
                      Picture(240, 40, [](int x, int y) { return (x / 12 + y / 10) % 2 ? 0xF0C040u : 0u; }), 0, 0);
    Form->Show();
    DX->Initialize();
    if (!DX->ReadyToDraw()) {
      std::fprintf(stderr, "the display is not ready\n");
      std::exit(1);
    }
  }
  ~Scene() { delete Form; }

  void AddDiscs(int Count, bool Animated) {
    for (int i = 0; i < Count; ++i) {
      auto* s = new TImageSprite(Sprites->Engine());
      s->SetImage(Disc);
      s->X = (i * 97) % 760;
      s->Y = (i * 53) % 480;
      s->SetZ(i % 3);
      if (Animated) {
        s->FrameCount = 4;
        s->FrameLooped = true;
        s->FrameSpeed = 0.01;
      } else {
        s->FirstPattern = i % 4;
      }
    }
  }
};

void SpriteFrames(bool FullScreen) {
  Scene s(FullScreen);
  s.AddDiscs(50, false);
  TDirectDrawSurface* back = s.DX->Surface();
  const int frames = 2000;
  std::vector<double> us;
  us.reserve(frames);
  for (int f = 0; f < frames; ++f) {
    const auto t0 = Clock::now();
    back->Fill(0);
    s.Sprites->Draw();
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  if (s.Sprites->Engine()->DrawCount() != 50) std::fprintf(stderr, "drew %d sprites\n", s.Sprites->Engine()->DrawCount());
  std::printf("sprites: 50 colour-keyed 32x32 sprites on %dx%dx%d: median %.1f us, p99 %.1f us per frame (%d frames)\n",
              back->Width(), back->Height(), back->BitCount(), Percentile(us, 0.5), Percentile(us, 0.99), frames);
}

void GameFrames(bool FullScreen) {
  Scene s(FullScreen);
  auto* bg = new TBackgroundSprite(s.Sprites->Engine());
  bg->Image = s.Background;
  bg->SetMapSize(1, 1);
  bg->SetZ(-2);
  auto* panel = new TBackgroundSprite(s.Sprites->Engine());
  panel->Image = s.Panel;
  panel->SetMapSize(1, 1);
  panel->Y = 520;
  panel->SetZ(-1);
  s.AddDiscs(20, true);
  TDirectDrawSurface* back = s.DX->Surface();
  TDirectDrawSurface* msg = s.Message->PatternSurface(0);
  const int frames = 1500;
  std::vector<double> ms;
  ms.reserve(frames);
  for (int f = 0; f < frames; ++f) {
    const auto t0 = Clock::now();
    s.Sprites->Move(40);
    s.Sprites->Draw();
    s.Sprites->FreeDead();
    TCanvas* c = back->Canvas();
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetName("Arial");
    c->Font()->SetSize(12);
    c->Font()->SetColor(clWhite);
    c->TextOut(12, 540, "Punkty: " + std::to_string(f * 10) + "   Poziom: 3");
    back->ReleaseCanvas();
    back->DrawWaveBlended(280, 120, 240, 40, msg->ClientRect(), msg, true, 8, 64, f * 4, 128);
    back->DrawWaveBlended(280, 300, 240, 40, msg->ClientRect(), msg, true, 4, 32, f * 8, 255);
    s.DX->Flip();
    Application->ProcessMessages();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  std::printf("game: %d game-like frames on %dx%dx%d: median %.2f ms, p99 %.2f ms, worst %.2f ms\n", frames,
              back->Width(), back->Height(), back->BitCount(), Percentile(ms, 0.5), Percentile(ms, 0.99),
              *std::max_element(ms.begin(), ms.end()));
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  try {
    Application->Initialize();
    for (bool full : {true, false}) {
      SpriteFrames(full);
      GameFrames(full);
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
