// The exercise save as the engine commits it, run by hand:
//   bench_commit DIR [SAVES] [PROCESSES] [SECONDS]
// makes four tables in the empty directory DIR (netstat filled with 200,000 rows), then measures
//   - SAVES saves of one exercise (a practice row, its results row, 40 statcalc and 60 netstat rows
//     in one transaction): median and p95 wall time, bytes handed to the system and syncs per save;
//   - the same rows written to SQLite in one transaction (WAL, synchronous=FULL), and the ratio;
//   - PROCESSES processes saving for their own students for SECONDS seconds: transactions/s.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/table_files.h"

namespace {

using TBuffer = std::vector<uint8_t>;
using TClock = std::chrono::steady_clock;

std::array<uint8_t, 768> Field(const char* Name, uint8_t Type, uint8_t Size = 0, uint8_t SubType = 0) {
  std::array<uint8_t, 768> D{};
  reinterpret_cast<TFieldDescriptor*>(D.data())->SetName(Name);
  D[kFieldDescTypeOffset] = Type;
  D[kFieldDescDeclaredSizeOffset] = Size;
  D[kFieldDescSubTypeOffset] = SubType;
  return D;
}

std::array<uint8_t, 120> Index(const char* Name, std::vector<uint16_t> Fields, bool Unique) {
  std::array<uint8_t, 120> D{};
  StoreShortString(D.data() + kIndexDescNameOffset, 30, Name);
  D[kIndexDescUniqueOffset] = Unique ? 1 : 0;
  for (size_t I = 0; I < Fields.size(); ++I) StoreU16(D.data() + kIndexDescFieldNumbersOffset + 2 * I, Fields[I]);
  return D;
}

void Make(TDataDirectory* D, const char* Name, TCreateTableParams P) {
  for (size_t I = 0; I < P.Fields.size(); ++I) StoreU16(P.Fields[I].data(), static_cast<uint16_t>(I + 1));
  TDataCursor C(D);
  C.SetTableName(Name);
  C.SetExclusive(true);
  C.CreateTable(std::move(P));
}

void PutInt(TDataCursor* C, int F, uint8_t* B, int32_t V) { C->PutField(F, B, false, &V); }
void PutSmall(TDataCursor* C, int F, uint8_t* B, int16_t V) { C->PutField(F, B, false, &V); }
int32_t Int(TDataCursor* C, int F, const uint8_t* B) {
  int32_t V = 0;
  bool Blank;
  C->GetField(F, B, Blank, &V);
  return V;
}

// The four tables of a saving process.
struct TTables {
  explicit TTables(TDataDirectory* D) : Dir(D) {
    for (const char* N : {"practice", "results", "statcalc", "netstat"}) {
      auto* C = new TDataCursor(Dir);
      C->SetTableName(N);
      C->Open();
      T.push_back(C);
    }
  }
  ~TTables() {
    for (TDataCursor* C : T) delete C;
  }
  void Save(int32_t Student, int32_t Seq) {
    Dir->StartTransaction();
    TDataCursor *P = T[0], *R = T[1], *S = T[2], *N = T[3];
    TBuffer B(P->RecordBufferSize);
    P->InitRecord(B.data());
    PutInt(P, 2, B.data(), Student);
    P->InsertRecord(B.data(), false);
    const int32_t Id = Int(P, 1, B.data());
    TBuffer RB(R->RecordBufferSize);
    R->MoveToBegin();
    while (R->GetNextRecord(RB.data()) == 0)
      if (Int(R, 1, RB.data()) == Student) break;
    R->GetCurrentRecord(RB.data(), true);
    PutInt(R, 2, RB.data(), Int(R, 2, RB.data()) + 1);
    PutInt(R, 3, RB.data(), Id);
    R->ModifyRecord(RB.data(), true, false);
    for (int K = 0; K < 40; ++K) {
      TBuffer X(S->RecordBufferSize);
      S->InitRecord(X.data());
      PutInt(S, 2, X.data(), Id);
      PutSmall(S, 3, X.data(), static_cast<int16_t>(K));
      PutInt(S, 4, X.data(), K * 3);
      S->InsertRecord(X.data(), false);
    }
    for (int K = 0; K < 60; ++K) {
      TBuffer X(N->RecordBufferSize);
      N->InitRecord(X.data());
      PutInt(N, 1, X.data(), Student);
      PutInt(N, 2, X.data(), 1000000 + Seq);
      PutSmall(N, 3, X.data(), static_cast<int16_t>(K));
      PutInt(N, 4, X.data(), K);
      N->InsertRecord(X.data(), false);
    }
    Dir->Commit();
  }
  TDataDirectory* Dir;
  std::vector<TDataCursor*> T;
};

void Setup(TDataDirectory* D) {
  TCreateTableParams P;
  P.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("STUDENT", ftInteger)};
  P.Indexes = {Index("", {1}, true)};
  Make(D, "practice", P);
  TCreateTableParams R;
  R.Fields = {Field("STUDENT", ftInteger), Field("DONE", ftInteger), Field("LAST", ftInteger)};
  R.Indexes = {Index("", {1}, true)};
  Make(D, "results", R);
  TCreateTableParams S;
  S.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("PRACTICE", ftInteger), Field("KEY", ftSmallInt),
              Field("V", ftInteger)};
  S.Indexes = {Index("", {1}, true), Index("BYPRACTICE", {2, 3}, false)};
  Make(D, "statcalc", S);
  TCreateTableParams N;
  N.Fields = {Field("ID_STUDENT", ftInteger), Field("ID_PRACTICE", ftInteger), Field("KEY", ftSmallInt),
              Field("CNT", ftInteger)};
  N.Indexes = {Index("", {1, 2, 3}, true), Index("BYPRACTICE", {2}, false)};
  Make(D, "netstat", N);
  TTables T(D);
  D->StartTransaction();
  for (int32_t St = 1; St <= 16; ++St) {
    TBuffer B(T.T[1]->RecordBufferSize);
    T.T[1]->InitRecord(B.data());
    PutInt(T.T[1], 1, B.data(), St);
    T.T[1]->InsertRecord(B.data(), false);
  }
  TDataCursor* Net = T.T[3];
  for (int I = 0; I < 200000; ++I) {
    TBuffer X(Net->RecordBufferSize);
    Net->InitRecord(X.data());
    PutInt(Net, 1, X.data(), I % 40 + 100);
    PutInt(Net, 2, X.data(), I / 60);
    PutSmall(Net, 3, X.data(), static_cast<int16_t>(I % 60));
    PutInt(Net, 4, X.data(), I);
    Net->InsertRecord(X.data(), false);
  }
  D->Commit();
}

