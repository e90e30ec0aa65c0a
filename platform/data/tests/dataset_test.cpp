#include <gtest/gtest.h>

#include "platform/data/tests/test_fixture.h"

namespace {

class DataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Owner = new TComponent(nullptr);
    People = NewPeople(Owner, 10);
    Source = new TDataSource(Owner);
    Source->SetDataSet(People);
    Link.SetDataSource(Source);
  }
  void TearDown() override {
    Link.SetDataSource(nullptr);
    delete Owner;
  }
  std::string Name() { return People->FieldByName("NAME")->AsString(); }
  // The record numbers in the ring, in buffer order.
  std::vector<int> Ring() {
    std::vector<int> v;
    for (int i = 0; i < People->RingRecordCount(); ++i) v.push_back(People->RecordNumberIn(People->RingBuffer(i)));
    return v;
  }
  void ExpectRingAround(int ExpectedRecNo) {
    std::vector<int> ring = Ring();
    ASSERT_FALSE(ring.empty());
    ASSERT_LE(static_cast<int>(ring.size()), People->BufferCount());
    for (std::size_t i = 1; i < ring.size(); ++i) EXPECT_EQ(ring[i], ring[i - 1] + 1) << "ring out of order";
    EXPECT_EQ(ring[static_cast<std::size_t>(People->ActiveRecord())], ExpectedRecNo);
    EXPECT_EQ(People->RecNo(), ExpectedRecNo);
  }

  TComponent* Owner = nullptr;
  TMemoryDataSet* People = nullptr;
  TDataSource* Source = nullptr;
  TProbeLink Link;
};

TEST_F(DataSetTest, BrowsesMoreRecordsThanBuffersWithARingOfThree) {
  Link.SetBufferCount(3);
  EXPECT_EQ(People->BufferCount(), 3);
  People->First();
  EXPECT_TRUE(People->Bof());
  EXPECT_FALSE(People->Eof());
  ExpectRingAround(1);
  EXPECT_EQ(Ring(), (std::vector<int>{1, 2, 3}));
  for (int n = 2; n <= 10; ++n) {
    People->Next();
    SCOPED_TRACE(n);
    ExpectRingAround(n);
    EXPECT_LT(Link.ActiveRecord(), 3);
    EXPECT_GE(Link.ActiveRecord(), 0);
    EXPECT_FALSE(People->Eof());
  }
  EXPECT_EQ(Name(), "Janek");
  People->Next();  // past the end: stays on the last record
  EXPECT_TRUE(People->Eof());
  EXPECT_EQ(People->RecNo(), 10);
  for (int n = 9; n >= 1; --n) {
    People->Prior();
    ExpectRingAround(n);
  }
  EXPECT_FALSE(People->Bof());
  People->Prior();
  EXPECT_TRUE(People->Bof());
  EXPECT_EQ(Name(), "Ala");

  EXPECT_EQ(People->MoveBy(5), 5);
  ExpectRingAround(6);
  EXPECT_EQ(People->MoveBy(-100), -5);
  EXPECT_TRUE(People->Bof());
  EXPECT_EQ(People->MoveBy(100), 9);
  EXPECT_TRUE(People->Eof());
  People->Last();
  EXPECT_TRUE(People->Eof());
  EXPECT_EQ(Ring(), (std::vector<int>{8, 9, 10}));
  ExpectRingAround(10);
  // A jump puts the record in the middle of the ring.
  People->SetRecNo(5);
  EXPECT_EQ(Ring(), (std::vector<int>{4, 5, 6}));
  ExpectRingAround(5);
  EXPECT_EQ(Name(), "Ewa");
  EXPECT_EQ(People->RecordCount(), 10);
}

TEST_F(DataSetTest, ShrinkingAndGrowingTheRingKeepsTheActiveRecord) {
  Link.SetBufferCount(5);
  People->MoveBy(4);
  ExpectRingAround(5);
  Link.SetBufferCount(2);
  EXPECT_LE(People->RingRecordCount(), 2);
  ExpectRingAround(5);
  Link.SetBufferCount(6);
  EXPECT_EQ(People->RingRecordCount(), 6);
  ExpectRingAround(5);
  People->Next();
  ExpectRingAround(6);
}

