#include <QApplication>
#include <QEnterEvent>
#include <QEventLoop>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gui/controlimpl.h"
#include "platform/gui/fullscreen.h"
#include "platform/gui/screen_grab.h"
#include "platform/gui/stdctrls.h"

namespace {
// Brings a top-level window to the front and gives it the focus (the off-screen platform of the
// tests has no window stacking; there activation alone is enough).
void RaiseWindow(QWidget* top) {
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) top->raise();
  top->activateWindow();
}

std::vector<TForm*>& FormList() {
  static std::vector<TForm*> v;
  return v;
}
}  // namespace

int TScreen::FormCount() const { return int(FormList().size()); }
TForm* TScreen::Forms(int i) const { return (i >= 0 && i < FormCount()) ? FormList()[size_t(i)] : nullptr; }
TForm* TScreen::ActiveForm() const {
  for (TForm* f : FormList())
    if (f->Active()) return f;
  return nullptr;
}

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner) {
  P->visible = false;
  P->color = clBtnFace;
  P->parentFont = false;
  P->parentColor = false;
  P->widget->setWindowFlags(Qt::Window);
  P->widget->setFocusPolicy(Qt::NoFocus);
  P->widget->setAttribute(Qt::WA_QuitOnClose, false);
  P->bounds = QRect(0, 0, 0, 0);
  SetBounds(0, 0, 320, 240);
  FormList().push_back(this);
}

TForm::~TForm() {
  ControlBridge::MarkDestroying(this);
  BeforeDestruction();
  auto& v = FormList();
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  if (Application && Application->MainForm() == this) Application->SetMainForm(nullptr);
  if (P->modalLoop) static_cast<QEventLoop*>(P->modalLoop)->exit();
  if (P->shell) {
    QWidget* s = P->shell.data();
    if (P->widget) P->widget->setParent(nullptr);
    P->shell = nullptr;
    delete s;
  }
}

// A failing OnCreate is reported through the application like any other handler's failure; the
// form (or data module) exists and the program goes on, as it does after a failing click.
static void FireCreate(TObject* Sender, const TNotifyEvent& OnCreate) {
  if (!OnCreate) return;
  try {
    OnCreate(Sender);
  } catch (...) {
    if (!Application) throw;
    Application->HandleException(Sender);
  }
}

void TForm::AfterConstruction() {
  if (P->created) return;
  P->created = true;
  FireCreate(this, OnCreate);
}

void TDataModule::AfterConstruction() {
  if (FCreated) return;
  FCreated = true;
  FireCreate(this, OnCreate);
}

void TForm::BeforeDestruction() {
  if (P->destroyFired) return;
  P->destroyFired = true;
  if (OnDestroy) GuardedCall([this] { OnDestroy(this); });
}

