#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QUrl>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/core/cp1250.h"
#include "platform/gui/controlimpl.h"
#include "platform/gui/stdctrls.h"

// ---------------------------------------------------------------------------------------------
// Text at the Qt edge

QString ToQ(const std::string& s) {
  QString out;
  out.reserve(int(s.size()));
  for (unsigned char c : s) out.append(QChar(char16_t(Cp1250ToUnicode(c))));
  return out;
}

std::string FromQ(const QString& s) {
  std::u16string u(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
  return Utf16ToCp1250(u);
}

int UnicodeToCp1250Byte(char32_t u) {
  unsigned char b;
  if (!UnicodeToCp1250(u, b)) return -1;
  if (!Cp1250IsMapped(b)) return -1;
  return b;
}

// ---------------------------------------------------------------------------------------------
// The Qt application object

namespace {

std::vector<QEventLoop*>& Loops() {
  static std::vector<QEventLoop*> v;
  return v;
}

struct CallEvent : QEvent {
  explicit CallEvent(std::function<void()> f) : QEvent(kCallEvent), fn(std::move(f)) {}
  std::function<void()> fn;
};

class AppObject : public QObject {
 public:
  bool idlePosted = false;
  bool event(QEvent* e) override {
    if (e->type() == kCallEvent) {
      auto fn = std::move(static_cast<CallEvent*>(e)->fn);
      GuardedCall(fn);
      return true;
    }
    if (e->type() == kIdleEvent) {
      idlePosted = false;
      if (Application && Application->OnIdle && !Application->Terminated()) {
        bool done = true;
        GuardedCall([&] { Application->OnIdle(Application, done); });
        if (!done) Post();
      }
      return true;
    }
    return QObject::event(e);
  }
  void Post() {
    if (idlePosted) return;
    idlePosted = true;
    QCoreApplication::postEvent(this, new QEvent(kIdleEvent), Qt::LowEventPriority);
  }
};

AppObject* g_appObject = nullptr;

class VxApplication : public QApplication {
 public:
  VxApplication(int& argc, char** argv) : QApplication(argc, argv) {}

  bool notify(QObject* receiver, QEvent* e) override {
    try {
      // A control whose destruction has begun gets no key, focus, click or mouse handler calls: Qt
      // alone handles what still reaches its widgets (the focus moving away as they go).
      if (receiver->isWidgetType())
        if (TWinControl* c = ControlOfWidget(static_cast<QWidget*>(receiver)); c && ControlBridge::BeingDestroyed(c))
          return QApplication::notify(receiver, e);
      switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
          if (receiver->isWidgetType()) {
            if (TWinControl* c = ControlOfWidget(static_cast<QWidget*>(receiver))) {
              bool replaced = false;
              QString rep;
              if (ControlBridge::KeyPipeline(c, e, replaced, rep)) return true;
              if (replaced) {
                auto* k = static_cast<QKeyEvent*>(e);
                QKeyEvent ne(k->type(), rep.isEmpty() ? 0 : k->key(), k->modifiers(), rep, k->isAutoRepeat(),
                             ushort(k->count()));
                return QApplication::notify(receiver, &ne);
              }
            }
          }
          break;
        case QEvent::FocusIn:
        case QEvent::FocusOut:
          if (receiver->isWidgetType()) {
            auto reason = static_cast<QFocusEvent*>(e)->reason();
            bool res = QApplication::notify(receiver, e);
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
              if (TWinControl* c = ControlOfWidget(static_cast<QWidget*>(receiver), true)) {
                if (e->type() == QEvent::FocusIn) ControlBridge::FocusIn(c);
                else ControlBridge::FocusOut(c);
              }
            }
            return res;
          }
          break;
        case QEvent::MouseButtonRelease:
          // Edits and memos have no click signal of their own: a left click inside is OnClick.
          if (receiver->isWidgetType() && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            TWinControl* c = ControlOfWidget(static_cast<QWidget*>(receiver));
            if (c && (dynamic_cast<TEdit*>(c) || dynamic_cast<TMemo*>(c))) {
              bool res = QApplication::notify(receiver, e);
              if (IsLive(c)) GuardedCall([c] { c->Click(); });
              return res;
            }
          }
          break;
        case QEvent::Enter:
        case QEvent::Leave:
          if (receiver->isWidgetType()) {
            TWinControl* c = ControlOfWidget(static_cast<QWidget*>(receiver), true);
            if (c && !ControlBridge::P(c).custom)
              GuardedCall([&] { c->Perform(e->type() == QEvent::Enter ? CM_MOUSEENTER : CM_MOUSELEAVE); });
          }
          break;
        default: break;
      }
      return QApplication::notify(receiver, e);
    } catch (...) {
      if (Application) Application->HandleException(Application);
      return false;
    }
  }
};

int g_argc = 1;
char g_arg0[] = "vx";
char* g_argv[] = {g_arg0, nullptr};

}  // namespace

void PushLoop(QEventLoop* l) { Loops().push_back(l); }
void PopLoop(QEventLoop* l) {
  auto& v = Loops();
  v.erase(std::remove(v.begin(), v.end(), l), v.end());
}

