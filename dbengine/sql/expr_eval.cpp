#include "dbengine/sql/expr_eval.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "dbengine/sql/expr_values.h"
#include "dbengine/storage/collation.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_decimal.h"

namespace {

bool IsIntLike(uint8_t T) { return T == ftSmallInt || T == ftInteger || T == ftWord; }
bool IsStringOrBlob(uint8_t T) { return T == ftString || T == ftBlob || T == dtLongText; }

[[noreturn]] void Overflow() { throw EExpressionOverflow("Integer overflow"); }

int32_t CheckedInt32(int64_t V) {
  if (V < std::numeric_limits<int32_t>::min() || V > std::numeric_limits<int32_t>::max()) Overflow();
  return static_cast<int32_t>(V);
}

// A fresh result token shaped like Node: constant kind, Node's type and column binding, no
// operands, no texts. With WithValue it starts with Node's value (constants, parameters, columns
// without a reader stand for the value they carry); otherwise its buffer is zeroed for the
// operator or column reader that fills it.
TExpToken* NewResult(const TExpToken* Node, bool WithValue) {
  TExpToken* R = GetExpToken();
  const uint8_t K = Node->Kind;
  R->Kind = K == nkSubSelect ? nkColumn : nkConstant;
  R->Code = Node->Code;
  R->FieldNo = Node->FieldNo;
  R->Source = Node->Source;
  R->SubSelect = Node->SubSelect;
  R->Null = Node->Null;
  R->Parameter = Node->Parameter;
  R->PrefixLength = Node->PrefixLength;
  R->CaseInsensitive = Node->CaseInsensitive;
  R->DataType = Node->DataType;
  R->SubType = Node->SubType;
  R->Size = Node->Size;
  R->Scale = Node->Scale;
  R->FromString = Node->FromString;
  R->SavedType = Node->SavedType;
  R->SavedSubType = Node->SavedSubType;
  R->SavedSize = Node->SavedSize;
  R->SavedScale = Node->SavedScale;
  if (WithValue && Node->Value) {
    // The value's bytes (Size of them, at least 8) and a terminating zero: nothing past them is read.
    const uint32_t N = std::min(Node->Capacity, std::max<uint32_t>(Node->Size, 8) + 1);
    R->SetCapacity(N);
    std::memcpy(R->Value, Node->Value, N);
  }
  return R;
}

void ZeroValue(TExpToken* R) {
  R->SetCapacity(R->Size > 8 ? R->Size + 1 : 9);
  std::memset(R->Value, 0, R->Capacity);
}

void SetNull(TExpToken* R) {
  ZeroValue(R);
  R->Null = true;
}

void SetBoolean(TExpToken* R, bool B) {
  ZeroValue(R);
  R->Null = false;
  R->DataType = ftBoolean;
  R->Put<uint16_t>(B ? 1 : 0);
}

bool Truth(const TExpToken* T) { return T->Get<uint16_t>() != 0; }

void SetText(TExpToken* R, const std::string& S) {
  R->SetCapacity(static_cast<uint32_t>(S.size() + 1));
  std::memset(R->Value, 0, R->Capacity);
  if (!S.empty()) std::memcpy(R->Value, S.data(), S.size());
  R->Null = S.empty();
}

int64_t IntValue(const TExpToken* T) {
  switch (T->DataType) {
    case ftSmallInt:
      return T->Get<int16_t>();
    case ftWord:
    case ftBoolean:
      return T->Get<uint16_t>();
    default:
      return T->Get<int32_t>();
  }
}

int64_t CurrencyValue(const TExpToken* T) {
  if (T->DataType == ftBCD) return EngineBCDToCurr(T->Get<int64_t>());
  if (T->DataType == ftFloat) {
    int64_t C = 0;
    FloatToCurrency(T->Get<double>(), C);
    return C;
  }
  return IntValue(T) * 10000;
}

double FloatValue(const TExpToken* T) {
  switch (T->DataType) {
    case ftFloat:
    case ftTimeStamp:
      return T->Get<double>();
    case ftBCD:
      return static_cast<double>(EngineBCDToCurr(T->Get<int64_t>())) / 10000.0;
    default:
      return static_cast<double>(IntValue(T));
  }
}

// A temporal value as a timestamp (dates at midnight).
double TimeStampValue(const TExpToken* T) {
  if (T->DataType == ftDate) return MakeTimeStamp(T->Get<int32_t>(), 0);
  if (T->DataType == ftTimeStamp) return T->Get<double>();
  return static_cast<double>(T->Get<int32_t>());
}

int CompareStrings(uint16_t Language, uint16_t Sort, std::string A, std::string B, bool CaseInsensitive) {
  const size_t N = std::max(A.size(), B.size()) + 1;
  A.resize(N, '\0');
  B.resize(N, '\0');
  return CompareLocaleStrings(Language, Sort, A.data(), CaseInsensitive, 0, B.data());
}

template <class T>
int Sign(T A, T B) {
  return A < B ? -1 : (A > B ? 1 : 0);
}

// Compares two non-NULL values of compatible types.
int CompareValues(const TExpToken* L, const TExpToken* R, uint16_t Language, uint16_t Sort) {
  const uint8_t LT = L->DataType, RT = R->DataType;
  if (IsStringOrBlob(LT) || IsStringOrBlob(RT)) return CompareStrings(Language, Sort, L->AsString(), R->AsString(), false);
  if (LT == ftBoolean || RT == ftBoolean) return Sign<int>(Truth(L), Truth(R));
  if ((LT == ftDate || LT == ftTimeStamp) && (RT == ftDate || RT == ftTimeStamp)) {
    if (LT == ftDate && RT == ftDate) return Sign(L->Get<int32_t>(), R->Get<int32_t>());
    return Sign(TimeStampValue(L), TimeStampValue(R));
  }
  if (LT == ftTime || RT == ftTime) return Sign(L->Get<int32_t>(), R->Get<int32_t>());
  if (LT == ftFloat || RT == ftFloat) return Sign(FloatValue(L), FloatValue(R));
  if (LT == ftBCD || RT == ftBCD) return Sign(CurrencyValue(L), CurrencyValue(R));
  return Sign(IntValue(L), IntValue(R));
}

void StoreInteger(TExpToken* R, uint8_t Type, int64_t V) {
  ZeroValue(R);
  R->Null = false;
  switch (Type) {
    case ftSmallInt:
      R->Put<int16_t>(static_cast<int16_t>(static_cast<uint16_t>(V)));
      break;
    case ftWord:
      R->Put<uint16_t>(static_cast<uint16_t>(V));
      break;
    default:
      R->Put<int32_t>(CheckedInt32(V));
  }
}

void StoreFloat(TExpToken* R, double V) {
  ZeroValue(R);
  R->Null = false;
  R->Put<double>(V);
}

uint8_t BCDScale(const TExpToken* L, const TExpToken* R) {
  int64_t E = L->DataType == ftBCD ? L->Get<int64_t>() : R->Get<int64_t>();
  int S = static_cast<int>(((E % 10) + 10) % 10);
  return static_cast<uint8_t>(S > 4 ? 4 : S);
}

void StoreCurrency(TExpToken* R, __int128 C, uint8_t Scale) {
  if (C > std::numeric_limits<int64_t>::max() / 10 || C < std::numeric_limits<int64_t>::min() / 10) Overflow();
  ZeroValue(R);
  R->Null = false;
  R->Put<int64_t>(CurrToEngineBCD(Scale, static_cast<int64_t>(C)));
}

void Arithmetic(uint8_t Code, const TExpToken* L, const TExpToken* R, TExpToken* Res) {
  const uint8_t LT = L->DataType, RT = R->DataType;
  // Concatenation: a NULL text counts as empty.
  if (Code == opAdd && IsStringOrBlob(LT) && IsStringOrBlob(RT)) {
    std::string A = L->Null ? std::string() : L->AsString();
    std::string B = R->Null ? std::string() : R->AsString();
    Res->Size = (L->Size ? L->Size - 1 : 0) + R->Size;
    Res->Scale = 0;
    SetText(Res, A + B);
    if (Res->Size < A.size() + B.size() + 1) Res->Size = static_cast<uint32_t>(A.size() + B.size() + 1);
    return;
  }
  if (L->Null || R->Null) {
    SetNull(Res);
    return;
  }
  const uint8_t T = Res->DataType;
  // Dates, times and timestamps.
  if (LT == ftDate || RT == ftDate || LT == ftTime || RT == ftTime || LT == ftTimeStamp || RT == ftTimeStamp) {
    if (Code == opSubtract && LT == ftDate && RT == ftDate) {
      StoreInteger(Res, ftInteger, static_cast<int64_t>(L->Get<int32_t>()) - R->Get<int32_t>());
    } else if (Code == opSubtract && LT == ftTime && RT == ftTime) {
      StoreInteger(Res, ftInteger, static_cast<int64_t>(L->Get<int32_t>()) - R->Get<int32_t>());
    } else if (LT == ftTimeStamp && RT == ftTimeStamp) {
      StoreFloat(Res, L->Get<double>() - R->Get<double>());
    } else if (LT == ftTimeStamp && RT == ftDate) {
      int32_t Day, Ms;
      SplitTimeStamp(L->Get<double>(), Day, Ms);
      StoreInteger(Res, ftInteger, static_cast<int64_t>(Day) - R->Get<int32_t>());
    } else if (LT == ftTimeStamp && RT == ftTime) {
      int32_t Day, Ms;
      SplitTimeStamp(L->Get<double>(), Day, Ms);
      StoreInteger(Res, ftInteger, static_cast<int64_t>(Ms) - R->Get<int32_t>());
    } else {
      // A temporal value moved by a whole number (days for dates and timestamps, ms for times).
      const bool LeftTemporal = !IsIntLike(LT);
      const TExpToken* V = LeftTemporal ? L : R;
      const int64_t N = IntValue(LeftTemporal ? R : L);
      const int64_t Delta = Code == opSubtract ? -N : N;
      if (V->DataType == ftTimeStamp)
        StoreFloat(Res, V->Get<double>() + static_cast<double>(Delta) * kMSecsPerDay);
      else
        StoreInteger(Res, ftInteger, static_cast<int64_t>(V->Get<int32_t>()) + Delta);
      Res->DataType = V->DataType;
    }
    (void)T;
    return;
  }
  if (Code == opDivide) {
    if (T == ftBCD) {
      const int64_t D = CurrencyValue(R);
      if (D == 0) return SetNull(Res);
      StoreCurrency(Res, static_cast<__int128>(CurrencyValue(L)) * 10000 / D, BCDScale(L, R));
    } else {
      const double D = FloatValue(R);
      if (D == 0) return SetNull(Res);
      StoreFloat(Res, FloatValue(L) / D);
    }
    return;
  }
  if (T == ftFloat) {
    const double A = FloatValue(L), B = FloatValue(R);
    StoreFloat(Res, Code == opAdd ? A + B : Code == opSubtract ? A - B : A * B);
    return;
  }
  if (T == ftBCD) {
    const __int128 A = CurrencyValue(L), B = CurrencyValue(R);
    StoreCurrency(Res, Code == opAdd ? A + B : Code == opSubtract ? A - B : A * B / 10000, BCDScale(L, R));
    return;
  }
  const int64_t A = IntValue(L), B = IntValue(R);
  const int64_t V = Code == opAdd ? A + B : Code == opSubtract ? A - B : A * B;
  StoreInteger(Res, T == ftWord ? ftWord : ftInteger, V);
}

}  // namespace

