#include <gtest/gtest.h>

#include <cmath>

#include "platform/core/datetime.h"
#include "platform/data/tests/test_fixture.h"

namespace {

class FieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Owner = new TComponent(nullptr);
    All = new TMemoryDataSet(Owner);
    All->Columns = {{"S", ftString, 5},    {"SI", ftSmallint}, {"I", ftInteger},  {"W", ftWord},
                    {"F", ftFloat},        {"C", ftCurrency},  {"B", ftBCD, 2},   {"BO", ftBoolean},
                    {"D", ftDate},         {"T", ftTime},      {"DT", ftDateTime}, {"BY", ftBytes, 4},
                    {"VB", ftVarBytes, 6}, {"A", ftAutoInc}};
    All->Open();
    All->Append();
  }
  void TearDown() override { delete Owner; }
  TField* F(const char* Name) { return All->FieldByName(Name); }

  TComponent* Owner = nullptr;
  TMemoryDataSet* All = nullptr;
};

TEST_F(FieldsTest, DefaultFieldsHaveTheClassAndSizeOfTheirType) {
  struct Case {
    const char* Name;
    const char* Class;
    int DataSize;
  };
  const Case cases[] = {{"S", "TStringField", 6},   {"SI", "TSmallintField", 2}, {"I", "TIntegerField", 4},
                        {"W", "TWordField", 2},     {"F", "TFloatField", 8},     {"C", "TCurrencyField", 8},
                        {"B", "TBCDField", 8},      {"BO", "TBooleanField", 2},  {"D", "TDateField", 4},
                        {"T", "TTimeField", 4},     {"DT", "TDateTimeField", 8}, {"BY", "TBytesField", 4},
                        {"VB", "TVarBytesField", 8}, {"A", "TAutoIncField", 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TField* f = F(c.Name);
    EXPECT_EQ(f->ClassName(), c.Class);
    EXPECT_EQ(f->DataSize(), c.DataSize);
    EXPECT_EQ(f->Owner(), All);
    EXPECT_EQ(f->FieldKind(), fkData);
    EXPECT_TRUE(f->IsNull());
    EXPECT_EQ(f->AsString(), "");
    EXPECT_TRUE(f->AsVariant().IsNull());
  }
  EXPECT_EQ(F("vb")->FieldNo(), 13);  // names without regard to case
  try {
    All->FieldByName("MISSING");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'MISSING' not found");
  }
  EXPECT_EQ(All->FindField("MISSING"), nullptr);
}

TEST_F(FieldsTest, TextConversionsUseTheProgramsFormats) {
  struct Case {
    const char* Field;
    const char* In;
    const char* Out;
  };
  const Case cases[] = {
      {"S", "Za\xBF\xF3\xB3\xE6", "Za\xBF\xF3\xB3"},  // cut to the field's size
      {"SI", "-32768", "-32768"}, {"I", "2147483647", "2147483647"}, {"W", "65535", "65535"},
      {"F", "3,25", "3,25"},      {"F", "1E20", "1E20"},             {"C", "12,5", "12,5"},
      {"B", "7,125", "7,125"},    {"B", "-0,0001", "-0,0001"},       {"BO", "true", "True"},
      {"BO", "FALSE", "False"},   {"D", "2024-02-29", "2024-02-29"}, {"T", "13:45:10", "13:45:10"},
      {"DT", "2023-12-31 23:59:58", "2023-12-31 23:59:58"},         {"DT", "2023-12-31", "2023-12-31"},
      {"BY", "ab", std::string("ab\0\0", 4).c_str()},                {"VB", "xyz", "xyz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Field) + " " + c.In);
    F(c.Field)->SetAsString(c.In);
    EXPECT_FALSE(F(c.Field)->IsNull());
    if (std::string(c.Field) == "BY") EXPECT_EQ(F("BY")->AsString(), std::string("ab\0\0", 4));
    else EXPECT_EQ(F(c.Field)->AsString(), c.Out);
    // An empty text blanks a field that is no text; text and bytes keep it as an empty value.
    F(c.Field)->SetAsString("");
    std::string kind = F(c.Field)->ClassName();
    bool keepsEmpty = kind == "TStringField" || kind == "TBytesField" || kind == "TVarBytesField";
    EXPECT_EQ(F(c.Field)->IsNull(), !keepsEmpty);
  }
  EXPECT_THROW(F("I")->SetAsString("12a"), EConvertError);
  EXPECT_THROW(F("F")->SetAsString("3.25"), EConvertError);
  EXPECT_THROW(F("D")->SetAsString("29.02.2024"), EConvertError);
  try {
    F("BO")->SetAsString("tak");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "'tak' is not a valid boolean value for field 'BO'");
  }
}

TEST_F(FieldsTest, NumbersConvertBetweenTypesAndRefuseValuesOutOfRange) {
  F("F")->SetAsFloat(2.5);
  EXPECT_EQ(F("F")->AsInteger(), 2);  // halves to even
  EXPECT_EQ(F("F")->AsCurrency().Raw, 25000);
  F("F")->SetAsCurrency(Currency::FromRaw(12345));
  EXPECT_DOUBLE_EQ(F("F")->AsFloat(), 1.2345);
  EXPECT_THROW(F("F")->SetAsFloat(NAN), EDatabaseError);
  F("C")->SetAsFloat(0.1);
  EXPECT_EQ(F("C")->AsVariant(), Variant(Currency::FromRaw(1000)));
  EXPECT_EQ(F("C")->AsVariant().VType(), varCurrency);
  F("B")->SetAsCurrency(Currency::FromRaw(-25000));
  EXPECT_EQ(F("B")->AsInteger(), -3);  // a decimal rounds halves away from zero
  EXPECT_DOUBLE_EQ(F("B")->AsFloat(), -2.5);
  F("I")->SetAsFloat(7.6);
  EXPECT_EQ(F("I")->AsInteger(), 8);
  EXPECT_EQ(F("I")->AsVariant().VType(), varInteger);
  F("SI")->SetAsInteger(-5);
  EXPECT_EQ(F("SI")->AsVariant(), Variant::Smallint(-5));
  EXPECT_EQ(F("SI")->AsVariant().VType(), varSmallint);

  struct Bad {
    const char* Field;
    int32_t Value;
    const char* Message;
  };
  const Bad bad[] = {
      {"SI", 32768, "32768 is not a valid value for field 'SI'. The allowed range is -32768 to 32767"},
      {"SI", -32769, "-32769 is not a valid value for field 'SI'. The allowed range is -32768 to 32767"},
      {"W", -1, "-1 is not a valid value for field 'W'. The allowed range is 0 to 65535"},
      {"W", 65536, "65536 is not a valid value for field 'W'. The allowed range is 0 to 65535"},
  };
  for (const Bad& b : bad) {
    F(b.Field)->SetAsInteger(1);
    try {
      F(b.Field)->SetAsInteger(b.Value);
      ADD_FAILURE() << b.Field << " took " << b.Value;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), b.Message);
    }
    EXPECT_EQ(F(b.Field)->AsInteger(), 1);  // the stored value is untouched
  }
  EXPECT_THROW(F("I")->SetAsString("2147483648"), EDatabaseError);
  EXPECT_THROW(F("I")->SetAsFloat(1e10), EDatabaseError);
  EXPECT_THROW(F("I")->AsDateTime(), EDatabaseError);
  EXPECT_THROW(F("S")->SetAsDateTime(0), EDatabaseError);
}

