// Lock: a critical section (spin count 2000) owned by one object, and
// AutoLock, which holds it for a scope, also when the scope throws.
// Not recursive by contract: a holder never takes it again.
#pragma once

#include <windows.h>

namespace nbase {

class Lock {
 public:
  Lock() { InitializeCriticalSectionAndSpinCount(&section_, 2000); }
  ~Lock() { DeleteCriticalSection(&section_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Acquire() { EnterCriticalSection(&section_); }
  void Release() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class AutoLock {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~AutoLock() { lock_.Release(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;

 private:
  Lock& lock_;
};

}  // namespace nbase
