// The gallery's side of the games page and of a course step.
#pragma once

#include <string>

class TComboBox;
class TDXTimerHost;

// How games started from the page run their timers (tests step them by hand).
struct TGalleryPageTimers {
  TDXTimerHost* TimerHost = nullptr;  // the application when nullptr
  bool RealClock = true;
};
extern TGalleryPageTimers GalleryPageTimers;

// Sets the games page's gallery hooks (its level and theme lists, its start). The host calls it
// once with the other game pages' registration.
void InstallGalleryPage();

// The page's lists: every level's name with the default level selected, every theme's name with
// the default theme selected. A configuration that cannot be read is reported and leaves the
// lists empty (the bomber stays playable).
void FillGalleryPageLists(TComboBox* Levels, TComboBox* Themes);
// Starts the game from the page's choices; false (after a message) when none starts.
bool StartGalleryFromGamePage(int LevelIndex, int ThemeIndex, const std::string& Allowed, const std::string& Preferred);

// A course step "Gallery|allowed|emphasised|level": the level counted from 1, a random theme.
// False (after a message) when no game starts, so the course can go on without it.
bool StartGalleryCourseStep(const std::string& Allowed, const std::string& Emphasised, const std::string& Level,
                            TDXTimerHost* TimerHost = nullptr, bool RealClock = true);
// The same with the level already a number (counted from 1).
bool StartGalleryCourseStep(const std::string& Allowed, const std::string& Emphasised, int Level,
                            TDXTimerHost* TimerHost = nullptr, bool RealClock = true);
