// The library's two clocks, both safe to call from any thread once the
// module is loaded:
// - MonotonicNow, the framework's process-wide microsecond clock, used for
//   delayed tasks (a 32-bit millisecond timer extended across its wraps);
// - SteadyNowMs, the one clock of every bound and deadline of the library
//   (thread waits, the sender's pacing and shutdown budget, the HTTPS
//   deadline, the delayed exit), in milliseconds.
#pragma once

#include <cstdint>

namespace nbase {

// Turns successive readings of a 32-bit millisecond counter, which wraps
// after about 49.7 days, into a 64-bit count that never goes backwards.
// Not thread-safe: MonotonicNow serialises its one instance.
class RolloverCounter {
 public:
  // Returns the reading extended by every wrap seen so far, in microseconds.
  int64_t Advance(uint32_t reading_ms);

 private:
  uint32_t last_ = 0;
  uint64_t rollover_ = 0;
};

// Microseconds of a 32-bit millisecond timer extended across its wraps.
// Counted in milliseconds, but timeGetTime moves in steps of 5 ms or more by
// default (depending on the machine), and this does not change the system
// timer resolution. The timer is the multimedia timer (timeGetTime of the
// system folder's winmm.dll, looked up on the first reading), or, when that
// cannot be loaded, the performance counter's milliseconds cut to 32 bits:
// one source for the life of the process either way.
int64_t MonotonicNow();

// Which timer a look-up of timeGetTime in `dll` (a DLL name, searched in the
// system folder only) yields, and one reading of it. For tests; MonotonicNow
// looks up "winmm.dll".
enum class ClockSource { MultimediaTimer, PerformanceCounter };
ClockSource LookUpClockSource(const wchar_t* dll, uint32_t* reading);
// The source MonotonicNow reads (looked up by this call when not yet).
ClockSource CurrentClockSource();

// Milliseconds of the performance counter: steady, one-millisecond
// resolution (GetTickCount64 moves in steps of 10 to 16 ms, too coarse for
// the sender's 10 ms grace), no wrap in the life of a process. Takes no lock.
uint64_t SteadyNowMs();

// A delay for MessageLoop::PostDelayedTask, whose delays are microseconds of
// MonotonicNow, from the milliseconds every other bound is counted in.
constexpr int64_t DelayFromMs(int64_t ms) { return ms * 1000; }

}  // namespace nbase