TEST_F(FieldsTest, DatesTravelAsDayNumbersAndMillisecondsInTheRecord) {
  TDateTime when = EncodeDate(2024, 3, 15) + EncodeTime(8, 30, 15, 250);
  F("D")->SetAsDateTime(when);
  F("T")->SetAsDateTime(when);
  F("DT")->SetAsDateTime(when);
  int32_t day = 0, ms = 0;
  double stamp = 0;
  ASSERT_TRUE(F("D")->GetData(&day));
  ASSERT_TRUE(F("T")->GetData(&ms));
  ASSERT_TRUE(F("DT")->GetData(&stamp));
  EXPECT_EQ(day, DateTimeToTimeStamp(when).Date);
  EXPECT_EQ(day, 738960);  // 2024-03-15 counted from 0001-01-01 as day 1
  EXPECT_EQ(ms, ((8 * 60 + 30) * 60 + 15) * 1000 + 250);
  EXPECT_DOUBLE_EQ(stamp, 738960.0 * 86400000.0 + ms);
  EXPECT_DOUBLE_EQ(F("D")->AsDateTime(), EncodeDate(2024, 3, 15));
  EXPECT_NEAR(F("T")->AsDateTime(), EncodeTime(8, 30, 15, 250), 1e-9);
  EXPECT_NEAR(F("DT")->AsDateTime(), when, 1e-9);
  EXPECT_EQ(F("DT")->AsString(), "2024-03-15 08:30:15");
  EXPECT_EQ(F("D")->AsVariant().VType(), varDate);
  // A day number of 0 in a record is no date: a clear error, not a wrong value.
  int32_t zero = 0;
  F("D")->SetData(&zero);
  EXPECT_THROW(F("D")->AsDateTime(), EConvertError);
}

