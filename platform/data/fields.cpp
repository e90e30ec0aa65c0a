// Field objects: the typed view of one column of the dataset's current record.
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/core/datetime.h"
#include "platform/data/db.h"

// ---- TField -------------------------------------------------------------------------------------
TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
  if (FDataSet) FDataSet->FFields.Remove(this);
}

void TField::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  if (FDataSet) FDataSet->CheckInactive();
  if (Value) Value->CheckInactive();
  if (FDataSet) FDataSet->FFields.Remove(this);
  if (Value) Value->FFields.Add(this);
}

void TField::SetFieldName(const std::string& Value) {
  if (FDataSet) {
    FDataSet->CheckInactive();
    TField* other = FDataSet->FindField(Value);
    if (other && other != this) DatabaseErrorFmt(SDuplicateFieldName, {Value});
  }
  FFieldName = Value;
}

void TField::SetFieldKind(TFieldKind Value) {
  if (FDataSet) FDataSet->CheckInactive();
  FFieldKind = Value;
}

void TField::SetSize(int Value) {
  if (FDataSet) FDataSet->CheckInactive();
  FSize = Value;
}

int TField::Index() const { return FDataSet ? FDataSet->FFields.IndexOf(this) : -1; }

bool TField::CanModify() const {
  return !FReadOnly && FDataSet && FDataSet->Active() && FDataSet->CanModify();
}

bool TField::GetData(void* Buffer, bool NativeFormat) const {
  if (!FDataSet) DatabaseErrorFmt(SFieldNoDataSet, {DisplayName()});
  int size = DataSize();
  if (FValidating) {
    // Inside OnValidate the field shows the value about to be stored.
    if (!FValueBuffer) return false;
    if (Buffer) {
      if (NativeFormat) std::memcpy(Buffer, FValueBuffer, static_cast<std::size_t>(size));
      else FDataSet->DataConvert(const_cast<TField*>(this), FValueBuffer, Buffer, false);
    }
    return true;
  }
  if (NativeFormat || !Buffer) return FDataSet->GetFieldData(const_cast<TField*>(this), Buffer);
  std::vector<uint8_t> native(static_cast<std::size_t>(size > 0 ? size : 1));
  if (!FDataSet->GetFieldData(const_cast<TField*>(this), native.data())) return false;
  FDataSet->DataConvert(const_cast<TField*>(this), native.data(), Buffer, false);
  return true;
}

void TField::SetData(const void* Buffer, bool NativeFormat) {
  if (!FDataSet) DatabaseErrorFmt(SFieldNoDataSet, {DisplayName()});
  if (NativeFormat || !Buffer) {
    FDataSet->SetFieldData(this, Buffer);
    return;
  }
  std::vector<uint8_t> native(static_cast<std::size_t>(DataSize() > 0 ? DataSize() : 1));
  FDataSet->DataConvert(this, Buffer, native.data(), true);
  FDataSet->SetFieldData(this, native.data());
}

bool TField::IsNull() const { return !GetData(nullptr); }

void TField::Validate(const void* Buffer) {
  if (!OnValidate) return;
  FValueBuffer = Buffer;
  FValidating = true;
  try {
    OnValidate(this);
  } catch (...) {
    FValidating = false;
    FValueBuffer = nullptr;
    throw;
  }
  FValidating = false;
  FValueBuffer = nullptr;
}

void TField::Change() {
  if (OnChange) OnChange(this);
}

void TField::AccessError(const char* TypeName) const { DatabaseErrorFmt(SFieldTypeMismatch, {DisplayName(), TypeName}); }

