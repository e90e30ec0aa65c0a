#include "controls/logfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"

namespace {

const int64_t CutSearch = 512;  // bytes searched for a line end behind the cut point
const int64_t CopyBlock = 32768;

[[noreturn]] void RaiseIO(const std::string& FileName) {
  const int Code = errno;
  throw EInOutError(Format("I/O error %d: %s (%s)", {Code, std::strerror(Code), FileName}), Code);
}

// Closes the descriptor however the routine is left.
struct TFd {
  int Fd = -1;
  ~TFd() {
    if (Fd >= 0) close(Fd);
  }
};

void WriteAll(int Fd, const std::string& S, const std::string& FileName) {
  size_t Done = 0;
  while (Done < S.size()) {
    const ssize_t N = write(Fd, S.data() + Done, S.size() - Done);
    if (N < 0) {
      if (errno == EINTR) continue;
      RaiseIO(FileName);
    }
    Done += static_cast<size_t>(N);
  }
}

ssize_t ReadAt(int Fd, char* Buf, int64_t Count, int64_t Offset, const std::string& FileName) {
  ssize_t N;
  do {
    N = pread(Fd, Buf, static_cast<size_t>(Count), Offset);
  } while (N < 0 && errno == EINTR);
  if (N < 0) RaiseIO(FileName);
  return N;
}

void WriteAt(int Fd, const char* Buf, int64_t Count, int64_t Offset, const std::string& FileName) {
  int64_t Done = 0;
  while (Done < Count) {
    const ssize_t N = pwrite(Fd, Buf + Done, static_cast<size_t>(Count - Done), Offset + Done);
    if (N < 0) {
      if (errno == EINTR) continue;
      RaiseIO(FileName);
    }
    Done += N;
  }
}

// Moves everything from Cut to the start of the file and truncates behind it.
void CutHead(int Fd, int64_t Cut, const std::string& FileName) {
  char Probe[CutSearch];
  const ssize_t Got = ReadAt(Fd, Probe, CutSearch, Cut, FileName);
  for (ssize_t I = 0; I + 1 < Got; ++I) {
    if (Probe[I] == '\r' && Probe[I + 1] == '\n') {
      Cut += I + 2;
      break;
    }
  }
  std::string Block(static_cast<size_t>(CopyBlock), '\0');
  int64_t Src = Cut, Dst = 0;
  for (;;) {
    const ssize_t N = ReadAt(Fd, Block.data(), CopyBlock, Src, FileName);
    if (N == 0) break;
    WriteAt(Fd, Block.data(), N, Dst, FileName);
    Src += N;
    Dst += N;
  }
  if (ftruncate(Fd, Dst) != 0) RaiseIO(FileName);
}

}  // namespace

void AddToLog(const std::string& FileName, const std::vector<std::string>& Lines, bool AddTime, int MaxSize) {
  if (FileName.empty()) return;
  const std::string Prefix = AddTime ? FormatDateTime("ddddd tt", Now()) : std::string();

  int64_t Added = static_cast<int64_t>(Prefix.size());
  size_t Fitting = 0;
  for (const std::string& Line : Lines) {
    const int64_t Next = Added + static_cast<int64_t>(Line.size()) + 2;
    if (MaxSize > 0 && Next > MaxSize) break;
    Added = Next;
    ++Fitting;
  }
  if (Fitting == 0) return;

  const std::string Os = ToOsPath(FileName);
  TFd F;
  if (!FileExists(FileName)) {
    F.Fd = open(Os.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (F.Fd < 0) RaiseIO(FileName);
  } else {
    F.Fd = open(Os.c_str(), O_RDWR | O_CLOEXEC);
    if (F.Fd < 0) RaiseIO(FileName);
    struct stat St;
    if (fstat(F.Fd, &St) != 0) RaiseIO(FileName);
    const int64_t Excess = static_cast<int64_t>(St.st_size) + Added - MaxSize;
    if (MaxSize > 0 && Excess > 0) CutHead(F.Fd, Excess + CutSearch, FileName);
    if (lseek(F.Fd, 0, SEEK_END) < 0) RaiseIO(FileName);
  }

  std::string Text;
  if (!Prefix.empty()) Text += Prefix + "\r\n";
  for (size_t I = 0; I < Fitting; ++I) Text += Lines[I] + "\r\n";
  WriteAll(F.Fd, Text, FileName);
  if (close(F.Fd) != 0) {
    F.Fd = -1;
    RaiseIO(FileName);
  }
  F.Fd = -1;
}
