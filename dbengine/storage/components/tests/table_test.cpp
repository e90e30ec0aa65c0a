// The table component over real tables: browsing, editing, searching, master and detail, BLOBs.
#include "dbengine/storage/components/tests/comp_fixture.h"
#include "platform/core/datetime.h"

namespace comptest {
namespace {

class TableComponentTest : public ComponentsTest {
 protected:
  void SetUp() override {
    ComponentsTest::SetUp();
    CreateStudents();
    CreatePractice();
  }
  TVXDBTable* OpenStudents(const std::vector<std::vector<Variant>>& Rows) {
    TVXDBTable* T = NewTable("student");
    T->Open();
    for (const auto& R : Rows) T->AppendRecord(R);
    return T;
  }
};

TEST_F(TableComponentTest, AppendEditCancelDeleteReachTheFileAndAnotherTable) {
  TVXDBTable* T = OpenStudents({{Variant(), 1, "Ala", "W"}, {Variant(), 1, "Olek", "M"}, {Variant(), 2, "Ewa", "W"}});
  EXPECT_EQ(T->RecordCount(), 3);
  EXPECT_EQ(Column(T, "ID_STUDENT"), (std::vector<std::string>{"1", "2", "3"}));

  // Edit and post; edit and cancel.
  ASSERT_TRUE(T->Locate("ID_STUDENT", 2, 0));
  T->Edit();
  T->FieldByName("NAME")->SetAsString("Aleksander");
  T->Post();
  ASSERT_TRUE(T->Locate("ID_STUDENT", 3, 0));
  T->Edit();
  T->FieldByName("NAME")->SetAsString("Zmienione");
  EXPECT_EQ(T->FieldByName("NAME")->AsString(), "Zmienione");
  T->Cancel();
  EXPECT_EQ(T->FieldByName("NAME")->AsString(), "Ewa");

  // Insert through Append and field setters; a required-less blank field stays null.
  T->Append();
  T->FieldByName("ID_GROUP")->SetAsInteger(2);
  T->FieldByName("NAME")->SetAsString("Jan");
  T->Post();
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 4);
  EXPECT_TRUE(T->FieldByName("SEX")->IsNull());

  ASSERT_TRUE(T->Locate("ID_STUDENT", 1, 0));
  T->Delete();
  EXPECT_EQ(T->FieldByName("NAME")->AsString(), "Aleksander");

