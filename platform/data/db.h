// The abstract dataset: record buffers, states, navigation, editing, bookmarks, filters and
// searches, typed fields, field and index definitions, data sources and data links.
//
// A concrete dataset derives from TDataSet and answers the protected virtual operations below
// (record buffers, reading records from its cursor, bookmarks, field data, posting). TDataSet
// keeps a ring of BufferCount record buffers around the active record and one spare buffer
// (TempBuffer); data links decide how many buffers there are.
//
// The record buffer's layout belongs to the concrete dataset. Field data passes through
// GetFieldData/SetFieldData in the native form of each field type:
//   ftString            characters, zero-terminated (Size + 1 bytes)
//   ftSmallint          int16      ftInteger, ftAutoInc  int32      ftWord  uint16
//   ftBoolean           int16 0/1  ftFloat, ftCurrency   double     ftBCD   8 bytes (see DataConvert)
//   ftDate              int32 day number (0001-01-01 is day 1)
//   ftTime              int32 milliseconds since midnight
//   ftDateTime          double milliseconds since the start of day 1 (TimeStampToMSecs)
//   ftBytes             Size bytes     ftVarBytes  uint16 length + Size bytes
//   BLOB types          no buffer data; read and written through CreateBlobStream
// Fields read dates as TDateTime and BCD values as Currency through DataConvert.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/core/sysutils.h"
#include "platform/data/dbconsts.h"
#include "platform/data/variant.h"

class TDataSet;
class TDataSource;
class TDataLink;
class TField;
class TFieldDefs;

// ---- Errors -------------------------------------------------------------------------------------
VX_DECLARE_EXCEPTION(EDatabaseError, Exception)

[[noreturn]] void DatabaseError(const std::string& Message);
[[noreturn]] void DatabaseErrorFmt(const char* Fmt, std::initializer_list<FormatArg> Args);

// ---- Enumerations -------------------------------------------------------------------------------
enum TDataSetState {
  dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsNewValue, dsOldValue, dsInternalCalc
};

enum TDataEvent {
  deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange, deUpdateRecord, deUpdateState,
  deCheckBrowseMode, dePropertyChange, deFieldListChange, deFocusControl
};

enum TFieldType {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD, ftDate, ftTime,
  ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle,
  ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT, ftArray, ftReference, ftDataSet,
  ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid
};
// The type's name ("String", "Integer", ...).
std::string FieldTypeName(TFieldType T);
// BLOB, memo, graphic and the other types whose data lives outside the record.
bool IsBlobType(TFieldType T);

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };

enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };
// Kept in a record buffer: 0 current, 1 before the first record, 2 after the last, 3 inserted.
enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };

enum TDataAction { daFail, daAbort, daRetry };
enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

using TLocateOptions = unsigned;
constexpr TLocateOptions loCaseInsensitive = 1;
constexpr TLocateOptions loPartialKey = 2;

using TFilterOptions = unsigned;
constexpr TFilterOptions foCaseInsensitive = 1;
constexpr TFilterOptions foNoPartialCompare = 2;

using TResyncMode = unsigned;
constexpr TResyncMode rmExact = 1;
constexpr TResyncMode rmCenter = 2;

using TIndexOptions = unsigned;
constexpr TIndexOptions ixPrimary = 1;
constexpr TIndexOptions ixUnique = 2;
constexpr TIndexOptions ixDescending = 4;
constexpr TIndexOptions ixCaseInsensitive = 8;
constexpr TIndexOptions ixExpression = 16;

using TRecordBuffer = uint8_t*;
// A bookmark's bytes; empty means no bookmark.
using TBookmark = std::string;

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TDataSetErrorEvent = std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;
using TFilterRecordEvent = std::function<void(TDataSet* DataSet, bool& Accept)>;
using TFieldNotifyEvent = std::function<void(TField* Sender)>;
using TDataChangeEvent = std::function<void(TObject* Sender, TField* Field)>;

// ---- Fields -------------------------------------------------------------------------------------
class TField : public TComponent {
 public:
  explicit TField(TComponent* AOwner);
  ~TField() override;
  std::string ClassName() const override { return "TField"; }

  TDataSet* DataSet() const { return FDataSet; }
  // Adds the field to the dataset's field list (the dataset must be closed).
  void SetDataSet(TDataSet* Value);
  const std::string& FieldName() const { return FFieldName; }
  void SetFieldName(const std::string& Value);
  // The dataset's number of the field: 1.. for data fields, below 1 for calculated ones.
  int FieldNo() const { return FFieldNo; }
  TFieldKind FieldKind() const { return FFieldKind; }
  void SetFieldKind(TFieldKind Value);
  bool Calculated() const { return FFieldKind == fkCalculated; }
  bool Lookup() const { return FFieldKind == fkLookup; }
  TFieldType DataType() const { return FDataType; }
  int Size() const { return FSize; }
  virtual void SetSize(int Value);
  // Bytes of the field's native value (0 for BLOB fields).
  virtual int DataSize() const { return 0; }
  // Offset of a calculated field in the calculated-field area of a record buffer.
  int Offset() const { return FOffset; }
  int Index() const;  // position in the dataset's field list, -1 when in none
  bool Required() const { return FRequired; }
  void SetRequired(bool Value) { FRequired = Value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  std::string DisplayLabel() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }
  void SetDisplayLabel(const std::string& Value) { FDisplayLabel = Value; }
  std::string DisplayName() const { return DisplayLabel(); }
  virtual bool IsBlob() const { return false; }
  bool CanModify() const;

