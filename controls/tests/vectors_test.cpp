#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "controls/chckfree.h"
#include "controls/vectors.h"

namespace {

// A 32-bit vector that can be filled, for the stream image.
class TIntVector : public TBase32Vector {
 public:
  void Put(int Index, int32_t V) { std::memcpy(FData + Index * 4, &V, 4); }
  int Compare(int, const void*) const override { return 0; }
  void Exchange(int, int) override {}
};

void* P(intptr_t V) { return reinterpret_cast<void*>(V); }

std::string ErrorText(const std::function<void()>& F) {
  try {
    F();
  } catch (const EVectorError& E) {
    return E.Message();
  } catch (const EVStream& E) {
    return "EVStream: " + E.Message();
  }
  return "(no error)";
}

TEST(PointerVectorTest, AddGrowsCapacityByTheStepRule) {
  TPointerVector V;
  EXPECT_EQ(V.Count(), 0);
  EXPECT_EQ(V.Capacity(), 0);
  EXPECT_EQ(V.Data(), nullptr);
  // n-th Add (1-based) -> capacity after it; between these the capacity stays.
  const std::vector<std::pair<int, int>> Steps = {{1, 4},   {5, 8},   {9, 12},  {13, 28}, {29, 44},
                                                  {45, 60}, {61, 76}, {77, 96}, {97, 120}};
  int Expected = 0;
  size_t Next = 0;
  for (int N = 1; N <= 100; ++N) {
    if (Next < Steps.size() && Steps[Next].first == N) Expected = Steps[Next++].second;
    EXPECT_EQ(V.Add(P(N * 8)), N - 1);
    ASSERT_EQ(V.Capacity(), Expected) << "after add " << N;
  }
  for (int I = 0; I < 100; ++I) ASSERT_EQ(V.Items(I), P((I + 1) * 8));
}

TEST(PointerVectorTest, RangeErrorsNameTheClassAndIndex) {
  TPointerVector V;
  for (int I = 0; I < 7; ++I) V.Add(P(I));
  struct {
    std::function<void()> Op;
    const char* Text;
  } Cases[] = {
      {[&] { V.Items(-1); }, "Class TPointerVector: range check error (-1)"},
      {[&] { V.Items(7); }, "Class TPointerVector: range check error (7)"},
      {[&] { V.Insert(8, nullptr); }, "Class TPointerVector: range check error (8)"},
      {[&] { V.Delete(7); }, "Class TPointerVector: range check error (7)"},
      {[&] { V.DeleteRange(5, 3); }, "Class TPointerVector: range check error (5)"},
      {[&] { V.Exchange(9, 0); }, "Class TPointerVector: range check error (9)"},
      {[&] { V.Exchange(0, -2); }, "Class TPointerVector: range check error (-2)"},
      {[&] { V.SetCapacity(3); }, "Class TPointerVector: wrong vector size (3)"},
      {[&] { V.SetCount(-4); }, "Class TPointerVector: range check error (-4)"},
      {[&] { V.SetCount(300000000); }, "Class TPointerVector: data too large (2400000000)"},
      {[&] { V.SaveToStream(nullptr); }, "Class TPointerVector: method is not applicable"},
      {[&] { V.LoadFromStream(nullptr); }, "Class TPointerVector: method is not applicable"},
  };
  for (const auto& C : Cases) EXPECT_EQ(ErrorText(C.Op), C.Text);
  // Failed operations changed nothing.
  ASSERT_EQ(V.Count(), 7);
  EXPECT_EQ(V.Capacity(), 8);
  for (int I = 0; I < 7; ++I) EXPECT_EQ(V.Items(I), P(I));
}

TEST(PointerVectorTest, NewSlotsReadNilAndDeletionShrinksTheBlock) {
  TPointerVector V;
  V.SetCount(10);
  EXPECT_EQ(V.Capacity(), 12);
  for (int I = 0; I < 10; ++I) EXPECT_EQ(V.Items(I), nullptr);
  for (int I = 0; I < 10; ++I) V.PutItem(I, P(100 + I));
  V.Delete(0);  // 9 left: block shrinks to 12 -> stays 12
  EXPECT_EQ(V.Capacity(), 12);
  V.DeleteRange(2, 4);  // 5 left -> 8
  EXPECT_EQ(V.Count(), 5);
  EXPECT_EQ(V.Capacity(), 8);
  const std::vector<intptr_t> Left = {101, 102, 107, 108, 109};
  for (int I = 0; I < 5; ++I) EXPECT_EQ(V.Items(I), P(Left[I]));
  // Slots freed by the deletions read nil when the count grows again.
  V.SetCount(8);
  for (int I = 5; I < 8; ++I) EXPECT_EQ(V.Items(I), nullptr);
  V.DeleteRange(0, 0);
  EXPECT_EQ(V.Count(), 8);
  V.ClearAll();
  EXPECT_EQ(V.Count(), 8);
  for (int I = 0; I < 8; ++I) EXPECT_EQ(V.Items(I), nullptr);

  TPointerVector One;
  One.Add(P(1));
  One.Delete(0);
  EXPECT_EQ(One.Capacity(), 0);
  EXPECT_EQ(One.Data(), nullptr);
}

TEST(PointerVectorTest, InsertExchangeAssignEqualsAppend) {
  TPointerVector V;
  V.Add(P(1));
  V.Add(P(3));
  V.Insert(1, P(2));
  V.Insert(0, P(0));
  V.Exchange(0, 3);
  std::vector<void*> Got;
  for (int I = 0; I < V.Count(); ++I) Got.push_back(V.Items(I));
  EXPECT_EQ(Got, (std::vector<void*>{P(3), P(1), P(2), P(0)}));

  TPointerVector W;
  W.Add(P(9));
  W.Assign(&V);
  EXPECT_TRUE(W.Equals(&V));
  EXPECT_EQ(W.Capacity(), 4);
  W.PutItem(2, P(7));
  EXPECT_FALSE(W.Equals(&V));

  W.AppendVector(&W);
  ASSERT_EQ(W.Count(), 8);
  for (int I = 0; I < 4; ++I) EXPECT_EQ(W.Items(I + 4), W.Items(I));

  TIntVector Other;
  EXPECT_EQ(ErrorText([&] { W.Assign(&Other); }), "Class TPointerVector: assign error");
  EXPECT_FALSE(Other.Equals(&V));  // different element sizes never compare equal

  std::unique_ptr<TPointerVector> E(V.NewEmpty());
  EXPECT_EQ(E->ClassName(), "TPointerVector");
  EXPECT_EQ(E->Count(), 0);
}

TEST(PointerVectorTest, SortsBothWaysWithDuplicates) {
  const std::vector<intptr_t> Tables[] = {
      {5, 3, 9, 1, 5, 7, 3, 3, 0, -4, 12, 9},
      {1},
      {2, 1},
      {4, 4, 4, 4, 4},
      {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, -1, -2},
  };
  for (const auto& T : Tables) {
    for (bool Ascending : {true, false}) {
      TPointerVector V;
      for (intptr_t X : T) V.Add(P(X));
      if (Ascending)
        V.SortAscending(0, V.Count() - 1);
      else
        V.SortDescending(0, V.Count() - 1);
      std::vector<intptr_t> Want = T;
      std::sort(Want.begin(), Want.end());
      if (!Ascending) std::reverse(Want.begin(), Want.end());
      for (int I = 0; I < V.Count(); ++I) EXPECT_EQ(V.Items(I), P(Want[static_cast<size_t>(I)]));
    }
  }
}

TEST(VectorStreamTest, RoundTripAndShortStreams) {
  TIntVector V;
  V.SetCount(5);
  for (int I = 0; I < 5; ++I) V.Put(I, I * 1000 - 2);
  TMemoryStream S;
  V.SaveToStream(&S);
  ASSERT_EQ(S.Size(), 4 + 2 + 20);
  EXPECT_EQ(V.DataSize(), 30);
  const uint8_t Head[6] = {5, 0, 0, 0, 4, 0};
  EXPECT_EQ(std::memcmp(S.Memory(), Head, 6), 0);

  TIntVector W;
  S.SetPosition(0);
  W.LoadFromStream(&S);
  EXPECT_EQ(W.Count(), 5);
  EXPECT_TRUE(W.Equals(&V));

  for (int64_t Cut : {3, 5, 25}) {
    TMemoryStream Short;
    Short.WriteBuffer(S.Memory(), Cut);
    Short.SetPosition(0);
    TIntVector X;
    EXPECT_EQ(ErrorText([&] { X.LoadFromStream(&Short); }), "EVStream: Class TMemoryStream: read after end error");
    EXPECT_EQ(X.Count(), 0);
  }
}

TEST(VectorLeakListTest, VectorsRegisterWhileAlive) {
  auto Listed = [](TObject* O) {
    auto L = RegisteredObjects();
    return std::count(L.begin(), L.end(), O);
  };
  auto* V = new TPointerVector();
  EXPECT_EQ(Listed(V), 1);
  delete V;
  EXPECT_EQ(Listed(V), 0);
}

}  // namespace
