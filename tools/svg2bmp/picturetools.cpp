#include "tools/svg2bmp/picturetools.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace pictures {

namespace {

uint32_t Blend(uint32_t Pixel, uint32_t Under) {
  const uint32_t a = Pixel >> 24;
  auto ch = [&](int shift) {
    const uint32_t p = (Pixel >> shift) & 0xFF, u = (Under >> shift) & 0xFF;
    return ((p * a + u * (255 - a) + 127) / 255) << shift;
  };
  return 0xFF000000u | ch(16) | ch(8) | ch(0);
}

}  // namespace

void Flatten(bmp::Image& Img, uint32_t Matte) {
  for (uint32_t& p : Img.pixels) p = Blend(p, Matte);
  Img.bitsPerPixel = 24;
  Img.hasAlpha = false;
}

void MakeSkin(bmp::Image& Img, uint32_t Matte) {
  if (Img.width <= 0 || Img.height <= 0) throw bmp::Error("empty picture");
  for (uint32_t& p : Img.pixels) {
    if ((p >> 24) < 128) {
      p = kKeyGreen;
    } else {
      p = Blend(p, Matte);
      if (p == kKeyGreen) p = 0xFF00FE00;
    }
  }
  const uint32_t corner = Img.pixels[static_cast<size_t>(Img.height - 1) * Img.width];
  if (corner != kKeyGreen)
    throw bmp::Error("the drawing covers the bottom-left pixel, which must stay transparent");
  Img.bitsPerPixel = 24;
  Img.hasAlpha = false;
}

void Composite(bmp::Image& Base, const bmp::Image& Top, int X, int Y, uint32_t Key) {
  for (int y = 0; y < Top.height; ++y) {
    const int by = Y + y;
    if (by < 0 || by >= Base.height) continue;
    for (int x = 0; x < Top.width; ++x) {
      const int bx = X + x;
      if (bx < 0 || bx >= Base.width) continue;
      const uint32_t p = Top.pixels[static_cast<size_t>(y) * Top.width + x];
      if (Key != 0 && (p | 0xFF000000u) == (Key | 0xFF000000u)) continue;
      uint32_t& b = Base.pixels[static_cast<size_t>(by) * Base.width + bx];
      b = Blend(p, b);
    }
  }
}

uint32_t ParseColour(const std::string& Text) {
  std::string t = Text;
  if (!t.empty() && t[0] == '#') t.erase(0, 1);
  if (t.size() != 6) throw bmp::Error("colour '" + Text + "' is not #rrggbb");
  uint32_t v = 0;
  for (char c : t) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) throw bmp::Error("colour '" + Text + "' is not #rrggbb");
    v = v * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
  }
  return v;
}

std::string ReadFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  if (!f) throw bmp::Error("cannot read " + Path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteFile(const std::string& Path, const std::vector<uint8_t>& Bytes) {
  std::ofstream f(Path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
  if (!f) throw bmp::Error("cannot write " + Path);
}

}  // namespace pictures
