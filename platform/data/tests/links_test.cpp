#include <gtest/gtest.h>

#include "platform/data/tests/test_fixture.h"

namespace {

class MasterDetailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Owner = new TComponent(nullptr);
    Students = new TMemoryDataSet(Owner);
    Students->Columns = {{"ID_STUDENT", ftInteger}, {"NAME", ftString, 20}};
    Students->Open();
    Students->AppendRecord({1, "Ala"});
    Students->AppendRecord({2, "Bartek"});
    Students->AppendRecord({3, "Celina"});
    Practice = new TMemoryDataSet(Owner);
    Practice->Columns = {{"ID_PRACTICE", ftAutoInc}, {"ID_STUDENT", ftInteger}, {"CPM", ftFloat}};
    Practice->Open();
    const int owners[] = {1, 2, 1, 3, 1, 2};
    for (int i = 0; i < 6; ++i) Practice->AppendRecord({Variant(), owners[i], 100.0 + i});
    DsStudent = new TDataSource(Owner);
    DsStudent->SetDataSet(Students);
    DsPractice = new TDataSource(Owner);
    DsPractice->SetDataSet(Practice);
    Practice->DetailFields = "ID_STUDENT";
    Practice->SetMasterSource(DsStudent);
    Practice->SetMasterFields("ID_STUDENT");
    Students->First();
  }
  void TearDown() override { delete Owner; }

  // The CPM values of the detail records shown, in order.
  std::vector<double> Shown() {
    std::vector<double> v;
    for (Practice->First(); !Practice->Eof(); Practice->Next()) v.push_back(Practice->FieldByName("CPM")->AsFloat());
    Practice->First();
    return v;
  }

  TComponent* Owner = nullptr;
  TMemoryDataSet* Students = nullptr;
  TMemoryDataSet* Practice = nullptr;
  TDataSource* DsStudent = nullptr;
  TDataSource* DsPractice = nullptr;
};

TEST_F(MasterDetailTest, DetailFollowsTheMastersCurrentRecord) {
  EXPECT_EQ(Shown(), (std::vector<double>{100, 102, 104}));
  Students->Next();
  EXPECT_EQ(Shown(), (std::vector<double>{101, 105}));
  Students->Last();
  EXPECT_EQ(Shown(), (std::vector<double>{103}));
  ASSERT_TRUE(Students->Locate("NAME", "Ala", 0));
  EXPECT_EQ(Practice->RecordCount(), 3);
  // A change of the master's key field moves the detail along.
  Students->Edit();
  Students->FieldByName("ID_STUDENT")->SetAsInteger(2);
  EXPECT_EQ(Shown(), (std::vector<double>{101, 105}));
  Students->Cancel();
  EXPECT_EQ(Shown(), (std::vector<double>{100, 102, 104}));
  // A change of another field does not.
  int moved = 0;
  Practice->AfterScroll = [&](TDataSet*) { ++moved; };
  Students->Edit();
  Students->FieldByName("NAME")->SetAsString("Alicja");
  EXPECT_EQ(moved, 0);
  Students->Post();
}

TEST_F(MasterDetailTest, NewDetailRecordTakesTheMastersKey) {
  Students->SetRecNo(3);
  Practice->Append();
  EXPECT_EQ(Practice->FieldByName("ID_STUDENT")->AsInteger(), 3);
  Practice->FieldByName("CPM")->SetAsFloat(250);
  Practice->Post();
  EXPECT_EQ(Shown(), (std::vector<double>{103, 250}));
  // A value left empty keeps the master's key; Null blanks it.
  Practice->AppendRecord({Variant(), Variant(), 260.0});
  EXPECT_EQ(Practice->FieldByName("ID_STUDENT")->AsInteger(), 3);
  EXPECT_EQ(Practice->RecordCount(), 3);
  Practice->AppendRecord({Variant(), Variant::Null(), 270.0});
  EXPECT_EQ(Practice->RecordCount(), 3);
  EXPECT_EQ(Practice->StoredRowCount(), 9);
}

