// The display objects of the framework: the device object TDirectDraw, surfaces with colour-key
// drawing, canvases, palettes and clippers on the software device, the display-mode settings
// TDXDrawDisplay and the display control TCustomDXDraw / TDXDraw that a window owns.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/ddraw_soft.h"
#include "dx/dib.h"
#include "dx/directx.h"
#include "dx/dxconsts.h"
#include "platform/gui/controls.h"
#include "platform/gui/graphics.h"

VX_DECLARE_EXCEPTION(EDirectDrawError, EDirectXError)
VX_DECLARE_EXCEPTION(EDirectDrawPaletteError, EDirectDrawError)
VX_DECLARE_EXCEPTION(EDirectDrawClipperError, EDirectDrawError)
VX_DECLARE_EXCEPTION(EDirectDrawSurfaceError, EDirectDrawError)
VX_DECLARE_EXCEPTION(EDXDrawError, Exception)

class TDirectDrawSurface;
class TDirectDrawPalette;
class TDirectDrawClipper;

class TDirectDraw : public TDirectX {
 public:
  // The device object (DirectX7Mode is kept for callers; the software device has one interface).
  explicit TDirectDraw(const void* GUID = nullptr, bool DirectX7Mode = true);
  ~TDirectDraw() override;
  std::string ClassName() const override { return "TDirectDraw"; }
  // The device; the raising form says "IDirectDraw not made" when there is none.
  TDDSoftDevice* IDraw() const { return FDevice.get(); }
  TDDSoftDevice* IDDraw() const;
  int SurfaceCount() const { return static_cast<int>(FSurfaces.size()); }
  int PaletteCount() const { return static_cast<int>(FPalettes.size()); }
  int ClipperCount() const { return static_cast<int>(FClippers.size()); }

 private:
  friend class TDirectDrawSurface;
  friend class TDirectDrawPalette;
  friend class TDirectDrawClipper;
  std::unique_ptr<TDDSoftDevice> FDevice;
  std::vector<TDirectDrawSurface*> FSurfaces;
  std::vector<TDirectDrawPalette*> FPalettes;
  std::vector<TDirectDrawClipper*> FClippers;
};

class TDirectDrawPalette : public TDirectX {
 public:
  explicit TDirectDrawPalette(TDirectDraw* DDraw);
  ~TDirectDrawPalette() override;
  bool CreatePalette(uint32_t Caps, const TDDPaletteEntry* Entries);
  bool SetEntries(int Start, int Count, const TDDPaletteEntry* Entries);
  std::shared_ptr<TDDSoftPalette> IPalette() const { return FPalette; }
  std::shared_ptr<TDDSoftPalette> IDDPalette() const;

 private:
  friend class TDirectDraw;
  TDirectDraw* FDDraw;
  std::shared_ptr<TDDSoftPalette> FPalette;
};

class TDirectDrawClipper : public TDirectX {
 public:
  explicit TDirectDrawClipper(TDirectDraw* DDraw);
  ~TDirectDrawClipper() override;
  // Binds the clipper to a control's client area.
  void SetHandle(TControl* Control);
  std::shared_ptr<TDDSoftClipper> IClipper() const { return FClipper; }
  std::shared_ptr<TDDSoftClipper> IDDClipper() const;

 private:
  friend class TDirectDraw;
  TDirectDraw* FDDraw;
  std::shared_ptr<TDDSoftClipper> FClipper;
};

// A canvas on a surface: drawing goes to a copy of the surface's pixels that Release writes back.
// Every lock or blit of the surface releases the canvas first.
class TDirectDrawSurfaceCanvas : public TObject {
 public:
  explicit TDirectDrawSurfaceCanvas(TDirectDrawSurface* Surface) : FSurface(Surface) {}
  // The canvas to draw on (taken from the surface on first use).
  TCanvas* Canvas();
  void Release();
  bool Held() const { return FHeld; }

