// Expression filters and calculated fields of cursors: filter texts are parsed and type-checked
// against a cursor's fields, prepared once, and evaluated over record bitmaps through the table's
// indexes where a comparison of an indexed column with a constant allows it, else record by
// record; calculated fields are evaluated against each record read.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dbengine/sql/expr_eval.h"
#include "dbengine/sql/expr_token.h"
#include "dbengine/storage/cursor_filters.h"

class TDataCursor;

// Makes the cursors' filter texts compile through this library. Idempotent; programs and tests
// that add text filters call it at start-up (linking this file registers it too).
void RegisterEngineExpressions();

// The cursor's fields as the evaluator reads them from a record image (an auto-increment field
// reads its value from the row number).
std::vector<TFieldAccess> CursorFields(TDataCursor& Cursor);

// Parses and type-checks a filter text against the cursor's fields under the table's locale;
// raises 0x2743 with the parser's or checker's message, "filter expression is empty" or "filter
// expression must be a boolean expression". A comparison standing at the top (or under a unary
// operator) with its column on the right is turned round. The caller owns the tree.
TExpToken* CompileFilterTree(TDataCursor& Cursor, const std::string& Text);
// A condition over a checked tree of the cursor's fields (Locate, SQL); takes the tree.
std::unique_ptr<TCursorCondition> MakeTreeCondition(TDataCursor& Cursor, TExpToken* Tree, bool NoPartialCompare,
                                                    bool CaseInsensitive);

// A calculated field's value from a checked expression over the cursor's fields; takes the tree.
std::unique_ptr<TCursorCalculation> MakeExpressionCalculation(TDataCursor& Cursor, TExpToken* Tree);
// Parses and checks an expression text for a calculated field (errors as for filters).
std::unique_ptr<TCursorCalculation> CompileCalculation(TDataCursor& Cursor, const std::string& Text);
