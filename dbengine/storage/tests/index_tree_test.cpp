#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/tests/index_test_support.h"

namespace {

using namespace idxtest;

// Index file with one index in slot 0 (or a secondary one in slot 1) and a byte-order model of the
// keys it should hold.
class TTreeBench {
 public:
  TTreeBench(const TTempDir& Tmp, int KL, bool Unique, uint8_t Compression, bool Descending = false)
      : Tmp(Tmp), KL(KL), Unique(Unique), Descending(Descending) {
    File = Fresh();
    File->CreateFile();
    File->SetPrimaryIndex(MakeIndex("", {1}, KL, true, Compression, Descending));
    if (!Unique) {
      File->AddIndex(MakeIndex("Sec", {1}, KL, false, Compression, Descending));
      Slot = 1;
    }
    File->WriteHeader(true);
  }

  std::unique_ptr<TIndexFile> Fresh() const {
    auto F = std::make_unique<TIndexFile>();
    F->FileName = Tmp.Path("T.IDX");
    return F;
  }

  // Key of value V (and row number Row when not unique): null flag, the integer, a few
  // non-zero bytes and zeros, so that leading and trailing compression both have work.
  TBytes Key(int32_t V, int32_t Row = 0) const {
    TBytes K(static_cast<size_t>(KL), 0);
    K[0] = 1;
    uint8_t Enc[4];
    EncodeIntegerKey(V, Enc);
    const int Body = Unique ? KL : KL - 4;
    for (int I = 0; I < 4 && 1 + I < Body; ++I) K[1 + I] = Enc[I];
    for (int I = 5; I < Body && I < 5 + static_cast<int>(static_cast<uint32_t>(V) % 9); ++I)
      K[I] = static_cast<uint8_t>('A' + (V + I) % 26);
    if (!Unique) EncodeIntegerKey(Row, &K[KL - 4]);
    return K;
  }

  bool Insert(const TBytes& K, uint32_t Rec) {
    const bool Done = IndexInsertKey(*File, nullptr, Slot, K.data(), Rec);
    if (Done) Model[K] = Rec;
    return Done;
  }
  bool Delete(const TBytes& K) {
    const bool Done = IndexDeleteKey(*File, nullptr, Slot, K.data());
    if (Done) Model.erase(K);
    return Done;
  }

  // IndexAppendKeys over a batch; the model takes the keys it reports inserted.
  size_t Append(const std::vector<std::pair<TBytes, uint32_t>>& Batch) {
    TBytes Keys;
    std::vector<uint32_t> Records;
    for (const auto& [K, Rec] : Batch) {
      Keys.insert(Keys.end(), K.begin(), K.end());
      Records.push_back(Rec);
    }
    const size_t Done = IndexAppendKeys(*File, nullptr, Slot, Keys.data(), Records.data(), Batch.size());
    for (size_t I = 0; I < Done; ++I) Model[Batch[I].first] = Batch[I].second;
    return Done;
  }

  // The model's key at a 1-based position in index order.
  std::map<TBytes, uint32_t>::const_iterator ModelAt(int64_t Ordinal) const {
    if (Descending) return std::prev(Model.end(), Ordinal);
    return std::next(Model.begin(), Ordinal - 1);
  }

  void CheckTree() {
    TIndexTreeStats S = IndexCheckTree(*File, nullptr, Slot, File->PageCapacity());
    ASSERT_EQ(S.Keys, static_cast<int64_t>(Model.size()));
    ASSERT_EQ(IndexKeyCount(*File, nullptr, Slot), S.Keys);
    File->CheckFreeChain(Slot);
    ASSERT_EQ(File->ReferencedPages(), 0);
  }

  // Ordinal of a key and key at an ordinal agree with the model.
  void Probe(int Count, std::mt19937& Rng) {
    if (Model.empty()) return;
    std::uniform_int_distribution<int64_t> Pick(1, static_cast<int64_t>(Model.size()));
    TBytes Out(static_cast<size_t>(KL));
    for (int I = 0; I < Count; ++I) {
      const int64_t Ord = Pick(Rng);
      auto It = ModelAt(Ord);
      uint32_t Rec = 0;
      ASSERT_TRUE(IndexKeyAtOrdinal(*File, nullptr, Slot, Ord, Out.data(), Rec)) << Ord;
      ASSERT_EQ(Out, It->first) << Ord;
      ASSERT_EQ(Rec, It->second);
      int64_t Found = 0;
      ASSERT_TRUE(IndexFindKey(*File, nullptr, Slot, It->first.data(), Rec, Found));
      ASSERT_EQ(Found, Ord);
    }
    uint32_t Rec = 0;
    EXPECT_FALSE(IndexKeyAtOrdinal(*File, nullptr, Slot, static_cast<int64_t>(Model.size()) + 1, Out.data(), Rec));
  }

  void Reopen() {
    File->FlushPages();
    File->WriteHeader(false);
    File->Close();
    File = Fresh();
    File->Open();
    File->VerifyIndexFile();
  }