std::string TField::AsString() const { AccessError("String"); }
void TField::SetAsString(const std::string&) { AccessError("String"); }
int32_t TField::AsInteger() const { AccessError("Integer"); }
void TField::SetAsInteger(int32_t) { AccessError("Integer"); }
double TField::AsFloat() const { AccessError("Float"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
Currency TField::AsCurrency() const { return Currency::FromDouble(AsFloat()); }
void TField::SetAsCurrency(Currency Value) { SetAsFloat(Value.ToDouble()); }
bool TField::AsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
TDateTime TField::AsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }
Variant TField::AsVariant() const { AccessError("Variant"); }

void TField::SetAsVariant(const Variant& Value) {
  switch (Value.VType()) {
    case varEmpty:
    case varNull: Clear(); break;
    case varSmallint:
    case varInteger: SetAsInteger(Value.AsInteger()); break;
    case varDouble: SetAsFloat(Value.AsFloat()); break;
    case varCurrency: SetAsCurrency(Value.AsCurrency()); break;
    case varDate: SetAsDateTime(Value.AsDateTime()); break;
    case varString: SetAsString(Value.AsString()); break;
    case varBoolean: SetAsBoolean(Value.AsBoolean()); break;
    case varArray: AccessError("Array");
  }
}

Variant TField::OldValue() const { return FDataSet->GetStateFieldValue(dsOldValue, const_cast<TField*>(this)); }
Variant TField::NewValue() const { return FDataSet->GetStateFieldValue(dsNewValue, const_cast<TField*>(this)); }
void TField::SetNewValue(const Variant& V) { FDataSet->SetStateFieldValue(dsNewValue, this, V); }

// ---- Strings ------------------------------------------------------------------------------------
TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftString);
  SetSize(20);
}

std::string TStringField::AsString() const {
  std::vector<char> buf(static_cast<std::size_t>(DataSize()) + 1, '\0');
  if (!GetData(buf.data())) return std::string();
  // The text ends at its zero byte, and never beyond the field's size.
  std::size_t n = strnlen(buf.data(), static_cast<std::size_t>(Size()));
  return std::string(buf.data(), n);
}

void TStringField::SetAsString(const std::string& Value) {
  std::vector<char> buf(static_cast<std::size_t>(DataSize()), '\0');
  std::memcpy(buf.data(), Value.data(), std::min(Value.size(), static_cast<std::size_t>(Size())));
  SetData(buf.data());
}

bool TStringField::AsBoolean() const {
  std::string s = AsString();
  return !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y');
}

Variant TStringField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant(AsString());
}

// ---- Integers -----------------------------------------------------------------------------------
TIntegerField::TIntegerField(TComponent* AOwner)
    : TField(AOwner), FMinRange(std::numeric_limits<int32_t>::min()), FMaxRange(std::numeric_limits<int32_t>::max()) {
  SetDataType(ftInteger);
}

TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftSmallint);
  FMinRange = -32768;
  FMaxRange = 32767;
}

TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftWord);
  FMinRange = 0;
  FMaxRange = 65535;
}

TAutoIncField::TAutoIncField(TComponent* AOwner) : TIntegerField(AOwner) { SetDataType(ftAutoInc); }

int32_t TIntegerField::AsInteger() const {
  switch (DataType()) {
    case ftSmallint: {
      int16_t v = 0;
      return GetData(&v) ? v : 0;
    }
    case ftWord: {
      uint16_t v = 0;
      return GetData(&v) ? v : 0;
    }
    default: {
      int32_t v = 0;
      return GetData(&v) ? v : 0;
    }
  }
}

void TIntegerField::SetAsInteger(int32_t Value) {
  if (Value < FMinRange || Value > FMaxRange)
    DatabaseErrorFmt(SFieldRangeError, {IntToStr(Value), DisplayName(), IntToStr(FMinRange), IntToStr(FMaxRange)});
  switch (DataType()) {
    case ftSmallint: {
      int16_t v = static_cast<int16_t>(Value);
      SetData(&v);
      break;
    }
    case ftWord: {
      uint16_t v = static_cast<uint16_t>(Value);
      SetData(&v);
      break;
    }
    default: SetData(&Value);
  }
}

void TIntegerField::SetAsFloat(double Value) {
  if (!std::isfinite(Value) || Value < FMinRange - 0.5 || Value > FMaxRange + 0.5)
    DatabaseErrorFmt(SFieldRangeError, {FloatToStr(Value), DisplayName(), IntToStr(FMinRange), IntToStr(FMaxRange)});
  SetAsInteger(static_cast<int32_t>(Round(Value)));
}

std::string TIntegerField::AsString() const { return IsNull() ? std::string() : IntToStr(AsInteger()); }

void TIntegerField::SetAsString(const std::string& Value) {
  if (Value.empty()) {
    Clear();
    return;
  }
  int64_t v = StrToInt64(Value);
  if (v < FMinRange || v > FMaxRange)
    DatabaseErrorFmt(SFieldRangeError, {Value, DisplayName(), IntToStr(FMinRange), IntToStr(FMaxRange)});
  SetAsInteger(static_cast<int32_t>(v));
}

Variant TIntegerField::AsVariant() const { return IsNull() ? Variant::Null() : Variant(static_cast<int>(AsInteger())); }