void EvaluateBinaryOperator(uint8_t Code, const TExpToken* L, const TExpToken* R, uint16_t Language, uint16_t Sort,
                            TExpToken* Res) {
  switch (Code) {
    case opEqual:
    case opNotEqual: {
      bool Equal;
      if (L->Null || R->Null)
        Equal = L->Null && R->Null;
      else
        Equal = CompareValues(L, R, Language, Sort) == 0;
      SetBoolean(Res, Code == opEqual ? Equal : !Equal);
      return;
    }
    case opGreater:
    case opLess:
    case opGreaterEqual:
    case opLessEqual: {
      // A NULL side never satisfies an ordering.
      if (L->Null || R->Null) return SetBoolean(Res, false);
      const int C = CompareValues(L, R, Language, Sort);
      SetBoolean(Res, Code == opGreater ? C > 0 : Code == opLess ? C < 0 : Code == opGreaterEqual ? C >= 0 : C <= 0);
      return;
    }
    case opAnd:
      SetBoolean(Res, Truth(L) && Truth(R));
      return;
    case opOr:
      SetBoolean(Res, Truth(L) || Truth(R));
      return;
    case opAdd:
    case opSubtract:
    case opMultiply:
    case opDivide:
      Arithmetic(Code, L, R, Res);
      return;
    default:
      SetNull(Res);
  }
}

