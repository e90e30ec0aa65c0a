// Filters and calculated fields of cursors over the expression language.
#include "dbengine/sql/expr_filters.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "dbengine/sql/expr_check.h"
#include "dbengine/sql/expr_eval.h"
#include "dbengine/sql/expr_parser.h"
#include "dbengine/sql/expr_values.h"
#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/records_bitmap.h"

std::vector<TFieldAccess> CursorFields(TDataCursor& Cursor) {
  std::vector<TFieldAccess> Fields;
  uint8_t D[kFieldDescriptorSize];
  for (int I = 1; I <= Cursor.GetFieldCount(); ++I) {
    Cursor.GetFieldDesc(I, D);
    TFieldAccess A;
    A.Name = FieldDescName(D);
    A.DataType = D[kFieldDescTypeOffset];
    A.SubType = D[kFieldDescSubTypeOffset];
    A.Size = D[kFieldDescDataSizeOffset];
    A.Scale = D[kFieldDescDataScaleOffset];
    // An auto-increment field has no slot of its own: its value is the row number.
    A.Offset = IsAutoIncField(D) ? 5 : FieldDescOffset(D);
    Fields.push_back(A);
  }
  return Fields;
}

namespace {

const char* const kFilterContext = "filter expression";

void GetCursorFormat(TDataCursor& Cursor, const TFormatSettings*& Settings) {
  GetLocaleFormatSettings(Cursor.LanguageID, Cursor.SortID, Settings);
}

// Reads a column of a record; a BLOB column is read whole through the cursor.
TColumnReader CursorColumnReader(TDataCursor* Cursor, std::vector<TFieldAccess> Fields) {
  const uint32_t Size = Cursor->RecordBufferSize;
  TColumnReader Plain = MakeRecordColumnReader(Fields, Size);
  return [Cursor, Fields = std::move(Fields), Size, Plain](const void* Record, TExpToken* R) {
    const size_t No = R->FieldNo;
    if (Record == nullptr || No < 1 || No > Fields.size() || Fields[No - 1].DataType != ftBlob) {
      Plain(Record, R);
      return;
    }
    const TFieldAccess& F = Fields[No - 1];
    R->DataType = F.DataType;
    R->SubType = F.SubType;
    R->Scale = F.Scale;
    R->SetDataSize(1);
    std::memset(R->Value, 0, R->Capacity);
    R->Null = true;
    const uint8_t* Rec = static_cast<const uint8_t*>(Record);
    if (F.Offset >= Size || Rec[F.Offset] == 0) return;
    std::vector<uint8_t> Copy(Rec, Rec + Size);
    uint16_t Code = Cursor->OpenBlob(static_cast<int>(No), Copy.data(), false, false);
    if (Code != 0) RaiseEngineError(Code, Cursor->TableName);
    int64_t Length = 0, Count = 0;
    Code = Cursor->GetBlobSize(static_cast<int>(No), Copy.data(), false, Length);
    if (Code == 0 && Length > 0) {
      R->SetDataSize(static_cast<uint32_t>(Length + 1));
      std::memset(R->Value, 0, R->Capacity);
      Code = Cursor->ReadBlob(static_cast<int>(No), Copy.data(), false, Count, Length, R->Value, 0);
    }
    Cursor->CloseBlob(static_cast<int>(No), Copy.data(), false);
    if (Code != 0) RaiseEngineError(Code, Cursor->TableName);
    R->Null = Length == 0;
  };
}

TEvalContext CursorEvalContext(TDataCursor& Cursor) {
  TEvalContext C;
  C.Language = Cursor.LanguageID;
  C.Sort = Cursor.SortID;
  C.ReadColumn = CursorColumnReader(&Cursor, CursorFields(Cursor));
  GetCursorFormat(Cursor, C.Settings);
  return C;
}

bool IsComparison(const TExpToken* N) {
  return N != nullptr && N->Kind == nkBinary && N->Code >= opEqual && N->Code <= opLessEqual;
}

// Puts the column of a comparison on the left: a > b becomes b < a.
void TurnComparison(TExpToken* N) {
  if (!IsComparison(N) || HasColumnReference(N->Operand1) || !HasColumnReference(N->Operand2)) return;
  std::swap(N->Operand1, N->Operand2);
  switch (N->Code) {
    case opGreater: N->Code = opLess; break;
    case opLess: N->Code = opGreater; break;
    case opGreaterEqual: N->Code = opLessEqual; break;
    case opLessEqual: N->Code = opGreaterEqual; break;
    default: break;
  }
}

// Expression errors met while testing records are the engine's filter error.
template <class F>
auto AsFilterError(TDataCursor& Cursor, F&& Body) -> decltype(Body()) {
  try {
    return Body();
  } catch (const EVXDBEngineError&) {
    throw;
  } catch (const Exception& E) {
    RaiseEngineError(ecFilterError, Cursor.TableName, std::string(), std::string(), E.Message());
  }
}

// A bitmap from the pool for the length of a scope.
class TPoolBitmap {
 public:
  TPoolBitmap() : B(GetRecordsBitmap()) {}
  ~TPoolBitmap() { PutRecordsBitmap(B); }
  TPoolBitmap(const TPoolBitmap&) = delete;
  TPoolBitmap& operator=(const TPoolBitmap&) = delete;
  TRecordsBitmap* B;
};

void InvertWithin(TRecordsBitmap& B) {
  B.Invert();
  for (int32_t R = B.RecordCount + 1; R <= B.BitCount; ++R) B.ClearBit(R);
}

// ---- Conditions ----

class TExpressionCondition : public TCursorCondition {
 public:
  // Takes a prepared tree.
  TExpressionCondition(TDataCursor& Cursor, TExpToken* Prepared)
      : FCursor(&Cursor), FTree(Prepared), FEval(CursorEvalContext(Cursor)) {
    FOptimization = Level(FTree.Get());
  }

