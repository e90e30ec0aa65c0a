#include "tutor/core/DataModule.h"

#include "dbengine/sql/vxdb_query.h"
#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/core/finally.h"
#include "platform/core/inifiles.h"
#include "tutor/OptionsReg.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

TDM* DM = nullptr;

namespace {

constexpr int kLogonSlot = 1;  // the user lock slot of locks that orders logons between copies

TVXDBTable* MakeTable(TDM* Owner, const std::string& Name, const std::string& TableName) {
  auto* T = new TVXDBTable(Owner);
  T->SetName(Name);
  T->SetDatabaseName("db");
  T->SetTableName(TableName);
  T->SetAutoDisplayLabels(false);
  T->SetCopyOnAppend(false);
  return T;
}

TVXDBQuery* MakeQuery(TDM* Owner, const std::string& Name) {
  auto* Q = new TVXDBQuery(Owner);
  Q->SetName(Name);
  Q->SetDatabaseName("db");
  Q->SetMaxRowCount(-1);
  Q->SetAutoDisplayLabels(false);
  Q->SetCopyOnAppend(false);
  return Q;
}

TDataSource* MakeSource(TDM* Owner, const std::string& Name, TDataSet* DataSet) {
  auto* S = new TDataSource(Owner);
  S->SetName(Name);
  S->SetDataSet(DataSet);
  return S;
}

// The value cut to what the string field can hold, so a long activity text never makes a post fail.
std::string FitField(TField* F, const std::string& Value) {
  if (F->Size() > 0 && Value.size() > static_cast<std::size_t>(F->Size())) return Value.substr(0, F->Size());
  return Value;
}

void CancelQuietly(TDataSet* D) {
  try {
    if (D->Active() && (D->State() == dsEdit || D->State() == dsInsert)) D->Cancel();
  } catch (...) {
  }
}

}  // namespace

TDM::TDM(TComponent* AOwner) : TDataModule(AOwner) {
  // The session first: its automatic name ("VXSession_1") is handed to every dataset and database
  // the module owns.
  VXSession = new TVXDBSession(this);
  VXSession->SetName("VXSession");
  VXSession->SetAutoSessionName(true);
  VXSession->SetKeepConnections(false);
  VXSession->SetLockRetryCount(15);
  VXSession->SetLockWaitTime(100);
  VXSession->SetLanguageID(1045);
  VXSession->SetSortID(0);
  VXSession->OnStartup = [this](TObject* S) { VXSessionStartup(S); };

  DB = new TVXDBDatabase(this);
  DB->SetName("DB");
  DB->SetDatabaseName("db");
  DB->SetHandleShared(true);
  DB->SetKeepConnection(false);
  DB->BeforeConnect = [this](TObject* S) { DBBeforeConnect(S); };

  TbGroup = MakeTable(this, "TbGroup", "group.DAT");
  TbGroup->SetIndexFieldNames("ID_GROUP");
  DsGroup = MakeSource(this, "DsGroup", TbGroup);
  TbStudent = MakeTable(this, "TbStudent", "student.DAT");
  TbStudent->SetIndexFieldNames("ID_GROUP");
  TbStudent->SetFiltered(true);
  DsStudent = MakeSource(this, "DsStudent", TbStudent);
  TbPractice = MakeTable(this, "TbPractice", "practice.DAT");
  TbPractice->SetIndexName("ID_STUDENT");
  TbPractice->SetMasterSource(DsStudent);
  TbPractice->SetMasterFields("ID_STUDENT;ID_GROUP");
  DsPractice = MakeSource(this, "DsPractice", TbPractice);
  TbStatistics = MakeTable(this, "TbStatistics", "statistics.DAT");
  TbStatistics->SetIndexName("ID_PRACTICE");
  TbStatistics->SetMasterSource(DsPractice);
  TbStatistics->SetMasterFields("ID_PRACTICE");
  DsStatistics = MakeSource(this, "DsStatistics", TbStatistics);
  InteractiveQuery = MakeQuery(this, "InteractiveQuery");
  TbLesson = MakeTable(this, "TbLesson", "lesson.DAT");
  TbLesson->SetIndexName("ID_STUDENT");
  TbLesson->SetMasterSource(DsStudent);
  TbLesson->SetMasterFields("ID_STUDENT");
  TbExercise = MakeTable(this, "TbExercise", "exercise.DAT");
  DsLesson = MakeSource(this, "DsLesson", TbLesson);
  DsExercise = MakeSource(this, "DsExercise", TbExercise);
  DsInteractiveQuery = MakeSource(this, "DsInteractiveQuery", InteractiveQuery);
  TbStatCalc = MakeTable(this, "TbStatCalc", "statcalc.DAT");
  TbStatCalc->SetIndexName("ID_PRACTICE");
  TbStatCalc->SetMasterSource(DsPractice);
  TbStatCalc->SetMasterFields("ID_PRACTICE");
  TbNetstat = MakeTable(this, "TbNetstat", "netstat.DAT");
  DsNetstat = MakeSource(this, "DsNetstat", TbNetstat);
  Query = MakeQuery(this, "Query");
  TbCourse = MakeTable(this, "TbCourse", "course.DAT");
  TbCourse->SetIndexFieldNames("ID_STUDENT;ID_COURSE");
  TbCourse->SetMasterSource(DsStudent);
  TbCourse->SetMasterFields("ID_STUDENT;COURSE");
  DsCourse = MakeSource(this, "DsCourse", TbCourse);
  TbConfig = MakeTable(this, "TbConfig", "config.DAT");
  TbConfig->SetReadOnly(true);
  DSConfig = MakeSource(this, "DSConfig", TbConfig);
  QGroupSet = MakeQuery(this, "QGroupSet");
  QGroupSet->SetAutoCalcFields(false);
  QGroupSet->SetParamCheck(false);
  QGroupSet->SQL()->SetText("select cast(value as integer) as ID_GROUP from config where param = 'group'");
  DSGroupSet = MakeSource(this, "DSGroupSet", QGroupSet);
  TbSessions1 = MakeTable(this, "TbSessions1", "SESSIONS.DAT");
  TbSessions2 = MakeTable(this, "TbSessions2", "SESSIONS.DAT");
  TbLocks1 = MakeTable(this, "TbLocks1", "locks.DAT");
  TbLocks2 = MakeTable(this, "TbLocks2", "locks.DAT");
  TbResults = MakeTable(this, "TbResults", "results.DAT");
  TbResults->SetIndexFieldNames("ID_GROUP;ID_STUDENT");
  TbResults->SetMasterSource(DsStudent);
  TbResults->SetMasterFields("ID_GROUP;ID_STUDENT");

  for (int I = 0; I < ComponentCount(); ++I)
    if (auto* D = dynamic_cast<TVXDBDBDataSet*>(Components(I))) D->SetSessionName(VXSession->SessionName());
  DB->SetSessionName(VXSession->SessionName());

  OnCreate = [this](TObject* S) { DataModuleCreate(S); };
}

