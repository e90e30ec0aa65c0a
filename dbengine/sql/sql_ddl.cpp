// The table statements: CREATE TABLE, CREATE INDEX, DROP TABLE and DROP INDEX on the table that the
// statement names (in the statement's database, the in-memory database, or a path).
#include <cstring>

#include "dbengine/sql/expr_values.h"
#include "dbengine/sql/sql_plan.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "platform/core/sysutils.h"

namespace {

std::string Cut(const std::string& S, size_t N) { return S.size() > N ? S.substr(0, N) : S; }

// The field descriptor of a column definition (number and record offset are set later).
std::array<uint8_t, 768> FieldDescOf(const TCreateField& F) {
  std::array<uint8_t, 768> D{};
  SetU16(D.data() + kFieldDescNumberOffset, F.FieldNo);
  SetShortString(D.data() + kFieldDescNameOffset, 30, Cut(Trim(F.Name), 30));
  SetShortString(D.data() + kFieldDescDescriptionOffset, 50, Cut(F.Description, 50));
  D[kFieldDescTypeOffset] = F.DataType;
  D[kFieldDescSubTypeOffset] = F.SubType;
  if (F.DataType == ftString || F.DataType == ftBytes)
    D[kFieldDescDeclaredSizeOffset] = static_cast<uint8_t>(std::min<uint32_t>(F.Size, 255));
  if (F.DataType == ftBCD) D[kFieldDescDeclaredScaleOffset] = F.Scale;
  // BLOB(n, kind): the kind (1 memo .. 7) is the BLOB subtype.
  if (F.DataType == ftBlob && F.Scale >= 1 && F.Scale <= 7) D[kFieldDescSubTypeOffset] = static_cast<uint8_t>(21 + F.Scale);
  D[kFieldDescRequiredOffset] = F.NotNull ? 1 : 0;
  D[kFieldDescCharCaseOffset] = F.CharCase;
  SetShortString(D.data() + kFieldDescDefaultOffset, 50, Cut(F.DefaultText, 50));
  SetShortString(D.data() + kFieldDescMinimumOffset, 50, Cut(F.MinText, 50));
  SetShortString(D.data() + kFieldDescMaximumOffset, 50, Cut(F.MaxText, 50));
  return D;
}

// A redefinition keeps every attribute of the old column that the new definition does not give.
void Redefine(std::array<uint8_t, 768>& D, const TCreateField& F) {
  if (!Trim(F.Name).empty()) SetShortString(D.data() + kFieldDescNameOffset, 30, Cut(Trim(F.Name), 30));
  if (F.DataType != 0) {
    D[kFieldDescTypeOffset] = F.DataType;
    D[kFieldDescSubTypeOffset] = F.SubType;
    D[kFieldDescDeclaredSizeOffset] =
        F.DataType == ftString || F.DataType == ftBytes ? static_cast<uint8_t>(std::min<uint32_t>(F.Size, 255)) : 0;
    D[kFieldDescDeclaredScaleOffset] = F.DataType == ftBCD ? F.Scale : 0;
  }
  if (F.DescriptionGiven) SetShortString(D.data() + kFieldDescDescriptionOffset, 50, Cut(F.Description, 50));
  if (F.NotNullGiven) D[kFieldDescRequiredOffset] = F.NotNull ? 1 : 0;
  if (F.CharCaseGiven) D[kFieldDescCharCaseOffset] = F.CharCase;
  if (F.DefaultGiven) SetShortString(D.data() + kFieldDescDefaultOffset, 50, Cut(F.DefaultText, 50));
  if (F.MinGiven) SetShortString(D.data() + kFieldDescMinimumOffset, 50, Cut(F.MinText, 50));
  if (F.MaxGiven) SetShortString(D.data() + kFieldDescMaximumOffset, 50, Cut(F.MaxText, 50));
}

int FindField(const std::vector<std::array<uint8_t, 768>>& Fields, const std::string& Name) {
  for (size_t I = 0; I < Fields.size(); ++I)
    if (SameText(Trim(FieldDescName(Fields[I].data())), Trim(Name))) return static_cast<int>(I);
  return -1;
}

}  // namespace

void TQueryPlan::PrepareDDL() {
  if (Runs.empty()) SQLFail("Table name expected");
}

TDataCursor* TQueryPlan::TargetCursor(bool Exclusive) {
  TSourceRun& R = *Runs.front();
  auto* C = new TDataCursor(R.Directory);
  C->SetTableName(R.Source->TableName);
  C->SetInMemory(R.Source->Memory != 0);
  C->SetExclusive(Exclusive);
  return C;
}

