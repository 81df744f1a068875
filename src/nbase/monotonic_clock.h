// The framework's process-wide microsecond clock, used for delayed tasks.
// Safe to call from any thread once the module is loaded.
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

// Microseconds since the multimedia timer started, with one-millisecond
// resolution. Does not change the system timer resolution.
int64_t MonotonicNow();

}  // namespace nbase
