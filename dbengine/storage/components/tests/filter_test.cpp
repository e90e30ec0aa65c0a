// Filters of the table component live in the engine cursor: record counts, positions and
// navigation see them; Locate and Lookup on fields the current index does not serve search
// through another index or a search filter.
#include "dbengine/storage/components/tests/comp_fixture.h"

namespace comptest {
namespace {

std::vector<std::string> Ids(std::initializer_list<int> List) {
  std::vector<std::string> R;
  for (int I : List) R.push_back(std::to_string(I));
  return R;
}

class FilterComponentTest : public ComponentsTest {
 protected:
  void SetUp() override {
    ComponentsTest::SetUp();
    HaveExpressions = RegisterExpressions();
    CreateStudents();
    CreatePractice();
  }
  // 1 Ala, 2 Olek, 3 Kowalski, 4 kowalczyk, 5 (no name), 6 Ewa*, 7 Beata.
  TVXDBTable* OpenStudents() {
    TVXDBTable* T = NewTable("student");
    T->Open();
    const std::vector<std::vector<Variant>> Rows = {
        {Variant(), 1, "Ala", "W"},      {Variant(), 1, "Olek", "M"},       {Variant(), 2, "Kowalski", "M"},
        {Variant(), 2, "kowalczyk", "W"}, {Variant(), 3, Variant::Null(), "W"}, {Variant(), 3, "Ewa*", "W"},
        {Variant(), 1, "Beata", "W"}};
    for (const auto& R : Rows) T->AppendRecord(R);
    T->First();
    return T;
  }
  bool HaveExpressions = false;
};

TEST_F(FilterComponentTest, ExpressionFiltersCountNavigateAndFollowTheirOptions) {
  if (!HaveExpressions) GTEST_SKIP() << "built without the expression library";
  TVXDBTable* T = OpenStudents();
  struct Case {
    const char* Text;
    TFilterOptions Options;
    std::vector<std::string> Expected;
  };
  const Case Cases[] = {
      {"SEX = 'W'", 0, Ids({1, 4, 5, 6, 7})},
      {"NAME = 'ala'", 0, {}},
      {"NAME = 'ala'", foCaseInsensitive, Ids({1})},
      {"NAME = 'Kowal*'", 0, Ids({3})},                      // a trailing '*' is a prefix
      {"NAME = 'kowal*'", foCaseInsensitive, Ids({3, 4})},
      {"NAME = 'Kowal*'", foNoPartialCompare, {}},           // ... unless partial compare is off
      {"NAME = 'Ewa*'", foNoPartialCompare, Ids({6})},
      {"ID_GROUP >= 2 AND SEX = 'W'", 0, Ids({4, 5, 6})},
  };
  T->SetFiltered(true);
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Text);
    T->SetFilterOptions(C.Options);
    T->SetFilter(C.Text);
    EXPECT_EQ(Column(T, "ID_STUDENT"), C.Expected);
    EXPECT_EQ(T->RecordCount(), static_cast<int>(C.Expected.size()));
    if (C.Expected.empty()) {
      EXPECT_TRUE(T->IsEmpty());
      continue;
    }
    T->Last();
    EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsString(), C.Expected.back());
    EXPECT_EQ(T->RecNo(), static_cast<int>(C.Expected.size()));
    T->Prior();
    EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsString(), C.Expected[C.Expected.size() > 1 ? C.Expected.size() - 2 : 0]);
  }

  // A text that does not compile is refused and the filter in force stays.
  T->SetFilterOptions(0);
  T->SetFilter("SEX = 'M'");
  EXPECT_NE(RaisedMessage([&] { T->SetFilter("SEX = "); }).find("Filter error for table"), std::string::npos);
  EXPECT_EQ(T->Filter(), "SEX = 'M'");
  EXPECT_EQ(Column(T, "ID_STUDENT"), Ids({2, 3}));
  EXPECT_NE(RaisedMessage([&] { T->SetFilter("NAME"); }), "");  // not a condition
  EXPECT_EQ(T->RecordCount(), 2);

  // Unfiltered, every record shows; the filter set before opening applies at open.
  T->SetFiltered(false);
  EXPECT_EQ(T->RecordCount(), 7);
  T->Close();
  T->SetFilter("SEX = 'W' AND ID_GROUP = 1");
  T->SetFiltered(true);
  T->Open();
  EXPECT_EQ(T->RecordCount(), 2);
  EXPECT_EQ(Column(T, "NAME"), (std::vector<std::string>{"Ala", "Beata"}));
  // FindFirst and FindNext use the filter even while it is off.
  T->SetFiltered(false);
  T->Last();
  ASSERT_TRUE(T->FindFirst());
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 1);
  ASSERT_TRUE(T->FindNext());
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 7);
  EXPECT_FALSE(T->FindNext());
  EXPECT_EQ(T->RecordCount(), 7);
}

