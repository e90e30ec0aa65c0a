#include "dbengine/storage/os_names.h"

std::string OsFileName(const std::string& Name) { return Name; }
std::string EngineFileName(const std::string& OsName) { return OsName; }
