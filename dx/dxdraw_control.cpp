// The display control and its display-mode settings.
#include <algorithm>
#include <climits>

#include "dx/dxdraws.h"

namespace {
// A window shows the desktop's format (true colour); full screen sets its own mode.
void UseDesktopMode(TDDSoftDevice* Device) {
  Device->SetDesktopMode({Screen->Width(), Screen->Height(), Screen->ColorBits()});
}
}  // namespace

// ---------------------------------------------------------------------------------------------
TDXDrawDisplay::TDXDrawDisplay(TCustomDXDraw* Owner) : FOwner(Owner) {}

void TDXDrawDisplay::Assign(TPersistent* Source) {
  if (auto* d = dynamic_cast<TDXDrawDisplay*>(Source)) {
    FBitCount = d->FBitCount;
    FWidth = d->FWidth;
    FHeight = d->FHeight;
    FFixedBitCount = d->FFixedBitCount;
    FFixedRatio = d->FFixedRatio;
    FFixedSize = d->FFixedSize;
    return;
  }
  TPersistent::Assign(Source);
}

void TDXDrawDisplay::SetBitCount(int Value) {
  if (Value != 8 && Value != 16 && Value != 24 && Value != 32) throw EDirectDrawError(SDXDisplayBits);
  FBitCount = Value;
}

void TDXDrawDisplay::ReadModes() {
  if (FModesRead) return;
  std::vector<TDDDisplayMode> modes;
  if (FOwner && FOwner->DDraw()) {
    modes = FOwner->DDraw()->IDDraw()->EnumDisplayModes();
  } else {
    TDirectDraw temporary;
    UseDesktopMode(temporary.IDDraw());
    modes = temporary.IDDraw()->EnumDisplayModes();
  }
  FModes.clear();
  for (const TDDDisplayMode& m : modes) FModes.push_back({m.Width, m.Height, m.BitCount});
  std::stable_sort(FModes.begin(), FModes.end(), [](const TDXDrawDisplayMode& a, const TDXDrawDisplayMode& b) {
    if (a.Width != b.Width) return a.Width < b.Width;
    if (a.Height != b.Height) return a.Height < b.Height;
    return a.BitCount < b.BitCount;
  });
  FModesRead = true;
}

int TDXDrawDisplay::Count() {
  ReadModes();
  return static_cast<int>(FModes.size());
}

const TDXDrawDisplayMode& TDXDrawDisplay::Modes(int Index) {
  ReadModes();
  if (Index < 0 || Index >= static_cast<int>(FModes.size()))
    throw EListError(Format("List index out of bounds (%d)", {Index}));
  return FModes[static_cast<size_t>(Index)];
}

int TDXDrawDisplay::IndexOf(int W, int H, int Bits) {
  ReadModes();
  for (size_t i = 0; i < FModes.size(); ++i)
    if (FModes[i].Width == W && FModes[i].Height == H && FModes[i].BitCount == Bits) return static_cast<int>(i);
  return -1;
}

bool TDXDrawDisplay::ChangeMode(int W, int H, int Bits) {
  if (!FOwner || !FOwner->DDraw()) return false;
  if (FOwner->DDraw()->IDDraw()->SetDisplayMode(W, H, Bits) != ddOK) return false;
  FWidth = W;
  FHeight = H;
  FBitCount = Bits;
  return true;
}

bool TDXDrawDisplay::SearchMode(int W, int H, int Bits, bool KeepRatio) {
  ReadModes();
  int bestW = INT_MAX, bestH = INT_MAX, bestBits = 0;
  bool found = false;
  for (const TDXDrawDisplayMode& m : FModes) {
    if (m.Width > bestW || m.Height > bestH) continue;
    if (KeepRatio && static_cast<double>(m.Width) / m.Height != static_cast<double>(W) / H) continue;
    if (FFixedSize ? (m.Width != W || m.Height != H) : (m.Width < W || m.Height < H)) continue;
    if (FFixedBitCount) {
      if (m.BitCount != Bits) continue;
    } else if (m.BitCount != Bits && (m.BitCount <= 8 || Bits <= 8) && m.BitCount < Bits) {
      continue;
    }
    bestW = m.Width;
    bestH = m.Height;
    bestBits = m.BitCount;
    found = true;
  }
  if (!found) return false;
  if (bestBits != Bits && IndexOf(bestW, bestH, Bits) >= 0) bestBits = Bits;
  return ChangeMode(bestW, bestH, bestBits);
}

