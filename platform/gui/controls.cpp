#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "platform/core/cp1250.h"
#include "platform/gui/controlimpl.h"
#include "platform/gui/stdctrls.h"

// ---------------------------------------------------------------------------------------------
// Registries

namespace {
std::unordered_map<QWidget*, TWinControl*>& WidgetMap() {
  static std::unordered_map<QWidget*, TWinControl*> m;
  return m;
}
// Live objects with a serial number each, so that a queued call for a freed object cannot hit
// a new object that happens to get the same address.
std::unordered_map<const TObject*, uint64_t>& LiveSet() {
  static std::unordered_map<const TObject*, uint64_t> s;
  return s;
}
uint64_t g_serial = 0;
TControl* g_capture = nullptr;
}  // namespace

bool IsLive(const TObject* o) { return o && LiveSet().count(o) != 0; }
uint64_t LiveSerial(const TObject* o) {
  auto it = LiveSet().find(o);
  return it == LiveSet().end() ? 0 : it->second;
}
void MarkLive(const TObject* o, bool live) {
  if (live) LiveSet()[o] = ++g_serial;
  else LiveSet().erase(o);
}

void RegisterWidget(QWidget* w, TWinControl* c) { WidgetMap()[w] = c; }
void UnregisterWidget(QWidget* w) { WidgetMap().erase(w); }

TWinControl* ControlOfWidget(QWidget* w, bool exact) {
  auto& m = WidgetMap();
  while (w) {
    auto it = m.find(w);
    if (it != m.end()) return it->second;
    if (exact) return nullptr;
    w = w->parentWidget();
  }
  return nullptr;
}

TShiftState ShiftOf(Qt::KeyboardModifiers m, Qt::MouseButtons b) {
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::GroupSwitchModifier) s |= ssCtrl | ssAlt;  // AltGr is Ctrl+Alt, as on Windows
  if (b & Qt::LeftButton) s |= ssLeft;
  if (b & Qt::RightButton) s |= ssRight;
  if (b & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

Qt::CursorShape CursorShapeOf(TCursor c) {
  switch (c) {
    case crNone: return Qt::BlankCursor;
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass: case crSQLWait: return Qt::WaitCursor;
    case crDrag: case crMultiDrag: return Qt::DragCopyCursor;
    case crNoDrop: case crNo: return Qt::ForbiddenCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crAppStart: return Qt::BusyCursor;
    case crHelp: return Qt::WhatsThisCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
  }
}

// ---------------------------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), P(new TControlPrivate) {
  EnsureQtApp();
  MarkLive(this, true);
  P->self = this;
  P->font = std::make_unique<TFont>();
  P->font->OnChange = [this](TObject*) {
    if (!P->updatingFont) P->parentFont = false;
    FontChanged();
  };
}

TControl::~TControl() {
  ControlBridge::MarkDestroying(this);
  MarkLive(this, false);
  if (g_capture == this) ReleaseCapture();
  if (P->parent) {
    TWinControl* par = P->parent;
    ControlBridge::ChildRemoved(par, this);
    P->parent = nullptr;
  }
}

int TControl::Left() const { return P->bounds.x(); }
int TControl::Top() const { return P->bounds.y(); }
int TControl::Width() const { return P->bounds.width(); }
int TControl::Height() const { return P->bounds.height(); }
void TControl::SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
void TControl::SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
void TControl::SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
void TControl::SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }
TRect TControl::BoundsRect() const { return FromQRect(P->bounds); }

void TControl::SetBounds(int l, int t, int w, int h) {
  ControlBridge::BoundsSet(this, QRect(l, t, std::max(0, w), std::max(0, h)));
}

TPoint TControl::ClientOrigin() const {
  if (P->windowed && P->widget) {
    QPoint g = P->widget->mapToGlobal(QPoint(0, 0));
    return TPoint(g.x(), g.y());
  }
  if (P->parent) {
    TPoint o = P->parent->ClientOrigin();
    return TPoint(o.X + Left(), o.Y + Top());
  }
  return TPoint(Left(), Top());
}
TPoint TControl::ClientToScreen(TPoint p) const {
  TPoint o = ClientOrigin();
  return TPoint(p.X + o.X, p.Y + o.Y);
}
TPoint TControl::ScreenToClient(TPoint p) const {
  TPoint o = ClientOrigin();
  return TPoint(p.X - o.X, p.Y - o.Y);
}

TAlign TControl::Align() const { return P->align; }
void TControl::SetAlign(TAlign a) {
  if (a == P->align) return;
  P->align = a;
  if (P->parent) P->parent->Realign();
}

bool TControl::Visible() const { return P->visible; }
void TControl::SetVisible(bool v) {
  if (v == P->visible) return;
  P->visible = v;
  if (P->parent) {
    ControlBridge::InvalidateArea(P->parent, P->bounds);
    if (P->align != alNone) P->parent->Realign();
  }
  VisibleChanged();
  Perform(CM_VISIBLECHANGED, v ? 1 : 0);
}

bool TControl::Showing() const {
  if (!P->visible) return false;
  if (P->parent) return P->parent->Showing();
  if (P->windowed && P->widget) return P->widget->isVisible();
  return false;
}

bool TControl::Enabled() const { return P->enabled; }
void TControl::SetEnabled(bool v) {
  if (v == P->enabled) return;
  P->enabled = v;
  EnabledChanged();
}
void TControl::EnabledChanged() {
  if (P->windowed && P->widget) P->widget->setEnabled(P->enabled);
  Invalidate();
  Perform(CM_ENABLEDCHANGED);
}

TWinControl* TControl::Parent() const { return P->parent; }

