// Engine error codes, their messages, and the exception the engine raises.
//
// Every failure inside the engine is a 16-bit code. RaiseEngineError fills the calling thread's
// error context with the names concerned and throws EVXDBEngineError, whose message is
// "VXDB Engine Error # <decimal code> <text>". The context is per thread so that two sessions on
// two threads never see each other's table names in their messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/sysutils.h"

// ---- Codes -------------------------------------------------------------------------------------
// Positioning and end of data
constexpr uint16_t ecBeginOfFile = 0x2201;
constexpr uint16_t ecEndOfFile = 0x2202;
constexpr uint16_t ecRecordChanged = 0x2204;
constexpr uint16_t ecNoCurrentRecord = 0x2205;
constexpr uint16_t ecRecordNotFound = 0x2206;
constexpr uint16_t ecEndOfBlob = 0x2207;
// Corrupt buffers
constexpr uint16_t ecHeaderCorrupt = 0x2301;
constexpr uint16_t ecRecordsCorrupt = 0x2302;
constexpr uint16_t ecBlobsCorrupt = 0x2303;
constexpr uint16_t ecIndexCorrupt = 0x2305;
// File input and output
constexpr uint16_t ecReadError = 0x2401;
constexpr uint16_t ecWriteError = 0x2402;
constexpr uint16_t ecCannotDelete = 0x2404;
constexpr uint16_t ecHeaderAccess = 0x2405;
// Limits
constexpr uint16_t ecRecordTooBig = 0x2505;
constexpr uint16_t ecTableFull = 0x2507;
constexpr uint16_t ecTooManyFilters = 0x250A;
constexpr uint16_t ecIndexLimit = 0x250F;
constexpr uint16_t ecFieldLimit = 0x2514;
constexpr uint16_t ecTooManyBlobs = 0x2516;
constexpr uint16_t ecBlobLimit = 0x251A;
// Field values and keys
constexpr uint16_t ecKeyViolation = 0x2601;
constexpr uint16_t ecBelowMinimum = 0x2602;
constexpr uint16_t ecAboveMaximum = 0x2603;
constexpr uint16_t ecRequiredField = 0x2604;
// Definitions and handles
constexpr uint16_t ecInvalidField = 0x2701;
constexpr uint16_t ecPrimaryExists = 0x2709;
constexpr uint16_t ecInvalidBlobOffset = 0x270E;
constexpr uint16_t ecInvalidFieldDef = 0x2710;
constexpr uint16_t ecInvalidValidity = 0x2716;
constexpr uint16_t ecIndexNameMissing = 0x271A;
constexpr uint16_t ecInvalidPassword = 0x271F;
constexpr uint16_t ecInvalidIndexName = 0x2726;
constexpr uint16_t ecInvalidIndexField = 0x2727;
constexpr uint16_t ecInvalidKeySize = 0x272A;
constexpr uint16_t ecIndexExists = 0x272B;
constexpr uint16_t ecInvalidBlobLength = 0x272D;
constexpr uint16_t ecInvalidBlobHandle = 0x272E;
constexpr uint16_t ecTableInUse = 0x272F;
constexpr uint16_t ecDuplicateFieldName = 0x2736;
constexpr uint16_t ecInvalidFilterHandle = 0x2742;
constexpr uint16_t ecFilterError = 0x2743;
constexpr uint16_t ecCannotDropPrimary = 0x2747;
// Locks
constexpr uint16_t ecTableLocked = 0x2801;
constexpr uint16_t ecCannotUnlock = 0x2802;
constexpr uint16_t ecLockFailure = 0x2809;
constexpr uint16_t ecNeedExclusive = 0x280D;
constexpr uint16_t ecRecordLocked = 0x2812;
// Rights
constexpr uint16_t ecNoRights = 0x2902;
// BLOB fields and engine state
constexpr uint16_t ecInvalidBlobField = 0x2A01;
constexpr uint16_t ecNotInitialized = 0x2A06;
// Operating system
constexpr uint16_t ecInvalidPath = 0x2B02;
constexpr uint16_t ecTooManyFiles = 0x2B04;
constexpr uint16_t ecAccessDenied = 0x2B05;
constexpr uint16_t ecInvalidFileHandle = 0x2B06;
constexpr uint16_t ecNoMemory = 0x2B08;
constexpr uint16_t ecInvalidMemoryLength = 0x2B09;
constexpr uint16_t ecDeviceAccess = 0x2B0F;
constexpr uint16_t ecTableMoved = 0x2B11;
constexpr uint16_t ecUnknownOSError = 0x2B27;
// Single codes
constexpr uint16_t ecSQLError = 0x2EAD;
constexpr uint16_t ecWrongVersion = 0x2F03;
constexpr uint16_t ecIndexFieldType = 0x3004;
constexpr uint16_t ecTableExists = 0x3304;
constexpr uint16_t ecNoLanguageDriver = 0x3E06;