bool TDXDrawDisplay::SetSize(int W, int H, int Bits) {
  if (W < 1 || H < 1 || (Bits != 8 && Bits != 16 && Bits != 24 && Bits != 32)) return false;
  if (ChangeMode(W, H, Bits)) return true;
  if (FFixedRatio && SearchMode(W, H, Bits, true)) return true;
  return SearchMode(W, H, Bits, false);
}

// ---------------------------------------------------------------------------------------------
// Drivers: create the device, the primary and back surfaces, clipper and palette.
class TDXDrawDriver {
 public:
  explicit TDXDrawDriver(TCustomDXDraw* Control) : FDXDraw(Control) {
    Control->FDDraw = new TDirectDraw(nullptr, (Control->FOptions & Opt(doDirectX7Mode)) != 0);
    UseDesktopMode(Control->FDDraw->IDDraw());
    Control->FDDraw->IDDraw()->OnPresent = [Control](TDDSoftSurface* P) { Control->Present(P); };
    // Exclusive full-screen mode is the form's full-screen window. A control whose parent is gone
    // is being freed with its form and leaves the form alone.
    Control->FDDraw->IDDraw()->OnCooperativeLevel = [Control](bool Full) {
      if (Control->FForm && Control->Parent()) Control->FForm->SetFullScreen(Full);
    };
  }
  virtual ~TDXDrawDriver() {
    Finalize();
    // Releasing the device ends exclusive mode: the window leaves full screen with it.
    TDDSoftDevice* dev = FDXDraw->FDDraw->IDraw();
    if (dev && (dev->CooperativeLevel() & DDSCL_FULLSCREEN)) dev->SetCooperativeLevel(DDSCL_NORMAL);
    delete FDXDraw->FDDraw;
    FDXDraw->FDDraw = nullptr;
  }
  virtual void Finalize() {
    TCustomDXDraw* c = FDXDraw;
    // The picture on the control stays as it was last presented.
    c->TakePresented();
    delete c->FClipper;
    c->FClipper = nullptr;
    delete c->FPalette;
    c->FPalette = nullptr;
    delete c->FSurface;
    c->FSurface = nullptr;
    delete c->FPrimary;
    c->FPrimary = nullptr;
  }
  virtual void Flip() {}
  virtual void Initialize() {}
  virtual bool SetSize(int, int) { return false; }
  bool Restore() {
    TCustomDXDraw* c = FDXDraw;
    if (!c->FPrimary || !c->FSurface) return false;
    if (!c->FPrimary->Restore() || !c->FSurface->Restore()) return false;
    c->FPrimary->Fill(0);
    c->FSurface->Fill(0);
    return true;
  }

 protected:
  void MakePalette(uint32_t Caps) {
    TCustomDXDraw* c = FDXDraw;
    c->FPalette = new TDirectDrawPalette(c->FDDraw);
    std::array<TDDPaletteEntry, 256> e{};
    for (size_t i = 0; i < 256; ++i)
      e[i] = TDDPaletteEntry{c->ColorTable[i].rgbRed, c->ColorTable[i].rgbGreen, c->ColorTable[i].rgbBlue, PC_NOCOLLAPSE};
    c->FPalette->CreatePalette(Caps, e.data());
  }
  TCustomDXDraw* FDXDraw;
};