void TControl::SetParent(TWinControl* p) {
  if (p == P->parent) return;
  if (p == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (P->parent) ControlBridge::ChildRemoved(P->parent, this);
  P->parent = p;
  if (p) ControlBridge::ChildAdded(p, this);
  if (P->parentFont && p) ControlBridge::SyncFont(this);
  if (P->parentColor && p) {
    P->color = p->Color();
    ColorChanged();
  }
  ControlBridge::ApplyGeometry(this);
  ControlBridge::UpdateGraphicTarget(this);
  if (p) {
    ControlBridge::InvalidateArea(p, P->bounds);
    if (P->align != alNone) p->Realign();
  }
}

TColor TControl::Color() const { return P->color; }
void TControl::SetColor(TColor c) {
  if (c == P->color) return;
  P->color = c;
  P->parentColor = false;
  ColorChanged();
}
void TControl::ColorChanged() {
  if (P->windowed) {
    ControlBridge::ApplyPalette(static_cast<TWinControl*>(this));
    for (TControl* ch : P->children)
      if (ch->P->parentColor) {
        ch->P->color = P->color;
        ch->ColorChanged();
      }
  }
  Invalidate();
  Perform(CM_COLORCHANGED);
}
bool TControl::ParentColor() const { return P->parentColor; }
void TControl::SetParentColor(bool v) {
  P->parentColor = v;
  if (v && P->parent) {
    P->color = P->parent->Color();
    ColorChanged();
  }
}

TFont* TControl::Font() const { return P->font.get(); }
bool TControl::ParentFont() const { return P->parentFont; }
void TControl::SetParentFont(bool v) {
  P->parentFont = v;
  if (v) ControlBridge::SyncFont(this);
}
void TControl::FontChanged() {
  if (P->windowed) {
    ControlBridge::ApplyPalette(static_cast<TWinControl*>(this));
    for (TControl* ch : P->children)
      if (ch->P->parentFont) ControlBridge::SyncFont(ch);
  }
  if (P->windowed && P->canvas) P->canvas->Font()->Assign(*P->font);
  Invalidate();
  Perform(CM_FONTCHANGED);
}

const std::string& TControl::Caption() const { return P->caption; }
void TControl::SetCaption(const std::string& s) {
  if (s == P->caption) return;
  P->caption = s;
  TextChanged();
  Invalidate();
  Perform(CM_TEXTCHANGED);
}

const std::string& TControl::Hint() const { return P->hint; }
void TControl::SetHint(const std::string& s) {
  P->hint = s;
  ControlBridge::ApplyHint(this);
}
bool TControl::ShowHint() const {
  if (P->parentShowHint && P->parent) return P->parent->ShowHint();
  return P->showHint;
}
void TControl::SetShowHint(bool v) {
  P->showHint = v;
  P->parentShowHint = false;
  ControlBridge::ApplyHint(this);
}
bool TControl::ParentShowHint() const { return P->parentShowHint; }
void TControl::SetParentShowHint(bool v) {
  P->parentShowHint = v;
  ControlBridge::ApplyHint(this);
}
TCursor TControl::Cursor() const { return P->cursor; }
void TControl::SetCursor(TCursor c) {
  P->cursor = c;
  ControlBridge::ApplyCursor(this);
}
unsigned TControl::ControlStyle() const { return P->style; }
void TControl::SetControlStyle(unsigned s) { P->style = s; }

void TControl::Invalidate() {
  if (P->parent) ControlBridge::InvalidateArea(P->parent, P->bounds);
}
void TControl::Repaint() {
  if (P->parent) {
    ControlBridge::InvalidateArea(P->parent, P->bounds);
    P->parent->Update();
  }
}
void TControl::Update() {
  if (P->parent) P->parent->Update();
}

void TControl::BringToFront() {
  if (!P->parent) {
    if (P->windowed && P->widget) P->widget->raise();
    return;
  }
  auto& ch = P->parent->P->children;
  ch.erase(std::remove(ch.begin(), ch.end(), this), ch.end());
  ch.push_back(this);
  if (P->windowed && P->widget) P->widget->raise();
  Invalidate();
}

void TControl::SendToBack() {
  if (!P->parent) {
    if (P->windowed && P->widget) P->widget->lower();
    return;
  }
  auto& ch = P->parent->P->children;
  ch.erase(std::remove(ch.begin(), ch.end(), this), ch.end());
  ch.insert(ch.begin(), this);
  if (P->windowed && P->widget) P->widget->lower();
  Invalidate();
}

intptr_t TControl::Perform(unsigned msg, intptr_t w, intptr_t l) {
  TMessage m;
  m.Msg = msg;
  m.WParam = w;
  m.LParam = l;
  WndProc(m);
  return m.Result;
}

void TControl::PostMessage(unsigned msg, intptr_t w, intptr_t l) {
  TControl* self = this;
  uint64_t serial = LiveSerial(this);
  Application->QueueCall([self, serial, msg, w, l] {
    if (LiveSerial(self) == serial) self->Perform(msg, w, l);
  });
}

void TControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CM_MOUSEENTER: MouseEnter(); break;
    case CM_MOUSELEAVE: MouseLeave(); break;
    case CM_RELEASE: delete this; break;
    default: break;
  }
}

bool TControl::HitTest(int, int) { return true; }

bool TControl::MouseCapture() const { return g_capture == this; }
void TControl::SetMouseCapture(bool v) {
  if (v) SetCaptureControl(this);
  else if (g_capture == this) ReleaseCapture();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}
void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TControl::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}
void TControl::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}
void TControl::MouseMove(TShiftState s, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, s, x, y);
}
void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}
void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}
bool TControl::DoMouseWheel(TShiftState s, int delta, TPoint pos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, s, delta, pos, handled);
  return handled;
}
void TControl::Resize() {
  if (OnResize) OnResize(this);
}
void TControl::BoundsChanged() {}

// ---------------------------------------------------------------------------------------------
// Capture and key state

void SetCaptureControl(TControl* c) {
  if (g_capture == c) return;
  ReleaseCapture();
  g_capture = c;
  if (!c) return;
  auto& p = ControlBridge::P(c);
  if (p.windowed) {
    if (p.widget) p.widget->grabMouse();
  } else if (p.parent) {
    auto& pp = ControlBridge::P(p.parent);
    pp.pressed = c;
    if (pp.widget) pp.widget->grabMouse();
  }
}

TControl* GetCaptureControl() { return g_capture; }

void ReleaseCapture() {
  TControl* c = g_capture;
  g_capture = nullptr;
  if (!c || !IsLive(c)) return;
  auto& p = ControlBridge::P(c);
  QWidget* w = p.windowed ? p.widget.data() : (p.parent ? ControlBridge::P(p.parent).widget.data() : nullptr);
  if (!p.windowed && p.parent) ControlBridge::P(p.parent).pressed = nullptr;
  if (w && QWidget::mouseGrabber() == w) w->releaseMouse();
}

namespace {
std::unordered_set<int>& KeysDown() {
  static std::unordered_set<int> s;
  return s;
}
}  // namespace

int16_t GetKeyState(int vk) {
  if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU) {
    Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
    bool down = (vk == VK_SHIFT && (m & Qt::ShiftModifier)) || (vk == VK_CONTROL && (m & Qt::ControlModifier)) ||
                (vk == VK_MENU && (m & Qt::AltModifier));
    if (down || KeysDown().count(vk)) return int16_t(0x8000);
    return 0;
  }
  if (vk == VK_LBUTTON) return (QGuiApplication::mouseButtons() & Qt::LeftButton) ? int16_t(0x8000) : 0;
  if (vk == VK_RBUTTON) return (QGuiApplication::mouseButtons() & Qt::RightButton) ? int16_t(0x8000) : 0;
  return KeysDown().count(vk) ? int16_t(0x8000) : 0;
}

void MessageBeep(unsigned) { QApplication::beep(); }

bool IsAccel(char key, const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return Cp1250UpCase(caption[i + 1]) == Cp1250UpCase(key);
  }
  return false;
}

TForm* GetParentForm(const TControl* c) {
  // The outermost form: an embedded page belongs to the window that hosts it.
  TForm* f = nullptr;
  for (const TControl* p = c; p; p = p->Parent())
    if (auto* ff = dynamic_cast<TForm*>(const_cast<TControl*>(p))) f = ff;
  return f;
}

// ---------------------------------------------------------------------------------------------
// TGraphicControl

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner) {
  P->graphicTarget = std::make_shared<TCanvasTarget>();
  P->bounds = QRect(0, 0, 0, 0);
}
TGraphicControl::~TGraphicControl() = default;

