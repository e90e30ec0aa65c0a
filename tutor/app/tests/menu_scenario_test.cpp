// The main menu of the running program: buttons switched by the database's config rows, the
// hint pictures that fade, the tip of the day, the help page, the site and course buttons, the
// return page of a page that is gone, the window leaving full screen, and a picture of the menu.
#include <filesystem>

#include "controls/image32.h"
#include "controls/vxbutton.h"
#include "dx/dxdraws.h"
#include "htmlview/framview.h"
#include "htmlview/htmlview.h"
#include "platform/core/inifiles.h"
#include "platform/gui/testing.h"
#include "tutor/app/Hint.h"
#include "tutor/app/MainForm.h"
#include "tutor/app/help.h"
#include "tutor/app/logon.h"
#include "tutor/app/panel.h"
#include "tutor/app/tests/scenario.h"
#include "tutor/core/DataModule.h"

using namespace scenario;

namespace {

std::vector<std::tuple<std::string, std::string, std::string>> QuietStart(int Student, bool Tips = false) {
  return {{"Options", "ShowLogonAtStartup", "0"},
          {"Options", "ShowHintAtStartup", Tips ? "1" : "0"},
          {"Options", "LastID_STUDENT", std::to_string(Student)},
          {"Options", "LastID_GROUP", "-1"}};
}

TMainForm* Menu() { return dynamic_cast<TMainForm*>(VisibleForm("TMainForm")); }

TForm* NamedForm(const std::string& Name) {
  for (int I = 0; I < Screen->FormCount(); ++I)
    if (TForm* F = Screen->Forms(I); F && F->Visible() && F->Name() == Name) return F;
  return nullptr;
}

TStep Close() {
  return {"close", nullptr, [] {
            SCN_CHECK(Menu() != nullptr);
            if (Menu()) ClickSkin(Menu()->CloseBtn);
          }};
}

// Mouse onto the middle of a skinned button (its opaque middle), as the user's pointer.
void PointAt(TControl* Button) {
  vxtest::MouseMove(Button, Button->Width() / 2, Button->Height() / 2);
  vxtest::Pump();
}

uint32_t CenterPixel(const TBitmap32* B) { return B->Pixel(B->Width() / 2, B->Height() / 2); }

TEST(MenuScenario, ButtonsFollowTheConfigAndHintPicturesFade) {
  TInstallOptions IO;
  IO.Config = {{"exercises_enabled", "True"}, {"games_enabled", ""}, {"results_enabled", "false"}};
  TInstallFolder Folder(IO);
  const int S = Folder.AddStudent("Ala");
  TRunOptions O;
  O.Settings = QuietStart(S);
  O.Steps = {
      WaitForMenu(),
      {"switches", nullptr,
       [] {
         TMainForm* M = Menu();
         SCN_CHECK(!M->ExercisesBtn->Enabled());  // "True" is not "true"
         SCN_CHECK(M->GamesBtn->Enabled());        // an absent switch counts as on
         SCN_CHECK(!M->ResultsBtn->Enabled());
         SCN_CHECK(M->CourseBtn->Enabled() && M->AboutBtn->Enabled() && M->CloseBtn->Enabled());
         vxtest::Click(M->ExercisesBtn, M->ExercisesBtn->Width() / 2, M->ExercisesBtn->Height() / 2);
         vxtest::Pump();
         SCN_CHECK(PanelForm->ClearPanel->ClientForm() == M);
       }},
      {"a hint picture", nullptr,
       [] {
         TMainForm* M = Menu();
         PointAt(M->GamesBtn);
         SCN_CHECK_EQ(M->HintIndex, 2);
         SCN_CHECK(M->Image32->Visible());
         SCN_CHECK_EQ(static_cast<int>(M->Image32->Bitmap()->MasterAlpha()), 255);
         SCN_CHECK_EQ(CenterPixel(M->Image32->Bitmap()), CenterPixel(M->BitmapList->Bitmaps()->Items(2)->Bitmap()));
         // Straight on to another button: its picture at full opacity, no fading.
         PointAt(M->OptionsBtn);
         SCN_CHECK_EQ(M->HintIndex, 4);
         SCN_CHECK(!M->HintTimer->Enabled());
         SCN_CHECK_EQ(static_cast<int>(M->Image32->Bitmap()->MasterAlpha()), 255);
         SCN_CHECK_EQ(CenterPixel(M->Image32->Bitmap()), CenterPixel(M->BitmapList->Bitmaps()->Items(4)->Bitmap()));
         // Off the buttons: the picture fades.
         vxtest::MouseMove(M, 790, 300);
         vxtest::Pump();
         SCN_CHECK_EQ(M->HintIndex, -1);
         SCN_CHECK(M->HintTimer->Enabled());
       }},
      {"faded out", [] { return Menu() && !Menu()->Image32->Visible(); },
       [] {
         SCN_CHECK_EQ(static_cast<int>(Menu()->Image32->Bitmap()->MasterAlpha()), 0);
         SCN_CHECK(!Menu()->HintTimer->Enabled());
         // The same button again shows its picture again.
         PointAt(Menu()->OptionsBtn);
         SCN_CHECK(Menu()->Image32->Visible());
       }},
      Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
}

std::string TipShown() {
  return HintForm ? HintForm->HTMLViewer->DocumentSource() : std::string();
}

TEST(MenuScenario, TipOfTheDayWrapsAndRemembersTheNextOne) {
  TInstallFolder Folder;
  const int S = Folder.AddStudent("Ala");
  TRunOptions O;
  O.Settings = QuietStart(S, true);
  O.Settings.emplace_back("Options", "HintNumber", "7");  // five tips: 7 is past the end
  O.Steps = {{"the tip", [] { return VisibleForm("THintForm") != nullptr; },
              [] {
                SCN_CHECK(TipShown().find("Porada numer 1<") != std::string::npos);
                ClickSkin(HintForm->NextButton);
                SCN_CHECK(TipShown().find("Porada numer 2<") != std::string::npos);
                ClickSkin(HintForm->PrevButton);
                ClickSkin(HintForm->PrevButton);
                SCN_CHECK(TipShown().find("Porada numer 5<") != std::string::npos);
                ClickSkin(HintForm->NextButton);
                SCN_CHECK(TipShown().find("Porada numer 1<") != std::string::npos);
                SCN_CHECK(HintForm->ShowAtStartupCheckBox->Checked());
                HintForm->ShowAtStartupCheckBox->SetFocus();
                vxtest::KeyStroke(HintForm->ShowAtStartupCheckBox, VK_SPACE, " ");
                vxtest::Pump();
                SCN_CHECK(!HintForm->ShowAtStartupCheckBox->Checked());
                ClickSkin(HintForm->BtnOK);
              }},
             WaitForMenu(),
             {"the tip is gone", nullptr, [] { SCN_CHECK(HintForm == nullptr); }},
             Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
  TPrgReg R(TPrgReg::DefaultFileName());
  EXPECT_EQ(R.ReadString("Options", "HintNumber", ""), "1");
  EXPECT_EQ(R.ReadString("Options", "ShowHintAtStartup", ""), "0");
}

TEST(MenuScenario, WithoutTipsNoDialogComesAndTheNumberStays) {
  TInstallOptions IO;
  IO.Hints = false;
  TInstallFolder Folder(IO);
  const int S = Folder.AddStudent("Ala");
  TRunOptions O;
  O.Settings = QuietStart(S, true);
  O.Settings.emplace_back("Options", "HintNumber", "3");
  O.Steps = {WaitForMenu(), {"no tip", nullptr, [] { SCN_CHECK(HintForm == nullptr); }}, Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
  EXPECT_EQ(TPrgReg(TPrgReg::DefaultFileName()).ReadString("Options", "HintNumber", ""), "3");
}

TEST(MenuScenario, HelpSiteCourseAndAReturnPageThatIsGone) {
  TInstallFolder Folder;
  const int S = Folder.AddStudent("Ala", -1, "W", 0);  // a course under way
  TRunOptions O;
  O.Settings = QuietStart(S);
  static std::vector<std::string> Opened;
  O.Steps = {
      {"stand-ins", nullptr,
       [] {
         SetShellOpenHandler([](const std::string& T) {
           Opened.push_back(T);
           return true;
         });
         // The course pages belong to a later part of the program: plain stand-ins here.
         for (TPageId P : {TPageId::Scenario, TPageId::Studding})
           RegisterPageFactory(P, [P] {
             auto* F = new TForm(nullptr);
             F->SetName(PageClassName(P) + 1);
             return F;
           });
       }},
      WaitForMenu(),
      {"help", nullptr,
       [] {
         TMainForm* M = Menu();
         ClickSkin(M->HelpBtn);
         auto* H = dynamic_cast<THelpForm*>(PanelForm->ClearPanel->ClientForm());
         SCN_CHECK(H != nullptr);
         SCN_CHECK(!M->Visible());
         if (H) {
           SCN_CHECK(H->FrameViewer->CurrentFile().find("index.htm") != std::string::npos);
           SCN_CHECK_EQ(DM->TbSessions2->Locate("ID_SESSION", DM->SessionId, 0), true);
           SCN_CHECK_EQ(DM->TbSessions2->FieldByName("INFO1")->AsString(), TInstallFolder::Message("help"));
           // Remembered as the return page, then freed by its own close.
           PanelForm->SetReturnPage(H);
           PressKey(H, VK_RETURN);
         }
       }},
      {"back from help", [] { return Menu() != nullptr && PanelForm->FindPage(TPageId::Help) == nullptr; },
       [] {
         SCN_CHECK(PanelForm->ReturnPage() == nullptr);
         PanelForm->ShowReturnPage();  // nothing to go back to: the menu stays
         SCN_CHECK(PanelForm->ClearPanel->ClientForm() == Menu());
         ClickSkin(Menu()->SiteBtn);
         SCN_CHECK_EQ(Opened, (std::vector<std::string>{TInstallFolder::Message("HQSite")}));
         TMainForm* M = Menu();
         ClickSkin(M->CourseBtn);
         TForm* Shown = PanelForm->ClearPanel->ClientForm();
         SCN_CHECK(Shown && Shown->Name() == "StuddingForm");
         SCN_CHECK(PanelForm->ReturnPage() == M);
         PanelForm->ShowReturnPage();
         SCN_CHECK(PanelForm->ClearPanel->ClientForm() == M);
         SCN_CHECK(Shown && !Shown->Visible());  // hidden, not freed
         SCN_CHECK(PanelForm->FindPage(TPageId::Studding) == Shown);
       }},
      {"about", nullptr, [] { ClickSkin(Menu()->AboutBtn); }},
      {"the about box", [] { return NamedForm("InstructionForm") != nullptr; },
       [] {
         TForm* Box = NamedForm("InstructionForm");
         SCN_CHECK_EQ(Box->Caption(), TInstallFolder::Message("About"));
         auto* View = dynamic_cast<THTMLViewer*>(Box->FindComponent("HTMLViewer"));
         SCN_CHECK(View && View->DocumentSource().find("Zorbelin 2") != std::string::npos);
         PressKey(Box, VK_RETURN);
       }},
      WaitForMenu(),
      Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
}

TEST(MenuScenario, EachMenuButtonOpensItsPageInTheRealProgram) {
  TInstallFolder Folder;
  const int S = Folder.AddStudent("Ala");  // no course under way: Kurs offers the course choice
  TRunOptions O;
  O.Settings = QuietStart(S);
  struct TCase {
    const char* What;
    TVxButton* TMainForm::*Button;
    TPageId Page;
  };
  static const std::vector<TCase> Cases = {
      {"exercises", &TMainForm::ExercisesBtn, TPageId::Select}, {"games", &TMainForm::GamesBtn, TPageId::GameSelect},
      {"results", &TMainForm::ResultsBtn, TPageId::Stat},       {"options", &TMainForm::OptionsBtn, TPageId::Options},
      {"course", &TMainForm::CourseBtn, TPageId::Scenario},
  };
  O.Steps = {WaitForMenu()};
  for (const TCase& C : Cases) {
    O.Steps.push_back({C.What, [] { return Menu() != nullptr && Menu()->Visible(); },
                       [C] {
                         ClickSkin(Menu()->*C.Button);
                         vxtest::Pump();
                         TForm* Shown = PanelForm->ClearPanel->ClientForm();
                         SCN_CHECK(Shown != nullptr && Shown == PanelForm->FindPage(C.Page));
                         PanelForm->ShowPage(TPageId::Main);
                       }});
  }
  O.Steps.push_back(Close());
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
}

TEST(MenuScenario, LeavingFullScreenReallyLeavesIt) {
  TInstallFolder Folder;
  const int S = Folder.AddStudent("Ala");
  TRunOptions O;
  O.ScreenWidth = 1024;
  O.ScreenHeight = 768;
  O.Settings = QuietStart(S);
  O.Steps = {WaitForMenu(),
             {"full screen and back", nullptr,
              [] {
                // The display stays down under the menu until a user of it asks for it.
                SCN_CHECK(!PanelForm->DXDraw->Visible() && !PanelForm->DXDraw->Initialized());
                SCN_CHECK(PageHost()->Display() == PanelForm->DXDraw);
                SCN_CHECK(PanelForm->DXDraw->Visible() && PanelForm->DXDraw->Initialized());
                PanelForm->EnterFullScreenIfNot();
                vxtest::Pump();
                if (PanelForm->InFullScreen()) {
                  SCN_CHECK(PanelForm->FullScreen());
                  SCN_CHECK((PanelForm->DXDraw->Options() & Opt(doFullScreen)) != 0);
                }
                PanelForm->LeaveFullScreenIfSet();
                vxtest::Pump();
                SCN_CHECK(!PanelForm->InFullScreen());
                SCN_CHECK(!PanelForm->FullScreen());
                SCN_CHECK((PanelForm->DXDraw->Options() & Opt(doFullScreen)) == 0);
                SCN_CHECK(PanelForm->DXDraw->Initialized());
                SCN_CHECK_EQ(PanelForm->BorderStyle(), bsSingle);
                SCN_CHECK_EQ(PanelForm->ClientWidth(), 800);
                SCN_CHECK_EQ(PanelForm->Left(), (Screen->Width() - PanelForm->Width()) / 2);
              }},
             Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
}

// A picture of the menu as the program shows it, with the installation's own pictures when the
// build has made them, else with the fixture's plain ones.
TEST(MenuScenario, PictureOfTheMenu) {
  TInstallFolder Folder;
  const std::string Built = std::string(VX_DIST_DIR) + "/interface.zlb";
  if (std::filesystem::exists(Built))
    std::filesystem::copy_file(Built, Folder.Path() + "interface.zlb", std::filesystem::copy_options::overwrite_existing);
  const int S = Folder.AddStudent("Ala");
  TRunOptions O;
  O.Settings = QuietStart(S);
  const std::string Png = std::string(VX_TEST_OUTPUT_DIR) + "/menu.png";
  const std::string HintPng = std::string(VX_TEST_OUTPUT_DIR) + "/menu-hint.png";
  O.Steps = {WaitForMenu(),
             {"picture", nullptr,
              [Png, HintPng] {
                vxtest::Pump(8);
                SCN_CHECK(vxtest::SaveGrabPng(PanelForm, Png));
                PointAt(Menu()->GamesBtn);
                vxtest::Pump(8);
                SCN_CHECK(vxtest::SaveGrabPng(PanelForm, HintPng));
                // What the screen shows in the hint area is the games button's picture.
                TBitmap Shot;
                vxtest::Grab(PanelForm, &Shot);
                TMainForm* M = Menu();
                const TBitmap32* Hint = M->BitmapList->Bitmaps()->Items(2)->Bitmap();
                const uint32_t Want = CenterPixel(Hint) & 0xFFFFFF;
                const TPoint At = M->ImageBcg->ClientToScreen(TPoint(M->ImageBcg->Width() / 2, M->ImageBcg->Height() / 2));
                const TPoint Local = PanelForm->ScreenToClient(At);
                const uint32_t Got = reinterpret_cast<const uint32_t*>(Shot.ScanLine(Local.Y))[Local.X] & 0xFFFFFF;
                // (blending at full opacity may lose a step or two of each channel)
                for (int Shift : {0, 8, 16})
                  SCN_CHECK(std::abs(static_cast<int>((Got >> Shift) & 0xFF) - static_cast<int>((Want >> Shift) & 0xFF)) <= 4);
              }},
             Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
  EXPECT_TRUE(std::filesystem::exists(Png));
}

// Pictures of the logon dialog's two pages and of the tip of the day, as the first start shows them.
TEST(MenuScenario, PicturesOfTheDialogs) {
  TInstallFolder Folder;
  for (const char* Name : {"interface.zlb", "hints.zlb"}) {
    const std::string Built = std::string(VX_DIST_DIR) + "/" + Name;
    if (std::filesystem::exists(Built))
      std::filesystem::copy_file(Built, Folder.Path() + Name, std::filesystem::copy_options::overwrite_existing);
  }
  Folder.AddStudent("Ala");
  Folder.AddStudent("Bartek");
  const std::string Out = VX_TEST_OUTPUT_DIR;
  TRunOptions O;
  O.Steps = {{"the logon dialog", [] { return VisibleForm("TLogonForm") != nullptr && !MessageDialog(); },
              [Out] {
                vxtest::Pump(8);
                SCN_CHECK(vxtest::SaveGrabPng(LogonForm, Out + "/logon.png"));
                ClickSkin(LogonForm->AddButton);
                vxtest::TypeText(LogonForm->Edit1, "\xC5\x81ukasz");
                vxtest::Pump(8);
                SCN_CHECK(vxtest::SaveGrabPng(LogonForm, Out + "/logon-new.png"));
                PressKey(LogonForm->Edit1, VK_RETURN);
              }},
             {"the tip", [] { return VisibleForm("THintForm") != nullptr; },
              [Out] {
                vxtest::Pump(8);
                SCN_CHECK(vxtest::SaveGrabPng(HintForm, Out + "/tip.png"));
                ClickSkin(HintForm->BtnOK);
              }},
             WaitForMenu(), Close()};
  const TRun Run = RunProgram(Folder, O);
  ExpectClean(Run);
  EXPECT_EQ(Run.Status, 0);
}

}  // namespace
