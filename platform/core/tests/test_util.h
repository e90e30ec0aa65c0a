// A fresh temporary folder per test, removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

class TTempDir {
 public:
  TTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/vxcore-XXXXXX";
    char* p = ::mkdtemp(tmpl.data());
    if (p) FPath = p;
  }
  ~TTempDir() {
    std::error_code ec;
    if (!FPath.empty()) std::filesystem::remove_all(FPath, ec);
  }
  // With a trailing '/'.
  std::string Path() const { return FPath + "/"; }

 private:
  std::string FPath;
};
