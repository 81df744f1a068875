#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "nbase/lazy_tls_slot.h"
#include "nbase/message_loop.h"
#include "nbase/monotonic_clock.h"
#include "nbase/observer_list.h"
#include "test_tasks.h"

using nbase::MessageLoop;
using nbase::QueuedTask;
using nbase_test::EventLog;
using nbase_test::ScriptedLoop;
using nbase_test::ScriptedPump;
using nbase_test::Tracked;
using ::testing::ElementsAre;

namespace {

class ScriptedLoopTest : public ::testing::Test {
 protected:
  void PostAt(int64_t run_time, const std::string& name, bool nestable = true) {
    QueuedTask record;
    record.run_time = run_time;
    record.nestable = nestable;
    record.task = Tracked(&log, name);
    loop->AddIncomingTask(&record);
  }
  void RunAllDelayed() {
    int64_t next = 0;
    while (loop->ProcessDelayedWork(&next)) {
    }
  }

  EventLog log;
  std::shared_ptr<ScriptedPump> pump = std::make_shared<ScriptedPump>();
  std::unique_ptr<ScriptedLoop> loop = std::make_unique<ScriptedLoop>(pump);
};

TEST_F(ScriptedLoopTest, DelayedTasksRunByTimeThenInQueueingOrder) {
  const int64_t due = nbase::MonotonicNow() - 1000;
  PostAt(due, "a");
  PostAt(due, "b");
  PostAt(due - 500, "early");
  PostAt(due, "c");
  EXPECT_FALSE(loop->ProcessWork());  // only moves them into the delayed heap
  RunAllDelayed();
  EXPECT_THAT(log.With("ran:"), ElementsAre("early", "a", "b", "c"));
}

TEST_F(ScriptedLoopTest, PumpIsToldOnlyWhenTheEarliestDelayedTaskChanges) {
  const int64_t now = nbase::MonotonicNow();
  const int64_t hour = 3600LL * 1000 * 1000;
  PostAt(now + hour, "in-an-hour");
  PostAt(now + hour / 2, "in-half-an-hour");
  PostAt(now + 2 * hour, "in-two-hours");
  EXPECT_FALSE(loop->ProcessWork());
  EXPECT_THAT(pump->wake_times, ElementsAre(now + hour, now + hour / 2));

  int64_t next = 0;
  EXPECT_FALSE(loop->ProcessDelayedWork(&next));
  EXPECT_EQ(next, now + hour / 2);
  EXPECT_TRUE(log.With("ran:").empty());
}

TEST_F(ScriptedLoopTest, OnlyThePostIntoAnEmptyIncomingQueueWakesThePump) {
  loop->PostTask(Tracked(&log, "1"));
  loop->PostTask(Tracked(&log, "2"));
  loop->PostTask(Tracked(&log, "3"));
  EXPECT_EQ(pump->wakeups, 1);

  EXPECT_TRUE(loop->ProcessWork());  // takes the whole batch, runs "1"
  loop->PostTask(Tracked(&log, "4"));
  EXPECT_EQ(pump->wakeups, 2);
  loop->PostTask(Tracked(&log, "5"));
  EXPECT_EQ(pump->wakeups, 2);

  while (loop->ProcessWork()) {
  }
  EXPECT_THAT(log.With("ran:"), ElementsAre("1", "2", "3", "4", "5"));
}

TEST_F(ScriptedLoopTest, EmptyTaskRunsAsNoOpWithObserversNotified) {
  struct Counter : nbase::TaskObserver {
    void WillRunTask() override { ++will; }
    void DidRunTask() override { ++did; }
    int will = 0, did = 0;
  } counter;
  loop->AddTaskObserver(&counter);
  loop->PostTask(nbase::Task());
  EXPECT_TRUE(loop->ProcessWork());
  EXPECT_EQ(counter.will, 1);
  EXPECT_EQ(counter.did, 1);
  loop->RemoveTaskObserver(&counter);
}

TEST_F(ScriptedLoopTest, NonNestableTasksWaitForTheOutermostLevel) {
  loop->PostNonNestableTask(Tracked(&log, "non-nestable"));
  loop->PostTask(Tracked(&log, "nestable"));
  pump->scripts.push_back([&](nbase::MessagePump::Delegate* outer) {
    loop->Run();  // nested, depth 2: runs the next script
    EXPECT_EQ(loop->run_depth(), 1);
    EXPECT_FALSE(outer->ProcessWork());
    EXPECT_TRUE(outer->ProcessIdle());
    EXPECT_THAT(log.With("ran:"), ElementsAre("nestable", "non-nestable"));

    // At the outermost level a non-nestable task runs at once.
    loop->PostNonNestableTask(Tracked(&log, "at-depth-1"));
    EXPECT_TRUE(outer->ProcessWork());
    EXPECT_EQ(log.With("ran:").back(), "at-depth-1");
  });
  pump->scripts.push_back([&](nbase::MessagePump::Delegate* nested) {
    EXPECT_EQ(loop->run_depth(), 2);
    EXPECT_TRUE(nested->ProcessWork());
    EXPECT_FALSE(nested->ProcessWork());
    EXPECT_FALSE(nested->ProcessIdle());
    EXPECT_THAT(log.With("ran:"), ElementsAre("nestable"));
  });
  loop->Run();
  EXPECT_TRUE(pump->scripts.empty());
}

TEST_F(ScriptedLoopTest, NoTaskRunsWhileATaskRuns) {
  bool inner_ran_work = true;
  loop->PostTask([&] {
    int64_t next = 0;
    inner_ran_work = loop->ProcessWork() || loop->ProcessDelayedWork(&next);
  });
  loop->PostTask(Tracked(&log, "second"));
  PostAt(nbase::MonotonicNow() - 1000, "due");
  EXPECT_TRUE(loop->ProcessWork());
  EXPECT_FALSE(inner_ran_work);
  EXPECT_TRUE(log.With("ran:").empty());
}

TEST_F(ScriptedLoopTest, DestructionRunsNothingAndDestroysDelayedTasksEarliestFirst) {
  const int64_t now = nbase::MonotonicNow();
  const int64_t hour = 3600LL * 1000 * 1000;
  PostAt(now + 3 * hour, "delayed-3h");
  PostAt(now + 1 * hour, "delayed-1h");
  loop->PostNonNestableTask(Tracked(&log, "deferred"));
  loop->PostTask(Tracked(&log, "probe"));
  loop->PostTask(Tracked(&log, "ready"));
  PostAt(now + 2 * hour, "delayed-2h-still-ready");
  pump->scripts.push_back([&](nbase::MessagePump::Delegate*) { loop->Run(); });
  pump->scripts.push_back([&](nbase::MessagePump::Delegate* nested) {
    // At depth 2: the delayed ones enter the heap, the non-nestable one is
    // deferred, "probe" runs; the rest stays in the ready queue.
    EXPECT_TRUE(nested->ProcessWork());
  });
  loop->Run();
  loop->PostTask(Tracked(&log, "incoming"));
  // A task whose destruction posts another: that one is discarded too.
  struct PostsWhenDestroyed {
    MessageLoop* loop;
    EventLog* log;
    ~PostsWhenDestroyed() { loop->PostTask(Tracked(log, "posted-while-discarding")); }
  };
  {
    std::shared_ptr<PostsWhenDestroyed> poster(new PostsWhenDestroyed{loop.get(), &log});
    loop->PostTask([poster] {});
  }
  ASSERT_THAT(log.With("ran:"), ElementsAre("probe"));

  loop.reset();
  EXPECT_THAT(log.With("ran:"), ElementsAre("probe"));
  EXPECT_THAT(log.With("gone:delayed"), ElementsAre("-1h", "-2h-still-ready", "-3h"));
  std::vector<std::string> gone = log.With("gone:");
  EXPECT_THAT(gone, ::testing::IsSupersetOf({"deferred", "ready", "incoming", "probe", "posted-while-discarding"}));
}

TEST(MessageLoopTest, QuitRunsTheReadyTasksButNotAnHourAway) {
  EventLog log;
  auto loop = std::make_unique<MessageLoop>();
  int ran = 0;
  loop->PostTask([&] { loop->QuitWhenIdle(); });
  for (int i = 0; i < 10; ++i) loop->PostTask([&] { ++ran; });
  loop->PostDelayedTask(Tracked(&log, "hour"), 3600LL * 1000 * 1000);
  loop->Run();
  EXPECT_EQ(ran, 10);
  EXPECT_TRUE(log.Events().empty());
  loop.reset();
  EXPECT_THAT(log.Events(), ElementsAre("gone:hour"));
}

TEST(MessageLoopTest, OverdueDelayedTaskRunsAfterTheReadyTaskOfTheSamePass) {
  EventLog log;
  MessageLoop loop;
  loop.PostDelayedTask(Tracked(&log, "overdue"), -1000);
  loop.PostTask(Tracked(&log, "first"));
  loop.PostTask(Tracked(&log, "second"));
  loop.PostTask([&] { loop.QuitWhenIdle(); });
  loop.Run();
  EXPECT_THAT(log.With("ran:"), ElementsAre("first", "overdue", "second"));
}

TEST(MessageLoopTest, IsCurrentOnItsThreadOnlyAndUntilDestroyed) {
  EXPECT_EQ(MessageLoop::Current(), nullptr);
  {
    MessageLoop loop;
    EXPECT_EQ(MessageLoop::Current(), &loop);
    MessageLoop* seen_elsewhere = &loop;
    std::thread([&] { seen_elsewhere = MessageLoop::Current(); }).join();
    EXPECT_EQ(seen_elsewhere, nullptr);
  }
  EXPECT_EQ(MessageLoop::Current(), nullptr);
}

TEST(MessageLoopTest, WaitingLoopWakesForPostsAndDelayedTasksFromOtherThreads) {
  EventLog log;
  MessageLoop loop;
  std::thread poster([&] {
    Sleep(50);  // lets the loop reach its wait first
    loop.PostDelayedTask(Tracked(&log, "delayed"), 20 * 1000);
    loop.PostTask(Tracked(&log, "immediate"));
    loop.PostDelayedTask([&] { loop.QuitWhenIdle(); }, 40 * 1000);
  });
  loop.Run();
  poster.join();
  EXPECT_THAT(log.With("ran:"), ElementsAre("immediate", "delayed"));
}

struct ListObserver {
  std::function<void(ListObserver*)> on_notify;
  int calls = 0;
};

TEST(ObserverListTest, ChangesDuringAPassFollowTheListRules) {
  nbase::ObserverList<ListObserver> list;
  ListObserver a, b, c;
  a.on_notify = [&](ListObserver*) {
    list.RemoveObserver(&b);  // later in the list: only nulled, then skipped
    list.AddObserver(&c);     // appended: reached by this same pass
  };
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.Notify([](ListObserver* o) {
    ++o->calls;
    if (o->on_notify) o->on_notify(o);
  });
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 0);
  EXPECT_EQ(c.calls, 1);
  EXPECT_FALSE(list.HasObserver(&b));  // squeezed out after the pass
  a.on_notify = nullptr;
  list.Notify([](ListObserver* o) { ++o->calls; });
  EXPECT_EQ(a.calls, 2);
  EXPECT_EQ(c.calls, 2);
}

