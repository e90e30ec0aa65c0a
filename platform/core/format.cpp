// Float-to-text conversions, FormatFloat and Format.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/core/sysutils.h"

namespace {

// A finite value as decimal digits: value = 0.D1D2D3... * 10^Exp (Digits without trailing zeros;
// empty for zero).
struct TDecimal {
  bool Neg = false;
  std::string Digits;
  int Exp = 0;
};

TDecimal ToDecimal(double V, int Significant = 15) {
  TDecimal d;
  d.Neg = std::signbit(V) && V != 0;
  V = std::fabs(V);
  if (V == 0) return d;
  if (Significant < 1) Significant = 1;
  if (Significant > 17) Significant = 17;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", Significant - 1, V);
  // buf: d.ddddde[+-]xx
  std::string digits;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  const int e = std::atoi(p + 1);
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  d.Digits = digits;
  d.Exp = e + 1;
  if (d.Digits.empty()) d.Exp = 0;
  return d;
}

// Keeps Keep leading digits, rounding half away from zero.
void RoundDigits(TDecimal& d, int Keep) {
  if (Keep < 0) {
    d.Digits.clear();
    d.Exp = 0;
    return;
  }
  if (static_cast<std::size_t>(Keep) >= d.Digits.size()) return;
  const bool up = d.Digits[static_cast<std::size_t>(Keep)] >= '5';
  d.Digits.resize(static_cast<std::size_t>(Keep));
  if (up) {
    int i = Keep - 1;
    while (i >= 0 && d.Digits[static_cast<std::size_t>(i)] == '9') d.Digits[static_cast<std::size_t>(i--)] = '0';
    if (i < 0) {
      d.Digits.insert(d.Digits.begin(), '1');
      ++d.Exp;
    } else {
      ++d.Digits[static_cast<std::size_t>(i)];
    }
  }
  while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
  if (d.Digits.empty()) d.Exp = 0;
}

// Rounds to Decimals digits after the decimal point.
void RoundDecimals(TDecimal& d, int Decimals) {
  if (d.Digits.empty()) return;
  RoundDigits(d, d.Exp + Decimals);
}

char DigitAt(const TDecimal& d, int Index) {  // Index 0 = first digit of Digits
  return (Index >= 0 && static_cast<std::size_t>(Index) < d.Digits.size()) ? d.Digits[static_cast<std::size_t>(Index)] : '0';
}

std::string IntegerPart(const TDecimal& d) {
  if (d.Exp <= 0 || d.Digits.empty()) return "0";
  std::string r;
  for (int i = 0; i < d.Exp; ++i) r += DigitAt(d, i);
  return r;
}

std::string GroupThousands(const std::string& Int, char Sep) {
  std::string r;
  const int n = static_cast<int>(Int.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) r += Sep;
    r += Int[static_cast<std::size_t>(i)];
  }
  return r;
}

std::string FixedText(const TDecimal& d, int Decimals, bool Thousands, const TFormatSettings& FS) {
  std::string r = IntegerPart(d);
  if (Thousands) r = GroupThousands(r, FS.ThousandSeparator);
  if (Decimals > 0) {
    r += FS.DecimalSeparator;
    for (int i = 0; i < Decimals; ++i) r += DigitAt(d, d.Exp + i);
  }
  return r;
}

std::string ExponentText(int E, int MinDigits, bool PlusSign) {
  std::string r = "E";
  if (E < 0) r += '-';
  else if (PlusSign) r += '+';
  std::string ds = std::to_string(E < 0 ? -E : E);
  while (static_cast<int>(ds.size()) < MinDigits) ds.insert(ds.begin(), '0');
  return r + ds;
}

std::string NonFiniteText(double V) {
  if (std::isnan(V)) return "NAN";
  return V < 0 ? "-INF" : "INF";
}

bool AllZero(const TDecimal& d) { return d.Digits.empty(); }

