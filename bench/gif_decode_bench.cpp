// GIF decoding speed: one 728x486 frame with a 256-colour table, photo-like (noisy gradients, so
// the LZW table fills and resets as it does for real pictures), decoded from memory.
//
//   bench_gif_decode --benchmark_time_unit=ms
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "htmlview/gifimage.h"
#include "htmlview/tests/gif_builder.h"

namespace {

std::vector<uint8_t> PhotoLikeGif(int W, int H) {
  std::vector<uint8_t> table(256 * 3);
  for (int i = 0; i < 256; ++i) {
    table[i * 3] = static_cast<uint8_t>(i);
    table[i * 3 + 1] = static_cast<uint8_t>(255 - i);
    table[i * 3 + 2] = static_cast<uint8_t>((i * 7) & 255);
  }
  gifbuild::Frame f;
  f.Width = W;
  f.Height = H;
  f.Pixels.resize(static_cast<size_t>(W) * H);
  uint32_t noise = 12345;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      noise = noise * 1103515245u + 12345u;
      f.Pixels[static_cast<size_t>(y) * W + x] = static_cast<uint8_t>((x / 3 + y / 2 + (noise >> 28)) & 255);
    }
  return gifbuild::Build(W, H, table, {f});
}

void DecodeFrame(benchmark::State& state) {
  const std::vector<uint8_t> data = PhotoLikeGif(728, 486);
  for (auto _ : state) {
    bool nonAnimated = false;
    auto gif = CreateGifFromBytes(data.data(), data.size(), nonAnimated);
    benchmark::DoNotOptimize(gif.get());
  }
  state.counters["bytes"] = static_cast<double>(data.size());
}
BENCHMARK(DecodeFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
