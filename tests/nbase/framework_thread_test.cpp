#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "nbase/framework_thread.h"
#include "nbase/message_loop_proxy.h"
#include "nbase/win_ui_message_pump.h"
#include "test_tasks.h"

using nbase::FrameworkThread;
using nbase::LoopType;
using nbase_test::EventLog;
using nbase_test::Tracked;
using ::testing::ElementsAre;

namespace {

// Records what its hooks see, on the framework thread.
class ProbeThread : public FrameworkThread {
 public:
  explicit ProbeThread(EventLog* log) : FrameworkThread("Probe"), log_(log) {}
  ~ProbeThread() override { Stop(); }

  DWORD init_thread = 0;
  bool init_saw_loop = false;
  bool cleanup_saw_loop = false;
  bool cleanup_saw_quit_flag = false;
  bool slot_owner_was_this = false;

 protected:
  void Init() override {
    init_thread = GetCurrentThreadId();
    init_saw_loop = message_loop() != nullptr && message_loop() == nbase::MessageLoop::Current();
    auto* slot = CurrentThreadSlot();
    slot_owner_was_this = slot && slot->owner == this && !slot->quit_flag;
    log_->Add("init");
  }
  void Cleanup() override {
    cleanup_saw_loop = message_loop() != nullptr;
    auto* slot = CurrentThreadSlot();
    cleanup_saw_quit_flag = slot && slot->quit_flag;
    log_->Add("cleanup");
  }

 private:
  EventLog* log_;
};

TEST(FrameworkThreadTest, RunsTasksBetweenInitAndCleanup) {
  EventLog log;
  ProbeThread thread(&log);
  ASSERT_TRUE(thread.Start(LoopType::Default, nullptr));
  EXPECT_THAT(log.Events(), ElementsAre("init"));  // before Start returned
  EXPECT_NE(thread.init_thread, GetCurrentThreadId());
  EXPECT_EQ(thread.init_thread, thread.thread_id());
  EXPECT_TRUE(thread.init_saw_loop);
  EXPECT_TRUE(thread.slot_owner_was_this);
  EXPECT_EQ(FrameworkThread::CurrentThreadSlot(), nullptr);

  DWORD task_thread = 0;
  thread.message_loop()->PostTask([&] { task_thread = GetCurrentThreadId(); });
  thread.message_loop()->PostTask(Tracked(&log, "posted-just-before-stop"));
  thread.message_loop()->PostDelayedTask(Tracked(&log, "an-hour-away"), 3600LL * 1000 * 1000);
  thread.Stop();

  EXPECT_EQ(task_thread, thread.init_thread);
  EXPECT_THAT(log.Events(), ElementsAre("init", "ran:posted-just-before-stop", "gone:posted-just-before-stop",
                                        "cleanup", "gone:an-hour-away"));
  EXPECT_TRUE(thread.cleanup_saw_loop);
  EXPECT_TRUE(thread.cleanup_saw_quit_flag);
  EXPECT_EQ(thread.message_loop(), nullptr);
  EXPECT_EQ(thread.thread_id(), 0u);
  EXPECT_FALSE(thread.running());
}

TEST(FrameworkThreadTest, StartAndStopAreIdempotentAndTheThreadRestarts) {
  EventLog log;
  ProbeThread thread(&log);
  thread.Stop();  // never started: returns at once
  ASSERT_TRUE(thread.Start());
  EXPECT_FALSE(thread.Start());
  const DWORD first_id = thread.thread_id();
  thread.Stop();
  thread.Stop();
  EXPECT_THAT(log.Events(), ElementsAre("init", "cleanup"));

  ASSERT_TRUE(thread.Start());
  EXPECT_NE(thread.thread_id(), 0u);
  (void)first_id;
  thread.message_loop()->PostTask(Tracked(&log, "after-restart"));
  thread.Stop();
  EXPECT_THAT(log.With("ran:"), ElementsAre("after-restart"));
  EXPECT_THAT(log.With("init"), ::testing::SizeIs(2));
}

TEST(FrameworkThreadTest, StopAfterTheLoopEndedByItselfIsSafe) {
  EventLog log;
  ProbeThread thread(&log);
  ASSERT_TRUE(thread.Start());
  auto proxy = thread.message_loop_proxy();
  thread.message_loop()->PostTask([] { nbase::MessageLoop::Current()->QuitWhenIdle(); });
  // Wait until the body has torn the loop down on its own.
  while (proxy->PostTask([] {})) Sleep(1);
  thread.Stop();
  EXPECT_THAT(log.Events(), ElementsAre("init", "cleanup"));
  EXPECT_FALSE(thread.running());
}

// The loader lock, as any DllMain holds it: taken by the test thread itself.
class LoaderLockHeld {
 public:
  LoaderLockHeld() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    lock_ = reinterpret_cast<LockFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
    unlock_ = reinterpret_cast<UnlockFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
    held_ = lock_ && unlock_ && lock_(0, nullptr, &cookie_) == 0;
  }
  ~LoaderLockHeld() { Release(); }
  bool held() const { return held_; }
  void Release() {
    if (held_) unlock_(0, cookie_);
    held_ = false;
  }

