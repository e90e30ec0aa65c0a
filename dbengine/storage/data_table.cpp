#include "dbengine/storage/data_table.h"

#include <algorithm>

#include "dbengine/storage/data_session.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/engine_keys.h"
#include "dbengine/storage/journal.h"
#include "dbengine/storage/table_files.h"
#include "platform/core/sysutils.h"

namespace {
TTableFilesFactory GFactory = nullptr;
}

void SetTableFilesFactory(TTableFilesFactory Factory) { GFactory = Factory; }
// Without a factory set by the program (tests may set a stand-in), tables get the real file set.
TTableFilesFactory GetTableFilesFactory() { return GFactory ? GFactory : MakeTableFiles; }

bool TTableDefinition::HasBlobFields() const {
  for (const auto& F : Fields)
    if (F[kFieldDescTypeOffset] == ftBlob) return true;
  return false;
}

TDataTable::TDataTable(TDataDirectory* Dir) : Directory(Dir) {
  Files = GetTableFilesFactory()();
  LockedRecords = GetRecordsBitmap();
  CursorLocks = GetRecordsBitmap();
  PendingUnlocks = GetRecordsBitmap();
  UnsharedLocks = GetRecordsBitmap();
  for (TRecordsBitmap* B : {LockedRecords, CursorLocks, PendingUnlocks, UnsharedLocks}) B->SetRecordCount(8192);
}

TDataTable::~TDataTable() {
  try {
    if (Opened) {
      InTransaction = false;
      RefCount = 1;
      FNoPark = true;
      Close(true);
    }
    CloseParked();
  } catch (...) {
  }
  PutRecordsBitmap(LockedRecords);
  PutRecordsBitmap(CursorLocks);
  PutRecordsBitmap(PendingUnlocks);
  PutRecordsBitmap(UnsharedLocks);
  delete Files;
}

void TDataTable::Fail(uint16_t Code) const { RaiseEngineError(Code, TableName); }

void TDataTable::SetTableName(const std::string& Name) {
  TableName = ForceFileExt(ExtractFileBaseName(Trim(Name)), ".DAT");
}

int TDataTable::LockRetryCount() const {
  return Directory != nullptr && Directory->Session != nullptr ? Directory->Session->LockRetryCount : 15;
}
int TDataTable::LockWaitTime() const {
  return Directory != nullptr && Directory->Session != nullptr ? Directory->Session->LockWaitTime : 100;
}
bool TDataTable::ForceBufferFlush() const {
  return Directory != nullptr && Directory->Session != nullptr && Directory->Session->ForceBufferFlush;
}
bool TDataTable::StrictChangeDetection() const {
  return Directory != nullptr && Directory->Session != nullptr && Directory->Session->StrictChangeDetection;
}

std::string TDataTable::BaseName() const {
  std::string Base = RemoveFileExt(TableName);
  if (InMemory || Directory == nullptr) return Base;
  return Directory->Path + Base;
}

bool TDataTable::HasBlobFile() {
  TFileHandler* B = Files->Handler(TTableFileKind::Blob);
  return B != nullptr && B->Opened;
}

TFileHandler* TDataTable::BlobHandler() { return HasBlobFile() ? Files->Handler(TTableFileKind::Blob) : nullptr; }

// ---- Opening and closing ---------------------------------------------------------------------------

bool TDataTable::CanPark() const {
  // Read-only files take no lock, so their change check would never run for a table taken back.
  return !FNoPark && Journalled() && !Exclusive && !Temporary && !InMemory && !FilesReadOnly && PostDepth == 0 &&
         !InTransaction;
}

void TDataTable::CloseParked() {
  if (!Parked) return;
  Parked = false;
  Files->CloseAll();
}

bool TDataTable::Resume() {
  if (!Parked) return false;
  Parked = false;
  bool Same = !Exclusive && !Temporary && !InMemory && SequentialAccess == FParkedSequential &&
              ForceBufferFlush() == FParkedWriteThrough;
  try {
    // A dead process's commit that may be half in place (a file was written meanwhile) is settled
    // by a full open; one that wrote nothing in place is settled by the first lock, as for a table
    // that stayed open.
    Same = Same && Files->Resume() && !(Files->WrittenWhileParked() && JournalPending());
  } catch (...) {
    Same = false;
  }
  if (!Same) {
    Files->CloseAll();
    return false;
  }
  RefCount = 1;
  Opened = true;
  FVerifyChanges = true;
  for (uint16_t& S : ReaderSlots) S = 0;
  return true;
}

