#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/core/classes.h"
#include "platform/core/fileutils.h"

// ---- TStream ----------------------------------------------------------------------------------------
int64_t TStream::Size() {
  const int64_t pos = Seek(0, soFromCurrent);
  const int64_t size = Seek(0, soFromEnd);
  Seek(pos, soFromBeginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count > 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count > 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  const int64_t total = Count;
  char buf[65536];
  while (Count > 0) {
    const int64_t n = Count > static_cast<int64_t>(sizeof buf) ? static_cast<int64_t>(sizeof buf) : Count;
    Source->ReadBuffer(buf, n);
    WriteBuffer(buf, n);
    Count -= n;
  }
  return total;
}

std::string TStream::ReadString(int64_t Count) {
  std::string s;
  if (Count <= 0) return s;
  s.resize(static_cast<std::size_t>(Count));
  const int64_t n = Read(s.data(), Count);
  s.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return s;
}

// ---- TMemoryStream ----------------------------------------------------------------------------------
int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition >= Size()) return 0;
  const int64_t n = std::min(Count, Size() - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const int64_t end = FPosition + Count;
  try {
    if (end > Size()) FData.resize(static_cast<std::size_t>(end));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory while expanding memory stream");
  }
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = end;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, int Origin) {
  int64_t p;
  switch (Origin) {
    case soFromBeginning: p = Offset; break;
    case soFromCurrent: p = FPosition + Offset; break;
    case soFromEnd: p = Size() + Offset; break;
    default: throw EStreamError("Invalid seek origin");
  }
  if (p < 0) throw EStreamError("Invalid stream position");
  FPosition = p;
  return p;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) NewSize = 0;
  try {
    FData.resize(static_cast<std::size_t>(NewSize));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory while expanding memory stream");
  }
  if (FPosition > NewSize) FPosition = NewSize;
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  const int64_t n = Stream->Size();
  SetSize(n);
  if (n > 0) Stream->ReadBuffer(FData.data(), n);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

void TMemoryStream::SaveToStream(TStream* Stream) {
  if (!FData.empty()) Stream->WriteBuffer(FData.data(), Size());
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(&f);
}

TStringStream::TStringStream(std::string_view S) {
  FData.assign(S.begin(), S.end());
}

// ---- TFileStream ------------------------------------------------------------------------------------
TFileStream::TFileStream(const std::string& FileName, Word Mode) : FFileName(FileName) {
  const std::string os = ToOsPath(FileName);
  if ((Mode & 0xFF00) == fmCreate) {
    FHandle = ::open(os.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0) throw EFCreateError("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
    return;
  }
  int flags;
  switch (Mode & 3) {
    case fmOpenWrite: flags = O_WRONLY; break;
    case fmOpenReadWrite: flags = O_RDWR; break;
    default: flags = O_RDONLY; break;
  }
  FHandle = ::open(os.c_str(), flags | O_CLOEXEC);
  if (FHandle >= 0) {
    struct stat st;
    if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(FHandle);
      FHandle = -1;
      errno = EISDIR;
    }
  }
  if (FHandle < 0) throw EFOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  int64_t done = 0;
  while (done < Count) {
    const ssize_t n = ::read(FHandle, static_cast<char*>(Buffer) + done, static_cast<std::size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  int64_t done = 0;
  while (done < Count) {
    const ssize_t n = ::write(FHandle, static_cast<const char*>(Buffer) + done, static_cast<std::size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t Offset, int Origin) {
  int whence;
  switch (Origin) {
    case soFromBeginning: whence = SEEK_SET; break;
    case soFromCurrent: whence = SEEK_CUR; break;
    case soFromEnd: whence = SEEK_END; break;
    default: throw EStreamError("Invalid seek origin");
  }
  const off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  if (r < 0) throw EStreamError("Invalid stream position");
  return r;
}

void TFileStream::SetSize(int64_t NewSize) {
  const int64_t pos = Position();
  if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0)
    throw EStreamError("Stream size cannot be changed: " + std::string(std::strerror(errno)));
  if (pos > NewSize) Seek(NewSize, soFromBeginning);
}
