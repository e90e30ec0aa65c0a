#include "dbengine/storage/journal.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <thread>

#include "dbengine/storage/data_table.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/table_file_owner.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"

namespace {

constexpr char kMagic[8] = {'V', 'X', 'J', 'R', 'N', 'L', '1', 0};
constexpr char kEndMagic[8] = {'V', 'X', 'J', 'E', 'N', 'D', 0, 0};
constexpr uint8_t kWriteRecord = 1;
constexpr uint8_t kSizeRecord = 2;
constexpr uint8_t kTrailer = 0xFF;
constexpr int kTrailerSize = 1 + 4 + 8 + 4 + 8;
constexpr int64_t kJournalLockByte = 0x7FFFFFFF;
// Tries of the journal lock, 3 ms apart (as long as the table locks wait).
constexpr int kJournalLockTries = 8193;

uint32_t Crc32(const uint8_t* P, size_t N, uint32_t Crc = 0) {
  static const std::array<uint32_t, 256> Table = [] {
    std::array<uint32_t, 256> T{};
    for (uint32_t I = 0; I < 256; ++I) {
      uint32_t C = I;
      for (int K = 0; K < 8; ++K) C = (C & 1) ? 0xEDB88320u ^ (C >> 1) : C >> 1;
      T[I] = C;
    }
    return T;
  }();
  Crc = ~Crc;
  for (size_t I = 0; I < N; ++I) Crc = Table[(Crc ^ P[I]) & 0xFF] ^ (Crc >> 8);
  return ~Crc;
}

void Put16(std::vector<uint8_t>& B, uint16_t V) {
  B.push_back(static_cast<uint8_t>(V));
  B.push_back(static_cast<uint8_t>(V >> 8));
}
void Put32(std::vector<uint8_t>& B, uint32_t V) {
  for (int I = 0; I < 4; ++I) B.push_back(static_cast<uint8_t>(V >> (8 * I)));
}
void Put64(std::vector<uint8_t>& B, uint64_t V) {
  for (int I = 0; I < 8; ++I) B.push_back(static_cast<uint8_t>(V >> (8 * I)));
}
uint64_t Load64(const uint8_t* P) { return static_cast<uint64_t>(LoadU32(P)) | static_cast<uint64_t>(LoadU32(P + 4)) << 32; }

struct TRecord {
  uint8_t Kind;
  uint16_t File;
  uint64_t Offset;
  const uint8_t* Bytes;
  uint32_t Length;
};

struct TParsed {
  bool HeaderValid = false;
  bool Complete = false;
  std::vector<std::string> Files;
  std::vector<TRecord> Records;
};

// Reads a journal image; Records only when it is complete.
TParsed Parse(const std::vector<uint8_t>& B) {
  TParsed P;
  if (B.size() < 16 || std::memcmp(B.data(), kMagic, 8) != 0) return P;
  uint32_t H = LoadU32(B.data() + 8), F = LoadU32(B.data() + 12);
  if (H < 20 || H > B.size() || F > 3 * 1024) return P;
  if (Crc32(B.data(), H - 4) != LoadU32(B.data() + H - 4)) return P;
  size_t Pos = 16;
  for (uint32_t I = 0; I < F; ++I) {
    if (Pos + 2 > H - 4) return P;
    uint16_t L = LoadU16(B.data() + Pos);
    Pos += 2;
    if (Pos + L > H - 4) return P;
    P.Files.emplace_back(reinterpret_cast<const char*>(B.data() + Pos), L);
    Pos += L;
  }
  P.HeaderValid = true;
  if (B.size() < H + kTrailerSize) return P;
  const uint8_t* T = B.data() + B.size() - kTrailerSize;
  if (T[0] != kTrailer || std::memcmp(T + 17, kEndMagic, 8) != 0) return P;
  uint32_t Count = LoadU32(T + 1);
  uint64_t BodyLength = Load64(T + 5);
  if (BodyLength != B.size() - kTrailerSize - H) return P;
  if (Crc32(B.data() + H, BodyLength) != LoadU32(T + 13)) return P;
  Pos = H;
  size_t End = H + BodyLength;
  for (uint32_t I = 0; I < Count; ++I) {
    if (Pos + 15 > End) return P;
    TRecord R{B[Pos], LoadU16(B.data() + Pos + 1), Load64(B.data() + Pos + 3), nullptr, LoadU32(B.data() + Pos + 11)};
    Pos += 15;
    if ((R.Kind != kWriteRecord && R.Kind != kSizeRecord) || R.File >= P.Files.size()) return P;
    if (R.Kind == kWriteRecord) {
      if (Pos + R.Length > End) return P;
      R.Bytes = B.data() + Pos;
      Pos += R.Length;
    }
    P.Records.push_back(R);
  }
  if (Pos != End) return P;
  P.Complete = true;
  return P;
}

std::vector<uint8_t> ReadAll(int Fd) {
  std::vector<uint8_t> B;
  struct stat St;
  if (fstat(Fd, &St) != 0 || St.st_size <= 0) return B;
  B.resize(static_cast<size_t>(St.st_size));
  size_t Done = 0;
  while (Done < B.size()) {
    ssize_t N = pread(Fd, B.data() + Done, B.size() - Done, static_cast<off_t>(Done));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Done += static_cast<size_t>(N);
  }
  B.resize(Done);
  return B;
}

bool OfdTryLock(int Fd) {
  struct flock L;
  std::memset(&L, 0, sizeof(L));
  L.l_type = F_WRLCK;
  L.l_whence = SEEK_SET;
  L.l_start = kJournalLockByte;
  L.l_len = 1;
  return fcntl(Fd, F_OFD_SETLK, &L) == 0;
}

[[noreturn]] void Raise(uint16_t Code, const std::string& Path) { RaiseEngineError(Code, JournalFileName(Path)); }

// The journal of a directory, locked. Closing the descriptor drops the lock.
class TJournalLock {
 public:
  explicit TJournalLock(std::string P) : Path(std::move(P)) {}
  ~TJournalLock() {
    if (Fd >= 0) close(Fd);
  }
  TJournalLock(const TJournalLock&) = delete;
  TJournalLock& operator=(const TJournalLock&) = delete;

