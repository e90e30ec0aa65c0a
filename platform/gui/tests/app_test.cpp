// The application object and forms: run and terminate, modal loops, idle processing,
// exceptions from handlers, deferred frees, pages parented into panels.
#include <QGuiApplication>
#include <QWindow>
#include <string>
#include <vector>

#include "gui_fixture.h"

namespace {

class AppTest : public GuiTest {};

TEST_F(AppTest, TerminateBeforeRunMakesRunReturnAtOnce) {
  int idles = 0;
  Application->OnIdle = [&](TObject*, bool& done) {
    ++idles;
    done = true;
  };
  TForm* main = nullptr;
  Application->CreateForm(main);
  EXPECT_EQ(Application->MainForm(), main);
  Application->Terminate();
  Application->Run();  // must not block
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(idles, 0);
  EXPECT_FALSE(main->Visible());
}

TEST_F(AppTest, IdleRunsUntilDoneAndTerminateEndsRun) {
  TForm* main = nullptr;
  Application->CreateForm(main);
  int idles = 0;
  Application->OnIdle = [&](TObject*, bool& done) {
    ++idles;
    done = false;  // keep idle steps coming, as the frame timer does
    if (idles == 25) Application->Terminate();
  };
  Application->Run();
  EXPECT_EQ(idles, 25);
  EXPECT_EQ(Application->LoopLevel(), 0);
}

TEST_F(AppTest, ShowModalReturnsButtonResultAndCloseActionFreeReleasesLater) {
  TForm* dlg = new TForm(Application);
  auto* ok = new TButton(dlg);
  ok->SetParent(dlg);
  ok->SetModalResult(mrOk);
  std::vector<std::string> log;
  dlg->OnShow = [&](TObject*) {
    log.push_back("show");
    Application->QueueCall([&] { vxtest::Click(ok, 5, 5); });
  };
  dlg->OnClose = [&](TObject*, TCloseAction& a) {
    log.push_back("close");
    a = caFree;
  };
  bool destroyed = false;
  dlg->OnDestroy = [&](TObject*) { destroyed = true; };
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_FALSE(destroyed);  // freed only after the current event
  vxtest::Pump();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(log, (std::vector<std::string>{"show", "close"}));
}

TEST_F(AppTest, AfterAModalDialogTheOtherWindowsTakeInputAgain) {
  // Clicks from the window system reach a window only while no modal window is registered; the
  // widget-level test input would not notice a dialog left registered after it closed.
  TForm* main = nullptr;
  Application->CreateForm(main);
  main->Show();
  vxtest::Pump();
  for (int round = 0; round < 2; ++round) {
    TForm* dlg = new TForm(Application);
    dlg->OnShow = [&](TObject*) { Application->QueueCall([&] { dlg->SetModalResult(mrOk); }); };
    EXPECT_EQ(dlg->ShowModal(), mrOk);
    vxtest::Pump();
    EXPECT_EQ(QGuiApplication::modalWindow(), nullptr) << "round " << round;
    delete dlg;
  }
}

TEST_F(AppTest, CloseQueryAndCaNoneKeepModalDialogOpen) {
  TForm* dlg = new TForm(Application);
  int attempts = 0;
  dlg->OnCloseQuery = [&](TObject*, bool& can) {
    can = ++attempts >= 2;
    if (!can) Application->QueueCall([&] { dlg->SetModalResult(mrYes); });
  };
  dlg->OnShow = [&](TObject*) { Application->QueueCall([&] { dlg->SetModalResult(mrCancel); }); };
  EXPECT_EQ(dlg->ShowModal(), mrYes);
  EXPECT_EQ(attempts, 2);
  EXPECT_FALSE(dlg->Visible());
}

TEST_F(AppTest, TerminateEndsRunningModalLoopAndMainLoop) {
  TForm* main = nullptr;
  Application->CreateForm(main);
  int result = -1;
  TForm* dlg = new TForm(Application);
  dlg->OnShow = [&](TObject*) { Application->QueueCall([] { Application->Terminate(); }); };
  main->OnShow = [&](TObject*) { Application->QueueCall([&] { result = dlg->ShowModal(); }); };
  Application->Run();
  EXPECT_EQ(result, mrCancel);
  EXPECT_TRUE(Application->Terminated());
  // After Terminate a new modal dialog does not wait either.
  TForm* late = new TForm(Application);
  EXPECT_EQ(late->ShowModal(), mrCancel);
}

TEST_F(AppTest, ExceptionsFromTimerPaintAndClickReachOnExceptionAndLoopSurvives) {
  std::vector<std::string> seen;
  Application->OnException = [&](TObject*, Exception* e) { seen.push_back(e->Message()); };
  TForm* main = nullptr;
  Application->CreateForm(main);
  main->SetBounds(0, 0, 200, 100);
  auto* btn = new TButton(main);
  btn->SetParent(main);
  btn->OnClick = [](TObject*) { throw EConvertError("click failed"); };
  bool painted = false;
  main->OnPaint = [&](TObject*) {
    if (!painted) {
      painted = true;
      throw Exception("paint failed");
    }
  };
  auto* timer = new TTimer(main);
  timer->SetInterval(5);
  timer->OnTimer = [&](TObject*) {
    timer->SetEnabled(false);
    throw std::runtime_error("timer failed");
  };
  bool after = false;
  Application->OnIdle = [&](TObject*, bool& done) {
    done = true;
    if (seen.size() == 2 && !after) {
      vxtest::Click(btn, 3, 3);
      Application->QueueCall([&] {
        after = true;
        Application->Terminate();
      });
    }
  };
  Application->Run();
  ASSERT_EQ(seen.size(), 3u);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"click failed", "paint failed", "timer failed"}));
  EXPECT_TRUE(after);
}

