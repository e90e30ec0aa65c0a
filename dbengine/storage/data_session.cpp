#include "dbengine/storage/data_session.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <set>

#include "dbengine/storage/collation.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/file_layer.h"
#include "dbengine/storage/os_names.h"
#include "platform/core/sysutils.h"

namespace {

bool GStarted = false;
TDataSession* GGlobalSession = nullptr;
TDataSession* GCurrentSession = nullptr;
time_t GEngineStartTime = 0;
std::mutex GSweepLock;
std::set<std::string> GSweptDirectories;

std::string TableFileName(const std::string& Name) { return ForceFileExt(ExtractFileBaseName(Trim(Name)), ".DAT"); }

}  // namespace

// ---- Engine state --------------------------------------------------------------------------------

void StartEngine() {
  if (GStarted) return;
  GStarted = true;
  GEngineStartTime = time(nullptr);
  GGlobalSession = new TDataSession();
  GCurrentSession = GGlobalSession;
}

void StopEngine() {
  if (!GStarted) return;
  TDataSession* S = GGlobalSession;
  GGlobalSession = nullptr;
  delete S;
  GCurrentSession = nullptr;
  GStarted = false;
}

bool EngineStarted() { return GStarted; }

TDataSession* CurrentSession() {
  if (!GStarted || GCurrentSession == nullptr) RaiseEngineError(ecNotInitialized);
  return GCurrentSession;
}

void SetCurrentSession(TDataSession* Session) { GCurrentSession = Session; }

void NewSession(TDataSession*& Session) { Session = new TDataSession(); }

void FreeSession(TDataSession*& Session) {
  if (Session == nullptr) return;
  if (GCurrentSession == Session) GCurrentSession = GStarted ? GGlobalSession : nullptr;
  if (GGlobalSession == Session) GGlobalSession = nullptr;
  delete Session;
  Session = nullptr;
}

// ---- Session -------------------------------------------------------------------------------------

TDataSession::TDataSession() {
  char Buf[4096];
  std::string Cwd = getcwd(Buf, sizeof(Buf)) != nullptr ? EngineFileName(Buf) : std::string();
  StartDirectory = AddTrailingBackslash(Trim(Cwd));
  LanguageID = ProcessDefaultLanguage();
}

TDataSession::~TDataSession() {
  std::vector<TDataDirectory*> Dirs;
  Dirs.swap(Directories);
  for (auto It = Dirs.rbegin(); It != Dirs.rend(); ++It) delete *It;
  Passwords.clear();
}

void TDataSession::SetPrivateDir(const std::string& Dir) {
  if (Dir.empty()) return;
  std::string D = AddTrailingBackslash(Trim(Dir));
  if (D == PrivateDir) return;
  PrivateDir = D;
  // Temporary tables of processes that crashed stay behind on Linux; clear them once per folder.
  bool First;
  {
    std::lock_guard<std::mutex> G(GSweepLock);
    First = GSweptDirectories.insert(GetUniversalPath(D)).second;
  }
  if (First) SweepStaleTempTables(D, GEngineStartTime != 0 ? GEngineStartTime : time(nullptr));
}

void TDataSession::AddPassword(const std::string& Password) {
  if (Password.empty() || HasPassword(Password)) return;
  Passwords.push_back(Password.substr(0, 255));
}

void TDataSession::RemovePassword(const std::string& Password) {
  auto It = std::find(Passwords.begin(), Passwords.end(), Password);
  if (It != Passwords.end()) Passwords.erase(It);
}

bool TDataSession::HasPassword(const std::string& Password) const {
  return std::find(Passwords.begin(), Passwords.end(), Password) != Passwords.end();
}

TDataDirectory* TDataSession::OpenDirectory(const std::string& DatabaseName, const std::string& Path) {
  std::string P, U;
  if (!SameText(Trim(DatabaseName), "MEMORY")) {
    P = Trim(Path).empty() ? StartDirectory : AddTrailingBackslash(Trim(Path));
    // A directory already open under the same spelling is that directory: its path needs no
    // resolving again (every statement opens the directories of its tables).
    for (TDataDirectory* D : Directories) {
      if (!D->Path.empty() && D->Path == P) {
        ++D->RefCount;
        return D;
      }
    }
    U = GetUniversalPath(P);
    if (U.empty()) U = P;
    U = AddTrailingBackslash(U);
  }
  for (TDataDirectory* D : Directories) {
    if (SameText(Trim(D->UniversalPath), Trim(U))) {
      ++D->RefCount;
      return D;
    }
  }
  TDataDirectory* D = new TDataDirectory();
  D->Session = this;
  D->DatabaseName = DatabaseName.substr(0, 255);
  D->Path = P;
  D->UniversalPath = U;
  D->RefCount = 1;
  Directories.push_back(D);
  return D;
}

