// Builds, lays out, paints and hit-tests a document from arbitrary bytes at a few widths, and
// reads the bytes as a frameset document: malformed markup must give a document or a parse
// error, never a crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "htmlview/htmlbuilder.h"
#include "platform/gui/graphics.h"

namespace {

class NullFrames : public TFrameViewerBase {
 public:
  NullFrames() : TFrameViewerBase(nullptr) {}
  int Frames = 0;
  void AddFrame(void*, const TAttributeList&, const std::string&) override { ++Frames; }
  void* CreateSubFrameset(void* Frameset) override { return Frameset; }
  void DoAttributes(void*, const TAttributeList&) override {}
  void EndFrameset(void*) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > 20000) return 0;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static TBitmap* Bmp = [] {
    auto* B = new TBitmap();
    B->SetSize(64, 64);
    return B;
  }();
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  TMyFont Font;
  Font.SetName("Courier New");
  Font.SetSize(10);
  TSectionList Doc;
  try {
    ParseHtmlDocument(Text, &Doc, Font);
  } catch (const Exception&) {
    return 0;
  }
  for (int Width : {0, 37, 400}) {
    int Curs = 0, Max = 0;
    const int Height = Doc.Arrange(Bmp->Canvas(), 0, Curs, Max, 0, Width);
    int Min = 0;
    Doc.WidthRange(Bmp->Canvas(), Min, Max);
    Doc.SetScroll(Height / 2);
    Doc.PaintDocument(Bmp->Canvas(), TRect(0, 0, 64, 64));
    for (int Y = 0; Y < 64; Y += 7) {
      TUrlTarget* Url = nullptr;
      int Fc = 0;
      if (Doc.LinkAt(Y, Y, Url, Fc)) delete Url;
      Doc.PositionAt(Y * 3, Y);
    }
    Doc.ClearHover();
  }
  TFrameSource Src;
  Src.Kind = 1;
  Src.Buffer = Text.data();
  Src.Length = Text.size();
  try {
    if (IsFramesetDocument(Src)) {
      NullFrames Frames;
      ParseFrameDocument(&Frames, nullptr, Src);
    }
  } catch (const Exception&) {
  }
  return 0;
}
