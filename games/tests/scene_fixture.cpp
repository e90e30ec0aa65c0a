#include "games/tests/scene_fixture.h"

#include <filesystem>

#include "games/BomberScene.h"
#include "games/BomberStart.h"
#include "games/BomberTowns.h"
#include "games/GameServices.h"
#include "games/TopTen.h"
#include "platform/core/fileutils.h"
#include "platform/core/random.h"
#include "platform/gui/testing.h"
#include "tutor/translations.h"

uint32_t GameSceneTest::Tick = 0;

void TTestPageHost::ShowPage(TPageId Page) {
  Shown.push_back(Page);
  TForm*& P = Pages[Page];
  if (!P && Page == TPageId::BomberTopTen) P = new TBomberTopTenForm(nullptr);
  if (!P && Page == TPageId::GalleryTopTen) P = new TGalleryTopTenForm(nullptr);
  if (P) P->Show();
}

TForm* TTestPageHost::FindPage(TPageId Page) const {
  auto It = Pages.find(Page);
  return It == Pages.end() ? nullptr : It->second;
}

void GameSceneTest::SetUp() {
  TInstallOptions O;
  O.SharedGroup = "1";
  Inst = std::make_unique<TInstallFolder>(O);
  SetProgramFolder(Inst->Path());
  Student = Inst->AddStudent("Ala", 1, "W");
  DM = new TDM(nullptr);
  DM->DBLocal = false;
  DM->DBPath = Inst->DataPath();
  DM->Open();
  ASSERT_EQ(DM->Logon(1, Student), 0);
  Host.Student = Student;

  Host.Form = new TForm(nullptr);
  Host.Form->SetBorderStyle(bsNone);
  Host.Form->SetBounds(0, 0, 800, 600);
  Host.DX = new TDXDraw(Host.Form);
  Host.DX->SetParent(Host.Form);
  Host.DX->SetBounds(0, 0, 800, 600);
  Host.DX->SetOptions(Opts(doNoWindowChange, doCenter, doRetainedMode, doHardware));
  Host.DX->Display()->SetBitCount(16);
  Host.DX->Display()->SetWidth(800);
  Host.DX->Display()->SetHeight(600);
  Host.Sprites = new TDXSpriteEngine(Host.Form);
  Host.Sprites->SetDXDraw(Host.DX);
  Host.Form->Show();
  Host.DX->Initialize();
  ASSERT_TRUE(Host.DX->ReadyToDraw());
  SetPageHost(&Host);

  Tick = 100000;
  SetTickSource(FakeTick);
  SetRandomSource(ZeroRandom);
  GameNextExercise = [this] { ++NextExerciseCalls; };
  ReportGameError = [this](const std::string& T) { Errors.push_back(T); };
  FreeTowns();
}

void GameSceneTest::TearDown() {
  vxtest::Pump();
  delete BomberScene;
  for (auto& [Id, P] : Host.Pages) delete P;
  Host.Pages.clear();
  // Sprites that hold surfaces of the display go before it.
  Host.Sprites->Engine()->Clear();
  delete Host.Form;
  SetPageHost(nullptr);
  GameNextExercise = nullptr;
  ReportGameError = nullptr;
  SetRandomSource(nullptr);
  SetTickSource(nullptr);
  FreeTowns();
  if (DM) {
    DM->Close();
    delete DM;
    DM = nullptr;
  }
  SetProgramFolder("");
  Inst.reset();
}

void GameSceneTest::Content(const TBomberContent& C) {
  std::filesystem::remove_all(ToOsPath(Inst->Path() + "bomber/towns"));
  WriteBomberContent(Inst->Path(), C);
  FreeTowns();
  LoadTowns();
}

void GameSceneTest::Frames(int N, uint32_t Step) {
  for (int I = 0; I < N; ++I) {
    Tick += Step;
    TimerHost.Step();
  }
}

void GameSceneTest::Key(uint16_t Vk, const std::string& Text) { vxtest::KeyStroke(nullptr, Vk, Text); }

std::vector<std::string> GameSceneTest::BomberRows() const { return Inst->Rows("bomber", "ID_STUDENT;SCORE"); }