 private:
  using LockFn = LONG(NTAPI*)(ULONG, ULONG*, ULONG_PTR*);
  using UnlockFn = LONG(NTAPI*)(ULONG, ULONG_PTR);
  LockFn lock_ = nullptr;
  UnlockFn unlock_ = nullptr;
  ULONG_PTR cookie_ = 0;
  bool held_ = false;
};

// With the loader lock held a new thread cannot begin: Start gives up in
// time, and the cancelled thread never runs its body, also once the lock is
// free. Afterwards the same object starts normally.
TEST(FrameworkThreadTest, StartUnderTheLoaderLockFailsInTimeAndTheThreadNeverRuns) {
  EventLog log;
  ProbeThread thread(&log);
  LoaderLockHeld lock;
  ASSERT_TRUE(lock.held());
  const ULONGLONG start = GetTickCount64();
  const bool started = thread.Start();
  const ULONGLONG took = GetTickCount64() - start;
  lock.Release();
  EXPECT_FALSE(started);
  EXPECT_FALSE(thread.running());
  EXPECT_LT(took, 5000u);  // bounded, not a measurement
  Sleep(300);              // time for the cancelled thread to begin and end
  EXPECT_TRUE(log.Events().empty());

  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.Stop());
  EXPECT_THAT(log.Events(), ElementsAre("init", "cleanup"));
}

// A body that does not return in time: Join and Stop report it instead of
// waiting on; once the body returns, they succeed.
TEST(FrameworkThreadTest, JoinAndStopGiveUpOnABodyThatDoesNotReturn) {
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  class Blocked : public nbase::Thread {
   public:
    explicit Blocked(HANDLE release) : release_(release) {}
    ~Blocked() override { Join(); }
    void Run() override { WaitForSingleObject(release_, 30000); }

   private:
    HANDLE release_;
  } thread(release);
  ASSERT_TRUE(thread.Create());
  EXPECT_FALSE(thread.Join(100));
  EXPECT_NE(thread.thread_handle(), nullptr);
  SetEvent(release);
  EXPECT_TRUE(thread.Join(5000));
  EXPECT_EQ(thread.thread_handle(), nullptr);

  ResetEvent(release);
  EventLog log;
  ProbeThread framework(&log);
  ASSERT_TRUE(framework.Start());
  framework.message_loop()->PostTask([release] { WaitForSingleObject(release, 30000); });
  EXPECT_FALSE(framework.Stop(100));
  EXPECT_TRUE(framework.running());
  SetEvent(release);
  EXPECT_TRUE(framework.Stop(5000));
  EXPECT_THAT(log.Events(), ElementsAre("init", "cleanup"));
  CloseHandle(release);
}

// A join that serves sent messages answers another thread's SendMessage to
// this thread's window while the body runs, and leaves posted messages
// queued; a plain join answers none. The body returns only once the sender
// is done, so a join that did not serve them ends by the senders' time-outs.
struct JoinWaitCase {
  const char* name;
  nbase::ThreadWait how;
  int answered;
};

class JoinWaitTest : public ::testing::TestWithParam<JoinWaitCase> {};

