#include "dbengine/storage/file_layer.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/os_names.h"
#include "platform/core/sysutils.h"

namespace {

constexpr int64_t kCopyChunk = 65535;
constexpr intptr_t kMemoryPage = 4096;
// In-memory files are addressed with signed 32-bit offsets by the table files.
constexpr int64_t kMaxMemoryFileSize = 0x7FFFFFFF;

int NegErrno(int Error) { return -static_cast<int>(EngineCodeFromErrno(Error)); }

std::string Slashes(const std::string& S) {
  std::string R = S;
  std::replace(R.begin(), R.end(), '\\', '/');
  return R;
}

// The canonical form of a directory, resolved once per spelling: realpath reads every component
// of the path, and every open, create and lookup of a table file asks for it. Empty when the
// directory cannot be resolved (that answer is not kept).
std::string CanonicalDirectory(const std::string& Dir) {
  static std::mutex Lock;
  static std::unordered_map<std::string, std::string> Known;
  {
    std::lock_guard<std::mutex> G(Lock);
    auto It = Known.find(Dir);
    if (It != Known.end()) return It->second;
  }
  char Buf[PATH_MAX];
  if (!realpath(Dir.c_str(), Buf)) return std::string();
  std::lock_guard<std::mutex> G(Lock);
  if (Known.size() >= 4096) Known.clear();
  return Known[Dir] = Buf;
}

// Key under which a name is listed: in-memory names as given (trimmed, '/' separators); disk names
// resolved on disk with the directory made canonical, so two spellings of one file share one object.
std::string ListKeyOf(const std::string& Name, bool InMemory) {
  std::string N = Slashes(Trim(Name));
  if (InMemory) return N;
  std::string Os = ResolveDiskFileName(N);
  size_t Slash = Os.rfind('/');
  std::string Dir = Slash == std::string::npos ? "." : (Slash == 0 ? "/" : Os.substr(0, Slash));
  std::string Base = Slash == std::string::npos ? Os : Os.substr(Slash + 1);
  std::string D = CanonicalDirectory(Dir);
  if (!D.empty()) {
    if (D != "/") D += '/';
    return EngineFileName(D + Base);
  }
  return EngineFileName(Os);
}

bool SameKey(const std::string& A, const std::string& B) { return AnsiSameText(A, B); }

bool OfdLock(int Fd, short Type, int64_t First, int64_t Length) {
  struct flock L;
  memset(&L, 0, sizeof(L));
  L.l_type = Type;
  L.l_whence = SEEK_SET;
  L.l_start = static_cast<off_t>(First);
  L.l_len = static_cast<off_t>(Length);
  L.l_pid = 0;
  int R;
  do {
    R = fcntl(Fd, F_OFD_SETLK, &L);
  } while (R < 0 && errno == EINTR);
  return R == 0;
}

}  // namespace

int OpenWithoutAtime(const std::string& Path, int Flags, unsigned Mode) {
  int Fd = open(Path.c_str(), Flags | O_NOATIME, Mode);
  if (Fd < 0 && errno == EPERM) Fd = open(Path.c_str(), Flags, Mode);
  return Fd;
}

uint16_t EngineCodeFromErrno(int Error) {
  switch (Error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
      return ecInvalidPath;
    case EMFILE:
    case ENFILE:
      return ecTooManyFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EAGAIN:
      return ecAccessDenied;
    case EBADF:
      return ecInvalidFileHandle;
    case ENOMEM:
      return ecNoMemory;
    case ENODEV:
    case ENXIO:
      return ecDeviceAccess;
    case EXDEV:
      return ecTableMoved;
    default:
      return ecUnknownOSError;
  }
}

std::string ResolveDiskFileName(const std::string& Name) {
  const std::string N = Slashes(Trim(Name));
  const std::string Os = OsFileName(N);
  struct stat St;
  if (N.empty() || lstat(Os.c_str(), &St) == 0) return Os;
  const size_t Slash = N.rfind('/');
  const std::string Base = Slash == std::string::npos ? N : N.substr(Slash + 1);
  if (Base.empty()) return Os;
  // The directory itself may be spelt in another case.
  std::string OsDir;
  if (Slash == 0)
    OsDir = "/";
  else if (Slash != std::string::npos)
    OsDir = ResolveDiskFileName(N.substr(0, Slash));
  std::string Found;
  if (DIR* D = opendir(OsDir.empty() ? "." : OsDir.c_str())) {
    while (dirent* E = readdir(D)) {
      if (AnsiSameText(EngineFileName(E->d_name), Base)) {
        Found = E->d_name;
        break;
      }
    }
    closedir(D);
  }
  if (Found.empty()) Found = OsFileName(Base);
  if (OsDir.empty()) return Found;
  return OsDir == "/" ? "/" + Found : OsDir + "/" + Found;
}

// ---- TAbstractFile -----------------------------------------------------------------------------

namespace {
std::atomic<uint64_t> GFileSerial{0};
// This process (a forked child learns its own at once).
int GSelf = [] {
  pthread_atfork(nullptr, nullptr, [] { GSelf = static_cast<int>(getpid()); });
  return static_cast<int>(getpid());
}();
}

TAbstractFile::TAbstractFile(const std::string& Name) : FileName(Trim(Name)), Serial(++GFileSerial) {}

TAbstractFile::~TAbstractFile() = default;

int TAbstractFile::FindHandle(int Number) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  for (size_t I = 0; I < Handles.size(); ++I)
    if (Handles[I].Number == Number) return static_cast<int>(I);
  return -1;
}

int TAbstractFile::NewHandle() {
  // Numbers are never reused within an object, so a stale number can never reach another user.
  int Number = NextHandleNumber++;
  Handles.push_back(THandleEntry{Number, 0});
  ++HandleCount;
  return Number;
}

int64_t* TAbstractFile::PositionOf(int Number) {
  int I = FindHandle(Number);
  return I < 0 ? nullptr : &Handles[static_cast<size_t>(I)].Position;
}

int TAbstractFile::Close(int Number) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  int I = FindHandle(Number);
  if (I < 0) return -ecInvalidFileHandle;
  const bool WasActive = !Handles[static_cast<size_t>(I)].Parked;
  if (!WasActive) --ParkedCount;
  Handles.erase(Handles.begin() + I);
  --HandleCount;
  if (WasActive && HandleCount > 0 && ActiveHandles() == 0) GoIdle();
  return 0;
}

int TAbstractFile::Park(int Number) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  int I = FindHandle(Number);
  if (I < 0 || Handles[static_cast<size_t>(I)].Parked) return -ecInvalidFileHandle;
  // A lock the handle still holds (a lock slot, say) must go with its descriptor as it always did.
  for (const auto& [First, R] : LockRanges)
    if (R.Owner == Number) return -ecAccessDenied;
  THandleEntry& E = Handles[static_cast<size_t>(I)];
  E.Parked = true;
  E.ParkedBy = GSelf;
  ++ParkedCount;
  if (ActiveHandles() == 0) GoIdle();
  return 0;
}