// Without the expression library a filter text fails with the engine's filter error; the table
// stays usable and opens again once the text is gone.
TEST_F(FilterComponentTest, WithoutExpressionsAFilterTextIsRefusedCleanly) {
  TVXDBTable* T = OpenStudents();
  TNoExpressionCompiler Off;
  T->SetFiltered(true);
  EXPECT_NE(RaisedMessage([&] { T->SetFilter("SEX = 'W'"); }).find("Filter error for table"), std::string::npos);
  EXPECT_EQ(T->Filter(), "");
  EXPECT_EQ(T->RecordCount(), 7);
  T->Close();
  T->SetFilter("SEX = 'W'");
  EXPECT_NE(RaisedMessage([&] { T->Open(); }).find("Filter error for table"), std::string::npos);
  EXPECT_FALSE(T->Active());
  T->SetFilter("");
  T->Open();
  EXPECT_EQ(T->RecordCount(), 7);
  // Record filters need no expressions.
  T->SetOnFilterRecord([](TDataSet* D, bool& Accept) { Accept = D->FieldByName("SEX")->AsString() == "M"; });
  EXPECT_EQ(T->RecordCount(), 2);
}

TEST_F(FilterComponentTest, RecordFilterCountsPositionsAndFollowsEdits) {
  TVXDBTable* T = OpenStudents();
  int Calls = 0;
  T->SetOnFilterRecord([&](TDataSet* D, bool& Accept) {
    ++Calls;
    EXPECT_EQ(D->State(), dsFilter);
    Accept = D->FieldByName("SEX")->AsString() == "W";
  });
  EXPECT_EQ(Calls, 0);  // not filtered yet
  T->SetFiltered(true);
  EXPECT_GT(Calls, 0);
  EXPECT_EQ(T->RecordCount(), 5);
  EXPECT_EQ(Column(T, "ID_STUDENT"), Ids({1, 4, 5, 6, 7}));
  T->Last();
  EXPECT_EQ(T->RecNo(), 5);
  T->SetRecNo(2);
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 4);
  // A hidden record cannot be reached, not even through the index.
  EXPECT_FALSE(T->Locate("ID_STUDENT", 2, 0));
  EXPECT_TRUE(T->Locate("ID_STUDENT", 6, 0));

  // Records changed or added are tested again.
  ASSERT_TRUE(T->Locate("ID_STUDENT", 1, 0));
  T->Edit();
  T->FieldByName("SEX")->SetAsString("M");
  T->Post();
  EXPECT_EQ(T->RecordCount(), 4);
  T->AppendRecord({Variant(), 4, "Piotr", "M"});
  EXPECT_EQ(T->RecordCount(), 4);
  T->AppendRecord({Variant(), 4, "Zofia", "W"});
  EXPECT_EQ(T->RecordCount(), 5);
  EXPECT_EQ(Column(T, "ID_STUDENT"), Ids({4, 5, 6, 7, 9}));

  // The record filter and the text filter together.
  if (HaveExpressions) {
    T->SetFilter("ID_GROUP = 3");
    EXPECT_EQ(Column(T, "ID_STUDENT"), Ids({5, 6}));
    T->SetFilter("");
  }
  T->SetOnFilterRecord(nullptr);
  EXPECT_EQ(T->RecordCount(), 9);
  T->SetFiltered(false);
  EXPECT_EQ(T->RecordCount(), 9);
}