  const TTempDir& Tmp;
  int KL;
  bool Unique;
  bool Descending;
  int Slot = 0;
  std::unique_ptr<TIndexFile> File;
  std::map<TBytes, uint32_t> Model;
};

int StressKeys() {
  const char* E = getenv("VX_INDEX_STRESS_KEYS");
  return E ? std::max(100, atoi(E)) : 20000;
}

class IndexTreeStress : public ::testing::TestWithParam<std::tuple<uint8_t, int>> {};

// Random inserts, deletes of half in random order and re-inserts, with the whole tree checked
// every 1,000 operations, ordinals probed, and the same answers after reopening the file.
TEST_P(IndexTreeStress, RandomInsertDeleteReinsert) {
  const uint8_t Compression = std::get<0>(GetParam());
  const int KL = std::get<1>(GetParam());
  TTempDir Tmp;
  TTreeBench B(Tmp, KL, true, Compression);
  std::mt19937 Rng(1234 + KL * 7 + Compression);
  const int N = KL > 100 ? StressKeys() / 2 : StressKeys();
  std::vector<int32_t> Values(static_cast<size_t>(N));
  for (int I = 0; I < N; ++I) Values[static_cast<size_t>(I)] = I * 3 - N;
  std::shuffle(Values.begin(), Values.end(), Rng);
  int Ops = 0;
  auto Tick = [&] {
    if (++Ops % 1000 == 0) B.CheckTree();
  };
  for (int32_t V : Values) {
    ASSERT_TRUE(B.Insert(B.Key(V), static_cast<uint32_t>(V + N + 1)));
    Tick();
  }
  EXPECT_FALSE(B.Insert(B.Key(Values[0]), 1));  // already there
  B.CheckTree();
  B.Probe(300, Rng);
  std::shuffle(Values.begin(), Values.end(), Rng);
  for (int I = 0; I < N / 2; ++I) {
    ASSERT_TRUE(B.Delete(B.Key(Values[static_cast<size_t>(I)])));
    Tick();
  }
  EXPECT_FALSE(B.Delete(B.Key(Values[0])));  // already gone
  B.CheckTree();
  B.Probe(300, Rng);
  const uint32_t EndBefore = B.File->EndOffset();
  // Uncompressed pages merge below their minimum fill; compressed leaves leave only when empty.
  if (Compression == icNone) {
    EXPECT_GT(B.File->CheckFreeChain(0), 0);
  }
  for (int I = 0; I < N / 2; ++I) {
    ASSERT_TRUE(B.Insert(B.Key(Values[static_cast<size_t>(I)]), 7));
    Tick();
  }
  // Freed pages are used before the file grows.
  EXPECT_TRUE(B.File->EndOffset() == EndBefore || B.File->CheckFreeChain(0) == 0);
  for (int I = 0; I < N / 2; ++I) {
    ASSERT_TRUE(B.Insert(B.Key(N * 3 + I), 9));
    Tick();
  }
  B.CheckTree();
  B.Probe(1000, Rng);
  B.Reopen();
  B.CheckTree();
  B.Probe(1000, Rng);
}

std::string StressName(const ::testing::TestParamInfo<std::tuple<uint8_t, int>>& Info) {
  static const char* const Names[] = {"None", "DupByte", "TrailByte", "Full"};
  return std::string(Names[std::get<0>(Info.param)]) + "Key" + std::to_string(std::get<1>(Info.param));
}

INSTANTIATE_TEST_SUITE_P(AllCompressions, IndexTreeStress,
                         ::testing::Combine(::testing::Values(icNone, icDupByte, icTrailByte, icFull),
                                            ::testing::Values(5, 45, 524)),
                         StressName);

TEST(IndexTree, NonUniqueDuplicatesAndDescendingOrder) {
  for (bool Descending : {false, true}) {
    for (uint8_t Compression : {icNone, icFull}) {
      TTempDir Tmp;
      TTreeBench B(Tmp, 9, false, Compression, Descending);
      std::mt19937 Rng(99);
      // 40 distinct values, each many times; the row number keeps every key apart.
      std::vector<std::pair<int32_t, int32_t>> Rows;
      for (int32_t Row = 1; Row <= 3000; ++Row) Rows.push_back({static_cast<int32_t>(Rng() % 40) - 20, Row});
      for (auto [V, Row] : Rows) ASSERT_TRUE(B.Insert(B.Key(V, Row), static_cast<uint32_t>(Row)));
      B.CheckTree();
      B.Probe(500, Rng);
      // In index order equal values follow their rows.
      TBytes K(9);
      uint32_t Rec = 0;
      ASSERT_TRUE(IndexKeyAtOrdinal(*B.File, nullptr, 1, 1, K.data(), Rec));
      EXPECT_EQ(K, Descending ? B.Model.rbegin()->first : B.Model.begin()->first);
      // Keys inserted in descending order, then all of one value deleted.
      for (int32_t Row = 5000; Row > 3000; --Row) ASSERT_TRUE(B.Insert(B.Key(100000 + Row, Row), 1));
      for (auto [V, Row] : Rows)
        if (V == 3) {
          ASSERT_TRUE(B.Delete(B.Key(V, Row)));
        }
      B.CheckTree();
      B.Probe(500, Rng);
      B.Reopen();
      B.CheckTree();
      B.Probe(200, Rng);
    }
  }
}

// Batches of keys that go after every key (the quick way along the right edge, through leaf and
// root splits, from an empty tree on), mixed with keys that do not (the ordinary insert) and a
// key already present, which stops the batch; in both directions and with compressed leaves.
TEST(IndexTree, AppendedKeysGoOntoTheRightEdgeAndOthersAreInserted) {
  for (bool Descending : {false, true}) {
    for (uint8_t Compression : {icNone, icFull}) {
      SCOPED_TRACE(std::to_string(Descending) + "/" + std::to_string(Compression));
      TTempDir Tmp;
      TTreeBench B(Tmp, 9, false, Compression, Descending);
      std::mt19937 Rng(5);
      // Keys in index order: the value grows with the row number (falls when descending).
      auto Next = [&](int32_t Row) { return B.Key(Descending ? -Row : Row, Row); };
      int32_t Row = 0;
      for (int Batch = 0; Batch < 12; ++Batch) {
        std::vector<std::pair<TBytes, uint32_t>> Keys;
        for (int I = 0; I < 700; ++I) {
          ++Row;
          Keys.push_back({Next(Row), static_cast<uint32_t>(Row)});
        }
        // Every third batch also holds keys that belong inside the tree.
        if (Batch % 3 == 2)
          for (int32_t Old = Row - 40 * 50; Old < Row; Old += 40) {
            Keys.insert(Keys.begin() + static_cast<long>(Rng() % Keys.size()),
                        {B.Key(Descending ? -Old : Old, -Old), static_cast<uint32_t>(Old)});
          }
        ASSERT_EQ(B.Append(Keys), Keys.size());
        B.CheckTree();
      }
      B.Probe(500, Rng);
      // A key already present stops the batch: the keys before it are in, none after it.
      std::vector<std::pair<TBytes, uint32_t>> Keys = {{Next(Row + 1), 1}, {Next(Row + 1), 2}, {Next(Row + 2), 3}};
      EXPECT_EQ(B.Append(Keys), 1u);
      B.CheckTree();
      B.Reopen();
      B.CheckTree();
      B.Probe(500, Rng);
    }
  }
}

// Node and leaf pages read straight from the file.
TPage* Root(TIndexFile& F, int Slot) {
  TPage* P = nullptr;
  EXPECT_TRUE(F.GetRootPage(nullptr, Slot, P));
  return P;
}

TEST(IndexTree, FullLeafSplitsHalfAndHalfUnderANewRoot) {
  TTempDir Tmp;
  TTreeBench B(Tmp, 10, true, icNone);
  for (int V = 1; V <= 255; ++V) ASSERT_TRUE(B.Insert(B.Key(V), static_cast<uint32_t>(V)));
  TPage* P = Root(*B.File, 0);
  EXPECT_EQ(P->Kind, pkRootLeaf);
  EXPECT_EQ(P->Count, 255);
  const uint32_t LeafOffset = P->Offset;
  B.File->ReleasePage(P);
  ASSERT_TRUE(B.Insert(B.Key(256), 256));
  P = Root(*B.File, 0);
  EXPECT_EQ(P->Kind, pkRootNode);
  ASSERT_EQ(P->Count, 2);
  EXPECT_EQ(P->ChildAt(1), LeafOffset);
  EXPECT_EQ(P->CountAt(1), 128u);
  EXPECT_EQ(P->CountAt(2), 128u);
  EXPECT_EQ(TBytes(P->KeyAt(2), P->KeyAt(2) + 10), B.Key(129));
  TPage* Q = nullptr;
  ASSERT_TRUE(B.File->GetPage(nullptr, 0, P->ChildAt(2), Q));
  EXPECT_EQ(Q->Kind, pkLeaf);
  EXPECT_EQ(Q->Left, LeafOffset);
  EXPECT_EQ(Q->Right, 0u);
  B.File->ReleasePage(Q);
  B.File->ReleasePage(P);
  B.CheckTree();
  // On disk: the root node's header and first entry.
  B.Reopen();
  TBytes Disk = Tmp.ReadWhole("T.IDX");
  const uint32_t RootOffset = B.File->RootPage(0);
  ASSERT_GE(Disk.size(), RootOffset + 4096u);
  const uint8_t* R = &Disk[RootOffset];
  EXPECT_EQ(R[0], pkRootNode);
  EXPECT_EQ(LoadU16(R + 1), 2);
  EXPECT_EQ(LoadU32(R + 3), 0u);
  EXPECT_EQ(LoadU32(R + 7), 0u);
  EXPECT_EQ(TBytes(R + 13, R + 23), B.Key(1));
  EXPECT_EQ(LoadU32(R + 23), LeafOffset);
  EXPECT_EQ(LoadU32(R + 27), 128u);
}

// Two leaves of 128 keys (key length 10: capacity 255, minimum 127) under one root; an underfull
// leaf joins its sibling when both fit in one page, else the keys are shared out.
TEST(IndexTree, UnderflowRedistributesOrMergesWithTheSibling) {
  struct TCase {
    const char* What;
    std::vector<int> Add, Remove;
    int RootKind, Left, Right, FirstOfRight, FirstOfLeft, FreePages;
  } Cases[] = {
      // The right leaf underflows; the left sibling keeps the larger half of 327.
      {"left sibling shares", {}, {1128, 1129}, pkRootNode, 164, 163, 1091, 900, 0},
      // The first leaf underflows; its right sibling takes the larger half.
      {"right sibling shares", {}, {1000, 1001}, pkRootNode, 163, 164, 1165, 1002, 0},
      // 128 + 126 keys fit one page: the leaves join and the root collapses onto them.
      {"leaves join", {}, {1128, 1129}, pkRootLeaf, 254, 0, 0, 1000, 2},
  };
  for (size_t I = 0; I < 3; ++I) {
    TCase& C = Cases[I];
    SCOPED_TRACE(C.What);
    if (I == 0)
      for (int V = 900; V <= 972; ++V) C.Add.push_back(V);
    if (I == 1)
      for (int V = 1300; V <= 1372; ++V) C.Add.push_back(V);
    TTempDir Tmp;
    TTreeBench B(Tmp, 10, true, icNone);
    for (int V = 1000; V <= 1255; ++V) ASSERT_TRUE(B.Insert(B.Key(V), 1));
    for (int V : C.Add) ASSERT_TRUE(B.Insert(B.Key(V), 1));
    for (int V : C.Remove) ASSERT_TRUE(B.Delete(B.Key(V)));
    B.CheckTree();
    TPage* R = Root(*B.File, 0);
    EXPECT_EQ(R->Kind, C.RootKind);
    if (C.RootKind == pkRootNode) {
      ASSERT_EQ(R->Count, 2);
      EXPECT_EQ(R->CountAt(1), static_cast<uint32_t>(C.Left));
      EXPECT_EQ(R->CountAt(2), static_cast<uint32_t>(C.Right));
      EXPECT_EQ(TBytes(R->KeyAt(1), R->KeyAt(1) + 10), B.Key(C.FirstOfLeft));
      EXPECT_EQ(TBytes(R->KeyAt(2), R->KeyAt(2) + 10), B.Key(C.FirstOfRight));
    } else {
      EXPECT_EQ(R->Count, C.Left);
      EXPECT_EQ(TBytes(R->KeyAt(1), R->KeyAt(1) + 10), B.Key(C.FirstOfLeft));
    }
    B.File->ReleasePage(R);
    EXPECT_EQ(B.File->CheckFreeChain(0), C.FreePages);
  }
}

TEST(IndexTree, EmptiedTreesFreeTheirPagesForReuse) {
  TTempDir Tmp;
  TTreeBench B(Tmp, 10, true, icNone);
  // The last key of a one-page index: the page is freed and the root is 0.
  ASSERT_TRUE(B.Insert(B.Key(1), 1));
  const uint32_t Page = B.File->RootPage(0);
  ASSERT_TRUE(B.Delete(B.Key(1)));
  EXPECT_EQ(B.File->RootPage(0), 0u);
  EXPECT_EQ(B.File->Descriptor(0)->FreePage(), Page);
  ASSERT_TRUE(B.Insert(B.Key(2), 2));
  EXPECT_EQ(B.File->RootPage(0), Page);
  EXPECT_EQ(B.File->Descriptor(0)->FreePage(), 0u);

  // Thousands of keys, then all but one deleted: merges collapse the tree back to a root leaf.
  std::mt19937 Rng(5);
  std::vector<int32_t> V;
  for (int32_t I = 3; I < 5000; ++I) V.push_back(I);
  for (int32_t X : V) ASSERT_TRUE(B.Insert(B.Key(X), 1));
  const uint32_t End = B.File->EndOffset();
  const int64_t Pages = B.File->PageCapacity();
  std::shuffle(V.begin(), V.end(), Rng);
  for (size_t I = 0; I < V.size(); ++I) {
    ASSERT_TRUE(B.Delete(B.Key(V[I])));
    if (I % 500 == 0) B.CheckTree();
  }
  B.CheckTree();
  TPage* P = Root(*B.File, 0);
  EXPECT_EQ(P->Kind, pkRootLeaf);
  EXPECT_EQ(P->Count, 1);
  B.File->ReleasePage(P);
  EXPECT_EQ(B.File->CheckFreeChain(0), Pages - 1);
  // Refilled from the free chain: the file does not grow.
  for (int32_t X : V) ASSERT_TRUE(B.Insert(B.Key(X), 1));
  EXPECT_EQ(B.File->EndOffset(), End);
  B.CheckTree();
  // Dropping the whole tree puts every page on the free chain.
  IndexFreeTree(*B.File, nullptr, 0);
  B.Model.clear();
  EXPECT_EQ(B.File->RootPage(0), 0u);
  EXPECT_EQ(B.File->CheckFreeChain(0), Pages);
  B.Reopen();
  EXPECT_EQ(B.File->CheckFreeChain(0), Pages);
  B.CheckTree();
}

// Lookups all over a tree much bigger than a slot's cache: the clean pages that leave the cache are
// kept within their budget and serve the next lookups, which read few pages from the file; the
// slot's cache keeps its size, and emptying the caches drops the kept pages too.
TEST(IndexTree, LookupsInNoParticularOrderAreServedByKeptCleanPages) {
  TTempDir Tmp;
  TTreeBench B(Tmp, 45, true, icNone);
  constexpr int kKeys = 60000;  // about 1,500 leaves: more than the budget holds
  for (int V = 0; V < kKeys; ++V) ASSERT_TRUE(B.Insert(B.Key(V), static_cast<uint32_t>(V + 1)));
  B.File->FlushPages();
  B.File->ClearCache(true);
  auto LookUp = [&](int Count, int64_t& Reads) {
    std::vector<int> Order(static_cast<size_t>(Count));
    for (int V = 0; V < Count; ++V) Order[static_cast<size_t>(V)] = V;
    std::shuffle(Order.begin(), Order.end(), std::mt19937(5));
    const int64_t Before = B.File->PageReads;
    for (int V : Order) {
      TIndexPosition Pos;
      ASSERT_TRUE(IndexSeekKey(*B.File, nullptr, 0, B.Key(V).data(), B.KL, Pos));
      ASSERT_EQ(Pos.RecordNumber(), static_cast<uint32_t>(V + 1));
      IndexRelease(*B.File, Pos);
      ASSERT_LE(B.File->CleanBytes(), kCleanPageBytes);
      ASSERT_LE(B.File->CachedPages(0), kIndexCacheInitial);
    }
    Reads = B.File->PageReads - Before;
  };
  // A third of the keys: their pages fit the budget, and the second time hardly any is read.
  int64_t Cold = 0, Warm = 0, All = 0;
  LookUp(kKeys / 3, Cold);
  EXPECT_GT(Cold, 300);
  LookUp(kKeys / 3, Warm);
  EXPECT_LT(Warm, Cold / 20);
  // All of them: the kept pages stay within the budget.
  LookUp(kKeys, All);
  EXPECT_GT(B.File->CleanPages(), 500);
  EXPECT_EQ(B.File->ReferencedPages(), 0);
  B.File->ClearCache(true);
  EXPECT_EQ(B.File->CleanPages(), 0);
  EXPECT_EQ(B.File->CleanBytes(), 0u);
  B.CheckTree();
}

// Kept pages serve lookups where they are: a second round over the same keys reads nothing and
// moves no page between the kept ones and the slot's cache. A kept page that changes goes back to
// its slot's cache first (new contents: a new serial) and is written from there. Two files drawing
// on one budget stay within it; an idle file gives its pages up to the other one, except a page a
// walk holds.
TEST(IndexTree, KeptPagesServeInPlaceGoBackToTheirSlotToChangeAndShareABudget) {
  TTempDir Tmp, OtherTmp;
  TTreeBench B(Tmp, 45, true, icNone), Other(OtherTmp, 45, true, icNone);
  constexpr int kKeys = 30000;  // about 750 leaves
  for (TTreeBench* X : {&B, &Other}) {
    for (int V = 0; V < kKeys; ++V) ASSERT_TRUE(X->Insert(X->Key(V), static_cast<uint32_t>(V + 1)));
    X->File->FlushPages();
    X->File->ClearCache(true);
  }
  TLookupBudget Budget(size_t{3} << 19);  // the leaves of half the keys, not of all of them
  B.File->DrawKeptPagesOn(&Budget);
  Other.File->DrawKeptPagesOn(&Budget);
  std::vector<int> Order(kKeys / 2);
  for (int V = 0; V < kKeys / 2; ++V) Order[static_cast<size_t>(V)] = V;
  std::shuffle(Order.begin(), Order.end(), std::mt19937(9));
  auto LookUp = [&](TTreeBench& X, const std::vector<int>& Values) {
    for (int V : Values) {
      TIndexPosition Pos;
      ASSERT_TRUE(IndexSeekKey(*X.File, nullptr, 0, X.Key(V).data(), X.KL, Pos));
      ASSERT_EQ(Pos.RecordNumber(), static_cast<uint32_t>(V + 1));
      IndexRelease(*X.File, Pos);
      ASSERT_LE(Budget.HeldBytes(), Budget.Limit());
    }
  };
  LookUp(B, Order);
  const int Kept = B.File->CleanPages();
  ASSERT_GT(Kept, 200);
  const int64_t Reads = B.File->PageReads;
  // Where the pages of a few keys are, and what they hold.
  std::vector<std::pair<const TPage*, uint64_t>> Where;
  for (int V : {Order[0], Order[1], Order[2]}) {
    TIndexPosition Pos;
    ASSERT_TRUE(IndexSeekKey(*B.File, nullptr, 0, B.Key(V).data(), B.KL, Pos));
    Where.push_back({Pos.Leaf, Pos.Leaf->Serial});
    IndexRelease(*B.File, Pos);
  }
  LookUp(B, Order);
  EXPECT_EQ(B.File->PageReads, Reads);
  EXPECT_EQ(B.File->CleanPages(), Kept);
  for (auto [Page, Serial] : Where) {
    EXPECT_EQ(B.File->PageInMemory(Page->Offset), Page);
    EXPECT_EQ(Page->Serial, Serial);
  }

  // A key of a kept leaf changes: the leaf goes back to its slot's cache and is written from there.
  const TPage* Leaf = Where[0].first;
  ASSERT_GE(Leaf->KeptAt, 0);
  const int64_t Writes = B.File->PageWrites;
  ASSERT_TRUE(B.Delete(B.Key(Order[0])));
  Order.erase(Order.begin());
  ASSERT_EQ(B.File->PageInMemory(Leaf->Offset), Leaf);
  EXPECT_LT(Leaf->KeptAt, 0);
  EXPECT_NE(Leaf->Serial, Where[0].second);
  B.File->FlushPages();
  EXPECT_GT(B.File->PageWrites, Writes);
  B.Reopen();
  B.File->DrawKeptPagesOn(&Budget);
  B.CheckTree();

  // The other file's lookups while this one is in use: they share the budget.
  LookUp(B, Order);
  LookUp(Other, Order);
  EXPECT_GT(B.File->CleanPages(), 0);
  EXPECT_GT(Other.File->CleanPages(), 0);
  // Idle, this file gives up its kept pages, but not one a walk holds.
  TIndexPosition Held;
  ASSERT_TRUE(IndexSeekKey(*B.File, nullptr, 0, B.Key(Order[5]).data(), B.KL, Held));
  const TPage* HeldLeaf = Held.Leaf;
  B.File->SetKeptPagesIdle(true);
  std::vector<int> Rest(kKeys / 2);
  for (int V = 0; V < kKeys / 2; ++V) Rest[static_cast<size_t>(V)] = kKeys / 2 + V;
  LookUp(Other, Rest);
  EXPECT_LE(B.File->CleanPages(), 1);
  EXPECT_EQ(B.File->PageInMemory(HeldLeaf->Offset), HeldLeaf);
  EXPECT_EQ(Held.RecordNumber(), static_cast<uint32_t>(Order[5] + 1));
  IndexRelease(*B.File, Held);
  EXPECT_EQ(B.File->ReferencedPages(), 0);
  EXPECT_EQ(Budget.HeldBytes(), B.File->CleanBytes() + Other.File->CleanBytes());
  Other.CheckTree();
}

TEST(IndexTree, EachSlotKeepsItsOwnPagesAndEmptyingCutsTheFile) {
  TTempDir Tmp;
  TTreeBench B(Tmp, 5, true, icNone);
  B.File->AddIndex(MakeIndex("Other", {1}, 5, true));
  for (int V = 0; V < 2000; ++V) {
    ASSERT_TRUE(B.Insert(B.Key(V), 1));
    ASSERT_TRUE(IndexInsertKey(*B.File, nullptr, 1, B.Key(-V).data(), 2));
    ASSERT_TRUE(IndexInsertKey(*B.File, nullptr, kSysDeletedSlot, B.Key(V).data(), 3));
  }
  EXPECT_LE(B.File->CachedPages(0), 15 + 8);
  B.Reopen();
  B.CheckTree();
  EXPECT_EQ(IndexCheckTree(*B.File, nullptr, 1, B.File->PageCapacity()).Keys, 2000);
  EXPECT_EQ(IndexCheckTree(*B.File, nullptr, kSysDeletedSlot, B.File->PageCapacity()).Keys, 2000);
  B.File->EmptyIndexFile();
  B.File->WriteHeader(false);
  B.File->Close();
  EXPECT_EQ(Tmp.ReadWhole("T.IDX").size(), 4096u);
  B.File = B.Fresh();
  B.File->Open();
  B.File->VerifyIndexFile();
  EXPECT_EQ(B.File->EndOffset(), 4096u);
  for (int S : {0, 1, kSysDeletedSlot}) {
    EXPECT_EQ(B.File->RootPage(S), 0u);
    EXPECT_EQ(B.File->Descriptor(S)->FreePage(), 0u);
  }
}

TEST(IndexTree, EncryptedPagesReadBack) {
  TTempDir Tmp;
  TTreeBench B(Tmp, 5, true, icDupByte);
  B.File->Encrypted = true;
  B.File->WriteHeader(true);
  for (int V = 0; V < 1500; ++V) ASSERT_TRUE(B.Insert(B.Key(V), static_cast<uint32_t>(V)));
  B.File->FlushPages();
  B.File->WriteHeader(false);
  B.File->Close();
  TBytes Disk = Tmp.ReadWhole("T.IDX");
  B.File = B.Fresh();
  B.File->Encrypted = true;
  B.File->Open();
  B.File->VerifyIndexFile();
  const uint32_t RootOffset = B.File->RootPage(0);
  TBytes Plain(Disk.begin() + RootOffset, Disk.begin() + RootOffset + 4096);
  EXPECT_NE(Plain[0], pkRootNode);
  CipherDecode(Plain.data(), 4096, kTableCipherKeyLow, kTableCipherKeyHigh);
  EXPECT_EQ(Plain[0], pkRootNode);
  std::mt19937 Rng(3);
  B.CheckTree();
  B.Probe(200, Rng);
}

// ---- Corrupt trees ---------------------------------------------------------------------------

class IndexTreeCorrupt : public ::testing::Test {
 protected:
  void SetUp() override {
    TTreeBench B(Tmp, 10, true, icNone);
    for (int V = 0; V < 1000; ++V) ASSERT_TRUE(B.Insert(B.Key(V), static_cast<uint32_t>(V + 1)));
    for (int V = 0; V < 400; V += 2) ASSERT_TRUE(B.Delete(B.Key(V)));  // some free pages
    B.Reopen();
    RootOffset = B.File->RootPage(0);
    FreeOffset = B.File->Descriptor(0)->FreePage();
    B.File->Close();
    Good = Tmp.ReadWhole("T.IDX");
    for (int V = 0; V < 1000; ++V) Keys.push_back(B.Key(V));
    Extra = B.Key(5000);
  }
  std::unique_ptr<TIndexFile> OpenSpoiled(const std::function<void(TBytes&)>& Spoil) {
    TBytes D = Good;
    Spoil(D);
    Tmp.WriteWhole("T.IDX", D);
    auto F = std::make_unique<TIndexFile>();
    F->FileName = Tmp.Path("T.IDX");
    F->Open();
    return F;
  }
  uint32_t Child(int Pos) const { return LoadU32(&Good[RootOffset + 13 + (Pos - 1) * 18 + 10]); }

