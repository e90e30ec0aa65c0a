// vxdb-sql DIR [FILE]: runs the SQL statements of FILE (or standard input), each ended by ';',
// against the database in DIR and prints the results as tab-separated text.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/vxdb-sql/sql_script.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: vxdb-sql DIR [FILE]\n"
                 "  runs the SQL statements of FILE (standard input when absent), each ended by ';',\n"
                 "  against the database in DIR; results are printed as tab-separated text\n";
    return 2;
  }
  std::ostringstream Text;
  if (argc == 3) {
    std::ifstream In(argv[2], std::ios::binary);
    if (!In) {
      std::cerr << "vxdb-sql: cannot open " << argv[2] << '\n';
      return 1;
    }
    Text << In.rdbuf();
  } else {
    Text << std::cin.rdbuf();
  }
  return RunSQLScript(argv[1], Text.str(), std::cout, std::cerr);
}
