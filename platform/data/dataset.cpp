// TDataSet: states, the ring of record buffers, navigation, editing, bookmarks, searches and
// the data events that keep data sources and links informed.
#include <algorithm>
#include <cstring>

#include "platform/core/datetime.h"
#include "platform/core/finally.h"
#include "platform/data/db.h"

namespace {
bool IsEditMode(TDataSetState S) { return S == dsEdit || S == dsInsert || S == dsSetKey; }

}  // namespace

template <class F>
auto TDataSet::WithCalcBuffer(TRecordBuffer Buffer, F Body) {
  TDataSetState old = SetTempState(dsCalcFields);
  TRecordBuffer oldCalc = FCalcBuffer;
  FCalcBuffer = Buffer;
  TFinally restore([&] {
    FCalcBuffer = oldCalc;
    RestoreState(old);
  });
  return Body();
}

TDataSet::TDataSet(TComponent* AOwner) : TComponent(AOwner), FFields(this), FFieldDefs(this) {}

TDataSet::~TDataSet() {
  // The derived class has closed the dataset in its own destructor: the buffers and the cursor
  // belong to it and cannot be released from here.
  Destroying();
  while (!FDataSources.empty()) FDataSources.back()->SetDataSet(nullptr);
  DestroyFields();
  // Fields made by someone else than the dataset stay with their owner, outside the dataset.
  while (FFields.Count() > 0) FFields.Remove(FFields[FFields.Count() - 1]);
}

// ---- Checks -------------------------------------------------------------------------------------
void TDataSet::CheckActive() const {
  if (FState == dsInactive) DatabaseError(SDataSetClosed);
}

void TDataSet::CheckInactive() const {
  if (FState != dsInactive) DatabaseError(SDataSetOpen);
}

void TDataSet::CheckCanModify() {
  if (!GetCanModify()) DatabaseError(SDataSetReadOnly);
}

void TDataSet::CheckRequiredFields() {
  for (int i = 0; i < FFields.Count(); ++i) {
    TField* f = FFields[i];
    // An auto-increment value is given by the dataset when the record is stored.
    if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData && f->DataType() != ftAutoInc && f->IsNull())
      DatabaseErrorFmt(SFieldRequired, {f->DisplayName()});
  }
}

void TDataSet::CheckOperation(const std::function<void()>& Operation, const TDataSetErrorEvent& ErrorEvent) {
  for (;;) {
    try {
      Operation();
      return;
    } catch (EDatabaseError& E) {
      TDataAction action = daFail;
      if (ErrorEvent) ErrorEvent(this, E, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
    }
  }
}

// ---- States and events --------------------------------------------------------------------------
void TDataSet::SetState(TDataSetState Value) {
  if (FState == Value) return;
  FState = Value;
  FModified = false;
  DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState Value) {
  TDataSetState old = FState;
  FState = Value;
  ++FDisableCount;
  return old;
}

void TDataSet::RestoreState(TDataSetState Value) {
  FState = Value;
  --FDisableCount;
}

void TDataSet::DataEvent(TDataEvent Event, intptr_t Info) {
  switch (Event) {
    case deFieldChange: {
      auto* field = reinterpret_cast<TField*>(Info);
      if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) FModified = true;
      if (FState != dsSetKey && FAutoCalcFields && FCalcFieldsSize > 0 && (FState == dsEdit || FState == dsInsert))
        GetCalcFields(ActiveBuffer());
      field->Change();
      break;
    }
    case dePropertyChange: FFieldDefs.SetUpdated(false); break;
    default: break;
  }
  if (FDisableCount == 0) {
    std::vector<TDataSource*> sources = FDataSources;
    for (TDataSource* s : sources) s->DataEvent(Event, Info);
  } else if ((Event == deUpdateState && FState == dsInactive) || Event == deLayoutChange) {
    FEnableEvent = deLayoutChange;
  }
}

void TDataSet::DisableControls() {
  if (FDisableCount == 0) {
    FDisableState = FState;
    FEnableEvent = deDataSetChange;
  }
  ++FDisableCount;
}

void TDataSet::EnableControls() {
  if (FDisableCount == 0) return;
  if (--FDisableCount != 0) return;
  if (FDisableState != FState) DataEvent(deUpdateState, 0);
  if (FDisableState != dsInactive && FState != dsInactive) DataEvent(FEnableEvent, 0);
}

