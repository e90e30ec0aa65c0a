// Evaluation of type-checked expression trees for one record, the preparation a filter applies to
// its tree before evaluating it record by record, and the field access that reads column values
// from a record image.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dbengine/sql/expr_token.h"
#include "dbengine/sql/expr_values.h"
#include "platform/core/sysutils.h"

// Fills the value, size and null flag of Result (a copy of a column node) for Record.
using TColumnReader = std::function<void(const void* Record, TExpToken* Result)>;

struct TEvalContext {
  uint16_t Language = 0;  // collation of string comparisons, UPPER and LOWER
  uint16_t Sort = 0;
  TColumnReader ReadColumn;  // without it column nodes keep the value they carry
  const TFormatSettings* Settings = &LocaleFormatSettings(0, 0);  // texts of CAST conversions
  // IN sub-select: true when the sub-select restricted to Value holds a record.
  std::function<bool(const TExpToken* SubSelect, const TExpToken* Value)> InSubSelect;
};

// Raised for a 32-bit integer result that does not fit (+, -, * and ABS).
VX_DECLARE_EXCEPTION(EExpressionOverflow, EOverflow)

// A new result token for the tree under Node; the caller returns it with PutExpToken.
TExpToken* EvaluateExpression(const TExpToken* Node, const void* Record, const TEvalContext& Context);
// One operator over two evaluated operands; Result carries the operator node's type.
void EvaluateBinaryOperator(uint8_t Code, const TExpToken* Left, const TExpToken* Right, uint16_t Language,
                            uint16_t Sort, TExpToken* Result);
void EvaluateUnaryOperator(uint8_t Code, const TExpToken* Operand, TExpToken* Result);
// String comparison of a prefix-comparison node (code 3 or 4) over PrefixLength characters
// (0: the whole strings).
void ComparePrefix(uint8_t Code, uint32_t PrefixLength, bool CaseInsensitive, uint16_t Language, uint16_t Sort,
                   TExpToken* Result, const TExpToken* Right, const TExpToken* Left);
// Converts a numeric, date or timestamp value to Target's type into Result (8 bytes at least).
void CoerceNumeric(const TExpToken* Target, const void* SourceValue, const TExpToken* SourceNode, uint8_t* Result);
// Evaluates Expression without a record and brings a non-NULL, non-string result to Target's type.
TExpToken* EvaluateAsType(const TExpToken* Target, const TExpToken* Expression, const TEvalContext& Context);
// A prepared copy of a checked tree for repeated evaluation.
TExpToken* PrepareExpression(const TExpToken* Node, const TEvalContext& Context, bool NoPartialCompare,
                             bool CaseInsensitive);
// Removes every = and <> comparison with a NULL constant on either side; true when the whole tree went.
bool StripNullComparisons(TExpToken*& Node);

// ---- Field access ----
// Where a column's value lies in a record image: a null flag byte (1 = has a value) at Offset and
// the value after it. An auto-increment column (subtype 29) has no flag: its value is the 32-bit
// row number at Offset.
struct TFieldAccess {
  std::string Name;
  uint32_t Offset = 0;
  uint8_t DataType = 0;
  uint8_t SubType = 0;
  uint32_t Size = 0;  // physical data size (strings: length + 1)
  uint8_t Scale = 0;
};

// Where Field's value lies in Record (FieldValueSize bytes), nullptr when it is NULL: no value, an
// empty string, or a slot beyond the record.
const uint8_t* FieldValue(const uint8_t* Record, uint32_t RecordSize, const TFieldAccess& Field);
inline uint32_t FieldValueSize(const TFieldAccess& Field) { return Field.SubType == stAutoInc ? 4 : Field.Size; }
// Reads field FieldNo (1-based) of Fields from Record into Result.
void ReadRecordField(const uint8_t* Record, uint32_t RecordSize, const TFieldAccess& Field, TExpToken* Result);
// A column reader over a record layout (uses the node's field number).
TColumnReader MakeRecordColumnReader(std::vector<TFieldAccess> Fields, uint32_t RecordSize);
// A column resolver over a record layout: names compare without regard to case; the correlation
// name is cleared, as a single table's filter has no other tables.
std::function<bool(TExpToken*)> MakeFieldResolver(std::vector<TFieldAccess> Fields);
