#pragma once
// Picture facts that need no GUI: format detection from the first bytes, the transparent-colour
// probes of GIF and PNG files, masks of pixel pictures, the built-in error and placeholder
// pictures, and the shared image cache of the viewer.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/gifimage.h"
#include "htmlview/pixbuf.h"

class TStream;

enum TImageType : uint8_t { itUnknown = 0, itBMP = 1, itGIF87 = 2, itGIF89 = 3, itPNG = 4, itJPEG = 5 };
// Transparency kinds: none, the lower-left pixel's colour (TRANSP), GIF, PNG.
enum TTransparency : uint8_t { NotTransp = 0, LLCorner = 1, TrGif = 2, TrPng = 3 };

// Colour depth of the screen as the viewer sees it; the platform is always true colour.
constexpr int ColorBits = 24;

TImageType DetectImageType(const uint8_t* Data, size_t Size);
TImageType DetectImageFileType(const std::string& FileName);

// Colours come back as 0x00BBGGRR.
bool GifTransparentColor(const uint8_t* Data, size_t Size, int32_t& Color);
bool PngTransparentColor(const uint8_t* Data, size_t Size, int32_t& Color);
bool GifTransparentColor(TStream& Stream, int32_t& Color);  // the stream position is kept
bool PngTransparentColor(TStream& Stream, int32_t& Color);
bool GifFileTransparentColor(const std::string& FileName, int32_t& Color);
bool PngFileTransparentColor(const std::string& FileName, int32_t& Color);

// Pixels of the colour become 1 (transparent); without a known colour the lower-left pixel's is used.
TMaskBuffer MakeImageMask(const TPixelBuffer& Image, bool ColorKnown, int32_t Color);

// Built-in pictures: shown for an image that cannot be loaded (with its mask), and while an
// image is switched off or its data is still awaited.
const TPixelBuffer& ErrorImage();
const TMaskBuffer& ErrorImageMask();
const TPixelBuffer& PlaceholderImage();

// A stream object whose identity tells that image data will come later.
TStream* WaitStream();

// One entry of the image cache; it owns its picture (a pixel picture or a GIF) and mask.
class TBitmapItem {
 public:
  TBitmapItem(std::unique_ptr<TPixelBuffer> ABitmap, std::unique_ptr<TMaskBuffer> AMask, uint8_t ATransparency);
  TBitmapItem(std::unique_ptr<TGIFImage> AGif, uint8_t ATransparency);
  int Age = 0;
  int Users = 0;
  uint8_t Transparency;
  TPixelBuffer* Bitmap() const { return FBitmap.get(); }
  TGIFImage* Gif() const { return FGif.get(); }
  TMaskBuffer* Mask() const { return FMask.get(); }

 private:
  std::unique_ptr<TPixelBuffer> FBitmap;
  std::unique_ptr<TGIFImage> FGif;
  std::unique_ptr<TMaskBuffer> FMask;
};

// The image cache: names (compared without regard to case, kept sorted) with owned entries.
class TStringBitmapList {
 public:
  TStringBitmapList() = default;
  TStringBitmapList(const TStringBitmapList&) = delete;
  TStringBitmapList& operator=(const TStringBitmapList&) = delete;

  int MaxAge = 4;
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& Strings(int I) const { return FItems.at(static_cast<size_t>(I)).Name; }
  TBitmapItem* Objects(int I) const { return FItems.at(static_cast<size_t>(I)).Item.get(); }
  int IndexOf(const std::string& Name) const;
  // Takes ownership; the entry gets one user.
  int AddObject(const std::string& Name, TBitmapItem* Item);
  // Fetching an entry: its age restarts and it gets one more user.
  TBitmapItem* TakeImage(int Index);
  void AddUser(const std::string& Name);
  void RemoveUser(const std::string& Name);
  // At every document reset: entries age; old ones that nobody uses are dropped.
  void AgeAndPrune();
  void SetMaxAge(int N);
  void Clear() { FItems.clear(); }

 private:
  struct Entry {
    std::string Name;
    std::unique_ptr<TBitmapItem> Item;
  };
  std::vector<Entry> FItems;
};
