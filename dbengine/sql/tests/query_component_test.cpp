// The query component over real tables made with SQL through queries: parameters parsed from the
// text and passed with their types, statements run for their rows affected, results browsed as
// datasets (live ones written through to their table, canned ones read-only), preparing, and the
// engine's errors.
#include <cmath>

#include "dbengine/sql/tests/query_test_support.h"

using namespace querytest;

namespace {

class QueryComponentTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
    Exec({"CREATE TABLE pupil (ID AUTOINC, NAME CHAR(20), AGE INTEGER, PRIMARY KEY (ID))",
          "CREATE INDEX BYAGE ON pupil (AGE)"});
    TVXDBQuery* Q = NewQuery("INSERT INTO pupil (NAME, AGE) VALUES (:name, :age)");
    const std::pair<const char*, int> Pupils[] = {{"Ala", 9}, {"Bartek", 11}, {"Celina", 9}, {"Darek", 12}};
    for (auto& P : Pupils) {
      Q->ParamByName("name")->SetAsString(P.first);
      Q->ParamByName("age")->SetAsInteger(P.second);
      Q->ExecSQL();
      EXPECT_EQ(Q->RowsAffected(), 1);
    }
    delete Q;
  }
};

TEST_F(QueryComponentTest, ParametersAreParsedFromTheTextAndKeepTheirValuesAcrossChanges) {
  TVXDBQuery* Q = NewQuery("select * from pupil where AGE = :age and NAME <> ':x' and ID in (:Id,:id2)");
  ASSERT_EQ(Q->ParamCount(), 3);
  EXPECT_EQ(Q->Params()->Items(0)->Name, "age");
  EXPECT_EQ(Q->Params()->Items(1)->Name, "Id");
  EXPECT_EQ(Q->Params()->Items(2)->Name, "id2");
  EXPECT_EQ(Q->Text(), "select * from pupil where AGE = ? and NAME <> ':x' and ID in (?,?)\r\n");
  // Names are found without regard to case; an unknown name is a database error.
  EXPECT_EQ(Q->ParamByName("ID"), Q->Params()->Items(1));
  EXPECT_EQ(Raised([&] { Q->ParamByName("nope"); }),
            std::make_pair(std::string("EDatabaseError"), std::string("Parameter 'nope' not found")));

  // A new text keeps the values of the parameters whose names match exactly.
  Q->ParamByName("age")->SetAsInteger(9);
  Q->ParamByName("Id")->SetAsInteger(3);
  Q->SQL()->SetText("select * from pupil where AGE = :age and ID = :id");
  ASSERT_EQ(Q->ParamCount(), 2);
  EXPECT_TRUE(Q->ParamByName("age")->Bound);
  EXPECT_EQ(Q->ParamByName("age")->Value().AsInteger(), 9);
  EXPECT_FALSE(Q->ParamByName("id")->Bound);

  // Lines given as a whole: the same text leaves the prepared statement alone, another one
  // unprepares and parses again.
  TStringList Lines;
  Lines.SetText(Q->SQL()->Text());
  Q->ParamByName("id")->SetAsInteger(1);
  Q->Prepare();
  Q->SetSQL(&Lines);
  EXPECT_TRUE(Q->Prepared());
  Lines.SetText("select * from pupil where ID = :ID");
  Q->SetSQL(&Lines);
  EXPECT_FALSE(Q->Prepared());
  ASSERT_EQ(Q->ParamCount(), 1);
  EXPECT_FALSE(Q->ParamByName("ID")->Bound);  // "id" and "ID" are different names here
  // A list of parameters given to the query passes its values by name.
  TVXDBParams Given;
  Given.CreateParam(ftInteger, "id", ptInput)->SetAsInteger(4);
  Q->SetParams(&Given);
  EXPECT_EQ(Q->ParamByName("ID")->Value().AsInteger(), 4);
  Q->Open();
  EXPECT_EQ(Rows(Q), (TRows{{"4", "Darek", "12"}}));
  Q->Close();

  // Without parameter checking the text stays as written and no list is made.
  TVXDBQuery* Plain = NewQuery();
  Plain->SetParamCheck(false);
  Plain->SQL()->SetText("select * from pupil where NAME = 'a:b'");
  EXPECT_EQ(Plain->ParamCount(), 0);
  EXPECT_EQ(Plain->Text(), "select * from pupil where NAME = 'a:b'\r\n");
}

