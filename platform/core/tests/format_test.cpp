#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/core/sysutils.h"

namespace {

// Runs with '.' and ',' so the expected texts read naturally; the program defaults are checked
// separately below.
class FormatTest : public testing::Test {
 protected:
  void SetUp() override {
    Saved = FormatSettings;
    FormatSettings.DecimalSeparator = '.';
    FormatSettings.ThousandSeparator = ',';
  }
  void TearDown() override { FormatSettings = Saved; }
  TFormatSettings Saved;
};

TEST_F(FormatTest, FormatConversions) {
  struct Case {
    std::string Got;
    std::string Expected;
  };
  const Case cases[] = {
      {Format("%d", {42}), "42"},
      {Format("%d", {-42}), "-42"},
      {Format("%5d|", {42}), "   42|"},
      {Format("%-5d|", {42}), "42   |"},
      {Format("%0.2d", {5}), "05"},
      {Format("%0.2d", {123}), "123"},
      {Format("%.3d", {-7}), "-007"},
      {Format("INDEX_%0.2d.SCN", {3}), "INDEX_03.SCN"},
      {Format("%u", {-1}), "4294967295"},
      {Format("%u", {uint64_t{18446744073709551615ull}}), "18446744073709551615"},
      {Format("%x", {255}), "FF"},
      {Format("%.4x", {255}), "00FF"},
      {Format("%X", {-1}), "FFFFFFFF"},
      {Format("%d", {int64_t{-9223372036854775807LL - 1}}), "-9223372036854775808"},
      {Format("%s and %S", {"one", std::string("two")}), "one and two"},
      {Format("%.2s", {"abcdef"}), "ab"},
      {Format("[%6s][%-6s]", {"ab", "cd"}), "[    ab][cd    ]"},
      {Format("%s", {'x'}), "x"},
      {Format("%.2f", {3.14159}), "3.14"},
      {Format("%.2f %%", {98.5}), "98.50 %"},
      {Format("%f", {2.0}), "2.00"},
      {Format("%.0f", {2.5}), "3"},
      {Format("%.2f", {2.675}), "2.68"},
      {Format("%.2f", {-0.001}), "0.00"},
      {Format("%8.3f|", {-1.5}), "  -1.500|"},
      {Format("%.1f", {7}), "7.0"},
      {Format("%g", {0.5}), "0.5"},
      {Format("%g", {100.0}), "100"},
      {Format("%g", {1e20}), "1E20"},
      {Format("%g", {1.5e-7}), "1.5E-7"},
      {Format("%e", {1234.5}), "1.23450000000000E+003"},
      {Format("%.3e", {-0.000123}), "-1.23E-004"},
      {Format("%n", {1234567.891}), "1,234,567.89"},
      {Format("%2:s %0:s %1:s", {"a", "b", "c"}), "c a b"},
      {Format("%*d|", {4, 7}), "   7|"},
      {Format("%.*f", {1, 2.25}), "2.3"},
      {Format("100%%", {}), "100%"},
      {Format("no args", {}), "no args"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Got, c.Expected);
}

TEST_F(FormatTest, RunTimeArgumentList) {
  std::vector<FormatArg> args;
  const std::string name = "Ala";
  args.emplace_back(name);
  args.emplace_back(3);
  EXPECT_EQ(Format("%s: %d", args), "Ala: 3");
  args.pop_back();
  EXPECT_THROW(Format("%s: %d", args), EConvertError);
}

TEST_F(FormatTest, BadFormatRaisesConvertError) {
  const char* fmts[] = {"%d", "%s %s", "%", "%q", "%.2"};
  for (const char* f : fmts) {
    try {
      Format(f, {"text"});
      ADD_FAILURE() << f;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("Format '") + f + "' invalid or incompatible with argument");
    }
  }
  EXPECT_THROW(Format("%d", {1.5}), EConvertError);
  EXPECT_THROW(Format("%f", {"x"}), EConvertError);
}

TEST_F(FormatTest, FormatFloatMasks) {
  struct Case {
    const char* Mask;
    double V;
    const char* Expected;
  };
  const Case cases[] = {
      {"#,##0.", 1234567.4, "1,234,567"},
      {"#,##0.", 999.5, "1,000"},
      {"#,##0.", 0, "0"},
      {"#,##0.", -1234, "-1,234"},
      {"0.00", 3.14159, "3.14"},
      {"0.00", 0.005, "0.01"},
      {"0.00", -0.004, "0.00"},
      {"0.00", 2, "2.00"},
      {"#.##", 0.5, ".5"},
      {"0.##", 1.5, "1.5"},
      {"0.##", 1, "1"},
      {"000", 7, "007"},
      {"##############0", 123456789012.0, "123456789012"},
      {"##############0.00", 1.005, "1.01"},
      {"0.00;(0.00)", -2.5, "(2.50)"},
      {"0.0;-0.0;zero", 0, "zero"},
      {"'Total: '0.0", 4.25, "Total: 4.3"},
      {"0.00E+00", 12345, "1.23E+04"},
      {"0.0E-0", 0.00042, "4.2E-4"},
      {"0 %", 45, "45 %"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatFloat(c.Mask, c.V), c.Expected) << c.Mask << " " << c.V;
}

TEST_F(FormatTest, FloatToStrAndFloatToStrF) {
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FloatToStr(-2.5), "-2.5");
  EXPECT_EQ(FloatToStr(1e15), "1E15");
  EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStr(0.0001), "0.0001");
  EXPECT_EQ(FloatToStr(0.00001), "0.00001");
  EXPECT_EQ(FloatToStr(0.000001), "1E-6");
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStrF(3.14159, ffFixed, 15, 2), "3.14");
  EXPECT_EQ(FloatToStrF(1234.5, ffNumber, 15, 1), "1,234.5");
  EXPECT_EQ(FloatToStrF(1.23456, ffFixed, 3, 4), "1.2300");
  EXPECT_EQ(FloatToStrF(12345.0, ffFixed, 3, 1), "1.23E+004");
  EXPECT_EQ(FloatToStrF(std::nan(""), ffFixed, 15, 2), "NAN");
  EXPECT_EQ(FloatToStrF(-INFINITY, ffGeneral, 15, 0), "-INF");
}