// ---- Opening and closing ------------------------------------------------------------------------
void TDataSet::SetActive(bool Value) {
  if (HasState(csLoading)) {
    FStreamedActive = Value;
    return;
  }
  if (Value == Active()) return;
  if (Value) OpenInternal();
  else CloseInternal();
}

void TDataSet::OpenInternal() {
  DoBeforeOpen();
  try {
    FDefaultFields = FFields.Count() == 0;
    OpenCursor(false);
    SetBufferCount(FBufferCount);
    SetBufListSize(FBufferCount + 1);
    ClearBuffers();
    GetNextRecords();
    FBOF = true;
    FEOF = FRecordCount == 0;
  } catch (...) {
    try {
      CloseCursor();
    } catch (...) {
    }
    throw;
  }
  SetState(dsBrowse);
  DoAfterOpen();
  if (!IsEmpty()) DoAfterScroll();
}

void TDataSet::CloseInternal() {
  bool destroying = HasState(csDestroying);
  if (!destroying) DoBeforeClose();
  FreeFieldBuffers();
  SetState(dsInactive);
  CloseCursor();
  if (!destroying) DoAfterClose();
}

void TDataSet::OpenCursor(bool InfoQuery) {
  if (InfoQuery) BuildFieldDefs();
  else OpenDataSet();
}

void TDataSet::CloseCursor() {
  ClearBuffers();
  SetBufListSize(0);
  CloseDataSet();
  FDefaultFields = false;
}

void TDataSet::ReadFieldDefs() {
  if (IsCursorOpen()) {
    BuildFieldDefs();
  } else {
    OpenCursor(true);
    CloseCursor();
  }
  FFieldDefs.SetUpdated(true);
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (!FStreamedActive) return;
  try {
    SetActive(true);
  } catch (...) {
    if (HasState(csDesigning)) HandleError();
    else throw;
  }
}

void TDataSet::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  for (int i = 0; i < FFields.Count(); ++i) {
    TField* f = FFields[i];
    if (f->LookupDataSet == AComponent) f->LookupDataSet = nullptr;
  }
}

// ---- Fields -------------------------------------------------------------------------------------
void TDataSet::CreateFields() {
  for (int i = 0; i < FFieldDefs.Count(); ++i) {
    TFieldDef* d = FFieldDefs.Items(i);
    if (d->FieldClass()) d->CreateField(this);
  }
}

void TDataSet::DestroyFields() {
  // The fields the dataset made itself (its default fields) go; others only leave the list.
  for (int i = FFields.Count() - 1; i >= 0; --i) {
    TField* f = FFields[i];
    if (f->Owner() == this) delete f;
  }
}

void TDataSet::BindFields(bool Binding) {
  FCalcFieldsSize = 0;
  for (int i = 0; i < FFields.Count(); ++i) {
    TField* f = FFields[i];
    if (!Binding) {
      f->FFieldNo = 0;
      f->FOffset = 0;
      continue;
    }
    if (f->FieldKind() == fkData || (f->FieldKind() == fkInternalCalc && FFieldDefs.IndexOf(f->FieldName()) >= 0)) {
      int d = FFieldDefs.IndexOf(f->FieldName());
      if (d < 0) DatabaseErrorFmt(SFieldNotFound, {f->FieldName()});
      TFieldDef* def = FFieldDefs.Items(d);
      // A field reads its column's native bytes: its class must fit the column's type.
      bool fits = DefaultFieldClass(def->DataType) == DefaultFieldClass(f->DataType()) ||
                  (f->IsBlob() && IsBlobType(def->DataType));
      if (!fits) DatabaseErrorFmt(SFieldTypeMismatch, {f->DisplayName(), FieldTypeName(def->DataType)});
      f->FFieldNo = def->FieldNo;
    } else {
      // Calculated and lookup values live after the record image: a has-value byte, then the data.
      f->FFieldNo = -1 - i;
      f->FOffset = FCalcFieldsSize;
      FCalcFieldsSize += f->DataSize() + 1;
    }
  }
}

void TDataSet::GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const {
  List.clear();
  std::size_t start = 0;
  while (start <= FieldNames.size()) {
    std::size_t end = FieldNames.find(';', start);
    if (end == std::string::npos) end = FieldNames.size();
    std::string name = Trim(std::string_view(FieldNames).substr(start, end - start));
    if (!name.empty()) List.push_back(FieldByName(name));
    start = end + 1;
  }
}