struct RolloverCase {
  std::vector<uint32_t> readings;
  int64_t expected_last_us;
};

class RolloverTest : public ::testing::TestWithParam<RolloverCase> {};

TEST_P(RolloverTest, ExtendsTheMillisecondCounterWithoutGoingBack) {
  nbase::RolloverCounter counter;
  int64_t last = 0;
  for (uint32_t reading : GetParam().readings) {
    const int64_t now = counter.Advance(reading);
    EXPECT_GE(now, last);
    last = now;
  }
  EXPECT_EQ(last, GetParam().expected_last_us);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, RolloverTest,
    ::testing::Values(RolloverCase{{5, 10}, 10000},
                      RolloverCase{{0xFFFFFFF0u, 0xFFFFFFFFu}, 0xFFFFFFFFLL * 1000},
                      RolloverCase{{0xFFFFFFF0u, 3}, (0x100000000LL + 3) * 1000},
                      RolloverCase{{0xFFFFFFF0u, 3, 0xFFFFFFF0u, 7}, (0x200000000LL + 7) * 1000},
                      RolloverCase{{100, 100}, 100000}));

TEST(LazyTlsSlotTest, FirstUseRacingOnManyThreadsGivesEachThreadItsOwnValue) {
  static nbase::LazyTlsSlot slot;
  constexpr int kThreads = 8;
  std::atomic<int> ready{0};
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready.load() < kThreads) {
      }
      int mine = i;
      if (slot.Get() != nullptr) ++mismatches;
      slot.Set(&mine);
      Sleep(5);
      if (slot.Get() != &mine) ++mismatches;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
