#include "tutor/ZLIBArchive.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/core/fileutils.h"

namespace {

constexpr std::size_t ChunkSize = 4096;
constexpr std::size_t CrcChunkSize = 10240;
// Deflate never expands data by more than about 1032:1, so a zlib stream of N bytes cannot
// inflate to more than this many times N (plus a little). Claims beyond it are rejected before
// any memory is set aside for them.
constexpr std::uint64_t MaxInflateRatio = 1032;

std::uint32_t GetU32(const std::uint8_t* P) {
  return static_cast<std::uint32_t>(P[0]) | (static_cast<std::uint32_t>(P[1]) << 8) |
         (static_cast<std::uint32_t>(P[2]) << 16) | (static_cast<std::uint32_t>(P[3]) << 24);
}

std::string ShortString(const std::uint8_t* P) {
  return std::string(reinterpret_cast<const char*>(P + 1), P[0]);
}

[[noreturn]] void Fail(const std::string& Msg) {
  throw Exception(Msg);
}

std::uint32_t CrcUpdate(std::uint32_t Crc, const void* Data, std::size_t Len) {
  return static_cast<std::uint32_t>(crc32_z(Crc, static_cast<const Bytef*>(Data), Len));
}

// Inflates one zlib stream read from File between its current position and Limit (an absolute
// position), handing out the inflated bytes chunk by chunk. Any failure throws Exception with Msg.
class TInflater {
 public:
  TInflater(TStream& File, std::int64_t Limit, std::string Msg)
      : FFile(File), FLimit(Limit), FMsg(std::move(Msg)) {
    if (inflateInit(&FZ) != Z_OK) Fail(FMsg);
  }
  ~TInflater() { inflateEnd(&FZ); }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Fills exactly Len bytes of Out, or fails.
  void Read(std::uint8_t* Out, std::size_t Len) {
    FZ.next_out = Out;
    FZ.avail_out = static_cast<uInt>(Len);
    while (FZ.avail_out > 0) {
      if (FZ.avail_in == 0) Refill();
      const int Rc = inflate(&FZ, Z_NO_FLUSH);
      if (Rc == Z_STREAM_END) {
        if (FZ.avail_out > 0) Fail(FMsg);  // the stream ended short of the promised size
        break;
      }
      if (Rc != Z_OK) Fail(FMsg);
    }
  }

  // The stream must end exactly here, and the bytes up to Limit must be all of it: a stream
  // that holds more than was asked for, or data left after it, fails.
  void Finish() {
    std::uint8_t Extra = 0;
    for (;;) {
      FZ.next_out = &Extra;
      FZ.avail_out = 1;
      if (FZ.avail_in == 0 && FFile.Position() < FLimit) Refill();
      const int Rc = inflate(&FZ, Z_NO_FLUSH);
      if (FZ.avail_out == 0) Fail(FMsg);
      if (Rc == Z_STREAM_END) break;
      if (Rc != Z_OK || (FZ.avail_in == 0 && FFile.Position() >= FLimit)) Fail(FMsg);
    }
    if (FZ.avail_in != 0 || FFile.Position() != FLimit) Fail(FMsg);
  }

 private:
  void Refill() {
    const std::int64_t Left = FLimit - FFile.Position();
    if (Left <= 0) Fail(FMsg);
    const std::int64_t Want = std::min<std::int64_t>(Left, static_cast<std::int64_t>(FIn.size()));
    const std::int64_t Got = FFile.Read(FIn.data(), Want);
    if (Got <= 0) Fail(FMsg);
    FZ.next_in = FIn.data();
    FZ.avail_in = static_cast<uInt>(Got);
  }

  TStream& FFile;
  std::int64_t FLimit;
  std::string FMsg;
  z_stream FZ{};
  std::array<std::uint8_t, ChunkSize> FIn{};
};

std::unique_ptr<TFileStream> OpenArchiveFile(const std::string& FileName) {
  try {
    return std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
  } catch (const Exception&) {
    Fail(Format("Unable to open file (%s)", {FileName}));
  }
}

}  // namespace

// ---- Entry and trailer ----------------------------------------------------------------------------
std::string TZLBEntry::Name() const {
  return ShortString(&Bytes[0]);
}
std::string TZLBEntry::Folder() const {
  return ShortString(&Bytes[256]);
}
std::uint32_t TZLBEntry::Size() const {
  return GetU32(&Bytes[512]);
}
std::uint32_t TZLBEntry::Offset() const {
  return GetU32(&Bytes[520]);
}
std::uint32_t TZLBEntry::CRC() const {
  return GetU32(&Bytes[524]);
}

std::uint32_t TZLBTrailer::CRC() const {
  return GetU32(&Bytes[0]);
}
std::uint32_t TZLBTrailer::EntryCount() const {
  return GetU32(&Bytes[4]);
}
std::uint32_t TZLBTrailer::DirectoryOffset() const {
  return GetU32(&Bytes[16]);
}

// ---- TZLBArchive ----------------------------------------------------------------------------------
TZLBArchive::TZLBArchive(TComponent* AOwner) : TComponent(AOwner) {}

