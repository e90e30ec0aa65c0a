#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dbengine/storage/collation.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/index_page.h"
#include "dbengine/storage/records_bitmap.h"

namespace {

using TBytes = std::vector<uint8_t>;

// A store for pages that stand alone: byte-order keys, no other pages.
class TLonePageStore : public TPageStore {
 public:
  bool GetPage(TDataCursor*, int, uint32_t, TPage*&, bool) override { return false; }
  void ReleasePage(TPage*& Page) override { Page = nullptr; }
  TPage* AllocatePage(TDataCursor*, int) override {
    PageCorrupt();
    return nullptr;
  }
  void PushFreePage(int, TPage*) override {}
  uint32_t RootPage(int) override { return 0; }
  void SetRootPage(int, uint32_t) override {}
  int CompareKeys(TDataCursor*, const TPage&, const uint8_t* EntryKey, const uint8_t* SearchKey,
                  int Length) override {
    return CompareBuffers(EntryKey, SearchKey, Length, false);
  }
  bool ValidPageOffset(uint32_t) override { return false; }
  [[noreturn]] void PageCorrupt() override { RaiseEngineError(ecIndexCorrupt, "lone"); }
};

struct TEntry {
  TBytes Key;
  uint32_t Record;
};

// A root leaf holding the entries, in the given order.
void FillLeaf(TPage& P, TLonePageStore& Store, int KL, bool Unique, uint8_t Compression,
              const std::vector<TEntry>& Entries) {
  P.Owner = &Store;
  P.Configure(KL, 1, false, Unique, Compression);
  P.Reset();
  P.Kind = pkRootLeaf;
  P.Offset = 4096;
  for (const TEntry& E : Entries) {
    P.WritePos = P.Count + 1;
    P.InsertEntry(nullptr, E.Key.data(), E.Record, 1);
  }
}

TBytes Encoded(const TPage& P) {
  TBytes B(kIndexPageSize);
  P.Encode(B.data());
  return B;
}

// Header (13 bytes) and the entry bytes that follow it; the rest of the page must be zero.
void ExpectPage(const TBytes& Page, const TBytes& Header, const TBytes& Entries) {
  ASSERT_EQ(Page.size(), static_cast<size_t>(kIndexPageSize));
  EXPECT_EQ(TBytes(Page.begin(), Page.begin() + 13), Header);
  EXPECT_EQ(TBytes(Page.begin() + 13, Page.begin() + 13 + static_cast<long>(Entries.size())), Entries);
  for (size_t I = 13 + Entries.size(); I < Page.size(); ++I) ASSERT_EQ(Page[I], 0) << "byte " << I;
}

void ExpectRoundTrip(const TPage& P, TLonePageStore& Store) {
  TBytes B = Encoded(P);
  TPage Q;
  Q.Owner = &Store;
  Q.Configure(P.KeyLength, P.Slot, P.Descending, P.Unique, P.Compression);
  Q.Decode(B.data(), false);
  ASSERT_EQ(Q.Count, P.Count);
  EXPECT_EQ(Q.Kind, P.Kind);
  EXPECT_EQ(Q.CompressedSize, P.CompressedSize);
  for (int I = 1; I <= P.Count; ++I) {
    EXPECT_EQ(0, memcmp(Q.KeyAt(I), P.KeyAt(I), static_cast<size_t>(P.KeyLength))) << "entry " << I;
    EXPECT_EQ(Q.ChildAt(I), P.ChildAt(I));
  }
}

TEST(IndexPageFormat, CapacitiesFollowTheKeyLength) {
  struct TCase {
    int KL, Leaf, Node;
  } Cases[] = {{10, 255, 204}, {5, 371, 272}, {45, 80, 74}, {528, 7, 7}};
  for (const TCase& C : Cases) {
    EXPECT_EQ(TPage::LeafCapacity(C.KL), C.Leaf) << C.KL;
    EXPECT_EQ(TPage::NodeCapacity(C.KL), C.Node) << C.KL;
  }
}

// Leaves of every compression, byte for byte: header (kind, count, links, compressed size), then
// the packed entries.
TEST(IndexPageFormat, LeafBytesOfEveryCompression) {
  struct TCase {
    const char* What;
    int KL;
    bool Unique;
    uint8_t Compression;
    std::vector<TEntry> Entries;
    uint16_t CompressedSize;
    TBytes Stored;
  } Cases[] = {
      // Entries stay in the order placed (here appended out of key order).
      {"plain", 4, true, icNone, {{{0, 0, 0, 2}, 9}, {{0, 0, 0, 1}, 7}}, 0,
       {0, 0, 0, 2, 9, 0, 0, 0, 0, 0, 0, 1, 7, 0, 0, 0}},
      // First entry: lead 0 and the whole key; second: lead 5, one byte, record number (7 bytes).
      {"dupbyte", 6, true, icDupByte,
       {{{0x11, 0x22, 0x33, 0x44, 0x55, 0x66}, 1}, {{0x11, 0x22, 0x33, 0x44, 0x55, 0x77}, 2}}, 12 + 7,
       {0, 0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 1, 0, 0, 0, 5, 0, 0x77, 2, 0, 0, 0}},
      // Not unique: the zeros before the row number go, the row number stays.
      {"trailbyte, not unique", 8, false, icTrailByte, {{{0x41, 0, 0, 0, 0x80, 0, 0, 5}, 3}}, 8 - 3 + 6,
       {3, 0, 0x41, 0x80, 0, 0, 5, 3, 0, 0, 0}},
      {"trailbyte, unique", 4, true, icTrailByte, {{{0x41, 0x42, 0, 0}, 4}, {{0, 0, 0, 0}, 5}}, 14,
       {2, 0, 0x41, 0x42, 4, 0, 0, 0, 4, 0, 5, 0, 0, 0}},
      {"full, unique", 6, true, icFull, {{{0x10, 0x20, 0, 0, 0, 0}, 1}, {{0x10, 0x20, 0x30, 0, 0, 0}, 2}}, 15,
       {0, 4, 0x10, 0x20, 1, 0, 0, 0, 2, 3, 0x30, 2, 0, 0, 0}},
      // Not unique: trailing zeros counted before the row number; when no more than the row number
      // follows the lead, nothing is trailed.
      {"full, not unique", 8, false, icFull,
       {{{0x55, 0, 0, 0, 0x80, 0, 0, 1}, 1}, {{0x55, 0, 0, 0, 0x80, 0, 0, 2}, 2}}, 18,
       {0, 3, 0x55, 0x80, 0, 0, 1, 1, 0, 0, 0, 7, 0, 2, 2, 0, 0, 0}},
  };
  TLonePageStore Store;
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    TPage P;
    FillLeaf(P, Store, C.KL, C.Unique, C.Compression, C.Entries);
    EXPECT_EQ(P.CompressedSize, C.CompressedSize);
    const uint8_t N = static_cast<uint8_t>(C.Entries.size());
    ExpectPage(Encoded(P), {3, N, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(C.CompressedSize), 0}, C.Stored);
    ExpectRoundTrip(P, Store);
  }
}

