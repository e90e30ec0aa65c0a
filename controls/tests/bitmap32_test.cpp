#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "controls/bitmaps32.h"
#include "platform/core/sysutils.h"

namespace {

// Records the notifications of a bitmap as a string of '<' (changing) and '>' (changed).
struct Recorder {
  std::string Log;
  void Attach(TBitmap32& B) {
    B.OnChanging = [this](TObject*) { Log += '<'; };
    B.OnChange = [this](TObject*) { Log += '>'; };
  }
};

TEST(Bitmap32Test, SetSizeNotifiesOnlyWhenTheSizeChanges) {
  TBitmap32 B;
  Recorder R;
  R.Attach(B);
  B.SetSize(4, 3);
  EXPECT_EQ(R.Log, "<>");
  EXPECT_EQ(B.Width(), 4);
  EXPECT_NE(B.Bits(), nullptr);
  B.SetSize(-5, 10);
  EXPECT_EQ(R.Log, "<><>");
  EXPECT_TRUE(B.Empty());
  EXPECT_EQ(B.Width(), 0);
  EXPECT_EQ(B.Height(), 0);
  EXPECT_EQ(B.Bits(), nullptr);
  B.SetSize(0, 0);
  B.SetSize(-1, -1);
  EXPECT_EQ(R.Log, "<><>");
  // Absurd sizes fail like a refused allocation and leave the bitmap empty.
  try {
    B.SetSize(1000000, 1000000);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Can't allocate the DIB handle");
  }
  EXPECT_TRUE(B.Empty());
}

TEST(Bitmap32Test, UpdatesSuppressNotificationAndMustPair) {
  TBitmap32 B;
  Recorder R;
  R.Attach(B);
  B.BeginUpdate();
  B.SetSize(2, 2);
  B.Clear(1);
  B.SetMasterAlpha(7);
  B.EndUpdate();
  EXPECT_EQ(R.Log, "");
  B.SetMasterAlpha(7);  // unchanged value: no notification
  B.SetMasterAlpha(8);
  B.SetDrawMode(dmBlend);
  B.SetStretchFilter(sfSpline);
  EXPECT_EQ(R.Log, "<><><>");
  try {
    B.EndUpdate();
    FAIL();
  } catch (const EAssertionFailed& E) {
    EXPECT_EQ(E.Message(), "Unpaired TThreadPersistent.EndUpdate");
  }
  B.Lock();
  B.Lock();
  EXPECT_EQ(B.LockCount(), 2);
  B.Unlock();
  B.Unlock();
  EXPECT_EQ(B.LockCount(), 0);
}

TEST(Bitmap32Test, FillRectClippedOrdersAndClips) {
  TBitmap32 B;
  B.SetSize(20, 20);
  B.Clear(0);
  B.FillRectClipped(10, 10, -3, 4, 0xFFAA0000);
  for (int Y = 0; Y < 20; ++Y)
    for (int X = 0; X < 20; ++X)
      EXPECT_EQ(B.Pixel(X, Y), (X <= 10 && Y >= 4 && Y <= 10) ? 0xFFAA0000u : 0u) << X << "," << Y;
  B.Clear(0);
  B.FillRectClipped(25, 0, 30, 5, 1);  // entirely outside
  B.FillRectUnclipped(-5, 18, 100, 100, 2);  // cut at the edges, never past them
  for (int Y = 0; Y < 20; ++Y)
    for (int X = 0; X < 20; ++X) EXPECT_EQ(B.Pixel(X, Y), Y >= 18 ? 2u : 0u);
}

TEST(Bitmap32Test, BlendFillRectMixesByTheColoursAlpha) {
  TBitmap32 B;
  B.SetSize(3, 2);
  const TColor32 Before[] = {0xFFFFFFFF, 0xFF000000, 0xFF204060};
  const TColor32 After[] = {0x007F7FBF, 0x00000040, 0x00102070};
  for (int X = 0; X < 3; ++X) {
    B.SetPixel(X, 0, Before[X]);
    B.SetPixel(X, 1, Before[X]);
  }
  B.BlendFillRect(0, 0, 2, 0, 0x80000080);  // the keyboard's key highlight
  for (int X = 0; X < 3; ++X) {
    EXPECT_EQ(B.Pixel(X, 0), After[X]) << X;
    EXPECT_EQ(B.Pixel(X, 1), Before[X]);
  }
  B.BlendFillRect(0, 1, 2, 1, 0xFF123456);  // opaque: a plain fill
  for (int X = 0; X < 3; ++X) EXPECT_EQ(B.Pixel(X, 1), 0xFF123456u);
  B.MakeOpaque();
  EXPECT_EQ(B.Pixel(0, 0), 0xFF7F7FBFu);
}

TEST(Bitmap32Test, DrawToUsesMasterAlphaModeAndFilter) {
  TBitmap32 Src, Dst;
  Src.SetSize(2, 2);
  Src.Clear(0xFFFFFFFF);
  Dst.SetSize(2, 2);
  Recorder R;
  R.Attach(Dst);
  struct {
    TDrawMode Mode;
    Byte Master;
    TColor32 Result;
  } Cases[] = {{dmOpaque, 0, 0xFFFFFFFF}, {dmBlend, 255, 0xFFFFFFFF}, {dmBlend, 128, 0x007F7F7F}, {dmBlend, 0, 0xFF000000}};
  for (const auto& C : Cases) {
    Dst.Clear(0xFF000000);
    Src.SetDrawMode(C.Mode);
    Src.SetMasterAlpha(C.Master);
    R.Log.clear();
    Src.DrawTo(&Dst, TRect(0, 0, 2, 2));
    EXPECT_EQ(R.Log, "<>");
    for (int Y = 0; Y < 2; ++Y)
      for (int X = 0; X < 2; ++X) EXPECT_EQ(Dst.Pixel(X, Y), C.Result) << C.Mode << " " << int(C.Master);
  }
  // Stretched with the linear filter.
  TBitmap32 Row, Wide;
  Row.SetSize(2, 1);
  Row.SetPixel(0, 0, 0xFF000000);
  Row.SetPixel(1, 0, 0xFFFFFFFF);
  Row.SetStretchFilter(sfLinear);
  Wide.SetSize(3, 1);
  Row.DrawTo(&Wide, TRect(0, 0, 3, 1));
  EXPECT_EQ(Wide.Pixel(1, 0), 0xFE7F7F7Fu);
  // Empty bitmaps draw nothing.
  TBitmap32 Empty;
  R.Log.clear();
  Empty.DrawTo(&Dst, TRect(0, 0, 2, 2));
  Src.DrawTo(&Empty, TRect(0, 0, 2, 2));
  EXPECT_EQ(R.Log, "");
}

TEST(Bitmap32Test, DataImageRoundTripsAndRefusesShortStreams) {
  TBitmap32 B;
  B.SetSize(3, 2);
  for (int I = 0; I < 6; ++I) B.Bits()[I] = 0x01020304u * (I + 1);
  TMemoryStream S;
  B.WriteData(&S);
  ASSERT_EQ(S.Size(), 8 + 24);
  const uint8_t Head[8] = {3, 0, 0, 0, 2, 0, 0, 0};
  EXPECT_EQ(std::memcmp(S.Memory(), Head, 8), 0);
  EXPECT_EQ(S.Memory()[8], 0x04);  // first pixel's blue byte first
  TBitmap32 C;
  S.SetPosition(0);
  C.ReadData(&S);
  ASSERT_EQ(C.Width(), 3);
  ASSERT_EQ(C.Height(), 2);
  EXPECT_EQ(std::memcmp(C.Bits(), B.Bits(), 24), 0);

  TMemoryStream Short;
  Short.WriteBuffer(S.Memory(), 20);
  Short.SetPosition(0);
  EXPECT_THROW(C.ReadData(&Short), EReadError);
  // Sizes promising far more than the stream holds are refused before anything is allocated.
  TMemoryStream Huge;
  const int32_t Sizes[2] = {100000, 100000};
  Huge.WriteBuffer(Sizes, 8);
  Huge.SetPosition(0);
  EXPECT_THROW(C.ReadData(&Huge), EReadError);

  TMemoryStream None;
  TBitmap32 E;
  E.WriteData(&None);
  EXPECT_EQ(None.Size(), 0);
}

TEST(Bitmap32Test, AssignCopiesSizeAndPixels) {
  TBitmap32 A, B;
  A.SetSize(2, 3);
  A.Clear(0x11223344);
  A.SetPixel(1, 2, 5);
  Recorder R;
  R.Attach(B);
  B.Assign(&A);
  EXPECT_EQ(R.Log, "<>");  // one notification for the whole assignment
  EXPECT_EQ(B.Width(), 2);
  EXPECT_EQ(B.Height(), 3);
  EXPECT_EQ(B.Pixel(1, 2), 5u);
  EXPECT_EQ(B.Pixel(0, 0), 0x11223344u);
  B.Assign(static_cast<const TBitmap32*>(nullptr));
  EXPECT_TRUE(B.Empty());
}

TEST(Bitmap32Test, StippleColoursWalkThePattern) {
  TBitmap32 B;
  B.SetStipplePattern({0xFFFFFFFF, 0xFF000000});
  B.SetStippleStep(0.5f);
  const TColor32 Want[] = {0xFFFFFFFF, 0xFF7F7F7F, 0xFF000000, 0xFF808080, 0xFFFFFFFF};
  for (TColor32 W : Want) EXPECT_EQ(B.NextStippleColor(), W);
  TBitmap32 NoPattern;
  EXPECT_EQ(NoPattern.NextStippleColor(), 0xFF000000u);

  // A frame of (1, 1)-(3, 3), given in reverse, touches exactly the eight border pixels.
  B.SetSize(5, 5);
  B.Clear(0);
  B.SetStipplePattern({0xFFFF0000});
  B.StippleFrameRect(3, 3, 1, 1);
  for (int Y = 0; Y < 5; ++Y)
    for (int X = 0; X < 5; ++X) {
      const bool Border = X >= 1 && X <= 3 && Y >= 1 && Y <= 3 && !(X == 2 && Y == 2);
      EXPECT_EQ(B.Pixel(X, Y), Border ? 0xFFFF0000u : 0u) << X << "," << Y;
    }
  // Lines are clipped to the bitmap.
  B.Clear(0);
  B.StippleHorzLine(-10, 0, 10);
  B.StippleVertLine(4, 100, -100);
  B.StippleHorzLine(0, 7, 3);
  int Set = 0;
  for (int I = 0; I < 25; ++I) Set += B.Bits()[I] != 0;
  EXPECT_EQ(Set, 5 + 5 - 1);
}

}  // namespace
