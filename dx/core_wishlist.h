// General classes the framework needs that belong in the core layer but are not there yet:
// the assignable object TPersistent and the owned item collection TCollection / TCollectionItem.
// Nothing here is specific to graphics or sound; move it into platform/core/classes.h when the
// core grows them (and delete this file).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/core/classes.h"

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