TCanvas* TGraphicControl::Canvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TCanvas>();
    FCanvas->Attach(P->graphicTarget);
    FCanvas->Font()->Assign(*Font());
    FCanvas->Brush()->SetColor(Color());
  }
  return FCanvas.get();
}

// ---------------------------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TWinControl(AOwner, wkCustom) {}

TWinControl::TWinControl(TComponent* AOwner, TWidgetKind kind) : TControl(AOwner) {
  P->windowed = true;
  if (kind == wkCustom) ControlBridge::InitWinControl(this, new VxWidget(this, nullptr), true);
}

TWinControl::~TWinControl() {
  ControlBridge::MarkDestroying(this);
  if (g_capture == this) ReleaseCapture();
  // The timers may be delivering the very tick that frees this control: let Qt free them later.
  auto dropTimer = [](QTimer* t) {
    t->stop();
    QObject::disconnect(t, nullptr, nullptr, nullptr);
    t->deleteLater();
  };
  for (auto& t : P->timers) dropTimer(t.second);
  P->timers.clear();
  if (P->caretTimer) dropTimer(P->caretTimer);
  P->caretTimer = nullptr;
  // Child controls go with their parent, whoever owns them.
  while (!P->children.empty()) {
    TControl* c = P->children.back();
    P->children.pop_back();
    auto& cp = ControlBridge::P(c);
    cp.parent = nullptr;
    if (cp.windowed && cp.widget) cp.widget->setParent(nullptr);
    delete c;
  }
  if (P->widget) {
    QWidget* w = P->widget.data();
    // The signals of a widget being deleted (selection cleared, text emptied) would reach handlers
    // of a control whose own parts are already gone.
    QObject::disconnect(w, nullptr, nullptr, nullptr);
    UnregisterWidget(w);
    if (auto* vx = dynamic_cast<VxWidget*>(w)) vx->control = nullptr;
    P->widget = nullptr;
    delete w;
  }
}

int TWinControl::ControlCount() const { return int(P->children.size()); }
TControl* TWinControl::Controls(int i) const {
  if (i < 0 || i >= ControlCount()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  return P->children[size_t(i)];
}
bool TWinControl::ContainsControl(const TControl* c) const {
  for (const TControl* p = c; p; p = p->Parent())
    if (p == this) return true;
  return false;
}

bool TWinControl::Focused() const { return P->widget && P->widget->hasFocus(); }
bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}
void TWinControl::SetFocus() {
  if (!P->widget) return;
  if (P->widget->focusPolicy() == Qt::NoFocus) P->widget->setFocusPolicy(Qt::ClickFocus);
  P->widget->setFocus(Qt::OtherFocusReason);
}
bool TWinControl::TabStop() const { return P->tabStop; }
void TWinControl::SetTabStop(bool v) {
  P->tabStop = v;
  if (P->widget && P->custom) P->widget->setFocusPolicy(v ? Qt::StrongFocus : Qt::ClickFocus);
}
int TWinControl::TabOrder() const { return P->tabOrder; }
void TWinControl::SetTabOrder(int v) { P->tabOrder = v; }

void TWinControl::KeyDown(uint16_t& key, TShiftState s) {
  if (OnKeyDown) OnKeyDown(this, key, s);
}
void TWinControl::KeyUp(uint16_t& key, TShiftState s) {
  if (OnKeyUp) OnKeyUp(this, key, s);
}
void TWinControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}
bool TWinControl::WantsKey(uint16_t, TShiftState) { return false; }
void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}
void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

void TWinControl::SetWindowRegion(const TRegion* rgn) {
  if (!P->widget) return;
  if (rgn) P->widget->setMask(rgn->impl()->r);
  else P->widget->clearMask();
}

void TWinControl::SetTimer(int id, int ms) {
  QTimer*& t = P->timers[id];
  if (!t) {
    t = new QTimer();
    TWinControl* self = this;
    QObject::connect(t, &QTimer::timeout, [self, id] {
      GuardedCall([&] {
        if (IsLive(self)) self->Perform(WM_TIMER, id, 0);
      });
    });
  }
  t->start(std::max(1, ms));
}

void TWinControl::KillTimer(int id) {
  auto it = P->timers.find(id);
  if (it == P->timers.end()) return;
  it->second->stop();
  QObject::disconnect(it->second, nullptr, nullptr, nullptr);
  it->second->deleteLater();
  P->timers.erase(it);
}

void TWinControl::CreateCaret(int width, int height) {
  DestroyCaret();
  P->caretCreated = true;
  P->caretShow = 0;
  P->caret = QRect(P->caret.topLeft(), QSize(std::max(1, width), std::max(1, height)));
  if (!P->caretTimer) {
    P->caretTimer = new QTimer();
    TWinControl* self = this;
    QObject::connect(P->caretTimer, &QTimer::timeout, [self] {
      auto& p = ControlBridge::P(self);
      p.caretOn = !p.caretOn;
      if (p.widget) p.widget->update(p.caret);
    });
  }
  P->caretTimer->start(530);
}

void TWinControl::DestroyCaret() {
  if (!P->caretCreated) return;
  P->caretCreated = false;
  if (P->caretTimer) P->caretTimer->stop();
  if (P->widget) P->widget->update(P->caret);
}

void TWinControl::ShowCaret() {
  if (!P->caretCreated) return;
  ++P->caretShow;
  if (P->caretShow > 1) P->caretShow = 1;
  P->caretOn = true;
  if (P->widget) P->widget->update(P->caret);
}

void TWinControl::HideCaret() {
  if (!P->caretCreated) return;
  --P->caretShow;
  if (P->widget) P->widget->update(P->caret);
}

void TWinControl::SetCaretPos(int x, int y) {
  if (P->widget) P->widget->update(P->caret);
  P->caret.moveTo(x, y);
  P->caretOn = true;
  if (P->widget) P->widget->update(P->caret);
}

bool TWinControl::GetCaretPos(TPoint& p) const {
  if (!P->caretCreated) return false;
  p = TPoint(P->caret.x(), P->caret.y());
  return true;
}

bool TWinControl::EraseBackground() const { return P->erase; }
void TWinControl::SetEraseBackground(bool v) { P->erase = v; }

TCanvas* TWinControl::BufferCanvas() const { return P->canvas.get(); }

void TWinControl::InvalidateRect(const TRect& r) { ControlBridge::InvalidateArea(this, ToQRect(r)); }

void TWinControl::Invalidate() {
  if (!P->widget) return;
  if (P->custom) ControlBridge::InvalidateArea(this, QRect(QPoint(0, 0), P->bounds.size()));
  else P->widget->update();
}

void TWinControl::Update() {
  if (!P->widget) return;
  if (P->custom && !P->dirty.isEmpty() && P->widget->isVisible() && !P->painting) {
    QRect area = P->dirty;
    P->dirty = QRect();
    ControlBridge::PaintPass(this, area);
  }
}

void TWinControl::Repaint() {
  if (!P->widget) return;
  if (P->custom) {
    P->dirty |= QRect(QPoint(0, 0), P->bounds.size());
    Update();
  } else {
    P->widget->update();
  }
}

void TWinControl::ScrollBy(int dx, int dy) {
  if (!P->custom || !P->canvas) return;
  TRect r(0, 0, Width(), Height());
  P->canvas->ScrollRect(dx, dy, r, r);
}