Variant TDataSet::FieldValues(const std::string& FieldNames) const {
  std::vector<TField*> fields;
  GetFieldList(fields, FieldNames);
  if (fields.size() == 1) return fields[0]->AsVariant();
  std::vector<Variant> values;
  for (TField* f : fields) values.push_back(f->AsVariant());
  return Variant::Array(std::move(values));
}

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
  if (FCalcFieldsSize == 0 && !OnCalcFields) return;
  WithCalcBuffer(Buffer, [&] {
    CalculateFields(Buffer);
    return 0;
  });
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
  FCalcBuffer = Buffer;
  if (FState != dsInternalCalc) {
    ClearCalcFields(Buffer);
    for (int i = 0; i < FFields.Count(); ++i) {
      TField* f = FFields[i];
      if (f->FieldKind() != fkLookup || !f->LookupDataSet || !f->LookupDataSet->Active()) continue;
      Variant key = FieldValues(f->KeyFields);
      bool blankKey = key.IsNull();
      for (int k = 0; key.IsArray() && k < key.ArrayCount(); ++k) blankKey = blankKey || key[k].IsNull();
      if (!blankKey) f->SetAsVariant(f->LookupDataSet->Lookup(f->LookupKeyFields, key, f->LookupResultField));
    }
  }
  if (OnCalcFields) OnCalcFields(this);
}

Variant TDataSet::GetStateFieldValue(TDataSetState State, TField* Field) {
  TDataSetState old = SetTempState(State);
  TFinally restore([&] { RestoreState(old); });
  return Field->AsVariant();
}

void TDataSet::SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value) {
  TDataSetState old = SetTempState(State);
  TFinally restore([&] { RestoreState(old); });
  Field->SetAsVariant(Value);
}

void TDataSet::DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative) {
  switch (Field->DataType()) {
    case ftDate:
    case ftTime:
    case ftDateTime:
      if (ToNative) {
        TDateTime dt;
        std::memcpy(&dt, Source, sizeof dt);
        TTimeStamp ts = DateTimeToTimeStamp(dt);
        if (Field->DataType() == ftDateTime) {
          double ms = TimeStampToMSecs(ts);
          std::memcpy(Dest, &ms, sizeof ms);
        } else {
          int32_t v = Field->DataType() == ftDate ? ts.Date : ts.Time;
          std::memcpy(Dest, &v, sizeof v);
        }
      } else {
        TTimeStamp ts;
        if (Field->DataType() == ftDateTime) {
          double ms;
          std::memcpy(&ms, Source, sizeof ms);
          ts = MSecsToTimeStamp(ms);
        } else {
          int32_t v;
          std::memcpy(&v, Source, sizeof v);
          if (Field->DataType() == ftDate) {
            ts.Date = v;
          } else {
            ts.Date = DateDelta;
            ts.Time = v;
          }
        }
        TDateTime dt = TimeStampToDateTime(ts);
        std::memcpy(Dest, &dt, sizeof dt);
      }
      break;
    default: std::memcpy(Dest, Source, static_cast<std::size_t>(Field->DataSize())); break;
  }
}

// ---- The buffer ring ----------------------------------------------------------------------------
TRecordBuffer TDataSet::ActiveBuffer() const {
  if (FActiveRecord >= static_cast<int>(FBuffers.size())) return nullptr;
  return FBuffers[static_cast<std::size_t>(FActiveRecord)];
}

void TDataSet::SetBufListSize(int Value) {
  if (Value < 0) Value = 0;
  while (static_cast<int>(FBuffers.size()) > Value) {
    TRecordBuffer b = FBuffers.back();
    FBuffers.pop_back();
    FreeRecordBuffer(b);
  }
  while (static_cast<int>(FBuffers.size()) < Value) FBuffers.push_back(AllocRecordBuffer());
  int usable = std::max(0, Value - 1);
  if (FRecordCount > usable) FRecordCount = usable;
  if (FActiveRecord >= std::max(1, FRecordCount)) FActiveRecord = std::max(0, FRecordCount - 1);
  if (FCurrentRecord >= FRecordCount) FCurrentRecord = -1;
}