TEST_P(JoinWaitTest, SentMessagesAreAnsweredOnlyWhenAsked) {
  const JoinWaitCase& c = GetParam();
  HWND wnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(wnd, nullptr);
  ASSERT_TRUE(PostMessageW(wnd, WM_APP, 0, 0));
  std::atomic<int> answered{0};
  nbase::Thread sender;
  ASSERT_TRUE(sender.Create([wnd, &answered] {
    for (int i = 0; i < 3; ++i) {
      DWORD_PTR r = 0;
      if (SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_NORMAL, 300, &r)) answered.fetch_add(1);
    }
  }));
  EXPECT_TRUE(sender.Join(10000, c.how));
  EXPECT_EQ(answered.load(), c.answered);
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, wnd, WM_APP, WM_APP, PM_REMOVE));  // not run by the join
  // The plain join's unanswered sends are still queued: they must not reach
  // the window after it is gone.
  while (PeekMessageW(&msg, wnd, 0, 0, PM_REMOVE)) {
  }
  DestroyWindow(wnd);
}

INSTANTIATE_TEST_SUITE_P(Table, JoinWaitTest,
                         ::testing::Values(JoinWaitCase{"Plain", nbase::ThreadWait::Plain, 0},
                                           JoinWaitCase{"ServingSentMessages",
                                                        nbase::ThreadWait::ServingSentMessages, 3}),
                         [](const ::testing::TestParamInfo<JoinWaitCase>& info) { return info.param.name; });

// What a let-go thread's body and late step saw.
struct LetGoSeen {
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE late_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> body_returned{false};
  std::atomic<bool> late_saw_body_returned{false};
  std::atomic<int> late_runs{0};
  ~LetGoSeen() {
    CloseHandle(release);
    CloseHandle(late_done);
  }
  nbase::Thread::Body Late(std::shared_ptr<int> owned) {
    return [this, owned] {
      late_saw_body_returned.store(body_returned.load());
      late_runs.fetch_add(1);
      SetEvent(late_done);
    };
  }
};

bool Expires(const std::weak_ptr<int>& watch) {
  for (int i = 0; i < 2000 && !watch.expired(); ++i) Sleep(1);
  return watch.expired();
}

