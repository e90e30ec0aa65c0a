#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "htmlview/gifimage.h"
#include "htmlview/tests/gif_builder.h"
#include "platform/core/classes.h"

namespace {

using gifbuild::Frame;

const uint32_t Black = 0xFF000000, Red = 0xFFFF0000, Green = 0xFF00FF00, Blue = 0xFF0000FF;
const uint32_t Pal[4] = {Black, Red, Green, Blue};

std::unique_ptr<TGIFImage> Decode(const std::vector<uint8_t>& Data, bool* NonAnimated = nullptr) {
  bool N = false;
  auto G = CreateGifFromBytes(Data.data(), Data.size(), N);
  if (NonAnimated) *NonAnimated = N;
  return G;
}

std::vector<uint8_t> Pattern(int W, int H, int Colours) {
  std::vector<uint8_t> P(static_cast<size_t>(W * H));
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) P[static_cast<size_t>(Y * W + X)] = static_cast<uint8_t>((X * 7 + Y * 3 + (X * Y) % 5) % Colours);
  return P;
}

void ExpectCanvas(const TGIFImage& G, const std::vector<uint8_t>& Indices, const std::string& What) {
  ASSERT_EQ(G.Canvas().Pixels.size(), Indices.size()) << What;
  for (size_t I = 0; I < Indices.size(); ++I)
    ASSERT_EQ(G.Canvas().Pixels[I], Pal[Indices[I]]) << What << " pixel " << I;
}

TEST(Gif, SingleFrameAndInterlacedDecodeToTheirPixels) {
  for (int H : {1, 2, 3, 4, 5, 8, 9, 17}) {
    for (bool Interlaced : {false, true}) {
      Frame F;
      F.Width = 6;
      F.Height = H;
      F.Pixels = Pattern(6, H, 4);
      F.Interlaced = Interlaced;
      bool NonAnimated = false;
      auto G = Decode(gifbuild::Build(6, H, gifbuild::Palette4(), {F}), &NonAnimated);
      ASSERT_TRUE(G) << H;
      EXPECT_TRUE(NonAnimated);
      EXPECT_FALSE(G->IsAnimated);
      EXPECT_EQ(G->FrameCount(), 1);
      EXPECT_EQ(G->LoopCount, 1);
      EXPECT_EQ(G->ColorBits, 2);
      ExpectCanvas(*G, F.Pixels, "height " + std::to_string(H) + (Interlaced ? " interlaced" : ""));
    }
  }
}

TEST(Gif, LargeFrameWithFullDictionary) {
  // 256 colours and little repetition make the code width grow to 12 bits and the dictionary refill.
  const int W = 300, H = 200;
  std::vector<uint8_t> Table(768);
  for (int I = 0; I < 256; ++I) Table[I * 3] = Table[I * 3 + 1] = Table[I * 3 + 2] = static_cast<uint8_t>(I);
  Frame F;
  F.Width = W;
  F.Height = H;
  F.Pixels.resize(W * H);
  uint32_t Seed = 12345;
  for (auto& P : F.Pixels) {
    Seed = Seed * 1103515245 + 12345;
    P = static_cast<uint8_t>((Seed >> 16) % 7 == 0 ? (Seed >> 8) & 0xFF : (&P - F.Pixels.data()) % 3);
  }
  auto G = Decode(gifbuild::Build(W, H, Table, {F}));
  ASSERT_TRUE(G);
  EXPECT_EQ(G->ColorBits, 8);
  for (size_t I = 0; I < F.Pixels.size(); ++I) {
    uint8_t V = F.Pixels[I];
    ASSERT_EQ(G->Canvas().Pixels[I], 0xFF000000u | (V << 16) | (V << 8) | V) << I;
  }
}

