// Writes the seed corpus of the GIF fuzz target: small single-frame, interlaced, transparent and
// animated pictures. Run by hand: htmlview_make_gif_corpus <folder>.
#include <cstdio>
#include <string>

#include "htmlview/tests/gif_builder.h"

using gifbuild::Frame;

static void Save(const std::string& Dir, const char* Name, const std::vector<uint8_t>& Data) {
  std::string Path = Dir + "/" + Name;
  FILE* F = std::fopen(Path.c_str(), "wb");
  if (!F) {
    std::perror(Path.c_str());
    return;
  }
  std::fwrite(Data.data(), 1, Data.size(), F);
  std::fclose(F);
}

int main(int Argc, char** Argv) {
  if (Argc < 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", Argv[0]);
    return 2;
  }
  const std::string Dir = Argv[1];
  Frame A;
  A.Width = 8;
  A.Height = 5;
  for (int I = 0; I < 40; ++I) A.Pixels.push_back(static_cast<uint8_t>((I * 5 + I / 8) % 4));
  Save(Dir, "single.gif", gifbuild::Build(8, 5, gifbuild::Palette4(), {A}));
  Save(Dir, "single87a.gif", gifbuild::Build(8, 5, gifbuild::Palette4(), {A}, -1, "87a"));
  Frame I = A;
  I.Interlaced = true;
  Save(Dir, "interlaced.gif", gifbuild::Build(8, 5, gifbuild::Palette4(), {I}));
  Frame T = A;
  T.TransparentIndex = 0;
  T.Comment = "seed";
  Save(Dir, "transparent.gif", gifbuild::Build(8, 5, gifbuild::Palette4(), {T}));
  Frame B;
  B.Left = 2;
  B.Top = 1;
  B.Width = 3;
  B.Height = 3;
  B.Pixels = {1, 2, 3, 0, 0, 0, 3, 2, 1};
  B.TransparentIndex = 0;
  B.DelayCs = 5;
  B.Disposal = 2;
  Frame C = B;
  C.Left = 4;
  C.Disposal = 3;
  C.LocalTable = {9, 9, 9, 200, 100, 50};
  C.Pixels = {1, 0, 1, 0, 1, 0, 1, 0, 1};
  C.TransparentIndex = -1;
  C.Control = true;
  Save(Dir, "animated.gif", gifbuild::Build(8, 5, gifbuild::Palette4(), {A, B, C}, 3));
  std::vector<uint8_t> Grey(768);
  for (int K = 0; K < 256; ++K) Grey[K * 3] = Grey[K * 3 + 1] = Grey[K * 3 + 2] = static_cast<uint8_t>(K);
  Frame G;
  G.Width = 40;
  G.Height = 30;
  for (int K = 0; K < 1200; ++K) G.Pixels.push_back(static_cast<uint8_t>((K * 37) ^ (K >> 3)));
  Save(Dir, "grey256.gif", gifbuild::Build(40, 30, Grey, {G}, 0));
  return 0;
}
