// Planning: the source tables are opened, every column name is bound to a table and field, the
// WHERE (with the JOIN conditions, which the parser joined into it) is cut at its top-level ANDs
// and each part is placed on the loop level of the last table it names, and the result columns,
// ORDER BY, GROUP BY and HAVING are bound to each other.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "dbengine/sql/expr_check.h"
#include "dbengine/sql/expr_filters.h"
#include "dbengine/sql/expr_values.h"
#include "dbengine/sql/sql_plan.h"
#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/engine_errors.h"
#include "platform/core/sysutils.h"

void SQLFail(const std::string& Message) {
  RaiseEngineError(kSQLErrorCode, std::string(), std::string(), std::string(),
                   Message.size() > 255 ? Message.substr(0, 255) : Message);
}

namespace {

bool IsAggregateNode(const TExpToken* N) {
  return N && N->Kind == nkFunction && N->Code >= fnSum && N->Code <= fnAvg;
}

void CollectSources(const TExpToken* N, std::vector<const void*>& Out) {
  if (!N) return;
  if (N->Kind == nkColumn && N->Source && std::find(Out.begin(), Out.end(), N->Source) == Out.end())
    Out.push_back(N->Source);
  CollectSources(N->Operand1, Out);
  CollectSources(N->Operand2, Out);
  CollectSources(N->Operand3, Out);
}

void FlattenAnd(TExpToken* N, std::vector<TExpToken*>& Out) {
  if (!N) return;
  if (N->Kind == nkBinary && N->Code == opAnd) {
    FlattenAnd(N->Operand1, Out);
    FlattenAnd(N->Operand2, Out);
  } else {
    Out.push_back(N);
  }
}

std::string LastChars(const std::string& S, size_t N) { return S.size() > N ? S.substr(S.size() - N) : S; }

}  // namespace

TQueryPlan::TQueryPlan(TSQLExecutor* Executor, TDataQuery* Query) : Executor(Executor), Query(Query) {
  Eval.ReadColumn = [this](const void*, TExpToken* Result) {
    if (Result->Source == this) {
      // A result column (HAVING): the group row's value.
      const size_t I = Result->FieldNo - 1u;
      if (!GroupRow || I >= GroupRow->size() || (*GroupRow)[I].Null) {
        Result->Null = true;
        return;
      }
      const TSQLCell& C = (*GroupRow)[I];
      Result->SetCapacity(static_cast<uint32_t>(C.Bytes.size()) + 9);
      std::memset(Result->Value, 0, Result->Capacity);
      std::memcpy(Result->Value, C.Bytes.data(), C.Bytes.size());
      Result->Null = false;
      return;
    }
    TSourceRun* R = RunOf(Result->Source);
    if (!R || R->NullRow || Result->FieldNo < 1 || Result->FieldNo > R->Fields.size()) {
      Result->Null = true;
      return;
    }
    ReadRecordField(R->Record.data(), static_cast<uint32_t>(R->Record.size()), R->Fields[Result->FieldNo - 1u],
                    Result);
  };
  Eval.InSubSelect = [this](const TExpToken* SubSelect, const TExpToken* Value) {
    TQueryPlan* Sub = SubSelect && SubSelect->SubSelect ? this->Executor->PlanOf(SubSelect->SubSelect) : nullptr;
    if (!Sub || Value->Null || Sub->ResultDescs.empty()) return false;
    const TFieldDescriptor& D = *reinterpret_cast<const TFieldDescriptor*>(Sub->ResultDescs[0].data());
    TExpToken* Item = GetExpToken();
    TExpToken* Res = GetExpToken();
    bool Found = false;
    try {
      for (const TSQLRow& Row : Sub->Rows) {
        if (Row.empty() || Row[0].Null) continue;
        Item->DataType = D.Type();
        Item->SubType = D.SubType();
        Item->Size = D.DataSize();
        Item->Scale = D.Scale();
        Item->Null = false;
        Item->SetCapacity(static_cast<uint32_t>(Row[0].Bytes.size()) + 9);
        std::memset(Item->Value, 0, Item->Capacity);
        std::memcpy(Item->Value, Row[0].Bytes.data(), Row[0].Bytes.size());
        Res->DataType = ftBoolean;
        EvaluateBinaryOperator(opEqual, Value, Item, Language, Sort, Res);
        if (!Res->Null && Res->Get<uint16_t>() != 0) {
          Found = true;
          break;
        }
      }
    } catch (...) {
      PutExpToken(Item);
      PutExpToken(Res);
      throw;
    }
    PutExpToken(Item);
    PutExpToken(Res);
    return Found;
  };
}

TQueryPlan::~TQueryPlan() {
  Conditions.clear();
  if (Live) ResultCursor = nullptr;  // the source's own cursor
  ReleaseResultCursor();
  for (auto& R : Runs) {
    if (R->Cursor) {
      bool Closed = true;
      try {
        R->Cursor->Close();
      } catch (...) {
        Closed = false;
      }
      if (Closed && !Live)
        Executor->ReturnSourceCursor(R->Cursor);
      else
        delete R->Cursor;
      R->Source->Cursor = nullptr;
    }
    if (R->Directory) R->Directory->Session->CloseDirectory(R->Directory);
  }
  if (ResultDirectory) ResultDirectory->Session->CloseDirectory(ResultDirectory);
  if (MemoryResultDirectory) MemoryResultDirectory->Session->CloseDirectory(MemoryResultDirectory);
}

TSourceRun* TQueryPlan::RunOf(const void* Source) const {
  for (auto& R : Runs)
    if (R->Source == Source) return R.get();
  return nullptr;
}

TTypeCheckContext TQueryPlan::CheckContext(const char* Context, bool Condition) {
  TTypeCheckContext C;
  C.ErrorCode = kSQLErrorCode;
  C.Context = Context;
  C.Condition = Condition;
  C.Settings = Settings;
  C.ResolveColumn = [this](TExpToken* N) { return ResolveColumn(N); };
  C.ResolveSubSelect = [this](TExpToken* N) { return ResolveSubSelect(N); };
  return C;
}

