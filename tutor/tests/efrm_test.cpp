// The error window and the error log as the application's exception handler: an exception thrown
// in an event handler shows the window, appends the report with the user's notes, and ends the
// application; the event loop itself never falls over.
#include "tutor/EFrm.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/core/datetime.h"
#include "platform/gui/tests/gui_fixture.h"
#include "tutor/tests/test_archive.h"

namespace {

const std::string Rule(79, '=');

std::string ReadFile(const std::string& Path) {
  std::ifstream F(Path, std::ios::binary);
  std::stringstream S;
  S << F.rdbuf();
  return S.str();
}

// The error window that is showing modally, or nullptr.
TErrorForm* ShowingErrorForm() {
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (auto* F = dynamic_cast<TErrorForm*>(Screen->Forms(i)); F && F->Modal() && F->Visible()) return F;
  return nullptr;
}

std::vector<std::string> LabelsOn(TWinControl* Parent) {
  std::vector<std::string> V;
  for (int i = 0; i < Parent->ControlCount(); ++i)
    if (auto* L = dynamic_cast<TLabel*>(Parent->Controls(i)); L && L->Visible()) V.push_back(L->Caption());
  return V;
}

class ErrorFormTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    Logger.SetLogFolder(Dir.Path());
    Logger.SetFileName("vx.log");
    Logger.SetTerminateAfterLogging(true);
    Logger.Clock = [] { return EncodeDate(2026, 12, 10) + EncodeTime(14, 7, 0, 0); };
    InstallErrorLog(&Logger);
  }
  void TearDown() override {
    Application->OnException = nullptr;
    GuiTest::TearDown();
  }
  // A main form with a button whose click runs Handler; the button is clicked once the loop runs.
  TButton* MainWithButton(std::function<void()> Handler) {
    TForm* Main = nullptr;
    Application->CreateForm(Main);
    Main->SetBounds(0, 0, 200, 100);
    auto* Btn = new TButton(Main);
    Btn->SetName("StartBtn");
    Btn->SetParent(Main);
    Btn->SetBounds(10, 10, 80, 25);
    Btn->OnClick = [Handler](TObject*) { Handler(); };
    Main->OnShow = [Btn](TObject*) { Application->QueueCall([Btn] { vxtest::Click(Btn, 5, 5); }); };
    return Btn;
  }

  TTempDir Dir;
  TfmELogger Logger;
};

TEST_F(ErrorFormTest, WindowHoldsTheFixedTextsAndOpensOnAnEmptyFocusedMemo) {
  std::unique_ptr<TErrorForm> F(new TErrorForm(nullptr));
  EXPECT_EQ(F->Caption(), "Internal Application Error");
  EXPECT_EQ(F->Position(), poScreenCenter);
  ASSERT_EQ(F->PageControl->PageCount(), 2);
  EXPECT_EQ(F->PageControl->Pages(0)->Caption(), "User");
  EXPECT_EQ(F->PageControl->Pages(1)->Caption(), "Error");
  EXPECT_EQ(LabelsOn(F->UserSheet),
            (std::vector<std::string>{"An Internal Application Error has occurred.",
                                      "In order to assist us in finding the cause of the error, please enter",
                                      "in the space below what you were doing at the time the error", "occurred."}));
  EXPECT_EQ(LabelsOn(F->ErrorSheet), (std::vector<std::string>{"Error Class:", "", "Error Message:", ""}));
  EXPECT_EQ(F->UserMemo->Parent(), F->UserSheet);
  EXPECT_EQ(F->OKBtn->Caption(), "&OK");
  EXPECT_TRUE(F->OKBtn->Default());
  EXPECT_EQ(F->OKBtn->ModalResult(), mrOk);
  EXPECT_TRUE(F->ErrMsgLabel->WordWrap());

  // Left on the other page with old notes: showing brings back the 'User' page, empty and focused.
  F->PageControl->SetActivePage(F->ErrorSheet);
  F->UserMemo->SetText("old notes");
  bool Checked = false;
  Application->QueueCall([&] {
    EXPECT_EQ(F->PageControl->ActivePage(), F->UserSheet);
    EXPECT_EQ(F->UserMemo->Text(), "");
    vxtest::Pump();  // the focus arrives with the window's activation
    EXPECT_TRUE(vxtest::HasFocus(F->UserMemo));
    Checked = true;
    vxtest::KeyStroke(F->OKBtn, VK_RETURN);
  });
  EXPECT_EQ(F->ShowModal(), mrOk);
  EXPECT_TRUE(Checked);
}

