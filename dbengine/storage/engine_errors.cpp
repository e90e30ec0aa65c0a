#include "dbengine/storage/engine_errors.h"

#include <algorithm>

namespace {

using F = TErrorFill;

const std::vector<TEngineMessage> kMessages = {
    {0x2201, "Beginning of file encountered in table '%s'", 1, {F::Table}},
    {0x2202, "End of file encountered in table '%s'", 1, {F::Table}},
    {0x2204, "Record has been changed or deleted by another user, session, or table cursor in table '%s'", 1, {F::Table}},
    {0x2205, "No current record in table '%s'", 1, {F::Table}},
    {0x2206, "Record not found in table '%s'", 1, {F::Table}},
    {0x2207, "End of blob data in table '%s' reached prematurely", 1, {F::Table}},
    {0x2301, "Header information corrupt in table '%s'", 1, {F::Table}},
    {0x2302, "Data record buffers corrupt in table '%s'", 1, {F::Table}},
    {0x2303, "BLOB block buffers corrupt in table '%s'", 1, {F::Table}},
    {0x2305, "Index page buffers corrupt in table '%s'", 1, {F::Table}},
    {0x2401, "Error reading from table '%s'", 1, {F::Table}},
    {0x2402, "Error writing to table '%s'", 1, {F::Table}},
    {0x2404, "Cannot delete table '%s'", 1, {F::Table}},
    {0x2405, "Error accessing header information for table '%s'", 1, {F::Table}},
    {0x2505, "Maximum record size exceeded in table '%s'", 1, {F::Table}},
    {0x2507, "The table '%s' is full and cannot contain any more data", 1, {F::Table}},
    {0x250A, "Too many filters defined for table '%s'", 1, {F::Table}},
    {0x250F, "Maximum or minimum limits on number of indexes or fields in an index exceeded in table '%s'", 1, {F::Table}},
    {0x2514, "Maximum or minimum limits on number of fields, auto-increment field value, or field size exceeded in table '%s'", 1, {F::Table}},
    {0x2516, "Too many blobs opened in table '%s'", 1, {F::Table}},
    {0x251A, "Too many blob fields or invalid blob block size specified for table '%s'", 1, {F::Table}},
    {0x2601, "Duplicate key found in index '%s' of table '%s'", 2, {F::Index, F::Table}},
    {0x2602, "The value for the field '%s' in table '%s' is below the minimum allowable value", 2, {F::Field, F::Table}},
    {0x2603, "The value for the field '%s' in table '%s' is above the maximum allowable value", 2, {F::Field, F::Table}},
    {0x2604, "A value must be provided for the field '%s' in table '%s'", 2, {F::Field, F::Table}},
    {0x2701, "Invalid field number or name '%s' specified for table '%s'", 2, {F::Field, F::Table}},
    {0x2709, "A primary index is already defined for table '%s' and cannot be added again", 1, {F::Table}},
    {0x270E, "Invalid blob offset into table '%s' specified", 1, {F::Table}},
    {0x2710, "Invalid field definition specified for the field '%s' in table '%s'", 2, {F::Field, F::Table}},
    {0x2716, "Invalid default, min or max validity check, or expression specified for '%s' in table '%s'", 2, {F::Field, F::Table}},
    {0x271A, "The secondary index name is missing or not specified for table '%s'", 1, {F::Table}},
    {0x271F, "Password provided for table '%s' is invalid", 1, {F::Table}},
    {0x2726, "Invalid secondary index name '%s' specified for table '%s'", 2, {F::Index, F::Table}},
    {0x2727, "Invalid field number '%s' specified in index '%s' for table '%s'", 3, {F::Field, F::Index, F::Table}},
    {0x272A, "Invalid key size specified in index '%s' for table '%s'", 2, {F::Index, F::Table}},
    {0x272B, "The secondary index '%s' already exists for table '%s'", 2, {F::Index, F::Table}},
    {0x272D, "Invalid blob length in table '%s'", 1, {F::Table}},
    {0x272E, "Invalid blob handle for table '%s' specified", 1, {F::Table}},
    {0x272F, "table '%s' is already in use", 1, {F::Table}},
    {0x2736, "Invalid or duplicate field name '%s' specified for table '%s'", 2, {F::Field, F::Table}},
    {0x2742, "Invalid filter handle specified for table '%s'", 1, {F::Table}},
    {0x2743, "Filter error for table '%s' - %s", 2, {F::Table, F::Message}},
    {0x2747, "The primary index cannot be removed from table '%s'", 1, {F::Table}},
    {0x2801, "The table '%s' is already locked by another user", 1, {F::Table}},
    {0x2802, "Cannot unlock table or record in table '%s'", 1, {F::Table}},
    {0x2809, "General lock failure with table '%s'", 1, {F::Table}},
    {0x280D, "table '%s' must be opened exclusively", 1, {F::Table}},
    {0x2812, "Record in table '%s' is in use by another user", 1, {F::Table}},
    {0x2902, "Insufficient rights to table '%s', a password is required", 1, {F::Table}},
    {0x2A01, "Invalid blob field '%s' specified for table '%s'", 2, {F::Field, F::Table}},
    {0x2A06, "Engine not initialized", 0, {}},
    {0x2B02, "Invalid path or file name for table '%s'", 1, {F::Table}},
    {0x2B04, "Too many files open while attempting to open table '%s'", 1, {F::Table}},
    {0x2B05, "Access denied to table '%s'", 1, {F::Table}},
    {0x2B06, "Invalid file handle for table '%s'", 1, {F::Table}},
    {0x2B08, "There is insufficient operating system memory available for the current operation", 0, {}},
    {0x2B09, "Invalid length for in-memory table '%s'", 1, {F::Table}},
    {0x2B0F, "Access denied to logical operating system device for table '%s'", 1, {F::Table}},
    {0x2B11, "table '%s' has been moved", 1, {F::Table}},
    {0x2B27, "An unknown operating system error occurred with table '%s'", 1, {F::Table}},
    {0x2EAD, "SQL error - %s", 1, {F::Message}},
    {0x2F03, "table '%s' is not the correct version", 1, {F::Table}},
    {0x3004, "Invalid field type specified for index '%s' in table '%s'", 2, {F::Index, F::Table}},
    {0x3304, "The table '%s' already exists", 1, {F::Table}},
    {0x3E06, "The language driver for table '%s' is not available or installed", 1, {F::Table}},
};

const TEngineMessage kUnknown = {0, "Unknown error occurred with table '%S'", 1, {F::Table}};

constexpr size_t kMaxName = 255;
constexpr size_t kMaxMessage = 254;

std::string Cut(const std::string& S, size_t Max) { return S.size() > Max ? S.substr(0, Max) : S; }

// Fills the '%s' (or '%S') places of Text one after another. Inserted names are not scanned again,
// so a '%' inside a table name is kept as it is.
std::string Fill(const TEngineMessage& M, const std::string& Table, const std::string& Field,
                 const std::string& Index, const std::string& Message) {
  std::string Out;
  int Next = 0;
  for (const char* P = M.Text; *P; ++P) {
    if (P[0] == '%' && (P[1] == 's' || P[1] == 'S') && Next < M.FillCount) {
      switch (M.Fills[Next++]) {
        case F::Table: Out += Cut(Table, kMaxName); break;
        case F::Field: Out += Cut(Field, kMaxName); break;
        case F::Index: Out += Cut(Index, kMaxName); break;
        case F::Message: Out += Cut(Message, kMaxName); break;
      }
      ++P;
    } else {
      Out += *P;
    }
  }
  return Cut(Out, kMaxMessage);
}

thread_local TEngineErrorContext tContext;

const char* const kComponentTexts[] = {
    "Cannot perform this operation on the active auto-session.",
    "The active auto-session can be the only active session.",
    "This auto-session already exists.",
    "Error creating table handle.",
    "Field '%s' is of unknown type",
    "Field '%s' is of an unsupported type",
    "No SQL statement available",
    "No value for parameter '%s'",
    "Database %s already has an active transaction.",
    "Database %s has no active transaction.",
    "Missing table name.",
    "Database name %s already exists.",
    "Session name %s already exists.",
    "Session name %s is not valid.",
    "Database name is missing.",
    "Database name %s is not valid.",
    "Session name is missing.",
    "Cannot perform this operation on an open database.",
    "Cannot perform this operation on a closed database.",
    "Cannot perform this operation on an active session.",
};

std::string BuildExceptionText(uint16_t Code, const std::string& Text) {
  return "VXDB Engine Error # " + std::to_string(Code) + " " + Text;
}

}  // namespace

