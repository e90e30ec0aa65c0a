// The table statements: CREATE TABLE, CREATE INDEX, ALTER TABLE, DROP TABLE and DROP INDEX on the
// table that the statement names (in the statement's database, the in-memory database, or a path).
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

int FindFieldNumber(const std::vector<std::array<uint8_t, 768>>& Fields, uint16_t Number) {
  for (size_t I = 0; I < Fields.size(); ++I)
    if (GetU16(Fields[I].data() + kFieldDescNumberOffset) == Number) return static_cast<int>(I);
  return -1;
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

// ALTER TABLE: the actions build the new definition from the present one (fields keep their
// numbers, so that the restructure knows where each value comes from; new fields take numbers the
// table does not use), and the cursor's restructure carries every record over with its row number
// and its values converted to their new types. A value that does not convert stops the statement
// and leaves the old table as it was.
void TQueryPlan::AlterTable() {
  TDataQuery* Q = Query;
  std::unique_ptr<TDataCursor> Old(TargetCursor(true));
  Old->Open();
  // The present definition.
  std::vector<std::array<uint8_t, 768>> Fields;
  for (const TFieldDescriptor& D : Old->FieldDescs) {
    std::array<uint8_t, 768> A{};
    std::memcpy(A.data(), D.Bytes, 768);
    Fields.push_back(A);
  }
  std::vector<std::array<uint8_t, 120>> Indexes;
  for (int I = 0; I <= Old->GetIndexCount(); ++I) {
    std::array<uint8_t, 120> D{};
    if (I > 0 || !Old->HasNoPrimaryKey()) Old->GetIndexDesc(static_cast<uint8_t>(I), D.data());
    Indexes.push_back(D);
  }
  const bool HadPrimary = !Old->HasNoPrimaryKey();
  // The options the statement does not give keep their present values.
  TRestructureParams P;
  P.Description = Q->DescriptionGiven ? Q->Description : Old->GetDescription();
  P.BlobBlockSize = Q->BlobBlockSizeGiven ? Q->BlobBlockSize : -1;
  P.LanguageID = Q->LanguageGiven ? Q->LanguageId : Old->GetLanguageID();
  P.SortID = Q->LanguageGiven ? Q->SortId : Old->GetSortID();
  P.UserMajorVersion = Q->MajorGiven ? Q->MajorVersion : Old->GetUserMajorVersion();
  P.UserMinorVersion = Q->MinorGiven ? Q->MinorVersion : Old->GetUserMinorVersion();
  P.Encrypted = Q->EncryptedGiven ? Q->Encrypted : Old->IsEncrypted();
  P.Password = Q->EncryptedGiven ? Q->Password : Old->GetPassword();
  P.LastAutoInc = Q->LastAutoInc >= 0 ? Q->LastAutoInc : -1;
  Old->Close();
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
  // An index over a dropped column goes with it (the primary key leaves the table without one).
  P.Fields = Fields;
  for (size_t X = 0; X < Indexes.size(); ++X) {
    bool Keep = true;
    for (int K = 0; K < Indexes[X][kIndexDescFieldCountOffset]; ++K)
      if (FindFieldNumber(Fields, GetU16(Indexes[X].data() + kIndexDescFieldNumbersOffset + 2 * K)) < 0) Keep = false;
    if (X == 0) P.Indexes.push_back(Keep ? Indexes[X] : std::array<uint8_t, 120>{});
    else if (Keep) P.Indexes.push_back(Indexes[X]);
  }
  // Values change type through the statement's conversions.
  P.Convert = [this](const TFieldDescriptor& From, const void* Value, const TFieldDescriptor& To, void* Dest) {
    if (!ConvertFieldValue(From.Type(), Value, From.DataSize(), To.Type(), Dest, To.DataSize(),
                           To.Bytes[kFieldDescDataScaleOffset], *Settings))
      SQLFail("A value of column " + From.Name() + " cannot be converted to the new type of column " + To.Name());
    return true;
  };
  Old->RestructureTable(std::move(P));
}
