// Where the framework's clock reads its milliseconds: timeGetTime of the
// system folder's winmm.dll, which the library no longer imports (the DLL
// check refuses the import), and the fallback when that cannot be loaded.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

#include "nbase/monotonic_clock.h"

namespace {

using nbase::ClockSource;

TEST(ClockSource, MultimediaTimerFromTheSystemFolder) {
  uint32_t reading = 0;
  EXPECT_EQ(nbase::LookUpClockSource(L"winmm.dll", &reading), ClockSource::MultimediaTimer);
  EXPECT_EQ(nbase::CurrentClockSource(), ClockSource::MultimediaTimer);
}

// A DLL the system folder does not hold (as a winmm.dll that only sits
// beside the game): the performance counter serves, and keeps time.
TEST(ClockSource, FallbackKeepsTime) {
  uint32_t first = 0, second = 0;
  ASSERT_EQ(nbase::LookUpClockSource(L"lumo_no_such_timer.dll", &first), ClockSource::PerformanceCounter);
  const uint32_t expected = static_cast<uint32_t>(nbase::SteadyNowMs());
  EXPECT_LE(static_cast<uint32_t>(expected - first), 1000u);
  Sleep(30);
  nbase::LookUpClockSource(L"lumo_no_such_timer.dll", &second);
  EXPECT_GE(static_cast<uint32_t>(second - first), 25u);
  EXPECT_LE(static_cast<uint32_t>(second - first), 10000u);
}

// The clock the message loops read moves on and never back.
TEST(ClockSource, MonotonicNowAdvances) {
  const int64_t before = nbase::MonotonicNow();
  Sleep(30);
  const int64_t after = nbase::MonotonicNow();
  EXPECT_GE(after - before, 20000);
}

}  // namespace
