#include "dbengine/sql/expr_values.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "dbengine/sql/expr_token.h"
#include "dbengine/storage/collation.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_decimal.h"
#include "platform/core/datetime.h"

namespace {

// The settings of "no language": English (USA) with ISO dates, '.' decimals and no currency.
TFormatSettings MakeNeutralFormatSettings() {
  TFormatSettings S = LocaleFormat(kLanguageEnglishUSA);
  S.CurrencyString.clear();
  S.CurrencyFormat = 0;
  S.NegCurrFormat = 0;
  S.ThousandSeparator = ',';
  S.DecimalSeparator = '.';
  S.CurrencyDecimals = 2;
  S.DateSeparator = '-';
  S.ShortDateFormat = "yyyy-mm-dd";
  S.LongDateFormat = "dddd, mmmm dd, yyyy";
  S.TimeSeparator = ':';
  S.TimeAMString = "AM";
  S.TimePMString = "PM";
  S.ShortTimeFormat = "hh:nn";
  S.LongTimeFormat = "hh:nn:ss";
  return S;
}

}  // namespace

const TFormatSettings& LocaleFormatSettings(uint16_t Language, uint16_t Sort) {
  (void)Sort;
  // Built once: every parser, plan and value text asks for them.
  static const TFormatSettings Neutral = MakeNeutralFormatSettings();
  return Language != 0 ? LocaleFormat(Language) : Neutral;
}

// ---- Calendar ----

int32_t EncodeDayNumber(int Year, int Month, int Day) {
  int64_t Y = static_cast<int64_t>(Year) - (Month <= 2 ? 1 : 0);
  const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
  const int64_t YoE = Y - Era * 400;
  const int64_t DoY = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  const int64_t DoE = YoE * 365 + YoE / 4 - YoE / 100 + DoY;
  const int64_t FromEpoch = Era * 146097 + DoE - 719468;  // days since 1970-01-01
  return static_cast<int32_t>(FromEpoch + 719163);
}

void DecodeDayNumber(int32_t DayNumber, int& Year, int& Month, int& Day) {
  int64_t Z = static_cast<int64_t>(DayNumber) - 719163 + 719468;
  const int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  const int64_t DoE = Z - Era * 146097;
  const int64_t YoE = (DoE - DoE / 1460 + DoE / 36524 - DoE / 146096) / 365;
  const int64_t DoY = DoE - (365 * YoE + YoE / 4 - YoE / 100);
  const int64_t MP = (5 * DoY + 2) / 153;
  Day = static_cast<int>(DoY - (153 * MP + 2) / 5 + 1);
  Month = static_cast<int>(MP < 10 ? MP + 3 : MP - 9);
  Year = static_cast<int>(YoE + Era * 400 + (Month <= 2 ? 1 : 0));
}

int DayNumberWeekDay(int32_t DayNumber) {
  // Day 1 (1 January of year 1) was a Monday.
  int64_t R = static_cast<int64_t>(DayNumber) % 7;
  if (R < 0) R += 7;
  return static_cast<int>(R) + 1;
}

double MakeTimeStamp(int32_t DayNumber, int32_t MSecs) {
  return static_cast<double>(DayNumber) * kMSecsPerDay + static_cast<double>(MSecs);
}

void SplitTimeStamp(double TimeStamp, int32_t& DayNumber, int32_t& MSecs) {
  if (!std::isfinite(TimeStamp)) {
    DayNumber = 0;
    MSecs = 0;
    return;
  }
  double Days = std::floor(TimeStamp / kMSecsPerDay);
  if (Days > std::numeric_limits<int32_t>::max()) Days = std::numeric_limits<int32_t>::max();
  if (Days < std::numeric_limits<int32_t>::min()) Days = std::numeric_limits<int32_t>::min();
  DayNumber = static_cast<int32_t>(Days);
  double Rest = TimeStamp - Days * kMSecsPerDay;
  if (!(Rest >= 0)) Rest = 0;
  if (Rest >= kMSecsPerDay) Rest = kMSecsPerDay - 1;
  MSecs = static_cast<int32_t>(Rest);
}

void CurrentDayAndTime(int32_t& DayNumber, int32_t& MSecs) {
  TDateTime N = Now();
  Word Y, M, D, H, Mi, S, Ms;
  DecodeDate(N, Y, M, D);
  DecodeTime(N, H, Mi, S, Ms);
  DayNumber = EncodeDayNumber(Y, M, D);
  MSecs = ((H * 60 + Mi) * 60 + S) * 1000 + Ms;
}

