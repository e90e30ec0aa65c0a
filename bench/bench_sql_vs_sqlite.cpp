// SQL over the engine's tables against the same statements in SQLite, in the same run, on the same
// machine: both on-disk databases with warm caches, SQLite in WAL mode with synchronous NORMAL.
// Every row of the comparison, each at several table sizes (10,000 and 100,000 rows by default):
//   BulkInsert       rows inserted in one transaction, then committed (time per row)
//   FirstStatement   the first point lookup after that transaction committed
//   PointLookup      one SELECT of a row by its primary key
//   RangeScan        1,000 consecutive primary keys (ID >= a AND ID < a + 1000)
//   Filter           a condition on an unindexed column that 10 % of the rows meet
//   GroupBy          1,000 groups with five aggregates
//   Join             two tables of N rows each joined through an index
//   WeakestKeys      the exercise selection's two statements over 165,000 netstat rows
//   TextJoin         10,000 names looked up through a string index of 100,000 names
//   ExerciseSave     one practice, its results, 40 statcalc and 60 netstat rows in a transaction
// Every run reads every result row. After the runs a table gives each engine/SQLite pair and the
// ratio of their times.
//
//   bench_sql_vs_sqlite --benchmark_min_time=0.5s
//   VX_BENCH_ROWS=1000000 bench_sql_vs_sqlite --benchmark_filter='/1000000'   (the large size alone)
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "dbengine/sql/sql_exec.h"
#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/table_files.h"
#include "platform/core/sysutils.h"

