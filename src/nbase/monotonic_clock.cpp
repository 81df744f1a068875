#include "nbase/monotonic_clock.h"

#include <windows.h>

#include <atomic>

#include "nbase/system_library.h"

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

using MillisecondTimer = DWORD(WINAPI*)();

// Wraps at 2^32 ms as timeGetTime does, so the counter extends it alike.
DWORD WINAPI PerformanceCounterMs() { return static_cast<DWORD>(SteadyNowMs()); }

// winmm.dll is not one of the system's known DLLs: imported, it would be
// searched in the game's folder first. Loaded from the system folder only
// (by its full path where Windows 7 lacks the search flag), and kept for the
// life of the process. Without it the performance counter serves.
MillisecondTimer LookUpTimer(const wchar_t* dll) {
  if (HMODULE module = LoadSystemLibrary(dll)) {
    const auto timer = FunctionFrom<MillisecondTimer>(module, "timeGetTime");
    if (timer != nullptr) return timer;
    FreeLibrary(module);
  }
  return &PerformanceCounterMs;
}

std::atomic<MillisecondTimer> g_timer{nullptr};

// Looked up without any lock held: a thread that holds the loader lock and
// reads the clock must never wait for one that is loading the DLL (which
// waits for the loader lock). Two first readers may both look it up; the
// first to store wins, so every reading comes from one source.
MillisecondTimer Timer() {
  MillisecondTimer timer = g_timer.load(std::memory_order_acquire);
  if (timer != nullptr) return timer;
  const MillisecondTimer found = LookUpTimer(L"winmm.dll");
  if (g_timer.compare_exchange_strong(timer, found, std::memory_order_acq_rel)) return found;
  return timer;
}

}  // namespace

int64_t MonotonicNow() {
  const MillisecondTimer timer = Timer();
  EnterCriticalSection(&g_clock.lock);
  // Read under the lock: two threads that read the timer outside it could
  // store their readings out of order and fake a wrap.
  const int64_t now = g_clock.counter.Advance(timer());
  LeaveCriticalSection(&g_clock.lock);
  return now;
}

ClockSource LookUpClockSource(const wchar_t* dll, uint32_t* reading) {
  const MillisecondTimer timer = LookUpTimer(dll);
  *reading = timer();
  return timer == &PerformanceCounterMs ? ClockSource::PerformanceCounter : ClockSource::MultimediaTimer;
}

ClockSource CurrentClockSource() {
  return Timer() == &PerformanceCounterMs ? ClockSource::PerformanceCounter : ClockSource::MultimediaTimer;
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
