#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/engine_decimal.h"
#include "dbengine/storage/engine_errors.h"
#include "platform/core/datetime.h"

namespace {

using TFieldDesc = std::array<uint8_t, 768>;
using TIndexDesc = std::array<uint8_t, 120>;

TFieldDesc Field(int Number, const std::string& Name, uint8_t Type, uint8_t Size = 0, uint8_t SubType = 0) {
  TFieldDesc D{};
  SetU16(D.data(), static_cast<uint16_t>(Number));
  SetShortString(D.data() + kFieldDescNameOffset, 30, Name);
  D[kFieldDescTypeOffset] = Type;
  D[kFieldDescSubTypeOffset] = SubType;
  D[kFieldDescDeclaredSizeOffset] = Size;
  return D;
}

TIndexDesc Index(const std::string& Name, std::initializer_list<int> Fields, bool Unique = true) {
  TIndexDesc D{};
  SetShortString(D.data(), 30, Name);
  D[kIndexDescUniqueOffset] = Unique ? 1 : 0;
  int I = 0;
  for (int F : Fields) SetU16(D.data() + kIndexDescFieldNumbersOffset + 2 * I++, static_cast<uint16_t>(F));
  return D;
}

void SetText(TFieldDesc& D, int Offset, const std::string& S) { SetShortString(D.data() + Offset, 50, S); }

// A netstat-like table: auto-increment, integer, smallint, string 2, float, BLOB.
TTableDefinition BaseDefinition() {
  TTableDefinition T;
  T.Fields = {Field(1, "ID", ftInteger, 0, kSubTypeAutoInc), Field(2, "ID_STUDENT", ftInteger),
              Field(3, "KEY", ftSmallInt), Field(4, "KEY_NAME", ftString, 2), Field(5, "CPM", ftFloat),
              Field(6, "NOTES", ftBlob)};
  T.Indexes = {Index("", {1}), Index("BYSTUDENT", {2, 3}, false)};
  return T;
}

uint16_t CodeOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const EVXDBEngineError& E) {
    return E.ErrorCode();
  }
  return 0;
}

