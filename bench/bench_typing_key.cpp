// The key path of an exercise through a real typing table and keyboard picture: a key event
// through the GUI layer's input path, the check, the redraw of the typed line and the caret, the
// highlight of the next key on a 638 x 210 picture and the statistics item, and the paint pass
// that puts the changed controls on the screen (reported apart: key, paint, total). 10,000 keys at 10 and
// at 24 points; reports the median and the 99th percentile of one key, and the heap allocations
// per key (the whole path, input events of the GUI layer included).
//
//   QT_QPA_PLATFORM=offscreen bench_typing_key
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "platform/gui/testing.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/app/Keyboard.h"
#include "tutor/app/TypingTable.h"
#include "tutor/core/TempStat.h"
#include "tools/zlb/zlbwriter.h"
#include "bench/bench_measure.h"

namespace {

using vxbench::Percentile;
std::atomic<long> Allocations{0};
}

void* operator new(std::size_t N) {
  ++Allocations;
  if (void* P = std::malloc(N ? N : 1)) return P;
  throw std::bad_alloc();
}
// The counting operator new hands out malloc'ed blocks, so free is the matching release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* P) noexcept { std::free(P); }
void operator delete(void* P, std::size_t) noexcept { std::free(P); }
#pragma GCC diagnostic pop

namespace {

// A 638 x 210 picture with a key for every letter, the blank and Enter.
std::string LayoutArchive() {
  const int W = 638, H = 210, Row = W * 3;
  std::string Bmp(54 + static_cast<std::size_t>(Row * H), '\x60');
  auto Put = [&](std::size_t At, uint32_t V, int N) {
    for (int i = 0; i < N; ++i) Bmp[At + static_cast<std::size_t>(i)] = static_cast<char>((V >> (8 * i)) & 0xFF);
  };
  Bmp[0] = 'B', Bmp[1] = 'M';
  Put(2, static_cast<uint32_t>(Bmp.size()), 4);
  Put(6, 0, 4);
  Put(10, 54, 4);
  Put(14, 40, 4);
  Put(18, W, 4);
  Put(22, H, 4);
  Put(26, 1, 2);
  Put(28, 24, 2);
  Put(30, 0, 4);
  std::string Keys, Chars;
  for (int i = 0; i < 26; ++i) {
    const std::string Code = std::string(1, static_cast<char>('A' + i)) + "1";
    Keys += Code + ";" + std::to_string(10 + (i % 13) * 45) + ";" + std::to_string(50 + (i / 13) * 45) + ";40;40\r\n";
    Chars += std::string(1, static_cast<char>('a' + i)) + " " + Code + "\r\n";
  }
  Keys += "SP;150;150;300;40\r\nEN;590;50;40;85\r\n";
  Chars += "  SP\r\n\xB6 EN\r\n";
  std::vector<TZLBWriterMember> M(3);
  M[0].Name = "plain.bmp", M[0].Data = Bmp;
  M[1].Name = "keys.txt", M[1].Data = Keys;
  M[2].Name = "chars.txt", M[2].Data = Chars;
  return BuildZLBArchive(M, false);
}

void KeyPath(benchmark::State& State) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const int Points = static_cast<int>(State.range(0));
  // Second argument 0: no keyboard picture, to tell the table's share from the picture's.
  const bool WithKeyboard = State.range(1) != 0;
  const std::string File = "/tmp/bench_typing_key.zlb";
  {
    const std::string A = LayoutArchive();
    FILE* F = fopen(File.c_str(), "wb");
    fwrite(A.data(), 1, A.size(), F);
    fclose(F);
  }
  TZLBArchive Archive;
  Archive.OpenArchive(File);

