// dxg-list FILE.DXG: reads a picture collection file with the framework's reader and prints one
// line per item (name, patterns, picture width, picture height, transparent colour).
#include <cstdio>

#include "tools/dxg/dxg.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dxg-list FILE.DXG\n");
    return 2;
  }
  try {
    TDXImageList list(nullptr);
    list.Items()->LoadFromFile(argv[1]);
    std::fputs(ListDxg(*list.Items()).c_str(), stdout);
  } catch (const Exception& e) {
    std::fprintf(stderr, "dxg-list: %s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
