// Opens arbitrary bytes as a .zlb archive and extracts every member with CRC checking on. Every
// input must end in success or one of the archive's exceptions.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "tutor/ZLIBArchive.h"

namespace {
std::string ScratchFile() {
  const char* Base = std::getenv("TMPDIR");
  return std::string(Base && *Base ? Base : "/tmp") + "/vx-zlb-fuzz-" + std::to_string(getpid()) + ".zlb";
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const std::string Path = ScratchFile();
  {
    TFileStream F(Path, fmCreate);
    F.WriteBuffer(Data, static_cast<int64_t>(Size));
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
