// Feeds arbitrary bytes to the .DXG reader; whatever loads is written back and must read again
// with the same items: corrupt input must raise, never crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dx/dximagelist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TStringStream in(std::string(reinterpret_cast<const char*>(Data), Size));
  TPictureCollection c(nullptr);
  try {
    c.LoadFromStream(&in);
  } catch (const Exception&) {
    return 0;
  }
  for (int i = 0; i < c.Count(); ++i) (void)c.Items(i)->PatternCount();
  TMemoryStream out;
  c.SaveToStream(&out);
  out.SetPosition(0);
  TPictureCollection back(nullptr);
  back.LoadFromStream(&out);
  if (back.Count() != c.Count()) __builtin_trap();
  return 0;
}
