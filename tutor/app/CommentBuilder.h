// The program's side of the comment library: the figures of one exercise go into the record the
// library's Build reads, and the sentences it writes come back as one text.
#pragma once

#include <string>

#include "remarkor/CommentBuildRec.h"

struct TKeyStats;

// What the results screen shows and the comment is built from: the figures of the exercise just
// typed (never read back from another practice row).
struct TExerciseFigures {
  double Cpm = 0;
  double Accuracy = 0;
  double Duration = 0;  // seconds
  double AvErr = 0;
  double AvIdx = 0;
  int Count = 0;
  int Errors = 0;
  std::string Name;  // the student's name and sex (CP1250)
  std::string Sex;
};

// The figures of all keys together (entry 0 of the per-character statistics).
TExerciseFigures FiguresOf(const TKeyStats& All, const std::string& Name, const std::string& Sex);

// The record Build reads; the strings go into Strings, which must outlive the record's use.
// AvErrRatio is AvErr / Cpm, and 0 at a speed of 0 (too short an exercise for any ratio).
TCommBiuldRec MakeCommentRecord(const TExerciseFigures& F, TCommStrTable& Strings);

// Calls Build with the record of F and returns its sentences joined by CR LF. TemplateName is
// not used (the library has one set of sentences). Build is looked up in the running program
// first, then in libremarkor.so of the program folder; when neither has it an Exception names
// the library. Exceptions of Build pass to the caller.
std::string BuildComment(const std::string& TemplateName, bool& Passed, const TExerciseFigures& F);

// Replaces the Build that BuildComment calls (nullptr: look it up again). Tests only.
void SetBuildProc(TBuildProc Proc);