void EvaluateUnaryOperator(uint8_t Code, const TExpToken* A, TExpToken* Res) {
  if (Code == opNot) return SetBoolean(Res, !Truth(A));
  if (A->Null) return SetNull(Res);
  ZeroValue(Res);
  Res->Null = false;
  std::memcpy(Res->Value, A->Value, std::min<uint32_t>(A->Capacity, Res->Capacity));
  if (Code == opPlus) return;
  switch (A->DataType) {
    case ftDate:
    case ftInteger:
    case ftTime:
      Res->Put<int32_t>(static_cast<int32_t>(0u - static_cast<uint32_t>(A->Get<int32_t>())));
      break;
    case ftSmallInt:
      Res->Put<int16_t>(static_cast<int16_t>(static_cast<uint16_t>(0u - static_cast<uint16_t>(A->Get<int16_t>()))));
      break;
    case ftWord:
      Res->Put<uint16_t>(static_cast<uint16_t>(0u - A->Get<uint16_t>()));
      break;
    case ftFloat:
    case ftTimeStamp:
      Res->Put<double>(-A->Get<double>());
      break;
    case ftBCD: {
      const int64_t E = A->Get<int64_t>();
      const int Scale = static_cast<int>(((E % 10) + 10) % 10);
      Res->Put<int64_t>(CurrToEngineBCD(Scale > 4 ? 4 : Scale, -EngineBCDToCurr(E)));
      break;
    }
    default:
      break;
  }
}

void ComparePrefix(uint8_t Code, uint32_t PrefixLength, bool CaseInsensitive, uint16_t Language, uint16_t Sort,
                   TExpToken* Res, const TExpToken* Right, const TExpToken* Left) {
  bool Equal;
  if (Left->Null || Right->Null) {
    Equal = Left->Null && Right->Null;
  } else {
    std::string A = Left->AsString(), B = Right->AsString();
    if (PrefixLength) {
      if (A.size() > PrefixLength) A.resize(PrefixLength);
      if (B.size() > PrefixLength) B.resize(PrefixLength);
    }
    Equal = CompareStrings(Language, Sort, A, B, CaseInsensitive) == 0;
  }
  SetBoolean(Res, Code == opEqual ? Equal : !Equal);
}

