// Feeds arbitrary bytes to the WAVE reader and, when they load, writes the wave back and reads it
// again: corrupt input must raise, never crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "dx/wave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TStringStream in(std::string(reinterpret_cast<const char*>(Data), Size));
  TWave w;
  try {
    w.LoadFromStream(&in);
  } catch (const Exception&) {
    return 0;
  }
  (void)w.FormatRecord().IsPlayablePcm();
  TMemoryStream out;
  w.SaveToStream(&out);
  out.SetPosition(0);
  TWave back;
  if (out.Size() > 0) {
    back.LoadFromStream(&out);  // what we wrote must read back
    if (back.Size() != w.Size() || back.FormatSize() != w.FormatSize() ||
        (w.Size() > 0 && std::memcmp(back.Data(), w.Data(), static_cast<size_t>(w.Size())) != 0))
      __builtin_trap();
  }
  return 0;
}
