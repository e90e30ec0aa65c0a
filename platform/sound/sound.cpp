#include "platform/sound/sound.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

struct TMixerCore {
  std::mutex Mutex;
  std::vector<TSoundVoice*> Voices;
  int Rate = 44100;
};

namespace {

// A level in hundredths of a decibel as a linear gain; the bottom of the range is silence.
float HundredthsToGain(int Hundredths) {
  if (Hundredths <= SoundVolumeMin) return 0.0f;
  if (Hundredths >= 0) return 1.0f;
  return static_cast<float>(std::pow(10.0, Hundredths / 2000.0));
}

// One frame of the source as a left/right pair in -1..1.
template <int Bits, int Channels>
inline void ReadFrame(const uint8_t* Data, uint32_t Frame, float& L, float& R) {
  if constexpr (Bits == 8) {
    const uint8_t* p = Data + static_cast<size_t>(Frame) * Channels;
    L = (static_cast<int>(p[0]) - 128) / 128.0f;
    R = Channels == 2 ? (static_cast<int>(p[1]) - 128) / 128.0f : L;
  } else {
    const uint8_t* p = Data + static_cast<size_t>(Frame) * Channels * 2;
    L = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))) / 32768.0f;
    R = Channels == 2 ? static_cast<int16_t>(static_cast<uint16_t>(p[2] | (p[3] << 8))) / 32768.0f : L;
  }
}

}  // namespace

std::string TSoundFormat::Problem() const {
  if (Channels != 1 && Channels != 2) return "unsupported channel count " + std::to_string(Channels);
  if (BitsPerSample != 8 && BitsPerSample != 16)
    return "unsupported sample size " + std::to_string(BitsPerSample) + " bits";
  if (SamplesPerSec < static_cast<int>(SoundFrequencyMin) || SamplesPerSec > static_cast<int>(SoundFrequencyMax))
    return "unsupported sample rate " + std::to_string(SamplesPerSec);
  return std::string();
}

// ---- Voice ---------------------------------------------------------------------------------------

TSoundVoice::TSoundVoice(std::shared_ptr<TMixerCore> Core, const TSoundFormat& Format,
                         std::shared_ptr<std::vector<uint8_t>> Data)
    : FCore(std::move(Core)), FFormat(Format), FData(std::move(Data)) {
  FFrames = static_cast<uint32_t>(FData->size() / static_cast<size_t>(FFormat.BlockAlign()));
}

void TSoundVoice::Register() {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  FCore->Voices.push_back(this);
}