int TAbstractFile::Unpark(int Number) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  DropParked(true);
  int I = FindHandle(Number);
  if (I < 0 || !Handles[static_cast<size_t>(I)].Parked) return -ecInvalidFileHandle;
  if (ActiveHandles() == 0 && !Wake()) {
    DropParked();
    return -ecInvalidFileHandle;
  }
  THandleEntry& E = Handles[static_cast<size_t>(I)];
  const bool Written = E.WrittenWhileParked;
  E.Parked = false;
  E.WrittenWhileParked = false;
  --ParkedCount;
  return Written ? 1 : 0;
}

void TAbstractFile::GoIdle() {
  if (IdleDeferred || EngineFileList().DeferIdle(this)) return;
  Idle();
}

bool TAbstractFile::Wake() {
  if (IdleDeferred) {
    // Never idle: it kept its locks, and its own and the engine's writes are known as for a file in
    // use.
    IdleDeferred = false;
    return StillNamed();
  }
  bool Written = false;
  if (!Activate(Written)) return false;
  // Every handle parked through the idle time learns of a write, not only the first one back.
  if (Written)
    for (THandleEntry& E : Handles) E.WrittenWhileParked = E.WrittenWhileParked || E.Parked;
  return true;
}

void TAbstractFile::DropParked(bool OnlyForeign) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  if (ParkedCount == 0) return;
  const int Self = GSelf;
  for (size_t I = Handles.size(); I-- > 0;) {
    const THandleEntry& E = Handles[I];
    if (!E.Parked || (OnlyForeign && E.ParkedBy == Self)) continue;
    Handles.erase(Handles.begin() + static_cast<std::ptrdiff_t>(I));
    --ParkedCount;
    --HandleCount;
  }
}

int64_t TAbstractFile::Seek(int Number, int64_t Offset, int Origin) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  int64_t* Pos = PositionOf(Number);
  if (!Pos) return -ecInvalidFileHandle;
  int64_t New;
  switch (Origin) {
    case 0: New = Offset; break;
    case 1: New = *Pos + Offset; break;
    case 2: New = GetSize() - Offset; break;
    default: return -ecUnknownOSError;
  }
  if (New < 0) return -ecUnknownOSError;
  *Pos = New;
  return New;
}

bool TAbstractFile::Overlaps(int64_t First, int64_t Length) const {
  int64_t Last = First + Length - 1;
  // The first range starting at or after First overlaps when it starts inside the new range; the
  // one before it overlaps when it reaches First.
  auto It = LockRanges.lower_bound(First);
  if (It != LockRanges.end() && It->second.First <= Last) return true;
  if (It != LockRanges.begin() && std::prev(It)->second.Last >= First) return true;
  return false;
}

std::map<int64_t, TLockRange>::iterator TAbstractFile::FindRange(int64_t First, int64_t Length, int Owner) {
  auto It = LockRanges.find(First);
  if (It == LockRanges.end()) return It;
  const TLockRange& R = It->second;
  if (R.Length == Length && (Owner == 0 || R.Owner == 0 || R.Owner == Owner)) return It;
  return LockRanges.end();
}

void TAbstractFile::AddRange(int64_t First, int64_t Length, int Owner) {
  LockRanges.emplace(First, TLockRange{First, First + Length - 1, Length, Owner});
}

bool TAbstractFile::LockRange(int64_t First, int64_t Length, int Owner) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  if (Length < 1 || First < 0 || Overlaps(First, Length)) return false;
  AddRange(First, Length, Owner);
  return true;
}

bool TAbstractFile::UnlockRange(int64_t First, int64_t Length, int Owner) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  auto I = FindRange(First, Length, Owner);
  if (I == LockRanges.end()) return false;
  LockRanges.erase(I);
  return true;
}

bool TAbstractFile::UnlockBytes(std::vector<int64_t> Bytes, int Owner) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  bool All = true;
  std::vector<int64_t> Freed;
  Freed.reserve(Bytes.size());
  for (int64_t B : Bytes) {
    auto I = FindRange(B, 1, Owner);
    if (I == LockRanges.end()) {
      All = false;
      continue;
    }
    LockRanges.erase(I);
    Freed.push_back(B);
  }
  std::sort(Freed.begin(), Freed.end());
  // A run of freed bytes goes at once unless a byte inside it is still held (by another handle).
  for (size_t I = 0; I < Freed.size();) {
    size_t J = I;
    while (J + 1 < Freed.size() && Freed[J + 1] == Freed[J] + 1) ++J;
    if (J > I && !Overlaps(Freed[I], Freed[J] - Freed[I] + 1)) {
      ReleaseRun(Freed[I], Freed[J]);
    } else {
      for (size_t K = I; K <= J; ++K) ReleaseRun(Freed[K], Freed[K]);
    }
    I = J + 1;
  }
  return All;
}

// ---- TPhysicalFile -----------------------------------------------------------------------------

TPhysicalFile::~TPhysicalFile() { CloseDescriptor(); }

void TPhysicalFile::CloseDescriptor() {
  if (Descriptor >= 0) {
    close(Descriptor);  // drops every lock this description holds
    Descriptor = -1;
  }
  LockRanges.clear();
  ExclusiveDescriptor = false;
  IdleDeferred = false;
}

void TPhysicalFile::DropParked(bool OnlyForeign) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  if (ParkedCount == 0) return;
  TAbstractFile::DropParked(OnlyForeign);
  if (HandleCount == 0) {
    CloseDescriptor();
    DeleteOnClose = false;
  }
}

void TPhysicalFile::Idle() {
  // Nothing of an idle file may stand in another process's way: it may open the file exclusively,
  // replace or delete it meanwhile.
  if (Descriptor >= 0) OfdLock(Descriptor, F_UNLCK, kOpenModeLockByte, 1);
  ExclusiveDescriptor = false;
  // Its size and times now tell at Activate whether anyone wrote it meanwhile, with or without the
  // engine; unless this process wrote it, they are still the ones the last Activate saw. (Asking
  // for them also makes the next write get a fine-grained time on systems that give coarse times
  // otherwise; the engine's own writers are found by the headers' change counters either way.)
  if (!FWrittenSinceStamp && FIdleSize >= 0) return;
  FWrittenSinceStamp = false;
  struct stat St;
  if (Descriptor >= 0 && fstat(Descriptor, &St) == 0)
    StampIdle(St);
  else
    FIdleSize = -1;
}

bool TPhysicalFile::StillNamed() {
  struct stat Named;
  if (Descriptor >= 0 && stat(OsPath.c_str(), &Named) == 0 && Named.st_dev == FDevice && Named.st_ino == FInode) {
    Size = static_cast<int64_t>(Named.st_size);
    return true;
  }
  Idle();
  return false;
}

void TPhysicalFile::NoteWrite() {
  FWrittenSinceStamp = true;
  for (THandleEntry& E : Handles) E.WrittenWhileParked = E.WrittenWhileParked || E.Parked;
}