void TDataSet::SetBufferCount(int Value) {
  if (Value < 1) Value = 1;
  if (FBuffers.empty()) {
    FBufferCount = Value;
    return;
  }
  if (Value == FBufferCount && static_cast<int>(FBuffers.size()) == Value + 1) return;
  if (Value < FRecordCount) {
    // Keep the active record in the smaller window: records before it leave first.
    int drop = std::max(0, FActiveRecord - (Value - 1));
    if (drop > 0) {
      std::rotate(FBuffers.begin(), FBuffers.begin() + drop, FBuffers.begin() + FRecordCount);
      FActiveRecord -= drop;
      FRecordCount -= drop;
      FCurrentRecord = FCurrentRecord >= drop ? FCurrentRecord - drop : -1;
    }
    if (FRecordCount > Value) {
      FRecordCount = Value;
      if (FCurrentRecord >= Value) FCurrentRecord = -1;
    }
  }
  bool grows = Value > FBufferCount;
  FBufferCount = Value;
  SetBufListSize(Value + 1);
  if (grows && FRecordCount > 0 && FState == dsBrowse) {
    GetNextRecords();
    GetPriorRecords();
  }
}

void TDataSet::UpdateBufferCount() {
  int count = 1;
  for (TDataSource* s : FDataSources)
    for (TDataLink* l : s->FDataLinks) count = std::max(count, l->BufferCount());
  SetBufferCount(count);
}

void TDataSet::ClearBuffers() {
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FBOF = true;
  FEOF = true;
}

void TDataSet::ActivateBuffers() {
  FRecordCount = 1;
  FActiveRecord = 0;
  FCurrentRecord = 0;
  FBOF = false;
  FEOF = false;
}

void TDataSet::SetCurrentRecord(int Index) {
  if (FCurrentRecord == Index) return;
  TRecordBuffer b = FBuffers[static_cast<std::size_t>(Index)];
  switch (GetBookmarkFlag(b)) {
    case bfCurrent:
    case bfInserted: SetToRecordBuffer(b); break;
    case bfBOF: MoveToFirst(); break;
    case bfEOF: MoveToLast(); break;
  }
  FCurrentRecord = Index;
}

void TDataSet::UpdateCursorPos() {
  if (FRecordCount > 0) SetCurrentRecord(FActiveRecord);
}

