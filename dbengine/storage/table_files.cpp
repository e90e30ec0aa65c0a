#include "dbengine/storage/table_files.h"

#include <cstring>

#include "dbengine/storage/data_session.h"
#include "dbengine/storage/engine_errors.h"

TTableFiles* MakeTableFiles() { return new TTableFileSet(); }

void RegisterTableFiles() { SetTableFilesFactory(MakeTableFiles); }

TTableFileSet::TTableFileSet() : Data(this), Index(this), Blob(this) { Index.Fields = this; }

TTableFileSet::~TTableFileSet() {
  try {
    CloseAll();
  } catch (...) {
  }
}

void TTableFileSet::BindTable(TDataTable* T) {
  Table = T;
  // A temporary table (a statement's result) keeps its copies within a budget of its own: written
  // once and read in order, it would only take the room of the database's tables.
  TLookupBudget* Budget = nullptr;
  if (T != nullptr && !T->Temporary && T->Directory != nullptr && T->Directory->Session != nullptr)
    Budget = &T->Directory->Session->LookupBudget;
  Data.DrawBlocksOn(Budget);
  Index.DrawKeptPagesOn(Budget);
}

bool TTableFileSet::ChangedBeforeRead(TDataCursor* Cursor) {
  return OnChangedBeforeRead ? OnChangedBeforeRead(Cursor) : false;
}

bool TTableFileSet::Repairing(TDataCursor* Cursor) const { return OnRepairing ? OnRepairing(Cursor) : false; }

void TTableFileSet::RepairLog(TDataCursor* Cursor, const std::string& Text) {
  if (OnRepairLog) OnRepairLog(Cursor, Text);
}

const uint8_t* TTableFileSet::FieldDescriptor(uint16_t Number) {
  TFieldDescriptor* D = Data.FieldByNumber(Number);
  return D != nullptr ? D->Bytes : nullptr;
}

TFileHandler* TTableFileSet::Handler(TTableFileKind Kind) {
  switch (Kind) {
    case TTableFileKind::Data: return &Data;
    case TTableFileKind::Index: return &Index;
    case TTableFileKind::Blob: return &Blob;
  }
  return nullptr;
}

void TTableFileSet::NameFiles(const std::string& BaseName, bool InMemory, bool Exclusive, bool Temporary,
                              bool SequentialAccess, bool WriteThrough, const std::string& TableName) {
  static const char* const Exts[3] = {".DAT", ".IDX", ".BLB"};
  TFileHandler* Files[3] = {&Data, &Index, &Blob};
  for (int I = 0; I < 3; ++I) {
    Files[I]->FileName = BaseName + Exts[I];
    Files[I]->InMemory = InMemory;
    Files[I]->Exclusive = Exclusive;
    Files[I]->Temporary = Temporary;
    Files[I]->SequentialAccess = SequentialAccess;
    Files[I]->WriteThrough = WriteThrough;
    Files[I]->TableName = TableName;
  }
}

void TTableFileSet::FollowDataFile() {
  Index.Encrypted = Data.Encrypted();
  Blob.Encrypted = Data.Encrypted();
  Blob.SetBlockSize(Data.BlobBlockSize());
}

void TTableFileSet::OpenData() {
  Data.Open();
  FollowDataFile();
  FChanged = false;
}

void TTableFileSet::OpenIndex() {
  Index.Open();
  try {
    Index.VerifyIndexFile();
  } catch (...) {
    Index.Close();
    throw;
  }
}

void TTableFileSet::RecreateIndex() {
  // The new file has no keys and no primary index; the cursor that opens the table rebuilds the
  // deleted-records index and the record count from the records.
  Index.CreateFile();
  Index.SetNoPrimaryIndex(true);
  Index.WriteHeader(true);
  Index.Close();
  Index.Open();
}

void TTableFileSet::OpenBlob() { Blob.Open(); }

void TTableFileSet::CloseAll() {
  DropParked();
  Data.SetBlocksIdle(false);
  Index.SetKeptPagesIdle(false);
  if (Blob.Opened) Blob.Close();
  if (Index.Opened) Index.Close();
  if (Data.Opened) Data.Close();
  FChanged = false;
}

void TTableFileSet::DropParked() {
  if (!(Data.Parked || Index.Parked || Blob.Parked)) return;
  // The files' own Close needs them open; a parked handle is closed by the handler alone.
  if (Blob.Parked) {
    Blob.TFileHandler::Close();
    Blob.ClearCache();
  }
  if (Index.Parked) {
    Index.TFileHandler::Close();
    Index.ClearCache(true);
  }
  if (Data.Parked) {
    Data.TFileHandler::Close();
    Data.ClearCache();
    Data.Fields.clear();
    Data.DescriptorsChanged = false;
  }
}

