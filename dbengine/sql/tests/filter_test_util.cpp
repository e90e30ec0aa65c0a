#include "filter_test_util.h"

#include <random>

namespace filtertest {

using namespace cursortest;

void FilterFixture::SetUp() {
  CursorTest::SetUp();
  RegisterEngineExpressions();
}

void FilterFixture::Fill(const std::vector<TItem>& Rows, uint16_t Language) {
  Items = Rows;
  for (const char* Table : {"indexed", "plain"}) {
    TCreateTableParams P;
    P.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("NAME", ftString, 20), Field("QTY", ftInteger),
                Field("PRICE", ftFloat), Field("BORN", ftDate), Field("FLAG", ftBoolean)};
    P.Indexes = {Index("", {1}, true)};
    P.LanguageID = Language;
    if (std::string(Table) == "indexed") {
      P.Indexes.push_back(Index("BYNAME", {kName}, false));
      P.Indexes.push_back(Index("BYQTY", {kQty}, false));
      P.Indexes.push_back(Index("BYPRICE", {kPrice}, false));
      P.Indexes.push_back(Index("BYBORN", {kBorn}, false));
    }
    Create(Table, P);
    TDataCursor* C = NewCursor(Table);
    C->Open();
    for (const TItem& R : Rows) InsertItem(C, R);
    (std::string(Table) == "indexed" ? Indexed : Plain) = C;
  }
}

void FilterFixture::InsertItem(TDataCursor* C, const TItem& Row) {
  TBuffer B(C->RecordBufferSize);
  C->InitRecord(B.data());
  char S[21] = {};
  std::strncpy(S, Row.Name.c_str(), 20);
  C->PutField(kName, B.data(), false, Row.Name.empty() ? nullptr : S);
  C->PutField(kQty, B.data(), false, Row.Qty ? &*Row.Qty : nullptr);
  C->PutField(kPrice, B.data(), false, Row.Price ? &*Row.Price : nullptr);
  C->PutField(kBorn, B.data(), false, Row.Born ? &*Row.Born : nullptr);
  uint16_t F = Row.Flag && *Row.Flag ? 1 : 0;
  C->PutField(kFlag, B.data(), false, Row.Flag ? &F : nullptr);
  C->InsertRecord(B.data(), false);
}

std::set<int32_t> FilterFixture::Visible(TDataCursor* C, const std::string& Text, bool CaseInsensitive,
                                         TFilterHandle* Handle) {
  TFilterHandle H = C->AddFilter(nullptr, Text, false, CaseInsensitive, true, false, nullptr, true);
  C->ActivateFilter(H);
  if (Handle) *Handle = H;
  std::set<int32_t> R;
  TBuffer B(C->RecordBufferSize);
  C->MoveToBegin();
  while (C->GetNextRecord(B.data()) == 0) R.insert(static_cast<int32_t>(LoadU32(B.data() + 5)));
  EXPECT_EQ(C->GetRecordCount(), static_cast<int32_t>(R.size())) << Text;
  return R;
}

std::set<int32_t> FilterFixture::BruteForce(TDataCursor* C, const std::string& Text, bool CaseInsensitive) {
  std::unique_ptr<TCursorCondition> Cond = MakeTreeCondition(*C, CompileFilterTree(*C, Text), false, CaseInsensitive);
  std::set<int32_t> R;
  TBuffer B(C->RecordBufferSize);
  C->MoveToBegin();
  while (C->GetNextRecord(B.data()) == 0)
    if (Cond->TestRecord(*C, B.data())) R.insert(static_cast<int32_t>(LoadU32(B.data() + 5)));
  return R;
}

std::string FilterFixture::NameOf(TDataCursor* C, const uint8_t* B) {
  char S[32] = {};
  bool Blank;
  C->GetField(kName, B, Blank, S);
  return Blank ? std::string() : std::string(S);
}

std::vector<TItem> MakeItems(int Count, uint32_t Seed) {
  static const char* const Names[] = {"Kot",  "KOT",      "kot",      "Ko\xF1",  "Ala",      "\xAF" "aba",
                                      "\xA3o\x9C", "Mysz", "Kozio\xB3", "\xB9" "ka", "Zenon", "abc",
                                      "Ab",   "B\xF3" "br", "\x9C" "wit", "Kot ma"};
  std::mt19937 G(Seed);
  std::vector<TItem> R;
  for (int I = 0; I < Count; ++I) {
    TItem T;
    if (G() % 9 != 0) T.Name = Names[G() % (sizeof Names / sizeof Names[0])];
    if (G() % 8 != 0) T.Qty = static_cast<int32_t>(G() % 41) - 20;
    if (G() % 7 != 0) T.Price = static_cast<double>(G() % 2000) / 20.0 - 10.0;
    if (G() % 6 != 0) T.Born = 730000 + static_cast<int32_t>(G() % 1000);
    if (G() % 5 != 0) T.Flag = G() % 2 == 0;
    R.push_back(T);
  }
  return R;
}

}  // namespace filtertest
