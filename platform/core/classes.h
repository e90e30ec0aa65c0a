// Objects, components with ownership, string lists and streams.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/sysutils.h"

// ---- TObject ------------------------------------------------------------------------------------
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
  virtual std::string ClassName() const { return "TObject"; }
};

// Deletes Obj and sets the pointer to nullptr.
template <class T>
void FreeAndNil(T*& Obj) {
  T* o = Obj;
  Obj = nullptr;
  delete o;
}

using TNotifyEvent = std::function<void(TObject* Sender)>;

// ---- TComponent ---------------------------------------------------------------------------------
enum TOperation { opInsert, opRemove };

// Component state flags (a bit set).
using TComponentState = unsigned;
constexpr TComponentState csLoading = 1;
constexpr TComponentState csReading = 2;
constexpr TComponentState csWriting = 4;
constexpr TComponentState csDestroying = 8;
constexpr TComponentState csDesigning = 16;

// An object that can copy the state of another. Assign asks the source to copy itself into this
// object (AssignTo); when neither side knows the other, EConvertError
// "Cannot assign a <source class> to a <destination class>" is raised.
class TPersistent : public TObject {
 public:
  std::string ClassName() const override { return "TPersistent"; }
  virtual void Assign(TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest);
};

class TCollection;

// An item of a collection; it belongs to (and is deleted by) its collection. Deleting an item
// removes it from its collection.
class TCollectionItem : public TPersistent {
 public:
  explicit TCollectionItem(TCollection* ACollection);
  ~TCollectionItem() override;
  std::string ClassName() const override { return "TCollectionItem"; }

  TCollection* Collection() const { return FCollection; }
  // Moves the item into another collection (nullptr: into none; the caller then owns it).
  virtual void SetCollection(TCollection* Value);
  int ID() const { return FID; }
  // Position in the collection, -1 when in none.
  virtual int Index() const;
  // Moves the item within its collection; the index is clamped to the collection.
  virtual void SetIndex(int Value);
  // The name shown for the item; the class name when nothing better is known.
  virtual std::string DisplayName() const { return ClassName(); }

 protected:
  // Tells the collection that this item (or, with AllItems, every item) changed.
  void Changed(bool AllItems);

 private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
  int FID = 0;
};

enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

class TCollection : public TPersistent {
 public:
  // ItemFactory makes a new item of the collection's item class, inserted into the collection
  // (the item's constructor does that by passing the collection on).
  using TItemFactory = std::function<TCollectionItem*(TCollection* Collection)>;
  explicit TCollection(TItemFactory ItemFactory);
  ~TCollection() override;
  std::string ClassName() const override { return "TCollection"; }

  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError "List index out of bounds (<index>)" when out of range.
  TCollectionItem* Items(int Index) const;
  TCollectionItem* Add();
  TCollectionItem* Insert(int Index);
  void Delete(int Index);
  void Clear();
  TCollectionItem* FindItemID(int ID) const;
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }
  // Replaces the items by copies of Source's (each new item Assigns from the source item).
  void Assign(TPersistent* Source) override;

 protected:
  // Called after an item (or, with nullptr, the whole collection) changed, outside updates.
  virtual void Update(TCollectionItem* Item) { (void)Item; }
  // Called when an item joins the collection (cnAdded) and before it leaves it.
  virtual void Notify(TCollectionItem* Item, TCollectionNotification Action) {
    (void)Item;
    (void)Action;
  }
  void Changed();

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* Item);
  void RemoveItem(TCollectionItem* Item);
  void MoveItem(TCollectionItem* Item, int NewIndex);

  TItemFactory FItemFactory;
  std::vector<TCollectionItem*> FItems;
  int FNextID = 0;
  int FUpdateCount = 0;
};

// A component is created with an owner (or none) and is deleted by that owner when the owner is
// deleted. Deleting a component first tells every component that asked (FreeNotification), and
// its owner's family, through Notification(this, opRemove).
//
// The owner deletes its components in its TComponent destructor, after the destructors of its
// derived classes have run; a derived class whose components must go while it is still whole
// calls DestroyComponents() in its own destructor.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner = nullptr);
  ~TComponent() override;
  std::string ClassName() const override { return "TComponent"; }

  const std::string& Name() const { return FName; }
  // Raises EComponentError "A component named <name> already exists" when a sibling of the same
  // owner already has this name (compared without regard to case).
  virtual void SetName(const std::string& NewName);
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t V) { FTag = V; }
  TComponent* Owner() const { return FOwner; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const;  // raises EListError when out of range
  int ComponentIndex() const;               // position in the owner's list, -1 without owner
  // Finds an owned component by name, without regard to case; nullptr when none.
  TComponent* FindComponent(std::string_view AName) const;

  void InsertComponent(TComponent* AComponent);  // takes ownership (from its previous owner)
  void RemoveComponent(TComponent* AComponent);  // gives up ownership; does not delete
  void DestroyComponents();                      // deletes every owned component

  // Asks to be told (Notification opRemove) when AComponent is deleted. Mutual.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  TComponentState ComponentState() const { return FComponentState; }
  bool HasState(TComponentState S) const { return (FComponentState & S) != 0; }
  void SetLoading(bool On);  // sets csLoading; clearing it calls Loaded()
  // Marks the component and its owned components as being destroyed.
  void Destroying();

 protected:
  // Called on this component and on every component it owns (recursively) when a component is
  // inserted into or removed from this component, and for free notifications.
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  // Called after the component has been loaded (csLoading cleared).
  virtual void Loaded();

 private:
  void NotifyFamily(TComponent* AComponent, TOperation Operation);

  std::string FName;
  intptr_t FTag = 0;
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  TComponentState FComponentState = 0;
};

