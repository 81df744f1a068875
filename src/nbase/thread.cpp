#include "nbase/thread.h"

#include <process.h>

#include "nbase/module_pin.h"

namespace nbase {

namespace {

enum LaunchState : int { kPending = 0, kRunning = 1, kCancelled = 2 };

}  // namespace

struct ThreadLaunch {
  Thread* thread = nullptr;
  std::atomic<int> state{kPending};
  // Set once the body has returned; after it the thread touches only this
  // record, which it shares.
  std::atomic<bool> body_ended{false};
};

bool MapThreadPriority(ThreadPriority priority, int* windows_priority) {
  switch (priority) {
    case 1: *windows_priority = THREAD_PRIORITY_LOWEST; return true;
    case 2: *windows_priority = THREAD_PRIORITY_BELOW_NORMAL; return true;
    case 3: *windows_priority = THREAD_PRIORITY_HIGHEST; return true;
    case 4: *windows_priority = THREAD_PRIORITY_TIME_CRITICAL; return true;
    default: break;
  }
  if (priority <= 0) return false;
  *windows_priority = THREAD_PRIORITY_BELOW_NORMAL;
  return true;
}

Thread::~Thread() {
  if (CancelIfNotStarted()) return;
  // Bounded like every wait here. Owners in this library join with their own
  // bound before they let go of a thread and keep it alive when the body
  // outlives that bound, so this finds the body ended.
  Join();
}

unsigned __stdcall Thread::ThreadEntry(void* arg) {
  // The entry's own reference; the owner may have let go of its one already.
  std::unique_ptr<std::shared_ptr<ThreadLaunch>> held(static_cast<std::shared_ptr<ThreadLaunch>*>(arg));
  ThreadLaunch& launch = **held;
  int expected = kPending;
  if (launch.state.compare_exchange_strong(expected, kRunning)) {
    launch.thread->Run();
    launch.body_ended.store(true);
  }
  // Returning ends the thread through the C runtime, like _endthreadex, but
  // only after the reference above has been dropped.
  return 0;
}

bool Thread::Create() {
  if (thread_handle_) return false;
  auto launch = std::make_shared<ThreadLaunch>();
  launch->thread = this;
  auto* entry_ref = new std::shared_ptr<ThreadLaunch>(launch);
  unsigned id = 0;
  const uintptr_t handle = _beginthreadex(nullptr, 0, &Thread::ThreadEntry, entry_ref, 0, &id);
  // The C runtime reports failure as 0, and some versions as 1.
  if (handle == 0 || handle == 1) {
    delete entry_ref;
    thread_id_.store(0);
    return false;
  }
  thread_handle_ = reinterpret_cast<HANDLE>(handle);
  launch_ = std::move(launch);
  // The body may already have stored the same id itself; either order is fine.
  thread_id_.store(id);
  int windows_priority = 0;
  if (MapThreadPriority(priority_, &windows_priority)) SetThreadPriority(thread_handle_, windows_priority);
  return true;
}

bool Thread::CancelIfNotStarted() {
  if (!thread_handle_) return true;
  int expected = kPending;
  if (!launch_->state.compare_exchange_strong(expected, kCancelled)) return false;
  // The thread, whenever it begins, only drops its reference and ends; its
  // entry is code of this module, which must still be mapped then.
  PinModule();
  ReleaseThread();
  return true;
}

bool Thread::WaitForFlagOrEnd(const std::atomic<bool>& flag, DWORD timeout_ms) const {
  if (!thread_handle_) return flag.load();
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (flag.load()) return true;
    const ULONGLONG elapsed = GetTickCount64() - start;
    if (elapsed >= timeout_ms) return flag.load();
    // Short slices first: a thread sets its flag within a millisecond or two
    // of beginning (the start of a framework thread is waited for here).
    DWORD slice = elapsed < 20 ? 1 : kThreadWaitSliceMs;
    if (timeout_ms - elapsed < slice) slice = static_cast<DWORD>(timeout_ms - elapsed);
    // Ends at once with the thread; the slices only serve a thread that
    // cannot finish (the loader lock) after it set the flag.
    if (WaitForSingleObject(thread_handle_, slice) != WAIT_TIMEOUT) return true;
  }
}

bool Thread::Join(DWORD timeout_ms) {
  if (!thread_handle_) return true;
  if (WaitForFlagOrEnd(launch_->body_ended, timeout_ms)) {
    ReleaseThread();
    return true;
  }
  // Still not begun (the loader lock held by the caller, say): it never will.
  return CancelIfNotStarted();
}

void Thread::ReleaseThread() {
  CloseHandle(thread_handle_);
  thread_handle_ = nullptr;
  launch_.reset();
  thread_id_.store(0);
}

}  // namespace nbase
