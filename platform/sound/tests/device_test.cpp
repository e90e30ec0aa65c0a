#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/sound/sound.h"

namespace {

// Restores SDL_AUDIODRIVER when a test has changed it.
class DriverGuard {
 public:
  explicit DriverGuard(const char* Value) {
    const char* old = std::getenv("SDL_AUDIODRIVER");
    FHad = old != nullptr;
    if (FHad) FOld = old;
    setenv("SDL_AUDIODRIVER", Value, 1);
  }
  ~DriverGuard() {
    if (FHad)
      setenv("SDL_AUDIODRIVER", FOld.c_str(), 1);
    else
      unsetenv("SDL_AUDIODRIVER");
  }

 private:
  bool FHad = false;
  std::string FOld;
};

}  // namespace

TEST(SoundDevice, OpensTheDummyOutputAndPlaysToTheEnd) {
  DriverGuard g("dummy");
  TSoundDevice dev(44100, 512);
  EXPECT_EQ(dev.DriverName(), "dummy");
  EXPECT_GT(dev.Rate(), 0);
  EXPECT_EQ(dev.Mixer().OutputRate(), dev.Rate());
  auto v = dev.Mixer().CreateVoice(TSoundFormat{1, 16, 22050}, 2 * 441);  // 20 ms
  v->Play(false);
  // The device's own thread consumes the voice; wait (bounded) until it has finished.
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (v->Playing() && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(v->Playing());
  EXPECT_EQ(v->Position(), 0u);
}

TEST(SoundDevice, StartingTheOutputLeavesTheTerminationSignalsAlone) {
  // A program with sound must still end on SIGTERM (a session ending, kill) and SIGINT.
  struct sigaction before[2], after[2];
  ASSERT_EQ(sigaction(SIGTERM, nullptr, &before[0]), 0);
  ASSERT_EQ(sigaction(SIGINT, nullptr, &before[1]), 0);
  {
    TSoundDevice dev;
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &after[0]), 0);
    ASSERT_EQ(sigaction(SIGINT, nullptr, &after[1]), 0);
  }
  EXPECT_EQ(after[0].sa_handler, before[0].sa_handler);
  EXPECT_EQ(after[1].sa_handler, before[1].sa_handler);
}

TEST(SoundDevice, PausedDeviceLeavesMixingToTheCaller) {
  DriverGuard g("dummy");
  TSoundDevice dev;
  dev.SetPaused(true);
  EXPECT_TRUE(dev.Paused());
  auto v = dev.Mixer().CreateVoice(TSoundFormat{1, 8, dev.Rate()}, 4);
  const uint8_t bytes[] = {192, 64, 128, 255};
  v->Write(0, bytes, 4);
  v->Play(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(v->Playing());  // nothing consumed it
  std::vector<float> out = dev.Mixer().Mix(4);
  EXPECT_FLOAT_EQ(out[0], 0.5f);
  EXPECT_FLOAT_EQ(out[2], -0.5f);
  EXPECT_FALSE(v->Playing());
}

TEST(SoundDevice, MissingDeviceRaisesAClearError) {
  DriverGuard g("no-such-driver");
  try {
    TSoundDevice dev;
    FAIL() << "a device was opened";
  } catch (const ESoundError& e) {
    EXPECT_NE(std::string(e.what()).find("audio"), std::string::npos) << e.what();
  }
  // The failure leaves nothing behind: a working driver opens afterwards.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  EXPECT_NO_THROW(TSoundDevice());
}
