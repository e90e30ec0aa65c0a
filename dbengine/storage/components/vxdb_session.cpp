#include "dbengine/storage/components/vxdb_session.h"

#include <algorithm>
#include <memory>

#include "dbengine/storage/components/engine_bridge.h"
#include "dbengine/storage/components/vxdb_dataset.h"
#include "platform/core/finally.h"
#include "platform/data/db.h"

void RaiseVXDBError(uint16_t Code) { EngRaise(Code); }

void CheckVXDBError(uint16_t Code) {
  if (Code != 0) RaiseVXDBError(Code);
}

std::recursive_mutex& VXDBEngineLock() {
  static std::recursive_mutex Lock;
  return Lock;
}

namespace {

std::unique_ptr<TVXDBSessionList>& SessionListHolder() {
  static std::unique_ptr<TVXDBSessionList> List;
  return List;
}

// Runs the body of Loaded: failures pass on (there is no designer to show them to).
template <class F>
void LoadedGuard(F Body) {
  Body();
}

bool IsPathName(const std::string& Name) {
  return Name.find(':') != std::string::npos || Name.find('\\') != std::string::npos ||
         Name.find('/') != std::string::npos;
}

bool StartsIdentifier(unsigned char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_' || (C >= 129 && C <= 254);
}

}  // namespace

TVXDBSessionList& VXDBSessions() {
  auto& H = SessionListHolder();
  if (!H) {
    H.reset(new TVXDBSessionList());
    TVXDBSession* Default = new TVXDBSession(nullptr);
    Default->SetSessionName("Default");
  }
  return *H;
}

// ---- Session list --------------------------------------------------------------------------------
TVXDBSessionList::TVXDBSessionList() = default;

TVXDBSessionList::~TVXDBSessionList() {
  // Sessions with an owner belong to it; they are only switched off here. The default session
  // (and any other without owner) goes with the list.
  std::vector<TVXDBSession*> List = FSessions;
  for (auto It = List.rbegin(); It != List.rend(); ++It) {
    try {
      (*It)->SetActive(false);
    } catch (...) {
    }
    if ((*It)->Owner() == nullptr) delete *It;
  }
}

int TVXDBSessionList::Count() {
  std::lock_guard<std::recursive_mutex> G(FListLock);
  return static_cast<int>(FSessions.size());
}

TVXDBSession* TVXDBSessionList::FindSession(const std::string& Name) {
  std::lock_guard<std::recursive_mutex> G(FListLock);
  if (Name.empty()) return FDefault;
  for (TVXDBSession* S : FSessions)
    if (AnsiCompareText(S->SessionName(), Name) == 0) return S;
  return nullptr;
}

TVXDBSession* TVXDBSessionList::GetSession(const std::string& Name) {
  TVXDBSession* S = FindSession(Name);
  if (S == nullptr) DatabaseErrorFmt(SInvalidSessionName, {Name});
  return S;
}

void TVXDBSessionList::AddSession(TVXDBSession* Session) {
  std::lock_guard<std::recursive_mutex> G(FListLock);
  if (FSessions.empty() && FDefault == nullptr) {
    Session->FIsDefault = true;
    FDefault = Session;
  }
  FSessions.push_back(Session);
}

void TVXDBSessionList::RemoveSession(TVXDBSession* Session) {
  std::lock_guard<std::recursive_mutex> G(FListLock);
  FSessions.erase(std::remove(FSessions.begin(), FSessions.end(), Session), FSessions.end());
  if (FDefault == Session) FDefault = nullptr;
}

int TVXDBSessionList::TakeAutoNumber() {
  std::lock_guard<std::recursive_mutex> G(VXDBEngineLock());
  for (std::size_t I = 0; I < FAutoNumbers.size(); ++I)
    if (!FAutoNumbers[I]) {
      FAutoNumbers[I] = true;
      return static_cast<int>(I);
    }
  FAutoNumbers.push_back(true);
  return static_cast<int>(FAutoNumbers.size() - 1);
}

void TVXDBSessionList::FreeAutoNumber(int N) {
  std::lock_guard<std::recursive_mutex> G(VXDBEngineLock());
  if (N >= 0 && N < static_cast<int>(FAutoNumbers.size())) FAutoNumbers[static_cast<std::size_t>(N)] = false;
}

