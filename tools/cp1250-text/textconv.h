// Conversion of a UTF-8 text source into the program's stored form: code page 1250 with CR LF
// line ends. A leading byte-order mark is dropped. Invalid UTF-8, a character the code page cannot
// hold, or a stray CR not followed by LF raise std::runtime_error naming the line, so a wrong
// character never reaches the installation as a silent '?'.
#pragma once

#include <string>

namespace textconv {

std::string Utf8ToStoredText(const std::string& Utf8, const std::string& What);

}  // namespace textconv
