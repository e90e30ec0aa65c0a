// What the host window uses of the games: the town list of the bomber, loaded once at start-up,
// the game pages (game choice and the two top-ten lists), which register their factories with
// the host services, and the two services of the application the games call back.
#pragma once

#include <functional>
#include <string>

// Reads the bomber game's configuration and town archives into the games' town list.
void LoadTowns();
// Registers the factories of TGameSelectForm, TBomberTopTenForm and TGalleryTopTenForm.
void RegisterGamePages();

// Set by the application: shows a help document (a path below the program folder, such as
// "help/help_games_0.htm") in a modal window. Nothing happens while it is empty.
extern std::function<void(const std::string& Document)> ShowGameHelp;
// Set by the course runner while a course page exists: advances the course after a game. Every
// game calls it once when it ends, also when the player left early.
extern std::function<void()> GameNextExercise;
