// A small software display device: surfaces in system memory whose pixel formats are described by
// channel masks, locks with a pitch, source colour keys, clipped blits and fills, a clipper, a
// palette (kept, but without effect on true-colour surfaces) and a presenter that shows the primary
// surface on screen. The display objects of the framework are thin wrappers over these classes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/gui/geometry.h"

// Result codes of the device (0 = success).
constexpr int32_t ddOK = 0;
constexpr int32_t ddErrGeneric = static_cast<int32_t>(0x80004005u);
constexpr int32_t ddErrInvalidParams = static_cast<int32_t>(0x80070057u);
constexpr int32_t ddErrInvalidRect = static_cast<int32_t>(0x88760096u);
constexpr int32_t ddErrSurfaceBusy = static_cast<int32_t>(0x887601AEu);
constexpr int32_t ddErrSurfaceLost = static_cast<int32_t>(0x887601C2u);
constexpr int32_t ddErrBltFastCantClip = static_cast<int32_t>(0x8876023Eu);
constexpr int32_t ddErrNoClipperAttached = static_cast<int32_t>(0x887600CDu);
constexpr int32_t ddErrUnsupportedMode = static_cast<int32_t>(0x8876024Eu);
constexpr int32_t ddErrNotLocked = static_cast<int32_t>(0x887602AAu);
constexpr int32_t ddErrOutOfMemory = static_cast<int32_t>(0x8007000Eu);

// Blit flags of the full blit.
constexpr uint32_t DDBLT_DDFX = 0x00000800;
constexpr uint32_t DDBLT_COLORFILL = 0x00000400;
constexpr uint32_t DDBLT_KEYSRC = 0x00008000;
constexpr uint32_t DDBLT_WAIT = 0x01000000;
// Flags of the fast blit.
constexpr uint32_t DDBLTFAST_SRCCOLORKEY = 0x01;
constexpr uint32_t DDBLTFAST_WAIT = 0x10;
// Effects of the full blit.
constexpr uint32_t DDBLTFX_MIRRORLEFTRIGHT = 0x02;
constexpr uint32_t DDBLTFX_MIRRORUPDOWN = 0x04;
// Colour key kinds.
constexpr uint32_t DDCKEY_SRCBLT = 0x08;
// Surface capabilities.
constexpr uint32_t DDSCAPS_BACKBUFFER = 0x04;
constexpr uint32_t DDSCAPS_COMPLEX = 0x08;
constexpr uint32_t DDSCAPS_FLIP = 0x10;
constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40;
constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;
constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x800;
constexpr uint32_t DDSCAPS_VIDEOMEMORY = 0x4000;
// Cooperative levels.
constexpr uint32_t DDSCL_FULLSCREEN = 0x01;
constexpr uint32_t DDSCL_ALLOWREBOOT = 0x02;
constexpr uint32_t DDSCL_NOWINDOWCHANGES = 0x04;
constexpr uint32_t DDSCL_NORMAL = 0x08;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;
constexpr uint32_t DDSCL_ALLOWMODEX = 0x40;
// Palette capabilities.
constexpr uint32_t DDPCAPS_8BIT = 0x04;
constexpr uint32_t DDPCAPS_INITIALIZE = 0x08;
constexpr uint32_t DDPCAPS_ALLOW256 = 0x40;
constexpr uint8_t PC_NOCOLLAPSE = 0x04;

// Pixel format: bit count and channel masks; Indexed for palette surfaces (8 bits or fewer).
struct TDDPixelFormat {
  int BitCount = 0;
  uint32_t RBitMask = 0, GBitMask = 0, BBitMask = 0, AlphaBitMask = 0;
  bool Indexed = false;
  bool operator==(const TDDPixelFormat&) const = default;
};
// The formats the device offers for each depth: 8 indexed, 16 as 5-6-5, 24 and 32 as 8-8-8.
TDDPixelFormat DDPixelFormatOf(int BitCount);

