// Built while the games library is not part of the build: the host starts and runs without the
// games, whose pages then show nothing.
#include "games/GameServices.h"

void LoadTowns() {}
void RegisterGamePages() {}