  // A second table component (own cursor) sees what the first wrote.
  TVXDBTable* Other = NewTable("student");
  Other->Open();
  EXPECT_EQ(Column(Other, "NAME"), (std::vector<std::string>{"Aleksander", "Ewa", "Jan"}));
  Other->Close();
  T->Close();
  T->Open();
  EXPECT_EQ(Column(T, "NAME"), (std::vector<std::string>{"Aleksander", "Ewa", "Jan"}));
}

TEST_F(TableComponentTest, BrowsingBookmarksRecNoAndStateErrors) {
  TVXDBTable* T = OpenStudents({{Variant(), 1, "A", "W"}, {Variant(), 1, "B", "M"}, {Variant(), 1, "C", "W"},
                                {Variant(), 1, "D", "M"}});
  T->Last();
  EXPECT_EQ(T->FieldByName("NAME")->AsString(), "D");
  EXPECT_EQ(T->RecNo(), 4);
  T->Prior();
  T->Prior();
  EXPECT_EQ(T->RecNo(), 2);
  TBookmark B = T->GetBookmark();
  T->First();
  EXPECT_TRUE(T->Bof());
  T->GotoBookmark(B);
  EXPECT_EQ(T->FieldByName("NAME")->AsString(), "B");
  EXPECT_TRUE(T->BookmarkValid(B));
  T->SetRecNo(3);
  EXPECT_EQ(T->FieldByName("NAME")->AsString(), "C");
  EXPECT_EQ(T->CompareBookmarks(B, T->GetBookmark()), -1);
  EXPECT_EQ(RaisedMessage([&] { T->FieldByName("NAME")->SetAsString("X"); }), "Dataset not in edit or insert mode");
  T->Append();
  EXPECT_EQ(T->RecNo(), -1);
  T->Cancel();
  EXPECT_EQ(T->RecordCount(), 4);
}

TEST_F(TableComponentTest, TableNameWithFolderAndReadOnlyTables) {
  TVXDBTable* T = new TVXDBTable(Owner);
  T->SetSessionName(Session->SessionName());
  T->SetTableName(Path + "student");
  EXPECT_EQ(T->TableName(), "student");
  EXPECT_EQ(T->DatabaseName(), Path);
  T->Open();  // a temporary database whose directory is the folder
  T->AppendRecord({Variant(), 5, "Basia", "W"});
  EXPECT_EQ(T->RecordCount(), 1);
  EXPECT_EQ(RaisedMessage([&] { T->SetTableName("other"); }), "Cannot perform this operation on an open dataset");
  T->Close();

  TVXDBTable* R = NewTable("student");
  R->SetReadOnly(true);
  R->Open();
  EXPECT_FALSE(R->CanModify());
  EXPECT_EQ(RaisedMessage([&] { R->Edit(); }), "Cannot modify a read-only dataset");
  EXPECT_EQ(RaisedMessage([&] { NewTable("")->Open(); }), "Missing table name.");
}

TEST_F(TableComponentTest, IndexFieldNamesSwitchIndexAndStayOnTheRecord) {
  TVXDBTable* T = OpenStudents({{Variant(), 3, "Cezary", "M"}, {Variant(), 1, "Adam", "M"}, {Variant(), 2, "Beata", "W"}});
  ASSERT_TRUE(T->Locate("NAME", "Beata", 0));
  T->SetIndexFieldNames("ID_GROUP");
  EXPECT_EQ(T->IndexName(), "");
  EXPECT_EQ(T->FieldByName("NAME")->AsString(), "Beata");
  EXPECT_EQ(Column(T, "NAME"), (std::vector<std::string>{"Adam", "Beata", "Cezary"}));
  T->SetIndexName("");
  EXPECT_EQ(Column(T, "ID_STUDENT"), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(RaisedMessage([&] { T->SetIndexFieldNames("SEX"); }), "No index for fields 'SEX'");
  // Definitions read from a closed table, through a cursor of its own.
  TVXDBTable* Closed = NewTable("student");
  Closed->FieldDefs()->Update();
  ASSERT_EQ(Closed->FieldDefs()->Count(), 4);
  EXPECT_EQ(Closed->FieldDefs()->Items(0)->DataType, ftAutoInc);
  EXPECT_EQ(Closed->FieldDefs()->Items(2)->Name, "NAME");
  EXPECT_EQ(Closed->FieldDefs()->Items(2)->Size, 45);
  Closed->IndexDefs()->Update();
  EXPECT_EQ(Closed->IndexDefs()->Count(), 3);
  EXPECT_FALSE(Closed->Active());
  EXPECT_EQ(Closed->Database(), nullptr);
  T->IndexDefs()->Update();
  ASSERT_EQ(T->IndexDefs()->Count(), 3);
  EXPECT_EQ(T->IndexDefs()->Items(0)->Options, ixPrimary | ixUnique);
  EXPECT_EQ(T->IndexDefs()->Items(2)->Name, "BYNAME");
  EXPECT_EQ(T->IndexDefs()->Items(2)->Options, ixCaseInsensitive);
}

// Locate on the current index's fields goes through the index (FindKey); on fields another index
// serves, through a clone of the cursor on that index; on other fields through a search filter.
TEST_F(TableComponentTest, LocateThroughTheIndexAndByScan) {
  TVXDBTable* T = OpenStudents({{Variant(), 1, "Kowalski", "M"}, {Variant(), 1, "kowalczyk", "W"},
                                {Variant(), 2, "Nowak", "M"}, {Variant(), 2, Variant::Null(), "W"}});
  T->SetIndexName("BYNAME");  // case-insensitive index
  struct Case {
    const char* Field;
    Variant Key;
    TLocateOptions Options;
    int Expected;  // ID_STUDENT, 0 when not found
  };
  const Case Cases[] = {
      {"NAME", "KOWALSKI", loCaseInsensitive, 1},
      {"NAME", "KOWAL", loCaseInsensitive | loPartialKey, 2},  // kowalczyk sorts first
      {"NAME", "nowa", loCaseInsensitive | loPartialKey, 3},
      {"NAME", "Nowak", loCaseInsensitive, 3},
      {"NAME", "Nowa", loCaseInsensitive, 0},
      {"NAME", Variant::Null(), loCaseInsensitive, 4},
      {"NAME", "Kowalski", 0, 1},          // case flag differs from the index: scan
      {"NAME", "KOWALSKI", 0, 0},          // scan with case
      {"NAME", "kowalc", loPartialKey, 2}, // scan, partial
      {"SEX", "M", 0, 1},       // filtered scan in index order: the null name comes first
      {"ID_GROUP", 1, 0, 1},    // the ID_GROUP index: group 1 in that index's order
  };
  for (const Case& C : Cases) {
    T->First();
    bool Found = T->Locate(C.Field, C.Key, C.Options);
    EXPECT_EQ(Found, C.Expected != 0) << C.Field << " " << C.Key.AsString();
    if (Found && C.Expected != 0) {
      EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), C.Expected) << C.Key.AsString();
    }
  }
  // Lookup leaves the record where it was.
  T->First();
  std::string Before = T->FieldByName("NAME")->AsString();
  // Lookup has no case option: on a case-insensitive index it scans with case.
  EXPECT_EQ(T->Lookup("NAME", "Nowak", "ID_GROUP").AsInteger(), 2);
  EXPECT_TRUE(T->Lookup("NAME", "NOWAK", "ID_GROUP").IsNull());
  EXPECT_TRUE(T->Lookup("NAME", "Nobody", "ID_GROUP").IsNull());
  EXPECT_EQ(T->FieldByName("NAME")->AsString(), Before);
  // Several fields through the primary index of the other table.
  T->SetIndexFieldNames("ID_GROUP");
  EXPECT_TRUE(T->Locate("ID_GROUP;SEX", VarArrayOf({2, "W"}), 0));
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 4);
}