TEST_F(AppTest, FailingOnCreateOfFormAndDataModuleReachesOnExceptionAndTheyExist) {
  std::vector<std::pair<TObject*, std::string>> seen;
  Application->OnException = [&](TObject* sender, Exception* e) { seen.push_back({sender, e->Message()}); };
  struct TFailingModule : TDataModule {
    explicit TFailingModule(TComponent* o) : TDataModule(o) {
      OnCreate = [](TObject*) { throw EInOutError("no database"); };
    }
  };
  struct TFailingForm : TForm {
    explicit TFailingForm(TComponent* o) : TForm(o) {
      OnCreate = [](TObject*) { throw std::runtime_error("no picture"); };
    }
  };
  TFailingModule* module = nullptr;
  TFailingForm* form = nullptr;
  Application->CreateForm(module);
  Application->CreateForm(form);
  ASSERT_NE(module, nullptr);
  ASSERT_NE(form, nullptr);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], (std::pair<TObject*, std::string>{module, "no database"}));
  EXPECT_EQ(seen[1], (std::pair<TObject*, std::string>{form, "no picture"}));
  form->Show();  // a second show does not fire OnCreate again
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(AppTest, PaintHandlerMayOpenModalDialog) {
  TForm* main = nullptr;
  Application->CreateForm(main);
  TForm* dlg = new TForm(Application);
  int paints = 0, result = 0, depth = 0, maxDepth = 0, paintsDuringDialog = -1;
  dlg->OnShow = [&](TObject*) {
    // The page under the dialog is invalidated while its paint handler still runs: it is
    // painted again afterwards, not inside the running handler.
    Application->QueueCall([&] {
      main->Invalidate();
      vxtest::Pump();
      paintsDuringDialog = paints;
      dlg->SetModalResult(mrOk);
    });
  };
  main->OnPaint = [&](TObject*) {
    ++paints;
    maxDepth = std::max(maxDepth, ++depth);
    main->Canvas()->Brush()->SetColor(clRed);
    main->Canvas()->FillRect(TRect(0, 0, 10, 10));
    if (paints == 1) {
      result = dlg->ShowModal();
      Application->QueueCall([] { Application->Terminate(); });
    }
    --depth;
  };
  Application->Run();
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(paintsDuringDialog, 1);
  EXPECT_EQ(maxDepth, 1);
  EXPECT_GE(paints, 2);
  TBitmap shot;
  vxtest::Grab(main, &shot);
  EXPECT_EQ(shot.PixelColor(2, 2), clRed);
}

TEST_F(AppTest, ReleaseAndReleaseMessageFreeAfterCurrentEvent) {
  TForm* f = NewForm();
  bool destroyed = false;
  f->OnDestroy = [&](TObject*) { destroyed = true; };
  auto* b = new TButton(f);
  b->SetParent(f);
  bool aliveInHandler = false;
  b->OnClick = [&](TObject*) {
    f->Release();
    aliveInHandler = !destroyed && b->Caption() == "";
  };
  vxtest::Click(b, 2, 2);
  EXPECT_TRUE(aliveInHandler);
  EXPECT_FALSE(destroyed);
  vxtest::Pump();
  EXPECT_TRUE(destroyed);

  // A control that posts the release message to itself is freed when it arrives.
  TForm* g = NewForm();
  bool gone = false;
  g->OnDestroy = [&](TObject*) { gone = true; };
  g->PostMessage(CM_RELEASE);
  EXPECT_FALSE(gone);
  vxtest::Pump();
  EXPECT_TRUE(gone);
}

