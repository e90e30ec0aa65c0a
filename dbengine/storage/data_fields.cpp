#include "dbengine/storage/data_fields.h"

#include <cmath>
#include <cstring>
#include <set>

#include "dbengine/storage/collation.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_decimal.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/engine_keys.h"
#include "dbengine/storage/table_file_owner.h"
#include "platform/core/datetime.h"
#include "platform/core/sysutils.h"

namespace {

// Days from 0001-01-01 (day 1) to 1899-12-30 (TDateTime 0).
constexpr int32_t kDateDelta = 693594;

}  // namespace

bool IsValidFieldValueText(const std::string& S, uint8_t Type) {
  if (S.empty()) return true;
  switch (Type) {
    case ftBoolean: return IsValidBooleanText(S);
    case ftWord: return IsValidWordText(S);
    case ftSmallInt: return IsValidSmallIntText(S);
    case ftInteger: return IsValidIntegerText(S);
    case ftFloat: return IsValidFloatText(S);
    case ftBCD: return IsValidCurrencyText(S);
    case ftDate: return SameText(S, "DATE") || IsValidDateText(S);
    case ftTime: return SameText(S, "TIME") || IsValidTimeText(S);
    case ftTimeStamp:
      return SameText(S, "NOW") || SameText(S, "DATE") || SameText(S, "TIME") || IsValidDateText(S) ||
             IsValidDateTimeText(S) || IsValidTimeText(S);
    default: return true;
  }
}

namespace {

const uint8_t* ValuePtr(const uint8_t* Desc, const uint8_t* Record) {
  return IsAutoIncField(Desc) ? Record + 5 : Record + FieldDescOffset(Desc) + 1;
}

template <class T>
T Load(const uint8_t* P) {
  T V;
  std::memcpy(&V, P, sizeof(T));
  return V;
}

template <class T>
int Compare3(T A, T B) {
  return A < B ? -1 : (A > B ? 1 : 0);
}

int64_t TextToCurrency(const std::string& S) { return static_cast<int64_t>(std::llround(StrToFloat(S) * 10000.0)); }

}  // namespace

// ---- Small helpers ----

// The table files' little-endian and short-string helpers under the names the field code uses.
std::string GetShortString(const uint8_t* P, int MaxLength) { return LoadShortString(P, MaxLength); }
void SetShortString(uint8_t* P, int MaxLength, const std::string& S) { StoreShortString(P, MaxLength, S); }
uint16_t GetU16(const uint8_t* P) { return LoadU16(P); }
void SetU16(uint8_t* P, uint16_t V) { StoreU16(P, V); }
uint32_t GetU32(const uint8_t* P) { return LoadU32(P); }
void SetU32(uint8_t* P, uint32_t V) { StoreU32(P, V); }

TTableFormatScope::TTableFormatScope(uint16_t Language) {
  LockFormatSettings();
  FSaved = FormatSettings;
  FormatSettings = LocaleFormat(Language);
}

TTableFormatScope::~TTableFormatScope() {
  FormatSettings = FSaved;
  UnlockFormatSettings();
}

// ---- Definition checks ----

int CheckFieldDefinitions(const std::string& TableName, uint16_t Language, uint16_t /*Sort*/,
                          std::vector<std::array<uint8_t, 768>>& Fields, bool AssignOffsets, bool LiveResult) {
  TTableFormatScope Scope(Language);
  int Offset = 9;
  std::set<std::string> Names;
  std::set<int> Numbers;
  for (auto& F : Fields) {
    uint8_t* D = F.data();
    std::string Name = Trim(GetShortString(D + kFieldDescNameOffset, 255));
    if (Name.empty() || !IsIdentStartChar(Name[0]) || Name.size() > 30 ||
        !Names.insert(AnsiUpperCase(Name)).second)
      RaiseEngineError(ecDuplicateFieldName, TableName, Name);
    SetShortString(D + kFieldDescNameOffset, 30, Name);
    int Number = GetU16(D + kFieldDescNumberOffset);
    uint8_t Type = D[kFieldDescTypeOffset];
    if (!Numbers.insert(Number).second || Type == 0) RaiseEngineError(ecInvalidFieldDef, TableName, Name);
    if (Type == ftString || Type == ftBytes || Type == 15) {
      if (D[kFieldDescDeclaredSizeOffset] > kMaxStringSize) RaiseEngineError(ecInvalidFieldDef, TableName, Name);
    } else {
      D[kFieldDescDeclaredSizeOffset] = 0;
    }
    for (int Off : {kFieldDescDefaultOffset, kFieldDescMinimumOffset, kFieldDescMaximumOffset})
      if (!IsValidFieldValueText(GetShortString(D + Off, 50), Type)) RaiseEngineError(ecInvalidValidity, TableName, Name);
    if (Type != ftBCD) D[kFieldDescDeclaredScaleOffset] = 0;
    SetFieldStorageSize(D);
    D[kFieldDescDataScaleOffset] = D[kFieldDescDeclaredScaleOffset];
    if (!LiveResult) D[kFieldDescCalculatedOffset] = 0;
    if (D[kFieldDescCalculatedOffset] == 0) {
      bool AutoInc = IsAutoIncField(D);
      if (AssignOffsets) SetU16(D + kFieldDescRecordOffset, static_cast<uint16_t>(AutoInc ? 5 : Offset));
      if (!AutoInc) Offset += D[kFieldDescDataSizeOffset] + 1;
    }
  }
  return Offset;
}

