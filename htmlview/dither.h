#pragma once
// Colour reduction of true-colour pictures to 8-bit pictures with a palette: nearest-colour
// lookups (cached per 5-5-5 colour, or the fixed 6x6x6 cube), plain mapping or Floyd-Steinberg
// error diffusion in serpentine order, and palettes from the system colours, the viewer's own
// palette, the cube or an octree quantiser. The screen is true colour, so the viewer never needs
// these at run time; they are kept as pure functions on pixel buffers.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "htmlview/pixbuf.h"

struct TPaletteEntry {
  uint8_t R = 0, G = 0, B = 0, Flags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};
using TPalette = std::vector<TPaletteEntry>;

// An 8-bit picture: one palette index per pixel, rows top-down.
struct T8BitImage {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Indices;
  TPalette Palette;
};

int RowBytes(int Pixels, int BitsPerPixel, int Alignment);

// The system's 20 static colours (first ten, then the last ten of a 256-entry palette).
TPalette DefaultPalette();
// The 6x6x6 cube of the fixed palette: entry r*36 + g*6 + b = (51r, 51g, 51b).
TPalette NetscapePalette();
// The viewer's 256-colour palette: system colours at 0-9 and 246-255, a 215-colour cube and 21 greys.
TPalette ViewerPalette();

class TColorLookup {
 public:
  virtual ~TColorLookup() = default;
  int Colors = 0;
  virtual int NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) = 0;
};

class TFastColorLookup : public TColorLookup {
 public:
  explicit TFastColorLookup(const TPalette& Palette);
  int NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;

 private:
  TPalette FPalette;
  std::vector<uint16_t> FInverse;  // 32768 entries, 0xFFFF = not yet known
};

class TNetscapeColorLookup : public TColorLookup {
 public:
  TNetscapeColorLookup() { Colors = 216; }
  int NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
};

class TDitherEngine {
 public:
  TDitherEngine(int AWidth, TColorLookup& ALookup) : Width(AWidth), ColorLookup(ALookup) {}
  virtual ~TDitherEngine() = default;
  int Direction = 1;
  int Column = 0;
  int Width;
  TColorLookup& ColorLookup;
  virtual int MapPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B);
  virtual void NextRow();
};

class TFloydSteinbergEngine : public TDitherEngine {
 public:
  TFloydSteinbergEngine(int AWidth, TColorLookup& ALookup);
  int MapPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
  void NextRow() override;

 private:
  std::array<std::vector<int>, 3> FErrors;
  int FCurrent = 0;
  std::array<int, 3> FCarry{}, FPending0{}, FPending1{};
};

class TColorQuantizer {
 public:
  TColorQuantizer(int AMaxColors, int AColorBits);
  ~TColorQuantizer();
  void ProcessImage(const TPixelBuffer& Image);
  void AddColor(uint8_t R, uint8_t G, uint8_t B);
  TPalette GetColorTable() const;
  int LeafCount() const { return FLeafCount; }

 private:
  struct Node;
  Node* AddPixel(Node* N, uint8_t R, uint8_t G, uint8_t B, int Level);
  void MergeDeepest();
  std::unique_ptr<Node> FTree;
  int FLeafCount = 0;
  std::array<Node*, 8> FReducible{};
  int FMaxColors, FColorBits;
};

// An optimised palette; with KeepSystemColors 256 entries with the system colours around 236
// quantised ones.
TPalette QuantisedPalette(const TPixelBuffer& Image, int Colors, int ColorBits, bool KeepSystemColors);

enum TReduction { rmNone = 0, rmWindows20 = 1, rmNetscape = 3, rmViewerPalette = 4, rmOptimized = 5 };
enum TDitherMode { dmNearest = 0, dmFloydSteinberg = 1 };

// False for rmNone (the picture stays true colour). Unknown reductions or dither modes leave the
// indices 0.
bool ReduceBitmap(const TPixelBuffer& Source, int Reduction, int DitherMode, T8BitImage& Out);
// Reduction for a screen of ScreenBits bits per pixel: none from 9 bits up.
bool ReduceForScreen(const TPixelBuffer& Source, int ScreenBits, T8BitImage& Out);