TEST(Gif, TransparentFramesGiveMasks) {
  Frame F;
  F.Width = 3;
  F.Height = 2;
  F.Pixels = {0, 1, 0, 2, 0, 3};
  F.TransparentIndex = 0;
  std::vector<uint8_t> Table = gifbuild::Palette4();
  Table[0] = 10;  // the transparent entry has a colour of its own
  Table[1] = 20;
  Table[2] = 30;
  auto G = Decode(gifbuild::Build(3, 2, Table, {F}));
  ASSERT_TRUE(G);
  EXPECT_TRUE(G->IsTransparent);
  const TgfFrame& Fr = *G->Frames(1);
  EXPECT_EQ(Fr.Mask.Bits, (std::vector<uint8_t>{1, 0, 1, 0, 1, 0}));
  EXPECT_EQ(Fr.Bitmap.Pixels, (std::vector<uint32_t>{Black, Red, Black, Green, Black, Blue}));
  EXPECT_EQ(Fr.TransparentRed, 10);
  EXPECT_EQ(G->CanvasMask().Bits, (std::vector<uint8_t>{1, 0, 1, 0, 1, 0}));
  const TPixelBuffer* B = G->GetBitmap();
  ASSERT_NE(B, nullptr);
  const uint32_t Back = 0xFF0A141E;
  EXPECT_EQ(B->Pixels, (std::vector<uint32_t>{Back, Red, Back, Green, Back, Blue}));
  ASSERT_NE(G->GetFirstMask(), nullptr);
}

class GifAnimation : public ::testing::Test {
 protected:
  // A 4x1 screen: frame 1 covers it red (disposal 1); frame 2 paints x=1..2 green with a transparent
  // pixel (disposal 2, or 5 that acts as 2); frame 3 paints x=0 blue (disposal 3).
  std::unique_ptr<TGIFImage> Make(int Loop, int Disposal2 = 2) {
    Frame A;
    A.Width = 4;
    A.Height = 1;
    A.Pixels = {1, 1, 1, 1};
    A.Control = true;
    A.DelayCs = 10;
    A.Disposal = 1;
    A.Comment = "first";
    Frame B;
    B.Left = 1;
    B.Width = 2;
    B.Height = 1;
    B.Pixels = {2, 0};
    B.TransparentIndex = 0;
    B.DelayCs = 20;
    B.Disposal = Disposal2;
    Frame C;
    C.Width = 1;
    C.Height = 1;
    C.Pixels = {3};
    C.Control = true;
    C.DelayCs = 0;
    C.Disposal = 3;
    return Decode(gifbuild::Build(4, 1, gifbuild::Palette4(), {A, B, C}, Loop));
  }
};

TEST_F(GifAnimation, FramesDelaysDisposalAndComments) {
  for (int Disposal2 : {2, 5}) {
    auto G = Make(0, Disposal2);
    ASSERT_TRUE(G);
    EXPECT_TRUE(G->IsAnimated);
    EXPECT_EQ(G->FrameCount(), 3);
    EXPECT_EQ(G->LoopCount, 0);
    EXPECT_EQ(G->Frames(1)->Delay, 100);
    EXPECT_EQ(G->Frames(2)->Delay, 200);
    EXPECT_EQ(G->Frames(2)->Disposal, 2);
    EXPECT_EQ(G->Frames(3)->Disposal, 3);
    EXPECT_EQ(G->Frames(1)->Comment, "first");
    EXPECT_EQ(G->Frames(2)->Comment, "");
    ExpectCanvas(*G, {1, 1, 1, 1}, "frame 1");
    G->SetCurrentFrame(2);
    ExpectCanvas(*G, {1, 2, 1, 1}, "frame 2 over frame 1");
    EXPECT_EQ(G->CanvasMask().Bits, (std::vector<uint8_t>{0, 0, 0, 0}));
    G->SetCurrentFrame(3);  // frame 2 restored to background first
    ExpectCanvas(*G, {3, 0, 0, 1}, "frame 3 after disposal 2");
    EXPECT_EQ(G->CanvasMask().Bits, (std::vector<uint8_t>{0, 1, 1, 0}));
    G->SetCurrentFrame(4);  // past the end: frame 1; frame 3 puts back what lay under it
    ExpectCanvas(*G, {1, 1, 1, 1}, "frame 1 again");
    G->SetCurrentFrame(0);  // before the start: the last frame
    EXPECT_EQ(G->CurrentFrame, 3);
  }
}

