#include "dbengine/sql/expr_check.h"

#include "dbengine/sql/expr_values.h"
#include "dbengine/storage/engine_errors.h"

void TTypeCheckContext::Fail(const std::string& Message) const {
  RaiseEngineError(ErrorCode, TableName, std::string(), std::string(),
                   Message.size() > 255 ? Message.substr(0, 255) : Message);
}

namespace {

bool IsIntLike(uint8_t T) { return T == ftSmallInt || T == ftInteger || T == ftWord; }
bool IsNumeric(uint8_t T) { return IsIntLike(T) || T == ftFloat || T == ftBCD; }
bool IsTemporal(uint8_t T) { return T == ftDate || T == ftTime || T == ftTimeStamp; }
bool IsMemo(const TExpToken& N) { return N.DataType == ftBlob && N.SubType == stMemo; }
bool IsStringOrMemo(const TExpToken& N) { return N.DataType == ftString || IsMemo(N); }
bool IsStringOrBlob(const TExpToken& N) { return N.DataType == ftString || N.DataType == ftBlob; }
bool IsNullConstant(const TExpToken& N) { return N.Kind == nkConstant && N.DataType == dtUntyped; }
bool IsConstantOfType(const TExpToken* N, uint8_t Type) {
  return N && N->Kind == nkConstant && !N->Parameter && N->DataType == Type;
}

uint32_t FixedSize(uint8_t T) {
  switch (T) {
    case ftBoolean:
    case ftSmallInt:
    case ftWord:
      return 2;
    case ftDate:
    case ftTime:
    case ftInteger:
      return 4;
    case ftFloat:
    case ftBCD:
    case ftTimeStamp:
      return 8;
    default:
      return 0;
  }
}

const char* KindWord(const TExpToken& N) {
  switch (N.Kind) {
    case nkColumn:
      return "column";
    case nkConstant:
      return "constant";
    case nkFunction:
      return "function";
    default:
      return "expression";
  }
}

void TurnBackToString(TExpToken* N) {
  N->Kind = nkConstant;
  N->DataType = N->SavedType;
  N->SubType = N->SavedSubType;
  N->Size = N->SavedSize;
  N->Scale = N->SavedScale;
  N->ColumnName.clear();
  N->FieldNo = 0;
  N->FromString = false;
}

// A string constant compared with a temporal value becomes a value of that type.
void ConvertTemporalText(const TTypeCheckContext& C, TExpToken* Str, const TExpToken* Other) {
  if (Str->Kind != nkConstant || Str->Parameter || Str->DataType != ftString || !IsTemporal(Other->DataType)) return;
  uint8_t Buffer[8] = {0};
  std::string Text = Str->AsString();
  if (!TextToTemporal(Text, Other->DataType, Buffer, *C.Settings))
    C.Fail("Date, time, or timestamp expression expected, instead found '" + Str->Text + "'" + " in " + C.Context);
  Str->SetCapacity(8);
  std::memset(Str->Value, 0, Str->Capacity);
  std::memcpy(Str->Value, Buffer, 8);
  Str->DataType = Other->DataType;
  Str->SubType = 0;
  Str->Size = Other->Size ? Other->Size : FixedSize(Other->DataType);
  Str->Scale = Other->Scale;
}

bool RightOfEqualityAllowed(const TExpToken& L, const TExpToken& R, bool Ordering) {
  const uint8_t RT = R.DataType;
  if (IsNullConstant(R)) return !Ordering;
  switch (L.DataType) {
    case ftString:
      return RT == ftString || IsMemo(R);
    case ftDate:
    case ftTimeStamp:
      return RT == ftDate || RT == ftTimeStamp;
    case ftBlob:
      return IsMemo(L) && (RT == ftString || IsMemo(R));
    case ftBoolean:
      return !Ordering && RT == ftBoolean;
    case ftTime:
      return RT == ftTime;
    default:
      return IsNumeric(L.DataType) && IsNumeric(RT);
  }
}

}  // namespace

