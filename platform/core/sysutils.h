// Exceptions, string routines, number conversions and Format for CP1250 text.
//
// Delphi-style helpers keep Delphi's conventions so that ported algorithms stay literal:
// positions are 1-based (Pos returns 0 when absent), UpperCase/LowerCase/CompareText/SameText
// touch only A-Z, and the Ansi* variants know every letter of code page 1250.
//
// The program's number and date formats (FormatSettings) are fixed once, Polish style:
//   DecimalSeparator ','   ThousandSeparator 0xA0 (no-break space)   DateSeparator '-'
//   ShortDateFormat "yyyy-mm-dd"   LongDateFormat "d mmmm yyyy"   TimeSeparator ':'
//   ShortTimeFormat "hh:nn"   LongTimeFormat "hh:nn:ss"   TimeAMString "AM"   TimePMString "PM"
//   month and day names in Polish (CP1250).
// Code that must read or write '.' decimals (level tables, engine literals) passes the separator
// explicitly or installs its own settings around the work.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/types.h"

// ---- Exceptions -------------------------------------------------------------------------------
// The base of every exception the program raises. The error log prints ClassName() and Message().
class Exception : public std::exception {
 public:
  explicit Exception(std::string Msg = std::string()) : FMessage(std::move(Msg)) {}
  const std::string& Message() const { return FMessage; }
  void SetMessage(const std::string& Msg) { FMessage = Msg; }
  virtual std::string ClassName() const { return "Exception"; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

#define VX_DECLARE_EXCEPTION(Name, Base)                         \
  class Name : public Base {                                     \
   public:                                                       \
    using Base::Base;                                            \
    std::string ClassName() const override { return #Name; }     \
  };

VX_DECLARE_EXCEPTION(EConvertError, Exception)
VX_DECLARE_EXCEPTION(EAbort, Exception)
VX_DECLARE_EXCEPTION(EOutOfMemory, Exception)
VX_DECLARE_EXCEPTION(EInvalidOperation, Exception)
VX_DECLARE_EXCEPTION(EInvalidPointer, Exception)
VX_DECLARE_EXCEPTION(EListError, Exception)
VX_DECLARE_EXCEPTION(EStringListError, EListError)
VX_DECLARE_EXCEPTION(EMathError, Exception)
VX_DECLARE_EXCEPTION(EInvalidOp, EMathError)
VX_DECLARE_EXCEPTION(EZeroDivide, EMathError)
VX_DECLARE_EXCEPTION(EOverflow, EMathError)
VX_DECLARE_EXCEPTION(ERangeError, Exception)
VX_DECLARE_EXCEPTION(EStreamError, Exception)
VX_DECLARE_EXCEPTION(EFCreateError, EStreamError)
VX_DECLARE_EXCEPTION(EFOpenError, EStreamError)
VX_DECLARE_EXCEPTION(EReadError, EStreamError)
VX_DECLARE_EXCEPTION(EWriteError, EStreamError)
VX_DECLARE_EXCEPTION(EComponentError, Exception)
// A failed consistency check.
VX_DECLARE_EXCEPTION(EAssertionFailed, Exception)

// Input/output failure of a file routine; ErrorCode is the system's errno.
class EInOutError : public Exception {
 public:
  explicit EInOutError(std::string Msg = std::string(), int Code = 0) : Exception(std::move(Msg)), ErrorCode(Code) {}
  std::string ClassName() const override { return "EInOutError"; }
  int ErrorCode;
};

// Raises EAbort with an empty message (the silent exception).
[[noreturn]] void Abort();

// ---- Format settings ----------------------------------------------------------------------------
struct TFormatSettings {
  std::string CurrencyString;
  Byte CurrencyFormat = 0;
  Byte NegCurrFormat = 0;
  char ThousandSeparator = ',';
  char DecimalSeparator = '.';
  Byte CurrencyDecimals = 2;
  char DateSeparator = '/';
  std::string ShortDateFormat;
  std::string LongDateFormat;
  char TimeSeparator = ':';
  std::string TimeAMString;
  std::string TimePMString;
  std::string ShortTimeFormat;
  std::string LongTimeFormat;
  std::array<std::string, 12> ShortMonthNames;
  std::array<std::string, 12> LongMonthNames;
  std::array<std::string, 7> ShortDayNames;  // Sunday first
  std::array<std::string, 7> LongDayNames;
};
// The process-wide settings (see the top of this file for their values).
extern TFormatSettings FormatSettings;
// The fixed program defaults, for code that wants to restore them.
TFormatSettings DefaultFormatSettings();

// ---- Strings ------------------------------------------------------------------------------------
std::string UpperCase(std::string_view S);      // A-Z only
std::string LowerCase(std::string_view S);      // A-Z only
std::string AnsiUpperCase(std::string_view S);  // every CP1250 letter
std::string AnsiLowerCase(std::string_view S);
char UpCase(char C);  // A-Z only

// Byte order; <0, 0, >0.
int CompareStr(std::string_view A, std::string_view B);
// Byte order after folding a-z to A-Z.
int CompareText(std::string_view A, std::string_view B);
bool SameText(std::string_view A, std::string_view B);
bool SameStr(std::string_view A, std::string_view B);
// The program's alphabetical order of CP1250 text (used by sorted string lists):
// characters compare by weight: first all non-alphanumeric bytes in byte order, then the digits
// 0-9, then letters in Polish alphabetical order with case ignored (A Ą B C Ć D E Ę ... L Ł ...
// N Ń O Ó ... S Ś ... Z Ź Ż); other accented letters of the code page follow their base letter
// in byte order of their upper-case form; ß follows all S forms. A shorter string that is a
// prefix of the longer sorts first. Strings that differ only in case compare equal.
int AnsiCompareText(std::string_view A, std::string_view B);
bool AnsiSameText(std::string_view A, std::string_view B);
// A hash of the text's weights: texts that AnsiSameText calls the same have the same hash.
std::size_t AnsiTextHash(std::string_view S);
// Same weights, but where the texts are equal ignoring case, a lower-case letter sorts before
// its upper-case form at the first such difference.
int AnsiCompareStr(std::string_view A, std::string_view B);

// Removes characters <= ' ' at the ends.
std::string Trim(std::string_view S);
std::string TrimLeft(std::string_view S);
std::string TrimRight(std::string_view S);

// 1-based position of Sub in S, 0 when absent or Sub is empty.
int Pos(std::string_view Sub, std::string_view S);
int PosEx(std::string_view Sub, std::string_view S, int Offset = 1);
// Count characters from 1-based Index; out-of-range parts are clipped.
std::string Copy(std::string_view S, int Index, int Count);
// Removes Count characters from 1-based Index (clipped).
void Delete(std::string& S, int Index, int Count);
// Inserts Sub before 1-based Index (clipped to 1..length+1).
void Insert(std::string_view Sub, std::string& S, int Index);

enum TReplaceFlag : int { rfReplaceAll = 1, rfIgnoreCase = 2 };
// rfIgnoreCase matches without regard to CP1250 case.
std::string StringReplace(std::string_view S, std::string_view OldPattern, std::string_view NewPattern, int Flags);
std::string StringOfChar(char Ch, int Count);
std::string QuotedStr(std::string_view S);  // 'text' with inner quotes doubled

// ---- Numbers ------------------------------------------------------------------------------------
std::string IntToStr(int64_t Value);
// Upper-case hex, at least Digits digits; a negative 32-bit value shows its 32-bit pattern.
std::string IntToHex(int32_t Value, int Digits);
std::string IntToHex(int64_t Value, int Digits);
std::string IntToHex(uint32_t Value, int Digits);
std::string IntToHex(uint64_t Value, int Digits);
// Accepts leading blanks, a sign, decimal digits or '$'/0x hex digits; nothing else.
// Raises EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view S);
int64_t StrToInt64(std::string_view S);
int32_t StrToIntDef(std::string_view S, int32_t Default);
int64_t StrToInt64Def(std::string_view S, int64_t Default);
bool TryStrToInt(std::string_view S, int32_t& Value);
bool TryStrToInt64(std::string_view S, int64_t& Value);

// Blanks at both ends are ignored; [sign] digits [sep digits] [E [sign] digits].
// Raises EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view S);  // FormatSettings.DecimalSeparator
double StrToFloat(std::string_view S, char DecimalSeparator);
double StrToFloatDef(std::string_view S, double Default);
bool TryStrToFloat(std::string_view S, double& Value);
bool TryStrToFloat(std::string_view S, double& Value, char DecimalSeparator);

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
// Decimal conversion first rounds the value to 15 significant digits, then rounds half away
// from zero to the digits shown, so 2.675 shows as 2.68 with two decimals.
//   ffGeneral: shortest text with at most Precision significant digits; scientific when the
//              integer part has more than Precision digits or the value is below 1E-5
//              ("1E20", "1,5E-7"); Digits is the minimum exponent width.
//   ffExponent: "d,dddE+ddd" with Precision significant digits and at least Digits exponent digits.
//   ffFixed: Digits decimals; scientific when the integer part has more than Precision digits.
//   ffNumber: as ffFixed with thousand separators.
//   ffCurrency: as ffNumber followed by " " and CurrencyString when that is set.
std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits);
std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits, const TFormatSettings& FS);
std::string FloatToStr(double Value);  // ffGeneral, 15 digits
// Masks: '0' digit, '#' optional digit, '.' decimal separator, ',' thousand separators,
// "E+"/"E-"/"e+"/"e-" exponent, '...' and "..." literals, other characters copied;
// up to three sections "positive;negative;zero".
std::string FormatFloat(std::string_view Format, double Value);
std::string FormatFloat(std::string_view Format, double Value, const TFormatSettings& FS);

// Round to nearest, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
// Raises EInvalidOp for NaN, infinities and values outside 64 bits.
int64_t Round(double X);
int64_t Trunc(double X);  // toward zero
double Frac(double X);
double Int(double X);
// Number * Numerator / Denominator on 64 bits, rounded half away from zero; -1 when the
// denominator is 0 or the result does not fit in 32 bits.
int32_t MulDiv(int32_t Number, int32_t Numerator, int32_t Denominator);

// ---- Format -------------------------------------------------------------------------------------
// One argument of Format: any integer, a floating value, a character or a text.
class FormatArg {
 public:
  enum Kind { kSigned, kUnsigned, kFloat, kString, kChar, kPointer };
  FormatArg(bool v) : FKind(kSigned), FInt(v ? 1 : 0) {}
  FormatArg(char v) : FKind(kChar), FInt(static_cast<unsigned char>(v)) {}
  FormatArg(signed char v) : FKind(kSigned), FInt(v) {}
  FormatArg(unsigned char v) : FKind(kUnsigned), FInt(v), FIs32(true) {}
  FormatArg(short v) : FKind(kSigned), FInt(v), FIs32(true) {}
  FormatArg(unsigned short v) : FKind(kUnsigned), FInt(v), FIs32(true) {}
  FormatArg(int v) : FKind(kSigned), FInt(v), FIs32(true) {}
  FormatArg(unsigned v) : FKind(kUnsigned), FInt(v), FIs32(true) {}
  FormatArg(long v) : FKind(kSigned), FInt(v), FIs32(sizeof(long) == 4) {}
  FormatArg(unsigned long v) : FKind(kUnsigned), FInt(static_cast<int64_t>(v)), FIs32(sizeof(long) == 4) {}
  FormatArg(long long v) : FKind(kSigned), FInt(v) {}
  FormatArg(unsigned long long v) : FKind(kUnsigned), FInt(static_cast<int64_t>(v)) {}
  FormatArg(float v) : FKind(kFloat), FFloat(v) {}
  FormatArg(double v) : FKind(kFloat), FFloat(v) {}
  FormatArg(long double v) : FKind(kFloat), FFloat(static_cast<double>(v)) {}
  FormatArg(const char* v) : FKind(kString), FStr(v ? std::string_view(v) : std::string_view()) {}
  FormatArg(const std::string& v) : FKind(kString), FStr(v) {}
  FormatArg(std::string_view v) : FKind(kString), FStr(v) {}
  FormatArg(const void* v) : FKind(kPointer), FInt(static_cast<int64_t>(reinterpret_cast<uintptr_t>(v))) {}