TEST_F(MasterDetailTest, ClosingOrDisablingTheMasterLiftsTheRange) {
  EXPECT_EQ(Practice->RecordCount(), 3);
  DsStudent->SetEnabled(false);
  EXPECT_EQ(Practice->RecordCount(), 6);
  DsStudent->SetEnabled(true);
  EXPECT_EQ(Practice->RecordCount(), 3);
  Students->Close();
  EXPECT_EQ(Practice->RecordCount(), 6);
  Students->Open();
  EXPECT_EQ(Practice->RecordCount(), 3);
  // Removing the master's data source leaves the detail whole and unlinked.
  delete DsStudent;
  DsStudent = nullptr;
  EXPECT_EQ(Practice->MasterSource(), nullptr);
  EXPECT_EQ(Practice->RecordCount(), 6);
}

TEST_F(MasterDetailTest, CircularLinksAreRefused) {
  auto expectCircular = [](const std::function<void()>& Link) {
    try {
      Link();
      ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "Circular datalinks are not allowed");
    }
  };
  expectCircular([&] { Students->SetMasterSource(DsPractice); });
  expectCircular([&] { Practice->SetMasterSource(DsPractice); });
  EXPECT_EQ(Students->MasterSource(), nullptr);
  EXPECT_EQ(Practice->MasterSource(), DsStudent);
  // The loop may also be closed from the data source's side.
  auto* loose = new TDataSource(Owner);
  Students->SetMasterSource(loose);
  expectCircular([&] { loose->SetDataSet(Practice); });
  EXPECT_EQ(loose->DataSet(), nullptr);
  // A link that serves no dataset may point anywhere.
  TProbeLink plain;
  plain.SetDataSource(DsPractice);
  EXPECT_TRUE(plain.Active());
  plain.SetDataSource(nullptr);
}

TEST_F(MasterDetailTest, DisabledControlsHoldTheDetailUntilEnabled) {
  Students->DisableControls();
  Students->Next();
  Students->Next();
  EXPECT_EQ(Students->FieldByName("NAME")->AsString(), "Celina");
  EXPECT_EQ(Practice->RecordCount(), 3);  // still Ala's
  EXPECT_EQ(Practice->FieldByName("CPM")->AsFloat(), 100);
  Students->EnableControls();
  EXPECT_EQ(Shown(), (std::vector<double>{103}));
}

TEST_F(MasterDetailTest, PendingDetailEditsArePostedWhenTheMasterMoves) {
  Practice->Edit();
  Practice->FieldByName("CPM")->SetAsFloat(333);
  Students->Next();
  EXPECT_EQ(Practice->State(), dsBrowse);
  Students->First();
  EXPECT_EQ(Shown(), (std::vector<double>{333, 102, 104}));
}

TEST(DataLink, AutoEditAndRecordChangesThroughTheDataSource) {
  TComponent owner(nullptr);
  TMemoryDataSet* people = NewPeople(&owner, 3);
  auto* ds = new TDataSource(&owner);
  TProbeLink link;
  link.SetDataSource(ds);
  EXPECT_FALSE(link.Active());
  ds->SetDataSet(people);
  EXPECT_TRUE(link.Active());
  EXPECT_EQ(link.ActiveChanges, 1);
  std::vector<TField*> changed;
  ds->OnDataChange = [&](TObject*, TField* f) { changed.push_back(f); };
  EXPECT_TRUE(link.Edit());
  EXPECT_EQ(people->State(), dsEdit);
  TField* age = people->FieldByName("AGE");
  age->SetAsInteger(44);
  ASSERT_FALSE(link.RecordChanges.empty());
  EXPECT_EQ(link.RecordChanges.back(), age);
  EXPECT_EQ(changed.back(), age);
  people->Post();
  ds->AutoEdit = false;
  EXPECT_FALSE(link.Edit());
  EXPECT_EQ(people->State(), dsBrowse);
  // A deleted dataset leaves its data source empty.
  delete people;
  EXPECT_EQ(ds->DataSet(), nullptr);
  EXPECT_FALSE(link.Active());
  link.SetDataSource(nullptr);
}

}  // namespace
