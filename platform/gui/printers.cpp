#include "platform/gui/printers.h"

#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/gui/controlimpl.h"

struct TPrinter::Impl {
  std::unique_ptr<QPrinter> printer;
  QPainter painter;
  std::shared_ptr<TCanvasTarget> target = std::make_shared<TCanvasTarget>();
};

void* PrinterDevice(TPrinter* p) { return p->impl()->printer.get(); }

TPrinter::TPrinter() : FImpl(new Impl) {
  EnsureQtApp();
  FImpl->printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  if (QPrinterInfo::availablePrinterNames().isEmpty()) {
    // No printer: the job becomes a PDF file.
    FImpl->printer->setOutputFormat(QPrinter::PdfFormat);
    FImpl->printer->setResolution(600);
    FImpl->printer->setOutputFileName(QDir::home().filePath(QStringLiteral("vx-print.pdf")));
  } else {
    FPrinterIndex = 0;
  }
  FImpl->target->painter = &FImpl->painter;
}

TPrinter::~TPrinter() {
  if (FImpl->painter.isActive()) FImpl->painter.end();
}

TCanvas* TPrinter::Canvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TCanvas>();
    FCanvas->Attach(FImpl->target);
  }
  return FCanvas.get();
}

void TPrinter::BeginDoc() {
  if (FPrinting) throw EPrinter("Printing in progress");
  std::string t = Title.substr(0, 31);
  FImpl->printer->setDocName(ToQ(t));
  if (!FImpl->painter.begin(FImpl->printer.get())) throw EPrinter("Printer selected is not valid");
  FPrinting = true;
  FAborted = false;
  FPageNumber = 1;
  Canvas();
}

void TPrinter::NewPage() {
  if (!FPrinting) throw EPrinter("Printer is not currently printing");
  FImpl->printer->newPage();
  ++FPageNumber;
}

void TPrinter::EndDoc() {
  if (!FPrinting) throw EPrinter("Printer is not currently printing");
  FImpl->painter.end();
  FPrinting = false;
  FPageNumber = 0;
}

void TPrinter::Abort() {
  if (!FPrinting) throw EPrinter("Printer is not currently printing");
  FImpl->printer->abort();
  if (FImpl->painter.isActive()) FImpl->painter.end();
  // The PDF writer has no way to cancel: closing its painter completes the file. An aborted job
  // must deliver nothing, so the file it wrote goes.
  if (FImpl->printer->outputFormat() == QPrinter::PdfFormat && !FImpl->printer->outputFileName().isEmpty())
    QFile::remove(FImpl->printer->outputFileName());
  FAborted = true;
  FPrinting = false;
  FPageNumber = 0;
}

namespace {
QRect PaintRect(QPrinter* p) { return p->pageLayout().paintRectPixels(p->resolution()); }
QRect FullRect(QPrinter* p) { return p->pageLayout().fullRectPixels(p->resolution()); }
}  // namespace

int TPrinter::PageWidth() const { return PaintRect(FImpl->printer.get()).width(); }
int TPrinter::PageHeight() const { return PaintRect(FImpl->printer.get()).height(); }
int TPrinter::PixelsPerInchX() const { return FImpl->printer->resolution(); }
int TPrinter::PixelsPerInchY() const { return FImpl->printer->resolution(); }
int TPrinter::PhysicalWidth() const { return FullRect(FImpl->printer.get()).width(); }
int TPrinter::PhysicalHeight() const { return FullRect(FImpl->printer.get()).height(); }
int TPrinter::PhysicalOffsetX() const {
  return PaintRect(FImpl->printer.get()).left() - FullRect(FImpl->printer.get()).left();
}
int TPrinter::PhysicalOffsetY() const {
  return PaintRect(FImpl->printer.get()).top() - FullRect(FImpl->printer.get()).top();
}
TPrinterOrientation TPrinter::Orientation() const {
  return FImpl->printer->pageLayout().orientation() == QPageLayout::Landscape ? poLandscape : poPortrait;
}
void TPrinter::SetOrientation(TPrinterOrientation o) {
  if (FPrinting) throw EPrinter("Printing in progress");
  FImpl->printer->setPageOrientation(o == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

std::vector<std::string> TPrinter::Printers() const {
  std::vector<std::string> v;
  for (const QString& n : QPrinterInfo::availablePrinterNames()) v.push_back(FromQ(n));
  return v;
}

void TPrinter::SetPrinterIndex(int i) {
  if (FPrinting) throw EPrinter("Printing in progress");
  auto names = QPrinterInfo::availablePrinterNames();
  if (i < 0 || i >= names.size()) throw EPrinter("Printer selected is not valid");
  FImpl->printer->setOutputFormat(QPrinter::NativeFormat);
  FImpl->printer->setPrinterName(names[i]);
  FPrinterIndex = i;
}

void TPrinter::SetOutputFileName(const std::string& fileName) {
  if (FPrinting) throw EPrinter("Printing in progress");
  FImpl->printer->setOutputFormat(QPrinter::PdfFormat);
  FImpl->printer->setResolution(600);
  FImpl->printer->setOutputFileName(ToQ(fileName));
  FPrinterIndex = -1;
}

std::string TPrinter::OutputFileName() const { return FromQ(FImpl->printer->outputFileName()); }

TPrinter* Printer() {
  static TPrinter* p = nullptr;
  if (!p) p = new TPrinter;
  return p;
}
