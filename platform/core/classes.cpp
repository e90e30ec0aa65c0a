#include "platform/core/classes.h"

#include <algorithm>

// ---- TComponent -----------------------------------------------------------------------------------
TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell everyone who asked. Each may remove itself from the list while being told.
  while (!FFreeNotifies.empty()) {
    TComponent* c = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    auto& back = c->FFreeNotifies;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    c->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::Destroying() {
  if (FComponentState & csDestroying) return;
  FComponentState |= csDestroying;
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == FName) return;
  if (FOwner && !NewName.empty()) {
    TComponent* other = FOwner->FindComponent(NewName);
    if (other && other != this) throw EComponentError("A component named " + NewName + " already exists");
  }
  FName = NewName;
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount()) throw EListError(Format("List index out of bounds (%d)", {Index}));
  return FComponents[static_cast<std::size_t>(Index)];
}

int TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto& v = FOwner->FComponents;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

TComponent* TComponent::FindComponent(std::string_view AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (AnsiSameText(c->FName, AName)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  if (!AComponent->FName.empty()) {
    TComponent* other = FindComponent(AComponent->FName);
    if (other) throw EComponentError("A component named " + AComponent->FName + " already exists");
  }
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  NotifyFamily(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner != this) return;
  NotifyFamily(AComponent, opRemove);
  FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), AComponent), FComponents.end());
  AComponent->FOwner = nullptr;
}

void TComponent::NotifyFamily(TComponent* AComponent, TOperation Operation) {
  // The owner and everything it owns hear about the change.
  Notification(AComponent, Operation);
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    FComponents.pop_back();
    c->FOwner = nullptr;
    delete c;
  }
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  auto& other = AComponent->FFreeNotifies;
  if (std::find(other.begin(), other.end(), this) == other.end()) other.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent), FFreeNotifies.end());
  auto& other = AComponent->FFreeNotifies;
  other.erase(std::remove(other.begin(), other.end(), this), other.end());
}

void TComponent::SetLoading(bool On) {
  if (On) {
    FComponentState |= csLoading;
  } else if (FComponentState & csLoading) {
    FComponentState &= ~csLoading;
    Loaded();
  }
}

void TComponent::Loaded() {}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) {
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent), FFreeNotifies.end());
  }
  // Pass it on to the owned components; one may delete another while being told.
  for (std::size_t i = FComponents.size(); i-- > 0;) {
    if (i >= FComponents.size()) {
      if (FComponents.empty()) break;
      i = FComponents.size() - 1;
    }
    if (FComponents[i] != AComponent) FComponents[i]->Notification(AComponent, Operation);
  }
}

// ---- TStrings ---------------------------------------------------------------------------------------
TStringsItem::operator std::string() const { return FList.Strings(FIndex); }
TStringsItem& TStringsItem::operator=(const std::string& S) {
  FList.SetStrings(FIndex, S);
  return *this;
}
bool TStringsItem::operator==(std::string_view S) const { return FList.Strings(FIndex) == S; }

void TStrings::InsertObject(int Index, const std::string& S, TObject* Obj) {
  Insert(Index, S);
  SetObjects(Index, Obj);
}

int TStrings::Add(const std::string& S) {
  const int i = Count();
  Insert(i, S);
  return i;
}

int TStrings::AddObject(const std::string& S, TObject* Obj) {
  const int i = Add(S);
  SetObjects(i, Obj);
  return i;
}