bool OperandsCompatible(uint8_t Code, const TExpToken& L, const TExpToken& R) {
  const uint8_t LT = L.DataType, RT = R.DataType;
  // A parameter has no type until its value is given; the statement is checked again then.
  if ((L.Parameter && LT == dtUntyped) || (R.Parameter && RT == dtUntyped)) return true;
  if (IsNullConstant(L) || LT == dtUntyped || LT == ftBytes || LT == dtLongText) return false;
  if (IsNullConstant(R) && Code != opEqual && Code != opNotEqual) return false;
  switch (Code) {
    case opEqual:
    case opNotEqual:
      return RightOfEqualityAllowed(L, R, false);
    case opLess:
    case opGreater:
    case opLessEqual:
    case opGreaterEqual:
      return RightOfEqualityAllowed(L, R, true);
    case opAnd:
    case opOr:
      return LT == ftBoolean && RT == ftBoolean;
    case opAdd:
      if (LT == ftString) return RT == ftString || IsMemo(R);
      if (LT == ftDate || LT == ftTimeStamp) return IsIntLike(RT);
      if (LT == ftBlob) return IsMemo(L) && (RT == ftString || IsMemo(R));
      if (IsIntLike(LT)) return RT == ftDate || IsNumeric(RT) || RT == ftTime || RT == ftTimeStamp;
      if (LT == ftFloat || LT == ftBCD) return IsNumeric(RT);
      if (LT == ftTime) return IsIntLike(RT);
      return false;
    case opSubtract:
      if (LT == ftDate) return RT == ftDate || IsIntLike(RT);
      if (LT == ftTimeStamp) return RT == ftDate || IsIntLike(RT) || RT == ftTime || RT == ftTimeStamp;
      if (IsNumeric(LT)) return IsNumeric(RT);
      if (LT == ftTime) return IsIntLike(RT) || RT == ftTime;
      return false;
    case opMultiply:
    case opDivide:
      return IsNumeric(LT) && IsNumeric(RT);
    default:
      return false;
  }
}

