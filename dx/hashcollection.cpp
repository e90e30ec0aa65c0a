#include "dx/hashcollection.h"

int THashCollection::HashOf(const std::string& Name) {
  const std::string up = AnsiUpperCase(Name);
  int h = static_cast<int>(up.size()) * 16;
  if (up.size() >= 2) {
    h += static_cast<unsigned char>(up[0]);
    h += static_cast<unsigned char>(up[up.size() - 2]);
  }
  return h & 255;
}

THashCollection::THashCollection(TItemFactory ItemFactory) : TCollection(std::move(ItemFactory)) {}

THashCollection::~THashCollection() {
  // The items reach back into the buckets while they go, so they go while the buckets exist.
  Clear();
}

int THashCollection::IndexByName(const std::string& Name) const {
  for (THashCollectionItem* i = FHash[static_cast<size_t>(HashOf(Name))]; i != nullptr; i = i->FRight)
    if (AnsiSameText(i->FName, Name)) return i->FIndex;
  return -1;
}

void THashCollection::Notify(TCollectionItem* Item, TCollectionNotification Action) {
  auto* h = dynamic_cast<THashCollectionItem*>(Item);
  if (h != nullptr) {
    if (Action == cnAdded) {
      h->FHashOwner = this;
      h->FIndex = Count() - 1;
      h->AddHash();
    } else if (Action == cnExtracting) {
      // Every later item moves down one place.
      for (int i = h->Index() + 1; i < Count(); ++i) {
        auto* later = dynamic_cast<THashCollectionItem*>(Items(i));
        if (later != nullptr) later->FIndex--;
      }
      h->RemoveHash();
      h->FHashOwner = nullptr;
      h->FIndex = -1;
    }
  }
  TCollection::Notify(Item, Action);
}

void THashCollection::Reindex() {
  for (int i = 0; i < Count(); ++i) {
    auto* h = dynamic_cast<THashCollectionItem*>(Items(i));
    if (h != nullptr) h->FIndex = i;
  }
}

THashCollectionItem::THashCollectionItem(TCollection* ACollection) : TCollectionItem(nullptr) {
  // Joined only now, so that the collection sees an item that is already a hash item.
  SetCollection(ACollection);
}

THashCollectionItem::~THashCollectionItem() {
  // Leave while still a hash item, so the buckets and cached indexes are put right.
  SetCollection(nullptr);
}

void THashCollectionItem::AddHash() {
  if (FHashOwner == nullptr) return;
  FHashIndex = THashCollection::HashOf(FName);
  THashCollectionItem*& head = FHashOwner->FHash[static_cast<size_t>(FHashIndex)];
  FLeft = nullptr;
  FRight = head;
  if (head != nullptr) head->FLeft = this;
  head = this;
}

void THashCollectionItem::RemoveHash() {
  if (FHashOwner == nullptr) return;
  THashCollectionItem*& head = FHashOwner->FHash[static_cast<size_t>(FHashIndex)];
  if (FLeft != nullptr)
    FLeft->FRight = FRight;
  else if (head == this)
    head = FRight;
  if (FRight != nullptr) FRight->FLeft = FLeft;
  FLeft = FRight = nullptr;
}

void THashCollectionItem::SetName(const std::string& Value) {
  if (Value == FName) return;
  RemoveHash();
  FName = Value;
  AddHash();
  Changed(false);
}

int THashCollectionItem::Index() const { return FHashOwner != nullptr ? FIndex : TCollectionItem::Index(); }

void THashCollectionItem::SetIndex(int Value) {
  TCollectionItem::SetIndex(Value);
  // Moving one item shifts the ones in between: every cached position is brought up to date.
  if (FHashOwner != nullptr) FHashOwner->Reindex();
}

std::string THashCollectionItem::DisplayName() const {
  return FName.empty() ? TCollectionItem::DisplayName() : FName;
}

void THashCollectionItem::Assign(TPersistent* Source) {
  if (auto* src = dynamic_cast<THashCollectionItem*>(Source)) {
    SetName(src->FName);
    return;
  }
  TCollectionItem::Assign(Source);
}
