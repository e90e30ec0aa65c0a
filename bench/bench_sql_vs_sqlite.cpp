// SQL over the engine's tables against the same statements in SQLite (an on-disk database, both
// with warm caches): GROUP BY with aggregates over 100,000 rows, a two-table join of 100,000 rows
// each through an index, and the exercise selection's weakest-keys lookup (the student's last
// practice, then its keys ordered by accuracy and speed) over a netstat table of 25 students with
// 120 practices of 55 keys each. Every run reads every result row. Compare the times of each
// VX / SQLite pair.
//
//   bench_sql_vs_sqlite --benchmark_min_time=1
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
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

constexpr int kRows = 100000;
constexpr int kGroups = 1000;
constexpr int kStudents = 25, kPractices = 120, kKeys = 55;

const char* const kSchema[] = {
    "CREATE TABLE t (ID INTEGER, GRP INTEGER, V INTEGER, F FLOAT, PRIMARY KEY (ID))",
    "CREATE TABLE u (ID INTEGER, TID INTEGER, W INTEGER, PRIMARY KEY (ID))",
    "CREATE INDEX UT ON u (TID)",
    "CREATE TABLE netstat (ID_STUDENT INTEGER, ID_PRACTICE INTEGER, [KEY] SMALLINT, KEY_NAME CHAR(2), "
    "CNT INTEGER, CPM FLOAT, ACC FLOAT)",
    "CREATE INDEX netstat ON netstat (ID_STUDENT, ID_PRACTICE)",
};

const char* const kGroupBy = "SELECT GRP, COUNT(*), SUM(V), MIN(V), MAX(F), AVG(F) FROM t GROUP BY GRP";
const char* const kJoin = "SELECT t.GRP, u.W FROM t JOIN u ON u.TID = t.ID WHERE u.W < 500";
const char* const kLastPractice = "select max(id_practice) x from netstat where id_student = %d";
const char* const kWeakest =
    "select key, cpm, acc from netstat where id_student = %d and id_practice = %d and key not in (13,32) "
    "order by acc, cpm";

// The rows of both databases, as INSERT statements (the same text for both engines).
std::vector<std::string> DataStatements() {
  std::vector<std::string> S;
  std::mt19937 G(4711);
  char B[256];
  for (int I = 1; I <= kRows; ++I) {
    std::snprintf(B, sizeof B, "INSERT INTO t VALUES (%d, %d, %d, %d.%02d)", I, static_cast<int>(G() % kGroups),
                  static_cast<int>(G() % 10000), static_cast<int>(G() % 1000), static_cast<int>(G() % 100));
    S.push_back(B);
  }
  for (int I = 1; I <= kRows; ++I) {
    std::snprintf(B, sizeof B, "INSERT INTO u VALUES (%d, %d, %d)", I, 1 + static_cast<int>(G() % kRows),
                  static_cast<int>(G() % 1000));
    S.push_back(B);
  }
  // Every practice stores a snapshot of every key the student has typed.
  int Practice = 0;
  for (int P = 0; P < kPractices; ++P)
    for (int Student = 1; Student <= kStudents; ++Student) {
      ++Practice;
      for (int K = 0; K < kKeys; ++K) {
        const int Key = K == 0 ? 32 : K == 1 ? 13 : 'a' + (K - 2) % 26 + ((K - 2) / 26) * 0x60;
        std::snprintf(B, sizeof B, "INSERT INTO netstat VALUES (%d, %d, %d, '%c', %d, %d.%d, 0.%03d)", Student,
                      Practice, Key, Key == 13 ? 'n' : static_cast<char>(Key), 1 + static_cast<int>(G() % 900),
                      60 + static_cast<int>(G() % 300), static_cast<int>(G() % 10), static_cast<int>(G() % 1000));
        S.push_back(B);
      }
    }
  return S;
}

std::string TempDir() {
  char Tmpl[] = "/tmp/vxbenchsql.XXXXXX";
  if (!mkdtemp(Tmpl)) throw std::runtime_error("mkdtemp");
  return std::string(Tmpl) + "/";
}

class TVXSide {
 public:
  explicit TVXSide(const std::vector<std::string>& Data) : FPath(TempDir()) {
    if (!GetTableFilesFactory()) SetTableFilesFactory(MakeTableFiles);
    std::filesystem::create_directories(FPath + "priv/");
    FSession = std::make_unique<TDataSession>();
    FSession->LanguageID = 1045;
    FSession->SortID = 0;
    FSession->SetPrivateDir(FPath + "priv/");
    std::filesystem::create_directories(FPath + "db/");
    FDir = FSession->OpenDirectory("bench", FPath + "db/");
    FExec = std::make_unique<TSQLExecutor>(FDir);
    for (const char* S : kSchema) FExec->ExecSQL(S);
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
  explicit TSQLiteSide(const std::vector<std::string>& Data) : FPath(TempDir()) {
    if (sqlite3_open((FPath + "bench.db").c_str(), &FDB) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    // SQLite keeps index and table names apart from each other.
    for (std::string S : kSchema) Exec(S == kSchema[4] ? "CREATE INDEX netstat_i ON netstat (ID_STUDENT, ID_PRACTICE)" : S);
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

const std::vector<std::string>& Data() {
  static const std::vector<std::string> D = DataStatements();
  return D;
}
TVXSide& VX() {
  static TVXSide S(Data());
  return S;
}
TSQLiteSide& Lite() {
  static TSQLiteSide S(Data());
  return S;
}

template <class Side>
void RunQuery(benchmark::State& State, Side& S, const char* SQL) {
  int64_t Rows = 0;
  for (auto _ : State) benchmark::DoNotOptimize(S.Select(SQL, Rows));
  State.counters["rows/run"] = static_cast<double>(Rows) / static_cast<double>(State.iterations());
}

// The two statements of the exercise selection for one student after another.
template <class Side>
void RunWeakestKeys(benchmark::State& State, Side& S) {
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

void BM_GroupBy_VX(benchmark::State& State) { RunQuery(State, VX(), kGroupBy); }
void BM_GroupBy_SQLite(benchmark::State& State) { RunQuery(State, Lite(), kGroupBy); }
void BM_Join_VX(benchmark::State& State) { RunQuery(State, VX(), kJoin); }
void BM_Join_SQLite(benchmark::State& State) { RunQuery(State, Lite(), kJoin); }
void BM_WeakestKeys_VX(benchmark::State& State) { RunWeakestKeys(State, VX()); }
void BM_WeakestKeys_SQLite(benchmark::State& State) { RunWeakestKeys(State, Lite()); }

BENCHMARK(BM_GroupBy_VX)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupBy_SQLite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Join_VX)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Join_SQLite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WeakestKeys_VX)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WeakestKeys_SQLite)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
