#include "platform/data/tests/memory_dataset.h"

#include <cstring>

TMemoryDataSet::TMemoryDataSet(TComponent* AOwner) : TDataSet(AOwner), FMasterLink(new TMasterDataLink(this)) {
  FMasterLink->OnMasterChange = [this](TObject*) { MasterChanged(); };
  FMasterLink->OnMasterDisable = [this](TObject*) { MasterDisabled(); };
}

TMemoryDataSet::~TMemoryDataSet() {
  Destroying();
  Close();
  delete FMasterLink;
}

// ---- Layout -------------------------------------------------------------------------------------
int TMemoryDataSet::NativeSize(const TFieldDef* Def) const {
  switch (Def->DataType) {
    case ftString: return Def->Size + 1;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: case ftDate: case ftTime: return 4;
    case ftFloat: case ftCurrency: case ftBCD: case ftDateTime: return 8;
    case ftBytes: return Def->Size;
    case ftVarBytes: return Def->Size + 2;
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftTypedBinary: return 4;
    default: return 0;
  }
}

void TMemoryDataSet::BuildFieldDefs() {
  FieldDefs()->Clear();
  for (const TColumn& c : Columns) FieldDefs()->Add(FieldDefs()->UniqueName(c.Name), c.Type, c.Size, c.Required);
}

void TMemoryDataSet::OpenDataSet() {
  BuildFieldDefs();
  FieldDefs()->SetUpdated(true);
  FOffsets.clear();
  FSizes.clear();
  FRecordSize = 0;
  for (int i = 0; i < FieldDefs()->Count(); ++i) {
    FOffsets.push_back(FRecordSize);
    FSizes.push_back(NativeSize(FieldDefs()->Items(i)));
    FRecordSize += 1 + FSizes.back();
  }
  if (DefaultFields()) CreateFields();
  BindFields(true);
  SetBookmarkSize(4);
  FRecInfoOffset = FRecordSize + CalcFieldsSize();
  FBookmarkOffset = FRecInfoOffset + 8;
  FBufferSize = FBookmarkOffset + BookmarkSize();
  FFilterBuffer = AllocRecordBuffer();
  FOldValueBuffer = AllocRecordBuffer();
  FPos = -1;
  FCursorOpen = true;
}

void TMemoryDataSet::CloseDataSet() {
  FreeRecordBuffer(FFilterBuffer);
  FreeRecordBuffer(FOldValueBuffer);
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  FCursorOpen = false;
}

TRecordBuffer TMemoryDataSet::AllocRecordBuffer() { return new uint8_t[static_cast<std::size_t>(FBufferSize)](); }

void TMemoryDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  delete[] Buffer;
  Buffer = nullptr;
}

int TMemoryDataSet::RecordNumberIn(TRecordBuffer Buffer) const {
  int32_t n;
  std::memcpy(&n, Buffer + FRecInfoOffset, 4);
  return n;
}

void TMemoryDataSet::GetBookmarkData(TRecordBuffer Buffer, void* Data) { std::memcpy(Data, Buffer + FBookmarkOffset, 4); }
void TMemoryDataSet::SetBookmarkData(TRecordBuffer Buffer, const void* Data) { std::memcpy(Buffer + FBookmarkOffset, Data, 4); }
TBookmarkFlag TMemoryDataSet::GetBookmarkFlag(TRecordBuffer Buffer) {
  return static_cast<TBookmarkFlag>(Buffer[FRecInfoOffset + 4]);
}
void TMemoryDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  Buffer[FRecInfoOffset + 4] = static_cast<uint8_t>(Value);
}

void TMemoryDataSet::ClearCalcFields(TRecordBuffer Buffer) {
  std::memset(Buffer + FRecordSize, 0, static_cast<std::size_t>(CalcFieldsSize()));
}

void TMemoryDataSet::InitRecordDefaults(TRecordBuffer Buffer) {
  std::memset(Buffer, 0, static_cast<std::size_t>(FRecordSize));
}

void TMemoryDataSet::InitRecordBuffer(TRecordBuffer Buffer) {
  TDataSet::InitRecordBuffer(Buffer);
  int32_t none = -1;
  std::memcpy(Buffer + FRecInfoOffset, &none, 4);
  SetBookmarkFlag(Buffer, bfInserted);
}

