#include "sdk/helper_call.h"

#include <utility>

#include "nbase/monotonic_clock.h"
#include "nbase/thread.h"

namespace lumo {

HelperCallResult RunOnHelperThread(std::function<void()> work, std::function<void()> late, DWORD startBoundMs,
                                   DWORD boundMs) {
  if (!work) return HelperCallResult::NotStarted;
  const uint64_t begun = nbase::SteadyNowMs();
  nbase::Thread helper;
  if (!helper.Create(std::move(work))) return HelperCallResult::NotStarted;
  const DWORD startBound = startBoundMs < boundMs ? startBoundMs : boundMs;
  if (!helper.WaitForStart(startBound, nbase::ThreadWait::ServingSentMessages)) return HelperCallResult::NotStarted;
  const uint64_t spent = nbase::SteadyNowMs() - begun;
  const DWORD left = spent >= boundMs ? 0 : static_cast<DWORD>(boundMs - spent);
  if (helper.Join(left, nbase::ThreadWait::ServingSentMessages)) return HelperCallResult::Finished;
  // Still running: it goes on alone, and the late step follows the work.
  // Unless the work returned just now.
  return helper.LetGo(std::move(late)) ? HelperCallResult::TimedOut : HelperCallResult::Finished;
}

}  // namespace lumo