// ---- Session -------------------------------------------------------------------------------------
TVXDBSession::TVXDBSession(TComponent* AOwner) : TComponent(AOwner) {
  if (AOwner != nullptr)
    for (int I = 0; I < AOwner->ComponentCount(); ++I) {
      auto* S = dynamic_cast<TVXDBSession*>(AOwner->Components(I));
      if (S != nullptr && S != this && S->AutoSessionName()) {
        AOwner->RemoveComponent(this);
        DatabaseError(SAutoSessionExists);
      }
    }
  // The first session in the list is the default one: the list makes it before any other.
  VXDBSessions().AddSession(this);
}

TVXDBSession::~TVXDBSession() {
  Destroying();
  try {
    SetActive(false);
  } catch (...) {
  }
  for (TVXDBDatabase* D : std::vector<TVXDBDatabase*>(FDatabases)) {
    D->FSession = nullptr;
  }
  FDatabases.clear();
  if (FAutoNumber >= 0 && SessionListHolder()) SessionListHolder()->FreeAutoNumber(FAutoNumber);
  if (SessionListHolder()) SessionListHolder()->RemoveSession(this);
}

void TVXDBSession::SetActive(bool Value) {
  if (HasState(csLoading)) {
    FStreamedActive = Value;
    return;
  }
  if (Value == Active()) return;
  if (Value) StartSession();
  else EndSession();
}

void TVXDBSession::StartSession() {
  std::lock_guard<std::recursive_mutex> G(VXDBEngineLock());
  if (OnStartup) OnStartup(this);
  if (FSessionName.empty()) DatabaseError(SSessionNameMissing);
  if (!FIsDefault) {
    TVXDBSession* D = VXDBSessions().DefaultSession();
    if (D != nullptr) D->SetActive(true);
  }
  if (FIsDefault) {
    EngStartEngine();
    FHandle = EngGlobalSession();
  } else {
    FHandle = EngNewSession();
  }
  try {
    ApplySettings();
  } catch (...) {
    try {
      EndSession();
    } catch (...) {
    }
    throw;
  }
}

void TVXDBSession::ApplySettings() { EngApplySessionSettings(FHandle, FSettings); }

void TVXDBSession::EndSession() {
  std::lock_guard<std::recursive_mutex> G(VXDBEngineLock());
  if (FHandle == nullptr) return;
  EngSetCurrentSession(FHandle);
  std::vector<TVXDBDatabase*> List = FDatabases;
  for (auto It = List.rbegin(); It != List.rend(); ++It) {
    TVXDBDatabase* D = *It;
    if (D->Temporary() && !D->HasState(csDestroying)) delete D;
    else D->Close();
  }
  if (FIsDefault) {
    FHandle = nullptr;
    EngStopEngine();
  } else {
    EngFreeSession(FHandle);
    TVXDBSession* D = SessionListHolder() ? SessionListHolder()->DefaultSession() : nullptr;
    if (D != nullptr && D->FHandle != nullptr) EngSetCurrentSession(D->FHandle);
  }
  FHandle = nullptr;
}

template <class T>
void TVXDBSession::ChangeSetting(T TEngSessionSettings::*Member, const T& Value) {
  if (!Active()) {
    FSettings.*Member = Value;
    return;
  }
  LockSession();
  TFinally Unlock([this] { UnlockSession(); });
  if (FSettings.*Member == Value) return;
  FSettings.*Member = Value;
  ApplySettings();
}

void TVXDBSession::SetForceBufferFlush(bool Value) { ChangeSetting(&TEngSessionSettings::ForceBufferFlush, Value); }
void TVXDBSession::SetLockRetryCount(uint8_t Value) { ChangeSetting(&TEngSessionSettings::LockRetryCount, Value); }
void TVXDBSession::SetLockWaitTime(uint16_t Value) { ChangeSetting(&TEngSessionSettings::LockWaitTime, Value); }
void TVXDBSession::SetPrivateDir(const std::string& Value) { ChangeSetting(&TEngSessionSettings::PrivateDir, Value); }
void TVXDBSession::SetStrictChangeDetection(bool Value) { ChangeSetting(&TEngSessionSettings::StrictChangeDetection, Value); }
void TVXDBSession::SetLanguageID(uint16_t Value) { ChangeSetting(&TEngSessionSettings::LanguageID, Value); }
void TVXDBSession::SetSortID(uint16_t Value) { ChangeSetting(&TEngSessionSettings::SortID, Value); }

