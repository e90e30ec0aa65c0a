// svg2bmp: renders an SVG picture into the 24-bit BMP (40-byte header, bottom-up) the program loads.
//
//   svg2bmp [--skin] [--matte #rrggbb] [--png OUT.png] IN.svg OUT.bmp
//
//   --skin    a skinned-control picture: uncovered pixels become the transparent green and the
//             bottom-left pixel must be one of them
//   --matte   the colour half-covered edge pixels are blended over (default white)
//   --png     also write the picture as PNG (for looking at it)
#include <cstdio>
#include <string>

#include "platform/gui/svgrender.h"
#include "tools/svg2bmp/picturetools.h"

int main(int argc, char** argv) {
  bool skin = false;
  std::string matte = "#ffffff", png, in, out;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--skin") {
      skin = true;
    } else if ((a == "--matte" || a == "--png") && i + 1 < argc) {
      (a == "--matte" ? matte : png) = argv[++i];
    } else if (in.empty()) {
      in = a;
    } else if (out.empty()) {
      out = a;
    } else {
      in.clear();
      break;
    }
  }
  if (in.empty() || out.empty()) {
    std::fprintf(stderr, "usage: svg2bmp [--skin] [--matte #rrggbb] [--png OUT.png] IN.svg OUT.bmp\n");
    return 2;
  }
  try {
    bmp::Image img = svg::Render(pictures::ReadFile(in));
    const uint32_t m = pictures::ParseColour(matte);
    if (skin) pictures::MakeSkin(img, m); else pictures::Flatten(img, m);
    pictures::WriteFile(out, bmp::Encode(img, 24));
    if (!png.empty()) svg::SavePng(img, png);
  } catch (const bmp::Error& e) {
    std::fprintf(stderr, "svg2bmp: %s: %s\n", in.c_str(), e.message.c_str());
    return 1;
  }
  return 0;
}
