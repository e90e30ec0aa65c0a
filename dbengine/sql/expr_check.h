// The type checker: walks a parsed tree once, resolves its columns, gives every node its type,
// subtype, size and scale, rewrites a few constructs (string constants naming columns, bare
// boolean conditions, date texts compared with dates) and rejects ill-typed expressions with the
// caller's engine error code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dbengine/sql/expr_token.h"
#include "dbengine/sql/expr_values.h"
#include "platform/core/sysutils.h"

struct TTypeCheckContext {
  uint16_t ErrorCode = 0;
  std::string TableName;
  std::string Context;
  // Where the expression is a condition (a filter): bare boolean columns become "= True".
  bool Condition = false;
  // Formats of date and time texts compared with temporal values.
  const TFormatSettings* Settings = &LocaleFormatSettings(0, 0);
  // True when the node's column name (and correlation name) names a column; it then fills in the
  // field number, type, subtype, size and scale.
  std::function<bool(TExpToken* Node)> ResolveColumn;
  // For an IN sub-select node: the number of result columns of its query; when it is 1 the hook
  // also fills the node's type, subtype, size and scale from that column.
  std::function<int(TExpToken* Node)> ResolveSubSelect;

  [[noreturn]] void Fail(const std::string& Message) const;
};

// Checks the tree under Node (whose parent is Parent). Returns the node's type.
uint8_t CheckExpressionTypes(const TTypeCheckContext& Context, TExpToken* Parent, TExpToken* Node);
// Size, scale (and BLOB subtype) of a node whose type came from a data type keyword; checks its
// arguments (the chain from operand 2).
void ApplyDataTypeArguments(const TTypeCheckContext& Context, TExpToken* Node);

// True when the operator Code accepts the operand pair (the NULL constant only right of = and <>).
bool OperandsCompatible(uint8_t Code, const TExpToken& Left, const TExpToken& Right);

bool HasColumnReference(const TExpToken* Node);
bool HasAggregate(const TExpToken* Node);
bool IsOrCondition(const TExpToken* Node);
bool IsUnderNot(const TExpToken* Node);