namespace {

bool DateTimeParts(TDateTime V, int32_t& Day, int32_t& Ms) {
  if (!std::isfinite(V)) return false;
  Word Y, M, D, H, Mi, S, MS;
  DecodeDate(V, Y, M, D);
  DecodeTime(V, H, Mi, S, MS);
  Day = EncodeDayNumber(Y, M, D);
  Ms = ((H * 60 + Mi) * 60 + S) * 1000 + MS;
  return true;
}

// A TDateTime for a day number and time, false outside years 1..9999.
bool ToDateTime(int32_t Day, int32_t Ms, TDateTime& Out) {
  if (Day < 1 || Day > kMaxDayNumber) return false;
  int Y, M, D;
  DecodeDayNumber(Day, Y, M, D);
  TDateTime Date;
  if (!TryEncodeDate(static_cast<Word>(Y), static_cast<Word>(M), static_cast<Word>(D), Date)) return false;
  if (Ms < 0) Ms = 0;
  if (Ms >= 86400000) Ms = 86399999;
  const double Frac = Ms / kMSecsPerDay;
  // Before the zero day the fraction still counts forward in the day.
  Out = Date < 0 ? Date - Frac : Date + Frac;
  return true;
}

bool TimeToDateTime(int32_t Ms, TDateTime& Out) {
  if (Ms < 0 || Ms >= 86400000) return false;
  Out = Ms / kMSecsPerDay;
  return true;
}

}  // namespace

bool TextToTemporal(const std::string& Text, uint8_t Type, void* Value, const TFormatSettings& FS) {
  TDateTime V = 0;
  int32_t Day = 0, Ms = 0;
  switch (Type) {
    case ftDate:
      if (!TryStrToDate(Text, V, FS) || !DateTimeParts(V, Day, Ms)) return false;
      std::memcpy(Value, &Day, 4);
      return true;
    case ftTime:
      if (!TryStrToTime(Text, V, FS) || !DateTimeParts(V, Day, Ms)) return false;
      std::memcpy(Value, &Ms, 4);
      return true;
    case ftTimeStamp: {
      bool TimeOnly = false;
      if (!TryStrToDateTime(Text, V, FS) && !TryStrToDate(Text, V, FS)) {
        if (!TryStrToTime(Text, V, FS)) return false;
        TimeOnly = true;
      }
      if (!DateTimeParts(V, Day, Ms)) return false;
      double TS = TimeOnly ? static_cast<double>(Ms) : MakeTimeStamp(Day, Ms);
      std::memcpy(Value, &TS, 8);
      return true;
    }
    default:
      return false;
  }
}

bool IsValidValueText(const std::string& Text, uint8_t Type, const TFormatSettings& FS) {
  if (Text.empty()) return true;
  uint8_t Buffer[8];
  switch (Type) {
    case ftBoolean:
      return SameText(Text, "TRUE") || SameText(Text, "FALSE");
    case ftWord: {
      int32_t V;
      return TryStrToInt(Text, V) && V >= 0 && V <= 65535;
    }
    case ftSmallInt: {
      int32_t V;
      return TryStrToInt(Text, V) && V >= -32768 && V <= 32767;
    }
    case ftInteger: {
      int32_t V;
      return TryStrToInt(Text, V);
    }
    case ftFloat: {
      double V;
      return TryStrToFloat(Text, V, FS.DecimalSeparator);
    }
    case ftBCD: {
      int64_t V;
      return TextToCurrency(Text, V, FS);
    }
    case ftDate:
      return SameText(Text, "DATE") || TextToTemporal(Text, ftDate, Buffer, FS);
    case ftTime:
      return SameText(Text, "TIME") || TextToTemporal(Text, ftTime, Buffer, FS);
    case ftTimeStamp:
      return SameText(Text, "NOW") || SameText(Text, "DATE") || SameText(Text, "TIME") ||
             TextToTemporal(Text, ftTimeStamp, Buffer, FS);
    default:
      return true;
  }
}

// ---- Currency ----

bool FloatToCurrency(double Value, int64_t& Currency) {
  double Scaled = std::round(Value * 10000.0);
  if (!std::isfinite(Scaled) || Scaled >= 9.2233720368547758e18 || Scaled < -9.2233720368547758e18) return false;
  Currency = static_cast<int64_t>(Scaled);
  return true;
}

std::string CurrencyToText(int64_t Currency, const TFormatSettings& FS) {
  const bool Negative = Currency < 0;
  uint64_t Abs = Negative ? 0 - static_cast<uint64_t>(Currency) : static_cast<uint64_t>(Currency);
  std::string S = std::to_string(Abs / 10000);
  uint64_t Frac = Abs % 10000;
  if (Frac) {
    std::string F = std::to_string(Frac);
    F = std::string(4 - F.size(), '0') + F;
    while (!F.empty() && F.back() == '0') F.pop_back();
    S += FS.DecimalSeparator;
    S += F;
  }
  return Negative ? "-" + S : S;
}

