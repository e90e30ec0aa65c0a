// The query component's window on the SQL executor. Like the components' engine bridge it uses
// only plain types, so that the component's sources never see the engine's headers (which name
// things alike with the dataset framework at global scope).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TDataCursor;
class TDataDirectory;
class TSQLExecutor;

// One parameter value for the statement, already in the engine's form.
struct TQryParamValue {
  std::string Name;
  uint8_t Type = 0;     // engine data type (1 string, 3 BLOB, ...)
  uint8_t SubType = 0;  // engine subtype (21 money, 22.. BLOB kinds, 29 auto-increment)
  uint8_t Scale = 0;    // decimals of a BCD value
  bool Null = true;
  // Strings zero-terminated; numbers, dates and times as stored in a record; BLOBs their bytes.
  std::string Bytes;
};

// A statement on the database's directory.
TSQLExecutor* QryNewStatement(TDataDirectory* Directory);
// Frees the statement (and a live result cursor with it); never raises.
void QryFreeStatement(TSQLExecutor*& Statement);
void QrySetRequestLive(TSQLExecutor* Statement, bool Live);
void QrySetMaxRowCount(TSQLExecutor* Statement, int32_t N);
void QryPrepare(TSQLExecutor* Statement, const std::string& Text);
// Passes the values of the statement's parameters, in their order, as field descriptors over one
// value area (a has-value byte before each value).
void QrySetParams(TSQLExecutor* Statement, const std::vector<TQryParamValue>& Params);
// Called per row while the statement runs: (current record, percent done, abort flag).
void QrySetProgressHandler(TSQLExecutor* Statement, std::function<void(uint32_t, uint32_t, bool&)> Handler);

struct TQryResult {
  TDataCursor* Cursor = nullptr;       // nullptr: the statement yields no rows
  bool Live = false;                   // the source table's cursor, owned by the statement
  TDataDirectory* Directory = nullptr;  // a canned result's directory, released with the cursor
};
// Runs the prepared statement. A canned result cursor is handed over to the caller, who frees it
// with QryFreeResult.
TQryResult QryExecute(TSQLExecutor* Statement);
// Closes and frees a canned result (its temporary table goes with it); never raises.
void QryFreeResult(TQryResult& Result);
uint32_t QryRowsAffected(TSQLExecutor* Statement);
double QryExecutionTime(TSQLExecutor* Statement);
