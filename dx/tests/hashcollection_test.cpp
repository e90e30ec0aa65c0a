#include <gtest/gtest.h>

#include "dx/hashcollection.h"

namespace {

THashCollectionItem* NewItem(TCollection* C) { return new THashCollectionItem(C); }

THashCollectionItem* Add(THashCollection& C, const std::string& Name) {
  auto* i = static_cast<THashCollectionItem*>(C.Add());
  i->SetName(Name);
  return i;
}

// Every item is found at its real position.
void ExpectAllFound(const THashCollection& C) {
  for (int i = 0; i < C.Count(); ++i) {
    auto* item = static_cast<THashCollectionItem*>(C.Items(i));
    EXPECT_EQ(item->Index(), i) << item->Name();
    EXPECT_EQ(C.IndexByName(item->Name()), i) << item->Name();
  }
}

}  // namespace

TEST(HashCollection, HashOfNames) {
  struct Case {
    std::string Name;
    int Hash;
  };
  const Case cases[] = {
      {"", 0},
      {"a", 16},                              // one character: length x 16 only
      {"ab", (32 + 'A' + 'A') & 255},         // first and second-to-last of the upper-cased name
      {"abc", (48 + 'A' + 'B') & 255},
      {"Explosion", (9 * 16 + 'E' + 'O') & 255},
      {"\xB3\xF3" "d\x9F", (64 + 0xA3 + 'D') & 255},  // Polish letters fold too (CP1250)
  };
  for (const Case& c : cases) EXPECT_EQ(THashCollection::HashOf(c.Name), c.Hash) << c.Name;
  EXPECT_EQ(THashCollection::HashOf("explosion"), THashCollection::HashOf("EXPLOSION"));
}

TEST(HashCollection, FindsByNameWithoutRegardToCase) {
  THashCollection c(NewItem);
  Add(c, "Explosion");
  Add(c, "key");
  Add(c, "\xA3\xF3" "d\x9F");  // "Łódź"
  EXPECT_EQ(c.IndexByName("explosion"), 0);
  EXPECT_EQ(c.IndexByName("KEY"), 1);
  EXPECT_EQ(c.IndexByName("\xB3\xD3" "D\x8F"), 2);  // "łÓDŹ"
  EXPECT_EQ(c.IndexByName("missing"), -1);
  EXPECT_EQ(c.IndexByName(""), -1);
  // Two items of one name: the newest is found first.
  Add(c, "KEY");
  EXPECT_EQ(c.IndexByName("key"), 3);
}

TEST(HashCollection, RenamingDeletingAndMovingKeepLookupsRight) {
  THashCollection c(NewItem);
  for (const char* n : {"zero", "one", "two", "three", "four", "five"}) Add(c, n);
  ExpectAllFound(c);

  auto* two = static_cast<THashCollectionItem*>(c.Items(2));
  two->SetName("deux");
  EXPECT_EQ(c.IndexByName("two"), -1);
  EXPECT_EQ(c.IndexByName("DEUX"), 2);

  c.Delete(1);  // later items move down
  EXPECT_EQ(c.IndexByName("one"), -1);
  ExpectAllFound(c);
  delete c.Items(0);  // freeing an item directly leaves the collection too
  EXPECT_EQ(c.Count(), 4);
  ExpectAllFound(c);

  // Moving one item shifts the ones in between; all of them must still be found where they are.
  c.Items(3)->SetIndex(0);
  ExpectAllFound(c);
  c.Items(0)->SetIndex(2);
  ExpectAllFound(c);
  c.Insert(1);
  static_cast<THashCollectionItem*>(c.Items(1))->SetName("inserted");
  ExpectAllFound(c);
}

TEST(HashCollection, DisplayNameAndAssign) {
  THashCollection c(NewItem);
  auto* a = Add(c, "");
  EXPECT_EQ(a->DisplayName(), "THashCollectionItem");
  a->SetName("bell");
  EXPECT_EQ(a->DisplayName(), "bell");
  auto* b = Add(c, "other");
  b->Assign(a);
  EXPECT_EQ(b->Name(), "bell");
  EXPECT_EQ(c.IndexByName("other"), -1);
  EXPECT_EQ(c.IndexByName("bell"), 1);  // the newer of the two
  TPersistent unrelated;
  EXPECT_THROW(b->Assign(&unrelated), EConvertError);
  EXPECT_THROW(c.Items(5), EListError);
}
