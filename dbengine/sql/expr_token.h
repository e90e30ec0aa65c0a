// Expression nodes. One TExpToken is both a node of a parsed expression tree and a typed value:
// filters, dataset lookups and every SQL clause are trees of these nodes. Nodes are recycled
// through a pool of each thread so that evaluating many small trees allocates nothing once warm.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "dbengine/storage/engine_heap.h"
#include "dbengine/storage/engine_keys.h"

class TDataQuery;  // a query of the SQL layer (IN sub-selects)

// Node kinds.
constexpr uint8_t nkUnary = 1;
constexpr uint8_t nkBinary = 2;
constexpr uint8_t nkPrefix = 3;  // prefix comparison made from LIKE and trailing wildcards
constexpr uint8_t nkColumn = 4;
constexpr uint8_t nkConstant = 5;
constexpr uint8_t nkSubSelect = 6;
constexpr uint8_t nkFunction = 10;
constexpr uint8_t nkPredicate = 12;

// Operator codes (kinds 1, 2 and 3).
constexpr uint8_t opEqual = 3;  // also IS NULL
constexpr uint8_t opNotEqual = 4;  // also IS NOT NULL
constexpr uint8_t opGreater = 5;
constexpr uint8_t opLess = 6;
constexpr uint8_t opGreaterEqual = 7;
constexpr uint8_t opLessEqual = 8;
constexpr uint8_t opNot = 9;
constexpr uint8_t opAnd = 10;
constexpr uint8_t opOr = 11;
constexpr uint8_t opNegate = 15;
constexpr uint8_t opPlus = 16;
constexpr uint8_t opAdd = 17;  // also the concatenation ||
constexpr uint8_t opSubtract = 18;
constexpr uint8_t opMultiply = 19;
constexpr uint8_t opDivide = 20;

// Predicate codes (kind 12).
constexpr uint8_t prLike = 31;
constexpr uint8_t prIn = 32;
constexpr uint8_t prInSelect = 33;
constexpr uint8_t prBetween = 40;
constexpr uint8_t prNotBetween = 41;
constexpr uint8_t prNotLike = 42;
constexpr uint8_t prNotIn = 43;
constexpr uint8_t prNotInSelect = 44;

// Function codes (kind 10).
constexpr uint8_t fnSum = 23;
constexpr uint8_t fnCount = 24;
constexpr uint8_t fnMin = 25;
constexpr uint8_t fnMax = 26;
constexpr uint8_t fnAvg = 27;
constexpr uint8_t fnUpper = 35;
constexpr uint8_t fnLower = 36;
constexpr uint8_t fnSubstring = 45;
constexpr uint8_t fnReplace = 46;
constexpr uint8_t fnPos = 47;
constexpr uint8_t fnOccurs = 48;
constexpr uint8_t fnTrimLeading = 49;
constexpr uint8_t fnTrimTrailing = 50;
constexpr uint8_t fnTrimBoth = 51;
constexpr uint8_t fnCast = 52;
constexpr uint8_t fnExtractYear = 53;
constexpr uint8_t fnExtractMonth = 54;
constexpr uint8_t fnExtractDay = 55;
constexpr uint8_t fnExtractDayOfWeek = 56;
constexpr uint8_t fnExtractHour = 57;
constexpr uint8_t fnExtractMinute = 58;
constexpr uint8_t fnExtractSecond = 59;
constexpr uint8_t fnIf = 60;
constexpr uint8_t fnAbs = 61;
constexpr uint8_t fnRound = 62;

// Data types of expression values: the field types of engine_keys.h plus these two.
constexpr uint8_t dtUntyped = 0;     // the NULL constant
constexpr uint8_t dtLongText = 15;   // a parameter text longer than 250 characters
// Subtypes.
constexpr uint8_t stMoney = 21;
constexpr uint8_t stMemo = 22;       // BLOB kinds are 22..28
constexpr uint8_t stAutoInc = 29;

