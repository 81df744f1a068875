#include "nbase/win_message_pump.h"

#include <cmath>

#include "nbase/monotonic_clock.h"

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

int64_t WinMessagePump::CurrentDelay() const {
  if (delayed_run_time_ == 0) return -1;
  return DelayMsUntil(delayed_run_time_, MonotonicNow());
}

void WinMessagePump::Run(Delegate* delegate) { RunWithState(delegate, nullptr); }

void WinMessagePump::RunWithState(Delegate* delegate, MessageDispatcher* dispatcher) {
  PumpRunState state;
  state.depth = run_state_ ? run_state_->depth + 1 : 1;
  state.delegate = delegate;
  state.dispatcher = dispatcher;
  PumpRunState* const previous = run_state_;
  run_state_ = &state;
  PumpLoop();
  run_state_ = previous;
}

void WinMessagePump::Quit() {
  if (run_state_) run_state_->should_quit = true;
}

}  // namespace nbase
