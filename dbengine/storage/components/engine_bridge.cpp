#include "dbengine/storage/components/engine_bridge.h"

#include <cstring>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/table_files.h"
#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/engine_decimal.h"
#include "dbengine/storage/engine_errors.h"

#ifdef VXDB_WITH_EXPRESSIONS
#include "dbengine/sql/expr_eval.h"
#include "dbengine/sql/expr_filters.h"
#endif

std::string EngShortString(const uint8_t* P, int MaxLength) { return GetShortString(P, MaxLength); }
uint16_t EngU16(const uint8_t* P) { return GetU16(P); }

void EngRaise(uint16_t Code, const std::string& TableName) { RaiseEngineError(Code, TableName); }

// ---- Engine and sessions ----
void EngStartEngine() {
  StartEngine();
}
void EngStopEngine() { StopEngine(); }
TDataSession* EngGlobalSession() { return CurrentSession(); }
void EngSetCurrentSession(TDataSession* Session) { SetCurrentSession(Session); }
TDataSession* EngNewSession() {
  TDataSession* S = nullptr;
  NewSession(S);
  return S;
}
void EngFreeSession(TDataSession*& Session) { FreeSession(Session); }

void EngApplySessionSettings(TDataSession* S, const TEngSessionSettings& V) {
  S->SetPrivateDir(V.PrivateDir.substr(0, 255));
  S->StrictChangeDetection = V.StrictChangeDetection;
  S->ForceBufferFlush = V.ForceBufferFlush;
  S->LockRetryCount = V.LockRetryCount;
  S->LockWaitTime = V.LockWaitTime;
  S->LanguageID = V.LanguageID;
  S->SortID = V.SortID;
}

TEngSessionSettings EngSessionSettings(TDataSession* S) {
  TEngSessionSettings V;
  V.PrivateDir = S->PrivateDir;
  V.StrictChangeDetection = S->StrictChangeDetection;
  V.ForceBufferFlush = S->ForceBufferFlush;
  V.LockRetryCount = S->LockRetryCount;
  V.LockWaitTime = S->LockWaitTime;
  V.LanguageID = S->LanguageID;
  V.SortID = S->SortID;
  return V;
}

void EngAddPassword(TDataSession* S, const std::string& P) { S->AddPassword(P.substr(0, 255)); }
void EngRemovePassword(TDataSession* S, const std::string& P) { S->RemovePassword(P.substr(0, 255)); }
void EngRemoveAllPasswords(TDataSession* S) { S->RemoveAllPasswords(); }

// ---- Directories ----
TDataDirectory* EngOpenDirectory(TDataSession* S, const std::string& DatabaseName, const std::string& Path) {
  return S->OpenDirectory(DatabaseName.substr(0, 255), Path.substr(0, 255));
}

void EngCloseDirectory(TDataDirectory* D) {
  if (D == nullptr) return;
  int R = D->Session->CloseDirectory(D);
  if (R != 0) RaiseEngineError(static_cast<uint16_t>(-R));
}

void EngStartTransaction(TDataDirectory* D) { D->StartTransaction(); }
void EngCommit(TDataDirectory* D) { D->Commit(true); }
void EngRollback(TDataDirectory* D) { D->Rollback(); }
bool EngInTransaction(TDataDirectory* D) { return D != nullptr && D->InTransaction; }
std::string EngDirectoryPath(TDataDirectory* D) { return D->Path; }

// ---- Cursors ----
TDataCursor* EngNewCursor(TDataDirectory* D) { return new TDataCursor(D); }

void EngFreeCursor(TDataCursor*& C) {
  if (C == nullptr) return;
  try {
    if (C->Active) C->Close();
  } catch (...) {
  }
  delete C;
  C = nullptr;
}

