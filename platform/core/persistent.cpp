// The assignable object and the owned item collection.
#include "platform/core/classes.h"

#include "platform/core/sysutils.h"

#include <algorithm>

// ---- TPersistent --------------------------------------------------------------------------------
void TPersistent::Assign(TPersistent* Source) {
  if (Source != nullptr)
    Source->AssignTo(this);
  else
    AssignTo(this);  // nothing to copy from: report the failure for this class
}

void TPersistent::AssignTo(TPersistent* Dest) {
  const std::string source = Dest == this ? std::string("nil") : ClassName();
  throw EConvertError("Cannot assign a " + source + " to a " + Dest->ClassName());
}

// ---- TCollectionItem ----------------------------------------------------------------------------
TCollectionItem::TCollectionItem(TCollection* ACollection) { SetCollection(ACollection); }

TCollectionItem::~TCollectionItem() {
  if (FCollection != nullptr) FCollection->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* Value) {
  if (Value == FCollection) return;
  if (FCollection != nullptr) FCollection->RemoveItem(this);
  if (Value != nullptr) Value->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (FCollection == nullptr) return -1;
  const auto& v = FCollection->FItems;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

void TCollectionItem::SetIndex(int Value) {
  if (FCollection == nullptr) return;
  FCollection->MoveItem(this, Value);
}

void TCollectionItem::Changed(bool AllItems) {
  if (FCollection != nullptr && FCollection->FUpdateCount == 0) FCollection->Update(AllItems ? nullptr : this);
}

// ---- TCollection --------------------------------------------------------------------------------
TCollection::TCollection(TItemFactory ItemFactory) : FItemFactory(std::move(ItemFactory)) {}

TCollection::~TCollection() {
  FUpdateCount = 1;  // no change notices while going away
  while (!FItems.empty()) delete FItems.back();
}

TCollectionItem* TCollection::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", {Index}));
  return FItems[static_cast<size_t>(Index)];
}

TCollectionItem* TCollection::Add() {
  TCollectionItem* item = FItemFactory ? FItemFactory(this) : new TCollectionItem(this);
  if (item->FCollection != this) item->SetCollection(this);
  return item;
}

TCollectionItem* TCollection::Insert(int Index) {
  TCollectionItem* item = Add();
  item->SetIndex(Index);
  return item;
}

void TCollection::Delete(int Index) { delete Items(Index); }

void TCollection::Clear() {
  if (FItems.empty()) return;
  BeginUpdate();
  while (!FItems.empty()) delete FItems.back();
  EndUpdate();
}

TCollectionItem* TCollection::FindItemID(int ID) const {
  for (TCollectionItem* i : FItems)
    if (i->FID == ID) return i;
  return nullptr;
}

void TCollection::BeginUpdate() { ++FUpdateCount; }

void TCollection::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TCollection::Changed() {
  if (FUpdateCount == 0) Update(nullptr);
}

void TCollection::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TCollection*>(Source);
  if (src == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  BeginUpdate();
  try {
    Clear();
    for (TCollectionItem* i : src->FItems) Add()->Assign(i);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCollection::InsertItem(TCollectionItem* Item) {
  FItems.push_back(Item);
  Item->FCollection = this;
  Item->FID = FNextID++;
  Notify(Item, cnAdded);
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* Item) {
  Notify(Item, cnExtracting);
  FItems.erase(std::remove(FItems.begin(), FItems.end(), Item), FItems.end());
  Item->FCollection = nullptr;
  Changed();
}

void TCollection::MoveItem(TCollectionItem* Item, int NewIndex) {
  const int old = Item->Index();
  if (old < 0) return;
  NewIndex = std::clamp(NewIndex, 0, Count() - 1);
  if (NewIndex == old) return;
  FItems.erase(FItems.begin() + old);
  FItems.insert(FItems.begin() + NewIndex, Item);
  Changed();
}
