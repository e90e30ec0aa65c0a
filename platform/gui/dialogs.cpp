#include "platform/gui/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>

#include "platform/gui/controlimpl.h"
#include "platform/gui/printers.h"

std::vector<std::string> ConvertDialogFilter(const std::string& filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t p = filter.find('|', start);
    parts.push_back(filter.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (p == std::string::npos) break;
    start = p + 1;
  }
  std::vector<std::string> out;
  for (size_t i = 0; i < parts.size(); i += 2) {
    std::string desc = parts[i];
    std::string masks = i + 1 < parts.size() ? parts[i + 1] : parts[i];
    std::string q;
    size_t s = 0;
    for (;;) {
      size_t p = masks.find(';', s);
      std::string m = Trim(masks.substr(s, p == std::string::npos ? std::string::npos : p - s));
      if (m == "*.*") m = "*";  // every file, with or without an extension
      if (!m.empty()) q += (q.empty() ? "" : " ") + m;
      if (p == std::string::npos) break;
      s = p + 1;
    }
    out.push_back(desc + " (" + q + ")");
  }
  return out;
}

TOpenDialog::TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}
TOpenDialog::~TOpenDialog() = default;

bool TOpenDialog::Execute() {
  EnsureQtApp();
  if (Application->Terminated()) return false;
  QFileDialog dlg;
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setWindowTitle(ToQ(Title.empty() ? std::string("Open") : Title));
  dlg.setFileMode((Options & ofFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (Options & ofAllowMultiSelect) dlg.setFileMode(QFileDialog::ExistingFiles);
  QStringList filters;
  for (auto& f : ConvertDialogFilter(Filter)) filters << ToQ(f);
  if (!Filter.empty()) {
    dlg.setNameFilters(filters);
    if (FilterIndex >= 1 && FilterIndex <= filters.size()) dlg.selectNameFilter(filters[FilterIndex - 1]);
  }
  QString dir = ToQ(InitialDir);
  if (dir.isEmpty() && !FileName.empty()) dir = QFileInfo(ToQ(FileName)).absolutePath();
  if (!dir.isEmpty()) dlg.setDirectory(dir);
  if (!FileName.empty()) dlg.selectFile(QFileInfo(ToQ(FileName)).fileName());
  if (!DefaultExt.empty()) dlg.setDefaultSuffix(ToQ(DefaultExt));
  dlg.setWindowModality(Qt::ApplicationModal);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
  FileName = FromQ(QDir::toNativeSeparators(dlg.selectedFiles().first()));
  int idx = filters.indexOf(dlg.selectedNameFilter());
  if (idx >= 0) FilterIndex = idx + 1;
  return true;
}

TPrintDialog::TPrintDialog(TComponent* AOwner) : TComponent(AOwner) {}

bool TPrintDialog::Execute() {
  EnsureQtApp();
  if (Application->Terminated()) return false;
  TPrinter* pr = Printer();
  QPrinter* qp = reinterpret_cast<QPrinter*>(PrinterDevice(pr));
  QPrintDialog dlg(qp);
  dlg.setOption(QAbstractPrintDialog::PrintPageRange, MaxPage > 0);
  if (MaxPage > 0) dlg.setMinMax(std::max(1, MinPage), MaxPage);
  if (PrintRange == prPageNums) {
    dlg.setPrintRange(QAbstractPrintDialog::PageRange);
    dlg.setFromTo(FromPage, ToPage);
  }
  qp->setCopyCount(Copies);
  if (dlg.exec() != QDialog::Accepted) return false;
  PrintRange = dlg.printRange() == QAbstractPrintDialog::PageRange ? prPageNums : prAllPages;
  FromPage = dlg.fromPage();
  ToPage = dlg.toPage();
  Copies = qp->copyCount();
  return true;
}