Variant TSmallintField::AsVariant() const {
  return IsNull() ? Variant::Null() : Variant::Smallint(static_cast<int16_t>(AsInteger()));
}

// ---- Floating point -----------------------------------------------------------------------------
TFloatField::TFloatField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftFloat); }

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner) {
  SetDataType(ftCurrency);
  FCurrency = true;
}

double TFloatField::AsFloat() const {
  double v = 0;
  return GetData(&v) ? v : 0;
}

void TFloatField::SetAsFloat(double Value) {
  if (!std::isfinite(Value)) DatabaseErrorFmt(SFieldTypeMismatch, {DisplayName(), "a finite number"});
  SetData(&Value);
}

int32_t TFloatField::AsInteger() const {
  double v = AsFloat();
  if (!(v >= -2147483648.5 && v < 2147483647.5)) throw EOverflow("Integer overflow");
  return static_cast<int32_t>(Round(v));
}

std::string TFloatField::AsString() const {
  double v = 0;
  if (!GetData(&v)) return std::string();
  return FloatToStrF(v, ffGeneral, Precision, 0);
}

void TFloatField::SetAsString(const std::string& Value) {
  if (Value.empty()) Clear();
  else SetAsFloat(StrToFloat(Value));
}

Variant TFloatField::AsVariant() const { return IsNull() ? Variant::Null() : Variant(AsFloat()); }

Variant TCurrencyField::AsVariant() const { return IsNull() ? Variant::Null() : Variant(AsCurrency()); }

// ---- BCD ----------------------------------------------------------------------------------------
TBCDField::TBCDField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftBCD);
  SetSize(4);
}

Currency TBCDField::AsCurrency() const {
  Currency c;
  return GetData(&c, false) ? c : Currency();
}

void TBCDField::SetAsCurrency(Currency Value) { SetData(&Value, false); }

int32_t TBCDField::AsInteger() const {
  Currency c = AsCurrency();
  int64_t whole = c.Raw / 10000;
  int64_t rest = c.Raw % 10000;
  // Halves away from zero, as a decimal value is read.
  if (rest >= 5000) ++whole;
  if (rest <= -5000) --whole;
  if (whole < std::numeric_limits<int32_t>::min() || whole > std::numeric_limits<int32_t>::max())
    throw EOverflow("Integer overflow");
  return static_cast<int32_t>(whole);
}

std::string TBCDField::AsString() const {
  Currency c;
  if (!GetData(&c, false)) return std::string();
  return CurrToStr(c);
}

void TBCDField::SetAsString(const std::string& Value) {
  if (Value.empty()) Clear();
  else SetAsCurrency(StrToCurr(Value));
}

Variant TBCDField::AsVariant() const { return IsNull() ? Variant::Null() : Variant(AsCurrency()); }

// ---- Boolean ------------------------------------------------------------------------------------
TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBoolean); }

bool TBooleanField::AsBoolean() const {
  int16_t v = 0;
  return GetData(&v) && v != 0;
}

void TBooleanField::SetAsBoolean(bool Value) {
  int16_t v = Value ? 1 : 0;
  SetData(&v);
}

std::string TBooleanField::AsString() const {
  int16_t v = 0;
  if (!GetData(&v)) return std::string();
  return v ? "True" : "False";
}

void TBooleanField::SetAsString(const std::string& Value) {
  std::string t = Trim(Value);
  if (t.empty()) Clear();
  else if (AnsiSameText(t, "True")) SetAsBoolean(true);
  else if (AnsiSameText(t, "False")) SetAsBoolean(false);
  else DatabaseErrorFmt(SNotABoolean, {Value, DisplayName()});
}

Variant TBooleanField::AsVariant() const { return IsNull() ? Variant::Null() : Variant(AsBoolean()); }

// ---- Dates and times ----------------------------------------------------------------------------
TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftDateTime); }
TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftDate); }
TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftTime); }

TDateTime TDateTimeField::AsDateTime() const {
  TDateTime d = 0;
  return GetData(&d, false) ? d : 0;
}

void TDateTimeField::SetAsDateTime(TDateTime Value) { SetData(&Value, false); }

std::string TDateTimeField::AsString() const {
  TDateTime d = 0;
  if (!GetData(&d, false)) return std::string();
  switch (DataType()) {
    case ftDate: return DateToStr(d);
    case ftTime: return TimeToStr(d);
    default: return DateTimeToStr(d);
  }
}