void TStrings::AddStrings(const TStrings* Source) {
  if (!Source) return;
  BeginUpdate();
  try {
    // Copy first: Source may be this list.
    std::vector<std::pair<std::string, TObject*>> items;
    for (int i = 0; i < Source->Count(); ++i) items.emplace_back(Source->Strings(i), Source->Objects(i));
    for (auto& it : items) AddObject(it.first, it.second);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Assign(const TStrings* Source) {
  if (Source == this) return;
  BeginUpdate();
  try {
    Clear();
    AddStrings(Source);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Exchange(int Index1, int Index2) {
  const std::string s1 = Strings(Index1), s2 = Strings(Index2);
  TObject* o1 = Objects(Index1);
  TObject* o2 = Objects(Index2);
  BeginUpdate();
  SetObjects(Index1, nullptr);
  SetObjects(Index2, nullptr);
  SetStrings(Index1, s2);
  SetStrings(Index2, s1);
  SetObjects(Index1, o2);
  SetObjects(Index2, o1);
  EndUpdate();
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  const std::string s = Strings(CurIndex);
  TObject* o = Objects(CurIndex);
  BeginUpdate();
  SetObjects(CurIndex, nullptr);  // keep an owning list from deleting the object
  Delete(CurIndex);
  InsertObject(NewIndex, s, o);
  EndUpdate();
}

int TStrings::IndexOf(const std::string& S) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Strings(i), S)) return i;
  return -1;
}

int TStrings::IndexOfObject(const TObject* Obj) const {
  for (int i = 0; i < Count(); ++i)
    if (Objects(i) == Obj) return i;
  return -1;
}

std::string TStrings::Text() const {
  std::string r;
  for (int i = 0; i < Count(); ++i) {
    r += Strings(i);
    r += "\r\n";
  }
  return r;
}

void TStrings::SetText(std::string_view Value) {
  BeginUpdate();
  try {
    Clear();
    const std::size_t n = Value.size();
    std::size_t i = 0;
    while (i < n) {
      std::size_t j = i;
      while (j < n && Value[j] != '\r' && Value[j] != '\n') ++j;
      Add(std::string(Value.substr(i, j - i)));
      if (j < n && Value[j] == '\r') {
        ++j;
        if (j < n && Value[j] == '\n') ++j;
      } else if (j < n) {
        ++j;
      }
      i = j;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::CommaText() const {
  std::string r;
  for (int i = 0; i < Count(); ++i) {
    if (i) r += ',';
    const std::string s = Strings(i);
    bool quote = s.empty() && Count() == 1;
    for (char c : s) quote |= (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"');
    if (!quote) {
      r += s;
      continue;
    }
    r += '"';
    for (char c : s) {
      if (c == '"') r += '"';
      r += c;
    }
    r += '"';
  }
  return r;
}

void TStrings::SetCommaText(std::string_view V) {
  BeginUpdate();
  try {
    Clear();
    std::size_t i = 0;
    auto skipBlanks = [&] {
      while (i < V.size() && static_cast<unsigned char>(V[i]) <= ' ') ++i;
    };
    skipBlanks();
    while (i < V.size()) {
      std::string item;
      if (V[i] == '"') {
        ++i;
        while (i < V.size()) {
          if (V[i] == '"') {
            if (i + 1 < V.size() && V[i + 1] == '"') {
              item += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          item += V[i++];
        }
      } else {
        while (i < V.size() && static_cast<unsigned char>(V[i]) > ' ' && V[i] != ',') item += V[i++];
      }
      Add(item);
      skipBlanks();
      if (i < V.size() && V[i] == ',') {
        ++i;
        skipBlanks();
        if (i >= V.size()) Add("");
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::Names(int Index) const {
  const std::string s = Strings(Index);
  const std::size_t p = s.find('=');
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::ValueFromIndex(int Index) const {
  const std::string s = Strings(Index);
  const std::size_t p = s.find('=');
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

int TStrings::IndexOfName(std::string_view Name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string s = Strings(i);
    const std::size_t p = s.find('=');
    if (p != std::string::npos && AnsiSameText(std::string_view(s).substr(0, p), Name)) return i;
  }
  return -1;
}

std::string TStrings::Values(std::string_view Name) const {
  const int i = IndexOfName(Name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(std::string_view Name, const std::string& Value) {
  const int i = IndexOfName(Name);
  if (Value.empty()) {
    if (i >= 0) Delete(i);
  } else if (i >= 0) {
    SetStrings(i, std::string(Name) + "=" + Value);
  } else {
    Add(std::string(Name) + "=" + Value);
  }
}

void TStrings::BeginUpdate() {
  if (FUpdateCount++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

void TStrings::LoadFromStream(TStream* Stream) {
  const int64_t n = Stream->Size() - Stream->Position();
  SetText(Stream->ReadString(n > 0 ? n : 0));
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TFileStream f(FileName, fmCreate);
  SaveToStream(&f);
}

void TStrings::SaveToStream(TStream* Stream) const { Stream->WriteString(Text()); }

// ---- TStringList ------------------------------------------------------------------------------------
TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  if (FOwnsObjects)
    for (Item& it : FItems) delete it.Obj;
}

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) throw EStringListError(Format("List index out of bounds (%d)", {Index}));
}

std::string TStringList::Strings(int Index) const {
  CheckIndex(Index);
  return FItems[static_cast<std::size_t>(Index)].S;
}

void TStringList::SetStrings(int Index, const std::string& S) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(Index);
  Changing();
  FItems[static_cast<std::size_t>(Index)].S = S;
  Changed();
}

TObject* TStringList::Objects(int Index) const {
  CheckIndex(Index);
  return FItems[static_cast<std::size_t>(Index)].Obj;
}

void TStringList::SetObjects(int Index, TObject* Obj) {
  CheckIndex(Index);
  Changing();
  TObject*& slot = FItems[static_cast<std::size_t>(Index)].Obj;
  if (FOwnsObjects && slot != Obj) delete slot;
  slot = Obj;
  Changed();
}

void TStringList::InsertItem(int Index, const std::string& S, TObject* Obj) {
  Changing();
  FItems.insert(FItems.begin() + Index, Item{S, Obj});
  Changed();
}

void TStringList::Insert(int Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int Index, const std::string& S, TObject* Obj) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  if (Index < 0 || Index > Count()) throw EStringListError(Format("List index out of bounds (%d)", {Index}));
  InsertItem(Index, S, Obj);
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  Changing();
  TObject* o = FItems[static_cast<std::size_t>(Index)].Obj;
  FItems.erase(FItems.begin() + Index);
  if (FOwnsObjects) delete o;
  Changed();
}

void TStringList::Clear() {
  if (FItems.empty()) return;
  Changing();
  std::vector<Item> old;
  old.swap(FItems);
  if (FOwnsObjects)
    for (Item& it : old) delete it.Obj;
  Changed();
}

int TStringList::Add(const std::string& S) { return AddObject(S, nullptr); }

int TStringList::AddObject(const std::string& S, TObject* Obj) {
  int index = Count();
  if (FSorted) {
    if (Find(S, index)) {
      if (FDuplicates == dupIgnore) return index;  // Obj stays the caller's
      if (FDuplicates == dupError) throw EStringListError("String list does not allow duplicates");
    }
  }
  InsertItem(index, S, Obj);
  return index;
}

int TStringList::CompareStrings(const std::string& A, const std::string& B) const {
  return FCaseSensitive ? AnsiCompareStr(A, B) : AnsiCompareText(A, B);
}

int TStringList::IndexOf(const std::string& S) const {
  if (FSorted) {
    int i;
    return Find(S, i) ? i : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(FItems[static_cast<std::size_t>(i)].S, S) == 0) return i;
  return -1;
}

bool TStringList::Find(const std::string& S, int& Index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int c = CompareStrings(FItems[static_cast<std::size_t>(mid)].S, S);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (FDuplicates != dupAccept) {
          lo = mid;
          break;
        }
      }
    }
  }
  Index = lo;
  return found;
}

void TStringList::Sort() {
  CustomSort([this](TStringList*, int a, int b) {
    return CompareStrings(FItems[static_cast<std::size_t>(a)].S, FItems[static_cast<std::size_t>(b)].S);
  });
}

void TStringList::CustomSort(const std::function<int(TStringList*, int, int)>& Compare) {
  if (FItems.size() < 2) return;
  Changing();
  // Sort an index permutation so that the comparison can look at the list by index.
  std::vector<int> idx(FItems.size());
  for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<int>(i);
  std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) { return Compare(this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(FItems.size());
  for (int i : idx) sorted.push_back(FItems[static_cast<std::size_t>(i)]);
  FItems.swap(sorted);
  Changed();
}

void TStringList::SetSorted(bool V) {
  if (V == FSorted) return;
  if (V) Sort();
  FSorted = V;
}

void TStringList::SetCaseSensitive(bool V) {
  if (V == FCaseSensitive) return;
  FCaseSensitive = V;
  if (FSorted) Sort();
}

void TStringList::SetText(std::string_view Value) { TStrings::SetText(Value); }

void TStringList::Exchange(int Index1, int Index2) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(Index1);
  CheckIndex(Index2);
  Changing();
  std::swap(FItems[static_cast<std::size_t>(Index1)], FItems[static_cast<std::size_t>(Index2)]);
  Changed();
}

void TStringList::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  Changing();
  Item it = FItems[static_cast<std::size_t>(CurIndex)];
  FItems.erase(FItems.begin() + CurIndex);
  FItems.insert(FItems.begin() + NewIndex, it);
  Changed();
}

void TStringList::Assign(const TStrings* Source) { TStrings::Assign(Source); }

void TStringList::SetUpdateState(bool Updating) {
  if (Updating) {
    FChangedWhileUpdating = false;
    if (OnChanging) OnChanging(this);
  } else if (FChangedWhileUpdating) {
    FChangedWhileUpdating = false;
    if (OnChange) OnChange(this);
  }
}

void TStringList::Changing() {
  if (FUpdateCount == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (FUpdateCount == 0) {
    if (OnChange) OnChange(this);
  } else {
    FChangedWhileUpdating = true;
  }
}