TEST_F(AppTest, OwnerlessFormParentedIntoPanelHidesAndShowsWithStateKept) {
  TForm* host = NewForm(400, 300);
  host->SetColor(clBlack);
  auto* panel = new TPanel(host);
  panel->SetParent(host);
  panel->SetBevelOuter(bvNone);
  panel->SetBounds(0, 0, 400, 300);
  TForm* page = new TForm(nullptr);
  page->SetColor(clNavy);
  auto* edit = new TEdit(page);
  edit->SetParent(page);
  edit->SetBounds(10, 10, 100, 20);
  int shows = 0, hides = 0;
  page->OnShow = [&](TObject*) { ++shows; };
  page->OnHide = [&](TObject*) { ++hides; };
  page->SetParent(panel);
  page->SetBorderStyle(bsNone);
  page->SetBounds(0, 0, panel->ClientWidth(), panel->ClientHeight());
  page->Show();
  page->BringToFront();
  edit->SetText("kept");
  TBitmap shot;
  vxtest::Grab(host, &shot);
  EXPECT_EQ(shot.PixelColor(300, 200), clNavy);
  page->Hide();
  vxtest::Grab(host, &shot);
  EXPECT_NE(shot.PixelColor(300, 200), clNavy);
  page->Show();
  vxtest::Grab(host, &shot);
  EXPECT_EQ(shot.PixelColor(300, 200), clNavy);
  EXPECT_EQ(edit->Text(), "kept");
  EXPECT_EQ(shows, 2);
  EXPECT_EQ(hides, 1);
  EXPECT_EQ(page->Parent(), panel);
  // The panel frees its pages with it, whoever owns them.
  bool destroyed = false;
  page->OnDestroy = [&](TObject*) { destroyed = true; };
  delete host;
  EXPECT_TRUE(destroyed);
}

TEST_F(AppTest, PositionsCentreOnScreenAndOwner) {
  TForm* f = new TForm(Application);
  f->SetBounds(0, 0, 200, 100);
  f->SetPosition(poScreenCenter);
  f->Show();
  EXPECT_EQ(f->Left(), (Screen->Width() - 200) / 2);
  EXPECT_EQ(f->Top(), (Screen->Height() - 100) / 2);
  TForm* d = new TForm(f);
  d->SetBounds(0, 0, 100, 50);
  d->SetPosition(poOwnerFormCenter);
  d->Show();
  TPoint o = f->ClientOrigin();
  EXPECT_EQ(d->Left(), o.X + 50);
  EXPECT_EQ(d->Top(), o.Y + 25);
  TForm* e = new TForm(Application);
  e->SetBounds(-30, -40, 50, 50);
  e->Show();
  EXPECT_EQ(e->Left(), -30);
  EXPECT_EQ(e->Top(), -40);
}

}  // namespace

