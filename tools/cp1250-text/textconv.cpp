#include "tools/cp1250-text/textconv.h"

#include <stdexcept>

#include "platform/core/cp1250.h"

namespace textconv {

std::string Utf8ToStoredText(const std::string& Source, const std::string& What) {
  std::string text = Source;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  size_t start = 0;
  int lineNo = 1;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const bool hasEnd = end != std::string::npos;
    if (!hasEnd) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string where = What + ", line " + std::to_string(lineNo);
    if (line.find('\r') != std::string::npos) throw std::runtime_error(where + ": a carriage return inside the line");
    if (!IsValidUtf8(line)) throw std::runtime_error(where + ": not valid UTF-8");
    const std::string converted = Utf8ToCp1250(line);
    if (Cp1250ToUtf8(converted) != line)
      throw std::runtime_error(where + ": a character code page 1250 cannot represent");
    out += converted;
    if (hasEnd) out += "\r\n";
    start = end + 1;
    ++lineNo;
  }
  return out;
}

}  // namespace textconv
