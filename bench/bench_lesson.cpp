// The exercise road on a database whose netstat holds 200,000 rows (2,000 earlier exercises of
// 100 keys, one in 33 of them the student's), with the installation's archives when the build has
// made them:
//   - OpenSelection: the exercise selection page made and painted with 100 lesson files in the
//     course folder, and the weakest-keys look-up alone;
//   - KeyToScreen: 5,000 keys typed into the real lesson screen (typing table, keyboard highlight,
//     statistics, the key sound through an initialised sound object) with the paint pass after each;
//   - FinishToResults: from the last key of an exercise to the painted results screen (the save of
//     the exercise included).
// Each reports the median and the 99th percentile in milliseconds.
//
//   QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy bench_lesson
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dx/dxsound.h"
#include "platform/core/fileutils.h"
#include "platform/gui/testing.h"
#include "tutor/OptionsReg.h"
#include "tutor/app/ResultsForm.h"
#include "tutor/app/SelectForm.h"
#include "tutor/app/StdLesson.h"
#include "tutor/app/TypingTable.h"
#include "tutor/app/tests/exercise_road_host.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/KeybList.h"
#include "tutor/core/Levels.h"
#include "tutor/core/tests/install_fixture.h"
#include "tutor/translations.h"
#include "bench/bench_measure.h"

namespace {

using vxbench::Ms;
using vxbench::Percentile;
using vxbench::ThreadCpuMs;
using vxbench::TClock;

// The installation folder with its database, lessons and history, made once.
struct TRoad {
  TRoad() {
    TInstallOptions O;
    O.SharedGroup = "1";
    Folder = std::make_unique<TInstallFolder>(O);
    const std::string P = Folder->Path();
    for (const char* Name : {"interface.zlb", "keyboards.zlb", "sounds.zlb", "vx.zlb"}) {
      const std::string Built = std::string(VX_DIST_DIR) + "/" + Name;
      if (std::filesystem::exists(Built))
        std::filesystem::copy_file(Built, P + Name, std::filesystem::copy_options::overwrite_existing);
    }
    ForceDirectories(P + "courses/full");
    for (int I = 0; I < 100; ++I) {
      std::ofstream F(P + "courses/full/l_" + std::to_string(1000 + I) + ".txt", std::ios::binary);
      F << "#title=Lekcja " << I << "\r\n#HTMLInfo=help/none.htm\r\n";
      for (int L = 0; L < 30; ++L) F << "asdf jkl; fdsa ;lkj ala ma kota a kot ma ale sad las dal fajka\r\n";
    }
    Student = Folder->AddStudent("Ala", 1, "W");
    Fill();
    SetProgramFolder(P);
    PrgReg = new TPrgReg(Folder->IniPath());
    KeybList = new TKeybList(P + "keyboards.zlb");
    LoadLevelsFrom(P + "vx.zlb");
    DM = new TDM(nullptr);
    DM->DBLocal = false;
    DM->DBPath = Folder->DataPath();
    DM->Open();
    DM->Logon(1, Student);
    RegisterExercisePages();
    RegisterPageFactory(TPageId::Main, [] { return new TForm(nullptr); });
    TStdLessonForm::ShowLessonMessage = [](const std::string&) {};
    Host = new TTestHost(nullptr);
    Sound = new TDXSound(Host);
    try {
      Sound->Initialize();
    } catch (...) {
    }
    Host->SetSound(Sound);
    Host->Show();
    vxtest::Pump();
  }

  void Fill() {
    TComponent Owner(nullptr);
    auto* Session = new TVXDBSession(&Owner);
    Session->SetSessionName("fill");
    Session->SetLanguageID(1045);
    auto* Db = new TVXDBDatabase(&Owner);
    Db->SetSessionName("fill");
    Db->SetDatabaseName("fill");
    Db->SetDirectory(Folder->DataPath());
    auto Table = [&](const char* Name) {
      auto* T = new TVXDBTable(&Owner);
      T->SetSessionName("fill");
      T->SetDatabaseName("fill");
      T->SetTableName(Name);
      T->Open();
      return T;
    };
    TVXDBTable* P = Table("practice");
    TVXDBTable* N = Table("netstat");
    Db->StartTransaction();
    for (int Ex = 0; Ex < 2000; ++Ex) {
      const int Who = Ex % 33 == 0 ? Student : 1000 + Ex % 33;
      P->Append();
      P->FieldByName("ID_STUDENT")->SetAsInteger(Who);
      P->FieldByName("ID_GROUP")->SetAsInteger(1);
      P->FieldByName("COUNT")->SetAsInteger(300);
      P->Post();
      const int Id = P->FieldByName("ID_PRACTICE")->AsInteger();
      for (int K = 0; K < 100; ++K)
        N->AppendRecord({Who, Id, 28 + K, std::string(1, static_cast<char>(28 + K)), 40 + K, 150.0 + K, 95.0 - K % 7});
    }
    Db->Commit();
    Db->Close();
  }

  TStdLessonForm* Lesson() const { return dynamic_cast<TStdLessonForm*>(Host->FindPage(TPageId::StdLesson)); }
  TSelectForm* Select() const { return dynamic_cast<TSelectForm*>(Host->FindPage(TPageId::Select)); }

  // Types what the table asks for (Enter at the end of a line).
  void TypeNext() {
    TTypingTable* T = Lesson()->Table;
    const char Next = T->NextChar;
    if (static_cast<unsigned char>(Next) == 182) vxtest::KeyStroke(T, VK_RETURN, "\r");
    else if (Next == ';') vxtest::KeyStroke(T, VK_OEM_1, ";");
    else if (Next == ' ') vxtest::KeyStroke(T, VK_SPACE, " ");
    else vxtest::KeyStroke(T, static_cast<uint16_t>(Next - 'a' + 'A'), std::string(1, Next));
  }

