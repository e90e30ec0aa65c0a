// Fixed-width names for the integer and floating types the program's records and algorithms use,
// so that ported arithmetic keeps the widths it was designed for.
#pragma once

#include <cstdint>

using Integer = int32_t;
using Cardinal = uint32_t;
using LongInt = int32_t;
using LongWord = uint32_t;
using SmallInt = int16_t;
using ShortInt = int8_t;
using Word = uint16_t;
using Byte = uint8_t;
using Int64 = int64_t;
using UInt64 = uint64_t;
using DWORD = uint32_t;
// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;