  TTempDir Tmp;
  TBytes Good;
  uint32_t RootOffset = 0, FreeOffset = 0;
  std::vector<TBytes> Keys;
  TBytes Extra;
};

TEST_F(IndexTreeCorrupt, WalksRaiseInsteadOfLoopingOrReadingAstray) {
  ASSERT_NE(FreeOffset, 0u);
  struct TCase {
    const char* What;
    std::function<void(TBytes&)> Spoil;
  } Cases[] = {
      {"child is the root itself", [&](TBytes& D) { StoreU32(&D[RootOffset + 13 + 10], RootOffset); }},
      {"child off the page grid", [&](TBytes& D) { StoreU32(&D[RootOffset + 13 + 10], 4097); }},
      {"child beyond the end", [&](TBytes& D) { StoreU32(&D[RootOffset + 13 + 10], 0x7FFF0000); }},
      {"child is a free page", [&](TBytes& D) { StoreU32(&D[RootOffset + 13 + 10], FreeOffset); }},
      {"two entries share a child", [&](TBytes& D) { StoreU32(&D[RootOffset + 13 + 18 + 10], Child(1)); }},
      {"subtree count off by one", [&](TBytes& D) { D[RootOffset + 13 + 14] ^= 1; }},
      {"leaf keys out of order", [&](TBytes& D) { D[Child(1) + 13 + 4] = 0xFF; }},
      {"broken sibling link", [&](TBytes& D) { StoreU32(&D[Child(2) + 3], 0); }},
      {"leaf claims to be the root", [&](TBytes& D) { D[Child(1)] = pkRootLeaf; }},
      {"empty leaf", [&](TBytes& D) { StoreU16(&D[Child(1) + 1], 0); }},
      {"root page kind 9", [&](TBytes& D) { D[RootOffset] = 9; }},
  };
  for (const TCase& C : Cases) {
    auto F = OpenSpoiled(C.Spoil);
    EXPECT_EQ(RaisedCode([&] { IndexCheckTree(*F, nullptr, 0, F->PageCapacity()); }), ecIndexCorrupt) << C.What;
    // Every walk ends in an engine error or an answer, never a hang or a stray read.
    for (const TBytes& K : {Keys[1], Keys[999]}) {
      uint32_t Rec = 0;
      int64_t Ord = 0;
      RaisedCode([&] { IndexFindKey(*F, nullptr, 0, K.data(), Rec, Ord); });
      RaisedCode([&] { IndexInsertKey(*F, nullptr, 0, Extra.data(), 1); });
      RaisedCode([&] { IndexDeleteKey(*F, nullptr, 0, K.data()); });
    }
    EXPECT_EQ(F->ReferencedPages(), 0) << C.What;  // error paths release what they held
  }
}

TEST_F(IndexTreeCorrupt, FreeChainLoopsAndLivePagesAreRefused) {
  // A free page that links to itself.
  auto F = OpenSpoiled([&](TBytes& D) { StoreU32(&D[FreeOffset + 7], FreeOffset); });
  EXPECT_EQ(RaisedCode([&] { F->CheckFreeChain(0); }), ecIndexCorrupt);
  F->Close();
  // The free chain leads into the live tree: allocation refuses the live page.
  F = OpenSpoiled([&](TBytes& D) {
    StoreU32(&D[14 + 90], RootOffset);
  });
  EXPECT_EQ(RaisedCode([&] {
              TPage* P = nullptr;
              F->GetRootPage(nullptr, 0, P);
              F->ReleasePage(P);
              F->AllocatePage(nullptr, 0);
            }),
            ecIndexCorrupt);
}

}  // namespace