  // Lookup fields: the value of LookupResultField of the record of LookupDataSet whose
  // LookupKeyFields equal this dataset's KeyFields.
  TDataSet* LookupDataSet = nullptr;
  std::string KeyFields;
  std::string LookupKeyFields;
  std::string LookupResultField;

  // Native (or, with NativeFormat false, TDateTime / Currency) value of the current record.
  // Buffer may be nullptr to ask only whether there is a value. False when the field is blank.
  bool GetData(void* Buffer, bool NativeFormat = true) const;
  // Buffer nullptr blanks the field.
  void SetData(const void* Buffer, bool NativeFormat = true);
  bool IsNull() const;
  virtual void Clear() { SetData(nullptr); }
  // Runs OnValidate for a value about to be stored (datasets call it from SetFieldData); while it
  // runs the field reads as that value.
  virtual void Validate(const void* Buffer);
  // Called by the dataset after the field's value changed.
  void Change();

  virtual std::string AsString() const;
  virtual void SetAsString(const std::string& Value);
  virtual int32_t AsInteger() const;
  virtual void SetAsInteger(int32_t Value);
  virtual double AsFloat() const;
  virtual void SetAsFloat(double Value);
  virtual Currency AsCurrency() const;
  virtual void SetAsCurrency(Currency Value);
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool Value);
  virtual TDateTime AsDateTime() const;
  virtual void SetAsDateTime(TDateTime Value);
  // Null for a blank field.
  virtual Variant AsVariant() const;
  // Null or empty blanks the field; other values go through the typed setters.
  virtual void SetAsVariant(const Variant& Value);
  Variant Value() const { return AsVariant(); }
  void SetValue(const Variant& V) { SetAsVariant(V); }
  // The value before the current edit / the value being entered.
  Variant OldValue() const;
  Variant NewValue() const;
  void SetNewValue(const Variant& V);

  TFieldNotifyEvent OnValidate;
  TFieldNotifyEvent OnChange;

 protected:
  [[noreturn]] void AccessError(const char* TypeName) const;
  void SetDataType(TFieldType Value) { FDataType = Value; }
  // Text of a native value for the string routines of the subclasses.
  std::string GetTextValue() const;

 private:
  friend class TDataSet;
  friend class TFields;
  TDataSet* FDataSet = nullptr;
  std::string FFieldName;
  std::string FDisplayLabel;
  int FFieldNo = 0;
  TFieldKind FFieldKind = fkData;
  TFieldType FDataType = ftUnknown;
  int FSize = 0;
  int FOffset = 0;
  bool FRequired = false;
  bool FReadOnly = false;
  bool FValidating = false;
  const void* FValueBuffer = nullptr;
};

class TStringField : public TField {
 public:
  explicit TStringField(TComponent* AOwner);
  std::string ClassName() const override { return "TStringField"; }
  int DataSize() const override { return Size() + 1; }
  // Longer texts are cut to Size characters.
  std::string AsString() const override;
  void SetAsString(const std::string& Value) override;
  int32_t AsInteger() const override { return StrToInt(AsString()); }
  void SetAsInteger(int32_t Value) override { SetAsString(IntToStr(Value)); }
  double AsFloat() const override { return StrToFloat(AsString()); }
  void SetAsFloat(double Value) override { SetAsString(FloatToStr(Value)); }
  bool AsBoolean() const override;
  void SetAsBoolean(bool Value) override { SetAsString(Value ? "T" : "F"); }
  Variant AsVariant() const override;
};

// Integer fields; values outside the type's range are refused instead of being cut.
class TIntegerField : public TField {
 public:
  explicit TIntegerField(TComponent* AOwner);
  std::string ClassName() const override { return "TIntegerField"; }
  int DataSize() const override { return 4; }
  std::string AsString() const override;
  void SetAsString(const std::string& Value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t Value) override;
  double AsFloat() const override { return AsInteger(); }
  void SetAsFloat(double Value) override;
  Currency AsCurrency() const override { return Currency::FromInt(AsInteger()); }
  void SetAsCurrency(Currency Value) override { SetAsFloat(Value.ToDouble()); }
  Variant AsVariant() const override;

