#include "nbase/default_message_pump.h"

#include <cmath>

#include "nbase/monotonic_clock.h"

namespace nbase {

PumpWait ComputePumpWait(int64_t delayed_run_time, int64_t now) {
  PumpWait result;
  if (delayed_run_time == 0) return result;
  const int64_t remaining = delayed_run_time - now;
  if (remaining <= 0) {
    result.wait = false;
    result.timeout_ms = 0;
    return result;
  }
  const double ms = std::ceil(static_cast<double>(remaining) / 1000.0);
  // INFINITE is reserved; anything longer than the largest finite wait is
  // cut to it and the next pass waits again.
  result.timeout_ms = ms >= static_cast<double>(INFINITE - 1) ? INFINITE - 1 : static_cast<DWORD>(ms);
  result.delayed_run_time = delayed_run_time;
  return result;
}

DefaultMessagePump::DefaultMessagePump() : wake_event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

DefaultMessagePump::~DefaultMessagePump() {
  if (wake_event_) CloseHandle(wake_event_);
}

void DefaultMessagePump::WakeUp() { SetEvent(wake_event_); }

void DefaultMessagePump::SetWakeUpTime(const int64_t& run_time) { delayed_run_time_ = run_time; }

void DefaultMessagePump::Quit() { should_quit_ = true; }

void DefaultMessagePump::Run(Delegate* delegate) {
  bool more = delegate->ProcessWork();
  if (should_quit_) {
    should_quit_ = false;
    return;
  }
  while (!should_quit_) {
    // Delayed work gets its turn on every pass, so a stream of immediate
    // tasks cannot starve it.
    more = delegate->ProcessDelayedWork(&delayed_run_time_) || more;
    if (should_quit_) break;
    if (!more) {
      const bool idle_work = delegate->ProcessIdle();
      if (should_quit_) break;
      if (!idle_work) {
        const PumpWait wait = ComputePumpWait(delayed_run_time_, delayed_run_time_ ? MonotonicNow() : 0);
        delayed_run_time_ = wait.delayed_run_time;
        // A signal and a time-out both lead on to the next pass.
        if (wait.wait) WaitForSingleObject(wake_event_, wait.timeout_ms);
      }
    }
    more = delegate->ProcessWork();
  }
  should_quit_ = false;
}

}  // namespace nbase
