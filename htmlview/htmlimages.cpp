#include "htmlview/htmlimages.h"

#include <algorithm>

#include "platform/core/fileutils.h"
#include "platform/gui/controls.h"

std::unique_ptr<TBitmap> BitmapFromPixels(const TPixelBuffer& Pixels) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(Pixels.Width, Pixels.Height);
  for (int Y = 0; Y < Pixels.Height; ++Y) {
    uint32_t* Row = B->ScanLine(Y);
    for (int X = 0; X < Pixels.Width; ++X) Row[X] = Pixels.At(X, Y) | 0xFF000000u;
  }
  return B;
}

TPixelBuffer PixelsFromBitmap(const TBitmap& Bitmap) {
  TPixelBuffer P;
  P.SetSize(Bitmap.Width(), Bitmap.Height());
  for (int Y = 0; Y < P.Height; ++Y) {
    const uint32_t* Row = Bitmap.ScanLine(Y);
    for (int X = 0; X < P.Width; ++X) P.At(X, Y) = Row[X] | 0xFF000000u;
  }
  return P;
}

std::unique_ptr<TBitmap> BitmapFromMask(const TMaskBuffer& Mask) {
  auto B = std::make_unique<TBitmap>();
  B->SetSize(Mask.Width, Mask.Height);
  for (int Y = 0; Y < Mask.Height; ++Y) {
    uint32_t* Row = B->ScanLine(Y);
    for (int X = 0; X < Mask.Width; ++X) Row[X] = Mask.At(X, Y) ? 0xFFFFFFFFu : 0xFF000000u;
  }
  return B;
}

namespace {

std::vector<uint8_t> ReadAll(TStream& S) {
  int64_t Size = S.Size();
  std::vector<uint8_t> Data(static_cast<size_t>(Size > 0 ? Size : 0));
  S.SetPosition(0);
  if (!Data.empty()) Data.resize(static_cast<size_t>(S.Read(Data.data(), static_cast<int64_t>(Data.size()))));
  return Data;
}

// Decodes BMP, GIF (first frame composed) or JPEG bytes; nullptr for other formats.
std::unique_ptr<TPixelBuffer> DecodePicture(const std::vector<uint8_t>& Data, bool AllowGif) {
  switch (DetectImageType(Data.data(), Data.size())) {
    case itBMP: {
      TBitmap B;
      B.LoadFromBytes(Data.data(), Data.size());
      return std::make_unique<TPixelBuffer>(PixelsFromBitmap(B));
    }
    case itGIF87:
    case itGIF89: {
      if (!AllowGif) return nullptr;
      bool NonAnimated = false;
      auto G = CreateGifFromBytes(Data.data(), Data.size(), NonAnimated);
      if (!G || !G->GetBitmap()) return nullptr;
      return std::make_unique<TPixelBuffer>(*G->GetBitmap());
    }
    case itJPEG: {
      TJPEGImage J;
      J.LoadFromBytes(Data.data(), Data.size());
      if (!J.Bitmap()) return nullptr;
      return std::make_unique<TPixelBuffer>(PixelsFromBitmap(*J.Bitmap()));
    }
    default:
      return nullptr;  // PNG is recognised but not decoded
  }
}

std::unique_ptr<TMaskBuffer> MaskFor(const TPixelBuffer& P, uint8_t Transparency, int32_t Color) {
  if (Transparency == LLCorner) return std::make_unique<TMaskBuffer>(MakeImageMask(P, false, 0));
  if (Transparency == TrGif || Transparency == TrPng) return std::make_unique<TMaskBuffer>(MakeImageMask(P, true, Color));
  return nullptr;
}

}  // namespace

std::unique_ptr<TPixelBuffer> LoadImageFile(const std::string& FileName, bool /*Convert*/) {
  try {
    TFileStream S(FileName, fmOpenRead | fmShareDenyWrite);
    std::vector<uint8_t> Data = ReadAll(S);
    return DecodePicture(Data, true);
  } catch (const Exception&) {
    return nullptr;
  }
}

