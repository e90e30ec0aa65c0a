// File names cross into the operating system here: engine names are CP1250 bytes, the file system
// takes UTF-8.
#pragma once

#include <string>

// CP1250 name -> name for system calls.
std::string OsFileName(const std::string& Name);
// Name from the system (a directory entry) -> CP1250.
std::string EngineFileName(const std::string& OsName);