void TPhysicalFile::StampIdle(const struct stat& St) {
  FIdleSize = static_cast<int64_t>(St.st_size);
  FIdleModified = St.st_mtim;
  FIdleChanged = St.st_ctim;
}

bool TPhysicalFile::Activate(bool& Written) {
  Written = true;
  if (Descriptor < 0) return false;
  const short Mode = (Exclusive && !OpenedReadOnly) ? F_WRLCK : F_RDLCK;
  if (!OfdLock(Descriptor, Mode, kOpenModeLockByte, 1)) return false;
  // Checked under the lock, so that nobody replaces the file between the check and the use. The
  // descriptor keeps the old file alive, so its identity (noted when it was opened) cannot pass to
  // a new file meanwhile.
  struct stat Named;
  if (stat(OsPath.c_str(), &Named) != 0 || Named.st_dev != FDevice || Named.st_ino != FInode) {
    OfdLock(Descriptor, F_UNLCK, kOpenModeLockByte, 1);
    return false;
  }
  ExclusiveDescriptor = Mode == F_WRLCK;
  Size = static_cast<int64_t>(Named.st_size);
  auto Same = [](const timespec& A, const timespec& B) { return A.tv_sec == B.tv_sec && A.tv_nsec == B.tv_nsec; };
  Written = FIdleSize != Size || !Same(FIdleModified, Named.st_mtim) || !Same(FIdleChanged, Named.st_ctim);
  if (Written) StampIdle(Named);
  return true;
}

int TPhysicalFile::OpenDescriptor(bool Create) {
  std::string Os = ResolveDiskFileName(FileName);
  int Flags = O_CLOEXEC;
  if (WriteThrough) Flags |= O_DSYNC;
  OpenedReadOnly = false;
  int Fd;
  if (Create) {
    Fd = OpenWithoutAtime(Os, Flags | O_RDWR | O_CREAT, 0666);
    if (Fd < 0) return NegErrno(errno);
  } else {
    struct stat St;
    if (stat(Os.c_str(), &St) != 0) return NegErrno(errno);
    if (S_ISDIR(St.st_mode)) return -ecInvalidPath;
    Fd = ReadOnly ? -1 : OpenWithoutAtime(Os, Flags | O_RDWR);
    if (Fd < 0) {
      int E = errno;
      if (!ReadOnly && E != EACCES && E != EROFS && E != EPERM) return NegErrno(E);
      // No write permission or a read-only mount: the file is read-only for this process.
      Fd = OpenWithoutAtime(Os, Flags | O_RDONLY);
      if (Fd < 0) return NegErrno(errno);
      ReadOnly = true;
      OpenedReadOnly = true;
    }
  }
  // Exclusive openers write-lock the open-mode byte, shared ones read-lock it; a conflict means
  // another process holds the file in a way this open cannot share. A read-only descriptor cannot
  // write-lock and takes the read lock.
  short Mode = (Exclusive && !OpenedReadOnly) ? F_WRLCK : F_RDLCK;
  if (!OfdLock(Fd, Mode, kOpenModeLockByte, 1)) {
    int E = errno;
    close(Fd);
    return (E == EAGAIN || E == EACCES) ? -ecAccessDenied : NegErrno(E);
  }
  if (Create && ftruncate(Fd, 0) != 0) {
    int E = errno;
    close(Fd);
    return NegErrno(E);
  }
  struct stat St;
  if (fstat(Fd, &St) != 0) {
    int E = errno;
    close(Fd);
    return NegErrno(E);
  }
  posix_fadvise(Fd, 0, 0, SequentialAccess ? POSIX_FADV_SEQUENTIAL : POSIX_FADV_RANDOM);
  Descriptor = Fd;
  OsPath = Os;
  ExclusiveDescriptor = Mode == F_WRLCK;
  Size = static_cast<int64_t>(St.st_size);
  FDevice = St.st_dev;
  FInode = St.st_ino;
  FWrittenSinceStamp = true;
  return 0;
}

int TPhysicalFile::CreateFile() {
  std::lock_guard<std::recursive_mutex> G(Lock);
  if (Descriptor >= 0) return -ecAccessDenied;
  DeleteOnClose = false;
  int R = OpenDescriptor(true);
  if (R < 0) return R;
  Size = 0;
  return NewHandle();
}

int TPhysicalFile::Open() {
  std::lock_guard<std::recursive_mutex> G(Lock);
  DropParked(true);
  // An idle descriptor (only parked handles) is used again when it still names the file.
  if (Descriptor >= 0 && ActiveHandles() == 0 && !Wake()) DropParked();
  if (Descriptor < 0) {
    ReadOnly = false;
    int R = OpenDescriptor(false);
    if (R < 0) return R;
    DeleteOnClose = Temporary;
  }
  return NewHandle();
}

int TPhysicalFile::Close(int Number) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  int R = TAbstractFile::Close(Number);
  if (R < 0) return R;
  if (HandleCount == 0) {
    if (DeleteOnClose) unlink(ResolveDiskFileName(FileName).c_str());
    CloseDescriptor();
    DeleteOnClose = false;
  }
  return 0;
}

int TPhysicalFile::Rename(const std::string& NewName) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  if (HandleCount > 0) return -ecAccessDenied;
  std::string From = ResolveDiskFileName(FileName);
  std::string To = OsFileName(Slashes(Trim(NewName)));
  // Never replace an existing file: a rename onto another table's file would destroy it.
  if (renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) != 0) {
    int E = errno;
    if (E != EINVAL && E != ENOSYS) return NegErrno(E);
    struct stat St;
    if (stat(To.c_str(), &St) == 0) return -ecUnknownOSError;
    if (rename(From.c_str(), To.c_str()) != 0) return NegErrno(errno);
  }
  FileName = Trim(NewName);
  SetListKey(ListKeyOf(FileName, false));
  return 0;
}

int TPhysicalFile::Delete() {
  std::lock_guard<std::recursive_mutex> G(Lock);
  if (HandleCount > 0) return -ecAccessDenied;
  if (unlink(ResolveDiskFileName(FileName).c_str()) != 0) return NegErrno(errno);
  return 0;
}

int64_t TPhysicalFile::Read(int Number, void* Buffer, int64_t Count) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  int64_t* Pos = PositionOf(Number);
  if (!Pos || Descriptor < 0) return -ecInvalidFileHandle;
  int64_t Done = 0;
  char* B = static_cast<char*>(Buffer);
  while (Done < Count) {
    ssize_t N = pread(Descriptor, B + Done, static_cast<size_t>(Count - Done), static_cast<off_t>(*Pos + Done));
    if (N < 0) {
      if (errno == EINTR) continue;
      if (Done > 0) break;
      return NegErrno(errno);
    }
    if (N == 0) break;
    Done += N;
  }
  *Pos += Done;
  return Done;
}

int64_t TPhysicalFile::Write(int Number, const void* Buffer, int64_t Count) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  int64_t* Pos = PositionOf(Number);
  if (!Pos || Descriptor < 0) return -ecInvalidFileHandle;
  if (OpenedReadOnly) return -ecAccessDenied;
  NoteWrite();
  int R = DiskWrite(Descriptor, Buffer, Count, *Pos, FileName.c_str());
  if (R < 0) return NegErrno(-R);
  *Pos += Count;
  if (*Pos > Size) Size = *Pos;
  return Count;
}

