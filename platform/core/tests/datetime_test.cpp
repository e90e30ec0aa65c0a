#include <gtest/gtest.h>

#include <cmath>

#include "platform/core/datetime.h"

namespace {

TEST(DateTime, EncodeDecodeAgainstKnownSerials) {
  struct Case {
    Word Y, M, D;
    double Serial;
    int Dow;  // 1 = Sunday
  };
  const Case cases[] = {
      {1899, 12, 30, 0, 7},     {1899, 12, 31, 1, 1},  {1900, 1, 1, 2, 2},      {1900, 3, 1, 61, 5},
      {2000, 1, 1, 36526, 7},   {2000, 2, 29, 36585, 3}, {2024, 12, 31, 45657, 3}, {1, 1, 1, -693593, 2},
      {9999, 12, 31, 2958465, 6}, {1899, 12, 29, -1, 6},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeDate(c.Y, c.M, c.D), c.Serial) << c.Y << "-" << c.M << "-" << c.D;
    Word y, m, d;
    DecodeDate(c.Serial, y, m, d);
    EXPECT_EQ(y, c.Y);
    EXPECT_EQ(m, c.M);
    EXPECT_EQ(d, c.D);
    EXPECT_EQ(DayOfWeek(c.Serial < 0 ? c.Serial - 0.75 : c.Serial + 0.75), c.Dow) << c.Serial;
  }
  // A negative value keeps its time of day as the absolute fraction.
  Word y, m, d, h, n, s, ms;
  DecodeDate(-1.25, y, m, d);
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ(d, 29);
  EXPECT_EQ(h, 6);
}

TEST(DateTime, BadValuesRaise) {
  struct Case {
    Word Y, M, D;
  };
  const Case bad[] = {{2023, 2, 29}, {1900, 2, 29}, {2024, 13, 1}, {2024, 0, 1}, {2024, 4, 31}, {0, 1, 1}, {10000, 1, 1}};
  for (const Case& c : bad) {
    try {
      EncodeDate(c.Y, c.M, c.D);
      ADD_FAILURE() << c.Y << "-" << c.M << "-" << c.D;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "Invalid argument to date encode");
    }
  }
  EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(1, 60, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(1, 0, 0, 1000), EConvertError);
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(2023));
}

TEST(DateTime, TimeRoundTripsToTheMillisecond) {
  for (int ms = 0; ms < 86400000; ms += 86400000 / 997) {
    const TDateTime t = EncodeTime(static_cast<Word>(ms / 3600000), static_cast<Word>(ms / 60000 % 60),
                                   static_cast<Word>(ms / 1000 % 60), static_cast<Word>(ms % 1000));
    Word h, n, s, z;
    DecodeTime(45000 + t, h, n, s, z);
    ASSERT_EQ(((h * 60 + n) * 60 + s) * 1000 + z, ms);
  }
  // Just under midnight rounds into the next day rather than to hour 24.
  Word y, m, d, h, n, s, z;
  DecodeTime(1.99999999999, h, n, s, z);
  DecodeDate(1.99999999999, y, m, d);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(m, 1);
}