void CoerceNumeric(const TExpToken* Target, const void* Source, const TExpToken* SourceNode, uint8_t* Out) {
  TExpToken* S = GetExpToken();
  S->DataType = SourceNode->DataType;
  S->SetCapacity(8);
  std::memcpy(S->Value, Source, 8);
  const uint8_t ST = S->DataType, TT = Target->DataType;
  auto Rounded = [&]() -> int64_t {
    if (ST == ftBCD) {
      const int64_t C = CurrencyValue(S);
      const int64_t Q = C / 10000, Rm = C % 10000;
      return Rm >= 5000 ? Q + 1 : Rm <= -5000 ? Q - 1 : Q;
    }
    const double F = std::nearbyint(FloatValue(S));
    if (!(F > -9.2e18 && F < 9.2e18)) return 0;
    return static_cast<int64_t>(F);
  };
  switch (TT) {
    case ftSmallInt:
    case ftWord:
    case ftInteger: {
      int64_t V;
      if (IsIntLike(ST))
        V = IntValue(S);
      else if (ST == ftFloat || ST == ftBCD)
        V = Rounded();
      else
        break;
      if (TT == ftInteger) {
        const int32_t X = static_cast<int32_t>(static_cast<uint32_t>(V));
        std::memcpy(Out, &X, 4);
      } else {
        const uint16_t X = static_cast<uint16_t>(V);
        std::memcpy(Out, &X, 2);
      }
      break;
    }
    case ftFloat:
      if (IsIntLike(ST) || ST == ftBCD) {
        const double F = FloatValue(S);
        std::memcpy(Out, &F, 8);
      }
      break;
    case ftBCD: {
      const int Scale = Target->Scale > 4 ? 4 : Target->Scale;
      int64_t E;
      if (IsIntLike(ST))
        E = CurrToEngineBCD(Scale, IntValue(S) * 10000);
      else if (ST == ftFloat)
        E = FloatToEngineBCD(Scale, S->Get<double>());
      else
        break;
      std::memcpy(Out, &E, 8);
      break;
    }
    case ftDate:
      if (ST == ftTimeStamp) {
        int32_t Day, Ms;
        SplitTimeStamp(S->Get<double>(), Day, Ms);
        std::memcpy(Out, &Day, 4);
      }
      break;
    case ftTimeStamp:
      if (ST == ftDate) {
        const double TS = MakeTimeStamp(S->Get<int32_t>(), 0);
        std::memcpy(Out, &TS, 8);
      }
      break;
    default:
      break;
  }
  PutExpToken(S);
}