TEST_F(DataSetTest, EmptyDatasetIsBothBofAndEofAndRefusesDelete) {
  auto* empty = new TMemoryDataSet(Owner);
  empty->Columns = {{"NAME", ftString, 10}};
  empty->Open();
  EXPECT_TRUE(empty->IsEmpty());
  EXPECT_TRUE(empty->Bof());
  EXPECT_TRUE(empty->Eof());
  EXPECT_EQ(empty->MoveBy(1), 0);
  EXPECT_TRUE(empty->FieldByName("NAME")->IsNull());
  EXPECT_EQ(empty->GetBookmark(), "");
  try {
    empty->Delete();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), SDataSetEmpty);
  }
  // Edit of an empty dataset inserts.
  empty->Edit();
  EXPECT_EQ(empty->State(), dsInsert);
  empty->FieldByName("NAME")->SetAsString("x");
  empty->Post();
  EXPECT_EQ(empty->RecordCount(), 1);
}

TEST_F(DataSetTest, AppendInsertEditCancelAndDeleteFireTheirEventsInOrder) {
  std::vector<std::string> log;
  RecordEvents(People, &log);
  People->SetRecNo(3);
  log.clear();

  People->Append();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll"}));
  EXPECT_EQ(People->State(), dsInsert);
  EXPECT_TRUE(People->Eof());
  EXPECT_EQ(People->RecNo(), -1);  // a new record has no number yet
  People->FieldByName("NAME")->SetAsString("Kasia");
  log.clear();
  People->Post();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforePost", "AfterPost"}));
  EXPECT_EQ(Name(), "Kasia");
  EXPECT_EQ(People->RecNo(), 11);
  EXPECT_EQ(People->FieldByName("ID")->AsInteger(), 11);  // given when stored

  // Insert puts the new record before the current one.
  People->SetRecNo(2);
  People->Insert();
  People->FieldByName("NAME")->SetAsString("Ola");
  People->Post();
  EXPECT_EQ(People->RecNo(), 2);
  People->Next();
  EXPECT_EQ(Name(), "Bartek");

  // Cancelling an insert stores nothing and goes back to the record it stood before.
  People->SetRecNo(4);
  People->Insert();
  People->FieldByName("NAME")->SetAsString("Nobody");
  log.clear();
  People->Cancel();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeCancel", "AfterCancel"}));
  EXPECT_EQ(People->State(), dsBrowse);
  EXPECT_EQ(Name(), "Celina");
  EXPECT_EQ(People->StoredRowCount(), 12);

  // Edit and cancel restores the value; edit and post stores it.
  log.clear();
  People->Edit();
  People->FieldByName("AGE")->SetAsInteger(99);
  EXPECT_TRUE(People->Modified());
  People->Cancel();
  EXPECT_EQ(People->FieldByName("AGE")->AsInteger(), 22);
  People->Edit();
  People->FieldByName("AGE")->SetAsInteger(99);
  People->Post();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel", "BeforeEdit",
                                           "AfterEdit", "BeforePost", "AfterPost"}));
  EXPECT_EQ(People->StoredValue(3, "AGE"), Variant(99));

  // Delete moves to the following record; deleting the last moves back.
  log.clear();
  People->Delete();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}));
  EXPECT_EQ(Name(), "Darek");
  People->Last();
  People->Delete();
  EXPECT_EQ(Name(), "Janek");
  EXPECT_EQ(People->RecordCount(), 10);
}

TEST_F(DataSetTest, CheckBrowseModePostsChangesAndCancelsUntouchedRecords) {
  std::vector<std::string> log;
  RecordEvents(People, &log);
  People->Edit();
  People->FieldByName("AGE")->SetAsInteger(50);
  log.clear();
  People->Next();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforePost", "AfterPost", "BeforeScroll", "AfterScroll"}));
  EXPECT_EQ(People->StoredValue(0, "AGE"), Variant(50));
  // A new record with only its defaults is dropped.
  People->OnNewRecord = [](TDataSet* ds) { ds->FieldByName("AGE")->SetAsInteger(1); };
  People->Append();
  log.clear();
  People->First();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeCancel", "AfterCancel", "BeforeScroll", "AfterScroll"}));
  EXPECT_EQ(People->RecordCount(), 10);
  // Post in browse state is refused.
  try {
    People->Post();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Dataset not in edit or insert mode");
  }
  try {
    People->FieldByName("AGE")->SetAsInteger(3);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Dataset not in edit or insert mode");
  }
}

