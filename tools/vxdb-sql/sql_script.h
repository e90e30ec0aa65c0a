// Running SQL scripts with the engine: a script is cut into statements at ';' (outside quotes,
// brackets and comments) and each statement's result is written as tab-separated text.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// The statements of a script, each without its ';' and surrounding blanks; empty ones dropped.
std::vector<std::string> SplitSQLStatements(const std::string& Script);

// Runs every statement of Script against the database directory Dir (session language
// LanguageID). A result set goes to Out as a header line of column names and one line per row,
// fields separated by tabs (NULL: empty field); any other statement writes its rows affected.
// The first failing statement stops the script: its message goes to Err and 1 is returned.
int RunSQLScript(const std::string& Dir, const std::string& Script, std::ostream& Out, std::ostream& Err,
                 uint16_t LanguageID = 1045);
