// What the host window uses of the games: the town list of the bomber, loaded once at start-up,
// and the game pages (game choice and the two top-ten lists), which register their factories
// with the host services.
#pragma once

// Reads the bomber game's configuration and town archives into the games' town list.
void LoadTowns();
// Registers the factories of TGameSelectForm, TBomberTopTenForm and TGalleryTopTenForm.
void RegisterGamePages();
