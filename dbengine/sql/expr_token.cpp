#include "dbengine/sql/expr_token.h"

#include <utility>
#include <vector>

#include "platform/core/sysutils.h"

TExpToken::TExpToken() { SetCapacity(251); }

TExpToken::~TExpToken() { EngineFree(Value); }

void TExpToken::Clear() {
  Text.clear();
  Kind = Code = 0;
  Marks[0] = Marks[1] = Marks[2] = 0;
  ColumnName.clear();
  FieldNo = 0;
  CorrelationName.clear();
  Source = nullptr;
  SubSelect = nullptr;
  Null = Parameter = false;
  PrefixLength = 0;
  CaseInsensitive = false;
  DataType = SubType = 0;
  Size = 0;
  Scale = 0;
  FromString = false;
  SavedType = SavedSubType = 0;
  SavedSize = 0;
  SavedScale = 0;
  Parent = Operand1 = Operand2 = Operand3 = nullptr;
  if (Value) std::memset(Value, 0, Capacity);
}

void TExpToken::Assign(const TExpToken& S) {
  if (&S == this) return;
  SetCapacity(S.Capacity);
  std::memset(Value, 0, Capacity);
  if (S.Value) std::memcpy(Value, S.Value, S.Capacity);
  Text = S.Text;
  Kind = S.Kind;
  Code = S.Code;
  std::memcpy(Marks, S.Marks, 3);
  ColumnName = S.ColumnName;
  FieldNo = S.FieldNo;
  CorrelationName = S.CorrelationName;
  Source = S.Source;
  SubSelect = S.SubSelect;
  Null = S.Null;
  Parameter = S.Parameter;
  PrefixLength = S.PrefixLength;
  CaseInsensitive = S.CaseInsensitive;
  DataType = S.DataType;
  SubType = S.SubType;
  Size = S.Size;
  Scale = S.Scale;
  FromString = S.FromString;
  SavedType = S.SavedType;
  SavedSubType = S.SavedSubType;
  SavedSize = S.SavedSize;
  SavedScale = S.SavedScale;
  Parent = S.Parent;
  Operand1 = S.Operand1;
  Operand2 = S.Operand2;
  Operand3 = S.Operand3;
}

void TExpToken::SetCapacity(uint32_t N) {
  if (N <= Capacity && Value) return;
  intptr_t Cap = Capacity;
  ReserveBuffer(static_cast<intptr_t>(N), kExpValueStep, Value, Cap);
  Capacity = static_cast<uint32_t>(Cap);
}

void TExpToken::SetDataSize(uint32_t N) {
  if (N == Size) return;
  SetCapacity(N);
  Size = N;
}

bool TExpToken::SameAs(const TExpToken& O) const {
  if (Kind != O.Kind || Code != O.Code) return false;
  if (!SameText(ColumnName, O.ColumnName) || !SameText(CorrelationName, O.CorrelationName)) return false;
  if (Parameter != O.Parameter || PrefixLength != O.PrefixLength || CaseInsensitive != O.CaseInsensitive) return false;
  if (DataType != O.DataType || SubType != O.SubType || Size != O.Size || Scale != O.Scale) return false;
  if (Kind == nkConstant) {
    if (Null != O.Null) return false;
    uint32_t N = Size;
    if (N > Capacity || N > O.Capacity) return false;
    if (N && std::memcmp(Value, O.Value, N) != 0) return false;
  }
  return true;
}

std::string TExpToken::AsString() const {
  if (!Value) return std::string();
  const void* Z = std::memchr(Value, 0, Capacity);
  size_t Len = Z ? static_cast<size_t>(static_cast<const uint8_t*>(Z) - Value) : Capacity;
  return std::string(reinterpret_cast<const char*>(Value), Len);
}

void TExpToken::SetString(const std::string& S) {
  SetCapacity(static_cast<uint32_t>(S.size() + 1));
  std::memset(Value, 0, Capacity);
  if (!S.empty()) std::memcpy(Value, S.data(), S.size());
  Size = static_cast<uint32_t>(S.size() + 1);
}

// ---- Pool ----

