// Shows the display control as the host window has it (800 x 600; 16 bits per pixel in full
// screen, the desktop's true colour in a window) with a picture drawn through the framework: a
// background, colour-keyed sprites, canvas text and a wave-blended banner.
//
//   vx-dxdraw-shot              a real window, animated by the frame timer; F switches between
//                               window and full screen, Esc quits
//   vx-dxdraw-shot --shot DIR   headless: draws in a window, switches to full screen and back,
//                               checks what the control shows in each mode and writes
//                               DIR/dxdraw-window.png and DIR/dxdraw-fullscreen.png (the whole
//                               screen, where the picture is enlarged by the largest whole factor
//                               that fits); exit status 0 when everything showed as drawn
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dx/dxdraws.h"
#include "dx/dximagelist.h"
#include "dx/dxtimer.h"
#include "dx/sprites.h"
#include "platform/core/cp1250.h"
#include "platform/core/sysutils.h"
#include "platform/gui/controls.h"
#include "platform/gui/screen_grab.h"
#include "platform/gui/testing.h"

namespace {

// A 24-bit picture filled by Pixel(x, y) (raw values 0xBBGGRR as the DIB stores them; 0 is the
// transparent black).
template <class F>
std::unique_ptr<TDIB> Picture(int W, int H, F Pixel) {
  auto d = std::make_unique<TDIB>();
  d->SetSize(W, H, 24);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) d->SetPixels(x, y, Pixel(x, y));
  return d;
}

TPictureCollectionItem* AddItem(TDXImageList* List, const char* Name, std::unique_ptr<TDIB> Pic, int PW, int PH,
                                bool Transparent) {
  TPictureCollectionItem* it = List->Items()->Add();
  it->SetName(Name);
  it->Picture()->SetGraphic(std::move(Pic));
  it->SetPatternWidth(PW);
  it->SetPatternHeight(PH);
  it->SetTransparent(Transparent);
  return it;
}

struct Demo {
  TForm* Form = nullptr;
  TDXDraw* DX = nullptr;
  TDXImageList* Images = nullptr;
  TDXSpriteEngine* Sprites = nullptr;
  TImageSprite* Ball = nullptr;
  TPictureCollectionItem* Banner = nullptr;
  int Phase = 0;

  Demo() {
    Application->CreateForm(Form);
    Form->SetCaption("vx display control");
    Form->SetBorderStyle(bsSingle);
    Form->SetPosition(poScreenCenter);
    Form->SetClientWidth(800);
    Form->SetClientHeight(600);
    DX = new TDXDraw(Form);
    DX->SetParent(Form);
    DX->SetBounds(0, 0, 800, 600);
    // As the host window stores it.
    DX->SetOptions(Opts(doNoWindowChange, doWaitVBlank, doCenter, doRetainedMode, doHardware));
    DX->Display()->SetWidth(800);
    DX->Display()->SetHeight(600);
    DX->Display()->SetBitCount(16);
    DX->Display()->SetFixedBitCount(false);
    DX->Display()->SetFixedRatio(true);
    DX->Display()->SetFixedSize(true);
    Images = new TDXImageList(Form);
    Images->SetDXDraw(DX);
    Sprites = new TDXSpriteEngine(Form);
    Sprites->SetDXDraw(DX);
    TPictureCollectionItem* bg = AddItem(
        Images, "background",
        Picture(800, 600, [](int x, int y) { return static_cast<uint32_t>(((x * 255 / 799) << 16) | ((y * 200 / 599) << 8) | 0x60); }),
        0, 0, false);
    // Two 64 x 64 discs (white, red) on the key colour.
    TPictureCollectionItem* disc = AddItem(Images, "disc", Picture(128, 64, [](int x, int y) -> uint32_t {
                                             const int dx = x % 64 - 32, dy = y - 32;
                                             if (dx * dx + dy * dy > 30 * 30) return 0;
                                             return x < 64 ? 0xFFFFFFu : 0x2020E0u;
                                           }),
                                           64, 64, true);
    Banner = AddItem(Images, "banner",
                     Picture(320, 48, [](int x, int y) { return (x / 16 + y / 12) % 2 ? 0x40D0F0u : 0u; }), 0, 0, true);
    auto* back = new TBackgroundSprite(Sprites->Engine());
    back->Image = bg;
    back->SetMapSize(1, 1);
    back->SetZ(-1);
    for (int i = 0; i < 2; ++i) {
      auto* s = new TImageSprite(Sprites->Engine());
      s->SetImage(disc);
      s->FirstPattern = i;
      s->X = 100 + 500 * i;
      s->Y = 100;
      if (i == 0) Ball = s;
    }
  }

