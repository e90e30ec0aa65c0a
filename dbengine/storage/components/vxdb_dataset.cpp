#include "dbengine/storage/components/vxdb_dataset.h"

#include <algorithm>
#include <cstring>

#include "dbengine/storage/components/engine_bridge.h"
#include "platform/core/datetime.h"
#include "platform/core/finally.h"

namespace {

// The widest native field value (a string of 250 characters and its terminator fits).
constexpr int kMaxFieldBytes = 256;

TFieldType FieldTypeOf(const uint8_t* Desc) {
  const uint8_t Sub = Desc[kFDSubType];
  switch (Desc[kFDType]) {
    case 1: return ftString;
    case 2: return ftDate;
    case 3:
      switch (Sub) {
        case 22: return ftMemo;
        case 24: return ftFmtMemo;
        case 26: return ftGraphic;
        case 28: return ftTypedBinary;
        default: return ftBlob;
      }
    case 4: return ftBoolean;
    case 5: return ftSmallint;
    case 6: return Sub == 29 ? ftAutoInc : ftInteger;
    case 7: return Sub == 21 ? ftCurrency : ftFloat;
    case 8: return ftBCD;
    case 9: return ftBytes;
    case 10: return ftTime;
    case 11: return ftDateTime;
    case 12: return ftWord;
    case 13: return ftInteger;
    case 15: return ftVarBytes;
    case 18:
    case 19: return ftLargeint;
    case 20: return ftADT;
    case 21: return ftArray;
    case 22: return ftReference;
    case 23: return ftDataSet;
    default: return ftUnknown;
  }
}

int32_t LoadI32(const uint8_t* P) {
  int32_t V;
  std::memcpy(&V, P, 4);
  return V;
}

void StoreI32(uint8_t* P, int32_t V) { std::memcpy(P, &V, 4); }

}  // namespace

// ---- TVXDBDataSet --------------------------------------------------------------------------------
TVXDBDataSet::TVXDBDataSet(TComponent* AOwner) : TDataSet(AOwner) {}

TVXDBDataSet::~TVXDBDataSet() {
  Destroying();
  try {
    Close();
  } catch (...) {
  }
}

void TVXDBDataSet::SetAutoDisplayLabels(bool Value) {
  FAutoDisplayLabels = Value;
  if (!Value || FCursor == nullptr) return;
  uint8_t Desc[kEngFieldDescSize];
  for (int I = 0; I < FieldCount(); ++I) {
    TField* F = Fields()->Fields(I);
    if (F->FieldKind() != fkData || F->FieldNo() < 1) continue;
    EngFieldDesc(FCursor, F->FieldNo(), Desc);
    std::string Text = EngShortString(Desc + kFDDescription, 50);
    if (!Text.empty()) F->SetDisplayLabel(Text);
  }
}

void TVXDBDataSet::DestroyHandle() {
  // A live query result is the source table's own cursor, owned by its statement.
  if (FCursor != nullptr && EngIsLiveResult(FCursor)) {
    FCursor = nullptr;
    return;
  }
  EngFreeCursor(FCursor);
}

TDataCursor* TVXDBDataSet::FindIndexForFields(const std::string& KeyFields, bool CaseInsensitive) {
  (void)KeyFields;
  (void)CaseInsensitive;
  return nullptr;
}

void TVXDBDataSet::OpenCursor(bool InfoQuery) {
  FCursor = CreateHandle();
  if (FCursor == nullptr) DatabaseError(SHandleError);
  TDataSet::OpenCursor(InfoQuery);
}

void TVXDBDataSet::CloseCursor() {
  TDataSet::CloseCursor();
  if (FCursor != nullptr) DestroyHandle();
  FCursor = nullptr;
}

void TVXDBDataSet::BuildFieldDefs() {
  TFieldDefs* Defs = FieldDefs();
  Defs->BeginUpdate();
  TFinally Done([Defs] { Defs->EndUpdate(); });
  Defs->Clear();
  uint8_t Desc[kEngFieldDescSize];
  for (int N = 1; N <= EngFieldCount(FCursor); ++N) {
    EngFieldDesc(FCursor, N, Desc);
    if (Desc[kFDHidden] != 0) continue;
    TFieldType T = FieldTypeOf(Desc);
    if (T == ftUnknown) continue;
    std::string Name = Defs->UniqueName(EngShortString(Desc + kFDName, 30));
    TFieldDef* D = Defs->AddFieldDef();
    D->Name = Name;
    D->DataType = T;
    const uint8_t Type = Desc[kFDType];
    D->Size = (Type == 1 || Type == 9 || Type == 15) ? Desc[kFDSize] : (Type == 8 ? Desc[kFDScale] : 0);
    if (T == ftBCD) D->Precision = 20;
    D->Required = Desc[kFDRequired] != 0;
    D->FieldNo = N;
  }
}

void TVXDBDataSet::GetIndexInfo() {
  uint8_t Desc[kEngIndexDescSize];
  FIndexFieldCount = 0;
  FIndexCaseInsensitive = false;
  FKeyLength = 0;
  std::memset(FIndexFieldNos, 0, sizeof FIndexFieldNos);
  // A live query result searches and bookmarks like an unindexed cursor: its field map is not
  // the table's, so the index's field numbers do not apply.
  if (FCursor == nullptr || EngIsLiveResult(FCursor) || !EngCurrentIndexDesc(FCursor, Desc)) return;
  FIndexCaseInsensitive = Desc[kIDCaseInsensitive] != 0;
  FIndexFieldCount = std::min<int>(Desc[kIDFieldCount], 16);
  for (int I = 0; I < FIndexFieldCount; ++I) FIndexFieldNos[I] = EngU16(Desc + kIDFieldNumbers + 2 * I);
  FKeyLength = EngU16(Desc + kIDKeyLength);
}

void TVXDBDataSet::ComputeLayout() {
  SetBookmarkSize(EngBookmarkSize(FCursor));
  FRecInfoOffset = FRecordSize + CalcFieldsSize();
  FBookmarkOffset = FRecInfoOffset + 8;
  FBufferSize = FBookmarkOffset + BookmarkSize();
}

void TVXDBDataSet::OpenDataSet() {
  FRecordSize = EngRecordBufferSize(FCursor);
  FCanModify = !EngCursorReadOnly(FCursor);
  BuildFieldDefs();
  FieldDefs()->SetUpdated(true);
  GetIndexInfo();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  if (FAutoDisplayLabels) SetAutoDisplayLabels(true);
  ComputeLayout();
  FOldValueBuffer.assign(static_cast<std::size_t>(FBufferSize), 0);
  for (auto& K : FKeyBuffers) K.assign(static_cast<std::size_t>(FRecordSize) + 8, 0);
  FFilterRecord.assign(static_cast<std::size_t>(FBufferSize), 0);
  EngMoveToBegin(FCursor);
  ApplyIndexSelection();
  FTextFilter = MakeTextFilter(Filter(), FilterOptions());
  FCallbackFilter = MakeCallbackFilter(OnFilterRecord());
  if (Filtered()) SetFiltersActive(true);
}

