// kbd-gen GEOMETRY THEME OUT-DIR NAME: writes NAME.svg, NAME_fingers.svg, NAME_keys.txt and
// NAME_chars.txt into OUT-DIR.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/kbdgen/kbdgen.h"

namespace {

std::string Read(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + Path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void Write(const std::string& Path, const std::string& Text) {
  std::ofstream f(Path, std::ios::binary | std::ios::trunc);
  f << Text;
  if (!f) throw std::runtime_error("cannot write " + Path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: kbd-gen GEOMETRY THEME OUT-DIR NAME\n");
    return 2;
  }
  try {
    const kbd::Layout layout = kbd::ReadLayout(Read(argv[1]));
    const auto theme = kbd::ReadTheme(Read(argv[2]));
    const std::string base = std::string(argv[3]) + "/" + argv[4];
    Write(base + ".svg", kbd::Picture(layout, theme, false));
    Write(base + "_fingers.svg", kbd::Picture(layout, theme, true));
    Write(base + "_keys.txt", kbd::KeysFile(layout));
    Write(base + "_chars.txt", kbd::CharsFile(layout));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kbd-gen: %s: %s\n", argv[1], e.what());
    return 1;
  }
  return 0;
}