namespace {

TExpToken* Eval(const TExpToken* N, const void* Record, const TEvalContext& C);

// Evaluates and owns a sub-result.
struct TResult {
  TExpToken* P;
  TResult(const TExpToken* N, const void* Record, const TEvalContext& C) : P(Eval(N, Record, C)) {}
  ~TResult() { PutExpToken(P); }
  const TExpToken* operator->() const { return P; }
  const TExpToken* Get() const { return P; }
};

bool EqualsItem(const TExpToken* V, const TExpToken* Item, const TEvalContext& C) {
  TExpToken* R = GetExpToken();
  EvaluateBinaryOperator(opEqual, V, Item, C.Language, C.Sort, R);
  const bool B = Truth(R);
  PutExpToken(R);
  return B;
}

bool OrderingHolds(uint8_t Code, const TExpToken* V, const TExpToken* Bound, const TEvalContext& C) {
  TExpToken* R = GetExpToken();
  EvaluateBinaryOperator(Code, V, Bound, C.Language, C.Sort, R);
  const bool B = Truth(R);
  PutExpToken(R);
  return B;
}

void EvalPredicate(const TExpToken* N, const void* Record, const TEvalContext& C, TExpToken* Res) {
  TResult V(N->Operand1, Record, C);
  bool B = false;
  switch (N->Code) {
    case prLike:
    case prNotLike: {
      TResult P(N->Operand2, Record, C);
      if (!V->Null && !P->Null) {
        const std::string Text = V->AsString(), Pattern = P->AsString();
        B = MatchLikePattern(C.Language, C.Sort, Text.c_str(), Pattern.c_str());
      }
      if (N->Code == prNotLike) B = !B;
      break;
    }
    case prBetween:
    case prNotBetween: {
      TResult Low(N->Operand2, Record, C);
      if (OrderingHolds(opGreaterEqual, V.Get(), Low.Get(), C)) {
        TResult High(N->Operand2->Operand2, Record, C);
        B = OrderingHolds(opLessEqual, V.Get(), High.Get(), C);
      }
      if (N->Code == prNotBetween) B = !B;
      break;
    }
    case prIn:
    case prNotIn:
      for (const TExpToken* Item = N->Operand2; Item && !B; Item = Item->Operand2) {
        TResult I(Item, Record, C);
        B = EqualsItem(V.Get(), I.Get(), C);
      }
      if (N->Code == prNotIn) B = !B;
      break;
    case prInSelect:
    case prNotInSelect:
      B = C.InSubSelect && C.InSubSelect(N->Operand2, V.Get());
      if (N->Code == prNotInSelect) B = !B;
      break;
    default:
      break;
  }
  SetBoolean(Res, B);
}

void EvalFunction(const TExpToken* N, const void* Record, const TEvalContext& C, TExpToken* Res) {
  switch (N->Code) {
    case fnSum:
    case fnMin:
    case fnMax:
    case fnAvg: {
      TResult A(N->Operand1, Record, C);
      ZeroValue(Res);
      std::memcpy(Res->Value, A->Value, std::min(A->Capacity, Res->Capacity));
      Res->Null = A->Null;
      return;
    }
    case fnCount: {
      bool Null = false;
      if (!(N->Operand1 && N->Operand1->Kind == nkColumn && N->Operand1->ColumnName == "*")) {
        TResult A(N->Operand1, Record, C);
        Null = A->Null;
      }
      StoreInteger(Res, ftInteger, 1);
      Res->Null = Null;
      return;
    }
    case fnUpper:
    case fnLower: {
      TResult A(N->Operand1, Record, C);
      if (A->Null) return SetNull(Res);
      const std::string S = A->AsString();
      SetText(Res, N->Code == fnUpper ? LocaleUpperCase(C.Language, C.Sort, S) : LocaleLowerCase(C.Language, C.Sort, S));
      return;
    }
    case fnSubstring: {
      TResult A(N->Operand1, Record, C);
      if (A->Null) return SetNull(Res);
      const std::string S = A->AsString();
      const int64_t From = N->Operand2->Get<int32_t>();
      // A start beyond the text gives the empty (NULL) result.
      if (From < 1 || static_cast<uint64_t>(From) > S.size()) return SetNull(Res);
      std::string Part = S.substr(static_cast<size_t>(From - 1));
      if (const TExpToken* For = N->Operand2->Operand2) {
        const int32_t Count = For->Get<int32_t>();
        if (Count < 1) return SetNull(Res);
        if (Part.size() > static_cast<size_t>(Count)) Part.resize(static_cast<size_t>(Count));
      }
      SetText(Res, Part);
      return;
    }
    case fnReplace: {
      TResult A(N->Operand1, Record, C);
      if (A->Null) return SetNull(Res);
      const std::string Old = N->Operand2->AsString(), New = N->Operand2->Operand2->AsString();
      const std::string S = A->AsString();
      const std::string R = StrReplaceAll(Old, New, S);
      if (R.size() + 1 > Res->Size) Res->Size = static_cast<uint32_t>(R.size() + 1);
      SetText(Res, R);
      return;
    }
    case fnPos:
    case fnOccurs: {
      TResult A(N->Operand1, Record, C);
      const std::string Sub = N->Operand2->AsString();
      const std::string S = A->Null ? std::string() : A->AsString();
      StoreInteger(Res, ftInteger, N->Code == fnPos ? StrPosIndex(Sub, S) : StrCountOccurrences(Sub, S));
      return;
    }
    case fnTrimLeading:
    case fnTrimTrailing:
    case fnTrimBoth: {
      TResult A(N->Operand1, Record, C);
      if (A->Null) return SetNull(Res);
      const std::string T = N->Operand2->AsString();
      const char Ch = T.empty() ? ' ' : T[0];
      const std::string S = A->AsString();
      SetText(Res, N->Code == fnTrimLeading    ? TrimLeftChar(S, Ch)
                   : N->Code == fnTrimTrailing ? TrimRightChar(S, Ch)
                                               : TrimChar(S, Ch));
      return;
    }
    case fnCast: {
      TResult A(N->Operand1, Record, C);
      // NULL in gives NULL out.
      if (A->Null) return SetNull(Res);
      if (A->DataType == ftBlob) {
        ZeroValue(Res);
        Res->SetCapacity(A->Capacity);
        std::memcpy(Res->Value, A->Value, A->Capacity);
        Res->Null = false;
        return;
      }
      ZeroValue(Res);
      Res->SetCapacity(Res->Size + 1);
      std::memset(Res->Value, 0, Res->Capacity);
      const uint32_t SourceSize = A->DataType == ftString ? static_cast<uint32_t>(A->AsString().size() + 1) : A->Size;
      ConvertFieldValue(A->DataType, A->Value, std::min(SourceSize, A->Capacity), N->DataType, Res->Value, Res->Size,
                        N->Scale, *C.Settings);
      if (N->DataType == ftString && Res->Size) Res->Value[Res->Size - 1] = 0;
      Res->Null = false;
      return;
    }
    case fnExtractYear:
    case fnExtractMonth:
    case fnExtractDay:
    case fnExtractDayOfWeek:
    case fnExtractHour:
    case fnExtractMinute:
    case fnExtractSecond: {
      TResult A(N->Operand1, Record, C);
      if (A->Null) return SetNull(Res);
      bool HasDate = A->DataType != ftTime, HasTime = A->DataType != ftDate;
      int32_t Day = 0, Ms = 0;
      if (A->DataType == ftDate)
        Day = A->Get<int32_t>();
      else if (A->DataType == ftTime)
        Ms = A->Get<int32_t>();
      else
        SplitTimeStamp(A->Get<double>(), Day, Ms);
      int Y = 0, M = 0, D = 0, W = 0;
      if (HasDate) {
        DecodeDayNumber(Day, Y, M, D);
        W = DayNumberWeekDay(Day);
      }
      int H = 0, Mi = 0, S = 0;
      if (HasTime) {
        H = Ms / 3600000;
        Mi = Ms / 60000 % 60;
        S = Ms / 1000 % 60;
      }
      const int Values[] = {Y, M, D, W, H, Mi, S};
      StoreInteger(Res, ftInteger, Values[N->Code - fnExtractYear]);
      return;
    }
    case fnIf: {
      TResult Cond(N->Operand1, Record, C);
      TResult V(Truth(Cond.Get()) ? N->Operand2 : N->Operand3, Record, C);
      ZeroValue(Res);
      Res->SetCapacity(V->Capacity);
      std::memcpy(Res->Value, V->Value, V->Capacity);
      Res->Null = V->Null;
      return;
    }
    case fnAbs: {
      TResult A(N->Operand1, Record, C);
      if (A->Null) return SetNull(Res);
      int64_t V;
      if (A->DataType == ftFloat) {
        const double F = std::nearbyint(A->Get<double>());
        if (!(F >= -2147483648.0 && F <= 2147483648.0)) Overflow();
        V = static_cast<int64_t>(F);
      } else if (A->DataType == ftBCD) {
        const int64_t Cur = CurrencyValue(A.Get());
        const int64_t Q = Cur / 10000, R = Cur % 10000;
        // Ties go to the even neighbour.
        V = Q;
        if (R > 5000 || (R == 5000 && (Q & 1))) V = Q + 1;
        if (R < -5000 || (R == -5000 && (Q & 1))) V = Q - 1;
      } else {
        V = IntValue(A.Get());
      }
      StoreInteger(Res, ftInteger, V < 0 ? -V : V);
      return;
    }
    case fnRound: {
      TResult A(N->Operand1, Record, C);
      if (A->Null) return SetNull(Res);
      const int Places = N->Operand2 ? N->Operand2->Get<int32_t>() : 0;
      StoreFloat(Res, RoundToDecimals(Places, FloatValue(A.Get())));
      return;
    }
    default:
      SetNull(Res);
  }
}

TExpToken* Eval(const TExpToken* N, const void* Record, const TEvalContext& C) {
  const uint8_t K = N->Kind;
  const bool Computed = K == nkUnary || K == nkBinary || K == nkPrefix || K == nkFunction || K == nkPredicate ||
                        (K == nkColumn && C.ReadColumn);
  TExpToken* Res = NewResult(N, !Computed);
  try {
    switch (N->Kind) {
      case nkUnary: {
        TResult A(N->Operand1, Record, C);
        EvaluateUnaryOperator(N->Code, A.Get(), Res);
        break;
      }
      case nkBinary:
        if (N->Code == opAnd || N->Code == opOr) {
          TResult R(N->Operand2, Record, C);
          const bool RB = Truth(R.Get());
          if (N->Code == opAnd && !RB) {
            SetBoolean(Res, false);
          } else if (N->Code == opOr && RB) {
            SetBoolean(Res, true);
          } else {
            TResult L(N->Operand1, Record, C);
            EvaluateBinaryOperator(N->Code, L.Get(), R.Get(), C.Language, C.Sort, Res);
          }
        } else {
          TResult L(N->Operand1, Record, C);
          TResult R(N->Operand2, Record, C);
          EvaluateBinaryOperator(N->Code, L.Get(), R.Get(), C.Language, C.Sort, Res);
        }
        break;
      case nkPrefix: {
        TResult L(N->Operand1, Record, C);
        TResult R(N->Operand2, Record, C);
        if (IsStringOrBlob(L->DataType) || IsStringOrBlob(R->DataType))
          ComparePrefix(N->Code, N->PrefixLength, N->CaseInsensitive, C.Language, C.Sort, Res, R.Get(), L.Get());
        else
          EvaluateBinaryOperator(N->Code, L.Get(), R.Get(), C.Language, C.Sort, Res);
        break;
      }
      case nkColumn:
        if (C.ReadColumn) C.ReadColumn(Record, Res);
        break;
      case nkFunction:
        EvalFunction(N, Record, C, Res);
        break;
      case nkPredicate:
        EvalPredicate(N, Record, C, Res);
        break;
      default:
        break;
    }
  } catch (...) {
    PutExpToken(Res);
    throw;
  }
  return Res;
}

}  // namespace

