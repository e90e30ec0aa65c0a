// The three table files as a cursor reaches them: the data file with its records, the index file
// with its pages and the BLOB file. An open table holds its files behind the TTableFiles
// interface; a file set that also implements TTableFileAccess lets cursors read and write records
// and keys. TCursorTableFiles is such a file set built over TDataFile, TIndexFile and TBlobFile.
#pragma once

#include "dbengine/storage/blob_file.h"
#include "dbengine/storage/data_file.h"
#include "dbengine/storage/data_table.h"
#include "dbengine/storage/index_file.h"

class TTableFileAccess {
 public:
  virtual ~TTableFileAccess() = default;
  virtual TDataFile* DataFile() = 0;
  virtual TIndexFile* IndexFile() = 0;
  // nullptr when the table has no BLOB file open.
  virtual TBlobFile* BlobFile() = 0;
  // The open table the files belong to (transaction state); set when a cursor opens it.
  virtual void BindTable(TDataTable* Table) = 0;
};

// The file access of an open table; raises 0x2B06 when its file set does not offer one.
TTableFileAccess* TableFileAccess(TDataTable* Table);

class TCursorTableFiles : public TTableFiles,
                          public TTableFileAccess,
                          public TTableFileOwner,
                          public TIndexFieldSource {
 public:
  TCursorTableFiles();
  ~TCursorTableFiles() override;

  TDataFile Data;
  TIndexFile Index;
  TBlobFile Blob;
  TDataTable* Table = nullptr;

  // TTableFileAccess
  TDataFile* DataFile() override { return &Data; }
  TIndexFile* IndexFile() override { return &Index; }
  TBlobFile* BlobFile() override { return Blob.Opened ? &Blob : nullptr; }
  void BindTable(TDataTable* T) override { Table = T; }

  // TTableFileOwner
  bool InTransaction() const override { return Table != nullptr && Table->InTransaction; }

  // TIndexFieldSource
  const uint8_t* FieldDescriptor(uint16_t Number) override;

  // TTableFiles
  TFileHandler* Handler(TTableFileKind Kind) override;
  void NameFiles(const std::string& BaseName, bool InMemory, bool Exclusive, bool Temporary, bool SequentialAccess,
                 bool WriteThrough, const std::string& TableName) override;
  void OpenData() override;
  void OpenIndex() override;
  void RecreateIndex() override;
  bool DefinitionHasBlobs() override { return Data.BlobFieldCount() > 0; }
  void OpenBlob() override;
  void CloseAll() override;
  void CreateFiles(const TTableDefinition& Definition) override;
  bool HeaderChanged(TTableFileKind Kind) override;
  void ReloadHeader(TTableFileKind Kind) override;
  void DropCache(TTableFileKind Kind) override;
  void WriteAll() override;
  void SyncAll() override;
  int Version(TTableFileKind Kind) override;
  bool IsEncrypted() override { return Data.Encrypted(); }
  uint32_t ChangeCount(TTableFileKind Kind) override;
  // The highest record number in use (the record bitmaps are sized by it).
  int32_t RecordCount() override { return static_cast<int32_t>(Data.NextRecord()) - 1; }

 private:
  void SetCipher();
};

TTableFiles* MakeCursorTableFiles();