// The font substitution names Liberation families for the Windows metric fonts, meaning the files
// of the Liberation 2 package the program is installed with. An older Liberation package has the
// same family and style names with other glyph widths, and which of two such fonts the system's
// font list offers is its own affair: while the program's folder is there, the Liberation fonts
// come from it alone. The configuration is set up before Qt first asks for fonts.
void PreferProgramFonts() {
  static const char kProgramLiberation[] = "/usr/share/fonts/truetype/liberation2";
  if (access(kProgramLiberation, R_OK | X_OK) != 0) return;
  FcConfig* config = FcInitLoadConfig();
  if (!config) return;
  const std::string rules = std::string("<fontconfig><selectfont><acceptfont><glob>") + kProgramLiberation +
                            "/*</glob></acceptfont><rejectfont><glob>*/Liberation*</glob></rejectfont>"
                            "</selectfont></fontconfig>";
  if (FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(rules.c_str()), FcFalse) &&
      FcConfigBuildFonts(config))
    FcConfigSetCurrent(config);
  FcConfigDestroy(config);  // the current configuration holds a reference of its own
}

void EnsureQtApp() {
  if (QCoreApplication::instance()) return;
  PreferProgramFonts();
  auto* app = new VxApplication(g_argc, g_argv);
  app->setQuitOnLastWindowClosed(false);
  g_appObject = new AppObject;
  // Idle processing: whenever the loop is about to wait, the program's OnIdle gets a turn.
  QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, [] {
    if (Application && Application->OnIdle && g_appObject) g_appObject->Post();
  });
  QObject::connect(app, &QGuiApplication::applicationStateChanged, [](Qt::ApplicationState s) {
    if (!Application) return;
    if (s == Qt::ApplicationActive && Application->OnActivate) GuardedCall([] { Application->OnActivate(Application); });
    if (s != Qt::ApplicationActive && Application->OnDeactivate) GuardedCall([] { Application->OnDeactivate(Application); });
  });
}

void GuardedCall(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    if (Application) Application->HandleException(Application);
  }
}

// ---------------------------------------------------------------------------------------------
// TApplication

struct TApplication::Impl {};

TApplication* Application = new TApplication(nullptr);
TScreen* Screen = new TScreen(nullptr);

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner), FImpl(new Impl) { FTitle = "vx"; }
TApplication::~TApplication() {
  FMainForm = nullptr;
  // Every form goes: none of them reacts to the focus leaving another one.
  Destroying();
  // Each form hears OnDestroy while it is still whole: from its own destructor the handler would
  // run after the parts of a derived form are gone.
  std::vector<TForm*> forms;
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* f = dynamic_cast<TForm*>(Components(i))) forms.push_back(f);
  for (TForm* f : forms)
    if (IsLive(f)) f->BeforeDestruction();
  DestroyComponents();
}

void TApplication::Initialize() { EnsureQtApp(); }

void TApplication::FormCreated(TComponent* c) {
  if (auto* f = dynamic_cast<TForm*>(c))
    if (!FMainForm) FMainForm = f;
}

void TApplication::Run() {
  if (FTerminated) return;
  EnsureQtApp();
  if (FMainForm && FShowMainForm) GuardedCall([this] { FMainForm->Show(); });
  if (FTerminated) return;
  QEventLoop loop;
  PushLoop(&loop);
  loop.exec();
  PopLoop(&loop);
}

void TApplication::QuitLoops() {
  for (QEventLoop* l : Loops()) l->exit();
  // Dialogs of Qt's own (message boxes, file dialogs) end as well.
  if (QCoreApplication::instance())
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
}

void TApplication::Terminate() {
  FTerminated = true;
  QuitLoops();
}

int TApplication::LoopLevel() const { return int(Loops().size()); }

void TApplication::ProcessMessages() {
  EnsureQtApp();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::sendPostedEvents();
}

void TApplication::HandleMessage() {
  EnsureQtApp();
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TApplication::QueueCall(std::function<void()> fn) {
  EnsureQtApp();
  QCoreApplication::postEvent(g_appObject, new CallEvent(std::move(fn)));
}

void TApplication::ReleaseObject(TObject* obj) {
  uint64_t serial = LiveSerial(obj);
  // Controls, forms and timers are tracked: one freed in the meantime is left alone. Any other
  // object must stay alive until the call runs.
  QueueCall([obj, serial] {
    if (serial && LiveSerial(obj) != serial) return;
    if (auto* f = dynamic_cast<TForm*>(obj)) f->BeforeDestruction();
    delete obj;
  });
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr p = std::current_exception();
  if (!p) return;
  try {
    try {
      std::rethrow_exception(p);
    } catch (EAbort&) {
      // Silent by design.
    } catch (Exception& e) {
      if (OnException) OnException(Sender, &e);
      else ShowException(&e);
    } catch (std::exception& e) {
      Exception ex(e.what());
      if (OnException) OnException(Sender, &ex);
      else ShowException(&ex);
    } catch (...) {
      Exception ex("Unknown exception");
      if (OnException) OnException(Sender, &ex);
      else ShowException(&ex);
    }
  } catch (...) {
    // An exception handler that fails itself must not take the event loop down.
    std::fprintf(stderr, "vx: exception raised while handling an exception\n");
  }
}

void TApplication::ShowException(Exception* E) {
  std::string msg = E->Message();
  if (!msg.empty() && msg.back() != '.') msg += '.';
  const char* plat = std::getenv("QT_QPA_PLATFORM");
  if (plat && std::string(plat).rfind("offscreen", 0) == 0) {
    std::fprintf(stderr, "%s: %s\n", Cp1250ToUtf8(FTitle).c_str(), Cp1250ToUtf8(msg).c_str());
    return;
  }
  MessageBox(msg, FTitle, MB_OK | MB_ICONERROR);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  EnsureQtApp();
  QMessageBox box;
  box.setWindowTitle(ToQ(caption));
  box.setText(ToQ(text));
  switch (flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  switch (flags & 0x0F) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNOCANCEL: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok);
  }
  if (FTerminated) return IDCANCEL;
  int r = box.exec();
  switch (r) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDCANCEL;
  }
}

