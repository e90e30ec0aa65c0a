// An in-memory dataset for the tests: rows in a vector, a cursor that is an index into it, and
// the dataset protocol answered the way a table component answers it (record buffers with the
// record image, calculated fields, record info and bookmark; filters; a master range).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/data/db.h"

class TMemoryDataSet : public TDataSet {
 public:
  explicit TMemoryDataSet(TComponent* AOwner = nullptr);
  ~TMemoryDataSet() override;
  std::string ClassName() const override { return "TMemoryDataSet"; }
  using TDataSet::GotoBookmark;

  struct TColumn {
    std::string Name;
    TFieldType Type;
    int Size = 0;
    bool Required = false;
  };
  // The stored table: its columns (set while closed) and its rows.
  std::vector<TColumn> Columns;
  int StoredRowCount() const { return static_cast<int>(FRows.size()); }
  // A stored value read straight from a row, bypassing the dataset (Null when blank).
  Variant StoredValue(int Row, const std::string& FieldName);

  // Failure injection: called before a record is stored, edited or deleted; may raise.
  std::function<void()> BeforeStore;
  std::function<void()> BeforeEditLock;
  std::function<void()> BeforeRemove;
  bool ReadOnlyTable = false;

  // Master/detail: the detail fields matched against the master link's fields.
  void SetMasterSource(TDataSource* Source);
  TDataSource* MasterSource() const { return FMasterLink->DataSource(); }
  void SetMasterFields(const std::string& Value) { FMasterLink->SetFieldNames(Value); }
  std::string DetailFields;

  // Test access to the buffer ring.
  int RingRecordCount() const { return BufferRecordCount(); }
  TRecordBuffer RingBuffer(int I) const { return Buffers(I); }
  int RecordNumberIn(TRecordBuffer Buffer) const;
  int RecordSizeForTest() const { return FRecordSize; }

  // BLOB fields keep the number of a stored text in the record; writing makes a new one, so a
  // cancelled edit keeps the old text.
  TStream* CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  std::vector<std::string> ClosedBlobs;

  bool GetFieldData(TField* Field, void* Buffer) override;
  bool BookmarkValid(const TBookmark& Bookmark) override;
  int CompareBookmarks(const TBookmark& B1, const TBookmark& B2) override;
  void SetRecNo(int Value) override;
  bool IsSequenced() override { return !Filtered(); }
  void SetFiltered(bool Value) override;
  void SetFilterOptions(TFilterOptions Value) override;

 protected:
  void ClearCalcFields(TRecordBuffer Buffer) override;
  void CloseBlob(TField* Field) override { ClosedBlobs.push_back(Field->FieldName()); }
  void FillNewRecord() override;
  bool FindRecord(bool Restart, bool GoForward) override;
  bool GetCanModify() override { return !ReadOnlyTable; }
  int GetRecordCount() override;
  int GetRecNo() override;
  void InitRecordBuffer(TRecordBuffer Buffer) override;
  void EditRecord() override;
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  void GetBookmarkData(TRecordBuffer Buffer, void* Data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  int GetRecordSize() override { return FRecordSize; }
  void AddRecord(TRecordBuffer Buffer, bool Append) override;
  void CloseDataSet() override;
  void DeleteCurrentRecord() override;
  void MoveToFirst() override { FPos = -1; }
  void GotoBookmark(const void* Bookmark) override;
  void BuildFieldDefs() override;
  void InitRecordDefaults(TRecordBuffer Buffer) override;
  void MoveToLast() override { FPos = static_cast<int>(FRows.size()); }
  void OpenDataSet() override;
  void PostRecord() override;
  void SetToRecordBuffer(TRecordBuffer Buffer) override;
  bool IsCursorOpen() override { return FCursorOpen; }
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  void SetFilterText(const std::string& Value) override;
  TDataSource* GetDataSource() override { return FMasterLink->DataSource(); }

 private:
  friend class TMemoryBlobStream;
  void BlobWritten(TField* Field, TRecordBuffer Record, const std::string& Data);
  std::vector<std::string> FBlobs;
  struct TRow {
    int32_t Id;
    std::vector<uint8_t> Image;
  };
  TRecordBuffer ActiveRecBuf();
  int NativeSize(const TFieldDef* Def) const;
  bool Visible(int Row);
  // Reads fields of a stored row in the filter state.
  template <class F>
  auto WithRow(int Row, F Body);
  int IndexOfId(int32_t Id) const;
  void StoreNew(TRecordBuffer Buffer);
  void MasterChanged();
  void MasterDisabled();

  std::vector<TRow> FRows;
  int32_t FNextId = 1;
  int FPos = -1;
  bool FCursorOpen = false;
  std::vector<int> FOffsets;
  std::vector<int> FSizes;
  int FRecordSize = 0;
  int FRecInfoOffset = 0;
  int FBookmarkOffset = 0;
  int FBufferSize = 0;
  TRecordBuffer FFilterBuffer = nullptr;
  TRecordBuffer FOldValueBuffer = nullptr;
  bool FFilterActive = false;
  TMasterDataLink* FMasterLink;
  std::vector<Variant> FRange;
};
