#include "dx/dxsound.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/sound/sound.h"

// ---- TDirectSound -------------------------------------------------------------------------------
TDirectSound::TDirectSound() {
  try {
    FDevice = std::make_unique<TSoundDevice>(44100, 512);
  } catch (const ESoundError&) {
    SetDXResult(dxErrGeneric);
    throw EDirectSoundError(::Format(SDXCannotInitialize, {SDXNameDirectSound}));
  }
}

TDirectSound::~TDirectSound() {
  while (!FBuffers.empty()) delete FBuffers.back();
  FDevice.reset();
}

TSoundDevice& TDirectSound::ISound() const {
  if (!FDevice) throw EDirectSoundError(::Format(SDXNotMade, {"IDirectSound"}));
  return *FDevice;
}

TDirectSoundBuffer* TDirectSound::Buffers(int Index) const {
  if (Index < 0 || Index >= BufferCount()) throw EDirectSoundError(::Format(SDXListIndex, {Index}));
  return FBuffers[static_cast<size_t>(Index)];
}

void TDirectSound::SetCooperativeLevel(const void* Window, int Level) {
  (void)Window;
  ISound();
  FCooperativeLevel = Level;
  SetDXResult(dxOK);
}

// ---- TDirectSoundBuffer -------------------------------------------------------------------------
TDirectSoundBuffer::TDirectSoundBuffer(TDirectSound* ADirectSound) : FDirectSound(ADirectSound) {
  FDirectSound->FBuffers.push_back(this);
}

TDirectSoundBuffer::~TDirectSoundBuffer() {
  Release();
  auto& v = FDirectSound->FBuffers;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void TDirectSoundBuffer::Release() {
  if (FLockCount > 0 && FVoice) FVoice->Unlock();
  FLockCount = 0;
  FVoice.reset();
  FPrimary = false;
  FCaps = TDSBCaps();
  FFormat = TWaveFormatEx();
  FFormatSize = 0;
}

TSoundVoice& TDirectSoundBuffer::ISoundBuffer() const {
  if (!FVoice) throw EDirectSoundBufferError(::Format(SDXNotMade, {"IDirectSoundBuffer"}));
  return *FVoice;
}

bool TDirectSoundBuffer::CreateBuffer(const TDSBufferDesc& Desc) {
  Release();
  TSoundDevice& device = FDirectSound->ISound();
  if ((Desc.Flags & dsbPrimaryBuffer) != 0) {
    // The primary buffer is the device's output itself: it reports the output's layout.
    FPrimary = true;
    FCaps.Flags = Desc.Flags;
    FCaps.BufferBytes = 0;
    FFormat = TWaveFormatEx::Pcm(2, 16, device.Rate());
    FFormatSize = TWaveFormatEx::RecordSize;
    SetDXResult(dxOK);
    return true;
  }
  // Only formats the mixer can play get this far: a bad format in a sound file must not reach it.
  if (Desc.Format == nullptr || !Desc.Format->IsPlayablePcm() || Desc.BufferBytes == 0 ||
      Desc.BufferBytes > 0x7FFFFFFFu) {
    SetDXResult(dxErrGeneric);
    throw EDirectSoundBufferError(::Format(SDXCannotMake, {SDXNameSoundBuffer}));
  }
  const TSoundFormat f{Desc.Format->Channels, Desc.Format->BitsPerSample, static_cast<int>(Desc.Format->SamplesPerSec)};
  try {
    FVoice = device.Mixer().CreateVoice(f, Desc.BufferBytes);
  } catch (const ESoundError&) {
    SetDXResult(dxErrGeneric);
    throw EDirectSoundBufferError(::Format(SDXCannotMake, {SDXNameSoundBuffer}));
  }
  FCaps.Flags = Desc.Flags;
  FCaps.BufferBytes = Desc.BufferBytes;
  FFormat = *Desc.Format;
  FFormatSize = TWaveFormatEx::RecordSize;
  SetDXResult(dxOK);
  return true;
}

bool TDirectSoundBuffer::CreateBuffer(const TWaveFormatEx& Format, int Size) {
  TDSBufferDesc d;
  d.Flags = dsbCtrlFrequency | dsbCtrlPan | dsbCtrlVolume;
  if (FDirectSound->StickyFocus())
    d.Flags |= dsbStickyFocus;
  else if (FDirectSound->GlobalFocus())
    d.Flags |= dsbGlobalFocus;
  d.BufferBytes = static_cast<uint32_t>(std::max(Size, 0));
  d.Format = &Format;
  return CreateBuffer(d);
}

void TDirectSoundBuffer::LoadFromMemory(const TWaveFormatEx& Format, const void* Data, int Size) {
  CreateBuffer(Format, Size);
  if (Data == nullptr) return;
  void *p1 = nullptr, *p2 = nullptr;
  int s1 = 0, s2 = 0;
  if (!Lock(0, Size, p1, s1, p2, s2)) throw EDirectSoundBufferError(::Format(SDXCannotLock, {SDXNameSoundBuffer}));
  const auto* src = static_cast<const uint8_t*>(Data);
  std::memcpy(p1, src, static_cast<size_t>(s1));
  if (p2 != nullptr && s2 > 0) std::memcpy(p2, src + s1, static_cast<size_t>(s2));
  Unlock();
}

void TDirectSoundBuffer::LoadFromWave(const TWave& Wave) {
  LoadFromMemory(Wave.FormatRecord(), Wave.Data(), Wave.Size());
}

void TDirectSoundBuffer::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    Release();
    return;
  }
  if (auto* wave = dynamic_cast<TWave*>(Source)) {
    LoadFromWave(*wave);
    return;
  }
  if (auto* other = dynamic_cast<TDirectSoundBuffer*>(Source)) {
    if (other == this) return;
    if (other->FVoice) {
      std::unique_ptr<TSoundVoice> dup = other->FVoice->Duplicate();
      Release();
      FVoice = std::move(dup);
      FCaps = other->FCaps;
      FFormat = other->FFormat;
      FFormatSize = other->FFormatSize;
      SetDXResult(dxOK);
    } else {
      Release();
    }
    return;
  }
  TDirectX::Assign(Source);
}

