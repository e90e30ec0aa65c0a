// Data sources, data links and the master link of a detail dataset.
#include <algorithm>

#include "platform/data/db.h"

// ---- TDataSource --------------------------------------------------------------------------------
TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
  Destroying();
  while (!FDataLinks.empty()) FDataLinks.back()->SetDataSource(nullptr);
  SetDataSet(nullptr);
}

bool TDataSource::IsLinkedTo(TDataSet* ADataSet) const {
  for (int guard = 0; ADataSet && guard < 10000; ++guard) {
    TDataSource* s = ADataSet->GetDataSource();
    if (!s) return false;
    if (s == this) return true;
    ADataSet = s->DataSet();
  }
  return ADataSet != nullptr;
}

void TDataSource::SetDataSet(TDataSet* ADataSet) {
  if (ADataSet == FDataSet) return;
  if (ADataSet && IsLinkedTo(ADataSet)) DatabaseError(SCircularDataLink);
  if (FDataSet) {
    FDataSet->RemoveDataSource(this);
    RemoveFreeNotification(FDataSet);
  }
  FDataSet = ADataSet;
  if (FDataSet) {
    FreeNotification(FDataSet);
    FDataSet->AddDataSource(this);
  }
  UpdateState();
}

void TDataSource::SetEnabled(bool Value) {
  FEnabled = Value;
  UpdateState();
}

void TDataSource::Edit() {
  if (AutoEdit && FDataSet && FState == dsBrowse) FDataSet->Edit();
}

void TDataSource::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDataSet) SetDataSet(nullptr);
}

void TDataSource::UpdateState() {
  TDataSetState state = (FDataSet && FEnabled) ? FDataSet->State() : dsInactive;
  std::vector<TDataLink*> links = FDataLinks;
  for (TDataLink* l : links) l->UpdateState();
  if (state != FState) {
    FState = state;
    if (OnStateChange && !HasState(csDestroying)) OnStateChange(this);
  }
}

