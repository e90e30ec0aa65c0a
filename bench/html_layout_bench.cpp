// Times building and laying out generated HTML documents of growing size; the time per
// kilobyte should stay about the same (layout near-linear in document size). Run by hand.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "htmlview/htmlbuilder.h"
#include "platform/gui/graphics.h"

static std::string Page(int Paragraphs) {
  std::string S = "<h1>Benchmark</h1>";
  for (int I = 0; I < Paragraphs; ++I) {
    S += "<p>Paragraph " + std::to_string(I) + ": the quick brown fox <b>jumps over</b> the lazy dog and ";
    S += "<i>keeps running</i> past the well-known fence. <br>Second line of the paragraph.";
    if (I % 10 == 0) S += "<ul><li>item one<li>item two<ol><li>nested</ol></ul><hr>";
  }
  return S;
}

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TBitmap Bmp;
  Bmp.SetSize(10, 10);
  TMyFont Font;
  Font.SetName("Times New Roman");
  Font.SetSize(12);
  // One long paragraph as well: line breaking of a single section.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  for (int N : {50, 100, 200, 400, 800}) {
    const std::string Html = Page(N);
    std::string Long = "<p>";
    for (int I = 0; I < N * 4; ++I) Long += "word" + std::to_string(I) + " ";
    for (const std::string* Src : {static_cast<const std::string*>(&Html), static_cast<const std::string*>(&Long)}) {
      auto T0 = std::chrono::steady_clock::now();
      TSectionList Doc;
      ParseHtmlDocument(*Src, &Doc, Font);
      auto T1 = std::chrono::steady_clock::now();
      int Curs = 0, Max = 0, Height = 0;
      for (int W : {300, 600, 900}) {
        Curs = 0;
        Height = Doc.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, W);
      }
      auto T2 = std::chrono::steady_clock::now();
      const double Kb = Src->size() / 1024.0;
      const double Build = std::chrono::duration<double, std::milli>(T1 - T0).count();
      const double Layout = std::chrono::duration<double, std::milli>(T2 - T1).count() / 3;
      std::printf("%-9s %7.0f KB  build %8.2f ms  layout %8.2f ms  (%.3f ms/KB)  height %d\n",
                  Src == &Html ? "page" : "paragraph", Kb, Build, Layout, Layout / Kb, Height);
    }
  }
  return 0;
}