// ---- Message table -----------------------------------------------------------------------------
// Which context name fills a '%s' place of a message.
enum class TErrorFill : uint8_t { Table, Field, Index, Message };

struct TEngineMessage {
  uint16_t Code;
  const char* Text;           // the message with its '%s' places
  uint8_t FillCount;          // number of '%s' places
  TErrorFill Fills[3];        // what fills them, in order
};

// The 65 known codes in ascending order.
const std::vector<TEngineMessage>& EngineMessages();
// The entry of a known code, nullptr for any other code.
const TEngineMessage* FindEngineMessage(uint16_t Code);
// Text used for codes outside the table; its one place takes the table name.
extern const char* const SUnknownEngineError;  // "Unknown error occurred with table '%S'"

// The message of Code filled with the given names (no context involved). At most 254 characters.
std::string FormatEngineMessage(uint16_t Code, const std::string& TableName, const std::string& FieldName,
                                const std::string& IndexName, const std::string& MessageText);

// ---- Error context (one per thread) -----------------------------------------------------------
struct TEngineErrorContext {
  uint16_t Code = 0;
  std::string TableName;   // each at most 255 characters
  std::string FieldName;
  std::string IndexName;
  std::string MessageText;
};

void SetEngineErrorContext(uint16_t Code, const std::string& TableName, const std::string& FieldName,
                           const std::string& IndexName, const std::string& MessageText);
void ClearEngineErrorContext();
// A copy of the calling thread's context.
TEngineErrorContext EngineErrorContext();
// The message of Code filled with the calling thread's context.
std::string EngineErrorMessage(uint16_t Code);

// ---- Exception ---------------------------------------------------------------------------------
struct TVXDBError {
  uint16_t Code = 0;
  std::string Text;  // message without the "VXDB Engine Error # n " prefix
};

class EVXDBEngineError : public Exception {
 public:
  // Builds its text from the calling thread's error context.
  explicit EVXDBEngineError(uint16_t Code);
  // Builds its text from the given names (the context is not consulted).
  EVXDBEngineError(uint16_t Code, const std::string& TableName, const std::string& FieldName,
                   const std::string& IndexName, const std::string& MessageText);
  std::string ClassName() const override { return "EVXDBEngineError"; }

  // Always one item when raised by the engine.
  std::vector<TVXDBError> Errors;
  // Code of the first item.
  uint16_t ErrorCode() const { return Errors.empty() ? 0 : Errors.front().Code; }
};

// Clears and fills the calling thread's context, then throws EVXDBEngineError. Names the message
// does not use may be left empty.
[[noreturn]] void RaiseEngineError(uint16_t Code, const std::string& TableName = std::string(),
                                   const std::string& FieldName = std::string(),
                                   const std::string& IndexName = std::string(),
                                   const std::string& MessageText = std::string());

// ---- Messages of the dataset component layer ----------------------------------------------------
// Resource ids 65184..65194 and 65207..65215.
constexpr int SAutoSessionActive = 65184;       // "Cannot perform this operation on the active auto-session."
constexpr int SAutoSessionExclusive = 65185;    // "The active auto-session can be the only active session."
constexpr int SAutoSessionExists = 65186;       // "This auto-session already exists."
constexpr int SHandleError = 65187;             // "Error creating table handle."
constexpr int SUnknownFieldType = 65188;        // "Field '%s' is of unknown type"
constexpr int SUnsupportedFieldType = 65189;    // "Field '%s' is of an unsupported type"
constexpr int SNoSQLStatement = 65190;          // "No SQL statement available"
constexpr int SNoParameterValue = 65191;        // "No value for parameter '%s'"
constexpr int SInTransaction = 65192;           // "Database %s already has an active transaction."
constexpr int SNotInTransaction = 65193;        // "Database %s has no active transaction."
constexpr int SNoTableName = 65194;             // "Missing table name."
constexpr int SDuplicateDatabaseName = 65207;   // "Database name %s already exists."
constexpr int SDuplicateSessionName = 65208;    // "Session name %s already exists."
constexpr int SInvalidSessionName = 65209;      // "Session name %s is not valid."
constexpr int SDatabaseNameMissing = 65210;     // "Database name is missing."
constexpr int SInvalidDatabaseName = 65211;     // "Database name %s is not valid."
constexpr int SSessionNameMissing = 65212;      // "Session name is missing."
constexpr int SDatabaseOpen = 65213;            // "Cannot perform this operation on an open database."
constexpr int SDatabaseClosed = 65214;          // "Cannot perform this operation on a closed database."
constexpr int SSessionActive = 65215;           // "Cannot perform this operation on an active session."

// The text of a component-layer message id; empty for any other id.
std::string ComponentMessage(int Id);