TEST_F(FieldsTest, VarBytesTrustNoStoredLengthBeyondTheSize) {
  uint8_t raw[8] = {200, 0, 'a', 'b', 'c', 'd', 'e', 'f'};
  F("VB")->SetData(raw);
  EXPECT_EQ(F("VB")->AsString(), "abcdef");
  F("VB")->SetAsString("0123456789");
  EXPECT_EQ(F("VB")->AsString(), "012345");
}

TEST_F(FieldsTest, ValidateSeesTheNewValueAndCanRefuseIt) {
  F("I")->SetAsInteger(5);
  std::vector<int> seen;
  F("I")->OnValidate = [&](TField* f) {
    seen.push_back(f->AsInteger());
    if (f->AsInteger() < 0) DatabaseError("negative");
  };
  F("I")->SetAsInteger(9);
  EXPECT_THROW(F("I")->SetAsInteger(-1), EDatabaseError);
  EXPECT_EQ(seen, (std::vector<int>{9, -1}));
  EXPECT_EQ(F("I")->AsInteger(), 9);
  // A read-only field refuses writes.
  F("S")->SetReadOnly(true);
  try {
    F("S")->SetAsString("x");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'S' cannot be modified");
  }
}

TEST_F(FieldsTest, ChangeEventsMarkTheRecordModified) {
  std::vector<std::string> changes;
  F("S")->OnChange = [&](TField* f) { changes.push_back(f->FieldName() + "=" + f->AsString()); };
  EXPECT_FALSE(All->Modified());
  F("S")->SetAsString("abc");
  EXPECT_TRUE(All->Modified());
  F("S")->Clear();
  EXPECT_EQ(changes, (std::vector<std::string>{"S=abc", "S="}));
  All->Cancel();
}

