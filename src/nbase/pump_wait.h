// How long a pump waits before its next pass, from the run time of the next
// delayed task: the one computation that every pump's wait and the UI
// pump's timer start from. Pure; any thread.
#pragma once

#include <windows.h>

#include <cstdint>

namespace nbase {

// Milliseconds until `delayed_run_time` at `now` (both MonotonicNow
// microseconds), rounded up, so that a task due in a microsecond waits a
// whole millisecond rather than spinning, and at least 0; -1 when there is
// no delayed task (run time 0).
int64_t DelayMsUntil(int64_t delayed_run_time, int64_t now);
// A delay in milliseconds as a Windows wait timeout: negative (no delayed
// task) waits until the pump is woken, which every post and the quit do, so
// an idle loop costs no wake-ups; anything else is cut to the largest finite
// timeout (INFINITE is reserved; the next pass waits again).
DWORD ClampWaitMs(int64_t delay_ms);

// How long the Default pump waits before its next pass.
struct PumpWait {
  bool wait = true;           // false: start the next pass at once
  DWORD timeout_ms = INFINITE;
  int64_t delayed_run_time = 0;  // the pump's delayed run time afterwards
};

// The wait for a delayed run time (0 = none) at time `now`, as above; an
// overdue one clears the delay and skips the wait.
PumpWait ComputePumpWait(int64_t delayed_run_time, int64_t now);

}  // namespace nbase
