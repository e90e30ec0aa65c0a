// The session and database components: a session puts one engine session (its settings, its
// passwords and its databases) in the hands of a data module; a database is one named directory
// on disk (or the in-memory database) with its transactions. Every session sits in a process-wide
// list in which one session named "Default" always exists; datasets find their session and
// database by name.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "dbengine/storage/components/engine_bridge.h"
#include "platform/core/classes.h"

class TDataSession;
class TDataDirectory;
class TVXDBDatabase;
class TVXDBDBDataSet;

// Raises the engine exception (EVXDBEngineError) for Code; CheckVXDBError only when Code is not 0.
[[noreturn]] void RaiseVXDBError(uint16_t Code);
void CheckVXDBError(uint16_t Code);

using TVXDBPasswordEvent = std::function<void(TObject* Sender, bool& Continue)>;

class TVXDBSession : public TComponent {
 public:
  explicit TVXDBSession(TComponent* AOwner);
  ~TVXDBSession() override;
  std::string ClassName() const override { return "TVXDBSession"; }

  std::string EngineVersion() const { return "2.08"; }
  void SetEngineVersion(const std::string&) {}
  bool Active() const { return FHandle != nullptr; }
  void SetActive(bool Value);
  bool AutoSessionName() const { return FAutoSessionName; }
  void SetAutoSessionName(bool Value);
  bool ForceBufferFlush() const { return FSettings.ForceBufferFlush; }
  void SetForceBufferFlush(bool Value);
  bool KeepConnections() const { return FKeepConnections; }
  void SetKeepConnections(bool Value) { FKeepConnections = Value; }
  uint8_t LockRetryCount() const { return FSettings.LockRetryCount; }
  void SetLockRetryCount(uint8_t Value);
  uint16_t LockWaitTime() const { return FSettings.LockWaitTime; }
  void SetLockWaitTime(uint16_t Value);
  const std::string& PrivateDir() const { return FSettings.PrivateDir; }
  void SetPrivateDir(const std::string& Value);
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);
  bool StrictChangeDetection() const { return FSettings.StrictChangeDetection; }
  void SetStrictChangeDetection(bool Value);
  uint16_t LanguageID() const { return FSettings.LanguageID; }
  void SetLanguageID(uint16_t Value);
  uint16_t SortID() const { return FSettings.SortID; }
  void SetSortID(uint16_t Value);

  TVXDBPasswordEvent OnPassword;
  TNotifyEvent OnStartup;

  bool IsDefault() const { return FIsDefault; }
  // Finds or makes (as a temporary database of this session) the database of that name, opens it
  // and counts one more user.
  TVXDBDatabase* OpenDatabase(const std::string& Name, TComponent* DataSetOwner);
  // One user fewer; the last one closes a database that does not keep its connection (a
  // temporary one is freed).
  void CloseDatabase(TVXDBDatabase* Database);
  TVXDBDatabase* FindDatabase(const std::string& Name, TComponent* DataSetOwner) const;
  int DatabaseCount() const { return static_cast<int>(FDatabases.size()); }
  TVXDBDatabase* Databases(int Index) const { return FDatabases[static_cast<std::size_t>(Index)]; }
  void AddPassword(const std::string& Password);
  void RemovePassword(const std::string& Password);
  void RemoveAllPasswords();
  // Asked when a table needs a password: true means try again with the session's passwords.
  bool GetPassword();
  // Nested; makes this session's engine session current (activating the session when needed).
  void LockSession();
  void UnlockSession();
  TDataSession* GetHandle();

  void SetName(const std::string& NewName) override;

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TVXDBDatabase;
  friend class TVXDBSessionList;
  void StartSession();
  void EndSession();
  void ApplySettings();
  template <class T>
  void ChangeSetting(T TEngSessionSettings::*Member, const T& Value);
  void MakeAutoName();
  void HandAutoNameOn();
  void AddDatabase(TVXDBDatabase* Database);
  void RemoveDatabase(TVXDBDatabase* Database);

  TDataSession* FHandle = nullptr;
  TEngSessionSettings FSettings;
  bool FAutoSessionName = false;
  bool FKeepConnections = true;
  std::string FSessionName;
  bool FIsDefault = false;
  bool FStreamedActive = false;
  bool FUpdatingName = false;
  int FAutoNumber = -1;
  int FLockDepth = 0;
  std::vector<TVXDBDatabase*> FDatabases;
};

