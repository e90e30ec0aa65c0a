// The statistics screen shown for a student among 2,000 practices and 200,000 netstat rows, one
// finished course step recorded (NextExercise's transaction and the move of the position), and the
// certificate filled and printed to a one-page PDF file. Run by hand:
//   QT_QPA_PLATFORM=offscreen bench_screens
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "dbengine/storage/components/vxdb_session.h"
#include "dbengine/storage/components/vxdb_table.h"
#include "htmlview/htmlview.h"
#include "platform/core/fileutils.h"
#include "platform/core/inifiles.h"
#include "platform/gui/printers.h"
#include "platform/gui/testing.h"
#include "tutor/OptionsReg.h"
#include "tutor/app/CertificateForm.h"
#include "tutor/app/StatForm.h"
#include "tutor/app/StuddingForm.h"
#include "tutor/app/tests/exercise_road_host.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/tests/install_fixture.h"

namespace {

// 2,000 practices of 34 students with 100 keys each; the bench student has every 33rd one and
// the latest results row.
void Fill(const std::string& Path, int Student) {
  TComponent Owner(nullptr);
  auto* Session = new TVXDBSession(&Owner);
  Session->SetSessionName("fill");
  Session->SetLanguageID(1045);
  auto* Db = new TVXDBDatabase(&Owner);
  Db->SetSessionName("fill");
  Db->SetDatabaseName("db");
  Db->SetDirectory(Path);
  auto Table = [&](const char* Name) {
    auto* T = new TVXDBTable(&Owner);
    T->SetSessionName("fill");
    T->SetDatabaseName("db");
    T->SetTableName(Name);
    T->Open();
    return T;
  };
  TVXDBTable* P = Table("practice");
  TVXDBTable* N = Table("netstat");
  TVXDBTable* R = Table("results");
  Db->StartTransaction();
  int Last = -1;
  for (int Ex = 0; Ex < 2000; ++Ex) {
    const int Who = Ex % 33 == 0 ? Student : 1000 + Ex % 33;
    P->Append();
    P->FieldByName("ID_STUDENT")->SetAsInteger(Who);
    P->FieldByName("ID_GROUP")->SetAsInteger(1);
    P->FieldByName("CPM")->SetAsFloat(150 + Ex % 50);
    P->FieldByName("ACCURACY")->SetAsFloat(95);
    P->FieldByName("DURATION")->SetAsFloat(120.5);
    P->Post();
    const int Id = P->FieldByName("ID_PRACTICE")->AsInteger();
    if (Who == Student) Last = Id;
    for (int K = 0; K < 100; ++K)
      N->AppendRecord({Who, Id, 28 + K, std::string(1, static_cast<char>(28 + K)), 40 + K, 150.0 + K, 95.0});
  }
  R->AppendRecord({1, Student, Last, 160.5, Variant(), 98.1, 2.0, 120.5});
  Db->Commit();
  Db->Close();
}

struct TWorld {
  TWorld() {
    TInstallOptions O;
    O.SharedGroup = "1";
    Folder = std::make_unique<TInstallFolder>(O);
    SetProgramFolder(Folder->Path());
    FreePrgReg();
    PrgReg = new TPrgReg(Folder->IniPath());
    Student = Folder->AddStudent("Ala", 1, "W", 1);
    Fill(Folder->DataPath(), Student);
    // One course of 50 lessons of 40 steps, so that every measured step is a new one.
    std::string Script = "#TITLE=Kurs\r\n";
    for (int L = 1; L <= 50; ++L) {
      Script += "@" + std::to_string(L) + "~Lekcja " + std::to_string(L) + "\r\n";
      for (int E = 1; E <= 40; ++E) Script += std::to_string(E) + "~Krok~HTML|a.htm\r\n";
    }
    std::ofstream(Folder->Path() + "INDEX_01.SCN", std::ios::binary) << Script;
    std::ofstream(Folder->Path() + "cert.htm", std::ios::binary)
        << "<html><body><h1>CERTYFIKAT</h1><p>#sex1 #name</p><p>#course</p><p>#cpm #accuracy #date</p></body></html>";
    DM = new TDM(nullptr);
    DM->DBLocal = false;
    DM->DBPath = Folder->DataPath();
    DM->Open();
    DM->Logon(1, Student);
    Host = new TTestHost(nullptr);
    Host->Show();
    vxtest::Pump();
  }
  ~TWorld() {
    delete Host;
    DM->Close();
    delete DM;
    DM = nullptr;
    FreePrgReg();
  }
  std::unique_ptr<TInstallFolder> Folder;
  int Student = -1;
  TTestHost* Host = nullptr;
};

TWorld& World() {
  static TWorld W;
  return W;
}

void StatisticsShow(benchmark::State& State) {
  TWorld& W = World();
  auto* F = new TStatForm(nullptr);
  for (auto _ : State) {
    F->FormShow(F);
    benchmark::DoNotOptimize(F->Series[0]->Count());
  }
  State.counters["bars"] = F->Series[0]->Count();
  delete F;
  (void)W;
}
BENCHMARK(StatisticsShow)->Unit(benchmark::kMillisecond)->Iterations(20);

void NextExercise(benchmark::State& State) {
  World();
  auto* F = new TStuddingForm(nullptr);
  for (auto _ : State) F->NextExercise();
  State.counters["lesson"] = F->CurLesson;
  delete F;
}
BENCHMARK(NextExercise)->Unit(benchmark::kMillisecond)->Iterations(200);

void CertificateToPdf(benchmark::State& State) {
  TWorld& W = World();
  const std::string Pdf = W.Folder->Path() + "cert.pdf";
  Printer()->SetOutputFileName(Pdf);
  for (auto _ : State) {
    auto* F = new TCertificateForm(nullptr);
    F->SetParent(W.Host);
    F->Show();
    F->Prepare("cert.htm");
    F->HTMLViewer->Print(1, 1);
    delete F;
  }
  State.counters["bytes"] = static_cast<double>(std::filesystem::file_size(Pdf));
}
BENCHMARK(CertificateToPdf)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
