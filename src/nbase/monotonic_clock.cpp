#include "nbase/monotonic_clock.h"

#include <windows.h>
#include <mmsystem.h>

namespace nbase {

int64_t RolloverCounter::Advance(uint32_t reading_ms) {
  if (reading_ms < last_) rollover_ += 0x100000000ull;
  last_ = reading_ms;
  return static_cast<int64_t>((reading_ms + rollover_) * 1000);
}

namespace {

// Made at load and deleted at unload, so that the clock can be read from any
// thread without a first-use race. Nobody reads it during static
// initialisation.
struct ClockState {
  ClockState() { InitializeCriticalSectionAndSpinCount(&lock, 2000); }
  ~ClockState() { DeleteCriticalSection(&lock); }
  ClockState(const ClockState&) = delete;
  ClockState& operator=(const ClockState&) = delete;

  CRITICAL_SECTION lock;
  RolloverCounter counter;
};

ClockState g_clock;

}  // namespace

int64_t MonotonicNow() {
  EnterCriticalSection(&g_clock.lock);
  // Read under the lock: two threads that read the timer outside it could
  // store their readings out of order and fake a wrap.
  const int64_t now = g_clock.counter.Advance(timeGetTime());
  LeaveCriticalSection(&g_clock.lock);
  return now;
}

uint64_t SteadyNowMs() {
  // Fixed at boot; read once.
  static const uint64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart > 0 ? static_cast<uint64_t>(f.QuadPart) : 1;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  const uint64_t ticks = static_cast<uint64_t>(counter.QuadPart);
  // In two parts, so that the product cannot overflow.
  return ticks / frequency * 1000 + ticks % frequency * 1000 / frequency;
}

}  // namespace nbase
