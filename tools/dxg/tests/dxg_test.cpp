#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "tools/dxg/dxg.h"

namespace {

struct DxgToolFixture : ::testing::Test {
  std::filesystem::path Dir = std::filesystem::temp_directory_path() / ("dxgtool-" + std::to_string(::getpid()));
  void SetUp() override { std::filesystem::create_directories(Dir); }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  std::string Path(const std::string& Name) const { return (Dir / Name).string(); }
  // A 24-bit BMP whose pixels encode their position.
  void Bmp(const std::string& Name, int W, int H, int Seed) {
    TDIB d;
    d.SetSize(W, H, 24);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) d.SetPixels(x, y, static_cast<uint32_t>((Seed << 16) | (x << 8) | y));
    d.SaveToFile(Path(Name));
  }
  void Text(const std::string& Name, const std::string& Body) { std::ofstream(Path(Name)) << Body; }
  static std::string Run(const std::string& Cmd, int& Status) {
    std::string out;
    FILE* p = popen((Cmd + " 2>&1").c_str(), "r");
    char buf[256];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    Status = p ? pclose(p) : -1;
    return out;
  }
};

}  // namespace

TEST_F(DxgToolFixture, WrittenFileLoadsIntoTheImageListWithItemsPatternsAndPixels) {
  Bmp("bg.bmp", 40, 30, 1);
  Bmp("bombs.bmp", 100, 20, 2);
  Bmp("boom.bmp", 64, 48, 3);
  Text("set.txt",
       "# name picture pw ph sw sh key sysmem\n"
       "background bg.bmp\n"
       "\n"
       "bombs\tbombs.bmp 30 20 5 0 clFuchsia\n"
       "explosion boom.bmp 16 16 0 0 0x00FF00 1\n"
       "opaque bg.bmp 10 10 0 0 none\n");
  int status;
  const std::string w = Run(std::string(DXG_WRITE_EXE) + " " + Path("set.txt") + " " + Path("set.dxg"), status);
  ASSERT_EQ(status, 0) << w;

  TDXImageList list(nullptr);
  list.Items()->LoadFromFile(Path("set.dxg"));
  struct Case {
    const char* Name;
    int Patterns, W, H, Seed;
    TColor Key;
    bool Transparent, SystemMemory;
  } cases[] = {
      {"background", 1, 40, 30, 1, 0, true, false},      {"bombs", 3, 100, 20, 2, clFuchsia, true, false},
      {"explosion", 12, 64, 48, 3, 0x00FF00, true, true}, {"opaque", 12, 40, 30, 1, 0, false, false},
  };
  ASSERT_EQ(list.Items()->Count(), 4);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TPictureCollectionItem* it = list.Items()->ItemByName(c.Name);
    EXPECT_EQ(it->PatternCount(), c.Patterns);
    EXPECT_EQ(it->TransparentColor(), c.Key);
    EXPECT_EQ(it->Transparent(), c.Transparent);
    EXPECT_EQ(it->SystemMemory(), c.SystemMemory);
    auto* dib = dynamic_cast<TDIB*>(it->Picture()->Graphic());
    ASSERT_NE(dib, nullptr);
    ASSERT_EQ(dib->Width(), c.W);
    ASSERT_EQ(dib->Height(), c.H);
    EXPECT_EQ(dib->Pixels(c.W - 1, 2), static_cast<uint32_t>((c.Seed << 16) | ((c.W - 1) << 8) | 2));
  }

  const std::string listed = Run(std::string(DXG_LIST_EXE) + " " + Path("set.dxg"), status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(listed,
            "background\t1\t40\t30\t0\nbombs\t3\t100\t20\t16711935\nexplosion\t12\t64\t48\t65280\n"
            "opaque\t12\t40\t30\t0\n");
}

TEST_F(DxgToolFixture, ErrorsExitNonZeroWithTheReason) {
  Bmp("a.bmp", 4, 4, 0);
  struct Case {
    const char* Manifest;
    const char* Expect;
  } cases[] = {
      {"a missing.bmp\n", "line 1: "},
      {"a a.bmp -3\n", "line 1: pattern width"},
      {"a a.bmp 1 1 0 0 clNoSuchColour\n", "unknown transparent colour"},
      {"# c\na\n", "line 2: expected 2 to 8 fields"},
  };
  for (const Case& c : cases) {
    Text("m.txt", c.Manifest);
    int status;
    const std::string out = Run(std::string(DXG_WRITE_EXE) + " " + Path("m.txt") + " " + Path("m.dxg"), status);
    EXPECT_NE(status, 0) << c.Manifest;
    EXPECT_NE(out.find(c.Expect), std::string::npos) << out;
  }
  Text("bad.dxg", "\xFF\x0A");
  int status;
  const std::string out = Run(std::string(DXG_LIST_EXE) + " " + Path("bad.dxg"), status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("Invalid stream format"), std::string::npos) << out;
}
