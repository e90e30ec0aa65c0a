// The program's main block: start-up in its fixed order, the message loop, shutdown. main.cpp
// only calls VxProgramMain; tests call it too, in a process of their own, with a script that the
// loop runs.
#pragma once

#include <functional>

struct TProgramHooks {
  // Runs once the application object is initialised, before any form exists (a test queues
  // input for dialogs that start-up itself shows).
  std::function<void()> Started;
  // Runs just before the message loop starts (a test queues its input here).
  std::function<void()> BeforeLoop;
  // Runs after the loop, before anything is freed (a test looks at the final state here).
  std::function<void()> AfterLoop;
};

// 0 after the user closed the program; 1 when the loop never ran (no database, a screen too
// narrow), the program was ended without a logon, or the error log ended it.
int VxProgramMain(const TProgramHooks& Hooks = TProgramHooks());