TEST_F(QueryComponentTest, ExecSQLReportsTheRowsEachStatementTouched) {
  TVXDBQuery* Q = NewQuery("UPDATE pupil SET AGE = AGE + 1 WHERE AGE = :age");
  Q->ParamByName("age")->SetAsInteger(9);
  Q->ExecSQL();
  EXPECT_EQ(Q->RowsAffected(), 2);
  EXPECT_FALSE(Q->Active());
  // Run again with another value: no row is 9 any more.
  Q->ExecSQL();
  EXPECT_EQ(Q->RowsAffected(), 0);
  EXPECT_EQ(Exec({"DELETE FROM pupil WHERE AGE > 11"}), 1);
  EXPECT_EQ(Select("select NAME, AGE from pupil order by NAME"),
            (TRows{{"Ala", "10"}, {"Bartek", "11"}, {"Celina", "10"}}));
}

TEST_F(QueryComponentTest, OpenGivesABrowsableDataset) {
  TVXDBQuery* Q = NewQuery("select NAME, AGE from pupil where AGE >= :min order by AGE desc, NAME");
  Q->ParamByName("min")->SetAsInteger(10);
  Q->Open();
  ASSERT_TRUE(Q->Active());
  EXPECT_EQ(FieldNames(Q), (std::vector<std::string>{"NAME", "AGE"}));
  EXPECT_EQ(Q->FieldByName("age")->DataType(), ftInteger);
  EXPECT_EQ(Q->RecordCount(), 2);
  EXPECT_TRUE(Q->Bof());
  EXPECT_EQ(Q->FieldByName("NAME")->AsString(), "Darek");
  Q->Next();
  EXPECT_EQ(Q->FieldByName("NAME")->AsString(), "Bartek");
  EXPECT_EQ(Q->FieldByName("AGE")->AsInteger(), 11);
  Q->Next();
  EXPECT_TRUE(Q->Eof());
  Q->Last();
  EXPECT_EQ(Q->FieldByName("NAME")->AsString(), "Bartek");
  Q->Prior();
  EXPECT_EQ(Q->FieldByName("NAME")->AsString(), "Darek");
  EXPECT_TRUE(Q->Locate("NAME", Variant("Bartek"), 0));
  EXPECT_EQ(Q->RecNo(), 2);

  // Closed and opened again with another value, the same prepared statement runs again.
  Q->Close();
  EXPECT_TRUE(Q->Prepared());
  Q->ParamByName("min")->SetAsInteger(0);
  Q->Open();
  EXPECT_EQ(Rows(Q), (TRows{{"Darek", "12"}, {"Bartek", "11"}, {"Ala", "9"}, {"Celina", "9"}}));
  Q->Close();
  // An empty result opens as an empty dataset.
  Q->ParamByName("min")->SetAsInteger(100);
  Q->Open();
  EXPECT_TRUE(Q->IsEmpty());
  EXPECT_TRUE(Q->Eof());
}

