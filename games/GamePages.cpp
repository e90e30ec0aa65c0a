#include "games/GameServices.h"

void RegisterGamePages() {}

std::function<void(const std::string& Document)> ShowGameHelp;
std::function<void()> GameNextExercise;
