#include "tutor/app/panel.h"

#include <iostream>

#include "dx/dxdraws.h"
#include "dx/dxsound.h"
#include "dx/sprites.h"
#include "games/GameServices.h"
#include "platform/core/fileutils.h"
#include "tutor/MsgDialog.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/KeybList.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

TPanelForm* PanelForm = nullptr;
std::string AppCaption;

namespace {
constexpr int kClientWidth = 800, kClientHeight = 600;
}

TPanelForm::TPanelForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("PanelForm");
  SetBorderStyle(bsSingle);
  SetBorderIcons(biSystemMenu | biMinimize);
  SetColor(clBlack);
  Font()->SetName("MS Sans Serif");
  Font()->SetSize(8);
  Font()->SetColor(clWhite);
  SetPosition(poScreenCenter);
  SetShowHint(true);
  SetCaption("Zorbelin 2");
  SetClientWidth(kClientWidth);
  SetClientHeight(kClientHeight);
  SetEraseBackground(false);

  ClearPanel = new TClearPanel(this);
  ClearPanel->SetName("ClearPanel");
  ClearPanel->SetParent(this);
  ClearPanel->SetBounds(0, 0, kClientWidth, kClientHeight);
  ClearPanel->SetColor(clBtnFace);

  DXDraw = new TDXDraw(this);
  DXDraw->SetName("DXDraw");
  DXDraw->SetAutoInitialize(true);
  DXDraw->Display()->SetWidth(kClientWidth);
  DXDraw->Display()->SetHeight(kClientHeight);
  DXDraw->Display()->SetBitCount(16);
  DXDraw->Display()->SetFixedRatio(true);
  DXDraw->Display()->SetFixedSize(true);
  DXDraw->Display()->SetFixedBitCount(false);
  DXDraw->SetOptions(Opts(doNoWindowChange, doWaitVBlank, doCenter, doRetainedMode, doHardware));
  DXDraw->SetParent(ClearPanel);
  DXDraw->SetBounds(0, 0, kClientWidth, kClientHeight);
  // Under the pages nobody sees it: it comes up (and initialises) when a game asks for it, and
  // the menu does not carry its surfaces and picture.
  DXDraw->SetVisible(false);
  DXDraw->SetSurfaceSize(kClientWidth, kClientHeight);
  DXDraw->OnInitialize = [](TObject*) { SetErrorSection("TPanelForm.DXDrawInitialize"); };
  DXDraw->OnInitializing = [](TObject*) { SetErrorSection("TPanelForm.DXDrawInitializing"); };
  DXDraw->OnFinalize = [](TObject*) { SetErrorSection("TPanelForm.DXDrawFinalize"); };

  DXSpriteEngine = new TDXSpriteEngine(this);
  DXSpriteEngine->SetName("DXSpriteEngine");
  DXSpriteEngine->SetDXDraw(DXDraw);

  DXSound = new TDXSound(this);
  DXSound->SetName("DXSound");
  DXSound->SetAutoInitialize(false);
  DXSound->SetOptions(soExclusive);
  DXSound->OnInitialize = [](TObject*) { SetErrorSection("TPanelForm.DXSoundInitialize"); };
  DXSound->OnInitializing = [](TObject*) { SetErrorSection("TPanelForm.DXSoundInitializing"); };
  DXSound->OnFinalize = [](TObject*) { SetErrorSection("TPanelForm.DXSoundFinalize"); };

  DXWaveList1 = new TDXWaveList(this);
  DXWaveList1->SetName("DXWaveList1");
  DXWaveList1->SetDXSound(DXSound);

  MainArchive = new TZLBArchive(this);
  MainArchive->SetName("MainArchive");

  OnCreate = [this](TObject* S) { FormCreate(S); };
  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
  OnDestroy = [this](TObject* S) { FormDestroy(S); };
  SetPageHost(this);
}

TPanelForm::~TPanelForm() {
  // The pages have no owner: the host frees those still alive before its own controls go.
  std::map<TPageId, TForm*> Live;
  Live.swap(FPages);
  FReturnPage = nullptr;
  if (ClearPanel) ClearPanel->SetClientForm(nullptr);
  for (auto& [Id, Page] : Live)
    if (Page) {
      Page->RemoveFreeNotification(this);
      delete Page;
    }
  if (PageHost() == this) SetPageHost(nullptr);
  if (PanelForm == this) PanelForm = nullptr;
}

void TPanelForm::FormCreate(TObject*) {
  SetErrorSection("TPanelForm.FormCreate:00");
  MainArchive->SetArchiveName(ProgramPath(vx::res::kInterfaceArchive));
  SetErrorSection("TPanelForm.FormCreate:01");
  MainArchive->Activate();
  SetErrorSection("TPanelForm.FormCreate:02");
  MainArchive->ExtractAndLoad(vx::res::kMessagesMember, [](TStream* S) { Translations->LoadFromStream(S); });
  SetErrorSection("TPanelForm.FormCreate:03");
  AppCaption = Translate("AppCaptionDemo");
  SetErrorSection("TPanelForm.FormCreate:04");
  DM->Open();
  SetCaption(AppCaption);
  Application->SetTitle(Caption());
  if (Screen->Width() < kClientWidth) {
    TranslatedMessageDlg(Translate("MSG001"), mtInformation, MsgDlgButton(mbOK), 0);
    Application->Terminate();
  }
  SetErrorSection("TPanelForm.FormCreate:05");
  try {
    DXSound->Initialize();
  } catch (...) {
    // No sound device: the program runs silent (the lesson checks the sound's state).
  }
  FullScreenCapable = Screen->Width() == kClientWidth;
  SetErrorSection("TPanelForm.FormCreate:06");
  ApplyWindowMode();
  delete KeybList;
  KeybList = new TKeybList();
  SetErrorSection("TPanelForm.FormCreate:07");
  LoadTowns();
  RegisterGamePages();
}

