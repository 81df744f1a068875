// Thread: a thin owner of one operating-system thread. It starts the thread
// with a chosen priority, runs the virtual body Run on it, and joins it.
//
// Threads: Create, Join and the destructor on the owning thread; Run on the
// new thread. A subclass must join (or make sure the body has ended) in its
// own destructor: the body is a virtual call on the whole object.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace nbase {

// 0 or below: normal priority, nothing applied; 1 lowest; 2 below normal;
// 3 highest; 4 time-critical; 5 and above below normal.
using ThreadPriority = int32_t;

// The Windows priority for `priority`; false when none is to be applied.
bool MapThreadPriority(ThreadPriority priority, int* windows_priority);

class Thread {
 public:
  Thread() = default;
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // The thread body; empty here.
  virtual void Run() {}

  // Starts the thread running Run at once; true if a thread exists.
  bool Create();
  // Waits for the thread to end and closes its handle; nothing without one.
  void Join();

  DWORD thread_id() const { return thread_id_.load(); }
  HANDLE thread_handle() const { return thread_handle_; }
  ThreadPriority priority() const { return priority_; }
  // Takes effect at the next Create.
  void set_priority(ThreadPriority priority) { priority_ = priority; }

 protected:
  // Written by the creator and again by the body of a FrameworkThread.
  std::atomic<DWORD> thread_id_{0};

 private:
  static unsigned __stdcall ThreadEntry(void* thread);

  HANDLE thread_handle_ = nullptr;
  ThreadPriority priority_ = 0;
};

}  // namespace nbase
