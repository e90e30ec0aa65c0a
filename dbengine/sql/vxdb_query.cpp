#include "dbengine/sql/vxdb_query.h"

#include <utility>

#include "platform/core/finally.h"

// ---- Parameter data link -------------------------------------------------------------------------
void TVXDBQueryDataLink::ActiveChanged() {
  if (FQuery->Active()) FQuery->RefreshParams();
}

void TVXDBQueryDataLink::RecordChanged(TField* Field) {
  if (Field == nullptr && FQuery->Active()) FQuery->RefreshParams();
}

void TVXDBQueryDataLink::CheckBrowseMode() {
  if (FQuery->Active()) FQuery->CheckBrowseMode();
}

TDataSet* TVXDBQueryDataLink::GetDetailDataSet() { return FQuery; }

// ---- Query ---------------------------------------------------------------------------------------
TVXDBQuery::TVXDBQuery(TComponent* AOwner) : TVXDBDBDataSet(AOwner) {
  FSQL = new TStringList();
  FSQL->OnChange = [this](TObject*) {
    if (!FInSetSQL) QueryChanged();
  };
  FSQLScript = new TStringList();
  FParams = new TVXDBParams();
  FDataLink = new TVXDBQueryDataLink(this);
}

TVXDBQuery::~TVXDBQuery() {
  Destroying();
  try {
    Disconnect();
  } catch (...) {
  }
  QryFreeStatement(FStatement);
  delete FDataLink;
  delete FParams;
  delete FSQLScript;
  delete FSQL;
}

void TVXDBQuery::SetSQL(const TStrings* Lines) {
  if (Lines->Text() == FSQL->Text()) return;
  Disconnect();
  {
    FInSetSQL = true;
    TFinally Done([this] { FInSetSQL = false; });
    FSQL->Assign(Lines);
  }
  QueryChanged();
}

void TVXDBQuery::QueryChanged() {
  FText = FSQL->Text();
  if ((ComponentState() & csLoading) != 0) {
    FText = ParseSQL(FText, nullptr);
    return;
  }
  Disconnect();
  if (FParamCheck) {
    auto* List = new TVXDBParams();
    try {
      FText = ParseSQL(FText, List);
      // Values already given survive a change of the text for the parameters that keep their name.
      for (int I = 0; I < List->Count(); ++I) {
        TVXDBParam* New = List->Items(I);
        for (int J = 0; J < FParams->Count(); ++J) {
          TVXDBParam* Old = FParams->Items(J);
          if (Old->Name == New->Name) {
            New->Assign(Old);
            break;
          }
        }
      }
    } catch (...) {
      delete List;
      throw;
    }
    delete FParams;
    FParams = List;
  }
  DataEvent(dePropertyChange, 0);
}

void TVXDBQuery::SetDataSource(TDataSource* Value) {
  if (Value != nullptr && Value->IsLinkedTo(this)) DatabaseError(SCircularDataLink);
  FDataLink->SetDataSource(Value);
}

void TVXDBQuery::SetRequestLive(bool Value) {
  if (Value == FRequestLive) return;
  CheckInactive();
  // The choice is made when the statement is prepared.
  SetPrepared(false);
  FRequestLive = Value;
}

void TVXDBQuery::SetMaxRowCount(int32_t Value) {
  FMaxRowCount = Value;
  if (FStatement != nullptr) QrySetMaxRowCount(FStatement, Value);
}

template <class F>
auto TVXDBQuery::Locked(F Body) {
  TVXDBSession* S = Database() != nullptr ? Database()->Session() : nullptr;
  if (S != nullptr) S->LockSession();
  TFinally Unlock([S] {
    if (S != nullptr) S->UnlockSession();
  });
  return Body();
}

void TVXDBQuery::SetPrepared(bool Value) {
  if (Active()) DatabaseError(SDataSetOpen);
  if (Value == FPrepared) return;
  if (Value) {
    if (FText.size() < 2) DatabaseError(SEmptySQLStatement);
    CreateStatement();
  } else {
    SetDatabaseFlag(1, false);
  }
  FPrepared = Value;
}

void TVXDBQuery::CreateStatement() {
  // The prepared statement holds the database (flag 1) until it is freed.
  SetDatabaseFlag(1, true);
  try {
    Locked([this] {
      FStatement = QryNewStatement(DirectoryHandle());
      QrySetRequestLive(FStatement, FRequestLive);
      QrySetMaxRowCount(FStatement, FMaxRowCount);
      QrySetProgressHandler(FStatement, [this](uint32_t Current, uint32_t Percent, bool& Abort) {
        if (OnQueryProgress) OnQueryProgress(this, static_cast<int>(Current), static_cast<uint16_t>(Percent), Abort);
      });
      QryPrepare(FStatement, FText);
    });
  } catch (...) {
    QryFreeStatement(FStatement);
    SetDatabaseFlag(1, false);
    throw;
  }
}

void TVXDBQuery::SetDatabaseFlag(int Flag, bool Value) {
  // The statement goes before the database it was prepared on can be released.
  if (!Value && Flag == 1) {
    QryFreeStatement(FStatement);
    FPrepared = false;
  }
  TVXDBDBDataSet::SetDatabaseFlag(Flag, Value);
}

void TVXDBQuery::SetDatabaseName(const std::string& Value) {
  if (Value == DatabaseName()) return;
  CheckInactive();
  SetPrepared(false);
  TVXDBDBDataSet::SetDatabaseName(Value);
}

