// Field and index definitions, and the numbered component texts.
#include "platform/data/db.h"

const char* DBResourceText(int Id) {
  switch (Id) {
    case 65184: return SAutoSessionActive;
    case 65185: return SAutoSessionExclusive;
    case 65186: return SAutoSessionExists;
    case 65187: return SHandleError;
    case 65192: return SInTransaction;
    case 65193: return SNotInTransaction;
    case 65207: return SDuplicateDatabaseName;
    case 65208: return SDuplicateSessionName;
    case 65209: return SInvalidSessionName;
    case 65210: return SDatabaseNameMissing;
    case 65211: return SInvalidDatabaseName;
    case 65212: return SSessionNameMissing;
    case 65213: return SDatabaseOpen;
    case 65214: return SDatabaseClosed;
    case 65215: return SSessionActive;
    case 65232: return SFieldIndexError;
    case 65233: return SNotIndexField;
    case 65234: return SIndexFieldMissing;
    case 65241: return SNotEditing;
    case 65263: return SFieldReadOnly;
    default: return nullptr;
  }
}

void DatabaseError(const std::string& Message) { throw EDatabaseError(Message); }

void DatabaseErrorFmt(const char* Fmt, std::initializer_list<FormatArg> Args) { throw EDatabaseError(Format(Fmt, Args)); }

// ---- TDefCollection -----------------------------------------------------------------------------
int TDefCollection::IndexOf(const std::string& Name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(ItemName(i), Name)) return i;
  return -1;
}

void TDefCollection::Update(TCollectionItem* Item) {
  (void)Item;
  if (FDataSet) FDataSet->DefChanged(this);
}

// ---- Field definitions --------------------------------------------------------------------------
void TFieldDef::Assign(TPersistent* Source) {
  auto* d = dynamic_cast<TFieldDef*>(Source);
  if (!d) {
    TCollectionItem::Assign(Source);
    return;
  }
  Name = d->Name;
  DataType = d->DataType;
  Size = d->Size;
  Precision = d->Precision;
  Required = d->Required;
  FieldNo = d->FieldNo;
}

TField* TFieldDef::CreateField(TComponent* Owner) const {
  TFieldClass make = FieldClass();
  if (!make) DatabaseErrorFmt(SUnknownFieldType, {Name});
  auto* defs = static_cast<TFieldDefs*>(Collection());
  TField* f = make(Owner);
  try {
    f->SetFieldName(Name);
    switch (DataType) {
      case ftString: case ftFixedChar: case ftGuid: case ftBytes: case ftVarBytes: case ftBCD: f->SetSize(Size); break;
      default: break;
    }
    if (auto* bcd = dynamic_cast<TBCDField*>(f)) bcd->Precision = Precision;
    f->SetRequired(Required);
    if (defs && defs->DataSet()) f->SetDataSet(defs->DataSet());
  } catch (...) {
    delete f;
    throw;
  }
  return f;
}

TFieldDefs::TFieldDefs(TDataSet* ADataSet)
    : TDefCollection(ADataSet, [](TCollection* C) -> TCollectionItem* { return new TFieldDef(C); }) {}

TFieldDef* TFieldDefs::Add(const std::string& Name, TFieldType DataType, int Size, bool Required) {
  if (IndexOf(Name) >= 0) DatabaseErrorFmt(SDuplicateFieldName, {Name});
  TFieldDef* d = AddFieldDef();
  d->Name = Name;
  d->DataType = DataType;
  d->Size = Size;
  d->Required = Required;
  d->FieldNo = Count();
  return d;
}

TFieldDef* TFieldDefs::Find(const std::string& Name) const {
  int i = IndexOf(Name);
  if (i < 0) DatabaseErrorFmt(SFieldNotFound, {Name});
  return Items(i);
}

std::string TFieldDefs::UniqueName(const std::string& Name) const {
  std::string n = Name;
  for (int i = 1; IndexOf(n) >= 0; ++i) n = Format("%s_%d", {Name, i});
  return n;
}

void TFieldDefs::Update() {
  if (!Updated() && DataSet()) DataSet()->ReadFieldDefs();
}

// ---- Index definitions --------------------------------------------------------------------------
void TIndexDef::Assign(TPersistent* Source) {
  auto* d = dynamic_cast<TIndexDef*>(Source);
  if (!d) {
    TCollectionItem::Assign(Source);
    return;
  }
  Name = d->Name;
  Fields = d->Fields;
  Options = d->Options;
}

TIndexDefs::TIndexDefs(TDataSet* ADataSet)
    : TDefCollection(ADataSet, [](TCollection* C) -> TCollectionItem* { return new TIndexDef(C); }) {}

TIndexDef* TIndexDefs::Add(const std::string& Name, const std::string& Fields, TIndexOptions Options) {
  TIndexDef* d = AddIndexDef();
  d->Name = Name;
  d->Fields = Fields;
  d->Options = Options;
  return d;
}

TIndexDef* TIndexDefs::Find(const std::string& Name) const {
  int i = IndexOf(Name);
  if (i < 0) DatabaseErrorFmt(SIndexNotFound, {Name});
  return Items(i);
}

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& Fields, bool CaseInsensitive) const {
  std::size_t len = Fields.size();
  // First an index on exactly these fields, then one whose key begins with them.
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < Count(); ++i) {
      TIndexDef* d = Items(i);
      if (d->Options & (ixDescending | ixExpression)) continue;
      if (CaseInsensitive && !(d->Options & ixCaseInsensitive)) continue;
      if (pass == 0) {
        if (AnsiSameText(d->Fields, Fields)) return d;
      } else if (d->Fields.size() > len && d->Fields[len] == ';' && AnsiSameText(d->Fields.substr(0, len), Fields)) {
        return d;
      }
    }
  }
  return nullptr;
}

TIndexDef* TIndexDefs::FindIndexForFields(const std::string& Fields) const {
  TIndexDef* d = GetIndexForFields(Fields, false);
  if (!d) DatabaseErrorFmt(SNoIndexForFields, {Fields});
  return d;
}

void TIndexDefs::Update() {
  if (!Updated() && DataSet()) DataSet()->ReadIndexDefs();
}
