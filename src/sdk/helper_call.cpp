#include "sdk/helper_call.h"

#include <atomic>
#include <memory>
#include <thread>
#include <utility>

#include "nbase/module_pin.h"

namespace lumo {

namespace {

// Pending -> Running -> Finished: the normal course. The caller moves
// Pending -> CalledOff when the helper is late to begin, and Running ->
// Abandoned when the work is late to return; whichever side moves first
// decides.
enum HelperState : int { kPending = 0, kRunning = 1, kFinished = 2, kCalledOff = 3, kAbandoned = 4 };

// Shared by the caller and the helper; the last of the two frees it.
struct HelperJob {
  HelperJob()
      : started(CreateEventW(nullptr, TRUE, FALSE, nullptr)), done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~HelperJob() {
    if (started) CloseHandle(started);
    if (done) CloseHandle(done);
  }
  HelperJob(const HelperJob&) = delete;
  HelperJob& operator=(const HelperJob&) = delete;

  HANDLE started;
  HANDLE done;
  std::atomic<int> state{kPending};
  std::function<void()> work;
  std::function<void()> late;
};

void RunHelper(const std::shared_ptr<HelperJob>& job) {
  int expected = kPending;
  if (!job->state.compare_exchange_strong(expected, kRunning)) return;  // called off
  SetEvent(job->started);
  job->work();
  expected = kRunning;
  if (!job->state.compare_exchange_strong(expected, kFinished) && job->late) job->late();
  SetEvent(job->done);
}

}  // namespace

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

HelperCallResult RunOnHelperThread(std::function<void()> work, std::function<void()> late, DWORD startBoundMs,
                                   DWORD boundMs) {
  const ULONGLONG begun = GetTickCount64();
  const ULONGLONG deadline = begun + boundMs;
  const ULONGLONG startDeadline = begun + (startBoundMs < boundMs ? startBoundMs : boundMs);
  std::shared_ptr<HelperJob> job;
  try {
    job = std::make_shared<HelperJob>();
  } catch (...) {
    return HelperCallResult::NotStarted;
  }
  if (!job->started || !job->done || !work) return HelperCallResult::NotStarted;
  job->work = std::move(work);
  job->late = std::move(late);
  // The helper may outlive this call, running our code.
  nbase::PinModule();
  try {
    std::thread(RunHelper, job).detach();
  } catch (...) {
    return HelperCallResult::NotStarted;
  }

  if (!WaitServingSentMessages(job->started, startDeadline)) {
    int expected = kPending;
    if (job->state.compare_exchange_strong(expected, kCalledOff)) return HelperCallResult::NotStarted;
    // It began just now: wait for it like any other.
  }
  if (WaitServingSentMessages(job->done, deadline)) return HelperCallResult::Finished;
  int expected = kRunning;
  if (job->state.compare_exchange_strong(expected, kAbandoned)) return HelperCallResult::TimedOut;
  return HelperCallResult::Finished;  // returned between the time-out and now
}

}  // namespace lumo