TEST(DefinitionChecks, ErrorCodesOfBadDefinitions) {
  const struct {
    const char* What;
    std::function<void(TTableDefinition&)> Change;
    uint16_t Code;
  } Cases[] = {
      {"valid", [](TTableDefinition&) {}, 0},
      {"string of 250", [](TTableDefinition& T) { T.Fields[3][kFieldDescDeclaredSizeOffset] = 250; }, 0},
      {"string of 251", [](TTableDefinition& T) { T.Fields[3][kFieldDescDeclaredSizeOffset] = 251; }, ecInvalidFieldDef},
      {"type 0", [](TTableDefinition& T) { T.Fields[4][kFieldDescTypeOffset] = 0; }, ecInvalidFieldDef},
      {"field number twice", [](TTableDefinition& T) { SetU16(T.Fields[4].data(), 2); }, ecInvalidFieldDef},
      {"names differing in case",
       [](TTableDefinition& T) { SetShortString(T.Fields[4].data() + 2, 30, "key_name"); }, ecDuplicateFieldName},
      {"name starting with a digit",
       [](TTableDefinition& T) { SetShortString(T.Fields[4].data() + 2, 30, "1CPM"); }, ecDuplicateFieldName},
      {"empty name", [](TTableDefinition& T) { SetShortString(T.Fields[4].data() + 2, 30, "  "); },
       ecDuplicateFieldName},
      {"name of 31", [](TTableDefinition& T) { SetShortString(T.Fields[4].data() + 2, 255, std::string(31, 'A')); },
       ecDuplicateFieldName},
      {"bad integer default", [](TTableDefinition& T) { SetText(T.Fields[1], kFieldDescDefaultOffset, "abc"); },
       ecInvalidValidity},
      {"bad float minimum", [](TTableDefinition& T) { SetText(T.Fields[4], kFieldDescMinimumOffset, "1x"); },
       ecInvalidValidity},
      {"smallint maximum out of range",
       [](TTableDefinition& T) { SetText(T.Fields[2], kFieldDescMaximumOffset, "40000"); }, ecInvalidValidity},
      {"1025 fields",
       [](TTableDefinition& T) {
         while (T.Fields.size() < 1025)
           T.Fields.push_back(Field(static_cast<int>(T.Fields.size()) + 1, "F" + std::to_string(T.Fields.size()),
                                    ftInteger));
       },
       ecFieldLimit},
      {"32 indexes",
       [](TTableDefinition& T) {
         while (T.Indexes.size() < 32) T.Indexes.push_back(Index("I" + std::to_string(T.Indexes.size()), {2}));
       },
       ecIndexLimit},
      {"31 indexes",
       [](TTableDefinition& T) {
         while (T.Indexes.size() < 31) T.Indexes.push_back(Index("I" + std::to_string(T.Indexes.size()), {2}));
       },
       0},
      {"index on a BLOB", [](TTableDefinition& T) { T.Indexes[1] = Index("B", {6}); }, ecIndexFieldType},
      {"undefined key field", [](TTableDefinition& T) { T.Indexes[1] = Index("B", {99}); }, ecInvalidIndexField},
      {"secondary name twice", [](TTableDefinition& T) { T.Indexes.push_back(Index("bystudent", {3})); },
       ecIndexExists},
      {"secondary name with a digit first", [](TTableDefinition& T) { T.Indexes[1] = Index("9X", {3}); },
       ecInvalidIndexName},
      {"primary key of 525 bytes",
       [](TTableDefinition& T) {
         T.Fields.push_back(Field(7, "A", ftString, 250));
         T.Fields.push_back(Field(8, "B", ftString, 250));
         T.Fields.push_back(Field(9, "C", ftString, 19));
         T.Indexes[0] = Index("", {7, 8, 9});  // 252 + 252 + 21
       },
       ecInvalidKeySize},
      {"primary key of 524 bytes",
       [](TTableDefinition& T) {
         T.Fields.push_back(Field(7, "A", ftString, 250));
         T.Fields.push_back(Field(8, "B", ftString, 250));
         T.Fields.push_back(Field(9, "C", ftString, 18));
         T.Indexes[0] = Index("", {7, 8, 9});
       },
       0},
      {"non-unique key of 521 bytes",
       [](TTableDefinition& T) {
         T.Fields.push_back(Field(7, "A", ftString, 250));
         T.Fields.push_back(Field(8, "B", ftString, 250));
         T.Fields.push_back(Field(9, "C", ftString, 15));
         T.Indexes[1] = Index("S", {7, 8, 9}, false);  // 252 + 252 + 17 + 4
       },
       ecInvalidKeySize},
      {"index without fields", [](TTableDefinition& T) { T.Indexes[1] = Index("E", {}); }, ecInvalidKeySize},
      {"password of 16", [](TTableDefinition& T) { T.Encrypted = true; T.Password = std::string(16, 'p'); },
       ecInvalidPassword},
      {"empty password", [](TTableDefinition& T) { T.Encrypted = true; T.Password = "  "; }, ecInvalidPassword},
      {"password of 15", [](TTableDefinition& T) { T.Encrypted = true; T.Password = std::string(15, 'p'); }, 0},
      {"unknown language", [](TTableDefinition& T) { T.LanguageID = 0x7F7F; }, ecNoLanguageDriver},
      {"Polish", [](TTableDefinition& T) { T.LanguageID = 0x0415; }, 0},
      {"BLOB block of 63", [](TTableDefinition& T) { T.BlobBlockSize = 63; }, ecBlobLimit},
  };
  for (const auto& C : Cases) {
    TTableDefinition T = BaseDefinition();
    C.Change(T);
    EXPECT_EQ(CodeOf([&] { CheckTableDefinition("netstat", T, false, false); }), C.Code) << C.What;
  }
}

TEST(DefinitionChecks, OffsetsSizesAndKeyLengthsAreCompleted) {
  TTableDefinition T = BaseDefinition();
  T.Fields[1][kFieldDescDeclaredSizeOffset] = 9;  // ignored for an integer
  T.Fields[4][kFieldDescDeclaredScaleOffset] = 3; // only BCD keeps a scale
  T.Fields[4][kFieldDescCalculatedOffset] = 1;    // only SQL results keep this
  SetShortString(T.Fields[2].data() + 2, 30, "  KEY  ");
  T.Indexes[0][kIndexDescUniqueOffset] = 0;       // the primary index is always unique
  SetShortString(T.Indexes[0].data(), 30, "named");
  SetShortString(T.Indexes[1].data(), 30, " bystudent ");
  CheckTableDefinition("netstat", T, false, false);
  const struct {
    int Field;
    int Offset;
    int DataSize;
  } Layout[] = {{0, 5, 4}, {1, 9, 4}, {2, 14, 2}, {3, 17, 3}, {4, 21, 8}, {5, 30, 8}};
  for (const auto& L : Layout) {
    EXPECT_EQ(FieldDescOffset(T.Fields[L.Field].data()), L.Offset) << L.Field;
    EXPECT_EQ(FieldDescDataSize(T.Fields[L.Field].data()), L.DataSize) << L.Field;
  }
  EXPECT_EQ(T.Fields[1][kFieldDescDeclaredSizeOffset], 0);
  EXPECT_EQ(T.Fields[4][kFieldDescDataScaleOffset], 0);
  EXPECT_EQ(T.Fields[4][kFieldDescCalculatedOffset], 0);
  EXPECT_EQ(FieldDescName(T.Fields[2].data()), "KEY");
  EXPECT_EQ(GetShortString(T.Indexes[0].data(), 30), "");
  EXPECT_EQ(T.Indexes[0][kIndexDescUniqueOffset], 1);
  EXPECT_EQ(GetU16(T.Indexes[0].data() + kIndexDescKeyLengthOffset), 5);
  EXPECT_EQ(GetShortString(T.Indexes[1].data(), 30), "BYSTUDENT");
  EXPECT_EQ(GetU16(T.Indexes[1].data() + kIndexDescKeyLengthOffset), 5 + 3 + 4);
  EXPECT_EQ(T.Indexes[1][kIndexDescFieldCountOffset], 2);
}