void TDataSource::DataEvent(TDataEvent Event, intptr_t Info) {
  if (Event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!FEnabled) return;
  std::vector<TDataLink*> links = FDataLinks;
  for (TDataLink* l : links) {
    // A link removed by an earlier one's reaction hears nothing more.
    if (std::find(FDataLinks.begin(), FDataLinks.end(), l) != FDataLinks.end()) l->DataEvent(Event, Info);
  }
  switch (Event) {
    case deFieldChange:
    case deRecordChange:
      if (OnDataChange) OnDataChange(this, reinterpret_cast<TField*>(Info));
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(this, nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default: break;
  }
}

void TDataSource::AddDataLink(TDataLink* Link) {
  FDataLinks.push_back(Link);
  Link->FDataSource = this;
  if (FDataSet) FDataSet->UpdateBufferCount();
  Link->UpdateState();
}

void TDataSource::RemoveDataLink(TDataLink* Link) {
  FDataLinks.erase(std::remove(FDataLinks.begin(), FDataLinks.end(), Link), FDataLinks.end());
  Link->FDataSource = nullptr;
  Link->UpdateState();
  if (FDataSet && !FDataSet->HasState(csDestroying)) FDataSet->UpdateBufferCount();
}

// ---- TDataLink ----------------------------------------------------------------------------------
TDataLink::~TDataLink() {
  // A derived link's reactions are gone by now: leave quietly.
  if (FDataSource) {
    auto& v = FDataSource->FDataLinks;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    if (FDataSource->FDataSet && !FDataSource->FDataSet->HasState(csDestroying)) FDataSource->FDataSet->UpdateBufferCount();
    FDataSource = nullptr;
  }
}

TDataSet* TDataLink::DataSet() const { return FDataSource ? FDataSource->DataSet() : nullptr; }

void TDataLink::SetDataSource(TDataSource* ADataSource) {
  if (ADataSource == FDataSource) return;
  TDataSet* detail = GetDetailDataSet();
  if (ADataSource && detail && detail->IsLinkedTo(ADataSource)) DatabaseError(SCircularDataLink);
  if (FDataSource) FDataSource->RemoveDataLink(this);
  if (ADataSource) ADataSource->AddDataLink(this);
}

void TDataLink::SetBufferCount(int Value) {
  if (Value < 1) Value = 1;
  if (Value == FBufferCount) return;
  FBufferCount = Value;
  if (TDataSet* ds = DataSet()) {
    ds->UpdateBufferCount();
    if (FActive) UpdateRange();
  }
}

void TDataLink::UpdateState() {
  TDataSet* ds = DataSet();
  SetActive(FDataSource && FDataSource->Enabled() && ds && ds->Active());
  SetEditing(FActive && (ds->State() == dsEdit || ds->State() == dsInsert || ds->State() == dsSetKey));
}

void TDataLink::SetActive(bool Value) {
  if (Value == FActive) return;
  FActive = Value;
  if (Value) UpdateRange();
  else FFirstRecord = 0;
  ActiveChanged();
}

void TDataLink::SetEditing(bool Value) {
  if (Value == FEditing) return;
  FEditing = Value;
  EditingChanged();
}

void TDataLink::UpdateRange() {
  TDataSet* ds = DataSet();
  if (!ds) return;
  // The window of BufferCount records holds the dataset's active record.
  int active = ds->FActiveRecord;
  int lo = std::max(0, active - FBufferCount + 1);
  int hi = std::min(active, std::max(0, ds->FBufferCount - FBufferCount));
  if (FFirstRecord < lo) FFirstRecord = lo;
  if (FFirstRecord > hi) FFirstRecord = hi;
  if (FFirstRecord < 0) FFirstRecord = 0;
}

int TDataLink::ActiveRecord() const {
  TDataSet* ds = DataSet();
  return (ds && FActive) ? ds->FActiveRecord - FFirstRecord : 0;
}

int TDataLink::RecordCount() const {
  TDataSet* ds = DataSet();
  if (!ds || !FActive) return 0;
  return std::max(0, std::min(ds->FRecordCount - FFirstRecord, FBufferCount));
}

bool TDataLink::Edit() {
  if (FDataSource && !FEditing) FDataSource->Edit();
  return FEditing;
}

void TDataLink::UpdateRecord() {
  FUpdating = true;
  try {
    UpdateData();
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
}

void TDataLink::DataEvent(TDataEvent Event, intptr_t Info) {
  switch (Event) {
    case deFieldChange:
    case deRecordChange:
      if (!FUpdating) RecordChanged(reinterpret_cast<TField*>(Info));
      break;
    case deDataSetChange:
      UpdateRange();
      DataSetChanged();
      break;
    case deDataSetScroll:
      // The dataset's buffers moved by Info positions; the window follows its records.
      FFirstRecord += static_cast<int>(Info);
      UpdateRange();
      DataSetScrolled(static_cast<int>(Info));
      break;
    case deLayoutChange:
      UpdateRange();
      LayoutChanged();
      break;
    case deUpdateRecord: UpdateRecord(); break;
    case deCheckBrowseMode: CheckBrowseMode(); break;
    case deFocusControl: FocusControl(reinterpret_cast<TField*>(Info)); break;
    default: break;
  }
}

// ---- TMasterDataLink ----------------------------------------------------------------------------
void TMasterDataLink::SetFieldNames(const std::string& Value) {
  if (Value == FFieldNames) return;
  FFieldNames = Value;
  ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  FFields.clear();
  if (Active()) {
    try {
      DataSet()->GetFieldList(FFields, FFieldNames);
    } catch (...) {
      FFields.clear();
      throw;
    }
  }
  if (FDataSet->Active() && !FDataSet->HasState(csDestroying)) {
    if (Active() && !FFields.empty()) {
      if (OnMasterChange) OnMasterChange(this);
    } else if (OnMasterDisable) {
      OnMasterDisable(this);
    }
  }
}

void TMasterDataLink::CheckBrowseMode() {
  if (FDataSet->Active()) FDataSet->CheckBrowseMode();
}

void TMasterDataLink::RecordChanged(TField* Field) {
  if (!DataSource() || DataSource()->State() == dsSetKey || !FDataSet->Active() || FFields.empty()) return;
  if (Field && std::find(FFields.begin(), FFields.end(), Field) == FFields.end()) return;
  if (OnMasterChange) OnMasterChange(this);
}
