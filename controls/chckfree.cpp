#include "controls/chckfree.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "controls/logfile.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"

std::function<bool(const std::string& Text, const std::string& Caption)> CheckFreeConfirm;

namespace {
// The live-object list outlives every static object that may still free a vector while the
// program shuts down, so it is never destroyed.
struct TLiveList {
  std::mutex Lock;
  std::vector<TObject*> Objects;
};
TLiveList& Live() {
  static TLiveList* L = new TLiveList();
  return *L;
}

const int ReportMaxSize = 32768;
}  // namespace

void RegisterObject(TObject* Object) {
  std::lock_guard<std::mutex> G(Live().Lock);
  Live().Objects.push_back(Object);
}

void UnregisterObject(TObject* Object) {
  std::lock_guard<std::mutex> G(Live().Lock);
  auto& V = Live().Objects;
  auto It = std::find(V.begin(), V.end(), Object);
  if (It != V.end()) V.erase(It);
}

std::vector<TObject*> RegisteredObjects() {
  std::lock_guard<std::mutex> G(Live().Lock);
  return Live().Objects;
}

std::string CheckFreeLogFileName(const std::string& ProgramFolder) {
  if (DirectoryExists(ProgramFolder) && access(ToOsPath(ProgramFolder).c_str(), W_OK) == 0)
    return JoinPath(ProgramFolder, "free_err.log");
  const char* State = std::getenv("XDG_STATE_HOME");
  std::string Base;
  if (State && *State) {
    Base = FromOsPath(State);
  } else {
    const char* Home = std::getenv("HOME");
    Base = JoinPath(FromOsPath(Home && *Home ? Home : "/tmp"), ".local/state");
  }
  return JoinPath(JoinPath(Base, "vx"), "free_err.log");
}

bool CheckFreeReport(const std::string& ProgramFolder) {
  const std::vector<TObject*> Alive = RegisteredObjects();
  if (Alive.empty()) return false;
  const std::string FileName = CheckFreeLogFileName(ProgramFolder);
  if (!CheckFreeConfirm) return false;
  const std::string Text =
      Format("CheckFree has found some objects were not freed.\rAdd report to log file '%s'?", {FileName});
  if (!CheckFreeConfirm(Text, "Warning")) return false;
  ForceDirectories(ExtractFileDir(FileName));
  AddToLog(FileName, {"*** CheckFree ***"}, true, ReportMaxSize);
  for (TObject* Obj : Alive) AddToLog(FileName, {Obj->ClassName()}, false, ReportMaxSize);
  AddToLog(FileName, {"*** end ***"}, false, ReportMaxSize);
  return true;
}

bool CheckFreeAtExit() {
  try {
    return CheckFreeReport(ExtractFilePath(ProgramFileName()));
  } catch (const Exception&) {
    // The program is ending; a report that cannot be written is not worth a crash.
    return false;
  }
}
