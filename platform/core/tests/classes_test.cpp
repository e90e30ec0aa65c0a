#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/core/cp1250.h"

namespace {

// A component that records what it hears and reports its own deletion.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* Owner, std::string N, std::vector<std::string>* Log) : TComponent(Owner), FLog(Log) { SetName(N); }
  ~TProbe() override {
    DestroyComponents();  // children go while this is still a TProbe
    FLog->push_back("delete " + Name());
  }
  std::string ClassName() const override { return "TProbe"; }
  TComponent* Watched = nullptr;
  int LoadedCalls = 0;

 protected:
  void Notification(TComponent* C, TOperation Op) override {
    TComponent::Notification(C, Op);
    FLog->push_back(Name() + (Op == opRemove ? " heard remove " : " heard insert ") + C->Name());
    if (Op == opRemove && C == Watched) Watched = nullptr;
  }
  void Loaded() override { ++LoadedCalls; }

 private:
  std::vector<std::string>* FLog;
};

bool Contains(const std::vector<std::string>& Log, const std::string& S) {
  return std::find(Log.begin(), Log.end(), S) != Log.end();
}

TEST(Component, OwnerDeletesItsComponentsAndFindsThemWithoutCase) {
  std::vector<std::string> log;
  auto* form = new TProbe(nullptr, "Form", &log);
  auto* button = new TProbe(form, "CloseBtn", &log);
  auto* panel = new TProbe(form, "Panel1", &log);
  auto* inner = new TProbe(panel, "Inner", &log);
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->Components(0), button);
  EXPECT_EQ(form->Components(1), panel);
  EXPECT_THROW(form->Components(2), EListError);
  EXPECT_EQ(form->FindComponent("closebtn"), button);
  EXPECT_EQ(form->FindComponent("CLOSEBTN"), button);
  EXPECT_EQ(form->FindComponent("Inner"), nullptr);  // only directly owned components
  EXPECT_EQ(panel->FindComponent("inner"), inner);
  EXPECT_EQ(button->Owner(), form);
  EXPECT_EQ(panel->ComponentIndex(), 1);
  // A second component of the same name under one owner is refused.
  EXPECT_THROW(new TProbe(form, "closeBTN", &log), EComponentError);
  EXPECT_EQ(form->ComponentCount(), 2);
  delete form;
  EXPECT_TRUE(Contains(log, "delete CloseBtn"));
  EXPECT_TRUE(Contains(log, "delete Panel1"));
  EXPECT_TRUE(Contains(log, "delete Inner"));
  EXPECT_EQ(log.back(), "delete Form");
}

TEST(Component, DeletingAComponentNotifiesItsOwnerSiblingsAndWatchers) {
  std::vector<std::string> log;
  auto* form = new TProbe(nullptr, "Form", &log);
  auto* source = new TProbe(form, "Source", &log);
  auto* sibling = new TProbe(form, "Sibling", &log);
  auto* stranger = new TProbe(nullptr, "Stranger", &log);
  stranger->Watched = source;
  stranger->FreeNotification(source);
  log.clear();
  delete source;
  EXPECT_TRUE(Contains(log, "Form heard remove Source"));
  EXPECT_TRUE(Contains(log, "Sibling heard remove Source"));
  EXPECT_TRUE(Contains(log, "Stranger heard remove Source"));
  EXPECT_EQ(stranger->Watched, nullptr);
  EXPECT_EQ(form->ComponentCount(), 1);
  EXPECT_EQ(form->FindComponent("Source"), nullptr);
  // The watcher is not told twice nor about a component it no longer watches.
  log.clear();
  delete stranger;
  EXPECT_FALSE(Contains(log, "Sibling heard remove Stranger"));
  delete form;
  (void)sibling;
}

TEST(Component, WatcherDeletedFirstIsForgotten) {
  std::vector<std::string> log;
  auto* a = new TProbe(nullptr, "A", &log);
  auto* b = new TProbe(nullptr, "B", &log);
  b->FreeNotification(a);
  delete b;  // must unregister itself from a
  log.clear();
  delete a;  // would call into the deleted b otherwise
  EXPECT_FALSE(Contains(log, "B heard remove A"));
}

