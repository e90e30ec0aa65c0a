// Internal: the state behind TControl and the Qt widgets that carry windowed controls.
#pragma once

#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/qtbridge.h"

class VxWidget;

struct TControlPrivate {
  TControl* self = nullptr;
  TWinControl* parent = nullptr;
  QRect bounds{0, 0, 0, 0};  // in the parent's client area (top-level forms: on the screen)
  bool visible = true;
  bool enabled = true;
  TAlign align = alNone;
  TColor color = clBtnFace;
  bool parentColor = false;
  std::unique_ptr<TFont> font;
  bool parentFont = true;
  std::string caption;
  std::string hint;
  bool showHint = false;
  bool parentShowHint = true;
  TCursor cursor = crDefault;
  unsigned style = csCaptureMouse | csClickEvents | csDoubleClicks;
  bool destroying = false;
  bool updatingFont = false;

  // Graphic controls: canvas target into the parent's buffer.
  std::shared_ptr<TCanvasTarget> graphicTarget;

  // Windowed controls.
  bool windowed = false;
  bool custom = false;
  QPointer<QWidget> widget;
  std::vector<TControl*> children;  // z-order, bottom first
  bool tabStop = false;
  int tabOrder = 0;
  QImage buffer;
  std::shared_ptr<TCanvasTarget> target;
  std::unique_ptr<TCanvas> canvas;
  QRect dirty;
  bool painting = false;
  bool passQueued = false;
  bool erase = true;
  TControl* hover = nullptr;    // graphic child under the mouse
  TControl* pressed = nullptr;  // graphic child (or self) that took the last press
  std::map<int, QTimer*> timers;
  // caret
  bool caretCreated = false;
  int caretShow = 0;
  QRect caret;
  bool caretOn = true;
  QTimer* caretTimer = nullptr;
  bool realigning = false;

  // Forms.
  TFormBorderStyle borderStyle = bsSizeable;
  TPosition position = poDesigned;
  TBorderIcons borderIcons = biSystemMenu | biMinimize | biMaximize;
  TFormStyle formStyle = fsNormal;
  TWindowState windowState = wsNormal;
  bool keyPreview = false;
  TWinControl* activeControl = nullptr;
  int modalResult = 0;
  bool modal = false;
  bool created = false;
  bool destroyFired = false;
  bool fullScreen = false;
  bool active = false;
  TBiDiMode biDiMode = bdLeftToRight;
  QPointer<QWidget> shell;  // black full-screen window holding a smaller form
  void* modalLoop = nullptr;
};

// Reaches the protected parts of controls for the layer's implementation files.
struct ControlBridge {
  static TControlPrivate& P(const TControl* c) { return *c->P; }
  static TFont* EffectiveFont(const TControl* c);
  static void SyncFont(TControl* c);
  static void ChildAdded(TWinControl* parent, TControl* child);
  static void ChildRemoved(TWinControl* parent, TControl* child);
  static void UpdateGraphicTarget(TControl* c);
  static void PaintPass(TWinControl* w, QRect area);
  static void SchedulePass(TWinControl* w);
  static void InvalidateArea(TWinControl* w, const QRect& r);
  static void ResizeBuffer(TWinControl* w);
  static QSize BufferSize(const TWinControl* w);  // the size the back buffer has or will have
  static void MakeBuffer(TWinControl* w);         // allocates a back buffer still pending
  static void ApplyGeometry(TControl* c);
  static void BoundsSet(TControl* c, QRect b);
  static TControl* GraphicChildAt(TWinControl* w, QPoint p);
  static void SetHover(TWinControl* w, TControl* c);
  static void DoShowForm(TForm* f, bool show);
  static bool KeyPipeline(TWinControl* c, QEvent* e, bool& replaced, QString& replacement);
  static void FocusIn(TWinControl* c);
  static void FocusOut(TWinControl* c);
  static void WindowActivate(TForm* f, bool active);
  static void CloseRequest(TForm* f);
  static void InitWinControl(TWinControl* w, QWidget* widget, bool custom);
  static void ApplyCursor(TControl* c);
  static void ApplyHint(TControl* c);
  static void ApplyPalette(TWinControl* w);
  // True from the moment the destruction of the control, of a window holding it or of its owner
  // has begun: no event handler of such a control runs any more.
  static bool BeingDestroyed(const TControl* c);
  // Marks the control and everything inside it (children and owned components) as being destroyed,
  // before the first child is detached, so that the focus moving away reaches no handler.
  static void MarkDestroying(TControl* c);
};

TWinControl* ControlOfWidget(QWidget* w, bool exact = false);
void RegisterWidget(QWidget* w, TWinControl* c);
void UnregisterWidget(QWidget* w);
Qt::CursorShape CursorShapeOf(TCursor c);
QCursor QtCursorOf(TCursor c);
TShiftState ShiftOf(Qt::KeyboardModifiers m, Qt::MouseButtons b = Qt::NoButton);
bool IsLive(const TObject* o);
uint64_t LiveSerial(const TObject* o);  // 0 when o is not a live object of the layer
void MarkLive(const TObject* o, bool live);

// Event loops run by the application (main and modal); Terminate ends them all.
void PushLoop(QEventLoop* loop);
void PopLoop(QEventLoop* loop);

// Events posted by the layer to its widgets.
constexpr QEvent::Type kPaintPassEvent = QEvent::Type(QEvent::User + 101);
constexpr QEvent::Type kCallEvent = QEvent::Type(QEvent::User + 102);
constexpr QEvent::Type kIdleEvent = QEvent::Type(QEvent::User + 103);

// The widget of every custom-painted windowed control and form.
class VxWidget : public QWidget {
 public:
  VxWidget(TWinControl* c, QWidget* parent, Qt::WindowFlags f = {});
  TWinControl* control;

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool focusNextPrevChild(bool next) override;

 private:
  bool doubleReleasePending_ = false;
};
