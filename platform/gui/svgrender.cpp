#include "platform/gui/svgrender.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace svg {

namespace {

// Text in SVG needs the font database, which needs an application object. Tools that call us
// have none of their own, so one is made on first use (offscreen unless a platform is chosen).
void EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    // The toolkit wants a private runtime folder and complains on every start without one.
    const std::string dir = "/tmp/vx-svg-runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    qputenv("XDG_RUNTIME_DIR", QByteArray(dir.c_str()));
  }
  static int argc = 1;
  static char name[] = "vx-svg";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
}

bmp::Image FromQImage(const QImage& Source) {
  const QImage img = Source.convertToFormat(QImage::Format_ARGB32);
  bmp::Image out;
  out.width = img.width();
  out.height = img.height();
  out.bitsPerPixel = 24;
  out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
  for (int y = 0; y < out.height; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    for (int x = 0; x < out.width; ++x) out.pixels[static_cast<size_t>(y) * out.width + x] = row[x];
  }
  return out;
}

}  // namespace

bmp::Image Render(const std::string& Document, int Width, int Height) {
  EnsureApplication();
  QSvgRenderer renderer(QByteArray(Document.data(), static_cast<qsizetype>(Document.size())));
  if (!renderer.isValid()) throw bmp::Error("the SVG document cannot be read");
  QSize size = renderer.defaultSize();
  if (Width > 0 && Height > 0) size = QSize(Width, Height);
  if (size.width() <= 0 || size.height() <= 0 || size.width() > 8192 || size.height() > 8192)
    throw bmp::Error("the SVG document has no usable size");
  QImage img(size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  {
    QPainter painter(&img);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    renderer.render(&painter, QRectF(0, 0, size.width(), size.height()));
  }
  return FromQImage(img);
}

void SavePng(const bmp::Image& Img, const std::string& Path) {
  QImage img(Img.width, Img.height, QImage::Format_ARGB32);
  for (int y = 0; y < Img.height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < Img.width; ++x) row[x] = Img.pixels[static_cast<size_t>(y) * Img.width + x];
  }
  if (!img.save(QString::fromStdString(Path), "PNG")) throw bmp::Error("cannot write " + Path);
}

bmp::Image LoadImageFile(const std::string& Path) {
  QImage img;
  if (!img.load(QString::fromStdString(Path))) throw bmp::Error("cannot read " + Path);
  return FromQImage(img);
}

}  // namespace svg