TExpToken* EvaluateExpression(const TExpToken* Node, const void* Record, const TEvalContext& Context) {
  return Eval(Node, Record, Context);
}

TExpToken* EvaluateAsType(const TExpToken* Target, const TExpToken* Expression, const TEvalContext& Context) {
  TExpToken* R = Eval(Expression, nullptr, Context);
  if (!R->Null && R->DataType != ftString && R->DataType != Target->DataType && R->DataType != dtUntyped) {
    uint8_t Buffer[8] = {0};
    std::memcpy(Buffer, R->Value, 8);
    uint8_t Out[8] = {0};
    std::memcpy(Out, Buffer, 8);
    CoerceNumeric(Target, Buffer, R, Out);
    ZeroValue(R);
    std::memcpy(R->Value, Out, 8);
    R->DataType = Target->DataType;
    R->SubType = Target->SubType;
    R->Size = Target->Size;
    R->Scale = Target->Scale;
  }
  return R;
}

namespace {

bool IsStringConstant(const TExpToken* N) {
  return N && N->Kind == nkConstant && !N->Parameter && N->DataType == ftString;
}

bool IsSignedConstant(const TExpToken* N) {
  if (!N) return false;
  if (N->Kind == nkConstant) return !N->Parameter;
  return N->Kind == nkUnary && (N->Code == opPlus || N->Code == opNegate) && N->Operand1 &&
         N->Operand1->Kind == nkConstant && !N->Operand1->Parameter;
}

// Bringing a constant to the column's type must not change which records compare true: a
// fractional constant facing an integer column stays as it is.
bool CoercionKeepsValue(const TExpToken* Target, const TExpToken* Value) {
  if (!IsIntLike(Target->DataType)) return true;
  if (Value->DataType == ftFloat) {
    const double F = Value->Get<double>();
    return std::isfinite(F) && F == std::trunc(F) && F >= -2147483648.0 && F <= 2147483647.0 &&
           (Target->DataType == ftInteger || (Target->DataType == ftSmallInt ? F >= -32768 && F <= 32767 : F >= 0 && F <= 65535));
  }
  if (Value->DataType == ftBCD) return CurrencyValue(Value) % 10000 == 0;
  if (IsIntLike(Value->DataType)) {
    const int64_t V = IntValue(Value);
    if (Target->DataType == ftSmallInt) return V >= -32768 && V <= 32767;
    if (Target->DataType == ftWord) return V >= 0 && V <= 65535;
  }
  return true;
}

// Replaces a constant item by its value in Target's type, keeping its chain link.
TExpToken* ReadyConstant(const TExpToken* Target, TExpToken* Item, const TEvalContext& C) {
  TExpToken* Probe = Eval(Item, nullptr, C);
  const bool Keep = !Probe->Null && Probe->DataType != ftString && !CoercionKeepsValue(Target, Probe);
  PutExpToken(Probe);
  if (Keep) return Item;
  TExpToken* V = EvaluateAsType(Target, Item, C);
  V->Operand2 = Item->Operand2;
  Item->Operand2 = nullptr;
  FreeExpression(Item);
  return V;
}

TExpToken* Prepare(const TExpToken* Src, const TEvalContext& C, bool NoPartial, bool CaseIns, bool Item = false);

// The values of an IN list or the bounds of BETWEEN, chained through operand 2, prepared one after
// the other rather than one call deeper each.
TExpToken* PrepareChain(const TExpToken* First, const TEvalContext& C, bool NoPartial, bool CaseIns) {
  TExpTree Head;
  TExpToken* Last = nullptr;
  for (const TExpToken* Item = First; Item; Item = Item->Operand2) {
    TExpToken* P = Prepare(Item, C, NoPartial, CaseIns, true);
    if (Last)
      Last->Operand2 = P;
    else
      Head.Reset(P);
    Last = P;
  }
  return Head.Release();
}

// Item: Src is a chained item, whose operand 2 is the link that the caller follows.
TExpToken* Prepare(const TExpToken* Src, const TEvalContext& C, bool NoPartial, bool CaseIns, bool Item) {
  if (!Src) return nullptr;
  TExpTree N(GetExpToken());
  N->Assign(*Src);
  N->Operand1 = N->Operand2 = N->Operand3 = nullptr;
  N->Parent = nullptr;
  N->Operand1 = Prepare(Src->Operand1, C, NoPartial, CaseIns);
  if (HasValueChain(*Src))
    N->Operand2 = PrepareChain(Src->Operand2, C, NoPartial, CaseIns);
  else if (!Item)
    N->Operand2 = Prepare(Src->Operand2, C, NoPartial, CaseIns);
  N->Operand3 = Prepare(Src->Operand3, C, NoPartial, CaseIns);
  if (N->Kind == nkBinary && (N->Code == opEqual || N->Code == opNotEqual) && IsStringConstant(N->Operand2) &&
      !N->Operand2->Null) {
    TExpToken* K = N->Operand2;
    std::string S = K->AsString();
    const bool Star = !S.empty() && S.back() == '*' && !NoPartial;
    if (Star || CaseIns) {
      N->Kind = nkPrefix;
      N->CaseInsensitive = CaseIns;
      N->PrefixLength = 0;
      if (Star) {
        S.pop_back();
        N->PrefixLength = static_cast<uint32_t>(S.size());
        const uint32_t Size = K->Size;
        K->SetString(S);
        K->Size = Size;
      }
    }
  } else if (N->Kind == nkPredicate && (N->Code == prLike || N->Code == prNotLike) && IsStringConstant(N->Operand2) &&
             !N->Operand2->Null) {
    TExpToken* P = N->Operand2;
    const std::string S = P->AsString();
    if (S.size() > 1 && S.back() == '%' && S.find('%') == S.size() - 1 && S.find('_') == std::string::npos) {
      const uint8_t Code = N->Code == prLike ? opEqual : opNotEqual;
      N->Kind = nkPrefix;
      N->Code = Code;
      N->CaseInsensitive = false;
      N->PrefixLength = static_cast<uint32_t>(S.size() - 1);
      const uint32_t Size = P->Size;
      P->SetString(S.substr(0, S.size() - 1));
      P->Size = Size;
    }
  } else if (N->Kind == nkPredicate && (N->Code == prBetween || N->Code == prNotBetween || N->Code == prIn ||
                                        N->Code == prNotIn)) {
    TExpToken* Tested = N->Operand1;
    TExpToken** Link = &N->Operand2;
    // The item stays linked until its replacement is ready, so a failed conversion frees it with N.
    while (*Link) {
      *Link = ReadyConstant(Tested, *Link, C);
      Link = &(*Link)->Operand2;
    }
  } else if ((N->Kind == nkBinary) && N->Code >= opEqual && N->Code <= opLessEqual && IsSignedConstant(N->Operand2) &&
             N->Operand1 && N->Operand1->DataType != ftString) {
    N->Operand2 = ReadyConstant(N->Operand1, N->Operand2, C);
  }
  return N.Release();
}

}  // namespace

