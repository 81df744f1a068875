#include "nbase/win_io_message_pump.h"

namespace nbase {

WinIOMessagePump::WinIOMessagePump() {
  HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  completion_port_ = port ? port : INVALID_HANDLE_VALUE;
}

WinIOMessagePump::~WinIOMessagePump() {
  if (completion_port_ != INVALID_HANDLE_VALUE) CloseHandle(completion_port_);
  completion_port_ = INVALID_HANDLE_VALUE;
}

void WinIOMessagePump::WakeUp() {
  if (have_work_.exchange(1) == 1) return;
  // Key and overlapped pointer both the pump's address mark a wake-up; no
  // IOOperation can live at that address.
  PostQueuedCompletionStatus(completion_port_, 0, reinterpret_cast<ULONG_PTR>(this),
                             reinterpret_cast<OVERLAPPED*>(this));
}

void WinIOMessagePump::SetWakeUpTime(const int64_t& run_time) { delayed_run_time_ = run_time; }

bool WinIOMessagePump::WaitForIOCompletion(DWORD timeout_ms) {
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  DWORD error = 0;
  if (!GetQueuedCompletionStatus(completion_port_, &bytes, &key, &overlapped, timeout_ms)) {
    if (!overlapped) return false;  // time-out: nothing was dequeued
    error = GetLastError();
  }
  if (key == reinterpret_cast<ULONG_PTR>(this) && overlapped == reinterpret_cast<OVERLAPPED*>(this)) {
    have_work_.store(0);
    return true;
  }
  IOOperation* operation = reinterpret_cast<IOOperation*>(overlapped);
  if (!operation->handler) {
    delete operation;
    return true;
  }
  IOHandler* handler = key ? reinterpret_cast<IOHandler*>(key) : operation->handler;
  observers_.Notify([](IOObserver* o) { o->BeforeIOEvent(); });
  handler->OnIOComplete(operation, bytes, error);
  observers_.Notify([](IOObserver* o) { o->AfterIOEvent(); });
  return true;
}

void WinIOMessagePump::PumpLoop() {
  Delegate* const delegate = run_state_->delegate;
  bool more = delegate->ProcessWork();
  if (ShouldQuit()) return;
  while (!ShouldQuit()) {
    // Every pass looks at both sources, so neither IO nor delayed tasks can
    // be starved by a stream of the other kind of work.
    more = WaitForIOCompletion(0) || more;
    if (ShouldQuit()) break;
    more = delegate->ProcessDelayedWork(&delayed_run_time_) || more;
    if (ShouldQuit()) break;
    if (!more) {
      const bool idle_work = delegate->ProcessIdle();
      if (ShouldQuit()) break;
      if (!idle_work) WaitForIOCompletion(ClampWaitMs(CurrentDelay()));
    }
    more = delegate->ProcessWork();
  }
}

}  // namespace nbase