TFormBorderStyle TForm::BorderStyle() const { return P->borderStyle; }
void TForm::SetBorderStyle(TFormBorderStyle s) {
  P->borderStyle = s;
  if (P->parent || !P->widget || P->fullScreen) return;
  Qt::WindowFlags fl = Qt::Window;
  switch (s) {
    case bsNone: fl |= Qt::FramelessWindowHint; break;
    case bsDialog: fl = Qt::Dialog; break;
    case bsToolWindow: case bsSizeToolWin: fl = Qt::Tool; break;
    default: break;
  }
  if (s != bsNone) {
    fl |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    const TBorderIcons bi = P->borderIcons;
    if (bi & biSystemMenu) fl |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if ((bi & biSystemMenu) && (bi & biMinimize) && s != bsDialog) fl |= Qt::WindowMinimizeButtonHint;
    if ((bi & biSystemMenu) && (bi & biMaximize) && (s == bsSizeable || s == bsSizeToolWin))
      fl |= Qt::WindowMaximizeButtonHint;
  }
  if (P->formStyle == fsStayOnTop) fl |= Qt::WindowStaysOnTopHint;
  bool wasVisible = P->widget->isVisible();
  P->widget->setWindowFlags(fl);
  if (s == bsSizeable || s == bsSizeToolWin) {
    P->widget->setMinimumSize(0, 0);
    P->widget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
  ControlBridge::ApplyGeometry(this);
  if (wasVisible) P->widget->show();
}

TPosition TForm::Position() const { return P->position; }
void TForm::SetPosition(TPosition p) { P->position = p; }
TBorderIcons TForm::BorderIcons() const { return P->borderIcons; }
void TForm::SetBorderIcons(TBorderIcons icons) {
  P->borderIcons = icons;
  SetBorderStyle(P->borderStyle);
}

TFormStyle TForm::FormStyle() const { return P->formStyle; }
void TForm::SetFormStyle(TFormStyle s) {
  P->formStyle = s;
  SetBorderStyle(P->borderStyle);
}
TWindowState TForm::WindowState() const { return P->windowState; }
void TForm::SetWindowState(TWindowState s) {
  P->windowState = s;
  if (!P->widget || P->parent) return;
  if (s == wsMinimized) P->widget->showMinimized();
  else if (s == wsMaximized && P->widget->isVisible()) P->widget->showMaximized();
}
bool TForm::KeyPreview() const { return P->keyPreview; }
void TForm::SetKeyPreview(bool v) { P->keyPreview = v; }
TWinControl* TForm::ActiveControl() const { return IsLive(P->activeControl) ? P->activeControl : nullptr; }
void TForm::SetActiveControl(TWinControl* c) {
  P->activeControl = c;
  if (c && Showing() && c->CanFocus()) c->SetFocus();
  if (!c && P->widget) {
    QWidget* fw = QApplication::focusWidget();
    if (fw && P->widget->isAncestorOf(fw)) fw->clearFocus();
  }
}
bool TForm::Active() const { return P->active; }
TBiDiMode TForm::BiDiMode() const { return P->biDiMode; }
void TForm::SetBiDiMode(TBiDiMode m) {
  P->biDiMode = m;
  if (P->widget) P->widget->setLayoutDirection(m == bdLeftToRight ? Qt::LeftToRight : Qt::RightToLeft);
}

bool TForm::FullScreen() const { return P->fullScreen; }

// ---------------------------------------------------------------------------------------------
// Enlarged full-screen picture

int CrispScale(QSize screen, QSize picture) {
  if (picture.width() < 1 || picture.height() < 1) return 1;
  return std::max(1, std::min(screen.width() / picture.width(), screen.height() / picture.height()));
}

VxScaledView::VxScaledView(QWidget* shell, QWidget* form) : QWidget(shell), shell_(shell), form_(form) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
  setGeometry(shell->rect());
  Layout();
  Refresh();
  // The shell's update requests tell that something in the form may look different; the form's
  // resizes move the picture; and input that goes straight to a control holding the mouse is
  // seen by the application-wide filter.
  shell->installEventFilter(this);
  form->installEventFilter(this);
  qApp->installEventFilter(this);
  raise();
  show();
}

VxScaledView::~VxScaledView() { Detach(); }

void VxScaledView::Detach() {
  if (qApp) qApp->removeEventFilter(this);
  if (shell_) shell_->removeEventFilter(this);
  if (form_) form_->removeEventFilter(this);
  form_ = nullptr;
  pressed_ = nullptr;
  hover_ = nullptr;
}

void VxScaledView::Layout() {
  if (!form_) return;
  const QSize fs = form_->size();
  scale_ = CrispScale(size(), fs);
  origin_ = QPoint((width() - fs.width() * scale_) / 2, (height() - fs.height() * scale_) / 2);
  update();
}

QRect VxScaledView::PictureRect() const {
  if (!form_) return QRect();
  return QRect(origin_, form_->size() * scale_);
}

QPoint VxScaledView::FormPoint(QPointF shellPos) const {
  const QPointF d = shellPos - QPointF(origin_);
  return QPoint(int(std::floor(d.x() / scale_)), int(std::floor(d.y() / scale_)));
}

