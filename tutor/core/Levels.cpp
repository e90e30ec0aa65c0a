#include "tutor/core/Levels.h"

#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "tutor/ZLibTools.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"

TLevelTable AccuracyLevels;
TLevelTable SpeedLevels;

namespace {

void LogProblem(const std::string& Text) {
  if (!ELogger) return;
  try {
    ELogger->LogException(Exception("Levels: " + Text), nullptr, Now());
  } catch (...) {
    // The log is a courtesy here: a level table that could not be read must not stop anything.
  }
}

// Fills Table from the keys Prefix1 .. Prefix10; "" or the first problem.
std::string FillTable(const TStrings& Lines, const std::string& Prefix, TLevelTable& Table) {
  Table = TLevelTable{};
  for (int i = 1; i <= 10; ++i) {
    const std::string Key = Prefix + IntToStr(i);
    const std::string Value = Lines.Values(Key);
    if (Value.empty()) return "";
    TLevel L;
    L.Index = i;
    const std::string Low = Trim(ExtractField(Value, ',', 1)), High = Trim(ExtractField(Value, ',', 2));
    if (!TryStrToFloat(Low, L.Low, '.') || !TryStrToFloat(High, L.High, '.'))
      return Key + "=" + Value + " is not \"Low,High,Text1,Text2\" with decimal numbers";
    L.Text1 = ExtractField(Value, ',', 3);
    L.Text2 = ExtractField(Value, ',', 4);
    Table[static_cast<std::size_t>(i - 1)] = L;
  }
  return "";
}

int Find(const TLevelTable& Table, double Value) {
  for (const TLevel& L : Table) {
    if (L.Index == 0) continue;
    if ((Value >= L.Low || L.Low == -1) && (Value < L.High || L.High == -1)) return L.Index;
  }
  return -1;
}

const TLevel* Of(const TLevelTable& Table, int Index) {
  if (Index < 1 || Index > 10) return nullptr;
  const TLevel& L = Table[static_cast<std::size_t>(Index - 1)];
  return L.Index == Index ? &L : nullptr;
}

}  // namespace

std::string LoadLevelsFromLines(const TStrings& Lines) {
  std::string Problem = FillTable(Lines, "acc", AccuracyLevels);
  const std::string SpeedProblem = FillTable(Lines, "cpm", SpeedLevels);
  if (Problem.empty()) Problem = SpeedProblem;
  if (!Problem.empty()) LogProblem(Problem);
  return Problem;
}

std::string LoadLevelsFrom(const std::string& ArchiveFile) {
  AccuracyLevels = TLevelTable{};
  SpeedLevels = TLevelTable{};
  TStringList Lines;
  bool Read = false;
  std::string Why;
  try {
    TZLBArchive Archive;
    if (Archive.OpenArchive(ArchiveFile)) Read = LoadStringsFromArchive(&Lines, vx::res::kLevelsMember, &Archive);
    if (!Read) Why = std::string(vx::res::kLevelsMember) + " cannot be read from " + ArchiveFile;
  } catch (const std::exception& E) {
    Why = ArchiveFile + ": " + E.what();
  }
  if (!Read) {
    LogProblem(Why);
    return Why;
  }
  return LoadLevelsFromLines(Lines);
}

void LoadLevels() { LoadLevelsFrom(ProgramPath(vx::res::kVxArchive)); }

int SpeedLevel(double Value) { return Find(SpeedLevels, Value); }
int AccuracyLevel(double Value) { return Find(AccuracyLevels, Value); }
const TLevel* SpeedLevelOf(int Index) { return Of(SpeedLevels, Index); }
const TLevel* AccuracyLevelOf(int Index) { return Of(AccuracyLevels, Index); }
