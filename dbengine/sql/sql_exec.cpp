// Execution of planned queries: the nested loops over the source tables, the result rows of a
// SELECT with their grouping, aggregates, DISTINCT and ordering, the result table, and the row
// loops of INSERT, UPDATE and DELETE with their transaction and commit interval.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "dbengine/sql/expr_filters.h"
#include "dbengine/sql/expr_values.h"
#include "dbengine/sql/sql_plan.h"
#include "dbengine/storage/collation.h"
#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/data_table.h"
#include "dbengine/storage/engine_decimal.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/file_layer.h"
#include "platform/core/sysutils.h"

namespace {

// The value of T into C, reusing C's bytes: a row collected again and again allocates nothing.
void AssignCell(TSQLCell& C, const TExpToken* T) {
  C.Null = T->Null || T->DataType == dtUntyped;
  if (C.Null) {
    C.Bytes.clear();
    return;
  }
  if (T->DataType == ftString) {
    const uint8_t* V = T->Value;
    const void* Z = V ? std::memchr(V, 0, T->Capacity) : nullptr;
    const size_t Len = !V ? 0 : Z ? static_cast<size_t>(static_cast<const uint8_t*>(Z) - V) : T->Capacity;
    C.Bytes.resize(Len + 1);
    if (Len) std::memcpy(C.Bytes.data(), V, Len);
    C.Bytes[Len] = 0;
  } else {
    const uint32_t N = std::min<uint32_t>(std::max<uint32_t>(T->Size, 8), T->Capacity);
    C.Bytes.assign(T->Value, T->Value + N);
  }
}

// The value of a field of a record into C, as AssignCell takes it from the field read into a token.
void AssignFieldCell(TSQLCell& C, const std::vector<uint8_t>& Record, const TFieldAccess& F) {
  const uint8_t* V = FieldValue(Record.data(), static_cast<uint32_t>(Record.size()), F);
  C.Null = V == nullptr;
  if (C.Null) {
    C.Bytes.clear();
    return;
  }
  const size_t N = FieldValueSize(F);
  if (F.DataType == ftString) {
    const size_t Len = strnlen(reinterpret_cast<const char*>(V), N);
    C.Bytes.resize(Len + 1);
    std::memcpy(C.Bytes.data(), V, Len);
    C.Bytes[Len] = 0;
  } else {
    C.Bytes.assign(V, V + N);
    if (N < 8) C.Bytes.resize(8);
  }
}

template <class T>
T CellGet(const TSQLCell& C) {
  T V{};
  std::memcpy(&V, C.Bytes.data(), std::min(sizeof(T), C.Bytes.size()));
  return V;
}

template <class T>
TSQLCell CellPut(T V) {
  TSQLCell C;
  C.Null = false;
  C.Bytes.resize(std::max<size_t>(sizeof(T), 8));
  std::memcpy(C.Bytes.data(), &V, sizeof(T));
  return C;
}

bool IsIntegerType(uint8_t T) {
  return T == ftSmallInt || T == ftInteger || T == ftWord || T == ftDate || T == ftTime || T == ftBoolean;
}

int64_t CellInteger(const TSQLCell& C, uint8_t T) {
  switch (T) {
    case ftSmallInt: return CellGet<int16_t>(C);
    case ftWord:
    case ftBoolean: return CellGet<uint16_t>(C);
    default: return CellGet<int32_t>(C);
  }
}

double CellFloat(const TSQLCell& C, uint8_t T) {
  if (IsIntegerType(T)) return static_cast<double>(CellInteger(C, T));
  if (T == ftBCD) return EngineBCDToFloat(CellGet<int64_t>(C));
  return CellGet<double>(C);
}

int Sign(double D) { return D < 0 ? -1 : D > 0 ? 1 : 0; }

// Running state of one aggregate column in one group.
struct TAccumulator {
  bool Has = false;
  int64_t Integer = 0;
  long double Float = 0;
  int64_t Count = 0;
  TSQLCell Best;
};

}  // namespace

int CompareSQLCells(const TSQLCell& A, const TSQLCell& B, uint8_t Type, bool NoCase, uint16_t Language,
                    uint16_t Sort) {
  if (A.Null || B.Null) return A.Null == B.Null ? 0 : A.Null ? -1 : 1;
  switch (Type) {
    case ftString: {
      const char* PA = reinterpret_cast<const char*>(A.Bytes.data());
      const char* PB = reinterpret_cast<const char*>(B.Bytes.data());
      const int LA = static_cast<int>(strnlen(PA, A.Bytes.size()));
      const int LB = static_cast<int>(strnlen(PB, B.Bytes.size()));
      if (Language != 0) return CollateStrings(Language, Sort, PA, LA, PB, LB, NoCase ? kCompareIgnoreCase : 0);
      std::string SA(PA, static_cast<size_t>(LA)), SB(PB, static_cast<size_t>(LB));
      if (NoCase) {
        SA = AnsiUpperCase(SA);
        SB = AnsiUpperCase(SB);
      }
      const int R = SA.compare(SB);
      return R < 0 ? -1 : R > 0 ? 1 : 0;
    }
    case ftFloat:
    case ftTimeStamp:
    case ftBCD:
      return Sign(CellFloat(A, Type) - CellFloat(B, Type));
    case ftBytes:
    case ftBlob: {
      const size_t N = std::min(A.Bytes.size(), B.Bytes.size());
      const int R = std::memcmp(A.Bytes.data(), B.Bytes.data(), N);
      if (R != 0) return R < 0 ? -1 : 1;
      return A.Bytes.size() < B.Bytes.size() ? -1 : A.Bytes.size() > B.Bytes.size() ? 1 : 0;
    }
    default: {
      const int64_t X = CellInteger(A, Type), Y = CellInteger(B, Type);
      return X < Y ? -1 : X > Y ? 1 : 0;
    }
  }
}

// ---- Executor ----------------------------------------------------------------------------------

TSQLExecutor::TSQLExecutor(TDataDirectory* Owner) : FOwner(Owner) {}

TSQLExecutor::~TSQLExecutor() {
  FKeepStatement = false;
  Clear();
  FInserts.clear();
  for (TKeptResult& K : FKept) DropKeptResult(K);
}

void TSQLExecutor::DropKeptResult(TKeptResult& K) {
  if (K.Cursor) {
    try {
      K.Cursor->Close();  // a temporary table: its in-memory files go
    } catch (...) {
    }
    delete K.Cursor;
    K.Cursor = nullptr;
  }
  if (K.Directory) {
    try {
      K.Directory->Session->CloseDirectory(K.Directory);
    } catch (...) {
    }
    K.Directory = nullptr;
  }
}

void TSQLExecutor::KeepResult(TKeptResult&& Kept) {
  TKeptResult K = std::move(Kept);
  TDataCursor* Cursor = K.Cursor;
  // Only a cursor in the state it was created in may serve again: a caller that filtered it,
  // gave it a range, an index order or another field map made it something else.
  bool Same = Cursor->Active && Cursor->Exclusive && Cursor->Temporary && Cursor->InMemory && !Cursor->ReadOnly &&
              !Cursor->LiveResult && Cursor->Filters.empty() && !Cursor->RangeActive && Cursor->IsNaturalOrder() &&
              Cursor->FieldDescs.size() == K.AsCreated.size();
  for (size_t I = 0; Same && I < K.AsCreated.size(); ++I)
    Same = std::memcmp(Cursor->FieldDescs[I].Bytes, K.AsCreated[I].Bytes, sizeof K.AsCreated[I].Bytes) == 0;
  if (Same) {
    // Its rows go now: a kept table holds no memory.
    try {
      Cursor->EmptyTable();
    } catch (...) {
      Same = false;
    }
  }
  if (!Same) {
    DropKeptResult(K);
    return;
  }
  if (FKept.size() >= kKeptResults) {
    DropKeptResult(FKept.front());
    FKept.erase(FKept.begin());
  }
  FKept.push_back(std::move(K));
}

TDataCursor* TSQLExecutor::TakeSourceCursor(TDataDirectory* Directory) {
  if (Directory != FOwner || FSpareCursors.empty()) return new TDataCursor(Directory);
  TDataCursor* C = FSpareCursors.back().release();
  FSpareCursors.pop_back();
  // The one setting of a plan's source that its plan may not set again (an UPDATE sets it).
  C->NoAutoInc = false;
  return C;
}

void TSQLExecutor::ReturnSourceCursor(TDataCursor* Cursor) {
  std::unique_ptr<TDataCursor> C(Cursor);
  // The owner's directory lives as long as this executor; a cursor of another one may outlive its
  // directory.
  if (C->Directory == FOwner && !C->Active && !C->LiveResult && FSpareCursors.size() < kSpareCursors)
    FSpareCursors.push_back(std::move(C));
}

