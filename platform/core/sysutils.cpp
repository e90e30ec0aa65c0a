#include "platform/core/sysutils.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/core/cp1250.h"

namespace {

TFormatSettings MakeDefaults() {
  TFormatSettings fs;
  fs.CurrencyString = "z\xB3";  // zł
  fs.CurrencyFormat = 3;
  fs.NegCurrFormat = 8;
  fs.ThousandSeparator = '\xA0';
  fs.DecimalSeparator = ',';
  fs.CurrencyDecimals = 2;
  fs.DateSeparator = '-';
  fs.ShortDateFormat = "yyyy-mm-dd";
  fs.LongDateFormat = "d mmmm yyyy";
  fs.TimeSeparator = ':';
  fs.TimeAMString = "AM";
  fs.TimePMString = "PM";
  fs.ShortTimeFormat = "hh:nn";
  fs.LongTimeFormat = "hh:nn:ss";
  const char* LongMonths[12] = {"stycze\xF1", "luty", "marzec", "kwiecie\xF1", "maj", "czerwiec",
                                "lipiec", "sierpie\xF1", "wrzesie\xF1", "pa\237dziernik", "listopad",
                                "grudzie\xF1"};
  const char* ShortMonths[12] = {"sty", "lut", "mar", "kwi", "maj", "cze",
                                 "lip", "sie", "wrz", "pa\x9F", "lis", "gru"};
  const char* LongDays[7] = {"niedziela", "poniedzia\263ek", "wtorek", "\x9Croda",
                             "czwartek", "pi\xB9tek", "sobota"};
  const char* ShortDays[7] = {"N", "Pn", "Wt", "\x8Cr", "Cz", "Pt", "So"};
  for (int i = 0; i < 12; ++i) fs.LongMonthNames[i] = LongMonths[i], fs.ShortMonthNames[i] = ShortMonths[i];
  for (int i = 0; i < 7; ++i) fs.LongDayNames[i] = LongDays[i], fs.ShortDayNames[i] = ShortDays[i];
  return fs;
}

char AsciiUp(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char AsciiLo(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Sort weight of one CP1250 byte for the program's alphabetical order (case already folded).
struct Weights {
  uint16_t W[256];
  Weights() {
    // Base letter of every accented upper-case letter of the code page.
    struct Acc {
      unsigned char Ch;
      char Base;
    };
    const Acc Accented[] = {
        {0x8A, 'S'}, {0x8C, 'S'}, {0x8D, 'T'}, {0x8E, 'Z'}, {0x8F, 'Z'}, {0xA3, 'L'}, {0xA5, 'A'},
        {0xAA, 'S'}, {0xAF, 'Z'}, {0xBC, 'L'}, {0xC0, 'R'}, {0xC1, 'A'}, {0xC2, 'A'}, {0xC3, 'A'},
        {0xC4, 'A'}, {0xC5, 'L'}, {0xC6, 'C'}, {0xC7, 'C'}, {0xC8, 'C'}, {0xC9, 'E'}, {0xCA, 'E'},
        {0xCB, 'E'}, {0xCC, 'E'}, {0xCD, 'I'}, {0xCE, 'I'}, {0xCF, 'D'}, {0xD0, 'D'}, {0xD1, 'N'},
        {0xD2, 'N'}, {0xD3, 'O'}, {0xD4, 'O'}, {0xD5, 'O'}, {0xD6, 'O'}, {0xD8, 'R'}, {0xD9, 'U'},
        {0xDA, 'U'}, {0xDB, 'U'}, {0xDC, 'U'}, {0xDD, 'Y'}, {0xDE, 'T'}, {0xDF, 'S'},
    };
    // Polish letters come right after their base letter, before the other accented forms.
    const unsigned char PolishFirst[] = {0xA5, 0xC6, 0xCA, 0xA3, 0xD1, 0xD3, 0x8C, 0x8F, 0xAF};
    for (int i = 0; i < 256; ++i) W[i] = static_cast<uint16_t>(i);
    for (int d = 0; d < 10; ++d) W['0' + d] = static_cast<uint16_t>(0x200 + d);
    for (int c = 'A'; c <= 'Z'; ++c) W[c] = static_cast<uint16_t>(0x300 + (c - 'A') * 64);
    int rank[26] = {};
    for (unsigned char p : PolishFirst)
      for (const Acc& a : Accented)
        if (a.Ch == p) W[p] = static_cast<uint16_t>(0x300 + (a.Base - 'A') * 64 + ++rank[a.Base - 'A']);
    for (const Acc& a : Accented) {
      bool polish = false;
      for (unsigned char p : PolishFirst) polish |= (p == a.Ch);
      if (polish || a.Ch == 0xDF) continue;
      W[a.Ch] = static_cast<uint16_t>(0x300 + (a.Base - 'A') * 64 + 16 + ++rank[a.Base - 'A']);
    }
    W[0xDF] = static_cast<uint16_t>(0x300 + ('S' - 'A') * 64 + 63);
  }
};

const Weights& SortWeights() {
  static const Weights w;
  return w;
}

uint16_t WeightOf(char c) { return SortWeights().W[static_cast<unsigned char>(Cp1250UpCase(c))]; }

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

[[noreturn]] void RaiseIntError(std::string_view S) {
  throw EConvertError("'" + std::string(S) + "' is not a valid integer value");
}
[[noreturn]] void RaiseFloatError(std::string_view S) {
  throw EConvertError("'" + std::string(S) + "' is not a valid floating point value");
}

// Parses an integer the way Delphi's Val does: leading blanks, sign, decimal or '$'/0x hex.
// Hex text may name the bit pattern of a negative number ("$FFFFFFFF" is -1 for 32 bits).
bool ParseInt(std::string_view S, bool Is32, int64_t& Out) {
  std::size_t i = 0;
  while (i < S.size() && (S[i] == ' ' || S[i] == '\t')) ++i;
  bool neg = false;
  if (i < S.size() && (S[i] == '+' || S[i] == '-')) neg = S[i++] == '-';
  bool hex = false;
  if (i < S.size() && S[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < S.size() && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= S.size()) return false;
  const uint64_t base = hex ? 16 : 10;
  uint64_t v = 0;
  for (; i < S.size(); ++i) {
    const char c = S[i];
    uint64_t d;
    if (c >= '0' && c <= '9') d = static_cast<uint64_t>(c - '0');
    else if (hex && c >= 'a' && c <= 'f') d = static_cast<uint64_t>(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F') d = static_cast<uint64_t>(c - 'A' + 10);
    else return false;
    if (v > (UINT64_MAX - d) / base) return false;
    v = v * base + d;
  }
  const uint64_t maxPos = Is32 ? static_cast<uint64_t>(INT32_MAX) : static_cast<uint64_t>(INT64_MAX);
  if (neg) {
    if (v > maxPos + 1) return false;
    Out = static_cast<int64_t>(0 - v);
    if (Is32) Out = static_cast<int32_t>(static_cast<uint32_t>(0 - static_cast<uint32_t>(v)));
    return true;
  }
  if (v <= maxPos) {
    Out = static_cast<int64_t>(v);
    return true;
  }
  if (!hex) return false;
  if (Is32) {
    if (v > 0xFFFFFFFFull) return false;
    Out = static_cast<int32_t>(static_cast<uint32_t>(v));
  } else {
    Out = static_cast<int64_t>(v);
  }
  return true;
}

bool ParseFloat(std::string_view S, char Sep, double& Out) {
  std::size_t b = 0, e = S.size();
  while (b < e && IsBlank(S[b])) ++b;
  while (e > b && IsBlank(S[e - 1])) --e;
  std::string t;
  std::size_t i = b;
  if (i < e && (S[i] == '+' || S[i] == '-')) t += S[i++];
  bool digits = false;
  while (i < e && S[i] >= '0' && S[i] <= '9') t += S[i++], digits = true;
  if (i < e && S[i] == Sep) {
    t += '.';
    ++i;
    while (i < e && S[i] >= '0' && S[i] <= '9') t += S[i++], digits = true;
  }
  if (!digits) return false;
  if (i < e && (S[i] == 'e' || S[i] == 'E')) {
    t += 'e';
    ++i;
    if (i < e && (S[i] == '+' || S[i] == '-')) t += S[i++];
    bool ed = false;
    while (i < e && S[i] >= '0' && S[i] <= '9') t += S[i++], ed = true;
    if (!ed) return false;
  }
  if (i != e) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || std::isinf(v)) return false;
  Out = v;
  return true;
}

}  // namespace

TFormatSettings FormatSettings = MakeDefaults();
TFormatSettings DefaultFormatSettings() { return MakeDefaults(); }

void Abort() { throw EAbort(""); }

// ---- Strings --------------------------------------------------------------------------------------
std::string UpperCase(std::string_view S) {
  std::string r(S);
  for (char& c : r) c = AsciiUp(c);
  return r;
}
std::string LowerCase(std::string_view S) {
  std::string r(S);
  for (char& c : r) c = AsciiLo(c);
  return r;
}
std::string AnsiUpperCase(std::string_view S) {
  std::string r(S);
  for (char& c : r) c = Cp1250UpCase(c);
  return r;
}
std::string AnsiLowerCase(std::string_view S) {
  std::string r(S);
  for (char& c : r) c = Cp1250LoCase(c);
  return r;
}
char UpCase(char C) { return AsciiUp(C); }

int CompareStr(std::string_view A, std::string_view B) {
  const std::size_t n = std::min(A.size(), B.size());
  for (std::size_t i = 0; i < n; ++i)
    if (A[i] != B[i]) return static_cast<unsigned char>(A[i]) - static_cast<unsigned char>(B[i]);
  return static_cast<int>(A.size()) - static_cast<int>(B.size());
}

int CompareText(std::string_view A, std::string_view B) {
  const std::size_t n = std::min(A.size(), B.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char a = static_cast<unsigned char>(AsciiUp(A[i]));
    const unsigned char b = static_cast<unsigned char>(AsciiUp(B[i]));
    if (a != b) return a - b;
  }
  return static_cast<int>(A.size()) - static_cast<int>(B.size());
}
bool SameText(std::string_view A, std::string_view B) { return A.size() == B.size() && CompareText(A, B) == 0; }
bool SameStr(std::string_view A, std::string_view B) { return A == B; }

int AnsiCompareText(std::string_view A, std::string_view B) {
  const std::size_t n = std::min(A.size(), B.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int a = WeightOf(A[i]), b = WeightOf(B[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}
bool AnsiSameText(std::string_view A, std::string_view B) { return A.size() == B.size() && AnsiCompareText(A, B) == 0; }
std::size_t AnsiTextHash(std::string_view S) {
  // FNV-1a over the weights.
  std::uint64_t H = 1469598103934665603ull;
  for (char C : S) {
    H ^= WeightOf(C);
    H *= 1099511628211ull;
  }
  return static_cast<std::size_t>(H);
}

int AnsiCompareStr(std::string_view A, std::string_view B) {
  const int r = AnsiCompareText(A, B);
  if (r != 0) return r;
  for (std::size_t i = 0; i < A.size(); ++i) {
    if (A[i] == B[i]) continue;
    const bool aLower = Cp1250LoCase(A[i]) == A[i];
    const bool bLower = Cp1250LoCase(B[i]) == B[i];
    if (aLower != bLower) return aLower ? -1 : 1;
    return static_cast<unsigned char>(A[i]) < static_cast<unsigned char>(B[i]) ? -1 : 1;
  }
  return 0;
}

std::string Trim(std::string_view S) {
  std::size_t b = 0, e = S.size();
  while (b < e && IsBlank(S[b])) ++b;
  while (e > b && IsBlank(S[e - 1])) --e;
  return std::string(S.substr(b, e - b));
}
std::string TrimLeft(std::string_view S) {
  std::size_t b = 0;
  while (b < S.size() && IsBlank(S[b])) ++b;
  return std::string(S.substr(b));
}
std::string TrimRight(std::string_view S) {
  std::size_t e = S.size();
  while (e > 0 && IsBlank(S[e - 1])) --e;
  return std::string(S.substr(0, e));
}

int Pos(std::string_view Sub, std::string_view S) { return PosEx(Sub, S, 1); }

int PosEx(std::string_view Sub, std::string_view S, int Offset) {
  if (Sub.empty() || Offset < 1 || static_cast<std::size_t>(Offset) > S.size()) return 0;
  const std::size_t p = S.find(Sub, static_cast<std::size_t>(Offset - 1));
  return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

std::string Copy(std::string_view S, int Index, int Count) {
  if (Index < 1) Index = 1;
  if (Count <= 0 || static_cast<std::size_t>(Index) > S.size()) return std::string();
  return std::string(S.substr(static_cast<std::size_t>(Index - 1), static_cast<std::size_t>(Count)));
}

void Delete(std::string& S, int Index, int Count) {
  if (Index < 1 || Count <= 0 || static_cast<std::size_t>(Index) > S.size()) return;
  S.erase(static_cast<std::size_t>(Index - 1), static_cast<std::size_t>(Count));
}

void Insert(std::string_view Sub, std::string& S, int Index) {
  if (Index < 1) Index = 1;
  if (static_cast<std::size_t>(Index) > S.size() + 1) Index = static_cast<int>(S.size()) + 1;
  S.insert(static_cast<std::size_t>(Index - 1), Sub);
}

std::string StringReplace(std::string_view S, std::string_view OldPattern, std::string_view NewPattern, int Flags) {
  if (OldPattern.empty()) return std::string(S);
  const bool ic = (Flags & rfIgnoreCase) != 0;
  const std::string hay = ic ? AnsiUpperCase(S) : std::string(S);
  const std::string pat = ic ? AnsiUpperCase(OldPattern) : std::string(OldPattern);
  std::string r;
  std::size_t from = 0;
  while (true) {
    const std::size_t p = hay.find(pat, from);
    if (p == std::string::npos) break;
    r.append(S.substr(from, p - from));
    r.append(NewPattern);
    from = p + pat.size();
    if (!(Flags & rfReplaceAll)) break;
  }
  r.append(S.substr(from));
  return r;
}

std::string StringOfChar(char Ch, int Count) { return Count > 0 ? std::string(static_cast<std::size_t>(Count), Ch) : std::string(); }

std::string QuotedStr(std::string_view S) {
  std::string r = "'";
  for (char c : S) {
    if (c == '\'') r += '\'';
    r += c;
  }
  return r + "'";
}

// ---- Numbers --------------------------------------------------------------------------------------
std::string IntToStr(int64_t Value) { return std::to_string(Value); }

std::string IntToHex(uint64_t Value, int Digits) {
  static const char H[] = "0123456789ABCDEF";
  std::string r;
  do {
    r.insert(r.begin(), H[Value & 15]);
    Value >>= 4;
  } while (Value);
  if (static_cast<int>(r.size()) < Digits) r.insert(0, static_cast<std::size_t>(Digits) - r.size(), '0');
  return r;
}
std::string IntToHex(uint32_t Value, int Digits) { return IntToHex(static_cast<uint64_t>(Value), Digits); }
std::string IntToHex(int32_t Value, int Digits) { return IntToHex(static_cast<uint64_t>(static_cast<uint32_t>(Value)), Digits); }
std::string IntToHex(int64_t Value, int Digits) { return IntToHex(static_cast<uint64_t>(Value), Digits); }

bool TryStrToInt(std::string_view S, int32_t& Value) {
  int64_t v;
  if (!ParseInt(S, true, v)) return false;
  Value = static_cast<int32_t>(v);
  return true;
}
bool TryStrToInt64(std::string_view S, int64_t& Value) { return ParseInt(S, false, Value); }
int32_t StrToInt(std::string_view S) {
  int32_t v;
  if (!TryStrToInt(S, v)) RaiseIntError(S);
  return v;
}
int64_t StrToInt64(std::string_view S) {
  int64_t v;
  if (!TryStrToInt64(S, v)) RaiseIntError(S);
  return v;
}
int32_t StrToIntDef(std::string_view S, int32_t Default) {
  int32_t v;
  return TryStrToInt(S, v) ? v : Default;
}
int64_t StrToInt64Def(std::string_view S, int64_t Default) {
  int64_t v;
  return TryStrToInt64(S, v) ? v : Default;
}

bool TryStrToFloat(std::string_view S, double& Value, char DecimalSeparator) { return ParseFloat(S, DecimalSeparator, Value); }
bool TryStrToFloat(std::string_view S, double& Value) { return ParseFloat(S, FormatSettings.DecimalSeparator, Value); }
double StrToFloat(std::string_view S, char DecimalSeparator) {
  double v;
  if (!ParseFloat(S, DecimalSeparator, v)) RaiseFloatError(S);
  return v;
}
double StrToFloat(std::string_view S) { return StrToFloat(S, FormatSettings.DecimalSeparator); }
double StrToFloatDef(std::string_view S, double Default) {
  double v;
  return TryStrToFloat(S, v) ? v : Default;
}

int64_t Round(double X) {
  if (!std::isfinite(X) || X >= 9.2233720368547758e18 || X < -9.2233720368547758e18)
    throw EInvalidOp("Invalid floating point operation");
  return static_cast<int64_t>(std::nearbyint(X));  // the default rounding mode: halves to even
}
int64_t Trunc(double X) {
  if (!std::isfinite(X) || X >= 9.2233720368547758e18 || X < -9.2233720368547758e18)
    throw EInvalidOp("Invalid floating point operation");
  return static_cast<int64_t>(X);
}
double Frac(double X) { return X - std::trunc(X); }
double Int(double X) { return std::trunc(X); }

int32_t MulDiv(int32_t Number, int32_t Numerator, int32_t Denominator) {
  if (Denominator == 0) return -1;
  const int64_t p = static_cast<int64_t>(Number) * Numerator;
  int64_t q = p / Denominator;
  const int64_t r = p % Denominator;
  // Round half away from zero.
  if (2 * (r < 0 ? -r : r) >= (Denominator < 0 ? -static_cast<int64_t>(Denominator) : Denominator))
    q += ((p < 0) != (Denominator < 0)) ? -1 : 1;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int32_t>(q);
}

// ---- Small utilities ------------------------------------------------------------------------------
int PosOfNth(std::string_view S, char Delimiter, int N) {
  if (N < 1) return 0;
  int seen = 0;
  for (std::size_t i = 0; i < S.size(); ++i)
    if (S[i] == Delimiter && ++seen == N) return static_cast<int>(i) + 1;
  return 0;
}

std::string ExtractField(std::string_view S, char Delimiter, int N) {
  int start = 1;
  if (N >= 2) {
    start = PosOfNth(S, Delimiter, N - 1) + 1;
    if (start == 1) return std::string();
  }
  int end = PosOfNth(S, Delimiter, N);
  if (end == 0) end = static_cast<int>(S.size()) + 1;
  return Copy(S, start, end - start);
}

std::string FormatSeconds(int Seconds) {
  return Format("%0.2d:%0.2d:%0.2d", {Seconds / 3600, (Seconds / 60) % 60, Seconds % 60});
}

std::string WrapText(std::string_view Line, std::string_view BreakStr, std::string_view BreakChars, int MaxCol) {
  if (MaxCol < 1) MaxCol = 1;
  std::string out;
  out.reserve(Line.size() + Line.size() / 8);
  std::size_t lineStart = 0;
  std::size_t lastBreak = std::string::npos;  // position in out just after the last break char
  for (std::size_t i = 0; i < Line.size(); ++i) {
    const char c = Line[i];
    if (c == '\r' || c == '\n') {
      out += c;
      if (c == '\r' && i + 1 < Line.size() && Line[i + 1] == '\n') out += Line[++i];
      lineStart = out.size();
      lastBreak = std::string::npos;
      continue;
    }
    const bool blank = c == ' ' || c == '\t';
    if (!blank && out.size() - lineStart + 1 > static_cast<std::size_t>(MaxCol) && lastBreak != std::string::npos &&
        lastBreak > lineStart) {
      out.insert(lastBreak, BreakStr);
      lineStart = lastBreak + BreakStr.size();
      lastBreak = std::string::npos;
    }
    out += c;
    if (BreakChars.find(c) != std::string_view::npos) lastBreak = out.size();
  }
  return out;
}

std::string WrapText(std::string_view Line, int MaxCol) {
  static constexpr char Breaks[] = {'\t', ' ', '!', ',', '.', '?'};
  return WrapText(Line, "\r\n", std::string_view(Breaks, sizeof Breaks), MaxCol);
}
