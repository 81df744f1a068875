#include "ipc/send_result.h"

#include "ipc/shm_layout.h"

namespace lumo {

// The texts below name the limit.
static_assert(kShmMaxPayload == 2044, "the log text names the host channel's payload limit");

const wchar_t* SendResultText(SendResult result) {
  switch (result) {
    case SendResult::Queued:
      return L"";
    case SendResult::NoTarget:
      return L"no host channel: the command line has no --lumo-pipe";
    case SendResult::NotRunning:
      return L"the IPC link is not running";
    case SendResult::Closed:
      return L"the IPC link is closed (lumoGameUninit)";
    case SendResult::Full:
      return L"the queue for the host is full: the host does not take its messages";
    case SendResult::TooLarge:
      return L"the message is too large for a host channel (at most 2044 bytes)";
    case SendResult::EmptyEnvelope:
      // The only envelope the exports leave empty is one for a text that
      // is not UTF-8.
      return L"the text is not valid UTF-8";
  }
  return L"unknown";
}

HostOpenFailure ClassifyHostOpen(ShmStatus status, uint32_t windowsError) {
  if (status == ShmStatus::InvalidName) return HostOpenFailure::BadName;
  if (status == ShmStatus::RegionRefused) return HostOpenFailure::RegionRefused;
  // Mapping a view larger than the section is refused with an access
  // denied too: that is the region's size, not the launcher's rights.
  if (status == ShmStatus::MapViewFailed) return HostOpenFailure::Unmappable;
  switch (windowsError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return HostOpenFailure::Missing;
    case ERROR_ACCESS_DENIED:
      return HostOpenFailure::AccessDenied;
    default:
      return HostOpenFailure::Other;
  }
}

std::wstring DescribeHostOpen(ShmStatus status, uint32_t windowsError) {
  switch (ClassifyHostOpen(status, windowsError)) {
    case HostOpenFailure::Missing:
      // Named objects live in the session's namespace (an AppContainer has
      // its own): a launcher elsewhere is not found, it is not refused.
      return L"it does not exist: no host created it, or the launcher runs in another session or as another user, "
             L"or the game runs inside an AppContainer";
    case HostOpenFailure::AccessDenied:
      return L"access denied: the host runs as another user or at a higher integrity level";
    case HostOpenFailure::BadName:
      return L"the name cannot name a channel";
    case HostOpenFailure::RegionRefused:
      return L"its region is not a committed page-file region: another program may hold the channel's name";
    case HostOpenFailure::Unmappable:
      return L"its region could not be mapped whole (error " + std::to_wstring(windowsError) +
             L"): it may be smaller than 2048 bytes; another program may hold the channel's name";
    case HostOpenFailure::Other:
      break;
  }
  return L"status " + std::to_wstring(static_cast<int>(status)) + L", error " + std::to_wstring(windowsError);
}

}  // namespace lumo