int64_t TPhysicalFile::GetSize() {
  std::lock_guard<std::recursive_mutex> G(Lock);
  struct stat St;
  if (Descriptor >= 0 && fstat(Descriptor, &St) == 0) Size = St.st_size;
  return Size;
}

int64_t TPhysicalFile::Seek(int Number, int64_t Offset, int Origin) { return TAbstractFile::Seek(Number, Offset, Origin); }

int TPhysicalFile::Truncate(int Number) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  int64_t* Pos = PositionOf(Number);
  if (!Pos || Descriptor < 0) return -ecInvalidFileHandle;
  if (OpenedReadOnly) return -ecAccessDenied;
  NoteWrite();
  if (ftruncate(Descriptor, static_cast<off_t>(*Pos)) != 0) return NegErrno(errno);
  Size = *Pos;
  return 0;
}

int TPhysicalFile::Flush() {
  std::lock_guard<std::recursive_mutex> G(Lock);
  if (Descriptor < 0) return -ecInvalidFileHandle;
  if (OpenedReadOnly) return 0;
  int R = DiskSync(Descriptor, FileName.c_str());
  return R < 0 ? NegErrno(-R) : 0;
}

bool TPhysicalFile::LockRange(int64_t First, int64_t Length, int Owner) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  if (Descriptor < 0 || Length < 1 || First < 0 || Overlaps(First, Length)) return false;
  // A range over the open-mode byte would merge with (and later release) that byte's lock.
  if (First <= kOpenModeLockByte && First + Length - 1 >= kOpenModeLockByte) return false;
  // A read-only descriptor cannot hold write locks; such files are only read and need none.
  if (!OpenedReadOnly && !ExclusiveDescriptor && !OfdLock(Descriptor, F_WRLCK, First, Length)) return false;
  AddRange(First, Length, Owner);
  return true;
}

bool TPhysicalFile::UnlockRange(int64_t First, int64_t Length, int Owner) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  auto I = FindRange(First, Length, Owner);
  if (I == LockRanges.end()) return false;
  if (Descriptor >= 0 && !OpenedReadOnly && !ExclusiveDescriptor) OfdLock(Descriptor, F_UNLCK, First, Length);
  LockRanges.erase(I);
  return true;
}

void TPhysicalFile::ReleaseRun(int64_t First, int64_t Last) {
  if (Descriptor >= 0 && !OpenedReadOnly && !ExclusiveDescriptor) OfdLock(Descriptor, F_UNLCK, First, Last - First + 1);
}

// ---- TMemoryFile -------------------------------------------------------------------------------

TMemoryFile::~TMemoryFile() { EngineFree(Contents); }

int TMemoryFile::CreateFile() {
  std::lock_guard<std::recursive_mutex> G(Lock);
  EngineFree(Contents);
  ContentsCapacity = 0;
  Size = 0;
  return NewHandle();
}

int TMemoryFile::Open() {
  std::lock_guard<std::recursive_mutex> G(Lock);
  return NewHandle();
}

int TMemoryFile::Rename(const std::string& NewName) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  if (HandleCount > 0) return -ecAccessDenied;
  FileName = Trim(NewName);
  SetListKey(ListKeyOf(FileName, true));
  return 0;
}

int TMemoryFile::Delete() {
  std::lock_guard<std::recursive_mutex> G(Lock);
  if (HandleCount > 0) return -ecAccessDenied;
  EngineFree(Contents);
  ContentsCapacity = 0;
  Size = 0;
  return 0;
}

void TMemoryFile::Reserve(int64_t End) {
  if (End <= ContentsCapacity) return;
  const intptr_t Want = std::max<intptr_t>(static_cast<intptr_t>(End), 2 * ContentsCapacity);
  ReserveBuffer(std::min<intptr_t>(Want, kMaxMemoryFileSize), kMemoryPage, Contents, ContentsCapacity);
}

int64_t TMemoryFile::Read(int Number, void* Buffer, int64_t Count) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  int64_t* Pos = PositionOf(Number);
  if (!Pos) return -ecInvalidFileHandle;
  if (Count <= 0 || *Pos >= Size) return 0;
  int64_t N = std::min(Count, Size - *Pos);
  memcpy(Buffer, Contents + *Pos, static_cast<size_t>(N));
  *Pos += N;
  return N;
}

int64_t TMemoryFile::Write(int Number, const void* Buffer, int64_t Count) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  int64_t* Pos = PositionOf(Number);
  if (!Pos) return -ecInvalidFileHandle;
  if (Count <= 0) return 0;
  int64_t End = *Pos + Count;
  if (End > kMaxMemoryFileSize) return -ecInvalidMemoryLength;
  Reserve(End);
  // Bytes between the old end and a position beyond it read back as zero.
  if (*Pos > Size) memset(Contents + Size, 0, static_cast<size_t>(*Pos - Size));
  memcpy(Contents + *Pos, Buffer, static_cast<size_t>(Count));
  *Pos = End;
  if (End > Size) Size = End;
  return Count;
}

int TMemoryFile::Truncate(int Number) {
  std::lock_guard<std::recursive_mutex> G(Lock);
  int64_t* Pos = PositionOf(Number);
  if (!Pos) return -ecInvalidFileHandle;
  if (*Pos > kMaxMemoryFileSize) return -ecInvalidMemoryLength;
  if (*Pos > Size) {
    Reserve(*Pos);
    memset(Contents + Size, 0, static_cast<size_t>(*Pos - Size));
  }
  Size = *Pos;
  return 0;
}

// ---- TFileList ---------------------------------------------------------------------------------

TFileList::~TFileList() {
  for (TAbstractFile* F : FFiles) delete F;
}

int TFileList::Count() {
  std::lock_guard<std::recursive_mutex> G(FLock);
  return static_cast<int>(FFiles.size());
}

int TFileList::IndexOf(const std::string& Name, bool InMemory) {
  std::string Key = ListKeyOf(Name, InMemory);
  const size_t Hash = AnsiTextHash(Key);
  for (size_t I = 0; I < FFiles.size(); ++I)
    if (FFiles[I]->ListHash == Hash && FFiles[I]->IsMemoryFile() == InMemory && SameKey(FFiles[I]->ListKey, Key))
      return static_cast<int>(I);
  return -1;
}

TAbstractFile* TFileList::Listed(TAbstractFile* FileObject, uint64_t Serial) {
  auto It = std::find(FFiles.begin(), FFiles.end(), FileObject);
  return It != FFiles.end() && (*It)->Serial == Serial ? *It : nullptr;
}

void TFileList::HoldIdleFiles() {
  std::lock_guard<std::mutex> G(FDeferredLock);
  ++FIdleHolds;
}