namespace {

constexpr int kGroups = 1000;
constexpr int kStudents = 25, kPractices = 120, kKeys = 55;

const char* const kSchema[] = {
    "CREATE TABLE t (ID INTEGER, GRP INTEGER, V INTEGER, F FLOAT, PRIMARY KEY (ID))",
    "CREATE TABLE u (ID INTEGER, TID INTEGER, W INTEGER, PRIMARY KEY (ID))",
    "CREATE INDEX UT ON u (TID)",
};
const char* const kNetstatSchema[] = {
    "CREATE TABLE netstat (ID_STUDENT INTEGER, ID_PRACTICE INTEGER, [KEY] SMALLINT, KEY_NAME CHAR(2), "
    "CNT INTEGER, CPM FLOAT, ACC FLOAT)",
    "CREATE INDEX netstat ON netstat (ID_STUDENT, ID_PRACTICE)",
    "CREATE TABLE practice (ID INTEGER, ID_STUDENT INTEGER, LESSON INTEGER, EXERCISE INTEGER, SECONDS INTEGER, "
    "PRIMARY KEY (ID))",
    "CREATE TABLE results (ID_PRACTICE INTEGER, CPM FLOAT, ACC FLOAT, ERRORS INTEGER, CHARS INTEGER, "
    "PRIMARY KEY (ID_PRACTICE))",
    "CREATE TABLE statcalc (ID_PRACTICE INTEGER, [KEY] SMALLINT, CNT INTEGER, ERR INTEGER, MS INTEGER)",
    "CREATE INDEX statcalc ON statcalc (ID_PRACTICE)",
};
const char* const kNameSchema[] = {
    "CREATE TABLE nm (ID INTEGER, NAME CHAR(12), PRIMARY KEY (ID))",
    "CREATE INDEX NMN ON nm (NAME)",
    "CREATE TABLE lk (ID INTEGER, NAME CHAR(12), PRIMARY KEY (ID))",
};
const char* const kTextJoin = "SELECT lk.ID, nm.ID FROM lk JOIN nm ON nm.NAME = lk.NAME";
const char* const kBulkSchema = "CREATE TABLE bulk (ID INTEGER, GRP INTEGER, V INTEGER, F FLOAT, PRIMARY KEY (ID))";

const char* const kGroupBy = "SELECT GRP, COUNT(*), SUM(V), MIN(V), MAX(F), AVG(F) FROM t GROUP BY GRP";
const char* const kJoin = "SELECT t.GRP, u.W FROM t JOIN u ON u.TID = t.ID WHERE u.W < 500";
const char* const kFilter = "SELECT ID, GRP, V FROM t WHERE V < 1000";
const char* const kPoint = "SELECT ID, GRP, V, F FROM t WHERE ID = %d";
const char* const kRange = "SELECT ID, GRP, V FROM t WHERE ID >= %d AND ID < %d";
const char* const kLastPractice = "select max(id_practice) x from netstat where id_student = %d";
const char* const kWeakest =
    "select key, cpm, acc from netstat where id_student = %d and id_practice = %d and key not in (13,32) "
    "order by acc, cpm";

int LargeRows() {
  const char* E = std::getenv("VX_BENCH_ROWS");
  return E ? std::atoi(E) : 0;
}

std::string RowOfT(const char* Table, int I, std::mt19937& G) {
  char B[256];
  std::snprintf(B, sizeof B, "INSERT INTO %s VALUES (%d, %d, %d, %d.%02d)", Table, I, static_cast<int>(G() % kGroups),
                static_cast<int>(G() % 10000), static_cast<int>(G() % 1000), static_cast<int>(G() % 100));
  return B;
}

// The rows of t and u for a table size, as INSERT statements (the same text for both engines).
std::vector<std::string> DataStatements(int Rows) {
  std::vector<std::string> S;
  std::mt19937 G(4711);
  char B[256];
  for (int I = 1; I <= Rows; ++I) S.push_back(RowOfT("t", I, G));
  for (int I = 1; I <= Rows; ++I) {
    std::snprintf(B, sizeof B, "INSERT INTO u VALUES (%d, %d, %d)", I, 1 + static_cast<int>(G() % Rows),
                  static_cast<int>(G() % 1000));
    S.push_back(B);
  }
  return S;
}

std::string NetstatRow(int Student, int Practice, int K, std::mt19937& G) {
  char B[256];
  const int Key = K == 0 ? 32 : K == 1 ? 13 : 'a' + (K - 2) % 26 + ((K - 2) / 26) * 0x60;
  std::snprintf(B, sizeof B, "INSERT INTO netstat VALUES (%d, %d, %d, '%c', %d, %d.%d, 0.%03d)", Student, Practice, Key,
                Key == 13 ? 'n' : static_cast<char>(Key), 1 + static_cast<int>(G() % 900),
                60 + static_cast<int>(G() % 300), static_cast<int>(G() % 10), static_cast<int>(G() % 1000));
  return B;
}

// Every practice stores a snapshot of every key the student has typed.
std::vector<std::string> NetstatStatements() {
  std::vector<std::string> S;
  std::mt19937 G(815);
  int Practice = 0;
  for (int P = 0; P < kPractices; ++P)
    for (int Student = 1; Student <= kStudents; ++Student) {
      ++Practice;
      for (int K = 0; K < kKeys; ++K) S.push_back(NetstatRow(Student, Practice, K, G));
    }
  return S;
}

// 100,000 names in nm and 10,000 in lk, about one in ten of lk's also in nm.
std::vector<std::string> NameStatements() {
  std::vector<std::string> S;
  std::mt19937 G(31);
  char B[128];
  for (int I = 1; I <= 100000; ++I) {
    std::snprintf(B, sizeof B, "INSERT INTO nm VALUES (%d, 'n%07d')", I, static_cast<int>(G() % 1000000));
    S.push_back(B);
  }
  for (int I = 1; I <= 10000; ++I) {
    std::snprintf(B, sizeof B, "INSERT INTO lk VALUES (%d, 'n%07d')", I, static_cast<int>(G() % 1000000));
    S.push_back(B);
  }
  return S;
}

// The statements of one exercise save (practice number P of a student).
std::vector<std::string> SaveStatements(int P, std::mt19937& G) {
  std::vector<std::string> S;
  char B[256];
  const int Student = 1 + P % kStudents;
  std::snprintf(B, sizeof B, "INSERT INTO practice VALUES (%d, %d, %d, %d, %d)", P, Student, P % 40, P % 7, 60 + P % 300);
  S.push_back(B);
  std::snprintf(B, sizeof B, "INSERT INTO results VALUES (%d, %d.5, 0.%03d, %d, %d)", P, 100 + P % 200,
                static_cast<int>(G() % 1000), static_cast<int>(G() % 30), 300 + static_cast<int>(G() % 500));
  S.push_back(B);
  for (int K = 0; K < 40; ++K) {
    std::snprintf(B, sizeof B, "INSERT INTO statcalc VALUES (%d, %d, %d, %d, %d)", P, 'a' + K % 26, 1 + K,
                  static_cast<int>(G() % 5), static_cast<int>(G() % 900));
    S.push_back(B);
  }
  for (int K = 0; K < 60; ++K) S.push_back(NetstatRow(Student, 1000000 + P, K % kKeys, G));
  return S;
}

std::string TempDir() {
  char Tmpl[] = "/tmp/vxbenchsql.XXXXXX";
  if (!mkdtemp(Tmpl)) throw std::runtime_error("mkdtemp");
  return std::string(Tmpl) + "/";
}

class TVXSide {
 public:
  explicit TVXSide(const std::vector<std::string>& Schema, const std::vector<std::string>& Data) : FPath(TempDir()) {
    if (!GetTableFilesFactory()) SetTableFilesFactory(MakeTableFiles);
    std::filesystem::create_directories(FPath + "priv/");
    FSession = std::make_unique<TDataSession>();
    FSession->LanguageID = 1045;
    FSession->SortID = 0;
    FSession->SetPrivateDir(FPath + "priv/");
    std::filesystem::create_directories(FPath + "db/");
    FDir = FSession->OpenDirectory("bench", FPath + "db/");
    FExec = std::make_unique<TSQLExecutor>(FDir);
    for (const std::string& S : Schema) FExec->ExecSQL(S);
    FDir->StartTransaction();
    for (const std::string& S : Data) FExec->ExecSQL(S);
    FDir->Commit();
  }
  ~TVXSide() {
    FExec.reset();
    FSession.reset();
    std::error_code E;
    std::filesystem::remove_all(FPath, E);
  }
  void Exec(const std::string& SQL) { FExec->ExecSQL(SQL); }
  void Begin() { FDir->StartTransaction(); }
  void Commit() { FDir->Commit(); }
  // Runs a SELECT and reads its rows; returns the first field of the first row.
  std::string Select(const std::string& SQL, int64_t& Rows) {
    FExec->ExecSQL(SQL);
    TDataCursor* C = FExec->ResultCursor();
    std::vector<uint8_t> B(C->RecordBufferSize);
    std::string First;
    C->MoveToBegin();
    while (C->GetNextRecord(B.data()) == 0) {
      if (Rows++ == 0 || First.empty()) First = SQLFieldText(C, 1, B.data());
      for (int F = 2; F <= C->FieldCount; ++F) benchmark::DoNotOptimize(SQLFieldText(C, F, B.data()));
    }
    return First;
  }