TEST(IndexPageFormat, LinksAndNodeEntries) {
  TLonePageStore Store;
  TPage P;
  FillLeaf(P, Store, 4, true, icNone, {{{0, 0, 0, 1}, 7}});
  P.Left = 0x2000;
  P.Right = 0x3000;
  ExpectPage(Encoded(P), {3, 1, 0, 0, 0x20, 0, 0, 0, 0x30, 0, 0, 0, 0}, {0, 0, 0, 1, 7, 0, 0, 0});
  // A node entry carries the child offset and its subtree count; nodes are never compressed.
  TPage N;
  N.Owner = &Store;
  N.Configure(4, 1, false, true, icFull);
  N.Reset();
  N.Kind = pkRootNode;
  N.InsertEntry(nullptr, TBytes{1, 2, 3, 4}.data(), 0x5000, 300);
  EXPECT_EQ(N.CompressedSize, 0);
  ExpectPage(Encoded(N), {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 3, 4, 0x00, 0x50, 0, 0, 0x2C, 0x01, 0, 0});
  ExpectRoundTrip(N, Store);
}

TEST(IndexPageFormat, FullCompressionCapsBothCountsAt255) {
  TLonePageStore Store;
  TBytes A(300, 0), B(300, 0);
  A[0] = 1;
  B[0] = 1;
  B[299] = 9;
  TPage P;
  FillLeaf(P, Store, 300, true, icFull, {{A, 1}, {B, 2}});
  TBytes E = Encoded(P);
  // A: lead 0, 299 trailing zeros capped to 255, so 45 key bytes stay.
  EXPECT_EQ(E[13], 0);
  EXPECT_EQ(E[14], 255);
  EXPECT_EQ(E[15], 1);
  const size_t Second = 13 + 2 + 45 + 4;
  // B: 299 equal leading bytes capped to 255, no trailing zero.
  EXPECT_EQ(E[Second], 255);
  EXPECT_EQ(E[Second + 1], 0);
  EXPECT_EQ(E[Second + 2 + 44], 9);
  EXPECT_EQ(P.CompressedSize, (300 - 255 + 6) * 2);
  ExpectRoundTrip(P, Store);
}