std::string FloatText(double Value, TFloatFormat Fmt, int Precision, int Digits, const TFormatSettings& FS) {
  if (!std::isfinite(Value)) return NonFiniteText(Value);
  if (Precision < 1) Precision = 1;
  if (Precision > 18) Precision = 18;
  if (Digits < 0) Digits = 0;
  TDecimal d = ToDecimal(Value, ((Fmt == ffGeneral || Fmt == ffExponent) && Precision > 15) ? Precision : 15);
  std::string body;
  switch (Fmt) {
    case ffGeneral: {
      RoundDigits(d, Precision);
      if (AllZero(d)) return "0";
      if (d.Exp > Precision || d.Exp < -4) {
        body += d.Digits[0];
        if (d.Digits.size() > 1) body += FS.DecimalSeparator + d.Digits.substr(1);
        body += ExponentText(d.Exp - 1, Digits, false);
      } else {
        body = IntegerPart(d);
        const int decs = static_cast<int>(d.Digits.size()) - d.Exp;
        if (decs > 0) {
          body += FS.DecimalSeparator;
          for (int i = 0; i < decs; ++i) body += DigitAt(d, d.Exp + i);
        }
      }
      break;
    }
    case ffExponent: {
      RoundDigits(d, Precision);
      const int e = AllZero(d) ? 0 : d.Exp - 1;
      body += DigitAt(d, 0);
      if (Precision > 1) {
        body += FS.DecimalSeparator;
        for (int i = 1; i < Precision; ++i) body += DigitAt(d, i);
      }
      body += ExponentText(e, Digits, true);
      break;
    }
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
      if (d.Exp > Precision) return FloatText(Value, ffExponent, Precision, 3, FS);
      RoundDigits(d, Precision);
      RoundDecimals(d, Digits);
      body = FixedText(d, Digits, Fmt != ffFixed, FS);
      if (Fmt == ffCurrency && !FS.CurrencyString.empty()) body += " " + FS.CurrencyString;
      break;
    }
  }
  return (d.Neg && !AllZero(d) ? "-" : "") + body;
}

// ---- FormatFloat ----------------------------------------------------------------------------------
std::vector<std::string> SplitSections(std::string_view F) {
  std::vector<std::string> s(1);
  char quote = 0;
  for (char c : F) {
    if (quote) {
      if (c == quote) quote = 0;
      s.back() += c;
    } else if (c == '"' || c == '\'') {
      quote = c;
      s.back() += c;
    } else if (c == ';') {
      s.emplace_back();
    } else {
      s.back() += c;
    }
  }
  return s;
}

std::string ApplyMask(const std::string& Mask, double V, const TFormatSettings& FS) {
  // Scan the mask for its digit placeholders.
  int intPlaces = 0, intZeros = -1;  // intZeros: index (among int placeholders) of the first '0'
  int decPlaces = 0, decZerosUpTo = 0;
  bool seenPoint = false, thousands = false, sci = false;
  bool sciPlus = false;
  int expDigits = 0;
  char quote = 0;
  for (std::size_t i = 0; i < Mask.size(); ++i) {
    const char c = Mask[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (sci) {
      continue;
    } else if (c == '0' || c == '#') {
      if (!seenPoint) {
        if (c == '0' && intZeros < 0) intZeros = intPlaces;
        ++intPlaces;
      } else {
        ++decPlaces;
        if (c == '0') decZerosUpTo = decPlaces;
      }
    } else if (c == '.') {
      seenPoint = true;
    } else if (c == ',') {
      if (!seenPoint) thousands = true;
    } else if ((c == 'E' || c == 'e') && i + 1 < Mask.size() && (Mask[i + 1] == '+' || Mask[i + 1] == '-')) {
      sci = true;
      sciPlus = Mask[i + 1] == '+';
      std::size_t j = i + 2;
      while (j < Mask.size() && Mask[j] == '0') ++j, ++expDigits;
    }
  }
  const int minInt = intZeros < 0 ? 0 : intPlaces - intZeros;

  TDecimal d = ToDecimal(V);
  int exponent = 0;
  if (sci) {
    if (!AllZero(d)) {
      exponent = d.Exp - (intPlaces > 0 ? intPlaces : 1);
      d.Exp -= exponent;
    }
    RoundDigits(d, (intPlaces > 0 ? intPlaces : 1) + decPlaces);
    if (!AllZero(d) && d.Exp > (intPlaces > 0 ? intPlaces : 1)) {  // rounding carried a digit
      --d.Exp;
      ++exponent;
    }
  } else {
    RoundDecimals(d, decPlaces);
  }
  std::string intDigits = IntegerPart(d);
  if (intDigits == "0") intDigits.clear();
  while (static_cast<int>(intDigits.size()) < minInt) intDigits.insert(intDigits.begin(), '0');
  std::string decDigits;
  for (int i = 0; i < decPlaces; ++i) decDigits += DigitAt(d, d.Exp + i);
  while (static_cast<int>(decDigits.size()) > decZerosUpTo && decDigits.back() == '0') decDigits.pop_back();
  if (thousands) intDigits = GroupThousands(intDigits, FS.ThousandSeparator);

  // Emit: literals in place; the integer digits at the first placeholder, the decimals at the point.
  std::string out;
  bool intDone = false, pointDone = false, expDone = false;
  quote = 0;
  for (std::size_t i = 0; i < Mask.size(); ++i) {
    const char c = Mask[i];
    if (quote) {
      if (c == quote) quote = 0;
      else out += c;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      continue;
    }
    if (expDone && c == '0') continue;
    if (c == '0' || c == '#' || c == ',') {
      if (!pointDone && !intDone) {
        out += intDigits;
        intDone = true;
      }
      continue;
    }
    if (c == '.' && !pointDone) {
      if (!intDone) {
        out += intDigits;
        intDone = true;
      }
      pointDone = true;
      if (!decDigits.empty()) out += FS.DecimalSeparator + decDigits;
      continue;
    }
    if (sci && !expDone && (c == 'E' || c == 'e') && i + 1 < Mask.size() && (Mask[i + 1] == '+' || Mask[i + 1] == '-')) {
      if (!intDone) {
        out += intDigits;
        intDone = true;
      }
      std::string e = ExponentText(exponent, expDigits, sciPlus);
      e[0] = c;
      out += e;
      expDone = true;
      ++i;
      continue;
    }
    out += c;
  }
  if (!intDone) out.insert(0, intDigits);
  return out;
}

// ---- Format ---------------------------------------------------------------------------------------
[[noreturn]] void BadFormat(std::string_view Fmt) {
  throw EConvertError("Format '" + std::string(Fmt) + "' invalid or incompatible with argument");
}

std::string PadDigits(std::string Digits, int MinDigits) {
  if (static_cast<int>(Digits.size()) < MinDigits) Digits.insert(0, static_cast<std::size_t>(MinDigits) - Digits.size(), '0');
  return Digits;
}

}  // namespace