 protected:
  int32_t FMinRange;
  int32_t FMaxRange;
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* AOwner);
  std::string ClassName() const override { return "TSmallintField"; }
  int DataSize() const override { return 2; }
  Variant AsVariant() const override;
};

class TWordField : public TIntegerField {
 public:
  explicit TWordField(TComponent* AOwner);
  std::string ClassName() const override { return "TWordField"; }
  int DataSize() const override { return 2; }
};

class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* AOwner);
  std::string ClassName() const override { return "TAutoIncField"; }
};

class TFloatField : public TField {
 public:
  explicit TFloatField(TComponent* AOwner);
  std::string ClassName() const override { return "TFloatField"; }
  int DataSize() const override { return 8; }
  std::string AsString() const override;
  void SetAsString(const std::string& Value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t Value) override { SetAsFloat(Value); }
  double AsFloat() const override;
  // NaN and infinities are refused.
  void SetAsFloat(double Value) override;
  Currency AsCurrency() const override { return Currency::FromDouble(AsFloat()); }
  void SetAsCurrency(Currency Value) override { SetAsFloat(Value.ToDouble()); }
  Variant AsVariant() const override;
  int Precision = 15;
  bool IsCurrency() const { return FCurrency; }

 protected:
  bool FCurrency = false;
};

class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* AOwner);
  std::string ClassName() const override { return "TCurrencyField"; }
  Variant AsVariant() const override;
};

// A decimal with Size decimals; its value reads and writes as Currency.
class TBCDField : public TField {
 public:
  explicit TBCDField(TComponent* AOwner);
  std::string ClassName() const override { return "TBCDField"; }
  int DataSize() const override { return 8; }
  std::string AsString() const override;
  void SetAsString(const std::string& Value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t Value) override { SetAsCurrency(Currency::FromInt(Value)); }
  double AsFloat() const override { return AsCurrency().ToDouble(); }
  void SetAsFloat(double Value) override { SetAsCurrency(Currency::FromDouble(Value)); }
  Currency AsCurrency() const override;
  void SetAsCurrency(Currency Value) override;
  Variant AsVariant() const override;
  int Precision = 0;
};

class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* AOwner);
  std::string ClassName() const override { return "TBooleanField"; }
  int DataSize() const override { return 2; }
  // "True" / "False"; "" blanks the field.
  std::string AsString() const override;
  void SetAsString(const std::string& Value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool Value) override;
  Variant AsVariant() const override;
};

// Date, time and date-time fields; read and written as TDateTime.
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* AOwner);
  std::string ClassName() const override { return "TDateTimeField"; }
  int DataSize() const override { return 8; }
  // The program's formats: "yyyy-mm-dd hh:nn:ss" (date only when the time is 0), a date, a time.
  std::string AsString() const override;
  void SetAsString(const std::string& Value) override;
  double AsFloat() const override { return AsDateTime(); }
  void SetAsFloat(double Value) override { SetAsDateTime(Value); }
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime Value) override;
  Variant AsVariant() const override;
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* AOwner);
  std::string ClassName() const override { return "TDateField"; }
  int DataSize() const override { return 4; }
};

class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* AOwner);
  std::string ClassName() const override { return "TTimeField"; }
  int DataSize() const override { return 4; }
};

// Fixed-size bytes; a text sets them (cut or padded with zero bytes) and they read as text.
class TBytesField : public TField {
 public:
  explicit TBytesField(TComponent* AOwner);
  std::string ClassName() const override { return "TBytesField"; }
  int DataSize() const override { return Size(); }
  std::string AsString() const override;
  void SetAsString(const std::string& Value) override;
  Variant AsVariant() const override;
};

// Up to Size bytes behind a 16-bit length.
class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(TComponent* AOwner);
  std::string ClassName() const override { return "TVarBytesField"; }
  int DataSize() const override { return Size() + 2; }
  std::string AsString() const override;
  void SetAsString(const std::string& Value) override;
};

class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* AOwner);
  std::string ClassName() const override { return "TBlobField"; }
  bool IsBlob() const override { return true; }
  // ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ...
  TFieldType BlobType() const { return DataType(); }
  void SetBlobType(TFieldType Value) { SetDataType(Value); }
  // Set by a BLOB stream that wrote the field of the current record.
  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  std::string AsString() const override;
  void SetAsString(const std::string& Value) override;
  Variant AsVariant() const override;
  // Opening a write stream empties the BLOB.
  void Clear() override;
  void LoadFromStream(TStream* Stream);
  void SaveToStream(TStream* Stream) const;
  // Blob size in bytes.
  int64_t BlobSize() const;

 private:
  bool FModified = false;
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* AOwner);
  std::string ClassName() const override { return "TMemoField"; }
};

class TGraphicField : public TBlobField {
 public:
  explicit TGraphicField(TComponent* AOwner);
  std::string ClassName() const override { return "TGraphicField"; }
};