bool TQueryPlan::ResolveColumn(TExpToken* N) {
  for (auto& R : Runs) {
    if (!N->CorrelationName.empty() && !SameText(R->Source->CorrelationName, N->CorrelationName)) continue;
    for (size_t I = 0; I < R->Fields.size(); ++I) {
      if (!SameText(R->Fields[I].Name, N->ColumnName)) continue;
      N->FieldNo = static_cast<uint16_t>(I + 1);
      N->DataType = R->Fields[I].DataType;
      N->SubType = R->Fields[I].SubType;
      N->Size = R->Fields[I].Size;
      N->Scale = R->Fields[I].Scale;
      N->Source = R->Source;
      return true;
    }
  }
  return false;
}

int TQueryPlan::ResolveSubSelect(TExpToken* N) {
  TQueryPlan* Sub = N->SubSelect ? Executor->PlanOf(N->SubSelect) : nullptr;
  if (!Sub) return 0;
  if (Sub->ResultDescs.size() == 1) {
    const TFieldDescriptor& D = *reinterpret_cast<const TFieldDescriptor*>(Sub->ResultDescs[0].data());
    N->DataType = D.Type();
    N->SubType = D.SubType();
    N->Size = D.DataSize();
    N->Scale = D.Scale();
  }
  return static_cast<int>(Sub->ResultDescs.size());
}

void TQueryPlan::OpenSources() {
  TDataDirectory* Owner = Executor->Owner();
  TDataSession* Session = Owner->Session;
  for (auto& S : Query->Sources) {
    auto R = std::make_unique<TSourceRun>();
    R->Source = S.get();
    if (S->Memory)
      R->Directory = Session->OpenDirectory("Memory", "");
    else if (S->DatabaseName.empty() || SameText(S->DatabaseName, Owner->DatabaseName))
      R->Directory = Session->OpenDirectory(Owner->DatabaseName, Owner->Path);
    else
      R->Directory = Session->OpenDirectory(S->DatabaseName, S->DatabaseName);
    Runs.push_back(std::move(R));
  }
  const bool DDL = Query->Kind >= skCreateTable;
  if (DDL) return;  // the table statements open their target themselves
  for (auto& R : Runs) {
    R->Cursor = Executor->TakeSourceCursor(R->Directory);
    R->Source->Cursor = R->Cursor;
    R->Cursor->SetTableName(R->Source->TableName);
    R->Cursor->SetReadOnly(!Query->RequestLive);
    R->Cursor->SetInMemory(R->Source->Memory != 0);
    R->Cursor->SetQuerySource(true);
    R->Cursor->HoldOpenLock = Executor->HoldsSourceLocks();
    R->Cursor->Open();
    R->Record.assign(R->Cursor->RecordBufferSize, 0);
    for (const TFieldDescriptor& D : R->Cursor->FieldDescs) {
      TFieldAccess A;
      A.Name = D.Name();
      A.Offset = D.Offset();
      A.DataType = D.Type();
      A.SubType = D.SubType();
      A.Size = D.DataSize();
      A.Scale = D.Bytes[kFieldDescDataScaleOffset];
      R->Fields.push_back(A);
    }
  }
  if (!Runs.empty() && !Query->LanguageGiven) {
    Language = Runs.front()->Cursor->LanguageID;
    Sort = Runs.front()->Cursor->SortID;
  }
}

void TQueryPlan::Prepare() {
  Language = Query->LanguageGiven ? Query->LanguageId : Executor->Owner()->Session->LanguageID;
  Sort = Query->LanguageGiven ? Query->SortId : Executor->Owner()->Session->SortID;
  OpenSources();
  GetLocaleFormatSettings(Language, Sort, Settings);
  Eval.Language = Language;
  Eval.Sort = Sort;
  Eval.Settings = Settings;
  switch (Query->Kind) {
    case skSelect:
      PrepareSelect();
      break;
    case skInsert:
    case skUpdate:
      PrepareTargetColumns();
      if (Query->Kind == skUpdate) SplitWhere();
      break;
    case skDelete:
      SplitWhere();
      break;
    default:
      PrepareDDL();
      break;
  }
  Prepared = true;
}

void TQueryPlan::SplitWhere() {
  Conditions.clear();
  if (!Query->Where.Get()) return;
  // The parts of the ON conditions of outer joins, matched before the type check gives the WHERE
  // its bindings (the join keeps an unchecked copy of its condition).
  std::vector<std::pair<TExpToken*, TSourceRun*>> OnParts;
  std::vector<TExpToken*> Parts;
  FlattenAnd(Query->Where.Get(), Parts);
  for (auto& R : Runs)
    for (auto& J : R->Source->Joins) {
      TSourceRun* Outer = J->JoinType == 2 ? RunOf(J->Target) : J->JoinType == 3 ? R.get() : nullptr;
      if (!Outer) continue;
      Outer->Outer = true;
      std::vector<TExpToken*> OnList;
      FlattenAnd(J->Condition.Get(), OnList);
      for (TExpToken* O : OnList)
        for (TExpToken* P : Parts)
          if (SameExpression(O, P)) OnParts.emplace_back(P, Outer);
    }
  TTypeCheckContext C = CheckContext("WHERE or JOIN clause", true);
  if (CheckExpressionTypes(C, nullptr, Query->Where.Get()) != ftBoolean)
    SQLFail("WHERE or JOIN clause must be a boolean expression");
  Parts.clear();
  FlattenAnd(Query->Where.Get(), Parts);
  for (TExpToken* P : Parts) {
    auto Cond = std::make_unique<TCondition>();
    Cond->Node = P;
    for (auto& [Node, Outer] : OnParts)
      if (Node == P) Cond->OnRun = Outer;
    Conditions.push_back(std::move(Cond));
  }
  AssignLevels();
  ChooseKeyRanges();
}