bool TFileList::DeferIdle(TAbstractFile* F) {
  // The deferred list's lock is taken last, inside any other: the hold cannot end between the look
  // at it and the file's entry.
  std::lock_guard<std::mutex> G(FDeferredLock);
  if (FIdleHolds == 0) return false;
  F->IdleDeferred = true;
  FDeferred.emplace_back(F, F->Serial);
  return true;
}

void TFileList::ReleaseIdleFiles() {
  std::vector<std::pair<TAbstractFile*, uint64_t>> Deferred;
  {
    std::lock_guard<std::mutex> G(FDeferredLock);
    if (--FIdleHolds > 0) return;
    Deferred.swap(FDeferred);
  }
  std::lock_guard<std::recursive_mutex> G(FLock);
  for (const auto& [Object, Serial] : Deferred) {
    TAbstractFile* F = Listed(Object, Serial);
    if (F == nullptr) continue;
    std::lock_guard<std::recursive_mutex> FG(F->Lock);
    if (!F->IdleDeferred) continue;
    F->IdleDeferred = false;
    if (F->HandleCount > 0 && F->ActiveHandles() == 0) F->Idle();
  }
}

void TFileList::YieldParked(TAbstractFile* F) {
  std::lock_guard<std::recursive_mutex> FG(F->Lock);
  F->DropParked(true);
  if (F->ParkedCount > 0 && F->ActiveHandles() == 0) F->DropParked();
}

int TFileList::FilePark(TAbstractFile* FileObject, int Handle) {
  std::lock_guard<std::recursive_mutex> G(FLock);
  if (std::find(FFiles.begin(), FFiles.end(), FileObject) == FFiles.end()) return -ecInvalidPath;
  if (FileObject->Temporary) return -ecAccessDenied;
  return FileObject->Park(Handle);
}

int TFileList::FileUnpark(TAbstractFile* FileObject, uint64_t Serial, int Handle) {
  std::lock_guard<std::recursive_mutex> G(FLock);
  TAbstractFile* F = Listed(FileObject, Serial);
  return F != nullptr ? F->Unpark(Handle) : -ecInvalidPath;
}

int TFileList::FileCloseParked(TAbstractFile* FileObject, uint64_t Serial, int Handle) {
  std::lock_guard<std::recursive_mutex> G(FLock);
  TAbstractFile* F = Listed(FileObject, Serial);
  if (F == nullptr) return 0;
  std::lock_guard<std::recursive_mutex> FG(F->Lock);
  int I = F->FindHandle(Handle);
  if (I < 0 || !F->Handles[static_cast<size_t>(I)].Parked) return 0;
  return F->Close(Handle);
}

int TFileList::FileCreate(const std::string& Name, bool InMemory, bool Temporary, TAbstractFile*& FileObject) {
  std::lock_guard<std::recursive_mutex> G(FLock);
  FileObject = nullptr;
  if (ExtractFileBaseName(Slashes(Trim(Name))).empty()) return -ecInvalidPath;
  int I = IndexOf(Name, InMemory);
  TAbstractFile* F;
  if (I >= 0) {
    F = FFiles[static_cast<size_t>(I)];
    YieldParked(F);
    if (F->HandleCount > 0) return -ecAccessDenied;
  } else {
    if (InMemory)
      F = new TMemoryFile(Name);
    else
      F = new TPhysicalFile(Name);
    F->SetListKey(ListKeyOf(Name, InMemory));
    FFiles.push_back(F);
  }
  std::lock_guard<std::recursive_mutex> FG(F->Lock);
  F->Exclusive = true;
  // A created temporary disk file stays on disk after this handle closes and goes when a handle
  // opened as temporary closes; a memory file keeps its contents the same way until it is opened.
  F->Temporary = Temporary && !InMemory;
  F->WriteThrough = false;
  F->SequentialAccess = false;
  int R = F->CreateFile();
  if (R >= 0) {
    FileObject = F;
    // A created name may now resolve differently (it exists); keep the key in step.
    F->SetListKey(ListKeyOf(F->FileName, InMemory));
  }
  return R;
}

int TFileList::FileOpen(const std::string& Name, bool InMemory, bool SequentialAccess, bool WriteThrough,
                        bool Temporary, bool Exclusive, bool& OpenedReadOnly, TAbstractFile*& FileObject) {
  std::lock_guard<std::recursive_mutex> G(FLock);
  FileObject = nullptr;
  OpenedReadOnly = false;
  int I = IndexOf(Name, InMemory);
  TAbstractFile* F;
  if (I >= 0) {
    F = FFiles[static_cast<size_t>(I)];
    std::lock_guard<std::recursive_mutex> FG(F->Lock);
    F->DropParked(true);
    // Parked handles make way for an open that cannot share with them or wants other options.
    if (F->ParkedCount > 0 && F->ActiveHandles() == 0 &&
        (F->Exclusive || Exclusive || F->WriteThrough != WriteThrough || F->SequentialAccess != SequentialAccess ||
         F->Temporary != Temporary))
      F->DropParked();
    if (F->HandleCount > 0) {
      if (F->Exclusive || Exclusive) return -ecAccessDenied;
    } else {
      F->Exclusive = Exclusive;
      F->SequentialAccess = SequentialAccess;
      F->WriteThrough = WriteThrough;
      F->Temporary = Temporary;
    }
  } else {
    if (InMemory) return -ecInvalidPath;
    F = new TPhysicalFile(Name);
    F->SetListKey(ListKeyOf(Name, false));
    F->Exclusive = Exclusive;
    F->SequentialAccess = SequentialAccess;
    F->WriteThrough = WriteThrough;
    F->Temporary = Temporary;
    FFiles.push_back(F);
  }
  std::lock_guard<std::recursive_mutex> FG(F->Lock);
  int R = F->Open();
  OpenedReadOnly = F->OpenedReadOnly;
  if (R >= 0) FileObject = F;
  return R;
}

int TFileList::FileClose(TAbstractFile* FileObject, bool InMemory, int Handle) {
  std::lock_guard<std::recursive_mutex> G(FLock);
  auto It = std::find(FFiles.begin(), FFiles.end(), FileObject);
  if (It == FFiles.end() || FileObject->HandleCount == 0) return -ecInvalidPath;
  (void)InMemory;
  int R = FileObject->Close(Handle);
  if (R < 0) return R;
  if (FileObject->HandleCount == 0 && FileObject->Temporary) {
    FFiles.erase(It);
    delete FileObject;
  }
  return 0;
}

int TFileList::FileRename(const std::string& Name, bool InMemory, const std::string& NewName) {
  std::lock_guard<std::recursive_mutex> G(FLock);
  int I = IndexOf(Name, InMemory);
  if (I >= 0) {
    TAbstractFile* F = FFiles[static_cast<size_t>(I)];
    YieldParked(F);
    if (F->HandleCount > 0) return -ecAccessDenied;
    if (InMemory && IndexOf(NewName, true) >= 0) return -ecAccessDenied;
    return F->Rename(NewName);
  }
  if (InMemory) return -ecInvalidPath;
  TPhysicalFile Tmp(Name);
  return Tmp.Rename(NewName);
}