constexpr uint32_t kExpValueStep = 255;  // value buffers grow in steps of this many bytes

class TExpToken : public TEngineObject {
 public:
  TExpToken();
  ~TExpToken();
  TExpToken(const TExpToken&) = delete;
  TExpToken& operator=(const TExpToken&) = delete;

  // Empties every field and zero-fills the value buffer; its capacity is kept.
  void Clear();
  // Shallow copy: every field, the whole value buffer and the operand, parent and source pointers.
  void Assign(const TExpToken& Source);
  // Makes the value buffer at least N bytes (in steps of 255); never shrinks.
  void SetCapacity(uint32_t N);
  // Reserves N bytes and sets the value size to N when it differs.
  void SetDataSize(uint32_t N);
  bool SameAs(const TExpToken& Other) const;

  // Typed access to the value buffer (little-endian, unaligned).
  template <class T>
  T Get() const {
    T V;
    std::memcpy(&V, Value, sizeof(T));
    return V;
  }
  template <class T>
  void Put(T V) {
    SetCapacity(sizeof(T));
    std::memcpy(Value, &V, sizeof(T));
  }
  // The string value: the bytes up to the first zero or the end of the buffer.
  std::string AsString() const;
  // Stores S and its terminating zero; the value size becomes length + 1.
  void SetString(const std::string& S);

  uint32_t Capacity = 0;
  std::string Text;
  uint8_t Kind = 0;
  uint8_t Code = 0;
  uint8_t Marks[3] = {0, 0, 0};
  std::string ColumnName;       // at most 255 characters
  uint16_t FieldNo = 0;         // 1-based, set when the column is resolved
  std::string CorrelationName;  // at most 255 characters
  void* Source = nullptr;       // the SQL source table of a column
  TDataQuery* SubSelect = nullptr;  // not owned
  uint8_t* Value = nullptr;
  bool Null = false;
  bool Parameter = false;
  uint32_t PrefixLength = 0;
  bool CaseInsensitive = false;
  uint8_t DataType = 0;
  uint8_t SubType = 0;
  uint32_t Size = 0;
  uint8_t Scale = 0;
  bool FromString = false;
  uint8_t SavedType = 0;
  uint8_t SavedSubType = 0;
  uint32_t SavedSize = 0;
  uint8_t SavedScale = 0;
  TExpToken* Parent = nullptr;
  TExpToken* Operand1 = nullptr;
  TExpToken* Operand2 = nullptr;
  TExpToken* Operand3 = nullptr;
};

// The pool of free nodes of the calling thread. A node taken from it comes cleared.
TExpToken* GetExpToken();
void PutExpToken(TExpToken*& Node);
// Number of nodes waiting in the calling thread's pool (tests).
int PooledExpTokenCount();

TExpToken* CopyExpression(const TExpToken* Root);
void FreeExpression(TExpToken*& Root);
bool SameExpression(const TExpToken* A, const TExpToken* B);
// UPPER applied directly to a column reference.
bool IsUpperColumn(const TExpToken* Node);
// An IN list or BETWEEN: operand 2 is the first of the values chained through their operand 2. The
// walks of this unit follow such a chain in a loop, so that a long list costs no stack.
bool HasValueChain(const TExpToken& Node);

// Owns a tree until released; frees it otherwise (so a raised error returns the nodes).
class TExpTree {
 public:
  TExpTree() = default;
  explicit TExpTree(TExpToken* Node) : Node_(Node) {}
  ~TExpTree() { FreeExpression(Node_); }
  TExpTree(const TExpTree&) = delete;
  TExpTree& operator=(const TExpTree&) = delete;
  TExpToken* Get() const { return Node_; }
  TExpToken* operator->() const { return Node_; }
  TExpToken* Release() {
    TExpToken* N = Node_;
    Node_ = nullptr;
    return N;
  }
  void Reset(TExpToken* Node) {
    FreeExpression(Node_);
    Node_ = Node;
  }

 private:
  TExpToken* Node_ = nullptr;
};