namespace {

// The column types whose index keys order as the evaluator compares values, exactly and with no
// two values on one key: whole numbers, dates and times.
bool IsKeyRangeType(uint8_t T) {
  return T == ftInteger || T == ftSmallInt || T == ftWord || T == ftDate || T == ftTime;
}

// A comparison of a column of R's table with a value the tables before it give: the column, the
// value and the operator with the column on the left.
struct TColumnComparison {
  int Field;  // the column's physical field number
  const TExpToken* Column;
  const TExpToken* Value;
  uint8_t Code;
  TCondition* Condition;
};

// The conditions of R (WHERE, or for an outer table its ON conditions) in their order, as
// comparisons of one of R's columns with a value of the tables placed before it. BETWEEN gives
// its two bounds; an IN list is one comparison (code prIn) whose value is the predicate. With
// StringEqualities, "column = value" on a string column is one too: the statement then compares
// strings as the table's indexes order them, so the keys equal to a value hold every row equal to
// it (and, under an index that ignores case, a few more, which the loop's own test takes away).
std::vector<TColumnComparison> ColumnComparisons(const std::vector<std::unique_ptr<TCondition>>& Conditions,
                                                 TSourceRun& R, const std::function<bool(const void*)>& Placed,
                                                 bool StringEqualities = false) {
  auto Earlier = [&](const TExpToken* Value) {
    std::vector<const void*> Sources;
    CollectSources(Value, Sources);
    for (const void* S : Sources)
      if (S == R.Source || !Placed(S)) return false;
    return !HasAggregate(Value);
  };
  auto Usable = [&](const TExpToken* Col, uint8_t Code) {
    // Strings compare by collation and floats by a rule of their own: only exact, ordered types,
    // and strings for equality where the collations agree.
    return Col && Col->Kind == nkColumn && Col->Source == R.Source &&
           (IsKeyRangeType(Col->DataType) || (StringEqualities && Code == opEqual && Col->DataType == ftString));
  };
  auto FieldOf = [&](const TExpToken* Col) { return R.Cursor->FieldDescs[Col->FieldNo - 1u].Number(); };
  std::vector<TColumnComparison> Out;
  for (auto& C : Conditions) {
    if (C->On != R.Outer || (C->On && C->OnRun != &R)) continue;
    const TExpToken* N = C->Node;
    if (N->Kind == nkBinary && N->Code >= opEqual && N->Code <= opLessEqual && N->Code != opNotEqual) {
      for (int Side = 0; Side < 2; ++Side) {
        const TExpToken* Col = Side == 0 ? N->Operand1 : N->Operand2;
        const TExpToken* Val = Side == 0 ? N->Operand2 : N->Operand1;
        if (!Val || !Usable(Col, N->Code) || !Earlier(Val)) continue;
        uint8_t Code = N->Code;
        if (Side == 1) Code = Code == opGreater ? opLess : Code == opLess ? opGreater
                            : Code == opGreaterEqual ? opLessEqual : Code == opLessEqual ? opGreaterEqual : Code;
        Out.push_back({FieldOf(Col), Col, Val, Code, C.get()});
      }
    } else if (N->Kind == nkPredicate && N->Code == prBetween && Usable(N->Operand1, N->Code)) {
      const TExpToken* Low = N->Operand2;
      const TExpToken* High = Low ? Low->Operand2 : nullptr;
      if (!High || !Earlier(Low) || !Earlier(High)) continue;
      Out.push_back({FieldOf(N->Operand1), N->Operand1, Low, opGreaterEqual, C.get()});
      Out.push_back({FieldOf(N->Operand1), N->Operand1, High, opLessEqual, C.get()});
    } else if (N->Kind == nkPredicate && N->Code == prIn && Usable(N->Operand1, N->Code) && N->Operand2) {
      bool All = true;
      for (const TExpToken* Item = N->Operand2; Item && All; Item = Item->Operand2) All = Earlier(Item);
      if (All) Out.push_back({FieldOf(N->Operand1), N->Operand1, N, prIn, C.get()});
    }
  }
  return Out;
}

bool IsBound(uint8_t Code) { return Code >= opGreater && Code <= opLessEqual; }

}  // namespace

bool TQueryPlan::FindKey(TSourceRun& R, const std::function<bool(const void*)>& Placed,
                         std::vector<const TExpToken*>* Values, std::vector<int>* FieldNos, uint8_t* Index,
                         std::vector<TCondition*>* Conds) {
  if (!R.Cursor) return false;
  const bool SameCollation = R.Cursor->LanguageID == Language && R.Cursor->SortID == Sort;
  std::vector<TColumnComparison> Keys = ColumnComparisons(Conditions, R, Placed, SameCollation);
  Keys.erase(std::remove_if(Keys.begin(), Keys.end(), [](const TColumnComparison& K) { return K.Code != opEqual; }),
             Keys.end());
  auto FirstFor = [&](int Field) -> const TColumnComparison* {
    for (const TColumnComparison& K : Keys)
      if (K.Field == Field) return &K;
    return nullptr;
  };
  // The first key condition picks the index (the first whose leading field is its column);
  // further key fields of that index join the range while each has a key condition too.
  for (const TColumnComparison& K : Keys) {
    const int Count = R.Cursor->GetIndexCount();
    for (int I = R.Cursor->HasNoPrimaryKey() ? 1 : 0; I <= Count; ++I) {
      uint8_t Desc[120] = {};
      R.Cursor->GetIndexDesc(static_cast<uint8_t>(I), Desc);
      const int KeyCount = Desc[kIndexDescFieldCountOffset];
      if (KeyCount < 1 || GetU16(Desc + kIndexDescFieldNumbersOffset) != K.Field) continue;
      if (Values) Values->assign(1, K.Value);
      if (FieldNos) FieldNos->assign(1, K.Column->FieldNo);
      if (Conds) Conds->assign(1, K.Condition);
      if (Index) *Index = static_cast<uint8_t>(I);
      for (int F = 1; F < KeyCount; ++F) {
        const TColumnComparison* Next = FirstFor(GetU16(Desc + kIndexDescFieldNumbersOffset + 2 * F));
        if (Next == nullptr) break;
        if (Values) Values->push_back(Next->Value);
        if (FieldNos) FieldNos->push_back(Next->Column->FieldNo);
        if (Conds) Conds->push_back(Next->Condition);
      }
      return true;
    }
  }
  return false;
}