class TFmtMemoField : public TBlobField {
 public:
  explicit TFmtMemoField(TComponent* AOwner);
  std::string ClassName() const override { return "TFmtMemoField"; }
};

class TTypedBinaryField : public TBlobField {
 public:
  explicit TTypedBinaryField(TComponent* AOwner);
  std::string ClassName() const override { return "TTypedBinaryField"; }
};

// Makes a field object of a field class.
using TFieldClass = TField* (*)(TComponent* Owner);
// The class for a field type; nullptr for types without one.
TFieldClass DefaultFieldClass(TFieldType T);

// The dataset's list of field objects (not owning: fields are freed by their owner or by the
// dataset, see TDataSet::DestroyFields).
class TFields {
 public:
  explicit TFields(TDataSet* ADataSet) : FDataSet(ADataSet) {}
  int Count() const { return static_cast<int>(FList.size()); }
  TField* Fields(int Index) const;  // raises EListError when out of range
  TField* operator[](int Index) const { return Fields(Index); }
  int IndexOf(const TField* Field) const;
  // Names compare without regard to case.
  TField* FindField(const std::string& FieldName) const;
  TField* FieldByName(const std::string& FieldName) const;  // "Field '%s' not found"
  TField* FieldByNumber(int FieldNo) const;                 // nullptr when none
  void Add(TField* Field);
  void Remove(TField* Field);
  // Deletes every field in the list.
  void Clear();
  TDataSet* DataSet() const { return FDataSet; }

 private:
  TDataSet* FDataSet;
  std::vector<TField*> FList;
};

// ---- Definitions --------------------------------------------------------------------------------
class TDefCollection : public TCollection {
 public:
  TDefCollection(TDataSet* ADataSet, TItemFactory Factory) : TCollection(std::move(Factory)), FDataSet(ADataSet) {}
  TDataSet* DataSet() const { return FDataSet; }
  // False when the definitions must be read again from the dataset.
  bool Updated() const { return FUpdated; }
  void SetUpdated(bool Value) { FUpdated = Value; }
  // Index of the definition named Name (without regard to case), -1 when none.
  int IndexOf(const std::string& Name) const;

 protected:
  virtual const std::string& ItemName(int Index) const = 0;
  void Update(TCollectionItem* Item) override;

 private:
  TDataSet* FDataSet;
  bool FUpdated = false;
};

class TFieldDef : public TCollectionItem {
 public:
  explicit TFieldDef(TCollection* Owner) : TCollectionItem(Owner) {}
  std::string ClassName() const override { return "TFieldDef"; }
  std::string DisplayName() const override { return Name; }
  void Assign(TPersistent* Source) override;
  // A field object of the definition's class, owned by Owner and added to the dataset.
  TField* CreateField(TComponent* Owner) const;
  TFieldClass FieldClass() const { return DefaultFieldClass(DataType); }

  std::string Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = 0;
  bool Required = false;
  int FieldNo = 0;
};

class TFieldDefs : public TDefCollection {
 public:
  explicit TFieldDefs(TDataSet* ADataSet);
  std::string ClassName() const override { return "TFieldDefs"; }
  TFieldDef* Items(int Index) const { return static_cast<TFieldDef*>(TCollection::Items(Index)); }
  TFieldDef* AddFieldDef() { return static_cast<TFieldDef*>(TCollection::Add()); }
  // Adds a definition numbered after the others; a name already present raises
  // "Duplicate field name '%s'".
  TFieldDef* Add(const std::string& Name, TFieldType DataType, int Size = 0, bool Required = false);
  TFieldDef* Find(const std::string& Name) const;  // "Field '%s' not found"
  // Name itself when no definition has it, else "%s_%d" with 1, 2, ... until unique.
  std::string UniqueName(const std::string& Name) const;
  // Reads the definitions from the dataset unless they are up to date.
  void Update();
  using TCollection::Update;  // the per-item change notification stays visible beside it

 protected:
  const std::string& ItemName(int Index) const override { return Items(Index)->Name; }
};

class TIndexDef : public TCollectionItem {
 public:
  explicit TIndexDef(TCollection* Owner) : TCollectionItem(Owner) {}
  std::string ClassName() const override { return "TIndexDef"; }
  std::string DisplayName() const override { return Name; }
  void Assign(TPersistent* Source) override;

  std::string Name;
  std::string Fields;  // ';'-separated
  TIndexOptions Options = 0;
};