TSoundVoice::~TSoundVoice() {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  auto& v = FCore->Voices;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

uint32_t TSoundVoice::Size() const { return static_cast<uint32_t>(FData->size()); }

void TSoundVoice::Play(bool Loop) {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  FLooping = Loop;
  FPlaying = true;
}

void TSoundVoice::Stop() {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  FPlaying = false;
}

bool TSoundVoice::Playing() const {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  return FPlaying;
}

bool TSoundVoice::Looping() const {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  return FPlaying && FLooping;
}

uint32_t TSoundVoice::Position() const {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  return static_cast<uint32_t>((FPos >> 32) * static_cast<uint64_t>(FFormat.BlockAlign()));
}

void TSoundVoice::SetPosition(uint32_t Bytes) {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  uint64_t frame = Bytes / static_cast<uint32_t>(FFormat.BlockAlign());
  if (frame > FFrames) frame = FFrames;
  FPos = frame << 32;
}

int TSoundVoice::Volume() const {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  return FVolume;
}

void TSoundVoice::SetVolume(int Hundredths) {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  FVolume = std::clamp(Hundredths, SoundVolumeMin, SoundVolumeMax);
  UpdateGains();
}

int TSoundVoice::Pan() const {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  return FPan;
}

void TSoundVoice::SetPan(int Hundredths) {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  FPan = std::clamp(Hundredths, SoundPanLeft, SoundPanRight);
  UpdateGains();
}

void TSoundVoice::UpdateGains() {
  float gain = HundredthsToGain(FVolume);
  FGainLeft = gain * (FPan > 0 ? HundredthsToGain(-FPan) : 1.0f);
  FGainRight = gain * (FPan < 0 ? HundredthsToGain(FPan) : 1.0f);
}

uint32_t TSoundVoice::Frequency() const {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  return FFrequency != 0 ? FFrequency : static_cast<uint32_t>(FFormat.SamplesPerSec);
}

void TSoundVoice::SetFrequency(uint32_t Hz) {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  FFrequency = Hz == 0 ? 0 : std::clamp(Hz, SoundFrequencyMin, SoundFrequencyMax);
}

std::unique_ptr<TSoundVoice> TSoundVoice::Duplicate() const {
  std::unique_ptr<TSoundVoice> d(new TSoundVoice(FCore, FFormat, FData));
  {
    std::lock_guard<std::mutex> g(FCore->Mutex);
    d->FVolume = FVolume;
    d->FPan = FPan;
    d->FFrequency = FFrequency;
    d->UpdateGains();
  }
  d->Register();
  return d;
}

TSoundVoice::TLockRegion TSoundVoice::Lock(uint32_t Offset, uint32_t Bytes) {
  const uint32_t size = Size();
  if (FLocked) throw ESoundError("sound buffer is already locked");
  if (Bytes == 0) Bytes = size;
  if (size == 0 || Offset >= size || Bytes > size)
    throw ESoundError("lock of " + std::to_string(Bytes) + " bytes at " + std::to_string(Offset) +
                      " does not fit a sound buffer of " + std::to_string(size) + " bytes");
  FLockBuffer.resize(Bytes);
  TLockRegion r;
  r.Size1 = std::min(Bytes, size - Offset);
  r.Size2 = Bytes - r.Size1;
  {
    std::lock_guard<std::mutex> g(FCore->Mutex);
    std::memcpy(FLockBuffer.data(), FData->data() + Offset, r.Size1);
    if (r.Size2 != 0) std::memcpy(FLockBuffer.data() + r.Size1, FData->data(), r.Size2);
  }
  r.Ptr1 = FLockBuffer.data();
  r.Ptr2 = r.Size2 != 0 ? FLockBuffer.data() + r.Size1 : nullptr;
  FLocked = true;
  FLockOffset = Offset;
  return r;
}

void TSoundVoice::Unlock() {
  if (!FLocked) throw ESoundError("sound buffer is not locked");
  const uint32_t size = Size();
  const uint32_t bytes = static_cast<uint32_t>(FLockBuffer.size());
  const uint32_t first = std::min(bytes, size - FLockOffset);
  {
    std::lock_guard<std::mutex> g(FCore->Mutex);
    std::memcpy(FData->data() + FLockOffset, FLockBuffer.data(), first);
    if (bytes > first) std::memcpy(FData->data(), FLockBuffer.data() + first, bytes - first);
  }
  FLocked = false;
  FLockBuffer.clear();
}

void TSoundVoice::Write(uint32_t Offset, const void* Data, uint32_t Count) {
  if (Count == 0) return;
  TLockRegion r = Lock(Offset, Count);
  const uint8_t* src = static_cast<const uint8_t*>(Data);
  std::memcpy(r.Ptr1, src, r.Size1);
  if (r.Size2 != 0) std::memcpy(r.Ptr2, src + r.Size1, r.Size2);
  Unlock();
}

// ---- Mixer ---------------------------------------------------------------------------------------

namespace {

// Adds one voice into Out; called with the core's mutex held. Returns nothing: the voice's cursor and
// play state are updated in place (a one-shot voice that runs out stops and rewinds).
template <int Bits, int Channels>
void MixVoice(float* Out, int Frames, int OutRate, const uint8_t* Data, uint32_t SrcFrames, uint32_t Rate,
              bool Loop, float GainL, float GainR, uint64_t& Pos, bool& Playing) {
  const uint64_t end = static_cast<uint64_t>(SrcFrames) << 32;
  if (SrcFrames == 0) {
    Playing = false;
    Pos = 0;
    return;
  }
  const uint64_t step = (static_cast<uint64_t>(Rate) << 32) / static_cast<uint64_t>(OutRate);
  if (Pos >= end) {
    if (!Loop) {
      Playing = false;
      Pos = 0;
      return;
    }
    Pos %= end;
  }
  for (int f = 0; f < Frames; ++f) {
    const uint32_t i = static_cast<uint32_t>(Pos >> 32);
    const float frac = static_cast<float>(static_cast<uint32_t>(Pos)) * (1.0f / 4294967296.0f);
    uint32_t next = i + 1;
    if (next >= SrcFrames) next = Loop ? 0 : i;
    float l0, r0, l1, r1;
    ReadFrame<Bits, Channels>(Data, i, l0, r0);
    ReadFrame<Bits, Channels>(Data, next, l1, r1);
    Out[2 * f] += (l0 + (l1 - l0) * frac) * GainL;
    Out[2 * f + 1] += (r0 + (r1 - r0) * frac) * GainR;
    Pos += step;
    if (Pos >= end) {
      if (!Loop) {
        Playing = false;
        Pos = 0;
        return;
      }
      Pos %= end;
    }
  }
}

}  // namespace

TSoundMixer::TSoundMixer(int OutputRate) : FCore(std::make_shared<TMixerCore>()) {
  if (OutputRate <= 0) throw ESoundError("invalid mixer output rate " + std::to_string(OutputRate));
  FCore->Rate = OutputRate;
}

TSoundMixer::~TSoundMixer() = default;

int TSoundMixer::OutputRate() const { return FCore->Rate; }

std::unique_ptr<TSoundVoice> TSoundMixer::CreateVoice(const TSoundFormat& Format, uint32_t Size) {
  std::string problem = Format.Problem();
  if (!problem.empty()) throw ESoundError("sound buffer cannot be made: " + problem);
  auto data = std::make_shared<std::vector<uint8_t>>(Size, Format.BitsPerSample == 8 ? 0x80 : 0x00);
  std::unique_ptr<TSoundVoice> v(new TSoundVoice(FCore, Format, std::move(data)));
  v->Register();
  return v;
}

int TSoundMixer::VoiceCount() const {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  return static_cast<int>(FCore->Voices.size());
}

int TSoundMixer::PlayingCount() const {
  std::lock_guard<std::mutex> g(FCore->Mutex);
  int n = 0;
  for (const TSoundVoice* v : FCore->Voices) n += v->FPlaying ? 1 : 0;
  return n;
}

void TSoundMixer::Mix(float* Out, int Frames) {
  if (Frames <= 0) return;
  std::fill(Out, Out + 2 * static_cast<size_t>(Frames), 0.0f);
  std::lock_guard<std::mutex> g(FCore->Mutex);
  const int rate = FCore->Rate;
  for (TSoundVoice* v : FCore->Voices) {
    if (!v->FPlaying) continue;
    const uint32_t srcRate = v->FFrequency != 0 ? v->FFrequency : static_cast<uint32_t>(v->FFormat.SamplesPerSec);
    const uint8_t* data = v->FData->data();
    const bool stereo = v->FFormat.Channels == 2;
    if (v->FFormat.BitsPerSample == 8) {
      if (stereo)
        MixVoice<8, 2>(Out, Frames, rate, data, v->FFrames, srcRate, v->FLooping, v->FGainLeft, v->FGainRight, v->FPos, v->FPlaying);
      else
        MixVoice<8, 1>(Out, Frames, rate, data, v->FFrames, srcRate, v->FLooping, v->FGainLeft, v->FGainRight, v->FPos, v->FPlaying);
    } else {
      if (stereo)
        MixVoice<16, 2>(Out, Frames, rate, data, v->FFrames, srcRate, v->FLooping, v->FGainLeft, v->FGainRight, v->FPos, v->FPlaying);
      else
        MixVoice<16, 1>(Out, Frames, rate, data, v->FFrames, srcRate, v->FLooping, v->FGainLeft, v->FGainRight, v->FPos, v->FPlaying);
    }
  }
  for (size_t i = 0; i < 2 * static_cast<size_t>(Frames); ++i) Out[i] = std::clamp(Out[i], -1.0f, 1.0f);
}

std::vector<float> TSoundMixer::Mix(int Frames) {
  std::vector<float> out(2 * static_cast<size_t>(std::max(Frames, 0)));
  Mix(out.data(), Frames);
  return out;
}

// ---- Device --------------------------------------------------------------------------------------

TSoundDevice::TSoundDevice(int PreferredRate, int BufferFrames) {
  // The library would otherwise take over SIGINT and SIGTERM, and the program could no longer be
  // ended by the system or the session it runs in.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
    throw ESoundError(std::string("audio cannot be started: ") + SDL_GetError());
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = PreferredRate > 0 ? PreferredRate : 44100;
  want.format = AUDIO_F32SYS;
  want.channels = 2;
  want.samples = static_cast<Uint16>(std::clamp(BufferFrames, 64, 8192));
  want.callback = &TSoundDevice::Callback;
  want.userdata = this;
  SDL_AudioSpec have;
  SDL_zero(have);
  // The mixer takes the device's rate; SDL converts the float stereo stream to whatever the hardware
  // wants, so the callback always sees float stereo.
  FDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
  if (FDevice == 0) {
    std::string why = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    throw ESoundError("no audio output device can be opened: " + why);
  }
  FRate = have.freq;
  FBufferFrames = have.samples;
  const char* driver = SDL_GetCurrentAudioDriver();
  FDriver = driver != nullptr ? driver : "";
  FMixer = std::make_unique<TSoundMixer>(FRate);
  SDL_PauseAudioDevice(FDevice, 0);
}

TSoundDevice::~TSoundDevice() {
  SDL_CloseAudioDevice(FDevice);  // waits for a running callback
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void TSoundDevice::SetPaused(bool Paused) {
  SDL_PauseAudioDevice(FDevice, Paused ? 1 : 0);
  FPaused = Paused;
}

void TSoundDevice::Callback(void* User, uint8_t* Stream, int Len) {
  auto* self = static_cast<TSoundDevice*>(User);
  self->FMixer->Mix(reinterpret_cast<float*>(Stream), Len / static_cast<int>(2 * sizeof(float)));
}
