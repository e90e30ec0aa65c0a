#include "expr_test_util.h"

#include <cstdio>

namespace {

const char* OperatorName(uint8_t Kind, uint8_t Code) {
  if (Kind == nkPredicate) {
    switch (Code) {
      case prLike: return "like";
      case prNotLike: return "notlike";
      case prIn: return "in";
      case prNotIn: return "notin";
      case prInSelect: return "inselect";
      case prNotInSelect: return "notinselect";
      case prBetween: return "between";
      case prNotBetween: return "notbetween";
    }
    return "?pred";
  }
  if (Kind == nkFunction) {
    switch (Code) {
      case fnSum: return "sum";
      case fnCount: return "count";
      case fnMin: return "min";
      case fnMax: return "max";
      case fnAvg: return "avg";
      case fnUpper: return "upper";
      case fnLower: return "lower";
      case fnSubstring: return "substring";
      case fnReplace: return "replace";
      case fnPos: return "pos";
      case fnOccurs: return "occurs";
      case fnTrimLeading: return "trimleading";
      case fnTrimTrailing: return "trimtrailing";
      case fnTrimBoth: return "trimboth";
      case fnCast: return "cast";
      case fnExtractYear: return "year";
      case fnExtractMonth: return "month";
      case fnExtractDay: return "day";
      case fnExtractDayOfWeek: return "dayofweek";
      case fnExtractHour: return "hour";
      case fnExtractMinute: return "minute";
      case fnExtractSecond: return "second";
      case fnIf: return "if";
      case fnAbs: return "abs";
      case fnRound: return "round";
    }
    return "?fn";
  }
  switch (Code) {
    case opEqual: return Kind == nkPrefix ? "prefix=" : "eq";
    case opNotEqual: return Kind == nkPrefix ? "prefix<>" : "ne";
    case opGreater: return "gt";
    case opLess: return "lt";
    case opGreaterEqual: return "ge";
    case opLessEqual: return "le";
    case opNot: return "not";
    case opAnd: return "and";
    case opOr: return "or";
    case opNegate: return "neg";
    case opPlus: return "pos";
    case opAdd: return "add";
    case opSubtract: return "sub";
    case opMultiply: return "mul";
    case opDivide: return "div";
  }
  return "?op";
}

bool ChainsOperand2(const TExpToken* N) {
  if (N->Kind == nkPredicate) return N->Code != prLike && N->Code != prNotLike;
  return N->Kind == nkFunction && (N->Code == fnSubstring || N->Code == fnReplace || N->Code == fnCast);
}

}  // namespace

std::string DumpValue(const TExpToken* N) {
  if (N->Parameter) return "?";
  if (N->Null) return "null:" + std::to_string(N->DataType);
  char B[64];
  switch (N->DataType) {
    case ftString:
    case ftBlob:
      return "s:" + N->AsString();
    case ftInteger:
      return "i:" + std::to_string(N->Get<int32_t>());
    case ftSmallInt:
      return "i:" + std::to_string(N->Get<int16_t>());
    case ftWord:
      return "w:" + std::to_string(N->Get<uint16_t>());
    case ftBoolean:
      return N->Get<uint16_t>() ? "true" : "false";
    case ftFloat:
      std::snprintf(B, sizeof B, "f:%.10g", N->Get<double>());
      return B;
    case ftBCD:
      std::snprintf(B, sizeof B, "bcd:%.4f", EngineBCDToCurr(N->Get<int64_t>()) / 10000.0);
      return B;
    case ftDate: {
      int Y, M, D;
      DecodeDayNumber(N->Get<int32_t>(), Y, M, D);
      std::snprintf(B, sizeof B, "d:%04d-%02d-%02d", Y, M, D);
      return B;
    }
    case ftTime:
      return "t:" + std::to_string(N->Get<int32_t>());
    case ftTimeStamp: {
      int32_t Day, Ms;
      SplitTimeStamp(N->Get<double>(), Day, Ms);
      int Y, M, D;
      DecodeDayNumber(Day, Y, M, D);
      std::snprintf(B, sizeof B, "ts:%04d-%02d-%02d+%d", Y, M, D, Ms);
      return B;
    }
    default:
      return "type" + std::to_string(N->DataType);
  }
}

std::string DumpTree(const TExpToken* N) {
  if (!N) return "nil";
  if (N->Kind == nkColumn)
    return "c:" + (N->CorrelationName.empty() ? std::string() : N->CorrelationName + ".") + N->ColumnName;
  if (N->Kind == nkConstant) return DumpValue(N);
  if (N->Kind == nkSubSelect) return "select";
  std::string S = "(";
  S += OperatorName(N->Kind, N->Code);
  if (N->Kind == nkFunction && N->Code == fnCast) S += ":" + std::to_string(N->DataType);
  if (N->Operand1) S += " " + DumpTree(N->Operand1);
  if (N->Operand2) {
    if (ChainsOperand2(N)) {
      S += " [";
      for (const TExpToken* I = N->Operand2; I; I = I->Operand2) {
        S += (I == N->Operand2 ? "" : " ");
        if (I->Kind == nkConstant || I->Kind == nkColumn || I->Kind == nkSubSelect) {
          S += DumpTree(I);
        } else {
          S += "(" + std::string(OperatorName(I->Kind, I->Code)) + " " + DumpTree(I->Operand1) + ")";
        }
      }
      S += "]";
    } else {
      S += " " + DumpTree(N->Operand2);
    }
  }
  if (N->Operand3) S += " " + DumpTree(N->Operand3);
  return S + ")";
}

