#include "games/BomberStart.h"

#include "dx/dxdraws.h"
#include "dx/dxsound.h"
#include "dx/sprites.h"
#include "games/BomberScene.h"
#include "platform/core/random.h"
#include "tutor/MsgDialog.h"
#include "tutor/core/PageHost.h"
#include "tutor/translations.h"

std::function<void(const std::string& Text)> ReportGameError = [](const std::string& Text) {
  TranslatedMessageDlg(Text, mtWarning, MsgDlgButton(mbOK), 0);
};

bool StartBomberGame(const TBomberStart& Start) {
  TPageHost* Host = PageHost();
  auto Fail = [](const std::string& Text) {
    if (ReportGameError) ReportGameError(Text);
    return false;
  };
  if (!Host || !Host->Display() || !Host->SpriteEngine()) return Fail("The game display is not available");
  if (Start.Difficulty < 1 || Start.Difficulty > 3)
    return Fail("The bomber's difficulty must be 1 to 3, not " + std::to_string(Start.Difficulty));
  if (!TownList() || Start.TownIndex < 0 || Start.TownIndex >= TownList()->Count())
    return Fail(Translate("There is no town to play in"));
  delete BomberScene;
  TBomberScene* Scene = nullptr;
  try {
    Scene = new TBomberScene(Host->Display(), Host->Sound(), Host->SpriteEngine(), Start.TimerHost);
    BomberScene = Scene;
    LoadBomberLevels();
    Scene->LevelRec = BomberLevels[static_cast<size_t>(Start.Difficulty)];
    Scene->LevelRec.PreferredLetters = Start.PreferredLetters;
    Scene->LevelRec.AllowedLetters = Start.AllowedLetters;
    Scene->LevelRec.TownIndex = Start.TownIndex;
    Scene->SetParent(Host->HostForm());
    Scene->StartBomberScene();
    Scene->SetVisible(true);
    return true;
  } catch (const std::exception& E) {
    // The scene's destructor frees its sprites and puts the application's key hook back.
    delete Scene;
    return Fail(E.what());
  }
}

bool StartBomberCourseStep(const std::string& Allowed, const std::string& Preferred, int Difficulty) {
  TBomberStart S;
  S.Difficulty = Difficulty;
  S.AllowedLetters = Allowed;
  S.PreferredLetters = Preferred;
  S.TownIndex = TownList() && TownList()->Count() > 0 ? Random(TownList()->Count()) : -1;
  // A step that cannot start is the course's to handle (it stays on the step): no end is reported.
  return StartBomberGame(S);
}
