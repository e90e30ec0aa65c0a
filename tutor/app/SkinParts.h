// Small builders of the skinned parts that the statistics, options, course and certificate
// screens share: labels in the pages' navy, skinned buttons and tab check boxes from the main
// archive, and the error-log note of a swallowed failure.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxButton;
class TZLBArchive;
class TVxCheckbox;
class TWinControl;

inline constexpr TColor kPageNavy = static_cast<TColor>(0x800000);
inline constexpr TColor kPageNotebookColor = static_cast<TColor>(14860437);

// The archive the screens take their pictures from: the host's main archive, or the one a test
// set (nullptr: the host's again).
TZLBArchive* ScreenArchive();
void SetScreenArchive(TZLBArchive* Archive);

TLabel* MakePageLabel(TComponent* Owner, TWinControl* Parent, const char* Name, int X, int Y,
                      const std::string& Caption, bool Bold = false);
// A skinned button of the main archive with the pictures Picture_up/_down/_over/_disabled.
TVxButton* MakeSkinButton(TComponent* Owner, TWinControl* Parent, const char* Name, const std::string& Picture, int X,
                          int Y, const std::string& Caption);
// A tab check box with Picture_out/_check/_over/_overcheck.
TVxCheckbox* MakeSkinTab(TComponent* Owner, TWinControl* Parent, const char* Name, const std::string& Picture, int X,
                         int Y, int Tag);
// The hidden default button that Enter presses.
TButton* MakeEnterButton(TComponent* Owner, TWinControl* Parent, const char* Name);
// Writes a failure that the screen goes on without to stderr and the error log.
void LogScreenError(const std::exception& E);

// A message box of the screens (an information box with OK), and a warning question with OK and
// Cancel that is true on OK. Tests replace both through the hooks.
void ScreenMessage(const std::string& Text);
bool ScreenQuestion(const std::string& Text);
extern std::function<void(const std::string&)> ScreenMessageHook;
extern std::function<bool(const std::string&)> ScreenQuestionHook;
