// The error window: shown for every exception that nothing else handles. It names the
// exception, asks the user what they were doing, and the error log appends the report with those
// notes to the log file.
#pragma once

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "tutor/fmELog.h"

class TErrorForm : public TForm {
 public:
  explicit TErrorForm(TComponent* AOwner);
  std::string ClassName() const override { return "TErrorForm"; }

  TPageControl* PageControl;
  TTabSheet* UserSheet;   // 'User'
  TTabSheet* ErrorSheet;  // 'Error'
  TMemo* UserMemo;
  TButton* OKBtn;
  TLabel* ErrClassLabel;
  TLabel* ErrMsgLabel;
  // Shown only when the report cannot go beside the program and goes to LogFileLabel's folder.
  TLabel* LogFileTitle;
  TLabel* LogFileLabel;

  // The 'User' page comes to the front with an empty memo that has the focus.
  void FormShow(TObject* Sender);
};

// The error window created at start-up (the per-exception windows are created by the handler).
extern TErrorForm* ErrorForm;

// Makes Logger the application's exception handler: each exception that reaches the event loop
// shows a fresh error window modally, the report with the notes typed there is appended to the
// log file, and, when the logger's terminate flag is set, the application is told to end.
void InstallErrorLog(TfmELogger* Logger = ELogger);
