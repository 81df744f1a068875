// The waiting half of a MessageLoop: a pump blocks its thread until there is
// work, and calls back into the loop through MessagePump::Delegate.
//
// A pump is owned by its loop under shared ownership (a posting thread keeps
// it alive while it wakes it) and used only on the loop's thread, except
// WakeUp, which any thread may call.
#pragma once

#include <cstdint>

namespace nbase {

class MessagePump {
 public:
  // Implemented by MessageLoop. Called only by the pump, on the loop's thread.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // Runs at most one ready task; true if one ran.
    virtual bool ProcessWork() = 0;
    // Runs at most one due delayed task; reports the run time of the next
    // delayed task through `next_run_time` (0 = none). True if one ran.
    virtual bool ProcessDelayedWork(int64_t* next_run_time) = 0;
    // Called when nothing else was done; true if it ran a task.
    virtual bool ProcessIdle() = 0;
  };

  virtual ~MessagePump() = default;
  // Calls the delegate and waits, until Quit.
  virtual void Run(Delegate* delegate) = 0;
  // Makes the current Run return. Loop thread only.
  virtual void Quit() = 0;
  // Makes the running pump call ProcessWork soon. Any thread.
  virtual void WakeUp() = 0;
  // The earliest delayed task is now due at `run_time` (MonotonicNow
  // microseconds). Loop thread only.
  virtual void SetWakeUpTime(const int64_t& run_time) = 0;
};

}  // namespace nbase
