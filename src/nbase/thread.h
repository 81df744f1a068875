// Thread: the one way the library runs a thread. It owns one operating-system
// thread, started with a chosen priority, whose body is a function handed to
// Create (or, for a subclass, the virtual Run); it waits for the body to
// begin and to return, each with a bound, and it can let a thread go, with a
// late step that runs on the thread after its body.
//
// Every wait here has a bound. While the loader lock is held (inside any
// DllMain) a new thread cannot begin running and an ending thread cannot
// finish, because both need the lock for their attach/detach notifications.
// So a join waits for the body to return, not for the thread to end, and a
// thread whose body has not begun can be cancelled: it then never runs the
// body and never touches its object again. A wait may also answer the
// messages other threads send to the caller's windows meanwhile (ThreadWait).
//
// The start and the end are read from one record shared with the new thread,
// which may still be in its entry (or not yet in it) after the body returned
// or was cancelled. No event is made: a thread costs no handle beyond its own.
// Since a thread may outlive its owner (cancelled before it began, or let
// go), the first Create pins the module for good: the code the thread runs
// stays mapped until the process ends.
//
// Threads: Create, WaitForStart, Join, CancelIfNotStarted, LetGo and the
// destructor on the owning thread; the body and the late step on the new
// thread. A subclass whose body is Run must join (or make sure the body has
// ended) in its own destructor, Run being a virtual call on the whole object;
// when its Join gives up, the object must stay alive until Run has returned
// (LetGo with a late step that owns it). A function body owns what it uses.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace nbase {

// 0 or below: normal priority, nothing applied; 1 lowest; 2 below normal;
// 3 highest; 4 time-critical; 5 and above below normal.
using ThreadPriority = int32_t;

// How long the library waits for a new thread to begin its body (a framework
// thread's loop, the login helper's request) before it calls the thread off:
// while the caller holds the loader lock no thread can begin at all. It
// bounds only the start; the work has bounds of its own.
constexpr DWORD kThreadStartBoundMs = 1000;
// How long Join waits by default for a body to return.
constexpr DWORD kThreadJoinBoundMs = 5000;
// How often a wait looks at the shared record once the first 20 ms have
// passed; in those it looks every millisecond, since a thread begins (and
// a short body returns) within a millisecond or two. The thread's end wakes
// a wait at once; the slices serve a body that returned on a thread that
// cannot finish (its end waits for the loader lock) and a start, which
// nothing signals.
constexpr DWORD kThreadWaitSliceMs = 5;
constexpr DWORD kThreadFirstSlicesMs = 20;

// What the waiting thread does meanwhile.
enum class ThreadWait {
  Plain,  // nothing: it only waits
  // It answers the messages other threads send to its windows, as a
  // window's thread must for another thread's SendMessage to it to return
  // (the host's window thread sends to an embedded game window and waits).
  // Posted messages, input and timers stay queued for the caller's own
  // loop, so none of the caller's other code runs inside the wait.
  ServingSentMessages
};

// The Windows priority for `priority`; false when none is to be applied.
bool MapThreadPriority(ThreadPriority priority, int* windows_priority);

struct ThreadLaunch;

class Thread {
 public:
  using Body = std::function<void()>;

  Thread() = default;
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // The thread body when Create is given none; empty here.
  virtual void Run() {}

  // Makes the thread; once it begins it runs `body`, or Run when `body` is
  // empty. True if a thread exists. Never waits. A body must not throw.
  bool Create(Body body = Body());
  // Waits at most `timeout_ms` for the body to begin. A body that has not
  // begun by then is cancelled and never runs. True when it began (it may
  // have returned already); false when it never will (or there is no thread).
  bool WaitForStart(DWORD timeout_ms, ThreadWait how = ThreadWait::Plain);
  // Waits at most `timeout_ms` for the body to return (or the thread to end,
  // as at process exit, where the system ends every other thread first). A
  // body that has not begun by then is cancelled. True, with the handle
  // closed, when the body will not run any more (or there was no thread);
  // false when it still runs.
  bool Join(DWORD timeout_ms = kThreadJoinBoundMs, ThreadWait how = ThreadWait::Plain);
  // True (and the handle closed) when the body had not begun: it never will.
  // False when it has begun. True without a thread.
  bool CancelIfNotStarted();
  // Lets the thread go: this object no longer has a thread (the handle is
  // closed) and nobody waits for it. A body that has not begun still runs
  // once the thread begins. True when the body has not returned yet: `late`,
  // when set, then runs on the thread right after it, and what `late` owns
  // lives until then. False when the body had returned already (or there
  // was no thread): `late` is dropped unrun. Never waits. `late` must not
  // throw.
  bool LetGo(Body late = Body());

  DWORD thread_id() const { return thread_id_.load(); }
  HANDLE thread_handle() const { return thread_handle_; }
  ThreadPriority priority() const { return priority_; }
  // Takes effect at the next Create.
  void set_priority(ThreadPriority priority) { priority_ = priority; }

 protected:
  // Waits at most `timeout_ms` until `flag` is set or the thread has ended;
  // true when either happened. Owning thread.
  bool WaitUntil(const std::atomic<bool>& flag, DWORD timeout_ms, ThreadWait how = ThreadWait::Plain) const;

  // Written by the creator and again by the body of a FrameworkThread.
  std::atomic<DWORD> thread_id_{0};

 private:
  static unsigned __stdcall ThreadEntry(void* launch);
  void ReleaseThread();

  HANDLE thread_handle_ = nullptr;
  // Shared with the new thread (see above).
  std::shared_ptr<ThreadLaunch> launch_;
  ThreadPriority priority_ = 0;
};

}  // namespace nbase
