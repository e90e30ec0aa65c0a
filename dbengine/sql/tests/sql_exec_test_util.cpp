#include "dbengine/sql/tests/sql_exec_test_util.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "dbengine/storage/table_files.h"

namespace sqltest {

TRows CursorRows(TDataCursor* Cursor) {
  TRows Rows;
  if (!Cursor) return Rows;
  std::vector<uint8_t> B(Cursor->RecordBufferSize);
  Cursor->MoveToBegin();
  while (Cursor->GetNextRecord(B.data()) == 0) {
    std::vector<std::string> Row;
    for (int F = 1; F <= Cursor->FieldCount; ++F) Row.push_back(SQLFieldText(Cursor, F, B.data()));
    Rows.push_back(Row);
  }
  Cursor->MoveToBegin();
  return Rows;
}

std::vector<std::string> CursorColumns(TDataCursor* Cursor) {
  std::vector<std::string> Names;
  if (Cursor)
    for (const TFieldDescriptor& D : Cursor->FieldDescs) Names.push_back(D.Name());
  return Names;
}

void SQLTest::SetUp() {
  if (!GetTableFilesFactory()) SetTableFilesFactory(MakeTableFiles);
  char Tmpl[] = "/tmp/vxsql.XXXXXX";
  ASSERT_NE(mkdtemp(Tmpl), nullptr);
  Path = std::string(Tmpl) + "/";
  Private = Path + "priv/";
  std::filesystem::create_directories(Private);
  Session = new TDataSession();
  Session->LockRetryCount = 2;
  Session->LockWaitTime = 10;
  // Language 0: byte order and ISO date texts, whatever the locale of the machine.
  Session->LanguageID = 0;
  Session->SortID = 0;
  Session->SetPrivateDir(Private);
  Dir = Session->OpenDirectory("db", Path);
  ASSERT_NE(Dir, nullptr);
  Executor = std::make_unique<TSQLExecutor>(Dir);
}

void SQLTest::TearDown() {
  Executor.reset();
  delete Session;
  std::error_code E;
  std::filesystem::remove_all(Path, E);
}

uint32_t SQLTest::Exec(const std::string& SQL) { return Executor->ExecSQL(SQL); }

TRows SQLTest::Query(const std::string& SQL) {
  Executor->ExecSQL(SQL);
  return CursorRows(Executor->ResultCursor());
}

void SQLTest::Script(const std::vector<std::string>& Statements) {
  for (const std::string& S : Statements) Exec(S);
}

TCommandPeer::TCommandPeer(const std::function<void(TCommandPeer&)>& Child) {
  if (pipe(FToParent) != 0 || pipe(FToChild) != 0) return;
  Pid = fork();
  if (Pid == 0) {
    close(FToParent[0]);
    close(FToChild[1]);
    Child(*this);
    _exit(0);
  }
  close(FToParent[1]);
  close(FToChild[0]);
}

TCommandPeer::~TCommandPeer() {
  if (Pid > 0) {
    Do("");
    int Status = 0;
    waitpid(Pid, &Status, 0);
  }
  close(FToChild[1]);
  close(FToParent[0]);
}

char TCommandPeer::Do(const std::string& Command) {
  const uint32_t N = static_cast<uint32_t>(Command.size());
  if (write(FToChild[1], &N, 4) != 4 || (N && write(FToChild[1], Command.data(), N) != static_cast<ssize_t>(N)))
    return 0;
  char C = 0;
  if (read(FToParent[0], &C, 1) != 1) return 0;
  return C;
}

void TCommandPeer::Serve(const std::function<void(const std::string&)>& Run) {
  for (;;) {
    uint32_t N = 0;
    if (read(FToChild[0], &N, 4) != 4 || N == 0) break;
    std::string Command(N, '\0');
    if (read(FToChild[0], Command.data(), N) != static_cast<ssize_t>(N)) break;
    char Answer = 'y';
    try {
      Run(Command);
    } catch (...) {
      Answer = 'n';
    }
    if (write(FToParent[1], &Answer, 1) != 1) break;
  }
}

}  // namespace sqltest
