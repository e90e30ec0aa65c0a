// Filters of a cursor and the calculated fields of its field map.
//
// The storage engine does not know the expression language: a filter holds either a record
// callback or a compiled condition (TCursorCondition), and a calculated field a TCursorCalculation.
// The expression library implements both and registers a compiler for condition texts at start-up
// (SetCursorExpressionCompiler); without it a text filter is refused with the filter error, while
// callback filters work with the storage engine alone.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "dbengine/storage/engine_heap.h"

class TDataCursor;
class TRecordsBitmap;
struct TFieldDescriptor;

// A compiled filter condition over the records of one cursor's table.
class TCursorCondition {
 public:
  virtual ~TCursorCondition() = default;
  // Clears in Bitmap the bits of the candidate records (the set bits) that fail the condition,
  // through the cursor's indexes where it can. Optimise lets an index range choose between marking
  // its records and clearing the others. False when a concurrent change aborted the evaluation: the
  // caller runs it again.
  virtual bool Evaluate(TDataCursor& Cursor, TRecordsBitmap& Bitmap, bool Optimise) = 0;
  // Tests one record image.
  virtual bool TestRecord(TDataCursor& Cursor, const uint8_t* Record) = 0;
  // 0 evaluated by scanning, 1 partly through indexes, 2 wholly through indexes.
  virtual uint8_t Optimization() const = 0;
  // An independent copy for another cursor on the same table (a clone).
  virtual std::unique_ptr<TCursorCondition> Clone(TDataCursor& Target) const = 0;
};

// The value of one calculated field of a cursor's field map.
class TCursorCalculation {
 public:
  virtual ~TCursorCalculation() = default;
  // Computes the value for Record and stores it (null flag and value) at the field's offset.
  virtual void Compute(TDataCursor& Cursor, uint8_t* Record, const TFieldDescriptor& Field) = 0;
  virtual std::unique_ptr<TCursorCalculation> Clone(TDataCursor& Target) const = 0;
};

// Turns filter texts into conditions for a cursor; raises the filter error (0x2743) for a text
// that does not parse, does not type-check or is not a boolean expression.
class TCursorExpressionCompiler {
 public:
  virtual ~TCursorExpressionCompiler() = default;
  virtual std::unique_ptr<TCursorCondition> CompileCondition(TDataCursor& Cursor, const std::string& Text,
                                                             bool NoPartialCompare, bool CaseInsensitive) = 0;
};

// The process-wide compiler (not owned); nullptr until the expression library registers one.
void SetCursorExpressionCompiler(TCursorExpressionCompiler* Compiler);
TCursorExpressionCompiler* CursorExpressionCompiler();

// A record callback: (Data, RecordBuffer, RecordNumber) -> the record passes.
using TFilterCallback = std::function<bool(void* Data, const uint8_t* RecordBuffer, uint32_t RecordNumber)>;

// One filter of a cursor: a condition or a callback, with its result bitmap over the table's
// records.
class TFilter : public TEngineObject {
 public:
  // A callback filter when Callback is set, else a condition filter.
  TFilter(TDataCursor* Cursor, TFilterCallback Callback, void* CallbackData, bool Optimise, bool EvaluateLast,
          std::unique_ptr<TCursorCondition> Condition);
  ~TFilter();
  TFilter(const TFilter&) = delete;
  TFilter& operator=(const TFilter&) = delete;

  TDataCursor* Cursor = nullptr;
  std::unique_ptr<TCursorCondition> Condition;
  void* CallbackData = nullptr;
  TFilterCallback Callback;
  TRecordsBitmap* Bitmap = nullptr;  // from the pool, returned on destruction
  bool Active = false;
  bool IsCallback = false;
  uint8_t Optimization = 0;
  bool EvaluateLast = false;
  bool Optimise = false;
  bool Flag = false;   // kept for the dataset; the cursor does not read it
  uint8_t Mode = 0;    // 2 = evaluated without narrowing by the filters before it

  void Activate() { Active = true; }
  void Deactivate() { Active = false; }
  // Takes a new condition (the previous one is freed) and recomputes Optimization.
  void SetExpression(std::unique_ptr<TCursorCondition> NewCondition);
  // Narrows Bitmap (the candidates) to the records that pass. Restart: run again.
  void Evaluate(bool& Restart);
  // Grows the bitmap to RecordNumber when needed, then sets or clears the record's bit.
  void TestRecord(uint32_t RecordNumber, const uint8_t* RecordBuffer);
  void ExcludeRecord(uint32_t RecordNumber);
};

using TFilterHandle = TFilter*;
constexpr int kMaxCursorFilters = 64;
