// The host window: the program's one top-level window of 800x600 client pixels. It shows one
// page at a time in its panel, owns the display, sprite engine and sound that lessons and games
// use, and runs the start-up steps that need a window.
#pragma once

#include <map>

#include "platform/gui/controls.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/app/CPanel.h"
#include "tutor/core/PageHost.h"

class TDXDraw;
class TDXSpriteEngine;
class TDXSound;
class TDXWaveList;

class TPanelForm : public TForm, public TPageHost {
 public:
  explicit TPanelForm(TComponent* AOwner);
  ~TPanelForm() override;
  std::string ClassName() const override { return "TPanelForm"; }

  TClearPanel* ClearPanel = nullptr;
  TDXDraw* DXDraw = nullptr;
  TDXSpriteEngine* DXSpriteEngine = nullptr;
  TDXSound* DXSound = nullptr;
  TDXWaveList* DXWaveList1 = nullptr;
  TZLBArchive* MainArchive = nullptr;

  // True when the screen is exactly 800 pixels wide at start-up.
  bool FullScreenCapable = false;
  // True while the display runs in exclusive full-screen mode.
  bool InFullScreenMode = false;
  // The host window's FormClose ran (the program was closed by its user, not ended).
  bool ClosedByUser() const { return FClosedByUser; }

  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void FormDestroy(TObject* Sender);

  void ShowMainPage() { ShowPage(TPageId::Main); }
  void ShowSelectPage() { ShowPage(TPageId::Select); }
  void ShowGameSelectPage() { ShowPage(TPageId::GameSelect); }
  void ShowBomberTopTenPage() { ShowPage(TPageId::BomberTopTen); }
  void ShowGalleryTopTenPage() { ShowPage(TPageId::GalleryTopTen); }
  void ShowStdLessonPage() { ShowPage(TPageId::StdLesson); }
  void ShowOptionsPage() { ShowPage(TPageId::Options); }
  void ShowHelpPage() { ShowPage(TPageId::Help); }
  void ShowStatPage() { ShowPage(TPageId::Stat); }
  void ShowResultsPage() { ShowPage(TPageId::Results); }
  void ShowScenarioPage() { ShowPage(TPageId::Scenario); }
  void ShowStuddingPage() { ShowPage(TPageId::Studding); }
  void ShowLessonHtmlPage() { ShowPage(TPageId::LessonHtml); }
  void ShowCertificatePage() { ShowPage(TPageId::Certificate); }

  // Window modes.
  void ApplyWindowMode();
  void EnterFullScreen();

  // Host services.
  void ShowPage(TPageId Page) override;
  TForm* FindPage(TPageId Page) const override;
  void SetReturnPage(TForm* Page) override;
  void ShowReturnPage() override;
  TForm* ReturnPage() const override { return FReturnPage; }
  TForm* HostForm() override { return this; }
  // The display comes up (shown and initialised) on first use.
  TDXDraw* Display() override;
  TDXSpriteEngine* SpriteEngine() override;
  TDXSound* Sound() override { return DXSound; }
  TDXWaveList* WaveList() override { return DXWaveList1; }
  void Ping(const std::string& Info1, const std::string& Info2 = "", const std::string& Info3 = "") override;
  int CurrentStudent() const override;
  int CurrentGroup() const override;
  bool InFullScreen() const override { return InFullScreenMode; }
  void EnterFullScreenIfNot() override;
  void LeaveFullScreenIfSet() override;

 protected:
  // Pages freed by their own close leave neither a dangling page nor a dangling return page.
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void InitializeDisplay();
  std::map<TPageId, TForm*> FPages;
  TForm* FReturnPage = nullptr;
  bool FClosedByUser = false;
};

// The host window (created at start-up, the main window).
extern TPanelForm* PanelForm;
// The application's caption from the message table.
extern std::string AppCaption;