TDM::~TDM() {
  // Closing the datasets before the components go (also when Close never ran: a start-up that
  // ended before the message loop) leaves no table half written.
  if (SessionTimer) SessionTimer->SetEnabled(false);
  try {
    // The database stays connected until the last dataset is closed, then closes once: a
    // database that closes itself while it is closing its datasets loses its directory handle.
    DB->SetKeepConnection(true);
    // A program ended without its close (the error log, a terminate) still leaves no session row.
    if (SessionId != -1 && TbLocks1->Active()) Logout();
    TVXDBTable* Order[] = {TbResults,  TbLocks2,  TbLocks1,   TbSessions2,  TbSessions1, TbCourse,
                           TbNetstat,  TbStatCalc, TbExercise, TbLesson,     TbStatistics, TbPractice,
                           TbStudent,  TbGroup,   TbConfig};
    for (TVXDBTable* T : Order) CancelQuietly(T);
    for (TVXDBTable* T : Order) T->Close();
    QGroupSet->Close();
    Query->Close();
    InteractiveQuery->Close();
    DB->Close();
  } catch (...) {
  }
  if (DM == this) DM = nullptr;
}

void TDM::DataModuleCreate(TObject*) {
  SetErrorSection("TDM.DataModuleCreate");
  if (PrgReg) {
    DBLocal = PrgReg->ReadBool("DbOptions", "DBLocal", true);
    DBPath = PrgReg->ReadString("DbOptions", "DBPath", "data");
  }
}

void TDM::DBBeforeConnect(TObject*) {
  SetErrorSection("TDM.DataModuleCreate");
  std::string Dir = DBLocal ? ProgramPath("data") : DBPath;
  // A relative shared path means a folder beside the program, not one beside the working folder.
  if (!DBLocal && !Dir.empty() && Dir[0] != '/' && Dir[0] != '\\') Dir = ProgramPath(Dir);
  DB->SetDirectory(Dir);
  if (DB->Directory().empty() || !DirectoryExists(DB->Directory()))
    throw EDBNotExists(Translations ? Translations->LookupFmt("ERR002", {DB->Directory()}) : "ERR002 " + Dir);
}

void TDM::VXSessionStartup(TObject*) {
  std::string Temp = GetTempDir();
  if (Temp.size() > 256) Temp.resize(256);
  VXSession->SetPrivateDir(Temp);
}

void TDM::OpenTable(TVXDBTable* Table) {
  try {
    Table->Open();
  } catch (...) {
    if (Application) Application->Terminate();
    throw;
  }
}