// One channel of a mask: value (0..255) = ((pixel & Mask) >> Right) << Left, and back.
struct TDDChannel {
  uint32_t Mask = 0;
  int Bits = 0, Right = 0, Left = 0;
  static TDDChannel FromMask(uint32_t Mask);
  uint32_t Expand(uint32_t Pixel) const { return ((Pixel & Mask) >> Right) << Left; }
  uint32_t Pack(uint32_t Value) const { return ((Value >> Left) << Right) & Mask; }
};

struct TDDPaletteEntry {
  uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
};

class TDDSoftPalette {
 public:
  explicit TDDSoftPalette(uint32_t Caps) : FCaps(Caps) {}
  uint32_t Caps() const { return FCaps; }
  int32_t SetEntries(int Start, int Count, const TDDPaletteEntry* Entries);
  int32_t GetEntries(int Start, int Count, TDDPaletteEntry* Entries) const;
  const std::array<TDDPaletteEntry, 256>& Entries() const { return FEntries; }

 private:
  uint32_t FCaps;
  std::array<TDDPaletteEntry, 256> FEntries{};
};

// Clips blits on the surface it is attached to: to the rectangle of its window (the whole surface
// when no window size is known).
class TDDSoftClipper {
 public:
  // The window's client size; an empty size means the whole destination surface.
  void SetWindowSize(int Width, int Height) { FWindow = TRect(0, 0, Width, Height); }
  const TRect& Window() const { return FWindow; }
  bool Bound() const { return FBound; }
  void SetBound(bool V) { FBound = V; }

 private:
  TRect FWindow;
  bool FBound = false;
};

struct TDDSurfaceDesc {
  uint32_t Caps = 0;
  int Width = 0, Height = 0;
  int BackBufferCount = 0;
  int Pitch = 0;
  uint8_t* Surface = nullptr;  // the locked bits (row 0 first)
  TDDPixelFormat PixelFormat;
  uint32_t ColorKeyLow = 0, ColorKeyHigh = 0;
  bool HasSrcColorKey = false;
};

struct TDDBltFx {
  uint32_t DDFX = 0;         // mirroring
  uint32_t FillColor = 0;    // device colour of a colour fill
};

class TDDSoftDevice;

class TDDSoftSurface {
 public:
  TDDSoftSurface(TDDSoftDevice* Device, int Width, int Height, const TDDPixelFormat& Format, uint32_t Caps);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int Pitch() const { return FPitch; }
  const TDDPixelFormat& PixelFormat() const { return FFormat; }
  uint32_t Caps() const { return FCaps; }
  TDDSurfaceDesc Desc() const;

  int32_t Lock(const TRect* R, TDDSurfaceDesc& Desc);
  int32_t Unlock();
  bool Locked() const { return FLocked; }
  int32_t SetColorKey(uint32_t Flags, uint32_t Low, uint32_t High);
  int32_t GetColorKey(uint32_t& Low, uint32_t& High) const;
  bool HasColorKey() const { return FHasKey; }
  int32_t SetClipper(std::shared_ptr<TDDSoftClipper> Clipper);
  std::shared_ptr<TDDSoftClipper> Clipper() const { return FClipper; }
  int32_t SetPalette(std::shared_ptr<TDDSoftPalette> Palette);
  std::shared_ptr<TDDSoftPalette> Palette() const { return FPalette; }
  // Full blit: Dest and SrcRect of nullptr mean whole surfaces; sizes that differ stretch by the
  // nearest pixel. Everything is clipped to this surface (and its clipper); pixels are never read
  // or written outside either surface.
  int32_t Blt(const TRect* Dest, TDDSoftSurface* Src, const TRect* SrcRect, uint32_t Flags, const TDDBltFx* Fx);
  // Fast blit of a source rectangle at (X, Y): refuses when a clipper is attached and when the
  // rectangle does not lie inside both surfaces.
  int32_t BltFast(int X, int Y, TDDSoftSurface* Src, const TRect* SrcRect, uint32_t Flags);
  // Flip of a primary with a back buffer: exchanges the two memories and presents.
  int32_t Flip();
  TDDSoftSurface* AttachedBackBuffer() const { return FBackBuffer.get(); }
  bool IsLost() const { return FLost; }
  void MarkLost() { FLost = true; }
  int32_t Restore();