TEST(Component, InsertNotifiesAndLoadedRunsWhenLoadingEnds) {
  std::vector<std::string> log;
  TProbe form(nullptr, "Form", &log);
  auto* child = new TProbe(nullptr, "Child", &log);
  form.InsertComponent(child);
  EXPECT_TRUE(Contains(log, "Form heard insert Child"));
  EXPECT_EQ(child->Owner(), &form);
  form.SetLoading(true);
  EXPECT_TRUE(form.HasState(csLoading));
  EXPECT_EQ(form.LoadedCalls, 0);
  form.SetLoading(false);
  EXPECT_EQ(form.LoadedCalls, 1);
  form.RemoveComponent(child);
  EXPECT_EQ(child->Owner(), nullptr);
  EXPECT_EQ(form.ComponentCount(), 0);
  delete child;
}

TEST(StringList, AddInsertDeleteAndIndexOfWithoutCase) {
  TStringList l;
  EXPECT_EQ(l.Add("one"), 0);
  EXPECT_EQ(l.Add("Two"), 1);
  l.Insert(0, "zero");
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l[0], "zero");
  EXPECT_EQ(l.Strings(2), "Two");
  EXPECT_EQ(l.IndexOf("TWO"), 2);
  EXPECT_EQ(l.IndexOf(Utf8ToCp1250("Żaba")), -1);
  l.Add(Utf8ToCp1250("żaba"));
  EXPECT_EQ(l.IndexOf(Utf8ToCp1250("ŻABA")), 3);
  l[1] = std::string("uno");
  EXPECT_EQ(l.Strings(1), "uno");
  l.Delete(0);
  EXPECT_EQ(l.Strings(0), "uno");
  EXPECT_THROW(l.Strings(10), EStringListError);
  EXPECT_THROW(l.Delete(-1), EStringListError);
  EXPECT_THROW(l.Insert(5, "x"), EStringListError);
  try {
    l.Strings(7);
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (7)");
  }
}

TEST(StringList, TextSplitsEveryLineEndAndJoinsWithCrLf) {
  struct Case {
    std::string In;
    std::vector<std::string> Items;
  };
  const Case cases[] = {
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\n\nb", {"a", "", "b"}},
      {"\r\n", {""}},
      {"", {}},
      {"x\n\r\ny", {"x", "", "y"}},
  };
  for (const Case& c : cases) {
    TStringList l;
    l.SetText(c.In);
    ASSERT_EQ(l.Count(), static_cast<int>(c.Items.size())) << c.In;
    for (int i = 0; i < l.Count(); ++i) EXPECT_EQ(l.Strings(i), c.Items[static_cast<std::size_t>(i)]);
  }
  TStringList l;
  l.Add("a");
  l.Add("");
  l.Add("b");
  EXPECT_EQ(l.Text(), "a\r\n\r\nb\r\n");
}

TEST(StringList, NameValuePairs) {
  TStringList l;
  l.SetText("Speed=1,2,3\nspeed=9\nempty=\nnoequals\n=novalue\nKey=a=b\n");
  EXPECT_EQ(l.Values("SPEED"), "1,2,3");  // first match, without regard to case
  EXPECT_EQ(l.IndexOfName("speed"), 0);
  EXPECT_EQ(l.Values("empty"), "");
  EXPECT_EQ(l.IndexOfName("empty"), 2);
  EXPECT_EQ(l.IndexOfName("noequals"), -1);
  EXPECT_EQ(l.Values("key"), "a=b");  // the name ends at the first '='
  EXPECT_EQ(l.Names(5), "Key");
  EXPECT_EQ(l.Names(3), "");
  EXPECT_EQ(l.ValueFromIndex(4), "novalue");
  l.SetValues("speed", "7");
  EXPECT_EQ(l.Strings(0), "speed=7");
  l.SetValues("New", "x");
  EXPECT_EQ(l.Strings(l.Count() - 1), "New=x");
  l.SetValues("NEW", "");
  EXPECT_EQ(l.IndexOfName("new"), -1);
}

