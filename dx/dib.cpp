#include "dx/dib.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "platform/gui/ddraw_soft.h"
#include "platform/gui/pixelrow.h"

namespace {

// Limits against hostile headers: no picture of the framework comes near them.
constexpr int64_t kMaxPixels = 64ll * 1024 * 1024;
constexpr int64_t kMaxBytes = 256ll * 1024 * 1024;

[[noreturn]] void Invalid() { throw EInvalidGraphic(SDXDIBInvalid); }

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 255);
  s += static_cast<char>((v >> 8) & 255);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

bool ValidBitCount(int b) { return b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32; }

void CheckFormat(int BitCount, const TDIBPixelFormat& F) {
  if (!ValidBitCount(BitCount)) throw EInvalidGraphicOperation(Format(SDXDIBBitCount, {BitCount}));
  bool ok;
  if (BitCount == 16)
    ok = F.BBitMask == 0x1F && ((F.RBitMask == 0x7C00 && F.GBitMask == 0x3E0) || (F.RBitMask == 0xF800 && F.GBitMask == 0x7E0));
  else
    ok = F.RBitMask == 0xFF0000 && F.GBitMask == 0xFF00 && F.BBitMask == 0xFF;
  if (!ok) throw EInvalidGraphicOperation(SDXDIBPixelFormat);
}

std::shared_ptr<TDIBSharedImage> EmptyImage() {
  static std::shared_ptr<TDIBSharedImage> empty = [] {
    auto e = std::make_shared<TDIBSharedImage>();
    e->PixelFormat = MakeDIBPixelFormat(8, 8, 8);
    return e;
  }();
  return empty;
}

std::shared_ptr<TDIBSharedImage> MakeImage(int W, int H, int BitCount, const TDIBPixelFormat& PF, const TRGBQuads& Table) {
  CheckFormat(BitCount, PF);
  auto img = std::make_shared<TDIBSharedImage>();
  img->BitCount = BitCount;
  img->Width = W;
  img->Height = H;
  img->WidthBytes = static_cast<int>(((static_cast<int64_t>(W) * BitCount + 31) / 32) * 4);
  img->Size = static_cast<int64_t>(img->WidthBytes) * H;
  img->PixelFormat = PF;
  img->ColorTable = Table;
  img->Bits.assign(static_cast<size_t>(img->Size), 0);
  return img;
}

int BitmapInfoSize(int BitCount) {
  int n = 40;
  if (BitCount == 16 || BitCount == 32) n += 12;
  if (BitCount <= 8) n += 4 << BitCount;
  return n;
}

// Expands RLE8 (Four false) or RLE4 data into the bottom-up rows of Img; every write is bounded.
void DecodeRLE(const std::vector<uint8_t>& D, TDIBSharedImage& Img, bool Four) {
  int64_t x = 0, y = 0;
  size_t p = 0;
  const size_t n = D.size();
  auto put = [&](int64_t X, int64_t Y, uint8_t V) {
    if (X < 0 || Y < 0 || X >= Img.Width || Y >= Img.Height) return;
    uint8_t* row = Img.Bits.data() + static_cast<size_t>(Y) * static_cast<size_t>(Img.WidthBytes);
    if (Four) {
      uint8_t& b = row[X / 2];
      b = static_cast<uint8_t>(X % 2 == 0 ? ((b & 0x0F) | (V << 4)) : ((b & 0xF0) | (V & 0x0F)));
    } else {
      row[X] = V;
    }
  };
  while (p + 1 < n && y < Img.Height) {
    const uint8_t count = D[p], value = D[p + 1];
    p += 2;
    if (count > 0) {
      for (int k = 0; k < count; ++k, ++x) {
        if (x >= Img.Width) break;
        put(x, y, Four ? static_cast<uint8_t>(k % 2 == 0 ? value >> 4 : value & 15) : value);
      }
      continue;
    }
    if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      if (p + 1 >= n) break;
      x += D[p];
      y += D[p + 1];
      p += 2;
    } else {
      const size_t bytes = Four ? (value + 1u) / 2u : value;
      for (int k = 0; k < value; ++k, ++x) {
        const size_t at = p + (Four ? static_cast<size_t>(k / 2) : static_cast<size_t>(k));
        if (at >= n) break;
        put(x, y, Four ? static_cast<uint8_t>(k % 2 == 0 ? D[at] >> 4 : D[at] & 15) : D[at]);
      }
      p += bytes + (bytes & 1);
    }
  }
}

}  // namespace

