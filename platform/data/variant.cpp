#include "platform/data/variant.h"

#include <cmath>
#include <limits>

#include "platform/core/datetime.h"

// ---- Currency -----------------------------------------------------------------------------------
Currency Currency::FromDouble(double Value) {
  double scaled = Value * 10000.0;
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18) throw EOverflow("Floating point overflow");
  return FromRaw(Round(scaled));
}

Currency Currency::FromInt(int64_t Value) {
  int64_t r;
  if (__builtin_mul_overflow(Value, int64_t{10000}, &r)) throw EOverflow("Integer overflow");
  return FromRaw(r);
}

std::string CurrToStr(Currency Value) {
  uint64_t mag = Value.Raw < 0 ? 0 - static_cast<uint64_t>(Value.Raw) : static_cast<uint64_t>(Value.Raw);
  std::string s = std::to_string(mag / 10000);
  unsigned frac = static_cast<unsigned>(mag % 10000);
  if (frac) {
    std::string d = std::to_string(frac + 10000).substr(1);
    while (!d.empty() && d.back() == '0') d.pop_back();
    s += FormatSettings.DecimalSeparator;
    s += d;
  }
  return Value.Raw < 0 ? "-" + s : s;
}

bool TryStrToCurr(std::string_view S, Currency& Value) {
  std::string t = Trim(S);
  std::size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  // Up to 19 significant digits are kept exactly; the fifth and later decimals only round.
  __int128 raw = 0;
  int decimals = -1, digits = 0;
  int roundDigit = -1;
  bool stickyBelow = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c == FormatSettings.DecimalSeparator && decimals < 0) {
      decimals = 0;
      continue;
    }
    if (c < '0' || c > '9') return false;
    ++digits;
    if (decimals >= 4) {
      if (roundDigit < 0) roundDigit = c - '0';
      else if (c != '0') stickyBelow = true;
      continue;
    }
    raw = raw * 10 + (c - '0');
    if (decimals >= 0) ++decimals;
    if (raw > (static_cast<__int128>(1) << 80)) return false;
  }
  if (digits == 0) return false;
  for (int d = decimals < 0 ? 0 : decimals; d < 4; ++d) raw *= 10;
  if (roundDigit > 5 || (roundDigit == 5 && (stickyBelow || (raw & 1)))) ++raw;
  if (neg) raw = -raw;
  if (raw > std::numeric_limits<int64_t>::max() || raw < std::numeric_limits<int64_t>::min()) return false;
  Value = Currency::FromRaw(static_cast<int64_t>(raw));
  return true;
}

Currency StrToCurr(std::string_view S) {
  Currency c;
  if (!TryStrToCurr(S, c)) throw EConvertError("'" + std::string(S) + "' is not a valid floating point value");
  return c;
}

// ---- Variant ------------------------------------------------------------------------------------
Variant Variant::Null() {
  Variant v;
  v.FType = varNull;
  return v;
}

Variant Variant::Smallint(int16_t Value) {
  Variant v(static_cast<int>(Value));
  v.FType = varSmallint;
  return v;
}

Variant Variant::Date(TDateTime Value) {
  Variant v(Value);
  v.FType = varDate;
  return v;
}

Variant Variant::Array(std::vector<Variant> Items) {
  Variant v;
  v.FType = varArray;
  v.FItems = std::move(Items);
  return v;
}

Variant VarArrayOf(std::vector<Variant> Items) { return Variant::Array(std::move(Items)); }

bool Variant::IsNumeric() const {
  return FType == varSmallint || FType == varInteger || FType == varDouble || FType == varCurrency;
}

const Variant& Variant::operator[](int I) const {
  if (FType != varArray || I < 0 || I >= ArrayCount()) throw EVariantError("Variant array index out of bounds");
  return FItems[static_cast<std::size_t>(I)];
}

std::string Variant::TypeName(TVarType T) {
  switch (T) {
    case varEmpty: return "Empty";
    case varNull: return "Null";
    case varSmallint: return "Smallint";
    case varInteger: return "Integer";
    case varDouble: return "Double";
    case varCurrency: return "Currency";
    case varDate: return "Date";
    case varString: return "String";
    case varBoolean: return "Boolean";
    case varArray: return "Array";
  }
  return "Unknown";
}

