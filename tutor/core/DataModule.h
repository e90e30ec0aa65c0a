// The data module: the program's whole link to its database. It owns the engine session, the
// database component, one table component per table, the SQL queries, the data sources that tie
// the tables together as master and detail, and the session bookkeeping that lets several running
// copies share one database directory (a classroom).
//
// Liveness between copies: every logged-on copy holds a record lock on its own row of `locks`
// (TbLocks2 kept in edit state). The lock dies with the process, so the next Logon of any copy
// sweeps the rows of a copy that was killed. Anything that cancels the edit of TbLocks2 would end
// this copy's liveness; a rollback does that to every dataset of DB, so every caller rolls back
// through TDM::Rollback, which takes the lock again.
#pragma once

#include <string>

#include "dbengine/storage/components/vxdb_session.h"
#include "dbengine/storage/components/vxdb_table.h"
#include "platform/core/sysutils.h"
#include "platform/data/db.h"
#include "platform/gui/controls.h"

class TVXDBQuery;

// The database directory does not exist (message ERR002 naming it).
class EDBNotExists : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EDBNotExists"; }
};

// The student is logged on at another copy (message ERR001).
class ELogonError : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "ELogonError"; }
};

class TDM : public TDataModule {
 public:
  explicit TDM(TComponent* AOwner);
  ~TDM() override;
  std::string ClassName() const override { return "TDM"; }

  // Components, in declaration order.
  TVXDBDatabase* DB = nullptr;
  TVXDBTable* TbGroup = nullptr;
  TDataSource* DsGroup = nullptr;
  TVXDBTable* TbStudent = nullptr;
  TDataSource* DsStudent = nullptr;
  TVXDBTable* TbPractice = nullptr;
  TDataSource* DsPractice = nullptr;
  TVXDBTable* TbStatistics = nullptr;
  TDataSource* DsStatistics = nullptr;
  TVXDBQuery* InteractiveQuery = nullptr;
  TVXDBTable* TbLesson = nullptr;
  TVXDBTable* TbExercise = nullptr;
  TDataSource* DsLesson = nullptr;
  TDataSource* DsExercise = nullptr;
  TDataSource* DsInteractiveQuery = nullptr;
  TVXDBTable* TbStatCalc = nullptr;
  TVXDBTable* TbNetstat = nullptr;
  TDataSource* DsNetstat = nullptr;
  TVXDBQuery* Query = nullptr;
  TVXDBTable* TbCourse = nullptr;
  TDataSource* DsCourse = nullptr;
  TVXDBTable* TbConfig = nullptr;
  TDataSource* DSConfig = nullptr;
  TVXDBQuery* QGroupSet = nullptr;
  TDataSource* DSGroupSet = nullptr;
  TVXDBTable* TbSessions1 = nullptr;
  TVXDBTable* TbSessions2 = nullptr;
  TVXDBTable* TbLocks1 = nullptr;
  TVXDBTable* TbLocks2 = nullptr;
  TVXDBTable* TbResults = nullptr;
  TVXDBSession* VXSession = nullptr;

  // The database options read at creation.
  bool DBLocal = true;
  std::string DBPath = "data";
  // The student and group of the current session, set by Logon.
  int CurrentStudent = -1;
  int CurrentGroup = -1;
  // ID_SESSION of this copy's row in SESSIONS; -1 while logged out.
  int SessionId = -1;
  TTimer* SessionTimer = nullptr;

  // Creation event: reads DbOptions\DBLocal and DbOptions\DBPath.
  void DataModuleCreate(TObject* Sender);
  // Before DB connects: points it at its directory; raises EDBNotExists when it is missing.
  void DBBeforeConnect(TObject* Sender);
  // The session's private directory is the user's temporary folder.
  void VXSessionStartup(TObject* Sender);

  // Opens the database and every table; positions the student table on the last student.
  void Open();
  // Stores the current student and group, logs out and closes the tables.
  void Close();
  // 0 when the student (who must exist) is now logged on at this copy; -1 otherwise.
  int Logon(int GroupId, int StudentId);
  void Logout();
  // The activity report on this copy's own SESSIONS row. Never raises: a failing report must not
  // end the program from its timer.
  void Ping(bool UpdateInfo, const std::string& Info1, const std::string& Info2, const std::string& Info3);
  void Ping(bool UpdateInfo, const std::string& Info1) { Ping(UpdateInfo, Info1, "", ""); }
  // VALUE of the config row whose PARAM equals Param exactly (case-sensitive), else Default.
  void GetConfigParam(const std::string& Param, const std::string& Default, std::string& Value);
  std::string GetParam(const std::string& Param, const std::string& Default = "");
  // The only rollback of DB the program uses: rolls the transaction back and keeps this copy's
  // session lock (the record lock on its own locks row).
  void Rollback();
  // True while this copy holds its session lock (logged on and TbLocks2 in edit on its row).
  bool HoldsSessionLock();

  void FSessionTimerOnTimer(TObject* Sender);

 private:
  void OpenTable(TVXDBTable* Table);
  bool LocateOwnSessionRow();
  bool RelockOwnLocksRow();
  void ReleaseSessionRows();
};

// The one data module of the program (created at start-up).
extern TDM* DM;
