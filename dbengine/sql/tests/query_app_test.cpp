// The application's database as the creator builds it: every table opened through the table
// component with the index the data module selects and its master links, and the application's
// own statements run through queries under the Polish session language.
#include <cmath>
#include <set>

#include "dbengine/sql/tests/query_test_support.h"
#ifdef VX_HAVE_SCHEMA
#include "tools/vxdb-create/vxdb_schema.h"
#endif

using namespace querytest;

namespace {

class AppDatabaseTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
#ifdef VX_HAVE_SCHEMA
    TVXDatabaseOptions Options;
    Options.SharedGroup = "3";
    CreateVXDatabase(Path, Options);
    Session->SetLanguageID(1045);
#else
    GTEST_SKIP() << "built without the database creator";
#endif
  }
};

struct TTableUse {
  const char* Table;
  const char* IndexName;        // as the data module selects it by name
  const char* IndexFieldNames;  // or by fields
  std::set<std::string> Secondary;  // every secondary index the table has
};

TEST_F(AppDatabaseTest, EveryTableOpensWithTheIndexTheDataModuleAsksFor) {
  const TTableUse Uses[] = {
      {"group", "", "ID_GROUP", {}},
      {"student", "", "ID_GROUP", {"ID_GROUP"}},
      {"practice", "ID_STUDENT", "", {"ID_STUDENT", "ID_LESSON"}},
      {"statistics", "ID_PRACTICE", "", {"ID_PRACTICE"}},
      {"lesson", "ID_STUDENT", "", {"ID_STUDENT"}},
      {"exercise", "", "", {"SK1"}},
      {"statcalc", "ID_PRACTICE", "", {"ID_PRACTICE"}},
      {"netstat", "", "", {"netstat"}},
      {"course", "", "ID_STUDENT;ID_COURSE", {}},
      {"config", "", "", {}},
      {"results", "", "ID_GROUP;ID_STUDENT", {}},
      {"SESSIONS", "", "ID_GROUP;ID_STUDENT", {"ID_GROUP"}},
      {"locks", "", "ID_SESSION", {}},
      {"gallery", "", "", {}},
      {"bomber", "", "", {}},
  };
  ASSERT_EQ(std::size(Uses), 15u);
  std::map<std::string, TVXDBTable*> Open;
  for (const TTableUse& U : Uses) {
    SCOPED_TRACE(U.Table);
    TVXDBTable* T = NewTable(std::string(U.Table) + ".DAT");
    if (*U.IndexName) T->SetIndexName(U.IndexName);
    if (*U.IndexFieldNames) T->SetIndexFieldNames(U.IndexFieldNames);
    if (std::string(U.Table) == "config") T->SetReadOnly(true);
    ASSERT_NO_THROW(T->Open());
    std::set<std::string> Secondary;
    T->IndexDefs()->Update();
    for (int I = 0; I < T->IndexDefs()->Count(); ++I) {
      TIndexDef* D = T->IndexDefs()->Items(I);
      if ((D->Options & ixPrimary) == 0) Secondary.insert(D->Name);
    }
    EXPECT_EQ(Secondary, U.Secondary);
    if (*U.IndexName) {
      EXPECT_EQ(T->IndexName(), U.IndexName);
      EXPECT_GT(T->IndexFieldCount(), 0);
    }
    if (*U.IndexFieldNames) {
      // The index found serves the fields in their order.
      std::string Fields;
      for (int I = 0; I < T->IndexFieldCount(); ++I) Fields += (I ? ";" : "") + T->GetIndexField(I)->FieldName();
      EXPECT_EQ(Fields.substr(0, std::string(U.IndexFieldNames).size()), U.IndexFieldNames);
    }
    Open[U.Table] = T;
  }
  EXPECT_EQ(Open["config"]->RecordCount(), 11);
  EXPECT_FALSE(Open["config"]->CanModify());

  // The master links of the data module work over these indexes: a practice row follows its
  // student, and a new statistics row takes its practice's id.
  auto* DsStudent = new TDataSource(Owner);
  DsStudent->SetDataSet(Open["student"]);
  auto* DsPractice = new TDataSource(Owner);
  DsPractice->SetDataSet(Open["practice"]);
  Open["practice"]->SetMasterSource(DsStudent);
  Open["practice"]->SetMasterFields("ID_STUDENT;ID_GROUP");
  Open["statistics"]->SetMasterSource(DsPractice);
  Open["statistics"]->SetMasterFields("ID_PRACTICE");
  Open["student"]->AppendRecord({Variant(), Variant(3), Variant("Ola"), Variant(0), Variant("W")});
  Open["practice"]->Append();
  Open["practice"]->FieldByName("CPM")->SetAsFloat(150);
  Open["practice"]->Post();
  EXPECT_EQ(Open["practice"]->FieldByName("ID_STUDENT")->AsInteger(), Open["student"]->FieldByName("ID_STUDENT")->AsInteger());
  EXPECT_EQ(Open["practice"]->FieldByName("ID_GROUP")->AsInteger(), 3);
  Open["statistics"]->Append();
  Open["statistics"]->FieldByName("KEY")->SetAsInteger(97);
  Open["statistics"]->Post();
  EXPECT_EQ(Open["statistics"]->FieldByName("ID_PRACTICE")->AsInteger(),
            Open["practice"]->FieldByName("ID_PRACTICE")->AsInteger());
  EXPECT_EQ(Open["statistics"]->RecordCount(), 1);
}