  TForm* Form = new TForm(Application);
  Form->SetBounds(0, 0, 800, 600);
  auto* Table = new TTypingTable(Form);
  Table->SetParent(Form);
  Table->SetBounds(8, 8, 784, 260);
  Table->Font()->SetName("Courier New");
  Table->Font()->SetSize(Points);
  auto* Kb = new TKeyboard(Form);
  Kb->SetParent(Form);
  Kb->SetBounds(6, 366, 638, 210);
  Kb->LoadKeyboard(&Archive, "plain.bmp", "keys.txt", "chars.txt");
  TStatList Stats(1, 1, "", "", "");
  Table->OnKey = [&](char E, char T) {
    if (WithKeyboard) Kb->HighlightChar(Table->NextChar);
    if (E != 0 && T != 0 && T != 8) Stats.AddKeystroke(E, T, 150);
  };
  Form->Show();
  vxtest::Pump();

  // Lines as wide as the table takes (80 characters at most), words of the home row.
  Table->Clear();
  Table->UpdateMetrics();
  const int Width = std::min(80, Table->CharsPerLine);
  const std::string Words = "ala ma kota a kot ma ale sad las dal fajka kasa deska ";
  std::string Line;
  for (std::size_t i = 0; static_cast<int>(Line.size()) < Width; ++i) Line += Words[i % Words.size()];
  Line.resize(static_cast<std::size_t>(Width));
  while (!Line.empty() && Line.back() == ' ') Line.pop_back();
  const int Keys = 10000;
  const int LinesNeeded = Keys / static_cast<int>(Line.size() + 1) + 2;
  for (int i = 0; i < LinesNeeded; ++i) Table->SourceLines->Add(Line);
  Table->Prepare();
  Table->SetFocus();
  vxtest::Pump();

  std::vector<double> Micros, PaintMicros, TotalMicros;
  Micros.reserve(Keys);
  PaintMicros.reserve(Keys);
  TotalMicros.reserve(Keys);
  long AllocStart = 0;
  for (auto _ : State) {
    AllocStart = Allocations.load();
    for (int k = 0; k < Keys; ++k) {
      const char Next = Table->NextChar;
      const bool End = static_cast<unsigned char>(Next) == 182;
      // Every 25th key is a wrong letter, so that both colours are drawn.
      const char Ch = End ? '\r' : (k % 25 == 24 ? 'q' : Next);
      const uint16_t Vk = End ? VK_RETURN : (Ch == ' ' ? VK_SPACE : static_cast<uint16_t>(Ch - 'a' + 'A'));
      const auto T0 = std::chrono::steady_clock::now();
      vxtest::KeyStroke(Table, Vk, std::string(1, Ch));
      const auto T1 = std::chrono::steady_clock::now();
      // The paint pass that puts what the key changed on the screen (the keyboard picture, a
      // scrolled table), timed on its own.
      vxtest::Pump(1);
      const auto T2 = std::chrono::steady_clock::now();
      Micros.push_back(std::chrono::duration<double, std::micro>(T1 - T0).count());
      PaintMicros.push_back(std::chrono::duration<double, std::micro>(T2 - T1).count());
      TotalMicros.push_back(std::chrono::duration<double, std::micro>(T2 - T0).count());
    }
  }
  State.counters["keys"] = static_cast<double>(Micros.size());
  State.counters["key_median_us"] = Percentile(Micros, 0.5);
  State.counters["key_p99_us"] = Percentile(Micros, 0.99);
  State.counters["paint_median_us"] = Percentile(PaintMicros, 0.5);
  State.counters["paint_p99_us"] = Percentile(PaintMicros, 0.99);
  State.counters["total_median_us"] = Percentile(TotalMicros, 0.5);
  State.counters["total_p99_us"] = Percentile(TotalMicros, 0.99);
  State.counters["allocs_per_key"] =
      static_cast<double>(Allocations.load() - AllocStart) / static_cast<double>(Keys);
  State.counters["stat_items"] = Stats.Count();
  State.counters["chars_per_line"] = Width;
  delete Form;
  std::remove(File.c_str());
}
BENCHMARK(KeyPath)->Args({10, 1})->Args({24, 1})->Args({10, 0})->Args({24, 0})->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