// ---- Rows and the cursor ------------------------------------------------------------------------
int TMemoryDataSet::IndexOfId(int32_t Id) const {
  for (std::size_t i = 0; i < FRows.size(); ++i)
    if (FRows[i].Id == Id) return static_cast<int>(i);
  return -1;
}

template <class F>
auto TMemoryDataSet::WithRow(int Row, F Body) {
  std::memcpy(FFilterBuffer, FRows[static_cast<std::size_t>(Row)].Image.data(), static_cast<std::size_t>(FRecordSize));
  TDataSetState old = SetTempState(dsFilter);
  try {
    auto r = Body();
    RestoreState(old);
    return r;
  } catch (...) {
    RestoreState(old);
    throw;
  }
}

Variant TMemoryDataSet::StoredValue(int Row, const std::string& FieldName) {
  return WithRow(Row, [&] { return FieldByName(FieldName)->AsVariant(); });
}

bool TMemoryDataSet::Visible(int Row) {
  return WithRow(Row, [&] {
    std::vector<TField*> detail;
    if (!FRange.empty()) {
      GetFieldList(detail, DetailFields);
      for (std::size_t i = 0; i < detail.size() && i < FRange.size(); ++i)
        if (!VarSameValue(detail[i]->AsVariant(), FRange[i])) return false;
    }
    if (!FFilterActive) return true;
    if (!Filter().empty()) {
      // "NAME=value": '*' at the end matches a prefix unless partial compare is off.
      std::size_t eq = Filter().find('=');
      std::string name = Trim(Filter().substr(0, eq));
      std::string want = eq == std::string::npos ? std::string() : Trim(Filter().substr(eq + 1));
      std::string have = FieldByName(name)->AsString();
      if (!(FilterOptions() & foNoPartialCompare) && !want.empty() && want.back() == '*') {
        want.pop_back();
        if (have.size() > want.size()) have.resize(want.size());
      }
      if (!((FilterOptions() & foCaseInsensitive) ? AnsiSameText(have, want) : have == want)) return false;
    }
    bool accept = true;
    if (OnFilterRecord()) OnFilterRecord()(this, accept);
    return accept;
  });
}

TGetResult TMemoryDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
  int n = static_cast<int>(FRows.size());
  switch (GetMode) {
    case gmNext: {
      int i = FPos + 1;
      while (i < n && !Visible(i)) ++i;
      if (i >= n) {
        FPos = n;
        return grEOF;
      }
      FPos = i;
      break;
    }
    case gmPrior: {
      int i = std::min(FPos, n) - 1;
      while (i >= 0 && !Visible(i)) --i;
      if (i < 0) {
        FPos = -1;
        return grBOF;
      }
      FPos = i;
      break;
    }
    case gmCurrent:
      if (FPos < 0) return grBOF;
      if (FPos >= n) return grEOF;
      if (!Visible(FPos)) {
        if (DoCheck) DatabaseError(SRecordNotFound);
        return grError;
      }
      break;
  }
  const TRow& row = FRows[static_cast<std::size_t>(FPos)];
  std::memcpy(Buffer, row.Image.data(), static_cast<std::size_t>(FRecordSize));
  int32_t recno = 0;
  for (int i = 0; i <= FPos; ++i) recno += Visible(i) ? 1 : 0;
  std::memcpy(Buffer + FRecInfoOffset, &recno, 4);
  SetBookmarkFlag(Buffer, bfCurrent);
  std::memcpy(Buffer + FBookmarkOffset, &row.Id, 4);
  GetCalcFields(Buffer);
  return grOK;
}

void TMemoryDataSet::GotoBookmark(const void* Bookmark) {
  int32_t id;
  std::memcpy(&id, Bookmark, 4);
  int i = IndexOfId(id);
  if (i < 0) DatabaseError(SRecordNotFound);
  FPos = i;
}

void TMemoryDataSet::SetToRecordBuffer(TRecordBuffer Buffer) { GotoBookmark(static_cast<const void*>(Buffer + FBookmarkOffset)); }

