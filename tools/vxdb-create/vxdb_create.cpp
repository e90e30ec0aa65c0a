// vxdb-create [--force] [--group ID [--group-name NAME]] DIR: creates the application's database in DIR.
#include <cstdio>
#include <exception>
#include <string>

#include "platform/core/cp1250.h"
#include "platform/core/sysutils.h"
#include "tools/vxdb-create/vxdb_schema.h"

namespace {
int Usage() {
  std::fprintf(stderr,
               "usage: vxdb-create [--force] [--group ID [--group-name NAME]] DIR\n"
               "  creates the tables of the typing tutor's database in DIR\n"
               "  --force            replace the tables when DIR already holds them\n"
               "  --group ID         a shared installation working with group ID (its row is made)\n"
               "  --group-name NAME  the group's name (default \"Grupa ID\"), at most 40 characters\n");
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
    } else if (A == "--group-name" && I + 1 < argc) {
      // The command line is the system's UTF-8; the database holds CP1250.
      Options.GroupName = Utf8ToCp1250(argv[++I]);
      if (Options.GroupName.empty()) return Usage();
    } else if (!A.empty() && A[0] == '-') {
      return Usage();
    } else if (Dir.empty()) {
      Dir = A;
    } else {
      return Usage();
    }
  }
  if (Dir.empty() || (!Options.GroupName.empty() && Options.SharedGroup.empty())) return Usage();
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