std::unique_ptr<TPixelBuffer> LoadImageAndMask(const std::string& FileName, uint8_t& Transparency,
                                               std::unique_ptr<TMaskBuffer>& Mask) {
  Mask.reset();
  if (!FileExists(FileName)) return nullptr;
  int32_t Color = 0;
  std::string Ext = LowerCase(ExtractFileExt(FileName));
  if (Ext == ".gif" && GifFileTransparentColor(FileName, Color))
    Transparency = TrGif;
  else if (Ext == ".png" && PngFileTransparentColor(FileName, Color))
    Transparency = TrPng;
  std::unique_ptr<TPixelBuffer> P = LoadImageFile(FileName, Transparency == NotTransp);
  if (P && Transparency != NotTransp) Mask = MaskFor(*P, Transparency, Color);
  return P;
}

std::unique_ptr<TPixelBuffer> LoadImageFromStream(TStream* Stream, uint8_t& Transparency,
                                                  std::unique_ptr<TMaskBuffer>& Mask) {
  Mask.reset();
  if (!Stream) return nullptr;
  try {
    if (Stream->Size() < 20) return nullptr;
    std::vector<uint8_t> Data = ReadAll(*Stream);
    TImageType T = DetectImageType(Data.data(), Data.size());
    if (T != itBMP && T != itJPEG) return nullptr;
    if (T == itJPEG) Transparency = NotTransp;
    std::unique_ptr<TPixelBuffer> P = DecodePicture(Data, false);
    if (P && Transparency == LLCorner) Mask = MaskFor(*P, LLCorner, 0);
    return P;
  } catch (const Exception&) {
    return nullptr;
  }
}

void DrawTransparentImage(TCanvas* Canvas, const TPixelBuffer& Image, const TMaskBuffer* Mask, int X, int Y,
                          int Width, int Height) {
  if (!Canvas || Image.Empty()) return;
  if (!Mask || Mask->Width != Image.Width || Mask->Height != Image.Height) {
    auto B = BitmapFromPixels(Image);
    StretchBlt(Canvas, X, Y, Width, Height, B->Canvas(), 0, 0, Image.Width, Image.Height, SRCCOPY);
    return;
  }
  // The mask clears the opaque area of the destination, then the picture with its transparent
  // pixels black is ORed in.
  TPixelBuffer Copy = Image;
  for (size_t I = 0; I < Copy.Pixels.size(); ++I)
    if (Mask->Bits[I]) Copy.Pixels[I] = 0xFF000000u;
  auto M = BitmapFromMask(*Mask);
  auto B = BitmapFromPixels(Copy);
  StretchBlt(Canvas, X, Y, Width, Height, M->Canvas(), 0, 0, Mask->Width, Mask->Height, SRCAND);
  StretchBlt(Canvas, X, Y, Width, Height, B->Canvas(), 0, 0, Image.Width, Image.Height, SRCPAINT);
}

void PrintImage(TCanvas* Canvas, int X, int Y, int Width, int Height, const TPixelBuffer& Image) {
  if (!Canvas || Image.Empty()) return;
  DrawTransparentImage(Canvas, Image, nullptr, X, Y, Width, Height);
}

void PrintTransparentImage(TCanvas* Canvas, int X, int Y, int NewWidth, int NewHeight, const TPixelBuffer& Image,
                           const TMaskBuffer& Mask, int FirstRow, int Rows) {
  if (!Canvas || Rows < 1 || Image.Width < 1 || FirstRow < 0 || FirstRow + Rows > Image.Height) return;
  if (Mask.Width != Image.Width || Mask.Height != Image.Height) return;
  if (FirstRow == 0 && Rows == Image.Height) {
    DrawTransparentImage(Canvas, Image, &Mask, X, Y, NewWidth, NewHeight);
    return;
  }
  TPixelBuffer Strip;
  TMaskBuffer StripMask;
  Strip.SetSize(Image.Width, Rows);
  StripMask.SetSize(Image.Width, Rows, 0);
  const size_t From = static_cast<size_t>(FirstRow) * static_cast<size_t>(Image.Width);
  std::copy_n(Image.Pixels.begin() + static_cast<long>(From), Strip.Pixels.size(), Strip.Pixels.begin());
  std::copy_n(Mask.Bits.begin() + static_cast<long>(From), StripMask.Bits.size(), StripMask.Bits.begin());
  DrawTransparentImage(Canvas, Strip, &StripMask, X, Y, NewWidth, NewHeight);
}