void CheckIndexDefinitions(const std::string& TableName, std::vector<std::array<uint8_t, 120>>& Indexes,
                           const std::vector<std::array<uint8_t, 768>>& Fields, bool AllowNoPrimaryKey,
                           bool StopAtUndefinedPrimaryField) {
  auto FieldByNumber = [&](int Number) -> const uint8_t* {
    for (const auto& F : Fields)
      if (GetU16(F.data() + kFieldDescNumberOffset) == Number) return F.data();
    return nullptr;
  };
  std::set<std::string> Names;
  for (size_t I = 0; I < Indexes.size(); ++I) {
    uint8_t* D = Indexes[I].data();
    std::string Name;
    if (I == 0) {
      SetShortString(D + kIndexDescNameOffset, 30, "");
      D[kIndexDescUniqueOffset] = 1;
    } else {
      Name = AnsiUpperCase(Trim(GetShortString(D + kIndexDescNameOffset, 30)));
      if (Name.empty() || !IsIdentStartChar(Name[0])) RaiseEngineError(ecInvalidIndexName, TableName, "", Name);
      if (!Names.insert(Name).second) RaiseEngineError(ecIndexExists, TableName, "", Name);
      SetShortString(D + kIndexDescNameOffset, 30, Name);
    }
    int KeySize = 0;
    int Count = 0;
    for (; Count < 16; ++Count) {
      int Number = GetU16(D + kIndexDescFieldNumbersOffset + 2 * Count);
      if (Number == 0) break;
      const uint8_t* F = FieldByNumber(Number);
      if (F == nullptr) {
        if (I == 0 && StopAtUndefinedPrimaryField) break;
        RaiseEngineError(ecInvalidIndexField, TableName, "", Name, IntToStr(Number));
      }
      if (F[kFieldDescTypeOffset] == ftBlob) RaiseEngineError(ecIndexFieldType, TableName, "", Name);
      KeySize += F[kFieldDescDataSizeOffset] + 1;
    }
    for (int J = Count; J < 16; ++J) SetU16(D + kIndexDescFieldNumbersOffset + 2 * J, 0);
    if (D[kIndexDescUniqueOffset] == 0) KeySize += 4;
    if (KeySize > kMaxKeyBytes) RaiseEngineError(ecInvalidKeySize, TableName, "", Name);
    if (Count == 0 && !(I == 0 && AllowNoPrimaryKey)) RaiseEngineError(ecInvalidKeySize, TableName, "", Name);
    D[kIndexDescFieldCountOffset] = static_cast<uint8_t>(Count);
    SetU16(D + kIndexDescKeyLengthOffset, static_cast<uint16_t>(Count == 0 ? 0 : KeySize));
    std::memset(D + kIndexDescReservedOffset, 0, 8);
  }
}

void CheckTableDefinition(const std::string& TableName, TTableDefinition& Definition, bool LiveResult,
                          bool AllowNoPrimaryKey) {
  if (Definition.Encrypted) {
    std::string P = Trim(Definition.Password);
    if (P.empty() || P.size() >= 16) RaiseEngineError(ecInvalidPassword, TableName);
  }
  if (Definition.LanguageID != 0) CheckLanguageAvailable(Definition.LanguageID, TableName);
  if (Definition.Fields.size() > static_cast<size_t>(kMaxTableFields)) RaiseEngineError(ecFieldLimit, TableName);
  // The index file holds the primary index and 30 secondary ones; more would be lost.
  if (Definition.Indexes.size() > static_cast<size_t>(kMaxTableIndexes)) RaiseEngineError(ecIndexLimit, TableName);
  if (Definition.BlobBlockSize < 64) RaiseEngineError(ecBlobLimit, TableName);
  CheckFieldDefinitions(TableName, Definition.LanguageID, Definition.SortID, Definition.Fields, true, LiveResult);
  CheckIndexDefinitions(TableName, Definition.Indexes, Definition.Fields, AllowNoPrimaryKey);
}