TEST_F(ErrorFormTest, ClickHandlerExceptionShowsTheWindowAppendsTheReportAndTerminates) {
  // An earlier report stays in the file.
  std::ofstream(Dir.Path() + "/vx.log", std::ios::binary) << "earlier report\r\n";
  std::vector<std::string> Shown;
  MainWithButton([&] {
    Logger.SetSection("TMainForm.StartBtnClick");
    Application->QueueCall([&] {
      TErrorForm* F = ShowingErrorForm();
      ASSERT_NE(F, nullptr);
      Shown = {F->ErrClassLabel->Caption(), F->ErrMsgLabel->Caption(), F->PageControl->ActivePage()->Caption()};
      EXPECT_FALSE(F->LogFileLabel->Visible());
      vxtest::TypeText(F->UserMemo, "Kliknalem Start");
      vxtest::KeyStroke(F->UserMemo, VK_RETURN);
      vxtest::TypeText(F->UserMemo, "i nic");
      vxtest::Click(F->OKBtn, 5, 5);
    });
    throw EConvertError("'abc' is not a valid integer value");
  });
  Application->Run();

  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(ShowingErrorForm(), nullptr);
  EXPECT_EQ(Shown, (std::vector<std::string>{"Exception Class: EConvertError", "'abc' is not a valid integer value",
                                             "User"}));
  EXPECT_EQ(ReadFile(Dir.Path() + "/vx.log"),
            "earlier report\r\n"
            "Application Error at 02:07 pm on 12/10/26\r\n"
            "Section: TMainForm.StartBtnClick\r\n"
            "Exception Class: EConvertError\r\n"
            "Exception Message: 'abc' is not a valid integer value\r\n"
            "\r\n"
            "User Notes:\r\n"
            "Kliknalem Start\r\n"
            "i nic\r\n" +
                Rule + "\r\n");
}

TEST_F(ErrorFormTest, WithoutTheTerminateFlagTheLoopGoesOnAndEachExceptionIsReported) {
  Logger.SetTerminateAfterLogging(false);
  int Windows = 0;
  auto CloseWindow = [&] {
    Application->QueueCall([&] {
      TErrorForm* F = ShowingErrorForm();
      ASSERT_NE(F, nullptr);
      ++Windows;
      vxtest::Click(F->OKBtn, 5, 5);  // no notes
    });
  };
  TButton* Btn = MainWithButton([&] {
    Logger.SetSection("TMainForm.StartBtnClick");
    CloseWindow();
    throw std::runtime_error("plain failure");
  });
  auto* Timer = new TTimer(Btn->Owner());
  Timer->SetInterval(5);
  Timer->OnTimer = [&](TObject*) {
    Timer->SetEnabled(false);
    Logger.SetSection("TMainForm.Timer1Timer");
    CloseWindow();
    throw EInOutError("disk full");
  };
  Application->OnIdle = [&](TObject*, bool& Done) {
    Done = true;
    if (Windows == 2) Application->Terminate();
  };
  Application->Run();
  EXPECT_EQ(Windows, 2);
  const std::string Log = ReadFile(Dir.Path() + "/vx.log");
  const std::string ClickReport =
      "Application Error at 02:07 pm on 12/10/26\r\nSection: TMainForm.StartBtnClick\r\n"
      "Exception Class: std::runtime_error\r\nException Message: plain failure\r\n" +
      Rule + "\r\n";
  const std::string TimerReport =
      "Application Error at 02:07 pm on 12/10/26\r\nSection: TMainForm.Timer1Timer\r\n"
      "Exception Class: EInOutError\r\nException Message: disk full\r\n" +
      Rule + "\r\n";
  EXPECT_TRUE(Log == ClickReport + TimerReport || Log == TimerReport + ClickReport) << Log;
}

TEST_F(ErrorFormTest, UnwritableProgramFolderSendsTheReportToTheStateFolderAndSaysSo) {
  const std::string Locked = Dir.Write("program", "a file, not a folder");
  const std::string State = Dir.Path() + "/state";
  const char* Old = std::getenv("XDG_STATE_HOME");
  const std::string Saved = Old ? Old : "";
  setenv("XDG_STATE_HOME", State.c_str(), 1);
  Logger.SetLogFolder(Locked);
  std::vector<std::string> Said;
  MainWithButton([&] {
    Application->QueueCall([&] {
      TErrorForm* F = ShowingErrorForm();
      ASSERT_NE(F, nullptr);
      Said = LabelsOn(F->ErrorSheet);
      vxtest::Click(F->OKBtn, 5, 5);
    });
    throw Exception("boom");
  });
  Application->Run();
  if (Old)
    setenv("XDG_STATE_HOME", Saved.c_str(), 1);
  else
    unsetenv("XDG_STATE_HOME");
  const std::string Fallback = State + "/vx/vx.log";
  EXPECT_EQ(Said, (std::vector<std::string>{"Error Class:", "Exception Class: Exception", "Error Message:", "boom",
                                            "Log File:", Fallback}));
  EXPECT_NE(ReadFile(Fallback).find("Exception Message: boom\r\n"), std::string::npos);
  EXPECT_TRUE(Application->Terminated());
}

}  // namespace
