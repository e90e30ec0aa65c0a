// A collection whose items are found by name, without regard to case, through 256 hash buckets.
// Picture and wave collections are built on it.
#pragma once

#include <array>
#include <string>

#include "platform/core/classes.h"

class THashCollection;

class THashCollectionItem : public TCollectionItem {
 public:
  explicit THashCollectionItem(TCollection* ACollection);
  ~THashCollectionItem() override;
  std::string ClassName() const override { return "THashCollectionItem"; }

  const std::string& Name() const { return FName; }
  // Files the item under the new name's bucket (only when the name changes, case counting).
  void SetName(const std::string& Value);
  int Index() const override;
  void SetIndex(int Value) override;
  std::string DisplayName() const override;
  void Assign(TPersistent* Source) override;

 private:
  friend class THashCollection;
  void AddHash();
  void RemoveHash();

  std::string FName;
  int FHashIndex = 0;
  int FIndex = -1;  // cached position in the collection
  THashCollectionItem* FLeft = nullptr;
  THashCollectionItem* FRight = nullptr;
  THashCollection* FHashOwner = nullptr;  // the collection whose buckets hold the item
};

class THashCollection : public TCollection {
 public:
  explicit THashCollection(TItemFactory ItemFactory);
  ~THashCollection() override;
  std::string ClassName() const override { return "THashCollection"; }

  // Index of the first item (newest first within a bucket) whose name equals Name without regard to
  // case; -1 when there is none.
  int IndexByName(const std::string& Name) const;
  // The bucket of a name: length x 16, plus, for names of two or more characters, the codes of the
  // first and the second-to-last character of the upper-cased name; the low 8 bits.
  static int HashOf(const std::string& Name);

 protected:
  void Notify(TCollectionItem* Item, TCollectionNotification Action) override;

 private:
  friend class THashCollectionItem;
  void Reindex();
  std::array<THashCollectionItem*, 256> FHash{};
};