void TVXDBDataSet::CloseDataSet() {
  // The cursor frees its filters when it closes.
  FTextFilter = FCallbackFilter = nullptr;
  FFilterRecord.clear();
  FFilterBuffer = nullptr;
  FKeyBuffer = nullptr;
  for (auto& K : FKeyBuffers) K.clear();
  FOldValueBuffer.clear();
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  FIndexFieldCount = 0;
  FIndexCaseInsensitive = false;
  FKeyLength = 0;
  if (FCursor != nullptr) DestroyHandle();
  FCursor = nullptr;
}

void TVXDBDataSet::SetIndexByName(const std::string& Name) {
  CancelRange();
  ResetIndexCache();
  EngSetIndexName(FCursor, Name);
  // The bookmark (the index key) changes size with the index: every buffer is made again.
  SetBufListSize(0);
  GetIndexInfo();
  ComputeLayout();
  FOldValueBuffer.assign(static_cast<std::size_t>(FBufferSize), 0);
  FFilterRecord.assign(static_cast<std::size_t>(FBufferSize), 0);
  SetBufListSize(BufferCount() + 1);
}

TRecordBuffer TVXDBDataSet::AllocRecordBuffer() { return new uint8_t[static_cast<std::size_t>(FBufferSize)](); }

void TVXDBDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  delete[] Buffer;
  Buffer = nullptr;
}

void TVXDBDataSet::ClearCalcFields(TRecordBuffer Buffer) {
  std::memset(Buffer + FRecordSize, 0, static_cast<std::size_t>(CalcFieldsSize()));
}

void TVXDBDataSet::InitRecordBuffer(TRecordBuffer Buffer) {
  TDataSet::InitRecordBuffer(Buffer);
  StoreI32(RecInfo(Buffer), -1);
  RecInfo(Buffer)[4] = bfInserted;
}

void TVXDBDataSet::InitRecordDefaults(TRecordBuffer Buffer) { EngInitRecord(FCursor, Buffer); }

void TVXDBDataSet::GetBookmarkData(TRecordBuffer Buffer, void* Data) {
  std::memcpy(Data, Buffer + FBookmarkOffset, static_cast<std::size_t>(BookmarkSize()));
}

void TVXDBDataSet::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
  std::memcpy(Buffer + FBookmarkOffset, Data, static_cast<std::size_t>(BookmarkSize()));
}

TBookmarkFlag TVXDBDataSet::GetBookmarkFlag(TRecordBuffer Buffer) {
  return static_cast<TBookmarkFlag>(RecInfo(Buffer)[4]);
}

void TVXDBDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  RecInfo(Buffer)[4] = static_cast<uint8_t>(Value);
}

template <class F>
auto TVXDBDataSet::WithFilterBuffer(TRecordBuffer Buffer, F Body) {
  TRecordBuffer Saved = FFilterBuffer;
  FFilterBuffer = Buffer;
  TDataSetState Old = SetTempState(dsFilter);
  TFinally Restore([&] {
    RestoreState(Old);
    FFilterBuffer = Saved;
  });
  return Body();
}

bool TVXDBDataSet::FilterAccepts(const TFilterRecordEvent& Event, TRecordBuffer Buffer) {
  return WithFilterBuffer(Buffer, [&] {
    bool Accept = true;
    Event(this, Accept);
    return Accept;
  });
}

TGetResult TVXDBDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
  uint16_t Code = 0;
  switch (GetMode) {
    case gmCurrent: Code = EngGetCurrentRecord(FCursor, Buffer, false); break;
    case gmNext: Code = EngGetNextRecord(FCursor, Buffer); break;
    case gmPrior: Code = EngGetPriorRecord(FCursor, Buffer); break;
  }
  if (Code == kEngBeginOfFile) return grBOF;
  if (Code == kEngEndOfFile) return grEOF;
  if (Code != 0) {
    if (DoCheck) EngRaise(Code, EngCursorTableName(FCursor));
    return grError;
  }
  StoreI32(RecInfo(Buffer), EngSequenceNumber(FCursor));
  RecInfo(Buffer)[4] = bfCurrent;
  GetCalcFields(Buffer);
  EngGetBookmark(FCursor, Buffer + FBookmarkOffset);
  return grOK;
}

TRecordBuffer TVXDBDataSet::StateBuffer() {
  switch (State()) {
    case dsBrowse: return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue: return ActiveBuffer();
    case dsSetKey: return FKeyBuffer != nullptr ? FKeyBuffer + 8 : nullptr;
    case dsCalcFields:
    case dsInternalCalc: return CalcBuffer();
    case dsFilter: return FFilterBuffer;
    case dsOldValue: {
      TRecordBuffer Active = ActiveBuffer();
      if (Active == nullptr || IsEmpty() || GetBookmarkFlag(Active) != bfCurrent) return nullptr;
      UpdateCursorPos();
      if (EngGetCurrentRecord(FCursor, FOldValueBuffer.data(), false) != 0) return nullptr;
      return FOldValueBuffer.data();
    }
    default: return nullptr;
  }
}

bool TVXDBDataSet::GetFieldData(TField* Field, void* Buffer) {
  if (FCursor == nullptr) return false;
  TRecordBuffer Rec = StateBuffer();
  if (Rec == nullptr) return false;
  if (Field->FieldNo() < 1) {
    TDataSetState S = State();
    if (S != dsBrowse && S != dsEdit && S != dsInsert && S != dsCalcFields) return false;
    const uint8_t* P = Rec + FRecordSize + Field->Offset();
    if (P[0] == 0) return false;
    if (Buffer != nullptr) std::memcpy(Buffer, P + 1, static_cast<std::size_t>(Field->DataSize()));
    return true;
  }
  uint8_t Value[kMaxFieldBytes] = {};
  bool Blank = true;
  EngGetField(FCursor, Field->FieldNo(), Rec, Blank, Value);
  if (!Blank && Buffer != nullptr && !Field->IsBlob())
    std::memcpy(Buffer, Value, static_cast<std::size_t>(std::min(Field->DataSize(), kMaxFieldBytes)));
  return !Blank;
}