TSQLExecutor::TKeptResult TSQLExecutor::ReuseResult(const std::vector<std::array<uint8_t, 768>>& Fields,
                                                     const TResultShape& Shape) {
  for (size_t I = FKept.size(); I-- > 0;) {
    if (!(FKept[I].Shape == Shape && FKept[I].Fields == Fields)) continue;
    TKeptResult K = std::move(FKept[I]);
    FKept.erase(FKept.begin() + static_cast<std::ptrdiff_t>(I));
    return K;
  }
  return TKeptResult();
}

void TSQLExecutor::Clear() {
  if (FKeepStatement) {
    FKeepStatement = false;
    KeepStatement();
  }
  // Plans close their cursors before the statement (and the clause records they use) goes.
  while (!FPlans.empty()) FPlans.pop_back();
  FStatement.reset();
}

void TSQLExecutor::KeepStatement() {
  TKeptInsert K;
  K.Statement = std::move(FStatement);
  K.Plan = std::move(FPlans.front());
  FPlans.clear();
  try {
    K.Plan->CloseTarget();
  } catch (...) {
    return;  // not kept
  }
  if (FInserts.size() >= kKeptInserts) FInserts.erase(FInserts.begin());
  FInserts.push_back(std::move(K));
}

bool TSQLExecutor::PrepareKept(const std::string& Text) {
  for (size_t I = FInserts.size(); I-- > 0;) {
    TKeptInsert& K = FInserts[I];
    bool Parsed = false, Fits = false;
    try {
      Parsed = K.Statement->ParseValuesAgain(Text);
      Fits = Parsed && K.Plan->ReopenTarget();
      if (Fits) K.Plan->CheckValueList();
    } catch (...) {
      // Only a statement that took the text raises.
      Parsed = true;
      Fits = false;
    }
    if (!Parsed) continue;
    TKeptInsert Taken = std::move(K);
    FInserts.erase(FInserts.begin() + static_cast<std::ptrdiff_t>(I));
    if (!Fits) return false;
    FStatement = std::move(Taken.Statement);
    FPlans.push_back(std::move(Taken.Plan));
    if (FRequestLive) FStatement->SetRequestLive(true);
    FStatement->SetMaxRowCount(FMaxRowCount);
    FHoldSourceLocks = false;
    FKeepStatement = true;
    return true;
  }
  return false;
}

TQueryPlan* TSQLExecutor::PlanOf(const TDataQuery* Query) const {
  for (auto& P : FPlans)
    if (P->Query == Query) return P.get();
  return nullptr;
}

void TSQLExecutor::Prepare(const std::string& Text) {
  // The tables the last statement leaves and this one opens again keep their files' locks in
  // between.
  TIdleFilesHold Hold;
  Clear();
  if (PrepareKept(Text)) return;
  FStatement = std::make_unique<TQueryStatement>(FOwner->DatabaseName);
  uint32_t Consumed = 0;
  FStatement->Parse(Text, Consumed);
  if (FRequestLive) FStatement->SetRequestLive(true);
  FStatement->SetMaxRowCount(FMaxRowCount);
  // Only a statement that writes nothing may keep its sources' locks: a write lock of this process
  // on a table would wait for its own reader's lock.
  FHoldSourceLocks = FRunAtOnce;
  for (auto& Q : FStatement->Queries)
    if (Q->Kind != skSelect || Q->RequestLive || !Q->ResultTableName.empty()) FHoldSourceLocks = false;
  for (auto& Q : FStatement->Queries) FPlans.push_back(std::make_unique<TQueryPlan>(this, Q.get()));
  // Sub-selects first: the queries that use them bind against their result columns.
  for (size_t I = FPlans.size(); I-- > 0;) FPlans[I]->Prepare();
  FKeepStatement = FStatement->TakesValuesAgain();
}

void TSQLExecutor::Execute() {
  if (!FStatement) SQLFail("No statement has been prepared");
  for (size_t I = FPlans.size(); I-- > 1;) FPlans[I]->Execute();
  FPlans.front()->Execute();
}

uint32_t TSQLExecutor::ExecSQL(const std::string& Text) {
  FRunAtOnce = true;
  try {
    Prepare(Text);
    FRunAtOnce = FHoldSourceLocks = false;
    Execute();
  } catch (...) {
    FRunAtOnce = FHoldSourceLocks = false;
    ReleaseSourceLocks();
    throw;
  }
  ReleaseSourceLocks();
  return RowsAffected();
}

void TSQLExecutor::ReleaseSourceLocks() {
  for (auto& P : FPlans)
    for (auto& R : P->Runs)
      if (R->Cursor) R->Cursor->ReleaseReadLock();
}

TDataCursor* TSQLExecutor::ResultCursor() const { return FPlans.empty() ? nullptr : FPlans.front()->ResultCursor; }

bool TSQLExecutor::ResultIsLive() const { return !FPlans.empty() && FPlans.front()->Live; }

TDataCursor* TSQLExecutor::TakeResultCursor(TDataDirectory*& Directory) {
  Directory = nullptr;
  TQueryPlan* P = FPlans.empty() ? nullptr : FPlans.front().get();
  if (!P || !P->ResultCursor || P->Live) return nullptr;
  TDataCursor* C = P->ResultCursor;
  P->ResultCursor = nullptr;
  P->ResultReusable = false;  // the caller's now
  Directory = C->Directory;
  Directory->AddRef();
  return C;
}

void TSQLExecutor::SetMaxRowCount(int32_t N) {
  FMaxRowCount = N;
  if (FStatement) FStatement->SetMaxRowCount(N);
}

void TSQLExecutor::SetParams(const std::vector<std::array<uint8_t, 768>>& Descriptors, const uint8_t* Buffer) {
  if (!FStatement) SQLFail("No statement has been prepared");
  auto& Params = FStatement->Params;
  for (size_t I = 0; I < Descriptors.size(); ++I) {
    if (I >= Params.size()) SQLFail("Internal parameter error");
    const TFieldDescriptor& D = *reinterpret_cast<const TFieldDescriptor*>(Descriptors[I].data());
    TExpToken* P = Params[I];
    const uint8_t* At = Buffer + D.Offset();
    P->DataType = D.Type();
    P->SubType = D.SubType();
    if (D.Type() == ftBlob) {
      uint32_t Length = 0;
      const uint8_t* Bytes = nullptr;
      std::memcpy(&Length, At + 1, 4);
      std::memcpy(&Bytes, At + 5, sizeof Bytes);
      P->SetCapacity(Length + 1);
      std::memset(P->Value, 0, P->Capacity);
      if (Length && Bytes) std::memcpy(P->Value, Bytes, Length);
      P->Size = Length;
      P->Scale = 0;
    } else {
      P->SetCapacity(D.DataSize() + 1u);
      std::memset(P->Value, 0, P->Capacity);
      std::memcpy(P->Value, At + 1, D.DataSize());
      P->Size = D.DataSize();
      P->Scale = D.Bytes[kFieldDescDataScaleOffset];
    }
    P->Null = (At[0] & 1) == 0;
  }
}

// ---- Rows ---------------------------------------------------------------------------------------

void TQueryPlan::Progress(uint32_t Position, uint32_t Total, bool& Abort) {
  if (!Executor->OnProgress) return;
  const uint32_t Percent = Total ? static_cast<uint32_t>(static_cast<uint64_t>(Position) * 100 / Total) : 100;
  Executor->OnProgress(Position, Percent, Abort);
}

void TQueryPlan::ReadyConditions() {
  for (auto& C : Conditions) C->Ready.Reset(PrepareExpression(C->Node, Eval, true, false));
}

bool TQueryPlan::Test(int Level, bool OnOnly, bool SkipOn) {
  for (auto& C : Conditions) {
    if (C->Level != Level || C->Answered || (OnOnly && !C->On) || (SkipOn && C->On)) continue;
    TExpToken* R = EvaluateExpression(C->Ready.Get(), nullptr, Eval);
    const bool True = !R->Null && R->Get<uint16_t>() != 0;
    PutExpToken(R);
    if (!True) return false;
  }
  return true;
}

void TQueryPlan::StepRows(size_t Level, const std::function<bool()>& Emit) {
  // Emit returns false to stop; the flag is passed up through the loops.
  std::function<bool(size_t)> Step = [&](size_t L) -> bool {
    if (L == Runs.size()) return Emit();
    TSourceRun& R = *Runs[L];
    const int Lv = static_cast<int>(L);
    R.NullRow = false;
    bool Matched = false;
    // The range of the table's key, or one range after the other for an IN list.
    for (bool Part = SetKeyRange(R); Part; Part = NextKeyPart(R)) {
      R.Cursor->MoveToBegin();
      while (R.Cursor->GetNextRecord(R.Record.data()) == 0) {
        if (R.Outer) {
          if (!Test(Lv, true, false)) continue;
          Matched = true;
          if (!Test(Lv, false, true)) continue;
        } else if (!Test(Lv, false, false)) {
          continue;
        }
        if (!Step(L + 1)) return false;
      }
    }
    if (R.Outer && !Matched) {
      R.NullRow = true;
      bool Go = true;
      if (Test(Lv, false, true)) Go = Step(L + 1);
      R.NullRow = false;
      return Go;
    }
    return true;
  };
  Step(Level);
}