namespace {

// Result type and subtype of a binary operator over a compatible pair.
void BinaryResult(uint8_t Code, const TExpToken& L, const TExpToken& R, uint8_t& Type, uint8_t& Sub) {
  const uint8_t LT = L.DataType, RT = R.DataType;
  Sub = 0;
  if (Code <= opLessEqual || Code == opAnd || Code == opOr) {
    Type = ftBoolean;
    return;
  }
  if (Code == opAdd && IsStringOrBlob(L) && IsStringOrBlob(R)) {
    if (LT == ftString && RT == ftString) {
      Type = ftString;
    } else {
      Type = ftBlob;
      Sub = stMemo;
    }
    return;
  }
  if (Code == opAdd || Code == opSubtract) {
    if (LT == ftDate && RT == ftDate) {
      Type = ftInteger;
      return;
    }
    if (LT == ftTime && RT == ftTime) {
      Type = ftInteger;
      return;
    }
    if (LT == ftTimeStamp && (RT == ftDate || RT == ftTime)) {
      Type = ftInteger;
      return;
    }
    if (LT == ftTimeStamp && RT == ftTimeStamp) {
      Type = ftFloat;
      return;
    }
    if (IsTemporal(LT)) {
      Type = LT;
      return;
    }
    if (IsTemporal(RT)) {
      Type = RT;
      return;
    }
  }
  if (Code == opDivide) {
    if (IsIntLike(LT))
      Type = RT == ftBCD ? ftBCD : ftFloat;
    else if (LT == ftFloat)
      Type = ftFloat;
    else  // BCD
      Type = RT == ftFloat ? ftFloat : ftBCD;
  } else if (LT == ftFloat || RT == ftFloat) {
    Type = ftFloat;
  } else if (LT == ftBCD || RT == ftBCD) {
    Type = ftBCD;
  } else if (Code == opSubtract && LT == ftWord) {
    Type = ftWord;
  } else {
    Type = ftInteger;
  }
  const bool LMoney = L.SubType == stMoney, RMoney = R.SubType == stMoney;
  if (Code == opAdd || Code == opMultiply) {
    if ((L.SubType == 0 && RMoney) || (LMoney && IsNumeric(RT))) Sub = stMoney;
  } else if (LMoney && IsNumeric(RT)) {
    Sub = stMoney;
  }
}

bool IsConstantBound(const TExpToken* N) {
  if (!N) return false;
  if (N->Kind == nkConstant) return true;
  return N->Kind == nkUnary && (N->Code == opPlus || N->Code == opNegate) && N->Operand1 &&
         N->Operand1->Kind == nkConstant;
}

int32_t IntegerConstant(const TExpToken* N) { return N->Get<int32_t>(); }

void CheckFunction(const TTypeCheckContext& C, TExpToken* N);
void CheckPredicate(const TTypeCheckContext& C, TExpToken* N);

void RewriteCondition(TExpToken* N) {
  TExpToken* Copy = GetExpToken();
  Copy->Assign(*N);
  for (TExpToken* Child : {Copy->Operand1, Copy->Operand2, Copy->Operand3})
    if (Child) Child->Parent = Copy;
  TExpToken* True = GetExpToken();
  True->Kind = nkConstant;
  True->Text = "True";
  True->DataType = ftBoolean;
  True->Size = 2;
  True->Put<uint16_t>(1);
  TExpToken* Parent = N->Parent;
  N->Clear();
  N->Parent = Parent;
  N->Kind = nkBinary;
  N->Code = opEqual;
  N->Text = "=";
  N->DataType = ftBoolean;
  N->Size = 2;
  N->Operand1 = Copy;
  N->Operand2 = True;
  Copy->Parent = N;
  True->Parent = N;
}

}  // namespace

