// The engine's dataset: the framework's TDataSet answered with the calls of one engine cursor
// (record buffers, navigation, fields, bookmarks, searches, ranges, BLOBs), the dataset that
// holds its database while it is open, the BLOB stream and the parameter list.
//
// Record buffer layout: the cursor's record image (RecordSize bytes), the calculated fields (a
// has-value byte and the data each), 8 bytes of record information (the record's sequence number,
// -1 in a new record; the bookmark flag), then the cursor's bookmark.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dbengine/storage/components/vxdb_session.h"
#include "platform/data/db.h"

class TDataCursor;

class TVXDBDataSet : public TDataSet {
 public:
  explicit TVXDBDataSet(TComponent* AOwner);
  ~TVXDBDataSet() override;
  std::string ClassName() const override { return "TVXDBDataSet"; }
  using TDataSet::GotoBookmark;

  bool AutoDisplayLabels() const { return FAutoDisplayLabels; }
  void SetAutoDisplayLabels(bool Value);
  bool CopyOnAppend() const { return FCopyOnAppend; }
  void SetCopyOnAppend(bool Value) { FCopyOnAppend = Value; }
  TDataCursor* Handle() const { return FCursor; }

  bool GetFieldData(TField* Field, void* Buffer) override;
  bool GetCurrentRecord(TRecordBuffer Buffer) override;
  TStream* CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  bool IsSequenced() override { return !Filtered(); }
  bool BookmarkValid(const TBookmark& Bookmark) override;
  int CompareBookmarks(const TBookmark& B1, const TBookmark& B2) override;
  void SetRecNo(int Value) override;
  bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) override;
  Variant Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields) override;
  void SetFiltered(bool Value) override;
  void SetFilterOptions(TFilterOptions Value) override;
  void SetOnFilterRecord(const TFilterRecordEvent& Value) override;

  // The current index: its key fields (dataset field numbers) and case flag.
  int IndexFieldCount() const { return FIndexFieldCount; }
  TField* GetIndexField(int Index);
  void SetIndexField(int Index, TField* Value);

 protected:
  // Makes the cursor when the dataset opens (nullptr: "Error creating table handle.").
  virtual TDataCursor* CreateHandle() { return nullptr; }
  virtual void DestroyHandle();
  virtual void ResetIndexCache() {}
  // A cursor to search KeyFields with, or nullptr (then Locate scans the records).
  virtual TDataCursor* FindIndexForFields(const std::string& KeyFields, bool CaseInsensitive);
  virtual void ApplyIndexSelection() {}

  void ClearCalcFields(TRecordBuffer Buffer) override;
  void CloseBlob(TField* Field) override;
  void CloseCursor() override;
  void DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative) override;
  void FillNewRecord() override;
  bool FindRecord(bool Restart, bool GoForward) override;
  bool GetCanModify() override { return FCanModify; }
  bool IsIndexField(TField* Field) override;
  int GetRecordCount() override;
  int GetRecNo() override;
  void InitRecordBuffer(TRecordBuffer Buffer) override;
  void ReleaseEditLock() override;
  void EditRecord() override;
  void RefreshCursor() override;
  void OpenCursor(bool InfoQuery) override;
  void SetFilterText(const std::string& Value) override;
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  void GetBookmarkData(TRecordBuffer Buffer, void* Data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  int GetRecordSize() override { return FRecordSize; }
  void AddRecord(TRecordBuffer Buffer, bool Append) override;
  void CloseDataSet() override;
  void DeleteCurrentRecord() override;
  void MoveToFirst() override;
  void GotoBookmark(const void* Bookmark) override;
  void BuildFieldDefs() override;
  void InitRecordDefaults(TRecordBuffer Buffer) override;
  void MoveToLast() override;
  void OpenDataSet() override;
  void PostRecord() override;
  void SetToRecordBuffer(TRecordBuffer Buffer) override;
  bool IsCursorOpen() override { return FCursor != nullptr; }
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;
  void SetFieldData(TField* Field, const void* Buffer) override;

  // Index information and buffer layout, read again when the index changes.
  void GetIndexInfo();
  void ComputeLayout();
  // Switches the cursor to another index, keeping the key buffers and the buffer layout right.
  void SetIndexByName(const std::string& Name);

  // Ranges. Key buffers: 8 header bytes (+0 modified, +4 field count) and a record image.
  enum TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, kiSave };
  uint8_t* KeyBuffer(TKeyIndex Index) { return FKeyBuffers[Index].data(); }
  // Fills the range start buffer from the master fields (one per index field) and copies it to
  // the range end.
  void SetLinkRange(const std::vector<TField*>& MasterFields);
  // Sets the cursor's range from the range buffers when they changed; true when it did.
  bool ApplyRange();
  // True when a range was set.
  bool CancelRange();
  bool RangeActive() const;

  int RecordSize() const { return FRecordSize; }
  TDataCursor* FCursor = nullptr;

 private:
  friend class TVXDBBlobStream;
  uint8_t* RecInfo(TRecordBuffer Buffer) const { return Buffer + FRecInfoOffset; }
  TRecordBuffer StateBuffer();
  // The search of Locate and Lookup: through the current index, a cursor on another index, or a
  // search filter. The record found is read into Found; with Move the dataset's cursor stands on it.
  bool SearchRecord(const std::string& KeyFields, const std::vector<TField*>& Fields, const Variant& KeyValues,
                    TLocateOptions Options, bool Move, TRecordBuffer Found);
  bool CurrentIndexServes(const std::vector<TField*>& Fields, bool CaseInsensitive) const;
  bool SearchByKey(TDataCursor* C, const std::vector<TField*>& Fields, const Variant& KeyValues,
                   TLocateOptions Options, bool Move, TRecordBuffer Found);
  bool SearchByFilter(const std::vector<TField*>& Fields, const Variant& KeyValues, TLocateOptions Options,
                      TRecordBuffer Found);
  bool FilterAccepts(const TFilterRecordEvent& Event, TRecordBuffer Buffer);
  // Runs Body in the filter state with Buffer as the record the fields read and write.
  template <class F>
  auto WithFilterBuffer(TRecordBuffer Buffer, F Body);
  // The cursor filters made from Filter and from OnFilterRecord (nullptr: none).
  void* MakeTextFilter(const std::string& Text, TFilterOptions Options);
  void* MakeCallbackFilter(const TFilterRecordEvent& Event);
  // Puts New in the place of Slot's filter; New is activated first when the dataset is filtered,
  // so that a filter failing to evaluate leaves the old one in force.
  void ReplaceFilter(void*& Slot, void* New);
  void SetFiltersActive(bool Value);

  TRecordBuffer FFilterBuffer = nullptr;
  std::vector<uint8_t> FOldValueBuffer;
  std::array<std::vector<uint8_t>, 6> FKeyBuffers;
  uint8_t* FKeyBuffer = nullptr;
  uint16_t FIndexFieldNos[16] = {};
  int FIndexFieldCount = 0;
  bool FIndexCaseInsensitive = false;
  bool FCanModify = false;
  int FKeyLength = 0;
  int FRecordSize = 0;
  int FRecInfoOffset = 0;
  int FBookmarkOffset = 0;
  int FBufferSize = 0;
  bool FAutoDisplayLabels = false;
  bool FCopyOnAppend = false;
  void* FTextFilter = nullptr;
  void* FCallbackFilter = nullptr;
  // The copy of a candidate record the record filter event reads.
  std::vector<uint8_t> FFilterRecord;
};

