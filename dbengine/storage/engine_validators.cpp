// Date and time text validators (they need the core's date conversions).
#include "dbengine/storage/engine_common.h"
#include "platform/core/datetime.h"

bool IsValidDateText(const std::string& S) {
  TDateTime V;
  return TryStrToDate(S, V, FormatSettings);
}

bool IsValidTimeText(const std::string& S) {
  TDateTime V;
  return TryStrToTime(S, V, FormatSettings);
}

bool IsValidDateTimeText(const std::string& S) {
  TDateTime V;
  return TryStrToDateTime(S, V, FormatSettings);
}
