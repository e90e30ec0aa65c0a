// vxdb-create [--force] [--group ID] DIR: creates the application's database in DIR.
#include <cstdio>
#include <exception>
#include <string>

#include "platform/core/sysutils.h"
#include "tools/vxdb-create/vxdb_schema.h"

namespace {
int Usage() {
  std::fprintf(stderr,
               "usage: vxdb-create [--force] [--group ID] DIR\n"
               "  creates the tables of the typing tutor's database in DIR\n"
               "  --force     replace the tables when DIR already holds them\n"
               "  --group ID  a shared installation working with group ID\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  TVXDatabaseOptions Options;
  std::string Dir;
  for (int I = 1; I < argc; ++I) {
    const std::string A = argv[I];
    if (A == "--force") {
      Options.Overwrite = true;
    } else if (A == "--group" && I + 1 < argc) {
      Options.SharedGroup = argv[++I];
      if (Options.SharedGroup.empty() || Options.SharedGroup.find_first_not_of("0123456789") != std::string::npos) {
        std::fprintf(stderr, "vxdb-create: the group id must be a number\n");
        return 2;
      }
    } else if (!A.empty() && A[0] == '-') {
      return Usage();
    } else if (Dir.empty()) {
      Dir = A;
    } else {
      return Usage();
    }
  }
  if (Dir.empty()) return Usage();
  try {
    CreateVXDatabase(Dir, Options);
  } catch (const Exception& E) {
    std::fprintf(stderr, "vxdb-create: %s\n", E.Message().c_str());
    return 1;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "vxdb-create: %s\n", E.what());
    return 1;
  }
  return 0;
}
