// The table statements: CREATE TABLE, CREATE INDEX, DROP TABLE and DROP INDEX on the table that the
// statement names (in the statement's database, the in-memory database, or a path).
#include <cstring>

#include "dbengine/sql/sql_plan.h"
#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/engine_errors.h"
#include "platform/core/sysutils.h"

namespace {

std::string Cut(const std::string& S, size_t N) { return S.size() > N ? S.substr(0, N) : S; }

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
      for (auto& F : Q->CreateFields) {
        std::array<uint8_t, 768> D{};
        SetU16(D.data() + kFieldDescNumberOffset, F->FieldNo);
        SetShortString(D.data() + kFieldDescNameOffset, 30, Cut(Trim(F->Name), 30));
        SetShortString(D.data() + kFieldDescDescriptionOffset, 50, Cut(F->Description, 50));
        D[kFieldDescTypeOffset] = F->DataType;
        D[kFieldDescSubTypeOffset] = F->SubType;
        if (F->DataType == ftString || F->DataType == ftBytes)
          D[kFieldDescDeclaredSizeOffset] = static_cast<uint8_t>(std::min<uint32_t>(F->Size, 255));
        if (F->DataType == ftBCD) D[kFieldDescDeclaredScaleOffset] = F->Scale;
        D[kFieldDescRequiredOffset] = F->NotNull ? 1 : 0;
        D[kFieldDescCharCaseOffset] = F->CharCase;
        SetShortString(D.data() + kFieldDescDefaultOffset, 50, Cut(F->DefaultText, 50));
        SetShortString(D.data() + kFieldDescMinimumOffset, 50, Cut(F->MinText, 50));
        SetShortString(D.data() + kFieldDescMaximumOffset, 50, Cut(F->MaxText, 50));
        P.Fields.push_back(D);
      }
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
      C->DeleteTable();
      break;
    case skDropIndex:
      C->Open();
      if (SameText(Trim(Q->DropIndexName), "PRIMARY")) RaiseEngineError(ecCannotDropPrimary, C->TableName);
      C->DeleteIndex(Q->DropIndexName);
      C->Close();
      break;
    default:
      SQLFail("ALTER TABLE is not supported by this engine build");
  }
}
