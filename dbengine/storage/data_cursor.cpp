// The cursor's life cycle, options, table-level operations, the read and write brackets with
// change detection, record and slot locks, field values and bookmarks.
#include "dbengine/storage/data_cursor.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "dbengine/storage/collation.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/data_cursor_internal.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/index_file.h"
#include "platform/core/sysutils.h"

// ---- Changes made in this process ------------------------------------------------------------------
// Cursors of one process share a table's caches; a change made through one of them is seen by the
// others through this per-table generation (the file change counters move only when written).

namespace {
std::mutex GGenerationLock;
std::unordered_map<const TDataTable*, uint64_t> GGenerations;
}  // namespace

uint64_t TableGeneration(const TDataTable* Table) {
  std::lock_guard<std::mutex> L(GGenerationLock);
  auto It = GGenerations.find(Table);
  return It == GGenerations.end() ? 0 : It->second;
}

void BumpTableGeneration(const TDataTable* Table) {
  std::lock_guard<std::mutex> L(GGenerationLock);
  ++GGenerations[Table];
}

// ---- Creation and options ----------------------------------------------------------------------------

TDataCursor::TDataCursor(TDataDirectory* Dir) : Directory(Dir) {
  for (auto& B : Bitmaps) B = GetRecordsBitmap();
}

TDataCursor::~TDataCursor() {
  try {
    Close();
  } catch (...) {
  }
  FreeFilters();
  for (auto& B : Bitmaps) PutRecordsBitmap(B);
  delete[] RangeStartKey;
  delete[] RangeEndKey;
}

void TDataCursor::Fail(uint16_t Code, const std::string& Field, const std::string& Index) const {
  RaiseEngineError(Code, TableName, Field, Index);
}

void TDataCursor::CheckClosed() {
  if (Active) Fail(ecTableInUse);
}
void TDataCursor::CheckExclusive() {
  if (!Exclusive) Fail(ecNeedExclusive);
}
void TDataCursor::CheckWritable() {
  if (ReadOnly) Fail(ecAccessDenied);
}

void TDataCursor::SetTableName(const std::string& Name) {
  CheckClosed();
  std::string N = Trim(Name);
  if (!(N.size() >= 4 && SameText(N.substr(N.size() - 4), ".DAT"))) N += ".DAT";
  if (N != TableName) TableName = N;
}

#define VX_CURSOR_FLAG_SETTER(Method, Member) \
  void TDataCursor::Method(bool B) {          \
    CheckClosed();                            \
    if (Member != B) Member = B;              \
  }
VX_CURSOR_FLAG_SETTER(SetExclusive, Exclusive)
VX_CURSOR_FLAG_SETTER(SetCloned, Cloned)
VX_CURSOR_FLAG_SETTER(SetReadOnly, ReadOnly)
VX_CURSOR_FLAG_SETTER(SetInMemory, InMemory)
VX_CURSOR_FLAG_SETTER(SetQuerySource, QuerySource)
VX_CURSOR_FLAG_SETTER(SetTemporary, Temporary)
VX_CURSOR_FLAG_SETTER(SetSequentialScan, SequentialScan)
#undef VX_CURSOR_FLAG_SETTER

void TDataCursor::SetNoAutoInc(bool B) {
  if (HasAutoInc) NoAutoInc = B;
}

void TDataCursor::FindFiles() {
  FFileSet = nullptr;
  TTableFileSet* Set = TableFileAccess(Table);
  FDataFile = Set->DataFile();
  FIndexFile = Set->IndexFile();
  FFilesSeen = Table->Files;
  FFileSet = Set;
}

const uint8_t* TDataCursor::FieldByNumber(int Number) {
  TFieldDescriptor* D = DataFile()->FieldByNumber(Number);
  return D != nullptr ? D->Bytes : nullptr;
}

std::vector<const uint8_t*> TDataCursor::PhysicalFields() {
  std::vector<const uint8_t*> R;
  for (const TFieldDescriptor& D : DataFile()->Fields) R.push_back(D.Bytes);
  return R;
}

// ---- Open and close ------------------------------------------------------------------------------------