TEST(DateTime, FormatDateTimePatterns) {
  const TDateTime dt = EncodeDate(2024, 3, 7) + EncodeTime(15, 4, 9, 45);
  const TDateTime morning = EncodeDate(2024, 11, 30) + EncodeTime(0, 5, 0, 0);
  struct Case {
    const char* Fmt;
    TDateTime V;
    const char* Expected;
  };
  const Case cases[] = {
      {"hh:nn am/pm", dt, "03:04 pm"},
      {"hh:nn AM/PM", morning, "12:05 AM"},
      {"h:nn a/p", dt, "3:04 p"},
      {"mm/dd/yy", dt, "03-07-24"},  // '/' is the date separator
      {"yyyy-mm-dd", dt, "2024-03-07"},
      {"hh:nn:ss", dt, "15:04:09"},
      {"hh:mm", dt, "15:04"},  // m after h means minutes
      {"dd.mm.yyyy", dt, "07.03.2024"},
      {"d.m.yy", dt, "7.3.24"},
      {"hh:nn:ss.zzz", dt, "15:04:09.045"},
      {"ddddd", dt, "2024-03-07"},
      {"tt", dt, "15:04:09"},
      {"t", dt, "15:04"},
      {"c", dt, "2024-03-07 15:04:09"},
      {"c", EncodeDate(2024, 3, 7), "2024-03-07"},
      {"\"at\" hh 'o''clock'", dt, "at 15 oclock"},
      {"yyyymmdd_hhnnss", dt, "20240307_150409"},
      {"dddd, d mmmm yyyy", dt, "czwartek, 7 marzec 2024"},
      {"ddd mmm", dt, "Cz mar"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDateTime(c.Fmt, c.V), c.Expected) << c.Fmt;
  EXPECT_EQ(FormatDateTime("dddd mmmm", EncodeDate(2024, 10, 9)), "\x9Croda pa\237dziernik");  // środa październik
  EXPECT_EQ(DateToStr(dt), "2024-03-07");
  EXPECT_EQ(TimeToStr(dt), "15:04:09");
  EXPECT_EQ(DateTimeToStr(dt), "2024-03-07 15:04:09");
}

TEST(DateTime, ParsingFollowsTheProgramFormats) {
  EXPECT_DOUBLE_EQ(StrToDate("2024-03-07"), EncodeDate(2024, 3, 7));
  EXPECT_DOUBLE_EQ(StrToDate("99-1-2"), EncodeDate(1999, 1, 2));
  EXPECT_DOUBLE_EQ(StrToDate("24-1-2"), EncodeDate(2024, 1, 2));
  EXPECT_NEAR(StrToTime("15:04:09"), EncodeTime(15, 4, 9, 0), 1e-12);
  EXPECT_NEAR(StrToTime("3:04 PM"), EncodeTime(15, 4, 0, 0), 1e-12);
  EXPECT_NEAR(StrToTime("12:00 AM"), 0.0, 1e-12);
  EXPECT_NEAR(StrToDateTime("2024-03-07 15:04:09"), EncodeDate(2024, 3, 7) + EncodeTime(15, 4, 9, 0), 1e-9);
  const char* badDates[] = {"2024-02-30", "2024/03/07", "x", "", "2024-03-07-01", "2024--07"};
  for (const char* b : badDates) EXPECT_THROW(StrToDate(b), EConvertError) << b;
  try {
    StrToTime("25:00");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'25:00' is not a valid time");
  }
}

TEST(DateTime, NowIsConsistentWithDateAndTime) {
  const TDateTime before = Now();
  const TDateTime d = Date();
  const TDateTime t = Time();
  const TDateTime after = Now();
  EXPECT_EQ(d, std::trunc(d));
  EXPECT_GE(t, 0.0);
  EXPECT_LT(t, 1.0);
  EXPECT_LE(before, after);
  EXPECT_GT(before, EncodeDate(2020, 1, 1));
  // The date is today's unless midnight passed in between.
  EXPECT_TRUE(d == std::trunc(before) || d == std::trunc(after));
}

}  // namespace

TEST(TimeStamps, DayNumbersAndMillisecondsRoundTrip) {
  struct Case {
    TDateTime Value;
    int32_t Date, Time;
  } cases[] = {
      {0.0, 693594, 0},                                    // 1899-12-30
      {EncodeDate(1, 1, 1), 1, 0},                         // the first day
      {EncodeDate(2026, 12, 10) + EncodeTime(13, 5, 7, 250), 739960, 47107250},
      {-1.25, 693593, 21600000},                           // 1899-12-29 06:00
  };
  for (const Case& c : cases) {
    const TTimeStamp ts = DateTimeToTimeStamp(c.Value);
    EXPECT_EQ(ts.Date, c.Date) << c.Value;
    EXPECT_EQ(ts.Time, c.Time) << c.Value;
    EXPECT_DOUBLE_EQ(TimeStampToDateTime(ts), c.Value);
    const TTimeStamp back = MSecsToTimeStamp(TimeStampToMSecs(ts));
    EXPECT_EQ(back.Date, ts.Date);
    EXPECT_EQ(back.Time, ts.Time);
  }
  try {
    TimeStampToDateTime(TTimeStamp{-1, 5});
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'-1.5' is not a valid timestamp");
  }
  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{0, 0}), EConvertError);
}