void TVXDBSession::SetAutoSessionName(bool Value) {
  if (Value == FAutoSessionName) return;
  if (Value) {
    if (Active()) DatabaseError(SSessionActive);
    if (Owner() != nullptr)
      for (int I = 0; I < Owner()->ComponentCount(); ++I) {
        auto* S = dynamic_cast<TVXDBSession*>(Owner()->Components(I));
        if (S != nullptr && S != this) DatabaseError(SAutoSessionExclusive);
      }
    FAutoNumber = VXDBSessions().TakeAutoNumber();
    FAutoSessionName = true;
    MakeAutoName();
  } else {
    VXDBSessions().FreeAutoNumber(FAutoNumber);
    FAutoNumber = -1;
    FAutoSessionName = false;
  }
}

void TVXDBSession::MakeAutoName() {
  if (!FAutoSessionName) return;
  FUpdatingName = true;
  TFinally Done([this] { FUpdatingName = false; });
  SetSessionName(Format("%s_%d", {Name(), FAutoNumber + 1}));
  HandAutoNameOn();
}

void TVXDBSession::HandAutoNameOn() {
  if (Owner() == nullptr || !FAutoSessionName) return;
  for (int I = 0; I < Owner()->ComponentCount(); ++I) {
    TComponent* C = Owner()->Components(I);
    if (auto* DS = dynamic_cast<TVXDBDBDataSet*>(C)) {
      if (AnsiCompareText(DS->SessionName(), FSessionName) != 0) DS->SetSessionName(FSessionName);
    } else if (auto* DB = dynamic_cast<TVXDBDatabase*>(C)) {
      if (AnsiCompareText(DB->SessionName(), FSessionName) != 0) DB->SetSessionName(FSessionName);
    }
  }
}

void TVXDBSession::SetSessionName(const std::string& Value) {
  if (FAutoSessionName && !FUpdatingName) DatabaseError(SAutoSessionActive);
  if (Active()) DatabaseError(SSessionActive);
  std::string Name = Trim(Value);
  if (!Name.empty()) {
    TVXDBSession* Other = VXDBSessions().FindSession(Name);
    if (Other != nullptr && Other != this) DatabaseErrorFmt(SDuplicateSessionName, {Name});
  }
  FSessionName = Name;
}

void TVXDBSession::SetName(const std::string& NewName) {
  TComponent::SetName(NewName);
  if (FAutoSessionName) MakeAutoName();
}

void TVXDBSession::Loaded() {
  TComponent::Loaded();
  LoadedGuard([this] {
    if (FAutoSessionName) HandAutoNameOn();
    if (FStreamedActive) SetActive(true);
  });
}

void TVXDBSession::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opInsert || !FAutoSessionName || AComponent->Owner() != Owner()) return;
  if (auto* DS = dynamic_cast<TVXDBDBDataSet*>(AComponent)) DS->FSessionName = FSessionName;
  else if (auto* DB = dynamic_cast<TVXDBDatabase*>(AComponent)) DB->SetSessionField(this);
}

void TVXDBSession::LockSession() {
  if (FLockDepth > 0) {
    ++FLockDepth;
    return;
  }
  VXDBEngineLock().lock();
  try {
    if (!Active()) SetActive(true);
  } catch (...) {
    VXDBEngineLock().unlock();
    throw;
  }
  ++FLockDepth;
  EngSetCurrentSession(FHandle);
}

void TVXDBSession::UnlockSession() {
  if (FLockDepth == 0) return;
  if (--FLockDepth == 0) VXDBEngineLock().unlock();
}

TDataSession* TVXDBSession::GetHandle() {
  if (!Active()) SetActive(true);
  return FHandle;
}

void TVXDBSession::AddPassword(const std::string& Password) {
  LockSession();
  TFinally Unlock([this] { UnlockSession(); });
  EngAddPassword(FHandle, Password);
}

void TVXDBSession::RemovePassword(const std::string& Password) {
  LockSession();
  TFinally Unlock([this] { UnlockSession(); });
  EngRemovePassword(FHandle, Password);
}

void TVXDBSession::RemoveAllPasswords() {
  LockSession();
  TFinally Unlock([this] { UnlockSession(); });
  EngRemoveAllPasswords(FHandle);
}

bool TVXDBSession::GetPassword() {
  // Without a handler there is no dialog to ask in this layer: the table stays closed.
  bool Continue = false;
  if (OnPassword) OnPassword(this, Continue);
  return Continue;
}

TVXDBDatabase* TVXDBSession::FindDatabase(const std::string& Name, TComponent* DataSetOwner) const {
  auto Counts = [&](TVXDBDatabase* D) {
    return (!D->DatabaseName().empty() || D->Temporary()) && AnsiCompareText(D->DatabaseName(), Name) == 0;
  };
  for (TVXDBDatabase* D : FDatabases)
    if (D->Owner() == DataSetOwner && D->HandleShared() && Counts(D)) return D;
  for (TVXDBDatabase* D : FDatabases)
    if (Counts(D)) return D;
  return nullptr;
}