bool TDirectSoundBuffer::Lock(int LockPosition, int LockSize, void*& AudioPtr1, int& AudioSize1, void*& AudioPtr2,
                              int& AudioSize2) {
  AudioPtr1 = AudioPtr2 = nullptr;
  AudioSize1 = AudioSize2 = 0;
  if (!FVoice || FLockCount > 0 || LockPosition < 0 || LockSize < 0) return false;
  try {
    TSoundVoice::TLockRegion r = FVoice->Lock(static_cast<uint32_t>(LockPosition), static_cast<uint32_t>(LockSize));
    AudioPtr1 = r.Ptr1;
    AudioSize1 = static_cast<int>(r.Size1);
    AudioPtr2 = r.Ptr2;
    AudioSize2 = static_cast<int>(r.Size2);
  } catch (const ESoundError&) {
    SetDXResult(dxErrGeneric);
    return false;
  }
  FLockCount = 1;
  return true;
}

void TDirectSoundBuffer::Unlock() {
  if (FLockCount == 0 || !FVoice) return;
  FVoice->Unlock();
  FLockCount = 0;
}

void TDirectSoundBuffer::Play(bool Loop) {
  if (FPrimary) return;  // the output always runs
  ISoundBuffer().Play(Loop);
}

void TDirectSoundBuffer::Stop() {
  if (FPrimary) return;
  ISoundBuffer().Stop();
}

int TDirectSoundBuffer::Position() const { return static_cast<int>(ISoundBuffer().Position()); }
void TDirectSoundBuffer::SetPosition(int Value) { ISoundBuffer().SetPosition(static_cast<uint32_t>(std::max(Value, 0))); }
int TDirectSoundBuffer::Frequency() const { return static_cast<int>(ISoundBuffer().Frequency()); }
void TDirectSoundBuffer::SetFrequency(int Value) { ISoundBuffer().SetFrequency(static_cast<uint32_t>(std::max(Value, 0))); }
int TDirectSoundBuffer::Pan() const { return ISoundBuffer().Pan(); }
void TDirectSoundBuffer::SetPan(int Value) { ISoundBuffer().SetPan(Value); }
int TDirectSoundBuffer::Volume() const { return ISoundBuffer().Volume(); }
void TDirectSoundBuffer::SetVolume(int Value) { ISoundBuffer().SetVolume(Value); }

