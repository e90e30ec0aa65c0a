#include "tutor/app/Keyboard.h"

#include <algorithm>

#include "tutor/ZLibTools.h"

TKeyboard::TKeyboard(TComponent* AOwner) : TImage32(AOwner) {}

bool TKeyboard::LoadKeyboard(TZLBArchive* Archive, const std::string& ImageName, const std::string& KeysFile,
                             const std::string& CharsFile) {
  Current = -1;
  Keys.clear();
  Chars.clear();
  bool Ok = true;
  TBitmap32 Picture;
  if (!Archive || !ReadArchiveMember(ImageName, Archive, [&Picture](TStream* S) { Picture.LoadFromStream(S); })) {
    Picture.SetSize(0, 0);
    Ok = false;
  }
  SetBitmap(&Picture);
  TStringList Lines;
  if (Archive && LoadStringsFromArchive(&Lines, KeysFile, Archive))
    Keys = ReadKeysFile(Lines);
  else
    Ok = false;
  Lines.Clear();
  if (Archive && LoadStringsFromArchive(&Lines, CharsFile, Archive))
    Chars = ReadCharsFile(Lines, Keys);
  else
    Ok = false;
  Changed();
  return Ok;
}

void TKeyboard::HighlightChar(char C) {
  for (std::size_t i = 0; i < Chars.size(); ++i) {
    if (Chars[i].Char != C) continue;
    if (Current != static_cast<int>(i)) {
      Current = static_cast<int>(i);
      Changed();
    }
    return;
  }
}

void TKeyboard::Paint() {
  TImage32::Paint();
  if (Current < 0 || Current >= static_cast<int>(Chars.size())) return;
  TBitmap32* Buf = Buffer();
  if (!Buf || Buf->Empty()) return;
  // Key rectangles are in picture pixels: moved to where the picture lands, clipped to the
  // picture and to the buffer, so that a rectangle of a wrong size tints nothing outside.
  const TRect Pic = GetBitmapRect();
  const int ClipL = std::max(0, Pic.Left), ClipT = std::max(0, Pic.Top);
  const int ClipR = std::min(Buf->Width(), Pic.Right), ClipB = std::min(Buf->Height(), Pic.Bottom);
  const TCharDef& Def = Chars[static_cast<std::size_t>(Current)];
  for (int K : {Def.Key1, Def.Key2}) {
    if (K < 0 || K >= static_cast<int>(Keys.size())) continue;
    for (const TKeyRect& R : Keys[static_cast<std::size_t>(K)].Rects) {
      if (R.Empty()) continue;
      const int L = std::max(ClipL, Pic.Left + R.Left), T = std::max(ClipT, Pic.Top + R.Top);
      const int Rt = std::min(ClipR, Pic.Left + R.Right), B = std::min(ClipB, Pic.Top + R.Bottom);
      if (Rt <= L || B <= T) continue;
      Buf->BlendFillRect(L, T, Rt - 1, B - 1, HighlightColor);
    }
  }
}