void EngOpenCursor(TDataCursor* C, const TEngCursorOptions& O) {
  C->SetTableName(O.TableName);
  C->SetExclusive(O.Exclusive);
  C->SetReadOnly(O.ReadOnly);
  C->SetInMemory(O.InMemory);
  C->SetSequentialScan(O.SequentialScan);
  if (O.OnPassword) {
    auto Ask = O.OnPassword;
    C->OnPasswordRequest = [Ask](TDataCursor*) { return Ask(); };
  }
  C->Open();
}

bool EngIsLiveResult(TDataCursor* C) { return C->LiveResult; }
bool EngCursorReadOnly(TDataCursor* C) { return C->ReadOnly; }
std::string EngCursorTableName(TDataCursor* C) { return C->TableName; }
int EngRecordBufferSize(TDataCursor* C) { return C->RecordBufferSize; }
int EngBookmarkSize(TDataCursor* C) { return C->GetBookmarkSize(); }
int EngFieldCount(TDataCursor* C) { return C->GetFieldCount(); }
void EngFieldDesc(TDataCursor* C, int FieldNo, uint8_t* Desc) { C->GetFieldDesc(FieldNo, Desc); }
int EngIndexCount(TDataCursor* C) { return C->GetIndexCount(); }
bool EngHasNoPrimaryKey(TDataCursor* C) { return C->HasNoPrimaryKey(); }
void EngIndexDesc(TDataCursor* C, int IndexNo, uint8_t* Desc) { C->GetIndexDesc(static_cast<uint8_t>(IndexNo), Desc); }

bool EngCurrentIndexDesc(TDataCursor* C, uint8_t* Desc) {
  std::memset(Desc, 0, kEngIndexDescSize);
  if (C->IsNaturalOrder()) return false;
  C->GetIndexDesc(C->IndexNo, Desc);
  return true;
}

void EngSetIndexName(TDataCursor* C, const std::string& Name) { C->SetIndexName(Name); }

void EngMoveToBegin(TDataCursor* C) { C->MoveToBegin(); }
void EngMoveToEnd(TDataCursor* C) { C->MoveToEnd(); }
uint16_t EngGetNextRecord(TDataCursor* C, uint8_t* Buffer) { return C->GetNextRecord(Buffer); }
uint16_t EngGetPriorRecord(TDataCursor* C, uint8_t* Buffer) { return C->GetPriorRecord(Buffer); }
uint16_t EngGetCurrentRecord(TDataCursor* C, uint8_t* Buffer, bool Lock) { return C->GetCurrentRecord(Buffer, Lock); }
int32_t EngSequenceNumber(TDataCursor* C) { return C->GetSequenceNumber(); }
int32_t EngRecordCount(TDataCursor* C) { return C->GetRecordCount(); }
void EngGotoSequence(TDataCursor* C, int32_t N) { C->GotoSequence(N); }
void EngRefresh(TDataCursor* C) { C->Refresh(); }

void EngInitRecord(TDataCursor* C, uint8_t* Buffer) { C->InitRecord(Buffer); }
void EngInsertRecord(TDataCursor* C, uint8_t* Buffer) { C->InsertRecord(Buffer, true); }
void EngModifyRecord(TDataCursor* C, uint8_t* Buffer) { C->ModifyRecord(Buffer, true, true); }
void EngDeleteRecord(TDataCursor* C, const uint8_t* Buffer) { C->DeleteRecord(Buffer, true); }
void EngCopyCurrentRecord(TDataCursor* C, uint8_t* Buffer) {
  uint16_t Code = C->CopyCurrentRecord(Buffer);
  if (Code != 0) RaiseEngineError(Code, C->TableName);
}
void EngUnlockCurrentRecord(TDataCursor* C) { C->UnlockRecord(0); }

void EngGetField(TDataCursor* C, int FieldNo, const uint8_t* Buffer, bool& IsBlank, void* Dest) {
  C->GetField(FieldNo, Buffer, IsBlank, Dest);
}
void EngPutField(TDataCursor* C, int FieldNo, uint8_t* Buffer, const void* Source) {
  C->PutField(FieldNo, Buffer, false, Source);
}
int64_t EngCurrToBCD(int Decimals, int64_t Currency) { return CurrToEngineBCD(Decimals, Currency); }
int64_t EngBCDToCurr(int64_t Encoded) { return EngineBCDToCurr(Encoded); }