int TFileList::FileDelete(const std::string& Name, bool InMemory) {
  std::lock_guard<std::recursive_mutex> G(FLock);
  int I = IndexOf(Name, InMemory);
  if (I >= 0) {
    TAbstractFile* F = FFiles[static_cast<size_t>(I)];
    YieldParked(F);
    if (F->HandleCount > 0) return -ecAccessDenied;
    FFiles.erase(FFiles.begin() + I);
    int R = F->Delete();
    delete F;
    return R;
  }
  if (InMemory) return -ecInvalidPath;
  TPhysicalFile Tmp(Name);
  return Tmp.Delete();
}

bool TFileList::FileExists(const std::string& Name, bool InMemory) {
  std::lock_guard<std::recursive_mutex> G(FLock);
  if (IndexOf(Name, InMemory) >= 0) return true;
  if (InMemory) return false;
  struct stat St;
  return stat(ResolveDiskFileName(Name).c_str(), &St) == 0 && !S_ISDIR(St.st_mode);
}

int TFileList::FileCopyTo(TAbstractFile* FileObject, int Handle, const std::string& DestName, bool InMemory) {
  std::lock_guard<std::recursive_mutex> G(FLock);
  TAbstractFile* Dest = nullptr;
  int DH = FileCreate(DestName, InMemory, false, Dest);
  if (DH < 0) return DH;
  std::unique_ptr<uint8_t, void (*)(uint8_t*)> Buf(static_cast<uint8_t*>(EngineAlloc(kCopyChunk)),
                                                   [](uint8_t* P) { EngineFree(P); });
  int R = 0;
  int64_t Pos = FileObject->Seek(Handle, 0, 0);
  if (Pos < 0) R = static_cast<int>(Pos);
  while (R == 0) {
    int64_t N = FileObject->Read(Handle, Buf.get(), kCopyChunk);
    if (N < 0) R = static_cast<int>(N);
    if (N <= 0) break;
    int64_t W = Dest->Write(DH, Buf.get(), N);
    if (W < 0) R = static_cast<int>(W);
    else if (W != N) R = -ecWriteError;
  }
  int C = FileClose(Dest, InMemory, DH);
  return R < 0 ? R : C;
}

int TFileList::FileCopyFrom(TAbstractFile* FileObject, int Handle, const std::string& SourceName, bool InMemory) {
  std::lock_guard<std::recursive_mutex> G(FLock);
  TAbstractFile* Source = nullptr;
  bool RO = false;
  int SH = FileOpen(SourceName, InMemory, true, false, false, true, RO, Source);
  if (SH < 0) return SH;
  std::unique_ptr<uint8_t, void (*)(uint8_t*)> Buf(static_cast<uint8_t*>(EngineAlloc(kCopyChunk)),
                                                   [](uint8_t* P) { EngineFree(P); });
  int R = 0;
  int64_t Pos = FileObject->Seek(Handle, 0, 0);
  if (Pos < 0) R = static_cast<int>(Pos);
  while (R == 0) {
    int64_t N = Source->Read(SH, Buf.get(), kCopyChunk);
    if (N < 0) R = static_cast<int>(N);
    if (N <= 0) break;
    int64_t W = FileObject->Write(Handle, Buf.get(), N);
    if (W < 0) R = static_cast<int>(W);
    else if (W != N) R = -ecWriteError;
  }
  // A longer old file must not keep its tail behind the copied contents.
  if (R == 0) R = FileObject->Truncate(Handle);
  int C = FileClose(Source, InMemory, SH);
  return R < 0 ? R : C;
}

// ---- Disk writes, syncs and their faults --------------------------------------------------------

namespace {

std::atomic<TDiskFaultHook> GDiskFaultHook{nullptr};

// What the power-cut simulation keeps: the bytes a write replaced and the file's size before it.
// A sync through any descriptor of the file makes them durable.
struct TUnsynced {
  int Fd;
  dev_t Dev;
  ino_t Ino;
  int64_t Offset;
  int64_t SizeBefore;
  std::vector<uint8_t> Old;
};
struct TPowerCut {
  std::mutex Lock;
  bool On = false;
  std::vector<TUnsynced> Writes;
  std::vector<std::string> Created;
};
TPowerCut& PowerCut() {
  static TPowerCut* P = new TPowerCut;  // lives until the process ends
  return *P;
}

int Fault(TDiskOp Op, const char* Path) {
  TDiskFaultHook H = GDiskFaultHook.load();
  return H != nullptr ? H(Op, Path != nullptr ? Path : "") : 0;
}

}  // namespace

void SetDiskFaultHook(TDiskFaultHook Hook) { GDiskFaultHook.store(Hook); }

namespace {
std::atomic<int> GDiskSyncs{-1};
}

void SetDiskSyncs(bool On) { GDiskSyncs.store(On ? 1 : 0); }

bool DiskSyncs() {
  int S = GDiskSyncs.load();
  if (S < 0) {
    const char* E = getenv("VXDB_SYNC");
    S = (E != nullptr && strcasecmp(E, "off") == 0) ? 0 : 1;
    GDiskSyncs.store(S);
  }
  return S != 0;
}