void TDM::Open() {
  SetErrorSection("TDM.Open");
  DB->Close();
  DB->Open();
  OpenTable(TbConfig);
  if (!DBLocal) {
    // The group table of a shared installation shows only the group the installation works with.
    try {
      TbGroup->SetMasterSource(DSGroupSet);
      TbGroup->SetMasterFields("ID_GROUP");
      QGroupSet->Open();
    } catch (...) {
    }
  }
  OpenTable(TbGroup);
  if (!DBLocal) {
    try {
      std::string V;
      GetConfigParam("id_group", "", V);
      bool Found = false;
      if (!V.empty()) Found = TbGroup->Locate("ID_GROUP", StrToInt(Trim(V)), 0);
      TbStudent->SetMasterSource(DsGroup);
      TbStudent->SetMasterFields("ID_GROUP");
      TbStudent->SetIndexFieldNames("ID_GROUP");
      // A group id that names no group must not list another group's students.
      if (!V.empty() && !Found) TbStudent->SetFilter("ID_GROUP = -2147483647");
    } catch (...) {
    }
  }
  for (TVXDBTable* T : {TbStudent, TbPractice, TbStatistics, TbLesson, TbExercise, TbStatCalc, TbNetstat, TbCourse,
                        TbSessions1, TbSessions2, TbLocks1, TbLocks2, TbResults})
    OpenTable(T);
  const int Last = PrgReg ? PrgReg->ReadInteger("Options", "LastID_STUDENT", -1) : -1;
  try {
    TbStudent->Locate("ID_STUDENT", Last, 0);
  } catch (...) {
  }
  SessionId = -1;
  if (!SessionTimer) {
    SessionTimer = new TTimer(this);
    SessionTimer->SetEnabled(false);
    SessionTimer->SetInterval(5000);
    SessionTimer->OnTimer = [this](TObject* S) { FSessionTimerOnTimer(S); };
  }
}

void TDM::Close() {
  SetErrorSection("TDM.Close");
  // The student remembered for the next start is the one logged on here, with the group of his
  // own row (a local database has no group rows, and its students' group is -1).
  if (TbStudent->Active() && TbGroup->Active() && SessionId != -1 && PrgReg) {
    PrgReg->WriteInteger("Options", "LastID_STUDENT", CurrentStudent);
    PrgReg->WriteInteger("Options", "LastID_GROUP", CurrentGroup);
  }
  Logout();
  if (SessionTimer) SessionTimer->SetEnabled(false);
  for (TVXDBTable* T : {TbResults, TbLocks2, TbLocks1, TbSessions2, TbSessions1, TbCourse, TbNetstat, TbStatCalc,
                        TbExercise, TbLesson, TbStatistics, TbPractice, TbStudent, TbGroup}) {
    CancelQuietly(T);
    T->Close();
  }
}

int TDM::Logon(int GroupId, int StudentId) {
  SetErrorSection("TDM.Logon");
  int Result = -1;
  if (SessionId != -1) Logout();
  try {
    // Only a student who exists can be logged on: the savers write under the current student row.
    if (!TbStudent->Active() || !TbStudent->Locate("ID_STUDENT;ID_GROUP", VarArrayOf({StudentId, GroupId}), 0))
      return -1;
    if (!TbLocks1->LockSlot(kLogonSlot)) return -1;
    TFinally Release([this] { TbLocks1->UnlockSlot(kLogonSlot); });
    // Rows of locks that no live copy holds belong to copies that died; so do their sessions.
    TbLocks1->Refresh();
    TbLocks1->First();
    while (!TbLocks1->Eof()) {
      if (!TbLocks1->IsRecordLocked()) TbLocks1->Delete();
      else TbLocks1->Next();
    }
    TbSessions1->Refresh();
    TbSessions1->First();
    while (!TbSessions1->Eof()) {
      if (!TbLocks1->Locate("ID_SESSION", TbSessions1->FieldByName("ID_SESSION")->AsInteger(), 0))
        TbSessions1->Delete();
      else
        TbSessions1->Next();
    }
    if (TbSessions1->Locate("ID_GROUP;ID_STUDENT", VarArrayOf({GroupId, StudentId}), 0))
      throw ELogonError(Translate("ERR001"));
    const Variant Moment = Variant::Date(Now());
    TbSessions2->AppendRecord({0, GroupId, StudentId, Moment, Moment, GetComputerNameStr(), GetUserNameStr(),
                               "logowanie", "", ""});
    CurrentStudent = StudentId;
    CurrentGroup = GroupId;
    SessionId = TbSessions2->FieldByName("ID_SESSION")->AsInteger();
    try {
      TbLocks2->AppendRecord({SessionId, CurrentStudent});
      TbLocks2->Edit();  // the record lock that marks this copy as alive, held until Logout
    } catch (...) {
      // Without its lock the session would be swept at once: take the session row back.
      CancelQuietly(TbLocks2);
      try {
        if (TbLocks2->Locate("ID_SESSION", SessionId, 0)) TbLocks2->Delete();
        if (TbSessions2->Locate("ID_SESSION", SessionId, 0)) TbSessions2->Delete();
      } catch (...) {
      }
      SessionId = -1;
      throw;
    }
    if (SessionTimer) SessionTimer->SetEnabled(true);
    Result = 0;
  } catch (...) {
    if (Result != 0 && SessionId != -1 && !HoldsSessionLock()) SessionId = -1;
  }
  return Result;
}