  Kind GetKind() const { return FKind; }
  int64_t AsInt() const { return FInt; }
  double AsFloat() const { return FFloat; }
  std::string_view AsString() const { return FStr; }
  bool Is32() const { return FIs32; }

 private:
  Kind FKind;
  int64_t FInt = 0;
  double FFloat = 0;
  std::string_view FStr;
  bool FIs32 = false;
};

// Delphi-style Format: "%" [index ":"] ["-"] [width] ["." precision] type, where index, width and
// precision may be '*' (taken from the next argument). Types (either case):
//   d  signed decimal; the precision is the minimum number of digits ("%0.2d" of 5 is "05")
//   u  unsigned decimal (a negative 32-bit argument shows as its 32-bit pattern)
//   x  upper-case hexadecimal; precision as for d
//   e  scientific, precision = significant digits (default 15), exponent "E+ddd"
//   f  fixed, precision = decimals (default 2)
//   g  general, precision = significant digits (default 15)
//   n  fixed with thousand separators (default 2 decimals)
//   m  money: as n followed by the currency string when set
//   s  text (a character argument counts as a text of one); precision = maximum length
//   p  pointer, 8 hex digits at least
//   %% a percent sign
// The width pads with blanks on the left, or on the right after '-'. An integer argument is
// accepted where a floating one is expected. A missing or incompatible argument, or a bad
// specifier, raises EConvertError "Format '<format>' invalid or incompatible with argument".
std::string Format(std::string_view Fmt, std::initializer_list<FormatArg> Args);
std::string Format(std::string_view Fmt, std::initializer_list<FormatArg> Args, const TFormatSettings& FS);
// The same with an argument list built at run time (message tables with arguments).
std::string Format(std::string_view Fmt, const std::vector<FormatArg>& Args);
std::string Format(std::string_view Fmt, const FormatArg* Args, std::size_t Count, const TFormatSettings& FS);

// ---- Small utilities ----------------------------------------------------------------------------
// 1-based position of the N-th occurrence of Delimiter in S; 0 when S has fewer.
int PosOfNth(std::string_view S, char Delimiter, int N);
// The N-th field (from 1) of S split at Delimiter; empty when S has fewer fields.
// "a;b;c": field 1 "a", 3 "c", 4 ""; "a;;c": field 2 "". N below 1 gives the whole of S.
std::string ExtractField(std::string_view S, char Delimiter, int N);
// "hh:mm:ss" with two digits at least each (hours may grow beyond two digits).
std::string FormatSeconds(int Seconds);

// Word wrap.
//  * A break may fall directly after a break character; the break character stays at the end
//    of the upper line. BreakStr is inserted there; nothing is removed, so deleting every
//    inserted BreakStr gives back Line.
//  * Line breaks already in Line (CR LF, LF or CR) are kept and start a new line.
//  * A line's width counts its characters without trailing blanks (space, tab): blanks hang at
//    the end of a line and never cause a break by themselves.
//  * When a character that is not a blank would make the line wider than MaxCol, the line is
//    broken after its last break character; what follows that break character moves down.
//  * A line with no break character before the overflow (a word longer than MaxCol) is not cut:
//    it runs past MaxCol and breaks after the next break character that has text after it.
//  * Quotes have no special meaning. MaxCol below 1 counts as 1.
std::string WrapText(std::string_view Line, std::string_view BreakStr, std::string_view BreakChars, int MaxCol);
// Break string CR LF, break characters tab, space, '!', ',', '.', '?'.
std::string WrapText(std::string_view Line, int MaxCol);