namespace {

// The whole numbers a column of one of the key range types holds.
void TypeLimits(uint8_t Type, int64_t& Min, int64_t& Max) {
  switch (Type) {
    case ftSmallInt:
      Min = std::numeric_limits<int16_t>::min();
      Max = std::numeric_limits<int16_t>::max();
      break;
    case ftWord:
      Min = 0;
      Max = std::numeric_limits<uint16_t>::max();
      break;
    default:
      Min = std::numeric_limits<int32_t>::min();
      Max = std::numeric_limits<int32_t>::max();
  }
}

enum class TKeyFit {
  Interval,  // the column's values that pass are exactly those from Low to High
  Nothing,   // no value passes
  Unknown    // no interval says it (the value's type, or "= NULL", which NULL columns pass)
};

// What "column Code Value" asks of a column of type Type (a key range type), Code being = or an
// ordering with the column on the left; decided as the evaluator compares the two: whole numbers
// as numbers, a float or BCD value against the column's value as such, dates and times only with
// their own type.
TKeyFit KeyInterval(uint8_t Code, const TExpToken* Value, uint8_t Type, int64_t& Low, int64_t& High) {
  int64_t Min, Max;
  TypeLimits(Type, Min, Max);
  if (Value->Null || Value->DataType == dtUntyped) return Code == opEqual ? TKeyFit::Unknown : TKeyFit::Nothing;
  // The value as a number between two whole numbers: Floor <= value <= Ceil (equal when whole).
  int64_t Floor, Ceil;
  const uint8_t V = Value->DataType;
  const bool WholeColumn = Type == ftSmallInt || Type == ftInteger || Type == ftWord;
  if (WholeColumn && (V == ftSmallInt || V == ftInteger || V == ftWord)) {
    Floor = Ceil = V == ftSmallInt ? Value->Get<int16_t>()
                   : V == ftWord   ? Value->Get<uint16_t>()
                                   : Value->Get<int32_t>();
  } else if (!WholeColumn && V == Type) {
    Floor = Ceil = Value->Get<int32_t>();
  } else if (WholeColumn && V == ftFloat) {
    const double F = Value->Get<double>();
    if (std::isnan(F)) return TKeyFit::Unknown;
    // Beyond the column's numbers only the side matters.
    const double Clamped = std::clamp(F, static_cast<double>(Min) - 2, static_cast<double>(Max) + 2);
    Floor = static_cast<int64_t>(std::floor(Clamped));
    Ceil = static_cast<int64_t>(std::ceil(Clamped));
  } else if (WholeColumn && V == ftBCD) {
    // Compared as currency: the column's value times 10,000 against the value's.
    const int64_t C = EngineBCDToCurr(Value->Get<int64_t>());
    Floor = C / 10000 - (C % 10000 < 0 ? 1 : 0);
    Ceil = C / 10000 + (C % 10000 > 0 ? 1 : 0);
  } else {
    return TKeyFit::Unknown;
  }
  Low = Min;
  High = Max;
  switch (Code) {
    case opEqual:
      if (Floor != Ceil) return TKeyFit::Nothing;
      Low = High = Floor;
      break;
    case opGreater:
      Low = Floor + 1;
      break;
    case opGreaterEqual:
      Low = Ceil;
      break;
    case opLess:
      High = Ceil - 1;
      break;
    case opLessEqual:
      High = Floor;
      break;
    default:
      return TKeyFit::Unknown;
  }
  Low = std::max(Low, Min);
  High = std::min(High, Max);
  return Low <= High ? TKeyFit::Interval : TKeyFit::Nothing;
}

// Puts a whole number into a key range type field of a record buffer.
void PutKeyValue(TDataCursor* Cursor, int FieldNo, uint8_t* Record, int64_t Value) {
  uint8_t Bytes[4] = {};
  switch (Cursor->FieldDescs[static_cast<size_t>(FieldNo - 1)].Type()) {
    case ftSmallInt:
      StoreU16(Bytes, static_cast<uint16_t>(static_cast<int16_t>(Value)));
      break;
    case ftWord:
      StoreU16(Bytes, static_cast<uint16_t>(Value));
      break;
    default:
      StoreU32(Bytes, static_cast<uint32_t>(static_cast<int32_t>(Value)));
  }
  Cursor->PutField(FieldNo, Record, false, Bytes);
}

// Puts the string value of "column = value" into a string key field of a record buffer, as the
// key of a range of the rows equal to it. False when the field would not hold the value itself
// (NULL, another type, too long, blanks at its end, a character case the field imposes): only the
// test of every row then says which rows are equal to it.
bool PutStringKey(TDataCursor* Cursor, int FieldNo, uint8_t* Record, const TExpToken* Value) {
  if (Value->Null || Value->DataType != ftString) return false;
  const std::string S = Value->AsString();
  const TFieldDescriptor& D = Cursor->FieldDescs[static_cast<size_t>(FieldNo - 1)];
  const size_t Size = D.DataSize();
  if (S.empty() || S.size() >= Size || S.find('\0') != std::string::npos) return false;
  Cursor->PutField(FieldNo, Record, false, S.c_str());
  const uint8_t* Slot = Record + D.Offset();
  return Slot[0] != 0 && std::memcmp(Slot + 1, S.data(), S.size()) == 0 && Slot[1 + S.size()] == 0;
}

}  // namespace

// Positions the table of a loop level for its rows: the key range of its "column = value"
// conditions on the leading fields of its index and of its bounds on the field after them (or of
// the first value of its IN list there), or the whole table. The conditions the range answers
// exactly are marked so. False when no row can match.
bool TQueryPlan::SetKeyRange(TSourceRun& R) {
  TDataCursor* C = R.Cursor;
  R.RangeFields = 0;
  for (TCondition* K : R.KeyConditions) K->Answered = false;
  for (const TSourceRun::TKeyBound& B : R.Bounds) B.Condition->Answered = false;
  if (R.InCondition) R.InCondition->Answered = false;
  R.Points.clear();
  R.Point = 0;
  if (!R.HasKey()) {
    if (!C->IsNaturalOrder()) C->SetIndexNo(kNaturalOrderIndex);
    return true;
  }
  if (C->IndexNo != R.KeyIndex) C->SetIndexNo(R.KeyIndex);
  R.RangeStart.assign(C->RecordBufferSize, 0);
  auto Fit = [&](uint8_t Code, const TExpToken* Value, int FieldNo, int64_t& Low, int64_t& High) {
    TExpToken* V = EvaluateExpression(Value, nullptr, Eval);
    const TKeyFit F = KeyInterval(Code, V, C->FieldDescs[static_cast<size_t>(FieldNo - 1)].Type(), Low, High);
    PutExpToken(V);
    return F;
  };
  int Fields = 0;
  for (size_t K = 0; K < R.KeyValues.size(); ++K) {
    const bool Text = C->FieldDescs[static_cast<size_t>(R.KeyFields[K] - 1)].Type() == ftString;
    int64_t Low = 0, High = 0;
    TKeyFit F;
    if (Text) {
      TExpToken* V = EvaluateExpression(R.KeyValues[K], nullptr, Eval);
      F = PutStringKey(C, R.KeyFields[K], R.RangeStart.data(), V) ? TKeyFit::Interval : TKeyFit::Unknown;
      PutExpToken(V);
    } else {
      F = Fit(opEqual, R.KeyValues[K], R.KeyFields[K], Low, High);
    }
    if (F == TKeyFit::Nothing) return false;
    if (F == TKeyFit::Unknown) {
      // "column = NULL" holds for the NULL columns, which no key range gives (nor a string key
      // for a value its field would not hold as such): the leading fields before it still narrow
      // the rows, without them the whole table is scanned.
      if (K == 0) {
        C->SetIndexNo(kNaturalOrderIndex);
        return true;
      }
      break;
    }
    // A string range holds the rows equal to the value and maybe more (an index that ignores
    // case): its condition is still tested on each of them.
    if (!Text) {
      PutKeyValue(C, R.KeyFields[K], R.RangeStart.data(), Low);
      R.KeyConditions[K]->Answered = true;
    }
    ++Fields;
  }
  R.RangeFields = Fields;
  // Equalities (and one value of an IN list) give both ends of the range: RangeStart serves for
  // both, and one key is built for them.
  bool Bounded = false;
  if (static_cast<size_t>(Fields) == R.KeyValues.size() && !R.Bounds.empty()) {
    Bounded = true;
    // The tightest of the bounds; one that no interval states is tested on every row instead,
    // the range then holding every value of the column (NULL fails any ordering).
    int64_t Low, High;
    TypeLimits(C->FieldDescs[static_cast<size_t>(R.BoundField - 1)].Type(), Low, High);
    // A condition is answered when each of its bounds (BETWEEN has two) is.
    for (const TSourceRun::TKeyBound& B : R.Bounds) B.Condition->Answered = true;
    for (const TSourceRun::TKeyBound& B : R.Bounds) {
      int64_t L, H;
      const TKeyFit F = Fit(B.Code, B.Value, R.BoundField, L, H);
      if (F == TKeyFit::Nothing) return false;
      if (F == TKeyFit::Interval) {
        Low = std::max(Low, L);
        High = std::min(High, H);
      } else {
        B.Condition->Answered = false;
      }
    }
    if (Low > High) return false;
    R.RangeEnd = R.RangeStart;
    // A descending index holds the high end first.
    PutKeyValue(C, R.BoundField, R.RangeStart.data(), C->Descending ? High : Low);
    PutKeyValue(C, R.BoundField, R.RangeEnd.data(), C->Descending ? Low : High);
    ++Fields;
  } else if (static_cast<size_t>(Fields) == R.KeyValues.size() && R.InList) {
    // The list's values, each once; a value that no interval states (a NULL matches the NULL
    // columns) leaves the list to the test of every row.
    bool Stated = true;
    for (const TExpToken* Item = R.InList->Operand2; Item && Stated; Item = Item->Operand2) {
      int64_t Low, High;
      const TKeyFit F = Fit(opEqual, Item, R.BoundField, Low, High);
      if (F == TKeyFit::Interval) R.Points.push_back(Low);
      Stated = F != TKeyFit::Unknown;
    }
    if (!Stated) {
      R.Points.clear();
      if (Fields == 0) {
        C->SetIndexNo(kNaturalOrderIndex);
        return true;
      }
    } else {
      if (R.Points.empty()) return false;
      std::sort(R.Points.begin(), R.Points.end());
      R.Points.erase(std::unique(R.Points.begin(), R.Points.end()), R.Points.end());
      R.InCondition->Answered = true;
      PutKeyValue(C, R.BoundField, R.RangeStart.data(), R.Points[0]);
      ++Fields;
    }
  }
  C->SetRange(false, R.RangeStart.data(), Fields, Bounded ? R.RangeEnd.data() : R.RangeStart.data(), Fields);
  return true;
}