TVXDBDatabase* TVXDBSession::OpenDatabase(const std::string& Name, TComponent* DataSetOwner) {
  LockSession();
  TFinally Unlock([this] { UnlockSession(); });
  TVXDBDatabase* D = FindDatabase(Name, DataSetOwner);
  if (D == nullptr) {
    D = new TVXDBDatabase(this);
    try {
      D->FTemporary = true;
      D->FDatabaseName = Name;
      D->SetKeepConnection(FKeepConnections);
    } catch (...) {
      delete D;
      throw;
    }
  }
  D->Open();
  ++D->FRefCount;
  return D;
}

void TVXDBSession::CloseDatabase(TVXDBDatabase* Database) {
  if (Database == nullptr) return;
  if (Database->FRefCount > 0) --Database->FRefCount;
  if (Database->FRefCount > 0 || Database->KeepConnection()) return;
  if (Database->Temporary()) {
    if (!Database->HasState(csDestroying)) delete Database;
  } else {
    Database->Close();
  }
}

void TVXDBSession::AddDatabase(TVXDBDatabase* Database) {
  if (std::find(FDatabases.begin(), FDatabases.end(), Database) == FDatabases.end()) FDatabases.push_back(Database);
}

void TVXDBSession::RemoveDatabase(TVXDBDatabase* Database) {
  FDatabases.erase(std::remove(FDatabases.begin(), FDatabases.end(), Database), FDatabases.end());
}

// ---- Database ------------------------------------------------------------------------------------
TVXDBDatabase::TVXDBDatabase(TComponent* AOwner) : TComponent(AOwner) {
  if (FSession == nullptr) {
    auto* S = dynamic_cast<TVXDBSession*>(AOwner);
    SetSessionField(S != nullptr ? S : VXDBSessions().DefaultSession());
  }
  FKeepConnection = true;
}

TVXDBDatabase::~TVXDBDatabase() {
  Destroying();
  try {
    Close();
  } catch (...) {
  }
  FDataSets.clear();
  if (FSession != nullptr) FSession->RemoveDatabase(this);
}

void TVXDBDatabase::SetSessionField(TVXDBSession* Session) {
  if (FSession == Session) return;
  if (FSession != nullptr) FSession->RemoveDatabase(this);
  FSession = Session;
  if (FSession != nullptr) {
    FSessionName = FSession->SessionName();
    FSession->AddDatabase(this);
    if (FSession->Owner() != nullptr && FSession->Owner() != Owner()) FreeNotification(FSession);
  }
}

void TVXDBDatabase::CheckConnected() const {
  if (!Connected()) DatabaseError(SDatabaseClosed);
}

void TVXDBDatabase::CheckInactive() const {
  if (Connected()) DatabaseError(SDatabaseOpen);
}

void TVXDBDatabase::CheckDatabaseName() {
  if (FSession == nullptr || FDatabaseName.empty()) return;
  for (TVXDBDatabase* D : std::vector<TVXDBDatabase*>(FSession->FDatabases)) {
    if (D == this || AnsiCompareText(D->DatabaseName(), FDatabaseName) != 0) continue;
    if (D->HandleShared() && HandleShared()) continue;
    if (!D->Temporary() || D->RefCount() > 0) DatabaseErrorFmt(SDuplicateDatabaseName, {FDatabaseName});
    delete D;
  }
}

void TVXDBDatabase::BindSession(bool Activate) {
  TVXDBSession* S = VXDBSessions().GetSession(FSessionName);
  if (S != FSession) SetSessionField(S);
  CheckDatabaseName();
  if (Activate) S->SetActive(true);
}

void TVXDBDatabase::Open() {
  if (Connected()) return;
  if (BeforeConnect) BeforeConnect(this);
  if (FDatabaseName.empty() && !FTemporary) DatabaseError(SDatabaseNameMissing);
  BindSession(true);
  if (FHandleShared) {
    for (TVXDBDatabase* D : FSession->FDatabases) {
      if (D == this || !D->Connected() || !D->HandleShared()) continue;
      if (AnsiCompareText(D->DatabaseName(), FDatabaseName) != 0) continue;
      FHandle = D->FHandle;
      FBorrowed = true;
      return;
    }
  }
  FSession->LockSession();
  TFinally Unlock([this] { FSession->UnlockSession(); });
  bool Path = IsPathName(FDatabaseName);
  std::string Dir = FDirectory;
  if (FTemporary && Path) Dir = FDatabaseName;
  FHandle = EngOpenDirectory(FSession->FHandle, Path ? std::string() : FDatabaseName, Dir);
}