void TVXDBDataSet::SetFieldData(TField* Field, const void* Buffer) {
  const TDataSetState S = State();
  if (S != dsEdit && S != dsInsert && S != dsSetKey && S != dsCalcFields && S != dsFilter && S != dsNewValue &&
      S != dsInternalCalc)
    DatabaseError(SNotEditing);
  if (S == dsSetKey && (Field->FieldNo() < 0 || (FIndexFieldCount > 0 && !IsIndexField(Field))))
    DatabaseErrorFmt(SNotIndexField, {Field->DisplayName()});
  TRecordBuffer Rec = StateBuffer();
  if (Rec == nullptr) DatabaseError(SNotEditing);
  if (Field->FieldNo() < 1) {
    uint8_t* P = Rec + FRecordSize + Field->Offset();
    P[0] = Buffer != nullptr ? 1 : 0;
    if (Buffer != nullptr) std::memcpy(P + 1, Buffer, static_cast<std::size_t>(Field->DataSize()));
    else std::memset(P + 1, 0, static_cast<std::size_t>(Field->DataSize()));
  } else {
    if (S == dsCalcFields) DatabaseError(SNotEditing);
    if (Field->ReadOnly() && S != dsSetKey && S != dsFilter) DatabaseErrorFmt(SFieldReadOnly, {Field->DisplayName()});
    Field->Validate(Buffer);
    if (Field->FieldKind() != fkInternalCalc) {
      uint8_t Value[kMaxFieldBytes] = {};
      if (Buffer != nullptr)
        std::memcpy(Value, Buffer, static_cast<std::size_t>(std::min(Field->DataSize(), kMaxFieldBytes)));
      EngPutField(FCursor, Field->FieldNo(), Rec, Buffer != nullptr ? Value : nullptr);
    }
  }
  // Key values go to a key buffer, not to a record: nobody watching the records needs to know.
  if (S != dsCalcFields && S != dsFilter && S != dsNewValue && S != dsSetKey)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

void TVXDBDataSet::DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative) {
  if (Field->DataType() != ftBCD) {
    TDataSet::DataConvert(Field, Source, Dest, ToNative);
    return;
  }
  int64_t In;
  std::memcpy(&In, Source, 8);
  int64_t Out = ToNative ? EngCurrToBCD(Field->Size(), In) : EngBCDToCurr(In);
  std::memcpy(Dest, &Out, 8);
}

bool TVXDBDataSet::IsIndexField(TField* Field) {
  if (Field->FieldNo() < 1) return false;
  for (int I = 0; I < FIndexFieldCount; ++I)
    if (FIndexFieldNos[I] == Field->FieldNo()) return true;
  return false;
}

TField* TVXDBDataSet::GetIndexField(int Index) {
  if (Index < 0 || Index >= FIndexFieldCount) DatabaseError(SFieldIndexError);
  TField* F = FieldByNumber(FIndexFieldNos[Index]);
  if (F == nullptr) {
    std::string Name;
    for (int I = 0; I < FieldDefs()->Count(); ++I)
      if (FieldDefs()->Items(I)->FieldNo == FIndexFieldNos[Index]) Name = FieldDefs()->Items(I)->Name;
    DatabaseErrorFmt(SIndexFieldMissing, {Name});
  }
  return F;
}

void TVXDBDataSet::SetIndexField(int Index, TField* Value) { GetIndexField(Index)->SetAsVariant(Value->AsVariant()); }

int TVXDBDataSet::GetRecordCount() {
  CheckActive();
  return EngRecordCount(FCursor);
}

int TVXDBDataSet::GetRecNo() {
  CheckActive();
  TRecordBuffer B = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (B == nullptr) return -1;
  return LoadI32(RecInfo(B));
}

void TVXDBDataSet::SetRecNo(int Value) {
  CheckBrowseMode();
  if (Value == RecNo()) return;
  DoBeforeScroll();
  EngGotoSequence(FCursor, Value);
  Resync(rmCenter);
  DoAfterScroll();
}

void TVXDBDataSet::ReleaseEditLock() {
  if (State() == dsEdit) EngUnlockCurrentRecord(FCursor);
}

void TVXDBDataSet::EditRecord() {
  uint16_t Code = EngGetCurrentRecord(FCursor, ActiveBuffer(), true);
  if (Code != 0) EngRaise(Code, EngCursorTableName(FCursor));
}

void TVXDBDataSet::RefreshCursor() { EngRefresh(FCursor); }

void TVXDBDataSet::AddRecord(TRecordBuffer Buffer, bool Append) {
  (void)Append;
  EngInsertRecord(FCursor, Buffer);
}

void TVXDBDataSet::PostRecord() {
  if (State() == dsEdit) EngModifyRecord(FCursor, ActiveBuffer());
  else EngInsertRecord(FCursor, ActiveBuffer());
}

void TVXDBDataSet::DeleteCurrentRecord() { EngDeleteRecord(FCursor, ActiveBuffer()); }
void TVXDBDataSet::MoveToFirst() { EngMoveToBegin(FCursor); }
void TVXDBDataSet::MoveToLast() { EngMoveToEnd(FCursor); }

void TVXDBDataSet::GotoBookmark(const void* Bookmark) {
  EngSetToBookmark(FCursor, static_cast<const uint8_t*>(Bookmark), true);
}

void TVXDBDataSet::SetToRecordBuffer(TRecordBuffer Buffer) { GotoBookmark(Buffer + FBookmarkOffset); }

bool TVXDBDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
  if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
  UpdateCursorPos();
  return EngGetCurrentRecord(FCursor, Buffer, false) == 0;
}

bool TVXDBDataSet::BookmarkValid(const TBookmark& Bookmark) {
  if (FCursor == nullptr || static_cast<int>(Bookmark.size()) != BookmarkSize()) return false;
  CursorPosChanged();
  return EngSetToBookmark(FCursor, reinterpret_cast<const uint8_t*>(Bookmark.data()), false);
}

int TVXDBDataSet::CompareBookmarks(const TBookmark& B1, const TBookmark& B2) {
  if (B1.empty() && B2.empty()) return 0;
  if (B1.empty()) return 1;
  if (B2.empty()) return -1;
  if (FCursor == nullptr || static_cast<int>(B1.size()) != BookmarkSize() ||
      static_cast<int>(B2.size()) != BookmarkSize())
    return TDataSet::CompareBookmarks(B1, B2);
  int C = EngCompareBookmarks(FCursor, reinterpret_cast<const uint8_t*>(B1.data()),
                              reinterpret_cast<const uint8_t*>(B2.data()));
  return C < 0 ? -1 : (C > 0 ? 1 : 0);
}

void TVXDBDataSet::CloseBlob(TField* Field) {
  TRecordBuffer B = ActiveBuffer();
  if (FCursor != nullptr && B != nullptr) EngCloseBlob(FCursor, Field->FieldNo(), B);
}

TStream* TVXDBDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  auto* Blob = dynamic_cast<TBlobField*>(Field);
  if (Blob == nullptr) DatabaseErrorFmt(SNoBlobAccess, {Field->DisplayName()});
  return new TVXDBBlobStream(Blob, Mode);
}

void TVXDBDataSet::FillNewRecord() {
  if (FCopyOnAppend) {
    TRecordBuffer B = ActiveBuffer();
    EngCopyCurrentRecord(FCursor, B);
  }
  TDataSet::FillNewRecord();
}

// ---- Filters -------------------------------------------------------------------------------------
// The filters live in the cursor, so that record counts, positions and navigation all see the same
// set of records.
void* TVXDBDataSet::MakeTextFilter(const std::string& Text, TFilterOptions Options) {
  if (Trim(Text).empty()) return nullptr;
  return EngAddTextFilter(FCursor, Text, (Options & foNoPartialCompare) != 0, (Options & foCaseInsensitive) != 0);
}

void* TVXDBDataSet::MakeCallbackFilter(const TFilterRecordEvent& Event) {
  if (!Event) return nullptr;
  // The filter calls the event it was made for: a new event is evaluated before it is stored.
  return EngAddCallbackFilter(FCursor, [this, Event](const uint8_t* Record) {
    std::memcpy(FFilterRecord.data(), Record, static_cast<std::size_t>(FRecordSize));
    return FilterAccepts(Event, FFilterRecord.data());
  });
}