namespace {

// Count one bits moved left by Shift, keeping only what fits in 32 bits. Bit-field masks read from
// a file may be 32 bits wide each, so neither the count nor the shift is limited to below 32.
uint32_t MaskBits(int Count, int Shift) {
  if (Count <= 0 || Shift < 0 || Shift >= 32) return 0;
  const uint32_t ones = Count >= 32 ? ~0u : (1u << Count) - 1;
  return ones << Shift;
}

}  // namespace

TDIBPixelFormat MakeDIBPixelFormat(int R, int G, int B) {
  TDIBPixelFormat f;
  f.RBitMask = MaskBits(R, G + B);
  f.GBitMask = MaskBits(G, B);
  f.BBitMask = MaskBits(B, 0);
  f.RBitCount = R;
  f.GBitCount = G;
  f.BBitCount = B;
  f.RShift = G + B - (8 - R);
  f.GShift = B - (8 - G);
  f.BShift = 8 - B;
  f.RShift2 = 8 - R;
  f.GShift2 = 8 - G;
  f.BShift2 = 8 - B;
  return f;
}

TDIBPixelFormat MakeDIBPixelFormatMask(uint32_t RBitMask, uint32_t GBitMask, uint32_t BBitMask) {
  auto bits = [](uint32_t m) { return m == 0 ? 0 : std::countr_one(m >> std::countr_zero(m)); };
  TDIBPixelFormat f = MakeDIBPixelFormat(bits(RBitMask), bits(GBitMask), bits(BBitMask));
  f.RBitMask = RBitMask;
  f.GBitMask = GBitMask;
  f.BBitMask = BBitMask;
  return f;
}

TDIB::TDIB() : FImage(EmptyImage()), FWantedPixelFormat(MakeDIBPixelFormat(8, 8, 8)) {}
TDIB::~TDIB() = default;

void TDIB::SetSize(int AWidth, int AHeight, int ABitCount) {
  TDIBPixelFormat pf = FWantedPixelFormat;
  if (ABitCount == 16) {
    if (!(pf.RBitMask == 0xF800 || pf.RBitMask == 0x7C00)) pf = MakeDIBPixelFormat(5, 5, 5);
  } else {
    pf = MakeDIBPixelFormat(8, 8, 8);
  }
  if (AWidth == Width() && AHeight == Height() && ABitCount == BitCount() && pf == FImage->PixelFormat) return;
  if (AWidth < 1 || AHeight < 1) {
    Clear();
    return;
  }
  if (static_cast<int64_t>(AWidth) * AHeight > kMaxPixels) throw EOutOfResources(Format(SDXCannotMake, {"DIB"}));
  FImage = MakeImage(AWidth, AHeight, ABitCount, pf, FImage->ColorTable);
  Changed();
}

void TDIB::SetWidth(int Value) { SetSize(Value, std::max(Height(), Value >= 1 ? 1 : 0), BitCount() ? BitCount() : 8); }
void TDIB::SetHeight(int Value) { SetSize(std::max(Width(), Value >= 1 ? 1 : 0), Value, BitCount() ? BitCount() : 8); }
void TDIB::SetBitCount(int Value) {
  if (Value <= 0)
    Clear();
  else
    SetSize(std::max(Width(), 1), std::max(Height(), 1), Value);
}