bool TQueryPlan::NextKeyPart(TSourceRun& R) {
  if (R.Point + 1 >= R.Points.size()) return false;
  const int64_t V = R.Points[++R.Point];
  TDataCursor* C = R.Cursor;
  PutKeyValue(C, R.BoundField, R.RangeStart.data(), V);
  const int Fields = R.RangeFields + 1;
  C->SetRange(false, R.RangeStart.data(), Fields, R.RangeStart.data(), Fields);
  return true;
}

namespace {

// True when every column of the tree belongs to Source and it holds no sub-select.
bool OnlyColumnsOf(const TExpToken* N, const void* Source) {
  if (N == nullptr) return true;
  if (N->Kind == nkSubSelect) return false;
  if (N->Kind == nkColumn && N->Source != Source) return false;
  return OnlyColumnsOf(N->Operand1, Source) && OnlyColumnsOf(N->Operand2, Source);
}

}  // namespace

// The conditions on the driving table alone that its indexes can answer (comparisons, BETWEEN,
// IN, prefix LIKE, with AND, OR and NOT) become filters on its cursor, so that the loop reads only
// the records they leave instead of the whole table. The loop still tests every condition on
// every row it reads: a filter only takes away rows that fail.
void TQueryPlan::FilterDrivingTable(std::vector<TFilterHandle>& Added) {
  if (Runs.empty()) return;
  TSourceRun& R = *Runs.front();
  TDataCursor* C = R.Cursor;
  if (!C || R.Outer || !R.KeyValues.empty() || C->LiveResult) return;
  // A filter compares strings in the table's collation and its indexes order them so: under
  // another one (a LANGUAGE clause) it would take away rows the statement's conditions keep.
  if (C->LanguageID != Language || C->SortID != Sort) return;
  std::vector<const TCondition*> Served;
  for (auto& Cond : Conditions) {
    if (Cond->Level != 0 || Cond->On || Cond->OnRun) continue;
    if (!OnlyColumnsOf(Cond->Node, R.Source)) continue;
    std::unique_ptr<TCursorCondition> T;
    try {
      T = MakeTreeCondition(*C, CopyExpression(Cond->Node), true, false);
    } catch (const EVXDBEngineError&) {
      continue;
    }
    if (T && T->Optimization() != 0) Served.push_back(Cond.get());
  }
  // Bounds (or an IN list) on one key field make a range of their own. When indexes serve other
  // conditions too, the filter meets all of them in the indexes instead, as it always did.
  if (R.HasKey()) {
    auto OfTheRange = [&](const TCondition* Cond) {
      if (Cond == R.InCondition) return true;
      for (const TSourceRun::TKeyBound& B : R.Bounds)
        if (B.Condition == Cond) return true;
      return false;
    };
    if (std::all_of(Served.begin(), Served.end(), OfTheRange)) return;
    for (const TSourceRun::TKeyBound& B : R.Bounds) B.Condition->Answered = false;
    if (R.InCondition) R.InCondition->Answered = false;
    R.Bounds.clear();
    R.InList = nullptr;
    R.InCondition = nullptr;
  }
  // One filter of all of them joined by AND: ranges of one index on one column then meet in one
  // walk of the keys between them.
  TExpTree Joined;
  for (const TCondition* Cond : Served) {
    if (!Joined.Get()) {
      Joined.Reset(CopyExpression(Cond->Node));
      continue;
    }
    TExpToken* And = GetExpToken();
    And->Kind = nkBinary;
    And->Code = opAnd;
    And->DataType = ftBoolean;
    And->Text = "AND";
    And->Operand1 = Joined.Release();
    And->Operand2 = CopyExpression(Cond->Node);
    And->Operand1->Parent = And->Operand2->Parent = And;
    Joined.Reset(And);
  }
  if (!Joined.Get()) return;
  std::unique_ptr<TCursorCondition> T = MakeTreeCondition(*C, Joined.Release(), true, false);
  if (!C->IsNaturalOrder()) C->SetIndexNo(kNaturalOrderIndex);
  TFilterHandle H = C->AddFilter(nullptr, std::string(), true, false, true, false, nullptr, true, std::move(T));
  Added.push_back(H);
  C->ActivateFilter(H);
}

// MAX or MIN of one column of one table where an index orders the rows of the key range by that
// column (the column is the index field after the range's equalities, bounded or not): the rows
// are read from the matching end until one passes the conditions. NULL keys lie at the end of the
// smallest values (first in an ascending index, last in a descending one), so the first value
// MAX meets is either the largest or NULL (then every remaining value is NULL), and MIN passes
// the NULLs.
bool TQueryPlan::AggregateFromOneEnd() {
  if (!WholeAggregate || Runs.size() != 1 || Query->ResultFields.size() != 1) return false;
  const TResultField& F = *Query->ResultFields[0];
  if ((F.Aggregate != 2 && F.Aggregate != 3) || F.CountAll || !F.Expression.Get()) return false;
  TSourceRun& R = *Runs.front();
  const TExpToken* Col = F.Expression->Operand1;
  if (!Col || Col->Kind != nkColumn || Col->Source != R.Source || R.Outer || !R.Cursor) return false;
  TDataCursor* C = R.Cursor;
  if (Col->FieldNo < 1 || Col->FieldNo > C->FieldDescs.size()) return false;
  const TFieldDescriptor& D = C->FieldDescs[Col->FieldNo - 1u];
  const uint8_t T = D.Type();
  if (T != ftInteger && T != ftSmallInt && T != ftWord && T != ftDate && T != ftTime) return false;
  const int Field = D.Number();
  ReadyConditions();
  bool Descending = false;  // the index holds the column's largest values first (and NULL last)
  if (!R.HasKey()) {
    const int Index = C->FindIndexOnField(Field, false, true);
    if (Index < 0) return false;
    if (C->IndexNo != Index) C->SetIndexNo(static_cast<uint8_t>(Index));
  } else {
    uint8_t Desc[120] = {};
    C->GetIndexDesc(R.KeyIndex, Desc);
    const size_t At = R.KeyValues.size();
    if (Desc[kIndexDescFieldCountOffset] <= At || GetU16(Desc + kIndexDescFieldNumbersOffset + 2 * At) != Field)
      return false;
    Descending = Desc[kIndexDescDescendingOffset] != 0 || Desc[kIndexDescFieldDescendingOffset + At] != 0;
    if (!SetKeyRange(R)) {
      Rows.clear();
      return true;
    }
    // The ranges of an IN list have no one end.
    if (C->IsNaturalOrder() || static_cast<size_t>(R.RangeFields) != At || R.Points.size() > 1) return false;
  }
  if (C->IsNaturalOrder()) return false;
  const bool Max = F.Aggregate == 3;
  const bool FromEnd = Max != Descending;
  Rows.clear();
  if (FromEnd)
    C->MoveToEnd();
  else
    C->MoveToBegin();
  uint8_t* Record = R.Record.data();
  while ((FromEnd ? C->GetPriorRecord(Record) : C->GetNextRecord(Record)) == 0) {
    if (!Test(0, false, false)) continue;
    TSQLRow Row;
    CollectRow(Row);
    if (Row[0].Null) {
      if (Max) break;
      continue;
    }
    Rows.push_back(std::move(Row));
    break;
  }
  return true;
}

