// Stands for another classroom PC: opens the data module on an installation folder (its data
// directory) and logs a student on, then obeys commands from standard input until it ends or is
// killed. Liveness between copies is a lock that dies with the process, so the other copy must
// be a process of its own.
//
//   vx-session-probe <install folder> <group> <student>
// prints "ok <session id>" or "fail", then reads lines:
//   logon <group> <student>   prints "ok <session id>" or "fail"
//   logout                    prints "done"
//   quit                      closes the data module and exits 0
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/core/fileutils.h"
#include "platform/core/inifiles.h"
#include "platform/core/sysutils.h"
#include "tutor/OptionsReg.h"
#include "tutor/core/DataModule.h"

namespace {
void Report(TDM& D, int Result) {
  if (Result == 0) std::cout << "ok " << D.SessionId << std::endl;
  else std::cout << "fail" << std::endl;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: vx-session-probe <install folder> <group> <student>\n";
    return 2;
  }
  try {
    SetProgramFolder(argv[1]);
    PrgReg = new TPrgReg(GetTempDir() + "vx-session-probe-" + std::to_string(::getpid()) + ".ini");
    TDM D(nullptr);
    D.DataModuleCreate(&D);
    D.DBLocal = true;
    D.Open();
    Report(D, D.Logon(std::atoi(argv[2]), std::atoi(argv[3])));
    std::string Line;
    while (std::getline(std::cin, Line)) {
      std::istringstream In(Line);
      std::string Cmd;
      In >> Cmd;
      if (Cmd == "logon") {
        int G = 0, S = 0;
        In >> G >> S;
        Report(D, D.Logon(G, S));
      } else if (Cmd == "logout") {
        D.Logout();
        std::cout << "done" << std::endl;
      } else if (Cmd == "quit") {
        break;
      }
    }
    D.Close();
    std::remove(PrgReg->FileName().c_str());
  } catch (const std::exception& E) {
    std::cout << "fail" << std::endl;
    std::cerr << "vx-session-probe: " << E.what() << "\n";
    return 1;
  }
  return 0;
}