  bool Evaluate(TDataCursor& Cursor, TRecordsBitmap& Bitmap, bool Optimise) override {
    (void)Optimise;  // the index ranges mark their records either way; the result is the same
    return AsFilterError(Cursor, [&] { return EvaluateNode(FTree.Get(), Bitmap); });
  }

  bool TestRecord(TDataCursor& Cursor, const uint8_t* Record) override {
    return AsFilterError(Cursor, [&] { return Test(FTree.Get(), Record); });
  }

  uint8_t Optimization() const override { return FOptimization; }

  std::unique_ptr<TCursorCondition> Clone(TDataCursor& Target) const override {
    return std::make_unique<TExpressionCondition>(Target, CopyExpression(FTree.Get()));
  }

 private:
  // One key range of an index slot; several ranges are joined.
  struct TRange {
    uint8_t Low[kCursorKeyBufferSize];
    uint8_t High[kCursorKeyBufferSize];
  };
  struct TIndexPlan {
    uint8_t Slot = 0;
    std::vector<TRange> Ranges;
    bool Invert = false;
  };

  bool Test(const TExpToken* N, const uint8_t* Record) {
    TExpToken* R = EvaluateExpression(N, Record, FEval);
    const bool True = !R->Null && R->Get<uint16_t>() != 0;
    PutExpToken(R);
    return True;
  }

  // 0 scan, 1 partly through indexes, 2 wholly.
  uint8_t Level(const TExpToken* N) {
    if (N == nullptr) return 0;
    if (N->Kind == nkBinary && N->Code == opAnd) {
      const uint8_t L = Level(N->Operand1), R = Level(N->Operand2);
      if (L == 2 && R == 2) return 2;
      return (L > 0 || R > 0) ? 1 : 0;
    }
    if (N->Kind == nkBinary && N->Code == opOr) return Level(N->Operand1) == 2 && Level(N->Operand2) == 2 ? 2 : 0;
    if (N->Kind == nkUnary && (N->Code == opNot || N->Code == opNegate || N->Code == opPlus))
      return Level(N->Operand1);
    TIndexPlan P;
    return Plan(N, P) ? 2 : 0;
  }