TEST_F(TableComponentTest, MasterDetailFollowsTheMasterAndNewRowsGetItsKey) {
  TVXDBTable* Students = OpenStudents({{Variant(), 1, "Ala", "W"}, {Variant(), 1, "Olek", "M"}});
  TVXDBTable* Practice = NewTable("practice");
  Practice->Open();
  for (int S : {1, 2, 1, 2, 2}) Practice->AppendRecord({Variant(), S, 100.0 * S});
  Practice->Close();

  auto* Source = new TDataSource(Owner);
  Source->SetDataSet(Students);
  Practice->SetIndexName("ID_STUDENT");
  Practice->SetMasterSource(Source);
  Practice->SetMasterFields("ID_STUDENT");
  Practice->Open();
  Students->First();
  EXPECT_EQ(Column(Practice, "ID_PRACTICE"), (std::vector<std::string>{"1", "3"}));
  Students->Next();
  EXPECT_EQ(Column(Practice, "ID_PRACTICE"), (std::vector<std::string>{"2", "4", "5"}));
  EXPECT_EQ(Practice->RecordCount(), 3);

  Practice->Append();
  EXPECT_EQ(Practice->FieldByName("ID_STUDENT")->AsInteger(), 2);
  Practice->FieldByName("CPM")->SetAsFloat(321.5);
  Practice->Post();
  EXPECT_EQ(Column(Practice, "CPM").size(), 4u);
  Practice->AppendRecord({Variant(), Variant(), 50.0});  // an empty value keeps the master's key
  Students->First();
  EXPECT_EQ(Column(Practice, "ID_STUDENT"), (std::vector<std::string>{"1", "1"}));
  Students->Next();
  EXPECT_EQ(Column(Practice, "ID_STUDENT"), (std::vector<std::string>{"2", "2", "2", "2", "2"}));
  auto* Back = new TDataSource(Owner);
  Back->SetDataSet(Practice);
  EXPECT_EQ(RaisedMessage([&] { Students->SetMasterSource(Back); }), "Circular datalinks are not allowed");
  Students->Close();
  // Closing the master drops the range: every practice row shows.
  EXPECT_EQ(Practice->RecordCount(), 7);
}

