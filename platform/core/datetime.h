// Dates and times as TDateTime: days since 1899-12-30, the fraction is the time of day.
// Negative values count back from 1899-12-30 with the fraction still measured forward in time
// of day as its absolute value (-1.25 is 1899-12-29 06:00), as the class library does.
//
// FormatDateTime patterns (letters in either case):
//   d dd ddd dddd   day, two digits, short day name, long day name
//   ddddd dddddd    the short / long date format
//   m mm mmm mmmm   month, two digits, short name, long name (after h or hh: minutes)
//   yy yyyy         year in two / four digits
//   h hh            hour, two digits
//   n nn            minute, two digits
//   s ss            second, two digits
//   z zzz           millisecond, three digits
//   t tt            the short / long time format
//   am/pm a/p ampm  12-hour clock with that marker (am/pm and a/p keep the case written;
//                   ampm uses TimeAMString/TimePMString)
//   c               short date, then long time when the time is not zero
//   /  :            the date and time separators
//   "..." '...'     literal text
// Every other character is copied. An empty pattern formats as "c".
// The program's short date format is "yyyy-mm-dd" and its long time format "hh:nn:ss"
// (see FormatSettings in sysutils.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/sysutils.h"
#include "platform/core/types.h"

constexpr double MSecsPerDay = 86400000.0;
constexpr int SecsPerDay = 86400;
// Days from 0001-01-01 (day 1 of the time stamps below) to 1899-12-30 (TDateTime 0).
constexpr int DateDelta = 693594;

// A date as a day number (0001-01-01 is day 1) and a time of day in milliseconds: the form
// record buffers keep dates, times and date-times in.
struct TTimeStamp {
  int32_t Time = 0;
  int32_t Date = 0;
};
TTimeStamp DateTimeToTimeStamp(TDateTime DateTime);
// Raises EConvertError "'<time>.<date>' is not a valid timestamp" for a time outside the day or
// a day number below 1.
TDateTime TimeStampToDateTime(const TTimeStamp& TimeStamp);
double TimeStampToMSecs(const TTimeStamp& TimeStamp);
TTimeStamp MSecsToTimeStamp(double MSecs);

// Raise EConvertError "Invalid argument to date encode" / "... time encode" for bad values.
TDateTime EncodeDate(Word Year, Word Month, Word Day);
TDateTime EncodeTime(Word Hour, Word Min, Word Sec, Word MSec);
bool TryEncodeDate(Word Year, Word Month, Word Day, TDateTime& Date);
bool TryEncodeTime(Word Hour, Word Min, Word Sec, Word MSec, TDateTime& Time);
void DecodeDate(TDateTime Date, Word& Year, Word& Month, Word& Day);
void DecodeTime(TDateTime Time, Word& Hour, Word& Min, Word& Sec, Word& MSec);
bool IsLeapYear(Word Year);
int DaysInMonth(Word Year, Word Month);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime Date);

TDateTime Now();   // local date and time, to the millisecond
TDateTime Date();  // today, no time
TDateTime Time();  // time of day only

std::string FormatDateTime(std::string_view Format, TDateTime DateTime);
std::string FormatDateTime(std::string_view Format, TDateTime DateTime, const TFormatSettings& FS);
std::string DateToStr(TDateTime D);      // short date format
std::string TimeToStr(TDateTime T);      // long time format
std::string DateTimeToStr(TDateTime DT);  // "c"
// Parse texts in the order of the short date format (y, m, d fields separated by the date
// separator; a two-digit year is 19xx for 50..99 and 20xx otherwise) and of a time
// h:n[:s[.z]] with an optional AM/PM marker. Raise EConvertError "'<text>' is not a valid date",
// "... time", "... date and time".
TDateTime StrToDate(std::string_view S);
TDateTime StrToTime(std::string_view S);
TDateTime StrToDateTime(std::string_view S);
bool TryStrToDate(std::string_view S, TDateTime& Value, const TFormatSettings& FS);
bool TryStrToTime(std::string_view S, TDateTime& Value, const TFormatSettings& FS);
bool TryStrToDateTime(std::string_view S, TDateTime& Value, const TFormatSettings& FS);
