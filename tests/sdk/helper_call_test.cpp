// A blocking call on a helper thread, waited for while this thread answers
// the messages sent to its windows: on real threads and a real window.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "sdk/helper_call.h"

namespace {

using lumo::HelperCallResult;
using lumo::RunOnHelperThread;

TEST(HelperCallTest, SentMessagesAreAnsweredWhileTheWorkRunsAndPostedOnesWait) {
  HWND wnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(wnd, nullptr);
  ASSERT_TRUE(PostMessageW(wnd, WM_APP, 0, 0));
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  auto result = std::make_shared<std::atomic<int>>(0);
  int answered = 0;
  // The work returns only once every send has been answered: a wait that
  // did not serve them would end by the senders' time-out, not by the work.
  std::thread host([&] {
    for (int i = 0; i < 5; ++i) {
      DWORD_PTR r = 0;
      if (SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_NORMAL, 3000, &r)) ++answered;
      Sleep(20);
    }
    SetEvent(release);
  });
  const HelperCallResult got = RunOnHelperThread(
      [result, release] {
        WaitForSingleObject(release, 20000);
        result->store(42);
      },
      nullptr, 1000, 30000);
  host.join();
  EXPECT_EQ(got, HelperCallResult::Finished);
  EXPECT_EQ(result->load(), 42);
  EXPECT_EQ(answered, 5);
  // No posted message ran inside the call.
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, wnd, WM_APP, WM_APP, PM_REMOVE));
  DestroyWindow(wnd);
  CloseHandle(release);
}

TEST(HelperCallTest, WorkPastTheBoundRunsOnAndThenItsLateStep) {
  struct Shared {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE lateDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> workReturned{false};
    ~Shared() {
      CloseHandle(release);
      CloseHandle(lateDone);
    }
  };
  auto shared = std::make_shared<Shared>();
  const ULONGLONG start = GetTickCount64();
  const HelperCallResult got = RunOnHelperThread(
      [shared] {
        WaitForSingleObject(shared->release, 20000);
        shared->workReturned.store(true);
      },
      [shared] {
        if (shared->workReturned.load()) SetEvent(shared->lateDone);
      },
      1000, 300);
  EXPECT_EQ(got, HelperCallResult::TimedOut);
  EXPECT_LT(GetTickCount64() - start, 10000u);  // bounded, not the work's 20 s
  SetEvent(shared->release);
  EXPECT_EQ(WaitForSingleObject(shared->lateDone, 10000), WAIT_OBJECT_0);
}

// While this thread holds the loader lock no new thread can begin: the call
// gives up after its start bound, and the work never runs, not even later.
TEST(HelperCallTest, HelperThatCannotBeginIsCalledOff) {
  using LockFn = LONG(WINAPI*)(ULONG, ULONG*, ULONG_PTR*);
  using UnlockFn = LONG(WINAPI*)(ULONG, ULONG_PTR);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto lock = reinterpret_cast<LockFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
  const auto unlock =
      reinterpret_cast<UnlockFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
  ASSERT_NE(lock, nullptr);
  ASSERT_NE(unlock, nullptr);
  auto ran = std::make_shared<std::atomic<bool>>(false);
  ULONG disposition = 0;
  ULONG_PTR cookie = 0;
  ASSERT_EQ(lock(0, &disposition, &cookie), 0);
  const ULONGLONG start = GetTickCount64();
  const HelperCallResult got = RunOnHelperThread([ran] { ran->store(true); }, nullptr, 200, 5000);
  const ULONGLONG took = GetTickCount64() - start;
  unlock(0, cookie);
  EXPECT_EQ(got, HelperCallResult::NotStarted);
  EXPECT_LT(took, 4000u);  // the start bound, not the whole bound
  Sleep(500);  // the helper begins now, finds itself called off and ends
  EXPECT_FALSE(ran->load());
}

}  // namespace
