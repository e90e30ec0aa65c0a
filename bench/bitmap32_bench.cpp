// 32-bit bitmap throughput on an 800x600 ARGB picture (the size of the program's window), in
// pixels per second: a plain fill (the memory-bandwidth anchor), BlendFillRect with the keyboard's
// half-opaque highlight colour, and DrawTo copying, blending with master alpha and stretching.
//
//   bench_bitmap32 --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <cstdint>

#include "controls/bitmaps32.h"

namespace {

constexpr int W = 800, H = 600;

void Fill(TBitmap32& B) {
  B.SetSize(W, H);
  uint32_t Noise = 12345;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      Noise = Noise * 1103515245u + 12345u;
      B.SetPixel(X, Y, 0xFF000000u | (Noise >> 8));
    }
}

void Report(benchmark::State& State, int64_t PixelsPerRun) {
  // Shown as pixels per second with an SI prefix ("268M/s" is 268 Mpixel/s).
  State.counters["pixels"] = benchmark::Counter(static_cast<double>(PixelsPerRun) * static_cast<double>(State.iterations()),
                                                benchmark::Counter::kIsRate);
}

void ClearAnchor(benchmark::State& State) {
  TBitmap32 B;
  Fill(B);
  for (auto _ : State) {
    B.Clear(0xFF102030);
    benchmark::ClobberMemory();
  }
  Report(State, int64_t(W) * H);
}

void BlendFillRect(benchmark::State& State) {
  TBitmap32 B;
  Fill(B);
  for (auto _ : State) {
    B.BlendFillRect(0, 0, W - 1, H - 1, 0x80000080);
    benchmark::ClobberMemory();
  }
  Report(State, int64_t(W) * H);
}

// DrawTo of the whole bitmap into the destination; the argument picks the case:
// 0 opaque copy, 1 blend at master alpha 255, 2 blend at master alpha 100, 3 nearest stretch
// from 400x300, 4 linear stretch from 400x300.
void DrawTo(benchmark::State& State) {
  const int Case = static_cast<int>(State.range(0));
  TBitmap32 Src, Dst;
  Fill(Src);
  Fill(Dst);
  if (Case >= 3) Src.SetSize(W / 2, H / 2);
  Src.SetDrawMode(Case == 0 || Case >= 3 ? dmOpaque : dmBlend);
  Src.SetMasterAlpha(Case == 2 ? 100 : 255);
  Src.SetStretchFilter(Case == 4 ? sfLinear : sfNearest);
  for (auto _ : State) {
    Src.DrawTo(&Dst, TRect(0, 0, W, H));
    benchmark::ClobberMemory();
  }
  Report(State, int64_t(W) * H);
}

}  // namespace

BENCHMARK(ClearAnchor)->Unit(benchmark::kMillisecond);
BENCHMARK(BlendFillRect)->Unit(benchmark::kMillisecond);
BENCHMARK(DrawTo)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
