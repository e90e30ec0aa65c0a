// gallery-check: reads an installation's gallery the way the game does and fails with the list
// of problems: gallery.xml and every level, the default level, the themes with their names and
// every titled picture (present, .bmp or .jpg, 728 x 486).
//
//   gallery-check INSTALLATION-FOLDER
#include <cstdio>

#include "games/GalleryConfig.h"
#include "platform/core/fileutils.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gallery-check INSTALLATION-FOLDER\n");
    return 2;
  }
  SetProgramFolder(argv[1]);
  const std::vector<std::string> Problems = CheckGalleryContent();
  for (const std::string& P : Problems) std::fprintf(stderr, "gallery-check: %s\n", P.c_str());
  if (Problems.empty())
    std::printf("gallery-check: %zu themes, every level and picture readable\n", GalleryThemes.size());
  FreeGalleryConfig();
  return Problems.empty() ? 0 : 1;
}
