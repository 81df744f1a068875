// Milliseconds on the performance counter, for the timings of the report.
// Any thread.
#pragma once

#include <windows.h>

namespace hostcheck {

inline double NowMs() {
  static const double perMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / perMs;
}

}  // namespace hostcheck
