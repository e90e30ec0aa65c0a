#include "games/GameServices.h"

#include "games/GalleryPage.h"
#include "games/GameSelect.h"
#include "games/TopTen.h"
#include "tutor/core/PageHost.h"

std::function<void(const std::string& Document)> ShowGameHelp;
std::function<void()> GameNextExercise;

void RegisterGamePages() {
  // The gallery's part of the games page.
  InstallGalleryPage();
  RegisterPageFactory(TPageId::GameSelect, [] { return new TGameSelectForm(nullptr); });
  RegisterPageFactory(TPageId::BomberTopTen, [] { return new TBomberTopTenForm(nullptr); });
  RegisterPageFactory(TPageId::GalleryTopTen, [] { return new TGalleryTopTenForm(nullptr); });
}