 private:
  TDirectDrawSurface* FSurface;
  TBitmap FBitmap;
  std::vector<uint32_t> FTaken;  // the surface's pixels as the canvas got them
  bool FHeld = false;
};

class TDirectDrawSurface : public TDirectX {
 public:
  explicit TDirectDrawSurface(TDirectDraw* DDraw);
  ~TDirectDrawSurface() override;
  std::string ClassName() const override { return "TDirectDrawSurface"; }

  TDirectDraw* DDraw() const { return FDDraw; }
  TDDSoftSurface* ISurface() const { return FSurface.get(); }
  TDDSoftSurface* IDDSurface() const;  // raises "IDirectDrawSurface not made" without a surface
  void SetISurface(std::shared_ptr<TDDSoftSurface> Value);
  bool CreateSurface(const TDDSurfaceDesc& Desc);
  void SetSize(int AWidth, int AHeight);
  int Width() const { return FSurface ? FSurface->Width() : 0; }
  int Height() const { return FSurface ? FSurface->Height() : 0; }
  int BitCount() const { return FSurface ? FSurface->PixelFormat().BitCount : 0; }
  const TDDSurfaceDesc& SurfaceDesc() const { return FDesc; }
  TRect ClientRect() const { return TRect(0, 0, Width(), Height()); }
  bool SystemMemory() const { return FSystemMemory; }
  void SetSystemMemory(bool V) { FSystemMemory = V; }
  bool HasClipper() const { return FHasClipper; }

  void SetTransparentColor(uint32_t Value);
  bool SetColorKey(uint32_t Flags, uint32_t Low, uint32_t High);
  bool SetPalette(TDirectDrawPalette* Palette);
  bool SetClipper(TDirectDrawClipper* Clipper);
  bool Restore();
  bool IsLost() const { return FSurface && FSurface->IsLost(); }

  bool Lock(const TRect* R, TDDSurfaceDesc& Desc);
  void Unlock();
  int LockCount() const { return FLockCount; }
  uint32_t Pixels(int X, int Y);
  void SetPixels(int X, int Y, uint32_t Value);
  // The device value of a colour on this surface (0 without a surface).
  uint32_t ColorMatch(TColor Color);

  void Fill(uint32_t DevColor);
  bool Blt(const TRect& Dest, const TRect& Src, uint32_t Flags, const TDDBltFx* Fx, TDirectDrawSurface* Source);
  bool BltFast(int X, int Y, TDirectDrawSurface* Source, const TRect& Src, uint32_t Flags);
  void Draw(int X, int Y, const TRect& SrcRect, TDirectDrawSurface* Source, bool Transparent);
  void Draw(int X, int Y, TDirectDrawSurface* Source, bool Transparent) {
    if (Source) Draw(X, Y, Source->ClientRect(), Source, Transparent);
  }
  // Rows of the source rectangle drawn into (X, Y, Width, Height), each shifted by the wave and
  // blended: additive at Alpha >= 255, else the source scaled by Alpha / 256 added.
  void DrawWaveBlended(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect, TDirectDrawSurface* Source,
                       bool Transparent, int Amplitude, int WaveLength, int Phase, int Alpha);

  TCanvas* Canvas();
  TDirectDrawSurfaceCanvas* SurfaceCanvas();
  // Writes canvas drawing back (the canvas's Release).
  void ReleaseCanvas();

  void LoadFromGraphic(TGraphic* Graphic);
  void LoadFromGraphicRect(TGraphic* Graphic, int AWidth, int AHeight, const TRect& Src);
  void Assign(TPersistent* Source) override;
  // The surface as a 24-bit DIB.
  void AssignTo(TDIB* Dest);

 protected:
  using TPersistent::AssignTo;

