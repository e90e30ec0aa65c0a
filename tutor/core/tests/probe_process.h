// Another classroom copy for tests: the vx-session-probe program run as a child process on the
// same installation folder, driven line by line through pipes, and killed like a PC that is
// switched off.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

class TProbeProcess {
 public:
  // Starts the probe and waits for its first answer (the logon of Student).
  TProbeProcess(const std::string& Exe, const std::string& Folder, int Group, int Student) {
    int ToChild[2], FromChild[2];
    if (::pipe(ToChild) != 0 || ::pipe(FromChild) != 0) return;
    FPid = ::fork();
    if (FPid == 0) {
      ::dup2(ToChild[0], 0);
      ::dup2(FromChild[1], 1);
      ::close(ToChild[1]);
      ::close(FromChild[0]);
      const std::string G = std::to_string(Group), S = std::to_string(Student);
      ::execl(Exe.c_str(), Exe.c_str(), Folder.c_str(), G.c_str(), S.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(ToChild[0]);
    ::close(FromChild[1]);
    FIn = ::fdopen(ToChild[1], "w");
    FOut = ::fdopen(FromChild[0], "r");
    FFirst = ReadLine();
  }
  ~TProbeProcess() {
    if (FPid > 0 && !FGone) {
      Send("quit");
      Wait();
    }
    if (FIn) std::fclose(FIn);
    if (FOut) std::fclose(FOut);
  }
  TProbeProcess(const TProbeProcess&) = delete;
  TProbeProcess& operator=(const TProbeProcess&) = delete;

  // "ok <id>" or "fail" of the logon at start.
  const std::string& First() const { return FFirst; }
  bool LoggedOn() const { return FFirst.rfind("ok", 0) == 0; }

  std::string Command(const std::string& Line) {
    Send(Line);
    return ReadLine();
  }
  // SIGKILL, as when the PC loses power: nothing of the probe runs any more.
  void Kill() {
    if (FPid <= 0 || FGone) return;
    ::kill(FPid, SIGKILL);
    Wait();
  }

 private:
  void Send(const std::string& Line) {
    if (!FIn) return;
    std::fputs((Line + "\n").c_str(), FIn);
    std::fflush(FIn);
  }
  std::string ReadLine() {
    char Buf[256];
    if (!FOut || !std::fgets(Buf, sizeof Buf, FOut)) return "";
    std::string L = Buf;
    while (!L.empty() && (L.back() == '\n' || L.back() == '\r')) L.pop_back();
    return L;
  }
  void Wait() {
    int Status = 0;
    ::waitpid(FPid, &Status, 0);
    FGone = true;
  }

  pid_t FPid = -1;
  bool FGone = false;
  std::FILE* FIn = nullptr;
  std::FILE* FOut = nullptr;
  std::string FFirst;
};
