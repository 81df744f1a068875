#include "ipc/event_state.h"

namespace lumo {

namespace {

// EVENT_BASIC_INFORMATION of the native API.
struct EventBasicInformation {
  int eventType;
  LONG eventState;
};
constexpr int kEventBasicInformation = 0;
using NtQueryEventFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

NtQueryEventFn LookUpNtQueryEvent() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return nullptr;
  return reinterpret_cast<NtQueryEventFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryEvent")));
}

}  // namespace

EventState QueryEventState(HANDLE event) {
  static const NtQueryEventFn query = LookUpNtQueryEvent();
  if (query == nullptr || event == nullptr) return EventState::Unknown;
  EventBasicInformation info = {};
  if (query(event, kEventBasicInformation, &info, sizeof(info), nullptr) != 0) return EventState::Unknown;
  return info.eventState != 0 ? EventState::Signalled : EventState::NotSignalled;
}

}  // namespace lumo
