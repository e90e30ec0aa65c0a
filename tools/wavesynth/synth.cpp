#include "tools/wavesynth/synth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

[[noreturn]] void Bad(const std::string& Word, const std::string& Why) {
  throw EConvertError("recipe word '" + Word + "': " + Why);
}

double Number(const std::string& Text, const std::string& Word) {
  if (Text.empty()) Bad(Word, "number expected");
  char* end = nullptr;
  const double v = std::strtod(Text.c_str(), &end);
  if (end == nullptr || *end != '\0' || !std::isfinite(v) || v < 0) Bad(Word, "number expected");
  return v;
}

// "40ms" or "0.5s" in seconds.
double Duration(const std::string& Text, const std::string& Word) {
  if (EndsWith(Text, "ms")) return Number(Text.substr(0, Text.size() - 2), Word) / 1000.0;
  if (EndsWith(Text, "s")) return Number(Text.substr(0, Text.size() - 1), Word);
  Bad(Word, "duration in ms or s expected");
}

bool IsDuration(const std::string& w) {
  return (EndsWith(w, "ms") || EndsWith(w, "s")) && (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '.');
}

std::vector<std::string> Words(const std::string& Segment) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : Segment) {
    if (c == ' ' || c == '\t' || c == ',') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

void ParseSegment(const std::string& Text, TSynthRecipe& R) {
  const std::vector<std::string> words = Words(Text);
  if (words.empty()) return;
  TSynthSegment s;
  bool hasDuration = false, hasSegmentWord = false;
  for (const std::string& original : words) {
    const std::string w = Lower(original);
    if (w == "sine" || w == "square" || w == "noise" || w == "silence" || w == "click") {
      s.Shape = w == "sine" ? TSynthSegment::Sine
              : w == "square" ? TSynthSegment::Square
              : w == "noise" ? TSynthSegment::Noise
              : w == "click" ? TSynthSegment::Click
              : TSynthSegment::Silence;
      hasSegmentWord = true;
    } else if (EndsWith(w, "hz")) {
      const std::string f = w.substr(0, w.size() - 2);
      const size_t dash = f.find('-');
      s.FromHz = Number(f.substr(0, dash), original);
      s.ToHz = dash == std::string::npos ? s.FromHz : Number(f.substr(dash + 1), original);
      if (s.FromHz <= 0 || s.ToHz <= 0) Bad(original, "frequency must be above 0");
      hasSegmentWord = true;
    } else if (w.rfind("attack:", 0) == 0) {
      s.AttackSeconds = Duration(w.substr(7), original);
      hasSegmentWord = true;
    } else if (w == "decay") {
      s.Decay = true;
      hasSegmentWord = true;
    } else if (w.rfind("decay:", 0) == 0) {
      s.Decay = true;
      s.DecaySeconds = Duration(w.substr(6), original);
      hasSegmentWord = true;
    } else if (w.rfind("vol:", 0) == 0) {
      s.Volume = Number(w.substr(4), original);
      hasSegmentWord = true;
    } else if (EndsWith(w, "%") && w.size() > 1) {
      s.Volume = Number(w.substr(0, w.size() - 1), original) / 100.0;
      hasSegmentWord = true;
    } else if (w == "8bit" || w == "16bit") {
      R.Bits = w == "8bit" ? 8 : 16;
    } else if (w == "mono") {
    } else if (w == "22050" || w == "44100" || w == "11025") {
      R.Rate = std::atoi(w.c_str());
    } else if (w.rfind("rate:", 0) == 0) {
      const double rate = Number(w.substr(5), original);
      if (rate < 4000 || rate > 96000 || rate != std::floor(rate)) Bad(original, "rate must be 4000..96000");
      R.Rate = static_cast<int>(rate);
    } else if (w.rfind("seed:", 0) == 0) {
      R.Seed = static_cast<unsigned>(Number(w.substr(5), original));
    } else if (IsDuration(w)) {
      s.Seconds = Duration(w, original);
      if (s.Seconds > 60) Bad(original, "at most 60 s");
      hasDuration = true;
      hasSegmentWord = true;
    } else {
      Bad(original, "unknown word");
    }
  }
  if (!hasSegmentWord) return;  // only format words
  if (!hasDuration) throw EConvertError("recipe segment '" + Text + "' has no duration");
  if (s.Volume > 1) Bad(Text, "volume above 1");
  R.Segments.push_back(s);
}

}  // namespace

