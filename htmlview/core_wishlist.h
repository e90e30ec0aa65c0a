#pragma once
// General routines the viewer needs that belong in the platform core; kept here until they move.

#include <cstdint>
#include <string>

// A Unicode code point in a Windows code page (1250 through the core's own table, others
// through iconv): one or two bytes; "?" when the code page lacks the character. Code pages 0
// (the system's, 1250) and 1 (the OEM one, 852) are understood.
std::string UnicodeToCodePage(uint32_t Code, int CodePage);
