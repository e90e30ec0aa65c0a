// Gallery content for the tests: gallery.xml, the interface archive (a frame with the green
// picture window, the title bar, the twelve button pictures) and theme archives whose pictures
// encode each pixel's position in its colour, so a test can tell which part of a picture shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "games/tests/scene_fixture.h"

class TGalleryScene;

// A 24-bit BMP of W x H whose pixel (x, y) has the colour GalleryPixel(x, y).
std::string GalleryBmp(int W, int H);
// 0xBBGGRR; exact in 16-bit 5-6-5 (low bits zero), never black or pure green.
uint32_t GalleryPixel(int X, int Y);

struct TGalleryLevelText {
  std::string Name;
  int MaxTimePerChar, ColCnt, RowCnt, GameTime, WordsCnt;
};
// gallery.xml with the levels (every leaf as <X Value="v">v</X>) under Gallery/Levels.
std::string GalleryXml(const std::vector<TGalleryLevelText>& Levels, int DefLevel = 0,
                       const std::string& DefTheme = "test.zlb");

// Writes gallery/gallery.xml, gallery/interface.zlb and gallery/themes/test.zlb (one picture of
// 728 x 486, "p1.bmp=Obraz pierwszy") into Folder.
struct TGalleryContentOptions {
  int BarWidth = 30;  // the title bar's three pieces side by side
  std::string Titles = "#ThemeName=Pr\xF3" "ba\r\np1.bmp=Obraz pierwszy\r\n";
};
void WriteGalleryContent(const std::string& Folder, const std::string& Xml,
                         const TGalleryContentOptions& Options = TGalleryContentOptions());

class GallerySceneTest : public GameSceneTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Installs the content with one level and starts a game with a manual clock.
  TGalleryScene* Start(int Cols, int Rows, int MaxTimePerChar = 1000,
                       const TGalleryContentOptions& Options = TGalleryContentOptions());
  // One clock tick, the clock's 100 ms passing on the injected tick source.
  void ClockTicks(int N);
  void Type(const std::string& Text);
  void Press(uint16_t Vk);
  std::vector<std::string> GalleryRows() const;
  std::vector<std::string> WordList = std::vector<std::string>(30, "as");
};