TExpToken* PrepareExpression(const TExpToken* Node, const TEvalContext& Context, bool NoPartialCompare,
                             bool CaseInsensitive) {
  return Prepare(Node, Context, NoPartialCompare, CaseInsensitive);
}

namespace {

bool IsNullConstantNode(const TExpToken* N) { return N && N->Kind == nkConstant && N->Null; }

}  // namespace

bool StripNullComparisons(TExpToken*& Node) {
  if (!Node) return false;
  if (Node->Kind == nkBinary && (Node->Code == opEqual || Node->Code == opNotEqual) &&
      (IsNullConstantNode(Node->Operand1) || IsNullConstantNode(Node->Operand2))) {
    FreeExpression(Node);
    return true;
  }
  if (Node->Kind == nkBinary && (Node->Code == opAnd || Node->Code == opOr)) {
    const bool L = StripNullComparisons(Node->Operand1);
    const bool R = StripNullComparisons(Node->Operand2);
    if (L && R) {
      FreeExpression(Node);
      return true;
    }
    if (L || R) {
      TExpToken* Rest = L ? Node->Operand2 : Node->Operand1;
      Node->Operand1 = Node->Operand2 = nullptr;
      Rest->Parent = Node->Parent;
      FreeExpression(Node);
      Node = Rest;
    }
    return false;
  }
  if (Node->Kind == nkUnary && Node->Code == opNot) {
    if (StripNullComparisons(Node->Operand1)) {
      FreeExpression(Node);
      return true;
    }
  }
  return false;
}

