#include "ipc/reader_take.h"

#include "ipc/event_state.h"

namespace lumo {

int64_t NowUs() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<int64_t>(counter.QuadPart / frequency * 1000000 +
                              counter.QuadPart % frequency * 1000000 / frequency);
}

TakeWait WaitForReaderToTake(HANDLE serverEvent, uint64_t boundMs, DWORD pollMs, const std::function<bool()>& stop) {
  const int64_t startUs = NowUs();
  for (;;) {
    const EventState state = QueryEventState(serverEvent);
    if (state == EventState::NotSignalled) return TakeWait::Taken;
    if (state == EventState::Unknown) return TakeWait::Unknown;
    if (NowUs() - startUs >= static_cast<int64_t>(boundMs) * 1000) return TakeWait::TimedOut;
    if (stop && stop()) return TakeWait::Stopped;
    Sleep(pollMs);
  }
}

}  // namespace lumo