TEST_F(TableComponentTest, BlobStreamReadWriteSeekTruncate) {
  TVXDBTable* T = NewTable("practice");
  T->Open();
  T->Append();
  T->FieldByName("ID_STUDENT")->SetAsInteger(1);
  {
    std::unique_ptr<TStream> W(T->CreateBlobStream(T->FieldByName("NOTE"), bmWrite));
    W->WriteString("Hello, blob world");
    EXPECT_EQ(W->Position(), 17);
    EXPECT_EQ(W->Seek(0, soFromEnd), 17);
    W->Seek(5, soFromBeginning);
    static_cast<TVXDBBlobStream*>(W.get())->Truncate();
    EXPECT_EQ(W->Size(), 5);
    W->Seek(0, soFromEnd);
    W->WriteString("!");
  }
  T->Post();
  EXPECT_EQ(T->FieldByName("NOTE")->AsString(), "Hello!");
  {
    std::unique_ptr<TStream> R(T->CreateBlobStream(T->FieldByName("NOTE"), bmRead));
    char Buf[16] = {};
    R->Seek(1, soFromBeginning);
    EXPECT_EQ(R->Read(Buf, 3), 3);
    EXPECT_EQ(std::string(Buf, 3), "ell");
    EXPECT_EQ(R->Read(Buf, 10), 2);  // past the end: fewer bytes
    EXPECT_EQ(R->Position(), 6);
    EXPECT_EQ(R->Seek(0, soFromEnd), 6);
    EXPECT_EQ(R->Read(Buf, 4), 0);
  }
  // A write stream needs edit or insert mode; a cancelled edit keeps the old text.
  EXPECT_EQ(RaisedMessage([&] { delete T->CreateBlobStream(T->FieldByName("NOTE"), bmWrite); }),
            "Dataset not in edit or insert mode");
  T->Edit();
  T->FieldByName("NOTE")->SetAsString("changed");
  T->Cancel();
  EXPECT_EQ(T->FieldByName("NOTE")->AsString(), "Hello!");
  T->Edit();
  {
    std::unique_ptr<TStream> RW(T->CreateBlobStream(T->FieldByName("NOTE"), bmReadWrite));
    RW->Seek(0, soFromEnd);
    RW->WriteString(" More.");
  }
  T->Post();
  T->Close();
  T->Open();
  EXPECT_EQ(T->FieldByName("NOTE")->AsString(), "Hello! More.");
}

TEST_F(TableComponentTest, LockSlotsOutOfRangeAndHeld) {
  TVXDBTable* T = OpenStudents({{Variant(), 1, "A", "W"}});
  EXPECT_FALSE(T->LockSlot(0));
  EXPECT_FALSE(T->LockSlot(1025));
  EXPECT_FALSE(T->UnlockSlot(0));
  EXPECT_TRUE(T->LockSlot(1));
  EXPECT_TRUE(T->LockSlot(1024));
  EXPECT_TRUE(T->UnlockSlot(1));
  EXPECT_TRUE(T->UnlockSlot(1024));
  // Editing takes the record lock; another table component of this process sees it.
  TVXDBTable* Other = NewTable("student");
  Other->Open();
  EXPECT_FALSE(Other->IsRecordLocked());
  T->Edit();
  EXPECT_TRUE(Other->IsRecordLocked());
  T->Cancel();
  EXPECT_FALSE(Other->IsRecordLocked());
}

