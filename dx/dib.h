// TDIB: a device-independent bitmap of 1, 4, 8, 16, 24 or 32 bits per pixel. Copies share one image
// and the first change makes the changed copy's image its own. Reads and writes the BMP layout
// (12- and 40-byte headers, RLE4/RLE8 and bit-field data on reading).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "dx/dxconsts.h"
#include "platform/gui/graphics.h"

struct TRGBQuad {
  uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
  bool operator==(const TRGBQuad&) const = default;
};
using TRGBQuads = std::array<TRGBQuad, 256>;

// Masks, bit counts and shifts of the red, green and blue channels. An 8-bit channel value c is
// stored as ((c << Shift) or (c >> Shift2)) & Mask; see MakeDIBPixelFormat.
struct TDIBPixelFormat {
  uint32_t RBitMask = 0, GBitMask = 0, BBitMask = 0;
  int RBitCount = 0, GBitCount = 0, BBitCount = 0;
  int RShift = 0, GShift = 0, BShift = 0;     // left shift of an 8-bit value (may be negative)
  int RShift2 = 0, GShift2 = 0, BShift2 = 0;  // 8 - bit count
  bool operator==(const TDIBPixelFormat&) const = default;
};
TDIBPixelFormat MakeDIBPixelFormat(int RBitCount, int GBitCount, int BBitCount);
TDIBPixelFormat MakeDIBPixelFormatMask(uint32_t RBitMask, uint32_t GBitMask, uint32_t BBitMask);

VX_DECLARE_EXCEPTION(EInvalidImage, Exception)
VX_DECLARE_EXCEPTION(EOutOfResources, Exception)

// The image several TDIBs share. Rows are stored bottom-up: row 0 of Bits is the bottom line.
struct TDIBSharedImage {
  int BitCount = 0, Width = 0, Height = 0, WidthBytes = 0;
  int64_t Size = 0;
  TDIBPixelFormat PixelFormat;
  TRGBQuads ColorTable{};
  std::vector<uint8_t> Bits;
};

class TDIB : public TGraphic {
 public:
  TDIB();
  ~TDIB() override;
  std::string ClassName() const override { return "TDIB"; }

  int Width() const override { return FImage->Width; }
  int Height() const override { return FImage->Height; }
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  bool Empty() const override { return FImage->Size == 0; }
  int BitCount() const { return FImage->BitCount; }
  void SetBitCount(int Value);
  int WidthBytes() const { return FImage->WidthBytes; }
  int NextLine() const { return -FImage->WidthBytes; }
  int64_t Size() const { return FImage->Size; }
  const TDIBPixelFormat& PixelFormat() const { return FImage->PixelFormat; }
  // The pixel format used by the next SetSize of 16 or 32 bits (5-6-5 or 5-5-5 for 16).
  void SetPixelFormat(const TDIBPixelFormat& Value) { FWantedPixelFormat = Value; }
  // The table of this copy (256 entries); writing it changes the image's own table.
  const TRGBQuads& ColorTable() const { return FImage->ColorTable; }
  void SetColorTable(const TRGBQuads& Value);

  // A new image of the size (the current colour table and wanted pixel format); a width or height
  // below 1 clears. Raises EInvalidGraphicOperation for other bit counts or wrong pixel formats.
  void SetSize(int AWidth, int AHeight, int ABitCount);
  void Clear();
  // Shares Source's image.
  void Assign(const TDIB* Source);
  // Any other graphic is drawn into an image of its size (a bitmap keeps its depth as far as the
  // DIB can hold it; others become 24 bits).
  void Assign(const TGraphic* Source);

  // Row Y (0 = top) of the image; the writable form makes the image unique first.
  const uint8_t* ScanLineReadOnly(int Y) const;
  uint8_t* ScanLine(int Y);
  // The raw pixel value (0 outside); writing changes only that pixel's bits.
  uint32_t Pixels(int X, int Y) const;
  void SetPixels(int X, int Y, uint32_t Value);
  // 0x00RRGGBB of a pixel (through the colour table up to 8 bits).
  uint32_t PixelRGB(int X, int Y) const;
  // Number of TDIBs sharing this image (the empty image is counted as well).
  long ShareCount() const { return FImage.use_count(); }

  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  // The image without the 14-byte file header: BITMAPINFO and the bits.
  void ReadData(TStream* Stream);
  void WriteData(TStream* Stream);
  void Draw(TCanvas* Canvas, const TRect& R) override;
  // The image as a 32-bit platform bitmap.
  void ToBitmap(TBitmap& Bitmap) const;

 private:
  void MakeUnique();
  void ReadDataWithin(TStream* Stream, int64_t BitsOffset);
  std::shared_ptr<TDIBSharedImage> FImage;
  TDIBPixelFormat FWantedPixelFormat;
};