bool TextToCurrency(const std::string& Text, int64_t& Currency, const TFormatSettings& FS) {
  double V;
  if (!TryStrToFloat(Text, V, FS.DecimalSeparator)) return false;
  return FloatToCurrency(V, Currency);
}

// ---- ConvertFieldValue ----

namespace {

bool IsIntegerType(uint8_t T) { return T == ftSmallInt || T == ftInteger || T == ftWord; }

int64_t ReadInteger(uint8_t T, const void* P) {
  switch (T) {
    case ftSmallInt: {
      int16_t V;
      std::memcpy(&V, P, 2);
      return V;
    }
    case ftWord:
    case ftBoolean: {
      uint16_t V;
      std::memcpy(&V, P, 2);
      return V;
    }
    default: {
      int32_t V;
      std::memcpy(&V, P, 4);
      return V;
    }
  }
}

// Stores an integer into an integer type, false when it does not fit.
bool WriteInteger(uint8_t T, int64_t V, void* P) {
  switch (T) {
    case ftSmallInt: {
      if (V < INT16_MIN || V > INT16_MAX) return false;
      int16_t X = static_cast<int16_t>(V);
      std::memcpy(P, &X, 2);
      return true;
    }
    case ftWord: {
      if (V < 0 || V > UINT16_MAX) return false;
      uint16_t X = static_cast<uint16_t>(V);
      std::memcpy(P, &X, 2);
      return true;
    }
    case ftInteger: {
      if (V < INT32_MIN || V > INT32_MAX) return false;
      int32_t X = static_cast<int32_t>(V);
      std::memcpy(P, &X, 4);
      return true;
    }
    default:
      return false;
  }
}

bool WriteBCD(int64_t Currency, uint8_t Scale, void* P) {
  int64_t V = CurrToEngineBCD(Scale > 4 ? 4 : Scale, Currency);
  std::memcpy(P, &V, 8);
  return true;
}

bool WriteText(const std::string& S, void* Dest, uint32_t DestSize, bool Terminated) {
  if (DestSize == 0) return false;
  uint32_t Room = Terminated ? DestSize - 1 : DestSize;
  std::memcpy(Dest, S.data(), S.size() < Room ? S.size() : Room);
  return true;
}

std::string ReadText(const void* Source, uint32_t Size) {
  const char* P = static_cast<const char*>(Source);
  const void* Z = std::memchr(P, 0, Size);
  return std::string(P, Z ? static_cast<size_t>(static_cast<const char*>(Z) - P) : Size);
}

bool IsTextType(uint8_t T) { return T == ftString || T == dtLongText; }

bool Convert(uint8_t ST, const void* S, uint32_t SS, uint8_t DT, void* D, uint32_t DS, uint8_t Scale,
             const TFormatSettings& FS) {
  if (ST == DT) {
    if (IsTextType(ST)) return WriteText(ReadText(S, SS), D, DS, true);
    std::memcpy(D, S, SS < DS ? SS : DS);
    return true;
  }
  // Raw copies into bytes and long text.
  if (DT == ftBytes || DT == dtLongText) {
    if (IsTextType(ST)) return WriteText(ReadText(S, SS), D, DS, DT == dtLongText);
    if (ST == ftBlob) return false;
    std::memcpy(D, S, SS < DS ? SS : DS);
    return true;
  }
  if (ST == ftBytes) {
    if (DT == ftBlob) return false;
    std::memcpy(D, S, SS < DS ? SS : DS);
    return true;
  }
  if (IsTextType(ST)) {
    const std::string T = ReadText(S, SS);
    switch (DT) {
      case ftDate:
      case ftTime:
      case ftTimeStamp:
        return DS >= (DT == ftTimeStamp ? 8u : 4u) && TextToTemporal(T, DT, D, FS);
      case ftBoolean: {
        if (!SameText(Trim(T), "TRUE") && !SameText(Trim(T), "FALSE")) return false;
        uint16_t B = SameText(Trim(T), "TRUE") ? 1 : 0;
        std::memcpy(D, &B, 2);
        return true;
      }
      case ftSmallInt:
      case ftInteger:
      case ftWord: {
        int32_t V;
        return TryStrToInt(T, V) && WriteInteger(DT, V, D);
      }
      case ftFloat: {
        double V;
        if (!TryStrToFloat(T, V, FS.DecimalSeparator)) return false;
        std::memcpy(D, &V, 8);
        return true;
      }
      case ftBCD: {
        int64_t C;
        return TextToCurrency(T, C, FS) && WriteBCD(C, Scale, D);
      }
      default:
        return false;
    }
  }
  if (ST == ftBoolean || IsIntegerType(ST)) {
    int64_t V = ReadInteger(ST, S);
    if (ST == ftBoolean) V = V ? 1 : 0;
    switch (DT) {
      case ftString:
        return WriteText(ST == ftBoolean ? BoolToText(V != 0) : IntToStr(V), D, DS, true);
      case ftBoolean: {
        if (ST == ftInteger) return false;
        uint16_t B = V ? 1 : 0;
        std::memcpy(D, &B, 2);
        return true;
      }
      case ftSmallInt:
      case ftInteger:
      case ftWord:
        return WriteInteger(DT, V, D);
      case ftFloat: {
        if (ST == ftBoolean) return false;
        double F = static_cast<double>(V);
        std::memcpy(D, &F, 8);
        return true;
      }
      case ftBCD:
        return WriteBCD(V * 10000, Scale, D);
      default:
        return false;
    }
  }
  if (ST == ftFloat || ST == ftBCD) {
    double F;
    int64_t Curr = 0;
    if (ST == ftFloat) {
      std::memcpy(&F, S, 8);
    } else {
      int64_t E;
      std::memcpy(&E, S, 8);
      Curr = EngineBCDToCurr(E);
      F = static_cast<double>(Curr) / 10000.0;
    }
    switch (DT) {
      case ftString: {
        if (ST == ftBCD) return WriteText(CurrencyToText(Curr, FS), D, DS, true);
        if (!std::isfinite(F)) return false;
        return WriteText(FloatToStrF(F, ffGeneral, 15, 0, FS), D, DS, true);
      }
      case ftSmallInt:
      case ftInteger:
      case ftWord: {
        if (ST == ftBCD) return WriteInteger(DT, Curr / 10000, D);
        if (!std::isfinite(F) || F >= 9.2e18 || F <= -9.2e18) return false;
        return WriteInteger(DT, static_cast<int64_t>(std::trunc(F)), D);
      }
      case ftFloat:
        std::memcpy(D, &F, 8);
        return true;
      case ftBCD: {
        int64_t C;
        return FloatToCurrency(F, C) && WriteBCD(C, Scale, D);
      }
      default:
        return false;
    }
  }
  if (ST == ftDate || ST == ftTime || ST == ftTimeStamp) {
    int32_t Day = 0, Ms = 0;
    if (ST == ftDate) {
      std::memcpy(&Day, S, 4);
    } else if (ST == ftTime) {
      std::memcpy(&Ms, S, 4);
    } else {
      double TS;
      std::memcpy(&TS, S, 8);
      SplitTimeStamp(TS, Day, Ms);
    }
    switch (DT) {
      case ftString: {
        TDateTime V;
        std::string Text;
        if (ST == ftDate) {
          if (!ToDateTime(Day, 0, V)) return false;
          Text = FormatDateTime(FS.ShortDateFormat, V, FS);
        } else if (ST == ftTime) {
          if (!TimeToDateTime(Ms, V)) return false;
          Text = FormatDateTime(FS.LongTimeFormat, V, FS);
        } else {
          if (!ToDateTime(Day, Ms, V)) return false;
          Text = FormatDateTime(FS.ShortDateFormat + " " + FS.LongTimeFormat, V, FS);
        }
        return WriteText(Text, D, DS, true);
      }
      case ftTimeStamp: {
        double TS = ST == ftDate ? MakeTimeStamp(Day, 0) : static_cast<double>(Ms);
        std::memcpy(D, &TS, 8);
        return true;
      }
      case ftDate:
        if (ST != ftTimeStamp) return false;
        std::memcpy(D, &Day, 4);
        return true;
      case ftTime:
        if (ST != ftTimeStamp) return false;
        std::memcpy(D, &Ms, 4);
        return true;
      default:
        return false;
    }
  }
  return false;
}

}  // namespace

bool ConvertFieldValue(uint8_t SourceType, const void* Source, uint32_t SourceSize, uint8_t DestType, void* Dest,
                       uint32_t DestSize, uint8_t DestScale, const TFormatSettings& Settings) {
  if (DestSize) std::memset(Dest, 0, DestSize);
  const uint32_t Needed = DestType == ftTimeStamp || DestType == ftFloat || DestType == ftBCD ? 8
                          : DestType == ftDate || DestType == ftTime || DestType == ftInteger ? 4
                          : DestType == ftBoolean || DestType == ftSmallInt || DestType == ftWord ? 2
                                                                                                  : 0;
  if (DestSize < Needed) return false;
  bool Ok = false;
  try {
    Ok = Convert(SourceType, Source, SourceSize, DestType, Dest, DestSize, DestScale, Settings);
  } catch (const Exception&) {
    Ok = false;
  }
  if (!Ok && DestSize) std::memset(Dest, 0, DestSize);
  return Ok;
}
