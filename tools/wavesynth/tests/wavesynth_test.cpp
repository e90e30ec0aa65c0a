#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

#include "tools/wavesynth/synth.h"

namespace {

std::vector<int> Samples16(const TWave& W) {
  std::vector<int> s;
  for (int i = 0; i + 1 < W.Size(); i += 2) s.push_back(static_cast<int16_t>(W.Data()[i] | W.Data()[i + 1] << 8));
  return s;
}

int SignChanges(const std::vector<int>& S, size_t From, size_t To) {
  int n = 0;
  for (size_t i = From + 1; i < To; ++i) n += (S[i - 1] < 0) != (S[i] < 0) ? 1 : 0;
  return n;
}

std::unique_ptr<TWave> Make(const std::string& Recipe) {
  auto w = std::make_unique<TWave>();
  SynthesizeWave(ParseSynthRecipe(Recipe), *w);
  return w;
}

std::string Bytes(const TWave& W) { return std::string(reinterpret_cast<const char*>(W.Data()), static_cast<size_t>(W.Size())); }

}  // namespace

// The written file is a plain PCM WAVE that our reader takes, with the length and format asked for.
TEST(WaveSynth, RecipesGiveTheAskedFormatAndLength) {
  struct Case {
    std::string Recipe;
    int Bits, Rate, Bytes;
  };
  const Case cases[] = {
      {"sine 880Hz 40ms decay", 16, 22050, 882 * 2},
      {"8bit 44100 square 1000Hz 10ms", 8, 44100, 441 + 1},  // odd sample count padded to even
      {"noise 20ms; silence 0.01s; sine 440Hz 5ms rate:11025", 16, 11025, (221 + 110 + 55) * 2},  // 220.5 rounds up
      {"# a click\nnoise 2ms decay vol:0.3\n\nsquare 2000Hz 2ms 50%  # the tick\n", 16, 22050, (44 + 44) * 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Recipe);
    std::unique_ptr<TWave> w = Make(c.Recipe);
    TMemoryStream s;
    w->SaveToStream(&s);
    // Header, an 18-byte format chunk and the data chunk, nothing else.
    EXPECT_EQ(s.Size(), 12 + 8 + 18 + 8 + c.Bytes);
    EXPECT_EQ(c.Bytes % 2, 0);
    s.SetPosition(0);
    TWave back;
    back.LoadFromStream(&s);
    const TWaveFormatEx f = back.FormatRecord();
    EXPECT_TRUE(f.IsPlayablePcm());
    EXPECT_EQ(f.Channels, 1);
    EXPECT_EQ(f.BitsPerSample, c.Bits);
    EXPECT_EQ(f.SamplesPerSec, static_cast<uint32_t>(c.Rate));
    EXPECT_EQ(back.Size(), c.Bytes);
  }
}

TEST(WaveSynth, ToneHasItsFrequencyLevelAndEnvelope) {
  // 1000 Hz for 100 ms crosses zero about 200 times; the peak is the volume.
  std::vector<int> s = Samples16(*Make("sine 1000Hz 100ms vol:0.5"));
  ASSERT_EQ(s.size(), 2205u);
  EXPECT_NEAR(SignChanges(s, 0, s.size()), 200, 2);
  EXPECT_NEAR(*std::max_element(s.begin(), s.end()), 16384, 40);

  // A sweep from 500 to 2000 Hz: the second half changes sign far more often than the first.
  s = Samples16(*Make("square 500-2000Hz 200ms"));
  const int first = SignChanges(s, 0, s.size() / 2), second = SignChanges(s, s.size() / 2, s.size());
  EXPECT_NEAR(first, 2 * 0.1 * 875, 6);    // mean frequency of the first half: 875 Hz
  EXPECT_NEAR(second, 2 * 0.1 * 1625, 6);  // and of the second: 1625 Hz

  // A click is one sample up, one down, then silence.
  s = Samples16(*Make("click 5ms vol:1"));
  ASSERT_EQ(s.size(), 110u);
  EXPECT_EQ(s[0], 32767);
  EXPECT_EQ(s[1], -32767);
  EXPECT_EQ(std::count(s.begin() + 2, s.end(), 0), 108);

  // Attack rises from silence, decay falls to it.
  s = Samples16(*Make("square 100Hz 100ms attack:50ms decay"));
  EXPECT_EQ(s.front(), 0);
  EXPECT_LT(std::abs(s[100]), std::abs(s[1100]));
  EXPECT_LT(std::abs(s.back()), 40);
  EXPECT_GT(std::abs(s[1102]), 20000);
}

TEST(WaveSynth, NoiseIsRepeatableAndSeedable) {
  const std::string a = Bytes(*Make("noise 10ms")), b = Bytes(*Make("noise 10ms")), c = Bytes(*Make("noise 10ms seed:7"));
  ASSERT_EQ(a.size(), 221u * 2);  // 220.5 samples round to 221
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
}

TEST(WaveSynth, BadRecipesAreRejectedWithTheWord) {
  const char* bad[] = {"", "# only a comment", "sine 440Hz", "sine 440Hz 10parsecs", "sine -5Hz 10ms", "sine 0Hz 10ms",
                       "wobble 10ms", "sine 440Hz 10ms vol:2", "rate:100 sine 10ms", "sine 10ms 90s"};
  for (const char* r : bad) EXPECT_THROW(ParseSynthRecipe(r), EConvertError) << r;
  try {
    ParseSynthRecipe("sine 440Hz 10ms wobble");
  } catch (const EConvertError& e) {
    EXPECT_NE(e.Message().find("wobble"), std::string::npos);
  }
}

// The tool end to end: a recipe file in, a WAVE file out that our reader loads; bad input fails.
TEST(WaveSynth, CommandLineWritesTheFile) {
  const auto dir = std::filesystem::temp_directory_path() / ("wavsynth-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string recipe = (dir / "bell.txt").string(), out = (dir / "bell.wav").string();
  std::ofstream(recipe) << "# bell\nsine 1760Hz 30ms attack:2ms decay\n8bit\n";
  ASSERT_EQ(std::system((std::string(WAV_SYNTH_EXE) + " " + out + " -f " + recipe).c_str()), 0);
  TFileStream f(out, fmOpenRead);
  TWave w;
  w.LoadFromStream(&f);
  EXPECT_EQ(w.FormatRecord().BitsPerSample, 8);
  EXPECT_EQ(w.Size(), 662);
  const std::string bad = std::string(WAV_SYNTH_EXE) + " " + (dir / "x.wav").string() + " \"sine 10ms wobble\" 2>/dev/null";
  EXPECT_NE(std::system(bad.c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
  std::filesystem::remove_all(dir);
}
