#include "dbengine/storage/components/tests/table_maker.h"

#include <array>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/table_files.h"
#include "dbengine/storage/cursor_filters.h"
#ifdef VXDB_WITH_EXPRESSIONS
#include "dbengine/sql/expr_filters.h"
#endif

namespace comptest {

namespace {

TCreateTableParams MakeParams(const std::vector<TTestField>& Fields, const std::vector<TTestIndex>& Indexes) {
  TCreateTableParams P;
  uint16_t No = 0;
  for (const TTestField& F : Fields) {
    std::array<uint8_t, 768> D{};
    auto* Desc = reinterpret_cast<TFieldDescriptor*>(D.data());
    Desc->SetNumber(++No);
    Desc->SetName(F.Name);
    D[kFieldDescTypeOffset] = static_cast<uint8_t>(F.Type);
    D[kFieldDescDeclaredSizeOffset] = static_cast<uint8_t>(F.Size);
    D[kFieldDescSubTypeOffset] = static_cast<uint8_t>(F.SubType);
    D[kFieldDescDeclaredScaleOffset] = static_cast<uint8_t>(F.Scale);
    D[kFieldDescRequiredOffset] = F.Required ? 1 : 0;
    P.Fields.push_back(D);
  }
  for (const TTestIndex& X : Indexes) {
    std::array<uint8_t, 120> D{};
    SetShortString(D.data() + kIndexDescNameOffset, 30, X.Name);
    D[kIndexDescUniqueOffset] = X.Unique ? 1 : 0;
    D[kIndexDescCaseInsensitiveOffset] = X.CaseInsensitive ? 1 : 0;
    for (std::size_t I = 0; I < X.Fields.size(); ++I)
      SetU16(D.data() + kIndexDescFieldNumbersOffset + 2 * I, static_cast<uint16_t>(X.Fields[I]));
    P.Indexes.push_back(D);
  }
  return P;
}

}  // namespace

void CreateTestTableIn(TDataDirectory* Directory, const std::string& Table, const std::vector<TTestField>& Fields,
                       const std::vector<TTestIndex>& Indexes, bool InMemory, const std::string& Password) {
  TDataCursor C(Directory);
  C.SetTableName(Table);
  C.SetExclusive(true);
  C.SetInMemory(InMemory);
  TCreateTableParams P = MakeParams(Fields, Indexes);
  P.Encrypted = !Password.empty();
  P.Password = Password;
  C.CreateTable(std::move(P));
}

void CreateTestTable(const std::string& Dir, const std::string& Table, const std::vector<TTestField>& Fields,
                     const std::vector<TTestIndex>& Indexes, const std::string& Password) {
  TDataSession Session;
  TDataDirectory* Directory = Session.OpenDirectory("maker", Dir);
  Session.AddPassword(Password);
  CreateTestTableIn(Directory, Table, Fields, Indexes, false, Password);
  Session.CloseDirectory(Directory);
}

bool RegisterExpressions() {
#ifdef VXDB_WITH_EXPRESSIONS
  RegisterEngineExpressions();
  return true;
#else
  return false;
#endif
}

TNoExpressionCompiler::TNoExpressionCompiler() : FSaved(CursorExpressionCompiler()) {
  SetCursorExpressionCompiler(nullptr);
}

TNoExpressionCompiler::~TNoExpressionCompiler() {
  SetCursorExpressionCompiler(static_cast<TCursorExpressionCompiler*>(FSaved));
}

}  // namespace comptest