void TVXDBDataSet::ReplaceFilter(void*& Slot, void* New) {
  if (New != nullptr && Filtered()) {
    try {
      UpdateCursorPos();
      EngActivateFilter(FCursor, New);
    } catch (...) {
      EngDropFilter(FCursor, New);
      throw;
    }
  }
  if (Slot != nullptr) EngDropFilter(FCursor, Slot);
  Slot = New;
  ResetIndexCache();
}

void TVXDBDataSet::SetFiltersActive(bool Value) {
  ResetIndexCache();
  for (void* F : {FTextFilter, FCallbackFilter}) {
    if (F == nullptr) continue;
    if (!Value) {
      EngDeactivateFilter(FCursor, F);
      continue;
    }
    try {
      EngActivateFilter(FCursor, F);
    } catch (...) {
      // Both or neither: a filter that cannot be evaluated leaves the records unfiltered.
      if (FTextFilter != nullptr) EngDeactivateFilter(FCursor, FTextFilter);
      if (FCallbackFilter != nullptr) EngDeactivateFilter(FCursor, FCallbackFilter);
      throw;
    }
  }
}

void TVXDBDataSet::SetFilterText(const std::string& Value) {
  if (Active()) {
    CheckBrowseMode();
    if (Value != Filter()) ReplaceFilter(FTextFilter, MakeTextFilter(Value, FilterOptions()));
  }
  TDataSet::SetFilterText(Value);
  if (Active() && Filtered()) First();
}

void TVXDBDataSet::SetFilterOptions(TFilterOptions Value) {
  if (Active()) {
    CheckBrowseMode();
    if (Value != FilterOptions()) ReplaceFilter(FTextFilter, MakeTextFilter(Filter(), Value));
  }
  TDataSet::SetFilterOptions(Value);
  if (Active() && Filtered()) First();
}

void TVXDBDataSet::SetOnFilterRecord(const TFilterRecordEvent& Value) {
  if (Active()) {
    CheckBrowseMode();
    // Events cannot be compared: setting one always evaluates the records again.
    ReplaceFilter(FCallbackFilter, MakeCallbackFilter(Value));
  }
  TDataSet::SetOnFilterRecord(Value);
  if (Active() && Filtered()) First();
}

void TVXDBDataSet::SetFiltered(bool Value) {
  if (!Active()) {
    TDataSet::SetFiltered(Value);
    return;
  }
  CheckBrowseMode();
  if (Value == Filtered()) return;
  UpdateCursorPos();
  SetFiltersActive(Value);
  TDataSet::SetFiltered(Value);
  First();
}

bool TVXDBDataSet::FindRecord(bool Restart, bool GoForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  SetFound(false);
  UpdateCursorPos();
  CursorPosChanged();
  TGetResult R;
  {
    // The search runs under the filters even when Filtered is off.
    const bool Activate = !Filtered();
    if (Activate) SetFiltersActive(true);
    TFinally Restore([&] {
      if (Activate) SetFiltersActive(false);
    });
    if (GoForward) {
      if (Restart) EngMoveToBegin(FCursor);
      R = GetRecord(TempBuffer(), gmNext, true);
    } else {
      if (Restart) EngMoveToEnd(FCursor);
      R = GetRecord(TempBuffer(), gmPrior, true);
    }
  }
  if (R != grOK) return false;
  Resync(rmExact | rmCenter);
  SetFound(true);
  DoAfterScroll();
  return true;
}

// ---- Searches ------------------------------------------------------------------------------------
bool TVXDBDataSet::CurrentIndexServes(const std::vector<TField*>& Fields, bool CaseInsensitive) const {
  const int N = static_cast<int>(Fields.size());
  if (N == 0 || N > FIndexFieldCount || FIndexCaseInsensitive != CaseInsensitive) return false;
  for (int I = 0; I < N; ++I)
    if (Fields[static_cast<std::size_t>(I)]->FieldNo() != FIndexFieldNos[I]) return false;
  return true;
}

bool TVXDBDataSet::SearchByKey(TDataCursor* C, const std::vector<TField*>& Fields, const Variant& KeyValues,
                               TLocateOptions Options, bool Move, TRecordBuffer Found) {
  const int N = static_cast<int>(Fields.size());
  std::memset(Found, 0, static_cast<std::size_t>(FBufferSize));
  int FieldCount = N;
  int Partial = 0;
  const bool ScanAll = WithFilterBuffer(Found, [&] {
    for (int I = 0; I < N; ++I) {
      const Variant& V = N == 1 ? KeyValues : KeyValues[I];
      Fields[static_cast<std::size_t>(I)]->SetAsVariant(V);
    }
    TField* Last = Fields.back();
    const Variant& LastValue = N == 1 ? KeyValues : KeyValues[N - 1];
    if ((Options & loPartialKey) && Last->DataType() == ftString && !LastValue.IsClear()) {
      --FieldCount;
      Partial = static_cast<int>(std::min<std::size_t>(LastValue.AsString().size(),
                                                       static_cast<std::size_t>(Last->Size())));
    }
    return Partial == 0 && FieldCount == 0;
  });
  // A cursor of its own may stand behind changes made through the dataset's.
  if (C != FCursor) EngRefresh(C);
  bool Hit;
  if (ScanAll) {
    // An empty prefix of the only key field matches every record.
    EngMoveToBegin(C);
    Hit = EngGetNextRecord(C, Found) == 0;
  } else {
    Hit = EngFindKey(C, Found, Found, Partial, FieldCount);
  }
  if (Hit && Move && C != FCursor) EngSetToCursor(FCursor, C);
  return Hit;
}

bool TVXDBDataSet::SearchByFilter(const std::vector<TField*>& Fields, const Variant& KeyValues,
                                  TLocateOptions Options, TRecordBuffer Found) {
  const int N = static_cast<int>(Fields.size());
  std::memset(Found, 0, static_cast<std::size_t>(FBufferSize));
  std::vector<TEngSearchField> Search(Fields.size());
  WithFilterBuffer(Found, [&] {
    for (int I = 0; I < N; ++I) {
      TField* F = Fields[static_cast<std::size_t>(I)];
      const Variant& V = N == 1 ? KeyValues : KeyValues[I];
      Search[static_cast<std::size_t>(I)].FieldNo = F->FieldNo();
      if (!(Options & loPartialKey) || F->DataType() != ftString || V.IsClear()) {
        F->SetAsVariant(V);
        continue;
      }
      // A partial key matches the records starting with it; a '*' ending it stands for the rest.
      std::string Text = V.AsString();
      if (Text.size() > 1 && Text.back() == '*') Text.pop_back();
      F->SetAsString(Text);
      Search[static_cast<std::size_t>(I)].PrefixLength =
          static_cast<int>(std::min<std::size_t>(Text.size(), static_cast<std::size_t>(F->Size())));
    }
  });
  void* Filter = EngAddSearchFilter(FCursor, Found, Search, (Options & loCaseInsensitive) != 0);
  bool Hit = false;
  try {
    EngActivateFilter(FCursor, Filter);
    EngMoveToBegin(FCursor);
    Hit = EngGetNextRecord(FCursor, Found) == 0;
  } catch (...) {
    EngDropFilter(FCursor, Filter);
    throw;
  }
  EngDropFilter(FCursor, Filter);
  return Hit;
}

