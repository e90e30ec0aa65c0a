// Linked into every test program: tests run headless and silent unless the caller asked otherwise,
// whether they are started by ctest, by hand or from a debugger.
#include <unistd.h>

#include <cstdlib>

namespace {
struct HeadlessDefaults {
  HeadlessDefaults() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // Database changes stay all-or-nothing but are not synced to the disk one by one (the engine's
    // durability tests switch syncing on themselves).
    setenv("VXDB_SYNC", "off", 0);
#ifdef VX_TEST_FONTS_CONF
    // Rendered text is compared with kept pictures: only the program's own fonts take part, whatever
    // else the machine has installed.
    if (access(VX_TEST_FONTS_CONF, R_OK) == 0) setenv("FONTCONFIG_FILE", VX_TEST_FONTS_CONF, 1);
#endif
  }
} headlessDefaults;
}  // namespace