TDataTable* TDataTable::Open() {
  RefCount = 1;
  if (Opened) return this;
  // Only the directory takes a parked table back (Resume); anything else opens it afresh.
  CloseParked();
  IndexRecreated = false;
  Opened = true;
  Files->NameFiles(BaseName(), InMemory, Exclusive, Temporary, SequentialAccess, ForceBufferFlush(), TableName);
  GuardFiles();
  try {
    if (JournalPending()) SettleJournal();
  } catch (...) {
    Opened = false;
    throw;
  }
  Files->OpenData();
  try {
    Files->OpenIndex();
  } catch (const EVXDBEngineError& E) {
    if (E.ErrorCode() != ecInvalidPath) throw;
    IndexRecreated = true;
    Files->RecreateIndex();
  }
  if (Files->DefinitionHasBlobs()) Files->OpenBlob();
  FilesReadOnly = false;
  for (TTableFileKind K : {TTableFileKind::Data, TTableFileKind::Index, TTableFileKind::Blob}) {
    TFileHandler* H = Files->Handler(K);
    if (H != nullptr && H->Opened && H->OpenedReadOnly) FilesReadOnly = true;
  }
  if (FilesReadOnly) ReadOnly = true;
  for (uint16_t& S : ReaderSlots) S = 0;
  return nullptr;
}

void TDataTable::Close(bool FlushTemporary) {
  if (!Opened) return;
  --RefCount;
  if (RefCount > 0 || InTransaction) return;
  if (RefCount < 0) RefCount = 0;
  if (Exclusive && !ReadOnly) {
    if (Temporary && FlushTemporary) {
      for (TTableFileKind K : {TTableFileKind::Data, TTableFileKind::Index, TTableFileKind::Blob}) {
        Files->DropCache(K);
      }
    } else {
      Files->WriteAll();
    }
  }
  UnlockAllRecords(false);
  // Only the marked bits are cleared: the bitmap spans the whole table.
  for (const auto& [N, Owner] : CursorLockOwners) CursorLocks->ClearBit(N);
  CursorLockOwners.clear();
  if (ChangeCheckLocked) ReleaseReaderBytes(ReaderSlots[0], ReaderSlots[1]);
  ChangeCheckLocked = false;
  ReadUnlock();
  WriteUnlock();
  if (HeaderLocked) ReleaseHeaderLock();
  // What a transaction made the caches grow to is not kept.
  Files->TrimCaches();
  const bool Recreated = IndexRecreated;
  Opened = false;
  IndexRecreated = false;
  if (CanPark() && !Recreated && Files->Park()) {
    Parked = true;
    FParkedSequential = SequentialAccess;
    FParkedWriteThrough = ForceBufferFlush();
    return;
  }
  Files->CloseAll();
}

void TDataTable::CreateFiles(const TTableDefinition& Definition) {
  Files->NameFiles(BaseName(), InMemory, true, Temporary, false, ForceBufferFlush(), TableName);
  GuardFiles();
  try {
    Files->CreateFiles(Definition);
  } catch (...) {
    // Nothing of a half-made table stays behind.
    try {
      Files->CloseAll();
    } catch (...) {
    }
    DeleteFiles();
    throw;
  }
  // The new files' names last beyond a power cut before anything is written into them.
  if (Journalled() && DiskSyncDirectory(Directory->Path) < 0) {
    try {
      Files->CloseAll();
    } catch (...) {
    }
    DeleteFiles();
    Fail(ecWriteError);
  }
  Opened = true;
  Exclusive = true;
  IndexRecreated = false;
  FilesReadOnly = false;
  ReadOnly = false;
}

void TDataTable::DeleteFiles() {
  std::string Base = BaseName();
  TFileList& L = EngineFileList();
  for (const char* Ext : {".DAT", ".IDX", ".BLB"}) {
    std::string Name = Base + Ext;
    if (L.FileExists(Name, InMemory)) {
      if (Journalled()) Directory->Journal()->BeforeUnloggedChange(JournalFileName(Name));
      int R = L.FileDelete(Name, InMemory);
      if (R < 0) Fail(static_cast<uint16_t>(-R));
    }
  }
  if (Journalled() && DiskSyncDirectory(Directory->Path) < 0) Fail(ecWriteError);
}