uint32_t TDirectSoundBuffer::Status() const {
  if (FPrimary) return dsbStatusPlaying | dsbStatusLooping;
  const TSoundVoice& v = ISoundBuffer();
  if (!v.Playing()) return 0;
  return dsbStatusPlaying | (v.Looping() ? dsbStatusLooping : 0);
}

void TDirectSoundBuffer::Check() {
  if (DXResult() == dxErrBufferLost && !FDirectSound->FRestoring) {
    FDirectSound->FRestoring = true;
    try {
      FDirectSound->DoRestore();
    } catch (...) {
      FDirectSound->FRestoring = false;
      throw;
    }
    FDirectSound->FRestoring = false;
  }
}

// ---- Sound component ----------------------------------------------------------------------------
void TDXSoundDirectSound::DoRestore() { FDXSound->Restore(); }

TCustomDXSound::TCustomDXSound(TComponent* AOwner) : TComponent(AOwner) {}

TCustomDXSound::~TCustomDXSound() {
  try {
    Finalize();
  } catch (...) {
    // A failing finalize handler cannot stop the component from going.
  }
  NotifyEventList(dsntDestroying);
  FNotifyEventList.clear();
}

void TCustomDXSound::Initialize() {
  Finalize();
  FForm = DXFindOwnerForm(this);
  if (FForm == nullptr) throw EDXSoundError(SDXFormNotFound);
  NotifyEventList(dsntInitializing);
  if (OnInitializing) OnInitializing(this);
  FCreated = true;
  FDSound = new TDXSoundDirectSound(this);
  FDSound->SetGlobalFocus((FNowOptions & soGlobalFocus) != 0);
  FDSound->SetStickyFocus((FNowOptions & soStickyFocus) != 0);
  FPrimary = new TDirectSoundBuffer(FDSound);
  TDSBufferDesc desc;
  desc.Flags = dsbPrimaryBuffer;
  try {
    FPrimary->CreateBuffer(desc);
  } catch (const EDirectXError&) {
    throw EDXSoundError(::Format(SDXCannotMake, {SDXNamePrimaryBuffer}));
  }
  FInitialized = true;
  // The output does not depend on the form's window; the level is kept for what it says.
  FDSound->SetCooperativeLevel(FForm, (FNowOptions & soExclusive) != 0 ? dsLevelExclusive : dsLevelNormal);
  NotifyEventList(dsntInitialize);
  FCalling = true;
  if (OnInitialize) OnInitialize(this);
  Restore();
}

void TCustomDXSound::Finalize() {
  if (!FCreated) return;
  if (FCalling) {
    FCalling = false;
    if (OnFinalize) OnFinalize(this);
  }
  NotifyEventList(dsntFinalize);
  FInitialized = false;
  FCreated = false;
  FNowOptions = FOptions;
  delete FPrimary;
  FPrimary = nullptr;
  delete FDSound;
  FDSound = nullptr;
}

void TCustomDXSound::Restore() {
  if (!FInitialized) return;
  NotifyEventList(dsntRestore);
  if (OnRestore) OnRestore(this);
}

void TCustomDXSound::Loaded() {
  TComponent::Loaded();
  if (FAutoInitialize && !HasState(csDesigning)) Initialize();
}

void TCustomDXSound::SetOptions(TDXSoundOptions Value) {
  FOptions = Value;
  if (!FInitialized) {
    FNowOptions = Value;
    return;
  }
  FNowOptions = (FNowOptions & soExclusive) | (Value & ~static_cast<unsigned>(soExclusive));
  if (FDSound != nullptr) {
    FDSound->SetGlobalFocus((FNowOptions & soGlobalFocus) != 0);
    FDSound->SetStickyFocus((FNowOptions & soStickyFocus) != 0);
  }
}

void TCustomDXSound::RegisterNotifyEvent(TDXSoundNotifyEvent Handler, const void* Data) {
  FNotifyEventList.erase(std::remove_if(FNotifyEventList.begin(), FNotifyEventList.end(),
                                        [&](const TListener& l) { return l.Data == Data; }),
                         FNotifyEventList.end());
  FNotifyEventList.push_back(TListener{Handler, Data});
  if (FInitialized && Handler) {
    Handler(this, dsntInitialize);
    Handler(this, dsntRestore);
  }
}