void Variant::CastError(TVarType To) const {
  throw EVariantError("Cannot convert a variant of type " + TypeName(FType) + " to " + TypeName(To));
}

std::string Variant::AsString() const {
  switch (FType) {
    case varEmpty:
    case varNull: return std::string();
    case varSmallint:
    case varInteger: return IntToStr(FInt);
    case varDouble: return FloatToStr(FDouble);
    case varCurrency: return CurrToStr(Currency::FromRaw(FInt));
    case varDate: return DateTimeToStr(FDouble);
    case varString: return FString;
    case varBoolean: return FInt ? "True" : "False";
    case varArray: break;
  }
  CastError(varString);
}

double Variant::AsFloat() const {
  switch (FType) {
    case varEmpty: return 0;
    case varSmallint:
    case varInteger:
    case varBoolean: return static_cast<double>(FInt);
    case varDouble:
    case varDate: return FDouble;
    case varCurrency: return Currency::FromRaw(FInt).ToDouble();
    case varString: return StrToFloat(FString);
    default: break;
  }
  CastError(varDouble);
}

int32_t Variant::AsInteger() const {
  switch (FType) {
    case varEmpty: return 0;
    case varSmallint:
    case varInteger:
    case varBoolean: return static_cast<int32_t>(FInt);
    case varString: return StrToInt(FString);
    case varDouble:
    case varDate:
    case varCurrency: {
      int64_t r = Round(AsFloat());
      if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max()) throw EOverflow("Integer overflow");
      return static_cast<int32_t>(r);
    }
    default: break;
  }
  CastError(varInteger);
}

Currency Variant::AsCurrency() const {
  switch (FType) {
    case varEmpty: return Currency();
    case varCurrency: return Currency::FromRaw(FInt);
    case varSmallint:
    case varInteger:
    case varBoolean: return Currency::FromInt(FInt);
    case varString: return StrToCurr(FString);
    case varDouble:
    case varDate: return Currency::FromDouble(FDouble);
    default: break;
  }
  CastError(varCurrency);
}

bool Variant::AsBoolean() const {
  switch (FType) {
    case varEmpty: return false;
    case varSmallint:
    case varInteger:
    case varBoolean:
    case varCurrency: return FInt != 0;
    case varDouble:
    case varDate: return FDouble != 0;
    case varString:
      if (AnsiSameText(FString, "True")) return true;
      if (AnsiSameText(FString, "False")) return false;
      return StrToFloat(FString) != 0;
    default: break;
  }
  CastError(varBoolean);
}

TDateTime Variant::AsDateTime() const {
  if (FType == varString) return StrToDateTime(FString);
  if (FType == varNull || FType == varArray) CastError(varDate);
  return AsFloat();
}

bool operator==(const Variant& A, const Variant& B) {
  if (A.FType == varArray || B.FType == varArray) {
    if (A.FType != B.FType || A.FItems.size() != B.FItems.size()) return false;
    for (std::size_t i = 0; i < A.FItems.size(); ++i)
      if (!(A.FItems[i] == B.FItems[i])) return false;
    return true;
  }
  if (A.IsClear() || B.IsClear()) return A.FType == B.FType;
  if (A.FType == varString || B.FType == varString) return A.FType == B.FType && A.FString == B.FString;
  if (A.FType == varCurrency && B.FType == varCurrency) return A.FInt == B.FInt;
  return A.AsFloat() == B.AsFloat();
}

bool VarSameValue(const Variant& A, const Variant& B) {
  bool aText = A.VType() == varString, bText = B.VType() == varString;
  if (aText == bText || A.IsClear() || B.IsClear() || A.IsArray() || B.IsArray()) return A == B;
  const Variant& text = aText ? A : B;
  const Variant& other = aText ? B : A;
  try {
    switch (other.VType()) {
      case varDate: return text.AsDateTime() == other.AsFloat();
      case varBoolean: return text.AsBoolean() == other.AsBoolean();
      case varCurrency: return text.AsCurrency() == other.AsCurrency();
      default: return text.AsFloat() == other.AsFloat();
    }
  } catch (const Exception&) {
    return false;
  }
}