// ---- Values ----

class RecordValues : public ::testing::Test {
 protected:
  void SetUp() override {
    Def.Fields = {Field(1, "ID", ftInteger, 0, kSubTypeAutoInc), Field(2, "NAME", ftString, 10),
                  Field(3, "UPPER", ftString, 10),                 Field(4, "FLAG", ftBoolean),
                  Field(5, "N", ftInteger),                         Field(6, "SCORE", ftFloat),
                  Field(7, "DAY", ftDate),                          Field(8, "AT", ftTimeStamp),
                  Field(9, "TM", ftTime),                           Field(10, "PRICE", ftBCD),
                  Field(11, "W", ftWord),                           Field(12, "DATA", ftBlob)};
    Def.Fields[2][kFieldDescCharCaseOffset] = 2;
    Def.Fields[9][kFieldDescDeclaredScaleOffset] = 2;
    Def.Indexes = {Index("", {1})};
    Def.LanguageID = 0x0415;
  }
  void Complete() {
    CheckTableDefinition("t", Def, false, false);
    Fields.clear();
    for (auto& F : Def.Fields) Fields.push_back(F.data());
    int Size = 9;
    for (auto* F : Fields)
      if (!IsAutoIncField(F)) Size += FieldDescDataSize(F) + 1;
    Record.assign(static_cast<size_t>(Size), 0);
  }
  const uint8_t* F(int N) { return Fields[static_cast<size_t>(N - 1)]; }
  void Put(int N, const void* V) { PutFieldValue(F(N), Record.data(), V, false, 0x0415, 0); }
  std::string GetString(int N, bool& Blank) {
    char Buf[256] = {};
    GetFieldValue(F(N), Record.data(), Blank, Buf);
    return Buf;
  }
  TTableDefinition Def;
  std::vector<const uint8_t*> Fields;
  std::vector<uint8_t> Record;
};

TEST_F(RecordValues, StringsBooleansAutoIncrementAndNull) {
  Complete();
  bool Blank = false;
  Put(2, "abc   ");
  EXPECT_EQ(GetString(2, Blank), "abc");
  EXPECT_FALSE(Blank);
  Put(2, "");
  GetString(2, Blank);
  EXPECT_TRUE(Blank);  // an empty string is stored as null
  Put(2, "   ");
  GetString(2, Blank);
  EXPECT_TRUE(Blank);
  Put(2, "0123456789XYZ");
  EXPECT_EQ(GetString(2, Blank), "0123456789");  // cut to the declared size
  Put(3, "za\xbf\xf3\xb3\xe6 g\xea\x9c");  // Polish lower-case letters
  EXPECT_EQ(GetString(3, Blank), "ZA\xaf\xd3\xa3\xc6 G\xca\x8c");
  uint16_t Two = 2, Out = 9;
  Put(4, &Two);
  GetFieldValue(F(4), Record.data(), Blank, &Out);
  EXPECT_EQ(Out, 1);
  EXPECT_FALSE(Blank);
  int32_t Id = 77;
  Put(1, &Id);
  Put(1, nullptr);  // an auto-increment field is never cleared
  int32_t Got = 0;
  GetFieldValue(F(1), Record.data(), Blank, &Got);
  EXPECT_EQ(Got, 77);
  EXPECT_FALSE(Blank);
  EXPECT_EQ(GetU32(Record.data() + 5), 77u);
  int32_t N = 5;
  Put(5, &N);
  Put(5, nullptr);
  Got = -1;
  GetFieldValue(F(5), Record.data(), Blank, &Got);
  EXPECT_TRUE(Blank);
  EXPECT_EQ(Got, 0);
}

