// Runs the real program (its start-up, loop and shutdown) on an installation folder, in a child
// process of its own, with a screen of a given size, and drives it through real input: a script
// of steps, each waiting until its condition holds (a dialog is up, a page is shown) and then
// acting (keys, clicks, mouse moves) and checking. The parent gets the program's exit status and
// every failed check of the child.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "tutor/core/tests/install_fixture.h"

namespace scenario {

struct TStep {
  std::string What;                 // named in the failure when the condition never holds
  std::function<bool()> Ready;      // nullptr: at once
  std::function<void()> Act;
};

// A failed check inside the child; reported by the parent as a test failure.
void Fail(const std::string& Message);
#define SCN_CHECK(cond) \
  ((cond) ? (void)0 : ::scenario::Fail(std::string(__FILE__ ":") + std::to_string(__LINE__) + ": " #cond))
#define SCN_CHECK_EQ(a, b)                                                                                  \
  do {                                                                                                      \
    const auto& scnA = (a);                                                                                 \
    const auto& scnB = (b);                                                                                 \
    if (!(scnA == scnB))                                                                                    \
      ::scenario::Fail(std::string(__FILE__ ":") + std::to_string(__LINE__) + ": " #a " == " #b ", got " + \
                       ::testing::PrintToString(scnA) + " vs " + ::testing::PrintToString(scnB));          \
  } while (0)

struct TRun {
  int Status = -1;                    // the program's exit status (or -signal)
  std::vector<std::string> Failures;  // checks failed in the child, steps that never came
};

struct TRunOptions {
  int ScreenWidth = 0, ScreenHeight = 0;  // 0: the platform's default offscreen screen
  // Settings written before the start: section, name, value.
  std::vector<std::tuple<std::string, std::string, std::string>> Settings;
  // Runs inside the child before the program starts (another PC comes up, say).
  std::function<void()> Before;
  std::vector<TStep> Steps;
  // Runs inside the child once the loop has ended.
  std::function<void()> AtEnd;
};

// Runs the program on Folder with Options; the settings file is Folder.IniPath().
TRun RunProgram(const TInstallFolder& Folder, const TRunOptions& Options);
// Reports a run's failures into the current test.
void ExpectClean(const TRun& Run);

// ---- Inside the child ------------------------------------------------------------------------
// The visible top-level form whose class name is ClassName, or nullptr.
TForm* VisibleForm(const std::string& ClassName);
// The visible message dialog (a form with a "Message" label), or nullptr.
TForm* MessageDialog();
std::string MessageText(TForm* Dialog);
// Clicks the dialog's button (by its name: "OK", "Abort", "Yes", "No").
void Press(TForm* Dialog, const std::string& Button);
// A click in the middle of a control.
void ClickCenter(TControl* C);
// A click on a skinned button at one of its opaque pixels (the mouse counts only there).
void ClickSkin(TControl* Button);
void PressKey(TWinControl* Target, uint16_t Key);

// Steps that recur.
TStep WaitForMessage(const std::string& Id, const std::string& Button);
TStep WaitForMenu();

}  // namespace scenario