bool TDataSet::GetNextRecord() {
  if (FRecordCount > 0) SetCurrentRecord(FRecordCount - 1);
  // The spare buffer past the filled ones receives the record.
  if (GetRecord(FBuffers[static_cast<std::size_t>(FRecordCount)], gmNext, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (FRecordCount == 0) {
    ActivateBuffers();
  } else if (FRecordCount == FBufferCount) {
    // Full ring: the first record leaves, everything moves up one.
    std::rotate(FBuffers.begin(), FBuffers.begin() + 1, FBuffers.begin() + FRecordCount + 1);
    if (FActiveRecord > 0) --FActiveRecord;
  } else {
    ++FRecordCount;
  }
  FCurrentRecord = FRecordCount - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (FRecordCount > 0) SetCurrentRecord(0);
  if (GetRecord(FBuffers[static_cast<std::size_t>(FRecordCount)], gmPrior, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (FRecordCount == 0) {
    ActivateBuffers();
  } else {
    // The new record goes first; in a full ring the last one falls out.
    std::rotate(FBuffers.begin(), FBuffers.begin() + FRecordCount, FBuffers.begin() + FRecordCount + 1);
    if (FRecordCount < FBufferCount) ++FRecordCount;
    if (FActiveRecord < FRecordCount - 1) ++FActiveRecord;
  }
  FCurrentRecord = 0;
  return true;
}

int TDataSet::GetNextRecords() {
  int n = 0;
  while (FRecordCount < FBufferCount && GetNextRecord()) ++n;
  return n;
}

int TDataSet::GetPriorRecords() {
  int n = 0;
  while (FRecordCount < FBufferCount && GetPriorRecord()) ++n;
  return n;
}

void TDataSet::Resync(TResyncMode Mode) {
  CheckActive();
  TRecordBuffer spare = FBuffers[static_cast<std::size_t>(FRecordCount)];
  if (Mode & rmExact) {
    CursorPosChanged();
    if (GetRecord(spare, gmCurrent, true) != grOK) DatabaseError(SRecordNotFound);
  } else if (GetRecord(spare, gmCurrent, false) != grOK && GetRecord(spare, gmNext, false) != grOK &&
             GetRecord(spare, gmPrior, false) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  int count = (Mode & rmCenter) ? (FBufferCount - 1) / 2 : FActiveRecord;
  std::swap(FBuffers[0], FBuffers[static_cast<std::size_t>(FRecordCount)]);
  ActivateBuffers();
  TFinally notify([&] { DataEvent(deDataSetChange, 0); });
  while (count > 0 && GetPriorRecord()) --count;
  GetNextRecords();
  GetPriorRecords();
}

// ---- Navigation ---------------------------------------------------------------------------------
void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  {
    TFinally done([&] {
      FBOF = true;
      DataEvent(deDataSetChange, 0);
    });
    MoveToFirst();
    GetNextRecord();
    GetNextRecords();
  }
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  {
    TFinally done([&] {
      FEOF = true;
      DataEvent(deDataSetChange, 0);
    });
    MoveToLast();
    GetPriorRecord();
    GetPriorRecords();
  }
  DoAfterScroll();
}

int TDataSet::MoveBy(int Distance) {
  CheckBrowseMode();
  int moved = 0;
  DoBeforeScroll();
  if ((Distance > 0 && !FEOF) || (Distance < 0 && !FBOF)) {
    FBOF = false;
    FEOF = false;
    int oldCount = FRecordCount;
    int scrolled = 0;
    {
      TFinally notify([&] {
        if (FRecordCount != oldCount) DataEvent(deDataSetChange, 0);
        else DataEvent(deDataSetScroll, scrolled);
      });
      while (Distance > 0) {
        if (FActiveRecord < FRecordCount - 1) {
          ++FActiveRecord;
        } else {
          int before = FRecordCount;
          if (!GetNextRecord()) {
            FEOF = true;
            break;
          }
          if (FRecordCount == before) --scrolled;
          FActiveRecord = FRecordCount - 1;
        }
        --Distance;
        ++moved;
      }
      while (Distance < 0) {
        if (FActiveRecord > 0) {
          --FActiveRecord;
        } else {
          int before = FRecordCount;
          if (!GetPriorRecord()) {
            FBOF = true;
            break;
          }
          if (FRecordCount == before) ++scrolled;
          FActiveRecord = 0;
        }
        ++Distance;
        --moved;
      }
    }
    DoAfterScroll();
  }
  return moved;
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  UpdateCursorPos();
  TFinally resync([&] { Resync(0); });
  RefreshCursor();
}

// ---- Editing ------------------------------------------------------------------------------------
void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (FState) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (FModified) Post();
      else Cancel();
      break;
    case dsSetKey: Post(); break;
    default: break;
  }
}

void TDataSet::UpdateRecord() {
  if (!IsEditMode(FState)) DatabaseError(SNotEditing);
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    FillNewRecord();
  } catch (...) {
    UpdateCursorPos();
    SetState(dsBrowse);
    Resync(0);
    throw;
  }
  // Values set while filling the new record are defaults, not the user's changes.
  FModified = false;
  DataEvent(deDataSetChange, 0);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::PrepareInsertBuffer() {
  TBookmark neighbour;
  if (FRecordCount > 0) {
    neighbour.assign(static_cast<std::size_t>(FBookmarkSize), '\0');
    GetBookmarkData(ActiveBuffer(), neighbour.data());
  }
  // A fresh buffer goes in at the active position; the records from there move down one.
  std::rotate(FBuffers.begin() + FActiveRecord, FBuffers.begin() + FRecordCount, FBuffers.begin() + FRecordCount + 1);
  TRecordBuffer b = ActiveBuffer();
  InitRecordBuffer(b);
  // The new record remembers the record it stands before, so that the cursor can go back there.
  if (FRecordCount == 0) SetBookmarkFlag(b, bfBOF);
  else SetBookmarkData(b, neighbour.data());
  if (FRecordCount < FBufferCount) ++FRecordCount;
  if (FCurrentRecord >= FActiveRecord) ++FCurrentRecord;
  if (FCurrentRecord >= FRecordCount) FCurrentRecord = -1;
  FBOF = false;
  FEOF = false;
}

void TDataSet::PrepareAppendBuffer() {
  ClearBuffers();
  TRecordBuffer b = FBuffers[0];
  InitRecordBuffer(b);
  SetBookmarkFlag(b, bfEOF);
  FRecordCount = 1;
  FBOF = false;
  GetPriorRecords();
  FEOF = true;
}

void TDataSet::Insert() {
  BeginInsertAppend();
  PrepareInsertBuffer();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  PrepareAppendBuffer();
  EndInsertAppend();
}

void TDataSet::Edit() {
  if (FState == dsEdit || FState == dsInsert) return;
  if (FRecordCount == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeEdit();
  CheckOperation(
      [this] {
        UpdateCursorPos();
        EditRecord();
      },
      OnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  DoAfterEdit();
}

void TDataSet::Post() {
  UpdateRecord();
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforePost();
  CheckOperation(
      [this] {
        CheckRequiredFields();
        if (FState == dsEdit) UpdateCursorPos();
        PostRecord();
      },
      OnPostError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(0);
  DoAfterPost();
}

void TDataSet::Cancel() {
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeCancel();
  UpdateCursorPos();
  ReleaseEditLock();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(0);
  DoAfterCancel();
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert || FState == dsSetKey) {
    Cancel();
    return;
  }
  if (FRecordCount == 0) DatabaseError(SDataSetEmpty);
  CheckCanModify();
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeDelete();
  DoBeforeScroll();
  CheckOperation(
      [this] {
        UpdateCursorPos();
        DeleteCurrentRecord();
      },
      OnDeleteError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(0);
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::SetFields(const std::vector<Variant>& Values) {
  if (FState != dsEdit && FState != dsInsert) DatabaseError(SNotEditing);
  if (static_cast<int>(Values.size()) > FFields.Count()) DatabaseError(SFieldIndexError);
  for (std::size_t i = 0; i < Values.size(); ++i)
    if (!Values[i].IsEmpty()) FFields[static_cast<int>(i)]->SetAsVariant(Values[i]);
}

void TDataSet::ClearFields() {
  if (FState != dsEdit && FState != dsInsert) DatabaseError(SNotEditing);
  for (int i = 0; i < FFields.Count(); ++i)
    if (FFields[i]->FieldKind() == fkData) FFields[i]->Clear();
}

void TDataSet::AddOrInsertRecord(const std::vector<Variant>& Values, bool Append) {
  BeginInsertAppend();
  if (Append) PrepareAppendBuffer();
  else PrepareInsertBuffer();
  SetState(dsInsert);
  // A failure leaves no half-made record behind: the dataset goes back to browsing.
  TOnError back([this] {
    try {
      FreeFieldBuffers();
      UpdateCursorPos();
      SetState(dsBrowse);
      Resync(0);
    } catch (...) {
    }
  });
  FillNewRecord();
  SetFields(Values);
  DoBeforePost();
  CheckOperation(
      [&] {
        CheckRequiredFields();
        AddRecord(ActiveBuffer(), Append);
      },
      OnPostError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(0);
  DoAfterPost();
  DoAfterScroll();
}

void TDataSet::AppendRecord(const std::vector<Variant>& Values) { AddOrInsertRecord(Values, true); }
void TDataSet::InsertRecord(const std::vector<Variant>& Values) { AddOrInsertRecord(Values, false); }

void TDataSet::FreeFieldBuffers() {
  // BLOBs written for the record just posted or dropped are closed; the next record starts clean.
  for (int i = 0; i < FFields.Count(); ++i) {
    auto* blob = dynamic_cast<TBlobField*>(FFields[i]);
    if (!blob || !blob->Modified()) continue;
    blob->SetModified(false);
    CloseBlob(blob);
  }
}

void TDataSet::InitRecordBuffer(TRecordBuffer Buffer) {
  InitRecordDefaults(Buffer);
  ClearCalcFields(Buffer);
  SetBookmarkFlag(Buffer, bfInserted);
}

void TDataSet::FillNewRecord() {
  if (OnNewRecord) OnNewRecord(this);
}

// ---- Bookmarks ----------------------------------------------------------------------------------
bool TDataSet::BookmarkAvailable() {
  return (FState == dsBrowse || FState == dsEdit || FState == dsInsert) && !IsEmpty() &&
         GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::GetBookmark() {
  if (!BookmarkAvailable()) return TBookmark();
  TBookmark b(static_cast<std::size_t>(FBookmarkSize), '\0');
  GetBookmarkData(ActiveBuffer(), b.data());
  return b;
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
  if (Bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  GotoBookmark(static_cast<const void*>(Bookmark.data()));
  Resync(rmExact | rmCenter);
  DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark& Bookmark) {
  (void)Bookmark;
  return false;
}

int TDataSet::CompareBookmarks(const TBookmark& B1, const TBookmark& B2) {
  if (B1.empty() && B2.empty()) return 0;
  if (B1.empty()) return 1;
  if (B2.empty()) return -1;
  int c = B1.compare(B2);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool TDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
  (void)Buffer;
  return false;
}

TStream* TDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  (void)Field;
  (void)Mode;
  return nullptr;
}

int TDataSet::Translate(const char* Src, char* Dest, bool ToOem) {
  (void)ToOem;
  std::size_t n = std::strlen(Src);
  if (Dest != Src) std::memcpy(Dest, Src, n + 1);
  return static_cast<int>(n);
}

// ---- Filters ------------------------------------------------------------------------------------
void TDataSet::SetFilterText(const std::string& Value) { FFilterText = Value; }
void TDataSet::SetFiltered(bool Value) { FFiltered = Value; }
void TDataSet::SetFilterOptions(TFilterOptions Value) { FFilterOptions = Value; }
void TDataSet::SetOnFilterRecord(const TFilterRecordEvent& Value) { FOnFilterRecord = Value; }

bool TDataSet::FindRecord(bool Restart, bool GoForward) {
  (void)Restart;
  (void)GoForward;
  return false;
}

bool TDataSet::FindFirst() { return FFound = FindRecord(true, true); }
bool TDataSet::FindNext() { return FFound = FindRecord(false, true); }
bool TDataSet::FindPrior() { return FFound = FindRecord(false, false); }
bool TDataSet::FindLast() { return FFound = FindRecord(true, false); }

// ---- Searches -----------------------------------------------------------------------------------
bool TDataSet::FieldMatches(TField* Field, const Variant& Key, TLocateOptions Options) {
  bool isNull = Field->IsNull();
  if (Key.IsClear()) return isNull;
  if (isNull) return false;
  if (Field->DataType() == ftString || Field->DataType() == ftFixedChar || Field->DataType() == ftMemo ||
      Field->DataType() == ftWideString) {
    std::string value = Field->AsString();
    std::string key = Key.AsString();
    if ((Options & loPartialKey) && value.size() > key.size()) value.resize(key.size());
    return (Options & loCaseInsensitive) ? AnsiSameText(value, key) : value == key;
  }
  return VarSameValue(Field->AsVariant(), Key);
}

bool TDataSet::LocateRecord(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  CheckBrowseMode();
  std::vector<TField*> fields;
  GetFieldList(fields, KeyFields);
  if (fields.size() > 1 && (!KeyValues.IsArray() || KeyValues.ArrayCount() < static_cast<int>(fields.size())))
    DatabaseError(SFieldIndexError);
  CursorPosChanged();
  TRecordBuffer buf = TempBuffer();
  MoveToFirst();
  while (GetRecord(buf, gmNext, true) == grOK) {
    bool match = WithCalcBuffer(buf, [&] {
      for (std::size_t i = 0; i < fields.size(); ++i) {
        const Variant& key = fields.size() == 1 ? KeyValues : KeyValues[static_cast<int>(i)];
        if (!FieldMatches(fields[i], key, Options)) return false;
      }
      return true;
    });
    if (match) return true;
  }
  return false;
}

bool TDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  CheckBrowseMode();
  DoBeforeScroll();
  bool found = LocateRecord(KeyFields, KeyValues, Options);
  if (found) {
    Resync(rmExact | rmCenter);
    DoAfterScroll();
  }
  return found;
}

Variant TDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields) {
  if (!LocateRecord(KeyFields, KeyValues, 0)) return Variant::Null();
  return WithCalcBuffer(TempBuffer(), [&] { return FieldValues(ResultFields); });
}

// ---- Master/detail ------------------------------------------------------------------------------
bool TDataSet::IsLinkedTo(TDataSource* ADataSource) {
  // Walks up the chain of masters; a chain longer than the number of links cannot end.
  for (int guard = 0; ADataSource && guard < 10000; ++guard) {
    TDataSet* ds = ADataSource->DataSet();
    if (!ds) return false;
    if (ds == this) return true;
    ADataSource = ds->GetDataSource();
  }
  return ADataSource != nullptr;
}

void TDataSet::AddDataSource(TDataSource* Source) {
  FDataSources.push_back(Source);
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* Source) {
  FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), Source), FDataSources.end());
  if (!HasState(csDestroying)) UpdateBufferCount();
}
