#include "dbengine/storage/data_cursor_files.h"

#include "dbengine/storage/engine_errors.h"

TTableFileSet* TableFileAccess(TDataTable* Table) {
  TTableFileSet* A = Table != nullptr ? dynamic_cast<TTableFileSet*>(Table->Files) : nullptr;
  if (A == nullptr)
    RaiseEngineError(ecInvalidFileHandle, Table != nullptr ? Table->TableName : std::string());
  return A;
}