void TQueryPlan::ScanRows(const std::function<bool()>& Emit, bool Report) {
  ReadyConditions();
  if (Runs.empty()) return;
  // Progress follows the rows of the driving (first) table; an abort ends the loop after the
  // current row.
  TDataCursor* Driving = Runs.front()->Cursor;
  const uint32_t Total = Report ? static_cast<uint32_t>(std::max(Driving->GetRecordCount(), 0)) : 0;
  uint32_t Position = 0, LastRecord = 0;
  bool Abort = false;
  StepRows(0, [&]() {
    if (Report && Driving->CurrentRecordNumber != LastRecord) {
      LastRecord = Driving->CurrentRecordNumber;
      Progress(++Position, Total, Abort);
    }
    return Emit() && !Abort;
  });
  if (Report && !Abort && Position != Total) Progress(Total, Total, Abort);
}

void TQueryPlan::CollectRow(TSQLRow& Row) {
  const size_t N = Query->ResultFields.size();
  Row.resize(N);
  for (size_t I = 0; I < N; ++I) {
    const TResultField& F = *Query->ResultFields[I];
    if (F.CountAll) {
      TSQLCell& C = Row[I];
      const int32_t One = 1;
      C.Null = false;
      C.Bytes.assign(8, 0);
      std::memcpy(C.Bytes.data(), &One, sizeof One);
      continue;
    }
    if (F.DataType == ftBlob && !F.Aggregate && !F.IsExpression) {
      Row[I] = ReadBlobCell(RunOf(F.SourceTable), F.SourceFieldNo);
      continue;
    }
    if (!F.Aggregate && !F.IsExpression && F.SourceTable) {
      // A plain column is read straight from its table's row.
      const TSourceRun* R = RunOf(F.SourceTable);
      if (!R || R->NullRow || F.SourceFieldNo < 1 || F.SourceFieldNo > R->Fields.size()) {
        Row[I].Null = true;
        Row[I].Bytes.clear();
      } else {
        AssignFieldCell(Row[I], R->Record, R->Fields[F.SourceFieldNo - 1u]);
      }
      continue;
    }
    TExpToken* T = EvaluateExpression(F.Expression.Get(), nullptr, Eval);
    AssignCell(Row[I], T);
    PutExpToken(T);
  }
}

TSQLCell TQueryPlan::ReadBlobCell(TSourceRun* Run, int FieldNo) {
  TSQLCell C;
  if (!Run || Run->NullRow) return C;
  TDataCursor* Cursor = Run->Cursor;
  uint8_t* Record = Run->Record.data();
  bool Blank = true;
  Cursor->GetField(FieldNo, Record, Blank, nullptr);
  if (Blank) return C;
  auto Check = [&](uint16_t Code) {
    if (Code != 0) RaiseEngineError(Code, Cursor->TableName);
  };
  Check(Cursor->OpenBlob(FieldNo, Record, false, false));
  try {
    int64_t Size = 0, Count = 0;
    Check(Cursor->GetBlobSize(FieldNo, Record, false, Size));
    C.Bytes.resize(static_cast<size_t>(Size));
    if (Size > 0) Check(Cursor->ReadBlob(FieldNo, Record, false, Count, Size, C.Bytes.data(), 0));
    C.Null = false;
  } catch (...) {
    Cursor->CloseBlob(FieldNo, Record, false);
    throw;
  }
  Check(Cursor->CloseBlob(FieldNo, Record, false));
  return C;
}

void TQueryPlan::WriteBlobValue(TDataCursor* Cursor, int FieldNo, uint8_t* Record, const uint8_t* Data,
                                size_t Length) {
  auto Check = [&](uint16_t Code) {
    if (Code != 0) RaiseEngineError(Code, Cursor->TableName);
  };
  // The value is replaced as a whole; an empty value leaves the field NULL.
  Check(Cursor->OpenBlob(FieldNo, Record, false, false));
  Check(Cursor->TruncateBlob(FieldNo, Record, false, 0));
  if (Length > 0) Check(Cursor->WriteBlob(FieldNo, Record, false, static_cast<int64_t>(Length), Data, 0));
}

// ---- SELECT -------------------------------------------------------------------------------------

namespace {

// The groups of a grouped SELECT, folded row by row while the rows are read: each group keeps
// its first row (the values of its plain columns) and the running state of its aggregates, found
// through an ordered map on the GROUP BY columns. Groups are equal when the columns' ordering says
// so (collated strings), and the map hands them out in the order of the GROUP BY columns, which is
// the order of the result. The rows of one group are folded in the order they are read.
class TGroupFold {
 public:
  TGroupFold(const std::vector<std::unique_ptr<TResultField>>& Fields, const std::vector<int>& Keys, bool Whole,
             uint16_t Language, uint16_t Sort)
      : FFields(Fields), FGroups(TRowOrder{&Fields, &Keys, Language, Sort}), FWhole(Whole) {}

  void Add(const TSQLRow& Row) {
    auto It = FGroups.find(Row);
    if (It == FGroups.end()) It = FGroups.emplace(Row, std::vector<TAccumulator>(FFields.size())).first;
    std::vector<TAccumulator>& Acc = It->second;
    const uint16_t Language = FGroups.key_comp().Language, Sort = FGroups.key_comp().Sort;
    for (size_t C = 0; C < FFields.size(); ++C) {
      const TResultField& F = *FFields[C];
      const TSQLCell& V = Row[C];
      TAccumulator& A = Acc[C];
      if (F.Aggregate == 0 || V.Null) continue;
      const uint8_t ArgType = F.CountAll ? ftInteger : F.Expression->DataType;
      switch (F.Aggregate) {
        case 1:  // SUM: 64-bit integers or long doubles, checked against the result type at the end
          if (IsIntegerType(ArgType)) {
            if (__builtin_add_overflow(A.Integer, CellInteger(V, ArgType), &A.Integer))
              SQLFail("Result of SUM aggregate function is out of range for column '" + F.ResultName + "'");
          } else {
            A.Float += CellFloat(V, ArgType);
          }
          A.Has = true;
          break;
        case 2:
        case 3: {
          const int Cmp = A.Has ? CompareSQLCells(V, A.Best, ArgType, false, Language, Sort) : 0;
          if (!A.Has || (F.Aggregate == 2 ? Cmp < 0 : Cmp > 0)) A.Best = V;
          A.Has = true;
          break;
        }
        case 4:  // AVG: the sum and the count of the non-NULL values
          A.Float += CellFloat(V, ArgType);
          ++A.Count;
          break;
        default:  // COUNT
          ++A.Count;
          break;
      }
    }
  }

  // The finished group rows in group order. A whole-table aggregate has its one row even
  // without any input row.
  template <class Keep>
  std::vector<TSQLRow> Finish(const Keep& KeepGroup) {
    if (FWhole && FGroups.empty()) FGroups.emplace(TSQLRow(FFields.size()), std::vector<TAccumulator>(FFields.size()));
    std::vector<TSQLRow> Out;
    Out.reserve(FGroups.size());
    for (auto& [First, Acc] : FGroups) {
      TSQLRow G = First;
      for (size_t C = 0; C < FFields.size(); ++C) {
        const TResultField& F = *FFields[C];
        TAccumulator& A = Acc[C];
        switch (F.Aggregate) {
          case 0:
            break;
          case 1:
            if (!A.Has) {
              G[C] = TSQLCell();
            } else if (F.DataType == ftFloat || F.DataType == ftTimeStamp) {
              G[C] = CellPut<double>(static_cast<double>(A.Float));
            } else if (F.DataType == ftBCD) {
              const long double Limit = 9.2e17L / std::pow(10.0L, F.Scale);
              if (std::fabs(A.Float) >= Limit)
                SQLFail("Result of SUM aggregate function is out of range for column '" + F.ResultName + "'");
              G[C] = CellPut<int64_t>(FloatToEngineBCD(F.Scale, static_cast<double>(A.Float)));
            } else {
              int64_t Lo = std::numeric_limits<int32_t>::min(), Hi = std::numeric_limits<int32_t>::max();
              if (F.DataType == ftWord) Lo = 0, Hi = 65535;
              if (A.Integer < Lo || A.Integer > Hi)
                SQLFail("Result of SUM aggregate function is out of range for column '" + F.ResultName + "'");
              if (F.DataType == ftWord)
                G[C] = CellPut<uint16_t>(static_cast<uint16_t>(A.Integer));
              else
                G[C] = CellPut<int32_t>(static_cast<int32_t>(A.Integer));
            }
            break;
          case 2:
          case 3:
            G[C] = A.Has ? std::move(A.Best) : TSQLCell();
            break;
          case 4:
            G[C] = A.Count ? CellPut<double>(static_cast<double>(A.Float / A.Count)) : TSQLCell();
            break;
          default:
            G[C] = CellPut<int32_t>(static_cast<int32_t>(A.Count));
            break;
        }
      }
      if (KeepGroup(G)) Out.push_back(std::move(G));
    }
    FGroups.clear();
    return Out;
  }