// ---- Field access ----

const uint8_t* FieldValue(const uint8_t* Record, uint32_t RecordSize, const TFieldAccess& F) {
  if (F.SubType == stAutoInc) return static_cast<uint64_t>(F.Offset) + 4 > RecordSize ? nullptr : Record + F.Offset;
  if (static_cast<uint64_t>(F.Offset) + 1 + F.Size > RecordSize || Record[F.Offset] == 0) return nullptr;
  const uint8_t* V = Record + F.Offset + 1;
  return F.DataType == ftString && V[0] == 0 ? nullptr : V;
}

void ReadRecordField(const uint8_t* Record, uint32_t RecordSize, const TFieldAccess& F, TExpToken* R) {
  R->SetCapacity(F.Size + 1 > 9 ? F.Size + 1 : 9);
  std::memset(R->Value, 0, R->Capacity);
  R->DataType = F.DataType;
  R->SubType = F.SubType;
  R->Size = F.Size;
  R->Scale = F.Scale;
  const uint8_t* V = FieldValue(Record, RecordSize, F);
  R->Null = V == nullptr;
  if (V) std::memcpy(R->Value, V, FieldValueSize(F));
}

TColumnReader MakeRecordColumnReader(std::vector<TFieldAccess> Fields, uint32_t RecordSize) {
  return [Fields = std::move(Fields), RecordSize](const void* Record, TExpToken* Result) {
    if (!Record || Result->FieldNo < 1 || Result->FieldNo > Fields.size()) {
      Result->Null = true;
      return;
    }
    ReadRecordField(static_cast<const uint8_t*>(Record), RecordSize, Fields[Result->FieldNo - 1], Result);
  };
}

std::function<bool(TExpToken*)> MakeFieldResolver(std::vector<TFieldAccess> Fields) {
  return [Fields = std::move(Fields)](TExpToken* N) {
    for (size_t I = 0; I < Fields.size(); ++I) {
      if (!SameText(Fields[I].Name, N->ColumnName)) continue;
      N->FieldNo = static_cast<uint16_t>(I + 1);
      N->DataType = Fields[I].DataType;
      N->SubType = Fields[I].SubType;
      N->Size = Fields[I].Size;
      N->Scale = Fields[I].Scale;
      N->CorrelationName.clear();
      return true;
    }
    return false;
  };
}