bool TVXDBDataSet::SearchRecord(const std::string& KeyFields, const std::vector<TField*>& Fields,
                                const Variant& KeyValues, TLocateOptions Options, bool Move, TRecordBuffer Found) {
  const bool CaseInsensitive = (Options & loCaseInsensitive) != 0;
  CursorPosChanged();
  if (CurrentIndexServes(Fields, CaseInsensitive))
    return SearchByKey(FCursor, Fields, KeyValues, Options, Move, Found);
  if (TDataCursor* Other = FindIndexForFields(KeyFields, CaseInsensitive))
    return SearchByKey(Other, Fields, KeyValues, Options, Move, Found);
  const bool Blob = std::any_of(Fields.begin(), Fields.end(), [](TField* F) { return F->IsBlob(); });
  if (EngSearchFiltersAvailable() && !Blob) return SearchByFilter(Fields, KeyValues, Options, Found);
  // Without the expression library (or for BLOB keys) the records are compared one by one.
  return LocateRecord(KeyFields, KeyValues, Options);
}

bool TVXDBDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  CheckBrowseMode();
  DoBeforeScroll();
  std::vector<TField*> List;
  GetFieldList(List, KeyFields);
  if (List.size() > 1 && (!KeyValues.IsArray() || KeyValues.ArrayCount() < static_cast<int>(List.size())))
    DatabaseError(SFieldIndexError);
  UpdateCursorPos();
  bool Found = SearchRecord(KeyFields, List, KeyValues, Options, true, TempBuffer());
  CursorPosChanged();
  if (Found) {
    Resync(rmExact | rmCenter);
    DoAfterScroll();
  }
  return Found;
}

Variant TVXDBDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields) {
  CheckBrowseMode();
  std::vector<TField*> List;
  GetFieldList(List, KeyFields);
  if (List.size() > 1 && (!KeyValues.IsArray() || KeyValues.ArrayCount() < static_cast<int>(List.size())))
    DatabaseError(SFieldIndexError);
  UpdateCursorPos();
  TRecordBuffer Buf = TempBuffer();
  bool Found = SearchRecord(KeyFields, List, KeyValues, 0, false, Buf);
  CursorPosChanged();
  if (!Found) return Variant::Null();
  GetCalcFields(Buf);
  TRecordBuffer OldCalc = CalcBuffer();
  SetCalcBuffer(Buf);
  TDataSetState Old = SetTempState(dsCalcFields);
  TFinally Restore([&] {
    RestoreState(Old);
    SetCalcBuffer(OldCalc);
  });
  return FieldValues(ResultFields);
}

// ---- Ranges --------------------------------------------------------------------------------------
void TVXDBDataSet::SetLinkRange(const std::vector<TField*>& MasterFields) {
  uint8_t* Start = KeyBuffer(kiRangeStart);
  const std::size_t Size = static_cast<std::size_t>(FRecordSize) + 8;
  std::memset(Start, 0, Size);
  const int N = std::min<int>(static_cast<int>(MasterFields.size()), FIndexFieldCount);
  {
    uint8_t* SavedKey = FKeyBuffer;
    FKeyBuffer = Start;
    TDataSetState Old = SetTempState(dsSetKey);
    TFinally Restore([&] {
      RestoreState(Old);
      FKeyBuffer = SavedKey;
    });
    for (int I = 0; I < N; ++I) GetIndexField(I)->SetAsVariant(MasterFields[static_cast<std::size_t>(I)]->AsVariant());
  }
  Start[0] = 1;
  StoreI32(Start + 4, N);
  std::memcpy(KeyBuffer(kiRangeEnd), Start, Size);
}

bool TVXDBDataSet::ApplyRange() {
  const std::size_t Size = static_cast<std::size_t>(FRecordSize) + 8;
  uint8_t* Start = KeyBuffer(kiRangeStart);
  uint8_t* End = KeyBuffer(kiRangeEnd);
  if (std::memcmp(Start, KeyBuffer(kiCurRangeStart), Size) == 0 && std::memcmp(End, KeyBuffer(kiCurRangeEnd), Size) == 0)
    return false;
  ResetIndexCache();
  EngSetRange(FCursor, Start[0] ? Start + 8 : nullptr, LoadI32(Start + 4), End[0] ? End + 8 : nullptr,
              LoadI32(End + 4));
  std::memcpy(KeyBuffer(kiCurRangeStart), Start, Size);
  std::memcpy(KeyBuffer(kiCurRangeEnd), End, Size);
  return true;
}

bool TVXDBDataSet::RangeActive() const {
  return !FKeyBuffers[kiCurRangeStart].empty() &&
         (FKeyBuffers[kiCurRangeStart][0] != 0 || FKeyBuffers[kiCurRangeEnd][0] != 0);
}

bool TVXDBDataSet::CancelRange() {
  if (!RangeActive()) return false;
  ResetIndexCache();
  EngCancelRange(FCursor);
  std::fill(FKeyBuffers[kiCurRangeStart].begin(), FKeyBuffers[kiCurRangeStart].end(), 0);
  std::fill(FKeyBuffers[kiCurRangeEnd].begin(), FKeyBuffers[kiCurRangeEnd].end(), 0);
  return true;
}

// ---- TVXDBDBDataSet ------------------------------------------------------------------------------
TVXDBDBDataSet::TVXDBDBDataSet(TComponent* AOwner) : TVXDBDataSet(AOwner) {
  // An auto-session of the same owner hands its name to every dataset made beside it.
  if (AOwner != nullptr)
    for (int I = 0; I < AOwner->ComponentCount(); ++I)
      if (auto* S = dynamic_cast<TVXDBSession*>(AOwner->Components(I)))
        if (S->AutoSessionName()) FSessionName = S->SessionName();
}

TVXDBDBDataSet::~TVXDBDBDataSet() {
  Destroying();
  try {
    Close();
  } catch (...) {
  }
  if (FDatabase != nullptr) FDatabase->RemoveDataSet(this);
}

void TVXDBDBDataSet::SetDatabaseName(const std::string& Value) {
  CheckInactive();
  if (FDatabase != nullptr) DatabaseError(SDatabaseOpen);
  FDatabaseName = Value;
  DataEvent(dePropertyChange, 0);
}

void TVXDBDBDataSet::SetSessionName(const std::string& Value) {
  CheckInactive();
  FSessionName = Value;
  DataEvent(dePropertyChange, 0);
}

TVXDBSession* TVXDBDBDataSet::DBSession() { return VXDBSessions().GetSession(FSessionName); }

TDataDirectory* TVXDBDBDataSet::DirectoryHandle() const { return FDatabase != nullptr ? FDatabase->Handle() : nullptr; }