TEST_F(GifAnimation, TimerStepsAndLoopCounts) {
  auto G = Make(3);
  ASSERT_TRUE(G);
  EXPECT_EQ(G->LoopCount, 3);
  G->SetAnimate(true, 1000);
  EXPECT_EQ(G->CurrentInterval, 100);
  EXPECT_FALSE(G->AnimationStep(1099));
  EXPECT_FALSE(G->AnimationStep(1100));  // the first step only clears FirstStep
  EXPECT_EQ(G->CurrentFrame, 1);
  EXPECT_TRUE(G->AnimationStep(1200));
  EXPECT_EQ(G->CurrentFrame, 2);
  EXPECT_EQ(G->CurrentInterval, 200);
  EXPECT_FALSE(G->AnimationStep(1399));
  EXPECT_TRUE(G->AnimationStep(1400));
  EXPECT_EQ(G->CurrentFrame, 3);
  EXPECT_EQ(G->CurrentInterval, 1);  // a delay of 0 still waits a millisecond
  // Count the frames shown until the animation stops itself.
  int Shown = 0;
  uint32_t T = 1400;
  while (G->Animate() && Shown < 100) {
    T += 1000;
    if (G->AnimationStep(T)) ++Shown;
  }
  EXPECT_FALSE(G->Animate());
  EXPECT_EQ(Shown, 6);  // passes 2 and 3 of the three frames
  EXPECT_EQ(G->CurrentFrame, 3);

  G->SetSpeed(200);
  G->SetCurrentFrame(1);
  G->SetAnimate(true, 0);
  EXPECT_EQ(G->CurrentInterval, 50);
  G->SetSpeed(0);
  EXPECT_EQ(G->Speed, 1);
}

TEST_F(GifAnimation, WithoutLoopExtensionPlaysOnce) {
  auto G = Make(-1);
  ASSERT_TRUE(G);
  EXPECT_EQ(G->LoopCount, 1);
  G->SetAnimate(true, 0);
  int Shown = 0;
  for (uint32_t T = 1000; G->Animate() && T < 100000; T += 1000)
    if (G->AnimationStep(T)) ++Shown;
  EXPECT_EQ(Shown, 2);
  EXPECT_EQ(G->CurrentFrame, 3);
}

TEST_F(GifAnimation, ClonesAnimateIndependently) {
  auto G = Make(0);
  ASSERT_TRUE(G);
  G->SetCurrentFrame(2);
  auto C = G->Clone();
  EXPECT_TRUE(C->IsCopy);
  EXPECT_EQ(C->CurrentFrame, 1);
  ExpectCanvas(*C, {1, 1, 1, 1}, "clone");
  ExpectCanvas(*G, {1, 2, 1, 1}, "original");
}

