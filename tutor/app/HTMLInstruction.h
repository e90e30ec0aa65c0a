// The instruction box and the pop-up help: a dialog over the page that shows one HTML document
// of the program folder, closed with OK.
#pragma once

#include <string>

// The about box and instruction boxes (Document relative to the program folder).
void ShowInstructionBox(const std::string& Caption, const std::string& Document);
// The help window of a dialog or page.
void ShowPopUpHelp(const std::string& Document);