bool EngFindKey(TDataCursor* C, const uint8_t* Record, uint8_t* Out, int PartialLength, int FieldCount) {
  return C->FindKey(false, Record, Out, PartialLength, false, FieldCount);
}
void EngSetRange(TDataCursor* C, const uint8_t* Start, int StartFieldCount, const uint8_t* End, int EndFieldCount) {
  C->SetRange(false, Start, StartFieldCount, End, EndFieldCount);
}
void EngCancelRange(TDataCursor* C) { C->CancelRange(); }

void EngGetBookmark(TDataCursor* C, uint8_t* Bookmark) { C->GetBookmark(Bookmark); }
bool EngSetToBookmark(TDataCursor* C, const uint8_t* Bookmark, bool Exact) {
  return C->SetToBookmark(Bookmark, Exact, false);
}
int EngCompareBookmarks(TDataCursor* C, const uint8_t* B1, const uint8_t* B2) { return C->CompareBookmarks(B1, B2); }

// ---- Filters and clones ----
TEngFilter EngAddTextFilter(TDataCursor* C, const std::string& Text, bool NoPartialCompare, bool CaseInsensitive) {
  return C->AddFilter(nullptr, Text, NoPartialCompare, CaseInsensitive, true, false, nullptr, true);
}

TEngFilter EngAddCallbackFilter(TDataCursor* C, std::function<bool(const uint8_t* Record)> Accept) {
  TFilterCallback Callback = [Accept = std::move(Accept)](void*, const uint8_t* Record, uint32_t) {
    return Accept(Record);
  };
  return C->AddFilter(nullptr, std::string(), false, false, true, true, std::move(Callback), false);
}

void EngDropFilter(TDataCursor* C, TEngFilter Filter) { C->DropFilter(static_cast<TFilterHandle>(Filter)); }
void EngActivateFilter(TDataCursor* C, TEngFilter Filter) { C->ActivateFilter(static_cast<TFilterHandle>(Filter)); }
void EngDeactivateFilter(TDataCursor* C, TEngFilter Filter) {
  C->DeactivateFilter(static_cast<TFilterHandle>(Filter));
}

#ifdef VXDB_WITH_EXPRESSIONS
bool EngSearchFiltersAvailable() { return true; }

