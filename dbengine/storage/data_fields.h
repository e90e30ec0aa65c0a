// Field and index definitions and field values in record buffers: the checks that complete a
// table definition before anything is created (names, types, sizes, limit and default texts,
// record offsets, key layouts), reading and writing one field of a record buffer, the defaults of
// a new record, the required/minimum/maximum checks and the keys of a record.
//
// Descriptors are the 768-byte field and 120-byte index descriptors, the same in memory and on
// disk. A record buffer is the 9-byte record prefix (status, record number or free link, row
// number) followed by one slot per field: a not-null byte and the field's value; an
// auto-increment field has no slot, its value is the row number at offset 5.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dbengine/storage/data_table.h"
#include "dbengine/storage/engine_keys.h"
#include "dbengine/storage/index_descriptor.h"
#include "platform/core/sysutils.h"
#include "platform/core/types.h"

// Field descriptor offsets (beside the type and size offsets of the key encoders).
constexpr int kFieldDescriptorSize = 768;
constexpr int kFieldDescNumberOffset = 0;        // u16
constexpr int kFieldDescNameOffset = 2;          // string[30]
constexpr int kFieldDescDescriptionOffset = 33;  // string[50]
constexpr int kFieldDescSubTypeOffset = 85;
constexpr int kFieldDescRecordOffset = 90;       // u16
constexpr int kFieldDescRequiredOffset = 92;
constexpr int kFieldDescCharCaseOffset = 93;
constexpr int kFieldDescMinimumOffset = 94;      // string[50]
constexpr int kFieldDescMaximumOffset = 145;     // string[50]
constexpr int kFieldDescDefaultOffset = 196;     // string[50]
constexpr int kFieldDescCalculatedOffset = 247;
constexpr int kFieldDescCalcTagOffset = 248;     // u32, set with the calculated flag
constexpr int kFieldDescHiddenOffset = 252;
constexpr int kFieldDescKeyDescendingOffset = 253;
constexpr int kFieldDescQualifiedOffset = 254;   // string[100]
constexpr uint8_t kSubTypeAutoInc = 29;
constexpr uint8_t kSubTypeMoney = 21;
constexpr uint8_t ftVarBytes = 15;

constexpr int kMaxTableFields = 1024;
// Descriptors the index file holds: the primary index and 30 secondary ones.
constexpr int kMaxTableIndexes = 31;
constexpr int kMaxKeyBytes = 524;
constexpr int kMaxStringSize = 250;

// Short strings in descriptors (length byte, then the characters).
std::string GetShortString(const uint8_t* P, int MaxLength);
void SetShortString(uint8_t* P, int MaxLength, const std::string& S);
uint16_t GetU16(const uint8_t* P);
void SetU16(uint8_t* P, uint16_t V);
uint32_t GetU32(const uint8_t* P);
void SetU32(uint8_t* P, uint32_t V);

inline bool IsAutoIncField(const uint8_t* D) {
  return D[kFieldDescTypeOffset] == ftInteger && D[kFieldDescSubTypeOffset] == kSubTypeAutoInc;
}
inline std::string FieldDescName(const uint8_t* D) { return GetShortString(D + kFieldDescNameOffset, 30); }
inline uint16_t FieldDescOffset(const uint8_t* D) { return GetU16(D + kFieldDescRecordOffset); }
inline int FieldDescDataSize(const uint8_t* D) { return D[kFieldDescDataSizeOffset]; }

// A field descriptor as the data file holds it, with named accessors over the offsets above. It is
// plain bytes, so a std::array<uint8_t, 768> of a table definition can be viewed as one.
struct TFieldDescriptor {
  uint8_t Bytes[kFieldDescriptorSize] = {};

  uint8_t* Data() { return Bytes; }
  const uint8_t* Data() const { return Bytes; }
  uint16_t Number() const { return GetU16(Bytes + kFieldDescNumberOffset); }
  void SetNumber(uint16_t V) { SetU16(Bytes + kFieldDescNumberOffset, V); }
  std::string Name() const { return FieldDescName(Bytes); }
  void SetName(const std::string& S) { SetShortString(Bytes + kFieldDescNameOffset, 30, S); }
  std::string Description() const { return GetShortString(Bytes + kFieldDescDescriptionOffset, 50); }
  uint8_t Type() const { return Bytes[kFieldDescTypeOffset]; }
  uint8_t SubType() const { return Bytes[kFieldDescSubTypeOffset]; }
  uint8_t Size() const { return Bytes[kFieldDescDeclaredSizeOffset]; }
  uint8_t Scale() const { return Bytes[kFieldDescDeclaredScaleOffset]; }
  uint8_t DataSize() const { return Bytes[kFieldDescDataSizeOffset]; }
  uint16_t Offset() const { return FieldDescOffset(Bytes); }
  void SetOffset(uint16_t V) { SetU16(Bytes + kFieldDescRecordOffset, V); }
  bool Required() const { return Bytes[kFieldDescRequiredOffset] != 0; }
  uint8_t CharCase() const { return Bytes[kFieldDescCharCaseOffset]; }
  std::string Minimum() const { return GetShortString(Bytes + kFieldDescMinimumOffset, 50); }
  std::string Maximum() const { return GetShortString(Bytes + kFieldDescMaximumOffset, 50); }
  std::string Default() const { return GetShortString(Bytes + kFieldDescDefaultOffset, 50); }
  bool Calculated() const { return Bytes[kFieldDescCalculatedOffset] != 0; }
  bool Hidden() const { return Bytes[kFieldDescHiddenOffset] != 0; }
  bool KeyDescending() const { return Bytes[kFieldDescKeyDescendingOffset] != 0; }
  bool IsAutoInc() const { return IsAutoIncField(Bytes); }
  // Fields that take room of their own in a stored record.
  bool HasSlot() const { return !IsAutoInc() && !Calculated(); }
};
static_assert(sizeof(TFieldDescriptor) == kFieldDescriptorSize, "descriptors are stored as they are in memory");

