#include "sdk/dpi_awareness.h"

namespace lumo {

namespace {

// The system's DPI_AWARENESS_CONTEXT pseudo-handles and hosting values,
// spelled out: the headers declare them only for newer Windows targets.
using DpiContext = HANDLE;
const DpiContext kContextUnaware = reinterpret_cast<DpiContext>(static_cast<INT_PTR>(-1));
const DpiContext kContextSystemAware = reinterpret_cast<DpiContext>(static_cast<INT_PTR>(-2));
const DpiContext kContextPerMonitorAware = reinterpret_cast<DpiContext>(static_cast<INT_PTR>(-3));
const DpiContext kContextPerMonitorAwareV2 = reinterpret_cast<DpiContext>(static_cast<INT_PTR>(-4));
constexpr int kAwarenessUnaware = 0;
constexpr int kAwarenessSystem = 1;
constexpr int kAwarenessPerMonitor = 2;
constexpr int kHostingDefault = 0;
constexpr int kHostingMixed = 1;

using GetWindowContextFn = DpiContext(WINAPI*)(HWND);
using GetAwarenessFn = int(WINAPI*)(DpiContext);
using ContextsEqualFn = BOOL(WINAPI*)(DpiContext, DpiContext);
using GetHostingFn = int(WINAPI*)(HWND);
using SetThreadContextFn = DpiContext(WINAPI*)(DpiContext);
using SetThreadHostingFn = int(WINAPI*)(int);

template <typename Fn>
Fn User32Call(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  // GetProcAddress hands back a generic function pointer.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

}  // namespace

DpiAwareness WindowDpiAwareness(HWND wnd) {
  static const GetWindowContextFn getContext = User32Call<GetWindowContextFn>("GetWindowDpiAwarenessContext");
  static const GetAwarenessFn getAwareness = User32Call<GetAwarenessFn>("GetAwarenessFromDpiAwarenessContext");
  static const ContextsEqualFn equal = User32Call<ContextsEqualFn>("AreDpiAwarenessContextsEqual");
  if (getContext == nullptr || getAwareness == nullptr || wnd == nullptr) return DpiAwareness::Unknown;
  const DpiContext context = getContext(wnd);
  if (context == nullptr) return DpiAwareness::Unknown;
  switch (getAwareness(context)) {
    case kAwarenessUnaware:
      return DpiAwareness::Unaware;
    case kAwarenessSystem:
      return DpiAwareness::SystemAware;
    case kAwarenessPerMonitor:
      return equal != nullptr && equal(context, kContextPerMonitorAwareV2) ? DpiAwareness::PerMonitorAwareV2
                                                                           : DpiAwareness::PerMonitorAware;
    default:
      return DpiAwareness::Unknown;
  }
}

DpiHosting WindowDpiHosting(HWND wnd) {
  static const GetHostingFn getHosting = User32Call<GetHostingFn>("GetWindowDpiHostingBehavior");
  if (getHosting == nullptr || wnd == nullptr) return DpiHosting::Unknown;
  switch (getHosting(wnd)) {
    case kHostingDefault:
      return DpiHosting::Default;
    case kHostingMixed:
      return DpiHosting::Mixed;
    default:
      return DpiHosting::Unknown;
  }
}

bool SetThreadDpiAwareness(DpiAwareness awareness) {
  static const SetThreadContextFn setContext = User32Call<SetThreadContextFn>("SetThreadDpiAwarenessContext");
  if (setContext == nullptr) return false;
  DpiContext context = nullptr;
  switch (awareness) {
    case DpiAwareness::Unaware:
      context = kContextUnaware;
      break;
    case DpiAwareness::SystemAware:
      context = kContextSystemAware;
      break;
    case DpiAwareness::PerMonitorAware:
      context = kContextPerMonitorAware;
      break;
    case DpiAwareness::PerMonitorAwareV2:
      context = kContextPerMonitorAwareV2;
      break;
    case DpiAwareness::Unknown:
    default:
      return false;
  }
  return setContext(context) != nullptr;
}

bool SetThreadMixedDpiHosting() {
  static const SetThreadHostingFn setHosting = User32Call<SetThreadHostingFn>("SetThreadDpiHostingBehavior");
  // The call answers the previous behaviour, or -1 (invalid) when it fails.
  return setHosting != nullptr && setHosting(kHostingMixed) != -1;
}

}  // namespace lumo