bool TDM::LocateOwnSessionRow() {
  if (SessionId == -1 || !TbSessions2->Active()) return false;
  return TbSessions2->Locate("ID_SESSION", SessionId, 0);
}

bool TDM::HoldsSessionLock() {
  return SessionId != -1 && TbLocks2->Active() && TbLocks2->State() == dsEdit &&
         TbLocks2->FieldByName("ID_SESSION")->AsInteger() == SessionId;
}

bool TDM::RelockOwnLocksRow() {
  if (SessionId == -1) return false;
  if (HoldsSessionLock()) return true;
  CancelQuietly(TbLocks2);
  if (!TbLocks2->Locate("ID_SESSION", SessionId, 0)) return false;
  TbLocks2->Edit();
  return true;
}

void TDM::ReleaseSessionRows() {
  // Only this copy's own rows, found by its session id: another copy's row is never touched.
  if (LocateOwnSessionRow()) TbSessions2->Delete();
  CancelQuietly(TbLocks2);
  if (TbLocks2->Active() && TbLocks2->Locate("ID_SESSION", SessionId, 0)) TbLocks2->Delete();
}

void TDM::Logout() {
  SetErrorSection("TDM.Logout");
  if (SessionId == -1) return;
  try {
    if (!TbLocks1->LockSlot(kLogonSlot)) return;
    TFinally Release([this] { TbLocks1->UnlockSlot(kLogonSlot); });
    if (SessionTimer) SessionTimer->SetEnabled(false);
    ReleaseSessionRows();
    SessionId = -1;
  } catch (...) {
  }
}

void TDM::Ping(bool UpdateInfo, const std::string& Info1, const std::string& Info2, const std::string& Info3) {
  if (SessionId == -1) return;
  try {
    if (!LocateOwnSessionRow()) {
      // Another copy swept this session away (its lock was lost): this copy is logged out now.
      if (SessionTimer) SessionTimer->SetEnabled(false);
      CancelQuietly(TbLocks2);
      SessionId = -1;
      return;
    }
    TbSessions2->Edit();
    TbSessions2->FieldByName("PING_TIME")->SetAsDateTime(Now());
    if (UpdateInfo) {
      TField* F1 = TbSessions2->FieldByName("INFO1");
      TField* F2 = TbSessions2->FieldByName("INFO2");
      TField* F3 = TbSessions2->FieldByName("INFO3");
      F1->SetAsString(FitField(F1, Info1));
      F2->SetAsString(FitField(F2, Info2));
      F3->SetAsString(FitField(F3, Info3));
    }
    TbSessions2->Post();
  } catch (...) {
    // A report that cannot be written now (another copy holds the table, say) is simply skipped.
    CancelQuietly(TbSessions2);
  }
}

void TDM::GetConfigParam(const std::string& Param, const std::string& Default, std::string& Value) {
  Value = Default;
  if (!TbConfig->Active()) return;
  TbConfig->Refresh();
  TField* P = TbConfig->FieldByName("PARAM");
  TField* V = TbConfig->FieldByName("VALUE");
  // An exact, case-sensitive match: "Course_enabled" does not answer "course_enabled".
  for (TbConfig->First(); !TbConfig->Eof(); TbConfig->Next())
    if (P->AsString() == Param) {
      Value = V->AsString();
      return;
    }
}

std::string TDM::GetParam(const std::string& Param, const std::string& Default) {
  std::string V;
  GetConfigParam(Param, Default, V);
  return V;
}

void TDM::Rollback() {
  // The rollback cancels the edit of every dataset of DB, TbLocks2's included, and so the record
  // lock that tells the other copies this session is alive. The logon slot keeps their sweeps out
  // until the lock is taken again.
  const bool Relock = SessionId != -1;
  bool Slot = false;
  if (Relock) {
    try {
      Slot = TbLocks1->LockSlot(kLogonSlot);
    } catch (...) {
    }
  }
  TFinally Release([&] {
    if (Slot) TbLocks1->UnlockSlot(kLogonSlot);
  });
  DB->Rollback();
  if (Relock) {
    try {
      if (!RelockOwnLocksRow()) SessionId = -1;
    } catch (...) {
    }
  }
}

void TDM::FSessionTimerOnTimer(TObject*) { Ping(false, "", "", ""); }
