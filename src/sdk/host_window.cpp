#include "sdk/host_window.h"

#include <atomic>
#include <memory>
#include <thread>

#include "nbase/module_pin.h"

namespace lumo {

namespace {

enum ReparentState : int { kRunning = 0, kFinished = 1, kAbandoned = 2 };

// Shared by the caller and the helper; the last of the two frees it.
struct ReparentJob {
  ReparentJob() : done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~ReparentJob() {
    if (done) CloseHandle(done);
  }
  ReparentJob(const ReparentJob&) = delete;
  ReparentJob& operator=(const ReparentJob&) = delete;

  HANDLE done;
  std::atomic<int> state{kRunning};
};

void RunReparent(const std::shared_ptr<ReparentJob>& job, HWND child, HWND parent, LateReparent late) {
  SetParent(child, parent);
  int expected = kRunning;
  if (!job->state.compare_exchange_strong(expected, kFinished) && late == LateReparent::BackToTopLevel &&
      IsWindow(child)) {
    // The caller has reported failure: the window must not end up where it
    // was told it would not be.
    SetParent(child, nullptr);
  }
  SetEvent(job->done);
}

// Waits for `event` until `deadline`, running the messages sent to this
// thread's windows as they arrive. True when the event was set in time.
bool WaitServingSentMessages(HANDLE event, ULONGLONG deadline) {
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    const DWORD woke = MsgWaitForMultipleObjectsEx(1, &event, left, QS_SENDMESSAGE, 0);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + 1) return false;  // time-out or failure
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace

bool WindowAnswers(HWND wnd, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

ReparentResult BoundedSetParent(HWND child, HWND parent, DWORD boundMs, LateReparent late) {
  const ULONGLONG deadline = GetTickCount64() + boundMs;
  std::shared_ptr<ReparentJob> job;
  try {
    job = std::make_shared<ReparentJob>();
  } catch (...) {
    return ReparentResult::NoThread;
  }
  if (!job->done) return ReparentResult::NoThread;
  // The helper may outlive this call, running our code.
  nbase::PinModule();
  try {
    std::thread(RunReparent, job, child, parent, late).detach();
  } catch (...) {
    return ReparentResult::NoThread;
  }
  if (WaitServingSentMessages(job->done, deadline)) return ReparentResult::Done;
  int expected = kRunning;
  if (job->state.compare_exchange_strong(expected, kAbandoned)) return ReparentResult::TimedOut;
  return ReparentResult::Done;  // finished between the time-out and now
}

}  // namespace lumo