// A dataset that names its session and database and holds the database while it is open.
class TVXDBDBDataSet : public TVXDBDataSet {
 public:
  explicit TVXDBDBDataSet(TComponent* AOwner);
  ~TVXDBDBDataSet() override;
  std::string ClassName() const override { return "TVXDBDBDataSet"; }

  const std::string& DatabaseName() const { return FDatabaseName; }
  virtual void SetDatabaseName(const std::string& Value);
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);
  TVXDBDatabase* Database() const { return FDatabase; }
  // The session named by SessionName.
  TVXDBSession* DBSession();
  // Closes the dataset and leaves its database (the database is closing).
  virtual void Disconnect();
  // The database rolled its tables back: the records shown are read again.
  void RefreshAfterRollback();

 protected:
  void OpenCursor(bool InfoQuery) override;
  void CloseCursor() override;
  virtual void SetDatabaseFlag(int Flag, bool Value);
  TDataDirectory* DirectoryHandle() const;

 private:
  friend class TVXDBSession;
  std::string FDatabaseName;
  std::string FSessionName;
  uint16_t FDatabaseFlags = 0;
  TVXDBDatabase* FDatabase = nullptr;
};

// The stream over one BLOB field of the dataset's active record.
class TVXDBBlobStream : public TStream {
 public:
  TVXDBBlobStream(TBlobField* Field, TBlobStreamMode Mode);
  ~TVXDBBlobStream() override;
  std::string ClassName() const override { return "TVXDBBlobStream"; }
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, int Origin) override;
  int64_t Size() override;
  void SetSize(int64_t NewSize) override;
  // Cuts the BLOB at the current position.
  void Truncate();

 private:
  TBlobField* FField;
  TVXDBDataSet* FDataSet;
  TRecordBuffer FRecordBuffer = nullptr;
  int FFieldNo = 0;
  bool FOpened = false;
  bool FModified = false;
  int64_t FPosition = 0;
};

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TVXDBParams;

