// Filter objects of a cursor and the registration point of the expression compiler.
#include "dbengine/storage/cursor_filters.h"

#include <atomic>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/index_page.h"
#include "dbengine/storage/records_bitmap.h"

namespace {
std::atomic<TCursorExpressionCompiler*> GCompiler{nullptr};
}

void SetCursorExpressionCompiler(TCursorExpressionCompiler* Compiler) {
  GCompiler.store(Compiler);
}

TCursorExpressionCompiler* CursorExpressionCompiler() {
  return GCompiler.load();
}

TFilter::TFilter(TDataCursor* C, TFilterCallback CB, void* Data, bool Opt, bool Last,
                 std::unique_ptr<TCursorCondition> Cond)
    : Cursor(C), EvaluateLast(Last), Optimise(Opt) {
  if (CB) {
    IsCallback = true;
    Callback = std::move(CB);
    CallbackData = Data;
    Optimization = 0;
  } else {
    Condition = std::move(Cond);
    Optimization = Condition ? Condition->Optimization() : 0;
  }
  Bitmap = GetRecordsBitmap();
}

TFilter::~TFilter() {
  PutRecordsBitmap(Bitmap);
}

void TFilter::SetExpression(std::unique_ptr<TCursorCondition> NewCondition) {
  Condition = std::move(NewCondition);
  Optimization = Condition ? Condition->Optimization() : 0;
}

void TFilter::Evaluate(bool& Restart) {
  Restart = false;
  if (!Active) return;
  if (IsCallback) {
    bool Aborted = false;
    Cursor->FilterBitmap(
        *Bitmap, [this](const uint8_t* Record, uint32_t RecordNo) { return Callback(CallbackData, Record, RecordNo); },
        Aborted, 10);
    Restart = Aborted;
    return;
  }
  if (!Condition) return;
  try {
    Restart = !Condition->Evaluate(*Cursor, *Bitmap, Optimise);
  } catch (const EIndexChanged&) {
    Restart = true;
  }
}

void TFilter::TestRecord(uint32_t RecordNumber, const uint8_t* RecordBuffer) {
  const int32_t N = static_cast<int32_t>(RecordNumber);
  if (N < 1) return;
  if (N > Bitmap->RecordCount) Bitmap->SetRecordCount(N);
  Bitmap->SetBit(N);
  bool Pass = true;
  if (IsCallback)
    Pass = Callback(CallbackData, RecordBuffer, RecordNumber);
  else if (Condition)
    Pass = Condition->TestRecord(*Cursor, RecordBuffer);
  if (!Pass) Bitmap->ClearBit(N);
}

void TFilter::ExcludeRecord(uint32_t RecordNumber) {
  const int32_t N = static_cast<int32_t>(RecordNumber);
  if (N >= 1 && N <= Bitmap->RecordCount) Bitmap->ClearBit(N);
}
