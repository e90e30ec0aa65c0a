#include "platform/gui/testing.h"

#include <QApplication>
#include <QPointer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "platform/core/cp1250.h"
#include "platform/gui/controlimpl.h"

namespace vxtest {

namespace {

int QtKeyOfVk(uint16_t vk, const QString& text) {
  if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
  if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
  if (vk >= VK_F1 && vk <= VK_F12) return Qt::Key_F1 + (vk - VK_F1);
  switch (vk) {
    case VK_BACK: return Qt::Key_Backspace;
    case VK_TAB: return Qt::Key_Tab;
    case VK_RETURN: return Qt::Key_Return;
    case VK_SHIFT: return Qt::Key_Shift;
    case VK_CONTROL: return Qt::Key_Control;
    case VK_MENU: return Qt::Key_Alt;
    case VK_PAUSE: return Qt::Key_Pause;
    case VK_ESCAPE: return Qt::Key_Escape;
    case VK_SPACE: return Qt::Key_Space;
    case VK_PRIOR: return Qt::Key_PageUp;
    case VK_NEXT: return Qt::Key_PageDown;
    case VK_END: return Qt::Key_End;
    case VK_HOME: return Qt::Key_Home;
    case VK_LEFT: return Qt::Key_Left;
    case VK_UP: return Qt::Key_Up;
    case VK_RIGHT: return Qt::Key_Right;
    case VK_DOWN: return Qt::Key_Down;
    case VK_INSERT: return Qt::Key_Insert;
    case VK_DELETE: return Qt::Key_Delete;
    case VK_OEM_COMMA: return Qt::Key_Comma;
    case VK_OEM_PERIOD: return Qt::Key_Period;
    case VK_OEM_MINUS: return Qt::Key_Minus;
    case VK_OEM_1: return Qt::Key_Semicolon;
    case VK_OEM_2: return Qt::Key_Slash;
    default: break;
  }
  if (text.size() == 1) return text[0].toUpper().unicode();
  return 0;
}

Qt::KeyboardModifiers ModsOf(TShiftState s, bool altGr) {
  Qt::KeyboardModifiers m;
  if (s & ssShift) m |= Qt::ShiftModifier;
  if (s & ssCtrl) m |= Qt::ControlModifier;
  if (s & ssAlt) m |= Qt::AltModifier;
  if (altGr) m |= Qt::GroupSwitchModifier;
  return m;
}

QWidget* KeyTarget(TWinControl* c) {
  if (c) return ControlBridge::P(c).widget;
  QWidget* w = QApplication::focusWidget();
  if (!w) w = QApplication::activeWindow();
  return w;
}

// The windowed control that receives mouse input for c, and the offset of c inside it.
QWidget* MouseTarget(TControl* c, QPoint& offset) {
  offset = QPoint();
  auto& p = ControlBridge::P(c);
  if (p.windowed) return p.widget;
  offset = p.bounds.topLeft();
  return p.parent ? ControlBridge::P(p.parent).widget.data() : nullptr;
}

Qt::MouseButton QtButton(TMouseButton b) {
  return b == mbRight ? Qt::RightButton : b == mbMiddle ? Qt::MiddleButton : Qt::LeftButton;
}

QPointer<QWidget> g_pressedWidget;

// Routes like the window system: to the widget holding the mouse (grab or the widget pressed
// last), else to the child of the window under the point, which honours window shapes.
void SendMouse(TControl* c, QEvent::Type t, int x, int y, TMouseButton b, TShiftState shift, bool press) {
  QPoint off;
  QWidget* w = MouseTarget(c, off);
  if (!w) return;
  QPoint global = w->mapToGlobal(QPoint(x + off.x(), y + off.y()));
  QWidget* target = QWidget::mouseGrabber();
  if (!target && g_pressedWidget && t != QEvent::MouseButtonPress && t != QEvent::MouseButtonDblClick)
    target = g_pressedWidget;
  if (!target) {
    QWidget* win = w->window();
    QWidget* child = win->childAt(win->mapFromGlobal(global));
    target = child ? child : win;
  }
  QPointF pos = target->mapFromGlobal(QPointF(global));
  Qt::MouseButton btn = t == QEvent::MouseMove ? Qt::NoButton : QtButton(b);
  Qt::MouseButtons buttons = press ? Qt::MouseButtons(QtButton(b)) : Qt::MouseButtons(Qt::NoButton);
  if (shift & ssLeft) buttons |= Qt::LeftButton;
  if (t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick) g_pressedWidget = target;
  if (t == QEvent::MouseButtonRelease) g_pressedWidget = nullptr;
  QMouseEvent e(t, pos, QPointF(global), btn, buttons, ModsOf(shift, false));
  QCoreApplication::sendEvent(target, &e);
}

}  // namespace

void Pump(int rounds) {
  for (int i = 0; i < rounds; ++i) Application->ProcessMessages();
}

void KeyDown(TWinControl* target, uint16_t vk, const std::string& text, TShiftState shift, bool altGr) {
  EnsureQtApp();
  QString t = QString::fromUtf8(text.data(), int(text.size()));
  QWidget* w = KeyTarget(target);
  if (!w) return;
  QKeyEvent e(QEvent::KeyPress, QtKeyOfVk(vk, t), ModsOf(shift, altGr), t);
  QCoreApplication::sendEvent(w, &e);
}

void KeyUp(TWinControl* target, uint16_t vk, TShiftState shift) {
  EnsureQtApp();
  QWidget* w = KeyTarget(target);
  if (!w) return;
  QKeyEvent e(QEvent::KeyRelease, QtKeyOfVk(vk, QString()), ModsOf(shift, false));
  QCoreApplication::sendEvent(w, &e);
}

void KeyStroke(TWinControl* target, uint16_t vk, const std::string& text, TShiftState shift, bool altGr) {
  KeyDown(target, vk, text, shift, altGr);
  KeyUp(target, vk, shift);
}

void TypeText(TWinControl* target, const std::string& utf8) {
  QString s = QString::fromUtf8(utf8.data(), int(utf8.size()));
  for (QChar ch : s) {
    QString one(ch);
    std::string u = one.toUtf8().toStdString();
    QString d = ch.decomposition();
    QChar base = d.isEmpty() ? ch : d[0];
    if (ch == QChar(0x142) || ch == QChar(0x141)) base = QLatin1Char('l');
    bool altGr = base != ch;
    char16_t up = base.toUpper().unicode();
    uint16_t vk = (up >= 'A' && up <= 'Z') || (up >= '0' && up <= '9') ? uint16_t(up) : 0;
    if (ch == QLatin1Char(' ')) vk = VK_SPACE;
    if (ch == QLatin1Char(',')) vk = VK_OEM_COMMA;
    if (ch == QLatin1Char('.')) vk = VK_OEM_PERIOD;
    TShiftState sh = ch.isUpper() ? ssShift : 0;
    KeyStroke(target, vk, u, sh, altGr);
  }
}

void MouseDown(TControl* c, int x, int y, TMouseButton b, TShiftState shift) {
  SendMouse(c, QEvent::MouseButtonPress, x, y, b, shift, true);
}
void MouseUp(TControl* c, int x, int y, TMouseButton b, TShiftState shift) {
  SendMouse(c, QEvent::MouseButtonRelease, x, y, b, shift, false);
}
void MouseMove(TControl* c, int x, int y, TShiftState shift) {
  SendMouse(c, QEvent::MouseMove, x, y, mbLeft, shift, false);
}
void Click(TControl* c, int x, int y) {
  if (!IsLive(c)) return;
  MouseDown(c, x, y);
  if (IsLive(c)) MouseUp(c, x, y);
}
void DoubleClick(TControl* c, int x, int y) {
  Click(c, x, y);
  if (!IsLive(c)) return;
  SendMouse(c, QEvent::MouseButtonDblClick, x, y, mbLeft, 0, true);
  if (IsLive(c)) MouseUp(c, x, y);
}
void Wheel(TControl* c, int x, int y, int delta) {
  QPoint off;
  QWidget* w = MouseTarget(c, off);
  if (!w) return;
  QPointF pos(x + off.x(), y + off.y());
  QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                false);
  QCoreApplication::sendEvent(w, &e);
}

void Grab(TWinControl* c, TBitmap* out) {
  Pump();
  auto& p = ControlBridge::P(c);
  if (!p.widget) return;
  c->Update();
  QImage img(p.widget->size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32);
  img.fill(0xFF000000u);
  p.widget->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
  out->SetSize(img.width(), img.height());
  for (int y = 0; y < img.height(); ++y) std::memcpy(out->ScanLine(y), img.constScanLine(y), size_t(img.width()) * 4);
}

bool SaveGrabPng(TWinControl* c, const std::string& fileName) {
  TBitmap b;
  Grab(c, &b);
  QImage img(b.Width(), b.Height(), QImage::Format_ARGB32);
  for (int y = 0; y < b.Height(); ++y) std::memcpy(img.scanLine(y), b.ScanLine(y), size_t(b.Width()) * 4);
  return img.save(QString::fromStdString(fileName), "PNG");
}

bool HasFocus(TWinControl* c) { return c && c->Focused(); }

}  // namespace vxtest