void VxScaledView::Refresh() {
  if (!form_) return;
  QImage img(form_->size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32);
  img.fill(0xFF000000u);
  form_->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
  if (img.size() != frame_.size()) {
    frame_ = std::move(img);
    update();
    return;
  }
  // Repaint only the rows that changed: a frame that looks the same costs no screen update (and
  // the view's own repaint, which raises another update request, ends here).
  int first = -1, last = -1;
  const size_t bytes = size_t(img.width()) * 4;
  for (int y = 0; y < img.height(); ++y) {
    if (std::memcmp(img.constScanLine(y), frame_.constScanLine(y), bytes) == 0) continue;
    if (first < 0) first = y;
    last = y;
  }
  if (first < 0) return;
  frame_ = std::move(img);
  update(QRect(origin_.x(), origin_.y() + first * scale_, frame_.width() * scale_, (last - first + 1) * scale_));
}

void VxScaledView::paintEvent(QPaintEvent* e) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  const QRect pic = PictureRect();
  for (const QRect& r : e->region() - QRegion(pic)) painter.fillRect(r, Qt::black);
  if (frame_.isNull() || pic.isEmpty()) return;
  // Whole source pixels as square blocks: no smoothing.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.setClipRegion(e->region() & QRegion(pic));
  painter.drawImage(pic, frame_);
}

bool VxScaledView::InForm(QObject* o) const {
  if (!form_ || !o || !o->isWidgetType()) return false;
  auto* w = static_cast<QWidget*>(o);
  return w == form_ || form_->isAncestorOf(w);
}

QWidget* VxScaledView::WidgetAt(QPoint fp) const {
  if (!form_ || !form_->rect().contains(fp)) return nullptr;
  QWidget* c = form_->childAt(fp);
  return c ? c : form_.data();
}

namespace {
QPointF LocalOf(QWidget* target, QWidget* form, QPoint fp) {
  return QPointF(target == form ? fp : target->mapFrom(form, fp));
}
}  // namespace

void VxScaledView::SetHover(QWidget* w, QPoint fp, QPointF global) {
  if (hover_ == w) return;
  auto chain = [this](QWidget* x) {
    std::vector<QPointer<QWidget>> v;
    for (; x && x != shell_; x = x->parentWidget()) {
      v.emplace_back(x);
      if (x == form_) break;
    }
    return v;
  };
  auto holds = [](const std::vector<QPointer<QWidget>>& v, QWidget* x) {
    return std::find(v.begin(), v.end(), x) != v.end();
  };
  const auto oldChain = chain(hover_), newChain = chain(w);
  hover_ = w;
  // Leave from the innermost widget outwards, enter from the outermost inwards.
  for (const QPointer<QWidget>& x : oldChain) {
    if (!x || holds(newChain, x)) continue;
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(x, &leave);
  }
  for (auto it = newChain.rbegin(); it != newChain.rend(); ++it) {
    QWidget* x = *it;
    if (!x || !form_ || holds(oldChain, x) || !InForm(x)) continue;
    const QPointF local = LocalOf(x, form_, fp);
    QEnterEvent enter(local, local, global);
    QCoreApplication::sendEvent(x, &enter);
  }
}

// Hands a mouse event of the screen to the control under the enlarged pixel, as the window
// system would have: the press goes to the widget under it, which keeps every move and the
// release until all buttons are up; a press gives the focus to the first widget up the chain
// that takes it on a click.
void VxScaledView::Forward(QMouseEvent* e) {
  e->accept();
  if (!form_) return;
  const QPoint fp = FormPoint(e->position());
  const QEvent::Type t = e->type();
  const bool press = t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick;
  if (pressed_ && !InForm(pressed_)) pressed_ = nullptr;
  // A press taken by a control that held the mouse itself ends without the view seeing it.
  if (t == QEvent::MouseMove && e->buttons() == Qt::NoButton) pressed_ = nullptr;
  QWidget* target = nullptr;
  if (pressed_ && (!press || (e->buttons() & ~e->button()))) {
    target = pressed_;
  } else if (press) {
    target = WidgetAt(fp);
    pressed_ = target;
    for (QWidget* w = target; w; w = w->parentWidget()) {
      if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus) {
        w->setFocus(Qt::MouseFocusReason);
        break;
      }
      if (w == form_ || w->isWindow() || w->hasFocus()) break;
    }
    if (!InForm(target)) return;  // a focus handler may have changed the form
  } else {
    target = WidgetAt(fp);
    if (t == QEvent::MouseMove) SetHover(target, fp, e->globalPosition());
    if (!InForm(target)) return;
  }
  if (!target) return;
  const QPointF local = LocalOf(target, form_, fp);
  QPointer<QWidget> guard(target);
  QMouseEvent fwd(t, local, target->mapToGlobal(local), e->button(), e->buttons(), e->modifiers());
  QCoreApplication::sendEvent(target, &fwd);
  if (t == QEvent::MouseButtonRelease && e->buttons() == Qt::NoButton) {
    pressed_ = nullptr;
    if (form_) SetHover(WidgetAt(fp), fp, e->globalPosition());
  }
  if (guard && t == QEvent::MouseMove) {
    const QCursor c = guard->cursor();
    if (cursor().shape() != c.shape() || c.shape() == Qt::BitmapCursor) setCursor(c);
  }
}

