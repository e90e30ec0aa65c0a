// Times the document builder, layout and painting on the sizes the viewer must handle: a help
// page, a megabyte of paragraphs, a long table, a megabyte of long tables at growing sizes, and
// the memory after many page loads. Run by hand; prints milliseconds.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "htmlview/htmlbuilder.h"
#include "platform/gui/graphics.h"

namespace {

double Ms(std::chrono::steady_clock::time_point A, std::chrono::steady_clock::time_point B) {
  return std::chrono::duration<double, std::milli>(B - A).count();
}

std::string HelpPage() {
  std::string S =
      "<html><head><title>Help</title><style>h2 { color: navy } p.tip { background-color: #ffffcc;"
      " border: 1px solid #888; padding: 4px } td { padding: 2px }</style></head><body>";
  for (int Part = 0; Part < 8; ++Part) {
    S += "<h2>Lesson " + std::to_string(Part) + "</h2><p><img src=\"keys.gif\" width=120 height=40 align=left>";
    for (int I = 0; I < 6; ++I)
      S += "Place your fingers on the <b>home row</b> and type the letters shown on the screen. Keep a steady "
           "rhythm and do not look at the keyboard; <a href=\"next.htm\">continue</a> when you are ready. ";
    S += "<p class=tip>Tip: <i>accuracy first</i>, speed follows.</p><table border=1 width=\"90%\">";
    for (int R = 0; R < 6; ++R)
      S += "<tr><td>Finger " + std::to_string(R) + "<td>Keys a s d f<td width=80>" + std::to_string(R * 7) + " %";
    S += "</table><ul><li>first point<li>second point<li>third point</ul>";
  }
  return S + "</body></html>";
}

std::string Paragraphs(size_t Bytes) {
  std::string S;
  for (int I = 0; S.size() < Bytes; ++I)
    S += "<p>Paragraph " + std::to_string(I) +
         " holds an ordinary sentence of the typing course, with <b>bold</b> and <i>italic</i> words in it.";
  return S;
}

std::string Table(int Rows, int Cols) {
  std::string S = "<table border=1 cellpadding=2>";
  for (int R = 0; R < Rows; ++R) {
    S += "<tr>";
    for (int C = 0; C < Cols; ++C) S += "<td>row " + std::to_string(R) + " cell " + std::to_string(C);
  }
  return S + "</table>";
}

std::string LongTables(size_t Bytes) {
  std::string S;
  while (S.size() < Bytes) S += "<h3>Results</h3>" + Table(100, 5);
  return S;
}

struct TResult {
  double Build, Layout, Paint;
};

TResult Run(const std::string& Html, TBitmap& Bmp, const TMyFont& Font) {
  const auto T0 = std::chrono::steady_clock::now();
  TSectionList Doc;
  ParseHtmlDocument(Html, &Doc, Font);
  const auto T1 = std::chrono::steady_clock::now();
  int Curs = 0, Max = 0;
  Doc.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, 780);
  const auto T2 = std::chrono::steady_clock::now();
  Doc.PaintDocument(Bmp.Canvas(), TRect(0, 0, 800, 600));
  const auto T3 = std::chrono::steady_clock::now();
  return {Ms(T0, T1), Ms(T1, T2), Ms(T2, T3)};
}

long ResidentKb() {
  std::ifstream F("/proc/self/statm");
  long Pages = 0, Resident = 0;
  F >> Pages >> Resident;
  return Resident * 4;
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  TBitmap Bmp;
  Bmp.SetSize(800, 600);
  TMyFont Font;
  Font.SetName("Times New Roman");
  Font.SetSize(12);
  auto Report = [&](const char* Name, const std::string& Html) {
    Run(Html, Bmp, Font);  // warm the font caches
    const TResult R = Run(Html, Bmp, Font);
    std::printf("%-28s %8.0f KB  build %8.2f ms  layout %8.2f ms  paint %7.2f ms  total %8.2f ms\n", Name,
                Html.size() / 1024.0, R.Build, R.Layout, R.Paint, R.Build + R.Layout + R.Paint);
  };
  Report("help page", HelpPage());
  Report("10,000 paragraphs", Paragraphs(0) + [] {
    std::string S;
    for (int I = 0; I < 10000; ++I)
      S += "<p>Paragraph " + std::to_string(I) + " holds an ordinary sentence of the typing course, with <b>bold</b>"
           " and <i>italic</i> words in it, long enough to wrap once or twice in the window.";
    return S;
  }());
  Report("500 x 5 table", Table(500, 5));
  for (size_t Kb : {100, 250, 500, 1000}) {
    const std::string Name = "long tables " + std::to_string(Kb) + " KB";
    Report(Name.c_str(), LongTables(Kb * 1024));
  }
  for (size_t Kb : {100, 250, 500, 1000}) {
    const std::string Name = "paragraphs " + std::to_string(Kb) + " KB";
    Report(Name.c_str(), Paragraphs(Kb * 1024));
  }
  // Pages with pictures' placeholders, form controls and panels, loaded again and again.
  const std::string Page = HelpPage() +
                           "<form><input name=a><select name=s><option>x</select><textarea>t</textarea>"
                           "<input type=radio name=r><input type=checkbox name=c><input type=submit></form>"
                           "<panel name=p width=40><img src=\"missing.gif\" alt=missing>";
  long After100 = 0;
  for (int I = 1; I <= 1000; ++I) {
    Run(Page, Bmp, Font);
    if (I == 100) After100 = ResidentKb();
  }
  std::printf("resident memory after 100 loads %ld KB, after 1000 loads %ld KB\n", After100, ResidentKb());
  return 0;
}
