#include "dbengine/storage/components/vxdb_table.h"

#include <cstring>
#include <vector>

#include "dbengine/storage/components/engine_bridge.h"
#include "platform/core/finally.h"

TVXDBTable::TVXDBTable(TComponent* AOwner) : TVXDBDBDataSet(AOwner), FIndexDefs(this) {
  FMasterLink = new TMasterDataLink(this);
  FMasterLink->OnMasterChange = [this](TObject*) { MasterChanged(); };
  FMasterLink->OnMasterDisable = [this](TObject*) { MasterDisabled(); };
}

TVXDBTable::~TVXDBTable() {
  Destroying();
  try {
    Close();
  } catch (...) {
  }
  delete FMasterLink;
}

void TVXDBTable::SetExclusive(bool Value) {
  CheckInactive();
  FExclusive = Value;
}

void TVXDBTable::SetReadOnly(bool Value) {
  CheckInactive();
  FReadOnly = Value;
}

void TVXDBTable::SetInMemory(bool Value) {
  CheckInactive();
  FInMemory = Value;
  if (Value) SetDatabaseName("Memory");
}

void TVXDBTable::SetDatabaseName(const std::string& Value) {
  TVXDBDBDataSet::SetDatabaseName(FInMemory ? std::string("Memory") : Value);
}

void TVXDBTable::SetTableName(const std::string& Value) {
  if (Value == FTableName) return;
  CheckInactive();
  std::size_t Slash = Value.find_last_of("/\\");
  if (Slash != std::string::npos) {
    FTableName = Value.substr(Slash + 1);
    if (!FInMemory) SetDatabaseName(Value.substr(0, Slash + 1));
  } else {
    FTableName = Value;
  }
  DataEvent(dePropertyChange, 0);
}

void TVXDBTable::SetMasterSource(TDataSource* Value) {
  if (Value != nullptr && Value->IsLinkedTo(this)) DatabaseError(SCircularDataLink);
  FMasterLink->SetDataSource(Value);
}

bool TVXDBTable::GetCanModify() { return TVXDBDBDataSet::GetCanModify() && !FReadOnly; }

void TVXDBTable::DataEvent(TDataEvent Event, intptr_t Info) {
  if (Event == dePropertyChange) FIndexDefs.SetUpdated(false);
  TVXDBDBDataSet::DataEvent(Event, Info);
}

// ---- Opening -------------------------------------------------------------------------------------
TDataCursor* TVXDBTable::CreateHandle() {
  if (Trim(FTableName).empty()) DatabaseError(SNoTableName);
  FIndexDefs.SetUpdated(false);
  TDataCursor* C = EngNewCursor(DirectoryHandle());
  try {
    TEngCursorOptions O;
    O.TableName = FTableName;
    O.Exclusive = FExclusive;
    O.ReadOnly = FReadOnly;
    O.InMemory = FInMemory;
    TVXDBSession* S = Database() != nullptr ? Database()->Session() : nullptr;
    if (S != nullptr) O.OnPassword = [S] { return S->GetPassword(); };
    EngOpenCursor(C, O);
    // Files that cannot be written open the table read-only.
    FReadOnly = EngCursorReadOnly(C);
    ReadIndexDefsFrom(C);
    EngSetIndexName(C, ResolveIndexName(FIndexText, FIndexByFields));
  } catch (...) {
    EngFreeCursor(C);
    throw;
  }
  return C;
}

void TVXDBTable::DestroyHandle() {
  ResetIndexCache();
  TVXDBDBDataSet::DestroyHandle();
}

std::string TVXDBTable::ResolveIndexName(const std::string& Text, bool ByFields) {
  if (!ByFields || Trim(Text).empty()) return Text;
  FIndexDefs.Update();
  return FIndexDefs.FindIndexForFields(Text)->Name;
}

void TVXDBTable::ReadIndexDefsFrom(TDataCursor* C) {
  FIndexDefs.BeginUpdate();
  TFinally Done([this] { FIndexDefs.EndUpdate(); });
  FIndexDefs.Clear();
  uint8_t Desc[kEngIndexDescSize];
  uint8_t Field[kEngFieldDescSize];
  const int FieldCount = EngFieldCount(C);
  for (int N = EngHasNoPrimaryKey(C) ? 1 : 0; N <= EngIndexCount(C); ++N) {
    EngIndexDesc(C, N, Desc);
    std::string Fields;
    for (int I = 0; I < Desc[kIDFieldCount] && I < 16; ++I) {
      int No = EngU16(Desc + kIDFieldNumbers + 2 * I);
      if (No < 1 || No > FieldCount) continue;
      EngFieldDesc(C, No, Field);
      if (!Fields.empty()) Fields += ';';
      Fields += EngShortString(Field + kFDName, 30);
    }
    TIndexOptions Options = 0;
    if (N == 0) Options |= ixPrimary;
    if (Desc[kIDDescending] != 0) Options |= ixDescending;
    if (Desc[kIDCaseInsensitive] != 0) Options |= ixCaseInsensitive;
    if (Desc[kIDUnique] != 0) Options |= ixUnique;
    FIndexDefs.Add(EngShortString(Desc + kIDName, 30), Fields, Options);
  }
  FIndexDefs.SetUpdated(true);
}

