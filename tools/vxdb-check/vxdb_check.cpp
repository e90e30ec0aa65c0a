// vxdb-check [--repair] DIR [TABLE...]: checks the tables of the database in DIR (all of them when
// none is named); --repair makes damaged indexes anew from the records. Exit status 0 when every
// table is clean (or was mended), 1 when damage remains, 2 on a usage error.
#include <iostream>
#include <string>
#include <vector>

#include "tools/vxdb-check/db_check.h"

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  TCheckOptions Options;
  if (!ParseCheckArguments(Args, Options)) {
    std::cerr << "usage: vxdb-check [--repair] DIR [TABLE...]\n"
                 "  checks every table of the database in DIR (or the tables named): the files' structure,\n"
                 "  every index tree and free chain, each index against the records;\n"
                 "  --repair makes damaged indexes anew from the records\n";
    return 2;
  }
  return RunCheck(Options, std::cout);
}