 private:
  friend class TDirectDraw;
  void FlushCanvas();
  TDirectDraw* FDDraw;
  std::shared_ptr<TDDSoftSurface> FSurface;
  TDDSurfaceDesc FDesc;
  std::unique_ptr<TDirectDrawSurfaceCanvas> FCanvas;
  bool FHasClipper = false;
  bool FSystemMemory = false;
  int FLockCount = 0;
};

// Moves Dest and Src together so that each lies inside its clip; true when both stay non-empty.
bool ClipRects(TRect& Dest, TRect& Src, const TRect& DestClip, const TRect& SrcClip);

// ---------------------------------------------------------------------------------------------
class TCustomDXDraw;

class TDXDrawDisplayMode {
 public:
  int Width = 0, Height = 0, BitCount = 0;
};

class TDXDrawDisplay : public TPersistent {
 public:
  explicit TDXDrawDisplay(TCustomDXDraw* Owner);
  std::string ClassName() const override { return "TDXDrawDisplay"; }
  void Assign(TPersistent* Source) override;

  int BitCount() const { return FBitCount; }
  void SetBitCount(int Value);
  int Width() const { return FWidth; }
  void SetWidth(int Value) { FWidth = Value < 0 ? 0 : Value; }
  int Height() const { return FHeight; }
  void SetHeight(int Value) { FHeight = Value < 0 ? 0 : Value; }
  bool FixedBitCount() const { return FFixedBitCount; }
  void SetFixedBitCount(bool V) { FFixedBitCount = V; }
  bool FixedRatio() const { return FFixedRatio; }
  void SetFixedRatio(bool V) { FFixedRatio = V; }
  bool FixedSize() const { return FFixedSize; }
  void SetFixedSize(bool V) { FFixedSize = V; }

  int Count();
  const TDXDrawDisplayMode& Modes(int Index);
  int IndexOf(int AWidth, int AHeight, int ABitCount);
  bool SetSize(int AWidth, int AHeight, int ABitCount);
  bool ChangeMode(int AWidth, int AHeight, int ABitCount);
  void ClearModes() {
    FModes.clear();
    FModesRead = false;
  }

 private:
  void ReadModes();
  bool SearchMode(int W, int H, int Bits, bool KeepRatio);
  TCustomDXDraw* FOwner;
  int FBitCount = 8, FHeight = 480, FWidth = 640;
  bool FFixedBitCount = true, FFixedRatio = true, FFixedSize = false;
  std::vector<TDXDrawDisplayMode> FModes;
  bool FModesRead = false;
};

enum TDXDrawOption {
  doFullScreen = 0, doNoWindowChange, doAllowReboot, doWaitVBlank, doAllowPalette256, doSystemMemory, doStretch,
  doCenter, doFlip, do3D, doDirectX7Mode, doRetainedMode, doHardware, doSelectDriver, doZBuffer
};
using TDXDrawOptions = uint16_t;
constexpr TDXDrawOptions Opt(TDXDrawOption O) { return static_cast<TDXDrawOptions>(1u << O); }
template <class... T>
constexpr TDXDrawOptions Opts(T... O) {
  return static_cast<TDXDrawOptions>((0u | ... | (1u << O)));
}

enum TDXDrawNotifyType {
  dnDestroying = 0, dnInitializing, dnInitialize, dnInitializeSurface, dnFinalize, dnFinalizeSurface, dnRestore,
  dnSetSurfaceSize
};
using TDXDrawNotifyEvent = std::function<void(TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType)>;

class TDXDrawDriver;

class TCustomDXDraw : public TCustomControl {
 public:
  explicit TCustomDXDraw(TComponent* AOwner);
  ~TCustomDXDraw() override;
  std::string ClassName() const override { return "TCustomDXDraw"; }

