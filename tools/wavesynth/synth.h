// The WAVE synthesiser behind the wav-synth tool: turns a short textual recipe into PCM samples, so
// that the key clicks, bells and explosions the program plays are made from source at build time.
//
// A recipe is a list of segments played one after another, separated by ';' or by lines (in a
// recipe file, '#' starts a comment). A segment is a list of words:
//   sine | square | noise | silence   the waveform (default sine)
//   click                             a sharp tick: one sample up, one down, then silence
//   880Hz   or   1200-300Hz           the frequency, or a linear sweep from the first to the second
//   40ms    or   0.5s                 the duration (required)
//   attack:5ms                        a linear fade-in at the start
//   decay   or   decay:30ms           a linear fade-out to silence over the whole segment (after the
//                                     attack) or over its last part
//   vol:0.5   or   50%                the peak level, 0..1 (default 0.8)
// Format words may stand in any segment and apply to the whole sound:
//   8bit | 16bit (default 16)   22050 | 44100 | rate:N (default 22050)   mono   seed:N (noise)
// The output is always mono PCM; the data size is kept even (an 8-bit sound of an odd number of
// samples gets one more silent sample). Noise comes from a fixed generator, so a recipe always makes
// the same bytes.
#pragma once

#include <string>
#include <vector>

#include "dx/wave.h"

struct TSynthSegment {
  enum TShape { Sine, Square, Noise, Silence, Click } Shape = Sine;
  double FromHz = 440, ToHz = 440;
  double Seconds = 0;
  double AttackSeconds = 0;
  bool Decay = false;
  double DecaySeconds = 0;  // 0 with Decay: over the whole segment after the attack
  double Volume = 0.8;
};

struct TSynthRecipe {
  int Bits = 16;
  int Rate = 22050;
  unsigned Seed = 1;
  std::vector<TSynthSegment> Segments;
};

// Raises EConvertError with a message naming the offending word.
TSynthRecipe ParseSynthRecipe(const std::string& Text);
// Samples in -1..1 at the recipe's rate.
std::vector<double> RenderSynthSamples(const TSynthRecipe& Recipe);
// The finished sound.
void SynthesizeWave(const TSynthRecipe& Recipe, TWave& Wave);