uint8_t CheckExpressionTypes(const TTypeCheckContext& C, TExpToken* Parent, TExpToken* N) {
  if (!N) return dtUntyped;
  N->Parent = Parent;
  // 1. A string constant may name a column.
  if (N->Kind == nkConstant && !N->Parameter && N->DataType == ftString) {
    N->ColumnName = N->Text.size() > 255 ? N->Text.substr(0, 255) : N->Text;
    if (!N->ColumnName.empty() && N->ColumnName != "*") {
      N->SavedType = N->DataType;
      N->SavedSubType = N->SubType;
      N->SavedSize = N->Size;
      N->SavedScale = N->Scale;
      if (C.ResolveColumn && C.ResolveColumn(N)) {
        N->Kind = nkColumn;
        N->FromString = true;
      } else {
        N->ColumnName.clear();
      }
    } else {
      N->ColumnName.clear();
    }
  }
  // 2. By kind.
  switch (N->Kind) {
    case nkUnary: {
      TExpToken* A = N->Operand1;
      CheckExpressionTypes(C, N, A);
      const uint8_t T = A->DataType;
      bool Ok;
      if (N->Code == opNot)
        Ok = T == ftBoolean;
      else if (N->Code == opPlus)
        Ok = T == ftDate || IsNumeric(T) || T == ftTime || T == ftTimeStamp;
      else
        Ok = T == ftDate || (IsNumeric(T) && T != ftWord) || T == ftTime || T == ftTimeStamp;
      if (!Ok)
        C.Fail("Type mismatch between '" + N->Text + "'" + " operator and " + "'" + A->Text + "'" + " in " +
               C.Context);
      if (N->Code == opNot) {
        N->DataType = ftBoolean;
        N->SubType = 0;
        N->Size = 2;
      } else {
        N->DataType = T;
        N->SubType = A->SubType;
        N->Size = A->Size;
      }
      N->Scale = A->Scale;
      break;
    }
    case nkBinary:
    case nkPrefix: {
      TExpToken* L = N->Operand1;
      TExpToken* R = N->Operand2;
      CheckExpressionTypes(C, N, L);
      CheckExpressionTypes(C, N, R);
      if (L->Kind == nkColumn && R->Kind == nkColumn) {
        if (R->FromString)
          TurnBackToString(R);
        else if (L->FromString)
          TurnBackToString(L);
      }
      if (L->Kind == nkConstant || R->Kind == nkConstant) {
        ConvertTemporalText(C, L, R);
        ConvertTemporalText(C, R, L);
      }
      if (!OperandsCompatible(N->Code, *L, *R))
        C.Fail("Type mismatch between " + std::string(KindWord(*L)) + " " + "'" + L->Text + "'" + " and " +
               KindWord(*R) + " " + "'" + R->Text + "'" + " in " + C.Context);
      uint8_t Type, Sub;
      BinaryResult(N->Code, *L, *R, Type, Sub);
      N->DataType = Type;
      N->SubType = Sub;
      if (N->Code == opAdd && IsStringOrBlob(*L) && IsStringOrBlob(*R)) {
        N->Size = (L->Size ? L->Size - 1 : 0) + (R->Size ? R->Size - 1 : 0) + 1;
        N->Scale = 0;
      } else {
        // Fixed-size results take their type's size; the scale is the larger one.
        const uint32_t Fixed = FixedSize(Type);
        N->Size = Fixed ? Fixed : (L->Size > R->Size ? L->Size : R->Size);
        N->Scale = L->Scale > R->Scale ? L->Scale : R->Scale;
      }
      break;
    }
    case nkColumn:
      if (N->ColumnName != "*" && !N->FromString && !(C.ResolveColumn && C.ResolveColumn(N)))
        C.Fail("Invalid column name '" + N->ColumnName + "'" + " or table correlation name " + "'" +
               N->CorrelationName + "'" + " specified in " + C.Context);
      break;
    case nkSubSelect: {
      int Columns = C.ResolveSubSelect ? C.ResolveSubSelect(N) : 0;
      if (Columns != 1) C.Fail("More than 1 column for sub-select  specified in " + C.Context);
      break;
    }
    case nkFunction:
      CheckFunction(C, N);
      break;
    case nkPredicate:
      CheckPredicate(C, N);
      break;
    default:
      break;
  }
  // 3. A bare boolean column, CAST or IF used as a condition means "= True".
  if (C.Condition && N->DataType == ftBoolean &&
      (N->Kind == nkColumn || (N->Kind == nkFunction && (N->Code == fnCast || N->Code == fnIf))) &&
      (!Parent || Parent->Code == opNot || Parent->Code == opAnd || Parent->Code == opOr) &&
      (!Parent || Parent->Kind == nkUnary || Parent->Kind == nkBinary))
    RewriteCondition(N);
  return N->DataType;
}

