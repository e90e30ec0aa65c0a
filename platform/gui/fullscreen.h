// Internal: full screen for a form smaller than the screen. The black full-screen window (the
// shell) holds the form at its own size, centred; when the screen has room for the form two or
// more times over, a view on top of it shows the form's picture enlarged by the largest whole
// factor that fits, centred on black, every pixel a square block (a 800 x 600 picture stays crisp
// on a large screen), and hands mouse input on to the control under the enlarged pixel.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

// The largest whole factor by which a picture of the given size fits the screen; at least 1.
int CrispScale(QSize screen, QSize picture);

class VxScaledView : public QWidget {
 public:
  // Covers the shell and shows form, a child of the shell.
  VxScaledView(QWidget* shell, QWidget* form);
  ~VxScaledView() override;

  int Scale() const { return scale_; }
  // Where the enlarged picture lies in the shell.
  QRect PictureRect() const;
  // The form's pixel shown at a position of the shell (rounded towards minus infinity).
  QPoint FormPoint(QPointF shellPos) const;
  // Renders the form again and repaints the part of the screen whose picture changed.
  void Refresh();
  // Stops showing and forwarding: the form is about to leave the shell.
  void Detach();

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void leaveEvent(QEvent* e) override;

 private:
  void Layout();
  QWidget* WidgetAt(QPoint formPoint) const;
  void Forward(QMouseEvent* e);
  void SetHover(QWidget* w, QPoint formPoint, QPointF global);
  bool InForm(QObject* o) const;

  QPointer<QWidget> shell_;
  QPointer<QWidget> form_;
  QPointer<QWidget> pressed_;  // the widget that took the press until every button is up
  QPointer<QWidget> hover_;
  QImage frame_;  // the form's picture at its own size
  int scale_ = 1;
  QPoint origin_;  // top-left of the enlarged picture in the shell
};
