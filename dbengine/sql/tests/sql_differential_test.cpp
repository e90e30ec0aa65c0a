// The same SELECT statements on random tables, run by this engine and by SQLite: joins (with and
// without join optimisation), grouping and aggregates, DISTINCT, multi-key ORDER BY with DESC and
// NOCASE, IN lists and sub-selects, BETWEEN and LIKE must give the same multisets of rows, and
// the same order where the ORDER BY decides every position.
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "dbengine/sql/tests/sql_exec_test_util.h"

using namespace sqltest;

namespace {

class SQLiteDB {
 public:
  SQLiteDB() {
    if (sqlite3_open(":memory:", &FDB) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    // LIKE compares letters by case in this engine.
    Exec("PRAGMA case_sensitive_like = ON");
  }
  ~SQLiteDB() { sqlite3_close(FDB); }
  void Exec(const std::string& SQL) {
    char* Msg = nullptr;
    if (sqlite3_exec(FDB, SQL.c_str(), nullptr, nullptr, &Msg) != SQLITE_OK) {
      const std::string M = Msg ? Msg : "?";
      sqlite3_free(Msg);
      throw std::runtime_error(M + " in " + SQL);
    }
  }
  TRows Query(const std::string& SQL) {
    sqlite3_stmt* S = nullptr;
    if (sqlite3_prepare_v2(FDB, SQL.c_str(), -1, &S, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string(sqlite3_errmsg(FDB)) + " in " + SQL);
    TRows Rows;
    int R;
    while ((R = sqlite3_step(S)) == SQLITE_ROW) {
      std::vector<std::string> Row;
      for (int I = 0; I < sqlite3_column_count(S); ++I) {
        const unsigned char* T = sqlite3_column_text(S, I);
        Row.push_back(T ? reinterpret_cast<const char*>(T) : "");
      }
      Rows.push_back(Row);
    }
    sqlite3_finalize(S);
    if (R != SQLITE_DONE) throw std::runtime_error(std::string(sqlite3_errmsg(FDB)) + " in " + SQL);
    return Rows;
  }

 private:
  sqlite3* FDB = nullptr;
};

// Numbers in one form (integers and floats print differently in the two engines; AVG may differ
// in its last bits), everything else as it is.
std::string Canonical(const std::string& S) {
  if (S.empty()) return S;
  char* End = nullptr;
  const double V = std::strtod(S.c_str(), &End);
  if (*End != '\0' || S.find_first_not_of("0123456789.-+eE") != std::string::npos) return S;
  char B[40];
  std::snprintf(B, sizeof B, "%.10g", V == 0 ? 0.0 : V);
  return B;
}

TRows CanonicalRows(TRows Rows) {
  for (auto& R : Rows)
    for (auto& C : R) C = Canonical(C);
  return Rows;
}

// Texts of ASCII letters of both cases, so that both engines fold them alike.
std::string RandomName(std::mt19937& G, size_t MaxLength) {
  static const char Letters[] = "abcABCdeDExyXY";
  std::string S;
  const size_t N = 1 + G() % MaxLength;
  for (size_t I = 0; I < N; ++I) S += Letters[G() % (sizeof Letters - 1)];
  return S;
}

struct TCase {
  std::string Ours;
  std::string Lite;  // empty: the same text
  bool Ordered;      // the ORDER BY decides every row's position
};

class DifferentialTest : public SQLTest {
 protected:
  void SetUp() override {
    SQLTest::SetUp();
    std::mt19937 G(20261210);
    const std::vector<std::string> Schema = {
        "CREATE TABLE a (ID INTEGER, K INTEGER, NAME CHAR(10), F FLOAT, PRIMARY KEY (ID))",
        "CREATE TABLE b (ID INTEGER, AK INTEGER, TAG CHAR(8), V INTEGER, PRIMARY KEY (ID))",
        "CREATE INDEX BK ON b (AK)"};
    for (const auto& S : Schema) {
      Exec(S);
      Lite.Exec(S);
    }
    std::vector<std::string> Inserts;
    for (int I = 1; I <= 300; ++I)
      Inserts.push_back("INSERT INTO a VALUES (" + std::to_string(I) + ", " + std::to_string(G() % 40) + ", '" +
                        RandomName(G, 4) + "', " + std::to_string(static_cast<int>(G() % 2000) - 1000) + "." +
                        std::to_string(G() % 4 * 25) + ")");
    for (int I = 1; I <= 400; ++I) {
      // Some b rows point at no a row (keys past 300), some V are NULL.
      const int V = static_cast<int>(G() % 200) - 50;
      Inserts.push_back("INSERT INTO b VALUES (" + std::to_string(I) + ", " + std::to_string(1 + G() % 340) + ", '" +
                        RandomName(G, 3) + "', " + (G() % 10 == 0 ? std::string("NULL") : std::to_string(V)) + ")");
    }
    for (const auto& S : Inserts) {
      Exec(S);
      Lite.Exec(S);
    }
  }

  // Statements of the tables must find rows (so that they test something); random ones may not.
  void Compare(const TCase& C, bool NoJoinOptimize, bool MayBeEmpty = false) {
    const std::string Ours = C.Ours + (NoJoinOptimize ? " NOJOINOPTIMIZE" : "");
    SCOPED_TRACE(Ours);
    TRows Mine, Theirs;
    try {
      Mine = CanonicalRows(Query(Ours));
    } catch (const Exception& E) {
      ADD_FAILURE() << E.Message();
      return;
    }
    Theirs = CanonicalRows(Lite.Query(C.Lite.empty() ? C.Ours : C.Lite));
    if (!MayBeEmpty) {
      EXPECT_FALSE(Theirs.empty());
    }
    if (!C.Ordered) {
      std::sort(Mine.begin(), Mine.end());
      std::sort(Theirs.begin(), Theirs.end());
    }
    EXPECT_EQ(Mine.size(), Theirs.size());
    for (size_t I = 0; I < std::min(Mine.size(), Theirs.size()); ++I)
      if (Mine[I] != Theirs[I]) {
        ADD_FAILURE() << "first difference at row " << I << ": " << ::testing::PrintToString(Mine[I]) << " vs "
                      << ::testing::PrintToString(Theirs[I]);
        break;
      }
  }

  SQLiteDB Lite;
};

TEST_F(DifferentialTest, JoinsGiveTheSameRowsWithAndWithoutJoinOptimisation) {
  const TCase Cases[] = {
      {"SELECT a.ID, a.NAME, b.ID, b.TAG FROM a INNER JOIN b ON a.ID = b.AK", "", false},
      {"SELECT a.ID, b.ID FROM a, b WHERE a.ID = b.AK AND b.V > 20", "", false},
      {"SELECT a.ID, a.K, b.ID, b.V FROM a LEFT JOIN b ON a.ID = b.AK", "", false},
      {"SELECT a.ID, b.ID, b.V FROM a LEFT OUTER JOIN b ON a.ID = b.AK AND b.V < 0 WHERE a.K < 20", "", false},
      {"SELECT b.ID, b.AK, a.NAME FROM a RIGHT JOIN b ON a.ID = b.AK", "", false},
      {"SELECT b.ID, a.ID FROM a RIGHT OUTER JOIN b ON b.AK = a.ID WHERE b.V BETWEEN 0 AND 60", "", false},
      // Three tables, the join on a non-key column.
      {"SELECT x.ID, y.ID, z.ID FROM a x JOIN b y ON x.ID = y.AK JOIN a z ON z.K = x.K WHERE z.ID < 40", "", false},
      {"SELECT a.K, COUNT(*), SUM(b.V) FROM a JOIN b ON a.ID = b.AK GROUP BY a.K", "", false},
      {"SELECT a.ID, b.ID FROM a JOIN b ON a.ID = b.AK ORDER BY b.ID DESC", "", true},
      {"SELECT a.K, b.TAG, COUNT(*), MAX(b.V) FROM a JOIN b ON a.ID = b.AK GROUP BY a.K, b.TAG", "", false},
      {"SELECT DISTINCT a.K FROM a JOIN b ON a.ID = b.AK WHERE b.TAG LIKE '%a%'", "", false},
      {"SELECT a.NAME, b.ID FROM a JOIN b ON a.ID = b.AK WHERE a.K IN (SELECT K FROM a WHERE F > 900)", "", false},
  };
  for (const TCase& C : Cases) {
    Compare(C, false);
    Compare(C, true);
  }
}

TEST_F(DifferentialTest, GroupingDistinctOrderingAndConditionsGiveTheSameRows) {
  const TCase Cases[] = {
      {"SELECT K, COUNT(*), SUM(F), MIN(F), MAX(F), AVG(F) FROM a GROUP BY K", "", false},
      {"SELECT AK, COUNT(V), SUM(V), MIN(V), MAX(V), AVG(V) FROM b GROUP BY AK", "", false},
      {"SELECT COUNT(*), SUM(V), AVG(V), MIN(AK), MAX(AK) FROM b", "", false},
      {"SELECT K, COUNT(*) FROM a WHERE F > 0 GROUP BY K HAVING COUNT(*) > 3", "", false},
      {"SELECT K, COUNT(*), SUM(F) FROM a GROUP BY K ORDER BY 2 DESC, 1", "", true},
      {"SELECT DISTINCT K FROM a", "", false},
      {"SELECT DISTINCT TAG, AK FROM b WHERE AK < 100", "", false},
      // Multi-key orders; the last key makes them total.
      {"SELECT K, F, ID FROM a ORDER BY K DESC, F, ID DESC", "", true},
      {"SELECT NAME, ID FROM a ORDER BY NAME, ID", "", true},
      {"SELECT NAME, K, ID FROM a ORDER BY NAME DESC, K, ID NOCASE",
       "SELECT NAME, K, ID FROM a ORDER BY NAME COLLATE NOCASE DESC, K, ID", true},
      {"SELECT UPPER(NAME), ID FROM a ORDER BY 1, 2 DESC NOCASE", "SELECT UPPER(NAME), ID FROM a ORDER BY 1, 2 DESC",
       true},
      {"SELECT TAG, V, ID FROM b WHERE V IS NOT NULL ORDER BY TAG NOCASE",
       "SELECT TAG, V, ID FROM b WHERE V IS NOT NULL ORDER BY TAG COLLATE NOCASE", false},
      {"SELECT ID, K FROM a WHERE K IN (1, 3, 5, 7, 39) ORDER BY ID", "", true},
      {"SELECT ID FROM a WHERE NAME IN ('a', 'B', 'xY', 'ab')", "", false},
      {"SELECT ID, K FROM a WHERE ID IN (SELECT AK FROM b WHERE V > 100)", "", false},
      {"SELECT ID FROM a WHERE K NOT IN (SELECT AK FROM b WHERE AK < 30) AND ID < 100", "", false},
      {"SELECT ID, F FROM a WHERE F BETWEEN -100 AND 250.5", "", false},
      // NOT looks only at its operand's value, so NOT BETWEEN (like NOT LIKE) holds for a NULL
      // value here, while SQLite's NOT of unknown stays unknown: the NULLs are left out.
      {"SELECT ID FROM b WHERE V NOT BETWEEN 0 AND 100 AND V IS NOT NULL", "", false},
      {"SELECT ID, NAME FROM a WHERE NAME LIKE 'a%'", "", false},
      {"SELECT ID, NAME FROM a WHERE NAME LIKE '%B_'", "", false},
      {"SELECT ID, TAG FROM b WHERE TAG NOT LIKE '%x%' AND V < 0", "", false},
  };
  for (const TCase& C : Cases) Compare(C, false);
}

// Grouping over many groups read in no particular order: string groups that differ only in case,
// NULL groups in a string and an integer column, two grouping columns, NULL values inside the
// aggregates, HAVING and ORDER BY on the groups, and a whole-table aggregate over no rows.
TEST_F(DifferentialTest, ManyGroupsWithNullsAndCaseGiveTheSameRows) {
  const std::string Schema = "CREATE TABLE c (ID INTEGER, G1 CHAR(6), G2 INTEGER, V INTEGER, F FLOAT, PRIMARY KEY (ID))";
  Exec(Schema);
  Lite.Exec(Schema);
  std::mt19937 G(7);
  for (int I = 1; I <= 3000; ++I) {
    // The keys go in a scattered order, so that the rows of one group are far apart.
    const int Id = (I * 7919) % 3001;
    const std::string G1 = G() % 20 == 0 ? std::string("NULL") : "'" + RandomName(G, 2) + "'";
    const std::string G2 = G() % 15 == 0 ? std::string("NULL") : std::to_string(static_cast<int>(G() % 60) - 20);
    const std::string V = G() % 8 == 0 ? std::string("NULL") : std::to_string(static_cast<int>(G() % 1000) - 300);
    const std::string S = "INSERT INTO c VALUES (" + std::to_string(Id) + ", " + G1 + ", " + G2 + ", " + V + ", " +
                          std::to_string(static_cast<int>(G() % 400) - 200) + ".5)";
    Exec(S);
    Lite.Exec(S);
  }
  const TCase Cases[] = {
      {"SELECT G1, COUNT(*), COUNT(V), SUM(V), MIN(V), MAX(F), AVG(F) FROM c GROUP BY G1", "", false},
      {"SELECT G1, G2, COUNT(*), SUM(F), MAX(V) FROM c GROUP BY G1, G2", "", false},
      {"SELECT G2, G1, MIN(F), AVG(V) FROM c WHERE ID > 100 GROUP BY 1, 2", "", false},
      {"SELECT G2, COUNT(*), SUM(V), MIN(ID) FROM c GROUP BY G2 ORDER BY G2", "", true},
      {"SELECT G2, SUM(V) FROM c GROUP BY G2 ORDER BY 2 DESC", "", true},
      {"SELECT G1, COUNT(*), SUM(V) FROM c GROUP BY G1 HAVING COUNT(*) > 14 OR SUM(V) < 0", "", false},
      {"SELECT G2 * 2, COUNT(*), AVG(V) FROM c WHERE V IS NOT NULL GROUP BY 1", "", false},
      {"SELECT COUNT(*), COUNT(V), SUM(V), MIN(V), AVG(F) FROM c WHERE ID < 0", "", false},
  };
  for (const TCase& C : Cases) Compare(C, false);
}

// HAVING over each aggregate of the select list, on one table and on a join, grouped by name and
// by position, alone and combined with a grouping column or another aggregate.
TEST_F(DifferentialTest, HavingOverEveryAggregateGivesTheSameRows) {
  const TCase Cases[] = {
      {"SELECT AK, SUM(V) FROM b GROUP BY AK HAVING SUM(V) > 5", "", false},
      {"SELECT AK, COUNT(V) FROM b GROUP BY AK HAVING COUNT(V) >= 2", "", false},
      {"SELECT AK, AVG(V) FROM b GROUP BY 1 HAVING AVG(V) < 10", "", false},
      {"SELECT K, MIN(F) FROM a GROUP BY K HAVING MIN(F) > -900", "", false},
      {"SELECT K, MAX(F) FROM a GROUP BY 1 HAVING MAX(F) < 800", "", false},
      {"SELECT AK, MIN(V) FROM b GROUP BY AK HAVING 0 > MIN(V)", "", false},
      {"SELECT K, COUNT(*), SUM(F) FROM a GROUP BY K HAVING SUM(F) > 0 AND COUNT(*) > 6", "", false},
      {"SELECT K, MIN(ID), MAX(ID) FROM a GROUP BY K HAVING MAX(ID) - MIN(ID) > 250 OR K < 3", "", false},
      {"SELECT a.K, SUM(b.V) FROM a JOIN b ON a.ID = b.AK GROUP BY a.K HAVING SUM(b.V) > 100", "", false},
      {"SELECT a.K, AVG(b.V), MIN(b.V) FROM a JOIN b ON a.ID = b.AK GROUP BY 1 HAVING AVG(b.V) > 40 OR MIN(b.V) < -45",
       "", false},
      {"SELECT a.K, MAX(b.V) FROM a, b WHERE a.ID = b.AK GROUP BY a.K HAVING MAX(b.V) < 100", "", false},
      {"SELECT b.TAG, COUNT(*) FROM a JOIN b ON a.ID = b.AK GROUP BY b.TAG HAVING COUNT(*) > 1", "", false},
  };
  for (const TCase& C : Cases) Compare(C, false);
}

// Comparisons that key ranges answer (the primary key of a, the non-unique key of b whose
// values repeat): ranges at and past both ends of the tables, empty ones, fractional bounds, the
// column on either side, a range on the inner table of joins whose ends come from the outer row,
// IN lists, MAX and MIN over ranges, with NULLs in other columns.
TEST_F(DifferentialTest, KeyRangesGiveTheSameRows) {
  const TCase Cases[] = {
      {"SELECT ID, K FROM a WHERE ID >= 1 AND ID <= 1", "", false},
      {"SELECT ID, NAME FROM a WHERE ID > 295", "", false},
      {"SELECT ID FROM a WHERE ID >= 298 AND ID < 1000", "", false},
      {"SELECT ID, F FROM a WHERE ID >= -5 AND ID < 3", "", false},
      {"SELECT ID FROM a WHERE ID > 2.5 AND ID <= 7.5", "", false},
      {"SELECT ID, K FROM a WHERE ID >= 20 AND ID < 40 AND K < 10", "", false},
      {"SELECT ID FROM a WHERE 50 < ID AND 60 >= ID", "", false},
      {"SELECT ID, K FROM a WHERE ID BETWEEN 100 AND 110 ORDER BY ID DESC", "", true},
      {"SELECT ID, AK FROM b WHERE AK > 330", "", false},
      {"SELECT ID, AK, V FROM b WHERE AK BETWEEN 100 AND 105", "", false},
      {"SELECT ID, V FROM b WHERE AK < 20 AND V IS NULL", "", false},
      {"SELECT ID, V FROM b WHERE AK >= 1 AND AK <= 3", "", false},
      {"SELECT MAX(ID), MIN(ID) FROM a WHERE ID < 100", "", false},
      {"SELECT MIN(AK) FROM b WHERE AK > 200", "", false},
      {"SELECT MAX(AK) FROM b WHERE AK < 50", "", false},
      {"SELECT MAX(AK) FROM b WHERE AK < 0", "", false},
      {"SELECT COUNT(*), SUM(V) FROM b WHERE AK > 10 AND AK <= 40", "", false},
      {"SELECT a.ID, b.ID FROM a JOIN b ON b.AK >= a.ID AND b.AK < a.ID + 2 WHERE a.ID < 50", "", false},
      {"SELECT a.ID, b.ID, b.V FROM a JOIN b ON b.AK > a.K * 8 AND b.AK <= a.K * 8 + 3 WHERE a.ID > 280", "", false},
      {"SELECT a.ID, b.ID FROM a LEFT JOIN b ON b.AK > a.ID + 330 WHERE a.ID < 12", "", false},
      {"SELECT ID, K FROM a WHERE ID IN (3, 1, 3, 300, 301, 2.5)", "", false},
      {"SELECT ID, AK FROM b WHERE AK IN (5, 100, 5, 340) AND ID > 20", "", false},
      {"SELECT MAX(ID) FROM b WHERE AK IN (7, 8)", "", false},
  };
  for (const TCase& C : Cases) Compare(C, false);
  const TCase Empty[] = {
      {"SELECT ID FROM a WHERE ID < 1", "", false},
      {"SELECT ID FROM a WHERE ID > 300", "", false},
      {"SELECT ID FROM a WHERE ID > 10 AND ID < 11", "", false},
      {"SELECT ID FROM a WHERE ID BETWEEN 50 AND 40", "", false},
      {"SELECT ID FROM b WHERE AK > 340", "", false},
  };
  for (const TCase& C : Empty) Compare(C, false, true);
}

// Random conditions over the columns that hold no NULL, combined with AND, OR and NOT, on one
// table and on a join (where an index can serve a key column, the engine takes other paths than a
// scan).
std::string RandomCondition(std::mt19937& G, int Depth, bool Joined) {
  if (Depth > 0 && G() % 3 != 0) {
    const std::string L = RandomCondition(G, Depth - 1, Joined), R = RandomCondition(G, Depth - 1, Joined);
    const std::string C = "(" + L + (G() % 2 ? " AND " : " OR ") + R + ")";
    return G() % 5 == 0 ? "NOT " + C : C;
  }
  static const char* const Ops[] = {"=", "<>", "<", ">", "<=", ">="};
  const std::string Op = Ops[G() % 6];
  const std::string A = Joined ? "a." : "";
  const int N = static_cast<int>(G() % 40);
  switch (G() % (Joined ? 9 : 7)) {
    case 0: return A + "K " + Op + " " + std::to_string(N);
    case 1: return A + "ID " + Op + " " + std::to_string(N * 8);
    case 2: return A + "F " + Op + " " + std::to_string(N * 50 - 1000) + ".5";
    case 3: return A + "NAME " + Op + " '" + RandomName(G, 3) + "'";
    case 4: return A + "NAME LIKE '" + std::string(1, "abcABxY"[G() % 7]) + (G() % 2 ? "%'" : "_%'");
    case 5: return A + "K IN (" + std::to_string(N) + ", " + std::to_string(N / 2) + ", " + std::to_string(N + 7) + ")";
    case 6: return A + "ID BETWEEN " + std::to_string(N * 5) + " AND " + std::to_string(N * 5 + G() % 120);
    case 7: return "b.AK " + Op + " " + std::to_string(N * 9);
    default: return "b.TAG " + Op + " '" + RandomName(G, 2) + "'";
  }
}

TEST_F(DifferentialTest, RandomConditionsGiveTheSameRows) {
  std::mt19937 G(977);
  for (int I = 0; I < 100; ++I) {
    Compare({"SELECT ID, K, NAME FROM a WHERE " + RandomCondition(G, 2, false), "", false}, false, true);
    const TCase Join = {"SELECT a.ID, b.ID FROM a JOIN b ON a.ID = b.AK WHERE " + RandomCondition(G, 2, true), "",
                        false};
    Compare(Join, false, true);
    Compare(Join, true, true);
  }
}

}  // namespace
