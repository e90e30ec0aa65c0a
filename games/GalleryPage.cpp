#include "games/GalleryPage.h"

#include "games/BomberStart.h"
#include "games/GalleryConfig.h"
#include "games/GalleryScene.h"
#include "games/GameSelect.h"
#include "games/XmlValue.h"
#include "platform/core/random.h"
#include "platform/core/sysutils.h"
#include "platform/gui/stdctrls.h"
#include "tutor/translations.h"

TGalleryPageTimers GalleryPageTimers;

namespace {

bool Report(const std::string& Text) {
  if (ReportGameError) ReportGameError(Text);
  return false;
}

void EnsureLoaded() {
  if (!GalleryConfig) LoadGalleryConfig();
  if (GalleryThemes.empty()) LoadGalleryThemes();
}

}  // namespace

void InstallGalleryPage() {
  FillGalleryLists = FillGalleryPageLists;
  StartGalleryFromPage = StartGalleryFromGamePage;
}

void FillGalleryPageLists(TComboBox* Levels, TComboBox* Themes) {
  Levels->Items()->Clear();
  Themes->Items()->Clear();
  try {
    LoadGalleryConfig();
    for (const TXMLNode* L : GalleryLevelNodes()) Levels->Items()->Add(XmlLeaf(L, "Name"));
    Levels->SetItemIndex(Levels->Items()->Count() > 0 ? GalleryDefaultLevel() : -1);
    if (GalleryThemes.empty()) LoadGalleryThemes();
    for (const TThemeItem& T : GalleryThemes) Themes->Items()->Add(T.Name);
    Themes->SetItemIndex(GalleryThemes.empty() ? -1 : GalleryDefaultTheme());
  } catch (const std::exception& E) {
    Report(E.what());
  }
}

bool StartGalleryFromGamePage(int LevelIndex, int ThemeIndex, const std::string& Allowed, const std::string& Preferred) {
  try {
    EnsureLoaded();
  } catch (const std::exception& E) {
    return Report(E.what());
  }
  if (ThemeIndex < 0 || ThemeIndex >= static_cast<int>(GalleryThemes.size()))
    return Report(Translate("There is no picture theme to play with"));
  TGalleryStart S;
  S.LevelIndex = LevelIndex;
  S.ThemeFile = GalleryThemes[static_cast<size_t>(ThemeIndex)].FileName;
  S.AllowedLetters = Allowed;
  S.PreferredLetters = Preferred;
  S.TimerHost = GalleryPageTimers.TimerHost;
  S.RealClock = GalleryPageTimers.RealClock;
  return StartGalleryGame(S);
}

bool StartGalleryCourseStep(const std::string& Allowed, const std::string& Emphasised, const std::string& Level,
                            TDXTimerHost* TimerHost, bool RealClock) {
  int32_t N = 0;
  if (!TryStrToInt(Trim(Level), N)) return Report("The gallery level '" + Level + "' is not a number");
  return StartGalleryCourseStep(Allowed, Emphasised, static_cast<int>(N), TimerHost, RealClock);
}

bool StartGalleryCourseStep(const std::string& Allowed, const std::string& Emphasised, int Level,
                            TDXTimerHost* TimerHost, bool RealClock) {
  try {
    EnsureLoaded();
  } catch (const std::exception& E) {
    return Report(E.what());
  }
  if (GalleryThemes.empty()) return Report(Translate("There is no picture theme to play with"));
  TGalleryStart S;
  S.LevelIndex = Level - 1;
  S.ThemeFile = GalleryThemes[static_cast<size_t>(Random(static_cast<int32_t>(GalleryThemes.size())))].FileName;
  S.AllowedLetters = Allowed;
  S.PreferredLetters = Emphasised;
  S.TimerHost = TimerHost;
  S.RealClock = RealClock;
  return StartGalleryGame(S);
}