bool TMemoryDataSet::BookmarkValid(const TBookmark& Bookmark) {
  if (Bookmark.size() != 4 || !Active()) return false;
  int32_t id;
  std::memcpy(&id, Bookmark.data(), 4);
  return IndexOfId(id) >= 0;
}

int TMemoryDataSet::CompareBookmarks(const TBookmark& B1, const TBookmark& B2) {
  if (B1.empty() || B2.empty()) return TDataSet::CompareBookmarks(B1, B2);
  int32_t a, b;
  std::memcpy(&a, B1.data(), 4);
  std::memcpy(&b, B2.data(), 4);
  int ia = IndexOfId(a), ib = IndexOfId(b);
  return ia < ib ? -1 : (ia > ib ? 1 : 0);
}

int TMemoryDataSet::GetRecordCount() {
  CheckActive();
  int n = 0;
  for (int i = 0; i < static_cast<int>(FRows.size()); ++i) n += Visible(i) ? 1 : 0;
  return n;
}

int TMemoryDataSet::GetRecNo() {
  CheckActive();
  TRecordBuffer b = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  return b && !IsEmpty() ? RecordNumberIn(b) : -1;
}

void TMemoryDataSet::SetRecNo(int Value) {
  CheckBrowseMode();
  if (Value == RecNo()) return;
  DoBeforeScroll();
  int seen = 0;
  for (int i = 0; i < static_cast<int>(FRows.size()); ++i) {
    if (Visible(i) && ++seen == Value) {
      FPos = i;
      Resync(rmCenter);
      DoAfterScroll();
      return;
    }
  }
}

// ---- Field data ---------------------------------------------------------------------------------
TRecordBuffer TMemoryDataSet::ActiveRecBuf() {
  switch (State()) {
    case dsBrowse: return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue: return ActiveBuffer();
    case dsCalcFields:
    case dsInternalCalc: return CalcBuffer();
    case dsFilter: return FFilterBuffer;
    case dsOldValue: {
      int i = -1;
      if (!IsEmpty() && GetBookmarkFlag(ActiveBuffer()) == bfCurrent) {
        int32_t id;
        GetBookmarkData(ActiveBuffer(), &id);
        i = IndexOfId(id);
      }
      if (i < 0) return nullptr;
      std::memcpy(FOldValueBuffer, FRows[static_cast<std::size_t>(i)].Image.data(), static_cast<std::size_t>(FRecordSize));
      return FOldValueBuffer;
    }
    default: return nullptr;
  }
}

bool TMemoryDataSet::GetFieldData(TField* Field, void* Buffer) {
  TRecordBuffer rec = ActiveRecBuf();
  if (!rec) return false;
  if (Field->FieldNo() > 0) {
    std::size_t i = static_cast<std::size_t>(Field->FieldNo() - 1);
    const uint8_t* p = rec + FOffsets[i];
    if (!p[0]) return false;
    if (Buffer) std::memcpy(Buffer, p + 1, static_cast<std::size_t>(FSizes[i]));
    return true;
  }
  TDataSetState s = State();
  if (s != dsBrowse && s != dsEdit && s != dsInsert && s != dsCalcFields) return false;
  const uint8_t* p = rec + FRecordSize + Field->Offset();
  if (!p[0]) return false;
  if (Buffer) std::memcpy(Buffer, p + 1, static_cast<std::size_t>(Field->DataSize()));
  return true;
}

