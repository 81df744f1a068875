// Thread: a thin owner of one operating-system thread. It starts the thread
// with a chosen priority, runs the virtual body Run on it, and joins it.
//
// Every wait here has a bound. While the loader lock is held (inside any
// DllMain) a new thread cannot begin running and an ending thread cannot
// finish, because both need the lock for their attach/detach notifications.
// So a join waits for the body to return, not for the thread to end, and a
// thread whose body has not begun can be cancelled: it then never runs the
// body and never touches its object again.
//
// Threads: Create, Join, CancelIfNotStarted and the destructor on the owning
// thread; Run on the new thread. A subclass must join (or make sure the body
// has ended) in its own destructor: the body is a virtual call on the whole
// object. When Join gives up, the body still runs: the owner must then keep
// the object alive (the library leaks it on purpose).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace nbase {

// 0 or below: normal priority, nothing applied; 1 lowest; 2 below normal;
// 3 highest; 4 time-critical; 5 and above below normal.
using ThreadPriority = int32_t;

// How long the library waits for a new thread to begin (a framework
// thread's loop, a helper's work) before it gives the thread up: while the
// caller holds the loader lock no thread can begin at all.
constexpr DWORD kThreadStartBoundMs = 1000;
// How long Join waits by default for a body to return.
constexpr DWORD kThreadJoinBoundMs = 5000;
// How often a wait looks at a flag that a thread sets before it ends. The
// waits use no event of their own (a thread costs no handle beyond its own):
// the thread's end wakes them at once, and a thread that cannot finish (its
// end waits for the loader lock) is seen within one slice.
constexpr DWORD kThreadWaitSliceMs = 5;

// The Windows priority for `priority`; false when none is to be applied.
bool MapThreadPriority(ThreadPriority priority, int* windows_priority);

struct ThreadLaunch;

class Thread {
 public:
  Thread() = default;
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // The thread body; empty here.
  virtual void Run() {}

  // Makes the thread; its body runs once the thread begins running. True if
  // a thread exists. Never waits.
  bool Create();
  // Waits at most `timeout_ms` for the body to return (or the thread to end,
  // as at process exit, where the system ends every other thread first). A
  // body that has not begun by then is cancelled. True, with the handle
  // closed, when the body will not run any more (or there was no thread);
  // false when it still runs.
  bool Join(DWORD timeout_ms = kThreadJoinBoundMs);
  // True (and the handle closed) when the body had not begun: it never will.
  // False when it has begun. True without a thread.
  bool CancelIfNotStarted();

  DWORD thread_id() const { return thread_id_.load(); }
  HANDLE thread_handle() const { return thread_handle_; }
  ThreadPriority priority() const { return priority_; }
  // Takes effect at the next Create.
  void set_priority(ThreadPriority priority) { priority_ = priority; }

 protected:
  // Waits at most `timeout_ms` until `flag` is set or the thread has ended;
  // true when either happened. Owning thread.
  bool WaitForFlagOrEnd(const std::atomic<bool>& flag, DWORD timeout_ms) const;

  // Written by the creator and again by the body of a FrameworkThread.
  std::atomic<DWORD> thread_id_{0};

 private:
  static unsigned __stdcall ThreadEntry(void* launch);
  void ReleaseThread();

  HANDLE thread_handle_ = nullptr;
  // Shared with the new thread, which may still be in its entry (or not yet
  // in it) after the body has returned or been cancelled.
  std::shared_ptr<ThreadLaunch> launch_;
  ThreadPriority priority_ = 0;
};

}  // namespace nbase
