#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <atomic>

#include "platform/sound/sound.h"

namespace {

std::vector<uint8_t> Pcm16(const std::vector<int>& Samples) {
  std::vector<uint8_t> b;
  for (int s : Samples) {
    b.push_back(static_cast<uint8_t>(s & 0xFF));
    b.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
  }
  return b;
}

std::unique_ptr<TSoundVoice> Voice(TSoundMixer& M, const TSoundFormat& F, const std::vector<uint8_t>& Bytes) {
  auto v = M.CreateVoice(F, static_cast<uint32_t>(Bytes.size()));
  v->Write(0, Bytes.data(), static_cast<uint32_t>(Bytes.size()));
  return v;
}

TSoundFormat Mono16(int Rate = 44100) { return TSoundFormat{1, 16, Rate}; }

}  // namespace

// Each source layout is decoded to the right left/right values at the output rate.
TEST(SoundMixer, DecodesEveryLayout) {
  struct Case {
    TSoundFormat Format;
    std::vector<uint8_t> Bytes;
    std::vector<float> Expected;  // interleaved L R for each frame
  };
  const std::vector<Case> cases = {
      {{1, 8, 44100}, {128, 192, 0, 255}, {0, 0, 0.5f, 0.5f, -1, -1, 127 / 128.f, 127 / 128.f}},
      {{2, 8, 44100}, {128, 64, 255, 0}, {0, -0.5f, 127 / 128.f, -1}},
      {{1, 16, 44100}, Pcm16({0, 16384, -32768, 32767}), {0, 0, 0.5f, 0.5f, -1, -1, 32767 / 32768.f, 32767 / 32768.f}},
      {{2, 16, 44100}, Pcm16({8192, -8192, -16384, 32767}), {0.25f, -0.25f, -0.5f, 32767 / 32768.f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Format.Channels << "ch " << c.Format.BitsPerSample << "bit");
    TSoundMixer m(44100);
    auto v = Voice(m, c.Format, c.Bytes);
    v->Play(false);
    std::vector<float> out = m.Mix(static_cast<int>(c.Expected.size() / 2) + 2);
    for (size_t i = 0; i < c.Expected.size(); ++i) EXPECT_NEAR(out[i], c.Expected[i], 1e-6) << "sample " << i;
    // After the last frame the voice is silent and has stopped.
    EXPECT_EQ(out[c.Expected.size()], 0.0f);
    EXPECT_FALSE(v->Playing());
  }
}

TEST(SoundMixer, VolumeAndPanScaleTheChannels) {
  struct Case {
    int Volume, Pan;
    int StoredVolume, StoredPan;
    double Left, Right;
  };
  const double m6 = std::pow(10.0, -600 / 2000.0);
  const std::vector<Case> cases = {
      {0, 0, 0, 0, 1, 1},
      {-600, 0, -600, 0, m6, m6},
      {0, -600, 0, -600, 1, m6},          // left pan attenuates the right channel
      {0, 600, 0, 600, m6, 1},            // right pan attenuates the left channel
      {-600, -600, -600, -600, m6, m6 * m6},
      {0, -10000, 0, -10000, 1, 0},
      {0, 10000, 0, 10000, 0, 1},
      {-10000, 0, -10000, 0, 0, 0},
      {500, 20000, 0, 10000, 0, 1},       // out-of-range values are clamped
      {-20000, -20000, -10000, -10000, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "volume " << c.Volume << " pan " << c.Pan);
    TSoundMixer m(44100);
    auto v = Voice(m, Mono16(), Pcm16({16384, 16384}));
    v->SetVolume(c.Volume);
    v->SetPan(c.Pan);
    EXPECT_EQ(v->Volume(), c.StoredVolume);
    EXPECT_EQ(v->Pan(), c.StoredPan);
    v->Play(false);
    std::vector<float> out = m.Mix(1);
    EXPECT_NEAR(out[0], 0.5 * c.Left, 1e-5);
    EXPECT_NEAR(out[1], 0.5 * c.Right, 1e-5);
  }
}

TEST(SoundMixer, OneShotStopsAndRewindsAtTheEnd) {
  TSoundMixer m(44100);
  auto v = Voice(m, Mono16(), Pcm16({1000, 2000, 3000, 4000, 5000}));
  v->SetPosition(4);  // frame 2
  v->Play(false);
  std::vector<float> out = m.Mix(3);
  EXPECT_NEAR(out[0], 3000 / 32768.f, 1e-6);
  EXPECT_NEAR(out[4], 5000 / 32768.f, 1e-6);
  // The last frame was mixed in this very call, so the voice is already finished.
  EXPECT_FALSE(v->Playing());
  EXPECT_EQ(v->Position(), 0u);
  EXPECT_EQ(m.PlayingCount(), 0);
  // Playing again starts from the beginning.
  v->Play(false);
  out = m.Mix(1);
  EXPECT_NEAR(out[0], 1000 / 32768.f, 1e-6);
}

TEST(SoundMixer, LoopWrapsAroundAndKeepsPlaying) {
  TSoundMixer m(44100);
  auto v = Voice(m, Mono16(), Pcm16({100, 200, 300, 400}));
  v->Play(true);
  EXPECT_TRUE(v->Looping());
  std::vector<float> out = m.Mix(10);
  const int expect[] = {100, 200, 300, 400, 100, 200, 300, 400, 100, 200};
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(out[2 * i], expect[i] / 32768.f, 1e-6) << i;
  EXPECT_TRUE(v->Playing());
  EXPECT_EQ(v->Position(), 4u);  // frame 2
  // Stop keeps the position, Play resumes there.
  v->Stop();
  EXPECT_FALSE(v->Playing());
  out = m.Mix(1);
  EXPECT_EQ(out[0], 0.0f);
  v->Play(false);
  out = m.Mix(1);
  EXPECT_NEAR(out[0], 300 / 32768.f, 1e-6);
}

// Linear resampling: a source at half the output rate yields midpoints; a frequency override changes
// the speed; 0 restores the format's own rate.
TEST(SoundMixer, ResamplesLinearlyAndHonoursFrequency) {
  TSoundMixer m(44100);
  auto slow = Voice(m, Mono16(22050), Pcm16({0, 1000, 2000, 3000}));
  slow->Play(false);
  std::vector<float> out = m.Mix(6);
  const int expectSlow[] = {0, 500, 1000, 1500, 2000, 2500};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(out[2 * i], expectSlow[i] / 32768.f, 1e-5) << i;

  auto fast = Voice(m, Mono16(44100), Pcm16({0, 1000, 2000, 3000, 4000, 5000}));
  slow->Stop();
  fast->SetFrequency(88200);
  EXPECT_EQ(fast->Frequency(), 88200u);
  fast->Play(false);
  out = m.Mix(4);
  EXPECT_NEAR(out[0], 0, 1e-6);
  EXPECT_NEAR(out[2], 2000 / 32768.f, 1e-6);
  EXPECT_NEAR(out[4], 4000 / 32768.f, 1e-6);
  EXPECT_EQ(out[6], 0.0f);  // ran out after three frames
  EXPECT_FALSE(fast->Playing());

  fast->SetFrequency(0);
  EXPECT_EQ(fast->Frequency(), 44100u);
  fast->SetFrequency(5);
  EXPECT_EQ(fast->Frequency(), SoundFrequencyMin);
  fast->SetFrequency(10000000);
  EXPECT_EQ(fast->Frequency(), SoundFrequencyMax);
}

TEST(SoundMixer, DuplicatesShareDataButNotState) {
  TSoundMixer m(44100);
  auto a = Voice(m, Mono16(), Pcm16({1000, 2000, 3000, 4000}));
  a->SetVolume(-600);
  auto b = a->Duplicate();
  EXPECT_EQ(m.VoiceCount(), 2);
  EXPECT_EQ(b->Volume(), -600);
  EXPECT_FALSE(b->Playing());
  // Data written through one is heard through the other.
  const auto fresh = Pcm16({8000});
  a->Write(0, fresh.data(), 2);
  a->SetVolume(0);
  b->SetVolume(0);
  a->SetPosition(2);
  a->Play(false);
  b->Play(false);
  std::vector<float> out = m.Mix(1);
  EXPECT_NEAR(out[0], (2000 + 8000) / 32768.f, 1e-6);  // both mixed, each at its own position
  EXPECT_EQ(a->Position(), 4u);
  EXPECT_EQ(b->Position(), 2u);
  // Freeing a voice removes it from the mixer; the other keeps the shared data alive.
  a.reset();
  EXPECT_EQ(m.VoiceCount(), 1);
  out = m.Mix(1);
  EXPECT_NEAR(out[0], 2000 / 32768.f, 1e-6);
}

TEST(SoundMixer, SumIsClamped) {
  TSoundMixer m(44100);
  auto a = Voice(m, Mono16(), Pcm16({30000, -30000}));
  auto b = a->Duplicate();
  a->Play(false);
  b->Play(false);
  std::vector<float> out = m.Mix(2);
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_EQ(out[2], -1.0f);
}

TEST(SoundMixer, LockHandsOutWrappedRegionsWithCurrentBytes) {
  TSoundMixer m(44100);
  auto v = Voice(m, TSoundFormat{1, 8, 22050}, {10, 11, 12, 13, 14, 15});
  TSoundVoice::TLockRegion r = v->Lock(4, 4);
  ASSERT_EQ(r.Size1, 2u);
  ASSERT_EQ(r.Size2, 2u);
  EXPECT_EQ(r.Ptr1[0], 14);
  EXPECT_EQ(r.Ptr1[1], 15);
  EXPECT_EQ(r.Ptr2[0], 10);
  EXPECT_THROW(v->Lock(0, 1), ESoundError);  // one lock at a time
  r.Ptr1[1] = 99;
  r.Ptr2[0] = 98;
  v->Unlock();
  EXPECT_THROW(v->Unlock(), ESoundError);
  r = v->Lock(0, 0);  // the whole buffer
  ASSERT_EQ(r.Size1, 6u);
  EXPECT_EQ(r.Size2, 0u);
  EXPECT_EQ(std::vector<uint8_t>(r.Ptr1, r.Ptr1 + 6), (std::vector<uint8_t>{98, 11, 12, 13, 14, 99}));
  v->Unlock();
  for (auto bad : {std::pair<uint32_t, uint32_t>{6, 1}, {0, 7}, {100, 0}}) {
    EXPECT_THROW(v->Lock(bad.first, bad.second), ESoundError) << bad.first << "," << bad.second;
    EXPECT_FALSE(v->Locked());
  }
}

TEST(SoundMixer, PositionIsInBytesAlignedAndClamped) {
  TSoundMixer m(44100);
  auto v = m.CreateVoice(TSoundFormat{2, 16, 44100}, 40);  // 10 frames of 4 bytes
  v->SetPosition(7);
  EXPECT_EQ(v->Position(), 4u);
  v->SetPosition(1000);
  EXPECT_EQ(v->Position(), 40u);
  // Playing from the end of a one-shot voice stops at once.
  v->Play(false);
  m.Mix(1);
  EXPECT_FALSE(v->Playing());
}

TEST(SoundMixer, RejectsFormatsItCannotPlay) {
  const TSoundFormat bad[] = {{0, 16, 22050}, {3, 16, 22050}, {1, 12, 22050}, {1, 32, 22050}, {1, 16, 0},
                              {1, 16, 50}, {2, 8, 1000000}};
  TSoundMixer m(44100);
  for (const TSoundFormat& f : bad) {
    EXPECT_FALSE(f.Problem().empty());
    EXPECT_THROW(m.CreateVoice(f, 100), ESoundError) << f.Channels << " " << f.BitsPerSample << " " << f.SamplesPerSec;
  }
  EXPECT_EQ(m.VoiceCount(), 0);
  EXPECT_THROW(TSoundMixer(0), ESoundError);
}

// A new voice holds silence in its own sample encoding.
TEST(SoundMixer, NewVoiceIsSilent) {
  TSoundMixer m(44100);
  for (int bits : {8, 16}) {
    auto v = m.CreateVoice(TSoundFormat{1, bits, 44100}, 8);
    v->Play(true);
    for (float s : m.Mix(16)) EXPECT_EQ(s, 0.0f) << bits;
  }
}

// The GUI thread may create, change and free voices while the audio thread mixes.
TEST(SoundMixer, SurvivesConcurrentChanges) {
  TSoundMixer m(48000);
  std::atomic<bool> done{false};
  std::atomic<long> mixed{0};
  std::atomic<bool> outOfRange{false};
  std::thread audio([&] {
    std::vector<float> buf(2 * 256);
    while (!done) {
      m.Mix(buf.data(), 256);
      for (float s : buf)
        if (!(s >= -1.0f && s <= 1.0f)) outOfRange = true;
      ++mixed;
    }
  });
  auto base = m.CreateVoice(Mono16(22050), 2000);
  for (int i = 0; i < 300; ++i) {
    auto d = base->Duplicate();
    d->SetVolume(-i);
    d->SetPan(i * 10 - 1500);
    d->SetFrequency(8000 + i * 50);
    d->Play(i % 2 == 0);
    const auto bytes = Pcm16({i, -i, i});
    base->Write(static_cast<uint32_t>(i * 6 % 1990), bytes.data(), 6);
  }
  while (mixed < 10) std::this_thread::yield();
  done = true;
  audio.join();
  EXPECT_FALSE(outOfRange);
  EXPECT_EQ(m.VoiceCount(), 1);
}