TZLBArchive::~TZLBArchive() {
  Destroying();
  FLinks.clear();
  CloseArchive();
}

bool TZLBArchive::OpenArchive(const std::string& FileName) {
  CloseArchive();
  if (FileName.empty()) return false;
  if (!FileExists(FileName)) Fail("Archive file not found");
  std::unique_ptr<TFileStream> File = OpenArchiveFile(FileName);

  const std::int64_t FileSize = File->Size();
  const std::int64_t DataSize = FileSize - static_cast<std::int64_t>(TZLBTrailer::TrailerSize);
  if (DataSize < 0) Fail("The archive file appears to be corrupted");

  // CRC of everything before the trailer, in chunks.
  std::uint32_t Crc = CrcUpdate(0, nullptr, 0);
  {
    std::vector<std::uint8_t> Buf(CrcChunkSize);
    File->SetPosition(0);
    std::int64_t Left = DataSize;
    while (Left > 0) {
      const std::int64_t N = std::min<std::int64_t>(Left, static_cast<std::int64_t>(Buf.size()));
      if (File->Read(Buf.data(), N) != N) Fail("The archive file appears to be corrupted");
      Crc = CrcUpdate(Crc, Buf.data(), static_cast<std::size_t>(N));
      Left -= N;
    }
  }
  TZLBTrailer Trailer;
  File->SetPosition(DataSize);
  if (File->Read(Trailer.Bytes.data(), TZLBTrailer::TrailerSize) !=
          static_cast<std::int64_t>(TZLBTrailer::TrailerSize) ||
      Trailer.CRC() != Crc)
    Fail("The archive file appears to be corrupted");

  FFileName = FileName;
  FTrailer = Trailer;
  try {
    LoadDirectory(*File);
  } catch (...) {
    CloseArchive();
    Fail("Unable to read archive file list");
  }
  if (OnArchiveOpened) OnArchiveOpened(this);
  Progress(zpIdle, std::string(), 0, 0);
  FActive = true;
  return true;
}

void TZLBArchive::LoadDirectory(TStream& File) {
  const std::int64_t DataEnd = File.Size() - static_cast<std::int64_t>(TZLBTrailer::TrailerSize);
  const std::uint64_t Count = FTrailer.EntryCount();
  const std::uint64_t Offset = FTrailer.DirectoryOffset();
  const std::uint64_t Bytes = Count * TZLBEntry::EntrySize;
  if (Offset > static_cast<std::uint64_t>(DataEnd)) Fail("Unable to read archive file list");
  const std::uint64_t Available = static_cast<std::uint64_t>(DataEnd) - Offset;

  std::vector<std::uint8_t> Buf;
  File.SetPosition(static_cast<std::int64_t>(Offset));
  // The directory fills the file from its offset to the trailer: a count that disagrees with its
  // size (a zeroed count, say, which the CRC does not cover) is damage, not an empty archive.
  if (!FTrailer.DirectoryCompressed()) {
    if (Bytes != Available) Fail("Unable to read archive file list");
    Buf.resize(Bytes);
    if (Bytes > 0) File.ReadBuffer(Buf.data(), static_cast<std::int64_t>(Bytes));
  } else {
    if (Bytes > Available * MaxInflateRatio + 64) Fail("Unable to read archive file list");
    TInflater Inflater(File, DataEnd, "Unable to read archive file list");
    std::uint64_t Done = 0;
    while (Done < Bytes) {
      const std::size_t N = static_cast<std::size_t>(std::min<std::uint64_t>(ChunkSize, Bytes - Done));
      Buf.resize(Done + N);
      Inflater.Read(Buf.data() + Done, N);
      Done += N;
      Progress(zpLoadingDirectory, "Extracting archive registry", static_cast<std::int64_t>(Done),
               static_cast<std::int64_t>(Bytes));
    }
    Inflater.Finish();
  }
  FEntries.resize(Count);
  for (std::uint64_t i = 0; i < Count; ++i)
    std::copy_n(Buf.begin() + static_cast<std::ptrdiff_t>(i * TZLBEntry::EntrySize), TZLBEntry::EntrySize,
                FEntries[i].Bytes.begin());
}

void TZLBArchive::CloseArchive() {
  FEntries.clear();
  FEntries.shrink_to_fit();
  FTrailer = TZLBTrailer();
  FFileName.clear();
  Progress(zpIdle, std::string(), 0, 0);
  FActive = false;
}

void TZLBArchive::Activate() {
  OpenArchive(FArchiveName);
  // A handler may unlink its control; walk a copy.
  const std::vector<TLink> Links = FLinks;
  for (const TLink& L : Links)
    if (L.OnChanged) L.OnChanged(this);
}

void TZLBArchive::SetActive(bool Value) {
  if (HasState(csLoading)) {
    FActivateWhenLoaded = Value;
    return;
  }
  if (Value)
    Activate();
  else
    CloseArchive();
}

void TZLBArchive::Loaded() {
  TComponent::Loaded();
  if (FActivateWhenLoaded) {
    FActivateWhenLoaded = false;
    Activate();
  }
}