  bool FullScreen() const { return (DX->EffectiveOptions() & Opt(doFullScreen)) != 0; }

  // The host window's switch: finalise, change the option, initialise again.
  void SetFullScreen(bool On) {
    DX->Finalize();
    const TDXDrawOptions o = DX->Options();
    DX->SetOptions(On ? static_cast<TDXDrawOptions>(o | Opt(doFullScreen))
                      : static_cast<TDXDrawOptions>(o & ~Opt(doFullScreen)));
    DX->Initialize();
  }

  void DrawFrame() {
    if (!DX->ReadyToDraw()) return;
    TDirectDrawSurface* s = DX->Surface();
    Ball->Y = 100 + 60 * std::sin(Phase / 12.0);
    Sprites->Draw();
    TCanvas* c = s->Canvas();
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetName("Arial");
    c->Font()->SetSize(28);
    c->Font()->SetStyle(fsBold);
    c->Font()->SetColor(clWhite);
    c->TextOut(40, 520, Utf8ToCp1250(FullScreen() ? "Pełny ekran" : "Tryb okna"));
    c->Font()->SetSize(12);
    c->Font()->SetStyle(0);
    c->TextOut(40, 570, Format("%d x %d x %d, ", {s->Width(), s->Height(), s->BitCount()}) +
                            Utf8ToCp1250("zażółć gęślą jaźń"));
    s->ReleaseCanvas();
    TDirectDrawSurface* b = Banner->PatternSurface(0);
    s->DrawWaveBlended(240, 300, 320, 48, b->ClientRect(), b, true, 10, 96, Phase * 4, 160);
    DX->Flip();
  }
};

// A control that shows one bitmap.
class TBitmapView : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  TBitmap* Bitmap = nullptr;
  void Paint() override {
    if (Bitmap) Canvas()->Draw(0, 0, Bitmap);
  }
};

// Writes what the screen shows as a picture file.
void SaveScreen(const TBitmap& Screen, const std::string& FileName) {
  TForm* shot = new TForm(nullptr);
  shot->SetBorderStyle(bsNone);
  shot->SetBounds(0, 0, Screen.Width(), Screen.Height());
  auto* view = new TBitmapView(shot);
  view->SetParent(shot);
  view->SetBounds(0, 0, Screen.Width(), Screen.Height());
  view->Bitmap = const_cast<TBitmap*>(&Screen);
  shot->Show();
  vxtest::Pump();
  vxtest::SaveGrabPng(shot, FileName);
  delete shot;
}

// Points of the back surface that must show as drawn: a sprite's centre, its keyed corner, the
// banner, the text, the background and the corners.
std::vector<TPoint> Probes(const Demo& D) {
  const TPoint ball(static_cast<int>(D.Ball->X) + 32, static_cast<int>(D.Ball->Y) + 32);
  return {ball, {ball.X - 30, ball.Y - 30}, {400, 324}, {60, 540}, {780, 20}, {5, 595}, {0, 0}, {799, 599}};
}