 private:
  struct TRowOrder {
    const std::vector<std::unique_ptr<TResultField>>* Fields;
    const std::vector<int>* Keys;
    uint16_t Language, Sort;
    bool operator()(const TSQLRow& A, const TSQLRow& B) const {
      for (int K : *Keys) {
        const size_t C = static_cast<size_t>(K);
        const int R = CompareSQLCells(A[C], B[C], (*Fields)[C]->DataType, false, Language, Sort);
        if (R != 0) return R < 0;
      }
      return false;
    }
  };
  const std::vector<std::unique_ptr<TResultField>>& FFields;
  std::map<TSQLRow, std::vector<TAccumulator>, TRowOrder> FGroups;
  bool FWhole;
};

}  // namespace

void TQueryPlan::GroupRows() {
  TGroupFold Fold(Query->ResultFields, GroupColumns, WholeAggregate, Language, Sort);
  for (const TSQLRow& Row : Rows) Fold.Add(Row);
  Rows = Fold.Finish([this](const TSQLRow& G) { return KeepGroup(G); });
}

bool TQueryPlan::KeepGroup(const TSQLRow& G) {
  if (!Query->Having.Get()) return true;
  GroupRow = &G;
  TExpToken* R = EvaluateExpression(Query->Having.Get(), nullptr, Eval);
  GroupRow = nullptr;
  const bool Keep = !R->Null && R->Get<uint16_t>() != 0;
  PutExpToken(R);
  return Keep;
}

void TQueryPlan::SortRows(const std::vector<int>& Columns, const std::vector<bool>& Descending, bool NoCase,
                          bool Unique) {
  auto& Fields = Query->ResultFields;
  auto Cmp = [&](const TSQLRow& A, const TSQLRow& B) {
    for (size_t K = 0; K < Columns.size(); ++K) {
      const size_t C = static_cast<size_t>(Columns[K]);
      int R = CompareSQLCells(A[C], B[C], Fields[C]->DataType, NoCase, Language, Sort);
      if (Descending[K]) R = -R;
      if (R != 0) return R;
    }
    return 0;
  };
  std::stable_sort(Rows.begin(), Rows.end(), [&](const TSQLRow& A, const TSQLRow& B) { return Cmp(A, B) < 0; });
  if (Unique)
    Rows.erase(std::unique(Rows.begin(), Rows.end(), [&](const TSQLRow& A, const TSQLRow& B) { return Cmp(A, B) == 0; }),
               Rows.end());
}

void TQueryPlan::ExecuteLive() {
  TDataCursor* C = Runs.front()->Cursor;
  // The filter is made over the table's own fields, then the result columns become the map.
  if (LiveFilter) {
    C->DropFilter(LiveFilter);
    LiveFilter = nullptr;
  }
  C->SetFieldMap(PhysicalDescs);
  if (Query->Where.Get()) {
    LiveFilter = C->AddFilter(nullptr, std::string(), true, false, true, false, nullptr, true,
                              MakeTreeCondition(*C, CopyExpression(Query->Where.Get()), true, false));
    C->ActivateFilter(LiveFilter);
  }
  C->SetIndexNo(OrderIndex);
  C->SetFieldMap(LiveDescs);
  C->SetLiveResult(true);
  C->MoveToBegin();
  ResultCursor = C;
  Query->RowsAffected = static_cast<uint32_t>(std::max(C->GetRecordCount(), 0));
}

void TQueryPlan::ExecuteSelect() {
  TDataQuery* Q = Query;
  if (Live) {
    ExecuteLive();
    return;
  }
  Rows.clear();
  bool Counted = false, Folded = false;
  std::vector<TDataCursor*> Held, Bracketed;
  std::vector<TFilterHandle> Filters;
  auto DropFilters = [&]() {
    for (TFilterHandle H : Filters) Runs.front()->Cursor->DropFilter(H);
    Filters.clear();
  };
  auto EndBrackets = [&]() {
    for (auto It = Bracketed.rbegin(); It != Bracketed.rend(); ++It) (*It)->EndRead();
    Bracketed.clear();
  };
  try {
    if (Q->WithLocks)
      for (auto& R : Runs) {
        R->Cursor->HoldReadLock();
        Held.push_back(R->Cursor);
      }
    // The whole statement reads inside one read bracket per source table: the tables' changes are
    // looked for once, and no other process can commit into them until the rows are read, so the
    // rows come from one state of each table. The next statement sees every change committed
    // meanwhile.
    for (auto& R : Runs) {
      R->Cursor->BeginRead();
      Bracketed.push_back(R->Cursor);
    }
    OptimizeJoins();
    const bool Grouped = Q->GroupBy || WholeAggregate;
    const int32_t Max = Q->MaxRowCount;
    if (WholeAggregate && Q->ResultFields.size() == 1 && Q->ResultFields[0]->CountAll && Runs.size() == 1 &&
        Conditions.empty()) {
      // COUNT(*) of a whole table reads no rows: its natural order's visible set counts them.
      TDataCursor* C = Runs.front()->Cursor;
      if (!C->IsNaturalOrder()) C->SetIndexNo(kNaturalOrderIndex);
      const int32_t Count = std::max(C->GetRecordCount(), 0);
      bool Abort = false;
      Progress(static_cast<uint32_t>(Count), static_cast<uint32_t>(Count), Abort);
      Rows.assign(1, TSQLRow{CellPut<int32_t>(Count)});
      Counted = true;
    } else if (!AggregateFromOneEnd()) {
      FilterDrivingTable(Filters);
      if (Grouped) {
        // Each row is folded into its group as it is read; only the groups are kept.
        TGroupFold Fold(Q->ResultFields, GroupColumns, WholeAggregate, Language, Sort);
        TSQLRow Row;
        ScanRows([&]() {
          CollectRow(Row);
          Fold.Add(Row);
          return true;
        });
        Rows = Fold.Finish([this](const TSQLRow& G) { return KeepGroup(G); });
        Folded = true;
      } else {
        ScanRows([&]() {
          if (Max >= 0 && Rows.size() >= static_cast<size_t>(Max)) return false;
          Rows.emplace_back();
          CollectRow(Rows.back());
          return true;
        });
      }
      DropFilters();
    }
    EndBrackets();
    for (TDataCursor* C : Held) C->ReleaseReadLock();
    Held.clear();
  } catch (...) {
    try {
      DropFilters();
    } catch (...) {
    }
    try {
      EndBrackets();
    } catch (...) {
    }
    for (TDataCursor* C : Held) C->ReleaseReadLock();
    throw;
  }
  if ((Q->GroupBy || WholeAggregate) && !Counted && !Folded) GroupRows();
  if (Q->Distinct) {
    std::vector<int> All;
    for (size_t I = 0; I < Q->ResultFields.size(); ++I) All.push_back(static_cast<int>(I));
    SortRows(All, std::vector<bool>(All.size(), false), false, true);
  }
  if (!OrderColumns.empty()) {
    std::vector<bool> Desc;
    for (auto& O : Q->OrderBy) Desc.push_back(O->Descending != 0);
    SortRows(OrderColumns, Desc, Q->NoCase, false);
  }
  if (!Q->SubQuery) WriteResultTable();
  Q->RowsAffected = static_cast<uint32_t>(Rows.size());
}

size_t TQueryPlan::ResultBytes() const {
  size_t Bytes = 0;
  for (const TSQLRow& Row : Rows) {
    Bytes += 16;
    for (const TSQLCell& C : Row) Bytes += C.Bytes.size() + 1;
  }
  return Bytes;
}

