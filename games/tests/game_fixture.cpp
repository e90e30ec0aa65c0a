#include "games/tests/game_fixture.h"

#include <filesystem>
#include <fstream>
#include <memory>

#include "dx/dib.h"
#include "dx/dximagelist.h"
#include "platform/core/fileutils.h"
#include "tutor/core/tests/install_fixture.h"
#include "tutor/tests/test_archive.h"

std::string BmpBytes(int W, int H, uint32_t Colour) { return MakeTestBmp(W, H, Colour, false); }

std::string DxgBytes(const std::vector<TTestPicture>& Pictures) {
  TPictureCollection Items(nullptr);
  for (const TTestPicture& P : Pictures) {
    auto D = std::make_unique<TDIB>();
    D->SetSize(P.W * P.Patterns, P.H, 24);
    for (int Y = 0; Y < P.H; ++Y)
      for (int X = 0; X < P.W * P.Patterns; ++X) D->SetPixels(X, Y, P.Colour);
    TPictureCollectionItem* It = Items.Add();
    It->SetName(P.Name);
    It->Picture()->SetGraphic(std::move(D));
    It->SetPatternWidth(P.W);
    It->SetPatternHeight(P.H);
  }
  TMemoryStream S;
  Items.SaveToStream(&S);
  return std::string(reinterpret_cast<const char*>(S.Memory()), static_cast<size_t>(S.Size()));
}

std::string WorkedLevels() {
  return "Speed=100,60,80\r\nSpeedDelta=0,10,25\r\nInterval=1000,1600,1300\r\nIntervalDelta=0,-130,-140\r\n"
         "LevelCount=2,20,25\r\nLevelDelta=0,15,20\r\nBombsMax=1,4,6\r\nBombScore1=100,100,100\r\n"
         "BombScore2=50,50,50\r\nLevelScore=10,20,30\r\nErrorScore=20,30,40\r\nMaxTime=0,300,300\r\n";
}

std::string TownArchive(const std::string& Name, const std::string& Ground, const std::string& Layout,
                        const std::vector<TTestBuilding>& Buildings) {
  std::vector<TTestMember> M;
  M.emplace_back("info.txt", "name=" + Name + "\r\nGround=" + Ground + "\r\n");
  M.emplace_back("town.ini", Layout);
  M.emplace_back("background.bmp", BmpBytes(800, 520, 0x608040));
  for (const TTestBuilding& B : Buildings) M.emplace_back(B.Member, BmpBytes(B.W, B.H, B.Colour));
  return MakeArchive(M, false);
}

std::string WorkedTown(const std::string& Name) {
  return TownArchive(Name, "500", "#,2\r\n@,c0,100,50\r\nb0.bmp,100,50\r\n@,c1,100,50\r\nb1.bmp,100,50\r\n",
                     {{"b0.bmp", 400, 100, 0x3030C0}, {"b1.bmp", 400, 100, 0xC03030}});
}

void WriteFileBytes(const std::string& Path, const std::string& Bytes) {
  ForceDirectories(ExtractFileDir(Path));
  std::ofstream F(ToOsPath(Path), std::ios::binary);
  F << Bytes;
}

std::string WaveBytes(int Samples) {
  auto U32 = [](uint32_t V) { return std::string{char(V), char(V >> 8), char(V >> 16), char(V >> 24)}; };
  auto U16 = [](uint32_t V) { return std::string{char(V), char(V >> 8)}; };
  const std::string Fmt = U16(1) + U16(1) + U32(22050) + U32(22050) + U16(1) + U16(8);
  std::string Data(static_cast<size_t>(Samples), '\x80');
  for (size_t I = 0; I < Data.size(); I += 8) Data[I] = '\xC0';
  const std::string Body = "WAVEfmt " + U32(static_cast<uint32_t>(Fmt.size())) + Fmt + "data" +
                           U32(static_cast<uint32_t>(Data.size())) + Data;
  return "RIFF" + U32(static_cast<uint32_t>(Body.size())) + Body;
}

void WriteBomberContent(const std::string& Folder, const TBomberContent& C) {
  std::vector<TTestMember> Bomber;
  Bomber.emplace_back("config.ini", C.Config);
  Bomber.emplace_back("levels.ini", C.Levels);
  std::vector<TTestPicture> Bombs;
  for (const std::string& L : C.Letters) Bombs.push_back({L, 20, 20, 0x20C0E0, 2});
  if (C.Bombs) Bomber.emplace_back("BOMBS.DXG", DxgBytes(Bombs));
  Bomber.emplace_back("BOMBEXPLOSION.DXG", DxgBytes({{"Explosion", 30, 30, 0x2080F0, 4}}));
  Bomber.emplace_back("MIDEXPLOSION.DXG", DxgBytes(C.Mid));
  Bomber.emplace_back("BIGEXPLOSION.DXG",
                      DxgBytes({{"g0", 120, 90, 0x10A0FF}, {"g1", 120, 90, 0x1070FF}, {"g2", 120, 90, 0x1040FF}}));
  WriteFileBytes(Folder + "bomber/bomber.zlb", MakeArchive(Bomber, false));
  std::vector<TTestMember> Ui;
  Ui.emplace_back("panel.bmp", BmpBytes(800, 80, 0x505050));
  for (const char* B : {"pauza", "koniec"})
    for (const char* S : {"zga", "zap", "zap-in"})
      Ui.emplace_back(std::string("button-") + B + "-" + S + ".bmp", BmpBytes(120, 26, 0x808080));
  WriteFileBytes(Folder + "bomber/interface.zlb", MakeArchive(Ui, false));
  if (C.Sounds) {
    std::vector<TTestMember> Sounds;
    for (const char* W : {"exp0.wav", "exp1.wav", "exp2.wav", "error0.wav"}) Sounds.emplace_back(W, WaveBytes());
    WriteFileBytes(Folder + "bomber/sound.zlb", MakeArchive(Sounds, false));
  } else {
    std::filesystem::remove(ToOsPath(Folder + "bomber/sound.zlb"));
  }
  for (const auto& [Name, Bytes] : C.Towns) WriteFileBytes(Folder + "bomber/towns/" + Name, Bytes);
}