void VxScaledView::mousePressEvent(QMouseEvent* e) { Forward(e); }
void VxScaledView::mouseReleaseEvent(QMouseEvent* e) { Forward(e); }
void VxScaledView::mouseDoubleClickEvent(QMouseEvent* e) { Forward(e); }
void VxScaledView::mouseMoveEvent(QMouseEvent* e) { Forward(e); }

void VxScaledView::wheelEvent(QWheelEvent* e) {
  const QPoint fp = FormPoint(e->position());
  QWidget* target = WidgetAt(fp);
  if (!target) {
    e->ignore();
    return;
  }
  const QPointF local = LocalOf(target, form_, fp);
  QWheelEvent fwd(local, target->mapToGlobal(local), e->pixelDelta(), e->angleDelta(), e->buttons(), e->modifiers(),
                  e->phase(), e->inverted(), e->source());
  QCoreApplication::sendEvent(target, &fwd);
  e->setAccepted(fwd.isAccepted());
}

void VxScaledView::leaveEvent(QEvent*) {
  if (!pressed_) SetHover(nullptr, QPoint(), QPointF());
}

bool VxScaledView::event(QEvent* e) {
  if (e->type() == QEvent::ToolTip && form_) {
    auto* he = static_cast<QHelpEvent*>(e);
    const QPoint fp = FormPoint(he->pos());
    if (QWidget* target = WidgetAt(fp)) {
      // The tip shows by the real mouse position.
      QHelpEvent fwd(QEvent::ToolTip, LocalOf(target, form_, fp).toPoint(), he->globalPos());
      QCoreApplication::sendEvent(target, &fwd);
    }
    return true;
  }
  return QWidget::event(e);
}

bool VxScaledView::eventFilter(QObject* o, QEvent* e) {
  if (!form_) return false;
  if (o == shell_) {
    // A hidden window is told of no changes: showing it again renders the form anew.
    if (e->type() == QEvent::UpdateRequest || e->type() == QEvent::Show) Refresh();
    else if (e->type() == QEvent::Resize) setGeometry(shell_->rect()), Layout();
    return false;
  }
  if (o == form_ && e->type() == QEvent::Resize) {
    Layout();
    return false;
  }
  switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      // A control that holds the mouse gets the window system's events directly, placed by the
      // form's own (unenlarged) geometry: place them by the picture instead.
      if (!e->spontaneous() || !InForm(o)) return false;
      auto* me = static_cast<QMouseEvent*>(e);
      auto* w = static_cast<QWidget*>(o);
      const QPoint fp = FormPoint(mapFromGlobal(me->globalPosition()));
      const QPointF local = LocalOf(w, form_, fp);
      QMouseEvent fwd(e->type(), local, w->mapToGlobal(local), me->button(), me->buttons(), me->modifiers());
      QCoreApplication::sendEvent(w, &fwd);
      e->accept();
      return true;
    }
    default: return false;
  }
}