int DiskWrite(int Fd, const void* Buffer, int64_t Count, int64_t Offset, const char* Path) {
  if (int R = Fault(TDiskOp::Write, Path); R < 0) return R;
  TPowerCut& P = PowerCut();
  {
    std::lock_guard<std::mutex> G(P.Lock);
    if (P.On) {
      struct stat St;
      if (fstat(Fd, &St) != 0) St = {};
      TUnsynced U{Fd, St.st_dev, St.st_ino, Offset, static_cast<int64_t>(St.st_size), {}};
      int64_t Keep = std::max<int64_t>(0, std::min<int64_t>(Count, U.SizeBefore - Offset));
      U.Old.resize(static_cast<size_t>(Keep));
      if (Keep > 0 && pread(Fd, U.Old.data(), static_cast<size_t>(Keep), static_cast<off_t>(Offset)) != Keep)
        U.Old.clear();
      P.Writes.push_back(std::move(U));
    }
  }
  int64_t Done = 0;
  const char* B = static_cast<const char*>(Buffer);
  while (Done < Count) {
    ssize_t N = pwrite(Fd, B + Done, static_cast<size_t>(Count - Done), static_cast<off_t>(Offset + Done));
    if (N < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (N == 0) return -EIO;
    Done += N;
  }
  return 0;
}

int DiskSync(int Fd, const char* Path) {
  if (int R = Fault(TDiskOp::Sync, Path); R < 0) return R;
  // The data and what reading it back needs (the size); times are not worth a journal commit.
  if (DiskSyncs() && fdatasync(Fd) != 0) return -errno;
  TPowerCut& P = PowerCut();
  std::lock_guard<std::mutex> G(P.Lock);
  struct stat St;
  if (P.On && fstat(Fd, &St) == 0)
    P.Writes.erase(std::remove_if(P.Writes.begin(), P.Writes.end(),
                                  [&](const TUnsynced& U) { return U.Dev == St.st_dev && U.Ino == St.st_ino; }),
                   P.Writes.end());
  return 0;
}

int DiskSyncDirectory(const std::string& Dir) {
  std::string D = Dir.empty() ? std::string(".") : Dir;
  int R = Fault(TDiskOp::Sync, D.c_str());
  if (R < 0) return R;
  if (DiskSyncs()) {
    int Fd = open(D.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Fd < 0) return -errno;
    if (fsync(Fd) != 0) R = -errno;
    close(Fd);
    if (R < 0) return R;
  }
  TPowerCut& P = PowerCut();
  std::lock_guard<std::mutex> G(P.Lock);
  if (P.On) {
    std::string Prefix = D;
    if (Prefix.back() != '/') Prefix += '/';
    P.Created.erase(std::remove_if(P.Created.begin(), P.Created.end(),
                                   [&](const std::string& F) { return F.compare(0, Prefix.size(), Prefix) == 0; }),
                    P.Created.end());
  }
  return 0;
}

void KeepUnsyncedWrites(bool On) {
  TPowerCut& P = PowerCut();
  std::lock_guard<std::mutex> G(P.Lock);
  P.On = On;
  P.Writes.clear();
  P.Created.clear();
}

void NoteFileCreated(const std::string& Path) {
  TPowerCut& P = PowerCut();
  std::lock_guard<std::mutex> G(P.Lock);
  if (P.On) P.Created.push_back(Path);
}

void DropUnsyncedWrites() {
  TPowerCut& P = PowerCut();
  std::lock_guard<std::mutex> G(P.Lock);
  for (auto It = P.Writes.rbegin(); It != P.Writes.rend(); ++It) {
    if (!It->Old.empty() && pwrite(It->Fd, It->Old.data(), It->Old.size(), static_cast<off_t>(It->Offset)) < 0) continue;
    struct stat St;
    if (fstat(It->Fd, &St) == 0 && St.st_size > It->SizeBefore && ftruncate(It->Fd, It->SizeBefore) != 0) continue;
  }
  for (const std::string& F : P.Created) unlink(F.c_str());
  P.Writes.clear();
  P.Created.clear();
}

TFileList& EngineFileList() {
  static TFileList* List = new TFileList;  // lives until the process ends
  return *List;
}

// ---- TFileHandler ------------------------------------------------------------------------------

TFileHandler::~TFileHandler() {
  if (Parked)
    EngineFileList().FileCloseParked(FileObject, FParkedSerial, Handle);
  else if (Opened && FileObject)
    EngineFileList().FileClose(FileObject, InMemory, Handle);
}

void TFileHandler::Fail(int NegatedCode) { RaiseEngineError(static_cast<uint16_t>(-NegatedCode), OwnName()); }

std::string TFileHandler::OwnName() const {
  if (TableName.empty()) return FileName;
  size_t S = FileName.find_last_of("/\\");
  std::string Own = S == std::string::npos ? FileName : FileName.substr(S + 1);
  size_t A = Own.rfind('.'), B = TableName.rfind('.');
  if (A == std::string::npos || B == std::string::npos) return TableName;
  if (!AnsiSameText(Own.substr(0, A), TableName.substr(0, B)) || AnsiSameText(Own.substr(A), TableName.substr(B)))
    return TableName;
  return Own;
}

bool TFileHandler::AboutTheFile(uint16_t Code) {
  switch (Code) {
    case ecHeaderCorrupt:
    case ecRecordsCorrupt:
    case ecBlobsCorrupt:
    case ecIndexCorrupt:
    case ecReadError:
    case ecWriteError:
    case ecWrongVersion:
    case ecTableFull:
    case ecInvalidBlobLength:
    case ecEndOfBlob:
      return true;
    default:
      return false;
  }
}

void TFileHandler::Open() {
  if (Opened) return;
  if (Parked) Close();
  if (!Exists()) Fail(-ecInvalidPath);
  TAbstractFile* F = nullptr;
  bool RO = false;
  int R = EngineFileList().FileOpen(FileName, InMemory, SequentialAccess, WriteThrough, Temporary, Exclusive, RO, F);
  if (R < 0) Fail(R);
  FileObject = F;
  Handle = R;
  OpenedReadOnly = RO;
  Opened = true;
  LogChecked = false;
}

void TFileHandler::Close() {
  if (Parked)
    EngineFileList().FileCloseParked(FileObject, FParkedSerial, Handle);
  else if (FileObject)
    EngineFileList().FileClose(FileObject, InMemory, Handle);
  FileObject = nullptr;
  Handle = 0;
  Opened = false;
  Parked = false;
  LogChecked = false;
}

bool TFileHandler::Park() {
  if (!Opened || !FileObject || FGathering || Parked) return false;
  if (EngineFileList().FilePark(FileObject, Handle) < 0) return false;
  FParkedSerial = FileObject->Serial;
  Parked = true;
  WrittenWhileParked = false;
  Opened = false;
  return true;
}

bool TFileHandler::Unpark() {
  if (!Parked) return false;
  const int R = EngineFileList().FileUnpark(FileObject, FParkedSerial, Handle);
  WrittenWhileParked = R != 0;
  if (R < 0) {
    // Dropped meanwhile (or the file was replaced): nothing of it is held any more.
    Parked = false;
    FileObject = nullptr;
    Handle = 0;
    return false;
  }
  Parked = false;
  Opened = true;
  return true;
}

void TFileHandler::CreateFile() {
  if (Guard != nullptr) Guard->BeforeUnloggedChange(*this);
  Close();
  TAbstractFile* F = nullptr;
  int R = EngineFileList().FileCreate(FileName, InMemory, Temporary, F);
  if (R < 0) Fail(R);
  FileObject = F;
  Handle = R;
  OpenedReadOnly = false;
  Opened = true;
}

void TFileHandler::Delete() {
  if (Guard != nullptr) Guard->BeforeUnloggedChange(*this);
  int R = EngineFileList().FileDelete(FileName, InMemory);
  if (R < 0) Fail(R);
}

void TFileHandler::Rename(const std::string& NewName) {
  if (Guard != nullptr) Guard->BeforeUnloggedChange(*this);
  int R = EngineFileList().FileRename(FileName, InMemory, NewName);
  if (R < 0) Fail(R);
  FileName = NewName;
}

void TFileHandler::CopyTo(const std::string& DestName) {
  if (!Opened || !FileObject) return;
  int R = EngineFileList().FileCopyTo(FileObject, Handle, DestName, InMemory);
  if (R < 0) Fail(R);
}

void TFileHandler::CopyFrom(const std::string& SourceName) {
  if (!Opened || !FileObject) return;
  if (Guard != nullptr) Guard->BeforeUnloggedChange(*this);
  int R = EngineFileList().FileCopyFrom(FileObject, Handle, SourceName, InMemory);
  if (R < 0) Fail(R);
}

int64_t TFileHandler::Read(void* Buffer, int64_t Count, bool AllowShort) {
  if (!FileObject) Fail(-ecReadError);
  int64_t N = FileObject->Read(Handle, Buffer, Count);
  if (N < 0 || (N < Count && !AllowShort)) Fail(-ecReadError);
  return N;
}

void TFileHandler::Write(const void* Buffer, int64_t Count) {
  if (!FileObject) Fail(-ecWriteError);
  if (Count <= 0) return;
  if (!FGathering && Guard != nullptr) Guard->BeforeUnloggedChange(*this);
  if (FGathering) {
    std::lock_guard<std::recursive_mutex> G(FileObject->Lock);
    int64_t Pos = FileObject->Seek(Handle, 0, 1);
    if (Pos < 0) Fail(-ecWriteError);
    Gather(Pos, Buffer, Count, false);
    FileObject->Seek(Handle, Pos + Count, 0);
    return;
  }
  int64_t N = FileObject->Write(Handle, Buffer, Count);
  if (N != Count) Fail(-ecWriteError);
}

int64_t TFileHandler::ReadAt(int64_t Offset, void* Buffer, int64_t Count, bool AllowShort) {
  if (!FileObject) Fail(-ecReadError);
  std::lock_guard<std::recursive_mutex> G(FileObject->Lock);
  if (FileObject->Seek(Handle, Offset, 0) < 0) Fail(-ecReadError);
  if (!FGathering || FGathered.empty()) return Read(Buffer, Count, AllowShort);
  int64_t N = GatheredRead(Offset, Buffer, Count);
  if (N < Count && !AllowShort) Fail(-ecReadError);
  return N;
}

void TFileHandler::WriteAt(int64_t Offset, const void* Buffer, int64_t Count) {
  if (!FileObject) Fail(-ecWriteError);
  std::lock_guard<std::recursive_mutex> G(FileObject->Lock);
  if (FileObject->Seek(Handle, Offset, 0) < 0) Fail(-ecWriteError);
  Write(Buffer, Count);
}

int64_t TFileHandler::Seek(int64_t Offset, int Origin) {
  if (!FileObject) return 0;
  int64_t R = FileObject->Seek(Handle, Offset, Origin);
  if (R < 0) Fail(static_cast<int>(R));
  return R;
}

int64_t TFileHandler::GetSize() {
  if (!FileObject) return 0;
  if (FGathering && !FGathered.empty()) return FGatheredSize;
  return FileObject->GetSize();
}

void TFileHandler::Truncate() {
  if (!FileObject) Fail(-ecWriteError);
  if (FGathering) {
    int64_t Pos = FileObject->Seek(Handle, 0, 1);
    if (Pos < 0) Fail(-ecWriteError);
    Gather(Pos, nullptr, 0, true);
    return;
  }
  if (Guard != nullptr) Guard->BeforeUnloggedChange(*this);
  int R = FileObject->Truncate(Handle);
  if (R < 0) Fail(-ecWriteError);
}

void TFileHandler::Flush() {
  if (!FileObject) return;
  int R = FileObject->Flush();
  if (R < 0) Fail(R);
}

bool TFileHandler::LockBytes(int64_t First, int64_t Length, bool Lock) {
  if (!FileObject) return false;
  return Lock ? FileObject->LockRange(First, Length, Handle) : FileObject->UnlockRange(First, Length, Handle);
}

bool TFileHandler::UnlockByteList(std::vector<int64_t> Bytes) {
  if (!FileObject) return false;
  return FileObject->UnlockBytes(std::move(Bytes), Handle);
}

bool TFileHandler::Exists() { return EngineFileList().FileExists(FileName, InMemory); }

// ---- Gathered changes ------------------------------------------------------------------------------

void TFileHandler::BeginGather() {
  FGathering = true;
  FGathered.clear();
  FSizeBefore = -1;
}

void TFileHandler::EndGather() {
  FGathering = false;
  FGathered.clear();
  FGathered.shrink_to_fit();
  FSizeBefore = -1;
}

void TFileHandler::Gather(int64_t Offset, const void* Buffer, int64_t Count, bool Truncate) {
  if (FGathered.empty()) {
    FSizeBefore = FileObject->GetSize();
    FGatheredSize = FSizeBefore;
  }
  // A write right behind the previous one extends it (runs of records and pages come in pieces).
  if (!Truncate && !FGathered.empty()) {
    TGathered& Last = FGathered.back();
    if (!Last.Truncate && Last.Offset + static_cast<int64_t>(Last.Bytes.size()) == Offset) {
      const uint8_t* B = static_cast<const uint8_t*>(Buffer);
      Last.Bytes.insert(Last.Bytes.end(), B, B + Count);
      FGatheredSize = std::max(FGatheredSize, Offset + Count);
      return;
    }
  }
  TGathered G{Offset, {}, Truncate};
  if (!Truncate) {
    const uint8_t* B = static_cast<const uint8_t*>(Buffer);
    G.Bytes.assign(B, B + Count);
    FGatheredSize = std::max(FGatheredSize, Offset + Count);
  } else {
    FGatheredSize = Offset;
  }
  FGathered.push_back(std::move(G));
}

int64_t TFileHandler::GatheredRead(int64_t Offset, void* Buffer, int64_t Count) {
  uint8_t* B = static_cast<uint8_t*>(Buffer);
  int64_t Disk = FileObject->Read(Handle, B, Count);
  if (Disk < 0) Fail(-ecReadError);
  // The file as the gathered changes leave it: each one in turn over what the disk holds.
  int64_t End = Offset + Disk;
  for (const TGathered& G : FGathered) {
    if (G.Truncate) {
      if (G.Offset < End) End = std::max(Offset, G.Offset);
      continue;
    }
    int64_t GEnd = G.Offset + static_cast<int64_t>(G.Bytes.size());
    int64_t From = std::max(Offset, G.Offset), To = std::min(Offset + Count, GEnd);
    if (From >= To) continue;
    // Bytes between the current end and the write read as zeros (the file grows over a hole).
    if (From > End) std::memset(B + (End - Offset), 0, static_cast<size_t>(From - End));
    std::memcpy(B + (From - Offset), G.Bytes.data() + (From - G.Offset), static_cast<size_t>(To - From));
    End = std::max(End, To);
  }
  int64_t N = std::min(End, FGatheredSize) - Offset;
  if (N < 0) N = 0;
  FileObject->Seek(Handle, Offset + N, 0);
  return N;
}

void TFileHandler::ApplyGathered(size_t& Begun) {
  if (!FileObject) Fail(-ecWriteError);
  std::lock_guard<std::recursive_mutex> G(FileObject->Lock);
  for (const TGathered& W : FGathered) {
    ++Begun;
    if (FileObject->Seek(Handle, W.Offset, 0) < 0) Fail(-ecWriteError);
    if (W.Truncate) {
      int R = FileObject->Truncate(Handle);
      if (R < 0) Fail(R);
      continue;
    }
    int64_t N = FileObject->Write(Handle, W.Bytes.data(), static_cast<int64_t>(W.Bytes.size()));
    if (N < 0) Fail(static_cast<int>(N));
    if (N != static_cast<int64_t>(W.Bytes.size())) Fail(-ecWriteError);
  }
}