// ---- Streams ------------------------------------------------------------------------------------
enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };
constexpr int soFromBeginning = 0;
constexpr int soFromCurrent = 1;
constexpr int soFromEnd = 2;

class TStream : public TObject {
 public:
  std::string ClassName() const override { return "TStream"; }
  // Reads at most Count bytes; returns the number read (fewer at the end of the data).
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  // Writes Count bytes; returns the number written.
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Moves the position; returns the new position. Origin is soFromBeginning, soFromCurrent or
  // soFromEnd. A position before the start raises EStreamError; past the end is allowed.
  virtual int64_t Seek(int64_t Offset, int Origin) = 0;
  int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soFromBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);

  // Read or raise EReadError "Stream read error"; write or raise EWriteError "Stream write error".
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Copies Count bytes from Source's position; Count 0 copies all of Source from its start.
  // Returns the number of bytes copied.
  int64_t CopyFrom(TStream* Source, int64_t Count);
  // Convenience: the whole remaining content / writes the bytes of S.
  std::string ReadString(int64_t Count);
  void WriteString(std::string_view S) { WriteBuffer(S.data(), static_cast<int64_t>(S.size())); }
};

class TMemoryStream : public TStream {
 public:
  std::string ClassName() const override { return "TMemoryStream"; }
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, int Origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t NewSize) override;  // the position is kept within the new size
  // The bytes (valid until the size changes).
  uint8_t* Memory() { return FData.data(); }
  const uint8_t* Memory() const { return FData.data(); }
  void Clear();
  void LoadFromStream(TStream* Stream);  // all of Stream from its start
  void LoadFromFile(const std::string& FileName);
  void SaveToStream(TStream* Stream);  // all bytes, whatever the position
  void SaveToFile(const std::string& FileName);

 protected:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

// A memory stream over a text.
class TStringStream : public TMemoryStream {
 public:
  explicit TStringStream(std::string_view S = std::string_view());
  std::string ClassName() const override { return "TStringStream"; }
  std::string DataString() const { return std::string(FData.begin(), FData.end()); }
};

// File modes.
constexpr Word fmCreate = 0xFF00;
constexpr Word fmOpenRead = 0x0000;
constexpr Word fmOpenWrite = 0x0001;
constexpr Word fmOpenReadWrite = 0x0002;
constexpr Word fmShareCompat = 0x0000;
constexpr Word fmShareExclusive = 0x0010;
constexpr Word fmShareDenyWrite = 0x0020;
constexpr Word fmShareDenyRead = 0x0030;
constexpr Word fmShareDenyNone = 0x0040;

// A file on disk. The name is CP1250 text resolved like every program path ('\' or '/',
// components matched without regard to case). Share flags are accepted and ignored.
// fmCreate creates or truncates the file. Failures raise
//   EFCreateError "Cannot create file "<name>". <reason>"
//   EFOpenError   "Cannot open file "<name>". <reason>"
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& FileName, Word Mode);
  ~TFileStream() override;
  std::string ClassName() const override { return "TFileStream"; }
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, int Origin) override;
  void SetSize(int64_t NewSize) override;
  const std::string& FileName() const { return FFileName; }
  int Handle() const { return FHandle; }

 private:
  std::string FFileName;
  int FHandle = -1;
};

// ---- String lists -------------------------------------------------------------------------------
class TStrings;

// Result of TStrings::operator[]: reads and writes one item.
class TStringsItem {
 public:
  TStringsItem(TStrings& L, int I) : FList(L), FIndex(I) {}
  operator std::string() const;
  TStringsItem& operator=(const std::string& S);
  bool operator==(std::string_view S) const;

 private:
  TStrings& FList;
  int FIndex;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

// An ordered list of CP1250 strings, each with an object pointer.
// Name=value items: the name is the text before the first '=' (the whole item when it has none
// is not a name=value item); names compare without regard to case (AnsiSameText).
class TStrings : public TObject {
 public:
  std::string ClassName() const override { return "TStrings"; }

