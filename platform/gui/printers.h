// The printer: a job of pages drawn through a canvas. Without a printer on the system (and in
// tests) pages go to a PDF file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gui/graphics.h"

class EPrinter : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EPrinter"; }
};

enum TPrinterOrientation { poPortrait, poLandscape };

class TPrinter : public TObject {
 public:
  TPrinter();
  ~TPrinter() override;
  // Title is cut to 31 characters, as the print spooler shows it.
  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();
  bool Printing() const { return FPrinting; }
  bool Aborted() const { return FAborted; }
  int PageNumber() const { return FPageNumber; }
  std::string Title;
  TCanvas* Canvas();
  // Printable area in device pixels, and the device resolution.
  int PageWidth() const;
  int PageHeight() const;
  int PixelsPerInchX() const;
  int PixelsPerInchY() const;
  // Whole sheet size and the offset of the printable area, in device pixels.
  int PhysicalWidth() const;
  int PhysicalHeight() const;
  int PhysicalOffsetX() const;
  int PhysicalOffsetY() const;
  TPrinterOrientation Orientation() const;
  void SetOrientation(TPrinterOrientation o);
  // Installed printers; empty when there is none.
  std::vector<std::string> Printers() const;
  int PrinterIndex() const { return FPrinterIndex; }
  void SetPrinterIndex(int i);
  // Sends the job to a PDF file instead of a printer (the fallback when no printer exists).
  void SetOutputFileName(const std::string& fileName);
  std::string OutputFileName() const;

  struct Impl;
  Impl* impl() const { return FImpl.get(); }

 private:
  std::unique_ptr<Impl> FImpl;
  std::unique_ptr<TCanvas> FCanvas;
  bool FPrinting = false;
  bool FAborted = false;
  int FPageNumber = 0;
  int FPrinterIndex = -1;
};

// The current printer (created on first use).
TPrinter* Printer();
// Internal: the printer's device for the print dialog.
void* PrinterDevice(TPrinter* p);