void TDataTable::BackupIndexFile() {
  Files->WriteAll();
  IndexHandler()->CopyTo(BaseName() + ".IBK");
}

void TDataTable::RestoreIndexFile(bool Skip, bool DeleteBackup) {
  const std::string Backup = BaseName() + ".IBK";
  TFileList& L = EngineFileList();
  if (!Skip) {
    if (!L.FileExists(Backup, InMemory)) Fail(ecInvalidPath);
    IndexHandler()->CopyFrom(Backup);
    Files->DropCache(TTableFileKind::Index);
    Files->ReloadHeader(TTableFileKind::Index);
  }
  if (DeleteBackup && L.FileExists(Backup, InMemory)) {
    int R = L.FileDelete(Backup, InMemory);
    if (R < 0) Fail(static_cast<uint16_t>(-R));
  }
}

int TDataTable::RenameFiles(const std::string& NewName, bool Backup) {
  std::string Base = BaseName();
  std::string Dir = (InMemory || Directory == nullptr) ? std::string() : Directory->Path;
  std::string NewBase = Dir + RemoveFileExt(ExtractFileBaseName(Trim(NewName)));
  static const char* const Exts[3] = {".DAT", ".IDX", ".BLB"};
  static const char* const BackupExts[3] = {".DBK", ".IBK", ".BBK"};
  TFileList& L = EngineFileList();
  for (int I = 0; I < 3; ++I) {
    std::string From = Base + Exts[I];
    if (!L.FileExists(From, InMemory)) {
      if (I == 0) return -ecInvalidPath;
      continue;
    }
    std::string To = NewBase + (Backup ? BackupExts[I] : Exts[I]);
    if (Journalled()) {
      try {
        Directory->Journal()->BeforeUnloggedChange(JournalFileName(From));
        Directory->Journal()->BeforeUnloggedChange(JournalFileName(To));
      } catch (const EVXDBEngineError& E) {
        return -static_cast<int>(E.ErrorCode());
      }
    }
    if (Backup && L.FileExists(To, InMemory)) {
      int R = L.FileDelete(To, InMemory);
      if (R < 0) return R;
    }
    int R = InMemory ? L.FileRename(From, true, To) : MoveTableFile(From, To);
    if (R < 0) return R;
  }
  if (Journalled() && DiskSyncDirectory(Directory->Path) < 0) return -ecWriteError;
  if (!Backup) SetTableName(NewName);
  return 0;
}

void TDataTable::CheckVersion() {
  if (Files->Version(TTableFileKind::Data) != 4) Fail(ecWrongVersion);
  if (!IndexRecreated && Files->Version(TTableFileKind::Index) != 4) Fail(ecWrongVersion);
  if (HasBlobFile() && Files->Version(TTableFileKind::Blob) != 4) Fail(ecWrongVersion);
}

bool TDataTable::IsEncrypted() { return Files->IsEncrypted(); }

// ---- File-level locks ------------------------------------------------------------------------------

bool TDataTable::LockWithRetries(TFileHandler* File, int64_t First, int64_t Length) {
  for (int Try = 0;; ++Try) {
    if (File->LockBytes(First, Length, true)) return true;
    if (Try >= FileLockRetries) return false;
    EngineSleep(3);
  }
}

bool TDataTable::TakeReaderBytes(uint16_t& IndexSlot, uint16_t& BlobSlot) {
  auto TakeOne = [this](TFileHandler* F, uint16_t& Slot) {
    for (int Try = 0;; ++Try) {
      int R = EngineRandom(65535);
      if (R == 0) R = 1;
      if (F->LockBytes(ReaderLockByte(R), 1, true)) {
        Slot = static_cast<uint16_t>(R);
        return true;
      }
      if (Try >= FileLockRetries) return false;
      EngineSleep(3);
    }
  };
  if (!TakeOne(IndexHandler(), IndexSlot)) return false;
  if (TFileHandler* B = BlobHandler()) {
    if (!TakeOne(B, BlobSlot)) {
      IndexHandler()->LockBytes(ReaderLockByte(IndexSlot), 1, false);
      IndexSlot = 0;
      return false;
    }
  }
  return true;
}