void TApplication::SetTitle(const std::string& t) {
  FTitle = t;
  if (QCoreApplication::instance()) QGuiApplication::setApplicationDisplayName(ToQ(t));
}

bool TApplication::Active() const {
  return QCoreApplication::instance() && QGuiApplication::applicationState() == Qt::ApplicationActive;
}

// ---------------------------------------------------------------------------------------------
// TScreen and cursors

namespace {
std::map<TCursor, QCursor>& CustomCursors() {
  static std::map<TCursor, QCursor> m;
  return m;
}
}  // namespace

QCursor QtCursorOf(TCursor c) {
  auto it = CustomCursors().find(c);
  if (it != CustomCursors().end()) return it->second;
  return QCursor(CursorShapeOf(c));
}

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner), FMessageFont(new TFont) {
  FMessageFont->SetName("Tahoma");
  FMessageFont->SetHeight(-11);
}
TScreen::~TScreen() = default;

int TScreen::Width() const {
  EnsureQtApp();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 800;
}
int TScreen::Height() const {
  EnsureQtApp();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 600;
}
double TScreen::DevicePixelRatio() const {
  EnsureQtApp();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->devicePixelRatio() : 1.0;
}

void TScreen::SetCursor(TCursor c) {
  EnsureQtApp();
  if (c == FCursor) return;
  if (FCursor != crDefault) QGuiApplication::restoreOverrideCursor();
  FCursor = c;
  if (c != crDefault) QGuiApplication::setOverrideCursor(QtCursorOf(c));
}

void TScreen::SetCustomCursor(TCursor id, const TBitmap& image, int hotX, int hotY) {
  EnsureQtApp();
  if (image.Empty()) return;
  QImage img = image.Data()->image.copy();
  const uint32_t key = img.pixel(0, img.height() - 1) & 0xFFFFFF;
  for (int y = 0; y < img.height(); ++y) {
    QRgb* s = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) s[x] = ((s[x] & 0xFFFFFF) == key) ? 0 : (s[x] | 0xFF000000u);
  }
  CustomCursors()[id] = QCursor(QPixmap::fromImage(img), hotX, hotY);
}

bool TScreen::HasCursor(TCursor id) const { return CustomCursors().count(id) != 0 || id <= 0; }

std::vector<std::string> TScreen::Fonts() const {
  std::vector<std::string> v;
  for (auto& f : EnumFontFamilies()) v.push_back(f.Name);
  return v;
}

// ---------------------------------------------------------------------------------------------
// TTimer

struct TTimer::Impl {
  QTimer* timer = nullptr;
};

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), FImpl(new Impl) {
  EnsureQtApp();
  FImpl->timer = new QTimer();
  TTimer* self = this;
  QObject::connect(FImpl->timer, &QTimer::timeout, [self] {
    GuardedCall([self] {
      if (self->OnTimer) self->OnTimer(self);
    });
  });
  MarkLive(this, true);
  UpdateTimer();
}

TTimer::~TTimer() {
  MarkLive(this, false);
  FImpl->timer->stop();
  QObject::disconnect(FImpl->timer, nullptr, nullptr, nullptr);
  FImpl->timer->deleteLater();
}

void TTimer::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned ms) {
  if (ms == FInterval) return;
  FInterval = ms;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (FEnabled && FInterval > 0) FImpl->timer->start(int(FInterval));
  else FImpl->timer->stop();
}

namespace {
TShellOpenHandler gShellOpenHandler;
}

TShellOpenHandler SetShellOpenHandler(TShellOpenHandler handler) {
  TShellOpenHandler old = std::move(gShellOpenHandler);
  gShellOpenHandler = std::move(handler);
  return old;
}

bool ShellOpen(const std::string& target) {
  if (gShellOpenHandler) return gShellOpenHandler(target);
  EnsureQtApp();
  QUrl url = QUrl::fromUserInput(ToQ(target));
  return url.isValid() && QDesktopServices::openUrl(url);
}
