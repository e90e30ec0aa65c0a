// Measuring helpers shared by the benchmark programs: wall time in milliseconds, this thread's
// processor time, and percentiles of a series of measurements.
#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <vector>

namespace vxbench {

using TClock = std::chrono::steady_clock;

inline double Ms(TClock::duration D) { return std::chrono::duration<double, std::milli>(D).count(); }
inline double Ms(TClock::time_point A, TClock::time_point B) { return Ms(B - A); }

// Processor time of this thread: on a busy machine the wall time of one step also holds the time
// the thread waited for a processor.
inline double ThreadCpuMs() {
  timespec T;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
  return static_cast<double>(T.tv_sec) * 1e3 + static_cast<double>(T.tv_nsec) / 1e6;
}

// The nearest-rank percentile (P from 0 to 1): the smallest value that at least P of the values do
// not exceed. 0 for an empty series.
inline double Percentile(std::vector<double> V, double P) {
  if (V.empty()) return 0;
  std::sort(V.begin(), V.end());
  const double Rank = std::ceil(P * static_cast<double>(V.size()));
  const std::size_t I = Rank < 1 ? 0 : std::min(V.size(), static_cast<std::size_t>(Rank)) - 1;
  return V[I];
}

}  // namespace vxbench
