// Internal: what the layer's implementation files share about Qt. Never included by users.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QRegion>
#include <QString>
#include <functional>
#include <string>

#include "platform/gui/graphics.h"

// Creates the QApplication on first use (tests and tools need no main of their own).
void EnsureQtApp();

QString ToQ(const std::string& cp1250);
std::string FromQ(const QString& s);
// CP1250 byte for one Unicode character, or -1 when the code page has none.
int UnicodeToCp1250Byte(char32_t u);

inline QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }
inline TRect FromQRect(const QRect& r) { return TRect(r.x(), r.y(), r.x() + r.width(), r.y() + r.height()); }
QColor ToQColor(TColor c);
inline uint32_t ToArgb(TColor c) {
  TColor v = ColorToRGB(c);
  return 0xFF000000u | (uint32_t(GetRValue(v)) << 16) | (uint32_t(GetGValue(v)) << 8) | uint32_t(GetBValue(v));
}
inline TColor FromArgb(uint32_t p) { return RGB((p >> 16) & 255, (p >> 8) & 255, p & 255); }
QFont ToQFont(const TFont& f);

struct TRegion::Impl {
  QRegion r;
};

// Where a canvas draws. A bitmap or back buffer gives an image; a printer page gives a painter.
struct TCanvasTarget {
  QImage* image = nullptr;
  QPainter* painter = nullptr;  // an open painter to draw through instead (printer pages)
  QPoint origin;                // device position of logical 0,0 before any mapping
  QRect bound;                  // device area the canvas may touch (null: the whole image)
  bool monochrome = false;      // a 1-bit bitmap: colours convert to black and white on blits
  std::function<void(const QRect&)> changed;
  // A control's back buffer is made only when something is first drawn into it: until then
  // *image is null, `pending` gives the size it will have and `realize` makes it.
  std::function<QSize()> pending;
  std::function<void()> realize;
  // The image to draw into, made first when it is still pending.
  QImage* Image() {
    if (image && image->isNull() && realize) realize();
    return image;
  }
  bool Drawable() const { return image && (!image->isNull() || realize); }
  QRect Bounds() const {
    QRect whole = !image                     ? QRect(0, 0, 1 << 20, 1 << 20)
                  : image->isNull() && pending ? QRect(QPoint(0, 0), pending())
                                               : image->rect();
    return bound.isNull() ? whole : bound.intersected(whole);
  }
};

struct TBitmapData {
  QImage image;  // Format_ARGB32; alpha kept only for 32-bit pictures that carry it
  std::shared_ptr<TCanvasTarget> target;
  std::vector<uint32_t> palette;  // palette of the file it came from (kept when saving)
  bool hasAlpha = false;
};

// Runs program code from an event dispatch: exceptions go to Application->HandleException.
void GuardedCall(const std::function<void()>& fn);
// Sets up the system's font configuration (as FONTCONFIG_FILE names it) so that the Liberation
// families come only from the program's Liberation 2 folder; done once before the first window.
void PreferProgramFonts();