void TQueryPlan::ExecuteDDL() {
  TDataQuery* Q = Query;
  TDataSession* Session = Runs.front()->Directory->Session;
  std::unique_ptr<TDataCursor> C(TargetCursor(true));
  Q->RowsAffected = 0;
  // The index descriptor of an index definition over the named fields.
  auto IndexDesc = [&](const TCreateIndex& I, const std::function<int(const std::string&)>& FieldNo) {
    std::array<uint8_t, 120> D{};
    SetShortString(D.data() + kIndexDescNameOffset, 30, Cut(I.Name, 30));
    D[kIndexDescUniqueOffset] = I.Unique ? 1 : 0;
    D[kIndexDescDescendingOffset] = I.Descending ? 1 : 0;
    D[kIndexDescCaseInsensitiveOffset] = I.NoCase ? 1 : 0;
    if (I.Columns.size() > 16)
      RaiseEngineError(ecIndexLimit, C->TableName);
    for (size_t K = 0; K < I.Columns.size(); ++K) {
      const int No = FieldNo(I.Columns[K]);
      if (No == 0) SQLFail("Column " + I.Columns[K] + " not found");
      SetU16(D.data() + kIndexDescFieldNumbersOffset + 2 * K, static_cast<uint16_t>(No));
    }
    D[kIndexDescFieldCountOffset] = static_cast<uint8_t>(I.Columns.size());
    return D;
  };
  switch (Q->Kind) {
    case skCreateTable: {
      TCreateTableParams P;
      for (auto& F : Q->CreateFields) P.Fields.push_back(FieldDescOf(*F));
      if (Q->CreateIndexes.empty()) {
        P.Indexes.push_back(std::array<uint8_t, 120>{});
      } else {
        TCreateIndex Primary = *Q->CreateIndexes.front();
        Primary.Unique = true;
        P.Indexes.push_back(IndexDesc(Primary, [&](const std::string& Name) {
          for (auto& F : Q->CreateFields)
            if (SameText(Trim(F->Name), Trim(Name))) return static_cast<int>(F->FieldNo);
          return 0;
        }));
      }
      P.Description = Q->Description;
      P.Encrypted = Q->Encrypted;
      P.Password = Q->Password;
      P.BlobBlockSize = Q->BlobBlockSize;
      P.LanguageID = Q->LanguageGiven ? Q->LanguageId : Session->LanguageID;
      P.SortID = Q->LanguageGiven ? Q->SortId : Session->SortID;
      P.UserMajorVersion = Q->MajorVersion;
      P.UserMinorVersion = Q->MinorVersion;
      C->CreateTable(P);
      break;
    }
    case skCreateIndex: {
      C->Open();
      const TCreateIndex& I = *Q->CreateIndexes.front();
      std::array<uint8_t, 120> D = IndexDesc(I, [&](const std::string& Name) { return C->GetFieldDescByName(Name); });
      C->AddIndex(D);
      C->Close();
      break;
    }
    case skDropTable:
      // A table that is not there raises the error its opening would.
      if (!Runs.front()->Directory->TableExists(C->TableName, C->InMemory)) C->Open();
      C->DeleteTable();
      break;
    case skDropIndex:
      if (SameText(Trim(Q->DropIndexName), "PRIMARY")) {
        // The primary index goes with a copy of the table that has none.
        C.reset();
        auto Drop = std::make_unique<TCreateIndex>();
        Drop->Query = Q;
        Drop->Drop = true;
        Q->CreateIndexes.push_back(std::move(Drop));
        try {
          AlterTable();
        } catch (...) {
          Q->CreateIndexes.pop_back();
          throw;
        }
        Q->CreateIndexes.pop_back();
        break;
      }
      C->Open();
      C->DeleteIndex(Q->DropIndexName);
      C->Close();
      break;
    case skAlterTable:
      C.reset();
      AlterTable();
      break;
    default:
      break;
  }
}