class TDXDrawDriverBlt : public TDXDrawDriver {
 public:
  using TDXDrawDriver::TDXDrawDriver;
  void Initialize() override {
    TCustomDXDraw* c = FDXDraw;
    TDDSoftDevice* dev = c->FDDraw->IDDraw();
    dev->SetPrimarySize(std::max(c->Width(), 1), std::max(c->Height(), 1));
    c->FPrimary = new TDirectDrawSurface(c->FDDraw);
    TDDSurfaceDesc d;
    d.Caps = DDSCAPS_PRIMARYSURFACE;
    if (!c->FPrimary->CreateSurface(d)) throw EDXDrawError(Format(SDXCannotMake, {SDXNamePrimarySurface}));
    c->FSurface = new TDirectDrawSurface(c->FDDraw);
    c->FClipper = new TDirectDrawClipper(c->FDDraw);
    c->FClipper->SetHandle(c);
    c->FPrimary->SetClipper(c->FClipper);
    MakePalette(DDPCAPS_8BIT | DDPCAPS_INITIALIZE | ((c->FNowOptions & Opt(doAllowPalette256)) ? DDPCAPS_ALLOW256 : 0));
    c->FPrimary->SetPalette(c->FPalette);
    InitializeSurface();
  }
  void InitializeSurface() {
    TCustomDXDraw* c = FDXDraw;
    c->FSurface->SetISurface(nullptr);
    c->FNowOptions &= static_cast<TDXDrawOptions>(~Opt(doSystemMemory));
    TDDSurfaceDesc d;
    d.Width = std::max(c->FSurfaceWidth, 1);
    d.Height = std::max(c->FSurfaceHeight, 1);
    d.Caps = DDSCAPS_OFFSCREENPLAIN | ((c->FOptions & Opt(doSystemMemory)) ? DDSCAPS_SYSTEMMEMORY : 0);
    if (!c->FSurface->CreateSurface(d)) {
      d.Caps |= DDSCAPS_SYSTEMMEMORY;
      if (!c->FSurface->CreateSurface(d)) throw EDXDrawError(Format(SDXCannotMake, {SDXNameSurface}));
    }
    if (c->FSurface->ISurface()->Caps() & DDSCAPS_SYSTEMMEMORY) c->FNowOptions |= Opt(doSystemMemory);
    c->FSurface->SetPalette(c->FPalette);
    c->FSurface->Fill(0);
  }
  void Flip() override {
    TCustomDXDraw* c = FDXDraw;
    TRect r;
    const int sw = c->FSurface->Width(), sh = c->FSurface->Height();
    if (c->FNowOptions & Opt(doStretch)) {
      r = TRect(0, 0, c->Width(), c->Height());
    } else {
      int x = 0, y = 0;
      if (c->FNowOptions & Opt(doCenter)) {
        x = (c->Width() - sw) / 2;
        y = (c->Height() - sh) / 2;
      }
      r = TRect(x, y, x + sw, y + sh);
    }
    // Waiting for the vertical blank is left to the toolkit's own frame pacing.
    c->FPrimary->Blt(r, c->FSurface->ClientRect(), DDBLT_WAIT, nullptr, c->FSurface);
  }
  bool SetSize(int W, int H) override {
    TCustomDXDraw* c = FDXDraw;
    c->FSurfaceWidth = std::max(W, 1);
    c->FSurfaceHeight = std::max(H, 1);
    ++c->FOffNotifyRestore;
    c->NotifyListeners(dnFinalizeSurface);
    if (c->FCalledDoInitializeSurface) {
      c->FCalledDoInitializeSurface = false;
      c->DoFinalizeSurface();
    }
    InitializeSurface();
    c->NotifyListeners(dnInitializeSurface);
    c->FCalledDoInitializeSurface = true;
    c->DoInitializeSurface();
    --c->FOffNotifyRestore;
    return true;
  }
};