void TDataTable::ReleaseReaderBytes(uint16_t& IndexSlot, uint16_t& BlobSlot) {
  bool Ok = true;
  if (BlobSlot != 0) {
    TFileHandler* B = BlobHandler();
    if (B != nullptr && !B->LockBytes(ReaderLockByte(BlobSlot), 1, false)) Ok = false;
    BlobSlot = 0;
  }
  if (IndexSlot != 0) {
    if (!IndexHandler()->LockBytes(ReaderLockByte(IndexSlot), 1, false)) Ok = false;
    IndexSlot = 0;
  }
  if (!Ok) Fail(ecCannotUnlock);
}

bool TDataTable::CheckChanges() {
  bool Changed = false;
  if (Files->HeaderChanged(TTableFileKind::Index)) {
    Files->ReloadHeader(TTableFileKind::Index);
    Files->DropCache(TTableFileKind::Data);
    Changed = true;
  } else if (Files->HeaderChanged(TTableFileKind::Data)) {
    Changed = true;
  }
  if (Changed) Files->ReloadHeader(TTableFileKind::Data);
  if (HasBlobFile() && Files->HeaderChanged(TTableFileKind::Blob)) {
    Files->ReloadHeader(TTableFileKind::Blob);
    Files->DropCache(TTableFileKind::Blob);
    Changed = true;
  }
  // The first check after an idle time checks what changed meanwhile as an open would.
  if (FVerifyChanges) {
    FVerifyChanges = false;
    try {
      if (Changed) Files->VerifyHeaders();
    } catch (...) {
      // Found damaged: never parked again, so that the next open finds it too.
      FNoPark = true;
      throw;
    }
  }
  return Changed;
}

bool TDataTable::ReadLock() {
  if (LocksSkipped() || ReadLocked || ChangeCheckLocked || WriteLocked || HeaderLocked) return false;
  for (;;) {
    if (!TakeReaderBytes(ReaderSlots[2], ReaderSlots[3])) Fail(ecLockFailure);
    if (!JournalPending()) break;
    // A commit of a dead process may be half in place: it is completed before anything is read.
    ReleaseReaderBytes(ReaderSlots[2], ReaderSlots[3]);
    SettleJournal();
  }
  ReadLocked = true;
  return CheckChanges();
}

void TDataTable::ReadUnlock() {
  if (!ReadLocked) return;
  ReadLocked = false;
  ReleaseReaderBytes(ReaderSlots[2], ReaderSlots[3]);
}

bool TDataTable::WriteLock() {
  if (LocksSkipped() || WriteLocked) return false;
  // Inside a transaction nothing reaches the files before the commit, which takes the writer
  // ranges itself; the header byte held since the transaction began keeps every other writer and
  // every commit (and so every journal that could concern the table) away. A write bracket then
  // needs no lock of the files: readers elsewhere read the committed files as they would between
  // two brackets.
  if (InTransaction && HeaderLocked && !IndexRecreated) {
    WriteLocked = true;
    FWriteDeferred = true;
    return false;
  }
  return TakeWriteLock();
}

void TDataTable::WriteLockForCommit() {
  if (WriteLocked && FWriteDeferred) {
    WriteLocked = false;
    FWriteDeferred = false;
  }
  if (LocksSkipped() || WriteLocked) return;
  TakeWriteLock();
}

bool TDataTable::TakeWriteLock() {
  TFileHandler* D = DataHandler();
  if (!HeaderLocked && !LockWithRetries(D, kHeaderLockByte, 1)) Fail(ecLockFailure);
  if (!LockWithRetries(IndexHandler(), kWriterRangeFirst, kWriterRangeLength)) {
    if (!HeaderLocked) D->LockBytes(kHeaderLockByte, 1, false);
    Fail(ecLockFailure);
  }
  if (TFileHandler* B = BlobHandler()) {
    if (!LockWithRetries(B, kWriterRangeFirst, kWriterRangeLength)) {
      IndexHandler()->LockBytes(kWriterRangeFirst, kWriterRangeLength, false);
      if (!HeaderLocked) D->LockBytes(kHeaderLockByte, 1, false);
      Fail(ecLockFailure);
    }
  }
  WriteLocked = true;
  try {
    if (JournalPending()) SettleJournal();
  } catch (...) {
    WriteUnlock();
    throw;
  }
  if (InTransaction) return false;
  return CheckChanges();
}

