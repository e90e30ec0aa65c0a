#include "htmlview/core_wishlist.h"

#include <iconv.h>

#include "platform/core/cp1250.h"

std::string UnicodeToCodePage(uint32_t Code, int CodePage) {
  if (Code < 128) return std::string(1, static_cast<char>(Code));
  if (CodePage == 1250 || CodePage == 0) {
    unsigned char B;
    if (UnicodeToCp1250(static_cast<char32_t>(Code), B)) return std::string(1, static_cast<char>(B));
    return "?";
  }
  // Code page 1 is the OEM code page, which for a Polish system is 852.
  std::string Name = "CP" + std::to_string(CodePage == 1 ? 852 : CodePage);
  iconv_t Cd = iconv_open(Name.c_str(), "UTF-32LE");
  if (Cd == reinterpret_cast<iconv_t>(-1)) return "?";
  char In[4] = {static_cast<char>(Code & 0xFF), static_cast<char>((Code >> 8) & 0xFF),
                static_cast<char>((Code >> 16) & 0xFF), static_cast<char>(Code >> 24)};
  char Out[8];
  char* InP = In;
  char* OutP = Out;
  size_t InLeft = 4, OutLeft = sizeof Out;
  size_t R = iconv(Cd, &InP, &InLeft, &OutP, &OutLeft);
  iconv_close(Cd);
  size_t N = sizeof Out - OutLeft;
  if (R == static_cast<size_t>(-1) || N == 0) return "?";
  return std::string(Out, N < 2 ? N : 2);
}
