// A small tagged value for field values, key values of Locate/Lookup and parameters, and the
// fixed-point Currency type (an int64 counting ten-thousandths).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/sysutils.h"
#include "platform/core/types.h"

VX_DECLARE_EXCEPTION(EVariantError, Exception)

// A money amount with four decimals, kept exactly as value x 10,000.
struct Currency {
  int64_t Raw = 0;

  static Currency FromRaw(int64_t R) {
    Currency C;
    C.Raw = R;
    return C;
  }
  // Rounded to four decimals, halves to even; raises EOverflow outside the 64-bit range.
  static Currency FromDouble(double Value);
  static Currency FromInt(int64_t Value);  // raises EOverflow when Value x 10,000 does not fit
  double ToDouble() const { return static_cast<double>(Raw) / 10000.0; }
  friend bool operator==(Currency A, Currency B) { return A.Raw == B.Raw; }
  friend bool operator<(Currency A, Currency B) { return A.Raw < B.Raw; }
};

// Text with up to four decimals, trailing zeros dropped, the program's decimal separator.
std::string CurrToStr(Currency Value);
// Blanks at the ends, an optional sign, digits with at most one decimal separator. More than four
// decimals are rounded half to even. Raises EConvertError "'<text>' is not a valid floating point value".
Currency StrToCurr(std::string_view S);
bool TryStrToCurr(std::string_view S, Currency& Value);

enum TVarType { varEmpty, varNull, varSmallint, varInteger, varDouble, varCurrency, varDate, varString, varBoolean, varArray };

class Variant {
 public:
  Variant() = default;
  Variant(int Value) : FType(varInteger), FInt(Value) {}
  Variant(double Value) : FType(varDouble), FDouble(Value) {}
  Variant(bool Value) : FType(varBoolean), FInt(Value ? 1 : 0) {}
  Variant(Currency Value) : FType(varCurrency), FInt(Value.Raw) {}
  Variant(const char* Value) : FType(varString), FString(Value ? Value : "") {}
  Variant(std::string Value) : FType(varString), FString(std::move(Value)) {}
  Variant(std::string_view Value) : FType(varString), FString(Value) {}

  static Variant Null();
  static Variant Smallint(int16_t Value);
  static Variant Date(TDateTime Value);
  static Variant Array(std::vector<Variant> Items);

  TVarType VType() const { return FType; }
  bool IsNull() const { return FType == varNull; }
  bool IsEmpty() const { return FType == varEmpty; }
  // Null or empty: no value at all.
  bool IsClear() const { return FType == varNull || FType == varEmpty; }
  bool IsArray() const { return FType == varArray; }
  bool IsNumeric() const;  // smallint, integer, double, currency
  int ArrayCount() const { return static_cast<int>(FItems.size()); }
  // Item I of an array; raises EVariantError for a bad index or a value that is no array.
  const Variant& operator[](int I) const;

  // Conversions. Empty gives 0, "" or false; Null raises EVariantError except in AsString, which
  // gives "" (the value of a blank field shown as text). Text converts with the program's number
  // and date formats; a text that is no number raises EConvertError.
  std::string AsString() const;
  int32_t AsInteger() const;
  double AsFloat() const;
  Currency AsCurrency() const;
  bool AsBoolean() const;
  TDateTime AsDateTime() const;

  // Same type class and value: numbers compare numerically, dates as numbers, Null equals Null.
  friend bool operator==(const Variant& A, const Variant& B);
  friend bool operator!=(const Variant& A, const Variant& B) { return !(A == B); }

  // The type's name as shown in conversion errors ("Integer", "String", ...).
  static std::string TypeName(TVarType T);

 private:
  [[noreturn]] void CastError(TVarType To) const;

  TVarType FType = varEmpty;
  int64_t FInt = 0;
  double FDouble = 0;
  std::string FString;
  std::vector<Variant> FItems;
};

Variant VarArrayOf(std::vector<Variant> Items);
// Equality used by searches: like ==, but a text compared with a number or a date is converted
// to that type first (a text that does not convert is simply unequal).
bool VarSameValue(const Variant& A, const Variant& B);