void TQueryPlan::FindBounds(TSourceRun& R, const std::function<bool(const void*)>& Placed) {
  std::vector<TColumnComparison> Bounds = ColumnComparisons(Conditions, R, Placed);
  Bounds.erase(std::remove_if(Bounds.begin(), Bounds.end(),
                              [](const TColumnComparison& B) { return !IsBound(B.Code) && B.Code != prIn; }),
               Bounds.end());
  if (Bounds.empty()) return;
  // An index whose fields all go one way: the ends of a range on a leading part of its key are
  // then the lowest and highest keys past that part. (A field of the other direction would order
  // the filled-in rest of a key the other way round.)
  auto OneWay = [](const uint8_t* Desc) {
    for (int F = 0; F < Desc[kIndexDescFieldCountOffset]; ++F)
      if (Desc[kIndexDescFieldDescendingOffset + F] != 0) return false;
    return true;
  };
  // The bounds of the field, else its first IN list.
  auto Take = [&](int Field, const TExpToken* Column) {
    for (const TColumnComparison& B : Bounds)
      if (B.Field == Field && IsBound(B.Code)) R.Bounds.push_back({B.Value, B.Code, B.Condition});
    for (const TColumnComparison& B : Bounds)
      if (R.Bounds.empty() && !R.InList && B.Field == Field) {
        R.InList = B.Value;
        R.InCondition = B.Condition;
      }
    R.BoundField = Column->FieldNo;
  };
  uint8_t Desc[120] = {};
  if (!R.KeyValues.empty()) {
    R.Cursor->GetIndexDesc(R.KeyIndex, Desc);
    const size_t At = R.KeyValues.size();
    if (!OneWay(Desc) || At >= Desc[kIndexDescFieldCountOffset]) return;
    const int Field = GetU16(Desc + kIndexDescFieldNumbersOffset + 2 * At);
    for (const TColumnComparison& B : Bounds)
      if (B.Field == Field) return Take(Field, B.Column);
    return;
  }
  // The first bound in the order of the conditions picks the index, as the first key condition does.
  for (const TColumnComparison& B : Bounds) {
    const int Count = R.Cursor->GetIndexCount();
    for (int I = R.Cursor->HasNoPrimaryKey() ? 1 : 0; I <= Count; ++I) {
      R.Cursor->GetIndexDesc(static_cast<uint8_t>(I), Desc);
      if (Desc[kIndexDescFieldCountOffset] < 1 || GetU16(Desc + kIndexDescFieldNumbersOffset) != B.Field ||
          !OneWay(Desc))
        continue;
      R.KeyIndex = static_cast<uint8_t>(I);
      return Take(B.Field, B.Column);
    }
  }
}

void TQueryPlan::ChooseKeyRanges() {
  // A condition that was a key of an earlier order is tested again until a range answers it.
  for (auto& C : Conditions) C->Answered = false;
  for (size_t L = 0; L < Runs.size(); ++L) {
    TSourceRun& R = *Runs[L];
    R.KeyValues.clear();
    R.KeyFields.clear();
    R.KeyConditions.clear();
    R.Bounds.clear();
    R.InList = nullptr;
    R.InCondition = nullptr;
    R.BoundField = 0;
    auto Placed = [&](const void* S) {
      for (size_t I = 0; I < L; ++I)
        if (Runs[I]->Source == S) return true;
      return false;
    };
    if (!R.Cursor) continue;
    FindKey(R, Placed, &R.KeyValues, &R.KeyFields, &R.KeyIndex, &R.KeyConditions);
    FindBounds(R, Placed);
  }
}

void TQueryPlan::AssignLevels() {
  for (auto& C : Conditions) {
    std::vector<const void*> Sources;
    CollectSources(C->Node, Sources);
    C->Level = 0;
    for (size_t I = 0; I < Runs.size(); ++I)
      if (std::find(Sources.begin(), Sources.end(), Runs[I]->Source) != Sources.end())
        C->Level = std::max(C->Level, static_cast<int>(I));
    C->On = false;
    if (C->OnRun) {
      const int OuterLevel = static_cast<int>(
          std::find_if(Runs.begin(), Runs.end(), [&](auto& R) { return R.get() == C->OnRun; }) - Runs.begin());
      if (C->Level <= OuterLevel) {
        C->On = true;
        C->Level = OuterLevel;
      }
    }
  }
}