TEngFilter EngAddSearchFilter(TDataCursor* C, const uint8_t* Record, const std::vector<TEngSearchField>& Fields,
                              bool CaseInsensitive) {
  std::vector<TFieldAccess> Access = CursorFields(*C);
  auto Resolve = MakeFieldResolver(Access);
  TColumnReader Read = MakeRecordColumnReader(Access, static_cast<uint32_t>(C->RecordBufferSize));
  TExpTree Tree;
  for (const TEngSearchField& F : Fields) {
    if (F.FieldNo < 1 || F.FieldNo > static_cast<int>(Access.size())) RaiseEngineError(ecFilterError, C->TableName);
    TExpTree Column(GetExpToken());
    Column->Kind = nkColumn;
    Column->Text = Column->ColumnName = Access[static_cast<std::size_t>(F.FieldNo - 1)].Name;
    Resolve(Column.Get());
    Column->FieldNo = static_cast<uint16_t>(F.FieldNo);
    // The value as the record holds it, so that it has the column's very form.
    TExpTree Constant(GetExpToken());
    Constant->Kind = nkConstant;
    Constant->FieldNo = Column->FieldNo;
    Constant->DataType = Column->DataType;
    Constant->SubType = Column->SubType;
    Constant->Size = Column->Size;
    Constant->Scale = Column->Scale;
    Read(Record, Constant.Get());
    Constant->FieldNo = 0;
    if (Constant->Null) Constant->Text = "NULL";
    TExpTree Compare(GetExpToken());
    const bool Prefix = F.PrefixLength > 0 && Column->DataType == ftString;
    Compare->Kind = Prefix ? nkPrefix : nkBinary;
    Compare->Code = opEqual;
    Compare->Text = "=";
    Compare->DataType = ftBoolean;
    Compare->CaseInsensitive = CaseInsensitive;
    Compare->PrefixLength = Prefix ? static_cast<uint32_t>(F.PrefixLength) : 0;
    Compare->Operand1 = Column.Release();
    Compare->Operand2 = Constant.Release();
    Compare->Operand1->Parent = Compare->Operand2->Parent = Compare.Get();
    if (!Tree.Get()) {
      Tree.Reset(Compare.Release());
      continue;
    }
    TExpTree And(GetExpToken());
    And->Kind = nkBinary;
    And->Code = opAnd;
    And->Text = "AND";
    And->DataType = ftBoolean;
    And->Operand1 = Tree.Release();
    And->Operand2 = Compare.Release();
    And->Operand1->Parent = And->Operand2->Parent = And.Get();
    Tree.Reset(And.Release());
  }
  // A literal '*' of a whole-value search is a character like any other.
  std::unique_ptr<TCursorCondition> Condition = MakeTreeCondition(*C, Tree.Release(), true, CaseInsensitive);
  return C->AddFilter(nullptr, std::string(), true, CaseInsensitive, true, false, nullptr, true, std::move(Condition));
}
#else
bool EngSearchFiltersAvailable() { return false; }

TEngFilter EngAddSearchFilter(TDataCursor* C, const uint8_t*, const std::vector<TEngSearchField>&, bool) {
  RaiseEngineError(ecFilterError, C->TableName, std::string(), std::string(), "filter expressions are not available");
}
#endif

TDataCursor* EngCloneCursor(TDataCursor* C) { return C->CloneCursor(); }

void EngSetToCursor(TDataCursor* C, TDataCursor* Other) {
  uint16_t Code = C->SetToCursor(Other);
  if (Code != 0) RaiseEngineError(Code, C->TableName);
}

bool EngIsRecordLocked(TDataCursor* C) { return C->IsRecordLocked(); }
bool EngLockSlot(TDataCursor* C, int N) { return C->LockSlot(N); }
bool EngUnlockSlot(TDataCursor* C, int N) {
  if (N < 1 || N > 1024) return false;
  try {
    C->UnlockSlot(N);
  } catch (const EVXDBEngineError&) {
    return false;
  }
  return true;
}

uint16_t EngOpenBlob(TDataCursor* C, int FieldNo, uint8_t* Buffer) {
  return C->OpenBlob(FieldNo, Buffer, false, false);
}
uint16_t EngCloseBlob(TDataCursor* C, int FieldNo, uint8_t* Buffer) { return C->CloseBlob(FieldNo, Buffer, false); }
uint16_t EngReadBlob(TDataCursor* C, int FieldNo, const uint8_t* Buffer, int64_t Offset, int64_t Length, void* Dest,
                     int64_t& Count) {
  return C->ReadBlob(FieldNo, Buffer, false, Count, Length, Dest, Offset);
}
uint16_t EngWriteBlob(TDataCursor* C, int FieldNo, const uint8_t* Buffer, int64_t Offset, int64_t Length,
                      const void* Source) {
  return C->WriteBlob(FieldNo, Buffer, false, Length, Source, Offset);
}
uint16_t EngTruncateBlob(TDataCursor* C, int FieldNo, const uint8_t* Buffer, int64_t NewSize) {
  return C->TruncateBlob(FieldNo, Buffer, false, NewSize);
}
uint16_t EngGetBlobSize(TDataCursor* C, int FieldNo, const uint8_t* Buffer, int64_t& Size) {
  return C->GetBlobSize(FieldNo, Buffer, false, Size);
}
