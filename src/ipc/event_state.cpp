#include "ipc/event_state.h"

#include "nbase/system_library.h"

namespace lumo {

namespace {

// EVENT_BASIC_INFORMATION of the native API.
struct EventBasicInformation {
  int eventType;
  LONG eventState;
};
constexpr int kEventBasicInformation = 0;
using NtQueryEventFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

NtQueryEventFn LookUpNtQueryEvent() { return nbase::LoadedFunction<NtQueryEventFn>(L"ntdll.dll", "NtQueryEvent"); }

bool QueryEvent(HANDLE event, EventBasicInformation& info) {
  static const NtQueryEventFn query = LookUpNtQueryEvent();
  if (query == nullptr || event == nullptr) return false;
  return query(event, kEventBasicInformation, &info, sizeof(info), nullptr) == 0;
}

}  // namespace

EventState QueryEventState(HANDLE event) {
  EventBasicInformation info = {};
  if (!QueryEvent(event, info)) return EventState::Unknown;
  return info.eventState != 0 ? EventState::Signalled : EventState::NotSignalled;
}

EventKind QueryEventKind(HANDLE event) {
  // EVENT_TYPE: NotificationEvent (0) stays signalled, SynchronizationEvent
  // (1) is reset by the wait it satisfies.
  EventBasicInformation info = {};
  if (!QueryEvent(event, info)) return EventKind::Unknown;
  if (info.eventType == 0) return EventKind::ManualReset;
  if (info.eventType == 1) return EventKind::AutoReset;
  return EventKind::Unknown;
}

}  // namespace lumo