TEST_F(DataSetTest, ErrorEventsRetryAbortOrFail) {
  struct Case {
    TDataAction Action;
    int Failures;  // how often the store fails before it works
    bool Raises;
    const char* ExceptionClass;
    int Calls;
    TDataSetState StateAfter;
  };
  const Case cases[] = {
      {daRetry, 2, false, "", 3, dsBrowse},
      {daAbort, 1, true, "EAbort", 1, dsEdit},
      {daFail, 1, true, "EDatabaseError", 1, dsEdit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Action));
    int failures = c.Failures, calls = 0, events = 0;
    People->BeforeStore = [&] {
      ++calls;
      if (failures-- > 0) DatabaseError("Record locked by another user");
    };
    People->OnPostError = [&](TDataSet*, EDatabaseError& e, TDataAction& a) {
      EXPECT_EQ(e.Message(), "Record locked by another user");
      ++events;
      a = c.Action;
    };
    People->Edit();
    People->FieldByName("AGE")->SetAsInteger(70);
    std::string raised;
    try {
      People->Post();
    } catch (const Exception& e) {
      raised = e.ClassName();
    }
    EXPECT_EQ(raised, c.ExceptionClass);
    EXPECT_EQ(calls, c.Calls);
    EXPECT_EQ(events, c.Failures);
    EXPECT_EQ(People->State(), c.StateAfter);
    if (People->State() == dsEdit) People->Cancel();
  }
  People->BeforeStore = nullptr;

  // Edit and delete errors go through their own events.
  int editTries = 0, deleteTries = 0;
  People->BeforeEditLock = [&] {
    if (++editTries == 1) DatabaseError("locked");
  };
  People->OnEditError = [](TDataSet*, EDatabaseError&, TDataAction& a) { a = daRetry; };
  People->Edit();
  EXPECT_EQ(editTries, 2);
  EXPECT_EQ(People->State(), dsEdit);
  People->Cancel();
  People->BeforeRemove = [&] {
    ++deleteTries;
    DatabaseError("locked");
  };
  People->OnDeleteError = [](TDataSet*, EDatabaseError&, TDataAction& a) { a = daAbort; };
  EXPECT_THROW(People->Delete(), EAbort);
  EXPECT_EQ(deleteTries, 1);
  EXPECT_EQ(People->RecordCount(), 10);
}

TEST_F(DataSetTest, RequiredFieldsMustHaveAValueButAutoIncrementIsGivenLater) {
  People->Append();
  std::string message;
  try {
    People->Post();
  } catch (const EDatabaseError& e) {
    message = e.Message();
  }
  EXPECT_EQ(message, "Field 'NAME' must have a value");
  EXPECT_EQ(People->State(), dsInsert);
  // The error event may supply the value and retry.
  People->OnPostError = [](TDataSet* ds, EDatabaseError&, TDataAction& a) {
    ds->FieldByName("NAME")->SetAsString("Zosia");
    a = daRetry;
  };
  People->Post();
  EXPECT_EQ(Name(), "Zosia");
  EXPECT_EQ(People->RecordCount(), 11);
  // A read-only required field is not checked; a display label names the field.
  People->OnPostError = nullptr;
  People->FieldByName("NAME")->SetDisplayLabel("Imi\xEA");
  People->Append();
  try {
    People->Post();
  } catch (const EDatabaseError& e) {
    message = e.Message();
  }
  EXPECT_EQ(message, "Field 'Imi\xEA' must have a value");
  People->Cancel();
}

