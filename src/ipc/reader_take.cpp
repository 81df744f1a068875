#include "ipc/reader_take.h"

#include "ipc/event_state.h"
#include "nbase/monotonic_clock.h"

namespace lumo {

TakeWait WaitForReaderToTake(HANDLE serverEvent, uint64_t boundMs, DWORD pollMs, const std::function<bool()>& stop,
                             bool* wasPending) {
  const uint64_t startMs = nbase::SteadyNowMs();
  for (bool first = true;; first = false) {
    const EventState state = QueryEventState(serverEvent);
    if (first && wasPending != nullptr) *wasPending = state == EventState::Signalled;
    if (state == EventState::NotSignalled) return TakeWait::Taken;
    if (state == EventState::Unknown) return TakeWait::Unknown;
    if (nbase::SteadyNowMs() - startMs >= boundMs) return TakeWait::TimedOut;
    if (stop && stop()) return TakeWait::Stopped;
    Sleep(pollMs);
  }
}

}  // namespace lumo