void TWinControl::PaintTo(TCanvas* c, int x, int y) {
  if (!P->widget || !c) return;
  Update();
  QImage img(P->bounds.size(), QImage::Format_ARGB32);
  img.fill(ToArgb(P->color));
  P->widget->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
  TBitmap b;
  b.SetSize(img.width(), img.height());
  for (int yy = 0; yy < img.height(); ++yy)
    std::memcpy(b.ScanLine(yy), img.constScanLine(yy), size_t(img.width()) * 4);
  c->Draw(x, y, &b);
}

void TWinControl::SetParent(TWinControl* p) {
  if (p == Parent()) return;
  if (p && ContainsControl(p)) throw EInvalidOperation("A control cannot be the parent of its own parent");
  TControl::SetParent(p);
  if (!P->widget) return;
  QWidget* pw = p ? ControlBridge::P(p).widget.data() : nullptr;
  P->widget->setParent(pw);
  ControlBridge::ApplyGeometry(this);
  if (pw) P->widget->setVisible(P->visible);
}

void TWinControl::SetVisible(bool v) {
  bool was = P->visible;
  TControl::SetVisible(v);
  if (was == v || !P->widget) return;
  if (P->parent) P->widget->setVisible(v);
  if (!v && P->widget->hasFocus()) P->widget->clearFocus();
}

void TWinControl::SetBounds(int l, int t, int w, int h) { TControl::SetBounds(l, t, w, h); }

void TWinControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      uint16_t k = uint16_t(m.WParam);
      KeyDown(k, TShiftState(m.LParam));
      m.Result = k == 0;
      return;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      uint16_t k = uint16_t(m.WParam);
      KeyUp(k, TShiftState(m.LParam));
      m.Result = k == 0;
      return;
    }
    case WM_CHAR: {
      char ch = char(m.WParam);
      KeyPress(ch);
      m.Result = ch == 0;
      return;
    }
    default: TControl::WndProc(m);
  }
}

void TWinControl::Realign() {
  if (P->realigning) return;
  P->realigning = true;
  QRect client(0, 0, P->bounds.width(), P->bounds.height());
  auto place = [&](TAlign a) {
    std::vector<TControl*> list;
    for (TControl* c : P->children)
      if (c->Align() == a && c->Visible()) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case alTop: return x->Top() < y->Top();
        case alBottom: return x->Top() + x->Height() > y->Top() + y->Height();
        case alLeft: return x->Left() < y->Left();
        case alRight: return x->Left() + x->Width() > y->Left() + y->Width();
        default: return false;
      }
    });
    for (TControl* c : list) {
      QRect b;
      switch (a) {
        case alTop:
          b = QRect(client.left(), client.top(), client.width(), c->Height());
          client.setTop(client.top() + c->Height());
          break;
        case alBottom:
          b = QRect(client.left(), client.bottom() + 1 - c->Height(), client.width(), c->Height());
          client.setBottom(client.bottom() - c->Height());
          break;
        case alLeft:
          b = QRect(client.left(), client.top(), c->Width(), client.height());
          client.setLeft(client.left() + c->Width());
          break;
        case alRight:
          b = QRect(client.right() + 1 - c->Width(), client.top(), c->Width(), client.height());
          client.setRight(client.right() - c->Width());
          break;
        default: b = client;
      }
      ControlBridge::BoundsSet(c, QRect(b.topLeft(), QSize(std::max(0, b.width()), std::max(0, b.height()))));
    }
  };
  place(alTop);
  place(alBottom);
  place(alLeft);
  place(alRight);
  place(alClient);
  P->realigning = false;
}

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner) { SetTabStop(true); }

// ---------------------------------------------------------------------------------------------
// Bridge internals

TFont* ControlBridge::EffectiveFont(const TControl* c) { return c->P->font.get(); }

void ControlBridge::SyncFont(TControl* c) {
  if (!c->P->parent) return;
  c->P->updatingFont = true;
  c->P->font->Assign(*c->P->parent->Font());
  c->P->updatingFont = false;
  c->P->parentFont = true;
}

void ControlBridge::ChildAdded(TWinControl* parent, TControl* child) {
  parent->P->children.push_back(child);
  ApplyHint(child);
}

void ControlBridge::ChildRemoved(TWinControl* parent, TControl* child) {
  auto& ch = parent->P->children;
  ch.erase(std::remove(ch.begin(), ch.end(), child), ch.end());
  if (parent->P->hover == child) parent->P->hover = nullptr;
  if (parent->P->pressed == child) parent->P->pressed = nullptr;
  if (!parent->P->destroying) InvalidateArea(parent, child->P->bounds);
}

void ControlBridge::UpdateGraphicTarget(TControl* c) {
  auto& p = *c->P;
  if (p.windowed || !p.graphicTarget) return;
  if (p.parent && p.parent->P->custom) {
    p.graphicTarget->image = &p.parent->P->buffer;
    p.graphicTarget->origin = p.bounds.topLeft();
    p.graphicTarget->bound = p.bounds;
    TWinControl* par = p.parent;
    p.graphicTarget->pending = [par] { return ControlBridge::BufferSize(par); };
    p.graphicTarget->realize = [par] { ControlBridge::MakeBuffer(par); };
    p.graphicTarget->changed = [par](const QRect& r) {
      if (IsLive(par) && par->P->widget) par->P->widget->update(r);
    };
  } else {
    p.graphicTarget->image = nullptr;
    p.graphicTarget->changed = nullptr;
    p.graphicTarget->pending = nullptr;
    p.graphicTarget->realize = nullptr;
  }
}

void ControlBridge::InitWinControl(TWinControl* w, QWidget* widget, bool custom) {
  auto& p = *w->P;
  p.widget = widget;
  p.custom = custom;
  RegisterWidget(widget, w);
  widget->hide();
  if (custom) {
    p.target = std::make_shared<TCanvasTarget>();
    p.target->image = &p.buffer;
    p.target->pending = [w] { return BufferSize(w); };
    p.target->realize = [w] { MakeBuffer(w); };
    p.target->changed = [w](const QRect& r) {
      if (IsLive(w) && w->P->widget) w->P->widget->update(r);
    };
    p.canvas = std::make_unique<TCanvas>();
    p.canvas->Attach(p.target);
    p.canvas->Font()->Assign(*p.font);
    widget->setAttribute(Qt::WA_OpaquePaintEvent);
    widget->setAttribute(Qt::WA_NoSystemBackground);
    widget->setMouseTracking(true);
    widget->setFocusPolicy(Qt::ClickFocus);
  }
  ApplyPalette(w);
}

void ControlBridge::ApplyPalette(TWinControl* w) {
  auto& p = *w->P;
  if (!p.widget) return;
  if (p.custom) {
    if (p.canvas) p.canvas->Brush()->SetColor(p.color);
    return;
  }
  p.widget->setFont(ToQFont(*p.font));
  QPalette pal = p.widget->palette();
  pal.setColor(QPalette::WindowText, ToQColor(p.font->Color()));
  pal.setColor(QPalette::Text, ToQColor(p.font->Color()));
  pal.setColor(QPalette::ButtonText, ToQColor(p.font->Color()));
  pal.setColor(QPalette::Window, ToQColor(p.color));
  if (p.color != clBtnFace) pal.setColor(QPalette::Base, ToQColor(p.color));
  p.widget->setPalette(pal);
}

