// A temporary database folder with its own session and database components, and the tables the
// tests use: groups, students and their practice rows (master and detail), and a table of texts.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dbengine/storage/components/tests/table_maker.h"
#include "dbengine/storage/components/vxdb_table.h"

namespace comptest {

class ComponentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char Tmpl[] = "/tmp/vxcomp.XXXXXX";
    ASSERT_NE(mkdtemp(Tmpl), nullptr);
    Path = std::string(Tmpl) + "/";
    static int Counter = 0;
    Owner = new TComponent(nullptr);
    Session = new TVXDBSession(Owner);
    Session->SetSessionName("Test" + std::to_string(++Counter));
    Session->SetLockRetryCount(2);
    Session->SetLockWaitTime(10);
    Database = new TVXDBDatabase(Owner);
    Database->SetSessionName(Session->SessionName());
    Database->SetDatabaseName("db");
    Database->SetDirectory(Path);
  }
  void TearDown() override {
    delete Owner;
    std::error_code E;
    std::filesystem::remove_all(Path, E);
  }

  TVXDBTable* NewTable(const std::string& Name, TComponent* TableOwner = nullptr) {
    auto* T = new TVXDBTable(TableOwner != nullptr ? TableOwner : Owner);
    T->SetSessionName(Session->SessionName());
    T->SetDatabaseName("db");
    T->SetTableName(Name);
    return T;
  }

  // student: ID_STUDENT auto-increment, ID_GROUP integer, NAME string 45, SEX string 1;
  // primary ID_STUDENT; index ID_GROUP; index BYNAME on NAME without regard to case.
  void CreateStudents() {
    CreateTestTable(Path, "student",
                    {{"ID_STUDENT", etInteger, 0, kAutoInc}, {"ID_GROUP", etInteger}, {"NAME", etString, 45},
                     {"SEX", etString, 1}},
                    {{"", {1}, true}, {"ID_GROUP", {2}, false}, {"BYNAME", {3}, false, true}});
  }
  // practice: ID_PRACTICE auto-increment, ID_STUDENT integer, CPM float, NOTE memo;
  // primary ID_PRACTICE; index ID_STUDENT.
  void CreatePractice() {
    CreateTestTable(Path, "practice",
                    {{"ID_PRACTICE", etInteger, 0, kAutoInc}, {"ID_STUDENT", etInteger}, {"CPM", etFloat},
                     {"NOTE", etBlob, 0, kMemo}},
                    {{"", {1}, true}, {"ID_STUDENT", {2}, false}});
  }

  std::string Path;
  TComponent* Owner = nullptr;
  TVXDBSession* Session = nullptr;
  TVXDBDatabase* Database = nullptr;
};

// The values of one field over the whole dataset, from the first record.
inline std::vector<std::string> Column(TDataSet* D, const std::string& Field) {
  std::vector<std::string> R;
  D->First();
  while (!D->Eof()) {
    R.push_back(D->FieldByName(Field)->AsString());
    D->Next();
  }
  return R;
}

template <class F>
std::string RaisedMessage(F&& Body) {
  try {
    Body();
  } catch (const Exception& E) {
    return E.Message();
  }
  return std::string();
}

}  // namespace comptest