TEST(StringList, SortedListsKeepPolishOrderAndApplyDuplicates) {
  TStringList l;
  for (const char* s : {"żaba", "Zebra", "ala", "Ćma", "cyrk", "Łódź", "lis", "ąb", "b"}) l.Add(Utf8ToCp1250(s));
  l.Sort();
  const char* expected[] = {"ala", "ąb", "b", "cyrk", "Ćma", "lis", "Łódź", "Zebra", "żaba"};
  ASSERT_EQ(l.Count(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(Cp1250ToUtf8(l.Strings(i)), expected[i]);

  TStringList s;
  s.SetSorted(true);
  s.Add("m");
  s.Add("a");
  s.Add("z");
  EXPECT_EQ(s.Add("M"), 1);  // dupIgnore: the index of the existing item
  EXPECT_EQ(s.Count(), 3);
  EXPECT_EQ(s.IndexOf("Z"), 2);
  int at = -1;
  EXPECT_FALSE(s.Find("n", at));
  EXPECT_EQ(at, 2);
  EXPECT_THROW(s.Insert(0, "b"), EStringListError);
  s.SetDuplicates(dupError);
  try {
    s.Add("A");
    ADD_FAILURE();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "String list does not allow duplicates");
  }
  s.SetDuplicates(dupAccept);
  s.Add("A");
  EXPECT_EQ(s.Count(), 4);
  EXPECT_TRUE(SameText(s.Strings(0), "a") && SameText(s.Strings(1), "a"));
}

// Counts its own deletions, for the ownership tests.
struct TCounted : TObject {
  explicit TCounted(int* C) : Count(C) {}
  ~TCounted() override { ++*Count; }
  int* Count;
};

TEST(StringList, OwnedObjectsAreDeletedWithTheirItems) {
  int deleted = 0;
  {
    TStringList l(true);
    l.AddObject("a", new TCounted(&deleted));
    l.AddObject("b", new TCounted(&deleted));
    l.AddObject("c", new TCounted(&deleted));
    l.Delete(0);
    EXPECT_EQ(deleted, 1);
    l.SetObjects(0, new TCounted(&deleted));  // replaces b's object
    EXPECT_EQ(deleted, 2);
    l.Move(1, 0);  // moving keeps the object alive
    EXPECT_EQ(deleted, 2);
    EXPECT_EQ(l.Strings(0), "c");
  }
  EXPECT_EQ(deleted, 4);
  int kept = 0;
  TCounted obj(&kept);
  {
    TStringList l;
    l.AddObject("x", &obj);
    EXPECT_EQ(l.Objects(0), &obj);
    EXPECT_EQ(l.IndexOfObject(&obj), 0);
  }
  EXPECT_EQ(kept, 0);
}

TEST(StringList, OnChangeFiresOncePerBatch) {
  TStringList l;
  int changes = 0;
  l.OnChange = [&](TObject* Sender) {
    EXPECT_EQ(Sender, &l);
    ++changes;
  };
  l.Add("a");
  EXPECT_EQ(changes, 1);
  l.BeginUpdate();
  l.Add("b");
  l.Add("c");
  EXPECT_EQ(changes, 1);
  l.EndUpdate();
  EXPECT_EQ(changes, 2);
  l.SetText("x\ny\nz");
  EXPECT_EQ(changes, 3);
  TStringList copy;
  copy.Assign(&l);
  EXPECT_EQ(copy.Text(), l.Text());
  copy.AddStrings(&copy);
  EXPECT_EQ(copy.Count(), 6);
}

TEST(StringList, CommaText) {
  TStringList l;
  l.SetCommaText("a, \"b c\",\"d\"\"e\",,f");
  ASSERT_EQ(l.Count(), 5);
  EXPECT_EQ(l.Strings(1), "b c");
  EXPECT_EQ(l.Strings(2), "d\"e");
  EXPECT_EQ(l.Strings(3), "");
  EXPECT_EQ(l.CommaText(), "a,\"b c\",\"d\"\"e\",,f");
}

}  // namespace