int TDataSession::CloseDirectory(TDataDirectory* Directory) {
  auto It = std::find(Directories.begin(), Directories.end(), Directory);
  if (It == Directories.end() || Directory->RefCount < 1) return -ecAccessDenied;
  if (--Directory->RefCount == 0) {
    Directories.erase(It);
    delete Directory;
  }
  return 0;
}

// ---- Directory -----------------------------------------------------------------------------------

TDataDirectory::~TDataDirectory() {
  // Rolling back an open transaction also frees the tables no cursor uses; free what remains.
  try {
    if (InTransaction) Rollback();
  } catch (...) {
  }
  IdleTables.clear();
  std::vector<TDataTable*> Rest;
  Rest.swap(Tables);
  for (TDataTable* T : Rest) delete T;
}

TDirectoryLog* TDataDirectory::Journal() {
  if (!FJournal) FJournal = std::make_unique<TDirectoryLog>(Path);
  return FJournal.get();
}

TDataTable* TDataDirectory::FindTable(const std::string& Name, bool InMemory) const {
  // A name in the listed form already (a cursor's own table name, mostly) is found as it is.
  for (TDataTable* T : Tables)
    if (T->InMemory == InMemory && T->TableName == Name) return T;
  // Both names in the same form: trimmed, without a path, with the ".DAT" extension.
  std::string N = TableFileName(Name);
  for (TDataTable* T : Tables)
    if (T->InMemory == InMemory && SameText(T->TableName, N)) return T;
  return nullptr;
}

void TDataDirectory::RemoveTable(TDataTable* Table) {
  auto It = std::find(Tables.begin(), Tables.end(), Table);
  if (It != Tables.end()) Tables.erase(It);
  auto I = std::find(IdleTables.begin(), IdleTables.end(), Table);
  if (I != IdleTables.end()) IdleTables.erase(I);
}

void TDataDirectory::ForgetIdle(TDataTable* Table) {
  RemoveTable(Table);
  delete Table;  // closes its parked files
}

void TDataDirectory::CloseIdleTables() {
  std::vector<TDataTable*> Idle;
  Idle.swap(IdleTables);
  for (TDataTable* T : Idle) ForgetIdle(T);
}

void TDataDirectory::CloseIdleTable(const std::string& Name, bool InMemory) {
  TDataTable* T = FindTable(Name, InMemory);
  if (T != nullptr && T->Parked) ForgetIdle(T);
}

int TDataDirectory::OpenTable(const std::string& Name, TDataTable*& Table, bool Temporary, bool SequentialAccess,
                              bool InMemory, bool Force, bool Exclusive) {
  Table = nullptr;
  TDataTable* T = FindTable(Name, InMemory);
  if (T != nullptr && T->Parked) {
    auto I = std::find(IdleTables.begin(), IdleTables.end(), T);
    if (I != IdleTables.end()) IdleTables.erase(I);
    // An exclusive open has the table to itself: nothing of this process stays open on it.
    T->SetExclusive(Exclusive);
    T->SetTemporary(Temporary);
    T->SetSequentialAccess(SequentialAccess);
    if (T->Resume()) {
      if (InTransaction) T->StartTransaction();
      Table = T;
      return 0;
    }
    ForgetIdle(T);
    T = nullptr;
  }
  if (T != nullptr && T->RefCount < 1) {
    T->SetExclusive(Exclusive);
    T->SetInMemory(InMemory);
    T->SetTemporary(Temporary);
    T->SetSequentialAccess(SequentialAccess);
    T->Open();
    if (InTransaction) T->StartTransaction();
  } else if (T != nullptr) {
    if ((T->Exclusive || Exclusive) && !Force) return -ecAccessDenied;
    T->AddRef();
  } else {
    T = new TDataTable(this);
    T->SetTableName(Name);
    T->SetExclusive(Exclusive);
    T->SetInMemory(InMemory);
    T->SetTemporary(Temporary);
    T->SetSequentialAccess(SequentialAccess);
    // Listed before opening: a failed open is cleaned up by the caller's CloseTable.
    Tables.push_back(T);
    Table = T;
    T->Open();
    if (InTransaction) T->StartTransaction();
  }
  Table = T;
  return 0;
}