void ControlBridge::ApplyCursor(TControl* c) {
  auto& p = *c->P;
  if (p.windowed && p.widget) {
    if (p.cursor == crDefault) p.widget->unsetCursor();
    else p.widget->setCursor(QtCursorOf(p.cursor));
  }
}

void ControlBridge::ApplyHint(TControl* c) {
  auto& p = *c->P;
  if (p.windowed && p.widget) p.widget->setToolTip(c->ShowHint() ? ToQ(p.hint) : QString());
  if (p.windowed)
    for (TControl* ch : p.children) ApplyHint(ch);
}

void ControlBridge::ApplyGeometry(TControl* c) {
  auto& p = *c->P;
  if (!p.windowed) {
    UpdateGraphicTarget(c);
    return;
  }
  if (!p.widget) return;
  if (p.parent || !dynamic_cast<TForm*>(c)) {
    p.widget->setGeometry(p.bounds);
  } else {
    auto* f = static_cast<TForm*>(c);
    if (f->FullScreen()) return;
    p.widget->move(p.bounds.topLeft());
    if (f->BorderStyle() == bsSingle || f->BorderStyle() == bsDialog || f->BorderStyle() == bsNone)
      p.widget->setFixedSize(p.bounds.size());
    else
      p.widget->resize(p.bounds.size());
  }
}

void ControlBridge::BoundsSet(TControl* c, QRect b) {
  auto& p = *c->P;
  QRect old = p.bounds;
  if (b == old) return;
  p.bounds = b;
  ApplyGeometry(c);
  if (!p.windowed && p.parent) {
    InvalidateArea(p.parent, old);
    InvalidateArea(p.parent, b);
  }
  if (b.size() != old.size()) {
    if (p.windowed) {
      auto* w = static_cast<TWinControl*>(c);
      if (p.custom) ResizeBuffer(w);
      w->Realign();
    }
    GuardedCall([c] { c->Resize(); });
    if (!IsLive(c)) return;
  }
  c->BoundsChanged();
  if (p.parent && p.align != alNone && !p.parent->P->realigning) p.parent->Realign();
}

QSize ControlBridge::BufferSize(const TWinControl* w) { return w->P->bounds.size().expandedTo(QSize(1, 1)); }

// Until something draws into it a control's buffer is only its colour, which the paint event
// fills in by itself: controls that paint nothing (hosts, panels under other controls) never
// hold a picture of their own.
void ControlBridge::MakeBuffer(TWinControl* w) {
  auto& p = *w->P;
  if (!p.buffer.isNull()) return;
  QImage n(BufferSize(w), QImage::Format_ARGB32);
  n.fill(ToArgb(p.color));
  p.buffer = n;
}

void ControlBridge::ResizeBuffer(TWinControl* w) {
  auto& p = *w->P;
  QSize s = p.bounds.size();
  if (p.buffer.isNull()) {
    p.dirty = QRect(QPoint(0, 0), s);
    SchedulePass(w);
    return;
  }
  if (p.buffer.size() == BufferSize(w)) return;
  QImage n(s.expandedTo(QSize(1, 1)), QImage::Format_ARGB32);
  n.fill(ToArgb(p.color));
  if (!p.buffer.isNull()) {
    int rows = std::min(n.height(), p.buffer.height());
    int bytes = std::min(n.width(), p.buffer.width()) * 4;
    for (int y = 0; y < rows; ++y) std::memcpy(n.scanLine(y), p.buffer.constScanLine(y), size_t(bytes));
  }
  p.buffer = n;
  p.dirty = QRect(QPoint(0, 0), s);
  SchedulePass(w);
}

void ControlBridge::InvalidateArea(TWinControl* w, const QRect& r) {
  if (!w || !IsLive(w)) return;
  auto& p = *w->P;
  if (!p.widget) return;
  if (!p.custom) {
    p.widget->update(r);
    return;
  }
  QRect area = r.intersected(QRect(QPoint(0, 0), p.bounds.size()));
  if (area.isEmpty()) return;
  p.dirty |= area;
  SchedulePass(w);
}

void ControlBridge::SchedulePass(TWinControl* w) {
  auto& p = *w->P;
  if (p.passQueued || !p.widget) return;
  p.passQueued = true;
  QCoreApplication::postEvent(p.widget, new QEvent(kPaintPassEvent));
}

// Paints the program's picture of the area into the back buffer: background, Paint, then the
// window-less children in z-order. Runs from a queued event or from Repaint/Update, never
// inside Qt's paint event, so handlers may open modal windows.
void ControlBridge::PaintPass(TWinControl* w, QRect area) {
  auto& p = *w->P;
  if (!p.custom || !p.canvas) return;
  if (p.painting) {
    // A handler of this pass is still running (it may show a modal dialog): paint the rest
    // when it has finished.
    p.dirty |= area;
    return;
  }
  if (!p.buffer.isNull() && p.buffer.size() != BufferSize(w)) ResizeBuffer(w);
  area = area.intersected(QRect(QPoint(0, 0), BufferSize(w)));
  if (area.isEmpty()) return;
  p.painting = true;
  TCanvas* c = p.canvas.get();
  int saved = c->SaveDC();
  c->SelectClipRegion(nullptr);
  c->IntersectClipRect(FromQRect(area));
  if (p.erase && !p.buffer.isNull()) {
    QPainter painter(&p.buffer);
    painter.fillRect(area, ToQColor(p.color));
  }
  GuardedCall([w] { w->Paint(); });
  if (!IsLive(w)) return;
  c->RestoreDC(saved);
  std::vector<TControl*> kids = p.children;
  for (TControl* ch : kids) {
    if (!IsLive(ch) || ch->P->windowed || !ch->P->visible || !ch->P->bounds.intersects(area)) continue;
    UpdateGraphicTarget(ch);
    auto* g = static_cast<TGraphicControl*>(ch);
    TCanvas* gc = g->Canvas();
    int s = gc->SaveDC();
    gc->SelectClipRegion(nullptr);
    gc->IntersectClipRect(FromQRect(area.translated(-ch->P->bounds.topLeft())));
    GuardedCall([ch] { ch->Paint(); });
    if (IsLive(ch)) gc->RestoreDC(s);
    if (!IsLive(w)) return;
  }
  p.painting = false;
  if (p.widget) p.widget->update(area);
  if (!p.dirty.isEmpty()) SchedulePass(w);
}

TControl* ControlBridge::GraphicChildAt(TWinControl* w, QPoint pt) {
  auto& ch = w->P->children;
  for (auto it = ch.rbegin(); it != ch.rend(); ++it) {
    TControl* c = *it;
    auto& cp = *c->P;
    if (cp.windowed || !cp.visible || !cp.enabled || !cp.bounds.contains(pt)) continue;
    if (c->HitTest(pt.x() - cp.bounds.x(), pt.y() - cp.bounds.y())) return c;
  }
  return nullptr;
}

