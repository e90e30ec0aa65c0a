// The engine's decimal form: a signed 64-bit integer holding the value's digits scaled by 10^n,
// followed by one more decimal digit that is n (0..9). 12.34 with 2 decimals is 12342; -5 with 0
// decimals is -50; 0.5 with 3 decimals is 5003.
#pragma once

#include <cstdint>

int64_t FloatToEngineBCD(int Decimals, double Value);
double EngineBCDToFloat(int64_t Encoded);
// Currency values are 64-bit integers in units of 1/10,000.
int64_t CurrToEngineBCD(int Decimals, int64_t Currency);
int64_t EngineBCDToCurr(int64_t Encoded);

// Halves away from zero, dividing by the double 0.1^n (so 0.125 to 2 decimals gives 0.12).
double RoundToDecimals(int Decimals, double Value);
// The currency twin; Decimals above 4 count as 4.
int64_t RoundCurrToDecimals(int Decimals, int64_t Currency);