std::string ParseToText(const std::string& Text, uint8_t Flags, uint16_t Language, std::string* Rest) {
  TExpressionParser P;
  P.Context = "filter expression";
  P.TableName = "T";
  GetLocaleFormatSettings(Language, 0, P.Settings);
  try {
    P.SetText(Text);
    P.NextToken();
    TExpTree T(P.ParseExpression(Flags));
    if (Rest) *Rest = P.TokenText();
    return DumpTree(T.Get());
  } catch (const EVXDBEngineError& E) {
    return "!" + EngineErrorContext().MessageText;
  } catch (const Exception& E) {
    return "!!" + E.ClassName();
  }
}

TTestTable::TTestTable() {
  struct TDef {
    const char* Name;
    uint8_t Type;
    uint8_t Sub;
    uint32_t Size;
    uint8_t Scale;
  };
  const TDef Defs[] = {{"Name", ftString, 0, 21, 0},  {"Qty", ftInteger, 0, 4, 0},   {"Price", ftFloat, 0, 8, 0},
                       {"Cost", ftBCD, 0, 8, 2},      {"Born", ftDate, 0, 4, 0},     {"At", ftTime, 0, 4, 0},
                       {"Stamp", ftTimeStamp, 0, 8, 0}, {"Active", ftBoolean, 0, 2, 0}, {"W", ftWord, 0, 2, 0},
                       {"S", ftSmallInt, 0, 2, 0},    {"Smith", ftString, 0, 11, 0}, {"Memo", ftBlob, stMemo, 8, 0}};
  uint32_t Offset = 9;
  for (const TDef& D : Defs) {
    TFieldAccess F;
    F.Name = D.Name;
    F.Offset = Offset;
    F.DataType = D.Type;
    F.SubType = D.Sub;
    F.Size = D.Size;
    F.Scale = D.Scale;
    Fields.push_back(F);
    Offset += D.Size + 1;
  }
  RecordSize = Offset;
}

const TFieldAccess& TTestTable::Field(const char* Name) const {
  for (const TFieldAccess& F : Fields)
    if (F.Name == Name) return F;
  throw Exception(std::string("no field ") + Name);
}

void TTestTable::SetString(std::vector<uint8_t>& R, const char* Name, const std::string& V) const {
  const TFieldAccess& F = Field(Name);
  R[F.Offset] = 1;
  std::memset(&R[F.Offset + 1], 0, F.Size);
  std::memcpy(&R[F.Offset + 1], V.data(), std::min<size_t>(V.size(), F.Size - 1));
}

std::vector<uint8_t> TTestTable::Sample() const {
  std::vector<uint8_t> R = NewRecord();
  SetString(R, "Name", "Smith");
  Set<int32_t>(R, "Qty", 10);
  Set<double>(R, "Price", 2.5);
  Set<int64_t>(R, "Cost", FloatToEngineBCD(2, 12.34));
  Set<int32_t>(R, "Born", EncodeDayNumber(2001, 5, 17));
  Set<int32_t>(R, "At", (12 * 60 + 30) * 60000);
  Set<double>(R, "Stamp", MakeTimeStamp(EncodeDayNumber(2001, 5, 17), 6 * 3600000));
  Set<uint16_t>(R, "Active", 1);
  Set<uint16_t>(R, "W", 5);
  Set<int16_t>(R, "S", -3);
  SetString(R, "Smith", "Jones");
  return R;
}

TTypeCheckContext TTestTable::CheckContext(uint16_t Language) const {
  TTypeCheckContext C;
  C.ErrorCode = kFilterErrorCode;
  C.TableName = "T";
  C.Context = "filter expression";
  C.Condition = true;
  GetLocaleFormatSettings(Language, 0, C.Settings);
  C.ResolveColumn = MakeFieldResolver(Fields);
  return C;
}

TEvalContext TTestTable::EvalContext(uint16_t Language) const {
  TEvalContext C;
  C.Language = Language;
  C.ReadColumn = MakeRecordColumnReader(Fields, RecordSize);
  GetLocaleFormatSettings(Language, 0, C.Settings);
  return C;
}

TExpToken* TTestTable::Checked(const std::string& Text, uint16_t Language, bool Condition) const {
  TExpressionParser P;
  P.Context = "filter expression";
  P.TableName = "T";
  GetLocaleFormatSettings(Language, 0, P.Settings);
  P.SetText(Text);
  P.NextToken();
  TExpTree T(P.ParseExpression(pfPredicates | pfAggregates));
  TTypeCheckContext C = CheckContext(Language);
  C.Condition = Condition;
  CheckExpressionTypes(C, nullptr, T.Get());
  return T.Release();
}
