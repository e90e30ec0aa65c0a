// The data module on a real installation folder: opening, the classroom sessions between real
// processes (the probe stands for another PC), the rollback that must keep this copy alive, the
// activity report, the config lookup, and what is remembered at close.
#include <gtest/gtest.h>

#include <memory>

#include "dbengine/sql/vxdb_query.h"
#include "platform/core/fileutils.h"
#include "platform/core/inifiles.h"
#include "tutor/OptionsReg.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/tests/install_fixture.h"
#include "tutor/core/tests/probe_process.h"
#include "tutor/translations.h"

namespace {

class DataModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { Install(TInstallOptions()); }
  void TearDown() override {
    Module.reset();
    FreePrgReg();
    SetProgramFolder("");
  }
  void Install(const TInstallOptions& Options) {
    Module.reset();
    Folder = std::make_unique<TInstallFolder>(Options);
    SetProgramFolder(Folder->Path());
    FreePrgReg();
    PrgReg = new TPrgReg(Folder->IniPath());
    Translations->Lines().SetText("ERR001=" + TInstallFolder::Message("ERR001") + "\nERR002=" +
                                  TInstallFolder::Message("ERR002") + "\n");
  }
  TDM& Open() {
    Module = std::make_unique<TDM>(nullptr);
    Module->DataModuleCreate(Module.get());
    Module->Open();
    return *Module;
  }
  std::unique_ptr<TProbeProcess> Probe(int Student, int Group = -1) {
    return std::make_unique<TProbeProcess>(VX_SESSION_PROBE, Folder->Path(), Group, Student);
  }
  std::vector<std::string> Sessions() { return Folder->Rows("SESSIONS", "ID_SESSION;ID_STUDENT"); }
  std::vector<std::string> Locks() { return Folder->Rows("locks", "ID_SESSION;ID_STUDENT"); }

  std::unique_ptr<TInstallFolder> Folder;
  std::unique_ptr<TDM> Module;
};

TEST_F(DataModuleTest, CopiesShareTheDatabaseAndAKilledCopyBlocksNobody) {
  const int S = Folder->AddStudent("Ala"), T = Folder->AddStudent("Ola"), U = Folder->AddStudent("Ula");
  auto A = Probe(S);
  ASSERT_TRUE(A->LoggedOn()) << A->First();
  TDM& D = Open();
  EXPECT_EQ(D.Logon(-1, S), -1);  // logged on at the other PC
  EXPECT_EQ(D.SessionId, -1);
  EXPECT_EQ(D.Logon(-1, T), 0);
  EXPECT_TRUE(D.HoldsSessionLock());
  EXPECT_EQ(Sessions().size(), 2u);

  // The other PC dies: its rows stay, but nothing holds them any more.
  A->Kill();
  ASSERT_EQ(D.Logon(-1, S), 0);
  const std::string Own = std::to_string(D.SessionId);
  EXPECT_EQ(Sessions(), (std::vector<std::string>{Own + "|" + std::to_string(S)}));
  EXPECT_EQ(Locks(), (std::vector<std::string>{Own + "|" + std::to_string(S)}));

  // Two copies die one after the other: their rows lie next to each other and one sweep takes both.
  auto B = Probe(T);
  auto C = Probe(U);
  ASSERT_TRUE(B->LoggedOn() && C->LoggedOn());
  EXPECT_EQ(Sessions().size(), 3u);
  B->Kill();
  C->Kill();
  ASSERT_EQ(D.Logon(-1, T), 0);
  EXPECT_EQ(Sessions(), (std::vector<std::string>{std::to_string(D.SessionId) + "|" + std::to_string(T)}));
  EXPECT_EQ(Locks().size(), 1u);

  // A living copy keeps its rows through this copy's sweeps and blocks its student.
  auto E = Probe(U);
  ASSERT_TRUE(E->LoggedOn());
  EXPECT_EQ(D.Logon(-1, T), 0);
  EXPECT_EQ(D.Logon(-1, U), -1);  // a new logon logs the old student out first
  EXPECT_EQ(D.SessionId, -1);
  ASSERT_EQ(D.Logon(-1, T), 0);
  EXPECT_EQ(E->Command("logon -1 " + std::to_string(T)), "fail");
  D.Logout();  // (the probe's failed logon logged its own student out first)
  EXPECT_EQ(D.SessionId, -1);
  EXPECT_TRUE(Sessions().empty());
  EXPECT_TRUE(Locks().empty());
  EXPECT_EQ(E->Command("logon -1 " + std::to_string(T)).rfind("ok", 0), 0u);
}