  // The key of a constant for the first field of an index slot (null byte and value).
  bool ConstantKey(const uint8_t* FieldDesc, bool IndexCaseIns, const TExpToken* K, uint8_t* Key) {
    std::memset(Key, 0, kCursorKeyBufferSize);
    const uint8_t Type = FieldDesc[kFieldDescTypeOffset];
    const int Size = FieldDescDataSize(FieldDesc);
    if (K->Null || K->DataType != Type) return false;
    if (Type == ftString) {
      const std::string S = K->AsString();
      if (S.empty() || static_cast<int>(S.size()) > Size - 1) return false;
    } else if (K->Capacity < static_cast<uint32_t>(Size)) {
      return false;
    }
    Key[0] = 1;
    BuildIndexKey(FieldDesc, K->Value, Key, 0, FCursor->SortID, FCursor->LanguageID, false, IndexCaseIns);
    return true;
  }

  // Whether a node is answered by one index: its slot and key ranges.
  bool Plan(const TExpToken* N, TIndexPlan& P) {
    // A live query result maps its columns onto a source table: it is scanned.
    if (FCursor->LiveResult) return false;
    if (N == nullptr || N->Operand1 == nullptr || N->Operand1->Kind != nkColumn) return false;
    const bool Compare = IsComparison(N) && N->Operand2 != nullptr && N->Operand2->Kind == nkConstant;
    const bool Prefix = N->Kind == nkPrefix && N->Code == opEqual && !N->CaseInsensitive && N->PrefixLength > 0 &&
                        N->Operand2 != nullptr && N->Operand2->Kind == nkConstant;
    const bool InList = N->Kind == nkPredicate && (N->Code == prIn || N->Code == prNotIn);
    const bool Between = N->Kind == nkPredicate && N->Code == prBetween;
    if (!Compare && !Prefix && !InList && !Between) return false;
    const int MapNo = N->Operand1->FieldNo;
    if (MapNo < 1 || MapNo > FCursor->GetFieldCount()) return false;
    uint8_t D[kFieldDescriptorSize];
    FCursor->GetFieldDesc(MapNo, D);
    if (D[kFieldDescCalculatedOffset] != 0) return false;
    const uint8_t Type = D[kFieldDescTypeOffset];
    const bool Text = Type == ftString;
    // Strings go through an index only where keys order them as the evaluator does.
    if (Text && FCursor->LanguageID != 0) return false;
    if (Type == ftBlob || Type == ftBytes) return false;
    const int FieldNo = GetU16(D + kFieldDescNumberOffset);
    const int Slot = FCursor->FindIndexOnField(FieldNo, false, false);
    if (Slot < 0) return false;
    P.Slot = static_cast<uint8_t>(Slot);
    const int Seg = FieldDescDataSize(D) + 1;
    auto Add = [&](const uint8_t* Low, int LowFrom, const uint8_t* High, int HighFrom) {
      TRange R;
      std::memcpy(R.Low, Low, sizeof R.Low);
      std::memcpy(R.High, High, sizeof R.High);
      FCursor->FillKeyLow(P.Slot, R.Low, LowFrom);
      FCursor->FillKeyHigh(P.Slot, R.High, HighFrom);
      P.Ranges.push_back(R);
    };
    uint8_t Key[kCursorKeyBufferSize], Other[kCursorKeyBufferSize];
    // The lowest key with a value (an empty string counts as NULL).
    uint8_t Least[kCursorKeyBufferSize] = {};
    Least[0] = 1;
    if (Text) Least[1] = 1;
    const int LeastFrom = Text ? 3 : 2;
    uint8_t Most[kCursorKeyBufferSize] = {};
    Most[0] = 1;
    if (Compare) {
      const TExpToken* K = N->Operand2;
      if (K->Null) {
        // IS NULL and IS NOT NULL; string columns hold empty texts that read as NULL.
        if (Text || (N->Code != opEqual && N->Code != opNotEqual)) return false;
        uint8_t Null[kCursorKeyBufferSize] = {};
        Add(Null, 2, Null, 2);
        P.Invert = N->Code == opNotEqual;
        return true;
      }
      if (!ConstantKey(D, false, K, Key)) return false;
      switch (N->Code) {
        case opEqual:
        case opNotEqual:
          Add(Key, Seg + 1, Key, Seg + 1);
          P.Invert = N->Code == opNotEqual;
          return true;
        case opGreater:
          TDataCursor::IncrementKey(Key, Seg);
          Add(Key, Seg + 1, Most, 2);
          return true;
        case opGreaterEqual:
          Add(Key, Seg + 1, Most, 2);
          return true;
        case opLess:
          TDataCursor::DecrementKey(Key, Seg);
          Add(Least, LeastFrom, Key, Seg + 1);
          return true;
        case opLessEqual:
          Add(Least, LeastFrom, Key, Seg + 1);
          return true;
        default:
          return false;
      }
    }
    if (Prefix) {
      if (!Text) return false;
      const std::string S = N->Operand2->AsString();
      if (S.empty() || static_cast<int>(S.size()) > Seg - 2) return false;
      std::memset(Key, 0, sizeof Key);
      Key[0] = 1;
      std::memcpy(Key + 1, S.data(), S.size());
      const int From = static_cast<int>(S.size()) + 2;
      Add(Key, From, Key, From);
      return true;
    }
    if (Between) {
      const TExpToken* Lo = N->Operand2;
      const TExpToken* Hi = Lo != nullptr ? Lo->Operand2 : nullptr;
      if (Lo == nullptr || Hi == nullptr || Lo->Kind != nkConstant || Hi->Kind != nkConstant) return false;
      if (!ConstantKey(D, false, Lo, Key) || !ConstantKey(D, false, Hi, Other)) return false;
      Add(Key, Seg + 1, Other, Seg + 1);
      return true;
    }
    // IN list: one equality range per item.
    for (const TExpToken* Item = N->Operand2; Item != nullptr; Item = Item->Operand2) {
      if (Item->Kind != nkConstant || !ConstantKey(D, false, Item, Key)) return false;
      Add(Key, Seg + 1, Key, Seg + 1);
    }
    P.Invert = N->Code == prNotIn;
    return !P.Ranges.empty();
  }