TEST_F(DataSetTest, AppendAndInsertRecordByPosition) {
  People->SetRecNo(4);
  People->InsertRecord({Variant::Null(), "Wojtek", 40});
  EXPECT_EQ(Name(), "Wojtek");
  EXPECT_EQ(People->RecNo(), 4);
  EXPECT_EQ(People->FieldByName("ID")->AsInteger(), 11);
  People->AppendRecord({Variant(), "Zenon"});  // fewer values: the rest stays blank
  EXPECT_EQ(People->RecNo(), 12);
  EXPECT_TRUE(People->FieldByName("AGE")->IsNull());
  // A failing append leaves no record and no insert state behind.
  People->BeforeStore = [] { DatabaseError("disk full"); };
  EXPECT_THROW(People->AppendRecord({Variant(), "Nikt", 1}), EDatabaseError);
  EXPECT_EQ(People->State(), dsBrowse);
  EXPECT_EQ(People->RecordCount(), 12);
  People->BeforeStore = nullptr;
  EXPECT_THROW(People->AppendRecord({1, "a", 2, 3}), EDatabaseError);
  EXPECT_EQ(People->State(), dsBrowse);
  EXPECT_THROW(People->AppendRecord({Variant(), Variant(), 5}), EDatabaseError);  // NAME required
  EXPECT_EQ(People->RecordCount(), 12);
}

TEST_F(DataSetTest, BookmarksReturnToTheirRecordAndCompareInOrder) {
  Link.SetBufferCount(3);
  People->SetRecNo(3);
  TBookmark b3 = People->GetBookmark();
  People->SetRecNo(8);
  TBookmark b8 = People->Bookmark();
  People->First();
  People->GotoBookmark(b3);
  EXPECT_EQ(Name(), "Celina");
  EXPECT_EQ(People->RecNo(), 3);
  People->SetBookmark(b8);
  EXPECT_EQ(Name(), "Henryk");
  EXPECT_EQ(Ring(), (std::vector<int>{7, 8, 9}));
  EXPECT_EQ(People->CompareBookmarks(b3, b8), -1);
  EXPECT_EQ(People->CompareBookmarks(b8, b3), 1);
  EXPECT_EQ(People->CompareBookmarks(b3, b3), 0);
  EXPECT_EQ(People->CompareBookmarks("", ""), 0);
  EXPECT_EQ(People->CompareBookmarks("", b3), 1);
  EXPECT_EQ(People->CompareBookmarks(b3, ""), -1);
  EXPECT_TRUE(People->BookmarkValid(b3));
  People->GotoBookmark(b3);
  People->Delete();
  EXPECT_FALSE(People->BookmarkValid(b3));
  EXPECT_THROW(People->GotoBookmark(b3), EDatabaseError);
  EXPECT_EQ(Name(), "Darek");  // a failed jump leaves the dataset where it was
  // A record being inserted has no bookmark.
  People->Insert();
  EXPECT_EQ(People->GetBookmark(), "");
  People->Cancel();
}

TEST_F(DataSetTest, FiltersSelectRecordsAndFindHonoursThemUnfiltered) {
  auto evenAges = [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("AGE")->AsInteger() % 2 == 0; };
  People->SetOnFilterRecord(evenAges);
  // Not filtered: all records, but FindFirst/FindNext search under the filter.
  EXPECT_EQ(People->RecordCount(), 10);
  People->SetRecNo(2);
  EXPECT_TRUE(People->FindNext());
  EXPECT_TRUE(People->Found());
  EXPECT_EQ(People->FieldByName("AGE")->AsInteger(), 22);
  EXPECT_TRUE(People->FindLast());
  EXPECT_EQ(People->FieldByName("AGE")->AsInteger(), 28);
  EXPECT_FALSE(People->FindNext());
  EXPECT_FALSE(People->Found());
  EXPECT_EQ(People->FieldByName("AGE")->AsInteger(), 28);
  EXPECT_TRUE(People->FindPrior());
  EXPECT_EQ(People->FieldByName("AGE")->AsInteger(), 26);
  EXPECT_TRUE(People->FindFirst());
  EXPECT_EQ(People->FieldByName("AGE")->AsInteger(), 20);

  // Filtered: switching on goes to the first record of the filtered set.
  People->SetRecNo(4);
  People->SetFiltered(true);
  EXPECT_EQ(People->RecordCount(), 5);
  EXPECT_TRUE(People->Bof());
  std::vector<int> ages;
  for (; !People->Eof(); People->Next()) ages.push_back(People->FieldByName("AGE")->AsInteger());
  EXPECT_EQ(ages, (std::vector<int>{20, 22, 24, 26, 28}));

  // Filter text with the case and partial options.
  People->SetOnFilterRecord(nullptr);
  People->SetFilter("NAME=e*");
  EXPECT_EQ(People->RecordCount(), 0);
  People->SetFilterOptions(foCaseInsensitive);
  EXPECT_EQ(People->RecordCount(), 1);
  EXPECT_EQ(Name(), "Ewa");
  People->SetFilterOptions(foCaseInsensitive | foNoPartialCompare);
  EXPECT_EQ(People->RecordCount(), 0);
  People->SetFiltered(false);
  EXPECT_EQ(People->RecordCount(), 10);
}