namespace {

void CheckFunction(const TTypeCheckContext& C, TExpToken* N) {
  const std::string& Name = N->Text;
  TExpToken* A = N->Operand1;
  auto SetResult = [N](uint8_t Type, uint8_t Sub, uint32_t Size) {
    N->DataType = Type;
    N->SubType = Sub;
    N->Size = Size;
    N->Scale = 0;
  };
  switch (N->Code) {
    case fnSum:
    case fnMin:
    case fnMax:
    case fnAvg: {
      CheckExpressionTypes(C, N, A);
      const uint8_t T = A->DataType;
      if (!(T == ftDate || IsNumeric(T) || T == ftTime || T == ftTimeStamp))
        C.Fail(Name + " aggregate function " + "must contain a numeric, date, time, or timestamp expression in " +
               C.Context);
      N->DataType = T;
      N->SubType = A->SubType;
      N->Size = A->Size;
      N->Scale = A->Scale;
      return;
    }
    case fnCount:
      CheckExpressionTypes(C, N, A);
      SetResult(ftInteger, 0, 4);
      return;
    case fnUpper:
    case fnLower:
      CheckExpressionTypes(C, N, A);
      if (!IsStringOrMemo(*A))
        C.Fail("Type mismatch between " + Name + " function and function argument in " + C.Context);
      SetResult(A->DataType, IsMemo(*A) ? stMemo : 0, A->Size);
      return;
    case fnSubstring: {
      CheckExpressionTypes(C, N, A);
      if (!IsStringOrMemo(*A)) C.Fail("Expression argument of SUBSTRING function must be a string or memo in " + C.Context);
      TExpToken* From = N->Operand2;
      if (!IsConstantOfType(From, ftInteger) || From->Null)
        C.Fail("FROM argument of SUBSTRING function must be an integer constant in " + C.Context);
      From->Parent = N;
      const int32_t F = IntegerConstant(From);
      if (F < 1) C.Fail("FROM argument of SUBSTRING function must be an integer constant greater than 0 in " + C.Context);
      uint32_t Size;
      if (TExpToken* For = From->Operand2) {
        if (!IsConstantOfType(For, ftInteger) || For->Null)
          C.Fail("FOR argument of SUBSTRING function must be an integer constant in " + C.Context);
        For->Parent = From;
        const int32_t Count = IntegerConstant(For);
        if (Count < 1)
          C.Fail("FOR argument of SUBSTRING function must be an integer constant greater than 0 in " + C.Context);
        Size = static_cast<uint32_t>(Count) + 1;
      } else {
        // A start beyond the value leaves room for the empty result only.
        Size = static_cast<int64_t>(A->Size) - F + 1 >= 1 ? static_cast<uint32_t>(A->Size - F + 1) : 1;
      }
      SetResult(A->DataType, IsMemo(*A) ? stMemo : 0, Size);
      return;
    }
    case fnReplace: {
      CheckExpressionTypes(C, N, A);
      if (!IsStringOrMemo(*A)) C.Fail("IN argument of REPLACE function must be a string or memo in " + C.Context);
      TExpToken* Search = N->Operand2;
      if (!IsConstantOfType(Search, ftString))
        C.Fail("Search argument of REPLACE function must be a string constant in " + C.Context);
      if (!IsConstantOfType(Search->Operand2, ftString))
        C.Fail("WITH argument of REPLACE function must be a string constant in " + C.Context);
      Search->Parent = N;
      Search->Operand2->Parent = Search;
      SetResult(A->DataType, IsMemo(*A) ? stMemo : 0, A->Size);
      return;
    }
    case fnPos:
    case fnOccurs: {
      const bool Pos = N->Code == fnPos;
      CheckExpressionTypes(C, N, A);
      if (!IsStringOrMemo(*A))
        C.Fail(std::string(Pos ? "Type mismatch between POS function and IN argument in "
                               : "Type mismatch between OCCURS function and IN argument in ") +
               C.Context);
      if (!IsConstantOfType(N->Operand2, ftString))
        C.Fail(std::string(Pos ? "Search string argument of POS function must be a string constant in "
                               : "Search string argument of OCCURS function must be a string constant in ") +
               C.Context);
      N->Operand2->Parent = N;
      SetResult(ftInteger, 0, 4);
      return;
    }
    case fnTrimLeading:
    case fnTrimTrailing:
    case fnTrimBoth: {
      CheckExpressionTypes(C, N, A);
      if (!IsStringOrMemo(*A)) C.Fail("FROM argument of TRIM function must be a string or memo in " + C.Context);
      TExpToken* T = N->Operand2;
      if (!IsConstantOfType(T, ftString) || T->AsString().size() != 1)
        C.Fail("Trim character argument of TRIM function must be a single character constant in " + C.Context);
      T->Parent = N;
      SetResult(A->DataType, IsMemo(*A) ? stMemo : 0, A->Size);
      return;
    }
    case fnCast: {
      CheckExpressionTypes(C, N, A);
      const uint8_t S = A->DataType, T = N->DataType;
      bool Ok;
      switch (T) {
        case ftString:
        case ftBytes:
        case dtLongText:
          Ok = S != ftBlob;
          break;
        case ftDate:
          Ok = S == ftString || S == ftDate || S == ftBytes || S == ftTimeStamp || S == dtLongText;
          break;
        case ftBlob:
          Ok = S == ftBlob;
          break;
        case ftBoolean:
          Ok = S == ftString || S == ftBoolean || S == ftSmallInt || S == ftInteger || S == ftBCD || S == ftBytes ||
               S == ftWord || S == dtLongText;
          break;
        case ftSmallInt:
        case ftWord:
          Ok = S == ftString || S == ftBoolean || IsNumeric(S) || S == ftBytes || S == dtLongText;
          break;
        case ftInteger:
        case ftFloat:
        case ftBCD:
          Ok = S == ftString || IsNumeric(S) || S == ftBytes || S == dtLongText;
          break;
        case ftTime:
          Ok = S == ftString || S == ftBytes || S == ftTime || S == ftTimeStamp || S == dtLongText;
          break;
        case ftTimeStamp:
          Ok = S == ftString || S == ftDate || S == ftBytes || S == ftTime || S == ftTimeStamp || S == dtLongText;
          break;
        default:
          Ok = false;
      }
      // The untyped NULL constant casts to any type (and stays NULL).
      if (IsNullConstant(*A)) Ok = true;
      if (!Ok)
        C.Fail("Type mismatch between " + std::string(KindWord(*A)) + " " + "'" + A->Text + "'" +
               " and AS argument in " + C.Context);
      ApplyDataTypeArguments(C, N);
      return;
    }
    case fnExtractYear:
    case fnExtractMonth:
    case fnExtractDay:
    case fnExtractDayOfWeek:
    case fnExtractHour:
    case fnExtractMinute:
    case fnExtractSecond:
      CheckExpressionTypes(C, N, A);
      if (!IsTemporal(A->DataType))
        C.Fail("FROM argument of EXTRACT function must be a date, time, or timestamp in " + C.Context);
      SetResult(ftInteger, 0, 4);
      return;
    case fnIf: {
      TTypeCheckContext Cond = C;
      Cond.Condition = true;
      CheckExpressionTypes(Cond, N, A);
      if (A->DataType != ftBoolean)
        C.Fail("First expression argument of IF function must be a boolean type in " + C.Context);
      TTypeCheckContext Values = C;
      Values.Condition = false;
      TExpToken* Then = N->Operand2;
      TExpToken* Else = N->Operand3;
      CheckExpressionTypes(Values, N, Then);
      CheckExpressionTypes(Values, N, Else);
      if (Then->DataType != Else->DataType || Then->SubType != Else->SubType)
        C.Fail("Type mismatch between second and third IF expression arguments in " + C.Context);
      N->DataType = Then->DataType;
      N->SubType = Then->SubType;
      N->Size = Then->Size > Else->Size ? Then->Size : Else->Size;
      N->Scale = Then->Scale > Else->Scale ? Then->Scale : Else->Scale;
      return;
    }
    case fnAbs:
      CheckExpressionTypes(C, N, A);
      if (!IsNumeric(A->DataType))
        C.Fail("Expression argument of ABS function must be an integer or floating-point type in " + C.Context);
      SetResult(ftInteger, 0, 4);
      return;
    case fnRound: {
      CheckExpressionTypes(C, N, A);
      if (A->DataType != ftFloat && A->DataType != ftBCD)
        C.Fail("Expression argument of ROUND function must be a floating-point type in " + C.Context);
      if (TExpToken* To = N->Operand2) {
        if (!IsConstantOfType(To, ftInteger) || To->Null)
          C.Fail("Decimal places argument of ROUND function must be an integer constant in " + C.Context);
        To->Parent = N;
        const int32_t Places = IntegerConstant(To);
        if (Places < 0 || Places > 32)
          C.Fail("Decimal places argument of ROUND function must be an integer constant between 0 and 32 in " +
                 C.Context);
      }
      SetResult(ftFloat, 0, 8);
      return;
    }
    default:
      return;
  }
}

std::string PredicateName(uint8_t Code) {
  switch (Code) {
    case prLike:
      return "LIKE";
    case prNotLike:
      return "NOT LIKE";
    case prBetween:
      return "BETWEEN";
    case prNotBetween:
      return "NOT BETWEEN";
    case prNotIn:
    case prNotInSelect:
      return "NOT IN";
    default:
      return "IN";
  }
}

void CheckBound(const TTypeCheckContext& C, TExpToken* Owner, TExpToken* Tested, TExpToken* Bound,
                const std::string& Name) {
  if (!IsConstantBound(Bound))
    C.Fail("Constant expression expected after " + Name + " operator, " + "instead found " + "'" +
           (Bound ? Bound->Text : std::string()) + "'" + " in " + C.Context);
  Bound->Parent = Owner;
  if (Bound->Kind == nkUnary) {
    // Type the signed constant without letting its chain link be walked. The link goes back even
    // when the check fails, or the rest of the chain would be lost with the error.
    struct TLinkRestore {
      TExpToken* Node;
      TExpToken* Link;
      ~TLinkRestore() { Node->Operand2 = Link; }
    } Restore{Bound, Bound->Operand2};
    Bound->Operand2 = nullptr;
    TTypeCheckContext Plain = C;
    Plain.ResolveColumn = nullptr;
    CheckExpressionTypes(Plain, Owner, Bound);
  }
  ConvertTemporalText(C, Bound, Tested);
  if (!OperandsCompatible(opEqual, *Tested, *Bound))
    C.Fail("Type mismatch between " + Name + " operator and expression " + "'" + Bound->Text + "'" + " in " +
           C.Context);
}

void CheckPredicate(const TTypeCheckContext& C, TExpToken* N) {
  const std::string Name = PredicateName(N->Code);
  TExpToken* V = N->Operand1;
  CheckExpressionTypes(C, N, V);
  N->DataType = ftBoolean;
  N->SubType = 0;
  N->Size = 2;
  N->Scale = 0;
  switch (N->Code) {
    case prLike:
    case prNotLike: {
      if (!IsStringOrMemo(*V))
        C.Fail("Type mismatch between " + Name + " operator and expression " + "'" + V->Text + "'" + " in " +
               C.Context);
      TExpToken* P = N->Operand2;
      if (!P || P->Kind != nkConstant)
        C.Fail("Constant expression expected after " + Name + " operator, " + "instead found " + "'" +
               (P ? P->Text : std::string()) + "'" + " in " + C.Context);
      if (P->DataType != ftString)
        C.Fail("Type mismatch between " + Name + " operator and expression " + "'" + P->Text + "'" + " in " +
               C.Context);
      P->Parent = N;
      return;
    }
    case prBetween:
    case prNotBetween:
      CheckBound(C, N, V, N->Operand2, Name);
      CheckBound(C, N, V, N->Operand2->Operand2, Name);
      return;
    case prIn:
    case prNotIn:
      for (TExpToken* Item = N->Operand2; Item; Item = Item->Operand2) CheckBound(C, N, V, Item, Name);
      return;
    case prInSelect:
    case prNotInSelect: {
      TExpToken* S = N->Operand2;
      CheckExpressionTypes(C, N, S);
      if (!OperandsCompatible(opEqual, *V, *S))
        C.Fail("Type mismatch between " + Name + " operator and expression " + "'" + V->Text + "'" + " in " +
               C.Context);
      return;
    }
    default:
      return;
  }
}

bool IsIntegerArgument(const TExpToken* A) { return IsConstantOfType(A, ftInteger) && !A->Null; }

}  // namespace