// A thread let go while its body runs: the owner no longer has it, the body
// goes on, the late step runs once after the body, and what the body and the
// late step own is freed on the thread afterwards. Let go after the body
// returned, the late step is dropped unrun.
TEST(ThreadTest, LetGoRunsTheLateStepAfterTheBodyAndOnlyThen) {
  LetGoSeen seen;
  auto owned = std::make_shared<int>(0);
  std::weak_ptr<int> watch = owned;
  {
    nbase::Thread thread;
    ASSERT_TRUE(thread.Create([&seen, owned] {
      WaitForSingleObject(seen.release, 10000);
      seen.body_returned.store(true);
    }));
    EXPECT_FALSE(thread.Join(50));
    EXPECT_TRUE(thread.LetGo(seen.Late(owned)));
    EXPECT_EQ(thread.thread_handle(), nullptr);
    EXPECT_TRUE(thread.Join(0));  // nothing left to wait for
  }  // the owner is gone; the thread is not
  owned.reset();
  EXPECT_FALSE(watch.expired());
  EXPECT_EQ(WaitForSingleObject(seen.late_done, 0), WAIT_TIMEOUT);
  SetEvent(seen.release);
  EXPECT_EQ(WaitForSingleObject(seen.late_done, 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(seen.late_saw_body_returned.load());
  EXPECT_TRUE(Expires(watch));
  EXPECT_EQ(seen.late_runs.load(), 1);

  auto late_ran = std::make_shared<std::atomic<bool>>(false);
  nbase::Thread quick;
  std::atomic<bool> quick_returned{false};
  ASSERT_TRUE(quick.Create([&quick_returned] { quick_returned.store(true); }));
  while (!quick_returned.load()) Sleep(1);
  Sleep(50);  // past the body's end; the thread is left unjoined
  EXPECT_FALSE(quick.LetGo([late_ran] { late_ran->store(true); }));
  Sleep(100);
  EXPECT_FALSE(late_ran->load());
}

// A thread let go before it could begin (the delayed exit, armed inside a
// DllMain) is not called off: it runs its body and then its late step as
// soon as the loader lock is free.
TEST(ThreadTest, ALetGoThreadThatCouldNotBeginRunsOnceTheLoaderLockIsFree) {
  LetGoSeen seen;
  auto owned = std::make_shared<int>(0);
  std::weak_ptr<int> watch = owned;
  LoaderLockHeld lock;
  ASSERT_TRUE(lock.held());
  {
    nbase::Thread thread;
    ASSERT_TRUE(thread.Create([&seen] { seen.body_returned.store(true); }));
    EXPECT_TRUE(thread.LetGo(seen.Late(owned)));
  }
  owned.reset();
  Sleep(200);
  EXPECT_FALSE(seen.body_returned.load());  // cannot begin yet
  lock.Release();
  EXPECT_EQ(WaitForSingleObject(seen.late_done, 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(seen.late_saw_body_returned.load());
  EXPECT_TRUE(Expires(watch));
}

class QuitOnFirstMessage : public nbase::MessageDispatcher {
 public:
  bool Dispatch(const MSG& msg) override {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
  }
};

class CountingFactory : public nbase::MessageLoopFactory {
 public:
  nbase::MessageLoop* CreateLoop() override {
    ++made;
    return new nbase::IOMessageLoop;
  }
  std::atomic<int> made{0};
};

class LoopTypeTest : public ::testing::TestWithParam<LoopType> {};

TEST_P(LoopTypeTest, ThreadRunsTasksOnItsLoopType) {
  EventLog log;
  FrameworkThread thread("typed");
  auto factory = std::make_shared<CountingFactory>();
  thread.set_loop_factory(factory);
  QuitOnFirstMessage dispatcher;
  ASSERT_TRUE(thread.Start(GetParam(), GetParam() == LoopType::UI ? &dispatcher : nullptr));
  const LoopType expected = GetParam() == LoopType::Custom ? LoopType::IO : GetParam();
  LoopType seen = LoopType::Custom;
  thread.message_loop()->PostTask([&] { seen = nbase::MessageLoop::Current()->type(); });
  HANDLE delayed_ran = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread.message_loop_proxy()->PostDelayedTask(
      [delayed_ran, marker = Tracked(&log, "delayed")] {
        marker();
        SetEvent(delayed_ran);
      },
      10 * 1000);
  // Stop would discard a delayed task that is not yet due: wait for it.
  EXPECT_EQ(WaitForSingleObject(delayed_ran, 10000), WAIT_OBJECT_0);
  thread.Stop();
  CloseHandle(delayed_ran);
  EXPECT_EQ(seen, expected);
  EXPECT_THAT(log.With("ran:"), ElementsAre("delayed"));
  EXPECT_EQ(factory->made.load(), GetParam() == LoopType::Custom ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Types, LoopTypeTest,
                         ::testing::Values(LoopType::Default, LoopType::UI, LoopType::IO, LoopType::Custom));

struct PriorityCase {
  nbase::ThreadPriority priority;
  bool applied;
  int windows_priority;
};

class PriorityTest : public ::testing::TestWithParam<PriorityCase> {};

TEST_P(PriorityTest, MapsToTheWindowsPriority) {
  const PriorityCase& c = GetParam();
  int mapped = 12345;
  EXPECT_EQ(nbase::MapThreadPriority(c.priority, &mapped), c.applied);
  if (c.applied) {
    EXPECT_EQ(mapped, c.windows_priority);
  } else {
    EXPECT_EQ(mapped, 12345);  // nothing to apply
  }

  // And a real thread gets it.
  class Idle : public nbase::Thread {
   public:
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~Idle() override {
      SetEvent(release);
      Join();
      CloseHandle(release);
    }
    void Run() override { WaitForSingleObject(release, INFINITE); }
  } thread;
  thread.set_priority(c.priority);
  ASSERT_TRUE(thread.Create());
  EXPECT_EQ(GetThreadPriority(thread.thread_handle()), c.windows_priority);
}

INSTANTIATE_TEST_SUITE_P(Table, PriorityTest,
                         ::testing::Values(PriorityCase{-1, false, THREAD_PRIORITY_NORMAL},
                                           PriorityCase{0, false, THREAD_PRIORITY_NORMAL},
                                           PriorityCase{1, true, THREAD_PRIORITY_LOWEST},
                                           PriorityCase{2, true, THREAD_PRIORITY_BELOW_NORMAL},
                                           PriorityCase{3, true, THREAD_PRIORITY_HIGHEST},
                                           PriorityCase{4, true, THREAD_PRIORITY_TIME_CRITICAL},
                                           PriorityCase{5, true, THREAD_PRIORITY_BELOW_NORMAL},
                                           PriorityCase{7, true, THREAD_PRIORITY_BELOW_NORMAL}));

}  // namespace
