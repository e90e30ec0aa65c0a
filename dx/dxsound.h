// Sound output for the program's windows: the device object and its sound buffers (voices of the
// platform mixer), the sound component a form owns, and the wave list of named sounds bound to it.
//
// The device object stands in for a hardware sound interface: creating it opens the default audio
// output (and fails cleanly when there is none), and its buffers hold PCM data that the platform
// mixer plays. A sound component attached to a form owns one device object and a primary buffer;
// wave lists bound to it follow its state through notifications and get their buffers when it is
// initialized. Everything runs on the GUI thread; the mixer's own thread only reads the buffers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "dx/directx.h"
#include "dx/dxconsts.h"
#include "dx/hashcollection.h"
#include "dx/wave.h"

class TSoundDevice;
class TSoundVoice;
class TDirectSoundBuffer;
class TCustomDXSound;

// Buffer description flags.
constexpr uint32_t dsbPrimaryBuffer = 0x00000001;
constexpr uint32_t dsbCtrlFrequency = 0x00000020;
constexpr uint32_t dsbCtrlPan = 0x00000040;
constexpr uint32_t dsbCtrlVolume = 0x00000080;
constexpr uint32_t dsbStickyFocus = 0x00004000;
constexpr uint32_t dsbGlobalFocus = 0x00008000;
// Buffer status bits.
constexpr uint32_t dsbStatusPlaying = 0x00000001;
constexpr uint32_t dsbStatusLooping = 0x00000004;
// Cooperative levels.
constexpr int dsLevelNormal = 1;
constexpr int dsLevelExclusive = 3;

struct TDSBufferDesc {
  uint32_t Flags = 0;
  uint32_t BufferBytes = 0;
  const TWaveFormatEx* Format = nullptr;  // none for the primary buffer
};

struct TDSBCaps {
  uint32_t Flags = 0;
  uint32_t BufferBytes = 0;
};

// ---- Device object --------------------------------------------------------------------------------
class TDirectSound : public TDirectX {
 public:
  // Opens the default audio output; EDirectSoundError "DirectSound cannot be initialized" when
  // there is none.
  TDirectSound();
  // Frees the buffers (last first), then closes the output.
  ~TDirectSound() override;
  std::string ClassName() const override { return "TDirectSound"; }

  // The device; EDirectSoundError "IDirectSound not made" when there is none.
  TSoundDevice& ISound() const;
  int BufferCount() const { return static_cast<int>(FBuffers.size()); }
  TDirectSoundBuffer* Buffers(int Index) const;

  bool GlobalFocus() const { return FGlobalFocus; }
  void SetGlobalFocus(bool Value) { FGlobalFocus = Value; }
  bool StickyFocus() const { return FStickyFocus; }
  void SetStickyFocus(bool Value) { FStickyFocus = Value; }
  // Accepted for the form's window; output does not depend on a window here.
  void SetCooperativeLevel(const void* Window, int Level);
  int CooperativeLevel() const { return FCooperativeLevel; }

 protected:
  // Brings lost buffers back; runs at most once at a time (see TDirectSoundBuffer).
  virtual void DoRestore() {}

 private:
  friend class TDirectSoundBuffer;
  std::unique_ptr<TSoundDevice> FDevice;
  std::vector<TDirectSoundBuffer*> FBuffers;
  bool FGlobalFocus = false;
  bool FStickyFocus = false;
  bool FRestoring = false;
  int FCooperativeLevel = 0;
};

class TDirectSoundBuffer : public TDirectX {
 public:
  // Listed by (and freed with) ADirectSound unless freed before.
  explicit TDirectSoundBuffer(TDirectSound* ADirectSound);
  ~TDirectSoundBuffer() override;
  std::string ClassName() const override { return "TDirectSoundBuffer"; }

  TDirectSound* DirectSound() const { return FDirectSound; }
  // The voice; EDirectSoundBufferError "IDirectSoundBuffer not made" when there is none.
  TSoundVoice& ISoundBuffer() const;
  bool HasInterface() const { return FVoice != nullptr || FPrimary; }
  bool IsPrimary() const { return FPrimary; }
  const TDSBCaps& Caps() const { return FCaps; }
  // The format as the buffer reports it, and its size in bytes (0 when there is no buffer).
  const TWaveFormatEx& Format() const { return FFormat; }
  int FormatSize() const { return FFormatSize; }

