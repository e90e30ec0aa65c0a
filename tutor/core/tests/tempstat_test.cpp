#include "tutor/core/TempStat.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::vector<TStatItem> Typed(const std::string& Keys, const std::vector<int>& Intervals, const std::string& Wrong = "") {
  std::vector<TStatItem> V;
  for (std::size_t i = 0; i < Keys.size(); ++i)
    V.push_back(TStatItem{Keys[i], i < Wrong.size() && Wrong[i] != '.' ? Wrong[i] : '\0', Intervals[i]});
  return V;
}

TEST(ComputeKeyStats, WorkedByHandForFourKeys) {
  // The first keystroke only starts the clock; the other three are counted.
  TKeyStatsArray S;
  ComputeKeyStats(Typed("aaaa", {100, 200, 300, 400}, "..x."), S);
  const double V1 = 300, V2 = 200, V3 = 150;  // 60000 / interval
  for (int C : {0, static_cast<int>('a')}) {
    const TKeyStats& E = S[static_cast<std::size_t>(C)];
    EXPECT_EQ(E.Count, 3) << C;
    EXPECT_EQ(E.Errors, 1);
    EXPECT_DOUBLE_EQ(E.Seconds, 0.9);
    EXPECT_DOUBLE_EQ(E.SumSpeed, V1 + V2 + V3);
    EXPECT_DOUBLE_EQ(E.SumSpeedSq, V1 * V1 + V2 * V2 + V3 * V3);
    EXPECT_DOUBLE_EQ(E.SumRhythm, std::fabs(1 - V2 / V1) + std::fabs(1 - V3 / V2));
    EXPECT_DOUBLE_EQ(E.AvIdx, E.SumRhythm / 3);
    EXPECT_DOUBLE_EQ(E.Cpm, 3 * 60 / 0.9);
    EXPECT_DOUBLE_EQ(E.Accuracy, 200.0 / 3);
    const double Mean = (V1 + V2 + V3) / 3;
    EXPECT_DOUBLE_EQ(E.AvErr, (std::fabs(Mean - V1) + std::fabs(Mean - V2) + std::fabs(Mean - V3)) / 3);
    const double Var = ((V1 - Mean) * (V1 - Mean) + (V2 - Mean) * (V2 - Mean) + (V3 - Mean) * (V3 - Mean)) / 2;
    EXPECT_NEAR(E.Variance, Var, 1e-9);
    EXPECT_NEAR(E.StdDev, std::sqrt(Var), 1e-9);
  }
  EXPECT_EQ(S['b'].Count, 0);
}

TEST(ComputeKeyStats, RhythmComparesConsecutiveKeysOfAnyCharacterAndSkipsPauses) {
  TKeyStatsArray S;
  // 'x' first (not counted), then a 100 ms, a pause (0: not counted), b 200 ms, a 400 ms.
  ComputeKeyStats(Typed("xaxba", {0, 100, 0, 200, 400}, "..q.."), S);
  EXPECT_EQ(S[0].Count, 3);
  EXPECT_EQ(S['x'].Count, 0);
  EXPECT_EQ(S[0].Errors, 0);  // the wrong 'x' came after a pause: it has no speed
  // 600 -> 300 -> 150: both steps halve.
  EXPECT_DOUBLE_EQ(S[0].SumRhythm, 1.0);
  EXPECT_DOUBLE_EQ(S['b'].SumRhythm, 0.5);  // b's step from the 'a' before it
  EXPECT_DOUBLE_EQ(S['a'].SumRhythm, 0.5);
}

TEST(ComputeKeyStats, AKeyTypedOnceHasItsAccuracy) {
  TKeyStatsArray S;
  ComputeKeyStats(Typed("axy", {0, 100, 100}, "..z"), S);
  EXPECT_EQ(S['x'].Count, 1);
  EXPECT_DOUBLE_EQ(S['x'].Accuracy, 100);  // right once: 100 %, not the weakest key
  EXPECT_DOUBLE_EQ(S['y'].Accuracy, 0);    // wrong once
  EXPECT_DOUBLE_EQ(S['x'].Variance, 0);
  EXPECT_DOUBLE_EQ(S['x'].StdDev, 0);
  EXPECT_DOUBLE_EQ(S[0].Accuracy, 50);
  // An exercise of two keystrokes: one counted, right.
  ComputeKeyStats(Typed("ab", {0, 250}), S);
  EXPECT_DOUBLE_EQ(S[0].Accuracy, 100);
  EXPECT_DOUBLE_EQ(S[0].Cpm, 240);
}

TEST(ComputeKeyStats, EqualSpeedsGiveZeroVarianceNeverNaN) {
  // 999 equal speeds of 60000/11: the sum-of-squares formula gives -0.5 / (998 * 999) here.
  TKeyStatsArray S;
  std::vector<TStatItem> Items(1000, TStatItem{'a', 0, 11});
  ComputeKeyStats(Items, S);
  EXPECT_GE(S[0].Variance, 0);
  EXPECT_FALSE(std::isnan(S[0].StdDev));
  EXPECT_NEAR(S[0].Variance, 0, 1e-6);
}

TEST(MergeKeyHistory, MovingAverageOverAWindowOfFifty) {
  TKeyStatsArray S{};
  TKeyHistoryArray Old{}, New{};
  S['a'].Count = 30, S['a'].Cpm = 100, S['a'].Accuracy = 80;
  Old['a'] = TKeyHistory{40, 200, 90};
  S['b'].Count = 80, S['b'].Cpm = 300, S['b'].Accuracy = 70;  // more than the window
  Old['b'] = TKeyHistory{10, 100, 100};
  Old['c'] = TKeyHistory{12, 150, 95};                          // not typed now
  S['d'].Count = 3, S['d'].Cpm = 120, S['d'].Accuracy = 100;    // new key
  MergeKeyHistory(S, Old, New);
  EXPECT_EQ(New['a'].Cnt, 70);
  EXPECT_DOUBLE_EQ(New['a'].Cpm, 0.6 * 100 + 0.4 * 200);
  EXPECT_DOUBLE_EQ(New['a'].Acc, 0.6 * 80 + 0.4 * 90);
  EXPECT_EQ(New['b'].Cnt, 90);
  EXPECT_DOUBLE_EQ(New['b'].Cpm, 300);
  EXPECT_EQ(New['c'].Cnt, 12);
  EXPECT_DOUBLE_EQ(New['c'].Cpm, 150);
  EXPECT_DOUBLE_EQ(New['c'].Acc, 95);
  EXPECT_EQ(New['d'].Cnt, 3);
  EXPECT_DOUBLE_EQ(New['d'].Acc, 100);
  EXPECT_EQ(New['e'].Cnt, 0);
}

}  // namespace