void TDIB::Clear() {
  TRGBQuads table = FImage->ColorTable;
  FImage = EmptyImage();
  if (table != FImage->ColorTable) {
    // The empty image is shared by everyone, so a table of one's own needs an image of its own.
    auto e = std::make_shared<TDIBSharedImage>(*FImage);
    e->ColorTable = table;
    FImage = e;
  }
  Changed();
}

void TDIB::SetColorTable(const TRGBQuads& Value) {
  if (Value == FImage->ColorTable) return;
  MakeUnique();
  FImage->ColorTable = Value;
  Changed();
}

void TDIB::MakeUnique() {
  if (FImage.use_count() > 1 || FImage == EmptyImage()) FImage = std::make_shared<TDIBSharedImage>(*FImage);
}

void TDIB::Assign(const TDIB* Source) {
  if (!Source || Source == this) return;
  FImage = Source->FImage;
  FWantedPixelFormat = Source->FWantedPixelFormat;
  Changed();
}

void TDIB::Assign(const TGraphic* Source) {
  if (!Source) {
    Clear();
    return;
  }
  if (auto* dib = dynamic_cast<const TDIB*>(Source)) {
    Assign(dib);
    return;
  }
  TBitmap tmp;
  const TBitmap* bmp = dynamic_cast<const TBitmap*>(Source);
  int bits = 24;
  if (bmp) {
    if (bmp->PixelFormat() == pf15bit || bmp->PixelFormat() == pf16bit) bits = 16;
    if (bmp->PixelFormat() == pf32bit) bits = 32;
  } else {
    tmp.SetSize(Source->Width(), Source->Height());
    tmp.Canvas()->Draw(0, 0, const_cast<TGraphic*>(Source));
    bmp = &tmp;
  }
  FWantedPixelFormat = bits == 16 ? MakeDIBPixelFormat(5, 5, 5) : MakeDIBPixelFormat(8, 8, 8);
  Clear();
  SetSize(bmp->Width(), bmp->Height(), bits);
  for (int y = 0; y < Height(); ++y) {
    const uint32_t* src = bmp->ScanLine(y);
    for (int x = 0; x < Width(); ++x) {
      const uint32_t rgb = src[x] & 0xFFFFFF;
      uint32_t v;
      if (bits == 16)
        v = (((rgb >> 19) & 31) << 10) | (((rgb >> 11) & 31) << 5) | ((rgb >> 3) & 31);
      else if (bits == 24)
        v = ((rgb & 255) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 255);
      else
        v = rgb;
      SetPixels(x, y, v);
    }
  }
}

const uint8_t* TDIB::ScanLineReadOnly(int Y) const {
  if (Y < 0 || Y >= Height()) throw ERangeError(Format("range check error (%d)", {Y}));
  return FImage->Bits.data() + static_cast<size_t>(Height() - 1 - Y) * static_cast<size_t>(WidthBytes());
}

uint8_t* TDIB::ScanLine(int Y) {
  if (Y < 0 || Y >= Height()) throw ERangeError(Format("range check error (%d)", {Y}));
  MakeUnique();
  return FImage->Bits.data() + static_cast<size_t>(Height() - 1 - Y) * static_cast<size_t>(WidthBytes());
}

uint32_t TDIB::Pixels(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return 0;
  const uint8_t* p = ScanLineReadOnly(Y);
  // 24-bit values are read with the first byte highest (the order SetPixels writes).
  if (BitCount() == 24)
    return (static_cast<uint32_t>(p[3 * X]) << 16) | (static_cast<uint32_t>(p[3 * X + 1]) << 8) | p[3 * X + 2];
  return LoadRawPixel(p, X, BitCount());
}

void TDIB::SetPixels(int X, int Y, uint32_t V) {
  if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return;
  uint8_t* p = ScanLine(Y);
  if (BitCount() == 24) {
    p[3 * X] = static_cast<uint8_t>(V >> 16);
    p[3 * X + 1] = static_cast<uint8_t>(V >> 8);
    p[3 * X + 2] = static_cast<uint8_t>(V);
    return;
  }
  StoreRawPixel(p, X, BitCount(), V);
}