void TCustomDXSound::UnRegisterNotifyEvent(const void* Data) {
  auto it = std::find_if(FNotifyEventList.begin(), FNotifyEventList.end(),
                         [&](const TListener& l) { return l.Data == Data; });
  if (it == FNotifyEventList.end()) return;
  TDXSoundNotifyEvent handler = it->Handler;
  FNotifyEventList.erase(it);
  if (FInitialized && handler) handler(this, dsntFinalize);
}

void TCustomDXSound::NotifyEventList(TDXSoundNotifyType NotifyType) {
  // Listeners may leave (or join) while being told, so walk by index and re-check each step.
  for (size_t i = FNotifyEventList.size(); i-- > 0;) {
    if (i >= FNotifyEventList.size()) continue;
    TDXSoundNotifyEvent handler = FNotifyEventList[i].Handler;
    if (handler) handler(this, NotifyType);
  }
}

// ---- TWaveCollectionItem ------------------------------------------------------------------------
TWaveCollectionItem::TWaveCollectionItem(TCollection* ACollection) : THashCollectionItem(ACollection) {}

TWaveCollectionItem::~TWaveCollectionItem() { Finalize(); }

TWaveCollection* TWaveCollectionItem::WaveCollection() const { return dynamic_cast<TWaveCollection*>(Collection()); }

void TWaveCollectionItem::SetLooped(bool Value) {
  if (Value == FLooped) return;
  Stop();
  FLooped = Value;
}

void TWaveCollectionItem::SetMaxPlayingCount(int Value) {
  Value = std::max(Value, 0);
  if (Value == FMaxPlayingCount) return;
  FMaxPlayingCount = Value;
  if (FInitialized) {
    for (TDirectSoundBuffer* b : FBuffers) delete b;
    FBuffers.clear();
  }
}

void TWaveCollectionItem::SetFrequency(int Value) {
  FFrequency = Value;
  if (FBuffer != nullptr && FBuffer->HasInterface()) FBuffer->SetFrequency(Value);
}

void TWaveCollectionItem::SetPan(int Value) {
  FPan = Value;
  if (FBuffer != nullptr && FBuffer->HasInterface()) FBuffer->SetPan(Value);
}

void TWaveCollectionItem::SetVolume(int Value) {
  FVolume = Value;
  if (FBuffer != nullptr && FBuffer->HasInterface()) FBuffer->SetVolume(Value);
}

TDirectSoundBuffer* TWaveCollectionItem::Buffer() {
  if (FInitialized && FBuffer == nullptr) Restore();
  return FBuffer;
}

TDirectSoundBuffer* TWaveCollectionItem::CreateBuffer() {
  TDirectSoundBuffer* source = Buffer();
  if (source == nullptr || !source->HasInterface()) return nullptr;
  auto* b = new TDirectSoundBuffer(source->DirectSound());
  try {
    b->Assign(source);
  } catch (...) {
    delete b;
    throw;
  }
  return b;
}

void TWaveCollectionItem::FreeBuffers() {
  for (TDirectSoundBuffer* b : FBuffers) delete b;
  FBuffers.clear();
  delete FBuffer;
  FBuffer = nullptr;
}

void TWaveCollectionItem::Initialize() {
  Finalize();
  TWaveCollection* c = WaveCollection();
  FInitialized = c != nullptr && c->Initialized();
}

void TWaveCollectionItem::Finalize() {
  if (!FInitialized) return;
  FInitialized = false;
  FreeBuffers();
}

void TWaveCollectionItem::Restore() {
  if (FWave.Size() == 0) return;
  if (!FInitialized) {
    TWaveCollection* c = WaveCollection();
    if (c == nullptr || !c->Initialized()) return;
    Initialize();
    if (!FInitialized) return;
  }
  if (FBuffer == nullptr) FBuffer = new TDirectSoundBuffer(WaveCollection()->DXSound()->DSound());
  FBuffer->LoadFromWave(FWave);
  FBuffer->SetFrequency(FFrequency);
  FBuffer->SetPan(FPan);
  FBuffer->SetVolume(FVolume);
}