  virtual int Count() const = 0;
  virtual std::string Strings(int Index) const = 0;
  virtual void SetStrings(int Index, const std::string& S) = 0;
  virtual TObject* Objects(int Index) const = 0;
  virtual void SetObjects(int Index, TObject* Obj) = 0;
  virtual void Insert(int Index, const std::string& S) = 0;
  virtual void InsertObject(int Index, const std::string& S, TObject* Obj);
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;
  virtual int Add(const std::string& S);
  virtual int AddObject(const std::string& S, TObject* Obj);
  void Append(const std::string& S) { Add(S); }
  void AddStrings(const TStrings* Source);
  // Replaces the items (and object pointers) by those of Source.
  virtual void Assign(const TStrings* Source);
  virtual void Exchange(int Index1, int Index2);
  virtual void Move(int CurIndex, int NewIndex);
  // First index of S compared without regard to case (AnsiSameText); -1 when absent.
  virtual int IndexOf(const std::string& S) const;
  int IndexOfObject(const TObject* Obj) const;

  TStringsItem operator[](int Index) { return TStringsItem(*this, Index); }
  std::string operator[](int Index) const { return Strings(Index); }

  // Items joined, each followed by CR LF.
  std::string Text() const;
  // Splits at CR LF, LF or CR; a final line break does not make an empty last item.
  virtual void SetText(std::string_view Value);
  // Items separated by ','; items containing blanks, commas or quotes are "double-quoted" with
  // inner quotes doubled. SetCommaText splits at commas and blanks outside quotes.
  std::string CommaText() const;
  void SetCommaText(std::string_view Value);

  std::string Names(int Index) const;  // text before the first '=', "" when there is none
  std::string ValueFromIndex(int Index) const;
  // Value of the first item whose name matches; "" when none.
  std::string Values(std::string_view Name) const;
  // Sets the value of the first matching item, appends "Name=Value" when none matches, and
  // deletes the item when Value is empty.
  void SetValues(std::string_view Name, const std::string& Value);
  int IndexOfName(std::string_view Name) const;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  // The file's bytes, split like SetText. Raises EFOpenError when the file cannot be opened.
  void LoadFromFile(const std::string& FileName);
  void LoadFromStream(TStream* Stream);  // from the stream's position to its end
  void SaveToFile(const std::string& FileName) const;  // Text(), CR LF line ends
  void SaveToStream(TStream* Stream) const;

 protected:
  virtual void SetUpdateState(bool Updating) { (void)Updating; }
  int FUpdateCount = 0;
};

// The string list. Unsorted by default; IndexOf is a linear search without regard to case.
// Sorted lists keep the order of AnsiCompareText (the program's alphabetical order, see
// sysutils.h), or of AnsiCompareStr when CaseSensitive is set; Add inserts in order and applies
// Duplicates (dupIgnore: the existing index is returned and the object passed is not taken, dupError: EStringListError
// "String list does not allow duplicates"). Insert into a sorted list raises EStringListError
// "Operation not allowed on sorted list". A bad index raises EStringListError
// "List index out of bounds (<index>)". With OwnsObjects the list deletes an item's object when
// the item is deleted, replaced or cleared.
class TStringList : public TStrings {
 public:
  TStringList() = default;
  explicit TStringList(bool OwnsObjects) : FOwnsObjects(OwnsObjects) {}
  ~TStringList() override;
  std::string ClassName() const override { return "TStringList"; }

  int Count() const override { return static_cast<int>(FItems.size()); }
  std::string Strings(int Index) const override;
  void SetStrings(int Index, const std::string& S) override;
  TObject* Objects(int Index) const override;
  void SetObjects(int Index, TObject* Obj) override;
  void Insert(int Index, const std::string& S) override;
  void InsertObject(int Index, const std::string& S, TObject* Obj) override;
  void Delete(int Index) override;
  void Clear() override;
  int Add(const std::string& S) override;
  int AddObject(const std::string& S, TObject* Obj) override;
  int IndexOf(const std::string& S) const override;
  void SetText(std::string_view Value) override;
  void Assign(const TStrings* Source) override;
  // Exchange and Move keep each item's object (an owning list deletes nothing).
  void Exchange(int Index1, int Index2) override;
  void Move(int CurIndex, int NewIndex) override;

  // Binary search in a sorted list; Index is where S is or would be inserted.
  bool Find(const std::string& S, int& Index) const;
  virtual void Sort();
  // Sorts with the given comparison (a stable sort); the list is not marked sorted.
  void CustomSort(const std::function<int(TStringList* List, int Index1, int Index2)>& Compare);
  bool Sorted() const { return FSorted; }
  void SetSorted(bool V);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates D) { FDuplicates = D; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool V);
  bool OwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool V) { FOwnsObjects = V; }

  TNotifyEvent OnChange;    // after a change (once at EndUpdate for a batch)
  TNotifyEvent OnChanging;  // before a change

 protected:
  void SetUpdateState(bool Updating) override;
  void Changed();
  void Changing();
  int CompareStrings(const std::string& A, const std::string& B) const;

 private:
  struct Item {
    std::string S;
    TObject* Obj = nullptr;
  };
  void CheckIndex(int Index) const;
  void InsertItem(int Index, const std::string& S, TObject* Obj);
  std::vector<Item> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;
  bool FOwnsObjects = false;
  TDuplicates FDuplicates = dupIgnore;
  bool FChangedWhileUpdating = false;
};