void TDataCursor::Open() {
  if (Active) return;
  FFileSet = nullptr;
  if (Directory == nullptr) Fail(ecInvalidPath);
  FieldDescs.clear();
  TDataTable* T = nullptr;
  int R;
  try {
    R = Directory->OpenTable(TableName, T, Temporary, SequentialScan, InMemory, Cloned, Exclusive);
  } catch (...) {
    // A table whose files failed to open is taken off the list again (a listed table that was
    // reopened for this cursor alone is found by name: nobody else holds it).
    if (T == nullptr) T = Directory->FindTable(TableName, InMemory);
    if (T != nullptr && T->RefCount == 1) {
      try {
        Directory->CloseTable(T, true);
      } catch (...) {
      }
    }
    throw;
  }
  if (R < 0) Fail(static_cast<uint16_t>(-R));
  Table = T;
  FilesReadOnly = Table->FilesReadOnly;
  if (FilesReadOnly) ReadOnly = true;
  Active = true;
  try {
    TTableFileSet* Access = TableFileAccess(Table);
    Access->BindTable(Table);
    Access->IndexFile()->KeyCompare = [](TDataCursor* C, const TPage& Page, const uint8_t* EntryKey,
                                         const uint8_t* SearchKey, int Length) {
      if (C != nullptr) return C->ComparePageKeys(Page, EntryKey, SearchKey, Length);
      int Cmp = CompareBuffers(EntryKey, SearchKey, Length, false);
      return Page.Descending && Page.Slot != kSysDeletedSlot ? -Cmp : Cmp;
    };
    Access->IndexFile()->KeyBytewise = [](TDataCursor* C, int Slot) {
      return C == nullptr || C->BytewiseKeyOrder(static_cast<uint8_t>(Slot));
    };
    if (Table->RefCount == 1 && !Restructuring) {
      bool Took = !Table->ReadLocked;
      Table->ReadLock();
      Took = Took && Table->ReadLocked;
      try {
        Table->CheckVersion();
      } catch (...) {
        if (Took) Table->ReadUnlock();
        throw;
      }
      // A cursor that is read at once keeps the lock: what its open reads next (the order's range
      // or visible set) and its first reads then come from the state this check saw, without a
      // second change check.
      if (Took && HoldOpenLock)
        FHoldingReadLock = true;
      else if (Took)
        Table->ReadUnlock();
    }
    TDataFile* D = DataFile();
    if (D->Encrypted()) CheckPassword(D->Password());
    LanguageID = D->LanguageId();
    SortID = D->SortId();
    GetCharMap(LanguageID, SortID, CollationMap);
    FieldCount = static_cast<uint16_t>(D->FieldCount());
    RecordBufferSize = static_cast<uint16_t>(D->RecordSize());
    FieldDescs.assign(D->Fields.begin(), D->Fields.end());
    for (const TFieldDescriptor& F : FieldDescs) {
      if (F.IsAutoInc()) HasAutoInc = true;
      if (F.Required() || !F.Minimum().empty() || !F.Maximum().empty()) HasValidityChecks = true;
      if (!F.Default().empty()) HasDefaults = true;
    }
    CurrentRecord.assign(RecordBufferSize, 0);
    SequenceNumber = 1;
    RangeFirst = 1;
    RangeLast = static_cast<int32_t>(IndexFile()->GetRecordCount());
    VisibleCount = 0;
    RangeActive = false;
    // The range keys stay with the cursor from its first open on.
    if (RangeStartKey == nullptr) {
      RangeStartKey = new uint8_t[kCursorKeyBufferSize]();
      RangeEndKey = new uint8_t[kCursorKeyBufferSize]();
    }
    BitmapOrder = false;
    AtEOF = AtBOF = false;
    if (Table->IndexRecreated) RebuildStatusIndex();
    StoreChangeCounts();
    if (QuerySource) {
      // Its plan sets the order and range it reads in before it reads a row. Until then it stands
      // before its first row in an order that costs nothing to set up: an index order (the range of
      // index positions), not natural order, whose visible set spans the whole table.
      SetIndexNo(OpenIndexNo >= 0 ? static_cast<uint8_t>(OpenIndexNo) : FirstKeyedOrder());
      AtBOF = true;
      SequenceNumber = 0;
    } else {
      SetIndexNo(OpenIndexNo >= 0 ? static_cast<uint8_t>(OpenIndexNo) : 0);
      MoveToBegin();
    }
  } catch (...) {
    try {
      Close();
    } catch (...) {
    }
    throw;
  }
}