// Full screen: a borderless window covers the whole screen. When the screen is larger than the
// form, the form sits centred at its own size on a black shell window; when the screen holds it
// two or more times over, a view on the shell shows it enlarged by the largest whole factor.
void TForm::SetFullScreen(bool v) {
  if (v == P->fullScreen || P->parent || !P->widget) return;
  QWidget* w = P->widget.data();
  bool visible = P->visible;
  // Moving the form between windows takes the keyboard focus from it: give it back afterwards,
  // so that typing goes on where it was.
  QPointer<QWidget> focus = QApplication::focusWidget();
  if (focus && focus != w && !w->isAncestorOf(focus)) focus = nullptr;
  if (v) {
    P->fullScreen = true;
    QScreen* scr = QGuiApplication::primaryScreen();
    QRect sg = scr ? scr->geometry() : QRect(0, 0, P->bounds.width(), P->bounds.height());
    if (sg.size() == P->bounds.size()) {
      w->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
      w->setGeometry(sg);
      if (visible) w->showFullScreen();
    } else {
      auto* shell = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint);
      shell->setAttribute(Qt::WA_QuitOnClose, false);
      QPalette pal = shell->palette();
      pal.setColor(QPalette::Window, Qt::black);
      shell->setPalette(pal);
      shell->setAutoFillBackground(true);
      shell->setGeometry(sg);
      P->shell = shell;
      w->setParent(shell);
      w->setGeometry(QRect(QPoint((sg.width() - P->bounds.width()) / 2, (sg.height() - P->bounds.height()) / 2),
                           P->bounds.size()));
      w->show();
      if (CrispScale(sg.size(), P->bounds.size()) > 1) new VxScaledView(shell, w);
      if (visible) shell->showFullScreen();
    }
  } else {
    P->fullScreen = false;
    if (P->shell) {
      QWidget* s = P->shell.data();
      // The view lets go of the form before the form leaves the shell.
      const QObjectList kids = s->children();
      for (QObject* o : kids)
        if (auto* view = dynamic_cast<VxScaledView*>(o)) delete view;
      w->setParent(nullptr);
      P->shell = nullptr;
      s->hide();
      s->deleteLater();
    }
    SetBorderStyle(P->borderStyle);
    ControlBridge::ApplyGeometry(this);
    if (visible) w->show();
  }
  if (focus && visible && (focus == w || w->isAncestorOf(focus)) && QApplication::focusWidget() != focus)
    focus->setFocus(Qt::OtherFocusReason);
}

void TForm::SetVisible(bool v) {
  if (v == P->visible) return;
  ControlBridge::DoShowForm(this, v);
}

void ControlBridge::DoShowForm(TForm* f, bool show) {
  auto& p = *f->P;
  if (show) {
    f->AfterConstruction();
    p.visible = true;
    GuardedCall([f] { f->DoShow(); });
    if (!IsLive(f) || !p.visible) return;
    if (p.align != alNone && p.parent) p.parent->Realign();
    if (!p.parent) {
      f->ApplyPosition();
      QWidget* top = p.shell ? p.shell.data() : p.widget.data();
      if (p.shell) p.widget->show();
      if (p.fullScreen) top->showFullScreen();
      else if (p.windowState == wsMaximized) top->showMaximized();
      else top->show();
      RaiseWindow(top);
    } else {
      p.widget->show();
      p.widget->raise();
    }
    TWinControl* ac = f->ActiveControl();
    if (ac && ac->CanFocus()) {
      ac->SetFocus();
    } else if (!p.parent && !ac) {
      // Focus the first control that takes the focus, in tab order.
      std::function<TWinControl*(TWinControl*)> first = [&](TWinControl* w) -> TWinControl* {
        std::vector<TControl*> kids = ControlBridge::P(w).children;
        std::stable_sort(kids.begin(), kids.end(), [](TControl* a, TControl* b) {
          auto* wa = dynamic_cast<TWinControl*>(a);
          auto* wb = dynamic_cast<TWinControl*>(b);
          return (wa ? wa->TabOrder() : 0) < (wb ? wb->TabOrder() : 0);
        });
        for (TControl* k : kids) {
          auto* wk = dynamic_cast<TWinControl*>(k);
          if (!wk || dynamic_cast<TForm*>(wk) || !wk->CanFocus()) continue;
          if (wk->TabStop()) return wk;
          if (auto* inner = first(wk)) return inner;
        }
        return nullptr;
      };
      if (TWinControl* fc = first(f)) fc->SetFocus();
    }
  } else {
    p.visible = false;
    if (p.widget && p.widget->isAncestorOf(QApplication::focusWidget())) QApplication::focusWidget()->clearFocus();
    if (p.shell) p.shell->hide();
    if (p.widget) p.widget->hide();
    GuardedCall([f] { f->DoHide(); });
    if (!IsLive(f)) return;
    if (p.align != alNone && p.parent) p.parent->Realign();
  }
}