TEST(FormatDefaults, ProgramUsesPolishSeparators) {
  EXPECT_EQ(Format("%.2f", {1234.5}), "1234,50");
  EXPECT_EQ(FormatFloat("#,##0.00", 1234.5), "1\240" "234,50");
  EXPECT_EQ(FloatToStr(0.25), "0,25");
  EXPECT_DOUBLE_EQ(StrToFloat("0,25"), 0.25);
}

TEST(Rounding, RoundIsBankersTruncIsTowardZero) {
  struct Case {
    double X;
    int64_t R, T;
  };
  const Case cases[] = {{2.5, 2, 2},   {3.5, 4, 3},   {-2.5, -2, -2}, {-3.5, -4, -3}, {0.5, 0, 0},
                        {1.5, 2, 1},   {2.4999, 2, 2}, {2.5001, 3, 2}, {-0.4, 0, 0},   {1e12 + 0.5, 1000000000000, 1000000000000}};
  for (const Case& c : cases) {
    EXPECT_EQ(Round(c.X), c.R) << c.X;
    EXPECT_EQ(Trunc(c.X), c.T) << c.X;
  }
  EXPECT_THROW(Round(std::nan("")), EInvalidOp);
  EXPECT_THROW(Round(1e30), EInvalidOp);
  EXPECT_DOUBLE_EQ(Frac(-2.75), -0.75);
  EXPECT_DOUBLE_EQ(Int(-2.75), -2.0);
}

TEST(Rounding, MulDivRoundsHalfAwayFromZero) {
  struct Case {
    int32_t A, B, C, R;
  };
  const Case cases[] = {{10, 3, 4, 8},         {5, 1, 2, 3},  {-5, 1, 2, -3},      {7, 1, 3, 2}, {1, 1, 0, -1},
                        {2000000000, 2, 1, -1}, {2000000000, 3, 4, 1500000000},     {-7, 2, -4, 4}};
  for (const Case& c : cases) EXPECT_EQ(MulDiv(c.A, c.B, c.C), c.R) << c.A << "*" << c.B << "/" << c.C;
}

}  // namespace
