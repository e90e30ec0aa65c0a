// Session and database components: names, automatic session names, settings, connections shared
// and kept, transactions and their texts.
#include "dbengine/storage/components/engine_bridge.h"
#include "dbengine/storage/components/tests/comp_fixture.h"

namespace comptest {
namespace {

using SessionComponentTest = ComponentsTest;

TEST_F(SessionComponentTest, AutoSessionNamesAreNumberedPerProcessAndHandedToTheOwnersComponents) {
  auto* DM = new TComponent(nullptr);
  auto* Db = new TVXDBDatabase(DM);
  Db->SetDatabaseName("db");
  auto* Table = new TVXDBTable(DM);
  auto* S = new TVXDBSession(DM);
  S->SetName("VXSession");
  S->SetAutoSessionName(true);
  EXPECT_EQ(S->SessionName(), "VXSession_1");
  EXPECT_EQ(Db->SessionName(), "VXSession_1");
  EXPECT_EQ(Db->Session(), S);
  EXPECT_EQ(Table->SessionName(), "VXSession_1");
  auto* Later = new TVXDBTable(DM);
  EXPECT_EQ(Later->SessionName(), "VXSession_1");
  EXPECT_EQ(RaisedMessage([&] { new TVXDBSession(DM); }), "This auto-session already exists.");
  EXPECT_EQ(RaisedMessage([&] { S->SetSessionName("Other"); }),
            "Cannot perform this operation on the active auto-session.");

  // A second data module gets the next number; a freed number is taken again.
  auto* DM2 = new TComponent(nullptr);
  auto* S2 = new TVXDBSession(DM2);
  S2->SetName("VXSession");
  S2->SetAutoSessionName(true);
  EXPECT_EQ(S2->SessionName(), "VXSession_2");
  delete DM;
  auto* DM3 = new TComponent(nullptr);
  auto* S3 = new TVXDBSession(DM3);
  S3->SetName("VXSession");
  S3->SetAutoSessionName(true);
  EXPECT_EQ(S3->SessionName(), "VXSession_1");

  // Beside another session of the same owner the automatic name is refused.
  auto* DM4 = new TComponent(nullptr);
  new TVXDBSession(DM4);
  auto* S4 = new TVXDBSession(DM4);
  EXPECT_EQ(RaisedMessage([&] { S4->SetAutoSessionName(true); }),
            "The active auto-session can be the only active session.");
  delete DM2;
  delete DM3;
  delete DM4;
}

TEST_F(SessionComponentTest, SessionTextsAndSettingsReachTheEngineSession) {
  EXPECT_EQ(RaisedMessage([] { VXDBSessions().GetSession("nowhere"); }), "Session name nowhere is not valid.");
  EXPECT_EQ(VXDBSessions().FindSession("")->SessionName(), "Default");
  EXPECT_EQ(VXDBSessions().FindSession(Session->SessionName()), Session);
  auto* S = new TVXDBSession(Owner);
  EXPECT_EQ(RaisedMessage([&] { S->SetSessionName(Session->SessionName()); }),
            "Session name " + Session->SessionName() + " already exists.");
  EXPECT_EQ(RaisedMessage([&] { S->SetActive(true); }), "Session name is missing.");
  EXPECT_FALSE(S->Active());
  S->SetSessionName("Second");
  S->SetLockRetryCount(7);
  S->SetPrivateDir(Path);
  int Startups = 0;
  S->OnStartup = [&](TObject*) { ++Startups; };
  S->SetActive(true);
  EXPECT_EQ(Startups, 1);
  TEngSessionSettings E = EngSessionSettings(S->GetHandle());
  EXPECT_EQ(E.LockRetryCount, 7);
  EXPECT_EQ(E.PrivateDir, Path);
  S->SetLockWaitTime(33);  // while active: at once
  S->SetLanguageID(1045);
  E = EngSessionSettings(S->GetHandle());
  EXPECT_EQ(E.LockWaitTime, 33);
  EXPECT_EQ(E.LanguageID, 1045);
  EXPECT_EQ(RaisedMessage([&] { S->SetSessionName("Third"); }), "Cannot perform this operation on an active session.");
  EXPECT_EQ(S->EngineVersion(), "2.08");
  S->SetActive(false);
  EXPECT_FALSE(S->Active());
}

TEST_F(SessionComponentTest, DatabaseTexts) {
  auto* D = new TVXDBDatabase(Owner);
  D->SetSessionName(Session->SessionName());
  EXPECT_EQ(RaisedMessage([&] { D->Open(); }), "Database name is missing.");
  EXPECT_EQ(RaisedMessage([&] { D->SetDatabaseName("c:data"); }), "Database name c:data is not valid.");
  EXPECT_EQ(RaisedMessage([&] { D->SetDatabaseName("dir\\data"); }), "Database name dir\\data is not valid.");
  EXPECT_EQ(RaisedMessage([&] { D->SetDatabaseName("1db"); }), "Database name 1db is not valid.");
  EXPECT_EQ(RaisedMessage([&] { D->SetDatabaseName("db"); }), "Database name db already exists.");
  EXPECT_EQ(RaisedMessage([&] { D->StartTransaction(); }), "Cannot perform this operation on a closed database.");
  Database->Open();
  EXPECT_TRUE(Database->Connected());
  EXPECT_EQ(RaisedMessage([&] { Database->SetDirectory("/tmp"); }), "Cannot perform this operation on an open database.");
  EXPECT_EQ(RaisedMessage([&] { Database->Commit(); }), "Database db has no active transaction.");
  EXPECT_EQ(RaisedMessage([&] { Database->Rollback(); }), "Database db has no active transaction.");
  Database->StartTransaction();
  EXPECT_TRUE(Database->InTransaction());
  EXPECT_EQ(RaisedMessage([&] { Database->StartTransaction(); }), "Database db already has an active transaction.");
  Database->Commit();
  EXPECT_FALSE(Database->InTransaction());
  EXPECT_EQ(RaisedMessage([&] { VXDBSessions().GetSession(Session->SessionName());
                                 TVXDBTable* T = NewTable("student");
                                 T->SetSessionName("nowhere");
                                 T->Open(); }),
            "Session name nowhere is not valid.");
}

TEST_F(SessionComponentTest, KeepConnectionAndSharedHandles) {
  CreateStudents();
  TVXDBTable* T = NewTable("student");
  Database->SetKeepConnection(false);
  T->Open();
  EXPECT_TRUE(Database->Connected());
  EXPECT_EQ(T->Database(), Database);
  T->Close();
  EXPECT_FALSE(Database->Connected());
  Database->SetKeepConnection(true);
  T->Open();
  T->Close();
  EXPECT_TRUE(Database->Connected());
  Database->Close();

  // Two databases of one name with shared handles: the second borrows the first's directory.
  Database->SetHandleShared(true);
  Database->Open();
  auto* Other = new TVXDBDatabase(Owner);
  Other->SetSessionName(Session->SessionName());
  Other->SetHandleShared(true);
  Other->SetDatabaseName("db");
  Other->Open();
  EXPECT_TRUE(Other->Borrowed());
  EXPECT_EQ(Other->Handle(), Database->Handle());
  Other->Close();
  EXPECT_TRUE(Database->Connected());
  T->Open();  // the directory is still usable
  EXPECT_EQ(T->RecordCount(), 0);
  // Closing the database closes its datasets, and a borrower loses the directory with it.
  Other->Open();
  EXPECT_TRUE(Other->Borrowed());
  Database->Close();
  EXPECT_FALSE(T->Active());
  EXPECT_FALSE(Other->Connected());
  EXPECT_EQ(Other->Handle(), nullptr);
}

// Closing a database whose last open dataset hands it back to the session: the session must not
// close (or free) the database in the middle of its own close.
TEST_F(SessionComponentTest, ClosingADatabaseThatDoesNotKeepItsConnectionClosesItsOpenDatasets) {
  CreateStudents();
  struct Case {
    const char* Name;
    bool Temporary;
  };
  for (const Case& C : {Case{"named database", false}, Case{"temporary database", true}}) {
    SCOPED_TRACE(C.Name);
    TVXDBTable* T = NewTable("student");
    TVXDBTable* U = NewTable("student");
    TVXDBDatabase* D = Database;
    if (C.Temporary) {
      Session->SetKeepConnections(false);
      T->SetDatabaseName(Path);
      U->SetDatabaseName(Path);
    } else {
      Database->SetKeepConnection(false);
    }
    T->Open();
    U->Open();
    if (C.Temporary) D = T->Database();
    ASSERT_NE(D, nullptr);
    ASSERT_EQ(U->Database(), D);
    ASSERT_TRUE(D->Connected());
    D->Close();
    EXPECT_FALSE(D->Connected());
    EXPECT_FALSE(T->Active());
    EXPECT_FALSE(U->Active());
    EXPECT_EQ(D->DataSetCount(), 0);
    EXPECT_EQ(D->RefCount(), 0);
    // The directory was really let go: the tables open again.
    T->Open();
    EXPECT_EQ(T->RecordCount(), 0);
    T->Close();
    delete T;
    delete U;
  }
}

TEST_F(SessionComponentTest, ADatasetWithAFolderAsDatabaseGetsATemporaryDatabase) {
  CreateStudents();
  Session->SetKeepConnections(false);
  TVXDBTable* T = NewTable("student");
  T->SetDatabaseName(Path);
  T->Open();
  ASSERT_NE(T->Database(), nullptr);
  EXPECT_TRUE(T->Database()->Temporary());
  EXPECT_EQ(T->Database()->DatabaseName(), Path);
  EXPECT_EQ(EngDirectoryPath(T->Database()->Handle()), Path);
  int Before = Session->DatabaseCount();
  T->Close();
  EXPECT_EQ(Session->DatabaseCount(), Before - 1);  // freed with its last dataset
}

}  // namespace
}  // namespace comptest
