#include "nbase/thread.h"

#include <process.h>

namespace nbase {

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

Thread::~Thread() { Join(); }

unsigned __stdcall Thread::ThreadEntry(void* thread) {
  if (thread) static_cast<Thread*>(thread)->Run();
  _endthreadex(0);
  return 0;
}

bool Thread::Create() {
  unsigned id = 0;
  const uintptr_t handle = _beginthreadex(nullptr, 0, &Thread::ThreadEntry, this, 0, &id);
  // The C runtime reports failure as 0, and some versions as 1.
  if (handle == 0 || handle == 1) {
    thread_handle_ = nullptr;
    thread_id_.store(0);
    return false;
  }
  thread_handle_ = reinterpret_cast<HANDLE>(handle);
  // The body may already have stored the same id itself; either order is fine.
  thread_id_.store(id);
  int windows_priority = 0;
  if (MapThreadPriority(priority_, &windows_priority)) SetThreadPriority(thread_handle_, windows_priority);
  return true;
}

void Thread::Join() {
  if (!thread_handle_) return;
  if (WaitForSingleObject(thread_handle_, INFINITE) != WAIT_OBJECT_0) {
    // Only when the infinite wait itself fails: the handle is then unusable
    // for waiting and the thread must not outlive its object.
    TerminateThread(thread_handle_, 0);
  }
  CloseHandle(thread_handle_);
  thread_id_.store(0);
  thread_handle_ = nullptr;
}

}  // namespace nbase