// Locate and Lookup on fields other than the current index's (here the primary index).
TEST_F(FilterComponentTest, LocateAndLookupOnOtherFields) {
  if (!HaveExpressions) GTEST_SKIP() << "built without the expression library";
  TVXDBTable* T = OpenStudents();
  struct Case {
    const char* Fields;
    Variant Key;
    TLocateOptions Options;
    int Expected;  // ID_STUDENT, 0 when not found
  };
  const Case Cases[] = {
      {"NAME", "Kowal", loPartialKey, 3},                          // search filter, with case
      {"NAME", "kowal", loPartialKey, 4},
      {"NAME", "KOWAL", loPartialKey, 0},
      {"NAME", "KOWAL", loPartialKey | loCaseInsensitive, 4},      // BYNAME: kowalczyk sorts first
      {"NAME", "Kowal*", loPartialKey, 3},                         // the '*' ends a partial key
      {"NAME", "Ewa*", 0, 6},                                      // a whole value keeps its '*'
      {"NAME", "Ewa", 0, 0},
      {"NAME", "ala", 0, 0},
      {"NAME", "ala", loCaseInsensitive, 1},
      {"NAME", Variant::Null(), 0, 5},
      {"NAME", Variant::Null(), loCaseInsensitive, 5},
      {"SEX", "w", loCaseInsensitive, 1},
      {"SEX", "w", 0, 0},
      {"ID_GROUP", 3, 0, 5},                                       // the ID_GROUP index
      {"ID_GROUP", 9, 0, 0},
      {"ID_GROUP;SEX", VarArrayOf({2, "W"}), 0, 4},
      {"SEX;NAME", VarArrayOf({"W", "Bea"}), loPartialKey, 7},
      {"SEX;NAME", VarArrayOf({"M", "Bea"}), loPartialKey, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Fields) + " = " + (C.Key.IsArray() ? std::string("[...]") : C.Key.AsString()));
    T->First();
    const bool Found = T->Locate(C.Fields, C.Key, C.Options);
    EXPECT_EQ(Found, C.Expected != 0);
    if (Found) {
      EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), C.Expected);
    }
    // The search leaves no filter behind.
    EXPECT_EQ(T->RecordCount(), 7);
  }
  // The dataset stands on the record found and goes on in its own order.
  ASSERT_TRUE(T->Locate("SEX", "M", 0));
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 2);
  T->Next();
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 3);
  ASSERT_TRUE(T->Locate("ID_GROUP", 3, 0));
  T->Next();
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 6);
  T->Prior();
  T->Prior();
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 4);

  // Lookup answers without moving.
  T->First();
  T->Next();
  EXPECT_EQ(T->Lookup("SEX", "M", "NAME").AsString(), "Olek");
  EXPECT_EQ(T->Lookup("NAME", "Beata", "ID_STUDENT").AsInteger(), 7);
  EXPECT_EQ(T->Lookup("ID_GROUP", 2, "NAME").AsString(), "Kowalski");
  EXPECT_TRUE(T->Lookup("NAME", "beata", "ID_STUDENT").IsNull());  // no case option
  EXPECT_TRUE(T->Lookup("ID_GROUP", 7, "NAME").IsNull());
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 2);
  T->Next();
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 3);

  // Searches respect the filters in force, through the other index too.
  T->SetFilter("SEX = 'M'");
  T->SetFiltered(true);
  EXPECT_TRUE(T->Locate("ID_GROUP", 1, 0));
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 2);
  EXPECT_FALSE(T->Locate("NAME", "Ala", 0));
  EXPECT_FALSE(T->Locate("ID_GROUP", 3, 0));
  EXPECT_EQ(T->RecordCount(), 2);
  // A record changed through the dataset is found at its new value through the other index.
  T->SetFiltered(false);
  ASSERT_TRUE(T->Locate("ID_GROUP", 1, 0));  // the clone on ID_GROUP is kept from here
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 1);
  ASSERT_TRUE(T->Locate("ID_STUDENT", 5, 0));
  T->Edit();
  T->FieldByName("ID_GROUP")->SetAsInteger(8);
  T->Post();
  T->First();
  ASSERT_TRUE(T->Locate("ID_GROUP", 8, 0));
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 5);
}

