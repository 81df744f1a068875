// What the end-to-end benchmark's programs share: the performance counter
// (one clock for every process under the same system), the lines a game
// writes for the driver, and the statistics the table shows.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace e2e {

inline int64_t Frequency() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  return frequency;
}

inline int64_t Ticks() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

inline double TicksToUs(int64_t ticks) { return static_cast<double>(ticks) * 1e6 / static_cast<double>(Frequency()); }

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The mark a payment text carries so the host's wake can be matched to the
// call that caused it: "<tag>=<sequence>;".
inline std::string Mark(const char* tag, int sequence) {
  return std::string(tag) + "=" + std::to_string(sequence) + ";";
}

}  // namespace e2e