void TDataTable::WriteUnlock() {
  if (!WriteLocked) return;
  WriteLocked = false;
  if (FWriteDeferred) {
    FWriteDeferred = false;
    return;
  }
  bool Ok = true;
  if (TFileHandler* B = BlobHandler())
    if (!B->LockBytes(kWriterRangeFirst, kWriterRangeLength, false)) Ok = false;
  if (!IndexHandler()->LockBytes(kWriterRangeFirst, kWriterRangeLength, false)) Ok = false;
  if (!HeaderLocked && !DataHandler()->LockBytes(kHeaderLockByte, 1, false)) Ok = false;
  if (!Ok) Fail(ecLockFailure);
}

void TDataTable::ReleaseHeaderLock() {
  HeaderLocked = false;
  if (!WriteLocked && !DataHandler()->LockBytes(kHeaderLockByte, 1, false)) Fail(ecLockFailure);
}

// ---- Record locks ----------------------------------------------------------------------------------

void TDataTable::GrowBitmaps(int32_t N) {
  for (TRecordsBitmap* B : {LockedRecords, CursorLocks, PendingUnlocks, UnsharedLocks})
    if (B->RecordCount < N) B->SetRecordCount(N);
}

void TDataTable::LockRecordByte(int32_t N) {
  uint8_t Retries = 0;
  LastLockAttempts = 1;
  while (!DataHandler()->LockBytes(RecordLockByte(N), 1, true)) {
    ++Retries;
    if (Retries > LockRetryCount()) Fail(ecRecordLocked);
    EngineSleep(LockWaitTime());
    ++LastLockAttempts;
  }
}

bool TDataTable::LockAppendedRecord(int32_t N) {
  if (!InTransaction || !HeaderLocked || FilesReadOnly || N <= 0) return false;
  if (N > LockedRecords->RecordCount) GrowBitmaps(N);
  const bool Held = LockedRecords->GetBit(N);
  if (Held && !PendingUnlocks->GetBit(N)) return false;
  if (!Held) {
    ++FLockedCount;
    LockedRecords->SetBit(N);
    UnsharedLocks->SetBit(N);
  }
  PendingUnlocks->SetBit(N);
  return true;
}

bool TDataTable::LockRecord(int32_t N) {
  if ((Exclusive && !InTransaction) || FilesReadOnly) return false;
  if (N <= 0) Fail(ecRecordLocked);
  if (N > LockedRecords->RecordCount) GrowBitmaps(N);
  if (InTransaction && LockedRecords->GetBit(N)) {
    // Held from now on, the lock may outlive the commit, after which other processes know the
    // record: an appended record's lock takes its byte now.
    if (UnsharedLocks->GetBit(N)) {
      LockRecordByte(N);
      UnsharedLocks->ClearBit(N);
    }
    PendingUnlocks->ClearBit(N);
    return false;
  }
  bool Changed = false;
  bool TookCheckLock = false;
  if (!Exclusive && !StrictChangeDetection() && !ChangeCheckLocked && !ReadLocked && !WriteLocked &&
      !HeaderLocked) {
    if (!TakeReaderBytes(ReaderSlots[0], ReaderSlots[1])) Fail(ecLockFailure);
    ChangeCheckLocked = true;
    TookCheckLock = true;
    try {
      Changed = CheckChanges();
    } catch (...) {
      ChangeCheckLocked = false;
      ReleaseReaderBytes(ReaderSlots[0], ReaderSlots[1]);
      throw;
    }
  }
  // The change-check reader bytes go before the wait and before any error: holding them would
  // block this very process's next write lock (the writer range covers every reader byte).
  auto DropCheckLock = [&]() {
    if (TookCheckLock) {
      TookCheckLock = false;
      ChangeCheckLocked = false;
      ReleaseReaderBytes(ReaderSlots[0], ReaderSlots[1]);
    }
  };
  DropCheckLock();
  LockRecordByte(N);
  GrowBitmaps(Files->RecordCount() + 1);
  if (!LockedRecords->GetBit(N)) ++FLockedCount;
  LockedRecords->SetBit(N);
  PendingUnlocks->ClearBit(N);
  return Changed;
}

