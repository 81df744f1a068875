#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "nbase/default_message_pump.h"
#include "nbase/message_loop.h"
#include "nbase/win_io_message_pump.h"
#include "nbase/win_message_pump.h"
#include "nbase/win_ui_message_pump.h"

namespace {

constexpr int64_t kNow = 5000000000LL;

struct WaitCase {
  const char* name;
  int64_t delayed_run_time;
  bool wait;
  DWORD timeout_ms;
  int64_t delayed_after;
};

class DefaultPumpWaitTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(DefaultPumpWaitTest, WaitFollowsTheNextDelayedTask) {
  const WaitCase& c = GetParam();
  const nbase::PumpWait wait = nbase::ComputePumpWait(c.delayed_run_time, kNow);
  EXPECT_EQ(wait.wait, c.wait);
  if (c.wait) {
    EXPECT_EQ(wait.timeout_ms, c.timeout_ms);
  }
  EXPECT_EQ(wait.delayed_run_time, c.delayed_after);
}

INSTANTIATE_TEST_SUITE_P(
    Delays, DefaultPumpWaitTest,
    ::testing::Values(WaitCase{"NoDelayedTaskWaitsForEver", 0, true, INFINITE, 0},
                      WaitCase{"OneMicrosecondAheadWaitsAMillisecond", kNow + 1, true, 1, kNow + 1},
                      WaitCase{"ExactMillisecond", kNow + 1000, true, 1, kNow + 1000},
                      WaitCase{"JustOverRoundsUp", kNow + 1001, true, 2, kNow + 1001},
                      WaitCase{"DueNowDoesNotWaitAndClears", kNow, false, 0, 0},
                      WaitCase{"OverdueDoesNotWaitAndClears", kNow - 250000, false, 0, 0},
                      WaitCase{"FarFutureStaysFinite", kNow + 0x7FFFFFFFFFFFLL, true, INFINITE - 1,
                               kNow + 0x7FFFFFFFFFFFLL}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return info.param.name; });

struct DelayCase {
  const char* name;
  int64_t delayed_run_time;
  int64_t delay_ms;     // CurrentDelay
  DWORD wait_timeout;   // the pumps' wait for that delay
  UINT timer_elapse;    // the UI pump's timer for that delay
};

class WinPumpDelayTest : public ::testing::TestWithParam<DelayCase> {};

TEST_P(WinPumpDelayTest, DelayBecomesWaitAndTimer) {
  const DelayCase& c = GetParam();
  const int64_t delay = nbase::DelayMsUntil(c.delayed_run_time, kNow);
  EXPECT_EQ(delay, c.delay_ms);
  EXPECT_EQ(nbase::ClampWaitMs(delay), c.wait_timeout);
  if (c.delayed_run_time != 0) {
    EXPECT_EQ(nbase::UiTimerElapseMs(delay), c.timer_elapse);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Delays, WinPumpDelayTest,
    ::testing::Values(DelayCase{"None", 0, -1, INFINITE, 0},
                      DelayCase{"OverdueIsZeroButTimerKeepsItsFloor", kNow - 5000, 0, 0, 10},
                      DelayCase{"OneMicrosecond", kNow + 1, 1, 1, 10},
                      DelayCase{"NineAndAHalfMilliseconds", kNow + 9500, 10, 10, 10},
                      DelayCase{"AboveTheFloor", kNow + 25000, 25, 25, 25},
                      DelayCase{"BeyondTheLargestWait", kNow + 0x7FFFFFFFFFFFLL, 0x7FFFFFFFFFFFLL / 1000 + 1,
                                INFINITE - 1, 0xFFFFFFFE}),
    [](const ::testing::TestParamInfo<DelayCase>& info) { return info.param.name; });

// The pumps whose wake-up is an item in a queue (a completion packet, a
// window message) rather than an event that stays set: how each one's
// pending wake-ups are taken, and what names the pump in them.
struct IoPumpWakes {
  using Pump = nbase::WinIOMessagePump;
  static bool Ready(const Pump& pump) { return pump.completion_port() != INVALID_HANDLE_VALUE; }
  static bool TakeOne(const Pump& pump, uintptr_t* tag) {
    DWORD bytes;
    ULONG_PTR key;
    OVERLAPPED* overlapped;
    if (!GetQueuedCompletionStatus(pump.completion_port(), &bytes, &key, &overlapped, 0)) return false;
    *tag = key;
    return true;
  }
};

struct UiPumpWakes {
  using Pump = nbase::WinUIMessagePump;
  static bool Ready(const Pump& pump) { return pump.message_window() != nullptr; }
  static bool TakeOne(const Pump& pump, uintptr_t* tag) {
    MSG msg;
    if (!PeekMessageW(&msg, pump.message_window(), Pump::kWakeUpMessage, Pump::kWakeUpMessage, PM_REMOVE)) {
      return false;
    }
    *tag = msg.wParam;
    return true;
  }
};

template <typename Wakes>
class QueuedWakeUpTest : public ::testing::Test {};

using QueuedWakePumps = ::testing::Types<IoPumpWakes, UiPumpWakes>;
TYPED_TEST_SUITE(QueuedWakeUpTest, QueuedWakePumps);

// A second wake-up before the first is taken adds nothing: the queue holds
// one item per idle period, however many threads post meanwhile.
TYPED_TEST(QueuedWakeUpTest, TwoWakeUpsBeforeTheFirstIsTakenQueueOne) {
  typename TypeParam::Pump pump;
  ASSERT_TRUE(TypeParam::Ready(pump));
  pump.WakeUp();
  pump.WakeUp();
  int wakes = 0;
  uintptr_t tag = 0;
  while (TypeParam::TakeOne(pump, &tag)) {
    EXPECT_EQ(tag, reinterpret_cast<uintptr_t>(&pump));
    ++wakes;
  }
  EXPECT_EQ(wakes, 1);
}

// A pump and delegate pair that shows the default pump's rhythm: which
// delegate calls happen, and that a pending wake-up is not lost.
class CountingDelegate : public nbase::MessagePump::Delegate {
 public:
  explicit CountingDelegate(nbase::MessagePump* pump) : pump_(pump) {}
  bool ProcessWork() override {
    ++work_calls;
    if (work_calls == 1) {
      // Busy: a wake-up arrives meanwhile and must survive to the next wait.
      pump_->WakeUp();
      return true;
    }
    return false;
  }
  bool ProcessDelayedWork(int64_t* next) override {
    *next = 0;
    return false;
  }
  bool ProcessIdle() override {
    ++idle_calls;
    if (idle_calls == 2) pump_->Quit();
    return false;
  }
  int work_calls = 0;
  int idle_calls = 0;

 private:
  nbase::MessagePump* pump_;
};

TEST(DefaultMessagePumpTest, WakeUpWhileBusyMakesTheNextWaitReturnAndIsReusable) {
  nbase::DefaultMessagePump pump;
  CountingDelegate delegate(&pump);
  // Pass 1: work (a wake-up comes in). Pass 2: idle, the wait returns at once
  // on the pending signal, ProcessWork finds nothing. Pass 3: idle quits.
  pump.Run(&delegate);
  EXPECT_EQ(delegate.idle_calls, 2);
  EXPECT_EQ(delegate.work_calls, 3);

  // Quit is cleared on return: the pump runs again.
  delegate.idle_calls = 0;
  pump.WakeUp();
  pump.Run(&delegate);
  EXPECT_EQ(delegate.idle_calls, 2);
}

// A watch is reported once, on the loop's thread, while the loop waits; a
// stopped one never; a handle closed under its watch ends it instead of
// failing every later wait.
TEST(DefaultMessagePumpTest, WatchedHandlesAreReportedOnceOnTheLoopThread) {
  nbase::MessageLoop loop;
  nbase::DefaultMessagePump* pump = loop.default_pump();
  ASSERT_NE(pump, nullptr);
  HANDLE fired = CreateEventW(nullptr, TRUE, FALSE, nullptr);   // stays signalled
  HANDLE stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const DWORD loopThread = GetCurrentThreadId();
  std::vector<std::string> calls;
  bool elsewhere = false;
  auto record = [&](const char* name) {
    return [&, name] {
      calls.push_back(name);
      if (GetCurrentThreadId() != loopThread) elsewhere = true;
    };
  };
  ASSERT_TRUE(pump->WatchHandle(fired, record("fired")));
  ASSERT_TRUE(pump->WatchHandle(stopped, record("stopped")));
  ASSERT_TRUE(pump->WatchHandle(closed, record("closed")));
  pump->StopWatching(stopped);

  std::thread other([&] {
    Sleep(50);  // the loop waits by now
    SetEvent(stopped);
    SetEvent(fired);
    Sleep(100);
    loop.PostTask([&] { CloseHandle(closed); });
    Sleep(100);
    loop.PostTask([&] { loop.QuitWhenIdle(); });
  });
  loop.Run();
  other.join();
  EXPECT_EQ(calls, (std::vector<std::string>{"fired", "closed"}));
  EXPECT_FALSE(elsewhere);
  CloseHandle(fired);
  CloseHandle(stopped);
}

// A task run right after a wait learns once that the wait found a watched
// handle unsignalled (its owner then need not ask the system again): not
// without a wait, not a second time, not for a handle that is not watched,
// not after a wait that a watch ended.
TEST(DefaultMessagePumpTest, TasksLearnOnceWhatTheWaitSawOfAWatchedHandle) {
  nbase::MessageLoop loop;
  nbase::DefaultMessagePump* pump = loop.default_pump();
  ASSERT_NE(pump, nullptr);
  HANDLE alive = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE ends = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE unwatched = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::string> seen;
  auto look = [&](const char* when, HANDLE handle) {
    seen.push_back(std::string(when) + (pump->TakeSeenUnsignalled(handle) ? "=yes" : "=no"));
  };
  ASSERT_TRUE(pump->WatchHandle(alive, [] {}));
  ASSERT_TRUE(pump->WatchHandle(ends, [&] {
    // Posted from the watch: runs right after the wait that the watch ended.
    loop.PostTask([&] {
      look("after-watch", alive);
      loop.QuitWhenIdle();
    });
  }));
  loop.PostTask([&] { look("no-wait", alive); });
  std::thread other([&] {
    Sleep(100);  // the loop waits by now
    loop.PostTask([&] {
      look("woken", alive);
      look("again", alive);
    });
    Sleep(100);
    loop.PostTask([&] { look("unwatched", unwatched); });
    Sleep(100);
    SetEvent(ends);
  });
  loop.Run();
  other.join();
  EXPECT_EQ(seen, (std::vector<std::string>{"no-wait=no", "woken=yes", "again=no", "unwatched=no", "after-watch=no"}));
  pump->StopWatching(alive);
  for (HANDLE h : {alive, ends, unwatched}) CloseHandle(h);
}

TEST(DefaultMessagePumpTest, WatchesFillTheWaitSlotsAndNoMore) {
  nbase::MessageLoop loop;
  nbase::DefaultMessagePump* pump = loop.default_pump();
  ASSERT_NE(pump, nullptr);
  const size_t max = nbase::DefaultMessagePump::kMaxWatches;
  std::vector<HANDLE> events;
  for (size_t i = 0; i <= max; ++i) events.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  bool lastCalled = false;
  EXPECT_FALSE(pump->WatchHandle(nullptr, [] {}));
  for (size_t i = 0; i + 1 < max; ++i) EXPECT_TRUE(pump->WatchHandle(events[i], [] {}));
  EXPECT_FALSE(pump->WatchHandle(events[0], [] {}));  // watched already
  EXPECT_TRUE(pump->WatchHandle(events[max - 1], [&] {
    lastCalled = true;
    loop.QuitWhenIdle();
  }));
  EXPECT_FALSE(pump->WatchHandle(events[max], [] {}));  // every slot taken
  // The last slot is waited on as well.
  SetEvent(events[max - 1]);
  loop.Run();
  EXPECT_TRUE(lastCalled);
  EXPECT_TRUE(pump->WatchHandle(events[max], [] {}));  // its slot is free again
  for (HANDLE e : events) pump->StopWatching(e);
  for (HANDLE e : events) CloseHandle(e);
}

}  // namespace
