// Builds and lays out a document from arbitrary bytes at a few widths: malformed markup must give
// a document or a parse error, never a crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "htmlview/htmlbuilder.h"
#include "platform/gui/graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > 20000) return 0;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static TBitmap* Bmp = [] {
    auto* B = new TBitmap();
    B->SetSize(10, 10);
    return B;
  }();
  TMyFont Font;
  Font.SetName("Courier New");
  Font.SetSize(10);
  TSectionList Doc;
  try {
    ParseHtmlDocument(std::string(reinterpret_cast<const char*>(Data), Size), &Doc, Font);
  } catch (const Exception&) {
    return 0;
  }
  for (int Width : {0, 37, 400}) {
    int Curs = 0, Max = 0;
    Doc.Arrange(Bmp->Canvas(), 0, Curs, Max, 0, Width);
    int Min = 0;
    Doc.WidthRange(Bmp->Canvas(), Min, Max);
  }
  return 0;
}