TEST(Fields, CalculatedAndLookupFieldsAreComputedForEveryRecord) {
  TComponent owner(nullptr);
  TMemoryDataSet* groups = new TMemoryDataSet(&owner);
  groups->Columns = {{"ID_GROUP", ftInteger}, {"NAME", ftString, 10}};
  groups->Open();
  groups->AppendRecord({1, "1a"});
  groups->AppendRecord({2, "2b"});

  auto* people = new TMemoryDataSet(&owner);
  people->Columns = {{"NAME", ftString, 10}, {"AGE", ftInteger}, {"ID_GROUP", ftInteger}};
  // Persistent fields: data fields for the columns, a calculated and a lookup field.
  for (auto& c : people->Columns) {
    TField* f = DefaultFieldClass(c.Type)(people);
    f->SetFieldName(c.Name);
    f->SetSize(c.Size);
    f->SetDataSet(people);
  }
  auto* next = new TIntegerField(people);
  next->SetFieldName("NEXT_AGE");
  next->SetFieldKind(fkCalculated);
  next->SetDataSet(people);
  auto* group = new TStringField(people);
  group->SetFieldName("GROUP_NAME");
  group->SetSize(10);
  group->SetFieldKind(fkLookup);
  group->LookupDataSet = groups;
  group->KeyFields = "ID_GROUP";
  group->LookupKeyFields = "ID_GROUP";
  group->LookupResultField = "NAME";
  group->SetDataSet(people);
  int calcs = 0;
  people->OnCalcFields = [&](TDataSet* ds) {
    ++calcs;
    if (!ds->FieldByName("AGE")->IsNull()) ds->FieldByName("NEXT_AGE")->SetAsInteger(ds->FieldByName("AGE")->AsInteger() + 1);
  };
  people->Open();
  EXPECT_FALSE(people->DefaultFields());
  EXPECT_EQ(people->FieldCount(), 5);
  EXPECT_LT(next->FieldNo(), 1);
  people->AppendRecord({"Ala", 30, 2});
  people->AppendRecord({"Ola", Variant(), 1});
  people->First();
  EXPECT_EQ(next->AsInteger(), 31);
  EXPECT_EQ(group->AsString(), "2b");
  people->Next();
  EXPECT_TRUE(next->IsNull());
  EXPECT_EQ(group->AsString(), "1a");
  EXPECT_GT(calcs, 0);
  // While editing, a change of a data field recomputes the calculated ones.
  people->Edit();
  people->FieldByName("AGE")->SetAsInteger(40);
  EXPECT_EQ(next->AsInteger(), 41);
  // A change of the key field looks the value up again (no group 3).
  people->FieldByName("ID_GROUP")->SetAsInteger(3);
  EXPECT_TRUE(group->IsNull());
  people->Cancel();
  EXPECT_EQ(group->AsString(), "1a");
  EXPECT_EQ(people->Lookup("NAME", "Ala", "GROUP_NAME;NEXT_AGE"), VarArrayOf({"2b", 31}));
  people->Close();
  // Persistent fields stay when the dataset closes.
  EXPECT_EQ(people->FieldCount(), 5);
}

TEST(Fields, OldValueIsTheStoredValueDuringAnEdit) {
  TComponent owner(nullptr);
  TMemoryDataSet* people = NewPeople(&owner, 2);
  people->Edit();
  people->FieldByName("AGE")->SetAsInteger(77);
  EXPECT_EQ(people->FieldByName("AGE")->OldValue(), Variant(20));
  EXPECT_EQ(people->FieldByName("AGE")->NewValue(), Variant(77));
  people->Post();
  EXPECT_EQ(people->FieldByName("AGE")->OldValue(), Variant(77));
}

