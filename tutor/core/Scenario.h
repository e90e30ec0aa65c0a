// Course scripts: the lessons of a course, each a list of exercise steps, read from the members
// "INDEX_nn.SCN" of scenario.zlb (nn = the course number). A script is CP1250 text:
//   #TITLE=...      the course title        #NOTE=...   the course's description page
//   @id~name        starts a lesson         / ...       a comment
//   id~name~Type|p2|p3|p4                   a step of the current lesson
// Other '#' lines and empty lines are ignored. A line that cannot be read (a lesson id that is no
// number, a step without its three fields) is skipped and reported, never fatal.
#pragma once

#include <string>
#include <vector>

struct TCourseStep {
  int Id = 0;
  std::string Name;
  std::string Params;  // "Type|p2|p3|..."
  std::string Type;    // the first '|' field of Params
};

struct TCourseLesson {
  int Id = 0;
  std::string Name;
  std::vector<TCourseStep> Exercises;
};

struct TCourseScript {
  std::string Title;
  std::string Note;
  std::vector<TCourseLesson> Lessons;
  // "line N: text" of every line that was skipped because it could not be read.
  std::vector<std::string> Skipped;
};

TCourseScript ParseCourseScript(const std::vector<std::string>& Lines);

// "INDEX_07.SCN" for course 7.
std::string CourseScriptMember(int Course);
// The course number of a member name "INDEX_nn.SCN" (its characters 7-8), or -1.
int CourseNumberOfMember(const std::string& Member);

// The lines of a text member of an archive file, false when either cannot be read.
bool ReadArchiveLines(const std::string& ArchiveFile, const std::string& Member, std::vector<std::string>& Lines);
// The lines of course C's script: the member of scenario.zlb beside the program, else the copy of
// the script in the program folder. False when neither can be read.
bool ReadCourseScript(int Course, std::vector<std::string>& Lines);
// The member names of scenario.zlb beside the program, sorted by name (empty when unreadable).
std::vector<std::string> CourseScriptMembers();
// The "#TITLE" of course C ("" when its script cannot be read).
std::string CourseTitle(int Course);

// Params split at '|': P[0] is the type; missing fields are "".
std::vector<std::string> SplitStepParams(const std::string& Params, int Count = 10);

// Writes the skipped lines of a script to the error log.
void LogSkippedScriptLines(const std::string& Member, const TCourseScript& Script);
