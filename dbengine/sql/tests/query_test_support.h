// Query tests: a temporary database folder with its own session (and private folder for result
// tables) and database components, queries made on it, and rows read back through the dataset.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "dbengine/sql/vxdb_query.h"
#include "platform/core/datetime.h"
#include "dbengine/storage/components/tests/comp_fixture.h"

namespace querytest {

using TRows = std::vector<std::vector<std::string>>;

class QueryTest : public comptest::ComponentsTest {
 protected:
  void SetUp() override {
    comptest::ComponentsTest::SetUp();
    std::filesystem::create_directories(Path + "priv");
    Session->SetPrivateDir(Path + "priv/");
  }

  TVXDBQuery* NewQuery(const std::string& SQL = std::string()) {
    auto* Q = new TVXDBQuery(Owner);
    Q->SetSessionName(Session->SessionName());
    Q->SetDatabaseName("db");
    if (!SQL.empty()) Q->SQL()->SetText(SQL);
    return Q;
  }
  // Runs statements that give no rows, each through a query of its own; returns the last rows
  // affected.
  int Exec(const std::vector<std::string>& Statements) {
    int Rows = 0;
    for (const std::string& S : Statements) {
      TVXDBQuery* Q = NewQuery(S);
      Q->ExecSQL();
      Rows = Q->RowsAffected();
      delete Q;
    }
    return Rows;
  }
  // A field's value as text; floats with a point, whatever the decimal separator.
  static std::string Text(TField* F) {
    if (F->IsNull() || (F->DataType() != ftFloat && F->DataType() != ftCurrency)) return F->AsString();
    char B[40];
    std::snprintf(B, sizeof B, "%.15g", F->AsFloat());
    return B;
  }
  // Every record of an open dataset from the first, each field as text.
  static TRows Rows(TDataSet* D) {
    TRows R;
    D->First();
    while (!D->Eof()) {
      std::vector<std::string> Row;
      for (int I = 0; I < D->FieldCount(); ++I) Row.push_back(Text(D->Fields()->Fields(I)));
      R.push_back(Row);
      D->Next();
    }
    return R;
  }
  static std::vector<std::string> FieldNames(TDataSet* D) {
    std::vector<std::string> N;
    for (int I = 0; I < D->FieldCount(); ++I) N.push_back(D->Fields()->Fields(I)->FieldName());
    return N;
  }
  // The rows of a SELECT run through a new query.
  TRows Select(const std::string& SQL) {
    TVXDBQuery* Q = NewQuery(SQL);
    Q->Open();
    TRows R = Rows(Q);
    delete Q;
    return R;
  }
};

// The class name and message of what Body raises (empty when nothing).
template <class F>
std::pair<std::string, std::string> Raised(F&& Body) {
  try {
    Body();
  } catch (const Exception& E) {
    return {E.ClassName(), E.Message()};
  }
  return {};
}

}  // namespace querytest
