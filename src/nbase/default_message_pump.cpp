#include "nbase/default_message_pump.h"

#include <cstddef>
#include <utility>

#include "nbase/monotonic_clock.h"
#include "nbase/pump_wait.h"

namespace nbase {

DefaultMessagePump::DefaultMessagePump() : wake_event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

DefaultMessagePump::~DefaultMessagePump() {
  if (wake_event_) CloseHandle(wake_event_);
}

void DefaultMessagePump::WakeUp() { SetEvent(wake_event_); }

void DefaultMessagePump::SetWakeUpTime(const int64_t& run_time) { delayed_run_time_ = run_time; }

void DefaultMessagePump::Quit() { should_quit_ = true; }

bool DefaultMessagePump::WatchHandle(HANDLE handle, std::function<void()> on_signalled) {
  if (handle == nullptr || !on_signalled || watches_.size() >= kMaxWatches) return false;
  for (const Watch& watch : watches_) {
    if (watch.handle == handle) return false;
  }
  try {
    watches_.push_back(Watch{handle, std::move(on_signalled)});
  } catch (...) {
    return false;
  }
  return true;
}

void DefaultMessagePump::StopWatching(HANDLE handle) {
  for (auto it = watches_.begin(); it != watches_.end(); ++it) {
    if (it->handle == handle) {
      watches_.erase(it);
      return;
    }
  }
}

bool DefaultMessagePump::TakeSeenUnsignalled(HANDLE handle) {
  if (!watches_seen_unsignalled_) return false;
  watches_seen_unsignalled_ = false;
  for (const Watch& watch : watches_) {
    if (watch.handle == handle) return true;
  }
  return false;
}

void DefaultMessagePump::FireWatch(size_t index) {
  // Taken out first: the call may watch or stop watching other handles.
  std::function<void()> call = std::move(watches_[index].on_signalled);
  watches_.erase(watches_.begin() + static_cast<std::ptrdiff_t>(index));
  call();
}

void DefaultMessagePump::WaitForWork(DWORD timeout_ms) {
  if (watches_.empty()) {
    WaitForSingleObject(wake_event_, timeout_ms);
    return;
  }
  // The watched handles first: one that is signalled for good (an ended
  // process) is reported and dropped at once, and cannot hide the wake.
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  const size_t count = watches_.size();
  for (size_t i = 0; i < count; ++i) handles[i] = watches_[i].handle;
  handles[count] = wake_event_;
  const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(count + 1), handles, FALSE, timeout_ms);
  // The lowest signalled handle answers, the watched ones first: the wake
  // event or a time-out means none of them was signalled.
  watches_seen_unsignalled_ = woke == WAIT_OBJECT_0 + count || woke == WAIT_TIMEOUT;
  if (woke < WAIT_OBJECT_0 + count) {
    FireWatch(woke - WAIT_OBJECT_0);
  } else if (woke >= WAIT_ABANDONED_0 && woke < WAIT_ABANDONED_0 + count) {
    FireWatch(woke - WAIT_ABANDONED_0);
  } else if (woke == WAIT_FAILED) {
    // A handle that cannot be waited on (closed under the watch) would fail
    // every later wait: its watch ends as if it had been signalled.
    for (size_t i = 0; i < watches_.size(); ++i) {
      if (WaitForSingleObject(watches_[i].handle, 0) != WAIT_TIMEOUT) {
        FireWatch(i);
        return;
      }
    }
    // None to blame: the watches are looked at again shortly rather than
    // left unwatched until the next wake.
    constexpr DWORD kRetryWatchesMs = 100;
    WaitForSingleObject(wake_event_, timeout_ms < kRetryWatchesMs ? timeout_ms : kRetryWatchesMs);
  }
  // The wake event or a time-out: the next pass looks for work.
}

void DefaultMessagePump::Run(Delegate* delegate) {
  bool more = delegate->ProcessWork();
  if (should_quit_) {
    should_quit_ = false;
    return;
  }
  while (!should_quit_) {
    // Only a wait of this pass tells the tasks that follow it anything.
    watches_seen_unsignalled_ = false;
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
        // A signal, a watch and a time-out all lead on to the next pass.
        if (wait.wait) WaitForWork(wait.timeout_ms);
      }
    }
    more = delegate->ProcessWork();
  }
  should_quit_ = false;
}

}  // namespace nbase