void TForm::DoShow() {
  if (OnShow) OnShow(this);
}
void TForm::DoHide() {
  if (OnHide) OnHide(this);
}
void TForm::DoClose(TCloseAction& a) {
  if (OnClose) OnClose(this, a);
}

void TForm::ApplyPosition() {
  if (P->parent || P->fullScreen) return;
  int w = Width(), h = Height();
  auto centreOn = [&](const TControl* c) {
    if (!c) {
      SetBounds((Screen->Width() - w) / 2, (Screen->Height() - h) / 2, w, h);
      return;
    }
    TPoint o = c->ClientOrigin();
    SetBounds(o.X + (c->Width() - w) / 2, o.Y + (c->Height() - h) / 2, w, h);
  };
  switch (P->position) {
    case poScreenCenter:
    case poDesktopCenter: centreOn(nullptr); break;
    case poMainFormCenter: {
      TForm* m = Application->MainForm();
      centreOn(m && m != this && m->Visible() ? m : nullptr);
      break;
    }
    case poOwnerFormCenter: {
      auto* o = dynamic_cast<TForm*>(Owner());
      if (!o || !o->Visible()) {
        TForm* m = Application->MainForm();
        o = (m && m != this && m->Visible()) ? m : nullptr;
      }
      centreOn(o);
      break;
    }
    default: break;
  }
}

void TForm::SetParent(TWinControl* p) {
  if (p == P->parent) return;
  AfterConstruction();
  if (p) {
    if (P->fullScreen) SetFullScreen(false);
    TWinControl::SetParent(p);
    P->widget->setWindowFlags(Qt::Widget);
    P->widget->setParent(ControlBridge::P(p).widget);
    P->widget->setMinimumSize(0, 0);
    P->widget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    ControlBridge::ApplyGeometry(this);
    P->widget->setVisible(P->visible);
  } else {
    TWinControl::SetParent(nullptr);
    P->widget->setParent(nullptr);
    SetBorderStyle(P->borderStyle);
    ControlBridge::ApplyGeometry(this);
    if (P->visible) P->widget->show();
  }
}

void TForm::SetCaption(const std::string& s) {
  TControl::SetCaption(s);
  if (P->widget) P->widget->setWindowTitle(ToQ(s));
}

void TForm::SetBounds(int l, int t, int w, int h) { TWinControl::SetBounds(l, t, w, h); }

int TForm::ModalResult() const { return P->modalResult; }
void TForm::SetModalResult(int r) {
  P->modalResult = r;
  if (r != 0 && P->modalLoop) static_cast<QEventLoop*>(P->modalLoop)->exit();
}
bool TForm::Modal() const { return P->modal; }

