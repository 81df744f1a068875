// Common part of the two pumps that wait in Windows itself (window messages,
// IO completion port): the per-run state, the delayed run time and the flag
// that keeps at most one wake-up in flight.
//
// Threads: WakeUp from any thread (in the subclasses); everything else on the
// loop's thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "nbase/message_pump.h"

namespace nbase {

class MessageDispatcher;

// One active Run of a pump; lives on the running thread's stack.
struct PumpRunState {
  int32_t depth = 1;
  bool should_quit = false;
  MessagePump::Delegate* delegate = nullptr;
  MessageDispatcher* dispatcher = nullptr;
};

// Milliseconds until `delayed_run_time` at `now`, rounded up and at least 0;
// -1 when there is no delayed task (run time 0).
int64_t DelayMsUntil(int64_t delayed_run_time, int64_t now);
// A delay in milliseconds as a Windows wait timeout: negative waits for ever,
// anything else is cut to the largest finite timeout.
DWORD ClampWaitMs(int64_t delay_ms);

class WinMessagePump : public MessagePump {
 public:
  void Run(Delegate* delegate) override;
  void Quit() override;

 protected:
  WinMessagePump() = default;
  void RunWithState(Delegate* delegate, MessageDispatcher* dispatcher);
  virtual void PumpLoop() = 0;
  // CurrentDelay: milliseconds until the next delayed task, -1 for none.
  int64_t CurrentDelay() const;
  bool ShouldQuit() const { return run_state_->should_quit; }

  int64_t delayed_run_time_ = 0;
  std::atomic<int32_t> have_work_{0};  // 1 while a wake-up is outstanding
  PumpRunState* run_state_ = nullptr;
};

}  // namespace nbase
