// The three files of an open table: the data file, the index file and (for tables with BLOB
// fields) the BLOB file, driven by the open table through TTableFiles. The set is the owner of
// its files: it tells them whether the table is inside a transaction, collects their "changed"
// notes and passes the cursor's change check and repair log through to the cursor layer.
//
// Writes go in the order that leaves the files most consistent if the process dies half-way:
// records, index pages and BLOB blocks first, then the headers, the index header last. Every
// write of changed items raises the change count of all three headers, so that another holder
// notices any change by the index header alone and drops its cached records.
#pragma once

#include <functional>
#include <string>

#include "dbengine/storage/blob_file.h"
#include "dbengine/storage/data_file.h"
#include "dbengine/storage/data_table.h"
#include "dbengine/storage/index_file.h"

class TTableFileSet : public TTableFiles, public TTableFileOwner, public TIndexFieldSource {
 public:
  TTableFileSet();
  ~TTableFileSet() override;
  TTableFileSet(const TTableFileSet&) = delete;
  TTableFileSet& operator=(const TTableFileSet&) = delete;

  TDataFile Data;
  TIndexFile Index;
  TBlobFile Blob;
  // The open table the files belong to (its transaction state); set by whoever opens it.
  TDataTable* Table = nullptr;
  // The cursor layer's read-lock-and-resync step and its repair mode and log.
  std::function<bool(TDataCursor* Cursor)> OnChangedBeforeRead;
  std::function<bool(TDataCursor* Cursor)> OnRepairing;
  std::function<void(TDataCursor* Cursor, const std::string& Text)> OnRepairLog;

  TDataFile* DataFile() { return &Data; }
  TIndexFile* IndexFile() { return &Index; }
  // nullptr when the table has no BLOB file open.
  TBlobFile* BlobFile() { return Blob.Opened ? &Blob : nullptr; }
  // Binds the open table; the clean copies the files keep for lookups draw on its session's budget
  // from then on (a temporary table's on budgets of their own).
  void BindTable(TDataTable* T);
  // Sorts the records (see TDataFile::SortRecords); with Distinct or Group the index file takes the
  // rows written as its record count.
  uint32_t SortRecords(const std::vector<int>& KeyFields, bool CaseInsensitive, bool Distinct, bool Group,
                       const TSortGroupCallbacks& Callbacks, const std::string& TempDirectory);
  // Items or headers changed since the last WriteAll.
  bool Changed() const { return FChanged; }

  // TTableFileOwner
  bool InTransaction() const override { return Table != nullptr && Table->InTransaction; }
  void MarkChanged() override { FChanged = true; }
  bool ChangedBeforeRead(TDataCursor* Cursor) override;
  bool Repairing(TDataCursor* Cursor) const override;
  void RepairLog(TDataCursor* Cursor, const std::string& Text) override;

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
  bool Park() override;
  bool Resume() override;
  bool WrittenWhileParked() const override;
  void TrimCaches() override;
  void VerifyHeaders() override;

 private:
  bool FChanged = false;
  // The index and BLOB files follow the data file's cipher and block size.
  void FollowDataFile();
  // Parked handles go, and with them everything cached of the files.
  void DropParked();
};

TTableFiles* MakeTableFiles();
// Makes TTableFileSet the file set of every table opened from now on.
void RegisterTableFiles();