void ApplyDataTypeArguments(const TTypeCheckContext& C, TExpToken* N) {
  TExpToken* First = N->Operand2;
  TExpToken* Second = First ? First->Operand2 : nullptr;
  switch (N->DataType) {
    case ftString:
    case ftBytes:
    case dtLongText: {
      if (First) {
        if (!IsIntegerArgument(First)) C.Fail("Length argument must be an integer in " + C.Context);
        const int32_t Length = IntegerConstant(First);
        if (Length < 1 || Length > 250)
          C.Fail("Length argument must be an integer greater than 0 and less than or equal to " + IntToStr(250) +
                 " in " + C.Context);
        N->Size = static_cast<uint32_t>(Length) + (N->DataType == ftString ? 1 : 0);
      } else {
        N->Size = N->Operand1 && N->Operand1->Size ? N->Operand1->Size : 10;
      }
      N->Scale = 0;
      return;
    }
    case ftFloat:
    case ftBCD:
      N->Size = 8;
      N->Scale = 0;
      if (Second) {
        if (!IsIntegerArgument(Second)) C.Fail("Scale argument must be an integer in " + C.Context);
        const int32_t Scale = IntegerConstant(Second);
        if (N->DataType == ftBCD && Scale > 4)
          C.Fail("Scale argument must be an integer less than or equal to 4 for the BCD data type " + C.Context);
        N->Scale = static_cast<uint8_t>(Scale > 255 ? 255 : Scale);
      }
      return;
    case ftBlob: {
      N->Size = N->Operand1 ? N->Operand1->Size : 0;
      N->Scale = 0;
      if (!IsIntegerArgument(First))
        C.Fail("First BLOB type argument must be an integer with the value of 1 in " + C.Context);
      if (!IsIntegerArgument(Second)) C.Fail("BLOB type argument must be an integer in " + C.Context);
      const int32_t Kind = IntegerConstant(Second);
      if (Kind < 1 || Kind > 7)
        C.Fail("BLOB type argument must be an integer greater than 0 and less than or equal to 5 in " + C.Context);
      N->SubType = static_cast<uint8_t>(21 + Kind);
      return;
    }
    default:
      N->Size = FixedSize(N->DataType);
      N->Scale = 0;
      return;
  }
}

