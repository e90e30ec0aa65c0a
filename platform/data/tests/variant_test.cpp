#include <gtest/gtest.h>

#include "platform/core/datetime.h"
#include "platform/data/variant.h"

namespace {

TEST(Currency, KeepsFourDecimalsExactlyAndRoundsHalvesToEven) {
  struct Case {
    const char* Text;
    int64_t Raw;
  };
  const Case cases[] = {
      {"12,3456", 123456},          {"-0,5", -5000},   {"  7 ", 70000}, {"0,00005", 0},  // half to even: 0
      {"0,00015", 2},               {"0,000051", 1},   {"922337203685477,5807", INT64_MAX},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(StrToCurr(c.Text).Raw, c.Raw);
  }
  EXPECT_THROW(StrToCurr("1.5"), EConvertError);  // the program's separator is ','
  EXPECT_THROW(StrToCurr("922337203685477,5808"), EConvertError);
  EXPECT_THROW(StrToCurr(""), EConvertError);
  EXPECT_EQ(CurrToStr(Currency::FromRaw(123450)), "12,345");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(-5000)), "-0,5");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(INT64_MIN)), "-922337203685477,5808");
  EXPECT_EQ(Currency::FromDouble(0.1 + 0.2).Raw, 3000);
  EXPECT_THROW(Currency::FromDouble(1e300), EOverflow);
  EXPECT_THROW(Currency::FromInt(INT64_MAX / 1000), EOverflow);
}

TEST(Variant, ConvertsBetweenTypesWithThePolishFormats) {
  EXPECT_EQ(Variant(2.5).AsString(), "2,5");
  EXPECT_DOUBLE_EQ(Variant("2,5").AsFloat(), 2.5);
  EXPECT_EQ(Variant("42").AsInteger(), 42);
  EXPECT_EQ(Variant(2.5).AsInteger(), 2);  // halves to even
  EXPECT_TRUE(Variant("true").AsBoolean());
  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_EQ(Variant::Date(EncodeDate(2024, 3, 1)).AsString(), "2024-03-01");
  EXPECT_DOUBLE_EQ(Variant("2024-03-01").AsDateTime(), EncodeDate(2024, 3, 1));
  EXPECT_EQ(Variant(Currency::FromRaw(15000)).AsString(), "1,5");
  EXPECT_EQ(Variant().AsInteger(), 0);
  EXPECT_EQ(Variant::Null().AsString(), "");
  EXPECT_THROW(Variant::Null().AsInteger(), EVariantError);
  EXPECT_THROW(Variant("abc").AsInteger(), EConvertError);
  EXPECT_THROW(Variant(1e12).AsInteger(), EOverflow);
  Variant a = VarArrayOf({1, "x"});
  EXPECT_EQ(a.ArrayCount(), 2);
  EXPECT_EQ(a[1].AsString(), "x");
  EXPECT_THROW(a[2], EVariantError);
}

TEST(Variant, EqualityComparesNumbersByValueAndNullOnlyWithNull) {
  EXPECT_EQ(Variant(3), Variant(3.0));
  EXPECT_EQ(Variant::Smallint(3), Variant(Currency::FromInt(3)));
  EXPECT_NE(Variant(3), Variant("3"));
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_NE(Variant::Null(), Variant(0));
  EXPECT_NE(Variant::Null(), Variant());
  EXPECT_TRUE(VarSameValue(Variant(3), Variant("3")));
  EXPECT_TRUE(VarSameValue(Variant("1,5"), Variant(1.5)));
  EXPECT_FALSE(VarSameValue(Variant("abc"), Variant(1)));
  EXPECT_TRUE(VarSameValue(Variant::Date(EncodeDate(2024, 3, 1)), Variant("2024-03-01")));
  EXPECT_FALSE(VarSameValue(Variant::Null(), Variant("")));
}

}  // namespace