TEST_F(AppDatabaseTest, TheApplicationsStatementsRunThroughQueries) {
  // The group of a shared installation, as the group-set query reads it (no parameter parsing).
  TVXDBQuery* Group = NewQuery();
  Group->SetParamCheck(false);
  Group->SetAutoCalcFields(false);
  Group->SQL()->SetText("select cast(value as integer) as ID_GROUP from config where param = 'group'");
  Group->Open();
  EXPECT_EQ(FieldNames(Group), (std::vector<std::string>{"ID_GROUP"}));
  EXPECT_EQ(Group->FieldByName("ID_GROUP")->DataType(), ftInteger);
  EXPECT_EQ(Rows(Group), (TRows{{"3"}}));

  // Students with Polish names, practices and per-key rows, written through parameters.
  TVXDBQuery* Ins = NewQuery("insert into student (ID_GROUP, NAME, SEX) values (:g, :n, :s)");
  for (const char* Name : {"Zenon", "\xAF""aneta", "\xA3ucja", "Lena", "Adam"}) {
    Ins->ParamByName("g")->SetAsInteger(3);
    Ins->ParamByName("n")->SetAsString(Name);
    Ins->ParamByName("s")->SetAsString("M");
    Ins->ExecSQL();
  }
  EXPECT_EQ(Select("select NAME from student order by NAME"),
            (TRows{{"Adam"}, {"Lena"}, {"\xA3ucja"}, {"Zenon"}, {"\xAF""aneta"}}));
  Ins->SQL()->SetText(
      "insert into practice (CPM, [DATE], ID_GROUP, ID_STUDENT, ACCURACY, DURATION) values (:cpm, :d, 3, :s, :acc, "
      ":dur)");
  const struct {
    double Cpm, Acc, Dur;
    int Student;
  } Practices[] = {{120.5, 97, 61.4, 1}, {140, 98.5, 3600.2, 1}, {90, 91, 30, 2}};
  for (auto& P : Practices) {
    Ins->ParamByName("cpm")->SetAsFloat(P.Cpm);
    Ins->ParamByName("d")->SetAsDate(EncodeDate(2025, 3, 1));
    Ins->ParamByName("s")->SetAsInteger(P.Student);
    Ins->ParamByName("acc")->SetAsFloat(P.Acc);
    Ins->ParamByName("dur")->SetAsFloat(P.Dur);
    Ins->ExecSQL();
    EXPECT_EQ(Ins->RowsAffected(), 1);
  }
  Ins->SQL()->SetText("insert into netstat values (:s, :p, :k, :n, :c, :cpm, :acc)");
  const struct {
    int S, P, K;
    const char* N;
    double Cpm, Acc;
  } Keys[] = {{1, 2, 97, "a", 120.5, 0.5}, {1, 2, 32, " ", 300, 0.25}, {1, 2, 101, "e", 80.5, 0.5},
              {1, 2, 105, "i", 90.5, 0.9}, {1, 2, 13, "", 10, 0.1},   {1, 1, 97, "a", 100, 0.4},
              {2, 3, 122, "z", 50.5, 0.2}};
  for (auto& K : Keys) {
    Ins->ParamByName("s")->SetAsInteger(K.S);
    Ins->ParamByName("p")->SetAsInteger(K.P);
    Ins->ParamByName("k")->SetAsSmallInt(static_cast<int16_t>(K.K));
    Ins->ParamByName("n")->SetAsString(K.N);
    Ins->ParamByName("c")->SetAsInteger(3);
    Ins->ParamByName("cpm")->SetAsFloat(K.Cpm);
    Ins->ParamByName("acc")->SetAsFloat(K.Acc);
    Ins->ExecSQL();
  }

  // The weakest keys of the last practice.
  EXPECT_EQ(Select("select max(id_practice) x from netstat where id_student = 1"), (TRows{{"2"}}));
  EXPECT_EQ(Select("select key, cpm, acc from netstat where id_student = 1 and id_practice = 2 and key not in "
                   "(13,32) order by acc, cpm"),
            (TRows{{"101", "80.5", "0.5"}, {"97", "120.5", "0.5"}, {"105", "90.5", "0.9"}}));
  // The old key history of a practice.
  EXPECT_EQ(Select("select * from netstat where id_student = 2 and id_practice = 3"),
            (TRows{{"2", "3", "122", "z", "3", "50.5", "0.2"}}));
  // The certificate's last practice, its speed and accuracy.
  TVXDBQuery* Last = NewQuery("select max(id_practice) as id_practice from practice where id_student = 1");
  Last->Open();
  const int Id = Last->FieldByName("id_practice")->AsInteger();
  EXPECT_EQ(Id, 2);
  Last->Close();
  Last->SQL()->SetText("select * from practice where id_student = 1 and id_practice =" + std::to_string(Id));
  Last->Open();
  EXPECT_DOUBLE_EQ(Last->FieldByName("cpm")->AsFloat(), 140);
  EXPECT_DOUBLE_EQ(Last->FieldByName("accuracy")->AsFloat(), 98.5);
  EXPECT_EQ(Last->FieldByName("DATE")->AsDateTime(), EncodeDate(2025, 3, 1));
  // The statistics chart, a four-line text with a parameter.
  TVXDBQuery* Chart = NewQuery();
  Chart->SQL()->Add("SELECT key, cpm, acc ");
  Chart->SQL()->Add("FROM netstat");
  Chart->SQL()->Add("WHERE id_practice = :id_practice");
  Chart->SQL()->Add("ORDER BY key");
  ASSERT_EQ(Chart->ParamCount(), 1);
  Chart->ParamByName("id_practice")->SetAsInteger(2);
  Chart->Open();
  EXPECT_EQ(Rows(Chart), (TRows{{"13", "10", "0.1"},
                                {"32", "300", "0.25"},
                                {"97", "120.5", "0.5"},
                                {"101", "80.5", "0.5"},
                                {"105", "90.5", "0.9"}}));
  // The count and time of a student's practices.
  TVXDBQuery* Count = NewQuery("select count(*) cnt, sum(duration) dur from practice where id_student = 1");
  Count->Open();
  EXPECT_EQ(Count->FieldByName("cnt")->AsInteger(), 2);
  EXPECT_NEAR(Count->FieldByName("dur")->AsFloat(), 3661.6, 1e-9);
}

}  // namespace