TEST_F(DataSetTest, LocateAndLookupWithOptionsAndNulls) {
  People->SetRecNo(6);
  People->Edit();
  People->FieldByName("AGE")->Clear();
  People->Post();
  People->First();
  std::vector<std::string> log;
  RecordEvents(People, &log);

  struct Case {
    const char* Fields;
    Variant Key;
    TLocateOptions Options;
    int RecNo;  // 0: not found
  };
  const Case cases[] = {
      {"NAME", "celina", 0, 0},
      {"name", "celina", loCaseInsensitive, 3},
      {"NAME", "Ja", loPartialKey, 10},
      {"NAME", "ja", loPartialKey, 0},
      {"NAME", "ja", loPartialKey | loCaseInsensitive, 10},
      {"NAME", "Janek Kowalski", loPartialKey, 0},
      {"AGE", 23, 0, 4},
      {"AGE", "23", 0, 4},
      {"AGE", Variant::Null(), 0, 6},
      {"NAME;AGE", VarArrayOf({"Gosia", 26}), 0, 7},
      {"NAME;AGE", VarArrayOf({"Gosia", 27}), 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Fields) + " " + (c.Key.IsArray() ? c.Key[0].AsString() : c.Key.AsString()));
    People->SetRecNo(2);
    log.clear();
    bool found = People->Locate(c.Fields, c.Key, c.Options);
    EXPECT_EQ(found, c.RecNo != 0);
    EXPECT_EQ(People->RecNo(), found ? c.RecNo : 2);  // a failed search stays where it was
    EXPECT_EQ(log.front(), "BeforeScroll");
    EXPECT_EQ(log.back(), found ? "AfterScroll" : "BeforeScroll");
  }
  EXPECT_THROW(People->Locate("NOPE", 1, 0), EDatabaseError);

  People->SetRecNo(2);
  TBookmark here = People->GetBookmark();
  EXPECT_EQ(People->Lookup("NAME", "Ewa", "AGE"), Variant(24));
  EXPECT_EQ(People->Lookup("AGE", 27, "NAME;ID"), VarArrayOf({"Henryk", 8}));
  EXPECT_TRUE(People->Lookup("NAME", "ewa", "AGE").IsNull());  // no options: exact case
  EXPECT_TRUE(People->Lookup("NAME", "Franek", "AGE").IsNull());  // found, value is blank
  EXPECT_EQ(People->GetBookmark(), here);
  EXPECT_EQ(Name(), "Bartek");
  People->Next();  // the cursor moved during the search; the dataset still knows where it is
  EXPECT_EQ(Name(), "Celina");
}