TEST_F(RecordValues, BlobLinksAndOpenBlobHandles) {
  Complete();
  auto Sizes = [](int32_t Link) -> int64_t { return Link == -1 ? 0 : (Link == -2 ? 10 : -1); };
  const struct {
    int32_t Link;
    bool Blank;
  } Cases[] = {{0, true}, {500, false}, {-1, true}, {-2, false}, {-9, false}};
  for (const auto& C : Cases) {
    PutFieldValue(F(12), Record.data(), &C.Link, false, 0, 0, Sizes);
    bool Blank = !C.Blank;
    int32_t Got = 0;
    GetFieldValue(F(12), Record.data(), Blank, &Got, Sizes);
    EXPECT_EQ(Blank, C.Blank) << C.Link;
    EXPECT_EQ(Got, C.Link);
  }
}

TEST_F(RecordValues, RequiredMinimumAndMaximum) {
  Def.Fields[4][kFieldDescRequiredOffset] = 1;
  SetText(Def.Fields[4], kFieldDescMinimumOffset, "10");
  SetText(Def.Fields[4], kFieldDescMaximumOffset, "20");
  SetText(Def.Fields[5], kFieldDescMinimumOffset, "0,5");  // the Polish decimal comma
  SetText(Def.Fields[1], kFieldDescMinimumOffset, "b");
  SetText(Def.Fields[6], kFieldDescMaximumOffset, "2020-12-31");
  SetText(Def.Fields[9], kFieldDescMinimumOffset, "-1,25");
  Complete();
  int32_t N = 15;
  Put(5, &N);
  const struct {
    const char* What;
    std::function<void()> Change;
    uint16_t Code;
  } Cases[] = {
      {"all within", [] {}, 0},
      {"required null", [&] { Put(5, nullptr); }, ecRequiredField},
      {"below", [&] { int32_t V = 9; Put(5, &V); }, ecBelowMinimum},
      {"at minimum", [&] { int32_t V = 10; Put(5, &V); }, 0},
      {"above", [&] { int32_t V = 21; Put(5, &V); }, ecAboveMaximum},
      {"float below", [&] { double V = 0.25; Put(6, &V); }, ecBelowMinimum},
      {"float at", [&] { double V = 0.5; Put(6, &V); }, 0},
      // 'a' with ogonek sorts after 'a' and before 'b' in Polish.
      {"string below", [&] { Put(2, "\xb9z"); }, ecBelowMinimum},
      {"string above", [&] { Put(2, "by"); }, 0},
      {"date above", [&] { int32_t V = DateToRecordDate(EncodeDate(2021, 1, 1)); Put(7, &V); }, ecAboveMaximum},
      {"date at", [&] { int32_t V = DateToRecordDate(EncodeDate(2020, 12, 31)); Put(7, &V); }, 0},
      {"money below", [&] { int64_t V = CurrToEngineBCD(2, -12600); Put(10, &V); }, ecBelowMinimum},
      {"money at", [&] { int64_t V = CurrToEngineBCD(2, -12500); Put(10, &V); }, 0},
  };
  for (const auto& C : Cases) {
    std::vector<uint8_t> Saved = Record;
    C.Change();
    EXPECT_EQ(CodeOf([&] { ValidateRecord("t", Fields, Record.data(), 0x0415, 0); }), C.Code) << C.What;
    Record = Saved;
  }
  // A field without a value is not held against its limits (only "required" applies).
  for (int N2 : {2, 6, 7, 10}) Put(N2, nullptr);
  EXPECT_EQ(CodeOf([&] { ValidateRecord("t", Fields, Record.data(), 0x0415, 0); }), 0);
}

