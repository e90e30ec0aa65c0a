// Built-in number and date formats per language, and the process's default language.
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <array>
#include <string>

#include "dbengine/storage/collation.h"

namespace {

using TNames12 = std::array<std::string, 12>;
using TNames7 = std::array<std::string, 7>;

TFormatSettings Make(char Decimal, char Thousand, char DateSep, char TimeSep, const char* ShortDate,
                     const char* LongDate, const char* ShortTime, const char* LongTime, const char* AM, const char* PM,
                     const TNames12& ShortMonths, const TNames12& LongMonths, const TNames7& ShortDays,
                     const TNames7& LongDays) {
  TFormatSettings F = DefaultFormatSettings();
  F.DecimalSeparator = Decimal;
  F.ThousandSeparator = Thousand;
  F.DateSeparator = DateSep;
  F.TimeSeparator = TimeSep;
  F.ShortDateFormat = ShortDate;
  F.LongDateFormat = LongDate;
  F.ShortTimeFormat = ShortTime;
  F.LongTimeFormat = LongTime;
  F.TimeAMString = AM;
  F.TimePMString = PM;
  F.ShortMonthNames = ShortMonths;
  F.LongMonthNames = LongMonths;
  F.ShortDayNames = ShortDays;
  F.LongDayNames = LongDays;
  return F;
}

// Texts are CP1250 bytes; formats use the core's date tokens (m month, n minutes).
TFormatSettings MakeEnglishUSA() {
  TFormatSettings F = Make('.', ',', '/', ':', "m/d/yyyy", "dddd, mmmm dd, yyyy", "h:nn AMPM", "h:nn:ss AMPM", "AM", "PM",
                  {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
                  {"January", "February", "March", "April", "May", "June", "July", "August", "September", "October",
                   "November", "December"},
                  {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
                  {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"});
  return F;
}

TFormatSettings MakeEnglishUK() {
  TFormatSettings F = MakeEnglishUSA();
  F.ShortDateFormat = "dd/mm/yyyy";
  F.LongDateFormat = "dd mmmm yyyy";
  F.ShortTimeFormat = "hh:nn";
  F.LongTimeFormat = "hh:nn:ss";
  return F;
}

TFormatSettings MakePolish() {
  TFormatSettings F = Make(',', '\xA0', '-', ':', "yyyy-mm-dd", "d mmmm yyyy", "hh:nn", "hh:nn:ss", "", "",
                  {"sty", "lut", "mar", "kwi", "maj", "cze", "lip", "sie", "wrz", "pa\x9F", "lis", "gru"},
                  {"stycze\xF1", "luty", "marzec", "kwiecie\xF1", "maj", "czerwiec", "lipiec", "sierpie\xF1",
                   "wrzesie\xF1", "pa\x9F" "dziernik", "listopad", "grudzie\xF1"},
                  {"N", "Pn", "Wt", "\x8Cr", "Cz", "Pt", "So"},
                  {"niedziela", "poniedzia\xB3" "ek", "wtorek", "\x9Croda", "czwartek", "pi\xB9tek", "sobota"});
  return F;
}

TFormatSettings MakeGerman() {
  TFormatSettings F = Make(',', '.', '.', ':', "dd.mm.yyyy", "dddd, d. mmmm yyyy", "hh:nn", "hh:nn:ss", "", "",
                  {"Jan", "Feb", "Mrz", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
                  {"Januar", "Februar", "M\xE4rz", "April", "Mai", "Juni", "Juli", "August", "September", "Oktober",
                   "November", "Dezember"},
                  {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"},
                  {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"});
  return F;
}

// Other languages: English names with the separators usual for the language family (decimal comma
// and a day-first date for continental Europe).
TFormatSettings MakeContinental(char Thousand, char DateSep, const char* ShortDate) {
  TFormatSettings F = MakeEnglishUSA();
  F.DecimalSeparator = ',';
  F.ThousandSeparator = Thousand;
  F.DateSeparator = DateSep;
  F.ShortDateFormat = ShortDate;
  F.LongDateFormat = "d mmmm yyyy";
  F.ShortTimeFormat = "hh:nn";
  F.LongTimeFormat = "hh:nn:ss";
  F.TimeAMString = "";
  F.TimePMString = "";
  return F;
}

struct TIsoLanguage {
  const char* Iso;
  uint16_t Primary;
};

const TIsoLanguage kIso[] = {
    {"af", 54}, {"sq", 28}, {"ar", 1},  {"eu", 45}, {"be", 35}, {"bg", 2},  {"ca", 3},  {"hr", 26}, {"cs", 5},
    {"da", 6},  {"nl", 19}, {"en", 9},  {"et", 37}, {"fo", 56}, {"fa", 41}, {"fi", 11}, {"fr", 12}, {"de", 7},
    {"el", 8},  {"he", 13}, {"iw", 13}, {"hu", 14}, {"is", 15}, {"id", 33}, {"in", 33}, {"it", 16}, {"lv", 38},
    {"lt", 39}, {"nb", 20}, {"no", 20}, {"nn", 20}, {"pl", 21}, {"pt", 22}, {"ro", 24}, {"ru", 25}, {"sr", 26},
    {"sk", 27}, {"sl", 36}, {"es", 10}, {"sv", 29}, {"th", 30}, {"tr", 31}, {"uk", 34}, {"vi", 42},
};

struct TCountrySub {
  uint16_t Primary;
  const char* Country;
  uint16_t Sub;
};

// Country codes that select a sub-language other than the first.
const TCountrySub kCountries[] = {
    {1, "IQ", 2},  {1, "EG", 3},  {1, "LY", 4},  {1, "DZ", 5},  {1, "MA", 6},  {1, "TN", 7},  {1, "OM", 8},
    {1, "YE", 9},  {1, "SY", 10}, {1, "JO", 11}, {1, "LB", 12}, {1, "KW", 13}, {1, "AE", 14}, {1, "BH", 15},
    {1, "QA", 16}, {19, "BE", 2}, {9, "GB", 2},  {9, "AU", 3},  {9, "CA", 4},  {9, "NZ", 5},  {9, "IE", 6},
    {9, "ZA", 7},  {9, "JM", 8},  {9, "BZ", 10}, {9, "TT", 11}, {12, "BE", 2}, {12, "CA", 3}, {12, "CH", 4},
    {12, "LU", 5}, {7, "CH", 2},  {7, "AT", 3},  {7, "LU", 4},  {7, "LI", 5},  {16, "CH", 2}, {22, "BR", 1},
    {22, "PT", 2}, {10, "MX", 2}, {10, "GT", 4}, {10, "CR", 5}, {10, "PA", 6}, {10, "DO", 7}, {10, "VE", 8},
    {10, "CO", 9}, {10, "PE", 10}, {10, "AR", 11}, {10, "EC", 12}, {10, "CL", 13}, {10, "UY", 14},
    {10, "PY", 15}, {10, "BO", 16}, {10, "SV", 17}, {10, "HN", 18}, {10, "NI", 19}, {10, "PR", 20},
    {29, "FI", 2},
};

}  // namespace

const TFormatSettings& LocaleFormat(uint16_t Language) {
  static const TFormatSettings EnglishUSA = MakeEnglishUSA();
  static const TFormatSettings EnglishUK = MakeEnglishUK();
  static const TFormatSettings Polish = MakePolish();
  static const TFormatSettings German = MakeGerman();
  static const TFormatSettings DotDate = MakeContinental('.', '.', "dd.mm.yyyy");
  static const TFormatSettings SlashDate = MakeContinental(' ', '/', "dd/mm/yyyy");
  uint16_t Primary = Language & 0x3FF;
  if (Language == 0 || !IsLanguageAvailable(Language)) return EnglishUSA;
  switch (Primary) {
    case 9: return Language == kLanguageEnglishUSA ? EnglishUSA : EnglishUK;
    case 21: return Polish;
    case 7: return German;
    case 5: case 14: case 24: case 25: case 2: case 34: case 35: case 26: case 27: case 36: case 11: case 20:
    case 37: case 38: case 39: case 31: case 56: case 15: case 6:
      return DotDate;
    case 12: case 16: case 10: case 22: case 3: case 45: case 19: case 29: case 8: case 42: case 33:
      return SlashDate;
    default:
      return EnglishUSA;
  }
}

uint16_t ProcessDefaultLanguage() {
  const char* Names[] = {"LC_ALL", "LC_COLLATE", "LANG"};
  std::string Value;
  for (const char* N : Names) {
    const char* V = getenv(N);
    if (V && *V) {
      Value = V;
      break;
    }
  }
  // ll[_CC][.codeset][@modifier]
  const bool LatinScript = Value.find("@latin") != std::string::npos;
  size_t Cut = Value.find_first_of(".@");
  if (Cut != std::string::npos) Value.resize(Cut);
  std::string Lang = Value.substr(0, Value.find('_'));
  std::string Country = Value.find('_') == std::string::npos ? std::string() : Value.substr(Value.find('_') + 1);
  for (const TIsoLanguage& I : kIso) {
    if (strcasecmp(I.Iso, Lang.c_str()) != 0) continue;
    uint16_t Sub = 1;
    for (const TCountrySub& C : kCountries)
      if (C.Primary == I.Primary && strcasecmp(C.Country, Country.c_str()) == 0) Sub = C.Sub;
    if (strcmp(I.Iso, "sr") == 0) Sub = LatinScript ? 2 : 3;  // Cyrillic unless the Latin script is asked for
    uint16_t Id = MakeLangId(I.Primary, Sub);
    if (IsLanguageAvailable(Id)) return Id;
    Id = MakeLangId(I.Primary, 1);
    if (IsLanguageAvailable(Id)) return Id;
  }
  return kLanguageEnglishUSA;
}
