#include "tools/vxdb-sql/sql_script.h"

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <ostream>

#include "dbengine/sql/sql_exec.h"
#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/table_files.h"
#include "platform/core/sysutils.h"

namespace {

std::string Trimmed(const std::string& S) {
  const size_t B = S.find_first_not_of(" \t\r\n");
  if (B == std::string::npos) return std::string();
  const size_t E = S.find_last_not_of(" \t\r\n");
  return S.substr(B, E - B + 1);
}

// A private directory for the session's temporary result tables, removed with its contents.
class TPrivateDir {
 public:
  TPrivateDir() {
    const std::string Base = std::filesystem::temp_directory_path().string() + "/vxdbsql.XXXXXX";
    std::vector<char> Tmpl(Base.begin(), Base.end());
    Tmpl.push_back('\0');
    if (!mkdtemp(Tmpl.data())) throw EInOutError("Cannot create a temporary directory in " + Base);
    FPath = std::string(Tmpl.data()) + "/";
  }
  ~TPrivateDir() {
    std::error_code E;
    std::filesystem::remove_all(FPath, E);
  }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

void WriteResult(TDataCursor* C, std::ostream& Out) {
  for (int F = 1; F <= C->FieldCount; ++F) Out << (F > 1 ? "\t" : "") << C->FieldDescs[F - 1].Name();
  Out << '\n';
  std::vector<uint8_t> B(C->RecordBufferSize);
  C->MoveToBegin();
  while (C->GetNextRecord(B.data()) == 0) {
    for (int F = 1; F <= C->FieldCount; ++F) Out << (F > 1 ? "\t" : "") << SQLFieldText(C, F, B.data());
    Out << '\n';
  }
}

}  // namespace

std::vector<std::string> SplitSQLStatements(const std::string& Script) {
  std::vector<std::string> List;
  std::string Current;
  const size_t N = Script.size();
  for (size_t I = 0; I < N; ++I) {
    const char C = Script[I];
    if (C == '\'' || C == '"' || C == '[') {
      // Quotes end at the same quote (a doubled one stays inside), brackets at ']'.
      const char End = C == '[' ? ']' : C;
      size_t J = I + 1;
      for (; J < N; ++J) {
        if (Script[J] != End) continue;
        if (End != ']' && J + 1 < N && Script[J + 1] == End) {
          ++J;
          continue;
        }
        break;
      }
      J = std::min(J, N - 1);
      Current.append(Script, I, J - I + 1);
      I = J;
    } else if (C == '/' && I + 1 < N && Script[I + 1] == '*') {
      const size_t E = Script.find("*/", I + 2);
      const size_t J = E == std::string::npos ? N - 1 : E + 1;
      Current.append(Script, I, J - I + 1);
      I = J;
    } else if (C == ';') {
      List.push_back(Trimmed(Current));
      Current.clear();
    } else {
      Current += C;
    }
  }
  List.push_back(Trimmed(Current));
  std::vector<std::string> Statements;
  for (std::string& S : List)
    if (!S.empty()) Statements.push_back(std::move(S));
  return Statements;
}

int RunSQLScript(const std::string& Dir, const std::string& Script, std::ostream& Out, std::ostream& Err,
                 uint16_t LanguageID) {
  try {
    if (!std::filesystem::is_directory(Dir)) {
      Err << "vxdb-sql: " << Dir << " is not a directory\n";
      return 1;
    }
    if (!GetTableFilesFactory()) SetTableFilesFactory(MakeTableFiles);
    TPrivateDir Private;
    auto Session = std::make_unique<TDataSession>();
    Session->LanguageID = LanguageID;
    Session->SortID = 0;
    Session->SetPrivateDir(Private.Path());
    std::string Path = Dir;
    if (Path.back() != '/') Path += '/';
    TDataDirectory* D = Session->OpenDirectory("db", Path);
    int Result = 0;
    {
      TSQLExecutor Executor(D);
      for (const std::string& S : SplitSQLStatements(Script)) {
        try {
          Executor.Prepare(S);
          Executor.Execute();
        } catch (const Exception& E) {
          Err << E.Message() << '\n';
          Result = 1;
          break;
        }
        if (TDataCursor* C = Executor.ResultCursor())
          WriteResult(C, Out);
        else
          Out << Executor.RowsAffected() << " rows affected\n";
        Out.flush();
      }
    }
    Session->CloseDirectory(D);
    return Result;
  } catch (const Exception& E) {
    Err << E.Message() << '\n';
  } catch (const std::exception& E) {
    Err << "vxdb-sql: " << E.what() << '\n';
  }
  return 1;
}
