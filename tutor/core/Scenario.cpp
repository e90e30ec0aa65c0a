#include "tutor/core/Scenario.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/ZLibTools.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"

namespace {

// A number made only of digits (after trimming), or false.
bool ParseId(const std::string& Text, int& Value) {
  const std::string T = Trim(Text);
  if (T.empty() || T.size() > 9) return false;
  if (!std::all_of(T.begin(), T.end(), [](char C) { return C >= '0' && C <= '9'; })) return false;
  Value = std::stoi(T);
  return true;
}

// The value of a "#NAME=value" line when the name matches without regard to case.
bool NameValue(const std::string& Line, const char* Name, std::string& Value) {
  const size_t Eq = Line.find('=');
  if (Eq == std::string::npos || !SameText(Trim(Line.substr(0, Eq)), Name)) return false;
  Value = Line.substr(Eq + 1);
  return true;
}

}  // namespace

TCourseScript ParseCourseScript(const std::vector<std::string>& Lines) {
  TCourseScript S;
  int No = 0;
  for (const std::string& Raw : Lines) {
    ++No;
    std::string L = Raw;
    while (!L.empty() && (L.back() == '\r' || L.back() == '\n')) L.pop_back();
    if (Trim(L).empty()) continue;
    if (L[0] == '#') {
      std::string V;
      if (NameValue(L, "#TITLE", V)) S.Title = V;
      else if (NameValue(L, "#NOTE", V)) S.Note = V;
      continue;
    }
    if (L[0] == '/') continue;
    auto Skip = [&] { S.Skipped.push_back("line " + std::to_string(No) + ": " + L); };
    if (L[0] == '@') {
      TCourseLesson Lesson;
      const std::string First = L.substr(1, L.find('~') == std::string::npos ? std::string::npos : L.find('~') - 1);
      if (L.find('~') == std::string::npos || !ParseId(First.substr(0, 10), Lesson.Id)) {
        Skip();
        continue;
      }
      Lesson.Name = ExtractField(L, '~', 2);
      S.Lessons.push_back(std::move(Lesson));
      continue;
    }
    // A step: three '~' fields, the first a number.
    const size_t T1 = L.find('~');
    const size_t T2 = T1 == std::string::npos ? std::string::npos : L.find('~', T1 + 1);
    TCourseStep Step;
    if (T2 == std::string::npos || !ParseId(L.substr(0, T1), Step.Id)) {
      Skip();
      continue;
    }
    if (S.Lessons.empty()) continue;  // a step before the first lesson belongs to none
    Step.Name = L.substr(T1 + 1, T2 - T1 - 1);
    Step.Params = ExtractField(L, '~', 3);
    Step.Type = ExtractField(Step.Params, '|', 1);
    S.Lessons.back().Exercises.push_back(std::move(Step));
  }
  return S;
}

std::string CourseScriptMember(int Course) { return Format(vx::res::kCourseScriptFormat, {Course}); }

int CourseNumberOfMember(const std::string& Member) {
  int N = -1;
  if (Member.size() < 8 || !ParseId(Member.substr(6, 2), N)) return -1;
  return N;
}

bool ReadArchiveLines(const std::string& ArchiveFile, const std::string& Member, std::vector<std::string>& Lines) {
  try {
    if (!FileExists(ArchiveFile)) return false;
    TZLBArchive A;
    if (!A.OpenArchive(ArchiveFile)) return false;
    TStringList L;
    if (!LoadStringsFromArchive(&L, Member, &A)) return false;
    Lines.clear();
    for (int I = 0; I < L.Count(); ++I) Lines.push_back(L.Strings(I));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool ReadCourseScript(int Course, std::vector<std::string>& Lines) {
  const std::string Member = CourseScriptMember(Course);
  if (ReadArchiveLines(ProgramPath(vx::res::kScenarioArchive), Member, Lines)) return true;
  std::ifstream In(ToOsPath(ProgramPath(Member)), std::ios::binary);
  if (!In) return false;
  Lines.clear();
  std::string L;
  while (std::getline(In, L)) {
    if (!L.empty() && L.back() == '\r') L.pop_back();
    Lines.push_back(L);
  }
  return true;
}

std::vector<std::string> CourseScriptMembers() {
  std::vector<std::string> Names;
  try {
    const std::string File = ProgramPath(vx::res::kScenarioArchive);
    if (!FileExists(File)) return Names;
    TZLBArchive A;
    if (!A.OpenArchive(File)) return Names;
    for (int I = 0; I < A.Count(); ++I) {
      TZLBEntry E;
      A.GetEntry(I, E);
      Names.push_back(E.Path());
    }
  } catch (const std::exception&) {
    Names.clear();
  }
  std::sort(Names.begin(), Names.end());
  return Names;
}

std::string CourseTitle(int Course) {
  std::vector<std::string> Lines;
  if (Course < 0 || !ReadCourseScript(Course, Lines)) return "";
  return ParseCourseScript(Lines).Title;
}

std::vector<std::string> SplitStepParams(const std::string& Params, int Count) {
  std::vector<std::string> P;
  for (int I = 1; I <= Count; ++I) P.push_back(ExtractField(Params, '|', I));
  return P;
}

void LogSkippedScriptLines(const std::string& Member, const TCourseScript& Script) {
  for (const std::string& L : Script.Skipped) {
    const std::string Text = "course script " + Member + ", unreadable " + L + " (skipped)";
    std::cerr << "vx: " << Text << "\n";
    try {
      if (ELogger) ELogger->LogException(Exception(Text), nullptr, Now());
    } catch (...) {
    }
  }
}