void TQueryPlan::OptimizeJoins() {
  // Inner joins only: the order of the loops does not change which rows a query gives.
  const size_t N = Runs.size();
  if (N < 2 || N > 6 || Query->NoJoinOptimize) return;
  for (auto& R : Runs)
    if (R->Outer) return;
  std::vector<double> Count(N);
  for (size_t I = 0; I < N; ++I) Count[I] = std::max(1, Runs[I]->Cursor->GetRecordCount());
  // The tables each condition reads: it is tested in the loop of the last of them to be placed.
  std::vector<std::vector<size_t>> Reads;
  for (auto& C : Conditions) {
    std::vector<const void*> Sources;
    CollectSources(C->Node, Sources);
    std::vector<size_t> Tables;
    for (size_t I = 0; I < N; ++I)
      if (std::find(Sources.begin(), Sources.end(), Runs[I]->Source) != Sources.end()) Tables.push_back(I);
    if (!Tables.empty()) Reads.push_back(std::move(Tables));
  }
  // The estimated work of an order: a table reached through a key range costs one lookup a row of
  // the loops around it, any other table a scan. Each condition tested in a loop is taken to let
  // half of its rows on to the loops inside it, so that a table whose own conditions thin out its
  // rows goes before the tables it leads to.
  std::vector<size_t> Order(N), Best, Position(N), Tested(N);
  for (size_t I = 0; I < N; ++I) Order[I] = I;
  double BestCost = 0;
  do {
    for (size_t P = 0; P < N; ++P) Position[Order[P]] = P;
    std::fill(Tested.begin(), Tested.end(), 0);
    for (const std::vector<size_t>& Tables : Reads) {
      size_t Level = 0;
      for (size_t T : Tables) Level = std::max(Level, Position[T]);
      ++Tested[Level];
    }
    double Rows = 1, Cost = 0;
    for (size_t P = 0; P < N; ++P) {
      auto Placed = [&](const void* S) {
        for (size_t Q = 0; Q < P; ++Q)
          if (Runs[Order[Q]]->Source == S) return true;
        return false;
      };
      if (P > 0 && FindKey(*Runs[Order[P]], Placed, nullptr, nullptr, nullptr)) {
        Cost += Rows * 2;
      } else {
        Cost += Rows * Count[Order[P]];
        Rows *= Count[Order[P]];
      }
      Rows = std::ldexp(Rows, -static_cast<int>(Tested[P]));
    }
    if (Best.empty() || Cost < BestCost) {
      Best = Order;
      BestCost = Cost;
    }
  } while (std::next_permutation(Order.begin(), Order.end()));
  std::vector<std::unique_ptr<TSourceRun>> Sorted;
  for (size_t I : Best) Sorted.push_back(std::move(Runs[I]));
  Runs = std::move(Sorted);
  AssignLevels();
  ChooseKeyRanges();
}

void TQueryPlan::PrepareSelect() {
  TDataQuery* Q = Query;
  if (Q->Distinct && Q->GroupBy) Q->Distinct = false;
  // "*" and corr.* expand into the columns of the sources.
  std::vector<std::unique_ptr<TResultField>> Expanded;
  for (auto& F : Q->ResultFields) {
    TExpToken* N = F->Expression.Get();
    if (F->Aggregate == 0 && N && N->Kind == nkColumn && N->ColumnName == "*") {
      if (!F->NameGenerated)
        SQLFail("Invalid use of column correlation name '" + F->ResultName + "'" + " for " + "'" + "*" + "'");
      bool Any = false;
      for (auto& R : Runs) {
        if (!N->CorrelationName.empty() && !SameText(N->CorrelationName, R->Source->CorrelationName)) continue;
        Any = true;
        for (auto& A : R->Fields) {
          auto E = std::make_unique<TResultField>();
          E->Query = Q;
          E->CorrelationName = R->Source->CorrelationName;
          E->SetSourceName(A.Name);
          TExpToken* C = GetExpToken();
          C->Kind = nkColumn;
          C->ColumnName = A.Name;
          C->CorrelationName = R->Source->CorrelationName;
          C->Text = A.Name;
          E->Expression.Reset(C);
          Expanded.push_back(std::move(E));
        }
      }
      if (!Any)
        SQLFail("Invalid column name '*' or table correlation name '" + N->CorrelationName + "'" +
                " specified in source columns");
    } else {
      Expanded.push_back(std::move(F));
    }
  }
  Q->ResultFields = std::move(Expanded);
  if (Q->ResultFields.size() > 1024) SQLFail("Maximum number of columns (1024) in result set exceeded");
  bool AnyAggregate = false, AnyPlain = false;
  TTypeCheckContext C = CheckContext("source columns", false);
  for (auto& F : Q->ResultFields) {
    TExpToken* N = F->Expression.Get();
    if (F->CountAll) {
      // COUNT(*) needs no column: it counts rows.
      F->DataType = ftInteger;
      F->Size = 4;
    } else if (N->Kind == nkColumn && !F->IsExpression && F->Aggregate == 0) {
      if (!ResolveColumn(N))
        SQLFail("Invalid column name '" + N->ColumnName + "'" + " or table correlation name " + "'" +
                N->CorrelationName + "'" + " specified in source columns");
      F->SourceTable = static_cast<TSourceTable*>(N->Source);
      F->SourceFieldNo = N->FieldNo;
    } else {
      CheckExpressionTypes(C, nullptr, N);
      if (N->Kind == nkColumn && F->Aggregate == 0) F->IsExpression = false;
    }
    if (!F->CountAll) {
      F->DataType = N->DataType;
      F->SubType = N->SubType;
      F->Size = static_cast<uint8_t>(std::min<uint32_t>(N->Size, 255));
      F->Scale = N->Scale;
      if ((N->DataType == ftString && N->Size > 251) || (N->DataType == ftBytes && N->Size > 250))
        SQLFail("Column expression '" + F->ExpressionText + "'" + " exceeds the maximum allowable field size");
    }
    if (F->Aggregate == 4) {
      F->DataType = ftFloat;
      F->SubType = 0;
      F->Size = 8;
      F->Scale = 0;
    } else if (F->Aggregate == 1 && F->DataType == ftSmallInt) {
      F->DataType = ftInteger;
      F->Size = 4;
    } else if (F->Aggregate == 5) {
      F->DataType = ftInteger;
      F->SubType = 0;
      F->Size = 4;
    }
    (F->Aggregate ? AnyAggregate : AnyPlain) = true;
  }
  if (AnyAggregate && AnyPlain && !Q->GroupBy)
    SQLFail("Invalid use of aggregate function(s), the necessary GROUP BY clause is missing");
  if (Q->HasHaving && !Q->GroupBy) SQLFail("A GROUP BY clause must exist in order to use the HAVING clause");
  if (AnyAggregate && !AnyPlain && !Q->GroupBy) {
    WholeAggregate = true;
    Q->GroupBy = true;
  }
  BindResultNames();
  SplitWhere();
  BindOrderAndGroup();
  BindHaving();
  BuildResultDescs();
  PrepareLive();
}