void TDataCursor::CheckPassword(const std::string& Stored) {
  TDataSession* S = Directory->Session;
  for (;;) {
    if (S != nullptr && S->HasPassword(Stored)) return;
    if (!OnPasswordRequest || !OnPasswordRequest(this)) Fail(ecNoRights);
  }
}

void TDataCursor::RebuildStatusIndex() {
  // The index file had to be made anew: every record slot gets its status key back and the live
  // records are counted again.
  BeginWrite();
  try {
    TDataFile* D = DataFile();
    TIndexFile* X = IndexFile();
    X->SetRecordCount(0);
    std::vector<uint8_t> Image;
    uint8_t Key[kCursorKeyBufferSize];
    for (uint32_t N = 1; N < D->NextRecord(); ++N) {
      if (!ReadRecordImage(N, Image)) continue;
      if (Image[0] == 0) X->IncRecordCount();
      BuildStatusKey(Image.data(), Key);
      InsertKeyInto(kStatusIndex, Key, N);
    }
    X->WriteHeader(true);
    Table->IndexRecreated = false;
  } catch (...) {
    EndWrite();
    throw;
  }
  EndWrite();
}

void TDataCursor::Close() {
  if (!Active) return;
  FFileSet = nullptr;
  FreeBlobs(true);
  FreeFilters();
  FVisibleKeys.clear();
  FCalculations.clear();
  BitmapOrder = false;
  for (auto& B : Bitmaps) B->ClearAll();
  RangeActive = false;
  CurrentRecord.clear();
  SequenceNumber = 0;
  CurrentRecordNumber = 0;
  RangeFirst = RangeLast = VisibleCount = 0;
  AtEOF = AtBOF = false;
  HasValidityChecks = HasDefaults = HasComputedFields = HasAutoInc = false;
  FieldDescs.clear();
  LanguageID = SortID = FieldCount = RecordBufferSize = 0;
  FReadDepth = FWriteDepth = 0;
  TDataTable* T = Table;
  Table = nullptr;
  Active = false;
  FPendingLocks.clear();
  if (T != nullptr) {
    // Record locks this cursor still holds go with it.
    std::vector<int32_t> Held;
    for (const auto& [N, Owner] : T->CursorLockOwners)
      if (Owner == this) Held.push_back(N);
    for (int32_t N : Held) {
      try {
        T->UnlockRecord(N);
      } catch (...) {
      }
      T->UnmarkCursorLock(N);
    }
    if ((FTookReadLock || FHoldingReadLock) && T->ReadLocked) T->ReadUnlock();
    FHoldingReadLock = false;
    if (FTookWriteLock && T->WriteLocked) T->WriteUnlock();
    FTookReadLock = FTookWriteLock = false;
    int R = Directory->CloseTable(T, true);
    if (R < 0) Fail(static_cast<uint16_t>(-R));
  }
}

// ---- Header values -------------------------------------------------------------------------------------

void TDataCursor::ReadClosedHeader(uint8_t* Header) {
  std::string Base = RemoveFileExt(TableName);
  std::string Name = (InMemory || Directory == nullptr) ? Base : Directory->Path + Base;
  TFileHandler F(Name + ".DAT", InMemory);
  F.ReadOnly = true;
  F.TableName = TableName;
  F.Open();
  try {
    F.ReadAt(0, Header, kDataHeaderSize);
  } catch (...) {
    F.Close();
    throw;
  }
  F.Close();
  if (Header[kDatEncrypted] != 0) {
    uint8_t Pass[16];
    std::memcpy(Pass, Header + kDatPassword, 16);
    CipherDecode(Pass + 1, 15, kTableTextKeyLow, kTableTextKeyHigh);
    int Len = Pass[0] > 15 ? 15 : Pass[0];
    CheckPassword(std::string(reinterpret_cast<const char*>(Pass + 1), static_cast<size_t>(Len)));
  }
}

#define VX_CURSOR_HEADER_U16(Method, OpenExpr, Offset) \
  uint16_t TDataCursor::Method() {                     \
    if (Active) return OpenExpr;                       \
    uint8_t H[kDataHeaderSize];                        \
    ReadClosedHeader(H);                               \
    return LoadU16(H + (Offset));                      \
  }
