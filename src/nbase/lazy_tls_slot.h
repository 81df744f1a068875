// A thread-local pointer whose TLS index is allocated on first use, from any
// thread, and released when the module is unloaded.
//
// Instances are meant to be namespace-scope objects: the constructor is
// constexpr so they need no dynamic initialisation, and the destructor, run at
// unload, frees the index.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace nbase {

class LazyTlsSlot {
 public:
  constexpr LazyTlsSlot() = default;
  ~LazyTlsSlot();
  LazyTlsSlot(const LazyTlsSlot&) = delete;
  LazyTlsSlot& operator=(const LazyTlsSlot&) = delete;

  // The calling thread's value; null when never set on this thread or when
  // no TLS index could be had.
  void* Get();
  // Stores the calling thread's value (dropped when no TLS index could be had).
  void Set(void* value);

 private:
  enum State : int32_t { kNotMade = 0, kBeingMade = 1, kReady = 2 };
  DWORD Index();

  std::atomic<int32_t> state_{kNotMade};
  DWORD index_ = TLS_OUT_OF_INDEXES;
};

}  // namespace nbase