int TDataDirectory::CloseTable(TDataTable* Table, bool FlushTemporary) {
  if (std::find(Tables.begin(), Tables.end(), Table) == Tables.end()) return -ecInvalidPath;
  if (Table->Parked) return 0;
  if (Table->RefCount >= 1) {
    Table->Close(FlushTemporary);
  } else if (Table->Opened && !Table->InTransaction) {
    // Kept open for a transaction that has ended: its last close is due now.
    Table->RefCount = 1;
    Table->Close(FlushTemporary);
  }
  if (Table->RefCount <= 0 && !Table->InTransaction) {
    if (Table->Parked && IdleTableLimit > 0) {
      IdleTables.push_back(Table);
      while (IdleTables.size() > IdleTableLimit) ForgetIdle(IdleTables.front());
      return 0;
    }
    RemoveTable(Table);
    delete Table;
  }
  return 0;
}

int TDataDirectory::RenameTable(const std::string& Name, const std::string& NewName, bool Backup, bool InMemory) {
  CloseIdleTable(Name, InMemory);
  CloseIdleTable(NewName, InMemory);
  TDataTable* T = FindTable(Name, InMemory);
  if (T != nullptr && T->RefCount != 0) return -ecAccessDenied;
  if (T != nullptr) return T->RenameFiles(NewName, Backup);
  TDataTable Tmp(this);
  Tmp.SetTableName(Name);
  Tmp.SetInMemory(InMemory);
  return Tmp.RenameFiles(NewName, Backup);
}

int TDataDirectory::DeleteTable(const std::string& Name, bool InMemory) {
  CloseIdleTable(Name, InMemory);
  TDataTable* T = FindTable(Name, InMemory);
  if (T != nullptr && T->RefCount != 0) return -ecAccessDenied;
  try {
    if (T != nullptr) {
      T->DeleteFiles();
      RemoveTable(T);
      delete T;
    } else {
      TDataTable Tmp(this);
      Tmp.SetTableName(Name);
      Tmp.SetInMemory(InMemory);
      Tmp.DeleteFiles();
    }
  } catch (const EVXDBEngineError& E) {
    return -static_cast<int>(E.ErrorCode());
  }
  return 0;
}

bool TDataDirectory::TableExists(const std::string& Name, bool InMemory) {
  // A parked table may have been deleted by another process meanwhile: the files decide.
  TDataTable* T = FindTable(Name, InMemory);
  if (T != nullptr && !T->Parked) return true;
  return EngineFileList().FileExists((InMemory ? std::string() : UniversalPath) + TableFileName(Name), InMemory);
}

void TDataDirectory::GetTempTableName(bool InMemory, std::string& Name) {
  std::string P = TempNamePrefix();
  for (uint32_t N = 0; N <= 0xFFFF; ++N) {
    Name = P + std::to_string(N) + ".DAT";
    if (!TableExists(Name, InMemory)) return;
  }
  RaiseEngineError(ecAccessDenied, Name);
}

TDataDirectory* TDataDirectory::StartTransaction() {
  if (InTransaction) return this;
  for (TDataTable* T : Tables)
    if (!T->Parked) T->StartTransaction();
  InTransaction = true;
  return nullptr;
}

void TDataDirectory::Rollback() {
  std::vector<TDataTable*> List = Tables;
  for (auto It = List.rbegin(); It != List.rend(); ++It) {
    TDataTable* T = *It;
    T->Rollback();
    if (T->RefCount == 0) CloseTable(T, true);
  }
  InTransaction = false;
}

void TDataDirectory::Commit(bool EndTransaction) {
  std::vector<TDataTable*> List(Tables.rbegin(), Tables.rend());
  try {
    TDataTable::CommitTables(List, EndTransaction);
  } catch (...) {
    if (EndTransaction) {
      InTransaction = false;
      for (TDataTable* T : List)
        if (T->RefCount == 0) CloseTable(T, true);
    }
    throw;
  }
  for (TDataTable* T : List)
    if (T->RefCount == 0) CloseTable(T, true);
  // A commit that does not end the transaction (an interval commit) leaves it open: its tables are
  // still in it, and the directory must say so, or the final commit or a rollback would not reach them.
  if (EndTransaction) InTransaction = false;
}

