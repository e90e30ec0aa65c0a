// Transactions over several tables, and what other processes see: record locks held in edit,
// and the data module's logon protocol between copies of the program, one of which dies.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "dbengine/storage/components/tests/comp_fixture.h"
#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/core/finally.h"

namespace comptest {
namespace {

// ---- A child process driven through two pipes ----------------------------------------------------
class TChild {
 public:
  // Body runs in the child with a function that reports one byte to the parent and one that
  // waits for a byte from it; the child ends when Body returns.
  explicit TChild(const std::function<void(const std::function<void(char)>&, const std::function<char()>&)>& Body) {
    int Up[2], Down[2];
    if (pipe(Up) != 0 || pipe(Down) != 0) throw std::runtime_error("pipe");
    Pid = fork();
    if (Pid == 0) {
      close(Up[0]);
      close(Down[1]);
      int Code = 0;
      try {
        Body([&](char C) { (void)!write(Up[1], &C, 1); },
             [&]() {
               char C = 0;
               if (read(Down[0], &C, 1) != 1) _exit(3);
               return C;
             });
      } catch (...) {
        char C = 'E';
        (void)!write(Up[1], &C, 1);
        Code = 2;
      }
      _exit(Code);
    }
    close(Up[1]);
    close(Down[0]);
    FromChild = Up[0];
    ToChild = Down[1];
  }
  ~TChild() {
    if (Pid > 0) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
    close(FromChild);
    close(ToChild);
  }
  char Receive() {
    char C = 0;
    return read(FromChild, &C, 1) == 1 ? C : '?';
  }
  void Send(char C) { (void)!write(ToChild, &C, 1); }
  void Kill() {
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
    Pid = -1;
  }

 private:
  pid_t Pid = -1;
  int FromChild = -1, ToChild = -1;
};

// A session, a database and tables of their own, as each running copy of the program has.
struct TCopy {
  TCopy(const std::string& Path, const std::string& Name) : Owner(new TComponent(nullptr)) {
    Session = new TVXDBSession(Owner);
    Session->SetSessionName(Name);
    Session->SetLockRetryCount(3);
    Session->SetLockWaitTime(20);
    auto* Db = new TVXDBDatabase(Owner);
    Db->SetSessionName(Name);
    Db->SetDatabaseName("db");
    Db->SetDirectory(Path);
    Database = Db;
  }
  ~TCopy() { delete Owner; }
  TVXDBTable* Table(const std::string& Name) {
    auto* T = new TVXDBTable(Owner);
    T->SetSessionName(Session->SessionName());
    T->SetDatabaseName("db");
    T->SetTableName(Name);
    T->Open();
    return T;
  }
  TComponent* Owner;
  TVXDBSession* Session;
  TVXDBDatabase* Database;
};

using ComponentProcessTest = ComponentsTest;

TEST_F(ComponentProcessTest, ARecordInEditIsLockedForOtherProcessesUntilTheEditEnds) {
  CreateStudents();
  {
    TVXDBTable* T = NewTable("student");
    T->Open();
    T->AppendRecord({Variant(), 1, "Ala", "W"});
    T->AppendRecord({Variant(), 1, "Olek", "M"});
    T->Close();
  }
  TChild Child([&](const auto& Report, const auto& Wait) {
    TCopy Copy(Path, "child");
    TVXDBTable* T = Copy.Table("student");
    T->First();
    T->Edit();
    Report('L');
    Wait();
    T->Cancel();
    Report('U');
    Wait();
  });
  ASSERT_EQ(Child.Receive(), 'L');
  TVXDBTable* T = NewTable("student");
  T->Open();
  EXPECT_TRUE(T->IsRecordLocked());
  T->Next();
  EXPECT_FALSE(T->IsRecordLocked());
  // Editing the locked record fails here.
  T->First();
  EXPECT_NE(RaisedMessage([&] { T->Edit(); }), "");
  EXPECT_EQ(T->State(), dsBrowse);
  Child.Send('1');
  ASSERT_EQ(Child.Receive(), 'U');
  EXPECT_FALSE(T->IsRecordLocked());
  T->Edit();
  T->Cancel();
  Child.Send('2');
}

// ---- The data module's logon protocol ------------------------------------------------------------
// SESSIONS: ID_SESSION auto-increment, ID_GROUP, ID_STUDENT, LOGON_TIME, PING_TIME, COMPUTER, USERNAME,
// INFO1..INFO3; locks: ID_SESSION, ID_STUDENT.
void CreateSessionTables(const std::string& Path) {
  CreateTestTable(Path, "SESSIONS",
                  {{"ID_SESSION", etInteger, 0, kAutoInc}, {"ID_GROUP", etInteger}, {"ID_STUDENT", etInteger},
                   {"LOGON_TIME", etTimeStamp}, {"PING_TIME", etTimeStamp}, {"COMPUTER", etString, 40},
                   {"USERNAME", etString, 40}, {"INFO1", etString, 40}, {"INFO2", etString, 40},
                   {"INFO3", etString, 40}},
                  {{"", {1}, true}, {"STUDENT", {2, 3}, false}});
  CreateTestTable(Path, "locks", {{"ID_SESSION", etInteger}, {"ID_STUDENT", etInteger}}, {{"", {1}, true}});
}

class TLogonCopy : public TCopy {
 public:
  TLogonCopy(const std::string& Path, const std::string& Name) : TCopy(Path, Name) {
    Sessions1 = Table("SESSIONS.DAT");
    Sessions2 = Table("SESSIONS.DAT");
    Locks1 = Table("locks.DAT");
    Locks2 = Table("locks.DAT");
  }

