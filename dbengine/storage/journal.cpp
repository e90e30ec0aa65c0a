#include "dbengine/storage/journal.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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

constexpr char kLogMagic[8] = {'V', 'X', 'D', 'B', 'L', 'O', 'G', '1'};
constexpr char kFrameMagic[8] = {'V', 'X', 'J', 'F', 'R', 'M', '1', 0};
constexpr char kEndMagic[8] = {'V', 'X', 'J', 'E', 'N', 'D', 0, 0};
// The journal of earlier versions: one commit, removed once it was in place.
constexpr char kOldMagic[8] = {'V', 'X', 'J', 'R', 'N', 'L', '1', 0};
constexpr int kHeaderSize = 40;
constexpr uint64_t kFrameStart = 512;
constexpr int kFrameFixed = 28;  // magic, epoch, length, link, file count
constexpr int kFrameTail = 12;   // CRC and end magic
constexpr uint8_t kWriteRecord = 1;
constexpr uint8_t kSizeRecord = 2;
// Past this size a commit first checkpoints the log.
uint64_t GLogBound = 8u << 20;
// Lock bytes of the log file: the log lock (the journal lock of earlier versions), the presence of
// every process that has the directory open, and a byte readers on a network share lock so that
// their client reads the header afresh.
constexpr int64_t kLogLockByte = 0x7FFFFFFF;
constexpr int64_t kPresenceByte = 0x7FFFFFFE;
constexpr int64_t kLookByte = 0x7FFFFFFD;
// Tries of the log lock, 3 ms apart (as long as the table locks wait).
constexpr int kLogLockTries = 8193;

bool GNetworkForTests = false;