void TVXDBDBDataSet::SetDatabaseFlag(int Flag, bool Value) {
  const uint16_t Bit = static_cast<uint16_t>(1u << Flag);
  const uint16_t Flags = Value ? (FDatabaseFlags | Bit) : (FDatabaseFlags & ~Bit);
  if (Flags == FDatabaseFlags) return;
  if (FDatabaseFlags == 0) {
    TVXDBSession* S = VXDBSessions().FindSession(FSessionName);
    TVXDBSession* Default = VXDBSessions().DefaultSession();
    // A database made before its auto-session had a name still sits in the default session.
    if (S != nullptr && S != Default && S->FindDatabase(FDatabaseName, Owner()) == nullptr && Default != nullptr) {
      TVXDBDatabase* D = Default->FindDatabase(FDatabaseName, Owner());
      if (D != nullptr && !D->Temporary() && AnsiCompareText(D->SessionName(), FSessionName) == 0 && !D->Connected())
        D->Open();
    }
    TVXDBDatabase* D = DBSession()->OpenDatabase(FDatabaseName, Owner());
    FDatabase = D;
    D->AddDataSet(this);
  }
  FDatabaseFlags = Flags;
  if (FDatabaseFlags == 0 && FDatabase != nullptr) {
    TVXDBDatabase* D = FDatabase;
    FDatabase = nullptr;
    D->RemoveDataSet(this);
    if (D->Session() != nullptr) D->Session()->CloseDatabase(D);
  }
}

void TVXDBDBDataSet::OpenCursor(bool InfoQuery) {
  SetDatabaseFlag(0, true);
  try {
    TVXDBDataSet::OpenCursor(InfoQuery);
  } catch (...) {
    try {
      if (FCursor != nullptr) DestroyHandle();
      FCursor = nullptr;
      SetDatabaseFlag(0, false);
    } catch (...) {
    }
    throw;
  }
}

void TVXDBDBDataSet::CloseCursor() {
  TFinally Leave([this] { SetDatabaseFlag(0, false); });
  TVXDBDataSet::CloseCursor();
}

void TVXDBDBDataSet::Disconnect() {
  Close();
  if (FDatabase != nullptr) {
    FDatabase->RemoveDataSet(this);
    FDatabaseFlags = 0;
    FDatabase = nullptr;
  }
}

void TVXDBDBDataSet::RefreshAfterRollback() {
  if (State() == dsEdit || State() == dsInsert) {
    try {
      Cancel();
    } catch (...) {
    }
  }
  if (State() != dsBrowse) return;
  CursorPosChanged();
  EngRefresh(FCursor);
  Resync(0);
}

// ---- TVXDBBlobStream -----------------------------------------------------------------------------
TVXDBBlobStream::TVXDBBlobStream(TBlobField* Field, TBlobStreamMode Mode)
    : FField(Field), FDataSet(dynamic_cast<TVXDBDataSet*>(Field->DataSet())), FFieldNo(Field->FieldNo()) {
  if (FDataSet == nullptr || FDataSet->FCursor == nullptr) return;
  FRecordBuffer = FDataSet->ActiveBuffer();
  if (FRecordBuffer == nullptr || (FDataSet->State() == dsBrowse && FDataSet->IsEmpty())) {
    FRecordBuffer = nullptr;
    return;
  }
  if (!Field->Modified()) {
    if (Mode != bmRead) {
      if (Field->ReadOnly()) DatabaseErrorFmt(SFieldReadOnly, {Field->DisplayName()});
      if (FDataSet->State() != dsEdit && FDataSet->State() != dsInsert) DatabaseError(SNotEditing);
    }
    uint16_t Code = EngOpenBlob(FDataSet->FCursor, FFieldNo, FRecordBuffer);
    if (Code != 0) EngRaise(Code, EngCursorTableName(FDataSet->FCursor));
  }
  FOpened = true;
  if (Mode == bmWrite) Truncate();
}

TVXDBBlobStream::~TVXDBBlobStream() {
  if (!FOpened) return;
  try {
    if (FModified) FField->SetModified(true);
    if (!FField->Modified()) EngCloseBlob(FDataSet->FCursor, FFieldNo, FRecordBuffer);
    if (FModified) FDataSet->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(FField));
  } catch (...) {
  }
}

int64_t TVXDBBlobStream::Read(void* Buffer, int64_t Count) {
  if (!FOpened || Count <= 0) return 0;
  int64_t Done = 0;
  uint16_t Code = EngReadBlob(FDataSet->FCursor, FFieldNo, FRecordBuffer, FPosition, Count, Buffer, Done);
  if (Code == 0 || Code == kEngEndOfBlob) FPosition += Done;
  else if (Code == kEngInvalidBlobOffset) Done = 0;
  else EngRaise(Code, EngCursorTableName(FDataSet->FCursor));
  return Done;
}

int64_t TVXDBBlobStream::Write(const void* Buffer, int64_t Count) {
  if (!FOpened || Count <= 0) return 0;
  // A write the engine refused is reported, not counted as done.
  uint16_t Code = EngWriteBlob(FDataSet->FCursor, FFieldNo, FRecordBuffer, FPosition, Count, Buffer);
  if (Code != 0) EngRaise(Code, EngCursorTableName(FDataSet->FCursor));
  FPosition += Count;
  FModified = true;
  return Count;
}

int64_t TVXDBBlobStream::Seek(int64_t Offset, int Origin) {
  int64_t P = FPosition;
  switch (Origin) {
    case soFromBeginning: P = Offset; break;
    case soFromCurrent: P = FPosition + Offset; break;
    case soFromEnd: P = Size() + Offset; break;
    default: break;
  }
  if (P < 0) throw EStreamError("Stream seek error");
  FPosition = P;
  return FPosition;
}

int64_t TVXDBBlobStream::Size() {
  if (!FOpened) return 0;
  int64_t S = 0;
  uint16_t Code = EngGetBlobSize(FDataSet->FCursor, FFieldNo, FRecordBuffer, S);
  if (Code != 0) EngRaise(Code, EngCursorTableName(FDataSet->FCursor));
  return S;
}

void TVXDBBlobStream::SetSize(int64_t NewSize) {
  int64_t Saved = FPosition;
  FPosition = NewSize;
  Truncate();
  FPosition = std::min(Saved, NewSize);
}

void TVXDBBlobStream::Truncate() {
  if (!FOpened) return;
  uint16_t Code = EngTruncateBlob(FDataSet->FCursor, FFieldNo, FRecordBuffer, FPosition);
  if (Code != 0) EngRaise(Code, EngCursorTableName(FDataSet->FCursor));
  FModified = true;
}

// ---- Parameters ----------------------------------------------------------------------------------
TVXDBParam::TVXDBParam(TVXDBParams* AParamList, TParamType AParamType) : ParamType(AParamType) {
  FValue = Variant();
  if (AParamList != nullptr) AParamList->AddParam(this);
}

TVXDBParam::~TVXDBParam() {
  if (FParamList != nullptr) FParamList->RemoveParam(this);
}

void TVXDBParam::SetTyped(const Variant& Value, TFieldType Type) {
  FValue = Value;
  DataType = Type;
  IsNull = false;
  Bound = true;
}