  std::unique_ptr<TInstallFolder> Folder;
  int Student = -1;
  TTestHost* Host = nullptr;
  TDXSound* Sound = nullptr;
};

TRoad& Road() {
  static TRoad* R = new TRoad();
  return *R;
}

void OpenSelection(benchmark::State& State) {
  TRoad& R = Road();
  std::vector<double> Open, OpenCpu, Weak;
  for (auto _ : State) {
    for (int I = 0; I < 20; ++I) {
      const auto T0 = TClock::now();
      const double C0 = ThreadCpuMs();
      R.Host->ShowPage(TPageId::Select);
      vxtest::Pump(1);
      const auto T1 = TClock::now();
      Open.push_back(Ms(T0, T1));
      OpenCpu.push_back(ThreadCpuMs() - C0);
      const auto W0 = TClock::now();
      R.Select()->FindWeakKeys();
      Weak.push_back(Ms(W0, TClock::now()));
      R.Select()->Close();
      vxtest::Pump(2);
    }
  }
  State.counters["open_median_ms"] = Percentile(Open, 0.5);
  State.counters["open_p99_ms"] = Percentile(Open, 0.99);
  State.counters["open_cpu_median_ms"] = Percentile(OpenCpu, 0.5);
  State.counters["weakkeys_median_ms"] = Percentile(Weak, 0.5);
  State.counters["lesson_files"] = 100;
}
BENCHMARK(OpenSelection)->Iterations(1)->Unit(benchmark::kMillisecond);

void KeyToScreen(benchmark::State& State) {
  TRoad& R = Road();
  R.Host->ShowPage(TPageId::StdLesson);
  R.Lesson()->RunTextExercise(R.Folder->Path() + "courses/full/l_1000.txt", "Teksty", "Lekcja");
  // 30 lines of 63 characters: enough for 5,000 keys on the first two files.
  std::vector<double> Keys, KeysCpu;
  for (auto _ : State) {
    for (int K = 0; K < 5000; ++K) {
      if (!R.Lesson() || R.Lesson()->Table->Finished) {
        vxtest::Pump(2);
        R.Host->ShowPage(TPageId::StdLesson);
        R.Lesson()->RunTextExercise(R.Folder->Path() + "courses/full/l_1001.txt", "Teksty", "Lekcja");
      }
      const auto T0 = TClock::now();
      const double C0 = ThreadCpuMs();
      R.TypeNext();
      vxtest::Pump(1);
      Keys.push_back(Ms(T0, TClock::now()));
      KeysCpu.push_back(ThreadCpuMs() - C0);
    }
  }
  State.counters["keys"] = static_cast<double>(Keys.size());
  State.counters["key_median_ms"] = Percentile(Keys, 0.5);
  State.counters["key_p99_ms"] = Percentile(Keys, 0.99);
  State.counters["key_cpu_median_ms"] = Percentile(KeysCpu, 0.5);
  State.counters["key_cpu_p99_ms"] = Percentile(KeysCpu, 0.99);
  State.counters["sound"] = R.Sound->Initialized() ? 1 : 0;
  // The clock's once-a-second tick: the autopause check and the labels.
  std::vector<double> Ticks;
  for (int I = 0; I < 1000 && R.Lesson(); ++I) {
    const auto T0 = TClock::now();
    R.Lesson()->Timer1Timer(nullptr);
    vxtest::Pump(1);
    Ticks.push_back(Ms(T0, TClock::now()));
  }
  State.counters["timer1_median_ms"] = Percentile(Ticks, 0.5);
  State.counters["timer1_p99_ms"] = Percentile(Ticks, 0.99);
  if (R.Lesson()) R.Lesson()->BtsExitClick(nullptr);
  vxtest::Pump(2);
}
BENCHMARK(KeyToScreen)->Iterations(1)->Unit(benchmark::kMillisecond);

void FinishToResults(benchmark::State& State) {
  TRoad& R = Road();
  const std::string File = R.Folder->Path() + "short.txt";
  std::ofstream(File, std::ios::binary) << "asdf jkl; fdsa ;lkj\r\nala ma kota\r\n";
  std::vector<double> Finish, FinishCpu;
  for (auto _ : State) {
    for (int I = 0; I < 10; ++I) {
      R.Host->ShowPage(TPageId::StdLesson);
      R.Lesson()->RunTextExercise(File, "Teksty", "Lekcja");
      vxtest::Pump(1);
      TTypingTable* T = R.Lesson()->Table;
      while (!(T->CurLine == T->LineCount - 1 && T->Column >= static_cast<int>(T->SourceLines->Strings(T->CurLine).size())))
        R.TypeNext();
      const auto T0 = TClock::now();
      const double C0 = ThreadCpuMs();
      R.TypeNext();  // the last Enter: save, close, results
      vxtest::Pump(2);
      Finish.push_back(Ms(T0, TClock::now()));
      FinishCpu.push_back(ThreadCpuMs() - C0);
      if (auto* Res = dynamic_cast<TResultsForm*>(R.Host->FindPage(TPageId::Results))) Res->Close();
      vxtest::Pump(2);
    }
  }
  State.counters["finish_median_ms"] = Percentile(Finish, 0.5);
  State.counters["finish_p99_ms"] = Percentile(Finish, 0.99);
  State.counters["finish_cpu_median_ms"] = Percentile(FinishCpu, 0.5);
}
BENCHMARK(FinishToResults)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
