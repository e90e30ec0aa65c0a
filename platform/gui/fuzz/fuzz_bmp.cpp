// Feeds arbitrary bytes to the BMP reader and the JPEG reader: they must raise or decode,
// never crash or read out of bounds.
#include <cstddef>
#include <cstdint>

#include "platform/gui/graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
      TJPEGImage j;
      j.LoadFromBytes(data, size);
      return 0;
    }
    TBitmap b;
    b.LoadFromBytes(data, size);
    if (b.Width() > 0 && b.Width() * b.Height() < 4096) (void)b.SaveToBytes();
  } catch (const Exception&) {
  }
  return 0;
}
