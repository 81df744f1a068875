#include "nbase/lazy_tls_slot.h"

namespace nbase {

LazyTlsSlot::~LazyTlsSlot() {
  if (state_.load(std::memory_order_acquire) == kReady && index_ != TLS_OUT_OF_INDEXES) {
    TlsFree(index_);
    index_ = TLS_OUT_OF_INDEXES;
  }
}

DWORD LazyTlsSlot::Index() {
  int32_t state = state_.load(std::memory_order_acquire);
  if (state == kReady) return index_;
  int32_t expected = kNotMade;
  if (state_.compare_exchange_strong(expected, kBeingMade, std::memory_order_acq_rel)) {
    index_ = TlsAlloc();
    state_.store(kReady, std::memory_order_release);
    return index_;
  }
  // Another thread is allocating: the window is a single TlsAlloc, so yielding
  // beats any heavier wait.
  while (state_.load(std::memory_order_acquire) != kReady) Sleep(0);
  return index_;
}

void* LazyTlsSlot::Get() {
  const DWORD index = Index();
  return index == TLS_OUT_OF_INDEXES ? nullptr : TlsGetValue(index);
}

void LazyTlsSlot::Set(void* value) {
  const DWORD index = Index();
  if (index != TLS_OUT_OF_INDEXES) TlsSetValue(index, value);
}

}  // namespace nbase
