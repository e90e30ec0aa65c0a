#include "htmlview/htmlfonts.h"

#include <set>

void TMyFont::Assign(const TMyFont& Source) {
  bgColor = Source.bgColor;
  CharSets = Source.CharSets;
  TFont::Assign(Source);
}

TMyFont* FontFromInfo(const ThtFontInfo& Info) {
  auto* F = new TMyFont();
  F->SetName(Info.iName);
  F->SetSize(Info.iSize);
  F->SetStyle(static_cast<TFontStyles>(Info.iStyle & (fsBold | fsItalic | fsUnderline | fsStrikeOut)));
  F->bgColor = Info.ibgColor;
  F->SetColor(Info.iColor);
  F->SetCharset(Info.iCharSet);
  F->CharSets.fill(0);
  switch (F->Charset()) {
    case 128:
      F->CharSets[4] = -2;
      break;
    case 129:
    case 134:
      F->CharSets[5] = -2;
      F->CharSets[6] = -1;
      F->CharSets[7] = 2147483647;
      break;
    case 130:
    case 136:
      F->CharSets[4] = -2;
      F->CharSets[5] = -1;
      F->CharSets[6] = -1;
      F->CharSets[7] = 2147483647;
      break;
    default:
      break;
  }
  return F;
}

TMyFont* TProperties::GetFont() {
  if (!FFont) {
    ThtFontInfo Info;
    GetFontInfo(Info);
    FFont.reset(FontFromInfo(Info));
  }
  auto* Copy = new TMyFont();
  Copy->Assign(*FFont);
  return Copy;
}

void UseInstalledFonts() {
  auto Names = std::make_shared<std::set<std::string>>();
  for (const TFontFamilyInfo& F : EnumFontFamilies()) Names->insert(LowerCase(F.Name));
  FontAvailable = [Names](const std::string& Family) { return Names->count(LowerCase(Family)) > 0; };
}
