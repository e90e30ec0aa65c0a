// Printing the viewer's document to a PDF file: page counts, page ranges, margins, page breaks
// that keep lines whole, the header's stop and the empty viewer.
#include <unistd.h>

#include <cmath>
#include <regex>

#include "htmlview/htmlblock.h"
#include "htmlview/htmlsection.h"
#include "htmlview/pixbuf.h"
#include "htmlview/vwprint.h"
#include "platform/gui/printers.h"
#include "viewer_fixture.h"

namespace {

int PdfPages(const std::filesystem::path& P) {
  std::ifstream In(P, std::ios::binary);
  const std::string Data((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  const std::regex Page("/Type\\s*/Page(?!s)");
  return static_cast<int>(std::distance(std::sregex_iterator(Data.begin(), Data.end(), Page), std::sregex_iterator()));
}

class PrintTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    Pdf = Dir / "out.pdf";
    Printer()->SetOutputFileName(Pdf.string());
  }
  THTMLViewer* Load(const std::string& Html) {
    THTMLViewer* V = NewViewer();
    V->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
    return V;
  }
  std::filesystem::path Pdf;
};

std::string ThreePages() { return "<p>one<page><p>two<page><p>three"; }

TEST_F(PrintTest, PageRangesGiveTheirPages) {
  struct Case {
    int From, To;
    int Pages;    // in the file (-1: no document written)
    int Counter;  // the viewer's page counter afterwards
  };
  const std::vector<Case> Cases = {{1, 9999, 3, 3}, {2, 2, 1, 2}, {1, 2, 2, 2}, {3, 9999, 1, 3}, {5, 9, -1, 3}};
  THTMLViewer* V = Load(ThreePages());
  for (const Case& C : Cases) {
    std::filesystem::remove(Pdf);
    V->Print(C.From, C.To);
    EXPECT_EQ(V->PrintedPages(), C.Counter) << C.From << ".." << C.To;
    if (C.Pages < 0)
      EXPECT_TRUE(!std::filesystem::exists(Pdf) || PdfPages(Pdf) == 0) << C.From << ".." << C.To;
    else
      EXPECT_EQ(PdfPages(Pdf), C.Pages) << C.From << ".." << C.To;
  }
  // The viewer's own view is untouched.
  EXPECT_EQ(V->VScrollBarPosition(), 0);
  EXPECT_FALSE(V->SectionList()->Printing);
}

TEST_F(PrintTest, LongTextBreaksBetweenLinesWithTheMargins) {
  std::string Html = "<p>";
  for (int I = 1; I <= 150; ++I) Html += "row " + std::to_string(I) + "<br>";
  THTMLViewer* V = Load(Html);
  int HeaderH = -1, FooterCalls = 0, HeaderW = -1;
  V->OnPrintHeader = [&](TObject*, TCanvas*, int, int W, int H, bool&) {
    HeaderW = W;
    HeaderH = H;
  };
  V->OnPrintFooter = [&](TObject*, TCanvas*, int, int, int, bool&) { ++FooterCalls; };
  V->Print(1, 9999);
  const int Pages = V->PrintedPages();
  EXPECT_GE(Pages, 3);
  EXPECT_EQ(PdfPages(Pdf), Pages);
  EXPECT_EQ(FooterCalls, Pages);
  // The top margin in screen pixels: 2 cm less the printer's own offset.
  TPrinter P;
  P.SetOutputFileName(Pdf.string());
  const int Dpi = P.PixelsPerInchY();
  const int TopDev = static_cast<int>(std::nearbyint(2.0 / 2.54 * Dpi)) - P.PhysicalOffsetY();
  EXPECT_EQ(HeaderH, MulDiv(TopDev, 96, Dpi));
  EXPECT_EQ(HeaderW, MulDiv(P.PageWidth(), 96, P.PixelsPerInchX()));
  // Every page after the first starts at the top of a line: no line is cut across two pages.
  std::vector<int> LineTops;
  std::function<void(TCellBasic&)> Walk = [&](TCellBasic& Cell) {
    for (int I = 0; I < Cell.Count(); ++I) {
      if (auto* S = dynamic_cast<TSection*>(Cell[I]))
        for (const LineRec& L : S->Lines) LineTops.push_back(L.PaintY);
      if (auto* B = dynamic_cast<TBlock*>(Cell[I])) Walk(B->Content);
    }
  };
  Walk(*V->SectionList());
  ASSERT_GE(LineTops.size(), 150u);
  ASSERT_EQ(static_cast<int>(V->PrintedPageTops().size()), Pages);
  for (size_t I = 1; I < V->PrintedPageTops().size(); ++I)
    EXPECT_NE(std::find(LineTops.begin(), LineTops.end(), V->PrintedPageTops()[I]), LineTops.end())
        << "page " << I + 1 << " starts at " << V->PrintedPageTops()[I];
}

TEST_F(PrintTest, APictureTallerThanAPageStillMovesOn) {
  THTMLViewer* V = NewViewer();
  // A picture taller than a page cannot be kept whole: it runs over pages that each start
  // further down, and the job ends with the document.
  V->SetOnBitmapRequest([](TObject*, const std::string&, int32_t&, TPixelBuffer*& B) {
    B = new TPixelBuffer();
    B->SetSize(50, 2500, 0xFF0000FF);
  });
  const std::string Html = "<p><img src=\"tall.bmp\"></p><p>after";
  V->LoadFromBuffer(Html.data(), static_cast<int>(Html.size()));
  ASSERT_GT(V->DocumentHeight(), 2500);
  V->Print(1, 9999);
  const std::vector<int>& Tops = V->PrintedPageTops();
  ASSERT_GE(Tops.size(), 3u);
  EXPECT_LE(Tops.size(), 5u);
  for (size_t I = 1; I < Tops.size(); ++I) EXPECT_GT(Tops[I], Tops[I - 1]);
  EXPECT_EQ(PdfPages(Pdf), V->PrintedPages());
}

TEST_F(PrintTest, HeaderStopsAfterTheCurrentPage) {
  THTMLViewer* V = Load(ThreePages());
  int Footers = 0;
  V->OnPrintHeader = [&](TObject*, TCanvas*, int Page, int, int, bool& Stop) { Stop = Page == 1; };
  V->OnPrintFooter = [&](TObject*, TCanvas*, int, int, int, bool&) { ++Footers; };
  V->Print(1, 9999);
  EXPECT_EQ(V->PrintedPages(), 1);
  EXPECT_EQ(Footers, 1);
  EXPECT_EQ(PdfPages(Pdf), 1);
}

TEST_F(PrintTest, EmptyViewerPrintsNothing) {
  THTMLViewer* V = NewViewer();
  int Progress = 0;
  V->OnPrintProgress = [&](TObject*, int Page, bool&) {
    EXPECT_EQ(Page, 0);
    ++Progress;
  };
  V->Print(1, 9999);
  EXPECT_EQ(V->PrintedPages(), 0);
  EXPECT_EQ(Progress, 1);
  EXPECT_FALSE(std::filesystem::exists(Pdf));
}

TEST_F(PrintTest, PrinterObjectChecksItsJob) {
  TvwPrinter P;
  EXPECT_GT(P.PageWidth(), 0);  // reading the page starts no job
  EXPECT_FALSE(P.Printing());
  try {
    P.NewPage();
    FAIL();
  } catch (const EPrinter& E) {
    EXPECT_EQ(E.Message(), "Printer is not currently printing");
  }
  P.Title = std::string(40, 'x');
  P.BeginDoc();
  EXPECT_EQ(P.PageNumber(), 1);
  try {
    P.BeginDoc();
    FAIL();
  } catch (const EPrinter& E) {
    EXPECT_EQ(E.Message(), "Printing in progress");
  }
  P.NewPage();
  EXPECT_EQ(P.PageNumber(), 2);
  P.Abort();
  EXPECT_FALSE(P.Printing());
  EXPECT_EQ(P.PageNumber(), 0);
  // The installed printer comes back after a swap.
  TvwPrinter Other;
  TvwPrinter* Before = CurrentPrinter();
  TvwPrinter* Old = SetCurrentPrinter(&Other);
  EXPECT_EQ(Old, Before);
  EXPECT_EQ(CurrentPrinter(), &Other);
  SetCurrentPrinter(Old);
  EXPECT_EQ(CurrentPrinter(), Old);
}

}  // namespace