VX_CURSOR_HEADER_U16(GetBlobBlockSize, static_cast<uint16_t>(DataFile()->BlobBlockSize()), kDatBlobBlockSize)
VX_CURSOR_HEADER_U16(GetLanguageID, DataFile()->LanguageId(), kDatLanguageId)
VX_CURSOR_HEADER_U16(GetSortID, DataFile()->SortId(), kDatSortId)
VX_CURSOR_HEADER_U16(GetUserMajorVersion, DataFile()->UserMajorVersion(), kDatUserMajor)
VX_CURSOR_HEADER_U16(GetUserMinorVersion, DataFile()->UserMinorVersion(), kDatUserMinor)
#undef VX_CURSOR_HEADER_U16

std::string TDataCursor::GetDescription() {
  if (Active) return DataFile()->Description();
  // The closed file's texts are deciphered by the data file itself: open it for reading alone.
  std::string Base = RemoveFileExt(TableName);
  std::string Name = (InMemory || Directory == nullptr) ? Base : Directory->Path + Base;
  uint8_t H[kDataHeaderSize];
  ReadClosedHeader(H);
  TDataFile F;
  F.FileName = Name + ".DAT";
  F.InMemory = InMemory;
  F.ReadOnly = true;
  F.TableName = TableName;
  F.Open();
  std::string S = F.Description();
  F.Close();
  return S;
}

bool TDataCursor::IsEncrypted() {
  if (Active) return DataFile()->Encrypted();
  uint8_t H[kDataHeaderSize];
  ReadClosedHeader(H);
  return H[kDatEncrypted] != 0;
}

// ---- Table-level operations ------------------------------------------------------------------------------

void TDataCursor::DeleteTable() {
  CheckClosed();
  int R = Directory->DeleteTable(TableName, InMemory);
  if (R < 0) Fail(static_cast<uint16_t>(-R));
}

void TDataCursor::RenameTable(const std::string& NewName) {
  CheckClosed();
  int R = Directory->RenameTable(TableName, NewName, false, InMemory);
  if (R < 0) Fail(static_cast<uint16_t>(-R));
}

void TDataCursor::EmptyTable() {
  CheckExclusive();
  CheckWritable();
  TTableFileSet* A = TableFileAccess(Table);
  A->DataFile()->EmptyTable();
  A->IndexFile()->EmptyIndexFile();
  if (TBlobFile* B = A->BlobFile()) B->EmptyBlobFile();
  Table->Files->WriteAll();
  BumpTableGeneration(Table);
  StoreChangeCounts();
  ClearRange();
  RebuildVisibleSet();
  MoveToBegin();
}

void TDataCursor::CreateTable(TCreateTableParams P) {
  CheckExclusive();
  CheckWritable();
  TDataSession* S = Directory->Session;
  bool AddedPassword = false;
  if (P.Encrypted && S != nullptr && !S->HasPassword(P.Password)) {
    S->AddPassword(P.Password);
    AddedPassword = true;
  }
  try {
    TTableDefinition Def;
    Def.Fields = std::move(P.Fields);
    Def.Indexes = std::move(P.Indexes);
    Def.Description = P.Description;
    Def.Encrypted = P.Encrypted;
    Def.Password = P.Password;
    Def.BlobBlockSize = P.BlobBlockSize;
    Def.LanguageID = P.LanguageID;
    Def.SortID = P.SortID;
    Def.UserMajorVersion = P.UserMajorVersion;
    Def.UserMinorVersion = P.UserMinorVersion;
    // The index file holds the primary index and 30 secondary ones.
    if (Def.Indexes.size() > static_cast<size_t>(kMaxTableIndexes)) Fail(ecIndexLimit);
    CheckTableDefinition(TableName, Def, LiveResult, true);
    if (Directory->TableExists(TableName, InMemory)) {
      if (!P.Overwrite) Fail(ecTableExists);
      int R = Directory->DeleteTable(TableName, InMemory);
      if (R < 0) Fail(static_cast<uint16_t>(-R));
    }
    TDataTable* T = nullptr;
    int R = Directory->CreateTable(TableName, T, Temporary, InMemory, Def);
    if (R < 0) Fail(static_cast<uint16_t>(-R));
    R = Directory->CloseTable(T, false);
    if (R < 0) Fail(static_cast<uint16_t>(-R));
  } catch (...) {
    if (AddedPassword) S->RemovePassword(P.Password);
    throw;
  }
  if (AddedPassword) S->RemovePassword(P.Password);
}

