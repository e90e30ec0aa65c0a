// Latency from TWaveCollectionItem::Play to the first sample of the sound leaving the mixer, on the
// sound component's device (512-frame buffer). Run by hand; the dummy audio driver is used unless
// SDL_AUDIODRIVER names another. The time measured ends when the device's mixing callback has
// taken the first samples of the sound; the device's own output buffering comes on top.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "dx/dxsound.h"
#include "platform/core/classes.h"
#include "platform/gui/controls.h"
#include "platform/sound/sound.h"
#include "bench/bench_measure.h"

namespace {

using vxbench::Percentile;

using Clock = std::chrono::steady_clock;

// A 16-bit mono 22050 Hz square wave of Ms milliseconds.
void FillTone(TWave& Wave, int Ms) {
  Wave.SetPCMFormat(1, 16, 22050);
  const int frames = 22050 * Ms / 1000;
  Wave.SetSize(frames * 2);
  auto* d = static_cast<uint8_t*>(Wave.Data());
  for (int i = 0; i < frames; ++i) {
    const int16_t v = (i / 25) % 2 ? 8000 : -8000;
    d[2 * i] = static_cast<uint8_t>(v & 0xFF);
    d[2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  }
}

// The buffer now playing the sound, once the mixer has moved its cursor.
bool Started(TDXSound* Sound) {
  TDirectSound* ds = Sound->DSound();
  for (int i = 0; i < ds->BufferCount(); ++i) {
    TDirectSoundBuffer* b = ds->Buffers(i);
    if (b->IsPrimary()) continue;
    if (b->Playing() && b->Position() > 0) return true;
  }
  return false;
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  try {
    Application->Initialize();
    TForm form(nullptr);
    auto* sound = new TDXSound(&form);
    sound->SetAutoInitialize(false);
    sound->SetOptions(soExclusive);
    auto* list = new TDXWaveList(&form);
    list->SetDXSound(sound);
    sound->Initialize();
    TWaveCollectionItem* click = list->Items()->Add();
    click->SetName("click");
    FillTone(click->Wave(), 200);
    click->Restore();
    const TSoundDevice& dev = sound->DSound()->ISound();
    std::mt19937 rng(7);
    std::vector<double> ms;
    const int plays = 300;
    for (int i = 0; i < plays; ++i) {
      // Start at a random point of the device's period.
      std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 15000)(rng)));
      const auto t0 = Clock::now();
      click->Play(false);
      while (!Started(sound)) {
        if (Clock::now() - t0 > std::chrono::seconds(1)) {
          std::fprintf(stderr, "the sound never started\n");
          return 1;
        }
        std::this_thread::yield();
      }
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
      click->Stop();
    }
    std::printf("play to first mixed sample (%s, %d Hz, %d-frame buffer, %d plays): median %.2f ms, p99 %.2f ms, "
                "worst %.2f ms\n",
                dev.DriverName().c_str(), dev.Rate(), dev.BufferFrames(), plays,
                Percentile(ms, 0.5), Percentile(ms, 0.99), *std::max_element(ms.begin(), ms.end()));
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