void TQueryPlan::PrepareLive() {
  TDataQuery* Q = Query;
  Live = false;
  if (!Q->RequestLive || Q->SubQuery || Runs.size() != 1 || Q->Distinct || Q->GroupBy || Q->HasHaving ||
      !Q->ResultTableName.empty() || Q->IntoMemory || Executor->Statement()->Queries.size() != 1)
    return;
  TSourceRun& R = *Runs.front();
  for (auto& F : Q->ResultFields)
    if (F->Aggregate || F->IsExpression || F->CountAll || F->SourceTable != R.Source) return;
  // An ORDER BY must be served by an index with the same fields, directions and case rule.
  OrderIndex = kNaturalOrderIndex;
  if (!OrderColumns.empty()) {
    bool Found = false;
    for (int I = R.Cursor->HasNoPrimaryKey() ? 1 : 0; I <= R.Cursor->GetIndexCount() && !Found; ++I) {
      uint8_t D[120] = {};
      R.Cursor->GetIndexDesc(static_cast<uint8_t>(I), D);
      if (D[kIndexDescFieldCountOffset] != OrderColumns.size()) continue;
      bool Same = true, AnyString = false;
      for (size_t K = 0; K < OrderColumns.size() && Same; ++K) {
        const TResultField& F = *Q->ResultFields[static_cast<size_t>(OrderColumns[K])];
        const int Field = R.Cursor->FieldDescs[F.SourceFieldNo - 1u].Number();
        const bool Desc = (D[kIndexDescDescendingOffset] != 0) != (D[kIndexDescFieldDescendingOffset + K] != 0);
        Same = GetU16(D + kIndexDescFieldNumbersOffset + 2 * K) == Field && Desc == (Q->OrderBy[K]->Descending != 0);
        AnyString = AnyString || F.DataType == ftString;
      }
      if (Same && (!AnyString || (D[kIndexDescCaseInsensitiveOffset] != 0) == Q->NoCase)) {
        Found = true;
        OrderIndex = static_cast<uint8_t>(I);
      }
    }
    if (!Found) return;
  }
  Live = true;
  PhysicalDescs.clear();
  LiveDescs.clear();
  for (const TFieldDescriptor& D : R.Cursor->FieldDescs) {
    std::array<uint8_t, 768> A{};
    std::memcpy(A.data(), D.Bytes, 768);
    PhysicalDescs.push_back(A);
  }
  for (auto& F : Q->ResultFields) {
    std::array<uint8_t, 768> A = PhysicalDescs[F->SourceFieldNo - 1u];
    SetShortString(A.data() + kFieldDescNameOffset, 30, F->ResultName);
    LiveDescs.push_back(A);
  }
}

void TQueryPlan::BindResultNames() {
  auto& Fields = Query->ResultFields;
  for (auto& F : Fields) {
    // An AS name; else a plain column's name or the column an aggregate takes; else generated.
    std::string Name = F->NameGenerated ? std::string() : F->ResultName;
    if (F->NameGenerated && !F->IsExpression && !F->CountAll) {
      const TExpToken* A = F->Aggregate ? F->Expression->Operand1 : F->Expression.Get();
      if (A && A->Kind == nkColumn) Name = A->ColumnName;
    }
    if (Name.empty()) {
      static const char* Heads[] = {"", "Sum Of ", "Min Of ", "Max Of ", "Average Of ", "Count Of "};
      if (F->Aggregate) {
        const TExpToken* A = F->Expression->Operand1;
        if (F->CountAll)
          Name = std::string(Heads[5]) + "*";
        else if (A && A->Kind == nkColumn)
          Name = Heads[F->Aggregate] + A->ColumnName;
        else
          Name = std::string(Heads[F->Aggregate]) + "Expr";
      } else {
        Name = "Expression";
      }
    }
    F->ResultName = LastChars(Name, 30);
  }
  for (size_t I = 0; I < Fields.size(); ++I) {
    auto Taken = [&](const std::string& N) {
      for (size_t J = 0; J < Fields.size(); ++J)
        if (J != I && SameText(Fields[J]->ResultName, N)) return true;
      return false;
    };
    if (!Taken(Fields[I]->ResultName)) continue;
    const std::string Base = Fields[I]->ResultName;
    for (int N = 1;; ++N) {
      std::string Suffix(1, '_');
      Suffix += std::to_string(N);
      std::string Candidate = LastChars(Base, 30 - Suffix.size());
      Candidate += Suffix;
      if (!Taken(Candidate)) {
        Fields[I]->ResultName = Candidate;
        break;
      }
    }
  }
  for (size_t I = 0; I < Fields.size(); ++I) Fields[I]->ResultFieldNo = static_cast<uint16_t>(I + 1);
}