// The search on another index clones the cursor: an exclusive or in-memory table allows that.
TEST_F(FilterComponentTest, ExclusiveAndInMemoryTablesSearchThroughAClone) {
  auto* Memory = new TVXDBDatabase(Owner);
  Memory->SetSessionName(Session->SessionName());
  Memory->SetDatabaseName("Memory");
  Memory->Open();
  CreateTestTableIn(Memory->Handle(), "mem",
                    {{"ID", etInteger}, {"GRP", etInteger}, {"NAME", etString, 20}},
                    {{"", {1}, true}, {"GRP", {2}, false}}, true);
  TVXDBTable* Mem = NewTable("mem");
  Mem->SetInMemory(true);
  TVXDBTable* Excl = NewTable("student");
  Excl->SetExclusive(true);
  for (TVXDBTable* T : {Mem, Excl}) {
    SCOPED_TRACE(T->TableName());
    T->Open();
    for (int I = 1; I <= 6; ++I) T->AppendRecord({T == Mem ? Variant(I) : Variant(), I % 3, "N" + std::to_string(I)});
    T->First();
    const std::string Key = T == Mem ? "GRP" : "ID_GROUP";
    ASSERT_TRUE(T->Locate(Key, 0, 0));
    EXPECT_EQ(T->Fields()->Fields(2)->AsString(), "N3");
    EXPECT_EQ(T->Lookup(Key, 2, T->Fields()->Fields(2)->FieldName()).AsString(), "N2");
    T->Next();
    EXPECT_EQ(T->Fields()->Fields(2)->AsString(), "N4");
    T->Close();
  }
}

TEST_F(FilterComponentTest, FiltersOnADetailFollowTheMaster) {
  TVXDBTable* Students = OpenStudents();
  TVXDBTable* Practice = NewTable("practice");
  Practice->Open();
  const std::pair<int, double> Rows[] = {{1, 100}, {2, 200}, {1, 300}, {2, 50}, {2, 400}};
  for (const auto& R : Rows) Practice->AppendRecord({Variant(), R.first, R.second});
  Practice->Close();

  auto* Source = new TDataSource(Owner);
  Source->SetDataSet(Students);
  Practice->SetIndexName("ID_STUDENT");
  Practice->SetMasterSource(Source);
  Practice->SetMasterFields("ID_STUDENT");
  Practice->SetOnFilterRecord([](TDataSet* D, bool& Accept) { Accept = D->FieldByName("CPM")->AsFloat() > 150; });
  Practice->SetFiltered(true);
  Practice->Open();
  Students->First();
  EXPECT_EQ(Column(Practice, "ID_PRACTICE"), Ids({3}));
  EXPECT_EQ(Practice->RecordCount(), 1);
  Students->Next();
  EXPECT_EQ(Column(Practice, "ID_PRACTICE"), Ids({2, 5}));
  EXPECT_EQ(Practice->RecordCount(), 2);
  // A search inside the master's range: the range and the filter both hold.
  EXPECT_TRUE(Practice->Locate("CPM", 400.0, 0));
  EXPECT_EQ(Practice->FieldByName("ID_PRACTICE")->AsInteger(), 5);
  EXPECT_FALSE(Practice->Locate("CPM", 300.0, 0));  // another student's row
  EXPECT_FALSE(Practice->Locate("CPM", 50.0, 0));   // filtered out
  if (HaveExpressions) {
    Practice->SetOnFilterRecord(nullptr);
    Practice->SetFilter("CPM < 300");
    EXPECT_EQ(Column(Practice, "ID_PRACTICE"), Ids({2, 4}));
    Students->First();
    EXPECT_EQ(Column(Practice, "ID_PRACTICE"), Ids({1}));
    EXPECT_EQ(Practice->RecordCount(), 1);
  }
  Students->Close();
  EXPECT_EQ(Practice->RecordCount(), 3);  // either filter passes three of the five rows
}

}  // namespace
}  // namespace comptest