// True when Text is a valid minimum, maximum or default of a field of type Type under the current
// format settings (an empty text and types without a rule pass; "DATE", "TIME" and "NOW" where
// the type takes them).
bool IsValidFieldValueText(const std::string& Text, uint8_t Type);

// Installs the number and date formats of a table's language for the lifetime of the object,
// holding the engine's format-settings lock.
class TTableFormatScope {
 public:
  explicit TTableFormatScope(uint16_t Language);
  ~TTableFormatScope();
  TTableFormatScope(const TTableFormatScope&) = delete;
  TTableFormatScope& operator=(const TTableFormatScope&) = delete;

 private:
  TFormatSettings FSaved;
};

// ---- Definition checks (raise engine errors naming TableName) ----
// Completes the field descriptors: trimmed names, sizes, scales, physical sizes and, with
// AssignOffsets, record offsets. Returns the record size.
int CheckFieldDefinitions(const std::string& TableName, uint16_t Language, uint16_t Sort,
                          std::vector<std::array<uint8_t, 768>>& Fields, bool AssignOffsets, bool LiveResult);
// Completes the index descriptors (names, key lengths, field counts) against the fields.
// StopAtUndefinedPrimaryField lets the primary index's field list end at the first undefined
// field number instead of failing.
void CheckIndexDefinitions(const std::string& TableName, std::vector<std::array<uint8_t, 120>>& Indexes,
                           const std::vector<std::array<uint8_t, 768>>& Fields, bool AllowNoPrimaryKey,
                           bool StopAtUndefinedPrimaryField = false);
// The whole definition: password, language, limits, then the field and index checks.
void CheckTableDefinition(const std::string& TableName, TTableDefinition& Definition, bool LiveResult,
                          bool AllowNoPrimaryKey);

// ---- Values in record buffers ----
// The size of an open BLOB that a negative link names, or -1 when the link names none.
using TOpenBlobSize = std::function<int64_t(int32_t Link)>;

// Reads a field: IsBlank, and when Dest is given its value (storage size bytes; the 4-byte link of
// a BLOB field; the row number of an auto-increment field).
void GetFieldValue(const uint8_t* Desc, const uint8_t* Record, bool& IsBlank, void* Dest,
                   const TOpenBlobSize& BlobSize = nullptr);
// Writes a field; Source nullptr sets it null. Strings lose trailing blanks, take the field's
// character case and are null when empty; booleans are stored as 0/1. Calculated fields are
// skipped unless Internal.
void PutFieldValue(const uint8_t* Desc, uint8_t* Record, const void* Source, bool Internal, uint16_t Language,
                   uint16_t Sort, const TOpenBlobSize& BlobSize = nullptr);

// Date and time values as records keep them.
int32_t DateToRecordDate(TDateTime D);       // day number, 0001-01-01 = 1
TDateTime RecordDateToDate(int32_t Days);
int32_t TimeToRecordTime(TDateTime T);       // milliseconds since midnight
double DateTimeToRecordTimeStamp(TDateTime DT);  // milliseconds since 0001-01-01 00:00 minus one day
TDateTime RecordTimeStampToDateTime(double Ms);

// Stores the default of every field that has one (NOW, DATE and TIME taken from Now).
void ApplyFieldDefaults(const std::vector<const uint8_t*>& Fields, uint8_t* Record, uint16_t Language,
                        uint16_t Sort, TDateTime Now);
// True when the field's value lies on the right side of Limit (IsMinimum: value >= Limit).
bool CheckFieldLimit(const uint8_t* Desc, const uint8_t* Record, const std::string& Limit, bool IsMinimum,
                     uint16_t Language, uint16_t Sort);
// Required, minimum and maximum checks, in field order: 0x2604, 0x2602, 0x2603. Limits apply only to
// fields that have a value.
void ValidateRecord(const std::string& TableName, const std::vector<const uint8_t*>& Fields, const uint8_t* Record,
                    uint16_t Language, uint16_t Sort);

// ---- Keys ----
// The key of a record for an index (KeyLength bytes, zero-filled first). FieldByNumber gives the
// descriptor of a field number. The row number follows when the index is not unique.
void BuildRecordKey(const uint8_t* IndexDesc, const std::function<const uint8_t*(int)>& FieldByNumber,
                    const uint8_t* Record, uint8_t* Key, uint16_t Language, uint16_t Sort);
// Key of the "Sys Deleted" index: status byte and row number.
void BuildStatusKey(const uint8_t* Record, uint8_t* Key);
// Bytes of the first FieldCount key fields (null byte and value each).
int KeyPrefixLength(const uint8_t* IndexDesc, const std::function<const uint8_t*(int)>& FieldByNumber,
                    int FieldCount);
