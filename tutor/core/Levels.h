// The speed and accuracy levels the results screen names, read from levels.txt in vx.zlb.
//
// levels.txt holds name=value lines; the keys acc1 .. acc10 fill the accuracy table and cpm1 ..
// cpm10 the speed table, each table stopping at its first missing or empty key. A value is
// "Low,High,Text1,Text2": Low and High are decimal numbers written with '.', -1 meaning no bound.
// A level matches a value v when (v >= Low or Low = -1) and (v < High or High = -1).
#pragma once

#include <array>
#include <string>

#include "platform/core/classes.h"

struct TLevel {
  int Index = 0;  // 1..10; 0 in an entry the file did not fill
  double Low = 0, High = 0;
  std::string Text1, Text2;
};

using TLevelTable = std::array<TLevel, 10>;

extern TLevelTable AccuracyLevels;
extern TLevelTable SpeedLevels;

// Reads levels.txt of vx.zlb beside the program into both tables, run once at start-up. A
// missing archive or member, or a value that is not four fields with two numbers, leaves the
// table (or the rest of it) empty and is written to the error log; it never raises.
void LoadLevels();
// The same from a given archive file; returns "" or what went wrong (already logged).
std::string LoadLevelsFrom(const std::string& ArchiveFile);
// The same from the lines of levels.txt.
std::string LoadLevelsFromLines(const TStrings& Lines);

// The index (1..10) of the first matching level, or -1.
int SpeedLevel(double Value);
int AccuracyLevel(double Value);
// The level of that index, or nullptr for -1 (and any index out of 1..10).
const TLevel* SpeedLevelOf(int Index);
const TLevel* AccuracyLevelOf(int Index);
