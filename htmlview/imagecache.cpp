#include "htmlview/imagecache.h"

#include <algorithm>
#include <cstring>

#include "platform/core/classes.h"

TImageType DetectImageType(const uint8_t* Data, size_t Size) {
  if (Size >= 4 && std::memcmp(Data, "GIF8", 4) == 0) return (Size >= 5 && Data[4] == '9') ? itGIF89 : itGIF87;
  if (Size >= 2 && Data[0] == 'B' && Data[1] == 'M') return itBMP;
  if (Size >= 4 && Data[0] == 0x89 && Data[1] == 'P' && Data[2] == 'N' && Data[3] == 'G') return itPNG;
  if (Size >= 2 && Data[0] == 0xFF && Data[1] == 0xD8) return itJPEG;
  return itUnknown;
}

namespace {

// Up to Count bytes from the start of a stream; the position is put back.
std::vector<uint8_t> Head(TStream& S, int64_t Count) {
  int64_t Saved = S.Position();
  std::vector<uint8_t> Buf;
  try {
    S.SetPosition(0);
    Buf.resize(static_cast<size_t>(Count));
    int64_t N = S.Read(Buf.data(), Count);
    Buf.resize(static_cast<size_t>(std::max<int64_t>(0, N)));
  } catch (const Exception&) {
    Buf.clear();
  }
  S.SetPosition(Saved);
  return Buf;
}

std::vector<uint8_t> FileHead(const std::string& FileName, int64_t Count) {
  TFileStream S(FileName, fmOpenRead | fmShareDenyWrite);
  return Head(S, Count);
}

uint32_t BigEndian32(const uint8_t* P) {
  return (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) | P[3];
}

int32_t ColorOf(uint8_t R, uint8_t G, uint8_t B) {
  return R | (G << 8) | (B << 16);
}

}  // namespace

TImageType DetectImageFileType(const std::string& FileName) {
  try {
    std::vector<uint8_t> B = FileHead(FileName, 11);
    return DetectImageType(B.data(), B.size());
  } catch (const Exception&) {
    return itUnknown;
  }
}

bool GifTransparentColor(const uint8_t* Data, size_t Size, int32_t& Color) {
  if (DetectImageType(Data, Size) != itGIF89 || Size < 13) return false;
  const size_t N = (size_t(1) << ((Data[10] & 7) + 1)) - 1;
  const size_t Bang = 13 + 3 * (N + 1);
  if (N == 0 || Bang + 7 > Size || Data[Bang] != 0x21 || Data[Bang + 1] != 0xF9 || !(Data[Bang + 3] & 1))
    return false;
  const size_t Index = Data[Bang + 6];
  if (Index > N) return false;  // no such entry in the table
  const uint8_t* E = Data + 13 + 3 * Index;
  Color = ColorOf(E[0], E[1], E[2]);
  return true;
}

bool PngTransparentColor(const uint8_t* Data, size_t Size, int32_t& Color) {
  static const uint8_t Signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (Size < 8 || std::memcmp(Data, Signature, 8) != 0) return false;
  size_t P = 8;
  int ColorType = -1;
  std::vector<uint8_t> Palette;
  while (P + 8 <= Size) {
    const uint32_t Length = BigEndian32(Data + P);
    const char* Type = reinterpret_cast<const char*>(Data + P + 4);
    P += 8;
    if (Length > Size - P) return false;
    if (std::memcmp(Type, "IHDR", 4) == 0) {
      if (Length < 10) return false;
      ColorType = Data[P + 9];
      if (ColorType != 2 && ColorType != 3) return false;
    } else if (std::memcmp(Type, "PLTE", 4) == 0) {
      Palette.assign(Data + P, Data + P + Length);
    } else if (std::memcmp(Type, "tRNS", 4) == 0) {
      if (ColorType == 3) {
        // The last entry with an alpha value is the transparent one; it must be in the palette.
        if (Length == 0) return false;
        const size_t Index = Length - 1;
        if (3 * Index + 2 >= Palette.size()) return false;
        Color = ColorOf(Palette[3 * Index], Palette[3 * Index + 1], Palette[3 * Index + 2]);
      }
      return true;
    } else if (std::memcmp(Type, "IDAT", 4) == 0) {
      return false;
    }
    if (Size - P < size_t(Length) + 4) return false;
    P += Length + 4;  // data and CRC
  }
  return false;
}

bool GifTransparentColor(TStream& Stream, int32_t& Color) {
  std::vector<uint8_t> B = Head(Stream, 790);
  return GifTransparentColor(B.data(), B.size(), Color);
}

bool PngTransparentColor(TStream& Stream, int32_t& Color) {
  int64_t Saved = Stream.Position();
  std::vector<uint8_t> B;
  try {
    B = Head(Stream, Stream.Size());
  } catch (const Exception&) {
    return false;
  }
  Stream.SetPosition(Saved);
  return PngTransparentColor(B.data(), B.size(), Color);
}

bool GifFileTransparentColor(const std::string& FileName, int32_t& Color) {
  try {
    std::vector<uint8_t> B = FileHead(FileName, 790);
    return GifTransparentColor(B.data(), B.size(), Color);
  } catch (const Exception&) {
    return false;
  }
}