uint32_t TDIB::PixelRGB(int X, int Y) const {
  const uint32_t v = Pixels(X, Y);
  if (BitCount() <= 8) {
    const TRGBQuad& q = ColorTable()[v & 255];
    return (static_cast<uint32_t>(q.rgbRed) << 16) | (static_cast<uint32_t>(q.rgbGreen) << 8) | q.rgbBlue;
  }
  if (BitCount() == 24) return ((v & 255) << 16) | (v & 0xFF00) | ((v >> 16) & 255);
  const TDIBPixelFormat& f = PixelFormat();
  const TDDChannel r = TDDChannel::FromMask(f.RBitMask), g = TDDChannel::FromMask(f.GBitMask),
                   b = TDDChannel::FromMask(f.BBitMask);
  return (r.Expand(v) << 16) | (g.Expand(v) << 8) | b.Expand(v);
}

void TDIB::LoadFromStream(TStream* Stream) {
  const int64_t start = Stream->Position();
  uint8_t h[14];
  const int64_t got = Stream->Read(h, 14);
  if (got == 0) {
    Clear();
    return;
  }
  if (got < 14 || Get16(h) != 19778) Invalid();
  ReadDataWithin(Stream, start + Get32(h + 10));
}

void TDIB::ReadData(TStream* Stream) { ReadDataWithin(Stream, -1); }

void TDIB::ReadDataWithin(TStream* Stream, int64_t BitsOffset) {
  uint8_t hs[4];
  const int64_t got = Stream->Read(hs, 4);
  if (got == 0) {
    Clear();
    return;
  }
  if (got < 4) Invalid();
  const uint32_t headerSize = Get32(hs);
  int64_t w, h;
  int bits;
  uint32_t compression = 0, sizeImage = 0, clrUsed = 0;
  bool core = false;
  if (headerSize == 12) {
    uint8_t c[8];
    if (Stream->Read(c, 8) != 8) Invalid();
    w = Get16(c);
    h = Get16(c + 2);
    bits = Get16(c + 6);
    core = true;
  } else if (headerSize == 40) {
    uint8_t c[36];
    if (Stream->Read(c, 36) != 36) Invalid();
    w = static_cast<int32_t>(Get32(c));
    h = static_cast<int32_t>(Get32(c + 4));
    bits = Get16(c + 10);
    compression = Get32(c + 12);
    sizeImage = Get32(c + 16);
    clrUsed = Get32(c + 28);
  } else {
    Invalid();
  }
  if (!ValidBitCount(bits)) throw EInvalidGraphicOperation(Format(SDXDIBBitCount, {bits}));
  TDIBPixelFormat pf;
  if (compression == 3) {
    if (bits != 16 && bits != 32) Invalid();
    uint8_t m[12];
    if (Stream->Read(m, 12) != 12) Invalid();
    pf = MakeDIBPixelFormatMask(Get32(m), Get32(m + 4), Get32(m + 8));
  } else if (compression == 0) {
    pf = bits == 16 ? MakeDIBPixelFormat(5, 5, 5) : MakeDIBPixelFormat(8, 8, 8);
  } else if ((compression == 1 && bits == 8) || (compression == 2 && bits == 4)) {
    pf = MakeDIBPixelFormat(8, 8, 8);
  } else {
    Invalid();
  }
  TRGBQuads table{};
  int64_t colors = clrUsed;
  if (colors == 0 && bits <= 8) colors = int64_t{1} << bits;
  colors = std::min<int64_t>(colors, 256);
  const int entry = core ? 3 : 4;
  for (int64_t i = 0; i < colors; ++i) {
    uint8_t q[4] = {0, 0, 0, 0};
    if (Stream->Read(q, entry) != entry) Invalid();
    table[static_cast<size_t>(i)] = TRGBQuad{q[0], q[1], q[2], 0};
  }
  const bool topDown = h < 0;
  const int64_t absH = topDown ? -h : h;
  if (w < 1 || absH < 1) Invalid();
  const int64_t widthBytes = ((w * bits + 31) / 32) * 4;
  if (w * absH > kMaxPixels || widthBytes * absH > kMaxBytes) Invalid();
  if (BitsOffset >= 0 && BitsOffset > Stream->Position() && BitsOffset <= Stream->Size()) Stream->SetPosition(BitsOffset);
  // Uncompressed bits must be there before the image is allocated, so that a few corrupt header
  // bytes cannot claim hundreds of megabytes.
  if (compression != 1 && compression != 2 && widthBytes * absH > Stream->Size() - Stream->Position())
    throw EReadError("Stream read error");
  auto img = MakeImage(static_cast<int>(w), static_cast<int>(absH), bits, pf, table);
  if (compression == 1 || compression == 2) {
    if (topDown) Invalid();
    const int64_t left = Stream->Size() - Stream->Position();
    if (sizeImage > left || sizeImage > kMaxBytes) Invalid();
    std::vector<uint8_t> data(sizeImage);
    Stream->ReadBuffer(data.data(), sizeImage);
    DecodeRLE(data, *img, compression == 2);
  } else if (!topDown) {
    Stream->ReadBuffer(img->Bits.data(), img->Size);
  } else {
    for (int64_t i = 0; i < absH; ++i)
      Stream->ReadBuffer(img->Bits.data() + static_cast<size_t>(absH - 1 - i) * static_cast<size_t>(widthBytes), widthBytes);
  }
  FImage = img;
  Changed();
}