void TVXDBParam::SetValue(const Variant& Value) {
  TFieldType T = ftUnknown;
  switch (Value.VType()) {
    case varSmallint: T = ftSmallint; break;
    case varInteger: T = ftInteger; break;
    case varDouble: T = ftFloat; break;
    case varCurrency: T = ftBCD; break;
    case varDate: T = ftDateTime; break;
    case varString: T = Value.AsString().size() < 251 ? ftString : ftBlob; break;
    case varBoolean: T = ftBoolean; break;
    default: break;
  }
  SetTyped(Value, T);
}

void TVXDBParam::SetAsInteger(int32_t Value) { SetTyped(Variant(static_cast<int>(Value)), ftInteger); }
void TVXDBParam::SetAsSmallInt(int16_t Value) { SetTyped(Variant::Smallint(Value), ftSmallint); }
void TVXDBParam::SetAsWord(uint16_t Value) { SetTyped(Variant(static_cast<int>(Value)), ftWord); }
void TVXDBParam::SetAsBoolean(bool Value) { SetTyped(Variant(Value), ftBoolean); }
void TVXDBParam::SetAsFloat(double Value) { SetTyped(Variant(Value), ftFloat); }
void TVXDBParam::SetAsCurrency(Currency Value) { SetTyped(Variant(Value), ftCurrency); }
void TVXDBParam::SetAsBCD(Currency Value) { SetTyped(Variant(Value), ftBCD); }
void TVXDBParam::SetAsDate(TDateTime Value) { SetTyped(Variant::Date(Value), ftDate); }
void TVXDBParam::SetAsTime(TDateTime Value) { SetTyped(Variant::Date(Value), ftTime); }
void TVXDBParam::SetAsDateTime(TDateTime Value) { SetTyped(Variant::Date(Value), ftDateTime); }
void TVXDBParam::SetAsString(const std::string& Value) { SetTyped(Variant(Value), ftString); }
void TVXDBParam::SetAsMemo(const std::string& Value) { SetTyped(Variant(Value), ftMemo); }
void TVXDBParam::SetAsBlob(const std::string& Value) { SetTyped(Variant(Value), ftBlob); }

void TVXDBParam::Clear() {
  IsNull = true;
  FValue = Variant();
}

void TVXDBParam::Assign(TPersistent* Source) {
  if (auto* P = dynamic_cast<TVXDBParam*>(Source)) {
    DataType = P->DataType;
    if (P->IsNull) Clear();
    else {
      FValue = P->FValue;
      IsNull = false;
    }
    Bound = P->Bound;
    Name = P->Name;
    if (ParamType == ptUnknown) ParamType = P->ParamType;
    return;
  }
  if (auto* F = dynamic_cast<TField*>(Source)) {
    AssignField(F);
    return;
  }
  TPersistent::Assign(Source);
}

void TVXDBParam::AssignField(TField* Field) {
  DataType = Field->DataType();
  // Memos whose text does not fit a short string travel as strings.
  if (DataType == ftMemo && Field->AsString().size() > 255) DataType = ftString;
  if (Field->IsNull()) Clear();
  else {
    FValue = Field->AsVariant();
    IsNull = false;
  }
  Bound = true;
  Name = Field->FieldName();
}

void TVXDBParam::AssignTo(TField* Field) const { Field->SetAsVariant(IsNull ? Variant::Null() : FValue); }

TVXDBParams::~TVXDBParams() { Clear(); }

TVXDBParam* TVXDBParams::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", {Index}));
  return FItems[static_cast<std::size_t>(Index)];
}

void TVXDBParams::AddParam(TVXDBParam* Param) {
  if (Param->FParamList != nullptr && Param->FParamList != this) Param->FParamList->RemoveParam(Param);
  Param->FParamList = this;
  FItems.push_back(Param);
}

void TVXDBParams::RemoveParam(TVXDBParam* Param) {
  FItems.erase(std::remove(FItems.begin(), FItems.end(), Param), FItems.end());
  Param->FParamList = nullptr;
}

TVXDBParam* TVXDBParams::CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType) {
  auto* P = new TVXDBParam(this, ParamType);
  P->Name = Name;
  P->DataType = DataType;
  return P;
}

TVXDBParam* TVXDBParams::FindParam(const std::string& Name) const {
  for (TVXDBParam* P : FItems)
    if (AnsiCompareText(P->Name, Name) == 0) return P;
  return nullptr;
}

TVXDBParam* TVXDBParams::ParamByName(const std::string& Name) const {
  TVXDBParam* P = FindParam(Name);
  if (P == nullptr) DatabaseErrorFmt(SParameterNotFound, {Name});
  return P;
}

