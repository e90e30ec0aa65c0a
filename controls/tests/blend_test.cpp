#include <gtest/gtest.h>

#include <vector>

#include "controls/blend32.h"

namespace {

const TColor32 White = 0xFFFFFFFF, Black = 0xFF000000;

TEST(BlendTest, MixColorsAtTheTellingWeights) {
  struct {
    TColor32 X, Y;
    uint32_t W;
    TColor32 Mixed;  // MixColors
    TColor32 Into;   // MixColorInto on Y
  } Cases[] = {
      {White, Black, 0, Black, Black},
      {White, Black, 1, 0xFE010101, 0x00010101},
      {White, Black, 127, 0xFF7F7F7F, 0x007F7F7F},
      {White, Black, 128, 0xFF808080, 0x00808080},
      {White, Black, 254, 0xFEFDFDFD, 0x00FDFDFD},
      {White, Black, 255, White, White},
      {0x80402010, 0x10204080, 128, 0x48303048, 0x00303048},
      {0x80402010, 0x10204080, 0, 0x10204080, 0x10204080},
      {0x80402010, 0x10204080, 255, 0x80402010, 0x80402010},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(MixColors(C.X, C.Y, C.W), C.Mixed) << std::hex << C.X << " " << C.Y << " w " << std::dec << C.W;
    TColor32 Y = C.Y;
    MixColorInto(C.X, Y, C.W);
    EXPECT_EQ(Y, C.Into) << "w " << C.W;
  }
}

TEST(BlendTest, BlendByAlphaAndMasterAlpha) {
  struct {
    TColor32 F, B;
    TColor32 Blended;  // BlendColor
  } Plain[] = {
      {0x00FFFFFF, Black, Black},
      {0x80FFFFFF, Black, 0xBF808080},
      {0x01FFFFFF, Black, 0xFD010101},
      {0xFF123456, Black, 0xFF123456},
  };
  for (const auto& C : Plain) {
    EXPECT_EQ(BlendColor(C.F, C.B), C.Blended);
    TColor32 B = C.B;
    BlendColorInto(C.F, B);
    EXPECT_EQ(B, C.Blended);
  }
  struct {
    TColor32 F, B;
    uint32_t M;
    TColor32 Blended;  // BlendColorMaster
  } Master[] = {
      {0x80FFFFFF, Black, 0, Black},          // master 0 leaves B
      {0x80FFFFFF, Black, 255, 0x007F7F7F},   // A' = 127
      {0x80FFFFFF, Black, 128, 0x00404040},   // A' = 64
      {0x01FFFFFF, Black, 255, Black},        // A' = 0
      {0x00FFFFFF, 0x12345678, 255, 0x12345678},
      {White, Black, 255, 0x00FDFDFD},        // A' = 254: never a plain copy
      {White, 0xFF204060, 1, 0xFF204060},     // A' = 0
  };
  for (const auto& C : Master) {
    EXPECT_EQ(BlendColorMaster(C.F, C.B, C.M), C.Blended) << std::hex << C.F << " m " << std::dec << C.M;
    TColor32 B = C.B;
    BlendColorIntoMaster(C.F, B, C.M);
    EXPECT_EQ(B, C.Blended);
  }
}

TEST(BlendTest, RowsBlendEachPixelAndIgnoreNonPositiveCounts) {
  const std::vector<TColor32> Src = {0x80FFFFFF, 0x00FFFFFF, White, 0x01FFFFFF};
  std::vector<TColor32> Dst(4, Black);
  BlendRow(Src.data(), Dst.data(), 0);
  BlendRow(Src.data(), Dst.data(), -3);
  EXPECT_EQ(Dst, std::vector<TColor32>(4, Black));
  BlendRow(Src.data(), Dst.data(), 3);
  EXPECT_EQ(Dst, (std::vector<TColor32>{0xBF808080, Black, White, Black}));
  std::vector<TColor32> M(4, Black);
  BlendRowMaster(Src.data(), M.data(), 4, 128);
  EXPECT_EQ(M, (std::vector<TColor32>{0x00404040, Black, 0x007F7F7F, Black}));
}

TEST(LowLevelTest, FillClipConstrainAndColourConversion) {
  std::vector<TColor32> Row(5, 0);
  FillLongword(Row.data() + 1, 3, 7);
  FillLongword(Row.data(), -1, 9);
  EXPECT_EQ(Row, (std::vector<TColor32>{0, 7, 7, 7, 0}));

  struct {
    int A, B, Size;
    bool Ok;
    int CA, CB;
  } Clips[] = {{3, 8, 10, true, 3, 8}, {8, 3, 10, true, 3, 8}, {-4, 20, 10, true, 0, 9},
               {12, 15, 10, false, 12, 9}, {-5, -1, 10, false, 0, -1}, {0, 0, 0, false, 0, -1}};
  for (const auto& C : Clips) {
    int A = C.A, B = C.B;
    EXPECT_EQ(ClipRange(A, B, C.Size), C.Ok);
    if (C.Ok) {
      EXPECT_EQ(A, C.CA);
      EXPECT_EQ(B, C.CB);
    }
  }
  EXPECT_EQ(Constrain(-3, 0, 9), 0);
  EXPECT_EQ(Constrain(4, 0, 9), 4);
  EXPECT_EQ(Constrain(12, 0, 9), 9);
  EXPECT_EQ(RGBToColor32(0x00332211), 0xFF112233u);
}

}  // namespace
