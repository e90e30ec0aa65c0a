// Helpers of the SQL execution tests: a session with a database directory in a temporary folder,
// statements run end to end, and result tables read back as text rows.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbengine/sql/sql_exec.h"
#include "dbengine/storage/engine_errors.h"

namespace sqltest {

using TRows = std::vector<std::vector<std::string>>;

// The engine code and message a call raises (0 and empty when it raises none).
struct TRaised {
  uint16_t Code = 0;
  std::string Message;
};
template <class F>
TRaised Raised(F&& Body) {
  TRaised R;
  try {
    Body();
  } catch (const EVXDBEngineError& E) {
    R.Code = E.ErrorCode();
    R.Message = E.Message();
  }
  return R;
}

// Every row of a cursor from the start, each field as text (NULL empty).
TRows CursorRows(TDataCursor* Cursor);
std::vector<std::string> CursorColumns(TDataCursor* Cursor);

class SQLTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Runs a statement; returns the rows affected.
  uint32_t Exec(const std::string& SQL);
  // Runs a SELECT; returns its result rows as text.
  TRows Query(const std::string& SQL);
  std::vector<std::string> Columns() { return CursorColumns(Executor->ResultCursor()); }
  // Runs the statements of a script separated by ';' at line ends.
  void Script(const std::vector<std::string>& Statements);

  std::string Path, Private;
  TDataSession* Session = nullptr;
  TDataDirectory* Dir = nullptr;
  std::unique_ptr<TSQLExecutor> Executor;
};

// A second process, forked, that answers commands sent over two pipes. Child runs in the new
// process: it sets up what it needs (its own session on the directory) and calls Serve. Start the
// peer before this process opens the tables it shares, so that the two hold no common open file
// description (whose byte-range locks would never conflict).
class TCommandPeer {
 public:
  explicit TCommandPeer(const std::function<void(TCommandPeer&)>& Child);
  ~TCommandPeer();
  TCommandPeer(const TCommandPeer&) = delete;
  TCommandPeer& operator=(const TCommandPeer&) = delete;
  // Sends one command: 'y' when the peer ran it, 'n' when it threw, 0 when the peer is gone. An
  // empty command ends the peer.
  char Do(const std::string& Command);
  // In the child: runs every command until the parent ends it.
  void Serve(const std::function<void(const std::string&)>& Run);
  pid_t Pid = -1;  // set to -1 by a test that reaped the peer itself

 private:
  int FToParent[2] = {-1, -1}, FToChild[2] = {-1, -1};
};

}  // namespace sqltest