TEST(IndexPageFormat, FreePageWritesOnlyItsHeader) {
  TLonePageStore Store;
  TPage P;
  FillLeaf(P, Store, 4, true, icNone, {{{1, 2, 3, 4}, 1}});
  P.Kind = pkLeaf;
  P.Free = true;
  P.Left = 0;
  P.Right = 0x9000;
  ExpectPage(Encoded(P), {2, 0, 0, 0, 0, 0, 0, 0, 0x90, 0, 0, 0, 0}, {});
}

TEST(IndexPageFormat, SearchFindsExactKeysAndTheEntryBelow) {
  TLonePageStore Store;
  TPage P;
  FillLeaf(P, Store, 1, true, icNone, {{{10}, 1}, {{20}, 2}, {{30}, 3}, {{40}, 4}});
  struct TCase {
    uint8_t Key;
    bool Found;
    int ReadPos;
    int InsertPos;
  } Cases[] = {{5, false, 1, 0}, {10, true, 1, 1}, {25, false, 2, 2}, {40, true, 4, 4}, {99, false, 4, 4}};
  for (const TCase& C : Cases) {
    EXPECT_EQ(P.FindKey(nullptr, &C.Key, 1), C.Found) << int(C.Key);
    EXPECT_EQ(P.ReadPos, C.ReadPos) << int(C.Key);
    EXPECT_EQ(P.FindInsertPosition(nullptr, &C.Key, 1), C.InsertPos) << int(C.Key);
  }
  P.WritePos = 2;
  EXPECT_EQ(P.CountConsecutiveRecords(true, 10), 3);
  EXPECT_EQ(P.CountConsecutiveRecords(false, 10), 2);
  EXPECT_EQ(P.CountConsecutiveRecords(true, 2), 2);
  P.Count = 0;
  EXPECT_THROW(P.FindKey(nullptr, TBytes{1}.data(), 1), EVXDBEngineError);
}

