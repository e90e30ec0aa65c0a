// Linked into every test program: tests run headless and silent unless the caller asked otherwise,
// whether they are started by ctest, by hand or from a debugger.
#include <cstdlib>

namespace {
struct HeadlessDefaults {
  HeadlessDefaults() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
  }
} headlessDefaults;
}  // namespace