void TDataCursor::AddIndex(const std::array<uint8_t, 120>& Descriptor) {
  CheckExclusive();
  CheckWritable();
  TIndexDescriptor D;
  std::memcpy(D.Bytes, Descriptor.data(), kIndexDescriptorSize);
  int KeyLength = 0;
  int Fields = 0;
  for (; Fields < kMaxIndexFields && D.FieldNumber(Fields) != 0; ++Fields) {
    const uint8_t* F = FieldByNumber(D.FieldNumber(Fields));
    if (F == nullptr) Fail(ecInvalidIndexField, std::to_string(D.FieldNumber(Fields)), Trim(D.Name()));
    KeyLength += FieldDescDataSize(F) + 1;
  }
  if (!D.Unique()) KeyLength += 4;
  if (Fields == 0 || KeyLength > kMaxKeyBytes) Fail(ecInvalidKeySize, "", Trim(D.Name()));
  D.SetKeyLength(static_cast<uint16_t>(KeyLength));
  D.Bytes[kIndexDescFieldCountOffset] = static_cast<uint8_t>(Fields);
  TIndexFile* X = IndexFile();
  X->AddIndex(D);
  const int Slot = X->IndexCount();
  try {
    std::vector<uint8_t> Image;
    uint8_t Key[kCursorKeyBufferSize];
    for (uint32_t N = 1; N < DataFile()->NextRecord(); ++N) {
      if (!ReadRecordImage(N, Image) || Image[0] != 0) continue;
      BuildKeyFor(static_cast<uint8_t>(Slot), Image.data(), Key);
      // A duplicate in a unique index stops the build: no record is given up for an index.
      if (!InsertKeyInto(static_cast<uint8_t>(Slot), Key, N, true)) Fail(ecKeyViolation, "", Trim(D.Name()));
    }
  } catch (...) {
    try {
      IndexFreeTree(*X, this, Slot);
      X->RemoveIndex(Slot, true);
    } catch (...) {
    }
    throw;
  }
  BumpTableGeneration(Table);
  MoveToBegin();
}

void TDataCursor::DeleteIndex(const std::string& Name) {
  CheckExclusive();
  CheckWritable();
  TIndexFile* X = IndexFile();
  int Slot = 0;
  for (int S = 1; S <= X->IndexCount(); ++S)
    if (SameText(Trim(X->Descriptor(S)->Name()), Trim(Name))) Slot = S;
  if (Slot == 0) Fail(ecInvalidIndexName, "", Name);
  IndexFreeTree(*X, this, Slot);
  X->RemoveIndex(Slot, true);
  if (IndexNo == Slot)
    SetIndexNo(0);
  else if (IndexNo != kNaturalOrderIndex && IndexNo != kStatusIndex && IndexNo > Slot)
    SetIndexNo(static_cast<uint8_t>(IndexNo - 1));
  else
    SetIndexNo(IndexNo);
  BumpTableGeneration(Table);
  MoveToBegin();
}

// ---- Indexes
// -------------------------------------------------------------------------------------------------

int TDataCursor::GetIndexCount() {
  return IndexFile()->IndexCount();
}

uint8_t TDataCursor::FirstKeyedOrder() {
  if (!HasNoPrimaryKey()) return 0;
  return GetIndexCount() >= 1 ? 1 : kNaturalOrderIndex;
}

void TDataCursor::LoadIndexInfo() {
  const TIndexDescriptor* D = IndexFile()->Descriptor(IndexNo);
  IndexName = Trim(D->Name());
  KeySize = D->KeyLength();
  KeyFieldCount = D->FieldCount();
  IndexOptions = D->Compression();
  Descending = D->Descending();
  Unique = D->Unique() || IndexNo == 0;
  CaseInsensitive = D->CaseInsensitive();
}

void TDataCursor::SetIndexNo(uint8_t N) {
  if (N != kNaturalOrderIndex && N != kStatusIndex && N > GetIndexCount()) Fail(ecInvalidIndexName);
  IndexNo = N;
  if (IsNaturalOrder()) {
    BitmapOrder = true;
    if (N != kNaturalOrderIndex)
      LoadIndexInfo();
    else {
      IndexName.clear();
      KeySize = 0;
      KeyFieldCount = 0;
      Descending = Unique = CaseInsensitive = false;
    }
  } else {
    LoadIndexInfo();
  }
  // A new order has no range; its visible set is built at once.
  ClearRange();
  RebuildVisibleSet();
}

