// Shared by the cursor's source files: the per-table change generation of this process and the
// scoped read and write brackets.
#pragma once

#include <cstdint>

#include "dbengine/storage/data_cursor.h"

uint64_t TableGeneration(const TDataTable* Table);
void BumpTableGeneration(const TDataTable* Table);

class TReadBracket {
 public:
  explicit TReadBracket(TDataCursor* Cursor) : FCursor(Cursor) { FCursor->BeginRead(); }
  ~TReadBracket() {
    try {
      FCursor->EndRead();
    } catch (...) {
    }
  }
  TReadBracket(const TReadBracket&) = delete;
  TReadBracket& operator=(const TReadBracket&) = delete;

 private:
  TDataCursor* FCursor;
};
