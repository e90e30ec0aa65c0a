// Keystroke path latency: synthetic key presses go through the GUI layer's input path (the same
// one window-system keys take) into a custom control that draws one character per key into its
// back buffer. Reports the time per key.
//
//   QT_QPA_PLATFORM=offscreen bench_key_latency --benchmark_time_unit=us
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/testing.h"

namespace {

// Draws each typed character in the next cell of a 40-column grid, as a typing line does.
class TTypingProbe : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  int Typed = 0;
  void KeyPress(char& Key) override {
    TCanvas* c = Canvas();
    const int col = Typed % 40, row = (Typed / 40) % 20;
    c->TextOut(col * 12, row * 18, std::string(1, Key));
    ++Typed;
  }
};

void KeyToBackBuffer(benchmark::State& state) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application->Initialize();
  TForm* form = new TForm(Application);
  form->SetBounds(0, 0, 500, 400);
  auto* probe = new TTypingProbe(form);
  probe->SetParent(form);
  probe->SetBounds(0, 0, 480, 360);
  form->Show();
  probe->SetFocus();
  vxtest::Pump();
  const std::string letters = "asdfjkl;";
  int i = 0;
  for (auto _ : state) {
    const char ch = letters[i++ % letters.size()];
    vxtest::KeyStroke(probe, static_cast<uint16_t>(ch == ';' ? 0xBA : ch - 'a' + 'A'), std::string(1, ch));
  }
  if (probe->Typed != i) state.SkipWithError("keys were lost on the way");
  state.counters["keys"] = probe->Typed;
  delete form;
}
BENCHMARK(KeyToBackBuffer)->Iterations(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
