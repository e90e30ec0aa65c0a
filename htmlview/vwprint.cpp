// The viewer's printer object, and the viewer's printing: the document laid out again on a copy in
// screen pixels, drawn page by page on the printer with the canvas scaled from screen pixels to
// device dots, pages ending where the layout keeps lines, pictures and rows whole.
#include "htmlview/vwprint.h"

#include <algorithm>
#include <cmath>

#include "htmlview/htmlview.h"

namespace {

TvwPrinter*& CurrentSlot() {
  static TvwPrinter* P = nullptr;
  return P;
}

int RoundEven(double V) { return static_cast<int>(std::nearbyint(V)); }

}  // namespace

TvwPrinter* CurrentPrinter() {
  if (!CurrentSlot()) {
    // The default printer lives until the program ends.
    static std::unique_ptr<TvwPrinter> Default(new TvwPrinter);
    CurrentSlot() = Default.get();
  }
  return CurrentSlot();
}

TvwPrinter* SetCurrentPrinter(TvwPrinter* Printer) {
  TvwPrinter* Old = CurrentSlot();
  CurrentSlot() = Printer;
  return Old;
}

TvwPrinter::~TvwPrinter() {
  try {
    if (FPrinting) EndDoc();
  } catch (const Exception&) {
    // A job that cannot end cleanly is dropped with its device.
  }
}

void TvwPrinter::CheckPrinting(bool Value) const {
  if (FPrinting != Value) throw EPrinter(Value ? "Printer is not currently printing" : "Printing in progress");
}

void TvwPrinter::SetState(int NewState) {
  if (NewState == FState) return;
  if (NewState == 0) {
    CheckPrinting(false);
    FDevice.reset();
    FState = 0;
    return;
  }
  if (FDevice && (NewState == 1 || FState == 1)) {
    // An open printer serves for reading its settings as well as for a job.
    FState = std::max(FState, NewState);
    return;
  }
  try {
    // The printer chosen in the platform's settings: the same device, or the same PDF file.
    auto D = std::make_unique<TPrinter>();
    TPrinter* Chosen = Printer();
    if (Chosen->PrinterIndex() >= 0)
      D->SetPrinterIndex(Chosen->PrinterIndex());
    else
      D->SetOutputFileName(Chosen->OutputFileName());
    D->SetOrientation(Chosen->Orientation());
    FDevice = std::move(D);
  } catch (const EPrinter&) {
    throw EPrinter("Printer selected is not valid");
  }
  FState = NewState;
}

void TvwPrinter::BeginDoc() {
  CheckPrinting(false);
  SetState(2);
  FDevice->Title = Title.substr(0, 31);
  FDevice->BeginDoc();
  FPrinting = true;
  FAborted = false;
  FPageNumber = 1;
}

void TvwPrinter::NewPage() {
  CheckPrinting(true);
  FDevice->NewPage();
  ++FPageNumber;
}

void TvwPrinter::EndDoc() {
  CheckPrinting(true);
  if (!FAborted) FDevice->EndDoc();
  FPrinting = false;
  FAborted = false;
  FPageNumber = 0;
}

void TvwPrinter::Abort() {
  CheckPrinting(true);
  FDevice->Abort();
  FAborted = true;
  EndDoc();
}

TCanvas* TvwPrinter::Canvas() {
  SetState(std::max(FState, 1));
  return FDevice->Canvas();
}

int TvwPrinter::PageWidth() { return SetState(std::max(FState, 1)), FDevice->PageWidth(); }
int TvwPrinter::PageHeight() { return SetState(std::max(FState, 1)), FDevice->PageHeight(); }
int TvwPrinter::PixelsPerInchX() { return SetState(std::max(FState, 1)), FDevice->PixelsPerInchX(); }
int TvwPrinter::PixelsPerInchY() { return SetState(std::max(FState, 1)), FDevice->PixelsPerInchY(); }
int TvwPrinter::PhysicalWidth() { return SetState(std::max(FState, 1)), FDevice->PhysicalWidth(); }
int TvwPrinter::PhysicalHeight() { return SetState(std::max(FState, 1)), FDevice->PhysicalHeight(); }
int TvwPrinter::PhysicalOffsetX() { return SetState(std::max(FState, 1)), FDevice->PhysicalOffsetX(); }
int TvwPrinter::PhysicalOffsetY() { return SetState(std::max(FState, 1)), FDevice->PhysicalOffsetY(); }