void TQueryPlan::BindOrderAndGroup() {
  auto& Fields = Query->ResultFields;
  auto Bind = [&](uint16_t No, const std::string& Name, const std::string& Corr, const char* Clause) -> int {
    if (No != 0) {
      if (No > Fields.size() || Fields[No - 1u]->DataType == ftBlob)
        SQLFail("Invalid column number '" + std::to_string(No) + "'" + " specified in " + Clause + " clause");
      return No - 1;
    }
    for (size_t I = 0; I < Fields.size(); ++I) {
      const TResultField& F = *Fields[I];
      if (!Corr.empty()) {
        if (SameText(F.CorrelationName, Corr) && !F.IsExpression && !F.Aggregate && SameText(F.SourceName, Name))
          return static_cast<int>(I);
      } else if (SameText(F.ResultName, Name)) {
        return static_cast<int>(I);
      }
    }
    if (Corr.empty())
      for (size_t I = 0; I < Fields.size(); ++I)
        if (!Fields[I]->IsExpression && !Fields[I]->Aggregate && SameText(Fields[I]->SourceName, Name))
          return static_cast<int>(I);
    SQLFail("Invalid column name '" + Name + "'" + " or table correlation name " + "'" + Corr + "'" +
            " specified in " + Clause + " clause");
  };
  if (Query->OrderBy.size() > 1024) SQLFail("Maximum number of columns (1024) in ORDER BY clause exceeded");
  OrderColumns.clear();
  for (auto& O : Query->OrderBy) {
    const int I = Bind(O->ColumnNo, O->ColumnName, O->CorrelationName, "ORDER BY");
    O->ColumnNo = static_cast<uint16_t>(I + 1);
    OrderColumns.push_back(I);
  }
  GroupColumns.clear();
  if (!WholeAggregate) {
    if (Query->GroupByFields.size() > 1024) SQLFail("Maximum number of columns (1024) in GROUP BY clause exceeded");
    for (auto& G : Query->GroupByFields) {
      const int I = Bind(G->ColumnNo, G->ColumnName, G->CorrelationName, "GROUP BY");
      if (Fields[I]->DataType == ftBlob)
        SQLFail("Invalid BLOB column '" + Fields[I]->ResultName + "'" + " specified in GROUP BY clause");
      G->ColumnNo = static_cast<uint16_t>(I + 1);
      GroupColumns.push_back(I);
    }
  }
  if (Query->Distinct)
    for (auto& F : Fields)
      if (F->DataType == ftBlob)
        SQLFail("Invalid BLOB column '" + F->ResultName + "'" + " specified in DISTINCT clause");
}

void TQueryPlan::BindHaving() {
  if (!Query->Having.Get()) return;
  auto& Fields = Query->ResultFields;
  // An aggregate of HAVING is typed as the result columns were, then compared with theirs; its
  // columns compare by the field they resolve to, however the statement wrote their names.
  TTypeCheckContext SourceContext = CheckContext("HAVING clause", false);
  std::function<bool(const TExpToken*, const TExpToken*)> Same = [&](const TExpToken* A, const TExpToken* B) {
    if (!A || !B) return A == B;
    if (A->Kind == nkColumn && B->Kind == nkColumn && A->Source && B->Source)
      return A->Source == B->Source && A->FieldNo == B->FieldNo;
    return A->SameAs(*B) && Same(A->Operand1, B->Operand1) && Same(A->Operand2, B->Operand2) &&
           Same(A->Operand3, B->Operand3);
  };
  // Every aggregate (and every plain column) of HAVING becomes a reference to its result column.
  std::function<void(TExpToken*)> Rebind = [&](TExpToken* N) {
    if (!N) return;
    const bool Aggregate = IsAggregateNode(N);
    if (Aggregate || N->Kind == nkColumn) {
      // COUNT(*) counts rows: neither it nor its result column is typed.
      const bool CountAll = N->Code == fnCount && (!N->Operand1 || (N->Operand1->Kind == nkColumn &&
                                                                     N->Operand1->ColumnName == "*"));
      if (Aggregate && !CountAll) CheckExpressionTypes(SourceContext, nullptr, N);
      int Found = -1;
      for (size_t I = 0; I < Fields.size() && Found < 0; ++I) {
        const TResultField& F = *Fields[I];
        if (Aggregate ? F.Aggregate && Same(F.Expression.Get(), N)
                      : (!F.Aggregate && (SameText(F.ResultName, N->ColumnName) ||
                                          (!F.IsExpression && SameText(F.SourceName, N->ColumnName)))))
          Found = static_cast<int>(I);
      }
      if (Found < 0) SQLFail("Expression in HAVING clause not found in source columns");
      FreeExpression(N->Operand1);
      FreeExpression(N->Operand2);
      FreeExpression(N->Operand3);
      const TResultField& F = *Fields[static_cast<size_t>(Found)];
      N->Kind = nkColumn;
      N->Code = 0;
      N->ColumnName = F.ResultName;
      N->CorrelationName.clear();
      N->Source = this;
      N->FieldNo = static_cast<uint16_t>(Found + 1);
      N->DataType = F.DataType;
      N->SubType = F.DataType == ftInteger && F.SubType == stAutoInc ? 0 : F.SubType;
      N->Size = F.Size;
      N->Scale = F.Scale;
      return;
    }
    Rebind(N->Operand1);
    Rebind(N->Operand2);
    Rebind(N->Operand3);
  };
  Rebind(Query->Having.Get());
  TTypeCheckContext C = CheckContext("HAVING clause", true);
  C.ResolveColumn = [this](TExpToken* N) { return N->Source == this; };
  if (CheckExpressionTypes(C, nullptr, Query->Having.Get()) != ftBoolean)
    SQLFail("HAVING clause must be a boolean expression");
}

