#include "games/tests/gallery_fixture.h"

#include "games/GalleryConfig.h"
#include "games/GalleryScene.h"
#include "platform/core/fileutils.h"
#include "platform/gui/testing.h"
#include "tutor/tests/test_archive.h"

namespace {

void Put32(std::string& S, uint32_t V) {
  for (int I = 0; I < 4; ++I) S.push_back(static_cast<char>((V >> (8 * I)) & 0xFF));
}
void Put16(std::string& S, uint32_t V) {
  for (int I = 0; I < 2; ++I) S.push_back(static_cast<char>((V >> (8 * I)) & 0xFF));
}

template <class F>
std::string Bmp24(int W, int H, F Colour) {
  const int Stride = (W * 3 + 3) & ~3;
  std::string S = "BM";
  Put32(S, static_cast<uint32_t>(54 + Stride * H));
  Put32(S, 0);
  Put32(S, 54);
  Put32(S, 40);
  Put32(S, static_cast<uint32_t>(W));
  Put32(S, static_cast<uint32_t>(H));
  Put16(S, 1);
  Put16(S, 24);
  for (int I = 0; I < 6; ++I) Put32(S, 0);
  for (int Y = H - 1; Y >= 0; --Y) {
    for (int X = 0; X < W; ++X) {
      const uint32_t C = Colour(X, Y);
      S.push_back(static_cast<char>((C >> 16) & 0xFF));
      S.push_back(static_cast<char>((C >> 8) & 0xFF));
      S.push_back(static_cast<char>(C & 0xFF));
    }
    S.append(static_cast<size_t>(Stride - W * 3), '\0');
  }
  return S;
}

std::string Leaf(const std::string& Name, const std::string& V) {
  return "<" + Name + " Value=\"" + V + "\">" + V + "</" + Name + ">";
}

}  // namespace

uint32_t GalleryPixel(int X, int Y) {
  // Red carries the column in steps of 8 (32 values), green the row in steps of 4 (64 values),
  // blue 0x80 so that no pixel is black or pure green.
  const uint32_t R = static_cast<uint32_t>((X / 23) % 32) << 3;
  const uint32_t G = static_cast<uint32_t>((Y / 8) % 64) << 2;
  return 0x800000 | (G << 8) | R;
}

std::string GalleryBmp(int W, int H) { return Bmp24(W, H, GalleryPixel); }

std::string GalleryXml(const std::vector<TGalleryLevelText>& Levels, int DefLevel, const std::string& DefTheme) {
  std::string S = "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\r\n<Gallery>\r\n <Params>\r\n  " +
                  Leaf("ThemeMask", "gallery\\themes\\*.zlb") + "\r\n  " + Leaf("TitlesFile", "titles.txt") +
                  "\r\n  " + Leaf("DefTheme", DefTheme) + "\r\n  " + Leaf("DefLevel", std::to_string(DefLevel)) +
                  "\r\n </Params>\r\n <Levels>\r\n";
  for (const TGalleryLevelText& L : Levels)
    S += "  <Level>" + Leaf("Name", L.Name) + Leaf("MaxTimePerChar", std::to_string(L.MaxTimePerChar)) +
         Leaf("ColCnt", std::to_string(L.ColCnt)) + Leaf("RowCnt", std::to_string(L.RowCnt)) +
         Leaf("GameTime", std::to_string(L.GameTime)) + Leaf("WordsCnt", std::to_string(L.WordsCnt)) + "</Level>\r\n";
  return S + " </Levels>\r\n</Gallery>\r\n";
}

void WriteGalleryContent(const std::string& Folder, const std::string& Xml, const TGalleryContentOptions& Options) {
  WriteFileBytes(Folder + "gallery/gallery.xml", Xml);
  std::vector<TTestMember> Ui;
  // The frame: dark grey with the green window over the picture area.
  Ui.emplace_back("obrazytlo.bmp", Bmp24(800, 600, [](int X, int Y) -> uint32_t {
                    return X >= 36 && X < 764 && Y >= 38 && Y < 524 ? 0x00FF00 : 0x404040;
                  }));
  Ui.emplace_back("bar.bmp", Bmp24(Options.BarWidth, 20, [](int, int) -> uint32_t { return 0x806040; }));
  for (const char* B : {"pauza", "koniec", "nowy", "powtorz"})
    for (const char* S : {"zga", "zap", "zap-in"})
      Ui.emplace_back(std::string("button-") + B + "-" + S + ".bmp", BmpBytes(120, 26, 0x808080));
  WriteFileBytes(Folder + "gallery/interface.zlb", MakeArchive(Ui, false));
  std::vector<TTestMember> Theme;
  Theme.emplace_back("titles.txt", Options.Titles);
  Theme.emplace_back("p1.bmp", GalleryBmp(728, 486));
  WriteFileBytes(Folder + "gallery/themes/test.zlb", MakeArchive(Theme, false));
}

void GallerySceneTest::SetUp() {
  GameSceneTest::SetUp();
  FreeGalleryConfig();
  GalleryWordSource = [this](TStrings* List, const std::string&, const std::string&, int) {
    for (const std::string& W : WordList) List->Add(W);
    return List->Count();
  };
  ShowGalleryMessage = [this](const std::string& T) { Errors.push_back(T); };
}

void GallerySceneTest::TearDown() {
  vxtest::Pump();
  delete GalleryScene;
  GalleryScene = nullptr;
  FreeGalleryConfig();
  GalleryWordSource = nullptr;
  ShowGalleryMessage = nullptr;
  GameSceneTest::TearDown();
}

TGalleryScene* GallerySceneTest::Start(int Cols, int Rows, int MaxTimePerChar, const TGalleryContentOptions& Options) {
  WriteGalleryContent(Inst->Path(), GalleryXml({{"poziom", MaxTimePerChar, Cols, Rows, 300, 60}}), Options);
  LoadGalleryConfig();
  LoadGalleryThemes();
  TGalleryStart S;
  S.LevelIndex = 0;
  S.ThemeFile = GalleryThemes.empty() ? std::string() : GalleryThemes[0].FileName;
  S.AllowedLetters = "asdfjkl;";
  S.PreferredLetters = "as";
  S.TimerHost = &TimerHost;
  S.RealClock = false;
  if (!StartGalleryGame(S)) return nullptr;
  return GalleryScene;
}

void GallerySceneTest::ClockTicks(int N) {
  for (int I = 0; I < N; ++I) {
    Tick += 100;
    if (GalleryScene) GalleryScene->ClockTick();
  }
}

void GallerySceneTest::Type(const std::string& Text) { vxtest::TypeText(Host.DX, Text); }
void GallerySceneTest::Press(uint16_t Vk) { vxtest::KeyStroke(Host.DX, Vk); }

std::vector<std::string> GallerySceneTest::GalleryRows() const { return Inst->Rows("gallery", "ID_STUDENT;SCORE"); }