void TDateTimeField::SetAsString(const std::string& Value) {
  if (Value.empty()) {
    Clear();
    return;
  }
  switch (DataType()) {
    case ftDate: SetAsDateTime(StrToDate(Value)); break;
    case ftTime: SetAsDateTime(StrToTime(Value)); break;
    default: SetAsDateTime(StrToDateTime(Value)); break;
  }
}

Variant TDateTimeField::AsVariant() const { return IsNull() ? Variant::Null() : Variant::Date(AsDateTime()); }

// ---- Bytes --------------------------------------------------------------------------------------
TBytesField::TBytesField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftBytes);
  SetSize(16);
}

TVarBytesField::TVarBytesField(TComponent* AOwner) : TBytesField(AOwner) { SetDataType(ftVarBytes); }

std::string TBytesField::AsString() const {
  std::string buf(static_cast<std::size_t>(DataSize()), '\0');
  if (!GetData(buf.data())) return std::string();
  return buf;
}

void TBytesField::SetAsString(const std::string& Value) {
  std::string buf(static_cast<std::size_t>(DataSize()), '\0');
  std::memcpy(buf.data(), Value.data(), std::min(Value.size(), buf.size()));
  SetData(buf.data());
}

Variant TBytesField::AsVariant() const { return IsNull() ? Variant::Null() : Variant(AsString()); }

std::string TVarBytesField::AsString() const {
  std::string buf(static_cast<std::size_t>(DataSize()), '\0');
  if (!GetData(buf.data())) return std::string();
  uint16_t len;
  std::memcpy(&len, buf.data(), 2);
  // A stored length beyond the field's size is not trusted.
  std::size_t n = std::min<std::size_t>(len, static_cast<std::size_t>(Size()));
  return buf.substr(2, n);
}

void TVarBytesField::SetAsString(const std::string& Value) {
  std::string buf(static_cast<std::size_t>(DataSize()), '\0');
  uint16_t len = static_cast<uint16_t>(std::min(Value.size(), static_cast<std::size_t>(Size())));
  std::memcpy(buf.data(), &len, 2);
  std::memcpy(buf.data() + 2, Value.data(), len);
  SetData(buf.data());
}

// ---- BLOBs --------------------------------------------------------------------------------------
TBlobField::TBlobField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBlob); }
TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner) { SetBlobType(ftMemo); }
TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner) { SetBlobType(ftGraphic); }
TFmtMemoField::TFmtMemoField(TComponent* AOwner) : TBlobField(AOwner) { SetBlobType(ftFmtMemo); }
TTypedBinaryField::TTypedBinaryField(TComponent* AOwner) : TBlobField(AOwner) { SetBlobType(ftTypedBinary); }

namespace {
std::unique_ptr<TStream> OpenBlob(const TBlobField* Field, TBlobStreamMode Mode) {
  if (!Field->DataSet()) DatabaseErrorFmt(SFieldNoDataSet, {Field->DisplayName()});
  std::unique_ptr<TStream> s(Field->DataSet()->CreateBlobStream(const_cast<TBlobField*>(Field), Mode));
  if (!s) DatabaseErrorFmt(SNoBlobAccess, {Field->DisplayName()});
  return s;
}
}  // namespace

std::string TBlobField::AsString() const {
  auto s = OpenBlob(this, bmRead);
  s->Seek(0, soFromBeginning);
  return s->ReadString(s->Size());
}

void TBlobField::SetAsString(const std::string& Value) {
  auto s = OpenBlob(this, bmWrite);
  s->WriteString(Value);
}

void TBlobField::Clear() { OpenBlob(this, bmWrite); }

void TBlobField::LoadFromStream(TStream* Stream) {
  auto s = OpenBlob(this, bmWrite);
  Stream->Seek(0, soFromBeginning);
  s->CopyFrom(Stream, 0);
}

void TBlobField::SaveToStream(TStream* Stream) const {
  auto s = OpenBlob(this, bmRead);
  s->Seek(0, soFromBeginning);
  int64_t n = s->Size();
  if (n > 0) Stream->CopyFrom(s.get(), n);
}

int64_t TBlobField::BlobSize() const { return OpenBlob(this, bmRead)->Size(); }

Variant TBlobField::AsVariant() const { return IsNull() ? Variant::Null() : Variant(AsString()); }