TEST_F(QueryComponentTest, LiveResultWritesThroughToTheTable) {
  TVXDBQuery* Q = NewQuery("select * from pupil where AGE = 9");
  Q->SetRequestLive(true);
  Q->Open();
  ASSERT_TRUE(Q->CanModify());
  EXPECT_EQ(Rows(Q), (TRows{{"1", "Ala", "9"}, {"3", "Celina", "9"}}));
  Q->First();
  Q->Next();
  Q->Edit();
  Q->FieldByName("NAME")->SetAsString("Cela");
  Q->Post();
  EXPECT_EQ(Q->FieldByName("NAME")->AsString(), "Cela");
  Q->Close();
  // The change is in the table: another query and a table component see it.
  EXPECT_EQ(Select("select NAME from pupil where ID = 3"), (TRows{{"Cela"}}));
  TVXDBTable* T = NewTable("pupil");
  T->Open();
  ASSERT_TRUE(T->Locate("ID", Variant(3), 0));
  EXPECT_EQ(T->FieldByName("NAME")->AsString(), "Cela");
  T->Close();

  // Live again after closing: the statement is run anew and deletes reach the table.
  Q->Open();
  Q->First();
  Q->Delete();
  // A new row goes into the table too.
  Q->Append();
  Q->FieldByName("NAME")->SetAsString("Ela");
  Q->FieldByName("AGE")->SetAsInteger(9);
  Q->Post();
  Q->Close();
  EXPECT_EQ(Select("select ID, NAME from pupil order by ID"),
            (TRows{{"2", "Bartek"}, {"3", "Cela"}, {"4", "Darek"}, {"5", "Ela"}}));

  // A live result of some columns in another order writes each field to its own column.
  TVXDBQuery* Some = NewQuery("select AGE, NAME from pupil where AGE > 10");
  Some->SetRequestLive(true);
  Some->Open();
  ASSERT_TRUE(Some->CanModify());
  EXPECT_EQ(FieldNames(Some), (std::vector<std::string>{"AGE", "NAME"}));
  ASSERT_TRUE(Some->Locate("NAME", Variant("Darek"), 0));
  Some->Edit();
  Some->FieldByName("NAME")->SetAsString("Dariusz");
  Some->FieldByName("AGE")->SetAsInteger(13);
  Some->Post();
  Some->Close();
  EXPECT_EQ(Select("select ID, NAME, AGE from pupil where ID = 4"), (TRows{{"4", "Dariusz", "13"}}));
}

TEST_F(QueryComponentTest, CannedResultsAreReadOnly) {
  const std::string Canned[] = {"select NAME, AGE from pupil order by NAME desc", "select count(*) N from pupil",
                                "select AGE, count(*) from pupil group by AGE"};
  for (const std::string& SQL : Canned) {
    SCOPED_TRACE(SQL);
    for (bool Live : {false, true}) {
      TVXDBQuery* Q = NewQuery(SQL);
      Q->SetRequestLive(Live);  // a result that cannot be live comes as a copy
      Q->Open();
      EXPECT_FALSE(Q->CanModify());
      EXPECT_EQ(Raised([&] { Q->Edit(); }).second, "Cannot modify a read-only dataset");
      EXPECT_EQ(Raised([&] { Q->Append(); }).second, "Cannot modify a read-only dataset");
      delete Q;
    }
  }
  EXPECT_EQ(Select("select count(*) from pupil"), (TRows{{"4"}}));
}

TEST_F(QueryComponentTest, PreparingFollowsTheTextAndTheState) {
  TVXDBQuery* Q = NewQuery();
  EXPECT_EQ(Raised([&] { Q->Open(); }).second, "No SQL statement available");
  EXPECT_FALSE(Q->Active());
  EXPECT_EQ(Raised([&] { Q->Prepare(); }).second, "No SQL statement available");
  EXPECT_FALSE(Q->Prepared());

  Q->SQL()->SetText("select NAME from pupil order by NAME");
  Q->Prepare();
  EXPECT_TRUE(Q->Prepared());
  Q->Open();
  EXPECT_EQ(Raised([&] { Q->UnPrepare(); }).second, "Cannot perform this operation on an open dataset");
  Q->Close();
  EXPECT_TRUE(Q->Prepared());
  // A new text unprepares; so does a change of the live request.
  Q->SQL()->SetText("select NAME from pupil where AGE = 9 order by NAME");
  EXPECT_FALSE(Q->Prepared());
  Q->Prepare();
  Q->SetRequestLive(true);
  EXPECT_FALSE(Q->Prepared());
  Q->UnPrepare();
  EXPECT_FALSE(Q->Prepared());

  // The row limit reaches a statement that is already prepared.
  Q->SetRequestLive(false);
  Q->SQL()->SetText("select NAME from pupil order by NAME");
  EXPECT_EQ(Q->MaxRowCount(), -1);
  Q->Prepare();
  Q->SetMaxRowCount(2);
  Q->Open();
  EXPECT_EQ(Rows(Q), (TRows{{"Ala"}, {"Bartek"}}));
  Q->Close();
  Q->SetMaxRowCount(-1);
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 4);
  Q->Close();

  // Disconnecting frees the statement, and the database lets its tables go: the table can be
  // opened exclusively.
  Q->Disconnect();
  EXPECT_FALSE(Q->Prepared());
  TVXDBTable* T = NewTable("pupil");
  T->SetExclusive(true);
  T->Open();
  EXPECT_EQ(T->RecordCount(), 4);
}