void TQueryPlan::WriteResultTable() {
  TDataQuery* Q = Query;
  TDataSession* Session = Executor->Owner()->Session;
  // Every execution writes a fresh (or emptied) table, so its record order is the order of the rows.
  ReleaseResultCursor();
  std::string Name = Q->ResultTableName;
  bool InMemory = Q->IntoMemory;
  // A result without INTO that fits in memory stays there: creating, writing and deleting three
  // files in the private directory would cost more than most statements' own work. Bigger results
  // go to the private directory.
  const bool Spill = !Name.empty() || InMemory || ResultBytes() >= Executor->MemoryResultLimit;
  TDataDirectory*& Dir = Spill ? ResultDirectory : MemoryResultDirectory;
  if (!Dir) {
    if (InMemory || !Spill) {
      Dir = Session->OpenDirectory("Memory", "");
    } else if (Name.find_first_of(":\\/") != std::string::npos) {
      const size_t P = Name.find_last_of(":\\/");
      Dir = Session->OpenDirectory(Name.substr(0, P + 1), Name.substr(0, P + 1));
    } else {
      Dir = Session->OpenDirectory(Session->GetPrivateDir(), Session->GetPrivateDir());
    }
  }
  if (!Spill) InMemory = true;
  if (const size_t P = Name.find_last_of(":\\/"); P != std::string::npos) Name = Name.substr(P + 1);
  // A private in-memory result (no INTO, not encrypted) is nobody else's: the (emptied) table of an
  // earlier result of the same shape that no caller took is filled again.
  const bool Reusable = !Spill && Q->ResultTableName.empty() && !Q->Encrypted;
  TSQLExecutor::TResultShape Shape;
  Shape.Language = Language;
  Shape.Sort = Sort;
  Shape.BlobBlockSize = Q->BlobBlockSize;
  Shape.MajorVersion = Q->MajorVersion;
  Shape.MinorVersion = Q->MinorVersion;
  Shape.Description = Q->Description;
  if (Reusable) ResultKept = Executor->ReuseResult(ResultDescs, Shape);
  TDataCursor* C = ResultKept.Cursor;
  if (!C) {
    TCreateTableParams P;
    P.Fields = ResultDescs;
    P.Indexes.push_back(std::array<uint8_t, 120>{});
    P.LanguageID = Language;
    P.SortID = Sort;
    P.BlobBlockSize = Q->BlobBlockSize;
    P.Description = Q->Description;
    P.UserMajorVersion = Q->MajorVersion;
    P.UserMinorVersion = Q->MinorVersion;
    P.Encrypted = Q->Encrypted;
    P.Password = Q->Password;
    P.Overwrite = true;
    if (Name.empty()) Dir->GetTempTableName(InMemory, Name);
    C = new TDataCursor(Dir);
    try {
      C->SetTableName(Name);
      C->SetInMemory(InMemory);
      C->SetExclusive(true);
      C->SetTemporary(Q->ResultTableName.empty());
      C->CreateTable(P);
      C->Open();
    } catch (...) {
      delete C;
      throw;
    }
    if (Reusable) {
      Dir->AddRef();
      ResultKept.Directory = Dir;
      ResultKept.Fields = ResultDescs;
      ResultKept.Shape = Shape;
      ResultKept.AsCreated = C->FieldDescs;
    }
  }
  ResultCursor = C;
  ResultReusable = Reusable;
  const size_t RecordSize = C->RecordBufferSize;
  auto Build = [&](const TSQLRow& Row, uint8_t* Buffer) {
    C->InitRecord(Buffer);
    for (size_t I = 0; I < Row.size(); ++I)
      StoreCell(C, static_cast<int>(I + 1), Buffer, Row[I], Q->ResultFields[I]->DataType,
                Q->ResultFields[I]->ResultName, "SELECT");
  };
  bool Blobs = false;
  for (const TFieldDescriptor& D : C->FieldDescs) Blobs = Blobs || D.Type() == ftBlob;
  if (!Blobs) {
    // The (exclusive, index-free) result table takes the rows in pieces of about a megabyte, each
    // appended at once.
    const size_t Piece = std::max<size_t>(1, (size_t(1) << 20) / RecordSize);
    std::vector<uint8_t> Buffers(std::min(Piece, Rows.size()) * RecordSize);
    for (size_t First = 0; First < Rows.size(); First += Piece) {
      const size_t N = std::min(Piece, Rows.size() - First);
      for (size_t I = 0; I < N; ++I) Build(Rows[First + I], Buffers.data() + I * RecordSize);
      C->AppendRecords(Buffers.data(), static_cast<uint32_t>(N));
    }
    C->MoveToBegin();
    return;
  }
  // A BLOB value is written through a BLOB opened on its row's buffer, so rows with BLOB columns
  // go in one by one, as one transaction of the (exclusive) result table: its files are written
  // once at the end instead of after every row.
  std::vector<uint8_t> Buffer(RecordSize);
  TDataTable* T = C->Table;
  T->StartTransaction();
  try {
    for (const TSQLRow& Row : Rows) {
      Build(Row, Buffer.data());
      C->InsertRecord(Buffer.data(), false);
    }
    T->Commit(true);
  } catch (...) {
    try {
      T->Rollback();
    } catch (...) {
    }
    throw;
  }
  C->MoveToBegin();
}

void TQueryPlan::ReleaseResultCursor() {
  TDataCursor* C = ResultCursor;
  TSQLExecutor::TKeptResult Kept = std::move(ResultKept);
  ResultKept = TSQLExecutor::TKeptResult();
  TDataDirectory* Ref = Kept.Directory;
  ResultCursor = nullptr;
  const bool Reusable = ResultReusable;
  ResultReusable = false;
  if (C && Reusable && Ref) {
    Kept.Cursor = C;
    Executor->KeepResult(std::move(Kept));
    return;
  }
  if (C) {
    try {
      C->Close();  // a result without INTO is a temporary table: its files go
    } catch (...) {
    }
    delete C;
  }
  if (Ref) {
    try {
      Ref->Session->CloseDirectory(Ref);
    } catch (...) {
    }
  }
}

// ---- Values into records ------------------------------------------------------------------------

void TQueryPlan::StoreCell(TDataCursor* Cursor, int FieldNo, uint8_t* Record, const TSQLCell& Cell, uint8_t Type,
                           const std::string& Column, const char* Statement) {
  const TFieldDescriptor& D = Cursor->FieldDescs[static_cast<size_t>(FieldNo - 1)];
  if (D.Type() == ftBlob && (Cell.Null || Type == ftBlob || Type == ftString)) {
    size_t Length = Cell.Null ? 0 : Cell.Bytes.size();
    if (Type == ftString) Length = strnlen(reinterpret_cast<const char*>(Cell.Bytes.data()), Length);
    WriteBlobValue(Cursor, FieldNo, Record, Cell.Bytes.data(), Length);
    return;
  }
  if (Cell.Null) {
    Cursor->PutField(FieldNo, Record, false, nullptr);
    return;
  }
  // A value of the field's own type is its bytes (a text goes through the conversion, which fits
  // it to the field's length).
  if (Type == D.Type() && Type != ftString && Cell.Bytes.size() >= D.DataSize()) {
    Cursor->PutField(FieldNo, Record, false, Cell.Bytes.data());
    return;
  }
  TValueBuffer Buffer(std::max<size_t>(D.DataSize(), 8) + 1);
  uint8_t* Dest = Buffer.Data();
  if (!ConvertFieldValue(Type, Cell.Bytes.data(), static_cast<uint32_t>(Cell.Bytes.size()), D.Type(), Dest,
                         D.DataSize(), D.Bytes[kFieldDescDataScaleOffset], *Settings)) {
    std::string Text;
    TSQLCell Copy = Cell;
    std::vector<uint8_t> T(256, 0);
    if (ConvertFieldValue(Type, Copy.Bytes.data(), static_cast<uint32_t>(Copy.Bytes.size()), ftString, T.data(), 251,
                          0, *Settings))
      Text = reinterpret_cast<const char*>(T.data());
    SQLFail("Type mismatch between column " + Column + " and constant value " + Text + " in " + Statement +
            " statement");
  }
  Cursor->PutField(FieldNo, Record, false, Dest);
}

void TQueryPlan::StoreValue(TDataCursor* Cursor, int FieldNo, uint8_t* Record, const TExpToken* Value,
                            const std::string& Column, const std::string& ValueText, const char* Statement) {
  const TFieldDescriptor& D = Cursor->FieldDescs[static_cast<size_t>(FieldNo - 1)];
  const bool Null = Value->Null || Value->DataType == dtUntyped;
  if (D.Type() == ftBlob && (Null || Value->DataType == ftString || Value->DataType == dtLongText ||
                             Value->DataType == ftBlob)) {
    // A BLOB value (a BLOB parameter) holds its bytes, not a link into this table's BLOB file.
    const std::string S = Null ? std::string()
                          : Value->DataType == ftBlob
                              ? std::string(reinterpret_cast<const char*>(Value->Value), Value->Size)
                              : Value->AsString();
    WriteBlobValue(Cursor, FieldNo, Record, reinterpret_cast<const uint8_t*>(S.data()), S.size());
    return;
  }
  if (Null) {
    Cursor->PutField(FieldNo, Record, false, nullptr);
    return;
  }
  TValueBuffer Dest(std::max<size_t>(D.DataSize(), 8) + 1);
  if (!ConvertFieldValue(Value->DataType, Value->Value, Value->Capacity, D.Type(), Dest.Data(), D.DataSize(),
                         D.Bytes[kFieldDescDataScaleOffset], *Settings))
    SQLFail("Type mismatch between column " + Column + " and constant value " + ValueText + " in " + Statement +
            " statement");
  Cursor->PutField(FieldNo, Record, false, Dest.Data());
}