// ---- Values ----

void GetFieldValue(const uint8_t* Desc, const uint8_t* Record, bool& IsBlank, void* Dest,
                   const TOpenBlobSize& BlobSize) {
  uint8_t Type = Desc[kFieldDescTypeOffset];
  int Size = FieldDescDataSize(Desc);
  bool NotNull;
  if (IsAutoIncField(Desc)) {
    NotNull = true;
    Size = 4;
  } else if (Type == ftBlob) {
    int32_t Link = Load<int32_t>(Record + FieldDescOffset(Desc) + 1);
    Size = 4;
    int64_t Open = (Link < 0 && BlobSize) ? BlobSize(Link) : -1;
    if (Link < 0)
      NotNull = Open < 0 ? true : Open > 0;
    else
      NotNull = Record[FieldDescOffset(Desc)] != 0;
  } else {
    NotNull = Record[FieldDescOffset(Desc)] != 0;
  }
  IsBlank = !NotNull;
  if (Dest != nullptr) {
    std::memset(Dest, 0, static_cast<size_t>(Size));
    std::memcpy(Dest, ValuePtr(Desc, Record), static_cast<size_t>(Size));
  }
}

void PutFieldValue(const uint8_t* Desc, uint8_t* Record, const void* Source, bool Internal, uint16_t Language,
                   uint16_t Sort, const TOpenBlobSize& BlobSize) {
  if (Desc[kFieldDescCalculatedOffset] != 0 && !Internal) return;
  uint8_t Type = Desc[kFieldDescTypeOffset];
  int Size = FieldDescDataSize(Desc);
  if (IsAutoIncField(Desc)) {
    if (Source != nullptr) std::memcpy(Record + 5, Source, 4);
    return;
  }
  uint8_t* Slot = Record + FieldDescOffset(Desc);
  if (Source == nullptr) {
    Slot[0] = 0;
    std::memset(Slot + 1, 0, static_cast<size_t>(Type == ftBlob ? 4 : Size));
    return;
  }
  switch (Type) {
    case ftString: {
      char Area[252] = {};
      // The source is a string of at most the field's size; it may end sooner, and nothing past
      // its end may be read.
      const size_t Most = static_cast<size_t>(Size > 251 ? 251 : (Size > 0 ? Size : 0));
      std::memcpy(Area, Source, strnlen(static_cast<const char*>(Source), Most));
      Area[Size > 0 ? Size - 1 : 0] = 0;
      size_t Len = std::strlen(Area);
      while (Len > 0 && Area[Len - 1] == ' ') Area[--Len] = 0;
      uint8_t Case = Desc[kFieldDescCharCaseOffset];
      if (Case == 1) LocaleLowerCase(Language, Sort, Area, Area);
      if (Case == 2) LocaleUpperCase(Language, Sort, Area, Area);
      std::memset(Slot + 1, 0, static_cast<size_t>(Size));
      std::memcpy(Slot + 1, Area, std::strlen(Area));
      Slot[0] = Area[0] != 0 ? 1 : 0;
      break;
    }
    case ftBlob: {
      int32_t Link = Load<int32_t>(static_cast<const uint8_t*>(Source));
      std::memcpy(Slot + 1, &Link, 4);
      bool Value = Link > 0;
      if (Link < 0 && BlobSize) Value = BlobSize(Link) > 0;
      Slot[0] = Value ? 1 : 0;
      break;
    }
    case ftBoolean: {
      uint16_t V = Load<uint16_t>(static_cast<const uint8_t*>(Source)) != 0 ? 1 : 0;
      std::memcpy(Slot + 1, &V, 2);
      Slot[0] = 1;
      break;
    }
    default:
      std::memcpy(Slot + 1, Source, static_cast<size_t>(Size));
      Slot[0] = 1;
      break;
  }
}

int32_t DateToRecordDate(TDateTime D) { return static_cast<int32_t>(std::floor(D)) + kDateDelta; }
TDateTime RecordDateToDate(int32_t Days) { return static_cast<TDateTime>(Days - kDateDelta); }
int32_t TimeToRecordTime(TDateTime T) {
  double Frac = std::fabs(T - std::trunc(T));
  return static_cast<int32_t>(std::llround(Frac * MSecsPerDay));
}
double DateTimeToRecordTimeStamp(TDateTime DT) {
  return static_cast<double>(DateToRecordDate(DT)) * MSecsPerDay + TimeToRecordTime(DT);
}
TDateTime RecordTimeStampToDateTime(double Ms) {
  double Days = std::floor(Ms / MSecsPerDay);
  double Time = (Ms - Days * MSecsPerDay) / MSecsPerDay;
  return Days - kDateDelta + Time;
}