TSynthRecipe ParseSynthRecipe(const std::string& Text) {
  TSynthRecipe r;
  std::string segment;
  bool comment = false;  // from '#' to the end of the line
  for (char c : Text) {
    if (c == '\n' || c == '\r') {
      comment = false;
      ParseSegment(segment, r);
      segment.clear();
    } else if (comment) {
    } else if (c == '#') {
      comment = true;
    } else if (c == ';') {
      ParseSegment(segment, r);
      segment.clear();
    } else {
      segment += c;
    }
  }
  ParseSegment(segment, r);
  if (r.Segments.empty()) throw EConvertError("recipe has no sound segment");
  return r;
}

std::vector<double> RenderSynthSamples(const TSynthRecipe& Recipe) {
  std::vector<double> out;
  uint32_t noise = Recipe.Seed * 2654435761u + 12345u;
  const double rate = Recipe.Rate;
  for (const TSynthSegment& s : Recipe.Segments) {
    const size_t n = static_cast<size_t>(std::llround(s.Seconds * rate));
    const double attack = std::min(static_cast<double>(n), s.AttackSeconds * rate);
    const double decayLen = s.DecaySeconds > 0 ? std::min(static_cast<double>(n), s.DecaySeconds * rate)
                                               : static_cast<double>(n) - attack;
    double phase = 0;  // in turns
    for (size_t i = 0; i < n; ++i) {
      const double x = static_cast<double>(i);
      double env = attack > 0 && x < attack ? x / attack : 1.0;
      if (s.Decay && decayLen > 0) env *= std::clamp((static_cast<double>(n) - x) / decayLen, 0.0, 1.0);
      const double hz = s.FromHz + (s.ToHz - s.FromHz) * (n > 1 ? x / static_cast<double>(n - 1) : 0.0);
      double v = 0;
      switch (s.Shape) {
        case TSynthSegment::Sine: v = std::sin(2 * std::numbers::pi * phase); break;
        case TSynthSegment::Square: v = phase < 0.5 ? 1.0 : -1.0; break;
        case TSynthSegment::Noise:
          noise = noise * 1664525u + 1013904223u;
          v = static_cast<double>(noise >> 8) / 8388607.5 - 1.0;
          break;
        case TSynthSegment::Silence: v = 0; break;
        case TSynthSegment::Click: v = i == 0 ? 1.0 : i == 1 ? -1.0 : 0.0; break;
      }
      out.push_back(v * env * s.Volume);
      phase += hz / rate;
      phase -= std::floor(phase);
    }
  }
  return out;
}

void SynthesizeWave(const TSynthRecipe& Recipe, TWave& Wave) {
  std::vector<double> samples = RenderSynthSamples(Recipe);
  const int bytesPer = Recipe.Bits / 8;
  if (Recipe.Bits == 8 && samples.size() % 2 != 0) samples.push_back(0.0);  // keep the chunk even
  Wave.Clear();
  Wave.SetPCMFormat(1, Recipe.Bits, Recipe.Rate);
  Wave.SetSize(static_cast<int>(samples.size()) * bytesPer);
  uint8_t* d = Wave.Data();
  for (size_t i = 0; i < samples.size(); ++i) {
    const double v = std::clamp(samples[i], -1.0, 1.0);
    if (Recipe.Bits == 8) {
      d[i] = static_cast<uint8_t>(std::lround(v * 127.0) + 128);
    } else {
      const auto s = static_cast<int16_t>(std::lround(v * 32767.0));
      d[2 * i] = static_cast<uint8_t>(s & 0xFF);
      d[2 * i + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
    }
  }
}