const char* const SUnknownEngineError = "Unknown error occurred with table '%S'";

const std::vector<TEngineMessage>& EngineMessages() { return kMessages; }

const TEngineMessage* FindEngineMessage(uint16_t Code) {
  auto It = std::lower_bound(kMessages.begin(), kMessages.end(), Code,
                             [](const TEngineMessage& M, uint16_t C) { return M.Code < C; });
  if (It == kMessages.end() || It->Code != Code) return nullptr;
  return &*It;
}

std::string FormatEngineMessage(uint16_t Code, const std::string& TableName, const std::string& FieldName,
                                const std::string& IndexName, const std::string& MessageText) {
  const TEngineMessage* M = FindEngineMessage(Code);
  return Fill(M ? *M : kUnknown, TableName, FieldName, IndexName, MessageText);
}

void SetEngineErrorContext(uint16_t Code, const std::string& TableName, const std::string& FieldName,
                           const std::string& IndexName, const std::string& MessageText) {
  tContext.Code = Code;
  tContext.TableName = Cut(TableName, kMaxName);
  tContext.FieldName = Cut(FieldName, kMaxName);
  tContext.IndexName = Cut(IndexName, kMaxName);
  tContext.MessageText = Cut(MessageText, kMaxName);
}

void ClearEngineErrorContext() { tContext = TEngineErrorContext(); }

TEngineErrorContext EngineErrorContext() { return tContext; }

std::string EngineErrorMessage(uint16_t Code) {
  return FormatEngineMessage(Code, tContext.TableName, tContext.FieldName, tContext.IndexName,
                             tContext.MessageText);
}

EVXDBEngineError::EVXDBEngineError(uint16_t Code)
    : EVXDBEngineError(Code, tContext.TableName, tContext.FieldName, tContext.IndexName, tContext.MessageText) {}

EVXDBEngineError::EVXDBEngineError(uint16_t Code, const std::string& TableName, const std::string& FieldName,
                                   const std::string& IndexName, const std::string& MessageText)
    : Exception(BuildExceptionText(Code, FormatEngineMessage(Code, TableName, FieldName, IndexName, MessageText))) {
  Errors.push_back(TVXDBError{Code, FormatEngineMessage(Code, TableName, FieldName, IndexName, MessageText)});
}

void RaiseEngineError(uint16_t Code, const std::string& TableName, const std::string& FieldName,
                      const std::string& IndexName, const std::string& MessageText) {
  ClearEngineErrorContext();
  SetEngineErrorContext(Code, TableName, FieldName, IndexName, MessageText);
  throw EVXDBEngineError(Code);
}

std::string ComponentMessage(int Id) {
  if (Id >= 65184 && Id <= 65194) return kComponentTexts[Id - 65184];
  if (Id >= 65207 && Id <= 65215) return kComponentTexts[11 + (Id - 65207)];
  return std::string();
}