TColor Drawn(const Demo& D, TPoint P) {
  TDirectDrawSurface* s = D.DX->Surface();
  const uint32_t rgb = s->ISurface()->PixelToRGB(s->Pixels(P.X, P.Y));
  return RGB((rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255);
}

// The control shows the back surface as drawn, with the sprite over the background.
int CheckShown(Demo& D, const char* Mode) {
  TBitmap grab;
  vxtest::Grab(D.Form, &grab);
  const std::vector<TPoint> points = Probes(D);
  int bad = 0;
  for (const TPoint& p : points) {
    const TColor want = Drawn(D, p);
    if (grab.PixelColor(p.X, p.Y) != want) {
      std::fprintf(stderr, "%s: pixel %d,%d shows %06X, drawn %06X\n", Mode, p.X, p.Y, grab.PixelColor(p.X, p.Y), want);
      ++bad;
    }
  }
  if (Drawn(D, points[0]) == Drawn(D, points[1])) {
    std::fprintf(stderr, "%s: the sprite did not show over the background\n", Mode);
    ++bad;
  }
  return bad;
}

// The full screen as the screen shows it: the 800 x 600 picture enlarged by the largest whole
// factor that fits, centred on black. The same points must show as square blocks of their colour.
int CheckScreen(Demo& D, const TBitmap& Screen) {
  const int k = std::max(1, std::min(Screen.Width() / 800, Screen.Height() / 600));
  const TPoint o((Screen.Width() - 800 * k) / 2, (Screen.Height() - 600 * k) / 2);
  int bad = 0;
  for (const TPoint& p : Probes(D)) {
    const TColor want = Drawn(D, p);
    for (int dy = 0; dy < k; ++dy)
      for (int dx = 0; dx < k; ++dx) {
        const int x = o.X + p.X * k + dx, y = o.Y + p.Y * k + dy;
        if (Screen.PixelColor(x, y) == want) continue;
        std::fprintf(stderr, "screen (x%d): pixel %d,%d shows %06X, drawn %06X\n", k, x, y, Screen.PixelColor(x, y), want);
        ++bad;
      }
  }
  // The border around the picture is black.
  const TPoint outside[] = {{o.X - 1, o.Y}, {o.X, o.Y - 1}, {o.X + 800 * k, o.Y + 600 * k - 1}, {o.X + 800 * k - 1, o.Y + 600 * k}};
  for (const TPoint& p : outside) {
    if (p.X < 0 || p.Y < 0 || p.X >= Screen.Width() || p.Y >= Screen.Height()) continue;
    if (Screen.PixelColor(p.X, p.Y) != clBlack)
      ++bad, std::fprintf(stderr, "screen (x%d): border pixel %d,%d is %06X\n", k, p.X, p.Y, Screen.PixelColor(p.X, p.Y));
  }
  return bad;
}

int Shot(const std::string& Dir) {
  Demo d;
  d.Form->Show();
  vxtest::Pump();
  int bad = 0;
  d.DX->Initialize();
  d.DrawFrame();
  if (d.Form->FullScreen()) ++bad, std::fprintf(stderr, "window: the form is full screen\n");
  bad += CheckShown(d, "window");
  if (!vxtest::SaveGrabPng(d.Form, Dir + "/dxdraw-window.png")) ++bad;

  d.SetFullScreen(true);
  vxtest::Pump();
  d.DrawFrame();
  const TPoint o = d.Form->ClientOrigin();
  if (!d.Form->FullScreen() || !d.FullScreen()) ++bad, std::fprintf(stderr, "full screen: not in full screen\n");
  if (o.X != (Screen->Width() - 800) / 2 || o.Y != (Screen->Height() - 600) / 2)
    ++bad, std::fprintf(stderr, "full screen: the picture is at %d,%d, not centred\n", o.X, o.Y);
  bad += CheckShown(d, "full screen");
  TBitmap screen;
  vxtest::GrabScreen(&screen);
  bad += CheckScreen(d, screen);
  SaveScreen(screen, Dir + "/dxdraw-fullscreen.png");

  d.SetFullScreen(false);
  vxtest::Pump();
  d.DrawFrame();
  if (d.Form->FullScreen() || d.FullScreen()) ++bad, std::fprintf(stderr, "back: still in full screen\n");
  bad += CheckShown(d, "back in the window");
  std::printf("screen %dx%d; pictures in %s; %d problems\n", Screen->Width(), Screen->Height(), Dir.c_str(), bad);
  return bad == 0 ? 0 : 1;
}

int Interactive() {
  Demo d;
  auto* timer = new TDXTimer(d.Form);
  timer->SetInterval(40);
  timer->OnTimer = [&d](TObject*, int LagCount) {
    d.Phase += LagCount;
    d.DrawFrame();
  };
  d.Form->SetKeyPreview(true);
  d.Form->OnKeyDown = [&d](TObject*, uint16_t& Key, TShiftState) {
    if (Key == 'F') d.SetFullScreen(!d.FullScreen());
    if (Key == VK_ESCAPE) d.Form->Close();
  };
  Application->Run();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Application->Initialize();
    if (argc == 3 && std::string(argv[1]) == "--shot") return Shot(argv[2]);
    return Interactive();
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
}
