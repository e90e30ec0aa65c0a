// wav-synth: writes a PCM WAVE file from a recipe (see synth.h).
//   wav-synth OUT.wav "square 1200-300Hz 30ms decay; silence 5ms"
//   wav-synth OUT.wav -f RECIPE.txt
#include <cstdio>
#include <string>

#include "platform/core/classes.h"
#include "tools/wavesynth/synth.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wav-synth OUT.wav RECIPE\n       wav-synth OUT.wav -f RECIPEFILE\n");
    return 2;
  }
  try {
    std::string recipe;
    if (std::string(argv[2]) == "-f") {
      if (argc < 4) throw Exception("-f needs a recipe file");
      TStringList lines;
      lines.LoadFromFile(argv[3]);
      recipe = lines.Text();
    } else {
      for (int i = 2; i < argc; ++i) recipe += std::string(i > 2 ? " " : "") + argv[i];
    }
    TWave wave;
    SynthesizeWave(ParseSynthRecipe(recipe), wave);
    TFileStream out(argv[1], fmCreate);
    wave.SaveToStream(&out);
  } catch (const Exception& e) {
    std::fprintf(stderr, "wav-synth: %s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
