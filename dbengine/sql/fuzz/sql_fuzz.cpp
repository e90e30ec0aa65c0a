// Feeds arbitrary text to the SQL statement parser: it must either parse or raise an error (the
// engine's SQL error, or the conversion error the expression scanner gives for malformed numbers and
// character constants), never crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dbengine/sql/sql_statement.h"
#include "dbengine/storage/engine_errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string Text(reinterpret_cast<const char*>(Data), Size);
  try {
    TQueryStatement S("db");
    uint32_t Consumed = 0;
    S.Parse(Text, Consumed);
  } catch (const EVXDBEngineError&) {
  } catch (const EConvertError&) {
  }
  return 0;
}