  // 0 when the student is logged on, -1 otherwise.
  int Logon(int GroupId, int StudentId) {
    if (SessionId != -1) Logout();
    if (!Locks1->LockSlot(1)) return -1;
    try {
      TFinally Release([this] { Locks1->UnlockSlot(1); });
      // Rows of locks that no live copy holds belong to dead copies; so do their sessions.
      Locks1->First();
      while (!Locks1->Eof()) {
        if (!Locks1->IsRecordLocked()) Locks1->Delete();
        else Locks1->Next();
      }
      Sessions1->First();
      while (!Sessions1->Eof()) {
        if (!Locks1->Locate("ID_SESSION", Sessions1->FieldByName("ID_SESSION")->AsInteger(), 0)) Sessions1->Delete();
        else Sessions1->Next();
      }
      if (Sessions1->Locate("ID_GROUP;ID_STUDENT", VarArrayOf({GroupId, StudentId}), 0))
        throw Exception("ERR001");
      Variant Moment = Variant::Date(Now());
      Sessions2->AppendRecord({0, GroupId, StudentId, Moment, Moment, GetComputerNameStr(), GetUserNameStr(),
                               "logowanie", "", ""});
      SessionId = Sessions2->FieldByName("ID_SESSION")->AsInteger();
      Locks2->AppendRecord({SessionId, StudentId});
      Locks2->Edit();  // the record lock marks this copy as alive
      return 0;
    } catch (const Exception&) {
      SessionId = -1;
      return -1;
    }
  }

  void Logout() {
    if (!Locks1->LockSlot(1)) return;
    try {
      TFinally Release([this] { Locks1->UnlockSlot(1); });
      Sessions2->Delete();
      Locks2->Cancel();
      Locks2->Delete();
      SessionId = -1;
    } catch (const Exception&) {
    }
  }