class TDXDrawDriverFlip : public TDXDrawDriver {
 public:
  using TDXDrawDriver::TDXDrawDriver;
  void Initialize() override {
    TCustomDXDraw* c = FDXDraw;
    TDDSoftDevice* dev = c->FDDraw->IDDraw();
    dev->SetPrimarySize(std::max(c->Width(), 1), std::max(c->Height(), 1));
    c->FPrimary = new TDirectDrawSurface(c->FDDraw);
    TDDSurfaceDesc d;
    d.Caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    d.BackBufferCount = 1;
    if (!c->FPrimary->CreateSurface(d)) throw EDXDrawError(Format(SDXCannotMake, {SDXNamePrimarySurface}));
    c->FSurface = new TDirectDrawSurface(c->FDDraw);
    std::shared_ptr<TDDSoftSurface> prim(c->FPrimary->ISurface(), [](TDDSoftSurface*) {});
    // The back buffer belongs to the primary; the back surface object only borrows it.
    c->FSurface->SetISurface(std::shared_ptr<TDDSoftSurface>(prim, c->FPrimary->ISurface()->AttachedBackBuffer()));
    c->FNowOptions &= static_cast<TDXDrawOptions>(~Opt(doSystemMemory));
    if (c->FSurface->ISurface()->Caps() & DDSCAPS_SYSTEMMEMORY) c->FNowOptions |= Opt(doSystemMemory);
    c->FClipper = new TDirectDrawClipper(c->FDDraw);
    MakePalette(DDPCAPS_8BIT | ((c->FOptions & Opt(doAllowPalette256)) ? DDPCAPS_ALLOW256 : 0));
    c->FPrimary->SetPalette(c->FPalette);
    c->FSurface->SetPalette(c->FPalette);
  }
  void Finalize() override {
    TCustomDXDraw* c = FDXDraw;
    // The back surface goes before the primary that owns its memory.
    delete c->FSurface;
    c->FSurface = nullptr;
    TDXDrawDriver::Finalize();
  }
  void Flip() override {
    TCustomDXDraw* c = FDXDraw;
    if (c->FForm && c->FForm->Active())
      c->FPrimary->ISurface()->Flip();
    else
      c->FPrimary->SetDXResult(dxOK);
  }
};