class TVXDBDatabase : public TComponent {
 public:
  explicit TVXDBDatabase(TComponent* AOwner);
  ~TVXDBDatabase() override;
  std::string ClassName() const override { return "TVXDBDatabase"; }

  std::string EngineVersion() const { return "2.08"; }
  void SetEngineVersion(const std::string&) {}
  bool Connected() const { return FHandle != nullptr; }
  void SetConnected(bool Value);
  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& Value);
  const std::string& Directory() const { return FDirectory; }
  void SetDirectory(const std::string& Value);
  bool HandleShared() const { return FHandleShared; }
  void SetHandleShared(bool Value) { FHandleShared = Value; }
  bool KeepConnection() const { return FKeepConnection; }
  void SetKeepConnection(bool Value);
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);
  TNotifyEvent BeforeConnect;

  void Open();
  void Close();
  void StartTransaction();
  void Commit();
  // Undoes every change made to the database's tables since StartTransaction.
  void Rollback();
  bool InTransaction() const;

  TVXDBSession* Session() const { return FSession; }
  TDataDirectory* Handle() const { return FHandle; }
  bool Temporary() const { return FTemporary; }
  bool Borrowed() const { return FBorrowed; }
  int RefCount() const { return FRefCount; }
  int DataSetCount() const { return static_cast<int>(FDataSets.size()); }
  void AddDataSet(TVXDBDBDataSet* DataSet);
  void RemoveDataSet(TVXDBDBDataSet* DataSet);

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TVXDBSession;
  // Moves the database to the session its SessionName names; checks the name there.
  void BindSession(bool Activate);
  void CheckDatabaseName();
  void CheckConnected() const;
  void CheckInactive() const;
  void SetSessionField(TVXDBSession* Session);

  TDataDirectory* FHandle = nullptr;
  TVXDBSession* FSession = nullptr;
  std::string FDatabaseName;
  std::string FDirectory;
  std::string FSessionName;
  bool FHandleShared = false;
  bool FKeepConnection = true;
  bool FTemporary = false;
  bool FBorrowed = false;
  bool FStreamedConnected = false;
  int FRefCount = 0;
  std::vector<TVXDBDBDataSet*> FDataSets;
};

// The process-wide list of sessions.
class TVXDBSessionList {
 public:
  TVXDBSessionList();
  ~TVXDBSessionList();
  TVXDBSessionList(const TVXDBSessionList&) = delete;
  TVXDBSessionList& operator=(const TVXDBSessionList&) = delete;

  // The session of that name ("" the default session); "Session name %s is not valid." otherwise.
  TVXDBSession* GetSession(const std::string& Name);
  TVXDBSession* FindSession(const std::string& Name);
  TVXDBSession* DefaultSession() const { return FDefault; }
  int Count();
  void AddSession(TVXDBSession* Session);
  void RemoveSession(TVXDBSession* Session);

 private:
  friend class TVXDBSession;
  int TakeAutoNumber();
  void FreeAutoNumber(int N);

  std::recursive_mutex FListLock;
  std::vector<TVXDBSession*> FSessions;
  std::vector<bool> FAutoNumbers;
  TVXDBSession* FDefault = nullptr;
};

// The list, made (with its default session) at first use.
TVXDBSessionList& VXDBSessions();
// The engine lock: serialises session activation and every locked session operation.
std::recursive_mutex& VXDBEngineLock();