TEST_F(QueryComponentTest, ClosingTheDatabaseFreesTheStatementFirst) {
  TVXDBQuery* Live = NewQuery("select * from pupil where AGE = 9");
  Live->SetRequestLive(true);
  Live->Open();
  TVXDBQuery* Canned = NewQuery("select count(*) from pupil");
  Canned->Open();
  TVXDBQuery* Ready = NewQuery("delete from pupil where AGE = :age");
  Ready->Prepare();
  Database->Close();
  for (TVXDBQuery* Q : {Live, Canned, Ready}) {
    EXPECT_FALSE(Q->Active());
    EXPECT_FALSE(Q->Prepared());
  }
  EXPECT_FALSE(Database->Connected());
  // Each opens again on a new connection.
  Live->Open();
  EXPECT_EQ(Live->RecordCount(), 2);
  Canned->Open();
  EXPECT_EQ(Canned->Fields()->Fields(0)->AsInteger(), 4);
  Ready->ParamByName("age")->SetAsInteger(12);
  Ready->ExecSQL();
  EXPECT_EQ(Ready->RowsAffected(), 1);
}

struct TParamCase {
  const char* Column;  // column type in CREATE TABLE
  std::function<void(TVXDBParam*)> Set;
  TFieldType Type;
  std::string Text;  // the value read back as text
};

TEST_F(QueryComponentTest, ParameterTypesTravelToTheStatementAndBack) {
  const TDateTime Day = EncodeDate(2024, 2, 29);
  const TDateTime Moment = EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 30, 0);
  const TParamCase Cases[] = {
      {"INTEGER", [](TVXDBParam* P) { P->SetAsInteger(-123456); }, ftInteger, "-123456"},
      {"SMALLINT", [](TVXDBParam* P) { P->SetAsSmallInt(-32000); }, ftSmallint, "-32000"},
      {"WORD", [](TVXDBParam* P) { P->SetAsWord(65000); }, ftWord, "65000"},
      {"FLOAT", [](TVXDBParam* P) { P->SetAsFloat(2.5); }, ftFloat, "2.5"},
      {"MONEY", [](TVXDBParam* P) { P->SetAsCurrency(Currency::FromDouble(12.25)); }, ftCurrency, ""},
      {"CHAR(30)", [](TVXDBParam* P) { P->SetAsString("Za\xBF\xF3\xB3\xE6 g\xEA\x9C"
                                                      "l\xB9"); }, ftString, "Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9"},
      {"BOOLEAN", [](TVXDBParam* P) { P->SetAsBoolean(true); }, ftBoolean, ""},
      {"DATE", [Day](TVXDBParam* P) { P->SetAsDate(Day); }, ftDate, ""},
      {"TIME", [Clock = EncodeTime(13, 45, 30, 0)](TVXDBParam* P) { P->SetAsTime(Clock); }, ftTime, ""},
      {"TIMESTAMP", [Moment](TVXDBParam* P) { P->SetAsDateTime(Moment); }, ftDateTime, ""},
      {"INTEGER", [](TVXDBParam* P) { P->SetValue(Variant(77)); }, ftInteger, "77"},
      {"FLOAT", [](TVXDBParam* P) { P->SetValue(Variant(0.125)); }, ftFloat, "0.125"},
  };
  int N = 0;
  for (const TParamCase& C : Cases) {
    SCOPED_TRACE(C.Column);
    const std::string Table = "t" + std::to_string(++N);
    Exec({"CREATE TABLE " + Table + " (K INTEGER, V " + C.Column + ")"});
    TVXDBQuery* Ins = NewQuery("INSERT INTO " + Table + " VALUES (:k, :v)");
    // One row with the value, one with NULL of the same type.
    Ins->ParamByName("k")->SetAsInteger(1);
    C.Set(Ins->ParamByName("v"));
    EXPECT_EQ(Ins->ParamByName("v")->DataType, C.Type);
    Ins->ExecSQL();
    Ins->ParamByName("k")->SetAsInteger(2);
    Ins->ParamByName("v")->Clear();
    EXPECT_TRUE(Ins->ParamByName("v")->IsNull);
    Ins->ExecSQL();
    delete Ins;

    // The value finds its row through a parameter of the same type; a NULL parameter finds the
    // NULL row (NULL equals NULL in this engine).
    TVXDBQuery* Q = NewQuery("select K, V from " + Table + " where V = :v");
    C.Set(Q->ParamByName("v"));
    Q->Open();
    ASSERT_EQ(Q->RecordCount(), 1);
    EXPECT_EQ(Q->FieldByName("K")->AsInteger(), 1);
    TVXDBParam Expected;
    C.Set(&Expected);
    TField* V = Q->FieldByName("V");
    if (!C.Text.empty()) {
      EXPECT_EQ(Text(V), C.Text);
    }
    if (C.Type == ftDate || C.Type == ftTime || C.Type == ftDateTime) {
      EXPECT_DOUBLE_EQ(V->AsDateTime(), Expected.Value().AsDateTime());
    }
    if (C.Type == ftCurrency) {
      EXPECT_DOUBLE_EQ(V->AsFloat(), 12.25);
    }
    if (C.Type == ftBoolean) {
      EXPECT_TRUE(V->AsBoolean());
    }
    Q->Close();
    Q->ParamByName("v")->Clear();
    Q->Open();
    EXPECT_EQ(Rows(Q), (TRows{{"2", ""}}));
    delete Q;
    EXPECT_EQ(Select("select K from " + Table + " where V is null"), (TRows{{"2"}}));
  }
}

