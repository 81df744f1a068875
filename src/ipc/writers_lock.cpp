#include "ipc/writers_lock.h"

#include <cstdint>

#include "ipc/shm_layout.h"
#include "nbase/monotonic_clock.h"

namespace lumo {

bool WritersLock::Open(const char* channelName) {
  *this = WritersLock{};
  char name[kShmEventNameCapacity];
  if (!IsUsableChannelName(channelName) || !FormatEventName(channelName, kShmWritersLockSuffix, name)) {
    openError = ERROR_INVALID_NAME;
    return false;
  }
  // Created unowned, or opened when another sender made it first; only the
  // rights to wait and to release, which a squatter's DACL may deny too.
  mutex = CreateMutexExA(nullptr, name, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE);
  if (mutex == nullptr) {
    openError = GetLastError();
    return false;
  }
  return true;
}

LockTake WritersLock::Take(uint64_t boundMs, HANDLE stopSet, const std::function<uint64_t()>& msBeforeStop) {
  if (mutex == nullptr || held) return LockTake::Failed;
  const uint64_t startMs = nbase::SteadyNowMs();
  for (;;) {
    const uint64_t stopInMs = msBeforeStop ? msBeforeStop() : UINT64_MAX;
    if (stopInMs == 0) return LockTake::Stopped;
    const uint64_t elapsedMs = nbase::SteadyNowMs() - startMs;
    const uint64_t leftMs = elapsedMs < boundMs ? boundMs - elapsedMs : 0;
    const uint64_t waitMs = leftMs < stopInMs ? leftMs : stopInMs;
    // Once a stop time is known the wait ends by it; until then the event
    // tells that one was set.
    const HANDLE handles[2] = {mutex, stopSet};
    const DWORD count = stopSet != nullptr && stopInMs == UINT64_MAX ? 2 : 1;
    switch (WaitForMultipleObjects(count, handles, FALSE, static_cast<DWORD>(waitMs))) {
      case WAIT_OBJECT_0:
        held = true;
        return LockTake::Taken;
      case WAIT_ABANDONED_0:
        held = true;
        return LockTake::Abandoned;
      case WAIT_OBJECT_0 + 1:
        break;  // a stop time was set: wait again, by it
      case WAIT_TIMEOUT:
        if (leftMs <= stopInMs) return LockTake::TimedOut;
        break;
      default:
        return LockTake::Failed;
    }
  }
}

void WritersLock::Release() {
  if (!held) return;
  ReleaseMutex(mutex);
  held = false;
}

void WritersLock::Close() {
  Release();
  if (mutex != nullptr) CloseHandle(mutex);
  *this = WritersLock{};
}

std::wstring DescribeWritersLockFailure(uint32_t windowsError) {
  switch (windowsError) {
    case ERROR_INVALID_HANDLE:
      return L"its name is held by an object that is not a mutex: another program may hold it";
    case ERROR_ACCESS_DENIED:
      return L"access denied: another program, another user or a higher integrity level holds its name";
    default:
      return L"error " + std::to_wstring(windowsError);
  }
}

}  // namespace lumo
