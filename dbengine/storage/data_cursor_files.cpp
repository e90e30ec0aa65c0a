#include "dbengine/storage/data_cursor_files.h"

#include <cstring>

#include "dbengine/storage/engine_errors.h"

TTableFileAccess* TableFileAccess(TDataTable* Table) {
  TTableFileAccess* A = Table != nullptr ? dynamic_cast<TTableFileAccess*>(Table->Files) : nullptr;
  if (A == nullptr) RaiseEngineError(ecInvalidFileHandle, Table != nullptr ? Table->TableName : std::string());
  return A;
}

TCursorTableFiles::TCursorTableFiles() : Data(this), Index(this), Blob(this) { Index.Fields = this; }

TCursorTableFiles::~TCursorTableFiles() {
  try {
    CloseAll();
  } catch (...) {
  }
}

TTableFiles* MakeCursorTableFiles() { return new TCursorTableFiles(); }

const uint8_t* TCursorTableFiles::FieldDescriptor(uint16_t Number) {
  TFieldDescriptor* D = Data.FieldByNumber(Number);
  return D != nullptr ? D->Bytes : nullptr;
}

TFileHandler* TCursorTableFiles::Handler(TTableFileKind Kind) {
  switch (Kind) {
    case TTableFileKind::Data:
      return &Data;
    case TTableFileKind::Index:
      return &Index;
    case TTableFileKind::Blob:
      return &Blob;
  }
  return nullptr;
}

void TCursorTableFiles::NameFiles(const std::string& BaseName, bool InMemory, bool Exclusive, bool Temporary,
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

void TCursorTableFiles::SetCipher() {
  Index.Encrypted = Data.Encrypted();
  Blob.Encrypted = Data.Encrypted();
  Blob.SetBlockSize(Data.BlobBlockSize());
}

void TCursorTableFiles::OpenData() {
  Data.Open();
  SetCipher();
}

void TCursorTableFiles::OpenIndex() { Index.Open(); }

void TCursorTableFiles::RecreateIndex() {
  // A lost index file comes back without keys: the open table rebuilds the status keys and the
  // record count from the records; the user indexes are gone with the file.
  Index.CreateFile();
  Index.SetNoPrimaryIndex(true);
  Index.WriteHeader(true);
  Index.Close();
  Index.Open();
}

void TCursorTableFiles::OpenBlob() { Blob.Open(); }

void TCursorTableFiles::CloseAll() {
  if (Blob.Opened) Blob.Close();
  if (Index.Opened) Index.Close();
  if (Data.Opened) Data.Close();
}

void TCursorTableFiles::CreateFiles(const TTableDefinition& Definition) {
  std::vector<TFieldDescriptor> Fields(Definition.Fields.size());
  for (size_t I = 0; I < Fields.size(); ++I)
    std::memcpy(Fields[I].Bytes, Definition.Fields[I].data(), kFieldDescriptorSize);
  Data.CreateTable(Fields, Definition.BlobBlockSize, Definition.LanguageID, Definition.SortID, Definition.Encrypted,
                   Definition.Password, Definition.Description, Definition.UserMajorVersion,
                   Definition.UserMinorVersion);
  Data.WriteHeader(true);
  Data.WriteFieldDescriptors();
  SetCipher();
  Index.CreateFile();
  TIndexDescriptor D;
  if (!Definition.Indexes.empty()) std::memcpy(D.Bytes, Definition.Indexes[0].data(), kIndexDescriptorSize);
  Index.SetPrimaryIndex(D);
  for (size_t I = 1; I < Definition.Indexes.size(); ++I) {
    std::memcpy(D.Bytes, Definition.Indexes[I].data(), kIndexDescriptorSize);
    Index.AddIndex(D);
  }
  Index.WriteHeader(true);
  if (Definition.HasBlobFields()) {
    Blob.CreateFile();
    Blob.WriteHeader(true);
  }
}

bool TCursorTableFiles::HeaderChanged(TTableFileKind Kind) {
  switch (Kind) {
    case TTableFileKind::Data:
      return Data.HeaderChanged();
    case TTableFileKind::Index:
      return Index.HeaderChanged();
    case TTableFileKind::Blob:
      return Blob.Opened && Blob.HeaderChanged();
  }
  return false;
}

void TCursorTableFiles::ReloadHeader(TTableFileKind Kind) {
  // Cached items may be older than the header just read: another holder wrote since.
  switch (Kind) {
    case TTableFileKind::Data:
      Data.ReadHeader();
      Data.ClearCache();
      break;
    case TTableFileKind::Index:
      Index.ReadHeader();
      Index.ClearCache(true);
      break;
    case TTableFileKind::Blob:
      if (Blob.Opened) {
        Blob.ReadHeader();
        Blob.ClearCache();
      }
      break;
  }
}

void TCursorTableFiles::DropCache(TTableFileKind Kind) {
  switch (Kind) {
    case TTableFileKind::Data:
      Data.ClearCache();
      break;
    case TTableFileKind::Index:
      Index.ClearCache(true);
      break;
    case TTableFileKind::Blob:
      if (Blob.Opened) Blob.ClearCache();
      break;
  }
}

void TCursorTableFiles::WriteAll() {
  if (Data.Opened) {
    Data.FlushRecords();
    Data.WriteFieldDescriptors();
    Data.WriteHeader(false);
  }
  if (Index.Opened) {
    Index.FlushPages();
    Index.WriteHeader(false);
  }
  if (Blob.Opened) {
    Blob.FlushBlocks();
    Blob.WriteHeader(false);
  }
}

void TCursorTableFiles::SyncAll() {
  for (TFileHandler* F : {static_cast<TFileHandler*>(&Data), static_cast<TFileHandler*>(&Index),
                          static_cast<TFileHandler*>(&Blob)})
    if (F->Opened) F->Flush();
}

int TCursorTableFiles::Version(TTableFileKind Kind) {
  switch (Kind) {
    case TTableFileKind::Data:
      return Data.Version();
    case TTableFileKind::Index:
      return Index.Version();
    case TTableFileKind::Blob:
      return Blob.Version();
  }
  return 0;
}

uint32_t TCursorTableFiles::ChangeCount(TTableFileKind Kind) {
  switch (Kind) {
    case TTableFileKind::Data:
      return Data.ChangeCount();
    case TTableFileKind::Index:
      return Index.ChangeCount();
    case TTableFileKind::Blob:
      return Blob.Opened ? Blob.ChangeCount() : 0;
  }
  return 0;
}