void TTableFileSet::VerifyHeaders() {
  Data.VerifyStructure();
  Index.VerifyIndexFile();
}

void TTableFileSet::TrimCaches() {
  if (Data.Opened) Data.TrimCache();
  if (Index.Opened) Index.TrimCache(true);
  if (Blob.Opened) Blob.TrimCache();
}

bool TTableFileSet::Park() {
  if (!Data.Opened || !Index.Opened || FChanged || Data.Dirty() || Data.DescriptorsChanged || Index.Dirty() ||
      (Blob.Opened && Blob.Dirty()))
    return false;
  TFileHandler* Files[3] = {&Data, &Index, &Blob};
  for (TFileHandler* F : Files) {
    if (!F->Opened) continue;
    if (!F->Park()) return false;
  }
  // An idle table keeps its caches at their usual size for the next statement (see Resume), and
  // the clean copies kept for lookups as long as the tables in use leave it their room in the
  // session's budget.
  TrimCaches();
  Data.SetBlocksIdle(true);
  Index.SetKeptPagesIdle(true);
  return true;
}

bool TTableFileSet::WrittenWhileParked() const {
  return Data.WrittenWhileParked || Index.WrittenWhileParked || (Blob.Opened && Blob.WrittenWhileParked);
}

bool TTableFileSet::Resume() {
  for (TFileHandler* F : {static_cast<TFileHandler*>(&Data), static_cast<TFileHandler*>(&Index),
                          static_cast<TFileHandler*>(&Blob)})
    if (F->Parked && !F->Unpark()) return false;
  if (!Data.Opened || !Index.Opened) return false;
  Data.SetBlocksIdle(false);
  Index.SetKeptPagesIdle(false);
  // The handles still name the same files (Unpark checks that under the open-mode lock, and the
  // descriptors keep the files alive, so no other file can take their identity). Files nobody
  // wrote meanwhile are as they were: what is cached of them, their headers and descriptors stay.
  // A write by the engine's writers after this is found by the change check of the next lock,
  // which comes before anything is read, as for a table that stayed open. A file written meanwhile
  // (by anyone, also without the engine, whose writes no change counter shows) has everything
  // cached of it dropped and its header checked.
  if (!WrittenWhileParked()) {
    FChanged = false;
    return true;
  }
  Data.ClearCache();
  Index.ClearCache(true);
  if (Blob.Opened) Blob.ClearCache();
  try {
    // A header that changed in anything that shapes the records, or changed descriptors, means the
    // table was restructured: it is opened afresh. This read takes no lock: a header caught half
    // written only looks restructured, which costs a fresh open and nothing else.
    uint8_t Disk[kDataHeaderSize];
    Data.ReadAt(0, Disk, kDataHeaderSize);
    Disk[kDatDirty] = 0;
    if (std::memcmp(Disk, Data.Header, kDataHeaderSize) != 0) {
      struct TSpan {
        int Offset, Length;
      };
      static const TSpan Shape[] = {{kDatBlobBlockSize, 4}, {kDatVersion, 1},       {kDatRecordSize, 2},
                                    {kDatFieldCount, 2},    {kDatBlobFieldCount, 2}, {kDatEncrypted, 1},
                                    {kDatPassword, 16},     {kDatLanguageId, 2},     {kDatSortId, 2}};
      for (const TSpan& S : Shape)
        if (std::memcmp(Disk + S.Offset, Data.Header + S.Offset, static_cast<size_t>(S.Length)) != 0) return false;
      std::vector<TFieldDescriptor> Known = Data.Fields;
      Data.ReadFieldDescriptors();
      if (Known.size() != Data.Fields.size()) return false;
      for (size_t I = 0; I < Known.size(); ++I)
        if (std::memcmp(Known[I].Bytes, Data.Fields[I].Bytes, kFieldDescriptorSize) != 0) return false;
    }
  } catch (const EVXDBEngineError&) {
    return false;
  }
  FChanged = false;
  return true;
}