void DrawGif(TCanvas* Canvas, TGIFImage& Gif, int X, int Y, int Width, int Height) {
  Gif.DrawLeft = X;
  Gif.DrawTop = Y;
  Gif.DrawWidth = Width;
  Gif.DrawHeight = Height;
  if (!Gif.Visible || Gif.Empty || Gif.ScanOnly || Gif.FrameCount() == 0) return;
  DrawTransparentImage(Canvas, Gif.Canvas(), Gif.IsTransparent ? &Gif.CanvasMask() : nullptr, X, Y, Width, Height);
}

namespace {

// 16 x 16 pictures: 'X' black, 'o' white, '.' transparent (the lower-left pixel's colour).
void Cursor(int Id, const char* const Rows[16], int HotX, int HotY) {
  TBitmap B;
  B.SetSize(16, 16);
  for (int Y = 0; Y < 16; ++Y) {
    uint32_t* Row = B.ScanLine(Y);
    for (int X = 0; X < 16; ++X)
      Row[X] = Rows[Y][X] == 'X' ? 0xFF000000u : Rows[Y][X] == 'o' ? 0xFFFFFFFFu : 0xFFFF00FFu;
  }
  Screen->SetCustomCursor(Id, B, HotX, HotY);
}

}  // namespace

void InstallViewerCursors() {
  if (!Screen) return;
  static const char* const Hand[16] = {
      ".....XX.........", "....XooX........", "....XooX........", "....XooX........",
      "....XooXXX......", "....XooXooXXX...", "....XooXooXooXX.", ".XX.XooXooXooXoX",
      "XooXXooooooooXoX", "XoooXoooooooooX.", ".XooXoooooooooX.", "..XoooooooooooX.",
      "...XooooooooooX.", "....XooooooooX..", ".....XooooooX...", "................"};
  static const char* const HandBusy[16] = {
      ".....XX.........", "....XooX........", "....XooX........", "....XooX........",
      "....XooXXX......", "....XooXooXXX...", "....XooXooXooXX.", ".XX.XooXooXooXoX",
      "XooXXooooooooXoX", "XoooXooXXXXXXXX.", ".XooXooXooooooX.", "..XooooXXooooXX.",
      "...XoooXoXooXoX.", "....XooXooXXooX.", ".....XoXooooooX.", ".......XXXXXXXX."};
  static const char* const UpDown[16] = {
      ".......X........", "......XoX.......", ".....XoooX......", "....XoooooX.....",
      "...XXXXoXXXX....", "......XoX.......", "......XoX.......", ".....XXoXX......",
      ".....XoooX......", ".....XXoXX......", "......XoX.......", "......XoX.......",
      "...XXXXoXXXX....", "....XoooooX.....", ".....XoooX......", "......XoX......."};
  static const char* const Up[16] = {
      ".......X........", "......XoX.......", ".....XoooX......", "....XoooooX.....",
      "...XoooooooX....", "..XXXXXoXXXXX...", "......XoX.......", "......XoX.......",
      "......XoX.......", ".....XXoXX......", ".....XoooX......", ".....XXXXX......",
      "................", "................", "................", "................"};
  static const char* const Down[16] = {
      "................", "................", "................", "................",
      ".....XXXXX......", ".....XoooX......", ".....XXoXX......", "......XoX.......",
      "......XoX.......", "......XoX.......", "..XXXXXoXXXXX...", "...XoooooooX....",
      "....XoooooX.....", ".....XoooX......", "......XoX.......", ".......X........"};
  Cursor(crLinkHand, Hand, 5, 0);
  Cursor(crLinkBusy, HandBusy, 5, 0);
  Cursor(crUpDownScroll, UpDown, 7, 8);
  Cursor(crUpScroll, Up, 7, 0);
  Cursor(crDownScroll, Down, 7, 15);
}