void TDataTable::UnlockRecord(int32_t N) {
  if ((Exclusive && !InTransaction) || FilesReadOnly) return;
  if (N <= 0) Fail(ecCannotUnlock);
  if (InTransaction) {
    if (N > PendingUnlocks->RecordCount) PendingUnlocks->SetRecordCount(N);
    PendingUnlocks->SetBit(N);
    return;
  }
  if (!IsRecordLocked(N)) Fail(ecCannotUnlock);
  if (!DataHandler()->LockBytes(RecordLockByte(N), 1, false)) Fail(ecCannotUnlock);
  LockedRecords->ClearBit(N);
  --FLockedCount;
}

void TDataTable::UnlockAllRecords(bool OnlyPending) {
  // Only the set bits are visited, and none when no record is locked: a table of many records holds
  // few locks, and most closes hold none. The bytes go together: the records a transaction added
  // lie side by side and are released by one call.
  if (FLockedCount == 0) return;
  std::vector<int64_t> Bytes;
  for (int32_t N = 0, Seen = 0; LockedRecords->FindNext(N, 1, Seen);) {
    if (OnlyPending && !(N <= PendingUnlocks->RecordCount && PendingUnlocks->GetBit(N))) continue;
    if (N <= UnsharedLocks->RecordCount && UnsharedLocks->GetBit(N))
      UnsharedLocks->ClearBit(N);
    else if (!(Exclusive || FilesReadOnly))
      Bytes.push_back(RecordLockByte(N));
    LockedRecords->ClearBit(N);
    --FLockedCount;
    if (N <= PendingUnlocks->RecordCount) PendingUnlocks->ClearBit(N);
    if (FLockedCount == 0) break;
  }
  if (!Bytes.empty() && !DataHandler()->UnlockByteList(std::move(Bytes))) Fail(ecCannotUnlock);
}

bool TDataTable::IsRecordLocked(int32_t N) const {
  return N >= 1 && N <= LockedRecords->RecordCount && LockedRecords->GetBit(N);
}

void TDataTable::MarkCursorLock(int32_t N, const void* Cursor) {
  GrowBitmaps(Files->RecordCount() + 1);
  if (N > CursorLocks->RecordCount) CursorLocks->SetRecordCount(N);
  CursorLocks->SetBit(N);
  CursorLockOwners[N] = Cursor;
}

void TDataTable::UnmarkCursorLock(int32_t N) {
  if (N >= 1 && N <= CursorLocks->RecordCount) CursorLocks->ClearBit(N);
  CursorLockOwners.erase(N);
}

bool TDataTable::IsCursorLocked(int32_t N) const {
  return N >= 1 && N <= CursorLocks->RecordCount && CursorLocks->GetBit(N);
}

const void* TDataTable::CursorLockOwner(int32_t N) const {
  auto It = CursorLockOwners.find(N);
  return It == CursorLockOwners.end() ? nullptr : It->second;
}

bool TDataTable::TestRecordLock(int32_t N) {
  if (N <= 0) return false;
  if (IsRecordLocked(N)) return true;
  if (LocksSkipped()) return false;
  TFileHandler* D = DataHandler();
  if (D->LockBytes(RecordLockByte(N), 1, true)) {
    D->LockBytes(RecordLockByte(N), 1, false);
    return false;
  }
  return true;
}

bool TDataTable::LockSlot(int N) {
  if (N < 1 || N > kMaxLockSlot) return false;
  uint8_t Retries = 0;
  LastLockAttempts = 1;
  while (!DataHandler()->LockBytes(SlotLockByte(N), 1, true)) {
    ++Retries;
    if (Retries > LockRetryCount()) return false;
    EngineSleep(LockWaitTime());
    ++LastLockAttempts;
  }
  return true;
}

bool TDataTable::UnlockSlot(int N) {
  if (N < 1 || N > kMaxLockSlot) return false;
  return DataHandler()->LockBytes(SlotLockByte(N), 1, false);
}

// ---- Transactions ----------------------------------------------------------------------------------

