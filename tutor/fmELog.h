// The error log: every exception that nothing else handles is written as a report to a log file
// named like the program with the extension ".log", beside the program.
//
// Report (lines in this order, CR LF line ends like every text file the program writes):
//   Application Error at <hh:nn am/pm> on <mm/dd/yy>
//   Section: <the step being run>
//   Exception Class: <class name>
//   Exception Message: <message>
//   (only when the user typed notes:) an empty line, "User Notes:", the notes' lines
//   ===...=== (79 '=')
// The date is written with '/' between its fields whatever the date separator of the program's
// format settings, so that every report reads the same.
//
// Each event handler sets the section to its own name (Class.Method or Class.Method:nn) before
// it works, so that a report names the last step begun.
//
// The window that asks for the user's notes and the hook into the application's exception
// handling belong to the GUI layer, which plugs them in through ShowErrorWindow and
// OnTerminate; this unit runs the handler and builds and stores the report.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "platform/core/classes.h"
#include "platform/core/types.h"

class TfmELogger : public TComponent {
 public:
  explicit TfmELogger(TComponent* AOwner = nullptr);
  std::string ClassName() const override { return "TfmELogger"; }

  const std::string& Section() const { return FSection; }
  void SetSection(const std::string& V) { FSection = V; }
  // The folder of the log file; empty means the program's folder.
  const std::string& LogFolder() const { return FLogFolder; }
  void SetLogFolder(const std::string& V) { FLogFolder = V; }
  const std::string& FileName() const { return FFileName; }  // default "errors.log"
  void SetFileName(const std::string& V) { FFileName = V; }
  bool TerminateAfterLogging() const { return FTerminate; }
  void SetTerminateAfterLogging(bool V) { FTerminate = V; }

  // The report lines for one exception; Notes may be null or hold nothing but blanks (no notes).
  void BuildReport(TStrings* Report, TDateTime When, const std::string& ExceptionClass,
                   const std::string& ExceptionMessage, const TStrings* Notes) const;
  // LogFolder (or the program's folder) followed by FileName.
  std::string LogPath() const;
  // Where reports go when LogPath cannot be written: $XDG_STATE_HOME/vx/ or ~/.local/state/vx/,
  // followed by FileName.
  std::string FallbackLogPath() const;
  // Appends the report to LogPath, or to FallbackLogPath when that fails, and returns the file
  // written. When neither can be written the report goes to standard error and "" is returned.
  std::string AppendReport(const TStrings* Report) const;
  // Builds the report for E (class name and message of our Exception, the C++ type name and
  // what() of any other exception) at the time When, and appends it. Returns the file written.
  std::string LogException(const std::exception& E, const TStrings* Notes, TDateTime When) const;

  // The class name the report shows for E.
  static std::string ExceptionClassName(const std::exception& E);

  // Where the next report will go: LogPath when it can be written, else FallbackLogPath.
  std::string ReportPath() const;

  // The application's exception handler: shows the error window (ShowErrorWindow, when set),
  // appends the report with the notes typed there, then calls OnTerminate when
  // TerminateAfterLogging is set. Returns the file written ("" when only standard error took it).
  std::string HandleException(TObject* Sender, const std::exception& E);

  // Shows the error window modally: ClassText is "Exception Class: " + the class name, Message
  // the exception's message, LogFile where the report will be written; the user's notes go into
  // Notes.
  std::function<void(const std::string& ClassText, const std::string& Message, const std::string& LogFile,
                     TStrings* Notes)>
      ShowErrorWindow;
  // Asks the application to end its message loop.
  std::function<void()> OnTerminate;
  // The time stamped on reports.
  std::function<TDateTime()> Clock;

 private:
  static void BuildSectionReport(TStrings* Report, TDateTime When, const std::string& Section,
                                 const std::string& ExceptionClass, const std::string& ExceptionMessage,
                                 const TStrings* Notes);
  std::string FSection;
  std::string FLogFolder;
  std::string FFileName = "errors.log";
  bool FTerminate = false;
};

// The program's one logger, created before main runs: log folder the program's folder, file name
// the program's name with ".log", terminate-after-logging set.
extern TfmELogger* ELogger;

// Shorthand for ELogger->SetSection, used at the top of every handler.
void SetErrorSection(const std::string& Section);