int64_t WrittenBytes() {
  std::ifstream In("/proc/self/io");
  std::string K;
  int64_t V = 0;
  while (In >> K >> V)
    if (K == "wchar:") return V;
  return 0;
}

void Report(const char* What, std::vector<double> Ms) {
  std::sort(Ms.begin(), Ms.end());
  std::printf("%s: median %.2f ms, p95 %.2f ms (%zu saves)\n", What, Ms[Ms.size() / 2], Ms[Ms.size() * 95 / 100],
              Ms.size());
}

double Median(std::vector<double> Ms) {
  std::sort(Ms.begin(), Ms.end());
  return Ms[Ms.size() / 2];
}

void Check(int Rc, sqlite3* Db) {
  if (Rc != SQLITE_OK && Rc != SQLITE_DONE && Rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(Db));
    std::exit(1);
  }
}

std::vector<double> SQLiteSaves(const std::string& Dir, int Saves) {
  sqlite3* Db = nullptr;
  Check(sqlite3_open((Dir + "sqlite.db").c_str(), &Db), Db);
  auto Exec = [&](const char* S) { Check(sqlite3_exec(Db, S, nullptr, nullptr, nullptr), Db); };
  Exec("PRAGMA journal_mode=WAL");
  Exec("PRAGMA synchronous=FULL");
  Exec("CREATE TABLE practice (ID INTEGER PRIMARY KEY AUTOINCREMENT, STUDENT INTEGER)");
  Exec("CREATE TABLE results (STUDENT INTEGER PRIMARY KEY, DONE INTEGER, LAST INTEGER)");
  Exec("CREATE TABLE statcalc (ID INTEGER PRIMARY KEY AUTOINCREMENT, PRACTICE INTEGER, KEY INTEGER, V INTEGER)");
  Exec("CREATE INDEX statcalc_bypractice ON statcalc (PRACTICE, KEY)");
  Exec("CREATE TABLE netstat (ID_STUDENT INTEGER, ID_PRACTICE INTEGER, KEY INTEGER, CNT INTEGER, "
       "PRIMARY KEY (ID_STUDENT, ID_PRACTICE, KEY))");
  Exec("CREATE INDEX netstat_bypractice ON netstat (ID_PRACTICE)");
  Exec("BEGIN");
  for (int St = 1; St <= 16; ++St) Exec(("INSERT INTO results VALUES (" + std::to_string(St) + ", 0, 0)").c_str());
  sqlite3_stmt* Net = nullptr;
  Check(sqlite3_prepare_v2(Db, "INSERT INTO netstat VALUES (?, ?, ?, ?)", -1, &Net, nullptr), Db);
  for (int I = 0; I < 200000; ++I) {
    sqlite3_bind_int(Net, 1, I % 40 + 100);
    sqlite3_bind_int(Net, 2, I / 60);
    sqlite3_bind_int(Net, 3, I % 60);
    sqlite3_bind_int(Net, 4, I);
    Check(sqlite3_step(Net), Db);
    sqlite3_reset(Net);
  }
  Exec("COMMIT");
  sqlite3_stmt *P = nullptr, *R = nullptr, *S = nullptr;
  Check(sqlite3_prepare_v2(Db, "INSERT INTO practice (STUDENT) VALUES (?)", -1, &P, nullptr), Db);
  Check(sqlite3_prepare_v2(Db, "UPDATE results SET DONE = DONE + 1, LAST = ? WHERE STUDENT = ?", -1, &R, nullptr), Db);
  Check(sqlite3_prepare_v2(Db, "INSERT INTO statcalc (PRACTICE, KEY, V) VALUES (?, ?, ?)", -1, &S, nullptr), Db);
  std::vector<double> Ms;
  for (int I = 0; I < Saves; ++I) {
    auto T0 = TClock::now();
    Exec("BEGIN");
    sqlite3_bind_int(P, 1, 1);
    Check(sqlite3_step(P), Db);
    sqlite3_reset(P);
    const int Id = static_cast<int>(sqlite3_last_insert_rowid(Db));
    sqlite3_bind_int(R, 1, Id);
    sqlite3_bind_int(R, 2, 1);
    Check(sqlite3_step(R), Db);
    sqlite3_reset(R);
    for (int K = 0; K < 40; ++K) {
      sqlite3_bind_int(S, 1, Id);
      sqlite3_bind_int(S, 2, K);
      sqlite3_bind_int(S, 3, K * 3);
      Check(sqlite3_step(S), Db);
      sqlite3_reset(S);
    }
    for (int K = 0; K < 60; ++K) {
      sqlite3_bind_int(Net, 1, 1);
      sqlite3_bind_int(Net, 2, 1000000 + I);
      sqlite3_bind_int(Net, 3, K);
      sqlite3_bind_int(Net, 4, K);
      Check(sqlite3_step(Net), Db);
      sqlite3_reset(Net);
    }
    Exec("COMMIT");
    Ms.push_back(std::chrono::duration<double, std::milli>(TClock::now() - T0).count());
  }
  for (sqlite3_stmt* X : {P, R, S, Net}) sqlite3_finalize(X);
  sqlite3_close(Db);
  return Ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_commit DIR [SAVES] [PROCESSES] [SECONDS]\n");
    return 2;
  }
  std::string Dir = argv[1];
  if (Dir.back() != '/') Dir += '/';
  const int Saves = argc > 2 ? std::atoi(argv[2]) : 200;
  const int Processes = argc > 3 ? std::atoi(argv[3]) : 8;
  const int Seconds = argc > 4 ? std::atoi(argv[4]) : 20;
  SetTableFilesFactory(MakeTableFiles);
  auto* Session = new TDataSession();
  TDataDirectory* D = Session->OpenDirectory("db", Dir);
  auto T0 = TClock::now();
  Setup(D);
  std::printf("setup (netstat 200,000 rows): %.1f s\n", std::chrono::duration<double>(TClock::now() - T0).count());
  std::vector<double> Ms;
  int64_t Bytes = 0;
  {
    TTables T(D);
    for (int I = 0; I < Saves; ++I) {
      int64_t W0 = WrittenBytes();
      auto S0 = TClock::now();
      T.Save(1, I);
      Ms.push_back(std::chrono::duration<double, std::milli>(TClock::now() - S0).count());
      Bytes += WrittenBytes() - W0;
    }
  }
  Report("engine save", Ms);
  std::printf("engine save: %lld bytes written per save\n", static_cast<long long>(Bytes / Saves));
  std::vector<double> Lite = SQLiteSaves(Dir, Saves);
  Report("sqlite save (WAL, synchronous=FULL)", Lite);
  std::printf("engine / sqlite median ratio: %.2f\n", Median(Ms) / Median(Lite));
  delete Session;
  if (Processes <= 0) return 0;
  // The classroom: each process saves for its own student until the time is up.
  int Pipe[2];
  if (pipe(Pipe) != 0) return 1;
  std::vector<pid_t> Kids;
  for (int K = 0; K < Processes; ++K) {
    pid_t Pid = fork();
    if (Pid == 0) {
      close(Pipe[0]);
      int Done = 0, Failed = 0;
      try {
        auto* S = new TDataSession();
        TDataDirectory* KD = S->OpenDirectory("db", Dir);
        TTables T(KD);
        auto End = TClock::now() + std::chrono::seconds(Seconds);
        while (TClock::now() < End) {
          try {
            T.Save(2 + K, 100000 * (K + 1) + Done);
            ++Done;
          } catch (...) {
            ++Failed;
            if (KD->InTransaction) KD->Rollback();
          }
        }
      } catch (...) {
        Failed = -1;
      }
      int Out[2] = {Done, Failed};
      if (write(Pipe[1], Out, sizeof(Out)) != sizeof(Out)) _exit(1);
      _exit(0);
    }
    Kids.push_back(Pid);
  }
  close(Pipe[1]);
  int Total = 0, Failures = 0;
  for (size_t K = 0; K < Kids.size(); ++K) {
    int Got[2] = {0, 0};
    if (read(Pipe[0], Got, sizeof(Got)) == sizeof(Got)) {
      Total += Got[0];
      Failures += Got[1];
    }
  }
  for (pid_t P : Kids) waitpid(P, nullptr, 0);
  std::printf("classroom: %d processes, %d s: %d transactions, %.1f transactions/s, %d failed\n", Processes, Seconds,
              Total, Total / static_cast<double>(Seconds), Failures);
  return 0;
}