namespace {

// The value of a limit or default text in the field's storage form; false when it does not convert.
bool TextToFieldValue(const uint8_t* Desc, const std::string& Text, uint8_t* Value, TDateTime Now,
                      bool Keywords) {
  uint8_t Type = Desc[kFieldDescTypeOffset];
  try {
    switch (Type) {
      case ftString: {
        std::string S = Text.substr(0, 250);
        std::memcpy(Value, S.data(), S.size());
        return true;
      }
      case ftDate: {
        TDateTime D = (Keywords && SameText(Text, "DATE")) ? Now : StrToDate(Text);
        int32_t V = DateToRecordDate(D);
        std::memcpy(Value, &V, 4);
        return true;
      }
      case ftTime: {
        TDateTime T = (Keywords && SameText(Text, "TIME")) ? Now : StrToTime(Text);
        int32_t V = TimeToRecordTime(T);
        std::memcpy(Value, &V, 4);
        return true;
      }
      case ftTimeStamp: {
        TDateTime DT;
        if (Keywords && SameText(Text, "NOW"))
          DT = Now;
        else if (Keywords && SameText(Text, "DATE"))
          DT = std::floor(Now);
        else if (Keywords && SameText(Text, "TIME"))
          DT = Now - std::floor(Now);
        else
          DT = StrToDateTime(Text);
        double V = DateTimeToRecordTimeStamp(DT);
        std::memcpy(Value, &V, 8);
        return true;
      }
      case ftBoolean: {
        uint16_t V = TextToBool(Text) ? 1 : 0;
        std::memcpy(Value, &V, 2);
        return true;
      }
      case ftSmallInt: {
        int16_t V = static_cast<int16_t>(StrToInt(Text));
        std::memcpy(Value, &V, 2);
        return true;
      }
      case ftWord: {
        uint16_t V = static_cast<uint16_t>(StrToInt(Text));
        std::memcpy(Value, &V, 2);
        return true;
      }
      case ftInteger: {
        int32_t V = StrToInt(Text);
        std::memcpy(Value, &V, 4);
        return true;
      }
      case ftFloat: {
        double V = StrToFloat(Text);
        std::memcpy(Value, &V, 8);
        return true;
      }
      case ftBCD: {
        int64_t V = CurrToEngineBCD(Desc[kFieldDescDataScaleOffset], TextToCurrency(Text));
        std::memcpy(Value, &V, 8);
        return true;
      }
      default: return false;
    }
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace

void ApplyFieldDefaults(const std::vector<const uint8_t*>& Fields, uint8_t* Record, uint16_t Language,
                        uint16_t Sort, TDateTime Now) {
  TTableFormatScope Scope(Language);
  for (const uint8_t* D : Fields) {
    std::string Text = GetShortString(D + kFieldDescDefaultOffset, 50);
    if (Text.empty() || IsAutoIncField(D) || D[kFieldDescCalculatedOffset] != 0) continue;
    uint8_t Value[256] = {};
    if (!TextToFieldValue(D, Text, Value, Now, true)) continue;
    PutFieldValue(D, Record, Value, true, Language, Sort);
  }
}

bool CheckFieldLimit(const uint8_t* Desc, const uint8_t* Record, const std::string& Limit, bool IsMinimum,
                     uint16_t Language, uint16_t Sort) {
  uint8_t Type = Desc[kFieldDescTypeOffset];
  if (Type == ftBoolean || Type == ftBlob || Type == ftBytes) return true;
  uint8_t L[256] = {};
  if (!TextToFieldValue(Desc, Limit, L, 0, false)) return true;
  const uint8_t* V = ValuePtr(Desc, Record);
  int C;
  switch (Type) {
    case ftString: {
      char A[252] = {}, B[252] = {};
      std::memcpy(A, V, static_cast<size_t>(FieldDescDataSize(Desc) > 251 ? 251 : FieldDescDataSize(Desc)));
      std::memcpy(B, L, 251);
      C = Language == 0 ? Compare3(std::strcmp(A, B), 0)
                        : CollateStrings(Language, Sort, A, static_cast<int>(std::strlen(A)), B,
                                         static_cast<int>(std::strlen(B)), kCompareIgnoreNonSpace);
      break;
    }
    case ftDate:
    case ftTime:
    case ftInteger: C = Compare3(Load<int32_t>(V), Load<int32_t>(L)); break;
    case ftSmallInt: C = Compare3(Load<int16_t>(V), Load<int16_t>(L)); break;
    case ftWord: C = Compare3(Load<uint16_t>(V), Load<uint16_t>(L)); break;
    case ftFloat:
    case ftTimeStamp: C = Compare3(Load<double>(V), Load<double>(L)); break;
    case ftBCD: C = Compare3(EngineBCDToCurr(Load<int64_t>(V)), EngineBCDToCurr(Load<int64_t>(L))); break;
    default: return true;
  }
  return IsMinimum ? C >= 0 : C <= 0;
}

void ValidateRecord(const std::string& TableName, const std::vector<const uint8_t*>& Fields, const uint8_t* Record,
                    uint16_t Language, uint16_t Sort) {
  TTableFormatScope Scope(Language);
  for (const uint8_t* D : Fields) {
    if (D[kFieldDescCalculatedOffset] != 0) continue;
    bool Required = D[kFieldDescRequiredOffset] != 0;
    std::string Min = GetShortString(D + kFieldDescMinimumOffset, 50);
    std::string Max = GetShortString(D + kFieldDescMaximumOffset, 50);
    if (!Required && Min.empty() && Max.empty()) continue;
    bool Blank;
    GetFieldValue(D, Record, Blank, nullptr);
    std::string Name = FieldDescName(D);
    if (Required && Blank) RaiseEngineError(ecRequiredField, TableName, Name);
    // A field without a value has nothing to compare with its limits.
    if (Blank) continue;
    if (!Min.empty() && !CheckFieldLimit(D, Record, Min, true, Language, Sort))
      RaiseEngineError(ecBelowMinimum, TableName, Name);
    if (!Max.empty() && !CheckFieldLimit(D, Record, Max, false, Language, Sort))
      RaiseEngineError(ecAboveMaximum, TableName, Name);
  }
}

// ---- Keys ----

void BuildRecordKey(const uint8_t* IndexDesc, const std::function<const uint8_t*(int)>& FieldByNumber,
                    const uint8_t* Record, uint8_t* Key, uint16_t Language, uint16_t Sort) {
  int KeyLength = GetU16(IndexDesc + kIndexDescKeyLengthOffset);
  std::memset(Key, 0, static_cast<size_t>(KeyLength));
  bool IndexDescending = IndexDesc[kIndexDescDescendingOffset] != 0;
  bool CaseInsensitive = IndexDesc[kIndexDescCaseInsensitiveOffset] != 0;
  int Count = IndexDesc[kIndexDescFieldCountOffset];
  int Pos = 0;
  for (int I = 0; I < Count; ++I) {
    const uint8_t* F = FieldByNumber(GetU16(IndexDesc + kIndexDescFieldNumbersOffset + 2 * I));
    if (F == nullptr) RaiseEngineError(ecIndexCorrupt);
    int Size = FieldDescDataSize(F);
    bool FieldDescending = IndexDesc[kIndexDescFieldDescendingOffset + I] != 0 && !IndexDescending;
    bool Blank;
    GetFieldValue(F, Record, Blank, nullptr);
    if (!Blank) {
      Key[Pos] = 1;
      BuildIndexKey(F, ValuePtr(F, Record), Key, Pos, Sort, Language, FieldDescending, CaseInsensitive);
    } else if (FieldDescending && Language == 0) {
      InvertKeyBytes(Key + Pos, Size + 1);
    }
    Pos += Size + 1;
  }
  if (IndexDesc[kIndexDescUniqueOffset] == 0 && Pos + 4 <= KeyLength)
    EncodeIntegerKey(static_cast<int32_t>(GetU32(Record + 5)), Key + Pos);
}

void BuildStatusKey(const uint8_t* Record, uint8_t* Key) {
  Key[0] = Record[0];
  EncodeIntegerKey(static_cast<int32_t>(GetU32(Record + 5)), Key + 1);
}

int KeyPrefixLength(const uint8_t* IndexDesc, const std::function<const uint8_t*(int)>& FieldByNumber,
                    int FieldCount) {
  int Pos = 0;
  int Count = IndexDesc[kIndexDescFieldCountOffset];
  for (int I = 0; I < Count && I < FieldCount; ++I) {
    const uint8_t* F = FieldByNumber(GetU16(IndexDesc + kIndexDescFieldNumbersOffset + 2 * I));
    if (F != nullptr) Pos += FieldDescDataSize(F) + 1;
  }
  return Pos;
}
