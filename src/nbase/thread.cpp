#include "nbase/thread.h"

#include <process.h>

#include <utility>

#include "nbase/module_pin.h"
#include "nbase/monotonic_clock.h"

namespace nbase {

namespace {

// The course of one start: Pending -> Running -> Ended, or Pending ->
// Cancelled when the owner calls it off first. kLetGo is added by LetGo to
// any state but Ended and Cancelled; each side moves with one
// compare-exchange, so the thread and the owner never both decide.
enum LaunchState : int { kPending = 0, kRunning = 1, kEnded = 2, kCancelled = 3, kLetGo = 4 };

int Course(int state) { return state & ~kLetGo; }

}  // namespace

struct ThreadLaunch {
  Thread* thread = nullptr;
  Thread::Body body;  // empty: thread->Run()
  // Set by LetGo before it adds kLetGo; read by the thread only after it saw it.
  Thread::Body late;
  std::atomic<int> state{kPending};
  // What the owner's waits look at; set by the thread once it has begun the
  // body and once the body has returned (after that it touches only this
  // record and the late step).
  std::atomic<bool> began{false};
  std::atomic<bool> ended{false};
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
  // bound before they let go of a thread and let it go when the body
  // outlives that bound, so this finds the body ended.
  Join();
}

unsigned __stdcall Thread::ThreadEntry(void* arg) {
  // The entry's own reference; the owner may have let go of its one already.
  std::unique_ptr<std::shared_ptr<ThreadLaunch>> held(static_cast<std::shared_ptr<ThreadLaunch>*>(arg));
  ThreadLaunch& launch = **held;
  int state = kPending;
  while (!launch.state.compare_exchange_weak(state, kRunning | (state & kLetGo))) {
    if (Course(state) != kPending) return 0;  // cancelled: only the reference is dropped
  }
  launch.began.store(true);
  if (launch.body) {
    launch.body();
  } else {
    launch.thread->Run();
  }
  state = kRunning;
  while (!launch.state.compare_exchange_weak(state, kEnded | (state & kLetGo))) {
  }
  launch.ended.store(true);
  if ((state & kLetGo) != 0 && launch.late) launch.late();
  // Returning ends the thread through the C runtime, like _endthreadex, but
  // only after the reference above (and with the last one, the body and the
  // late step with what they own) has been dropped.
  return 0;
}

bool Thread::Create(Body body) {
  if (thread_handle_) return false;
  // Whatever happens to its owner, a thread runs this module's code until it
  // ends: cancelled before it began, or let go. Once is for good.
  static std::atomic<bool> pinned{false};
  if (!pinned.exchange(true)) PinModule();
  std::shared_ptr<ThreadLaunch> launch;
  std::shared_ptr<ThreadLaunch>* entry_ref = nullptr;
  try {
    launch = std::make_shared<ThreadLaunch>();
    launch->thread = this;
    launch->body = std::move(body);
    entry_ref = new std::shared_ptr<ThreadLaunch>(launch);
  } catch (...) {
    return false;  // out of memory: no thread
  }
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
  // The thread, whenever it begins, only drops its reference and ends.
  ReleaseThread();
  return true;
}

bool Thread::WaitUntil(const std::atomic<bool>& flag, DWORD timeout_ms, ThreadWait how) const {
  if (!thread_handle_) return flag.load();
  const uint64_t start = SteadyNowMs();
  for (;;) {
    if (flag.load()) return true;
    const uint64_t elapsed = SteadyNowMs() - start;
    if (elapsed >= timeout_ms) return flag.load();
    DWORD slice = elapsed < kThreadFirstSlicesMs ? 1 : kThreadWaitSliceMs;
    if (timeout_ms - elapsed < slice) slice = static_cast<DWORD>(timeout_ms - elapsed);
    HANDLE handle = thread_handle_;
    const DWORD woke = how == ThreadWait::ServingSentMessages
                           ? MsgWaitForMultipleObjectsEx(1, &handle, slice, QS_SENDMESSAGE, 0)
                           : WaitForSingleObject(handle, slice);
    if (woke == WAIT_TIMEOUT) continue;
    if (how == ThreadWait::ServingSentMessages && woke == WAIT_OBJECT_0 + 1) {
      // Runs the messages sent to this thread's windows, nothing else.
      MSG msg;
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      continue;
    }
    // The thread has ended (or the wait failed, which no retry mends).
    return true;
  }
}

bool Thread::WaitForStart(DWORD timeout_ms, ThreadWait how) {
  if (!thread_handle_) return false;
  if (WaitUntil(launch_->began, timeout_ms, how) && launch_->began.load()) return true;
  // Not begun (the loader lock held by the caller, say): it never will, unless
  // it began just now.
  return !CancelIfNotStarted();
}

bool Thread::Join(DWORD timeout_ms, ThreadWait how) {
  if (!thread_handle_) return true;
  if (WaitUntil(launch_->ended, timeout_ms, how)) {
    ReleaseThread();
    return true;
  }
  // Still not begun (the loader lock held by the caller, say): it never will.
  return CancelIfNotStarted();
}

bool Thread::LetGo(Body late) {
  if (!thread_handle_) return false;
  ThreadLaunch& launch = *launch_;
  launch.late = std::move(late);
  int state = launch.state.load();
  bool runs_on = false;
  for (;;) {
    if (Course(state) == kEnded || Course(state) == kCancelled) break;
    if (launch.state.compare_exchange_weak(state, state | kLetGo)) {
      runs_on = true;
      break;
    }
  }
  // Returned already: the thread never reads the late step.
  if (!runs_on) launch.late = nullptr;
  ReleaseThread();
  return runs_on;
}

void Thread::ReleaseThread() {
  CloseHandle(thread_handle_);
  thread_handle_ = nullptr;
  launch_.reset();
  thread_id_.store(0);
}

}  // namespace nbase