// ALTER TABLE: the new definition is applied to a copy of the table made under a working name;
// every record is copied with its row number (so ids that other tables hold stay valid) and every
// value converted, and only when all of it succeeded does the copy take the old table's place.
// A value that does not convert stops the statement and leaves the old table as it was.
void TQueryPlan::AlterTable() {
  TDataQuery* Q = Query;
  TSourceRun& R = *Runs.front();
  TDataDirectory* Dir = R.Directory;
  const bool Mem = R.Source->Memory != 0;
  std::unique_ptr<TDataCursor> Old(TargetCursor(true));
  Old->Open();
  Old->SetIndexNo(kNaturalOrderIndex);
  // The present definition.
  std::vector<std::array<uint8_t, 768>> Fields;
  for (const TFieldDescriptor& D : Old->FieldDescs) {
    std::array<uint8_t, 768> A{};
    std::memcpy(A.data(), D.Bytes, 768);
    if (D.Type() == ftBlob) SQLFail("ALTER TABLE cannot copy the BLOB column " + D.Name());
    Fields.push_back(A);
  }
  std::vector<std::array<uint8_t, 120>> Indexes;
  for (int I = 0; I <= Old->GetIndexCount(); ++I) {
    std::array<uint8_t, 120> D{};
    if (I > 0 || !Old->HasNoPrimaryKey()) Old->GetIndexDesc(static_cast<uint8_t>(I), D.data());
    Indexes.push_back(D);
  }
  const bool HadPrimary = !Old->HasNoPrimaryKey();
  uint16_t NextNumber = 0;
  for (auto& F : Fields) NextNumber = std::max<uint16_t>(NextNumber, GetU16(F.data()));
  // The column actions, in order.
  for (auto& F : Q->CreateFields) {
    if (F->Drop || F->Redefine) {
      const std::string Name = F->Drop ? F->Name : F->OldName;
      const int I = FindField(Fields, Name);
      if (I < 0) SQLFail("Column " + Name + " not found");
      if (F->Drop) {
        Fields.erase(Fields.begin() + I);
        continue;
      }
      std::array<uint8_t, 768> D = Fields[static_cast<size_t>(I)];
      Redefine(D, *F);
      Fields.erase(Fields.begin() + I);
      Fields.insert(Fields.begin() + I, D);
      if (F->AtPosition != 0) {
        if (F->AtPosition < 1 || static_cast<size_t>(F->AtPosition) > Fields.size())
          SQLFail("AT column position must be between 1 and " + std::to_string(Fields.size()));
        Fields.erase(Fields.begin() + I);
        Fields.insert(Fields.begin() + (F->AtPosition - 1), D);
      }
      continue;
    }
    std::array<uint8_t, 768> D = FieldDescOf(*F);
    SetU16(D.data() + kFieldDescNumberOffset, ++NextNumber);
    if (F->AtPosition != 0) {
      if (F->AtPosition < 1 || static_cast<size_t>(F->AtPosition) > Fields.size() + 1)
        SQLFail("AT column position must be between 1 and " + std::to_string(Fields.size() + 1));
      Fields.insert(Fields.begin() + (F->AtPosition - 1), D);
    } else {
      Fields.push_back(D);
    }
  }
  // The primary key actions; the key fields are numbers of the old or new columns.
  auto NumberOf = [&](const std::string& Name) {
    const int I = FindField(Fields, Name);
    return I < 0 ? 0 : static_cast<int>(GetU16(Fields[static_cast<size_t>(I)].data()));
  };
  for (auto& I : Q->CreateIndexes) {
    if (I->Add && HadPrimary) SQLFail("Cannot REDEFINE the primary key using the ADD keyword");
    std::array<uint8_t, 120> D{};
    if (!I->Drop) {
      D[kIndexDescUniqueOffset] = 1;
      D[kIndexDescDescendingOffset] = I->Descending ? 1 : 0;
      D[kIndexDescCaseInsensitiveOffset] = I->NoCase ? 1 : 0;
      for (size_t K = 0; K < I->Columns.size() && K < 16; ++K) {
        const int No = NumberOf(I->Columns[K]);
        if (No == 0) SQLFail("Column " + I->Columns[K] + " not found");
        SetU16(D.data() + kIndexDescFieldNumbersOffset + 2 * K, static_cast<uint16_t>(No));
      }
      D[kIndexDescFieldCountOffset] = static_cast<uint8_t>(std::min<size_t>(I->Columns.size(), 16));
    }
    Indexes[0] = D;
  }
  // Field numbers become positions in the new table; an index over a dropped column goes.
  std::vector<int> OldFieldOf;  // per new position: the old physical field number, 0 when new
  for (auto& F : Fields) {
    const uint16_t N = GetU16(F.data());
    int Old1 = 0;
    for (size_t I = 0; I < Old->FieldDescs.size(); ++I)
      if (Old->FieldDescs[I].Number() == N) Old1 = static_cast<int>(I + 1);
    OldFieldOf.push_back(Old1);
  }
  std::vector<std::array<uint8_t, 120>> NewIndexes;
  for (size_t X = 0; X < Indexes.size(); ++X) {
    std::array<uint8_t, 120> D = Indexes[X];
    bool Keep = true;
    const int Count = D[kIndexDescFieldCountOffset];
    for (int K = 0; K < Count; ++K) {
      const uint16_t N = GetU16(D.data() + kIndexDescFieldNumbersOffset + 2 * K);
      int Pos = 0;
      for (size_t I = 0; I < Fields.size(); ++I)
        if (GetU16(Fields[I].data()) == N) Pos = static_cast<int>(I + 1);
      if (Pos == 0) Keep = false;
      SetU16(D.data() + kIndexDescFieldNumbersOffset + 2 * K, static_cast<uint16_t>(Pos));
    }
    if (X == 0 && !Keep) D = std::array<uint8_t, 120>{};
    if (X == 0 || Keep) NewIndexes.push_back(D);
  }
  for (size_t I = 0; I < Fields.size(); ++I) SetU16(Fields[I].data() + kFieldDescNumberOffset, static_cast<uint16_t>(I + 1));
  // The options the statement does not give keep their present values.
  TCreateTableParams P;
  P.Fields = Fields;
  P.Indexes = NewIndexes;
  P.Description = Q->DescriptionGiven ? Q->Description : Old->GetDescription();
  P.BlobBlockSize = Q->BlobBlockSizeGiven ? Q->BlobBlockSize : Old->GetBlobBlockSize();
  P.LanguageID = Q->LanguageGiven ? Q->LanguageId : Old->GetLanguageID();
  P.SortID = Q->LanguageGiven ? Q->SortId : Old->GetSortID();
  P.UserMajorVersion = Q->MajorGiven ? Q->MajorVersion : Old->GetUserMajorVersion();
  P.UserMinorVersion = Q->MinorGiven ? Q->MinorVersion : Old->GetUserMinorVersion();
  if (Old->IsEncrypted() && !Q->EncryptedGiven) SQLFail("ALTER TABLE of an encrypted table needs ENCRYPTED WITH");
  P.Encrypted = Q->Encrypted;
  P.Password = Q->Password;
  P.Overwrite = true;
  const uint32_t LastAutoInc =
      Q->LastAutoInc >= 0 ? static_cast<uint32_t>(Q->LastAutoInc) : TableFileAccess(Old->Table)->DataFile()->LastAutoInc();
  const std::string Base = RemoveFileExt(Old->TableName);
  const std::string Work = "__new_" + Base, Backup = "__old_" + Base;
  std::unique_ptr<TDataCursor> New(new TDataCursor(Dir));
  New->SetTableName(Work);
  New->SetInMemory(Mem);
  New->SetExclusive(true);
  New->CreateTable(P);
  try {
    New->Open();
    New->SetNoAutoInc(true);
    std::vector<uint8_t> From(Old->RecordBufferSize), To(New->RecordBufferSize);
    std::vector<uint8_t> Value(512), Converted(512);
    Old->MoveToBegin();
    while (Old->GetNextRecord(From.data()) == 0) {
      New->InitRecord(To.data());
      std::memcpy(To.data() + 5, From.data() + 5, 4);  // the row number, which is also the auto-increment value
      for (size_t I = 0; I < Fields.size(); ++I) {
        if (OldFieldOf[I] == 0) continue;
        const TFieldDescriptor& OD = Old->FieldDescs[static_cast<size_t>(OldFieldOf[I] - 1)];
        const TFieldDescriptor& ND = New->FieldDescs[I];
        if (ND.IsAutoInc()) continue;
        bool Blank = true;
        std::fill(Value.begin(), Value.end(), 0);
        if (OD.IsAutoInc()) {
          std::memcpy(Value.data(), From.data() + 5, 4);
          Blank = false;
        } else {
          Old->GetField(OldFieldOf[I], From.data(), Blank, Value.data());
        }
        if (Blank) continue;
        std::fill(Converted.begin(), Converted.end(), 0);
        if (!ConvertFieldValue(OD.Type(), Value.data(), OD.DataSize(), ND.Type(), Converted.data(), ND.DataSize(),
                               ND.Bytes[kFieldDescDataScaleOffset], Settings))
          SQLFail("A value of column " + OD.Name() + " cannot be converted to the new type of column " + ND.Name());
        New->PutField(static_cast<int>(I + 1), To.data(), false, Converted.data());
      }
      New->InsertRecord(To.data(), false);
    }
    New->SetTableInfo(P.Description, P.Password, LastAutoInc, P.UserMajorVersion, P.UserMinorVersion);
    New->Close();
    Old->Close();
  } catch (...) {
    New->Close();
    New->DeleteTable();
    throw;
  }
  // The copy takes the old table's place; the old files stay as a backup until it has.
  auto Check = [&](int Code, const std::string& Table) {
    if (Code < 0) RaiseEngineError(static_cast<uint16_t>(-Code), Table);
  };
  Check(Dir->RenameTable(Old->TableName, Backup, false, Mem), Old->TableName);
  const int Moved = Dir->RenameTable(Work, Old->TableName, false, Mem);
  if (Moved < 0) {
    Dir->RenameTable(Backup, Old->TableName, false, Mem);
    Dir->DeleteTable(Work, Mem);
    Check(Moved, Old->TableName);
  }
  Dir->DeleteTable(Backup, Mem);
}
