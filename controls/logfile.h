// Appending lines to a text log whose size is kept under a limit by cutting whole lines off its
// beginning. Lines end with CR LF.
#pragma once

#include <string>
#include <vector>

// Appends Lines to FileName (created when missing), preceded by a line with the current date and
// time when AddTime is set. MaxSize > 0 limits the file: the lines that would take the entry above
// MaxSize are left out (nothing is written when none fits), and the oldest lines are cut off so
// that the file stays within MaxSize. An empty FileName does nothing. Failures raise EInOutError.
void AddToLog(const std::string& FileName, const std::vector<std::string>& Lines, bool AddTime, int MaxSize);
