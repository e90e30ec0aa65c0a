// dxg-write MANIFEST OUTPUT.DXG: builds a picture collection file from a manifest (see dxg.h).
#include <cstdio>

#include "tools/dxg/dxg.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dxg-write MANIFEST OUTPUT.DXG\n");
    return 2;
  }
  try {
    TPictureCollection items(nullptr);
    ReadDxgManifest(argv[1], items);
    items.SaveToFile(argv[2]);
  } catch (const Exception& e) {
    std::fprintf(stderr, "dxg-write: %s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