TEST_F(TableComponentTest, EveryFieldTypeKeepsItsValue) {
  CreateTestTable(Path, "kinds",
                  {{"ID", etInteger, 0, kAutoInc}, {"D", etDate}, {"T", etTime}, {"TS", etTimeStamp},
                   {"B", etBoolean}, {"SI", etSmallint}, {"W", etWord}, {"F", etFloat}, {"M", etFloat, 0, 21},
                   {"N", etBCD, 0, 0, false, 2}, {"S", etString, 10}},
                  {{"", {1}, true}});
  TVXDBTable* T = NewTable("kinds");
  T->Open();
  EXPECT_EQ(T->FieldByName("ID")->DataType(), ftAutoInc);
  EXPECT_EQ(T->FieldByName("M")->DataType(), ftCurrency);
  EXPECT_EQ(T->FieldByName("N")->DataType(), ftBCD);
  EXPECT_EQ(T->FieldByName("N")->Size(), 2);
  EXPECT_EQ(T->FieldByName("W")->DataType(), ftWord);
  const TDateTime Day = EncodeDate(2024, 2, 29);
  const TDateTime Moment = Day + EncodeTime(13, 45, 30, 250);
  T->Append();
  T->FieldByName("D")->SetAsDateTime(Day);
  T->FieldByName("T")->SetAsDateTime(EncodeTime(7, 8, 9, 10));
  T->FieldByName("TS")->SetAsDateTime(Moment);
  T->FieldByName("B")->SetAsBoolean(true);
  T->FieldByName("SI")->SetAsInteger(-1234);
  T->FieldByName("W")->SetAsInteger(65000);
  T->FieldByName("F")->SetAsFloat(3.25);
  T->FieldByName("M")->SetAsCurrency(Currency::FromDouble(12.5));
  T->FieldByName("N")->SetAsCurrency(Currency::FromRaw(-72500));
  T->FieldByName("S")->SetAsString("abc");
  T->Post();
  T->Close();
  T->Open();
  EXPECT_DOUBLE_EQ(T->FieldByName("D")->AsDateTime(), Day);
  EXPECT_NEAR(T->FieldByName("T")->AsDateTime(), EncodeTime(7, 8, 9, 10), 1e-9);
  EXPECT_NEAR(T->FieldByName("TS")->AsDateTime(), Moment, 1e-9);
  EXPECT_TRUE(T->FieldByName("B")->AsBoolean());
  EXPECT_EQ(T->FieldByName("SI")->AsInteger(), -1234);
  EXPECT_EQ(T->FieldByName("W")->AsInteger(), 65000);
  EXPECT_DOUBLE_EQ(T->FieldByName("F")->AsFloat(), 3.25);
  EXPECT_DOUBLE_EQ(T->FieldByName("M")->AsFloat(), 12.5);
  EXPECT_EQ(T->FieldByName("N")->AsCurrency().Raw, -72500);
  EXPECT_EQ(T->FieldByName("S")->AsString(), "abc");
  EXPECT_EQ(T->FieldByName("ID")->AsInteger(), 1);
  // Blank fields read as null.
  T->AppendRecord({});
  EXPECT_TRUE(T->FieldByName("D")->IsNull());
  EXPECT_TRUE(T->FieldByName("N")->IsNull());
  EXPECT_EQ(T->FieldByName("ID")->AsInteger(), 2);
}

// A search on the current index's fields goes through the index: it visits no records on the
// way, which a scan would hand one by one to the record filter.
TEST_F(TableComponentTest, LocateOnIndexFieldsVisitsNoRecordsAndFiltersApply) {
  TVXDBTable* T = NewTable("student");
  T->Open();
  for (int I = 1; I <= 200; ++I) T->AppendRecord({Variant(), I % 7, "Name" + std::to_string(1000 + I), I % 2 ? "M" : "W"});
  int Visited = 0;
  bool OnlyWomen = false;
  T->SetOnFilterRecord([&](TDataSet* D, bool& Accept) {
    ++Visited;
    Accept = !OnlyWomen || D->FieldByName("SEX")->AsString() == "W";
  });
  T->SetFiltered(true);
  Visited = 0;
  ASSERT_TRUE(T->Locate("ID_STUDENT", 199, 0));
  EXPECT_LT(Visited, 10);
  // Other fields are searched among the records the cursor's filter already passed.
  ASSERT_TRUE(T->Locate("NAME", "Name1199", 0));
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 199);

  // The filter hides records from browsing and counting through the dataset.
  OnlyWomen = true;
  T->SetOnFilterRecord(T->OnFilterRecord());
  EXPECT_EQ(Column(T, "SEX"), std::vector<std::string>(100, "W"));
  T->SetFiltered(false);
  EXPECT_EQ(Column(T, "SEX").size(), 200u);
  // FindFirst/FindNext search under the filter although Filtered is off.
  ASSERT_TRUE(T->FindFirst());
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 2);
  ASSERT_TRUE(T->FindNext());
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 4);
  ASSERT_TRUE(T->FindLast());
  EXPECT_EQ(T->FieldByName("ID_STUDENT")->AsInteger(), 200);

  // An expression filter and the record filter together: both must pass.
  if (!RegisterExpressions()) return;
  T->SetFilter("ID_GROUP = 3");
  T->SetFiltered(true);
  EXPECT_EQ(T->RecordCount(), 14);
  EXPECT_EQ(Column(T, "SEX"), std::vector<std::string>(14, "W"));
}

