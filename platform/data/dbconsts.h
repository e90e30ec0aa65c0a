// Texts of the database errors raised by the dataset framework and by the dataset components
// built on it. The numbered ones are the component texts with their resource ids.
#pragma once

// Dataset framework.
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SNoIndexForFields = "No index for fields '%s'";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SFieldTypeMismatch = "Field '%s' cannot be used as %s";
inline constexpr const char* SFieldRangeError = "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* SNotABoolean = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* SNoBlobAccess = "Field '%s' has no BLOB access in this dataset";
inline constexpr const char* SFieldNoDataSet = "Field '%s' has no dataset";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";

// Session and database components (65184-65215).
inline constexpr const char* SAutoSessionActive = "Cannot perform this operation on the active auto-session.";  // 65184
inline constexpr const char* SAutoSessionExclusive = "The active auto-session can be the only active session.";  // 65185
inline constexpr const char* SAutoSessionExists = "This auto-session already exists.";  // 65186
inline constexpr const char* SHandleError = "Error creating table handle.";  // 65187
inline constexpr const char* SInTransaction = "Database %s already has an active transaction.";  // 65192
inline constexpr const char* SNotInTransaction = "Database %s has no active transaction.";  // 65193
inline constexpr const char* SDuplicateDatabaseName = "Database name %s already exists.";  // 65207
inline constexpr const char* SDuplicateSessionName = "Session name %s already exists.";  // 65208
inline constexpr const char* SInvalidSessionName = "Session name %s is not valid.";  // 65209
inline constexpr const char* SDatabaseNameMissing = "Database name is missing.";  // 65210
inline constexpr const char* SInvalidDatabaseName = "Database name %s is not valid.";  // 65211
inline constexpr const char* SSessionNameMissing = "Session name is missing.";  // 65212
inline constexpr const char* SDatabaseOpen = "Cannot perform this operation on an open database.";  // 65213
inline constexpr const char* SDatabaseClosed = "Cannot perform this operation on a closed database.";  // 65214
inline constexpr const char* SSessionActive = "Cannot perform this operation on an active session.";  // 65215

// Dataset components (65232-65263).
inline constexpr const char* SFieldIndexError = "Field index out of range";  // 65232
inline constexpr const char* SNotIndexField = "Field '%s' is not indexed and cannot be modified";  // 65233
inline constexpr const char* SIndexFieldMissing = "Cannot access index field '%s'";  // 65234
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";  // 65241
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";  // 65263

// Table and query components.
inline constexpr const char* SNoTableName = "Missing table name.";
inline constexpr const char* SNoFieldsForMemoryTable =
    "You must define at least one field before you can open an in-memory table at design-time";
inline constexpr const char* SParameterNotFound = "Parameter '%s' not found";
inline constexpr const char* SEmptySQLStatement = "No SQL statement available";
inline constexpr const char* SParameterNoValue = "No value for parameter '%s'";
inline constexpr const char* SUnknownFieldType = "Field '%s' is of unknown type";
inline constexpr const char* SUnsupportedFieldType = "Field '%s' is of an unsupported type";
inline constexpr const char* SParamTooBig = "Parameter '%s', cannot save data larger than %d bytes";
inline constexpr const char* SBadParamData = "Unable to load bind parameters";

// The text of a numbered component message; nullptr for an id without one.
const char* DBResourceText(int Id);
