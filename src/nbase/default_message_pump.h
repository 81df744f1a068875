// The pump of Default loops: waits on an auto-reset event between tasks, with
// the next delayed task's run time as the wait's timeout. The same wait can
// also watch kernel objects of its owner's (a process that may end), so the
// owner learns of them on its own thread without a thread of the system's
// pool waiting for it.
//
// Threads: WakeUp from any thread; everything else on the loop's thread.
// Owns its event; a watched handle stays its owner's, who must stop watching
// it before closing it. Reusable: Run may be called again after it returned.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "nbase/message_pump.h"
#include "nbase/pump_wait.h"

namespace nbase {

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

  // At most this many handles are watched at a time (one wait slot is the
  // wake event's).
  static constexpr size_t kMaxWatches = MAXIMUM_WAIT_OBJECTS - 1;

  // Loop thread. Calls `on_signalled` once, on the loop's thread between two
  // tasks, when `handle` is signalled (or can no longer be waited on); the
  // watch has ended by then. Looked at whenever the pump waits, so a busy
  // loop notices after its ready tasks. False, and nothing watched, when
  // kMaxWatches handles are watched already, `handle` is watched already or
  // memory runs out. `on_signalled` must not throw.
  bool WatchHandle(HANDLE handle, std::function<void()> on_signalled);
  // Loop thread. Ends the watch of `handle` without calling it; nothing
  // happens when there is none.
  void StopWatching(HANDLE handle);
  // Loop thread. True once after a wait of this pump that returned (woken or
  // timed out) while `handle` was watched and not signalled, so a task run
  // right after that wait need not ask the system again; false after a pass
  // without such a wait, and for a second call after the same wait.
  bool TakeSeenUnsignalled(HANDLE handle);

 private:
  struct Watch {
    HANDLE handle;
    std::function<void()> on_signalled;
  };
  // Waits for the wake event, the watched handles or `timeout_ms`, then
  // calls the watch that ended the wait, if any.
  void WaitForWork(DWORD timeout_ms);
  // Ends the watch at `index` and calls it.
  void FireWatch(size_t index);

  HANDLE wake_event_;
  std::vector<Watch> watches_;
  // The last wait found every watched handle unsignalled, and no task has
  // taken that answer since.
  bool watches_seen_unsignalled_ = false;
  bool should_quit_ = false;
  int64_t delayed_run_time_ = 0;
};

}  // namespace nbase