TEST(ParamsTest, ValuesSetTypesAndNamesCompareWithoutCase) {
  TVXDBParams Params;
  TVXDBParam* P = Params.CreateParam(ftUnknown, "Id", ptInput);
  struct Case {
    Variant Value;
    TFieldType Type;
  };
  const Case Cases[] = {{Variant::Smallint(3), ftSmallint}, {5, ftInteger},  {2.5, ftFloat},
                        {Currency::FromInt(2), ftBCD},       {Variant::Date(1.5), ftDateTime},
                        {std::string(250, 'x'), ftString},   {std::string(300, 'x'), ftBlob},
                        {true, ftBoolean},                   {Variant::Null(), ftUnknown}};
  for (const Case& C : Cases) {
    P->SetValue(C.Value);
    EXPECT_EQ(P->DataType, C.Type);
    EXPECT_TRUE(P->Bound);
    EXPECT_FALSE(P->IsNull);
  }
  P->Clear();
  EXPECT_TRUE(P->IsNull);
  EXPECT_EQ(Params.ParamByName("ID"), P);
  EXPECT_EQ(RaisedMessage([&] { Params.ParamByName("nope"); }), "Parameter 'nope' not found");
  TVXDBParams Other;
  Other.CreateParam(ftUnknown, "id", ptInput)->SetAsInteger(42);
  Params.Assign(&Other);
  EXPECT_EQ(P->Value().AsInteger(), 42);
  EXPECT_EQ(P->DataType, ftInteger);
  delete P;
  EXPECT_EQ(Params.Count(), 0);
}

TEST_F(TableComponentTest, InMemoryTablesLiveInTheMemoryDatabase) {
  auto* Memory = new TVXDBDatabase(Owner);
  Memory->SetSessionName(Session->SessionName());
  Memory->SetDatabaseName("Memory");
  Memory->Open();
  CreateTestTableIn(Memory->Handle(), "scratch", {{"ID", etInteger, 0, kAutoInc}, {"S", etString, 10}},
                    {{"", {1}, true}}, true);
  TVXDBTable* T = NewTable("scratch");
  T->SetInMemory(true);
  EXPECT_EQ(T->DatabaseName(), "Memory");
  T->SetDatabaseName("db");
  EXPECT_EQ(T->DatabaseName(), "Memory");
  T->Open();
  EXPECT_EQ(T->Database(), Memory);
  T->AppendRecord({Variant(), "x"});
  T->AppendRecord({Variant(), "y"});
  EXPECT_EQ(Column(T, "S"), (std::vector<std::string>{"x", "y"}));
  EXPECT_FALSE(std::filesystem::exists(Path + "scratch.DAT"));
}

TEST_F(TableComponentTest, PasswordsAndDamagedTables) {
  CreateTestTable(Path, "secret", {{"ID", etInteger, 0, kAutoInc}, {"S", etString, 10}}, {{"", {1}, true}}, "haslo");
  TVXDBTable* T = NewTable("secret");
  // Without a password the table stays closed, and the database is let go.
  EXPECT_EQ(RaisedMessage([&] { T->Open(); }),
            "VXDB Engine Error # 10498 Insufficient rights to table 'secret.DAT', a password is required");
  EXPECT_FALSE(T->Active());
  EXPECT_EQ(T->Database(), nullptr);
  int Asked = 0;
  Session->OnPassword = [&](TObject* Sender, bool& Continue) {
    ++Asked;
    static_cast<TVXDBSession*>(Sender)->AddPassword(Asked == 1 ? "wrong" : "haslo");
    Continue = true;
  };
  T->Open();
  EXPECT_EQ(Asked, 2);
  T->AppendRecord({Variant(), "ukryte"});
  T->Close();
  Session->RemoveAllPasswords();
  Session->OnPassword = nullptr;
  EXPECT_NE(RaisedMessage([&] { T->Open(); }), "");

  // A data file that is no table gives an error, not a crash.
  {
    std::FILE* F = std::fopen((Path + "junk.DAT").c_str(), "wb");
    ASSERT_NE(F, nullptr);
    std::fputs("this is not a table at all, just some text long enough to look like a header", F);
    std::fclose(F);
  }
  TVXDBTable* Junk = NewTable("junk");
  EXPECT_EQ(RaisedMessage([&] { Junk->Open(); }), "VXDB Engine Error # 9217 Error reading from table 'junk.DAT'");
  EXPECT_FALSE(Junk->Active());
  EXPECT_EQ(RaisedMessage([&] { NewTable("missing")->Open(); }),
            "VXDB Engine Error # 11010 Invalid path or file name for table 'missing.DAT'");
}

