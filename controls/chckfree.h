// The leak report: a list of the container objects that are alive, and at program exit an offer
// to write the class names of those still alive to "free_err.log" beside the program.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/core/classes.h"

void RegisterObject(TObject* Object);
// Removes the first occurrence of Object, when it is listed.
void UnregisterObject(TObject* Object);
// The objects alive now, in registration order.
std::vector<TObject*> RegisteredObjects();

// Asks the user a Yes/No question (Text, Caption); true for Yes. The GUI layer sets it; while it
// is unset no question can be asked and the report writes nothing.
extern std::function<bool(const std::string& Text, const std::string& Caption)> CheckFreeConfirm;

// The report file for a program in ProgramFolder: ProgramFolder/free_err.log when that folder is a
// writable folder, else free_err.log in the folder where the error log goes when the program
// folder cannot be written ($XDG_STATE_HOME/vx/, or ~/.local/state/vx/ without that variable).
std::string CheckFreeLogFileName(const std::string& ProgramFolder);

// Runs the report for a program in ProgramFolder: when objects are still alive, asks through
// CheckFreeConfirm and on Yes appends "*** CheckFree ***" with the time, one line per class name
// and "*** end ***" to the report file (kept under 32768 bytes). Returns true when it wrote.
bool CheckFreeReport(const std::string& ProgramFolder);

// The report for the running program; the program calls it once while shutting down, before the
// GUI goes away.
bool CheckFreeAtExit();
