// Keystroke statistics of one exercise: every checked key is recorded while the exercise runs;
// at its end the keystrokes are aggregated per character and saved in one transaction together
// with the per-key moving averages that the exercise selection and the games read to find the
// student's weakest keys.
//
// What counts: the first keystroke of an exercise, and every keystroke whose interval is 0 or
// less (the first key after a pause), carry no speed and are not counted (their errors are not
// in ERRORS either). Entry 0 of the per-character figures aggregates all counted keys.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/classes.h"

class TDM;

struct TStatItem {
  char Key = 0;         // the expected character
  char Wrong = 0;       // the typed character when it differed from Key, else 0
  int32_t Interval = 0;  // milliseconds since the previous checked key
};

// Per-character figures (index = character code, 0 = all keys together).
struct TKeyStats {
  double SumSpeed = 0;    // sum of v = 60000 / Interval (characters per minute)
  double SumSpeedSq = 0;  // sum of v squared
  double SumRhythm = 0;   // sum of |1 - v / v_prev| over keys with a previous speed
  double Count = 0;       // keystrokes counted
  double Errors = 0;      // of those, typed wrong
  double Accuracy = 0;    // (Count - Errors) * 100 / Count, for Count >= 1
  double Cpm = 0;         // Count * 60 / Seconds
  double StdDev = 0;      // square root of Variance
  double AvErr = 0;       // mean absolute deviation of v from the mean speed
  double AvIdx = 0;       // SumRhythm / Count, for Count >= 1
  double Variance = 0;    // sample variance of v, for Count >= 2; never negative
  double Seconds = 0;     // sum of the intervals in seconds
};
using TKeyStatsArray = std::array<TKeyStats, 256>;

// One key's moving averages as netstat stores them.
struct TKeyHistory {
  int32_t Cnt = 0;
  double Cpm = 0;
  double Acc = 0;
};
using TKeyHistoryArray = std::array<TKeyHistory, 256>;

// The moving-average window of MergeKeyHistory, in keystrokes.
constexpr int kHistoryWindow = 50;

void ComputeKeyStats(const std::vector<TStatItem>& Items, TKeyStatsArray& Stats);
// For every character 1..255: the exercise's figures weighed against the history with a window
// of kHistoryWindow keystrokes (the exercise weighs min(n, 50), the history what is left of the
// window); Cnt becomes the uncapped total. A key not typed keeps its history.
void MergeKeyHistory(const TKeyStatsArray& Stats, const TKeyHistoryArray& Old, TKeyHistoryArray& New);

// What a save came to.
struct TSaveOutcome {
  bool Saved = false;
  int PracticeId = -1;    // the new practice row's ID_PRACTICE when saved
  int Attempts = 0;       // transactions begun
  std::string Error;      // why it was not saved
};

class TStatList : public TObject {
 public:
  // LessonId 1 for text-file exercises, 0 for generated ones; Kind 1 text file, 2 generated
  // words, 3 generated letters.
  TStatList(int LessonId, int Kind, const std::string& Parameters, const std::string& FileName,
            const std::string& Desc);
  std::string ClassName() const override { return "TStatList"; }

  void AddKeystroke(char Expected, char Typed, int32_t Interval);
  const std::vector<TStatItem>& Items() const { return FItems; }
  int Count() const { return static_cast<int>(FItems.size()); }

  void ComputeKeyStats(TKeyStatsArray& Stats) const { ::ComputeKeyStats(FItems, Stats); }

  // Stores the exercise for the current student of Dm (TbStudent's row) in one transaction:
  // the practice row, the student's results row, one statcalc row per character typed and a
  // complete netstat snapshot of the student's moving averages. The history merged is the one of
  // the student's latest practice that has netstat rows, so a save that was torn by a crash costs
  // that one exercise, not the history. A lock conflict (another copy saving or holding a table)
  // rolls back and tries again, the history read afresh, up to MaxAttempts transactions. Any
  // failure rolls back through the data module (which keeps this copy's session alive) and is
  // returned; nothing raises.
  TSaveOutcome SaveStatistics(TDM* Dm);

  int LessonId = 0;
  int Kind = 1;
  std::string Parameters;
  std::string FileName;
  std::string Desc;

  int MaxAttempts = 2;
  // The engine itself waits for a table another copy holds in a transaction (some 25 s) and for a
  // record it edits (the session's lock retries) before it reports a conflict.
  // Milliseconds to wait before the next attempt after a lock conflict.
  uint32_t RetryWait = 200;
  // Called at each step of a save ("practice", "results", "statcalc", "history", "netstat",
  // "commit") inside the transaction; a test makes a step fail by raising from it.
  std::function<void(const std::string& Step)> OnSaveStep;

 private:
  void SaveOnce(TDM* Dm, const TKeyStatsArray& Stats, TSaveOutcome& Outcome);
  std::vector<TStatItem> FItems;
};
