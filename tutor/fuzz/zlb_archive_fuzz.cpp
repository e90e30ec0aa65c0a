// Opens arbitrary bytes as a .zlb archive and extracts every member with CRC checking on. Every
// input must end in success or one of the archive's exceptions.
//
// The trailer's file CRC is recomputed before the bytes are written, so that mutated inputs get
// past the whole-file check and reach the directory and member parsing. (The CRC mismatch itself
// is covered by the unit tests.)
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tutor/ZLIBArchive.h"

namespace {
// One scratch file per process, removed at exit.
struct TScratchFile {
  std::string Path;
  TScratchFile() {
    const char* Base = std::getenv("TMPDIR");
    Path = std::string(Base && *Base ? Base : "/tmp") + "/vx-zlb-fuzz-" + std::to_string(getpid()) + ".zlb";
  }
  ~TScratchFile() { unlink(Path.c_str()); }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const TScratchFile Scratch;
  const std::string& Path = Scratch.Path;
  std::vector<uint8_t> Bytes(Data, Data + Size);
  if (Size >= 36) {
    const size_t DataEnd = Size - 36;
    const uLong Crc = crc32_z(0, Bytes.data(), DataEnd);
    for (int i = 0; i < 4; ++i) Bytes[DataEnd + i] = static_cast<uint8_t>((Crc >> (8 * i)) & 0xFF);
  }
  {
    TFileStream F(Path, fmCreate);
    F.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  }
  TZLBArchive Archive;
  Archive.SetCheckCRC(true);
  try {
    if (!Archive.OpenArchive(Path)) return 0;
    for (int i = 0; i < Archive.Count(); ++i) {
      TZLBEntry E;
      Archive.GetEntry(i, E);
      TMemoryStream S;
      try {
        Archive.Extract(i, &S);
        Archive.IndexOf(E.Path());
      } catch (const Exception&) {
      }
    }
  } catch (const Exception&) {
  }
  return 0;
}