void TDataTable::StartTransaction() {
  if (ReadOnly || InTransaction) return;
  if (Exclusive) Files->WriteAll();
  InTransaction = true;
  if (HeaderLocked) return;
  if (!LocksSkipped()) {
    if (!LockWithRetries(DataHandler(), kHeaderLockByte, 1)) {
      InTransaction = false;
      Fail(ecLockFailure);
    }
    HeaderLocked = true;
    try {
      if (JournalPending()) SettleJournal();
      CheckChanges();
    } catch (...) {
      InTransaction = false;
      ReleaseHeaderLock();
      throw;
    }
  } else {
    HeaderLocked = true;
  }
}

void TDataTable::AbandonChanges() {
  // Gathered writes go first: the headers are read again from what the files hold.
  for (TFileHandler* H : OpenHandlers()) {
    H->EndGather();
    if (PostDepth > 0) H->BeginGather();
  }
  for (TTableFileKind K : {TTableFileKind::Data, TTableFileKind::Index, TTableFileKind::Blob}) {
    if (K == TTableFileKind::Blob && !HasBlobFile()) continue;
    Files->DropCache(K);
    Files->ReloadHeader(K);
  }
}

void TDataTable::Rollback() {
  if (ReadOnly || !InTransaction) return;
  InTransaction = false;
  AbandonChanges();
  if (HeaderLocked) {
    if (LocksSkipped())
      HeaderLocked = false;
    else
      ReleaseHeaderLock();
  }
  if (!Exclusive) UnlockAllRecords(true);
}

void TDataTable::Commit(bool EndTransaction) { CommitTables({this}, EndTransaction); }

void TDataTable::CommitTables(const std::vector<TDataTable*>& Tables, bool EndTransaction) {
  std::vector<TDataTable*> List;
  for (TDataTable* T : Tables)
    if (!T->ReadOnly && T->InTransaction) List.push_back(T);
  if (List.empty()) return;
  std::vector<TDataTable*> Locked;
  std::vector<TFileHandler*> Gathered;
  std::vector<std::string> Held;
  TDataDirectory* Dir = nullptr;
  try {
    // Every table is locked before anything is written, so that no reader sees one table of the
    // transaction changed and another not yet.
    for (TDataTable* T : List) {
      T->WriteLockForCommit();
      Locked.push_back(T);
    }
    for (TDataTable* T : List) {
      if (T->Journalled()) {
        T->GatherAll(true);
        for (TFileHandler* H : T->OpenHandlers()) Gathered.push_back(H);
        for (const std::string& N : T->FileNames()) Held.push_back(N);
        Dir = T->Directory;
      }
      T->Files->WriteAll();
    }
    if (!Gathered.empty()) Dir->Journal()->Commit(Gathered, Held);
    for (TDataTable* T : List)
      if (!T->Journalled() && !T->InMemory && !T->Temporary && !T->ForceBufferFlush()) T->Files->SyncAll();
  } catch (...) {
    // Nothing of the commit is on the files: its changes are dropped, and a final commit ends the
    // transaction as a rollback would.
    for (TDataTable* T : List) {
      try {
        T->GatherAll(false);
        T->AbandonChanges();
      } catch (...) {
      }
    }
    for (TDataTable* T : Locked) {
      try {
        T->WriteUnlock();
      } catch (...) {
      }
    }
    if (EndTransaction) {
      for (TDataTable* T : List) {
        try {
          T->Rollback();
        } catch (...) {
        }
      }
    }
    throw;
  }
  const uint64_t ReleasedBefore = EngineReleasedBytes();
  for (TDataTable* T : List) {
    T->GatherAll(false);
    if (EndTransaction) T->InTransaction = false;
    // Everything is written: what the transaction made the caches grow to goes now, with the
    // commit that wrote it, rather than with the table's next close. So do the records it cached:
    // the next statement would otherwise free as many of them as the cache holds (a table taken
    // back after its close trusts nothing cached).
    T->Files->TrimCaches();
    T->Files->DropCache(TTableFileKind::Data);
  }
  for (TDataTable* T : List) {
    if (EndTransaction) {
      T->WriteUnlock();
      if (T->HeaderLocked) {
        if (T->LocksSkipped())
          T->HeaderLocked = false;
        else
          T->ReleaseHeaderLock();
      }
      if (!T->Exclusive) T->UnlockAllRecords(true);
    } else {
      if (!T->Exclusive) T->UnlockAllRecords(true);
      T->WriteUnlock();
    }
  }
  EngineHeapSettle(ReleasedBefore);
}