class TIndexDefs : public TDefCollection {
 public:
  explicit TIndexDefs(TDataSet* ADataSet);
  std::string ClassName() const override { return "TIndexDefs"; }
  TIndexDef* Items(int Index) const { return static_cast<TIndexDef*>(TCollection::Items(Index)); }
  TIndexDef* AddIndexDef() { return static_cast<TIndexDef*>(TCollection::Add()); }
  TIndexDef* Add(const std::string& Name, const std::string& Fields, TIndexOptions Options);
  TIndexDef* Find(const std::string& Name) const;  // "Index '%s' not found"
  // An ascending index whose fields are Fields (names compare without case), or else one whose
  // fields begin with them; with CaseInsensitive only case-insensitive indexes count.
  // nullptr when none.
  TIndexDef* GetIndexForFields(const std::string& Fields, bool CaseInsensitive) const;
  // The same, raising "No index for fields '%s'" when there is none.
  TIndexDef* FindIndexForFields(const std::string& Fields) const;
  // Reads the definitions from the dataset unless they are up to date.
  void Update();
  using TCollection::Update;  // the per-item change notification stays visible beside it

 protected:
  const std::string& ItemName(int Index) const override { return Items(Index)->Name; }
};

// ---- Dataset ------------------------------------------------------------------------------------
// A derived class closes the dataset in its own destructor (Destroying(); Close();): its record
// buffers and its cursor cannot be released once it is gone.
class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* AOwner);
  ~TDataSet() override;
  std::string ClassName() const override { return "TDataSet"; }

  // Opening and closing.
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  bool Active() const { return FState != dsInactive; }
  void SetActive(bool Value);
  TDataSetState State() const { return FState; }
  bool Modified() const { return FModified; }

  // Navigation.
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves up to Distance records (negative: back); returns how far it moved.
  int MoveBy(int Distance);
  bool Bof() const { return FBOF; }
  bool Eof() const { return FEOF; }
  bool IsEmpty() const { return FActiveRecord >= FRecordCount; }
  int RecNo() { return GetRecNo(); }
  // Moves to the record with that sequence number (base: nothing).
  virtual void SetRecNo(int Value) { (void)Value; }
  int RecordCount() { return GetRecordCount(); }
  // Reads the records shown again (after the data changed behind the dataset).
  void Refresh();

  // Editing.
  void Append();
  void Insert();
  void Edit();
  virtual void Post();
  virtual void Cancel();
  void Delete();
  // Posts or cancels a pending edit (post when modified).
  void CheckBrowseMode();
  // Has the data links write their pending values into the fields.
  void UpdateRecord();
  // Adds a record with the field values by position.
  void AppendRecord(const std::vector<Variant>& Values);
  void InsertRecord(const std::vector<Variant>& Values);
  // Field values by position, in edit or insert state: Null blanks a field, an empty Variant
  // leaves it as it is (a new record's default or master key).
  void SetFields(const std::vector<Variant>& Values);
  void ClearFields();
  bool CanModify() { return GetCanModify(); }

  // Bookmarks.
  TBookmark GetBookmark();
  // Derived classes overriding the protected GotoBookmark(const void*) add
  // `using TDataSet::GotoBookmark;` so that this one stays visible.
  void GotoBookmark(const TBookmark& Bookmark);
  TBookmark Bookmark() { return GetBookmark(); }
  void SetBookmark(const TBookmark& Value) { GotoBookmark(Value); }
  bool BookmarkAvailable();
  virtual bool BookmarkValid(const TBookmark& Bookmark);
  // Empty bookmarks: both 0, only B1 1, only B2 -1; otherwise -1, 0 or 1 in record order.
  virtual int CompareBookmarks(const TBookmark& B1, const TBookmark& B2);

  // Filters.
  const std::string& Filter() const { return FFilterText; }
  void SetFilter(const std::string& Value) { SetFilterText(Value); }
  bool Filtered() const { return FFiltered; }
  virtual void SetFiltered(bool Value);
  TFilterOptions FilterOptions() const { return FFilterOptions; }
  virtual void SetFilterOptions(TFilterOptions Value);
  const TFilterRecordEvent& OnFilterRecord() const { return FOnFilterRecord; }
  virtual void SetOnFilterRecord(const TFilterRecordEvent& Value);
  bool FindFirst();
  bool FindNext();
  bool FindPrior();
  bool FindLast();
  bool Found() const { return FFound; }

  // Searches. KeyFields is a ';'-list; several fields take KeyValues as an array.
  virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
  // The ResultFields' values (an array for several) of the record found; Null when none. The
  // current record stays.
  virtual Variant Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields);

  // Controls.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount != 0; }

  // Fields.
  TFields* Fields() { return &FFields; }
  TFieldDefs* FieldDefs() { return &FFieldDefs; }
  int FieldCount() const { return FFields.Count(); }
  TField* FindField(const std::string& FieldName) const { return FFields.FindField(FieldName); }
  TField* FieldByName(const std::string& FieldName) const { return FFields.FieldByName(FieldName); }
  TField* FieldByNumber(int FieldNo) const { return FFields.FieldByNumber(FieldNo); }
  // The fields named in a ';'-list ("Field '%s' not found" for an unknown one).
  void GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const;
  // The fields' values: one value, or an array for several names.
  Variant FieldValues(const std::string& FieldNames) const;
  bool DefaultFields() const { return FDefaultFields; }
  bool AutoCalcFields() const { return FAutoCalcFields; }
  void SetAutoCalcFields(bool Value) { FAutoCalcFields = Value; }

  // Buffers and cursor.
  int BufferCount() const { return FBufferCount; }
  TRecordBuffer ActiveBuffer() const;
  int ActiveRecord() const { return FActiveRecord; }
  // Brings the cursor to the active record; marks the cursor as moved away.
  void UpdateCursorPos();
  void CursorPosChanged() { FCurrentRecord = -1; }
  // Reads the buffers again around the cursor's record (rmExact: that record must exist;
  // rmCenter: it goes to the middle of the buffers, else it keeps its buffer position).
  void Resync(TResyncMode Mode);

  // Master/detail.
  TDataSource* DataSource() { return GetDataSource(); }
  // True when ADataSource leads back to this dataset through master links.
  bool IsLinkedTo(TDataSource* ADataSource);

  // Public protocol operations that concrete datasets override.
  virtual bool GetCurrentRecord(TRecordBuffer Buffer);
  virtual bool GetFieldData(TField* Field, void* Buffer) = 0;
  // nullptr when the dataset has no BLOB access; the caller deletes the stream.
  virtual TStream* CreateBlobStream(TField* Field, TBlobStreamMode Mode);
  virtual bool IsSequenced() { return true; }
  // Copies the text (character set translation is not needed); returns its length.
  virtual int Translate(const char* Src, char* Dest, bool ToOem);

  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent OnNewRecord, OnCalcFields;
  TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

 protected:
  // ---- The protocol a concrete dataset answers --------------------------------------------------
  virtual void ClearCalcFields(TRecordBuffer Buffer) { (void)Buffer; }
  virtual void CloseBlob(TField* Field) { (void)Field; }
  // Closes the dataset's cursor: CloseDataSet (and then, in derived classes, the handle).
  virtual void CloseCursor();
  // Native form <-> what fields read and write (TDateTime for dates, Currency for BCD).
  virtual void DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative);
  // Fills a new record after Insert/Append: base calls OnNewRecord.
  virtual void FillNewRecord();
  // FindFirst/FindNext/...: base finds nothing.
  virtual bool FindRecord(bool Restart, bool GoForward);
  virtual bool GetCanModify() { return true; }
  virtual Variant GetStateFieldValue(TDataSetState State, TField* Field);
  virtual void SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value);
  virtual bool IsIndexField(TField* Field) { (void)Field; return false; }
  virtual int GetRecordCount() { return -1; }
  virtual int GetRecNo() { return -1; }
  // Prepares a new record: InitRecordDefaults, ClearCalcFields, flag bfInserted.
  virtual void InitRecordBuffer(TRecordBuffer Buffer);
  virtual void ReleaseEditLock() {}
  virtual void EditRecord() {}
  virtual void RefreshCursor() {}
  // InfoQuery: only the field definitions are wanted (BuildFieldDefs); else OpenDataSet.
  virtual void OpenCursor(bool InfoQuery);
  virtual void SetFilterText(const std::string& Value);
  virtual TRecordBuffer AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(TRecordBuffer& Buffer) = 0;
  virtual void GetBookmarkData(TRecordBuffer Buffer, void* Data) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) = 0;
  virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) = 0;
  virtual int GetRecordSize() = 0;
  virtual void AddRecord(TRecordBuffer Buffer, bool Append) = 0;
  virtual void CloseDataSet() = 0;
  virtual void DeleteCurrentRecord() = 0;
  virtual void MoveToFirst() = 0;
  virtual void GotoBookmark(const void* Bookmark) = 0;
  virtual void HandleError() {}
  virtual void BuildFieldDefs() = 0;
  virtual void InitRecordDefaults(TRecordBuffer Buffer) = 0;
  virtual void MoveToLast() = 0;
  virtual void OpenDataSet() = 0;
  virtual void PostRecord() = 0;
  virtual void SetToRecordBuffer(TRecordBuffer Buffer) = 0;
  virtual bool IsCursorOpen() = 0;
  virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) = 0;
  virtual void SetBookmarkData(TRecordBuffer Buffer, const void* Data) = 0;
  virtual void SetFieldData(TField* Field, const void* Buffer) = 0;
  // Reads the field definitions (the dataset opens its cursor for that when closed).
  virtual void ReadFieldDefs();
  virtual void ReadIndexDefs() {}
  virtual void DefChanged(TObject* Sender) { (void)Sender; }
  virtual TDataSource* GetDataSource() { return nullptr; }
  virtual void DataEvent(TDataEvent Event, intptr_t Info);

  // Event callers (a derived class may add to them).
  virtual void DoBeforeOpen() { Fire(BeforeOpen); }
  virtual void DoAfterOpen() { Fire(AfterOpen); }
  virtual void DoBeforeClose() { Fire(BeforeClose); }
  virtual void DoAfterClose() { Fire(AfterClose); }
  virtual void DoBeforeInsert() { Fire(BeforeInsert); }
  virtual void DoAfterInsert() { Fire(AfterInsert); }
  virtual void DoBeforeEdit() { Fire(BeforeEdit); }
  virtual void DoAfterEdit() { Fire(AfterEdit); }
  virtual void DoBeforePost() { Fire(BeforePost); }
  virtual void DoAfterPost() { Fire(AfterPost); }
  virtual void DoBeforeCancel() { Fire(BeforeCancel); }
  virtual void DoAfterCancel() { Fire(AfterCancel); }
  virtual void DoBeforeDelete() { Fire(BeforeDelete); }
  virtual void DoAfterDelete() { Fire(AfterDelete); }
  virtual void DoBeforeScroll() { Fire(BeforeScroll); }
  virtual void DoAfterScroll() { Fire(AfterScroll); }

  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // ---- Machinery for derived classes --------------------------------------------------------------
  void CheckActive() const;    // "Cannot perform this operation on a closed dataset"
  void CheckInactive() const;  // "Cannot perform this operation on an open dataset"
  void CheckCanModify();       // "Cannot modify a read-only dataset"
  void SetState(TDataSetState Value);
  // A short state change without data events (calc, filter, old/new value); the modified flag
  // is kept across it.
  TDataSetState SetTempState(TDataSetState Value);
  void RestoreState(TDataSetState Value);
  void SetModified(bool Value) { FModified = Value; }
  void SetFound(bool Value) { FFound = Value; }
  void SetBOF(bool Value) { FBOF = Value; }
  void SetEOF(bool Value) { FEOF = Value; }
  // Runs Operation; an EDatabaseError goes to ErrorEvent, which fails (raise), aborts (EAbort)
  // or retries.
  void CheckOperation(const std::function<void()>& Operation, const TDataSetErrorEvent& ErrorEvent);
  // Closes the BLOBs written for the current record (CloseBlob) and clears their modified flags;
  // runs when the record is posted, cancelled or deleted and when the dataset closes.
  void FreeFieldBuffers();
  // Required data fields (not auto-increment) must have a value.
  void CheckRequiredFields();

  // Calculated fields of Buffer: the calc-fields state on it, lookup fields, OnCalcFields.
  void GetCalcFields(TRecordBuffer Buffer);
  virtual void CalculateFields(TRecordBuffer Buffer);
  TRecordBuffer CalcBuffer() const { return FCalcBuffer; }
  void SetCalcBuffer(TRecordBuffer Buffer) { FCalcBuffer = Buffer; }
  int CalcFieldsSize() const { return FCalcFieldsSize; }
  int BookmarkSize() const { return FBookmarkSize; }
  void SetBookmarkSize(int Value) { FBookmarkSize = Value; }

  // Fields: default fields from FieldDefs, binding of field numbers and calculated offsets.
  void CreateFields();
  void DestroyFields();
  void BindFields(bool Binding);
  void SetDefaultFields(bool Value) { FDefaultFields = Value; }

  // The buffer ring.
  TRecordBuffer Buffers(int Index) const { return FBuffers[static_cast<std::size_t>(Index)]; }
  int BufferRecordCount() const { return FRecordCount; }
  int CurrentRecord() const { return FCurrentRecord; }
  // The spare buffer past the filled ones.
  TRecordBuffer TempBuffer() const { return FBuffers[static_cast<std::size_t>(FRecordCount)]; }
  // Number of allocated buffers (BufferCount + 1 while open); 0 frees them all.
  void SetBufListSize(int Value);
  void SetBufferCount(int Value);
  void UpdateBufferCount();
  void ClearBuffers();
  void ActivateBuffers();
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void SetCurrentRecord(int Index);

  // The generic search of Locate and Lookup: scans the records from the first one. On success
  // the cursor stands on the record found, whose image is in TempBuffer.
  bool LocateRecord(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
  // Whether a field's value matches a key value under Locate's options.
  static bool FieldMatches(TField* Field, const Variant& Key, TLocateOptions Options);

 private:
  friend class TField;
  friend class TFields;
  friend class TDataSource;
  friend class TDataLink;
  friend class TFieldDefs;
  friend class TIndexDefs;
  friend class TDefCollection;

  void Fire(const TDataSetNotifyEvent& E) {
    if (E) E(this);
  }
  // Runs Body in the calc-fields state with Buffer as the calc buffer (fields read that record).
  template <class F>
  auto WithCalcBuffer(TRecordBuffer Buffer, F Body);
  void BeginInsertAppend();
  void EndInsertAppend();
  void AddOrInsertRecord(const std::vector<Variant>& Values, bool Append);
  void PrepareAppendBuffer();
  void PrepareInsertBuffer();
  void OpenInternal();
  void CloseInternal();
  void AddDataSource(TDataSource* Source);
  void RemoveDataSource(TDataSource* Source);

  TFields FFields;
  TFieldDefs FFieldDefs;
  std::vector<TDataSource*> FDataSources;
  std::vector<TRecordBuffer> FBuffers;
  int FBufferCount = 0;
  int FRecordCount = 0;
  int FActiveRecord = 0;
  int FCurrentRecord = -1;
  TRecordBuffer FCalcBuffer = nullptr;
  int FCalcFieldsSize = 0;
  int FBookmarkSize = 0;
  TDataSetState FState = dsInactive;
  TDataSetState FDisableState = dsInactive;
  TDataEvent FEnableEvent = deDataSetChange;
  int FDisableCount = 0;
  bool FBOF = true;
  bool FEOF = true;
  bool FModified = false;
  bool FFound = false;
  bool FDefaultFields = false;
  bool FAutoCalcFields = true;
  bool FStreamedActive = false;
  bool FFiltered = false;
  TFilterOptions FFilterOptions = 0;
  std::string FFilterText;
  TFilterRecordEvent FOnFilterRecord;
};