  std::string Path;
  int Fd = -1;
  bool Created = false;

  // Takes the lock, creating the file when Create. False when the file is gone (and not Create).
  bool Take(bool Create) {
    for (int Try = 0;; ++Try) {
      Created = false;
      int F = -1;
      if (Create) {
        F = open(Path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (F >= 0) {
          Created = true;
          NoteFileCreated(Path);
        } else if (errno != EEXIST) {
          Raise(ecWriteError, Path);
        }
      }
      if (F < 0) F = open(Path.c_str(), O_RDWR | O_CLOEXEC);
      if (F < 0) {
        if (errno == ENOENT) {
          if (!Create) return false;
          continue;
        }
        Raise(ecAccessDenied, Path);
      }
      if (OfdTryLock(F)) {
        // The holder before may have removed the file: the lock counts only on the file of the name.
        struct stat A, B;
        if (fstat(F, &A) == 0 && stat(Path.c_str(), &B) == 0 && A.st_ino == B.st_ino && A.st_dev == B.st_dev) {
          Fd = F;
          return true;
        }
        close(F);
        if (!Create) {
          struct stat C;
          if (stat(Path.c_str(), &C) != 0) return false;
        }
        continue;
      }
      close(F);
      if (Try >= kJournalLockTries) Raise(ecLockFailure, Path);
      EngineSleep(3);
    }
  }
  // Removes the journal and makes the removal durable; the lock goes with the descriptor.
  int Retire() {
    if (unlink(Path.c_str()) != 0 && errno != ENOENT) return -errno;
    std::string Dir = Path.substr(0, Path.rfind('/') + 1);
    return DiskSyncDirectory(Dir);
  }
};

struct TTableLocks {
  std::vector<std::unique_ptr<TFileHandler>> Files;
  std::vector<std::pair<TFileHandler*, std::pair<int64_t, int64_t>>> Held;
  ~TTableLocks() {
    for (auto It = Held.rbegin(); It != Held.rend(); ++It) It->first->LockBytes(It->second.first, It->second.second, false);
  }
};

bool SameName(const std::string& A, const std::string& B) { return AnsiSameText(A, B); }
bool Listed(const std::vector<std::string>& L, const std::string& N) {
  return std::any_of(L.begin(), L.end(), [&](const std::string& X) { return SameName(X, N); });
}

// Writes a complete journal's records in place and syncs the files, under the locks of its tables
// (those in Held excepted).
void Replay(const std::string& Dir, const TParsed& J, const std::vector<std::string>& Held) {
  TTableLocks Locks;
  std::vector<TFileHandler*> Open(J.Files.size(), nullptr);
  for (size_t I = 0; I < J.Files.size(); ++I) {
    auto H = std::make_unique<TFileHandler>(Dir + J.Files[I]);
    if (!H->Exists()) continue;
    H->Open();
    Open[I] = H.get();
    Locks.Files.push_back(std::move(H));
  }
  for (size_t I = 0; I < J.Files.size(); ++I) {
    TFileHandler* H = Open[I];
    if (H == nullptr || Listed(Held, J.Files[I])) continue;
    std::string Ext = UpperCase(ExtractFileExt(J.Files[I]));
    int64_t First = Ext == ".DAT" ? kHeaderLockByte : kWriterRangeFirst;
    int64_t Length = Ext == ".DAT" ? 1 : kWriterRangeLength;
    if (!LockBytesWithRetry(*H, First, Length)) RaiseEngineError(ecLockFailure, J.Files[I]);
    Locks.Held.push_back({H, {First, Length}});
  }
  for (const TRecord& R : J.Records) {
    TFileHandler* H = Open[R.File];
    if (H == nullptr) continue;
    if (R.Kind == kWriteRecord) {
      H->WriteAt(static_cast<int64_t>(R.Offset), R.Bytes, R.Length);
    } else {
      H->Seek(static_cast<int64_t>(R.Offset), 0);
      H->Truncate();
    }
  }
  for (TFileHandler* H : Open)
    if (H != nullptr) H->Flush();
}

// Settles what the locked journal holds: replays it when complete, then removes it.
std::vector<std::string> SettleLocked(TJournalLock& L, const std::string& Dir, const std::vector<std::string>& Held) {
  std::vector<uint8_t> Image = ReadAll(L.Fd);
  TParsed J = Parse(Image);
  std::vector<std::string> Replayed;
  if (J.Complete) {
    Replay(Dir, J, Held);
    Replayed = J.Files;
  }
  int R = L.Retire();
  if (R < 0) Raise(ecWriteError, L.Path);
  return Replayed;
}

std::vector<uint8_t> Build(const std::vector<TFileHandler*>& Files) {
  std::vector<uint8_t> B(kMagic, kMagic + 8);
  Put32(B, 0);
  Put32(B, static_cast<uint32_t>(Files.size()));
  for (TFileHandler* F : Files) {
    std::string N = JournalFileName(F->FileName);
    Put16(B, static_cast<uint16_t>(N.size()));
    B.insert(B.end(), N.begin(), N.end());
  }
  StoreU32(B.data() + 8, static_cast<uint32_t>(B.size() + 4));
  Put32(B, Crc32(B.data(), B.size()));
  size_t Body = B.size();
  uint32_t Count = 0;
  for (size_t I = 0; I < Files.size(); ++I) {
    for (const TFileHandler::TGathered& G : Files[I]->Gathered()) {
      B.push_back(G.Truncate ? kSizeRecord : kWriteRecord);
      Put16(B, static_cast<uint16_t>(I));
      Put64(B, static_cast<uint64_t>(G.Offset));
      Put32(B, static_cast<uint32_t>(G.Bytes.size()));
      B.insert(B.end(), G.Bytes.begin(), G.Bytes.end());
      ++Count;
    }
  }
  uint64_t BodyLength = B.size() - Body;
  uint32_t Crc = Crc32(B.data() + Body, BodyLength);
  B.push_back(kTrailer);
  Put32(B, Count);
  Put64(B, BodyLength);
  Put32(B, Crc);
  B.insert(B.end(), kEndMagic, kEndMagic + 8);
  return B;
}

// The bytes a commit replaces, to put them back when writing in place fails.
struct TPreImage {
  TFileHandler* File;
  int64_t Size;
  std::vector<std::pair<int64_t, std::vector<uint8_t>>> Ranges;
};

TPreImage Capture(TFileHandler* F) {
  TPreImage P{F, F->SizeBeforeGather(), {}};
  TAbstractFile* O = F->FileObject;
  std::lock_guard<std::recursive_mutex> G(O->Lock);
  for (const TFileHandler::TGathered& W : F->Gathered()) {
    int64_t End = W.Truncate ? P.Size : std::min<int64_t>(P.Size, W.Offset + static_cast<int64_t>(W.Bytes.size()));
    if (End <= W.Offset) continue;
    std::vector<uint8_t> Old(static_cast<size_t>(End - W.Offset));
    if (O->Seek(F->Handle, W.Offset, 0) < 0 ||
        O->Read(F->Handle, Old.data(), static_cast<int64_t>(Old.size())) != static_cast<int64_t>(Old.size()))
      RaiseEngineError(ecReadError, JournalFileName(F->FileName));
    P.Ranges.emplace_back(W.Offset, std::move(Old));
  }
  return P;
}

bool Restore(const std::vector<TPreImage>& Pre) {
  bool Ok = true;
  for (const TPreImage& P : Pre) {
    TAbstractFile* O = P.File->FileObject;
    std::lock_guard<std::recursive_mutex> G(O->Lock);
    for (auto It = P.Ranges.rbegin(); It != P.Ranges.rend(); ++It) {
      if (O->Seek(P.File->Handle, It->first, 0) < 0 ||
          O->Write(P.File->Handle, It->second.data(), static_cast<int64_t>(It->second.size())) !=
              static_cast<int64_t>(It->second.size()))
        Ok = false;
    }
    if (O->GetSize() != P.Size) {
      if (O->Seek(P.File->Handle, P.Size, 0) < 0 || O->Truncate(P.File->Handle) < 0) Ok = false;
    }
    if (O->Flush() < 0) Ok = false;
  }
  return Ok;
}

}  // namespace

std::string JournalPath(const std::string& Dir) { return Dir + kJournalName; }

std::string JournalFileName(const std::string& Path) {
  size_t S = Path.find_last_of("/\\");
  return S == std::string::npos ? Path : Path.substr(S + 1);
}

void JournalCommit(const std::string& Dir, const std::vector<TFileHandler*>& All, const std::vector<std::string>& Held) {
  std::vector<TFileHandler*> Files;
  for (TFileHandler* F : All)
    if (F != nullptr && F->Opened && !F->Gathered().empty()) Files.push_back(F);
  if (Files.empty()) return;
  const std::string Path = JournalPath(Dir);
  TJournalLock L(Path);
  L.Take(true);
  // A dead process's journal first: ours replaces it.
  if (!L.Created) {
    std::vector<uint8_t> Image = ReadAll(L.Fd);
    TParsed J = Parse(Image);
    if (J.Complete) Replay(Dir, J, Held);
  }
  std::vector<uint8_t> Image = Build(Files);
  int R = DiskWrite(L.Fd, Image.data(), static_cast<int64_t>(Image.size()), 0, Path.c_str());
  if (R == 0 && ftruncate(L.Fd, static_cast<off_t>(Image.size())) != 0) R = -errno;
  if (R == 0) R = DiskSync(L.Fd, Path.c_str());
  if (R == 0) R = DiskSyncDirectory(Dir);
  if (R < 0) {
    // Nothing reached a table file: the journal goes and the tables stay as they were.
    L.Retire();
    Raise(ecWriteError, Path);
  }
  std::vector<TPreImage> Pre;
  for (TFileHandler* F : Files) Pre.push_back(Capture(F));
  std::string FailedFile;
  try {
    for (TFileHandler* F : Files) {
      FailedFile = JournalFileName(F->FileName);
      F->ApplyGathered();
    }
    // Each changed file once (the handlers of one table never share a file object), all at the same
    // time: the file system commits them together instead of one after the other.
    std::vector<int> Results(Files.size(), 0);
    std::vector<std::thread> Syncs;
    for (size_t I = 1; I < Files.size(); ++I)
      Syncs.emplace_back([&, I] { Results[I] = Files[I]->FileObject->Flush(); });
    Results[0] = Files[0]->FileObject->Flush();
    for (std::thread& T : Syncs) T.join();
    for (size_t I = 0; I < Files.size(); ++I)
      if (Results[I] < 0) {
        FailedFile = JournalFileName(Files[I]->FileName);
        RaiseEngineError(static_cast<uint16_t>(-Results[I]), FailedFile);
      }
  } catch (const EVXDBEngineError& E) {
    // Put back what was replaced; only when that is durable may the journal go (else it is replayed
    // and the commit is completed later, never left half-done).
    if (Restore(Pre)) L.Retire();
    RaiseEngineError(E.ErrorCode(), FailedFile);
  }
  // The removal is not synced: should a power cut bring the journal back, it holds this commit's
  // bytes, which are in place already, and no later commit can have written over them, since each
  // one syncs the directory (and with it this removal) before it writes a byte in place.
  if (unlink(Path.c_str()) != 0 && errno != ENOENT) {
    Restore(Pre);
    Raise(ecWriteError, Path);
  }
}

bool JournalConcerns(const std::string& Dir, const std::vector<std::string>& FileNames) {
  const std::string Path = JournalPath(Dir);
  int Fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return false;
  std::vector<uint8_t> Head(4096);
  ssize_t N = pread(Fd, Head.data(), Head.size(), 0);
  if (N >= 16 && LoadU32(Head.data() + 8) > Head.size() && LoadU32(Head.data() + 8) < (1u << 20)) {
    Head.resize(LoadU32(Head.data() + 8));
    N = pread(Fd, Head.data(), Head.size(), 0);
  }
  close(Fd);
  if (N <= 0) return true;
  Head.resize(static_cast<size_t>(N));
  TParsed P = Parse(Head);
  if (!P.HeaderValid) return true;
  for (const std::string& F : FileNames)
    if (Listed(P.Files, F)) return true;
  return false;
}

std::vector<std::string> SettleJournal(const std::string& Dir, const std::vector<std::string>& Held) {
  TJournalLock L(JournalPath(Dir));
  if (!L.Take(false)) return {};
  return SettleLocked(L, Dir, Held);
}

TJournalInfo InspectJournal(const std::string& Dir) {
  TJournalInfo I;
  int Fd = open(JournalPath(Dir).c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return I;
  I.Exists = true;
  std::vector<uint8_t> Image = ReadAll(Fd);
  close(Fd);
  TParsed P = Parse(Image);
  I.Complete = P.Complete;
  I.Files = P.Files;
  I.Records = static_cast<uint32_t>(P.Records.size());
  return I;
}