TEST_F(QueryComponentTest, BlobParametersCarryTheirBytes) {
  Exec({"CREATE TABLE notes (ID INTEGER, BODY BLOB(1, 1), PRIMARY KEY (ID))"});
  const std::string Long(300, 'x');
  const std::string Binary("a\0b\xFF", 4);
  TVXDBQuery* Ins = NewQuery("insert into notes values (:id, :body)");
  const std::function<void(TVXDBParam*)> Sets[] = {
      [](TVXDBParam* P) { P->SetAsMemo("kr\xF3tka notatka"); },
      [&](TVXDBParam* P) { P->SetValue(Variant(Long)); },  // a long string travels as a BLOB
      [&](TVXDBParam* P) { P->SetAsBlob(Binary); },
      [](TVXDBParam* P) {
        P->DataType = ftBlob;
        P->Clear();
      },
  };
  int Id = 0;
  for (auto& Set : Sets) {
    Ins->ParamByName("id")->SetAsInteger(++Id);
    Set(Ins->ParamByName("body"));
    Ins->ExecSQL();
    EXPECT_EQ(Ins->RowsAffected(), 1);
  }
  EXPECT_EQ(Ins->ParamByName("body")->DataType, ftBlob);
  TVXDBQuery* Q = NewQuery("select ID, BODY from notes order by ID");
  Q->Open();
  std::vector<std::string> Bodies;
  std::vector<bool> Nulls;
  for (Q->First(); !Q->Eof(); Q->Next()) {
    Bodies.push_back(Q->FieldByName("BODY")->AsString());
    Nulls.push_back(Q->FieldByName("BODY")->IsNull());
  }
  EXPECT_EQ(Bodies, (std::vector<std::string>{"kr\xF3tka notatka", Long, Binary, ""}));
  EXPECT_EQ(Nulls, (std::vector<bool>{false, false, false, true}));
}

