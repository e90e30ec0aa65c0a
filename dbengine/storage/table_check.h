// Checks of a table's files as the check tool and the crash tests run them: the structure checks made
// at open, every index tree and free chain, and each index against the records of the data file;
// and the repair that makes every index anew from the records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TDataCursor;
class TDataDirectory;

struct TTableCheckResult {
  bool Opened = false;
  int32_t Records = 0;                 // live records found by a scan of the data file
  std::vector<std::string> Problems;   // one line per damage found; empty when the table is sound
  bool Sound() const { return Opened && Problems.empty(); }
};

// Checks the table Name (with or without ".DAT") of Directory, opening it exclusively.
TTableCheckResult CheckTable(TDataDirectory* Directory, const std::string& Name);
// Checks a table open through Cursor.
void CheckOpenTable(TDataCursor* Cursor, TTableCheckResult& Result);

// Makes the index file of the table anew from its data file, keeping the index definitions it can
// still read (from the damaged index file, else from Definitions when given). Returns what it did,
// one line per step; raises an engine error when it cannot.
std::vector<std::string> RebuildIndexes(TDataDirectory* Directory, const std::string& Name);
