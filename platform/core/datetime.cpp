#include "platform/core/datetime.h"

#include <cmath>
#include <ctime>
#include <vector>

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (valid for every year 1..9999).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

const int64_t EpochOffset = DaysFromCivil(1899, 12, 30);  // TDateTime 0 in days from 1970

// Whole days and milliseconds of the day of a TDateTime.
void Split(TDateTime V, int64_t& Days, int64_t& Ms) {
  if (!std::isfinite(V) || std::fabs(V) > 3.0e6) throw EConvertError("Invalid date/time value");
  Days = static_cast<int64_t>(std::trunc(V));
  Ms = std::llround(std::fabs(V - static_cast<double>(Days)) * MSecsPerDay);
  if (Ms >= 86400000) {
    Ms -= 86400000;
    ++Days;
  }
}

std::string Two(int v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

bool StartsWithNoCase(std::string_view S, std::size_t i, std::string_view P) {
  if (i + P.size() > S.size()) return false;
  for (std::size_t k = 0; k < P.size(); ++k)
    if (UpCase(S[i + k]) != UpCase(P[k])) return false;
  return true;
}

void AppendFormatted(std::string& Out, std::string_view F, TDateTime DT, const TFormatSettings& FS, int Depth) {
  if (Depth > 2) return;
  int64_t days, ms;
  Split(DT, days, ms);
  int64_t y64;
  unsigned mo, d;
  CivilFromDays(days + EpochOffset, y64, mo, d);
  const int year = static_cast<int>(y64);
  const int hour = static_cast<int>(ms / 3600000), minute = static_cast<int>(ms / 60000 % 60);
  const int sec = static_cast<int>(ms / 1000 % 60), msec = static_cast<int>(ms % 1000);
  const int dow = static_cast<int>(((days + EpochOffset) % 7 + 11) % 7);  // 0 = Sunday (1970-01-01 was a Thursday)

  bool twelve = false;
  for (std::size_t i = 0; i < F.size(); ++i)
    if (StartsWithNoCase(F, i, "am/pm") || StartsWithNoCase(F, i, "a/p") || StartsWithNoCase(F, i, "ampm")) twelve = true;
  const int hourShown = twelve ? (hour % 12 == 0 ? 12 : hour % 12) : hour;

  bool afterHour = false;
  std::size_t i = 0;
  while (i < F.size()) {
    const char c = F[i];
    const char u = UpCase(c);
    std::size_t n = 1;
    while (i + n < F.size() && UpCase(F[i + n]) == u) ++n;
    if (c == '"' || c == '\'') {
      std::size_t j = i + 1;
      while (j < F.size() && F[j] != c) Out += F[j++];
      i = j + 1;
      continue;
    }
    if (u == 'A') {
      if (StartsWithNoCase(F, i, "am/pm")) {
        Out += std::string(hour < 12 ? F.substr(i, 2) : F.substr(i + 3, 2));
        i += 5;
      } else if (StartsWithNoCase(F, i, "a/p")) {
        Out += hour < 12 ? F[i] : F[i + 2];
        i += 3;
      } else if (StartsWithNoCase(F, i, "ampm")) {
        Out += hour < 12 ? FS.TimeAMString : FS.TimePMString;
        i += 4;
      } else {
        Out += c;
        ++i;
      }
      continue;
    }
    switch (u) {
      case 'C':
        AppendFormatted(Out, FS.ShortDateFormat, DT, FS, Depth + 1);
        if (ms != 0) {
          Out += ' ';
          AppendFormatted(Out, FS.LongTimeFormat, DT, FS, Depth + 1);
        }
        afterHour = false;
        i += 1;
        n = 0;
        break;
      case 'D':
        if (n == 1) Out += std::to_string(d);
        else if (n == 2) Out += Two(static_cast<int>(d));
        else if (n == 3) Out += FS.ShortDayNames[static_cast<std::size_t>(dow)];
        else if (n == 4) Out += FS.LongDayNames[static_cast<std::size_t>(dow)];
        else if (n == 5) AppendFormatted(Out, FS.ShortDateFormat, DT, FS, Depth + 1);
        else AppendFormatted(Out, FS.LongDateFormat, DT, FS, Depth + 1);
        afterHour = false;
        break;
      case 'M':
        if (afterHour && n <= 2) {
          Out += n == 1 ? std::to_string(minute) : Two(minute);
        } else if (n == 1) {
          Out += std::to_string(mo);
        } else if (n == 2) {
          Out += Two(static_cast<int>(mo));
        } else if (n == 3) {
          Out += FS.ShortMonthNames[mo - 1];
        } else {
          Out += FS.LongMonthNames[mo - 1];
        }
        afterHour = false;
        break;
      case 'Y':
        if (n <= 2) Out += Two(year % 100);
        else Out += std::to_string(year);
        afterHour = false;
        break;
      case 'H':
        Out += n == 1 ? std::to_string(hourShown) : Two(hourShown);
        afterHour = true;
        break;
      case 'N':
        Out += n == 1 ? std::to_string(minute) : Two(minute);
        afterHour = false;
        break;
      case 'S':
        Out += n == 1 ? std::to_string(sec) : Two(sec);
        afterHour = false;
        break;
      case 'Z': {
        std::string z = std::to_string(msec);
        if (n >= 3)
          while (z.size() < 3) z.insert(z.begin(), '0');
        Out += z;
        afterHour = false;
        break;
      }
      case 'T':
        AppendFormatted(Out, n == 1 ? FS.ShortTimeFormat : FS.LongTimeFormat, DT, FS, Depth + 1);
        afterHour = false;
        break;
      case '/':
        for (std::size_t k = 0; k < n; ++k) Out += FS.DateSeparator;
        break;
      case ':':
        for (std::size_t k = 0; k < n; ++k) Out += FS.TimeSeparator;
        break;
      default:
        Out.append(F.substr(i, n));
        break;
    }
    i += n;
  }
}

// Splits S at any of Seps into integer fields; false when a field is not a number.
bool IntFields(std::string_view S, std::string_view Seps, std::vector<int>& Out) {
  Out.clear();
  std::size_t i = 0;
  while (true) {
    std::size_t j = i;
    int v = 0;
    while (j < S.size() && S[j] >= '0' && S[j] <= '9') {
      v = v * 10 + (S[j] - '0');
      if (v > 100000) return false;
      ++j;
    }
    if (j == i) return false;
    Out.push_back(v);
    if (j == S.size()) return true;
    if (Seps.find(S[j]) == std::string_view::npos) return false;
    i = j + 1;
  }
}

}  // namespace

