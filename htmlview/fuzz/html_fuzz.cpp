// Feeds arbitrary bytes to the HTML tokenizer (both token readers) and to the style-sheet readers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "htmlview/readhtml.h"
#include "htmlview/stylepars.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  for (int Mode = 0; Mode < 3; ++Mode) {
    THtmlTokenizer T;
    TIDNameList Ids;
    T.IDNameList = &Ids;
    T.KeepWhiteSpace = Mode == 1;
    T.CommentsEnabled = Mode != 2;
    if (Mode == 0)
      T.OnInclude = [](const std::string&, const std::vector<std::string>&, std::string& Buffer) {
        Buffer = "<b>&amp;</b>";
      };
    try {
      T.Start(Text);
      // Every token takes at least one byte, so the input bounds the loop.
      for (size_t I = 0; I <= Size + 64; ++I) {
        if (Mode == 2)
          T.GetTextAreaToken();
        else
          T.GetToken();
        if (T.Sy == EofSy) break;
        if (T.Sy == StyleSy) {
          TStyleList Styles;
          char Ch = T.Ch;
          ReadStyleSheet(Styles, Ch, [&T]() { T.ReadChar(); return T.Ch; }, "ab://x/");
          T.GetCh();
        }
      }
    } catch (const EParseError&) {
    }
  }
  TStyleList Styles;
  size_t P = 0;
  char Ch = Size ? Text[P++] : EofChar;
  ReadStyleSheet(Styles, Ch, [&]() -> char { return P < Size ? Text[P++] : EofChar; }, "dir/");
  TProperties Props;
  ParseStyleAttribute(Props, Text);
  return 0;
}
