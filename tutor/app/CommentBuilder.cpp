#include "tutor/app/CommentBuilder.h"

#include <dlfcn.h>

#include "platform/core/classes.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "tutor/core/TempStat.h"

namespace {

TBuildProc gBuild = nullptr;

TBuildProc FindBuild() {
  if (gBuild) return gBuild;
  // The program links the library; a test or tool may not, and then it is opened from the
  // program folder (and kept open for the rest of the run).
  if (void* P = dlsym(RTLD_DEFAULT, RemarkorBuildSymbol)) return gBuild = reinterpret_cast<TBuildProc>(P);
  void* Lib = dlopen(ProgramPath(RemarkorLibraryName).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!Lib) Lib = dlopen(RemarkorLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (Lib)
    if (void* P = dlsym(Lib, RemarkorBuildSymbol)) return gBuild = reinterpret_cast<TBuildProc>(P);
  throw Exception(std::string("The comment library ") + RemarkorLibraryName + " cannot be loaded");
}

}  // namespace

TExerciseFigures FiguresOf(const TKeyStats& All, const std::string& Name, const std::string& Sex) {
  TExerciseFigures F;
  F.Cpm = All.Cpm;
  F.Accuracy = All.Accuracy;
  F.Duration = All.Seconds;
  F.AvErr = All.AvErr;
  F.AvIdx = All.AvIdx;
  F.Count = static_cast<int>(All.Count);
  F.Errors = static_cast<int>(All.Errors);
  F.Name = Name;
  F.Sex = Sex;
  return F;
}

TCommBiuldRec MakeCommentRecord(const TExerciseFigures& F, TCommStrTable& Strings) {
  TCommBiuldRec R;
  R.Cpm = F.Cpm;
  R.Accuracy = F.Accuracy;
  R.Count = F.Count;
  R.Errors = F.Errors;
  R.Duration = static_cast<std::int32_t>(Round(F.Duration));
  R.AvErr = F.AvErr;
  R.AvIdx = F.AvIdx;
  R.AvErrRatio = F.Cpm != 0 ? F.AvErr / F.Cpm : 0;
  R.Name = Strings.Add(F.Name);
  R.Sex = Strings.Add(F.Sex);
  return R;
}

std::string BuildComment(const std::string& /*TemplateName*/, bool& Passed, const TExerciseFigures& F) {
  TBuildProc Build = FindBuild();
  TCommStrTable Strings;
  const TCommBiuldRec Rec = MakeCommentRecord(F, Strings);
  TStringList List;
  Build(&List, &Rec, &Passed);
  std::string Text;
  for (int I = 0; I < List.Count(); ++I) {
    if (I) Text += "\r\n";
    Text += List.Strings(I);
  }
  return Text;
}

void SetBuildProc(TBuildProc Proc) { gBuild = Proc; }