  // An AND of parts that one index slot answers with one range each (comparisons, BETWEEN, a
  // prefix, nested ANDs of them): the one range they share, so that "x >= a AND x < b" walks the
  // keys between a and b instead of every key from a on and every key below b.
  bool PlanConjunction(const TExpToken* N, TIndexPlan& P) {
    if (N == nullptr) return false;
    if (!(N->Kind == nkBinary && N->Code == opAnd)) return Plan(N, P) && !P.Invert && P.Ranges.size() == 1;
    TIndexPlan A, B;
    if (!PlanConjunction(N->Operand1, A) || !PlanConjunction(N->Operand2, B) || A.Slot != B.Slot) return false;
    P.Slot = A.Slot;
    P.Invert = false;
    P.Ranges.assign(1, A.Ranges[0]);
    TRange& R = P.Ranges[0];
    const TRange& O = B.Ranges[0];
    if (FCursor->CompareSlotKeys(P.Slot, O.Low, R.Low) > 0) std::memcpy(R.Low, O.Low, sizeof R.Low);
    if (FCursor->CompareSlotKeys(P.Slot, O.High, R.High) < 0) std::memcpy(R.High, O.High, sizeof R.High);
    return true;
  }

  // Narrows Bitmap to the records of the plan's ranges (or, inverted, to the others).
  bool ApplyPlan(const TIndexPlan& P, TRecordsBitmap& Bitmap) {
    TPoolBitmap Union, One;
    bool Aborted = false;
    for (size_t I = 0; I < P.Ranges.size(); ++I) {
      TRecordsBitmap& Target = I == 0 ? *Union.B : *One.B;
      FCursor->MarkKeyRangeOn(P.Slot, P.Ranges[I].Low, P.Ranges[I].High, Aborted, Target);
      if (Aborted) return false;
      if (I > 0) Union.B->OrWith(*One.B);
    }
    if (P.Invert) InvertWithin(*Union.B);
    Union.B->SetRecordCount(Bitmap.RecordCount);
    Bitmap.AndWith(*Union.B);
    return true;
  }