void TMemoryDataSet::SetFieldData(TField* Field, const void* Buffer) {
  TDataSetState s = State();
  if (s != dsEdit && s != dsInsert && s != dsSetKey && s != dsCalcFields && s != dsFilter && s != dsNewValue &&
      s != dsInternalCalc)
    DatabaseError(SNotEditing);
  TRecordBuffer rec = ActiveRecBuf();
  if (Field->FieldNo() < 1) {
    uint8_t* p = rec + FRecordSize + Field->Offset();
    p[0] = Buffer != nullptr;
    if (Buffer) std::memcpy(p + 1, Buffer, static_cast<std::size_t>(Field->DataSize()));
  } else {
    if (s == dsCalcFields) DatabaseError(SNotEditing);
    if (Field->ReadOnly() && s != dsSetKey && s != dsFilter) DatabaseErrorFmt(SFieldReadOnly, {Field->DisplayName()});
    Field->Validate(Buffer);
    std::size_t i = static_cast<std::size_t>(Field->FieldNo() - 1);
    uint8_t* p = rec + FOffsets[i];
    p[0] = Buffer != nullptr;
    if (Buffer) std::memcpy(p + 1, Buffer, static_cast<std::size_t>(FSizes[i]));
    else std::memset(p + 1, 0, static_cast<std::size_t>(FSizes[i]));
  }
  if (s != dsCalcFields && s != dsFilter && s != dsNewValue) DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

// ---- Writing ------------------------------------------------------------------------------------
void TMemoryDataSet::StoreNew(TRecordBuffer Buffer) {
  if (BeforeStore) BeforeStore();
  TRow row{FNextId++, std::vector<uint8_t>(Buffer, Buffer + FRecordSize)};
  // Auto-increment columns take the row's number.
  for (int i = 0; i < FieldDefs()->Count(); ++i) {
    if (FieldDefs()->Items(i)->DataType != ftAutoInc) continue;
    row.Image[static_cast<std::size_t>(FOffsets[static_cast<std::size_t>(i)])] = 1;
    std::memcpy(row.Image.data() + FOffsets[static_cast<std::size_t>(i)] + 1, &row.Id, 4);
  }
  int at = static_cast<int>(FRows.size());
  TBookmarkFlag flag = GetBookmarkFlag(Buffer);
  if (flag == bfBOF) {
    at = 0;
  } else if (flag == bfInserted) {
    int32_t id;
    std::memcpy(&id, Buffer + FBookmarkOffset, 4);
    int i = IndexOfId(id);
    if (i >= 0) at = i;
  }
  FRows.insert(FRows.begin() + at, std::move(row));
  FPos = at;
}

void TMemoryDataSet::AddRecord(TRecordBuffer Buffer, bool Append) {
  (void)Append;
  StoreNew(Buffer);
}

void TMemoryDataSet::PostRecord() {
  if (State() != dsEdit) {
    StoreNew(ActiveBuffer());
    return;
  }
  if (BeforeStore) BeforeStore();
  int32_t id;
  GetBookmarkData(ActiveBuffer(), &id);
  if (FPos < 0 || FPos >= static_cast<int>(FRows.size()) || FRows[static_cast<std::size_t>(FPos)].Id != id)
    DatabaseError(SRecordNotFound);
  std::memcpy(FRows[static_cast<std::size_t>(FPos)].Image.data(), ActiveBuffer(), static_cast<std::size_t>(FRecordSize));
}

void TMemoryDataSet::EditRecord() {
  if (BeforeEditLock) BeforeEditLock();
}

void TMemoryDataSet::DeleteCurrentRecord() {
  if (BeforeRemove) BeforeRemove();
  if (FPos < 0 || FPos >= static_cast<int>(FRows.size())) DatabaseError(SRecordNotFound);
  FRows.erase(FRows.begin() + FPos);
}

// ---- Filters and searches -----------------------------------------------------------------------
void TMemoryDataSet::SetFiltered(bool Value) {
  if (Active() && Value != Filtered()) {
    CheckBrowseMode();
    TDataSet::SetFiltered(Value);
    FFilterActive = Value;
    First();
    return;
  }
  TDataSet::SetFiltered(Value);
  FFilterActive = Value;
}

void TMemoryDataSet::SetFilterText(const std::string& Value) {
  if (Active()) CheckBrowseMode();
  TDataSet::SetFilterText(Value);
  if (Active() && Filtered()) First();
}

void TMemoryDataSet::SetFilterOptions(TFilterOptions Value) {
  if (Active()) CheckBrowseMode();
  TDataSet::SetFilterOptions(Value);
  if (Active() && Filtered()) First();
}

bool TMemoryDataSet::FindRecord(bool Restart, bool GoForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  SetFound(false);
  UpdateCursorPos();
  CursorPosChanged();
  // The search honours the filter even when the dataset is not filtered.
  bool wasActive = FFilterActive;
  FFilterActive = true;
  TGetResult r;
  try {
    if (GoForward) {
      if (Restart) MoveToFirst();
      r = GetRecord(TempBuffer(), gmNext, true);
    } else {
      if (Restart) MoveToLast();
      r = GetRecord(TempBuffer(), gmPrior, true);
    }
  } catch (...) {
    FFilterActive = wasActive;
    throw;
  }
  FFilterActive = wasActive;
  if (r != grOK) return false;
  Resync(rmExact | rmCenter);
  SetFound(true);
  DoAfterScroll();
  return true;
}

// ---- Master/detail ------------------------------------------------------------------------------
void TMemoryDataSet::SetMasterSource(TDataSource* Source) {
  if (Source && IsLinkedTo(Source)) DatabaseError(SCircularDataLink);
  FMasterLink->SetDataSource(Source);
}

void TMemoryDataSet::MasterChanged() {
  CheckBrowseMode();
  std::vector<Variant> range;
  for (TField* f : FMasterLink->Fields()) range.push_back(f->AsVariant());
  if (range == FRange) return;
  FRange = std::move(range);
  First();
}

void TMemoryDataSet::MasterDisabled() {
  CheckBrowseMode();
  if (FRange.empty()) return;
  FRange.clear();
  First();
}

void TMemoryDataSet::FillNewRecord() {
  // A new detail record takes its key from the master's current record.
  if (FMasterLink->Active() && !FMasterLink->Fields().empty()) {
    std::vector<TField*> detail;
    GetFieldList(detail, DetailFields);
    for (std::size_t i = 0; i < detail.size() && i < FMasterLink->Fields().size(); ++i)
      detail[i]->SetAsVariant(FMasterLink->Fields()[i]->AsVariant());
  }
  TDataSet::FillNewRecord();
}

// ---- BLOBs --------------------------------------------------------------------------------------
class TMemoryBlobStream : public TMemoryStream {
 public:
  TMemoryBlobStream(TMemoryDataSet* DataSet, TField* Field, TRecordBuffer Record, TBlobStreamMode Mode)
      : FDataSet(DataSet), FField(Field), FRecord(Record) {
    std::string text;
    if (Mode == bmWrite) FWritten = true;  // a write stream starts empty
    else if (Record && Field->GetData(nullptr)) {
      int32_t slot;
      Field->GetData(&slot);
      text = DataSet->FBlobs[static_cast<std::size_t>(slot)];
    }
    FData.assign(text.begin(), text.end());
  }
  ~TMemoryBlobStream() override {
    if (FWritten && FRecord) FDataSet->BlobWritten(FField, FRecord, std::string(FData.begin(), FData.end()));
  }
  int64_t Write(const void* Buffer, int64_t Count) override {
    FWritten = true;
    return TMemoryStream::Write(Buffer, Count);
  }
  void SetSize(int64_t NewSize) override {
    FWritten = true;
    TMemoryStream::SetSize(NewSize);
  }

 private:
  TMemoryDataSet* FDataSet;
  TField* FField;
  TRecordBuffer FRecord;
  bool FWritten = false;
};

TStream* TMemoryDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  TRecordBuffer rec = ActiveRecBuf();
  if (Mode != bmRead) {
    if (Field->ReadOnly()) DatabaseErrorFmt(SFieldReadOnly, {Field->DisplayName()});
    if (State() != dsEdit && State() != dsInsert) DatabaseError(SNotEditing);
  }
  return new TMemoryBlobStream(this, Field, rec, Mode);
}

void TMemoryDataSet::BlobWritten(TField* Field, TRecordBuffer Record, const std::string& Data) {
  FBlobs.push_back(Data);
  int32_t slot = static_cast<int32_t>(FBlobs.size() - 1);
  uint8_t* p = Record + FOffsets[static_cast<std::size_t>(Field->FieldNo() - 1)];
  p[0] = Data.empty() ? 0 : 1;
  std::memcpy(p + 1, &slot, 4);
  static_cast<TBlobField*>(Field)->SetModified(true);
  DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}