TDXDraw* TPanelForm::Display() {
  if (!DXDraw->Visible()) DXDraw->Show();
  if (!DXDraw->Initialized()) InitializeDisplay();
  return DXDraw;
}

TDXSpriteEngine* TPanelForm::SpriteEngine() {
  Display();
  return DXSpriteEngine;
}

void TPanelForm::InitializeDisplay() {
  // The display initialises itself only on its first paint, which never comes while pages cover
  // it; the games need it ready.
  try {
    DXDraw->Initialize();
  } catch (const std::exception& E) {
    std::cerr << "vx: the display could not be initialised: " << E.what() << "\n";
  }
  DXDraw->SendToBack();
}

void TPanelForm::FormShow(TObject*) { ShowMainPage(); }

void TPanelForm::FormClose(TObject*, TCloseAction&) {
  SetErrorSection("TPanelForm.FormClose");
  if (!Application->Terminated()) FClosedByUser = true;
  if (DM) DM->Close();
}

void TPanelForm::FormDestroy(TObject*) {
  delete KeybList;
  KeybList = nullptr;
}

void TPanelForm::ShowPage(TPageId Page) {
  TForm*& Slot = FPages[Page];
  if (!Slot) {
    const TPageFactory* Make = FindPageFactory(Page);
    if (!Make) {
      std::cerr << "vx: the page " << PageClassName(Page) << " is not part of this build\n";
      return;
    }
    Slot = (*Make)();
    if (!Slot) return;
    Slot->FreeNotification(this);
    Slot->SetBounds(0, 0, ClientWidth(), ClientHeight());
  }
  ClearPanel->SetClientForm(Slot);
}

TForm* TPanelForm::FindPage(TPageId Page) const {
  auto It = FPages.find(Page);
  return It == FPages.end() ? nullptr : It->second;
}

void TPanelForm::SetReturnPage(TForm* Page) {
  FReturnPage = Page;
  if (Page) Page->FreeNotification(this);
}

void TPanelForm::ShowReturnPage() {
  if (FReturnPage) ClearPanel->SetClientForm(FReturnPage);
}

void TPanelForm::Notification(TComponent* AComponent, TOperation Operation) {
  TForm::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FReturnPage) FReturnPage = nullptr;
  for (auto& [Id, Page] : FPages)
    if (Page == AComponent) Page = nullptr;
}

void TPanelForm::Ping(const std::string& Info1, const std::string& Info2, const std::string& Info3) {
  if (DM) DM->Ping(true, Info1, Info2, Info3);
}

int TPanelForm::CurrentStudent() const { return DM && DM->SessionId != -1 ? DM->CurrentStudent : -1; }
int TPanelForm::CurrentGroup() const { return DM && DM->SessionId != -1 ? DM->CurrentGroup : -1; }

void TPanelForm::ApplyWindowMode() {
  // The place is set here; showing the window must not centre it again.
  SetPosition(poDesigned);
  if (FullScreenCapable) {
    SetBorderStyle(bsNone);
    SetBounds(0, 0, kClientWidth, kClientHeight);
  } else {
    SetBorderStyle(bsSingle);
    SetClientWidth(kClientWidth);
    SetClientHeight(kClientHeight);
    SetLeft((Screen->Width() - Width()) / 2);
    SetTop((Screen->Height() - Height()) / 2);
  }
  SetFormStyle(fsNormal);
  InFullScreenMode = false;
}

void TPanelForm::EnterFullScreen() {
  SetPosition(poDesigned);
  if (!DXDraw->Visible()) DXDraw->Show();
  SetBorderStyle(bsNone);
  SetLeft(0);
  SetTop(0);
  SetClientWidth(kClientWidth);
  SetClientHeight(kClientHeight);
  DXDraw->Finalize();
  DXDraw->SetOptions(static_cast<TDXDrawOptions>(DXDraw->Options() | Opt(doFullScreen)));
  try {
    DXDraw->Initialize();
    InFullScreenMode = true;
  } catch (const std::exception& E) {
    // The display mode cannot be had: stay in the window rather than in a half-switched state.
    std::cerr << "vx: full screen is not available: " << E.what() << "\n";
    DXDraw->SetOptions(static_cast<TDXDrawOptions>(DXDraw->Options() & ~Opt(doFullScreen)));
    ApplyWindowMode();
    InitializeDisplay();
  }
  SetFormStyle(fsNormal);
}

void TPanelForm::EnterFullScreenIfNot() {
  if (!InFullScreenMode) EnterFullScreen();
}

void TPanelForm::LeaveFullScreenIfSet() {
  if (!InFullScreenMode) return;
  // Leaving means the display gives up exclusive mode too; only then is the window a window again.
  DXDraw->Finalize();
  DXDraw->SetOptions(static_cast<TDXDrawOptions>(DXDraw->Options() & ~Opt(doFullScreen)));
  ApplyWindowMode();
  if (DXDraw->Visible()) InitializeDisplay();
}