TEST_F(DataSetTest, DisableControlsSuppressesLinkEventsUntilEnabled) {
  Link.Changed = Link.Scrolled = 0;
  People->DisableControls();
  People->DisableControls();
  People->Next();
  People->Next();
  People->Last();
  EXPECT_TRUE(People->ControlsDisabled());
  People->EnableControls();
  EXPECT_EQ(Link.Changed + Link.Scrolled, 0);
  People->EnableControls();
  EXPECT_FALSE(People->ControlsDisabled());
  EXPECT_EQ(Link.Changed, 1);
  EXPECT_EQ(Link.Scrolled, 0);
  People->Prior();
  EXPECT_EQ(Link.Scrolled + Link.Changed, 2);
  // A state change while disabled is told once controls come back.
  int stateChanges = 0;
  Source->OnStateChange = [&](TObject*) { ++stateChanges; };
  People->DisableControls();
  People->Edit();
  EXPECT_EQ(stateChanges, 0);
  EXPECT_EQ(Source->State(), dsBrowse);
  People->EnableControls();
  EXPECT_EQ(stateChanges, 1);
  EXPECT_EQ(Source->State(), dsEdit);
  EXPECT_TRUE(Link.Editing());
  People->Cancel();
}

TEST_F(DataSetTest, ClosingAndReopeningRebuildsDefaultFields) {
  std::vector<std::string> log;
  People->BeforeClose = [&](TDataSet*) { log.push_back("BeforeClose"); };
  People->AfterClose = [&](TDataSet*) { log.push_back("AfterClose"); };
  People->AfterOpen = [&](TDataSet*) { log.push_back("AfterOpen"); };
  EXPECT_EQ(Link.Active(), true);
  People->Close();
  EXPECT_EQ(People->FieldCount(), 0);
  EXPECT_FALSE(Link.Active());
  EXPECT_THROW(People->Next(), EDatabaseError);
  People->Open();
  EXPECT_TRUE(Link.Active());
  EXPECT_EQ(People->FieldCount(), 3);
  EXPECT_EQ(Name(), "Ala");
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeClose", "AfterClose", "AfterOpen"}));
  // Columns can change only while closed.
  EXPECT_THROW(People->FieldByName("NAME")->SetSize(5), EDatabaseError);
}

}  // namespace

namespace {

TEST(DataSetLifecycle, OpensAfterLoadingAndAFailedOpenLeavesItClosed) {
  TComponent owner(nullptr);
  auto* ds = new TMemoryDataSet(&owner);
  ds->Columns = {{"NAME", ftString, 10}};
  ds->SetLoading(true);
  ds->SetActive(true);
  EXPECT_FALSE(ds->Active());
  ds->SetLoading(false);
  EXPECT_TRUE(ds->Active());
  ds->Close();

  // A field without a column: the open fails cleanly and can be retried once it is gone.
  auto* ghost = new TIntegerField(&owner);
  ghost->SetFieldName("GHOST");
  ghost->SetDataSet(ds);
  try {
    ds->Open();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'GHOST' not found");
  }
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->State(), dsInactive);
  delete ghost;
  EXPECT_EQ(ds->FieldCount(), 0);
  ds->Open();
  EXPECT_TRUE(ds->Active());
  EXPECT_EQ(ds->FieldCount(), 1);
  // A field of the wrong type for its column is refused too.
  ds->Close();
  auto* wrong = new TIntegerField(&owner);
  wrong->SetFieldName("NAME");
  wrong->SetDataSet(ds);
  EXPECT_THROW(ds->Open(), EDatabaseError);
  EXPECT_FALSE(ds->Active());
}

}  // namespace

namespace {

TEST(DataSetReadOnly, RefusesEveryChange) {
  TComponent owner(nullptr);
  TMemoryDataSet* ds = NewPeople(&owner, 2);
  ds->ReadOnlyTable = true;
  EXPECT_FALSE(ds->CanModify());
  EXPECT_FALSE(ds->FieldByName("NAME")->CanModify());
  const std::function<void()> changes[] = {[&] { ds->Edit(); }, [&] { ds->Append(); }, [&] { ds->Insert(); },
                                           [&] { ds->Delete(); }, [&] { ds->AppendRecord({Variant(), "x"}); }};
  for (const auto& change : changes) {
    try {
      change();
      ADD_FAILURE() << "a change went through";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "Cannot modify a read-only dataset");
    }
    EXPECT_EQ(ds->State(), dsBrowse);
  }
  EXPECT_EQ(ds->RecordCount(), 2);
  ds->Close();
  EXPECT_THROW(ds->Resync(0), EDatabaseError);
  EXPECT_THROW(ds->Refresh(), EDatabaseError);
}

}  // namespace
