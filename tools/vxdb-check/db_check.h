// What vxdb-check does, as a routine the tests can call: checks the tables of a database directory
// and, when asked, makes damaged indexes anew from the records.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct TCheckOptions {
  bool Repair = false;
  std::string Directory;
  std::vector<std::string> Tables;  // every table of the directory when empty
};

// Parses the command line (without the program name); false on a usage error.
bool ParseCheckArguments(const std::vector<std::string>& Args, TCheckOptions& Options);
// Checks (and repairs) as the options say, printing one line per finding to Out. Returns the exit
// status: 0 when every table is clean (or, with repair, was mended), 1 when damage remains.
int RunCheck(const TCheckOptions& Options, std::ostream& Out);