// ---- Field classes ------------------------------------------------------------------------------
namespace {
template <class T>
TField* Make(TComponent* Owner) {
  return new T(Owner);
}

TField* MakeBlobOf(TComponent* Owner, TFieldType T) {
  auto* f = new TBlobField(Owner);
  f->SetBlobType(T);
  return f;
}
}  // namespace

TFieldClass DefaultFieldClass(TFieldType T) {
  switch (T) {
    case ftString: case ftFixedChar: case ftGuid: return &Make<TStringField>;
    case ftSmallint: return &Make<TSmallintField>;
    case ftInteger: return &Make<TIntegerField>;
    case ftWord: return &Make<TWordField>;
    case ftAutoInc: return &Make<TAutoIncField>;
    case ftBoolean: return &Make<TBooleanField>;
    case ftFloat: return &Make<TFloatField>;
    case ftCurrency: return &Make<TCurrencyField>;
    case ftBCD: return &Make<TBCDField>;
    case ftDate: return &Make<TDateField>;
    case ftTime: return &Make<TTimeField>;
    case ftDateTime: return &Make<TDateTimeField>;
    case ftBytes: return &Make<TBytesField>;
    case ftVarBytes: return &Make<TVarBytesField>;
    case ftBlob: return &Make<TBlobField>;
    case ftMemo: return &Make<TMemoField>;
    case ftGraphic: return &Make<TGraphicField>;
    case ftFmtMemo: return &Make<TFmtMemoField>;
    case ftTypedBinary: return &Make<TTypedBinaryField>;
    case ftParadoxOle: return [](TComponent* O) { return MakeBlobOf(O, ftParadoxOle); };
    case ftDBaseOle: return [](TComponent* O) { return MakeBlobOf(O, ftDBaseOle); };
    case ftOraBlob: return [](TComponent* O) { return MakeBlobOf(O, ftOraBlob); };
    case ftOraClob: return [](TComponent* O) { return MakeBlobOf(O, ftOraClob); };
    default: return nullptr;
  }
}

bool IsBlobType(TFieldType T) {
  return (T >= ftBlob && T <= ftTypedBinary) || T == ftOraBlob || T == ftOraClob;
}

std::string FieldTypeName(TFieldType T) {
  static const char* const Names[] = {
      "Unknown", "String", "Smallint", "Integer", "Word", "Boolean", "Float", "Currency", "BCD", "Date", "Time",
      "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic", "FmtMemo", "ParadoxOle", "DBaseOle",
      "TypedBinary", "Cursor", "FixedChar", "WideString", "Largeint", "ADT", "Array", "Reference", "DataSet",
      "OraBlob", "OraClob", "Variant", "Interface", "IDispatch", "Guid"};
  auto i = static_cast<std::size_t>(T);
  return i < sizeof(Names) / sizeof(Names[0]) ? Names[i] : "Unknown";
}

// ---- TFields ------------------------------------------------------------------------------------
TField* TFields::Fields(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", {Index}));
  return FList[static_cast<std::size_t>(Index)];
}

int TFields::IndexOf(const TField* Field) const {
  for (std::size_t i = 0; i < FList.size(); ++i)
    if (FList[i] == Field) return static_cast<int>(i);
  return -1;
}

TField* TFields::FindField(const std::string& FieldName) const {
  for (TField* f : FList)
    if (AnsiSameText(f->FieldName(), FieldName)) return f;
  return nullptr;
}

TField* TFields::FieldByName(const std::string& FieldName) const {
  TField* f = FindField(FieldName);
  if (!f) DatabaseErrorFmt(SFieldNotFound, {FieldName});
  return f;
}

TField* TFields::FieldByNumber(int FieldNo) const {
  for (TField* f : FList)
    if (f->FieldNo() == FieldNo) return f;
  return nullptr;
}

void TFields::Add(TField* Field) {
  if (!Field->FieldName().empty() && FindField(Field->FieldName()))
    DatabaseErrorFmt(SDuplicateFieldName, {Field->FieldName()});
  FList.push_back(Field);
  Field->FDataSet = FDataSet;
}

void TFields::Remove(TField* Field) {
  int i = IndexOf(Field);
  if (i < 0) return;
  FList.erase(FList.begin() + i);
  Field->FDataSet = nullptr;
}

void TFields::Clear() {
  while (!FList.empty()) {
    TField* f = FList.back();
    FList.pop_back();
    f->FDataSet = nullptr;
    delete f;
  }
}