// ---- Data sources and links ---------------------------------------------------------------------
class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* AOwner);
  ~TDataSource() override;
  std::string ClassName() const override { return "TDataSource"; }

  TDataSet* DataSet() const { return FDataSet; }
  // "Circular datalinks are not allowed" when ADataSet's master links lead back here.
  void SetDataSet(TDataSet* ADataSet);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool AutoEdit = true;
  TDataSetState State() const { return FState; }
  // Puts the dataset into edit state when AutoEdit is on and it is browsing.
  void Edit();
  // True when ADataSet's master links lead to this data source.
  bool IsLinkedTo(TDataSet* ADataSet) const;

  TNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnUpdateData;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TDataSet;
  friend class TDataLink;
  void DataEvent(TDataEvent Event, intptr_t Info);
  void UpdateState();
  void AddDataLink(TDataLink* Link);
  void RemoveDataLink(TDataLink* Link);

  TDataSet* FDataSet = nullptr;
  std::vector<TDataLink*> FDataLinks;
  bool FEnabled = true;
  TDataSetState FState = dsInactive;
};

class TDataLink : public TPersistent {
 public:
  TDataLink() = default;
  ~TDataLink() override;
  std::string ClassName() const override { return "TDataLink"; }

  TDataSource* DataSource() const { return FDataSource; }
  // "Circular datalinks are not allowed" when the link serves a dataset (GetDetailDataSet) that
  // ADataSource leads back to.
  void SetDataSource(TDataSource* ADataSource);
  TDataSet* DataSet() const;
  bool Active() const { return FActive; }
  bool Editing() const { return FEditing; }
  // The link's window on the dataset's buffers: how many records it shows and which is active.
  int BufferCount() const { return FBufferCount; }
  void SetBufferCount(int Value);
  int ActiveRecord() const;
  int RecordCount() const;
  // Puts the dataset into edit state through the data source; true when it is editing.
  bool Edit();
  void UpdateRecord();

 protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int Distance) {
    (void)Distance;
    DataSetChanged();
  }
  virtual void EditingChanged() {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* Field) { (void)Field; }
  virtual void UpdateData() {}
  virtual void FocusControl(TField* Field) { (void)Field; }
  // The dataset that this link feeds (a detail), for the circular-link check.
  virtual TDataSet* GetDetailDataSet() { return nullptr; }
  virtual void DataEvent(TDataEvent Event, intptr_t Info);

 private:
  friend class TDataSource;
  void UpdateState();
  void SetActive(bool Value);
  void SetEditing(bool Value);
  void UpdateRange();

  TDataSource* FDataSource = nullptr;
  int FBufferCount = 1;
  int FFirstRecord = 0;
  bool FActive = false;
  bool FEditing = false;
  bool FUpdating = false;
};

// The link from a detail dataset to its master's data source: on every change of the master's
// record (or of one of the master fields) OnMasterChange runs, and OnMasterDisable when the
// master closes or the link loses its fields.
class TMasterDataLink : public TDataLink {
 public:
  explicit TMasterDataLink(TDataSet* ADataSet) : FDataSet(ADataSet) {}
  std::string ClassName() const override { return "TMasterDataLink"; }
  TDataSet* DetailDataSet() const { return FDataSet; }
  const std::string& FieldNames() const { return FFieldNames; }
  void SetFieldNames(const std::string& Value);
  // The master's fields named by FieldNames (empty while inactive).
  const std::vector<TField*>& Fields() const { return FFields; }

  TNotifyEvent OnMasterChange;
  TNotifyEvent OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void LayoutChanged() override { ActiveChanged(); }
  void RecordChanged(TField* Field) override;
  TDataSet* GetDetailDataSet() override { return FDataSet; }

 private:
  TDataSet* FDataSet;
  std::string FFieldNames;
  std::vector<TField*> FFields;
};