  // Makes the buffer from a description; EDirectSoundBufferError "Sound Buffer cannot be made" when
  // the format cannot be played. Returns true.
  bool CreateBuffer(const TDSBufferDesc& Desc);
  // A secondary buffer of Size bytes of Format, with frequency, pan and volume control.
  bool CreateBuffer(const TWaveFormatEx& Format, int Size);
  // CreateBuffer, then the bytes copied in through a lock of the whole buffer.
  void LoadFromMemory(const TWaveFormatEx& Format, const void* Data, int Size);
  void LoadFromWave(const TWave& Wave);
  // None: release; a TWave: LoadFromWave; another buffer with a voice: a duplicate sharing its data.
  void Assign(TPersistent* Source) override;

  // One lock at a time: false when locked already or the range does not fit.
  bool Lock(int LockPosition, int LockSize, void*& AudioPtr1, int& AudioSize1, void*& AudioPtr2, int& AudioSize2);
  void Unlock();

  void Play(bool Loop = false);
  void Stop();
  int Position() const;  // bytes
  void SetPosition(int Value);
  int Frequency() const;
  void SetFrequency(int Value);  // 0: the format's own rate
  int Pan() const;
  void SetPan(int Value);
  int Volume() const;
  void SetVolume(int Value);
  uint32_t Status() const;
  bool Playing() const { return (Status() & (dsbStatusPlaying | dsbStatusLooping)) != 0; }

 protected:
  // A lost buffer makes the device object restore its buffers (once, not re-entered).
  void Check() override;

 private:
  void Release();

  TDirectSound* FDirectSound;
  std::unique_ptr<TSoundVoice> FVoice;
  bool FPrimary = false;
  TDSBCaps FCaps;
  TWaveFormatEx FFormat;
  int FFormatSize = 0;
  int FLockCount = 0;
};

// ---- Sound component --------------------------------------------------------------------------------
class TDXSoundDirectSound : public TDirectSound {
 public:
  explicit TDXSoundDirectSound(TCustomDXSound* ADXSound) : FDXSound(ADXSound) {}
  std::string ClassName() const override { return "TDXSoundDirectSound"; }
  TCustomDXSound* DXSound() const { return FDXSound; }

 protected:
  void DoRestore() override;

 private:
  TCustomDXSound* FDXSound;
};

enum TDXSoundOption : unsigned { soGlobalFocus = 1, soStickyFocus = 2, soExclusive = 4 };
using TDXSoundOptions = unsigned;  // a set of TDXSoundOption bits

enum TDXSoundNotifyType { dsntDestroying = 0, dsntInitializing = 1, dsntInitialize = 2, dsntFinalize = 3, dsntRestore = 4 };
using TDXSoundNotifyEvent = std::function<void(TCustomDXSound* Sender, TDXSoundNotifyType NotifyType)>;

class TCustomDXSound : public TComponent {
 public:
  explicit TCustomDXSound(TComponent* AOwner);
  ~TCustomDXSound() override;
  std::string ClassName() const override { return "TCustomDXSound"; }

  // Finalizes, finds the owning form ("Form not found"), opens the device object (EDirectSoundError
  // when there is no audio output) and the primary buffer, then tells the listeners.
  void Initialize();
  void Finalize();
  // Notifies dsntRestore and fires OnRestore (only while initialized).
  void Restore();

  // Listeners are called from the last registered to the first. A listener is identified by Data.
  // Registering with an initialized component calls the handler at once with dsntInitialize and
  // dsntRestore; unregistering from one calls it with dsntFinalize.
  void RegisterNotifyEvent(TDXSoundNotifyEvent Handler, const void* Data);
  void UnRegisterNotifyEvent(const void* Data);

  bool AutoInitialize() const { return FAutoInitialize; }
  void SetAutoInitialize(bool Value) { FAutoInitialize = Value; }
  TDXSoundOptions Options() const { return FOptions; }
  // While initialized, soExclusive keeps its value in force until the next Initialize; the focus
  // options take effect at once (for buffers made later).
  void SetOptions(TDXSoundOptions Value);
  TDXSoundOptions NowOptions() const { return FNowOptions; }

  bool Initialized() const { return FInitialized; }
  bool Created() const { return FCreated; }
  bool Calling() const { return FCalling; }
  TDXSoundDirectSound* DSound() const { return FDSound; }
  TDirectSoundBuffer* Primary() const { return FPrimary; }
  TComponent* Form() const { return FForm; }

  TNotifyEvent OnFinalize;
  TNotifyEvent OnInitialize;
  TNotifyEvent OnInitializing;
  TNotifyEvent OnRestore;

 protected:
  void Loaded() override;

 private:
  struct TListener {
    TDXSoundNotifyEvent Handler;
    const void* Data;
  };
  void NotifyEventList(TDXSoundNotifyType NotifyType);