void TTableFileSet::CreateFiles(const TTableDefinition& Definition) {
  std::vector<TFieldDescriptor> Fields(Definition.Fields.size());
  for (size_t I = 0; I < Fields.size(); ++I)
    std::memcpy(Fields[I].Bytes, Definition.Fields[I].data(), kFieldDescriptorSize);
  Data.CreateTable(Fields, Definition.BlobBlockSize, Definition.LanguageID, Definition.SortID, Definition.Encrypted,
                   Definition.Password, Definition.Description, Definition.UserMajorVersion,
                   Definition.UserMinorVersion);
  FollowDataFile();
  Index.CreateFile();
  TIndexDescriptor D;
  if (!Definition.Indexes.empty()) std::memcpy(D.Bytes, Definition.Indexes[0].data(), kIndexDescriptorSize);
  Index.SetPrimaryIndex(D);
  for (size_t I = 1; I < Definition.Indexes.size(); ++I) {
    std::memcpy(D.Bytes, Definition.Indexes[I].data(), kIndexDescriptorSize);
    Index.AddIndex(D);
  }
  if (Definition.HasBlobFields()) Blob.CreateFile();
  FChanged = true;
  WriteAll();
}

bool TTableFileSet::HeaderChanged(TTableFileKind Kind) {
  switch (Kind) {
    case TTableFileKind::Data: return Data.HeaderChanged();
    case TTableFileKind::Index: return Index.HeaderChanged();
    case TTableFileKind::Blob: return Blob.Opened && Blob.HeaderChanged();
  }
  return false;
}

void TTableFileSet::ReloadHeader(TTableFileKind Kind) {
  // A header read anew may be another holder's: items cached before it may be older.
  switch (Kind) {
    case TTableFileKind::Data:
      if (!Data.Opened) return;
      Data.ReadHeader();
      Data.ClearCache();
      break;
    case TTableFileKind::Index:
      if (!Index.Opened) return;
      Index.ReadHeader();
      Index.ClearCache(true);
      break;
    case TTableFileKind::Blob:
      if (!Blob.Opened) return;
      Blob.ReadHeader();
      Blob.ClearCache();
      break;
  }
  FChanged = false;
}

void TTableFileSet::DropCache(TTableFileKind Kind) {
  switch (Kind) {
    case TTableFileKind::Data:
      if (Data.Opened) Data.ClearCache();
      break;
    case TTableFileKind::Index:
      if (Index.Opened) Index.ClearCache(true);
      break;
    case TTableFileKind::Blob:
      if (Blob.Opened) Blob.ClearCache();
      break;
  }
}

void TTableFileSet::WriteAll() {
  if (!Data.Opened) return;
  bool BlobOpen = Blob.Opened;
  bool Any = FChanged || Data.Dirty() || Data.DescriptorsChanged || (Index.Opened && Index.Dirty()) ||
             (BlobOpen && Blob.Dirty());
  // Items first, so that no header ever names an item that is not written yet.
  Data.FlushRecords();
  if (Index.Opened) Index.FlushPages();
  if (BlobOpen) Blob.FlushBlocks();
  if (!(Any || FChanged)) return;
  Data.WriteFieldDescriptors();
  Data.WriteHeader(true);
  if (BlobOpen) Blob.WriteHeader(true);
  if (Index.Opened) Index.WriteHeader(true);
  FChanged = false;
}

void TTableFileSet::SyncAll() {
  for (TFileHandler* F : {static_cast<TFileHandler*>(&Data), static_cast<TFileHandler*>(&Index),
                          static_cast<TFileHandler*>(&Blob)})
    if (F->Opened) F->Flush();
}

int TTableFileSet::Version(TTableFileKind Kind) {
  switch (Kind) {
    case TTableFileKind::Data: return Data.Version();
    case TTableFileKind::Index: return Index.Version();
    case TTableFileKind::Blob: return Blob.Version();
  }
  return 0;
}

uint32_t TTableFileSet::ChangeCount(TTableFileKind Kind) {
  switch (Kind) {
    case TTableFileKind::Data: return Data.ChangeCount();
    case TTableFileKind::Index: return Index.ChangeCount();
    case TTableFileKind::Blob: return Blob.Opened ? Blob.ChangeCount() : 0;
  }
  return 0;
}

uint32_t TTableFileSet::SortRecords(const std::vector<int>& KeyFields, bool CaseInsensitive, bool Distinct, bool Group,
                                   const TSortGroupCallbacks& Callbacks, const std::string& TempDirectory) {
  uint32_t Rows = Data.SortRecords(KeyFields, CaseInsensitive, Distinct, Group, Callbacks, TempDirectory);
  if ((Distinct || Group) && Index.Opened) Index.SetRecordCount(Rows);
  return Rows;
}