void TDataCursor::SwitchIndex(uint8_t N) {
  if (N == IndexNo) return;
  TReadBracket Bracket(this);
  std::vector<uint8_t> Saved;
  bool SavedBOF, SavedEOF;
  RememberPosition(Saved, SavedBOF, SavedEOF);
  uint32_t Record = CurrentRecordNumber;
  std::vector<uint8_t> Image = CurrentRecord;
  SetIndexNo(N);
  // The position is the same record in the new order.
  CurrentRecord = Image;
  CurrentRecordNumber = Record;
  AtBOF = SavedBOF;
  AtEOF = SavedEOF;
  Reposition();
}

void TDataCursor::SetIndexName(const std::string& Name) {
  if (SameText(Trim(Name), IndexName) && !IsNaturalOrder()) return;
  TReadBracket Bracket(this);
  TIndexFile* X = IndexFile();
  int Found = -1;
  for (int S = 0; S <= X->IndexCount(); ++S)
    if (SameText(Trim(X->Descriptor(S)->Name()), Trim(Name))) {
      Found = S;
      break;
    }
  if (Found < 0) Fail(ecInvalidIndexName, "", Name);
  SwitchIndex(static_cast<uint8_t>(Found));
}

void TDataCursor::GetIndexDesc(uint8_t N, uint8_t* Desc) {
  if (N == kNaturalOrderIndex) {
    std::memset(Desc, 0, kIndexDescriptorSize);
    return;
  }
  std::memcpy(Desc, IndexFile()->Descriptor(N)->Bytes, kIndexDescriptorSize);
}

// ---- Change detection and brackets
// ---------------------------------------------------------------------------

void TDataCursor::StoreChangeCounts() {
  DataChangeCount = Table->Files->ChangeCount(TTableFileKind::Data);
  IndexChangeCount = Table->Files->ChangeCount(TTableFileKind::Index);
  BlobChangeCount = Table->Files->ChangeCount(TTableFileKind::Blob);
  FGeneration = TableGeneration(Table);
}

bool TDataCursor::ChangeCountsDiffer() {
  bool Changed = DataChangeCount != Table->Files->ChangeCount(TTableFileKind::Data) ||
                 IndexChangeCount != Table->Files->ChangeCount(TTableFileKind::Index) ||
                 BlobChangeCount != Table->Files->ChangeCount(TTableFileKind::Blob) ||
                 FGeneration != TableGeneration(Table);
  if (Changed) StoreChangeCounts();
  return Changed;
}

void TDataCursor::AfterChange(bool Changed) {
  if (!Changed) return;
  std::vector<uint8_t> Saved;
  bool SavedBOF, SavedEOF;
  RememberPosition(Saved, SavedBOF, SavedEOF);
  if (!IsNaturalOrder()) LoadIndexInfo();
  RebuildVisibleSet();
  RestorePosition(Saved, SavedBOF, SavedEOF);
}

void TDataCursor::BeginRead() {
  if (FReadDepth++ > 0 || FWriteDepth > 0) return;
  try {
    bool Changed = false;
    if (!Exclusive && !FilesReadOnly) {
      // The read lock is taken in both change-detection modes: without it a page or record could
      // be read half-written by another process.
      bool Was = Table->ReadLocked;
      Changed = Table->ReadLock();
      FTookReadLock = !Was && Table->ReadLocked;
    }
    Changed = ChangeCountsDiffer() || Changed;
    AfterChange(Changed);
  } catch (...) {
    EndRead();
    throw;
  }
}

void TDataCursor::EndRead() {
  if (FReadDepth == 0) return;
  if (--FReadDepth > 0 || FWriteDepth > 0) return;
  if (FTookReadLock) {
    FTookReadLock = false;
    if (Table != nullptr) Table->ReadUnlock();
  }
}

void TDataCursor::BeginWrite() {
  if (FWriteDepth++ > 0) return;
  try {
    if (FTookReadLock) {
      FTookReadLock = false;
      Table->ReadUnlock();
    }
    bool Was = Table->WriteLocked;
    bool Changed = Table->WriteLock();
    FTookWriteLock = !Was && Table->WriteLocked;
    Table->BeginPost();
    FBeganPost = true;
    Changed = ChangeCountsDiffer() || Changed;
    AfterChange(Changed);
  } catch (...) {
    EndWrite();
    throw;
  }
}

