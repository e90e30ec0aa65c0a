// A small stand-in for the three table files, for tests of the open table, sessions and
// directories: each file is a 16-byte header (u32 change count at 0, version byte at 8, and in the
// data file the record count at 12) followed by nothing. Changes made through it stay in memory
// until WriteAll, like the caches of the real files, so transactions can be observed.
#pragma once

#include "dbengine/storage/data_table.h"

class TTestTableFiles : public TTableFiles {
 public:
  TTestTableFiles();
  ~TTestTableFiles() override;

  TFileHandler* Files[3];
  struct THeader {
    uint32_t ChangeCount = 0;
    uint8_t Version = 4;
    uint8_t HasBlobs = 0;
    int32_t RecordCount = 0;
  } Headers[3];
  bool Dirty = false;
  // The file set writes fail from now on (to test recovery from failed writes).
  bool FailWrites = false;

  TFileHandler* Handler(TTableFileKind Kind) override { return Files[static_cast<int>(Kind)]; }
  void NameFiles(const std::string& BaseName, bool InMemory, bool Exclusive, bool Temporary, bool SequentialAccess,
                 bool WriteThrough, const std::string& TableName) override;
  void OpenData() override;
  void OpenIndex() override;
  void RecreateIndex() override;
  bool DefinitionHasBlobs() override { return Headers[0].HasBlobs != 0; }
  void OpenBlob() override;
  void CloseAll() override;
  void CreateFiles(const TTableDefinition& Definition) override;
  bool HeaderChanged(TTableFileKind Kind) override;
  void ReloadHeader(TTableFileKind Kind) override;
  void DropCache(TTableFileKind Kind) override;
  void WriteAll() override;
  void SyncAll() override;
  int Version(TTableFileKind Kind) override { return Headers[static_cast<int>(Kind)].Version; }
  bool IsEncrypted() override { return false; }
  uint32_t ChangeCount(TTableFileKind Kind) override { return Headers[static_cast<int>(Kind)].ChangeCount; }
  int32_t RecordCount() override { return Headers[0].RecordCount; }

  // A change held in the cache until WriteAll.
  void AddRecords(int32_t N);

  THeader ReadHeader(int I);
  void WriteHeader(int I);
};

TTableFiles* MakeTestTableFiles();
// The test file set behind a table.
inline TTestTableFiles* TestFiles(TDataTable* T) { return static_cast<TTestTableFiles*>(T->Files); }
