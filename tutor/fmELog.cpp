#include "tutor/fmELog.h"

#include <cxxabi.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"

TfmELogger::TfmELogger(TComponent* AOwner) : TComponent(AOwner), Clock([] { return Now(); }) {}

void TfmELogger::BuildReport(TStrings* Report, TDateTime When, const std::string& ExceptionClass,
                             const std::string& ExceptionMessage, const TStrings* Notes) const {
  BuildSectionReport(Report, When, FSection, ExceptionClass, ExceptionMessage, Notes);
}

void TfmELogger::BuildSectionReport(TStrings* Report, TDateTime When, const std::string& Section,
                                    const std::string& ExceptionClass, const std::string& ExceptionMessage,
                                    const TStrings* Notes) {
  TFormatSettings FS = FormatSettings;
  FS.DateSeparator = '/';
  FS.TimeSeparator = ':';
  Report->Add("Application Error at " + FormatDateTime("hh:nn am/pm", When, FS) + " on " +
              FormatDateTime("mm/dd/yy", When, FS));
  Report->Add("Section: " + Section);
  Report->Add("Exception Class: " + ExceptionClass);
  Report->Add("Exception Message: " + ExceptionMessage);
  if (Notes && !Trim(Notes->Text()).empty()) {
    Report->Add("");
    Report->Add("User Notes:");
    Report->AddStrings(Notes);
  }
  Report->Add(std::string(79, '='));
}

std::string TfmELogger::LogPath() const {
  const std::string Folder = FLogFolder.empty() ? ExtractFilePath(ProgramFileName()) : FLogFolder;
  return IncludeTrailingPathDelimiter(Folder) + FFileName;
}

std::string TfmELogger::FallbackLogPath() const {
  const char* State = std::getenv("XDG_STATE_HOME");
  std::string Base;
  if (State && *State) {
    Base = FromOsPath(State);
  } else {
    const char* Home = std::getenv("HOME");
    Base = JoinPath(FromOsPath(Home && *Home ? Home : "/tmp"), ".local/state");
  }
  return JoinPath(JoinPath(Base, "vx"), FFileName);
}

namespace {
// Appends Text to the file, creating it when missing; false when that fails.
bool AppendToFile(const std::string& Path, const std::string& Text) {
  try {
    if (!DirectoryExists(ExtractFileDir(Path)) && !ForceDirectories(ExtractFileDir(Path))) return false;
    std::unique_ptr<TFileStream> F;
    if (FileExists(Path)) {
      F = std::make_unique<TFileStream>(Path, fmOpenReadWrite | fmShareDenyWrite);
      F->Seek(0, soFromEnd);
    } else {
      F = std::make_unique<TFileStream>(Path, fmCreate);
    }
    F->WriteString(Text);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}
}  // namespace

std::string TfmELogger::AppendReport(const TStrings* Report) const {
  const std::string Text = Report->Text();
  const std::string Primary = LogPath();
  if (AppendToFile(Primary, Text)) return Primary;
  const std::string Fallback = FallbackLogPath();
  if (AppendToFile(Fallback, Text)) return Fallback;
  std::fwrite(Text.data(), 1, Text.size(), stderr);
  return std::string();
}

std::string TfmELogger::ExceptionClassName(const std::exception& E) {
  if (const auto* Ours = dynamic_cast<const Exception*>(&E)) return Ours->ClassName();
  int Status = 0;
  std::unique_ptr<char, void (*)(void*)> Name(
      abi::__cxa_demangle(typeid(E).name(), nullptr, nullptr, &Status), std::free);
  return Status == 0 && Name ? std::string(Name.get()) : std::string(typeid(E).name());
}

std::string TfmELogger::LogException(const std::exception& E, const TStrings* Notes, TDateTime When) const {
  TStringList Report;
  const auto* Ours = dynamic_cast<const Exception*>(&E);
  BuildReport(&Report, When, ExceptionClassName(E), Ours ? Ours->Message() : std::string(E.what()), Notes);
  return AppendReport(&Report);
}

std::string TfmELogger::ReportPath() const {
  const std::string Primary = LogPath();
  const std::string Os = ToOsPath(Primary);
  const bool Writable = FileExists(Primary)
                            ? access(Os.c_str(), W_OK) == 0
                            : access(ToOsPath(ExtractFileDir(Primary)).c_str(), W_OK | X_OK) == 0;
  return Writable ? Primary : FallbackLogPath();
}

std::string TfmELogger::HandleException(TObject* Sender, const std::exception& E) {
  (void)Sender;
  const auto* Ours = dynamic_cast<const Exception*>(&E);
  const std::string Class = ExceptionClassName(E);
  const std::string Message = Ours ? Ours->Message() : std::string(E.what());
  // The section and time are those of the failure: while the error window is open, other handlers
  // (a timer, a second failure) may run and set sections of their own.
  const std::string Section = FSection;
  const TDateTime When = Clock ? Clock() : Now();
  TStringList Notes;
  if (ShowErrorWindow) ShowErrorWindow("Exception Class: " + Class, Message, ReportPath(), &Notes);
  TStringList Report;
  BuildSectionReport(&Report, When, Section, Class, Message, &Notes);
  const std::string Written = AppendReport(&Report);
  if (FTerminate && OnTerminate) OnTerminate();
  return Written;
}

namespace {
struct TGlobalLogger {
  std::unique_ptr<TfmELogger> Logger = std::make_unique<TfmELogger>();
  TGlobalLogger() {
    Logger->SetLogFolder(ExtractFilePath(ProgramFileName()));
    Logger->SetFileName(ChangeFileExt(ExtractFileName(ProgramFileName()), ".log"));
    Logger->SetTerminateAfterLogging(true);
    ELogger = Logger.get();
  }
  ~TGlobalLogger() { ELogger = nullptr; }
};
}  // namespace

TfmELogger* ELogger = nullptr;
static TGlobalLogger GlobalLogger;

void SetErrorSection(const std::string& Section) {
  if (ELogger) ELogger->SetSection(Section);
}