// ---- Tree queries ----

bool HasColumnReference(const TExpToken* N) {
  if (!N) return false;
  if (N->Kind == nkColumn) return true;
  return HasColumnReference(N->Operand1) || HasColumnReference(N->Operand2) || HasColumnReference(N->Operand3);
}

bool HasAggregate(const TExpToken* N) {
  if (!N) return false;
  if (N->Kind == nkFunction && N->Code >= fnSum && N->Code <= fnAvg) return true;
  switch (N->Kind) {
    case nkUnary:
      return HasAggregate(N->Operand1);
    case nkBinary:
    case nkPrefix:
      return HasAggregate(N->Operand1) || HasAggregate(N->Operand2);
    case nkFunction:
      if (N->Code == fnIf) return HasAggregate(N->Operand1) || HasAggregate(N->Operand2) || HasAggregate(N->Operand3);
      return HasAggregate(N->Operand1);
    case nkPredicate:
      return HasAggregate(N->Operand1);
    default:
      return false;
  }
}

bool IsOrCondition(const TExpToken* N) {
  if (!N) return false;
  if (N->Kind == nkBinary && N->Code == opOr) return true;
  if (N->Kind == nkUnary && N->Code == opNot) return !IsOrCondition(N->Operand1);
  return false;
}

bool IsUnderNot(const TExpToken* N) {
  if (!N) return false;
  if (N->Kind == nkUnary && N->Code == opNot) return true;
  if (N->Kind == nkBinary) return IsUnderNot(N->Parent);
  return false;
}