void ControlBridge::SetHover(TWinControl* w, TControl* c) {
  auto& p = *w->P;
  if (p.hover == c) return;
  TControl* old = p.hover;
  p.hover = c;
  if (old && IsLive(old)) GuardedCall([old] { old->Perform(CM_MOUSELEAVE); });
  if (c && IsLive(c)) {
    GuardedCall([c] { c->Perform(CM_MOUSEENTER); });
    if (IsLive(w) && p.widget) {
      TCursor cur = (IsLive(c) && c->Cursor() != crDefault) ? c->Cursor() : w->Cursor();
      if (cur == crDefault) p.widget->unsetCursor();
      else p.widget->setCursor(QtCursorOf(cur));
    }
  } else if (IsLive(w) && p.widget) {
    ApplyCursor(w);
  }
}

bool ControlBridge::BeingDestroyed(const TControl* c) {
  for (const TControl* p = c; p; p = p->Parent())
    if (p->P->destroying || p->HasState(csDestroying)) return true;
  return false;
}

void ControlBridge::MarkDestroying(TControl* c) {
  c->Destroying();
  if (c->P->destroying) return;
  c->P->destroying = true;
  for (TControl* ch : c->P->children) MarkDestroying(ch);
}

void ControlBridge::FocusIn(TWinControl* c) {
  if (BeingDestroyed(c)) return;
  for (TControl* p = c->Parent(); p; p = p->Parent())
    if (auto* f = dynamic_cast<TForm*>(p)) {
      ControlBridge::P(f).activeControl = c;
      break;
    }
  GuardedCall([c] { c->DoEnter(); });
}

void ControlBridge::FocusOut(TWinControl* c) {
  if (BeingDestroyed(c)) return;
  GuardedCall([c] { c->DoExit(); });
}

// ---------------------------------------------------------------------------------------------
// Keyboard

namespace {

uint16_t VkOfKey(int key, const QString& text, quint32 scanCode) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return uint16_t('A' + (key - Qt::Key_A));
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return uint16_t('0' + (key - Qt::Key_0));
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return uint16_t(VK_F1 + (key - Qt::Key_F1));
  switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return: case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: case Qt::Key_AltGr: return VK_MENU;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Print: return VK_SNAPSHOT;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Meta: return VK_LWIN;
    case Qt::Key_Menu: return VK_APPS;
    case Qt::Key_NumLock: return VK_NUMLOCK;
    case Qt::Key_ScrollLock: return VK_SCROLL;
    case Qt::Key_Semicolon: case Qt::Key_Colon: return VK_OEM_1;
    case Qt::Key_Equal: case Qt::Key_Plus: return VK_OEM_PLUS;
    case Qt::Key_Comma: case Qt::Key_Less: return VK_OEM_COMMA;
    case Qt::Key_Minus: case Qt::Key_Underscore: return VK_OEM_MINUS;
    case Qt::Key_Period: case Qt::Key_Greater: return VK_OEM_PERIOD;
    case Qt::Key_Slash: case Qt::Key_Question: return VK_OEM_2;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return VK_OEM_3;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return VK_OEM_4;
    case Qt::Key_Backslash: case Qt::Key_Bar: return VK_OEM_5;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return VK_OEM_6;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return VK_OEM_7;
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_Asterisk: return '8';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_ParenRight: return '0';
    default: break;
  }
  // Letters with diacritics (AltGr on the Polish layout): on X11 the physical key tells which
  // letter key was pressed (AltGr+X gives ź); elsewhere the base letter stands in for it.
  if (scanCode >= 10 && scanCode <= 65) {
    static const char kRows[] = "1234567890\xBD\xBB\x08\x09QWERTYUIOP\xDB\xDD\x0D\x00"
                                "ASDFGHJKL\xBA\xDE\xC0\x00\xDCZXCVBNM\xBC\xBE\xBF\x00\x00\x00 ";
    unsigned char v = static_cast<unsigned char>(kRows[scanCode - 10]);
    if ((v >= 'A' && v <= 'Z') || (v >= '0' && v <= '9')) return v;
  }
  if (text.size() == 1) {
    QChar ch = text[0];
    if (ch == QChar(0x0142) || ch == QChar(0x0141)) return 'L';  // ł has no decomposition
    QString d = ch.decomposition();
    QChar base = d.isEmpty() ? ch : d[0];
    char16_t u = base.toUpper().unicode();
    if (u >= 'A' && u <= 'Z') return uint16_t(u);
    if (u >= '0' && u <= '9') return uint16_t(u);
  }
  return 0;
}

// The character messages one key press produces: control keys as Windows gives them, text as
// CP1250 bytes, characters outside the code page dropped.
std::vector<char> CharsOf(const QKeyEvent* k) {
  std::vector<char> out;
  const int key = k->key();
  const Qt::KeyboardModifiers m = k->modifiers();
  switch (key) {
    case Qt::Key_Backspace: out.push_back(8); return out;
    case Qt::Key_Return: case Qt::Key_Enter: out.push_back(13); return out;
    case Qt::Key_Escape: out.push_back(27); return out;
    case Qt::Key_Tab: case Qt::Key_Backtab: out.push_back(9); return out;
    default: break;
  }
  const bool ctrl = (m & Qt::ControlModifier) && !(m & Qt::AltModifier) && !(m & Qt::GroupSwitchModifier);
  if (ctrl) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) out.push_back(char(1 + key - Qt::Key_A));
    return out;
  }
  const QString t = k->text();
  for (int i = 0; i < t.size(); ++i) {
    char32_t u = t[i].unicode();
    if (t[i].isHighSurrogate() && i + 1 < t.size()) {
      u = QChar::surrogateToUcs4(t[i], t[i + 1]);
      ++i;
    }
    if (u < 32 || u == 127) continue;
    int b = UnicodeToCp1250Byte(u);
    if (b >= 0) out.push_back(char(b));
  }
  return out;
}

bool DialogKeyChain(TWinControl* c, uint16_t key, TShiftState shift) {
  if (shift & (ssShift | ssCtrl | ssAlt)) return false;
  if (key == VK_RETURN) {
    if (auto* b = dynamic_cast<TButton*>(c)) {
      GuardedCall([b] { b->Click(); });
      return true;
    }
  }
  for (TControl* p = c; p; p = p->Parent()) {
    auto* f = dynamic_cast<TForm*>(p);
    if (!f || !f->Showing()) continue;
    if (f->DialogKey(key, shift)) return true;
  }
  return false;
}

std::vector<TForm*> PreviewForms(TWinControl* c) {
  std::vector<TForm*> v;
  for (TControl* p = c; p; p = p->Parent())
    if (auto* f = dynamic_cast<TForm*>(p))
      if (f != c && f->KeyPreview()) v.push_back(f);
  return v;
}

// Offers a character to the accelerators of the form's controls, topmost form first.
bool DialogChar(TWinControl* c, char ch) {
  std::function<bool(TWinControl*)> offer = [&](TWinControl* w) -> bool {
    std::vector<TControl*> kids = ControlBridge::P(w).children;
    for (TControl* k : kids) {
      if (!IsLive(k) || !k->Visible() || !k->Enabled()) continue;
      intptr_t r = 0;
      GuardedCall([&] { r = k->Perform(CM_DIALOGCHAR, static_cast<unsigned char>(ch)); });
      if (r) return true;
      if (auto* wk = dynamic_cast<TWinControl*>(k); wk && IsLive(wk) && offer(wk)) return true;
    }
    return false;
  };
  TForm* f = GetParentForm(c);
  return f && f->Showing() && offer(f);
}