TEST_F(DataModuleTest, RollbackKeepsThisCopysSessionAlive) {
  const int S = Folder->AddStudent("Ala");
  TDM& D = Open();
  ASSERT_EQ(D.Logon(-1, S), 0);
  D.DB->StartTransaction();
  D.TbPractice->AppendRecord({Variant(), 250.0, Variant(), -1, S});
  D.Rollback();
  EXPECT_FALSE(D.DB->InTransaction());
  EXPECT_TRUE(Folder->Rows("practice", "ID_PRACTICE").empty());
  EXPECT_TRUE(D.HoldsSessionLock());
  // The other PC still sees the student at work and cannot sweep the session away.
  auto B = Probe(S);
  EXPECT_FALSE(B->LoggedOn());
  EXPECT_EQ(Sessions().size(), 1u);
  D.Ping(true, "menu");
  EXPECT_NE(D.SessionId, -1);
}

TEST_F(DataModuleTest, PingWritesOnlyTheOwnRowAndNeverRaises) {
  const int S = Folder->AddStudent("Ala"), T = Folder->AddStudent("Ola");
  auto Other = Probe(T);
  ASSERT_TRUE(Other->LoggedOn());
  TDM& D = Open();
  ASSERT_EQ(D.Logon(-1, S), 0);
  ASSERT_NE(D.SessionTimer, nullptr);
  EXPECT_TRUE(D.SessionTimer->Enabled());
  EXPECT_EQ(D.SessionTimer->Interval(), 5000u);
  // Leave the table positioned on the other copy's row: the report must still find its own.
  ASSERT_TRUE(D.TbSessions2->Locate("ID_STUDENT", T, 0));

  const std::string Long(300, 'x');
  D.Ping(true, "menu", Long, "");
  EXPECT_EQ(Folder->Rows("SESSIONS", "ID_STUDENT;INFO1;INFO2"),
            (std::vector<std::string>{std::to_string(T) + "|logowanie|",
                                      std::to_string(S) + "|menu|" + std::string(100, 'x')}));
  auto PingTime = [&] {
    EXPECT_TRUE(D.TbSessions2->Locate("ID_SESSION", D.SessionId, 0));
    return D.TbSessions2->FieldByName("PING_TIME")->AsDateTime();
  };
  const TDateTime Before = PingTime();
  Sleep(20);
  D.FSessionTimerOnTimer(D.SessionTimer);  // the timer's report keeps the activity texts
  EXPECT_GT(PingTime(), Before);
  EXPECT_EQ(Folder->Rows("SESSIONS", "INFO1")[1], "menu");

  // Another copy swept this session away: the report raises nothing and counts as logged out.
  Folder->Exec({"DELETE FROM SESSIONS WHERE ID_SESSION = " + std::to_string(D.SessionId)});
  EXPECT_NO_THROW(D.Ping(true, "help"));
  EXPECT_EQ(D.SessionId, -1);
  EXPECT_FALSE(D.SessionTimer->Enabled());
  D.Logout();
  EXPECT_EQ(Folder->Rows("SESSIONS", "ID_STUDENT;INFO1"), (std::vector<std::string>{std::to_string(T) + "|logowanie"}));
}

TEST_F(DataModuleTest, ConfigLookupIsExactAndFallsBackToTheDefault) {
  TInstallOptions O;
  O.Config = {{"Course_enabled", "true"}, {"course_enabled", ""}, {"games_enabled", "True"}};
  Install(O);
  TDM& D = Open();
  const struct {
    const char *Param, *Default, *Expect;
  } Cases[] = {
      {"course_enabled", "dflt", "dflt"},  // only "Course_enabled" is there
      {"Course_enabled", "", "true"},
      {"games_enabled", "true", "True"},  // returned as stored
      {"absent", "x", "x"},
      {"allow_edit", "", "1"},
  };
  for (const auto& C : Cases) EXPECT_EQ(D.GetParam(C.Param, C.Default), C.Expect) << C.Param;
}

