// Feeds arbitrary bytes to the GIF reader and walks every frame of what it accepts.
#include <cstddef>
#include <cstdint>

#include "htmlview/gifimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  bool NonAnimated = false;
  auto G = CreateGifFromBytes(Data, Size, NonAnimated);
  if (!G) return 0;
  const TPixelBuffer* B = G->GetBitmap();
  if (B && B->Pixels.size() != static_cast<size_t>(B->Width) * static_cast<size_t>(B->Height)) __builtin_trap();
  G->SetAnimate(true, 0);
  uint32_t Now = 0;
  for (int I = 0; I < 2 * G->FrameCount() + 2; ++I) {
    Now += 100000;
    G->AnimationStep(Now);
  }
  auto C = G->Clone();
  C->SetCurrentFrame(0);
  C->SetCurrentFrame(C->FrameCount() + 1);
  return 0;
}