TEST_F(QueryComponentTest, AParameterWithoutAValueOrTypeIsRefused) {
  TVXDBQuery* Q = NewQuery("select * from pupil where AGE = :age");
  EXPECT_EQ(Raised([&] { Q->Open(); }),
            std::make_pair(std::string("EDatabaseError"), std::string("No value for parameter 'age'")));
  EXPECT_FALSE(Q->Active());
  Q->ParamByName("age")->DataType = ftVarBytes;
  Q->ParamByName("age")->Bound = true;
  EXPECT_EQ(Raised([&] { Q->Open(); }).second, "Field 'age' is of an unsupported type");
  // A long string value becomes a BLOB parameter.
  Q->ParamByName("age")->SetValue(Variant(std::string(300, 'x')));
  EXPECT_EQ(Q->ParamByName("age")->DataType, ftBlob);
}

TEST_F(QueryComponentTest, EngineErrorsSurfaceAsTheEnginesError) {
  const std::pair<std::string, std::string> Cases[] = {
      {"select * form pupil", "SQL error"},
      {"select * from nosuchtable", "nosuchtable"},
      {"select NOCOLUMN from pupil", "NOCOLUMN"},
      {"insert into pupil (AGE) values ('abc')", "AGE"},
      {"select * from pupil where AGE > :x", "Type mismatch"},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.first);
    TVXDBQuery* Q = NewQuery(C.first);
    // A parameter's type is checked once its value is known.
    if (Q->ParamCount() > 0) Q->ParamByName("x")->SetAsString("abc");
    auto R = Raised([&] {
      if (C.first.rfind("insert", 0) == 0) Q->ExecSQL();
      else Q->Open();
    });
    EXPECT_EQ(R.first, "EVXDBEngineError");
    EXPECT_EQ(R.second.rfind("VXDB Engine Error # ", 0), 0u) << R.second;
    EXPECT_NE(R.second.find(C.second), std::string::npos) << R.second;
    EXPECT_FALSE(Q->Active());
    delete Q;
  }
  // The table is untouched by the failed statements and can still be opened exclusively.
  TVXDBTable* T = NewTable("pupil");
  T->SetExclusive(true);
  T->Open();
  EXPECT_EQ(T->RecordCount(), 4);
}

TEST_F(QueryComponentTest, ParametersComeFromTheDataSourceAndFollowItsRecord) {
  Exec({"CREATE TABLE mark (PUPIL INTEGER, MARK INTEGER)"});
  TVXDBQuery* Ins = NewQuery("insert into mark values (:p, :m)");
  for (auto [P, M] : {std::pair{1, 5}, {1, 4}, {2, 3}, {4, 6}}) {
    Ins->ParamByName("p")->SetAsInteger(P);
    Ins->ParamByName("m")->SetAsInteger(M);
    Ins->ExecSQL();
  }
  TVXDBTable* Pupils = NewTable("pupil");
  auto* Source = new TDataSource(Owner);
  Source->SetDataSet(Pupils);
  TVXDBQuery* Q = NewQuery("select MARK from mark where PUPIL = :ID order by MARK");
  Q->SetDataSource(Source);
  Pupils->Open();
  Q->Open();
  EXPECT_EQ(Rows(Q), (TRows{{"4"}, {"5"}}));
  Pupils->Next();
  EXPECT_EQ(Rows(Q), (TRows{{"3"}}));
  Pupils->Next();
  EXPECT_TRUE(Q->IsEmpty());
  // A value set by the program wins over the data source.
  Q->Close();
  Q->ParamByName("ID")->SetAsInteger(4);
  Q->Open();
  EXPECT_EQ(Rows(Q), (TRows{{"6"}}));
  // The query cannot take a data source that leads back to itself.
  auto* Own = new TDataSource(Owner);
  Own->SetDataSet(Q);
  EXPECT_EQ(Raised([&] { Q->SetDataSource(Own); }).second, "Circular datalinks are not allowed");
}

TEST_F(QueryComponentTest, ProgressIsReportedWhileTheStatementRuns) {
  TVXDBQuery* Q = NewQuery("select NAME from pupil order by NAME");
  int Calls = 0;
  Q->OnQueryProgress = [&](TObject* Sender, int, uint16_t Percent, bool&) {
    EXPECT_EQ(Sender, Q);
    EXPECT_LE(Percent, 100);
    ++Calls;
  };
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 4);
  EXPECT_GT(Calls, 0);
}

}  // namespace