  // Narrows Bitmap to the records that pass N. False when aborted.
  bool EvaluateNode(const TExpToken* N, TRecordsBitmap& Bitmap) {
    if (N->Kind == nkBinary && N->Code == opAnd) {
      TIndexPlan Shared;
      if (PlanConjunction(N, Shared)) return ApplyPlan(Shared, Bitmap);
      // The side an index answers goes first and the other tests only what is left.
      const TExpToken* A = N->Operand1;
      const TExpToken* B = N->Operand2;
      if (Level(B) > Level(A)) std::swap(A, B);
      return EvaluateNode(A, Bitmap) && EvaluateNode(B, Bitmap);
    }
    if (N->Kind == nkBinary && N->Code == opOr && Level(N) == 2) {
      TPoolBitmap Left, Right;
      Left.B->CopyFrom(Bitmap);
      Right.B->CopyFrom(Bitmap);
      if (!EvaluateNode(N->Operand1, *Left.B) || !EvaluateNode(N->Operand2, *Right.B)) return false;
      Left.B->OrWith(*Right.B);
      Bitmap.CopyFrom(*Left.B);
      return true;
    }
    if (N->Kind == nkUnary && N->Code == opNot && Level(N->Operand1) > 0) {
      // The records that pass the operand are taken out of the candidates.
      TPoolBitmap Passed;
      Passed.B->CopyFrom(Bitmap);
      if (!EvaluateNode(N->Operand1, *Passed.B)) return false;
      InvertWithin(*Passed.B);
      Bitmap.AndWith(*Passed.B);
      return true;
    }
    if (N->Kind == nkUnary && (N->Code == opNegate || N->Code == opPlus) && Level(N->Operand1) > 0)
      return EvaluateNode(N->Operand1, Bitmap);
    TIndexPlan P;
    if (Plan(N, P)) return ApplyPlan(P, Bitmap);
    bool Aborted = false;
    FCursor->FilterBitmap(
        Bitmap, [&](const uint8_t* Record, uint32_t) { return Test(N, Record); }, Aborted, 10);
    return !Aborted;
  }

  TDataCursor* FCursor;
  TExpTree FTree;
  TEvalContext FEval;
  uint8_t FOptimization = 0;
};

// ---- Calculated fields ----

class TExpressionCalculation : public TCursorCalculation {
 public:
  TExpressionCalculation(TDataCursor& Cursor, TExpToken* Tree) : FTree(Tree), FEval(CursorEvalContext(Cursor)) {}

  void Compute(TDataCursor& Cursor, uint8_t* Record, const TFieldDescriptor& Field) override {
    const uint16_t Offset = Field.Offset();
    const int Size = Field.DataSize();
    if (static_cast<int>(Offset) + 1 + Size > Cursor.RecordBufferSize) return;
    std::memset(Record + Offset, 0, static_cast<size_t>(Size) + 1);
    TExpToken* R = AsFilterError(Cursor, [&] { return EvaluateExpression(FTree.Get(), Record, FEval); });
    bool Stored = false;
    if (!R->Null) {
      uint8_t* Dest = Record + Offset + 1;
      if (Field.Type() == ftString && (R->DataType == ftString || R->DataType == ftBlob)) {
        const std::string S = R->AsString();
        std::memcpy(Dest, S.data(), std::min<size_t>(S.size(), static_cast<size_t>(std::max(Size - 1, 0))));
        Stored = !S.empty();
      } else if (R->DataType == Field.Type() && R->Capacity >= static_cast<uint32_t>(Size)) {
        std::memcpy(Dest, R->Value, static_cast<size_t>(Size));
        Stored = true;
      } else {
        Stored = ConvertFieldValue(R->DataType, R->Value, R->Size, Field.Type(), Dest, static_cast<uint32_t>(Size),
                                   Field.Bytes[kFieldDescDataScaleOffset], *FEval.Settings);
      }
    }
    PutExpToken(R);
    Record[Offset] = Stored ? 1 : 0;
    if (!Stored) std::memset(Record + Offset, 0, static_cast<size_t>(Size) + 1);
  }