// One parameter of an SQL statement: a name, a value and its type.
class TVXDBParam : public TPersistent {
 public:
  explicit TVXDBParam(TVXDBParams* AParamList = nullptr, TParamType AParamType = ptUnknown);
  ~TVXDBParam() override;
  std::string ClassName() const override { return "TVXDBParam"; }
  void Assign(TPersistent* Source) override;
  void AssignField(TField* Field);
  void AssignTo(TField* Field) const;
  void Clear();

  const Variant& Value() const { return FValue; }
  void SetValue(const Variant& Value);
  void SetAsInteger(int32_t Value);
  void SetAsSmallInt(int16_t Value);
  void SetAsWord(uint16_t Value);
  void SetAsBoolean(bool Value);
  void SetAsFloat(double Value);
  void SetAsCurrency(Currency Value);
  void SetAsBCD(Currency Value);
  void SetAsDate(TDateTime Value);
  void SetAsTime(TDateTime Value);
  void SetAsDateTime(TDateTime Value);
  void SetAsString(const std::string& Value);
  void SetAsMemo(const std::string& Value);
  void SetAsBlob(const std::string& Value);

  TVXDBParams* ParamList() const { return FParamList; }
  std::string Name;
  TFieldType DataType = ftUnknown;
  bool IsNull = true;
  bool Bound = false;
  TParamType ParamType = ptUnknown;

 private:
  friend class TVXDBParams;
  void SetTyped(const Variant& Value, TFieldType Type);
  TVXDBParams* FParamList = nullptr;
  Variant FValue;
};

class TVXDBParams : public TPersistent {
 public:
  TVXDBParams() = default;
  ~TVXDBParams() override;
  TVXDBParams(const TVXDBParams&) = delete;
  TVXDBParams& operator=(const TVXDBParams&) = delete;
  std::string ClassName() const override { return "TVXDBParams"; }
  // Copies the values of parameters of the same name.
  void Assign(TPersistent* Source) override;
  int Count() const { return static_cast<int>(FItems.size()); }
  TVXDBParam* Items(int Index) const;
  TVXDBParam* CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType);
  void AddParam(TVXDBParam* Param);
  void RemoveParam(TVXDBParam* Param);
  // Without regard to case; nullptr when none.
  TVXDBParam* FindParam(const std::string& Name) const;
  // "Parameter '%s' not found" when none.
  TVXDBParam* ParamByName(const std::string& Name) const;
  void Clear();
  // The list as stored with a query: names, types, values and flags (version 1). Reading
  // replaces the list and accepts versions 1 and 2; a value of more than 2048 bytes cannot be
  // stored.
  void WriteData(TStream* Stream) const;
  void ReadData(TStream* Stream);

 private:
  std::vector<TVXDBParam*> FItems;
};

// BLOB, graphic and the other types whose parameter value is a block of raw bytes.
bool IsBlobParamType(TFieldType T);
// The value of a parameter as bytes in the form the statement receives it: strings and memos
// zero-terminated, numbers, dates and times in the record's encoding, BLOB types their raw bytes
// (a null value gives zeros). "Field '%s' is of an unsupported type" for other types.
std::string EncodeParamValue(const TVXDBParam* P);

// The text with every ":name" parameter replaced by "?" ("::" stands for one colon; quoted literals
// are left alone); each name found is added to Params when it is given.
std::string ParseSQL(const std::string& Text, TVXDBParams* Params);