std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits, const TFormatSettings& FS) {
  return FloatText(Value, Format, Precision, Digits, FS);
}
std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits) {
  return FloatText(Value, Format, Precision, Digits, FormatSettings);
}
std::string FloatToStr(double Value) { return FloatText(Value, ffGeneral, 15, 0, FormatSettings); }

std::string FormatFloat(std::string_view Format, double Value, const TFormatSettings& FS) {
  if (!std::isfinite(Value)) return NonFiniteText(Value);
  const std::vector<std::string> sec = SplitSections(Format);
  if (Format.empty()) return FloatText(Value, ffGeneral, 15, 0, FS);
  std::string mask = sec[0];
  bool sign = Value < 0;
  if (Value < 0 && sec.size() >= 2 && !sec[1].empty()) {
    mask = sec[1];
    sign = false;
  }
  if (Value == 0 && sec.size() >= 3 && !sec[2].empty()) {
    mask = sec[2];
  }
  std::string r = ApplyMask(mask, std::fabs(Value), FS);
  // A negative value that rounds to zero shows without its sign.
  if (sign) {
    bool nonzero = false;
    for (char c : r) nonzero |= (c >= '1' && c <= '9');
    if (nonzero) r.insert(r.begin(), '-');
  }
  return r;
}
std::string FormatFloat(std::string_view Format, double Value) { return FormatFloat(Format, Value, FormatSettings); }

std::string Format(std::string_view Fmt, std::initializer_list<FormatArg> Args) { return Format(Fmt, Args, FormatSettings); }

std::string Format(std::string_view Fmt, std::initializer_list<FormatArg> Args, const TFormatSettings& FS) {
  return Format(Fmt, Args.begin(), Args.size(), FS);
}

std::string Format(std::string_view Fmt, const std::vector<FormatArg>& Args) {
  return Format(Fmt, Args.data(), Args.size(), FormatSettings);
}