// CRC-32 (the polynomial of zip files), eight bytes a step.
uint32_t Crc32(const uint8_t* P, size_t N, uint32_t Crc = 0) {
  static const std::array<std::array<uint32_t, 256>, 8> T = [] {
    std::array<std::array<uint32_t, 256>, 8> X{};
    for (uint32_t I = 0; I < 256; ++I) {
      uint32_t C = I;
      for (int K = 0; K < 8; ++K) C = (C & 1) ? 0xEDB88320u ^ (C >> 1) : C >> 1;
      X[0][I] = C;
    }
    for (uint32_t I = 0; I < 256; ++I)
      for (int K = 1; K < 8; ++K) X[K][I] = (X[K - 1][I] >> 8) ^ X[0][X[K - 1][I] & 0xFF];
    return X;
  }();
  Crc = ~Crc;
  for (; N >= 8; N -= 8, P += 8) {
    const uint32_t A = LoadU32(P) ^ Crc, B = LoadU32(P + 4);
    Crc = T[7][A & 0xFF] ^ T[6][(A >> 8) & 0xFF] ^ T[5][(A >> 16) & 0xFF] ^ T[4][A >> 24] ^ T[3][B & 0xFF] ^
          T[2][(B >> 8) & 0xFF] ^ T[1][(B >> 16) & 0xFF] ^ T[0][B >> 24];
  }
  for (; N > 0; --N, ++P) Crc = T[0][(Crc ^ *P) & 0xFF] ^ (Crc >> 8);
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

// What the first frame of an epoch links to.
uint32_t EpochLink(uint64_t Epoch) {
  std::vector<uint8_t> B;
  Put64(B, Epoch);
  return Crc32(B.data(), B.size());
}

struct TRecord {
  uint8_t Kind;
  uint16_t File;
  uint64_t Offset;
  const uint8_t* Bytes;
  uint32_t Length;
};

// A commit as the log holds it (or the one commit of an old journal).
struct TFrame {
  std::vector<uint8_t> Image;
  std::vector<std::string> Files;
  std::vector<TRecord> Records;
  uint32_t Crc = 0;
};

// The names at Pos of an image (u32 count, then u16 length and name each); false when they run past End.
bool ParseNames(const std::vector<uint8_t>& B, size_t& Pos, size_t End, std::vector<std::string>& Names) {
  if (Pos + 4 > End) return false;
  uint32_t F = LoadU32(B.data() + Pos);
  Pos += 4;
  if (F > 3 * 1024) return false;
  for (uint32_t I = 0; I < F; ++I) {
    if (Pos + 2 > End) return false;
    uint16_t L = LoadU16(B.data() + Pos);
    Pos += 2;
    if (Pos + L > End) return false;
    Names.emplace_back(reinterpret_cast<const char*>(B.data() + Pos), L);
    Pos += L;
  }
  return true;
}

// Records (u32 count, then each) from Pos to exactly End.
bool ParseRecords(const std::vector<uint8_t>& B, size_t Pos, size_t End, size_t Files, std::vector<TRecord>& Out) {
  if (Pos + 4 > End) return false;
  uint32_t Count = LoadU32(B.data() + Pos);
  Pos += 4;
  for (uint32_t I = 0; I < Count; ++I) {
    if (Pos + 15 > End) return false;
    TRecord R{B[Pos], LoadU16(B.data() + Pos + 1), Load64(B.data() + Pos + 3), nullptr, LoadU32(B.data() + Pos + 11)};
    Pos += 15;
    if ((R.Kind != kWriteRecord && R.Kind != kSizeRecord) || R.File >= Files) return false;
    if (R.Kind == kWriteRecord) {
      if (Pos + R.Length > End) return false;
      R.Bytes = B.data() + Pos;
      Pos += R.Length;
    }
    Out.push_back(R);
  }
  return Pos == End;
}

bool ReadExactly(int Fd, void* Buffer, size_t Count, uint64_t Offset) {
  size_t Done = 0;
  while (Done < Count) {
    ssize_t N = pread(Fd, static_cast<uint8_t*>(Buffer) + Done, Count - Done, static_cast<off_t>(Offset + Done));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return false;
    Done += static_cast<size_t>(N);
  }
  return true;
}

int64_t FileSize(int Fd) {
  struct stat St;
  return fstat(Fd, &St) == 0 ? static_cast<int64_t>(St.st_size) : -1;
}

// The frame at Pos when it belongs to Epoch and follows Link; its image ends at Pos + Image.size().
bool ReadFrame(int Fd, uint64_t Pos, uint64_t Size, uint64_t Epoch, uint32_t Link, TFrame& F) {
  uint8_t Fixed[kFrameFixed];
  if (Pos + kFrameFixed + kFrameTail > Size || !ReadExactly(Fd, Fixed, kFrameFixed, Pos)) return false;
  if (std::memcmp(Fixed, kFrameMagic, 8) != 0 || Load64(Fixed + 8) != Epoch || LoadU32(Fixed + 20) != Link) return false;
  uint32_t Length = LoadU32(Fixed + 16);
  if (Length < kFrameFixed + 4 + kFrameTail || Pos + Length > Size) return false;
  F.Image.resize(Length);
  if (!ReadExactly(Fd, F.Image.data(), Length, Pos)) return false;
  const uint8_t* T = F.Image.data() + Length - kFrameTail;
  if (std::memcmp(T + 4, kEndMagic, 8) != 0) return false;
  F.Crc = LoadU32(T);
  if (Crc32(F.Image.data(), Length - kFrameTail) != F.Crc) return false;
  size_t P = kFrameFixed - 4;
  F.Files.clear();
  F.Records.clear();
  return ParseNames(F.Image, P, Length - kFrameTail, F.Files) &&
         ParseRecords(F.Image, P, Length - kFrameTail, F.Files.size(), F.Records);
}

// The length and names of the frame at Pos when it belongs to Epoch and ends within Size. Its
// checksum is not read: this is for frames already in place, whose checksum held when they were
// written, and for the names of a pending frame, which only decide whether to settle.
bool ReadFrameNames(int Fd, uint64_t Pos, uint64_t Size, uint64_t Epoch, uint32_t& Length,
                    std::vector<std::string>& Names) {
  std::vector<uint8_t> B(4096);
  ssize_t N = pread(Fd, B.data(), B.size(), static_cast<off_t>(Pos));
  if (N < kFrameFixed || std::memcmp(B.data(), kFrameMagic, 8) != 0 || Load64(B.data() + 8) != Epoch) return false;
  Length = LoadU32(B.data() + 16);
  if (Length < kFrameFixed + 4 + kFrameTail || Pos + Length > Size) return false;
  if (static_cast<size_t>(N) < Length && static_cast<size_t>(N) == B.size()) {
    // Names beyond the first block: the whole frame.
    B.resize(Length);
    if (!ReadExactly(Fd, B.data(), Length, Pos)) return false;
    N = Length;
  }
  size_t P = kFrameFixed - 4;
  Names.clear();
  return ParseNames(B, P, std::min<size_t>(static_cast<size_t>(N), Length - kFrameTail), Names);
}

// An old journal, complete (its trailer and both CRCs hold) or not.
bool ParseOldJournal(std::vector<uint8_t> B, TFrame& F) {
  constexpr size_t kTrailer = 1 + 4 + 8 + 4 + 8;
  if (B.size() < 16 + kTrailer || std::memcmp(B.data(), kOldMagic, 8) != 0) return false;
  uint32_t H = LoadU32(B.data() + 8);
  if (H < 20 || H > B.size() - kTrailer || Crc32(B.data(), H - 4) != LoadU32(B.data() + H - 4)) return false;
  const uint8_t* T = B.data() + B.size() - kTrailer;
  if (T[0] != 0xFF || std::memcmp(T + 17, "VXJEND\0\0", 8) != 0) return false;
  uint64_t Body = Load64(T + 5);
  if (Body != B.size() - kTrailer - H || Crc32(B.data() + H, Body) != LoadU32(T + 13)) return false;
  // The record count of the trailer goes in front of the records, as a frame has it.
  std::vector<uint8_t> Image(B.begin(), B.begin() + H - 4);
  Put32(Image, LoadU32(T + 1));
  Image.insert(Image.end(), B.begin() + H, B.begin() + H + static_cast<std::ptrdiff_t>(Body));
  F.Image = std::move(Image);
  size_t P = 12;
  F.Files.clear();
  F.Records.clear();
  return ParseNames(F.Image, P, H - 4, F.Files) && P == H - 4 &&
         ParseRecords(F.Image, P, F.Image.size(), F.Files.size(), F.Records);
}

// The bytes a commit replaces, to put them back when writing in place fails: for each gathered
// change, what the file held there before the commit (up to its size then). Begun: the changes
// whose writing in place began.
struct TPreImage {
  TFileHandler* File;
  int64_t Size;
  std::vector<std::pair<int64_t, std::vector<uint8_t>>> Ranges;
  size_t Begun = 0;
};

TPreImage Capture(TFileHandler* F) {
  TPreImage P{F, F->SizeBeforeGather(), {}};
  TAbstractFile* O = F->FileObject;
  std::lock_guard<std::recursive_mutex> G(O->Lock);
  for (const TFileHandler::TGathered& W : F->Gathered()) {
    int64_t End = W.Truncate ? P.Size : std::min<int64_t>(P.Size, W.Offset + static_cast<int64_t>(W.Bytes.size()));
    P.Ranges.emplace_back(W.Offset, std::vector<uint8_t>());
    if (End <= W.Offset) continue;
    std::vector<uint8_t>& Old = P.Ranges.back().second;
    Old.resize(static_cast<size_t>(End - W.Offset));
    if (O->Seek(F->Handle, W.Offset, 0) < 0 ||
        O->Read(F->Handle, Old.data(), static_cast<int64_t>(Old.size())) != static_cast<int64_t>(Old.size()))
      RaiseEngineError(ecReadError, JournalFileName(F->FileName));
  }
  return P;
}

// The first position from I on where A and B differ (N when none does).
size_t NextDifference(const uint8_t* A, const uint8_t* B, size_t I, size_t N) {
  for (; I + 8 <= N; I += 8) {
    uint64_t X, Y;
    std::memcpy(&X, A + I, 8);
    std::memcpy(&Y, B + I, 8);
    if (X != Y) break;
  }
  while (I < N && A[I] == B[I]) ++I;
  return I;
}

// Puts back the bytes of the changes begun where they differ now (a write that failed part of the
// way changed only some, and writing past them may fail again) and syncs them.
bool Restore(const std::vector<TPreImage>& Pre) {
  bool Ok = true;
  std::vector<uint8_t> Now;
  for (const TPreImage& P : Pre) {
    if (P.Begun == 0) continue;
    TAbstractFile* O = P.File->FileObject;
    std::lock_guard<std::recursive_mutex> G(O->Lock);
    for (size_t K = P.Begun; K-- > 0;) {
      const auto& [Offset, Old] = P.Ranges[K];
      if (Old.empty()) continue;
      // What cannot be read back goes back whole; bytes cut away read as zeros.
      Now.assign(Old.size(), 0);
      const bool Readable = O->Seek(P.File->Handle, Offset, 0) >= 0 &&
                            O->Read(P.File->Handle, Now.data(), static_cast<int64_t>(Now.size())) >= 0;
      const size_t N = Old.size();
      for (size_t I = Readable ? NextDifference(Now.data(), Old.data(), 0, N) : 0; I < N;) {
        size_t Last = Readable ? I : N - 1;
        while (Last + 1 < N && Now[Last + 1] != Old[Last + 1]) ++Last;
        const int64_t Length = static_cast<int64_t>(Last + 1 - I);
        if (O->Seek(P.File->Handle, Offset + static_cast<int64_t>(I), 0) < 0 ||
            O->Write(P.File->Handle, Old.data() + I, Length) != Length)
          Ok = false;
        I = NextDifference(Now.data(), Old.data(), Last + 1, N);
      }
    }
    if (O->GetSize() != P.Size) {
      if (O->Seek(P.File->Handle, P.Size, 0) < 0 || O->Truncate(P.File->Handle) < 0) Ok = false;
    }
    if (O->Flush() < 0) Ok = false;
  }
  return Ok;
}

// The records of one file's gathered changes: of each write only the runs of bytes that differ
// from what the file holds when it is made (the file before the commit, with the commit's earlier
// writes over it; zeros where it grows), runs less than 32 bytes apart joined. A file that grows
// gets its new size first. A file the commit cuts is logged whole.
void AddRecords(std::vector<uint8_t>& B, uint32_t& Count, uint16_t File, const TPreImage& Pre) {
  const std::vector<TFileHandler::TGathered>& G = Pre.File->Gathered();
  const bool Whole = std::any_of(G.begin(), G.end(), [](const TFileHandler::TGathered& W) { return W.Truncate; });
  auto Put = [&](uint8_t Kind, int64_t Offset, const uint8_t* Bytes, size_t Length) {
    B.push_back(Kind);
    Put16(B, File);
    Put64(B, static_cast<uint64_t>(Offset));
    Put32(B, static_cast<uint32_t>(Length));
    B.insert(B.end(), Bytes, Bytes + Length);
    ++Count;
  };
  if (!Whole && Pre.File->GetSize() > Pre.Size) Put(kSizeRecord, Pre.File->GetSize(), nullptr, 0);
  // Earlier writes of the commit matter only where two of its writes overlap (rarely).
  std::vector<std::pair<int64_t, int64_t>> Spans;
  for (const TFileHandler::TGathered& W : G) Spans.emplace_back(W.Offset, W.Offset + static_cast<int64_t>(W.Bytes.size()));
  std::sort(Spans.begin(), Spans.end());
  bool Overlapping = false;
  for (size_t I = 1; I < Spans.size(); ++I) Overlapping = Overlapping || Spans[I].first < Spans[I - 1].second;
  std::vector<uint8_t> Base;
  for (size_t K = 0; K < G.size(); ++K) {
    const TFileHandler::TGathered& W = G[K];
    if (W.Truncate || Whole) {
      Put(W.Truncate ? kSizeRecord : kWriteRecord, W.Offset, W.Bytes.data(), W.Bytes.size());
      continue;
    }
    const size_t N = W.Bytes.size();
    const std::vector<uint8_t>& Old = Pre.Ranges[K].second;
    Base.assign(N, 0);
    std::copy(Old.begin(), Old.end(), Base.begin());
    const int64_t End = W.Offset + static_cast<int64_t>(N);
    for (size_t J = 0; Overlapping && J < K; ++J) {
      const TFileHandler::TGathered& E = G[J];
      const int64_t From = std::max(W.Offset, E.Offset), To = std::min(End, E.Offset + static_cast<int64_t>(E.Bytes.size()));
      if (From < To)
        std::memcpy(Base.data() + (From - W.Offset), E.Bytes.data() + (From - E.Offset), static_cast<size_t>(To - From));
    }
    constexpr size_t kJoin = 32;
    for (size_t I = NextDifference(Base.data(), W.Bytes.data(), 0, N); I < N;) {
      size_t Last = I;
      for (size_t J = I + 1; J < N && J <= Last + kJoin; ++J)
        if (Base[J] != W.Bytes[J]) Last = J;
      Put(kWriteRecord, W.Offset + static_cast<int64_t>(I), W.Bytes.data() + I, Last + 1 - I);
      I = NextDifference(Base.data(), W.Bytes.data(), Last + 1, N);
    }
  }
}

std::vector<uint8_t> BuildFrame(const std::vector<TPreImage>& Pre, uint64_t Epoch, uint32_t Link) {
  std::vector<uint8_t> B(kFrameMagic, kFrameMagic + 8);
  Put64(B, Epoch);
  Put32(B, 0);
  Put32(B, Link);
  Put32(B, static_cast<uint32_t>(Pre.size()));
  for (const TPreImage& P : Pre) {
    std::string N = JournalFileName(P.File->FileName);
    Put16(B, static_cast<uint16_t>(N.size()));
    B.insert(B.end(), N.begin(), N.end());
  }
  const size_t CountAt = B.size();
  Put32(B, 0);
  uint32_t Count = 0;
  for (size_t I = 0; I < Pre.size(); ++I) AddRecords(B, Count, static_cast<uint16_t>(I), Pre[I]);
  StoreU32(B.data() + CountAt, Count);
  StoreU32(B.data() + 16, static_cast<uint32_t>(B.size() + kFrameTail));
  Put32(B, Crc32(B.data(), B.size()));
  B.insert(B.end(), kEndMagic, kEndMagic + 8);
  return B;
}

bool OfdLock(int Fd, short Type, int64_t Byte) {
  struct flock L;
  std::memset(&L, 0, sizeof(L));
  L.l_type = Type;
  L.l_whence = SEEK_SET;
  L.l_start = Byte;
  L.l_len = 1;
  int R;
  do {
    R = fcntl(Fd, F_OFD_SETLK, &L);
  } while (R < 0 && errno == EINTR);
  return R == 0;
}

// File systems whose clients can die apart from each other.
bool OnNetworkShare(int Fd) {
  if (GNetworkForTests) return true;
  struct statfs S;
  if (fstatfs(Fd, &S) != 0) return false;
  switch (static_cast<uint32_t>(S.f_type)) {
    case 0x6969u:      // NFS
    case 0x517Bu:      // SMB
    case 0xFF534D42u:  // CIFS
    case 0xFE534D42u:  // SMB2
    case 0x01021997u:  // 9P
    case 0x65735546u:  // FUSE
    case 0x00C36400u:  // Ceph
    case 0x5346414Fu:  // AFS
    case 0x73757245u:  // Coda
      return true;
    default:
      return false;
  }
}

bool Listed(const std::vector<std::string>& L, const std::string& N) {
  return std::any_of(L.begin(), L.end(), [&](const std::string& X) { return AnsiSameText(X, N); });
}

struct TTableLocks {
  std::vector<std::unique_ptr<TFileHandler>> Files;
  std::vector<std::pair<TFileHandler*, std::pair<int64_t, int64_t>>> Held;
  ~TTableLocks() {
    for (auto It = Held.rbegin(); It != Held.rend(); ++It) It->first->LockBytes(It->second.first, It->second.second, false);
  }
};

// Writes frames in place, in order, under the locks of their tables (those in Held excepted).
// Nothing is synced: the frames are durable in the log. Returns the names of the files written.
std::vector<std::string> Replay(const std::string& Dir, const std::vector<TFrame>& Frames,
                                const std::vector<std::string>& Held) {
  std::vector<std::string> Names;
  for (const TFrame& F : Frames)
    for (const std::string& N : F.Files)
      if (!Listed(Names, N)) Names.push_back(N);
  TTableLocks Locks;
  std::vector<TFileHandler*> Open(Names.size(), nullptr);
  for (size_t I = 0; I < Names.size(); ++I) {
    auto H = std::make_unique<TFileHandler>(Dir + Names[I]);
    if (!H->Exists()) continue;
    H->Open();
    Open[I] = H.get();
    Locks.Files.push_back(std::move(H));
  }
  for (size_t I = 0; I < Names.size(); ++I) {
    TFileHandler* H = Open[I];
    if (H == nullptr || Listed(Held, Names[I])) continue;
    std::string Ext = UpperCase(ExtractFileExt(Names[I]));
    int64_t First = Ext == ".DAT" ? kHeaderLockByte : kWriterRangeFirst;
    int64_t Length = Ext == ".DAT" ? 1 : kWriterRangeLength;
    if (!LockBytesWithRetry(*H, First, Length)) RaiseEngineError(ecLockFailure, Names[I]);
    Locks.Held.push_back({H, {First, Length}});
  }
  for (const TFrame& F : Frames) {
    for (const TRecord& R : F.Records) {
      auto It = std::find_if(Names.begin(), Names.end(), [&](const std::string& N) { return AnsiSameText(N, F.Files[R.File]); });
      TFileHandler* H = Open[static_cast<size_t>(It - Names.begin())];
      if (H == nullptr) continue;
      if (R.Kind == kWriteRecord) {
        H->WriteAt(static_cast<int64_t>(R.Offset), R.Bytes, R.Length);
      } else {
        H->Seek(static_cast<int64_t>(R.Offset), 0);
        H->Truncate();
      }
    }
  }
  return Names;
}

// Syncs each file all at the same time: the file system commits them together instead of one after
// the other. The first failure, or 0.
int SyncAll(const std::vector<TAbstractFile*>& Files, std::string& Failed) {
  std::vector<int> Results(Files.size(), 0);
  std::vector<std::thread> Syncs;
  for (size_t I = 1; I < Files.size(); ++I) Syncs.emplace_back([&, I] { Results[I] = Files[I]->Flush(); });
  if (!Files.empty()) Results[0] = Files[0]->Flush();
  for (std::thread& T : Syncs) T.join();
  for (size_t I = 0; I < Files.size(); ++I)
    if (Results[I] < 0) {
      Failed = JournalFileName(Files[I]->FileName);
      return Results[I];
    }
  return 0;
}

// Counts forks, so that a child never uses a log descriptor it shares with its parent.
int GForks = [] {
  pthread_atfork(nullptr, nullptr, [] { ++GForks; });
  return 0;
}();

}  // namespace

