// What the host calls of the games, for a build without them or with games that do not provide
// it yet: the host then starts and runs without the games, whose pages show nothing. The games
// library's own definitions take their place (it is linked whole, so they win over these).
#include "games/GameServices.h"

__attribute__((weak)) void LoadTowns() {}
__attribute__((weak)) void RegisterGamePages() {}