  std::unique_ptr<TCursorCalculation> Clone(TDataCursor& Target) const override {
    return std::make_unique<TExpressionCalculation>(Target, CopyExpression(FTree.Get()));
  }

 private:
  TExpTree FTree;
  TEvalContext FEval;
};

TExpToken* ParseAndCheck(TDataCursor& Cursor, const std::string& Text, bool Condition) {
  TExpressionParser P;
  P.ErrorCode = kFilterErrorCode;
  P.TableName = Cursor.TableName;
  P.Context = kFilterContext;
  GetCursorFormat(Cursor, P.Settings);
  P.SetText(Text);
  P.NextToken();
  TExpTree T(P.ParseExpression(pfPredicates));
  TTypeCheckContext C;
  C.ErrorCode = kFilterErrorCode;
  C.TableName = Cursor.TableName;
  C.Context = kFilterContext;
  C.Condition = Condition;
  GetCursorFormat(Cursor, C.Settings);
  C.ResolveColumn = MakeFieldResolver(CursorFields(Cursor));
  if (!T.Get()) C.Fail("filter expression is empty");
  const uint8_t Type = CheckExpressionTypes(C, nullptr, T.Get());
  if (Condition && Type != ftBoolean) C.Fail("filter expression must be a boolean expression");
  return T.Release();
}

class TEngineExpressionCompiler : public TCursorExpressionCompiler {
 public:
  std::unique_ptr<TCursorCondition> CompileCondition(TDataCursor& Cursor, const std::string& Text,
                                                     bool NoPartialCompare, bool CaseInsensitive) override {
    return MakeTreeCondition(Cursor, CompileFilterTree(Cursor, Text), NoPartialCompare, CaseInsensitive);
  }
};

TEngineExpressionCompiler GCompiler;

struct TRegistration {
  TRegistration() { RegisterEngineExpressions(); }
} GRegistration;

}  // namespace

void RegisterEngineExpressions() {
  SetCursorExpressionCompiler(&GCompiler);
}

TExpToken* CompileFilterTree(TDataCursor& Cursor, const std::string& Text) {
  TExpToken* T = ParseAndCheck(Cursor, Text, true);
  TurnComparison(T);
  if (T->Kind == nkUnary) TurnComparison(T->Operand1);
  return T;
}

std::unique_ptr<TCursorCondition> MakeTreeCondition(TDataCursor& Cursor, TExpToken* Tree, bool NoPartialCompare,
                                                    bool CaseInsensitive) {
  TExpTree Owned(Tree);
  if (!Owned.Get()) return nullptr;
  TEvalContext Eval = CursorEvalContext(Cursor);
  TExpToken* Prepared = PrepareExpression(Owned.Get(), Eval, NoPartialCompare, CaseInsensitive);
  return std::make_unique<TExpressionCondition>(Cursor, Prepared);
}

std::unique_ptr<TCursorCalculation> MakeExpressionCalculation(TDataCursor& Cursor, TExpToken* Tree) {
  if (Tree == nullptr) return nullptr;
  return std::make_unique<TExpressionCalculation>(Cursor, Tree);
}

std::unique_ptr<TCursorCalculation> CompileCalculation(TDataCursor& Cursor, const std::string& Text) {
  return MakeExpressionCalculation(Cursor, ParseAndCheck(Cursor, Text, false));
}