  void Initialize();
  void Finalize();
  void Flip();
  bool ReadyToDraw();
  void Restore();
  bool CheckSurfaces();
  void UpdatePalette(const TRGBQuads& Table);
  void SetSurfaceSize(int AWidth, int AHeight);
  void RegisterListener(void* Data, TDXDrawNotifyEvent Callback);
  void UnregisterListener(void* Data);
  // Moves a client component from the display in Field to Value: it leaves the old display's
  // listeners and free notices, and joins the new one's with Callback.
  static void Rebind(TComponent* Client, TCustomDXDraw*& Field, TCustomDXDraw* Value, TDXDrawNotifyEvent Callback);
  void NotifyListeners(TDXDrawNotifyType Code);

  bool AutoInitialize() const { return FAutoInitialize; }
  void SetAutoInitialize(bool V) { FAutoInitialize = V; }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool V);
  TDXDrawOptions Options() const { return FOptions; }
  void SetOptions(TDXDrawOptions Value);
  TDXDrawOptions EffectiveOptions() const { return FNowOptions; }
  bool Initialized() const { return FInitialized; }
  int SurfaceWidth() const;
  void SetSurfaceWidth(int V);
  int SurfaceHeight() const;
  void SetSurfaceHeight(int V);
  TDXDrawDisplay* Display() const { return FDisplay.get(); }
  void SetDisplay(TDXDrawDisplay* V) { FDisplay->Assign(V); }
  TDirectDraw* DDraw() const { return FDDraw; }
  TDirectDrawSurface* Primary() const { return FPrimary; }
  TDirectDrawSurface* Surface() const { return FSurface; }
  TDirectDrawPalette* Palette() const { return FPalette; }
  TDirectDrawClipper* Clipper() const { return FClipper; }
  TForm* OwnerForm() const { return FForm; }
  TRGBQuads ColorTable, DefaultColorTable;

  TNotifyEvent OnFinalize, OnFinalizeSurface, OnInitialize, OnInitializeSurface, OnInitializing, OnRestoreSurface;

  void SetParent(TWinControl* P) override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Paint() override;
  // What was last presented on the control (the primary surface's pixels).
  const TBitmap& Presented() const;

 protected:
  void Loaded() override;
  virtual void DoFinalize();
  virtual void DoFinalizeSurface();
  virtual void DoInitialize();
  virtual void DoInitializeSurface();
  virtual void DoInitializing();
  virtual void DoRestoreSurface();

 private:
  friend class TDXDrawDriver;
  friend class TDXDrawDriverBlt;
  friend class TDXDrawDriverFlip;
  friend class TDXDrawDisplay;
  // Presenting only notes the primary; its pixels are taken when they are shown or asked for.
  void Present(TDDSoftSurface* Primary);
  void TakePresented() const;
  struct TListener {
    void* Data;
    TDXDrawNotifyEvent Callback;
  };
  bool FAutoInitialize = true, FAutoSize = true;
  bool FCalledDoInitialize = false, FCalledDoInitializeSurface = false;
  TForm* FForm = nullptr;
  std::vector<TListener> FNotifyEventList;
  bool FInitialized = false, FInitialized2 = false, FStarted = false, FUpdating = false;
  TDXDrawOptions FNowOptions = 0, FOptions = 0;
  int FOffNotifyRestore = 0;
  std::unique_ptr<TDXDrawDriver> FDriver;
  std::unique_ptr<TDXDrawDisplay> FDisplay;
  TDirectDraw* FDDraw = nullptr;
  TDirectDrawClipper* FClipper = nullptr;
  TDirectDrawPalette* FPalette = nullptr;
  TDirectDrawSurface* FPrimary = nullptr;
  TDirectDrawSurface* FSurface = nullptr;
  int FSurfaceWidth = 0, FSurfaceHeight = 0;
  mutable TBitmap FPresented;
  mutable TDDSoftSurface* FPresentedFrom = nullptr;  // pixels not yet taken
  bool FInPaint = false;
};

class TDXDraw : public TCustomDXDraw {
 public:
  explicit TDXDraw(TComponent* AOwner) : TCustomDXDraw(AOwner) {}
  std::string ClassName() const override { return "TDXDraw"; }
};