void TVXDBParams::Assign(TPersistent* Source) {
  auto* Other = dynamic_cast<TVXDBParams*>(Source);
  if (Other == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  for (TVXDBParam* P : Other->FItems)
    if (TVXDBParam* Mine = FindParam(P->Name)) Mine->Assign(P);
}

void TVXDBParams::Clear() {
  while (!FItems.empty()) {
    TVXDBParam* P = FItems.back();
    FItems.pop_back();
    P->FParamList = nullptr;
    delete P;
  }
}

std::string ParseSQL(const std::string& Text, TVXDBParams* Params) {
  std::string Out;
  Out.reserve(Text.size());
  const std::size_t N = Text.size();
  auto IsQuote = [](char C) { return C == '\'' || C == '"'; };
  char Quote = 0;
  std::size_t I = 0;
  while (I < N) {
    const char C = Text[I];
    if (Quote != 0) {
      if (C == Quote) Quote = 0;
      Out += C;
      ++I;
    } else if (IsQuote(C)) {
      Quote = C;
      Out += C;
      ++I;
    } else if (C == ':' && I + 1 < N && Text[I + 1] == ':') {
      Out += ':';
      I += 2;
    } else if (C == ':' && I + 1 < N) {
      // The name runs to a line end, blank, ')', ',' or ';' outside quotes, or to the end.
      std::size_t J = I + 1;
      char NameQuote = 0;
      for (; J < N; ++J) {
        const char D = Text[J];
        if (NameQuote != 0) {
          if (D == NameQuote) NameQuote = 0;
        } else if (IsQuote(D)) {
          NameQuote = D;
        } else if (D == '\n' || D == '\r' || D == ' ' || D == ')' || D == ',' || D == ';') {
          break;
        }
      }
      std::string Name = Text.substr(I + 1, J - I - 1);
      if (!Name.empty() && IsQuote(Name.front())) Name.erase(0, 1);
      if (!Name.empty() && IsQuote(Name.back())) Name.pop_back();
      if (Params != nullptr) Params->CreateParam(ftUnknown, Name, ptUnknown);
      Out += '?';
      I = J;
    } else {
      Out += C;
      ++I;
    }
  }
  return Out;
}

// ---- Parameter values ----------------------------------------------------------------------------
bool IsBlobParamType(TFieldType T) { return T == ftBlob || (T >= ftGraphic && T <= ftTypedBinary); }

std::string EncodeParamValue(const TVXDBParam* P) {
  auto Bytes = [](const void* Data, std::size_t Size) { return std::string(static_cast<const char*>(Data), Size); };
  const Variant& V = P->Value();
  const bool Blank = P->IsNull || V.IsClear();
  switch (P->DataType) {
    case ftString:
    case ftMemo: return (Blank ? std::string() : V.AsString()) + '\0';
    case ftSmallint:
    case ftWord:
    case ftBoolean: {
      int16_t X = Blank ? 0 : static_cast<int16_t>(P->DataType == ftBoolean ? (V.AsBoolean() ? 1 : 0) : V.AsInteger());
      return Bytes(&X, 2);
    }
    case ftInteger:
    case ftAutoInc: {
      int32_t X = Blank ? 0 : V.AsInteger();
      return Bytes(&X, 4);
    }
    case ftDate:
    case ftTime: {
      int32_t X = 0;
      if (!Blank) {
        TTimeStamp TS = DateTimeToTimeStamp(V.AsDateTime());
        X = P->DataType == ftDate ? TS.Date : TS.Time;
      }
      return Bytes(&X, 4);
    }
    case ftFloat:
    case ftCurrency: {
      double X = Blank ? 0 : V.AsFloat();
      return Bytes(&X, 8);
    }
    case ftBCD: {
      int64_t X = Blank ? 0 : EngCurrToBCD(4, V.AsCurrency().Raw);
      return Bytes(&X, 8);
    }
    case ftDateTime: {
      double X = Blank ? 0 : TimeStampToMSecs(DateTimeToTimeStamp(V.AsDateTime()));
      return Bytes(&X, 8);
    }
    default:
      if (IsBlobParamType(P->DataType)) return Blank ? std::string() : V.AsString();
      DatabaseErrorFmt(SUnsupportedFieldType, {P->Name});
  }
}

// ---- Stored parameters ---------------------------------------------------------------------------
namespace {

constexpr int kMaxStoredParamBytes = 2048;

Variant DecodeParamValue(TFieldType Type, const std::string& B, const std::string& Name) {
  auto Need = [&](std::size_t Size) {
    if (B.size() != Size) DatabaseError(SBadParamData);
  };
  auto Load = [&](auto& X) {
    Need(sizeof X);
    std::memcpy(&X, B.data(), sizeof X);
  };
  switch (Type) {
    case ftString:
    case ftMemo: return Variant(std::string(B.c_str()));
    case ftSmallint: {
      int16_t X;
      Load(X);
      return Variant::Smallint(X);
    }
    case ftWord: {
      uint16_t X;
      Load(X);
      return Variant(static_cast<int>(X));
    }
    case ftBoolean: {
      int16_t X;
      Load(X);
      return Variant(X != 0);
    }
    case ftInteger:
    case ftAutoInc: {
      int32_t X;
      Load(X);
      return Variant(static_cast<int>(X));
    }
    case ftDate:
    case ftTime: {
      int32_t X;
      Load(X);
      TTimeStamp TS;
      if (Type == ftDate) {
        TS.Date = X;
        TS.Time = 0;
      } else {
        TS.Date = DateDelta;
        TS.Time = X;
      }
      return Variant::Date(TimeStampToDateTime(TS));
    }
    case ftFloat: {
      double X;
      Load(X);
      return Variant(X);
    }
    case ftCurrency: {
      double X;
      Load(X);
      return Variant(Currency::FromDouble(X));
    }
    case ftBCD: {
      int64_t X;
      Load(X);
      return Variant(Currency::FromRaw(EngBCDToCurr(X)));
    }
    case ftDateTime: {
      double X;
      Load(X);
      return Variant::Date(TimeStampToDateTime(MSecsToTimeStamp(X)));
    }
    default:
      if (IsBlobParamType(Type)) return Variant(B);
      DatabaseErrorFmt(SUnsupportedFieldType, {Name});
  }
}

template <class T>
T ReadValue(TStream* S) {
  T X;
  S->ReadBuffer(&X, sizeof X);
  return X;
}

template <class T>
void WriteValue(TStream* S, T X) {
  S->WriteBuffer(&X, sizeof X);
}

}  // namespace

void TVXDBParams::WriteData(TStream* Stream) const {
  WriteValue<uint16_t>(Stream, 1);
  WriteValue<uint16_t>(Stream, static_cast<uint16_t>(FItems.size()));
  for (const TVXDBParam* P : FItems) {
    std::string Name = P->Name.substr(0, 255);
    WriteValue<uint8_t>(Stream, static_cast<uint8_t>(Name.size()));
    Stream->WriteString(Name);
    WriteValue<uint8_t>(Stream, static_cast<uint8_t>(P->ParamType));
    WriteValue<uint8_t>(Stream, static_cast<uint8_t>(P->DataType));
    if (P->DataType != ftUnknown) {
      std::string Value = EncodeParamValue(P);
      if (Value.size() > static_cast<std::size_t>(kMaxStoredParamBytes))
        DatabaseErrorFmt(SParamTooBig, {P->Name, kMaxStoredParamBytes});
      WriteValue<uint16_t>(Stream, static_cast<uint16_t>(Value.size()));
      Stream->WriteString(Value);
    }
    WriteValue<uint8_t>(Stream, P->IsNull ? 1 : 0);
    WriteValue<uint8_t>(Stream, P->Bound ? 1 : 0);
  }
}

void TVXDBParams::ReadData(TStream* Stream) {
  Clear();
  try {
    const uint16_t Version = ReadValue<uint16_t>(Stream);
    if (Version > 2) DatabaseError(SBadParamData);
    const bool Wide = Version == 2;
    const uint32_t Count = Wide ? ReadValue<uint32_t>(Stream) : ReadValue<uint16_t>(Stream);
    for (uint32_t I = 0; I < Count; ++I) {
      const uint32_t NameLength = Wide ? ReadValue<uint32_t>(Stream) : ReadValue<uint8_t>(Stream);
      if (NameLength > 255) DatabaseError(SBadParamData);
      std::string Name(NameLength, '\0');
      Stream->ReadBuffer(Name.data(), NameLength);
      const uint8_t ParamType = ReadValue<uint8_t>(Stream);
      const uint8_t DataType = ReadValue<uint8_t>(Stream);
      if (ParamType > ptResult || DataType > ftGuid) DatabaseError(SBadParamData);
      auto* P = CreateParam(static_cast<TFieldType>(DataType), Name, static_cast<TParamType>(ParamType));
      if (DataType != ftUnknown) {
        const uint32_t Size = Wide ? ReadValue<uint32_t>(Stream) : ReadValue<uint16_t>(Stream);
        if (Size > static_cast<uint32_t>(kMaxStoredParamBytes)) DatabaseError(SBadParamData);
        std::string Bytes(Size, '\0');
        Stream->ReadBuffer(Bytes.data(), Size);
        P->FValue = DecodeParamValue(P->DataType, Bytes, Name);
      }
      P->IsNull = ReadValue<uint8_t>(Stream) != 0;
      P->Bound = ReadValue<uint8_t>(Stream) != 0;
      if (P->IsNull) P->FValue = Variant();
    }
  } catch (...) {
    Clear();
    throw;
  }
}