void TWaveCollectionItem::Play(bool Wait) {
  if (!FInitialized) return;
  if (FLooped) {
    TDirectSoundBuffer* b = Buffer();
    if (b == nullptr || !b->HasInterface()) return;
    b->Stop();
    b->SetPosition(0);
    b->Play(true);
    return;
  }
  TDirectSoundBuffer* b = nullptr;
  for (TDirectSoundBuffer* d : FBuffers)
    if (!d->Playing()) {
      b = d;
      break;
    }
  if (b == nullptr) {
    if (FMaxPlayingCount == 0 || FMaxPlayingCount > BufferCount()) {
      b = CreateBuffer();
      if (b == nullptr) return;
      FBuffers.push_back(b);
    } else {
      // All instances busy and no more allowed: the oldest starts over and becomes the newest.
      b = FBuffers.front();
      FBuffers.erase(FBuffers.begin());
      FBuffers.push_back(b);
    }
  }
  b->Stop();
  b->SetPosition(0);
  b->SetFrequency(FFrequency);
  b->SetPan(FPan);
  b->SetVolume(FVolume);
  b->Play(false);
  if (Wait)
    while (b->Playing()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void TWaveCollectionItem::Stop() {
  if (FBuffer != nullptr && FBuffer->HasInterface()) FBuffer->Stop();
  for (TDirectSoundBuffer* b : FBuffers) b->Stop();
}

void TWaveCollectionItem::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TWaveCollectionItem*>(Source);
  if (src == nullptr) {
    THashCollectionItem::Assign(Source);
    return;
  }
  if (src == this) return;
  const bool was = FInitialized;
  Finalize();
  FLooped = src->FLooped;
  SetName(src->Name());
  FMaxPlayingCount = src->FMaxPlayingCount;
  FFrequency = src->FFrequency;
  FPan = src->FPan;
  FVolume = src->FVolume;
  FWave.Assign(&src->FWave);
  if (was) Restore();
}

// ---- TWaveCollection ----------------------------------------------------------------------------
TWaveCollection::TWaveCollection(TComponent* AOwner)
    : THashCollection([](TCollection* c) -> TCollectionItem* { return new TWaveCollectionItem(c); }), FOwner(AOwner) {}

TWaveCollectionItem* TWaveCollection::Find(const std::string& Name) const {
  const int i = IndexByName(Name);
  return i < 0 ? nullptr : Items(i);
}

void TWaveCollection::Initialize(TCustomDXSound* DXSound) {
  Finalize();
  FDXSound = DXSound;
  for (int i = 0; i < Count(); ++i) Items(i)->Initialize();
}

void TWaveCollection::Finalize() {
  for (int i = 0; i < Count(); ++i) Items(i)->Finalize();
  FDXSound = nullptr;
}

void TWaveCollection::Restore() {
  for (int i = 0; i < Count(); ++i) Items(i)->Restore();
}

// ---- TCustomDXWaveList --------------------------------------------------------------------------
TCustomDXWaveList::TCustomDXWaveList(TComponent* AOwner)
    : TComponent(AOwner), FItems(std::make_unique<TWaveCollection>(this)) {}

TCustomDXWaveList::~TCustomDXWaveList() {
  SetDXSound(nullptr);
  FItems.reset();
}

void TCustomDXWaveList::SetDXSound(TCustomDXSound* Value) {
  if (Value == FDXSound) return;
  if (FDXSound != nullptr) {
    TCustomDXSound* old = FDXSound;
    old->UnRegisterNotifyEvent(this);
    FDXSound = nullptr;
    RemoveFreeNotification(old);
  }
  FDXSound = Value;
  if (Value != nullptr) {
    FreeNotification(Value);
    Value->RegisterNotifyEvent(
        [this](TCustomDXSound* Sender, TDXSoundNotifyType NotifyType) { DXSoundNotifyEvent(Sender, NotifyType); },
        this);
  }
}

void TCustomDXWaveList::DXSoundNotifyEvent(TCustomDXSound* Sender, TDXSoundNotifyType NotifyType) {
  switch (NotifyType) {
    case dsntDestroying:
      SetDXSound(nullptr);
      break;
    case dsntInitializing:
      break;
    case dsntInitialize:
      FItems->Initialize(Sender);
      break;
    case dsntFinalize:
      FItems->Finalize();
      break;
    case dsntRestore:
      FItems->Restore();
      break;
  }
}

void TCustomDXWaveList::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDXSound) FDXSound = nullptr;
}
