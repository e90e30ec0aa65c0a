// Expression filters on cursors: the visible set of a table of filters, through indexes and by
// scanning alike, with the NULL rules; filter errors; index use; clones; conditions from checked
// trees; calculated fields of the field map.
#include <functional>

#include "dbengine/sql/expr_token.h"
#include "dbengine/sql/expr_values.h"
#include "filter_test_util.h"

using namespace cursortest;
using namespace filtertest;

namespace {

using TPredicate = std::function<bool(const TItem&)>;

bool NameIs(const TItem& R, std::initializer_list<const char*> Names) {
  for (const char* N : Names)
    if (R.Name == N) return true;
  return false;
}

// UPPER of ASCII letters (the other letters follow the table's locale).
std::string AsciiUpper(std::string S) {
  for (char& C : S)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return S;
}

class FilterCursorTest : public FilterFixture {
 protected:
  std::set<int32_t> Expect(const TPredicate& P) {
    std::set<int32_t> R;
    for (size_t I = 0; I < Items.size(); ++I)
      if (P(Items[I])) R.insert(static_cast<int32_t>(I + 1));
    return R;
  }
};

TEST_F(FilterCursorTest, FiltersGiveTheSameRecordsThroughIndexesAndByScanning) {
  Fill(MakeItems(600, 7));
  const int32_t Mid = EncodeDayNumber(2000, 6, 1);
  struct TCase {
    const char* Text;
    TPredicate Pass;
    bool CaseInsensitive;
  };
  const TCase Cases[] = {
      // Ordering comparisons with a NULL side are false on both paths.
      {"QTY > -5", [](const TItem& R) { return R.Qty && *R.Qty > -5; }, false},
      {"QTY < 3", [](const TItem& R) { return R.Qty && *R.Qty < 3; }, false},
      {"QTY <= 0", [](const TItem& R) { return R.Qty && *R.Qty <= 0; }, false},
      {"QTY >= 10", [](const TItem& R) { return R.Qty && *R.Qty >= 10; }, false},
      {"-5 < QTY", [](const TItem& R) { return R.Qty && *R.Qty > -5; }, false},
      {"QTY BETWEEN -2 AND 2", [](const TItem& R) { return R.Qty && *R.Qty >= -2 && *R.Qty <= 2; }, false},
      // = and <> keep NULL = NULL: a NULL differs from every value.
      {"QTY = 7", [](const TItem& R) { return R.Qty && *R.Qty == 7; }, false},
      {"QTY <> 7", [](const TItem& R) { return !R.Qty || *R.Qty != 7; }, false},
      {"NOT (QTY > 5)", [](const TItem& R) { return !(R.Qty && *R.Qty > 5); }, false},
      {"QTY IS NULL", [](const TItem& R) { return !R.Qty; }, false},
      {"QTY IS NOT NULL", [](const TItem& R) { return R.Qty.has_value(); }, false},
      {"QTY IN (1, 3, 5)", [](const TItem& R) { return R.Qty && (*R.Qty == 1 || *R.Qty == 3 || *R.Qty == 5); },
       false},
      {"QTY NOT IN (1, 3, 5)", [](const TItem& R) { return !(R.Qty && (*R.Qty == 1 || *R.Qty == 3 || *R.Qty == 5)); },
       false},
      {"QTY > 0 AND PRICE < 50", [](const TItem& R) { return R.Qty && *R.Qty > 0 && R.Price && *R.Price < 50; },
       false},
      {"QTY > 15 OR QTY < -15", [](const TItem& R) { return R.Qty && (*R.Qty > 15 || *R.Qty < -15); }, false},
      {"QTY > 15 OR NAME = 'Kot'", [](const TItem& R) { return (R.Qty && *R.Qty > 15) || R.Name == "Kot"; }, false},
      {"NOT (QTY > 0 AND FLAG)", [](const TItem& R) { return !(R.Qty && *R.Qty > 0 && R.Flag && *R.Flag); }, false},
      {"PRICE >= 10.5", [](const TItem& R) { return R.Price && *R.Price >= 10.5; }, false},
      {"FLAG", [](const TItem& R) { return R.Flag && *R.Flag; }, false},
      {"NAME = 'Kot'", [](const TItem& R) { return R.Name == "Kot"; }, false},
      {"NAME IS NULL", [](const TItem& R) { return R.Name.empty(); }, false},
      {"NAME > 'M'", [](const TItem& R) { return !R.Name.empty() && R.Name > "M"; }, false},
      {"NAME < 'Kot'", [](const TItem& R) { return !R.Name.empty() && R.Name < "Kot"; }, false},
      {"NAME LIKE 'Ko%'", [](const TItem& R) { return R.Name.rfind("Ko", 0) == 0; }, false},
      {"NAME LIKE '%ot'", [](const TItem& R) { return NameIs(R, {"Kot", "kot"}); }, false},
      {"NAME IN ('Ala', '\xA3o\x9C')", [](const TItem& R) { return NameIs(R, {"Ala", "\xA3o\x9C"}); }, false},
      {"UPPER(NAME) = 'KOT'", [](const TItem& R) { return NameIs(R, {"Kot", "KOT", "kot"}); }, false},
      {"NAME = 'kot'", [](const TItem& R) { return NameIs(R, {"Kot", "KOT", "kot"}); }, true},
  };
  for (const TCase& T : Cases) {
    SCOPED_TRACE(T.Text);
    const std::set<int32_t> Want = Expect(T.Pass);
    TFilterHandle HI = nullptr, HP = nullptr;
    EXPECT_EQ(Visible(Indexed, T.Text, T.CaseInsensitive, &HI), Want);
    EXPECT_EQ(Visible(Plain, T.Text, T.CaseInsensitive, &HP), Want);
    EXPECT_EQ(BruteForce(Plain, T.Text, T.CaseInsensitive), Want);
    EXPECT_EQ(HP->Optimization, 0);
    Indexed->DropFilter(HI);
    Plain->DropFilter(HP);
  }
  // Dates compared with date texts.
  const std::string Born = "BORN >= '2000-06-01'";
  EXPECT_EQ(Visible(Indexed, Born), Expect([&](const TItem& R) { return R.Born && *R.Born >= Mid; }));
}

TEST_F(FilterCursorTest, AComparisonOfAnIndexedColumnIsAnsweredByTheIndex) {
  Fill(MakeItems(50, 3));
  struct TCase {
    const char* Text;
    uint8_t Indexed;
  };
  const TCase Cases[] = {{"QTY = 7", 2},           {"7 = QTY", 2},        {"QTY > 1 AND PRICE < 3", 2},
                         {"QTY > 1 OR PRICE < 3", 2}, {"QTY > 1 AND FLAG", 1}, {"QTY > 1 OR FLAG", 0},
                         {"NOT (QTY IN (1, 2))", 2}, {"UPPER(NAME) = 'A'", 0}, {"NAME LIKE 'A%'", 2},
                         {"NAME LIKE '%A'", 0}};
  for (const TCase& T : Cases) {
    SCOPED_TRACE(T.Text);
    TFilterHandle H = Indexed->AddFilter(nullptr, T.Text, false, false, true, false, nullptr, true);
    EXPECT_EQ(H->Optimization, T.Indexed);
    Indexed->DropFilter(H);
  }
}

TEST_F(FilterCursorTest, AnIndexedEqualityReadsOnlyTheMatchingRecord) {
  Fill(MakeItems(20000, 17));
  TDataFile* D = TableFileAccess(Indexed->Table)->DataFile();
  TIndexFile* X = TableFileAccess(Indexed->Table)->IndexFile();
  const int64_t Records = D->CacheHits + D->RecordReads;
  const int64_t Pages = X->CacheHits + X->PageReads;
  TFilterHandle H = Indexed->AddFilter(nullptr, "ID = 77", false, false, true, false, nullptr, true);
  EXPECT_EQ(H->Optimization, 2);
  Indexed->ActivateFilter(H);
  EXPECT_EQ(Indexed->GetRecordCount(), 1);
  // The live set, the key range and the position come from index pages; the one record is read
  // when the cursor stands on it.
  EXPECT_LE(D->CacheHits + D->RecordReads - Records, 3);
  EXPECT_LT(X->CacheHits + X->PageReads - Pages, 200);
  // Without an index every record is read.
  const int64_t Plain0 = TableFileAccess(Plain->Table)->DataFile()->CacheHits +
                         TableFileAccess(Plain->Table)->DataFile()->RecordReads;
  Visible(Plain, "QTY = 77");
  EXPECT_GE(TableFileAccess(Plain->Table)->DataFile()->CacheHits +
                TableFileAccess(Plain->Table)->DataFile()->RecordReads - Plain0,
            20000);
}

// Long generated filters: AND and OR chains of 20,000 terms give their records, through the
// indexes as well as by scanning; a chain of 20,000 "+" terms and an IN list of 60,000 values give
// the filter error with its reason.
TEST_F(FilterCursorTest, LongFlatFiltersWorkOrGiveTheFilterError) {
  Fill(MakeItems(60, 5));
  std::string And = "QTY > 1", Or = "QTY = 3";
  for (int I = 1; I < 20000; ++I) {
    And += " AND QTY > " + std::to_string(1 - I % 3);
    Or += " OR QTY = " + std::to_string(I == 9999 ? 5 : 1000 + I);
  }
  const struct {
    std::string Text;
    TPredicate Want;
  } Cases[] = {
      {And, [](const TItem& R) { return R.Qty && *R.Qty > 1; }},
      {Or, [](const TItem& R) { return R.Qty && (*R.Qty == 3 || *R.Qty == 5); }},
  };
  for (const auto& C : Cases) {
    for (TDataCursor* Cursor : {Indexed, Plain}) {
      TFilterHandle H = nullptr;
      EXPECT_EQ(Visible(Cursor, C.Text, false, &H), Expect(C.Want));
      Cursor->DropFilter(H);
    }
  }
  std::string Sum = "QTY", In = "1";
  for (int I = 1; I < 20000; ++I) Sum += " + 1";
  for (int I = 2; I <= 60000; ++I) In += ", " + std::to_string(I);
  for (const std::string& Text : {Sum + " > 0", "QTY IN (" + In + ")"}) {
    EXPECT_EQ(RaisedCode([&] { Plain->AddFilter(nullptr, Text, false, false, true, false, nullptr, true); }),
              ecFilterError);
    EXPECT_EQ(EngineErrorContext().MessageText, "Expression is too long in filter expression");
  }
  EXPECT_TRUE(Plain->Filters.empty());
}

TEST_F(FilterCursorTest, BadFilterTextsRaiseTheFilterError) {
  Fill(MakeItems(5, 1));
  struct TCase {
    const char* Text;
    const char* Message;
  };
  const TCase Cases[] = {
      {"QTY", "filter expression must be a boolean expression"},
      {"QTY + 1", "filter expression must be a boolean expression"},
      {"(QTY = 1", "Right parentheses expected, instead found '' in filter expression"},
      {"NOPE = 1", nullptr},
      // A signed bound of the wrong type: the bounds after it go with the error too.
      {"QTY BETWEEN -'x' AND 5", nullptr},
      {"QTY IN (-'x', 1, 2)", nullptr},
  };
  {  // enough pooled nodes that no failed text needs a new one
    std::vector<TExpToken*> Warm;
    for (int I = 0; I < 64; ++I) Warm.push_back(GetExpToken());
    for (TExpToken*& N : Warm) PutExpToken(N);
  }
  for (const TCase& T : Cases) {
    SCOPED_TRACE(T.Text);
    const int Pooled = PooledExpTokenCount();
    EXPECT_EQ(RaisedCode([&] { Indexed->AddFilter(nullptr, T.Text, false, false, true, false, nullptr, true); }),
              ecFilterError);
    if (T.Message) { EXPECT_EQ(EngineErrorContext().MessageText, T.Message); }
    // Every node of the failed text is back in the pool.
    EXPECT_EQ(PooledExpTokenCount(), Pooled);
  }
  EXPECT_TRUE(Indexed->Filters.empty());
  // An error met while testing records is the filter error; the filter does not stay active.
  TFilterHandle H = Indexed->AddFilter(nullptr, "QTY * 1000000000 > 5", false, false, true, false, nullptr, true);
  EXPECT_EQ(RaisedCode([&] { Indexed->ActivateFilter(H); }), ecFilterError);
  EXPECT_FALSE(H->Active);
  EXPECT_EQ(Indexed->GetRecordCount(), 5);
}

TEST_F(FilterCursorTest, NavigationOverAnExpressionFilterInIndexOrder) {
  Fill(MakeItems(300, 11));
  Indexed->SetIndexName("BYQTY");
  Visible(Indexed, "QTY >= 0 AND QTY < 5 AND FLAG");
  std::vector<int32_t> Qtys;
  for (const TItem& R : Items)
    if (R.Qty && *R.Qty >= 0 && *R.Qty < 5 && R.Flag && *R.Flag) Qtys.push_back(*R.Qty);
  std::sort(Qtys.begin(), Qtys.end());
  ASSERT_EQ(Indexed->GetRecordCount(), static_cast<int32_t>(Qtys.size()));
  TBuffer B(Indexed->RecordBufferSize);
  for (int32_t N = 1; N <= static_cast<int32_t>(Qtys.size()); N += 3) {
    Indexed->GotoSequence(N);
    ASSERT_EQ(Indexed->GetCurrentRecord(B.data(), false), 0);
    EXPECT_EQ(IntOf(Indexed, kQty, B.data()), Qtys[static_cast<size_t>(N - 1)]);
    EXPECT_EQ(Indexed->GetSequenceNumber(), N);
  }
  // A key search finds only visible records.
  int32_t Two = 2;
  TBuffer K(Indexed->RecordBufferSize);
  Indexed->InitRecord(K.data());
  Indexed->PutField(kQty, K.data(), false, &Two);
  const bool Found = Indexed->FindKey(false, K.data(), B.data(), 0, true, 1);
  const bool HasTwo = std::find(Qtys.begin(), Qtys.end(), 2) != Qtys.end();
  EXPECT_EQ(Found, HasTwo);
  if (Indexed->GetCurrentRecord(B.data(), false) == 0) {
    EXPECT_GE(IntOf(Indexed, kQty, B.data()), 2);
  }
}

TEST_F(FilterCursorTest, CloneAndTreeConditionsCarryExpressionFilters) {
  Fill(MakeItems(100, 5));
  const auto Want = Expect([](const TItem& R) { return R.Qty && *R.Qty > 10; });
  EXPECT_EQ(Visible(Indexed, "QTY > 10"), Want);
  Indexed->GotoSequence(2);
  TDataCursor* Clone = Indexed->CloneCursor();
  Cursors.push_back(Clone);
  std::set<int32_t> Seen;
  TBuffer B(Clone->RecordBufferSize);
  ASSERT_EQ(Clone->GetCurrentRecord(B.data(), false), 0);
  EXPECT_EQ(Clone->GetSequenceNumber(), 2);
  Clone->MoveToBegin();
  while (Clone->GetNextRecord(B.data()) == 0) Seen.insert(static_cast<int32_t>(LoadU32(B.data() + 5)));
  EXPECT_EQ(Seen, Want);
  EXPECT_EQ(Indexed->GetSequenceNumber(), 2);
  // A condition made from a checked tree (as a locate or a statement makes it) and a new expression
  // for an active filter.
  TFilterHandle H = Plain->AddFilter(nullptr, "", false, false, true, false, nullptr, true,
                                     MakeTreeCondition(*Plain, CompileFilterTree(*Plain, "QTY > 10"), false, false));
  Plain->ActivateFilter(H);
  EXPECT_EQ(Plain->GetRecordCount(), static_cast<int32_t>(Want.size()));
  Plain->SetFilterExpression(MakeTreeCondition(*Plain, CompileFilterTree(*Plain, "QTY IS NULL"), false, false), H);
  EXPECT_EQ(Plain->GetRecordCount(),
            static_cast<int32_t>(Expect([](const TItem& R) { return !R.Qty; }).size()));
}

TEST_F(FilterCursorTest, CalculatedFieldsAreComputedAfterEveryReadAndCanBeFiltered) {
  Fill(MakeItems(40, 9));
  TDataCursor* C = Plain;
  std::vector<std::array<uint8_t, 768>> Map;
  for (int I = 1; I <= C->GetFieldCount(); ++I) {
    std::array<uint8_t, 768> D{};
    C->GetFieldDesc(I, D.data());
    Map.push_back(D);
  }
  auto Calc = [&](const char* Name, uint8_t Type, uint8_t Size) {
    std::array<uint8_t, 768> D = Field(Name, Type, Size);
    StoreU16(D.data(), static_cast<uint16_t>(Map.size() + 1));
    D[kFieldDescCalculatedOffset] = 1;
    Map.push_back(D);
  };
  Calc("TWICE", ftInteger, 0);
  Calc("LOUD", ftString, 20);
  C->SetFieldMap(Map);
  ASSERT_TRUE(C->HasComputedFields);
  C->SetFieldCalculation(7, CompileCalculation(*C, "QTY * 2"));
  C->SetFieldCalculation(8, CompileCalculation(*C, "UPPER(NAME)"));
  TBuffer B(C->RecordBufferSize);
  C->MoveToBegin();
  size_t I = 0;
  while (C->GetNextRecord(B.data()) == 0) {
    const TItem& R = Items[I++];
    bool Blank = false;
    int32_t Twice = 0;
    C->GetField(7, B.data(), Blank, &Twice);
    EXPECT_EQ(Blank, !R.Qty);
    if (R.Qty) { EXPECT_EQ(Twice, *R.Qty * 2); }
    char Loud[32] = {};
    C->GetField(8, B.data(), Blank, Loud);
    EXPECT_EQ(Blank, R.Name.empty());
    const bool Ascii = std::all_of(R.Name.begin(), R.Name.end(), [](char C) { return C > 0; });
    if (!R.Name.empty() && Ascii) { EXPECT_EQ(std::string(Loud), AsciiUpper(R.Name)); }
  }
  EXPECT_EQ(I, Items.size());
  // A filter on a calculated field.
  EXPECT_EQ(Visible(C, "TWICE > 20"), Expect([](const TItem& R) { return R.Qty && *R.Qty > 10; }));
}

}  // namespace
