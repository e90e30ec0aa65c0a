#include "tutor/app/Program.h"

#include <iostream>

#include "controls/chckfree.h"
#include "controls/ctlutils.h"
#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "tutor/EFrm.h"
#include "tutor/OptionsReg.h"
#include "tutor/app/Pages.h"
#include "tutor/app/panel.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/Levels.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

namespace {

bool gEndedByErrorLog = false;

// A failure before or after the loop: written to the log and to standard error, never an
// exception that escapes main.
void ReportFatal(const std::exception& E) {
  std::cerr << "vx: " << TfmELogger::ExceptionClassName(E) << ": " << E.what() << "\n";
  try {
    if (ELogger) ELogger->LogException(E, nullptr, Now());
  } catch (...) {
  }
}

void FreeAll() {
  // The pages go with the host window, then the data module (it closes its tables even when the
  // host never closed), then the settings store.
  // OnDestroy must run while each form is still whole, before its own destructor takes the
  // derived parts away.
  if (PanelForm) PanelForm->BeforeDestruction();
  delete PanelForm;
  PanelForm = nullptr;
  if (ErrorForm) ErrorForm->BeforeDestruction();
  delete ErrorForm;
  ErrorForm = nullptr;
  delete DM;
  DM = nullptr;
  FreePrgReg();
}

}  // namespace

int VxProgramMain(const TProgramHooks& Hooks) {
  int Status = 1;
  try {
    // The unit initialisations that read files: the log goes beside the program, the levels.
    if (ELogger) ELogger->SetLogFolder(ProgramPath(""));
    LoadLevels();
    Application->Initialize();
    if (Hooks.Started) Hooks.Started();
    InstallErrorLog();
    UseMessageBoxForCheckFree();
    {
      auto Previous = ELogger ? ELogger->OnTerminate : std::function<void()>();
      if (ELogger)
        ELogger->OnTerminate = [Previous] {
          gEndedByErrorLog = true;
          if (Previous) Previous();
        };
    }
    Application->SetTitle("Zorbelin 2");
    CreatePrgReg();
    RegisterApplicationPages();
    Application->CreateForm(DM);
    Application->CreateForm(PanelForm);
    Application->CreateForm(ErrorForm);
    if (DM && DM->DB->Connected()) {
      if (Hooks.BeforeLoop) Hooks.BeforeLoop();
      const bool Ran = !Application->Terminated();
      Application->Run();
      if (Hooks.AfterLoop) Hooks.AfterLoop();
      Status = Ran && PanelForm && PanelForm->ClosedByUser() && !gEndedByErrorLog ? 0 : 1;
    }
    CheckFreeAtExit();
  } catch (const std::exception& E) {
    ReportFatal(E);
    Status = 1;
  }
  try {
    FreeAll();
  } catch (const std::exception& E) {
    ReportFatal(E);
    Status = 1;
  }
  return Status;
}
