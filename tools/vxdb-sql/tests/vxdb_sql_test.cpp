// The SQL tool run as a program on a temporary database directory, and its statement splitter.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/vxdb-sql/sql_script.h"

namespace {

class SQLToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char Tmpl[] = "/tmp/vxdbsqlt.XXXXXX";
    ASSERT_NE(mkdtemp(Tmpl), nullptr);
    Root = Tmpl;
    Data = Root + "/db";
    std::filesystem::create_directories(Data);
  }
  void TearDown() override {
    std::error_code E;
    std::filesystem::remove_all(Root, E);
  }
  static std::string ReadFile(const std::string& Name) {
    std::ifstream In(Name, std::ios::binary);
    std::ostringstream S;
    S << In.rdbuf();
    return S.str();
  }
  // Runs the program with Script as its FILE argument (or on standard input); Out and Err get
  // what it printed.
  int Run(const std::string& Script, bool FromStdin = false) {
    const std::string In = Root + "/in.sql";
    std::ofstream(In, std::ios::binary) << Script;
    std::string Cmd = std::string(VXDB_SQL_EXE) + " " + Data + (FromStdin ? " <" : " ") + In + " >" + Root +
                      "/out.txt 2>" + Root + "/err.txt";
    const int R = std::system(Cmd.c_str());
    Out = ReadFile(Root + "/out.txt");
    Err = ReadFile(Root + "/err.txt");
    return WIFEXITED(R) ? WEXITSTATUS(R) : -1;
  }
  std::string Root, Data, Out, Err;
};

TEST_F(SQLToolTest, CreatesInsertsAndPrintsResultsAsTabSeparatedText) {
  ASSERT_EQ(Run("CREATE TABLE t (ID INTEGER, NAME CHAR(20), F FLOAT, PRIMARY KEY (ID));\n"
                "INSERT INTO t VALUES (1, 'a;b', 0.1);\n"
                "INSERT INTO t (ID, F) VALUES (2, 1e300);\n"
                "INSERT INTO t (ID, NAME) VALUES (3, 'it''s');\n"
                "UPDATE t SET F = F / 3 WHERE ID <= 2;\n"
                "SELECT ID, NAME, F FROM t ORDER BY ID;"),
            0)
      << Err;
  // NULL prints as an empty field; floats print with the digits that read back the same value.
  std::istringstream Lines(Out);
  std::vector<std::vector<std::string>> Rows;
  for (std::string L; std::getline(Lines, L);) {
    Rows.emplace_back();
    std::istringstream Fields(L);
    for (std::string F; std::getline(Fields, F, '\t');) Rows.back().push_back(F);
    if (!L.empty() && L.back() == '\t') Rows.back().push_back("");
  }
  ASSERT_EQ(Rows.size(), 9u) << Out;
  const std::vector<std::string> Affected = {"0 rows affected", "1 rows affected", "1 rows affected",
                                             "1 rows affected", "2 rows affected"};
  for (size_t I = 0; I < Affected.size(); ++I) EXPECT_EQ(Rows[I], std::vector<std::string>{Affected[I]});
  EXPECT_EQ(Rows[5], (std::vector<std::string>{"ID", "NAME", "F"}));
  ASSERT_EQ(Rows[6].size(), 3u);
  ASSERT_EQ(Rows[7].size(), 3u);
  EXPECT_EQ(Rows[6][0] + "|" + Rows[6][1], "1|a;b");
  EXPECT_EQ(std::strtod(Rows[6][2].c_str(), nullptr), 0.1 / 3) << Rows[6][2];
  EXPECT_EQ(Rows[7][0] + "|" + Rows[7][1], "2|");
  EXPECT_EQ(std::strtod(Rows[7][2].c_str(), nullptr), 1e300 / 3) << Rows[7][2];
  EXPECT_EQ(Rows[8], (std::vector<std::string>{"3", "it's", ""}));
  EXPECT_EQ(Err, "");
  // The tables stay in the directory: a second run on standard input sees them.
  ASSERT_EQ(Run("SELECT COUNT(*) AS N, MAX(ID) FROM t WHERE NAME IS NOT NULL", true), 0) << Err;
  EXPECT_EQ(Out.substr(0, Out.find('\t')), "N");
  EXPECT_EQ(Out.substr(Out.find('\n') + 1), "2\t3\n");
}

TEST_F(SQLToolTest, AnErrorStopsTheScriptWithTheEnginesMessage) {
  EXPECT_EQ(Run("CREATE TABLE t (ID INTEGER);\nINSERT INTO t VALUES (1);\nSELECT NOPE FROM t;\n"
                "INSERT INTO t VALUES (2);"),
            1);
  EXPECT_EQ(Out, "0 rows affected\n1 rows affected\n");
  EXPECT_NE(Err.find("NOPE"), std::string::npos) << Err;
  // The statement after the failing one never ran.
  ASSERT_EQ(Run("SELECT COUNT(*) FROM t;"), 0) << Err;
  EXPECT_EQ(Out.substr(Out.find('\n') + 1), "1\n");
  // A missing table and a missing directory are errors too, never a crash.
  EXPECT_EQ(Run("SELECT * FROM missing;"), 1);
  EXPECT_FALSE(Err.empty());
  Data = Root + "/none";
  EXPECT_EQ(Run("SELECT 1 FROM t;"), 1);
  EXPECT_NE(Err.find("is not a directory"), std::string::npos) << Err;
}

TEST(SQLSplitTest, CutsAtSemicolonsOutsideQuotesBracketsAndComments) {
  const struct {
    std::string Script;
    std::vector<std::string> Statements;
  } Cases[] = {
      {"", {}},
      {" ;\n; ", {}},
      {"SELECT 1 FROM t", {"SELECT 1 FROM t"}},
      {"A;B;\n C ;", {"A", "B", "C"}},
      {"INSERT INTO t VALUES ('x;y', \"p;q\");D", {"INSERT INTO t VALUES ('x;y', \"p;q\")", "D"}},
      {"SELECT 'it'';s' FROM [a;b];E", {"SELECT 'it'';s' FROM [a;b]", "E"}},
      {"A /* ; */ B;C", {"A /* ; */ B", "C"}},
      // An unterminated quote keeps the rest for the engine to report.
      {"SELECT 'open; FROM t", {"SELECT 'open; FROM t"}},
      {"A /* open; ", {"A /* open;"}},
  };
  for (const auto& C : Cases) EXPECT_EQ(SplitSQLStatements(C.Script), C.Statements) << C.Script;
}

}  // namespace