std::string Format(std::string_view Fmt, const FormatArg* args, std::size_t Count, const TFormatSettings& FS) {
  const int argc = static_cast<int>(Count);
  int next = 0;
  std::string out;
  std::size_t i = 0;
  auto takeInt = [&]() -> int {
    if (next >= argc || (args[next].GetKind() != FormatArg::kSigned && args[next].GetKind() != FormatArg::kUnsigned))
      BadFormat(Fmt);
    return static_cast<int>(args[next++].AsInt());
  };
  auto readNum = [&](int& v) -> bool {  // digits or '*'
    if (i < Fmt.size() && Fmt[i] == '*') {
      ++i;
      v = takeInt();
      return true;
    }
    bool any = false;
    v = 0;
    while (i < Fmt.size() && Fmt[i] >= '0' && Fmt[i] <= '9') {
      v = v * 10 + (Fmt[i++] - '0');
      if (v > 100000) BadFormat(Fmt);
      any = true;
    }
    return any;
  };
  while (i < Fmt.size()) {
    const char c = Fmt[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i >= Fmt.size()) BadFormat(Fmt);
    if (Fmt[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // [index:]
    {
      std::size_t j = i;
      int n = 0;
      while (j < Fmt.size() && Fmt[j] >= '0' && Fmt[j] <= '9' && n < 100000) n = n * 10 + (Fmt[j++] - '0');
      if (j > i && j < Fmt.size() && Fmt[j] == ':') {
        next = n;
        i = j + 1;
      }
    }
    bool left = false;
    if (i < Fmt.size() && Fmt[i] == '-') left = true, ++i;
    int width = 0, prec = -1;
    readNum(width);
    if (width < 0) left = true, width = -width;
    if (i < Fmt.size() && Fmt[i] == '.') {
      ++i;
      if (!readNum(prec)) prec = 0;
      if (prec < 0) prec = -1;
    }
    if (i >= Fmt.size()) BadFormat(Fmt);
    const char t = static_cast<char>(Fmt[i++] | 0x20);  // types are case-insensitive
    if (next >= argc) BadFormat(Fmt);
    const FormatArg& a = args[next++];
    const bool isInt = a.GetKind() == FormatArg::kSigned || a.GetKind() == FormatArg::kUnsigned;
    std::string s;
    switch (t) {
      case 'd':
      case 'u':
      case 'x': {
        if (!isInt && a.GetKind() != FormatArg::kChar) BadFormat(Fmt);
        int64_t v = a.AsInt();
        if (t == 'd') {
          const bool neg = a.GetKind() == FormatArg::kSigned && v < 0;
          const uint64_t mag = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
          s = (neg ? "-" : "") + PadDigits(std::to_string(mag), prec);
        } else {
          uint64_t u = static_cast<uint64_t>(v);
          if (a.GetKind() == FormatArg::kSigned && v < 0 && a.Is32()) u = static_cast<uint32_t>(v);
          s = PadDigits(t == 'u' ? std::to_string(u) : IntToHex(u, 0), prec);
        }
        break;
      }
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm': {
        double v;
        if (a.GetKind() == FormatArg::kFloat) v = a.AsFloat();
        else if (a.GetKind() == FormatArg::kSigned) v = static_cast<double>(a.AsInt());
        else if (a.GetKind() == FormatArg::kUnsigned) v = static_cast<double>(static_cast<uint64_t>(a.AsInt()));
        else BadFormat(Fmt);
        switch (t) {
          case 'e': s = FloatText(v, ffExponent, prec < 0 ? 15 : prec, 3, FS); break;
          case 'f': s = FloatText(v, ffFixed, 18, prec < 0 ? 2 : prec, FS); break;
          case 'g': s = FloatText(v, ffGeneral, prec < 0 ? 15 : prec, 0, FS); break;
          case 'n': s = FloatText(v, ffNumber, 18, prec < 0 ? 2 : prec, FS); break;
          default: s = FloatText(v, ffCurrency, 18, prec < 0 ? FS.CurrencyDecimals : prec, FS); break;
        }
        break;
      }
      case 's': {
        if (a.GetKind() == FormatArg::kString) s = std::string(a.AsString());
        else if (a.GetKind() == FormatArg::kChar) s = std::string(1, static_cast<char>(a.AsInt()));
        else BadFormat(Fmt);
        if (prec >= 0 && static_cast<int>(s.size()) > prec) s.resize(static_cast<std::size_t>(prec));
        break;
      }
      case 'p': {
        if (a.GetKind() != FormatArg::kPointer) BadFormat(Fmt);
        s = IntToHex(static_cast<uint64_t>(a.AsInt()), 8);
        break;
      }
      default:
        BadFormat(Fmt);
    }
    if (static_cast<int>(s.size()) < width) {
      const std::string pad(static_cast<std::size_t>(width) - s.size(), ' ');
      s = left ? s + pad : pad + s;
    }
    out += s;
  }
  return out;
}