bool HookSees(TMsg& m) {
  if (!Application || !Application->OnMessage) return false;
  bool handled = false;
  GuardedCall([&] { Application->OnMessage(m, handled); });
  return handled;
}

}  // namespace

bool ControlBridge::KeyPipeline(TWinControl* c, QEvent* e, bool& replaced, QString& replacement) {
  auto* k = static_cast<QKeyEvent*>(e);
  const bool custom = c->P->custom;
  const TShiftState shift = ShiftOf(k->modifiers());
  const quint32 scan = QGuiApplication::platformName() == QLatin1String("xcb") ? k->nativeScanCode() : 0;
  const uint16_t vk = VkOfKey(k->key(), k->text(), scan);
  if (e->type() == QEvent::KeyRelease) {
    if (k->isAutoRepeat()) return custom;
    if (!vk) return custom;
    KeysDown().erase(vk);
    TMsg m{c, WM_KEYUP, vk, intptr_t(shift)};
    if (HookSees(m)) return true;
    uint16_t key = uint16_t(m.wParam);
    for (TForm* f : PreviewForms(c)) {
      if (!key) break;
      GuardedCall([&] { if (f->OnKeyUp) f->OnKeyUp(f, key, shift); });
    }
    if (key && IsLive(c)) GuardedCall([&] { c->KeyUp(key, shift); });
    return custom || key == 0;
  }
  if (vk) {
    KeysDown().insert(vk);
    TMsg m{c, WM_KEYDOWN, vk, intptr_t(shift)};
    if (HookSees(m)) return true;
    if (!IsLive(c)) return true;
    uint16_t key = uint16_t(m.wParam);
    for (TForm* f : PreviewForms(c)) {
      if (!key) break;
      GuardedCall([&] { if (f->OnKeyDown) f->OnKeyDown(f, key, shift); });
      if (!IsLive(c)) return true;
    }
    if (key) GuardedCall([&] { c->KeyDown(key, shift); });
    if (!IsLive(c)) return true;
    if (key == 0) return true;
    if ((key == VK_RETURN || key == VK_ESCAPE) && !c->WantsKey(key, shift)) {
      if (DialogKeyChain(c, key, shift)) return true;
      if (!IsLive(c)) return true;
    }
    if (key == VK_TAB && !c->WantsKey(key, shift)) return false;  // focus moves to the next control
  }
  const std::vector<char> chars = CharsOf(k);
  bool allConsumed = true;
  for (char ch : chars) {
    TMsg m{c, WM_CHAR, intptr_t(static_cast<unsigned char>(ch)), intptr_t(shift)};
    if (HookSees(m)) continue;
    if (!IsLive(c)) return true;
    char key = char(m.wParam);
    const bool accelFirst = (shift & ssAlt) && !(shift & ssCtrl);
    if ((accelFirst || !c->WantsChars()) && key >= 32) {
      if (DialogChar(c, key)) continue;
      if (!IsLive(c)) return true;
      if (accelFirst) continue;  // Alt+key is never typed text
    }
    for (TForm* f : PreviewForms(c)) {
      if (!key) break;
      GuardedCall([&] { if (f->OnKeyPress) f->OnKeyPress(f, key); });
      if (!IsLive(c)) return true;
    }
    if (key) GuardedCall([&] { c->KeyPress(key); });
    if (!IsLive(c)) return true;
    if (key) {
      allConsumed = false;
      if (key != ch) {
        replaced = true;
        unsigned char b = static_cast<unsigned char>(key);
        replacement = b < 32 ? QString() : QString(QChar(char16_t(Cp1250ToUnicode(b))));
      }
    }
  }
  if (custom) return true;
  if (chars.empty()) return false;
  return allConsumed;
}

// ---------------------------------------------------------------------------------------------
// VxWidget

VxWidget::VxWidget(TWinControl* c, QWidget* parent, Qt::WindowFlags f) : QWidget(parent, f), control(c) {}

bool VxWidget::event(QEvent* e) {
  if (!control) return QWidget::event(e);
  TWinControl* c = control;
  auto& p = ControlBridge::P(c);
  if (ControlBridge::BeingDestroyed(c)) {
    // Qt keeps its own bookkeeping; the control, half torn down, hears nothing more.
    switch (int(e->type())) {
      case kPaintPassEvent: p.passQueued = false; return true;
      case QEvent::Paint: case QEvent::Resize: case QEvent::Move:
      case QEvent::MouseButtonPress: case QEvent::MouseButtonRelease: case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove: case QEvent::Wheel: case QEvent::Enter: case QEvent::Leave:
      case QEvent::KeyPress: case QEvent::KeyRelease: case QEvent::Close: case QEvent::ToolTip:
      case QEvent::WindowActivate: case QEvent::WindowDeactivate:
        e->ignore();
        return true;
      default: return QWidget::event(e);
    }
  }
  switch (int(e->type())) {
    case kPaintPassEvent: {
      p.passQueued = false;
      if (!p.dirty.isEmpty() && isVisible() && !p.painting) {
        QRect area = p.dirty;
        p.dirty = QRect();
        ControlBridge::PaintPass(c, area);
      }
      return true;
    }
    case QEvent::Show:
      if (!p.dirty.isEmpty()) ControlBridge::SchedulePass(c);
      break;
    case QEvent::ToolTip: {
      auto* he = static_cast<QHelpEvent*>(e);
      TControl* g = ControlBridge::GraphicChildAt(c, he->pos());
      TControl* src = g ? g : c;
      if (src->ShowHint() && !src->Hint().empty()) QToolTip::showText(he->globalPos(), ToQ(src->Hint()), this);
      else QToolTip::hideText();
      return true;
    }
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
      if (auto* f = dynamic_cast<TForm*>(c)) ControlBridge::WindowActivate(f, e->type() == QEvent::WindowActivate);
      break;
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Tab || static_cast<QKeyEvent*>(e)->key() == Qt::Key_Backtab) {
        if (c->WantsKey(VK_TAB, ShiftOf(static_cast<QKeyEvent*>(e)->modifiers()))) {
          e->accept();
          return true;
        }
      }
      break;
    default: break;
  }
  return QWidget::event(e);
}

void VxWidget::paintEvent(QPaintEvent* e) {
  if (!control) return;
  auto& p = ControlBridge::P(control);
  if (!p.dirty.isEmpty() && !p.painting) ControlBridge::SchedulePass(control);
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  if (p.caretCreated && p.caretShow > 0 && p.caretOn) ControlBridge::MakeBuffer(control);
  if (p.buffer.isNull()) {
    for (const QRect& r : e->region()) painter.fillRect(r, ToQColor(p.color));
    return;
  }
  for (const QRect& r : e->region()) painter.drawImage(r, p.buffer, r);
  if (p.caretCreated && p.caretShow > 0 && p.caretOn) {
    QRect cr = p.caret.intersected(p.buffer.rect());
    if (!cr.isEmpty()) {
      QImage part = p.buffer.copy(cr);
      part.invertPixels(QImage::InvertRgb);
      painter.drawImage(cr.topLeft(), part);
    }
  }
}