TEST(IndexPageFormat, OrdinalsAndBitmapScans) {
  TLonePageStore Store;
  TPage N;
  N.Owner = &Store;
  N.Configure(1, 1, false, true, icNone);
  N.Reset();
  N.Kind = pkRootNode;
  const uint32_t Counts[] = {5, 3, 7};
  for (int I = 0; I < 3; ++I) {
    N.WritePos = I + 1;
    const uint8_t K = static_cast<uint8_t>(10 * (I + 1));
    N.InsertEntry(nullptr, &K, static_cast<uint32_t>(4096 * (I + 2)), Counts[I]);
  }
  EXPECT_EQ(N.TotalKeys(), 15);
  EXPECT_EQ(N.KeysBefore(1), 0);
  EXPECT_EQ(N.KeysBefore(3), 8);
  // Ordinal 7 is the 2nd key of the second child; ordinal 99 clamps to the last child.
  EXPECT_EQ(N.SeekOrdinal(7), 2);
  EXPECT_EQ(N.ReadPos, 2);
  EXPECT_EQ(N.SeekOrdinal(99), 91);
  EXPECT_EQ(N.ReadPos, 3);

  TPage L;
  FillLeaf(L, Store, 1, true, icNone, {{{1}, 4}, {{2}, 9}, {{3}, 2}, {{4}, 7}, {{5}, 30}});
  EXPECT_EQ(L.KeysBefore(4), 3);
  EXPECT_EQ(L.TotalKeys(), 5);
  TRecordsBitmap Visible;
  Visible.SetRecordCount(20);
  Visible.SetBit(2);
  Visible.SetBit(7);
  L.ReadPos = 1;
  ASSERT_TRUE(L.NextInBitmap(Visible));
  EXPECT_EQ(L.ReadPos, 3);
  ASSERT_TRUE(L.NextInBitmap(Visible));
  EXPECT_EQ(L.ReadPos, 4);
  EXPECT_FALSE(L.NextInBitmap(Visible));  // record 30 lies beyond the bitmap
  EXPECT_EQ(L.ReadPos, 4);
  ASSERT_TRUE(L.PriorInBitmap(Visible));
  EXPECT_EQ(L.ReadPos, 3);
  EXPECT_FALSE(L.PriorInBitmap(Visible));

  TRecordsBitmap Found;
  Found.SetRecordCount(20);
  L.ReadPos = 2;
  const uint8_t UpTo = 3;
  EXPECT_FALSE(L.CollectUpTo(nullptr, &UpTo, Found));  // stopped at key 4
  EXPECT_EQ(L.ReadPos, 4);
  EXPECT_EQ(Found.CountSet(), 2);
  EXPECT_TRUE(Found.GetBit(9) && Found.GetBit(2));
  const uint8_t All = 200;
  L.ReadPos = 1;
  EXPECT_TRUE(L.CollectUpTo(nullptr, &All, Found));  // ran to the last entry
  EXPECT_EQ(Found.CountSet(), 4);                    // 4, 9, 2, 7 (30 is beyond the bitmap)
}

// Pages that cannot be valid raise "index page buffers corrupt" and never read past the page.
TEST(IndexPageFormat, CorruptPagesRaiseTheEngineError) {
  TLonePageStore Store;
  struct TCase {
    const char* What;
    int KL;
    bool Unique;
    uint8_t Compression;
    TBytes Head;  // the first bytes of the page
  } Cases[] = {
      {"kind beyond root leaf", 4, true, icNone, {4, 1, 0}},
      {"more plain entries than fit", 4, true, icNone, {3, 0xFF, 0x01}},
      {"node entries beyond the page", 4, true, icNone, {1, 0xF0, 0x01}},
      {"first dupbyte entry with a lead", 4, true, icDupByte, {3, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0}},
      {"dupbyte lead beyond the key", 4, true, icDupByte,
       {3, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 1, 0, 0, 0, 9, 0}},
      {"trail beyond the key", 4, true, icTrailByte, {3, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0}},
      {"full trail into the row number", 8, false, icFull, {3, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5}},
      // 672 entries of 10 bytes each (zero lead, 4 key bytes, record number) cannot fit.
      {"compressed entries running off the page", 4, true, icDupByte, {3, 0xA0, 0x02}},
  };
  // Settings no key can have: a key that is not unique needs room for its row number.
  TPage Bad;
  Bad.Owner = &Store;
  Bad.Configure(3, 1, false, false, icTrailByte);
  Bad.Reset();
  EXPECT_THROW(Bad.InsertEntry(nullptr, TBytes{1, 2, 3}.data(), 1, 1), EVXDBEngineError);
  Bad.Configure(600, 1, false, true, icNone);
  EXPECT_THROW(Bad.InsertEntry(nullptr, TBytes(600, 1).data(), 1, 1), EVXDBEngineError);
  EXPECT_EQ(Bad.Count, 0);
  for (const TCase& C : Cases) {
    TBytes Page(kIndexPageSize, 0);
    std::copy(C.Head.begin(), C.Head.end(), Page.begin());
    TPage P;
    P.Owner = &Store;
    P.Configure(C.KL, 1, false, C.Unique, C.Compression);
    try {
      P.Decode(Page.data(), false);
      ADD_FAILURE() << C.What << ": no error";
    } catch (const EVXDBEngineError& E) {
      EXPECT_EQ(E.ErrorCode(), ecIndexCorrupt) << C.What;
      EXPECT_EQ(E.Message(), "VXDB Engine Error # 8965 Index page buffers corrupt in table 'lone'") << C.What;
    }
  }
}

}  // namespace