// ---- the viewer's printing ----------------------------------------------------------------------

void THTMLViewer::Print(int FromPage, int ToPage) {
  bool Done = false;
  if (OnPrintProgress) OnPrintProgress(this, 0, Done);
  FPage = 0;
  FPageTops.clear();
  if (FProcessing || FSectionList->Count() == 0) return;

  auto Copy = std::make_unique<TSectionList>(*FSectionList, true);
  Copy->MarginWidth = FSectionList->MarginWidth;
  Copy->MarginHeight = FSectionList->MarginHeight;
  Copy->Background = 0xFFFFFF;
  Copy->SetScroll(0);
  TFont SavedFont;
  TPen SavedPen;
  TBrush SavedBrush;

  auto Owned = std::make_unique<TvwPrinter>();
  TvwPrinter* NewPrinter = Owned.get();
  TvwPrinter* OldPrinter = SetCurrentPrinter(NewPrinter);
  FPage = 1;
  auto Finish = [&] {
    // Nothing printed: the job is dropped; otherwise it goes to the printer.
    if (NewPrinter->Printing()) {
      if (FPage < FromPage)
        NewPrinter->Abort();
      else
        NewPrinter->EndDoc();
    }
    FPage = std::max(0, FPage - 1);
  };
  try {
    if (!FTitle.empty()) NewPrinter->Title = FTitle;
    NewPrinter->BeginDoc();
    TCanvas* C = NewPrinter->Canvas();
    const int LogPixX = NewPrinter->PixelsPerInchX(), LogPixY = NewPrinter->PixelsPerInchY();
    const int ScreenPPI = Screen ? Screen->PixelsPerInch() : 96;
    auto Map = [&] {
      C->SetMapMode(MM_ANISOTROPIC);
      C->SetWindowExt(ScreenPPI, ScreenPPI);
      C->SetViewportExt(LogPixX, LogPixY);
      C->SetViewportOrg(0, 0);
    };
    const int PageW = NewPrinter->PageWidth(), PageH = NewPrinter->PageHeight();
    const int PhysW = NewPrinter->PhysicalWidth(), PhysH = NewPrinter->PhysicalHeight();
    const int OffX = NewPrinter->PhysicalOffsetX(), OffY = NewPrinter->PhysicalOffsetY();
    const int RightUnprintable = std::max(PhysW - PageW - OffX, 0);
    const int BottomUnprintable = std::max(PhysH - PageH - OffY, 0);
    const int LeftDev = RoundEven(PrintMarginLeft / 2.54 * LogPixX) - OffX;
    const int RightDev = RoundEven(PrintMarginRight / 2.54 * LogPixX) - RightUnprintable;
    const int TopDev = RoundEven(PrintMarginTop / 2.54 * LogPixY) - OffY;
    const int BottomDev = RoundEven(PrintMarginBottom / 2.54 * LogPixY) - BottomUnprintable;
    const int WidthDev = PageW - (LeftDev + RightDev);
    const int HeightDev = PageH - (TopDev + BottomDev);
    const int LeftPix = MulDiv(LeftDev, ScreenPPI, LogPixX), WidthPix = MulDiv(WidthDev, ScreenPPI, LogPixX);
    const int TopPix = MulDiv(TopDev, ScreenPPI, LogPixY), HeightPix = MulDiv(HeightDev, ScreenPPI, LogPixY);
    const int FullWidthPix = MulDiv(PageW, ScreenPPI, LogPixX), FullHeightPix = MulDiv(PageH, ScreenPPI, LogPixY);
    if (WidthPix <= 0 || HeightPix <= 0) throw EPrinter("Printer selected is not valid");

    // Laid out in screen pixels, on the same kind of canvas the screen measures with.
    TBitmap Measure;
    Measure.SetSize(8, 8);
    int Curs = 0, MaxWidth = 0;
    const int DocHeight = Copy->Arrange(Measure.Canvas(), 0, Curs, MaxWidth, 0, WidthPix);
    int TopY = 0;
    const TRegion Clip(TRect(0, TopDev - 1, LeftDev + WidthDev + 2, TopDev + HeightDev + 2));
    if (Application) Application->ProcessMessages();
    if (OnPrintProgress) OnPrintProgress(this, FPage, Done);
    while (FPage <= ToPage && !Done) {
      // The page's first document row is the copy's scroll position; the window origin puts that
      // row at the top margin (the layout measures its page breaks from the scroll position).
      Copy->SetScroll(TopY);
      Map();
      C->SetWindowOrg(0, 0);
      C->SelectClipRegion(&Clip);
      const TRect Page(0, 0, WidthPix, HeightPix);
      FPageTops.push_back(TopY);
      if (FPage < FromPage) {
        // Drawn outside the clip: only the page bottom moves on.
        C->SetWindowOrg(-(3 * WidthPix + LeftPix), -TopPix);
        Copy->PaintDocument(C, Page);
        C->SetWindowOrg(0, 0);
      } else {
        C->SetWindowOrg(-LeftPix, -TopPix);
        Copy->PaintDocument(C, Page);
        C->SetWindowOrg(0, 0);
        SavedFont.Assign(*C->Font());
        SavedPen.Assign(*C->Pen());
        SavedBrush.Assign(*C->Brush());
        C->SelectClipRegion(nullptr);
        // The top margin and whatever lies below the page break are blanked.
        C->Brush()->SetColor(clWhite);
        C->Brush()->SetStyle(bsSolid);
        C->FillRect(TRect(LeftPix, 0, LeftPix + WidthPix + 1, TopPix - 1));
        const int BreakY = Copy->PrintPageBottom - TopY + TopPix;
        if (BreakY < TopPix + HeightPix) C->FillRect(TRect(LeftPix, BreakY, LeftPix + WidthPix + 1, TopPix + HeightPix));
        C->Pen()->Assign(SavedPen);
        const unsigned OldAlign = C->TextAlign();
        C->SetTextAlign(TA_LEFT | TA_TOP);
        if (OnPrintHeader) {
          C->SetWindowOrg(0, 0);
          OnPrintHeader(this, C, FPage, FullWidthPix, TopPix, Done);
        }
        if (OnPrintFooter) {
          C->SetWindowOrg(0, -(TopPix + HeightPix));
          OnPrintFooter(this, C, FPage, FullWidthPix, FullHeightPix - (TopPix + HeightPix), Done);
          C->SetWindowOrg(0, 0);
        }
        C->SetTextAlign(OldAlign);
        C->Font()->Assign(SavedFont);
        C->Pen()->Assign(SavedPen);
        C->Brush()->Assign(SavedBrush);
      }
      // A page bottom that did not move on (a line taller than the page) would print the same
      // slice again and again: such a page takes a whole page height instead.
      const int NextY = Copy->PrintPageBottom;
      TopY = NextY > TopY ? NextY : TopY + HeightPix;
      if (Application) Application->ProcessMessages();
      if (OnPrintProgress) OnPrintProgress(this, FPage, Done);
      // A page that would start at the document's end would stay blank.
      if (TopY >= DocHeight) Done = true;
      if (!Done && FromPage <= FPage && FPage < ToPage) NewPrinter->NewPage();
      ++FPage;
    }
    C->SelectClipRegion(nullptr);
    Finish();
  } catch (...) {
    try {
      Finish();
    } catch (const Exception&) {
      // The first failure is the one reported.
    }
    SetCurrentPrinter(OldPrinter);
    throw;
  }
  SetCurrentPrinter(OldPrinter);
}