  bool FAutoInitialize = true;
  TDXSoundOptions FOptions = 0;
  TDXSoundOptions FNowOptions = 0;
  bool FInitialized = false;
  bool FCreated = false;
  bool FCalling = false;
  TDXSoundDirectSound* FDSound = nullptr;
  TDirectSoundBuffer* FPrimary = nullptr;
  TComponent* FForm = nullptr;
  std::vector<TListener> FNotifyEventList;
};

class TDXSound : public TCustomDXSound {
 public:
  explicit TDXSound(TComponent* AOwner) : TCustomDXSound(AOwner) {}
  std::string ClassName() const override { return "TDXSound"; }
};

// ---- Wave list ----------------------------------------------------------------------------------
class TWaveCollection;

class TWaveCollectionItem : public THashCollectionItem {
 public:
  explicit TWaveCollectionItem(TCollection* ACollection);
  ~TWaveCollectionItem() override;
  std::string ClassName() const override { return "TWaveCollectionItem"; }

  TWaveCollection* WaveCollection() const;
  bool Looped() const { return FLooped; }
  void SetLooped(bool Value);  // stops the item first
  int MaxPlayingCount() const { return FMaxPlayingCount; }
  // Negative is taken as 0 (no limit); frees the duplicate buffers when initialized.
  void SetMaxPlayingCount(int Value);
  TWave& Wave() { return FWave; }
  const TWave& Wave() const { return FWave; }
  void SetWave(TWave* Value) { FWave.Assign(Value); }
  // Applied to the item's buffer when it exists, and to every later play.
  int Frequency() const { return FFrequency; }
  void SetFrequency(int Value);
  int Pan() const { return FPan; }
  void SetPan(int Value);
  int Volume() const { return FVolume; }
  void SetVolume(int Value);

  bool Initialized() const { return FInitialized; }
  // The item's own buffer, restored on demand while initialized; nullptr when it cannot be had.
  TDirectSoundBuffer* Buffer();
  int BufferCount() const { return static_cast<int>(FBuffers.size()); }  // duplicates

  // Plays the wave (nothing unless initialized). Looped: the item's buffer from the start, looping.
  // Otherwise a free duplicate, a new one while the limit allows, or else the oldest restarts. With
  // Wait, returns when that instance has stopped.
  void Play(bool Wait = false);
  void Stop();
  void Initialize();
  void Finalize();
  // Only when the wave has data: makes the buffer when missing and loads the wave into it.
  void Restore();
  void Assign(TPersistent* Source) override;

 private:
  TDirectSoundBuffer* CreateBuffer();  // a duplicate of the item's buffer; nullptr when none
  void FreeBuffers();

  bool FLooped = false;
  int FMaxPlayingCount = 0;
  TWave FWave;
  int FFrequency = 0;
  int FPan = 0;
  int FVolume = 0;
  bool FInitialized = false;
  TDirectSoundBuffer* FBuffer = nullptr;
  std::vector<TDirectSoundBuffer*> FBuffers;
};

class TWaveCollection : public THashCollection {
 public:
  explicit TWaveCollection(TComponent* AOwner);
  std::string ClassName() const override { return "TWaveCollection"; }

  TWaveCollectionItem* Items(int Index) const { return static_cast<TWaveCollectionItem*>(THashCollection::Items(Index)); }
  TWaveCollectionItem* Add() { return static_cast<TWaveCollectionItem*>(THashCollection::Add()); }
  // The item of that name (without regard to case); nullptr when there is none.
  TWaveCollectionItem* Find(const std::string& Name) const;
  TComponent* Owner() const { return FOwner; }
  TCustomDXSound* DXSound() const { return FDXSound; }
  bool Initialized() const { return FDXSound != nullptr && FDXSound->Initialized(); }

  void Initialize(TCustomDXSound* DXSound);
  void Finalize();
  void Restore();

 private:
  TComponent* FOwner;
  TCustomDXSound* FDXSound = nullptr;
};

class TCustomDXWaveList : public TComponent {
 public:
  explicit TCustomDXWaveList(TComponent* AOwner);
  ~TCustomDXWaveList() override;
  std::string ClassName() const override { return "TCustomDXWaveList"; }

  TCustomDXSound* DXSound() const { return FDXSound; }
  // Leaves the old component's listeners and joins the new one's.
  void SetDXSound(TCustomDXSound* Value);
  TWaveCollection* Items() const { return FItems.get(); }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void DXSoundNotifyEvent(TCustomDXSound* Sender, TDXSoundNotifyType NotifyType);
  TCustomDXSound* FDXSound = nullptr;
  std::unique_ptr<TWaveCollection> FItems;
};

class TDXWaveList : public TCustomDXWaveList {
 public:
  explicit TDXWaveList(TComponent* AOwner) : TCustomDXWaveList(AOwner) {}
  std::string ClassName() const override { return "TDXWaveList"; }
};