void VxWidget::resizeEvent(QResizeEvent*) {
  if (!control) return;
  auto& p = ControlBridge::P(control);
  if (size() != p.bounds.size()) {
    // Resized from outside (window manager, full screen): take the new client size.
    QRect b(p.bounds.topLeft(), size());
    QRect old = p.bounds;
    p.bounds = b;
    if (p.custom) ControlBridge::ResizeBuffer(control);
    control->Realign();
    TWinControl* c = control;
    if (old.size() != b.size()) GuardedCall([c] { c->Resize(); });
  }
}

void VxWidget::moveEvent(QMoveEvent*) {
  if (!control || !isWindow()) return;
  auto& p = ControlBridge::P(control);
  if (auto* f = dynamic_cast<TForm*>(control); f && f->FullScreen()) return;
  p.bounds.moveTopLeft(pos());
}

namespace {
TMouseButton ButtonOf(Qt::MouseButton b) {
  if (b == Qt::RightButton) return mbRight;
  if (b == Qt::MiddleButton) return mbMiddle;
  return mbLeft;
}
QPoint LocalTo(TControl* target, TWinControl* w, QPoint p) {
  if (target == w) return p;
  auto& tp = ControlBridge::P(target);
  if (!tp.windowed) return p - tp.bounds.topLeft();
  return p;
}
}  // namespace

void VxWidget::mousePressEvent(QMouseEvent* e) {
  if (!control) return;
  TWinControl* w = control;
  auto& p = ControlBridge::P(w);
  QPoint pos = e->position().toPoint();
  TControl* target = ControlBridge::GraphicChildAt(w, pos);
  if (!target) target = w;
  p.pressed = target;
  TShiftState s = ShiftOf(e->modifiers(), e->buttons());
  QPoint lp = LocalTo(target, w, pos);
  if (e->button() == Qt::LeftButton && target == w && p.tabStop && w->CanFocus() && !hasFocus())
    setFocus(Qt::MouseFocusReason);
  GuardedCall([&] { target->MouseDown(ButtonOf(e->button()), s, lp.x(), lp.y()); });
  e->accept();
}

void VxWidget::mouseDoubleClickEvent(QMouseEvent* e) {
  if (!control) return;
  TWinControl* w = control;
  auto& p = ControlBridge::P(w);
  QPoint pos = e->position().toPoint();
  TControl* target = ControlBridge::GraphicChildAt(w, pos);
  if (!target) target = w;
  p.pressed = nullptr;  // the release after a double click is no click
  TShiftState s = ShiftOf(e->modifiers(), e->buttons()) | ssDouble;
  QPoint lp = LocalTo(target, w, pos);
  if (e->button() == Qt::LeftButton && (target->ControlStyle() & csDoubleClicks)) {
    GuardedCall([&] { target->DblClick(); });
    if (!IsLive(target)) return;
  }
  GuardedCall([&] { target->MouseDown(ButtonOf(e->button()), s, lp.x(), lp.y()); });
  if (IsLive(w)) ControlBridge::P(w).pressed = target;
  doubleReleasePending_ = true;
  e->accept();
}

void VxWidget::mouseMoveEvent(QMouseEvent* e) {
  if (!control) return;
  TWinControl* w = control;
  auto& p = ControlBridge::P(w);
  QPoint pos = e->position().toPoint();
  TControl* target = nullptr;
  if (g_capture && g_capture != w && !ControlBridge::P(g_capture).windowed && ControlBridge::P(g_capture).parent == w)
    target = g_capture;
  else if (e->buttons() != Qt::NoButton && p.pressed && IsLive(p.pressed))
    target = p.pressed;
  if (!target) {
    TControl* hit = ControlBridge::GraphicChildAt(w, pos);
    ControlBridge::SetHover(w, hit);
    if (!IsLive(w)) return;
    target = hit ? hit : w;
  }
  QPoint lp = LocalTo(target, w, pos);
  TShiftState s = ShiftOf(e->modifiers(), e->buttons());
  GuardedCall([&] { target->MouseMove(s, lp.x(), lp.y()); });
}

void VxWidget::mouseReleaseEvent(QMouseEvent* e) {
  if (!control) return;
  TWinControl* w = control;
  auto& p = ControlBridge::P(w);
  QPoint pos = e->position().toPoint();
  TControl* target = p.pressed && IsLive(p.pressed) ? p.pressed : nullptr;
  if (g_capture && !ControlBridge::P(g_capture).windowed && ControlBridge::P(g_capture).parent == w) target = g_capture;
  if (!target) {
    target = ControlBridge::GraphicChildAt(w, pos);
    if (!target) target = w;
  }
  p.pressed = nullptr;
  const bool wasDouble = doubleReleasePending_;
  doubleReleasePending_ = false;
  QPoint lp = LocalTo(target, w, pos);
  TShiftState s = ShiftOf(e->modifiers(), e->buttons());
  const bool inside = lp.x() >= 0 && lp.y() >= 0 && lp.x() < target->Width() && lp.y() < target->Height();
  if (e->button() == Qt::LeftButton && !wasDouble && inside && (target->ControlStyle() & csClickEvents)) {
    GuardedCall([&] { target->Click(); });
    if (!IsLive(target)) return;
  }
  GuardedCall([&] { target->MouseUp(ButtonOf(e->button()), s, lp.x(), lp.y()); });
  if (g_capture == target && IsLive(target)) ReleaseCapture();
}

void VxWidget::wheelEvent(QWheelEvent* e) {
  if (!control) return;
  TWinControl* w = control;
  QPoint pos = e->position().toPoint();
  TShiftState s = ShiftOf(e->modifiers(), e->buttons());
  bool handled = false;
  int delta = e->angleDelta().y();
  QPoint g = e->globalPosition().toPoint();
  GuardedCall([&] { handled = w->DoMouseWheel(s, delta, TPoint(g.x(), g.y())); });
  (void)pos;
  if (handled) e->accept();
  else e->ignore();
}

void VxWidget::enterEvent(QEnterEvent*) {
  if (!control) return;
  TWinControl* w = control;
  GuardedCall([w] { w->Perform(CM_MOUSEENTER); });
}

void VxWidget::leaveEvent(QEvent*) {
  if (!control) return;
  TWinControl* w = control;
  ControlBridge::SetHover(w, nullptr);
  if (IsLive(w)) GuardedCall([w] { w->Perform(CM_MOUSELEAVE); });
}

void VxWidget::keyPressEvent(QKeyEvent* e) { e->accept(); }
void VxWidget::keyReleaseEvent(QKeyEvent* e) { e->accept(); }

void VxWidget::closeEvent(QCloseEvent* e) {
  e->ignore();
  if (!control) return;
  if (auto* f = dynamic_cast<TForm*>(control)) ControlBridge::CloseRequest(f);
}

bool VxWidget::focusNextPrevChild(bool next) { return QWidget::focusNextPrevChild(next); }