// ---------------------------------------------------------------------------------------------
namespace {
// The twenty fixed colours of a palette display (first ten and last ten entries).
const TRGBQuad kSystemColors[20] = {
    {0, 0, 0, 0},       {0, 0, 128, 0},     {0, 128, 0, 0},     {0, 128, 128, 0},   {128, 0, 0, 0},
    {128, 0, 128, 0},   {128, 128, 0, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {240, 202, 166, 0},
    {240, 251, 255, 0}, {164, 160, 160, 0}, {128, 128, 128, 0}, {0, 0, 255, 0},     {0, 255, 0, 0},
    {0, 255, 255, 0},   {255, 0, 0, 0},     {255, 0, 255, 0},   {255, 255, 0, 0},   {255, 255, 255, 0}};
}  // namespace

TCustomDXDraw::TCustomDXDraw(TComponent* AOwner) : TCustomControl(AOwner) {
  FDisplay = std::make_unique<TDXDrawDisplay>(this);
  ColorTable = TRGBQuads{};
  for (int i = 0; i < 10; ++i) {
    ColorTable[static_cast<size_t>(i)] = kSystemColors[i];
    ColorTable[static_cast<size_t>(246 + i)] = kSystemColors[10 + i];
  }
  DefaultColorTable = ColorTable;
  SetOptions(Opts(doAllowReboot, doWaitVBlank, doCenter, doDirectX7Mode, doHardware, doSelectDriver));
  SetEraseBackground(false);
}

TCustomDXDraw::~TCustomDXDraw() {
  Finalize();
  NotifyListeners(dnDestroying);
}

void TCustomDXDraw::DoFinalize() {
  if (OnFinalize) OnFinalize(this);
}
void TCustomDXDraw::DoFinalizeSurface() {
  if (OnFinalizeSurface) OnFinalizeSurface(this);
}
void TCustomDXDraw::DoInitialize() {
  if (OnInitialize) OnInitialize(this);
}
void TCustomDXDraw::DoInitializeSurface() {
  if (OnInitializeSurface) OnInitializeSurface(this);
}
void TCustomDXDraw::DoInitializing() {
  if (OnInitializing) OnInitializing(this);
}
void TCustomDXDraw::DoRestoreSurface() {
  if (OnRestoreSurface) OnRestoreSurface(this);
}

void TCustomDXDraw::SetOptions(TDXDrawOptions Value) {
  FOptions = Value;
  if (FInitialized) {
    const TDXDrawOptions live = Opts(doWaitVBlank, doStretch, doCenter);
    FNowOptions = static_cast<TDXDrawOptions>((FNowOptions & ~live) | (Value & live));
    if (!(FNowOptions & Opt(do3D)))
      FNowOptions &= static_cast<TDXDrawOptions>(~Opts(doRetainedMode, doHardware, doSelectDriver, doZBuffer));
    return;
  }
  TDXDrawOptions o = Value;
  if (!(o & Opt(doFullScreen)))
    o &= static_cast<TDXDrawOptions>(~Opts(doNoWindowChange, doAllowReboot, doAllowPalette256, doFlip));
  if (!(o & Opt(do3D)))
    o &= static_cast<TDXDrawOptions>(~Opts(doDirectX7Mode, doRetainedMode, doHardware, doSelectDriver, doZBuffer));
  if (o & Opt(doSystemMemory)) o &= static_cast<TDXDrawOptions>(~Opt(doFlip));
  if (o & Opt(doDirectX7Mode)) o &= static_cast<TDXDrawOptions>(~Opt(doRetainedMode));
  o &= static_cast<TDXDrawOptions>(~Opt(doHardware));
  FNowOptions = o;
}

void TCustomDXDraw::SetParent(TWinControl* P) {
  TCustomControl::SetParent(P);
  FForm = P ? GetParentForm(this) : nullptr;
}

void TCustomDXDraw::Loaded() {
  TCustomControl::Loaded();
  if (FAutoSize) {
    FSurfaceWidth = Width();
    FSurfaceHeight = Height();
  }
  NotifyListeners(dnSetSurfaceSize);
  if (FAutoInitialize && !FForm) Initialize();
}

void TCustomDXDraw::Initialize() {
  FInitialized2 = true;
  Finalize();
  if (!FForm) FForm = GetParentForm(this);
  if (!FForm) throw EDXDrawError(SDXFormNotFound);
  try {
    DoInitializing();
    FUpdating = true;
    FStarted = true;
    NotifyListeners(dnInitializing);
    if (FNowOptions & Opt(doFlip))
      FDriver = std::make_unique<TDXDrawDriverFlip>(this);
    else
      FDriver = std::make_unique<TDXDrawDriverBlt>(this);
    uint32_t level = DDSCL_NORMAL;
    if (FNowOptions & Opt(doFullScreen)) {
      level = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWMODEX;
      if (FNowOptions & Opt(doNoWindowChange)) level |= DDSCL_NOWINDOWCHANGES;
      if (FNowOptions & Opt(doAllowReboot)) level |= DDSCL_ALLOWREBOOT;
    }
    FDDraw->IDDraw()->SetCooperativeLevel(level);
    if (FNowOptions & Opt(doFullScreen)) {
      if (!FDisplay->SetSize(FDisplay->Width(), FDisplay->Height(), FDisplay->BitCount()))
        throw EDXDrawError(Format(SDXModeCannotChange, {FDisplay->Width(), FDisplay->Height(), FDisplay->BitCount()}));
    }
    if (FAutoSize) {
      FSurfaceWidth = Width();
      FSurfaceHeight = Height();
    }
    FDriver->Initialize();
  } catch (...) {
    FUpdating = false;
    Finalize();
    throw;
  }
  FUpdating = false;
  FInitialized = true;
  ++FOffNotifyRestore;
  try {
    NotifyListeners(dnSetSurfaceSize);
    NotifyListeners(dnInitialize);
    FCalledDoInitialize = true;
    DoInitialize();
    NotifyListeners(dnInitializeSurface);
    FCalledDoInitializeSurface = true;
    DoInitializeSurface();
  } catch (...) {
    --FOffNotifyRestore;
    throw;
  }
  --FOffNotifyRestore;
  Restore();
}

void TCustomDXDraw::Finalize() {
  if (!FStarted) return;
  FSurfaceWidth = SurfaceWidth();
  FSurfaceHeight = SurfaceHeight();
  FDisplay->ClearModes();
  FUpdating = true;
  try {
    if (FCalledDoInitializeSurface) {
      FCalledDoInitializeSurface = false;
      DoFinalizeSurface();
    }
    NotifyListeners(dnFinalizeSurface);
    if (FCalledDoInitialize) {
      FCalledDoInitialize = false;
      DoFinalize();
    }
    NotifyListeners(dnFinalize);
  } catch (...) {
    FStarted = false;
    FInitialized = false;
    SetOptions(FOptions);
    FDriver.reset();
    FUpdating = false;
    throw;
  }
  FStarted = false;
  FInitialized = false;
  SetOptions(FOptions);
  FDriver.reset();
  FUpdating = false;
}

void TCustomDXDraw::Flip() {
  if (FInitialized && !FUpdating && CheckSurfaces()) FDriver->Flip();
}

bool TCustomDXDraw::ReadyToDraw() {
  return FInitialized && !FUpdating && FSurface && FSurface->ISurface() && CheckSurfaces();
}

void TCustomDXDraw::Restore() {
  if (!FInitialized || FUpdating) return;
  FUpdating = true;
  try {
    if (FDriver->Restore()) {
      FPrimary->SetPalette(FPalette);
      FSurface->SetPalette(FPalette);
      UpdatePalette(DefaultColorTable);
      NotifyListeners(dnRestore);
      DoRestoreSurface();
      UpdatePalette(ColorTable);
    }
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
}

bool TCustomDXDraw::CheckSurfaces() {
  if (!FInitialized || FUpdating || !FPrimary) return false;
  if (!FPrimary->IsLost() && !(FSurface && FSurface->IsLost())) return true;
  Restore();
  return !FPrimary->IsLost() && !(FSurface && FSurface->IsLost());
}

void TCustomDXDraw::UpdatePalette(const TRGBQuads& Table) {
  if (!FInitialized || !FPalette) return;
  std::array<TDDPaletteEntry, 256> e{};
  for (size_t i = 0; i < 256; ++i) e[i] = TDDPaletteEntry{Table[i].rgbRed, Table[i].rgbGreen, Table[i].rgbBlue, 0};
  if (!(FNowOptions & Opt(doAllowPalette256)))
    for (size_t i = 0; i < 10; ++i) {
      e[i] = TDDPaletteEntry{kSystemColors[i].rgbRed, kSystemColors[i].rgbGreen, kSystemColors[i].rgbBlue, 0};
      e[246 + i] = TDDPaletteEntry{kSystemColors[10 + i].rgbRed, kSystemColors[10 + i].rgbGreen,
                                   kSystemColors[10 + i].rgbBlue, 0};
    }
  for (auto& x : e) x.peFlags = 0x40;
  FPalette->SetEntries(0, 256, e.data());
}

int TCustomDXDraw::SurfaceWidth() const {
  return FSurface && FSurface->ISurface() ? FSurface->Width() : FSurfaceWidth;
}
int TCustomDXDraw::SurfaceHeight() const {
  return FSurface && FSurface->ISurface() ? FSurface->Height() : FSurfaceHeight;
}
void TCustomDXDraw::SetSurfaceWidth(int V) {
  if (HasState(csLoading) || HasState(csReading))
    FSurfaceWidth = V;
  else
    SetSurfaceSize(V, SurfaceHeight());
}
void TCustomDXDraw::SetSurfaceHeight(int V) {
  if (HasState(csLoading) || HasState(csReading))
    FSurfaceHeight = V;
  else
    SetSurfaceSize(SurfaceWidth(), V);
}

void TCustomDXDraw::SetSurfaceSize(int W, int H) {
  if ((W == SurfaceWidth() && H == SurfaceHeight()) || FUpdating) return;
  if (FInitialized) {
    if (!FDriver->SetSize(W, H)) return;
  } else {
    FSurfaceWidth = W;
    FSurfaceHeight = H;
  }
  NotifyListeners(dnSetSurfaceSize);
}

void TCustomDXDraw::SetAutoSize(bool V) {
  if (V == FAutoSize) return;
  FAutoSize = V;
  if (V) SetSurfaceSize(Width(), Height());
}

void TCustomDXDraw::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (FClipper) FClipper->SetHandle(this);
  if (FAutoSize && !FUpdating) SetSurfaceSize(AWidth, AHeight);
}

void TCustomDXDraw::RegisterListener(void* Data, TDXDrawNotifyEvent Callback) {
  UnregisterListener(Data);
  FNotifyEventList.push_back({Data, Callback});
  Callback(this, dnSetSurfaceSize);
  if (FInitialized) {
    Callback(this, dnInitialize);
    if (FCalledDoInitializeSurface) Callback(this, dnInitializeSurface);
    if (FOffNotifyRestore == 0) Callback(this, dnRestore);
  }
}

void TCustomDXDraw::Rebind(TComponent* Client, TCustomDXDraw*& Field, TCustomDXDraw* Value,
                           TDXDrawNotifyEvent Callback) {
  if (Field) {
    Field->UnregisterListener(Client);
    Field->RemoveFreeNotification(Client);
  }
  Field = Value;
  if (Field) {
    Field->FreeNotification(Client);
    Field->RegisterListener(Client, std::move(Callback));
  }
}

void TCustomDXDraw::UnregisterListener(void* Data) {
  for (auto it = FNotifyEventList.begin(); it != FNotifyEventList.end(); ++it)
    if (it->Data == Data) {
      TDXDrawNotifyEvent cb = it->Callback;
      FNotifyEventList.erase(it);
      if (FCalledDoInitializeSurface) cb(this, dnFinalizeSurface);
      if (FInitialized) cb(this, dnFinalize);
      return;
    }
}

void TCustomDXDraw::NotifyListeners(TDXDrawNotifyType Code) {
  // A copy: a listener may unregister itself while being told.
  const std::vector<TListener> list = FNotifyEventList;
  for (auto it = list.rbegin(); it != list.rend(); ++it) it->Callback(this, Code);
}

void TCustomDXDraw::Present(TDDSoftSurface* P) {
  if (!P) return;
  FPresentedFrom = P;
  if (!FInPaint) Invalidate();
}

void TCustomDXDraw::TakePresented() const {
  TDDSoftSurface* p = FPresentedFrom;
  FPresentedFrom = nullptr;
  // Only the primary's own memory, should the primary have been released meanwhile.
  if (!p || !FPrimary || FPrimary->ISurface() != p) return;
  FPresented.SetSize(p->Width(), p->Height());
  for (int y = 0; y < p->Height(); ++y) p->RowToARGB(y, FPresented.ScanLine(y));
}

const TBitmap& TCustomDXDraw::Presented() const {
  TakePresented();
  return FPresented;
}

void TCustomDXDraw::Paint() {
  if (FAutoInitialize && !FInitialized2 && FForm) {
    // Automatic initialisation once the form is first shown.
    try {
      Initialize();
    } catch (const Exception&) {
    }
  }
  FInPaint = true;
  if (FInitialized && FDriver) {
    const TDXDrawOptions saved = FNowOptions;
    FNowOptions &= static_cast<TDXDrawOptions>(~Opt(doWaitVBlank));
    Flip();
    FNowOptions = saved;
  }
  FInPaint = false;
  TCanvas* c = Canvas();
  c->Brush()->SetColor(clBlack);
  c->FillRect(ClientRect());
  TakePresented();
  if (!FPresented.Empty()) c->Draw(0, 0, &FPresented);
}