TEST(Definitions, FieldDefsMakeDuplicateNamesUniqueAndIndexDefsFindIndexesByFields) {
  TComponent owner(nullptr);
  auto* ds = new TMemoryDataSet(&owner);
  ds->Columns = {{"NAME", ftString, 5}, {"name", ftInteger}, {"NAME", ftFloat}, {"NAME_1", ftString, 3}};
  ds->FieldDefs()->Update();
  ASSERT_EQ(ds->FieldDefs()->Count(), 4);
  EXPECT_EQ(ds->FieldDefs()->Items(0)->Name, "NAME");
  EXPECT_EQ(ds->FieldDefs()->Items(1)->Name, "name_1");
  EXPECT_EQ(ds->FieldDefs()->Items(2)->Name, "NAME_2");
  EXPECT_EQ(ds->FieldDefs()->Items(3)->Name, "NAME_1_1");
  EXPECT_EQ(ds->FieldDefs()->Items(2)->FieldNo, 3);
  EXPECT_FALSE(ds->Active());  // reading the definitions opened and closed the cursor
  EXPECT_EQ(ds->FieldDefs()->Find("name_2")->DataType, ftFloat);
  EXPECT_THROW(ds->FieldDefs()->Find("X"), EDatabaseError);
  EXPECT_THROW(ds->FieldDefs()->Add("NAME", ftInteger), EDatabaseError);

  TIndexDefs idx(ds);
  idx.Add("", "ID_STUDENT;ID_GROUP", ixPrimary | ixUnique);
  idx.Add("ID_GROUP", "ID_GROUP", 0);
  idx.Add("BY_NAME", "NAME", ixCaseInsensitive);
  idx.Add("DESC_AGE", "AGE", ixDescending);
  EXPECT_EQ(idx.GetIndexForFields("id_group", false)->Name, "ID_GROUP");
  EXPECT_EQ(idx.GetIndexForFields("ID_STUDENT", false)->Name, "");  // a key that begins with the field
  EXPECT_EQ(idx.GetIndexForFields("ID_STUD", false), nullptr);       // not half a field name
  EXPECT_EQ(idx.GetIndexForFields("ID_GROUP", true), nullptr);
  EXPECT_EQ(idx.GetIndexForFields("NAME", true)->Name, "BY_NAME");
  EXPECT_EQ(idx.GetIndexForFields("AGE", false), nullptr);
  try {
    idx.FindIndexForFields("AGE;NAME");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "No index for fields 'AGE;NAME'");
  }
  EXPECT_EQ(idx.Find("by_name")->Fields, "NAME");
  EXPECT_EQ(std::string(DBResourceText(65187)), "Error creating table handle.");
  EXPECT_EQ(std::string(DBResourceText(65263)), "Field '%s' cannot be modified");
  EXPECT_EQ(DBResourceText(65200), nullptr);
}

}  // namespace

namespace {

TEST(BlobFields, ReadAndWriteThroughTheDatasetsStreamAndCloseWhenPosted) {
  TComponent owner(nullptr);
  auto* ds = new TMemoryDataSet(&owner);
  ds->Columns = {{"ID", ftInteger}, {"NOTES", ftMemo}, {"PIC", ftGraphic}};
  ds->Open();
  auto* notes = static_cast<TBlobField*>(ds->FieldByName("NOTES"));
  EXPECT_EQ(notes->ClassName(), "TMemoField");
  EXPECT_EQ(ds->FieldByName("PIC")->ClassName(), "TGraphicField");
  EXPECT_TRUE(notes->IsBlob());
  ds->AppendRecord({1});
  EXPECT_TRUE(notes->IsNull());
  EXPECT_EQ(notes->AsString(), "");
  // Writing needs edit state.
  try {
    notes->SetAsString("x");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Dataset not in edit or insert mode");
  }
  std::string text(70000, 'a');
  text += "\xA5\xB9";
  ds->Edit();
  notes->SetAsString(text);
  EXPECT_TRUE(notes->Modified());
  EXPECT_TRUE(ds->Modified());
  EXPECT_EQ(notes->AsString(), text);
  EXPECT_EQ(notes->BlobSize(), 70002);
  ds->Post();
  EXPECT_FALSE(notes->Modified());
  EXPECT_EQ(ds->ClosedBlobs, (std::vector<std::string>{"NOTES"}));
  // A cancelled change keeps the stored text and closes the BLOB as well.
  ds->Edit();
  notes->SetAsString("other");
  ds->Cancel();
  EXPECT_EQ(notes->AsString(), text);
  EXPECT_EQ(ds->ClosedBlobs.size(), 2u);
  // Streams in and out; Clear empties.
  TStringStream in("from a stream");
  ds->Edit();
  notes->LoadFromStream(&in);
  ds->Post();
  TStringStream out;
  notes->SaveToStream(&out);
  EXPECT_EQ(out.DataString(), "from a stream");
  EXPECT_EQ(notes->AsVariant(), Variant("from a stream"));
  ds->Edit();
  notes->Clear();
  ds->Post();
  EXPECT_TRUE(notes->IsNull());
  EXPECT_TRUE(notes->AsVariant().IsNull());
  ds->FieldByName("PIC")->SetReadOnly(true);
  ds->Edit();
  EXPECT_THROW(ds->FieldByName("PIC")->SetAsString("x"), EDatabaseError);
  ds->Cancel();
}

}  // namespace
