#pragma once
// The viewer's own printer object: a print job on the printer chosen in the platform's printer
// settings (or the PDF file that stands in for a missing printer), with its page size, device
// resolution and drawing canvas. The job title reaches the spooler cut to 31 characters.

#include <memory>
#include <string>

#include "platform/gui/printers.h"

class TvwPrinter : public TObject {
 public:
  TvwPrinter() = default;
  ~TvwPrinter() override;
  TvwPrinter(const TvwPrinter&) = delete;
  TvwPrinter& operator=(const TvwPrinter&) = delete;

  int PageNumber() const { return FPageNumber; }
  std::string Title;
  bool Printing() const { return FPrinting; }
  bool Aborted() const { return FAborted; }
  // 0 nothing open, 1 the printer's settings are read, 2 a job may run.
  int State() const { return FState; }

  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();
  TCanvas* Canvas();
  // Printable area and resolution in device units; asking opens the printer but starts no job.
  int PageWidth();
  int PageHeight();
  int PixelsPerInchX();
  int PixelsPerInchY();
  // The whole sheet and the offset of the printable area, in device units.
  int PhysicalWidth();
  int PhysicalHeight();
  int PhysicalOffsetX();
  int PhysicalOffsetY();

 private:
  void SetState(int NewState);
  void CheckPrinting(bool Value) const;
  std::unique_ptr<TPrinter> FDevice;
  int FPageNumber = 0;
  bool FPrinting = false;
  bool FAborted = false;
  int FState = 0;
};

// The printer the viewer prints on (made on first use).
TvwPrinter* CurrentPrinter();
// Installs Printer as the current one and returns the previous one, which the caller keeps.
TvwPrinter* SetCurrentPrinter(TvwPrinter* Printer);