// ---- The journal -------------------------------------------------------------------------------------

bool TDataTable::Journalled() const {
  return !InMemory && !Temporary && Directory != nullptr && !Directory->IsMemory();
}

std::vector<TFileHandler*> TDataTable::OpenHandlers() {
  std::vector<TFileHandler*> R;
  for (TTableFileKind K : {TTableFileKind::Data, TTableFileKind::Index, TTableFileKind::Blob}) {
    TFileHandler* H = Files->Handler(K);
    if (H != nullptr && H->Opened) R.push_back(H);
  }
  return R;
}

void TDataTable::GatherAll(bool On) {
  for (TFileHandler* H : OpenHandlers()) {
    if (On)
      H->BeginGather();
    else
      H->EndGather();
  }
}

std::vector<std::string> TDataTable::FileNames() {
  std::string Base = JournalFileName(BaseName());
  return {Base + ".DAT", Base + ".IDX", Base + ".BLB"};
}

bool TDataTable::JournalPending() {
  if (!Journalled()) return false;
  return Directory->Journal()->Concerns(FileNames());
}

void TDataTable::GuardFiles() {
  TUnloggedChangeGuard* G = Journalled() ? Directory->Journal() : nullptr;
  for (TTableFileKind K : {TTableFileKind::Data, TTableFileKind::Index, TTableFileKind::Blob})
    if (TFileHandler* H = Files->Handler(K)) H->Guard = G;
}

void TDataTable::SettleJournal() {
  if (!Journalled()) return;
  // Tables of this directory whose locks this process holds are not locked again for the replay.
  std::vector<std::string> Held;
  for (TDataTable* T : Directory->Tables) {
    if (T != this && !(T->WriteLocked || T->HeaderLocked)) continue;
    for (const std::string& N : T->FileNames()) Held.push_back(N);
  }
  std::vector<std::string> Replayed = Directory->Journal()->Settle(Held);
  if (Replayed.empty()) return;
  // What this process cached of a replayed table may predate the replay.
  for (TDataTable* T : Directory->Tables) {
    if (!T->Opened || T->InTransaction) continue;
    for (const std::string& N : T->FileNames()) {
      if (std::none_of(Replayed.begin(), Replayed.end(), [&](const std::string& R) { return AnsiSameText(R, N); }))
        continue;
      for (TTableFileKind K : {TTableFileKind::Data, TTableFileKind::Index, TTableFileKind::Blob}) {
        TFileHandler* H = T->Files->Handler(K);
        if (H == nullptr || !H->Opened) continue;
        T->Files->DropCache(K);
        T->Files->ReloadHeader(K);
      }
      break;
    }
  }
}

void TDataTable::BeginPost() {
  if (PostDepth++ > 0) return;
  if (InTransaction || FilesReadOnly || ReadOnly || !Journalled()) return;
  GatherAll(true);
}

void TDataTable::CommitPost() {
  if (PostDepth == 0 || InTransaction || !Journalled()) return;
  std::vector<TFileHandler*> Handlers = OpenHandlers();
  bool Any = false;
  for (TFileHandler* H : Handlers) Any = Any || !H->Gathered().empty();
  if (!Any) return;
  std::vector<std::string> Held;
  for (TDataTable* T : Directory->Tables) {
    if (T != this && !(T->WriteLocked || T->HeaderLocked)) continue;
    for (const std::string& N : T->FileNames()) Held.push_back(N);
  }
  Directory->Journal()->Commit(Handlers, Held);
  for (TFileHandler* H : Handlers) {
    H->EndGather();
    H->BeginGather();
  }
}

void TDataTable::EndPost() {
  if (PostDepth == 0) return;
  if (PostDepth > 1) {
    --PostDepth;
    return;
  }
  // What a bracket changed without flushing it (a rebuilt index, a header) is committed as one change.
  try {
    if (!InTransaction && Journalled() && !FilesReadOnly && !ReadOnly) Files->WriteAll();
    CommitPost();
  } catch (...) {
    PostDepth = 0;
    GatherAll(false);
    AbandonChanges();
    throw;
  }
  PostDepth = 0;
  GatherAll(false);
}