void TDataCursor::EndWrite() {
  if (FWriteDepth == 0) return;
  if (--FWriteDepth > 0) return;
  if (FBeganPost && Table != nullptr) {
    FBeganPost = false;
    try {
      Table->EndPost();
    } catch (...) {
      if (FTookWriteLock) {
        FTookWriteLock = false;
        Table->WriteUnlock();
      }
      throw;
    }
  }
  if (FTookWriteLock) {
    FTookWriteLock = false;
    if (Table != nullptr) Table->WriteUnlock();
  }
}

void TDataCursor::Refresh() {
  TReadBracket Bracket(this);
  AfterChange(true);
}

// ---- Record and slot locks
// ------------------------------------------------------------------------------------

void TDataCursor::LockRecord(uint32_t RecordNo) {
  int32_t N = static_cast<int32_t>(RecordNo == 0 ? CurrentRecordNumber : RecordNo);
  if (N <= 0) Fail(ecRecordLocked);
  if (Table->IsCursorLocked(N)) {
    // The same cursor may lock its record again (editing a row twice); another cursor may not.
    if (Table->CursorLockOwner(N) == this) return;
    Fail(ecRecordLocked);
  }
  if (Table->IsRecordLocked(N)) {
    // Held by this process: only a lock this cursor gave back inside the running transaction.
    if (!(Table->InTransaction && FPendingLocks.count(N) != 0)) Fail(ecRecordLocked);
  }
  bool Changed = Table->LockRecord(N);
  Table->MarkCursorLock(N, this);
  FPendingLocks.erase(N);
  Changed = ChangeCountsDiffer() || Changed;
  AfterChange(Changed);
}

void TDataCursor::UnlockRecord(uint32_t RecordNo) {
  int32_t N = static_cast<int32_t>(RecordNo == 0 ? CurrentRecordNumber : RecordNo);
  const void* Owner = Table->CursorLockOwner(N);
  if (Owner != nullptr && Owner != this) Fail(ecCannotUnlock);
  Table->UnlockRecord(N);
  Table->UnmarkCursorLock(N);
  if (Table->InTransaction) FPendingLocks.insert(N);
}

bool TDataCursor::IsRecordLocked() {
  return Table->TestRecordLock(static_cast<int32_t>(CurrentRecordNumber));
}

bool TDataCursor::LockSlot(int N) {
  return Table->LockSlot(N);
}

void TDataCursor::UnlockSlot(int N) {
  if (!Table->UnlockSlot(N)) Fail(ecCannotUnlock);
}

// ---- Field values
// ---------------------------------------------------------------------------------------------

int TDataCursor::GetRecordSize() {
  return DataFile()->RecordSize();
}

const uint8_t* TDataCursor::MapEntry(int FieldNo) {
  if (FieldNo < 1 || FieldNo > FieldCount) Fail(ecInvalidField, std::to_string(FieldNo));
  return FieldDescs[static_cast<size_t>(FieldNo - 1)].Bytes;
}

void TDataCursor::GetFieldDesc(int FieldNo, uint8_t* Desc) {
  std::memcpy(Desc, MapEntry(FieldNo), kFieldDescriptorSize);
}

void TDataCursor::GetField(int FieldNo, const uint8_t* Buffer, bool& IsBlank, void* Dest) {
  GetFieldValue(MapEntry(FieldNo), Buffer, IsBlank, Dest, [this](int32_t L) { return OpenBlobSize(L); });
}

void TDataCursor::PutField(int FieldNo, uint8_t* Buffer, bool Internal, const void* Source) {
  PutFieldValue(MapEntry(FieldNo), Buffer, Source, Internal, LanguageID, SortID,
                [this](int32_t L) { return OpenBlobSize(L); });
}

// ---- Bookmarks
// --------------------------------------------------------------------------------------------------

int TDataCursor::GetBookmarkSize() {
  return IsNaturalOrder() ? 4 : KeySize;
}

void TDataCursor::GetBookmark(uint8_t* Bookmark) {
  if (IsNaturalOrder()) {
    StoreU32(Bookmark, (AtBOF || AtEOF) ? 0 : CurrentRecordNumber);
    return;
  }
  if (AtBOF || AtEOF)
    std::memset(Bookmark, 0, KeySize);
  else
    std::memcpy(Bookmark, CurrentKey, KeySize);
}