int TForm::ShowModal() {
  if (P->visible || P->modal) throw EInvalidOperation("Cannot make a visible window modal");
  AfterConstruction();
  if (Application->Terminated()) return mrCancel;
  P->modalResult = 0;
  P->modal = true;
  QWidget* top = P->widget.data();
  if (!P->parent) top->setWindowModality(Qt::ApplicationModal);
  SetVisible(true);
  QEventLoop loop;
  P->modalLoop = &loop;
  for (;;) {
    if (!IsLive(this)) return mrCancel;
    if (Application->Terminated()) {
      P->modalResult = mrCancel;
      break;
    }
    if (P->modalResult != 0) {
      // The dialog is about to end: it may refuse (CloseQuery) or keep itself open (caNone).
      bool can = true;
      GuardedCall([&] { can = CloseQuery(); });
      if (can) {
        TCloseAction a = caHide;
        GuardedCall([&] { DoClose(a); });
        if (a == caNone) {
          P->modalResult = 0;
        } else {
          if (a == caFree) Release();
          break;
        }
      } else {
        P->modalResult = 0;
      }
      continue;
    }
    if (!P->visible) {
      P->modalResult = mrCancel;
      continue;
    }
    PushLoop(&loop);
    loop.exec();
    PopLoop(&loop);
  }
  P->modalLoop = nullptr;
  int r = P->modalResult;
  P->modal = false;
  // Hidden while still modal, then made modeless: a window whose modality is cleared while it is
  // shown stays registered as modal, and every other window of the program keeps refusing input.
  SetVisible(false);
  if (top && P->widget) top->setWindowModality(Qt::NonModal);
  return r;
}

bool TForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TForm::Close() {
  if (P->modal) {
    SetModalResult(mrCancel);
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction a = caHide;
  DoClose(a);
  if (a == caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  if (a == caHide || a == caMinimize) SetVisible(false);
  else if (a == caFree) Release();
}

void ControlBridge::CloseRequest(TForm* f) { GuardedCall([f] { f->Close(); }); }

void TForm::Release() { Application->ReleaseObject(this); }

void TForm::BringToFront() {
  if (!P->widget) return;
  if (P->parent) {
    TControl::BringToFront();
    return;
  }
  RaiseWindow(P->shell ? P->shell.data() : P->widget.data());
}

bool TForm::DialogKey(uint16_t key, TShiftState) {
  // Search the form's own controls (not the pages embedded in it), visible or not.
  std::function<TButton*(TWinControl*)> find = [&](TWinControl* w) -> TButton* {
    for (TControl* c : ControlBridge::P(w).children) {
      if (auto* b = dynamic_cast<TButton*>(c)) {
        if (b->Enabled() && ((key == VK_RETURN && b->Default()) || (key == VK_ESCAPE && b->Cancel()))) return b;
      }
      auto* wc = dynamic_cast<TWinControl*>(c);
      if (wc && !dynamic_cast<TForm*>(wc))
        if (TButton* b = find(wc)) return b;
    }
    return nullptr;
  };
  TButton* b = find(this);
  if (!b) return false;
  GuardedCall([b] { b->Click(); });
  return true;
}

void TForm::Paint() {
  if (OnPaint) OnPaint(this);
}

void TForm::WndProc(TMessage& m) {
  if (m.Msg == CM_RELEASE) {
    BeforeDestruction();
    delete this;
    return;
  }
  TWinControl::WndProc(m);
}

void ControlBridge::WindowActivate(TForm* f, bool active) {
  auto& p = *f->P;
  if (p.active == active) return;
  p.active = active;
  if (active && f->OnActivate) GuardedCall([f] { f->OnActivate(f); });
  if (!active && f->OnDeactivate) GuardedCall([f] { f->OnDeactivate(f); });
}

void vxtest::GrabScreen(TBitmap* out) {
  EnsureQtApp();
  QScreen* scr = QGuiApplication::primaryScreen();
  const QRect sg = scr ? scr->geometry() : QRect(0, 0, 1, 1);
  QImage img(sg.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32);
  img.fill(0xFF000000u);
  {
    // Windows first, full-screen windows over them.
    std::vector<QWidget*> tops;
    for (int pass = 0; pass < 2; ++pass)
      for (TForm* f : FormList()) {
        const auto& p = ControlBridge::P(f);
        if (p.parent || !p.widget || p.fullScreen != (pass == 1)) continue;
        QWidget* top = p.shell ? p.shell.data() : p.widget.data();
        if (top->isVisible()) tops.push_back(top);
      }
    QPainter painter(&img);
    for (QWidget* top : tops) top->render(&painter, top->geometry().topLeft() - sg.topLeft());
  }
  out->SetSize(img.width(), img.height());
  for (int y = 0; y < img.height(); ++y) std::memcpy(out->ScanLine(y), img.constScanLine(y), size_t(img.width()) * 4);
}