// ---- TPersistent / TCollection ------------------------------------------------------------------
namespace {

class TNamedItem : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  std::string ClassName() const override { return "TNamedItem"; }
  std::string Value;
  void Assign(TPersistent* Source) override {
    if (auto* s = dynamic_cast<TNamedItem*>(Source)) {
      Value = s->Value;
      return;
    }
    TCollectionItem::Assign(Source);
  }
  void Touch() { Changed(false); }
};

class TWatchedCollection : public TCollection {
 public:
  TWatchedCollection() : TCollection([](TCollection* C) { return new TNamedItem(C); }) {}
  std::string ClassName() const override { return "TWatchedCollection"; }
  std::vector<std::string> Log;

 protected:
  void Update(TCollectionItem* Item) override {
    Log.push_back(Item != nullptr ? "item " + std::to_string(Item->ID()) : "all");
  }
  void Notify(TCollectionItem* Item, TCollectionNotification Action) override {
    Log.push_back((Action == cnAdded ? "added " : "leaving ") + std::to_string(Item->ID()));
  }
};

std::string Values(TCollection& C) {
  std::string s;
  for (int i = 0; i < C.Count(); ++i) s += static_cast<TNamedItem*>(C.Items(i))->Value;
  return s;
}

}  // namespace

TEST(Collection, ItemsKeepIdsMoveAndLeaveWithTheirCollection) {
  TWatchedCollection C;
  for (const char* v : {"a", "b", "c", "d"}) static_cast<TNamedItem*>(C.Add())->Value = v;
  EXPECT_EQ(Values(C), "abcd");
  EXPECT_EQ(C.Items(2)->ID(), 2);

  C.Items(3)->SetIndex(0);   // moving keeps the identity
  C.Items(1)->SetIndex(99);  // clamped to the last place
  EXPECT_EQ(Values(C), "dbca");
  EXPECT_EQ(C.FindItemID(0)->Index(), 3);

  delete C.Items(1);  // deleting an item takes it out of its collection
  C.Delete(0);
  EXPECT_EQ(Values(C), "ca");
  EXPECT_EQ(C.Add()->ID(), 4);  // identities are never reused
  EXPECT_EQ(C.FindItemID(3), nullptr);

  TCollectionItem* orphan = C.Items(0);
  orphan->SetCollection(nullptr);
  EXPECT_EQ(orphan->Index(), -1);
  EXPECT_EQ(C.Count(), 2);
  delete orphan;

  try {
    C.Items(5);
    FAIL() << "no exception";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (5)");
  }
}

TEST(Collection, ChangesAreReportedOnceAfterUpdates) {
  TWatchedCollection C;
  C.Add();
  static_cast<TNamedItem*>(C.Items(0))->Touch();
  EXPECT_EQ(C.Log, (std::vector<std::string>{"added 0", "all", "item 0"}));

  C.Log.clear();
  C.BeginUpdate();
  C.Add();
  static_cast<TNamedItem*>(C.Items(1))->Touch();
  C.Delete(0);
  EXPECT_EQ(C.Log, (std::vector<std::string>{"added 1", "leaving 0"}));
  C.EndUpdate();
  EXPECT_EQ(C.Log.back(), "all");
  EXPECT_EQ(C.Log.size(), 3u);
}

TEST(Collection, AssignCopiesItemsAndRefusesStrangers) {
  TWatchedCollection A, B;
  for (const char* v : {"x", "y"}) static_cast<TNamedItem*>(A.Add())->Value = v;
  static_cast<TNamedItem*>(B.Add())->Value = "old";
  B.Assign(&A);
  EXPECT_EQ(Values(B), "xy");
  EXPECT_NE(B.Items(0), A.Items(0));

  TComponent Stranger;
  try {
    B.Assign(&Stranger);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TComponent to a TWatchedCollection");
  }
  EXPECT_EQ(Values(B), "xy");  // a refused assignment changes nothing
}
