// bomber-town-check: checks town archives the way the game reads them, so that a town that would
// stop the program's start or could not be played never reaches an installation:
// info.txt with a name and a numeric Ground, a town.ini the game accepts, every building picture
// and background.bmp present, columns 800 pixels wide in all, and a background without pure black
// (the transparent colour; the display is not cleared between frames).
//
//   bomber-town-check TOWN.zlb...
#include <cstdio>
#include <memory>

#include "dx/dib.h"
#include "games/BomberTowns.h"
#include "tutor/ZLIBArchive.h"

namespace {

std::unique_ptr<TDIB> Picture(TZLBArchive& A, const std::string& Member) {
  auto D = std::make_unique<TDIB>();
  A.ExtractAndLoad(Member, [&](TStream* S) { D->LoadFromStream(S); });
  return D;
}

void Check(const std::string& File) {
  TZLBArchive A;
  A.OpenArchive(File);
  TStringList Info, Layout;
  A.ExtractToStrings(&Info, "info.txt");
  if (Info.Values("name").empty()) throw ETownError("info.txt has no name");
  StrToInt(Info.Values("Ground"));
  A.ExtractToStrings(&Layout, "town.ini");
  int Width = 0;
  for (const TTownLine& L : ParseTownLayout(Layout, File)) {
    if (L.Kind != TTownLine::kBuilding) continue;
    auto D = Picture(A, L.Member);
    if (L.BuildingNo == 0) Width += D->Width();
  }
  if (Width != 800) throw ETownError("the columns are " + std::to_string(Width) + " pixels wide, not 800");
  auto Bg = Picture(A, "background.bmp");
  for (int Y = 0; Y < Bg->Height(); ++Y)
    for (int X = 0; X < Bg->Width(); ++X)
      if ((Bg->Pixels(X, Y) & 0xFFFFFF) == 0)
        throw ETownError("background.bmp is pure black at " + std::to_string(X) + "," + std::to_string(Y));
  A.CloseArchive();
}

}  // namespace

int main(int argc, char** argv) {
  int Bad = 0;
  for (int I = 1; I < argc; ++I) {
    try {
      Check(argv[I]);
    } catch (const std::exception& E) {
      std::fprintf(stderr, "%s: %s\n", argv[I], E.what());
      ++Bad;
    }
  }
  return Bad ? 1 : 0;
}