void TVXDBDatabase::Close() {
  if (!Connected()) return;
  {
    // A closing dataset hands its database back to the session, which would close (or, for a
    // temporary database, free) this very database under us once the last one is gone: hold a
    // reference of our own while they leave.
    ++FRefCount;
    TFinally Release([this] { --FRefCount; });
    while (!FDataSets.empty()) {
      TVXDBDBDataSet* DS = FDataSets.back();
      DS->Disconnect();
      // A dataset that could not leave must not keep the loop going.
      RemoveDataSet(DS);
    }
  }
  if (!Connected()) return;  // a dataset's handler may have closed us already
  TDataDirectory* H = FHandle;
  bool Borrowed = FBorrowed;
  FHandle = nullptr;
  FBorrowed = false;
  FRefCount = 0;
  if (!Borrowed) {
    // Other databases sharing this directory lose it with us.
    if (FSession != nullptr)
      for (TVXDBDatabase* D : FSession->FDatabases)
        if (D != this && D->FBorrowed && D->FHandle == H) D->Close();
    EngCloseDirectory(H);
  }
}

void TVXDBDatabase::SetConnected(bool Value) {
  if (HasState(csLoading)) {
    FStreamedConnected = Value;
    return;
  }
  if (Value) Open();
  else Close();
}

void TVXDBDatabase::SetDatabaseName(const std::string& Value) {
  if (HasState(csLoading)) {
    FDatabaseName = Value;
    return;
  }
  if (FDatabaseName == Value) return;
  CheckInactive();
  if (!FTemporary && (IsPathName(Value) || (!Value.empty() && !StartsIdentifier(static_cast<unsigned char>(Value[0])))))
    DatabaseErrorFmt(SInvalidDatabaseName, {Value});
  std::string Old = FDatabaseName;
  FDatabaseName = Value;
  TOnError Restore([&] { FDatabaseName = Old; });
  CheckDatabaseName();
}

void TVXDBDatabase::SetDirectory(const std::string& Value) {
  CheckInactive();
  FDirectory = Value;
}

void TVXDBDatabase::SetKeepConnection(bool Value) {
  if (FKeepConnection == Value) return;
  FKeepConnection = Value;
  if (!Value && FRefCount == 0) Close();
}

void TVXDBDatabase::SetSessionName(const std::string& Value) {
  if (HasState(csLoading)) {
    FSessionName = Value;
    return;
  }
  CheckInactive();
  FSessionName = Value;
  BindSession(false);
}

void TVXDBDatabase::AddDataSet(TVXDBDBDataSet* DataSet) {
  if (std::find(FDataSets.begin(), FDataSets.end(), DataSet) == FDataSets.end()) FDataSets.push_back(DataSet);
}

void TVXDBDatabase::RemoveDataSet(TVXDBDBDataSet* DataSet) {
  FDataSets.erase(std::remove(FDataSets.begin(), FDataSets.end(), DataSet), FDataSets.end());
}

void TVXDBDatabase::StartTransaction() {
  CheckConnected();
  if (InTransaction()) DatabaseErrorFmt(SInTransaction, {FDatabaseName});
  EngStartTransaction(FHandle);
}

void TVXDBDatabase::Commit() {
  CheckConnected();
  if (!InTransaction()) DatabaseErrorFmt(SNotInTransaction, {FDatabaseName});
  EngCommit(FHandle);
}

void TVXDBDatabase::Rollback() {
  CheckConnected();
  if (!InTransaction()) DatabaseErrorFmt(SNotInTransaction, {FDatabaseName});
  EngRollback(FHandle);
  // The open datasets show what the tables hold again.
  for (TVXDBDBDataSet* DS : std::vector<TVXDBDBDataSet*>(FDataSets))
    if (DS->Active()) DS->RefreshAfterRollback();
}

bool TVXDBDatabase::InTransaction() const { return EngInTransaction(FHandle); }

void TVXDBDatabase::Loaded() {
  TComponent::Loaded();
  LoadedGuard([this] {
    if (FStreamedConnected) Open();
    else BindSession(false);
  });
}

void TVXDBDatabase::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FSession && !FSession->IsDefault()) {
    FSession->RemoveDatabase(this);
    FSession = nullptr;
  }
}