bool PngFileTransparentColor(const std::string& FileName, int32_t& Color) {
  try {
    TFileStream S(FileName, fmOpenRead | fmShareDenyWrite);
    return PngTransparentColor(S, Color);
  } catch (const Exception&) {
    return false;
  }
}

TMaskBuffer MakeImageMask(const TPixelBuffer& Image, bool ColorKnown, int32_t Color) {
  TMaskBuffer M;
  if (Image.Empty()) return M;
  M.SetSize(Image.Width, Image.Height, 0);
  uint32_t Key;
  if (ColorKnown)
    Key = ((Color & 0xFF) << 16) | (Color & 0xFF00) | ((Color >> 16) & 0xFF);
  else
    Key = Image.At(0, Image.Height - 1) & 0xFFFFFF;
  for (size_t I = 0; I < Image.Pixels.size(); ++I) M.Bits[I] = (Image.Pixels[I] & 0xFFFFFF) == Key ? 1 : 0;
  return M;
}

// ---- built-in pictures ----

const TPixelBuffer& ErrorImage() {
  // A page with a folded corner and a red cross: 16 x 16.
  static const TPixelBuffer Image = [] {
    TPixelBuffer P;
    P.SetSize(16, 16, RGBPixel(255, 255, 255));
    const uint32_t Frame = RGBPixel(128, 128, 128), Cross = RGBPixel(255, 0, 0);
    for (int I = 0; I < 16; ++I) {
      P.At(I, 0) = P.At(I, 15) = P.At(0, I) = P.At(15, I) = Frame;
    }
    for (int I = 4; I < 12; ++I) {
      P.At(I, I) = P.At(I + 1, I) = Cross;
      P.At(15 - I, I) = P.At(14 - I, I) = Cross;
    }
    return P;
  }();
  return Image;
}

const TMaskBuffer& ErrorImageMask() {
  static const TMaskBuffer Mask = [] {
    TMaskBuffer M;
    M.SetSize(16, 16, 0);  // the whole page is opaque except its cut corner
    for (int Y = 0; Y < 3; ++Y)
      for (int X = 16 - 3 + Y; X < 16; ++X) M.At(X, Y) = 1;
    return M;
  }();
  return Mask;
}

const TPixelBuffer& PlaceholderImage() {
  static const TPixelBuffer Image = [] {
    TPixelBuffer P;
    P.SetSize(16, 16, RGBPixel(192, 192, 192));
    for (int I = 0; I < 16; ++I) {
      P.At(I, 0) = P.At(0, I) = RGBPixel(255, 255, 255);
      P.At(I, 15) = P.At(15, I) = RGBPixel(128, 128, 128);
    }
    return P;
  }();
  return Image;
}

TStream* WaitStream() {
  static TMemoryStream Marker;
  return &Marker;
}

// ---- the cache ----

TBitmapItem::TBitmapItem(std::unique_ptr<TPixelBuffer> ABitmap, std::unique_ptr<TMaskBuffer> AMask,
                         uint8_t ATransparency)
    : Transparency(ATransparency), FBitmap(std::move(ABitmap)), FMask(std::move(AMask)) {}

TBitmapItem::TBitmapItem(std::unique_ptr<TGIFImage> AGif, uint8_t ATransparency)
    : Transparency(ATransparency), FGif(std::move(AGif)) {}

int TStringBitmapList::IndexOf(const std::string& Name) const {
  auto It = std::lower_bound(FItems.begin(), FItems.end(), Name,
                             [](const Entry& E, const std::string& N) { return CompareText(E.Name, N) < 0; });
  if (It != FItems.end() && CompareText(It->Name, Name) == 0) return static_cast<int>(It - FItems.begin());
  return -1;
}

int TStringBitmapList::AddObject(const std::string& Name, TBitmapItem* Item) {
  auto It = std::upper_bound(FItems.begin(), FItems.end(), Name,
                             [](const std::string& N, const Entry& E) { return CompareText(N, E.Name) < 0; });
  if (Item) ++Item->Users;
  It = FItems.insert(It, Entry{Name, std::unique_ptr<TBitmapItem>(Item)});
  return static_cast<int>(It - FItems.begin());
}

TBitmapItem* TStringBitmapList::TakeImage(int Index) {
  TBitmapItem* Item = Objects(Index);
  Item->Age = 0;
  ++Item->Users;
  return Item;
}

void TStringBitmapList::AddUser(const std::string& Name) {
  int I = IndexOf(Name);
  if (I >= 0 && Objects(I)) ++Objects(I)->Users;
}

void TStringBitmapList::RemoveUser(const std::string& Name) {
  int I = IndexOf(Name);
  if (I >= 0 && Objects(I)) --Objects(I)->Users;
}

void TStringBitmapList::AgeAndPrune() {
  for (int I = Count() - 1; I >= 0; --I) {
    TBitmapItem* Item = Objects(I);
    if (!Item) continue;
    ++Item->Age;
    if (Item->Age > MaxAge && Item->Users < 1) FItems.erase(FItems.begin() + I);
  }
}

void TStringBitmapList::SetMaxAge(int N) {
  for (int I = Count() - 1; I >= 0; --I) {
    TBitmapItem* Item = Objects(I);
    if (Item && N < Item->Age && Item->Users < 1) FItems.erase(FItems.begin() + I);
  }
  MaxAge = N;
}
