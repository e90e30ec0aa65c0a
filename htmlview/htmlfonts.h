#pragma once
// Fonts built from style properties on the platform's fonts.

#include <array>

#include "htmlview/styleun.h"
#include "platform/gui/graphics.h"

class TMyFont : public TFont {
 public:
  int32_t bgColor = Transparent;
  // Character-set values kept with the font for the text drawing of far-east sets.
  std::array<int, 8> CharSets{};
  void Assign(const TMyFont& Source);
  void Assign(const TFont& Source) { TFont::Assign(Source); }
};

// A new font with the attributes of Info.
TMyFont* FontFromInfo(const ThtFontInfo& Info);
// Lets FirstAvailableFont consult the platform's installed families (and its substituted
// Windows names).
void UseInstalledFonts();