void TVXDBQuery::Disconnect() {
  Close();
  SetPrepared(false);
  TVXDBDBDataSet::Disconnect();
}

void TVXDBQuery::RefreshParams() {
  DisableControls();
  TFinally Enable([this] { EnableControls(); });
  TDataSet* Source = FDataLink->DataSet();
  if (Source != nullptr && Source->Active() && Source->State() != dsSetKey) {
    Close();
    Open();
  }
}

// ---- Parameter values ----------------------------------------------------------------------------
namespace {

struct TEngineType {
  uint8_t Type;
  uint8_t SubType;
};

// The engine's data type and subtype of a parameter type (0: none).
TEngineType EngineTypeOf(TFieldType T) {
  switch (T) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid: return {1, 0};
    case ftSmallint: return {5, 0};
    case ftInteger: return {6, 0};
    case ftAutoInc: return {6, 29};
    case ftWord: return {12, 0};
    case ftBoolean: return {4, 0};
    case ftFloat: return {7, 0};
    case ftCurrency: return {7, 21};
    case ftBCD: return {8, 0};
    case ftDate: return {2, 0};
    case ftTime: return {10, 0};
    case ftDateTime: return {11, 0};
    case ftBytes: return {9, 0};
    case ftVarBytes: return {15, 0};
    case ftBlob:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftOraBlob:
    case ftOraClob: return {3, 0};
    case ftMemo: return {3, 22};
    case ftGraphic: return {3, 26};
    case ftFmtMemo: return {3, 24};
    case ftTypedBinary: return {3, 28};
    case ftCursor: return {17, 0};
    case ftLargeint: return {18, 0};
    case ftADT: return {20, 0};
    case ftArray: return {21, 0};
    case ftReference: return {22, 0};
    case ftDataSet: return {23, 0};
    default: return {0, 0};
  }
}

}  // namespace

void TVXDBQuery::BindParams() {
  TDataSet* Source = FDataLink->DataSet();
  if (Source == nullptr) return;
  for (int I = 0; I < FParams->Count(); ++I) {
    TVXDBParam* P = FParams->Items(I);
    if (P->Bound) continue;
    P->AssignField(Source->FieldByName(P->Name));
    P->Bound = false;
  }
}

void TVXDBQuery::PassParams() {
  constexpr std::size_t kMaxInlineString = 0xFFFE;
  std::vector<TQryParamValue> Values;
  for (int I = 0; I < FParams->Count(); ++I) {
    TVXDBParam* P = FParams->Items(I);
    TEngineType T = EngineTypeOf(P->DataType);
    if (T.Type == 0) DatabaseErrorFmt(SParameterNoValue, {P->Name});
    if (P->DataType == ftUnknown) DatabaseErrorFmt(SUnknownFieldType, {P->Name});
    TQryParamValue V;
    V.Name = P->Name;
    V.Type = T.Type;
    V.SubType = T.SubType;
    V.Scale = P->DataType == ftBCD ? 4 : 0;
    V.Null = P->IsNull;
    V.Bytes = EncodeParamValue(P);
    // A memo is a BLOB to the statement: its characters without the terminating zero.
    if (P->DataType == ftMemo && !V.Bytes.empty()) V.Bytes.pop_back();
    // A string too long for the statement's inline values travels as a memo.
    if (T.Type == 1 && V.Bytes.size() > kMaxInlineString) {
      V.Bytes.pop_back();
      V.Type = 3;
      V.SubType = 22;
    }
    Values.push_back(std::move(V));
  }
  QrySetParams(FStatement, Values);
}

TQryResult TVXDBQuery::Run() {
  SetPrepared(true);
  BindParams();
  return Locked([this] {
    if (FParams->Count() > 0) PassParams();
    TQryResult R = QryExecute(FStatement);
    FRowsAffected = static_cast<int32_t>(QryRowsAffected(FStatement));
    FExecutionTime = QryExecutionTime(FStatement);
    return R;
  });
}

// ---- Opening and running -------------------------------------------------------------------------
TDataCursor* TVXDBQuery::CreateHandle() {
  if (FSQL->Count() == 0) DatabaseError(SEmptySQLStatement);
  FResult = Run();
  return FResult.Cursor;
}

void TVXDBQuery::DestroyHandle() {
  if (FResult.Cursor != nullptr && FResult.Cursor == FCursor && !FResult.Live) {
    Locked([this] { QryFreeResult(FResult); });
    FCursor = nullptr;
    return;
  }
  FResult = TQryResult();
  TVXDBDBDataSet::DestroyHandle();
}

bool TVXDBQuery::GetCanModify() {
  // Only a live result writes through to its table; a result table is a copy.
  return FResult.Live && TVXDBDBDataSet::GetCanModify();
}

void TVXDBQuery::ExecSQL() {
  CheckInactive();
  if (FSQL->Count() == 0) DatabaseError(SEmptySQLStatement);
  const bool WasPrepared = FPrepared;
  // A statement prepared only for this run lets go of its tables afterwards, so that other
  // statements (an index creation, say) may have them to themselves.
  TFinally Unprepare([this, WasPrepared] {
    if (!WasPrepared) SetPrepared(false);
  });
  TQryResult R = Run();
  Locked([&R] { QryFreeResult(R); });
  if (!WasPrepared) SetPrepared(false);
}
