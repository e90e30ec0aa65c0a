// Engine sessions and directories, engine start and stop.
//
// A session holds the settings every table opened through it follows (lock retries and waits,
// buffer flushing, change detection, default language and sort), the passwords the user has
// given, the private directory for temporary results and its open directories. A directory is one
// database (a disk folder or the in-memory database "MEMORY") shared through a reference count; it
// keeps the tables open in it, opens, closes, renames and deletes tables, hands out temporary
// table names and runs transactions over all its tables. Directory operations return 0 or a
// negated engine code, which their callers raise.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "dbengine/storage/data_table.h"
#include "dbengine/storage/engine_heap.h"
#include "dbengine/storage/journal.h"
#include "dbengine/storage/lookup_budget.h"

// Bytes the clean copies kept for lookups (record blocks, index pages) of all the tables of one
// session take at most. A lookup that misses them reads the file and decodes what it read, several
// times the cost of a hit; 32 MB keep the hot part of tables of millions of rows, all of the
// tutor's own tables many times over, and cost little next to the memory of the PCs it runs on.
// Idle tables keep their copies within it until tables in use need the room.
constexpr size_t kSessionLookupBytes = size_t{32} << 20;

class TDataSession;

class TDataDirectory : public TEngineObject {
 public:
  TDataDirectory() = default;
  TDataDirectory(const TDataDirectory&) = delete;
  TDataDirectory& operator=(const TDataDirectory&) = delete;
  ~TDataDirectory();

  TDataSession* Session = nullptr;
  std::string DatabaseName;
  std::string Path;           // ends in a separator; empty for the in-memory database
  std::string UniversalPath;  // canonical form of Path; empty for the in-memory database
  std::vector<TDataTable*> Tables;
  uint32_t RefCount = 0;
  bool InTransaction = false;
  // Tables that no cursor uses but that keep their files open for the next statement (parked),
  // oldest first; at most IdleTableLimit of them.
  std::vector<TDataTable*> IdleTables;
  size_t IdleTableLimit = 16;

  bool IsMemory() const { return Path.empty(); }
  // The directory's journal as this directory holds it (disk directories only), opened on first use.
  TDirectoryLog* Journal();
  int OpenTable(const std::string& Name, TDataTable*& Table, bool Temporary, bool SequentialAccess, bool InMemory,
                bool Force, bool Exclusive);
  int CloseTable(TDataTable* Table, bool FlushTemporary);
  int RenameTable(const std::string& Name, const std::string& NewName, bool Backup, bool InMemory);
  int DeleteTable(const std::string& Name, bool InMemory);
  bool TableExists(const std::string& Name, bool InMemory);
  void GetTempTableName(bool InMemory, std::string& Name);
  // nullptr when it started a transaction, the directory itself when one was already active.
  TDataDirectory* StartTransaction();
  void Rollback();
  void Commit(bool EndTransaction = true);
  void AddRef() { ++RefCount; }
  void Release() { --RefCount; }
  int CreateTable(const std::string& Name, TDataTable*& Table, bool Temporary, bool InMemory,
                  const TTableDefinition& Definition);
  // The table of that name (".DAT" forced, case-insensitive) and kind, nullptr when not listed.
  TDataTable* FindTable(const std::string& Name, bool InMemory) const;
  // Closes every parked table (or the one of that name and kind) for good.
  void CloseIdleTables();
  void CloseIdleTable(const std::string& Name, bool InMemory);

 private:
  std::unique_ptr<TDirectoryLog> FJournal;
  void RemoveTable(TDataTable* Table);
  void ForgetIdle(TDataTable* Table);
};

class TDataSession : public TEngineObject {
 public:
  TDataSession();
  TDataSession(const TDataSession&) = delete;
  TDataSession& operator=(const TDataSession&) = delete;
  ~TDataSession();

  std::string StartDirectory;  // current directory at creation, ending in a separator
  std::string PrivateDir;
  std::vector<std::string> Passwords;
  bool ForceBufferFlush = false;
  bool StrictChangeDetection = false;
  uint8_t LockRetryCount = 15;
  uint16_t LockWaitTime = 100;
  std::vector<TDataDirectory*> Directories;
  uint16_t LanguageID = 0;
  uint16_t SortID = 0;
  // What the session's tables keep for lookups draws on this.
  TLookupBudget LookupBudget{kSessionLookupBytes};

  std::string GetPrivateDir() const { return PrivateDir.empty() ? StartDirectory : PrivateDir; }
  void SetPrivateDir(const std::string& Dir);
  void AddPassword(const std::string& Password);
  void RemovePassword(const std::string& Password);
  void RemoveAllPasswords() { Passwords.clear(); }
  bool HasPassword(const std::string& Password) const;
  TDataDirectory* OpenDirectory(const std::string& DatabaseName, const std::string& Path);
  int CloseDirectory(TDataDirectory* Directory);
};

// ---- Engine state ----
void StartEngine();
void StopEngine();
bool EngineStarted();
// The current session; raises 0x2A06 "Engine not initialized" before StartEngine.
TDataSession* CurrentSession();
void SetCurrentSession(TDataSession* Session);
void NewSession(TDataSession*& Session);
void FreeSession(TDataSession*& Session);

// ---- Files of tables ----
// True for a temporary table file name: five digits, a number, then ".DAT", ".IDX" or ".BLB"
// (any case). These are the names GetTempTableName hands out.
bool IsTempTableFileName(const std::string& FileName);
// Removes temporary table files left in Dir by processes that died before closing them: files
// with temporary names, last changed before StartedBefore, that no process holds open. Returns
// the number of files removed.
int SweepStaleTempTables(const std::string& Dir, time_t StartedBefore);
// Moves a file; when the rename fails because the target lies on another file system, the file
// is copied to the target (never replacing an existing file) and the source removed. 0 or a
// negated engine code.
int MoveTableFile(const std::string& From, const std::string& To);