namespace {

class HostTest : public GuiTest {};

TEST_F(HostTest, ScreenSizeAndFullScreenCentresSmallerForm) {
  // The off-screen platform's desktop is 800 x 600 unless told otherwise.
  EXPECT_GE(Screen->Width(), 640);
  EXPECT_GE(Screen->Height(), 480);
  EXPECT_EQ(Screen->PixelsPerInch(), 96);
  EXPECT_GT(Screen->DevicePixelRatio(), 0.0);
  TForm* host = NewForm(Screen->Width() / 2, Screen->Height() / 2);
  host->SetColor(clGreen);
  host->SetFullScreen(true);
  vxtest::Pump();
  EXPECT_TRUE(host->FullScreen());
  EXPECT_EQ(host->Width(), Screen->Width() / 2);  // not stretched
  TPoint o = host->ClientOrigin();
  EXPECT_EQ(o.X, (Screen->Width() - host->Width()) / 2);
  EXPECT_EQ(o.Y, (Screen->Height() - host->Height()) / 2);
  TBitmap shot;
  vxtest::Grab(host, &shot);
  EXPECT_EQ(shot.PixelColor(5, 5), clGreen);
  host->SetFullScreen(false);
  vxtest::Pump();
  EXPECT_FALSE(host->FullScreen());
  host->SetBorderStyle(bsSingle);
  host->SetPosition(poScreenCenter);
  host->Hide();
  host->Show();
  EXPECT_EQ(host->Left(), (Screen->Width() - host->Width()) / 2);
}

TEST_F(HostTest, EditClickAndEnterExitEvents) {
  TForm* f = NewForm();
  auto* a = new TEdit(f);
  a->SetParent(f);
  auto* b = new TEdit(f);
  b->SetParent(f);
  b->SetTop(40);
  std::vector<std::string> log;
  a->OnEnter = [&](TObject*) { log.push_back("enter a"); };
  a->OnExit = [&](TObject*) { log.push_back("exit a"); };
  b->OnEnter = [&](TObject*) { log.push_back("enter b"); };
  b->OnClick = [&](TObject*) { log.push_back("click b"); };
  a->SetFocus();
  b->SetFocus();
  vxtest::Click(b, 5, 5);
  EXPECT_EQ(log, (std::vector<std::string>{"enter a", "exit a", "enter b", "click b"}));
  EXPECT_EQ(f->ActiveControl(), b);
  // The handlers capture this test's locals: the form goes while they exist, and its teardown
  // (the focus leaving b) must not call them.
  log.clear();
  delete f;
  vxtest::Pump();
  EXPECT_TRUE(log.empty()) << log.front();
}

// A form of the program's own class whose OnDestroy uses its own parts.
class TCountingForm : public TForm {
 public:
  explicit TCountingForm(TComponent* AOwner) : TForm(AOwner) {}
  ~TCountingForm() override { Pages = 0; }
  int Pages = 3;
};

TEST_F(AppTest, FormsFreedWithTheApplicationHearOnDestroyWhileWhole) {
  auto* f = new TCountingForm(Application);
  std::vector<int> seen;
  f->OnDestroy = [&](TObject*) { seen.push_back(f->Pages); };
  delete Application;
  Application = new TApplication(nullptr);
  Application->Initialize();
  EXPECT_EQ(seen, std::vector<int>{3});  // once, before the form's own destructor
}

// Tearing down a window that holds the focused edit moves the focus as the edits go; none of
// that reaches a handler of a control whose destruction has begun, however the teardown starts.
TEST_F(HostTest, NoHandlerRunsOnceDestructionHasBegun) {
  enum How { kDeleteForm, kDeletePanel, kDeleteApplication };
  for (How how : {kDeleteForm, kDeletePanel, kDeleteApplication}) {
    SCOPED_TRACE(how);
    TForm* f = NewForm();
    auto* other = new TEdit(f);  // outside the panel: keeps the focus chain of the form alive
    other->SetParent(f);
    auto* panel = new TPanel(f);
    panel->SetParent(f);
    panel->SetBounds(0, 40, 200, 100);
    std::vector<std::string> log;
    std::vector<TEdit*> edits{other};
    for (int i = 0; i < 2; ++i) {
      auto* e = new TEdit(f);  // owned by the form, held by the panel
      e->SetParent(panel);
      e->SetTop(30 * i);
      edits.push_back(e);
    }
    for (size_t i = 0; i < edits.size(); ++i) {
      std::string n = std::to_string(i);
      edits[i]->OnEnter = [&log, n](TObject*) { log.push_back("enter " + n); };
      edits[i]->OnExit = [&log, n](TObject*) { log.push_back("exit " + n); };
      edits[i]->OnChange = [&log, n](TObject*) { log.push_back("change " + n); };
    }
    edits[2]->SetFocus();
    vxtest::Pump();
    ASSERT_FALSE(log.empty());  // focus events do arrive while the controls live
    log.clear();
    switch (how) {
      case kDeleteForm: delete f; break;
      case kDeletePanel: delete panel; break;
      case kDeleteApplication:
        delete Application;
        Application = new TApplication(nullptr);
        Application->Initialize();
        break;
    }
    vxtest::Pump();
    // Deleting only the panel leaves the form's own edit alive: taking the focus is its right.
    if (how == kDeletePanel) {
      for (const std::string& l : log) EXPECT_EQ(l, "enter 0");
      log.clear();
      delete f;
      vxtest::Pump();
    }
    EXPECT_TRUE(log.empty()) << log.front();
  }
}

TEST(ShellOpenHook, TheHandlerGetsTheTargetAndAnEmptyOneRestoresTheDesktop) {
  std::vector<std::string> seen;
  EXPECT_FALSE(SetShellOpenHandler([&](const std::string& t) {
    seen.push_back(t);
    return t.rfind("https://", 0) == 0;
  }));
  EXPECT_TRUE(ShellOpen("https://example.org/"));
  EXPECT_FALSE(ShellOpen("help\\about.htm"));
  EXPECT_EQ(seen, (std::vector<std::string>{"https://example.org/", "help\\about.htm"}));
  EXPECT_TRUE(static_cast<bool>(SetShellOpenHandler(nullptr)));
}

}  // namespace