bool IsLeapYear(Word Year) { return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0); }

int DaysInMonth(Word Year, Word Month) {
  static const int D[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Month < 1 || Month > 12) return 0;
  return D[Month - 1] + (Month == 2 && IsLeapYear(Year) ? 1 : 0);
}

bool TryEncodeDate(Word Year, Word Month, Word Day, TDateTime& Date) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month)) return false;
  Date = static_cast<double>(DaysFromCivil(Year, Month, Day) - EpochOffset);
  return true;
}

TDateTime EncodeDate(Word Year, Word Month, Word Day) {
  TDateTime d;
  if (!TryEncodeDate(Year, Month, Day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

bool TryEncodeTime(Word Hour, Word Min, Word Sec, Word MSec, TDateTime& Time) {
  if (Hour >= 24 || Min >= 60 || Sec >= 60 || MSec >= 1000) return false;
  Time = ((Hour * 3600000.0) + Min * 60000.0 + Sec * 1000.0 + MSec) / MSecsPerDay;
  return true;
}

TDateTime EncodeTime(Word Hour, Word Min, Word Sec, Word MSec) {
  TDateTime t;
  if (!TryEncodeTime(Hour, Min, Sec, MSec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

void DecodeDate(TDateTime Date, Word& Year, Word& Month, Word& Day) {
  int64_t days, ms;
  Split(Date, days, ms);
  int64_t y;
  unsigned m, d;
  CivilFromDays(days + EpochOffset, y, m, d);
  Year = static_cast<Word>(y), Month = static_cast<Word>(m), Day = static_cast<Word>(d);
}

void DecodeTime(TDateTime Time, Word& Hour, Word& Min, Word& Sec, Word& MSec) {
  int64_t days, ms;
  Split(Time, days, ms);
  Hour = static_cast<Word>(ms / 3600000);
  Min = static_cast<Word>(ms / 60000 % 60);
  Sec = static_cast<Word>(ms / 1000 % 60);
  MSec = static_cast<Word>(ms % 1000);
}

int DayOfWeek(TDateTime Date) {
  int64_t days, ms;
  Split(Date, days, ms);
  return static_cast<int>(((days + EpochOffset) % 7 + 11) % 7) + 1;
}

TDateTime Now() {
  timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  struct tm lt;
  const time_t t = ts.tv_sec;
  ::localtime_r(&t, &lt);
  return EncodeDate(static_cast<Word>(lt.tm_year + 1900), static_cast<Word>(lt.tm_mon + 1), static_cast<Word>(lt.tm_mday)) +
         EncodeTime(static_cast<Word>(lt.tm_hour), static_cast<Word>(lt.tm_min), static_cast<Word>(lt.tm_sec % 60),
                    static_cast<Word>(ts.tv_nsec / 1000000));
}

TDateTime Date() { return std::trunc(Now()); }
TDateTime Time() {
  const TDateTime n = Now();
  return n - std::trunc(n);
}

std::string FormatDateTime(std::string_view Format, TDateTime DateTime, const TFormatSettings& FS) {
  std::string out;
  AppendFormatted(out, Format.empty() ? std::string_view("c") : Format, DateTime, FS, 0);
  return out;
}
std::string FormatDateTime(std::string_view Format, TDateTime DateTime) { return FormatDateTime(Format, DateTime, FormatSettings); }
std::string DateToStr(TDateTime D) { return FormatDateTime("ddddd", D); }
std::string TimeToStr(TDateTime T) { return FormatDateTime("tt", T); }
std::string DateTimeToStr(TDateTime DT) { return FormatDateTime("c", DT); }

bool TryStrToDate(std::string_view S, TDateTime& Value, const TFormatSettings& FS) {
  const std::string t = Trim(S);
  std::vector<int> f;
  if (!IntFields(t, std::string(1, FS.DateSeparator), f) || f.size() < 2 || f.size() > 3) return false;
  // Field order from the short date format.
  std::string order;
  for (char c : FS.ShortDateFormat) {
    const char u = UpCase(c);
    if ((u == 'Y' || u == 'M' || u == 'D') && order.find(u) == std::string::npos) order += u;
  }
  if (order.size() != 3) order = "YMD";
  int y = 0, m = 0, d = 0;
  Word cy, cm, cd;
  DecodeDate(Now(), cy, cm, cd);
  if (f.size() == 2) {
    order.erase(order.find('Y'), 1);
    y = cy;
  }
  for (std::size_t k = 0; k < f.size(); ++k) {
    if (order[k] == 'Y') y = f[k];
    else if (order[k] == 'M') m = f[k];
    else d = f[k];
  }
  if (f.size() == 3) {
    const std::size_t yi = order.find('Y');
    std::size_t digits = 0;
    // Count the digits written for the year.
    std::size_t field = 0, i = 0;
    while (i < t.size() && field < yi) field += (t[i++] == FS.DateSeparator);
    while (i < t.size() && t[i] != FS.DateSeparator) ++i, ++digits;
    if (digits <= 2) y += y >= 50 ? 1900 : 2000;
  }
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  return TryEncodeDate(static_cast<Word>(y), static_cast<Word>(m), static_cast<Word>(d), Value);
}

bool TryStrToTime(std::string_view S, TDateTime& Value, const TFormatSettings& FS) {
  std::string t = Trim(S);
  int pm = -1;
  auto stripMarker = [&](const std::string& Marker, int IsPm) {
    if (Marker.empty() || t.size() < Marker.size()) return;
    if (AnsiSameText(std::string_view(t).substr(t.size() - Marker.size()), Marker)) {
      t = TrimRight(t.substr(0, t.size() - Marker.size()));
      pm = IsPm;
    }
  };
  stripMarker(FS.TimeAMString, 0);
  if (pm < 0) stripMarker(FS.TimePMString, 1);
  if (pm < 0) stripMarker("AM", 0);
  if (pm < 0) stripMarker("PM", 1);
  int msec = 0;
  const std::size_t dot = t.find_first_of(".,");
  if (dot != std::string::npos) {
    std::string z = t.substr(dot + 1);
    t.resize(dot);
    if (z.empty() || z.size() > 3) return false;
    for (char c : z)
      if (c < '0' || c > '9') return false;
    while (z.size() < 3) z += '0';
    msec = std::stoi(z);
  }
  std::vector<int> f;
  if (!IntFields(t, std::string(1, FS.TimeSeparator), f) || f.size() < 2 || f.size() > 3) return false;
  int h = f[0];
  if (pm >= 0) {
    if (h < 1 || h > 12) return false;
    h = h % 12 + (pm ? 12 : 0);
  }
  if (h > 23 || f[1] > 59 || (f.size() == 3 && f[2] > 59)) return false;
  return TryEncodeTime(static_cast<Word>(h), static_cast<Word>(f[1]), static_cast<Word>(f.size() == 3 ? f[2] : 0),
                       static_cast<Word>(msec), Value);
}

bool TryStrToDateTime(std::string_view S, TDateTime& Value, const TFormatSettings& FS) {
  const std::string t = Trim(S);
  const std::size_t sp = t.find(' ');
  if (sp == std::string::npos) {
    if (t.find(FS.DateSeparator) != std::string::npos && TryStrToDate(t, Value, FS)) return true;
    return TryStrToTime(t, Value, FS);
  }
  TDateTime d, tm;
  if (!TryStrToDate(t.substr(0, sp), d, FS) || !TryStrToTime(t.substr(sp + 1), tm, FS)) return false;
  Value = d < 0 ? d - tm : d + tm;
  return true;
}

TDateTime StrToDate(std::string_view S) {
  TDateTime v;
  if (!TryStrToDate(S, v, FormatSettings)) throw EConvertError("'" + std::string(S) + "' is not a valid date");
  return v;
}
TDateTime StrToTime(std::string_view S) {
  TDateTime v;
  if (!TryStrToTime(S, v, FormatSettings)) throw EConvertError("'" + std::string(S) + "' is not a valid time");
  return v;
}
TDateTime StrToDateTime(std::string_view S) {
  TDateTime v;
  if (!TryStrToDateTime(S, v, FormatSettings)) throw EConvertError("'" + std::string(S) + "' is not a valid date and time");
  return v;
}

// ---- time stamps -------------------------------------------------------------------------------
TTimeStamp DateTimeToTimeStamp(TDateTime DateTime) {
  int64_t days, ms;
  Split(DateTime, days, ms);
  TTimeStamp R;
  R.Date = static_cast<int32_t>(days + DateDelta);
  R.Time = static_cast<int32_t>(ms);
  return R;
}

TDateTime TimeStampToDateTime(const TTimeStamp& TimeStamp) {
  if (TimeStamp.Time < 0 || TimeStamp.Time >= 86400000 || TimeStamp.Date <= 0)
    throw EConvertError(Format("'%d.%d' is not a valid timestamp", {TimeStamp.Time, TimeStamp.Date}));
  const double days = static_cast<double>(TimeStamp.Date) - DateDelta;
  const double frac = TimeStamp.Time / MSecsPerDay;
  return days < 0 ? days - frac : days + frac;
}

double TimeStampToMSecs(const TTimeStamp& TimeStamp) {
  return static_cast<double>(TimeStamp.Date) * MSecsPerDay + TimeStamp.Time;
}

TTimeStamp MSecsToTimeStamp(double MSecs) {
  if (!std::isfinite(MSecs) || MSecs < 0 || MSecs > 4.0e14) throw EConvertError("Invalid date/time value");
  TTimeStamp R;
  R.Date = static_cast<int32_t>(std::floor(MSecs / MSecsPerDay));
  R.Time = static_cast<int32_t>(std::llround(MSecs - R.Date * MSecsPerDay));
  if (R.Time >= 86400000) {
    R.Time -= 86400000;
    ++R.Date;
  }
  return R;
}
