// Pictures, archives and forms for the skinned controls' tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gui/tests/gui_fixture.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/tests/test_archive.h"

// A W x H picture of Fill whose first KeyColumns columns have the colour Key (so its bottom-left
// pixel, and with it its transparent colour, is Key when KeyColumns > 0).
inline std::unique_ptr<TBitmap> MakePicture(int W, int H, TColor Fill, TColor Key = clLime, int KeyColumns = 0) {
  auto B = std::make_unique<TBitmap>();
  B->SetSize(W, H);
  B->Canvas()->Brush()->SetColor(Fill);
  B->Canvas()->FillRect(TRect(0, 0, W, H));
  if (KeyColumns > 0) {
    B->Canvas()->Brush()->SetColor(Key);
    B->Canvas()->FillRect(TRect(0, 0, KeyColumns, H));
  }
  return B;
}

inline std::string BmpBytes(const std::unique_ptr<TBitmap>& B) {
  const std::vector<uint8_t> Bytes = B->SaveToBytes();
  return std::string(Bytes.begin(), Bytes.end());
}

class SkinnedTest : public GuiTest {
 protected:
  // A form of a known colour, so that what shows through transparent pixels is recognisable.
  TForm* Form(int W = 200, int H = 120) {
    TForm* F = NewForm(W, H);
    F->SetColor(Background);
    return F;
  }
  // Writes an archive of the members and returns an archive component (owned by Owner) naming it.
  TZLBArchive* Archive(TComponent* Owner, const std::vector<TTestMember>& Members, const std::string& File) {
    auto* A = new TZLBArchive(Owner);
    A->SetArchiveName(Dir.Write(File, MakeArchive(Members, true)));
    return A;
  }
  TColor Shot(TForm* F, int X, int Y) {
    TBitmap S;
    vxtest::Grab(F, &S);
    return S.PixelColor(X, Y);
  }

  static constexpr TColor Background = 0x303030;
  TTempDir Dir;
};
