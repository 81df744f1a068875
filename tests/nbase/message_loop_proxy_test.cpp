#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "nbase/message_loop.h"
#include "nbase/message_loop_proxy.h"
#include "nbase/monotonic_clock.h"
#include "nbase/weak_callback.h"
#include "test_tasks.h"

using nbase::MessageLoop;
using nbase::MessageLoopProxy;
using nbase_test::EventLog;
using nbase_test::Tracked;
using ::testing::ElementsAre;

namespace {

class Counted : public nbase::SupportWeakCallback {
 public:
  void Hit() { ++hits; }
  int hits = 0;
};

// GCC cannot see that the liveness test guards the call after the object's
// deletion, which is exactly what this test exercises.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif

TEST(WeakCallbackTest, RunsWhileTheObjectLivesAndNotAfter) {
  auto object = std::make_unique<Counted>();
  std::weak_ptr<nbase::WeakFlag> first = object->GetWeakFlag();
  std::weak_ptr<nbase::WeakFlag> second = object->GetWeakFlag();
  // The same counting record both times.
  EXPECT_FALSE(first.owner_before(second) || second.owner_before(first));

  auto callback = nbase::MakeWeakCallback(object.get(), &Counted::Hit);
  nbase::Task copy = callback;  // copies share the flag
  copy();
  EXPECT_EQ(object->hits, 1);

  int lambda_hits = 0;
  nbase::Task lambda = nbase::MakeWeakCallback(object.get(), [&] { ++lambda_hits; });
  object.reset();
  copy();
  callback();
  lambda();
  EXPECT_TRUE(callback.Expired());
  EXPECT_EQ(lambda_hits, 0);
}

// Records the run time of every record that reaches the loop.
class RecordingLoop : public MessageLoop {
 public:
  void AddIncomingTask(nbase::QueuedTask* task) override {
    run_times.push_back(task->run_time);
    nestable.push_back(task->nestable);
    MessageLoop::AddIncomingTask(task);
  }
  std::vector<int64_t> run_times;
  std::vector<bool> nestable;
};

TEST(MessageLoopProxyTest, ZeroDelayTakesTheImmediatePathAndOthersGetARunTime) {
  RecordingLoop loop;
  auto proxy = loop.message_loop_proxy();
  const int64_t before = nbase::MonotonicNow();
  EXPECT_TRUE(proxy->PostDelayedTask([] {}, 0));
  EXPECT_TRUE(proxy->PostNonNestableDelayedTask([] {}, 0));
  EXPECT_TRUE(proxy->PostDelayedTask([] {}, 5000000));
  EXPECT_TRUE(proxy->PostNonNestableDelayedTask([] {}, -5000000));
  const int64_t after = nbase::MonotonicNow();
  ASSERT_EQ(loop.run_times.size(), 4u);
  EXPECT_EQ(loop.run_times[0], 0);
  EXPECT_EQ(loop.run_times[1], 0);
  EXPECT_GE(loop.run_times[2], before + 5000000);
  EXPECT_LE(loop.run_times[2], after + 5000000);
  EXPECT_LE(loop.run_times[3], after - 5000000);
  EXPECT_THAT(loop.nestable, ElementsAre(true, false, true, false));
}

// Counts the copies made of it; a posted task is moved all the way into the
// loop's queue, whichever post it goes through.
struct CopyCounter {
  explicit CopyCounter(int* copies) : copies(copies) {}
  CopyCounter(const CopyCounter& other) : copies(other.copies) { ++*copies; }
  CopyCounter(CopyCounter&& other) noexcept : copies(other.copies) {}
  void operator()() const {}
  int* copies;
};

TEST(MessageLoopProxyTest, EveryPostMovesTheTaskInsteadOfCopyingIt) {
  RecordingLoop loop;
  auto proxy = loop.message_loop_proxy();
  int copies = 0;
  nbase::Task tasks[4] = {nbase::Task(CopyCounter(&copies)), nbase::Task(CopyCounter(&copies)),
                          nbase::Task(CopyCounter(&copies)), nbase::Task(CopyCounter(&copies))};
  ASSERT_EQ(copies, 0);
  EXPECT_TRUE(proxy->PostTask(std::move(tasks[0])));
  EXPECT_TRUE(proxy->PostNonNestableTask(std::move(tasks[1])));
  EXPECT_TRUE(proxy->PostDelayedTask(std::move(tasks[2]), 5000000));
  EXPECT_TRUE(proxy->PostNonNestableDelayedTask(std::move(tasks[3]), 5000000));
  loop.message_loop_proxy()->PostTask([&loop] { loop.QuitWhenIdle(); });
  loop.Run();
  EXPECT_EQ(copies, 0);
  EXPECT_EQ(loop.run_times.size(), 5u);
}

TEST(MessageLoopProxyTest, PostsFromOtherThreadsRunOnTheLoopThread) {
  EventLog log;
  MessageLoop loop;
  auto proxy = loop.message_loop_proxy();
  EXPECT_TRUE(proxy->RunsOnCurrentThread());
  const DWORD loop_thread = GetCurrentThreadId();
  DWORD ran_on = 0;
  bool runs_on_other = true;
  std::thread poster([&] {
    runs_on_other = proxy->RunsOnCurrentThread();
    EXPECT_TRUE(proxy->PostTask([&] { ran_on = GetCurrentThreadId(); }));
    EXPECT_TRUE(proxy->PostDelayedTask(Tracked(&log, "delayed"), 10 * 1000));
    EXPECT_TRUE(proxy->PostDelayedTask([&] { loop.QuitWhenIdle(); }, 30 * 1000));
  });
  loop.Run();
  poster.join();
  EXPECT_FALSE(runs_on_other);
  EXPECT_EQ(ran_on, loop_thread);
  EXPECT_THAT(log.With("ran:"), ElementsAre("delayed"));
}

TEST(MessageLoopProxyTest, AfterTheLoopIsGonePostsFailFromEveryThread) {
  EventLog log;
  auto loop = std::make_unique<MessageLoop>();
  std::shared_ptr<MessageLoopProxy> proxy = loop->message_loop_proxy();
  loop.reset();

  EXPECT_FALSE(proxy->PostTask(Tracked(&log, "a")));
  EXPECT_FALSE(proxy->PostNonNestableDelayedTask(Tracked(&log, "b"), 1000));
  EXPECT_FALSE(proxy->RunsOnCurrentThread());
  bool other_post = true, other_runs = true;
  std::thread([&] {
    other_post = proxy->PostDelayedTask(Tracked(&log, "c"), 0);
    other_post = proxy->PostNonNestableTask(Tracked(&log, "d")) || other_post;
    other_runs = proxy->RunsOnCurrentThread();
  }).join();
  EXPECT_FALSE(other_post);
  EXPECT_FALSE(other_runs);
  // Dropped, never run.
  EXPECT_THAT(log.Events(), ElementsAre("gone:a", "gone:b", "gone:c", "gone:d"));
}

TEST(MessageLoopProxyTest, ProxyOutlivingItsLoopDiesAtOnceOnTheLastHoldersThread) {
  auto loop = std::make_unique<MessageLoop>();
  std::shared_ptr<MessageLoopProxy> held = loop->message_loop_proxy();
  std::weak_ptr<nbase::WeakFlag> proxy_alive = held->GetWeakFlag();
  loop.reset();
  EXPECT_FALSE(proxy_alive.expired());  // the holder keeps it, detached

  bool alive_after_release = true;
  std::thread([&] {
    std::shared_ptr<MessageLoopProxy> last = std::move(held);
    last.reset();
    alive_after_release = !proxy_alive.expired();
  }).join();
  EXPECT_FALSE(alive_after_release);
}

TEST(MessageLoopProxyTest, LoopDestructionWaitsForAPostInProgress) {
  // Many posts racing the loop's end: each one either lands (and is destroyed
  // with the loop) or reports failure; none touches a destroyed loop.
  for (int round = 0; round < 20; ++round) {
    auto loop = std::make_unique<MessageLoop>();
    auto proxy = loop->message_loop_proxy();
    std::atomic<bool> go{false};
    std::atomic<int> accepted{0}, refused{0};
    std::thread poster([&] {
      while (!go.load()) {
      }
      for (int i = 0; i < 200; ++i) (proxy->PostTask([] {}) ? accepted : refused)++;
    });
    go = true;
    loop.reset();
    poster.join();
    EXPECT_EQ(accepted + refused, 200);
    EXPECT_FALSE(proxy->PostTask([] {}));
  }
}

}  // namespace