void TDIB::SaveToStream(TStream* Stream) {
  if (Empty()) return;
  const uint32_t info = static_cast<uint32_t>(BitmapInfoSize(BitCount()));
  std::string h = "BM";
  Put32(h, static_cast<uint32_t>(14 + info + Size()));
  Put32(h, 0);
  Put32(h, 14 + info);
  Stream->WriteString(h);
  WriteData(Stream);
}

void TDIB::WriteData(TStream* Stream) {
  if (Empty()) return;
  std::string h;
  Put32(h, 40);
  Put32(h, static_cast<uint32_t>(Width()));
  Put32(h, static_cast<uint32_t>(Height()));
  Put16(h, 1);
  Put16(h, static_cast<uint32_t>(BitCount()));
  Put32(h, BitCount() == 16 || BitCount() == 32 ? 3 : 0);
  Put32(h, static_cast<uint32_t>(Size()));
  for (int i = 0; i < 4; ++i) Put32(h, 0);
  if (BitCount() == 16 || BitCount() == 32) {
    Put32(h, PixelFormat().RBitMask);
    Put32(h, PixelFormat().GBitMask);
    Put32(h, PixelFormat().BBitMask);
  }
  if (BitCount() <= 8)
    for (int i = 0; i < (1 << BitCount()); ++i) {
      const TRGBQuad& q = ColorTable()[static_cast<size_t>(i)];
      h += static_cast<char>(q.rgbBlue);
      h += static_cast<char>(q.rgbGreen);
      h += static_cast<char>(q.rgbRed);
      h += static_cast<char>(0);
    }
  Stream->WriteString(h);
  Stream->WriteBuffer(FImage->Bits.data(), Size());
}

void TDIB::ToBitmap(TBitmap& Bitmap) const {
  Bitmap.SetSize(Width(), Height());
  for (int y = 0; y < Height(); ++y) {
    uint32_t* row = Bitmap.ScanLine(y);
    for (int x = 0; x < Width(); ++x) row[x] = 0xFF000000u | PixelRGB(x, y);
  }
}

void TDIB::Draw(TCanvas* Canvas, const TRect& R) {
  if (Empty() || !Canvas) return;
  TBitmap bmp;
  ToBitmap(bmp);
  Canvas->StretchDraw(R, &bmp);
}