std::string JournalPath(const std::string& Dir) { return Dir + kJournalName; }

std::string JournalFileName(const std::string& Path) {
  size_t S = Path.find_last_of("/\\");
  return S == std::string::npos ? Path : Path.substr(S + 1);
}

void TDirectoryLog::SetNetworkShareForTests(bool On) { GNetworkForTests = On; }
void TDirectoryLog::SetBoundForTests(uint64_t Bytes) { GLogBound = Bytes; }

TDirectoryLog::TDirectoryLog(std::string Dir) : FDir(std::move(Dir)), FPath(JournalPath(FDir)) {}

TDirectoryLog::~TDirectoryLog() {
  if (FFd < 0 || FOwner != GForks) return;
  try {
    Lock();
    try {
      THeader H = SettleLocked({}, false, nullptr);
      if (H.Applied > kFrameStart) CheckpointLocked(H);
      // The last process to leave takes the empty log away: a directory nobody uses holds its
      // tables only.
      if (OfdLock(FFd, F_WRLCK, kPresenceByte)) unlink(FPath.c_str());
    } catch (...) {
    }
    Unlock();
  } catch (...) {
  }
  close(FFd);
}

void TDirectoryLog::Attach(bool Create) {
  if (FFd >= 0 && FOwner == GForks) return;
  // A descriptor inherited from the parent shares its locks: this process opens its own.
  FFd = -1;
  FOwner = GForks;
  FScanEpoch = 0;
  bool Created = false;
  for (;;) {
    int Fd = OpenWithoutAtime(FPath, O_RDWR | O_CLOEXEC);
    if (Fd < 0 && errno == ENOENT && Create) {
      Fd = OpenWithoutAtime(FPath, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (Fd < 0 && errno == EEXIST) continue;
      Created = Fd >= 0;
      if (Created) NoteFileCreated(FPath);
    }
    // No log: nothing was committed through one since the last process left.
    if (Fd < 0 && errno == ENOENT) return;
    if (Fd < 0 && !Create && (errno == EACCES || errno == EROFS || errno == EPERM)) {
      // A directory this process may only read: its tables are read as the log leaves them.
      Fd = OpenWithoutAtime(FPath, O_RDONLY | O_CLOEXEC);
      if (Fd < 0 && errno == ENOENT) return;
      if (Fd >= 0) {
        FFd = Fd;
        FNetwork = OnNetworkShare(Fd);
        OfdLock(FFd, F_RDLCK, kPresenceByte);
        return;
      }
    }
    if (Fd < 0) RaiseEngineError(EngineCodeFromErrno(errno), kJournalName);
    FFd = Fd;
    Lock();
    // The last process to leave may have removed the log between the open and the lock.
    struct stat A, B;
    if (fstat(FFd, &A) == 0 && stat(FPath.c_str(), &B) == 0 && A.st_ino == B.st_ino && A.st_dev == B.st_dev) break;
    Unlock();
    close(FFd);
    FFd = -1;
  }
  FNetwork = OnNetworkShare(FFd);
  try {
    // Alone with the directory: what the processes before left in the log may not be in place.
    if (OfdLock(FFd, F_WRLCK, kPresenceByte)) {
      THeader H = SettleLocked({}, true, nullptr);
      CheckpointLocked(H);
    }
    // The name of a new log lasts beyond a power cut before any commit counts on it.
    if (Created && DiskSyncDirectory(FDir) < 0) RaiseEngineError(ecWriteError, kJournalName);
    if (!OfdLock(FFd, F_RDLCK, kPresenceByte)) RaiseEngineError(ecLockFailure, kJournalName);
  } catch (...) {
    Unlock();
    close(FFd);
    FFd = -1;
    throw;
  }
  Unlock();
}

void TDirectoryLog::Lock() {
  if (FFd < 0) RaiseEngineError(ecAccessDenied, kJournalName);
  for (int Try = 0;; ++Try) {
    if (OfdLock(FFd, F_WRLCK, kLogLockByte)) break;
    if (errno == EBADF) RaiseEngineError(ecAccessDenied, kJournalName);
    if (Try >= kLogLockTries) RaiseEngineError(ecLockFailure, kJournalName);
    EngineSleep(3);
  }
}

void TDirectoryLog::Unlock() { OfdLock(FFd, F_UNLCK, kLogLockByte); }

bool TDirectoryLog::ReadHeader(THeader& H) {
  uint8_t B[kHeaderSize];
  if (!ReadExactly(FFd, B, sizeof(B), 0) || std::memcmp(B, kLogMagic, 8) != 0 ||
      Crc32(B, kHeaderSize - 4) != LoadU32(B + kHeaderSize - 4))
    return false;
  H.Epoch = Load64(B + 8);
  H.Applied = Load64(B + 16);
  H.Pending = Load64(B + 24);
  H.Link = LoadU32(B + 32);
  return H.Applied >= kFrameStart && H.Pending >= H.Applied;
}

void TDirectoryLog::WriteHeader(const THeader& H) {
  std::vector<uint8_t> B(kLogMagic, kLogMagic + 8);
  Put64(B, H.Epoch);
  Put64(B, H.Applied);
  Put64(B, H.Pending);
  Put32(B, H.Link);
  Put32(B, Crc32(B.data(), B.size()));
  if (int R = DiskWrite(FFd, B.data(), static_cast<int64_t>(B.size()), 0, FPath.c_str()); R < 0)
    RaiseEngineError(EngineCodeFromErrno(-R) == ecUnknownOSError ? ecWriteError : EngineCodeFromErrno(-R), kJournalName);
}

TDirectoryLog::THeader TDirectoryLog::SettleLocked(const std::vector<std::string>& Held, bool All,
                                                   std::vector<std::string>* Replayed) {
  const int64_t Size = FileSize(FFd);
  if (Size < 0) RaiseEngineError(ecReadError, kJournalName);
  THeader H;
  bool Sound = Size >= static_cast<int64_t>(kFrameStart) && ReadHeader(H) && H.Pending <= static_cast<uint64_t>(Size);
  std::vector<TFrame> Frames;
  if (!Sound && Size > 0) {
    // No header to go by: an old journal, or a header torn by a power cut. The frames are read from
    // the start, in the epoch of the first one.
    std::vector<uint8_t> Old(static_cast<size_t>(std::min<int64_t>(Size, 64 << 20)));
    TFrame F;
    if (ReadExactly(FFd, Old.data(), Old.size(), 0) && ParseOldJournal(std::move(Old), F)) Frames.push_back(std::move(F));
    uint8_t Fixed[kFrameFixed];
    if (Frames.empty() && ReadExactly(FFd, Fixed, kFrameFixed, kFrameStart) && std::memcmp(Fixed, kFrameMagic, 8) == 0)
      H.Epoch = Load64(Fixed + 8);
    All = true;
  }
  if (!Sound) {
    H.Epoch = std::max<uint64_t>(H.Epoch, 1);
    H.Applied = H.Pending = kFrameStart;
    H.Link = EpochLink(H.Epoch);
    if (Size < static_cast<int64_t>(kFrameStart) && ftruncate(FFd, static_cast<off_t>(kFrameStart)) != 0)
      RaiseEngineError(ecWriteError, kJournalName);
  }
  // The frames to replay: every one when All, else those of a commit left pending.
  uint64_t Pos = All ? kFrameStart : H.Applied;
  uint32_t Link = All ? EpochLink(H.Epoch) : H.Link;
  const uint64_t Until = All ? static_cast<uint64_t>(Size) : H.Pending;
  for (TFrame F; Pos < Until && ReadFrame(FFd, Pos, static_cast<uint64_t>(Size), H.Epoch, Link, F);) {
    Pos += F.Image.size();
    Link = F.Crc;
    Frames.push_back(std::move(F));
  }
  // Where nothing was left pending and the header holds, there is nothing to write.
  if (Sound && !All && H.Pending == H.Applied) return H;
  if (Sound && All && Frames.empty() && H.Pending == H.Applied && H.Applied == kFrameStart) return H;
  if (!Frames.empty()) {
    // A dead writer may not have synced its frame: it is durable before any byte of it is in place.
    if (int R = DiskSync(FFd, FPath.c_str()); R < 0) RaiseEngineError(ecWriteError, kJournalName);
    std::vector<std::string> Names = Replay(FDir, Frames, Held);
    if (Replayed != nullptr) *Replayed = std::move(Names);
  }
  // An old journal's commit is in place now; the log starts empty behind it.
  if (!Frames.empty() && Frames.front().Image.size() >= 8 && std::memcmp(Frames.front().Image.data(), kOldMagic, 8) == 0) {
    Pos = kFrameStart;
    Link = EpochLink(H.Epoch);
  }
  H.Applied = H.Pending = std::max<uint64_t>(Pos, kFrameStart);
  H.Link = Link;
  WriteHeader(H);
  return H;
}

void TDirectoryLog::CheckpointLocked(THeader& H) {
  // The names of the files the frames wrote, each synced through a descriptor of its own.
  std::vector<std::string> Names, Of;
  const int64_t Size = FileSize(FFd);
  uint32_t Length = 0;
  for (uint64_t Pos = kFrameStart; Pos < H.Applied && ReadFrameNames(FFd, Pos, H.Applied, H.Epoch, Length, Of); Pos += Length)
    for (const std::string& N : Of)
      if (!Listed(Names, N)) Names.push_back(N);
  for (const std::string& N : Names) {
    std::string P = ResolveDiskFileName(FDir + N);
    int Fd = open(P.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0) continue;  // gone with its table
    int R = DiskSync(Fd, P.c_str());
    close(Fd);
    if (R < 0) RaiseEngineError(ecWriteError, N);
  }
  // The header goes first: a log that keeps old frames behind it (the cut not made) never
  // replays them, for they belong to the epoch before.
  THeader E{H.Epoch + 1, kFrameStart, kFrameStart, EpochLink(H.Epoch + 1)};
  WriteHeader(E);
  if (Size > static_cast<int64_t>(kFrameStart) && ftruncate(FFd, static_cast<off_t>(kFrameStart)) != 0)
    RaiseEngineError(ecWriteError, kJournalName);
  if (int R = DiskSync(FFd, FPath.c_str()); R < 0) RaiseEngineError(ecWriteError, kJournalName);
  H = E;
  FScanEpoch = 0;
}

void TDirectoryLog::Abandon(const THeader& H) {
  if (ftruncate(FFd, static_cast<off_t>(H.Applied)) != 0) return;
  THeader B = H;
  B.Pending = B.Applied;
  try {
    WriteHeader(B);
  } catch (const EVXDBEngineError&) {
    return;
  }
  DiskSync(FFd, FPath.c_str());
}

void TDirectoryLog::Commit(const std::vector<TFileHandler*>& All, const std::vector<std::string>& Held) {
  std::vector<TFileHandler*> Files;
  for (TFileHandler* F : All)
    if (F != nullptr && F->Opened && !F->Gathered().empty()) Files.push_back(F);
  if (Files.empty()) return;
  Attach(true);
  Lock();
  struct TUnlock {
    TDirectoryLog* L;
    ~TUnlock() { L->Unlock(); }
  } Unlocker{this};
  THeader H = SettleLocked(Held, false, nullptr);
  if (H.Applied > GLogBound) CheckpointLocked(H);
  std::vector<TPreImage> Pre;
  for (TFileHandler* F : Files) Pre.push_back(Capture(F));
  std::vector<uint8_t> Frame = BuildFrame(Pre, H.Epoch, H.Link);
  const uint32_t FrameCrc = LoadU32(Frame.data() + Frame.size() - kFrameTail);
  THeader InFlight = H;
  InFlight.Pending = H.Applied + Frame.size();
  int R = DiskWrite(FFd, Frame.data(), static_cast<int64_t>(Frame.size()), static_cast<int64_t>(H.Applied), FPath.c_str());
  try {
    if (R == 0) WriteHeader(InFlight);
  } catch (const EVXDBEngineError&) {
    R = -EIO;
  }
  if (R == 0) R = DiskSync(FFd, FPath.c_str());
  if (R < 0) {
    // Nothing reached a table file: the frame goes and the tables stay as they were.
    Abandon(H);
    RaiseEngineError(ecWriteError, kJournalName);
  }
  std::string FailedFile;
  try {
    for (TPreImage& P : Pre) {
      FailedFile = JournalFileName(P.File->FileName);
      P.File->ApplyGathered(P.Begun);
    }
    // On a network share another client may go on after this one died: the writes in place are
    // durable before the frame counts as applied.
    if (FNetwork) {
      std::vector<TAbstractFile*> Objects;
      for (TFileHandler* F : Files) Objects.push_back(F->FileObject);
      if (int S = SyncAll(Objects, FailedFile); S < 0) RaiseEngineError(static_cast<uint16_t>(-S), FailedFile);
    }
    THeader Done = InFlight;
    Done.Applied = InFlight.Pending;
    Done.Link = FrameCrc;
    FailedFile = kJournalName;
    WriteHeader(Done);
  } catch (const EVXDBEngineError& E) {
    // Put back what was replaced; only when that is durable may the frame go (else it stays pending
    // and is replayed: the commit is completed later, never left half-done).
    if (Restore(Pre)) Abandon(H);
    RaiseEngineError(E.ErrorCode() == ecUnknownOSError ? ecWriteError : E.ErrorCode(), FailedFile);
  }
  for (TFileHandler* F : Files) F->LogChecked = false;
}

bool TDirectoryLog::Concerns(const std::vector<std::string>& FileNames) {
  Attach();
  if (FFd < 0) return false;
  // A client of a network share reads the header afresh only after a lock request on the file.
  if (FNetwork) {
    OfdLock(FFd, F_RDLCK, kLookByte);
    OfdLock(FFd, F_UNLCK, kLookByte);
  }
  THeader H;
  if (!ReadHeader(H)) return true;
  if (H.Pending == H.Applied) return false;
  // Only the names of the pending frame are needed.
  uint32_t Length = 0;
  std::vector<std::string> Names;
  if (!ReadFrameNames(FFd, H.Applied, H.Pending, H.Epoch, Length, Names)) return true;
  for (const std::string& Name : FileNames)
    if (Listed(Names, Name)) return true;
  return false;
}

std::vector<std::string> TDirectoryLog::Settle(const std::vector<std::string>& Held) {
  Attach();
  if (FFd < 0) return {};
  Lock();
  std::vector<std::string> Replayed;
  try {
    SettleLocked(Held, false, &Replayed);
  } catch (...) {
    Unlock();
    throw;
  }
  Unlock();
  return Replayed;
}

void TDirectoryLog::Checkpoint() {
  Attach();
  if (FFd < 0) return;
  Lock();
  try {
    THeader H = SettleLocked({}, false, nullptr);
    if (H.Applied > kFrameStart) CheckpointLocked(H);
  } catch (...) {
    Unlock();
    throw;
  }
  Unlock();
}

void TDirectoryLog::BeforeUnloggedChange(TFileHandler& File) {
  if (File.LogChecked) return;
  BeforeUnloggedChange(JournalFileName(File.FileName));
  // Nobody else can log a file this process holds exclusively.
  File.LogChecked = File.Exclusive;
}

void TDirectoryLog::BeforeUnloggedChange(const std::string& FileName) {
  Attach();
  if (FFd < 0) return;
  THeader H;
  const bool Sound = ReadHeader(H);
  if (Sound && H.Pending == kFrameStart) return;
  // The names the frames hold, read on from where the last look ended.
  bool Named = true;
  if (Sound && H.Pending == H.Applied) {
    if (H.Epoch != FScanEpoch || H.Applied < FScanEnd) {
      FScanEpoch = H.Epoch;
      FScanEnd = kFrameStart;
      FScanNames.clear();
    }
    uint32_t Length = 0;
    std::vector<std::string> Of;
    for (; FScanEnd < H.Applied && ReadFrameNames(FFd, FScanEnd, H.Applied, H.Epoch, Length, Of); FScanEnd += Length)
      for (const std::string& N : Of) FScanNames.insert(UpperCase(N));
    Named = FScanEnd != H.Applied || FScanNames.count(UpperCase(FileName)) > 0;
  }
  if (Named) Checkpoint();
}

TJournalInfo InspectJournal(const std::string& Dir) {
  TJournalInfo I;
  const std::string Path = JournalPath(Dir);
  int Fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return I;
  I.Exists = true;
  const int64_t Size = FileSize(Fd);
  uint8_t B[kHeaderSize];
  if (Size == 0) {
    I.Sound = true;
  } else if (Size >= static_cast<int64_t>(kFrameStart) && ReadExactly(Fd, B, sizeof(B), 0) &&
             std::memcmp(B, kLogMagic, 8) == 0 && Crc32(B, kHeaderSize - 4) == LoadU32(B + kHeaderSize - 4)) {
    I.Sound = true;
    const uint64_t Epoch = Load64(B + 8), Applied = Load64(B + 16), Pending = Load64(B + 24);
    uint64_t Pos = kFrameStart;
    uint32_t Link = EpochLink(Epoch);
    for (TFrame F; Pos < Pending && ReadFrame(Fd, Pos, static_cast<uint64_t>(Size), Epoch, Link, F);) {
      Pos += F.Image.size();
      Link = F.Crc;
      ++I.Frames;
      if (Pos > Applied) I.Pending = true;
      for (const std::string& N : F.Files)
        if (!Listed(I.Files, N)) I.Files.push_back(N);
    }
  }
  close(Fd);
  return I;
}
