// Full screen of a form smaller than the screen: the picture enlarged by whole factors, centred on
// black, and the mouse placed back onto the form's controls.
#include <QTest>
#include <QWindow>

#include "platform/gui/controlimpl.h"
#include "platform/gui/fullscreen.h"
#include "platform/gui/screen_grab.h"
#include "platform/gui/tests/gui_fixture.h"

namespace {

TEST(CrispScaleTest, LargestWholeFactorThatFits) {
  struct Case {
    QSize screen, picture;
    int scale;
  } cases[] = {
      {{1600, 1200}, {800, 600}, 2}, {{1920, 1080}, {800, 600}, 1},  // 1200 rows do not fit 1080
      {{2560, 1440}, {800, 600}, 2}, {{3840, 2160}, {800, 600}, 3},  // the height decides
      {{800, 600}, {800, 600}, 1},   {{1599, 1200}, {800, 600}, 1},  {{1600, 1199}, {800, 600}, 1},
      {{640, 480}, {800, 600}, 1},   // a screen too small still shows the picture unscaled
      {{800, 600}, {400, 300}, 2},   {{800, 600}, {300, 250}, 2},  {{800, 600}, {0, 0}, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CrispScale(c.screen, c.picture), c.scale)
        << c.screen.width() << "x" << c.screen.height() << " / " << c.picture.width() << "x" << c.picture.height();
}

class FullScreenTest : public GuiTest {
 protected:
  template <class T>
  static T* Put(TForm* f, int l, int t, int w, int h) {
    auto* c = new T(f);
    c->SetParent(f);
    c->SetBounds(l, t, w, h);
    return c;
  }
  static QWidget* ShellOf(TForm* f) { return ControlBridge::P(f).shell.data(); }
  static VxScaledView* ViewOf(TForm* f) {
    QWidget* s = ShellOf(f);
    if (!s) return nullptr;
    for (QObject* o : s->children())
      if (auto* v = dynamic_cast<VxScaledView*>(o)) return v;
    return nullptr;
  }
  // Where a pixel of the form shows on the screen (its top-left screen pixel).
  static QPoint OnScreen(TForm* f, QPoint formPoint) {
    VxScaledView* v = ViewOf(f);
    return v->PictureRect().topLeft() + formPoint * v->Scale() + ShellOf(f)->geometry().topLeft();
  }
  // A click of the window system at a screen position of the full-screen window.
  static void ScreenClick(TForm* f, QPoint screen) {
    QWidget* s = ShellOf(f);
    QTest::mouseClick(s->windowHandle(), Qt::LeftButton, Qt::NoModifier, screen - s->geometry().topLeft());
    vxtest::Pump();
  }
};

TEST_F(FullScreenTest, PlacementOnLargeScreens) {
  // The view follows the size of its shell, whatever the platform's screen.
  struct Case {
    QSize screen;
    QRect picture;
  } cases[] = {{{2560, 1440}, {480, 120, 1600, 1200}},
               {{1600, 1200}, {0, 0, 1600, 1200}},
               {{1920, 1080}, {560, 240, 800, 600}}};
  for (const Case& c : cases) {
    QWidget shell;
    shell.resize(c.screen);
    QWidget* form = new QWidget(&shell);
    form->resize(800, 600);
    VxScaledView view(&shell, form);
    EXPECT_EQ(view.PictureRect(), c.picture) << c.screen.width() << "x" << c.screen.height();
    const QPoint o = c.picture.topLeft();
    const int k = view.Scale();
    EXPECT_EQ(view.FormPoint(QPointF(o + QPoint(3 * k, 5 * k))), QPoint(3, 5));
    EXPECT_EQ(view.FormPoint(QPointF(o + QPoint(3 * k + k - 1, 5 * k + k - 1))), QPoint(3, 5));
    EXPECT_EQ(view.FormPoint(QPointF(o - QPoint(1, 1))), QPoint(-1, -1));
  }
}

// A form that paints a known picture, different in every pixel near it.
struct PatternForm {
  TForm* form;
  TBitmap pic;
  int phase = 0;
  static TColor Pattern(int x, int y, int phase) {
    return RGB((x * 5 + phase * 40) & 255, (y * 3) & 255, ((x ^ y) * 7) & 255);
  }
  void Build() {
    pic.SetSize(form->ClientWidth(), form->ClientHeight());
    for (int y = 0; y < pic.Height(); ++y) {
      uint32_t* row = pic.ScanLine(y);
      for (int x = 0; x < pic.Width(); ++x) {
        const TColor c = Pattern(x, y, phase);
        row[x] = 0xFF000000u | uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
      }
    }
  }
  explicit PatternForm(TForm* f) : form(f) {
    Build();
    form->OnPaint = [this](TObject*) { form->Canvas()->Draw(0, 0, &pic); };
    form->Invalidate();
  }
};

// Every screen pixel: the form's pixel under it inside the enlarged picture, black around it.
int CountWrongPixels(const TBitmap& screen, QRect picture, int scale, int phase, std::string& first) {
  int bad = 0;
  for (int y = 0; y < screen.Height(); ++y)
    for (int x = 0; x < screen.Width(); ++x) {
      const bool in = picture.contains(x, y);
      const TColor want =
          in ? PatternForm::Pattern((x - picture.x()) / scale, (y - picture.y()) / scale, phase) : clBlack;
      const TColor got = screen.PixelColor(x, y);
      if (got == want) continue;
      if (!bad++) first = std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(got) + " for " +
                          std::to_string(want);
    }
  return bad;
}

TEST_F(FullScreenTest, EnlargedPictureIsEveryPixelAsASquareBlockCentredOnBlack) {
  const int W = 300, H = 250;
  const int scale = std::min(Screen->Width() / W, Screen->Height() / H);
  ASSERT_GE(scale, 2) << "the off-screen desktop is expected to hold the form twice";
  TForm* f = NewForm(W, H);
  PatternForm pf(f);
  f->SetFullScreen(true);
  vxtest::Pump();
  ASSERT_NE(ViewOf(f), nullptr);
  const QRect picture((Screen->Width() - W * scale) / 2, (Screen->Height() - H * scale) / 2, W * scale, H * scale);
  EXPECT_EQ(ViewOf(f)->PictureRect(), picture);
  EXPECT_EQ(ViewOf(f)->Scale(), scale);

  TBitmap screen;
  vxtest::GrabScreen(&screen);
  ASSERT_EQ(screen.Width(), Screen->Width());
  std::string first;
  EXPECT_EQ(CountWrongPixels(screen, picture, scale, 0, first), 0) << first;

  // A change of the form's picture reaches the screen.
  pf.phase = 3;
  pf.Build();
  f->Invalidate();
  vxtest::Pump();
  vxtest::GrabScreen(&screen);
  EXPECT_EQ(CountWrongPixels(screen, picture, scale, 3, first), 0) << first;

  // Changed while hidden, shown again.
  f->Hide();
  vxtest::Pump();
  pf.phase = 5;
  pf.Build();
  f->Invalidate();
  vxtest::Pump();
  f->Show();
  vxtest::Pump();
  ASSERT_TRUE(f->FullScreen());
  vxtest::GrabScreen(&screen);
  EXPECT_EQ(CountWrongPixels(screen, picture, scale, 5, first), 0) << first;
}

TEST_F(FullScreenTest, ScreenInputReachesTheControlUnderTheEnlargedPixel) {
  TForm* f = NewForm(300, 250);
  auto* button = Put<TButton>(f, 10, 10, 80, 30);
  auto* edit = Put<TEdit>(f, 10, 60, 120, 24);
  auto* box = Put<TPaintBox>(f, 200, 10, 50, 50);  // window-less: its parent places the click
  auto* drag = Put<TPanel>(f, 150, 100, 100, 100);
  std::vector<std::string> log;
  button->OnClick = [&](TObject*) { log.push_back("button"); };
  box->OnClick = [&](TObject*) { log.push_back("box"); };
  drag->OnClick = [&](TObject*) { log.push_back("drag"); };
  edit->SetFocus();
  f->SetFullScreen(true);
  vxtest::Pump();
  ASSERT_NE(ViewOf(f), nullptr);
  ASSERT_EQ(ViewOf(f)->Scale(), 2);
  // The focus stays where it was: keys typed on the full-screen window go into the edit.
  EXPECT_TRUE(vxtest::HasFocus(edit));
  for (char c : std::string("xy")) QTest::keyClick(ShellOf(f)->windowHandle(), c);
  vxtest::Pump();
  EXPECT_EQ(edit->Text(), "xy");
  edit->SetText("");

  // The button's middle, then the far corner pixel of the box's last form pixel.
  ScreenClick(f, OnScreen(f, {50, 25}));
  ScreenClick(f, OnScreen(f, {249, 59}) + QPoint(1, 1));
  // Just outside the box: the form itself.
  ScreenClick(f, OnScreen(f, {250, 30}));
  EXPECT_EQ(log, (std::vector<std::string>{"button", "box"}));

  // A click gives the edit the focus; keys typed on the full-screen window go into it.
  ScreenClick(f, OnScreen(f, {20, 70}));
  EXPECT_TRUE(vxtest::HasFocus(edit));
  for (char c : std::string("abc")) QTest::keyClick(ShellOf(f)->windowHandle(), c);
  vxtest::Pump();
  EXPECT_EQ(edit->Text(), "abc");

  // A control that holds the mouse gets positions of its own, measured on the form's pixels.
  std::vector<TPoint> moves;
  drag->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { drag->SetMouseCapture(true); };
  drag->OnMouseMove = [&](TObject*, TShiftState, int x, int y) { moves.emplace_back(x, y); };
  QWindow* win = ShellOf(f)->windowHandle();
  const QPoint shellAt = ShellOf(f)->geometry().topLeft();
  QTest::mousePress(win, Qt::LeftButton, Qt::NoModifier, OnScreen(f, {160, 110}) - shellAt);
  QTest::mouseMove(win, OnScreen(f, {290, 240}) - shellAt);
  QTest::mouseRelease(win, Qt::LeftButton, Qt::NoModifier, OnScreen(f, {290, 240}) - shellAt);
  vxtest::Pump();
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back().X, 140);
  EXPECT_EQ(moves.back().Y, 140);
  EXPECT_EQ(log.back(), "box") << "a release outside the control is no click";
}

TEST_F(FullScreenTest, PointerEntersAndLeavesControlsByTheEnlargedPicture) {
  TForm* f = NewForm(300, 250);
  auto* panel = Put<TPanel>(f, 20, 20, 60, 60);
  auto* box = Put<TPaintBox>(f, 200, 20, 40, 40);
  std::vector<std::string> log;
  panel->OnMouseEnter = [&](TObject*) { log.push_back("enter panel"); };
  panel->OnMouseLeave = [&](TObject*) { log.push_back("leave panel"); };
  box->OnMouseEnter = [&](TObject*) { log.push_back("enter box"); };
  box->OnMouseLeave = [&](TObject*) { log.push_back("leave box"); };
  int wheel = 0;
  f->OnMouseWheel = [&](TObject*, TShiftState, int delta, TPoint, bool& handled) {
    wheel += delta;
    handled = true;
  };
  f->SetFullScreen(true);
  vxtest::Pump();
  ASSERT_NE(ViewOf(f), nullptr);
  QWindow* win = ShellOf(f)->windowHandle();
  const QPoint shellAt = ShellOf(f)->geometry().topLeft();
  for (QPoint fp : {QPoint(150, 150), QPoint(50, 50), QPoint(79, 79), QPoint(81, 50), QPoint(210, 30), QPoint(150, 150)})
    QTest::mouseMove(win, OnScreen(f, fp) - shellAt);
  vxtest::Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"enter panel", "leave panel", "enter box", "leave box"}));

  // The wheel turned over the form reaches it.
  const QPoint at = OnScreen(f, {150, 200});
  QWheelEvent e(QPointF(at - shellAt), QPointF(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(ShellOf(f)->childAt(at - shellAt), &e);
  EXPECT_EQ(wheel, 120);
}

TEST_F(FullScreenTest, LeavingRestoresTheWindowExactly) {
  TForm* f = NewForm(300, 250);
  f->SetBorderStyle(bsSingle);
  f->SetBounds(40, 30, 300, 250);
  vxtest::Pump();
  auto* button = Put<TButton>(f, 10, 10, 80, 30);
  auto* edit = Put<TEdit>(f, 10, 60, 120, 24);
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  const TRect bounds = f->BoundsRect();
  const TPoint origin = f->ClientOrigin();
  const int cw = f->ClientWidth(), ch = f->ClientHeight();
  QWidget* w = ControlBridge::P(f).widget;
  const Qt::WindowFlags flags = w->windowFlags();

  f->SetFullScreen(true);
  vxtest::Pump();
  ASSERT_NE(ViewOf(f), nullptr);
  edit->SetFocus();
  f->SetFullScreen(false);
  vxtest::Pump();
  EXPECT_FALSE(f->FullScreen());
  EXPECT_TRUE(vxtest::HasFocus(edit));
  EXPECT_EQ(ShellOf(f), nullptr);
  EXPECT_TRUE(w->isWindow());
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowFlags(), flags);
  EXPECT_EQ(f->BoundsRect(), bounds);
  EXPECT_EQ(f->ClientOrigin().X, origin.X);
  EXPECT_EQ(f->ClientOrigin().Y, origin.Y);
  EXPECT_EQ(f->ClientWidth(), cw);
  EXPECT_EQ(f->ClientHeight(), ch);

  // Input of the window system is the window's own again, unscaled.
  QTest::mouseClick(w->windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 25));
  vxtest::Pump();
  EXPECT_EQ(clicks, 1);
  edit->SetFocus();
  QTest::keyClick(w->windowHandle(), 'q');
  vxtest::Pump();
  EXPECT_EQ(edit->Text(), "q");
  TBitmap shot;
  vxtest::Grab(f, &shot);
  EXPECT_EQ(shot.Width(), 300);
}

TEST_F(FullScreenTest, FactorOneKeepsTheFormUnscaledOnTheShell) {
  TForm* f = NewForm(Screen->Width() * 2 / 3, Screen->Height() * 2 / 3);
  f->SetColor(clNavy);
  f->SetFullScreen(true);
  vxtest::Pump();
  ASSERT_NE(ShellOf(f), nullptr);
  EXPECT_EQ(ViewOf(f), nullptr);
  TBitmap screen;
  vxtest::GrabScreen(&screen);
  const TPoint o = f->ClientOrigin();
  EXPECT_EQ(screen.PixelColor(o.X, o.Y), clNavy);
  EXPECT_EQ(screen.PixelColor(o.X + f->Width() - 1, o.Y + f->Height() - 1), clNavy);
  EXPECT_EQ(screen.PixelColor(o.X - 1, o.Y), clBlack);
  EXPECT_EQ(screen.PixelColor(0, 0), clBlack);
  // Freed while full screen: the shell goes with it.
  QPointer<QWidget> shell = ShellOf(f);
  delete f;
  vxtest::Pump();
  EXPECT_TRUE(shell.isNull());
}

}  // namespace