void TQueryPlan::StoreValues(TDataCursor* Cursor, uint8_t* Record, const char* Statement) {
  for (size_t I = 0; I < TargetFields.size(); ++I) {
    TExpToken* V = EvaluateExpression(Query->UpdateValues[I]->Expression.Get(), nullptr, Eval);
    try {
      StoreValue(Cursor, TargetFields[I], Record, V, Query->UpdateFields[I]->ColumnName, Query->UpdateValues[I]->Text,
                 Statement);
    } catch (...) {
      PutExpToken(V);
      throw;
    }
    PutExpToken(V);
  }
}

// ---- INSERT, UPDATE, DELETE ---------------------------------------------------------------------

namespace {

// The transaction and commit interval of a statement that writes many rows.
class TWriteTransaction {
 public:
  TWriteTransaction(TDataDirectory* Dir, const TDataQuery& Q, int RecordSize) : FDir(Dir), FGiven(Q.CommitIntervalGiven) {
    if (!Dir->InTransaction) {
      Dir->StartTransaction();
      FStarted = true;
    }
    FInterval = FGiven ? Q.CommitInterval
                       : static_cast<uint32_t>(std::min(262140 / std::max(RecordSize, 1), 8191));
    if (FInterval == 0) FInterval = 1;
  }
  ~TWriteTransaction() {
    if (FStarted && !FDone) {
      try {
        FDir->Rollback();
      } catch (...) {
      }
    }
  }
  void RowDone(uint32_t Count) {
    if ((FStarted || FGiven) && Count % FInterval == 0) {
      FDir->Commit(false);
    }
  }
  void Finish() {
    if (FStarted) FDir->Commit(true);
    FDone = true;
  }

 private:
  TDataDirectory* FDir;
  bool FGiven;
  bool FStarted = false;
  bool FDone = false;
  uint32_t FInterval = 1;
};

}  // namespace

void TQueryPlan::ExecuteInsert() {
  TDataQuery* Q = Query;
  TSourceRun& T = *Runs.front();
  TDataCursor* C = T.Cursor;
  C->SetNoAutoInc(Q->NoAutoInc);
  std::vector<uint8_t> Buffer(C->RecordBufferSize);
  Q->RowsAffected = 0;
  if (!Q->InsertFromSelect) {
    C->InitRecord(Buffer.data());
    StoreValues(C, Buffer.data(), "INSERT");
    C->InsertRecord(Buffer.data(), false);
    Q->RowsAffected = 1;
    return;
  }
  // The sub-select's rows were collected before any is inserted, so a sub-select that reads the
  // target table never sees the rows this statement adds.
  TQueryPlan* Sub = Executor->PlanOf(Q->SubSelect);
  TWriteTransaction Tx(C->Directory, *Q, C->GetRecordSize());
  uint32_t Count = 0;
  bool Abort = false;
  const uint32_t Total = static_cast<uint32_t>(Sub->Rows.size());
  for (const TSQLRow& Row : Sub->Rows) {
    Progress(Count + 1, Total, Abort);
    C->InitRecord(Buffer.data());
    for (size_t I = 0; I < TargetFields.size(); ++I)
      StoreCell(C, TargetFields[I], Buffer.data(), Row[I], Sub->Query->ResultFields[I]->DataType,
                Q->UpdateFields[I]->ColumnName, "INSERT");
    C->InsertRecord(Buffer.data(), false);
    Tx.RowDone(++Count);
    Q->RowsAffected = Count;
    if (Abort) break;
  }
  Tx.Finish();
  Q->RowsAffected = Count;
}

void TQueryPlan::ExecuteUpdateDelete() {
  TDataQuery* Q = Query;
  TSourceRun& T = *Runs.front();
  TDataCursor* C = T.Cursor;
  if (Q->NoAutoInc) C->SetNoAutoInc(true);
  // The rows are chosen first, so that a changed row is never met again by the scan.
  std::vector<uint32_t> Marks;
  ScanRows(
      [&]() {
        Marks.push_back(C->CurrentRecordNumber);
        return true;
      },
      false);
  // The rows are found again by record number, in natural order.
  C->SetIndexNo(kNaturalOrderIndex);
  Q->RowsAffected = 0;
  TWriteTransaction Tx(C->Directory, *Q, C->GetRecordSize());
  std::vector<uint8_t> Buffer(C->RecordBufferSize);
  uint32_t Count = 0;
  bool Abort = false;
  for (auto& M : Marks) {
    Progress(Count + 1, static_cast<uint32_t>(Marks.size()), Abort);
    uint8_t Mark[4];
    std::memcpy(Mark, &M, 4);
    if (!C->SetToBookmark(Mark, false, false) || C->CurrentRecordNumber != M) continue;
    if (C->GetCurrentRecord(T.Record.data(), false) != 0) continue;
    if (Q->Kind == skDelete) {
      C->DeleteRecord(T.Record.data(), false);
    } else {
      Buffer = T.Record;
      StoreValues(C, Buffer.data(), "UPDATE");
      C->ModifyRecord(Buffer.data(), true, false);
    }
    Tx.RowDone(++Count);
    Q->RowsAffected = Count;
    if (Abort) break;
  }
  Tx.Finish();
  Q->RowsAffected = Count;
}

void TQueryPlan::Execute() {
  const auto Start = std::chrono::steady_clock::now();
  // Parameters get their types after the statement was prepared: the conditions are checked
  // again with them.
  if ((Query->Kind == skSelect || Query->Kind == skUpdate || Query->Kind == skDelete) && Query->Where.Get() &&
      !Executor->Statement()->Params.empty()) {
    TTypeCheckContext C = CheckContext("WHERE or JOIN clause", true);
    if (CheckExpressionTypes(C, nullptr, Query->Where.Get()) != ftBoolean)
      SQLFail("WHERE or JOIN clause must be a boolean expression");
  }
  switch (Query->Kind) {
    case skSelect:
      ExecuteSelect();
      break;
    case skInsert:
      ExecuteInsert();
      break;
    case skUpdate:
    case skDelete:
      ExecuteUpdateDelete();
      break;
    default:
      ExecuteDDL();
      break;
  }
  Query->ExecutionTime =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

// ---- Text of result fields ----------------------------------------------------------------------

std::string SQLFieldText(TDataCursor* Cursor, int FieldNo, const uint8_t* Record) {
  const TFieldDescriptor& D = Cursor->FieldDescs[static_cast<size_t>(FieldNo - 1)];
  if (D.Type() == ftBlob) {
    // The bytes of the value, read through an opened BLOB of a copy of the record.
    std::vector<uint8_t> Copy(Record, Record + Cursor->RecordBufferSize);
    bool Blank = true;
    Cursor->GetField(FieldNo, Copy.data(), Blank, nullptr);
    if (Blank || Cursor->OpenBlob(FieldNo, Copy.data(), false, false) != 0) return std::string();
    int64_t Size = 0, Count = 0;
    std::string S;
    if (Cursor->GetBlobSize(FieldNo, Copy.data(), false, Size) == 0 && Size > 0) {
      S.resize(static_cast<size_t>(Size));
      if (Cursor->ReadBlob(FieldNo, Copy.data(), false, Count, Size, S.data(), 0) != 0) S.clear();
    }
    Cursor->CloseBlob(FieldNo, Copy.data(), false);
    return S;
  }
  TFieldAccess A;
  A.Offset = D.Offset();
  A.DataType = D.Type();
  A.SubType = D.SubType();
  A.Size = D.DataSize();
  A.Scale = D.Bytes[kFieldDescDataScaleOffset];
  const uint8_t* V = FieldValue(Record, Cursor->RecordBufferSize, A);
  if (!V) return std::string();
  auto Get = [&](auto Zero) {
    std::memcpy(&Zero, V, sizeof Zero);
    return Zero;
  };
  switch (A.DataType) {
    case ftString:
      return std::string(reinterpret_cast<const char*>(V), strnlen(reinterpret_cast<const char*>(V), A.Size));
    case ftFloat: {
      const double F = Get(0.0);
      char B[40];
      for (int P = 15; P <= 17; ++P) {
        std::snprintf(B, sizeof B, "%.*g", P, F);
        if (std::strtod(B, nullptr) == F) break;
      }
      return B;
    }
    case ftSmallInt:
      return std::to_string(Get(int16_t{0}));
    case ftWord:
      return std::to_string(Get(uint16_t{0}));
    case ftInteger:
      return std::to_string(Get(int32_t{0}));
    case ftBoolean:
      return Get(uint16_t{0}) ? "True" : "False";
    default: {
      uint8_t B[512] = {};
      if (ConvertFieldValue(A.DataType, V, FieldValueSize(A), ftString, B, 511, 0, LocaleFormatSettings(0, 0)))
        return reinterpret_cast<const char*>(B);
      return std::string();
    }
  }
}