TEST(Gif, BadAndHostileFiles) {
  Frame F;
  F.Width = 4;
  F.Height = 4;
  F.Pixels = Pattern(4, 4, 4);
  const std::vector<uint8_t> Good = gifbuild::Build(4, 4, gifbuild::Palette4(), {F});
  EXPECT_FALSE(Decode({'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_FALSE(Decode({'G', 'I', 'F'}));
  // Every truncation either fails or gives a picture of the frames read so far.
  for (size_t N = 0; N < Good.size(); ++N) {
    std::vector<uint8_t> Cut(Good.begin(), Good.begin() + static_cast<long>(N));
    auto G = Decode(Cut);
    if (G) {
      EXPECT_LE(G->FrameCount(), 1);
      EXPECT_EQ(G->Canvas().Pixels.size(), 16u);
    }
  }
  // A logical screen of 65535 x 65535 would need gigabytes.
  std::vector<uint8_t> Huge = Good;
  Huge[6] = Huge[7] = Huge[8] = Huge[9] = 0xFF;
  EXPECT_FALSE(Decode(Huge));
  // So would a frame of that size: the frame list ends before it.
  Frame Big = F;
  std::vector<uint8_t> HugeFrame = gifbuild::Build(4, 4, gifbuild::Palette4(), {F, Big});
  size_t Second = HugeFrame.size() - 1;
  while (HugeFrame[Second] != 0x2C || Second == 13) --Second;
  HugeFrame[Second + 5] = HugeFrame[Second + 6] = HugeFrame[Second + 7] = HugeFrame[Second + 8] = 0xFF;
  auto G = Decode(HugeFrame);
  ASSERT_TRUE(G);
  EXPECT_EQ(G->FrameCount(), 1);
  // A frame of width 0 is stepped over; the next frame is still read.
  Frame Zero = F;
  Zero.Width = 0;
  Zero.Pixels.clear();
  G = Decode(gifbuild::Build(4, 4, gifbuild::Palette4(), {Zero, F}));
  ASSERT_TRUE(G);
  EXPECT_EQ(G->FrameCount(), 1);
  ExpectCanvas(*G, F.Pixels, "after a zero-width frame");
  // The decoded pixels of all frames together are limited: later frames end the list.
  {
    const int64_t Saved = TGIFImage::TotalPixelLimit;
    TGIFImage::TotalPixelLimit = 40;
    auto Limited = Decode(gifbuild::Build(4, 4, gifbuild::Palette4(), {F, F, F, F}));
    TGIFImage::TotalPixelLimit = Saved;
    ASSERT_TRUE(Limited);
    EXPECT_EQ(Limited->FrameCount(), 2);
  }
  // Code sizes the tables cannot hold.
  for (uint8_t CodeSize : {0, 12, 200}) {
    std::vector<uint8_t> Bad = Good;
    Bad[13 + 12 + 10] = CodeSize;
    EXPECT_FALSE(Decode(Bad)) << int(CodeSize);
  }
}

TEST(Gif, GarbageImageDataNeverCrashes) {
  uint32_t Seed = 7;
  for (int Round = 0; Round < 300; ++Round) {
    std::vector<uint8_t> Data = {'G', 'I', 'F', '8', '9', 'a', 8, 0, 8, 0, 0x81, 0, 0};
    Data.resize(Data.size() + 12, 0x55);
    Data.insert(Data.end(), {0x2C, 0, 0, 0, 0, 8, 0, 8, 0, static_cast<uint8_t>(Round % 2 ? 0x40 : 0)});
    Data.push_back(static_cast<uint8_t>(2 + Round % 7));
    for (int B = 0; B < 3; ++B) {
      Data.push_back(255);
      for (int I = 0; I < 255; ++I) {
        Seed = Seed * 1664525 + 1013904223;
        Data.push_back(static_cast<uint8_t>(Seed >> 24));
      }
    }
    Data.push_back(0);
    Data.push_back(0x3B);
    auto G = Decode(Data);
    if (G) {
      EXPECT_EQ(G->Canvas().Pixels.size(), 64u);
    }
  }
}

TEST(Gif, ExtensionsAreSkippedAndFilesLoad) {
  Frame F;
  F.Width = 2;
  F.Height = 2;
  F.Pixels = {0, 1, 2, 3};
  std::vector<uint8_t> Data = gifbuild::Build(2, 2, gifbuild::Palette4(), {F}, -1, "87a");
  // A plain-text extension and a foreign application extension before the image.
  const std::vector<uint8_t> Extra = {0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 8, 8, 1, 0, 2, 'h', 'i', 0,
                                      0x21, 0xFF, 11, 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', '1', '.', '0',
                                      2, 9, 9, 0};
  Data.insert(Data.begin() + 13 + 12, Extra.begin(), Extra.end());
  auto Path = std::filesystem::temp_directory_path() / ("vx_gif_test_" + std::to_string(::getpid()) + ".gif");
  {
    std::ofstream Out(Path, std::ios::binary);
    Out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  }
  bool NonAnimated = false;
  auto G = CreateGifFromFile(Path.string(), NonAnimated);
  std::filesystem::remove(Path);
  ASSERT_TRUE(G);
  ExpectCanvas(*G, F.Pixels, "with extensions");
  EXPECT_FALSE(CreateGifFromFile("/nonexistent/x.gif", NonAnimated));
  TMemoryStream S;
  S.Write(Data.data(), static_cast<int64_t>(Data.size()));
  auto FromStream = CreateGifFromStream(&S, NonAnimated);
  ASSERT_TRUE(FromStream);
  ExpectCanvas(*FromStream, F.Pixels, "from a stream");
}

}  // namespace
