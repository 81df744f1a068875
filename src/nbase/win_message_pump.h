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
#include "nbase/pump_wait.h"

namespace nbase {

class MessageDispatcher;

// One active Run of a pump; lives on the running thread's stack.
struct PumpRunState {
  int32_t depth = 1;
  bool should_quit = false;
  MessagePump::Delegate* delegate = nullptr;
  MessageDispatcher* dispatcher = nullptr;
};

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
