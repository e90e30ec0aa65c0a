#pragma once
// General routines the viewer needs that belong in the core library; kept here until they move.

#include <string>

// The name as an absolute path: relative names are taken from the current folder; "." and ".."
// components are folded away. Both separators are accepted; the result uses "/".
std::string ExpandFileName(const std::string& FileName);
