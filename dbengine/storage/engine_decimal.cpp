#include "dbengine/storage/engine_decimal.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int ClampDecimals(int N) { return N < 0 ? 0 : (N > 9 ? 9 : N); }

int64_t Pow10(int N) {
  int64_t P = 1;
  for (int I = 0; I < N; ++I) P *= 10;
  return P;
}

int64_t Saturate(__int128 V) {
  if (V > INT64_MAX) return INT64_MAX;
  if (V < INT64_MIN) return INT64_MIN;
  return static_cast<int64_t>(V);
}

}  // namespace

double RoundToDecimals(int Decimals, double Value) {
  if (Value == 0) return 0;
  if (Decimals <= 0) return Value > 0 ? std::trunc(Value + 0.5) : std::trunc(Value - 0.5);
  double F = 0.1;
  if (Decimals > 1) {
    F = 1.0;
    for (int I = 0; I < Decimals; ++I) F *= 0.1;
  }
  return Value > 0 ? std::trunc(Value / F + 0.5) * F : std::trunc(Value / F - 0.5) * F;
}

int64_t FloatToEngineBCD(int Decimals, double Value) {
  const int N = ClampDecimals(Decimals);
  double X = RoundToDecimals(N, Value);
  if (X == 0) X = 0.0;  // a value that rounds to -0 is stored as 0, never as a distinct "-0"
  // The digits of the rounded value with exactly N decimals, read as one integer, then N appended.
  char Text[400];
  std::string Digits;
  if (std::isfinite(X) && std::fabs(X) < 1e19) {
    snprintf(Text, sizeof(Text), "%.*f", N, X);
    for (const char* P = Text; *P; ++P)
      if (*P != '.') Digits += *P;
  }
  if (Digits.empty() || Digits == "-") Digits = "0";  // a failed conversion gives 0 with N decimals
  Digits += static_cast<char>('0' + N);
  errno = 0;
  long long R = strtoll(Digits.c_str(), nullptr, 10);
  if (errno == ERANGE) return N;
  return static_cast<int64_t>(R);
}

double EngineBCDToFloat(int64_t Encoded) {
  std::string T = std::to_string(Encoded);
  bool Negative = !T.empty() && T[0] == '-';
  if (Negative) T.erase(0, 1);
  size_t N = static_cast<size_t>(T.back() - '0');
  T.pop_back();
  if (N > T.size()) T.insert(0, N - T.size(), '0');
  if (N > 0) T.insert(T.size() - N, ".");
  if (!T.empty() && T[0] == '.') T.insert(0, "0");
  if (Negative) T.insert(0, "-");
  return T.empty() ? 0.0 : strtod(T.c_str(), nullptr);
}

int64_t RoundCurrToDecimals(int Decimals, int64_t Currency) {
  int N = Decimals < 0 ? 0 : (Decimals > 4 ? 4 : Decimals);
  if (N == 4) return Currency;
  __int128 Unit = Pow10(4 - N);
  __int128 C = Currency;
  __int128 R = C >= 0 ? (C + Unit / 2) / Unit * Unit : -((-C + Unit / 2) / Unit * Unit);
  return Saturate(R);
}

int64_t CurrToEngineBCD(int Decimals, int64_t Currency) {
  const int N = ClampDecimals(Decimals);
  __int128 C = RoundCurrToDecimals(N, Currency);
  __int128 Scaled = N <= 4 ? C / Pow10(4 - N) : C * Pow10(N - 4);
  __int128 R = Scaled * 10 + (Scaled < 0 ? -N : N);
  return Saturate(R);
}

int64_t EngineBCDToCurr(int64_t Encoded) {
  int N = static_cast<int>(Encoded % 10);
  if (N < 0) N = -N;
  __int128 Digits = Encoded / 10;
  if (N <= 4) return Saturate(Digits * Pow10(4 - N));
  // More than four decimals: rounded half away from zero to the currency's four.
  __int128 Unit = Pow10(N - 4);
  __int128 R = Digits >= 0 ? (Digits + Unit / 2) / Unit : -((-Digits + Unit / 2) / Unit);
  return Saturate(R);
}