TEST(ParamsTest, StoredParametersReadBackAndBadDataIsRefused) {
  TVXDBParams Params;
  Params.CreateParam(ftUnknown, "i", ptInput)->SetAsInteger(-7);
  Params.CreateParam(ftUnknown, "s", ptInput)->SetAsString("tekst");
  Params.CreateParam(ftUnknown, "f", ptOutput)->SetAsFloat(2.5);
  Params.CreateParam(ftUnknown, "d", ptInput)->SetAsDate(45000);
  Params.CreateParam(ftUnknown, "ts", ptInput)->SetAsDateTime(45000.5);
  Params.CreateParam(ftUnknown, "b", ptInput)->SetAsBoolean(true);
  Params.CreateParam(ftUnknown, "m", ptInput)->SetAsBCD(Currency::FromRaw(12345));
  Params.CreateParam(ftUnknown, "blob", ptInput)->SetAsBlob(std::string("a\0b", 3));
  Params.CreateParam(ftInteger, "n", ptInput)->Clear();
  Params.CreateParam(ftUnknown, "unset", ptInput);
  TMemoryStream Stream;
  Params.WriteData(&Stream);

  TVXDBParams Back;
  Back.CreateParam(ftString, "old", ptInput);
  Stream.SetPosition(0);
  Back.ReadData(&Stream);
  ASSERT_EQ(Back.Count(), 10);
  for (int I = 0; I < Params.Count(); ++I) {
    TVXDBParam* A = Params.Items(I);
    TVXDBParam* B = Back.Items(I);
    EXPECT_EQ(B->Name, A->Name);
    EXPECT_EQ(B->DataType, A->DataType) << A->Name;
    EXPECT_EQ(B->ParamType, A->ParamType) << A->Name;
    EXPECT_EQ(B->IsNull, A->IsNull) << A->Name;
    EXPECT_EQ(B->Bound, A->Bound) << A->Name;
    if (!A->IsNull) {
      EXPECT_EQ(B->Value().AsString(), A->Value().AsString()) << A->Name;
    }
  }
  EXPECT_EQ(Back.ParamByName("m")->Value().AsCurrency().Raw, 12345);

  // Every cut of the data is refused with an error, and leaves an empty list.
  Stream.SetPosition(0);
  const std::string All = Stream.ReadString(Stream.Size());
  for (std::size_t Cut = 0; Cut < All.size(); ++Cut) {
    TMemoryStream Part;
    Part.WriteString(All.substr(0, Cut));
    Part.SetPosition(0);
    EXPECT_THROW(Back.ReadData(&Part), Exception) << Cut;
    EXPECT_EQ(Back.Count(), 0);
  }
  TMemoryStream Future;
  Future.WriteString(std::string("\x03\x00\x00\x00", 4));
  Future.SetPosition(0);
  EXPECT_EQ(RaisedMessage([&] { Back.ReadData(&Future); }), "Unable to load bind parameters");

  TVXDBParams Big;
  Big.CreateParam(ftUnknown, "p", ptInput)->SetAsBlob(std::string(2049, 'x'));
  TMemoryStream Out;
  EXPECT_EQ(RaisedMessage([&] { Big.WriteData(&Out); }), "Parameter 'p', cannot save data larger than 2048 bytes");
}

TEST(ParamsTest, ParseSQLReplacesNamesOutsideLiterals) {
  struct Case {
    const char* Text;
    const char* Result;
    std::vector<std::string> Names;
  };
  const Case Cases[] = {
      {"select * from t where id = :id", "select * from t where id = ?", {"id"}},
      {"where s = ':x' and t = \":y\"", "where s = ':x' and t = \":y\"", {}},
      {"select a::b from t", "select a:b from t", {}},
      {"(:a),:b;:c\n:d\r:e f", "(?),?;?\n?\r? f", {"a", "b", "c", "d", "e"}},
      {"x = :a=b and y = :c\td", "x = ? and y = ?", {"a=b", "c\td"}},
      {"x = :\"my name\", :'it''s'", "x = ?, ?", {"my name", "it''s"}},
      {"ends with :", "ends with :", {}},
  };
  for (const Case& C : Cases) {
    TVXDBParams Params;
    EXPECT_EQ(ParseSQL(C.Text, &Params), C.Result) << C.Text;
    std::vector<std::string> Names;
    for (int I = 0; I < Params.Count(); ++I) Names.push_back(Params.Items(I)->Name);
    EXPECT_EQ(Names, C.Names) << C.Text;
    EXPECT_EQ(ParseSQL(C.Text, nullptr), C.Result);
  }
}

}  // namespace
}  // namespace comptest
