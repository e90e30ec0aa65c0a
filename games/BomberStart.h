// Starting a bomber game, for the game page and for a course step.
#pragma once

#include <functional>
#include <string>

class TDXTimerHost;

struct TBomberStart {
  int Difficulty = 1;              // 1..3
  std::string AllowedLetters;      // empty: every letter that has a bomb
  std::string PreferredLetters;
  int TownIndex = 0;
  TDXTimerHost* TimerHost = nullptr;  // the application when nullptr
};

// Creates the scene on the host window's display and starts the game. A start that fails shows
// its error, leaves no scene behind (the key hook is put back) and returns false.
bool StartBomberGame(const TBomberStart& Start);

// How a failed start is shown (a warning box unless replaced; tests record the text).
extern std::function<void(const std::string& Text)> ReportGameError;

// A course step's bomber game: the letters and difficulty of the step, a random town. Without
// towns (or with a difficulty outside 1..3) the student is told, no game starts and no end is
// reported: the course stays on its step.
bool StartBomberCourseStep(const std::string& Allowed, const std::string& Preferred, int Difficulty);
