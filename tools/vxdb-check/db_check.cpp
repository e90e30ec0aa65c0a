#include "tools/vxdb-check/db_check.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "dbengine/storage/data_session.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/journal.h"
#include "dbengine/storage/table_check.h"
#include "dbengine/storage/table_files.h"
#include "platform/core/sysutils.h"

bool ParseCheckArguments(const std::vector<std::string>& Args, TCheckOptions& O) {
  for (const std::string& A : Args) {
    if (A == "--repair") {
      O.Repair = true;
    } else if (!A.empty() && A[0] == '-') {
      return false;
    } else if (O.Directory.empty()) {
      O.Directory = A;
    } else {
      O.Tables.push_back(A);
    }
  }
  return !O.Directory.empty();
}

namespace {

std::vector<std::string> TablesOf(const std::string& Dir) {
  std::vector<std::string> L;
  std::error_code E;
  for (const auto& F : std::filesystem::directory_iterator(Dir, E)) {
    if (!F.is_regular_file()) continue;
    const std::string N = F.path().filename().string();
    if (N.size() > 4 && AnsiSameText(N.substr(N.size() - 4), ".DAT") && !IsTempTableFileName(N))
      L.push_back(N.substr(0, N.size() - 4));
  }
  std::sort(L.begin(), L.end());
  return L;
}

void Print(std::ostream& Out, const std::string& Table, const TTableCheckResult& R) {
  if (R.Sound()) {
    Out << Table << ": sound, " << R.Records << " records\n";
    return;
  }
  for (const std::string& P : R.Problems) Out << Table << ": damaged: " << P << '\n';
}

}  // namespace

int RunCheck(const TCheckOptions& O, std::ostream& Out) {
  if (!GetTableFilesFactory()) SetTableFilesFactory(MakeTableFiles);
  std::string Dir = O.Directory;
  if (Dir.back() != '/') Dir += '/';
  if (!std::filesystem::is_directory(Dir)) {
    Out << O.Directory << ": not a directory\n";
    return 1;
  }
  const TJournalInfo J = InspectJournal(Dir);
  if (J.Exists && !J.Sound)
    Out << kJournalName << ": a log without a sound header; its commits are replayed and it is emptied\n";
  else if (J.Pending)
    Out << kJournalName << ": a commit interrupted while it was put in place; it is completed\n";
  auto Session = std::make_unique<TDataSession>();
  TDataDirectory* D = Session->OpenDirectory("db", Dir);
  std::vector<std::string> Tables = O.Tables.empty() ? TablesOf(Dir) : O.Tables;
  int Damaged = 0;
  for (const std::string& T : Tables) {
    const std::string Name = RemoveFileExt(T);
    TTableCheckResult R = CheckTable(D, Name);
    Print(Out, Name, R);
    if (R.Sound()) continue;
    if (!O.Repair) {
      ++Damaged;
      continue;
    }
    try {
      for (const std::string& Step : RebuildIndexes(D, Name)) Out << Name << ": repair: " << Step << '\n';
    } catch (const EVXDBEngineError& E) {
      Out << Name << ": repair failed: " << E.Message() << '\n';
    } catch (const std::exception& E) {
      Out << Name << ": repair failed: " << E.what() << '\n';
    }
    TTableCheckResult After = CheckTable(D, Name);
    if (After.Sound()) {
      Out << Name << ": mended, " << After.Records << " records\n";
    } else {
      ++Damaged;
      for (const std::string& P : After.Problems) Out << Name << ": still damaged: " << P << '\n';
    }
  }
  Session.reset();
  Out << (Damaged == 0 ? "every table is sound\n" : std::to_string(Damaged) + " damaged table(s)\n");
  return Damaged == 0 ? 0 : 1;
}
