// Value encodings, the locale format records that literal text is read and written with, and the
// conversions between values and texts. Every text conversion takes the format record explicitly
// (the table's or statement's locale), so no process-wide setting is swapped.
//
// Encodings: date = day number (1 January of year 1 is day 1); time = milliseconds of the day;
// timestamp = double milliseconds from the start of day 0 (day number × 86,400,000 + time);
// boolean 16-bit 0/1; smallint, integer, word as 16/32/16-bit integers; float a double; BCD the
// engine's 8-byte decimal form; strings are bytes plus a terminating zero.
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/sysutils.h"

constexpr double kMSecsPerDay = 86400000.0;
constexpr int32_t kMaxDayNumber = 3652059;  // 31 December 9999

// Language 0: '.', "yyyy-mm-dd", "hh:nn:ss" and the English names; other languages: their
// built-in locale record. The records live as long as the program: parsers, plans and contexts
// point at them instead of copying their forty-odd texts.
const TFormatSettings& LocaleFormatSettings(uint16_t Language, uint16_t Sort);
inline void GetLocaleFormatSettings(uint16_t Language, uint16_t Sort, const TFormatSettings*& Settings) {
  Settings = &LocaleFormatSettings(Language, Sort);
}

// Proleptic Gregorian calendar, any day number.
int32_t EncodeDayNumber(int Year, int Month, int Day);
void DecodeDayNumber(int32_t DayNumber, int& Year, int& Month, int& Day);
// 1 = Sunday .. 7 = Saturday.
int DayNumberWeekDay(int32_t DayNumber);
double MakeTimeStamp(int32_t DayNumber, int32_t MSecs);
// Date part and milliseconds of the day of a timestamp (negative and huge values are clamped).
void SplitTimeStamp(double TimeStamp, int32_t& DayNumber, int32_t& MSecs);
void CurrentDayAndTime(int32_t& DayNumber, int32_t& MSecs);

// A date, time or timestamp text to its encoding (4, 4 or 8 bytes at Value); false when the text
// does not convert, Value then untouched.
bool TextToTemporal(const std::string& Text, uint8_t Type, void* Value, const TFormatSettings& Settings);
bool IsValidValueText(const std::string& Text, uint8_t Type, const TFormatSettings& Settings);
inline uint16_t NormalizeBoolean(uint16_t Value) { return Value > 1 ? 1 : Value; }

// Currency values: 64-bit integers in units of 1/10,000.
std::string CurrencyToText(int64_t Currency, const TFormatSettings& Settings);
bool TextToCurrency(const std::string& Text, int64_t& Currency, const TFormatSettings& Settings);
// A double to currency units, rounded to nearest; false when out of range or not a number.
bool FloatToCurrency(double Value, int64_t& Currency);

// Converts one value between two types (INSERT and UPDATE values, CAST, restructuring). The
// destination's DestSize bytes are zero-filled first; DestScale is the decimals of a BCD
// destination. False, with the destination left empty, when the value does not convert or the
// pair has no conversion. Strings are read up to their first zero or SourceSize bytes.
bool ConvertFieldValue(uint8_t SourceType, const void* Source, uint32_t SourceSize, uint8_t DestType, void* Dest,
                       uint32_t DestSize, uint8_t DestScale, const TFormatSettings& Settings);
