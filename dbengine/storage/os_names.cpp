#include "dbengine/storage/os_names.h"

#include "platform/core/cp1250.h"

std::string OsFileName(const std::string& Name) { return Cp1250ToUtf8(Name); }

std::string EngineFileName(const std::string& OsName) {
  // A name that is not valid UTF-8 is taken byte for byte.
  return IsValidUtf8(OsName) ? Utf8ToCp1250(OsName) : OsName;
}