 private:
  std::string FPath;
  std::unique_ptr<TDataSession> FSession;
  TDataDirectory* FDir = nullptr;
  std::unique_ptr<TSQLExecutor> FExec;
};

class TSQLiteSide {
 public:
  explicit TSQLiteSide(const std::vector<std::string>& Schema, const std::vector<std::string>& Data)
      : FPath(TempDir()) {
    if (sqlite3_open((FPath + "bench.db").c_str(), &FDB) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
    // SQLite keeps index and table names apart from each other.
    for (const std::string& S : Schema) {
      if (S.rfind("CREATE INDEX NMN ", 0) == 0)
        Exec("CREATE INDEX nm_name ON nm (NAME)");
      else if (S.rfind("CREATE INDEX netstat ", 0) == 0)
        Exec("CREATE INDEX netstat_i ON netstat (ID_STUDENT, ID_PRACTICE)");
      else if (S.rfind("CREATE INDEX statcalc ", 0) == 0)
        Exec("CREATE INDEX statcalc_i ON statcalc (ID_PRACTICE)");
      else
        Exec(S);
    }
    Exec("BEGIN");
    for (const std::string& S : Data) Exec(S);
    Exec("COMMIT");
  }
  ~TSQLiteSide() {
    sqlite3_close(FDB);
    std::error_code E;
    std::filesystem::remove_all(FPath, E);
  }
  void Exec(const std::string& SQL) {
    if (sqlite3_exec(FDB, SQL.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string(sqlite3_errmsg(FDB)) + " in " + SQL);
  }
  void Begin() { Exec("BEGIN"); }
  void Commit() { Exec("COMMIT"); }
  std::string Select(const std::string& SQL, int64_t& Rows) {
    sqlite3_stmt* S = nullptr;
    if (sqlite3_prepare_v2(FDB, SQL.c_str(), -1, &S, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string(sqlite3_errmsg(FDB)) + " in " + SQL);
    std::string First;
    while (sqlite3_step(S) == SQLITE_ROW) {
      if (Rows++ == 0 || First.empty()) {
        const unsigned char* T = sqlite3_column_text(S, 0);
        First = T ? reinterpret_cast<const char*>(T) : "";
      }
      for (int F = 1; F < sqlite3_column_count(S); ++F) benchmark::DoNotOptimize(sqlite3_column_text(S, F));
    }
    sqlite3_finalize(S);
    return First;
  }

 private:
  std::string FPath;
  sqlite3* FDB = nullptr;
};

std::vector<std::string> Strings(const char* const* B, const char* const* E) { return {B, E}; }

// The databases of each size, built on first use and kept for the whole run; main frees them
// while the engine's own state still exists.
std::vector<std::function<void()>>& Cleanups() {
  static std::vector<std::function<void()>> C;
  return C;
}
template <class Side>
std::map<int, std::unique_ptr<Side>>& Sides() {
  static std::map<int, std::unique_ptr<Side>> M;
  static bool Listed = false;
  if (!Listed) {
    Listed = true;
    Cleanups().push_back([] { Sides<Side>().clear(); });
  }
  return M;
}
template <class Side>
Side& Tables(int Rows) {
  auto& S = Sides<Side>()[Rows];
  if (!S) {
    S = std::make_unique<Side>(Strings(std::begin(kSchema), std::end(kSchema)), DataStatements(Rows));
    // The first statements after the filling transaction are measured by FirstStatement.
    int64_t N = 0;
    S->Select("SELECT ID FROM t WHERE ID = 1", N);
    S->Select("SELECT ID FROM u WHERE ID = 1", N);
  }
  return *S;
}
template <class Side>
Side& Netstat() {
  auto& S = Sides<Side>()[-1];
  if (!S) {
    S = std::make_unique<Side>(Strings(std::begin(kNetstatSchema), std::end(kNetstatSchema)), NetstatStatements());
    int64_t N = 0;
    S->Select("SELECT KEY FROM netstat WHERE ID_STUDENT = 1 AND ID_PRACTICE = 1", N);
  }
  return *S;
}

template <class Side>
Side& Names() {
  auto& S = Sides<Side>()[-2];
  if (!S) S = std::make_unique<Side>(Strings(std::begin(kNameSchema), std::end(kNameSchema)), NameStatements());
  return *S;
}

template <class Side>
void RunQuery(benchmark::State& State, const char* SQL) {
  Side& S = Tables<Side>(static_cast<int>(State.range(0)));
  int64_t Rows = 0;
  for (auto _ : State) benchmark::DoNotOptimize(S.Select(SQL, Rows));
  State.counters["rows/run"] = static_cast<double>(Rows) / static_cast<double>(State.iterations());
}

template <class Side>
void RunPoint(benchmark::State& State) {
  const int N = static_cast<int>(State.range(0));
  Side& S = Tables<Side>(N);
  std::mt19937 G(99);
  int64_t Rows = 0;
  char B[256];
  for (auto _ : State) {
    std::snprintf(B, sizeof B, kPoint, 1 + static_cast<int>(G() % N));
    benchmark::DoNotOptimize(S.Select(B, Rows));
  }
  State.counters["rows/run"] = static_cast<double>(Rows) / static_cast<double>(State.iterations());
}

template <class Side>
void RunRange(benchmark::State& State) {
  const int N = static_cast<int>(State.range(0));
  Side& S = Tables<Side>(N);
  std::mt19937 G(98);
  int64_t Rows = 0;
  char B[256];
  for (auto _ : State) {
    const int From = 1 + static_cast<int>(G() % (N - 1000));
    std::snprintf(B, sizeof B, kRange, From, From + 1000);
    benchmark::DoNotOptimize(S.Select(B, Rows));
  }
  State.counters["rows/run"] = static_cast<double>(Rows) / static_cast<double>(State.iterations());
}

// A fresh table filled in one transaction; with First the time is that of the first statement
// after the commit, otherwise that of the inserts and the commit per row.
template <class Side>
void RunBulk(benchmark::State& State, bool First) {
  const int N = static_cast<int>(State.range(0));
  Side& S = Tables<Side>(10000);
  std::mt19937 G(7);
  for (auto _ : State) {
    S.Exec(kBulkSchema);
    auto T0 = std::chrono::steady_clock::now();
    S.Begin();
    for (int I = 1; I <= N; ++I) S.Exec(RowOfT("bulk", I, G));
    S.Commit();
    auto T1 = std::chrono::steady_clock::now();
    int64_t Rows = 0;
    benchmark::DoNotOptimize(S.Select("SELECT ID, V FROM bulk WHERE ID = 17", Rows));
    auto T2 = std::chrono::steady_clock::now();
    S.Exec("DROP TABLE bulk");
    State.SetIterationTime(std::chrono::duration<double>(First ? T2 - T1 : (T1 - T0) / N).count());
  }
}

// The exercise selection's two statements for one student after another.
template <class Side>
void RunWeakestKeys(benchmark::State& State) {
  Side& S = Netstat<Side>();
  int64_t Rows = 0;
  int Student = 0;
  char B[256];
  for (auto _ : State) {
    Student = Student % kStudents + 1;
    std::snprintf(B, sizeof B, kLastPractice, Student);
    int64_t One = 0;
    const std::string Last = S.Select(B, One);
    std::snprintf(B, sizeof B, kWeakest, Student, std::atoi(Last.c_str()));
    benchmark::DoNotOptimize(S.Select(B, Rows));
  }
  State.counters["rows/run"] = static_cast<double>(Rows) / static_cast<double>(State.iterations());
}

template <class Side>
void RunTextJoin(benchmark::State& State) {
  Side& S = Names<Side>();
  int64_t Rows = 0;
  for (auto _ : State) benchmark::DoNotOptimize(S.Select(kTextJoin, Rows));
  State.counters["rows/run"] = static_cast<double>(Rows) / static_cast<double>(State.iterations());
}

template <class Side>
void RunExerciseSave(benchmark::State& State) {
  Side& S = Netstat<Side>();
  static int Practice = 0;
  std::mt19937 G(5);
  for (auto _ : State) {
    State.PauseTiming();
    const std::vector<std::string> Save = SaveStatements(++Practice, G);
    State.ResumeTiming();
    S.Begin();
    for (const std::string& Q : Save) S.Exec(Q);
    S.Commit();
  }
}

void Sizes(benchmark::internal::Benchmark* B) {
  if (int L = LargeRows()) {
    B->Arg(L);
  } else {
    B->Arg(10000)->Arg(100000);
  }
}
void BulkSizes(benchmark::internal::Benchmark* B) {
  Sizes(B);
  B->UseManualTime()->Iterations(1);
}

template <class Side>
void GroupByBody(benchmark::State& State) { RunQuery<Side>(State, kGroupBy); }
template <class Side>
void JoinBody(benchmark::State& State) { RunQuery<Side>(State, kJoin); }
template <class Side>
void FilterBody(benchmark::State& State) { RunQuery<Side>(State, kFilter); }
template <class Side>
void BulkBody(benchmark::State& State) { RunBulk<Side>(State, false); }
template <class Side>
void FirstBody(benchmark::State& State) { RunBulk<Side>(State, true); }

void NoArgs(benchmark::internal::Benchmark*) {}

#define PAIR(Id, Fn, U, Args)                                                                 \
  void Id##_VX(benchmark::State& State) { Fn<TVXSide>(State); }                                \
  void Id##_SQLite(benchmark::State& State) { Fn<TSQLiteSide>(State); }                        \
  BENCHMARK(Id##_VX)->Name(#Id "/VX")->Unit(benchmark::U)->Apply(Args);                      \
  BENCHMARK(Id##_SQLite)->Name(#Id "/SQLite")->Unit(benchmark::U)->Apply(Args);

PAIR(BulkInsert, BulkBody, kMicrosecond, BulkSizes)
PAIR(FirstStatement, FirstBody, kMillisecond, BulkSizes)
PAIR(PointLookup, RunPoint, kMicrosecond, Sizes)
PAIR(RangeScan, RunRange, kMicrosecond, Sizes)
PAIR(Filter, FilterBody, kMillisecond, Sizes)
PAIR(GroupBy, GroupByBody, kMillisecond, Sizes)
PAIR(Join, JoinBody, kMillisecond, Sizes)
PAIR(WeakestKeys, RunWeakestKeys, kMicrosecond, NoArgs)
PAIR(TextJoin, RunTextJoin, kMillisecond, NoArgs)
PAIR(ExerciseSave, RunExerciseSave, kMicrosecond, NoArgs)

// Prints the usual output and, at the end, each engine/SQLite pair with the ratio of their times.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& R : Runs) {
      if (R.run_type != Run::RT_Iteration || R.error_occurred) continue;
      std::string Name = R.benchmark_name();
      const size_t At = Name.find("/VX");
      const size_t AtLite = Name.find("/SQLite");
      const double T = R.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(R.time_unit);
      if (At != std::string::npos)
        FPairs[Name.substr(0, At) + Name.substr(At + 3)].first = T;
      else if (AtLite != std::string::npos)
        FPairs[Name.substr(0, AtLite) + Name.substr(AtLite + 7)].second = T;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nSQLite: journal_mode=WAL, synchronous=NORMAL. Times in ns per iteration (per row for BulkInsert).\n");
    std::printf("%-32s %16s %16s %10s\n", "work", "engine", "SQLite", "ratio");
    for (auto& [Name, P] : FPairs)
      std::printf("%-32s %16.0f %16.0f %9.1fx\n", Name.c_str(), P.first, P.second,
                  P.second > 0 ? P.first / P.second : 0.0);
  }

 private:
  std::map<std::string, std::pair<double, double>> FPairs;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  for (auto& C : Cleanups()) C();
  benchmark::Shutdown();
  return 0;
}