TEST_F(DataModuleTest, LogonNeedsTheStudentAndCloseRemembersHisOwnGroup) {
  const int S = Folder->AddStudent("Ala");
  {
    TDM& D = Open();
    EXPECT_EQ(D.Logon(-1, S + 10), -1);  // no such student
    EXPECT_EQ(D.Logon(0, S), -1);        // not in that group
    EXPECT_TRUE(Sessions().empty());
    D.Close();  // nobody logged on: nothing to remember
    EXPECT_FALSE(PrgReg->ValueExists("Options", "LastID_STUDENT"));
  }
  TDM& D = Open();
  ASSERT_EQ(D.Logon(-1, S), 0);
  D.Close();
  EXPECT_EQ(PrgReg->ReadInteger("Options", "LastID_STUDENT", 0), S);
  EXPECT_EQ(PrgReg->ReadInteger("Options", "LastID_GROUP", 0), -1);
  EXPECT_TRUE(Sessions().empty());
  EXPECT_TRUE(Locks().empty());
  // The next start positions the student table on him.
  TDM& Next = Open();
  EXPECT_EQ(Next.TbStudent->FieldByName("NAME")->AsString(), "Ala");
}

TEST_F(DataModuleTest, MissingDirectoryNamesItAndLeavesTheDatabaseClosed) {
  TInstallOptions O;
  O.Data = false;
  Install(O);
  Module = std::make_unique<TDM>(nullptr);
  Module->DataModuleCreate(Module.get());
  try {
    Module->Open();
    FAIL() << "opened a missing directory";
  } catch (const EDBNotExists& E) {
    EXPECT_EQ(E.Message(), "Nie znaleziono katalogu bazy danych: " + Folder->Path() + "data");
  }
  EXPECT_FALSE(Module->DB->Connected());
}

TEST_F(DataModuleTest, SharedDatabaseShowsOnlyTheConfiguredGroup) {
  const struct {
    const char* IdGroup;
    std::vector<std::string> Names;
  } Cases[] = {
      {"2", {"Bartek", "Beata"}},
      {"7", {}},  // a group that does not exist lists nobody, not another group's students
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.IdGroup);
    TInstallOptions O;
    O.SharedGroup = C.IdGroup;
    Install(O);
    // The creator adds the configured group; group 1 is another class, and a configured group
    // that names no row is one that was removed since.
    Folder->Exec({"INSERT INTO [group] (ID_GROUP, NAME) VALUES (1, '1a')", "DELETE FROM [group] WHERE ID_GROUP = 7"});
    Folder->AddStudent("Adam", 1);
    Folder->AddStudent("Bartek", 2);
    Folder->AddStudent("Anna", 1);
    Folder->AddStudent("Beata", 2, "W");
    PrgReg->WriteBool("DbOptions", "DBLocal", false);
    PrgReg->WriteString("DbOptions", "DBPath", Folder->DataPath());
    TDM& D = Open();
    std::vector<std::string> Names;
    for (D.TbStudent->First(); !D.TbStudent->Eof(); D.TbStudent->Next())
      Names.push_back(D.TbStudent->FieldByName("NAME")->AsString());
    EXPECT_EQ(Names, C.Names);
    EXPECT_EQ(D.TbGroup->Locate("ID_GROUP", std::stoi(C.IdGroup), 0), !Names.empty());
    if (!Names.empty()) {
      ASSERT_TRUE(D.TbStudent->Locate("NAME", "Beata", 0));
      const int Id = D.TbStudent->FieldByName("ID_STUDENT")->AsInteger();
      EXPECT_EQ(D.Logon(1, Id), -1);  // she is not in group 1
      ASSERT_EQ(D.Logon(2, Id), 0);
      D.Close();
      EXPECT_EQ(PrgReg->ReadInteger("Options", "LastID_GROUP", 0), 2);
    }
  }
}

}  // namespace