namespace {

// Each thread keeps its own free nodes: evaluation takes and returns a node per operator, and a
// lock around a shared list would cost more than the operator. A node may go back on another
// thread than the one it came from; it then joins that thread's list.
class TExpTokenStack {
 public:
  TExpTokenStack() { Free_.reserve(1024); }
  ~TExpTokenStack() {
    Gone = true;
    for (TExpToken* N : Free_) delete N;
  }
  TExpToken* Pop() {
    if (Free_.empty()) return new TExpToken();
    TExpToken* N = Free_.back();
    Free_.pop_back();
    N->Clear();
    return N;
  }
  void Push(TExpToken* N) { Free_.push_back(N); }
  int Count() const { return static_cast<int>(Free_.size()); }

  // Set when the thread's list went at the thread's end: nodes freed later (by destructors that
  // run after it) are deleted at once. A plain flag, so that it can still be read then.
  static thread_local bool Gone;

 private:
  std::vector<TExpToken*> Free_;
};

thread_local bool TExpTokenStack::Gone = false;

TExpTokenStack& Pool() {
  thread_local TExpTokenStack S;
  return S;
}

}  // namespace

TExpToken* GetExpToken() { return TExpTokenStack::Gone ? new TExpToken() : Pool().Pop(); }

void PutExpToken(TExpToken*& Node) {
  if (!Node) return;
  if (TExpTokenStack::Gone)
    delete Node;
  else
    Pool().Push(Node);
  Node = nullptr;
}

int PooledExpTokenCount() { return TExpTokenStack::Gone ? 0 : Pool().Count(); }

bool HasValueChain(const TExpToken& Node) {
  return Node.Kind == nkPredicate &&
         (Node.Code == prIn || Node.Code == prNotIn || Node.Code == prBetween || Node.Code == prNotBetween);
}

namespace {

// Item: Root is a chained value, whose operand 2 is the link that the caller follows.
TExpToken* CopyNode(const TExpToken* Root, bool Item) {
  if (!Root) return nullptr;
  TExpTree N(GetExpToken());
  N->Assign(*Root);
  N->Operand1 = N->Operand2 = N->Operand3 = nullptr;
  N->Operand1 = CopyNode(Root->Operand1, false);
  if (HasValueChain(*Root)) {
    TExpToken** Link = &N->Operand2;
    for (const TExpToken* V = Root->Operand2; V; V = V->Operand2) {
      *Link = CopyNode(V, true);
      Link = &(*Link)->Operand2;
    }
  } else if (!Item) {
    N->Operand2 = CopyNode(Root->Operand2, false);
  }
  N->Operand3 = CopyNode(Root->Operand3, false);
  return N.Release();
}

bool SameNode(const TExpToken* A, const TExpToken* B, bool Item) {
  if (!A && !B) return true;
  if (!A || !B) return false;
  if (!SameNode(A->Operand1, B->Operand1, false)) return false;
  if (HasValueChain(*A)) {
    const TExpToken *X = A->Operand2, *Y = B->Operand2;
    for (; X && Y; X = X->Operand2, Y = Y->Operand2)
      if (!SameNode(X, Y, true)) return false;
    if (X || Y) return false;
  } else if (!Item && !SameNode(A->Operand2, B->Operand2, false)) {
    return false;
  }
  return SameNode(A->Operand3, B->Operand3, false) && A->SameAs(*B);
}

}  // namespace

TExpToken* CopyExpression(const TExpToken* Root) { return CopyNode(Root, false); }

void FreeExpression(TExpToken*& Root) {
  if (!Root) return;
  // Without recursion: a tree that was refused for its depth still goes back to the pool. Operands
  // go back before their node, operand 1 first.
  std::vector<std::pair<TExpToken*, bool>> Pending{{Root, false}};
  while (!Pending.empty()) {
    auto& [N, Expanded] = Pending.back();
    if (Expanded) {
      TExpToken* Done = N;
      Pending.pop_back();
      PutExpToken(Done);
      continue;
    }
    Expanded = true;
    TExpToken* Children[3] = {N->Operand1, N->Operand2, N->Operand3};
    N->Operand1 = N->Operand2 = N->Operand3 = nullptr;
    for (int I = 2; I >= 0; --I)
      if (Children[I]) Pending.emplace_back(Children[I], false);
  }
  Root = nullptr;
}

bool SameExpression(const TExpToken* A, const TExpToken* B) { return SameNode(A, B, false); }

bool IsUpperColumn(const TExpToken* Node) {
  return Node && Node->Kind == nkFunction && Node->Code == fnUpper && Node->Operand1 &&
         Node->Operand1->Kind == nkColumn;
}