int TDataDirectory::CreateTable(const std::string& Name, TDataTable*& Table, bool Temporary, bool InMemory,
                                const TTableDefinition& Definition) {
  Table = nullptr;
  std::string N = TableFileName(Name);
  CloseIdleTable(N, InMemory);
  TDataTable* T = FindTable(N, InMemory);
  if (T != nullptr && T->RefCount >= 1) return -ecAccessDenied;
  if (T == nullptr) {
    T = new TDataTable(this);
    T->SetTableName(N);
    Tables.push_back(T);
  }
  T->SetExclusive(true);
  T->SetInMemory(InMemory);
  T->SetTemporary(Temporary);
  T->RefCount = 1;
  try {
    T->CreateFiles(Definition);
  } catch (...) {
    T->RefCount = 0;
    RemoveTable(T);
    delete T;
    throw;
  }
  Table = T;
  return 0;
}

// ---- Files of tables -----------------------------------------------------------------------------

bool IsTempTableFileName(const std::string& FileName) {
  size_t Sep = FileName.find_last_of("/\\:");
  std::string Base = Sep == std::string::npos ? FileName : FileName.substr(Sep + 1);
  size_t Dot = Base.rfind('.');
  if (Dot == std::string::npos) return false;
  std::string Ext = UpperCase(Base.substr(Dot));
  if (Ext != ".DAT" && Ext != ".IDX" && Ext != ".BLB") return false;
  std::string Stem = Base.substr(0, Dot);
  if (Stem.size() < 6 || Stem.size() > 10) return false;  // five digits and a 16-bit number
  for (char C : Stem)
    if (C < '0' || C > '9') return false;
  return true;
}

int SweepStaleTempTables(const std::string& Dir, time_t StartedBefore) {
  std::string OsDir = OsFileName(AddTrailingBackslash(Trim(Dir)));
  for (char& C : OsDir)
    if (C == '\\') C = '/';
  DIR* D = opendir(OsDir.c_str());
  if (D == nullptr) return 0;
  int Removed = 0;
  while (dirent* E = readdir(D)) {
    std::string Name = E->d_name;
    if (!IsTempTableFileName(EngineFileName(Name))) continue;
    std::string Full = OsDir + Name;
    struct stat St;
    if (lstat(Full.c_str(), &St) != 0 || !S_ISREG(St.st_mode) || St.st_mtime >= StartedBefore) continue;
    // A process that has the file open holds a lock on its open-mode byte; a file nobody locks is
    // left over from a process that died.
    int Fd = open(Full.c_str(), O_RDWR | O_CLOEXEC);
    if (Fd < 0) continue;
    struct flock L = {};
    L.l_type = F_WRLCK;
    L.l_whence = SEEK_SET;
    L.l_start = kOpenModeLockByte;
    L.l_len = 1;
    bool Free = fcntl(Fd, F_OFD_SETLK, &L) == 0;
    if (Free && unlink(Full.c_str()) == 0) ++Removed;
    close(Fd);
  }
  closedir(D);
  return Removed;
}

int MoveTableFile(const std::string& From, const std::string& To) {
  int R = EngineFileList().FileRename(From, false, To);
  if (R != -static_cast<int>(ecTableMoved)) return R;
  // Another file system: copy into a new file beside the target, then give it the target name.
  std::string Src = ResolveDiskFileName(From);
  std::string Dst = OsFileName(Trim(To));
  for (char& C : Dst)
    if (C == '\\') C = '/';
  struct stat St;
  if (stat(Dst.c_str(), &St) == 0) return -ecUnknownOSError;
  int In = open(Src.c_str(), O_RDONLY | O_CLOEXEC);
  if (In < 0) return -static_cast<int>(EngineCodeFromErrno(errno));
  int Out = open(Dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (Out < 0) {
    int E = errno;
    close(In);
    return -static_cast<int>(EngineCodeFromErrno(E));
  }
  std::vector<char> Buf(1 << 16);
  int Result = 0;
  for (;;) {
    ssize_t N = read(In, Buf.data(), Buf.size());
    if (N < 0) {
      if (errno == EINTR) continue;
      Result = -static_cast<int>(ecReadError);
      break;
    }
    if (N == 0) break;
    ssize_t Done = 0;
    while (Done < N) {
      ssize_t W = write(Out, Buf.data() + Done, static_cast<size_t>(N - Done));
      if (W < 0) {
        if (errno == EINTR) continue;
        break;
      }
      Done += W;
    }
    if (Done < N) {
      Result = -static_cast<int>(ecWriteError);
      break;
    }
  }
  if (Result == 0 && fsync(Out) != 0) Result = -static_cast<int>(ecWriteError);
  close(In);
  close(Out);
  if (Result != 0) {
    unlink(Dst.c_str());
    return Result;
  }
  unlink(Src.c_str());
  return 0;
}