void TZLBArchive::SetArchiveName(const std::string& Value) {
  if (Value == FArchiveName) return;
  CloseArchive();
  FArchiveName = Value;
}

int TZLBArchive::Count() const {
  if (!FActive) Fail("No archive is currently open");
  return static_cast<int>(FEntries.size());
}

void TZLBArchive::GetEntry(int Index, TZLBEntry& Entry) const {
  if (Index < 0 || Index >= Count()) Fail("Index out of bounds");
  Entry = FEntries[static_cast<std::size_t>(Index)];
}

int TZLBArchive::IndexOf(const std::string& Path) const {
  if (!FActive) Fail("No archive is currently open");
  std::string Wanted = Path;
  if (FSavePaths) {
    const std::size_t Colon = Wanted.find(':');
    if (Colon != std::string::npos) Wanted.erase(0, Colon + 1);
  }
  for (std::size_t i = 0; i < FEntries.size(); ++i)
    if (SameText(FEntries[i].Path(), Wanted)) return static_cast<int>(i);
  return -1;
}

bool TZLBArchive::Extract(int Index, TStream* Dest) {
  TZLBEntry Entry;
  GetEntry(Index, Entry);
  const std::string Corrupt = Format("File (%d) is corrupt", {Index});
  std::unique_ptr<TFileStream> File = OpenArchiveFile(FFileName);
  const std::int64_t DataEnd = File->Size() - static_cast<std::int64_t>(TZLBTrailer::TrailerSize);
  const std::int64_t Offset = Entry.Offset();
  const std::int64_t Total = Entry.Size();
  if (Offset > DataEnd) Fail(Corrupt);
  const std::int64_t Available = DataEnd - Offset;
  if (Entry.Stored()
          ? Total > Available
          : static_cast<std::uint64_t>(Total) > static_cast<std::uint64_t>(Available) * MaxInflateRatio + 64)
    Fail(Corrupt);
  File->SetPosition(Offset);

  std::unique_ptr<TInflater> Inflater;
  if (!Entry.Stored()) Inflater = std::make_unique<TInflater>(*File, DataEnd, Corrupt);
  std::array<std::uint8_t, ChunkSize> Chunk{};
  std::uint32_t Crc = CrcUpdate(0, nullptr, 0);
  std::int64_t Done = 0;
  const std::string Text = Format("Extracting %s", {Entry.Name()});
  while (Done < Total) {
    const std::int64_t N = std::min<std::int64_t>(static_cast<std::int64_t>(ChunkSize), Total - Done);
    try {
      if (Inflater)
        Inflater->Read(Chunk.data(), static_cast<std::size_t>(N));
      else if (File->Read(Chunk.data(), N) != N)
        Fail(Corrupt);
      Dest->WriteBuffer(Chunk.data(), N);
    } catch (...) {
      Fail(Corrupt);
    }
    Done += N;
    Crc = CrcUpdate(Crc, Chunk.data(), static_cast<std::size_t>(N));
    Progress(zpExtracting, Text, Done, Total);
  }
  if (FCheckCRC && Crc != Entry.CRC()) Fail(Format("File (%d) failed CRC check", {Index}));
  return true;
}

void TZLBArchive::ExtractToStream(TStream* Stream, const std::string& Path) {
  if (!FActive) Fail("No archive is currently open");
  const int Index = IndexOf(Path);
  if (Index < 0) Fail("File not found in archive");
  Extract(Index, Stream);
  if (OnStreamExtracted) OnStreamExtracted(this, Path);
  Progress(zpIdle, std::string(), 0, 0);
}

bool TZLBArchive::ExtractAndLoad(const std::string& Path, const TStreamLoader& Loader) {
  TMemoryStream Stream;
  ExtractToStream(&Stream, Path);
  Stream.SetPosition(0);
  Loader(&Stream);
  return true;
}

void TZLBArchive::ExtractToStrings(TStrings* Strings, const std::string& Path) {
  ExtractAndLoad(Path, [Strings](TStream* S) { Strings->LoadFromStream(S); });
}

void TZLBArchive::AddLinkedControl(TObject* Control, TChangedHandler OnChanged) {
  for (TLink& L : FLinks)
    if (L.Control == Control) {
      L.OnChanged = std::move(OnChanged);
      return;
    }
  FLinks.push_back({Control, std::move(OnChanged)});
}

void TZLBArchive::RemoveLinkedControl(TObject* Control) {
  FLinks.erase(std::remove_if(FLinks.begin(), FLinks.end(),
                              [Control](const TLink& L) { return L.Control == Control; }),
               FLinks.end());
}

void TZLBArchive::Progress(int Phase, const std::string& Text, std::int64_t Done, std::int64_t Total) {
  if (!OnProgress || HasState(csDestroying)) return;
  if (Phase == zpIdle) {
    OnProgress(this, FFileName, 0);
    return;
  }
  const int Percentage =
      Total > 0 ? static_cast<int>(std::lround(static_cast<double>(Done) / static_cast<double>(Total) * 100))
                : 100;
  OnProgress(this, Text, Percentage);
}
