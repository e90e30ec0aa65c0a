// The program's one settings store (the per-user INI file of TPrgReg): created by the main block
// before any form, freed after the message loop.
#pragma once

#include "platform/core/inifiles.h"

extern TPrgReg* PrgReg;

// Creates the global store (naming the step for the error log first, since opening the file is
// the first thing that can fail at start-up) and returns it. A store that exists is replaced.
TPrgReg* CreatePrgReg();
// Frees the global store; PrgReg is nullptr afterwards.
void FreePrgReg();