  // Raw pixel access for the device's own users (no lock needed, never outside the surface).
  uint32_t GetPixel(int X, int Y) const;
  void SetPixel(int X, int Y, uint32_t V);
  uint8_t* Row(int Y) { return FBits.data() + static_cast<size_t>(Y) * static_cast<size_t>(FPitch); }
  const uint8_t* Row(int Y) const { return FBits.data() + static_cast<size_t>(Y) * static_cast<size_t>(FPitch); }
  // 0x00RRGGBB of a device pixel (through the palette for indexed surfaces) and back.
  uint32_t PixelToRGB(uint32_t Pixel) const;
  uint32_t RGBToPixel(uint32_t RGB) const;
  // Row Y as opaque 0xFFRRGGBB values (Width of them).
  void RowToARGB(int Y, uint32_t* Out) const;
  TDDSoftDevice* Device() const { return FDevice; }

 private:
  friend class TDDSoftDevice;
  TDDSoftDevice* FDevice;
  int FWidth, FHeight, FPitch;
  TDDPixelFormat FFormat;
  TDDChannel FR, FG, FB;  // the channels of an RGB format
  // 16-bit RGB: 0xFFRRGGBB of the low and the high byte of a pixel (the channels of the two bytes
  // expand independently, so a pixel is the sum of both).
  std::vector<uint32_t> FExpandLo, FExpandHi;
  uint32_t FCaps;
  std::vector<uint8_t> FBits;
  bool FLocked = false;
  bool FLost = false;
  bool FHasKey = false;
  uint32_t FKeyLow = 0, FKeyHigh = 0;
  std::shared_ptr<TDDSoftClipper> FClipper;
  std::shared_ptr<TDDSoftPalette> FPalette;
  std::unique_ptr<TDDSoftSurface> FBackBuffer;
};

struct TDDDisplayMode {
  int Width = 0, Height = 0, BitCount = 0;
};

// The device. The presenter receives the primary surface whenever something was blitted or flipped
// onto it; the cooperative-level hook learns about full-screen requests.
class TDDSoftDevice {
 public:
  TDDSoftDevice();
  std::function<void(TDDSoftSurface* Primary)> OnPresent;
  std::function<void(bool FullScreen)> OnCooperativeLevel;

  // Display modes the device accepts: the platform's modes (when a caller has set them, else the
  // desktop's), always with 800 x 600 x 16.
  static void SetPlatformModes(std::vector<TDDDisplayMode> Modes);
  static std::vector<TDDDisplayMode> PlatformModes();
  std::vector<TDDDisplayMode> EnumDisplayModes() const;
  // The desktop's mode: the mode in force outside exclusive mode, so windowed surfaces take its
  // format. A device without a desktop behaves as 800 x 600 x 16.
  void SetDesktopMode(const TDDDisplayMode& Mode);
  int32_t SetDisplayMode(int Width, int Height, int BitCount);
  const TDDDisplayMode& DisplayMode() const { return FMode; }
  int32_t SetCooperativeLevel(uint32_t Flags);
  uint32_t CooperativeLevel() const { return FCooperative; }
  // The size the primary surface takes (the window's client area, or the mode when full screen).
  void SetPrimarySize(int Width, int Height);
  // Creates a surface: the primary (with a back buffer when BackBufferCount > 0) or an off-screen one
  // in the display's pixel format. Sizes are limited so that memory stays sane.
  int32_t CreateSurface(const TDDSurfaceDesc& Desc, std::unique_ptr<TDDSoftSurface>& Out);
  void Present(TDDSoftSurface* Primary);

 private:
  TDDDisplayMode FMode, FDesktop;
  bool FHasDesktop = false;
  uint32_t FCooperative = 0;
  int FPrimaryWidth = 800, FPrimaryHeight = 600;
};