  TVXDBTable *Sessions1, *Sessions2, *Locks1, *Locks2;
  int SessionId = -1;
};

TEST_F(ComponentProcessTest, LogonProtocolBetweenCopiesSweepsTheRowsOfDeadCopies) {
  CreateSessionTables(Path);
  auto LogOnAndStay = [&](int Student) {
    return [&, Student](const auto& Report, const auto& Wait) {
      TLogonCopy Copy(Path, "copy" + std::to_string(Student));
      Report(Copy.Logon(1, Student) == 0 ? 'Y' : 'N');
      Wait();
    };
  };
  // Copies of the program share no open files: every child is forked before this process opens
  // the tables (a forked child would share the parent's open files and so its locks).
  TChild P1(LogOnAndStay(7));
  ASSERT_EQ(P1.Receive(), 'Y');
  TChild P3(LogOnAndStay(8));
  ASSERT_EQ(P3.Receive(), 'Y');
  TChild P4([&](const auto& Report, const auto& Wait) {
    Wait();
    TLogonCopy Copy(Path, "copy9");
    Report(Copy.Logon(1, 9) == 0 ? 'Y' : 'N');
    Wait();
  });

  TLogonCopy P2(Path, "p2");
  EXPECT_EQ(P2.Logon(1, 7), -1);  // logged on in P1
  EXPECT_EQ(P2.Sessions1->RecordCount(), 2);
  EXPECT_EQ(P2.Locks1->RecordCount(), 2);

  // Both copies die; their rows (ids 1 and 2, next to each other) stay behind without locks.
  P1.Kill();
  P3.Kill();
  ASSERT_EQ(P2.Logon(1, 7), 0);
  EXPECT_EQ(Column(P2.Sessions1, "ID_STUDENT"), (std::vector<std::string>{"7"}));
  EXPECT_EQ(Column(P2.Locks1, "ID_SESSION"), (std::vector<std::string>{std::to_string(P2.SessionId)}));
  EXPECT_EQ(P2.SessionId, 3);

  // A living copy keeps its rows through another copy's sweeps.
  P4.Send('g');
  ASSERT_EQ(P4.Receive(), 'Y');
  EXPECT_EQ(Column(P2.Sessions1, "ID_STUDENT"), (std::vector<std::string>{"7", "9"}));
  EXPECT_EQ(Column(P2.Locks1, "ID_SESSION"), (std::vector<std::string>{"3", "4"}));

  P2.Logout();
  EXPECT_EQ(P2.SessionId, -1);
  EXPECT_EQ(Column(P2.Locks1, "ID_SESSION"), (std::vector<std::string>{"4"}));
  EXPECT_EQ(Column(P2.Sessions1, "ID_STUDENT"), (std::vector<std::string>{"9"}));
  EXPECT_EQ(P2.Logon(1, 9), -1);
  P4.Send('x');
}

// ---- Transactions --------------------------------------------------------------------------------
TEST_F(ComponentProcessTest, RollbackAfterAFailureInTheFourthTableLeavesAllFourAsTheyWere) {
  std::vector<TVXDBTable*> Tables;
  for (int I = 1; I <= 4; ++I) {
    std::string Name = "t" + std::to_string(I);
    CreateTestTable(Path, Name, {{"ID", etInteger, 0, kAutoInc}, {"V", etInteger}, {"S", etString, 20}},
                    {{"", {1}, true}});
    TVXDBTable* T = NewTable(Name);
    T->Open();
    for (int R = 1; R <= 3; ++R) T->AppendRecord({Variant(), R * I, "row" + std::to_string(R)});
    Tables.push_back(T);
  }
  auto Snapshot = [&] {
    std::vector<std::vector<std::string>> S;
    for (TVXDBTable* T : Tables) {
      S.push_back(Column(T, "ID"));
      S.push_back(Column(T, "V"));
      S.push_back(Column(T, "S"));
    }
    return S;
  };
  const auto Before = Snapshot();
  Tables[3]->BeforePost = [](TDataSet*) { throw Exception("injected failure"); };

  Database->StartTransaction();
  try {
    Tables[0]->AppendRecord({Variant(), 100, "new"});
    Tables[1]->First();
    Tables[1]->Edit();
    Tables[1]->FieldByName("V")->SetAsInteger(-5);
    Tables[1]->Post();
    Tables[2]->First();
    Tables[2]->Delete();
    Tables[3]->Append();
    Tables[3]->FieldByName("V")->SetAsInteger(1);
    Tables[3]->Post();
    Database->Commit();
    FAIL() << "the injected failure did not happen";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "injected failure");
    Tables[3]->Cancel();
    Database->Rollback();
  }
  EXPECT_FALSE(Database->InTransaction());
  EXPECT_EQ(Snapshot(), Before);
  // Fresh components over the files agree.
  for (TVXDBTable* T : Tables) T->Close();
  Database->Close();
  for (TVXDBTable* T : Tables) T->Open();
  EXPECT_EQ(Snapshot(), Before);

  // A committed transaction keeps its changes.
  Tables[3]->BeforePost = nullptr;
  Database->StartTransaction();
  Tables[0]->AppendRecord({Variant(), 7, "kept"});
  Database->Commit();
  Tables[0]->Close();
  Tables[0]->Open();
  EXPECT_EQ(Column(Tables[0], "S"), (std::vector<std::string>{"row1", "row2", "row3", "kept"}));
}

}  // namespace
}  // namespace comptest