void TQueryPlan::BuildResultDescs() {
  ResultDescs.clear();
  ResultDescs.reserve(Query->ResultFields.size());
  for (auto& F : Query->ResultFields) {
    std::array<uint8_t, 768> D{};
    TSourceRun* R = F->Aggregate || F->IsExpression ? nullptr : RunOf(F->SourceTable);
    if (R && F->SourceFieldNo >= 1 && F->SourceFieldNo <= R->Cursor->FieldDescs.size()) {
      std::memcpy(D.data(), R->Cursor->FieldDescs[F->SourceFieldNo - 1u].Bytes, 768);
      if (IsAutoIncField(D.data())) D[kFieldDescSubTypeOffset] = 0;
      SetShortString(D.data() + kFieldDescDescriptionOffset, 50, "");
      SetShortString(D.data() + kFieldDescMinimumOffset, 50, "");
      SetShortString(D.data() + kFieldDescMaximumOffset, 50, "");
      SetShortString(D.data() + kFieldDescDefaultOffset, 50, "");
      SetShortString(D.data() + kFieldDescQualifiedOffset, 100, "");
      D[kFieldDescRequiredOffset] = 0;
      D[kFieldDescCharCaseOffset] = 0;
      D[kFieldDescCalculatedOffset] = 0;
    } else {
      uint8_t Type = F->DataType == dtUntyped ? ftString : F->DataType;
      D[kFieldDescTypeOffset] = Type;
      D[kFieldDescSubTypeOffset] = Type == ftInteger && F->SubType == stAutoInc ? 0 : F->SubType;
      if (Type == ftString) D[kFieldDescDeclaredSizeOffset] = static_cast<uint8_t>(F->Size > 1 ? F->Size - 1 : 1);
      if (Type == ftBytes) D[kFieldDescDeclaredSizeOffset] = F->Size;
      if (Type == ftBCD) D[kFieldDescDeclaredScaleOffset] = F->Scale;
    }
    SetU16(D.data() + kFieldDescNumberOffset, F->ResultFieldNo);
    SetShortString(D.data() + kFieldDescNameOffset, 30, F->ResultName);
    SetFieldStorageSize(D.data());
    ResultDescs.push_back(D);
  }
}

void TQueryPlan::PrepareTargetColumns() {
  TDataQuery* Q = Query;
  TSourceRun* Target = Runs.front().get();
  TargetFields.clear();
  std::vector<std::unique_ptr<TUpdateField>> Expanded;
  for (auto& F : Q->UpdateFields) {
    if (F->ColumnName == "*" && Q->Kind == skInsert) {
      for (size_t I = 0; I < Target->Fields.size(); ++I) {
        auto E = std::make_unique<TUpdateField>();
        E->Query = Q;
        E->Table = F->Table;
        E->ColumnName = Target->Fields[I].Name;
        Expanded.push_back(std::move(E));
      }
    } else {
      Expanded.push_back(std::move(F));
    }
  }
  Q->UpdateFields = std::move(Expanded);
  for (auto& F : Q->UpdateFields) {
    int No = 0;
    if (F->CorrelationName.empty() || SameText(F->CorrelationName, Target->Source->CorrelationName))
      for (size_t I = 0; I < Target->Fields.size(); ++I)
        if (SameText(Target->Fields[I].Name, F->ColumnName)) No = static_cast<int>(I + 1);
    if (No == 0)
      SQLFail("Invalid column name '" + F->ColumnName + "'" + " or table correlation name " + "'" +
              F->CorrelationName + "'" + " specified in table columns");
    const TFieldAccess& A = Target->Fields[static_cast<size_t>(No - 1)];
    F->FieldNo = static_cast<uint16_t>(No);
    F->DataType = A.DataType;
    F->SubType = A.SubType;
    F->Size = static_cast<uint8_t>(std::min<uint32_t>(A.Size, 255));
    F->Scale = A.Scale;
    TargetFields.push_back(No);
  }
  if (Q->InsertFromSelect) {
    TQueryPlan* Sub = Q->SubSelect ? Executor->PlanOf(Q->SubSelect) : nullptr;
    if (!Sub || Sub->ResultDescs.size() != TargetFields.size())
      SQLFail("The number of values must match the number of table columns");
    return;
  }
  CheckValueList();
}

void TQueryPlan::CheckValueList() {
  if (Query->UpdateValues.size() != TargetFields.size())
    SQLFail("The number of values must match the number of table columns");
  CheckValues(Query->Kind == skInsert ? "INSERT" : "UPDATE");
}

void TQueryPlan::CloseTarget() {
  TDataCursor* C = Runs.front()->Cursor;
  if (KeptFields.empty()) KeptFields = C->FieldDescs;
  C->Close();
}

bool TQueryPlan::ReopenTarget() {
  TDataCursor* C = Runs.front()->Cursor;
  C->Open();
  if (C->LanguageID != Language || C->SortID != Sort || C->FieldDescs.size() != KeptFields.size()) return false;
  for (size_t I = 0; I < KeptFields.size(); ++I)
    if (std::memcmp(C->FieldDescs[I].Bytes, KeptFields[I].Bytes, sizeof KeptFields[I].Bytes) != 0) return false;
  return true;
}

void TQueryPlan::CheckValues(const char*) {
  TTypeCheckContext C = CheckContext("update values", false);
  if (Query->Kind == skInsert) C.ResolveColumn = nullptr;  // VALUES name no columns
  for (size_t I = 0; I < Query->UpdateValues.size(); ++I) {
    TUpdateValue& V = *Query->UpdateValues[I];
    const TUpdateField& F = *Query->UpdateFields[I];
    TExpToken* N = V.Expression.Get();
    CheckExpressionTypes(C, nullptr, N);
    const bool Temporal = F.DataType == ftDate || F.DataType == ftTime || F.DataType == ftTimeStamp;
    if (Temporal && N->Kind == nkConstant && !N->Null && N->DataType == ftString && !N->Parameter) {
      uint8_t Buf[8] = {};
      if (!TextToTemporal(N->AsString(), F.DataType, Buf, *Settings))
        SQLFail("Date, time, or timestamp expression expected, instead found '" + V.Text + "'" + " in update values");
      continue;
    }
    // A constant that can never be stored in its column is refused before any row is written.
    if (N->Kind == nkConstant && !N->Null && !N->Parameter && N->DataType != dtUntyped && F.DataType != ftBlob) {
      TValueBuffer Dest(static_cast<size_t>(std::max<uint32_t>(F.Size, 8)) + 1);
      if (!ConvertFieldValue(N->DataType, N->Value, N->Capacity, F.DataType, Dest.Data(), std::max<uint32_t>(F.Size, 1),
                             F.Scale, *Settings))
        SQLFail("Type mismatch between column '" + F.ColumnName + "' and constant '" + V.Text + "' in update values");
    }
  }
}