namespace {

// ---- Positions for the cursor -----------------------------------------------------------------

TEST(IndexTreePositions, SeekStepAndOrdinalsWalkTheWholeIndex) {
  for (bool Descending : {false, true}) {
    TTempDir Tmp;
    TTreeBench B(Tmp, 9, false, icDupByte, Descending);
    std::mt19937 Rng(11);
    // 200 values, each 1..9 times, inserted in random order.
    std::vector<std::pair<int32_t, int32_t>> Rows;
    int32_t Row = 0;
    for (int32_t V = 0; V < 200; ++V)
      for (uint32_t N = 1 + Rng() % 9; N > 0; --N) Rows.push_back({V * 2, ++Row});
    std::shuffle(Rows.begin(), Rows.end(), Rng);
    for (auto [V, R] : Rows) ASSERT_TRUE(B.Insert(B.Key(V, R), static_cast<uint32_t>(R)));
    TIndexFile& F = *B.File;

    // Forward from the first key and back from the last: every key once, in index order.
    TIndexPosition P;
    ASSERT_TRUE(IndexSeekOrdinal(F, nullptr, 1, 1, P));
    int64_t Seen = 1;
    auto It = B.ModelAt(1);
    ASSERT_EQ(TBytes(P.Key(), P.Key() + 9), It->first);
    while (IndexStep(F, nullptr, 1, P, true)) {
      ++Seen;
      It = B.ModelAt(Seen);
      ASSERT_EQ(TBytes(P.Key(), P.Key() + 9), It->first);
      ASSERT_EQ(P.RecordNumber(), It->second);
      ASSERT_EQ(P.Ordinal, Seen);
    }
    EXPECT_EQ(Seen, static_cast<int64_t>(B.Model.size()));
    while (IndexStep(F, nullptr, 1, P, false)) --Seen;
    EXPECT_EQ(Seen, 1);
    EXPECT_EQ(P.Ordinal, 1);
    IndexRelease(F, P);

    // Seeking a value over the 5 bytes before the row number lands on its first row; a missing
    // value lands on the next key in index order.
    for (int32_t V : {0, 1, 77, 200, 398, 399, 401}) {
      TBytes K = B.Key(V, 0);
      const bool Hit = IndexSeekKey(F, nullptr, 1, K.data(), 5, P);
      // The model's answer: the first key whose first 5 bytes are not before K's in index order.
      int64_t Ord = 1;
      auto M = B.ModelAt(1);
      for (; Ord <= static_cast<int64_t>(B.Model.size()); ++Ord) {
        M = B.ModelAt(Ord);
        const int C = memcmp(M->first.data(), K.data(), 5);
        if (Descending ? C <= 0 : C >= 0) break;
      }
      ASSERT_EQ(Hit, Ord <= static_cast<int64_t>(B.Model.size())) << V;
      EXPECT_EQ(P.Ordinal, Ord) << V;
      if (Hit) {
        EXPECT_EQ(TBytes(P.Key(), P.Key() + 9), M->first) << V;
      }
      IndexRelease(F, P);
    }
    EXPECT_FALSE(IndexSeekOrdinal(F, nullptr, 1, static_cast<int64_t>(B.Model.size()) + 1, P));
    EXPECT_FALSE(IndexSeekOrdinal(F, nullptr, 1, 0, P));
    EXPECT_EQ(F.ReferencedPages(), 0);
    B.Reopen();
    B.CheckTree();
  }
}

// ---- The owning table: transactions and change checks ---------------------------------------

class TFakeOwner : public TTableFileOwner {
 public:
  bool Transaction = false;
  int Changes = 0;
  int ChangeChecks = 0;
  bool ReportChange = false;
  bool InTransaction() const override { return Transaction; }
  void MarkChanged() override { ++Changes; }
  bool ChangedBeforeRead(TDataCursor*) override {
    ++ChangeChecks;
    const bool R = ReportChange;
    ReportChange = false;
    return R;
  }
};

TEST(IndexTreeOwner, InsideATransactionNothingIsWrittenAndCachesGrow) {
  TTempDir Tmp;
  TTreeBench B(Tmp, 45, true, icNone);
  TFakeOwner Owner;
  B.File->Owner = &Owner;
  Owner.Transaction = true;
  for (int V = 0; V < 3000; ++V) ASSERT_TRUE(B.Insert(B.Key(V), 1));
  EXPECT_GT(Owner.Changes, 0);
  EXPECT_EQ(Tmp.ReadWhole("T.IDX").size(), 4096u);  // only the header so far
  EXPECT_GT(B.File->CachedPages(0), 15);
  // The commit: pages written, cache cut back.
  Owner.Transaction = false;
  EXPECT_TRUE(B.File->FlushPages());
  EXPECT_FALSE(B.File->FlushPages());
  B.File->TrimCache(true);
  EXPECT_EQ(B.File->CachedPages(0), 15);
  EXPECT_EQ(Tmp.ReadWhole("T.IDX").size(), B.File->EndOffset());
  B.CheckTree();

  // Outside a transaction a full cache writes its pages to make room.
  for (int V = 3000; V < 6000; ++V) ASSERT_TRUE(B.Insert(B.Key(V), 1));
  EXPECT_LE(B.File->CachedPages(0), 15);
  EXPECT_GT(Tmp.ReadWhole("T.IDX").size(), 4096u * 100);
  B.CheckTree();
}

TEST(IndexTreeOwner, ChangeFoundBeforeAReadRestartsTheWalk) {
  TTempDir Tmp;
  TTreeBench B(Tmp, 10, true, icNone);
  for (int V = 0; V < 2000; ++V) ASSERT_TRUE(B.Insert(B.Key(V), static_cast<uint32_t>(V)));
  B.File->FlushPages();
  B.File->ClearCache(true);
  TFakeOwner Owner;
  B.File->Owner = &Owner;
  int Cursor = 0;
  TDataCursor* C = reinterpret_cast<TDataCursor*>(&Cursor);
  uint32_t Rec = 0;
  int64_t Ord = 0;
  Owner.ReportChange = true;
  EXPECT_THROW(IndexFindKey(*B.File, C, 0, B.Key(1500).data(), Rec, Ord), EIndexChanged);
  EXPECT_EQ(Owner.ChangeChecks, 1);
  // Nothing stays referenced: the walk runs again and finds the key.
  EXPECT_EQ(B.File->ReferencedPages(), 0);
  ASSERT_TRUE(IndexFindKey(*B.File, C, 0, B.Key(1500).data(), Rec, Ord));
  EXPECT_EQ(Rec, 1500u);
  EXPECT_EQ(Ord, 1501);
  B.File->FlushPages();
  B.File->ClearCache(false);
  EXPECT_EQ(B.File->CachedPages(0), 0);
}

}  // namespace
