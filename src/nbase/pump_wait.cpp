#include "nbase/pump_wait.h"

#include <cmath>

namespace nbase {

int64_t DelayMsUntil(int64_t delayed_run_time, int64_t now) {
  if (delayed_run_time == 0) return -1;
  const double ms = std::ceil(static_cast<double>(delayed_run_time - now) / 1000.0);
  return ms < 0 ? 0 : static_cast<int64_t>(ms);
}

DWORD ClampWaitMs(int64_t delay_ms) {
  if (delay_ms < 0) return INFINITE;
  return delay_ms > static_cast<int64_t>(INFINITE - 1) ? INFINITE - 1 : static_cast<DWORD>(delay_ms);
}

PumpWait ComputePumpWait(int64_t delayed_run_time, int64_t now) {
  PumpWait result;
  const int64_t delay_ms = DelayMsUntil(delayed_run_time, now);
  if (delay_ms < 0) return result;
  if (delay_ms == 0) {
    result.wait = false;
    result.timeout_ms = 0;
    return result;
  }
  result.timeout_ms = ClampWaitMs(delay_ms);
  result.delayed_run_time = delayed_run_time;
  return result;
}

}  // namespace nbase