void TVXDBTable::ReadIndexDefs() {
  if (FIndexDefs.Updated()) return;
  if (Trim(FTableName).empty()) DatabaseError(SNoTableName);
  if (FCursor != nullptr) {
    ReadIndexDefsFrom(FCursor);
    return;
  }
  // A closed table reads its definitions through a cursor of its own, held only for that.
  SetDatabaseFlag(1, true);
  TFinally Leave([this] { SetDatabaseFlag(1, false); });
  TDataCursor* C = EngNewCursor(DirectoryHandle());
  TFinally Free([&C] { EngFreeCursor(C); });
  TEngCursorOptions O;
  O.TableName = FTableName;
  O.Exclusive = FExclusive;
  O.ReadOnly = FReadOnly;
  O.InMemory = FInMemory;
  O.SequentialScan = true;
  EngOpenCursor(C, O);
  ReadIndexDefsFrom(C);
}

// ---- Index selection -----------------------------------------------------------------------------
void TVXDBTable::SetIndex(const std::string& Text, bool ByFields) {
  if (Active()) CheckBrowseMode();
  if (FIndexText == Text && FIndexByFields == ByFields) return;
  if (Active()) {
    std::string Name = ResolveIndexName(Text, ByFields);
    UpdateCursorPos();
    SetIndexByName(Name);
    ApplyMasterRange();
    Resync(0);
  }
  FIndexText = Text;
  FIndexByFields = ByFields;
}

void TVXDBTable::ApplyIndexSelection() { ApplyMasterRange(); }

namespace {

std::vector<std::string> FieldNameList(const std::string& Names) {
  std::vector<std::string> R;
  std::size_t Start = 0;
  while (Start <= Names.size()) {
    std::size_t End = Names.find(';', Start);
    if (End == std::string::npos) End = Names.size();
    std::string Name = Trim(Names.substr(Start, End - Start));
    if (!Name.empty()) R.push_back(Name);
    Start = End + 1;
  }
  return R;
}

// True when the index's key fields begin with Fields, in that order.
bool IndexStartsWith(const TIndexDef* Def, const std::vector<std::string>& Fields) {
  const std::vector<std::string> Keys = FieldNameList(Def->Fields);
  if (Fields.empty() || Fields.size() > Keys.size()) return false;
  for (std::size_t I = 0; I < Fields.size(); ++I)
    if (!SameText(Fields[I], Keys[I])) return false;
  return true;
}

}  // namespace

TDataCursor* TVXDBTable::FindIndexForFields(const std::string& KeyFields, bool CaseInsensitive) {
  if (FLookupCached && SameText(KeyFields, FLookupFields) && CaseInsensitive == FLookupCaseInsensitive)
    return FLookupCursor;
  ResetIndexCache();
  if (!RangeActive()) {
    FIndexDefs.Update();
    const std::vector<std::string> Fields = FieldNameList(KeyFields);
    for (int I = 0; I < FIndexDefs.Count(); ++I) {
      const TIndexDef* Def = FIndexDefs.Items(I);
      if (((Def->Options & ixCaseInsensitive) != 0) != CaseInsensitive || !IndexStartsWith(Def, Fields)) continue;
      TDataCursor* Clone = EngCloneCursor(FCursor);
      try {
        EngSetIndexName(Clone, Def->Name);
      } catch (...) {
        EngFreeCursor(Clone);
        throw;
      }
      FLookupCursor = Clone;
      break;
    }
  }
  FLookupCached = true;
  FLookupFields = KeyFields;
  FLookupCaseInsensitive = CaseInsensitive;
  return FLookupCursor;
}

void TVXDBTable::ResetIndexCache() {
  EngFreeCursor(FLookupCursor);
  FLookupCached = false;
  FLookupFields.clear();
}

// ---- Master/detail -------------------------------------------------------------------------------
bool TVXDBTable::MasterLinked() const { return FMasterLink->Active() && !FMasterLink->Fields().empty(); }

void TVXDBTable::ApplyMasterRange() {
  if (!MasterLinked()) return;
  SetLinkRange(FMasterLink->Fields());
  ApplyRange();
}

void TVXDBTable::MasterChanged() {
  CheckBrowseMode();
  SetLinkRange(FMasterLink->Fields());
  if (ApplyRange()) First();
}

void TVXDBTable::MasterDisabled() {
  CheckBrowseMode();
  UpdateCursorPos();
  if (CancelRange()) Resync(0);
}

void TVXDBTable::FillNewRecord() {
  if (MasterLinked()) {
    const auto& Master = FMasterLink->Fields();
    for (int I = 0; I < static_cast<int>(Master.size()) && I < IndexFieldCount(); ++I)
      GetIndexField(I)->SetAsVariant(Master[static_cast<std::size_t>(I)]->AsVariant());
  }
  TVXDBDBDataSet::FillNewRecord();
}

// ---- Locks ---------------------------------------------------------------------------------------
bool TVXDBTable::IsRecordLocked() {
  CheckActive();
  UpdateCursorPos();
  return EngIsRecordLocked(FCursor);
}

bool TVXDBTable::LockSlot(int N) {
  CheckActive();
  return EngLockSlot(FCursor, N);
}

bool TVXDBTable::UnlockSlot(int N) {
  CheckActive();
  return EngUnlockSlot(FCursor, N);
}