int TDataCursor::CompareBookmarks(const uint8_t* B1, const uint8_t* B2) {
  if (IsNaturalOrder()) {
    uint32_t A = LoadU32(B1), B = LoadU32(B2);
    return A < B ? -1 : (A > B ? 1 : 0);
  }
  return CompareKeys(B1, B2, KeySize);
}

bool TDataCursor::SetToBookmark(const uint8_t* Bookmark, bool Exact, bool NoBracket) {
  if (!NoBracket) BeginRead();
  bool Result = false;
  try {
    if (IsNaturalOrder()) {
      CurrentRecordNumber = LoadU32(Bookmark);
      AtBOF = AtEOF = false;
      Reposition();
    } else {
      SearchKey(Bookmark, true);
      ReadCurrentRecord();
    }
    if (!VisibleEmpty()) {
      if (Exact) {
        Result = true;
      } else {
        std::vector<uint8_t> Reached(static_cast<size_t>(GetBookmarkSize()) + 4);
        GetBookmark(Reached.data());
        Result = !AtBOF && !AtEOF && CompareBookmarks(Reached.data(), Bookmark) == 0 &&
                 (IsNaturalOrder() || std::memcmp(Reached.data(), Bookmark, KeySize) == 0);
      }
    }
  } catch (...) {
    if (!NoBracket) EndRead();
    throw;
  }
  if (!NoBracket) EndRead();
  return Result;
}

void TDataCursor::RememberPosition(std::vector<uint8_t>& Saved, bool& SavedBOF, bool& SavedEOF) {
  Saved.assign(static_cast<size_t>(kCursorKeyBufferSize), 0);
  SavedBOF = AtBOF;
  SavedEOF = AtEOF;
  if (!(AtBOF || AtEOF)) GetBookmark(Saved.data());
}

void TDataCursor::RestorePosition(const std::vector<uint8_t>& Saved, bool SavedBOF, bool SavedEOF) {
  if (VisibleEmpty()) {
    SetEmptyPosition();
    ReadCurrentRecord();
  } else if (SavedBOF) {
    MoveFirst();
    MoveBy(-1);
    ReadCurrentRecord();
  } else if (SavedEOF) {
    MoveLast();
    MoveBy(1);
    ReadCurrentRecord();
  } else {
    SetToBookmark(Saved.data(), true, true);
  }
}

void TDataCursor::HoldReadLock() {
  if (FHoldingReadLock || Exclusive || FilesReadOnly) return;
  bool Was = Table->ReadLocked;
  bool Changed = Table->ReadLock();
  FHoldingReadLock = !Was && Table->ReadLocked;
  AfterChange(ChangeCountsDiffer() || Changed);
}

void TDataCursor::ReleaseReadLock() {
  if (!FHoldingReadLock) return;
  FHoldingReadLock = false;
  Table->ReadUnlock();
}

// ---- Table information and index descriptors
// ----------------------------------------------------------------

void TDataCursor::SetTableInfo(const std::string& Description, const std::string& Password,
                               uint32_t LastAutoInc, uint16_t UserMajor, uint16_t UserMinor) {
  CheckWritable();
  BeginWrite();
  try {
    DataFile()->SetTableInfo(Description, Password, LastAutoInc, UserMajor, UserMinor);
    FlushChanges();
  } catch (...) {
    EndWrite();
    throw;
  }
  EndWrite();
}

void TDataCursor::SetIndexDescriptor(uint8_t N, const uint8_t* Desc) {
  TIndexDescriptor D;
  std::memcpy(D.Bytes, Desc, kIndexDescriptorSize);
  IndexFile()->SetIndexDescriptor(N, D);
  if (N == IndexNo) LoadIndexInfo();
}

void TDataCursor::RenameIndex(uint8_t N, const std::string& Name, const uint16_t* FieldNumbers) {
  IndexFile()->RenameIndex(N, Name, FieldNumbers);
  if (N == IndexNo) LoadIndexInfo();
}

void TDataCursor::BackupTable() {
  CheckClosed();
  int R = Directory->RenameTable(TableName, TableName, true, InMemory);
  if (R < 0) Fail(static_cast<uint16_t>(-R));
}
