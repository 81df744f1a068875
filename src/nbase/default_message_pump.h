// The pump of Default loops: waits on an auto-reset event between tasks, with
// the next delayed task's run time as the wait's timeout.
//
// Threads: WakeUp from any thread; everything else on the loop's thread.
// Owns its event. Reusable: Run may be called again after it returned.
#pragma once

#include <windows.h>

#include <cstdint>

#include "nbase/message_pump.h"

namespace nbase {

// How long the pump waits before its next pass.
struct PumpWait {
  bool wait = true;           // false: start the next pass at once
  DWORD timeout_ms = INFINITE;
  int64_t delayed_run_time = 0;  // the pump's delayed run time afterwards
};

// The wait for a delayed run time (0 = none) at time `now`: rounds up, so a
// task due in a microsecond waits a whole millisecond rather than spinning;
// an overdue one clears the delay and skips the wait.
PumpWait ComputePumpWait(int64_t delayed_run_time, int64_t now);

class DefaultMessagePump : public MessagePump {
 public:
  DefaultMessagePump();
  ~DefaultMessagePump() override;
  DefaultMessagePump(const DefaultMessagePump&) = delete;
  DefaultMessagePump& operator=(const DefaultMessagePump&) = delete;

  void Run(Delegate* delegate) override;
  void Quit() override;
  void WakeUp() override;
  void SetWakeUpTime(const int64_t& run_time) override;

 private:
  HANDLE wake_event_;
  bool should_quit_ = false;
  int64_t delayed_run_time_ = 0;
};

}  // namespace nbase