TEST_F(RecordValues, DefaultsIncludingNowDateAndTime) {
  SetText(Def.Fields[4], kFieldDescDefaultOffset, "42");
  SetText(Def.Fields[5], kFieldDescDefaultOffset, "2,5");
  SetText(Def.Fields[6], kFieldDescDefaultOffset, "date");
  SetText(Def.Fields[7], kFieldDescDefaultOffset, "NOW");
  SetText(Def.Fields[8], kFieldDescDefaultOffset, "Time");
  SetText(Def.Fields[1], kFieldDescDefaultOffset, "nowy");
  SetText(Def.Fields[3], kFieldDescDefaultOffset, "TRUE");
  SetText(Def.Fields[9], kFieldDescDefaultOffset, "3,14");
  Complete();
  TDateTime Now = EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 30, 250);
  ApplyFieldDefaults(Fields, Record.data(), 0x0415, 0, Now);
  bool Blank;
  int32_t I = 0;
  GetFieldValue(F(5), Record.data(), Blank, &I);
  EXPECT_EQ(I, 42);
  double D = 0;
  GetFieldValue(F(6), Record.data(), Blank, &D);
  EXPECT_DOUBLE_EQ(D, 2.5);
  GetFieldValue(F(7), Record.data(), Blank, &I);
  EXPECT_EQ(I, DateToRecordDate(EncodeDate(2024, 2, 29)));
  EXPECT_EQ(RecordDateToDate(I), EncodeDate(2024, 2, 29));
  GetFieldValue(F(8), Record.data(), Blank, &D);
  EXPECT_NEAR(RecordTimeStampToDateTime(D), Now, 1e-8);
  GetFieldValue(F(9), Record.data(), Blank, &I);
  EXPECT_EQ(I, ((13 * 60 + 45) * 60 + 30) * 1000 + 250);
  EXPECT_EQ(GetString(2, Blank), "nowy");
  uint16_t B = 0;
  GetFieldValue(F(4), Record.data(), Blank, &B);
  EXPECT_EQ(B, 1);
  int64_t Bcd = 0;
  GetFieldValue(F(10), Record.data(), Blank, &Bcd);
  EXPECT_EQ(Bcd, 3142);
  GetFieldValue(F(11), Record.data(), Blank, nullptr);
  EXPECT_TRUE(Blank);  // no default
  // The day number of 0001-01-01 is 1.
  EXPECT_EQ(DateToRecordDate(EncodeDate(1, 1, 1)), 1);
}

TEST_F(RecordValues, KeysOrderLikeTheirValues) {
  Def.Indexes.push_back(Index("BYN", {5}, false));
  Def.Indexes.push_back(Index("BYNAME", {2, 5}));
  Def.Indexes[2][kIndexDescFieldDescendingOffset + 1] = 1;  // N descending within the name
  Complete();
  auto ByNumber = [&](int N) { return F(N); };
  auto KeyOf = [&](const TIndexDesc& Ix, const char* Name, const int32_t* N, uint32_t Row) {
    std::fill(Record.begin(), Record.end(), 0);
    SetU32(Record.data() + 5, Row);
    if (Name) Put(2, Name);
    Put(5, N);
    std::vector<uint8_t> K(GetU16(Ix.data() + kIndexDescKeyLengthOffset));
    BuildRecordKey(Ix.data(), ByNumber, Record.data(), K.data(), 0, 0);
    return K;
  };
  int32_t Values[] = {-5, 0, 3, 1000};
  // Non-unique: null below every value; equal values ordered by row number.
  auto Null = KeyOf(Def.Indexes[1], nullptr, nullptr, 1);
  EXPECT_EQ(Null.size(), 9u);
  std::vector<uint8_t> Prev = Null;
  for (int32_t& V : Values) {
    auto K1 = KeyOf(Def.Indexes[1], nullptr, &V, 7);
    auto K2 = KeyOf(Def.Indexes[1], nullptr, &V, 8);
    EXPECT_LT(std::memcmp(Prev.data(), K1.data(), 9), 0) << V;
    EXPECT_LT(std::memcmp(K1.data(), K2.data(), 9), 0) << V;
    Prev = K2;
  }
  // Unique, second field descending (language 0 inverts its bytes).
  auto A = KeyOf(Def.Indexes[2], "ala", &Values[3], 1);
  auto B = KeyOf(Def.Indexes[2], "ala", &Values[0], 2);
  auto C = KeyOf(Def.Indexes[2], "ola", &Values[3], 3);
  EXPECT_EQ(A.size(), 17u);
  EXPECT_LT(std::memcmp(A.data(), B.data(), A.size()), 0);
  EXPECT_LT(std::memcmp(B.data(), C.data(), A.size()), 0);
  uint8_t S[5];
  Record[0] = 1;
  SetU32(Record.data() + 5, 300);
  BuildStatusKey(Record.data(), S);
  const uint8_t Want[5] = {1, 0x80, 0, 1, 0x2C};
  EXPECT_EQ(std::memcmp(S, Want, 5), 0);
  EXPECT_EQ(KeyPrefixLength(Def.Indexes[2].data(), ByNumber, 1), 12);
}

}  // namespace
