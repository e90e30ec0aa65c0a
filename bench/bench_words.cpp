// Word and letter exercises: one word exercise (a page of lines 70 characters wide) generated from
// a word list of 24,000 words, read from vx.zlb beside the program as GenerateWords does on every
// call (the benchmark writes that archive and removes it), and from a list already in memory; one
// letter exercise of 300 letters.
//
//   bench_words --benchmark_time_unit=ms
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "platform/core/fileutils.h"
#include "platform/core/random.h"
#include "tools/zlb/zlbwriter.h"
#include "tutor/core/Dictionary.h"
#include "tutor/core/ResourceNames.h"

namespace {

// 24,000 lower-case words of 3 to 9 letters from a fixed pseudo-random sequence.
std::string WordList() {
  const std::string Letters = "aeioulkjsdfnmprtwzc\xB9\xEA\xB3\xF3\x9C";
  std::string Text;
  uint32_t X = 12345;
  for (int i = 0; i < 24000; ++i) {
    X = X * 1103515245u + 12345u;
    const int Len = 3 + static_cast<int>((X >> 16) % 7);
    std::string W;
    for (int k = 0; k < Len; ++k) {
      X = X * 1103515245u + 12345u;
      W += Letters[(X >> 16) % Letters.size()];
    }
    Text += W + "\r\n";
  }
  return Text;
}

// vx.zlb beside this program, the archive GenerateWords reads; one that exists is left alone.
bool WroteArchive = false;
bool MakeArchiveBesideTheProgram() {
  const std::string P = ProgramPath(vx::res::kVxArchive);
  if (FileExists(P)) return false;
  TZLBWriterMember M;
  M.Name = vx::res::kWordsMember;
  M.Data = WordList();
  const std::string Bytes = BuildZLBArchive({M}, false);
  FILE* F = fopen(ToOsPath(P).c_str(), "wb");
  if (!F) return false;
  fwrite(Bytes.data(), 1, Bytes.size(), F);
  fclose(F);
  WroteArchive = true;
  return true;
}

void WordExerciseFromTheArchive(benchmark::State& State) {
  if (!WroteArchive && !MakeArchiveBesideTheProgram()) {
    State.SkipWithError("vx.zlb beside the program belongs to something else");
    return;
  }
  RandSeed = 1;
  int Lines = 0;
  for (auto _ : State) {
    TStringList Out;
    GenerateWords(&Out, "aeioulkjsdfnm", "kj", 300, 70);
    Lines = Out.Count();
    benchmark::DoNotOptimize(Lines);
  }
  State.counters["lines"] = Lines;
}
BENCHMARK(WordExerciseFromTheArchive)->Unit(benchmark::kMillisecond);

void WordExerciseFromAListInMemory(benchmark::State& State) {
  RandSeed = 1;
  TStringList Words;
  Words.SetText(WordList());
  int Lines = 0;
  for (auto _ : State) {
    TStringList Out;
    GenerateWordsFrom(Words, &Out, "aeioulkjsdfnm", "kj", 300, 70);
    Lines = Out.Count();
  }
  State.counters["words"] = Words.Count();
  State.counters["lines"] = Lines;
}
BENCHMARK(WordExerciseFromAListInMemory)->Unit(benchmark::kMillisecond);

void LetterExercise(benchmark::State& State) {
  RandSeed = 1;
  for (auto _ : State) {
    TStringList Out;
    GenerateLetters(&Out, "asdfjkl;", "ei", 300, 70);
    benchmark::DoNotOptimize(Out.Count());
  }
}
BENCHMARK(LetterExercise)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (WroteArchive) DeleteFile(ProgramPath(vx::res::kVxArchive));
  return 0;
}
