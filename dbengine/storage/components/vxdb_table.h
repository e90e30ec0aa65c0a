// The table component: one engine table of its database's directory, an index chosen by name or
// by fields, a master dataset it follows, its field and index definitions, and the lock slots and
// record-lock test that running copies of the program use to coordinate.
#pragma once

#include <string>

#include "dbengine/storage/components/vxdb_dataset.h"

class TVXDBTable : public TVXDBDBDataSet {
 public:
  explicit TVXDBTable(TComponent* AOwner);
  ~TVXDBTable() override;
  std::string ClassName() const override { return "TVXDBTable"; }

  std::string EngineVersion() const { return "2.08"; }
  void SetEngineVersion(const std::string&) {}
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  bool InMemory() const { return FInMemory; }
  void SetInMemory(bool Value);
  const std::string& TableName() const { return FTableName; }
  // A name with a folder sets the database to that folder (unless the table is in memory).
  void SetTableName(const std::string& Value);
  std::string IndexName() const { return FIndexByFields ? std::string() : FIndexText; }
  void SetIndexName(const std::string& Value) { SetIndex(Value, false); }
  std::string IndexFieldNames() const { return FIndexByFields ? FIndexText : std::string(); }
  void SetIndexFieldNames(const std::string& Value) { SetIndex(Value, true); }
  TDataSource* MasterSource() const { return FMasterLink->DataSource(); }
  void SetMasterSource(TDataSource* Value);
  const std::string& MasterFields() const { return FMasterLink->FieldNames(); }
  void SetMasterFields(const std::string& Value) { FMasterLink->SetFieldNames(Value); }
  TIndexDefs* IndexDefs() { return &FIndexDefs; }
  bool StoreDefs = false;
  void SetDatabaseName(const std::string& Value) override;

  // True when the current record is locked by this process or cannot be locked by it right now.
  bool IsRecordLocked();
  // User lock slots 1..1024 shared by every process: false for a slot out of range or one that
  // stays locked through the session's retries.
  bool LockSlot(int N);
  bool UnlockSlot(int N);

 protected:
  TDataCursor* CreateHandle() override;
  void DestroyHandle() override;
  void DataEvent(TDataEvent Event, intptr_t Info) override;
  void FillNewRecord() override;
  bool GetCanModify() override;
  TDataSource* GetDataSource() override { return FMasterLink->DataSource(); }
  void ReadIndexDefs() override;
  void ApplyIndexSelection() override;
  // A clone of the cursor on the index of KeyFields whose case option is CaseInsensitive (nullptr
  // when there is none, or while a range is set); kept for the next search on the same fields.
  TDataCursor* FindIndexForFields(const std::string& KeyFields, bool CaseInsensitive) override;
  void ResetIndexCache() override;

 private:
  void SetIndex(const std::string& Text, bool ByFields);
  std::string ResolveIndexName(const std::string& Text, bool ByFields);
  void ReadIndexDefsFrom(TDataCursor* C);
  void ApplyMasterRange();
  void MasterChanged();
  void MasterDisabled();
  bool MasterLinked() const;

  TIndexDefs FIndexDefs;
  TMasterDataLink* FMasterLink;
  bool FExclusive = false;
  bool FReadOnly = false;
  bool FInMemory = false;
  bool FIndexByFields = false;
  std::string FTableName;
  std::string FIndexText;
  TDataCursor* FLookupCursor = nullptr;
  bool FLookupCached = false;
  std::string FLookupFields;
  bool FLookupCaseInsensitive = false;
};
