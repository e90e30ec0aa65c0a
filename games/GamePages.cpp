#include "games/GameServices.h"

void RegisterGamePages() {}
