#include "nbase/win_message_pump.h"

#include "nbase/monotonic_clock.h"

namespace nbase {

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
