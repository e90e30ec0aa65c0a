// Content for the games' tests: bomber archives, towns and picture collections built in a
// throw-away installation folder, with the archive writer of the reader's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A picture of a collection: a grid of Patterns cells of W x H, each filled with Colour
// (0xBBGGRR; 0 is the transparent black).
struct TTestPicture {
  std::string Name;
  int W = 20, H = 20;
  uint32_t Colour = 0x2060E0;
  int Patterns = 1;  // cells side by side
};

// The .DXG bytes of a collection of those pictures.
std::string DxgBytes(const std::vector<TTestPicture>& Pictures);
// A 24-bit BMP of one colour.
std::string BmpBytes(int W, int H, uint32_t Colour);

// levels.ini of the worked game: difficulty 1 is the one the scenarios play.
std::string WorkedLevels();

struct TTestBuilding {
  std::string Member;
  int W = 400, H = 100;
  uint32_t Colour = 0x4080C0;
};

// A town archive: info.txt (name, Ground), town.ini as given, background.bmp of 800 x 520 and the
// buildings' bitmaps.
std::string TownArchive(const std::string& Name, const std::string& Ground, const std::string& Layout,
                        const std::vector<TTestBuilding>& Buildings);
// The two-column town of the worked game: columns 400 wide, hit line 150, one building each.
std::string WorkedTown(const std::string& Name = "Wioska");

// Writes bomber/bomber.zlb (config.ini, levels.ini, the four collections), bomber/interface.zlb,
// bomber/sound.zlb and the given towns (file name, bytes) into Folder (with a trailing '/').
struct TBomberContent {
  std::string Levels = WorkedLevels();
  std::string Config = "TownLibMask=bomber\\towns\\*.zlb\r\nTownInfoFile=info.txt\r\nDefTown=wioska.zlb\r\n";
  std::vector<std::string> Letters = {"a", "s", "d", "f", "j", "k", "l", ";", "e"};
  bool Bombs = true;
  bool Sounds = true;  // bomber/sound.zlb with its four waves
  std::vector<TTestPicture> Mid = {{"m0", 60, 40, 0x30A0F0}, {"m1", 60, 40, 0x3070F0}, {"m2", 60, 40, 0x3040F0}};
  std::vector<std::pair<std::string, std::string>> Towns = {{"wioska.zlb", WorkedTown()}};
};
void WriteBomberContent(const std::string& Folder, const TBomberContent& Content);
void WriteFileBytes(const std::string& Path, const std::string& Bytes);
// A short 8-bit mono PCM WAVE.
std::string WaveBytes(int Samples = 200);
