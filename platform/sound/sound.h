// Audio output: the default output device (SDL2) and a software mixer of sound voices.
//
// A voice is a sound buffer: a fixed number of bytes of PCM (8-bit unsigned or 16-bit signed
// little-endian, mono or stereo, any rate), a play cursor, a play/loop state and the three controls
// volume, pan and frequency. The mixer sums every playing voice into float stereo at the output rate,
// resampling each voice linearly. The SDL audio thread calls the mixer; every voice operation and
// the mixing itself run under one mutex, so voices may be changed from the GUI thread at any time.
// Mixing allocates nothing.
//
// Volume and pan are in hundredths of a decibel like the rest of the program expects:
//   volume -10000 (silent) .. 0 (full), pan -10000 (left only) .. 0 (centre) .. 10000 (right only);
//   a negative pan attenuates the right channel by |pan|, a positive pan the left one.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Raised when a device cannot be opened or a voice is used wrongly; the message says why.
class ESoundError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TSoundFormat {
  int Channels = 1;          // 1 or 2
  int BitsPerSample = 16;    // 8 (unsigned) or 16 (signed)
  int SamplesPerSec = 22050;
  int BlockAlign() const { return Channels * BitsPerSample / 8; }
  // Empty when the format can be played, else the reason it cannot.
  std::string Problem() const;
};

// Limits of the controls.
constexpr int SoundVolumeMin = -10000;
constexpr int SoundVolumeMax = 0;
constexpr int SoundPanLeft = -10000;
constexpr int SoundPanRight = 10000;
constexpr uint32_t SoundFrequencyMin = 100;
constexpr uint32_t SoundFrequencyMax = 200000;

struct TMixerCore;

class TSoundVoice {
 public:
  ~TSoundVoice();
  TSoundVoice(const TSoundVoice&) = delete;
  TSoundVoice& operator=(const TSoundVoice&) = delete;

  const TSoundFormat& Format() const { return FFormat; }
  uint32_t Size() const;  // bytes

  // Starts playing from the current position, once or looping. Playing a playing voice only changes
  // the loop flag. A one-shot voice that reaches its end stops and its position returns to 0.
  void Play(bool Loop);
  void Stop();  // keeps the position
  bool Playing() const;
  bool Looping() const;

  // Play cursor in bytes of the voice's format; setting clamps to the size and aligns to a frame.
  uint32_t Position() const;
  void SetPosition(uint32_t Bytes);

  int Volume() const;
  void SetVolume(int Hundredths);  // clamped to -10000..0
  int Pan() const;
  void SetPan(int Hundredths);     // clamped to -10000..10000
  // Playback rate in samples per second; setting 0 restores the format's own rate, other values
  // are clamped to 100..200000.
  uint32_t Frequency() const;
  void SetFrequency(uint32_t Hz);

  // A second voice on the same mixer sharing this voice's sample bytes (writes through either are
  // heard by both) with its own cursor and state; it starts stopped at position 0 with this voice's
  // volume, pan and frequency.
  std::unique_ptr<TSoundVoice> Duplicate() const;

  // Writing into the buffer: Lock hands out up to two regions covering Bytes bytes from Offset, the
  // second one being the part that wraps around to the start (Bytes 0 = the whole buffer). The
  // regions hold the current bytes; Unlock stores what was written. One lock at a time.
  struct TLockRegion {
    uint8_t* Ptr1 = nullptr;
    uint32_t Size1 = 0;
    uint8_t* Ptr2 = nullptr;
    uint32_t Size2 = 0;
  };
  TLockRegion Lock(uint32_t Offset, uint32_t Bytes);
  void Unlock();
  bool Locked() const { return FLocked; }
  // Convenience: Lock, copy Count bytes (wrapping), Unlock.
  void Write(uint32_t Offset, const void* Data, uint32_t Count);

 private:
  friend class TSoundMixer;
  friend struct TMixerCore;
  TSoundVoice(std::shared_ptr<TMixerCore> Core, const TSoundFormat& Format,
              std::shared_ptr<std::vector<uint8_t>> Data);
  void Register();
  void UpdateGains();

  std::shared_ptr<TMixerCore> FCore;
  TSoundFormat FFormat;
  std::shared_ptr<std::vector<uint8_t>> FData;
  uint32_t FFrames = 0;      // whole frames in the data
  // State below is guarded by the core's mutex.
  bool FPlaying = false;
  bool FLooping = false;
  uint64_t FPos = 0;         // frame position, 32.32 fixed point
  int FVolume = 0;
  int FPan = 0;
  uint32_t FFrequency = 0;   // 0 = the format's own rate
  float FGainLeft = 1.0f;
  float FGainRight = 1.0f;
  // Lock staging (GUI side only).
  bool FLocked = false;
  uint32_t FLockOffset = 0;
  std::vector<uint8_t> FLockBuffer;
};

class TSoundMixer {
 public:
  // Output: interleaved float stereo at OutputRate frames per second.
  explicit TSoundMixer(int OutputRate);
  ~TSoundMixer();
  TSoundMixer(const TSoundMixer&) = delete;
  TSoundMixer& operator=(const TSoundMixer&) = delete;

  int OutputRate() const;
  // A stopped voice of Size bytes of silence; raises ESoundError for a format that cannot be played.
  std::unique_ptr<TSoundVoice> CreateVoice(const TSoundFormat& Format, uint32_t Size);
  int VoiceCount() const;
  int PlayingCount() const;

  // Mixes Frames frames of every playing voice into Out (2 * Frames floats, overwritten), advancing
  // the voices. Samples are clamped to -1..1.
  void Mix(float* Out, int Frames);
  std::vector<float> Mix(int Frames);

 private:
  std::shared_ptr<TMixerCore> FCore;
};

// The default output device feeding a mixer. Opening raises ESoundError when there is no device.
class TSoundDevice {
 public:
  // PreferredRate: 44100 or 48000; BufferFrames: the device's callback size.
  explicit TSoundDevice(int PreferredRate = 44100, int BufferFrames = 512);
  ~TSoundDevice();
  TSoundDevice(const TSoundDevice&) = delete;
  TSoundDevice& operator=(const TSoundDevice&) = delete;

  TSoundMixer& Mixer() { return *FMixer; }
  int Rate() const { return FRate; }
  int BufferFrames() const { return FBufferFrames; }
  std::string DriverName() const { return FDriver; }
  // A paused device stops calling the mixer (after the call returns no mixing is in progress).
  void SetPaused(bool Paused);
  bool Paused() const { return FPaused; }

 private:
  static void Callback(void* User, uint8_t* Stream, int Len);
  uint32_t FDevice = 0;
  int FRate = 0;
  int FBufferFrames = 0;
  bool FPaused = false;
  std::string FDriver;
  std::unique_ptr<TSoundMixer> FMixer;
};
