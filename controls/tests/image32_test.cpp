#include <gtest/gtest.h>

#include "controls/image32.h"
#include "platform/gui/tests/gui_fixture.h"

namespace {

TEST(CalcBitmapRectTest, ScaleModesAndAlignment) {
  struct Case {
    int BW, BH, CW, CH;
    double Scale;
    TScaleMode Mode;
    TBitmapAlign Align;
    TRect Expected;
  };
  const Case Cases[] = {
      {200, 100, 100, 100, 1, smResize, baTopLeft, TRect(0, 0, 100, 50)},
      {200, 100, 100, 100, 1, smResize, baCenter, TRect(0, 25, 100, 75)},
      {100, 200, 100, 100, 1, smResize, baCenter, TRect(25, 0, 75, 100)},
      {30, 30, 60, 60, 1, smResize, baTopLeft, TRect(0, 0, 60, 60)},  // a tie fits the height
      {20, 10, 60, 40, 1, smNormal, baTopLeft, TRect(0, 0, 20, 10)},
      {20, 10, 60, 40, 1, smNormal, baCenter, TRect(20, 15, 40, 25)},
      {20, 10, 61, 41, 1, smNormal, baCenter, TRect(20, 15, 40, 25)},
      {80, 60, 60, 40, 1, smNormal, baCenter, TRect(-10, -10, 70, 50)},  // towards zero
      {20, 10, 60, 40, 1, smStretch, baCenter, TRect(0, 0, 60, 40)},
      {5, 7, 60, 40, 0.5, smScale, baTopLeft, TRect(0, 0, 2, 4)},  // 2.5 -> 2, 3.5 -> 4
      {20, 10, 60, 40, 2, smScale, baTile, TRect(0, 0, 40, 20)},
      {0, 10, 60, 40, 1, smNormal, baTopLeft, TRect()},
      {20, 10, 0, 40, 1, smStretch, baTopLeft, TRect()},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(CalcBitmapRect(C.BW, C.BH, C.CW, C.CH, C.Scale, C.Mode, C.Align), C.Expected)
        << C.BW << "x" << C.BH << " in " << C.CW << "x" << C.CH << " mode " << C.Mode << " align " << C.Align;
}

// The plain master-alpha blend of one channel: F over B with the weight A' = (255 * M) >> 8.
uint32_t MasterChannel(uint32_t F, uint32_t B, uint32_t M) {
  const uint32_t W = (255 * M) >> 8;
  if (W == 0) return B;
  return ((F * W + 128) >> 8) + ((B * (255 - W) + 128) >> 8);
}

class Image32Test : public GuiTest {
 protected:
  // A black image of W x H on a form, showing a bitmap of one colour.
  TImage32* Image(TForm* F, int W, int H, TColor32 Fill, int BW, int BH) {
    auto* I = new TImage32(F);
    I->SetParent(F);
    I->SetBounds(10, 10, W, H);
    I->SetColor(clBlack);
    I->Bitmap()->SetSize(BW, BH);
    I->Bitmap()->Clear(Fill);
    return I;
  }
  TBitmapLayer32* Layer(TImage32* I, const TRect& R, TColor32 Fill) {
    auto* L = new TBitmapLayer32(I);
    L->SetParent(I);
    L->SetBoundsRect(R);
    L->Bitmap()->SetSize(R.Width(), R.Height());
    L->Bitmap()->Clear(Fill);
    return L;
  }
  TColor At(TForm* F, int X, int Y) {
    TBitmap S;
    vxtest::Grab(F, &S);
    return S.PixelColor(X, Y);
  }
};

TEST_F(Image32Test, BitmapDrawnByScaleModeWithBackgroundAround) {
  TForm* F = NewForm();
  TImage32* I = Image(F, 60, 40, 0xFFFF0000, 20, 10);
  I->SetBitmapAlign(baCenter);
  EXPECT_EQ(At(F, 10 + 30, 10 + 20), clRed);
  EXPECT_EQ(At(F, 10 + 20, 10 + 15), clRed);
  EXPECT_EQ(At(F, 10 + 19, 10 + 15), clBlack);
  EXPECT_EQ(At(F, 10 + 30, 10 + 14), clBlack);
  EXPECT_EQ(At(F, 10 + 40, 10 + 20), clBlack);
  EXPECT_EQ(At(F, 10 + 30, 10 + 25), clBlack);

  I->SetScaleMode(smStretch);
  EXPECT_EQ(At(F, 10 + 0, 10 + 0), clRed);
  EXPECT_EQ(At(F, 10 + 59, 10 + 39), clRed);

  // Tiles of a two-colour 4 x 4 bitmap repeat over the whole control.
  I->SetScaleMode(smNormal);
  I->SetBitmapAlign(baTile);
  I->Bitmap()->SetSize(4, 4);
  I->Bitmap()->Clear(0xFF00FF00);
  I->Bitmap()->FillRectUnclipped(0, 0, 1, 3, 0xFF0000FF);
  for (int X : {0, 1, 4, 5, 56, 57})
    EXPECT_EQ(At(F, 10 + X, 10 + 37), clBlue) << X;
  for (int X : {2, 3, 6, 58, 59})
    EXPECT_EQ(At(F, 10 + X, 10 + 37), clLime) << X;

  // An empty bitmap leaves the background.
  I->Bitmap()->SetSize(0, 0);
  EXPECT_EQ(At(F, 10 + 2, 10 + 2), clBlack);
}

TEST_F(Image32Test, BlendedLayerFollowsTheMasterAlphaFormula) {
  TForm* F = NewForm();
  // The main menu's hint area: a 213 x 109 black image and a layer over all of it.
  const TColor32 Under = 0xFF1050F0, Over = 0xFFF08020;
  TImage32* I = Image(F, 213, 109, Under, 213, 109);
  I->SetBitmapAlign(baCenter);
  TBitmapLayer32* L = Layer(I, TRect(0, 0, 213, 109), Over);
  L->SetAlign(alClient);
  L->Bitmap()->SetDrawMode(dmBlend);
  L->Bitmap()->SetStretchFilter(sfLinear);
  for (uint32_t M : {0u, 1u, 2u, 127u, 128u, 254u, 255u}) {
    L->Bitmap()->SetMasterAlpha(static_cast<Byte>(M));
    uint32_t R, G, B;
    if (M == 255) {  // full opacity copies the layer's pixels
      R = 0xF0, G = 0x80, B = 0x20;
    } else {
      R = MasterChannel(0xF0, 0x10, M), G = MasterChannel(0x80, 0x50, M), B = MasterChannel(0x20, 0xF0, M);
    }
    EXPECT_EQ(At(F, 10 + 100, 10 + 50), RGB(R, G, B)) << "master alpha " << M;
  }
  // Hidden, the layer leaves the image as it is.
  L->SetVisible(false);
  EXPECT_EQ(At(F, 10 + 100, 10 + 50), RGB(0x10, 0x50, 0xF0));
  L->SetVisible(true);
  L->Bitmap()->SetMasterAlpha(0);
  EXPECT_EQ(At(F, 10 + 100, 10 + 50), RGB(0x10, 0x50, 0xF0));
}

TEST_F(Image32Test, LayersPaintInChildOrderOverTheImage) {
  TForm* F = NewForm();
  TImage32* I = Image(F, 100, 60, 0xFF0000FF, 100, 60);
  TBitmapLayer32* A = Layer(I, TRect(10, 10, 50, 40), 0xFFFF0000);
  TBitmapLayer32* B = Layer(I, TRect(30, 20, 70, 50), 0xFF00FF00);
  EXPECT_EQ(At(F, 10 + 15, 10 + 15), clRed);
  EXPECT_EQ(At(F, 10 + 40, 10 + 30), clLime);  // the later child is on top
  EXPECT_EQ(At(F, 10 + 65, 10 + 45), clLime);
  EXPECT_EQ(At(F, 10 + 80, 10 + 5), clBlue);
  A->BringToFront();
  EXPECT_EQ(At(F, 10 + 40, 10 + 30), clRed);
  // A layer stretches its bitmap over its bounds.
  B->SetBoundsRect(TRect(0, 50, 100, 60));
  EXPECT_EQ(At(F, 10 + 0, 10 + 50), clLime);
  EXPECT_EQ(At(F, 10 + 99, 10 + 59), clLime);
  EXPECT_EQ(At(F, 10 + 65, 10 + 45), clBlue);
  // The layer's own handler draws after its bitmap.
  A->OnPaint = [](TObject* Sender, TBitmap32* Buffer) {
    const TRect R = static_cast<TControl*>(Sender)->BoundsRect();
    Buffer->FillRectUnclipped(R.Left, R.Top, R.Left, R.Top, 0xFFFFFFFF);
  };
  A->Invalidate();
  EXPECT_EQ(At(F, 10 + 10, 10 + 10), clWhite);
  EXPECT_EQ(At(F, 10 + 11, 10 + 10), clRed);
}

TEST_F(Image32Test, OpaqueLayersCoveringEverythingKeepTheImageFromPainting) {
  TForm* F = NewForm(300, 200);
  TImage32* I = Image(F, 200, 100, 0xFF0000FF, 1, 1);
  I->Bitmap()->SetSize(0, 0);  // an empty bitmap clears the whole buffer when the image paints
  TBitmapLayer32* L = Layer(I, TRect(0, 0, 200, 100), 0xFF00FF00);
  EXPECT_TRUE(I->CoveredByLayers());
  vxtest::Pump();
  const TColor32 Marker = 0xFF123456;
  ASSERT_EQ(I->Buffer()->Width(), 240);
  I->Buffer()->SetPixel(200, 0, Marker);  // in the spare part of the buffer
  I->Invalidate();
  EXPECT_EQ(At(F, 10 + 50, 10 + 30), clLime);
  EXPECT_EQ(I->Buffer()->Pixel(200, 0), Marker);

  // A blended layer is not opaque: the image paints beneath it again.
  L->Bitmap()->SetDrawMode(dmBlend);
  EXPECT_FALSE(I->CoveredByLayers());
  EXPECT_EQ(At(F, 10 + 50, 10 + 30), clLime);
  EXPECT_EQ(I->Buffer()->Pixel(200, 0), ColorToColor32(clBlack));
  // Two opaque halves cover it as well as one whole.
  L->Bitmap()->SetDrawMode(dmOpaque);
  L->SetBoundsRect(TRect(0, 0, 200, 50));
  EXPECT_FALSE(I->CoveredByLayers());
  Layer(I, TRect(0, 50, 200, 100), 0xFFFF0000);
  EXPECT_TRUE(I->CoveredByLayers());
}

TEST_F(Image32Test, BufferGrowsWithSpareAndImageSizesToItsBitmap) {
  TForm* F = NewForm(400, 300);
  auto* I = new TImage32(F);
  I->SetParent(F);
  EXPECT_EQ(I->Width(), 192);
  EXPECT_EQ(I->Buffer()->Width(), 192);
  I->SetBounds(0, 0, 202, 192);
  EXPECT_EQ(I->Buffer()->Width(), 242);  // once, with 40 pixels to spare
  EXPECT_EQ(I->Buffer()->Height(), 192);
  I->SetBounds(0, 0, 212, 192);
  EXPECT_EQ(I->Buffer()->Width(), 242);
  I->SetBounds(0, 0, 205, 192);
  EXPECT_EQ(I->Buffer()->Width(), 242);  // shrinking within the spare keeps the buffer
  I->SetBounds(0, 0, 100, 100);
  EXPECT_EQ(I->Buffer()->Width(), 100);
  EXPECT_EQ(I->Buffer()->Height(), 100);  // more than 40 pixels smaller: no spare kept
  I->SetScale(0);
  EXPECT_DOUBLE_EQ(I->Scale(), 0.001);

  int Changes = 0;
  I->OnChange = [&](TObject*) { ++Changes; };
  I->SetScaleMode(smScale);
  I->SetScale(2);
  I->SetAutoSize(true);
  I->Bitmap()->SetSize(30, 21);
  EXPECT_EQ(I->Width(), 60);
  EXPECT_EQ(I->Height(), 42);
  EXPECT_GE(Changes, 3);
  const int Before = Changes;
  I->BeginUpdate();
  I->Bitmap()->SetSize(10, 10);
  EXPECT_EQ(Changes, Before);
  I->EndUpdate();
  EXPECT_EQ(Changes, Before);
  EXPECT_THROW(I->EndUpdate(), EAssertionFailed);
}

TEST(BitmapList32Test, ItemsHoldBitmapsThatLayersCopy) {
  TBitmapList32 List(nullptr);
  for (TColor32 C : {0xFF000001u, 0xFF000002u, 0xFF000003u}) {
    TBitmapItem* Item = List.Bitmaps()->Add();
    Item->Bitmap()->SetSize(3, 2);
    Item->Bitmap()->Clear(C);
  }
  ASSERT_EQ(List.Bitmaps()->Count(), 3);
  EXPECT_EQ(List.Bitmaps()->Items(1)->Bitmap()->Pixel(2, 1), 0xFF000002u);
  EXPECT_EQ(List.Bitmaps()->Owner(), &List);

  int Changes = 0;
  TBitmapItem* Item = List.Bitmaps()->Items(0);
  Item->OnChange = [&](TObject*) { ++Changes; };
  Item->Bitmap()->Clear(0xFF000009);
  EXPECT_EQ(Changes, 1);
  Item->SetBitmap(List.Bitmaps()->Items(2)->Bitmap());
  EXPECT_EQ(Item->Bitmap()->Pixel(0, 0), 0xFF000003u);
  Item->SetBitmap(nullptr);
  EXPECT_TRUE(Item->Bitmap()->Empty());
  EXPECT_THROW(Item->EndUpdate(), EAssertionFailed);

  TBitmapList32 Copy(nullptr);
  Copy.SetBitmaps(List.Bitmaps());
  ASSERT_EQ(Copy.Bitmaps()->Count(), 3);
  EXPECT_EQ(Copy.Bitmaps()->Items(2)->Bitmap()->Pixel(1, 1), 0xFF000003u);
  List.Bitmaps()->Items(2)->Bitmap()->Clear(0);
  EXPECT_EQ(Copy.Bitmaps()->Items(2)->Bitmap()->Pixel(1, 1), 0xFF000003u);

  TBitmapLayer32 Layer(nullptr);
  Layer.SetAutoSize(true);
  Layer.SetBitmap(Copy.Bitmaps()->Items(1)->Bitmap());
  EXPECT_EQ(Layer.Bitmap()->Pixel(0, 0), 0xFF000002u);
  EXPECT_EQ(Layer.Width(), 3);
  EXPECT_EQ(Layer.Height(), 2);
  EXPECT_TRUE(Layer.ControlStyle() & csOpaque);
  Layer.Bitmap()->SetDrawMode(dmBlend);
  EXPECT_FALSE(Layer.ControlStyle() & csOpaque);
}

}  // namespace
